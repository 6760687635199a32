// The table object over memory and temporary tables: creation and its validations, constraints,
// inserts, updates and deletes kept in step with every index, neighbour positioning, emptying,
// dropping, renaming, BLOB storage, record numbers, autoincrement sequences, and a randomized run
// checked against a model.
#include "engine/storage/TarnexBaseEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/access/TarnexBTree.h"
#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexMemEngine.h"
#include "engine/storage/TarnexPage.h"
#include "engine/storage/TarnexTableTestSupport.h"
#include "engine/storage/TarnexTempEngine.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/TempFiles.h"

using namespace tabletest;

namespace {

// A memory database with one table made by Create and one registered cursor on it.
class MemoryTableTest : public ::testing::Test {
protected:
  void SetUp() override { Db.AddSession(&Session); }

  TTarnexMemoryTableData* Create(const std::string& name, const std::vector<TField>& fields,
                                 const std::vector<TIndex>& indexes = {}, TTarnexConstraintDefs* constraints = nullptr) {
    TTestCursor creator(name);
    auto* table = static_cast<TTarnexMemoryTableData*>(Db.CreateTableData(&creator));
    auto f = MakeFields(fields);
    auto i = MakeIndexes(indexes);
    table->CreateTable(&creator, f.get(), constraints, i.get());
    return table;
  }
  void Open(TTarnexMemoryTableData* table) {
    Table = table;
    Cursor = std::make_unique<TTestCursor>(table->TableName());
    Cursor->Session = &Session;
    Cursor->Attach(table);
  }
  // Fills a new record with (name, n) and inserts it; returns its slot.
  int32_t Insert(const std::string& name, int32_t n) {
    Cursor->InitRecordBuffer(Cursor->RecordBuffer, true);
    PutText(*Cursor, 0, name);
    PutInt(*Cursor, 1, n);
    EXPECT_TRUE(Table->InsertRecord(Cursor.get()));
    return Cursor->RecordID.PageNo;
  }
  // Places the cursor on slot and reads it.
  void Go(int32_t slot) {
    Cursor->RecordID = {slot, 0};
    Cursor->Bof = Cursor->Eof = false;
    ASSERT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Current), TNavigationResult::Found);
  }
  TTarnexBTreeIndex& TreeOf(const std::string& indexName) {
    return *Table->IndexManager().FindIndex(Table->IndexDefs().FindByName(indexName)->ObjectID);
  }

  TTarnexMemoryDatabaseData Db;
  TTestSession Session;
  TTarnexMemoryTableData* Table = nullptr;
  std::unique_ptr<TTestCursor> Cursor;  // destroyed before the database
};

const std::vector<TField> NameAndCount = {{"name", FT::Varchar, 20}, {"n", FT::Integer}};

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

struct TCreateCase {
  const char* Label;
  std::function<void(TTarnexFieldDefs&, TTarnexIndexDefs&, TTarnexConstraintDefs&)> Spoil;
  int32_t Code;
  const char* Text;
};

TEST_F(MemoryTableTest, CreateTableRefusesBadDefinitionsAndLeavesTheTableAsItWas) {
  Open(Create("T", NameAndCount, {{"byName", {"name"}}}));
  Insert("kept", 1);
  const std::vector<TCreateCase> cases = {
      {"no fields", [](auto& f, auto&, auto&) { f.Clear(); }, 10025, "Error creating table - no fields were specified"},
      {"unnamed field", [](auto& f, auto&, auto&) { f.Items(1)->Name = ""; }, 11432,
       "Cannot create table 'T'. Unnamed fields are not allowed"},
      {"names differing in case", [](auto& f, auto&, auto&) { f.Items(1)->Name = "Name"; }, 11430,
       "Cannot create table 'T'. Duplicate field name 'NAME'"},
      {"unnamed index", [](auto&, auto& i, auto&) { AddIndexDef(i, {"", {"n"}}); }, 11433,
       "Cannot create table 'T'. Unnamed indexes are not allowed"},
      {"index without columns", [](auto&, auto& i, auto&) { AddIndexDef(i, {"empty", {}}); }, 11434,
       "Cannot create table 'T'. No fields defined in index 'empty'"},
      {"duplicate index", [](auto&, auto& i, auto&) { AddIndexDef(i, {"BYNAME", {"n"}}); }, 11428,
       "Cannot create table 'T'. Duplicate index name 'BYNAME'"},
      {"two primary indexes",
       [](auto&, auto& i, auto&) {
         AddIndexDef(i, {"p1", {"n"}, false, false, true});
         AddIndexDef(i, {"p2", {"name"}, false, false, true});
       },
       11427, "Cannot create table 'T'. Error in indexes definition - multiple primary indexes are not allowed"},
      {"index on a missing field", [](auto&, auto& i, auto&) { AddIndexDef(i, {"bad", {"nope"}}); }, 20043,
       "Cannot find index field 'nope'"},
      {"duplicate constraint",
       [](auto&, auto&, auto& c) {
         for (int k = 0; k < 2; ++k) {
           auto nn = std::make_unique<TTarnexConstraintDefNotNull>();
           nn->Name = k == 0 ? "nn" : "NN";
           nn->Target.Name = "n";
           c.Add(std::move(nn));
         }
       },
       11431, "Cannot create table 'T'. Duplicate constraint name 'NN'"},
      {"BLOB block size 0",
       [](auto& f, auto&, auto&) {
         auto* memo = static_cast<TTarnexFieldDef*>(f.AddNew());
         memo->Name = "notes";
         memo->SetFieldType(FT::Memo, 0);
         memo->BlobBlockSize = 0;
       },
       10421, "BLOB block size should be > 0 for field notes"},
      {"primary key on a missing index",
       [](auto&, auto&, auto& c) {
         auto pk = std::make_unique<TTarnexConstraintDefPrimary>();
         pk->Name = "pk";
         pk->Target.Name = "nope";
         c.Add(std::move(pk));
       },
       30325, "Index 'nope' not found"},
      {"unique on a missing field",
       [](auto&, auto&, auto& c) {
         auto u = std::make_unique<TTarnexConstraintDefUnique>();
         u->Name = "u";
         u->Target.Name = "byName";
         u->Columns.push_back({"nope", -1});
         c.Add(std::move(u));
       },
       30332, "Field 'nope' not found"},
      {"not null on a missing field",
       [](auto&, auto&, auto& c) {
         auto nn = std::make_unique<TTarnexConstraintDefNotNull>();
         nn->Target.Name = "gone";
         c.Add(std::move(nn));
       },
       30027, "Field 'gone' not found"},
      {"unnamed unique constraint",
       [](auto&, auto&, auto& c) {
         auto u = std::make_unique<TTarnexConstraintDefUnique>();
         u->Target.Name = "byName";
         c.Add(std::move(u));
       },
       30038, "Not implemented yet"},
  };
  for (const TCreateCase& c : cases) {
    SCOPED_TRACE(c.Label);
    auto fields = MakeFields(NameAndCount);
    auto indexes = MakeIndexes({{"byName", {"name"}}});
    TTarnexConstraintDefs constraints;
    c.Spoil(*fields, *indexes, constraints);
    TTestCursor creator("T");
    ExpectEngineError([&] { Table->CreateTable(&creator, fields.get(), &constraints, indexes.get()); }, c.Code,
                      c.Text);
    EXPECT_EQ(Table->FieldDefs().Count(), 2);
    EXPECT_EQ(Table->IndexDefs().Count(), 1);
    EXPECT_EQ(Table->GetRecordCount(), 1);
    EXPECT_EQ(Walk(Table, "byName", 0), std::vector<std::string>{"kept"});
  }
}

TEST_F(MemoryTableTest, CreatingAnExistingTableAgainReplacesItsRecordsAndTrees) {
  Open(Create("Again", NameAndCount, {{"byName", {"name"}}, {"byN", {"n"}}}));
  for (int r = 0; r < 500; ++r) Insert("r" + std::to_string(r), r);
  Cursor.reset();
  auto fields = MakeFields({{"title", FT::Varchar, 8}});
  auto indexes = MakeIndexes({{"byTitle", {"title"}}});
  TTestCursor creator("Again");
  Table->CreateTable(&creator, fields.get(), nullptr, indexes.get());
  EXPECT_EQ(Table->GetRecordCount(), 0);
  EXPECT_EQ(Table->GetPageManager()->GetPageCount(), 0) << "the old trees gave their pages back";
  Open(Table);
  Cursor->InitRecordBuffer(Cursor->RecordBuffer, false);
  PutText(*Cursor, 0, "new");
  ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
  EXPECT_EQ(Walk(Table, "byTitle", 0), std::vector<std::string>{"new"});
}

TEST_F(MemoryTableTest, CreateTableLaysOutRecordsAndTellsTheCursorItsSizes) {
  TTestCursor creator("Sized");
  auto* table = Db.CreateTableData(&creator);
  auto fields = MakeFields({{"a", FT::Varchar, 10}, {"b", FT::Integer}, {"c", FT::Date}});
  const int32_t firstField = 1;  // three fields: one byte of null flags
  table->CreateTable(&creator, fields.get(), nullptr, nullptr);
  EXPECT_EQ(creator.RecordSize, firstField + 11 + 4 + 4);
  EXPECT_EQ(creator.RecordBufferSize, creator.RecordSize + 7);
  EXPECT_EQ(creator.PositionedRecordSize, creator.RecordSize + 6);
  EXPECT_EQ(table->GetRecordSizes(&creator), firstField);
  EXPECT_EQ(table->FieldDefs().Items(1)->MemoryOffset, firstField + 11);
}

TEST_F(MemoryTableTest, TemporaryTablesUseTheirOwnCodesAndRefuseForeignKeys) {
  TTarnexTemporaryDatabaseData temp;
  TTestCursor creator("scratch");
  auto* table = temp.CreateTableData(&creator);
  ExpectEngineError([&] { table->CreateTable(&creator, nullptr, nullptr, nullptr); }, 10132,
                    "Error creating table - no fields were specified");
  auto memo = MakeFields({{"notes", FT::Memo}});
  memo->Items(0)->BlobBlockSize = 0;
  ExpectEngineError([&] { table->CreateTable(&creator, memo.get(), nullptr, nullptr); }, 11333,
                    "BLOB block size should be > 0 for field notes");
  auto fields = MakeFields(NameAndCount);
  TTarnexConstraintDefs constraints;
  auto fk = std::make_unique<TTarnexConstraintDefForeignKey>();
  fk->Name = "fk";
  fk->Columns.push_back({"n", -1});
  constraints.Add(std::move(fk));
  ExpectEngineError([&] { table->CreateTable(&creator, fields.get(), &constraints, nullptr); }, 11426,
                    "Foreign keys are not supported in temporary tables");
  EXPECT_EQ(table->FieldDefs().Count(), 0);
}

TEST_F(MemoryTableTest, UnnamedConstraintsGetGeneratedNamesThatStayUnique) {
  TTarnexConstraintDefs constraints;
  for (int k = 0; k < 2; ++k) {
    auto nn = std::make_unique<TTarnexConstraintDefNotNull>();
    nn->Target.Name = "n";
    constraints.Add(std::move(nn));
  }
  auto check = std::make_unique<TTarnexConstraintDefCheck>();
  check->Target.Name = "name";
  constraints.Add(std::move(check));
  auto* table = Create("Gen", NameAndCount, {}, &constraints);
  const TTarnexConstraintDefs& made = table->ConstraintDefs();
  ASSERT_EQ(made.Count(), 3);
  EXPECT_EQ(made.Items(0)->Name, "$C_NotNull$Gen$n");
  const std::string second = made.Items(1)->Name;
  EXPECT_EQ(second.rfind("$C_NotNull$Gen$n", 0), 0u);
  EXPECT_GT(second.size(), made.Items(0)->Name.size());
  EXPECT_TRUE(std::all_of(second.begin() + 16, second.end(), ::isdigit)) << second;
  EXPECT_EQ(made.Items(2)->Name, "$C_Check$Gen$name");
  EXPECT_EQ(static_cast<TTarnexConstraintDefNotNull*>(made.Items(0))->Table.Name, "Gen");
  EXPECT_EQ(static_cast<TTarnexConstraintDefNotNull*>(made.Items(0))->Target.ObjectID,
            table->FieldDefs().FindByName("n")->ObjectID);
}

// ---------------------------------------------------------------------------------------------
// Constraints
// ---------------------------------------------------------------------------------------------

TEST_F(MemoryTableTest, PrimaryIndexGetsItsConstraintOnlyWhenAdded) {
  Open(Create("P", NameAndCount, {{"pk", {"n"}, false, false, true}}));
  EXPECT_EQ(Table->ConstraintDefs().Count(), 0) << "a primary index of the definition makes no constraint";

  TTarnexIndexDef unique;
  unique.Name = "uname";
  unique.Columns.push_back({"name", false, true});
  unique.Unique = true;
  Table->AddIndex(unique, Cursor.get());
  ASSERT_EQ(Table->ConstraintDefs().Count(), 1);
  const auto* made = static_cast<const TTarnexConstraintDefUnique*>(Table->ConstraintDefs().Items(0));
  EXPECT_EQ(made->ConstraintType, TTarnexConstraintType::Unique);
  EXPECT_EQ(made->Name, "uname");
  EXPECT_EQ(made->Target.ObjectID, Table->IndexDefs().FindByName("uname")->ObjectID);
  ASSERT_EQ(made->Columns.size(), 1u);
  EXPECT_EQ(made->Columns[0].ObjectID, Table->FieldDefs().FindByName("name")->ObjectID);

  TTarnexIndexDef internal;
  internal.Name = "quiet";
  internal.Columns.push_back({"n", false, false});
  internal.Unique = true;
  Table->AddIndex(internal, Cursor.get(), true);
  EXPECT_EQ(Table->ConstraintDefs().Count(), 1) << "an internal change makes no constraint";

  Table->DropIndex(Table->IndexDefs().FindByName("uname")->ObjectID, Cursor.get());
  EXPECT_EQ(Table->ConstraintDefs().Count(), 0);
  EXPECT_EQ(Table->IndexDefs().IndexOfName("uname"), -1);
  ExpectEngineError([&] { Table->AddIndex(internal, Cursor.get()); }, 20022,
                    "Cannot create index 'quiet'. Index already exists");
}

TEST_F(MemoryTableTest, AddIndexBuildsOverExistingRecordsAndRemovesTheDefinitionOnFailure) {
  Open(Create("B", NameAndCount));
  for (const char* name : {"pear", "Apple", "fig"}) Insert(name, 1);
  TTarnexIndexDef byName;
  byName.Name = "byName";
  byName.Columns.push_back({"name", false, true});
  Table->AddIndex(byName, Cursor.get());
  EXPECT_EQ(Walk(Table, "byName", 0), (std::vector<std::string>{"Apple", "fig", "pear"}));
  EXPECT_NE(Table->IndexDefs().FindByName("byName")->RootPageNo, -1);

  TTarnexIndexDef broken;
  broken.Name = "broken";
  broken.Columns.push_back({"missing", false, false});
  const int32_t pages = Table->GetPageManager()->GetPageCount();
  ExpectEngineError([&] { Table->AddIndex(broken, Cursor.get()); }, 20043, "Cannot find index field 'missing'");
  EXPECT_EQ(Table->IndexDefs().Count(), 1);
  EXPECT_EQ(Table->GetPageManager()->GetPageCount(), pages);
  EXPECT_EQ(Table->GetPageManager()->DirtyPageCount(Session.SessionID), 0) << "nothing left uncommitted";
  EXPECT_EQ(Table->GetPageManager()->FreedPageCount(Session.SessionID), 0);
}

// A table (id, name, qty) with a primary key on id and a case-insensitive unique key on name.
class ConstraintTest : public MemoryTableTest {
protected:
  void SetUp() override {
    MemoryTableTest::SetUp();
    auto check = std::make_unique<TTarnexConstraintDefCheck>();
    check->Name = "qtyMax";
    check->Target.Name = "qty";
    check->MaxValue->SetAsInteger(10);
    auto nn = std::make_unique<TTarnexConstraintDefNotNull>();
    nn->Name = "qtyNeeded";
    nn->Target.Name = "qty";
    TTarnexConstraintDefs constraints;
    constraints.Add(std::move(check));
    constraints.Add(std::move(nn));
    Open(Create("C", {{"id", FT::Integer}, {"name", FT::Varchar, 20}, {"qty", FT::Integer}}, {}, &constraints));
    TTarnexIndexDef pk;
    pk.Name = "pk";
    pk.Primary = true;
    pk.Columns.push_back({"id", false, false});
    Table->AddIndex(pk, Cursor.get());
    TTarnexIndexDef uname;
    uname.Name = "uname";
    uname.Unique = true;
    uname.Columns.push_back({"name", false, true});
    Table->AddIndex(uname, Cursor.get());
    Cursor->Refresh();
  }
  // Fills the buffer; a negative id or qty means NULL.
  void Fill(int32_t id, const std::string& name, int32_t qty) {
    Cursor->InitRecordBuffer(Cursor->RecordBuffer, false);
    if (id >= 0) PutInt(*Cursor, 0, id);
    PutText(*Cursor, 1, name);
    if (qty >= 0) PutInt(*Cursor, 2, qty);
  }
  void CheckInsert() {
    Table->CheckConstraints(Cursor.get(), &Session, false, Cursor->RecordID, true, nullptr, Cursor->RecordBuffer);
  }
  void Post(int32_t id, const std::string& name, int32_t qty) {
    Fill(id, name, qty);
    CheckInsert();
    ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
  }
};

TEST_F(ConstraintTest, EmptyTablePassesUniquenessAndEveryRuleRefusesItsViolation) {
  Fill(1, "moth", 3);
  EXPECT_NO_THROW(CheckInsert());
  Post(1, "moth", 3);
  struct TCase {
    int32_t Id;
    const char* Name;
    int32_t Qty;
    int32_t Code;
    const char* Text;
  };
  const std::vector<TCase> cases = {
      {-1, "beetle", 1, 30330, "Constraint 'pk' violated. Value in field 'id' cannot be null"},
      {1, "beetle", 1, 30319, "Primary Key constraint 'pk' violated. Duplicate found."},
      {2, "MOTH", 1, 30320, "Constraint unique 'uname' violated. Duplicate found."},
      {2, "beetle", -1, 30026, "Constraint 'qtyNeeded' violated. Value in field 'qty' cannot be null"},
      {2, "beetle", 11, 30030, "Constraint 'qtyMax' violated. Value in field 'qty' cannot be greater then '10'"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    Fill(c.Id, c.Name, c.Qty);
    ExpectEngineError([&] { CheckInsert(); }, c.Code, c.Text);
  }
  Fill(2, "beetle", 10);
  EXPECT_NO_THROW(CheckInsert()) << "the maximum itself is allowed";
}

TEST_F(ConstraintTest, UpdateKeepingItsKeyPassesAndTakingAnothersFails) {
  Post(1, "moth", 3);
  const TTarnexRecordID first = Cursor->RecordID;
  Post(2, "beetle", 4);
  const TTarnexRecordID second = Cursor->RecordID;
  auto checkUpdate = [&](const TTarnexRecordID& id, int32_t newId, const std::string& newName) {
    Cursor->RecordID = id;
    Cursor->Bof = Cursor->Eof = false;
    ASSERT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Current), TNavigationResult::Found);
    std::memcpy(Cursor->OldRecordBuffer, Cursor->RecordBuffer, static_cast<size_t>(Cursor->RecordSize));
    PutInt(*Cursor, 0, newId);
    PutText(*Cursor, 1, newName);
    Table->CheckConstraints(Cursor.get(), &Session, false, id, false, Cursor->OldRecordBuffer, Cursor->RecordBuffer);
  };
  EXPECT_NO_THROW(checkUpdate(first, 1, "Moth")) << "same keys, other letter case";
  ExpectEngineError([&] { checkUpdate(second, 1, "beetle"); }, 30319,
                    "Primary Key constraint 'pk' violated. Duplicate found.");
  ExpectEngineError([&] { checkUpdate(second, 2, "MOTH"); }, 30320,
                    "Constraint unique 'uname' violated. Duplicate found.");
  // Without an old buffer the stored record stands for it.
  Cursor->RecordID = second;
  ASSERT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Current), TNavigationResult::Found);
  EXPECT_NO_THROW(Table->CheckConstraints(Cursor.get(), &Session, false, second, false, nullptr, Cursor->RecordBuffer));
}

TEST_F(ConstraintTest, CheckWithALowerBoundRefusesSmallerValues) {
  auto* check = static_cast<TTarnexConstraintDefCheck*>(Table->ConstraintDefs().FindByName("qtyMax"));
  check->MaxValue->SetNull();
  check->MinValue->SetAsInteger(2);
  Fill(5, "ant", 2);
  EXPECT_NO_THROW(CheckInsert());
  Fill(5, "ant", 1);
  ExpectEngineError([&] { CheckInsert(); }, 30029, "Constraint 'qtyMax' violated. Value in field 'qty' cannot be lower then '2'");
}

// ---------------------------------------------------------------------------------------------
// Records and indexes
// ---------------------------------------------------------------------------------------------

TEST_F(MemoryTableTest, InsertUpdateAndDeleteKeepEveryIndexInStep) {
  Open(Create("I", NameAndCount, {{"byName", {"name"}, true}, {"byN", {"n"}, false, false, false, true}}));
  const int32_t pear = Insert("pear", 3);
  Insert("Apple", 1);
  const int32_t fig = Insert("fig", 2);
  EXPECT_EQ(Walk(Table, "byName", 0), (std::vector<std::string>{"Apple", "fig", "pear"}));
  EXPECT_EQ(Walk(Table, "byN", 0), (std::vector<std::string>{"pear", "fig", "Apple"})) << "descending";
  EXPECT_EQ(Walk(Table, "byName", 0, true), (std::vector<std::string>{"pear", "fig", "Apple"}));

  Go(fig);
  PutText(*Cursor, 0, "zucchini");
  PutInt(*Cursor, 1, 9);
  ASSERT_TRUE(Table->UpdateRecord(Cursor.get()));
  EXPECT_EQ(Walk(Table, "byName", 0), (std::vector<std::string>{"Apple", "pear", "zucchini"}));
  EXPECT_EQ(Walk(Table, "byN", 0), (std::vector<std::string>{"zucchini", "pear", "Apple"}));

  Go(pear);
  ASSERT_TRUE(Table->DeleteRecord(Cursor.get()));
  EXPECT_EQ(Walk(Table, "byName", 0), (std::vector<std::string>{"Apple", "zucchini"}));
  EXPECT_EQ(Walk(Table, "", 0), (std::vector<std::string>{"Apple", "zucchini"}));
  for (const char* index : {"byName", "byN"}) TreeOf(index).CheckIntegrity(Session.SessionID);

  Cursor->RecordID = {pear, 0};
  EXPECT_FALSE(Table->DeleteRecord(Cursor.get())) << "a deleted record cannot be deleted again";
  EXPECT_FALSE(Table->UpdateRecord(Cursor.get()));
  EXPECT_EQ(Table->GetRecordCount(), 2);
}

TEST_F(MemoryTableTest, DeleteLeavesTheCursorOnItsNeighbourInItsOwnOrder) {
  Open(Create("N", NameAndCount, {{"byName", {"name"}, true}}));
  const int32_t c = Insert("c", 0);
  const int32_t a = Insert("a", 0);
  const int32_t b = Insert("b", 0);
  // Order by name: a b c; table order: c a b.
  Cursor->SetIndexName("byName");
  Go(b);
  ASSERT_TRUE(Table->DeleteRecord(Cursor.get()));
  EXPECT_EQ(Cursor->RecordID.PageNo, c) << "next in index order";
  Go(c);
  ASSERT_TRUE(Table->DeleteRecord(Cursor.get()));
  EXPECT_EQ(Cursor->RecordID.PageNo, a) << "the last one goes to the prior record";
  EXPECT_FALSE(Cursor->Bof || Cursor->Eof);
  Go(a);
  ASSERT_TRUE(Table->DeleteRecord(Cursor.get()));
  EXPECT_TRUE(Cursor->Bof) << "nothing left";

  const int32_t x = Insert("x", 0);
  const int32_t w = Insert("w", 0);
  EXPECT_EQ(x, 0) << "numbering restarts once the table was empty";
  Cursor->SetIndexName("");
  Go(x);
  ASSERT_TRUE(Table->DeleteRecord(Cursor.get()));
  EXPECT_EQ(Cursor->RecordID.PageNo, w) << "next in table order";
}

TEST_F(MemoryTableTest, NavigationAnswersBofEofAndEmptyTables) {
  Open(Create("Nav", NameAndCount, {{"byName", {"name"}}}));
  Cursor->SetIndexName("byName");
  EXPECT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Next), TNavigationResult::AfterLast);
  EXPECT_TRUE(Cursor->Eof);
  Insert("only", 1);
  Cursor->SetBOF();
  EXPECT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Prior), TNavigationResult::BeforeFirst);
  EXPECT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Next), TNavigationResult::Found);
  EXPECT_EQ(Text(*Cursor, 0), "only");
  EXPECT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Next), TNavigationResult::AfterLast);
  EXPECT_TRUE(Cursor->Eof);
  EXPECT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Prior), TNavigationResult::Found);
  EXPECT_EQ(Text(*Cursor, 0), "only");
}

TEST_F(MemoryTableTest, RecordNumbersFollowTheCursorsOrder) {
  Open(Create("R", NameAndCount, {{"byName", {"name"}}}));
  for (const char* name : {"d", "b", "e", "a", "c"}) Insert(name, 0);
  Go(2);  // "e"
  ASSERT_TRUE(Table->DeleteRecord(Cursor.get()));
  // Table order: d b a c (slots 0 1 3 4); index order: a b c d.
  struct TCase {
    const char* Index;
    int64_t RecNo;
    const char* Name;
  };
  const std::vector<TCase> cases = {{"", 1, "d"},  {"", 3, "a"},       {"", 4, "c"},      {"", 99, "c"},
                                    {"byName", 1, "a"}, {"byName", 3, "c"}, {"byName", 4, "d"}, {"byName", 0, "a"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Index) + " " + std::to_string(c.RecNo));
    Cursor->SetIndexName(c.Index);
    Table->SetRecNo(Cursor.get(), c.RecNo);
    ASSERT_EQ(Table->Navigate(Cursor.get(), TNavigationDirection::Current), TNavigationResult::Found);
    EXPECT_EQ(Text(*Cursor, 0), c.Name);
    EXPECT_EQ(Table->GetRecNo(Cursor.get()), std::clamp<int64_t>(c.RecNo, 1, 4));
  }
  Cursor->SetBOF();
  EXPECT_EQ(Table->GetRecNo(Cursor.get()), -1);
  EXPECT_EQ(Table->GetCursorRecordCount(Cursor.get()), 4);
}

TEST_F(MemoryTableTest, EmptyingTenThousandRecordsWithTenIndexesFreesEveryPage) {
  std::vector<TField> fields;
  std::vector<TIndex> indexes;
  for (int k = 0; k < 10; ++k) {
    fields.push_back({"f" + std::to_string(k), FT::Varchar, 12});
    indexes.push_back({"i" + std::to_string(k), {"f" + std::to_string(k)}, true});
  }
  Open(Create("Big", fields, indexes));
  for (int r = 0; r < 10000; ++r) {
    Cursor->InitRecordBuffer(Cursor->RecordBuffer, false);
    for (int k = 0; k < 10; ++k) PutText(*Cursor, k, "v" + std::to_string((r * (k + 3)) % 997));
    ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
  }
  const auto* pages = static_cast<TTarnexMemoryPageManager*>(Table->GetPageManager());
  EXPECT_GT(const_cast<TTarnexMemoryPageManager*>(pages)->GetPageCount(), 10);
  TTestCursor other("Big");
  other.Attach(Table);
  ExpectEngineError([&] { Table->EmptyTable(Cursor.get()); }, 10072,
                    "Cannot delete table 'Big'. Table is open by another dataset");
  EXPECT_EQ(Table->GetRecordCount(), 10000);
  other.Detach();

  Table->EmptyTable(Cursor.get());
  EXPECT_EQ(Table->GetRecordCount(), 0);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(Table->IndexDefs().Items(k)->RootPageNo, -1);
  EXPECT_EQ(const_cast<TTarnexMemoryPageManager*>(pages)->GetPageCount(), 0);
  EXPECT_NO_THROW(Table->GetPageManager()->CheckFree());
  Cursor->InitRecordBuffer(Cursor->RecordBuffer, false);
  PutText(*Cursor, 0, "again");
  ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
  EXPECT_EQ(Cursor->RecordID.PageNo, 0);
  EXPECT_EQ(Walk(Table, "i0", 0), std::vector<std::string>{"again"});
}

TEST_F(MemoryTableTest, DeleteAllRecordsAndUpdateAllRecordsCoverTheWholeTable) {
  Open(Create("All", NameAndCount, {{"byN", {"n"}}, {"uname", {"name"}, true, true}}));
  for (int r = 0; r < 5; ++r) Insert("r" + std::to_string(r), r);
  TTarnexVariant seven(DT::Integer);
  seven.SetAsInteger(7);
  Table->UpdateAllRecords(Cursor.get(), {"N"}, {&seven});
  for (const std::string& n : Walk(Table, "byN", 1)) EXPECT_EQ(n, "7");
  EXPECT_EQ(Walk(Table, "byN", 0), (std::vector<std::string>{"r0", "r1", "r2", "r3", "r4"})) << "equal keys by RecordID";
  ExpectEngineError([&] { Table->UpdateAllRecords(Cursor.get(), {"n", "name"}, {&seven}); }, 11448,
                    "Invalid item number - ItemNo = 1, ItemCount = 2");
  ExpectEngineError([&] { Table->UpdateAllRecords(Cursor.get(), {"nope"}, {&seven}); }, 11447,
                    "Cannot find field nope in table All");

  Table->DeleteAllRecords(Cursor.get());
  EXPECT_EQ(Table->GetRecordCount(), 0);
  EXPECT_TRUE(Cursor->Bof);
  EXPECT_TRUE(Walk(Table, "byN", 0).empty());
  EXPECT_NO_THROW(Table->GetPageManager()->CheckFree());
}

TEST_F(MemoryTableTest, DropRefusesWhileAnotherCursorIsOpenThenLeavesTheCatalog) {
  auto* table = Create("Drop", NameAndCount, {{"byName", {"name"}}});
  Open(table);
  Insert("x", 1);
  ExpectEngineError([&] { table->DropTable(&Session, false, false); }, 20017,
                    "Cannot delete table 'Drop'. Table is open by another dataset");
  EXPECT_EQ(Db.TableCount(), 1);
  EXPECT_EQ(Walk(table, "byName", 0), std::vector<std::string>{"x"});
  Cursor.reset();
  table->DropTable(&Session, false, false);
  EXPECT_EQ(Db.TableCount(), 0);
  TTestCursor probe("DROP");
  EXPECT_EQ(Db.FindTableData(&probe), nullptr);
}

TEST_F(MemoryTableTest, RenameTableRefusesTakenNamesAndOpenCursors) {
  Create("Other", NameAndCount);
  Open(Create("Mine", NameAndCount));
  ExpectEngineError([&] { Table->RenameTable(nullptr, "OTHER"); }, 11491,
                    "Cannot rename table 'Mine' to 'OTHER' - table with such name already exists");
  ExpectEngineError([&] { Table->RenameTable(nullptr, "Fresh"); }, 10150,
                    "Cannot rename table 'Mine'. Table is open by another dataset");
  EXPECT_EQ(Table->TableName(), "Mine");
  Table->RenameTable(Cursor.get(), "Fresh");
  EXPECT_EQ(Table->TableName(), "Fresh");
  TTestCursor probe("fresh");
  EXPECT_EQ(Db.FindTableData(&probe), Table);
}

TEST_F(MemoryTableTest, RenameFieldChecksNamesAndIndexes) {
  TTarnexConstraintDefs constraints;
  auto nn = std::make_unique<TTarnexConstraintDefNotNull>();
  nn->Name = "nn";
  nn->Target.Name = "n";
  constraints.Add(std::move(nn));
  Open(Create("F", {{"name", FT::Varchar, 10}, {"n", FT::Integer}, {"x", FT::Integer}}, {{"byName", {"name"}}},
              &constraints));
  ExpectEngineError([&] { Table->RenameField(Cursor.get(), "nope", "y"); }, 30343, "Field 'nope' not found");
  ExpectEngineError([&] { Table->RenameField(Cursor.get(), "n", "X"); }, 30344,
                    "Cannot rename field 'n'. Field 'X' already exists");
  ExpectEngineError([&] { Table->RenameField(Cursor.get(), "name", "title"); }, 11489,
                    "Cannot rename field 'name' in table 'F' - index 'byName' includes this field");
  Table->RenameField(Cursor.get(), "n", "count");
  EXPECT_EQ(Table->FieldDefs().Items(1)->Name, "count");
  EXPECT_EQ(static_cast<TTarnexConstraintDefNotNull*>(Table->ConstraintDefs().Items(0))->Target.Name, "count");
}

TEST_F(MemoryTableTest, DropConstraintOfAPrimaryKeyDropsItsIndex) {
  Open(Create("K", NameAndCount));
  TTarnexIndexDef pk;
  pk.Name = "pk";
  pk.Primary = true;
  pk.Columns.push_back({"n", false, false});
  Table->AddIndex(pk, Cursor.get());
  ExpectEngineError([&] { Table->DropConstraint(Cursor.get(), "missing", false, false); }, 11482,
                    "Error - constraint 'missing' does not exist in table 'K'");
  Table->DropConstraint(Cursor.get(), "PK", false, false);
  EXPECT_EQ(Table->ConstraintDefs().Count(), 0);
  EXPECT_EQ(Table->IndexDefs().Count(), 0);
  EXPECT_NO_THROW(Table->GetPageManager()->CheckFree());
}

// ---------------------------------------------------------------------------------------------
// Autoincrement sequences
// ---------------------------------------------------------------------------------------------

TEST_F(MemoryTableTest, AutoincrementFieldsDrawFromTheirSequenceAndRememberTheLastValue) {
  Open(Create("Auto", {{"id", FT::AutoIncInteger}, {"name", FT::Varchar, 8}}));
  const TTarnexFieldDef& id = *Table->FieldDefs().Items(0);
  const TTarnexSequenceDef* sequence = Table->SequenceManager().SequenceDefs().FindByObjectID(id.SequenceID);
  ASSERT_NE(sequence, nullptr);
  EXPECT_EQ(sequence->Name, "$S_Autoinc$Auto$id");
  ExpectEngineError([&] { Table->GetLastAutoinc(id, &Session); }, 30012,
                    "No SequenceLastValue in session for sequence '$S_Autoinc$Auto$id'. Call GetNextVal first");
  std::vector<int32_t> ids;
  for (int r = 0; r < 3; ++r) {
    Cursor->InitRecordBuffer(Cursor->RecordBuffer, true);
    ids.push_back(Int(*Cursor, 0));
    ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Table->GetLastAutoinc(id, &Session), 3);
  Table->SetLastAutoinc(id, 40);
  Cursor->InitRecordBuffer(Cursor->RecordBuffer, true);
  EXPECT_EQ(Int(*Cursor, 0), 41);
  ExpectEngineError([&] { Table->SequenceManager().NextValue(&Session, 12345); }, 30010, "Sequence #12345 not found");
  ExpectEngineError([&] { Table->SequenceManager().FindSequence(12345); }, 30013, "Sequence #12345 not found");
}

// ---------------------------------------------------------------------------------------------
// BLOBs
// ---------------------------------------------------------------------------------------------

class BlobTest : public MemoryTableTest {
protected:
  void SetUp() override {
    MemoryTableTest::SetUp();
    Open(Create("Blobs", {{"name", FT::Varchar, 10}, {"notes", FT::Memo}, {"wide", FT::WideMemo}}));
  }
  void WriteNotes(const std::string& text) {
    TTarnexLocalBLOBStream* stream = Cursor->OpenBlob(true, 1, 2);
    if (!text.empty()) WriteExact(text.data(), static_cast<int32_t>(text.size()), *stream, 1);
    Cursor->CloseBlob(1);
  }
  std::string ReadNotes() {
    TTarnexVariant v;
    Cursor->GetFieldValue(v, 1, false, true);
    if (v.IsNull()) return "<null>";
    return std::string(static_cast<const char*>(v.Data()), static_cast<size_t>(v.Size() - 1));
  }
  TTarnexMemoryTableData& Memory() { return *Table; }
};

TEST_F(BlobTest, ValuesRoundTripAndAnEmptyWriteMakesTheFieldNull) {
  Cursor->InitRecordBuffer(Cursor->RecordBuffer, false);
  PutText(*Cursor, 0, "a");
  WriteNotes("abc");
  TTarnexVariant memo;
  Cursor->GetFieldValue(memo, 1, false, true);
  ASSERT_EQ(memo.Size(), 4);
  EXPECT_EQ(static_cast<const uint8_t*>(memo.Data())[3], 0);
  TTarnexVariant wide(DT::WideVarchar);
  wide.SetAsWideString(u"xyz");
  Cursor->SetFieldValue(wide, 2, nullptr, true);
  TTarnexVariant readWide;
  Cursor->GetFieldValue(readWide, 2, false, true);
  ASSERT_EQ(readWide.Size(), 8);
  EXPECT_EQ(std::memcmp(readWide.Data(), u"xyz", 8), 0);
  ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
  const int32_t slot = Cursor->RecordID.PageNo;
  Go(slot);
  EXPECT_EQ(ReadNotes(), "abc");
  EXPECT_EQ(Memory().BlobBlockCount(), 2);

  WriteNotes("");
  EXPECT_EQ(ReadNotes(), "<null>");
  ASSERT_TRUE(Table->UpdateRecord(Cursor.get()));
  EXPECT_EQ(Memory().BlobBlockCount(), 1) << "the replaced block is freed";
  Go(slot);
  EXPECT_EQ(ReadNotes(), "<null>");
}

TEST_F(BlobTest, UpdateDeleteAndCancelFreeExactlyTheBlocksTheyReplace) {
  Cursor->InitRecordBuffer(Cursor->RecordBuffer, false);
  WriteNotes("first");
  ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
  const int32_t slot = Cursor->RecordID.PageNo;
  EXPECT_EQ(Memory().BlobBlockCount(), 1);

  Go(slot);
  WriteNotes("second");
  EXPECT_EQ(Memory().BlobBlockCount(), 2) << "stored and edited value";
  Table->CancelEdit(Cursor.get());
  EXPECT_EQ(Memory().BlobBlockCount(), 1);
  Go(slot);
  EXPECT_EQ(ReadNotes(), "first");

  WriteNotes("third");
  WriteNotes("fourth");
  EXPECT_EQ(Memory().BlobBlockCount(), 2) << "a second write replaces the buffer's own block";
  ASSERT_TRUE(Table->UpdateRecord(Cursor.get()));
  EXPECT_EQ(Memory().BlobBlockCount(), 1);
  Go(slot);
  EXPECT_EQ(ReadNotes(), "fourth");

  // A copy of a stored record posted as a new one gets its own block.
  ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
  const int32_t copy = Cursor->RecordID.PageNo;
  EXPECT_EQ(Memory().BlobBlockCount(), 2);
  Go(slot);
  ASSERT_TRUE(Table->DeleteRecord(Cursor.get()));
  EXPECT_EQ(Memory().BlobBlockCount(), 1);
  Go(copy);
  EXPECT_EQ(ReadNotes(), "fourth");
  Table->DeleteAllRecords(Cursor.get());
  EXPECT_EQ(Memory().BlobBlockCount(), 0);
}

TEST_F(BlobTest, CompressedValuesSpanningSeveralBlocksRoundTrip) {
  for (TTarnexCompressionAlgorithm algorithm : {TTarnexCompressionAlgorithm::ZLIB, TTarnexCompressionAlgorithm::BZIP}) {
    SCOPED_TRACE(AlgorithmName(algorithm));
    auto fields = MakeFields({{"notes", FT::Memo}});
    fields->Items(0)->BlobCompressionAlgorithm = static_cast<uint8_t>(algorithm);
    fields->Items(0)->BlobCompressionMode = algorithm == TTarnexCompressionAlgorithm::ZLIB ? 6 : 9;
    fields->Items(0)->BlobBlockSize = 4096;
    TTestCursor creator("Packed" + AlgorithmName(algorithm));
    auto* table = Db.CreateTableData(&creator);
    table->CreateTable(&creator, fields.get(), nullptr, nullptr);
    TTestCursor c(creator.TableName);
    c.Attach(table);
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
    c.InitRecordBuffer(c.RecordBuffer, false);
    TTarnexVariant v(DT::Varchar);
    v.SetAsString(text);
    c.SetFieldValue(v, 0, nullptr, true);
    ASSERT_TRUE(table->InsertRecord(&c));
    c.Bof = c.Eof = false;
    ASSERT_EQ(table->Navigate(&c, TNavigationDirection::Current), TNavigationResult::Found);
    TTarnexVariant back;
    c.GetFieldValue(back, 0, false, true);
    EXPECT_EQ(back.AsString(), text);
    EXPECT_EQ(static_cast<TTarnexMemoryTableData*>(table)->BlobBlockCount(), 1);
  }
}

TEST(TemporaryTable, RowsBlobsAndSelfDrop) {
  TTarnexTemporaryDatabaseData temp;
  TTestCursor creator("scratch");
  auto* table = temp.CreateTableData(&creator);
  auto fields = MakeFields({{"name", FT::Varchar, 10}, {"notes", FT::Memo}});
  auto indexes = MakeIndexes({{"byName", {"name"}, true}});
  table->CreateTable(&creator, fields.get(), nullptr, indexes.get());
  auto* tempTable = static_cast<TTarnexTemporaryTableData*>(table);
  const std::string blobFile = tempTable->BlobFileName();
  EXPECT_TRUE(FileExists(blobFile));
  {
    TTestCursor c("scratch");
    c.Attach(table);
    for (const char* name : {"b", "c", "a"}) {
      c.InitRecordBuffer(c.RecordBuffer, false);
      PutText(c, 0, name);
      TTarnexVariant memo(DT::Varchar);
      memo.SetAsString(std::string("memo of ") + name);
      c.SetFieldValue(memo, 1, nullptr, true);
      ASSERT_TRUE(table->InsertRecord(&c));
    }
    EXPECT_EQ(c.RecordID.AsNumber(), 2u) << "ordinals";
    EXPECT_EQ(Walk(table, "byName", 0), (std::vector<std::string>{"a", "b", "c"}));
    c.RecordID = TTarnexRecordID::FromNumber(0);
    c.Bof = c.Eof = false;
    ASSERT_EQ(table->Navigate(&c, TNavigationDirection::Current), TNavigationResult::Found);
    TTarnexVariant memo;
    c.GetFieldValue(memo, 1, false, true);
    EXPECT_EQ(memo.AsString(), "memo of b");
    EXPECT_FALSE(table->DeleteRecord(&c));
    EXPECT_FALSE(table->UpdateRecord(&c));
    ExpectEngineError([&] { table->DeleteAllRecords(&c); }, 11301, "Error - operation is not supported");
    table->SetRecNoInTableOrder(&c, 3);
    EXPECT_EQ(table->GetRecNoInTableOrder(&c), 3);
    c.Registered = false;
    table->RemoveCursor(&c, true);
    EXPECT_EQ(temp.TableCount(), 1) << "kept by its last cursor";
    table->AddCursor(&c);
    table->RemoveCursor(&c);
  }
  EXPECT_EQ(temp.TableCount(), 0) << "the last cursor leaving drops the table";
  EXPECT_FALSE(FileExists(blobFile));
}

// ---------------------------------------------------------------------------------------------
// Record sets
// ---------------------------------------------------------------------------------------------

TEST(RecordBitmap, NavigationAndUpkeep) {
  TTarnexRecordBitmap set(nullptr);
  TNavigationRequest r;
  r.Direction = TNavigationDirection::Next;
  r.GoFirst = true;
  set.Navigate(r);
  EXPECT_EQ(r.Result, TNavigationResult::NoRecord) << "inactive";
  set.SetActive(true);
  set.Navigate(r);
  EXPECT_EQ(r.Result, TNavigationResult::AfterLast) << "empty";
  for (int32_t id : {4, 9, 2}) set.Append({id, 0});
  EXPECT_FALSE(set.IDs().Sorted());
  set.InsertAfter({9, 0}, {7, 0});
  set.InsertFirst({1, 0});
  // 1 4 9 7 2
  struct TCase {
    TNavigationDirection Direction;
    bool GoFirst, GoLast;
    int32_t From;
    TNavigationResult Result;
    int32_t To;
  };
  const std::vector<TCase> cases = {
      {TNavigationDirection::Next, true, false, 0, TNavigationResult::Found, 1},
      {TNavigationDirection::Prior, true, false, 0, TNavigationResult::BeforeFirst, 0},
      {TNavigationDirection::Prior, false, true, 0, TNavigationResult::Found, 2},
      {TNavigationDirection::Next, false, true, 0, TNavigationResult::AfterLast, 0},
      {TNavigationDirection::Next, false, false, 9, TNavigationResult::Found, 7},
      {TNavigationDirection::Prior, false, false, 9, TNavigationResult::Found, 4},
      {TNavigationDirection::Next, false, false, 2, TNavigationResult::AfterLast, 0},
      {TNavigationDirection::Prior, false, false, 1, TNavigationResult::BeforeFirst, 0},
      {TNavigationDirection::Current, false, false, 7, TNavigationResult::Found, 7},
      {TNavigationDirection::Current, false, false, 5, TNavigationResult::NoRecord, 0},
  };
  for (const TCase& c : cases) {
    TNavigationRequest q;
    q.Direction = c.Direction;
    q.GoFirst = c.GoFirst;
    q.GoLast = c.GoLast;
    q.RecordID = {c.From, 0};
    set.Navigate(q);
    EXPECT_EQ(q.Result, c.Result) << c.From;
    if (c.Result == TNavigationResult::Found) {
      EXPECT_EQ(q.RecordID.PageNo, c.To);
      EXPECT_FALSE(q.GoFirst || q.GoLast);
    }
  }
  EXPECT_EQ(set.RecNoOf({9, 0}), 3);
  EXPECT_EQ(set.IDAt(4).PageNo, 7);
  ExpectEngineError([&] { set.IDAt(6); }, 11326, "Invalid item number - ItemNo = 6, ItemCount = 5");
  set.Remove({9, 0});
  ExpectEngineError([&] { set.Remove({9, 0}); }, 11327, "Record does not exist, ID = 9, 0");
  ExpectEngineError([&] { set.InsertAfter({9, 0}, {3, 0}); }, 11332, "Record does not exist, ID = 9, 0");
  TTarnexRecordBitmap ordered(nullptr);
  ordered.Append({1, 0});
  ExpectEngineError([&] { ordered.Append({1, 0}); }, 11328,
                    "Error adding record to record map - duplicate record ID = 1 0");
}

// ---------------------------------------------------------------------------------------------
// Randomized run against a model
// ---------------------------------------------------------------------------------------------

TEST_F(MemoryTableTest, RandomizedChangesKeepEveryIndexEqualToASortedModel) {
  Open(Create("Rnd", {{"word", FT::Varchar, 12}, {"n", FT::Integer}, {"tag", FT::Varchar, 4}},
              {{"byWord", {"word"}, true}, {"byN", {"n"}}, {"byTagDesc", {"tag"}, false, false, false, true}}));
  const std::vector<std::string> words = {"moth", "MOTH", "Moth", "beetle", "ant", "Ant", "silverfish", "wasp", "fly"};
  const std::vector<std::string> tags = {"a", "b", "c", "d", "e"};
  struct TRow {
    std::string Word;
    int32_t N;
    std::string Tag;
  };
  std::map<int32_t, TRow> model;  // slot -> row
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    for (int batch = 0; batch < 6; ++batch) {
      for (int step = 0; step < 400; ++step) {
        const int action = static_cast<int>(random() % 10);
        if (model.empty() || action < 5) {
          TRow row{words[random() % words.size()], static_cast<int32_t>(random() % 50), tags[random() % tags.size()]};
          Cursor->InitRecordBuffer(Cursor->RecordBuffer, false);
          PutText(*Cursor, 0, row.Word);
          PutInt(*Cursor, 1, row.N);
          PutText(*Cursor, 2, row.Tag);
          ASSERT_TRUE(Table->InsertRecord(Cursor.get()));
          model[Cursor->RecordID.PageNo] = row;
          continue;
        }
        auto it = model.begin();
        std::advance(it, static_cast<long>(random() % model.size()));
        Go(it->first);
        if (action < 8) {
          TRow& row = it->second;
          row.N = static_cast<int32_t>(random() % 50);
          row.Word = words[random() % words.size()];
          PutInt(*Cursor, 1, row.N);
          PutText(*Cursor, 0, row.Word);
          ASSERT_TRUE(Table->UpdateRecord(Cursor.get()));
        } else {
          ASSERT_TRUE(Table->DeleteRecord(Cursor.get()));
          model.erase(it);
        }
      }
      // Expected orders: by key (collation, ignoring case for byWord), then by slot.
      std::vector<std::pair<int32_t, TRow>> rows(model.begin(), model.end());
      auto expect = [&](const std::string& index, int32_t field, auto less) {
        auto sorted = rows;
        std::stable_sort(sorted.begin(), sorted.end(), less);
        std::vector<std::string> want;
        for (const auto& [slot, row] : sorted) want.push_back(field == 0 ? row.Word : field == 1 ? std::to_string(row.N) : row.Tag);
        EXPECT_EQ(Walk(Table, index, field), want) << index;
        TreeOf(index).CheckIntegrity(Session.SessionID);
      };
      expect("byWord", 0, [](const auto& a, const auto& b) { return AnsiCompareText(a.second.Word, b.second.Word) < 0; });
      expect("byN", 1, [](const auto& a, const auto& b) { return a.second.N < b.second.N; });
      expect("byTagDesc", 2, [](const auto& a, const auto& b) { return AnsiCompareStr(a.second.Tag, b.second.Tag) > 0; });
      EXPECT_EQ(Table->GetRecordCount(), static_cast<int64_t>(model.size()));
    }
  }
}

}  // namespace
