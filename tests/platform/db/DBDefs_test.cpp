#include "platform/db/DBDefs.h"

#include <gtest/gtest.h>

#include "platform/db/TestDataSet.h"
#include "platform/rtl/FormatSettings.h"

namespace {

using dbtest::MessageOf;
using dbtest::TTestDataSet;

// Counts the definition changes the lists report.
class TWatchedDataSet : public TTestDataSet {
public:
  using TTestDataSet::TTestDataSet;
  void DefChanged(TDefCollection& sender) override { Changes.push_back(&sender); }
  void UpdateIndexDefs() override { ++IndexUpdates; }
  std::vector<TDefCollection*> Changes;
  int IndexUpdates = 0;
};

TEST(FieldDefsTest, DefinitionsAreNumberedFoundAndCreatedAsFields) {
  TWatchedDataSet dataSet("pests");
  TFieldDefs& defs = dataSet.FieldDefs();
  defs.Add("trapnum", TFieldType::ftString, 10);
  defs.Add("inspected", TFieldType::ftDate);
  defs.Add("code", TFieldType::ftFixedChar, 3, true);
  EXPECT_EQ(dataSet.Changes.size(), 3u);
  EXPECT_EQ(defs.Count(), 3);
  EXPECT_EQ(defs.IndexOf("INSPECTED"), 1);
  EXPECT_EQ(defs.IndexOf("nope"), -1);
  EXPECT_EQ(defs.Find("Code").FieldNo(), 3);
  EXPECT_TRUE(defs.Find("code").Required());
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { defs.Find("nope"); }), "pests: Field 'nope' not found");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { defs.Add("TRAPNUM", TFieldType::ftString, 5); }),
            "pests: Duplicate field name 'TRAPNUM'");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { defs.Add("", TFieldType::ftString, 5); }), "pests: Field name missing");
  defs.Delete(0);
  EXPECT_EQ(defs[0].Name(), "inspected");
  EXPECT_EQ(defs[0].FieldNo(), 1);
  EXPECT_EQ(defs[1].FieldNo(), 2);

  TField& code = defs.Find("code").CreateField(dataSet);
  EXPECT_EQ(code.DataType(), TFieldType::ftFixedChar);
  EXPECT_EQ(code.Size(), 3);
  EXPECT_TRUE(code.Required());
  EXPECT_EQ(code.DataSet(), &dataSet);
  TField& date = defs.Find("inspected").CreateField(dataSet);
  EXPECT_NE(dynamic_cast<TDateField*>(&date), nullptr);
  EXPECT_EQ(date.Size(), 0);
  defs.Add("amount", TFieldType::ftBCD);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { defs.Find("amount").CreateField(dataSet); }),
            "pests: Field 'amount' is of an unknown type");

  TFieldDefs copy(nullptr);
  copy.Assign(defs);
  ASSERT_EQ(copy.Count(), defs.Count());
  EXPECT_EQ(copy[1].DataType(), TFieldType::ftFixedChar);
  EXPECT_EQ(copy[1].Size(), 3);
}

TEST(IndexDefsTest, IndexesAreFoundByNameAndByFields) {
  using O = TIndexOption;
  TWatchedDataSet dataSet("pests");
  TIndexDefs defs(&dataSet);
  defs.Add("common", "common", {O::ixCaseInsensitive});
  defs.Add("byDate", "inspected;common", {});
  defs.Add("desc", "count", {O::ixDescending});
  defs.Add("expr", "upper(latin)", {O::ixExpression});
  defs.Add("count", "count", {O::ixUnique, O::ixPrimary});
  EXPECT_EQ(dataSet.Changes.size(), 5u);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { defs.Add("COMMON", "latin", {}); }), "pests: Duplicate index name 'COMMON'");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { defs.Find("latin"); }), "pests: Index 'latin' not found");
  EXPECT_EQ(defs.Find("BYDATE").Fields(), "inspected;common");

  struct Case {
    const char* Fields;
    bool CaseInsensitive;
    const char* Index;  // nullptr = none
  };
  const std::vector<Case> cases = {
      {"common", false, "common"},
      {"COMMON", true, "common"},
      {"inspected", false, "byDate"},   // the leading key fields of a longer index
      {"inspected;common", false, "byDate"},
      {"inspected;common", true, nullptr},
      {"insp", false, nullptr},         // not a whole field
      {"count", false, "count"},        // the descending index is passed over
      {"upper(latin)", false, nullptr}, // expressions are not key fields
  };
  for (const Case& c : cases) {
    const TIndexDef* found = defs.GetIndexForFields(c.Fields, c.CaseInsensitive);
    EXPECT_EQ(found ? found->Name() : std::string("none"), c.Index ? c.Index : "none") << c.Fields;
  }
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { defs.FindIndexForFields("latin"); }), "pests: No index for fields 'latin'");
  defs.Update();
  EXPECT_EQ(dataSet.IndexUpdates, 1);
}

TEST(IndexDefsTest, FieldsExpressionAndFieldListsAreKept) {
  using O = TIndexOption;
  TIndexDef def("ix", "a;b", {O::ixUnique});
  EXPECT_EQ(def.Fields(), "a;b");
  EXPECT_EQ(def.Expression(), "");
  def.SetExpression("a+b");
  EXPECT_TRUE(def.Options().Contains(O::ixExpression));
  EXPECT_EQ(def.Fields(), "");
  EXPECT_EQ(def.Expression(), "a+b");
  def.SetFields("c");
  EXPECT_FALSE(def.Options().Contains(O::ixExpression));
  EXPECT_TRUE(def.Options().Contains(O::ixUnique));
  def.SetDescFields("c");
  def.SetCaseInsFields("c");
  TIndexDefs defs(nullptr);
  defs.Add("other", "x", {O::ixNonMaintained});
  defs[0].Assign(def);
  EXPECT_EQ(defs[0].Name(), "ix");
  EXPECT_EQ(defs[0].DescFields(), "c");
  EXPECT_EQ(defs[0].CaseInsFields(), "c");
  EXPECT_EQ(defs[0].Options(), (TIndexOptions{O::ixUnique}));
  TIndexDefs copy(nullptr);
  copy.Assign(defs);
  EXPECT_EQ(copy.Find("IX").Fields(), "c");
  copy.Delete(0);
  EXPECT_EQ(copy.Count(), 0);
}

TEST(ParamsTest, TypedSettersSetTheTypeAndBind) {
  struct Case {
    std::function<void(TParam&)> Set;
    TFieldType Type;
    std::string Text;
  };
  const std::vector<Case> cases = {
      {[](TParam& p) { p.SetAsString("ps"); }, TFieldType::ftString, "ps"},
      {[](TParam& p) { p.SetAsInteger(-4); }, TFieldType::ftInteger, "-4"},
      {[](TParam& p) { p.SetAsLargeInt(5000000000LL); }, TFieldType::ftLargeint, "5000000000"},
      {[](TParam& p) { p.SetAsFloat(2.5); }, TFieldType::ftFloat, "2.5"},
      {[](TParam& p) { p.SetAsCurrency(1.25); }, TFieldType::ftCurrency, "1.25"},
      {[](TParam& p) { p.SetAsBoolean(true); }, TFieldType::ftBoolean, "True"},
      {[](TParam& p) { p.SetAsDate(EncodeDate(2002, 4, 4)); }, TFieldType::ftDate, "4/4/2002"},
      {[](TParam& p) { p.SetAsTime(0.5); }, TFieldType::ftTime, "12/30/1899 12:00:00 PM"},
      {[](TParam& p) { p.SetAsDateTime(EncodeDate(2002, 4, 4) + 0.5); }, TFieldType::ftDateTime, "4/4/2002 12:00:00 PM"},
      {[](TParam& p) { p.SetAsMemo("text"); }, TFieldType::ftMemo, "text"},
      {[](TParam& p) { p.SetAsBlob(std::string("\0\1", 2)); }, TFieldType::ftBlob, std::string("\0\1", 2)},
      {[](TParam& p) { p.SetValue(Variant::FromInt64(7)); }, TFieldType::ftLargeint, "7"},
      {[](TParam& p) { p.SetValue(Variant::FromOleStr(u"w")); }, TFieldType::ftWideString, "w"},
      {[](TParam& p) { p.SetValue(Variant::FromDate(0)); }, TFieldType::ftDateTime, "12/30/1899"},
  };
  FormatSettings() = TFormatSettings::EnUS();
  for (const Case& c : cases) {
    TParam param("p", TFieldType::ftUnknown, TParamType::ptInput);
    EXPECT_TRUE(param.IsNull());
    EXPECT_FALSE(param.Bound());
    c.Set(param);
    EXPECT_EQ(param.DataType(), c.Type) << c.Text;
    EXPECT_EQ(param.AsString(), c.Text);
    EXPECT_TRUE(param.Bound());
    EXPECT_FALSE(param.IsNull());
  }
  TParam typed("p", TFieldType::ftInteger, TParamType::ptInput);
  typed.SetValue(Variant::FromString("12"));
  EXPECT_EQ(typed.DataType(), TFieldType::ftInteger);  // a given type stays
  EXPECT_EQ(typed.AsInteger(), 12);
  typed.Clear();
  EXPECT_TRUE(typed.IsNull());
  EXPECT_EQ(typed.DataType(), TFieldType::ftInteger);
}

TEST(ParamsTest, ListsFindCopyAndTakeFieldValues) {
  TTestDataSet query("lookup");
  TParams params(&query);
  params.CreateParam(TFieldType::ftString, "Common", TParamType::ptInput).SetAsString("Moth");
  params.CreateParam(TFieldType::ftInteger, "count", TParamType::ptInput);
  EXPECT_EQ(params.FindParam("COMMON"), &params[0]);
  EXPECT_EQ(params.FindParam("latin"), nullptr);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { params.ParamByName("latin"); }), "lookup: Parameter 'latin' not found");

  TParams fresh;
  fresh.CreateParam(TFieldType::ftUnknown, "count", TParamType::ptInput);
  fresh.CreateParam(TFieldType::ftUnknown, "common", TParamType::ptInput);
  fresh.CreateParam(TFieldType::ftUnknown, "extra", TParamType::ptInput);
  fresh.AssignValues(params);
  EXPECT_EQ(fresh.ParamByName("common").AsString(), "Moth");
  EXPECT_EQ(fresh.ParamByName("common").DataType(), TFieldType::ftString);
  EXPECT_FALSE(fresh.ParamByName("count").Bound());
  EXPECT_FALSE(fresh.ParamByName("extra").Bound());

  TParams copy;
  copy.Assign(params);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy[0].Name(), "Common");
  EXPECT_EQ(copy[0].AsString(), "Moth");
  copy.Delete(0);
  EXPECT_EQ(copy[0].Name(), "count");

  query.Columns = {{"common", TFieldType::ftString, 30}, {"count", TFieldType::ftInteger}};
  query.AddRow({dbtest::Str("Psocid"), dbtest::Null()});
  query.Open();
  TParam& fromField = params.ParamByName("count");
  fromField.AssignField(query.FieldByName("count"));
  EXPECT_TRUE(fromField.Bound());
  EXPECT_TRUE(fromField.IsNull());
  EXPECT_EQ(fromField.DataType(), TFieldType::ftInteger);
  params.ParamByName("common").AssignField(query.FieldByName("common"));
  EXPECT_EQ(params.ParamByName("common").AsString(), "Psocid");
}

}  // namespace
