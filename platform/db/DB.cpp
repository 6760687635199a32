#include "platform/db/DB.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/db/DBConsts.h"
#include "platform/db/DBSource.h"

using TDataSetState::dsBrowse;
using TDataSetState::dsCalcFields;
using TDataSetState::dsEdit;
using TDataSetState::dsFilter;
using TDataSetState::dsInactive;
using TDataSetState::dsInsert;
using TDataSetState::dsNewValue;
using TDataSetState::dsSetKey;
using TGetMode::gmCurrent;
using TGetMode::gmNext;
using TGetMode::gmPrior;
using TGetResult::grOK;

namespace {

// Restores a value when the scope ends, on every path.
template <class T>
class TRestore {
public:
  TRestore(T& target, T value) : Target_(target), Saved_(target) { target = value; }
  ~TRestore() { Target_ = Saved_; }
  TRestore(const TRestore&) = delete;
  TRestore& operator=(const TRestore&) = delete;

private:
  T& Target_;
  T Saved_;
};

// The platform's classes of compatible field kinds: a field binds to a definition of its class.
TFieldType BaseFieldType(TFieldType type) {
  switch (type) {
    case TFieldType::ftCurrency: return TFieldType::ftFloat;
    case TFieldType::ftAutoInc: return TFieldType::ftInteger;
    case TFieldType::ftFixedChar:
    case TFieldType::ftGuid: return TFieldType::ftString;
    default: return IsBlobFieldType(type) ? TFieldType::ftBlob : type;
  }
}

}  // namespace

TDataSet::TDataSet(TComponent* owner) : TComponent(owner), Fields_(this), FieldDefs_(this) {}

TDataSet::~TDataSet() {
  while (!DataSources_.empty()) DataSources_.back()->SetDataSet(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TDataSet::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    Fire(BeforeOpen);
    OpenCursor();
    SetState(dsBrowse);
    Fire(AfterOpen);
    if (!IsEmpty()) DoAfterScroll();
  } else {
    if (!Destroying_) Fire(BeforeClose);
    SetState(dsInactive);
    CloseCursor();
    if (!Destroying_) Fire(AfterClose);
  }
}

void TDataSet::Destroying() {
  Destroying_ = true;
  SetActive(false);
}

void TDataSet::OpenCursor() {
  DefaultFields_ = Fields_.Count() == 0;
  try {
    InternalOpen();
    if (!FieldsBound_) {
      if (DefaultFields_) CreateFields();
      BindFields(true);
    }
    ActiveBuffer_ = AllocSlot();
    TempBuffer_ = AllocSlot();
    InternalFirst();
    HasRecord_ = FetchRecord(ActiveBuffer_, gmNext, true) == grOK;
    CursorInSync_ = true;
    Bof_ = true;
    Eof_ = !HasRecord_;
    Modified_ = false;
    Found_ = false;
  } catch (...) {
    FreeBuffers();
    try {
      InternalClose();
    } catch (...) {
      // the open's own failure is the one to report
    }
    BindFields(false);
    if (DefaultFields_) DestroyFields();
    DefaultFields_ = false;
    HasRecord_ = false;
    Bof_ = Eof_ = true;
    throw;
  }
}

void TDataSet::CloseCursor() {
  FreeBuffers();
  InsertAnchor_.clear();
  HasRecord_ = false;
  Bof_ = Eof_ = true;
  CursorInSync_ = false;
  KeyBuffer_ = nullptr;
  std::exception_ptr failure;
  try {
    InternalClose();
  } catch (...) {
    failure = std::current_exception();
  }
  BindFields(false);
  if (DefaultFields_) DestroyFields();
  DefaultFields_ = false;
  if (failure) std::rethrow_exception(failure);
}

uint8_t* TDataSet::AllocSlot() {
  TRecordSlot slot;
  slot.Buffer = AllocRecordBuffer();
  slot.Calc.assign(static_cast<size_t>(CalcFieldsSize_), 0);
  Slots_.push_back(std::move(slot));
  return Slots_.back().Buffer;
}

void TDataSet::FreeBuffers() {
  for (TRecordSlot& slot : Slots_)
    if (slot.Buffer != nullptr) FreeRecordBuffer(slot.Buffer);
  Slots_.clear();
  PeekBuffers_.clear();
  ActiveBuffer_ = TempBuffer_ = nullptr;
}

uint8_t* TDataSet::CalcArea(const uint8_t* buffer) {
  if (CalcFieldsSize_ == 0 || buffer == nullptr) return nullptr;
  for (TRecordSlot& slot : Slots_)
    if (slot.Buffer == buffer) return slot.Calc.data();
  return nullptr;
}

void TDataSet::ClearCalcFields(uint8_t* buffer) {
  if (uint8_t* area = CalcArea(buffer)) std::memset(area, 0, static_cast<size_t>(CalcFieldsSize_));
}

TGetResult TDataSet::FetchRecord(uint8_t* buffer, TGetMode mode, bool doCheck) {
  const TGetResult result = GetRecord(buffer, mode, doCheck);
  if (result == grOK) GetCalcFields(buffer);
  return result;
}

void TDataSet::TakeTempRecord() {
  std::swap(ActiveBuffer_, TempBuffer_);
  HasRecord_ = true;
}

// ---------------------------------------------------------------------------------------------
// Navigation

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  CursorInSync_ = false;
  InternalFirst();
  if (FetchRecord(TempBuffer_, gmNext, true) == grOK) {
    TakeTempRecord();
    Eof_ = false;
  } else {
    HasRecord_ = false;
    Eof_ = true;
  }
  Bof_ = true;
  CursorInSync_ = true;
  DataEvent(TDataEvent::deDataSetChange);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  CursorInSync_ = false;
  InternalLast();
  if (FetchRecord(TempBuffer_, gmPrior, true) == grOK) {
    TakeTempRecord();
    Bof_ = false;
  } else {
    HasRecord_ = false;
    Bof_ = true;
  }
  Eof_ = true;
  CursorInSync_ = true;
  DataEvent(TDataEvent::deDataSetChange);
  DoAfterScroll();
}

int32_t TDataSet::MoveBy(int32_t distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  int32_t moved = 0;
  if ((distance > 0 && !Eof_) || (distance < 0 && !Bof_)) {
    Bof_ = Eof_ = false;
    const bool forward = distance > 0;
    if (!HasRecord_) {
      Bof_ = Eof_ = true;
    } else {
      UpdateCursorPos();
      const TGetMode mode = forward ? gmNext : gmPrior;
      int64_t remaining = forward ? static_cast<int64_t>(distance) : -static_cast<int64_t>(distance);
      try {
        while (remaining > 0) {
          if (FetchRecord(TempBuffer_, mode, true) != grOK) {
            (forward ? Eof_ : Bof_) = true;
            CursorInSync_ = false;
            break;
          }
          TakeTempRecord();
          CursorInSync_ = true;
          --remaining;
          ++moved;
        }
      } catch (...) {
        CursorInSync_ = false;
        throw;
      }
    }
    DataEvent(TDataEvent::deDataSetScroll, forward ? moved : -moved);
    DoAfterScroll();
  }
  return distance > 0 ? moved : -moved;
}

void TDataSet::SetRecNo(int32_t value) {
  CheckBrowseMode();
  const int32_t current = RecNo();
  if (current > 0 && value > 0 && value != current) MoveBy(value - current);
}

void TDataSet::UpdateCursorPos() {
  if (CursorInSync_ || !HasRecord_) return;
  switch (GetBookmarkFlag(ActiveBuffer_)) {
    case TBookmarkFlag::bfEOF: InternalLast(); break;
    case TBookmarkFlag::bfBOF: InternalFirst(); break;
    default: InternalSetToRecord(ActiveBuffer_); break;
  }
  CursorInSync_ = true;
}

void TDataSet::Resync(TResyncMode mode) {
  CursorInSync_ = false;
  bool found;
  if (mode.Contains(TResyncModeItem::rmExact)) {
    if (FetchRecord(TempBuffer_, gmCurrent, true) != grOK) DatabaseError(DBConsts::SRecordNotFound, this);
    found = true;
  } else {
    found = FetchRecord(TempBuffer_, gmCurrent, false) == grOK ||
            FetchRecord(TempBuffer_, gmNext, false) == grOK ||
            FetchRecord(TempBuffer_, gmPrior, false) == grOK;
  }
  if (found) {
    TakeTempRecord();
    Bof_ = Eof_ = false;
  } else {
    HasRecord_ = false;
    Bof_ = Eof_ = true;
  }
  CursorInSync_ = true;
  DataEvent(TDataEvent::deDataSetChange);
}

// ---------------------------------------------------------------------------------------------
// Editing

void TDataSet::CheckActive() const {
  if (State_ == dsInactive) DatabaseError(DBConsts::SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(DBConsts::SDataSetOpen, this);
}

void TDataSet::CheckCanModify() {
  if (!CanModify()) DatabaseError(DBConsts::SDataSetReadOnly, this);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(TDataEvent::deCheckBrowseMode);
  switch (State_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (Modified_) Post(); else Cancel();
      break;
    case dsSetKey: Post(); break;
    default: break;
  }
}

void TDataSet::UpdateRecord() {
  if (!dsEditModes.Contains(State_)) DatabaseError(DBConsts::SNotEditing, this);
  DataEvent(TDataEvent::deUpdateRecord);
}

void TDataSet::CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& onError) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*operation)();
      return;
    } catch (Exception& error) {
      CursorInSync_ = false;
      TDataAction action = TDataAction::daFail;
      if (onError) onError(*this, error, action);
      if (action == TDataAction::daFail) throw;
      if (action == TDataAction::daAbort) throw EAbort();
    }
  }
}

void TDataSet::CheckRequiredFields() {
  for (int32_t i = 0; i < Fields_.Count(); ++i) {
    TField& field = Fields_[i];
    if (field.Required() && !field.ReadOnly() && field.FieldKind() == TFieldKind::fkData &&
        field.DataType() != TFieldType::ftAutoInc && field.IsNull())
      DatabaseErrorFmt(DBConsts::SFieldRequired, {field.DisplayName()});
  }
}

void TDataSet::Append() { StartInsert(true); }
void TDataSet::Insert() { StartInsert(false); }

void TDataSet::StartInsert(bool append) {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert);
  DoBeforeScroll();
  TBookmarkFlag flag = TBookmarkFlag::bfBOF;
  InsertAnchor_.clear();
  if (append) {
    flag = TBookmarkFlag::bfEOF;
  } else if (HasRecord_) {
    flag = TBookmarkFlag::bfInserted;
    InsertAnchor_.resize(static_cast<size_t>(BookmarkSize_));
    GetBookmarkData(ActiveBuffer_, InsertAnchor_.data());
  }
  InternalInitRecord(TempBuffer_);
  ClearCalcFields(TempBuffer_);
  SetBookmarkFlag(TempBuffer_, flag);
  if (flag == TBookmarkFlag::bfInserted) SetBookmarkData(TempBuffer_, InsertAnchor_.data());
  TakeTempRecord();
  if (append) {
    CursorInSync_ = false;
    InternalLast();
    CursorInSync_ = true;
    Bof_ = false;
    Eof_ = true;
  } else {
    Bof_ = Eof_ = false;
  }
  try {
    InternalInsert();
    SetState(dsInsert);
    Fire(OnNewRecord);
  } catch (...) {
    if (State_ == dsInsert) SetState(dsBrowse);
    RestoreAfterInsert(flag);
    throw;
  }
  Modified_ = false;
  DataEvent(TDataEvent::deDataSetChange);
  Fire(AfterInsert);
  DoAfterScroll();
}

void TDataSet::RestoreAfterInsert(TBookmarkFlag flag) {
  CursorInSync_ = false;
  if (flag == TBookmarkFlag::bfInserted) {
    const TBookmark anchor = std::move(InsertAnchor_);
    InsertAnchor_.clear();
    InternalGotoBookmark(anchor.data());
    Resync({});
    return;
  }
  const bool fromEnd = flag == TBookmarkFlag::bfEOF;
  if (fromEnd) InternalLast(); else InternalFirst();
  if (FetchRecord(TempBuffer_, fromEnd ? gmPrior : gmNext, false) == grOK) {
    TakeTempRecord();
  } else {
    HasRecord_ = false;
  }
  Bof_ = !fromEnd || !HasRecord_;
  Eof_ = fromEnd || !HasRecord_;
  CursorInSync_ = true;
  DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::Edit() {
  if (State_ == dsEdit || State_ == dsInsert) return;
  if (!HasRecord_) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeEdit);
  CheckOperation(&TDataSet::InternalEdit, OnEditError);
  GetCalcFields(ActiveBuffer_);
  SetState(dsEdit);
  DataEvent(TDataEvent::deRecordChange);
  Fire(AfterEdit);
}

void TDataSet::Post() {
  UpdateRecord();
  if (State_ == dsSetKey) {
    PostKeyBuffer(true);
    return;
  }
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforePost);
  CheckRequiredFields();
  CheckOperation(&TDataSet::InternalPost, OnPostError);
  InsertAnchor_.clear();
  SetState(dsBrowse);
  Resync({});
  Fire(AfterPost);
}

void TDataSet::Cancel() {
  if (State_ == dsSetKey) {
    PostKeyBuffer(false);
    return;
  }
  if (State_ != dsEdit && State_ != dsInsert) return;
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforeCancel);
  const bool inserting = State_ == dsInsert;
  const TBookmarkFlag flag = GetBookmarkFlag(ActiveBuffer_);
  if (!inserting) UpdateCursorPos();
  InternalCancel();
  SetState(dsBrowse);
  if (inserting) RestoreAfterInsert(flag); else Resync({});
  Fire(AfterCancel);
}

void TDataSet::Delete() {
  CheckActive();
  if (State_ == dsInsert || State_ == dsSetKey) {
    Cancel();
    return;
  }
  if (!HasRecord_) DatabaseError(DBConsts::SDataSetEmpty, this);
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforeDelete);
  DoBeforeScroll();
  CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
  SetState(dsBrowse);
  Resync({});
  Fire(AfterDelete);
  DoAfterScroll();
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  Fire(BeforeRefresh);
  UpdateCursorPos();
  InternalRefresh();
  CursorInSync_ = false;
  if (FetchRecord(TempBuffer_, gmCurrent, false) == grOK) {
    TakeTempRecord();
    Bof_ = Eof_ = false;
  } else {
    InternalFirst();
    if (FetchRecord(TempBuffer_, gmNext, false) == grOK) {
      TakeTempRecord();
      Eof_ = false;
    } else {
      HasRecord_ = false;
      Eof_ = true;
    }
    Bof_ = true;
  }
  CursorInSync_ = true;
  DataEvent(TDataEvent::deDataSetChange);
  Fire(AfterRefresh);
}

// ---------------------------------------------------------------------------------------------
// Bookmarks

bool TDataSet::BookmarkAvailable() {
  return Active() && State_ != dsSetKey && HasRecord_ && BookmarkSize_ > 0 &&
         GetBookmarkFlag(ActiveBuffer_) == TBookmarkFlag::bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
  if (!BookmarkAvailable()) return {};
  TBookmark result(static_cast<size_t>(BookmarkSize_));
  GetBookmarkData(ActiveBuffer_, result.data());
  return result;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  if (bookmark.size() != static_cast<size_t>(BookmarkSize_)) DatabaseError(DBConsts::SRecordNotFound, this);
  DoBeforeScroll();
  CursorInSync_ = false;
  InternalGotoBookmark(bookmark.data());
  Resync({TResyncModeItem::rmExact, TResyncModeItem::rmCenter});
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark&) { return false; }
int32_t TDataSet::CompareBookmarks(const TBookmark&, const TBookmark&) { return 0; }

// ---------------------------------------------------------------------------------------------
// Fields

TField& TDataSet::FieldByName(const std::string& fieldName) {
  TField* field = FindField(fieldName);
  if (field == nullptr) DatabaseErrorFmt(DBConsts::SFieldNotFound, {fieldName}, this);
  return *field;
}

void TDataSet::GetFieldList(std::vector<TField*>& list, const std::string& fieldNames) {
  size_t start = 0;
  while (start <= fieldNames.size()) {
    size_t end = fieldNames.find(';', start);
    if (end == std::string::npos) end = fieldNames.size();
    const std::string name = Trim(fieldNames.substr(start, end - start));
    if (!name.empty()) list.push_back(&FieldByName(name));
    start = end + 1;
  }
}

void TDataSet::CreateFields() {
  for (int32_t i = 0; i < FieldDefs_.Count(); ++i) {
    const TFieldDef& def = FieldDefs_[i];
    if (def.DataType() == TFieldType::ftUnknown || def.Attributes().Contains(TFieldAttribute::faHiddenCol))
      continue;
    if (FindField(def.Name()) == nullptr) def.CreateField(*this);
  }
}

void TDataSet::BindFields(bool binding) {
  CalcFieldsSize_ = 0;
  FieldsBound_ = false;
  for (int32_t i = 0; i < Fields_.Count(); ++i) {
    TField& field = Fields_[i];
    field.FieldNo_ = 0;
    field.DataBufferSize_ = 0;
    field.CalcOffset_ = -1;
    if (!binding) continue;
    if (field.FieldKind() != TFieldKind::fkData) {
      field.CalcOffset_ = CalcFieldsSize_;
      CalcFieldsSize_ += 1 + field.DataSize();
      continue;
    }
    const int32_t index = FieldDefs_.IndexOf(field.FieldName());
    if (index < 0) DatabaseErrorFmt(DBConsts::SFieldNotFound, {field.DisplayName()}, this);
    const TFieldDef& def = FieldDefs_[index];
    if (BaseFieldType(field.DataType()) != BaseFieldType(def.DataType()))
      DatabaseErrorFmt(DBConsts::SFieldTypeMismatch,
                       {field.DisplayName(), FieldTypeNames[static_cast<int>(field.DataType())],
                        FieldTypeNames[static_cast<int>(def.DataType())]},
                       this);
    field.FieldNo_ = def.FieldNo();
    field.DataBufferSize_ = FieldDataSize(def.DataType(), def.Size());
  }
  FieldsBound_ = binding;
}

void TDataSet::DestroyFields() { Fields_.Clear(); }

bool TDataSet::ReadFieldData(TField& field, void* buffer) {
  if (State_ == dsInactive) return false;
  uint8_t* record = GetActiveRecordBuffer();
  if (record == nullptr) return false;
  if (field.FieldKind() == TFieldKind::fkData) return GetFieldData(field, buffer);
  uint8_t* area = CalcArea(record);
  if (area == nullptr || field.CalcOffset_ < 0 || area[field.CalcOffset_] == 0) return false;
  if (buffer != nullptr) std::memcpy(buffer, area + field.CalcOffset_ + 1, static_cast<size_t>(field.DataSize()));
  return true;
}

void TDataSet::WriteFieldData(TField& field, const void* buffer) {
  if (!dsWriteModes.Contains(State_) || ReadOverride_ != nullptr) DatabaseError(DBConsts::SNotEditing, this);
  if (field.FieldKind() == TFieldKind::fkData) {
    if (State_ == dsCalcFields) DatabaseError(DBConsts::SNotEditing, this);
    if (field.ReadOnly() && State_ != dsSetKey && State_ != dsFilter)
      DatabaseErrorFmt(DBConsts::SFieldReadOnly, {field.DisplayName()});
    SetFieldData(field, buffer);
  } else {
    uint8_t* area = CalcArea(GetActiveRecordBuffer());
    if (area != nullptr && field.CalcOffset_ >= 0) {
      uint8_t* value = area + field.CalcOffset_;
      value[0] = buffer != nullptr ? 1 : 0;
      if (buffer != nullptr) std::memcpy(value + 1, buffer, static_cast<size_t>(field.DataSize()));
      else std::memset(value + 1, 0, static_cast<size_t>(field.DataSize()));
    }
  }
  if (State_ != dsCalcFields && State_ != dsFilter && State_ != dsNewValue)
    DataEvent(TDataEvent::deFieldChange, reinterpret_cast<intptr_t>(&field));
}

uint8_t* TDataSet::GetActiveRecordBuffer() const {
  switch (State_) {
    case dsBrowse:
      if (ReadOverride_ != nullptr) return ReadOverride_;
      return HasRecord_ ? ActiveBuffer_ : nullptr;
    case dsEdit:
    case dsInsert: return ReadOverride_ != nullptr ? ReadOverride_ : ActiveBuffer_;
    case dsCalcFields: return CalcBuffer_;
    case dsFilter: return FilterBuffer_;
    case dsSetKey: return KeyBuffer_;
    default: return nullptr;
  }
}

void TDataSet::GetCalcFields(uint8_t* buffer) {
  if (CalcFieldsSize_ == 0) return;
  TRestore<TDataSetState> state(State_, dsCalcFields);
  TRestore<uint8_t*> calc(CalcBuffer_, buffer);
  ClearCalcFields(buffer);
  Fire(OnCalcFields);
}

bool TDataSet::RecordFilter(uint8_t* buffer) {
  if (!OnFilterRecord) return true;
  TRestore<TDataSetState> state(State_, dsFilter);
  TRestore<uint8_t*> filter(FilterBuffer_, buffer);
  bool accept = true;
  OnFilterRecord(*this, accept);
  return accept;
}

// ---------------------------------------------------------------------------------------------
// Controls and notification

void TDataSet::SetState(TDataSetState value) {
  if (State_ == value) return;
  State_ = value;
  Modified_ = false;
  DataEvent(TDataEvent::deUpdateState);
}

void TDataSet::DisableControls() {
  if (DisableCount_ == 0) {
    DisableState_ = State_;
    EnableEvent_ = TDataEvent::deDataSetChange;
  }
  ++DisableCount_;
}

void TDataSet::EnableControls() {
  if (DisableCount_ == 0) return;
  if (--DisableCount_ > 0) return;
  // a close in between left the sources inactive whatever the state is now
  if (DisableState_ != State_ || EnableEvent_ == TDataEvent::deLayoutChange) DataEvent(TDataEvent::deUpdateState);
  if (DisableState_ != dsInactive && State_ != dsInactive) DataEvent(EnableEvent_);
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
  bool notify = !ControlsDisabled();
  TField* changed = nullptr;
  switch (event) {
    case TDataEvent::deFieldChange:
      changed = reinterpret_cast<TField*>(info);
      if (changed != nullptr && (changed->FieldKind() == TFieldKind::fkData ||
                                 changed->FieldKind() == TFieldKind::fkInternalCalc))
        Modified_ = true;
      if (changed != nullptr && changed->FieldKind() == TFieldKind::fkData && AutoCalcFields_ &&
          (State_ == dsEdit || State_ == dsInsert))
        GetCalcFields(ActiveBuffer_);
      break;
    case TDataEvent::deUpdateState:
      if (ControlsDisabled()) {
        event = TDataEvent::deDisabledStateChange;
        info = Active() ? 1 : 0;
        notify = true;
        if (!Active()) EnableEvent_ = TDataEvent::deLayoutChange;
      }
      break;
    default: break;
  }
  if (notify) {
    const std::vector<TDataSource*> sources = DataSources_;
    for (TDataSource* source : sources)
      if (std::find(DataSources_.begin(), DataSources_.end(), source) != DataSources_.end())
        source->DataEvent(event, info);
  }
  if (changed != nullptr && changed->OnChange) changed->OnChange(*changed);
}

TDataSource* TDataSet::GetDataSource() { return nullptr; }

bool TDataSet::IsLinkedTo(TDataSource* dataSource) {
  for (int32_t steps = 0; dataSource != nullptr && steps < 1000; ++steps) {
    TDataSet* dataSet = dataSource->DataSet();
    if (dataSet == nullptr) break;
    if (dataSet == this) return true;
    dataSource = dataSet->GetDataSource();
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Filters, keys and the protocol's defaults

void TDataSet::SetFiltered(bool value) {
  if (Active()) {
    CheckBrowseMode();
    Filtered_ = value;
    First();
  } else {
    Filtered_ = value;
  }
}

void TDataSet::SetFilterText(const std::string& value) {
  FilterText_ = value;
  if (Active() && Filtered_) First();
}

void TDataSet::SetFilterOptions(TFilterOptions value) {
  FilterOptions_ = value;
  if (Active() && Filtered_) First();
}

void TDataSet::BeginKeyEdit(uint8_t* keyBuffer) {
  CheckBrowseMode();
  KeyBuffer_ = keyBuffer;
  SetState(dsSetKey);
  DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::EndKeyEdit() {
  DataEvent(TDataEvent::deCheckBrowseMode);
  SetState(dsBrowse);
  KeyBuffer_ = nullptr;
  DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::PostKeyBuffer(bool) { EndKeyEdit(); }

void TDataSet::InternalSetToRecord(uint8_t* buffer) {
  TBookmark bookmark(static_cast<size_t>(BookmarkSize_));
  GetBookmarkData(buffer, bookmark.data());
  InternalGotoBookmark(bookmark.data());
}

void TDataSet::InternalEdit() {}
void TDataSet::InternalInsert() {}
void TDataSet::InternalCancel() {}
void TDataSet::InternalRefresh() {}
bool TDataSet::GetCanModify() { return true; }
int32_t TDataSet::GetRecordCount() { return -1; }
int32_t TDataSet::GetRecNo() { return -1; }
bool TDataSet::IsSequenced() { return true; }

void TDataSet::InitFieldDefs() {
  if (!IsCursorOpen()) return;
  InternalInitFieldDefs();
  FieldDefs_.SetUpdated(true);
}

void TDataSet::UpdateIndexDefs() {}
void TDataSet::DefChanged(TDefCollection&) {}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField&, TBlobStreamMode) { return nullptr; }

void TDataSet::DoBeforeScroll() { Fire(BeforeScroll); }
void TDataSet::DoAfterScroll() { Fire(AfterScroll); }
