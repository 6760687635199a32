// The transaction object of a session: its table lock items, the start, commit and rollback
// hooks of the tables the session has cursors on, and the session's page list of the
// database's page manager.
#include <algorithm>

#include "engine/access/TarnexLocalEngine.h"
#include "engine/storage/TarnexBaseDatabase.h"
#include "engine/storage/TarnexBaseEngine.h"
#include "engine/storage/TarnexCriticalSection.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexPage.h"
#include "platform/rtl/Collation.h"

namespace {

[[noreturn]] void RaiseCannotLock(int32_t code, const char* mode, const std::string& tableName) {
  throw ETarnexException(code, "Error - cannot lock table in '%s' mode, table name = '%s'",
                         {std::string(mode), tableName});
}

bool HasCursorOf(const TTarnexTableData& table, const TTarnexBaseSession* session) {
  const auto& cursors = table.Cursors();
  return std::any_of(cursors.begin(), cursors.end(),
                     [session](const TTarnexCursor* c) { return c != nullptr && c->Session == session; });
}

}  // namespace

template <class F>
void TTarnexTransaction::ForEachSessionTable(F f) {
  if (Database == nullptr) return;
  TTarnexCriticalSectionGuard guard(Database->LockSection());
  for (int32_t i = 0; i < Database->TableCount(); ++i) {
    TTarnexTableData* table = Database->Tables(i);
    if (table != nullptr && HasCursorOf(*table, Session)) f(*table);
  }
}

TTarnexTransaction::TTarnexTransaction(TTarnexLocalSession* session, TTarnexDatabaseData* database)
    : Session(session), SessionID(session != nullptr ? session->SessionID : -1), Database(database) {
  try {
    std::vector<TTarnexTableLockItemForSession*> held;
    if (Database != nullptr) Database->GetSessionTableLocks(SessionID, held);
    for (const TTarnexTableLockItemForSession* lock : held) {
      if (lock == nullptr) continue;
      if (lock->MoreThanShared())
        throw ETarnexException(10824, "Cannot start transaction due to remaining table locks in table '%s'",
                               {AnsiUpperCase(lock->TableName)});
      TTarnexTableLockItemForSession& item = ItemFor(lock->TableName);
      if (lock->SharedCount > 0) {
        if (!Database->LockTable(item.TableName, SessionID, &item, "X")) RaiseCannotLock(10827, "X", item.TableName);
      } else {
        if (!Database->LockTable(item.TableName, SessionID, &item, "IS"))
          RaiseCannotLock(10828, "IS", item.TableName);
        if (!Database->LockTable(item.TableName, SessionID, &item, "S")) RaiseCannotLock(10829, "S", item.TableName);
      }
    }
    ForEachSessionTable([this](TTarnexTableData& table) { table.StartTransaction(SessionID); });
    ForEachSessionTable([this](TTarnexTableData& table) {
      for (TTarnexCursor* cursor : table.Cursors())
        if (cursor != nullptr && cursor->Session == Session)
          if (auto* local = dynamic_cast<TTarnexLocalCursor*>(cursor)) local->SaveCursorPosition();
    });
  } catch (...) {
    Finished = true;
    ReleaseLockItemsQuietly();
    throw;
  }
}

TTarnexTransaction::~TTarnexTransaction() { ReleaseLockItemsQuietly(); }

void TTarnexTransaction::Free(std::unique_ptr<TTarnexTransaction>& transaction) {
  if (transaction == nullptr) return;
  if (!transaction->Finished) throw ETarnexException(10819, "Transaction is not finished");
  transaction.reset();
}

TTarnexTableLockItemForSession& TTarnexTransaction::ItemFor(const std::string& tableName) {
  const std::string name = AnsiUpperCase(tableName);
  for (auto& item : LockItems)
    if (item->TableName == name) return *item;
  auto item = std::make_unique<TTarnexTableLockItemForSession>();
  item->TableName = name;
  LockItems.push_back(std::move(item));
  return *LockItems.back();
}

void TTarnexTransaction::ReleaseLockItems() {
  std::string refused;
  bool anyRefused = false;
  for (auto& item : LockItems) {
    bool granted = true;
    try {
      granted = Database == nullptr || Database->UnlockTable(item->TableName, SessionID, item.get());
    } catch (...) {
      granted = false;
    }
    if (!granted && !anyRefused) {
      anyRefused = true;
      refused = item->TableName;
    }
  }
  LockItems.clear();
  if (anyRefused) throw ETarnexException(10825, "Cannot unlock table '%s' in transaction", {refused});
}

void TTarnexTransaction::ReleaseLockItemsQuietly() noexcept {
  try {
    ReleaseLockItems();
  } catch (...) {
  }
}

void TTarnexTransaction::Commit(bool flush) {
  for (auto& item : LockItems) {
    if (!item->HoldsWriteLock()) continue;
    if (Database != nullptr && !Database->LockTable(item->TableName, SessionID, item.get(), "X")) {
      Rollback();
      throw ETarnexException(10826,
                             "Commit operation failed - rollback called. Some of modified tables are locked by other "
                             "sessions");
    }
  }
  try {
    ForEachSessionTable([this](TTarnexTableData& table) { table.CommitTransaction(SessionID); });
    if (Database != nullptr && Database->PageManager() != nullptr) {
      Database->PageManager()->CommitSession(SessionID);
      if (flush) Database->PageManager()->Flush();
    }
    ForEachSessionTable([this](TTarnexTableData& table) {
      for (TTarnexCursor* cursor : table.Cursors())
        if (cursor != nullptr && cursor->Session == Session)
          if (auto* local = dynamic_cast<TTarnexLocalCursor*>(cursor)) local->ForgetCursorPosition();
    });
  } catch (...) {
    Finished = true;
    ReleaseLockItemsQuietly();
    throw;
  }
  Finished = true;
  ReleaseLockItems();
}

void TTarnexTransaction::Rollback() {
  // The cursors of the session take their tables' state again, whatever the rollback met.
  auto restoreCursors = [this]() noexcept {
    try {
      ForEachSessionTable([this](TTarnexTableData& table) {
        for (TTarnexCursor* cursor : table.Cursors())
          if (cursor != nullptr && cursor->Session == Session)
            if (auto* local = dynamic_cast<TTarnexLocalCursor*>(cursor)) {
              local->RestoreCursorPosition();
              local->RefreshIndexDefs();
              local->InvalidateRecordSet();
            }
      });
    } catch (...) {
    }
    Finished = true;
  };
  try {
    if (Database != nullptr && Database->PageManager() != nullptr) Database->PageManager()->RollbackSession(SessionID);
    ForEachSessionTable([this](TTarnexTableData& table) { table.RollbackTransaction(SessionID); });
  } catch (...) {
    restoreCursors();
    ReleaseLockItemsQuietly();
    throw;
  }
  restoreCursors();
  ReleaseLockItems();
}
