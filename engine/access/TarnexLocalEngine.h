// The local session and the local cursor: the engine side of a database component and of a data
// set. The session binds a component to one database object of the process-wide list and holds
// its transaction; the cursor reaches its table object through the session's database and does
// the bookkeeping (definitions, buffers, position, filter, range, BLOB streams, status) around
// the table's record operations. Also the transaction object and its table lock items.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/TarnexBaseCursor.h"
#include "engine/storage/TarnexBaseSession.h"

class TTarnexDatabaseData;
class TTarnexTableData;
class TTarnexLocalSession;
class TTarnexExprFieldSource;         // what column references of an expression read (expression layer)
class TTarnexLocalCursorFieldSource;  // the cursor's side of it (TarnexLocalEngine.cpp)

// ---------------------------------------------------------------------------------------------
// Transactions
// ---------------------------------------------------------------------------------------------

// The locks one session holds on one table, counted per lock mode. The database's LockTable and
// UnlockTable keep the counts; everything is zero when an item is created.
struct TTarnexTableLockItemForSession {
  std::string TableName;          // upper-cased with the locale's upper-casing
  int32_t IntentSharedCount = 0;  // mode "IS"
  int32_t SharedCount = 0;        // mode "S"
  int32_t IntentWriteCount = 0;   // mode "IRW"
  int32_t WriteCount = 0;         // mode "RW"
  int32_t ExclusiveCount = 0;     // mode "X"
  bool Flag = false;              // kept for the database's own use

  // Any lock beyond a plain shared one ("IRW", "RW" or "X").
  bool MoreThanShared() const { return IntentWriteCount > 0 || WriteCount > 0 || ExclusiveCount > 0; }
  // A lock that lets the session change the table ("IRW", "RW" or "X").
  bool HoldsWriteLock() const { return MoreThanShared(); }
};

// A session's open transaction on a database kind that accepts transactions (neither "MEMORY"
// nor "TEMP" does: the local session refuses them, so this system never creates one). Created
// by the session's StartTransaction, finished by Commit or Rollback, then freed by the session.
class TTarnexTransaction {
public:
  // Takes over the session's table locks held outside a transaction (10824 for one beyond a
  // plain shared lock; a refused lock raises "Error - cannot lock table in '%s' mode, table
  // name = '%s'": 10828 "IS", 10829 "S", 10827 "X"), tells every table that has a cursor of the
  // session StartTransaction and lets every such local cursor save its position. A refusal
  // releases what was taken; the object is then finished.
  //   session   IN, not owned: the owning session (its SessionID is copied).
  //   database  IN, not owned: the session's database.
  TTarnexTransaction(TTarnexLocalSession* session, TTarnexDatabaseData* database);
  // Releases the lock items still held without raising (see Free for the unfinished check).
  ~TTarnexTransaction();
  TTarnexTransaction(const TTarnexTransaction&) = delete;
  TTarnexTransaction& operator=(const TTarnexTransaction&) = delete;

  // Every lock item holding a write lock must be lockable exclusively ("X"), else the
  // transaction rolls back and 10826 "Commit operation failed - rollback called. Some of
  // modified tables are locked by other sessions" is raised. Then the tables with a cursor of
  // the session commit, and the database's page manager (when there is one) commits the
  // session's pages, flushing them when asked. Always: Finished, and every lock item released
  // (a refused unlock raises 10825 "Cannot unlock table '%s' in transaction").
  void Commit(bool flush);
  // The page manager discards the session's pages, the tables with a cursor of the session roll
  // back; always: every local cursor of the session restores its saved position and refreshes
  // its definitions, Finished, lock items released as in Commit.
  void Rollback();

  // Frees transaction and clears the reference; an unfinished one raises 10819 "Transaction is
  // not finished" and is kept.
  static void Free(std::unique_ptr<TTarnexTransaction>& transaction);

  bool Finished = false;                  // set once Commit or Rollback has run
  TTarnexLocalSession* Session;           // not owned: the owning session
  int32_t SessionID;                      // the session's SessionID at creation
  TTarnexDatabaseData* Database;          // not owned: the session's database
  std::vector<std::unique_ptr<TTarnexTableLockItemForSession>> LockItems;  // owned, one per table

private:
  // The lock item of tableName (upper-cased), appended when absent.
  TTarnexTableLockItemForSession& ItemFor(const std::string& tableName);
  // Calls f(table) for every table of Database that has a cursor of Session.
  template <class F> void ForEachSessionTable(F f);
  // Unlocks and frees every item; raises 10825 for the first refused unlock (all are tried).
  void ReleaseLockItems();
  void ReleaseLockItemsQuietly() noexcept;
};

// ---------------------------------------------------------------------------------------------
// Local session
// ---------------------------------------------------------------------------------------------

// The engine-side session a database component owns while it is connected. A database of the
// process-wide list matches the session when its name upper-cased is "MEMORY" and DatabaseName is
// exactly "MEMORY", likewise for "TEMP", and otherwise when it equals DatabaseFileName, both
// upper-cased; the first match in list order is taken. No kind of database can be made from a
// file: a session matching nothing refuses with 10812 "Cannot find database '%s'" (the
// DatabaseName) wherever it needs its database.
class TTarnexLocalSession : public TTarnexBaseSession {
public:
  TTarnexLocalSession() = default;  // no database, no transaction
  ~TTarnexLocalSession() override;  // SetConnected(false); errors there are swallowed

  // --- virtual operations, in slot order ---

  bool GetConnected() override;  // Database is set
  // Connecting (under the list's lock): finds the database and calls its AddSession, which
  // assigns SessionID (0 for "MEMORY"; "TEMP" keeps -1); if that raises, the database is
  // released and the session stays disconnected. Disconnecting: an open transaction is rolled
  // back and freed, then RemoveSession, Release and Database := nil (also when the rollback
  // fails). Nothing happens when connect equals GetConnected().
  void SetConnected(bool connect) override;
  // A matching database raises 20092 "Cannot create database. Database is already open";
  // otherwise 10811 "Error - operation is not supported" (no database kind is kept in files).
  void CreateDatabase() override;
  void UnnamedOperation4() override;                          // nothing
  void UnnamedOperation5(const std::string& name) override;  // nothing
  // The database's first file-database operation with Database as it is; without a database
  // 11235 "Nil pointer occured".
  int32_t FileDatabaseOperation1() override;
  // The forwarders below take the list's lock, find the database when Database is nil (keeping
  // it without attaching the session) and pass the database's answer on.
  double FileDatabaseOperation2() override;   // 0.0 from both kinds
  int32_t FileDatabaseOperation3() override;  // 0
  int32_t FileDatabaseOperation4() override;  // 0
  bool FileDatabaseOperation5() override;     // false
  bool FileDatabaseOperation6() override;     // true
  bool FileDatabaseOperation7() override;     // true
  bool DatabaseFileExists() override;         // a file named DatabaseFileName exists
  // Both find the database afresh (keeping it in Database) and ask it.
  void GetTableNames(std::vector<std::string>& names) override;  // names OUT: appended
  bool TableExists(const std::string& tableName) override;        // ignoring case
  void FileDatabaseOperation8(const std::string& first, const std::string& second) override;  // nothing
  void FileDatabaseOperation9() override;     // nothing
  bool FileDatabaseOperation10() override;    // false
  bool InTransaction() override;              // Transaction is set
  // Under the list's lock: 10813 "Nil pointer occured" without a database; 10814 "Transaction
  // already started in database '%s'"; 10831 "Cannot start transaction. Only disk databases are
  // allowed for this" for the databases named exactly "MEMORY" or "TEMP"; otherwise a new
  // transaction for this session and its database.
  void StartTransaction() override;
  // 10815 "Nil pointer occured" / 10816 "Transaction is not started in database '%s'"; else the
  // transaction commits and is freed (also when the commit fails).
  void Commit(bool flush) override;
  // 10817 / 10818 with the same two messages; else the transaction rolls back and is freed.
  void Rollback() override;

  // --- fields ---

  TTarnexDatabaseData* Database = nullptr;           // not owned; nil when not connected
  std::unique_ptr<TTarnexTransaction> Transaction;   // owned; the open transaction or nil

private:
  // Under the list's lock, the first database of the list that matches this session; nil.
  TTarnexDatabaseData* FindDatabase();
  // Database, found (and kept) when nil; 10812 when nothing matches.
  TTarnexDatabaseData& ForwardingDatabase();
  // Finds afresh and keeps the result; 10812 when nothing matches.
  TTarnexDatabaseData& FreshDatabase();
};

// ---------------------------------------------------------------------------------------------
// Local cursor
// ---------------------------------------------------------------------------------------------

// The saved place of a cursor (see SaveCursorPosition).
struct TTarnexSavedCursorPosition {
  bool Bof = true;
  bool Eof = false;
  TTarnexRecordID RecordID;
};

// The engine cursor of a data set, a private table operation or a scan of a query. It finds its
// table object through Session's database (a TTarnexLocalSession) by TableName: in-memory and
// temporary tables are looked up in the catalog and the reference is dropped after a table
// operation. Every table operation (create, delete, empty, rename, rename field, open) holds the
// database's lock for the whole call and releases it on every path.
//
// Edit operations never raise for a refused or failed edit: they leave Status (0 success, -1
// insert failed, -2 update failed, -3 delete failed, -8 constraint check failed, -9 edit, -10
// delete, -11 cancel refused on a temporary table) and StatusText for the caller.
//
// A record buffer is RecordSize bytes of record data followed by the 7-byte trailer: the
// RecordID of the record it holds, then a bookmark flag (0 current, 1 before first, 2 after
// last, 3 inserted).
//
// Operations that need an open table raise 11396 "Nil pointer occured" on a closed cursor.
class TTarnexLocalCursor : public TTarnexCursor {
public:
  static constexpr uint8_t BookmarkCurrent = 0;
  static constexpr uint8_t BookmarkBeforeFirst = 1;
  static constexpr uint8_t BookmarkAfterLast = 2;
  static constexpr uint8_t BookmarkInserted = 3;
  static constexpr int32_t TrailerSize = 7;  // RecordID (6) + bookmark flag (1)

  // session: not owned; the cursor's Session (a local session for every table operation).
  explicit TTarnexLocalCursor(TTarnexBaseSession* session = nullptr);
  ~TTarnexLocalCursor() override;  // CloseTable; errors there are swallowed

  // --- the 62 virtual operations, in slot order ---

  // CloseTable; an in-memory or temporary table of this name is deleted first; the database
  // makes a new table object (none: 10523 "Nil pointer occured"), every index definition gets
  // RootPageNo -1 and the table is created from the lists. A failed creation leaves no table.
  void CreateTable(TTarnexFieldDefs* fieldDefs, TTarnexIndexDefs* indexDefs,
                   TTarnexConstraintDefs* constraintDefs) override;
  // CloseTable, then the table is dropped (10027 "Table not found, table name = %s"); keepObject
  // is passed as the table's ignore-foreign-keys flag (a cascading drop), the object is freed.
  void DeleteTable(bool keepObject) override;
  void EmptyTable() override;  // 10073 when there is no table; the table's EmptyTable
  // 10151 when there is no table; afterwards TableName is newName.
  void RenameTable(const std::string& newName) override;
  // 11166 when there is no table; the cursor is registered with the table for the call (and
  // removed again, also on failure).
  void RenameField(const std::string& oldName, const std::string& newName) override;
  // In-memory and temporary tables report success at once. Other tables need Exclusive (11165
  // "Error - table '%s' is not opened in exclusive mode") and are copied record by record into
  // a new table that then replaces them; problems are appended to errorLog.
  bool RepairTable(std::string& errorLog, TTarnexBaseSession* session) override;
  // Needs the table open (11484 "Table not found, table name = %s") and Exclusive (11486).
  void DropConstraint(const std::string& name, bool force, bool ignoreForeignKeys) override;
  // The stream form of a whole table is not provided: 11397 "Error - operation is not
  // supported", nothing is created.
  void LoadTableFromStream(TTarnexStream& stream) override;
  // 10154 when there is no table; the table refuses (its own error).
  void SaveTableToStream(TTarnexStream& stream, int32_t options) override;
  // The SQL statements that rebuild the table, in this order: DROP TABLE, CREATE TABLE (fields,
  // the primary key, foreign keys), DROP INDEX / CREATE INDEX per other index, one INSERT per
  // record visible through the cursor (large objects as TOBLOB('base 64', MIME64)). Lines end in
  // "\r\n"; columns and values are indented with a tab. The position and buffer are kept.
  std::string GetSQLScript(const TTarnexSQLScriptOptions& options) override;
  // Copies the table's fields into FieldDefs (and VisibleFieldDefs, numbered, unless a
  // projection is set) and its constraints into ConstraintDefs; sets RecordSize and the buffer
  // sizes and reallocates RecordBuffer and OldRecordBuffer (zeroed, every field null).
  void RefreshFieldDefs() override;
  // Forgets a saved position; nothing more when Opened. Looks the table up; when there is none
  // an in-memory table is created from the three lists (any other raises 10028 "Table not
  // found, table name = %s"). Registers the cursor, places it before the first record, copies
  // the index and constraint lists, makes BlobStreams and RecordSet, then RefreshFieldDefs.
  void OpenTable(TTarnexFieldDefs* fieldDefs, TTarnexIndexDefs* indexDefs,
                 TTarnexConstraintDefs* constraintDefs) override;
  void RefreshIndexDefs() override;  // when open: index and constraint lists, RefreshFieldDefs
  // Unregisters from the table (unless borrowed; a design-mode cursor drops its in-memory table)
  // and frees the definitions, filter, record set, BLOB streams and buffers.
  void CloseTable() override;
  // All fields null (record data zeroed); with applyDefaults and a non-temporary open table,
  // the table's defaults and autoincrement values.
  void InitRecordBuffer(uint8_t* buffer, bool applyDefaults) override;
  TTarnexIndexDefs* GetIndexDefs() override;  // refreshed from the table; nil when closed
  // 20022 "Cannot create index '%s'. Index already exists"; else the table's AddIndex and the
  // lists refreshed. A closed cursor works on the looked-up table for the call.
  void AddIndex(const TTarnexIndexDef& definition) override;
  // 20021 "Cannot delete index '%s'. Index not found"; else the table's DropIndex.
  void DeleteIndex(const std::string& name) override;
  void DeleteAllIndexes() override;
  // indexName OUT: the first index whose key columns are exactly fieldNames (ignoring case;
  // directions "ASC"/"DESC" and case modes "CASE"/"NO_CASE" when given), else empty.
  void FindIndexByFields(TTarnexBaseSession* session, const std::vector<std::string>& fieldNames,
                         const std::vector<std::string>& directions, const std::vector<std::string>& caseModes,
                         std::string& indexName) override;
  void UnnamedOperation21() override;  // 11394 "Error - operation is not supported"
  bool RecordExists() override;
  int64_t GetRecordCount() override;   // the records visible through the cursor
  // The table's Navigate: Found (0) reads the record into RecordBuffer and writes its trailer
  // (RecordID, flag 0); BeforeFirst (1), AfterLast (2, also every read of an empty table),
  // NoRecord (3).
  TNavigationResult GetRecord(TNavigationDirection mode) override;
  void SetRecNo(int64_t recNo) override;
  int64_t GetRecNo() override;
  void UnnamedOperation27() override;  // nothing
  // Status 0 (a temporary table: -9); keeps a copy of RecordBuffer in OldRecordBuffer.
  void BeginEdit() override;
  // Status 0 (a temporary table: -11); frees the writable BLOB streams, the table's CancelEdit.
  void CancelEdit(bool flag) override;
  // Constraint check first (any failure: Status -8 with its message, nothing raised); writable
  // BLOB streams freed; inserting: the table's InsertRecord (Status -1 "Error adding record"),
  // the trailer gets the new RecordID and flag 3; updating: the trailer's RecordID becomes
  // current, the table's UpdateRecord (Status -2 "Error updating record").
  void PostRecord(bool inserting) override;
  // A temporary table gives Status -10; else the trailer's RecordID becomes current and the
  // table deletes it: Status 0, or -3 "Error deleting record".
  void DeleteRecord() override;
  void DeleteAllRecords() override;
  void UpdateAllRecords(const std::vector<std::string>& fieldNames,
                        const std::vector<const TTarnexVariant*>& values) override;
  void InvalidateRecordSet() override;  // the next navigation rebuilds the visible records
  void UnnamedOperation35() override;   // 11393 "Error - operation is not supported"
  // VisibleFieldDefs := the named fields of FieldDefs in that order (each with its number),
  // renamed to a non-empty display name (at most 255 characters). 10321 "Error - different
  // lists length. L1 = %d, L2 = %d"; 10322 "No fields were specified while setting projection";
  // 10323 "Cannot find field %s". A refused projection changes nothing.
  void SetProjection(const std::vector<std::string>& fieldNames,
                     const std::vector<std::string>& displayNames) override;
  // Replaces FilterExpression by the text parsed for this cursor (case-insensitive, partial
  // comparison with a trailing '*' as asked), then InvalidateRecordSet. A text that does not
  // parse raises the parser's error and leaves the filter as it was.
  void SetFilter(const std::string& text, bool partialCompare, bool caseInsensitive) override;
  void ClearFilter() override;  // frees FilterExpression, InvalidateRecordSet
  // The first record of the current order whose named fields equal the values (partial and
  // case-insensitive as asked, nulls ordered) becomes current, flags cleared, and is read into
  // RecordBuffer; otherwise (and on any error) the position, flags included, is restored.
  // fieldNames: one name per value (a name may also hold several names separated by ';').
  bool Locate(const std::vector<std::string>& fieldNames, const std::vector<const TTarnexVariant*>& values,
              bool caseInsensitive, bool partialKey) override;
  // The first record (in the current order) whose key stands in `relation` to KeyBuffer over
  // KeyFieldCount columns (0: every column) of the active index becomes current, flags cleared;
  // otherwise (and on any error) the position, flags included, is restored. A nil KeyBuffer
  // raises 11396.
  bool FindKey(TTarnexScanRelation relation) override;
  void CancelRange() override;  // no bounds, InvalidateRecordSet
  void SetRange(uint8_t* startKey, uint8_t* endKey, bool endExclusive, bool startExclusive,
                int32_t endFieldCount, int32_t startFieldCount) override;
  // Stores the expression (not owned; nil removes it) and binds it to this cursor, then
  // InvalidateRecordSet.
  void SetSQLFilter(TTarnexExpression* expression) override;
  // 10113 "Nil pointer occured" without visible fields or stream list; 10110 "Invalid field
  // number - FieldNo = %d, FieldCount = %d"; for modes 0 and 2 a stream already open on the
  // field in mode 0 or 2 raises 10115 "BLOB field already opened. FieldNo = %d, FieldName = %s".
  TTarnexLocalBLOBStream* OpenBlob(bool newValue, int32_t fieldNo, uint8_t mode) override;
  // 10118 bad field number, 10119 no list, 10120 nil entry. Every stream of the field is freed;
  // one in mode 0 or 2 first has its content written into RecordBuffer (the table's WriteBlob).
  void CloseBlob(int32_t fieldNo) override;
  // Frees every stream, or those in mode 0 or 2; a nil entry raises 10121.
  void FreeBlobStreams(bool onlyWritable) override;
  int64_t GetLastAutoinc(int32_t fieldNo) override;
  void SetLastAutoinc(int32_t fieldNo, int64_t value) override;
  void IncUsage() override;
  void DecUsage() override;
  // Granted at once inside a transaction; otherwise the table is asked and a refusal (or a
  // closed cursor) raises errorCode with "Error - cannot lock table in '%s' mode, table name =
  // '%s'" / "Error - cannot unlock table in '%s' mode, table name = '%s'" ("S", "IRW", "RW").
  void LockShared(int32_t errorCode) override;
  void UnlockShared(int32_t errorCode) override;
  void LockIRW(int32_t errorCode) override;
  void UnlockIRW(int32_t errorCode) override;
  void LockRW(int32_t errorCode) override;
  void UnlockRW(int32_t errorCode) override;
  // True inside a transaction, else the table's answer (false on a closed cursor).
  bool TryLockShared() override;
  bool TryUnlockShared() override;
  bool TryLockIRW() override;
  bool TryUnlockIRW() override;
  bool TryLockRW() override;
  bool TryUnlockRW() override;

  // --- not in the slot table ---

  // Attaches an internal cursor (index builder, queries) to a given table object: like opening,
  // without the lookup and without registering; then RefreshFieldDefs. Closing does not leave
  // the table. table: not owned.
  void AttachToTable(TTarnexTableData* table);

  // Saves Bof, Eof, RecordID and a copy of RecordBuffer, replacing an earlier save.
  void SaveCursorPosition();
  // Puts the saved state back (the buffer copy only while the cursor has a buffer) and forgets
  // it; nothing when nothing is saved.
  void RestoreCursorPosition();
  // Forgets the saved state.
  void ForgetCursorPosition();
  bool HasSavedPosition() const { return SavedPosition != nullptr; }

  // What expressions bound to this cursor read: FieldDefs, VisibleFieldDefs (the names filters
  // use), RecordBuffer and the BLOB values of a record. Owned by the cursor, alive as long as it.
  TTarnexExprFieldSource* ExpressionSource();

  // --- fields ---

  TTarnexTableData* TableData = nullptr;        // not owned: the table while open or in a table operation
  TTarnexDatabaseData* DatabaseData = nullptr;  // not owned: the session's database of the current call
  std::unique_ptr<TTarnexSavedCursorPosition> SavedPosition;  // owned; nil when nothing is saved
  uint8_t* SavedRecord = nullptr;  // owned (memory manager): RecordBuffer saved with the position
  int32_t SavedRecordSize = 0;     // bytes in SavedRecord
  bool BorrowedTable = false;      // attached to a given table: closing does not unregister

private:
  std::unique_ptr<TTarnexLocalCursorFieldSource> FieldSource_;  // owned; made on first use

  // The database of the cursor's local session; raises notFoundCode ("Table not found, table
  // name = %s") when there is none.
  TTarnexDatabaseData& SessionDatabase(int32_t notFoundCode);
  // The table of TableName in database (looked up; nil when none).
  TTarnexTableData* FindTable(TTarnexDatabaseData& database);
  // The looked-up table or notFoundCode; transactionCode: refused inside a transaction for a
  // table that is neither in-memory nor temporary (0: no check).
  TTarnexTableData& RequireTable(TTarnexDatabaseData& database, int32_t notFoundCode, int32_t transactionCode);
  // The open table, or 11396 on a closed cursor.
  TTarnexTableData& OpenTableData() const;
  // The open table, else the looked-up one (notFoundCode), for index operations on a closed cursor.
  template <class F> void WithTable(int32_t notFoundCode, F f);
  // Shared by OpenTable and AttachToTable: position, lists, streams, record set, Opened.
  void SetUpOpened(TTarnexTableData& table);
  // Copies the table's index and constraint lists into IndexDefs and ConstraintDefs.
  void CopyIndexAndConstraintDefs(TTarnexTableData& table);
  void FreeBuffers();
  bool SessionInTransaction();
  // Raises errorCode with the lock or unlock message for mode unless granted.
  void CheckLock(bool granted, bool unlock, const char* mode, int32_t errorCode) const;
  // The copying part of RepairTable for a table that is neither in-memory nor temporary.
  bool RepairOtherTable(std::string& errorLog, TTarnexBaseSession* session);
  void WriteTrailer(uint8_t* buffer, const TTarnexRecordID& id, uint8_t flag) const;
  TTarnexRecordID TrailerRecordID(const uint8_t* buffer) const;
};
