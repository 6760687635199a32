// Binding expressions to engine cursors: the cursor's fields and record buffer as a field
// source, and the cursor forms of parsing, binding and the built conditions.
#include "engine/sql/TarnexExpressions.h"
#include "engine/storage/TarnexBaseCursor.h"

namespace {

const TTarnexFieldDefs& NoFields() {
  static const TTarnexFieldDefs none;
  return none;
}

}  // namespace

const TTarnexFieldDefs& TTarnexCursorFieldSource::FieldDefs() const {
  return Cursor_ != nullptr && Cursor_->FieldDefs ? *Cursor_->FieldDefs : NoFields();
}

const TTarnexFieldDefs& TTarnexCursorFieldSource::VisibleFieldDefs() const {
  return Cursor_ != nullptr && Cursor_->VisibleFieldDefs ? *Cursor_->VisibleFieldDefs : FieldDefs();
}

const uint8_t* TTarnexCursorFieldSource::CurrentRecordBuffer() const {
  return Cursor_ != nullptr ? Cursor_->RecordBuffer : nullptr;
}

void TTarnexCursorFieldSource::GetBlobValue(TTarnexVariant& value, int32_t fieldNo, const uint8_t* recordBuffer) {
  uint8_t* own = Cursor_->RecordBuffer;
  if (recordBuffer == own) {
    Cursor_->GetFieldValue(value, fieldNo, false, true);
    return;
  }
  // The cursor reads BLOBs of its RecordBuffer: the other buffer stands in for the read.
  struct TRestore {
    TTarnexCursor* Cursor;
    uint8_t* Buffer;
    ~TRestore() { Cursor->RecordBuffer = Buffer; }
  } restore{Cursor_, own};
  Cursor_->RecordBuffer = const_cast<uint8_t*>(recordBuffer);
  Cursor_->GetFieldValue(value, fieldNo, false, true);
}

TTarnexExprFieldSource* TTarnexExpression::SourceFor(TTarnexCursor* cursor,
                                                     std::unique_ptr<TTarnexCursorFieldSource>& keep) {
  if (cursor == nullptr) return nullptr;
  keep = std::make_unique<TTarnexCursorFieldSource>(cursor);
  return keep.get();
}

TTarnexCursor* TTarnexExpression::BoundCursor() const {
  return CursorSource_ && Cursor_ == CursorSource_.get() ? CursorSource_->Cursor() : nullptr;
}

void TTarnexExpression::ParseFilter(TTarnexCursor* cursor, const std::string& text, bool caseInsensitive,
                                    bool partial) {
  std::unique_ptr<TTarnexCursorFieldSource> source;
  ParseFilter(SourceFor(cursor, source), text, caseInsensitive, partial);
  CursorSource_ = std::move(source);
}

void TTarnexExpression::BindToCursor(TTarnexCursor* cursor) {
  std::unique_ptr<TTarnexCursorFieldSource> source;
  BindToCursor(SourceFor(cursor, source));
  CursorSource_ = std::move(source);
}

void TTarnexExpression::BuildLocateCondition(TTarnexCursor* cursor, const std::string& fieldNames,
                                             const std::vector<Variant>& keyValues, bool caseInsensitive,
                                             bool partial) {
  std::unique_ptr<TTarnexCursorFieldSource> source;
  BuildLocateCondition(SourceFor(cursor, source), fieldNames, keyValues, caseInsensitive, partial);
  CursorSource_ = std::move(source);
}

void TTarnexExpression::BuildKeyCondition(TTarnexCursor* cursor, TTarnexCursor* sourceCursor,
                                          const TTarnexIndexDef& index, const std::vector<std::string>& sourceFields,
                                          bool partialKey) {
  std::unique_ptr<TTarnexCursorFieldSource> source, values;
  BuildKeyCondition(SourceFor(cursor, source), SourceFor(sourceCursor, values), index, sourceFields, partialKey);
  CursorSource_ = std::move(source);
}
