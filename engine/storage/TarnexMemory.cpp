// Guarded blocks over the C heap: one malloc per block (7 bytes of padding, then the block), header
// and trailer words written and checked with memcpy, the allocated total kept in an atomic counter.
#include "engine/storage/TarnexMemory.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "engine/storage/TarnexExcept.h"

namespace {

constexpr int32_t SizeOffset = -9;       // data size, from the data address
constexpr int32_t TagOffset = -5;        // allocator tag
constexpr int32_t SignatureOffset = -4;  // header signature
// The C heap block starts this many bytes into its allocation, so that the data address
// (allocation + 16) keeps the heap's 16-byte alignment.
constexpr size_t LeadingPad = 7;
constexpr size_t DataOffset = LeadingPad + TTarnexMemoryManager::HeaderSize;

uint32_t ReadWord(const uint8_t* at) {
  uint8_t b[4];
  std::memcpy(b, at, 4);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void WriteWord(uint8_t* at, uint32_t value) {
  const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  std::memcpy(at, b, 4);
}

bool HasHeaderSignature(const uint8_t* data) {
  return ReadWord(data + SignatureOffset) == TTarnexMemoryManager::HeaderSignature;
}

int32_t StoredSize(const uint8_t* data) {
  return static_cast<int32_t>(ReadWord(data + SizeOffset));
}

// The inner failure of a block whose signature is intact but whose size or tag is not one this
// manager writes; empty when the header is sound.
std::string HeaderDamage(const uint8_t* data) {
  const int32_t size = StoredSize(data);
  if (size <= 0 || size > TTarnexMemoryManager::MaxBlockSize)
    return Format("Invalid block size %d", {size});
  const uint8_t tag = data[TagOffset];
  if (tag != TTarnexMemoryManager::MallocTag) return Format("Unknown allocator tag %d", {static_cast<int>(tag)});
  return std::string();
}

}  // namespace

void* TTarnexMemoryManager::GetMem(int32_t size) {
  if (size == 0) throw ETarnexException::Create(30286, "Cannot alocate 0 bytes");
  try {
    if (size < 0 || size > MaxBlockSize) throw EOutOfMemory();
    const int64_t limit = MemoryLimit();
    const int64_t total = AllocatedTotal_.fetch_add(size, std::memory_order_relaxed) + size;
    if (limit > 0 && total > limit) {
      AllocatedTotal_.fetch_sub(size, std::memory_order_relaxed);
      throw ETarnexException::CreateFmt(30004, "Memory limit exceeded (Limit = %d bytes)", {limit});
    }
    auto* allocation = static_cast<uint8_t*>(std::malloc(LeadingPad + static_cast<size_t>(size) + BlockOverhead));
    if (allocation == nullptr) {
      AllocatedTotal_.fetch_sub(size, std::memory_order_relaxed);
      throw EOutOfMemory();
    }
    uint8_t* data = allocation + DataOffset;
    WriteWord(data + SizeOffset, static_cast<uint32_t>(size));
    data[TagOffset] = MallocTag;
    WriteWord(data + SignatureOffset, HeaderSignature);
    WriteWord(data + size, TrailerSignature);
    return data;
  } catch (const std::exception& e) {
    throw ETarnexException::CreateFmt(30015, "GetMem error: %s", {std::string(e.what())});
  }
}

void* TTarnexMemoryManager::AllocMem(int32_t size) {
  void* data = GetMem(size);
  std::memset(data, 0, static_cast<size_t>(size));
  return data;
}

void TTarnexMemoryManager::FreeAndNillMem(void*& p) {
  if (p == nullptr) return;
  auto* data = static_cast<uint8_t*>(p);
  if (!HasHeaderSignature(data)) throw ETarnexException::Create(30001, "Invalid pointer");
  const std::string damage = HeaderDamage(data);
  if (!damage.empty())
    throw ETarnexException::CreateFmt(30138, "FreeAndNillMem error: %s", {damage});
  const int32_t size = StoredSize(data);
  const bool intact = ReadWord(data + size) == TrailerSignature;
  // Spoil the signature so that a second release of the same address is likely refused.
  WriteWord(data + SignatureOffset, 0);
  std::free(data - DataOffset);
  AllocatedTotal_.fetch_sub(size, std::memory_order_relaxed);
  p = nullptr;
  if (!intact) throw ETarnexException::Create(30137, "Memory overrun detected");
}

void TTarnexMemoryManager::ReallocMem(void*& p, int32_t newSize, bool zeroGrowth) {
  try {
    int32_t oldSize = 0;
    if (p != nullptr) {
      const auto* data = static_cast<const uint8_t*>(p);
      if (!HasHeaderSignature(data)) throw ETarnexException::Create(30002, "Invalid pointer");
      const std::string damage = HeaderDamage(data);
      if (!damage.empty()) throw Exception(damage);
      oldSize = StoredSize(data);
    }
    auto* fresh = static_cast<uint8_t*>(GetMem(newSize));
    const int32_t kept = std::min(oldSize, newSize);
    if (kept > 0) std::memcpy(fresh, p, static_cast<size_t>(kept));
    if (zeroGrowth && newSize > kept) std::memset(fresh + kept, 0, static_cast<size_t>(newSize - kept));
    void* old = p;
    try {
      FreeAndNillMem(old);
    } catch (...) {
      // The old block is gone (overrun found on release); its data lives on in the new one.
      p = fresh;
      throw;
    }
    p = fresh;
  } catch (const std::exception& e) {
    throw ETarnexException::CreateFmt(30014, "ReallocMem error: %s", {std::string(e.what())});
  }
}

int32_t TTarnexMemoryManager::GetBlockSize(const void* p) const {
  if (p == nullptr) return 0;
  const auto* data = static_cast<const uint8_t*>(p);
  if (!HasHeaderSignature(data)) throw ETarnexException::Create(30005, "Invalid pointer");
  return StoredSize(data);
}

int64_t TTarnexMemoryManager::GetAvailableMemory() const {
  constexpr int64_t Cap = 2147483647;
  int64_t available = -1;
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) == 0) {  // "MemAvailable:   123456 kB"
      available = std::strtoll(line.c_str() + 13, nullptr, 10) * 1024;
      break;
    }
  }
  if (available < 0) {
    struct sysinfo info {};
    if (sysinfo(&info) == 0)
      available = static_cast<int64_t>(info.freeram) * static_cast<int64_t>(info.mem_unit);
    else
      available = 0;
  }
  return std::min(available, Cap);
}

int64_t TTarnexMemoryManager::AllocatedTotal() const {
  return AllocatedTotal_.load(std::memory_order_relaxed);
}

TTarnexMemoryManager& MemoryManager() {
  // Never destroyed: engine objects released by other static destructors still return blocks.
  static TTarnexMemoryManager* const instance = new TTarnexMemoryManager();
  return *instance;
}
