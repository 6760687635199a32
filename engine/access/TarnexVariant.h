// The engine's one value holder, TTarnexVariant, and the rules every layer applies to values:
// building a value buffer, converting between data types, the common type of two operands,
// comparison (nulls, locale collation), arithmetic, the stream form of a value and LIKE.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/access/TarnexTypesRoutines.h"
#include "platform/rtl/Variants.h"

class TTarnexStream;

// Results of CompareValues and of TTarnexVariant::Compare with raw = true.
constexpr int32_t TarnexCompareEqual = 0;       // both hold equal values
constexpr int32_t TarnexCompareLess = 1;        // first less than second
constexpr int32_t TarnexCompareGreater = 2;     // first greater than second
constexpr int32_t TarnexCompareFirstNull = 3;   // first null, second not
constexpr int32_t TarnexCompareSecondNull = 4;  // second null, first not
constexpr int32_t TarnexCompareBothNull = 5;    // both null

// The 8-byte image of a DateTime value: day number (1 = 0001-01-01) in the first four bytes,
// milliseconds since midnight in the last four, both little-endian signed 32-bit.
struct TTarnexDateTime {
  int32_t Date = 0;  // day number
  int32_t Time = 0;  // milliseconds since midnight, 0 .. 86399999
};

// Value functions ---------------------------------------------------------------------------

// The column type two column types meet in: a if its data type is the common data type of
// both, else b if its data type is, else DataTypeToFieldType(common). Unknown when incompatible.
TTarnexFieldType CommonFieldType(TTarnexFieldType a, TTarnexFieldType b);

// Allocates (memory manager) and fills a fresh value buffer of dataType.
//   source: IN. For 8-bit text types (Char, Varchar, BLOB, Memo) a pointer to a std::string,
//           for 16-bit text types (WideChar, WideVarchar, WideMemo) a pointer to a
//           std::u16string; both are copied with a NUL terminator. For Bytes and VarBytes a
//           pointer to a std::string holding the raw bytes (copied without terminator). For
//           every other type a pointer to DataTypeSize(dataType) bytes of the value.
//   buffer: OUT. The new buffer (caller frees it through MemoryManager()), or nullptr when
//           the source string is empty.
//   size:   OUT. Bytes in buffer (text including its terminator); 0 when buffer is nullptr.
// 30054 "Cannot copy data into new memory" when allocating or copying fails; 30050 for
// data type Unknown or above 24.
void MakeValueBuffer(TTarnexDataType dataType, const void* source, void*& buffer, int32_t& size);

// A new buffer (caller frees it through MemoryManager()) holding the value at `source`,
// read as fromType, converted to toType. Text sources are read up to their NUL terminator;
// BLOB and Memo are read and written as 8-bit text, WideMemo as 16-bit text. A Time becomes
// a DateTime on day number 693594 (the platform's day zero, 1899-12-30), as a platform date
// value holding only a time of day does.
//   size: OUT. Bytes of the returned buffer.
// Never returns nullptr: 30051 "Cannot cast from '%s' to '%s'" when the conversion raises
// (unparsable text, range error), 30052 (same text) when no rule exists or the rule gives
// no value (an empty text).
void* ConvertValue(const void* source, TTarnexDataType fromType, TTarnexDataType toType, int32_t& size);

// Compares two value buffers in place (no allocation when the types are equal).
//   buffer1, buffer2: IN. Value bytes as a record buffer or variant holds them; ignored when
//                     the matching null flag is set.
//   type1:      IN. Data type of buffer1.
//   locale:     IN. Collation locale for text; the engine passes 0x0400 (user default).
//   ignoreCase: IN. Text compares ignoring case (NORM_IGNORECASE).
//   length:     IN. Characters of text to compare on both sides, -1 = the whole text.
//   isNull2, isNull1: IN. Null flags of the second and the first value (in this order).
//   type2:      IN. Data type of buffer2; Unknown (the default) means the same as type1.
// Returns one of the six TarnexCompare* codes. Differing types are compared in their
// CommonDataType (30044 when there is none; 30140 "Value is Null" when a converted side
// has no value). 30045 / 30046 for an unexpected collation result (8-bit / 16-bit text),
// 30047 "Unknown DataType: '%s'" for types without an ordering (large objects, bytes).
int32_t CompareValues(const void* buffer1, const void* buffer2, TTarnexDataType type1, uint32_t locale,
                      bool ignoreCase, int32_t length, bool isNull2 = false, bool isNull1 = false,
                      TTarnexDataType type2 = TTarnexDataType::Unknown);
// CompareValues folded to -1 (less, first null), +1 (greater, second null), 0 (equal, both null).
int32_t CompareValuesSigned(const void* buffer1, const void* buffer2, TTarnexDataType type1, uint32_t locale,
                            bool ignoreCase, int32_t length, bool isNull2 = false, bool isNull1 = false,
                            TTarnexDataType type2 = TTarnexDataType::Unknown);

// The data type two operands meet in (row = left, column = right; not symmetric). Arithmetic
// converts the left operand to it, comparison converts both. Unknown = incompatible.
TTarnexDataType CommonDataType(TTarnexDataType left, TTarnexDataType right);

// LIKE matching: '%' any run of characters (also none), '_' any one character, every other
// pattern character equal to the text character under the user default locale's collation
// (string sort; ignoring case when ignoreCase). The whole text must match.
bool LikeMatch(std::string_view text, std::string_view pattern, bool ignoreCase);          // 8-bit text
bool LikeMatchW(std::u16string_view text, std::u16string_view pattern, bool ignoreCase);   // 16-bit text

// TTarnexVariant ----------------------------------------------------------------------------

// A typed value: data type, a value buffer (owned, or borrowed from a record buffer or another
// variant) and a null flag. The value is null when NullFlag is non-zero or Data is nullptr.
// A variant keeps its data type: assigning a value of another type converts it, and a failed
// assignment leaves the variant null. Copying is forbidden (use Assign).
//
// Text values are held NUL-terminated: 8-bit text (Char, Varchar, BLOB, Memo) as Windows-1252
// bytes, 16-bit text (WideChar, WideVarchar, WideMemo) as UTF-16 code units; an empty text
// is null. Size counts the terminator.
class TTarnexVariant {
public:
  // Create: the requested data type (possibly Unknown), no buffer, null.
  explicit TTarnexVariant(TTarnexDataType dataType = TTarnexDataType::Unknown);
  // Destroy: frees an owned buffer.
  virtual ~TTarnexVariant();
  TTarnexVariant(const TTarnexVariant&) = delete;
  TTarnexVariant& operator=(const TTarnexVariant&) = delete;

  // Virtual operations, in slot order.
  // Clears self, then reads the stream form: data type (1 byte), null flag (1 byte; 255 = null,
  // nothing follows), size (4 bytes, little-endian), then size value bytes into an owned buffer.
  // A short read raises 10183 (type), 10184 (null flag), 10185 (size), 10186 (value).
  virtual void LoadFromStream(TTarnexStream& stream);
  // Writes the stream form above. A short write raises 10179 (type), 10180 (null flag),
  // 10181 (size), 10182 (value).
  virtual void SaveToStream(TTarnexStream& stream) const;
  // Clears self and takes over other's DataType, Size and NullFlag. When other holds a value:
  // copy = true allocates an owned copy, copy = false points at other's buffer (borrowed; self
  // must not outlive other's buffer).
  virtual void Assign(const TTarnexVariant& other, bool copy);

  // Fields.
  TTarnexDataType DataType() const { return DataType_; }
  int32_t Size() const { return Size_; }
  // The value bytes. Write through it only when the buffer is owned (see IsBorrowed).
  void* Data() { return Data_; }
  const void* Data() const { return Data_; }
  bool IsBorrowed() const { return IsBorrowed_ != 0; }
  uint8_t NullFlag() const { return NullFlag_; }

  bool IsNull() const { return NullFlag_ != 0 || Data_ == nullptr; }
  // Marks the value null; the buffer is kept.
  void SetNull() { NullFlag_ = 255; }
  // Frees an owned buffer; then no buffer, Size 0, not borrowed, null, DataType := dataType.
  void Clear(TTarnexDataType dataType);
  // 30016 "Value is Null" when null.
  void CheckNotNull() const;
  // 0 = SetNull; otherwise the buffer gets `bytes` bytes (the old contents kept up to the
  // smaller size; a borrowed buffer is first copied into an owned one) and the value is
  // non-null. New bytes are zero.
  void Resize(int32_t bytes);

  // Makes the value the `size` bytes at `pointer` with data type dataType. copy = false
  // borrows the pointer; copy = true copies, reusing the own buffer when it is owned and of
  // the same size. A nullptr or a size <= 0 makes the value null (with dataType).
  void SetBuffer(const void* pointer, int32_t size, bool copy, TTarnexDataType dataType);
  // Copies Size bytes to destination and returns true; false (nothing copied) when null.
  // capacity: bytes available at destination, -1 = unchecked; 20056 "Buffer size exceeded"
  // when smaller than Size.
  bool GetBuffer(void* destination, int32_t capacity) const;

  // Typed setter behind every typed setter. value points at a value of valueType laid out as
  // MakeValueBuffer's source (std::string / std::u16string for text and bytes, raw bytes
  // otherwise). Same non-text type with an owned buffer: overwritten in place. Otherwise the
  // variant is cleared keeping its DataType (Unknown adopts valueType) and the value copied
  // or converted into DataType (conversion errors as ConvertValue). Null exactly when no
  // buffer results (an empty string).
  void SetAs(const void* value, TTarnexDataType valueType);
  // Typed getter behind every typed getter: writes the value as wantedType to destination,
  // which points at a std::string (8-bit text types, Bytes, VarBytes), a std::u16string
  // (16-bit text types) or DataTypeSize(wantedType) bytes (every other type). Text is cut at
  // its first NUL. Another type than DataType is converted (errors as ConvertValue).
  // 30016 "Value is Null" when null.
  void GetAs(void* destination, TTarnexDataType wantedType) const;

  // Typed accessors: getters raise 30016 when null and convert from DataType; setters convert
  // into DataType (an Unknown variant takes the accessor's type, named after each pair).
  int8_t AsShortInt() const;            void SetAsShortInt(int8_t value);             // ShortInt
  int16_t AsSmallInt() const;           void SetAsSmallInt(int16_t value);            // SmallInt
  int32_t AsInteger() const;            void SetAsInteger(int32_t value);             // Integer
  int64_t AsLargeInt() const;           void SetAsLargeInt(int64_t value);            // LargeInt
  uint8_t AsByte() const;               void SetAsByte(uint8_t value);                // Byte
  uint16_t AsWord() const;              void SetAsWord(uint16_t value);               // Word
  uint32_t AsCardinal() const;          void SetAsCardinal(uint32_t value);           // Cardinal
  float AsSingle() const;               void SetAsSingle(float value);                // Single
  double AsDouble() const;              void SetAsDouble(double value);               // Double
  long double AsExtended() const;       void SetAsExtended(long double value);        // Extended (x87, 10 bytes)
  bool AsBoolean() const;               void SetAsBoolean(bool value);                // Boolean (true stored as -1)
  double AsCurrency() const;            void SetAsCurrency(double value);             // Currency
  std::string AsString() const;         void SetAsString(const std::string& value);   // Varchar
  std::u16string AsWideString() const;  void SetAsWideString(const std::u16string& value);  // WideVarchar
  TTarnexDateTime AsDateTimeRaw() const; void SetAsDateTimeRaw(const TTarnexDateTime& value);  // DateTime
  // Platform date values (days since 1899-12-30) through the day-number and milliseconds
  // formulas: AsDate stores Date, AsTime stores Time, AsDateTime stores DateTime.
  double AsDate() const;                void SetAsDate(double value);
  double AsTime() const;                void SetAsTime(double value);
  double AsDateTime() const;            void SetAsDateTime(double value);
  // The value as a platform variant by DataType (Char/Varchar/BLOB and WideChar/WideVarchar
  // text, integers, Single/Double/Extended/Currency as double, Date/Time as a date value in a
  // double, DateTime as a date, Boolean; 30016 when such a value is null). Any other type
  // (Memo, WideMemo, bytes, Unknown) gives a null variant when null, else 30114.
  Variant AsVariant() const;
  // Assigns a platform variant by its variant type (null keeps the data type); 30113
  // "Unsupported Variant Type %s" with the type number for any other variant type.
  void SetAsVariant(const Variant& value);

  // Converts the value into dataType and owns the result; a null value only changes DataType;
  // nothing happens when DataType is already dataType. Errors as ConvertValue.
  void ConvertTo(TTarnexDataType dataType);
  // As ConvertTo, but a failed conversion leaves the variant null with the new data type.
  void ChangeDataType(TTarnexDataType dataType);

  // Characters of a text value (Size/2 - 1 for 16-bit text, Size - 1 for 8-bit text); -1
  // when null or not text.
  int32_t TextLength() const;
  bool IsNumeric() const;   // ShortInt .. Extended, Currency
  bool IsText() const;      // Char WideChar Varchar WideVarchar Memo WideMemo
  bool IsWideText() const;  // WideChar WideVarchar WideMemo

  // CompareValues(self, other) with the user default locale. prefixOnly compares only the
  // smaller of the two TextLengths (a value equal to the other's prefix is equal). raw = true
  // gives the six codes; otherwise both null is 0, self null 1 (less), other null 2 (greater).
  int32_t Compare(const TTarnexVariant& other, bool raw, bool prefixOnly, bool ignoreCase) const;

  // Arithmetic in place, self the left operand; see the value rules for each type.
  // Negate: 30123 for text, large objects, bytes and DateTime; run-time range or overflow
  // errors for values without a negative in their type.
  void Negate();
  // other null: self null. self null: self becomes a copy of other. Else self is converted to
  // CommonDataType(self, other) and other added (text concatenates). 30124 with "+".
  void Add(const TTarnexVariant& other);
  // Null when either is null; 30126 with "*".
  void Multiply(const TTarnexVariant& other);
  // Null when either is null; 30127 with "/"; 30128 "Division error: %s" for any non-engine
  // failure (division by zero included).
  void Divide(const TTarnexVariant& other);

private:
  // Drops the buffer (freeing it when owned) and leaves the variant null with dataType.
  void ReleaseBuffer();
  // Takes `buffer` (from the memory manager, may be nullptr) as the new owned value.
  void AdoptBuffer(void* buffer, int32_t size);

  TTarnexDataType DataType_ = TTarnexDataType::Unknown;  // data type of the value
  int32_t Size_ = 0;            // bytes at Data_ (text including its terminator)
  void* Data_ = nullptr;        // the value bytes; owned (memory manager) unless IsBorrowed_
  uint8_t IsBorrowed_ = 0;      // non-zero: Data_ belongs to someone else and is never freed
  uint8_t NullFlag_ = 255;      // 255 = null, 0 = holds a value
};
