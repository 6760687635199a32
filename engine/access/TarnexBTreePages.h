// Inside the B-tree: the page object that reads and writes the B-tree layout of one checked-out
// page, and the leaf and node controllers that do the recursive work of every tree operation.
// Only the B-tree's own sources include this header.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/access/TarnexBTree.h"

class TTarnexPage;

// Working state of one tree operation, passed down the recursion.
struct TTarnexBTreeOperation {
  int32_t SessionID = 0;
  const uint8_t* Key = nullptr;       // the key searched, inserted or deleted (KeySize bytes)
  const uint8_t* RecordID = nullptr;  // its 6 RecordID bytes (entry operations)
  int32_t Columns = 0;                // leading key columns compared by relation searches
  TTarnexScanRelation Relation = TTarnexScanRelation::None;
  bool Forward = true;                // relation searches: first (true) or last match
  TTarnexKeyPath* Path = nullptr;     // levels pushed while descending
  // Insert: the (key, RecordID) pair and page number a split hands to the parent.
  // Delete: the smallest pair of a page that took a right neighbour's entries (SeparatorValid).
  uint8_t* Separator = nullptr;       // KeySize + 6 bytes, owned by the operation's caller
  bool SeparatorValid = false;
  int32_t NewPageNo = -1;
};

// What a delete did to the page it was called for.
enum class TTarnexBTreeDeleteOutcome : uint8_t {
  NotFound,     // the entry is not in the subtree
  Kept,         // the entry was removed; the page stays
  MergedLeft,   // the page was merged into its left neighbour and freed
  MergedRight,  // the page was merged into its right neighbour and freed
};

// One checked-out page of the tree. Holds the page from Fetch/Allocate until Release or
// destruction. The buffer address is read from the page each time, because making a page
// private replaces its buffer.
class TTarnexBTreePage {
public:
  TTarnexBTreePage(TTarnexBTreeIndex& index, int32_t sessionID);
  ~TTarnexBTreePage();
  TTarnexBTreePage(const TTarnexBTreePage&) = delete;
  TTarnexBTreePage& operator=(const TTarnexBTreePage&) = delete;

  void Fetch(int32_t pageNo);  // checks the page out of the page manager
  void Allocate();             // a new page of the page manager
  void Release();              // ends this holder's use (no-op when nothing is held)
  // Release, then give the page number back to the page manager (freed at commit).
  void Free();
  bool Held() const { return Page_ != nullptr; }

  TTarnexBTreeIndex& Index() const { return Index_; }
  int32_t SessionID() const { return SessionID_; }
  int32_t PageNo() const;
  uint8_t* Buffer() const;
  int32_t BufferSize() const;

  // Header fields.
  bool IsRoot() const { return Buffer()[0] != 0; }
  bool IsLeaf() const { return Buffer()[1] != 0; }
  int32_t PrevPageNo() const { return ReadInt32(2); }
  int32_t NextPageNo() const { return ReadInt32(6); }
  bool EntryExtra() const { return Buffer()[11] != 0; }
  int32_t KeySize() const { return ReadUInt16(12); }
  int32_t EntryCount() const { return ReadUInt16(14); }
  int32_t HeaderExtra() const { return ReadUInt16(16); }
  void SetIsRoot(bool v) { Buffer()[0] = v ? 1 : 0; }
  void SetIsLeaf(bool v) { Buffer()[1] = v ? 1 : 0; }
  void SetPrevPageNo(int32_t v) { WriteInt32(2, v); }
  void SetNextPageNo(int32_t v) { WriteInt32(6, v); }
  void SetEntryExtra(bool v) { Buffer()[11] = v ? 1 : 0; }
  void SetEntryCount(int32_t v) { WriteUInt16(14, v); }

  // Writes the reset header (not root, not leaf, no links, no entries).
  void Reset();
  // Reset, then the first root of an empty tree: root, leaf, byte 10 = 1, the index's key size.
  void SetupFirstRoot();
  // Copies the header of `other` (key size, leaf flag, EntryExtra) onto this page: not root,
  // no links, no entries.
  void CopyHeaderFrom(const TTarnexBTreePage& other);

  int32_t HeaderSize() const { return TTarnexBTreeIndex::HeaderSize + HeaderExtra(); }
  // KeySize + payload (6 leaf, 4 node) + 6 when EntryExtra.
  int32_t EntrySize() const {
    return KeySize() + (IsLeaf() ? TTarnexRecordID::Size : 4) + (EntryExtra() ? TTarnexRecordID::Size : 0);
  }
  uint8_t* Entry(int32_t i) const { return Buffer() + HeaderSize() + i * EntrySize(); }
  const uint8_t* EntryKey(int32_t i) const { return Entry(i); }
  // The RecordID bytes that go with entry i: a leaf's payload, a node's extra bytes (all
  // zero when a node page carries none).
  const uint8_t* EntryRecordID(int32_t i) const;
  int32_t ChildPageNo(int32_t i) const;  // node entries only (20020 on a leaf)

  // Capacity tests of the page's nominal size (the page manager's page size).
  bool HasRoomForOne() const;
  bool Overflowed() const;
  bool Underfilled() const;
  bool FitsInto(const TTarnexBTreePage& neighbour) const;

  // Makes the page's buffer private and at least minSize bytes (never smaller than it is), and
  // marks the page changed. Every write to the page goes after this.
  void BeginChange(int32_t minSize = 0);

  // Entry edits (the page must be changing, see BeginChange).
  void InsertLeafEntry(int32_t pos, const uint8_t* key, const uint8_t* recordID);
  void InsertNodeEntry(int32_t pos, const uint8_t* key, int32_t childPageNo, const uint8_t* recordID);
  void RemoveEntry(int32_t pos);  // 20025 "Index error: page is empty" on an empty page
  // Replaces the (key, RecordID) pair of entry i (key: KeySize bytes, recordID: 6 bytes).
  void SetEntryPair(int32_t i, const uint8_t* key, const uint8_t* recordID);
  // Copies the (key, RecordID) pair of entry i into dest (KeySize + 6 bytes).
  void CopyEntryPair(int32_t i, uint8_t* dest) const;

  // Binary search over entries [lowest, EntryCount) by `columns` key columns.
  //   which: -1 first equal, +1 last equal, 0 any equal.  index OUT: found index or insertion point.
  bool SearchKey(const uint8_t* key, int32_t columns, int32_t lowest, int32_t which, int32_t& index) const;
  // Binary search over entries [lowest, EntryCount) by the full (key, RecordID) order.
  bool SearchEntry(const uint8_t* key, const uint8_t* recordID, int32_t lowest, int32_t& index) const;

  // The controller matching the page's leaf flag.
  TTarnexBTreePageController& Controller() const;

private:
  int32_t ReadInt32(int32_t offset) const {
    int32_t v;
    std::memcpy(&v, Buffer() + offset, 4);
    return v;
  }
  int32_t ReadUInt16(int32_t offset) const {
    uint16_t v;
    std::memcpy(&v, Buffer() + offset, 2);
    return v;
  }
  void WriteInt32(int32_t offset, int32_t v) { std::memcpy(Buffer() + offset, &v, 4); }
  void WriteUInt16(int32_t offset, int32_t v) {
    uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(Buffer() + offset, &w, 2);
  }

  TTarnexBTreeIndex& Index_;   // the owning index
  int32_t SessionID_;          // the session the page is checked out for
  TTarnexPage* Page_ = nullptr;  // the checked-out page, not owned (released by this holder)
};

// The recursive work on one kind of page, in slot order. Each call works on the subtree whose
// root is `page` (held by the caller).
class TTarnexBTreePageController {
public:
  explicit TTarnexBTreePageController(TTarnexBTreeIndex& index) : Index_(index) {}
  virtual ~TTarnexBTreePageController() = default;
  TTarnexBTreePageController(const TTarnexBTreePageController&) = delete;
  TTarnexBTreePageController& operator=(const TTarnexBTreePageController&) = delete;

  // Adds (op.Key, op.RecordID). True when the page split: op.Separator and op.NewPageNo then
  // hold the entry the parent must take after this page's entry.
  virtual bool InsertEntry(TTarnexBTreePage& page, TTarnexBTreeOperation& op) = 0;
  // Removes (op.Key, op.RecordID); level is the page's level on op.Path.
  virtual TTarnexBTreeDeleteOutcome DeleteEntry(TTarnexBTreePage& page, TTarnexBTreeOperation& op,
                                                int32_t level) = 0;
  // Frees every page below `page` and `page` itself (the holder is released).
  virtual void FreeSubtree(TTarnexBTreePage& page) = 0;
  // Integrity of the subtree; op.Path holds the pages above (cycle detection).
  virtual void CheckIntegrity(TTarnexBTreePage& page, TTarnexBTreeOperation& op) = 0;
  // The entry (op.Key, op.RecordID); pushes the route on op.Path.
  virtual bool Locate(TTarnexBTreePage& page, TTarnexBTreeOperation& op) = 0;
  virtual bool GoToFirst(TTarnexBTreePage& page, TTarnexBTreeOperation& op) = 0;
  virtual bool GoToLast(TTarnexBTreePage& page, TTarnexBTreeOperation& op) = 0;
  // The first (op.Forward) or last entry standing in op.Relation to op.Key over op.Columns.
  virtual bool SearchByRelation(TTarnexBTreePage& page, TTarnexBTreeOperation& op) = 0;
  // The smallest / greatest (key, RecordID) pair of the subtree into dest; false when empty.
  virtual bool CopyFirstKey(TTarnexBTreePage& page, uint8_t* dest) = 0;
  virtual bool CopyLastKey(TTarnexBTreePage& page, uint8_t* dest) = 0;

protected:
  // Splits an overflowed page; see TTarnexBTreeIndex::InsertKey.
  bool Split(TTarnexBTreePage& page, TTarnexBTreeOperation& op);
  // Merges an underfilled page into a neighbour when the union fits.
  TTarnexBTreeDeleteOutcome Rebalance(TTarnexBTreePage& page, TTarnexBTreeOperation& op, int32_t level);
  void PushLevel(TTarnexBTreeOperation& op, const TTarnexBTreePage& page, int32_t position);

  TTarnexBTreeIndex& Index_;  // the owning index
};

class TTarnexBTreeLeafController : public TTarnexBTreePageController {
public:
  using TTarnexBTreePageController::TTarnexBTreePageController;

  bool InsertEntry(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  TTarnexBTreeDeleteOutcome DeleteEntry(TTarnexBTreePage& page, TTarnexBTreeOperation& op,
                                        int32_t level) override;
  void FreeSubtree(TTarnexBTreePage& page) override;
  void CheckIntegrity(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool Locate(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool GoToFirst(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool GoToLast(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool SearchByRelation(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool CopyFirstKey(TTarnexBTreePage& page, uint8_t* dest) override;
  bool CopyLastKey(TTarnexBTreePage& page, uint8_t* dest) override;
};

class TTarnexBTreeNodeController : public TTarnexBTreePageController {
public:
  using TTarnexBTreePageController::TTarnexBTreePageController;

  bool InsertEntry(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  TTarnexBTreeDeleteOutcome DeleteEntry(TTarnexBTreePage& page, TTarnexBTreeOperation& op,
                                        int32_t level) override;
  void FreeSubtree(TTarnexBTreePage& page) override;
  void CheckIntegrity(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool Locate(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool GoToFirst(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool GoToLast(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool SearchByRelation(TTarnexBTreePage& page, TTarnexBTreeOperation& op) override;
  bool CopyFirstKey(TTarnexBTreePage& page, uint8_t* dest) override;
  bool CopyLastKey(TTarnexBTreePage& page, uint8_t* dest) override;

private:
  // The child a (key, RecordID) pair belongs to.
  int32_t ChildIndexFor(const TTarnexBTreePage& page, const uint8_t* key, const uint8_t* recordID) const;
  // Removes the entry of a merged-away child at pos, repairing separators above first.
  void RemoveChildEntry(TTarnexBTreePage& page, int32_t pos, TTarnexBTreeDeleteOutcome how,
                        TTarnexBTreeOperation& op, int32_t level);
};
