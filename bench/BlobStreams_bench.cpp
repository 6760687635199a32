// Writes and reads one 10 MB BLOB value (inspection-like text, compressible) through the
// compressed BLOB stream with no compression, zlib and bzip2, over a temporary stream as a
// memory table keeps it, and prints the times beside a plain memory copy of the same bytes
// and, when built with SQLite, an in-memory SQLite BLOB of the same bytes.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/access/TarnexCompression.h"

#ifdef TARNEX_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t ValueSize = 10 * 1024 * 1024;
constexpr int Runs = 3;

Bytes InspectionText(size_t n) {
  static const char* pests[] = {"Webbing clothes moth,Tineola bisselliella", "Silverfish,Lepisma saccharina",
                                "Varied carpet beetle,Anthrenus verbasci", "Cigarette beetle,Lasioderma serricorne",
                                "Booklouse,Liposcelis bostrychophila", "German cockroach,Blattella germanica"};
  static const char* areas[] = {"Textile store", "Library stack 2", "Gallery 4", "Loading bay", "Archive B"};
  static const char* stages[] = {"adult", "larva", "nymph", "case", "exuviae"};
  std::mt19937 rng(2024);
  auto g = [&rng] { return static_cast<unsigned>(rng()); };
  std::string text;
  char line[256];
  while (text.size() < n) {
    std::snprintf(line, sizeof(line), "%u,%s,%s shelf %u,%u/%u/20%02u,%s,%u,%s,%s\r\n", g() % 400 + 1,
                  areas[g() % 5], areas[g() % 5], g() % 30, g() % 12 + 1, g() % 28 + 1, g() % 25,
                  pests[g() % 6], g() % 40, stages[g() % 5], (g() % 4 == 0) ? "near window, damp" : "");
    text += line;
  }
  return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

double BestMs(const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < Runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    work();
    auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  return best;
}

volatile uint8_t Sink;  // keeps the copies from being optimised away

void Report(const char* name, double writeMs, double readMs, double smallReadMs, int64_t stored,
            double baseWrite, double baseRead) {
  std::printf("%-22s write %9.2f ms (x%7.1f)  read %9.2f ms (x%7.1f)", name, writeMs, writeMs / baseWrite,
              readMs, readMs / baseRead);
  if (smallReadMs >= 0) std::printf("  4K-reads %9.2f ms", smallReadMs);
  std::printf("  stored %9lld bytes (%5.1f%% saved)\n", static_cast<long long>(stored),
              (1.0 - static_cast<double>(stored) / ValueSize) * 100.0);
}

}  // namespace

int main() {
  const Bytes value = InspectionText(ValueSize);
  std::printf("BLOB value: %zu bytes of inspection text, best of %d runs\n\n", value.size(), Runs);

  // Baseline: the same bytes copied into and out of a vector.
  Bytes copy;
  Bytes back(value.size());
  const double baseWrite = BestMs([&] {
    copy.assign(value.size(), 0);
    std::memcpy(copy.data(), value.data(), value.size());
    Sink = copy[12345];
  });
  const double baseRead = BestMs([&] {
    std::memcpy(back.data(), copy.data(), copy.size());
    Sink = back[54321];
  });
  Report("memcpy/std::vector", baseWrite, baseRead, -1, static_cast<int64_t>(value.size()), baseWrite, baseRead);

  struct Case { const char* name; TTarnexCompressionAlgorithm alg; uint8_t mode; };
  const Case cases[] = {{"Tarnex NONE", TTarnexCompressionAlgorithm::None, 0},
                        {"Tarnex ZLIB level 1", TTarnexCompressionAlgorithm::ZLIB, 1},
                        {"Tarnex ZLIB level 6", TTarnexCompressionAlgorithm::ZLIB, 6},
                        {"Tarnex BZIP 9", TTarnexCompressionAlgorithm::BZIP, 9}};
  for (const Case& c : cases) {
    TTarnexCompressedBLOBStreamParams params;
    params.Algorithm = c.alg;
    params.Mode = c.mode;
    params.BlockSize = 102400;  // the fields' default BLOB block size
    std::unique_ptr<TTarnexTemporaryStream> underlying;
    TTarnexCompressedBLOBStreamParams written;
    const double writeMs = BestMs([&] {
      underlying = std::make_unique<TTarnexTemporaryStream>();
      TTarnexCompressedBLOBStream s(underlying.get(), false, true, params);
      WriteExact(value.data(), static_cast<int32_t>(value.size()), s, 1);
      written = s.Params();
    });
    const double readMs = BestMs([&] {
      TTarnexCompressedBLOBStream s(underlying.get(), false, false, written);
      for (size_t off = 0; off < back.size(); off += 102400) {
        int32_t n = static_cast<int32_t>(std::min<size_t>(102400, back.size() - off));
        ReadExact(back.data() + off, n, s, 2);
      }
    });
    if (back != value) {
      std::printf("%s: value read back differs\n", c.name);
      return 1;
    }
    // Reads of 4 KB decompress their whole block each time (nothing is cached).
    double smallMs = -1;
    {
      auto t0 = std::chrono::steady_clock::now();
      TTarnexCompressedBLOBStream s(underlying.get(), false, false, written);
      uint8_t piece[4096];
      int32_t n;
      size_t off = 0;
      while ((n = s.Read(piece, sizeof(piece))) > 0) {
        std::memcpy(back.data() + off, piece, static_cast<size_t>(n));
        off += static_cast<size_t>(n);
      }
      smallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      if (back != value) {
        std::printf("%s: value read back in pieces differs\n", c.name);
        return 1;
      }
    }
    Report(c.name, writeMs, readMs, smallMs, underlying->Size(), baseWrite, baseRead);
  }

#ifdef TARNEX_HAVE_SQLITE
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  sqlite3_exec(db, "create table t (id integer primary key, v blob)", nullptr, nullptr, nullptr);
  const double sqlWrite = BestMs([&] {
    sqlite3_exec(db, "delete from t", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into t values (1, ?)", -1, &st, nullptr);
    sqlite3_bind_blob(st, 1, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    sqlite3_step(st);
    sqlite3_finalize(st);
  });
  const double sqlRead = BestMs([&] {
    sqlite3_blob* blob = nullptr;
    sqlite3_blob_open(db, "main", "t", "v", 1, 0, &blob);
    for (size_t off = 0; off < back.size(); off += 102400) {
      int n = static_cast<int>(std::min<size_t>(102400, back.size() - off));
      sqlite3_blob_read(blob, back.data() + off, n, static_cast<int>(off));
    }
    sqlite3_blob_close(blob);
  });
  if (back != value) {
    std::printf("SQLite: value read back differs\n");
    return 1;
  }
  Report("SQLite :memory: blob", sqlWrite, sqlRead, -1, static_cast<int64_t>(value.size()), baseWrite, baseRead);
  sqlite3_close(db);
#endif
  return 0;
}
