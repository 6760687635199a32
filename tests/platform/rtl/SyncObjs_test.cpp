#include "platform/rtl/SyncObjs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(SyncObjsTest, SectionIsReentrantAndExcludesOtherThreads) {
  TCriticalSection section;
  std::atomic<bool> otherGotIn{true};
  {
    TCriticalSectionGuard outer(section);
    TCriticalSectionGuard inner(section);  // the holder may enter again
    std::thread other([&] {
      otherGotIn = section.TryEnter();
      if (otherGotIn) section.Leave();
    });
    other.join();
    EXPECT_FALSE(otherGotIn);
  }
  std::thread other([&] {
    otherGotIn = section.TryEnter();
    if (otherGotIn) section.Leave();
  });
  other.join();
  EXPECT_TRUE(otherGotIn);  // both guards left
}

TEST(SyncObjsTest, GuardsSerialiseUpdates) {
  TCriticalSection section;
  int64_t counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      TCriticalSectionGuard guard(section);
      counter = counter + 1;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
}

}  // namespace
