#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/FormatSettings.h"

namespace {

using DT = TTarnexDataType;

// A stream over a byte vector that accepts at most `capacity` bytes in total.
class TByteStream : public TTarnexStream {
public:
  explicit TByteStream(size_t capacity = 1 << 20) : Capacity_(capacity) {}
  std::vector<uint8_t> Bytes;

  void SetSize(int64_t newSize) override { Bytes.resize(static_cast<size_t>(newSize)); }
  int32_t Read(void* buffer, int32_t count) override {
    if (count < 1 || Position_ >= Bytes.size()) return 0;
    size_t n = std::min(static_cast<size_t>(count), Bytes.size() - Position_);
    std::memcpy(buffer, Bytes.data() + Position_, n);
    Position_ += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count < 1 || Position_ >= Capacity_) return 0;
    size_t n = std::min(static_cast<size_t>(count), Capacity_ - Position_);
    if (Bytes.size() < Position_ + n) Bytes.resize(Position_ + n);
    std::memcpy(Bytes.data() + Position_, buffer, n);
    Position_ += n;
    return static_cast<int32_t>(n);
  }
  int64_t Seek(int64_t offset, TTarnexSeekOrigin origin) override {
    int64_t base = origin == TTarnexSeekOrigin::Beginning ? 0
                   : origin == TTarnexSeekOrigin::Current ? static_cast<int64_t>(Position_)
                                                          : static_cast<int64_t>(Bytes.size());
    Position_ = static_cast<size_t>(std::max<int64_t>(0, base + offset));
    return static_cast<int64_t>(Position_);
  }

private:
  size_t Capacity_;
  size_t Position_ = 0;
};

std::unique_ptr<TTarnexVariant> Value(DT type, const std::function<void(TTarnexVariant&)>& set) {
  auto v = std::make_unique<TTarnexVariant>(type);
  set(*v);
  return v;
}

std::vector<std::unique_ptr<TTarnexVariant>> OneOfEachType() {
  std::vector<std::unique_ptr<TTarnexVariant>> values;
  values.push_back(Value(DT::Char, [](auto& v) { v.SetAsString("c"); }));
  values.push_back(Value(DT::WideChar, [](auto& v) { v.SetAsWideString(u"\u20AC"); }));
  values.push_back(Value(DT::Varchar, [](auto& v) { v.SetAsString("text"); }));
  values.push_back(Value(DT::WideVarchar, [](auto& v) { v.SetAsWideString(u"wide"); }));
  values.push_back(Value(DT::ShortInt, [](auto& v) { v.SetAsShortInt(-8); }));
  values.push_back(Value(DT::SmallInt, [](auto& v) { v.SetAsSmallInt(-1600); }));
  values.push_back(Value(DT::Integer, [](auto& v) { v.SetAsInteger(0x12345678); }));
  values.push_back(Value(DT::LargeInt, [](auto& v) { v.SetAsLargeInt(-0x123456789ALL); }));
  values.push_back(Value(DT::Byte, [](auto& v) { v.SetAsByte(250); }));
  values.push_back(Value(DT::Word, [](auto& v) { v.SetAsWord(65000); }));
  values.push_back(Value(DT::Cardinal, [](auto& v) { v.SetAsCardinal(4000000000u); }));
  values.push_back(Value(DT::Single, [](auto& v) { v.SetAsSingle(0.5f); }));
  values.push_back(Value(DT::Double, [](auto& v) { v.SetAsDouble(0.1); }));
  values.push_back(Value(DT::Extended, [](auto& v) { v.SetAsExtended(1.0L / 3); }));
  values.push_back(Value(DT::Date, [](auto& v) { v.SetAsInteger(738000); }));
  values.push_back(Value(DT::Time, [](auto& v) { v.SetAsInteger(1234567); }));
  values.push_back(Value(DT::DateTime, [](auto& v) { v.SetAsDateTimeRaw({738000, 1234567}); }));
  values.push_back(Value(DT::BLOB, [](auto& v) { v.SetAsString("blob"); }));
  values.push_back(Value(DT::Memo, [](auto& v) { v.SetAsString("memo"); }));
  values.push_back(Value(DT::WideMemo, [](auto& v) { v.SetAsWideString(u"wide memo"); }));
  values.push_back(Value(DT::Boolean, [](auto& v) { v.SetAsBoolean(true); }));
  values.push_back(Value(DT::Currency, [](auto& v) { v.SetAsCurrency(12.3456); }));
  values.push_back(Value(DT::Bytes, [](auto& v) { std::string b("\x00\xFF\x10", 3); v.SetAs(&b, DT::Bytes); }));
  values.push_back(Value(DT::VarBytes, [](auto& v) { std::string b("\x01", 1); v.SetAs(&b, DT::VarBytes); }));
  values.push_back(std::make_unique<TTarnexVariant>(DT::Integer));  // null
  values.push_back(std::make_unique<TTarnexVariant>(DT::Unknown));  // untyped null
  return values;
}

std::string Image(const TTarnexVariant& v) {
  std::string s = std::to_string(static_cast<int>(v.DataType())) + (v.IsNull() ? " null" : " ");
  if (!v.IsNull()) s.append(static_cast<const char*>(v.Data()), static_cast<size_t>(v.Size()));
  return s;
}

class TarnexVariantStreamTest : public ::testing::Test {
protected:
  void SetUp() override { FormatSettings() = TFormatSettings::EnUS(); }
};

TEST_F(TarnexVariantStreamTest, EveryTypeRoundTrips) {
  auto values = OneOfEachType();
  ASSERT_EQ(values.size(), 26u);
  TByteStream stream;
  for (const auto& v : values) v->SaveToStream(stream);
  stream.SetPosition(0);
  for (const auto& v : values) {
    SCOPED_TRACE(DataTypeName(v->DataType()));
    TTarnexVariant loaded(DT::Double);
    loaded.SetAsDouble(9);  // loading replaces whatever the variant held
    loaded.LoadFromStream(stream);
    EXPECT_EQ(Image(loaded), Image(*v));
    EXPECT_FALSE(loaded.IsBorrowed());
  }
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(stream.Bytes.size()));
}

TEST_F(TarnexVariantStreamTest, StreamFormIsTypeFlagSizeAndBytes) {
  TByteStream stream;
  TTarnexVariant v(DT::SmallInt);
  v.SetAsSmallInt(0x0102);
  v.SaveToStream(stream);
  TTarnexVariant null(DT::Varchar);
  null.SaveToStream(stream);
  const std::vector<uint8_t> expected = {6, 0, 2, 0, 0, 0, 0x02, 0x01, 3, 255};
  EXPECT_EQ(stream.Bytes, expected);
}

TEST_F(TarnexVariantStreamTest, ShortTransfersRaiseTheirCodes) {
  TTarnexVariant v(DT::Varchar);
  v.SetAsString("abc");  // 1 + 1 + 4 + 4 bytes
  struct Case { size_t bytes; int32_t writeCode; int32_t readCode; };
  const std::vector<Case> cases = {{0, 10179, 10183}, {1, 10180, 10184}, {4, 10181, 10185}, {8, 10182, 10186}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    TByteStream limited(c.bytes);
    try {
      v.SaveToStream(limited);
      ADD_FAILURE() << "no write error";
    } catch (const ETarnexException& e) {
      EXPECT_EQ(e.NativeErrorCode(), c.writeCode);
    }
    const int64_t before = MemoryManager().AllocatedTotal();
    TByteStream truncated;
    v.SaveToStream(truncated);
    truncated.Bytes.resize(c.bytes);
    truncated.SetPosition(0);
    TTarnexVariant loaded;
    try {
      loaded.LoadFromStream(truncated);
      ADD_FAILURE() << "no read error";
    } catch (const ETarnexException& e) {
      EXPECT_EQ(e.NativeErrorCode(), c.readCode);
    }
    EXPECT_TRUE(loaded.IsNull());
    EXPECT_EQ(MemoryManager().AllocatedTotal(), before);
  }
  TByteStream truncated;
  v.SaveToStream(truncated);
  truncated.Bytes.resize(8);
  truncated.SetPosition(0);
  TTarnexVariant loaded;
  try {
    loaded.LoadFromStream(truncated);
  } catch (const ETarnexException& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot read from stream. Position = 6, Stream size = 8, Block size = 4, Bytes Read = 2"
              " - Native error: 10186");
  }
}

}  // namespace
