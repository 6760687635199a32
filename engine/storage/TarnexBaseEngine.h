// The table object: one per table, owning its definitions (through the field, index, constraint
// and sequence managers), its record manager, its B-tree index objects and, in the concrete
// classes (TarnexMemEngine, TarnexTempEngine), its page manager and BLOB storage. Every change to
// a table goes through it, under the table's lock, keeping records, indexes, constraints, BLOBs
// and sequences in step. Also the record set a cursor sees (TTarnexRecordBitmap).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexTypes.h"
#include "engine/storage/TarnexBase.h"
#include "engine/storage/TarnexBaseEngineRecordManager.h"
#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexCriticalSection.h"

class TTarnexPageManager;
class TTarnexTemporaryPageManager;
class TTarnexBTreeIndex;
class TTarnexLocalBLOBStream;
class TTarnexCompressedBLOBStream;
class TTarnexStream;
class TTarnexTableData;

// ---------------------------------------------------------------------------------------------
// Record set
// ---------------------------------------------------------------------------------------------

// The RecordIDs of the records one cursor sees, in the cursor's order. Active while it holds the
// cursor's current result; Ordered when that order is an index's.
class TTarnexRecordBitmap {
public:
  // table: gives the kind of record identity (SlotIDs / OrdinalIDs) for comparisons; not owned.
  explicit TTarnexRecordBitmap(const TTarnexTableData* table);
  TTarnexRecordBitmap(const TTarnexRecordBitmap&) = delete;
  TTarnexRecordBitmap& operator=(const TTarnexRecordBitmap&) = delete;

  TTarnexRecordIDArray& IDs() { return *IDs_; }
  const TTarnexRecordIDArray& IDs() const { return *IDs_; }
  bool Active() const { return Active_; }
  void SetActive(bool active) { Active_ = active; }
  bool Ordered() const { return Ordered_; }
  void SetOrdered(bool ordered) { Ordered_ = ordered; }

  // Empties the list and sizes it for a fill: room for `capacity` IDs (1000 when below 1),
  // growing by a hundredth of it, at least 10. Active becomes false.
  void Reset(int32_t capacity);
  // Empties the list and makes it inactive (a filter, range or index changed).
  void Invalidate();

  int32_t Count() const { return IDs_->Count(); }
  // 1-based place of id, or -1 when absent.
  int64_t RecNoOf(const TTarnexRecordID& id) const;
  // The ID at the 1-based place recNo; 11326 "Invalid item number - ItemNo = %d, ItemCount = %d".
  TTarnexRecordID IDAt(int64_t recNo) const;
  bool Contains(const TTarnexRecordID& id) const { return IDs_->Find(id) >= 0; }
  // Appends id. While the list is in ascending ID order, an id equal to the last raises 11328
  // "Error adding record to record map - duplicate record ID = %d %d"; a smaller one ends that order.
  void Append(const TTarnexRecordID& id);
  // Inserts id after `after`; 11332 "Record does not exist, ID = %d, %d" when `after` is absent.
  void InsertAfter(const TTarnexRecordID& after, const TTarnexRecordID& id);
  void InsertFirst(const TTarnexRecordID& id);
  void InsertLast(const TTarnexRecordID& id) { Append(id); }
  // Removes id; 11327 "Record does not exist, ID = %d, %d" when absent.
  void Remove(const TTarnexRecordID& id);
  // Answers request from the list (inactive: NoRecord; empty: AfterLast; GoFirst/GoLast as the
  // record managers; otherwise the current ID must be listed and is stepped). Found clears
  // GoFirst and GoLast and sets RecordID; Buffer is not touched.
  void Navigate(TNavigationRequest& request) const;

private:
  std::unique_ptr<TTarnexRecordIDArray> IDs_;  // owned
  bool SlotIDs_;
  bool OrdinalIDs_;
  bool Active_ = false;
  bool Ordered_ = false;
};

// ---------------------------------------------------------------------------------------------
// Managers
// ---------------------------------------------------------------------------------------------

// The sequences of a table's autoincrement fields.
class TTarnexBaseSequenceManager {
public:
  explicit TTarnexBaseSequenceManager(TTarnexDatabaseData* database) : Database_(database) {}
  virtual ~TTarnexBaseSequenceManager();
  TTarnexBaseSequenceManager(const TTarnexBaseSequenceManager&) = delete;
  TTarnexBaseSequenceManager& operator=(const TTarnexBaseSequenceManager&) = delete;

  // --- virtual operations, in slot order ---
  // The sequence with ObjectID id; 30013 "Sequence #%d not found".
  virtual TTarnexSequenceDef* FindSequence(TTarnexObjectID id);
  // Advances sequence id (30010 "Sequence #%d not found"; overflow 30009) and records the value as
  // the session's last value for the sequence's name (no session: not recorded).
  virtual int64_t NextValue(TTarnexBaseSession* session, TTarnexObjectID id);
  // The session's last value of sequence id (30011 "Sequence #%d not found"); 30012 "No
  // SequenceLastValue in session for sequence '%s'. Call GetNextVal first" when it has none.
  virtual int64_t LastValue(TTarnexBaseSession* session, TTarnexObjectID id);

  // "$" + ("S_Linked" when linked, else "S_Autoinc") + "$" + table + "$" + field.
  static std::string SequenceBaseName(bool linked, const std::string& tableName, const std::string& fieldName);
  // Creates the sequence of an autoincrement field (a free name from SequenceBaseName, with a
  // random 0..65534 appended while taken; a fresh ObjectID; the field's Autoinc settings) and
  // sets field.SequenceID to it.
  TTarnexSequenceDef* CreateAutoincSequence(const std::string& tableName, TTarnexFieldDef& field);

  TTarnexSequenceDefs& SequenceDefs() { return SequenceDefs_; }
  TTarnexDatabaseData* Database() const { return Database_; }

private:
  TTarnexSequenceDef* Find(TTarnexObjectID id, int32_t code);

  TTarnexSequenceDefs SequenceDefs_;  // owned definitions
  TTarnexDatabaseData* Database_;     // not owned; hands out ObjectIDs
};

// The fields of a table.
class TTarnexBaseFieldManager {
public:
  // Neither is owned.
  TTarnexBaseFieldManager(TTarnexTableData* table, TTarnexBaseSequenceManager* sequenceManager)
      : Table_(table), SequenceManager_(sequenceManager) {}
  virtual ~TTarnexBaseFieldManager();
  TTarnexBaseFieldManager(const TTarnexBaseFieldManager&) = delete;
  TTarnexBaseFieldManager& operator=(const TTarnexBaseFieldManager&) = delete;

  // --- virtual operations, in slot order: the field list's stream form ---
  virtual void LoadFromStream(TTarnexStream& stream);
  virtual void SaveToStream(TTarnexStream& stream);

  // Defaults and, when generateAutoinc, fresh autoincrement values into a new record buffer
  // (ApplyDefaults of TarnexBaseEngineRecords.h with the sequence manager's NextValue).
  void ApplyDefaults(TTarnexBaseSession* session, uint8_t* recordBuffer, bool generateAutoinc);

  TTarnexFieldDefs& FieldDefs() { return FieldDefs_; }
  const TTarnexFieldDefs& FieldDefs() const { return FieldDefs_; }
  TTarnexTableData* Table() const { return Table_; }
  TTarnexBaseSequenceManager* SequenceManager() const { return SequenceManager_; }

private:
  TTarnexFieldDefs FieldDefs_;                    // owned definitions
  TTarnexTableData* Table_;                       // not owned
  TTarnexBaseSequenceManager* SequenceManager_;   // not owned (the table owns it)
};

// The constraints of a table.
class TTarnexBaseConstraintManager {
public:
  explicit TTarnexBaseConstraintManager(TTarnexTableData* table) : Table_(table) {}
  virtual ~TTarnexBaseConstraintManager();
  TTarnexBaseConstraintManager(const TTarnexBaseConstraintManager&) = delete;
  TTarnexBaseConstraintManager& operator=(const TTarnexBaseConstraintManager&) = delete;

  TTarnexConstraintDefs& ConstraintDefs() { return ConstraintDefs_; }
  TTarnexTableData* Table() const { return Table_; }

private:
  TTarnexConstraintDefs ConstraintDefs_;  // owned definitions
  TTarnexTableData* Table_;               // not owned
};

// The indexes of a table: their definitions and the B-tree objects that serve them. Index objects
// are opened on first use (over the table's fields, its record manager and its page manager, or
// the temporary page manager for a Temporary index) and kept until their index is dropped.
class TTarnexBaseIndexManager {
public:
  explicit TTarnexBaseIndexManager(TTarnexTableData* table);  // not owned
  virtual ~TTarnexBaseIndexManager();  // closes every index object, frees the temporary pages
  TTarnexBaseIndexManager(const TTarnexBaseIndexManager&) = delete;
  TTarnexBaseIndexManager& operator=(const TTarnexBaseIndexManager&) = delete;

  // --- virtual operations, in slot order ---
  virtual void LoadFromStream(TTarnexStream& stream);  // the index list's stream form
  virtual void SaveToStream(TTarnexStream& stream);
  // The page manager of Temporary indexes, a TTarnexTemporaryPageManager created on first use.
  virtual TTarnexPageManager* GetTempPageManager();
  // Closes every index object and copies defs into IndexDefs.
  virtual void AssignDefs(const TTarnexIndexDefs& defs);

  TTarnexIndexDefs& IndexDefs() { return IndexDefs_; }
  int32_t IndexCount() const { return IndexDefs_.Count(); }
  // The index object of definition i (0..IndexCount()-1), opened on first use.
  TTarnexBTreeIndex& Index(int32_t i);
  // The index object of the definition with ObjectID id; nil when there is none.
  TTarnexBTreeIndex* FindIndex(TTarnexObjectID id);
  // Appends a definition (taken over) and builds its tree over the table's records for
  // sessionID (the definition's RootPageNo is set). On failure the definition is removed again.
  TTarnexBTreeIndex& AddIndex(std::unique_ptr<TTarnexIndexDef> definition, int32_t sessionID);
  // Frees the tree of definition i for sessionID; the definition stays with RootPageNo -1.
  void DropIndexPages(int32_t i, int32_t sessionID);
  // DropIndexPages, then closes the index object and deletes the definition.
  void DeleteIndex(int32_t i, int32_t sessionID);
  // Closes every index object (definitions stay); they reopen on next use.
  void CloseAllIndexes();
  // Copies every open index object's RootPageNo into its definition. Returns whether a Temporary
  // index changed its root.
  bool SyncRootPages();
  // Commits sessionID's pages of the temporary page manager, when it exists.
  void CommitTempPages(int32_t sessionID);
  // Whether a Temporary index exists.
  bool HasTemporaryIndexes() const;

  TTarnexTableData* Table() const { return Table_; }
  // The temporary page manager if it has been created, else nil.
  TTarnexTemporaryPageManager* TempPageManager() const { return TempPageManager_.get(); }

private:
  std::unique_ptr<TTarnexBTreeIndex> OpenIndexObject(const TTarnexIndexDef& def);

  TTarnexIndexDefs IndexDefs_;                               // owned definitions
  TTarnexTableData* Table_;                                  // not owned
  std::vector<std::unique_ptr<TTarnexBTreeIndex>> Indexes_;  // owned; parallel to IndexDefs_, nil = not open
  std::unique_ptr<TTarnexTemporaryPageManager> TempPageManager_;  // owned; created on first use
};

// ---------------------------------------------------------------------------------------------
// Table object
// ---------------------------------------------------------------------------------------------

// Base of TTarnexMemoryTableData and TTarnexTemporaryTableData. Every public operation except
// the counters runs under Lock (re-entrant) and releases it on every path. Operations that take
// a cursor use its record buffer, RecordID, session, index, filter and record set; changes leave
// the cursor on the changed record. Session IDs name the page-manager session whose pages an
// operation commits; -2 is the engine itself.
//
// Foreign keys: the places that will run the referential rules call ForeignKey* hooks that do
// nothing yet. Search (the filter planner) raises 10381 "Error - operation is not supported";
// Navigate and the record counts and numbers serve unfiltered cursors in index and table order.
class TTarnexTableData {
public:
  virtual ~TTarnexTableData();  // frees indexes, records and BLOBs without raising
  TTarnexTableData(const TTarnexTableData&) = delete;
  TTarnexTableData& operator=(const TTarnexTableData&) = delete;

  // --- virtual operations, in slot order ---

  virtual TTarnexPageManager* GetPageManager() = 0;
  virtual int32_t ReservedOperation2();  // -1
  virtual void CreateRecordManager() = 0;
  // Replaces the index manager by a new one holding a copy of indexDefs.
  virtual void SetIndexDefs(const TTarnexIndexDefs& indexDefs);
  // Sets cursor's RecordSize (and RecordBufferSize = + 7, PositionedRecordSize = + 6); returns
  // the offset of the first field (the null-flag bytes).
  virtual int32_t GetRecordSizes(TTarnexCursor* cursor);
  // Creates the table from the three lists (definitions get fresh ObjectIDs first; nil lists are
  // empty). Validation failures raise their codes and leave the table as it was.
  virtual void CreateTable(TTarnexCursor* cursor, TTarnexFieldDefs* fieldDefs, TTarnexConstraintDefs* constraintDefs,
                           TTarnexIndexDefs* indexDefs) = 0;
  // Drops the table: 20017 while cursors are open (unless keepObject), 11481 with foreign keys
  // (unless ignored); every index is dropped and the pages committed. The object is freed (it
  // leaves its database's catalog) unless keepObject is set and cursors remain: do not use the
  // table after a call that may free it.
  virtual void DropTable(TTarnexBaseSession* session, bool ignoreForeignKeys, bool keepObject);
  // Removes every record and index entry, keeps the definitions. Cursors other than `cursor`
  // open on the table raise 10072.
  virtual void EmptyTable(TTarnexCursor* cursor) = 0;
  // 10150 while cursors other than `cursor` are open; then the name changes.
  virtual void RenameTable(TTarnexCursor* cursor, const std::string& newName);
  // 11482 for an unknown name; a primary key referenced by foreign keys needs force (11483) and
  // drops its index with the constraint.
  virtual void DropConstraint(TTarnexCursor* cursor, const std::string& name, bool ignoreForeignKeys, bool force);
  // Sets the Table name of every foreign key and mirror naming oldName (ignoring case) to newName.
  virtual void RenameReferencedTable(TTarnexCursor* cursor, const std::string& oldName, const std::string& newName);
  // The binary form of a whole table is not settled: both refuse with 10383 "Error - operation
  // is not supported".
  virtual void LoadFromStream(TTarnexStream& stream);
  virtual void SaveToStream(TTarnexStream& stream);
  // Registers cursor (not owned); the first cursor allocates WorkBuffer.
  virtual void AddCursor(TTarnexCursor* cursor);
  // Unregisters cursor; the last one frees WorkBuffer. A temporary table whose last cursor leaves
  // without keepTable drops and frees itself: do not use it afterwards.
  virtual void RemoveCursor(TTarnexCursor* cursor, bool keepTable = false);
  // 30343 unknown field, 30344 new name taken, 11489 used by an index, 11488 used by a foreign key.
  virtual void RenameField(TTarnexCursor* cursor, const std::string& oldName, const std::string& newName);
  // Adds a copy of definition (fresh ObjectID) and builds its tree over the records; unless the
  // index is Temporary or internalChange, a Primary or Unique index gets its constraint.
  virtual void AddIndex(const TTarnexIndexDef& definition, TTarnexCursor* cursor, bool internalChange = false);
  // Drops index id (unknown: nothing). With a cursor, unless Temporary or internalChange, the
  // first primary key or unique constraint on it goes too; without one, session -2.
  virtual void DropIndex(TTarnexObjectID id, TTarnexCursor* cursor, bool internalChange = false);
  // Frees the tree of index id for the session; the definition stays (RootPageNo -1).
  virtual void DropIndexPages(TTarnexObjectID id, int32_t sessionID);
  virtual void DropAllIndexes(TTarnexCursor* cursor);
  // Frees every tree for the session; the definitions stay with RootPageNo -1.
  virtual void ClearAllIndexes(int32_t sessionID);
  virtual void ReservedOperation22();  // nothing
  virtual int64_t GetRecordIDBound();  // the record count
  virtual int64_t RecordIDToInt64(const TTarnexRecordID& id) = 0;
  virtual TTarnexRecordID Int64ToRecordID(int64_t value) = 0;
  // The filter planner (with its record-set fill). Not available in this build: raises 10381
  // "Error - operation is not supported". recordID OUT: the first match.
  virtual bool Search(TTarnexCursor* cursor, TTarnexExpression* expression, TTarnexRecordBitmap* recordSet,
                      const TTarnexScanSearchCondition* keyCondition, TTarnexRecordID& recordID);
  // Whether the cursor's current RecordID holds a live record.
  virtual bool RecordExists(TTarnexCursor* cursor);
  virtual int32_t CompareRecordIDs(const TTarnexRecordID& a, const TTarnexRecordID& b) = 0;  // -1, 0, 1
  // Moves the cursor (Current re-reads) in its index's order, or table order without an index,
  // reading the record into its RecordBuffer and setting RecordID, Bof and Eof. An empty table
  // answers AfterLast. A filtered cursor is answered from its record set (built by Search).
  virtual TNavigationResult Navigate(TTarnexCursor* cursor, TNavigationDirection direction);
  // A BLOB stream (owned by the caller) over field fieldNo of the cursor's record buffer:
  // fieldNo counts the cursor's VisibleFieldDefs. Mode 1 reads; 0 and 2 may write.
  virtual std::unique_ptr<TTarnexLocalBLOBStream> OpenBlobStream(TTarnexCursor* cursor, bool newValue, uint8_t mode,
                                                                 int32_t fieldNo) = 0;
  // Stores the content of stream as field fieldNo (VisibleFieldDefs) of the cursor's buffer.
  virtual void WriteBlob(TTarnexCursor* cursor, int32_t fieldNo, TTarnexLocalBLOBStream& stream) = 0;
  // Frees the BLOB data of field fieldNo (FieldDefs) held by recordBuffer and sets it NULL.
  virtual void FreeBlob(uint8_t* recordBuffer, int32_t fieldNo) = 0;
  // Checks every constraint against newRecordBuffer (see the class comment of each constraint):
  // 30330/30319 primary key, 30320 unique, 30024/30026 not null, 30029/30030 check, 30036 others.
  // oldRecordBuffer: the record before an update (uniqueness ignores an unchanged key).
  virtual void CheckConstraints(TTarnexCursor* cursor, TTarnexBaseSession* session, bool skipForeignKeys,
                                const TTarnexRecordID& position, bool inserting, const uint8_t* oldRecordBuffer,
                                const uint8_t* newRecordBuffer);
  virtual void ApplyDefaults(TTarnexCursor* cursor, uint8_t* recordBuffer, bool generateAutoinc);
  // Stores the cursor's record buffer as a new record and adds its keys; false when the record
  // manager refuses (nothing changed).
  virtual bool InsertRecord(TTarnexCursor* cursor) = 0;
  // Deletes the cursor's current record; the cursor lands on its neighbour (next, else prior) or
  // BOF. False when there is no such record.
  virtual bool DeleteRecord(TTarnexCursor* cursor) = 0;
  // Replaces the cursor's current record by its record buffer, moving its index entries. False
  // when there is no such record (nothing changed).
  virtual bool UpdateRecord(TTarnexCursor* cursor) = 0;
  virtual void BeginEdit(TTarnexCursor* cursor);   // nothing
  // Frees every BLOB block the cursor's buffer owns (marker 0x0F0F).
  virtual void CancelEdit(TTarnexCursor* cursor);
  // Deletes every record of the cursor's scope (its active record set, else the table); the
  // cursor ends at BOF.
  virtual void DeleteAllRecords(TTarnexCursor* cursor) = 0;
  // Writes values (one per name) into every record of the scope, checking constraints.
  // 11448 when the counts differ, 11447 for an unknown field, 11449 for an unreadable record.
  virtual void UpdateAllRecords(TTarnexCursor* cursor, const std::vector<std::string>& fieldNames,
                                const std::vector<const TTarnexVariant*>& values);
  // Records the cursor sees (its record set when filtered, else the table's count).
  virtual int64_t GetCursorRecordCount(TTarnexCursor* cursor);
  // Places the cursor on its recNo-th record (1-based, clamped to the count).
  virtual void SetRecNo(TTarnexCursor* cursor, int64_t recNo);
  // The cursor's record number; -1 at BOF, at EOF or in an empty view.
  virtual int64_t GetRecNo(TTarnexCursor* cursor);
  virtual void SetRecNoInTableOrder(TTarnexCursor* cursor, int64_t recNo) = 0;
  virtual int64_t GetRecNoInTableOrder(TTarnexCursor* cursor) = 0;
  virtual int64_t GetRecordCount() = 0;
  virtual int64_t GetLastAutoinc(const TTarnexFieldDef& field, TTarnexBaseSession* session);  // 0
  virtual void SetLastAutoinc(const TTarnexFieldDef& field, int64_t value);                    // nothing
  virtual void IncUsage();
  virtual void DecUsage();
  // Table locks: every request is granted at once.
  virtual bool LockShared(int32_t sessionID);
  virtual bool UnlockShared(int32_t sessionID);
  virtual bool LockIRW(int32_t sessionID);
  virtual bool UnlockIRW(int32_t sessionID);
  virtual bool LockRW(int32_t sessionID);
  virtual bool UnlockRW(int32_t sessionID);
  virtual bool TryLockShared(int32_t sessionID);
  virtual bool TryUnlockShared(int32_t sessionID);
  virtual bool TryLockIRW(int32_t sessionID);
  virtual bool TryUnlockIRW(int32_t sessionID);
  virtual bool TryLockRW(int32_t sessionID);
  virtual bool TryUnlockRW(int32_t sessionID);
  // Changes are final when each operation returns: nothing to do.
  virtual void StartTransaction(int32_t sessionID);
  virtual void CommitTransaction(int32_t sessionID);
  virtual void RollbackTransaction(int32_t sessionID);
  virtual bool ReservedOperationLast();  // false

  // --- state ---

  TTarnexCriticalSection& Lock() { return Lock_; }
  TTarnexDatabaseData* Database() const { return Database_; }
  const std::string& TableName() const { return TableName_; }
  void SetTableName(const std::string& name) { TableName_ = name; }
  TTarnexBaseFieldManager& FieldManager() { return *FieldManager_; }
  TTarnexBaseConstraintManager& ConstraintManager() { return *ConstraintManager_; }
  TTarnexBaseIndexManager& IndexManager() { return *IndexManager_; }
  TTarnexBaseSequenceManager& SequenceManager() { return *SequenceManager_; }
  TTarnexBaseRecordManager* RecordManager() const { return RecordManager_.get(); }  // nil until created
  TTarnexFieldDefs& FieldDefs() { return FieldManager_->FieldDefs(); }
  TTarnexIndexDefs& IndexDefs() { return IndexManager_->IndexDefs(); }
  TTarnexConstraintDefs& ConstraintDefs() { return ConstraintManager_->ConstraintDefs(); }
  const std::vector<TTarnexCursor*>& Cursors() const { return Cursors_; }
  bool HasBlobFields() const { return HasBlobFields_; }
  bool SlotIDs() const { return SlotIDs_; }
  bool OrdinalIDs() const { return OrdinalIDs_; }
  int32_t CurrentSessionID() const { return CurrentSessionID_; }
  uint8_t NavigationMode() const { return NavigationMode_; }
  int32_t UsageCount() const { return UsageCount_; }
  uint8_t* WorkBuffer() const { return WorkBuffer_; }  // RecordSize bytes while a cursor is open
  int32_t RecordSize() const { return FieldManager_->FieldDefs().RecordSize(); }

protected:
  TTarnexTableData(TTarnexDatabaseData* database, const std::string& tableName);

  // CreateTable steps shared by both kinds. Validates (fields, indexes, constraints; nothing
  // changes on failure), assigns ObjectIDs and builds new field, index and constraint managers
  // (noFieldsCode: 10025 or 10132; blobBlockSizeCode: 10421 or 11333), and sets HasBlobFields.
  // withSequences: a new sequence manager and the autoincrement sequences.
  void BuildDefinitions(TTarnexFieldDefs* fieldDefs, TTarnexConstraintDefs* constraintDefs,
                        TTarnexIndexDefs* indexDefs, int32_t noFieldsCode, int32_t blobBlockSizeCode,
                        bool withSequences, bool foreignKeysAllowed);
  // The cursors other than `except`.
  bool HasOtherCursors(const TTarnexCursor* except) const;
  // Adds the keys of buffer at id to every index, undoing on failure; copies changed roots into
  // the definitions and commits the temporary index pages.
  void InsertIndexKeys(int32_t sessionID, const uint8_t* buffer, const TTarnexRecordID& id);
  void DeleteIndexKeys(int32_t sessionID, const uint8_t* buffer, const TTarnexRecordID& id);
  // Moves id's entries from oldBuffer's keys to newBuffer's; returns whether the key of
  // `orderIndexID` changed.
  bool UpdateIndexKeys(int32_t sessionID, const uint8_t* oldBuffer, const uint8_t* newBuffer,
                       const TTarnexRecordID& id, TTarnexObjectID orderIndexID);
  // Commits the session's pages on the table's page manager.
  void CommitPages(int32_t sessionID);
  // Reads record id into buffer; false when there is none.
  bool ReadStoredRecord(int32_t sessionID, const TTarnexRecordID& id, uint8_t* buffer);
  // The cursor's scope for DeleteAllRecords / UpdateAllRecords, in its order.
  std::vector<TTarnexRecordID> RecordScope(TTarnexCursor* cursor);
  // Record-set upkeep after an insert, an update and a delete.
  void RecordSetInserted(TTarnexCursor* cursor);
  void RecordSetUpdated(TTarnexCursor* cursor, bool orderKeyChanged);
  void RecordSetDeleted(TTarnexCursor* cursor, const TTarnexRecordID& id);
  // The FieldDefs number of the cursor's visible field fieldNo (code for an invalid number).
  int32_t TableFieldNo(const TTarnexCursor* cursor, int32_t fieldNo, int32_t code) const;
  // The index the cursor navigates by; nil in table order.
  TTarnexBTreeIndex* CursorIndex(const TTarnexCursor* cursor);
  // Unregisters the table from its database and frees it (the end of a DropTable).
  void FreeSelf();
  // Releases every tree, the records and the BLOBs (destruction and freeing drops).
  void ReleaseContents(int32_t sessionID);
  // A reusable scratch buffer of at least size bytes, owned by the table (memory manager). Slots:
  // 0 the stored image of the record being changed, 1 the neighbour search of a delete, 2 record
  // numbers. Only for work that does not call back into an operation using the same slot.
  uint8_t* Scratch(int32_t slot, int32_t size);
  // Fills the cursor's record set (Search); it becomes Active.
  void BuildRecordSet(TTarnexCursor* cursor);
  // A local BLOB stream over underlying (taken over): a new empty value of the field, or the
  // stored value of blockCount blocks of blockSize bytes, uncompressedSize long. Mode and
  // fieldNo as OpenBlobStream.
  std::unique_ptr<TTarnexLocalBLOBStream> MakeLocalBlobStream(TTarnexCursor* cursor, const TTarnexFieldDef& field,
                                                              bool newValue, uint8_t mode, int32_t fieldNo,
                                                              std::unique_ptr<TTarnexStream> underlying,
                                                              int32_t blockSize, int64_t blockCount,
                                                              int64_t uncompressedSize);

  // --- kind-specific work behind the shared operations ---

  // Frees every BLOB the table holds (emptying, freeing). Base: nothing.
  virtual void FreeAllBlobs();
  // Stores newBuffer over record id (whose stored image is oldStored), moving its index entries
  // and keeping the cursor's record set; false when the record manager refuses (entries moved
  // back). Base: refuses updates with 11301 "Error - operation is not supported".
  virtual bool StoreUpdatedRecord(TTarnexCursor* cursor, int32_t sessionID, const TTarnexRecordID& id,
                                  const uint8_t* oldStored, uint8_t* newBuffer);
  [[noreturn]] static void StoreUpdatedRecordRefused();

  // Foreign keys (not built yet: they do nothing). Called where the referential rules belong.
  void ForeignKeyValidateNewTable(TTarnexCursor* cursor);
  void ForeignKeyCheckRow(TTarnexCursor* cursor, const uint8_t* recordBuffer);
  void ForeignKeyBeforeUpdate(TTarnexCursor* cursor);
  void ForeignKeyBeforeDelete(TTarnexCursor* cursor, const uint8_t* recordBuffer);
  void ForeignKeyRemoveMirrors(TTarnexBaseSession* session);
  void ForeignKeyRenameReferences(TTarnexCursor* cursor, const std::string& oldName, const std::string& newName);
  void ForeignKeyDropCounterpart(TTarnexCursor* cursor, const TTarnexConstraintDef& constraint);

  TTarnexCriticalSection Lock_;
  TTarnexDatabaseData* Database_;  // not owned: the owning database
  std::string TableName_;
  std::unique_ptr<TTarnexBaseSequenceManager> SequenceManager_;  // owned
  std::unique_ptr<TTarnexBaseFieldManager> FieldManager_;        // owned
  std::unique_ptr<TTarnexBaseConstraintManager> ConstraintManager_;  // owned
  std::unique_ptr<TTarnexBaseIndexManager> IndexManager_;        // owned
  std::unique_ptr<TTarnexBaseRecordManager> RecordManager_;      // owned; nil until CreateRecordManager
  std::vector<TTarnexCursor*> Cursors_;  // not owned: the cursors open on the table
  bool HasBlobFields_ = false;
  bool SlotIDs_ = false;
  bool OrdinalIDs_ = false;
  int32_t CurrentSessionID_ = -2;  // session of the operation in progress; -2 the engine
  uint8_t NavigationMode_ = 0;     // set for the duration of one navigation
  int32_t UsageCount_ = 0;         // raised and lowered by cursors
  uint8_t* WorkBuffer_ = nullptr;  // owned (memory manager): RecordSize bytes while cursors are open
  uint8_t* Scratch_[3] = {};       // owned (memory manager): see Scratch
  int32_t ScratchSize_[3] = {};
};
