#include "engine/access/TarnexTypes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "engine/access/TarnexCompression.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "TarnexTestSupport.h"

namespace {

TTarnexRecordID Id(int32_t page, uint16_t item = 0) {
  TTarnexRecordID r;
  r.PageNo = page;
  r.PageItemNo = item;
  return r;
}

std::vector<TTarnexRecordID> Items(const TTarnexRecordIDArray& a) {
  std::vector<TTarnexRecordID> out;
  for (int32_t i = 0; i < a.Count(); ++i) out.push_back(a.Item(i));
  return out;
}

}  // namespace

// ------------------------------------------------------------------------------ growth policy

TEST(TarnexGrowthPolicy, StepsDoubleUpToTheCap) {
  struct Case { int32_t maxStep; int32_t step; std::vector<int32_t> capacities; };
  // Capacity after each growth while appending one item at a time up to 100 items.
  for (const Case& c : {Case{1000, 10, {20, 60, 140}}, Case{30, 10, {20, 50, 80, 110}}, Case{5, 10, {5, 10, 15}}}) {
    TTarnexRecordIDArray a(0, c.maxStep, c.step);
    EXPECT_EQ(a.Capacity(), 0);
    std::vector<int32_t> seen;
    for (int32_t i = 0; i < 100; ++i) {
      int32_t before = a.Capacity();
      a.Add(Id(i));
      if (a.Capacity() != before) seen.push_back(a.Capacity());
    }
    seen.resize(std::min(seen.size(), c.capacities.size()));
    EXPECT_EQ(seen, c.capacities) << c.maxStep;
  }
  // The documented case: 25 items give capacity 20, then 60, with steps 20 and 40.
  TTarnexRecordIDArray a(0, 1000, 10);
  for (int32_t i = 0; i < 25; ++i) a.Add(Id(i));
  EXPECT_EQ(a.Capacity(), 60);
  EXPECT_EQ(a.GrowStep(), 40);
  // A jump beyond capacity + step takes exactly what is needed.
  a.SetCount(500);
  EXPECT_EQ(a.Capacity(), 500);
  EXPECT_EQ(a.GrowStep(), 80);
}

TEST(TarnexGrowthPolicy, ShrinksOnlyWhenTheSurplusExceedsTheStep) {
  TTarnexIntegerArray a(0, 100, 10);
  for (int32_t i = 0; i < 25; ++i) a.Add(i * 3);
  ASSERT_EQ(a.Capacity(), 60);
  a.SetCount(5);  // surplus 55 > step 10: cut, step doubles
  EXPECT_EQ(a.Capacity(), 5);
  EXPECT_EQ(a.ShrinkStep(), 20);
  a.SetCount(3);  // surplus 2 < step 20: kept
  EXPECT_EQ(a.Capacity(), 5);
  EXPECT_EQ(a.Count(), 3);
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(a.Item(i), i * 3);
  a.SetCount(5);  // items joining again are zero, not what was there before
  EXPECT_EQ(a.Item(3), 0);
  EXPECT_EQ(a.Item(4), 0);
  a.SetCount(0);
  EXPECT_EQ(a.Capacity(), 0);
  EXPECT_THROW(a.Item(0), ERangeError);
  TTarnexIntegerArray b(4, 100, 10);
  EXPECT_EQ(b.Count(), 4);
  EXPECT_EQ(b.Capacity(), 20);  // the first growth already doubles the step
}

TEST(TarnexIntegerArray, AddAndContains) {
  TTarnexIntegerArray a(0, 100, 10);
  for (int32_t v : {7, -3, 2147483647}) {
    int32_t index = a.Add(v);
    EXPECT_EQ(index, a.Count() - 1);
    EXPECT_EQ(a.Item(index), v);
  }
  for (int32_t v : {7, -3, 2147483647}) EXPECT_TRUE(a.Contains(v));
  EXPECT_FALSE(a.Contains(0));
  a.SetItem(1, 0);
  EXPECT_TRUE(a.Contains(0));
}

// ------------------------------------------------------------------------------ record-ID arrays

TEST(TarnexRecordIDArray, AddInsertDelete) {
  TTarnexRecordIDArray a(0, 1000, 10);
  a.Add(Id(1));
  a.Add(Id(3));
  a.Insert(1, Id(2));
  a.Insert(0, Id(0));
  a.Insert(4, Id(4));   // at the end: appends
  a.Insert(99, Id(5));  // beyond: appends
  std::vector<int32_t> pages;
  for (const auto& r : Items(a)) pages.push_back(r.PageNo);
  EXPECT_EQ(pages, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
  a.Delete(0);
  a.Delete(4);
  a.Delete(1);
  pages.clear();
  for (const auto& r : Items(a)) pages.push_back(r.PageNo);
  EXPECT_EQ(pages, (std::vector<int32_t>{1, 3, 4}));
  EXPECT_THROW(a.Delete(3), ERangeError);
  EXPECT_TRUE(a.Sorted());  // Add, Insert and Delete leave the flag alone
}

TEST(TarnexRecordIDArray, CompareByTableKind) {
  enum Mode { Plain, Slots, Ordinals };
  struct Case { Mode mode; TTarnexRecordID a, b; int32_t expected; };
  const Case cases[] = {
      {Plain, Id(1, 5), Id(2, 0), -1}, {Plain, Id(2, 0), Id(2, 1), -1}, {Plain, Id(2, 1), Id(2, 1), 0},
      {Plain, Id(-1, 0), Id(0, 0), -1},
      {Slots, Id(2, 9), Id(2, 1), 0},  {Slots, Id(3, 0), Id(2, 9), 1},
      {Ordinals, Id(9, 0), Id(1, 1), -1}, {Ordinals, Id(1, 1), Id(2, 1), -1},
      {Ordinals, Id(-1, 0), Id(1, 0), 1},  // the low part of an ordinal is unsigned
  };
  for (const Case& c : cases) {
    TTarnexRecordIDArray a(0, 100, 10);
    a.SetSlotIDs(c.mode == Slots);
    a.SetOrdinalIDs(c.mode == Ordinals);
    EXPECT_EQ(a.Compare(c.a, c.b), c.expected) << c.mode << " " << c.a.PageNo << "/" << c.a.PageItemNo;
    EXPECT_EQ(a.Compare(c.b, c.a), -c.expected);
  }
}

TEST(TarnexRecordIDArray, FindIsLinearUnlessSortedAndLargerThanTen) {
  for (int32_t n : {10, 11, 40}) {
    TTarnexRecordIDArray a(0, 1000, 10);
    for (int32_t i = n; i > 0; --i) a.Add(Id(i * 2));  // descending
    // Sorted is still true after creation: only ten items or fewer are searched linearly.
    int32_t found = 0;
    for (int32_t i = 1; i <= n; ++i) found += a.Find(Id(i * 2)) >= 0;
    if (n <= 10) {
      EXPECT_EQ(found, n);
    } else {
      EXPECT_LT(found, n);  // a binary search over unsorted items misses some
    }
    a.SetSorted(false);
    for (int32_t i = 1; i <= n; ++i) EXPECT_EQ(a.Find(Id(i * 2)), n - i);
    a.Sort();
    EXPECT_TRUE(a.Sorted());
    for (int32_t i = 1; i <= n; ++i) EXPECT_EQ(a.Find(Id(i * 2)), i - 1);
    EXPECT_EQ(a.Find(Id(3)), -1);
    EXPECT_EQ(a.Find(Id(n * 2 + 2)), -1);
    EXPECT_EQ(a.Find(Id(0)), -1);
  }
  // The linear search matches both parts; the binary one uses the table's comparison.
  TTarnexRecordIDArray slots(0, 100, 10);
  slots.SetSlotIDs(true);
  for (int32_t i = 0; i < 5; ++i) slots.Add(Id(i, 1));
  EXPECT_EQ(slots.Find(Id(3, 0)), -1);
  for (int32_t i = 5; i < 20; ++i) slots.Add(Id(i, 1));
  EXPECT_EQ(slots.Find(Id(3, 0)), 3);
}

TEST(TarnexRecordIDArray, SortOrdersByTheComparison) {
  std::mt19937 g(5);
  for (int mode = 0; mode < 3; ++mode) {
    for (int32_t n : {0, 1, 2, 3, 1000}) {
      TTarnexRecordIDArray a(0, 1000, 10);
      a.SetSlotIDs(mode == 1);
      a.SetOrdinalIDs(mode == 2);
      std::multiset<uint64_t> input;
      for (int32_t i = 0; i < n; ++i) {
        TTarnexRecordID r = Id(static_cast<int32_t>(g() % 50) - 10, static_cast<uint16_t>(g() % 4));
        a.Add(r);
        input.insert(r.AsNumber());
      }
      a.SetSorted(false);
      a.Sort();
      EXPECT_TRUE(a.Sorted());
      std::multiset<uint64_t> output;
      for (int32_t i = 0; i < a.Count(); ++i) {
        output.insert(a.Item(i).AsNumber());
        if (i > 0) {
          EXPECT_LE(a.Compare(a.Item(i - 1), a.Item(i)), 0) << mode << " at " << i;
        }
      }
      EXPECT_EQ(output, input);
    }
  }
  // Already ordered and reversed inputs of some size sort without trouble.
  TTarnexRecordIDArray big(0, 100000, 1000);
  for (int32_t i = 200000; i > 0; --i) big.Add(Id(i));
  big.Sort();
  EXPECT_EQ(big.Item(0).PageNo, 1);
  EXPECT_EQ(big.Item(199999).PageNo, 200000);
  big.Sort();
  EXPECT_EQ(big.Find(Id(123456)), 123455);
}

// ------------------------------------------------------------------------------ bit arrays

TEST(TarnexBitsArray, RunningCountAndBounds) {
  TTarnexBitsArray b;
  b.SetBitCount(13);
  EXPECT_EQ(b.SetCount(), 0);
  EXPECT_EQ(b.FindFirst(true), -1);
  EXPECT_EQ(b.FindFirst(false), 0);
  for (int32_t i : {0, 3, 8, 12}) b.SetBit(i, true);
  EXPECT_EQ(b.SetCount(), 4);
  b.SetBit(3, true);  // unchanged value: count unchanged
  EXPECT_EQ(b.SetCount(), 4);
  b.SetBit(3, false);
  b.SetBit(5, false);
  EXPECT_EQ(b.SetCount(), 3);
  EXPECT_EQ(b.CountSetBits(), 3);
  EXPECT_EQ(b.Bits()[0], 0x01);  // bit i is bit i mod 8 of byte i div 8
  EXPECT_EQ(b.Bits()[1], 0x11);
  EXPECT_TRUE(b.GetBit(12));
  EXPECT_FALSE(b.GetBit(11));
  EXPECT_EQ(b.FindFirst(true), 0);
  b.SetBit(0, false);
  EXPECT_EQ(b.FindFirst(true), 8);
  EXPECT_EQ(MessageOf([&] { b.GetBit(13); }), "Invalid bit no = 13, number of bits = 13 - Native error: 10394");
  EXPECT_EQ(MessageOf([&] { b.SetBit(13, true); }), "Invalid bit no = 13, number of bits = 13 - Native error: 10395");
  EXPECT_EQ(CodeOf([&] { b.GetBit(-1); }), 10394);
  // Shrinking recounts; bits cut off do not come back when growing again.
  b.SetBitCount(10);
  EXPECT_EQ(b.SetCount(), 1);
  b.SetBitCount(16);
  EXPECT_FALSE(b.GetBit(12));
  EXPECT_EQ(b.CountSetBits(), 1);
  for (int32_t i = 0; i < 16; ++i) b.SetBit(i, true);
  EXPECT_EQ(b.FindFirst(false), -1);
  b.SetBitCount(0);
  EXPECT_EQ(b.SetCount(), 0);
  EXPECT_EQ(b.Bits(), nullptr);
}

TEST(TarnexBitsArray, StreamForm) {
  TTarnexBitsArray b;
  b.SetBitCount(13);
  b.SetBit(1, true);
  b.SetBit(12, true);
  TTarnexMemoryStream s;
  b.SaveToStream(s);
  ASSERT_EQ(s.Size(), 10);  // two counts, then 2 data bytes
  const uint8_t expected[10] = {13, 0, 0, 0, 2, 0, 0, 0, 0x02, 0x10};
  EXPECT_EQ(std::vector<uint8_t>(s.Memory(), s.Memory() + 10), std::vector<uint8_t>(expected, expected + 10));
  s.SetPosition(0);
  TTarnexBitsArray c;
  c.LoadFromStream(s);
  EXPECT_EQ(c.BitCount(), 13);
  EXPECT_EQ(c.SetCount(), 2);
  EXPECT_TRUE(c.GetBit(12));
  EXPECT_TRUE(c.GetBit(1));
  // Empty array: counts only.
  TTarnexBitsArray empty;
  TTarnexMemoryStream e;
  empty.SaveToStream(e);
  EXPECT_EQ(e.Size(), 8);
  // A short stream fails at the part that is missing and leaves the array as it was.
  struct Case { int32_t size; int32_t code; };
  for (Case k : {Case{0, 10401}, Case{6, 10426}, Case{9, 10402}}) {
    TTarnexMemoryStream t;
    t.Write(s.Memory(), k.size);
    t.SetPosition(0);
    EXPECT_EQ(CodeOf([&] { c.LoadFromStream(t); }), k.code) << k.size;
    EXPECT_EQ(c.BitCount(), 13);
    EXPECT_EQ(c.SetCount(), 2);
  }
  // A stored count of 1 bits that disagrees with the bits is recounted.
  TTarnexMemoryStream w;
  w.Write(expected, 10);
  w.Memory()[4] = 7;
  w.SetPosition(0);
  c.LoadFromStream(w);
  EXPECT_EQ(c.SetCount(), 2);
  // Write failures carry their codes.
  TTarnexMemoryStream full;
  full.SetPosition(TTarnexMemoryManager::MaxBlockSize);  // every write is refused there
  EXPECT_EQ(CodeOf([&] { b.SaveToStream(full); }), 10398);
}

TEST(TarnexBits, IsBitSetAndSetBitValue) {
  uint8_t buf[3] = {0, 0, 0};
  for (int32_t bit : {0, 7, 9, 23}) SetBitValue(true, bit, buf);
  EXPECT_EQ(buf[0], 0x81);
  EXPECT_EQ(buf[1], 0x02);
  EXPECT_EQ(buf[2], 0x80);
  for (int32_t bit = 0; bit < 24; ++bit) EXPECT_EQ(IsBitSet(bit, buf), bit == 0 || bit == 7 || bit == 9 || bit == 23);
  SetBitValue(false, 7, buf);
  EXPECT_EQ(buf[0], 0x01);
}

// ------------------------------------------------------------------------------ search conditions

TEST(TarnexScanSearchConditionArray, AddDeleteAndRefusals) {
  TTarnexScanSearchConditionArray a;
  auto* expr = reinterpret_cast<TTarnexExpression*>(&a);  // identity only; never dereferenced
  a.AddExpression(expr);
  const TTarnexScanSearchCondition& e = a.Item(0);
  EXPECT_EQ(e.Relation, TTarnexScanRelation::None);
  EXPECT_EQ(e.KeyBuffer, nullptr);
  EXPECT_EQ(e.KeyFieldCount, 0);
  EXPECT_EQ(e.IndexID, -1);
  EXPECT_EQ(e.Expression, expr);

  uint8_t key[8] = {};
  TTarnexScanSearchCondition k;
  k.Relation = TTarnexScanRelation::GreaterOrEqual;
  k.KeyBuffer = key;
  k.KeyFieldCount = 1;
  k.IndexID = 7;
  a.AddCondition(k);
  k.IndexID = 8;  // a copy was kept
  EXPECT_EQ(a.Item(1).IndexID, 7);
  EXPECT_EQ(a.Item(1).KeyBuffer, key);

  TTarnexScanSearchCondition none;
  none.KeyFieldCount = 2;
  EXPECT_EQ(MessageOf([&] { a.AddCondition(none); }),
            "Invalid scan condition - indexID = -1, count = 2 - Native error: 10388");
  EXPECT_EQ(a.Count(), 2);
  for (int32_t bad : {-1, 2}) {
    EXPECT_EQ(MessageOf([&] { a.Delete(bad); }),
              "Invalid item number - ItemNo = " + std::to_string(bad) + ", ItemCount = 2 - Native error: 10413");
  }
  a.Delete(0);
  EXPECT_EQ(a.Count(), 1);
  EXPECT_EQ(a.Item(0).IndexID, 7);
  a.Clear();
  EXPECT_EQ(a.Count(), 0);
}

TEST(TarnexScanSearchConditionArray, KeyConditionsAloneMoveNothingAndBadUndoEntriesAreRefused) {
  TTarnexScanSearchConditionArray a;
  // Without expression conditions the definitions are never read; any object stands in.
  const auto& defs = *reinterpret_cast<const TTarnexIndexDefs*>(&a);
  TTarnexIndexConditionUndoList undo;
  TTarnexScanSearchCondition k;
  k.IndexID = 3;
  a.AddCondition(k);
  a.ExtractIndexConditions(defs, undo);  // key conditions only: nothing to move
  EXPECT_TRUE(undo.empty());
  EXPECT_EQ(a.Count(), 1);
  a.RestoreExpressions(undo);

  // Entries are checked before any is put back, so the stand-in pointers are never followed.
  auto* expr = reinterpret_cast<TTarnexExpression*>(&a);
  auto* node = reinterpret_cast<TTarnexExprNode*>(&k);
  struct Case { TTarnexIndexConditionUndoEntry entry; int32_t code; };
  for (const Case& c : {Case{{true, node, nullptr}, 20060}, Case{{true, nullptr, expr}, 20061},
                        Case{{false, node, expr}, 20062}}) {
    TTarnexIndexConditionUndoList list{c.entry};
    EXPECT_EQ(CodeOf([&] { a.RestoreExpressions(list); }), c.code);
  }
}

TEST(TarnexMakeUniqueName, PrefixAndNumber) {
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    std::string name = MakeUniqueName("TEMPORARY_TABLE_");
    ASSERT_EQ(name.rfind("TEMPORARY_TABLE_", 0), 0u);
    std::string digits = name.substr(16);
    ASSERT_FALSE(digits.empty());
    EXPECT_TRUE(std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; }));
    EXPECT_LE(std::stoll(digits), 2147483646);
    names.insert(name);
  }
  EXPECT_GT(names.size(), 15u);
}
