#include "platform/db/DBSource.h"

#include <algorithm>

#include "platform/db/DB.h"
#include "platform/db/DBConsts.h"

// ---------------------------------------------------------------------------------------------
// TDataSource

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  const std::vector<TDataLink*> links = Links_;
  Links_.clear();
  for (TDataLink* link : links) {
    link->DataSource_ = nullptr;
    link->UpdateState();
  }
}

void TDataSource::SetDataSet(TDataSet* value) {
  if (value == DataSet_) return;
  if (value != nullptr && IsLinkedTo(value)) DatabaseError(DBConsts::SCircularDataLink, this);
  if (DataSet_ != nullptr) {
    auto& sources = DataSet_->DataSources_;
    sources.erase(std::remove(sources.begin(), sources.end(), this), sources.end());
  }
  DataSet_ = value;
  if (DataSet_ != nullptr) DataSet_->DataSources_.push_back(this);
  UpdateState();
}

void TDataSource::SetEnabled(bool value) {
  Enabled_ = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (AutoEdit_ && State_ == TDataSetState::dsBrowse) DataSet_->Edit();
}

bool TDataSource::IsLinkedTo(TDataSet* dataSet) const {
  for (int32_t steps = 0; dataSet != nullptr && steps < 1000; ++steps) {
    TDataSource* source = dataSet->GetDataSource();
    if (source == nullptr) break;
    if (source == this) return true;
    dataSet = source->DataSet();
  }
  return false;
}

void TDataSource::UpdateState() {
  SetState(Enabled_ && DataSet_ != nullptr ? DataSet_->State() : TDataSetState::dsInactive);
}

void TDataSource::SetState(TDataSetState value) {
  if (State_ == value) return;
  State_ = value;
  NotifyLinks(TDataEvent::deUpdateState, 0);
  if (OnStateChange) OnStateChange(*this);
}

void TDataSource::NotifyLinks(TDataEvent event, intptr_t info) {
  const std::vector<TDataLink*> links = Links_;
  for (TDataLink* link : links)
    if (std::find(Links_.begin(), Links_.end(), link) != Links_.end()) link->DataEvent(event, info);
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
  if (event == TDataEvent::deUpdateState) {
    UpdateState();
    return;
  }
  if (event == TDataEvent::deDisabledStateChange) {
    // while the data set's controls are disabled only its closing gets through
    if (info == 0) SetState(TDataSetState::dsInactive);
    return;
  }
  if (!Enabled_) return;
  NotifyLinks(event, info);
  switch (event) {
    case TDataEvent::deFieldChange:
      if (OnDataChange) OnDataChange(*this, reinterpret_cast<TField*>(info));
      break;
    case TDataEvent::deRecordChange:
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
    case TDataEvent::deLayoutChange:
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case TDataEvent::deUpdateRecord:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------------
// TDataLink

TDataLink::~TDataLink() {
  if (DataSource_ != nullptr) {
    auto& links = DataSource_->Links_;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
}

void TDataLink::SetDataSource(TDataSource* value) {
  if (value == DataSource_) return;
  if (DataSource_ != nullptr) {
    auto& links = DataSource_->Links_;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
  DataSource_ = value;
  if (DataSource_ != nullptr) DataSource_->Links_.push_back(this);
  UpdateState();
}

TDataSet* TDataLink::DataSet() const { return DataSource_ != nullptr ? DataSource_->DataSet() : nullptr; }

void TDataLink::SetReadOnly(bool value) {
  if (ReadOnly_ == value) return;
  ReadOnly_ = value;
  UpdateState();
}

bool TDataLink::Edit() {
  if (!ReadOnly_ && DataSource_ != nullptr) DataSource_->Edit();
  return Editing_;
}

void TDataLink::UpdateRecord() {
  Updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    Updating_ = false;
    throw;
  }
  Updating_ = false;
}

void TDataLink::UpdateState() {
  const TDataSetState state = DataSource_ != nullptr ? DataSource_->State() : TDataSetState::dsInactive;
  SetActive(state != TDataSetState::dsInactive);
  SetEditing(dsEditModes.Contains(state) && !ReadOnly_);
}

void TDataLink::SetActive(bool value) {
  if (Active_ == value) return;
  Active_ = value;
  ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
  if (Editing_ == value) return;
  Editing_ = value;
  EditingChanged();
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
  if (event == TDataEvent::deUpdateState) {
    UpdateState();
    return;
  }
  if (!Active_) return;
  switch (event) {
    case TDataEvent::deFieldChange:
      if (!Updating_) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case TDataEvent::deRecordChange:
      if (!Updating_) RecordChanged(nullptr);
      break;
    case TDataEvent::deDataSetChange: DataSetChanged(); break;
    case TDataEvent::deDataSetScroll: DataSetScrolled(static_cast<int32_t>(info)); break;
    case TDataEvent::deLayoutChange: LayoutChanged(); break;
    case TDataEvent::deUpdateRecord: UpdateRecord(); break;
    case TDataEvent::deCheckBrowseMode: CheckBrowseMode(); break;
    default: break;
  }
}

void TDataLink::ActiveChanged() {}
void TDataLink::CheckBrowseMode() {}
void TDataLink::DataSetChanged() { RecordChanged(nullptr); }
void TDataLink::DataSetScrolled(int32_t) { DataSetChanged(); }
void TDataLink::EditingChanged() {}
void TDataLink::LayoutChanged() { DataSetChanged(); }
void TDataLink::RecordChanged(TField*) {}
void TDataLink::UpdateData() {}

// ---------------------------------------------------------------------------------------------
// TMasterDataLink

TMasterDataLink::TMasterDataLink(TDataSet* detail) : Detail_(detail) {}

void TMasterDataLink::SetFieldNames(const std::string& value) {
  if (FieldNames_ == value) return;
  FieldNames_ = value;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  Fields_.clear();
  if (Active()) {
    try {
      DataSet()->GetFieldList(Fields_, FieldNames_);
    } catch (...) {
      Fields_.clear();
      throw;
    }
  }
  if (Detail_ == nullptr || !Detail_->Active()) return;
  if (Active() && !Fields_.empty()) {
    if (OnMasterChange) OnMasterChange(*this);
  } else if (OnMasterDisable) {
    OnMasterDisable(*this);
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (Detail_ != nullptr && Detail_->Active()) Detail_->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() { ActiveChanged(); }

void TMasterDataLink::RecordChanged(TField* field) {
  if (DataSource() == nullptr || DataSource()->State() == TDataSetState::dsSetKey) return;
  if (Detail_ == nullptr || !Detail_->Active() || Fields_.empty() || !OnMasterChange) return;
  if (field != nullptr && std::find(Fields_.begin(), Fields_.end(), field) == Fields_.end()) return;
  OnMasterChange(*this);
}
