#include "engine/access/TarnexLocalEngine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexDateFormat.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexBaseDatabase.h"
#include "engine/storage/TarnexBaseEngine.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemEngine.h"
#include "engine/storage/TarnexTempEngine.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FormatSettings.h"

namespace {

// ---------------------------------------------------------------------------------------------
// The process's two databases, as the client start-up makes them.

class TDatabasesEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    Memory = std::make_unique<TTarnexMemoryDatabaseData>();
    DatabaseList().Add(Memory.get());
    Temp = std::make_unique<TTarnexTemporaryDatabaseData>();
    DatabaseList().Add(Temp.get());
  }
  void TearDown() override {
    Temp.reset();
    Memory.reset();
  }
  static std::unique_ptr<TTarnexMemoryDatabaseData> Memory;
  static std::unique_ptr<TTarnexTemporaryDatabaseData> Temp;
};
std::unique_ptr<TTarnexMemoryDatabaseData> TDatabasesEnvironment::Memory;
std::unique_ptr<TTarnexTemporaryDatabaseData> TDatabasesEnvironment::Temp;
const auto* const Environment = ::testing::AddGlobalTestEnvironment(new TDatabasesEnvironment);

// Runs f and returns the engine error it raised; fails the test when it raised none.
ETarnexException Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const ETarnexException& e) {
    return e;
  }
  ADD_FAILURE() << "no engine error raised";
  return ETarnexException(0, "");
}

std::string Message(const ETarnexException& e) { return e.what(); }

std::unique_ptr<TTarnexLocalSession> Connected(const std::string& databaseName) {
  auto session = std::make_unique<TTarnexLocalSession>();
  session->DatabaseName = databaseName;
  session->SetConnected(true);
  return session;
}

// ---------------------------------------------------------------------------------------------
// Local session

TEST(TarnexLocalSession, ConnectsToItsDatabaseWithItsSessionID) {
  struct TCase {
    const char* DatabaseName;
    const char* FileName;
    const char* Expected;
    int32_t SessionID;
  };
  const TCase cases[] = {
      {"MEMORY", "", "MEMORY", 0},
      {"TEMP", "", "TEMP", -1},
      {"memory", "temp", "TEMP", -1},  // any other name matches by its file name
      {"Work", "Memory", "MEMORY", 0},
  };
  for (const TCase& c : cases) {
    TTarnexLocalSession session;
    session.DatabaseName = c.DatabaseName;
    session.DatabaseFileName = c.FileName;
    EXPECT_FALSE(session.GetConnected());
    session.SetConnected(true);
    ASSERT_TRUE(session.GetConnected()) << c.DatabaseName;
    EXPECT_EQ(session.Database->DatabaseName(), c.Expected) << c.DatabaseName;
    EXPECT_EQ(session.SessionID, c.SessionID) << c.DatabaseName;
    const auto& attached = session.Database->AttachedSessions();
    EXPECT_EQ(std::count(attached.begin(), attached.end(), &session), 1);
    session.SetConnected(true);  // already connected: nothing changes
    EXPECT_EQ(std::count(attached.begin(), attached.end(), &session), 1);
    TTarnexDatabaseData* database = session.Database;
    session.SetConnected(false);
    EXPECT_FALSE(session.GetConnected());
    EXPECT_EQ(std::count(database->AttachedSessions().begin(), database->AttachedSessions().end(), &session), 0);
  }
}

TEST(TarnexLocalSession, NeverConnectedSessionDisconnectsQuietlyAndUnknownNamesFail) {
  TTarnexLocalSession idle;
  idle.SetConnected(false);
  EXPECT_FALSE(idle.GetConnected());

  TTarnexLocalSession lost;
  lost.DatabaseName = "NOWHERE";
  lost.DatabaseFileName = "nowhere.db";
  const std::vector<std::function<void()>> calls = {
      [&] { lost.SetConnected(true); },
      [&] { lost.TableExists("x"); },
      [&] {
        std::vector<std::string> names;
        lost.GetTableNames(names);
      },
      [&] { lost.FileDatabaseOperation6(); },
  };
  for (const auto& call : calls) {
    const ETarnexException e = Raised(call);
    EXPECT_EQ(e.NativeErrorCode(), 10812);
    EXPECT_FALSE(lost.GetConnected());
  }
  EXPECT_EQ(Raised([&] { lost.CreateDatabase(); }).NativeErrorCode(), 10811);
  EXPECT_FALSE(lost.GetConnected());
}

TEST(TarnexLocalSession, ForwardsTheFixedAnswersOfTheDatabase) {
  TTarnexLocalSession session;
  session.DatabaseName = "MEMORY";
  EXPECT_EQ(Raised([&] { session.FileDatabaseOperation1(); }).NativeErrorCode(), 11235);
  EXPECT_EQ(session.FileDatabaseOperation2(), 0.0);
  // The forwarder found the database without attaching the session.
  ASSERT_TRUE(session.GetConnected());
  EXPECT_EQ(session.SessionID, -1);
  EXPECT_EQ(session.FileDatabaseOperation3(), 0);
  EXPECT_EQ(session.FileDatabaseOperation4(), 0);
  EXPECT_FALSE(session.FileDatabaseOperation5());
  EXPECT_TRUE(session.FileDatabaseOperation6());
  EXPECT_TRUE(session.FileDatabaseOperation7());
  EXPECT_NO_THROW(session.FileDatabaseOperation8("a", "b"));
  EXPECT_NO_THROW(session.FileDatabaseOperation9());
  EXPECT_FALSE(session.FileDatabaseOperation10());
  EXPECT_EQ(Raised([&] { session.FileDatabaseOperation1(); }).NativeErrorCode(), 10380);
  EXPECT_NO_THROW(session.UnnamedOperation4());
  EXPECT_NO_THROW(session.UnnamedOperation5("x"));
  session.DatabaseFileName = "";
  EXPECT_FALSE(session.DatabaseFileExists());
  session.DatabaseFileName = "/nonexistent/dir/file.db";
  EXPECT_FALSE(session.DatabaseFileExists());
  session.SetConnected(false);
  EXPECT_FALSE(session.GetConnected());
}

TEST(TarnexLocalSession, RefusesTransactionsOnBothDatabases) {
  for (const char* name : {"MEMORY", "TEMP"}) {
    auto session = Connected(name);
    const ETarnexException start = Raised([&] { session->StartTransaction(); });
    EXPECT_EQ(start.NativeErrorCode(), 10831);
    EXPECT_EQ(Message(start),
              "Cannot start transaction. Only disk databases are allowed for this - Native error: 10831");
    EXPECT_FALSE(session->InTransaction());
    const ETarnexException commit = Raised([&] { session->Commit(true); });
    EXPECT_EQ(commit.NativeErrorCode(), 10816);
    EXPECT_EQ(Message(commit),
              std::string("Transaction is not started in database '") + name + "' - Native error: 10816");
    EXPECT_EQ(Raised([&] { session->Rollback(); }).NativeErrorCode(), 10818);
    EXPECT_EQ(Raised([&] { session->CreateDatabase(); }).NativeErrorCode(), 20092);
    EXPECT_TRUE(session->GetConnected());
  }
  TTarnexLocalSession disconnected;
  disconnected.DatabaseName = "MEMORY";
  const ETarnexException e = Raised([&] { disconnected.Commit(false); });
  EXPECT_EQ(e.NativeErrorCode(), 10815);
  EXPECT_EQ(Message(e), "Nil pointer occured - Native error: 10815");
  EXPECT_EQ(Raised([&] { disconnected.Rollback(); }).NativeErrorCode(), 10817);
  EXPECT_EQ(Raised([&] { disconnected.StartTransaction(); }).NativeErrorCode(), 10813);
}

// ---------------------------------------------------------------------------------------------
// Definitions and cursors

struct TColumn {
  const char* Name;
  TTarnexFieldType Type;
  int32_t Size;
};

std::unique_ptr<TTarnexFieldDefs> Fields(std::initializer_list<TColumn> columns) {
  auto defs = std::make_unique<TTarnexFieldDefs>();
  for (const TColumn& s : columns) {
    auto* field = static_cast<TTarnexFieldDef*>(defs->AddNew());
    field->Name = s.Name;
    field->SetFieldType(s.Type, s.Size);
  }
  return defs;
}

TTarnexIndexDef& AddIndexDef(TTarnexIndexDefs& defs, const char* name, std::initializer_list<const char*> columns,
                             bool unique = false, bool primary = false) {
  auto* index = static_cast<TTarnexIndexDef*>(defs.AddNew());
  index->Name = name;
  for (const char* c : columns) {
    TTarnexIndexColumn column;
    column.FieldName = c;
    index->Columns.push_back(column);
  }
  index->Unique = unique;
  index->Primary = primary;
  return *index;
}

// A session on "MEMORY" and a cursor on table `name` of it.
struct TMemoryTable {
  explicit TMemoryTable(const std::string& name, bool inMemory = true) : Session(Connected("MEMORY")) {
    Cursor = std::make_unique<TTarnexLocalCursor>(Session.get());
    Cursor->TableName = name;
    Cursor->InMemory = inMemory;
  }
  ~TMemoryTable() {
    const std::string name = Cursor->TableName;
    Cursor.reset();
    TTarnexLocalCursor dropper(Session.get());
    dropper.TableName = name;
    dropper.InMemory = true;
    try {
      dropper.DeleteTable(true);
    } catch (...) {
    }
  }
  // Opens the table (created from an id, name and count field and an index on name).
  void OpenPeople() {
    auto fields = Fields({{"id", TTarnexFieldType::Integer, 0},
                          {"name", TTarnexFieldType::Varchar, 20},
                          {"count", TTarnexFieldType::Integer, 0}});
    TTarnexIndexDefs indexes;
    AddIndexDef(indexes, "byname", {"name"});
    AddIndexDef(indexes, "byid", {"id"}, true);
    Cursor->OpenTable(fields.get(), &indexes, nullptr);
  }

  void Insert(int32_t id, const std::string& name, int32_t count = 0) {
    TTarnexLocalCursor& c = *Cursor;
    c.InitRecordBuffer(c.RecordBuffer, true);
    TTarnexVariant value;
    value.SetAsInteger(id);
    c.SetFieldValue(value, 0, nullptr, false);
    TTarnexVariant text;
    text.SetAsString(name);
    c.SetFieldValue(text, 1, nullptr, false);
    TTarnexVariant n;
    n.SetAsInteger(count);
    c.SetFieldValue(n, 2, nullptr, false);
    c.PostRecord(true);
    ASSERT_EQ(c.Status, 0) << c.StatusText;
  }

  int32_t IntField(int32_t fieldNo) {
    TTarnexVariant value;
    Cursor->GetFieldValue(value, fieldNo, false, false);
    return value.IsNull() ? -1 : value.AsInteger();
  }

  // The ids of every record in the cursor's order, walking forward or backward.
  std::vector<int32_t> Ids(bool forward = true) {
    std::vector<int32_t> ids;
    TTarnexLocalCursor& c = *Cursor;
    if (forward)
      c.SetBOF();
    else
      c.SetEOF();
    const TNavigationDirection step = forward ? TNavigationDirection::Next : TNavigationDirection::Prior;
    while (c.GetRecord(step) == TNavigationResult::Found) ids.push_back(IntField(0));
    return ids;
  }

  std::unique_ptr<TTarnexLocalSession> Session;
  std::unique_ptr<TTarnexLocalCursor> Cursor;
};

TEST(TarnexLocalCursor, OpeningAMissingInMemoryTableCreatesItAndOtherKindsFail) {
  TMemoryTable t("LC_CREATED");
  EXPECT_FALSE(t.Session->TableExists("lc_created"));
  t.OpenPeople();
  EXPECT_TRUE(t.Cursor->Opened);
  EXPECT_TRUE(t.Session->TableExists("lc_created"));  // the session answers ignoring case
  ASSERT_NE(t.Cursor->FieldDefs, nullptr);
  EXPECT_EQ(t.Cursor->FieldDefs->Count(), 3);
  EXPECT_EQ(t.Cursor->VisibleFieldDefs->Count(), 3);
  EXPECT_EQ(t.Cursor->IndexDefs->Count(), 2);
  EXPECT_EQ(t.Cursor->RecordSize, t.Cursor->FieldDefs->RecordSize());
  EXPECT_EQ(t.Cursor->RecordBufferSize, t.Cursor->RecordSize + 7);
  EXPECT_TRUE(t.Cursor->Bof);
  EXPECT_EQ(t.Cursor->GetRecord(TNavigationDirection::Next), TNavigationResult::AfterLast);  // empty table

  auto temp = Connected("TEMP");
  TTarnexLocalCursor missing(temp.get());
  missing.TableName = "LC_NO_SUCH_TABLE";
  missing.Temporary = true;
  const ETarnexException e = Raised([&] { missing.OpenTable(nullptr, nullptr, nullptr); });
  EXPECT_EQ(e.NativeErrorCode(), 10028);
  EXPECT_EQ(Message(e), "Table not found, table name = LC_NO_SUCH_TABLE - Native error: 10028");
  EXPECT_FALSE(missing.Opened);
  EXPECT_FALSE(temp->TableExists("LC_NO_SUCH_TABLE"));
}

TEST(TarnexLocalCursor, TableOperationsWithoutATableNameTheirCode) {
  auto session = Connected("MEMORY");
  TTarnexLocalCursor cursor(session.get());
  cursor.TableName = "LC_ABSENT";
  cursor.InMemory = true;
  TTarnexMemoryStream stream;
  std::string log;
  const std::vector<std::pair<int32_t, std::function<void()>>> cases = {
      {10027, [&] { cursor.DeleteTable(false); }},
      {10073, [&] { cursor.EmptyTable(); }},
      {10151, [&] { cursor.RenameTable("LC_OTHER"); }},
      {11166, [&] { cursor.RenameField("a", "b"); }},
      {10154, [&] { cursor.SaveTableToStream(stream, 0); }},
      {11484, [&] { cursor.DropConstraint("c", false, false); }},
  };
  for (const auto& [code, call] : cases) {
    const ETarnexException e = Raised(call);
    EXPECT_EQ(e.NativeErrorCode(), code);
    EXPECT_EQ(Message(e), "Table not found, table name = LC_ABSENT - Native error: " + std::to_string(code));
  }
  EXPECT_EQ(Raised([&] { cursor.UnnamedOperation21(); }).NativeErrorCode(), 11394);
  EXPECT_EQ(Raised([&] { cursor.UnnamedOperation35(); }).NativeErrorCode(), 11393);
  EXPECT_EQ(Raised([&] { cursor.LoadTableFromStream(stream); }).NativeErrorCode(), 11397);
  EXPECT_FALSE(session->TableExists("LC_ABSENT"));
  EXPECT_TRUE(cursor.RepairTable(log, session.get()));  // in-memory tables report success at once
  EXPECT_TRUE(log.empty());
}

TEST(TarnexLocalCursor, NavigatesInTableOrderAndIndexOrder) {
  TMemoryTable t("LC_NAVIGATE");
  t.OpenPeople();
  t.Insert(1, "delta");
  t.Insert(2, "alpha");
  t.Insert(3, "charlie");
  t.Insert(4, "bravo");
  EXPECT_EQ(t.Cursor->GetRecordCount(), 4);
  EXPECT_EQ(t.Ids(), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(t.Ids(false), (std::vector<int32_t>{4, 3, 2, 1}));
  t.Cursor->SetIndexName("BYNAME");
  EXPECT_EQ(t.Cursor->IndexID, t.Cursor->IndexDefs->FindByName("byname")->ObjectID);
  EXPECT_EQ(t.Ids(), (std::vector<int32_t>{2, 4, 3, 1}));
  EXPECT_EQ(t.Ids(false), (std::vector<int32_t>{1, 3, 4, 2}));
  // The trailer of the buffer names the record read.
  t.Cursor->SetBOF();
  ASSERT_EQ(t.Cursor->GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  const uint8_t* trailer = t.Cursor->RecordBuffer + t.Cursor->RecordSize;
  EXPECT_EQ(TTarnexRecordID::ReadFrom(trailer), t.Cursor->RecordID);
  EXPECT_EQ(trailer[6], TTarnexLocalCursor::BookmarkCurrent);
  EXPECT_EQ(t.Cursor->GetRecNo(), 1);
  t.Cursor->SetRecNo(3);
  ASSERT_EQ(t.Cursor->GetRecord(TNavigationDirection::Current), TNavigationResult::Found);
  EXPECT_EQ(t.IntField(0), 3);
  t.Cursor->SetIndexName("");
  EXPECT_EQ(t.Ids(), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST(TarnexLocalCursor, PostEditAndDeleteLeaveTheirStatus) {
  TMemoryTable t("LC_EDIT");
  auto fields = Fields({{"id", TTarnexFieldType::Integer, 0}, {"name", TTarnexFieldType::Varchar, 20}});
  TTarnexConstraintDefs constraints;
  auto notNull = std::make_unique<TTarnexConstraintDefNotNull>();
  notNull->Name = "NAME_REQUIRED";
  notNull->Target.Name = "name";
  constraints.Add(std::move(notNull));
  t.Cursor->OpenTable(fields.get(), nullptr, &constraints);
  TTarnexLocalCursor& c = *t.Cursor;

  // A constraint failure on post: Status -8 with the constraint's message, nothing raised,
  // nothing stored.
  c.InitRecordBuffer(c.RecordBuffer, true);
  TTarnexVariant id;
  id.SetAsInteger(7);
  c.SetFieldValue(id, 0, nullptr, false);
  EXPECT_NO_THROW(c.PostRecord(true));
  EXPECT_EQ(c.Status, -8);
  EXPECT_EQ(c.StatusText,
            "Constraint 'NAME_REQUIRED' violated. Value in field 'name' cannot be null - Native error: 30026");
  EXPECT_EQ(c.GetRecordCount(), 0);

  TTarnexVariant name;
  name.SetAsString("first");
  c.SetFieldValue(name, 1, nullptr, false);
  c.PostRecord(true);
  EXPECT_EQ(c.Status, 0);
  EXPECT_EQ(c.RecordBuffer[c.RecordSize + 6], TTarnexLocalCursor::BookmarkInserted);
  EXPECT_EQ(TTarnexRecordID::ReadFrom(c.RecordBuffer + c.RecordSize), c.RecordID);
  EXPECT_EQ(c.GetRecordCount(), 1);

  // Edit: read, change, post as an update.
  c.SetBOF();
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  c.BeginEdit();
  EXPECT_EQ(c.Status, 0);
  name.SetAsString("second");
  c.SetFieldValue(name, 1, nullptr, false);
  c.PostRecord(false);
  EXPECT_EQ(c.Status, 0);
  c.SetBOF();
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  TTarnexVariant read;
  c.GetFieldValue(read, 1, false, false);
  EXPECT_EQ(read.AsString(), "second");
  EXPECT_EQ(c.GetRecordCount(), 1);

  // An update that fails its constraint leaves the stored record as it was.
  c.BeginEdit();
  c.SetFieldValue(TTarnexVariant(TTarnexDataType::Varchar), 1, nullptr, false);
  c.PostRecord(false);
  EXPECT_EQ(c.Status, -8);
  c.SetBOF();
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  c.GetFieldValue(read, 1, false, false);
  EXPECT_EQ(read.AsString(), "second");

  c.DeleteRecord();
  EXPECT_EQ(c.Status, 0);
  EXPECT_EQ(c.GetRecordCount(), 0);
  // Deleting it again fails with -3.
  c.DeleteRecord();
  EXPECT_EQ(c.Status, -3);
  EXPECT_EQ(c.StatusText, "Error deleting record");
}

TEST(TarnexLocalCursor, TemporaryTablesRefuseEditsByStatus) {
  auto session = Connected("TEMP");
  TTarnexLocalCursor c(session.get());
  c.TableName = "LC_SCRATCH";
  c.Temporary = true;
  auto fields = Fields({{"id", TTarnexFieldType::Integer, 0}});
  c.CreateTable(fields.get(), nullptr, nullptr);
  c.OpenTable(nullptr, nullptr, nullptr);
  c.InitRecordBuffer(c.RecordBuffer, true);
  c.PostRecord(true);
  EXPECT_EQ(c.Status, 0);
  const std::vector<std::pair<int32_t, std::function<void()>>> cases = {
      {-9, [&] { c.BeginEdit(); }}, {-10, [&] { c.DeleteRecord(); }}, {-11, [&] { c.CancelEdit(false); }}};
  for (const auto& [status, call] : cases) {
    c.Status = 0;
    call();
    EXPECT_EQ(c.Status, status);
  }
  EXPECT_EQ(c.GetRecordCount(), 1);
  c.CloseTable();  // the temporary table's last cursor leaves: the table drops itself
  EXPECT_FALSE(session->TableExists("LC_SCRATCH"));
}

TEST(TarnexLocalCursor, CreateTableReplacesAnExistingInMemoryTable) {
  TMemoryTable t("LC_REPLACED");
  t.OpenPeople();
  t.Insert(1, "one");
  t.Cursor->CloseTable();
  auto fields = Fields({{"only", TTarnexFieldType::Varchar, 5}});
  t.Cursor->CreateTable(fields.get(), nullptr, nullptr);
  EXPECT_FALSE(t.Cursor->Opened);
  t.Cursor->OpenTable(nullptr, nullptr, nullptr);
  EXPECT_EQ(t.Cursor->FieldDefs->Count(), 1);
  EXPECT_EQ(t.Cursor->GetRecordCount(), 0);
  // A creation that fails leaves no table behind.
  TTarnexLocalCursor other(t.Session.get());
  other.TableName = "LC_NO_FIELDS";
  other.InMemory = true;
  TTarnexFieldDefs none;
  EXPECT_EQ(Raised([&] { other.CreateTable(&none, nullptr, nullptr); }).NativeErrorCode(), 10025);
  EXPECT_EQ(Raised([&] { other.OpenTable(&none, nullptr, nullptr); }).NativeErrorCode(), 10025);
  EXPECT_FALSE(t.Session->TableExists("LC_NO_FIELDS"));
  EXPECT_FALSE(other.Opened);
}

TEST(TarnexLocalCursor, ClosingKeepsTheTableAndDesignModeDropsIt) {
  TMemoryTable t("LC_KEPT");
  t.OpenPeople();
  t.Insert(1, "one");
  t.Cursor->CloseTable();
  EXPECT_FALSE(t.Cursor->Opened);
  EXPECT_EQ(t.Cursor->FieldDefs, nullptr);
  EXPECT_EQ(t.Cursor->RecordBuffer, nullptr);
  ASSERT_TRUE(t.Session->TableExists("LC_KEPT"));
  t.Cursor->OpenTable(nullptr, nullptr, nullptr);
  EXPECT_EQ(t.Cursor->GetRecordCount(), 1);
  t.Cursor->CloseTable();

  EngineDesignMode() = true;
  TTarnexLocalCursor designer(t.Session.get());
  designer.TableName = "LC_KEPT";
  designer.InMemory = true;
  designer.OpenTable(nullptr, nullptr, nullptr);
  EngineDesignMode() = false;
  EXPECT_TRUE(designer.DesignMode);
  designer.CloseTable();
  EXPECT_FALSE(t.Session->TableExists("LC_KEPT"));
}

TEST(TarnexLocalCursor, RenamesTablesAndFieldsAndEmptiesThem) {
  TMemoryTable t("LC_RENAME_A");
  t.OpenPeople();
  t.Insert(1, "one");
  t.Insert(2, "two");
  t.Cursor->CloseTable();
  t.Cursor->RenameTable("LC_RENAME_B");
  EXPECT_EQ(t.Cursor->TableName, "LC_RENAME_B");
  EXPECT_FALSE(t.Session->TableExists("LC_RENAME_A"));
  EXPECT_TRUE(t.Session->TableExists("LC_RENAME_B"));
  t.Cursor->RenameField("count", "total");
  // A failed rename still takes the cursor off the table.
  EXPECT_EQ(Raised([&] { t.Cursor->RenameField("name", "total"); }).NativeErrorCode(), 30344);
  EXPECT_EQ(Raised([&] { t.Cursor->RenameField("name", "x"); }).NativeErrorCode(), 11489);
  t.Cursor->EmptyTable();
  t.Cursor->OpenTable(nullptr, nullptr, nullptr);
  EXPECT_EQ(t.Cursor->FieldDefs->Items(2)->Name, "total");
  EXPECT_EQ(t.Cursor->GetRecordCount(), 0);
  const std::vector<TTarnexCursor*>& cursors = t.Cursor->TableData->Cursors();
  EXPECT_EQ(cursors.size(), 1u);
}

TEST(TarnexLocalCursor, IndexOperationsCheckNames) {
  TMemoryTable t("LC_INDEXES");
  t.OpenPeople();
  t.Insert(2, "b");
  t.Insert(1, "a");
  TTarnexIndexDef duplicate;
  duplicate.Name = "BYNAME";
  duplicate.Columns.push_back({"id", false, false});
  const ETarnexException e = Raised([&] { t.Cursor->AddIndex(duplicate); });
  EXPECT_EQ(e.NativeErrorCode(), 20022);
  EXPECT_EQ(Message(e), "Cannot create index 'BYNAME'. Index already exists - Native error: 20022");
  EXPECT_EQ(Raised([&] { t.Cursor->DeleteIndex("nosuch"); }).NativeErrorCode(), 20021);

  TTarnexIndexDef bycount;
  bycount.Name = "bycount";
  bycount.Columns.push_back({"count", true, false});
  t.Cursor->AddIndex(bycount);
  EXPECT_NE(t.Cursor->IndexDefs->FindByName("bycount"), nullptr);
  std::string found;
  t.Cursor->FindIndexByFields(t.Session.get(), {"COUNT"}, {}, {}, found);
  EXPECT_EQ(found, "bycount");
  t.Cursor->FindIndexByFields(t.Session.get(), {"count"}, {"ASC"}, {}, found);
  EXPECT_EQ(found, "");
  t.Cursor->FindIndexByFields(t.Session.get(), {"id"}, {}, {}, found);
  EXPECT_EQ(found, "byid");
  t.Cursor->SetIndexName("byid");
  EXPECT_EQ(t.Ids(), (std::vector<int32_t>{1, 2}));
  t.Cursor->DeleteIndex("byid");
  EXPECT_EQ(t.Cursor->IndexDefs->FindByName("byid"), nullptr);
  EXPECT_EQ(t.Cursor->IndexID, -1);  // the active index is gone: table order
  EXPECT_EQ(t.Ids(), (std::vector<int32_t>{2, 1}));
  t.Cursor->DeleteAllIndexes();
  EXPECT_EQ(t.Cursor->GetIndexDefs()->Count(), 0);
}

TEST(TarnexLocalCursor, ProjectionsChooseAndRenameFields) {
  TMemoryTable t("LC_PROJECTION");
  t.OpenPeople();
  t.Insert(5, "five", 50);
  TTarnexLocalCursor& c = *t.Cursor;
  struct TCase {
    std::vector<std::string> Names;
    std::vector<std::string> Display;
    int32_t Code;
    const char* Message;
  };
  const TCase refused[] = {
      {{"id"}, {}, 10321, "Error - different lists length. L1 = 1, L2 = 0 - Native error: 10321"},
      {{}, {}, 10322, "No fields were specified while setting projection - Native error: 10322"},
      {{"id", "nosuch"}, {"", ""}, 10323, "Cannot find field nosuch - Native error: 10323"},
  };
  for (const TCase& r : refused) {
    const ETarnexException e = Raised([&] { c.SetProjection(r.Names, r.Display); });
    EXPECT_EQ(e.NativeErrorCode(), r.Code);
    EXPECT_EQ(Message(e), r.Message);
    EXPECT_EQ(c.VisibleFieldDefs->Count(), 3);  // unchanged
  }
  c.SetProjection({"count", "id"}, {"total", ""});
  ASSERT_EQ(c.VisibleFieldDefs->Count(), 2);
  EXPECT_EQ(c.VisibleFieldDefs->Items(0)->Name, "total");
  EXPECT_EQ(c.VisibleFieldDefs->Items(0)->FieldNo, 2);
  EXPECT_EQ(c.VisibleFieldDefs->Items(1)->Name, "id");
  c.SetBOF();
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  TTarnexVariant value;
  c.GetFieldValue(value, 0, false, false);
  EXPECT_EQ(value.AsInteger(), 50);
  c.GetFieldValue(value, 1, false, false);
  EXPECT_EQ(value.AsInteger(), 5);
}

TEST(TarnexLocalCursor, BlobStreamsWriteIntoTheRecordAndReadBack) {
  TMemoryTable t("LC_BLOBS");
  auto fields = Fields({{"id", TTarnexFieldType::Integer, 0}, {"notes", TTarnexFieldType::Memo, 0}});
  fields->Items(1)->BlobCompressionAlgorithm = static_cast<uint8_t>(TTarnexCompressionAlgorithm::ZLIB);
  fields->Items(1)->BlobCompressionMode = 6;
  t.Cursor->OpenTable(fields.get(), nullptr, nullptr);
  TTarnexLocalCursor& c = *t.Cursor;
  const std::string texts[] = {"short", std::string(5000, 'x') + "end"};
  for (int32_t i = 0; i < 2; ++i) {
    c.InitRecordBuffer(c.RecordBuffer, true);
    TTarnexVariant id;
    id.SetAsInteger(i);
    c.SetFieldValue(id, 0, nullptr, false);
    TTarnexLocalBLOBStream* stream = c.OpenBlob(true, 1, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(c.BlobStreams->size(), 1u);
    const ETarnexException twice = Raised([&] { c.OpenBlob(true, 1, 2); });
    EXPECT_EQ(twice.NativeErrorCode(), 10115);
    EXPECT_EQ(Message(twice), "BLOB field already opened. FieldNo = 1, FieldName = notes - Native error: 10115");
    EXPECT_EQ(stream->Write(texts[i].data(), static_cast<int32_t>(texts[i].size())),
              static_cast<int32_t>(texts[i].size()));
    c.CloseBlob(1);
    EXPECT_TRUE(c.BlobStreams->empty());
    c.PostRecord(true);
    ASSERT_EQ(c.Status, 0) << c.StatusText;
  }
  c.SetBOF();
  for (const std::string& text : texts) {
    ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
    TTarnexLocalBLOBStream* reader = c.OpenBlob(false, 1, 1);
    std::string back(static_cast<size_t>(reader->Size()), '\0');
    EXPECT_EQ(reader->Read(back.data(), static_cast<int32_t>(back.size())), static_cast<int32_t>(text.size()));
    EXPECT_EQ(back, text);
    c.OpenBlob(false, 1, 1);  // a second reader is allowed
    EXPECT_EQ(c.BlobStreams->size(), 2u);
    c.CloseBlob(1);
    EXPECT_TRUE(c.BlobStreams->empty());
    TTarnexVariant value;
    c.GetFieldValue(value, 1, false, false);
    EXPECT_EQ(value.AsString(), text);
  }
  struct TBadCase {
    std::function<void()> Call;
    int32_t Code;
  };
  const TBadCase bad[] = {{[&] { c.OpenBlob(false, 2, 1); }, 10110},
                          {[&] { c.OpenBlob(false, -1, 1); }, 10110},
                          {[&] { c.CloseBlob(5); }, 10118}};
  for (const TBadCase& b : bad) EXPECT_EQ(Raised(b.Call).NativeErrorCode(), b.Code);
  // FreeBlobStreams(true) leaves readers alone.
  c.OpenBlob(false, 1, 1);
  c.OpenBlob(false, 1, 0);
  c.FreeBlobStreams(true);
  ASSERT_EQ(c.BlobStreams->size(), 1u);
  EXPECT_EQ(c.BlobStreams->front()->Mode(), 1);
  c.FreeBlobStreams(false);
  EXPECT_TRUE(c.BlobStreams->empty());
}

TEST(TarnexLocalCursor, LocksAreGrantedAndAClosedCursorRaisesTheCallersCode) {
  TMemoryTable t("LC_LOCKS");
  TTarnexLocalCursor& c = *t.Cursor;
  struct TCase {
    std::function<void(int32_t)> Call;
    std::function<bool()> Try;
    const char* Message;
  };
  const TCase cases[] = {
      {[&](int32_t e) { c.LockShared(e); }, [&] { return c.TryLockShared(); },
       "Error - cannot lock table in 'S' mode, table name = 'LC_LOCKS'"},
      {[&](int32_t e) { c.UnlockShared(e); }, [&] { return c.TryUnlockShared(); },
       "Error - cannot unlock table in 'S' mode, table name = 'LC_LOCKS'"},
      {[&](int32_t e) { c.LockIRW(e); }, [&] { return c.TryLockIRW(); },
       "Error - cannot lock table in 'IRW' mode, table name = 'LC_LOCKS'"},
      {[&](int32_t e) { c.UnlockIRW(e); }, [&] { return c.TryUnlockIRW(); },
       "Error - cannot unlock table in 'IRW' mode, table name = 'LC_LOCKS'"},
      {[&](int32_t e) { c.LockRW(e); }, [&] { return c.TryLockRW(); },
       "Error - cannot lock table in 'RW' mode, table name = 'LC_LOCKS'"},
      {[&](int32_t e) { c.UnlockRW(e); }, [&] { return c.TryUnlockRW(); },
       "Error - cannot unlock table in 'RW' mode, table name = 'LC_LOCKS'"},
  };
  for (const TCase& k : cases) {
    const ETarnexException e = Raised([&] { k.Call(10677); });
    EXPECT_EQ(e.NativeErrorCode(), 10677);
    EXPECT_EQ(Message(e), std::string(k.Message) + " - Native error: 10677");
    EXPECT_FALSE(k.Try());
  }
  t.OpenPeople();
  for (const TCase& k : cases) {
    EXPECT_NO_THROW(k.Call(10677));
    EXPECT_TRUE(k.Try());
  }
}

TEST(TarnexLocalCursor, SavedPositionComesBackWithItsBuffer) {
  TMemoryTable t("LC_SAVED");
  t.OpenPeople();
  t.Insert(1, "one");
  t.Insert(2, "two");
  TTarnexLocalCursor& c = *t.Cursor;
  c.SetBOF();
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  const TTarnexRecordID first = c.RecordID;
  c.SaveCursorPosition();
  EXPECT_TRUE(c.HasSavedPosition());
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  EXPECT_EQ(t.IntField(0), 2);
  c.SetEOF();
  c.RestoreCursorPosition();
  EXPECT_FALSE(c.HasSavedPosition());
  EXPECT_EQ(c.RecordID, first);
  EXPECT_FALSE(c.Bof);
  EXPECT_FALSE(c.Eof);
  EXPECT_EQ(t.IntField(0), 1);  // the buffer copy came back too
  c.RestoreCursorPosition();    // nothing saved: nothing changes
  EXPECT_EQ(c.RecordID, first);
}

TEST(TarnexLocalCursor, DropConstraintNeedsExclusiveAccess) {
  TMemoryTable t("LC_CONSTRAINTS");
  auto fields = Fields({{"id", TTarnexFieldType::Integer, 0}});
  TTarnexConstraintDefs constraints;
  auto notNull = std::make_unique<TTarnexConstraintDefNotNull>();
  notNull->Name = "ID_REQUIRED";
  notNull->Target.Name = "id";
  constraints.Add(std::move(notNull));
  t.Cursor->OpenTable(fields.get(), nullptr, &constraints);
  const ETarnexException e = Raised([&] { t.Cursor->DropConstraint("ID_REQUIRED", false, false); });
  EXPECT_EQ(e.NativeErrorCode(), 11486);
  EXPECT_EQ(Message(e), "Error - table 'LC_CONSTRAINTS' is not opened in exclusive mode - Native error: 11486");
  t.Cursor->Exclusive = true;
  t.Cursor->DropConstraint("ID_REQUIRED", false, false);
  EXPECT_EQ(t.Cursor->ConstraintDefs->Count(), 0);
  t.Cursor->InitRecordBuffer(t.Cursor->RecordBuffer, true);
  t.Cursor->PostRecord(true);  // a null id is accepted now
  EXPECT_EQ(t.Cursor->Status, 0);
}

TEST(TarnexLocalCursor, AutoincValuesAreReadAndSetThroughTheCursor) {
  TMemoryTable t("LC_AUTOINC");
  auto fields = Fields({{"id", TTarnexFieldType::AutoInc, 0}, {"name", TTarnexFieldType::Varchar, 10}});
  t.Cursor->OpenTable(fields.get(), nullptr, nullptr);
  TTarnexLocalCursor& c = *t.Cursor;
  for (int i = 0; i < 3; ++i) {
    c.InitRecordBuffer(c.RecordBuffer, true);
    c.PostRecord(true);
    ASSERT_EQ(c.Status, 0);
  }
  EXPECT_EQ(c.GetLastAutoinc(0), 3);
  c.SetLastAutoinc(0, 100);
  c.InitRecordBuffer(c.RecordBuffer, true);
  TTarnexVariant value;
  c.GetFieldValue(value, 0, false, true);
  EXPECT_EQ(value.AsInteger(), 101);
  EXPECT_EQ(c.GetLastAutoinc(0), 101);
  const int32_t usage = c.TableData->UsageCount();
  c.IncUsage();
  EXPECT_EQ(c.TableData->UsageCount(), usage + 1);
  c.DecUsage();
  EXPECT_EQ(c.TableData->UsageCount(), usage);
}

}  // namespace

namespace {

TEST(TarnexLocalCursor, SQLScriptRebuildsATableWithEveryColumnKind) {
  FormatSettings() = TFormatSettings::EnUS();
  TMemoryTable t("LC_SCRIPT");
  auto fields = Fields({{"id", TTarnexFieldType::AutoInc, 0},        {"code", TTarnexFieldType::Char, 4},
                        {"name", TTarnexFieldType::Varchar, 20},     {"wname", TTarnexFieldType::WideVarchar, 10},
                        {"wc", TTarnexFieldType::WideChar, 3},       {"tiny", TTarnexFieldType::ShortInt, 0},
                        {"small", TTarnexFieldType::SmallInt, 0},    {"qty", TTarnexFieldType::Integer, 0},
                        {"big", TTarnexFieldType::LargeInt, 0},      {"b", TTarnexFieldType::Byte, 0},
                        {"w", TTarnexFieldType::Word, 0},            {"card", TTarnexFieldType::Cardinal, 0},
                        {"sgl", TTarnexFieldType::Single, 0},        {"dbl", TTarnexFieldType::Double, 0},
                        {"ext", TTarnexFieldType::Extended, 0},      {"flag", TTarnexFieldType::Boolean, 0},
                        {"money", TTarnexFieldType::Currency, 0},    {"day", TTarnexFieldType::Date, 0},
                        {"tm", TTarnexFieldType::Time, 0},           {"stamp", TTarnexFieldType::DateTime, 0},
                        {"ts", TTarnexFieldType::TimeStamp, 0},      {"raw", TTarnexFieldType::Bytes, 4},
                        {"vraw", TTarnexFieldType::VarBytes, 6},     {"blob", TTarnexFieldType::BLOB, 0},
                        {"pic", TTarnexFieldType::Graphic, 0},       {"memo", TTarnexFieldType::Memo, 0},
                        {"fmemo", TTarnexFieldType::FormattedMemo, 0}, {"wmemo", TTarnexFieldType::WideMemo, 0}});
  TTarnexFieldDef& id = *fields->Items(0);
  id.AutoincInitialValue = 10;
  id.AutoincIncrement = 5;
  id.AutoincMinValue = 3;
  id.AutoincMaxValue = 1000;
  id.AutoincCycled = true;
  fields->Items(1)->DefaultValue->SetAsString("x'y");
  fields->Items(7)->DefaultValue->SetAsInteger(1);
  for (int32_t i = 23; i <= 27; ++i) fields->Items(i)->BlobBlockSize = 4096;
  fields->Items(23)->BlobCompressionAlgorithm = static_cast<uint8_t>(TTarnexCompressionAlgorithm::ZLIB);
  fields->Items(23)->BlobCompressionMode = 6;
  TTarnexIndexDefs indexes;
  AddIndexDef(indexes, "pk", {"id"}, true, true);
  TTarnexIndexDef& byname = AddIndexDef(indexes, "byname", {"name"}, true);
  byname.Columns[0].Descending = true;
  byname.Columns[0].CaseInsensitive = true;
  AddIndexDef(indexes, "bycode", {"code", "qty"});
  TTarnexConstraintDefs constraints;
  auto notNull = std::make_unique<TTarnexConstraintDefNotNull>();
  notNull->Name = "NAME_REQUIRED";
  notNull->Target.Name = "name";
  constraints.Add(std::move(notNull));
  auto check = std::make_unique<TTarnexConstraintDefCheck>();
  check->Name = "QTY_RANGE";
  check->Target.Name = "qty";
  check->MinValue->SetAsInteger(1);
  check->MaxValue->SetAsInteger(10);
  constraints.Add(std::move(check));
  t.Cursor->OpenTable(fields.get(), &indexes, &constraints);
  TTarnexLocalCursor& c = *t.Cursor;

  // One record with a value in every field, one with the defaults only.
  c.InitRecordBuffer(c.RecordBuffer, true);
  auto set = [&](int32_t fieldNo, const std::function<void(TTarnexVariant&)>& assign) {
    TTarnexVariant value;
    assign(value);
    c.SetFieldValue(value, fieldNo, nullptr, false);
  };
  const uint8_t raw[] = {1, 2, 3, 4};
  const uint8_t vraw[] = {0xFF, 0};
  set(1, [](TTarnexVariant& v) { v.SetAsString("ab"); });
  set(2, [](TTarnexVariant& v) { v.SetAsString("O'Brien"); });
  set(3, [](TTarnexVariant& v) { v.SetAsWideString(u"wide"); });
  set(4, [](TTarnexVariant& v) { v.SetAsWideString(u"wc"); });
  set(5, [](TTarnexVariant& v) { v.SetAsShortInt(-5); });
  set(6, [](TTarnexVariant& v) { v.SetAsSmallInt(-300); });
  set(7, [](TTarnexVariant& v) { v.SetAsInteger(7); });
  set(8, [](TTarnexVariant& v) { v.SetAsLargeInt(9000000000); });
  set(9, [](TTarnexVariant& v) { v.SetAsByte(200); });
  set(10, [](TTarnexVariant& v) { v.SetAsWord(60000); });
  set(11, [](TTarnexVariant& v) { v.SetAsCardinal(4000000000u); });
  set(12, [](TTarnexVariant& v) { v.SetAsSingle(1.5f); });
  set(13, [](TTarnexVariant& v) { v.SetAsDouble(2.25); });
  set(14, [](TTarnexVariant& v) { v.SetAsExtended(3.5L); });
  set(15, [](TTarnexVariant& v) { v.SetAsBoolean(true); });
  set(16, [](TTarnexVariant& v) { v.SetAsCurrency(12.5); });
  set(17, [](TTarnexVariant& v) { v.SetAsDate(43832.0); });
  set(18, [](TTarnexVariant& v) { v.SetAsTime(0.4375); });
  set(19, [](TTarnexVariant& v) { v.SetAsDateTime(43832.4375); });
  set(20, [](TTarnexVariant& v) { v.SetAsDateTime(43832.4375); });
  set(21, [&](TTarnexVariant& v) { v.SetBuffer(raw, 4, true, TTarnexDataType::Bytes); });
  set(22, [&](TTarnexVariant& v) { v.SetBuffer(vraw, 2, true, TTarnexDataType::VarBytes); });
  set(23, [](TTarnexVariant& v) { v.SetAsString("hello"); });
  set(25, [](TTarnexVariant& v) { v.SetAsString("memo text"); });
  set(27, [](TTarnexVariant& v) { v.SetAsWideString(u"hi"); });
  c.PostRecord(true);
  ASSERT_EQ(c.Status, 0) << c.StatusText;
  c.InitRecordBuffer(c.RecordBuffer, true);
  set(2, [](TTarnexVariant& v) { v.SetAsString("n2"); });
  c.PostRecord(true);
  ASSERT_EQ(c.Status, 0) << c.StatusText;

  c.SetBOF();
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  const TTarnexRecordID position = c.RecordID;

  TTarnexSQLScriptOptions options;
  options.WithDrop = true;
  options.WithCreate = true;
  options.BracketNames = true;
  options.WithIndexes = true;
  options.WithDropIndex = true;
  options.WithData = true;
  const std::string script = c.GetSQLScript(options);

  const std::string blob = " BLOBBLOCKSIZE 4096 BLOBCOMPRESSIONALGORITHM ";
  const std::string expectedSchema =
      "DROP TABLE [LC_SCRIPT] CASCADE;\r\n"
      "CREATE TABLE MEMORY [LC_SCRIPT] (\r\n"
      "\t[id] AUTOINC (INITIALVALUE 10 INCREMENT 5 MINVALUE 3 MAXVALUE 1000 CYCLED),\r\n"
      "\t[code] CHAR(4) DEFAULT 'x''y',\r\n"
      "\t[name] STRING(20) NOT NULL,\r\n"
      "\t[wname] WIDESTRING(10),\r\n"
      "\t[wc] WIDECHAR(3),\r\n"
      "\t[tiny] SIGNEDINT8,\r\n"
      "\t[small] SIGNEDINT16,\r\n"
      "\t[qty] SIGNEDINT32 DEFAULT 1 MINVALUE 1 MAXVALUE 10,\r\n"
      "\t[big] SIGNEDINT64,\r\n"
      "\t[b] UNSIGNEDINT8,\r\n"
      "\t[w] UNSIGNEDINT16,\r\n"
      "\t[card] UNSIGNEDINT32,\r\n"
      "\t[sgl] SINGLE,\r\n"
      "\t[dbl] FLOAT,\r\n"
      "\t[ext] EXTENDED,\r\n"
      "\t[flag] LOGICAL,\r\n"
      "\t[money] CURRENCY,\r\n"
      "\t[day] DATE,\r\n"
      "\t[tm] TIME,\r\n"
      "\t[stamp] DATETIME,\r\n"
      "\t[ts] TIMESTAMP,\r\n"
      "\t[raw] BYTES(4),\r\n"
      "\t[vraw] VARBYTES(6),\r\n"
      "\t[blob] BLOB" + blob + "ZLIB BLOBCOMPRESSIONMODE 6,\r\n"
      "\t[pic] GRAPHIC" + blob + "NONE BLOBCOMPRESSIONMODE 0,\r\n"
      "\t[memo] MEMO" + blob + "NONE BLOBCOMPRESSIONMODE 0,\r\n"
      "\t[fmemo] FORMATTEDMEMO" + blob + "NONE BLOBCOMPRESSIONMODE 0,\r\n"
      "\t[wmemo] WIDEMEMO" + blob + "NONE BLOBCOMPRESSIONMODE 0,\r\n"
      "\tCONSTRAINT [pk] PRIMARY KEY ([id])\r\n"
      ");\r\n"
      "DROP INDEX [LC_SCRIPT].[byname];\r\n"
      "CREATE UNIQUE INDEX [byname] ON [LC_SCRIPT] (\r\n\t[name] DESC NOCASE\r\n);\r\n"
      "DROP INDEX [LC_SCRIPT].[bycode];\r\n"
      "CREATE INDEX [bycode] ON [LC_SCRIPT] (\r\n\t[code],\r\n\t[qty]\r\n);\r\n";
  ASSERT_EQ(script.substr(0, expectedSchema.size()), expectedSchema);

  std::string names;
  for (int32_t i = 0; i < c.FieldDefs->Count(); ++i)
    names += (i > 0 ? ", [" : "[") + c.FieldDefs->Items(i)->Name + "]";
  auto insert = [&](const std::vector<std::string>& values) {
    std::string text = "INSERT INTO [LC_SCRIPT] (" + names + ") VALUES (\r\n";
    for (size_t i = 0; i < values.size(); ++i) text += "\t" + values[i] + (i + 1 < values.size() ? ",\r\n" : "\r\n");
    return text + ");\r\n";
  };
  const std::string day = "'" + DateToStr(43832.0) + "'";
  const std::string stamp = "'" + DateTimeToStr(43832.4375) + "'";
  const std::string expectedData =
      insert({"15", "'ab'", "'O''Brien'", "'wide'", "'wc'", "-5", "-300", "7", "9000000000", "200", "60000",
              "4000000000", "1.5", "2.25", "3.5", "True", "12.5", day, "'" + TimeToStr(0.4375) + "'", stamp, stamp,
              "TOBLOB('" + EncodeBase64(raw, 4) + "', MIME64)", "TOBLOB('/wAAAAAA', MIME64)",
              "TOBLOB('aGVsbG8=', MIME64)", "NULL", "TOBLOB('bWVtbyB0ZXh0', MIME64)", "NULL",
              "TOBLOB('aABpAA==', MIME64)"}) +
      insert({"20", "'x''y'", "'n2'", "NULL", "NULL", "NULL", "NULL", "1", "NULL", "NULL", "NULL", "NULL", "NULL",
              "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
              "NULL", "NULL"});
  EXPECT_EQ(script.substr(expectedSchema.size()), expectedData);

  // The walk through the records left the cursor where it was.
  EXPECT_EQ(c.RecordID, position);
  EXPECT_FALSE(c.Bof);
  EXPECT_FALSE(c.Eof);
  EXPECT_EQ(t.IntField(0), 15);

  // Each part on its own, names without brackets.
  TTarnexSQLScriptOptions createOnly;
  createOnly.WithIndexes = false;
  const std::string create = c.GetSQLScript(createOnly);
  EXPECT_EQ(create.rfind("CREATE TABLE MEMORY LC_SCRIPT (\r\n\tid AUTOINC (", 0), 0u);
  EXPECT_EQ(create.find("INDEX"), std::string::npos);
  EXPECT_EQ(create.find("INSERT"), std::string::npos);
  TTarnexSQLScriptOptions indexesOnly;
  indexesOnly.WithCreate = false;
  EXPECT_EQ(c.GetSQLScript(indexesOnly),
            "CREATE UNIQUE INDEX byname ON LC_SCRIPT (\r\n\tname DESC NOCASE\r\n);\r\n"
            "CREATE INDEX bycode ON LC_SCRIPT (\r\n\tcode,\r\n\tqty\r\n);\r\n");
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------------------------
// Transactions, on a database kind that accepts them (this system has none of its own).

class TDiskDatabase : public TTarnexDatabaseData {
public:
  TDiskDatabase() : TTarnexDatabaseData("DISKDB") { DatabaseList().Add(this); }
  TTarnexTableData* CreateTableData(TTarnexCursor* cursor) override {
    return AddTableData(std::make_unique<TTarnexMemoryTableData>(this, cursor->TableName, cursor->AllocBy));
  }
  void GetSessionTableLocks(int32_t, std::vector<TTarnexTableLockItemForSession*>& locks) override {
    for (auto& lock : Held) locks.push_back(lock.get());
  }
  bool LockTable(const std::string& tableName, int32_t, TTarnexTableLockItemForSession* item,
                 const std::string& mode) override {
    Calls.push_back("lock " + tableName + " " + mode);
    if (mode == RefuseMode) return false;
    if (mode == "IS") ++item->IntentSharedCount;
    if (mode == "S") ++item->SharedCount;
    if (mode == "X") ++item->ExclusiveCount;
    return true;
  }
  bool UnlockTable(const std::string& tableName, int32_t, TTarnexTableLockItemForSession*) override {
    Calls.push_back("unlock " + tableName);
    return !RefuseUnlock;
  }
  // A lock the session holds outside a transaction.
  void Hold(const std::string& tableName, int32_t intentShared, int32_t shared, int32_t write) {
    auto lock = std::make_unique<TTarnexTableLockItemForSession>();
    lock->TableName = tableName;
    lock->IntentSharedCount = intentShared;
    lock->SharedCount = shared;
    lock->WriteCount = write;
    Held.push_back(std::move(lock));
  }

  std::vector<std::unique_ptr<TTarnexTableLockItemForSession>> Held;
  std::string RefuseMode;     // LockTable refuses this mode
  bool RefuseUnlock = false;  // UnlockTable refuses
  std::vector<std::string> Calls;
};

struct TDiskSession {
  TDiskSession() {
    Session.DatabaseName = "disk";
    Session.DatabaseFileName = "diskdb";
    Session.SetConnected(true);
  }
  TDiskDatabase Database;
  TTarnexLocalSession Session;
};

TEST(TarnexTransaction, StartsCommitsAndRollsBackOnADiskDatabase) {
  TDiskSession d;
  ASSERT_EQ(d.Session.Database, &d.Database);
  d.Session.StartTransaction();
  EXPECT_TRUE(d.Session.InTransaction());
  const ETarnexException again = Raised([&] { d.Session.StartTransaction(); });
  EXPECT_EQ(again.NativeErrorCode(), 10814);
  EXPECT_EQ(Message(again), "Transaction already started in database 'DISKDB' - Native error: 10814");
  d.Session.Commit(true);
  EXPECT_FALSE(d.Session.InTransaction());
  d.Session.StartTransaction();
  d.Session.Rollback();
  EXPECT_FALSE(d.Session.InTransaction());
  // Disconnecting rolls an open transaction back.
  d.Session.StartTransaction();
  d.Session.SetConnected(false);
  EXPECT_FALSE(d.Session.InTransaction());
  EXPECT_FALSE(d.Session.GetConnected());
}

TEST(TarnexTransaction, TakesOverTheSessionsTableLocks) {
  struct TCase {
    int32_t IntentShared, Shared, Write;
    std::vector<std::string> Locks;  // the calls while starting
  };
  const TCase cases[] = {
      {1, 0, 0, {"lock PESTS IS", "lock PESTS S"}},
      {0, 1, 0, {"lock PESTS X"}},
  };
  for (const TCase& c : cases) {
    TDiskSession d;
    d.Database.Hold("PESTS", c.IntentShared, c.Shared, c.Write);
    d.Session.StartTransaction();
    EXPECT_EQ(d.Database.Calls, c.Locks);
    ASSERT_EQ(d.Session.Transaction->LockItems.size(), 1u);
    d.Database.Calls.clear();
    d.Session.Rollback();
    EXPECT_EQ(d.Database.Calls, std::vector<std::string>{"unlock PESTS"});
  }
}

TEST(TarnexTransaction, RefusalsLeaveTheSessionWithoutATransaction) {
  struct TCase {
    int32_t Shared, Write;
    const char* RefuseMode;
    int32_t Code;
    const char* Message;
  };
  const TCase cases[] = {
      {0, 1, "", 10824, "Cannot start transaction due to remaining table locks in table 'PESTS'"},
      {0, 0, "IS", 10828, "Error - cannot lock table in 'IS' mode, table name = 'PESTS'"},
      {0, 0, "S", 10829, "Error - cannot lock table in 'S' mode, table name = 'PESTS'"},
      {1, 0, "X", 10827, "Error - cannot lock table in 'X' mode, table name = 'PESTS'"},
  };
  for (const TCase& c : cases) {
    TDiskSession d;
    d.Database.Hold("pests", 0, c.Shared, c.Write);
    d.Database.RefuseMode = c.RefuseMode;
    const ETarnexException e = Raised([&] { d.Session.StartTransaction(); });
    EXPECT_EQ(e.NativeErrorCode(), c.Code);
    EXPECT_EQ(Message(e), std::string(c.Message) + " - Native error: " + std::to_string(c.Code));
    EXPECT_FALSE(d.Session.InTransaction());
  }
}

TEST(TarnexTransaction, CommitFailuresEndTheTransaction) {
  {
    // The exclusive lock of a changed table is refused at commit: rollback, then 10826.
    TDiskSession d;
    d.Database.Hold("PESTS", 0, 1, 0);
    d.Session.StartTransaction();
    d.Database.RefuseMode = "X";
    d.Database.Calls.clear();
    const ETarnexException e = Raised([&] { d.Session.Commit(false); });
    EXPECT_EQ(e.NativeErrorCode(), 10826);
    EXPECT_EQ(Message(e),
              "Commit operation failed - rollback called. Some of modified tables are locked by other sessions - "
              "Native error: 10826");
    EXPECT_EQ(d.Database.Calls, (std::vector<std::string>{"lock PESTS X", "unlock PESTS"}));
    EXPECT_FALSE(d.Session.InTransaction());
  }
  {
    TDiskSession d;
    d.Database.Hold("PESTS", 1, 0, 0);
    d.Session.StartTransaction();
    d.Database.RefuseUnlock = true;
    const ETarnexException e = Raised([&] { d.Session.Commit(false); });
    EXPECT_EQ(e.NativeErrorCode(), 10825);
    EXPECT_EQ(Message(e), "Cannot unlock table 'PESTS' in transaction - Native error: 10825");
    EXPECT_FALSE(d.Session.InTransaction());
  }
  {
    TDiskSession d;
    auto transaction = std::make_unique<TTarnexTransaction>(&d.Session, &d.Database);
    EXPECT_FALSE(transaction->Finished);
    EXPECT_EQ(Raised([&] { TTarnexTransaction::Free(transaction); }).NativeErrorCode(), 10819);
    ASSERT_NE(transaction, nullptr);
    transaction->Commit(false);
    EXPECT_TRUE(transaction->Finished);
    TTarnexTransaction::Free(transaction);
    EXPECT_EQ(transaction, nullptr);
  }
}

TEST(TarnexTransaction, CursorsOfTheSessionFollowTheTransaction) {
  TDiskSession d;
  TTarnexLocalCursor c(&d.Session);
  c.TableName = "DISK_TABLE";
  auto fields = Fields({{"id", TTarnexFieldType::Integer, 0}});
  c.CreateTable(fields.get(), nullptr, nullptr);
  c.OpenTable(nullptr, nullptr, nullptr);
  for (int32_t i = 1; i <= 2; ++i) {
    c.InitRecordBuffer(c.RecordBuffer, true);
    TTarnexVariant value;
    value.SetAsInteger(i);
    c.SetFieldValue(value, 0, nullptr, false);
    c.PostRecord(true);
  }
  c.SetBOF();
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  const TTarnexRecordID first = c.RecordID;
  d.Session.StartTransaction();
  EXPECT_TRUE(c.HasSavedPosition());
  ASSERT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::Found);
  EXPECT_NE(c.RecordID, first);
  // Inside a transaction the locks are granted at once, and a table of a disk kind may not be
  // dropped or renamed.
  EXPECT_NO_THROW(c.LockRW(1));
  TTarnexLocalCursor other(&d.Session);
  other.TableName = "DISK_TABLE";
  EXPECT_TRUE(other.TryLockIRW());
  const std::vector<std::pair<int32_t, std::function<void()>>> refused = {
      {10838, [&] { other.DeleteTable(false); }},
      {10839, [&] { other.RenameTable("X"); }},
      {11165, [&] { other.RenameField("id", "x"); }}};
  for (const auto& [code, call] : refused) {
    const ETarnexException e = Raised(call);
    EXPECT_EQ(e.NativeErrorCode(), code);
    EXPECT_EQ(Message(e), "Cannot perform this operation inside a transaction - Native error: " + std::to_string(code));
  }
  d.Session.Rollback();
  EXPECT_EQ(c.RecordID, first);
  EXPECT_FALSE(c.HasSavedPosition());
  c.CloseTable();
  c.DeleteTable(false);
  EXPECT_FALSE(d.Session.TableExists("DISK_TABLE"));
}

TEST(TarnexLocalCursor, RepairCopiesATableThatIsNeitherInMemoryNorTemporary) {
  TMemoryTable t("LC_REPAIR", false);
  auto fields = Fields({{"id", TTarnexFieldType::AutoInc, 0}, {"notes", TTarnexFieldType::Memo, 0}});
  TTarnexIndexDefs indexes;
  AddIndexDef(indexes, "byid", {"id"}, true);
  TTarnexLocalCursor& c = *t.Cursor;
  c.CreateTable(fields.get(), &indexes, nullptr);
  c.OpenTable(nullptr, nullptr, nullptr);
  for (const char* text : {"one", "two", "three"}) {
    c.InitRecordBuffer(c.RecordBuffer, true);
    TTarnexVariant value;
    value.SetAsString(text);
    c.SetFieldValue(value, 1, nullptr, false);
    c.PostRecord(true);
  }
  std::string log;
  const ETarnexException e = Raised([&] { c.RepairTable(log, t.Session.get()); });
  EXPECT_EQ(e.NativeErrorCode(), 11165);
  EXPECT_EQ(Message(e), "Error - table 'LC_REPAIR' is not opened in exclusive mode - Native error: 11165");
  c.Exclusive = true;
  EXPECT_TRUE(c.RepairTable(log, t.Session.get()));
  EXPECT_EQ(log, "");
  EXPECT_FALSE(c.Opened);
  std::vector<std::string> names;
  t.Session->GetTableNames(names);
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [](const std::string& n) { return n.rfind("LC_REPAIR", 0) == 0; }),
            1);
  c.OpenTable(nullptr, nullptr, nullptr);
  EXPECT_EQ(c.TableName, "LC_REPAIR");
  EXPECT_NE(c.IndexDefs->FindByName("byid"), nullptr);
  std::vector<std::string> texts;
  c.SetBOF();
  while (c.GetRecord(TNavigationDirection::Next) == TNavigationResult::Found) {
    TTarnexVariant value;
    c.GetFieldValue(value, 1, false, false);
    texts.push_back(value.AsString());
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"one", "two", "three"}));
  // The autoincrement sequence carries on after the largest copied value.
  c.InitRecordBuffer(c.RecordBuffer, true);
  EXPECT_EQ(t.IntField(0), 4);
}

}  // namespace

namespace {

TEST(TarnexLocalCursor, FiltersAreParsedForTheCursorAndBadTextsChangeNothing) {
  TMemoryTable t("LC_FILTER_TEXT");
  t.OpenPeople();
  TTarnexLocalCursor& c = *t.Cursor;
  c.SetFilter("(name >= 'b') and ([count] <= 5)", true, false);
  ASSERT_NE(c.FilterExpression, nullptr);
  EXPECT_TRUE(c.HasFilter());
  TTarnexExpression* parsed = c.FilterExpression.get();
  struct TCase {
    const char* Text;
    int32_t Code;
  };
  const TCase bad[] = {{"nosuch = 1", 30115}, {"", 30119}, {"name = ", 0}};
  for (const TCase& b : bad) {
    const ETarnexException e = Raised([&] { c.SetFilter(b.Text, true, false); });
    if (b.Code != 0) {
      EXPECT_EQ(e.NativeErrorCode(), b.Code) << b.Text;
    }
    EXPECT_EQ(c.FilterExpression.get(), parsed) << b.Text;  // the old filter stays
  }
  c.ClearFilter();
  EXPECT_EQ(c.FilterExpression, nullptr);
  EXPECT_FALSE(c.HasFilter());
  // A projection's display names reach the filter too.
  c.SetProjection({"count"}, {"total"});
  EXPECT_NO_THROW(c.SetFilter("total > 3", false, false));
  EXPECT_EQ(Raised([&] { c.SetFilter("totals > 3", false, false); }).NativeErrorCode(), 30115);
  t.Cursor->CloseTable();
  EXPECT_EQ(Raised([&] { c.SetFilter("id = 1", false, false); }).NativeErrorCode(), 11396);
}

TEST(TarnexLocalCursor, AnAttachedCursorLeavesTheTableAsItFoundIt) {
  TMemoryTable t("LC_ATTACHED");
  t.OpenPeople();
  t.Insert(1, "one");
  t.Insert(2, "two");
  TTarnexTableData* table = t.Cursor->TableData;
  {
    TTarnexLocalCursor inner(t.Session.get());
    inner.TableName = "LC_ATTACHED";
    inner.AttachToTable(table);
    EXPECT_TRUE(inner.Opened);
    EXPECT_TRUE(inner.BorrowedTable);
    EXPECT_EQ(table->Cursors().size(), 1u);  // not registered
    EXPECT_EQ(inner.FieldDefs->Count(), 3);
    inner.SetBOF();
    std::vector<int32_t> ids;
    while (inner.GetRecord(TNavigationDirection::Next) == TNavigationResult::Found) {
      TTarnexVariant value;
      inner.GetFieldValue(value, 0, false, false);
      ids.push_back(value.AsInteger());
    }
    EXPECT_EQ(ids, (std::vector<int32_t>{1, 2}));
    inner.CloseTable();
    EXPECT_FALSE(inner.Opened);
  }
  ASSERT_EQ(table->Cursors().size(), 1u);
  EXPECT_EQ(table->Cursors().front(), t.Cursor.get());
  EXPECT_EQ(t.Cursor->GetRecordCount(), 2);
  // Definitions of a closed table come through a lookup.
  t.Cursor->CloseTable();
  TTarnexIndexDefs* indexes = t.Cursor->GetIndexDefs();
  ASSERT_NE(indexes, nullptr);
  EXPECT_EQ(indexes->Count(), 2);
  EXPECT_FALSE(t.Cursor->Opened);
  EXPECT_EQ(Raised([&] { t.Cursor->OpenBlob(false, 0, 1); }).NativeErrorCode(), 10113);
  EXPECT_EQ(Raised([&] { t.Cursor->GetRecord(TNavigationDirection::Next); }).NativeErrorCode(), 11396);
  EXPECT_EQ(Raised([&] { t.Cursor->PostRecord(true); }).NativeErrorCode(), 11396);
}

}  // namespace

namespace {

TEST(TarnexLocalCursor, SQLScriptWritesForeignKeysWithTheirActions) {
  TMemoryTable ref("LC_REF");
  auto refFields = Fields({{"rid", TTarnexFieldType::Integer, 0}});
  TTarnexIndexDefs refIndexes;
  AddIndexDef(refIndexes, "ref_pk", {"rid"}, true, true);
  TTarnexConstraintDefs refConstraints;
  auto primary = std::make_unique<TTarnexConstraintDefPrimary>();
  primary->Name = "ref_pk";
  primary->Target.Name = "ref_pk";
  primary->Columns.push_back({"rid", InvalidObjectID});
  refConstraints.Add(std::move(primary));
  ref.Cursor->CreateTable(refFields.get(), &refIndexes, &refConstraints);

  TMemoryTable t("LC_FKT");
  auto fields = Fields({{"id", TTarnexFieldType::Integer, 0}, {"rid", TTarnexFieldType::Integer, 0}});
  struct TCase {
    TTarnexReferentialAction OnDelete, OnUpdate;
    TTarnexMatchType Match;
    const char* Clause;
  };
  const TCase cases[] = {
      {TTarnexReferentialAction::Cascade, TTarnexReferentialAction::SetNull, TTarnexMatchType::Full,
       " MATCH FULL ON DELETE CASCADE ON UPDATE SET NULL"},
      {TTarnexReferentialAction::SetDefault, TTarnexReferentialAction::NoAction, TTarnexMatchType::Partial,
       " MATCH PARTIAL ON DELETE SET DEFAULT ON UPDATE NO ACTION"},
      {TTarnexReferentialAction::NoAction, TTarnexReferentialAction::Cascade, TTarnexMatchType::Simple,
       " ON DELETE NO ACTION ON UPDATE CASCADE"},
  };
  for (const TCase& k : cases) {
    TTarnexConstraintDefs constraints;
    auto key = std::make_unique<TTarnexConstraintDefForeignKey>();
    key->Name = "fk_ref";
    key->Table.Name = "LC_REF";
    key->Columns.push_back({"rid", InvalidObjectID});
    key->DeleteAction = k.OnDelete;
    key->UpdateAction = k.OnUpdate;
    key->MatchType = k.Match;
    constraints.Add(std::move(key));
    t.Cursor->CreateTable(fields.get(), nullptr, &constraints);
    t.Cursor->OpenTable(nullptr, nullptr, nullptr);
    TTarnexSQLScriptOptions options;
    EXPECT_EQ(t.Cursor->GetSQLScript(options),
              std::string("CREATE TABLE MEMORY LC_FKT (\r\n\tid SIGNEDINT32,\r\n\trid SIGNEDINT32,\r\n"
                          "\tCONSTRAINT fk_ref FOREIGN KEY (rid) REFERENCES LC_REF") +
                  k.Clause + "\r\n);\r\n");
    t.Cursor->CloseTable();
    t.Cursor->DeleteTable(true);
  }
}

}  // namespace

namespace {

TEST(TarnexLocalCursor, UpdatesAndDeletesEveryRecordOfTheView) {
  TMemoryTable t("LC_ALL_RECORDS");
  t.OpenPeople();
  for (int32_t id = 1; id <= 4; ++id) t.Insert(id, "n", id);
  TTarnexLocalCursor& c = *t.Cursor;
  TTarnexVariant value;
  value.SetAsInteger(42);
  c.UpdateAllRecords({"count"}, {&value});
  std::vector<int32_t> counts;
  c.SetBOF();
  while (c.GetRecord(TNavigationDirection::Next) == TNavigationResult::Found) counts.push_back(t.IntField(2));
  EXPECT_EQ(counts, (std::vector<int32_t>{42, 42, 42, 42}));
  EXPECT_EQ(Raised([&] { c.UpdateAllRecords({"count", "id"}, {&value}); }).NativeErrorCode(), 11448);
  EXPECT_EQ(Raised([&] { c.UpdateAllRecords({"nosuch"}, {&value}); }).NativeErrorCode(), 11447);
  c.DeleteAllRecords();
  EXPECT_EQ(c.GetRecordCount(), 0);
  EXPECT_TRUE(c.Bof);
  EXPECT_EQ(c.GetRecord(TNavigationDirection::Next), TNavigationResult::AfterLast);
}

}  // namespace
