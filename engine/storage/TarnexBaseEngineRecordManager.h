// The record-manager contract of the table engine: how a table object stores its fixed-length
// record buffers and reads them back by record identity. Memory tables and temporary tables
// implement it (TarnexMemEngine, TarnexTempEngine); the table object is the only caller and
// holds its own lock around every call, so record managers do no locking of their own.
#pragma once

#include <cstdint>

#include "engine/storage/TarnexConst.h"

class TTarnexStream;

// Which record a navigation request asks for, relative to its RecordID.
enum class TNavigationDirection : uint8_t {
  Current = 0,  // the record at RecordID
  Next = 1,     // the record after RecordID
  Prior = 2,    // the record before RecordID
};

// How a navigation request was answered.
enum class TNavigationResult : uint8_t {
  Found = 0,        // RecordID and Buffer hold the record
  BeforeFirst = 1,  // BOF: no record before the position
  AfterLast = 2,    // EOF: no record after the position (also every read of an empty table)
  NoRecord = 3,     // the asked-for record does not exist
};

// One read, filled by the caller (a cursor) and answered by a record manager, an index or a
// record set.
struct TNavigationRequest {
  int32_t SessionID = 0;                                      // IN: the asking session
  TNavigationDirection Direction = TNavigationDirection::Current;  // IN
  int32_t IndexID = -1;          // IN: ObjectID of the index giving the order, -1 table order
  TTarnexRecordID RecordID;      // IN: the current position; OUT: the record found
  uint8_t* Buffer = nullptr;     // OUT: receives the record (RecordSize bytes); not owned
  bool GoFirst = false;          // IN: start before the first record; cleared when found
  bool GoLast = false;           // IN: start after the last record; cleared when found
  TNavigationResult Result = TNavigationResult::Found;  // OUT
};

// Base of the record managers: the record size, the live record count and the operations in
// their fixed slot order. Add, update and delete report failure by their result, never by
// raising; ReadRecord reports through the request's Result.
class TTarnexBaseRecordManager {
public:
  explicit TTarnexBaseRecordManager(int32_t recordSize) : RecordSize_(recordSize) {}
  virtual ~TTarnexBaseRecordManager() = default;
  TTarnexBaseRecordManager(const TTarnexBaseRecordManager&) = delete;
  TTarnexBaseRecordManager& operator=(const TTarnexBaseRecordManager&) = delete;

  int32_t RecordSize() const { return RecordSize_; }  // bytes per record buffer

  // Live records (RecordCount).
  virtual int64_t GetRecordCount() const;
  // Returns the manager to the empty state and frees its storage.
  virtual void Clear(int32_t sessionID) = 0;
  // Stores a copy of buffer (RecordSize bytes) as a new record.
  //   recordID  OUT: the new record's identity.
  // Returns false when the record could not be stored.
  virtual bool AddRecord(const uint8_t* buffer, TTarnexRecordID& recordID, int32_t sessionID) = 0;
  // Replaces the record at recordID with buffer. Base: false. The buffer may be adjusted
  // (BLOB ownership markers) before it is stored.
  virtual bool UpdateRecord(uint8_t* buffer, const TTarnexRecordID& recordID, int32_t sessionID);
  // Removes the record at recordID. Base: false.
  //   recordID  IN/OUT: a manager may move it to a neighbouring position.
  virtual bool DeleteRecord(TTarnexRecordID& recordID, int32_t sessionID);
  // True when a live record sits at recordID.
  virtual bool RecordExists(const TTarnexRecordID& recordID, int32_t sessionID) = 0;
  // Answers one navigation request in table order (see TNavigationRequest).
  virtual void ReadRecord(TNavigationRequest& request) = 0;
  // An estimate of the 1-based record number of recordID in table order (exact while no record
  // was deleted); -1 when there is no such position.
  virtual int64_t ApproxRecNo(const TTarnexRecordID& recordID, int32_t sessionID) = 0;
  // Binary stream form of all records. Base: nothing.
  virtual void LoadFromStream(TTarnexStream& stream);
  virtual void SaveToStream(TTarnexStream& stream);
  // Walks the stored records in table order without a navigation request. Base: nothing.
  //   buffer  OUT: receives the first live record at or after slot (RecordSize bytes).
  //   slot    IN: where to start (a slot or an ordinal); OUT: one past the record copied,
  //           or -1 when no record is left.
  virtual void LoadNextRecord(uint8_t* buffer, int64_t& slot);

protected:
  int32_t RecordSize_;       // bytes per record buffer, fixed at creation
  int64_t RecordCount_ = 0;  // live records
};
