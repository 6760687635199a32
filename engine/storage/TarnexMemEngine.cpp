#include "engine/storage/TarnexMemEngine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/access/TarnexCompression.h"
#include "engine/storage/TarnexBaseEngineRecords.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "engine/storage/TarnexPage.h"

namespace {

// For each byte value of the deleted bitmap, the number of live slots it stands for (its zero
// bits): 8 for 0x00, 0 for 0xFF. Lets the record-number conversions skip eight slots per step.
constexpr std::array<uint8_t, 256> MakeLiveBitsTable() {
  std::array<uint8_t, 256> table{};
  for (int value = 0; value < 256; ++value) {
    int zeros = 0;
    for (int bit = 0; bit < 8; ++bit)
      if ((value & (1 << bit)) == 0) ++zeros;
    table[value] = static_cast<uint8_t>(zeros);
  }
  return table;
}
constexpr std::array<uint8_t, 256> LiveBitsTable = MakeLiveBitsTable();

// Null flag of field fieldNo: bit fieldNo of the record's leading bytes, 1 = NULL.
bool IsNullFlagSet(const uint8_t* record, int32_t fieldNo) {
  return (record[fieldNo / 8] & (1u << (fieldNo % 8))) != 0;
}

uint16_t ReadMarker(const uint8_t* record, const TTarnexRecordBlobField& field) {
  uint16_t marker;
  std::memcpy(&marker, record + field.MemoryOffset + TarnexBlobMarkerOffset, sizeof(marker));
  return marker;
}

void WriteMarker(uint8_t* record, const TTarnexRecordBlobField& field, uint16_t marker) {
  std::memcpy(record + field.MemoryOffset + TarnexBlobMarkerOffset, &marker, sizeof(marker));
}

}  // namespace

TTarnexMemoryRecordManager::TTarnexMemoryRecordManager(int32_t recordSize, int32_t allocBy)
    : TTarnexBaseRecordManager(recordSize), AllocBy_(allocBy < 1 ? 1 : allocBy) {
  if (recordSize < 1) throw ETarnexException(10011, "Invalid record size = %d", {recordSize});
}

TTarnexMemoryRecordManager::~TTarnexMemoryRecordManager() {
  try {
    MemoryManager().FreeAndNillMem(RecordBlock_);
  } catch (...) {
    // An overrun report cannot leave a destructor; the block is released regardless.
  }
  try {
    MemoryManager().FreeAndNillMem(DeletedBitmap_);
  } catch (...) {
  }
}

bool TTarnexMemoryRecordManager::IsSlotDeleted(int32_t slot) const {
  if (slot < 0 || slot >= Capacity_) return false;
  return (DeletedBitmap_[slot / 8] & (1u << (slot % 8))) != 0;
}

bool TTarnexMemoryRecordManager::IsLive(int32_t slot) const {
  return RecordCount_ > 0 && slot >= MinID_ && slot <= MaxID_ &&
         (DeletedBitmap_[slot / 8] & (1u << (slot % 8))) == 0;
}

void TTarnexMemoryRecordManager::SetDeleted(int32_t slot, bool deleted) {
  const uint8_t mask = static_cast<uint8_t>(1u << (slot % 8));
  if (deleted)
    DeletedBitmap_[slot / 8] |= mask;
  else
    DeletedBitmap_[slot / 8] &= static_cast<uint8_t>(~mask);
}

void TTarnexMemoryRecordManager::Grow() {
  const int64_t newCapacity = static_cast<int64_t>(Capacity_) + AllocBy_;
  const int64_t mostSlots = TTarnexMemoryManager::MaxBlockSize / RecordSize_;
  if (newCapacity > INT32_MAX || newCapacity > mostSlots) throw EOutOfMemory();
  if (newCapacity > BlockSlots_) {
    // The memory manager moves a block on every reallocation, so the reserve doubles each
    // time: filling a table copies each record a bounded number of times, not once per step.
    int64_t slots = std::max<int64_t>(newCapacity, static_cast<int64_t>(BlockSlots_) * 2);
    slots = std::min(slots, mostSlots);
    MemoryManager().ReallocMem(RecordBlock_, static_cast<int32_t>(slots * RecordSize_), false);
    MemoryManager().ReallocMemZeroed(DeletedBitmap_, static_cast<int32_t>((slots + 7) / 8));
    BlockSlots_ = static_cast<int32_t>(slots);
  }
  Capacity_ = static_cast<int32_t>(newCapacity);
}

void TTarnexMemoryRecordManager::Clear(int32_t) {
  MemoryManager().FreeAndNillMem(RecordBlock_);
  MemoryManager().FreeAndNillMem(DeletedBitmap_);
  Capacity_ = 0;
  BlockSlots_ = 0;
  RecordCount_ = 0;
  MinID_ = 0;
  MaxID_ = 0;
}

bool TTarnexMemoryRecordManager::AddRecord(const uint8_t* buffer, TTarnexRecordID& recordID, int32_t) {
  if (buffer == nullptr) return false;
  if (RecordCount_ > 0 && MaxID_ == INT32_MAX) return false;
  const int32_t slot = RecordCount_ > 0 ? MaxID_ + 1 : 0;
  try {
    if (slot >= Capacity_) Grow();
  } catch (...) {
    return false;
  }
  std::memcpy(RecordBlock_ + static_cast<int64_t>(slot) * RecordSize_, buffer, RecordSize_);
  SetDeleted(slot, false);
  if (RecordCount_ == 0) {
    MinID_ = slot;
    MaxID_ = slot;
  } else {
    if (slot < MinID_) MinID_ = slot;
    if (slot > MaxID_) MaxID_ = slot;
  }
  ++RecordCount_;
  recordID.PageNo = slot;
  recordID.PageItemNo = 0;
  return true;
}

bool TTarnexMemoryRecordManager::UpdateRecord(uint8_t* buffer, const TTarnexRecordID& recordID, int32_t) {
  const int32_t slot = recordID.PageNo;
  if (buffer == nullptr || !IsLive(slot)) return false;
  uint8_t* stored = RecordBlock_ + static_cast<int64_t>(slot) * RecordSize_;
  try {
    for (const TTarnexRecordBlobField& field : BlobFields_) {
      if (IsNullFlagSet(stored, field.FieldNo)) continue;
      if (IsNullFlagSet(buffer, field.FieldNo) || ReadMarker(buffer, field) == TarnexBlobOwnedMarker) {
        if (FreeBlob_) FreeBlob_(stored, field.FieldNo);
      }
    }
  } catch (...) {
    return false;
  }
  for (const TTarnexRecordBlobField& field : BlobFields_) WriteMarker(buffer, field, TarnexBlobStoredMarker);
  std::memcpy(stored, buffer, RecordSize_);
  return true;
}

bool TTarnexMemoryRecordManager::DeleteRecord(TTarnexRecordID& recordID, int32_t) {
  const int32_t slot = recordID.PageNo;
  if (!IsLive(slot)) return false;
  SetDeleted(slot, true);
  --RecordCount_;
  NoDeletedRecords_ = false;
  if (RecordCount_ == 0) {
    MinID_ = 0;
    MaxID_ = 0;
    return true;
  }
  if (slot == MinID_) {
    int32_t next = slot + 1;
    while (IsSlotDeleted(next)) ++next;
    MinID_ = next;
  }
  if (slot == MaxID_) {
    int32_t prior = slot - 1;
    while (IsSlotDeleted(prior)) --prior;
    MaxID_ = prior;
    recordID.PageNo = MaxID_;
    recordID.PageItemNo = 0;
  }
  return true;
}

bool TTarnexMemoryRecordManager::RecordExists(const TTarnexRecordID& recordID, int32_t) {
  return IsLive(recordID.PageNo);
}

void TTarnexMemoryRecordManager::CopyOut(int32_t slot, TNavigationRequest& request) const {
  if (request.Buffer == nullptr) throw ETarnexException(10019, "Error retreiving record");
  std::memcpy(request.Buffer, RecordBlock_ + static_cast<int64_t>(slot) * RecordSize_, RecordSize_);
  request.RecordID.PageNo = slot;
  request.RecordID.PageItemNo = 0;
  request.Result = TNavigationResult::Found;
}

void TTarnexMemoryRecordManager::ReadRecord(TNavigationRequest& request) {
  if (RecordCount_ == 0) {
    request.Result = TNavigationResult::AfterLast;
    return;
  }
  if (request.GoFirst) {
    switch (request.Direction) {
      case TNavigationDirection::Next:
        CopyOut(MinID_, request);
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
        CopyOut(MaxID_, request);
        request.GoLast = false;
        return;
      case TNavigationDirection::Current: request.Result = TNavigationResult::NoRecord; return;
    }
  }
  const int32_t slot = request.RecordID.PageNo;
  switch (request.Direction) {
    case TNavigationDirection::Current:
      if (IsLive(slot))
        CopyOut(slot, request);
      else
        request.Result = TNavigationResult::NoRecord;
      return;
    case TNavigationDirection::Next: {
      if (slot >= Capacity_ - 1) {
        request.Result = TNavigationResult::AfterLast;
        return;
      }
      // Slots below MinID are all deleted; start the walk there at the latest.
      int32_t next = slot + 1 < MinID_ ? MinID_ : slot + 1;
      while (next <= MaxID_ && IsSlotDeleted(next)) ++next;
      if (next > MaxID_)
        request.Result = TNavigationResult::AfterLast;
      else
        CopyOut(next, request);
      return;
    }
    case TNavigationDirection::Prior: {
      if (slot < 1) {
        request.Result = TNavigationResult::BeforeFirst;
        return;
      }
      // A position past MaxID (a record deleted since) steps back to MaxID, never outside the block.
      int32_t prior = slot - 1 > MaxID_ ? MaxID_ : slot - 1;
      while (prior >= MinID_ && IsSlotDeleted(prior)) --prior;
      if (prior < MinID_)
        request.Result = TNavigationResult::BeforeFirst;
      else
        CopyOut(prior, request);
      return;
    }
  }
  request.Result = TNavigationResult::NoRecord;
}

int64_t TTarnexMemoryRecordManager::ApproxRecNo(const TTarnexRecordID& recordID, int32_t) {
  const int32_t slot = recordID.PageNo;
  if (RecordCount_ == 0 || slot < MinID_ || slot > MaxID_) return -1;
  if (RecordCount_ == 1 || MaxID_ == MinID_) return 1;
  // Live records spread evenly over MinID..MaxID: exact when none was deleted.
  const double share = static_cast<double>(slot - MinID_) / static_cast<double>(MaxID_ - MinID_);
  return std::llround(share * static_cast<double>(RecordCount_ - 1)) + 1;
}

void TTarnexMemoryRecordManager::LoadNextRecord(uint8_t* buffer, int64_t& slot) {
  if (RecordCount_ == 0 || slot > MaxID_) {
    slot = -1;
    return;
  }
  int32_t current = slot < MinID_ ? MinID_ : static_cast<int32_t>(slot);
  while (current <= MaxID_ && IsSlotDeleted(current)) ++current;
  if (current > MaxID_) {
    slot = -1;
    return;
  }
  if (buffer == nullptr) throw ETarnexException(10019, "Error retreiving record");
  std::memcpy(buffer, RecordBlock_ + static_cast<int64_t>(current) * RecordSize_, RecordSize_);
  slot = static_cast<int64_t>(current) + 1;
}

int64_t TTarnexMemoryRecordManager::SlotToRecordNumber(int32_t slot) const {
  if (slot < 0 || slot >= Capacity_) return -1;
  if (NoDeletedRecords_) return static_cast<int64_t>(slot) + 1;
  int64_t live = 0;
  const int32_t wholeBytes = slot / 8;
  for (int32_t i = 0; i < wholeBytes; ++i) live += LiveBitsTable[DeletedBitmap_[i]];
  const int32_t bitsInLastByte = slot % 8 + 1;  // up to and including the slot's bit
  const uint8_t lastByte = DeletedBitmap_[wholeBytes];
  for (int32_t bit = 0; bit < bitsInLastByte; ++bit)
    if ((lastByte & (1u << bit)) == 0) ++live;
  return live;
}

int32_t TTarnexMemoryRecordManager::RecordNumberToSlot(int64_t n) const {
  if (n < 0 || n >= RecordCount_) return -1;
  if (NoDeletedRecords_) return static_cast<int32_t>(n);
  const int32_t byteCount = (Capacity_ + 7) / 8;
  int64_t live = 0;
  int32_t i = 0;
  while (i < byteCount && live + LiveBitsTable[DeletedBitmap_[i]] <= n) {
    live += LiveBitsTable[DeletedBitmap_[i]];
    ++i;
  }
  for (int32_t bit = 0; bit < 8; ++bit) {
    const int32_t slot = i * 8 + bit;
    if (slot >= Capacity_)
      throw ETarnexException(10457, "Invalid bit no = %d, number of bits = %d", {slot, Capacity_});
    if ((DeletedBitmap_[i] & (1u << bit)) == 0) {
      if (live == n) return slot;
      ++live;
    }
  }
  throw ETarnexException(10457, "Invalid bit no = %d, number of bits = %d", {i * 8 + 8, Capacity_});
}

void TTarnexMemoryRecordManager::SetBlobFields(std::vector<TTarnexRecordBlobField> fields,
                                               TTarnexFreeStoredBlobProc freeBlob) {
  BlobFields_ = std::move(fields);
  FreeBlob_ = std::move(freeBlob);
}

// ---------------------------------------------------------------------------------------------
// TTarnexMemoryTableData
// ---------------------------------------------------------------------------------------------

namespace {

constexpr int32_t BlobHeaderSize = 12;  // uncompressed size, block size, block count

uint32_t ReadHandle(const uint8_t* buffer, const TTarnexFieldDef& field) {
  uint32_t handle;
  std::memcpy(&handle, buffer + field.MemoryOffset, sizeof(handle));
  return handle;
}

uint16_t ReadGeneration(const uint8_t* buffer, const TTarnexFieldDef& field) {
  uint16_t generation;
  std::memcpy(&generation, buffer + field.MemoryOffset + 4, sizeof(generation));
  return generation;
}

void WriteHandle(uint8_t* buffer, const TTarnexFieldDef& field, uint32_t handle, uint16_t generation) {
  std::memcpy(buffer + field.MemoryOffset, &handle, sizeof(handle));
  std::memcpy(buffer + field.MemoryOffset + 4, &generation, sizeof(generation));
}

// A memory-manager buffer for the span of one operation.
class TTableScratch {
public:
  explicit TTableScratch(int32_t size) : Data_(static_cast<uint8_t*>(MemoryManager().GetMem(std::max(size, 1)))) {}
  ~TTableScratch() {
    try {
      MemoryManager().FreeAndNillMem(Data_);
    } catch (...) {
    }
  }
  TTableScratch(const TTableScratch&) = delete;
  TTableScratch& operator=(const TTableScratch&) = delete;
  uint8_t* Data() const { return Data_; }

private:
  uint8_t* Data_;  // owned
};

}  // namespace

TTarnexMemoryTableData::TTarnexMemoryTableData(TTarnexDatabaseData* database, const std::string& tableName,
                                               int32_t allocBy)
    : TTarnexTableData(database, tableName),
      AllocBy_(allocBy),
      PageManager_(std::make_unique<TTarnexMemoryPageManager>()) {
  SlotIDs_ = true;
}

TTarnexMemoryTableData::~TTarnexMemoryTableData() {
  try {
    ReleaseContents(-2);
  } catch (...) {
    // A destructor cannot report; the page manager and the blocks are released regardless.
  }
  try {
    FreeAllBlobs();
  } catch (...) {
  }
}

TTarnexPageManager* TTarnexMemoryTableData::GetPageManager() { return PageManager_.get(); }

TTarnexMemoryRecordManager* TTarnexMemoryTableData::MemoryRecordManager() const {
  return static_cast<TTarnexMemoryRecordManager*>(RecordManager_.get());
}

void TTarnexMemoryTableData::CreateRecordManager() {
  TTarnexCriticalSectionGuard guard(Lock_);
  auto manager = std::make_unique<TTarnexMemoryRecordManager>(RecordSize(), AllocBy_);
  std::vector<TTarnexRecordBlobField> blobFields;
  for (int32_t i = 0; i < FieldDefs().Count(); ++i) {
    const TTarnexFieldDef& field = *FieldDefs().Items(i);
    if (IsBLOBDataType(field.DataType)) blobFields.push_back({i, field.MemoryOffset});
  }
  manager->SetBlobFields(std::move(blobFields),
                         [this](uint8_t* storedRecord, int32_t fieldNo) { FreeBlob(storedRecord, fieldNo); });
  IndexManager_->CloseAllIndexes();  // the index objects read records through the manager
  RecordManager_ = std::move(manager);
}

void TTarnexMemoryTableData::CreateTable(TTarnexCursor* cursor, TTarnexFieldDefs* fieldDefs,
                                         TTarnexConstraintDefs* constraintDefs, TTarnexIndexDefs* indexDefs) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (cursor != nullptr) TableName_ = cursor->TableName;
  BuildDefinitions(fieldDefs, constraintDefs, indexDefs, 10025, 10421, true, true);
  ForeignKeyValidateNewTable(cursor);
  FreeAllBlobs();
  CreateRecordManager();
  if (cursor != nullptr) GetRecordSizes(cursor);
}

void TTarnexMemoryTableData::EmptyTable(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  for (int32_t i = 0; i < ConstraintDefs().Count(); ++i) {
    const TTarnexConstraintDef& c = *ConstraintDefs().Items(i);
    if (c.ConstraintType == TTarnexConstraintType::ForeignKeyAction &&
        static_cast<const TTarnexConstraintDefForeignKeyAction&>(c).DeleteAction != TTarnexReferentialAction::NoAction)
      throw ETarnexException(11494,
                             "Cannot empty table '%s' - foreign key(s) with delete action referencing this table "
                             "exists",
                             {TableName_});
  }
  if (HasOtherCursors(cursor))
    throw ETarnexException(10072, "Cannot delete table '%s'. Table is open by another dataset", {TableName_});
  const int32_t sessionID = cursor != nullptr ? cursor->SessionIDForPages() : -2;
  ClearAllIndexes(sessionID);
  FreeAllBlobs();
  if (RecordManager_ != nullptr) RecordManager_->Clear(sessionID);
  CommitPages(-2);
  if (sessionID != -2) CommitPages(sessionID);
}

void TTarnexMemoryTableData::RenameTable(TTarnexCursor* cursor, const std::string& newName) {
  // Asked before the table lock is taken: the database lock comes first in the lock order.
  if (Database_ != nullptr && Database_->TableExists(newName))
    throw ETarnexException(11491, "Cannot rename table '%s' to '%s' - table with such name already exists",
                           {TableName_, newName});
  TTarnexTableData::RenameTable(cursor, newName);
}

void TTarnexMemoryTableData::AddCursor(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  TableName_ = cursor->TableName;
  TTarnexTableData::AddCursor(cursor);
}

int64_t TTarnexMemoryTableData::GetRecordIDBound() {
  const TTarnexMemoryRecordManager* manager = MemoryRecordManager();
  return manager != nullptr ? static_cast<int64_t>(manager->MaxID()) + 1 : 1;
}

int64_t TTarnexMemoryTableData::RecordIDToInt64(const TTarnexRecordID& id) { return id.PageNo; }

TTarnexRecordID TTarnexMemoryTableData::Int64ToRecordID(int64_t value) {
  TTarnexRecordID id;
  id.PageNo = static_cast<int32_t>(value);
  id.PageItemNo = 0;
  return id;
}

int32_t TTarnexMemoryTableData::CompareRecordIDs(const TTarnexRecordID& a, const TTarnexRecordID& b) {
  return a.PageNo < b.PageNo ? -1 : (a.PageNo > b.PageNo ? 1 : 0);
}

// --- BLOB registry ---

uint8_t* TTarnexMemoryTableData::BlobBlockOf(const uint8_t* recordBuffer, const TTarnexFieldDef& field) const {
  const uint32_t handle = ReadHandle(recordBuffer, field);
  if (handle == 0 || handle > BlobBlocks_.size()) return nullptr;
  const TBlobEntry& entry = BlobBlocks_[handle - 1];
  if (entry.Block == nullptr || entry.Generation != ReadGeneration(recordBuffer, field)) return nullptr;
  return entry.Block;
}

void TTarnexMemoryTableData::StoreBlobBlock(uint8_t* recordBuffer, const TTarnexFieldDef& field, uint8_t* block) {
  uint32_t handle;
  if (!FreeBlobHandles_.empty()) {
    handle = FreeBlobHandles_.back();
    FreeBlobHandles_.pop_back();
  } else {
    if (BlobBlocks_.size() >= UINT32_MAX) {
      MemoryManager().FreeAndNillMem(block);
      throw EOutOfMemory();
    }
    BlobBlocks_.emplace_back();
    handle = static_cast<uint32_t>(BlobBlocks_.size());
  }
  TBlobEntry& entry = BlobBlocks_[handle - 1];
  entry.Block = block;
  ++BlobBlockCount_;
  WriteHandle(recordBuffer, field, handle, entry.Generation);
}

bool TTarnexMemoryTableData::ReleaseBlobBlock(uint8_t* recordBuffer, const TTarnexFieldDef& field) {
  if (BlobBlockOf(recordBuffer, field) == nullptr) return false;
  const uint32_t handle = ReadHandle(recordBuffer, field);
  TBlobEntry& entry = BlobBlocks_[handle - 1];
  MemoryManager().FreeAndNillMem(entry.Block);
  ++entry.Generation;
  FreeBlobHandles_.push_back(handle);
  --BlobBlockCount_;
  WriteHandle(recordBuffer, field, 0, 0);
  return true;
}

void TTarnexMemoryTableData::FreeAllBlobs() {
  for (TBlobEntry& entry : BlobBlocks_)
    if (entry.Block != nullptr) MemoryManager().FreeAndNillMem(entry.Block);
  BlobBlocks_.clear();
  FreeBlobHandles_.clear();
  BlobBlockCount_ = 0;
}

void TTarnexMemoryTableData::AdoptForeignBlobs(uint8_t* buffer, const uint8_t* stored) {
  if (!HasBlobFields_) return;
  for (int32_t i = 0; i < FieldDefs().Count(); ++i) {
    const TTarnexFieldDef& field = *FieldDefs().Items(i);
    if (!IsBLOBDataType(field.DataType) || GetNullFlag(buffer, i)) continue;
    uint8_t* block = BlobBlockOf(buffer, field);
    if (block != nullptr && GetBlobMarker(buffer, field) == TarnexBlobOwnedMarker) continue;
    if (block != nullptr && stored != nullptr && !GetNullFlag(stored, i) &&
        std::memcmp(buffer + field.MemoryOffset, stored + field.MemoryOffset, 6) == 0)
      continue;
    if (block == nullptr) throw ETarnexException(10118, "Nil pointer occured");
    const int32_t size = MemoryManager().GetBlockSize(block);
    auto* copy = static_cast<uint8_t*>(MemoryManager().GetMem(size));
    std::memcpy(copy, block, static_cast<size_t>(size));
    StoreBlobBlock(buffer, field, copy);
    SetBlobMarker(buffer, field, TarnexBlobOwnedMarker);
  }
}

void TTarnexMemoryTableData::FreeRecordBlobs(uint8_t* stored) {
  if (!HasBlobFields_) return;
  for (int32_t i = 0; i < FieldDefs().Count(); ++i) {
    const TTarnexFieldDef& field = *FieldDefs().Items(i);
    if (IsBLOBDataType(field.DataType) && !GetNullFlag(stored, i)) ReleaseBlobBlock(stored, field);
  }
}

std::unique_ptr<TTarnexLocalBLOBStream> TTarnexMemoryTableData::OpenBlobStream(TTarnexCursor* cursor, bool newValue,
                                                                              uint8_t mode, int32_t fieldNo) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const int32_t number = TableFieldNo(cursor, fieldNo, 10110);
  const TTarnexFieldDef& field = *FieldDefs().Items(number);
  if (field.BlobBlockSize == 0) throw ETarnexException(10420, "Stream block size = 0 is not allowed");
  auto underlying = std::make_unique<TTarnexTemporaryStream>();
  const uint8_t* buffer = cursor != nullptr ? cursor->RecordBuffer : nullptr;
  if (newValue || mode == 0 || buffer == nullptr || GetNullFlag(buffer, number))
    return MakeLocalBlobStream(cursor, field, true, mode, fieldNo, std::move(underlying), 0, 0, 0);
  const uint8_t* block = BlobBlockOf(buffer, field);
  if (block == nullptr) throw ETarnexException(10118, "Nil pointer occured");
  int32_t header[3];
  std::memcpy(header, block, sizeof(header));
  const int32_t compressed = MemoryManager().GetBlockSize(block) - BlobHeaderSize;
  if (compressed > 0) WriteExact(block + BlobHeaderSize, compressed, *underlying, 10147);
  return MakeLocalBlobStream(cursor, field, false, mode, fieldNo, std::move(underlying), header[1], header[2],
                             header[0]);
}

void TTarnexMemoryTableData::WriteBlob(TTarnexCursor* cursor, int32_t fieldNo, TTarnexLocalBLOBStream& stream) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (cursor == nullptr || cursor->RecordBuffer == nullptr) return;
  const int32_t number = TableFieldNo(cursor, fieldNo, 10118);
  const TTarnexFieldDef& field = *FieldDefs().Items(number);
  uint8_t* buffer = cursor->RecordBuffer;
  const bool owned = !GetNullFlag(buffer, number) && GetBlobMarker(buffer, field) == TarnexBlobOwnedMarker &&
                     BlobBlockOf(buffer, field) != nullptr;
  if (stream.Size() == 0) {
    if (owned) ReleaseBlobBlock(buffer, field);
    WriteHandle(buffer, field, 0, 0);
    SetNullFlag(buffer, number, true);
    return;
  }
  TTarnexCompressedBLOBStream& inner = *stream.Inner();
  TTarnexStream& underlying = *inner.Underlying();
  const int64_t compressed = underlying.Size();
  if (compressed > TTarnexMemoryManager::MaxBlockSize - BlobHeaderSize || inner.Size() > INT32_MAX) throw EOutOfMemory();
  auto* block = static_cast<uint8_t*>(MemoryManager().GetMem(static_cast<int32_t>(compressed) + BlobHeaderSize));
  const int32_t header[3] = {static_cast<int32_t>(inner.Size()), inner.Params().BlockSize,
                             static_cast<int32_t>(inner.Params().BlockCount)};
  std::memcpy(block, header, sizeof(header));
  const int64_t position = underlying.Position();
  try {
    underlying.SetPosition(0);
    if (compressed > 0) ReadExact(block + BlobHeaderSize, static_cast<int32_t>(compressed), underlying, 10117);
    underlying.SetPosition(position);
  } catch (...) {
    MemoryManager().FreeAndNillMem(block);
    throw;
  }
  if (owned) ReleaseBlobBlock(buffer, field);
  StoreBlobBlock(buffer, field, block);
  SetBlobMarker(buffer, field, TarnexBlobOwnedMarker);
  SetNullFlag(buffer, number, false);
}

void TTarnexMemoryTableData::FreeBlob(uint8_t* recordBuffer, int32_t fieldNo) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (!HasBlobFields_ || fieldNo < 0 || fieldNo >= FieldDefs().Count()) return;
  const TTarnexFieldDef& field = *FieldDefs().Items(fieldNo);
  if (!IsBLOBDataType(field.DataType) || GetNullFlag(recordBuffer, fieldNo)) return;
  if (!ReleaseBlobBlock(recordBuffer, field)) throw ETarnexException(10118, "Nil pointer occured");
  SetNullFlag(recordBuffer, fieldNo, true);
}

// --- records ---

bool TTarnexMemoryTableData::InsertRecord(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (RecordManager_ == nullptr) throw ETarnexException(10010, "Nil pointer occured");
  if (cursor == nullptr || cursor->RecordBuffer == nullptr) throw ETarnexException(10018, "Nil pointer occured");
  const int32_t sessionID = cursor->SessionIDForPages();
  uint8_t* buffer = cursor->RecordBuffer;
  // Every BLOB block of the buffer now belongs to the stored record (back to the buffer's on
  // failure).
  auto markBlobs = [&](uint16_t marker) {
    if (!HasBlobFields_) return;
    for (int32_t i = 0; i < FieldDefs().Count(); ++i) {
      const TTarnexFieldDef& field = *FieldDefs().Items(i);
      if (IsBLOBDataType(field.DataType) && !GetNullFlag(buffer, i)) SetBlobMarker(buffer, field, marker);
    }
  };
  AdoptForeignBlobs(buffer, nullptr);
  markBlobs(TarnexBlobStoredMarker);
  TTarnexRecordID id;
  if (!RecordManager_->AddRecord(buffer, id, sessionID)) {
    markBlobs(TarnexBlobOwnedMarker);
    return false;
  }
  try {
    InsertIndexKeys(sessionID, buffer, id);
  } catch (...) {
    TTarnexRecordID undo = id;
    RecordManager_->DeleteRecord(undo, sessionID);
    markBlobs(TarnexBlobOwnedMarker);
    throw;
  }
  cursor->RecordID = id;
  cursor->Bof = false;
  cursor->Eof = false;
  RecordSetInserted(cursor);
  if (IndexManager_->IndexCount() > 0) CommitPages(sessionID);
  return true;
}

bool TTarnexMemoryTableData::DeleteRecord(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (RecordManager_ == nullptr) throw ETarnexException(10010, "Nil pointer occured");
  if (cursor == nullptr) throw ETarnexException(10018, "Nil pointer occured");
  const int32_t sessionID = cursor->SessionIDForPages();
  const TTarnexRecordID id = cursor->RecordID;
  if (!RecordManager_->RecordExists(id, sessionID)) return false;
  // The referential rules come first: they may work on this table too.
  ForeignKeyBeforeDelete(cursor, cursor->RecordBuffer);
  uint8_t* stored = Scratch(0, RecordSize());
  if (!ReadStoredRecord(sessionID, id, stored)) return false;
  // The position being deleted, put back after the neighbour search.
  const bool savedBof = cursor->Bof;
  const bool savedEof = cursor->Eof;
  auto restore = [&](uint8_t* own) {
    cursor->RecordBuffer = own;
    cursor->RecordID = id;
    cursor->Bof = savedBof;
    cursor->Eof = savedEof;
  };

  // The neighbour in the cursor's own order: the next record, else the prior one.
  bool haveNeighbour = false;
  TTarnexRecordID neighbour;
  {
    uint8_t* own = cursor->RecordBuffer;
    cursor->RecordBuffer = Scratch(1, std::max(RecordSize(), cursor->RecordBufferSize));
    try {
      for (TNavigationDirection direction : {TNavigationDirection::Next, TNavigationDirection::Prior}) {
        cursor->RecordID = id;
        cursor->Bof = false;
        cursor->Eof = false;
        if (Navigate(cursor, direction) == TNavigationResult::Found) {
          neighbour = cursor->RecordID;
          haveNeighbour = true;
          break;
        }
      }
    } catch (...) {
      restore(own);
      throw;
    }
    restore(own);
  }

  DeleteIndexKeys(sessionID, stored, id);
  TTarnexRecordID removed = id;
  if (!RecordManager_->DeleteRecord(removed, sessionID)) {
    InsertIndexKeys(sessionID, stored, id);
    return false;
  }
  FreeRecordBlobs(stored);
  RecordSetDeleted(cursor, id);
  if (haveNeighbour) {
    cursor->RecordID = neighbour;
    cursor->Bof = false;
    cursor->Eof = false;
  } else {
    cursor->SetBOF();
  }
  if (IndexManager_->IndexCount() > 0) CommitPages(sessionID);
  return true;
}

bool TTarnexMemoryTableData::UpdateRecord(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (RecordManager_ == nullptr) throw ETarnexException(10010, "Nil pointer occured");
  if (cursor == nullptr || cursor->RecordBuffer == nullptr) throw ETarnexException(10018, "Nil pointer occured");
  const int32_t sessionID = cursor->SessionIDForPages();
  const TTarnexRecordID id = cursor->RecordID;
  if (!RecordManager_->RecordExists(id, sessionID)) return false;
  // The referential rules come first: they may work on this table too.
  ForeignKeyBeforeUpdate(cursor);
  uint8_t* stored = Scratch(0, RecordSize());
  if (!ReadStoredRecord(sessionID, id, stored)) return false;
  return StoreUpdatedRecord(cursor, sessionID, id, stored, cursor->RecordBuffer);
}

bool TTarnexMemoryTableData::StoreUpdatedRecord(TTarnexCursor* cursor, int32_t sessionID, const TTarnexRecordID& id,
                                                const uint8_t* oldStored, uint8_t* newBuffer) {
  AdoptForeignBlobs(newBuffer, oldStored);
  const bool orderKeyChanged =
      UpdateIndexKeys(sessionID, oldStored, newBuffer, id, cursor != nullptr ? cursor->IndexID : InvalidObjectID);
  if (!RecordManager_->UpdateRecord(newBuffer, id, sessionID)) {
    UpdateIndexKeys(sessionID, newBuffer, oldStored, id, InvalidObjectID);
    return false;
  }
  if (IndexManager_->IndexCount() > 0) CommitPages(sessionID);
  RecordSetUpdated(cursor, orderKeyChanged);
  return true;
}

void TTarnexMemoryTableData::DeleteAllRecords(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  if (RecordManager_ == nullptr) throw ETarnexException(10010, "Nil pointer occured");
  const int32_t sessionID = cursor != nullptr ? cursor->SessionIDForPages() : -2;
  const bool ofRecordSet = cursor != nullptr && cursor->RecordSet != nullptr && cursor->RecordSet->Active();
  if (ofRecordSet && cursor->RecordSet->Count() > GetRecordCount())
    throw ETarnexException(11311, "Invalid record count = %d. Limit is %d",
                           {cursor->RecordSet->Count(), static_cast<long long>(GetRecordCount())});
  if (!ofRecordSet && !ConstraintDefs().IsReferenced()) {
    ClearAllIndexes(sessionID);
    FreeAllBlobs();
    RecordManager_->Clear(sessionID);
    CommitPages(sessionID);
  } else {
    const std::vector<TTarnexRecordID> scope = RecordScope(cursor);
    // Its own buffer: the referential rules may delete rows of this table meanwhile.
    TTableScratch image(RecordSize());
    uint8_t* stored = image.Data();
    for (const TTarnexRecordID& id : scope) {
      if (!ReadStoredRecord(sessionID, id, stored))
        throw ETarnexException(11466, "Error - cannot load record (PageNo = %d, PageItemNo = %d) in table '%s'",
                               {id.PageNo, static_cast<int>(id.PageItemNo), TableName_});
      ForeignKeyBeforeDelete(cursor, stored);
      DeleteIndexKeys(sessionID, stored, id);
      TTarnexRecordID removed = id;
      RecordManager_->DeleteRecord(removed, sessionID);
      FreeRecordBlobs(stored);
      RecordSetDeleted(cursor, id);
    }
    CommitPages(sessionID);
  }
  if (cursor != nullptr) cursor->SetBOF();
}

void TTarnexMemoryTableData::SetRecNoInTableOrder(TTarnexCursor* cursor, int64_t recNo) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const TTarnexMemoryRecordManager* manager = MemoryRecordManager();
  const int32_t slot = manager != nullptr ? manager->RecordNumberToSlot(recNo - 1) : -1;
  if (slot < 0) {
    cursor->SetEOF();
    return;
  }
  cursor->RecordID = Int64ToRecordID(slot);
  cursor->Bof = false;
  cursor->Eof = false;
}

int64_t TTarnexMemoryTableData::GetRecNoInTableOrder(TTarnexCursor* cursor) {
  TTarnexCriticalSectionGuard guard(Lock_);
  const TTarnexMemoryRecordManager* manager = MemoryRecordManager();
  return manager != nullptr ? manager->SlotToRecordNumber(cursor->RecordID.PageNo) : -1;
}

int64_t TTarnexMemoryTableData::GetRecordCount() {
  return RecordManager_ != nullptr ? RecordManager_->GetRecordCount() : 0;
}

int64_t TTarnexMemoryTableData::GetLastAutoinc(const TTarnexFieldDef& field, TTarnexBaseSession* session) {
  TTarnexCriticalSectionGuard guard(Lock_);
  return SequenceManager_->LastValue(session, field.SequenceID);
}

void TTarnexMemoryTableData::SetLastAutoinc(const TTarnexFieldDef& field, int64_t value) {
  TTarnexCriticalSectionGuard guard(Lock_);
  SequenceManager_->FindSequence(field.SequenceID)->CurrentValue = value;
}

// ---------------------------------------------------------------------------------------------
// TTarnexMemoryDatabaseData
// ---------------------------------------------------------------------------------------------

TTarnexMemoryDatabaseData::TTarnexMemoryDatabaseData() : TTarnexDatabaseData("MEMORY") {}

TTarnexMemoryDatabaseData::~TTarnexMemoryDatabaseData() {
  while (!Tables_.empty()) {
    TTarnexTableData* table = Tables_.front().get();
    try {
      table->DropTable(nullptr, true, false);
    } catch (...) {
      // A table that refuses (a cursor still open, pages not given back) leaves anyway.
    }
    if (!Tables_.empty() && Tables_.front().get() == table) FreeTableData(table);
  }
}

void TTarnexMemoryDatabaseData::AddSession(TTarnexBaseSession* session) {
  session->SessionID = 0;
  TTarnexDatabaseData::AddSession(session);
}

TTarnexTableData* TTarnexMemoryDatabaseData::CreateTableData(TTarnexCursor* cursor) {
  return AddTableData(std::make_unique<TTarnexMemoryTableData>(this, cursor->TableName, cursor->AllocBy));
}
