// Sessions, database components, automatic databases and the client unit's start-up.
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "TarnexTestSupport.h"
#include "engine/access/TarnexLocalEngine.h"
#include "engine/client/TarnexMain.h"
#include "engine/storage/TarnexBase.h"
#include "platform/db/DBCommon.h"
#include "platform/db/TestDataSet.h"

namespace {

// The EDatabaseError message `f` raises; empty when it raises none.
std::string DatabaseErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

TTarnexSession& DefaultSession() { return *Sessions().DefaultSession(); }

TEST(TarnexClientStartup, MakesBothDatabasesAndTheDefaultSession) {
  ASSERT_TRUE(TarnexClientInitialized());
  for (const char* name : {"MEMORY", "TEMP"}) {
    TTarnexDatabaseData* database = DatabaseList().FindByName(name);
    ASSERT_NE(database, nullptr) << name;
    EXPECT_EQ(database->DatabaseName(), name);
  }
  TTarnexSession& session = DefaultSession();
  EXPECT_EQ(session.SessionName(), "Default");
  EXPECT_TRUE(session.IsDefault());
  EXPECT_TRUE(session.KeepConnections());
  EXPECT_EQ(Sessions().FindSession(""), &session);
  EXPECT_EQ(Sessions().FindSession("dEfAuLt"), &session);
  EXPECT_EQ(Sessions().FindSession("Other"), nullptr);
  ExpectEngineError([] { Sessions().GetSession("Other"); }, 20002, "Invalid session name 'Other'");
}

TEST(TarnexClientStartup, ShutdownFreesEverythingAndStartupRestoresIt) {
  TarnexClientShutdown();
  EXPECT_FALSE(TarnexClientInitialized());
  EXPECT_EQ(DatabaseList().FindByName("MEMORY"), nullptr);
  EXPECT_EQ(DatabaseList().FindByName("TEMP"), nullptr);
  ExpectEngineError([] { Sessions(); }, 20007, "Database Engine is not initialized");
  ExpectEngineError([] { DataSetList(); }, 20007, "Database Engine is not initialized");
  ExpectEngineError([] { TTarnexSession session; }, 20007, "Database Engine is not initialized");
  TarnexClientStartup();
  ASSERT_TRUE(TarnexClientInitialized());
  EXPECT_NE(DatabaseList().FindByName("MEMORY"), nullptr);
  EXPECT_EQ(DefaultSession().SessionName(), "Default");
  EXPECT_EQ(DataSetList().Count(), 0);
}

TEST(TarnexSession, RefusedNameChanges) {
  TTarnexSession second;
  second.SetSessionName("Second");
  EXPECT_EQ(Sessions().FindSession("SECOND"), &second);
  struct Case {
    const char* name;
    std::function<void()> change;
    std::string message;
  };
  const Case cases[] = {
      {"duplicate of the default", [&] { second.SetSessionName("default"); }, "Duplicate session name 'default'"},
      {"duplicate of another", [&] { TTarnexSession third; third.SetSessionName("second"); },
       "Duplicate session name 'second'"},
      {"active", [&] { second.SetActive(true); second.SetSessionName("Renamed"); },
       "Cannot perform this operation on an active session"},
  };
  for (const Case& c : cases) EXPECT_EQ(DatabaseErrorOf(c.change), c.message) << c.name;
  EXPECT_EQ(second.SessionName(), "Second");
  second.SetActive(false);
  second.SetSessionName("Renamed");
  EXPECT_EQ(Sessions().FindSession("renamed"), &second);
}

TEST(TarnexSession, AutoSessionNameTakesTheFirstFreeNumber) {
  TComponent form;
  TTarnexDatabase onForm(&form);
  auto first = std::make_unique<TTarnexSession>(&form);
  first->SetName("Session");
  first->SetAutoSessionName(true);
  EXPECT_EQ(first->SessionName(), "Session_1");
  EXPECT_EQ(onForm.SessionName(), "Session_1");
  EXPECT_EQ(onForm.Session(), first.get());
  EXPECT_EQ(DatabaseErrorOf([&] { first->SetSessionName("x"); }),
            "Session: Cannot modify SessionName while AutoSessionName is enabled");
  TTarnexSession onSameForm(&form);
  EXPECT_EQ(DatabaseErrorOf([&] { onSameForm.SetAutoSessionName(true); }),
            "Cannot enable AutoSessionName property with more than one session on a form or data-module");
  TComponent otherForm;
  TTarnexSession elsewhere(&otherForm);
  elsewhere.SetName("Session");
  elsewhere.SetAutoSessionName(true);
  EXPECT_EQ(elsewhere.SessionName(), "Session_2");
  first.reset();  // gives number 0 back
  TComponent thirdForm;
  TTarnexSession third(&thirdForm);
  third.SetName("S");
  third.SetAutoSessionName(true);
  EXPECT_EQ(third.SessionName(), "S_1");
}

TEST(TarnexSession, ActivationRunsStartupRefusesNoNameAndActivatesTheDefaultFirst) {
  DefaultSession().SetActive(false);
  TTarnexSession session;
  int startups = 0;
  session.OnStartup = [&](TTarnexSession& sender) {
    EXPECT_EQ(&sender, &session);
    ++startups;
  };
  EXPECT_EQ(DatabaseErrorOf([&] { session.SetActive(true); }), "Session name missing");
  EXPECT_FALSE(session.Active());
  session.SetSessionName("Named");
  session.SetActive(true);
  EXPECT_TRUE(session.Active());
  EXPECT_TRUE(DefaultSession().Active());
  EXPECT_EQ(startups, 2);
  session.SetActive(false);
  EXPECT_FALSE(session.Active());
}

TEST(TarnexSession, LockSwitchesTheCurrentSessionAndNests) {
  TTarnexSession session;
  session.SetSessionName("Locking");
  EXPECT_EQ(CurrentSession(), &DefaultSession());
  session.Lock();
  session.Lock();
  EXPECT_EQ(CurrentSession(), &session);
  EXPECT_TRUE(session.Active());
  EXPECT_EQ(session.LockCount(), 2);
  session.Unlock();
  EXPECT_EQ(CurrentSession(), &session);
  session.Unlock();
  EXPECT_EQ(session.LockCount(), 0);
  EXPECT_EQ(CurrentSession(), &DefaultSession());
  auto freedWhileLocked = std::make_unique<TTarnexSession>();
  freedWhileLocked->SetSessionName("Freed");
  freedWhileLocked->Lock();
  freedWhileLocked.reset();
  EXPECT_EQ(CurrentSession(), &DefaultSession());
}

// Automatic databases, as data sets open and close them.
TEST(TarnexSession, AutomaticMemoryDatabaseIsSharedAndKeptOrFreed) {
  for (bool keep : {true, false}) {
    TTarnexSession session;
    session.SetSessionName(keep ? "Keeping" : "Dropping");
    session.SetKeepConnections(keep);
    TTarnexDatabase& first = session.OpenDatabase("MEMORY");
    TTarnexDatabase& second = session.OpenDatabase("memory");
    ASSERT_EQ(&first, &second) << keep;
    EXPECT_TRUE(first.Temporary());
    EXPECT_TRUE(first.Connected());
    EXPECT_EQ(first.UseCount(), 2);
    EXPECT_EQ(first.KeepConnection(), keep);
    EXPECT_EQ(first.Session(), &session);
    ASSERT_NE(first.Handle(), nullptr);
    EXPECT_EQ(first.Handle()->Database, DatabaseList().FindByName("MEMORY"));
    EXPECT_EQ(first.Handle()->SessionID, 0);
    session.CloseDatabase(first);
    EXPECT_EQ(session.FindDatabase("MEMORY"), &first);
    session.CloseDatabase(first);
    if (keep) {
      EXPECT_EQ(session.FindDatabase("MEMORY"), &first);
      EXPECT_TRUE(first.Connected());
      EXPECT_EQ(first.UseCount(), 0);
    } else {
      EXPECT_EQ(session.FindDatabase("MEMORY"), nullptr);
      EXPECT_EQ(session.DatabaseCount(), 0);
    }
  }
}

TEST(TarnexSession, DeactivationFreesTemporaryAndDisconnectsOtherDatabases) {
  TTarnexSession session;
  session.SetSessionName("Closing");
  TTarnexDatabase own;
  own.SetSessionName("Closing");
  own.SetDatabaseName("TEMP");
  own.Open();
  session.OpenDatabase("MEMORY");
  EXPECT_EQ(session.DatabaseCount(), 2);
  session.SetActive(false);
  EXPECT_FALSE(own.Connected());
  EXPECT_EQ(session.DatabaseCount(), 1);
  EXPECT_EQ(session.FindDatabase("TEMP"), &own);
  EXPECT_EQ(session.FindDatabase("MEMORY"), nullptr);
}

TEST(TarnexSession, FailedAutomaticConnectionLeavesNoComponent) {
  TTarnexSession session;
  session.SetSessionName("Failing");
  EXPECT_NE(CodeOf([&] { session.OpenDatabase("NOSUCHDB"); }), 0);
  EXPECT_EQ(session.FindDatabase("NOSUCHDB"), nullptr);
  EXPECT_EQ(session.DatabaseCount(), 0);
}

TEST(TarnexDatabase, DisconnectionClosesAttachedDataSets) {
  TTarnexDatabase database;
  database.SetDatabaseName("MEMORY");
  database.Open();
  dbtest::TTestDataSet first("first"), second("second");
  for (dbtest::TTestDataSet* dataSet : {&first, &second}) {
    dataSet->Columns = {{"id", TFieldType::ftInteger}};
    dataSet->Open();
    database.AddDataSet(dataSet);
  }
  database.RemoveDataSet(&second);
  EXPECT_EQ(database.DataSetCount(), 1);
  database.Close();
  EXPECT_FALSE(first.Active());
  EXPECT_TRUE(second.Active());
}

TEST(TarnexDatabase, Defaults) {
  TTarnexDatabase database;
  EXPECT_TRUE(database.LocalDatabase());
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(database.DatabaseName().rfind("TarnexTableDB_", 0), 0u);
  EXPECT_FALSE(database.ReadOnly());
  EXPECT_FALSE(database.HandleShared());
  EXPECT_TRUE(database.KeepConnection());
  EXPECT_FALSE(database.Temporary());
  EXPECT_EQ(database.Session(), &DefaultSession());
  TTarnexDatabase other;
  EXPECT_NE(database.DatabaseName(), other.DatabaseName());
}

TEST(TarnexDatabase, ConnectsToEitherEngineDatabase) {
  struct Case {
    const char* name;
    int32_t sessionID;
  };
  for (const Case& c : {Case{"MEMORY", 0}, Case{"TEMP", -1}}) {
    TTarnexDatabase database;
    database.SetDatabaseName(c.name);
    database.SetConnected(true);
    ASSERT_TRUE(database.Connected()) << c.name;
    EXPECT_FALSE(database.IsHandleShared());
    EXPECT_EQ(database.Handle()->Database, DatabaseList().FindByName(c.name));
    EXPECT_EQ(database.Handle()->SessionID, c.sessionID);
    EXPECT_EQ(database.Handle()->DatabaseName, c.name);
    database.SetConnected(false);
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(database.Handle(), nullptr);
  }
}

TEST(TarnexDatabase, RefusedConnectionsAndChanges) {
  TTarnexDatabase database;
  database.SetDatabaseName("");
  EXPECT_EQ(DatabaseErrorOf([&] { database.Open(); }), "Database name missing");
  database.SetDatabaseName("MEMORY");
  database.SetLocalDatabase(false);
  EXPECT_EQ(DatabaseErrorOf([&] { database.Open(); }), "Database open error");
  database.SetLocalDatabase(true);
  database.SetSessionName("Nowhere");
  ExpectEngineError([&] { database.Open(); }, 20002, "Invalid session name 'Nowhere'");
  EXPECT_FALSE(database.Connected());
  database.SetSessionName("");
  database.Open();
  for (auto change : {std::function<void()>([&] { database.SetDatabaseName("TEMP"); }),
                      std::function<void()>([&] { database.SetSessionName("Default"); })})
    EXPECT_EQ(DatabaseErrorOf(change), "Cannot perform this operation on an open database");
  EXPECT_EQ(database.DatabaseName(), "MEMORY");
  EXPECT_TRUE(database.Connected());
}

TEST(TarnexDatabase, NamedForUnknownDatabaseFailsAndStaysDisconnected) {
  TTarnexDatabase database;
  database.SetDatabaseName("NOSUCHDB");
  EXPECT_NE(CodeOf([&] { database.Open(); }), 0);
  EXPECT_FALSE(database.Connected());
}

TEST(TarnexDatabase, SharedHandleIsBorrowedAndDroppedWithItsOwner) {
  TTarnexDatabase owner;
  owner.SetDatabaseName("MEMORY");
  owner.Open();
  TTarnexDatabase borrower;
  borrower.SetDatabaseName("memory");
  borrower.SetHandleShared(true);
  borrower.Open();
  EXPECT_TRUE(borrower.IsHandleShared());
  EXPECT_EQ(borrower.Handle(), owner.Handle());
  owner.Close();
  EXPECT_FALSE(borrower.Connected());
  EXPECT_EQ(borrower.Handle(), nullptr);
  TTarnexDatabase unshared;
  unshared.SetDatabaseName("MEMORY");
  unshared.Open();
  borrower.SetHandleShared(false);
  borrower.SetDatabaseName("MEMORY");
  borrower.Open();
  EXPECT_FALSE(borrower.IsHandleShared());
  EXPECT_NE(borrower.Handle(), unshared.Handle());
}

TEST(TarnexDatabase, TableExistsRestoresTheConnectionState) {
  for (bool connected : {false, true}) {
    TTarnexDatabase database;
    database.SetDatabaseName("MEMORY");
    database.SetConnected(connected);
    EXPECT_FALSE(database.TableExists("NoSuchTable"));
    EXPECT_EQ(database.Connected(), connected);
  }
}

}  // namespace
