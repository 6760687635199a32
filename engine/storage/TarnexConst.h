// Constants and the small value types shared by every layer of the engine.
#pragma once

#include <cstdint>
#include <cstring>

// The 6-byte position of a record in its table: PageNo (the slot in memory tables) then
// PageItemNo (0 in memory tables). Temporary tables keep the record's 0-based ordinal in the
// six bytes, low bytes first. Positions compare as numbers: the 48-bit value of the six bytes.
struct TTarnexRecordID {
  int32_t PageNo = -1;
  uint16_t PageItemNo = 0;

  static constexpr int Size = 6;  // bytes in a record buffer trailer, an index leaf, a bookmark

  // The six bytes as a number (PageNo bytes low, PageItemNo bytes high).
  uint64_t AsNumber() const {
    return static_cast<uint64_t>(static_cast<uint32_t>(PageNo)) |
           (static_cast<uint64_t>(PageItemNo) << 32);
  }
  static TTarnexRecordID FromNumber(uint64_t n) {
    TTarnexRecordID r;
    r.PageNo = static_cast<int32_t>(static_cast<uint32_t>(n & 0xFFFFFFFFu));
    r.PageItemNo = static_cast<uint16_t>((n >> 32) & 0xFFFFu);
    return r;
  }
  void WriteTo(void* dest) const {
    auto* d = static_cast<uint8_t*>(dest);
    uint32_t p = static_cast<uint32_t>(PageNo);
    for (int i = 0; i < 4; ++i) d[i] = static_cast<uint8_t>(p >> (8 * i));
    d[4] = static_cast<uint8_t>(PageItemNo);
    d[5] = static_cast<uint8_t>(PageItemNo >> 8);
  }
  static TTarnexRecordID ReadFrom(const void* src) {
    auto* s = static_cast<const uint8_t*>(src);
    TTarnexRecordID r;
    uint32_t p = 0;
    for (int i = 0; i < 4; ++i) p |= static_cast<uint32_t>(s[i]) << (8 * i);
    r.PageNo = static_cast<int32_t>(p);
    r.PageItemNo = static_cast<uint16_t>(s[4] | (s[5] << 8));
    return r;
  }
  bool operator==(const TTarnexRecordID& o) const { return PageNo == o.PageNo && PageItemNo == o.PageItemNo; }
  bool operator<(const TTarnexRecordID& o) const { return AsNumber() < o.AsNumber(); }
};

// Object IDs handed out by a database; -1 = not assigned.
using TTarnexObjectID = int32_t;
constexpr TTarnexObjectID InvalidObjectID = -1;

// Pages of B-trees and temporary stores.
constexpr int32_t TarnexPageSize = 4096;

// The locale the engine passes to every text comparison (the user default locale).
constexpr uint32_t TarnexDefaultLocale = 0x0400;
