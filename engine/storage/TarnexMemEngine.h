// Storage of memory tables: every record of a table in one contiguous block of the engine's
// memory manager, with a bitmap of deleted slots. A record's RecordID is its slot number
// (PageNo = slot, PageItemNo = 0); record numbers (1-based, in slot order) map to slots through
// the bitmap. Capacity grows in steps of AllocBy slots; the block behind it doubles its room when
// full, because every reallocation moves the whole block.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

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
