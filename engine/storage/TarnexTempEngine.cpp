#include "engine/storage/TarnexTempEngine.h"

#include <cstring>

#include "engine/access/TarnexCompression.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
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
