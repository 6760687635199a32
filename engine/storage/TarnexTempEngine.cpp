#include "engine/storage/TarnexTempEngine.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/access/TarnexCompression.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "engine/storage/TarnexPage.h"
#include "platform/rtl/TempFiles.h"

namespace {

// Rows of recordSize bytes that fit into a tenth of the available physical memory.
int32_t DefaultMemoryLimit(int32_t recordSize) {
  if (recordSize < 1) return 0;
  return static_cast<int32_t>((MemoryManager().GetAvailableMemory() / 10) / recordSize);
}

}  // namespace

TTarnexTemporaryRecordManager::TTarnexTemporaryRecordManager(int32_t recordSize, int32_t growBy,
                                                             int32_t writeBufferCapacity)
    : TTarnexTemporaryRecordManager(recordSize, growBy, writeBufferCapacity,
                                    DefaultMemoryLimit(recordSize)) {}

TTarnexTemporaryRecordManager::TTarnexTemporaryRecordManager(int32_t recordSize, int32_t growBy,
                                                             int32_t writeBufferCapacity,
                                                             int32_t memoryLimit)
    : TTarnexBaseRecordManager(recordSize),
      MemoryLimit_(memoryLimit < 0 ? 0 : memoryLimit),
      GrowBy_(growBy < 1 ? 1 : growBy),
      WriteBufferCapacity_(writeBufferCapacity < 1 ? 1 : writeBufferCapacity) {
  if (recordSize < 1) throw ETarnexException(10124, "Invalid record size = %d", {recordSize});
  if (static_cast<int64_t>(WriteBufferCapacity_) * RecordSize_ > TTarnexMemoryManager::MaxBlockSize)
    WriteBufferCapacity_ = 1;
  WriteBuffer_ = static_cast<uint8_t*>(
      MemoryManager().GetMem(static_cast<int32_t>(static_cast<int64_t>(WriteBufferCapacity_) * RecordSize_)));
}

TTarnexTemporaryRecordManager::~TTarnexTemporaryRecordManager() {
  CloseTempFile();
  try {
    MemoryManager().FreeAndNillMem(MemoryBlock_);
  } catch (...) {
    // An overrun report cannot leave a destructor; the block is released regardless.
  }
  try {
    MemoryManager().FreeAndNillMem(WriteBuffer_);
  } catch (...) {
  }
}

void TTarnexTemporaryRecordManager::CreateTempFile() {
  std::string name = GetTempFileName("Tarnex");
  try {
    TempFile_ = std::make_unique<TTarnexFileStream>(name, TarnexFileMode::Create);
  } catch (...) {
    DeleteFile(name);
    throw;
  }
  TempFileName_ = std::move(name);
}

void TTarnexTemporaryRecordManager::CloseTempFile() noexcept {
  TempFile_.reset();
  if (!TempFileName_.empty()) {
    DeleteFile(TempFileName_);
    TempFileName_.clear();
  }
}

void TTarnexTemporaryRecordManager::Clear(int32_t) {
  CloseTempFile();
  WriteBufferCount_ = 0;
  RecordCount_ = 0;
  MemoryRecordCount_ = 0;
  MemoryCapacity_ = 0;
  MemoryManager().FreeAndNillMem(MemoryBlock_);
}

void TTarnexTemporaryRecordManager::FlushWriteBuffer() {
  if (WriteBufferCount_ == 0) return;
  if (WriteBufferCount_ > WriteBufferCapacity_)
    throw ETarnexException(10126, "Invalid record count = %d. Limit is %d",
                           {WriteBufferCount_, WriteBufferCapacity_});
  // The buffered rows are the newest spilled ones, so they start right after those on file.
  const int64_t onFile = RecordCount_ - MemoryRecordCount_ - WriteBufferCount_;
  SeekExact(*TempFile_, onFile * RecordSize_, 10128);
  const int32_t bytes = WriteBufferCount_ * RecordSize_;
  if (TempFile_->Write(WriteBuffer_, bytes) != bytes) throw ETarnexException(10125, "Error writing to stream");
  WriteBufferCount_ = 0;
}

bool TTarnexTemporaryRecordManager::AddRecord(const uint8_t* buffer, TTarnexRecordID& recordID, int32_t) {
  if (buffer == nullptr) return false;
  try {
    const int64_t ordinal = RecordCount_;
    if (MemoryRecordCount_ >= MemoryCapacity_ && MemoryCapacity_ < MemoryLimit_) {
      int64_t newCapacity = static_cast<int64_t>(MemoryCapacity_) + GrowBy_;
      if (newCapacity > MemoryLimit_) newCapacity = MemoryLimit_;
      const int64_t mostInOneBlock = TTarnexMemoryManager::MaxBlockSize / RecordSize_;
      if (newCapacity > mostInOneBlock) newCapacity = mostInOneBlock;
      if (newCapacity > MemoryCapacity_) {
        MemoryManager().ReallocMem(MemoryBlock_, static_cast<int32_t>(newCapacity * RecordSize_), false);
        MemoryCapacity_ = static_cast<int32_t>(newCapacity);
      } else {
        MemoryLimit_ = MemoryCapacity_;  // one block cannot hold more: spill from here on
      }
    }
    if (MemoryRecordCount_ < MemoryCapacity_) {
      std::memcpy(MemoryBlock_ + static_cast<int64_t>(MemoryRecordCount_) * RecordSize_, buffer, RecordSize_);
      ++MemoryRecordCount_;
    } else {
      if (!TempFile_) CreateTempFile();
      FlushWriteBuffer();
      std::memcpy(WriteBuffer_ + static_cast<int64_t>(WriteBufferCount_) * RecordSize_, buffer, RecordSize_);
      ++WriteBufferCount_;
    }
    ++RecordCount_;
    recordID = TTarnexRecordID::FromNumber(static_cast<uint64_t>(ordinal));
    return true;
  } catch (...) {
    return false;
  }
}

bool TTarnexTemporaryRecordManager::RecordExists(const TTarnexRecordID& recordID, int32_t) {
  return recordID.AsNumber() < static_cast<uint64_t>(RecordCount_);
}

void TTarnexTemporaryRecordManager::CopyRow(int64_t ordinal, uint8_t* buffer) {
  if (buffer == nullptr) throw ETarnexException(10127, "Error retreiving record");
  if (ordinal < MemoryRecordCount_) {
    std::memcpy(buffer, MemoryBlock_ + ordinal * RecordSize_, RecordSize_);
    return;
  }
  try {
    FlushWriteBuffer();
    SeekExact(*TempFile_, (ordinal - MemoryRecordCount_) * RecordSize_, 10129);
    ReadExact(buffer, RecordSize_, *TempFile_, 10130);
  } catch (const ETarnexException&) {
    throw;
  } catch (...) {
    throw ETarnexException(10127, "Error retreiving record");
  }
}

void TTarnexTemporaryRecordManager::CopyOut(int64_t ordinal, TNavigationRequest& request) {
  CopyRow(ordinal, request.Buffer);
  request.RecordID = TTarnexRecordID::FromNumber(static_cast<uint64_t>(ordinal));
  request.Result = TNavigationResult::Found;
}

void TTarnexTemporaryRecordManager::ReadRecord(TNavigationRequest& request) {
  if (RecordCount_ == 0) {
    request.Result = TNavigationResult::AfterLast;
    return;
  }
  if (request.GoFirst) {
    switch (request.Direction) {
      case TNavigationDirection::Next:
        CopyOut(0, request);
        request.GoFirst = false;
        return;
      case TNavigationDirection::Prior: request.Result = TNavigationResult::BeforeFirst; return;
      case TNavigationDirection::Current: request.Result = TNavigationResult::NoRecord; return;
    }
  }
  if (request.GoLast) {
    switch (request.Direction) {
      case TNavigationDirection::Next: request.Result = TNavigationResult::AfterLast; return;
      case TNavigationDirection::Prior:
        CopyOut(RecordCount_ - 1, request);
        request.GoLast = false;
        return;
      case TNavigationDirection::Current: request.Result = TNavigationResult::NoRecord; return;
    }
  }
  const uint64_t ordinal = request.RecordID.AsNumber();
  const uint64_t count = static_cast<uint64_t>(RecordCount_);
  switch (request.Direction) {
    case TNavigationDirection::Current:
      if (ordinal < count)
        CopyOut(static_cast<int64_t>(ordinal), request);
      else
        request.Result = TNavigationResult::NoRecord;
      return;
    case TNavigationDirection::Next:
      if (ordinal >= count - 1)
        request.Result = TNavigationResult::AfterLast;
      else
        CopyOut(static_cast<int64_t>(ordinal) + 1, request);
      return;
    case TNavigationDirection::Prior:
      if (ordinal == 0)
        request.Result = TNavigationResult::BeforeFirst;
      else  // a position past the end steps back to the last row, never beyond the store
        CopyOut(static_cast<int64_t>(ordinal - 1 < count ? ordinal - 1 : count - 1), request);
      return;
  }
  request.Result = TNavigationResult::NoRecord;
}

int64_t TTarnexTemporaryRecordManager::ApproxRecNo(const TTarnexRecordID& recordID, int32_t) {
  const uint64_t ordinal = recordID.AsNumber();
  if (ordinal >= static_cast<uint64_t>(RecordCount_)) return -1;
  return static_cast<int64_t>(ordinal) + 1;
}

void TTarnexTemporaryRecordManager::LoadNextRecord(uint8_t* buffer, int64_t& slot) {
  const int64_t ordinal = slot < 0 ? 0 : slot;
  if (ordinal >= RecordCount_) {
    slot = -1;
    return;
  }
  CopyRow(ordinal, buffer);
  slot = ordinal + 1;
}

// ---------------------------------------------------------------------------------------------
// TTarnexTemporaryTableData
// ---------------------------------------------------------------------------------------------

namespace {

constexpr int32_t TempBlobHeaderSize = 20;  // uncompressed size, block size, block count, compressed length

}  // namespace

TTarnexTemporaryTableData::TTarnexTemporaryTableData(TTarnexDatabaseData* database, const std::string& tableName,
                                                     int32_t growBy, int32_t writeBufferCapacity)
    : TTarnexTableData(database, tableName),
      PageManager_(std::make_unique<TTarnexTemporaryPageManager>()),
      GrowBy_(growBy),
      WriteBufferCapacity_(writeBufferCapacity) {
  OrdinalIDs_ = true;
}

TTarnexTemporaryTableData::~TTarnexTemporaryTableData() {
  try {
    ReleaseContents(-2);
  } catch (...) {
    // A destructor cannot report; the files are deleted regardless.
  }
  CloseBlobFile();
}

TTarnexPageManager* TTarnexTemporaryTableData::GetPageManager() { return PageManager_.get(); }

void TTarnexTemporaryTableData::CreateRecordManager() {
  TTarnexCriticalSectionGuard guard(Lock_);
  auto manager = std::make_unique<TTarnexTemporaryRecordManager>(RecordSize(), GrowBy_, WriteBufferCapacity_);
  IndexManager_->CloseAllIndexes();
  RecordManager_ = std::move(manager);
}

void TTarnexTemporaryTableData::OpenBlobFile() {
  if (BlobFile_ != nullptr) return;
  BlobFileName_ = GetTempFileName("Tarnex");
  try {
    BlobFile_ = std::make_unique<TTarnexFileStream>(BlobFileName_, TarnexFileMode::Create);
  } catch (...) {
    DeleteFile(BlobFileName_);
    BlobFileName_.clear();
    throw;
  }
}

void TTarnexTemporaryTableData::CloseBlobFile() noexcept {
  BlobFile_.reset();
  if (!BlobFileName_.empty()) {
    DeleteFile(BlobFileName_);
    BlobFileName_.clear();
  }
}

void TTarnexTemporaryTableData::CreateTable(TTarnexCursor* cursor, TTarnexFieldDefs* fieldDefs,
                                            TTarnexConstraintDefs* constraintDefs, TTarnexIndexDefs* indexDefs) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (cursor != nullptr) TableName_ = cursor->TableName;
  BuildDefinitions(fieldDefs, constraintDefs, indexDefs, 10132, 11333, false, false);
  CloseBlobFile();
  CreateRecordManager();
  if (cursor != nullptr) GetRecordSizes(cursor);
  if (HasBlobFields_) OpenBlobFile();
}

void TTarnexTemporaryTableData::EmptyTable(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (HasOtherCursors(cursor))
    throw ETarnexException(10072, "Cannot delete table '%s'. Table is open by another dataset", {TableName_});
  CloseBlobFile();
  const int32_t sessionID = cursor != nullptr ? cursor->SessionIDForPages() : -2;
  ClearAllIndexes(sessionID);
  if (RecordManager_ != nullptr) RecordManager_->Clear(sessionID);
  CommitPages(sessionID);
}

void TTarnexTemporaryTableData::RemoveCursor(TTarnexCursor* cursor, bool keepTable) {
  bool dropSelf;
  {
    TTarnexCriticalSectionGuard guard(Lock_);
    TTarnexTableData::RemoveCursor(cursor, keepTable);
    dropSelf = Cursors_.empty() && !keepTable;
  }
  if (dropSelf) DropTable(nullptr, true, false);
}

int64_t TTarnexTemporaryTableData::RecordIDToInt64(const TTarnexRecordID& id) {
  return static_cast<int64_t>(id.AsNumber());
}

TTarnexRecordID TTarnexTemporaryTableData::Int64ToRecordID(int64_t value) {
  return TTarnexRecordID::FromNumber(static_cast<uint64_t>(value));
}

int32_t TTarnexTemporaryTableData::CompareRecordIDs(const TTarnexRecordID& a, const TTarnexRecordID& b) {
  const uint64_t x = a.AsNumber();
  const uint64_t y = b.AsNumber();
  return x < y ? -1 : (x > y ? 1 : 0);
}

std::unique_ptr<TTarnexLocalBLOBStream> TTarnexTemporaryTableData::OpenBlobStream(TTarnexCursor* cursor,
                                                                                 bool newValue, uint8_t mode,
                                                                                 int32_t fieldNo) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const int32_t number = TableFieldNo(cursor, fieldNo, 10110);
  const TTarnexFieldDef& field = *FieldDefs().Items(number);
  if (field.BlobBlockSize == 0) throw ETarnexException(10420, "Stream block size = 0 is not allowed");
  auto underlying = std::make_unique<TTarnexTemporaryStream>();
  const uint8_t* buffer = cursor != nullptr ? cursor->RecordBuffer : nullptr;
  if (newValue || mode == 0 || buffer == nullptr || GetNullFlag(buffer, number) || BlobFile_ == nullptr)
    return MakeLocalBlobStream(cursor, field, true, mode, fieldNo, std::move(underlying), 0, 0, 0);
  int64_t position;
  std::memcpy(&position, buffer + field.MemoryOffset, sizeof(position));
  SeekExact(*BlobFile_, position, 10141);
  uint8_t header[TempBlobHeaderSize];
  ReadExact(header, TempBlobHeaderSize, *BlobFile_, 10142);
  int32_t uncompressed, blockSize, blockCount;
  int64_t compressed;
  std::memcpy(&uncompressed, header, 4);
  std::memcpy(&blockSize, header + 4, 4);
  std::memcpy(&blockCount, header + 8, 4);
  std::memcpy(&compressed, header + 12, 8);
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(compressed, 1), 1 << 20)));
  for (int64_t left = compressed; left > 0;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(left, static_cast<int64_t>(chunk.size())));
    ReadExact(chunk.data(), n, *BlobFile_, 10142);
    WriteExact(chunk.data(), n, *underlying, 10145);
    left -= n;
  }
  return MakeLocalBlobStream(cursor, field, false, mode, fieldNo, std::move(underlying), blockSize, blockCount,
                             uncompressed);
}

void TTarnexTemporaryTableData::WriteBlob(TTarnexCursor* cursor, int32_t fieldNo, TTarnexLocalBLOBStream& stream) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (cursor == nullptr || cursor->RecordBuffer == nullptr) return;
  const int32_t number = TableFieldNo(cursor, fieldNo, 10118);
  const TTarnexFieldDef& field = *FieldDefs().Items(number);
  uint8_t* buffer = cursor->RecordBuffer;
  if (stream.Size() == 0) {
    std::memset(buffer + field.MemoryOffset, 0, 8);
    SetNullFlag(buffer, number, true);
    return;
  }
  OpenBlobFile();
  TTarnexCompressedBLOBStream& inner = *stream.Inner();
  TTarnexStream& underlying = *inner.Underlying();
  const int64_t compressed = underlying.Size();
  const int32_t uncompressed = static_cast<int32_t>(std::min<int64_t>(inner.Size(), INT32_MAX));
  const int32_t blockSize = inner.Params().BlockSize;
  const int32_t blockCount = static_cast<int32_t>(inner.Params().BlockCount);
  uint8_t header[TempBlobHeaderSize];
  std::memcpy(header, &uncompressed, 4);
  std::memcpy(header + 4, &blockSize, 4);
  std::memcpy(header + 8, &blockCount, 4);
  std::memcpy(header + 12, &compressed, 8);
  const int64_t position = BlobFile_->Seek(0, TTarnexSeekOrigin::End);
  WriteExact(header, TempBlobHeaderSize, *BlobFile_, 10145);
  const int64_t from = underlying.Position();
  underlying.SetPosition(0);
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(compressed, 1), 1 << 20)));
  for (int64_t left = compressed; left > 0;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(left, static_cast<int64_t>(chunk.size())));
    ReadExact(chunk.data(), n, underlying, 10142);
    WriteExact(chunk.data(), n, *BlobFile_, 10145);
    left -= n;
  }
  underlying.SetPosition(from);
  std::memcpy(buffer + field.MemoryOffset, &position, sizeof(position));
  SetNullFlag(buffer, number, false);
}

void TTarnexTemporaryTableData::FreeBlob(uint8_t*, int32_t) {}

bool TTarnexTemporaryTableData::InsertRecord(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (RecordManager_ == nullptr) throw ETarnexException(10010, "Nil pointer occured");
  if (cursor == nullptr || cursor->RecordBuffer == nullptr) throw ETarnexException(10018, "Nil pointer occured");
  const int32_t sessionID = cursor->SessionIDForPages();
  TTarnexRecordID id;
  bool added;
  try {
    added = RecordManager_->AddRecord(cursor->RecordBuffer, id, sessionID);
  } catch (...) {
    added = false;
  }
  if (!added) return false;
  cursor->RecordID = id;
  InsertIndexKeys(sessionID, cursor->RecordBuffer, id);
  if (IndexManager_->IndexCount() > 0) CommitPages(sessionID);
  cursor->Bof = false;
  cursor->Eof = false;
  RecordSetInserted(cursor);
  return true;
}

bool TTarnexTemporaryTableData::DeleteRecord(TTarnexCursor*) { return false; }

bool TTarnexTemporaryTableData::UpdateRecord(TTarnexCursor*) { return false; }

void TTarnexTemporaryTableData::DeleteAllRecords(TTarnexCursor*) {
  throw ETarnexException(11301, "Error - operation is not supported");
}

void TTarnexTemporaryTableData::SetRecNoInTableOrder(TTarnexCursor* cursor, int64_t recNo) {
  TTarnexCriticalSectionGuard guard(Lock_);
  cursor->RecordID = Int64ToRecordID(recNo < 2 ? 0 : recNo - 1);
  cursor->Bof = false;
  cursor->Eof = false;
}

int64_t TTarnexTemporaryTableData::GetRecNoInTableOrder(TTarnexCursor* cursor) {
  return RecordIDToInt64(cursor->RecordID) + 1;
}

int64_t TTarnexTemporaryTableData::GetRecordCount() {
  return RecordManager_ != nullptr ? RecordManager_->GetRecordCount() : 0;
}

// ---------------------------------------------------------------------------------------------
// TTarnexTemporaryDatabaseData
// ---------------------------------------------------------------------------------------------

TTarnexTemporaryDatabaseData::TTarnexTemporaryDatabaseData() : TTarnexDatabaseData("TEMP") {}

TTarnexTemporaryDatabaseData::~TTarnexTemporaryDatabaseData() { FreeTables(); }

TTarnexTableData* TTarnexTemporaryDatabaseData::CreateTableData(TTarnexCursor* cursor) {
  return AddTableData(std::make_unique<TTarnexTemporaryTableData>(this, cursor->TableName, 1000, 10));
}
