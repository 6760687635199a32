// The engine's client unit: the components through which the program reaches the engine. Sessions
// hold database components; a database component owns one engine local session while connected;
// data sets attach to a database component by name (an automatic one is made on first use).
// The data-set, table, query, BLOB stream and batch components follow the session layer below.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/Classes.h"
#include "platform/rtl/SyncObjs.h"

class TDataSet;
class TTarnexLocalSession;
class TTarnexSession;
class TTarnexDatabase;

// =============================================================================================
// Sessions and databases
// =============================================================================================

using TTarnexSessionEvent = std::function<void(TTarnexSession& sender)>;

// The process's locked list of sessions. Every session enters itself on construction and leaves
// on destruction; the first session ever added is the default session. Sessions made by the
// client unit itself (the default session "Default") are owned by the list.
class TTarnexSessionList {
public:
  TTarnexSessionList() = default;
  ~TTarnexSessionList();  // FreeAllSessions
  TTarnexSessionList(const TTarnexSessionList&) = delete;
  TTarnexSessionList& operator=(const TTarnexSessionList&) = delete;

  // The session named name (ignoring case); an empty name gives the default session; nil when
  // there is none.
  TTarnexSession* FindSession(const std::string& name);
  // FindSession, or ETarnexException 20002 "Invalid session name '%s'".
  TTarnexSession& GetSession(const std::string& name);
  // The default session (the first one added); nil before it exists.
  TTarnexSession* DefaultSession();
  int32_t Count();
  TTarnexSession* Sessions(int32_t index);  // std::out_of_range outside 0..Count-1

  // Takes session over: the list frees it in FreeAllSessions. Returns session.
  TTarnexSession* AddOwned(std::unique_ptr<TTarnexSession> session);
  // Frees the sessions the list owns (the others stay listed until their owner frees them).
  void FreeAllSessions();

  // Automatic session numbers: takes the lowest free number (0, 1, ...) / gives one back.
  int32_t TakeAutoSessionNumber();
  void ReturnAutoSessionNumber(int32_t number);

  // Entry and exit of a constructed / destroyed session (called by TTarnexSession itself).
  void Add(TTarnexSession* session);
  void Remove(TTarnexSession* session);

private:
  TCriticalSection Lock_;                             // guards everything below
  std::vector<TTarnexSession*> Items_;                 // not owned: every living session, in order
  std::vector<std::unique_ptr<TTarnexSession>> Owned_; // owned: sessions handed to AddOwned
  TTarnexSession* Default_ = nullptr;                  // not owned: the first session ever added
  bool DefaultAssigned_ = false;                       // the default has been chosen once
  std::vector<bool> UsedAutoNumbers_;                  // bit set of taken automatic numbers
};

// A session: a named group of database components.
class TTarnexSession : public TComponent {
public:
  // Enters the process-wide session list (20007 before the client unit has started).
  explicit TTarnexSession(TComponent* owner = nullptr);
  // Deactivates (errors swallowed), frees its temporary database components, unbinds the
  // others and leaves the session list.
  ~TTarnexSession() override;

  // --- published properties ---
  bool Active() const { return Active_; }
  // Activation: OnStartup runs; an empty SessionName raises "Session name missing"; the default
  // session is activated first when this is another one. Deactivation disconnects every database
  // component (freeing the temporary ones).
  void SetActive(bool value);
  bool AutoSessionName() const { return AutoSessionName_; }
  // On: "Cannot enable AutoSessionName property with more than one session on a form or
  // data-module" when another session has the same owner; otherwise the session takes the first
  // free automatic number n, is named "<component name>_<n + 1>" and moves the disconnected
  // database components of its owner to that name. Off gives the number back.
  void SetAutoSessionName(bool value);
  bool KeepConnections() const { return KeepConnections_; }  // default true
  void SetKeepConnections(bool value) { KeepConnections_ = value; }
  const std::string& SessionName() const { return SessionName_; }
  // Refused with "Cannot modify SessionName while AutoSessionName is enabled", "Duplicate
  // session name '%s'" (another session has it, ignoring case) and "Cannot perform this operation
  // on an active session".
  void SetSessionName(const std::string& value);
  TTarnexSessionEvent OnStartup;  // runs at each activation

  // --- operations ---

  // The database component named name (ignoring case), preferring a temporary one owned by
  // owner when owner is given; nil.
  TTarnexDatabase* FindDatabase(const std::string& name, TComponent* owner = nullptr);
  // For a data set attaching: under the session lock, FindDatabase, else a new temporary
  // component (owned by this session) with that name and KeepConnections; connects it and
  // counts one use. Returns the component (not owned by the caller).
  TTarnexDatabase& OpenDatabase(const std::string& name, TComponent* owner = nullptr);
  // A data set detaching: one use less; at zero, unless its KeepConnection, a temporary
  // component is freed and a normal one disconnects.
  void CloseDatabase(TTarnexDatabase& database);
  // Nesting lock: the first level enters the process-wide session critical section and makes
  // this session the current one (activating it if needed); the last level restores the
  // previous current session and leaves the section.
  void Lock();
  void Unlock();

  int32_t DatabaseCount() const { return static_cast<int32_t>(Databases_.size()); }
  TTarnexDatabase* Databases(int32_t index) const { return Databases_.at(index); }
  bool IsDefault() const { return IsDefault_; }
  int32_t LockCount() const { return LockCount_; }

  // A database component joining / leaving this session (called by TTarnexDatabase).
  void AddDatabase(TTarnexDatabase* database);
  void RemoveDatabase(TTarnexDatabase* database);

private:
  friend class TTarnexSessionList;
  friend class TTarnexDatabase;
  void Deactivate();

  bool Active_ = false;
  bool AutoSessionName_ = false;
  bool KeepConnections_ = true;
  std::string SessionName_;
  bool IsDefault_ = false;                 // the first session ever added to the list
  int32_t AutoNumber_ = -1;                // the automatic number held, -1 none
  int32_t LockCount_ = 0;                  // nesting of Lock
  TTarnexSession* SavedCurrent_ = nullptr; // not owned: the current session before the first Lock
  std::vector<TTarnexDatabase*> Databases_;                         // not owned: every component
  std::vector<std::unique_ptr<TTarnexDatabase>> TemporaryDatabases_; // owned: the automatic ones
};

// The session that is current while a session holds its lock (the default session otherwise);
// nil before start-up.
TTarnexSession* CurrentSession();

// A database component: one connection of a session to an engine database ("MEMORY", "TEMP").
class TTarnexDatabase : public TComponent {
public:
  // Joins the default session; DatabaseName is "TarnexTableDB_" and a random number.
  explicit TTarnexDatabase(TComponent* owner = nullptr);
  ~TTarnexDatabase() override;  // disconnects (errors swallowed) and leaves its session

  // --- published properties, in order ---
  bool LocalDatabase() const { return LocalDatabase_; }  // default true
  void SetLocalDatabase(bool value) { LocalDatabase_ = value; }
  bool Connected() const { return Handle_ != nullptr; }
  void SetConnected(bool value);  // Open / Close
  const std::string& DatabaseFileName() const { return DatabaseFileName_; }
  void SetDatabaseFileName(const std::string& value) { DatabaseFileName_ = value; }
  const std::string& DatabaseName() const { return DatabaseName_; }
  // Refused while connected with "Cannot perform this operation on an open database".
  void SetDatabaseName(const std::string& value);
  bool Exclusive() const { return Exclusive_; }
  void SetExclusive(bool value) { Exclusive_ = value; }
  bool ReadOnly() const { return ReadOnly_; }  // default false; after connecting, the engine's
  void SetReadOnly(bool value) { ReadOnly_ = value; }
  bool HandleShared() const { return HandleShared_; }  // default false
  void SetHandleShared(bool value) { HandleShared_ = value; }
  bool KeepConnection() const { return KeepConnection_; }  // default true
  void SetKeepConnection(bool value) { KeepConnection_ = value; }
  const std::string& SessionName() const { return SessionName_; }
  // Refused while connected with "Cannot perform this operation on an open database"; the
  // component moves to the named session when it exists (else it binds when connecting).
  void SetSessionName(const std::string& value);

  // --- operations ---

  // Connecting: "Database name missing" for an empty name on a non-temporary component; binds
  // to the session named SessionName (20002 when none) and activates it; borrows the handle of a
  // connected component of the same name when HandleShared; else, under the session lock,
  // creates and connects an engine local session ("Database open error" when not
  // LocalDatabase). A failure frees the half-made engine session and propagates.
  void Open();
  // Closes every attached data set, disconnects the components borrowing this handle, then
  // frees the engine session unless it was borrowed.
  void Close();
  // Connects if needed, asks the engine session, restores the previous connection state.
  bool TableExists(const std::string& tableName);

  TTarnexSession* Session() const { return Session_; }
  TTarnexLocalSession* Handle() const { return Handle_; }  // not owned by the caller; nil closed
  bool IsHandleShared() const { return Shared_; }          // the handle is borrowed
  bool Temporary() const { return Temporary_; }            // created automatically
  void SetTemporary(bool value) { Temporary_ = value; }
  int32_t UseCount() const { return UseCount_; }
  void SetUseCount(int32_t value) { UseCount_ = value; }

  // Attached data sets (not owned).
  void AddDataSet(TDataSet* dataSet);
  void RemoveDataSet(TDataSet* dataSet);
  int32_t DataSetCount() const { return static_cast<int32_t>(DataSets_.size()); }
  TDataSet* DataSets(int32_t index) const { return DataSets_.at(index); }

private:
  friend class TTarnexSession;
  void Bind(TTarnexSession* session);  // leaves the old session, joins the new one (may be nil)

  bool LocalDatabase_ = true;
  std::string DatabaseFileName_;
  std::string DatabaseName_;
  bool Exclusive_ = false;
  bool ReadOnly_ = false;
  bool HandleShared_ = false;
  bool KeepConnection_ = true;
  std::string SessionName_;
  TTarnexSession* Session_ = nullptr;               // not owned: the session it belongs to
  std::unique_ptr<TTarnexLocalSession> OwnHandle_;  // owned: the engine session it made
  TTarnexLocalSession* Handle_ = nullptr;           // not owned: OwnHandle_ or a borrowed one
  bool Shared_ = false;                             // Handle_ is another component's
  bool Temporary_ = false;                          // made by a session for a data set
  int32_t UseCount_ = 0;                            // data-set attachments
  std::vector<TDataSet*> DataSets_;                 // not owned: attached data sets
};

// =============================================================================================
// Client unit start-up and shut-down
// =============================================================================================

// The process-wide locked list of data sets of the client unit (not owned).
class TTarnexDataSetList {
public:
  void Add(TDataSet* dataSet);
  void Remove(TDataSet* dataSet);  // absent: nothing
  int32_t Count();
  TDataSet* Items(int32_t index);  // std::out_of_range outside 0..Count-1

private:
  TCriticalSection Lock_;
  std::vector<TDataSet*> Items_;  // not owned
};

// The process-wide session list; ETarnexException 20007 "Database Engine is not initialized"
// before start-up or after shut-down.
TTarnexSessionList& Sessions();
// The process-wide data set list; 20007 as above.
TTarnexDataSetList& DataSetList();
// Whether the client unit is started.
bool TarnexClientInitialized();
// Start-up (runs once when the program loads; again after a shut-down): the data set list, the
// engine's "MEMORY" and "TEMP" databases in the process-wide database list, the session list
// and the default session "Default". Nothing when already started.
void TarnexClientStartup();
// Shut-down: the session list with all its sessions, then both databases, then the lists.
// Nothing when not started.
void TarnexClientShutdown();
// A decimal number from 0 to 2147483646 for generated names.
int32_t TarnexRandomNumber();
