#include "engine/storage/TarnexTempEngine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/TempFiles.h"

namespace {

constexpr int32_t RecSize = 40;

void ExpectTarnexError(const std::function<void()>& fn, int32_t code, const std::string& message) {
  try {
    fn();
    ADD_FAILURE() << "no exception, expected code " << code;
  } catch (const ETarnexException& e) {
    EXPECT_EQ(code, e.NativeErrorCode());
    EXPECT_EQ(message, e.Message());
  }
}

std::vector<uint8_t> MakeRecord(int64_t tag) {
  std::vector<uint8_t> r(RecSize);
  for (int32_t i = 0; i < RecSize; ++i) r[i] = static_cast<uint8_t>(tag * 13 + i * 5 + (tag >> 8));
  return r;
}

int64_t Add(TTarnexTemporaryRecordManager& rm, int64_t tag) {
  auto r = MakeRecord(tag);
  TTarnexRecordID id;
  EXPECT_TRUE(rm.AddRecord(r.data(), id, 1));
  return static_cast<int64_t>(id.AsNumber());
}

TNavigationRequest Read(TTarnexTemporaryRecordManager& rm, int64_t ordinal, std::vector<uint8_t>& buffer) {
  buffer.assign(RecSize, 0);
  TNavigationRequest request;
  request.Direction = TNavigationDirection::Current;
  request.RecordID = TTarnexRecordID::FromNumber(static_cast<uint64_t>(ordinal));
  request.Buffer = buffer.data();
  rm.ReadRecord(request);
  return request;
}

TEST(TemporaryRecordManager, SpillsPastAMemoryLimitOfTwoRecords) {
  TTarnexTemporaryRecordManager rm(RecSize, 1000, 10, 2);
  EXPECT_EQ(0, Add(rm, 100));
  EXPECT_EQ(1, Add(rm, 101));
  EXPECT_TRUE(rm.TempFileName().empty());
  EXPECT_EQ(2, Add(rm, 102));
  EXPECT_EQ(2, rm.MemoryRecordCount());
  EXPECT_EQ(2, rm.MemoryCapacity());
  ASSERT_FALSE(rm.TempFileName().empty());
  EXPECT_TRUE(FileExists(rm.TempFileName()));
  EXPECT_EQ(3, rm.GetRecordCount());
  std::vector<uint8_t> buffer;
  for (int64_t ordinal = 0; ordinal < 3; ++ordinal) {
    auto request = Read(rm, ordinal, buffer);
    EXPECT_EQ(TNavigationResult::Found, request.Result);
    EXPECT_EQ(MakeRecord(100 + ordinal), buffer);
  }
  TTarnexRecordID first = TTarnexRecordID::FromNumber(0);
  EXPECT_TRUE(rm.RecordExists(first, 1));
}

TEST(TemporaryRecordManager, DataIdenticalAfterSpillingWithReadsBetweenAdds) {
  struct Case { int32_t limit, growBy, writeBuffer; };
  const Case cases[] = {{0, 1, 1}, {5, 2, 3}, {64, 1000, 10}, {1000, 7, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "limit " << c.limit << " growBy " << c.growBy);
    TTarnexTemporaryRecordManager rm(RecSize, c.growBy, c.writeBuffer, c.limit);
    EXPECT_GE(rm.WriteBufferCapacity(), 1);
    std::vector<uint8_t> buffer;
    constexpr int64_t Count = 300;
    for (int64_t i = 0; i < Count; ++i) {
      ASSERT_EQ(i, Add(rm, i));
      if (i % 17 == 0) {  // a read from the file between adds writes the buffer out first
        auto request = Read(rm, i / 2, buffer);
        ASSERT_EQ(TNavigationResult::Found, request.Result);
        ASSERT_EQ(MakeRecord(i / 2), buffer);
      }
      ASSERT_LE(rm.MemoryCapacity(), c.limit);
    }
    EXPECT_EQ(std::min<int64_t>(c.limit, Count), rm.MemoryRecordCount());
    // Walk forward and backward through the whole table.
    TNavigationRequest request;
    request.Buffer = buffer.data();
    request.Direction = TNavigationDirection::Next;
    request.GoFirst = true;
    int64_t expected = 0;
    for (rm.ReadRecord(request); request.Result == TNavigationResult::Found; rm.ReadRecord(request)) {
      ASSERT_EQ(static_cast<uint64_t>(expected), request.RecordID.AsNumber());
      ASSERT_EQ(MakeRecord(expected), buffer);
      ++expected;
    }
    EXPECT_EQ(TNavigationResult::AfterLast, request.Result);
    EXPECT_EQ(Count, expected);
    request.Direction = TNavigationDirection::Prior;
    request.GoLast = true;
    for (rm.ReadRecord(request); request.Result == TNavigationResult::Found; rm.ReadRecord(request)) {
      --expected;
      ASSERT_EQ(static_cast<uint64_t>(expected), request.RecordID.AsNumber());
      ASSERT_EQ(MakeRecord(expected), buffer);
    }
    EXPECT_EQ(TNavigationResult::BeforeFirst, request.Result);
    EXPECT_EQ(0, expected);
    int64_t slot = 0;
    for (int64_t i = 0; i < Count; ++i) {
      rm.LoadNextRecord(buffer.data(), slot);
      ASSERT_EQ(i + 1, slot);
      ASSERT_EQ(MakeRecord(i), buffer);
    }
    rm.LoadNextRecord(buffer.data(), slot);
    EXPECT_EQ(-1, slot);
  }
}

TEST(TemporaryRecordManager, MemoryBlockGrowsByGrowByUpToTheLimit) {
  TTarnexTemporaryRecordManager rm(RecSize, 2, 10, 5);
  const int32_t capacities[] = {2, 2, 4, 4, 5, 5, 5};
  for (int32_t i = 0; i < 7; ++i) {
    Add(rm, i);
    EXPECT_EQ(capacities[i], rm.MemoryCapacity()) << i;
  }
  EXPECT_EQ(5, rm.MemoryRecordCount());
}

TEST(TemporaryRecordManager, ClearAndFreeDeleteTheSpillFile) {
  std::string firstFile, secondFile;
  {
    TTarnexTemporaryRecordManager rm(RecSize, 10, 2, 1);
    for (int i = 0; i < 5; ++i) Add(rm, i);
    firstFile = rm.TempFileName();
    ASSERT_TRUE(FileExists(firstFile));
    rm.Clear(1);
    EXPECT_FALSE(FileExists(firstFile));
    EXPECT_TRUE(rm.TempFileName().empty());
    EXPECT_EQ(0, rm.GetRecordCount());
    EXPECT_EQ(0, rm.MemoryRecordCount());
    EXPECT_EQ(0, rm.MemoryCapacity());
    std::vector<uint8_t> buffer;
    EXPECT_EQ(TNavigationResult::AfterLast, Read(rm, 0, buffer).Result);
    // Filled again after Clear, spilling into a new file.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(i, Add(rm, 50 + i));
    secondFile = rm.TempFileName();
    ASSERT_TRUE(FileExists(secondFile));
    for (int i = 0; i < 4; ++i) {
      ASSERT_EQ(TNavigationResult::Found, Read(rm, i, buffer).Result);
      EXPECT_EQ(MakeRecord(50 + i), buffer);
    }
  }
  EXPECT_FALSE(FileExists(secondFile));
}

TEST(TemporaryRecordManager, NavigationByOrdinal) {
  using D = TNavigationDirection;
  using R = TNavigationResult;
  struct Case {
    const char* label;
    bool goFirst, goLast;
    D direction;
    uint64_t from;
    R result;
    int64_t ordinal;
  };
  const Case cases[] = {
      {"first", true, false, D::Next, 2, R::Found, 0},
      {"prior with GoFirst", true, false, D::Prior, 2, R::BeforeFirst, 0},
      {"current with GoFirst", true, false, D::Current, 1, R::NoRecord, 0},
      {"last", false, true, D::Prior, 0, R::Found, 3},
      {"next with GoLast", false, true, D::Next, 0, R::AfterLast, 0},
      {"current with GoLast", false, true, D::Current, 1, R::NoRecord, 0},
      {"current", false, false, D::Current, 2, R::Found, 2},
      {"current beyond", false, false, D::Current, 4, R::NoRecord, 0},
      {"next", false, false, D::Next, 1, R::Found, 2},
      {"next from last", false, false, D::Next, 3, R::AfterLast, 0},
      {"prior", false, false, D::Prior, 3, R::Found, 2},
      {"prior from 0", false, false, D::Prior, 0, R::BeforeFirst, 0},
      {"prior from beyond the end", false, false, D::Prior, 1000, R::Found, 3},
  };
  TTarnexTemporaryRecordManager rm(RecSize, 1, 1, 2);  // ordinals 2 and 3 on file
  for (int i = 0; i < 4; ++i) Add(rm, i);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<uint8_t> buffer(RecSize, 0);
    TNavigationRequest request;
    request.GoFirst = c.goFirst;
    request.GoLast = c.goLast;
    request.Direction = c.direction;
    request.RecordID = TTarnexRecordID::FromNumber(c.from);
    request.Buffer = buffer.data();
    rm.ReadRecord(request);
    EXPECT_EQ(c.result, request.Result);
    if (c.result == R::Found) {
      EXPECT_EQ(static_cast<uint64_t>(c.ordinal), request.RecordID.AsNumber());
      EXPECT_EQ(MakeRecord(c.ordinal), buffer);
      EXPECT_FALSE(request.GoFirst || request.GoLast);
    }
  }
  TTarnexTemporaryRecordManager empty(RecSize, 1, 1, 2);
  for (bool goFirst : {false, true}) {
    TNavigationRequest request;
    request.GoFirst = goFirst;
    request.Direction = D::Next;
    empty.ReadRecord(request);
    EXPECT_EQ(R::AfterLast, request.Result);
  }
}

TEST(TemporaryRecordManager, ExistenceNumbersAndRefusals) {
  TTarnexTemporaryRecordManager rm(RecSize, 10, 10, 100);
  for (int i = 0; i < 3; ++i) Add(rm, i);
  struct Case { uint64_t ordinal; bool exists; int64_t recNo; };
  const Case cases[] = {{0, true, 1}, {2, true, 3}, {3, false, -1}, {0xFFFFFFFFull, false, -1}};
  for (const Case& c : cases) {
    TTarnexRecordID id = TTarnexRecordID::FromNumber(c.ordinal);
    EXPECT_EQ(c.exists, rm.RecordExists(id, 1)) << c.ordinal;
    EXPECT_EQ(c.recNo, rm.ApproxRecNo(id, 1)) << c.ordinal;
  }
  auto r = MakeRecord(9);
  TTarnexRecordID id = TTarnexRecordID::FromNumber(1);
  EXPECT_FALSE(rm.UpdateRecord(r.data(), id, 1));
  EXPECT_FALSE(rm.DeleteRecord(id, 1));
  EXPECT_FALSE(rm.AddRecord(nullptr, id, 1));
  EXPECT_EQ(3, rm.GetRecordCount());
}

TEST(TemporaryRecordManager, Errors) {
  ExpectTarnexError([] { TTarnexTemporaryRecordManager rm(0, 1000, 10); }, 10124,
                    "Invalid record size = 0 - Native error: 10124");
  for (int64_t ordinal : {0, 1}) {  // from memory and from the spill file
    TTarnexTemporaryRecordManager rm(RecSize, 1, 1, 1);
    Add(rm, 0);
    Add(rm, 1);
    TNavigationRequest request;
    request.RecordID = TTarnexRecordID::FromNumber(static_cast<uint64_t>(ordinal));
    ExpectTarnexError([&] { rm.ReadRecord(request); }, 10127, "Error retreiving record - Native error: 10127");
  }
}

}  // namespace
