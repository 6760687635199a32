// Record buffers: null flags, every data type through SetFieldData and GetFieldData, text
// cutting, BLOB slots, field-number errors, defaults and autoincrement values.
#include "engine/storage/TarnexBaseEngineRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"
#include "TarnexTestSupport.h"

namespace {

using FT = TTarnexFieldType;
using DT = TTarnexDataType;

TTarnexFieldDef* AddField(TTarnexFieldDefs& defs, const std::string& name, FT type, int32_t size = 0) {
  auto* field = static_cast<TTarnexFieldDef*>(defs.AddNew());
  field->Name = name;
  field->SetFieldType(type, size);
  return field;
}

// One field of every storage type; the buffer starts with every byte 0xAA, so bytes a write
// must not touch are recognisable.
class RecordBuffer : public ::testing::Test {
protected:
  void SetUp() override {
    const struct { FT type; int32_t size; } fields[] = {
        {FT::Char, 5},   {FT::WideChar, 3}, {FT::Varchar, 10}, {FT::WideVarchar, 4},
        {FT::ShortInt, 0}, {FT::SmallInt, 0}, {FT::Integer, 0}, {FT::LargeInt, 0},
        {FT::Byte, 0},   {FT::Word, 0},     {FT::Cardinal, 0}, {FT::Single, 0},
        {FT::Double, 0}, {FT::Extended, 0}, {FT::Date, 0},     {FT::Time, 0},
        {FT::DateTime, 0}, {FT::BLOB, 0},   {FT::Memo, 0},     {FT::WideMemo, 0},
        {FT::Boolean, 0}, {FT::Currency, 0}, {FT::Bytes, 6},   {FT::VarBytes, 4},
    };
    defs.Clear();
    for (const auto& f : fields) AddField(defs, FieldTypeName(f.type), f.type, f.size);
    defs.RecalcLayout();
    buffer.assign(static_cast<size_t>(defs.RecordSize()), 0xAA);
  }

  int32_t No(DT type) const {
    for (int32_t i = 0; i < defs.Count(); ++i)
      if (defs.Items(i)->DataType == type) return i;
    return -1;
  }
  const uint8_t* Slot(int32_t fieldNo) const { return buffer.data() + defs.Items(fieldNo)->MemoryOffset; }
  // Every byte outside [from, from + count) is still 0xAA.
  void ExpectUntouchedOutside(int32_t from, int32_t count) const {
    for (int32_t i = 0; i < static_cast<int32_t>(buffer.size()); ++i)
      if (i < from || i >= from + count) {
        ASSERT_EQ(buffer[i], 0xAA) << "byte " << i;
      }
  }

  TTarnexFieldDefs defs;
  std::vector<uint8_t> buffer;
};

TEST_F(RecordBuffer, NullFlagsAreOneBitPerFieldLeastSignificantFirst) {
  std::memset(buffer.data(), 0, static_cast<size_t>(defs.NullFlagsSize()));
  struct Case { int32_t fieldNo; int32_t byte; uint8_t mask; };
  for (Case c : {Case{0, 0, 0x01}, Case{7, 0, 0x80}, Case{8, 1, 0x01}, Case{13, 1, 0x20}, Case{23, 2, 0x80}}) {
    SetFieldData(c.fieldNo, defs, nullptr, buffer.data());
    EXPECT_EQ(buffer[c.byte], c.mask) << "field " << c.fieldNo;
    EXPECT_TRUE(GetNullFlag(buffer.data(), c.fieldNo));
    EXPECT_FALSE(GetFieldData(c.fieldNo, defs, nullptr, buffer.data()));
    SetNullFlag(buffer.data(), c.fieldNo, false);
    EXPECT_EQ(buffer[c.byte], 0) << "field " << c.fieldNo;
  }
  SetNullFlag(buffer.data(), 9, true);
  const int32_t v = 5;
  SetFieldData(No(DT::Integer), defs, &v, buffer.data());  // field 6: clears only its own bit
  EXPECT_EQ(buffer[0], 0x00);
  EXPECT_EQ(buffer[1], 0x02);
  EXPECT_FALSE(GetNullFlag(buffer.data(), No(DT::Integer)));
}

TEST_F(RecordBuffer, EveryFixedSizeTypeRoundTripsAtItsOffset) {
  int16_t boolTrue = -1;
  int32_t dateTime[2] = {738000, 45296789};
  int64_t large = -1234567890123LL;
  double amount = 12.3456;
  float single = -0.5f;
  uint8_t extended[10] = {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F};  // 1.5 in x87 form
  uint8_t bytes[6] = {1, 0, 2, 0, 3, 255};
  struct Case { DT type; const void* value; };
  int8_t shortInt = -100;
  int16_t smallInt = -30000;
  int32_t integer = -2000000000, date = 737000, time = 86399999;
  uint8_t byte = 200;
  uint16_t word = 65000;
  uint32_t cardinal = 4000000000u;
  const Case cases[] = {
      {DT::ShortInt, &shortInt}, {DT::SmallInt, &smallInt}, {DT::Integer, &integer},
      {DT::LargeInt, &large},    {DT::Byte, &byte},         {DT::Word, &word},
      {DT::Cardinal, &cardinal}, {DT::Single, &single},     {DT::Double, &amount},
      {DT::Extended, extended},  {DT::Date, &date},         {DT::Time, &time},
      {DT::DateTime, dateTime},  {DT::Boolean, &boolTrue},  {DT::Currency, &amount},
      {DT::Bytes, bytes},        {DT::VarBytes, bytes},
  };
  for (const Case& c : cases) {
    SetUp();
    const int32_t no = No(c.type);
    const TTarnexFieldDef& f = *defs.Items(no);
    ASSERT_EQ(f.MemoryDataSize, DataTypeSize(c.type, f.Size));
    SetFieldData(no, defs, c.value, buffer.data());
    EXPECT_EQ(std::memcmp(Slot(no), c.value, static_cast<size_t>(f.MemoryDataSize)), 0) << DataTypeName(c.type);
    std::vector<uint8_t> out(static_cast<size_t>(f.MemoryDataSize) + 1, 0x55);
    EXPECT_TRUE(GetFieldData(no, defs, out.data(), buffer.data()));
    EXPECT_EQ(std::memcmp(out.data(), c.value, static_cast<size_t>(f.MemoryDataSize)), 0) << DataTypeName(c.type);
    EXPECT_EQ(out.back(), 0x55) << "exactly MemoryDataSize bytes are read";
    // Besides the slot only the field's own null bit changed.
    std::vector<uint8_t> flags(3, 0xAA);
    flags[no / 8] &= static_cast<uint8_t>(~(1 << (no % 8)));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 3), flags);
    std::memset(buffer.data(), 0xAA, 3);
    ExpectUntouchedOutside(f.MemoryOffset, f.MemoryDataSize);
  }
}

TEST_F(RecordBuffer, NarrowTextIsTerminatedAndCutToTheSlot) {
  struct Case { DT type; std::string text; std::string stored; };
  const Case cases[] = {
      {DT::Varchar, "", ""},
      {DT::Varchar, "abc", "abc"},
      {DT::Varchar, "0123456789", "0123456789"},
      {DT::Varchar, "0123456789ABCDE", "0123456789"},  // size 10: first 10 and the terminator
      {DT::Char, "hello world", "hello"},
      {DT::Char, "\xE9t\xE9", "\xE9t\xE9"},
  };
  for (const Case& c : cases) {
    SetUp();
    const int32_t no = No(c.type);
    const TTarnexFieldDef& f = *defs.Items(no);
    SetFieldData(no, defs, c.text.c_str(), buffer.data());
    std::vector<char> out(32, 'x');
    ASSERT_TRUE(GetFieldData(no, defs, out.data(), buffer.data()));
    EXPECT_EQ(std::string(out.data()), c.stored);
    EXPECT_EQ(out[c.stored.size() + 1], 'x') << "copied up to and including the terminator";
    EXPECT_EQ(Slot(no)[c.stored.size()], 0);
    std::memset(buffer.data(), 0xAA, static_cast<size_t>(defs.NullFlagsSize()));
    ExpectUntouchedOutside(f.MemoryOffset, f.MemoryDataSize);
  }
}

TEST_F(RecordBuffer, WideTextIsReadByAddressAndCutToTheSlot) {
  struct Case { DT type; std::u16string text; std::u16string stored; };
  const Case cases[] = {
      {DT::WideVarchar, u"ab", u"ab"},
      {DT::WideVarchar, u"abcd", u"abcd"},
      {DT::WideVarchar, u"hello world", u"hell"},  // size 4: 10 bytes, 8 of text
      {DT::WideChar, u"\u00e9t\u00e9s", u"\u00e9t\u00e9"},
      {DT::WideChar, u"", u""},
  };
  for (const Case& c : cases) {
    SetUp();
    const int32_t no = No(c.type);
    const TTarnexFieldDef& f = *defs.Items(no);
    const char16_t* source = c.text.c_str();
    SetFieldData(no, defs, &source, buffer.data());
    const char16_t* address = nullptr;
    ASSERT_TRUE(GetFieldData(no, defs, &address, buffer.data()));
    EXPECT_EQ(static_cast<const void*>(address), static_cast<const void*>(Slot(no)));
    std::u16string stored;
    for (const uint8_t* p = Slot(no);; p += 2) {
      char16_t ch;
      std::memcpy(&ch, p, 2);
      if (ch == 0) break;
      stored += ch;
    }
    EXPECT_EQ(stored, c.stored);
    std::memset(buffer.data(), 0xAA, static_cast<size_t>(defs.NullFlagsSize()));
    ExpectUntouchedOutside(f.MemoryOffset, f.MemoryDataSize);
  }
}

TEST_F(RecordBuffer, NullFieldsAndBlobSlotsCopyNothing) {
  std::vector<uint8_t> out(16, 0x55);
  const int32_t integer = 7;
  SetFieldData(No(DT::Integer), defs, &integer, buffer.data());
  SetFieldData(No(DT::Integer), defs, nullptr, buffer.data());
  EXPECT_FALSE(GetFieldData(No(DT::Integer), defs, out.data(), buffer.data()));
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0x55));

  for (DT blob : {DT::BLOB, DT::Memo, DT::WideMemo}) {
    const int32_t no = No(blob);
    const uint8_t slot[8] = {1, 2, 3, 4, 0, 0, 0x0F, 0x0F};
    SetFieldData(no, defs, slot, buffer.data());
    EXPECT_EQ(std::memcmp(Slot(no), slot, 8), 0);
    EXPECT_EQ(GetBlobMarker(buffer.data(), *defs.Items(no)), TarnexBlobOwnedMarker);
    SetBlobMarker(buffer.data(), *defs.Items(no), TarnexBlobStoredMarker);
    EXPECT_EQ(Slot(no)[6], 0xF0);
    EXPECT_EQ(Slot(no)[7], 0xF0);
    EXPECT_TRUE(GetFieldData(no, defs, out.data(), buffer.data()));
    EXPECT_EQ(out, std::vector<uint8_t>(16, 0x55)) << "BLOB data is read through a BLOB stream";
  }
}

TEST_F(RecordBuffer, FieldNumbersOutsideTheListAreRefused) {
  const int32_t count = defs.Count();
  const int32_t value = 1;
  for (int32_t no : {count, count + 100, -1}) {
    const std::string text =
        "Invalid field number - FieldNo = " + std::to_string(no) + ", FieldCount = " + std::to_string(count);
    ExpectEngineError([&] { GetFieldData(no, defs, nullptr, buffer.data()); }, 10000, text);
    ExpectEngineError([&] { SetFieldData(no, defs, &value, buffer.data()); }, 10004, text);
  }
  ExpectUntouchedOutside(0, 0);
}

TEST_F(RecordBuffer, MissingRecordBufferIsACopyError) {
  struct Case { DT type; int32_t getCode; int32_t setCode; };
  for (Case c : {Case{DT::Integer, 10002, 10732}, Case{DT::Varchar, 10733, 10734}}) {
    const int32_t no = No(c.type);
    const TTarnexFieldDef& f = *defs.Items(no);
    const std::string text = "Error getting field data - FieldNo = " + std::to_string(no) +
                             ", MemoryOffset = " + std::to_string(f.MemoryOffset) +
                             ", MemoryDataSize = " + std::to_string(f.MemoryDataSize);
    char out[16];
    ExpectEngineError([&] { GetFieldData(no, defs, out, nullptr); }, c.getCode, text);
    ExpectEngineError([&] { SetFieldData(no, defs, "1234", nullptr); }, c.setCode, text);
  }
}

// ---------------------------------------------------------------------------------------------
// Defaults

class Defaults : public ::testing::Test {
protected:
  // A sequence for `field` as the table creates it from the field's settings.
  void AttachSequence(TTarnexFieldDef& field, TTarnexObjectID id) {
    auto* s = static_cast<TTarnexSequenceDef*>(sequences.AddNew());
    s->Name = "$S_Autoinc$t$" + field.Name;
    s->ObjectID = id;
    s->DataType = field.DataType;
    s->MinValue = field.AutoincMinValue;
    s->MaxValue = field.AutoincMaxValue;
    s->CurrentValue = field.AutoincInitialValue;
    s->Increment = field.AutoincIncrement;
    s->Cycled = field.AutoincCycled;
    field.SequenceID = id;
  }
  // A new all-null record with defaults applied.
  std::vector<uint8_t> NewRecord(bool generateAutoinc) {
    std::vector<uint8_t> record(static_cast<size_t>(defs.RecordSize()), 0);
    std::memset(record.data(), 0xFF, static_cast<size_t>(defs.NullFlagsSize()));
    ApplyDefaults(defs, record.data(), generateAutoinc, [this](TTarnexObjectID id) {
      requested.push_back(id);
      TTarnexSequenceDef* s = sequences.FindByObjectID(id);
      if (!s) throw ETarnexException(30010, "Sequence #%d not found", {id});
      return s->NextValue();
    });
    return record;
  }
  template <class T> T Read(const std::vector<uint8_t>& record, int32_t no) {
    T value{};
    EXPECT_TRUE(GetFieldData(no, defs, &value, record.data())) << defs.Items(no)->Name;
    return value;
  }

  TTarnexFieldDefs defs;
  TTarnexSequenceDefs sequences;
  std::vector<TTarnexObjectID> requested;  // sequence IDs asked for, in order
};

TEST_F(Defaults, DefaultsAreConvertedToTheFieldsType) {
  AddField(defs, "count", FT::Integer)->DefaultValue->SetAsString("42");
  AddField(defs, "stage", FT::Varchar, 3)->DefaultValue->SetAsString("adult");
  AddField(defs, "wide", FT::WideVarchar, 2)->DefaultValue->SetAsWideString(u"xyz");
  AddField(defs, "ratio", FT::Double)->DefaultValue->SetAsInteger(3);
  AddField(defs, "seen", FT::Boolean)->DefaultValue->SetAsBoolean(true);
  AddField(defs, "notes", FT::Varchar, 10);  // no default
  AddField(defs, "small", FT::SmallInt)->DefaultValue->SetAsSmallInt(-2);
  defs.RecalcLayout();
  std::vector<uint8_t> record = NewRecord(true);
  EXPECT_EQ(Read<int32_t>(record, 0), 42);
  char stage[8] = {};
  ASSERT_TRUE(GetFieldData(1, defs, stage, record.data()));
  EXPECT_EQ(std::string(stage), "adu");
  const char16_t* wide = nullptr;
  ASSERT_TRUE(GetFieldData(2, defs, &wide, record.data()));
  char16_t w[3];
  std::memcpy(w, wide, sizeof(w));
  EXPECT_EQ(std::u16string(w, 2), u"xy");
  EXPECT_EQ(w[2], 0);
  EXPECT_EQ(Read<double>(record, 3), 3.0);
  EXPECT_EQ(Read<int16_t>(record, 4), -1);
  EXPECT_FALSE(GetFieldData(5, defs, nullptr, record.data()));
  EXPECT_EQ(Read<int16_t>(record, 6), -2);
  EXPECT_TRUE(requested.empty());
}

TEST_F(Defaults, NullWrittenAfterTheDefaultReadsAsNull) {
  AddField(defs, "count", FT::Integer)->DefaultValue->SetAsInteger(9);
  defs.RecalcLayout();
  std::vector<uint8_t> record = NewRecord(false);
  EXPECT_EQ(Read<int32_t>(record, 0), 9);
  SetFieldData(0, defs, nullptr, record.data());
  EXPECT_FALSE(GetFieldData(0, defs, nullptr, record.data()));
}

TEST_F(Defaults, NothingHappensWithoutTheLayoutFlags) {
  TTarnexFieldDef* f = AddField(defs, "count", FT::Integer);
  defs.RecalcLayout();
  f->DefaultValue->SetAsInteger(9);  // after RecalcLayout: the list does not know of it
  std::vector<uint8_t> record = NewRecord(true);
  EXPECT_FALSE(GetFieldData(0, defs, nullptr, record.data()));
}

TEST_F(Defaults, AutoincrementValuesComeFromTheFieldsSequence) {
  AttachSequence(*AddField(defs, "id", FT::AutoInc), 21);
  AddField(defs, "name", FT::Varchar, 5)->DefaultValue->SetAsString("x");
  AttachSequence(*AddField(defs, "small", FT::AutoIncByte), 22);
  defs.RecalcLayout();
  for (int32_t expected = 1; expected <= 3; ++expected) {
    std::vector<uint8_t> record = NewRecord(true);
    EXPECT_EQ(Read<int32_t>(record, 0), expected);
    EXPECT_EQ(Read<uint8_t>(record, 2), expected);
  }
  EXPECT_EQ(requested, (std::vector<TTarnexObjectID>{21, 22, 21, 22, 21, 22}));

  std::vector<uint8_t> record = NewRecord(false);
  EXPECT_FALSE(GetFieldData(0, defs, nullptr, record.data())) << "no value unless asked for";
  EXPECT_TRUE(GetFieldData(1, defs, nullptr, record.data()));
  EXPECT_EQ(requested.size(), 6u);
}

TEST_F(Defaults, AutoincrementWritesTheLowBytesOfTheValue) {
  TTarnexFieldDef* f = AddField(defs, "b", FT::AutoIncByte);
  f->AutoincInitialValue = 0x1FE;
  AttachSequence(*f, 5);
  defs.RecalcLayout();
  std::vector<uint8_t> record = NewRecord(true);
  EXPECT_EQ(Read<uint8_t>(record, 0), 0xFF);
  EXPECT_EQ(sequences.Items(0)->CurrentValue, 0x1FF);
}

TEST_F(Defaults, SequenceLimitsWithAndWithoutCycling) {
  for (bool cycled : {false, true}) {
    defs.Clear();
    sequences.Clear();
    TTarnexFieldDef* f = AddField(defs, "id", FT::AutoIncInteger);
    f->AutoincMaxValue = 3;
    f->AutoincCycled = cycled;
    AttachSequence(*f, 1);
    defs.RecalcLayout();
    for (int32_t expected = 1; expected <= 3; ++expected) EXPECT_EQ(Read<int32_t>(NewRecord(true), 0), expected);
    if (cycled) {
      EXPECT_EQ(Read<int32_t>(NewRecord(true), 0), 0) << "restarts at AutoincMinValue";
    } else {
      ExpectEngineError([&] { NewRecord(true); }, 30009, "Sequence '$S_Autoinc$t$id' overflow");
    }
  }
}

TEST_F(Defaults, ConversionFailuresAndBlobDefaults) {
  AddField(defs, "inspected", FT::Date)->DefaultValue->SetAsString("not a date");
  defs.RecalcLayout();
  try {
    NewRecord(false);
    ADD_FAILURE() << "the default cannot be a date";
  } catch (const ETarnexException& e) {
    EXPECT_EQ(e.NativeErrorCode(), 30051);
  }

  defs.Clear();
  AddField(defs, "notes", FT::Memo)->DefaultValue->SetAsString("text");
  AddField(defs, "count", FT::Integer)->DefaultValue->SetAsInteger(1);
  defs.RecalcLayout();
  std::vector<uint8_t> record = NewRecord(false);
  EXPECT_FALSE(GetFieldData(0, defs, nullptr, record.data())) << "BLOB data lives in BLOB blocks";
  EXPECT_EQ(Read<int32_t>(record, 1), 1);
}

}  // namespace
