// The local session: finding its database in the process-wide list, connecting, forwarding the
// catalogue questions and holding (or, for "MEMORY" and "TEMP", refusing) a transaction.
#include "engine/access/TarnexLocalEngine.h"

#include "engine/storage/TarnexBaseDatabase.h"
#include "engine/storage/TarnexCriticalSection.h"
#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/TempFiles.h"

namespace {

[[noreturn]] void RaiseNoDatabase(const std::string& databaseName) {
  throw ETarnexException(10812, "Cannot find database '%s'", {databaseName});
}

}  // namespace

TTarnexLocalSession::~TTarnexLocalSession() {
  try {
    SetConnected(false);
  } catch (...) {
    // A destructor must not raise; the database has been left as far as it could be.
  }
}

TTarnexDatabaseData* TTarnexLocalSession::FindDatabase() {
  TTarnexDatabaseList& list = DatabaseList();
  TTarnexCriticalSectionGuard guard(list.LockSection());
  std::string wanted;
  if (DatabaseName == "MEMORY")
    wanted = "MEMORY";
  else if (DatabaseName == "TEMP")
    wanted = "TEMP";
  else
    wanted = AnsiUpperCase(DatabaseFileName);
  const int32_t count = list.Count();
  for (int32_t i = 0; i < count; ++i) {
    TTarnexDatabaseData* database = list.Items(i);
    if (database != nullptr && AnsiUpperCase(database->DatabaseName()) == wanted) return database;
  }
  return nullptr;
}

TTarnexDatabaseData& TTarnexLocalSession::ForwardingDatabase() {
  if (Database == nullptr) {
    Database = FindDatabase();
    if (Database == nullptr) RaiseNoDatabase(DatabaseName);
  }
  return *Database;
}

TTarnexDatabaseData& TTarnexLocalSession::FreshDatabase() {
  TTarnexDatabaseData* found = FindDatabase();
  if (found == nullptr) RaiseNoDatabase(DatabaseName);
  Database = found;
  return *found;
}

bool TTarnexLocalSession::GetConnected() { return Database != nullptr; }

void TTarnexLocalSession::SetConnected(bool connect) {
  if (connect == GetConnected()) return;
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  if (connect) {
    Transaction.reset();
    TTarnexDatabaseData* database = FindDatabase();
    if (database == nullptr) RaiseNoDatabase(DatabaseName);
    Database = database;
    try {
      database->AddSession(this);
    } catch (...) {
      database->Release();
      Database = nullptr;
      throw;
    }
    return;
  }
  if (Database == nullptr) return;
  TTarnexDatabaseData* database = Database;
  // The session leaves its database whatever the rollback does.
  struct TDetach {
    TTarnexLocalSession& Session;
    TTarnexDatabaseData* Database;
    ~TDetach() {
      try {
        Database->RemoveSession(&Session);
        Database->Release();
      } catch (...) {
      }
      Session.Database = nullptr;
    }
  } detach{*this, database};
  if (Transaction != nullptr) {
    std::unique_ptr<TTarnexTransaction> transaction = std::move(Transaction);
    transaction->Rollback();
  }
}

void TTarnexLocalSession::CreateDatabase() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  if (FindDatabase() != nullptr)
    throw ETarnexException(20092, "Cannot create database. Database is already open");
  // A database kept in files would be made, created and released here; there is no such kind.
  Database = nullptr;
  throw ETarnexException(10811, "Error - operation is not supported");
}

void TTarnexLocalSession::UnnamedOperation4() {}

void TTarnexLocalSession::UnnamedOperation5(const std::string&) {}

int32_t TTarnexLocalSession::FileDatabaseOperation1() {
  if (Database == nullptr) throw ETarnexException(11235, "Nil pointer occured");
  return Database->FileDatabaseOperation1(this);
}

double TTarnexLocalSession::FileDatabaseOperation2() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  return ForwardingDatabase().FileDatabaseOperation2(this);
}

int32_t TTarnexLocalSession::FileDatabaseOperation3() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  return ForwardingDatabase().FileDatabaseOperation3(this);
}

int32_t TTarnexLocalSession::FileDatabaseOperation4() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  return ForwardingDatabase().FileDatabaseOperation4(this);
}

bool TTarnexLocalSession::FileDatabaseOperation5() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  return ForwardingDatabase().FileDatabaseOperation5(this);
}

bool TTarnexLocalSession::FileDatabaseOperation6() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  return ForwardingDatabase().FileDatabaseOperation6(this);
}

bool TTarnexLocalSession::FileDatabaseOperation7() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  return ForwardingDatabase().FileDatabaseOperation7(this);
}

bool TTarnexLocalSession::DatabaseFileExists() {
  return !DatabaseFileName.empty() && FileExists(DatabaseFileName);
}

void TTarnexLocalSession::GetTableNames(std::vector<std::string>& names) {
  FreshDatabase().GetTableNames(names);
}

bool TTarnexLocalSession::TableExists(const std::string& tableName) {
  return FreshDatabase().TableExists(tableName);
}

void TTarnexLocalSession::FileDatabaseOperation8(const std::string& first, const std::string& second) {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  ForwardingDatabase().FileDatabaseOperation8(this, first, second);
}

void TTarnexLocalSession::FileDatabaseOperation9() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  ForwardingDatabase().FileDatabaseOperation9(this);
}

bool TTarnexLocalSession::FileDatabaseOperation10() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  return ForwardingDatabase().FileDatabaseOperation10(this);
}

bool TTarnexLocalSession::InTransaction() { return Transaction != nullptr; }

void TTarnexLocalSession::StartTransaction() {
  TTarnexCriticalSectionGuard guard(DatabaseList().LockSection());
  if (Database == nullptr) throw ETarnexException(10813, "Nil pointer occured");
  if (Transaction != nullptr)
    throw ETarnexException(10814, "Transaction already started in database '%s'", {Database->DatabaseName()});
  const std::string& name = Database->DatabaseName();
  if (name == "MEMORY" || name == "TEMP")
    throw ETarnexException(10831, "Cannot start transaction. Only disk databases are allowed for this");
  Transaction = std::make_unique<TTarnexTransaction>(this, Database);
}

void TTarnexLocalSession::Commit(bool flush) {
  if (Database == nullptr) throw ETarnexException(10815, "Nil pointer occured");
  if (Transaction == nullptr)
    throw ETarnexException(10816, "Transaction is not started in database '%s'", {Database->DatabaseName()});
  std::unique_ptr<TTarnexTransaction> transaction = std::move(Transaction);
  transaction->Commit(flush);
}

void TTarnexLocalSession::Rollback() {
  if (Database == nullptr) throw ETarnexException(10817, "Nil pointer occured");
  if (Transaction == nullptr)
    throw ETarnexException(10818, "Transaction is not started in database '%s'", {Database->DatabaseName()});
  std::unique_ptr<TTarnexTransaction> transaction = std::move(Transaction);
  transaction->Rollback();
}
