// Record-buffer field accessors and default values of new records.
#include "engine/storage/TarnexBaseEngineRecords.h"

#include <algorithm>
#include <cstring>

#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"

namespace {

bool IsNarrowText(TTarnexDataType t) { return t == TTarnexDataType::Char || t == TTarnexDataType::Varchar; }
bool IsWideText(TTarnexDataType t) {
  return t == TTarnexDataType::WideChar || t == TTarnexDataType::WideVarchar;
}

void CheckFieldNo(int32_t fieldNo, const TTarnexFieldDefs& fieldDefs, int32_t code) {
  if (fieldNo < 0 || fieldNo >= fieldDefs.Count())
    throw ETarnexException(code, "Invalid field number - FieldNo = %d, FieldCount = %d",
                           {fieldNo, fieldDefs.Count()});
}

[[noreturn]] void RaiseCopyError(int32_t code, int32_t fieldNo, const TTarnexFieldDef& field) {
  throw ETarnexException(code, "Error getting field data - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d",
                         {fieldNo, field.MemoryOffset, field.MemoryDataSize});
}

// Bytes of a zero-terminated narrow text, not counting the terminator.
size_t NarrowLength(const uint8_t* text) { return std::strlen(reinterpret_cast<const char*>(text)); }

// Bytes of a zero-terminated wide text, not counting the terminator (two bytes per character;
// the text may sit at any alignment).
size_t WideByteLength(const uint8_t* text) {
  size_t bytes = 0;
  for (;;) {
    uint16_t c;
    std::memcpy(&c, text + bytes, 2);
    if (c == 0) return bytes;
    bytes += 2;
  }
}

// Writes text of `length` bytes into a slot of slotSize bytes: cut to leave room for the
// terminator (termSize bytes), then terminated.
void WriteText(uint8_t* slot, int32_t slotSize, const uint8_t* text, size_t length, int32_t termSize) {
  if (slotSize < termSize) return;  // no room even for the terminator
  size_t room = static_cast<size_t>(slotSize - termSize);
  if (length > room) length = room;
  if (termSize == 2) length &= ~static_cast<size_t>(1);  // whole characters only
  if (length > 0) std::memcpy(slot, text, length);
  std::memset(slot + length, 0, static_cast<size_t>(termSize));
}

}  // namespace

bool GetNullFlag(const void* recordBuffer, int32_t fieldNo) {
  const auto* flags = static_cast<const uint8_t*>(recordBuffer);
  return (flags[fieldNo / 8] >> (fieldNo % 8)) & 1;
}

void SetNullFlag(void* recordBuffer, int32_t fieldNo, bool isNull) {
  auto* flags = static_cast<uint8_t*>(recordBuffer);
  const uint8_t bit = static_cast<uint8_t>(1u << (fieldNo % 8));
  if (isNull) flags[fieldNo / 8] |= bit;
  else flags[fieldNo / 8] &= static_cast<uint8_t>(~bit);
}

uint16_t GetBlobMarker(const void* recordBuffer, const TTarnexFieldDef& field) {
  const auto* p = static_cast<const uint8_t*>(recordBuffer) + field.MemoryOffset + TarnexBlobMarkerOffset;
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void SetBlobMarker(void* recordBuffer, const TTarnexFieldDef& field, uint16_t marker) {
  auto* p = static_cast<uint8_t*>(recordBuffer) + field.MemoryOffset + TarnexBlobMarkerOffset;
  p[0] = static_cast<uint8_t>(marker);
  p[1] = static_cast<uint8_t>(marker >> 8);
}

bool GetFieldData(int32_t fieldNo, const TTarnexFieldDefs& fieldDefs, void* destination,
                  const void* recordBuffer) {
  // The number is checked first: the null flag of a field outside the list lies outside the
  // flags (or outside the buffer).
  CheckFieldNo(fieldNo, fieldDefs, 10000);
  const TTarnexFieldDef& field = *fieldDefs.Items(fieldNo);
  const bool text = IsNarrowText(field.DataType) || IsWideText(field.DataType);
  if (!recordBuffer) RaiseCopyError(text ? 10733 : 10002, fieldNo, field);
  if (GetNullFlag(recordBuffer, fieldNo)) return false;
  if (!destination) return true;

  const uint8_t* slot = static_cast<const uint8_t*>(recordBuffer) + field.MemoryOffset;
  if (IsBLOBDataType(field.DataType)) return true;
  if (IsWideText(field.DataType)) {
    const char16_t* address = reinterpret_cast<const char16_t*>(slot);
    std::memcpy(destination, &address, sizeof(address));
  } else if (IsNarrowText(field.DataType)) {
    // Up to and including the terminator, never past the slot.
    const auto* end = static_cast<const uint8_t*>(std::memchr(slot, 0, static_cast<size_t>(std::max(field.MemoryDataSize, 0))));
    if (end) {
      std::memcpy(destination, slot, static_cast<size_t>(end - slot) + 1);
    } else if (field.MemoryDataSize > 0) {
      std::memcpy(destination, slot, static_cast<size_t>(field.MemoryDataSize - 1));
      static_cast<uint8_t*>(destination)[field.MemoryDataSize - 1] = 0;
    }
  } else if (field.MemoryDataSize > 0) {
    std::memcpy(destination, slot, static_cast<size_t>(field.MemoryDataSize));
  }
  return true;
}

void SetFieldData(int32_t fieldNo, const TTarnexFieldDefs& fieldDefs, const void* value,
                  void* recordBuffer) {
  CheckFieldNo(fieldNo, fieldDefs, 10004);
  const TTarnexFieldDef& field = *fieldDefs.Items(fieldNo);
  const bool narrow = IsNarrowText(field.DataType);
  const bool wide = IsWideText(field.DataType);
  if (!recordBuffer) RaiseCopyError(narrow || wide ? 10734 : 10732, fieldNo, field);
  if (!value) {
    SetNullFlag(recordBuffer, fieldNo, true);
    return;
  }
  SetNullFlag(recordBuffer, fieldNo, false);
  uint8_t* slot = static_cast<uint8_t*>(recordBuffer) + field.MemoryOffset;
  if (narrow) {
    const auto* text = static_cast<const uint8_t*>(value);
    WriteText(slot, field.MemoryDataSize, text, NarrowLength(text), 1);
  } else if (wide) {
    const char16_t* address;
    std::memcpy(&address, value, sizeof(address));
    const auto* text = reinterpret_cast<const uint8_t*>(address);
    if (!text) WriteText(slot, field.MemoryDataSize, nullptr, 0, 2);
    else WriteText(slot, field.MemoryDataSize, text, WideByteLength(text), 2);
  } else if (field.MemoryDataSize > 0) {
    std::memcpy(slot, value, static_cast<size_t>(field.MemoryDataSize));
  }
}

void ApplyDefaults(const TTarnexFieldDefs& fieldDefs, void* recordBuffer, bool generateAutoinc,
                   const TTarnexNextSequenceValue& nextValue) {
  if (!fieldDefs.HasAutoincFields() && !fieldDefs.HasDefaultValues()) return;
  for (int32_t i = 0; i < fieldDefs.Count(); ++i) {
    const TTarnexFieldDef& field = *fieldDefs.Items(i);
    uint8_t* slot = static_cast<uint8_t*>(recordBuffer) + field.MemoryOffset;
    if (!field.DefaultValue->IsNull() && !IsBLOBDataType(field.DataType)) {
      TTarnexVariant value(field.DataType);
      value.Assign(*field.DefaultValue, true);
      value.ConvertTo(field.DataType);
      if (!value.IsNull()) {
        const auto* data = static_cast<const uint8_t*>(value.Data());
        const int32_t size = value.Size();
        if (IsNarrowText(field.DataType)) {
          // The value's bytes, up to its terminator or its size.
          const auto* end = static_cast<const uint8_t*>(std::memchr(data, 0, static_cast<size_t>(size)));
          WriteText(slot, field.MemoryDataSize, data, end ? static_cast<size_t>(end - data) : static_cast<size_t>(size), 1);
        } else if (IsWideText(field.DataType)) {
          size_t length = 0;
          while (length + 1 < static_cast<size_t>(size) && (data[length] || data[length + 1])) length += 2;
          WriteText(slot, field.MemoryDataSize, data, length, 2);
        } else if (field.MemoryDataSize > 0) {
          const int32_t n = std::min(size, field.MemoryDataSize);
          std::memcpy(slot, data, static_cast<size_t>(n));
          if (n < field.MemoryDataSize) std::memset(slot + n, 0, static_cast<size_t>(field.MemoryDataSize - n));
        }
        SetNullFlag(recordBuffer, i, false);
      }
    }
    if (generateAutoinc && IsAutoIncFieldType(field.FieldType)) {
      const int64_t next = nextValue(field.SequenceID);
      uint8_t bytes[8];
      for (int b = 0; b < 8; ++b) bytes[b] = static_cast<uint8_t>(static_cast<uint64_t>(next) >> (8 * b));
      std::memcpy(slot, bytes, static_cast<size_t>(std::clamp(field.MemoryDataSize, 0, 8)));
      SetNullFlag(recordBuffer, i, false);
    }
  }
}
