// A small data set over a vector of rows, implementing the record-buffer protocol the way an
// engine data set does, for the tests of the data-set machinery; and helpers for those tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/db/DB.h"
#include "platform/db/DBConsts.h"
#include "platform/db/DBSource.h"
#include "platform/rtl/DateUtils.h"

namespace dbtest {

// One stored value in its field-buffer form; nullopt = null.
using TValue = std::optional<std::string>;

struct TColumn {
  std::string Name;
  TFieldType Type;
  int32_t Size = 0;
  bool Required = false;
};

struct TRow {
  int32_t Id = 0;               // the bookmark
  std::vector<TValue> Values;   // one per column
};

// Field-buffer forms of test values (strings are padded to the column by AddRow).
inline TValue Str(const std::string& s) { return s; }
inline TValue Int(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); }
inline TValue Day(int year, int month, int day) {
  std::string bytes(4, '\0');
  DateTimeToNative(TFieldType::ftDate, EncodeDate(year, month, day), bytes.data());
  return bytes;
}
inline TValue Null() { return std::nullopt; }

// The message of the E that `action` raises; fails the test when it raises nothing.
template <class E, class F>
std::string MessageOf(F&& action) {
  try {
    action();
  } catch (const E& error) {
    return error.what();
  }
  ADD_FAILURE() << "nothing was raised";
  return {};
}

class TTestDataSet : public TDataSet {
public:
  explicit TTestDataSet(const std::string& name = "testset") { SetName(name); }
  ~TTestDataSet() override { Destroying(); }

  std::vector<TColumn> Columns;  // the source's columns, read into FieldDefs when opening
  std::vector<TRow> Rows;        // the stored records in natural order
  int32_t GetRecordCalls = 0;    // number of GetRecord calls, for cost checks
  bool ReadOnlySource = false;   // GetCanModify answers false
  std::function<void()> BeforeStore;  // runs at the start of InternalPost (may raise)
  // Rows whose RangeField text differs from RangeValue are invisible (when a value is set).
  std::string RangeField;
  std::optional<std::string> RangeValue;
  std::string KeyField;          // the field SetKey / GotoKey search
  TMasterDataLink MasterLink{this};

  void AddRow(std::vector<TValue> values) {
    for (size_t i = 0; i < values.size() && i < Columns.size(); ++i) values[i] = Fit(i, values[i]);
    values.resize(Columns.size());
    Rows.push_back({NextId_++, std::move(values)});
  }

  // Master-detail: this data set shows the rows whose `detailField` equals the master's
  // `masterFields` value.
  void SetMasterSource(TDataSource* source, const std::string& masterFields, const std::string& detailField) {
    if (source != nullptr && IsLinkedTo(source)) DatabaseError(DBConsts::SCircularDataLink, this);
    RangeField = detailField;
    MasterLink.OnMasterChange = [this](TMasterDataLink& link) {
      RangeValue = link.Fields()[0]->AsString();
      First();
    };
    MasterLink.OnMasterDisable = [this](TMasterDataLink&) {
      RangeValue.reset();
      First();
    };
    MasterLink.SetFieldNames(masterFields);
    MasterLink.SetDataSource(source);
  }
  TDataSource* GetDataSource() override { return MasterLink.DataSource(); }

  // Key search over KeyField.
  void SetKey() {
    Key_.Values.resize(Columns.size());
    SavedKey_ = Key_;
    BeginKeyEdit(Buffer(Key_));
  }
  bool GotoKey() {
    CheckBrowseMode();
    const int32_t column = ColumnOf(KeyField);
    for (size_t i = 0; i < Rows.size(); ++i) {
      if (Visible(i) && Rows[i].Values[column] == Key_.Values[column]) {
        DoBeforeScroll();
        Pos_ = static_cast<int64_t>(i);
        Resync({TResyncModeItem::rmExact});
        DoAfterScroll();
        return true;
      }
    }
    return false;
  }

  void SetRecNo(int32_t value) override {
    CheckBrowseMode();
    int64_t index = -1;
    if (!RangeValue && !Filtered()) {
      if (value >= 1 && value <= static_cast<int64_t>(Rows.size())) index = value - 1;  // straight there
    } else {
      int64_t seen = 0;
      for (size_t i = 0; i < Rows.size() && index < 0; ++i)
        if (Visible(i) && ++seen == value) index = static_cast<int64_t>(i);
    }
    if (index < 0) return;
    DoBeforeScroll();
    Pos_ = index;
    Resync({TResyncModeItem::rmExact});
    DoAfterScroll();
  }

  bool BookmarkValid(const TBookmark& bookmark) override {
    return bookmark.size() == 4 && IndexOfId(IdOf(bookmark.data())) >= 0;
  }
  int32_t CompareBookmarks(const TBookmark& a, const TBookmark& b) override {
    const int64_t ia = IndexOfId(IdOf(a.data())), ib = IndexOfId(IdOf(b.data()));
    return ia < ib ? -1 : (ia > ib ? 1 : 0);
  }

  std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override {
    uint8_t* buffer = GetActiveRecordBuffer();
    if (buffer == nullptr) return nullptr;
    TValue& value = Record(buffer).Values[static_cast<size_t>(field.FieldNo() - 1)];
    if (mode == TBlobStreamMode::bmRead) return std::make_unique<TMemoryStream>(value.value_or(""));
    return std::make_unique<TBlobWriter>(*this, field, value);
  }

protected:
  uint8_t* AllocRecordBuffer() override {
    Records_.push_back(std::make_unique<TRecord>());
    return Buffer(*Records_.back());
  }
  void FreeRecordBuffer(uint8_t*& buffer) override {
    for (auto it = Records_.begin(); it != Records_.end(); ++it)
      if (Buffer(**it) == buffer) {
        Records_.erase(it);
        break;
      }
    buffer = nullptr;
  }
  void GetBookmarkData(const uint8_t* buffer, void* data) override {
    std::memcpy(data, &Record(buffer).Id, 4);
  }
  void SetBookmarkData(uint8_t* buffer, const void* data) override {
    std::memcpy(&Record(buffer).Id, data, 4);
  }
  TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) override { return Record(buffer).Flag; }
  void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag value) override { Record(buffer).Flag = value; }

  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool) override {
    ++GetRecordCalls;
    const int64_t count = static_cast<int64_t>(Rows.size());
    switch (mode) {
      case TGetMode::gmCurrent:
        if (Pos_ < 0 || Pos_ >= count || !Visible(static_cast<size_t>(Pos_))) return TGetResult::grError;
        break;
      case TGetMode::gmNext: {
        int64_t i = Pos_ < 0 ? 0 : Pos_ + 1;
        while (i < count && !Visible(static_cast<size_t>(i))) ++i;
        if (i >= count) {
          Pos_ = count;
          return TGetResult::grEOF;
        }
        Pos_ = i;
        break;
      }
      case TGetMode::gmPrior: {
        int64_t i = (Pos_ > count ? count : Pos_) - 1;
        while (i >= 0 && !Visible(static_cast<size_t>(i))) --i;
        if (i < 0) {
          Pos_ = -1;
          return TGetResult::grBOF;
        }
        Pos_ = i;
        break;
      }
    }
    Fill(Record(buffer), Rows[static_cast<size_t>(Pos_)]);
    return TGetResult::grOK;
  }

  void InternalAddRecord(const uint8_t* buffer, bool append) override {
    const TRecord& record = Record(buffer);
    for (const TRow& existing : Rows) NextId_ = std::max(NextId_, existing.Id + 1);  // rows may be copied in
    TRow row{NextId_++, record.Values};
    if (append || Pos_ >= static_cast<int64_t>(Rows.size())) {
      Rows.push_back(std::move(row));
      Pos_ = static_cast<int64_t>(Rows.size()) - 1;
    } else {
      if (Pos_ < 0) Pos_ = 0;
      Rows.insert(Rows.begin() + Pos_, std::move(row));
    }
  }
  void InternalClose() override { Open_ = false; }
  void InternalRefresh() override {  // finds the current record again by its identity
    Pos_ = IndexOfId(Record(ActiveBuffer()).Id);
    if (Pos_ < 0) Pos_ = -2;
  }
  void InternalDelete() override { Rows.erase(Rows.begin() + Pos_); }
  void InternalFirst() override { Pos_ = -1; }
  void InternalGotoBookmark(const void* bookmark) override {
    Pos_ = IndexOfId(IdOf(bookmark));
    if (Pos_ < 0) Pos_ = -2;  // nowhere: gmCurrent fails
  }
  void InternalInitFieldDefs() override {
    FieldDefs().Clear();
    for (const TColumn& column : Columns) FieldDefs().Add(column.Name, column.Type, column.Size, column.Required);
  }
  void InternalInitRecord(uint8_t* buffer) override {
    TRecord& record = Record(buffer);
    record.Id = 0;
    record.Values.assign(Columns.size(), std::nullopt);
  }
  void InternalLast() override { Pos_ = static_cast<int64_t>(Rows.size()); }
  void InternalOpen() override {
    Open_ = true;
    Pos_ = -1;
    InternalInitFieldDefs();
    SetBookmarkSize(4);
  }
  void InternalPost() override {
    if (BeforeStore) BeforeStore();
    uint8_t* buffer = ActiveBuffer();
    if (State() == TDataSetState::dsInsert) {
      InternalAddRecord(buffer, GetBookmarkFlag(buffer) == TBookmarkFlag::bfEOF);
    } else {
      Rows[static_cast<size_t>(Pos_)].Values = Record(buffer).Values;
    }
  }
  bool IsCursorOpen() override { return Open_; }

  bool GetFieldData(TField& field, void* buffer) override {
    const TValue& value = Record(GetActiveRecordBuffer()).Values[static_cast<size_t>(field.FieldNo() - 1)];
    if (!value || (field.IsBlob() && value->empty())) return false;
    if (buffer != nullptr && !field.IsBlob()) std::memcpy(buffer, value->data(), value->size());
    return true;
  }
  void SetFieldData(TField& field, const void* buffer) override {
    const size_t column = static_cast<size_t>(field.FieldNo() - 1);
    TValue& value = Record(GetActiveRecordBuffer()).Values[column];
    if (buffer == nullptr) {
      value.reset();
      return;
    }
    const size_t own = static_cast<size_t>(field.DataSize());
    value = Fit(column, std::string(static_cast<const char*>(buffer), own));
  }
  bool GetCanModify() override { return !ReadOnlySource; }
  int32_t GetRecordCount() override {
    if (!Active()) return 0;
    int32_t count = 0;
    for (size_t i = 0; i < Rows.size(); ++i) count += Visible(i) ? 1 : 0;
    return count;
  }
  int32_t GetRecNo() override {
    if (!Active() || IsEmpty() || State() == TDataSetState::dsInsert) return -1;
    const int64_t index = IndexOfId(Record(ActiveBuffer()).Id);
    int32_t number = 0;
    for (int64_t i = 0; i <= index; ++i) number += Visible(static_cast<size_t>(i)) ? 1 : 0;
    return number;
  }
  void PostKeyBuffer(bool commit) override {
    if (!commit) Key_ = SavedKey_;
    EndKeyEdit();
  }

private:
  struct TRecord {
    int32_t Id = 0;
    TBookmarkFlag Flag = TBookmarkFlag::bfCurrent;
    std::vector<TValue> Values;
  };

  // A write stream that stores its bytes into the record's value when it is destroyed.
  class TBlobWriter : public TMemoryStream {
  public:
    TBlobWriter(TTestDataSet& owner, TField& field, TValue& target) : Owner_(owner), Field_(field), Target_(target) {}
    ~TBlobWriter() override {
      Target_ = Bytes().empty() ? TValue() : TValue(Bytes());
      try {
        Owner_.DataEvent(TDataEvent::deFieldChange, reinterpret_cast<intptr_t>(&Field_));
      } catch (...) {
      }
    }

  private:
    TTestDataSet& Owner_;
    TField& Field_;
    TValue& Target_;
  };

  static uint8_t* Buffer(TRecord& record) { return reinterpret_cast<uint8_t*>(&record); }
  static TRecord& Record(const uint8_t* buffer) {
    return *reinterpret_cast<TRecord*>(const_cast<uint8_t*>(buffer));
  }
  static int32_t IdOf(const void* bookmark) {
    int32_t id;
    std::memcpy(&id, bookmark, 4);
    return id;
  }
  int64_t IndexOfId(int32_t id) const {
    for (size_t i = 0; i < Rows.size(); ++i)
      if (Rows[i].Id == id) return static_cast<int64_t>(i);
    return -1;
  }
  int32_t ColumnOf(const std::string& name) const {
    for (size_t i = 0; i < Columns.size(); ++i)
      if (Columns[i].Name == name) return static_cast<int32_t>(i);
    return -1;
  }
  // A value in the column's buffer form: text cut to the column and terminated.
  TValue Fit(size_t column, const TValue& value) const {
    if (!value) return value;
    const TColumn& def = Columns[column];
    if (IsBlobFieldType(def.Type)) return value;
    const size_t size = static_cast<size_t>(FieldDataSize(def.Type, def.Size));
    std::string bytes = value->substr(0, size);
    bytes.resize(size, '\0');
    if (def.Type == TFieldType::ftString || def.Type == TFieldType::ftFixedChar) bytes[size - 1] = '\0';
    if (def.Type == TFieldType::ftWideString) bytes[size - 1] = bytes[size - 2] = '\0';
    return bytes;
  }
  void Fill(TRecord& record, const TRow& row) const {
    record.Id = row.Id;
    record.Flag = TBookmarkFlag::bfCurrent;
    record.Values = row.Values;
  }
  bool Visible(size_t index) {
    const TRow& row = Rows[index];
    if (RangeValue) {
      const int32_t column = ColumnOf(RangeField);
      const TValue& value = row.Values[static_cast<size_t>(column)];
      if (std::string(value ? value->c_str() : "") != *RangeValue) return false;
    }
    if (!Filtered()) return true;
    Fill(Scratch_, row);
    return RecordFilter(Buffer(Scratch_));
  }

  std::vector<std::unique_ptr<TRecord>> Records_;  // the record buffers handed out
  TRecord Scratch_;     // the record a filter handler reads
  TRecord Key_;         // the key buffer of the set-key state
  TRecord SavedKey_;    // its copy while being edited
  int64_t Pos_ = -1;    // cursor: a row index, -1 before the first, Rows.size() after the last
  int32_t NextId_ = 1;
  bool Open_ = false;
};

// The text of `fieldName` in every record, walked from the first (moves the data set).
inline std::vector<std::string> Column(TDataSet& dataSet, const std::string& fieldName) {
  std::vector<std::string> values;
  dataSet.First();
  while (!dataSet.Eof()) {
    values.push_back(dataSet.FieldByName(fieldName).AsString());
    dataSet.Next();
  }
  return values;
}

}  // namespace dbtest
