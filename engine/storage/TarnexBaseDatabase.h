// Database objects: the catalog of the tables of one storage kind ("MEMORY" and "TEMP", the two
// concrete kinds, live in TarnexMemEngine and TarnexTempEngine), the sessions attached to it and
// the source of the ObjectIDs of every definition; and the process-wide list of databases.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/TarnexCriticalSection.h"

class TTarnexBaseSession;
class TTarnexCursor;
class TTarnexTableData;
class TTarnexSequenceDef;
class TTarnexPageManager;
struct TTarnexTableLockItemForSession;  // the lock counts of one table in a transaction

// Base of both database kinds. Virtual operations in slot order; the ten file-database operations
// serve kinds that keep their tables in files (this system has none) and give fixed answers.
class TTarnexDatabaseData {
public:
  virtual ~TTarnexDatabaseData();  // see FreeTables; then removes itself from DatabaseList()
  TTarnexDatabaseData(const TTarnexDatabaseData&) = delete;
  TTarnexDatabaseData& operator=(const TTarnexDatabaseData&) = delete;

  // --- virtual operations, in slot order ---

  // Under the lock, appends session to AttachedSessions (not owned).
  virtual void AddSession(TTarnexBaseSession* session);
  // Under the lock, removes session from AttachedSessions (absent: nothing).
  virtual void RemoveSession(TTarnexBaseSession* session);
  virtual void Release();  // nothing
  // Under the lock, appends every table's name in catalog order.
  virtual void GetTableNames(std::vector<std::string>& names);
  // GetTableNames, then a search ignoring case (locale upper-casing).
  virtual bool TableExists(const std::string& name);
  virtual void CreateDatabase(TTarnexBaseSession* session);  // nothing
  // A new table object for cursor's TableName, appended to Tables and returned (owned by the
  // database). No lock of its own: callers hold the database lock.
  virtual TTarnexTableData* CreateTableData(TTarnexCursor* cursor) = 0;
  // Under the lock, the first table whose name equals cursor's TableName ignoring case; nil.
  virtual TTarnexTableData* FindTableData(TTarnexCursor* cursor);
  // Under the lock, FindTableData, else CreateTableData.
  virtual TTarnexTableData* FindOrCreateTableData(TTarnexCursor* cursor);
  // The first file-database operation has no meaning for these kinds: it raises 10380 "Error -
  // operation is not supported".
  virtual int32_t FileDatabaseOperation1(TTarnexBaseSession* session);
  virtual double FileDatabaseOperation2(TTarnexBaseSession* session);   // 0.0
  virtual int32_t FileDatabaseOperation3(TTarnexBaseSession* session);  // 0
  virtual int32_t FileDatabaseOperation4(TTarnexBaseSession* session);  // 0
  virtual bool FileDatabaseOperation5(TTarnexBaseSession* session);     // false
  virtual bool FileDatabaseOperation6(TTarnexBaseSession* session);     // true
  virtual bool FileDatabaseOperation7(TTarnexBaseSession* session);     // true
  virtual void FileDatabaseOperation8(TTarnexBaseSession* session, const std::string& first,
                                      const std::string& second);     // nothing
  virtual void FileDatabaseOperation9(TTarnexBaseSession* session);     // nothing
  virtual bool FileDatabaseOperation10(TTarnexBaseSession* session);    // false
  // The table locks the session holds outside a transaction: none is ever held, nothing added.
  virtual void GetSessionTableLocks(int32_t sessionID, std::vector<TTarnexTableLockItemForSession*>& locks);
  virtual bool LockTable(const std::string& tableName, int32_t sessionID, TTarnexTableLockItemForSession* lockItem,
                         const std::string& mode);  // true
  virtual bool UnlockTable(const std::string& tableName, int32_t sessionID,
                           TTarnexTableLockItemForSession* lockItem);  // true

  // --- non-virtual ---

  void Lock() { Lock_.Enter(); }    // re-entrant for the thread holding it
  void Unlock() { Lock_.Leave(); }
  TTarnexCriticalSection& LockSection() { return Lock_; }  // for scoped guards
  // The next value of ObjectIDSequence: 1, 2, 3, ... across all tables of this database. A value
  // above 2147483647 raises ERangeError. Safe to call under a table's lock (own small lock).
  int32_t NextObjectID();

  const std::string& DatabaseName() const { return DatabaseName_; }
  TTarnexSequenceDef& ObjectIDSequence() { return *ObjectIDSequence_; }
  TTarnexPageManager* PageManager() const { return PageManager_; }  // nil for both kinds
  const std::vector<TTarnexBaseSession*>& AttachedSessions() const { return AttachedSessions_; }

  // The catalog, in creation order (the database owns the table objects).
  int32_t TableCount() const { return static_cast<int32_t>(Tables_.size()); }
  TTarnexTableData* Tables(int32_t index) const { return Tables_.at(index).get(); }
  // Appends table (taken over) to the catalog and returns it.
  TTarnexTableData* AddTableData(std::unique_ptr<TTarnexTableData> table);
  // Takes table out of the catalog and frees it (a table leaving its database); a table not in
  // the catalog is left alone.
  void FreeTableData(TTarnexTableData* table);

protected:
  explicit TTarnexDatabaseData(std::string databaseName);
  // Frees every table object still listed, in catalog order, without dropping them. Subclass
  // destructors call it after their own shutdown work.
  void FreeTables() noexcept;

  std::vector<std::unique_ptr<TTarnexTableData>> Tables_;  // owned: the catalog

private:
  TTarnexCriticalSection Lock_;                       // serialises catalog access
  TTarnexCriticalSection ObjectIDLock_;               // guards ObjectIDSequence_ alone
  std::vector<TTarnexBaseSession*> AttachedSessions_;  // not owned
  std::string DatabaseName_;                           // "MEMORY" or "TEMP"
  std::unique_ptr<TTarnexSequenceDef> ObjectIDSequence_;  // owned; the sequence defaults
  TTarnexPageManager* PageManager_ = nullptr;          // not owned; nil for both kinds
};

// The process-wide list of databases: "MEMORY" first, "TEMP" second once the client start-up has
// appended them. Every access takes the list's lock; sessions hold it (LockSection) while they
// search it and forward a call to a database. The list does not own the databases; a database
// removes itself when it is freed.
class TTarnexDatabaseList {
public:
  TTarnexDatabaseList() = default;
  TTarnexDatabaseList(const TTarnexDatabaseList&) = delete;
  TTarnexDatabaseList& operator=(const TTarnexDatabaseList&) = delete;

  void Add(TTarnexDatabaseData* database);
  void Remove(TTarnexDatabaseData* database);  // absent: nothing
  int32_t Count();
  TTarnexDatabaseData* Items(int32_t index);   // std::out_of_range outside 0..Count-1
  // The first database whose name upper-cased (locale) equals name upper-cased; nil.
  TTarnexDatabaseData* FindByName(const std::string& name);
  TTarnexCriticalSection& LockSection() { return Lock_; }

private:
  TTarnexCriticalSection Lock_;
  std::vector<TTarnexDatabaseData*> Items_;  // not owned
};

// The one process-wide list (never destroyed, so databases freed late can still leave it).
TTarnexDatabaseList& DatabaseList();
