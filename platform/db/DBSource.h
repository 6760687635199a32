// Data sources and data links: how controls, queries and detail tables follow a data set. A
// data set notifies each of its data sources, a data source each of its links, and a link turns
// the notification into the calls a control overrides (active change, data change, record
// change, scroll, editing change, update data). The master link drives master-detail ranges.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/Classes.h"
#include "platform/db/DBCommon.h"

class TDataSet;
class TDataLink;
class TField;

// The connection between one data set and any number of data links. Neither side owns the
// other: destroying either detaches it.
class TDataSource : public TComponent {
public:
  explicit TDataSource(TComponent* owner = nullptr);
  ~TDataSource() override;  // detaches from the data set and from every link

  TDataSet* DataSet() const { return DataSet_; }
  // Attaches to `value` (nullptr detaches). A data set that leads back to this source through
  // its own data source raises "Circular datalinks are not allowed" (this source as context).
  void SetDataSet(TDataSet* value);
  // A disabled source reports the inactive state to its links.
  bool Enabled() const { return Enabled_; }
  void SetEnabled(bool value);
  // Whether Edit puts a browsing data set into the edit state.
  bool AutoEdit() const { return AutoEdit_; }
  void SetAutoEdit(bool value) { AutoEdit_ = value; }
  // The data set's state as the links see it: dsInactive without a data set or when disabled.
  TDataSetState State() const { return State_; }
  // With AutoEdit, a browsing data set enters the edit state.
  void Edit();
  // Whether this source is, or leads through detail links to, a source of `dataSet`.
  bool IsLinkedTo(TDataSet* dataSet) const;

  std::function<void(TDataSource& sender)> OnStateChange;
  std::function<void(TDataSource& sender, TField* field)> OnDataChange;  // field: nullptr = whole record
  std::function<void(TDataSource& sender)> OnUpdateData;

private:
  friend class TDataSet;
  friend class TDataLink;

  // From the data set: passes `event` on to the links and fires the events.
  void DataEvent(TDataEvent event, intptr_t info);
  void NotifyLinks(TDataEvent event, intptr_t info);
  void SetState(TDataSetState value);
  void UpdateState();

  TDataSet* DataSet_ = nullptr;       // not owned
  std::vector<TDataLink*> Links_;     // not owned; each link removes itself when destroyed
  TDataSetState State_ = TDataSetState::dsInactive;
  bool Enabled_ = true;
  bool AutoEdit_ = true;
};

// The receiving end of a data source's notifications; controls derive from it and override the
// calls they care about.
class TDataLink {
public:
  TDataLink() = default;
  virtual ~TDataLink();  // leaves its data source
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return DataSource_; }
  void SetDataSource(TDataSource* value);  // not owned; nullptr detaches
  TDataSet* DataSet() const;               // the source's data set, or nullptr
  // Active: the source is attached to an open data set and enabled.
  bool Active() const { return Active_; }
  // Editing: the data set is in an edit state (edit, insert, set-key) and the link is not read-only.
  bool Editing() const { return Editing_; }
  bool ReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool value);
  // Asks the data source to edit (AutoEdit) unless read-only; returns Editing().
  bool Edit();
  // Calls UpdateData, during which record changes are not reported back to this link.
  void UpdateRecord();

protected:
  // Notifications, in the platform's order. The defaults: DataSetScrolled and LayoutChanged call
  // DataSetChanged, which calls RecordChanged(nullptr); the others do nothing.
  virtual void ActiveChanged();
  virtual void CheckBrowseMode();
  virtual void DataSetChanged();
  virtual void DataSetScrolled(int32_t distance);
  virtual void EditingChanged();
  virtual void LayoutChanged();
  virtual void RecordChanged(TField* field);  // field: nullptr = the whole record
  virtual void UpdateData();

private:
  friend class TDataSource;

  void DataEvent(TDataEvent event, intptr_t info);
  void UpdateState();
  void SetActive(bool value);
  void SetEditing(bool value);

  TDataSource* DataSource_ = nullptr;  // not owned
  bool Active_ = false;
  bool Editing_ = false;
  bool ReadOnly_ = false;
  bool Updating_ = false;  // inside UpdateRecord
};

// The link of a detail data set to its master's data source: it resolves FieldNames (separated
// by ';') among the master's fields whenever the master opens or changes layout, and reports
// each master record change that concerns those fields.
class TMasterDataLink : public TDataLink {
public:
  explicit TMasterDataLink(TDataSet* detail);  // detail: the data set that follows; not owned

  TDataSet* DetailDataSet() const { return Detail_; }
  const std::string& FieldNames() const { return FieldNames_; }
  void SetFieldNames(const std::string& value);  // re-resolves the fields when active
  // The master's link fields, resolved while active; empty otherwise.
  const std::vector<TField*>& Fields() const { return Fields_; }

  // Run (while the detail is open) when the master record or its link fields change.
  std::function<void(TMasterDataLink& sender)> OnMasterChange;
  // Run (while the detail is open) when the link stops working: the master closed or no fields.
  std::function<void(TMasterDataLink& sender)> OnMasterDisable;

protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;

private:
  TDataSet* Detail_;             // not owned
  std::string FieldNames_;
  std::vector<TField*> Fields_;  // fields of the master; not owned
};
