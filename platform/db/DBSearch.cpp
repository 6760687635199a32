// TDataSet's searches and reads that do not go through the current record: Locate, Lookup,
// the filter searches and ReadRecords, all through the record-buffer protocol.
#include "platform/db/DB.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "platform/rtl/Collation.h"
#include "platform/rtl/FormatSettings.h"

using TGetMode::gmCurrent;
using TGetMode::gmNext;
using TGetMode::gmPrior;
using TGetResult::grOK;

namespace {

bool IsTextFieldType(TFieldType type) {
  switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
    case TFieldType::ftWideString:
    case TFieldType::ftMemo:
    case TFieldType::ftFmtMemo:
    case TFieldType::ftGuid: return true;
    default: return false;
  }
}

bool IsTextVariant(const Variant& value) {
  return value.VarType() == TVarType::varString || value.VarType() == TVarType::varOleStr;
}

template <class S>
bool SameKeyText(S text, const S& key, bool partial, bool caseInsensitive) {
  if (partial && text.size() > key.size()) text.resize(key.size());
  if (!caseInsensitive) return text == key;
  if constexpr (std::is_same_v<S, std::u16string>) return WideCompareText(text, key) == 0;
  else return AnsiCompareText(text, key) == 0;
}

// Whether the field's value in the record being read equals `key` under the locate options.
bool MatchesValue(TField& field, const Variant& key, TLocateOptions options) {
  if (key.IsNull() || key.IsEmpty()) return field.IsNull();
  const bool partial = options.Contains(TLocateOption::loPartialKey);
  const bool caseInsensitive = options.Contains(TLocateOption::loCaseInsensitive);
  if (IsTextFieldType(field.DataType())) {
    if (field.DataType() == TFieldType::ftWideString)
      return SameKeyText(field.AsWideString(), key.AsWideString(), partial, caseInsensitive);
    return SameKeyText(field.AsString(), key.AsString(), partial, caseInsensitive);
  }
  if (field.IsNull()) return false;
  const bool keyIsText = IsTextVariant(key);
  switch (field.DataType()) {
    case TFieldType::ftBoolean: {
      bool value;
      if (keyIsText) {
        if (!TryStrToBool(key.AsString(), value)) return false;
      } else {
        value = key.AsBoolean();
      }
      return field.AsBoolean() == value;
    }
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
    case TFieldType::ftLargeint: {
      if (keyIsText) {
        int64_t value;
        return TryStrToInt64(Trim(key.AsString()), value) && field.AsLargeInt() == value;
      }
      return static_cast<double>(field.AsLargeInt()) == key.AsDouble();
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency: {
      double value;
      if (keyIsText) {
        if (!TryStrToFloat(key.AsString(), value, FormatSettings())) return false;
      } else {
        value = key.AsDouble();
      }
      return field.AsFloat() == value;
    }
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
    case TFieldType::ftTimeStamp: {
      double value;
      if (keyIsText) {
        if (!TryStrToDateTime(key.AsString(), value, FormatSettings())) return false;
      } else {
        value = key.AsDouble();
      }
      // equal to the millisecond, the resolution of every date form
      return std::fabs(field.AsDateTime() - value) < 0.5 / 86400000.0;
    }
    default: return field.AsString() == key.AsString();
  }
}

}  // namespace

bool TDataSet::MatchesKey(const std::vector<TField*>& fields, const std::vector<Variant>& values,
                          TLocateOptions options) {
  for (size_t i = 0; i < fields.size(); ++i) {
    const Variant key = i < values.size() ? values[i] : Variant::Null();
    if (!MatchesValue(*fields[i], key, options)) return false;
  }
  return true;
}

bool TDataSet::ScanForKey(const std::string& keyFields, const std::vector<Variant>& keyValues,
                          TLocateOptions options, std::vector<TField*>& fields) {
  fields.clear();
  GetFieldList(fields, keyFields);
  CursorInSync_ = false;
  InternalFirst();
  while (FetchRecord(TempBuffer_, gmNext, true) == grOK) {
    TReadOverride read(*this, TempBuffer_);
    if (MatchesKey(fields, keyValues, options)) return true;
  }
  return false;
}

bool TDataSet::Locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
                      TLocateOptions options) {
  CheckBrowseMode();
  DoBeforeScroll();
  std::vector<TField*> fields;
  if (!ScanForKey(keyFields, keyValues, options, fields)) return false;
  TakeTempRecord();
  CursorInSync_ = true;
  Bof_ = Eof_ = false;
  DataEvent(TDataEvent::deDataSetChange);
  DoAfterScroll();
  return true;
}

std::vector<Variant> TDataSet::Lookup(const std::string& keyFields, const std::vector<Variant>& keyValues,
                                      const std::string& resultFields) {
  CheckBrowseMode();
  std::vector<TField*> results;
  GetFieldList(results, resultFields);
  std::vector<Variant> values(results.size(), Variant::Null());
  std::vector<TField*> fields;
  if (ScanForKey(keyFields, keyValues, TLocateOptions{}, fields)) {
    TReadOverride read(*this, TempBuffer_);
    for (size_t i = 0; i < results.size(); ++i) values[i] = results[i]->AsVariant();
  }
  return values;
}

bool TDataSet::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  Found_ = false;
  if (restart || !HasRecord_) {
    CursorInSync_ = false;
    if (goForward) InternalFirst(); else InternalLast();
  } else {
    UpdateCursorPos();
  }
  CursorInSync_ = false;
  const TGetMode mode = goForward ? gmNext : gmPrior;
  while (FetchRecord(TempBuffer_, mode, true) == grOK) {
    if (RecordFilter(TempBuffer_)) {
      Found_ = true;
      break;
    }
  }
  if (Found_) {
    TakeTempRecord();
    CursorInSync_ = true;
    Bof_ = Eof_ = false;
    DataEvent(TDataEvent::deDataSetChange);
    DoAfterScroll();
  }
  return Found_;
}

uint8_t* TDataSet::PeekBuffer(size_t index) {
  while (PeekBuffers_.size() <= index) PeekBuffers_.push_back(AllocSlot());
  return PeekBuffers_[index];
}

int32_t TDataSet::ReadRecords(int32_t offset, int32_t count,
                              const std::function<void(int32_t distance)>& visit) {
  if (!Active() || !HasRecord_ || count <= 0) return 0;
  const int64_t first = offset;
  const int64_t last = static_cast<int64_t>(offset) + count - 1;
  const bool inserting = State() == TDataSetState::dsInsert;
  const TBookmarkFlag flag = GetBookmarkFlag(ActiveBuffer_);
  // A new record of an empty data set has no neighbours; an appended one none after it.
  const bool noneBefore = inserting && flag == TBookmarkFlag::bfBOF;
  const bool noneAfter = inserting && (flag == TBookmarkFlag::bfBOF || flag == TBookmarkFlag::bfEOF);
  int32_t visited = 0;

  if (first < 0 && !noneBefore) {
    // The records before, nearest first; a new record stands just before its anchor record.
    CursorInSync_ = false;
    if (inserting && flag == TBookmarkFlag::bfEOF) InternalLast(); else InternalSetToRecord(ActiveBuffer_);
    std::vector<uint8_t*> before;
    const int64_t needed = -first;
    for (int64_t k = 0; k < needed; ++k) {
      uint8_t* buffer = PeekBuffer(static_cast<size_t>(k));
      if (FetchRecord(buffer, gmPrior, false) != grOK) break;
      before.push_back(buffer);
    }
    for (int64_t distance = first; distance <= std::min<int64_t>(last, -1); ++distance) {
      const size_t k = static_cast<size_t>(-distance - 1);
      if (k >= before.size()) continue;
      TReadOverride read(*this, before[k]);
      visit(static_cast<int32_t>(distance));
      ++visited;
    }
  }
  if (first <= 0 && last >= 0) {
    visit(0);
    ++visited;
  }
  if (last > 0 && !noneAfter) {
    // A new record's anchor is the first record after it.
    CursorInSync_ = false;
    InternalSetToRecord(ActiveBuffer_);
    const TGetMode firstMode = inserting ? gmCurrent : gmNext;
    uint8_t* buffer = PeekBuffer(0);
    for (int64_t distance = 1; distance <= last; ++distance) {
      if (FetchRecord(buffer, distance == 1 ? firstMode : gmNext, false) != grOK) break;
      if (distance < first) continue;
      TReadOverride read(*this, buffer);
      visit(static_cast<int32_t>(distance));
      ++visited;
    }
  }
  CursorInSync_ = false;
  return visited;
}
