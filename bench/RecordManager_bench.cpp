// Appends 1,000,000 records of an inspection-sized record buffer (300 bytes) to a memory record
// manager and reads them all back in table order, beside a plain byte vector doing the same
// copies. Prints the best of three runs of each and the ratio engine / vector.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "engine/storage/TarnexMemEngine.h"

namespace {

constexpr int32_t RecordSize = 300;
constexpr int32_t RecordCount = 1000000;
constexpr int32_t AllocBy = 1000;  // the table component's MemoryTableAllocBy
constexpr int Runs = 3;

// A record buffer shaped like an inspection row: null flags, integers, a date, texts.
void MakeRecord(int32_t i, uint8_t* r) {
  std::memset(r, 0, RecordSize);
  r[0] = static_cast<uint8_t>(i & 0x10 ? 0x04 : 0x00);  // null flags
  std::memcpy(r + 2, &i, 4);                             // trap number
  const int32_t day = 730000 + i % 3650;
  std::memcpy(r + 6, &day, 4);                           // inspection date
  std::snprintf(reinterpret_cast<char*>(r + 10), 41, "Area %d", i % 97);
  std::snprintf(reinterpret_cast<char*>(r + 51), 41, "Location %d", i % 1013);
  std::snprintf(reinterpret_cast<char*>(r + 92), 41, "Webbing clothes moth %d", i % 31);
  std::snprintf(reinterpret_cast<char*>(r + 133), 41, "Tineola bisselliella");
  const int32_t count = i % 17;
  std::memcpy(r + 174, &count, 4);
  std::snprintf(reinterpret_cast<char*>(r + 178), 121, "checked trap %d, notes follow", i);
}

double Seconds(const std::function<void()>& work) {
  double best = 1e300;
  for (int run = 0; run < Runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

uint64_t Checksum(const uint8_t* r) {
  uint64_t a, b;
  std::memcpy(&a, r, 8);
  std::memcpy(&b, r + RecordSize - 8, 8);
  return a ^ (b * 31);
}

}  // namespace

int main() {
  std::vector<uint8_t> records(static_cast<size_t>(RecordCount) * RecordSize);
  for (int32_t i = 0; i < RecordCount; ++i) MakeRecord(i, records.data() + static_cast<size_t>(i) * RecordSize);
  const uint8_t* source = records.data();

  // Engine: append.
  std::unique_ptr<TTarnexMemoryRecordManager> rm;
  const double engineAppend = Seconds([&] {
    rm = std::make_unique<TTarnexMemoryRecordManager>(RecordSize, AllocBy);
    TTarnexRecordID id;
    for (int32_t i = 0; i < RecordCount; ++i)
      if (!rm->AddRecord(source + static_cast<size_t>(i) * RecordSize, id, 1)) std::abort();
  });
  // Engine: read in table order.
  uint64_t engineSum = 0;
  std::vector<uint8_t> buffer(RecordSize);
  const double engineRead = Seconds([&] {
    engineSum = 0;
    TNavigationRequest request;
    request.Buffer = buffer.data();
    request.Direction = TNavigationDirection::Next;
    request.GoFirst = true;
    int32_t seen = 0;
    for (rm->ReadRecord(request); request.Result == TNavigationResult::Found; rm->ReadRecord(request)) {
      engineSum += Checksum(buffer.data());
      ++seen;
    }
    if (seen != RecordCount) std::abort();
  });

  // Baseline: a growing byte vector, one copy per record each way.
  std::vector<uint8_t> store;
  const double vectorAppend = Seconds([&] {
    store = std::vector<uint8_t>();
    for (int32_t i = 0; i < RecordCount; ++i) {
      const size_t at = store.size();
      store.resize(at + RecordSize);
      std::memcpy(store.data() + at, source + static_cast<size_t>(i) * RecordSize, RecordSize);
    }
  });
  uint64_t vectorSum = 0;
  const double vectorRead = Seconds([&] {
    vectorSum = 0;
    for (int32_t i = 0; i < RecordCount; ++i) {
      std::memcpy(buffer.data(), store.data() + static_cast<size_t>(i) * RecordSize, RecordSize);
      vectorSum += Checksum(buffer.data());
    }
  });
  if (engineSum != vectorSum) {
    std::printf("checksums differ: engine %llu, vector %llu\n", static_cast<unsigned long long>(engineSum),
                static_cast<unsigned long long>(vectorSum));
    return 1;
  }

  std::printf("%d records of %d bytes, AllocBy %d, best of %d runs\n", RecordCount, RecordSize, AllocBy, Runs);
  std::printf("%-28s %12s %12s %8s\n", "operation", "engine (s)", "vector (s)", "ratio");
  std::printf("%-28s %12.4f %12.4f %8.2f\n", "append", engineAppend, vectorAppend, engineAppend / vectorAppend);
  std::printf("%-28s %12.4f %12.4f %8.2f\n", "read all in table order", engineRead, vectorRead, engineRead / vectorRead);
  return 0;
}
