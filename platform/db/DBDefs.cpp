#include "platform/db/DBDefs.h"

#include "platform/db/DB.h"
#include "platform/db/DBConsts.h"
#include "platform/db/DBFields.h"
#include "platform/rtl/Collation.h"

namespace {

bool IsAscii(const std::string& s) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Names compare ignoring case: ASCII names by their letters, others by the locale's rules.
bool SameName(const std::string& a, const std::string& b) {
  if (IsAscii(a) && IsAscii(b)) return SameText(a, b);
  return AnsiSameText(a, b);
}

}  // namespace

TDefCollection::~TDefCollection() = default;

void TDefCollection::Changed() {
  if (DataSet_ != nullptr) DataSet_->DefChanged(*this);
}

// ---------------------------------------------------------------------------------------------
// Field definitions

TFieldDef::TFieldDef(std::string name, TFieldType dataType, int32_t size, bool required, int32_t fieldNo)
    : Name_(std::move(name)), DataType_(dataType), Size_(size), FieldNo_(fieldNo) {
  SetRequired(required);
}

void TFieldDef::SetRequired(bool value) {
  if (value) Attributes_.Include(TFieldAttribute::faRequired);
  else Attributes_.Exclude(TFieldAttribute::faRequired);
}

TField& TFieldDef::CreateField(TDataSet& dataSet) const {
  std::unique_ptr<TField> field = CreateDefaultField(DataType_);
  if (!field) DatabaseErrorFmt(DBConsts::SUnknownFieldType, {Name_}, &dataSet);
  field->SetFieldName(Name_);
  if (FieldTypeHasSize(DataType_)) field->SetSize(Size_ < 0 ? 0 : Size_);
  field->SetRequired(Required());
  field->SetReadOnly(Attributes_.Contains(TFieldAttribute::faReadonly));
  if (Precision_ > 0)
    if (auto* floatField = dynamic_cast<TFloatField*>(field.get())) floatField->SetPrecision(Precision_);
  return dataSet.Fields().Add(std::move(field));
}

TFieldDefs::~TFieldDefs() = default;

TFieldDef& TFieldDefs::Add(const std::string& name, TFieldType dataType, int32_t size, bool required) {
  if (name.empty()) DatabaseError(DBConsts::SFieldNameMissing, DataSet());
  if (IndexOf(name) >= 0) DatabaseErrorFmt(DBConsts::SDuplicateFieldName, {name}, DataSet());
  Items_.push_back(std::make_unique<TFieldDef>(name, dataType, size, required, Count() + 1));
  Changed();
  return *Items_.back();
}

void TFieldDefs::Delete(int32_t index) {
  Items_.erase(Items_.begin() + index);
  for (int32_t i = 0; i < Count(); ++i) Items_[static_cast<size_t>(i)]->SetFieldNo(i + 1);
  Changed();
}

void TFieldDefs::Clear() {
  Items_.clear();
  Changed();
}

int32_t TFieldDefs::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (SameName(Items_[i]->Name(), name)) return static_cast<int32_t>(i);
  return -1;
}

TFieldDef& TFieldDefs::Find(const std::string& name) const {
  const int32_t index = IndexOf(name);
  if (index < 0) DatabaseErrorFmt(DBConsts::SFieldNotFound, {name}, DataSet());
  return *Items_[static_cast<size_t>(index)];
}

void TFieldDefs::Assign(const TFieldDefs& source) {
  if (&source == this) return;
  Items_.clear();
  for (const auto& def : source.Items_) Items_.push_back(std::make_unique<TFieldDef>(*def));
  Changed();
}

void TFieldDefs::Update() {
  if (DataSet() != nullptr) DataSet()->InitFieldDefs();
}

// ---------------------------------------------------------------------------------------------
// Index definitions

TIndexDef::TIndexDef(std::string name, std::string fields, TIndexOptions options)
    : Name_(std::move(name)), FieldExpression_(std::move(fields)), Options_(options) {}

std::string TIndexDef::Fields() const {
  return Options_.Contains(TIndexOption::ixExpression) ? std::string() : FieldExpression_;
}

void TIndexDef::SetFields(const std::string& value) {
  if (!value.empty()) Options_.Exclude(TIndexOption::ixExpression);
  FieldExpression_ = value;
}

std::string TIndexDef::Expression() const {
  return Options_.Contains(TIndexOption::ixExpression) ? FieldExpression_ : std::string();
}

void TIndexDef::SetExpression(const std::string& value) {
  if (!value.empty()) Options_.Include(TIndexOption::ixExpression);
  FieldExpression_ = value;
}

void TIndexDef::Assign(const TIndexDef& source) { *this = source; }

TIndexDefs::~TIndexDefs() = default;

TIndexDef& TIndexDefs::Add(const std::string& name, const std::string& fields, TIndexOptions options) {
  if (IndexOf(name) >= 0) DatabaseErrorFmt(DBConsts::SDuplicateIndexName, {name}, DataSet());
  Items_.push_back(std::make_unique<TIndexDef>(name, fields, options));
  Changed();
  return *Items_.back();
}

void TIndexDefs::Delete(int32_t index) {
  Items_.erase(Items_.begin() + index);
  Changed();
}

void TIndexDefs::Clear() {
  Items_.clear();
  Changed();
}

int32_t TIndexDefs::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (SameName(Items_[i]->Name(), name)) return static_cast<int32_t>(i);
  return -1;
}

TIndexDef& TIndexDefs::Find(const std::string& name) const {
  const int32_t index = IndexOf(name);
  if (index < 0) DatabaseErrorFmt(DBConsts::SIndexNotFound, {name}, DataSet());
  return *Items_[static_cast<size_t>(index)];
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& fields, bool caseInsensitive) const {
  for (int pass = 0; pass < 2; ++pass) {
    const bool exact = pass == 0;
    for (const auto& def : Items_) {
      const TIndexOptions options = def->Options();
      if (options.Contains(TIndexOption::ixDescending) || options.Contains(TIndexOption::ixExpression)) continue;
      if (caseInsensitive && !options.Contains(TIndexOption::ixCaseInsensitive)) continue;
      const std::string& keys = def->FieldExpression();
      if (exact) {
        if (SameName(fields, keys)) return def.get();
      } else if (keys.size() > fields.size() && keys[fields.size()] == ';' &&
                 SameName(fields, keys.substr(0, fields.size()))) {
        return def.get();
      }
    }
  }
  return nullptr;
}

TIndexDef& TIndexDefs::FindIndexForFields(const std::string& fields) const {
  TIndexDef* def = GetIndexForFields(fields, false);
  if (def == nullptr) DatabaseErrorFmt(DBConsts::SNoIndexForFields, {fields}, DataSet());
  return *def;
}

void TIndexDefs::Assign(const TIndexDefs& source) {
  if (&source == this) return;
  Items_.clear();
  for (const auto& def : source.Items_) Items_.push_back(std::make_unique<TIndexDef>(*def));
  Changed();
}

void TIndexDefs::Update() {
  if (DataSet() != nullptr) DataSet()->UpdateIndexDefs();
}

// ---------------------------------------------------------------------------------------------
// Parameters

TParam::TParam(std::string name, TFieldType dataType, TParamType paramType)
    : Name_(std::move(name)), DataType_(dataType), ParamType_(paramType) {}

void TParam::SetValue(const Variant& value) {
  if (DataType_ == TFieldType::ftUnknown) {
    switch (value.VarType()) {
      case TVarType::varSmallint:
      case TVarType::varShortInt:
      case TVarType::varByte: DataType_ = TFieldType::ftSmallint; break;
      case TVarType::varWord: DataType_ = TFieldType::ftWord; break;
      case TVarType::varInteger: DataType_ = TFieldType::ftInteger; break;
      case TVarType::varLongWord:
      case TVarType::varInt64: DataType_ = TFieldType::ftLargeint; break;
      case TVarType::varSingle:
      case TVarType::varDouble: DataType_ = TFieldType::ftFloat; break;
      case TVarType::varCurrency: DataType_ = TFieldType::ftCurrency; break;
      case TVarType::varDate: DataType_ = TFieldType::ftDateTime; break;
      case TVarType::varBoolean: DataType_ = TFieldType::ftBoolean; break;
      case TVarType::varString: DataType_ = TFieldType::ftString; break;
      case TVarType::varOleStr: DataType_ = TFieldType::ftWideString; break;
      default: break;
    }
  }
  Value_ = value;
  Bound_ = true;
}

namespace {

void Typed(TFieldType& dataType, Variant& target, bool& bound, TFieldType type, Variant value) {
  dataType = type;
  target = std::move(value);
  bound = true;
}

}  // namespace

void TParam::SetAsString(const std::string& value) { Typed(DataType_, Value_, Bound_, TFieldType::ftString, Variant::FromString(value)); }
void TParam::SetAsInteger(int32_t value) { Typed(DataType_, Value_, Bound_, TFieldType::ftInteger, Variant::FromInteger(value)); }
void TParam::SetAsLargeInt(int64_t value) { Typed(DataType_, Value_, Bound_, TFieldType::ftLargeint, Variant::FromInt64(value)); }
void TParam::SetAsFloat(double value) { Typed(DataType_, Value_, Bound_, TFieldType::ftFloat, Variant::FromDouble(value)); }
void TParam::SetAsCurrency(double value) { Typed(DataType_, Value_, Bound_, TFieldType::ftCurrency, Variant::FromCurrency(value)); }
void TParam::SetAsDate(TDateTime value) { Typed(DataType_, Value_, Bound_, TFieldType::ftDate, Variant::FromDate(value)); }
void TParam::SetAsTime(TDateTime value) { Typed(DataType_, Value_, Bound_, TFieldType::ftTime, Variant::FromDate(value)); }
void TParam::SetAsDateTime(TDateTime value) { Typed(DataType_, Value_, Bound_, TFieldType::ftDateTime, Variant::FromDate(value)); }
void TParam::SetAsBoolean(bool value) { Typed(DataType_, Value_, Bound_, TFieldType::ftBoolean, Variant::FromBoolean(value)); }
void TParam::SetAsMemo(const std::string& value) { Typed(DataType_, Value_, Bound_, TFieldType::ftMemo, Variant::FromString(value)); }
void TParam::SetAsBlob(const std::string& value) { Typed(DataType_, Value_, Bound_, TFieldType::ftBlob, Variant::FromString(value)); }

void TParam::Assign(const TParam& source) { *this = source; }

void TParam::AssignField(TField& field) { AssignFieldValue(field, field.AsVariant()); }

void TParam::AssignFieldValue(TField& field, const Variant& value) {
  DataType_ = field.DataType();
  Value_ = value.IsEmpty() ? Variant::Null() : value;
  Bound_ = true;
}

TParam& TParams::CreateParam(TFieldType dataType, const std::string& name, TParamType paramType) {
  Items_.push_back(std::make_unique<TParam>(name, dataType, paramType));
  return *Items_.back();
}

void TParams::Delete(int32_t index) { Items_.erase(Items_.begin() + index); }
void TParams::Clear() { Items_.clear(); }

TParam* TParams::FindParam(const std::string& name) const {
  for (const auto& param : Items_)
    if (SameName(param->Name(), name)) return param.get();
  return nullptr;
}

TParam& TParams::ParamByName(const std::string& name) const {
  TParam* param = FindParam(name);
  if (param == nullptr) DatabaseErrorFmt(DBConsts::SParameterNotFound, {name}, Owner_);
  return *param;
}

void TParams::Assign(const TParams& source) {
  if (&source == this) return;
  Items_.clear();
  for (const auto& param : source.Items_) Items_.push_back(std::make_unique<TParam>(*param));
}

void TParams::AssignValues(const TParams& source) {
  for (const auto& param : source.Items_)
    if (TParam* target = FindParam(param->Name())) target->Assign(*param);
}
