// The recursive-descent grammar of conditions and values over the lexer's token array.
// Alternatives are tried in order from the same token; a failed one restores the token
// number and frees what it built. Errors name the token where they arise.
#include <cstring>
#include <vector>

#include "engine/sql/TarnexExpressions.h"
#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/SysUtils.h"

namespace {

using OP = TTarnexExprOperator;
using TK = TTokenType;
using DT = TTarnexDataType;
using NodePtr = std::unique_ptr<TTarnexExprNode>;

// A constant written as a quoted string, or a parameter holding a value that is not a number:
// such constants fail where the grammar asks for a numeric operand.
class TTextConstant : public TTarnexExprNodeConst {};

constexpr int32_t MaxNesting = 128;           // nested conditions and values
constexpr int64_t MaxPrimaryValues = 200000;  // primary values tried while parsing one text

bool IsOperatorText(const std::string& s) {
  static const char* const operators[] = {"+", "-", "*", "/", "=", "<", ">", "<=", ">=", "<>", "||", "|"};
  for (const char* op : operators)
    if (s == op) return true;
  return false;
}

bool IsPossibleCastTarget(TTarnexFieldType t) {
  using FT = TTarnexFieldType;
  if (t >= FT::Char && t <= FT::AutoInc) return true;
  switch (t) {
    case FT::Single: case FT::Double: case FT::Extended: case FT::Boolean: case FT::Currency:
    case FT::Date: case FT::Time: case FT::DateTime: case FT::TimeStamp:
      return true;
    default:
      return false;
  }
}

}  // namespace

class TTarnexExpression::TParser {
public:
  TParser(TTarnexExpression& owner, TTarnexLexer& lexer) : E_(owner), L_(lexer) {
    Failed_.assign(static_cast<size_t>(L_.Command().TokenCount) + 1, 0);
    const int32_t keep = L_.GetCurrentTokenNo();
    L_.SetCurrentTokenNo(L_.Command().TokenCount);
    L_.GetCurrentToken(None_);
    L_.SetCurrentTokenNo(keep);
  }

  // search condition := term { OR term }
  NodePtr SearchCondition() {
    TNesting nesting(*this);
    NodePtr left = Term(30066);
    while (IsWord(rwOR)) {
      Next();
      NodePtr right = Term(30070);
      auto node = std::make_unique<TTarnexExprNodeBoolean>(OP::Or);
      node->AddChild(std::move(left));
      node->AddChild(std::move(right));
      left = std::move(node);
    }
    return left;
  }

  // value, alternatives in order: numeric expression; string expression; TOBLOB; a date
  // function; TRUE or FALSE; NULL (a null Integer).
  NodePtr Value() {
    TNesting nesting(*this);
    const int32_t start = Pos();
    if (start < static_cast<int32_t>(Failed_.size()) && Failed_[static_cast<size_t>(start)]) return nullptr;
    NodePtr v = NumericExpression();
    if (!v) v = StringExpression();
    if (!v) v = ToBlobCall();
    if (!v) v = DateFunction();
    if (!v && (IsWord(rwTRUE) || IsWord(rwFALSE))) v = BooleanConstant();
    if (!v && IsWord(rwNULL)) {
      auto c = std::make_unique<TTarnexExprNodeConst>();
      c->Value.Clear(DT::Integer);
      Next();
      v = std::move(c);
    }
    if (!v && start < static_cast<int32_t>(Failed_.size())) Failed_[static_cast<size_t>(start)] = 1;
    return v;
  }

  const TToken& Cur() const {
    const TSQLCommand& command = L_.Command();
    int32_t n = L_.GetCurrentTokenNo();
    if (n >= 0 && n < command.TokenCount) return command.Tokens[static_cast<size_t>(n)];
    return None_;
  }
  bool AtEnd() const { return L_.GetCurrentTokenNo() >= L_.Command().TokenCount; }

private:
  // Counts one level of nesting for as long as it lives.
  struct TNesting {
    explicit TNesting(TParser& parser) : Parser(parser) {
      if (++Parser.Depth_ > MaxNesting) Parser.TooComplex();
    }
    ~TNesting() { --Parser.Depth_; }
    TParser& Parser;
  };

  // --- token access ---
  int32_t Pos() const { return L_.GetCurrentTokenNo(); }
  void Restore(int32_t n) { L_.SetCurrentTokenNo(n); }
  void Next() { L_.SetCurrentTokenNo(Pos() + 1); }
  bool IsKind(TK kind) const { return Cur().TokenType == kind; }
  bool IsWord(int16_t word) const { return TTarnexLexer::IsReservedWord(Cur(), word); }
  bool IsOp(const char* text) const { return Cur().TokenType == TK::tktString && Cur().Text == text; }
  const TToken& Peek(int32_t ahead) const {
    const TSQLCommand& command = L_.Command();
    int32_t n = Pos() + ahead;
    if (n >= 0 && n < command.TokenCount) return command.Tokens[static_cast<size_t>(n)];
    return None_;
  }

  // --- errors ---
  [[noreturn]] void TokenExpected(int32_t code, const std::string& expected) const {
    const TToken& t = Cur();
    throw ETarnexException(code, "Token '%s' expected, but '%s' found at line %d, column %d",
                           {expected, t.Text, t.LineNum, t.ColumnNum});
  }
  [[noreturn]] void BooleanExpected(int32_t code) const {
    const TToken& t = Cur();
    throw ETarnexException(code, "Boolean expression expected, but '%s' found at line %d, column %d",
                           {t.Text, t.LineNum, t.ColumnNum});
  }
  [[noreturn]] void ArgumentExpected(int32_t code, const char* function) const {
    const TToken& t = Cur();
    throw ETarnexException(code, "Argument expected for function '%s' at line %d, column %d",
                           {function, t.LineNum, t.ColumnNum});
  }
  [[noreturn]] void FoundError(int32_t code, const char* format) const {
    const TToken& t = Cur();
    throw ETarnexException(code, format, {t.Text, t.LineNum, t.ColumnNum});
  }
  [[noreturn]] void TooComplex() const {
    const TToken& t = Cur();
    throw ETarnexException(30072, "Expression is too complex at line %d, column %d", {t.LineNum, t.ColumnNum});
  }
  void Expect(TK kind, int32_t code, const char* text) {
    if (!IsKind(kind)) TokenExpected(code, text);
    Next();
  }

  // --- conditions ---

  // term := factor { AND factor }: one AND node holding all factors.
  NodePtr Term(int32_t code) {
    NodePtr first = Factor(code);
    if (!IsWord(rwAND)) return first;
    auto node = std::make_unique<TTarnexExprNodeBoolean>(OP::And);
    node->AddChild(std::move(first));
    while (IsWord(rwAND)) {
      Next();
      node->AddChild(Factor(30069));
    }
    return node;
  }

  // factor := [NOT] EXISTS ( subquery ) | [NOT] test
  NodePtr Factor(int32_t code) {
    bool negated = false;
    if (IsWord(rwNOT)) {
      negated = true;
      code = 30068;
      Next();
    }
    NodePtr inner = Exists();
    if (!inner) inner = Test();
    if (!inner) BooleanExpected(code);
    return negated ? Unary(OP::Not, std::move(inner)) : std::move(inner);
  }

  // test := primary [ IS [NOT] ( TRUE | FALSE | UNKNOWN ) ]
  NodePtr Test() {
    NodePtr primary = Primary();
    if (!primary || !IsWord(rwIS)) return primary;
    Next();
    bool negated = false;
    if (IsWord(rwNOT)) {
      negated = true;
      Next();
    }
    if (IsWord(rwTRUE)) {
      Next();
      return negated ? Unary(OP::Not, std::move(primary)) : std::move(primary);
    }
    if (IsWord(rwFALSE)) {
      Next();
      return negated ? std::move(primary) : Unary(OP::Not, std::move(primary));
    }
    if (IsWord(rwUNKNOWN)) {
      Next();
      return Unary(negated ? OP::IsNotNull : OP::IsNull, std::move(primary));
    }
    TokenExpected(30067, "TRUE, FALSE or UNKNOWN");
  }

  // primary := ( search condition ) | predicate
  NodePtr Primary() {
    if (IsKind(TK::tktLeftParenthesis)) {
      Next();
      NodePtr condition = SearchCondition();
      Expect(TK::tktRightParenthesis, 30064, ")");
      return condition;
    }
    return Predicate();
  }

  NodePtr Predicate() {
    const int32_t start = Pos();
    if (IsWord(rwTRUE) || IsWord(rwFALSE)) return BooleanConstant();
    if (IsKind(TK::tktParameter) && Cur().ParamValue && Cur().ParamValue->DataType() == DT::Boolean) {
      auto c = std::make_unique<TTarnexExprNodeConst>();
      c->Value.Assign(*Cur().ParamValue, true);
      Next();
      return c;
    }
    // Every value-led alternative begins with the same value: it is read once.
    NodePtr left = Value();
    if (left) {
      const int32_t afterLeft = Pos();
      OP op = ComparisonOperator();
      if (op != OP::None) {
        Next();
        NodePtr right = Value();
        if (right) return Comparison(op, std::move(left), std::move(right));
        Restore(afterLeft);
      }
      bool negated = false;
      if (IsWord(rwNOT)) {
        negated = true;
        Next();
      }
      if (IsWord(rwLIKE)) {
        Next();
        if (NodePtr pattern = Value())
          return Binary(negated ? OP::NotLike : OP::Like, std::move(left), std::move(pattern));
      } else if (!negated && IsWord(rwIS)) {
        Next();
        bool not2 = false;
        if (IsWord(rwNOT)) {
          not2 = true;
          Next();
        }
        if (IsWord(rwNULL)) {
          Next();
          return Unary(not2 ? OP::IsNotNull : OP::IsNull, std::move(left));
        }
      } else if (IsWord(rwBETWEEN)) {
        Next();
        NodePtr low = Value();
        if (low && IsWord(rwAND)) {
          Next();
          if (NodePtr high = Value()) {
            auto node = std::make_unique<TTarnexExprNodeBoolean>(negated ? OP::NotBetween : OP::Between);
            node->AddChild(std::move(left));
            node->AddChild(std::move(low));
            node->AddChild(std::move(high));
            return node;
          }
        }
      } else if (IsWord(rwIN)) {
        Next();
        if (NodePtr in = InTail(left, negated)) return in;
      }
    }
    Restore(start);
    bool negated = false;
    if (IsWord(rwNOT)) {
      negated = true;
      Next();
    }
    if (NodePtr exists = Exists()) return negated ? Unary(OP::Not, std::move(exists)) : std::move(exists);
    Restore(start);
    return nullptr;
  }

  OP ComparisonOperator() const {
    if (Cur().TokenType != TK::tktString) return OP::None;
    const std::string& s = Cur().Text;
    if (s == "=") return OP::Equal;
    if (s == "<>") return OP::NotEqual;
    if (s == ">") return OP::Greater;
    if (s == "<") return OP::Less;
    if (s == ">=") return OP::GreaterOrEqual;
    if (s == "<=") return OP::LessOrEqual;
    return OP::None;
  }

  // After IN: ( subquery ) or ( value { [,] value } ). left is taken only on success.
  NodePtr InTail(NodePtr& left, bool negated) {
    if (!IsKind(TK::tktLeftParenthesis)) return nullptr;
    if (TTarnexLexer::IsReservedWord(Peek(1), rwSELECT)) {
      std::string text;
      if (!CaptureSubquery(text)) return nullptr;
      auto node = std::make_unique<TTarnexExprNodeSubQueryIN>(std::move(text), negated ? OP::NotIn : OP::In);
      node->AddChild(std::move(left));
      return node;
    }
    Next();
    std::vector<NodePtr> elements;
    while (true) {
      NodePtr element = Value();
      if (!element) return nullptr;
      elements.push_back(std::move(element));
      if (IsKind(TK::tktRightParenthesis)) {
        Next();
        break;
      }
      if (IsKind(TK::tktComma)) Next();  // a missing comma between two elements is tolerated
    }
    auto node = std::make_unique<TTarnexExprNodeBoolean>(negated ? OP::NotIn : OP::In);
    node->AddChild(std::move(left));
    for (auto& element : elements) node->AddChild(std::move(element));
    return node;
  }

  // EXISTS ( SELECT ... )
  NodePtr Exists() {
    if (!IsWord(rwEXISTS) || Peek(1).TokenType != TK::tktLeftParenthesis ||
        !TTarnexLexer::IsReservedWord(Peek(2), rwSELECT))
      return nullptr;
    const int32_t start = Pos();
    Next();
    std::string text;
    if (!CaptureSubquery(text)) {
      Restore(start);
      return nullptr;
    }
    return std::make_unique<TTarnexExprNodeSubQueryExists>(std::move(text));
  }

  // At "(" SELECT: the text of the tokens up to the matching ")", which is passed.
  bool CaptureSubquery(std::string& text) {
    const TSQLCommand& command = L_.Command();
    const int32_t open = Pos();
    int32_t depth = 0, close = -1;
    for (int32_t i = open; i < command.TokenCount; ++i) {
      TK kind = command.Tokens[static_cast<size_t>(i)].TokenType;
      if (kind == TK::tktLeftParenthesis) ++depth;
      if (kind == TK::tktRightParenthesis && --depth == 0) {
        close = i;
        break;
      }
    }
    if (close < 0) return false;
    text.clear();
    bool glue = true;  // no space before the next token
    for (int32_t i = open + 1; i < close; ++i) {
      const TToken& t = command.Tokens[static_cast<size_t>(i)];
      bool dot = t.TokenType == TK::tktDot;
      if (!glue && !dot) text += ' ';
      switch (t.TokenType) {
        case TK::tktBracketedString: {
          text += '[';
          for (char c : t.Text) {
            text += c;
            if (c == ']') text += ']';
          }
          text += ']';
          break;
        }
        case TK::tktQuotedString: {
          text += '\'';
          for (char c : t.Text) {
            text += c;
            if (c == '\'') text += '\'';
          }
          text += '\'';
          break;
        }
        case TK::tktParameter: text += ':' + t.Text; break;
        default: text += t.Text; break;
      }
      glue = dot;
    }
    Restore(close + 1);
    return true;
  }

  // --- values ---

  // numeric expression := term { (+ | -) term }; the sign belongs to the following term.
  // Fails when "||" follows, leaving concatenations to the string expression.
  NodePtr NumericExpression() {
    const int32_t start = Pos();
    NodePtr first = NumericTerm();
    if (!first) return Fail(start);
    std::vector<NodePtr> terms;
    terms.push_back(std::move(first));
    while (IsOp("+") || IsOp("-")) {
      NodePtr term = NumericTerm();
      if (!term) return Fail(start);
      terms.push_back(std::move(term));
    }
    if (IsOp("||")) return Fail(start);
    if (terms.size() == 1) return std::move(terms[0]);
    auto node = std::make_unique<TTarnexExprNodeArithmetic>(OP::Add);
    for (auto& term : terms) node->AddChild(std::move(term));
    return node;
  }

  // term := factor { (* | /) factor }, nesting to the left.
  NodePtr NumericTerm() {
    const int32_t start = Pos();
    NodePtr left = NumericFactor();
    if (!left) return Fail(start);
    while (IsOp("*") || IsOp("/")) {
      OP op = IsOp("*") ? OP::Multiply : OP::Divide;
      Next();
      NodePtr right = NumericFactor();
      if (!right) return Fail(start);
      left = Binary(op, std::move(left), std::move(right), true);
    }
    return left;
  }

  // factor := [+ | -] operand
  NodePtr NumericFactor() {
    const int32_t start = Pos();
    bool negated = false;
    if (IsOp("+")) {
      Next();
    } else if (IsOp("-")) {
      negated = true;
      Next();
    }
    NodePtr operand = Operand();
    if (!operand) return Fail(start);
    if (!negated) return operand;
    auto node = std::make_unique<TTarnexExprNodeArithmetic>(OP::Negate);
    node->AddChild(std::move(operand));
    return node;
  }

  // operand := primary value (not a constant that is not numeric) | POS | LENGTH | LASTAUTOINC
  NodePtr Operand() {
    const int32_t start = Pos();
    if (NodePtr value = PrimaryValue()) {
      if (dynamic_cast<TTextConstant*>(value.get()) != nullptr) return Fail(start);
      return value;
    }
    if (IsWord(rwPOS) || IsWord(rwPOSITION)) return PosCall();
    if (IsWord(rwLENGTH)) return LengthCall();
    if (IsWord(rwLASTAUTOINC)) return LastAutoIncCall();
    return nullptr;
  }

  // primary value, alternatives in order: a number (or numeric or null parameter); a quoted
  // string (or other parameter); a column reference; ( SELECT ... ); an aggregate; ( value );
  // CAST.
  NodePtr PrimaryValue() {
    if (++PrimaryValues_ > MaxPrimaryValues) TooComplex();
    const TToken& t = Cur();
    switch (t.TokenType) {
      case TK::tktInt: case TK::tktFloat: {
        auto c = std::make_unique<TTarnexExprNodeConst>();
        c->Value.Clear(DT::Varchar);
        c->Value.SetAsString(t.Text);
        c->Value.ConvertTo(t.TokenType == TK::tktInt ? DT::LargeInt : DT::Double);
        Next();
        return c;
      }
      case TK::tktParameter: {
        const TTarnexVariant* value = t.ParamValue.get();
        std::unique_ptr<TTarnexExprNodeConst> c;
        if (value == nullptr || value->IsNull() || value->IsNumeric()) c = std::make_unique<TTarnexExprNodeConst>();
        else c = std::make_unique<TTextConstant>();
        if (value != nullptr) c->Value.Assign(*value, true);
        Next();
        return c;
      }
      case TK::tktQuotedString: {
        auto c = std::make_unique<TTextConstant>();
        c->Value.Clear(DT::Varchar);
        c->Value.SetAsString(t.Text);
        Next();
        return c;
      }
      default: break;
    }
    if (NodePtr column = ColumnReference()) return column;
    if (IsKind(TK::tktLeftParenthesis) && TTarnexLexer::IsReservedWord(Peek(1), rwSELECT)) {
      std::string text;
      if (CaptureSubquery(text)) return std::make_unique<TTarnexExprNodeSubQuery>(std::move(text));
      return nullptr;
    }
    if (IsWord(rwSUM) || IsWord(rwAVG) || IsWord(rwMIN) || IsWord(rwMAX) || IsWord(rwCOUNT)) return AggregateCall();
    if (IsKind(TK::tktLeftParenthesis)) {
      const int32_t start = Pos();
      Next();
      NodePtr value = Value();
      if (!value) return Fail(start);
      Expect(TK::tktRightParenthesis, 30071, ")");
      return value;
    }
    if (IsWord(rwCAST)) return CastCall();
    return nullptr;
  }

  static bool IsName(const TToken& t) {
    return (t.TokenType == TK::tktString && !IsOperatorText(t.Text)) || t.TokenType == TK::tktBracketedString ||
           t.TokenType == TK::tktReservedWord;
  }

  // column reference := name [ . name ]; not when the last name is a reserved word or "(" follows.
  NodePtr ColumnReference() {
    const int32_t start = Pos();
    if (!IsName(Cur())) return nullptr;
    std::string qualifier, name = Cur().Text;
    bool reserved = IsKind(TK::tktReservedWord);
    Next();
    if (IsKind(TK::tktDot)) {
      Next();
      if (!IsName(Cur())) return Fail(start);
      qualifier = std::move(name);
      name = Cur().Text;
      reserved = IsKind(TK::tktReservedWord);
      Next();
    }
    if (reserved || IsKind(TK::tktLeftParenthesis)) return Fail(start);
    return std::make_unique<TTarnexExprNodeField>(std::move(qualifier), std::move(name));
  }

  // string expression := string operand { (|| | +) string operand }; an operand that does not
  // parse is left out.
  NodePtr StringExpression() {
    NodePtr first = StringOperand();
    if (!first || !(IsOp("||") || IsOp("+"))) return first;
    auto node = std::make_unique<TTarnexExprNodeStringFunction>(OP::Concat);
    node->AddChild(std::move(first));
    while (IsOp("||") || IsOp("+")) {
      Next();
      if (NodePtr operand = StringOperand()) node->AddChild(std::move(operand));
    }
    return node;
  }

  // string operand := primary value | UPPER | LOWER | TRIM | LTRIM | RTRIM | SUBSTRING | TOSTRING
  NodePtr StringOperand() {
    if (NodePtr value = PrimaryValue()) return value;
    if (IsWord(rwUPPER)) return StringArgumentCall(OP::Upper);
    if (IsWord(rwLOWER)) return StringArgumentCall(OP::Lower);
    if (IsWord(rwTRIM)) return StringArgumentCall(OP::Trim);
    if (IsWord(rwLTRIM)) return StringArgumentCall(OP::LTrim);
    if (IsWord(rwRTRIM)) return StringArgumentCall(OP::RTrim);
    if (IsWord(rwSUBSTRING)) return SubstringCall();
    if (IsWord(rwTOSTRING)) return ToStringCall();
    return nullptr;
  }

  // --- function calls ---

  NodePtr StringArgumentCall(OP op) {
    Next();
    Expect(TK::tktLeftParenthesis, 30090, "(");
    NodePtr argument = StringExpression();
    if (!argument) {
      const TToken& t = Cur();
      throw ETarnexException(30092, "String argument expected for function '%s', but '%s' found at line %d, column %d",
                             {std::string(OperatorName(op)), t.Text, t.LineNum, t.ColumnNum});
    }
    Expect(TK::tktRightParenthesis, 30091, ")");
    return Unary(op, std::move(argument), true);
  }

  NodePtr SubstringCall() {
    Next();
    Expect(TK::tktLeftParenthesis, 30098, "(");
    auto node = std::make_unique<TTarnexExprNodeStringFunction>(OP::Substring);
    NodePtr text = StringExpression();
    if (!text) ArgumentExpected(30099, "SUBSTRING");
    node->AddChild(std::move(text));
    if (IsKind(TK::tktComma) || IsWord(rwFROM)) Next();
    else TokenExpected(30100, ",' or 'from");
    NodePtr start = NumericExpression();
    if (!start) ArgumentExpected(30101, "SUBSTRING");
    node->AddChild(std::move(start));
    if (IsKind(TK::tktRightParenthesis)) {
      Next();
      return node;
    }
    if (!IsKind(TK::tktComma) && !IsWord(rwFOR)) TokenExpected(30103, ")' or ',' or 'FOR");
    Next();
    NodePtr length = NumericExpression();
    if (!length) ArgumentExpected(30101, "SUBSTRING");
    node->AddChild(std::move(length));
    Expect(TK::tktRightParenthesis, 30104, ")");
    return node;
  }

  NodePtr PosCall() {
    Next();
    Expect(TK::tktLeftParenthesis, 30078, "(");
    auto node = std::make_unique<TTarnexExprNodeStringFunction>(OP::Pos);
    NodePtr sub = StringExpression();
    if (!sub) ArgumentExpected(30079, "POS");
    node->AddChild(std::move(sub));
    if (IsKind(TK::tktComma) || IsWord(rwIN)) Next();
    else TokenExpected(30080, ",' or 'IN");
    NodePtr text = StringExpression();
    if (!text) ArgumentExpected(30081, "POS");
    node->AddChild(std::move(text));
    Expect(TK::tktRightParenthesis, 30082, ")");
    return node;
  }

  NodePtr LengthCall() {
    Next();
    Expect(TK::tktLeftParenthesis, 30083, "(");
    NodePtr text = StringExpression();
    if (!text) ArgumentExpected(30085, "LENGTH");
    Expect(TK::tktRightParenthesis, 30084, ")");
    return Unary(OP::Length, std::move(text), true);
  }

  NodePtr LastAutoIncCall() {
    Next();
    Expect(TK::tktLeftParenthesis, 30086, "(");
    auto node = std::make_unique<TTarnexExprNodeSystem>();
    if (IsWord(rwMEMORY)) {
      node->InMemory = true;
      Next();
    }
    node->TableName = Cur().Text;
    Next();
    Expect(TK::tktComma, 30334, ",");
    node->ColumnName = Cur().Text;
    Next();
    Expect(TK::tktRightParenthesis, 30089, ")");
    return node;
  }

  NodePtr DateFunction() {
    OP op = OP::None;
    if (IsWord(rwSYSDATE) || IsWord(rwNOW) || IsWord(rwCURRENT_TIMESTAMP)) op = OP::SysDate;
    else if (IsWord(rwCURRENT_DATE)) op = OP::CurrentDate;
    else if (IsWord(rwCURRENT_TIME)) op = OP::CurrentTime;
    else if (IsWord(rwTODATE)) return ToDateCall();
    else if (IsWord(rwTOSTRING)) return ToStringCall();
    else return nullptr;
    Next();
    return std::make_unique<TTarnexExprNodeDateFunction>(op);
  }

  NodePtr ToDateCall() {
    Next();
    Expect(TK::tktLeftParenthesis, 30105, "(");
    auto node = std::make_unique<TTarnexExprNodeDateFunction>(OP::ToDate);
    NodePtr text = StringExpression();
    if (!text) ArgumentExpected(30107, "ToDate");
    node->AddChild(std::move(text));
    Expect(TK::tktComma, 30108, ",");
    if (!IsKind(TK::tktQuotedString))
      FoundError(30109, "Const DateFormat string expected, but '%s' found at line %d, column %d");
    node->DateFormat = Cur().Text;
    Next();
    Expect(TK::tktRightParenthesis, 30106, ")");
    return node;
  }

  NodePtr ToStringCall() {
    Next();
    Expect(TK::tktLeftParenthesis, 30093, "(");
    auto node = std::make_unique<TTarnexExprNodeDateFunction>(OP::ToString);
    NodePtr value = Value();
    if (!value) ArgumentExpected(30094, "TOSTRING");
    node->AddChild(std::move(value));
    if (IsKind(TK::tktComma) || IsWord(rwFROM)) Next();
    else TokenExpected(30095, ",");
    if (!IsKind(TK::tktQuotedString))
      FoundError(30096, "Const DateFormat string expected, but '%s' found at line %d, column %d");
    node->DateFormat = Cur().Text;
    Next();
    Expect(TK::tktRightParenthesis, 30097, ")");
    return node;
  }

  NodePtr ToBlobCall() {
    if (!IsWord(rwTOBLOB)) return nullptr;
    Next();
    Expect(TK::tktLeftParenthesis, 11345, "(");
    if (!IsKind(TK::tktQuotedString))
      FoundError(11346, "Const BLOB value as quoted string expected, but '%s' found at line %d, column %d");
    auto node = std::make_unique<TTarnexExprNodeBLOBFunction>();
    node->Text = Cur().Text;
    Next();
    if (IsKind(TK::tktComma)) {
      Next();
      if (IsWord(rwHEX)) node->Format = 1;
      else if (IsWord(rwMIME64)) node->Format = 0;
      else FoundError(11347, "BLOB value format expected, but '%s' found at line %d, column %d");
      Next();
    }
    Expect(TK::tktRightParenthesis, 11348, ")");
    return node;
  }

  NodePtr CastCall() {
    const int32_t start = Pos();
    Next();
    if (!IsKind(TK::tktLeftParenthesis)) return Fail(start);
    Next();
    NodePtr value = Value();
    if (!value || !(IsWord(rwAS) || IsKind(TK::tktComma))) return Fail(start);
    Next();
    const std::string typeName = Cur().Text;
    TTarnexFieldType target = SQLTypeNameToFieldType(typeName);
    if (!IsPossibleCastTarget(target))
      throw ETarnexException(30077, "Cannot convert an expression to specified type: '%s'", {UpperCase(typeName)});
    Next();
    Expect(TK::tktRightParenthesis, 30076, ")");
    auto node = std::make_unique<TTarnexExprNodeCast>();
    node->TargetType = target;
    node->AddChild(std::move(value));
    return node;
  }

  NodePtr AggregateCall() {
    OP op;
    const char* name;
    if (IsWord(rwSUM)) op = OP::Sum, name = "SUM";
    else if (IsWord(rwAVG)) op = OP::Avg, name = "AVG";
    else if (IsWord(rwMIN)) op = OP::Min, name = "MIN";
    else if (IsWord(rwMAX)) op = OP::Max, name = "MAX";
    else op = OP::Count, name = "COUNT";
    Next();
    bool distinct = false;
    if (IsWord(rwDISTINCT)) {
      distinct = true;
      Next();
    }
    Expect(TK::tktLeftParenthesis, 30074, "(");
    if (op == OP::Count && IsOp("*")) {
      Next();
      Expect(TK::tktRightParenthesis, 30073, ")");
      auto node = std::make_unique<TTarnexExprNodeAggregated>(OP::CountAll);
      node->Distinct = distinct;
      return node;
    }
    if (IsWord(rwDISTINCT)) {
      distinct = true;
      Next();
    }
    NodePtr argument = Value();
    if (!argument) ArgumentExpected(30102, name);
    Expect(TK::tktRightParenthesis, 30075, ")");
    auto node = std::make_unique<TTarnexExprNodeAggregated>(op);
    node->Distinct = distinct;
    node->AddChild(std::move(argument));
    return node;
  }

  // --- node building ---

  NodePtr Fail(int32_t start) {
    Restore(start);
    return nullptr;
  }

  NodePtr BooleanConstant() {
    auto c = std::make_unique<TTarnexExprNodeConst>();
    c->Value.Clear(DT::Boolean);
    c->Value.SetAsBoolean(IsWord(rwTRUE));
    Next();
    return c;
  }

  static NodePtr Unary(OP op, NodePtr child, bool stringFunction = false) {
    NodePtr node;
    if (stringFunction) node = std::make_unique<TTarnexExprNodeStringFunction>(op);
    else node = std::make_unique<TTarnexExprNodeBoolean>(op);
    node->AddChild(std::move(child));
    return node;
  }

  static NodePtr Binary(OP op, NodePtr left, NodePtr right, bool arithmetic = false) {
    NodePtr node;
    if (arithmetic) node = std::make_unique<TTarnexExprNodeArithmetic>(op);
    else node = std::make_unique<TTarnexExprNodeBoolean>(op);
    node->AddChild(std::move(left));
    node->AddChild(std::move(right));
    return node;
  }

  // A comparison with the expression's options; with the partial option a string constant
  // ending in '*' loses it and makes the comparison partial.
  NodePtr Comparison(OP op, NodePtr left, NodePtr right) {
    auto node = std::make_unique<TTarnexExprNodeComparison>(op);
    node->CaseInsensitive = E_.CaseInsensitive_;
    node->NullMode = E_.NullMode_;
    if (E_.Partial_) {
      for (TTarnexExprNode* side : {left.get(), right.get()}) {
        auto* c = dynamic_cast<TTarnexExprNodeConst*>(side);
        if (c == nullptr || !c->Value.IsText() || c->Value.IsNull()) continue;
        if (c->Value.IsWideText()) {
          std::u16string text = c->Value.AsWideString();
          if (text.empty() || text.back() != u'*') continue;
          text.pop_back();
          c->Value.SetAsWideString(text);
        } else {
          std::string text = c->Value.AsString();
          if (text.empty() || text.back() != '*') continue;
          text.pop_back();
          c->Value.SetAsString(text);
        }
        node->Partial = true;
      }
    }
    node->AddChild(std::move(left));
    node->AddChild(std::move(right));
    return node;
  }

  TTarnexExpression& E_;
  TTarnexLexer& L_;
  TToken None_;                   // the tktNone token past the end (carries the end position)
  int32_t Depth_ = 0;             // current nesting of conditions and values
  int64_t PrimaryValues_ = 0;     // primary values tried so far
  std::vector<uint8_t> Failed_;   // token numbers where a value is known not to parse
};

// ---------------------------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------------------------

void TTarnexExpression::ParseFilter(TTarnexExprFieldSource* cursor, const std::string& text, bool caseInsensitive,
                                    bool partial) {
  TTarnexLexer lexer(text, nullptr);
  if (!lexer.GetNextCommand()) throw ETarnexException(30119, "Blank SQL command");
  CaseInsensitive_ = caseInsensitive;
  Partial_ = partial;
  NullMode_ = TTarnexNullMode::SQLNull;
  Root_.reset();
  Lexer_ = &lexer;
  try {
    TParser parser(*this, lexer);
    NodePtr root = parser.SearchCondition();
    if (!parser.AtEnd()) {
      const TToken& t = parser.Cur();
      throw ETarnexException(30063, "Unexpected token '%s' found at line %d, column %d",
                             {t.Text, t.LineNum, t.ColumnNum});
    }
    lexer.GetCurrentToken(CurrentToken_);
    Root_ = std::move(root);
  } catch (...) {
    Lexer_ = nullptr;
    throw;
  }
  Lexer_ = nullptr;
  FlattenRootAnd();
  BindToCursor(cursor);
}

void TTarnexExpression::ParseCondition(TTarnexLexer& lexer) {
  TToken t;
  if (!lexer.GetCurrentToken(t))
    throw ETarnexException(30118, "Unexpected end of SQL command found at line %d, column %d", {t.LineNum, t.ColumnNum});
  Root_.reset();
  Lexer_ = &lexer;
  try {
    TParser parser(*this, lexer);
    Root_ = parser.SearchCondition();
    lexer.GetCurrentToken(CurrentToken_);
  } catch (...) {
    Lexer_ = nullptr;
    throw;
  }
  Lexer_ = nullptr;
  FlattenRootAnd();
  if (Cursor_ != nullptr) BindToCursor(Cursor_);
}

void TTarnexExpression::ParseValue(TTarnexLexer& lexer) {
  TToken t;
  if (!lexer.GetCurrentToken(t))
    throw ETarnexException(30136, "Unexpected end of SQL command found at line %d, column %d", {t.LineNum, t.ColumnNum});
  Root_.reset();
  Lexer_ = &lexer;
  try {
    TParser parser(*this, lexer);
    Root_ = parser.Value();
    lexer.GetCurrentToken(CurrentToken_);
  } catch (...) {
    Lexer_ = nullptr;
    throw;
  }
  Lexer_ = nullptr;
  if (Cursor_ != nullptr) BindToCursor(Cursor_);
}
