// Memory tables: the record store (every record of a table in one contiguous block of the
// engine's memory manager, with a bitmap of deleted slots), the table object and the in-memory
// database "MEMORY". A record's RecordID is its slot number
// (PageNo = slot, PageItemNo = 0); record numbers (1-based, in slot order) map to slots through
// the bitmap. Capacity grows in steps of AllocBy slots; the block behind it doubles its room when
// full, because every reallocation moves the whole block.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/storage/TarnexBaseEngine.h"
#include "engine/storage/TarnexBaseEngineRecordManager.h"

// ---------------------------------------------------------------------------------------------
// Memory record manager
// ---------------------------------------------------------------------------------------------

// A BLOB field of the table's records, as far as the record manager needs it to hand a stored
// record's BLOB blocks back to the table when the record is replaced.
struct TTarnexRecordBlobField {
  int32_t FieldNo = 0;       // 0-based position in the field list: its null-flag bit
  int32_t MemoryOffset = 0;  // start of the field's 8-byte slot in a record buffer
};

// Frees the BLOB block of field fieldNo held by the stored record storedRecord (the table's
// FreeBlob); storedRecord points into the record manager's block.
using TTarnexFreeStoredBlobProc = std::function<void(uint8_t* storedRecord, int32_t fieldNo)>;

class TTarnexMemoryRecordManager : public TTarnexBaseRecordManager {
public:
  // recordSize: bytes per record, below 1 raises 10011 "Invalid record size = %d".
  // allocBy: slots added each time the block is full (values below 1 add one slot).
  TTarnexMemoryRecordManager(int32_t recordSize, int32_t allocBy);
  ~TTarnexMemoryRecordManager() override;

  // Frees both blocks; Capacity, RecordCount, MinID and MaxID become 0.
  void Clear(int32_t sessionID) override;
  // Stores buffer at slot MaxID + 1 (slot 0 when the table is empty), growing the block by
  // AllocBy slots when it is full. recordID OUT: the slot. False on any failure (nil buffer,
  // allocation failure), the manager unchanged.
  bool AddRecord(const uint8_t* buffer, TTarnexRecordID& recordID, int32_t sessionID) override;
  // Copies buffer over the live record at recordID after reconciling BLOB blocks: a stored,
  // non-NULL BLOB whose field the new buffer sets NULL or replaces by a freshly written block
  // (marker 0x0F0F) is freed through the BLOB procedure; then every BLOB marker of buffer is
  // set to 0xF0F0. False for a slot without a live record or when freeing fails.
  bool UpdateRecord(uint8_t* buffer, const TTarnexRecordID& recordID, int32_t sessionID) override;
  // Marks the live record at recordID deleted. Deleting the record at MaxID lowers MaxID to the
  // previous live slot and sets recordID to it; deleting the last record resets MinID and MaxID
  // to 0 (numbering restarts at slot 0). False when there is no live record at recordID.
  bool DeleteRecord(TTarnexRecordID& recordID, int32_t sessionID) override;
  bool RecordExists(const TTarnexRecordID& recordID, int32_t sessionID) override;
  // Table order is slot order, deleted slots skipped. An empty table answers AfterLast to every
  // request. A found record is copied into request.Buffer (nil raises 10019 "Error retreiving
  // record") and its slot returned in request.RecordID.
  void ReadRecord(TNavigationRequest& request) override;
  // The record number of the slot estimated from MinID, MaxID and RecordCount; exact while no
  // record was deleted; -1 for an empty table or a slot outside MinID..MaxID.
  int64_t ApproxRecNo(const TTarnexRecordID& recordID, int32_t sessionID) override;
  // Copies the first live record at or after slot; slot OUT: one past it, or -1.
  void LoadNextRecord(uint8_t* buffer, int64_t& slot) override;

  // 1-based record number (in slot order) of slot: live slots up to and including it; -1 for a
  // slot outside 0..Capacity-1.
  int64_t SlotToRecordNumber(int32_t slot) const;
  // Slot of the 0-based record number n; -1 when n lies outside 0..RecordCount-1. A bitmap that
  // runs out before the record is found raises 10457 "Invalid bit no = %d, number of bits = %d".
  int32_t RecordNumberToSlot(int64_t n) const;

  // The table's BLOB fields and the procedure that frees a stored record's BLOB block; until
  // set, UpdateRecord reconciles nothing.
  void SetBlobFields(std::vector<TTarnexRecordBlobField> fields, TTarnexFreeStoredBlobProc freeBlob);

  int32_t Capacity() const { return Capacity_; }
  int32_t AllocBy() const { return AllocBy_; }
  int32_t MinID() const { return MinID_; }
  int32_t MaxID() const { return MaxID_; }
  bool NoDeletedRecords() const { return NoDeletedRecords_; }
  // True when slot lies inside the block and its deleted bit is set.
  bool IsSlotDeleted(int32_t slot) const;

private:
  bool IsLive(int32_t slot) const;  // inside MinID..MaxID with a clear deleted bit
  void SetDeleted(int32_t slot, bool deleted);
  // Capacity + AllocBy; when the blocks are full their room doubles (at least to the new
  // Capacity). Raises on allocation failure.
  void Grow();
  void CopyOut(int32_t slot, TNavigationRequest& request) const;

  uint8_t* RecordBlock_ = nullptr;    // owned (memory manager): BlockSlots x RecordSize bytes
  uint8_t* DeletedBitmap_ = nullptr;  // owned (memory manager): ceil(BlockSlots/8) bytes, 1 = deleted
  int32_t Capacity_ = 0;              // slots in use for records: grows by AllocBy
  int32_t BlockSlots_ = 0;            // slots the blocks have room for (at least Capacity)
  int32_t AllocBy_;                   // growth step in slots
  int32_t MinID_ = 0;                 // lowest live slot, 0 when empty
  int32_t MaxID_ = 0;                 // highest live slot, 0 when empty
  bool NoDeletedRecords_ = true;      // no delete yet: a record's number is its slot + 1
  std::vector<TTarnexRecordBlobField> BlobFields_;  // the table's BLOB fields, in field order
  TTarnexFreeStoredBlobProc FreeBlob_;              // frees a stored record's BLOB block
};

// ---------------------------------------------------------------------------------------------
// Memory tables and the in-memory database
// ---------------------------------------------------------------------------------------------

class TTarnexMemoryPageManager;

// A table of the in-memory database: records in a memory record manager, index pages in a memory
// page manager, BLOB values in memory blocks.
//
// BLOB slots. A BLOB field's 8-byte slot holds, little-endian: bytes 0-3 a 32-bit handle (0 = no
// block) into the table's block registry, bytes 4-5 the handle's 16-bit generation, bytes 6-7 the
// ownership marker (TarnexBlobOwnedMarker / TarnexBlobStoredMarker). A 64-bit address does not fit
// beside the marker; the registry also lets a stale or damaged slot be told from a live block
// (its generation no longer matches) instead of being followed. A block is a memory-manager block:
// [0] int32 uncompressed size, [4] int32 block size, [8] int32 block count of the compressed
// stream, [12] the compressed stream's bytes.
class TTarnexMemoryTableData : public TTarnexTableData {
public:
  // allocBy: the record manager's growth step (the creating cursor's AllocBy).
  TTarnexMemoryTableData(TTarnexDatabaseData* database, const std::string& tableName, int32_t allocBy);
  ~TTarnexMemoryTableData() override;  // empties the table and drops its trees, never raises

  TTarnexPageManager* GetPageManager() override;
  // A memory record manager (RecordSize, AllocBy) that hands replaced BLOB blocks to FreeBlob.
  void CreateRecordManager() override;
  // 10025 for no fields, 10421 for a BLOB field with BlobBlockSize 0; then the CreateTable
  // validations (11427-11434, 11431, 30325-30332, 30027, 30037-30040) and the autoincrement
  // sequences. The table takes the cursor's TableName.
  void CreateTable(TTarnexCursor* cursor, TTarnexFieldDefs* fieldDefs, TTarnexConstraintDefs* constraintDefs,
                   TTarnexIndexDefs* indexDefs) override;
  // 11494 when referenced with a delete action other than no action; 10072 "Cannot delete table
  // '%s'. Table is open by another dataset" while other cursors are open.
  void EmptyTable(TTarnexCursor* cursor) override;
  // 11491 "Cannot rename table '%s' to '%s' - table with such name already exists" when the
  // database has a table of that name (ignoring case); then as the base class.
  void RenameTable(TTarnexCursor* cursor, const std::string& newName) override;
  // Adopts the cursor's spelling of the table name, then as the base class.
  void AddCursor(TTarnexCursor* cursor) override;
  int64_t GetRecordIDBound() override;  // MaxID + 1
  int64_t RecordIDToInt64(const TTarnexRecordID& id) override;  // PageNo
  TTarnexRecordID Int64ToRecordID(int64_t value) override;      // PageNo, PageItemNo 0
  int32_t CompareRecordIDs(const TTarnexRecordID& a, const TTarnexRecordID& b) override;  // by PageNo
  // New value, write-only (mode 0), no buffer or a NULL field: an empty value; otherwise the
  // stored value. 10420 "Stream block size = 0 is not allowed" for a field with BlobBlockSize 0.
  std::unique_ptr<TTarnexLocalBLOBStream> OpenBlobStream(TTarnexCursor* cursor, bool newValue, uint8_t mode,
                                                         int32_t fieldNo) override;
  // An empty stream frees a block the buffer owns and sets the field NULL; otherwise a new block
  // replaces one the buffer owns (10117 on a short read of the stream), marked 0x0F0F.
  void WriteBlob(TTarnexCursor* cursor, int32_t fieldNo, TTarnexLocalBLOBStream& stream) override;
  // 10118 "Nil pointer occured" when the slot names no live block.
  void FreeBlob(uint8_t* recordBuffer, int32_t fieldNo) override;
  // 10010 without record manager, 10018 without cursor buffer ("Nil pointer occured").
  bool InsertRecord(TTarnexCursor* cursor) override;
  bool DeleteRecord(TTarnexCursor* cursor) override;
  bool UpdateRecord(TTarnexCursor* cursor) override;
  // 11311 "Invalid record count = %d. Limit is %d" for a record set larger than the table; 11466
  // for a record that cannot be read.
  void DeleteAllRecords(TTarnexCursor* cursor) override;
  void SetRecNoInTableOrder(TTarnexCursor* cursor, int64_t recNo) override;
  int64_t GetRecNoInTableOrder(TTarnexCursor* cursor) override;
  int64_t GetRecordCount() override;
  int64_t GetLastAutoinc(const TTarnexFieldDef& field, TTarnexBaseSession* session) override;
  void SetLastAutoinc(const TTarnexFieldDef& field, int64_t value) override;

  int32_t AllocBy() const { return AllocBy_; }
  int64_t RecordsToLoad() const { return RecordsToLoad_; }
  TTarnexMemoryRecordManager* MemoryRecordManager() const;
  // BLOB blocks currently held (every record's and every unposted buffer's).
  int32_t BlobBlockCount() const { return BlobBlockCount_; }

protected:
  void FreeAllBlobs() override;
  bool StoreUpdatedRecord(TTarnexCursor* cursor, int32_t sessionID, const TTarnexRecordID& id,
                          const uint8_t* oldStored, uint8_t* newBuffer) override;

private:
  struct TBlobEntry {
    uint8_t* Block = nullptr;  // owned (memory manager); nil while the handle is free
    uint16_t Generation = 0;   // bumped each time the handle is freed
  };
  // The live block a slot names, or nil.
  uint8_t* BlobBlockOf(const uint8_t* recordBuffer, const TTarnexFieldDef& field) const;
  // Registers block (taken over) and writes its handle and generation into the slot.
  void StoreBlobBlock(uint8_t* recordBuffer, const TTarnexFieldDef& field, uint8_t* block);
  // Frees the block the slot names (false when it names none) and clears the slot's handle.
  bool ReleaseBlobBlock(uint8_t* recordBuffer, const TTarnexFieldDef& field);
  // Before storing buffer (over stored, when updating): a non-NULL BLOB slot that is neither the
  // buffer's own fresh block nor the stored record's block belongs to another record, so it gets
  // its own copy (marked as the buffer's), never a shared block.
  void AdoptForeignBlobs(uint8_t* buffer, const uint8_t* stored);
  // Frees the blocks of every non-NULL BLOB field of a stored record image.
  void FreeRecordBlobs(uint8_t* stored);

  int32_t AllocBy_;
  std::unique_ptr<TTarnexMemoryPageManager> PageManager_;  // owned: pages of the table's trees
  int64_t RecordsToLoad_ = 0;                              // used by a stream load only
  std::vector<TBlobEntry> BlobBlocks_;                     // owned blocks; handle = index + 1
  std::vector<uint32_t> FreeBlobHandles_;                  // handles to reuse
  int32_t BlobBlockCount_ = 0;
};

// The in-memory database "MEMORY": the owner of every application table.
class TTarnexMemoryDatabaseData : public TTarnexDatabaseData {
public:
  TTarnexMemoryDatabaseData();
  // Drops every table (no session, foreign keys ignored; a table that refuses is freed anyway),
  // then as the base class.
  ~TTarnexMemoryDatabaseData() override;

  // SessionID := 0, then as the base class.
  void AddSession(TTarnexBaseSession* session) override;
  // A new TTarnexMemoryTableData named cursor->TableName, growing by cursor->AllocBy.
  TTarnexTableData* CreateTableData(TTarnexCursor* cursor) override;
};
