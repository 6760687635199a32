// The engine's index structure: a B+-tree per index, kept in the fixed-size pages of the table's
// page manager, mapping the key built from a record's indexed fields to the record's 6-byte
// RecordID. The table's index manager keeps keys in step with the records; cursors walk, locate
// and number records through it; the search planner scans and prices key ranges with it.
//
// Entries are ordered by key and, among equal keys, by RecordID (the six bytes read as a
// little-endian number), so every entry has one place and is found by one root-to-leaf search.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/access/TarnexTypes.h"
#include "engine/access/TarnexTypesRoutines.h"
#include "engine/storage/TarnexBaseDefs.h"
#include "engine/storage/TarnexBaseEngineRecordManager.h"
#include "engine/storage/TarnexConst.h"

class TTarnexPageManager;        // pages of the tree (TarnexPage.h)
class TTarnexBaseIndexManager;   // the table's index manager, owner of the index objects
class TTarnexBTreePageController;
class TTarnexBTreeLeafController;
class TTarnexBTreeNodeController;
struct TTarnexBTreeOperation;    // working state of one tree operation (internal)

// ---------------------------------------------------------------------------------------------
// Key layout
// ---------------------------------------------------------------------------------------------

// One column of a key: where its marker and value bytes sit in the key and in a record buffer.
struct TTarnexBTreeKeyColumn {
  int32_t KeyOffset = 0;     // offset of the column's marker byte inside the key
  int32_t RecordOffset = 0;  // the field's MemoryOffset in a record buffer
  int32_t FieldNo = 0;       // the field's position in the field list (its null flag)
  int32_t ColumnSize = 0;    // 1 (marker) + the field's MemoryDataSize
  TTarnexDataType DataType = TTarnexDataType::Unknown;  // the field's storage type
  bool Descending = false;       // the column sorts high to low (nulls last)
  bool CaseInsensitive = false;  // text compares ignoring case
  bool NarrowText = false;       // Char or Varchar: equal texts are recognised without the collation
};

// The byte layout of the keys of one index. A key is KeySize bytes: per column a marker byte
// (1 = the field is null, 0 = a value follows) and the field's MemoryDataSize bytes copied from
// the record buffer. Keys compare column by column in place with the engine's value comparison
// (locale collation, the column's case mode; a null sorts before every value and equals a null;
// a descending column reverses the result); no allocation is made per comparison.
class TTarnexBTreeKeyRef {
public:
  TTarnexBTreeKeyRef() = default;

  // Lays the key out for `indexDef` over the table's fields. A nil field list raises 20045
  // "Pointer is nil"; a column whose field is not in the list raises 20043 "Cannot find index
  // field '%s'" (the column's field name). CompareColumns becomes the column count.
  void Build(const TTarnexIndexDef& indexDef, const TTarnexFieldDefs* fieldDefs);

  // Writes the key of recordBuffer into key (KeySize bytes; the bytes after a null marker are 0).
  void MakeKey(const uint8_t* recordBuffer, uint8_t* key) const;
  // -1, 0 or +1: the first `columns` columns of key a against key b (columns is clamped to
  // 0..ColumnCount()).
  int32_t CompareKeys(const uint8_t* a, const uint8_t* b, int32_t columns) const;
  // CompareKeys over CompareColumns columns.
  int32_t CompareKeys(const uint8_t* a, const uint8_t* b) const { return CompareKeys(a, b, CompareColumns); }
  // Full-key comparison, then the two 6-byte RecordIDs as numbers: the order of the entries.
  int32_t CompareEntries(const uint8_t* keyA, const uint8_t* recordIDA, const uint8_t* keyB,
                         const uint8_t* recordIDB) const;

  int32_t ColumnCount() const { return static_cast<int32_t>(Columns.size()); }

  std::vector<TTarnexBTreeKeyColumn> Columns;  // one per index column, in key order
  int32_t KeySize = 0;          // sum of the column sizes
  int32_t CompareColumns = 0;   // leading columns that take part in CompareKeys(a, b)
  int32_t PositionSize = TTarnexRecordID::Size;  // bytes of a RecordID (6)
};

// ---------------------------------------------------------------------------------------------
// Key paths and scan positions
// ---------------------------------------------------------------------------------------------

// One level of a key path: a page, the entry index on it, and its entry count when recorded.
struct TTarnexKeyPathLevel {
  int32_t PageNo = -1;
  int32_t Position = 0;
  int32_t Count = 0;
};

// The route from the root (level 0) to one leaf entry (level Depth - 1).
struct TTarnexKeyPath {
  static constexpr int32_t MaxDepth = 32;  // the tree never gets deeper
  TTarnexKeyPathLevel Levels[MaxDepth];
  int32_t Depth = 0;  // levels in use
  int32_t Level = 0;  // a cursor into the levels while splits and merges walk back up

  void Clear() { Depth = 0; Level = 0; }
};

// Where a range scan (ScanRange) stands between calls.
struct TTarnexScanPosition {
  bool Started = false;        // a record of the range has been returned
  bool Forward = true;         // the direction of the scan
  bool BeforeStart = false;    // the current path is the range's start, not yet returned
  TTarnexKeyPath Path;         // the current entry
  std::unique_ptr<TTarnexKeyPath> EndPath;  // owned; the range's last entry, nil when no end
};

// ---------------------------------------------------------------------------------------------
// Index base
// ---------------------------------------------------------------------------------------------

// The abstract index of a table: its own copy of the index definition and the index manager
// that owns it. Every operation that touches pages takes the calling session's ID; every page
// read is released again before the operation returns, also on errors.
class TTarnexIndex {
public:
  // indexManager: not owned, may be nil (an index used on its own).
  explicit TTarnexIndex(TTarnexBaseIndexManager* indexManager);
  virtual ~TTarnexIndex();
  TTarnexIndex(const TTarnexIndex&) = delete;
  TTarnexIndex& operator=(const TTarnexIndex&) = delete;

  // --- virtual operations, in slot order ---

  // Sets up a new index over the table's existing records. Base: takes a copy of definition.
  //   newDefinition  OUT, may be nil: the table's copy, receives the new RootPageNo.
  virtual void CreateIndex(const TTarnexIndexDef& definition, TTarnexIndexDef* newDefinition,
                           int32_t sessionID);
  // Frees every page of the tree (children before their parent); RootPageNo becomes -1.
  virtual void DropIndex(int32_t sessionID) = 0;
  // Attaches to an existing tree described by definition. Base: takes a copy of definition.
  virtual void OpenIndex(const TTarnexIndexDef& definition);
  // Cursor navigation in index order (see TTarnexBTreeIndex::GetRecord).
  virtual void GetRecord(int32_t sessionID, TNavigationRequest& request) = 0;
  // A new empty key path, owned by the caller.
  virtual std::unique_ptr<TTarnexKeyPath> CreatePath() = 0;
  // Frees path and clears the reference.
  virtual void FreePath(std::unique_ptr<TTarnexKeyPath>& path) = 0;
  // Finds the entry with recordBuffer's key and exactly recordID.
  //   path  OUT: the route to the entry. Returns false when there is none or the tree is empty.
  virtual bool LocateEntry(int32_t sessionID, const TTarnexRecordID& recordID, TTarnexKeyPath& path,
                           const uint8_t* recordBuffer) = 0;
  // -1, 0 or +1: the order of two paths of this tree.
  virtual int32_t ComparePaths(const TTarnexKeyPath* a, const TTarnexKeyPath* b) = 0;
  // The 1-based place of the record in index order; -1 when its entry is not found.
  //   recordSet  IN, may be nil: when given, only its members are counted (pass the cursor's
  //              record set only while it is active).
  virtual int64_t GetRecNo(int32_t sessionID, const TTarnexRecordID& recordID,
                           const TTarnexRecordIDArray* recordSet, const uint8_t* recordBuffer) = 0;
  // The record at the 1-based place recNo (counting as GetRecNo).
  //   recordID  OUT: the record found.
  virtual void GetRecordAtRecNo(int32_t sessionID, const TTarnexRecordIDArray* recordSet,
                                TTarnexRecordID& recordID, int64_t recNo) = 0;
  // Removes from recordSet every member whose key equals the key of the previous member kept,
  // in index order (the first member of each run of equal keys stays).
  virtual void RemoveDuplicateKeys(int32_t sessionID, TTarnexRecordIDArray* recordSet) = 0;
  // A new scan position, owned by the caller.
  virtual std::unique_ptr<TTarnexScanPosition> CreateScanPosition() = 0;
  // Frees position and clears the reference.
  virtual void FreeScanPosition(std::unique_ptr<TTarnexScanPosition>& position) = 0;
  // The next record of a key range (see TTarnexBTreeIndex::ScanRange).
  virtual bool ScanRange(int32_t sessionID, bool restart, TTarnexScanPosition* position,
                         TTarnexRecordID& recordID, const uint8_t* currentRecordBuffer,
                         const TTarnexScanSearchCondition* endCondition,
                         const TTarnexScanSearchCondition* startCondition, bool forward) = 0;
  // -1, 0 or +1: the keys of two record buffers over their first columnCount columns.
  virtual int32_t CompareRecordKeys(const uint8_t* recordBufferA, const uint8_t* recordBufferB,
                                    int32_t columnCount) = 0;
  // -1 for a lower bound (greater, greater-or-equal), +1 for an upper bound (less,
  // less-or-equal), 0 otherwise.
  virtual int32_t ConditionDirection(const TTarnexScanSearchCondition* condition) = 0;
  // Estimated number of records between two bounds (either may be nil: no bound).
  virtual int64_t EstimateRangeCount(int32_t sessionID, const TTarnexScanSearchCondition* condition1,
                                     const TTarnexScanSearchCondition* condition2,
                                     int64_t recordCount) = 0;
  // True when a record with recordBuffer's key may be added: the tree is empty, the index is
  // neither Unique nor Primary, or no entry has an equal key (nulls equal nulls).
  virtual bool IsKeyUnique(int32_t sessionID, const uint8_t* recordBuffer) = 0;
  // True when the old and new keys are equal, else IsKeyUnique for the new record.
  virtual bool IsKeyUniqueForUpdate(int32_t sessionID, const uint8_t* oldRecordBuffer,
                                    const uint8_t* newRecordBuffer) = 0;
  // Adds the entry (recordBuffer's key, recordID). The first entry creates the root page.
  virtual void InsertKey(int32_t sessionID, const uint8_t* recordBuffer, const TTarnexRecordID& recordID) = 0;
  // Removes the entry (recordBuffer's key, recordID): build the key from the stored record.
  // 20027 "Index error: cannot delete entry. Entry not found" when there is none.
  virtual void DeleteKey(int32_t sessionID, const uint8_t* recordBuffer, const TTarnexRecordID& recordID) = 0;
  // Moves the entry of recordID from oldRecordBuffer's key to newRecordBuffer's key; nothing
  // happens when the keys are equal. 20027 when the old entry is missing.
  virtual void UpdateKey(int32_t sessionID, const uint8_t* oldRecordBuffer,
                         const uint8_t* newRecordBuffer, const TTarnexRecordID& recordID) = 0;

  // --- state ---

  // The index's own copy of its definition (RootPageNo is kept up to date here; the table
  // copies it into its list after changes).
  const TTarnexIndexDef& IndexDef() const { return IndexDef_; }
  TTarnexBaseIndexManager* IndexManager() const { return IndexManager_; }
  bool IsTemporary() const { return IsTemporary_; }  // copied from the definition's Temporary

protected:
  void AttachDefinition(const TTarnexIndexDef& definition);

  TTarnexIndexDef IndexDef_;                  // own copy of the definition
  TTarnexBaseIndexManager* IndexManager_;     // not owned
  bool IsTemporary_ = false;
};

// ---------------------------------------------------------------------------------------------
// B-tree index
// ---------------------------------------------------------------------------------------------

// The B+-tree implementation of TTarnexIndex. Page layout (little-endian): [0] IsRoot,
// [1] IsLeaf, [2] int32 PrevPageNo, [6] int32 NextPageNo (-1 = none), [10] first-root flag,
// [11] EntryExtra, [12] uint16 KeySize, [14] uint16 EntryCount, [16] uint16 HeaderExtra, then
// the entries sorted. A leaf entry is (key, RecordID); a node entry is (key, int32 child page)
// and, because node pages set EntryExtra, the RecordID that goes with the key: the pair is the
// smallest entry of the child's subtree when the entry was made (a node's first pair is never
// compared). The root keeps its page number for the life of the tree and is never merged.
class TTarnexBTreeIndex : public TTarnexIndex {
public:
  static constexpr int32_t HeaderSize = 18;  // bytes before the entries (HeaderExtra is 0)

  // fieldDefs: the table's fields (not owned). pageManager: where the pages live (the table's
  // page manager, or its temporary one for a Temporary index; not owned). recordManager: the
  // table's records, read by CreateIndex and GetRecord (not owned; may be nil for an index that
  // only maintains keys). indexManager: not owned, may be nil.
  TTarnexBTreeIndex(TTarnexBaseIndexManager* indexManager, const TTarnexFieldDefs* fieldDefs,
                    TTarnexPageManager* pageManager, TTarnexBaseRecordManager* recordManager);
  ~TTarnexBTreeIndex() override;

  // Builds the key layout, allocates the first root, stores its number as RootPageNo in both
  // definitions, then walks the record manager from the first record in table order and
  // inserts every record's key. 20044 "Pointer is nil" without a record manager.
  void CreateIndex(const TTarnexIndexDef& definition, TTarnexIndexDef* newDefinition,
                   int32_t sessionID) override;
  void DropIndex(int32_t sessionID) override;
  // Builds the key layout only.
  void OpenIndex(const TTarnexIndexDef& definition) override;
  // request.Direction Next or Prior (Current raises 20053 "Invalid get record mode for index:
  // grmCurrent"). An empty tree answers AfterLast. GoFirst: Next gives the first entry, Prior
  // answers BeforeFirst; GoLast: Prior gives the last entry, Next answers AfterLast; otherwise
  // the entry of (request.Buffer's key, request.RecordID) is located and stepped. Locating or
  // first/last failing answers NoRecord. Found: both flags cleared, request.RecordID set and
  // the record read into request.Buffer by the record manager. A failed step answers AfterLast
  // with GoLast set (Next) or BeforeFirst with GoFirst set (Prior).
  void GetRecord(int32_t sessionID, TNavigationRequest& request) override;
  std::unique_ptr<TTarnexKeyPath> CreatePath() override;
  void FreePath(std::unique_ptr<TTarnexKeyPath>& path) override;
  bool LocateEntry(int32_t sessionID, const TTarnexRecordID& recordID, TTarnexKeyPath& path,
                   const uint8_t* recordBuffer) override;
  // Paths of different depth raise 20051 "Invalid index key path"; paths that reach different
  // pages below equal positions raise 20052 (same message); a nil path raises 10384 (a) or
  // 10385 (b) "Nil pointer occured".
  int32_t ComparePaths(const TTarnexKeyPath* a, const TTarnexKeyPath* b) override;
  // Linear in the number of leaf pages left of the record.
  int64_t GetRecNo(int32_t sessionID, const TTarnexRecordID& recordID,
                   const TTarnexRecordIDArray* recordSet, const uint8_t* recordBuffer) override;
  // recNo below 1 counts as 1. An empty tree raises 20074 "Cannot retreive record from empty
  // index"; fewer counted entries than recNo raise 20075 "Cannot set RecNo greater than
  // RecordCount".
  void GetRecordAtRecNo(int32_t sessionID, const TTarnexRecordIDArray* recordSet,
                        TTarnexRecordID& recordID, int64_t recNo) override;
  // A nil recordSet raises 20076 "Pointer is nil".
  void RemoveDuplicateKeys(int32_t sessionID, TTarnexRecordIDArray* recordSet) override;
  std::unique_ptr<TTarnexScanPosition> CreateScanPosition() override;
  void FreeScanPosition(std::unique_ptr<TTarnexScanPosition>& position) override;
  // One step of a range scan.
  //   restart    IN: begin at the range's start (a started position raises 20078 "Index error:
  //              invalid params"); the start record itself is returned.
  //   position   IN/OUT: the scan's state; nil raises 20077 "Pointer is nil".
  //   recordID   IN: the current record (used when a position that has not started continues
  //              from a cursor's record); OUT: the record found.
  //   currentRecordBuffer  IN: the current record, for locating it as above (may be nil when
  //              restarting).
  //   endCondition, startCondition  IN, may be nil: the bounds; the start is searched in scan
  //              direction (first/last match), the end in the opposite one.
  //   forward    IN: the scan direction.
  // Returns false at the end of the range (also for an empty range); records beyond the end
  // bound are never returned.
  bool ScanRange(int32_t sessionID, bool restart, TTarnexScanPosition* position,
                 TTarnexRecordID& recordID, const uint8_t* currentRecordBuffer,
                 const TTarnexScanSearchCondition* endCondition,
                 const TTarnexScanSearchCondition* startCondition, bool forward) override;
  int32_t CompareRecordKeys(const uint8_t* recordBufferA, const uint8_t* recordBufferB,
                            int32_t columnCount) override;
  int32_t ConditionDirection(const TTarnexScanSearchCondition* condition) override;
  // 0 for an empty tree. The condition with ConditionDirection < 0 is the lower bound (else
  // condition2 is); the first entry satisfying it and the last entry satisfying the other are
  // searched (each over its own KeyFieldCount); either failing gives 0. Otherwise
  // round((place of the last - place of the first) * recordCount), within 0..recordCount,
  // where the place of a path is the mixed-radix fraction of its positions.
  int64_t EstimateRangeCount(int32_t sessionID, const TTarnexScanSearchCondition* condition1,
                             const TTarnexScanSearchCondition* condition2,
                             int64_t recordCount) override;
  bool IsKeyUnique(int32_t sessionID, const uint8_t* recordBuffer) override;
  bool IsKeyUniqueForUpdate(int32_t sessionID, const uint8_t* oldRecordBuffer,
                            const uint8_t* newRecordBuffer) override;
  // Splits a page that overflows into halves [0, n div 2) and [n div 2, n) (the root moves
  // both halves to new pages and becomes a node over them).
  void InsertKey(int32_t sessionID, const uint8_t* recordBuffer, const TTarnexRecordID& recordID) override;
  // An underfilled page (less than half full, never the root) is merged into its left, else its
  // right neighbour on the same level when their union fits; separators above are repaired.
  void DeleteKey(int32_t sessionID, const uint8_t* recordBuffer, const TTarnexRecordID& recordID) override;
  void UpdateKey(int32_t sessionID, const uint8_t* oldRecordBuffer, const uint8_t* newRecordBuffer,
                 const TTarnexRecordID& recordID) override;

  // --- not in the slot table ---

  // Checks every page: entries in order (20028 leaf, 20029 node "Index integrity violated.
  // PageNo=%d EntryNo=%d"); each node entry not below the last entry of the previous child
  // (20030) and not above the first entry of its own child (20031); no page twice on one path
  // (20032 "Index integrity violated. Circular links. PageNo=%d EntryNo=%d"); children linked
  // to their siblings (20033 previous, 20034 next: "Index integrity violated. Invlaid leaf
  // link. PageNo=%d EntryNo=%d").
  void CheckIntegrity(int32_t sessionID);

  // First / last entry of the tree; false for an empty tree or an empty first/last leaf.
  bool First(int32_t sessionID, TTarnexKeyPath& path);
  bool Last(int32_t sessionID, TTarnexKeyPath& path);
  // Steps path to the next / previous entry in index order (empty leaves are skipped); false
  // at the end. An empty path raises 20069 "Index error: invalid position"; a missing level
  // link raises 20070 (next) / 20071 (previous) "Index error: invalid page number".
  bool Next(int32_t sessionID, TTarnexKeyPath& path);
  bool Prior(int32_t sessionID, TTarnexKeyPath& path);
  // The RecordID at the path's leaf position; an empty path raises 20068 "Index error: invalid
  // position".
  TTarnexRecordID PathRecordID(int32_t sessionID, const TTarnexKeyPath& path);

  // True while the tree holds no entry: no root page, or a root page without entries.
  bool IsEmpty(int32_t sessionID);

  const TTarnexBTreeKeyRef& KeyRef() const { return KeyRef_; }
  int32_t RootPageNo() const { return IndexDef_.RootPageNo; }
  int32_t PageSize() const;  // the page manager's page size
  // Bytes of one entry on a leaf page (KeySize + 6) and on a node page (KeySize + 4 + 6).
  int32_t LeafEntrySize() const { return KeyRef_.KeySize + TTarnexRecordID::Size; }
  int32_t NodeEntrySize() const { return KeyRef_.KeySize + 4 + TTarnexRecordID::Size; }
  TTarnexPageManager* PageManager() const { return PageManager_; }
  const TTarnexFieldDefs* FieldDefs() const { return FieldDefs_; }

private:
  // The path to the first (last = false) or last entry; false when the index is empty.
  bool GoToEnd(int32_t sessionID, TTarnexKeyPath& path, bool last);
  friend class TTarnexBTreePage;
  friend class TTarnexBTreeLeafController;
  friend class TTarnexBTreeNodeController;

  // Searches from the root for the first (forward) or last entry standing in `relation` to key
  // over its `columns` leading columns (CompareColumns is narrowed meanwhile); fills path.
  bool SearchRelation(int32_t sessionID, const uint8_t* key, int32_t columns, TTarnexScanRelation relation,
                      bool forward, TTarnexKeyPath& path);
  // SearchRelation with the key built from condition's KeyBuffer and its KeyFieldCount; false
  // for a relation without a buffer.
  bool SearchCondition(int32_t sessionID, const TTarnexScanSearchCondition& condition, bool forward,
                       TTarnexKeyPath& path);
  // The entry (key, recordID) by one root-to-leaf descent.
  bool LocateKey(int32_t sessionID, const uint8_t* key, const TTarnexRecordID& recordID, TTarnexKeyPath& path);
  void InsertEntryKey(int32_t sessionID, const uint8_t* key, const TTarnexRecordID& recordID);
  void DeleteEntryKey(int32_t sessionID, const uint8_t* key, const TTarnexRecordID& recordID);
  int32_t LeftmostLeaf(int32_t sessionID);  // page number of the first leaf, -1 for no tree
  // The approximate place of a path in index order, in [0, 1).
  static double PathPlace(const TTarnexKeyPath& path);
  // Allocates the first root of an empty tree and records it as RootPageNo.
  void InitRootPage(int32_t sessionID);

  // The path of the entry GetRecord last answered with, so that the next step from that record
  // need not search for it again. Valid while ChangeCount_ has not moved and the leaf still
  // holds that RecordID at the path's position.
  struct TLastStep {
    bool Valid = false;
    uint64_t ChangeCount = 0;       // ChangeCount_ when recorded
    TTarnexRecordID RecordID;       // the record answered
    TTarnexKeyPath Path;            // its entry
  };
  bool TakeLastStep(int32_t sessionID, const TTarnexRecordID& recordID, TTarnexKeyPath& path);

  TTarnexBTreeKeyRef KeyRef_;                     // key layout of this index
  uint64_t ChangeCount_ = 0;                      // bumped by every change of the tree
  TLastStep LastStep_;                            // see TLastStep
  const TTarnexFieldDefs* FieldDefs_;             // not owned
  TTarnexPageManager* PageManager_;               // not owned
  TTarnexBaseRecordManager* RecordManager_;       // not owned, may be nil
  std::unique_ptr<TTarnexBTreeLeafController> LeafController_;  // owned; works on leaf pages
  std::unique_ptr<TTarnexBTreeNodeController> NodeController_;  // owned; works on node pages
};
