// The temporary stream: in memory up to its spill size, then in a temporary file.
#include "engine/access/TarnexCompression.h"

#include "platform/rtl/TempFiles.h"

namespace {

constexpr int32_t SpillSeekCode = 10079;  // the file position after the move

}  // namespace

TTarnexTemporaryStream::TTarnexTemporaryStream()
    : MemoryPart_(std::make_unique<TTarnexMemoryStream>()),
      SpillSize_(StreamDefaults().TemporaryStreamSpillSize) {
  SetBlockSize(StreamDefaults().TemporaryStreamBlockSize);
}

TTarnexTemporaryStream::~TTarnexTemporaryStream() {
  FilePart_.reset();
  if (!TempFileName_.empty()) DeleteFile(TempFileName_);
}

TTarnexStream& TTarnexTemporaryStream::Current() {
  if (InMemory_) return *MemoryPart_;
  return *FilePart_;
}

int64_t TTarnexTemporaryStream::Size() { return Current().Size(); }

void TTarnexTemporaryStream::SetSize(int64_t newSize) { Current().SetSize(newSize); }

int32_t TTarnexTemporaryStream::Read(void* buffer, int32_t count) { return Current().Read(buffer, count); }

int64_t TTarnexTemporaryStream::Seek(int64_t offset, TTarnexSeekOrigin origin) {
  return Current().Seek(offset, origin);
}

int32_t TTarnexTemporaryStream::Write(const void* buffer, int32_t count) {
  if (count < 1) return 0;
  if (InMemory_) {
    int64_t size = MemoryPart_->Size();
    int64_t position = MemoryPart_->Position();
    if (size + count > SpillSize_ || position + count > SpillSize_) Spill();
  }
  return Current().Write(buffer, count);
}

void TTarnexTemporaryStream::Spill() {
  std::string name = GetTempFileName("Tarnex");
  std::unique_ptr<TTarnexFileStream> file;
  try {
    file = std::make_unique<TTarnexFileStream>(name, TarnexFileMode::Create);
    file->SetBlockSize(BlockSize());
    file->LoadFromStream(*MemoryPart_);
    SeekExact(*file, MemoryPart_->Position(), SpillSeekCode);
  } catch (...) {
    file.reset();
    DeleteFile(name);
    throw;
  }
  FilePart_ = std::move(file);
  TempFileName_ = name;
  MemoryPart_.reset();
  InMemory_ = false;
}
