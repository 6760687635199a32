#include "engine/sql/TarnexExpressions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/TarnexBaseDefs.h"
#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/FormatSettings.h"
#include "TarnexTestSupport.h"

namespace {

using FT = TTarnexFieldType;
using DT = TTarnexDataType;
using OP = TTarnexExprOperator;

// Records of a small table, the current one chosen by number: what a filter reads.
class TTestRecords : public TTarnexExprFieldSource {
public:
  void AddField(const std::string& name, FT type, int32_t size = 0) {
    auto* field = static_cast<TTarnexFieldDef*>(Fields.AddNew());
    field->Name = name;
    field->SetFieldType(type, size);
    Fields.RecalcLayout();
    Visible.Assign(Fields);
    for (int32_t i = 0; i < Visible.Count(); ++i) Visible.Items(i)->FieldNo = i;
  }
  // A new record with every field null; returns its number.
  size_t AddRow() {
    Rows.emplace_back(static_cast<size_t>(Fields.RecordSize()), 0);
    for (int32_t i = 0; i < Fields.Count(); ++i) SetNullFlag(Rows.back().data(), i, true);
    return Rows.size() - 1;
  }
  // Field `name` of record `row` := text converted to the field's type ("" leaves it null).
  void Set(size_t row, const std::string& name, const std::string& text) {
    int32_t no = Fields.IndexOfName(name);
    const TTarnexFieldDef* field = Fields.Items(no);
    if (text.empty()) return;
    if (IsBLOBDataType(field->DataType)) {
      Blobs[{row, no}] = text;
      SetNullFlag(Rows[row].data(), no, false);
      return;
    }
    TTarnexVariant v(field->DataType);
    v.SetAsString(text);
    if (IsWideTextDataType(field->DataType)) {
      const auto* p = static_cast<const char16_t*>(v.Data());
      SetFieldData(no, Fields, &p, Rows[row].data());
    } else {
      SetFieldData(no, Fields, v.Data(), Rows[row].data());
    }
  }

  const TTarnexFieldDefs& FieldDefs() const override { return Fields; }
  const TTarnexFieldDefs& VisibleFieldDefs() const override { return Visible; }
  const uint8_t* CurrentRecordBuffer() const override { return Rows.empty() ? nullptr : Rows[Current].data(); }
  void GetBlobValue(TTarnexVariant& value, int32_t fieldNo, const uint8_t* recordBuffer) override {
    value.Clear(Fields.Items(fieldNo)->DataType);
    for (size_t r = 0; r < Rows.size(); ++r)
      if (Rows[r].data() == recordBuffer && Blobs.count({r, fieldNo})) value.SetAsString(Blobs[{r, fieldNo}]);
  }

  TTarnexFieldDefs Fields, Visible;
  std::vector<std::vector<uint8_t>> Rows;
  std::map<std::pair<size_t, int32_t>, std::string> Blobs;
  size_t Current = 0;
};

// The engine error message `f` raises, or "ok" when it raises none.
template <class F> std::string MessageOrOk(F&& f) {
  try {
    f();
  } catch (const ETarnexException& e) {
    return e.what();
  }
  return "ok";
}

// An inspection-like table:
//   row  num  count  name   inspected   wname  note
//   0    5    0      abc    01/15/2003  abc    a pest here
//   1    7    1      ABC    02/20/2003
//   2    2    2      a      03/31/2003
//   3    10   3      b      04/01/2003
//   4    -    4      -      -
class Expressions : public ::testing::Test {
protected:
  void SetUp() override {
    FormatSettings() = TFormatSettings::EnUS();
    T.AddField("num", FT::Integer);
    T.AddField("count", FT::Integer);
    T.AddField("name", FT::Varchar, 10);
    T.AddField("inspected", FT::Date);
    T.AddField("wname", FT::WideVarchar, 8);
    T.AddField("note", FT::Memo);
    const char* rows[][5] = {
        {"5", "abc", "01/15/2003", "abc", "a pest here"},
        {"7", "ABC", "02/20/2003", "", ""},
        {"2", "a", "03/31/2003", "", ""},
        {"10", "b", "04/01/2003", "", ""},
        {"", "", "", "", ""},
    };
    for (const auto& r : rows) {
      size_t row = T.AddRow();
      T.Set(row, "num", r[0]);
      T.Set(row, "count", std::to_string(row));
      T.Set(row, "name", r[1]);
      T.Set(row, "inspected", r[2]);
      T.Set(row, "wname", r[3]);
      T.Set(row, "note", r[4]);
    }
  }

  std::vector<size_t> Matching(const std::string& filter, bool caseInsensitive = false, bool partial = false) {
    TTarnexExpression e;
    e.ParseFilter(&T, filter, caseInsensitive, partial);
    std::vector<size_t> out;
    for (T.Current = 0; T.Current < T.Rows.size(); ++T.Current)
      if (e.IsTrue()) out.push_back(T.Current);
    T.Current = 0;
    return out;
  }

  // -1 null, 0 false, 1 true: the filter's value on one record.
  int Truth(const std::string& filter, size_t row) {
    TTarnexExpression e;
    e.ParseFilter(&T, filter, false, false);
    T.Current = row;
    TTarnexVariant& v = e.GetValue(true);
    T.Current = 0;
    return v.IsNull() ? -1 : v.AsBoolean() ? 1 : 0;
  }

  TTestRecords T;
};

using Rows = std::vector<size_t>;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Grammar

TEST_F(Expressions, GrammarQuirksAndParseErrors) {
  struct Case { std::string filter; std::string message; };
  const Case cases[] = {
      {"(num + 1) > 2", "Boolean expression expected, but 'num' found at line 1, column 2 - Native error: 30066"},
      {"2 < (num + 1)", "ok"},
      {"count > 1", "Token '(' expected, but '>' found at line 1, column 7 - Native error: 30074"},
      {"[count] > 1", "ok"},
      {"'a' + 'b' = 'ab'", "ok"},
      {"1 + 2 || 'x' = '12x'", "ok"},
      {"num", "Boolean expression expected, but 'num' found at line 1, column 1 - Native error: 30066"},
      {"num = 1 and", "Boolean expression expected, but '' found at line 1, column 12 - Native error: 30069"},
      {"num = 1 or", "Boolean expression expected, but '' found at line 1, column 11 - Native error: 30070"},
      {"not", "Boolean expression expected, but '' found at line 1, column 4 - Native error: 30068"},
      {"num = 1 and\n   = 2", "Boolean expression expected, but '=' found at line 2, column 4 - Native error: 30069"},
      {"(num = 1) is maybe",
       "Token 'TRUE, FALSE or UNKNOWN' expected, but 'maybe' found at line 1, column 14 - Native error: 30067"},
      {"num = (1 2)", "Token ')' expected, but '2' found at line 1, column 10 - Native error: 30071"},
      {"(num = 1 name = 'a')", "Token ')' expected, but 'name' found at line 1, column 10 - Native error: 30064"},
      {"num = 1 name", "Unexpected token 'name' found at line 1, column 9 - Native error: 30063"},
      {"", "Blank SQL command - Native error: 30119"},
      {"-- nothing", "Blank SQL command - Native error: 30119"},
      {"nosuch = 1", "Field 'nosuch' not found - Native error: 30115"},
      {"a!=b", "Field 'a!' not found - Native error: 30115"},
      {"num in (1, )", "Boolean expression expected, but 'num' found at line 1, column 1 - Native error: 30066"},
      {"num = :p", "Value for parameter 'p' not found - Native error: 30358"},
      {"upper name = 'x'", "Token '(' expected, but 'name' found at line 1, column 7 - Native error: 30090"},
      {"upper() = 'x'",
       "String argument expected for function 'UPPER', but ')' found at line 1, column 7 - Native error: 30092"},
      {"substring(name 1) = 'x'", "Token ',' or 'from' expected, but '1' found at line 1, column 16 - Native error: 30100"},
      {"substring(name, 1 2) = 'x'",
       "Token ')' or ',' or 'FOR' expected, but '2' found at line 1, column 19 - Native error: 30103"},
      {"pos('a' name) = 1", "Token ',' or 'IN' expected, but 'name' found at line 1, column 9 - Native error: 30080"},
      {"length() = 1", "Argument expected for function 'LENGTH' at line 1, column 8 - Native error: 30085"},
      {"sum() > 1", "Argument expected for function 'SUM' at line 1, column 5 - Native error: 30102"},
      {"count(* > 1", "Missing symbol ')' at line 1, column 6 - Native error: 30059"},
      {"count(*, 1) > 1", "Token ')' expected, but ',' found at line 1, column 8 - Native error: 30073"},
      {"cast(num as varchar(20)) = 'x'", "Token ')' expected, but '(' found at line 1, column 20 - Native error: 30076"},
      {"cast(num as blob) = 'x'", "Cannot convert an expression to specified type: 'BLOB' - Native error: 30077"},
      {"todate(name, 5) = 1", "Const DateFormat string expected, but '5' found at line 1, column 14 - Native error: 30109"},
      {"toblob(name) = 1",
       "Const BLOB value as quoted string expected, but 'name' found at line 1, column 8 - Native error: 11346"},
      {"toblob('AA', octal) = 1", "BLOB value format expected, but 'octal' found at line 1, column 14 - Native error: 11347"},
      {"lastautoinc(t c) = 1", "Token ',' expected, but 'c' found at line 1, column 15 - Native error: 30334"},
  };
  for (const Case& c : cases) {
    TTarnexExpression e;
    EXPECT_EQ(MessageOrOk([&] { e.ParseFilter(&T, c.filter, false, false); }), c.message) << c.filter;
  }
  // A number beyond the 64-bit range is the value layer's conversion error.
  EXPECT_EQ(CodeOf([&] { Matching("num = 99999999999999999999"); }), 30051);
  // The parsed forms of the quirks give the right records.
  EXPECT_EQ(Matching("2 < (num + 1)"), (Rows{0, 1, 2, 3}));
  EXPECT_EQ(Matching("[count] > 1"), (Rows{2, 3, 4}));
  EXPECT_EQ(Matching("'a' + 'b' = 'ab'").size(), T.Rows.size());
  EXPECT_EQ(Matching("1 + 2 || 'x' = '12x'").size(), T.Rows.size());
  EXPECT_EQ(Matching("num - 2 = 3"), (Rows{0}));
  EXPECT_EQ(Matching("2 * num + 1 = 11"), (Rows{0}));
  EXPECT_EQ(Matching("num / 2 = 3"), (Rows{1}));  // integer division truncates
}

TEST_F(Expressions, TreeShapes) {
  auto root = [&](const std::string& filter, TTarnexExpression& e) {
    e.ParseFilter(&T, filter, false, false);
    return e.Root();
  };
  {
    // 1 + 2 || 'x' is one concatenation of three operands, not an addition then a concatenation.
    TTarnexExpression e;
    TTarnexExprNode* r = root("1 + 2 || 'x' = '12x'", e);
    ASSERT_EQ(r->Operator, OP::Equal);
    EXPECT_EQ(r->Child(0)->Operator, OP::Concat);
    EXPECT_EQ(r->Child(0)->ChildCount(), 3);
  }
  {
    // a - b - c is one n-ary + whose later terms are negations.
    TTarnexExpression e;
    TTarnexExprNode* sum = root("num - 1 - [count] = 0", e)->Child(0);
    ASSERT_EQ(sum->Operator, OP::Add);
    ASSERT_EQ(sum->ChildCount(), 3);
    EXPECT_EQ(sum->Child(1)->Operator, OP::Negate);
    EXPECT_EQ(sum->Child(2)->Operator, OP::Negate);
  }
  {
    // Nested ANDs under the root AND are flattened into one list; OR nests to the left.
    TTarnexExpression e;
    TTarnexExprNode* r = root("num = 1 and ([count] = 2 and (name = 'a' and num = 3)) and (num = 4 or num = 5 or num = 6)", e);
    ASSERT_EQ(r->Operator, OP::And);
    ASSERT_EQ(r->ChildCount(), 5);
    int equalities = 0;
    TTarnexExprNode* orNode = nullptr;
    for (int i = 0; i < 5; ++i) {
      equalities += r->Child(i)->Operator == OP::Equal;
      if (r->Child(i)->Operator == OP::Or) orNode = r->Child(i);
    }
    EXPECT_EQ(equalities, 4);
    ASSERT_NE(orNode, nullptr);
    EXPECT_EQ(orNode->Child(0)->Operator, OP::Or);
    EXPECT_EQ(orNode->Child(1)->Operator, OP::Equal);
  }
  {
    // IS TRUE keeps the primary, IS FALSE negates it, IS UNKNOWN tests for null.
    struct Case { const char* filter; OP op; };
    const Case cases[] = {{"(num = 1) is true", OP::Equal}, {"(num = 1) is not false", OP::Equal},
                          {"(num = 1) is false", OP::Not}, {"(num = 1) is not true", OP::Not},
                          {"(num = 1) is unknown", OP::IsNull}, {"(num = 1) is not unknown", OP::IsNotNull},
                          {"num not like 'a'", OP::NotLike}, {"num not between 1 and 2", OP::NotBetween},
                          {"num not in (1)", OP::NotIn}, {"not num = 1", OP::Not}};
    for (const Case& c : cases) {
      TTarnexExpression e;
      EXPECT_EQ(root(c.filter, e)->Operator, c.op) << c.filter;
    }
  }
}

TEST_F(Expressions, ParseConditionAndValueFromStatementTokens) {
  TTarnexSQLParams params;
  TTarnexSQLParam* p = params.AddParam();
  p->Name = "p";
  p->SetAsInteger(3);
  TTarnexLexer lexer("where x in (select [a]]b], 'it''s' from t where t . y = :p and (z > 1)) and y = :P order by x",
                     &params);
  ASSERT_TRUE(lexer.GetNextCommand());
  lexer.SetCurrentTokenNo(1);
  TTarnexExpression e;
  e.ParseCondition(lexer);
  TToken next;
  ASSERT_TRUE(lexer.GetCurrentToken(next));
  EXPECT_EQ(next.Text, "order");  // the lexer is left on the token after the condition
  ASSERT_EQ(e.Root()->Operator, OP::And);
  auto* in = dynamic_cast<TTarnexExprNodeSubQueryIN*>(e.Root()->Child(0));
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->SQLText, "select [a]]b] , 'it''s' from t where t.y = :p and ( z > 1 )");
  auto* parameter = dynamic_cast<TTarnexExprNodeConst*>(e.Root()->Child(1)->Child(1));
  ASSERT_NE(parameter, nullptr);
  EXPECT_EQ(parameter->Value.AsInteger(), 3);
  EXPECT_EQ(CodeOf([&] { e.Root()->Child(1)->GetValue(); }), 30196);  // a column bound to nothing

  TTarnexLexer end("where", nullptr);
  ASSERT_TRUE(end.GetNextCommand());
  end.SetCurrentTokenNo(1);
  EXPECT_EQ(MessageOrOk([&] { e.ParseCondition(end); }),
            "Unexpected end of SQL command found at line 1, column 6 - Native error: 30118");
  EXPECT_EQ(CodeOf([&] { e.ParseValue(end); }), 30136);

  // A value: its type and size; nothing parsed leaves the expression empty.
  struct Case { std::string text; FT type; int32_t size; };
  const Case values[] = {{"name || 'xy'", FT::Varchar, 12}, {"num + 1", FT::LargeInt, 0},
                         {"-num", FT::Integer, 0}, {"2.5 * num", FT::Double, 0}};
  for (const Case& c : values) {
    TTarnexLexer lexer2(c.text, nullptr);
    ASSERT_TRUE(lexer2.GetNextCommand());
    TTarnexExpression v;
    v.BindToCursor(&T);
    v.ParseValue(lexer2);
    ASSERT_FALSE(v.IsEmpty()) << c.text;
    EXPECT_EQ(v.GetDataType(), c.type) << c.text;
    EXPECT_EQ(v.GetDataSize(), c.size) << c.text;
  }
  TTarnexLexer none("= 1", nullptr);
  ASSERT_TRUE(none.GetNextCommand());
  TTarnexExpression v;
  v.ParseValue(none);
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(MessageOrOk([&] { v.IsTrue(); }), "Value is Null - Native error: 30110");
}

// ---------------------------------------------------------------------------------------------
// Evaluation

TEST_F(Expressions, ThreeValuedLogicWithNulls) {
  // Row 4 has num, name and inspected null; row 0 has num 5 and name "abc".
  struct Case { const char* filter; int nullRow; int valueRow; };
  const Case cases[] = {
      {"num <> 5", 1, 0},
      {"num = 5", 0, 1},
      {"num > 5", 0, 0},
      {"num <= 5", 0, 1},
      {"not (num = 5)", 1, 0},
      {"num = null", 0, 0},
      {"num <> null", 1, 1},
      {"name like 'a%' and 1 = 0", 0, 0},
      {"name like 'a%' or 1 = 1", 1, 1},
      {"name like 'a%' and 1 = 1", -1, 1},
      {"name like 'a%' or 1 = 0", -1, 1},
      {"not (name like 'a%')", -1, 0},
      {"(name like 'a%') is true", -1, 1},
      {"(name like 'a%') is unknown", 1, 0},
      {"(name like 'a%') is not unknown", 0, 1},
      {"name is null", 1, 0},
      {"name is not null", 0, 1},
      {"name in ('abc', 'b')", -1, 1},
      {"name not in ('abc')", -1, 0},
      {"name between 'a' and 'c'", -1, 1},
      {"name not between 'a' and 'c'", -1, 0},
      {"name not like 'x%'", -1, 1},
      {"num + 1 = 1", 1, 0},  // by the value rules null + 1 is 1
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Truth(c.filter, 4), c.nullRow) << c.filter;
    EXPECT_EQ(Truth(c.filter, 0), c.valueRow) << c.filter;
  }
  // A filter rejects the record whose condition is unknown.
  EXPECT_EQ(Matching("name like 'a%' and 1 = 1"), (Rows{0, 2}));
  EXPECT_EQ(Matching("num <> 5"), (Rows{1, 2, 3, 4}));
}

TEST_F(Expressions, LikeInAndBetweenCaseRules) {
  struct Case { const char* filter; int result; };
  const Case cases[] = {
      {"'ABC' like 'a%'", 0},          // LIKE is case-sensitive
      {"'ABC' in ('abc')", 1},         // IN ignores case
      {"'B' between 'a' and 'c'", 1},  // BETWEEN ignores case
      {"'abc' like 'abc%'", 1},
      {"'abc' like '%c'", 1},
      {"'abc' like 'a_c'", 1},
      {"'abc' like 'ab'", 0},
      {"'abc' not like 'ab'", 1},
      {"'ac' like 'a_c'", 0},
      {"'b' not in ('A', 'B')", 0},
      {"1 in (2 3 1)", 1},  // a missing comma between elements is tolerated
      {"5 between 1 and 3", 0},
      {"5 not between 1 and 3", 1},
      {"2 between 2 and 2", 1},
      {"wname like 'a%'", 1},  // wide text matches as wide characters
      {"note like '%pest%'", 1},
      {"12 like '1%'", 1},     // a number meets text in a common text type
  };
  for (const Case& c : cases) EXPECT_EQ(Truth(c.filter, 0), c.result) << c.filter;
  EXPECT_EQ(MessageOrOk([&] { Truth("num like 1", 0); }), "Not string argument in function 'LIKE' - Native error: 30120");

  // The filter's case-insensitive option reaches comparisons only.
  EXPECT_EQ(Matching("name = 'ABC'"), (Rows{1}));
  EXPECT_EQ(Matching("name = 'ABC'", true), (Rows{0, 1}));
  EXPECT_EQ(Matching("name like 'A%'", true), (Rows{1}));
}

TEST_F(Expressions, DateRangeFilterWithEitherQuote) {
  const std::string single = "(inspected >= '01/02/2003') and (inspected <='03/31/2003')";
  const std::string dbl = "(inspected >= \"01/02/2003\") and (inspected <=\"03/31/2003\")";
  EXPECT_EQ(Matching(single), (Rows{0, 1, 2}));
  EXPECT_EQ(Matching(dbl), (Rows{0, 1, 2}));
  EXPECT_EQ(Matching("inspected > '02/20/2003'"), (Rows{2, 3}));

  // The constants were converted to dates once, and the column is read in place.
  TTarnexExpression e;
  e.ParseFilter(&T, dbl, false, false);
  ASSERT_EQ(e.Root()->ChildCount(), 2);
  for (int i = 0; i < 2; ++i) {
    TTarnexExprNode* comparison = e.Root()->Child(i);
    EXPECT_EQ(comparison->Child(1)->Value.DataType(), DT::Date);
    T.Current = static_cast<size_t>(i);
    e.IsTrue();
    EXPECT_TRUE(comparison->Child(0)->Value.IsBorrowed());
  }
  T.Current = 0;
  // A text that is no date fails when compared.
  EXPECT_EQ(CodeOf([&] { Matching("inspected = 'soon'"); }), 30051);
}

TEST_F(Expressions, PartialComparisonWithTrailingStar) {
  struct Case { const char* filter; bool caseInsensitive; bool partial; Rows rows; };
  const Case cases[] = {
      {"name = 'ab*'", false, true, {0, 2}},       // "abc", and "a" (the shorter length decides)
      {"'ab*' = name", false, true, {0, 2}},       // either side
      {"name = 'AB*'", true, true, {0, 1, 2}},
      {"name = 'ab*'", false, false, {}},          // without the option the '*' is a character
      {"name = \"b*\"", false, true, {3}},
      {"name <> 'ab*'", false, true, {1, 3, 4}},
      {"wname = 'ab*'", false, true, {0}},
  };
  for (const Case& c : cases) EXPECT_EQ(Matching(c.filter, c.caseInsensitive, c.partial), c.rows) << c.filter;
}

TEST_F(Expressions, ArithmeticAndEvaluationErrors) {
  struct Case { const char* filter; std::string message; };
  const Case cases[] = {
      {"num / 0 = 1", "Division error"},
      {"upper(name) = 'ABC'", "Function 'UPPER' is not supported - Native error: 30065"},
      {"sysdate > inspected", "Function 'SYSDATE' is not supported - Native error: 30065"},
      {"cast(num as varchar) = '5'", "Function 'CAST' is not supported - Native error: 30065"},
      {"num in (select x from t)", "Error - operation is not supported - Native error: 30088"},
      {"wname * 2 = 1", "Not numeric argument in numeric operator '*'"},
      {"-name = 1", "Cannot invert value with not numeric type"},
  };
  for (const Case& c : cases) {
    std::string message = MessageOrOk([&] { Truth(c.filter, 0); });
    EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.filter;
  }
}

TEST_F(Expressions, BindingToCursorFields) {
  // A display name of the visible fields reaches the underlying field.
  auto* alias = static_cast<TTarnexFieldDef*>(T.Visible.AddNew());
  alias->Name = "Common";
  alias->FieldNo = T.Fields.IndexOfName("name");
  EXPECT_EQ(Matching("common = 'b'"), (Rows{3}));
  EXPECT_EQ(Matching("NUM = 7"), (Rows{1}));  // names ignore case
  TTarnexExpression e;
  EXPECT_EQ(MessageOrOk([&] { e.ParseFilter(static_cast<TTarnexExprFieldSource*>(nullptr), "num = 1", false, false); }),
            "Value is Null - Native error: 30202");
  // A record buffer set for the expression is read instead of the current record.
  e.ParseFilter(&T, "num = 10", false, false);
  T.Current = 0;
  EXPECT_FALSE(e.IsTrue());
  e.SetRecordBuffer(T.Rows[3].data());
  EXPECT_TRUE(e.IsTrue());
  e.SetRecordBuffer(nullptr);
  EXPECT_FALSE(e.IsTrue());
}

TEST_F(Expressions, LocateAndKeyConditions) {
  struct Case { std::string names; std::vector<Variant> values; bool caseInsensitive; bool partial; Rows rows; };
  const Case cases[] = {
      {" name ; num ", {Variant::FromString("ab"), Variant::FromInteger(5)}, false, true, {0}},
      {"name", {Variant::FromString("AB")}, true, true, {0, 1, 2}},
      {"name", {Variant::FromString("ab")}, false, false, {}},
      {"num", {Variant::Null()}, false, false, {4}},  // ordered nulls: a null equals a null
      {"inspected", {Variant::FromString("02/20/2003")}, false, false, {1}},
  };
  for (const Case& c : cases) {
    TTarnexExpression e;
    e.BuildLocateCondition(&T, c.names, c.values, c.caseInsensitive, c.partial);
    Rows found;
    for (T.Current = 0; T.Current < T.Rows.size(); ++T.Current)
      if (e.IsTrue()) found.push_back(T.Current);
    EXPECT_EQ(found, c.rows) << c.names;
  }
  T.Current = 0;
  TTarnexExpression e;
  EXPECT_EQ(MessageOrOk([&] { e.BuildLocateCondition(&T, "name;num", {Variant::FromString("a")}, false, false); }),
            "Count of FieldNames (2) not equal counts of KeyValues (1) - Native error: 30112");

  // Key conditions read the values from another cursor's current record.
  TTestRecords source;
  source.AddField("fnum", FT::Integer);
  source.AddField("fname", FT::Varchar, 10);
  source.Set(source.AddRow(), "fnum", "7");
  TTarnexIndexDef index;
  index.Columns = {{"num", false, false}, {"name", false, false}};
  struct KeyCase { bool partialKey; Rows rows; };
  for (const KeyCase& k : {KeyCase{false, {1}}, KeyCase{true, {}}}) {
    TTarnexExpression key;
    key.BuildKeyCondition(&T, &source, index, {"fnum", "fname"}, k.partialKey);
    Rows found;
    for (T.Current = 0; T.Current < T.Rows.size(); ++T.Current)
      if (key.IsTrue()) found.push_back(T.Current);
    EXPECT_EQ(found, k.rows) << k.partialKey;
  }
  T.Current = 0;
}

// ---------------------------------------------------------------------------------------------
// Key conditions for the search planner

namespace {

struct TIndexCase {
  std::string name;
  std::vector<TTarnexIndexColumn> columns;
  TTarnexObjectID id;
};

}  // namespace

TEST_F(Expressions, ExtractIndexConditionsMovesWhatAnIndexServes) {
  TTarnexIndexDefs indexes;
  for (const TIndexCase& c : {TIndexCase{"byCount", {{"count", false, false}}, 11},
                              TIndexCase{"byNameNoCase", {{"name", false, true}}, 12},
                              TIndexCase{"byName", {{"NAME", false, false}, {"num", false, false}}, 13},
                              TIndexCase{"byNumDesc", {{"num", true, false}}, 14},
                              TIndexCase{"byInspected", {{"inspected", false, false}}, 15}}) {
    auto* def = static_cast<TTarnexIndexDef*>(indexes.AddNew());
    def->Name = c.name;
    def->Columns = c.columns;
    def->ObjectID = c.id;
  }
  using R = TTarnexScanRelation;
  struct Case {
    std::string filter;
    bool caseInsensitive;
    bool partial;
    std::vector<std::pair<TTarnexObjectID, R>> conditions;  // in order
    int32_t left;  // comparisons left in the expression
  };
  const Case cases[] = {
      {"num > 5", false, false, {{14, R::Less}}, 0},             // descending: greater and less swap
      {"5 < num", false, false, {{14, R::Less}}, 0},             // mirrored first
      {"[count] >= 2", false, false, {{11, R::GreaterOrEqual}}, 0},
      {"[count] < 2", false, false, {{11, R::Less}}, 1},         // stays: the range holds null keys
      {"2 > [count]", false, false, {{11, R::Less}}, 1},
      {"num <= 5", false, false, {{14, R::GreaterOrEqual}}, 1},
      {"name = 'abc'", false, false, {{13, R::Equal}}, 0},       // the case mode chooses the index
      {"name = 'abc'", true, false, {{12, R::Equal}}, 0},
      {"name = 'ab*'", false, true, {}, 1},                      // partial: not served
      {"name = 'abcdefghijk'", false, false, {}, 1},             // longer than the column
      {"name <> 'abc'", false, false, {}, 1},
      {"num = 5.5", false, false, {}, 1},                        // not exactly an integer
      {"[count] = '2'", false, false, {}, 1},                    // compared as text, not as a number
      {"[count] = null", false, false, {}, 1},
      {"num + 0 = 5", false, false, {}, 1},
      {"[count] = num", false, false, {}, 1},
      {"(inspected >= '01/02/2003') and (inspected <= '03/31/2003')", false, false,
       {{15, R::GreaterOrEqual}, {15, R::LessOrEqual}}, 1},
      {"[count] = 1 or [count] = 2", false, false, {}, 1},
      {"[count] = 1 and num + 1 = 2 and name = 'a'", false, false, {{11, R::Equal}, {13, R::Equal}}, 1},
  };
  for (const Case& c : cases) {
    TTarnexExpression e;
    e.ParseFilter(&T, c.filter, c.caseInsensitive, c.partial);
    // The records the filter selects before, for comparison after the comparisons come back.
    std::vector<int> before;
    for (T.Current = 0; T.Current < T.Rows.size(); ++T.Current) before.push_back(e.IsTrue());
    std::vector<TTarnexExprNode*> original;
    if (e.Root()->Operator == OP::And) for (auto& child : e.Root()->Children) original.push_back(child.get());
    else original.push_back(e.Root());

    TTarnexScanSearchConditionArray conditions;
    conditions.AddExpression(&e);
    TTarnexIndexConditionUndoList undo;
    conditions.ExtractIndexConditions(indexes, undo);
    ASSERT_EQ(conditions.Count(), static_cast<int32_t>(c.conditions.size()) + 1) << c.filter;
    EXPECT_EQ(undo.size(), c.conditions.size()) << c.filter;
    for (size_t i = 0; i < c.conditions.size(); ++i) {
      const TTarnexScanSearchCondition& k = conditions.Item(static_cast<int32_t>(i) + 1);
      EXPECT_EQ(k.IndexID, c.conditions[i].first) << c.filter;
      EXPECT_EQ(k.Relation, c.conditions[i].second) << c.filter;
      EXPECT_EQ(k.KeyFieldCount, 1);
      EXPECT_EQ(k.Expression, nullptr);
      ASSERT_NE(k.KeyBuffer, nullptr);
      // The key holds the constant in the column's own type; every other field is null.
      int32_t keyed = 0;
      for (int32_t f = 0; f < T.Fields.Count(); ++f) keyed += !GetNullFlag(k.KeyBuffer, f);
      EXPECT_EQ(keyed, 1) << c.filter;
    }
    int32_t left = e.IsEmpty() ? 0 : e.Root()->Operator == OP::And ? e.Root()->ChildCount() : 1;
    EXPECT_EQ(left, c.left) << c.filter;

    conditions.RestoreExpressions(undo);
    EXPECT_TRUE(undo.empty());
    std::vector<TTarnexExprNode*> restored;
    ASSERT_FALSE(e.IsEmpty()) << c.filter;
    if (e.Root()->Operator == OP::And) for (auto& child : e.Root()->Children) restored.push_back(child.get());
    else restored.push_back(e.Root());
    EXPECT_EQ(restored, original) << c.filter;  // the same nodes in the same places
    std::vector<int> after;
    for (T.Current = 0; T.Current < T.Rows.size(); ++T.Current) after.push_back(e.IsTrue());
    EXPECT_EQ(after, before) << c.filter;
  }
  T.Current = 0;
}

TEST_F(Expressions, KeyBufferAndSeveralExpressions) {
  TTarnexIndexDefs indexes;
  auto* def = static_cast<TTarnexIndexDef*>(indexes.AddNew());
  def->Columns = {{"wname", false, false}};
  def->ObjectID = 3;
  TTarnexExpression a, b;
  a.ParseFilter(&T, "wname = 'xy' and num = 1", false, false);
  TTarnexExprNode* wideComparison = a.Root()->Child(0);
  b.ParseFilter(&T, "wname > 'q'", false, false);
  TTarnexScanSearchConditionArray conditions;
  conditions.AddExpression(&a);
  conditions.AddExpression(&b);
  TTarnexIndexConditionUndoList undo;
  conditions.ExtractIndexConditions(indexes, undo);
  ASSERT_EQ(conditions.Count(), 4);
  // The wide constant stands in the key buffer as the field's value.
  TTarnexExprNodeField reader("", "wname");
  reader.BindToCursor(&T);
  reader.SetRecordBuffer(conditions.Item(2).KeyBuffer);
  EXPECT_EQ(reader.GetValue().AsWideString(), u"xy");
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_FALSE(a.IsEmpty());
  conditions.RestoreExpressions(undo);
  EXPECT_FALSE(b.IsEmpty());
  EXPECT_EQ(a.Root()->ChildCount(), 2);
  EXPECT_EQ(a.Root()->Child(0), wideComparison);  // the wname comparison is first again
  EXPECT_FALSE(a.RestoreComparison(a.Root()->Child(0)));       // nothing moved any more
}

TEST_F(Expressions, OverlongStringEqualityCannotBeTrue) {
  struct Case { const char* filter; bool partial; bool overlong; };
  const Case cases[] = {
      {"name = 'abcdefghijk'", false, true},
      {"'abcdefghijk' = name and num = 1", false, true},
      {"name = 'abcdefghij'", false, false},
      {"name = 'abcdefghijk*'", true, false},  // partial: a prefix may still match
      {"name <> 'abcdefghijk'", false, false},
      {"name = 'abcdefghijk' or num = 1", false, false},
      {"note = 'abcdefghijk'", false, false},  // a memo has no such limit
  };
  for (const Case& c : cases) {
    TTarnexExpression e;
    e.ParseFilter(&T, c.filter, false, c.partial);
    EXPECT_EQ(e.HasOverlongStringEquality(), c.overlong) << c.filter;
  }
}

// ---------------------------------------------------------------------------------------------
// Bad input

TEST_F(Expressions, RandomAndTruncatedFiltersEndCleanly) {
  // Every text parses to a condition whose evaluation gives a value or an engine error, or
  // fails with an engine error; nothing else escapes and nothing takes long.
  const std::vector<std::string> words = {
      "num", "name", "inspected", "[count]", "count", "wname", "note", "'a'", "\"03/31/2003\"", "'ab*'",
      "1", "2.5", ".5", "1e3", "(", ")", "(", ")", ",", ".", "=", "<>", "<", ">=", "+", "-", "*", "/",
      "||", "and", "or", "not", "is", "null", "true", "false", "unknown", "like", "in", "between",
      "exists", "select", "upper", "substring", "from", "for", "cast", "as", "varchar", "sum", "distinct",
      "toblob", "hex", "todate", "tostring", "pos", "length", "lastautoinc", "sysdate", ";", "--", "/*", "'"};
  const std::string seeds[] = {
      "(inspected >= '01/02/2003') and (inspected <= \"03/31/2003\")",
      "num in (1, 2 3) or not name like 'a%' and wname between 'a' and 'z' or num is not null",
      "substring(name from 1 for 2) || upper(name) = cast(num as varchar) and count(distinct num) > 0",
  };
  auto run = [&](const std::string& text) {
    TTarnexExpression e;
    try {
      e.ParseFilter(&T, text, text.size() % 2 == 0, text.size() % 3 == 0);
    } catch (const ETarnexException&) {
      return;
    }
    for (T.Current = 0; T.Current < T.Rows.size(); ++T.Current) {
      try {
        e.GetValue(true);
      } catch (const Exception&) {  // engine errors and the value layer's run-time range errors
      }
    }
    T.Current = 0;
  };
  const auto started = std::chrono::steady_clock::now();
  for (const std::string& seed : seeds)
    for (size_t n = 0; n <= seed.size(); ++n) run(seed.substr(0, n));
  std::mt19937 random(4711);
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    size_t count = 1 + random() % 14;
    for (size_t k = 0; k < count; ++k) {
      if (random() % 8 == 0) text += static_cast<char>(random() % 256);
      else text += words[random() % words.size()];
      if (random() % 3) text += ' ';
    }
    run(text);
  }
  // Deep nesting and nesting that would make backtracking explode.
  std::string deep = std::string(300, '(') + "num = 1" + std::string(300, ')');
  EXPECT_EQ(CodeOf([&] { Matching(deep); }), 30072);
  std::string value = "name";
  for (int i = 0; i < 40; ++i) value = "(" + value + ") || 'x'";
  run("name = " + value);
  run("num = " + std::string(60, '(') + "=" + std::string(60, ')'));
  run("num = " + std::string(100, '(') + "1" + std::string(100, ')'));
  EXPECT_EQ(Matching("num = " + std::string(30, '(') + "5" + std::string(30, ')')), (Rows{0}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
}
