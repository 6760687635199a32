#include "engine/access/TarnexCompression.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/TempFiles.h"
#include "TarnexTestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Alg = TTarnexCompressionAlgorithm;

Bytes TextBytes(size_t n, uint32_t seed = 1) {
  static const char* words[] = {"trap ", "moth ", "silverfish ", "gallery ", "12 ", "adult\r\n",
                                "carpet beetle ", "webbing clothes ", "larva ", "shelf "};
  std::mt19937 g(seed);
  Bytes out;
  while (out.size() < n) {
    const char* w = words[g() % 10];
    out.insert(out.end(), w, w + std::strlen(w));
  }
  out.resize(n);
  return out;
}

Bytes RandomBytes(size_t n, uint32_t seed = 7) {
  std::mt19937 g(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(g());
  return out;
}

Bytes ReadAll(TTarnexStream& s) {
  Bytes out(static_cast<size_t>(s.Size()));
  s.SetPosition(0);
  if (!out.empty()) ReadExact(out.data(), static_cast<int32_t>(out.size()), s, 1);
  return out;
}

void WriteAll(TTarnexStream& s, const Bytes& data) {
  WriteExact(data.data(), static_cast<int32_t>(data.size()), s, 2);
}

// Frees a memory-manager block at scope end.
struct TBlock {
  void* P = nullptr;
  ~TBlock() { if (P) MemoryManager().FreeAndNillMem(P); }
};

// A memory stream that tells when it is freed.
class TWatchedStream : public TTarnexMemoryStream {
public:
  explicit TWatchedStream(bool& freed) : Freed_(freed) {}
  ~TWatchedStream() override { Freed_ = true; }

private:
  bool& Freed_;
};

}  // namespace

// ------------------------------------------------------------------------------ checksum

TEST(TarnexCrc32, RegisterFromZeroWithoutInversion) {
  EXPECT_EQ(TarnexCrc32("abc", 3), 0xCA6598D0u);
  EXPECT_EQ(TarnexCrc32("", 0), 0u);
  // Same table and shift as the common CRC-32: started at all ones and inverted, it agrees.
  for (size_t n : {1u, 17u, 4096u}) {
    Bytes data = RandomBytes(n, static_cast<uint32_t>(n));
    uint32_t common = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(n)));
    EXPECT_EQ(TarnexCrc32(data.data(), static_cast<int32_t>(n), 0xFFFFFFFFu) ^ 0xFFFFFFFFu, common) << n;
  }
  // Chained over two halves equals one pass.
  Bytes data = TextBytes(1000);
  EXPECT_EQ(TarnexCrc32(data.data() + 400, 600, TarnexCrc32(data.data(), 400)), TarnexCrc32(data.data(), 1000));
}

// ------------------------------------------------------------------------------ exact helpers

TEST(TarnexStreamExact, ShortTransfersRaiseTheCallersCode) {
  TTarnexMemoryStream s;
  WriteAll(s, Bytes{1, 2, 3, 4});
  s.SetPosition(2);
  uint8_t buf[8];
  EXPECT_EQ(MessageOf([&] { ReadExact(buf, 5, s, 12345); }),
            "Cannot read from stream. Position = 2, Stream size = 4, Block size = 5, Bytes Read = 2"
            " - Native error: 12345");
  EXPECT_EQ(MessageOf([&] { SeekExact(s, -3, 777); }),
            "Cannot set stream position to -3. Position = 4, Size = 4 - Native error:   777");
  TTarnexFileStream ro(GetTempFileName("Tarnex"), TarnexFileMode::OpenRead);
  std::string name = ro.FileName();
  EXPECT_EQ(MessageOf([&] { WriteExact(buf, 3, ro, 10147); }),
            "Cannot write to stream. Position = 0, Stream size = 0, Block size = 3, Bytes Write = 0"
            " - Native error: 10147");
  DeleteFile(name);
  s.SetPosition(0);
  ReadExact(buf, 4, s, 1);  // exact transfers pass silently
  EXPECT_EQ(buf[3], 4);
}

// ------------------------------------------------------------------------------ memory stream

TEST(TarnexMemoryStream, GrowsExactlyAndZeroFillsGaps) {
  TTarnexMemoryStream s;
  EXPECT_EQ(s.Seek(5, TTarnexSeekOrigin::Beginning), 5);  // beyond the end is allowed
  WriteAll(s, Bytes{9, 9});
  EXPECT_EQ(s.Size(), 7);
  EXPECT_EQ(MemoryManager().GetBlockSize(s.Memory()), 7);
  EXPECT_EQ(ReadAll(s), (Bytes{0, 0, 0, 0, 0, 9, 9}));
  uint8_t buf[4];
  s.SetPosition(5);
  EXPECT_EQ(s.Read(buf, 4), 2);
  EXPECT_EQ(s.Read(buf, 4), 0);
  EXPECT_EQ(s.Read(buf, 0), 0);
  EXPECT_EQ(s.Seek(-100, TTarnexSeekOrigin::Current), 7);  // refused: stays
  EXPECT_EQ(s.Seek(-2, TTarnexSeekOrigin::End), 5);
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(ReadAll(s), (Bytes{0, 0, 0}));
  s.SetSize(0);
  EXPECT_EQ(s.Memory(), nullptr);
}

TEST(TarnexMemoryStream, AdoptsABlock) {
  for (int32_t given : {-1, 3, 100}) {
    void* block = MemoryManager().GetMem(6);
    std::memcpy(block, "abcdef", 6);
    TTarnexMemoryStream s(block, given);
    int32_t expected = given < 0 || given > 6 ? 6 : given;
    EXPECT_EQ(s.Size(), expected) << given;
    Bytes all = ReadAll(s);
    EXPECT_EQ(std::string(all.begin(), all.end()), std::string("abcdef", static_cast<size_t>(expected)));
  }
}

// ------------------------------------------------------------------------------ copies

TEST(TarnexStreamCopy, SaveAndLoadInChunksWithProgress) {
  TTarnexMemoryStream source;
  Bytes data = TextBytes(10);
  WriteAll(source, data);
  source.SetPosition(3);
  source.SetBlockSize(4);
  std::vector<double> seen;
  source.SetOnProgress([&](TTarnexStream&, bool&, double p) { seen.push_back(p); });
  TTarnexMemoryStream dest;
  WriteAll(dest, Bytes{7, 7});
  source.SaveToStream(dest);
  EXPECT_EQ(seen, (std::vector<double>{0, 40, 80, 100, 100}));
  EXPECT_EQ(source.Position(), 3);
  EXPECT_EQ(dest.Position(), 2);
  Bytes expected(2 + data.size(), 7);
  std::copy(data.begin(), data.end(), expected.begin() + 2);
  EXPECT_EQ(ReadAll(dest), expected);

  TTarnexMemoryStream copy;
  copy.SetBlockSize(3);
  WriteAll(copy, Bytes(50, 1));
  seen.clear();
  copy.SetOnProgress([&](TTarnexStream&, bool&, double p) { seen.push_back(p); });
  source.SetPosition(6);
  copy.CopyFrom(source, 5, 2);
  EXPECT_EQ(ReadAll(copy), Bytes(data.begin() + 2, data.begin() + 7));
  EXPECT_EQ(seen, (std::vector<double>{0, 50, 70, 100}));
  EXPECT_EQ(source.Position(), 6);
  copy.LoadFromStream(source);
  EXPECT_EQ(ReadAll(copy), data);
}

TEST(TarnexStreamCopy, CancelStopsAfterTheChunkAndZeroBlockSizeIsRefused) {
  TTarnexMemoryStream source;
  WriteAll(source, TextBytes(10));
  source.SetBlockSize(4);
  std::vector<double> seen;
  source.SetOnProgress([&](TTarnexStream&, bool& cancel, double p) {
    seen.push_back(p);
    cancel = p > 0;
  });
  TTarnexMemoryStream dest;
  source.SaveToStream(dest);
  EXPECT_EQ(dest.Size(), 4);
  EXPECT_EQ(source.Cancelled(), 1);
  EXPECT_EQ(seen, (std::vector<double>{0, 40}));

  source.SetBlockSize(0);
  EXPECT_EQ(CodeOf([&] { source.SaveToStream(dest); }), 10418);
  dest.SetBlockSize(0);
  EXPECT_EQ(CodeOf([&] { dest.LoadFromStream(source); }), 10419);
  dest.SetBlockSize(4);
  EXPECT_EQ(CodeOf([&] { dest.CopyFrom(source, 20, 0); }), 10148);
}

// ------------------------------------------------------------------------------ file stream

TEST(TarnexFileStream, CreateWriteTruncateReopen) {
  std::string name = GetTempFileName("Tarnex");
  {
    TTarnexFileStream f(name, TarnexFileMode::Create);
    WriteAll(f, TextBytes(100));
    f.SetPosition(40);
    f.SetSize(60);
    EXPECT_EQ(f.Size(), 60);
    EXPECT_EQ(f.Position(), 40);
    f.SetSize(20);
    EXPECT_EQ(f.Position(), 20);
  }
  {
    TTarnexFileStream f(name, TarnexFileMode::OpenRead | TarnexFileMode::ShareDenyWrite);
    EXPECT_EQ(ReadAll(f), TextBytes(20));
    uint8_t b = 0;
    EXPECT_EQ(f.Write(&b, 1), 0);
  }
  DeleteFile(name);
  EXPECT_EQ(MessageOf([&] { TTarnexFileStream f(name, TarnexFileMode::OpenReadWrite); }),
            "Cannot open file. FileName = " + name + ", Mode = 2 - Native error: 10105");
  std::string bad = name + "/none/x";
  EXPECT_EQ(MessageOf([&] { TTarnexFileStream f(bad, TarnexFileMode::Create); }),
            "Cannot create file. FileName = " + bad + " - Native error: 10104");
}

// ------------------------------------------------------------------------------ temporary stream

TEST(TarnexTemporaryStream, StaysInMemoryUpToTheSpillSizeInclusive) {
  struct Case { int32_t lastPiece; bool inMemory; };
  // 1048 pieces of 1000 bytes, then one more piece.
  for (Case c : {Case{576, true}, Case{577, false}, Case{1000, false}}) {
    Bytes data = TextBytes(1048000 + static_cast<size_t>(c.lastPiece), 3);
    std::string file;
    {
      TTarnexTemporaryStream s;
      EXPECT_EQ(s.SpillSize(), 1048576);
      for (size_t off = 0; off < 1048000; off += 1000) {
        WriteExact(data.data() + off, 1000, s, 1);
        ASSERT_TRUE(s.InMemory());
      }
      WriteExact(data.data() + 1048000, c.lastPiece, s, 1);
      EXPECT_EQ(s.InMemory(), c.inMemory) << c.lastPiece;
      EXPECT_EQ(s.MemoryPart() != nullptr, c.inMemory);
      EXPECT_EQ(s.FilePart() != nullptr, !c.inMemory);
      EXPECT_EQ(s.Position(), static_cast<int64_t>(data.size()));
      EXPECT_EQ(ReadAll(s), data);
      file = s.TempFileName();
      if (!c.inMemory) {
        EXPECT_TRUE(FileExists(file));
        s.SetPosition(5);
        WriteAll(s, Bytes{1, 2});  // later writes go to the file
        data[5] = 1;
        data[6] = 2;
        EXPECT_EQ(ReadAll(s), data);
      }
    }
    EXPECT_EQ(file.empty(), c.inMemory);
    if (!file.empty()) {
      EXPECT_FALSE(FileExists(file));
    }
  }
}

TEST(TarnexTemporaryStream, FailedSpillKeepsTheMemoryContent) {
  TTarnexTemporaryStream s;
  s.SetSpillSize(10);
  WriteAll(s, Bytes(8, 4));
  s.SetBlockSize(0);  // the copy into the file is refused
  uint8_t more[4] = {1, 2, 3, 4};
  EXPECT_EQ(CodeOf([&] { s.Write(more, 4); }), 10419);
  EXPECT_TRUE(s.InMemory());
  EXPECT_TRUE(s.TempFileName().empty());
  EXPECT_EQ(ReadAll(s), Bytes(8, 4));
}

// ------------------------------------------------------------------------------ buffers

TEST(TarnexCompressBuffer, AlgorithmNames) {
  struct Case { Alg alg; const char* name; };
  for (Case c : {Case{Alg::None, "NONE"}, Case{Alg::ZLIB, "ZLIB"}, Case{Alg::BZIP, "BZIP"}, Case{Alg::PPM, "PPM"}}) {
    EXPECT_EQ(AlgorithmName(c.alg), c.name);
    std::string lower = c.name;
    for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(AlgorithmByName(lower), c.alg);
  }
  EXPECT_EQ(AlgorithmByName("LZMA"), Alg::None);
  EXPECT_EQ(AlgorithmName(static_cast<Alg>(9)), "");
}

TEST(TarnexCompressBuffer, RoundTrips) {
  struct Case { Alg alg; uint8_t mode; };
  const std::vector<Bytes> inputs = {TextBytes(200000), RandomBytes(5000), Bytes{42}, Bytes(70000, 0)};
  for (Case c : {Case{Alg::ZLIB, 6}, Case{Alg::ZLIB, 0}, Case{Alg::ZLIB, 9}, Case{Alg::BZIP, 1}, Case{Alg::BZIP, 9}}) {
    for (const Bytes& in : inputs) {
      TBlock packed;
      int32_t packedSize = 0;
      ASSERT_TRUE(CompressBuffer(c.alg, c.mode, in.data(), static_cast<int32_t>(in.size()), packed.P, packedSize));
      ASSERT_GT(packedSize, 0);
      EXPECT_LE(packedSize, MemoryManager().GetBlockSize(packed.P));
      // With the exact expected size, with none, and with one that is too small.
      for (int32_t expected : {static_cast<int32_t>(in.size()), 0, 1000}) {
        TBlock unpacked;
        int32_t outSize = expected;
        ASSERT_TRUE(DecompressBuffer(c.alg, packed.P, packedSize, outSize, unpacked.P))
            << static_cast<int>(c.alg) << " " << int(c.mode) << " " << expected;
        ASSERT_EQ(outSize, static_cast<int32_t>(in.size()));
        EXPECT_EQ(std::memcmp(unpacked.P, in.data(), in.size()), 0);
      }
    }
  }
}

TEST(TarnexCompressBuffer, RefusalsReturnFalseCleanly) {
  Bytes in = TextBytes(1000);
  struct Case { Alg alg; uint8_t mode; int32_t size; };
  for (Case c : {Case{Alg::None, 1, 1000}, Case{Alg::PPM, 4, 1000}, Case{static_cast<Alg>(7), 1, 1000},
                 Case{Alg::ZLIB, 6, 0}, Case{Alg::ZLIB, 10, 1000}, Case{Alg::BZIP, 0, 1000},
                 Case{Alg::BZIP, 10, 1000}}) {
    void* out = reinterpret_cast<void*>(1);
    int32_t outSize = -1;
    EXPECT_FALSE(CompressBuffer(c.alg, c.mode, in.data(), c.size, out, outSize));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outSize, 0);
  }
  for (Alg alg : {Alg::None, Alg::PPM}) {
    void* out = nullptr;
    int32_t size = 1000;
    EXPECT_FALSE(DecompressBuffer(alg, in.data(), 100, size, out));
    EXPECT_EQ(out, nullptr);
  }
}

TEST(TarnexCompressBuffer, CorruptOrTruncatedInputFails) {
  Bytes in = TextBytes(50000);
  for (Alg alg : {Alg::ZLIB, Alg::BZIP}) {
    TBlock packed;
    int32_t n = 0;
    ASSERT_TRUE(CompressBuffer(alg, 6, in.data(), static_cast<int32_t>(in.size()), packed.P, n));
    Bytes bytes(static_cast<uint8_t*>(packed.P), static_cast<uint8_t*>(packed.P) + n);
    Bytes flipped = bytes;
    flipped[static_cast<size_t>(n) / 2] ^= 0x10;
    struct Case { const Bytes* data; int32_t size; };
    for (Case c : {Case{&bytes, n / 2}, Case{&bytes, n - 1}, Case{&flipped, n}}) {
      void* out = nullptr;
      int32_t outSize = static_cast<int32_t>(in.size());
      bool ok = DecompressBuffer(alg, c.data->data(), c.size, outSize, out);
      bool same = ok && outSize == static_cast<int32_t>(in.size()) && std::memcmp(out, in.data(), in.size()) == 0;
      if (out) MemoryManager().FreeAndNillMem(out);
      EXPECT_FALSE(ok) << static_cast<int>(alg) << " size " << c.size;
      EXPECT_FALSE(same);
    }
  }
}

// ------------------------------------------------------------------------------ BLOB stream

namespace {

TTarnexCompressedBLOBStreamParams Params(Alg alg, uint8_t mode = 6, int32_t blockSize = 102400,
                                         int64_t start = 0) {
  TTarnexCompressedBLOBStreamParams p;
  p.Algorithm = alg;
  p.Mode = mode;
  p.BlockSize = blockSize;
  p.StartPosition = start;
  return p;
}

// An underlying memory stream and a value written into it.
struct TStoredValue {
  TTarnexMemoryStream Underlying;
  TTarnexCompressedBLOBStreamParams Params;
  Bytes Data;

  TStoredValue(Alg alg, const Bytes& data, int64_t start = 0, uint8_t mode = 6) : Data(data) {
    WriteAll(Underlying, Bytes(static_cast<size_t>(start), 0xEE));  // bytes before the value
    TTarnexCompressedBLOBStream s(&Underlying, false, true, ::Params(alg, mode, 102400, start));
    WriteAll(s, data);
    Params = s.Params();
  }
  Bytes Raw() { return ReadAll(Underlying); }
  void SetRaw(const Bytes& raw) {
    Underlying.SetSize(0);
    Underlying.SetPosition(0);
    WriteAll(Underlying, raw);
  }
};

int32_t HeaderInt32(const Bytes& raw, int64_t at) {
  int32_t v;
  std::memcpy(&v, raw.data() + at, 4);
  return v;
}

}  // namespace

class TarnexCompressedBLOBStreamTest : public ::testing::TestWithParam<Alg> {};

TEST_P(TarnexCompressedBLOBStreamTest, StoresBlocksAndReadsBack) {
  Bytes data = TextBytes(250000);
  TStoredValue v(GetParam(), data, 16);
  EXPECT_EQ(v.Params.BlockCount, 3);
  EXPECT_EQ(v.Params.UncompressedSize, 250000);
  TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
  ASSERT_EQ(s.Headers().Count(), 3);
  const int32_t lengths[] = {102400, 102400, 45200};
  int64_t expectedPosition = 16;
  Bytes raw = v.Raw();
  int64_t total = 0;
  for (int64_t i = 0; i < 3; ++i) {
    TTarnexCompressedStreamBlockHeader h = s.Headers().Header(i);
    EXPECT_EQ(s.Headers().HeaderPosition(i), expectedPosition);
    EXPECT_EQ(s.Headers().FindByPosition(expectedPosition), i);
    EXPECT_EQ(h.UncompressedSize, lengths[i]);
    EXPECT_EQ(h.NextBlockOffset, 20 + h.CompressedSize);
    EXPECT_EQ(h.Crc32, TarnexCrc32(data.data() + i * 102400, lengths[i]));
    // The header image on the stream is little-endian at the recorded position.
    EXPECT_EQ(HeaderInt32(raw, expectedPosition), h.CompressedSize);
    EXPECT_EQ(HeaderInt32(raw, expectedPosition + 4), h.UncompressedSize);
    expectedPosition += h.NextBlockOffset;
    total += h.CompressedSize;
  }
  EXPECT_EQ(s.Headers().FindByPosition(17), -1);
  EXPECT_EQ(static_cast<int64_t>(raw.size()), expectedPosition);
  EXPECT_EQ(s.CompressedTotal(), total);
  EXPECT_GT(s.CompressionRatio(), 0.0f);
  EXPECT_FLOAT_EQ(s.CompressionRatio(), static_cast<float>((1.0 - double(total) / 250000.0) * 100.0));
  EXPECT_EQ(s.Size(), 250000);
  EXPECT_EQ(ReadAll(s), data);
  // Odd-sized reads crossing block boundaries.
  s.SetPosition(0);
  Bytes pieces;
  uint8_t buf[7777];
  int32_t n;
  while ((n = s.Read(buf, sizeof(buf))) > 0) pieces.insert(pieces.end(), buf, buf + n);
  EXPECT_EQ(pieces, data);
  EXPECT_EQ(s.Seek(-5, TTarnexSeekOrigin::Beginning), 0);
  EXPECT_EQ(s.Seek(-10, TTarnexSeekOrigin::End), 249990);
  EXPECT_EQ(s.Read(buf, 100), 10);
}

TEST_P(TarnexCompressedBLOBStreamTest, AppendRewritesOnlyTheLastBlock) {
  Bytes data = TextBytes(251000);
  TStoredValue v(GetParam(), Bytes(data.begin(), data.begin() + 250000));
  Bytes before = v.Raw();
  TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
  const int64_t thirdAt = s.Headers().HeaderPosition(2);
  auto first = s.Headers().Header(0), second = s.Headers().Header(1);
  s.Seek(0, TTarnexSeekOrigin::End);
  WriteExact(data.data() + 250000, 1000, s, 1);
  EXPECT_EQ(s.Params().BlockCount, 3);
  EXPECT_EQ(s.Params().UncompressedSize, 251000);
  EXPECT_EQ(s.Headers().Header(2).UncompressedSize, 46200);
  EXPECT_EQ(s.Headers().HeaderPosition(2), thirdAt);
  EXPECT_EQ(s.Headers().Header(0).Crc32, first.Crc32);
  EXPECT_EQ(s.Headers().Header(1).Crc32, second.Crc32);
  Bytes after = v.Raw();
  ASSERT_GE(after.size(), static_cast<size_t>(thirdAt));
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + thirdAt, after.begin()));  // blocks 1, 2 untouched
  EXPECT_EQ(ReadAll(s), data);
  // Appending past a full block starts new blocks.
  TStoredValue w(GetParam(), Bytes(data.begin(), data.begin() + 204800));
  TTarnexCompressedBLOBStream t(&w.Underlying, false, false, w.Params);
  t.Seek(0, TTarnexSeekOrigin::End);
  WriteExact(data.data() + 204800, 46200, t, 1);
  EXPECT_EQ(t.Params().BlockCount, 3);
  EXPECT_EQ(ReadAll(t), Bytes(data.begin(), data.begin() + 251000));
}

TEST_P(TarnexCompressedBLOBStreamTest, WritingInsideCutsAtThePosition) {
  Bytes data = TextBytes(1000);
  TStoredValue v(GetParam(), data);
  TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
  s.SetPosition(10);
  WriteAll(s, Bytes{1, 2, 3});
  EXPECT_EQ(s.Size(), 13);
  Bytes expected(data.begin(), data.begin() + 10);
  expected.insert(expected.end(), {1, 2, 3});
  EXPECT_EQ(ReadAll(s), expected);
  // Writing beyond the end leaves zeros in the gap.
  s.SetPosition(20);
  WriteAll(s, Bytes{9});
  expected.resize(20, 0);
  expected.push_back(9);
  EXPECT_EQ(ReadAll(s), expected);
}

TEST_P(TarnexCompressedBLOBStreamTest, SetSizeShrinksAndGrows) {
  Bytes data = TextBytes(250000);
  TStoredValue v(GetParam(), data);
  TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
  auto first = s.Headers().Header(0);
  s.SetPosition(200000);
  s.SetSize(150000);
  EXPECT_EQ(s.Position(), 150000);
  EXPECT_EQ(s.Params().BlockCount, 2);
  EXPECT_EQ(s.Params().UncompressedSize, 150000);
  EXPECT_EQ(s.Headers().Header(0).CompressedSize, first.CompressedSize);
  EXPECT_EQ(s.Headers().Header(0).Crc32, first.Crc32);
  auto second = s.Headers().Header(1);
  EXPECT_EQ(second.UncompressedSize, 47600);
  EXPECT_EQ(v.Underlying.Size(), s.Headers().HeaderPosition(1) + second.NextBlockOffset);
  EXPECT_EQ(s.CompressedTotal(), int64_t{first.CompressedSize} + second.CompressedSize);
  EXPECT_EQ(ReadAll(s), Bytes(data.begin(), data.begin() + 150000));
  // Reopened from the parameters read back, the value is the same.
  {
    TTarnexCompressedBLOBStream again(&v.Underlying, false, false, s.Params());
    EXPECT_EQ(ReadAll(again), Bytes(data.begin(), data.begin() + 150000));
  }
  s.SetPosition(7);
  s.SetSize(204800 + 5);
  EXPECT_EQ(s.Position(), 7);
  EXPECT_EQ(s.Params().BlockCount, 3);
  Bytes grown(data.begin(), data.begin() + 150000);
  grown.resize(204805, 0);
  EXPECT_EQ(ReadAll(s), grown);
  s.SetSize(102400);
  EXPECT_EQ(s.Params().BlockCount, 1);
  EXPECT_EQ(v.Underlying.Size(), s.Headers().Header(0).NextBlockOffset);
  s.SetSize(0);
  EXPECT_EQ(s.Params().BlockCount, 0);
  EXPECT_EQ(v.Underlying.Size(), 0);
  EXPECT_FLOAT_EQ(s.CompressionRatio(), 0.0f);
}

TEST_P(TarnexCompressedBLOBStreamTest, CorruptBlocksAreRefused) {
  Bytes data = TextBytes(250000);
  TStoredValue v(GetParam(), data);
  const Bytes good = v.Raw();
  int64_t secondAt, thirdAt;
  {
    TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
    secondAt = s.Headers().HeaderPosition(1);
    thirdAt = s.Headers().HeaderPosition(2);
  }
  uint8_t buf[16];
  // A flipped bit in block 2's data: block 1 still reads, block 2 is refused.
  Bytes raw = good;
  raw[static_cast<size_t>(secondAt + 20 + 100)] ^= 0x04;
  v.SetRaw(raw);
  {
    TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
    EXPECT_EQ(s.Read(buf, 16), 16);
    s.SetPosition(102400 + 5);
    int32_t code = CodeOf([&] { s.Read(buf, 16); });
    EXPECT_TRUE(code == 10087 || code == 10089) << code;
  }
  // A wrong checksum in the header.
  raw = good;
  raw[static_cast<size_t>(8)] ^= 0x01;
  v.SetRaw(raw);
  {
    TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
    EXPECT_EQ(CodeOf([&] { s.Read(buf, 16); }), 10089);
  }
  // Header fields that do not fit: next-block offset, block length.
  struct Case { int64_t at; int32_t code; };
  for (Case c : {Case{secondAt + 0, 10083}, Case{secondAt + 12, 10083}, Case{4, 10088}, Case{thirdAt + 6, 10088}}) {
    raw = good;
    raw[static_cast<size_t>(c.at)] ^= 0x01;
    v.SetRaw(raw);
    EXPECT_EQ(CodeOf([&] { TTarnexCompressedBLOBStream s(&v.Underlying, true, false, v.Params); }), c.code)
        << c.at;
  }
  // A last block whose stated length is one more than its data: refused when read.
  raw = good;
  raw[static_cast<size_t>(thirdAt + 4)] ^= 0x01;
  v.SetRaw(raw);
  {
    TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
    s.SetPosition(204800);
    EXPECT_EQ(CodeOf([&] { s.Read(buf, 16); }), 10088);
  }
  // Truncated in a block's data and in a header: refused, or cut when lenient.
  for (int64_t end : {thirdAt + 30, thirdAt + 10}) {
    v.SetRaw(Bytes(good.begin(), good.begin() + end));
    EXPECT_EQ(CodeOf([&] { TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params); }), 10082);
    TTarnexCompressedBLOBStream s(&v.Underlying, true, false, v.Params);
    EXPECT_EQ(s.Params().BlockCount, 2);
    EXPECT_EQ(ReadAll(s), Bytes(data.begin(), data.begin() + 204800));
  }
  // The underlying stream shrinking behind an open value: a short block read.
  v.SetRaw(good);
  TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
  v.Underlying.SetSize(thirdAt + 25);
  s.SetPosition(204800);
  EXPECT_EQ(CodeOf([&] { s.Read(buf, 16); }), 10086);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, TarnexCompressedBLOBStreamTest, ::testing::Values(Alg::ZLIB, Alg::BZIP));

TEST(TarnexCompressedBLOBStream, DefaultBlockSizeByMode) {
  struct Case { uint8_t mode; int32_t size; };
  for (Case c : {Case{0, 102400}, Case{1, 524288}, Case{3, 524288}, Case{4, 1048576}, Case{6, 1048576},
                 Case{7, 1572864}, Case{9, 1572864}}) {
    EXPECT_EQ(DefaultBLOBBlockSize(c.mode), c.size);
    TTarnexMemoryStream u;
    TTarnexCompressedBLOBStream s(&u, false, true, Params(Alg::BZIP, c.mode, 0));
    EXPECT_EQ(s.Params().BlockSize, c.size);
    EXPECT_EQ(s.Params().BlockCount, 0);
  }
}

TEST(TarnexCompressedBLOBStream, UncompressedValueIsTheBytesThemselves) {
  Bytes data = RandomBytes(3000);
  TStoredValue v(Alg::None, data, 5);
  EXPECT_EQ(v.Params.BlockCount, 0);
  EXPECT_EQ(v.Params.UncompressedSize, 3000);
  Bytes raw = v.Raw();
  EXPECT_EQ(Bytes(raw.begin() + 5, raw.end()), data);
  TTarnexCompressedBLOBStream s(&v.Underlying, false, false, v.Params);
  EXPECT_FLOAT_EQ(s.CompressionRatio(), 0.0f);
  EXPECT_EQ(ReadAll(s), data);
  EXPECT_EQ(s.Seek(-1, TTarnexSeekOrigin::End), 2999);
  s.SetSize(100);
  EXPECT_EQ(v.Underlying.Size(), 105);
  EXPECT_EQ(s.Position(), 100);
  // An existing value longer than its stream.
  TTarnexCompressedBLOBStreamParams p = v.Params;
  p.UncompressedSize = 200;
  EXPECT_EQ(MessageOf([&] { TTarnexCompressedBLOBStream t(&v.Underlying, false, false, p); }),
            "Stream size = 105 too small. Should be at least = 205 - Native error: 10081");
  TTarnexCompressedBLOBStream lenient(&v.Underlying, true, false, p);
  EXPECT_EQ(lenient.Size(), 100);
}

TEST(TarnexCompressedBLOBStream, UnavailableCompressorAndBadStartAreRefused) {
  TTarnexMemoryStream u;
  TTarnexCompressedBLOBStream s(&u, false, true, Params(Alg::PPM, 4));
  uint8_t b[10] = {};
  EXPECT_EQ(MessageOf([&] { s.Write(b, 10); }),
            "Compress buffer failed. CompAlg = 3, CompMode = 4, InSize = 10, OutSize = 0 - Native error: 10085");
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(CodeOf([&] { TTarnexCompressedBLOBStream t(&u, false, true, Params(Alg::ZLIB, 6, 0, -4)); }), 10103);
  EXPECT_EQ(CodeOf([&] { TTarnexCompressedBLOBStream t(nullptr, false, true, Params(Alg::ZLIB)); }), 10084);
}

TEST(TarnexCompressedBLOBStream, OverATemporaryStreamThatSpills) {
  Bytes data = RandomBytes(1200000, 11);  // incompressible: the blocks pass the spill size
  TTarnexTemporaryStream u;
  TTarnexCompressedBLOBStreamParams p;
  {
    TTarnexCompressedBLOBStream s(&u, false, true, Params(Alg::ZLIB, 1));
    WriteAll(s, data);
    p = s.Params();
  }
  EXPECT_FALSE(u.InMemory());
  TTarnexCompressedBLOBStream s(&u, false, false, p);
  EXPECT_EQ(ReadAll(s), data);
}

// ------------------------------------------------------------------------------ local BLOB stream

TEST(TarnexLocalBLOBStream, ReadOnlyModeAndOwnership) {
  bool freed = false;
  auto underlying = std::make_unique<TWatchedStream>(freed);
  auto inner = std::make_unique<TTarnexCompressedBLOBStream>(underlying.get(), false, true, Params(Alg::ZLIB));
  WriteAll(*inner, TextBytes(500));
  inner->SetPosition(0);
  {
    TTarnexLocalBLOBStream local(std::move(inner), 1, 3, nullptr, std::move(underlying));
    EXPECT_FALSE(local.KeepUnderlying());
    EXPECT_EQ(local.FieldNo(), 3);
    EXPECT_EQ(local.Size(), 500);
    EXPECT_EQ(ReadAll(local), TextBytes(500));
    uint8_t b = 0;
    EXPECT_EQ(MessageOf([&] { local.Write(&b, 1); }), "Cannot write to read only stream - Native error: 10115");
    EXPECT_EQ(MessageOf([&] { local.SetSize(0); }), "Cannot write to read only stream - Native error: 10116");
    EXPECT_EQ(local.Size(), 500);
    EXPECT_FALSE(freed);
  }
  EXPECT_TRUE(freed);

  // Kept underlying stream: writable modes pass everything to the inner stream.
  bool keptFreed = false;
  TWatchedStream kept(keptFreed);
  for (uint8_t mode : {0, 2}) {
    {
      TTarnexLocalBLOBStream local(
          std::make_unique<TTarnexCompressedBLOBStream>(&kept, false, true, Params(Alg::BZIP, 9)), mode, 0,
          nullptr, nullptr);
      EXPECT_TRUE(local.KeepUnderlying());
      local.SetSize(0);
      WriteAll(local, Bytes{1, 2, 3});
      local.SetSize(2);
      EXPECT_EQ(ReadAll(local), (Bytes{1, 2}));
      EXPECT_EQ(local.Inner()->Params().UncompressedSize, 2);
    }
    EXPECT_FALSE(keptFreed);
  }
}
