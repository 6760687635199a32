#include "engine/storage/TarnexMemEngine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"

namespace {

// For each byte value of the deleted bitmap, the number of live slots it stands for (its zero
// bits): 8 for 0x00, 0 for 0xFF. Lets the record-number conversions skip eight slots per step.
constexpr std::array<uint8_t, 256> MakeLiveBitsTable() {
  std::array<uint8_t, 256> table{};
  for (int value = 0; value < 256; ++value) {
    int zeros = 0;
    for (int bit = 0; bit < 8; ++bit)
      if ((value & (1 << bit)) == 0) ++zeros;
    table[value] = static_cast<uint8_t>(zeros);
  }
  return table;
}
constexpr std::array<uint8_t, 256> LiveBitsTable = MakeLiveBitsTable();

// Null flag of field fieldNo: bit fieldNo of the record's leading bytes, 1 = NULL.
bool IsNullFlagSet(const uint8_t* record, int32_t fieldNo) {
  return (record[fieldNo / 8] & (1u << (fieldNo % 8))) != 0;
}

uint16_t ReadMarker(const uint8_t* record, const TTarnexRecordBlobField& field) {
  uint16_t marker;
  std::memcpy(&marker, record + field.MemoryOffset + TarnexBlobMarkerOffset, sizeof(marker));
  return marker;
}

void WriteMarker(uint8_t* record, const TTarnexRecordBlobField& field, uint16_t marker) {
  std::memcpy(record + field.MemoryOffset + TarnexBlobMarkerOffset, &marker, sizeof(marker));
}

}  // namespace

TTarnexMemoryRecordManager::TTarnexMemoryRecordManager(int32_t recordSize, int32_t allocBy)
    : TTarnexBaseRecordManager(recordSize), AllocBy_(allocBy < 1 ? 1 : allocBy) {
  if (recordSize < 1) throw ETarnexException(10011, "Invalid record size = %d", {recordSize});
}

TTarnexMemoryRecordManager::~TTarnexMemoryRecordManager() {
  try {
    MemoryManager().FreeAndNillMem(RecordBlock_);
  } catch (...) {
    // An overrun report cannot leave a destructor; the block is released regardless.
  }
  try {
    MemoryManager().FreeAndNillMem(DeletedBitmap_);
  } catch (...) {
  }
}

bool TTarnexMemoryRecordManager::IsSlotDeleted(int32_t slot) const {
  if (slot < 0 || slot >= Capacity_) return false;
  return (DeletedBitmap_[slot / 8] & (1u << (slot % 8))) != 0;
}

bool TTarnexMemoryRecordManager::IsLive(int32_t slot) const {
  return RecordCount_ > 0 && slot >= MinID_ && slot <= MaxID_ &&
         (DeletedBitmap_[slot / 8] & (1u << (slot % 8))) == 0;
}

void TTarnexMemoryRecordManager::SetDeleted(int32_t slot, bool deleted) {
  const uint8_t mask = static_cast<uint8_t>(1u << (slot % 8));
  if (deleted)
    DeletedBitmap_[slot / 8] |= mask;
  else
    DeletedBitmap_[slot / 8] &= static_cast<uint8_t>(~mask);
}

void TTarnexMemoryRecordManager::Grow() {
  const int64_t newCapacity = static_cast<int64_t>(Capacity_) + AllocBy_;
  const int64_t mostSlots = TTarnexMemoryManager::MaxBlockSize / RecordSize_;
  if (newCapacity > INT32_MAX || newCapacity > mostSlots) throw EOutOfMemory();
  if (newCapacity > BlockSlots_) {
    // The memory manager moves a block on every reallocation, so the reserve doubles each
    // time: filling a table copies each record a bounded number of times, not once per step.
    int64_t slots = std::max<int64_t>(newCapacity, static_cast<int64_t>(BlockSlots_) * 2);
    slots = std::min(slots, mostSlots);
    MemoryManager().ReallocMem(RecordBlock_, static_cast<int32_t>(slots * RecordSize_), false);
    MemoryManager().ReallocMemZeroed(DeletedBitmap_, static_cast<int32_t>((slots + 7) / 8));
    BlockSlots_ = static_cast<int32_t>(slots);
  }
  Capacity_ = static_cast<int32_t>(newCapacity);
}

void TTarnexMemoryRecordManager::Clear(int32_t) {
  MemoryManager().FreeAndNillMem(RecordBlock_);
  MemoryManager().FreeAndNillMem(DeletedBitmap_);
  Capacity_ = 0;
  BlockSlots_ = 0;
  RecordCount_ = 0;
  MinID_ = 0;
  MaxID_ = 0;
}

bool TTarnexMemoryRecordManager::AddRecord(const uint8_t* buffer, TTarnexRecordID& recordID, int32_t) {
  if (buffer == nullptr) return false;
  if (RecordCount_ > 0 && MaxID_ == INT32_MAX) return false;
  const int32_t slot = RecordCount_ > 0 ? MaxID_ + 1 : 0;
  try {
    if (slot >= Capacity_) Grow();
  } catch (...) {
    return false;
  }
  std::memcpy(RecordBlock_ + static_cast<int64_t>(slot) * RecordSize_, buffer, RecordSize_);
  SetDeleted(slot, false);
  if (RecordCount_ == 0) {
    MinID_ = slot;
    MaxID_ = slot;
  } else {
    if (slot < MinID_) MinID_ = slot;
    if (slot > MaxID_) MaxID_ = slot;
  }
  ++RecordCount_;
  recordID.PageNo = slot;
  recordID.PageItemNo = 0;
  return true;
}

bool TTarnexMemoryRecordManager::UpdateRecord(uint8_t* buffer, const TTarnexRecordID& recordID, int32_t) {
  const int32_t slot = recordID.PageNo;
  if (buffer == nullptr || !IsLive(slot)) return false;
  uint8_t* stored = RecordBlock_ + static_cast<int64_t>(slot) * RecordSize_;
  try {
    for (const TTarnexRecordBlobField& field : BlobFields_) {
      if (IsNullFlagSet(stored, field.FieldNo)) continue;
      if (IsNullFlagSet(buffer, field.FieldNo) || ReadMarker(buffer, field) == TarnexBlobOwnedMarker) {
        if (FreeBlob_) FreeBlob_(stored, field.FieldNo);
      }
    }
  } catch (...) {
    return false;
  }
  for (const TTarnexRecordBlobField& field : BlobFields_) WriteMarker(buffer, field, TarnexBlobStoredMarker);
  std::memcpy(stored, buffer, RecordSize_);
  return true;
}

bool TTarnexMemoryRecordManager::DeleteRecord(TTarnexRecordID& recordID, int32_t) {
  const int32_t slot = recordID.PageNo;
  if (!IsLive(slot)) return false;
  SetDeleted(slot, true);
  --RecordCount_;
  NoDeletedRecords_ = false;
  if (RecordCount_ == 0) {
    MinID_ = 0;
    MaxID_ = 0;
    return true;
  }
  if (slot == MinID_) {
    int32_t next = slot + 1;
    while (IsSlotDeleted(next)) ++next;
    MinID_ = next;
  }
  if (slot == MaxID_) {
    int32_t prior = slot - 1;
    while (IsSlotDeleted(prior)) --prior;
    MaxID_ = prior;
    recordID.PageNo = MaxID_;
    recordID.PageItemNo = 0;
  }
  return true;
}

bool TTarnexMemoryRecordManager::RecordExists(const TTarnexRecordID& recordID, int32_t) {
  return IsLive(recordID.PageNo);
}

void TTarnexMemoryRecordManager::CopyOut(int32_t slot, TNavigationRequest& request) const {
  if (request.Buffer == nullptr) throw ETarnexException(10019, "Error retreiving record");
  std::memcpy(request.Buffer, RecordBlock_ + static_cast<int64_t>(slot) * RecordSize_, RecordSize_);
  request.RecordID.PageNo = slot;
  request.RecordID.PageItemNo = 0;
  request.Result = TNavigationResult::Found;
}

void TTarnexMemoryRecordManager::ReadRecord(TNavigationRequest& request) {
  if (RecordCount_ == 0) {
    request.Result = TNavigationResult::AfterLast;
    return;
  }
  if (request.GoFirst) {
    switch (request.Direction) {
      case TNavigationDirection::Next:
        CopyOut(MinID_, request);
        request.GoFirst = false;
        return;
      case TNavigationDirection::Prior: request.Result = TNavigationResult::BeforeFirst; return;
      case TNavigationDirection::Current: request.Result = TNavigationResult::NoRecord; return;
    }
  }
  if (request.GoLast) {
    switch (request.Direction) {
      case TNavigationDirection::Next: request.Result = TNavigationResult::AfterLast; return;
      case TNavigationDirection::Prior:
        CopyOut(MaxID_, request);
        request.GoLast = false;
        return;
      case TNavigationDirection::Current: request.Result = TNavigationResult::NoRecord; return;
    }
  }
  const int32_t slot = request.RecordID.PageNo;
  switch (request.Direction) {
    case TNavigationDirection::Current:
      if (IsLive(slot))
        CopyOut(slot, request);
      else
        request.Result = TNavigationResult::NoRecord;
      return;
    case TNavigationDirection::Next: {
      if (slot >= Capacity_ - 1) {
        request.Result = TNavigationResult::AfterLast;
        return;
      }
      // Slots below MinID are all deleted; start the walk there at the latest.
      int32_t next = slot + 1 < MinID_ ? MinID_ : slot + 1;
      while (next <= MaxID_ && IsSlotDeleted(next)) ++next;
      if (next > MaxID_)
        request.Result = TNavigationResult::AfterLast;
      else
        CopyOut(next, request);
      return;
    }
    case TNavigationDirection::Prior: {
      if (slot < 1) {
        request.Result = TNavigationResult::BeforeFirst;
        return;
      }
      // A position past MaxID (a record deleted since) steps back to MaxID, never outside the block.
      int32_t prior = slot - 1 > MaxID_ ? MaxID_ : slot - 1;
      while (prior >= MinID_ && IsSlotDeleted(prior)) --prior;
      if (prior < MinID_)
        request.Result = TNavigationResult::BeforeFirst;
      else
        CopyOut(prior, request);
      return;
    }
  }
  request.Result = TNavigationResult::NoRecord;
}

int64_t TTarnexMemoryRecordManager::ApproxRecNo(const TTarnexRecordID& recordID, int32_t) {
  const int32_t slot = recordID.PageNo;
  if (RecordCount_ == 0 || slot < MinID_ || slot > MaxID_) return -1;
  if (RecordCount_ == 1 || MaxID_ == MinID_) return 1;
  // Live records spread evenly over MinID..MaxID: exact when none was deleted.
  const double share = static_cast<double>(slot - MinID_) / static_cast<double>(MaxID_ - MinID_);
  return std::llround(share * static_cast<double>(RecordCount_ - 1)) + 1;
}

void TTarnexMemoryRecordManager::LoadNextRecord(uint8_t* buffer, int64_t& slot) {
  if (RecordCount_ == 0 || slot > MaxID_) {
    slot = -1;
    return;
  }
  int32_t current = slot < MinID_ ? MinID_ : static_cast<int32_t>(slot);
  while (current <= MaxID_ && IsSlotDeleted(current)) ++current;
  if (current > MaxID_) {
    slot = -1;
    return;
  }
  if (buffer == nullptr) throw ETarnexException(10019, "Error retreiving record");
  std::memcpy(buffer, RecordBlock_ + static_cast<int64_t>(current) * RecordSize_, RecordSize_);
  slot = static_cast<int64_t>(current) + 1;
}

int64_t TTarnexMemoryRecordManager::SlotToRecordNumber(int32_t slot) const {
  if (slot < 0 || slot >= Capacity_) return -1;
  if (NoDeletedRecords_) return static_cast<int64_t>(slot) + 1;
  int64_t live = 0;
  const int32_t wholeBytes = slot / 8;
  for (int32_t i = 0; i < wholeBytes; ++i) live += LiveBitsTable[DeletedBitmap_[i]];
  const int32_t bitsInLastByte = slot % 8 + 1;  // up to and including the slot's bit
  const uint8_t lastByte = DeletedBitmap_[wholeBytes];
  for (int32_t bit = 0; bit < bitsInLastByte; ++bit)
    if ((lastByte & (1u << bit)) == 0) ++live;
  return live;
}

int32_t TTarnexMemoryRecordManager::RecordNumberToSlot(int64_t n) const {
  if (n < 0 || n >= RecordCount_) return -1;
  if (NoDeletedRecords_) return static_cast<int32_t>(n);
  const int32_t byteCount = (Capacity_ + 7) / 8;
  int64_t live = 0;
  int32_t i = 0;
  while (i < byteCount && live + LiveBitsTable[DeletedBitmap_[i]] <= n) {
    live += LiveBitsTable[DeletedBitmap_[i]];
    ++i;
  }
  for (int32_t bit = 0; bit < 8; ++bit) {
    const int32_t slot = i * 8 + bit;
    if (slot >= Capacity_)
      throw ETarnexException(10457, "Invalid bit no = %d, number of bits = %d", {slot, Capacity_});
    if ((DeletedBitmap_[i] & (1u << bit)) == 0) {
      if (live == n) return slot;
      ++live;
    }
  }
  throw ETarnexException(10457, "Invalid bit no = %d, number of bits = %d", {i * 8 + 8, Capacity_});
}

void TTarnexMemoryRecordManager::SetBlobFields(std::vector<TTarnexRecordBlobField> fields,
                                               TTarnexFreeStoredBlobProc freeBlob) {
  BlobFields_ = std::move(fields);
  FreeBlob_ = std::move(freeBlob);
}
