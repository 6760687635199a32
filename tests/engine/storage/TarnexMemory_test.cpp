#include "engine/storage/TarnexMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/storage/TarnexExcept.h"

namespace {

// Runs `action`, expecting an engine error with this code and message.
template <class F>
void ExpectEngineError(F action, int32_t code, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no error raised, expected " << code;
  } catch (const ETarnexException& e) {
    EXPECT_EQ(code, e.NativeErrorCode());
    EXPECT_EQ(message, e.Message());
  }
}

std::string Hex(const uint8_t* p, int n) {
  std::string s;
  const char* digits = "0123456789ABCDEF";
  for (int i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

class TarnexMemoryTest : public ::testing::Test {
protected:
  TTarnexMemoryManager mm;  // a manager of the test's own, so totals and limits are isolated
};

TEST_F(TarnexMemoryTest, BlockLayoutIsSizeTagHeaderDataTrailer) {
  for (int32_t size : {1, 3, 258, 70000}) {
    SCOPED_TRACE(size);
    void* p = mm.GetMem(size);
    const auto* d = static_cast<const uint8_t*>(p);
    int32_t stored = 0;
    std::memcpy(&stored, d - 9, 4);
    EXPECT_EQ(size, stored);
    EXPECT_EQ(TTarnexMemoryManager::MallocTag, d[-5]);
    EXPECT_EQ("ACCCCAAC", Hex(d - 4, 4));     // 0xACCACCAC little-endian
    EXPECT_EQ("CEACCEAC", Hex(d + size, 4));  // 0xACCEACCE little-endian
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 16);  // as aligned as the heap's own blocks
    EXPECT_EQ(size, mm.GetBlockSize(p));
    EXPECT_EQ(size, mm.AllocatedTotal());
    mm.FreeAndNillMem(p);
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(0, mm.AllocatedTotal());
  }
}

TEST_F(TarnexMemoryTest, AllocMemZeroesEveryDataByte) {
  for (int32_t size : {1, 13, 4096}) {
    SCOPED_TRACE(size);
    // Dirty a block first so a reused one would show stale bytes.
    void* dirty = mm.GetMem(size);
    std::memset(dirty, 0xA5, static_cast<size_t>(size));
    mm.FreeAndNillMem(dirty);
    auto* p = static_cast<uint8_t*>(mm.AllocMem(size));
    EXPECT_EQ(std::vector<uint8_t>(static_cast<size_t>(size), 0), std::vector<uint8_t>(p, p + size));
    mm.FreeAndNillMem(p);
  }
}

TEST_F(TarnexMemoryTest, RefusedRequests) {
  ExpectEngineError([&] { mm.GetMem(0); }, 30286, "Cannot alocate 0 bytes - Native error: 30286");
  ExpectEngineError([&] { mm.AllocMem(0); }, 30286, "Cannot alocate 0 bytes - Native error: 30286");
  for (int32_t size : {-1, TTarnexMemoryManager::MaxBlockSize + 1}) {
    SCOPED_TRACE(size);
    ExpectEngineError([&] { mm.GetMem(size); }, 30015,
                      "GetMem error: " + EOutOfMemory().Message() + " - Native error: 30015");
  }
  EXPECT_EQ(0, mm.AllocatedTotal());
}

TEST_F(TarnexMemoryTest, MemoryLimitRefusesPassingTheTotal) {
  mm.SetMemoryLimit(100);
  void* a = mm.GetMem(60);
  ExpectEngineError([&] { mm.GetMem(41); }, 30015,
                    "GetMem error: Memory limit exceeded (Limit = 100 bytes) - Native error: 30004"
                    " - Native error: 30015");
  EXPECT_EQ(60, mm.AllocatedTotal());
  void* b = mm.GetMem(40);  // exactly at the limit
  EXPECT_EQ(100, mm.AllocatedTotal());
  mm.FreeAndNillMem(a);
  mm.FreeAndNillMem(b);
  mm.SetMemoryLimit(0);
  void* c = mm.GetMem(1000);
  EXPECT_EQ(1000, mm.GetBlockSize(c));
  mm.FreeAndNillMem(c);
}

TEST_F(TarnexMemoryTest, OverrunIsReportedAfterTheBlockIsReleased) {
  auto* p = static_cast<uint8_t*>(mm.GetMem(8));
  p[8] = 0;  // one byte past the end
  ExpectEngineError([&] { mm.FreeAndNillMem(p); }, 30137, "Memory overrun detected - Native error: 30137");
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(0, mm.AllocatedTotal());
}

TEST_F(TarnexMemoryTest, ForeignAddressesAreRefusedAndLeftAlone) {
  uint8_t local[64] = {};
  void* p = local + 32;  // the 9 bytes before it are inside the array, but hold no header
  ExpectEngineError([&] { mm.FreeAndNillMem(p); }, 30001, "Invalid pointer - Native error: 30001");
  EXPECT_EQ(local + 32, p);
  ExpectEngineError([&] { mm.GetBlockSize(p); }, 30005, "Invalid pointer - Native error: 30005");
  ExpectEngineError([&] { mm.ReallocMem(p, 16, true); }, 30014,
                    "ReallocMem error: Invalid pointer - Native error: 30002 - Native error: 30014");
  EXPECT_EQ(local + 32, p);
  EXPECT_EQ(0, mm.AllocatedTotal());
}

TEST_F(TarnexMemoryTest, DamagedHeaderIsRefusedWithoutRelease) {
  struct Damage { const char* label; int offset; uint8_t byte; const char* inner; };
  const Damage cases[] = {
      {"tag", -5, 7, "Unknown allocator tag 7"},
      {"negative size", -6, 0x80, "Invalid block size -2147483644"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto* p = static_cast<uint8_t*>(mm.GetMem(4));
    uint8_t* const original = p;
    const uint8_t saved = p[c.offset];
    p[c.offset] = c.byte;
    ExpectEngineError([&] { mm.FreeAndNillMem(p); }, 30138,
                      std::string("FreeAndNillMem error: ") + c.inner + " - Native error: 30138");
    EXPECT_EQ(original, p);
    ExpectEngineError([&] { mm.ReallocMem(p, 8, false); }, 30014,
                      std::string("ReallocMem error: ") + c.inner + " - Native error: 30014");
    EXPECT_EQ(original, p);
    p[c.offset] = saved;
    mm.FreeAndNillMem(p);
    EXPECT_EQ(0, mm.AllocatedTotal());
  }
}

TEST_F(TarnexMemoryTest, NilPointers) {
  void* p = nullptr;
  mm.FreeAndNillMem(p);  // a no-op
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(0, mm.GetBlockSize(nullptr));
  mm.ReallocMemZeroed(p, 8);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(8, mm.GetBlockSize(p));
  EXPECT_EQ(std::vector<uint8_t>(8, 0), std::vector<uint8_t>(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + 8));
  mm.FreeAndNillMem(p);
}

TEST_F(TarnexMemoryTest, ReallocKeepsTheCommonPrefix) {
  struct Case { int32_t from, to; bool zero; };
  const Case cases[] = {{4, 10, true}, {10, 4, false}, {10, 4, true}, {5, 5, false}, {3, 100000, true},
                        {6, 9, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << "->" << c.to << (c.zero ? " zeroed" : ""));
    auto* p = static_cast<uint8_t*>(mm.GetMem(c.from));
    for (int32_t i = 0; i < c.from; ++i) p[i] = static_cast<uint8_t>(i + 1);
    mm.ReallocMem(p, c.to, c.zero);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(c.to, mm.GetBlockSize(p));
    EXPECT_EQ(c.to, mm.AllocatedTotal());
    const int32_t kept = std::min(c.from, c.to);
    for (int32_t i = 0; i < kept; ++i) ASSERT_EQ(i + 1, p[i]) << i;
    if (c.zero) {
      for (int32_t i = kept; i < c.to; ++i) ASSERT_EQ(0, p[i]) << i;
    }
    p[c.to - 1] = 0xFF;  // the whole new block is writable without an overrun
    mm.FreeAndNillMem(p);
  }
  EXPECT_EQ(0, mm.AllocatedTotal());
}

TEST_F(TarnexMemoryTest, ReallocToZeroReportsTheInnerError) {
  auto* p = static_cast<uint8_t*>(mm.GetMem(4));
  uint8_t* const original = p;
  ExpectEngineError([&] { mm.ReallocMem(p, 0, false); }, 30014,
                    "ReallocMem error: Cannot alocate 0 bytes - Native error: 30286 - Native error: 30014");
  EXPECT_EQ(original, p);
  EXPECT_EQ(4, mm.GetBlockSize(p));
  mm.FreeAndNillMem(p);
}

TEST_F(TarnexMemoryTest, ReallocOfAnOverrunBlockKeepsTheDataInTheNewBlock) {
  auto* p = static_cast<uint8_t*>(mm.GetMem(4));
  std::memcpy(p, "abcd", 4);
  p[4] = 'e';  // overrun
  ExpectEngineError([&] { mm.ReallocMem(p, 6, true); }, 30014,
                    "ReallocMem error: Memory overrun detected - Native error: 30137 - Native error: 30014");
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(6, mm.GetBlockSize(p));
  EXPECT_EQ(0, std::memcmp(p, "abcd\0\0", 6));
  EXPECT_EQ(6, mm.AllocatedTotal());
  mm.FreeAndNillMem(p);
}

TEST_F(TarnexMemoryTest, TypedPointerVariables) {
  int32_t* ints = static_cast<int32_t*>(mm.AllocMem(8));
  ints[1] = 42;
  mm.ReallocMemZeroed(ints, 16);
  EXPECT_EQ(42, ints[1]);
  EXPECT_EQ(0, ints[3]);
  mm.FreeAndNillMem(ints);
  EXPECT_EQ(nullptr, ints);
}

TEST_F(TarnexMemoryTest, ConcurrentUseKeepsTheTotal) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      std::vector<void*> blocks;
      for (int i = 1; i <= 500; ++i) blocks.push_back(mm.GetMem(i + t));
      for (size_t i = 0; i < blocks.size(); i += 2) mm.ReallocMem(blocks[i], 7, false);
      for (void*& b : blocks) mm.FreeAndNillMem(b);
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, mm.AllocatedTotal());
}

TEST(TarnexMemoryManagerTest, ProcessWideInstanceAndAvailableMemory) {
  TTarnexMemoryManager& m = MemoryManager();
  EXPECT_EQ(&m, &MemoryManager());
  const int64_t before = m.AllocatedTotal();
  void* p = m.GetMem(10);
  EXPECT_EQ(before + 10, MemoryManager().AllocatedTotal());
  m.FreeAndNillMem(p);
  const int64_t available = m.GetAvailableMemory();
  EXPECT_GT(available, 0);
  EXPECT_LE(available, 2147483647);
}

}  // namespace
