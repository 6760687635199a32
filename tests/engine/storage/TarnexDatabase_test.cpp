// The two databases and the process-wide list, object IDs, the base session's named values and
// refusals, and the base cursor's non-virtual operations (index name, field access through the
// visible fields, values, positions, predicates).
#include "engine/storage/TarnexBase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexMemEngine.h"
#include "engine/storage/TarnexMemory.h"
#include "engine/storage/TarnexTableTestSupport.h"
#include "engine/storage/TarnexTempEngine.h"
#include "platform/rtl/SysUtils.h"

using namespace tabletest;

namespace {

TTarnexTableData* MakeTable(TTarnexDatabaseData& db, const std::string& name, const std::vector<TField>& fields,
                            const std::vector<TIndex>& indexes = {}, TTarnexConstraintDefs* constraints = nullptr) {
  TTestCursor creator(name);
  TTarnexTableData* table = db.FindOrCreateTableData(&creator);
  auto f = MakeFields(fields);
  auto i = MakeIndexes(indexes);
  table->CreateTable(&creator, f.get(), constraints, i.get());
  return table;
}

// ---------------------------------------------------------------------------------------------
// Databases
// ---------------------------------------------------------------------------------------------

TEST(Database, SessionsOfMemoryGetIDZeroAndOfTempKeepMinusOne) {
  TTarnexMemoryDatabaseData memory;
  TTarnexTemporaryDatabaseData temp;
  EXPECT_EQ(memory.DatabaseName(), "MEMORY");
  EXPECT_EQ(temp.DatabaseName(), "TEMP");
  TTestSession a, b, c;
  memory.AddSession(&a);
  memory.AddSession(&b);
  temp.AddSession(&c);
  EXPECT_EQ(a.SessionID, 0);
  EXPECT_EQ(b.SessionID, 0);
  EXPECT_EQ(c.SessionID, -1);
  EXPECT_EQ(memory.AttachedSessions(), (std::vector<TTarnexBaseSession*>{&a, &b}));
  memory.RemoveSession(&a);
  memory.RemoveSession(&a);
  EXPECT_EQ(memory.AttachedSessions(), std::vector<TTarnexBaseSession*>{&b});
  EXPECT_EQ(memory.PageManager(), nullptr);
}

TEST(Database, TablesAreFoundIgnoringCaseAndCreatedOnce) {
  TTarnexMemoryDatabaseData db;
  TTestCursor lower("peststable");
  TTestCursor upper("PESTSTABLE");
  EXPECT_EQ(db.FindTableData(&lower), nullptr);
  TTarnexTableData* made = db.FindOrCreateTableData(&upper);
  ASSERT_NE(made, nullptr);
  EXPECT_NE(dynamic_cast<TTarnexMemoryTableData*>(made), nullptr);
  EXPECT_EQ(db.FindOrCreateTableData(&lower), made);
  EXPECT_EQ(db.FindTableData(&lower), made);
  EXPECT_EQ(db.TableCount(), 1);
  EXPECT_TRUE(db.TableExists("PestsTable"));
  EXPECT_FALSE(db.TableExists("pests"));
  TTestCursor second("eco");
  db.FindOrCreateTableData(&second);
  std::vector<std::string> names;
  db.GetTableNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"PESTSTABLE", "eco"}));
}

TEST(Database, CreatedTablesTakeTheCursorsSettings) {
  TTarnexMemoryDatabaseData memory;
  TTestCursor big("big", 250);
  auto* m = static_cast<TTarnexMemoryTableData*>(memory.CreateTableData(&big));
  EXPECT_EQ(m->AllocBy(), 250);
  EXPECT_TRUE(m->SlotIDs());
  TTarnexTemporaryDatabaseData temp;
  TTestCursor scratch("scratch");
  auto* t = static_cast<TTarnexTemporaryTableData*>(temp.CreateTableData(&scratch));
  EXPECT_EQ(t->GrowBy(), 1000);
  EXPECT_EQ(t->WriteBufferCapacity(), 10);
  EXPECT_TRUE(t->OrdinalIDs());
  EXPECT_EQ(t->TableName(), "scratch");
}

TEST(Database, ObjectIDsRiseAcrossTablesAndStayDistinct) {
  TTarnexMemoryDatabaseData db;
  auto nn = std::make_unique<TTarnexConstraintDefNotNull>();
  nn->Name = "nn";
  nn->Target.Name = "a";
  TTarnexConstraintDefs constraints;
  constraints.Add(std::move(nn));
  TTarnexTableData* first = MakeTable(db, "one", {{"a", FT::Integer}, {"id", FT::AutoIncInteger}},
                                      {{"byA", {"a"}}}, &constraints);
  EXPECT_EQ(first->FieldDefs().Items(0)->ObjectID, 1) << "the first definition of a fresh database";
  std::set<TTarnexObjectID> seen;
  auto collect = [&](TTarnexTableData* t) {
    for (int32_t i = 0; i < t->FieldDefs().Count(); ++i) EXPECT_TRUE(seen.insert(t->FieldDefs().Items(i)->ObjectID).second);
    for (int32_t i = 0; i < t->IndexDefs().Count(); ++i) EXPECT_TRUE(seen.insert(t->IndexDefs().Items(i)->ObjectID).second);
    for (int32_t i = 0; i < t->ConstraintDefs().Count(); ++i)
      EXPECT_TRUE(seen.insert(t->ConstraintDefs().Items(i)->ObjectID).second);
    auto& sequences = t->SequenceManager().SequenceDefs();
    for (int32_t i = 0; i < sequences.Count(); ++i) EXPECT_TRUE(seen.insert(sequences.Items(i)->ObjectID).second);
  };
  collect(first);
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(*seen.rbegin(), 5);
  first->DropTable(nullptr, false, false);
  TTarnexTableData* second = MakeTable(db, "two", {{"b", FT::Integer}});
  EXPECT_EQ(second->FieldDefs().Items(0)->ObjectID, 6) << "IDs go on rising after a drop";
  EXPECT_EQ(db.NextObjectID(), 7);
}

TEST(Database, ObjectIDsBeyondThe32BitRangeAreRefused) {
  TTarnexMemoryDatabaseData db;
  db.ObjectIDSequence().CurrentValue = 2147483646;
  EXPECT_EQ(db.NextObjectID(), 2147483647);
  EXPECT_THROW(db.NextObjectID(), ERangeError);
}

TEST(Database, FileDatabaseOperationsGiveTheirFixedAnswers) {
  TTarnexTemporaryDatabaseData db;
  TTestSession s;
  ExpectEngineError([&] { db.FileDatabaseOperation1(&s); }, 10380, "Error - operation is not supported");
  EXPECT_EQ(db.FileDatabaseOperation2(&s), 0.0);
  EXPECT_EQ(db.FileDatabaseOperation3(&s), 0);
  EXPECT_EQ(db.FileDatabaseOperation4(&s), 0);
  EXPECT_FALSE(db.FileDatabaseOperation5(&s));
  EXPECT_TRUE(db.FileDatabaseOperation6(&s));
  EXPECT_TRUE(db.FileDatabaseOperation7(&s));
  EXPECT_FALSE(db.FileDatabaseOperation10(&s));
  EXPECT_TRUE(db.LockTable("t", 0, nullptr, "X"));
  EXPECT_TRUE(db.UnlockTable("t", 0, nullptr));
  std::vector<TTarnexTableLockItemForSession*> locks;
  db.GetSessionTableLocks(0, locks);
  EXPECT_TRUE(locks.empty());
}

TEST(Database, DatabasesLeaveTheProcessWideListWhenFreed) {
  TTarnexDatabaseList& list = DatabaseList();
  const int32_t before = list.Count();
  {
    auto memory = std::make_unique<TTarnexMemoryDatabaseData>();
    auto temp = std::make_unique<TTarnexTemporaryDatabaseData>();
    list.Add(memory.get());
    list.Add(temp.get());
    EXPECT_EQ(list.Count(), before + 2);
    EXPECT_EQ(list.Items(before), memory.get());
    EXPECT_EQ(list.FindByName("temp"), temp.get());
    memory.reset();
    EXPECT_EQ(list.Count(), before + 1);
    EXPECT_EQ(list.FindByName("MEMORY"), nullptr);
  }
  EXPECT_EQ(list.Count(), before);
}

TEST(Database, FreeingTheMemoryDatabaseDropsItsTables) {
  auto db = std::make_unique<TTarnexMemoryDatabaseData>();
  TTarnexTableData* table = MakeTable(*db, "t", {{"a", FT::Varchar, 8}}, {{"byA", {"a"}}});
  TTestCursor c("t");
  c.Attach(table, false);
  c.InitRecordBuffer(c.RecordBuffer, false);
  PutText(c, 0, "x");
  ASSERT_TRUE(table->InsertRecord(&c));
  c.Detach();
  const int64_t before = MemoryManager().AllocatedTotal();
  db.reset();
  EXPECT_LT(MemoryManager().AllocatedTotal(), before);
}

// ---------------------------------------------------------------------------------------------
// Base session
// ---------------------------------------------------------------------------------------------

TEST(BaseSession, NamedValuesAreFoundByTheirExactName) {
  TTestSession s;
  int64_t value = 0;
  EXPECT_FALSE(s.GetSequenceValue("seq", value));
  s.SetSequenceValue("seq", 5);
  s.SetSequenceValue("SEQ", 7);
  s.SetSequenceValue("seq", 9);
  ASSERT_TRUE(s.GetSequenceValue("seq", value));
  EXPECT_EQ(value, 9);
  ASSERT_TRUE(s.GetSequenceValue("SEQ", value));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(s.NamedObjects.size(), 2u);
}

TEST(BaseSession, TheBaseOperationsRefuseOrDoNothing) {
  TTestSession s;
  EXPECT_EQ(s.SessionID, -1);
  ExpectEngineError([&] { s.CreateDatabase(); }, 10888, "Error - operation is not supported");
  ExpectEngineError([&] { s.UnnamedOperation4(); }, 10889, "Error - operation is not supported");
  ExpectEngineError([&] { s.UnnamedOperation5("x"); }, 10890, "Error - operation is not supported");
  EXPECT_NO_THROW(s.UnnamedOperation23(1, 2));
  EXPECT_NO_THROW(s.UnnamedOperation24());
}

// ---------------------------------------------------------------------------------------------
// Base cursor
// ---------------------------------------------------------------------------------------------

class BaseCursorTest : public ::testing::Test {
protected:
  void SetUp() override {
    Table = MakeTable(Db, "t", {{"name", FT::Varchar, 10}, {"n", FT::Integer}, {"notes", FT::Memo}, {"w", FT::WideVarchar, 5}},
                      {{"byName", {"name"}}});
    C.Attach(Table, false);
  }
  TTarnexMemoryDatabaseData Db;
  TTarnexTableData* Table = nullptr;
  TTestCursor C{"t"};
};

TEST_F(BaseCursorTest, SetIndexNameFindsTheIndexIgnoringCaseOrFallsBackToTableOrder) {
  C.SetIndexName("BYNAME");
  EXPECT_EQ(C.IndexID, Table->IndexDefs().Items(0)->ObjectID);
  EXPECT_TRUE(C.HasIndex());
  C.SetIndexName("nothing");
  EXPECT_EQ(C.IndexName, "nothing");
  EXPECT_EQ(C.IndexID, -1);
  EXPECT_FALSE(C.HasIndex());
}

TEST_F(BaseCursorTest, FieldAccessGoesThroughTheVisibleFields) {
  // A projection showing n, then name.
  C.VisibleFieldDefs->Clear();
  for (int32_t source : {1, 0}) {
    auto* f = static_cast<TTarnexFieldDef*>(C.VisibleFieldDefs->AddNew());
    f->Assign(*C.FieldDefs->Items(source));
    f->FieldNo = source;
  }
  C.InitRecordBuffer(C.RecordBuffer, false);
  const int32_t n = 42;
  C.SetFieldData(0, &n, C.RecordBuffer);
  C.SetFieldData(1, "moth", C.RecordBuffer);
  int32_t readN = 0;
  char name[11] = {};
  ASSERT_TRUE(C.GetFieldData(0, &readN, C.RecordBuffer));
  ASSERT_TRUE(C.GetFieldData(1, name, C.RecordBuffer));
  EXPECT_EQ(readN, 42);
  EXPECT_STREQ(name, "moth");
  EXPECT_EQ(Int(C, 1), 42) << "the same field counted in FieldDefs";
  ExpectEngineError([&] { C.GetFieldData(2, name, C.RecordBuffer); }, 10005,
                    "Invalid field number - FieldNo = 2, FieldCount = 2");
  ExpectEngineError([&] { C.SetFieldData(-1, name, C.RecordBuffer); }, 10006,
                    "Invalid field number - FieldNo = -1, FieldCount = 2");
  TTarnexVariant v;
  struct TCase {
    int32_t FieldNo;
    bool InFieldDefs;
    bool Set;
    int32_t Code;
    int32_t Count;
  };
  for (const TCase& c : std::vector<TCase>{{4, true, false, 10317, 4}, {2, false, false, 10737, 2},
                                            {4, true, true, 10318, 4}, {2, false, true, 10738, 2}}) {
    ExpectEngineError(
        [&] {
          if (c.Set) C.SetFieldValue(v, c.FieldNo, nullptr, c.InFieldDefs);
          else C.GetFieldValue(v, c.FieldNo, false, c.InFieldDefs);
        },
        c.Code, "Invalid field number - FieldNo = " + std::to_string(c.FieldNo) + ", FieldCount = " + std::to_string(c.Count));
  }
}

TEST_F(BaseCursorTest, ValuesConvertToTheFieldAndNullsAndEmptyTextsReadAsNull) {
  C.InitRecordBuffer(C.RecordBuffer, false);
  EXPECT_EQ(Text(C, 0), "<null>");
  TTarnexVariant number(DT::Varchar);
  number.SetAsString("17");
  C.SetFieldValue(number, 1, nullptr, true);
  EXPECT_EQ(Int(C, 1), 17) << "text converted to the integer field";
  PutText(C, 0, "a much longer name");
  EXPECT_EQ(Text(C, 0), "a much lon") << "cut to the field";
  TTarnexVariant wide(DT::WideVarchar);
  wide.SetAsWideString(u"abcdefg");
  C.SetFieldValue(wide, 3, nullptr, true);
  TTarnexVariant back;
  C.GetFieldValue(back, 3, false, true);
  EXPECT_EQ(back.AsWideString(), u"abcde");
  PutNull(C, 1);
  EXPECT_EQ(Int(C, 1), -999);
  PutText(C, 0, "");
  TTarnexVariant empty;
  C.GetFieldValue(empty, 0, false, true);
  EXPECT_TRUE(empty.IsNull()) << "an empty text is null";
  EXPECT_TRUE(GetNullFlag(C.RecordBuffer, 0)) << "so writing one sets the field NULL";

  PutText(C, 0, "ref");
  TTarnexVariant reference;
  C.GetFieldValue(reference, 0, true, true);
  EXPECT_TRUE(reference.IsBorrowed());
  EXPECT_EQ(reference.Data(), C.RecordBuffer + C.FieldDefs->Items(0)->MemoryOffset);
  EXPECT_EQ(reference.AsString(), "ref");

  TTarnexVariant memo;
  C.GetFieldValue(memo, 2, false, true);
  EXPECT_TRUE(memo.IsNull()) << "an empty memo";
  ExpectEngineError(
      [&] {
        TTarnexVariant text(DT::Varchar);
        text.SetAsString("x");
        C.SetFieldValue(text, 2, C.OldRecordBuffer, true);
      },
      10739, "Error - operation is not supported");
}

TEST_F(BaseCursorTest, SavedPositionsRestoreFlagsAndRecordIDButNotTheBuffer) {
  struct TCase {
    bool Bof, Eof;
    TTarnexRecordID ID;
  };
  for (const TCase& c : std::vector<TCase>{{true, false, {-1, 0}}, {false, true, {7, 3}}, {false, false, {123456, 65535}}}) {
    C.Bof = c.Bof;
    C.Eof = c.Eof;
    C.RecordID = c.ID;
    C.InitRecordBuffer(C.RecordBuffer, false);
    PutText(C, 0, "before");
    uint8_t* saved = C.SavePosition();
    C.SetEOF();
    C.RecordID = {99, 9};
    PutText(C, 0, "after");
    C.RestorePosition(saved);
    C.FreePosition(saved);
    EXPECT_EQ(saved, nullptr);
    EXPECT_EQ(C.Bof, c.Bof);
    EXPECT_EQ(C.Eof, c.Eof);
    EXPECT_EQ(C.RecordID, c.ID);
    EXPECT_EQ(Text(C, 0), "after");
  }
}

TEST_F(BaseCursorTest, PositionedRecordsAreZeroedAndAllNullAndPredicatesFollowTheState) {
  uint8_t* record = C.AllocPositionedRecord();
  std::memset(record, 0xAB, static_cast<size_t>(C.PositionedRecordSize));
  C.InitPositionedRecord(record);
  for (int32_t i = 0; i < C.FieldDefs->Count(); ++i) EXPECT_TRUE(GetNullFlag(record, i));
  for (int32_t i = C.FieldDefs->NullFlagsSize(); i < C.PositionedRecordSize; ++i) EXPECT_EQ(record[i], 0) << i;
  C.FreeRecordBuffer(record);
  EXPECT_EQ(record, nullptr);

  EXPECT_FALSE(C.IsFiltered());
  C.FilterCallback = [](TTarnexCursor&, const uint8_t*) { return true; };
  EXPECT_TRUE(C.HasFilter());
  C.FilterCallback = nullptr;
  uint8_t key[8] = {};
  C.RangeEnd = key;
  EXPECT_TRUE(C.HasRange());
  EXPECT_TRUE(C.IsFiltered());
  EXPECT_FALSE(C.HasFilter());
}

}  // namespace
