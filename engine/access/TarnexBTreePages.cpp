// The B-tree's page object and its leaf and node controllers: the recursive descent of every
// tree operation, splits on insert, merges and separator repair on delete, relation searches
// and the integrity check.
#include "engine/access/TarnexBTreePages.h"

#include <algorithm>
#include <vector>

#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "engine/storage/TarnexPage.h"

namespace {

constexpr int32_t RIDSize = TTarnexRecordID::Size;

const uint8_t ZeroBytes[RIDSize] = {0, 0, 0, 0, 0, 0};

[[noreturn]] void RaiseIntegrity(int32_t code, int32_t pageNo, int32_t entryNo) {
  throw ETarnexException(code, "Index integrity violated. PageNo=%d EntryNo=%d", {pageNo, entryNo});
}

[[noreturn]] void RaiseLinkIntegrity(int32_t code, int32_t pageNo, int32_t entryNo) {
  throw ETarnexException(code, "Index integrity violated. Invlaid leaf link. PageNo=%d EntryNo=%d",
                         {pageNo, entryNo});
}

// A (key, RecordID) pair buffer for the span of one call.
class TPairBuffer {
public:
  explicit TPairBuffer(int32_t keySize) : Bytes_(static_cast<size_t>(keySize) + RIDSize) {}
  uint8_t* Data() { return Bytes_.data(); }

private:
  std::vector<uint8_t> Bytes_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTarnexBTreePage
// ---------------------------------------------------------------------------------------------

TTarnexBTreePage::TTarnexBTreePage(TTarnexBTreeIndex& index, int32_t sessionID)
    : Index_(index), SessionID_(sessionID) {}

TTarnexBTreePage::~TTarnexBTreePage() {
  if (Page_ != nullptr) {
    try {
      Release();
    } catch (...) {
      // A release failing while an error unwinds must not replace that error.
    }
  }
}

void TTarnexBTreePage::Fetch(int32_t pageNo) {
  Release();
  Page_ = Index_.PageManager()->GetPage(SessionID_, pageNo);
}

void TTarnexBTreePage::Allocate() {
  Release();
  Page_ = Index_.PageManager()->AddNewPage(SessionID_);
}

void TTarnexBTreePage::Release() {
  if (Page_ == nullptr) return;
  TTarnexPage* page = Page_;
  Page_ = nullptr;
  Index_.PageManager()->ReleasePage(*page);
}

void TTarnexBTreePage::Free() {
  if (Page_ == nullptr) return;
  const int32_t pageNo = PageNo();
  Release();
  Index_.PageManager()->RemovePage(SessionID_, pageNo);
}

int32_t TTarnexBTreePage::PageNo() const { return Page_->PageNo(); }
uint8_t* TTarnexBTreePage::Buffer() const { return Page_->Buffer(); }
int32_t TTarnexBTreePage::BufferSize() const {
  // A shared buffer is the store's page; an owned one may have grown past it.
  return Page_->OwnsBuffer() ? MemoryManager().GetBlockSize(Page_->Buffer()) : Page_->PageSize();
}

void TTarnexBTreePage::Reset() {
  uint8_t* b = Buffer();
  b[0] = 0;
  b[1] = 0;
  SetPrevPageNo(-1);
  SetNextPageNo(-1);
  b[10] = 0;
  b[11] = 0;
  WriteUInt16(12, 0);
  WriteUInt16(14, 0);
  WriteUInt16(16, 0);
}

void TTarnexBTreePage::SetupFirstRoot() {
  Reset();
  SetIsRoot(true);
  SetIsLeaf(true);
  Buffer()[10] = 1;
  WriteUInt16(12, Index_.KeyRef().KeySize);
}

void TTarnexBTreePage::CopyHeaderFrom(const TTarnexBTreePage& other) {
  const bool leaf = other.IsLeaf();
  const bool extra = other.EntryExtra();
  const int32_t keySize = other.KeySize();
  Reset();
  SetIsLeaf(leaf);
  SetEntryExtra(extra);
  WriteUInt16(12, keySize);
}

const uint8_t* TTarnexBTreePage::EntryRecordID(int32_t i) const {
  const uint8_t* e = Entry(i);
  if (IsLeaf()) return e + KeySize();
  return EntryExtra() ? e + KeySize() + 4 : ZeroBytes;
}

int32_t TTarnexBTreePage::ChildPageNo(int32_t i) const {
  if (IsLeaf()) throw ETarnexException(20020, "Internal index error");
  int32_t v;
  std::memcpy(&v, Entry(i) + KeySize(), 4);
  return v;
}

bool TTarnexBTreePage::HasRoomForOne() const {
  return (EntryCount() + 1) * EntrySize() + HeaderSize() <= Index_.PageSize();
}

bool TTarnexBTreePage::Overflowed() const {
  return EntryCount() * EntrySize() + HeaderSize() > Index_.PageSize();
}

bool TTarnexBTreePage::Underfilled() const {
  return !IsRoot() &&
         EntryCount() * EntrySize() < (Index_.PageSize() - HeaderExtra() - TTarnexBTreeIndex::HeaderSize) / 2;
}

bool TTarnexBTreePage::FitsInto(const TTarnexBTreePage& neighbour) const {
  return (EntryCount() + neighbour.EntryCount()) * EntrySize() + HeaderSize() < Index_.PageSize();
}

void TTarnexBTreePage::BeginChange(int32_t minSize) {
  const int32_t size = std::max({minSize, Index_.PageSize(), BufferSize()});
  if (!Page_->OwnsBuffer() || BufferSize() < size) Page_->MakeBufferPrivate(size);
  Page_->SetDirty(true);
}

void TTarnexBTreePage::InsertLeafEntry(int32_t pos, const uint8_t* key, const uint8_t* recordID) {
  const int32_t count = EntryCount();
  const int32_t size = EntrySize();
  BeginChange(HeaderSize() + (count + 1) * size);
  uint8_t* e = Entry(pos);
  std::memmove(e + size, e, static_cast<size_t>(count - pos) * size);
  const int32_t keySize = KeySize();
  std::memcpy(e, key, keySize);
  std::memcpy(e + keySize, recordID, RIDSize);
  SetEntryCount(count + 1);
}

void TTarnexBTreePage::InsertNodeEntry(int32_t pos, const uint8_t* key, int32_t childPageNo,
                                       const uint8_t* recordID) {
  const int32_t count = EntryCount();
  const int32_t size = EntrySize();
  BeginChange(HeaderSize() + (count + 1) * size);
  uint8_t* e = Entry(pos);
  std::memmove(e + size, e, static_cast<size_t>(count - pos) * size);
  const int32_t keySize = KeySize();
  if (key != nullptr) std::memcpy(e, key, keySize);
  else std::memset(e, 0, keySize);
  std::memcpy(e + keySize, &childPageNo, 4);
  if (EntryExtra()) std::memcpy(e + keySize + 4, recordID != nullptr ? recordID : ZeroBytes, RIDSize);
  SetEntryCount(count + 1);
}

void TTarnexBTreePage::RemoveEntry(int32_t pos) {
  const int32_t count = EntryCount();
  if (count == 0) throw ETarnexException(20025, "Index error: page is empty");
  BeginChange();
  const int32_t size = EntrySize();
  uint8_t* e = Entry(pos);
  std::memmove(e, e + size, static_cast<size_t>(count - pos - 1) * size);
  SetEntryCount(count - 1);
}

void TTarnexBTreePage::SetEntryPair(int32_t i, const uint8_t* key, const uint8_t* recordID) {
  BeginChange();
  uint8_t* e = Entry(i);
  const int32_t keySize = KeySize();
  std::memmove(e, key, keySize);
  if (IsLeaf()) std::memmove(e + keySize, recordID, RIDSize);
  else if (EntryExtra()) std::memmove(e + keySize + 4, recordID, RIDSize);
}

void TTarnexBTreePage::CopyEntryPair(int32_t i, uint8_t* dest) const {
  const int32_t keySize = KeySize();
  std::memcpy(dest, EntryKey(i), keySize);
  std::memcpy(dest + keySize, EntryRecordID(i), RIDSize);
}

bool TTarnexBTreePage::SearchKey(const uint8_t* key, int32_t columns, int32_t lowest, int32_t which,
                                 int32_t& index) const {
  const int32_t count = EntryCount();
  if (count == 0) {
    index = 0;
    return false;
  }
  const TTarnexBTreeKeyRef& ref = Index_.KeyRef();
  const uint8_t* base = Buffer() + HeaderSize();
  const int32_t size = EntrySize();
  auto cmp = [&](int32_t i) { return ref.CompareKeys(key, base + static_cast<size_t>(i) * size, columns); };
  if (which == 0) {
    int32_t lo = lowest, hi = count - 1;
    while (lo <= hi) {
      const int32_t mid = (lo + hi) / 2;
      const int32_t c = cmp(mid);
      if (c < 0) hi = mid - 1;
      else if (c > 0) lo = mid + 1;
      else {
        index = mid;
        return true;
      }
    }
    index = lo;
    return false;
  }
  // First equal: the lowest entry not below the key; last equal: the highest not above it.
  // Equivalent to stepping from any equal entry, with fewer comparisons on long runs.
  int32_t lo = lowest, hi = count;
  if (which < 0) {
    while (lo < hi) {
      const int32_t mid = (lo + hi) / 2;
      if (cmp(mid) > 0) lo = mid + 1;
      else hi = mid;
    }
    index = lo;
    return lo < count && cmp(lo) == 0;
  }
  while (lo < hi) {
    const int32_t mid = (lo + hi) / 2;
    if (cmp(mid) >= 0) lo = mid + 1;
    else hi = mid;
  }
  if (lo > lowest && cmp(lo - 1) == 0) {
    index = lo - 1;
    return true;
  }
  index = lo;
  return false;
}

bool TTarnexBTreePage::SearchEntry(const uint8_t* key, const uint8_t* recordID, int32_t lowest,
                                   int32_t& index) const {
  const int32_t count = EntryCount();
  const TTarnexBTreeKeyRef& ref = Index_.KeyRef();
  int32_t lo = lowest, hi = count - 1;
  while (lo <= hi) {
    const int32_t mid = (lo + hi) / 2;
    const int32_t c = ref.CompareEntries(key, recordID, EntryKey(mid), EntryRecordID(mid));
    if (c < 0) hi = mid - 1;
    else if (c > 0) lo = mid + 1;
    else {
      index = mid;
      return true;
    }
  }
  index = lo;
  return false;
}

TTarnexBTreePageController& TTarnexBTreePage::Controller() const {
  if (IsLeaf()) return *Index_.LeafController_;
  return *Index_.NodeController_;
}

// ---------------------------------------------------------------------------------------------
// Shared controller work
// ---------------------------------------------------------------------------------------------

namespace {

// The (key, RecordID) pair that bounds the page at path level `level` from below: the nearest
// level above whose position is not 0 holds it. False for the leftmost page of its level.
bool LowerBoundAbove(TTarnexBTreeIndex& index, TTarnexBTreeOperation& op, int32_t level, uint8_t* dest) {
  for (int32_t a = level - 1; a >= 0; --a) {
    const TTarnexKeyPathLevel& l = op.Path->Levels[a];
    if (l.Position > 0) {
      TTarnexBTreePage page(index, op.SessionID);
      page.Fetch(l.PageNo);
      page.CopyEntryPair(l.Position, dest);
      return true;
    }
  }
  return false;
}

// The pair that bounds the right neighbour of the page at path level `level` from below: the
// entry after the position of the nearest level above whose position is not its page's last.
bool NextBoundAbove(TTarnexBTreeIndex& index, TTarnexBTreeOperation& op, int32_t level, uint8_t* dest) {
  for (int32_t a = level - 1; a >= 0; --a) {
    const TTarnexKeyPathLevel& l = op.Path->Levels[a];
    if (l.Position < l.Count - 1) {
      TTarnexBTreePage page(index, op.SessionID);
      page.Fetch(l.PageNo);
      page.CopyEntryPair(l.Position + 1, dest);
      return true;
    }
  }
  return false;
}

// Replaces the pair of entry `position` on the page at path level `level`.
void ReplacePairAt(TTarnexBTreeIndex& index, TTarnexBTreeOperation& op, int32_t level, int32_t position,
                   const uint8_t* pair) {
  TTarnexBTreePage page(index, op.SessionID);
  page.Fetch(op.Path->Levels[level].PageNo);
  page.SetEntryPair(position, pair, pair + page.KeySize());
}

}  // namespace

void TTarnexBTreePageController::PushLevel(TTarnexBTreeOperation& op, const TTarnexBTreePage& page,
                                           int32_t position) {
  TTarnexKeyPath& path = *op.Path;
  if (path.Depth >= TTarnexKeyPath::MaxDepth) throw ETarnexException(20024, "Internal index error");
  TTarnexKeyPathLevel& l = path.Levels[path.Depth++];
  l.PageNo = page.PageNo();
  l.Position = position;
  l.Count = page.EntryCount();
  path.Level = path.Depth - 1;
}

bool TTarnexBTreePageController::Split(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  const int32_t n = page.EntryCount();
  const int32_t h = n / 2;
  const int32_t size = page.EntrySize();
  const int32_t keySize = page.KeySize();
  const int32_t header = page.HeaderSize();
  if (page.IsRoot()) {
    TTarnexBTreePage left(Index_, op.SessionID);
    TTarnexBTreePage right(Index_, op.SessionID);
    left.Allocate();
    right.Allocate();
    left.BeginChange(header + h * size);
    right.BeginChange(header + (n - h) * size);
    left.CopyHeaderFrom(page);
    right.CopyHeaderFrom(page);
    std::memcpy(left.Entry(0), page.Entry(0), static_cast<size_t>(h) * size);
    left.SetEntryCount(h);
    std::memcpy(right.Entry(0), page.Entry(h), static_cast<size_t>(n - h) * size);
    right.SetEntryCount(n - h);
    left.SetNextPageNo(right.PageNo());
    right.SetPrevPageNo(left.PageNo());
    right.CopyEntryPair(0, op.Separator);
    page.BeginChange();
    page.SetIsLeaf(false);
    page.SetEntryExtra(true);
    page.SetEntryCount(0);
    page.InsertNodeEntry(0, nullptr, left.PageNo(), nullptr);
    page.InsertNodeEntry(1, op.Separator, right.PageNo(), op.Separator + keySize);
    return false;
  }
  TTarnexBTreePage fresh(Index_, op.SessionID);
  fresh.Allocate();
  fresh.BeginChange(header + (n - h) * size);
  fresh.CopyHeaderFrom(page);
  std::memcpy(fresh.Entry(0), page.Entry(h), static_cast<size_t>(n - h) * size);
  fresh.SetEntryCount(n - h);
  const int32_t oldNext = page.NextPageNo();
  fresh.SetNextPageNo(oldNext);
  fresh.SetPrevPageNo(page.PageNo());
  if (oldNext != -1) {
    TTarnexBTreePage next(Index_, op.SessionID);
    next.Fetch(oldNext);
    next.BeginChange();
    next.SetPrevPageNo(fresh.PageNo());
  }
  page.BeginChange();
  page.SetNextPageNo(fresh.PageNo());
  page.SetEntryCount(h);
  fresh.CopyEntryPair(0, op.Separator);
  op.NewPageNo = fresh.PageNo();
  return true;
}

TTarnexBTreeDeleteOutcome TTarnexBTreePageController::Rebalance(TTarnexBTreePage& page,
                                                                TTarnexBTreeOperation& op, int32_t level) {
  if (page.IsRoot() || !page.Underfilled()) return TTarnexBTreeDeleteOutcome::Kept;
  const int32_t size = page.EntrySize();
  const int32_t header = page.HeaderSize();
  const int32_t keySize = page.KeySize();
  const int32_t count = page.EntryCount();
  const int32_t prevNo = page.PrevPageNo();
  const int32_t nextNo = page.NextPageNo();

  if (prevNo != -1) {
    TTarnexBTreePage left(Index_, op.SessionID);
    left.Fetch(prevNo);
    if (page.FitsInto(left)) {
      if (nextNo != -1) {
        TTarnexBTreePage next(Index_, op.SessionID);
        next.Fetch(nextNo);
        next.BeginChange();
        next.SetPrevPageNo(prevNo);
      }
      // A node's first key was never compared; behind the left neighbour's entries it must
      // bound its child from below.
      TPairBuffer first(keySize);
      bool fixFirst = false;
      if (!page.IsLeaf() && count > 0) {
        fixFirst = page.Controller().CopyFirstKey(page, first.Data()) ||
                   LowerBoundAbove(Index_, op, level, first.Data());
      }
      const int32_t leftCount = left.EntryCount();
      left.BeginChange(header + (leftCount + count) * size);
      std::memcpy(left.Entry(leftCount), page.Entry(0), static_cast<size_t>(count) * size);
      left.SetEntryCount(leftCount + count);
      if (fixFirst) left.SetEntryPair(leftCount, first.Data(), first.Data() + keySize);
      left.SetNextPageNo(nextNo);
      page.Free();
      return TTarnexBTreeDeleteOutcome::MergedLeft;
    }
  }
  if (nextNo != -1) {
    TTarnexBTreePage right(Index_, op.SessionID);
    right.Fetch(nextNo);
    if (page.FitsInto(right)) {
      if (prevNo != -1) {
        TTarnexBTreePage prev(Index_, op.SessionID);
        prev.Fetch(prevNo);
        prev.BeginChange();
        prev.SetNextPageNo(nextNo);
      }
      const int32_t rightCount = right.EntryCount();
      right.BeginChange(header + (rightCount + count) * size);
      if (!right.IsLeaf() && rightCount > 0) {
        TPairBuffer first(keySize);
        if (right.Controller().CopyFirstKey(right, first.Data()) ||
            NextBoundAbove(Index_, op, level, first.Data()))
          right.SetEntryPair(0, first.Data(), first.Data() + keySize);
      }
      std::memmove(right.Entry(count), right.Entry(0), static_cast<size_t>(rightCount) * size);
      std::memcpy(right.Entry(0), page.Entry(0), static_cast<size_t>(count) * size);
      right.SetEntryCount(rightCount + count);
      right.SetPrevPageNo(prevNo);
      op.SeparatorValid = right.Controller().CopyFirstKey(right, op.Separator);
      page.Free();
      return TTarnexBTreeDeleteOutcome::MergedRight;
    }
  }
  return TTarnexBTreeDeleteOutcome::Kept;
}

// ---------------------------------------------------------------------------------------------
// Leaf controller
// ---------------------------------------------------------------------------------------------

bool TTarnexBTreeLeafController::InsertEntry(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  int32_t pos;
  page.SearchEntry(op.Key, op.RecordID, 0, pos);
  PushLevel(op, page, pos);
  page.InsertLeafEntry(pos, op.Key, op.RecordID);
  if (page.Overflowed()) return Split(page, op);
  return false;
}

TTarnexBTreeDeleteOutcome TTarnexBTreeLeafController::DeleteEntry(TTarnexBTreePage& page,
                                                                  TTarnexBTreeOperation& op, int32_t level) {
  int32_t pos;
  if (!page.SearchEntry(op.Key, op.RecordID, 0, pos)) return TTarnexBTreeDeleteOutcome::NotFound;
  PushLevel(op, page, pos);
  page.RemoveEntry(pos);
  return Rebalance(page, op, level);
}

void TTarnexBTreeLeafController::FreeSubtree(TTarnexBTreePage& page) { page.Free(); }

void TTarnexBTreeLeafController::CheckIntegrity(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  (void)op;
  const TTarnexBTreeKeyRef& ref = Index_.KeyRef();
  const int32_t count = page.EntryCount();
  for (int32_t i = 0; i + 1 < count; ++i) {
    if (ref.CompareEntries(page.EntryKey(i), page.EntryRecordID(i), page.EntryKey(i + 1),
                           page.EntryRecordID(i + 1)) > 0)
      RaiseIntegrity(20028, page.PageNo(), i);
  }
}

bool TTarnexBTreeLeafController::Locate(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  int32_t pos;
  if (!page.SearchEntry(op.Key, op.RecordID, 0, pos)) return false;
  PushLevel(op, page, pos);
  return true;
}

bool TTarnexBTreeLeafController::GoToFirst(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  PushLevel(op, page, 0);
  return page.EntryCount() > 0;
}

bool TTarnexBTreeLeafController::GoToLast(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  PushLevel(op, page, page.EntryCount() - 1);
  return page.EntryCount() > 0;
}

bool TTarnexBTreeLeafController::SearchByRelation(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  const int32_t count = page.EntryCount();
  if (count == 0) return false;
  int32_t pos = -1;
  int32_t first = 0, last = 0;
  bool foundFirst = false, foundLast = false;
  auto firstEqual = [&]() {
    foundFirst = page.SearchKey(op.Key, op.Columns, 0, -1, first);
    return first;
  };
  auto lastEqual = [&]() {
    foundLast = page.SearchKey(op.Key, op.Columns, 0, +1, last);
    return last;
  };
  const TTarnexScanRelation rel = op.Relation;
  if (op.Forward) {
    switch (rel) {
      case TTarnexScanRelation::None:
        pos = 0;
        break;
      case TTarnexScanRelation::Equal:
        firstEqual();
        if (foundFirst) pos = first;
        break;
      case TTarnexScanRelation::Less:
        if (firstEqual() - 1 >= 0) pos = 0;
        break;
      case TTarnexScanRelation::LessOrEqual:
        if (Index_.KeyRef().CompareKeys(page.EntryKey(0), op.Key, op.Columns) <= 0) pos = 0;
        break;
      case TTarnexScanRelation::Greater: {
        lastEqual();
        const int32_t p = foundLast ? last + 1 : last;
        if (p < count) pos = p;
        break;
      }
      case TTarnexScanRelation::GreaterOrEqual: {
        const int32_t p = firstEqual();
        if (p < count) pos = p;
        break;
      }
    }
  } else {
    switch (rel) {
      case TTarnexScanRelation::None:
        pos = count - 1;
        break;
      case TTarnexScanRelation::Equal:
        lastEqual();
        if (foundLast) pos = last;
        break;
      case TTarnexScanRelation::Less: {
        const int32_t p = firstEqual() - 1;
        if (p >= 0) pos = p;
        break;
      }
      case TTarnexScanRelation::LessOrEqual: {
        lastEqual();
        const int32_t p = foundLast ? last : last - 1;
        if (p >= 0) pos = p;
        break;
      }
      case TTarnexScanRelation::Greater: {
        lastEqual();
        const int32_t p = foundLast ? last + 1 : last;
        if (p < count) pos = count - 1;
        break;
      }
      case TTarnexScanRelation::GreaterOrEqual: {
        int32_t any;
        page.SearchKey(op.Key, op.Columns, 0, 0, any);
        if (any < count) pos = count - 1;
        break;
      }
    }
  }
  if (pos < 0) return false;
  PushLevel(op, page, pos);
  return true;
}

bool TTarnexBTreeLeafController::CopyFirstKey(TTarnexBTreePage& page, uint8_t* dest) {
  if (page.EntryCount() == 0) return false;
  page.CopyEntryPair(0, dest);
  return true;
}

bool TTarnexBTreeLeafController::CopyLastKey(TTarnexBTreePage& page, uint8_t* dest) {
  if (page.EntryCount() == 0) return false;
  page.CopyEntryPair(page.EntryCount() - 1, dest);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Node controller
// ---------------------------------------------------------------------------------------------

int32_t TTarnexBTreeNodeController::ChildIndexFor(const TTarnexBTreePage& page, const uint8_t* key,
                                                  const uint8_t* recordID) const {
  int32_t pos;
  if (page.SearchEntry(key, recordID, 1, pos)) return pos;
  return pos - 1;
}

bool TTarnexBTreeNodeController::InsertEntry(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  if (page.EntryCount() == 0) throw ETarnexException(20024, "Internal index error");
  const int32_t idx = ChildIndexFor(page, op.Key, op.RecordID);
  PushLevel(op, page, idx);
  bool split;
  {
    TTarnexBTreePage child(Index_, op.SessionID);
    child.Fetch(page.ChildPageNo(idx));
    split = child.Controller().InsertEntry(child, op);
  }
  if (!split) return false;
  page.InsertNodeEntry(idx + 1, op.Separator, op.NewPageNo, op.Separator + page.KeySize());
  if (page.Overflowed()) return Split(page, op);
  return false;
}

TTarnexBTreeDeleteOutcome TTarnexBTreeNodeController::DeleteEntry(TTarnexBTreePage& page,
                                                                  TTarnexBTreeOperation& op, int32_t level) {
  if (page.EntryCount() == 0) return TTarnexBTreeDeleteOutcome::NotFound;
  const int32_t idx = ChildIndexFor(page, op.Key, op.RecordID);
  PushLevel(op, page, idx);
  TTarnexBTreeDeleteOutcome outcome;
  {
    TTarnexBTreePage child(Index_, op.SessionID);
    child.Fetch(page.ChildPageNo(idx));
    outcome = child.Controller().DeleteEntry(child, op, level + 1);
  }
  if (outcome == TTarnexBTreeDeleteOutcome::NotFound || outcome == TTarnexBTreeDeleteOutcome::Kept)
    return outcome;
  RemoveChildEntry(page, idx, outcome, op, level);
  return Rebalance(page, op, level);
}

void TTarnexBTreeNodeController::RemoveChildEntry(TTarnexBTreePage& page, int32_t pos,
                                                  TTarnexBTreeDeleteOutcome how, TTarnexBTreeOperation& op,
                                                  int32_t level) {
  const int32_t count = page.EntryCount();
  if (count == 0) throw ETarnexException(20025, "Index error: page is empty");
  const int32_t keySize = page.KeySize();
  TPairBuffer pair(keySize);
  if (how == TTarnexBTreeDeleteOutcome::MergedLeft) {
    // The first child left for its left neighbour: the separator above that bounded it now
    // bounds the new first child.
    if (pos == 0 && count >= 2) {
      page.CopyEntryPair(1, pair.Data());
      for (int32_t a = level - 1; a >= 0; --a) {
        const TTarnexKeyPathLevel& l = op.Path->Levels[a];
        if (l.Position > 0) {
          ReplacePairAt(Index_, op, a, l.Position, pair.Data());
          break;
        }
      }
    }
  } else {
    // The right neighbour took the child's entries: its separator comes down to its new
    // smallest entry (or, for an empty subtree, to the removed child's separator).
    if (op.SeparatorValid) std::memcpy(pair.Data(), op.Separator, static_cast<size_t>(keySize) + RIDSize);
    else page.CopyEntryPair(pos, pair.Data());
    if (pos < count - 1) {
      page.SetEntryPair(pos + 1, pair.Data(), pair.Data() + keySize);
    } else {
      for (int32_t a = level - 1; a >= 0; --a) {
        const TTarnexKeyPathLevel& l = op.Path->Levels[a];
        if (l.Position < l.Count - 1) {
          ReplacePairAt(Index_, op, a, l.Position + 1, pair.Data());
          break;
        }
      }
    }
  }
  page.RemoveEntry(pos);
}

void TTarnexBTreeNodeController::FreeSubtree(TTarnexBTreePage& page) {
  const int32_t count = page.EntryCount();
  for (int32_t i = 0; i < count; ++i) {
    TTarnexBTreePage child(Index_, page.SessionID());
    child.Fetch(page.ChildPageNo(i));
    child.Controller().FreeSubtree(child);
  }
  page.Free();
}

void TTarnexBTreeNodeController::CheckIntegrity(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  const TTarnexBTreeKeyRef& ref = Index_.KeyRef();
  const int32_t count = page.EntryCount();
  const int32_t keySize = page.KeySize();
  const int32_t pageNo = page.PageNo();
  for (int32_t i = 1; i + 1 < count; ++i) {
    if (ref.CompareEntries(page.EntryKey(i), page.EntryRecordID(i), page.EntryKey(i + 1),
                           page.EntryRecordID(i + 1)) > 0)
      RaiseIntegrity(20029, pageNo, i);
  }
  // A child that is this page or one above it would lead the walk in circles.
  for (int32_t i = 0; i < count; ++i) {
    const int32_t childNo = page.ChildPageNo(i);
    bool circular = childNo == pageNo;
    for (int32_t a = 0; a < op.Path->Depth && !circular; ++a) circular = op.Path->Levels[a].PageNo == childNo;
    if (circular)
      throw ETarnexException(20032, "Index integrity violated. Circular links. PageNo=%d EntryNo=%d",
                             {pageNo, i});
  }
  TPairBuffer previousLast(keySize);
  TPairBuffer bound(keySize);
  bool havePreviousLast = false;
  for (int32_t i = 0; i < count; ++i) {
    TTarnexBTreePage child(Index_, op.SessionID);
    child.Fetch(page.ChildPageNo(i));
    if (i > 0 && child.PrevPageNo() != page.ChildPageNo(i - 1)) RaiseLinkIntegrity(20033, pageNo, i);
    if (i + 1 < count && child.NextPageNo() != page.ChildPageNo(i + 1)) RaiseLinkIntegrity(20034, pageNo, i);
    if (i > 0) {
      if (havePreviousLast && ref.CompareEntries(previousLast.Data(), previousLast.Data() + keySize,
                                                 page.EntryKey(i), page.EntryRecordID(i)) > 0)
        RaiseIntegrity(20030, pageNo, i);
      if (child.Controller().CopyFirstKey(child, bound.Data()) &&
          ref.CompareEntries(page.EntryKey(i), page.EntryRecordID(i), bound.Data(), bound.Data() + keySize) > 0)
        RaiseIntegrity(20031, pageNo, i);
    }
    PushLevel(op, page, i);
    child.Controller().CheckIntegrity(child, op);
    --op.Path->Depth;
    if (child.Controller().CopyLastKey(child, bound.Data())) {
      std::memcpy(previousLast.Data(), bound.Data(), static_cast<size_t>(keySize) + RIDSize);
      havePreviousLast = true;
    }
  }
}

bool TTarnexBTreeNodeController::Locate(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  if (page.EntryCount() == 0) return false;
  const int32_t idx = ChildIndexFor(page, op.Key, op.RecordID);
  PushLevel(op, page, idx);
  TTarnexBTreePage child(Index_, op.SessionID);
  child.Fetch(page.ChildPageNo(idx));
  if (child.Controller().Locate(child, op)) return true;
  --op.Path->Depth;
  return false;
}

bool TTarnexBTreeNodeController::GoToFirst(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  PushLevel(op, page, 0);
  if (page.EntryCount() == 0) return false;
  TTarnexBTreePage child(Index_, op.SessionID);
  child.Fetch(page.ChildPageNo(0));
  return child.Controller().GoToFirst(child, op);
}

bool TTarnexBTreeNodeController::GoToLast(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  const int32_t count = page.EntryCount();
  PushLevel(op, page, count - 1);
  if (count == 0) return false;
  TTarnexBTreePage child(Index_, op.SessionID);
  child.Fetch(page.ChildPageNo(count - 1));
  return child.Controller().GoToLast(child, op);
}

bool TTarnexBTreeNodeController::SearchByRelation(TTarnexBTreePage& page, TTarnexBTreeOperation& op) {
  const int32_t count = page.EntryCount();
  if (count == 0) return false;
  int32_t first = 0, last = count - 1;
  int32_t fe = 0, le = 0;
  bool foundFirst = false, foundLast = false;
  // Node searches start at index 1: the first entry's key bounds nothing.
  auto firstEqual = [&]() { foundFirst = page.SearchKey(op.Key, op.Columns, 1, -1, fe); };
  auto lastEqual = [&]() { foundLast = page.SearchKey(op.Key, op.Columns, 1, +1, le); };
  switch (op.Relation) {
    case TTarnexScanRelation::None:
      break;
    case TTarnexScanRelation::Equal:
      firstEqual();
      if (foundFirst) {
        lastEqual();
        first = std::max(fe - 1, 0);
        last = le;
      } else {
        first = fe - 1;
        last = first;
      }
      break;
    case TTarnexScanRelation::Less:
      firstEqual();
      first = 0;
      last = fe - 1;
      break;
    case TTarnexScanRelation::LessOrEqual:
      lastEqual();
      first = 0;
      last = foundLast ? le : le - 1;
      break;
    case TTarnexScanRelation::Greater:
      lastEqual();
      first = foundLast ? le : le - 1;
      last = count - 1;
      break;
    case TTarnexScanRelation::GreaterOrEqual:
      firstEqual();
      first = fe - 1;
      last = count - 1;
      break;
  }
  first = std::max(first, 0);
  last = std::min(last, count - 1);
  if (first > last) return false;
  PushLevel(op, page, first);
  const int32_t myLevel = op.Path->Depth - 1;
  const int32_t step = op.Forward ? 1 : -1;
  for (int32_t i = op.Forward ? first : last; op.Forward ? i <= last : i >= first; i += step) {
    op.Path->Levels[myLevel].Position = i;
    op.Path->Depth = myLevel + 1;
    TTarnexBTreePage child(Index_, op.SessionID);
    child.Fetch(page.ChildPageNo(i));
    if (child.Controller().SearchByRelation(child, op)) return true;
  }
  op.Path->Depth = myLevel;
  return false;
}

bool TTarnexBTreeNodeController::CopyFirstKey(TTarnexBTreePage& page, uint8_t* dest) {
  const int32_t count = page.EntryCount();
  for (int32_t i = 0; i < count; ++i) {
    TTarnexBTreePage child(Index_, page.SessionID());
    child.Fetch(page.ChildPageNo(i));
    if (child.Controller().CopyFirstKey(child, dest)) return true;
  }
  return false;
}

bool TTarnexBTreeNodeController::CopyLastKey(TTarnexBTreePage& page, uint8_t* dest) {
  for (int32_t i = page.EntryCount() - 1; i >= 0; --i) {
    TTarnexBTreePage child(Index_, page.SessionID());
    child.Fetch(page.ChildPageNo(i));
    if (child.Controller().CopyLastKey(child, dest)) return true;
  }
  return false;
}
