// The engine's allocator for record, key and value buffers, pages and record stores. Every
// block carries a guard word before and after its data, so misuse (foreign pointers, writes
// past the end, zero-sized requests) becomes an engine error instead of heap damage.
//
// Block layout (little-endian): [0] int32 data size, [4] uint8 allocator tag,
// [5] uint32 0xACCACCAC, [9] data, [9+size] uint32 0xACCEACCE. Callers get the data address.
#pragma once

#include <cstdint>

class TTarnexMemoryManager {
public:
  static constexpr int32_t MaxBlockSize = 0x7FFFFFF6;   // largest data size accepted
  static constexpr uint32_t HeaderSignature = 0xACCACCACu;
  static constexpr uint32_t TrailerSignature = 0xACCEACCEu;
  static constexpr int32_t BlockOverhead = 13;          // header (9) + trailer (4)

  TTarnexMemoryManager() = default;
  TTarnexMemoryManager(const TTarnexMemoryManager&) = delete;
  TTarnexMemoryManager& operator=(const TTarnexMemoryManager&) = delete;

  // Data address of a new block of `size` bytes, contents undefined. 30286 for size 0,
  // 30015 "GetMem error: %s" when the system allocation fails (or the limit is exceeded).
  void* GetMem(int32_t size);
  // As GetMem, data bytes zeroed.
  void* AllocMem(int32_t size);
  // Releases the block `p` points at and sets p to nullptr. 30001 for a foreign pointer (p
  // unchanged); 30137 after releasing a block whose trailer was overwritten; 30138 otherwise.
  void FreeAndNillMem(void*& p);
  template <class T> void FreeAndNillMem(T*& p) {
    void* v = p;
    try { FreeAndNillMem(v); } catch (...) { p = static_cast<T*>(v); throw; }
    p = static_cast<T*>(v);
  }
  // Moves p's data into a block of newSize bytes (zeroGrowth: new bytes zeroed); every failure
  // is reported as 30014 "ReallocMem error: %s". A nil p simply gets a new block.
  void ReallocMem(void*& p, int32_t newSize, bool zeroGrowth);
  template <class T> void ReallocMem(T*& p, int32_t newSize, bool zeroGrowth) {
    void* v = p; ReallocMem(v, newSize, zeroGrowth); p = static_cast<T*>(v);
  }
  void ReallocMemZeroed(void*& p, int32_t newSize) { ReallocMem(p, newSize, true); }
  template <class T> void ReallocMemZeroed(T*& p, int32_t newSize) { ReallocMem(p, newSize, true); }
  // The data size stored in the block's header; 0 for nullptr; 30005 for a foreign pointer.
  int32_t GetBlockSize(const void* p) const;
  // Physical memory the operating system reports as available, capped at 2147483647.
  int64_t GetAvailableMemory() const;

  // Optional ceiling on the engine's allocated total (0 = none): a GetMem that would pass it
  // fails with 30004 "Memory limit exceeded (Limit = %d bytes)", reported inside 30015.
  int64_t MemoryLimit() const { return MemoryLimit_; }
  void SetMemoryLimit(int64_t limit) { MemoryLimit_ = limit; }
  int64_t AllocatedTotal() const;  // bytes of data currently handed out

private:
  int64_t MemoryLimit_ = 0;  // 0 = no limit
};

// The one process-wide instance, alive before and after every other engine object.
TTarnexMemoryManager& MemoryManager();
