// Definitions and their lists: field types and sizes, record layout, name and ID lookups, list
// editing, copying, index searches, sequences and the stream forms.
#include "engine/storage/TarnexBase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"
#include "TarnexTestSupport.h"

namespace {

using FT = TTarnexFieldType;
using DT = TTarnexDataType;

TTarnexFieldDef* AddField(TTarnexFieldDefs& defs, const std::string& name, FT type, int32_t size = 0) {
  auto* field = static_cast<TTarnexFieldDef*>(defs.AddNew());
  field->Name = name;
  field->SetFieldType(type, size);
  return field;
}

TTarnexIndexDef* AddIndex(TTarnexIndexDefs& defs, const std::string& name,
                          std::vector<TTarnexIndexColumn> columns, TTarnexObjectID id) {
  auto* index = static_cast<TTarnexIndexDef*>(defs.AddNew());
  index->Name = name;
  index->Columns = std::move(columns);
  index->ObjectID = id;
  return index;
}

std::vector<std::string> Names(const TTarnexMetaObjectDefs& defs) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < defs.Count(); ++i) names.push_back(defs.Items(i)->Name);
  return names;
}

// The whole stream image of a list.
std::vector<uint8_t> Image(const TTarnexMetaObjectDefs& defs) {
  TTarnexMemoryStream stream;
  defs.SaveToStream(stream);
  const auto* p = stream.Memory();
  return std::vector<uint8_t>(p, p + stream.Size());
}

// Saves `source`, loads the image into `target` and expects the reloaded list to save to the
// same image.
void RoundTrip(const TTarnexMetaObjectDefs& source, TTarnexMetaObjectDefs& target) {
  TTarnexMemoryStream stream;
  source.SaveToStream(stream);
  stream.SetPosition(0);
  target.LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), stream.Size()) << "the whole image is read back";
  EXPECT_EQ(Image(target), Image(source));
}

// A field with every member away from its default.
void FillField(TTarnexFieldDef& f) {
  f.Name = "Inspected";
  f.ObjectID = 17;
  f.SetFieldType(FT::Varchar, 30);
  f.MemoryOffset = 40;
  f.SequenceID = 9;
  f.DefaultValue->SetAsString("n/a");
  f.BlobCompressionAlgorithm = 1;
  f.BlobCompressionMode = 6;
  f.BlobBlockSize = 4096;
  f.AutoincIncrement = 5;
  f.AutoincInitialValue = 100;
  f.AutoincMinValue = 50;
  f.AutoincMaxValue = 1000;
  f.AutoincCycled = true;
  f.FieldNo = 3;
}

void ExpectSameField(const TTarnexFieldDef& a, const TTarnexFieldDef& b) {
  EXPECT_EQ(a.Name, b.Name);
  EXPECT_EQ(a.ObjectID, b.ObjectID);
  EXPECT_EQ(a.DataType, b.DataType);
  EXPECT_EQ(a.FieldType, b.FieldType);
  EXPECT_EQ(a.Size, b.Size);
  EXPECT_EQ(a.MemoryDataSize, b.MemoryDataSize);
  EXPECT_EQ(a.MemoryOffset, b.MemoryOffset);
  EXPECT_EQ(a.SequenceID, b.SequenceID);
  ASSERT_EQ(a.DefaultValue->IsNull(), b.DefaultValue->IsNull());
  if (!a.DefaultValue->IsNull()) {
    EXPECT_EQ(a.DefaultValue->AsString(), b.DefaultValue->AsString());
  }
  EXPECT_EQ(a.BlobCompressionAlgorithm, b.BlobCompressionAlgorithm);
  EXPECT_EQ(a.BlobCompressionMode, b.BlobCompressionMode);
  EXPECT_EQ(a.BlobBlockSize, b.BlobBlockSize);
  EXPECT_EQ(a.AutoincIncrement, b.AutoincIncrement);
  EXPECT_EQ(a.AutoincInitialValue, b.AutoincInitialValue);
  EXPECT_EQ(a.AutoincMinValue, b.AutoincMinValue);
  EXPECT_EQ(a.AutoincMaxValue, b.AutoincMaxValue);
  EXPECT_EQ(a.AutoincCycled, b.AutoincCycled);
  EXPECT_EQ(a.FieldNo, b.FieldNo);
}

// ---------------------------------------------------------------------------------------------
// Field definitions and layout

TEST(TarnexFieldDef, DefaultsOfANewField) {
  TTarnexFieldDef f;
  EXPECT_EQ(f.ObjectID, -1);
  EXPECT_EQ(f.DataType, DT::Unknown);
  EXPECT_EQ(f.FieldType, FT::Unknown);
  EXPECT_EQ(f.SequenceID, -1);
  EXPECT_TRUE(f.DefaultValue->IsNull());
  EXPECT_EQ(f.BlobBlockSize, 102400);
  EXPECT_EQ(f.AutoincIncrement, 1);
  EXPECT_EQ(f.AutoincInitialValue, 0);
  EXPECT_EQ(f.AutoincMinValue, 0);
  EXPECT_EQ(f.AutoincMaxValue, INT64_MAX);
  EXPECT_FALSE(f.AutoincCycled);

  DefaultFieldBlobBlockSize() = 8192;
  TTarnexFieldDef g;
  DefaultFieldBlobBlockSize() = 102400;
  EXPECT_EQ(g.BlobBlockSize, 8192) << "new fields read the engine-wide setting";
}

TEST(TarnexFieldDef, SetFieldTypeTakesStorageTypeAndSlotSize) {
  struct Case { FT type; int32_t size; DT dataType; int32_t slot; };
  const Case cases[] = {
      {FT::Char, 5, DT::Char, 6},           {FT::Varchar, 10, DT::Varchar, 11},
      {FT::WideChar, 3, DT::WideChar, 8},   {FT::WideVarchar, 10, DT::WideVarchar, 22},
      {FT::ShortInt, 0, DT::ShortInt, 1},   {FT::SmallInt, 0, DT::SmallInt, 2},
      {FT::Integer, 0, DT::Integer, 4},     {FT::LargeInt, 0, DT::LargeInt, 8},
      {FT::Byte, 0, DT::Byte, 1},           {FT::Word, 0, DT::Word, 2},
      {FT::Cardinal, 0, DT::Cardinal, 4},   {FT::AutoInc, 0, DT::Integer, 4},
      {FT::AutoIncByte, 0, DT::Byte, 1},    {FT::AutoIncLargeInt, 0, DT::LargeInt, 8},
      {FT::Single, 0, DT::Single, 4},       {FT::Double, 0, DT::Double, 8},
      {FT::Extended, 0, DT::Extended, 10},  {FT::Boolean, 0, DT::Boolean, 2},
      {FT::Currency, 0, DT::Currency, 8},   {FT::Date, 0, DT::Date, 4},
      {FT::Time, 0, DT::Time, 4},           {FT::DateTime, 0, DT::DateTime, 8},
      {FT::TimeStamp, 0, DT::DateTime, 8},  {FT::Bytes, 16, DT::Bytes, 16},
      {FT::VarBytes, 7, DT::VarBytes, 7},   {FT::BLOB, 0, DT::BLOB, 8},
      {FT::Graphic, 0, DT::BLOB, 8},        {FT::Memo, 0, DT::Memo, 8},
      {FT::FormattedMemo, 0, DT::Memo, 8},  {FT::WideMemo, 0, DT::WideMemo, 8},
  };
  for (const Case& c : cases) {
    TTarnexFieldDef f;
    f.SetFieldType(c.type, c.size);
    EXPECT_EQ(f.FieldType, c.type);
    EXPECT_EQ(f.DataType, c.dataType) << FieldTypeName(c.type);
    EXPECT_EQ(f.Size, c.size);
    EXPECT_EQ(f.MemoryDataSize, c.slot) << FieldTypeName(c.type);
  }
}

TEST(TarnexFieldDef, UnknownFieldTypeIsRefusedAndChangesNothing) {
  for (uint8_t code : {uint8_t(0), uint8_t(36), uint8_t(200)}) {
    TTarnexFieldDef f;
    f.SetFieldType(FT::Integer, 0);
    ExpectEngineError([&] { f.SetFieldType(static_cast<FT>(code), 4); }, 30007,
                      "Unsuported data type 'Unknown'");
    EXPECT_EQ(f.FieldType, FT::Integer);
    EXPECT_EQ(f.MemoryDataSize, 4);
  }
}

TEST(TarnexFieldDefs, LayoutPacksFieldsAfterOneNullBitPerField) {
  struct Case { int32_t fields; int32_t nullBytes; };
  for (Case c : {Case{1, 1}, Case{8, 1}, Case{9, 2}, Case{16, 2}, Case{17, 3}}) {
    TTarnexFieldDefs defs;
    const FT types[] = {FT::Integer, FT::Varchar, FT::WideChar, FT::Double, FT::Memo};
    for (int32_t i = 0; i < c.fields; ++i) AddField(defs, "f" + std::to_string(i), types[i % 5], 10);
    defs.RecalcLayout();
    EXPECT_EQ(defs.NullFlagsSize(), c.nullBytes);
    EXPECT_EQ(defs.Items(0)->MemoryOffset, c.nullBytes) << c.fields << " fields";
    for (int32_t i = 1; i < c.fields; ++i)
      EXPECT_EQ(defs.Items(i)->MemoryOffset, defs.Items(i - 1)->MemoryOffset + defs.Items(i - 1)->MemoryDataSize);
    const TTarnexFieldDef* last = defs.Items(c.fields - 1);
    EXPECT_EQ(defs.RecordSize(), last->MemoryOffset + last->MemoryDataSize);
  }
}

TEST(TarnexFieldDefs, LayoutOfTheInspectionTable) {
  // 9 fields: 2 null-flag bytes, then the slots in order.
  TTarnexFieldDefs defs;
  AddField(defs, "trapno", FT::Integer);
  AddField(defs, "traparea", FT::Varchar, 30);
  AddField(defs, "traplocation", FT::Varchar, 40);
  AddField(defs, "inspected", FT::Date);
  AddField(defs, "common", FT::Varchar, 30);
  AddField(defs, "latin", FT::Varchar, 40);
  AddField(defs, "count", FT::Integer);
  AddField(defs, "lifestage", FT::Varchar, 20);
  AddField(defs, "notes", FT::Memo);
  defs.RecalcLayout();
  const int32_t offsets[] = {2, 6, 37, 78, 82, 113, 154, 158, 179};
  for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(defs.Items(i)->MemoryOffset, offsets[i]) << i;
  EXPECT_EQ(defs.RecordSize(), 187);
}

TEST(TarnexFieldDefs, RecalcLayoutSetsTheFlags) {
  struct Case { bool autoinc; bool withDefault; };
  for (Case c : {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
    TTarnexFieldDefs defs;
    AddField(defs, "a", c.autoinc ? FT::AutoIncWord : FT::Word);
    TTarnexFieldDef* b = AddField(defs, "b", FT::Varchar, 5);
    if (c.withDefault) b->DefaultValue->SetAsString("x");
    EXPECT_FALSE(defs.HasAutoincFields());
    defs.RecalcLayout();
    EXPECT_EQ(defs.HasAutoincFields(), c.autoinc);
    EXPECT_EQ(defs.HasDefaultValues(), c.withDefault);
    defs.Clear();
    EXPECT_FALSE(defs.HasAutoincFields() || defs.HasDefaultValues());
  }
}

// ---------------------------------------------------------------------------------------------
// Lists

TEST(TarnexMetaObjectDefs, NameSearchIgnoresCaseAndTakesTheFirstMatch) {
  TTarnexFieldDefs defs;
  AddField(defs, "common", FT::Varchar, 10)->ObjectID = 4;
  AddField(defs, "Latin", FT::Varchar, 10)->ObjectID = 7;
  AddField(defs, "LATIN", FT::Varchar, 10)->ObjectID = 9;
  struct Case { const char* name; int32_t index; };
  for (Case c : {Case{"COMMON", 0}, Case{"Common", 0}, Case{"latin", 1}, Case{"lat", -1}, Case{"", -1}}) {
    EXPECT_EQ(defs.IndexOfName(c.name), c.index) << c.name;
    EXPECT_EQ(defs.FindByName(c.name), c.index < 0 ? nullptr : defs.Items(c.index)) << c.name;
  }
  struct IdCase { TTarnexObjectID id; int32_t index; };
  for (IdCase c : {IdCase{4, 0}, IdCase{9, 2}, IdCase{5, -1}, IdCase{-1, -1}}) {
    EXPECT_EQ(defs.IndexOfObjectID(c.id), c.index) << c.id;
    EXPECT_EQ(defs.FindByObjectID(c.id), c.index < 0 ? nullptr : defs.Items(c.index)) << c.id;
  }
}

TEST(TarnexMetaObjectDefs, NonAsciiNamesCompareThroughLocaleUpperCasing) {
  TTarnexSequenceDefs defs;
  static_cast<TTarnexSequenceDef*>(defs.AddNew())->Name = "\xE9t\xE9";  // "été" in Windows-1252
  EXPECT_EQ(defs.IndexOfName("\xC9T\xC9"), 0);                          // "ÉTÉ"
}

TEST(TarnexMetaObjectDefs, MoveInsertAndDelete) {
  struct Case { const char* op; int32_t a; int32_t b; std::vector<std::string> after; };
  const Case cases[] = {
      {"move", 0, 3, {"b", "c", "d", "a"}}, {"move", 3, 0, {"d", "a", "b", "c"}},
      {"move", 1, 2, {"a", "c", "b", "d"}}, {"move", 2, 2, {"a", "b", "c", "d"}},
      {"insert", 0, 0, {"x", "a", "b", "c", "d"}}, {"insert", 2, 0, {"a", "b", "x", "c", "d"}},
      {"insert", 4, 0, {"a", "b", "c", "d", "x"}}, {"delete", 0, 0, {"b", "c", "d"}},
      {"delete", 3, 0, {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    TTarnexIndexDefs defs;
    for (const char* n : {"a", "b", "c", "d"}) AddIndex(defs, n, {}, -1);
    if (std::string(c.op) == "move") {
      defs.Move(c.a, c.b);
    } else if (std::string(c.op) == "insert") {
      auto def = std::make_unique<TTarnexIndexDef>();
      def->Name = "x";
      defs.Insert(c.a, std::move(def));
    } else {
      defs.Delete(c.a);
    }
    EXPECT_EQ(Names(defs), c.after) << c.op << " " << c.a << " " << c.b;
  }
}

TEST(TarnexMetaObjectDefs, PositionsOutsideTheListAreRefused) {
  TTarnexFieldDefs defs;
  AddField(defs, "a", FT::Integer);
  AddField(defs, "b", FT::Integer);
  EXPECT_THROW(defs.Items(2), EArgumentException);
  EXPECT_THROW(defs.Items(-1), EArgumentException);
  EXPECT_THROW(defs.Delete(2), EArgumentException);
  EXPECT_THROW(defs.Move(0, 2), EArgumentException);
  EXPECT_THROW(defs.Move(-1, 0), EArgumentException);
  EXPECT_THROW(defs.Insert(3, std::make_unique<TTarnexFieldDef>()), EArgumentException);
  EXPECT_EQ(Names(defs), (std::vector<std::string>{"a", "b"}));
}

TEST(TarnexMetaObjectDefs, TypedListsHoldOnlyTheirOwnClass) {
  TTarnexFieldDefs fields;
  TTarnexIndexDefs indexes;
  TTarnexConstraintDefs constraints;
  TTarnexSequenceDefs sequences;
  EXPECT_THROW(fields.Add(std::make_unique<TTarnexIndexDef>()), EArgumentException);
  EXPECT_THROW(indexes.Add(std::make_unique<TTarnexSequenceDef>()), EArgumentException);
  EXPECT_THROW(constraints.Insert(0, std::make_unique<TTarnexFieldDef>()), EArgumentException);
  EXPECT_THROW(sequences.Add(nullptr), EArgumentException);
  EXPECT_EQ(fields.Count() + indexes.Count() + constraints.Count() + sequences.Count(), 0);
  EXPECT_EQ(constraints.Add(std::make_unique<TTarnexConstraintDefCheck>()), 0);
  EXPECT_EQ(fields.Add(std::make_unique<TTarnexFieldDef>()), 0);
  EXPECT_EQ(fields.Add(std::make_unique<TTarnexFieldDef>()), 1);
}

TEST(TarnexMetaObjectDefs, BaseListCannotCreateDefinitions) {
  TTarnexMetaObjectDefs defs;
  ExpectEngineError([&] { defs.AddNew(); }, 30339,
                    "The method 'InternalAddCreated' not overrided in class 'TTarnexMetaObjectDefs'");
  TTarnexFieldDefs source;
  AddField(source, "a", FT::Integer);
  ExpectEngineError([&] { defs.Assign(source); }, 30339,
                    "The method 'InternalAddCreated' not overrided in class 'TTarnexMetaObjectDefs'");
}

TEST(TarnexMetaObjectDefs, AddNewCreatesTheListsClass) {
  TTarnexFieldDefs fields;
  TTarnexIndexDefs indexes;
  TTarnexConstraintDefs constraints;
  TTarnexSequenceDefs sequences;
  EXPECT_NE(dynamic_cast<TTarnexFieldDef*>(fields.AddNew()), nullptr);
  EXPECT_NE(dynamic_cast<TTarnexIndexDef*>(indexes.AddNew()), nullptr);
  EXPECT_NE(dynamic_cast<TTarnexConstraintDef*>(constraints.AddNew()), nullptr);
  EXPECT_NE(dynamic_cast<TTarnexSequenceDef*>(sequences.AddNew()), nullptr);
  EXPECT_EQ(fields.Count() + indexes.Count() + constraints.Count() + sequences.Count(), 4);
}

TEST(TarnexMetaObjectDefs, AssignCopiesEveryFieldIndependently) {
  TTarnexFieldDefs source;
  FillField(*static_cast<TTarnexFieldDef*>(source.AddNew()));
  AddField(source, "count", FT::AutoIncInteger);
  TTarnexFieldDefs copy;
  AddField(copy, "old", FT::Integer);
  copy.Assign(source);
  ASSERT_EQ(copy.Count(), 2);
  ExpectSameField(*copy.Items(0), *source.Items(0));
  ExpectSameField(*copy.Items(1), *source.Items(1));
  source.Items(0)->DefaultValue->SetAsString("changed");
  EXPECT_EQ(copy.Items(0)->DefaultValue->AsString(), "n/a") << "the default value is a copy";
  copy.Assign(copy);
  EXPECT_EQ(copy.Count(), 2) << "assigning a list to itself keeps it";
  source.RecalcLayout();
  copy.Assign(source);
  EXPECT_TRUE(copy.HasAutoincFields() && copy.HasDefaultValues()) << "the layout flags come along";
}

TEST(TarnexMetaObjectDefs, AssignRefusesNamesDifferingOnlyInCase) {
  TTarnexFieldDefs source;
  AddField(source, "Common", FT::Varchar, 10);
  AddField(source, "COMMON", FT::Varchar, 10);
  TTarnexFieldDefs copy;
  ExpectEngineError([&] { copy.Assign(source); }, 10424, "Duplicate field name COMMON");
}

TEST(TarnexMetaObjectDefs, AssignCutsNamesToShortStrings) {
  TTarnexSequenceDefs source;
  static_cast<TTarnexSequenceDef*>(source.AddNew())->Name = std::string(300, 'n');
  TTarnexSequenceDefs copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Items(0)->Name, std::string(255, 'n'));
}

TEST(TarnexIndexDef, ColumnCountGrowsWithDefaultColumnsAndShrinksFromTheEnd) {
  TTarnexIndexDef index;
  index.SetColumnCount(2);
  index.Columns[0] = {"a", true, true};
  index.Columns[1] = {"b", true, false};
  index.SetColumnCount(3);
  ASSERT_EQ(index.ColumnCount(), 3);
  EXPECT_EQ(index.Columns[0].FieldName, "a");
  EXPECT_TRUE(index.Columns[0].Descending && index.Columns[0].CaseInsensitive);
  EXPECT_TRUE(index.Columns[2].FieldName.empty());
  EXPECT_FALSE(index.Columns[2].Descending || index.Columns[2].CaseInsensitive);
  index.SetColumnCount(1);
  ASSERT_EQ(index.ColumnCount(), 1);
  EXPECT_EQ(index.Columns[0].FieldName, "a");
  EXPECT_EQ(index.RootPageNo, -1);
}

TEST(TarnexIndexDefs, SetItemReplacesTheDefinition) {
  TTarnexIndexDefs defs;
  AddIndex(defs, "a", {}, 1);
  AddIndex(defs, "b", {}, 2);
  auto replacement = std::make_unique<TTarnexIndexDef>();
  replacement->Name = "c";
  defs.SetItem(0, std::move(replacement));
  EXPECT_EQ(Names(defs), (std::vector<std::string>{"c", "b"}));
  EXPECT_THROW(defs.SetItem(2, std::make_unique<TTarnexIndexDef>()), EArgumentException);
}

TEST(TarnexIndexDefs, GetPrimaryIndex) {
  TTarnexIndexDefs defs;
  EXPECT_EQ(defs.GetPrimaryIndex(), nullptr);
  AddIndex(defs, "a", {}, 1);
  EXPECT_EQ(defs.GetPrimaryIndex(), nullptr);
  AddIndex(defs, "b", {}, 2)->Primary = true;
  AddIndex(defs, "c", {}, 3)->Primary = true;
  EXPECT_EQ(defs.GetPrimaryIndex(), defs.Items(1));
}

TEST(TarnexIndexDefs, FindIndexByFields) {
  // common CS asc (1), common CI desc (2), (common, latin) CI asc (3), common CI asc (4)
  TTarnexIndexDefs defs;
  AddIndex(defs, "cs", {{"common", false, false}}, 1);
  AddIndex(defs, "cidesc", {{"common", true, true}}, 2);
  AddIndex(defs, "pair", {{"Common", false, true}, {"latin", false, false}}, 3);
  AddIndex(defs, "ci", {{"common", false, true}}, 4);
  using V = std::vector<std::string>;
  struct Case { V names; V directions; V cases; TTarnexObjectID found; };
  const Case cases[] = {
      {{"COMMON"}, {"ASC"}, {"NO_CASE"}, 3},          // the pair comes first in the list
      {{"common"}, {"ASC"}, {"CASE"}, 1},
      {{"common"}, {"DESC"}, {"NO_CASE"}, 2},
      {{"common"}, {"DESC"}, {"CASE"}, -1},
      {{"common"}, {""}, {""}, 1},                    // other texts impose nothing
      {{"common"}, {"asc"}, {"no_case"}, 1},
      {{"common", "LATIN"}, {"ASC", "ASC"}, {"NO_CASE", "CASE"}, 3},
      {{"common", "latin"}, {"ASC", "ASC"}, {"NO_CASE", "NO_CASE"}, -1},
      {{"latin"}, {"ASC"}, {"CASE"}, -1},
      {{"common", "latin", "x"}, {"", "", ""}, {"", "", ""}, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(defs.FindIndexByFields(&c.names, &c.directions, &c.cases), c.found) << c.names[0] << " "
                                                                                  << c.directions[0] << " " << c.cases[0];
  defs.Move(3, 0);
  V one{"common"}, asc{"ASC"}, noCase{"NO_CASE"};
  EXPECT_EQ(defs.FindIndexByFields(&one, &asc, &noCase), 4) << "the first match in list order wins";
}

TEST(TarnexIndexDefs, FindIndexByFieldsChecksItsLists) {
  TTarnexIndexDefs defs;
  std::vector<std::string> one{"a"}, two{"a", "b"};
  ExpectEngineError([&] { defs.FindIndexByFields(nullptr, &one, &one); }, 10389, "Nil pointer occured");
  ExpectEngineError([&] { defs.FindIndexByFields(&one, nullptr, &one); }, 10390, "Nil pointer occured");
  ExpectEngineError([&] { defs.FindIndexByFields(&one, &one, nullptr); }, 10391, "Nil pointer occured");
  ExpectEngineError([&] { defs.FindIndexByFields(&one, &two, &one); }, 10276,
                    "Error - different lists length. L1 = 1, L2 = 2");
  ExpectEngineError([&] { defs.FindIndexByFields(&two, &two, &one); }, 10277,
                    "Error - different lists length. L1 = 2, L2 = 1");
}

// ---------------------------------------------------------------------------------------------
// Constraints

TEST(TarnexConstraintDefs, ClassesCarryTheirType) {
  struct Case { TTarnexConstraintType type; std::unique_ptr<TTarnexConstraintDef> def; };
  Case cases[] = {
      {TTarnexConstraintType::PrimaryKey, std::make_unique<TTarnexConstraintDefPrimary>()},
      {TTarnexConstraintType::ForeignKey, std::make_unique<TTarnexConstraintDefForeignKey>()},
      {TTarnexConstraintType::Unique, std::make_unique<TTarnexConstraintDefUnique>()},
      {TTarnexConstraintType::NotNull, std::make_unique<TTarnexConstraintDefNotNull>()},
      {TTarnexConstraintType::Check, std::make_unique<TTarnexConstraintDefCheck>()},
      {TTarnexConstraintType::ForeignKeyAction, std::make_unique<TTarnexConstraintDefForeignKeyAction>()},
  };
  for (Case& c : cases) {
    EXPECT_EQ(c.def->ConstraintType, c.type);
    auto made = CreateConstraintDef(c.type);
    EXPECT_EQ(typeid(*made), typeid(*c.def));
    EXPECT_NE(made->TableReference(), nullptr);
  }
  ExpectEngineError([] { CreateConstraintDef(static_cast<TTarnexConstraintType>(6)); }, 30035,
                    "Not implemented yet");
}

TEST(TarnexConstraintDefs, ForeignKeyFlagsFollowAdditions) {
  TTarnexConstraintDefs defs;
  defs.Add(std::make_unique<TTarnexConstraintDefNotNull>());
  EXPECT_FALSE(defs.HasForeignKeys() || defs.IsReferenced());
  defs.Insert(0, std::make_unique<TTarnexConstraintDefForeignKey>());
  EXPECT_TRUE(defs.HasForeignKeys());
  EXPECT_FALSE(defs.IsReferenced());
  defs.Add(std::make_unique<TTarnexConstraintDefForeignKeyAction>());
  EXPECT_TRUE(defs.IsReferenced());
  defs.Delete(0);
  EXPECT_TRUE(defs.HasForeignKeys()) << "deleting leaves the flags as they are";
  defs.SetHasForeignKeys(false);
  defs.SetIsReferenced(false);
  EXPECT_FALSE(defs.HasForeignKeys() || defs.IsReferenced());

  TTarnexConstraintDefs copy;
  TTarnexConstraintDefs source;
  source.Add(std::make_unique<TTarnexConstraintDefForeignKeyAction>());
  copy.Assign(source);
  EXPECT_TRUE(copy.IsReferenced());
  EXPECT_FALSE(copy.HasForeignKeys());
}

// A constraint list with one definition of each class, every member filled.
void FillConstraints(TTarnexConstraintDefs& defs) {
  auto pk = std::make_unique<TTarnexConstraintDefPrimary>();
  pk->Name = "PK";
  pk->ObjectID = 10;
  pk->Table = {"pests", 1};
  pk->Target = {"pkidx", 2};
  pk->Columns = {{"trapno", 3}, {"inspected", 4}};
  defs.Add(std::move(pk));
  auto fk = std::make_unique<TTarnexConstraintDefForeignKey>();
  fk->Name = "FK";
  fk->Table = {"pestlist", -1};
  fk->Key = {"FK_Action", 12};
  fk->DeleteAction = TTarnexReferentialAction::Cascade;
  fk->UpdateAction = TTarnexReferentialAction::SetNull;
  fk->MatchType = TTarnexMatchType::Partial;
  fk->Columns = {{"common", 5}};
  defs.Add(std::move(fk));
  auto unique = std::make_unique<TTarnexConstraintDefUnique>();
  unique->Name = "U";
  unique->Target = {"uidx", 6};
  defs.Add(std::move(unique));
  auto notNull = std::make_unique<TTarnexConstraintDefNotNull>();
  notNull->Target = {"count", 7};  // unnamed
  defs.Add(std::move(notNull));
  auto check = std::make_unique<TTarnexConstraintDefCheck>();
  check->Target = {"count", 7};    // unnamed as well
  check->MinValue->SetAsInteger(0);
  defs.Add(std::move(check));
  auto action = std::make_unique<TTarnexConstraintDefForeignKeyAction>();
  action->Name = "FK_Action";
  action->UpdateAction = TTarnexReferentialAction::NoAction;
  defs.Add(std::move(action));
}

void ExpectSameConstraints(const TTarnexConstraintDefs& copy, const TTarnexConstraintDefs& source) {
  ASSERT_EQ(copy.Count(), source.Count());
  for (int32_t i = 0; i < source.Count(); ++i) {
    EXPECT_EQ(typeid(*copy.Items(i)), typeid(*source.Items(i))) << i;
    EXPECT_EQ(copy.Items(i)->Name, source.Items(i)->Name);
    EXPECT_EQ(copy.Items(i)->ObjectID, source.Items(i)->ObjectID);
  }
  auto* pk = dynamic_cast<const TTarnexConstraintDefPrimary*>(copy.Items(0));
  ASSERT_NE(pk, nullptr);
  EXPECT_EQ(pk->Table.Name, "pests");
  EXPECT_EQ(pk->Target.ObjectID, 2);
  ASSERT_EQ(pk->Columns.size(), 2u);
  EXPECT_EQ(pk->Columns[1].Name, "inspected");
  EXPECT_EQ(pk->Columns[1].ObjectID, 4);
  auto* fk = dynamic_cast<const TTarnexConstraintDefForeignKey*>(copy.Items(1));
  ASSERT_NE(fk, nullptr);
  EXPECT_EQ(fk->Key.Name, "FK_Action");
  EXPECT_EQ(fk->Key.ObjectID, 12);
  EXPECT_EQ(fk->DeleteAction, TTarnexReferentialAction::Cascade);
  EXPECT_EQ(fk->UpdateAction, TTarnexReferentialAction::SetNull);
  EXPECT_EQ(fk->MatchType, TTarnexMatchType::Partial);
  ASSERT_EQ(fk->Columns.size(), 1u);
  EXPECT_EQ(fk->Columns[0].Name, "common");
  auto* check = dynamic_cast<const TTarnexConstraintDefCheck*>(copy.Items(4));
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->Target.Name, "count");
  EXPECT_EQ(check->MinValue->AsInteger(), 0);
  EXPECT_TRUE(check->MaxValue->IsNull());
  EXPECT_TRUE(copy.HasForeignKeys());
  EXPECT_TRUE(copy.IsReferenced());
}

TEST(TarnexConstraintDefs, AssignCreatesTheClassOfEachType) {
  TTarnexConstraintDefs source;
  FillConstraints(source);
  TTarnexConstraintDefs copy;
  copy.Assign(source);
  ExpectSameConstraints(copy, source);
  // Bounds are copies.
  static_cast<TTarnexConstraintDefCheck*>(source.Items(4))->MinValue->SetAsInteger(5);
  EXPECT_EQ(static_cast<TTarnexConstraintDefCheck*>(copy.Items(4))->MinValue->AsInteger(), 0);
}

TEST(TarnexConstraintDefs, AssignRefusesUnknownTypesAndDuplicateNames) {
  TTarnexConstraintDefs source;
  auto odd = std::make_unique<TTarnexConstraintDef>(static_cast<TTarnexConstraintType>(9));
  odd->Name = "odd";
  source.Add(std::move(odd));
  TTarnexConstraintDefs copy;
  ExpectEngineError([&] { copy.Assign(source); }, 30035, "Not implemented yet");

  TTarnexConstraintDefs twins;
  auto a = std::make_unique<TTarnexConstraintDefUnique>();
  a->Name = "u1";
  auto b = std::make_unique<TTarnexConstraintDefNotNull>();
  b->Name = "U1";
  twins.Add(std::move(a));
  twins.Add(std::move(b));
  ExpectEngineError([&] { copy.Assign(twins); }, 10424, "Duplicate field name U1");
}

// ---------------------------------------------------------------------------------------------
// Sequences

TEST(TarnexSequenceDef, DefaultsCountFromOne) {
  TTarnexSequenceDef s;
  EXPECT_EQ(s.DataType, DT::Cardinal);
  EXPECT_EQ(s.MaxValue, 4294967295);
  EXPECT_TRUE(s.Cycled);
  for (int64_t expected = 1; expected <= 3; ++expected) EXPECT_EQ(s.NextValue(), expected);
  EXPECT_EQ(s.CurrentValue, 3);
}

TEST(TarnexSequenceDef, LimitsWithAndWithoutCycling) {
  struct Case { int64_t current; int64_t increment; int64_t min; int64_t max; bool cycled;
                std::vector<int64_t> values; bool overflowsNext; };
  const Case cases[] = {
      {0, 1, 0, 3, false, {1, 2, 3}, true},
      {0, 1, 0, 3, true, {1, 2, 3, 0, 1}, false},
      {0, 2, 10, 5, true, {2, 4, 10}, false},       // restart value itself is not checked
      {100, 10, 50, 120, true, {110, 120, 50, 60}, false},
      {0, -1, 0, 3, false, {-1, -2}, false},         // only passing the maximum counts
      {INT64_MAX - 1, 1, 0, INT64_MAX, false, {INT64_MAX}, true},  // the 64-bit range ends too
      {INT64_MAX - 1, 1, 7, INT64_MAX, true, {INT64_MAX, 7}, false},
  };
  for (const Case& c : cases) {
    TTarnexSequenceDef s;
    s.Name = "$S_Autoinc$pests$trapno";
    s.CurrentValue = c.current;
    s.Increment = c.increment;
    s.MinValue = c.min;
    s.MaxValue = c.max;
    s.Cycled = c.cycled;
    for (int64_t v : c.values) EXPECT_EQ(s.NextValue(), v) << c.current << "+" << c.increment;
    if (c.overflowsNext) {
      const int64_t before = s.CurrentValue;
      ExpectEngineError([&] { s.NextValue(); }, 30009, "Sequence '$S_Autoinc$pests$trapno' overflow");
      EXPECT_EQ(s.CurrentValue, before);
    }
  }
}

TEST(TarnexSequenceDef, FieldDefaultsGiveOneTwoThree) {
  TTarnexFieldDef f;
  TTarnexSequenceDef s;
  s.CurrentValue = f.AutoincInitialValue;
  s.Increment = f.AutoincIncrement;
  s.MinValue = f.AutoincMinValue;
  s.MaxValue = f.AutoincMaxValue;
  s.Cycled = f.AutoincCycled;
  EXPECT_EQ(s.NextValue(), 1);
  EXPECT_EQ(s.NextValue(), 2);
  EXPECT_EQ(s.NextValue(), 3);
}

// ---------------------------------------------------------------------------------------------
// Stream forms

TEST(TarnexDefsStream, FieldListRoundTrip) {
  TTarnexFieldDefs source;
  FillField(*static_cast<TTarnexFieldDef*>(source.AddNew()));
  AddField(source, "notes", FT::WideMemo)->BlobCompressionAlgorithm = 2;
  AddField(source, std::string(300, 'z'), FT::Bytes, 12);
  TTarnexFieldDefs loaded;
  AddField(loaded, "stale", FT::Integer);
  RoundTrip(source, loaded);
  ASSERT_EQ(loaded.Count(), 3);
  ExpectSameField(*loaded.Items(0), *source.Items(0));
  ExpectSameField(*loaded.Items(1), *source.Items(1));
  EXPECT_EQ(loaded.Items(2)->Name, std::string(255, 'z')) << "names are short strings";
  EXPECT_EQ(loaded.Items(2)->MemoryDataSize, 12);
}

TEST(TarnexDefsStream, IndexListRoundTrip) {
  TTarnexIndexDefs source;
  AddIndex(source, "pair", {{"common", true, false}, {"latin", false, true}}, 8)->RootPageNo = 42;
  TTarnexIndexDef* pk = AddIndex(source, "pk", {{"trapno", false, false}}, 9);
  pk->Primary = pk->Unique = pk->Temporary = true;
  TTarnexIndexDefs loaded;
  RoundTrip(source, loaded);
  ASSERT_EQ(loaded.Count(), 2);
  const TTarnexIndexDef* pair = loaded.Items(0);
  EXPECT_EQ(pair->Name, "pair");
  EXPECT_EQ(pair->ObjectID, 8);
  EXPECT_EQ(pair->RootPageNo, 42);
  ASSERT_EQ(pair->ColumnCount(), 2);
  EXPECT_EQ(pair->Columns[1].FieldName, "latin");
  EXPECT_TRUE(pair->Columns[0].Descending);
  EXPECT_TRUE(pair->Columns[1].CaseInsensitive);
  EXPECT_FALSE(pair->Primary || pair->Unique || pair->Temporary);
  EXPECT_TRUE(loaded.Items(1)->Primary && loaded.Items(1)->Unique && loaded.Items(1)->Temporary);
}

TEST(TarnexDefsStream, ConstraintListRoundTrip) {
  TTarnexConstraintDefs source;
  FillConstraints(source);
  TTarnexConstraintDefs loaded;
  RoundTrip(source, loaded);
  ExpectSameConstraints(loaded, source);
}

TEST(TarnexDefsStream, SequenceListRoundTrip) {
  TTarnexSequenceDefs source;
  auto* s = static_cast<TTarnexSequenceDef*>(source.AddNew());
  s->Name = "$S_Autoinc$t$f";
  s->ObjectID = 5;
  s->DataType = DT::LargeInt;
  s->MinValue = -7;
  s->MaxValue = 1LL << 40;
  s->CurrentValue = 99;
  s->Increment = 3;
  s->Cycled = false;
  TTarnexSequenceDefs loaded;
  RoundTrip(source, loaded);
  ASSERT_EQ(loaded.Count(), 1);
  const TTarnexSequenceDef* l = loaded.Items(0);
  EXPECT_EQ(l->Name, s->Name);
  EXPECT_EQ(l->ObjectID, 5);
  EXPECT_EQ(l->DataType, DT::LargeInt);
  EXPECT_EQ(l->MinValue, -7);
  EXPECT_EQ(l->MaxValue, 1LL << 40);
  EXPECT_EQ(l->CurrentValue, 99);
  EXPECT_EQ(l->Increment, 3);
  EXPECT_FALSE(l->Cycled);
}

TEST(TarnexDefsStream, ShortStreamIsAnEngineError) {
  TTarnexIndexDefs source;
  AddIndex(source, "pair", {{"common", true, false}}, 8);
  std::vector<uint8_t> image = Image(source);
  for (size_t cut : {size_t(2), image.size() / 2, image.size() - 1}) {
    TTarnexMemoryStream stream;
    stream.Write(image.data(), static_cast<int32_t>(cut));
    stream.SetPosition(0);
    TTarnexIndexDefs loaded;
    try {
      loaded.LoadFromStream(stream);
      ADD_FAILURE() << "loading " << cut << " of " << image.size() << " bytes succeeded";
    } catch (const ETarnexException& e) {
      EXPECT_EQ(e.NativeErrorCode(), 10500);
    }
  }
}

}  // namespace
