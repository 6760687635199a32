#include "engine/storage/TarnexPage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/TempFiles.h"

namespace {

constexpr int32_t S1 = 1;
constexpr int32_t S2 = 2;

void ExpectTarnexError(const std::function<void()>& fn, int32_t code, const std::string& message) {
  try {
    fn();
    ADD_FAILURE() << "no exception, expected code " << code;
  } catch (const ETarnexException& e) {
    EXPECT_EQ(code, e.NativeErrorCode());
    EXPECT_EQ(message, e.Message());
  }
}

// Changes a page the way the B-tree does: private buffer, new bytes, Dirty.
void Fill(TTarnexPage& page, uint8_t tag) {
  page.MakeBufferPrivate();
  for (int32_t i = 0; i < page.PageSize(); ++i) page.Buffer()[i] = static_cast<uint8_t>(tag + i % 251);
  page.SetDirty(true);
}

bool Holds(const TTarnexPage& page, uint8_t tag) {
  for (int32_t i = 0; i < page.PageSize(); ++i)
    if (page.Buffer()[i] != static_cast<uint8_t>(tag + i % 251)) return false;
  return true;
}

// Allocates n pages for the session, fills page k with tag k, releases and commits them.
std::vector<int32_t> AddCommitted(TTarnexPageManager& pm, int32_t session, int32_t n, uint8_t firstTag = 0) {
  std::vector<int32_t> numbers;
  for (int32_t k = 0; k < n; ++k) {
    TTarnexPage* page = pm.AddNewPage(session);
    Fill(*page, static_cast<uint8_t>(firstTag + k));
    numbers.push_back(page->PageNo());
    pm.ReleasePage(*page);
  }
  pm.CommitSession(session);
  return numbers;
}

// Both stores behave alike for everything held in memory.
using ManagerFactory = std::function<std::unique_ptr<TTarnexPageManager>()>;
const std::vector<std::pair<const char*, ManagerFactory>>& Stores() {
  static const std::vector<std::pair<const char*, ManagerFactory>> stores = {
      {"memory", [] { return std::make_unique<TTarnexMemoryPageManager>(); }},
      {"temporary, in memory", [] { return std::make_unique<TTarnexTemporaryPageManager>(1000); }},
      {"temporary, on file", [] { return std::make_unique<TTarnexTemporaryPageManager>(0); }},
  };
  return stores;
}

void FreeAll(TTarnexPageManager& pm, const std::vector<int32_t>& numbers) {
  for (int32_t n : numbers) pm.RemovePage(S1, n);
  pm.CommitSession(S1);
}

TEST(PageManager, NewPageIsDirtyInUseAndRecorded) {
  for (const auto& [label, make] : Stores()) {
    SCOPED_TRACE(label);
    auto pm = make();
    TTarnexPage* page = pm->AddNewPage(S1);
    EXPECT_EQ(0, page->PageNo());
    EXPECT_TRUE(page->Dirty());
    EXPECT_EQ(1, page->UseCount());
    EXPECT_EQ(S1, page->SessionID());
    EXPECT_EQ(1, pm->DirtyPageCount(S1));
    EXPECT_EQ(1, pm->AllocatedPageCount(S1));
    EXPECT_EQ(1, pm->GetPageCount());
    EXPECT_EQ(4096, page->PageSize());
    Fill(*page, 1);
    pm->ReleasePage(*page);
    pm->CommitSession(S1);
    EXPECT_EQ(0, pm->DirtyPageCount(S1));
    EXPECT_EQ(0, pm->AllocatedPageCount(S1));
    EXPECT_EQ(1, pm->CleanPageCount());
    FreeAll(*pm, {0});
    EXPECT_EQ(0, pm->GetPageCount());
    EXPECT_EQ(0, pm->CleanPageCount());
  }
}

TEST(PageManager, FreedNumbersAreReusedInMemory) {
  for (const auto& [label, make] : Stores()) {
    if (std::string(label) == "temporary, on file") continue;  // file page numbers are not reused
    SCOPED_TRACE(label);
    auto pm = make();
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4}), AddCommitted(*pm, S1, 5));
    pm->RemovePage(S1, 3);
    pm->RemovePage(S1, 1);
    EXPECT_EQ(2, pm->FreedPageCount(S1));
    EXPECT_EQ(5, pm->GetPageCount());  // freed only at commit
    pm->CommitSession(S1);
    EXPECT_EQ(3, pm->GetPageCount());
    EXPECT_EQ((std::vector<int32_t>{1, 3, 5}), AddCommitted(*pm, S1, 3, 50));
    for (int32_t n : {1, 3, 5}) {
      TTarnexPage* page = pm->GetPage(S1, n);
      EXPECT_EQ(n, page->PageNo());
      pm->ReleasePage(*page);
    }
    FreeAll(*pm, {0, 1, 2, 3, 4, 5});
  }
}

TEST(PageManager, RollbackKeepsTheCommittedContents) {
  for (const auto& [label, make] : Stores()) {
    SCOPED_TRACE(label);
    auto pm = make();
    const auto numbers = AddCommitted(*pm, S1, 3, 10);
    TTarnexPage* page = pm->GetPage(S1, numbers[1]);
    ASSERT_TRUE(Holds(*page, 11));
    Fill(*page, 99);
    pm->ReleasePage(*page);  // changed: moves to the session's dirty list
    EXPECT_EQ(1, pm->DirtyPageCount(S1));
    TTarnexPage* added = pm->AddNewPage(S1);
    const int32_t addedNo = added->PageNo();
    pm->ReleasePage(*added);
    EXPECT_EQ(4, pm->GetPageCount());
    pm->RollbackSession(S1);
    EXPECT_EQ(0, pm->DirtyPageCount(S1));
    EXPECT_EQ(3, pm->GetPageCount());  // the page allocated by the session is given back
    for (int32_t k = 0; k < 3; ++k) {
      TTarnexPage* p = pm->GetPage(S1, numbers[k]);
      EXPECT_TRUE(Holds(*p, static_cast<uint8_t>(10 + k))) << k;
      pm->ReleasePage(*p);
    }
    ExpectTarnexError([&] { pm->GetPage(S1, addedNo); }, label == std::string("memory") ? 10392 : 10396,
                      std::string("Not released page is allocated - Native error: ") +
                          (label == std::string("memory") ? "10392" : "10396"));
    pm->RollbackSession(S1);  // nothing left to give back twice
    EXPECT_EQ(3, pm->GetPageCount());
    FreeAll(*pm, numbers);
  }
}

TEST(PageManager, CommitMakesChangesVisibleToOtherSessions) {
  TTarnexMemoryPageManager pm;
  const auto numbers = AddCommitted(pm, S1, 1, 5);
  TTarnexPage* page = pm.GetPage(S1, numbers[0]);
  Fill(*page, 77);
  EXPECT_FALSE(page->Buffer() == pm.StoreBuffer(numbers[0]));  // changed privately
  EXPECT_NE(77, pm.StoreBuffer(numbers[0])[0]);
  pm.ReleasePage(*page);
  // Another session does not see the uncommitted change.
  TTarnexPage* other = pm.GetPage(S2, numbers[0]);
  EXPECT_TRUE(Holds(*other, 5));
  EXPECT_EQ(pm.StoreBuffer(numbers[0]), other->Buffer());  // unchanged pages share the store's bytes
  pm.ReleasePage(*other);
  pm.CommitSession(S1);
  EXPECT_EQ(77, pm.StoreBuffer(numbers[0])[0]);
  TTarnexPage* again = pm.GetPage(S2, numbers[0]);
  EXPECT_TRUE(Holds(*again, 77));
  pm.ReleasePage(*again);
  FreeAll(pm, numbers);
}

TEST(PageManager, CommitAndRollbackRefuseUsedPages) {
  struct Case { bool commit; int32_t code; };
  const Case cases[] = {{true, 10823}, {false, 10821}};
  for (const Case& c : cases) {
    TTarnexMemoryPageManager pm;
    TTarnexPage* page = pm.AddNewPage(S1);
    TTarnexPage* second = pm.AddNewPage(S1);
    pm.ReleasePage(*page);
    const std::string message = "Cannot remove used page, pageNo = 1, UseCount = 1 - Native error: " +
                                std::to_string(c.code);
    ExpectTarnexError([&] { c.commit ? pm.CommitSession(S1) : pm.RollbackSession(S1); }, c.code, message);
    EXPECT_EQ(2, pm.DirtyPageCount(S1));  // nothing was written or discarded
    EXPECT_EQ(2, pm.GetPageCount());
    pm.ReleasePage(*second);
    pm.RollbackSession(S1);
    EXPECT_EQ(0, pm.GetPageCount());
  }
}

TEST(PageManager, CommitAndRollbackRefuseCleanPagesInTheDirtyList) {
  struct Case { bool commit; int32_t code; };
  const Case cases[] = {{true, 10822}, {false, 10820}};
  for (const Case& c : cases) {
    TTarnexMemoryPageManager pm;
    TTarnexPage* page = pm.AddNewPage(S1);
    page->SetDirty(false);
    pm.ReleasePage(*page);
    ExpectTarnexError([&] { c.commit ? pm.CommitSession(S1) : pm.RollbackSession(S1); }, c.code,
                      "Page is not dirty, pageNo = 0 - Native error: " + std::to_string(c.code));
    page->SetDirty(true);
    pm.RollbackSession(S1);
  }
}

TEST(PageManager, ReleaseMisuse) {
  TTarnexMemoryPageManager pm;
  const auto numbers = AddCommitted(pm, S1, 2);
  TTarnexPage* page = pm.GetPage(S1, numbers[0]);
  pm.ReleasePage(*page);
  ExpectTarnexError([&] { pm.ReleasePage(*page); }, 10665,
                    "Error - invalid use count = -1, pageNo = 0 - Native error: 10665");
  EXPECT_EQ(0, page->UseCount());
  pm.ReleasePage(*pm.GetPage(S1, numbers[0]));  // still usable afterwards

  TTarnexPage unallocated(&pm, S1);
  ExpectTarnexError([&] { pm.ReleasePage(unallocated); }, 20065, "Invalid page number - Native error: 20065");

  // A page whose number another session frees and commits while it is still in use.
  TTarnexPage* held = pm.GetPage(S1, numbers[1]);
  pm.RemovePage(S2, numbers[1]);
  pm.CommitSession(S2);
  ExpectTarnexError([&] { pm.ReleasePage(*held); }, 20040, "Used page was released too early - Native error: 20040");
  FreeAll(pm, {numbers[0]});
  EXPECT_NO_THROW(pm.CheckFree());
}

TEST(PageManager, PageInUseByAnotherSession) {
  TTarnexMemoryPageManager pm;
  const auto numbers = AddCommitted(pm, S1, 1);
  TTarnexPage* page = pm.GetPage(S1, numbers[0]);
  TTarnexPage* twice = pm.GetPage(S1, numbers[0]);
  EXPECT_EQ(page, twice);
  EXPECT_EQ(2, page->UseCount());
  ExpectTarnexError([&] { pm.GetPage(S2, numbers[0]); }, 20090, "Page is used by other session - Native error: 20090");
  pm.ReleasePage(*page);
  pm.ReleasePage(*page);
  TTarnexPage* other = pm.GetPage(S2, numbers[0]);
  EXPECT_EQ(S2, other->SessionID());
  pm.ReleasePage(*other);
  FreeAll(pm, numbers);
}

TEST(PageManager, CleanCacheKeepsThirtyUnusedPages) {
  TTarnexMemoryPageManager pm;
  EXPECT_EQ(30, pm.CacheCapacity());
  const auto forty = AddCommitted(pm, S1, 40);
  EXPECT_EQ(30, pm.CleanPageCount());  // commit trims the cache too
  FreeAll(pm, forty);
  EXPECT_EQ(0, pm.CleanPageCount());

  const auto numbers = AddCommitted(pm, S1, 30);
  ASSERT_EQ(30, pm.CleanPageCount());
  TTarnexPage* held = pm.GetPage(S1, numbers[0]);  // the oldest, in use: skipped by the trim
  const auto extra = AddCommitted(pm, S1, 1);
  EXPECT_EQ(30, pm.CleanPageCount());  // 31 cached: the oldest unused one went
  EXPECT_EQ(held, pm.GetPage(S1, numbers[0]));
  pm.ReleasePage(*held);
  pm.ReleasePage(*held);
  EXPECT_EQ(30, pm.CleanPageCount());
  // numbers[1] was the page dropped: reading it adds an object to the cache again.
  TTarnexPage* dropped = pm.GetPage(S1, numbers[1]);
  EXPECT_EQ(31, pm.CleanPageCount());
  pm.ReleasePage(*dropped);  // the release that leaves 31 unused pages frees the oldest
  EXPECT_EQ(30, pm.CleanPageCount());
  TTarnexPage* newest = pm.GetPage(S1, numbers[1]);
  EXPECT_EQ(30, pm.CleanPageCount());  // still cached
  pm.ReleasePage(*newest);
  FreeAll(pm, numbers);
  FreeAll(pm, extra);
}

TEST(PageManager, PrivateBuffers) {
  TTarnexMemoryPageManager pm;
  TTarnexPage empty(&pm, S1);
  ExpectTarnexError([&] { empty.MakeBufferPrivate(); }, 20038, "Invalid page buffer. Buffer is Nil - Native error: 20038");
  TTarnexPage* page = pm.AddNewPage(S1);
  EXPECT_FALSE(page->OwnsBuffer());
  ExpectTarnexError([&] { page->MakeBufferPrivate(4095); }, 20039, "Invalid page modification - Native error: 20039");
  ASSERT_EQ(pm.StoreBuffer(0), page->Buffer());
  std::memset(page->Buffer(), 0x5A, 4096);
  page->MakeBufferPrivate(4096 + 100);
  EXPECT_TRUE(page->OwnsBuffer());
  EXPECT_NE(pm.StoreBuffer(0), page->Buffer());
  EXPECT_EQ(0x5A, page->Buffer()[4095]);
  EXPECT_EQ(0, page->Buffer()[4096]);  // the private copy's extra bytes are zero
  EXPECT_EQ(0, page->Buffer()[4195]);
  pm.ReleasePage(*page);
  pm.RollbackSession(S1);
}

// A store that never hands out a number.
class NoNumberPageManager : public TTarnexPageManager {
public:
  NoNumberPageManager() : TTarnexPageManager("NoNumberPageManager", 1) {}
  void AllocatePageNo(TTarnexPage&) override {}
  void FreePageNo(int32_t) override {}
  void ReadPage(TTarnexPage&) override {}
  void WritePage(TTarnexPage&) override {}
};

TEST(PageManager, StoreErrors) {
  NoNumberPageManager none;
  ExpectTarnexError([&] { none.AddNewPage(S1); }, 20064, "Invalid page number - Native error: 20064");
  EXPECT_EQ(0, none.DirtyPageCount(S1));

  TTarnexMemoryPageManager pm;
  ExpectTarnexError([&] { pm.GetPage(S1, 3); }, 10392, "Not released page is allocated - Native error: 10392");
  EXPECT_EQ(0, pm.CleanPageCount());  // the failed page does not stay in the cache
  TTarnexPage stray(&pm, S1);
  stray.SetPageNo(7);
  ExpectTarnexError([&] { pm.WritePage(stray); }, 10393, "Not released page is allocated - Native error: 10393");
  TTarnexTemporaryPageManager tp(1);
  stray.SetPageNo(2);
  ExpectTarnexError([&] { tp.ReadPage(stray); }, 10396, "Not released page is allocated - Native error: 10396");
  ExpectTarnexError([&] { tp.WritePage(stray); }, 10397, "Not released page is allocated - Native error: 10397");
}

TEST(PageManager, CheckFree) {
  struct Case { const char* label; ManagerFactory make; std::string className; int32_t code; };
  const Case cases[] = {
      {"memory", [] { return std::make_unique<TTarnexMemoryPageManager>(); }, "TTarnexMemoryPageManager", 20023},
      {"temporary", [] { return std::make_unique<TTarnexTemporaryPageManager>(1); }, "TTarnexTemporaryPageManager", 20036},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto pm = c.make();
    EXPECT_NO_THROW(pm->CheckFree());
    TTarnexPage* page = pm->AddNewPage(S1);
    pm->ReleasePage(*page);
    ExpectTarnexError([&] { pm->CheckFree(); }, 20097,
                      "Cannot free not commited pages, page manager classname = " + c.className +
                          " - Native error: 20097");
    pm->CommitSession(S1);
    ExpectTarnexError([&] { pm->CheckFree(); }, c.code,
                      "Index pages are not released - Native error: " + std::to_string(c.code));
    FreeAll(*pm, {0});
    EXPECT_NO_THROW(pm->CheckFree());
  }
}

TEST(TemporaryPageManager, PagesBeyondTheLimitLiveInTheFile) {
  std::string fileName;
  {
    TTarnexTemporaryPageManager pm(2);
    TTarnexPage* inMemory = pm.AddNewPage(S1);
    EXPECT_FALSE(inMemory->OwnsBuffer());
    pm.ReleasePage(*inMemory);
    pm.RollbackSession(S1);
    EXPECT_TRUE(pm.FileName().empty());

    const auto numbers = AddCommitted(pm, S1, 40, 1);
    EXPECT_EQ(40, pm.PageTotal());
    ASSERT_FALSE(pm.FileName().empty());
    fileName = pm.FileName();
    EXPECT_TRUE(FileExists(fileName));
    // The cache keeps 30 pages; the others come back from the inner store or the file.
    for (int32_t k = 0; k < 40; ++k) {
      TTarnexPage* page = pm.GetPage(S2, numbers[k]);
      EXPECT_TRUE(Holds(*page, static_cast<uint8_t>(1 + k))) << k;
      pm.ReleasePage(*page);
    }
    // A new file page starts with the store's initial header.
    TTarnexPage* fresh = pm.AddNewPage(S1);
    EXPECT_EQ(40, fresh->PageNo());
    EXPECT_TRUE(fresh->OwnsBuffer());
    const uint8_t header[32] = {'T', 'N', 'X', 'P', 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,
                                0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
    EXPECT_EQ(0, std::memcmp(header, fresh->Buffer(), 32));
    bool restZero = true;
    for (int32_t i = 32; i < 4096; ++i) restZero = restZero && fresh->Buffer()[i] == 0;
    EXPECT_TRUE(restZero);
    pm.ReleasePage(*fresh);
    pm.CommitSession(S1);
    // File page numbers are not reused; memory numbers are, until the limit is reached.
    pm.RemovePage(S1, 10);
    pm.CommitSession(S1);
    TTarnexPage* next = pm.AddNewPage(S1);
    EXPECT_EQ(41, next->PageNo());
    pm.ReleasePage(*next);
    pm.CommitSession(S1);
    EXPECT_EQ(41, pm.GetPageCount());
    // Freed without releasing the pages: the file still goes with the manager.
  }
  EXPECT_FALSE(FileExists(fileName));
}

TEST(TemporaryPageManager, FileRemovedAfterAnError) {
  std::string fileName;
  {
    TTarnexTemporaryPageManager pm(0);
    AddCommitted(pm, S1, 1);
    fileName = pm.FileName();
    ASSERT_TRUE(FileExists(fileName));
    EXPECT_THROW(pm.GetPage(S1, 9), ETarnexException);
    EXPECT_THROW(pm.CheckFree(), ETarnexException);
  }
  EXPECT_FALSE(FileExists(fileName));
}

}  // namespace
