// Expressions: the parser that turns a filter text or the current tokens of an SQL statement
// into a tree of nodes, and the evaluator that computes the tree for the current record of
// the cursor it is bound to (or of a record buffer set for it). Also the moving of indexable
// comparisons into scan search conditions for the search planner.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexTypes.h"
#include "engine/access/TarnexVariant.h"
#include "engine/sql/TarnexLexer.h"

class TTarnexFieldDefs;         // a cursor's fields (TarnexBaseDefs.h)
class TTarnexIndexDef;          // one index definition (TarnexBaseDefs.h)
class TTarnexIndexDefs;         // a table's index definitions (TarnexBaseDefs.h)
class TTarnexCursor;            // the engine cursor (TarnexBaseCursor.h)
class TTarnexAO;                // a relational operator of the SQL layer
struct TTarnexSelectListItem;   // one item of a SELECT list (SQL layer)

// ---------------------------------------------------------------------------------------------
// Operator codes
// ---------------------------------------------------------------------------------------------

// The operator code of a node (stored as a byte).
enum class TTarnexExprOperator : uint8_t {
  None = 0,
  Equal = 1, NotEqual = 2, Greater = 3, Less = 4, GreaterOrEqual = 5, LessOrEqual = 6,
  Not = 7, And = 8, Or = 9, In = 10, NotIn = 11, Between = 12, NotBetween = 13, Like = 14,
  NotLike = 15, IsNull = 16, IsNotNull = 17,
  Add = 20, Negate = 21, Multiply = 22, Divide = 23,
  Concat = 24, Upper = 25, Lower = 26, Trim = 27, LTrim = 28, RTrim = 29, Length = 30, Pos = 31,
  Substring = 32,
  Sum = 33, Avg = 34, Min = 35, Max = 36, Count = 37, CountAll = 38,
  SysDate = 39, CurrentDate = 40, CurrentTime = 41, ToDate = 42, ToString = 43,
  Cast = 44, LastAutoInc = 45, ToBlob = 46,
};
// The name messages print: "=", "<>", ..., "NOT", "AND", "OR", "LIKE", "NOT LIKE", "IS NULL",
// "IS NOT NULL", "+", "-", "*", "/", "||", "UPPER", ..., "COUNT(*)"; the keyword for the
// others ("IN", "NOT IN", "BETWEEN", "LENGTH", "SYSDATE", ...); "" for None.
const char* OperatorName(TTarnexExprOperator op);

// How a comparison treats nulls.
enum class TTarnexNullMode : uint8_t {
  SQLNull,      // with a null operand =, >, <, >=, <= are false and <> is true (everything parsed)
  OrderedNull,  // a null is less than any value and equal to a null (locates and key searches)
};

// ---------------------------------------------------------------------------------------------
// What a column reference reads when bound to a cursor
// ---------------------------------------------------------------------------------------------

// The side of a cursor that column references use: its fields and its current record. A
// cursor implements it (or hands out an object that does); tests use small record sources.
class TTarnexExprFieldSource {
public:
  virtual ~TTarnexExprFieldSource() = default;
  // All fields of the record layout (the numbers column references keep count in this list).
  virtual const TTarnexFieldDefs& FieldDefs() const = 0;
  // The fields the cursor exposes, under their display names; each entry's FieldNo is its
  // number in FieldDefs(). The same list as FieldDefs() when no projection is set.
  virtual const TTarnexFieldDefs& VisibleFieldDefs() const = 0;
  // The current record buffer (laid out by FieldDefs()), or nil when there is none.
  virtual const uint8_t* CurrentRecordBuffer() const = 0;
  // OUT value: the whole content of the BLOB-kind field fieldNo (number in FieldDefs()) of
  // recordBuffer, typed as the field, null when empty.
  virtual void GetBlobValue(TTarnexVariant& value, int32_t fieldNo, const uint8_t* recordBuffer) = 0;
};

// The field source of an engine cursor: its FieldDefs and VisibleFieldDefs (an empty list while
// the cursor has none), its RecordBuffer, and BLOB values read whole through the cursor's
// GetFieldValue. A BLOB of another record buffer (a work buffer the search planner binds) is
// read with that buffer standing in for RecordBuffer for the length of the read.
class TTarnexCursorFieldSource : public TTarnexExprFieldSource {
public:
  explicit TTarnexCursorFieldSource(TTarnexCursor* cursor) : Cursor_(cursor) {}

  const TTarnexFieldDefs& FieldDefs() const override;
  const TTarnexFieldDefs& VisibleFieldDefs() const override;
  const uint8_t* CurrentRecordBuffer() const override;
  void GetBlobValue(TTarnexVariant& value, int32_t fieldNo, const uint8_t* recordBuffer) override;

  TTarnexCursor* Cursor() const { return Cursor_; }

private:
  TTarnexCursor* Cursor_;  // not owned
};

// ---------------------------------------------------------------------------------------------
// Nodes
// ---------------------------------------------------------------------------------------------

// Base of every node: its children (owned), its operator code and the value of its last
// evaluation (owned; GetValue hands out this object, so evaluating allocates nothing beyond
// what the value operations themselves need). Destroying a node destroys its children.
class TTarnexExprNode {
public:
  explicit TTarnexExprNode(TTarnexExprOperator op = TTarnexExprOperator::None);
  virtual ~TTarnexExprNode();
  TTarnexExprNode(const TTarnexExprNode&) = delete;
  TTarnexExprNode& operator=(const TTarnexExprNode&) = delete;

  // --- virtual operations, in slot order ---

  // One-time preparation after binding. Base: the children.
  virtual void Prepare();
  // The node's value for the current record or row (the node's own Value object). Base:
  // "Unknown operator: '%s'" (30121) with the operator's name: only an inconsistent tree has
  // a node without an evaluation.
  virtual TTarnexVariant& GetValue();
  // True when the node or a child is an aggregate.
  virtual bool IsAggregated();
  // Start a new group / add the current row to it. Base: the children.
  virtual void InitAggregates();
  virtual void AccumulateAggregates();
  // Binding to a relational operator of the SQL layer (op: not owned). Base: the children.
  virtual void BindToOperator(TTarnexAO* op);
  // Binding to a cursor (source: not owned, must outlive the binding). Base: the children.
  virtual void BindToCursor(TTarnexExprFieldSource* source);
  // Column references read `buffer` (not owned; nil = the cursor's current record again).
  // Base: the children.
  virtual void SetRecordBuffer(const uint8_t* buffer);
  // The column type of the result. Base: the children's types folded left to right with
  // CommonFieldType; Unknown (no children, or an incompatible pair) raises 30283 "Cannot
  // determine expression type".
  virtual TTarnexFieldType GetDataType();
  // Base: for a text result (Char, WideChar, Varchar, WideVarchar, Memo, WideMemo) of "+",
  // "||" or CAST the sum of the children's sizes, a size of 0 or less counting 255; else 0.
  virtual int32_t GetDataSize();
  virtual int32_t GetPrecision();  // 0
  // Whether every column the node refers to is a column of op. Base: every child is.
  virtual bool IsApplicable(TTarnexAO* op);
  // Whether the node is an equality joining a column of left with a column of right. Base: false.
  virtual bool IsJoinCondition(TTarnexAO* left, TTarnexAO* right);
  // Takes the column names of select-list pseudonyms. Base: the children.
  virtual void ReplacePseudonyms(const std::vector<TTarnexSelectListItem>& selectList);

  int32_t ChildCount() const { return static_cast<int32_t>(Children.size()); }
  TTarnexExprNode* Child(int32_t index) const { return Children[static_cast<size_t>(index)].get(); }
  void AddChild(std::unique_ptr<TTarnexExprNode> child) { Children.push_back(std::move(child)); }

  std::vector<std::unique_ptr<TTarnexExprNode>> Children;  // owned, in operand order
  TTarnexExprOperator Operator;  // what the node computes
  TTarnexVariant Value;          // owned: the result of the last evaluation
};

// A constant; its value is set when it is built.
class TTarnexExprNodeConst : public TTarnexExprNode {
public:
  TTarnexExprNodeConst() = default;
  TTarnexVariant& GetValue() override { return Value; }
  TTarnexFieldType GetDataType() override;  // the value's data type as a column type (Unknown: Integer)
  int32_t GetDataSize() override;           // characters of a text value, else 0
  bool IsApplicable(TTarnexAO*) override { return true; }
};

// A column reference: resolved when bound to a cursor.
class TTarnexExprNodeField : public TTarnexExprNode {
public:
  TTarnexExprNodeField(std::string qualifier, std::string fieldName);

  // Reads the field of the current record (or of the buffer set by SetRecordBuffer): null
  // when the null flag is set or a text is empty; text and fixed-size values are borrowed
  // from the record buffer in place, BLOB kinds read whole through the source. Unbound:
  // 30196 "Dataset and AO not assigned".
  TTarnexVariant& GetValue() override;
  // Finds FieldName ignoring case in the source's FieldDefs, else in its VisibleFieldDefs
  // (whose entry gives the number in FieldDefs): 30115 "Field '%s' not found"; a nil source
  // raises 30202 "Value is Null".
  void BindToCursor(TTarnexExprFieldSource* source) override;
  void SetRecordBuffer(const uint8_t* buffer) override { RecordBuffer = buffer; }
  TTarnexFieldType GetDataType() override;  // FieldType once bound; 30283 before
  int32_t GetDataSize() override { return Size; }
  // SQL-layer bindings, not available in this build: 30087 "Error - operation is not supported".
  void BindToOperator(TTarnexAO* op) override;
  bool IsApplicable(TTarnexAO* op) override;
  void ReplacePseudonyms(const std::vector<TTarnexSelectListItem>& selectList) override;

  bool IsBound() const { return Source != nullptr; }

  std::string Qualifier;   // table name or alias; may be empty
  std::string FieldName;   // the name as written
  int32_t FieldNo = -1;    // number in the source's FieldDefs once bound
  TTarnexFieldType FieldType = TTarnexFieldType::Unknown;
  TTarnexDataType DataType = TTarnexDataType::Unknown;
  int32_t Size = 0;            // the field's declared size
  int32_t MemoryOffset = 0;    // where the field sits in a record buffer
  int32_t MemoryDataSize = 0;  // bytes it occupies there
  TTarnexExprFieldSource* Source = nullptr;     // not owned: the bound cursor
  const TTarnexFieldDefs* FieldDefs = nullptr;  // not owned: the source's record layout
  const uint8_t* RecordBuffer = nullptr;        // not owned: set by SetRecordBuffer, else nil
};

// =, <>, >, <, >=, <= over two children.
class TTarnexExprNodeComparison : public TTarnexExprNode {
public:
  explicit TTarnexExprNodeComparison(TTarnexExprOperator op) : TTarnexExprNode(op) {}
  // A comparison of a bound column with a constant converts the constant once to the
  // column's data type when the comparison would convert it anyway (the common data type is
  // the column's), when both are narrow or both wide text, when the column is narrow text
  // (a wide constant becomes narrow), or when both are integers and the value fits.
  void Prepare() override;
  // A Boolean, never null (see TTarnexNullMode); strings by the locale, ignoring case when
  // CaseInsensitive, only the shorter string's length when Partial.
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override { return TTarnexFieldType::Boolean; }

  bool CaseInsensitive = false;  // filters only
  bool Partial = false;          // filters and locates only
  TTarnexNullMode NullMode = TTarnexNullMode::SQLNull;
};

// NOT, AND, OR, IN (list), NOT IN, BETWEEN, NOT BETWEEN, LIKE, NOT LIKE, IS NULL, IS NOT NULL.
// NOT, AND and OR use three-valued logic (a null value is "unknown"): NOT keeps null; AND is
// false as soon as a child is false, else null when a child is null; OR is true as soon as a
// child is true, else null when one is null. IN and BETWEEN compare strings ignoring case and
// are null when the tested value (BETWEEN: any value) is null; LIKE is case-sensitive, null
// when a side is null, and needs a common text type (30120 "Not string argument in function
// '%s'" with "LIKE"). IS NULL and IS NOT NULL are never null.
// Children: NOT one; AND any number; OR two; IN the tested value then the list; BETWEEN the
// value, the lower and the upper bound; LIKE the value and the pattern; IS NULL the value.
class TTarnexExprNodeBoolean : public TTarnexExprNode {
public:
  explicit TTarnexExprNodeBoolean(TTarnexExprOperator op) : TTarnexExprNode(op) {}
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override { return TTarnexFieldType::Boolean; }
};

// "+" (n-ary, folded left to right), unary "-", "*" and "/" (two children), by the value
// arithmetic (its type promotion, null rules and errors).
class TTarnexExprNodeArithmetic : public TTarnexExprNode {
public:
  explicit TTarnexExprNodeArithmetic(TTarnexExprOperator op) : TTarnexExprNode(op) {}
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override;  // negation: its operand's; else the base fold
};

// Functions: the parse keeps what each call needs; evaluating one that the engine does not
// provide yet raises 30065 "Function '%s' is not supported" with its name.

// "||" (evaluated: the first operand as a plain string when it is not text, each further
// operand appended by the value addition), UPPER, LOWER, TRIM, LTRIM, RTRIM, LENGTH, POS,
// SUBSTRING (arguments as children).
class TTarnexExprNodeStringFunction : public TTarnexExprNode {
public:
  explicit TTarnexExprNodeStringFunction(TTarnexExprOperator op) : TTarnexExprNode(op) {}
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override;  // LENGTH, POS: Integer; "||": base; others: the first argument's
  int32_t GetDataSize() override;           // "||": base; UPPER ... SUBSTRING: the first argument's; else 0
};

// SYSDATE (also NOW, CURRENT_TIMESTAMP), CURRENT_DATE, CURRENT_TIME, TODATE, TOSTRING.
class TTarnexExprNodeDateFunction : public TTarnexExprNode {
public:
  explicit TTarnexExprNodeDateFunction(TTarnexExprOperator op) : TTarnexExprNode(op) {}
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override;  // TOSTRING: Varchar; the others DateTime
  std::string DateFormat;  // TODATE, TOSTRING: the quoted format
};

// TOBLOB('text' [, HEX | MIME64]).
class TTarnexExprNodeBLOBFunction : public TTarnexExprNode {
public:
  TTarnexExprNodeBLOBFunction() : TTarnexExprNode(TTarnexExprOperator::ToBlob) {}
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override { return TTarnexFieldType::BLOB; }
  std::string Text;    // the quoted text as written
  uint8_t Format = 0;  // 0 MIME64 (the default), 1 HEX
};

// CAST(value AS type).
class TTarnexExprNodeCast : public TTarnexExprNode {
public:
  TTarnexExprNodeCast() : TTarnexExprNode(TTarnexExprOperator::Cast) {}
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override { return TargetType; }
  TTarnexFieldType TargetType = TTarnexFieldType::Unknown;
};

// SUM, AVG, MIN, MAX, COUNT (the argument as the child) and COUNT(*) (no child).
class TTarnexExprNodeAggregated : public TTarnexExprNode {
public:
  explicit TTarnexExprNodeAggregated(TTarnexExprOperator op) : TTarnexExprNode(op) {}
  TTarnexVariant& GetValue() override;
  bool IsAggregated() override { return true; }
  void InitAggregates() override;        // 30065 until aggregates are provided
  void AccumulateAggregates() override;  // 30065 likewise
  TTarnexFieldType GetDataType() override;
  bool Distinct = false;
};

// LASTAUTOINC([MEMORY] table, column).
class TTarnexExprNodeSystem : public TTarnexExprNode {
public:
  TTarnexExprNodeSystem() : TTarnexExprNode(TTarnexExprOperator::LastAutoInc) {}
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override;  // 30283 until the table is opened
  bool InMemory = false;
  std::string TableName;
  std::string ColumnName;
};

// A scalar subquery "( SELECT ... )", kept as text; running it needs the query layer:
// evaluating raises 30088 "Error - operation is not supported".
class TTarnexExprNodeSubQuery : public TTarnexExprNode {
public:
  explicit TTarnexExprNodeSubQuery(std::string sqlText,
                                   TTarnexExprOperator op = TTarnexExprOperator::None)
      : TTarnexExprNode(op), SQLText(std::move(sqlText)) {}
  TTarnexVariant& GetValue() override;
  TTarnexFieldType GetDataType() override;  // 30088 likewise
  // The tokens from SELECT to before the matching ')', joined with single spaces; bracketed
  // names in brackets, quoted strings in single quotes (inner ones doubled), parameters with
  // their colon, and no space around a '.'.
  std::string SQLText;
};
// value [NOT] IN (SELECT ...): the tested value is the child; Operator In or NotIn.
class TTarnexExprNodeSubQueryIN : public TTarnexExprNodeSubQuery {
public:
  using TTarnexExprNodeSubQuery::TTarnexExprNodeSubQuery;
  TTarnexFieldType GetDataType() override { return TTarnexFieldType::Boolean; }
};
// EXISTS (SELECT ...); NOT EXISTS is a NOT node above it.
class TTarnexExprNodeSubQueryExists : public TTarnexExprNodeSubQuery {
public:
  using TTarnexExprNodeSubQuery::TTarnexExprNodeSubQuery;
  TTarnexFieldType GetDataType() override { return TTarnexFieldType::Boolean; }
};

// ---------------------------------------------------------------------------------------------
// Expression
// ---------------------------------------------------------------------------------------------

// A parsed condition or value, bound to a cursor, evaluated any number of times.
//
// Parse errors (ETarnexException, at the line and column of the offending token) include:
//   30066 / 30068 / 30069 / 30070 "Boolean expression expected, but '%s' found at line %d,
//         column %d" (at the start / after NOT / after AND / after OR)
//   30067 "Token '%s' expected, but '%s' found ..." with "TRUE, FALSE or UNKNOWN" after IS
//   30071 the same with ")" after "( value"; 30064 the same after "( condition"
//   30063 "Unexpected token '%s' found at line %d, column %d"  text left after a filter
//   30072 "Expression is too complex at line %d, column %d"  nesting deeper than 128, or
//         more backtracking than any real expression needs
//   the call syntax errors of the functions (30073 ... 30109, 30334, 11345 ... 11348, 30076,
//   30077); number literals out of range raise the value conversion error 30051.
// Grammar quirks kept on purpose: a '(' where a condition may start always opens a nested
// condition, so "(a + 1) > 2" fails while "2 < (a + 1)" parses; a column named like a
// reserved word is written in brackets ([count]); TRUE, FALSE and Boolean parameters are
// conditions of their own.
class TTarnexExpression {
public:
  TTarnexExpression();
  ~TTarnexExpression();  // frees the tree, moved comparisons and their key buffers
  TTarnexExpression(const TTarnexExpression&) = delete;
  TTarnexExpression& operator=(const TTarnexExpression&) = delete;

  // Comparison options of the comparisons parsed or built afterwards.
  bool CaseInsensitive() const { return CaseInsensitive_; }
  void SetCaseInsensitive(bool value) { CaseInsensitive_ = value; }
  // With it, a string constant ending in '*' on either side of a comparison loses the '*'
  // and makes the comparison partial (filters).
  bool Partial() const { return Partial_; }
  void SetPartial(bool value) { Partial_ = value; }
  TTarnexNullMode NullMode() const { return NullMode_; }
  void SetNullMode(TTarnexNullMode value) { NullMode_ = value; }

  // Context of the query that owns the expression, for subqueries and LASTAUTOINC.
  std::string DatabaseName;
  std::string SessionName;
  bool InMemory = false;
  TTarnexSQLParams* Params = nullptr;  // not owned, may be nil

  // Parses text as a filter (a one-command script without parameters; text after the
  // condition is 30063), binds it to cursor and prepares it. No token: 30119 "Blank SQL
  // command". Replaces any previous tree; after an error the expression is empty.
  void ParseFilter(TTarnexExprFieldSource* cursor, const std::string& text, bool caseInsensitive, bool partial);
  // The same for an engine cursor (read through a TTarnexCursorFieldSource this expression owns).
  void ParseFilter(TTarnexCursor* cursor, const std::string& text, bool caseInsensitive, bool partial);
  // Parses a search condition from lexer's current token on (no token: 30118 "Unexpected
  // end of SQL command found at line %d, column %d") and leaves the lexer on the token after
  // it. A root AND then absorbs the children of the AND nodes among its children, so the
  // top level is one flat AND list. Prepared when a cursor is bound.
  void ParseCondition(TTarnexLexer& lexer);
  // Parses one value expression at the current token (no token: 30136, same message); the
  // root stays nil when none parses (the caller checks IsEmpty).
  void ParseValue(TTarnexLexer& lexer);
  // The root becomes name = value for one field or an AND of such comparisons (ordered
  // nulls, the given options), bound to cursor. fieldNames: separated by ';', trimmed and
  // upper-cased. keyValues: one value per name. Count mismatch: 30112 "Count of FieldNames
  // (%d) not equal counts of KeyValues (%d)".
  void BuildLocateCondition(TTarnexExprFieldSource* cursor, const std::string& fieldNames,
                            const std::vector<Variant>& keyValues, bool caseInsensitive, bool partial);
  void BuildLocateCondition(TTarnexCursor* cursor, const std::string& fieldNames,
                            const std::vector<Variant>& keyValues, bool caseInsensitive, bool partial);
  // The root becomes an AND of "column = value" comparisons (ordered nulls), one per column
  // of index, bound to cursor, the values read from sourceCursor's current record: column i of
  // the index takes sourceFields[i] of the source (the index's own column names when
  // sourceFields is empty). A null value adds no comparison unless partialKey, which also
  // makes every comparison partial.
  void BuildKeyCondition(TTarnexExprFieldSource* cursor, TTarnexExprFieldSource* sourceCursor,
                         const TTarnexIndexDef& index, const std::vector<std::string>& sourceFields,
                         bool partialKey);
  void BuildKeyCondition(TTarnexCursor* cursor, TTarnexCursor* sourceCursor, const TTarnexIndexDef& index,
                         const std::vector<std::string>& sourceFields, bool partialKey);

  // The root's value (the root node's own object). Not nullAllowed: a null result becomes
  // false. No root: 30110 "Value is Null".
  TTarnexVariant& GetValue(bool nullAllowed);
  // The root's value as a Boolean, null counting as false. No root: 30110.
  bool IsTrue();

  // Applied to the root (no root: false or 0). Binding also prepares the root.
  bool IsAggregated();
  void InitAggregates();
  void AccumulateAggregates();
  void BindToOperator(TTarnexAO* op);  // 30087 "Error - operation is not supported" for now
  // A binding that fails (a field not found, no cursor) leaves the expression empty.
  void BindToCursor(TTarnexExprFieldSource* cursor);
  void BindToCursor(TTarnexCursor* cursor);  // through an owned TTarnexCursorFieldSource
  void SetRecordBuffer(const uint8_t* buffer);  // also given to comparisons put back later
  TTarnexFieldType GetDataType();
  int32_t GetDataSize();
  int32_t GetPrecision();

  bool IsEmpty() const { return Root_ == nullptr; }
  bool IsFieldReference() const;
  // OUT qualifier, column: the root's names when it is a column reference; else 30198 "Node
  // is not field".
  void GetFieldName(std::string& qualifier, std::string& column) const;
  // Appends node to the root AND; becomes the root when there is none; a root of another
  // kind and node become the two children of a new root AND.
  void AddComparison(std::unique_ptr<TTarnexExprNode> node);

  // SQL-layer operations, not available in this build: 30087 "Error - operation is not
  // supported".
  void DistributeOverOperator(TTarnexAO* op, bool forHaving);
  void ReplacePseudonyms(const std::vector<TTarnexSelectListItem>& selectList);
  int32_t ExtractJoinKeys(TTarnexAO* left, TTarnexAO* right, std::vector<std::string>& firstColumns,
                          std::vector<std::string>& secondColumns);

  // Moves every comparison of a bound column with a non-null constant that an index can serve
  // (the root, or the comparisons directly under a root AND) into a key condition appended to
  // conditions: the first index of indexDefs whose first column is the column (names ignoring
  // case), of the same case mode as the comparison for text, when the comparison is not
  // partial, is =, >, <, >= or <=, the constant fits the column (text no longer than its
  // size), converts to the column's type exactly and orders as the column does. The key
  // buffer (a record buffer holding the constant, every other field null) is owned by this
  // expression until the comparison is put back. Relations: =, >, <, >=, <= give Equal,
  // Greater, Less, GreaterOrEqual, LessOrEqual, mirrored first when the column is on the
  // right and swapped for a descending first column. The comparison leaves the tree (a root
  // AND left without children is dropped; the expression may become empty, which its callers
  // skip); a SQL-null "<" or "<=" (after mirroring), whose key range would also take the
  // records where the column is null, stays in the tree as well, so those records are still
  // refused. Each move is recorded in undo (Moved, Comparison, this).
  void ExtractIndexConditions(const TTarnexIndexDefs& indexDefs, TTarnexScanSearchConditionArray& conditions,
                              TTarnexIndexConditionUndoList& undo);
  // Puts a comparison moved by ExtractIndexConditions back where it was and frees its key
  // buffer; comparisons are put back in the reverse order of their moves. False when this
  // expression holds no such moved comparison.
  bool RestoreComparison(TTarnexExprNode* comparison);
  // Whether the root, or a comparison directly under a root AND, is "column = constant" on a
  // Char, Varchar, WideChar or WideVarchar column with a text constant longer than the column
  // (and not partial): the condition can never be true.
  bool HasOverlongStringEquality() const;

  TTarnexExprNode* Root() const { return Root_.get(); }  // not owned by the caller; may be nil
  TTarnexExprFieldSource* Cursor() const { return Cursor_; }  // nil when unbound
  // The engine cursor when bound through one of the TTarnexCursor overloads, else nil.
  TTarnexCursor* BoundCursor() const;

private:
  class TParser;
  friend class TParser;

  // A comparison taken out of the tree by ExtractIndexConditions.
  struct TMovedComparison {
    std::unique_ptr<TTarnexExprNode> Detached;  // owned while out of the tree; nil when kept in it
    TTarnexExprNode* Node = nullptr;            // the comparison
    int32_t Position = -1;                      // its index under the root AND; -1 = it was the root
    uint8_t* KeyBuffer = nullptr;               // owned (memory manager): the key condition's buffer
  };

  void FlattenRootAnd();
  void PrepareIfBound();
  void FreeMoved(TMovedComparison& moved);
  // The source for cursor: nil for nil, else a TTarnexCursorFieldSource kept in `keep`.
  static TTarnexExprFieldSource* SourceFor(TTarnexCursor* cursor, std::unique_ptr<TTarnexCursorFieldSource>& keep);

  std::unique_ptr<TTarnexExprNode> Root_;      // owned; nil for an empty expression
  TTarnexLexer* Lexer_ = nullptr;              // not owned: the lexer while parsing
  TToken CurrentToken_;                        // the current token while parsing
  TTarnexExprFieldSource* Cursor_ = nullptr;   // not owned: the bound cursor (or CursorSource_)
  std::unique_ptr<TTarnexCursorFieldSource> CursorSource_;  // owned: the source over a bound engine cursor
  const uint8_t* RecordBuffer_ = nullptr;      // not owned: the buffer set by SetRecordBuffer
  bool CaseInsensitive_ = false;
  bool Partial_ = false;
  TTarnexNullMode NullMode_ = TTarnexNullMode::SQLNull;
  std::vector<TMovedComparison> Moved_;        // comparisons moved into key conditions, in order
};
