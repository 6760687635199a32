#include "engine/sql/TarnexLexer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/access/TarnexCompression.h"
#include "engine/storage/TarnexExcept.h"

namespace {

using TK = TTokenType;

struct TTok {
  TK Type;
  std::string Text;
  bool operator==(const TTok& o) const { return Type == o.Type && Text == o.Text; }
};

std::ostream& operator<<(std::ostream& os, const TTok& t) { return os << TokenTypeName(t.Type) << ":" << t.Text; }

// The tokens of every command of `text` until the script ends.
std::vector<std::vector<TToken>> Commands(const std::string& text, TTarnexSQLParams* params = nullptr) {
  TTarnexLexer lexer(text, params);
  std::vector<std::vector<TToken>> out;
  while (lexer.GetNextCommand()) out.push_back(lexer.Command().Tokens);
  return out;
}

std::vector<TTok> Kinds(const std::string& text, TTarnexSQLParams* params = nullptr) {
  std::vector<TTok> out;
  auto commands = Commands(text, params);
  if (commands.empty()) return out;
  for (const TToken& t : commands[0]) out.push_back({t.TokenType, t.Text});
  return out;
}

template <class F> std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const ETarnexException& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(TarnexLexer, TokenTable) {
  struct Case { std::string text; std::vector<TTok> tokens; };
  const TTok lp{TK::tktLeftParenthesis, "("}, rp{TK::tktRightParenthesis, ")"}, comma{TK::tktComma, ","};
  auto W = [](const char* s) { return TTok{TK::tktString, s}; };
  auto I = [](const char* s) { return TTok{TK::tktInt, s}; };
  auto F = [](const char* s) { return TTok{TK::tktFloat, s}; };
  auto Q = [](const char* s) { return TTok{TK::tktQuotedString, s}; };
  const TTok dot{TK::tktDot, "."};
  const Case cases[] = {
      // numbers
      {"42", {I("42")}},
      {"1e-5", {F("1e-5")}},
      {"1E+5", {F("1E+5")}},
      {"1.5", {F("1.5")}},
      {".5", {F(".5")}},
      {"1-5", {I("1"), W("-"), I("5")}},
      {"1+2", {I("1"), W("+"), I("2")}},
      {"(1)", {lp, I("1"), rp}},
      // names and dots
      {"a.b", {W("a"), dot, W("b")}},
      {"t.5", {W("t"), F(".5")}},
      {"a..b", {W("a"), dot, dot, W("b")}},
      {"t1_x#", {W("t1_x#")}},
      // operators
      {"x<>y", {W("x"), W("<>"), W("y")}},
      {"x<=y", {W("x"), W("<="), W("y")}},
      {"x>=y", {W("x"), W(">="), W("y")}},
      {"x>y<z", {W("x"), W(">"), W("y"), W("<"), W("z")}},
      {"a||b", {W("a"), W("||"), W("b")}},
      {"a|b", {W("a"), W("|"), W("b")}},
      {"a!=b", {W("a!"), W("="), W("b")}},
      {"a-b+c", {W("a"), W("-"), W("b"), W("+"), W("c")}},
      {"a*b/c", {W("a"), W("*"), W("b"), W("/"), W("c")}},
      {"<>=", {W("<>"), W("=")}},
      {"f(a,b)", {W("f"), lp, W("a"), comma, W("b"), rp}},
      // quotes and brackets
      {"'it''s'", {Q("it's")}},
      {"\"a\"\"b\"", {Q("a\"b")}},
      {"\"col\"", {Q("col")}},
      {"[a]]b]", {TTok{TK::tktBracketedString, "a]b"}}},
      {"'a;b' c", {Q("a;b"), W("c")}},
      {"'two\nlines'", {Q("two\nlines")}},
      {"''", {Q("")}},
      {"abc'def'", {W("abc'def'")}},  // a quote inside a word is part of it
      // comments
      {"a--comment;\nb", {W("a"), W("b")}},
      {"a/* ; */b", {W("a"), W("b")}},
      {"a /* never closed", {W("a")}},
      {"a -- last line", {W("a")}},
      {"a*/b", {W("a"), W("*"), W("/"), W("b")}},
  };
  for (const Case& c : cases) EXPECT_EQ(Kinds(c.text), c.tokens) << c.text;
}

TEST(TarnexLexer, ReservedWords) {
  // The table keeps its order: spot checks of positions along it.
  const std::pair<int16_t, const char*> positions[] = {
      {0, "ABSOLUTE"}, {6, "AND"}, {44, "COUNT"}, {74, "END-EXEC"}, {145, "NULL"}, {213, "TRUE"},
      {243, "NOCASE"}, {264, "RENAME"},
  };
  for (const auto& [n, word] : positions) EXPECT_STREQ(ReservedWords[n], word) << n;
  EXPECT_EQ(rwEND_EXEC, 74);
  EXPECT_EQ(rwRENAME, ReservedWordCount - 1);
  for (int16_t i = 0; i < ReservedWordCount; ++i) EXPECT_EQ(FindReservedWord(ReservedWords[i]), i) << ReservedWords[i];

  struct Case { std::string text; TK type; int16_t word; };
  const Case cases[] = {
      {"ABSOLUTE", TK::tktReservedWord, rwABSOLUTE},
      {"absolute", TK::tktReservedWord, rwABSOLUTE},
      {"abs", TK::tktString, NoReservedWord},
      {"Count", TK::tktReservedWord, rwCOUNT},
      {"[count]", TK::tktBracketedString, NoReservedWord},
      {"'and'", TK::tktQuotedString, NoReservedWord},
      {"END-EXEC", TK::tktReservedWord, rwEND},  // cut at '-': END, -, EXEC
  };
  for (const Case& c : cases) {
    auto commands = Commands(c.text);
    ASSERT_FALSE(commands.empty()) << c.text;
    const TToken& t = commands[0][0];
    EXPECT_EQ(t.TokenType, c.type) << c.text;
    EXPECT_EQ(t.ReservedWord, c.word) << c.text;
    EXPECT_EQ(TTarnexLexer::IsReservedWord(t, NoReservedWord), c.type == TK::tktReservedWord) << c.text;
    if (c.word != NoReservedWord) {
      EXPECT_TRUE(TTarnexLexer::IsReservedWord(t, c.word));
      EXPECT_FALSE(TTarnexLexer::IsReservedWord(t, static_cast<int16_t>(c.word + 1)));
    }
  }
}

TEST(TarnexLexer, PositionsCountPerCommand) {
  struct Case { std::string text; size_t command; size_t token; int32_t line; int32_t column; };
  const Case cases[] = {
      {"select a", 0, 1, 1, 8},
      {"a\n  b", 0, 1, 2, 3},
      {"a\tb", 0, 1, 1, 3},          // a tab is one column
      {"a\r\nb", 0, 1, 2, 1},        // a carriage return advances nothing
      {"\r\r a", 0, 0, 1, 2},
      {"-- note\nb", 0, 0, 2, 1},    // the comment's line feed counts
      {"/* x\n y */ b", 0, 0, 2, 7},
      {"'a\nb' c", 0, 1, 2, 4},      // line feeds inside quotes count
      {"select 1;\n  select x", 1, 1, 2, 10},
      {"a;b c", 1, 1, 1, 3},         // the second command counts from just after the ';'
  };
  for (const Case& c : cases) {
    auto commands = Commands(c.text);
    ASSERT_GT(commands.size(), c.command) << c.text;
    ASSERT_GT(commands[c.command].size(), c.token) << c.text;
    const TToken& t = commands[c.command][c.token];
    EXPECT_EQ(t.LineNum, c.line) << c.text;
    EXPECT_EQ(t.ColumnNum, c.column) << c.text;
  }
}

TEST(TarnexLexer, EmptyCommandEndsTheScript) {
  struct Case { std::string text; size_t commands; };
  const Case cases[] = {
      {"select * from t;;select 1", 1},
      {"a;b;c", 3},
      {"a;b;", 2},
      {"a; -- note\n ;b", 1},
      {"a;/* */;b", 1},
      {"", 0},
      {"  \n ", 0},
      {"a;';';b", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(Commands(c.text).size(), c.commands) << c.text;

  TTarnexLexer lexer("a;;b", nullptr);
  EXPECT_EQ(lexer.CommandNo(), -1);
  EXPECT_TRUE(lexer.GetNextCommand());
  EXPECT_EQ(lexer.CommandNo(), 0);
  EXPECT_FALSE(lexer.GetNextCommand());
  EXPECT_FALSE(lexer.GetNextCommand());  // b is never read
}

TEST(TarnexLexer, TokenAccessAndBacktracking) {
  TTarnexLexer lexer("a = b", nullptr);
  ASSERT_TRUE(lexer.GetNextCommand());
  TToken t;
  EXPECT_TRUE(lexer.GetCurrentToken(t));
  EXPECT_EQ(t.Text, "a");
  EXPECT_TRUE(lexer.LookAhead(t));
  EXPECT_EQ(t.Text, "=");
  EXPECT_EQ(lexer.GetCurrentTokenNo(), 0);
  EXPECT_TRUE(lexer.GetNextToken(t));
  EXPECT_EQ(t.Text, "=");
  EXPECT_TRUE(lexer.GetNextToken(t));
  EXPECT_EQ(t.Text, "b");
  EXPECT_FALSE(lexer.GetNextToken(t));  // past the end: tktNone, and the number still advances
  EXPECT_EQ(t.TokenType, TK::tktNone);
  EXPECT_EQ(lexer.GetCurrentTokenNo(), 3);
  EXPECT_FALSE(lexer.GetCurrentToken(t));
  EXPECT_EQ(t.TokenType, TK::tktNone);
  EXPECT_EQ(t.ColumnNum, 6);  // where the text ended
  lexer.SetCurrentTokenNo(1);
  EXPECT_TRUE(lexer.GetCurrentToken(t));
  EXPECT_EQ(t.Text, "=");
}

TEST(TarnexLexer, ParametersResolveWhileTokenising) {
  TTarnexSQLParams params;
  TTarnexSQLParam* p1 = params.AddParam();
  p1->Name = "p1";
  p1->SetAsInteger(7);
  TTarnexSQLParam* text = params.AddParam();
  text->Name = "Name";
  text->SetAsString("abc");

  TTarnexLexer lexer("x = :P1 and y = :name;z = :p1", &params);
  ASSERT_TRUE(lexer.GetNextCommand());
  const auto& tokens = lexer.Command().Tokens;
  ASSERT_EQ(tokens.size(), 7u);
  EXPECT_EQ(tokens[2].TokenType, TK::tktParameter);
  EXPECT_EQ(tokens[2].Text, "P1");
  ASSERT_TRUE(tokens[2].ParamValue);
  EXPECT_EQ(tokens[2].ParamValue->AsInteger(), 7);
  EXPECT_EQ(tokens[6].ParamValue->AsString(), "abc");
  // The token holds its own copy: changing the parameter afterwards does not reach it.
  p1->SetAsInteger(8);
  EXPECT_EQ(tokens[2].ParamValue->AsInteger(), 7);
  TToken copy;
  lexer.SetCurrentTokenNo(2);
  lexer.GetCurrentToken(copy);
  EXPECT_EQ(copy.ParamValue->AsInteger(), 7);
  ASSERT_TRUE(lexer.GetNextCommand());
  EXPECT_EQ(lexer.Command().Tokens[2].ParamValue->AsInteger(), 8);
  EXPECT_EQ(copy.ParamValue->AsInteger(), 7);  // a copy outlives its command
}

TEST(TarnexLexer, Errors) {
  TTarnexSQLParams params;
  params.AddParam()->Name = "known";
  struct Case { std::string text; std::string message; };
  const Case cases[] = {
      {"1abc", "Invalid numeric symbol 'a' at line 1, column 2 - Native error: 30062"},
      {"x =\n 12'3'", "Invalid numeric symbol ''' at line 2, column 4 - Native error: 30062"},
      {"select (a", "Missing symbol ')' at line 1, column 8 - Native error: 30059"},
      {"((a) (b)", "Missing symbol ')' at line 1, column 6 - Native error: 30059"},
      {"select a)", "Unexpected symbol ')' found at line 1, column 9 - Native error: 30060"},
      {"'abc", "Unterminated string at line 1, column 1 - Native error: 30061"},
      {"x;\n  y = [abc", "Unterminated string at line 2, column 7 - Native error: 30061"},
      {"x = 'a;b", "Unterminated string at line 1, column 5 - Native error: 30061"},
      {"x = :P1", "Value for parameter 'P1' not found - Native error: 30358"},
      {"x = :", "Value for parameter '' not found - Native error: 30358"},
  };
  for (const Case& c : cases) EXPECT_EQ(MessageOf([&] { Commands(c.text, &params); }), c.message) << c.text;
  EXPECT_EQ(MessageOf([] { Commands("x = :p"); }), "Value for parameter 'p' not found - Native error: 30358");
  EXPECT_EQ(Kinds("x = :KNOWN", &params).back().Type, TK::tktParameter);
}

TEST(TarnexSQLParams, FindAssignAndStreamForm) {
  TTarnexSQLParams params;
  TTarnexSQLParam* a = params.AddParam();
  a->Name = "Alpha";
  a->SetAsString("value");
  TTarnexSQLParam* b = params.AddParam();
  b->Name = "alpha";  // a second one of the same name is never found
  EXPECT_EQ(params.Count(), 2);
  EXPECT_EQ(params.FindParam("ALPHA"), a);
  EXPECT_EQ(params.FindParam("beta"), nullptr);
  EXPECT_EQ(params.Items(1), b);

  TTarnexSQLParam copy;
  copy.Assign(*a, true);
  EXPECT_EQ(copy.Name, "Alpha");
  EXPECT_EQ(copy.AsString(), "value");
  TTarnexVariant plain;
  plain.SetAsInteger(5);
  copy.Assign(plain, true);  // a plain value brings no name
  EXPECT_EQ(copy.Name, "Alpha");
  EXPECT_EQ(copy.AsInteger(), 5);

  TTarnexMemoryStream stream;
  a->SaveToStream(stream);
  b->SaveToStream(stream);
  EXPECT_EQ(stream.Size(), (4 + 5 + 1 + 1 + 4 + 6) + (4 + 5 + 1 + 1));
  stream.SetPosition(0);
  TTarnexSQLParam loadedA, loadedB;
  loadedA.LoadFromStream(stream);
  loadedB.LoadFromStream(stream);
  EXPECT_EQ(loadedA.Name, "Alpha");
  EXPECT_EQ(loadedA.AsString(), "value");
  EXPECT_EQ(loadedB.Name, "alpha");
  EXPECT_TRUE(loadedB.IsNull());

  params.Clear();
  EXPECT_EQ(params.Count(), 0);
}

TEST(TarnexSQLParams, DamagedStreamFailsCleanly) {
  // A length beyond the stream, a negative length and a cut name all raise the read errors.
  struct Case { int32_t length; int32_t bytesAfter; int32_t code; };
  const Case cases[] = {{1000000, 3, 10190}, {-5, 3, 10190}, {4, 2, 10190}};
  for (const Case& c : cases) {
    TTarnexMemoryStream stream;
    stream.Write(&c.length, 4);
    std::string tail(static_cast<size_t>(c.bytesAfter), 'x');
    stream.Write(tail.data(), c.bytesAfter);
    stream.SetPosition(0);
    TTarnexSQLParam p;
    int32_t code = 0;
    try {
      p.LoadFromStream(stream);
    } catch (const ETarnexException& e) {
      code = e.NativeErrorCode();
    }
    EXPECT_EQ(code, c.code) << c.length;
  }
  TTarnexMemoryStream empty;
  TTarnexSQLParam p;
  EXPECT_NE(MessageOf([&] { p.LoadFromStream(empty); }).find("Native error: 10189"), std::string::npos);
}

TEST(TarnexLexer, RandomAndTruncatedTextEndsCleanly) {
  // Every input either tokenises or raises an engine error; nothing else escapes, nothing hangs.
  const std::string alphabet = "ab1.eE+-*/=<>|!:;,()[]'\"\n\t\r -x5_ ";
  const std::string seeds[] = {
      "(inspected >= '01/02/2003') and (inspected <= \"31/03/2003\")",
      "select [a]]b], 'it''s' from t where x <> 1e-5 -- c\n or y = .5; /* z */ select 1",
  };
  std::mt19937 random(12345);
  auto run = [](const std::string& text) {
    try {
      TTarnexLexer lexer(text, nullptr);
      int commands = 0;
      while (lexer.GetNextCommand()) {
        ASSERT_GT(lexer.Command().TokenCount, 0);
        ASSERT_LT(++commands, 10000);
      }
    } catch (const ETarnexException&) {
    }
  };
  for (const std::string& seed : seeds)
    for (size_t n = 0; n <= seed.size(); ++n) run(seed.substr(0, n));
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    size_t length = random() % 40;
    for (size_t k = 0; k < length; ++k) {
      uint32_t r = random();
      text += (r & 0x100) ? alphabet[r % alphabet.size()] : static_cast<char>(r & 0xFF);
    }
    run(text);
  }
}
