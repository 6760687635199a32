// Compressed BLOB storage: block headers, the block list of a value, the compressed BLOB
// stream and the cursor's local BLOB stream.
#include "engine/access/TarnexCompression.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"

namespace {

constexpr int32_t NoUnderlyingCode = 10084;  // a BLOB stream created without an underlying stream

// One memory-manager block, released when the holder goes out of scope.
class TScopedBlock {
public:
  TScopedBlock() = default;
  explicit TScopedBlock(int32_t size) { Allocate(size); }
  ~TScopedBlock() { Free(); }
  TScopedBlock(const TScopedBlock&) = delete;
  TScopedBlock& operator=(const TScopedBlock&) = delete;
  void Allocate(int32_t size) {
    Free();
    if (size > 0) P_ = static_cast<uint8_t*>(MemoryManager().GetMem(size));
  }
  void Adopt(void* p) {
    Free();
    P_ = static_cast<uint8_t*>(p);
  }
  uint8_t* Get() const { return P_; }

private:
  void Free() {
    if (P_) {
      try { MemoryManager().FreeAndNillMem(P_); } catch (...) {}
    }
  }
  uint8_t* P_ = nullptr;  // owned
};

void PutLE(uint8_t* dest, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) dest[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint64_t GetLE(const uint8_t* src, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(src[i]) << (8 * i);
  return v;
}

// A block compressed and ready to be written: its header and its compressed bytes.
struct TCompressedBlock {
  TTarnexCompressedStreamBlockHeader Header;
  TScopedBlock Data;  // owned compressed bytes
};

void CompressBlock(const TTarnexCompressedBLOBStreamParams& params, const uint8_t* data,
                   int32_t length, TCompressedBlock& block) {
  void* out = nullptr;
  int32_t outSize = 0;
  if (!CompressBuffer(params.Algorithm, params.Mode, data, length, out, outSize)) {
    throw ETarnexException(10085,
                           "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, OutSize = %d",
                           {static_cast<int>(params.Algorithm), static_cast<int>(params.Mode), length, outSize});
  }
  block.Data.Adopt(out);
  block.Header.CompressedSize = outSize;
  block.Header.UncompressedSize = length;
  block.Header.Crc32 = TarnexCrc32(data, length);
  block.Header.NextBlockOffset = int64_t{outSize} + TTarnexCompressedStreamBlockHeader::Size;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTarnexCompressedStreamBlockHeader

void TTarnexCompressedStreamBlockHeader::WriteTo(void* dest) const {
  auto* d = static_cast<uint8_t*>(dest);
  PutLE(d, static_cast<uint32_t>(CompressedSize), 4);
  PutLE(d + 4, static_cast<uint32_t>(UncompressedSize), 4);
  PutLE(d + 8, Crc32, 4);
  PutLE(d + 12, static_cast<uint64_t>(NextBlockOffset), 8);
}

TTarnexCompressedStreamBlockHeader TTarnexCompressedStreamBlockHeader::ReadFrom(const void* src) {
  auto* s = static_cast<const uint8_t*>(src);
  TTarnexCompressedStreamBlockHeader h;
  h.CompressedSize = static_cast<int32_t>(static_cast<uint32_t>(GetLE(s, 4)));
  h.UncompressedSize = static_cast<int32_t>(static_cast<uint32_t>(GetLE(s + 4, 4)));
  h.Crc32 = static_cast<uint32_t>(GetLE(s + 8, 4));
  h.NextBlockOffset = static_cast<int64_t>(GetLE(s + 12, 8));
  return h;
}

// ---------------------------------------------------------------------------------------------
// TTarnexCompressedStreamBlockHeadersArray

TTarnexCompressedStreamBlockHeadersArray::TTarnexCompressedStreamBlockHeadersArray() { Reserve(10); }

TTarnexCompressedStreamBlockHeadersArray::~TTarnexCompressedStreamBlockHeadersArray() {
  if (Items_) {
    try { MemoryManager().FreeAndNillMem(Items_); } catch (...) {}
  }
}

void TTarnexCompressedStreamBlockHeadersArray::Reserve(int64_t n) {
  if (n <= Capacity_) return;
  int64_t capacity = std::max<int64_t>({n, Capacity_ + std::max<int64_t>(10, Capacity_ / 2)});
  if (capacity * EntrySize > TTarnexMemoryManager::MaxBlockSize) capacity = n;
  if (capacity * EntrySize > TTarnexMemoryManager::MaxBlockSize) throw ERangeError();
  MemoryManager().ReallocMem(Items_, static_cast<int32_t>(capacity * EntrySize), true);
  Capacity_ = capacity;
}

void TTarnexCompressedStreamBlockHeadersArray::SetCount(int64_t n) {
  if (n < 0) throw ERangeError();
  if (n > Count_) {
    Reserve(n);
    std::memset(Items_ + Count_ * EntrySize, 0, static_cast<size_t>((n - Count_) * EntrySize));
  }
  Count_ = n;
}

int64_t TTarnexCompressedStreamBlockHeadersArray::Append(const TTarnexCompressedStreamBlockHeader& header,
                                                         int64_t position) {
  SetCount(Count_ + 1);
  SetHeader(Count_ - 1, header, position);
  return Count_ - 1;
}

TTarnexCompressedStreamBlockHeader TTarnexCompressedStreamBlockHeadersArray::Header(int64_t index) const {
  if (index < 0 || index >= Count_) throw ERangeError();
  return TTarnexCompressedStreamBlockHeader::ReadFrom(Items_ + index * EntrySize);
}

int64_t TTarnexCompressedStreamBlockHeadersArray::HeaderPosition(int64_t index) const {
  if (index < 0 || index >= Count_) throw ERangeError();
  return static_cast<int64_t>(GetLE(Items_ + index * EntrySize + TTarnexCompressedStreamBlockHeader::Size, 8));
}

void TTarnexCompressedStreamBlockHeadersArray::SetHeader(int64_t index,
                                                         const TTarnexCompressedStreamBlockHeader& header,
                                                         int64_t position) {
  if (index < 0 || index >= Count_) throw ERangeError();
  header.WriteTo(Items_ + index * EntrySize);
  PutLE(Items_ + index * EntrySize + TTarnexCompressedStreamBlockHeader::Size,
        static_cast<uint64_t>(position), 8);
}

int64_t TTarnexCompressedStreamBlockHeadersArray::FindByPosition(int64_t position) const {
  int64_t lo = 0, hi = Count_ - 1;
  while (lo <= hi) {
    int64_t mid = lo + (hi - lo) / 2;
    int64_t p = HeaderPosition(mid);
    if (p == position) return mid;
    if (p < position) lo = mid + 1; else hi = mid - 1;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// TTarnexCompressedBLOBStream

TTarnexCompressedBLOBStream::TTarnexCompressedBLOBStream(TTarnexStream* underlying, bool lenient,
                                                         bool newValue,
                                                         const TTarnexCompressedBLOBStreamParams& params)
    : Underlying_(underlying), Lenient_(lenient), Params_(params) {
  SetBlockSize(StreamDefaults().CompressedStreamBlockSize);
  if (!Underlying_) throw ETarnexException(NoUnderlyingCode, "Nil pointer occured");
  SeekExact(*Underlying_, Params_.StartPosition, 10103);
  if (Compressed()) {
    OpenBlocks(newValue);
  } else {
    Params_.BlockCount = 0;
    if (newValue) {
      Size_ = 0;
    } else {
      int64_t wanted = std::max<int64_t>(Params_.UncompressedSize, 0);
      int64_t available = std::max<int64_t>(Underlying_->Size() - Params_.StartPosition, 0);
      if (available < wanted && !Lenient_) {
        throw ETarnexException(10081, "Stream size = %d too small. Should be at least = %d",
                               {Underlying_->Size(), Params_.StartPosition + wanted});
      }
      Size_ = std::min(wanted, available);
    }
  }
  UpdateParams();
}

TTarnexCompressedBLOBStream::~TTarnexCompressedBLOBStream() = default;

void TTarnexCompressedBLOBStream::OpenBlocks(bool newValue) {
  if (Params_.BlockSize <= 0) Params_.BlockSize = DefaultBLOBBlockSize(Params_.Mode);
  if (newValue) Params_.BlockCount = 0;
  const int32_t blockSize = Params_.BlockSize;
  const int64_t underlyingSize = Underlying_->Size();
  int64_t position = Params_.StartPosition;
  Size_ = 0;
  CompressedTotal_ = 0;
  for (int64_t i = 0; i < Params_.BlockCount; ++i) {
    if (underlyingSize - position < TTarnexCompressedStreamBlockHeader::Size) {
      if (Lenient_) break;
      throw ETarnexException(10082, "Stream size = %d too small. Should be at least = %d",
                             {underlyingSize, position + TTarnexCompressedStreamBlockHeader::Size});
    }
    uint8_t image[TTarnexCompressedStreamBlockHeader::Size];
    ReadExact(image, TTarnexCompressedStreamBlockHeader::Size, *Underlying_, 10082);
    TTarnexCompressedStreamBlockHeader header = TTarnexCompressedStreamBlockHeader::ReadFrom(image);
    const int64_t next = position + header.NextBlockOffset;
    // The offset must describe this very block, or the chain cannot be followed.
    if (header.CompressedSize < 0 ||
        header.NextBlockOffset != int64_t{header.CompressedSize} + TTarnexCompressedStreamBlockHeader::Size) {
      throw ETarnexException(10083, "Cannot set stream position to %d. Position = %d, Size = %d",
                             {next, Underlying_->Position(), underlyingSize});
    }
    if (next > underlyingSize) {
      if (Lenient_) break;
      throw ETarnexException(10082, "Stream size = %d too small. Should be at least = %d",
                             {underlyingSize, next});
    }
    // Reads find a block by position div BlockSize: every block but the last must be full.
    if (header.UncompressedSize <= 0 || header.UncompressedSize > blockSize) {
      throw ETarnexException(10088, "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d",
                             {blockSize, header.UncompressedSize});
    }
    if (i > 0 && Headers_.Header(i - 1).UncompressedSize != blockSize) {
      throw ETarnexException(10088, "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d",
                             {blockSize, Headers_.Header(i - 1).UncompressedSize});
    }
    Headers_.Append(header, position);
    Size_ += header.UncompressedSize;
    CompressedTotal_ += header.CompressedSize;
    SeekExact(*Underlying_, next, 10083);
    position = next;
  }
}

void TTarnexCompressedBLOBStream::UpdateParams() {
  Params_.BlockCount = Compressed() ? Headers_.Count() : 0;
  Params_.UncompressedSize = Size_;
  CompressionRatio_ = (Compressed() && Size_ > 0)
                          ? static_cast<float>((1.0 - static_cast<double>(CompressedTotal_) /
                                                          static_cast<double>(Size_)) * 100.0)
                          : 0.0f;
}

int32_t TTarnexCompressedBLOBStream::ReadBlock(int64_t index, uint8_t* buffer) {
  const TTarnexCompressedStreamBlockHeader header = Headers_.Header(index);
  const int64_t dataPosition = Headers_.HeaderPosition(index) + TTarnexCompressedStreamBlockHeader::Size;
  if (header.CompressedSize <= 0) {
    throw ETarnexException(10087, "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d",
                           {static_cast<int>(Params_.Algorithm), header.CompressedSize, header.UncompressedSize});
  }
  TScopedBlock compressed(header.CompressedSize);
  SeekExact(*Underlying_, dataPosition, 10086);
  ReadExact(compressed.Get(), header.CompressedSize, *Underlying_, 10086);
  int32_t outSize = header.UncompressedSize;
  void* out = nullptr;
  if (!DecompressBuffer(Params_.Algorithm, compressed.Get(), header.CompressedSize, outSize, out)) {
    throw ETarnexException(10087, "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d",
                           {static_cast<int>(Params_.Algorithm), header.CompressedSize, header.UncompressedSize});
  }
  TScopedBlock decompressed;
  decompressed.Adopt(out);
  if (outSize != header.UncompressedSize) {
    throw ETarnexException(10088, "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d",
                           {outSize, header.UncompressedSize});
  }
  const uint32_t crc = TarnexCrc32(decompressed.Get(), outSize);
  if (crc != header.Crc32) {
    throw ETarnexException(10089, "Decompress buffer failed. CheckSum = %d, Header.Crc32 = %d",
                           {static_cast<int32_t>(crc), static_cast<int32_t>(header.Crc32)});
  }
  std::memcpy(buffer, decompressed.Get(), static_cast<size_t>(outSize));
  return outSize;
}

int32_t TTarnexCompressedBLOBStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || Position_ >= Size_) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  if (!Compressed()) {
    int32_t wanted = static_cast<int32_t>(std::min<int64_t>(count, Size_ - Position_));
    SeekExact(*Underlying_, Params_.StartPosition + Position_, 10086);
    int32_t read = Underlying_->Read(out, wanted);
    Position_ += std::max(read, 0);
    return read;
  }
  const int32_t blockSize = Params_.BlockSize;
  TScopedBlock block(blockSize);
  int32_t done = 0;
  while (Position_ < Size_ && done < count) {
    const int64_t index = Position_ / blockSize;
    if (index >= Headers_.Count()) {
      throw ETarnexException(10090, "Cannot read from stream. ReadSize = %d", {0});
    }
    const int32_t length = ReadBlock(index, block.Get());
    const int32_t offset = static_cast<int32_t>(Position_ % blockSize);
    const int64_t n = std::min<int64_t>({int64_t{length} - offset, Size_ - Position_, int64_t{count} - done});
    if (n <= 0) throw ETarnexException(10090, "Cannot read from stream. ReadSize = %d", {n});
    std::memcpy(out + done, block.Get() + offset, static_cast<size_t>(n));
    Position_ += n;
    done += static_cast<int32_t>(n);
  }
  return done;
}

void TTarnexCompressedBLOBStream::Append(const uint8_t* data, int64_t count) {
  if (count <= 0) return;
  const int32_t blockSize = Params_.BlockSize;
  TScopedBlock block(blockSize);
  int64_t taken = 0;  // bytes of data stored so far
  try {
    // Fill up the last block and rewrite it in place (nothing follows it).
    const int32_t used = static_cast<int32_t>(Size_ % blockSize);
    if (used != 0 && Headers_.Count() > 0) {
      const int64_t last = Headers_.Count() - 1;
      const TTarnexCompressedStreamBlockHeader old = Headers_.Header(last);
      const int64_t position = Headers_.HeaderPosition(last);
      ReadBlock(last, block.Get());
      const int32_t fill = static_cast<int32_t>(std::min<int64_t>(count, blockSize - used));
      if (data) std::memcpy(block.Get() + used, data, static_cast<size_t>(fill));
      else std::memset(block.Get() + used, 0, static_cast<size_t>(fill));
      TCompressedBlock compressed;
      CompressBlock(Params_, block.Get(), used + fill, compressed);
      SeekExact(*Underlying_, position, 10099);
      uint8_t image[TTarnexCompressedStreamBlockHeader::Size];
      compressed.Header.WriteTo(image);
      WriteExact(image, TTarnexCompressedStreamBlockHeader::Size, *Underlying_, 10100);
      WriteExact(compressed.Data.Get(), compressed.Header.CompressedSize, *Underlying_, 10101);
      Headers_.SetHeader(last, compressed.Header, position);
      CompressedTotal_ += int64_t{compressed.Header.CompressedSize} - old.CompressedSize;
      Size_ += fill;
      taken = fill;
    }
    // The rest goes into new blocks after the last one.
    if (taken < count) {
      int64_t position = Params_.StartPosition;
      if (Headers_.Count() > 0) {
        const int64_t last = Headers_.Count() - 1;
        position = Headers_.HeaderPosition(last) + Headers_.Header(last).NextBlockOffset;
      }
      SeekExact(*Underlying_, position, 10102);
      if (!data) std::memset(block.Get(), 0, static_cast<size_t>(blockSize));
      while (taken < count) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(count - taken, blockSize));
        TCompressedBlock compressed;
        CompressBlock(Params_, data ? data + taken : block.Get(), n, compressed);
        SeekExact(*Underlying_, position, 10099);
        uint8_t image[TTarnexCompressedStreamBlockHeader::Size];
        compressed.Header.WriteTo(image);
        WriteExact(image, TTarnexCompressedStreamBlockHeader::Size, *Underlying_, 10100);
        WriteExact(compressed.Data.Get(), compressed.Header.CompressedSize, *Underlying_, 10101);
        Headers_.Append(compressed.Header, position);
        CompressedTotal_ += compressed.Header.CompressedSize;
        Size_ += n;
        taken += n;
        position += compressed.Header.NextBlockOffset;
      }
    }
  } catch (...) {
    UpdateParams();  // the blocks written so far stay a consistent value
    throw;
  }
  UpdateParams();
}

int32_t TTarnexCompressedBLOBStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (!Compressed()) {
    SeekExact(*Underlying_, Params_.StartPosition + Position_, 10099);
    int32_t written = Underlying_->Write(buffer, count);
    Position_ += std::max(written, 0);
    Size_ = std::max(Size_, Position_);
    UpdateParams();
    return written;
  }
  if (Position_ < Size_) {
    // Compressed values grow only at their end: cut at the write position first.
    SetSize(Position_);
    if (Size_ != Position_) {
      throw ETarnexException(10092, "Invalid stream size = %d. Should be = %d", {Size_, Position_});
    }
  }
  if (Position_ > Size_) Append(nullptr, Position_ - Size_);  // a gap reads as zeros
  Append(static_cast<const uint8_t*>(buffer), count);
  Position_ = Size_;
  return count;
}

void TTarnexCompressedBLOBStream::Shrink(int64_t newSize) {
  const int32_t blockSize = Params_.BlockSize;
  const int64_t kept = newSize / blockSize;
  const int32_t rest = static_cast<int32_t>(newSize % blockSize);
  int64_t cut;  // where the underlying stream now ends
  TCompressedBlock compressed;
  if (rest > 0) {
    TScopedBlock block(blockSize);
    ReadBlock(kept, block.Get());
    CompressBlock(Params_, block.Get(), rest, compressed);
    cut = Headers_.HeaderPosition(kept);
    Headers_.SetCount(kept + 1);
  } else {
    cut = kept < Headers_.Count() ? Headers_.HeaderPosition(kept) : Params_.StartPosition;
    Headers_.SetCount(kept);
  }
  Underlying_->SetSize(cut);
  if (Underlying_->Size() != cut) {
    throw ETarnexException(10093, "Invalid stream size = %d. Should be = %d", {Underlying_->Size(), cut});
  }
  SeekExact(*Underlying_, cut, 10094);
  if (rest > 0) {
    uint8_t image[TTarnexCompressedStreamBlockHeader::Size];
    compressed.Header.WriteTo(image);
    if (Underlying_->Write(image, TTarnexCompressedStreamBlockHeader::Size) !=
        TTarnexCompressedStreamBlockHeader::Size) {
      throw ETarnexException(10095, "Error writing to stream");
    }
    if (Underlying_->Write(compressed.Data.Get(), compressed.Header.CompressedSize) !=
        compressed.Header.CompressedSize) {
      throw ETarnexException(10096, "Error writing to stream");
    }
    Headers_.SetHeader(kept, compressed.Header, cut);
  }
  CompressedTotal_ = 0;
  for (int64_t i = 0; i < Headers_.Count(); ++i) CompressedTotal_ += Headers_.Header(i).CompressedSize;
  Size_ = newSize;
}

void TTarnexCompressedBLOBStream::SetSize(int64_t newSize) {
  newSize = std::max<int64_t>(newSize, 0);
  if (!Compressed()) {
    Underlying_->SetSize(Params_.StartPosition + newSize);
    Size_ = newSize;
  } else if (newSize > Size_) {
    const int64_t position = Position_;
    const int64_t oldSize = Size_;
    Append(nullptr, newSize - Size_);
    Position_ = position;
    if (Size_ != newSize) {
      throw ETarnexException(10097, "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d",
                             {oldSize, Size_, Params_.BlockSize, Size_ - oldSize});
    }
  } else if (newSize < Size_) {
    try {
      Shrink(newSize);
    } catch (...) {
      UpdateParams();
      throw;
    }
  }
  if (Position_ > Size_) Position_ = Size_;
  UpdateParams();
}

int64_t TTarnexCompressedBLOBStream::Seek(int64_t offset, TTarnexSeekOrigin origin) {
  int64_t base = origin == TTarnexSeekOrigin::Beginning ? 0
                 : origin == TTarnexSeekOrigin::Current ? Position_
                                                        : Size_;
  int64_t target = std::max<int64_t>(base + offset, 0);
  if (!Compressed()) {
    int64_t result = Underlying_->Seek(Params_.StartPosition + target, TTarnexSeekOrigin::Beginning);
    target = std::max<int64_t>(result - Params_.StartPosition, 0);
  }
  Position_ = target;
  return Position_;
}

// ---------------------------------------------------------------------------------------------
// TTarnexLocalBLOBStream

TTarnexLocalBLOBStream::TTarnexLocalBLOBStream(std::unique_ptr<TTarnexCompressedBLOBStream> inner,
                                               uint8_t mode, int32_t fieldNo, TTarnexCursor* cursor,
                                               std::unique_ptr<TTarnexStream> underlying)
    : OwnedUnderlying_(std::move(underlying)), Inner_(std::move(inner)), Mode_(mode),
      FieldNo_(fieldNo), Cursor_(cursor) {
  if (!Inner_) throw ETarnexException(NoUnderlyingCode, "Nil pointer occured");
}

TTarnexLocalBLOBStream::~TTarnexLocalBLOBStream() = default;  // Inner first, then the underlying

int64_t TTarnexLocalBLOBStream::Size() { return Inner_->Size(); }

void TTarnexLocalBLOBStream::SetSize(int64_t newSize) {
  if (Mode_ == 1) throw ETarnexException(10116, "Cannot write to read only stream");
  Inner_->SetSize(newSize);
}

int32_t TTarnexLocalBLOBStream::Read(void* buffer, int32_t count) { return Inner_->Read(buffer, count); }

int32_t TTarnexLocalBLOBStream::Write(const void* buffer, int32_t count) {
  if (Mode_ == 1) throw ETarnexException(10115, "Cannot write to read only stream");
  return Inner_->Write(buffer, count);
}

int64_t TTarnexLocalBLOBStream::Seek(int64_t offset, TTarnexSeekOrigin origin) {
  return Inner_->Seek(offset, origin);
}
