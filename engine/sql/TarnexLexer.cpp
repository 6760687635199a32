// Tokenising of SQL scripts and filter texts, the reserved-word table, and the parameters.
#include "engine/sql/TarnexLexer.h"

#include <cstring>
#include <unordered_map>

#include "engine/access/TarnexCompression.h"
#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/SysUtils.h"

// ---------------------------------------------------------------------------------------------
// Parameters
// ---------------------------------------------------------------------------------------------

void TTarnexSQLParam::SaveToStream(TTarnexStream& stream) const {
  uint8_t length[4];
  int32_t n = static_cast<int32_t>(Name.size());
  std::memcpy(length, &n, 4);
  WriteExact(length, 4, stream, 10187);
  if (n > 0) WriteExact(Name.data(), n, stream, 10188);
  TTarnexVariant::SaveToStream(stream);
}

void TTarnexSQLParam::LoadFromStream(TTarnexStream& stream) {
  uint8_t length[4];
  ReadExact(length, 4, stream, 10189);
  int32_t n = 0;
  std::memcpy(&n, length, 4);
  int64_t position = stream.Position(), size = stream.Size();
  if (n < 0 || n > size - position) {
    // A damaged length: reported as the short read it would become, before allocating.
    throw ETarnexException(10190,
                           "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
                           {position, size, n, static_cast<int64_t>(n < 0 ? 0 : size - position)});
  }
  std::string name(static_cast<size_t>(n), '\0');
  if (n > 0) ReadExact(name.data(), n, stream, 10190);
  TTarnexVariant::LoadFromStream(stream);
  Name = std::move(name);
}

void TTarnexSQLParam::Assign(const TTarnexVariant& other, bool copy) {
  TTarnexVariant::Assign(other, copy);
  if (const auto* param = dynamic_cast<const TTarnexSQLParam*>(&other)) {
    if (param != this) Name = param->Name;
  }
}

TTarnexSQLParam* TTarnexSQLParams::Items(int32_t index) const {
  if (index < 0 || index >= Count()) throw ERangeError();
  return Items_[static_cast<size_t>(index)].get();
}

TTarnexSQLParam* TTarnexSQLParams::AddParam() {
  Items_.push_back(std::make_unique<TTarnexSQLParam>());
  return Items_.back().get();
}

void TTarnexSQLParams::Clear() { Items_.clear(); }

TTarnexSQLParam* TTarnexSQLParams::FindParam(const std::string& name) const {
  const std::string wanted = AnsiUpperCase(name);
  for (const auto& item : Items_)
    if (AnsiUpperCase(item->Name) == wanted) return item.get();
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Token kinds and reserved words
// ---------------------------------------------------------------------------------------------

const char* TokenTypeName(TTokenType type) {
  static const char* const names[] = {
      "tktNone", "tktString", "tktQuotedString", "tktBracketedString", "tktInt", "tktFloat",
      "tktReservedWord", "tktParameter", "tktLeftParenthesis", "tktRightParenthesis", "tktComma", "tktDot",
  };
  auto i = static_cast<size_t>(type);
  return i < sizeof(names) / sizeof(names[0]) ? names[i] : "tktNone";
}

const char* const ReservedWords[ReservedWordCount] = {
    "ABSOLUTE", "ACTION", "ADD", "ALL", "ALLOCATE", "ALTER", "AND", "ANY", "ARE", "AS", "ASC",
    "ASSERTION", "AT", "AUTHORIZATION", "AVG", "BEGIN", "BETWEEN", "BIT", "BIT_LENGTH", "BOTH",
    "BY", "CASCADE", "CASCADED", "CASE", "CAST", "CATALOG", "CHAR", "CHARACTER", "CHAR_LENGTH",
    "CHARACTER_LENGTH", "CHECK", "CLOSE", "COALESCE", "COLLATE", "COLLATION", "COLUMN", "COMMIT",
    "CONNECT", "CONNECTION", "CONSTRAINT", "CONSTRAINTS", "CONTINUE", "CONVERT", "CORRESPONDING",
    "COUNT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_USER", "CURSOR", "DATE", "DAY", "DEALLOCATE", "DEC", "DECIMAL", "DECLARE", "DEFAULT",
    "DEFERRABLE", "DEFERRED", "DELETE", "DESC", "DESCRIBE", "DESCRIPTOR", "DIAGNOSTICS",
    "DISCONNECT", "DISTINCT", "DOMAIN", "DOUBLE", "DROP", "ELSE", "END", "END-EXEC", "ESCAPE",
    "EXCEPT", "EXCEPTION", "EXEC", "EXECUTE", "EXISTS", "EXTERNAL", "EXTRACT", "FALSE", "FETCH",
    "FIRST", "FLOAT", "FOR", "FOREIGN", "FOUND", "FROM", "FULL", "GET", "GLOBAL", "GO", "GOTO",
    "GRANT", "GROUP", "HEX", "HAVING", "HOUR", "IDENTITY", "IF", "IMMEDIATE", "IN", "INDICATOR",
    "INITIALLY", "INNER", "INPUT", "INSENSITIVE", "INSERT", "INT", "INTEGER", "INTERSECT",
    "INTERVAL", "INTO", "IS", "ISOLATION", "JOIN", "KEY", "LANGUAGE", "LAST", "LEADING", "LEFT",
    "LEVEL", "LIKE", "LOCAL", "LOWER", "MATCH", "MAX", "MEMORY", "MIME64", "MIN", "MINUS",
    "MINUTE", "MODULE", "MONTH", "NAMES", "NATIONAL", "NATURAL", "NCHAR", "NEXT", "NO", "NOFLUSH",
    "NOT", "NULL", "NULLIF", "NUMERIC", "OCTET_LENGTH", "OF", "ON", "ONLY", "OPEN", "OPTION", "OR",
    "ORDER", "OUTER", "OUTPUT", "OVERLAPS", "PAD", "PARTIAL", "POSITION", "PRECISION", "PREPARE",
    "PRESERVE", "PRIMARY", "PRIOR", "PRIVILEGES", "PROCEDURE", "PUBLIC", "READ", "REAL",
    "REFERENCES", "RELATIVE", "RESTRICT", "REVOKE", "RIGHT", "ROLLBACK", "ROWS", "SCHEMA",
    "SCROLL", "SECOND", "SECTION", "SELECT", "SESSION", "SESSION_USER", "SET", "SIZE", "SMALLINT",
    "SOME", "SPACE", "SQL", "SQLCODE", "SQLERROR", "SQLSTATE", "START", "SUBSTRING", "SUM",
    "SYSTEM_USER", "TABLE", "TEMPORARY", "THEN", "TIME", "TIMESTAMP", "TIMEZONE_HOUR",
    "TIMEZONE_MINUTE", "TO", "TOP", "TRAILING", "TRANSACTION", "TRANSLATE", "TRANSLATION", "TRIM",
    "TRUE", "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "UPPER", "USAGE", "USER", "USING", "VALUE",
    "VALUES", "VARCHAR", "VARYING", "VIEW", "WHEN", "WHENEVER", "WHERE", "WITH", "WORK", "WRITE",
    "YEAR", "ZONE", "PASSWORD", "BLOBBLOCKSIZE", "BLOBCOMPRESSIONMODE", "BLOBCOMPRESSIONALGORITHM",
    "LASTAUTOINC", "MODIFY", "NEW", "INDEX", "NOCASE", "LTRIM", "RTRIM", "POS", "LENGTH",
    "SYSDATE", "NOW", "TOBLOB", "TODATE", "TOSTRING", "AUTOINDEXES", "NOAUTOINDEXES", "INCREMENT",
    "LASTVALUE", "MAXVALUE", "MINVALUE", "CYCLED", "NOMAXVALUE", "NOMINVALUE", "NOCYCLED",
    "INITIALVALUE", "RENAME",
};

int16_t FindReservedWord(const std::string& text) {
  static const std::unordered_map<std::string, int16_t> table = [] {
    std::unordered_map<std::string, int16_t> m;
    for (int16_t i = 0; i < ReservedWordCount; ++i) m.emplace(ReservedWords[i], i);
    return m;
  }();
  if (text.empty() || text.size() > 32) return NoReservedWord;
  auto it = table.find(AnsiUpperCase(text));
  return it == table.end() ? NoReservedWord : it->second;
}

// ---------------------------------------------------------------------------------------------
// Lexer
// ---------------------------------------------------------------------------------------------

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The scan of one command: position, line and column, the open token and the checks.
class TCommandScanner {
public:
  TCommandScanner(const std::string& text, int32_t position, TTarnexSQLParams* params, std::vector<TToken>& tokens)
      : Text_(text), Length_(static_cast<int32_t>(text.size())), Pos_(position), Params_(params), Tokens_(tokens) {}

  // Tokenises up to and including the ';' that ends the command (or the end of the text).
  void Run() {
    while (Pos_ < Length_) {
      char c = Text_[Pos_];
      if (InString_) {
        ScanStringChar(c);
        continue;
      }
      if (c == ';') {
        FinishOpen();
        EndLine_ = Line_;
        EndColumn_ = Column_;
        Advance();
        Check();
        return;
      }
      if (c == '-' && Peek(1) == '-') {
        FinishOpen();
        while (Pos_ < Length_ && Text_[Pos_] != '\n') Advance();
        if (Pos_ < Length_) Advance();  // the line feed belongs to the comment
        continue;
      }
      if (c == '/' && Peek(1) == '*') {
        FinishOpen();
        Advance();
        Advance();
        while (Pos_ < Length_ && !(Text_[Pos_] == '*' && Peek(1) == '/')) Advance();
        if (Pos_ < Length_) {
          Advance();
          Advance();
        }
        continue;
      }
      if (IsBlank(c)) {
        FinishOpen();
        Advance();
        continue;
      }
      if (!Open_ || StartsNewToken(c)) {
        FinishOpen();
        StartToken(c);
        continue;
      }
      AppendToOpen(c);
    }
    FinishOpen();
    EndLine_ = Line_;
    EndColumn_ = Column_;
    Check();
  }

  int32_t Position() const { return Pos_; }
  int32_t EndLine() const { return EndLine_; }
  int32_t EndColumn() const { return EndColumn_; }

private:
  char Peek(int32_t ahead) const { return Pos_ + ahead < Length_ ? Text_[Pos_ + ahead] : '\0'; }

  void Advance() {
    char c = Text_[Pos_++];
    if (c == '\n') {
      ++Line_;
      Column_ = 1;
    } else if (c != '\r') {
      ++Column_;
    }
  }

  void ScanStringChar(char c) {
    if (c == Close_) {
      if (Peek(1) == Close_) {  // a doubled delimiter stands for one
        Current_.Text += c;
        Advance();
        Advance();
        return;
      }
      Advance();
      InString_ = false;
      Tokens_.push_back(std::move(Current_));
      Current_ = TToken();
      return;
    }
    Current_.Text += c;
    Advance();
  }

  // With a token open: whether c starts the next token.
  bool StartsNewToken(char c) const {
    if (std::strchr("><=(),/*:|", c) != nullptr) return true;
    TTokenType kind = Current_.TokenType;
    if (kind == TTokenType::tktDot) return !IsDigit(c);
    if (c == '.') return kind != TTokenType::tktInt;
    if (c == '+' || c == '-') {
      if (kind == TTokenType::tktString) return true;
      if (kind == TTokenType::tktInt) {
        char previous = Current_.Text.empty() ? '\0' : Current_.Text.back();
        return previous != 'E' && previous != 'e';
      }
    }
    return false;
  }

  void Begin(TTokenType kind, char c) {
    Current_ = TToken();
    Current_.TokenType = kind;
    Current_.Text.assign(1, c);
    Current_.LineNum = Line_;
    Current_.ColumnNum = Column_;
  }

  void Finished() {
    Tokens_.push_back(std::move(Current_));
    Current_ = TToken();
    Open_ = false;
  }

  void StartToken(char c) {
    switch (c) {
      case '\'': case '"': case '[':
        Begin(TTokenType::tktQuotedString, c);
        if (c == '[') Current_.TokenType = TTokenType::tktBracketedString;
        Current_.Text.clear();
        Close_ = c == '[' ? ']' : c;
        InString_ = true;
        Advance();
        return;
      case '(':
        Begin(TTokenType::tktLeftParenthesis, c);
        ++Depth_;
        OpenLine_ = Line_;
        OpenColumn_ = Column_;
        Advance();
        Finished();
        return;
      case ')':
        Begin(TTokenType::tktRightParenthesis, c);
        --Depth_;
        CloseLine_ = Line_;
        CloseColumn_ = Column_;
        Advance();
        Finished();
        return;
      case ',':
        Begin(TTokenType::tktComma, c);
        Advance();
        Finished();
        return;
      case '.':
        Begin(TTokenType::tktDot, c);
        Open_ = true;
        Advance();
        return;
      default:
        break;
    }
    if (IsDigit(c)) {
      Begin(TTokenType::tktInt, c);
      Open_ = true;
      Advance();
      return;
    }
    Begin(TTokenType::tktString, c);
    Advance();
    switch (c) {
      case '-': case '+': case '*': case '/': case '=':
        Finished();
        return;
      case '|':
        if (Peek(0) == '|') TakeNext();
        Finished();
        return;
      case '<':
        if (Peek(0) == '=' || Peek(0) == '>') TakeNext();
        Finished();
        return;
      case '>':
        if (Peek(0) == '=') TakeNext();
        Finished();
        return;
      default:
        Open_ = true;
        return;
    }
  }

  void TakeNext() {
    Current_.Text += Text_[Pos_];
    Advance();
  }

  void AppendToOpen(char c) {
    if (Current_.TokenType == TTokenType::tktInt) {
      if (!IsDigit(c) && c != '.' && c != 'E' && c != 'e' && c != '+' && c != '-')
        throw ETarnexException(30062, "Invalid numeric symbol '%s' at line %d, column %d",
                               {std::string(1, c), Line_, Column_});
    } else if (Current_.TokenType == TTokenType::tktDot) {
      Current_.TokenType = TTokenType::tktInt;  // ".5"
    }
    Current_.Text += c;
    Advance();
  }

  void FinishOpen() {
    if (!Open_) return;
    Open_ = false;
    TToken& t = Current_;
    if (t.TokenType == TTokenType::tktInt) {
      if (t.Text.find_first_of(".Ee") != std::string::npos) t.TokenType = TTokenType::tktFloat;
    } else if (t.TokenType == TTokenType::tktString) {
      if (t.Text[0] == ':') {
        std::string name = t.Text.substr(1);
        const TTarnexSQLParam* param = Params_ ? Params_->FindParam(name) : nullptr;
        if (param == nullptr) throw ETarnexException(30358, "Value for parameter '%s' not found", {name});
        auto value = std::make_shared<TTarnexVariant>();
        value->Assign(*param, true);
        t.TokenType = TTokenType::tktParameter;
        t.Text = std::move(name);
        t.ParamValue = std::move(value);
      } else {
        int16_t word = FindReservedWord(t.Text);
        if (word != NoReservedWord) {
          t.TokenType = TTokenType::tktReservedWord;
          t.ReservedWord = word;
        }
      }
    }
    Tokens_.push_back(std::move(t));
    Current_ = TToken();
  }

  void Check() const {
    if (Depth_ > 0)
      throw ETarnexException(30059, "Missing symbol ')' at line %d, column %d", {OpenLine_, OpenColumn_});
    if (Depth_ < 0)
      throw ETarnexException(30060, "Unexpected symbol ')' found at line %d, column %d", {CloseLine_, CloseColumn_});
    if (InString_)
      throw ETarnexException(30061, "Unterminated string at line %d, column %d",
                             {Current_.LineNum, Current_.ColumnNum});
  }

  const std::string& Text_;
  int32_t Length_;
  int32_t Pos_;
  TTarnexSQLParams* Params_;
  std::vector<TToken>& Tokens_;
  int32_t Line_ = 1;
  int32_t Column_ = 1;
  TToken Current_;          // the open token, or the open quoted / bracketed string
  bool Open_ = false;       // Current_ is an open word, number or dot
  bool InString_ = false;   // Current_ is a quoted or bracketed string still open
  char Close_ = '\0';       // the character that closes the open string
  int32_t Depth_ = 0;       // parenthesis depth
  int32_t OpenLine_ = 0, OpenColumn_ = 0;    // the last '('
  int32_t CloseLine_ = 0, CloseColumn_ = 0;  // the last ')'
  int32_t EndLine_ = 1, EndColumn_ = 1;
};

}  // namespace

TTarnexLexer::TTarnexLexer(const std::string& script, TTarnexSQLParams* params)
    : Script_(script), Params_(params), Length_(static_cast<int32_t>(script.size())) {}

bool TTarnexLexer::GetNextCommand() {
  Command_ = TSQLCommand();
  ++CommandNo_;
  if (Exhausted_) return false;
  try {
    TokeniseCommand();
  } catch (...) {
    Command_ = TSQLCommand();
    Exhausted_ = true;
    throw;
  }
  if (Command_.TokenCount == 0) Exhausted_ = true;
  return Command_.TokenCount > 0;
}

void TTarnexLexer::TokeniseCommand() {
  TCommandScanner scanner(Script_, Position_, Params_, Command_.Tokens);
  scanner.Run();
  Position_ = scanner.Position();
  EndLine_ = scanner.EndLine();
  EndColumn_ = scanner.EndColumn();
  Command_.TokenCount = static_cast<int32_t>(Command_.Tokens.size());
  Command_.CurrentToken = 0;
}

namespace {

bool TokenAt(const TSQLCommand& command, int32_t n, int32_t endLine, int32_t endColumn, TToken& token) {
  if (n >= 0 && n < command.TokenCount) {
    token = command.Tokens[static_cast<size_t>(n)];
    return true;
  }
  token = TToken();
  token.LineNum = endLine;
  token.ColumnNum = endColumn;
  return false;
}

}  // namespace

bool TTarnexLexer::GetCurrentToken(TToken& token) const {
  return TokenAt(Command_, Command_.CurrentToken, EndLine_, EndColumn_, token);
}

bool TTarnexLexer::GetNextToken(TToken& token) {
  bool found = TokenAt(Command_, Command_.CurrentToken + 1, EndLine_, EndColumn_, token);
  ++Command_.CurrentToken;
  return found;
}

bool TTarnexLexer::LookAhead(TToken& token) const {
  return TokenAt(Command_, Command_.CurrentToken + 1, EndLine_, EndColumn_, token);
}

bool TTarnexLexer::IsReservedWord(const TToken& token, int16_t word) {
  if (token.TokenType != TTokenType::tktReservedWord) return false;
  return word == NoReservedWord || token.ReservedWord == word;
}
