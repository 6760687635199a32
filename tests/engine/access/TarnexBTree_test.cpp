// The B-tree index over a small in-test record store and a memory page manager: key layout,
// page layout and splits, equal keys, null and case ordering, navigation, record numbers,
// ranges and estimates, key updates, integrity checks, and randomized runs against a model.
#include "engine/access/TarnexBTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexPage.h"
#include "platform/rtl/Collation.h"

namespace {

using FT = TTarnexFieldType;
using Rel = TTarnexScanRelation;
constexpr int32_t Session = 1;

template <class F> void ExpectEngineError(F body, int32_t code, const std::string& text) {
  try {
    body();
    ADD_FAILURE() << "no exception, expected " << code;
  } catch (const ETarnexException& e) {
    EXPECT_EQ(e.NativeErrorCode(), code);
    EXPECT_EQ(std::string(e.what()).substr(0, text.size() + 17), text + " - Native error: ");
  }
}

TTarnexRecordID RID(int32_t slot) {
  TTarnexRecordID id;
  id.PageNo = slot;
  id.PageItemNo = 0;
  return id;
}

// Records by slot number, read in slot order: what a table's record manager gives an index.
class TTestRecordStore : public TTarnexBaseRecordManager {
public:
  explicit TTestRecordStore(int32_t recordSize) : TTarnexBaseRecordManager(recordSize) {}

  void Clear(int32_t) override {
    Records_.clear();
    RecordCount_ = 0;
  }
  bool AddRecord(const uint8_t* buffer, TTarnexRecordID& recordID, int32_t) override {
    recordID = RID(NextSlot_++);
    Records_[recordID.PageNo].assign(buffer, buffer + RecordSize());
    ++RecordCount_;
    return true;
  }
  bool UpdateRecord(uint8_t* buffer, const TTarnexRecordID& recordID, int32_t) override {
    auto it = Records_.find(recordID.PageNo);
    if (it == Records_.end()) return false;
    it->second.assign(buffer, buffer + RecordSize());
    return true;
  }
  bool DeleteRecord(TTarnexRecordID& recordID, int32_t) override {
    if (Records_.erase(recordID.PageNo) == 0) return false;
    --RecordCount_;
    return true;
  }
  bool RecordExists(const TTarnexRecordID& recordID, int32_t) override {
    return Records_.count(recordID.PageNo) != 0;
  }
  void ReadRecord(TNavigationRequest& r) override {
    using D = TNavigationDirection;
    using R = TNavigationResult;
    if (Records_.empty()) {
      r.Result = R::AfterLast;
      return;
    }
    auto it = Records_.end();
    if (r.GoFirst || r.GoLast) {
      if (r.Direction == D::Current) { r.Result = R::NoRecord; return; }
      if (r.GoFirst && r.Direction == D::Prior) { r.Result = R::BeforeFirst; return; }
      if (r.GoLast && r.Direction == D::Next) { r.Result = R::AfterLast; return; }
      it = r.GoFirst ? Records_.begin() : std::prev(Records_.end());
    } else if (r.Direction == D::Current) {
      it = Records_.find(r.RecordID.PageNo);
      if (it == Records_.end()) { r.Result = R::NoRecord; return; }
    } else if (r.Direction == D::Next) {
      it = Records_.upper_bound(r.RecordID.PageNo);
      if (it == Records_.end()) { r.Result = R::AfterLast; return; }
    } else {
      it = Records_.lower_bound(r.RecordID.PageNo);
      if (it == Records_.begin()) { r.Result = R::BeforeFirst; return; }
      --it;
    }
    r.GoFirst = r.GoLast = false;
    r.RecordID = RID(it->first);
    if (r.Buffer != nullptr) std::memcpy(r.Buffer, it->second.data(), it->second.size());
    r.Result = R::Found;
  }
  int64_t ApproxRecNo(const TTarnexRecordID&, int32_t) override { return -1; }

  const std::vector<uint8_t>& Stored(const TTarnexRecordID& id) const { return Records_.at(id.PageNo); }

private:
  std::map<int32_t, std::vector<uint8_t>> Records_;  // slot -> record bytes
  int32_t NextSlot_ = 0;
};

// One field value of a test record.
struct TValue {
  bool IsNull = true;
  int64_t Int = 0;
  std::string Text;
};
TValue Null() { return TValue{}; }
TValue Int(int64_t v) { return TValue{false, v, {}}; }
TValue Text(std::string s) { return TValue{false, 0, std::move(s)}; }

struct TFieldSpec {
  std::string Name;
  FT Type;
  int32_t Size = 0;
};

// A page as the B-tree lays it out.
struct TRawPage {
  bool IsRoot = false;
  bool IsLeaf = false;
  int32_t Prev = 0, Next = 0;
  int32_t KeySize = 0, EntryCount = 0;
  std::vector<uint8_t> Bytes;

  int32_t EntrySize() const { return KeySize + (IsLeaf ? 6 : 10); }
  const uint8_t* Entry(int32_t i) const { return Bytes.data() + 18 + i * EntrySize(); }
  int32_t Child(int32_t i) const {
    int32_t v;
    std::memcpy(&v, Entry(i) + KeySize, 4);
    return v;
  }
};

// Fields, a memory page manager, the record store and one index over them. Every change is
// committed for the session afterwards, as the table does.
class TTestTable {
public:
  // pages: the page manager to keep the tree in (a memory page manager when nil).
  TTestTable(const std::vector<TFieldSpec>& fields, const std::vector<TTarnexIndexColumn>& columns,
             bool unique = false, bool create = true, std::unique_ptr<TTarnexPageManager> pages = nullptr)
      : PagesOwner(pages ? std::move(pages) : std::make_unique<TTarnexMemoryPageManager>()), Pages(*PagesOwner) {
    for (const TFieldSpec& f : fields) {
      auto* field = static_cast<TTarnexFieldDef*>(Fields.AddNew());
      field->Name = f.Name;
      field->SetFieldType(f.Type, f.Size);
    }
    Fields.RecalcLayout();
    Store = std::make_unique<TTestRecordStore>(Fields.RecordSize());
    Def.Name = "IDX";
    Def.Columns = columns;
    Def.Unique = unique;
    Index = std::make_unique<TTarnexBTreeIndex>(nullptr, &Fields, &Pages, Store.get());
    if (create) CreateIndex();
  }
  ~TTestTable() {
    Index->DropIndex(Session);
    Pages.CommitSession(Session);
  }

  void CreateIndex() {
    Index->CreateIndex(Def, &Def, Session);
    Pages.CommitSession(Session);
  }

  std::vector<uint8_t> Record(const std::vector<TValue>& values) const {
    std::vector<uint8_t> r(Fields.RecordSize(), 0);
    for (int32_t i = 0; i < static_cast<int32_t>(values.size()); ++i) {
      const TValue& v = values[i];
      if (v.IsNull) {
        SetFieldData(i, Fields, nullptr, r.data());
        continue;
      }
      switch (Fields.Items(i)->FieldType) {
        case FT::Integer: {
          const int32_t x = static_cast<int32_t>(v.Int);
          SetFieldData(i, Fields, &x, r.data());
          break;
        }
        case FT::SmallInt: {
          const int16_t x = static_cast<int16_t>(v.Int);
          SetFieldData(i, Fields, &x, r.data());
          break;
        }
        default:
          SetFieldData(i, Fields, v.Text.c_str(), r.data());
      }
    }
    return r;
  }

  // Stores a record without touching the index (records that exist before CreateIndex).
  TTarnexRecordID AddStored(const std::vector<TValue>& values) {
    const auto r = Record(values);
    TTarnexRecordID id;
    Store->AddRecord(r.data(), id, Session);
    return id;
  }
  TTarnexRecordID Insert(const std::vector<TValue>& values) {
    const TTarnexRecordID id = AddStored(values);
    Index->InsertKey(Session, Store->Stored(id).data(), id);
    Pages.CommitSession(Session);
    return id;
  }
  void Delete(TTarnexRecordID id) {
    Index->DeleteKey(Session, Store->Stored(id).data(), id);
    Store->DeleteRecord(id, Session);
    Pages.CommitSession(Session);
  }
  void Update(TTarnexRecordID id, const std::vector<TValue>& values) {
    auto r = Record(values);
    Index->UpdateKey(Session, Store->Stored(id).data(), r.data(), id);
    Store->UpdateRecord(r.data(), id, Session);
    Pages.CommitSession(Session);
  }
  const uint8_t* Stored(TTarnexRecordID id) const { return Store->Stored(id).data(); }

  std::vector<int32_t> Walk() {
    std::vector<int32_t> out;
    TTarnexKeyPath path;
    if (!Index->First(Session, path)) return out;
    do out.push_back(Index->PathRecordID(Session, path).PageNo);
    while (Index->Next(Session, path));
    return out;
  }
  std::vector<int32_t> WalkBack() {
    std::vector<int32_t> out;
    TTarnexKeyPath path;
    if (!Index->Last(Session, path)) return out;
    do out.push_back(Index->PathRecordID(Session, path).PageNo);
    while (Index->Prior(Session, path));
    return out;
  }

  TRawPage Page(int32_t pageNo) {
    TTarnexPage* p = Pages.GetPage(Session, pageNo);
    TRawPage raw;
    raw.Bytes.assign(p->Buffer(), p->Buffer() + Pages.PageSize());
    Pages.ReleasePage(*p);
    raw.IsRoot = raw.Bytes[0] != 0;
    raw.IsLeaf = raw.Bytes[1] != 0;
    std::memcpy(&raw.Prev, &raw.Bytes[2], 4);
    std::memcpy(&raw.Next, &raw.Bytes[6], 4);
    uint16_t w;
    std::memcpy(&w, &raw.Bytes[12], 2);
    raw.KeySize = w;
    std::memcpy(&w, &raw.Bytes[14], 2);
    raw.EntryCount = w;
    return raw;
  }
  // Rewrites bytes of a committed page (to damage it on purpose).
  void Patch(int32_t pageNo, int32_t offset, const void* bytes, int32_t size) {
    TTarnexPage* p = Pages.GetPage(Session, pageNo);
    p->MakeBufferPrivate();
    std::memcpy(p->Buffer() + offset, bytes, size);
    p->SetDirty(true);
    Pages.ReleasePage(*p);
    Pages.CommitSession(Session);
  }

  TTarnexScanSearchCondition Condition(Rel relation, const std::vector<uint8_t>& keyRecord, int32_t columns = 1) {
    TTarnexScanSearchCondition c;
    c.Relation = relation;
    c.KeyBuffer = const_cast<uint8_t*>(keyRecord.data());
    c.KeyFieldCount = columns;
    return c;
  }

  TTarnexFieldDefs Fields;
  std::unique_ptr<TTarnexPageManager> PagesOwner;
  TTarnexPageManager& Pages;
  std::unique_ptr<TTestRecordStore> Store;
  TTarnexIndexDef Def;
  std::unique_ptr<TTarnexBTreeIndex> Index;
};

TTarnexIndexColumn Col(const std::string& field, bool descending = false, bool caseInsensitive = false) {
  return TTarnexIndexColumn{field, descending, caseInsensitive};
}

std::vector<int32_t> Slots(const std::vector<TTarnexRecordID>& ids) {
  std::vector<int32_t> out;
  for (const auto& id : ids) out.push_back(id.PageNo);
  return out;
}

class BTreeTest : public ::testing::Test {
protected:
  void SetUp() override { SetCollationLocale("en_US"); }
  void TearDown() override { SetCollationLocale(""); }
};

// ---------------------------------------------------------------------------------------------

TEST_F(BTreeTest, KeyLayoutFollowsTheFields) {
  TTestTable t({{"id", FT::Integer}, {"name", FT::Varchar, 50}, {"n", FT::SmallInt}},
               {Col("NAME"), Col("n", true, false), Col("Id")}, false, false);
  t.Index->OpenIndex(t.Def);
  const TTarnexBTreeKeyRef& k = t.Index->KeyRef();
  ASSERT_EQ(k.ColumnCount(), 3);
  const int32_t fieldNos[] = {1, 2, 0};
  int32_t offset = 0;
  for (int32_t i = 0; i < 3; ++i) {
    const TTarnexFieldDef* f = t.Fields.Items(fieldNos[i]);
    EXPECT_EQ(k.Columns[i].FieldNo, fieldNos[i]);
    EXPECT_EQ(k.Columns[i].KeyOffset, offset);
    EXPECT_EQ(k.Columns[i].RecordOffset, f->MemoryOffset);
    EXPECT_EQ(k.Columns[i].ColumnSize, 1 + f->MemoryDataSize);
    EXPECT_EQ(k.Columns[i].DataType, f->DataType);
    offset += 1 + f->MemoryDataSize;
  }
  EXPECT_TRUE(k.Columns[1].Descending);
  EXPECT_EQ(k.KeySize, offset);
  EXPECT_EQ(k.CompareColumns, 3);
  EXPECT_EQ(k.PositionSize, 6);

  TTarnexIndexDef bad;
  bad.Columns = {Col("nosuch")};
  ExpectEngineError([&] { t.Index->OpenIndex(bad); }, 20043, "Cannot find index field 'nosuch'");
  TTarnexBTreeIndex orphan(nullptr, nullptr, &t.Pages, t.Store.get());
  ExpectEngineError([&] { orphan.OpenIndex(t.Def); }, 20045, "Pointer is nil");
  TTarnexBTreeIndex noRecords(nullptr, &t.Fields, &t.Pages, nullptr);
  ExpectEngineError([&] { noRecords.CreateIndex(t.Def, nullptr, Session); }, 20044, "Pointer is nil");
}

TEST_F(BTreeTest, SeventyEntryLeafSplits35And36) {
  TTestTable t({{"name", FT::Varchar, 50}}, {Col("name")});
  EXPECT_EQ(t.Index->KeyRef().KeySize, 52);
  EXPECT_EQ(t.Index->LeafEntrySize(), 58);
  const int32_t root = t.Def.RootPageNo;
  ASSERT_NE(root, -1);
  std::vector<int> order(71);
  for (int i = 0; i < 71; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::map<int32_t, int> keyOf;
  for (int i = 0; i < 70; ++i) keyOf[t.Insert({Text("k" + std::to_string(100 + order[i]))}).PageNo] = order[i];

  TRawPage page = t.Page(root);
  EXPECT_TRUE(page.IsRoot);
  EXPECT_TRUE(page.IsLeaf);
  EXPECT_EQ(page.KeySize, 52);
  EXPECT_EQ(page.EntryCount, (4096 - 18) / 58);
  EXPECT_EQ(page.Bytes[10], 1);

  keyOf[t.Insert({Text("k" + std::to_string(100 + order[70]))}).PageNo] = order[70];
  EXPECT_EQ(t.Index->RootPageNo(), root);
  page = t.Page(root);
  EXPECT_TRUE(page.IsRoot);
  EXPECT_FALSE(page.IsLeaf);
  ASSERT_EQ(page.EntryCount, 2);
  const std::vector<uint8_t> zeros(52 + 6, 0);
  EXPECT_EQ(std::memcmp(page.Entry(0), zeros.data(), 52), 0);
  const TRawPage left = t.Page(page.Child(0));
  const TRawPage right = t.Page(page.Child(1));
  EXPECT_EQ(left.EntryCount, 35);
  EXPECT_EQ(right.EntryCount, 36);
  EXPECT_TRUE(left.IsLeaf && right.IsLeaf);
  EXPECT_FALSE(left.IsRoot || right.IsRoot);
  EXPECT_EQ(left.Prev, -1);
  EXPECT_EQ(left.Next, page.Child(1));
  EXPECT_EQ(right.Prev, page.Child(0));
  EXPECT_EQ(right.Next, -1);
  // The separator is the right half's first key.
  EXPECT_EQ(std::memcmp(page.Entry(1), right.Entry(0), 52), 0);

  std::vector<int> walked;
  for (int32_t slot : t.Walk()) walked.push_back(keyOf[slot]);
  std::vector<int> sorted(71);
  for (int i = 0; i < 71; ++i) sorted[i] = i;
  EXPECT_EQ(walked, sorted);
  t.Index->CheckIntegrity(Session);
}

TEST_F(BTreeTest, ThousandEqualKeysDeleteExactlyTheirRecord) {
  // A narrow key (two levels) and a wide one (fifteen entries a page, three levels).
  struct Case {
    TFieldSpec field;
    TValue value;
    TValue other;
    unsigned seed;
  };
  const Case cases[] = {{{"v", FT::Integer}, Int(42), Int(0), 1u},
                        {{"v", FT::Varchar, 250}, Text("same"), Text("other"), 2u}};
  for (const Case& c : cases) {
    const unsigned seed = c.seed;
    TTestTable t({c.field}, {Col("v")});
    std::vector<TTarnexRecordID> ids;
    for (int i = 0; i < 1000; ++i) ids.push_back(t.Insert({c.value}));
    EXPECT_FALSE(t.Page(t.Index->RootPageNo()).IsLeaf);
    // Equal keys lie in RecordID order.
    EXPECT_EQ(t.Walk(), Slots(ids));
    std::vector<TTarnexRecordID> left = ids;
    std::shuffle(left.begin(), left.end(), std::mt19937(seed));
    std::vector<TTarnexRecordID> remaining = ids;
    for (size_t n = 0; n < left.size(); ++n) {
      const TTarnexRecordID id = left[n];
      const std::vector<uint8_t> record = t.Store->Stored(id);
      t.Delete(id);
      remaining.erase(std::find(remaining.begin(), remaining.end(), id));
      TTarnexKeyPath path;
      ASSERT_FALSE(t.Index->LocateEntry(Session, id, path, record.data()));
      if (!remaining.empty()) {
        const TTarnexRecordID other = remaining[n % remaining.size()];
        ASSERT_TRUE(t.Index->LocateEntry(Session, other, path, t.Stored(other)));
        EXPECT_EQ(t.Index->PathRecordID(Session, path), other);
      }
      if (n % 97 == 0) {
        ASSERT_EQ(t.Walk(), Slots(remaining));
        t.Index->CheckIntegrity(Session);
      }
    }
    // The grown tree keeps its height: a node root over single children down to one empty leaf.
    TRawPage page = t.Page(t.Index->RootPageNo());
    EXPECT_FALSE(page.IsLeaf);
    int levels = 1;
    while (!page.IsLeaf) {
      ASSERT_EQ(page.EntryCount, 1);
      page = t.Page(page.Child(0));
      ++levels;
    }
    EXPECT_EQ(page.EntryCount, 0);
    EXPECT_GE(levels, c.field.Type == FT::Varchar ? 3 : 2);
    TTarnexKeyPath path;
    EXPECT_FALSE(t.Index->First(Session, path));
    EXPECT_FALSE(t.Index->Last(Session, path));
    TNavigationRequest r;
    r.Direction = TNavigationDirection::Next;
    r.GoFirst = true;
    t.Index->GetRecord(Session, r);
    EXPECT_EQ(r.Result, TNavigationResult::NoRecord);
    // ... and works again.
    const TTarnexRecordID a = t.Insert({c.value});
    const TTarnexRecordID b = t.Insert({c.other});
    EXPECT_EQ(t.Walk(), (std::vector<int32_t>{b.PageNo, a.PageNo}));
    t.Index->CheckIntegrity(Session);
  }
}

TEST_F(BTreeTest, EmptyTreeThatNeverGrewAnswersEndOfFile) {
  TTestTable t({{"v", FT::Integer}}, {Col("v")});
  TNavigationRequest r;
  r.Direction = TNavigationDirection::Next;
  r.GoFirst = true;
  t.Index->GetRecord(Session, r);
  EXPECT_EQ(r.Result, TNavigationResult::AfterLast);
  const TTarnexRecordID id = t.Insert({Int(3)});
  t.Delete(id);
  r.GoFirst = true;
  t.Index->GetRecord(Session, r);
  EXPECT_EQ(r.Result, TNavigationResult::AfterLast);
  EXPECT_TRUE(t.Index->IsEmpty(Session));
}

TEST_F(BTreeTest, NullsSortFirstAscendingAndLastDescending) {
  for (bool descending : {false, true}) {
    TTestTable t({{"v", FT::Integer}}, {Col("v", descending)}, true);
    const std::vector<std::optional<int>> values = {5, std::nullopt, 3, 9, -2};
    std::vector<std::pair<std::optional<int>, int32_t>> model;
    for (const auto& v : values) {
      const TTarnexRecordID id = t.Insert({v ? Int(*v) : Null()});
      model.push_back({v, id.PageNo});
    }
    std::sort(model.begin(), model.end(), [&](const auto& a, const auto& b) {
      // Null below every value, the whole order reversed for a descending column.
      const bool less = !a.first ? b.first.has_value() : (b.first && *a.first < *b.first);
      const bool greater = !b.first ? a.first.has_value() : (a.first && *a.first > *b.first);
      return descending ? greater : less;
    });
    std::vector<int32_t> expected;
    for (const auto& m : model) expected.push_back(m.second);
    EXPECT_EQ(t.Walk(), expected) << descending;
    EXPECT_EQ(t.WalkBack(), std::vector<int32_t>(expected.rbegin(), expected.rend()));
    // Two nulls are equal keys: a unique index has no room for a second one.
    EXPECT_FALSE(t.Index->IsKeyUnique(Session, t.Record({Null()}).data()));
    EXPECT_FALSE(t.Index->IsKeyUnique(Session, t.Record({Int(9)}).data()));
    EXPECT_TRUE(t.Index->IsKeyUnique(Session, t.Record({Int(4)}).data()));
  }
}

TEST_F(BTreeTest, CaseInsensitiveColumnsMakeEqualKeys) {
  struct Case {
    bool caseInsensitive;
    const char* probe;
    bool unique;
  };
  const Case cases[] = {{true, "ABC", false}, {true, "abc", false}, {true, "Abd", true},
                        {false, "ABC", true}, {false, "Abc", false}};
  for (const Case& c : cases) {
    TTestTable t({{"s", FT::Varchar, 20}}, {Col("s", false, c.caseInsensitive)}, true);
    t.Insert({Text("Abc")});
    t.Insert({Text("x")});
    EXPECT_EQ(t.Index->IsKeyUnique(Session, t.Record({Text(c.probe)}).data()), c.unique) << c.probe;
    // A non-unique index never refuses.
    TTarnexIndexDef plain;
    plain.Assign(t.Def);
    plain.Unique = false;
    t.Index->OpenIndex(plain);
    EXPECT_TRUE(t.Index->IsKeyUnique(Session, t.Record({Text(c.probe)}).data()));
  }
}

TEST_F(BTreeTest, RemoveDuplicateKeysKeepsTheFirstOfEachRun) {
  TTestTable t({{"s", FT::Varchar, 20}}, {Col("s", false, true)});
  const std::vector<std::string> texts = {"abc", "XYZ", "ABC", "b", "Abc", "xyz", "B", "q"};
  std::vector<TTarnexRecordID> ids;
  for (const auto& s : texts) ids.push_back(t.Insert({Text(s)}));
  auto lower = [](std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
  };
  // For every member subset: per case-folded text the member with the lowest RecordID stays,
  // in the set's own order.
  const std::vector<std::vector<int>> subsets = {{0, 1, 2, 3, 4, 5, 6, 7}, {7, 4, 2, 5}, {6, 3}, {}};
  for (const auto& subset : subsets) {
    TTarnexRecordIDArray set(0, 1000, 10);
    for (int i : subset) set.Add(ids[i]);
    std::map<std::string, int32_t> firstOf;
    for (int i : subset) {
      auto it = firstOf.find(lower(texts[i]));
      if (it == firstOf.end() || ids[i].PageNo < it->second) firstOf[lower(texts[i])] = ids[i].PageNo;
    }
    std::vector<int32_t> expected;
    for (int i : subset)
      if (firstOf[lower(texts[i])] == ids[i].PageNo) expected.push_back(ids[i].PageNo);
    t.Index->RemoveDuplicateKeys(Session, &set);
    std::vector<int32_t> got;
    for (int32_t i = 0; i < set.Count(); ++i) got.push_back(set.Item(i).PageNo);
    EXPECT_EQ(got, expected);
  }
  ExpectEngineError([&] { t.Index->RemoveDuplicateKeys(Session, nullptr); }, 20076, "Pointer is nil");
}

TEST_F(BTreeTest, NavigationByGetRecord) {
  TTestTable t({{"v", FT::Integer}, {"tag", FT::Varchar, 10}}, {Col("v")});
  std::mt19937 rng(5);
  std::vector<std::pair<int, int32_t>> model;
  for (int i = 0; i < 600; ++i) {
    const int v = static_cast<int>(rng() % 200);
    model.push_back({v, t.Insert({Int(v), Text("t" + std::to_string(i))}).PageNo});
  }
  std::sort(model.begin(), model.end());
  using D = TNavigationDirection;
  using R = TNavigationResult;
  std::vector<uint8_t> buffer(t.Fields.RecordSize());
  TNavigationRequest r;
  r.Buffer = buffer.data();
  r.Direction = D::Prior;
  r.GoFirst = true;
  t.Index->GetRecord(Session, r);
  EXPECT_EQ(r.Result, R::BeforeFirst);
  r.GoFirst = false;
  r.GoLast = true;
  r.Direction = D::Next;
  t.Index->GetRecord(Session, r);
  EXPECT_EQ(r.Result, R::AfterLast);

  std::vector<int32_t> forward, backward;
  r.GoLast = false;
  r.GoFirst = true;
  r.Direction = D::Next;
  for (;;) {
    t.Index->GetRecord(Session, r);
    if (r.Result != R::Found) break;
    EXPECT_FALSE(r.GoFirst || r.GoLast);
    EXPECT_EQ(buffer, t.Store->Stored(r.RecordID));
    forward.push_back(r.RecordID.PageNo);
  }
  EXPECT_EQ(r.Result, R::AfterLast);
  EXPECT_TRUE(r.GoLast);
  r.Direction = D::Prior;
  for (;;) {
    t.Index->GetRecord(Session, r);
    if (r.Result != R::Found) break;
    backward.push_back(r.RecordID.PageNo);
  }
  EXPECT_EQ(r.Result, R::BeforeFirst);
  EXPECT_TRUE(r.GoFirst);
  std::vector<int32_t> expected;
  for (const auto& m : model) expected.push_back(m.second);
  EXPECT_EQ(forward, expected);
  EXPECT_EQ(backward, std::vector<int32_t>(expected.rbegin(), expected.rend()));

  // A record the index does not hold cannot be stepped from.
  r.GoFirst = r.GoLast = false;
  r.Direction = D::Next;
  r.RecordID = RID(99999);
  const auto absent = t.Record({Int(5), Text("x")});
  std::copy(absent.begin(), absent.end(), buffer.begin());
  t.Index->GetRecord(Session, r);
  EXPECT_EQ(r.Result, R::NoRecord);
  r.Direction = D::Current;
  ExpectEngineError([&] { t.Index->GetRecord(Session, r); }, 20053,
                    "Invalid get record mode for index: grmCurrent");
}

TEST_F(BTreeTest, GetRecordStepsThroughAChangingIndex) {
  // Each step lands on the successor of the record it starts from in the index as it is then,
  // whatever was inserted or deleted since the previous step.
  TTestTable t({{"v", FT::Integer}}, {Col("v")});
  std::mt19937 rng(21);
  std::set<std::pair<int, int32_t>> model;
  for (int i = 0; i < 800; ++i) {
    const int v = static_cast<int>(rng() % 100);
    model.insert({v, t.Insert({Int(v)}).PageNo});
  }
  std::vector<uint8_t> buffer(t.Fields.RecordSize());
  for (TNavigationDirection direction : {TNavigationDirection::Next, TNavigationDirection::Prior}) {
    const bool next = direction == TNavigationDirection::Next;
    TNavigationRequest r;
    r.Buffer = buffer.data();
    r.Direction = direction;
    (next ? r.GoFirst : r.GoLast) = true;
    std::optional<std::pair<int, int32_t>> current;
    for (int step = 0; step < 3000; ++step) {
      t.Index->GetRecord(Session, r);
      std::optional<std::pair<int, int32_t>> expected;
      if (!current) expected = next ? *model.begin() : *model.rbegin();
      else if (next) {
        auto it = model.upper_bound(*current);
        if (it != model.end()) expected = *it;
      } else {
        auto it = model.lower_bound(*current);
        if (it != model.begin()) expected = *std::prev(it);
      }
      if (!expected) {
        EXPECT_EQ(r.Result, next ? TNavigationResult::AfterLast : TNavigationResult::BeforeFirst);
        break;
      }
      ASSERT_EQ(r.Result, TNavigationResult::Found);
      ASSERT_EQ(r.RecordID.PageNo, expected->second) << step;
      current = expected;
      if (step % 3 == 0) {
        // Remove some record other than the current one, add another.
        auto it = model.begin();
        std::advance(it, rng() % model.size());
        if (*it != *current) {
          t.Delete(RID(it->second));
          model.erase(it);
        }
        const int v = static_cast<int>(rng() % 100);
        model.insert({v, t.Insert({Int(v)}).PageNo});
      }
    }
    EXPECT_TRUE(current.has_value());
  }
  t.Index->CheckIntegrity(Session);
}

TEST_F(BTreeTest, RecordNumbers) {
  TTestTable t({{"v", FT::Integer}}, {Col("v", true)});
  TTarnexRecordID out;
  ExpectEngineError([&] { t.Index->GetRecordAtRecNo(Session, nullptr, out, 1); }, 20074,
                    "Cannot retreive record from empty index");
  std::mt19937 rng(11);
  std::vector<std::pair<int, int32_t>> model;
  for (int i = 0; i < 700; ++i) {
    const int v = static_cast<int>(rng() % 300);
    model.push_back({-v, t.Insert({Int(v)}).PageNo});
  }
  std::sort(model.begin(), model.end());
  const int64_t n = static_cast<int64_t>(model.size());
  for (int64_t k = 0; k < n; k += 7) {
    const TTarnexRecordID id = RID(model[k].second);
    EXPECT_EQ(t.Index->GetRecNo(Session, id, nullptr, t.Stored(id)), k + 1);
    t.Index->GetRecordAtRecNo(Session, nullptr, out, k + 1);
    EXPECT_EQ(out.PageNo, model[k].second);
  }
  const TTarnexRecordID first = RID(model.front().second);
  EXPECT_EQ(t.Index->GetRecNo(Session, first, nullptr, t.Stored(first)), 1);
  t.Index->GetRecordAtRecNo(Session, nullptr, out, n);
  EXPECT_EQ(out.PageNo, model.back().second);
  ExpectEngineError([&] { t.Index->GetRecordAtRecNo(Session, nullptr, out, n + 1); }, 20075,
                    "Cannot set RecNo greater than RecordCount");
  EXPECT_EQ(t.Index->GetRecNo(Session, RID(5000), nullptr, t.Record({Int(1)}).data()), -1);

  // With a record set only its members count.
  TTarnexRecordIDArray set(0, 1000, 10);
  std::vector<int32_t> members;
  for (int64_t k = 0; k < n; k += 3) members.push_back(model[k].second);
  std::vector<int32_t> shuffled = members;
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  for (int32_t slot : shuffled) set.Add(RID(slot));
  for (size_t m = 0; m < members.size(); m += 5) {
    const TTarnexRecordID id = RID(members[m]);
    EXPECT_EQ(t.Index->GetRecNo(Session, id, &set, t.Stored(id)), static_cast<int64_t>(m) + 1);
    t.Index->GetRecordAtRecNo(Session, &set, out, static_cast<int64_t>(m) + 1);
    EXPECT_EQ(out.PageNo, members[m]);
  }
  ExpectEngineError(
      [&] { t.Index->GetRecordAtRecNo(Session, &set, out, static_cast<int64_t>(members.size()) + 1); }, 20075,
      "Cannot set RecNo greater than RecordCount");
}

// Index on (v) with values 0..199, eight records each, inserted in random order.
class RangeTest : public BTreeTest {
protected:
  void SetUp() override {
    BTreeTest::SetUp();
    Table = std::make_unique<TTestTable>(std::vector<TFieldSpec>{{"v", FT::Integer}},
                                         std::vector<TTarnexIndexColumn>{Col("v")});
    std::vector<int> values;
    for (int v = 0; v < 200; ++v)
      for (int k = 0; k < 8; ++k) values.push_back(v);
    std::shuffle(values.begin(), values.end(), std::mt19937(3));
    for (int v : values) Model.push_back({v, Table->Insert({Int(v)}).PageNo});
    std::sort(Model.begin(), Model.end());
  }
  void TearDown() override {
    Table.reset();
    BTreeTest::TearDown();
  }
  static bool Holds(Rel rel, int v, int key) {
    switch (rel) {
      case Rel::Equal: return v == key;
      case Rel::Less: return v < key;
      case Rel::Greater: return v > key;
      case Rel::LessOrEqual: return v <= key;
      case Rel::GreaterOrEqual: return v >= key;
      default: return true;
    }
  }
  std::unique_ptr<TTestTable> Table;
  std::vector<std::pair<int, int32_t>> Model;  // (value, slot) in index order
};

TEST_F(RangeTest, ScanRangeMatchesTheModel) {
  struct Case {
    Rel startRel;
    int startKey;
    std::optional<Rel> endRel;
    int endKey;
  };
  const Case cases[] = {
      {Rel::GreaterOrEqual, 10, Rel::LessOrEqual, 20}, {Rel::Greater, 10, Rel::Less, 20},
      {Rel::Equal, 33, std::nullopt, 0},               {Rel::GreaterOrEqual, 185, std::nullopt, 0},
      {Rel::GreaterOrEqual, 260, std::nullopt, 0},     {Rel::GreaterOrEqual, 30, Rel::LessOrEqual, 10},
      {Rel::Equal, 999, std::nullopt, 0},              {Rel::GreaterOrEqual, -5, Rel::Less, 0},
      {Rel::GreaterOrEqual, 0, Rel::LessOrEqual, 199}, {Rel::Greater, 198, std::nullopt, 0},
      {Rel::Greater, 60, Rel::LessOrEqual, 140},
  };
  for (const Case& c : cases) {
    for (bool forward : {true, false}) {
      // Forward scans start at the lower bound; backward scans start at the upper one.
      const auto lowRec = Table->Record({Int(c.startKey)});
      const auto highRec = Table->Record({Int(c.endKey)});
      TTarnexScanSearchCondition low = Table->Condition(c.startRel, lowRec);
      TTarnexScanSearchCondition high = Table->Condition(c.endRel.value_or(Rel::None), highRec);
      const TTarnexScanSearchCondition* start = &low;
      const TTarnexScanSearchCondition* end = c.endRel ? &high : nullptr;
      if (!forward && c.endRel) std::swap(start, end);
      std::vector<int32_t> expected;
      for (const auto& m : Model)
        if (Holds(c.startRel, m.first, c.startKey) && (!c.endRel || Holds(*c.endRel, m.first, c.endKey)))
          expected.push_back(m.second);
      if (!forward) std::reverse(expected.begin(), expected.end());

      auto pos = Table->Index->CreateScanPosition();
      std::vector<int32_t> got;
      TTarnexRecordID id;
      bool restart = true;
      while (Table->Index->ScanRange(Session, restart, pos.get(), id, nullptr, end, start, forward)) {
        got.push_back(id.PageNo);
        restart = false;
        ASSERT_LE(got.size(), Model.size());
      }
      EXPECT_EQ(got, expected) << static_cast<int>(c.startRel) << " " << c.startKey << " " << forward;
      Table->Index->FreeScanPosition(pos);
      EXPECT_EQ(pos, nullptr);
    }
  }
}

TEST_F(RangeTest, ScanRangeContinuesFromTheCursorRecord) {
  const auto lowRec = Table->Record({Int(10)});
  const auto highRec = Table->Record({Int(20)});
  TTarnexScanSearchCondition low = Table->Condition(Rel::GreaterOrEqual, lowRec);
  TTarnexScanSearchCondition high = Table->Condition(Rel::LessOrEqual, highRec);
  // Current record inside the range: the scan goes on after it; before the range: it starts
  // at the range's first record.
  for (size_t current : {size_t{100}, size_t{5}}) {
    const bool inside = Model[current].first >= 10 && Model[current].first <= 20;
    auto pos = Table->Index->CreateScanPosition();
    TTarnexRecordID id = RID(Model[current].second);
    std::vector<int32_t> got;
    bool ok = Table->Index->ScanRange(Session, false, pos.get(), id, Table->Stored(id), &high, &low, true);
    while (ok) {
      got.push_back(id.PageNo);
      ok = Table->Index->ScanRange(Session, false, pos.get(), id, nullptr, &high, &low, true);
    }
    std::vector<int32_t> expected;
    for (size_t k = 0; k < Model.size(); ++k)
      if (Model[k].first >= 10 && Model[k].first <= 20 && (!inside || k > current))
        expected.push_back(Model[k].second);
    EXPECT_EQ(got, expected) << current;
    ExpectEngineError(
        [&] { Table->Index->ScanRange(Session, true, pos.get(), id, nullptr, &high, &low, true); }, 20078,
        "Index error: invalid params");
  }
  TTarnexRecordID id;
  ExpectEngineError([&] { Table->Index->ScanRange(Session, true, nullptr, id, nullptr, nullptr, &low, true); },
                    20077, "Pointer is nil");
}

TEST_F(RangeTest, EstimateRangeCount) {
  TTestTable small({{"v", FT::Integer}}, {Col("v")});
  std::vector<int> values = {4, 8, 1, 9, 3, 3, 7, 0, 5, 2, 6, 8};
  for (int v : values) small.Insert({Int(v)});
  std::sort(values.begin(), values.end());
  const int64_t n = static_cast<int64_t>(values.size());
  struct Case {
    Rel lowRel;
    int low;
    Rel highRel;
    int high;
  };
  const Case cases[] = {{Rel::GreaterOrEqual, 2, Rel::LessOrEqual, 7}, {Rel::Greater, 2, Rel::Less, 8},
                        {Rel::GreaterOrEqual, 0, Rel::LessOrEqual, 9}, {Rel::Equal, 3, Rel::Equal, 3},
                        {Rel::GreaterOrEqual, 6, Rel::LessOrEqual, 6}};
  for (const Case& c : cases) {
    const auto lr = small.Record({Int(c.low)});
    const auto hr = small.Record({Int(c.high)});
    const auto lowC = small.Condition(c.lowRel, lr);
    const auto highC = small.Condition(c.highRel, hr);
    // One leaf: the places are position / count, so the estimate is the distance between the
    // first and the last matching entry.
    int first = -1, last = -1;
    for (int i = 0; i < n; ++i)
      if (Holds(c.lowRel, values[i], c.low) && Holds(c.highRel, values[i], c.high)) {
        if (first < 0) first = i;
        last = i;
      }
    ASSERT_GE(first, 0);
    EXPECT_EQ(small.Index->EstimateRangeCount(Session, &highC, &lowC, n), last - first);
    EXPECT_EQ(small.Index->EstimateRangeCount(Session, &lowC, &highC, n), last - first);
  }
  const auto r100 = small.Record({Int(100)});
  const auto none = small.Condition(Rel::GreaterOrEqual, r100);
  EXPECT_EQ(small.Index->EstimateRangeCount(Session, &none, nullptr, n), 0);

  // Many pages: close to the true count.
  TTestTable big({{"v", FT::Integer}}, {Col("v")});
  std::vector<int> bigValues;
  for (int v = 0; v < 20000; ++v) bigValues.push_back(v % 5000);
  std::shuffle(bigValues.begin(), bigValues.end(), std::mt19937(8));
  for (int v : bigValues) big.Insert({Int(v)});
  const int64_t count = static_cast<int64_t>(bigValues.size());
  for (auto [lo, hi] : {std::pair{500, 4400}, std::pair{2000, 2900}, std::pair{0, 4999}, std::pair{100, 100}}) {
    const auto lr = big.Record({Int(lo)});
    const auto hr = big.Record({Int(hi)});
    const auto lowC = big.Condition(Rel::GreaterOrEqual, lr);
    const auto highC = big.Condition(Rel::LessOrEqual, hr);
    int64_t truth = 0;
    for (int v : bigValues) truth += (v >= lo && v <= hi);
    const int64_t estimate = big.Index->EstimateRangeCount(Session, &lowC, &highC, count);
    EXPECT_NEAR(static_cast<double>(estimate), static_cast<double>(truth), 0.05 * count) << lo << " " << hi;
    EXPECT_LE(estimate, count);
  }
  EXPECT_EQ(Table->Index->ConditionDirection(&none), -1);
  const auto le = Table->Condition(Rel::LessOrEqual, r100);
  const auto eq = Table->Condition(Rel::Equal, r100);
  EXPECT_EQ(Table->Index->ConditionDirection(&le), 1);
  EXPECT_EQ(Table->Index->ConditionDirection(&eq), 0);
}

TEST_F(RangeTest, PathsCompareInIndexOrder) {
  std::vector<TTarnexKeyPath> paths(Model.size());
  for (size_t k = 0; k < Model.size(); k += 9) {
    const TTarnexRecordID id = RID(Model[k].second);
    ASSERT_TRUE(Table->Index->LocateEntry(Session, id, paths[k], Table->Stored(id)));
  }
  for (size_t a = 0; a < Model.size(); a += 9)
    for (size_t b = 0; b < Model.size(); b += 27)
      EXPECT_EQ(Table->Index->ComparePaths(&paths[a], &paths[b]), a < b ? -1 : (a > b ? 1 : 0));
  ASSERT_GE(paths[0].Depth, 2);
  TTarnexKeyPath shallow = paths[0];
  shallow.Depth = 1;
  ExpectEngineError([&] { Table->Index->ComparePaths(&paths[0], &shallow); }, 20051, "Invalid index key path");
  TTarnexKeyPath other = paths[0];
  other.Levels[1].PageNo += 1000;
  ExpectEngineError([&] { Table->Index->ComparePaths(&paths[0], &other); }, 20052, "Invalid index key path");
  ExpectEngineError([&] { Table->Index->ComparePaths(nullptr, &other); }, 10384, "Nil pointer occured");
  ExpectEngineError([&] { Table->Index->ComparePaths(&other, nullptr); }, 10385, "Nil pointer occured");
  TTarnexKeyPath empty;
  ExpectEngineError([&] { Table->Index->Next(Session, empty); }, 20069, "Index error: invalid position");
  ExpectEngineError([&] { Table->Index->PathRecordID(Session, empty); }, 20068, "Index error: invalid position");
}

TEST_F(BTreeTest, UpdateKeyMovesOnlyChangedKeys) {
  TTestTable t({{"s", FT::Varchar, 10}}, {Col("s", false, true)});
  const TTarnexRecordID a = t.Insert({Text("abc")});
  const TTarnexRecordID b = t.Insert({Text("m")});
  // Equal under the column's collation: nothing is written, the stored key bytes stay.
  const auto changed = t.Record({Text("ABC")});
  t.Index->UpdateKey(Session, t.Stored(a), changed.data(), a);
  EXPECT_EQ(t.Pages.DirtyPageCount(Session), 0);
  const TRawPage leaf = t.Page(t.Index->RootPageNo());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(leaf.Entry(0) + 1)), "abc");
  t.Store->UpdateRecord(const_cast<uint8_t*>(changed.data()), a, Session);
  // A changed key moves the entry.
  t.Update(a, {Text("z")});
  EXPECT_EQ(t.Walk(), (std::vector<int32_t>{b.PageNo, a.PageNo}));
  ExpectEngineError([&] { t.Index->UpdateKey(Session, t.Record({Text("q")}).data(), t.Stored(a), a); }, 20027,
                    "Index error: cannot delete entry. Entry not found");
  ExpectEngineError([&] { t.Index->DeleteKey(Session, t.Record({Text("m")}).data(), a); }, 20027,
                    "Index error: cannot delete entry. Entry not found");
  // Failed operations change nothing.
  EXPECT_EQ(t.Pages.DirtyPageCount(Session), 0);
  EXPECT_EQ(t.Walk(), (std::vector<int32_t>{b.PageNo, a.PageNo}));
}

TEST_F(BTreeTest, UniquenessForUpdateAndRecordKeyComparison) {
  TTestTable t({{"a", FT::Integer}, {"b", FT::Varchar, 10}}, {Col("a"), Col("b", true, true)}, true);
  t.Insert({Int(1), Text("x")});
  t.Insert({Int(2), Text("y")});
  const auto x1 = t.Record({Int(1), Text("X")});
  const auto y1 = t.Record({Int(1), Text("y")});
  const auto y2 = t.Record({Int(2), Text("Y")});
  EXPECT_TRUE(t.Index->IsKeyUniqueForUpdate(Session, x1.data(), x1.data()));
  EXPECT_TRUE(t.Index->IsKeyUniqueForUpdate(Session, x1.data(), y1.data()));
  EXPECT_FALSE(t.Index->IsKeyUniqueForUpdate(Session, x1.data(), y2.data()));
  struct Case {
    const std::vector<uint8_t>* a;
    const std::vector<uint8_t>* b;
    int32_t columns;
    int32_t expected;
  };
  // b is descending: "y" sorts before "x".
  const Case cases[] = {{&x1, &y1, 1, 0}, {&x1, &y1, 2, 1}, {&y1, &x1, 2, -1},
                        {&x1, &y2, 1, -1}, {&y2, &x1, 2, 1}, {&y2, &y2, 2, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(t.Index->CompareRecordKeys(c.a->data(), c.b->data(), c.columns), c.expected);
}

TEST_F(BTreeTest, TextKeysCompareAsTheCollation) {
  const std::pair<const char*, const char*> pairs[] = {
      {"abc", "ABC"}, {"abc", "abc"}, {"a b", "a-b"}, {"Moth", "moth "}, {"", "a"},
      {"Webbing clothes moth", "webbing Clothes Moth"}, {"\xe9t\xe9", "ete"}, {"x1", "X10"}};
  for (bool caseInsensitive : {false, true}) {
    for (bool descending : {false, true}) {
      TTestTable t({{"s", FT::Varchar, 30}}, {Col("s", descending, caseInsensitive)}, false, false);
      t.Index->OpenIndex(t.Def);
      for (const auto& [a, b] : pairs) {
        const int c = CompareStringA(LOCALE_USER_DEFAULT, SORT_STRINGSORT | (caseInsensitive ? NORM_IGNORECASE : 0), a,
                                     -1, b, -1);
        const int32_t expected = (c == CSTR_LESS_THAN ? -1 : (c == CSTR_GREATER_THAN ? 1 : 0)) * (descending ? -1 : 1);
        EXPECT_EQ(t.Index->CompareRecordKeys(t.Record({Text(a)}).data(), t.Record({Text(b)}).data(), 1), expected)
            << a << " / " << b << " ci=" << caseInsensitive;
      }
    }
  }
}

TEST_F(BTreeTest, CreateIndexOverExistingRecordsAndDropIndex) {
  TTestTable t({{"v", FT::Integer}}, {Col("v")}, false, false);
  std::mt19937 rng(9);
  std::vector<std::pair<int, int32_t>> model;
  for (int i = 0; i < 400; ++i) {
    const int v = static_cast<int>(rng() % 1000);
    model.push_back({v, t.AddStored({Int(v)}).PageNo});
  }
  t.CreateIndex();
  ASSERT_NE(t.Def.RootPageNo, -1);
  EXPECT_EQ(t.Def.RootPageNo, t.Index->IndexDef().RootPageNo);
  std::sort(model.begin(), model.end());
  std::vector<int32_t> expected;
  for (const auto& m : model) expected.push_back(m.second);
  EXPECT_EQ(t.Walk(), expected);
  EXPECT_GT(t.Pages.GetPageCount(), 1);
  t.Index->DropIndex(Session);
  t.Pages.CommitSession(Session);
  EXPECT_EQ(t.Index->RootPageNo(), -1);
  EXPECT_EQ(t.Pages.GetPageCount(), 0);
  // The next key starts a new tree.
  t.Insert({Int(1)});
  EXPECT_EQ(t.Pages.GetPageCount(), 1);
}

TEST_F(BTreeTest, IntegrityCheckFindsDamage) {
  for (int32_t code : {20028, 20029, 20031, 20033, 20034, 20032}) {
    TTestTable t({{"v", FT::Integer}}, {Col("v")});
    for (int i = 0; i < 2000; ++i) t.Insert({Int(i)});
    t.Index->CheckIntegrity(Session);
    const int32_t rootNo = t.Index->RootPageNo();
    const TRawPage root = t.Page(rootNo);
    ASSERT_GE(root.EntryCount, 3);
    const int32_t leafNo = root.Child(1);
    const TRawPage leaf = t.Page(leafNo);
    const int32_t nodeEntry = 18 + root.EntrySize();  // root entry 1
    const int32_t big = 1000000;
    const int32_t bogus = 7777;
    switch (code) {
      case 20028:  // a leaf key above its successor
        t.Patch(leafNo, 18 + 1, &big, 4);
        break;
      case 20029:  // a node key above its successor
        t.Patch(rootNo, nodeEntry + 1, &big, 4);
        break;
      case 20031:  // a separator above its child's first entry
        t.Patch(rootNo, nodeEntry + 1, &leaf.Bytes[18 + leaf.EntrySize() + 1], 4);
        break;
      case 20033:  // a child's previous link wrong
        t.Patch(leafNo, 2, &bogus, 4);
        break;
      case 20034:  // a child's next link wrong
        t.Patch(leafNo, 6, &bogus, 4);
        break;
      case 20032:  // a child pointing back at the root
        t.Patch(rootNo, nodeEntry + root.KeySize, &rootNo, 4);
        break;
    }
    try {
      t.Index->CheckIntegrity(Session);
      ADD_FAILURE() << "no error for " << code;
    } catch (const ETarnexException& e) {
      EXPECT_EQ(e.NativeErrorCode(), code);
      const std::string text = code == 20032 ? "Index integrity violated. Circular links. PageNo="
                               : code >= 20033 ? "Index integrity violated. Invlaid leaf link. PageNo="
                                               : "Index integrity violated. PageNo=";
      EXPECT_EQ(std::string(e.what()).substr(0, text.size()), text);
    }
    // Restore a tree the destructor can free.
    if (code == 20032) t.Patch(rootNo, nodeEntry + root.KeySize, &leafNo, 4);
  }
}

// ---------------------------------------------------------------------------------------------
// Randomized runs against a sorted model

struct TModelRow {
  std::optional<std::string> s;  // case-insensitive, ascending
  std::optional<int> n;          // descending
};

// Index order of the model: s ascending ignoring case (nulls first), n descending (nulls
// last), then RecordID. Texts are ASCII letters, where the collation's order is the order of
// the lower-cased bytes.
bool ModelLess(const TModelRow& a, int32_t ra, const TModelRow& b, int32_t rb) {
  auto fold = [](std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
  };
  if (a.s.has_value() != b.s.has_value()) return !a.s.has_value();
  if (a.s) {
    const std::string fa = fold(*a.s), fb = fold(*b.s);
    if (fa != fb) return fa < fb;
  }
  if (a.n.has_value() != b.n.has_value()) return a.n.has_value();
  if (a.n && *a.n != *b.n) return *a.n > *b.n;
  return ra < rb;
}

TEST_F(BTreeTest, RandomizedAgainstSortedModel) {
  for (unsigned seed : {11u, 12u, 13u, 14u, 15u, 16u}) {
    // The last seed keeps the tree in a temporary page manager whose pages beyond the eighth
    // live in its file.
    std::unique_ptr<TTarnexPageManager> pages;
    if (seed == 16u) pages = std::make_unique<TTarnexTemporaryPageManager>(8);
    // The constant third column only widens the key, so that the tree grows three levels deep.
    TTestTable t({{"id", FT::Integer}, {"s", FT::Varchar, 6}, {"n", FT::SmallInt}, {"pad", FT::Varchar, 150}},
                 {Col("s", false, true), Col("n", true), Col("pad")}, false, true, std::move(pages));
    std::mt19937 rng(seed);
    std::map<int32_t, TModelRow> rows;
    auto randomRow = [&] {
      TModelRow r;
      if (rng() % 10 != 0) {
        static const char letters[] = "aAbBcC";
        std::string s;
        const int len = 1 + static_cast<int>(rng() % 3);
        for (int i = 0; i < len; ++i) s += letters[rng() % 6];
        r.s = s;
      }
      if (rng() % 10 != 0) r.n = static_cast<int>(rng() % 7) - 3;
      return r;
    };
    auto values = [](const TModelRow& r) {
      return std::vector<TValue>{Int(0), r.s ? Text(*r.s) : Null(), r.n ? Int(*r.n) : Null(), Text("p")};
    };
    int32_t deepest = 0;
    for (int batch = 0; batch < 20; ++batch) {
      for (int op = 0; op < 250; ++op) {
        const unsigned kind = rng() % 4;
        if (rows.empty() || kind <= 1 || (batch < 6 && kind == 2)) {
          const TModelRow r = randomRow();
          rows[t.Insert(values(r)).PageNo] = r;
        } else {
          auto it = rows.begin();
          std::advance(it, rng() % rows.size());
          if (kind == 2) {
            t.Delete(RID(it->first));
            rows.erase(it);
          } else {
            const TModelRow r = randomRow();
            t.Update(RID(it->first), values(r));
            it->second = r;
          }
        }
      }
      std::vector<std::pair<TModelRow, int32_t>> model;
      for (const auto& [slot, row] : rows) model.push_back({row, slot});
      std::sort(model.begin(), model.end(),
                [](const auto& a, const auto& b) { return ModelLess(a.first, a.second, b.first, b.second); });
      std::vector<int32_t> expected;
      for (const auto& m : model) expected.push_back(m.second);
      ASSERT_EQ(t.Walk(), expected) << "seed " << seed << " batch " << batch;
      ASSERT_EQ(t.WalkBack(), std::vector<int32_t>(expected.rbegin(), expected.rend()));
      t.Index->CheckIntegrity(Session);
      TTarnexKeyPath path;
      if (t.Index->First(Session, path)) deepest = std::max(deepest, path.Depth);
      for (size_t k = 0; k < expected.size(); k += 37) {
        const TTarnexRecordID id = RID(expected[k]);
        ASSERT_EQ(t.Index->GetRecNo(Session, id, nullptr, t.Stored(id)), static_cast<int64_t>(k) + 1);
      }
    }
    EXPECT_GE(deepest, 3);
    // Emptying the tree in random order keeps it consistent to the end.
    std::vector<int32_t> slots;
    for (const auto& [slot, row] : rows) slots.push_back(slot);
    std::shuffle(slots.begin(), slots.end(), rng);
    for (size_t k = 0; k < slots.size(); ++k) {
      t.Delete(RID(slots[k]));
      if (k % 200 == 0) t.Index->CheckIntegrity(Session);
    }
    EXPECT_TRUE(t.Walk().empty());
    t.Index->CheckIntegrity(Session);
  }
}

}  // namespace
