// Engine streams: the base stream's block copies, the exact transfer helpers, and the memory
// and file streams.
#include "engine/access/TarnexCompression.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"

namespace {

// Native code of CopyFrom placing its source (the message has no code of its own there).
constexpr int32_t CopySourceSeekCode = 10080;

const char* const ReadMessage =
    "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d";
const char* const WriteMessage =
    "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d";
const char* const SeekMessage = "Cannot set stream position to %d. Position = %d, Size = %d";

// One memory-manager block, released when the holder goes out of scope.
class TScopedBlock {
public:
  explicit TScopedBlock(int32_t size)
      : P_(size > 0 ? static_cast<uint8_t*>(MemoryManager().GetMem(size)) : nullptr) {}
  ~TScopedBlock() {
    if (P_) {
      try { MemoryManager().FreeAndNillMem(P_); } catch (...) {}
    }
  }
  TScopedBlock(const TScopedBlock&) = delete;
  TScopedBlock& operator=(const TScopedBlock&) = delete;
  uint8_t* Get() const { return P_; }

private:
  uint8_t* P_;  // owned
};

// Puts a stream back at a position when the scope ends, also after an error.
class TPositionRestorer {
public:
  TPositionRestorer(TTarnexStream& stream, int64_t position) : Stream_(stream), Position_(position) {}
  ~TPositionRestorer() {
    try { Stream_.SetPosition(Position_); } catch (...) {}
  }
  TPositionRestorer(const TPositionRestorer&) = delete;
  TPositionRestorer& operator=(const TPositionRestorer&) = delete;

private:
  TTarnexStream& Stream_;  // not owned
  int64_t Position_;
};

int64_t SeekBase(TTarnexSeekOrigin origin, int64_t position, int64_t size) {
  switch (origin) {
    case TTarnexSeekOrigin::Beginning: return 0;
    case TTarnexSeekOrigin::Current: return position;
    case TTarnexSeekOrigin::End: return size;
  }
  return 0;
}

}  // namespace

TTarnexStreamDefaults& StreamDefaults() {
  static TTarnexStreamDefaults defaults;
  return defaults;
}

int32_t DefaultBLOBBlockSize(uint8_t mode) {
  if (mode == 0) return 102400;
  if (mode <= 3) return 524288;
  if (mode <= 6) return 1048576;
  return 1572864;
}

// ---------------------------------------------------------------------------------------------
// TTarnexStream

TTarnexStream::TTarnexStream() : BlockSize_(StreamDefaults().MemoryStreamBlockSize) {}

TTarnexStream::~TTarnexStream() = default;

int64_t TTarnexStream::Size() {
  int64_t position = Seek(0, TTarnexSeekOrigin::Current);
  int64_t size = Seek(0, TTarnexSeekOrigin::End);
  Seek(position, TTarnexSeekOrigin::Beginning);
  return size;
}

void TTarnexStream::Lock() { Section_.Enter(); }

void TTarnexStream::Unlock() { Section_.Leave(); }

bool TTarnexStream::ReportProgress(double percent) {
  if (!OnProgress_) return false;
  bool cancel = false;
  OnProgress_(*this, cancel, percent);
  return cancel;
}

void TTarnexStream::CopyChunks(TTarnexStream& source, TTarnexStream& destination, int64_t count,
                               bool save) {
  const int32_t readCode = save ? 10146 : 10148;
  const int32_t writeCode = save ? 10147 : 10149;
  Cancelled_ = 0;
  if (ReportProgress(0)) {
    Cancelled_ = 1;
    return;
  }
  TScopedBlock buffer(static_cast<int32_t>(std::min<int64_t>(BlockSize_, std::max<int64_t>(count, 0))));
  int64_t done = 0;
  while (done < count) {
    int32_t chunk = static_cast<int32_t>(std::min<int64_t>(BlockSize_, count - done));
    ReadExact(buffer.Get(), chunk, source, readCode);
    WriteExact(buffer.Get(), chunk, destination, writeCode);
    done += chunk;
    double percent;
    if (save) {
      percent = static_cast<double>(done) / static_cast<double>(count) * 100.0;
    } else {
      int64_t sourceSize = source.Size();
      percent = sourceSize > 0
                    ? static_cast<double>(source.Position()) / static_cast<double>(sourceSize) * 100.0
                    : 100.0;
    }
    if (ReportProgress(percent)) {
      Cancelled_ = 1;
      return;
    }
  }
  ReportProgress(100);
}

void TTarnexStream::SaveToStream(TTarnexStream& destination) {
  if (BlockSize_ <= 0) throw ETarnexException(10418, "Stream block size = 0 is not allowed");
  TPositionRestorer restoreSelf(*this, Position());
  TPositionRestorer restoreDestination(destination, destination.Position());
  SetPosition(0);
  CopyChunks(*this, destination, Size(), true);
}

void TTarnexStream::LoadFromStream(TTarnexStream& source) { CopyFrom(source, source.Size(), 0); }

void TTarnexStream::CopyFrom(TTarnexStream& source, int64_t count, int64_t sourcePosition) {
  if (BlockSize_ <= 0) throw ETarnexException(10419, "Stream block size = 0 is not allowed");
  SetSize(0);
  SetPosition(0);
  TPositionRestorer restoreSelf(*this, 0);
  TPositionRestorer restoreSource(source, source.Position());
  SeekExact(source, sourcePosition, CopySourceSeekCode);
  CopyChunks(source, *this, std::max<int64_t>(count, 0), false);
}

// ---------------------------------------------------------------------------------------------
// Exact transfers

void ReadExact(void* buffer, int32_t count, TTarnexStream& stream, int32_t code) {
  if (count <= 0) return;
  int64_t position = stream.Position();
  int32_t read = stream.Read(buffer, count);
  if (read != count) {
    throw ETarnexException(code, ReadMessage, {position, stream.Size(), count, read});
  }
}

void WriteExact(const void* buffer, int32_t count, TTarnexStream& stream, int32_t code) {
  if (count <= 0) return;
  int64_t position = stream.Position();
  int32_t written = stream.Write(buffer, count);
  if (written != count) {
    throw ETarnexException(code, WriteMessage, {position, stream.Size(), count, written});
  }
}

void SeekExact(TTarnexStream& stream, int64_t position, int32_t code) {
  int64_t result = stream.Seek(position, TTarnexSeekOrigin::Beginning);
  if (result != position) {
    throw ETarnexException(code, SeekMessage, {position, result, stream.Size()});
  }
}

// ---------------------------------------------------------------------------------------------
// TTarnexMemoryStream

TTarnexMemoryStream::TTarnexMemoryStream() {
  SetBlockSize(StreamDefaults().MemoryStreamBlockSize);
}

TTarnexMemoryStream::TTarnexMemoryStream(void* block, int32_t size)
    : Memory_(static_cast<uint8_t*>(block)) {
  SetBlockSize(StreamDefaults().MemoryStreamBlockSize);
  int32_t allocated = MemoryManager().GetBlockSize(block);
  // Never more than the block holds, so reads stay inside it.
  Size_ = (size < 0 || size > allocated) ? allocated : size;
}

TTarnexMemoryStream::~TTarnexMemoryStream() {
  if (Memory_) {
    try { MemoryManager().FreeAndNillMem(Memory_); } catch (...) {}
  }
}

void TTarnexMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0 || newSize > TTarnexMemoryManager::MaxBlockSize || newSize == Size_) return;
  if (newSize == 0) {
    MemoryManager().FreeAndNillMem(Memory_);
  } else {
    MemoryManager().ReallocMem(Memory_, static_cast<int32_t>(newSize), true);
  }
  Size_ = static_cast<int32_t>(newSize);
  if (Position_ > Size_) Position_ = Size_;
}

int32_t TTarnexMemoryStream::Read(void* buffer, int32_t count) {
  if (count < 1 || Position_ >= Size_) return 0;
  int32_t n = std::min(count, Size_ - Position_);
  std::memcpy(buffer, Memory_ + Position_, static_cast<size_t>(n));
  Position_ += n;
  return n;
}

int32_t TTarnexMemoryStream::Write(const void* buffer, int32_t count) {
  if (count < 1) return 0;
  int64_t end = static_cast<int64_t>(Position_) + count;
  if (end > TTarnexMemoryManager::MaxBlockSize) return 0;
  if (end > Size_) {
    // Exactly to the new end; the bytes between the old end and the position become zero.
    MemoryManager().ReallocMem(Memory_, static_cast<int32_t>(end), true);
    Size_ = static_cast<int32_t>(end);
  }
  std::memcpy(Memory_ + Position_, buffer, static_cast<size_t>(count));
  Position_ = static_cast<int32_t>(end);
  return count;
}

int64_t TTarnexMemoryStream::Seek(int64_t offset, TTarnexSeekOrigin origin) {
  int64_t target = SeekBase(origin, Position_, Size_) + offset;
  if (target >= 0 && target <= TTarnexMemoryManager::MaxBlockSize) {
    Position_ = static_cast<int32_t>(target);
  }
  return Position_;
}

// ---------------------------------------------------------------------------------------------
// TTarnexFileStream

TTarnexFileStream::TTarnexFileStream(const std::string& fileName, uint16_t mode)
    : FileName_(fileName), Mode_(mode) {
  SetBlockSize(StreamDefaults().FileStreamBlockSize);
  if (mode == TarnexFileMode::Create) {
    Handle_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (Handle_ < 0) {
      throw ETarnexException(10104, "Cannot create file. FileName = %s", {fileName});
    }
  } else {
    int access = mode & 3;
    int flags = access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR;
    Handle_ = ::open(fileName.c_str(), flags | O_CLOEXEC);
    if (Handle_ < 0) {
      throw ETarnexException(10105, "Cannot open file. FileName = %s, Mode = %d",
                             {fileName, static_cast<int>(mode)});
    }
  }
}

TTarnexFileStream::~TTarnexFileStream() {
  if (Handle_ >= 0) ::close(Handle_);
}

int64_t TTarnexFileStream::Size() {
  struct stat info;
  if (::fstat(Handle_, &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

void TTarnexFileStream::SetSize(int64_t newSize) {
  if (newSize < 0) return;
  int64_t position = ::lseek(Handle_, 0, SEEK_CUR);
  if (::ftruncate(Handle_, static_cast<off_t>(newSize)) != 0) return;
  if (position > newSize) ::lseek(Handle_, static_cast<off_t>(newSize), SEEK_SET);
}

int32_t TTarnexFileStream::Read(void* buffer, int32_t count) {
  if (count < 1) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::read(Handle_, out + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t TTarnexFileStream::Write(const void* buffer, int32_t count) {
  if (count < 1) return 0;
  auto* in = static_cast<const uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::write(Handle_, in + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t TTarnexFileStream::Seek(int64_t offset, TTarnexSeekOrigin origin) {
  int whence = origin == TTarnexSeekOrigin::Beginning ? SEEK_SET
               : origin == TTarnexSeekOrigin::Current ? SEEK_CUR
                                                      : SEEK_END;
  off_t result = ::lseek(Handle_, static_cast<off_t>(offset), whence);
  if (result < 0) return ::lseek(Handle_, 0, SEEK_CUR);
  return static_cast<int64_t>(result);
}
