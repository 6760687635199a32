// Definitions a data set is built from or reports: field definitions (name, kind, size,
// required), index definitions (name, key fields separated by ';', options) and the named
// parameters of a query. Names compare ignoring case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/DBCommon.h"
#include "platform/db/FieldTypes.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Variants.h"

class TDataSet;
class TField;

// Base of the definition lists: the data set they describe and whether they are in step with it.
class TDefCollection {
public:
  explicit TDefCollection(TDataSet* dataSet) : DataSet_(dataSet) {}  // dataSet: not owned, may be nullptr
  virtual ~TDefCollection();
  TDefCollection(const TDefCollection&) = delete;
  TDefCollection& operator=(const TDefCollection&) = delete;

  TDataSet* DataSet() const { return DataSet_; }
  // True once the list was read from the data set's source; the data set clears it when the
  // source may have changed.
  bool Updated() const { return Updated_; }
  void SetUpdated(bool value) { Updated_ = value; }

protected:
  // Tells the data set that the list changed (TDataSet::DefChanged).
  void Changed();

private:
  TDataSet* DataSet_;    // the data set described; not owned
  bool Updated_ = false;
};

// ---------------------------------------------------------------------------------------------

enum class TFieldAttribute : uint8_t { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TEnumSet<TFieldAttribute>;

// One column as the data set's source describes it.
class TFieldDef {
public:
  TFieldDef(std::string name, TFieldType dataType, int32_t size, bool required, int32_t fieldNo);

  const std::string& Name() const { return Name_; }
  void SetName(const std::string& value) { Name_ = value; }
  TFieldType DataType() const { return DataType_; }
  void SetDataType(TFieldType value) { DataType_ = value; }
  int32_t Size() const { return Size_; }  // characters of text, bytes of byte kinds
  void SetSize(int32_t value) { Size_ = value; }
  int32_t Precision() const { return Precision_; }
  void SetPrecision(int32_t value) { Precision_ = value; }
  bool Required() const { return Attributes_.Contains(TFieldAttribute::faRequired); }
  void SetRequired(bool value);
  TFieldAttributes Attributes() const { return Attributes_; }
  void SetAttributes(TFieldAttributes value) { Attributes_ = value; }
  int32_t FieldNo() const { return FieldNo_; }  // 1-based
  void SetFieldNo(int32_t value) { FieldNo_ = value; }

  // Creates the field object for this definition (name, size, required, read-only, FixedChar
  // for ftFixedChar) in `dataSet`'s Fields and returns it. A kind without a field class raises
  // "Field '%s' is of an unknown type".
  TField& CreateField(TDataSet& dataSet) const;

private:
  std::string Name_;
  TFieldType DataType_;
  int32_t Size_;
  int32_t Precision_ = 0;
  TFieldAttributes Attributes_;
  int32_t FieldNo_;
};

// The field definitions of a data set, in column order; owns them.
class TFieldDefs : public TDefCollection {
public:
  using TDefCollection::TDefCollection;
  ~TFieldDefs() override;

  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  TFieldDef& operator[](int32_t index) const { return *Items_.at(static_cast<size_t>(index)); }
  // Appends a definition numbered Count() + 1. An empty name raises "Field name missing", a
  // name in use "Duplicate field name '%s'" (both with the data set as context).
  TFieldDef& Add(const std::string& name, TFieldType dataType, int32_t size = 0, bool required = false);
  void Delete(int32_t index);  // renumbers the rest
  void Clear();
  // Index of the definition named `name` (case-insensitive), -1 when absent.
  int32_t IndexOf(const std::string& name) const;
  // The definition named `name`; "Field '%s' not found" with the data set as context.
  TFieldDef& Find(const std::string& name) const;
  // Copies every definition of `source`.
  void Assign(const TFieldDefs& source);
  // Has the data set read its definitions (TDataSet::InitFieldDefs).
  void Update();

private:
  std::vector<std::unique_ptr<TFieldDef>> Items_;  // owned, in column order
};

// ---------------------------------------------------------------------------------------------

enum class TIndexOption : uint8_t {
  ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression, ixNonMaintained,
};
using TIndexOptions = TEnumSet<TIndexOption>;

// One index: key fields separated by ';' (or an expression with ixExpression), options, and the
// key fields that sort descending and compare ignoring case (lists separated by ';').
class TIndexDef {
public:
  TIndexDef(std::string name, std::string fields, TIndexOptions options);

  const std::string& Name() const { return Name_; }
  void SetName(const std::string& value) { Name_ = value; }
  // The key fields; empty for an expression index. Setting them clears ixExpression.
  std::string Fields() const;
  void SetFields(const std::string& value);
  // The key expression; empty unless ixExpression. Setting a non-empty one sets ixExpression.
  std::string Expression() const;
  void SetExpression(const std::string& value);
  // The text behind Fields or Expression, whichever the options say.
  const std::string& FieldExpression() const { return FieldExpression_; }
  TIndexOptions Options() const { return Options_; }
  void SetOptions(TIndexOptions value) { Options_ = value; }
  const std::string& DescFields() const { return DescFields_; }
  void SetDescFields(const std::string& value) { DescFields_ = value; }
  const std::string& CaseInsFields() const { return CaseInsFields_; }
  void SetCaseInsFields(const std::string& value) { CaseInsFields_ = value; }

  void Assign(const TIndexDef& source);

private:
  std::string Name_;
  std::string FieldExpression_;  // key fields, or the expression with ixExpression
  TIndexOptions Options_;
  std::string DescFields_;
  std::string CaseInsFields_;
};

// The index definitions of a data set; owns them.
class TIndexDefs : public TDefCollection {
public:
  using TDefCollection::TDefCollection;
  ~TIndexDefs() override;

  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  TIndexDef& operator[](int32_t index) const { return *Items_.at(static_cast<size_t>(index)); }
  // Appends a definition; a name in use raises "Duplicate index name '%s'" (data set as context).
  TIndexDef& Add(const std::string& name, const std::string& fields, TIndexOptions options);
  void Delete(int32_t index);
  void Clear();
  int32_t IndexOf(const std::string& name) const;  // case-insensitive, -1 when absent
  // "Index '%s' not found" with the data set as context.
  TIndexDef& Find(const std::string& name) const;
  // The first index, neither descending nor an expression (and case-insensitive when asked),
  // whose key fields are `fields` (case-insensitive), else the first whose key fields begin
  // with them as whole fields; nullptr when none.
  TIndexDef* GetIndexForFields(const std::string& fields, bool caseInsensitive) const;
  // GetIndexForFields(fields, false), else "No index for fields '%s'" (data set as context).
  TIndexDef& FindIndexForFields(const std::string& fields) const;
  void Assign(const TIndexDefs& source);
  // Has the data set read its indexes (TDataSet::UpdateIndexDefs).
  void Update();

private:
  std::vector<std::unique_ptr<TIndexDef>> Items_;  // owned
};

// ---------------------------------------------------------------------------------------------

enum class TParamType : uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// One named parameter of a query: a data type and a value. Assigning a value marks it bound;
// the typed setters also set the data type (AsString ftString, AsInteger ftInteger, ...).
class TParam {
public:
  TParam(std::string name, TFieldType dataType, TParamType paramType);

  const std::string& Name() const { return Name_; }
  void SetName(const std::string& value) { Name_ = value; }
  TFieldType DataType() const { return DataType_; }
  void SetDataType(TFieldType value) { DataType_ = value; }
  TParamType ParamType() const { return ParamType_; }
  void SetParamType(TParamType value) { ParamType_ = value; }
  // Whether a value was given (by a setter, by AssignField or explicitly).
  bool Bound() const { return Bound_; }
  void SetBound(bool value) { Bound_ = value; }

  bool IsNull() const { return Value_.IsNull() || Value_.IsEmpty(); }
  void Clear() { Value_ = Variant::Null(); }  // null, keeps the data type
  // The value; setting it takes the data type from the variant when the type is ftUnknown.
  const Variant& Value() const { return Value_; }
  void SetValue(const Variant& value);

  std::string AsString() const { return Value_.AsString(); }
  void SetAsString(const std::string& value);
  int32_t AsInteger() const { return static_cast<int32_t>(Value_.AsInt64()); }
  void SetAsInteger(int32_t value);
  int64_t AsLargeInt() const { return Value_.AsInt64(); }
  void SetAsLargeInt(int64_t value);
  double AsFloat() const { return Value_.AsDouble(); }
  void SetAsFloat(double value);
  double AsCurrency() const { return Value_.AsDouble(); }
  void SetAsCurrency(double value);
  TDateTime AsDateTime() const { return Value_.AsDouble(); }
  void SetAsDate(TDateTime value);      // ftDate
  void SetAsTime(TDateTime value);      // ftTime
  void SetAsDateTime(TDateTime value);  // ftDateTime
  bool AsBoolean() const { return Value_.AsBoolean(); }
  void SetAsBoolean(bool value);
  void SetAsMemo(const std::string& value);  // ftMemo
  void SetAsBlob(const std::string& value);  // ftBlob, the bytes as they are

  // Copies name, type, parameter type, value and bound flag.
  void Assign(const TParam& source);
  // The field's data type and its current value (null when null); marks the parameter bound.
  void AssignField(TField& field);
  void AssignFieldValue(TField& field, const Variant& value);

private:
  std::string Name_;
  TFieldType DataType_;
  TParamType ParamType_;
  Variant Value_ = Variant::Null();
  bool Bound_ = false;
};

// The parameters of a query, in order; owns them.
class TParams {
public:
  explicit TParams(TDataSet* owner = nullptr) : Owner_(owner) {}  // owner: context of messages, not owned
  TParams(const TParams&) = delete;
  TParams& operator=(const TParams&) = delete;

  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  TParam& operator[](int32_t index) const { return *Items_.at(static_cast<size_t>(index)); }
  TParam& CreateParam(TFieldType dataType, const std::string& name, TParamType paramType);
  void Delete(int32_t index);
  void Clear();
  TParam* FindParam(const std::string& name) const;  // case-insensitive; nullptr when absent
  // "Parameter '%s' not found" with the owner as context.
  TParam& ParamByName(const std::string& name) const;
  // Replaces the list by copies of `source`'s parameters.
  void Assign(const TParams& source);
  // Copies into each parameter of this list the value of `source`'s parameter of that name.
  void AssignValues(const TParams& source);

private:
  TDataSet* Owner_;                              // not owned, may be nullptr
  std::vector<std::unique_ptr<TParam>> Items_;  // owned, in order
};
