// The generic data set: states, navigation, editing, bookmarks, searches, filters, calculated
// fields and notification of data sources, built on a record-buffer protocol that a derived
// data set implements over its own cursor. Messages are the platform's, with the data set's
// name as prefix ("pests: Cannot perform this operation on a closed dataset").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/Classes.h"
#include "platform/db/DBCommon.h"
#include "platform/db/DBDefs.h"
#include "platform/db/DBFields.h"
#include "platform/rtl/Variants.h"

class TDataSource;

class TDataSet;
using TDataSetNotifyEvent = std::function<void(TDataSet& dataSet)>;
// error: the failure; action (daFail on entry): daFail re-raises, daAbort raises EAbort, daRetry
// runs the operation again.
using TDataSetErrorEvent = std::function<void(TDataSet& dataSet, Exception& error, TDataAction& action)>;
// accept (true on entry): whether the record the fields show belongs to the filtered view.
using TFilterRecordEvent = std::function<void(TDataSet& dataSet, bool& accept)>;

// How it works. The data set keeps one current record buffer (ActiveBuffer) and a spare one
// for moves; the derived data set's cursor is kept on the current record, repositioned through
// InternalSetToRecord when something else moved it. Edits happen in the current buffer. Every
// buffer comes from AllocRecordBuffer and returns through FreeRecordBuffer; calculated fields
// live in an area the base keeps beside each buffer it allocated.
//
// Protocol duties of a derived data set:
//  - InternalOpen opens its cursor, fills FieldDefs, sets BookmarkSize and may create and bind
//    the fields (CreateFields when DefaultFields(), BindFields(true)); what it leaves undone the
//    base does right after. The cursor then stands before the first record.
//  - GetRecord fills a buffer with the current, next or prior record of its current order,
//    range and filter, moving the cursor onto it, and writes the bookmark and bfCurrent into
//    the buffer. It may call RecordFilter(buffer) to apply OnFilterRecord. The base computes
//    calculated fields afterwards (GetRecord need not).
//  - GetFieldData / SetFieldData read and write the buffer GetActiveRecordBuffer() names, in
//    the field-buffer forms of DBFields.h. SetFieldData is reached only in a write state with
//    the checks of the base done; the base sends the field-change notification afterwards.
//  - InternalPost stores the current buffer: in dsInsert as a new record (InternalAddRecord
//    with append = the buffer's flag is bfEOF; bfInserted means before the record whose bookmark
//    the buffer carries), in dsEdit over the record. Afterwards the cursor stands on the stored
//    record. InternalDelete deletes the cursor's record and leaves the cursor where the next
//    record (or, failing that, the prior one) can be read with gmCurrent / gmNext / gmPrior.
//  - The destructor of a derived data set calls Destroying(): by the time ~TDataSet runs the
//    protocol is gone.
class TDataSet : public TComponent {
public:
  explicit TDataSet(TComponent* owner = nullptr);
  ~TDataSet() override;

  // --- Opening and closing ---------------------------------------------------------------
  // BeforeOpen, InternalOpen, fields, first record, browse state, AfterOpen, AfterScroll (when
  // not empty). A failure leaves the data set closed and propagates.
  void Open() { SetActive(true); }
  // BeforeClose, inactive state, buffers and default fields freed, InternalClose, AfterClose.
  // Pending edits are dropped.
  void Close() { SetActive(false); }
  bool Active() const { return State_ != TDataSetState::dsInactive; }
  void SetActive(bool value);
  TDataSetState State() const { return State_; }

  // --- Navigation ------------------------------------------------------------------------
  // Each first leaves an edit state (CheckBrowseMode) and runs BeforeScroll; AfterScroll follows
  // a completed move. First sets Bof, Last sets Eof; a step that finds no record sets Eof (Bof)
  // and keeps the current record.
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves up to |distance| records; returns the number moved (negative backwards).
  int32_t MoveBy(int32_t distance);
  bool Bof() const { return Bof_; }
  bool Eof() const { return Eof_; }
  // No current record (and not inserting one); true while closed.
  bool IsEmpty() const { return !Active() || !HasRecord_; }
  // GetRecordCount() of the derived data set.
  int32_t RecordCount() { return GetRecordCount(); }
  // 1-based ordinal of the current record in the current order (GetRecNo()); -1 when unknown.
  int32_t RecNo() { return GetRecNo(); }
  // Moves to the record with that ordinal. The base walks there with MoveBy; a derived data set
  // positions its cursor directly (CheckBrowseMode, DoBeforeScroll, position, Resync with
  // rmExact, DoAfterScroll).
  virtual void SetRecNo(int32_t value);
  // Whether RecNo and RecordCount place records (a grid's scroll bar); true here.
  virtual bool IsSequenced();

  // --- Editing ---------------------------------------------------------------------------
  // Append / Insert: CheckBrowseMode, "Cannot modify a read-only dataset" unless CanModify,
  // BeforeInsert, BeforeScroll, a fresh record (InternalInitRecord, bfEOF for Append,
  // bfInserted before the current record for Insert), InternalInsert, insert state, OnNewRecord,
  // AfterInsert, AfterScroll.
  void Append();
  void Insert();
  // Nothing in edit or insert; Insert when empty; otherwise CheckBrowseMode, CanModify check,
  // BeforeEdit, InternalEdit (OnEditError), edit state, AfterEdit.
  void Edit();
  // Controls write their values (UpdateRecord: "Dataset not in edit or insert mode" outside the
  // edit states), BeforePost, required fields checked ("Field '%s' must have a value"),
  // InternalPost (OnPostError), browse state, the stored record re-read, AfterPost. In the
  // set-key state: PostKeyBuffer(true).
  virtual void Post();
  // BeforeCancel, InternalCancel, browse state, the record as stored (after an insert: the
  // record the insert was made at; after Append: the last one), AfterCancel. In the set-key
  // state: PostKeyBuffer(false). Nothing in browse.
  virtual void Cancel();
  // Closed: "Cannot perform this operation on a closed dataset"; inserting or set-key: Cancel;
  // empty: "Cannot perform this operation on an empty dataset". Otherwise BeforeDelete,
  // BeforeScroll, InternalDelete (OnDeleteError), browse state, the next record (else the prior
  // one) becomes current, AfterDelete, AfterScroll.
  void Delete();
  // CheckBrowseMode, BeforeRefresh, InternalRefresh, the current record re-read (the first
  // record when it is gone), AfterRefresh.
  void Refresh();
  // Closed: the closed-data-set error. Edit or insert: posts when modified, else cancels;
  // set-key: posts the key.
  void CheckBrowseMode();
  // Lets the controls write their pending values (deUpdateRecord).
  void UpdateRecord();
  bool Modified() const { return Modified_; }
  bool CanModify() { return GetCanModify(); }

  // --- Bookmarks -------------------------------------------------------------------------
  // The current record's bookmark; empty when there is none (closed, empty, inserting).
  TBookmark GetBookmark();
  bool BookmarkAvailable();
  // Browse mode, BeforeScroll, InternalGotoBookmark, the record re-read ("Record not found"
  // when it is gone), AfterScroll. An empty bookmark does nothing.
  void GotoBookmark(const TBookmark& bookmark);
  TBookmark Bookmark() { return GetBookmark(); }
  void SetBookmark(const TBookmark& value) { GotoBookmark(value); }
  // Whether the bookmark names a record (default: false).
  virtual bool BookmarkValid(const TBookmark& bookmark);
  // <0, 0, >0 as bookmark1 stands before, with, after bookmark2 in the current order (default 0).
  virtual int32_t CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2);

  // --- Fields ----------------------------------------------------------------------------
  TFields& Fields() { return Fields_; }
  int32_t FieldCount() const { return Fields_.Count(); }
  // "Field '%s' not found" with this data set as context.
  TField& FieldByName(const std::string& fieldName);
  TField* FindField(const std::string& fieldName) { return Fields_.FindField(fieldName); }
  TField* FieldByNumber(int32_t fieldNo) { return Fields_.FieldByNumber(fieldNo); }
  // The fields named in `fieldNames` (separated by ';'), appended to `list`; each missing name
  // raises "Field '%s' not found".
  void GetFieldList(std::vector<TField*>& list, const std::string& fieldNames);
  TFieldDefs& FieldDefs() { return FieldDefs_; }
  // True while open with fields the data set created itself.
  bool DefaultFields() const { return DefaultFields_; }
  // Whether calculated fields are recomputed after each field change (default true).
  bool AutoCalcFields() const { return AutoCalcFields_; }
  void SetAutoCalcFields(bool value) { AutoCalcFields_ = value; }

  // --- Controls --------------------------------------------------------------------------
  // While disabled (nesting), data sources hear nothing but the data set closing; enabling
  // the last level reports a state change that happened meanwhile and one data-set change.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return DisableCount_ > 0; }
  // The data source this data set follows (a detail's master source); none by default.
  virtual TDataSource* GetDataSource();
  // Whether `dataSource` is attached to this data set or reaches it through detail links.
  bool IsLinkedTo(TDataSource* dataSource);

  // --- Searching -------------------------------------------------------------------------
  // Goes to the first record of the current order whose fields (separated by ';') equal the
  // values, one value per field. loPartialKey: text fields need only begin with the value;
  // loCaseInsensitive: text compares ignoring case (locale collation). A null value matches a
  // null field. After browse mode; BeforeScroll, and on success AfterScroll. The base scans
  // through the protocol; a derived data set may search its cursor instead.
  virtual bool Locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
                      TLocateOptions options);
  // The values of `resultFields` (separated by ';') in the first record Locate would find,
  // without moving; one Null per result field when none matches.
  virtual std::vector<Variant> Lookup(const std::string& keyFields, const std::vector<Variant>& keyValues,
                                      const std::string& resultFields);
  // The filter searches: FindRecord(restart, goForward) from the start, the end or the current
  // record. Found() reports the last search's result.
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }
  bool Found() const { return Found_; }

  // --- Filtering -------------------------------------------------------------------------
  // Filter text (the derived data set's expression language; the base keeps it only).
  const std::string& Filter() const { return FilterText_; }
  void SetFilter(const std::string& value) { SetFilterText(value); }
  bool Filtered() const { return Filtered_; }
  // The base stores the value and, when open, goes to the first record after browse mode.
  virtual void SetFiltered(bool value);
  TFilterOptions FilterOptions() const { return FilterOptions_; }
  // The base stores the value and, when open and filtered, goes to the first record.
  virtual void SetFilterOptions(TFilterOptions value);

  // --- Large objects ---------------------------------------------------------------------
  // A stream over the BLOB value of `field` in the record GetActiveRecordBuffer() names;
  // nullptr when the data set has none (the base). A write stream replaces the value with what
  // is written; when it is destroyed after a change it reports DataEvent(deFieldChange, field).
  virtual std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

  // --- Display rows ----------------------------------------------------------------------
  // Reads up to `count` records of the current order, starting `offset` records from the
  // current one (negative = before it), without moving the current record or firing events:
  // `visit` runs once per record found, in order, with the fields reading that record, and gets
  // its distance from the current record (0 = the current record, with any pending edits).
  // Costs a step per record read, never a walk of the whole data set. `visit` must not move or
  // edit the data set. Returns the number of records visited; 0 when closed or empty.
  int32_t ReadRecords(int32_t offset, int32_t count, const std::function<void(int32_t distance)>& visit);

  // --- Notification and definitions ------------------------------------------------------
  // Reports `event` to the data sources (see TDataEvent for `info`). deFieldChange also marks
  // the record modified and recomputes calculated fields (AutoCalcFields).
  void DataEvent(TDataEvent event, intptr_t info = 0);
  // Re-reads the cursor's current record (gmCurrent) into the current buffer. rmExact: it must
  // be there ("Record not found"); otherwise the next, else the prior record, else empty.
  // Reports a data-set change.
  void Resync(TResyncMode mode);
  // Fills FieldDefs: InternalInitFieldDefs while the cursor is open; the base does nothing
  // otherwise (a derived data set may open its source briefly).
  virtual void InitFieldDefs();
  // Refreshes a derived data set's index definitions (TIndexDefs::Update); nothing here.
  virtual void UpdateIndexDefs();
  // A definition list of this data set changed (TFieldDefs, TIndexDefs); nothing here.
  virtual void DefChanged(TDefCollection& sender);
  // "Cannot perform this operation on a closed dataset" / "... on an open dataset".
  void CheckActive() const;
  void CheckInactive() const;

  // --- Events ----------------------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnNewRecord;   // a new record's defaults, in the insert state
  TDataSetNotifyEvent OnCalcFields;  // calculated fields, in the calc-fields state
  TFilterRecordEvent OnFilterRecord;
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

protected:
  // --- The record-buffer protocol, implemented by a derived data set ---------------------
  virtual uint8_t* AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(uint8_t*& buffer) = 0;  // sets buffer to nullptr
  // The bookmark of the record in `buffer` into `data` (BookmarkSize() bytes), and back.
  virtual void GetBookmarkData(const uint8_t* buffer, void* data) = 0;
  virtual void SetBookmarkData(uint8_t* buffer, const void* data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) = 0;
  virtual void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag value) = 0;
  // Fetches the current, next or prior record into buffer (see the class comment); doCheck:
  // raise on an error instead of answering grError.
  virtual TGetResult GetRecord(uint8_t* buffer, TGetMode getMode, bool doCheck) = 0;
  // Stores a new record from buffer; append: at the end (else at the cursor).
  virtual void InternalAddRecord(const uint8_t* buffer, bool append) = 0;
  virtual void InternalClose() = 0;
  virtual void InternalDelete() = 0;
  virtual void InternalFirst() = 0;  // cursor before the first record
  virtual void InternalGotoBookmark(const void* bookmark) = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalInitRecord(uint8_t* buffer) = 0;  // an empty record (every field null)
  virtual void InternalLast() = 0;   // cursor after the last record
  virtual void InternalOpen() = 0;
  virtual void InternalPost() = 0;
  // Moves the cursor onto the record in buffer; the base goes to its bookmark.
  virtual void InternalSetToRecord(uint8_t* buffer);
  virtual void InternalEdit();     // nothing here
  virtual void InternalInsert();   // nothing here
  virtual void InternalCancel();   // after an edit or an insert; nothing here
  virtual void InternalRefresh();  // nothing here
  virtual bool IsCursorOpen() = 0;
  // Reads the field's value from GetActiveRecordBuffer() into buffer (nullptr: only the null
  // test); true when not null.
  virtual bool GetFieldData(TField& field, void* buffer) = 0;
  // Writes the field's value (buffer nullptr = null) into GetActiveRecordBuffer().
  virtual void SetFieldData(TField& field, const void* buffer) = 0;
  virtual bool GetCanModify();      // true here
  virtual int32_t GetRecordCount(); // -1 here (unknown)
  virtual int32_t GetRecNo();       // -1 here
  // Searches from the start (restart) or the current record, forward or backward, for the
  // next record the filter accepts whether or not Filtered is on; on success it becomes
  // current. The base applies OnFilterRecord through the protocol. CheckBrowseMode,
  // BeforeScroll, and AfterScroll on success; sets Found.
  virtual bool FindRecord(bool restart, bool goForward);
  // The base stores the text and, when open and filtered, goes to the first record.
  virtual void SetFilterText(const std::string& value);
  // Leaves the set-key state: commit keeps the key buffer, otherwise the derived data set
  // restores it. The base only returns to browse (EndKeyEdit).
  virtual void PostKeyBuffer(bool commit);

  // --- Services for a derived data set ---------------------------------------------------
  uint8_t* ActiveBuffer() const { return ActiveBuffer_; }
  // The buffer fields read and write in the present state: the current record (nullptr when
  // there is none) in browse, edit and insert; the buffer being calculated in dsCalcFields,
  // filtered in dsFilter, the key buffer in dsSetKey; nullptr otherwise.
  uint8_t* GetActiveRecordBuffer() const;
  // Changes the state and notifies (deUpdateState); clears Modified.
  void SetState(TDataSetState value);
  void SetModified(bool value) { Modified_ = value; }
  int32_t BookmarkSize() const { return BookmarkSize_; }
  void SetBookmarkSize(int32_t value) { BookmarkSize_ = value; }
  // A field for each definition (DataType not ftUnknown, not hidden) that has none.
  void CreateFields();
  // Binds the data fields to their definitions by name (FieldNo, column buffer size;
  // "Field '%s' not found" and "Type mismatch for field '%s', expecting: %s actual: %s" with this
  // data set as context) and lays out the calculated fields; false unbinds.
  void BindFields(bool binding);
  void DestroyFields();
  // "Cannot modify a read-only dataset" unless CanModify().
  void CheckCanModify();
  // The cursor moved away from the current record (the next relative move repositions it).
  void CursorPosChanged() { CursorInSync_ = false; }
  // Puts the cursor back on the current record if it moved.
  void UpdateCursorPos();
  // Runs OnFilterRecord on the record in buffer in the filter state; true when accepted (or
  // when there is no handler).
  bool RecordFilter(uint8_t* buffer);
  // Computes the calculated fields of the record in buffer (OnCalcFields in dsCalcFields).
  void GetCalcFields(uint8_t* buffer);
  // Enters the set-key state over keyBuffer (a record buffer of the derived data set, not
  // owned): CheckBrowseMode, state dsSetKey, data-set change. EndKeyEdit returns to browse.
  void BeginKeyEdit(uint8_t* keyBuffer);
  void EndKeyEdit();
  void SetFound(bool value) { Found_ = value; }
  // Closes the data set for good, as its destructor starts, without BeforeClose and AfterClose
  // (whose handlers may be gone already); data sources are detached by ~TDataSet.
  void Destroying();
  // The event helpers, for derived operations that move or edit.
  void DoBeforeScroll();
  void DoAfterScroll();

private:
  friend class TField;
  friend class TDataSource;

  // One record buffer the base allocated, with the calculated-field area that travels with it.
  struct TRecordSlot {
    uint8_t* Buffer = nullptr;  // from AllocRecordBuffer; freed by FreeBuffers
    std::vector<uint8_t> Calc;  // per calculated field: a not-null byte, then its value
  };

  void OpenCursor();
  void CloseCursor();
  uint8_t* AllocSlot();
  void FreeBuffers();
  uint8_t* CalcArea(const uint8_t* buffer);
  void ClearCalcFields(uint8_t* buffer);
  TGetResult FetchRecord(uint8_t* buffer, TGetMode mode, bool doCheck);
  // Makes TempBuffer_ (just fetched) the current record.
  void TakeTempRecord();
  void CheckRequiredFields();
  void StartInsert(bool append);
  void RestoreAfterInsert(TBookmarkFlag flag);
  void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& onError);
  bool MatchesKey(const std::vector<TField*>& fields, const std::vector<Variant>& values,
                  TLocateOptions options);
  bool ScanForKey(const std::string& keyFields, const std::vector<Variant>& keyValues,
                  TLocateOptions options, std::vector<TField*>& fields);
  uint8_t* PeekBuffer(size_t index);
  bool ReadFieldData(TField& field, void* buffer);
  void WriteFieldData(TField& field, const void* buffer);
  void Fire(const TDataSetNotifyEvent& event) { if (event) event(*this); }

  // While alive, browse, edit and insert reads come from `buffer` instead of the current record.
  class TReadOverride {
  public:
    TReadOverride(TDataSet& dataSet, uint8_t* buffer) : DataSet_(dataSet), Saved_(dataSet.ReadOverride_) {
      dataSet.ReadOverride_ = buffer;
    }
    ~TReadOverride() { DataSet_.ReadOverride_ = Saved_; }
    TReadOverride(const TReadOverride&) = delete;
    TReadOverride& operator=(const TReadOverride&) = delete;

  private:
    TDataSet& DataSet_;
    uint8_t* Saved_;  // the override in force before
  };

  TFields Fields_;                 // owns the field objects
  TFieldDefs FieldDefs_;           // owns the definitions
  std::vector<TDataSource*> DataSources_;  // attached sources; not owned
  std::vector<TRecordSlot> Slots_;         // every buffer allocated while open
  std::vector<uint8_t*> PeekBuffers_;      // ReadRecords' buffers (in Slots_)
  uint8_t* ActiveBuffer_ = nullptr;        // the current record (in Slots_)
  uint8_t* TempBuffer_ = nullptr;          // target of fetches before they succeed (in Slots_)
  uint8_t* ReadOverride_ = nullptr;        // while set, browse/edit/insert reads come from here
  uint8_t* CalcBuffer_ = nullptr;          // the buffer being calculated
  uint8_t* FilterBuffer_ = nullptr;        // the buffer being filtered
  uint8_t* KeyBuffer_ = nullptr;           // the key buffer of the set-key state; not owned
  TBookmark InsertAnchor_;                 // the record an Insert was made at
  std::string FilterText_;
  TFilterOptions FilterOptions_;
  TDataSetState State_ = TDataSetState::dsInactive;
  TDataSetState DisableState_ = TDataSetState::dsInactive;  // state when controls were disabled
  TDataEvent EnableEvent_ = TDataEvent::deDataSetChange;    // sent when controls are enabled
  int32_t DisableCount_ = 0;
  int32_t BookmarkSize_ = 0;
  int32_t CalcFieldsSize_ = 0;
  bool HasRecord_ = false;       // ActiveBuffer_ holds a record (stored or being inserted)
  bool CursorInSync_ = false;    // the cursor stands on the current record
  bool Bof_ = true;
  bool Eof_ = true;
  bool Modified_ = false;
  bool Found_ = false;
  bool Filtered_ = false;
  bool DefaultFields_ = false;
  bool FieldsBound_ = false;
  bool AutoCalcFields_ = true;
  bool Destroying_ = false;      // being destroyed: no close events
};
