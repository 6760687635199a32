// Temporary tables (query results and other scratch tables), their record store and the
// temporary database "TEMP". The store keeps append-only rows in memory up to a limit and beyond
// it in a temporary spill file. A row's RecordID holds its
// 0-based ordinal in the six bytes, low bytes first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/TarnexBaseEngine.h"
#include "engine/storage/TarnexBaseEngineRecordManager.h"

class TTarnexFileStream;

// ---------------------------------------------------------------------------------------------
// Temporary record manager
// ---------------------------------------------------------------------------------------------

class TTarnexTemporaryRecordManager : public TTarnexBaseRecordManager {
public:
  // recordSize: bytes per row, below 1 raises 10124 "Invalid record size = %d".
  // growBy: rows added to the memory block each time it is full (values below 1 add one row).
  // writeBufferCapacity: rows the write buffer holds (0 becomes 1).
  // The memory limit is (available physical memory / 10) / recordSize rows.
  TTarnexTemporaryRecordManager(int32_t recordSize, int32_t growBy, int32_t writeBufferCapacity);
  // As above with an explicit memory limit in rows (0: every row goes to the spill file).
  TTarnexTemporaryRecordManager(int32_t recordSize, int32_t growBy, int32_t writeBufferCapacity,
                                int32_t memoryLimit);
  // Closes and deletes the spill file.
  ~TTarnexTemporaryRecordManager() override;

  // Empties the manager: frees the memory block, closes and deletes the spill file.
  void Clear(int32_t sessionID) override;
  // Appends buffer as row RecordCount: into the memory block while it has room or may still grow
  // up to the memory limit, else into the spill file through the write buffer (created on first
  // need). recordID OUT: the row's ordinal. False on any failure.
  bool AddRecord(const uint8_t* buffer, TTarnexRecordID& recordID, int32_t sessionID) override;
  // True for an ordinal from 0 to RecordCount - 1.
  bool RecordExists(const TTarnexRecordID& recordID, int32_t sessionID) override;
  // Table order is ordinal order. Rows from the spill file are read after the write buffer has
  // been written out: 10129 (seek), 10130 (short read), 10127 "Error retreiving record" for any
  // other failure (a nil Buffer); writing out the buffer raises 10126, 10128 or 10125.
  void ReadRecord(TNavigationRequest& request) override;
  // Ordinal + 1 for an existing row, else -1.
  int64_t ApproxRecNo(const TTarnexRecordID& recordID, int32_t sessionID) override;
  // Copies row slot (an ordinal; negative starts at 0); slot OUT: the next ordinal, or -1.
  void LoadNextRecord(uint8_t* buffer, int64_t& slot) override;

  int32_t MemoryCapacity() const { return MemoryCapacity_; }
  int32_t MemoryRecordCount() const { return MemoryRecordCount_; }
  int32_t MemoryLimit() const { return MemoryLimit_; }
  int32_t GrowBy() const { return GrowBy_; }
  int32_t WriteBufferCapacity() const { return WriteBufferCapacity_; }
  int32_t WriteBufferCount() const { return WriteBufferCount_; }
  // Path of the spill file; empty while no row has spilled.
  const std::string& TempFileName() const { return TempFileName_; }

private:
  void CreateTempFile();
  void CloseTempFile() noexcept;  // closes and deletes the spill file, if any
  // Writes the rows waiting in the write buffer to their place in the spill file.
  void FlushWriteBuffer();
  // Copies row `ordinal` (below RecordCount) into request.Buffer and answers Found.
  void CopyOut(int64_t ordinal, TNavigationRequest& request);
  void CopyRow(int64_t ordinal, uint8_t* buffer);

  uint8_t* MemoryBlock_ = nullptr;  // owned (memory manager): MemoryCapacity rows back to back
  int32_t MemoryCapacity_ = 0;      // rows allocated in MemoryBlock_
  int32_t MemoryRecordCount_ = 0;   // rows held in MemoryBlock_: ordinals 0..MemoryRecordCount-1
  int32_t MemoryLimit_;             // most rows ever held in memory
  int32_t GrowBy_;                  // memory block growth step in rows
  uint8_t* WriteBuffer_ = nullptr;  // owned (memory manager): WriteBufferCapacity rows
  int32_t WriteBufferCapacity_;     // rows WriteBuffer_ holds
  int32_t WriteBufferCount_ = 0;    // rows waiting in WriteBuffer_ (the newest spilled ordinals)
  std::unique_ptr<TTarnexFileStream> TempFile_;  // owned spill file: row o at (o - MemoryRecordCount) x RecordSize
  std::string TempFileName_;                     // its path, deleted with it
};

// ---------------------------------------------------------------------------------------------
// Temporary tables and the temporary database
// ---------------------------------------------------------------------------------------------

class TTarnexTemporaryPageManager;

// A table of the temporary database: append-only rows in a temporary record manager, index pages
// in a temporary page manager, BLOB values appended to a temporary file (BlobFile). A BLOB field's
// 8-byte slot holds the file position of its value: a 20-byte header (int32 uncompressed size,
// int32 block size, int32 block count, int64 compressed length) followed by the compressed bytes.
// Rows are never updated or deleted one by one; the table drops itself when its last cursor
// closes unless that cursor keeps it.
class TTarnexTemporaryTableData : public TTarnexTableData {
public:
  TTarnexTemporaryTableData(TTarnexDatabaseData* database, const std::string& tableName, int32_t growBy,
                            int32_t writeBufferCapacity);
  ~TTarnexTemporaryTableData() override;  // drops the trees, closes and deletes its files

  TTarnexPageManager* GetPageManager() override;
  void CreateRecordManager() override;  // RecordSize, GrowBy, WriteBufferCapacity
  // As the memory table's validations, with 10132 for no fields and 11333 for a BLOB field with
  // BlobBlockSize 0; 11426 "Foreign keys are not supported in temporary tables". No sequences.
  void CreateTable(TTarnexCursor* cursor, TTarnexFieldDefs* fieldDefs, TTarnexConstraintDefs* constraintDefs,
                   TTarnexIndexDefs* indexDefs) override;
  // 10072 while other cursors are open; then the BLOB file is deleted and every row removed.
  void EmptyTable(TTarnexCursor* cursor) override;
  // The last cursor leaving without keepTable drops the table (DropTable, freeing it).
  void RemoveCursor(TTarnexCursor* cursor, bool keepTable = false) override;
  int64_t RecordIDToInt64(const TTarnexRecordID& id) override;  // the six bytes as a number
  TTarnexRecordID Int64ToRecordID(int64_t value) override;
  int32_t CompareRecordIDs(const TTarnexRecordID& a, const TTarnexRecordID& b) override;
  // New value, write-only, no buffer or NULL field: an empty value; otherwise the value at the
  // slot's position (10141 seek, 10142 short read).
  std::unique_ptr<TTarnexLocalBLOBStream> OpenBlobStream(TTarnexCursor* cursor, bool newValue, uint8_t mode,
                                                         int32_t fieldNo) override;
  // Appends the value to BlobFile (10145 on a short write) and stores its position; an empty
  // stream sets the field NULL.
  void WriteBlob(TTarnexCursor* cursor, int32_t fieldNo, TTarnexLocalBLOBStream& stream) override;
  void FreeBlob(uint8_t* recordBuffer, int32_t fieldNo) override;  // nothing: the file only grows
  // 10010 without record manager, 10018 without cursor buffer.
  bool InsertRecord(TTarnexCursor* cursor) override;
  bool DeleteRecord(TTarnexCursor* cursor) override;  // false
  bool UpdateRecord(TTarnexCursor* cursor) override;  // false
  // 11301 "Error - operation is not supported".
  void DeleteAllRecords(TTarnexCursor* cursor) override;
  void SetRecNoInTableOrder(TTarnexCursor* cursor, int64_t recNo) override;  // ordinal recNo - 1
  int64_t GetRecNoInTableOrder(TTarnexCursor* cursor) override;              // ordinal + 1
  int64_t GetRecordCount() override;

  int32_t GrowBy() const { return GrowBy_; }
  int32_t WriteBufferCapacity() const { return WriteBufferCapacity_; }
  // The BLOB file's path; empty while there is none.
  const std::string& BlobFileName() const { return BlobFileName_; }

private:
  void OpenBlobFile();
  void CloseBlobFile() noexcept;  // closes and deletes BlobFile, if any

  std::unique_ptr<TTarnexTemporaryPageManager> PageManager_;  // owned: pages of the table's trees
  std::unique_ptr<TTarnexFileStream> BlobFile_;               // owned; created with BLOB fields
  std::string BlobFileName_;                                  // deleted with the file
  int32_t GrowBy_;
  int32_t WriteBufferCapacity_;
};

// The temporary database "TEMP": the owner of the scratch tables of queries. Its sessions keep
// SessionID -1.
class TTarnexTemporaryDatabaseData : public TTarnexDatabaseData {
public:
  TTarnexTemporaryDatabaseData();
  ~TTarnexTemporaryDatabaseData() override;  // frees its tables without dropping them

  // A new TTarnexTemporaryTableData named cursor->TableName (growth 1000 rows, write buffer 10).
  TTarnexTableData* CreateTableData(TTarnexCursor* cursor) override;
};
