#include "engine/storage/TarnexMemEngine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/TarnexExcept.h"

namespace {

constexpr int32_t RecSize = 24;

// Raises fn, expecting an engine error with exactly this code and full message.
void ExpectTarnexError(const std::function<void()>& fn, int32_t code, const std::string& message) {
  try {
    fn();
    ADD_FAILURE() << "no exception, expected code " << code;
  } catch (const ETarnexException& e) {
    EXPECT_EQ(code, e.NativeErrorCode());
    EXPECT_EQ(message, e.Message());
  }
}

// A record whose every byte derives from `tag`, so two records with different tags differ.
std::vector<uint8_t> MakeRecord(int32_t tag, int32_t size = RecSize) {
  std::vector<uint8_t> r(size);
  for (int32_t i = 0; i < size; ++i) r[i] = static_cast<uint8_t>(tag * 31 + i * 7 + 1);
  return r;
}

class MemoryRecordManagerTest : public ::testing::Test {
protected:
  TTarnexMemoryRecordManager rm{RecSize, 1000};

  int32_t Add(int32_t tag) {
    auto r = MakeRecord(tag);
    TTarnexRecordID id;
    EXPECT_TRUE(rm.AddRecord(r.data(), id, 1));
    EXPECT_EQ(0, id.PageItemNo);
    return id.PageNo;
  }
  bool Delete(int32_t slot) {
    TTarnexRecordID id{slot, 0};
    return rm.DeleteRecord(id, 1);
  }
  // Tag-bearing contents of the record at slot, read through a navigation request.
  std::vector<uint8_t> Read(int32_t slot) {
    std::vector<uint8_t> buffer(RecSize, 0);
    TNavigationRequest request;
    request.Direction = TNavigationDirection::Current;
    request.RecordID = {slot, 0};
    request.Buffer = buffer.data();
    rm.ReadRecord(request);
    EXPECT_EQ(TNavigationResult::Found, request.Result);
    return buffer;
  }
};

TEST_F(MemoryRecordManagerTest, SlotsAfterDeletesAndNumbering) {
  EXPECT_EQ(0, Add(10));
  EXPECT_EQ(1, Add(11));
  EXPECT_EQ(2, Add(12));
  ASSERT_TRUE(Delete(1));
  EXPECT_EQ(3, Add(13));  // deleted slots below MaxID are not reused
  EXPECT_EQ(3, rm.GetRecordCount());
  EXPECT_FALSE(rm.NoDeletedRecords());
  const int32_t slots[] = {0, 2, 3};
  const int32_t tags[] = {10, 12, 13};
  for (int32_t number = 1; number <= 3; ++number) {
    const int32_t slot = slots[number - 1];
    EXPECT_EQ(slot, rm.RecordNumberToSlot(number - 1));
    EXPECT_EQ(number, rm.SlotToRecordNumber(slot));
    EXPECT_EQ(MakeRecord(tags[number - 1]), Read(slot));
  }
  EXPECT_EQ(1, rm.SlotToRecordNumber(1));  // a deleted slot counts the live ones before it
  EXPECT_EQ(0, rm.MinID());
  EXPECT_EQ(3, rm.MaxID());
}

TEST_F(MemoryRecordManagerTest, DeletingMaxIDLowersItAndTheSlotIsReused) {
  for (int32_t i = 0; i < 5; ++i) Add(i);
  ASSERT_TRUE(Delete(3));
  TTarnexRecordID last{4, 0};
  ASSERT_TRUE(rm.DeleteRecord(last, 1));
  EXPECT_EQ(2, rm.MaxID());  // slot 3 was deleted before, so MaxID skips it
  EXPECT_EQ(2, last.PageNo);  // the caller's position moves to the new MaxID
  EXPECT_EQ(3, Add(50));
  EXPECT_EQ(MakeRecord(50), Read(3));
  ASSERT_TRUE(Delete(0));
  EXPECT_EQ(1, rm.MinID());
}

TEST_F(MemoryRecordManagerTest, DeletingEveryRecordRestartsAtSlotZero) {
  for (int32_t i = 0; i < 4; ++i) Add(i);
  for (int32_t slot : {2, 0, 3, 1}) ASSERT_TRUE(Delete(slot));
  EXPECT_EQ(0, rm.GetRecordCount());
  EXPECT_EQ(0, rm.MinID());
  EXPECT_EQ(0, rm.MaxID());
  EXPECT_EQ(0, Add(7));
  EXPECT_EQ(1, Add(8));
  EXPECT_EQ(1, rm.RecordNumberToSlot(1));
  EXPECT_EQ(2, rm.SlotToRecordNumber(1));
  EXPECT_EQ(-1, rm.RecordNumberToSlot(2));
}

TEST_F(MemoryRecordManagerTest, RefusalsByResult) {
  TTarnexRecordID id{0, 0};
  auto r = MakeRecord(1);
  EXPECT_FALSE(rm.DeleteRecord(id, 1));            // empty table
  EXPECT_FALSE(rm.UpdateRecord(r.data(), id, 1));  // empty table, slot 0 "in range"
  EXPECT_FALSE(rm.RecordExists(id, 1));
  EXPECT_FALSE(rm.AddRecord(nullptr, id, 1));
  for (int32_t i = 0; i < 4; ++i) Add(i);
  ASSERT_TRUE(Delete(1));
  struct Case { int32_t slot; bool exists; };
  const Case cases[] = {{-1, false}, {0, true}, {1, false}, {2, true}, {3, true}, {4, false}, {999, false}, {5000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slot);
    TTarnexRecordID at{c.slot, 0};
    EXPECT_EQ(c.exists, rm.RecordExists(at, 1));
    auto update = MakeRecord(100 + c.slot);
    EXPECT_EQ(c.exists, rm.UpdateRecord(update.data(), at, 1));
    if (c.exists) {
      EXPECT_EQ(update, Read(c.slot));
    }
  }
  EXPECT_FALSE(Delete(1));  // already deleted
  EXPECT_FALSE(Delete(9));
  EXPECT_EQ(3, rm.GetRecordCount());
}

TEST_F(MemoryRecordManagerTest, GrowsByAllocBy) {
  EXPECT_EQ(0, rm.Capacity());
  Add(0);
  EXPECT_EQ(1000, rm.Capacity());
  for (int32_t i = 1; i < 1000; ++i) Add(i);
  EXPECT_EQ(1000, rm.Capacity());
  EXPECT_EQ(1000, Add(1000));
  EXPECT_EQ(2000, rm.Capacity());
  for (int32_t slot : {0, 500, 999, 1000}) EXPECT_EQ(MakeRecord(slot), Read(slot));  // contents survive growth
  rm.Clear(1);
  EXPECT_EQ(0, rm.Capacity());
  EXPECT_EQ(0, rm.GetRecordCount());
  EXPECT_EQ(0, Add(5));
  EXPECT_EQ(MakeRecord(5), Read(0));
}

TEST(MemoryRecordManager, NavigationInSlotOrder) {
  using D = TNavigationDirection;
  using R = TNavigationResult;
  struct Case {
    const char* label;
    bool goFirst, goLast;
    D direction;
    int32_t from;
    R result;
    int32_t slot;  // found slot, ignored otherwise
  };
  // Slots 0..6 stored, 0, 3 and 6 deleted: live 1, 2, 4, 5; capacity 8.
  const Case cases[] = {
      {"first", true, false, D::Next, 0, R::Found, 1},
      {"prior before first", true, false, D::Prior, 0, R::BeforeFirst, 0},
      {"current with GoFirst", true, false, D::Current, 2, R::NoRecord, 0},
      {"last", false, true, D::Prior, 0, R::Found, 5},
      {"next after last", false, true, D::Next, 0, R::AfterLast, 0},
      {"current with GoLast", false, true, D::Current, 2, R::NoRecord, 0},
      {"current live", false, false, D::Current, 4, R::Found, 4},
      {"current deleted", false, false, D::Current, 3, R::NoRecord, 0},
      {"current past MaxID", false, false, D::Current, 6, R::NoRecord, 0},
      {"current negative", false, false, D::Current, -1, R::NoRecord, 0},
      {"next skips deleted", false, false, D::Next, 2, R::Found, 4},
      {"next from last live", false, false, D::Next, 5, R::AfterLast, 0},
      {"next from below MinID", false, false, D::Next, -1, R::Found, 1},
      {"next from capacity - 1", false, false, D::Next, 7, R::AfterLast, 0},
      {"next far beyond", false, false, D::Next, 100000, R::AfterLast, 0},
      {"prior skips deleted", false, false, D::Prior, 4, R::Found, 2},
      {"prior from first live", false, false, D::Prior, 1, R::BeforeFirst, 0},
      {"prior from slot 0", false, false, D::Prior, 0, R::BeforeFirst, 0},
      {"prior from past MaxID", false, false, D::Prior, 7, R::Found, 5},
      {"prior far beyond the block", false, false, D::Prior, 100000, R::Found, 5},
  };
  TTarnexMemoryRecordManager rm(RecSize, 8);
  for (int32_t i = 0; i < 7; ++i) {
    auto r = MakeRecord(i);
    TTarnexRecordID id;
    ASSERT_TRUE(rm.AddRecord(r.data(), id, 1));
  }
  for (int32_t slot : {0, 3, 6}) {
    TTarnexRecordID id{slot, 0};
    ASSERT_TRUE(rm.DeleteRecord(id, 1));
  }
  ASSERT_EQ(8, rm.Capacity());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<uint8_t> buffer(RecSize, 0);
    TNavigationRequest request;
    request.GoFirst = c.goFirst;
    request.GoLast = c.goLast;
    request.Direction = c.direction;
    request.RecordID = {c.from, 0};
    request.Buffer = buffer.data();
    rm.ReadRecord(request);
    EXPECT_EQ(c.result, request.Result);
    if (c.result == R::Found) {
      EXPECT_EQ(c.slot, request.RecordID.PageNo);
      EXPECT_EQ(MakeRecord(c.slot), buffer);
      EXPECT_FALSE(request.GoFirst);
      EXPECT_FALSE(request.GoLast);
    } else {
      EXPECT_EQ(c.goFirst, request.GoFirst);
      EXPECT_EQ(c.goLast, request.GoLast);
    }
  }
}

TEST(MemoryRecordManager, EmptyTableAnswersEofToEveryRead) {
  TTarnexMemoryRecordManager rm(RecSize, 10);
  for (bool goFirst : {false, true})
    for (bool goLast : {false, true})
      for (auto direction : {TNavigationDirection::Current, TNavigationDirection::Next, TNavigationDirection::Prior}) {
        TNavigationRequest request;
        request.GoFirst = goFirst;
        request.GoLast = goLast;
        request.Direction = direction;
        request.RecordID = {0, 0};
        rm.ReadRecord(request);
        EXPECT_EQ(TNavigationResult::AfterLast, request.Result);
      }
}

TEST(MemoryRecordManager, WalkingTheTableBothWays) {
  TTarnexMemoryRecordManager rm(RecSize, 16);
  std::vector<int32_t> live;
  for (int32_t i = 0; i < 100; ++i) {
    auto r = MakeRecord(i);
    TTarnexRecordID id;
    ASSERT_TRUE(rm.AddRecord(r.data(), id, 1));
  }
  for (int32_t i = 0; i < 100; ++i) {
    TTarnexRecordID id{i, 0};
    if (i % 3 == 0 || i % 7 == 0)
      ASSERT_TRUE(rm.DeleteRecord(id, 1));
    else
      live.push_back(i);
  }
  std::vector<uint8_t> buffer(RecSize);
  auto walk = [&](bool forward) {
    std::vector<int32_t> seen;
    TNavigationRequest request;
    request.Buffer = buffer.data();
    request.Direction = forward ? TNavigationDirection::Next : TNavigationDirection::Prior;
    request.GoFirst = forward;
    request.GoLast = !forward;
    for (rm.ReadRecord(request); request.Result == TNavigationResult::Found; rm.ReadRecord(request)) {
      seen.push_back(request.RecordID.PageNo);
      EXPECT_EQ(MakeRecord(request.RecordID.PageNo), buffer);
    }
    EXPECT_EQ(forward ? TNavigationResult::AfterLast : TNavigationResult::BeforeFirst, request.Result);
    return seen;
  };
  EXPECT_EQ(live, walk(true));
  std::vector<int32_t> backwards(live.rbegin(), live.rend());
  EXPECT_EQ(backwards, walk(false));
  std::vector<int32_t> loaded;
  for (int64_t slot = 0; slot != -1;) {
    std::fill(buffer.begin(), buffer.end(), 0);
    rm.LoadNextRecord(buffer.data(), slot);
    if (slot != -1) {
      loaded.push_back(static_cast<int32_t>(slot - 1));
      EXPECT_EQ(MakeRecord(static_cast<int32_t>(slot - 1)), buffer);
    }
  }
  EXPECT_EQ(live, loaded);
}

TEST(MemoryRecordManager, RecordNumbersAndSlotsWithManyDeletedRecords) {
  constexpr int32_t Count = 20000;
  TTarnexMemoryRecordManager rm(8, 1000);
  std::vector<uint8_t> r(8, 0);
  for (int32_t i = 0; i < Count; ++i) {
    TTarnexRecordID id;
    ASSERT_TRUE(rm.AddRecord(r.data(), id, 1));
  }
  EXPECT_EQ(Count, rm.Capacity());  // twenty steps of AllocBy
  for (int32_t slot = 0; slot < Count; ++slot) {  // while nothing is deleted the number is slot + 1
    ASSERT_EQ(slot + 1, rm.SlotToRecordNumber(slot));
    ASSERT_EQ(slot, rm.RecordNumberToSlot(slot));
    TTarnexRecordID id{slot, 0};
    ASSERT_EQ(slot + 1, rm.ApproxRecNo(id, 1));
  }
  // Whole deleted bytes, scattered slots and runs across byte boundaries.
  uint32_t seed = 12345;
  std::vector<bool> deleted(Count, false);
  for (int32_t slot = 0; slot < Count; ++slot) {
    seed = seed * 1103515245u + 12345u;
    const bool inRun = slot >= 800 && slot < 1637;
    if (inRun || slot == 0 || (seed >> 16) % 5 < 2) {
      deleted[slot] = true;
      TTarnexRecordID id{slot, 0};
      ASSERT_TRUE(rm.DeleteRecord(id, 1));
    }
  }
  int64_t number = 0;
  for (int32_t slot = 0; slot < Count; ++slot) {
    if (deleted[slot]) continue;
    ++number;
    ASSERT_EQ(number, rm.SlotToRecordNumber(slot)) << slot;
    ASSERT_EQ(slot, rm.RecordNumberToSlot(number - 1)) << number;
  }
  EXPECT_EQ(number, rm.GetRecordCount());
  EXPECT_EQ(-1, rm.RecordNumberToSlot(number));
  EXPECT_EQ(-1, rm.RecordNumberToSlot(-1));
  EXPECT_EQ(-1, rm.SlotToRecordNumber(-1));
  EXPECT_EQ(-1, rm.SlotToRecordNumber(rm.Capacity()));
}

TEST(MemoryRecordManager, ApproxRecNoBounds) {
  TTarnexMemoryRecordManager rm(RecSize, 10);
  TTarnexRecordID id{0, 0};
  EXPECT_EQ(-1, rm.ApproxRecNo(id, 1));
  auto r = MakeRecord(0);
  ASSERT_TRUE(rm.AddRecord(r.data(), id, 1));
  EXPECT_EQ(1, rm.ApproxRecNo(id, 1));
  for (int32_t i = 0; i < 9; ++i) ASSERT_TRUE(rm.AddRecord(r.data(), id, 1));
  TTarnexRecordID first{0, 0};
  ASSERT_TRUE(rm.DeleteRecord(first, 1));
  for (int32_t slot : {0, 10, -5}) {
    TTarnexRecordID at{slot, 0};
    EXPECT_EQ(-1, rm.ApproxRecNo(at, 1));
  }
  TTarnexRecordID minID{1, 0}, maxID{9, 0};
  EXPECT_EQ(1, rm.ApproxRecNo(minID, 1));
  EXPECT_EQ(9, rm.ApproxRecNo(maxID, 1));
}

TEST(MemoryRecordManager, UpdateHandsReplacedBlobBlocksToTheTable) {
  // Layout: 1 null-flag byte, field 0 an int32 at 1, field 1 a BLOB slot at 5 (8 bytes).
  constexpr int32_t Size = 13;
  const TTarnexRecordBlobField blob{1, 5};
  auto makeBlobRecord = [&](bool isNull, uint32_t handle, uint16_t marker) {
    std::vector<uint8_t> r(Size, 0);
    if (isNull) r[0] |= 0x02;
    std::memcpy(&r[5], &handle, 4);
    std::memcpy(&r[11], &marker, 2);
    return r;
  };
  struct Case {
    const char* label;
    bool storedNull;
    bool newNull;
    uint16_t newMarker;
    bool freed;
  };
  const Case cases[] = {
      {"new block replaces stored", false, false, 0x0F0F, true},
      {"set NULL frees stored", false, true, 0xF0F0, true},
      {"same block kept", false, false, 0xF0F0, false},
      {"stored NULL, new block", true, false, 0x0F0F, false},
      {"both NULL", true, true, 0x0F0F, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TTarnexMemoryRecordManager rm(Size, 4);
    std::vector<std::pair<uint32_t, int32_t>> freedBlocks;  // (handle in the stored record, field)
    rm.SetBlobFields({blob}, [&](uint8_t* stored, int32_t fieldNo) {
      uint32_t handle;
      std::memcpy(&handle, stored + 5, 4);
      freedBlocks.emplace_back(handle, fieldNo);
    });
    auto stored = makeBlobRecord(c.storedNull, 0xAAAA, 0xF0F0);
    TTarnexRecordID id;
    ASSERT_TRUE(rm.AddRecord(stored.data(), id, 1));
    auto update = makeBlobRecord(c.newNull, 0xBBBB, c.newMarker);
    ASSERT_TRUE(rm.UpdateRecord(update.data(), id, 1));
    if (c.freed) {
      ASSERT_EQ(1u, freedBlocks.size());
      EXPECT_EQ(0xAAAAu, freedBlocks[0].first);
      EXPECT_EQ(1, freedBlocks[0].second);
    } else {
      EXPECT_TRUE(freedBlocks.empty());
    }
    auto expected = makeBlobRecord(c.newNull, 0xBBBB, 0xF0F0);
    EXPECT_EQ(expected, update);  // the caller's buffer now refers to the stored record's block
    std::vector<uint8_t> read(Size);
    TNavigationRequest request;
    request.RecordID = id;
    request.Buffer = read.data();
    rm.ReadRecord(request);
    EXPECT_EQ(expected, read);
  }
}

TEST(MemoryRecordManager, UpdateFailsWhenFreeingTheBlobFails) {
  TTarnexMemoryRecordManager rm(13, 4);
  rm.SetBlobFields({{1, 5}}, [](uint8_t*, int32_t) { throw ETarnexException(10118, "Nil pointer occured"); });
  std::vector<uint8_t> r(13, 0), update(13, 0);
  update[0] = 0x02;  // field 1 NULL: the stored block would be freed
  TTarnexRecordID id;
  ASSERT_TRUE(rm.AddRecord(r.data(), id, 1));
  EXPECT_FALSE(rm.UpdateRecord(update.data(), id, 1));
}

TEST(MemoryRecordManager, Errors) {
  ExpectTarnexError([] { TTarnexMemoryRecordManager rm(0, 10); }, 10011,
                    "Invalid record size = 0 - Native error: 10011");
  TTarnexMemoryRecordManager rm(RecSize, 10);
  auto r = MakeRecord(1);
  TTarnexRecordID id;
  ASSERT_TRUE(rm.AddRecord(r.data(), id, 1));
  TNavigationRequest request;
  request.RecordID = id;
  ExpectTarnexError([&] { rm.ReadRecord(request); }, 10019, "Error retreiving record - Native error: 10019");
}

}  // namespace
