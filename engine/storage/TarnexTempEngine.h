// Storage of temporary tables (query results and other scratch tables): append-only rows kept
// in memory up to a limit and beyond it in a temporary spill file. A row's RecordID holds its
// 0-based ordinal in the six bytes, low bytes first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
