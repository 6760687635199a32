#include "platform/db/Classes.h"

#include <algorithm>
#include <cstring>

TComponent::~TComponent() = default;

EReadError::EReadError() : EStreamError("Stream read error") {}
EWriteError::EWriteError() : EStreamError("Stream write error") {}

TStream::~TStream() = default;

int64_t TStream::Size() {
  const int64_t position = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError();
}

std::string TStream::ReadRest() {
  std::string result;
  char chunk[4096];
  for (;;) {
    const int32_t got = Read(chunk, sizeof chunk);
    if (got <= 0) break;
    result.append(chunk, static_cast<size_t>(got));
  }
  return result;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  const int64_t size = Size();
  if (count <= 0 || Position_ >= size) return 0;
  const int32_t got = static_cast<int32_t>(std::min<int64_t>(count, size - Position_));
  std::memcpy(buffer, Data_.data() + Position_, static_cast<size_t>(got));
  Position_ += got;
  return got;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const size_t end = static_cast<size_t>(Position_) + static_cast<size_t>(count);
  if (end > Data_.size()) Data_.resize(end, '\0');
  std::memcpy(Data_.data() + Position_, buffer, static_cast<size_t>(count));
  Position_ = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = Position_;
  if (origin == TSeekOrigin::soEnd) base = Size();
  if (base + offset >= 0) Position_ = base + offset;
  return Position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) return;
  Data_.resize(static_cast<size_t>(newSize), '\0');
  if (Position_ > newSize) Position_ = newSize;
}
