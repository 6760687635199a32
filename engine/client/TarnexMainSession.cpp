// Sessions, database components and the client unit's start-up and shut-down.
#include "engine/client/TarnexMain.h"

#include <algorithm>
#include <mutex>
#include <random>
#include <stdexcept>

#include "engine/access/TarnexLocalEngine.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemEngine.h"
#include "engine/storage/TarnexTempEngine.h"
#include "platform/db/DB.h"
#include "platform/db/DBCommon.h"
#include "platform/rtl/Collation.h"

namespace {

// The client unit's process-wide objects; nil while the unit is not started.
std::unique_ptr<TTarnexDataSetList> DataSetList_;          // owned
std::unique_ptr<TTarnexMemoryDatabaseData> MemoryDatabase_; // owned: "MEMORY"
std::unique_ptr<TTarnexTemporaryDatabaseData> TempDatabase_; // owned: "TEMP"
std::unique_ptr<TTarnexSessionList> SessionList_;          // owned

// Entered on the first nesting level of any session's lock.
TCriticalSection& SessionSwitchSection() {
  static TCriticalSection* const section = new TCriticalSection();  // lives for the process
  return *section;
}
TTarnexSession* LockedCurrent_ = nullptr;  // not owned: the session holding the switch section

[[noreturn]] void RaiseNotInitialized() { throw ETarnexException(20007, "Database Engine is not initialized"); }

bool SameName(const std::string& a, const std::string& b) { return AnsiUpperCase(a) == AnsiUpperCase(b); }

// Holds a session's nesting lock for a scope.
class TSessionLockGuard {
public:
  explicit TSessionLockGuard(TTarnexSession& session) : Session_(session) { Session_.Lock(); }
  ~TSessionLockGuard() { Session_.Unlock(); }
  TSessionLockGuard(const TSessionLockGuard&) = delete;
  TSessionLockGuard& operator=(const TSessionLockGuard&) = delete;

private:
  TTarnexSession& Session_;  // not owned
};

// Starts the client unit when the program loads and shuts it down when it ends.
struct TClientUnitLifetime {
  TClientUnitLifetime() { TarnexClientStartup(); }
  ~TClientUnitLifetime() { TarnexClientShutdown(); }
} ClientUnitLifetime;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTarnexSessionList

TTarnexSessionList::~TTarnexSessionList() { FreeAllSessions(); }

TTarnexSession* TTarnexSessionList::FindSession(const std::string& name) {
  TCriticalSectionGuard guard(Lock_);
  if (name.empty()) return Default_;
  for (TTarnexSession* session : Items_)
    if (SameName(session->SessionName(), name)) return session;
  return nullptr;
}

TTarnexSession& TTarnexSessionList::GetSession(const std::string& name) {
  TTarnexSession* session = FindSession(name);
  if (session == nullptr) throw ETarnexException(20002, "Invalid session name '%s'", {name});
  return *session;
}

TTarnexSession* TTarnexSessionList::DefaultSession() {
  TCriticalSectionGuard guard(Lock_);
  return Default_;
}

int32_t TTarnexSessionList::Count() {
  TCriticalSectionGuard guard(Lock_);
  return static_cast<int32_t>(Items_.size());
}

TTarnexSession* TTarnexSessionList::Sessions(int32_t index) {
  TCriticalSectionGuard guard(Lock_);
  return Items_.at(index);
}

TTarnexSession* TTarnexSessionList::AddOwned(std::unique_ptr<TTarnexSession> session) {
  TCriticalSectionGuard guard(Lock_);
  Owned_.push_back(std::move(session));
  return Owned_.back().get();
}

void TTarnexSessionList::FreeAllSessions() {
  std::vector<std::unique_ptr<TTarnexSession>> owned;
  {
    TCriticalSectionGuard guard(Lock_);
    owned.swap(Owned_);
  }
  // The default session last: the others fall back on it while they close.
  std::stable_partition(owned.begin(), owned.end(), [](const auto& s) { return !s->IsDefault(); });
  for (auto& session : owned) session.reset();
}

int32_t TTarnexSessionList::TakeAutoSessionNumber() {
  TCriticalSectionGuard guard(Lock_);
  for (size_t n = 0; n < UsedAutoNumbers_.size(); ++n)
    if (!UsedAutoNumbers_[n]) {
      UsedAutoNumbers_[n] = true;
      return static_cast<int32_t>(n);
    }
  UsedAutoNumbers_.push_back(true);
  return static_cast<int32_t>(UsedAutoNumbers_.size() - 1);
}

void TTarnexSessionList::ReturnAutoSessionNumber(int32_t number) {
  TCriticalSectionGuard guard(Lock_);
  if (number >= 0 && static_cast<size_t>(number) < UsedAutoNumbers_.size()) UsedAutoNumbers_[number] = false;
}

void TTarnexSessionList::Add(TTarnexSession* session) {
  TCriticalSectionGuard guard(Lock_);
  Items_.push_back(session);
  if (!DefaultAssigned_) {
    DefaultAssigned_ = true;
    Default_ = session;
    session->IsDefault_ = true;
  }
}

void TTarnexSessionList::Remove(TTarnexSession* session) {
  TCriticalSectionGuard guard(Lock_);
  Items_.erase(std::remove(Items_.begin(), Items_.end(), session), Items_.end());
  if (Default_ == session) Default_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TTarnexSession

TTarnexSession* CurrentSession() {
  if (LockedCurrent_ != nullptr) return LockedCurrent_;
  return SessionList_ ? SessionList_->DefaultSession() : nullptr;
}

TTarnexSession::TTarnexSession(TComponent* owner) : TComponent(owner) { Sessions().Add(this); }

TTarnexSession::~TTarnexSession() {
  while (LockCount_ > 0) Unlock();  // never leave the switch section held by a freed session
  try {
    Deactivate();
  } catch (...) {
  }
  TemporaryDatabases_.clear();
  for (TTarnexDatabase* database : Databases_) database->Session_ = nullptr;
  Databases_.clear();
  if (SessionList_) {
    if (AutoNumber_ >= 0) SessionList_->ReturnAutoSessionNumber(AutoNumber_);
    SessionList_->Remove(this);
  }
}

void TTarnexSession::SetActive(bool value) {
  if (value == Active_) return;
  if (!value) {
    Deactivate();
    return;
  }
  if (OnStartup) OnStartup(*this);
  if (SessionName_.empty()) DatabaseError("Session name missing", this);
  if (!IsDefault_) {
    TTarnexSession* defaultSession = Sessions().DefaultSession();
    if (defaultSession != nullptr && defaultSession != this) defaultSession->SetActive(true);
  }
  Active_ = true;
}

void TTarnexSession::Deactivate() {
  if (!Active_) return;
  std::vector<TTarnexDatabase*> databases = Databases_;
  for (TTarnexDatabase* database : databases)
    if (!database->Temporary()) database->Close();
  std::vector<std::unique_ptr<TTarnexDatabase>> temporary;
  temporary.swap(TemporaryDatabases_);
  temporary.clear();
  Active_ = false;
}

void TTarnexSession::SetAutoSessionName(bool value) {
  if (value == AutoSessionName_) return;
  if (value) {
    TTarnexSessionList& list = Sessions();
    if (Owner() != nullptr)
      for (int32_t i = 0; i < list.Count(); ++i) {
        TTarnexSession* other = list.Sessions(i);
        if (other != this && other->Owner() == Owner())
          DatabaseError("Cannot enable AutoSessionName property with more than one session on a form or data-module",
                        this);
      }
    if (Active_) DatabaseError("Cannot perform this operation on an active session", this);
    AutoNumber_ = list.TakeAutoSessionNumber();
    SessionName_ = Format("%s_%d", {Name(), AutoNumber_ + 1});
    AutoSessionName_ = true;
    // The database components of the same form follow the session.
    if (Owner() != nullptr)
      for (int32_t i = 0; i < list.Count(); ++i) {
        std::vector<TTarnexDatabase*> databases = list.Sessions(i)->Databases_;
        for (TTarnexDatabase* database : databases)
          if (database->Owner() == Owner() && !database->Connected()) database->SetSessionName(SessionName_);
      }
  } else {
    if (SessionList_ && AutoNumber_ >= 0) SessionList_->ReturnAutoSessionNumber(AutoNumber_);
    AutoNumber_ = -1;
    AutoSessionName_ = false;
  }
}

void TTarnexSession::SetSessionName(const std::string& value) {
  if (AutoSessionName_) DatabaseError("Cannot modify SessionName while AutoSessionName is enabled", this);
  TTarnexSession* other = value.empty() ? nullptr : Sessions().FindSession(value);
  if (other != nullptr && other != this) DatabaseErrorFmt("Duplicate session name '%s'", {value}, this);
  if (Active_) DatabaseError("Cannot perform this operation on an active session", this);
  SessionName_ = value;
}

TTarnexDatabase* TTarnexSession::FindDatabase(const std::string& name, TComponent* owner) {
  TTarnexDatabase* found = nullptr;
  for (TTarnexDatabase* database : Databases_) {
    if (!SameName(database->DatabaseName(), name)) continue;
    if (owner != nullptr && database->Temporary() && database->Owner() == owner) return database;
    if (found == nullptr) found = database;
  }
  return found;
}

TTarnexDatabase& TTarnexSession::OpenDatabase(const std::string& name, TComponent* owner) {
  TSessionLockGuard guard(*this);
  TTarnexDatabase* database = FindDatabase(name, owner);
  if (database == nullptr) {
    auto made = std::make_unique<TTarnexDatabase>(this);
    made->DatabaseName_ = name;
    made->SessionName_ = SessionName_;
    made->Bind(this);
    made->KeepConnection_ = KeepConnections_;
    made->Temporary_ = true;
    database = made.get();
    TemporaryDatabases_.push_back(std::move(made));
    try {
      database->Open();
    } catch (...) {
      TemporaryDatabases_.pop_back();
      throw;
    }
  } else if (!database->Connected()) {
    database->Open();
  }
  ++database->UseCount_;
  return *database;
}

void TTarnexSession::CloseDatabase(TTarnexDatabase& database) {
  TSessionLockGuard guard(*this);
  if (database.UseCount_ > 0) --database.UseCount_;
  if (database.UseCount_ > 0 || database.KeepConnection_) return;
  if (database.Temporary_) {
    auto it = std::find_if(TemporaryDatabases_.begin(), TemporaryDatabases_.end(),
                           [&](const auto& owned) { return owned.get() == &database; });
    if (it != TemporaryDatabases_.end()) {
      std::unique_ptr<TTarnexDatabase> freed = std::move(*it);
      TemporaryDatabases_.erase(it);
      return;  // freed here: its destructor disconnects it
    }
  }
  database.Close();
}

void TTarnexSession::Lock() {
  if (LockCount_ == 0) {
    SessionSwitchSection().Enter();
    SavedCurrent_ = LockedCurrent_;
    LockedCurrent_ = this;
    try {
      if (!Active_) SetActive(true);
    } catch (...) {
      LockedCurrent_ = SavedCurrent_;
      SessionSwitchSection().Leave();
      throw;
    }
  }
  ++LockCount_;
}

void TTarnexSession::Unlock() {
  if (LockCount_ == 0) return;
  if (--LockCount_ == 0) {
    LockedCurrent_ = SavedCurrent_;
    SavedCurrent_ = nullptr;
    SessionSwitchSection().Leave();
  }
}

void TTarnexSession::AddDatabase(TTarnexDatabase* database) {
  if (std::find(Databases_.begin(), Databases_.end(), database) == Databases_.end())
    Databases_.push_back(database);
}

void TTarnexSession::RemoveDatabase(TTarnexDatabase* database) {
  Databases_.erase(std::remove(Databases_.begin(), Databases_.end(), database), Databases_.end());
}

// ---------------------------------------------------------------------------------------------
// TTarnexDatabase

TTarnexDatabase::TTarnexDatabase(TComponent* owner)
    : TComponent(owner), DatabaseName_("TarnexTableDB_" + std::to_string(TarnexRandomNumber())) {
  if (SessionList_) Bind(SessionList_->DefaultSession());
}

TTarnexDatabase::~TTarnexDatabase() {
  try {
    Close();
  } catch (...) {
  }
  Bind(nullptr);
}

void TTarnexDatabase::Bind(TTarnexSession* session) {
  if (session == Session_) return;
  if (Session_ != nullptr) Session_->RemoveDatabase(this);
  Session_ = session;
  if (Session_ != nullptr) Session_->AddDatabase(this);
}

void TTarnexDatabase::SetConnected(bool value) {
  if (value)
    Open();
  else
    Close();
}

void TTarnexDatabase::SetDatabaseName(const std::string& value) {
  if (Connected()) DatabaseError("Cannot perform this operation on an open database", this);
  DatabaseName_ = value;
}

void TTarnexDatabase::SetSessionName(const std::string& value) {
  if (Connected()) DatabaseError("Cannot perform this operation on an open database", this);
  SessionName_ = value;
  if (SessionList_)
    if (TTarnexSession* session = SessionList_->FindSession(value)) Bind(session);
}

void TTarnexDatabase::Open() {
  if (Connected()) return;
  if (DatabaseName_.empty() && !Temporary_) DatabaseError("Database name missing", this);
  TTarnexSession& session = Sessions().GetSession(SessionName_);
  Bind(&session);
  session.SetActive(true);
  if (HandleShared_)
    for (TTarnexDatabase* other : session.Databases_)
      if (other != this && other->Connected() && SameName(other->DatabaseName_, DatabaseName_)) {
        Handle_ = other->Handle_;
        Shared_ = true;
        return;
      }
  TSessionLockGuard guard(session);
  if (!LocalDatabase_) DatabaseError("Database open error", this);
  auto handle = std::make_unique<TTarnexLocalSession>();
  handle->DatabaseName = DatabaseName_;
  handle->DatabaseFileName = DatabaseFileName_;
  handle->ReadOnly = ReadOnly_;
  handle->Exclusive = Exclusive_;
  handle->SetConnected(true);  // a failure frees the half-made handle on the way out
  ReadOnly_ = handle->ReadOnly;
  OwnHandle_ = std::move(handle);
  Handle_ = OwnHandle_.get();
  Shared_ = false;
}

void TTarnexDatabase::Close() {
  if (!Connected()) return;
  std::vector<TDataSet*> dataSets = DataSets_;
  for (TDataSet* dataSet : dataSets) dataSet->Close();
  // Components borrowing this handle cannot outlive it.
  if (!Shared_ && Session_ != nullptr) {
    std::vector<TTarnexDatabase*> databases = Session_->Databases_;
    for (TTarnexDatabase* other : databases)
      if (other != this && other->Shared_ && other->Handle_ == Handle_) other->Close();
  }
  Handle_ = nullptr;
  Shared_ = false;
  std::unique_ptr<TTarnexLocalSession> handle = std::move(OwnHandle_);
  if (handle && handle->GetConnected()) handle->SetConnected(false);
}

bool TTarnexDatabase::TableExists(const std::string& tableName) {
  const bool wasConnected = Connected();
  if (!wasConnected) Open();
  bool exists = false;
  try {
    exists = Handle_->TableExists(tableName);
  } catch (...) {
    if (!wasConnected) Close();
    throw;
  }
  if (!wasConnected) Close();
  return exists;
}

void TTarnexDatabase::AddDataSet(TDataSet* dataSet) {
  if (std::find(DataSets_.begin(), DataSets_.end(), dataSet) == DataSets_.end()) DataSets_.push_back(dataSet);
}

void TTarnexDatabase::RemoveDataSet(TDataSet* dataSet) {
  DataSets_.erase(std::remove(DataSets_.begin(), DataSets_.end(), dataSet), DataSets_.end());
}

// ---------------------------------------------------------------------------------------------
// Process-wide lists, start-up and shut-down

void TTarnexDataSetList::Add(TDataSet* dataSet) {
  TCriticalSectionGuard guard(Lock_);
  Items_.push_back(dataSet);
}

void TTarnexDataSetList::Remove(TDataSet* dataSet) {
  TCriticalSectionGuard guard(Lock_);
  Items_.erase(std::remove(Items_.begin(), Items_.end(), dataSet), Items_.end());
}

int32_t TTarnexDataSetList::Count() {
  TCriticalSectionGuard guard(Lock_);
  return static_cast<int32_t>(Items_.size());
}

TDataSet* TTarnexDataSetList::Items(int32_t index) {
  TCriticalSectionGuard guard(Lock_);
  return Items_.at(index);
}

TTarnexSessionList& Sessions() {
  if (!SessionList_) RaiseNotInitialized();
  return *SessionList_;
}

TTarnexDataSetList& DataSetList() {
  if (!DataSetList_) RaiseNotInitialized();
  return *DataSetList_;
}

bool TarnexClientInitialized() { return SessionList_ != nullptr; }

void TarnexClientStartup() {
  if (SessionList_) return;
  DataSetList_ = std::make_unique<TTarnexDataSetList>();
  MemoryDatabase_ = std::make_unique<TTarnexMemoryDatabaseData>();
  DatabaseList().Add(MemoryDatabase_.get());
  TempDatabase_ = std::make_unique<TTarnexTemporaryDatabaseData>();
  DatabaseList().Add(TempDatabase_.get());
  SessionList_ = std::make_unique<TTarnexSessionList>();
  auto session = std::make_unique<TTarnexSession>();
  session->SetSessionName("Default");
  SessionList_->AddOwned(std::move(session));
}

void TarnexClientShutdown() {
  if (!SessionList_) return;
  SessionList_->FreeAllSessions();
  SessionList_.reset();
  TempDatabase_.reset();    // each database leaves the process-wide list as it is freed
  MemoryDatabase_.reset();
  DataSetList_.reset();
}

int32_t TarnexRandomNumber() {
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard<std::mutex> guard(mutex);
  return std::uniform_int_distribution<int32_t>(0, 2147483646)(generator);
}
