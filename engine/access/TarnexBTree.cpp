// The B-tree index: key layout and key comparison, and the index operations over the page
// controllers (TarnexBTreePages.cpp).
#include "engine/access/TarnexBTree.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "engine/access/TarnexBTreePages.h"
#include "engine/access/TarnexVariant.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "engine/storage/TarnexPage.h"

namespace {

constexpr int32_t RIDSize = TTarnexRecordID::Size;

// A work buffer from the engine's memory manager for the span of one operation.
class TWorkBuffer {
public:
  explicit TWorkBuffer(int32_t size) : Data_(static_cast<uint8_t*>(MemoryManager().AllocMem(std::max(size, 1)))) {}
  ~TWorkBuffer() {
    try {
      MemoryManager().FreeAndNillMem(Data_);
    } catch (...) {
    }
  }
  TWorkBuffer(const TWorkBuffer&) = delete;
  TWorkBuffer& operator=(const TWorkBuffer&) = delete;
  uint8_t* Data() const { return Data_; }

private:
  uint8_t* Data_;  // owned
};

// The six RecordID bytes as a number (the order of entries with equal keys).
uint64_t RecordIDNumber(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = RIDSize - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The members of a record set, for constant-time membership tests while walking leaves.
class TMemberSet {
public:
  explicit TMemberSet(const TTarnexRecordIDArray* set) {
    if (set == nullptr) return;
    Active_ = true;
    Members_.reserve(static_cast<size_t>(set->Count()) * 2);
    for (int32_t i = 0; i < set->Count(); ++i) Members_.insert(set->Item(i).AsNumber());
  }
  bool Counts(const uint8_t* recordID) const {
    return !Active_ || Members_.count(RecordIDNumber(recordID)) != 0;
  }

private:
  bool Active_ = false;                 // a record set was given
  std::unordered_set<uint64_t> Members_;
};

// Narrows a key layout's CompareColumns for one search and restores it on every exit.
class TCompareColumnsGuard {
public:
  TCompareColumnsGuard(TTarnexBTreeKeyRef& ref, int32_t columns) : Ref_(ref), Saved_(ref.CompareColumns) {
    ref.CompareColumns = columns;
  }
  ~TCompareColumnsGuard() { Ref_.CompareColumns = Saved_; }

private:
  TTarnexBTreeKeyRef& Ref_;
  int32_t Saved_;
};

// True when two narrow texts (at most `size` bytes, zero-terminated) are the same characters,
// ignoring the case of ASCII letters when asked. The collation finds such texts equal at any
// strength, so the comparison can skip it; any other pair goes to the collation.
bool SameNarrowText(const uint8_t* a, const uint8_t* b, int32_t size, bool ignoreCase) {
  for (int32_t i = 0; i < size; ++i) {
    uint8_t x = a[i], y = b[i];
    if (x != y) {
      if (!ignoreCase) return false;
      if (x >= 'A' && x <= 'Z') x = static_cast<uint8_t>(x + ('a' - 'A'));
      if (y >= 'A' && y <= 'Z') y = static_cast<uint8_t>(y + ('a' - 'A'));
      if (x != y) return false;
    }
    if (x == 0) return true;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTarnexBTreeKeyRef
// ---------------------------------------------------------------------------------------------

void TTarnexBTreeKeyRef::Build(const TTarnexIndexDef& indexDef, const TTarnexFieldDefs* fieldDefs) {
  if (fieldDefs == nullptr) throw ETarnexException(20045, "Pointer is nil");
  std::vector<TTarnexBTreeKeyColumn> columns;
  columns.reserve(indexDef.Columns.size());
  int32_t offset = 0;
  for (const TTarnexIndexColumn& c : indexDef.Columns) {
    const int32_t fieldNo = fieldDefs->IndexOfName(c.FieldName);
    if (fieldNo < 0) throw ETarnexException(20043, "Cannot find index field '%s'", {c.FieldName});
    const TTarnexFieldDef* field = fieldDefs->Items(fieldNo);
    TTarnexBTreeKeyColumn k;
    k.KeyOffset = offset;
    k.RecordOffset = field->MemoryOffset;
    k.FieldNo = fieldNo;
    k.ColumnSize = 1 + field->MemoryDataSize;
    k.DataType = field->DataType;
    k.Descending = c.Descending;
    k.CaseInsensitive = c.CaseInsensitive;
    k.NarrowText = field->DataType == TTarnexDataType::Char || field->DataType == TTarnexDataType::Varchar;
    offset += k.ColumnSize;
    columns.push_back(k);
  }
  Columns = std::move(columns);
  KeySize = offset;
  CompareColumns = ColumnCount();
  PositionSize = RIDSize;
}

void TTarnexBTreeKeyRef::MakeKey(const uint8_t* recordBuffer, uint8_t* key) const {
  for (const TTarnexBTreeKeyColumn& c : Columns) {
    uint8_t* k = key + c.KeyOffset;
    const bool isNull = (recordBuffer[c.FieldNo >> 3] >> (c.FieldNo & 7)) & 1;
    if (isNull) {
      k[0] = 1;
      std::memset(k + 1, 0, static_cast<size_t>(c.ColumnSize) - 1);
    } else {
      k[0] = 0;
      std::memcpy(k + 1, recordBuffer + c.RecordOffset, static_cast<size_t>(c.ColumnSize) - 1);
    }
  }
}

int32_t TTarnexBTreeKeyRef::CompareKeys(const uint8_t* a, const uint8_t* b, int32_t columns) const {
  const int32_t n = std::clamp(columns, 0, ColumnCount());
  for (int32_t i = 0; i < n; ++i) {
    const TTarnexBTreeKeyColumn& c = Columns[i];
    const uint8_t* pa = a + c.KeyOffset;
    const uint8_t* pb = b + c.KeyOffset;
    const bool nullA = pa[0] != 0;
    const bool nullB = pb[0] != 0;
    int32_t r;
    if (nullA || nullB) r = (nullA && nullB) ? 0 : (nullA ? -1 : 1);  // a null first, null equals null
    else if (c.NarrowText && SameNarrowText(pa + 1, pb + 1, c.ColumnSize - 1, c.CaseInsensitive)) r = 0;
    else r = CompareValuesSigned(pa + 1, pb + 1, c.DataType, TarnexDefaultLocale, c.CaseInsensitive, -1);
    if (r != 0) return c.Descending ? -r : r;
  }
  return 0;
}

int32_t TTarnexBTreeKeyRef::CompareEntries(const uint8_t* keyA, const uint8_t* recordIDA, const uint8_t* keyB,
                                           const uint8_t* recordIDB) const {
  const int32_t r = CompareKeys(keyA, keyB, ColumnCount());
  if (r != 0) return r;
  const uint64_t na = RecordIDNumber(recordIDA);
  const uint64_t nb = RecordIDNumber(recordIDB);
  return na < nb ? -1 : (na > nb ? 1 : 0);
}

// ---------------------------------------------------------------------------------------------
// TTarnexIndex
// ---------------------------------------------------------------------------------------------

TTarnexIndex::TTarnexIndex(TTarnexBaseIndexManager* indexManager) : IndexManager_(indexManager) {}

TTarnexIndex::~TTarnexIndex() = default;

void TTarnexIndex::AttachDefinition(const TTarnexIndexDef& definition) {
  if (&definition != &IndexDef_) IndexDef_.Assign(definition);
  IsTemporary_ = IndexDef_.Temporary;
}

void TTarnexIndex::CreateIndex(const TTarnexIndexDef& definition, TTarnexIndexDef* newDefinition,
                               int32_t sessionID) {
  (void)newDefinition;
  (void)sessionID;
  AttachDefinition(definition);
}

void TTarnexIndex::OpenIndex(const TTarnexIndexDef& definition) { AttachDefinition(definition); }

// ---------------------------------------------------------------------------------------------
// TTarnexBTreeIndex: life cycle
// ---------------------------------------------------------------------------------------------

TTarnexBTreeIndex::TTarnexBTreeIndex(TTarnexBaseIndexManager* indexManager, const TTarnexFieldDefs* fieldDefs,
                                     TTarnexPageManager* pageManager, TTarnexBaseRecordManager* recordManager)
    : TTarnexIndex(indexManager),
      FieldDefs_(fieldDefs),
      PageManager_(pageManager),
      RecordManager_(recordManager),
      LeafController_(std::make_unique<TTarnexBTreeLeafController>(*this)),
      NodeController_(std::make_unique<TTarnexBTreeNodeController>(*this)) {}

TTarnexBTreeIndex::~TTarnexBTreeIndex() = default;

int32_t TTarnexBTreeIndex::PageSize() const { return PageManager_->PageSize(); }

void TTarnexBTreeIndex::InitRootPage(int32_t sessionID) {
  ++ChangeCount_;
  TTarnexBTreePage root(*this, sessionID);
  root.Allocate();
  root.BeginChange();
  root.SetupFirstRoot();
  IndexDef_.RootPageNo = root.PageNo();
}

void TTarnexBTreeIndex::CreateIndex(const TTarnexIndexDef& definition, TTarnexIndexDef* newDefinition,
                                    int32_t sessionID) {
  TTarnexIndex::CreateIndex(definition, newDefinition, sessionID);
  KeyRef_.Build(IndexDef_, FieldDefs_);
  if (RecordManager_ == nullptr) throw ETarnexException(20044, "Pointer is nil");
  InitRootPage(sessionID);
  if (newDefinition != nullptr) newDefinition->RootPageNo = IndexDef_.RootPageNo;

  TWorkBuffer record(RecordManager_->RecordSize());
  TNavigationRequest request;
  request.SessionID = sessionID;
  request.Direction = TNavigationDirection::Next;
  request.Buffer = record.Data();
  request.GoFirst = true;
  for (;;) {
    RecordManager_->ReadRecord(request);
    if (request.Result != TNavigationResult::Found) break;
    InsertKey(sessionID, record.Data(), request.RecordID);
    request.GoFirst = false;
    request.GoLast = false;
  }
}

void TTarnexBTreeIndex::DropIndex(int32_t sessionID) {
  ++ChangeCount_;
  if (IndexDef_.RootPageNo == -1) return;
  TTarnexBTreePage root(*this, sessionID);
  root.Fetch(IndexDef_.RootPageNo);
  root.Controller().FreeSubtree(root);
  IndexDef_.RootPageNo = -1;
}

void TTarnexBTreeIndex::OpenIndex(const TTarnexIndexDef& definition) {
  ++ChangeCount_;
  TTarnexIndex::OpenIndex(definition);
  KeyRef_.Build(IndexDef_, FieldDefs_);
}

bool TTarnexBTreeIndex::IsEmpty(int32_t sessionID) {
  if (IndexDef_.RootPageNo == -1) return true;
  TTarnexBTreePage root(*this, sessionID);
  root.Fetch(IndexDef_.RootPageNo);
  return root.EntryCount() == 0;
}

// ---------------------------------------------------------------------------------------------
// Entries
// ---------------------------------------------------------------------------------------------

void TTarnexBTreeIndex::InsertEntryKey(int32_t sessionID, const uint8_t* key, const TTarnexRecordID& recordID) {
  ++ChangeCount_;
  if (IndexDef_.RootPageNo == -1) InitRootPage(sessionID);
  uint8_t rid[RIDSize];
  recordID.WriteTo(rid);
  TWorkBuffer separator(KeyRef_.KeySize + RIDSize);
  TTarnexKeyPath path;
  TTarnexBTreeOperation op;
  op.SessionID = sessionID;
  op.Key = key;
  op.RecordID = rid;
  op.Path = &path;
  op.Separator = separator.Data();
  TTarnexBTreePage root(*this, sessionID);
  root.Fetch(IndexDef_.RootPageNo);
  root.Controller().InsertEntry(root, op);
}

void TTarnexBTreeIndex::DeleteEntryKey(int32_t sessionID, const uint8_t* key, const TTarnexRecordID& recordID) {
  ++ChangeCount_;
  TTarnexBTreeDeleteOutcome outcome = TTarnexBTreeDeleteOutcome::NotFound;
  if (IndexDef_.RootPageNo != -1) {
    uint8_t rid[RIDSize];
    recordID.WriteTo(rid);
    TWorkBuffer separator(KeyRef_.KeySize + RIDSize);
    TTarnexKeyPath path;
    TTarnexBTreeOperation op;
    op.SessionID = sessionID;
    op.Key = key;
    op.RecordID = rid;
    op.Path = &path;
    op.Separator = separator.Data();
    TTarnexBTreePage root(*this, sessionID);
    root.Fetch(IndexDef_.RootPageNo);
    outcome = root.Controller().DeleteEntry(root, op, 0);
  }
  if (outcome == TTarnexBTreeDeleteOutcome::NotFound)
    throw ETarnexException(20027, "Index error: cannot delete entry. Entry not found");
}

void TTarnexBTreeIndex::InsertKey(int32_t sessionID, const uint8_t* recordBuffer, const TTarnexRecordID& recordID) {
  TWorkBuffer key(KeyRef_.KeySize);
  KeyRef_.MakeKey(recordBuffer, key.Data());
  InsertEntryKey(sessionID, key.Data(), recordID);
}

void TTarnexBTreeIndex::DeleteKey(int32_t sessionID, const uint8_t* recordBuffer, const TTarnexRecordID& recordID) {
  TWorkBuffer key(KeyRef_.KeySize);
  KeyRef_.MakeKey(recordBuffer, key.Data());
  DeleteEntryKey(sessionID, key.Data(), recordID);
}

void TTarnexBTreeIndex::UpdateKey(int32_t sessionID, const uint8_t* oldRecordBuffer,
                                  const uint8_t* newRecordBuffer, const TTarnexRecordID& recordID) {
  TWorkBuffer oldKey(KeyRef_.KeySize);
  TWorkBuffer newKey(KeyRef_.KeySize);
  KeyRef_.MakeKey(oldRecordBuffer, oldKey.Data());
  KeyRef_.MakeKey(newRecordBuffer, newKey.Data());
  if (KeyRef_.CompareKeys(oldKey.Data(), newKey.Data(), KeyRef_.ColumnCount()) == 0) return;
  DeleteEntryKey(sessionID, oldKey.Data(), recordID);
  InsertEntryKey(sessionID, newKey.Data(), recordID);
}

// ---------------------------------------------------------------------------------------------
// Paths
// ---------------------------------------------------------------------------------------------

std::unique_ptr<TTarnexKeyPath> TTarnexBTreeIndex::CreatePath() { return std::make_unique<TTarnexKeyPath>(); }

void TTarnexBTreeIndex::FreePath(std::unique_ptr<TTarnexKeyPath>& path) { path.reset(); }

bool TTarnexBTreeIndex::LocateKey(int32_t sessionID, const uint8_t* key, const TTarnexRecordID& recordID,
                                  TTarnexKeyPath& path) {
  path.Clear();
  if (IndexDef_.RootPageNo == -1) return false;
  uint8_t rid[RIDSize];
  recordID.WriteTo(rid);
  TTarnexBTreeOperation op;
  op.SessionID = sessionID;
  op.Key = key;
  op.RecordID = rid;
  op.Path = &path;
  TTarnexBTreePage root(*this, sessionID);
  root.Fetch(IndexDef_.RootPageNo);
  if (root.Controller().Locate(root, op)) return true;
  path.Clear();
  return false;
}

bool TTarnexBTreeIndex::LocateEntry(int32_t sessionID, const TTarnexRecordID& recordID, TTarnexKeyPath& path,
                                    const uint8_t* recordBuffer) {
  TWorkBuffer key(KeyRef_.KeySize);
  KeyRef_.MakeKey(recordBuffer, key.Data());
  return LocateKey(sessionID, key.Data(), recordID, path);
}

bool TTarnexBTreeIndex::GoToEnd(int32_t sessionID, TTarnexKeyPath& path, bool last) {
  path.Clear();
  if (IndexDef_.RootPageNo == -1) return false;
  TTarnexBTreeOperation op;
  op.SessionID = sessionID;
  op.Path = &path;
  TTarnexBTreePage root(*this, sessionID);
  root.Fetch(IndexDef_.RootPageNo);
  if (last ? root.Controller().GoToLast(root, op) : root.Controller().GoToFirst(root, op)) return true;
  path.Clear();
  return false;
}

bool TTarnexBTreeIndex::First(int32_t sessionID, TTarnexKeyPath& path) { return GoToEnd(sessionID, path, false); }

bool TTarnexBTreeIndex::Last(int32_t sessionID, TTarnexKeyPath& path) { return GoToEnd(sessionID, path, true); }

bool TTarnexBTreeIndex::Next(int32_t sessionID, TTarnexKeyPath& path) {
  if (path.Depth == 0) throw ETarnexException(20069, "Index error: invalid position");
  TTarnexBTreePage page(*this, sessionID);
  for (;;) {
    int32_t i = path.Depth - 1;
    while (i >= 0 && path.Levels[i].Position >= path.Levels[i].Count - 1) --i;
    if (i < 0) return false;
    ++path.Levels[i].Position;
    for (int32_t j = i + 1; j < path.Depth; ++j) {
      TTarnexKeyPathLevel& l = path.Levels[j];
      page.Fetch(l.PageNo);
      const int32_t next = page.NextPageNo();
      if (next == -1) throw ETarnexException(20070, "Index error: invalid page number");
      page.Fetch(next);
      l.PageNo = next;
      l.Position = 0;
      l.Count = page.EntryCount();
    }
    // An empty leaf between others holds nothing to stop at.
    if (path.Levels[path.Depth - 1].Count > 0) return true;
  }
}

bool TTarnexBTreeIndex::Prior(int32_t sessionID, TTarnexKeyPath& path) {
  if (path.Depth == 0) throw ETarnexException(20069, "Index error: invalid position");
  TTarnexBTreePage page(*this, sessionID);
  for (;;) {
    int32_t i = path.Depth - 1;
    while (i >= 0 && path.Levels[i].Position <= 0) --i;
    if (i < 0) return false;
    --path.Levels[i].Position;
    for (int32_t j = i + 1; j < path.Depth; ++j) {
      TTarnexKeyPathLevel& l = path.Levels[j];
      page.Fetch(l.PageNo);
      const int32_t prev = page.PrevPageNo();
      if (prev == -1) throw ETarnexException(20071, "Index error: invalid page number");
      page.Fetch(prev);
      l.PageNo = prev;
      l.Count = page.EntryCount();
      l.Position = l.Count - 1;
    }
    if (path.Levels[path.Depth - 1].Count > 0) return true;
  }
}

TTarnexRecordID TTarnexBTreeIndex::PathRecordID(int32_t sessionID, const TTarnexKeyPath& path) {
  if (path.Depth == 0) throw ETarnexException(20068, "Index error: invalid position");
  const TTarnexKeyPathLevel& l = path.Levels[path.Depth - 1];
  TTarnexBTreePage page(*this, sessionID);
  page.Fetch(l.PageNo);
  if (l.Position < 0 || l.Position >= page.EntryCount())
    throw ETarnexException(20068, "Index error: invalid position");
  return TTarnexRecordID::ReadFrom(page.EntryRecordID(l.Position));
}

int32_t TTarnexBTreeIndex::ComparePaths(const TTarnexKeyPath* a, const TTarnexKeyPath* b) {
  if (a == nullptr) throw ETarnexException(10384, "Nil pointer occured");
  if (b == nullptr) throw ETarnexException(10385, "Nil pointer occured");
  if (a->Depth != b->Depth) throw ETarnexException(20051, "Invalid index key path");
  for (int32_t i = 0; i < a->Depth; ++i) {
    const TTarnexKeyPathLevel& la = a->Levels[i];
    const TTarnexKeyPathLevel& lb = b->Levels[i];
    if (la.PageNo != lb.PageNo) throw ETarnexException(20052, "Invalid index key path");
    if (la.Position != lb.Position) return la.Position < lb.Position ? -1 : 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Navigation
// ---------------------------------------------------------------------------------------------

void TTarnexBTreeIndex::GetRecord(int32_t sessionID, TNavigationRequest& request) {
  if (request.Direction == TNavigationDirection::Current)
    throw ETarnexException(20053, "Invalid get record mode for index: grmCurrent");
  const bool next = request.Direction == TNavigationDirection::Next;
  if (IsEmpty(sessionID)) {
    request.Result = TNavigationResult::AfterLast;
    return;
  }
  TTarnexKeyPath path;
  bool found;
  if (request.GoFirst || request.GoLast) {
    // Before the first record only a step forward finds one, after the last only a step back.
    if (request.GoFirst && !next) {
      request.Result = TNavigationResult::BeforeFirst;
      return;
    }
    if (request.GoLast && next) {
      request.Result = TNavigationResult::AfterLast;
      return;
    }
    if (!(request.GoFirst ? First(sessionID, path) : Last(sessionID, path))) {
      request.Result = TNavigationResult::NoRecord;
      return;
    }
    found = true;
  } else {
    if (!TakeLastStep(sessionID, request.RecordID, path) &&
        (request.Buffer == nullptr || !LocateEntry(sessionID, request.RecordID, path, request.Buffer))) {
      request.Result = TNavigationResult::NoRecord;
      return;
    }
    found = next ? Next(sessionID, path) : Prior(sessionID, path);
  }
  if (!found) {
    if (next) {
      request.Result = TNavigationResult::AfterLast;
      request.GoLast = true;
    } else {
      request.Result = TNavigationResult::BeforeFirst;
      request.GoFirst = true;
    }
    return;
  }
  request.GoFirst = false;
  request.GoLast = false;
  request.RecordID = PathRecordID(sessionID, path);
  request.Result = TNavigationResult::Found;
  LastStep_.Valid = true;
  LastStep_.ChangeCount = ChangeCount_;
  LastStep_.RecordID = request.RecordID;
  LastStep_.Path = path;
  if (RecordManager_ != nullptr && request.Buffer != nullptr) {
    TNavigationRequest read;
    read.SessionID = sessionID;
    read.Direction = TNavigationDirection::Current;
    read.IndexID = -1;
    read.RecordID = request.RecordID;
    read.Buffer = request.Buffer;
    RecordManager_->ReadRecord(read);
    request.Result = read.Result;
  }
}

bool TTarnexBTreeIndex::TakeLastStep(int32_t sessionID, const TTarnexRecordID& recordID, TTarnexKeyPath& path) {
  if (!LastStep_.Valid || LastStep_.ChangeCount != ChangeCount_ || !(LastStep_.RecordID == recordID) ||
      LastStep_.Path.Depth == 0)
    return false;
  const TTarnexKeyPathLevel& leaf = LastStep_.Path.Levels[LastStep_.Path.Depth - 1];
  TTarnexBTreePage page(*this, sessionID);
  page.Fetch(leaf.PageNo);
  if (!page.IsLeaf() || leaf.Position < 0 || leaf.Position >= page.EntryCount() ||
      leaf.Count != page.EntryCount() || !(TTarnexRecordID::ReadFrom(page.EntryRecordID(leaf.Position)) == recordID))
    return false;
  path = LastStep_.Path;
  return true;
}

int32_t TTarnexBTreeIndex::LeftmostLeaf(int32_t sessionID) {
  if (IndexDef_.RootPageNo == -1) return -1;
  TTarnexBTreePage page(*this, sessionID);
  int32_t pageNo = IndexDef_.RootPageNo;
  page.Fetch(pageNo);
  while (!page.IsLeaf()) {
    if (page.EntryCount() == 0) return -1;
    pageNo = page.ChildPageNo(0);
    page.Fetch(pageNo);
  }
  return pageNo;
}

int64_t TTarnexBTreeIndex::GetRecNo(int32_t sessionID, const TTarnexRecordID& recordID,
                                    const TTarnexRecordIDArray* recordSet, const uint8_t* recordBuffer) {
  TTarnexKeyPath path;
  if (!LocateEntry(sessionID, recordID, path, recordBuffer)) return -1;
  const TMemberSet members(recordSet);
  const TTarnexKeyPathLevel& leaf = path.Levels[path.Depth - 1];
  TTarnexBTreePage page(*this, sessionID);
  page.Fetch(leaf.PageNo);
  int64_t count = 0;
  for (int32_t i = 0; i <= leaf.Position; ++i)
    if (members.Counts(page.EntryRecordID(i))) ++count;
  int32_t prev = page.PrevPageNo();
  while (prev != -1) {
    page.Fetch(prev);
    const int32_t n = page.EntryCount();
    if (recordSet == nullptr) count += n;
    else
      for (int32_t i = 0; i < n; ++i)
        if (members.Counts(page.EntryRecordID(i))) ++count;
    prev = page.PrevPageNo();
  }
  return count;
}

void TTarnexBTreeIndex::GetRecordAtRecNo(int32_t sessionID, const TTarnexRecordIDArray* recordSet,
                                         TTarnexRecordID& recordID, int64_t recNo) {
  if (IsEmpty(sessionID)) throw ETarnexException(20074, "Cannot retreive record from empty index");
  const TMemberSet members(recordSet);
  const int64_t wanted = std::max<int64_t>(recNo, 1);
  int64_t count = 0;
  int32_t pageNo = LeftmostLeaf(sessionID);
  TTarnexBTreePage page(*this, sessionID);
  while (pageNo != -1) {
    page.Fetch(pageNo);
    const int32_t n = page.EntryCount();
    if (recordSet == nullptr && count + n < wanted) {
      count += n;
    } else {
      for (int32_t i = 0; i < n; ++i) {
        if (!members.Counts(page.EntryRecordID(i))) continue;
        if (++count == wanted) {
          recordID = TTarnexRecordID::ReadFrom(page.EntryRecordID(i));
          return;
        }
      }
    }
    pageNo = page.NextPageNo();
  }
  throw ETarnexException(20075, "Cannot set RecNo greater than RecordCount");
}

void TTarnexBTreeIndex::RemoveDuplicateKeys(int32_t sessionID, TTarnexRecordIDArray* recordSet) {
  if (recordSet == nullptr) throw ETarnexException(20076, "Pointer is nil");
  if (recordSet->Count() == 0) return;
  const TMemberSet members(recordSet);
  std::unordered_set<uint64_t> dropped;
  TWorkBuffer kept(KeyRef_.KeySize);
  bool haveKept = false;
  const int32_t columns = KeyRef_.ColumnCount();
  int32_t pageNo = LeftmostLeaf(sessionID);
  TTarnexBTreePage page(*this, sessionID);
  while (pageNo != -1) {
    page.Fetch(pageNo);
    const int32_t n = page.EntryCount();
    for (int32_t i = 0; i < n; ++i) {
      if (!members.Counts(page.EntryRecordID(i))) continue;
      if (haveKept && KeyRef_.CompareKeys(page.EntryKey(i), kept.Data(), columns) == 0) {
        dropped.insert(RecordIDNumber(page.EntryRecordID(i)));
      } else {
        std::memcpy(kept.Data(), page.EntryKey(i), KeyRef_.KeySize);
        haveKept = true;
      }
    }
    pageNo = page.NextPageNo();
  }
  if (dropped.empty()) return;
  int32_t out = 0;
  const int32_t count = recordSet->Count();
  for (int32_t i = 0; i < count; ++i) {
    const TTarnexRecordID id = recordSet->Item(i);
    if (dropped.count(id.AsNumber()) != 0) continue;
    if (out != i) recordSet->SetItem(out, id);
    ++out;
  }
  recordSet->SetCount(out);
}

// ---------------------------------------------------------------------------------------------
// Searches and ranges
// ---------------------------------------------------------------------------------------------

bool TTarnexBTreeIndex::SearchRelation(int32_t sessionID, const uint8_t* key, int32_t columns,
                                       TTarnexScanRelation relation, bool forward, TTarnexKeyPath& path) {
  path.Clear();
  if (IndexDef_.RootPageNo == -1) return false;
  TCompareColumnsGuard narrow(KeyRef_, std::clamp(columns, 0, KeyRef_.ColumnCount()));
  TTarnexBTreeOperation op;
  op.SessionID = sessionID;
  op.Key = key;
  op.Columns = KeyRef_.CompareColumns;
  op.Relation = relation;
  op.Forward = forward;
  op.Path = &path;
  TTarnexBTreePage root(*this, sessionID);
  root.Fetch(IndexDef_.RootPageNo);
  if (root.Controller().SearchByRelation(root, op)) return true;
  path.Clear();
  return false;
}

bool TTarnexBTreeIndex::SearchCondition(int32_t sessionID, const TTarnexScanSearchCondition& condition,
                                        bool forward, TTarnexKeyPath& path) {
  path.Clear();
  if (condition.KeyBuffer == nullptr && condition.Relation != TTarnexScanRelation::None) return false;
  TWorkBuffer key(KeyRef_.KeySize);
  if (condition.KeyBuffer != nullptr) KeyRef_.MakeKey(condition.KeyBuffer, key.Data());
  return SearchRelation(sessionID, key.Data(), condition.KeyFieldCount, condition.Relation, forward, path);
}

int32_t TTarnexBTreeIndex::ConditionDirection(const TTarnexScanSearchCondition* condition) {
  if (condition == nullptr) return 0;
  switch (condition->Relation) {
    case TTarnexScanRelation::Greater:
    case TTarnexScanRelation::GreaterOrEqual:
      return -1;
    case TTarnexScanRelation::Less:
    case TTarnexScanRelation::LessOrEqual:
      return 1;
    default:
      return 0;
  }
}

double TTarnexBTreeIndex::PathPlace(const TTarnexKeyPath& path) {
  // Σ Position[i] / (Count[0] × … × Count[i]), accumulated from the leaf up in fixed point.
  constexpr int64_t Scale = int64_t{1} << 40;
  int64_t acc = 0;
  for (int32_t i = path.Depth - 1; i >= 0; --i) {
    const int64_t count = std::max<int64_t>(path.Levels[i].Count, 1);
    acc = (static_cast<int64_t>(path.Levels[i].Position) * Scale + acc) / count;
  }
  return static_cast<double>(acc) / static_cast<double>(Scale);
}

int64_t TTarnexBTreeIndex::EstimateRangeCount(int32_t sessionID, const TTarnexScanSearchCondition* condition1,
                                              const TTarnexScanSearchCondition* condition2, int64_t recordCount) {
  if (IsEmpty(sessionID)) return 0;
  const TTarnexScanSearchCondition* lower = ConditionDirection(condition1) < 0 ? condition1 : condition2;
  const TTarnexScanSearchCondition* upper = lower == condition1 ? condition2 : condition1;
  TTarnexKeyPath first, last;
  if (!(lower != nullptr ? SearchCondition(sessionID, *lower, true, first) : First(sessionID, first))) return 0;
  if (!(upper != nullptr ? SearchCondition(sessionID, *upper, false, last) : Last(sessionID, last))) return 0;
  const double estimate = std::round((PathPlace(last) - PathPlace(first)) * static_cast<double>(recordCount));
  if (estimate < 0) return 0;
  if (estimate > static_cast<double>(recordCount)) return recordCount;
  return static_cast<int64_t>(estimate);
}

std::unique_ptr<TTarnexScanPosition> TTarnexBTreeIndex::CreateScanPosition() {
  return std::make_unique<TTarnexScanPosition>();
}

void TTarnexBTreeIndex::FreeScanPosition(std::unique_ptr<TTarnexScanPosition>& position) { position.reset(); }

bool TTarnexBTreeIndex::ScanRange(int32_t sessionID, bool restart, TTarnexScanPosition* position,
                                  TTarnexRecordID& recordID, const uint8_t* currentRecordBuffer,
                                  const TTarnexScanSearchCondition* endCondition,
                                  const TTarnexScanSearchCondition* startCondition, bool forward) {
  if (position == nullptr) throw ETarnexException(20077, "Pointer is nil");
  if (restart && position->Started) throw ETarnexException(20078, "Index error: invalid params");
  TTarnexScanPosition& pos = *position;

  if (restart || !pos.Started) {
    pos.BeforeStart = false;
    bool ok;
    if (startCondition != nullptr) {
      ok = SearchCondition(sessionID, *startCondition, forward, pos.Path);
      if (ok && !restart) {
        TTarnexKeyPath current;
        const bool located = currentRecordBuffer != nullptr &&
                             LocateEntry(sessionID, recordID, current, currentRecordBuffer);
        const int32_t c = located ? ComparePaths(&current, &pos.Path) : 0;
        if (!located || (forward ? c < 0 : c > 0)) pos.BeforeStart = true;  // the next step lands on the start
        else pos.Path = current;
      }
    } else if (restart) {
      ok = forward ? First(sessionID, pos.Path) : Last(sessionID, pos.Path);
    } else {
      ok = currentRecordBuffer != nullptr && LocateEntry(sessionID, recordID, pos.Path, currentRecordBuffer);
    }
    if (!ok) return false;
    if (!pos.Started && (startCondition != nullptr || endCondition != nullptr)) {
      // The last entry of the range: the end bound (or the start bound) searched backwards.
      const TTarnexScanSearchCondition* end = endCondition != nullptr ? endCondition : startCondition;
      auto endPath = std::make_unique<TTarnexKeyPath>();
      if (!SearchCondition(sessionID, *end, !forward, *endPath)) return false;  // nothing in the range
      pos.EndPath = std::move(endPath);
    }
  }

  bool ok = true;
  if (!restart) {
    if (pos.BeforeStart) pos.BeforeStart = false;
    else ok = forward ? Next(sessionID, pos.Path) : Prior(sessionID, pos.Path);
  }
  if (ok && pos.EndPath != nullptr) {
    const int32_t c = ComparePaths(&pos.Path, pos.EndPath.get());
    ok = forward ? c <= 0 : c >= 0;
  }
  if (!ok) return false;
  recordID = PathRecordID(sessionID, pos.Path);
  pos.Started = true;
  pos.Forward = forward;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Key tests
// ---------------------------------------------------------------------------------------------

bool TTarnexBTreeIndex::IsKeyUnique(int32_t sessionID, const uint8_t* recordBuffer) {
  if (!(IndexDef_.Unique || IndexDef_.Primary) || IsEmpty(sessionID)) return true;
  TWorkBuffer key(KeyRef_.KeySize);
  KeyRef_.MakeKey(recordBuffer, key.Data());
  TTarnexKeyPath path;
  return !SearchRelation(sessionID, key.Data(), KeyRef_.ColumnCount(), TTarnexScanRelation::Equal, true, path);
}

bool TTarnexBTreeIndex::IsKeyUniqueForUpdate(int32_t sessionID, const uint8_t* oldRecordBuffer,
                                             const uint8_t* newRecordBuffer) {
  if (CompareRecordKeys(oldRecordBuffer, newRecordBuffer, KeyRef_.ColumnCount()) == 0) return true;
  return IsKeyUnique(sessionID, newRecordBuffer);
}

int32_t TTarnexBTreeIndex::CompareRecordKeys(const uint8_t* recordBufferA, const uint8_t* recordBufferB,
                                             int32_t columnCount) {
  TWorkBuffer a(KeyRef_.KeySize);
  TWorkBuffer b(KeyRef_.KeySize);
  KeyRef_.MakeKey(recordBufferA, a.Data());
  KeyRef_.MakeKey(recordBufferB, b.Data());
  return KeyRef_.CompareKeys(a.Data(), b.Data(), columnCount);
}

// ---------------------------------------------------------------------------------------------
// Integrity
// ---------------------------------------------------------------------------------------------

void TTarnexBTreeIndex::CheckIntegrity(int32_t sessionID) {
  if (IndexDef_.RootPageNo == -1) return;
  TTarnexKeyPath path;
  TTarnexBTreeOperation op;
  op.SessionID = sessionID;
  op.Path = &path;
  TTarnexBTreePage root(*this, sessionID);
  root.Fetch(IndexDef_.RootPageNo);
  root.Controller().CheckIntegrity(root, op);
}
