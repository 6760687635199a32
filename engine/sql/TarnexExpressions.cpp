// Expression nodes and their evaluation, binding to a cursor, the built conditions (locate,
// key) and the moving of comparisons into key conditions. The grammar is in
// TarnexExpressionsParser.cpp.
#include "engine/sql/TarnexExpressions.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/TarnexBaseDefs.h"
#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/SysUtils.h"

namespace {

using DT = TTarnexDataType;
using OP = TTarnexExprOperator;

[[noreturn]] void NotSupported(int32_t code) { throw ETarnexException(code, "Error - operation is not supported"); }

[[noreturn]] void FunctionNotSupported(TTarnexExprOperator op) {
  throw ETarnexException(30065, "Function '%s' is not supported", {std::string(OperatorName(op))});
}

bool IsNarrowTextType(DT t) { return t == DT::Char || t == DT::Varchar || t == DT::Memo; }
bool IsWideTextType(DT t) { return t == DT::WideChar || t == DT::WideVarchar || t == DT::WideMemo; }

// A Boolean child result: -1 unknown (null), 0 false, 1 true.
int BooleanOf(TTarnexExprNode& node) {
  TTarnexVariant& v = node.GetValue();
  if (v.IsNull()) return -1;
  if (v.DataType() == DT::Boolean && v.Size() >= 2) {
    int16_t raw = 0;
    std::memcpy(&raw, v.Data(), 2);
    return raw != 0 ? 1 : 0;
  }
  return v.AsBoolean() ? 1 : 0;
}

void SetBooleanResult(TTarnexVariant& value, int result) {
  if (result < 0) {
    if (value.DataType() != DT::Boolean) value.Clear(DT::Boolean);
    value.SetNull();
  } else {
    value.SetAsBoolean(result != 0);
  }
}

// Copies source into target, reusing target's own buffer when it is of the same size.
void CopyValue(TTarnexVariant& target, const TTarnexVariant& source) {
  if (source.IsNull()) {
    target.Clear(source.DataType());
    return;
  }
  if (target.IsBorrowed()) target.Clear(source.DataType());
  target.SetBuffer(source.Data(), source.Size(), true, source.DataType());
}

// Equality of two values in the SQL-null sense used by IN: false when either is null.
bool EqualIgnoringCase(const TTarnexVariant& a, const TTarnexVariant& b) {
  return a.Compare(b, true, false, true) == TarnexCompareEqual;
}

}  // namespace

const char* OperatorName(TTarnexExprOperator op) {
  switch (op) {
    case OP::None: return "";
    case OP::Equal: return "=";
    case OP::NotEqual: return "<>";
    case OP::Greater: return ">";
    case OP::Less: return "<";
    case OP::GreaterOrEqual: return ">=";
    case OP::LessOrEqual: return "<=";
    case OP::Not: return "NOT";
    case OP::And: return "AND";
    case OP::Or: return "OR";
    case OP::In: return "IN";
    case OP::NotIn: return "NOT IN";
    case OP::Between: return "BETWEEN";
    case OP::NotBetween: return "NOT BETWEEN";
    case OP::Like: return "LIKE";
    case OP::NotLike: return "NOT LIKE";
    case OP::IsNull: return "IS NULL";
    case OP::IsNotNull: return "IS NOT NULL";
    case OP::Add: return "+";
    case OP::Negate: return "-";
    case OP::Multiply: return "*";
    case OP::Divide: return "/";
    case OP::Concat: return "||";
    case OP::Upper: return "UPPER";
    case OP::Lower: return "LOWER";
    case OP::Trim: return "TRIM";
    case OP::LTrim: return "LTRIM";
    case OP::RTrim: return "RTRIM";
    case OP::Length: return "LENGTH";
    case OP::Pos: return "POS";
    case OP::Substring: return "SUBSTRING";
    case OP::Sum: return "SUM";
    case OP::Avg: return "AVG";
    case OP::Min: return "MIN";
    case OP::Max: return "MAX";
    case OP::Count: return "COUNT";
    case OP::CountAll: return "COUNT(*)";
    case OP::SysDate: return "SYSDATE";
    case OP::CurrentDate: return "CURRENT_DATE";
    case OP::CurrentTime: return "CURRENT_TIME";
    case OP::ToDate: return "TODATE";
    case OP::ToString: return "TOSTRING";
    case OP::Cast: return "CAST";
    case OP::LastAutoInc: return "LASTAUTOINC";
    case OP::ToBlob: return "TOBLOB";
  }
  return "";
}

// ---------------------------------------------------------------------------------------------
// Base node
// ---------------------------------------------------------------------------------------------

TTarnexExprNode::TTarnexExprNode(TTarnexExprOperator op) : Operator(op) {}
TTarnexExprNode::~TTarnexExprNode() = default;

void TTarnexExprNode::Prepare() {
  for (auto& child : Children) child->Prepare();
}

TTarnexVariant& TTarnexExprNode::GetValue() {
  throw ETarnexException(30121, "Unknown operator: '%s'", {std::string(OperatorName(Operator))});
}

bool TTarnexExprNode::IsAggregated() {
  for (auto& child : Children)
    if (child->IsAggregated()) return true;
  return false;
}

void TTarnexExprNode::InitAggregates() {
  for (auto& child : Children) child->InitAggregates();
}

void TTarnexExprNode::AccumulateAggregates() {
  for (auto& child : Children) child->AccumulateAggregates();
}

void TTarnexExprNode::BindToOperator(TTarnexAO* op) {
  for (auto& child : Children) child->BindToOperator(op);
}

void TTarnexExprNode::BindToCursor(TTarnexExprFieldSource* source) {
  for (auto& child : Children) child->BindToCursor(source);
}

void TTarnexExprNode::SetRecordBuffer(const uint8_t* buffer) {
  for (auto& child : Children) child->SetRecordBuffer(buffer);
}

TTarnexFieldType TTarnexExprNode::GetDataType() {
  TTarnexFieldType type = TTarnexFieldType::Unknown;
  for (size_t i = 0; i < Children.size(); ++i) {
    TTarnexFieldType t = Children[i]->GetDataType();
    type = i == 0 ? t : CommonFieldType(type, t);
    if (type == TTarnexFieldType::Unknown) break;
  }
  if (type == TTarnexFieldType::Unknown) throw ETarnexException(30283, "Cannot determine expression type");
  return type;
}

int32_t TTarnexExprNode::GetDataSize() {
  if (Operator != OP::Add && Operator != OP::Concat && Operator != OP::Cast) return 0;
  if (!IsTextDataType(FieldTypeToDataType(GetDataType()))) return 0;
  int32_t size = 0;
  for (auto& child : Children) {
    int32_t s = child->GetDataSize();
    size += s <= 0 ? 255 : s;
  }
  return size;
}

int32_t TTarnexExprNode::GetPrecision() { return 0; }

bool TTarnexExprNode::IsApplicable(TTarnexAO* op) {
  for (auto& child : Children)
    if (!child->IsApplicable(op)) return false;
  return true;
}

bool TTarnexExprNode::IsJoinCondition(TTarnexAO*, TTarnexAO*) { return false; }

void TTarnexExprNode::ReplacePseudonyms(const std::vector<TTarnexSelectListItem>& selectList) {
  for (auto& child : Children) child->ReplacePseudonyms(selectList);
}

// ---------------------------------------------------------------------------------------------
// Constants and column references
// ---------------------------------------------------------------------------------------------

TTarnexFieldType TTarnexExprNodeConst::GetDataType() {
  if (Value.DataType() == DT::Unknown) return TTarnexFieldType::Integer;
  TTarnexFieldType t = DataTypeToFieldType(Value.DataType());
  if (t == TTarnexFieldType::Unknown) throw ETarnexException(30283, "Cannot determine expression type");
  return t;
}

int32_t TTarnexExprNodeConst::GetDataSize() { return std::max(Value.TextLength(), 0); }

TTarnexExprNodeField::TTarnexExprNodeField(std::string qualifier, std::string fieldName)
    : Qualifier(std::move(qualifier)), FieldName(std::move(fieldName)) {}

void TTarnexExprNodeField::BindToCursor(TTarnexExprFieldSource* source) {
  if (source == nullptr) throw ETarnexException(30202, "Value is Null");
  const TTarnexFieldDefs& fields = source->FieldDefs();
  int32_t no = fields.IndexOfName(FieldName);
  if (no < 0) {
    const TTarnexFieldDefs& visible = source->VisibleFieldDefs();
    int32_t v = visible.IndexOfName(FieldName);
    if (v >= 0) no = visible.Items(v)->FieldNo;
    if (no < 0 || no >= fields.Count()) throw ETarnexException(30115, "Field '%s' not found", {FieldName});
  }
  const TTarnexFieldDef* field = fields.Items(no);
  FieldNo = no;
  FieldType = field->FieldType;
  DataType = field->DataType;
  Size = field->Size;
  MemoryOffset = field->MemoryOffset;
  MemoryDataSize = field->MemoryDataSize;
  Source = source;
  FieldDefs = &fields;
  Value.Clear(DataType);
}

TTarnexVariant& TTarnexExprNodeField::GetValue() {
  if (Source == nullptr) throw ETarnexException(30196, "Dataset and AO not assigned");
  const uint8_t* record = RecordBuffer != nullptr ? RecordBuffer : Source->CurrentRecordBuffer();
  if (record == nullptr || GetNullFlag(record, FieldNo)) {
    Value.Clear(DataType);
    return Value;
  }
  if (IsBLOBDataType(DataType)) {
    Source->GetBlobValue(Value, FieldNo, record);
    return Value;
  }
  const uint8_t* slot = record + MemoryOffset;
  if (slot == Value.Data()) Value.Clear(DataType);  // a borrow of the same bytes is renewed in full
  if (IsNarrowTextType(DataType)) {
    size_t length = strnlen(reinterpret_cast<const char*>(slot), static_cast<size_t>(MemoryDataSize));
    if (length == 0) {
      Value.Clear(DataType);
    } else if (length < static_cast<size_t>(MemoryDataSize)) {
      Value.SetBuffer(slot, static_cast<int32_t>(length) + 1, false, DataType);
    } else {  // no terminator in the slot: an owned, terminated copy
      std::string text(reinterpret_cast<const char*>(slot), length);
      Value.Clear(DataType);
      Value.SetBuffer(text.c_str(), static_cast<int32_t>(length) + 1, true, DataType);
    }
    return Value;
  }
  if (IsWideTextType(DataType)) {
    int32_t units = MemoryDataSize / 2, length = 0;
    while (length < units && (slot[2 * length] | slot[2 * length + 1]) != 0) ++length;
    if (length == 0) {
      Value.Clear(DataType);
    } else if (length < units) {
      Value.SetBuffer(slot, (length + 1) * 2, false, DataType);
    } else {
      std::vector<uint8_t> text(slot, slot + length * 2);
      text.push_back(0);
      text.push_back(0);
      Value.Clear(DataType);
      Value.SetBuffer(text.data(), static_cast<int32_t>(text.size()), true, DataType);
    }
    return Value;
  }
  Value.SetBuffer(slot, MemoryDataSize, false, DataType);
  return Value;
}

TTarnexFieldType TTarnexExprNodeField::GetDataType() {
  if (Source == nullptr) throw ETarnexException(30283, "Cannot determine expression type");
  return FieldType;
}

void TTarnexExprNodeField::BindToOperator(TTarnexAO*) { NotSupported(30087); }
bool TTarnexExprNodeField::IsApplicable(TTarnexAO*) { NotSupported(30087); }
void TTarnexExprNodeField::ReplacePseudonyms(const std::vector<TTarnexSelectListItem>&) { NotSupported(30087); }

// ---------------------------------------------------------------------------------------------
// Comparison
// ---------------------------------------------------------------------------------------------

void TTarnexExprNodeComparison::Prepare() {
  TTarnexExprNode::Prepare();
  if (Children.size() != 2) return;
  auto* field = dynamic_cast<TTarnexExprNodeField*>(Children[0].get());
  auto* constant = dynamic_cast<TTarnexExprNodeConst*>(Children[1].get());
  bool fieldLeft = true;
  if (field == nullptr || constant == nullptr) {
    field = dynamic_cast<TTarnexExprNodeField*>(Children[1].get());
    constant = dynamic_cast<TTarnexExprNodeConst*>(Children[0].get());
    fieldLeft = false;
  }
  if (field == nullptr || constant == nullptr || !field->IsBound()) return;
  TTarnexVariant& value = constant->Value;
  const DT f = field->DataType, c = value.DataType();
  if (value.IsNull() || f == c || c == DT::Unknown || IsBLOBDataType(f)) return;
  const DT common = fieldLeft ? CommonDataType(f, c) : CommonDataType(c, f);
  bool convert = common == f || (IsNarrowTextType(f) && IsNarrowTextType(c)) ||
                 (IsWideTextType(f) && IsWideTextType(c)) || (IsNarrowTextType(f) && IsWideTextType(c)) ||
                 (IsIntegerDataType(f) && IsIntegerDataType(c));
  if (!convert) return;
  TTarnexVariant converted;
  try {
    converted.Assign(value, true);
    converted.ConvertTo(f);
  } catch (const Exception&) {
    return;  // evaluation reports the failure where it occurs
  }
  value.Assign(converted, true);
}

TTarnexVariant& TTarnexExprNodeComparison::GetValue() {
  if (Children.size() != 2) return TTarnexExprNode::GetValue();
  TTarnexVariant& left = Children[0]->GetValue();
  TTarnexVariant& right = Children[1]->GetValue();
  int32_t code = left.Compare(right, true, Partial, CaseInsensitive);
  if (code >= TarnexCompareFirstNull && NullMode == TTarnexNullMode::SQLNull) {
    Value.SetAsBoolean(Operator == OP::NotEqual);
    return Value;
  }
  int32_t order;  // -1, 0, +1
  switch (code) {
    case TarnexCompareEqual: case TarnexCompareBothNull: order = 0; break;
    case TarnexCompareLess: case TarnexCompareFirstNull: order = -1; break;
    default: order = 1; break;
  }
  bool result;
  switch (Operator) {
    case OP::Equal: result = order == 0; break;
    case OP::NotEqual: result = order != 0; break;
    case OP::Greater: result = order > 0; break;
    case OP::Less: result = order < 0; break;
    case OP::GreaterOrEqual: result = order >= 0; break;
    case OP::LessOrEqual: result = order <= 0; break;
    default: return TTarnexExprNode::GetValue();
  }
  Value.SetAsBoolean(result);
  return Value;
}

// ---------------------------------------------------------------------------------------------
// Boolean operators
// ---------------------------------------------------------------------------------------------

namespace {

// LIKE of two non-null values with a common text type.
bool LikeValues(const TTarnexVariant& text, const TTarnexVariant& pattern) {
  DT common = CommonDataType(text.DataType(), pattern.DataType());
  if (!IsTextDataType(common)) throw ETarnexException(30120, "Not string argument in function '%s'", {"LIKE"});
  if (IsWideTextType(common)) {
    auto view = [](const TTarnexVariant& v, std::u16string& store) -> std::u16string_view {
      if (IsWideTextType(v.DataType()) && v.Size() >= 2) {
        store.assign(static_cast<size_t>(v.Size() / 2 - 1), u'\0');
        std::memcpy(store.data(), v.Data(), store.size() * 2);
      } else {
        store = v.AsWideString();
      }
      return store;
    };
    std::u16string a, b;
    return LikeMatchW(view(text, a), view(pattern, b), false);
  }
  auto view = [](const TTarnexVariant& v, std::string& store) -> std::string_view {
    if (IsNarrowTextType(v.DataType()) && v.Size() >= 1)
      return std::string_view(static_cast<const char*>(v.Data()), static_cast<size_t>(v.Size() - 1));
    store = v.AsString();
    return store;
  };
  std::string a, b;
  return LikeMatch(view(text, a), view(pattern, b), false);
}

}  // namespace

TTarnexVariant& TTarnexExprNodeBoolean::GetValue() {
  int result = 0;
  switch (Operator) {
    case OP::Not: {
      int v = BooleanOf(*Child(0));
      result = v < 0 ? -1 : 1 - v;
      break;
    }
    case OP::And: {
      result = 1;
      for (auto& child : Children) {
        int v = BooleanOf(*child);
        if (v == 0) {
          result = 0;
          break;
        }
        if (v < 0) result = -1;
      }
      break;
    }
    case OP::Or: {
      result = 0;
      for (auto& child : Children) {
        int v = BooleanOf(*child);
        if (v == 1) {
          result = 1;
          break;
        }
        if (v < 0) result = -1;
      }
      break;
    }
    case OP::In: case OP::NotIn: {
      TTarnexVariant& tested = Child(0)->GetValue();
      if (tested.IsNull()) {
        result = -1;
        break;
      }
      result = 0;
      for (size_t i = 1; i < Children.size() && result == 0; ++i)
        if (EqualIgnoringCase(tested, Children[i]->GetValue())) result = 1;
      if (Operator == OP::NotIn) result = 1 - result;
      break;
    }
    case OP::Between: case OP::NotBetween: {
      TTarnexVariant& v = Child(0)->GetValue();
      TTarnexVariant& low = Child(1)->GetValue();
      TTarnexVariant& high = Child(2)->GetValue();
      if (v.IsNull() || low.IsNull() || high.IsNull()) {
        result = -1;
        break;
      }
      result = v.Compare(low, true, false, true) != TarnexCompareLess &&
               v.Compare(high, true, false, true) != TarnexCompareGreater;
      if (Operator == OP::NotBetween) result = 1 - result;
      break;
    }
    case OP::Like: case OP::NotLike: {
      TTarnexVariant& text = Child(0)->GetValue();
      TTarnexVariant& pattern = Child(1)->GetValue();
      if (text.IsNull() || pattern.IsNull()) {
        result = -1;
        break;
      }
      result = LikeValues(text, pattern) ? 1 : 0;
      if (Operator == OP::NotLike) result = 1 - result;
      break;
    }
    case OP::IsNull: result = Child(0)->GetValue().IsNull() ? 1 : 0; break;
    case OP::IsNotNull: result = Child(0)->GetValue().IsNull() ? 0 : 1; break;
    default: return TTarnexExprNode::GetValue();
  }
  SetBooleanResult(Value, result);
  return Value;
}

// ---------------------------------------------------------------------------------------------
// Arithmetic and strings
// ---------------------------------------------------------------------------------------------

TTarnexVariant& TTarnexExprNodeArithmetic::GetValue() {
  if (Children.empty()) return TTarnexExprNode::GetValue();
  switch (Operator) {
    case OP::Add:
      CopyValue(Value, Child(0)->GetValue());
      for (size_t i = 1; i < Children.size(); ++i) Value.Add(Children[i]->GetValue());
      return Value;
    case OP::Negate:
      CopyValue(Value, Child(0)->GetValue());
      Value.Negate();
      return Value;
    case OP::Multiply: case OP::Divide:
      if (Children.size() != 2) break;
      CopyValue(Value, Child(0)->GetValue());
      if (Operator == OP::Multiply) Value.Multiply(Child(1)->GetValue());
      else Value.Divide(Child(1)->GetValue());
      return Value;
    default: break;
  }
  return TTarnexExprNode::GetValue();
}

TTarnexFieldType TTarnexExprNodeArithmetic::GetDataType() {
  if (Operator == OP::Negate && Children.size() == 1) return Child(0)->GetDataType();
  return TTarnexExprNode::GetDataType();
}

TTarnexVariant& TTarnexExprNodeStringFunction::GetValue() {
  if (Operator != OP::Concat) FunctionNotSupported(Operator);
  if (Children.empty()) return TTarnexExprNode::GetValue();
  TTarnexVariant& first = Child(0)->GetValue();
  if (first.IsText() || first.IsNull()) {
    CopyValue(Value, first);
    if (!first.IsText()) Value.Clear(DT::Varchar);
  } else {
    std::string text = first.AsString();
    Value.Clear(DT::Varchar);
    Value.SetAsString(text);
  }
  for (size_t i = 1; i < Children.size(); ++i) Value.Add(Children[i]->GetValue());
  return Value;
}

TTarnexFieldType TTarnexExprNodeStringFunction::GetDataType() {
  switch (Operator) {
    case OP::Length: case OP::Pos: return TTarnexFieldType::Integer;
    case OP::Concat: return TTarnexExprNode::GetDataType();
    default:
      if (Children.empty()) throw ETarnexException(30283, "Cannot determine expression type");
      return Child(0)->GetDataType();
  }
}

int32_t TTarnexExprNodeStringFunction::GetDataSize() {
  switch (Operator) {
    case OP::Concat: return TTarnexExprNode::GetDataSize();
    case OP::Upper: case OP::Lower: case OP::Trim: case OP::LTrim: case OP::RTrim: case OP::Substring:
      return Children.empty() ? 0 : Child(0)->GetDataSize();
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Functions provided by the function library
// ---------------------------------------------------------------------------------------------

TTarnexVariant& TTarnexExprNodeDateFunction::GetValue() { FunctionNotSupported(Operator); }

TTarnexFieldType TTarnexExprNodeDateFunction::GetDataType() {
  return Operator == OP::ToString ? TTarnexFieldType::Varchar : TTarnexFieldType::DateTime;
}

TTarnexVariant& TTarnexExprNodeBLOBFunction::GetValue() { FunctionNotSupported(Operator); }
TTarnexVariant& TTarnexExprNodeCast::GetValue() { FunctionNotSupported(Operator); }
TTarnexVariant& TTarnexExprNodeAggregated::GetValue() { FunctionNotSupported(Operator); }
void TTarnexExprNodeAggregated::InitAggregates() { FunctionNotSupported(Operator); }
void TTarnexExprNodeAggregated::AccumulateAggregates() { FunctionNotSupported(Operator); }

TTarnexFieldType TTarnexExprNodeAggregated::GetDataType() {
  switch (Operator) {
    case OP::Count: case OP::CountAll: return TTarnexFieldType::Integer;
    case OP::Avg: return TTarnexFieldType::Double;
    case OP::Sum: {
      TTarnexFieldType t = Children.empty() ? TTarnexFieldType::Unknown : Child(0)->GetDataType();
      if (t == TTarnexFieldType::Single || t == TTarnexFieldType::Double || t == TTarnexFieldType::Extended ||
          t == TTarnexFieldType::Currency)
        return t;
      return TTarnexFieldType::LargeInt;
    }
    default: return TTarnexExprNode::GetDataType();
  }
}

TTarnexVariant& TTarnexExprNodeSystem::GetValue() { FunctionNotSupported(Operator); }
TTarnexFieldType TTarnexExprNodeSystem::GetDataType() {
  throw ETarnexException(30283, "Cannot determine expression type");
}

TTarnexVariant& TTarnexExprNodeSubQuery::GetValue() { NotSupported(30088); }
TTarnexFieldType TTarnexExprNodeSubQuery::GetDataType() { NotSupported(30088); }

// ---------------------------------------------------------------------------------------------
// Expression
// ---------------------------------------------------------------------------------------------

TTarnexExpression::TTarnexExpression() = default;

TTarnexExpression::~TTarnexExpression() {
  for (auto& moved : Moved_) FreeMoved(moved);
}

void TTarnexExpression::FreeMoved(TMovedComparison& moved) {
  if (moved.KeyBuffer != nullptr) {
    try {
      MemoryManager().FreeAndNillMem(moved.KeyBuffer);
    } catch (...) {
      moved.KeyBuffer = nullptr;  // an overrun report cannot leave here; the block is released
    }
  }
  moved.Detached.reset();
}

void TTarnexExpression::PrepareIfBound() {
  if (Root_ && Cursor_ != nullptr) Root_->Prepare();
}

void TTarnexExpression::FlattenRootAnd() {
  if (!Root_ || Root_->Operator != OP::And || dynamic_cast<TTarnexExprNodeBoolean*>(Root_.get()) == nullptr) return;
  auto& children = Root_->Children;
  for (size_t i = 0; i < children.size();) {
    TTarnexExprNode* child = children[i].get();
    if (child->Operator == OP::And && dynamic_cast<TTarnexExprNodeBoolean*>(child) != nullptr) {
      std::unique_ptr<TTarnexExprNode> inner = std::move(children[i]);
      children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
      for (auto& grandChild : inner->Children) children.push_back(std::move(grandChild));
    } else {
      ++i;
    }
  }
}

TTarnexVariant& TTarnexExpression::GetValue(bool nullAllowed) {
  if (!Root_) throw ETarnexException(30110, "Value is Null");
  TTarnexVariant& value = Root_->GetValue();
  if (value.IsNull() && !nullAllowed) {
    value.Clear(DT::Boolean);
    value.SetAsBoolean(false);
  }
  return value;
}

bool TTarnexExpression::IsTrue() {
  if (!Root_) throw ETarnexException(30110, "Value is Null");
  return BooleanOf(*Root_) == 1;
}

bool TTarnexExpression::IsAggregated() { return Root_ && Root_->IsAggregated(); }

void TTarnexExpression::InitAggregates() {
  if (Root_) Root_->InitAggregates();
}

void TTarnexExpression::AccumulateAggregates() {
  if (Root_) Root_->AccumulateAggregates();
}

void TTarnexExpression::BindToOperator(TTarnexAO*) { NotSupported(30087); }

void TTarnexExpression::BindToCursor(TTarnexExprFieldSource* cursor) {
  try {
    if (Root_) Root_->BindToCursor(cursor);
    for (auto& moved : Moved_)
      if (moved.Detached) moved.Detached->BindToCursor(cursor);
  } catch (...) {
    // Part of the tree may point at the new cursor and part at the old one: nothing of it is kept.
    Root_.reset();
    for (auto& moved : Moved_) FreeMoved(moved);
    Moved_.clear();
    Cursor_ = nullptr;
    throw;
  }
  Cursor_ = cursor;
  PrepareIfBound();
}

void TTarnexExpression::SetRecordBuffer(const uint8_t* buffer) {
  RecordBuffer_ = buffer;
  if (Root_) Root_->SetRecordBuffer(buffer);
}

TTarnexFieldType TTarnexExpression::GetDataType() { return Root_ ? Root_->GetDataType() : TTarnexFieldType::Unknown; }
int32_t TTarnexExpression::GetDataSize() { return Root_ ? Root_->GetDataSize() : 0; }
int32_t TTarnexExpression::GetPrecision() { return Root_ ? Root_->GetPrecision() : 0; }

bool TTarnexExpression::IsFieldReference() const {
  return dynamic_cast<const TTarnexExprNodeField*>(Root_.get()) != nullptr;
}

void TTarnexExpression::GetFieldName(std::string& qualifier, std::string& column) const {
  const auto* field = dynamic_cast<const TTarnexExprNodeField*>(Root_.get());
  if (field == nullptr) throw ETarnexException(30198, "Node is not field");
  qualifier = field->Qualifier;
  column = field->FieldName;
}

void TTarnexExpression::AddComparison(std::unique_ptr<TTarnexExprNode> node) {
  if (!node) return;
  if (!Root_) {
    Root_ = std::move(node);
    return;
  }
  if (Root_->Operator != OP::And || dynamic_cast<TTarnexExprNodeBoolean*>(Root_.get()) == nullptr) {
    auto root = std::make_unique<TTarnexExprNodeBoolean>(OP::And);
    root->AddChild(std::move(Root_));
    Root_ = std::move(root);
  }
  Root_->AddChild(std::move(node));
}

void TTarnexExpression::DistributeOverOperator(TTarnexAO*, bool) { NotSupported(30087); }
void TTarnexExpression::ReplacePseudonyms(const std::vector<TTarnexSelectListItem>&) { NotSupported(30087); }
int32_t TTarnexExpression::ExtractJoinKeys(TTarnexAO*, TTarnexAO*, std::vector<std::string>&, std::vector<std::string>&) {
  NotSupported(30087);
}

// ---------------------------------------------------------------------------------------------
// Built conditions
// ---------------------------------------------------------------------------------------------

namespace {

std::unique_ptr<TTarnexExprNode> MakeComparison(const std::string& fieldName, std::unique_ptr<TTarnexExprNodeConst> value,
                                                bool caseInsensitive, bool partial) {
  auto comparison = std::make_unique<TTarnexExprNodeComparison>(OP::Equal);
  comparison->CaseInsensitive = caseInsensitive;
  comparison->Partial = partial;
  comparison->NullMode = TTarnexNullMode::OrderedNull;
  comparison->AddChild(std::make_unique<TTarnexExprNodeField>("", fieldName));
  comparison->AddChild(std::move(value));
  return comparison;
}

}  // namespace

void TTarnexExpression::BuildLocateCondition(TTarnexExprFieldSource* cursor, const std::string& fieldNames,
                                             const std::vector<Variant>& keyValues, bool caseInsensitive,
                                             bool partial) {
  std::vector<std::string> names;
  size_t start = 0;
  while (true) {
    size_t end = fieldNames.find(';', start);
    names.push_back(AnsiUpperCase(Trim(fieldNames.substr(start, end == std::string::npos ? end : end - start))));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (names.size() != keyValues.size())
    throw ETarnexException(30112, "Count of FieldNames (%d) not equal counts of KeyValues (%d)",
                           {static_cast<int32_t>(names.size()), static_cast<int32_t>(keyValues.size())});
  CaseInsensitive_ = caseInsensitive;
  Partial_ = partial;
  NullMode_ = TTarnexNullMode::OrderedNull;
  Root_.reset();
  for (size_t i = 0; i < names.size(); ++i) {
    auto value = std::make_unique<TTarnexExprNodeConst>();
    value->Value.SetAsVariant(keyValues[i]);
    auto comparison = MakeComparison(names[i], std::move(value), caseInsensitive, partial);
    if (names.size() > 1) AddComparison(std::move(comparison));
    else Root_ = std::move(comparison);
  }
  BindToCursor(cursor);
}

void TTarnexExpression::BuildKeyCondition(TTarnexExprFieldSource* cursor, TTarnexExprFieldSource* sourceCursor,
                                          const TTarnexIndexDef& index, const std::vector<std::string>& sourceFields,
                                          bool partialKey) {
  NullMode_ = TTarnexNullMode::OrderedNull;
  Root_ = std::make_unique<TTarnexExprNodeBoolean>(OP::And);
  for (int32_t i = 0; i < index.ColumnCount(); ++i) {
    const std::string& target = index.Columns[static_cast<size_t>(i)].FieldName;
    const std::string& source = static_cast<size_t>(i) < sourceFields.size() ? sourceFields[static_cast<size_t>(i)] : target;
    TTarnexExprNodeField reader("", source);
    reader.BindToCursor(sourceCursor);
    TTarnexVariant& read = reader.GetValue();
    if (read.IsNull() && !partialKey) continue;
    auto value = std::make_unique<TTarnexExprNodeConst>();
    value->Value.Assign(read, true);
    Root_->AddChild(MakeComparison(target, std::move(value), false, partialKey));
  }
  BindToCursor(cursor);
}

// ---------------------------------------------------------------------------------------------
// Key conditions
// ---------------------------------------------------------------------------------------------

namespace {

TTarnexScanRelation RelationOf(TTarnexExprOperator op) {
  switch (op) {
    case OP::Equal: return TTarnexScanRelation::Equal;
    case OP::Greater: return TTarnexScanRelation::Greater;
    case OP::Less: return TTarnexScanRelation::Less;
    case OP::GreaterOrEqual: return TTarnexScanRelation::GreaterOrEqual;
    case OP::LessOrEqual: return TTarnexScanRelation::LessOrEqual;
    default: return TTarnexScanRelation::None;
  }
}

TTarnexScanRelation Mirrored(TTarnexScanRelation r) {
  switch (r) {
    case TTarnexScanRelation::Greater: return TTarnexScanRelation::Less;
    case TTarnexScanRelation::Less: return TTarnexScanRelation::Greater;
    case TTarnexScanRelation::GreaterOrEqual: return TTarnexScanRelation::LessOrEqual;
    case TTarnexScanRelation::LessOrEqual: return TTarnexScanRelation::GreaterOrEqual;
    default: return r;
  }
}

// The column and the constant of a comparison "column op constant" or "constant op column".
struct TColumnComparison {
  TTarnexExprNodeComparison* Comparison = nullptr;
  TTarnexExprNodeField* Field = nullptr;
  TTarnexExprNodeConst* Constant = nullptr;
  bool FieldOnRight = false;
};

bool AsColumnComparison(TTarnexExprNode* node, TColumnComparison& out) {
  auto* comparison = dynamic_cast<TTarnexExprNodeComparison*>(node);
  if (comparison == nullptr || comparison->Children.size() != 2) return false;
  out.Comparison = comparison;
  out.Field = dynamic_cast<TTarnexExprNodeField*>(comparison->Child(0));
  out.Constant = dynamic_cast<TTarnexExprNodeConst*>(comparison->Child(1));
  out.FieldOnRight = false;
  if (out.Field == nullptr || out.Constant == nullptr) {
    out.Field = dynamic_cast<TTarnexExprNodeField*>(comparison->Child(1));
    out.Constant = dynamic_cast<TTarnexExprNodeConst*>(comparison->Child(0));
    out.FieldOnRight = true;
  }
  return out.Field != nullptr && out.Constant != nullptr && out.Field->IsBound() && out.Field->FieldDefs != nullptr;
}

// A record buffer of fields holding `value` as field fieldNo, every other field null; nil when
// the value cannot be held exactly as the field's type in the field's order.
uint8_t* MakeKeyBuffer(const TTarnexExprNodeField& field, const TTarnexVariant& value, bool fieldOnRight,
                       bool caseInsensitive) {
  const DT f = field.DataType, c = value.DataType();
  const DT common = fieldOnRight ? CommonDataType(c, f) : CommonDataType(f, c);
  if (c != f && common != f && !(IsIntegerDataType(f) && IsIntegerDataType(c))) return nullptr;
  TTarnexVariant key;
  try {
    key.Assign(value, true);
    key.ConvertTo(f);
    if (key.IsNull() || key.Compare(value, true, false, caseInsensitive) != TarnexCompareEqual) return nullptr;
  } catch (const Exception&) {
    return nullptr;
  }
  if (IsPlainTextDataType(f) && key.TextLength() > field.Size) return nullptr;
  const TTarnexFieldDefs& fields = *field.FieldDefs;
  int32_t size = std::max(fields.RecordSize(), 1);
  auto* buffer = static_cast<uint8_t*>(MemoryManager().AllocMem(size));
  std::memset(buffer, 0xFF, static_cast<size_t>(fields.NullFlagsSize()));
  try {
    if (IsWideTextType(f)) {
      const auto* text = static_cast<const char16_t*>(key.Data());
      SetFieldData(field.FieldNo, fields, &text, buffer);
    } else {
      SetFieldData(field.FieldNo, fields, key.Data(), buffer);
    }
  } catch (...) {
    MemoryManager().FreeAndNillMem(buffer);
    throw;
  }
  return buffer;
}

}  // namespace

void TTarnexExpression::ExtractIndexConditions(const TTarnexIndexDefs& indexDefs,
                                               TTarnexScanSearchConditionArray& conditions,
                                               TTarnexIndexConditionUndoList& undo) {
  if (!Root_) return;
  const bool rootIsAnd = Root_->Operator == OP::And && dynamic_cast<TTarnexExprNodeBoolean*>(Root_.get()) != nullptr;
  const bool rootIsComparison = dynamic_cast<TTarnexExprNodeComparison*>(Root_.get()) != nullptr;
  if (!rootIsAnd && !rootIsComparison) return;

  // Tries one candidate; on success the key condition is added and the move recorded.
  auto tryMove = [&](TTarnexExprNode* node, int32_t position) -> bool {
    TColumnComparison cc;
    if (!AsColumnComparison(node, cc)) return false;
    TTarnexExprNodeComparison& comparison = *cc.Comparison;
    TTarnexScanRelation relation = RelationOf(comparison.Operator);
    if (relation == TTarnexScanRelation::None || comparison.Partial || cc.Constant->Value.IsNull() ||
        IsBLOBDataType(cc.Field->DataType))
      return false;
    const TTarnexFieldDef* fieldDef = cc.Field->FieldDefs->Items(cc.Field->FieldNo);
    const std::string fieldName = AnsiUpperCase(fieldDef->Name);
    for (int32_t i = 0; i < indexDefs.Count(); ++i) {
      const TTarnexIndexDef* index = indexDefs.Items(i);
      if (index == nullptr || index->ColumnCount() == 0) continue;
      const TTarnexIndexColumn& column = index->Columns[0];
      if (AnsiUpperCase(column.FieldName) != fieldName) continue;
      if (IsTextDataType(cc.Field->DataType) && column.CaseInsensitive != comparison.CaseInsensitive) continue;
      uint8_t* key = MakeKeyBuffer(*cc.Field, cc.Constant->Value, cc.FieldOnRight, comparison.CaseInsensitive);
      if (key == nullptr) return false;
      TTarnexScanRelation valueRelation = cc.FieldOnRight ? Mirrored(relation) : relation;
      TTarnexScanRelation keyRelation = column.Descending ? Mirrored(valueRelation) : valueRelation;
      TMovedComparison moved;
      moved.Node = node;
      moved.Position = position;
      moved.KeyBuffer = key;
      // A SQL-null "column < c" range also holds the null keys: the comparison stays to refuse them.
      const bool keep = comparison.NullMode == TTarnexNullMode::SQLNull &&
                        (valueRelation == TTarnexScanRelation::Less || valueRelation == TTarnexScanRelation::LessOrEqual);
      TTarnexScanSearchCondition condition;
      condition.Relation = keyRelation;
      condition.KeyBuffer = key;
      condition.KeyFieldCount = 1;
      condition.IndexID = index->ObjectID;
      try {
        conditions.AddCondition(condition);
      } catch (...) {
        FreeMoved(moved);
        throw;
      }
      if (!keep) {
        if (position < 0) {
          moved.Detached = std::move(Root_);
        } else {
          auto& children = Root_->Children;
          moved.Detached = std::move(children[static_cast<size_t>(position)]);
          children.erase(children.begin() + position);
        }
      }
      Moved_.push_back(std::move(moved));
      undo.push_back(TTarnexIndexConditionUndoEntry{true, node, this});
      return !keep;
    }
    return false;
  };

  if (rootIsComparison) {
    tryMove(Root_.get(), -1);
    return;
  }
  for (int32_t i = 0; Root_ && i < Root_->ChildCount();) {
    if (!tryMove(Root_->Child(i), i)) ++i;
  }
  if (Root_ && Root_->ChildCount() == 0) {
    // The emptied AND leaves the tree; it is rebuilt when the comparisons come back.
    Root_.reset();
  }
}

bool TTarnexExpression::RestoreComparison(TTarnexExprNode* comparison) {
  for (size_t i = Moved_.size(); i-- > 0;) {
    TMovedComparison& moved = Moved_[i];
    if (moved.Node != comparison) continue;
    if (moved.Detached) {
      moved.Detached->SetRecordBuffer(RecordBuffer_);
      if (moved.Position < 0) {
        if (Root_) AddComparison(std::move(moved.Detached));
        else Root_ = std::move(moved.Detached);
      } else {
        if (!Root_) Root_ = std::make_unique<TTarnexExprNodeBoolean>(OP::And);
        auto& children = Root_->Children;
        size_t at = std::min(static_cast<size_t>(moved.Position), children.size());
        children.insert(children.begin() + static_cast<std::ptrdiff_t>(at), std::move(moved.Detached));
      }
    }
    FreeMoved(moved);
    Moved_.erase(Moved_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
  }
  return false;
}

bool TTarnexExpression::HasOverlongStringEquality() const {
  auto overlong = [](TTarnexExprNode* node) {
    TColumnComparison cc;
    if (!AsColumnComparison(node, cc) || cc.Comparison->Operator != OP::Equal || cc.Comparison->Partial) return false;
    const TTarnexVariant& value = cc.Constant->Value;
    return IsPlainTextDataType(cc.Field->DataType) && value.IsText() && value.TextLength() > cc.Field->Size;
  };
  if (!Root_) return false;
  if (Root_->Operator == OP::And && dynamic_cast<TTarnexExprNodeBoolean*>(Root_.get()) != nullptr) {
    for (auto& child : Root_->Children)
      if (overlong(child.get())) return true;
    return false;
  }
  return overlong(Root_.get());
}
