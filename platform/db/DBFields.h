// Field objects: one per column of a data set, reading and writing the current record's value
// through the data set in the platform's field-buffer forms, with the text, number, date,
// boolean and variant conversions of each kind, and the list of a data set's fields.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/DBCommon.h"
#include "platform/db/FieldTypes.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Variants.h"

class TDataSet;
class TStream;

// ---------------------------------------------------------------------------------------------
// Field-buffer forms. A field buffer holds one value as the data set hands it over:
//   ftString, ftFixedChar   Size bytes of Windows-1252 text and a terminating 0 (Size + 1)
//   ftWideString            Size UTF-16 units and a terminating 0 ((Size + 1) * 2)
//   ftSmallint / ftWord     int16 / uint16;  ftInteger, ftAutoInc int32;  ftLargeint int64
//   ftBoolean               int16: 0 false, -1 true (any non-zero reads as true)
//   ftFloat, ftCurrency     double
//   ftDate                  int32 day number, 1 = 0001-01-01
//   ftTime                  int32 milliseconds since midnight
//   ftDateTime              double: day number * 86400000 + milliseconds
//   ftTimeStamp             TSQLTimeStamp, 16 bytes (below)
//   ftBytes                 Size bytes;  ftVarBytes: uint16 length, then Size bytes
//   BLOB kinds              nothing: the value travels through CreateBlobStream
// Multi-byte values are little-endian, copied with memcpy.

// Bytes of one value of `type` with declared size `size` in a field buffer; 0 for BLOB kinds
// and for kinds without a buffer form.
int32_t FieldDataSize(TFieldType type, int32_t size);
// True for ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary,
// ftOraBlob, ftOraClob.
bool IsBlobFieldType(TFieldType type);
// True for the kinds whose Size means something: text, byte and BLOB kinds.
bool FieldTypeHasSize(TFieldType type);

// The platform's SQL time stamp; its buffer form is the members in this order (16 bytes).
struct TSQLTimeStamp {
  int16_t Year = 0;
  uint16_t Month = 0;
  uint16_t Day = 0;
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint32_t Fractions = 0;  // milliseconds
};
TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime value);
// A time stamp that is not a valid date and time raises EConvertError "Invalid argument to date encode".
TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp& value);

// Date and time values to and from their field-buffer forms (ftDate, ftTime, ftDateTime,
// ftTimeStamp). ftDate keeps the day, ftTime the time of day; the value is rounded to the
// millisecond. buffer: FieldDataSize(type, 0) bytes.
void DateTimeToNative(TFieldType type, TDateTime value, void* buffer);
TDateTime NativeToDateTime(TFieldType type, const void* buffer);

// ---------------------------------------------------------------------------------------------

enum class TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

// One column of a data set. A field is either created by the data set from its field
// definitions when it opens without fields of its own (default fields, freed when it closes),
// or added by the program before opening (a persistent field, kept across opens). A persistent
// field may declare a Size of its own: a string field of size 10 over a 30-character column
// reads and writes at most 10 characters.
// Value access needs the data set: the accessors of a field without one raise
// "Field '%s' has no dataset"; those of a closed data set or one without a current record
// read null. Conversions a kind does not support raise "Cannot access field '%s' as type %s".
class TField {
public:
  virtual ~TField();
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  // The data set whose Fields list owns this field; nullptr before it is added to one.
  TDataSet* DataSet() const { return DataSet_; }
  // Name of the column; changes only while the data set is closed, "Duplicate field name '%s'"
  // when another field of the data set has the name (case-insensitive).
  const std::string& FieldName() const { return FieldName_; }
  void SetFieldName(const std::string& value);
  // 1-based number of the column among the field definitions while bound; 0 otherwise.
  int32_t FieldNo() const { return FieldNo_; }
  TFieldType DataType() const { return DataType_; }
  TFieldKind FieldKind() const { return FieldKind_; }
  void SetFieldKind(TFieldKind value);  // only while the data set is closed
  // Characters of text kinds, bytes of byte kinds; 0 for other kinds. Only while closed.
  int32_t Size() const { return Size_; }
  virtual void SetSize(int32_t value);
  int32_t DataSize() const { return FieldDataSize(DataType_, Size_); }
  // Position in the data set's Fields list; -1 when not in one.
  int32_t Index() const;

  // Display label: the label given, else the field name. DisplayName is the same.
  std::string DisplayLabel() const { return DisplayName(); }
  void SetDisplayLabel(const std::string& value) { DisplayLabel_ = value; }
  std::string DisplayName() const { return DisplayLabel_.empty() ? FieldName_ : DisplayLabel_; }
  // Width in characters for grids: the width given, else the kind's default.
  int32_t DisplayWidth() const { return DisplayWidth_ > 0 ? DisplayWidth_ : DefaultWidth(); }
  void SetDisplayWidth(int32_t value) { DisplayWidth_ = value; }
  bool Visible() const { return Visible_; }
  void SetVisible(bool value) { Visible_ = value; }
  // A read-only data field refuses values in the edit and insert states
  // ("Field '%s' cannot be modified").
  bool ReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool value) { ReadOnly_ = value; }
  // A required field refuses to be posted null ("Field '%s' must have a value").
  bool Required() const { return Required_; }
  void SetRequired(bool value) { Required_ = value; }
  virtual bool IsBlob() const { return false; }

  // Values of the record the data set currently shows (see TDataSet::GetActiveRecordBuffer).
  bool IsNull();
  virtual void Clear();  // writes null
  virtual std::string AsString();
  virtual void SetAsString(const std::string& value);
  virtual std::u16string AsWideString();               // AsString widened from Windows-1252
  virtual void SetAsWideString(const std::u16string& value);
  virtual int32_t AsInteger();
  virtual void SetAsInteger(int32_t value);
  virtual int64_t AsLargeInt();
  virtual void SetAsLargeInt(int64_t value);
  virtual double AsFloat();
  virtual void SetAsFloat(double value);
  virtual double AsCurrency();                          // AsFloat unless a kind says otherwise
  virtual void SetAsCurrency(double value);
  virtual TDateTime AsDateTime();
  virtual void SetAsDateTime(TDateTime value);
  virtual bool AsBoolean();
  virtual void SetAsBoolean(bool value);
  // Null for a null value. Writing null or empty clears; a text variant goes through
  // SetAsString; other variants through the kind's own setter.
  virtual Variant AsVariant();
  virtual void SetAsVariant(const Variant& value);
  Variant Value() { return AsVariant(); }
  void SetValue(const Variant& value) { SetAsVariant(value); }
  // The text a grid shows and the text an editor edits (both AsString unless a kind formats).
  std::string DisplayText() { return GetText(true); }
  std::string Text() { return GetText(false); }
  void SetText(const std::string& value) { SetAsString(value); }

  // Runs after a value has been written to the record.
  std::function<void(TField& sender)> OnChange;

protected:
  explicit TField(TFieldType dataType);

  void SetDataType(TFieldType value) { DataType_ = value; }
  virtual int32_t DefaultWidth() const { return 10; }
  virtual std::string GetText(bool displayText) { (void)displayText; return AsString(); }
  // Reads the value into buffer (DataBufferSize() bytes; nullptr only tests for null);
  // true when the value is not null.
  bool GetData(void* buffer);
  // Writes the value from buffer (DataSize() bytes; nullptr writes null).
  void SetData(const void* buffer);
  // Bytes GetData needs: the larger of this field's DataSize and its column's.
  int32_t DataBufferSize() const { return DataBufferSize_ > DataSize() ? DataBufferSize_ : DataSize(); }
  // "Cannot access field '%s' as type %s".
  [[noreturn]] void AccessError(const char* typeName) const;
  // "%g is not a valid value for field '%s'. The allowed range is %g to %g".
  [[noreturn]] void RangeError(double value, double minValue, double maxValue) const;
  // The data set this field reads through; "Field '%s' has no dataset" when none.
  TDataSet& CheckDataSet() const;
  // The data set to stream a BLOB value through: for reading, nullptr when there is no record
  // to read; for writing, after the checks of a field write (edit or insert state, field not
  // read-only).
  TDataSet* BlobDataSet(bool forWrite);

private:
  friend class TDataSet;
  friend class TFields;

  TDataSet* DataSet_ = nullptr;   // not owned; set by TFields
  std::string FieldName_;
  std::string DisplayLabel_;      // empty = the field name
  TFieldType DataType_;
  TFieldKind FieldKind_ = TFieldKind::fkData;
  int32_t Size_ = 0;
  int32_t FieldNo_ = 0;           // set while bound
  int32_t DataBufferSize_ = 0;    // bound column's buffer size (0 when unbound)
  int32_t CalcOffset_ = -1;       // offset in a record's calculated-field area (non-data kinds)
  int32_t DisplayWidth_ = 0;      // 0 = the kind's default
  bool Visible_ = true;
  bool ReadOnly_ = false;
  bool Required_ = false;
};

// Text of at most Size characters (default 20): ftString, or ftFixedChar when FixedChar.
// Numbers, dates and booleans convert through the text: AsInteger is StrToInt(AsString),
// AsBoolean is true when the text begins with T, t, Y or y, SetAsBoolean writes "T" or "F".
class TStringField : public TField {
public:
  TStringField();
  bool FixedChar() const { return DataType() == TFieldType::ftFixedChar; }
  void SetFixedChar(bool value);

  std::string AsString() override;
  void SetAsString(const std::string& value) override;  // cut to Size characters
  int32_t AsInteger() override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() override;
  void SetAsFloat(double value) override;
  TDateTime AsDateTime() override;
  void SetAsDateTime(TDateTime value) override;
  bool AsBoolean() override;
  void SetAsBoolean(bool value) override;
  Variant AsVariant() override;  // varString

protected:
  explicit TStringField(TFieldType dataType);
  int32_t DefaultWidth() const override { return Size(); }
};

// UTF-16 text of at most Size characters; AsString converts to and from Windows-1252.
class TWideStringField : public TStringField {
public:
  TWideStringField();
  std::string AsString() override;
  void SetAsString(const std::string& value) override;
  std::u16string AsWideString() override;
  void SetAsWideString(const std::u16string& value) override;  // cut to Size characters
  Variant AsVariant() override;  // varOleStr
};

// Base of the number kinds.
class TNumericField : public TField {
protected:
  using TField::TField;
};

// 32-bit integers (ftInteger); the smaller kinds below narrow the range. A value outside the
// range raises the range error; text that is not an integer raises
// "'%s' is not a valid integer value for field '%s'"; empty text clears.
class TIntegerField : public TNumericField {
public:
  TIntegerField();
  int32_t AsInteger() override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() override;
  void SetAsFloat(double value) override;  // rounded to the nearest, halves to even
  std::string AsString() override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() override;  // varInteger

  int64_t MinRange() const { return MinRange_; }
  int64_t MaxRange() const { return MaxRange_; }

protected:
  TIntegerField(TFieldType dataType, int64_t minRange, int64_t maxRange);

private:
  void CheckRange(int64_t value) const;
  int64_t MinRange_;  // lowest value the kind stores
  int64_t MaxRange_;  // highest value the kind stores
};

class TSmallintField : public TIntegerField { public: TSmallintField(); };  // -32768..32767
class TWordField : public TIntegerField { public: TWordField(); };          // 0..65535
class TAutoIncField : public TIntegerField { public: TAutoIncField(); };    // ftAutoInc

// 64-bit integers (ftLargeint).
class TLargeintField : public TNumericField {
public:
  TLargeintField();
  int64_t AsLargeInt() override;
  void SetAsLargeInt(int64_t value) override;
  int32_t AsInteger() override;          // range error outside 32 bits
  void SetAsInteger(int32_t value) override;
  double AsFloat() override;
  void SetAsFloat(double value) override;  // rounded; range error outside 64 bits
  std::string AsString() override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() override;  // varInt64

protected:
  int32_t DefaultWidth() const override { return 15; }
};

// Doubles (ftFloat). AsString has Precision significant digits (15); text that is not a
// number raises "'%s' is not a valid floating point value for field '%s'"; empty text clears.
// With Currency, the display text is the locale's currency format.
class TFloatField : public TNumericField {
public:
  TFloatField();
  double AsFloat() override;
  void SetAsFloat(double value) override;
  int32_t AsInteger() override;            // rounded; range error outside 32 bits
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() override;           // rounded; range error outside 64 bits
  void SetAsLargeInt(int64_t value) override;
  std::string AsString() override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() override;  // varDouble, varCurrency when Currency

  bool Currency() const { return Currency_; }
  void SetCurrency(bool value) { Currency_ = value; }
  int32_t Precision() const { return Precision_; }
  void SetPrecision(int32_t value) { Precision_ = value < 2 ? 2 : (value > 15 ? 15 : value); }

protected:
  explicit TFloatField(TFieldType dataType);
  std::string GetText(bool displayText) override;

private:
  bool Currency_ = false;  // display as an amount of money
  int32_t Precision_ = 15; // significant digits of the text
};

// Amounts (ftCurrency), a float field with Currency on.
class TCurrencyField : public TFloatField { public: TCurrencyField(); };

// Booleans. The texts are DisplayValues "True;False" (true text, then false text); SetAsString
// accepts any case-insensitive prefix of either (the false text is tried first), else
// "'%s' is not a valid boolean value for field '%s'".
class TBooleanField : public TField {
public:
  TBooleanField();
  bool AsBoolean() override;
  void SetAsBoolean(bool value) override;
  std::string AsString() override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() override;  // varBoolean

  std::string DisplayValues() const { return TrueText_ + ";" + FalseText_; }
  void SetDisplayValues(const std::string& value);

protected:
  int32_t DefaultWidth() const override;

private:
  std::string TrueText_ = "True";
  std::string FalseText_ = "False";
};

// Dates and times (ftDateTime; the two kinds below keep only the date or the time). The text is
// the short date format (ftDate), the long time format (ftTime) or date and time (ftDateTime)
// of FormatSettings(); DisplayText uses DisplayFormat when one is set. Reading text that is not a
// date raises the run-time's EConvertError ("'%s' is not a valid date"); empty text clears.
class TDateTimeField : public TField {
public:
  TDateTimeField();
  TDateTime AsDateTime() override;
  void SetAsDateTime(TDateTime value) override;
  double AsFloat() override;
  void SetAsFloat(double value) override;
  std::string AsString() override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() override;  // varDate

  const std::string& DisplayFormat() const { return DisplayFormat_; }
  void SetDisplayFormat(const std::string& value) { DisplayFormat_ = value; }

protected:
  explicit TDateTimeField(TFieldType dataType);
  std::string GetText(bool displayText) override;

private:
  std::string DisplayFormat_;  // FormatDateTime pattern for DisplayText; empty = the default text
};

class TDateField : public TDateTimeField { public: TDateField(); };
class TTimeField : public TDateTimeField { public: TTimeField(); };

// SQL time stamps (ftTimeStamp); text and variants as a date and time.
class TSQLTimeStampField : public TField {
public:
  TSQLTimeStampField();
  TSQLTimeStamp AsSQLTimeStamp();
  void SetAsSQLTimeStamp(const TSQLTimeStamp& value);
  TDateTime AsDateTime() override;
  void SetAsDateTime(TDateTime value) override;
  double AsFloat() override { return AsDateTime(); }
  void SetAsFloat(double value) override { SetAsDateTime(value); }
  std::string AsString() override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() override;  // varDate
};

// Fixed (ftBytes) and counted (ftVarBytes) byte strings of at most Size bytes (default 16);
// AsString and AsVariant carry the bytes as they are.
class TBinaryField : public TField {
public:
  std::string AsString() override;
  void SetAsString(const std::string& value) override;  // cut to Size; ftBytes pads with zeros
  Variant AsVariant() override;                           // varString of the bytes

protected:
  explicit TBinaryField(TFieldType dataType);
  int32_t DefaultWidth() const override { return Size() * 2; }
};
class TBytesField : public TBinaryField { public: TBytesField(); };
class TVarBytesField : public TBinaryField { public: TVarBytesField(); };

// Binary large objects (ftBlob or another BLOB kind): the value is read and written through
// the data set's CreateBlobStream, whole. Writing needs the edit or insert state
// ("Dataset not in edit or insert mode"). DisplayText is the kind's description, "(Blob)"
// when null and "(BLOB)" otherwise (likewise "(Memo)", "(Graphic)", "(FmtMemo)").
class TBlobField : public TField {
public:
  explicit TBlobField(TFieldType blobType = TFieldType::ftBlob);
  bool IsBlob() const override { return true; }
  TFieldType BlobType() const { return DataType(); }

  void Clear() override;  // writes an empty value
  std::string AsString() override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() override;  // varString of the bytes
  int64_t BlobSize();
  // The whole value from `stream` (read from its start), or written into `stream` at its position.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);

protected:
  std::string GetText(bool displayText) override;
};

class TMemoField : public TBlobField {
public:
  TMemoField();
protected:
  explicit TMemoField(TFieldType blobType) : TBlobField(blobType) {}
};
class TGraphicField : public TBlobField { public: TGraphicField(); };
class TFmtMemoField : public TMemoField { public: TFmtMemoField(); };

// A new field of the platform's class for `type` (ftFixedChar: a TStringField with FixedChar;
// the BLOB kinds without a class of their own: a TBlobField of that type); nullptr for kinds
// without a field class (ftBCD, ftADT, ...).
std::unique_ptr<TField> CreateDefaultField(TFieldType type);

// The fields of one data set, in order; owns them.
class TFields {
public:
  explicit TFields(TDataSet* dataSet) : DataSet_(dataSet) {}  // dataSet: the owner, not owned
  ~TFields();
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  // index in 0..Count()-1, else "Field index out of range".
  TField& operator[](int32_t index) const;
  // Takes the field (only while the data set is closed); "Duplicate field name '%s'" when the
  // name is taken.
  TField& Add(std::unique_ptr<TField> field);
  template <class F>
  F& Add(std::unique_ptr<F> field) {
    F& result = *field;
    Add(std::unique_ptr<TField>(std::move(field)));
    return result;
  }
  // Hands a field back to the caller (only while the data set is closed); nullptr when it is
  // not in this list.
  std::unique_ptr<TField> Remove(TField& field);
  void Clear();
  // Case-insensitive name search; nullptr when absent.
  TField* FindField(const std::string& fieldName) const;
  // The field with FieldNo fieldNo; nullptr when absent.
  TField* FieldByNumber(int32_t fieldNo) const;
  int32_t IndexOf(const TField* field) const;

private:
  TDataSet* DataSet_;                           // owner; not owned
  std::vector<std::unique_ptr<TField>> Items_;  // owned fields, in order
};
