// Growable arrays, bit arrays and scan search conditions.
#include "engine/access/TarnexTypes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <random>

#include "engine/access/TarnexCompression.h"
#include "engine/sql/TarnexExpressions.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/SysUtils.h"

namespace {

int32_t ByteCount(int32_t bits) { return static_cast<int32_t>((int64_t{bits} + 7) / 8); }

void PutInt32(uint8_t* dest, int32_t value) {
  uint32_t u = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) dest[i] = static_cast<uint8_t>(u >> (8 * i));
}
int32_t GetInt32(const uint8_t* src) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(src[i]) << (8 * i);
  return static_cast<int32_t>(u);
}

int32_t CountBits(const uint8_t* bytes, int32_t bitCount) {
  int32_t full = bitCount / 8;
  int32_t n = 0;
  for (int32_t i = 0; i < full; ++i) n += std::popcount(bytes[i]);
  if (bitCount % 8) n += std::popcount(static_cast<uint8_t>(bytes[full] & ((1u << (bitCount % 8)) - 1)));
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTarnexGrowableArray

TTarnexGrowableArray::TTarnexGrowableArray(int32_t itemSize, int32_t initialCount, int32_t maxStep,
                                           int32_t step)
    : ItemSize_(itemSize), GrowStep_(step), ShrinkStep_(step), MaxStep_(maxStep) {
  SetCount(initialCount);
}

TTarnexGrowableArray::~TTarnexGrowableArray() {
  if (Items_) {
    try { MemoryManager().FreeAndNillMem(Items_); } catch (...) {}
  }
}

void TTarnexGrowableArray::Resize(int32_t capacity) {
  if (int64_t{capacity} * ItemSize_ > TTarnexMemoryManager::MaxBlockSize) throw ERangeError();
  MemoryManager().ReallocMem(Items_, capacity * ItemSize_, true);
  Capacity_ = capacity;
}

void TTarnexGrowableArray::SetCount(int32_t n) {
  if (n < 0) throw ERangeError();
  if (n == 0) {
    if (Items_) MemoryManager().FreeAndNillMem(Items_);
    Count_ = 0;
    Capacity_ = 0;
    return;
  }
  if (n > Capacity_) {
    GrowStep_ = std::min(GrowStep_ * 2, MaxStep_);
    int64_t grown = int64_t{Capacity_} + GrowStep_;
    Resize(grown >= n ? static_cast<int32_t>(grown) : n);
  } else if (n < Count_) {
    if (ShrinkStep_ < Capacity_ - n) {
      ShrinkStep_ = std::min(ShrinkStep_ * 2, MaxStep_);
      Resize(n);
    }
  }
  // Items joining the array are zero, also where the storage was kept from before.
  if (n > Count_) {
    std::memset(Items_ + int64_t{Count_} * ItemSize_, 0, static_cast<size_t>(int64_t{n - Count_} * ItemSize_));
  }
  Count_ = n;
}

uint8_t* TTarnexGrowableArray::ItemAddress(int32_t index) const {
  if (index < 0 || index >= Count_) throw ERangeError();
  return Items_ + int64_t{index} * ItemSize_;
}

// ---------------------------------------------------------------------------------------------
// TTarnexRecordIDArray

TTarnexRecordIDArray::TTarnexRecordIDArray(int32_t initialCount, int32_t maxStep, int32_t step)
    : TTarnexGrowableArray(TTarnexRecordID::Size, initialCount, maxStep, step) {}

TTarnexRecordID TTarnexRecordIDArray::Item(int32_t index) const {
  return TTarnexRecordID::ReadFrom(ItemAddress(index));
}

void TTarnexRecordIDArray::SetItem(int32_t index, const TTarnexRecordID& id) { id.WriteTo(ItemAddress(index)); }

int32_t TTarnexRecordIDArray::Add(const TTarnexRecordID& id) {
  SetCount(Count() + 1);
  SetItem(Count() - 1, id);
  return Count() - 1;
}

void TTarnexRecordIDArray::Insert(int32_t index, const TTarnexRecordID& id) {
  if (index < 0) throw ERangeError();
  if (index >= Count()) {
    Add(id);
    return;
  }
  SetCount(Count() + 1);
  uint8_t* at = ItemAddress(index);
  std::memmove(at + TTarnexRecordID::Size, at, static_cast<size_t>(Count() - 1 - index) * TTarnexRecordID::Size);
  id.WriteTo(at);
}

void TTarnexRecordIDArray::Delete(int32_t index) {
  uint8_t* at = ItemAddress(index);
  std::memmove(at, at + TTarnexRecordID::Size, static_cast<size_t>(Count() - 1 - index) * TTarnexRecordID::Size);
  SetCount(Count() - 1);
}

int32_t TTarnexRecordIDArray::Compare(const TTarnexRecordID& a, const TTarnexRecordID& b) const {
  auto sign = [](auto x, auto y) { return x < y ? -1 : (x > y ? 1 : 0); };
  if (SlotIDs_) return sign(a.PageNo, b.PageNo);
  if (OrdinalIDs_) {
    int32_t c = sign(a.PageItemNo, b.PageItemNo);
    return c != 0 ? c : sign(static_cast<uint32_t>(a.PageNo), static_cast<uint32_t>(b.PageNo));
  }
  int32_t c = sign(a.PageNo, b.PageNo);
  return c != 0 ? c : sign(a.PageItemNo, b.PageItemNo);
}

int32_t TTarnexRecordIDArray::Find(const TTarnexRecordID& id) const {
  if (Sorted_ && Count() > 10) {
    int32_t lo = 0, hi = Count() - 1;
    while (lo <= hi) {
      int32_t mid = lo + (hi - lo) / 2;
      int32_t c = Compare(Item(mid), id);
      if (c == 0) return mid;
      if (c < 0) lo = mid + 1; else hi = mid - 1;
    }
    return -1;
  }
  for (int32_t i = 0; i < Count(); ++i) {
    if (Item(i) == id) return i;
  }
  return -1;
}

void TTarnexRecordIDArray::QuickSort(int32_t lo, int32_t hi) {
  // Hoare partitioning around the middle item. The smaller part recurses, the larger one is
  // handled by the loop, so the stack stays shallow whatever the input order.
  while (lo < hi) {
    const TTarnexRecordID pivot = Item(lo + (hi - lo) / 2);
    int32_t i = lo, j = hi;
    do {
      while (Compare(Item(i), pivot) < 0 && i < hi) ++i;
      while (Compare(Item(j), pivot) > 0 && j > 0) --j;
      if (i <= j) {
        TTarnexRecordID t = Item(i);
        SetItem(i, Item(j));
        SetItem(j, t);
        ++i;
        --j;
      }
    } while (i <= j);
    if ((lo < j && j >= hi) || (i < hi && i <= lo)) {
      throw ETarnexException(
          11329, "Sorting error in TTarnexRecordIDArray: Hi = %d, Lo = %d, iHi = %d, iLo = %d, ItemCount = %d",
          {hi, lo, j, i, Count()});
    }
    if (j - lo < hi - i) {
      if (lo < j) QuickSort(lo, j);
      lo = i;
    } else {
      if (i < hi) QuickSort(i, hi);
      hi = j;
    }
  }
}

void TTarnexRecordIDArray::Sort() {
  if (Count() > 1) QuickSort(0, Count() - 1);
  Sorted_ = true;
}

// ---------------------------------------------------------------------------------------------
// TTarnexIntegerArray

TTarnexIntegerArray::TTarnexIntegerArray(int32_t initialCount, int32_t maxStep, int32_t step)
    : TTarnexGrowableArray(4, initialCount, maxStep, step) {}

int32_t TTarnexIntegerArray::Item(int32_t index) const { return GetInt32(ItemAddress(index)); }

void TTarnexIntegerArray::SetItem(int32_t index, int32_t value) { PutInt32(ItemAddress(index), value); }

int32_t TTarnexIntegerArray::Add(int32_t value) {
  SetCount(Count() + 1);
  SetItem(Count() - 1, value);
  return Count() - 1;
}

bool TTarnexIntegerArray::Contains(int32_t value) const {
  for (int32_t i = 0; i < Count(); ++i) {
    if (Item(i) == value) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Bits

bool IsBitSet(int32_t bitNo, const void* buffer) {
  return (static_cast<const uint8_t*>(buffer)[bitNo / 8] >> (bitNo % 8)) & 1u;
}

void SetBitValue(bool value, int32_t bitNo, void* buffer) {
  uint8_t& byte = static_cast<uint8_t*>(buffer)[bitNo / 8];
  const uint8_t mask = static_cast<uint8_t>(1u << (bitNo % 8));
  byte = value ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
}

TTarnexBitsArray::~TTarnexBitsArray() {
  if (Bits_) {
    try { MemoryManager().FreeAndNillMem(Bits_); } catch (...) {}
  }
}

void TTarnexBitsArray::SetBitCount(int32_t n) {
  if (n < 0) throw ERangeError();
  if (n == 0) {
    if (Bits_) MemoryManager().FreeAndNillMem(Bits_);
    BitCount_ = 0;
    SetCount_ = 0;
    return;
  }
  const int32_t bytes = ByteCount(n);
  if (bytes != ByteCount(BitCount_) || !Bits_) MemoryManager().ReallocMem(Bits_, bytes, true);
  if (n < BitCount_) {
    // Bits past the end are kept 0, so a later growth starts them cleared.
    if (n % 8) Bits_[bytes - 1] = static_cast<uint8_t>(Bits_[bytes - 1] & ((1u << (n % 8)) - 1));
    BitCount_ = n;
    SetCount_ = CountBits(Bits_, n);
  } else {
    BitCount_ = n;
  }
}

bool TTarnexBitsArray::GetBit(int32_t index) const {
  if (index < 0 || index >= BitCount_) {
    throw ETarnexException(10394, "Invalid bit no = %d, number of bits = %d", {index, BitCount_});
  }
  return IsBitSet(index, Bits_);
}

void TTarnexBitsArray::SetBit(int32_t index, bool value) {
  if (index < 0 || index >= BitCount_) {
    throw ETarnexException(10395, "Invalid bit no = %d, number of bits = %d", {index, BitCount_});
  }
  if (IsBitSet(index, Bits_) == value) return;
  SetBitValue(value, index, Bits_);
  SetCount_ += value ? 1 : -1;
}

int32_t TTarnexBitsArray::CountSetBits() const { return BitCount_ > 0 ? CountBits(Bits_, BitCount_) : 0; }

int32_t TTarnexBitsArray::FindFirst(bool value) const {
  const uint8_t skip = value ? 0x00 : 0xFF;  // bytes holding no bit of the wanted value
  const int32_t bytes = ByteCount(BitCount_);
  for (int32_t b = 0; b < bytes; ++b) {
    if (Bits_[b] == skip) continue;
    for (int32_t i = b * 8; i < std::min(BitCount_, b * 8 + 8); ++i) {
      if (IsBitSet(i, Bits_) == value) return i;
    }
  }
  return -1;
}

void TTarnexBitsArray::SaveToStream(TTarnexStream& stream) const {
  uint8_t word[4];
  PutInt32(word, BitCount_);
  WriteExact(word, 4, stream, 10398);
  PutInt32(word, SetCount_);
  WriteExact(word, 4, stream, 10427);
  if (BitCount_ > 0) {
    if (!Bits_) throw ETarnexException(10399, "Nil pointer occured");
    WriteExact(Bits_, ByteCount(BitCount_), stream, 10400);
  }
}

void TTarnexBitsArray::LoadFromStream(TTarnexStream& stream) {
  uint8_t word[4];
  const int64_t countPosition = stream.Position();
  ReadExact(word, 4, stream, 10401);
  const int32_t bitCount = GetInt32(word);
  if (bitCount < 0) {
    // A negative count cannot come from SaveToStream: the form is unreadable.
    throw ETarnexException(10401,
                           "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
                           {countPosition, stream.Size(), 4, 0});
  }
  ReadExact(word, 4, stream, 10426);  // the stored count of 1 bits; recounted from the bits below
  const int32_t bytes = ByteCount(bitCount);
  uint8_t* bits = nullptr;
  if (bytes > 0) {
    const int64_t position = stream.Position();
    const int64_t available = std::max<int64_t>(stream.Size() - position, 0);
    if (available < bytes) {
      throw ETarnexException(10402,
                             "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
                             {position, stream.Size(), bytes, available});
    }
    bits = static_cast<uint8_t*>(MemoryManager().GetMem(bytes));
    try {
      ReadExact(bits, bytes, stream, 10402);
    } catch (...) {
      MemoryManager().FreeAndNillMem(bits);
      throw;
    }
    if (bitCount % 8) bits[bytes - 1] = static_cast<uint8_t>(bits[bytes - 1] & ((1u << (bitCount % 8)) - 1));
  }
  if (Bits_) MemoryManager().FreeAndNillMem(Bits_);
  Bits_ = bits;
  BitCount_ = bitCount;
  SetCount_ = bits ? CountBits(bits, bitCount) : 0;
}

// ---------------------------------------------------------------------------------------------
// TTarnexScanSearchConditionArray

TTarnexScanSearchConditionArray::~TTarnexScanSearchConditionArray() = default;

TTarnexScanSearchCondition& TTarnexScanSearchConditionArray::Item(int32_t index) const {
  if (index < 0 || index >= Count() || !Items_[static_cast<size_t>(index)]) throw ERangeError();
  return *Items_[static_cast<size_t>(index)];
}

void TTarnexScanSearchConditionArray::AddExpression(TTarnexExpression* expression) {
  auto condition = std::make_unique<TTarnexScanSearchCondition>();
  condition->Expression = expression;
  Items_.push_back(std::move(condition));
}

void TTarnexScanSearchConditionArray::AddCondition(const TTarnexScanSearchCondition& condition) {
  if (!condition.Expression && condition.IndexID < 0) {
    throw ETarnexException(10388, "Invalid scan condition - indexID = %d, count = %d",
                           {condition.IndexID, condition.KeyFieldCount});
  }
  Items_.push_back(std::make_unique<TTarnexScanSearchCondition>(condition));
}

void TTarnexScanSearchConditionArray::Delete(int32_t index) {
  if (index < 0 || index >= Count()) {
    throw ETarnexException(10413, "Invalid item number - ItemNo = %d, ItemCount = %d", {index, Count()});
  }
  if (!Items_[static_cast<size_t>(index)]) throw ETarnexException(10414, "Nil pointer occured");
  Items_.erase(Items_.begin() + index);
}

void TTarnexScanSearchConditionArray::Clear() { Items_.clear(); }

void TTarnexScanSearchConditionArray::ExtractIndexConditions(const TTarnexIndexDefs& indexDefs,
                                                             TTarnexIndexConditionUndoList& undo) {
  // Only the conditions present now: the key conditions appended below carry no expression.
  const int32_t count = Count();
  for (int32_t i = 0; i < count; ++i) {
    TTarnexExpression* expression = Items_[static_cast<size_t>(i)] ? Items_[static_cast<size_t>(i)]->Expression : nullptr;
    if (expression != nullptr) expression->ExtractIndexConditions(indexDefs, *this, undo);
  }
}

void TTarnexScanSearchConditionArray::RestoreExpressions(TTarnexIndexConditionUndoList& undo) {
  for (const auto& entry : undo) {
    if (!entry.Expression) throw ETarnexException(20060, "Pointer is nil");
    if (!entry.Comparison) throw ETarnexException(20061, "Pointer is nil");
    if (!entry.Moved) throw ETarnexException(20062, "Pointer is nil");
  }
  // Latest move first, so every comparison goes back to the place it left.
  for (auto entry = undo.rbegin(); entry != undo.rend(); ++entry) entry->Expression->RestoreComparison(entry->Comparison);
  undo.clear();
}

// ---------------------------------------------------------------------------------------------

std::string MakeUniqueName(const std::string& name) {
  static std::mutex lock;
  static std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int32_t> draw(0, 2147483646);
  int32_t n;
  {
    std::lock_guard<std::mutex> guard(lock);
    n = draw(generator);
  }
  return name + IntToStr(n);
}
