// The stream form of a value: data type (1 byte), null flag (1 byte, 255 = null and nothing
// follows), then the value's size (4 bytes, little-endian) and its bytes.
#include <cstring>

#include "engine/access/TarnexCompression.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"

namespace {

constexpr uint8_t StreamNull = 255;
constexpr uint8_t StreamValue = 0;

}  // namespace

void TTarnexVariant::SaveToStream(TTarnexStream& stream) const {
  uint8_t type = static_cast<uint8_t>(DataType_);
  WriteExact(&type, 1, stream, 10179);
  uint8_t flag = IsNull() ? StreamNull : StreamValue;
  WriteExact(&flag, 1, stream, 10180);
  if (flag == StreamNull) return;
  uint8_t size[4];
  std::memcpy(size, &Size_, 4);
  WriteExact(size, 4, stream, 10181);
  WriteExact(Data_, Size_, stream, 10182);
}

void TTarnexVariant::LoadFromStream(TTarnexStream& stream) {
  Clear(TTarnexDataType::Unknown);
  uint8_t type = 0;
  ReadExact(&type, 1, stream, 10183);
  DataType_ = static_cast<TTarnexDataType>(type);
  uint8_t flag = 0;
  ReadExact(&flag, 1, stream, 10184);
  if (flag != StreamValue) return;  // null: nothing follows
  uint8_t sizeBytes[4];
  ReadExact(sizeBytes, 4, stream, 10185);
  int32_t size = 0;
  std::memcpy(&size, sizeBytes, 4);
  if (size <= 0) return;  // no bytes: the value stays null
  Resize(size);
  try {
    ReadExact(Data_, size, stream, 10186);
  } catch (...) {
    Clear(DataType_);
    throw;
  }
}
