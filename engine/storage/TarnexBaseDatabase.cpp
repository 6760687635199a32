#include "engine/storage/TarnexBaseDatabase.h"

#include <algorithm>

#include "engine/storage/TarnexBaseCursor.h"
#include "engine/storage/TarnexBaseEngine.h"
#include "engine/storage/TarnexBaseSession.h"
#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/Collation.h"

// ---------------------------------------------------------------------------------------------
// TTarnexDatabaseData
// ---------------------------------------------------------------------------------------------

TTarnexDatabaseData::TTarnexDatabaseData(std::string databaseName)
    : DatabaseName_(std::move(databaseName)), ObjectIDSequence_(std::make_unique<TTarnexSequenceDef>()) {}

TTarnexDatabaseData::~TTarnexDatabaseData() {
  FreeTables();
  DatabaseList().Remove(this);
}

void TTarnexDatabaseData::FreeTables() noexcept {
  // Take the catalog out first: a table being freed must not find itself in a list that is
  // being torn down.
  std::vector<std::unique_ptr<TTarnexTableData>> tables;
  tables.swap(Tables_);
  tables.clear();
}

void TTarnexDatabaseData::AddSession(TTarnexBaseSession* session) {
  TTarnexCriticalSectionGuard guard(Lock_);
  AttachedSessions_.push_back(session);
}

void TTarnexDatabaseData::RemoveSession(TTarnexBaseSession* session) {
  TTarnexCriticalSectionGuard guard(Lock_);
  auto it = std::find(AttachedSessions_.begin(), AttachedSessions_.end(), session);
  if (it != AttachedSessions_.end()) AttachedSessions_.erase(it);
}

void TTarnexDatabaseData::Release() {}

void TTarnexDatabaseData::GetTableNames(std::vector<std::string>& names) {
  TTarnexCriticalSectionGuard guard(Lock_);
  for (const auto& table : Tables_) names.push_back(table->TableName());
}

bool TTarnexDatabaseData::TableExists(const std::string& name) {
  std::vector<std::string> names;
  GetTableNames(names);
  const std::string wanted = AnsiUpperCase(name);
  for (const auto& n : names)
    if (AnsiUpperCase(n) == wanted) return true;
  return false;
}

void TTarnexDatabaseData::CreateDatabase(TTarnexBaseSession*) {}

TTarnexTableData* TTarnexDatabaseData::FindTableData(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const std::string wanted = AnsiUpperCase(cursor->TableName);
  for (const auto& table : Tables_)
    if (AnsiUpperCase(table->TableName()) == wanted) return table.get();
  return nullptr;
}

TTarnexTableData* TTarnexDatabaseData::FindOrCreateTableData(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (TTarnexTableData* table = FindTableData(cursor)) return table;
  return CreateTableData(cursor);
}

int32_t TTarnexDatabaseData::FileDatabaseOperation1(TTarnexBaseSession*) {
  throw ETarnexException(10380, "Error - operation is not supported");
}
double TTarnexDatabaseData::FileDatabaseOperation2(TTarnexBaseSession*) { return 0.0; }
int32_t TTarnexDatabaseData::FileDatabaseOperation3(TTarnexBaseSession*) { return 0; }
int32_t TTarnexDatabaseData::FileDatabaseOperation4(TTarnexBaseSession*) { return 0; }
bool TTarnexDatabaseData::FileDatabaseOperation5(TTarnexBaseSession*) { return false; }
bool TTarnexDatabaseData::FileDatabaseOperation6(TTarnexBaseSession*) { return true; }
bool TTarnexDatabaseData::FileDatabaseOperation7(TTarnexBaseSession*) { return true; }
void TTarnexDatabaseData::FileDatabaseOperation8(TTarnexBaseSession*, const std::string&, const std::string&) {}
void TTarnexDatabaseData::FileDatabaseOperation9(TTarnexBaseSession*) {}
bool TTarnexDatabaseData::FileDatabaseOperation10(TTarnexBaseSession*) { return false; }

void TTarnexDatabaseData::GetSessionTableLocks(int32_t, std::vector<TTarnexTableLockItemForSession*>&) {}

bool TTarnexDatabaseData::LockTable(const std::string&, int32_t, TTarnexTableLockItemForSession*,
                                    const std::string&) {
  return true;
}

bool TTarnexDatabaseData::UnlockTable(const std::string&, int32_t, TTarnexTableLockItemForSession*) {
  return true;
}

int32_t TTarnexDatabaseData::NextObjectID() {
  TTarnexCriticalSectionGuard guard(ObjectIDLock_);
  const int64_t before = ObjectIDSequence_->CurrentValue;
  const int64_t value = ObjectIDSequence_->NextValue();
  if (value > INT32_MAX || value < INT32_MIN) {
    ObjectIDSequence_->CurrentValue = before;
    throw ERangeError();
  }
  return static_cast<int32_t>(value);
}

TTarnexTableData* TTarnexDatabaseData::AddTableData(std::unique_ptr<TTarnexTableData> table) {
  TTarnexCriticalSectionGuard guard(Lock_);
  Tables_.push_back(std::move(table));
  return Tables_.back().get();
}

void TTarnexDatabaseData::FreeTableData(TTarnexTableData* table) {
  std::unique_ptr<TTarnexTableData> leaving;
  {
    TTarnexCriticalSectionGuard guard(Lock_);
    for (auto it = Tables_.begin(); it != Tables_.end(); ++it)
      if (it->get() == table) {
        leaving = std::move(*it);
        Tables_.erase(it);
        break;
      }
  }
  leaving.reset();
}

// ---------------------------------------------------------------------------------------------
// TTarnexDatabaseList
// ---------------------------------------------------------------------------------------------

void TTarnexDatabaseList::Add(TTarnexDatabaseData* database) {
  TTarnexCriticalSectionGuard guard(Lock_);
  Items_.push_back(database);
}

void TTarnexDatabaseList::Remove(TTarnexDatabaseData* database) {
  TTarnexCriticalSectionGuard guard(Lock_);
  auto it = std::find(Items_.begin(), Items_.end(), database);
  if (it != Items_.end()) Items_.erase(it);
}

int32_t TTarnexDatabaseList::Count() {
  TTarnexCriticalSectionGuard guard(Lock_);
  return static_cast<int32_t>(Items_.size());
}

TTarnexDatabaseData* TTarnexDatabaseList::Items(int32_t index) {
  TTarnexCriticalSectionGuard guard(Lock_);
  return Items_.at(static_cast<size_t>(index));
}

TTarnexDatabaseData* TTarnexDatabaseList::FindByName(const std::string& name) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const std::string wanted = AnsiUpperCase(name);
  for (TTarnexDatabaseData* database : Items_)
    if (AnsiUpperCase(database->DatabaseName()) == wanted) return database;
  return nullptr;
}

TTarnexDatabaseList& DatabaseList() {
  static TTarnexDatabaseList* list = new TTarnexDatabaseList();
  return *list;
}
