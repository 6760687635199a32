#include "engine/storage/TarnexBaseCursor.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexBaseSession.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/Collation.h"

#if __has_include("engine/sql/TarnexExpressions.h")
#include "engine/sql/TarnexExpressions.h"
void TTarnexExpressionDeleter::operator()(TTarnexExpression* expression) const {
  std::default_delete<TTarnexExpression>()(expression);
}
#else
// Without the expression layer no expression object can exist, so there is never one to free.
void TTarnexExpressionDeleter::operator()(TTarnexExpression*) const {}
#endif

bool& EngineDesignMode() {
  static bool designMode = false;
  return designMode;
}

namespace {

bool IsNarrowText(TTarnexDataType t) { return t == TTarnexDataType::Char || t == TTarnexDataType::Varchar; }
bool IsWideText(TTarnexDataType t) { return t == TTarnexDataType::WideChar || t == TTarnexDataType::WideVarchar; }

// Characters before the terminator of the wide text at p, at most `limit` characters.
int32_t WideLength(const uint8_t* p, int32_t limit) {
  int32_t n = 0;
  while (n < limit && (p[2 * n] != 0 || p[2 * n + 1] != 0)) ++n;
  return n;
}

}  // namespace

TTarnexCursor::TTarnexCursor() = default;

TTarnexCursor::~TTarnexCursor() = default;

void TTarnexCursor::SetIndexName(const std::string& name) {
  IndexName = name;
  IndexID = InvalidObjectID;
  if (IndexDefs == nullptr) return;
  if (const TTarnexIndexDef* def = IndexDefs->FindByName(name)) IndexID = def->ObjectID;
}

int32_t TTarnexCursor::CheckedFieldNo(int32_t fieldNo, bool countInFieldDefs, int32_t fieldDefsCode,
                                      int32_t visibleCode) const {
  const TTarnexFieldDefs* list = countInFieldDefs ? FieldDefs.get() : VisibleFieldDefs.get();
  const int32_t count = list != nullptr ? list->Count() : 0;
  if (fieldNo < 0 || fieldNo >= count)
    throw ETarnexException(countInFieldDefs ? fieldDefsCode : visibleCode,
                           "Invalid field number - FieldNo = %d, FieldCount = %d", {fieldNo, count});
  if (countInFieldDefs) return fieldNo;
  const int32_t number = list->Items(fieldNo)->FieldNo;
  const int32_t fieldCount = FieldDefs != nullptr ? FieldDefs->Count() : 0;
  if (number < 0 || number >= fieldCount)
    throw ETarnexException(visibleCode, "Invalid field number - FieldNo = %d, FieldCount = %d",
                           {number, fieldCount});
  return number;
}

int32_t TTarnexCursor::VisibleNumberOf(int32_t fieldDefsNo) const {
  if (VisibleFieldDefs == nullptr) return -1;
  for (int32_t i = 0; i < VisibleFieldDefs->Count(); ++i)
    if (VisibleFieldDefs->Items(i)->FieldNo == fieldDefsNo) return i;
  return -1;
}

bool TTarnexCursor::GetFieldData(int32_t fieldNo, void* destination, const uint8_t* recordBuffer) const {
  const int32_t number = CheckedFieldNo(fieldNo, false, 10005, 10005);
  return ::GetFieldData(number, *FieldDefs, destination, recordBuffer);
}

void TTarnexCursor::SetFieldData(int32_t fieldNo, const void* source, uint8_t* recordBuffer) {
  const int32_t number = CheckedFieldNo(fieldNo, false, 10006, 10006);
  ::SetFieldData(number, *FieldDefs, source, recordBuffer);
}

void TTarnexCursor::GetFieldValue(TTarnexVariant& value, int32_t fieldNo, bool byReference, bool countInFieldDefs) {
  const int32_t number = CheckedFieldNo(fieldNo, countInFieldDefs, 10317, 10737);
  const TTarnexFieldDef& field = *FieldDefs->Items(number);
  if (RecordBuffer == nullptr || GetNullFlag(RecordBuffer, number)) {
    value.Clear(field.DataType);
    return;
  }
  if (IsBLOBDataType(field.DataType)) {
    value.Clear(field.DataType);
    const int32_t visible = countInFieldDefs ? VisibleNumberOf(number) : fieldNo;
    if (visible < 0)
      throw ETarnexException(10317, "Invalid field number - FieldNo = %d, FieldCount = %d",
                             {fieldNo, VisibleFieldDefs != nullptr ? VisibleFieldDefs->Count() : 0});
    try {
      TTarnexLocalBLOBStream* stream = OpenBlob(false, visible, 1);
      const int64_t size = stream->Size();
      if (size > 0) {
        const int32_t terminator = field.DataType == TTarnexDataType::WideMemo ? 2 : 1;
        if (size > TTarnexMemoryManager::MaxBlockSize - terminator) throw EOutOfMemory();
        const int32_t n = static_cast<int32_t>(size);
        value.Resize(n + terminator);
        stream->SetPosition(0);
        ReadExact(value.Data(), n, *stream, 10086);
        std::memset(static_cast<uint8_t*>(value.Data()) + n, 0, terminator);
      }
    } catch (...) {
      CloseBlob(visible);
      throw;
    }
    CloseBlob(visible);
    return;
  }
  const uint8_t* slot = RecordBuffer + field.MemoryOffset;
  int32_t size = field.MemoryDataSize;
  if (IsNarrowText(field.DataType)) {
    size = static_cast<int32_t>(strnlen(reinterpret_cast<const char*>(slot), field.MemoryDataSize - 1)) + 1;
    if (size == 1) {
      value.Clear(field.DataType);
      return;
    }
  } else if (IsWideText(field.DataType)) {
    size = (WideLength(slot, field.MemoryDataSize / 2 - 1) + 1) * 2;
    if (size == 2) {
      value.Clear(field.DataType);
      return;
    }
  }
  if (byReference) {
    value.SetBuffer(slot, size, false, field.DataType);
    return;
  }
  value.SetBuffer(slot, size, true, field.DataType);
  // A text cut at the slot's end carries no terminator in the record; the copy gets one.
  if (IsNarrowText(field.DataType)) static_cast<uint8_t*>(value.Data())[size - 1] = 0;
  if (IsWideText(field.DataType)) {
    static_cast<uint8_t*>(value.Data())[size - 1] = 0;
    static_cast<uint8_t*>(value.Data())[size - 2] = 0;
  }
}

void TTarnexCursor::SetFieldValue(const TTarnexVariant& value, int32_t fieldNo, uint8_t* recordBuffer,
                                  bool countInFieldDefs) {
  if (recordBuffer == nullptr) recordBuffer = RecordBuffer;
  const int32_t number = CheckedFieldNo(fieldNo, countInFieldDefs, 10318, 10738);
  const TTarnexFieldDef& field = *FieldDefs->Items(number);
  if (IsBLOBDataType(field.DataType)) {
    if (recordBuffer != RecordBuffer) throw ETarnexException(10739, "Error - operation is not supported");
    const int32_t visible = countInFieldDefs ? VisibleNumberOf(number) : fieldNo;
    if (visible < 0)
      throw ETarnexException(10318, "Invalid field number - FieldNo = %d, FieldCount = %d",
                             {fieldNo, VisibleFieldDefs != nullptr ? VisibleFieldDefs->Count() : 0});
    TTarnexVariant converted(field.DataType);
    if (!value.IsNull()) {
      converted.Assign(value, false);
      converted.ConvertTo(field.DataType);
    }
    try {
      TTarnexLocalBLOBStream* stream = OpenBlob(true, visible, 0);
      if (!converted.IsNull()) {
        const int32_t terminator = field.DataType == TTarnexDataType::WideMemo ? 2 : 1;
        const int32_t n = std::max(0, converted.Size() - terminator);
        if (n > 0) WriteExact(converted.Data(), n, *stream, 10097);
      }
    } catch (...) {
      CloseBlob(visible);
      throw;
    }
    CloseBlob(visible);
    return;
  }
  if (value.IsNull()) {
    SetNullFlag(recordBuffer, number, true);
    return;
  }
  const TTarnexVariant* source = &value;
  TTarnexVariant converted(field.DataType);
  if (value.DataType() != field.DataType) {
    converted.Assign(value, false);
    converted.ConvertTo(field.DataType);
    source = &converted;
  }
  if (source->IsNull()) {
    SetNullFlag(recordBuffer, number, true);
    return;
  }
  if (IsNarrowText(field.DataType)) {
    std::string text(static_cast<const char*>(source->Data()),
                     strnlen(static_cast<const char*>(source->Data()), source->Size()));
    ::SetFieldData(number, *FieldDefs, text.c_str(), recordBuffer);
    return;
  }
  if (IsWideText(field.DataType)) {
    const int32_t length = WideLength(static_cast<const uint8_t*>(source->Data()), source->Size() / 2);
    std::u16string text(static_cast<size_t>(length), u'\0');
    std::memcpy(text.data(), source->Data(), static_cast<size_t>(length) * 2);
    const char16_t* address = text.c_str();
    ::SetFieldData(number, *FieldDefs, &address, recordBuffer);
    return;
  }
  SetNullFlag(recordBuffer, number, false);
  uint8_t* slot = recordBuffer + field.MemoryOffset;
  const int32_t n = std::min(source->Size(), field.MemoryDataSize);
  std::memcpy(slot, source->Data(), static_cast<size_t>(n));
  if (n < field.MemoryDataSize) std::memset(slot + n, 0, static_cast<size_t>(field.MemoryDataSize - n));
}

uint8_t* TTarnexCursor::AllocRecordBuffer() const {
  return static_cast<uint8_t*>(MemoryManager().GetMem(RecordBufferSize));
}

void TTarnexCursor::FreeRecordBuffer(uint8_t*& buffer) const { MemoryManager().FreeAndNillMem(buffer); }

uint8_t* TTarnexCursor::AllocPositionedRecord() const {
  return static_cast<uint8_t*>(MemoryManager().GetMem(PositionedRecordSize));
}

void TTarnexCursor::InitPositionedRecord(uint8_t* buffer) {
  std::memset(buffer, 0, static_cast<size_t>(PositionedRecordSize));
  InitRecordBuffer(buffer, false);
}

uint8_t* TTarnexCursor::SavePosition() const {
  auto* block = static_cast<uint8_t*>(MemoryManager().GetMem(8));
  block[0] = Bof ? 1 : 0;
  block[1] = Eof ? 1 : 0;
  RecordID.WriteTo(block + 2);
  return block;
}

void TTarnexCursor::RestorePosition(const uint8_t* position) {
  Bof = position[0] != 0;
  Eof = position[1] != 0;
  RecordID = TTarnexRecordID::ReadFrom(position + 2);
}

void TTarnexCursor::FreePosition(uint8_t*& position) const {
  if (position != nullptr) MemoryManager().FreeAndNillMem(position);
}

int32_t TTarnexCursor::SessionIDForPages() const { return Session != nullptr ? Session->SessionID : -2; }
