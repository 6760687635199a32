// The engine's allocator for record, key and value buffers, pages and record stores. Every
// block carries a guard word before and after its data, so misuse (foreign pointers, writes
// past the end, zero-sized requests) becomes an engine error instead of heap damage.
//
// Block layout (little-endian): [0] int32 data size, [4] uint8 allocator tag,
// [5] uint32 0xACCACCAC, [9] data, [9+size] uint32 0xACCEACCE. Callers get the data address.
// One system allocation per block; nothing is listed or searched per block. Data addresses are
// 16-byte aligned (the block starts 7 bytes into its allocation). Safe to call from any thread
// at the same time.
#pragma once

#include <atomic>
#include <cstdint>

class TTarnexMemoryManager {
public:
  static constexpr int32_t MaxBlockSize = 0x7FFFFFF6;   // largest data size accepted
  static constexpr uint32_t HeaderSignature = 0xACCACCACu;
  static constexpr uint32_t TrailerSignature = 0xACCEACCEu;
  static constexpr int32_t BlockOverhead = 13;          // header (9) + trailer (4)
  static constexpr int32_t HeaderSize = 9;              // bytes before the data address
  static constexpr uint8_t MallocTag = 0;               // allocator tag: the C heap (malloc/free),
                                                        // block 7 bytes into the allocation

  TTarnexMemoryManager() = default;
  TTarnexMemoryManager(const TTarnexMemoryManager&) = delete;
  TTarnexMemoryManager& operator=(const TTarnexMemoryManager&) = delete;

  // Data address of a new block of `size` bytes, contents undefined. 30286 "Cannot alocate 0
  // bytes" for size 0; 30015 "GetMem error: %s" when the system allocation fails, the size is
  // negative or above MaxBlockSize, or the memory limit would be exceeded (inner 30004).
  void* GetMem(int32_t size);
  // As GetMem, data bytes zeroed.
  void* AllocMem(int32_t size);
  // Releases the block `p` points at and sets p to nullptr; a nullptr p is left alone. 30001
  // "Invalid pointer" for a foreign pointer (p unchanged, nothing released); 30137 "Memory
  // overrun detected" after releasing a block whose trailer was overwritten (p already nil);
  // 30138 "FreeAndNillMem error: %s" for a damaged header (size or tag out of range; p unchanged).
  void FreeAndNillMem(void*& p);
  template <class T> void FreeAndNillMem(T*& p) {
    void* v = p;
    try { FreeAndNillMem(v); } catch (...) { p = static_cast<T*>(v); throw; }
    p = static_cast<T*>(v);
  }
  // Moves p's data into a block of newSize bytes (zeroGrowth: new bytes zeroed); every failure
  // is reported as 30014 "ReallocMem error: %s" around the inner error (30002 "Invalid pointer"
  // for a foreign p, 30286 for newSize 0, 30015 when the new block cannot be had; p unchanged).
  // A nil p simply gets a new block. When the old block's trailer turns out overwritten, the
  // data is already in the new block: p receives it, then 30014 (around 30137) is raised.
  void ReallocMem(void*& p, int32_t newSize, bool zeroGrowth);
  template <class T> void ReallocMem(T*& p, int32_t newSize, bool zeroGrowth) {
    void* v = p;
    try { ReallocMem(v, newSize, zeroGrowth); } catch (...) { p = static_cast<T*>(v); throw; }
    p = static_cast<T*>(v);
  }
  void ReallocMemZeroed(void*& p, int32_t newSize) { ReallocMem(p, newSize, true); }
  template <class T> void ReallocMemZeroed(T*& p, int32_t newSize) { ReallocMem(p, newSize, true); }
  // The data size stored in the block's header; 0 for nullptr; 30005 "Invalid pointer" for a
  // foreign pointer.
  int32_t GetBlockSize(const void* p) const;
  // Physical memory the operating system reports as available, capped at 2147483647.
  int64_t GetAvailableMemory() const;

  // Optional ceiling on the engine's allocated total (0 = none): a GetMem that would pass it
  // fails with 30004 "Memory limit exceeded (Limit = %d bytes)", reported inside 30015.
  int64_t MemoryLimit() const { return MemoryLimit_.load(std::memory_order_relaxed); }
  void SetMemoryLimit(int64_t limit) { MemoryLimit_.store(limit, std::memory_order_relaxed); }
  int64_t AllocatedTotal() const;  // data bytes of the blocks currently handed out

private:
  std::atomic<int64_t> MemoryLimit_{0};     // 0 = no limit
  std::atomic<int64_t> AllocatedTotal_{0};  // sum of the data sizes of live blocks
};

// The one process-wide instance, alive before and after every other engine object (it is
// never destroyed).
TTarnexMemoryManager& MemoryManager();
