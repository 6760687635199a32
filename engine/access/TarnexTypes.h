// The engine's small growable containers and its search conditions: record-ID arrays (the
// record sets), bit arrays with a running count of set bits (free-page and deleted-record
// maps), 32-bit integer lists, and the scan search conditions that tie filters to indexes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/TarnexConst.h"

class TTarnexStream;
class TTarnexExpression;  // a parsed condition (expression layer)
class TTarnexExprNode;    // one node of it
class TTarnexIndexDefs;   // a table's index definitions

// ---------------------------------------------------------------------------------------------
// Growth policy of the record-ID and integer arrays. Created with (initial count, maximum
// step, step): GrowStep = ShrinkStep = step, Capacity 0, then SetCount(initial count).
// SetCount(n):
//   n = 0          Count and Capacity 0, storage freed;
//   n > Capacity   GrowStep doubles (at most MaxStep); Capacity += GrowStep when that covers n,
//                  else Capacity = n;
//   n < Count      when ShrinkStep < Capacity - n: ShrinkStep doubles (at most MaxStep) and the
//                  storage is cut to n items; otherwise it is kept.
// Items that become part of the array (growing) are zero.
class TTarnexGrowableArray {
public:
  TTarnexGrowableArray(const TTarnexGrowableArray&) = delete;
  TTarnexGrowableArray& operator=(const TTarnexGrowableArray&) = delete;

  int32_t Count() const { return Count_; }
  void SetCount(int32_t n);  // ERangeError for n < 0
  int32_t Capacity() const { return Capacity_; }
  int32_t GrowStep() const { return GrowStep_; }
  int32_t ShrinkStep() const { return ShrinkStep_; }
  int32_t MaxStep() const { return MaxStep_; }

protected:
  TTarnexGrowableArray(int32_t itemSize, int32_t initialCount, int32_t maxStep, int32_t step);
  ~TTarnexGrowableArray();
  uint8_t* ItemAddress(int32_t index) const;  // ERangeError outside 0..Count-1
  uint8_t* Storage() const { return Items_; }
  int32_t ItemSize() const { return ItemSize_; }

private:
  void Resize(int32_t capacity);

  uint8_t* Items_ = nullptr;  // owned memory-manager block of Capacity_ items, or nullptr
  int32_t ItemSize_;          // bytes per item
  int32_t Count_ = 0;
  int32_t Capacity_ = 0;
  int32_t GrowStep_;
  int32_t ShrinkStep_;
  int32_t MaxStep_;
};

// A record set: 6-byte RecordIDs (PageNo, PageItemNo) with the comparison of its table kind.
class TTarnexRecordIDArray : public TTarnexGrowableArray {
public:
  TTarnexRecordIDArray(int32_t initialCount, int32_t maxStep, int32_t step);

  TTarnexRecordID Item(int32_t index) const;             // ERangeError outside 0..Count-1
  void SetItem(int32_t index, const TTarnexRecordID& id);
  int32_t Add(const TTarnexRecordID& id);                 // appends; returns the new index
  void Insert(int32_t index, const TTarnexRecordID& id);  // before index; appends at index >= Count
  void Delete(int32_t index);                             // shifts the later items down
  // -1, 0 or +1: SlotIDs compares PageNo only; OrdinalIDs PageItemNo, then PageNo (as the
  // unsigned low part of the ordinal); otherwise PageNo, then PageItemNo.
  int32_t Compare(const TTarnexRecordID& a, const TTarnexRecordID& b) const;
  // Index of an equal item or -1: binary search by Compare when Sorted and Count > 10,
  // otherwise a linear search matching both parts exactly.
  int32_t Find(const TTarnexRecordID& id) const;
  // Quicksort by Compare (middle pivot, Hoare partitioning), then Sorted = true. 11329 when
  // a partition would cover its whole range again (an inconsistent comparison).
  void Sort();

  bool Sorted() const { return Sorted_; }  // true after creation and after Sort; Add etc. keep it
  void SetSorted(bool sorted) { Sorted_ = sorted; }
  bool SlotIDs() const { return SlotIDs_; }  // memory tables
  void SetSlotIDs(bool value) { SlotIDs_ = value; }
  bool OrdinalIDs() const { return OrdinalIDs_; }  // temporary tables
  void SetOrdinalIDs(bool value) { OrdinalIDs_ = value; }

private:
  void QuickSort(int32_t lo, int32_t hi);

  bool Sorted_ = true;
  bool SlotIDs_ = false;
  bool OrdinalIDs_ = false;
};

// 32-bit integers with the same growth policy (page managers use (0, 100, 10)).
class TTarnexIntegerArray : public TTarnexGrowableArray {
public:
  TTarnexIntegerArray(int32_t initialCount, int32_t maxStep, int32_t step);

  int32_t Item(int32_t index) const;  // ERangeError outside 0..Count-1
  void SetItem(int32_t index, int32_t value);
  int32_t Add(int32_t value);         // appends; returns the new index
  bool Contains(int32_t value) const; // linear search
};

// Bits numbered from 0: bit i is bit (i mod 8), least significant first, of byte i div 8.
// SetCount is the number of 1 bits, kept up to date.
class TTarnexBitsArray {
public:
  TTarnexBitsArray() = default;
  ~TTarnexBitsArray();
  TTarnexBitsArray(const TTarnexBitsArray&) = delete;
  TTarnexBitsArray& operator=(const TTarnexBitsArray&) = delete;

  int32_t BitCount() const { return BitCount_; }
  // Resizes to ceil(n/8) bytes; new bits are 0; 0 frees the bits. ERangeError for n < 0.
  void SetBitCount(int32_t n);
  int32_t SetCount() const { return SetCount_; }
  const uint8_t* Bits() const { return Bits_; }

  bool GetBit(int32_t index) const;            // 10394 "Invalid bit no = %d, number of bits = %d"
  void SetBit(int32_t index, bool value);      // 10395, same message
  int32_t CountSetBits() const;                // counts the 1 bits
  int32_t FindFirst(bool value) const;         // first bit equal to value, or -1
  // BitCount (4 bytes), SetCount (4 bytes), then the ceil(BitCount/8) bytes when BitCount > 0.
  // Write codes 10398, 10427, 10400; 10399 "Nil pointer occured" when the bits are missing.
  void SaveToStream(TTarnexStream& stream) const;
  // Reads the same form (codes 10401, 10426, 10402), checking the stream holds the bytes
  // before sizing the array; SetCount is recounted from the bits read. A failed load leaves
  // the array as it was.
  void LoadFromStream(TTarnexStream& stream);

private:
  uint8_t* Bits_ = nullptr;  // owned memory-manager block of ceil(BitCount_/8) bytes, or nullptr
  int32_t BitCount_ = 0;
  int32_t SetCount_ = 0;
};

// Bit n of a byte array (record-buffer null flags, key markers), same numbering as above.
bool IsBitSet(int32_t bitNo, const void* buffer);
void SetBitValue(bool value, int32_t bitNo, void* buffer);

// ---------------------------------------------------------------------------------------------
// Search conditions.

// Relation of a key condition, in the index's own key order.
enum class TTarnexScanRelation : uint8_t {
  None = 0, Equal = 1, Less = 2, Greater = 3, LessOrEqual = 4, GreaterOrEqual = 5,
};

// Either a key condition (IndexID, KeyBuffer, KeyFieldCount, Relation) or an expression
// condition (Expression, IndexID -1) that is evaluated per record.
struct TTarnexScanSearchCondition {
  TTarnexScanRelation Relation = TTarnexScanRelation::None;
  uint8_t* KeyBuffer = nullptr;           // not owned: a record buffer holding the bound's values
  int32_t KeyFieldCount = 0;              // leading key columns the bound constrains
  TTarnexObjectID IndexID = InvalidObjectID;  // object ID of the index, -1 when none
  TTarnexExpression* Expression = nullptr;    // not owned: the condition no index can serve
};

// One comparison moved out of an expression into a key condition, so it can be put back.
struct TTarnexIndexConditionUndoEntry {
  bool Moved = false;                      // the comparison was taken out of its expression
  TTarnexExprNode* Comparison = nullptr;   // the comparison node (kept by the expression layer)
  TTarnexExpression* Expression = nullptr; // the expression it came from (not owned)
};
using TTarnexIndexConditionUndoList = std::vector<TTarnexIndexConditionUndoEntry>;

class TTarnexScanSearchConditionArray {
public:
  TTarnexScanSearchConditionArray() = default;
  ~TTarnexScanSearchConditionArray();
  TTarnexScanSearchConditionArray(const TTarnexScanSearchConditionArray&) = delete;
  TTarnexScanSearchConditionArray& operator=(const TTarnexScanSearchConditionArray&) = delete;

  int32_t Count() const { return static_cast<int32_t>(Items_.size()); }
  TTarnexScanSearchCondition& Item(int32_t index) const;  // ERangeError outside 0..Count-1

  // Appends a condition with Relation None, no buffer, KeyFieldCount 0, IndexID -1 and expression.
  void AddExpression(TTarnexExpression* expression);
  // Appends a copy; a condition with neither an expression nor an index (IndexID < 0) raises
  // 10388 "Invalid scan condition - indexID = %d, count = %d" (IndexID, KeyFieldCount).
  void AddCondition(const TTarnexScanSearchCondition& condition);
  // Frees and removes one condition: 10413 "Invalid item number - ItemNo = %d, ItemCount = %d"
  // outside 0..Count-1, 10414 "Nil pointer occured" for an empty slot.
  void Delete(int32_t index);
  void Clear();

  // Moves the comparisons of every expression condition that an index can serve into new key
  // conditions (the expression layer decides which can move), recording each in `undo`.
  void ExtractIndexConditions(const TTarnexIndexDefs& indexDefs, TTarnexIndexConditionUndoList& undo);
  // Puts every recorded comparison back, latest move first, and empties `undo`. Every entry is
  // checked first: one without expression, comparison or moved flag raises 20060, 20061 or
  // 20062 "Pointer is nil" and nothing is put back.
  void RestoreExpressions(TTarnexIndexConditionUndoList& undo);

private:
  std::vector<std::unique_ptr<TTarnexScanSearchCondition>> Items_;  // owned conditions
};

// name followed by the decimal text of a random number from 0 to 2147483646.
std::string MakeUniqueName(const std::string& name);
