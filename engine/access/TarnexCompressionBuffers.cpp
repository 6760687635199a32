// The block checksum and one-shot buffer compression with zlib and bzip2.
#include "engine/access/TarnexCompression.h"

#include <bzlib.h>
#include <zlib.h>

#include <array>
#include <cstring>

#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/SysUtils.h"

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> CrcTable = MakeCrcTable();

constexpr int64_t Granule = 256;  // compression output buffers are multiples of this

int64_t RoundUp(int64_t n) { return (n + Granule - 1) / Granule * Granule; }

// A growing output buffer from the memory manager; freed unless handed over with Release.
class TOutput {
public:
  TOutput() = default;
  ~TOutput() {
    if (P_) {
      try { MemoryManager().FreeAndNillMem(P_); } catch (...) {}
    }
  }
  TOutput(const TOutput&) = delete;
  TOutput& operator=(const TOutput&) = delete;

  // Makes room for `capacity` bytes in all; false when that is beyond a block's limit.
  bool Grow(int64_t capacity) {
    if (capacity <= Capacity_) return true;
    if (capacity > TTarnexMemoryManager::MaxBlockSize) return false;
    MemoryManager().ReallocMem(P_, static_cast<int32_t>(capacity), false);
    Capacity_ = capacity;
    return true;
  }
  uint8_t* Get() const { return P_; }
  int64_t Capacity() const { return Capacity_; }
  void* Release() {
    void* p = P_;
    P_ = nullptr;
    Capacity_ = 0;
    return p;
  }

private:
  uint8_t* P_ = nullptr;  // owned until Release
  int64_t Capacity_ = 0;
};

bool ZlibCompress(uint8_t level, const uint8_t* input, int32_t size, TOutput& out, int64_t& produced) {
  if (level > 9) return false;
  if (!out.Grow(std::min<int64_t>(RoundUp(int64_t{size} + size / 10 + 12),
                                  TTarnexMemoryManager::MaxBlockSize)))
    return false;
  z_stream zs{};
  if (deflateInit(&zs, level) != Z_OK) return false;
  bool ok = false;
  try {
    zs.next_in = const_cast<Bytef*>(input);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.Get();
    zs.avail_out = static_cast<uInt>(out.Capacity());
    for (;;) {
      int r = deflate(&zs, Z_FINISH);
      if (r == Z_STREAM_END) {
        ok = true;
        break;
      }
      if (r != Z_OK && r != Z_BUF_ERROR) break;
      if (zs.avail_out != 0) {
        if (r == Z_BUF_ERROR) break;  // no progress possible
        continue;
      }
      int64_t used = static_cast<int64_t>(zs.total_out);
      if (!out.Grow(out.Capacity() + Granule)) break;
      zs.next_out = out.Get() + used;
      zs.avail_out = static_cast<uInt>(out.Capacity() - used);
    }
  } catch (...) {
    ok = false;
  }
  produced = static_cast<int64_t>(zs.total_out);
  deflateEnd(&zs);
  return ok;
}

bool BzipCompress(uint8_t blockSize, const uint8_t* input, int32_t size, TOutput& out, int64_t& produced) {
  if (blockSize < 1 || blockSize > 9) return false;
  if (!out.Grow(std::min<int64_t>(RoundUp(int64_t{size} + size / 10), TTarnexMemoryManager::MaxBlockSize)))
    return false;
  bz_stream bs{};
  if (BZ2_bzCompressInit(&bs, blockSize, 0, 0) != BZ_OK) return false;
  bool ok = false;
  auto total = [&bs] {
    return static_cast<int64_t>((static_cast<uint64_t>(bs.total_out_hi32) << 32) | bs.total_out_lo32);
  };
  try {
    bs.next_in = const_cast<char*>(reinterpret_cast<const char*>(input));
    bs.avail_in = static_cast<unsigned>(size);
    bs.next_out = reinterpret_cast<char*>(out.Get());
    bs.avail_out = static_cast<unsigned>(out.Capacity());
    for (;;) {
      int r = BZ2_bzCompress(&bs, BZ_FINISH);
      if (r == BZ_STREAM_END) {
        ok = true;
        break;
      }
      if (r != BZ_FINISH_OK) break;
      if (bs.avail_out != 0) continue;
      int64_t used = total();
      if (!out.Grow(out.Capacity() + Granule)) break;
      bs.next_out = reinterpret_cast<char*>(out.Get() + used);
      bs.avail_out = static_cast<unsigned>(out.Capacity() - used);
    }
  } catch (...) {
    ok = false;
  }
  produced = total();
  BZ2_bzCompressEnd(&bs);
  return ok;
}

// Both decompressors fill a buffer of `step` bytes and grow it by `step` only when the data
// really continues: a full buffer is first probed with a few bytes of scratch space, so an
// exact expected size never costs a second buffer.
bool ZlibDecompress(const uint8_t* input, int32_t size, int64_t step, TOutput& out, int64_t& produced) {
  if (!out.Grow(step)) return false;
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  bool ok = false;
  try {
    zs.next_in = const_cast<Bytef*>(input);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.Get();
    zs.avail_out = static_cast<uInt>(out.Capacity());
    uint8_t scratch[64];
    for (;;) {
      bool probing = false;
      if (zs.avail_out == 0) {
        zs.next_out = scratch;
        zs.avail_out = sizeof(scratch);
        probing = true;
      }
      int r = inflate(&zs, Z_NO_FLUSH);
      const uInt left = zs.avail_out;  // room left in the buffer just given
      if (probing) {
        int64_t extra = static_cast<int64_t>(sizeof(scratch) - left);
        if (extra > 0) {
          int64_t used = static_cast<int64_t>(zs.total_out) - extra;
          if (!out.Grow(out.Capacity() + std::max(step, extra))) break;
          std::memcpy(out.Get() + used, scratch, static_cast<size_t>(extra));
          zs.next_out = out.Get() + used + extra;
          zs.avail_out = static_cast<uInt>(out.Capacity() - used - extra);
        } else {
          zs.avail_out = 0;
        }
      }
      if (r == Z_STREAM_END) {
        ok = true;
        break;
      }
      if (r != Z_OK && r != Z_BUF_ERROR) break;                      // corrupt data
      if (left != 0 && (zs.avail_in == 0 || r == Z_BUF_ERROR)) break;  // truncated data
    }
  } catch (...) {
    ok = false;
  }
  produced = static_cast<int64_t>(zs.total_out);
  inflateEnd(&zs);
  return ok;
}

bool BzipDecompress(const uint8_t* input, int32_t size, int64_t step, TOutput& out, int64_t& produced) {
  if (!out.Grow(step)) return false;
  bz_stream bs{};
  if (BZ2_bzDecompressInit(&bs, 0, 0) != BZ_OK) return false;
  bool ok = false;
  auto total = [&bs] {
    return static_cast<int64_t>((static_cast<uint64_t>(bs.total_out_hi32) << 32) | bs.total_out_lo32);
  };
  try {
    bs.next_in = const_cast<char*>(reinterpret_cast<const char*>(input));
    bs.avail_in = static_cast<unsigned>(size);
    bs.next_out = reinterpret_cast<char*>(out.Get());
    bs.avail_out = static_cast<unsigned>(out.Capacity());
    char scratch[64];
    for (;;) {
      bool probing = false;
      if (bs.avail_out == 0) {
        bs.next_out = scratch;
        bs.avail_out = sizeof(scratch);
        probing = true;
      }
      int r = BZ2_bzDecompress(&bs);
      const unsigned left = bs.avail_out;  // room left in the buffer just given
      if (probing) {
        int64_t extra = static_cast<int64_t>(sizeof(scratch) - left);
        if (extra > 0) {
          int64_t used = total() - extra;
          if (!out.Grow(out.Capacity() + std::max(step, extra))) break;
          std::memcpy(out.Get() + used, scratch, static_cast<size_t>(extra));
          bs.next_out = reinterpret_cast<char*>(out.Get() + used + extra);
          bs.avail_out = static_cast<unsigned>(out.Capacity() - used - extra);
        } else {
          bs.avail_out = 0;
        }
      }
      if (r == BZ_STREAM_END) {
        ok = true;
        break;
      }
      if (r != BZ_OK) break;                        // corrupt data
      if (left != 0 && bs.avail_in == 0) break;     // truncated data
    }
  } catch (...) {
    ok = false;
  }
  produced = total();
  BZ2_bzDecompressEnd(&bs);
  return ok;
}

}  // namespace

uint32_t TarnexCrc32(const void* data, int32_t size, uint32_t crc) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (int32_t i = 0; i < size; ++i) crc = (crc >> 8) ^ CrcTable[(crc ^ p[i]) & 0xFFu];
  return crc;
}

std::string AlgorithmName(TTarnexCompressionAlgorithm algorithm) {
  switch (algorithm) {
    case TTarnexCompressionAlgorithm::None: return "NONE";
    case TTarnexCompressionAlgorithm::ZLIB: return "ZLIB";
    case TTarnexCompressionAlgorithm::BZIP: return "BZIP";
    case TTarnexCompressionAlgorithm::PPM: return "PPM";
  }
  return "";
}

TTarnexCompressionAlgorithm AlgorithmByName(const std::string& name) {
  std::string upper = UpperCase(name);
  for (auto a : {TTarnexCompressionAlgorithm::ZLIB, TTarnexCompressionAlgorithm::BZIP,
                 TTarnexCompressionAlgorithm::PPM}) {
    if (upper == AlgorithmName(a)) return a;
  }
  return TTarnexCompressionAlgorithm::None;
}

bool CompressBuffer(TTarnexCompressionAlgorithm algorithm, uint8_t mode, const void* input,
                    int32_t inputSize, void*& output, int32_t& outSize) {
  output = nullptr;
  outSize = 0;
  if (inputSize <= 0 || input == nullptr) return false;
  TOutput out;
  int64_t produced = 0;
  bool ok = false;
  try {
    const auto* in = static_cast<const uint8_t*>(input);
    switch (algorithm) {
      case TTarnexCompressionAlgorithm::ZLIB: ok = ZlibCompress(mode, in, inputSize, out, produced); break;
      case TTarnexCompressionAlgorithm::BZIP: ok = BzipCompress(mode, in, inputSize, out, produced); break;
      default: ok = false; break;  // none, PPM (not built in), unknown
    }
  } catch (...) {
    ok = false;
  }
  if (!ok || produced <= 0 || produced > TTarnexMemoryManager::MaxBlockSize) return false;
  outSize = static_cast<int32_t>(produced);
  output = out.Release();
  return true;
}

bool DecompressBuffer(TTarnexCompressionAlgorithm algorithm, const void* input, int32_t inputSize,
                      int32_t& outSize, void*& output) {
  output = nullptr;
  int64_t step = outSize > 0 ? outSize : RoundUp(std::max(inputSize, 1));
  outSize = 0;
  if (inputSize <= 0 || input == nullptr) return false;
  TOutput out;
  int64_t produced = 0;
  bool ok = false;
  try {
    const auto* in = static_cast<const uint8_t*>(input);
    switch (algorithm) {
      case TTarnexCompressionAlgorithm::ZLIB: ok = ZlibDecompress(in, inputSize, step, out, produced); break;
      case TTarnexCompressionAlgorithm::BZIP: ok = BzipDecompress(in, inputSize, step, out, produced); break;
      default: ok = false; break;
    }
  } catch (...) {
    ok = false;
  }
  if (!ok || produced <= 0 || produced > TTarnexMemoryManager::MaxBlockSize) return false;
  outSize = static_cast<int32_t>(produced);
  output = out.Release();
  return true;
}
