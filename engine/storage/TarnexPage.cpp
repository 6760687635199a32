#include "engine/storage/TarnexPage.h"

#include <algorithm>
#include <cstring>

#include "engine/access/TarnexCompression.h"
#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/TempFiles.h"

namespace {

void WriteInt32(uint8_t* dest, int32_t value) { std::memcpy(dest, &value, sizeof(value)); }
void WriteInt16(uint8_t* dest, int16_t value) { std::memcpy(dest, &value, sizeof(value)); }

// Grows a bit array in steps so that it covers pageNo.
void CoverBit(TTarnexBitsArray& bits, int32_t pageNo, int32_t step) {
  if (pageNo < bits.BitCount()) return;
  int32_t count = bits.BitCount();
  while (count <= pageNo) count += step;
  bits.SetBitCount(count);
}

bool BitIsSet(const TTarnexBitsArray& bits, int32_t pageNo) {
  return pageNo >= 0 && pageNo < bits.BitCount() && bits.GetBit(pageNo);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTarnexPage

TTarnexPage::TTarnexPage(TTarnexPageManager* manager, int32_t sessionID)
    : Manager_(manager),
      SessionID_(sessionID),
      PageSize_(manager != nullptr ? manager->PageSize() : static_cast<uint16_t>(TarnexPageSize)),
      HeaderSize_(manager != nullptr ? manager->HeaderSize() : 0) {}

TTarnexPage::~TTarnexPage() { FreeOwnBuffer(); }

void TTarnexPage::FreeOwnBuffer() noexcept {
  if (OwnsBuffer_ && Buffer_ != nullptr) {
    try {
      MemoryManager().FreeAndNillMem(Buffer_);
    } catch (...) {
      // An overrun report cannot leave here; the block is released regardless.
    }
  }
  Buffer_ = nullptr;
  OwnsBuffer_ = false;
}

void TTarnexPage::MakeBufferPrivate(int32_t size) {
  if (Buffer_ == nullptr) throw ETarnexException(20038, "Invalid page buffer. Buffer is Nil");
  if (size < PageSize_) throw ETarnexException(20039, "Invalid page modification");
  if (OwnsBuffer_) {
    if (MemoryManager().GetBlockSize(Buffer_) != size) MemoryManager().ReallocMemZeroed(Buffer_, size);
    return;
  }
  // Only the bytes past the page itself need zeroing; the page bytes are copied over.
  auto* copy = static_cast<uint8_t*>(MemoryManager().GetMem(size));
  std::memcpy(copy, Buffer_, PageSize_);
  if (size > PageSize_) std::memset(copy + PageSize_, 0, size - PageSize_);
  Buffer_ = copy;
  OwnsBuffer_ = true;
}

void TTarnexPage::ShareBuffer(uint8_t* storeBuffer) {
  FreeOwnBuffer();
  Buffer_ = storeBuffer;
  OwnsBuffer_ = false;
}

void TTarnexPage::TakeBuffer(uint8_t* ownBuffer) {
  FreeOwnBuffer();
  Buffer_ = ownBuffer;
  OwnsBuffer_ = ownBuffer != nullptr;
}

void TTarnexPage::InitialiseBuffer(uint8_t* buffer, int32_t pageSize) {
  std::memset(buffer, 0, pageSize);
  std::memcpy(buffer, "TNXP", 4);
  WriteInt32(buffer + 4, 0);
  WriteInt16(buffer + 8, 0);
  WriteInt32(buffer + 10, -1);
  WriteInt32(buffer + 14, 0);
  WriteInt32(buffer + 18, 0);  // four zero bytes
  WriteInt32(buffer + 22, -1);
  WriteInt32(buffer + 26, -1);
  WriteInt16(buffer + 30, 0);
}

// ---------------------------------------------------------------------------------------------
// TTarnexPageManager

TTarnexPageManager::TTarnexPageManager(std::string className, int32_t notReleasedCode)
    : ClassName_(std::move(className)), NotReleasedCode_(notReleasedCode) {}

TTarnexPageManager::~TTarnexPageManager() = default;

int32_t TTarnexPageManager::GetPageCount() { return PageCount_; }
int64_t TTarnexPageManager::GetNewVersion() { return 0; }
int64_t TTarnexPageManager::GetCurrentVersion() { return 0; }
void TTarnexPageManager::LoadFromStream(TTarnexStream&) {}
void TTarnexPageManager::SaveToStream(TTarnexStream&) {}
void TTarnexPageManager::Flush() {}

TTarnexPageManager::TSessionPages& TTarnexPageManager::SessionPages(int32_t sessionID) {
  auto& entry = Sessions_[sessionID];
  if (!entry) entry = std::make_unique<TSessionPages>();
  return *entry;
}

TTarnexPageManager::TSessionPages* TTarnexPageManager::FindSessionPages(int32_t sessionID) const {
  auto it = Sessions_.find(sessionID);
  return it == Sessions_.end() ? nullptr : it->second.get();
}

TTarnexPage* TTarnexPageManager::FindInList(TTarnexPageList& list, int32_t pageNo) {
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if ((*it)->PageNo_ == pageNo) return it->get();
  return nullptr;
}

TTarnexPage* TTarnexPageManager::Append(TTarnexPageList& list, std::unique_ptr<TTarnexPage> page) {
  TTarnexPage* raw = page.get();
  list.push_back(std::move(page));
  raw->OwnerList_ = &list;
  raw->Position_ = std::prev(list.end());
  return raw;
}

void TTarnexPageManager::MoveTo(TTarnexPage& page, TTarnexPageList& list) {
  list.splice(list.end(), *page.OwnerList_, page.Position_);
  page.OwnerList_ = &list;
  page.Position_ = std::prev(list.end());
}

void TTarnexPageManager::Detach(TTarnexPage& page) {
  if (page.OwnerList_ == nullptr) return;
  if (page.UseCount_ > 0) {
    // Someone still holds the page: keep the object alive; its release will be refused.
    DetachedPages_.splice(DetachedPages_.end(), *page.OwnerList_, page.Position_);
    page.OwnerList_ = nullptr;
    return;
  }
  page.OwnerList_->erase(page.Position_);  // destroys the page
}

void TTarnexPageManager::TrimCache() {
  auto it = CleanPages_.begin();
  while (static_cast<int32_t>(CleanPages_.size()) > CacheCapacity_ && it != CleanPages_.end()) {
    if ((*it)->UseCount_ > 0)
      ++it;
    else
      it = CleanPages_.erase(it);
  }
}

TTarnexPage* TTarnexPageManager::AddNewPage(int32_t sessionID) {
  TTarnexCriticalSectionGuard guard(Lock_);
  TSessionPages& session = SessionPages(sessionID);
  auto page = std::make_unique<TTarnexPage>(this, sessionID);
  AllocatePageNo(*page);
  if (page->PageNo_ == -1) throw ETarnexException(20064, "Invalid page number");
  page->UseCount_ = 1;
  page->Dirty_ = true;
  page->SessionID_ = sessionID;
  TTarnexPage* raw = Append(session.DirtyPages, std::move(page));
  session.AllocatedPageNos.Add(raw->PageNo_);
  return raw;
}

TTarnexPage* TTarnexPageManager::GetPage(int32_t sessionID, int32_t pageNo,
                                         const TTarnexPageChangeTest& changeTest, TTarnexTableData* table) {
  TTarnexCriticalSectionGuard guard(Lock_);
  TSessionPages& session = SessionPages(sessionID);
  TTarnexPage* page = FindInList(session.DirtyPages, pageNo);
  if (page == nullptr) {
    page = FindInList(CleanPages_, pageNo);
    if (page != nullptr) {
      // Checked before any refresh: re-reading would overwrite the other session's bytes.
      if (page->UseCount_ >= 1 && page->SessionID_ != sessionID)
        throw ETarnexException(20090, "Page is used by other session");
      if (CheckVersions_ && (!changeTest || changeTest(*page, table)) &&
          page->Version_ != GetCurrentVersion()) {
        ReadPage(*page);
        page->Version_ = GetCurrentVersion();
      }
    } else {
      page = Append(CleanPages_, std::make_unique<TTarnexPage>(this, sessionID));
      page->PageNo_ = pageNo;
      try {
        ReadPage(*page);
      } catch (...) {
        Detach(*page);
        throw;
      }
      page->Version_ = GetCurrentVersion();
    }
  }
  page->SessionID_ = sessionID;
  ++page->UseCount_;
  return page;
}

void TTarnexPageManager::ReleasePage(TTarnexPage& page) {
  if (page.PageNo_ == -1) throw ETarnexException(20065, "Invalid page number");
  TTarnexCriticalSectionGuard guard(Lock_);
  if (page.OwnerList_ == nullptr) throw ETarnexException(20040, "Used page was released too early");
  if (page.UseCount_ - 1 < 0)
    throw ETarnexException(10665, "Error - invalid use count = %d, pageNo = %d",
                           {page.UseCount_ - 1, page.PageNo_});
  --page.UseCount_;
  if (page.UseCount_ == 0 && page.OwnerList_ == &CleanPages_) {
    if (page.Dirty_)
      MoveTo(page, SessionPages(page.SessionID_).DirtyPages);
    else
      MoveTo(page, CleanPages_);
  }
  TrimCache();
}

void TTarnexPageManager::RemovePage(int32_t sessionID, int32_t pageNo) {
  TTarnexCriticalSectionGuard guard(Lock_);
  SessionPages(sessionID).FreedPageNos.Add(pageNo);
}

void TTarnexPageManager::CommitSession(int32_t sessionID) {
  TTarnexCriticalSectionGuard guard(Lock_);
  TSessionPages* session = FindSessionPages(sessionID);
  if (session == nullptr) return;
  const int64_t version = GetNewVersion();
  for (const auto& page : session->DirtyPages) {
    if (!page->Dirty_) throw ETarnexException(10822, "Page is not dirty, pageNo = %d", {page->PageNo_});
    if (page->UseCount_ > 0)
      throw ETarnexException(10823, "Cannot remove used page, pageNo = %d, UseCount = %d",
                             {page->PageNo_, page->UseCount_});
  }
  while (!session->DirtyPages.empty()) {
    TTarnexPage& page = *session->DirtyPages.front();
    WritePage(page);
    page.Dirty_ = false;
    page.Version_ = version;
    // Older unused copies of the same page in the cache hold superseded bytes.
    for (auto it = CleanPages_.begin(); it != CleanPages_.end();) {
      if ((*it)->PageNo_ == page.PageNo_ && (*it)->UseCount_ == 0)
        it = CleanPages_.erase(it);
      else
        ++it;
    }
    MoveTo(page, CleanPages_);
  }
  for (int32_t i = 0; i < session->FreedPageNos.Count(); ++i) {
    const int32_t pageNo = session->FreedPageNos.Item(i);
    FreePageNo(pageNo);
    while (TTarnexPage* page = FindInList(CleanPages_, pageNo)) Detach(*page);
  }
  session->AllocatedPageNos.SetCount(0);
  session->FreedPageNos.SetCount(0);
  TrimCache();
}

void TTarnexPageManager::RollbackSession(int32_t sessionID) {
  TTarnexCriticalSectionGuard guard(Lock_);
  TSessionPages* session = FindSessionPages(sessionID);
  if (session == nullptr) return;
  for (const auto& page : session->DirtyPages) {
    if (!page->Dirty_) throw ETarnexException(10820, "Page is not dirty, pageNo = %d", {page->PageNo_});
    if (page->UseCount_ > 0)
      throw ETarnexException(10821, "Cannot remove used page, pageNo = %d, UseCount = %d",
                             {page->PageNo_, page->UseCount_});
  }
  for (int32_t i = 0; i < session->AllocatedPageNos.Count(); ++i) FreePageNo(session->AllocatedPageNos.Item(i));
  session->DirtyPages.clear();
  // Numbers given back here must not be given back again by a later rollback.
  session->AllocatedPageNos.SetCount(0);
  session->FreedPageNos.SetCount(0);
}

void TTarnexPageManager::CheckFree() const {
  for (const auto& [id, session] : Sessions_)
    if (!session->DirtyPages.empty())
      throw ETarnexException(20097, "Cannot free not commited pages, page manager classname = %s", {ClassName_});
  if (PageCount_ > 0) throw ETarnexException(NotReleasedCode_, "Index pages are not released");
}

int32_t TTarnexPageManager::CleanPageCount() const { return static_cast<int32_t>(CleanPages_.size()); }

int32_t TTarnexPageManager::DirtyPageCount(int32_t sessionID) const {
  TSessionPages* session = FindSessionPages(sessionID);
  return session == nullptr ? 0 : static_cast<int32_t>(session->DirtyPages.size());
}

int32_t TTarnexPageManager::AllocatedPageCount(int32_t sessionID) const {
  TSessionPages* session = FindSessionPages(sessionID);
  return session == nullptr ? 0 : session->AllocatedPageNos.Count();
}

int32_t TTarnexPageManager::FreedPageCount(int32_t sessionID) const {
  TSessionPages* session = FindSessionPages(sessionID);
  return session == nullptr ? 0 : session->FreedPageNos.Count();
}

// ---------------------------------------------------------------------------------------------
// TTarnexMemoryPageManager

TTarnexMemoryPageManager::TTarnexMemoryPageManager() : TTarnexPageManager("TTarnexMemoryPageManager", 20023) {}

TTarnexMemoryPageManager::~TTarnexMemoryPageManager() {
  for (uint8_t*& buffer : Pages_) {
    try {
      MemoryManager().FreeAndNillMem(buffer);
    } catch (...) {
      // An overrun report cannot leave a destructor; the block is released regardless.
    }
  }
}

bool TTarnexMemoryPageManager::IsPageUsed(int32_t pageNo) const { return BitIsSet(UsedPages_, pageNo); }

const uint8_t* TTarnexMemoryPageManager::StoreBuffer(int32_t pageNo) const {
  if (pageNo < 0 || pageNo >= static_cast<int32_t>(Pages_.size())) return nullptr;
  return Pages_[pageNo];
}

void TTarnexMemoryPageManager::AllocatePageNo(TTarnexPage& page) {
  TTarnexCriticalSectionGuard guard(Lock());
  int32_t pageNo = UsedPages_.FindFirst(false);
  if (pageNo < 0) pageNo = MaxPageNo_ + 1;
  if (pageNo >= Capacity_) {
    UsedPages_.SetBitCount(Capacity_ + AllocStep_);
    Capacity_ += AllocStep_;
  }
  if (UsedPages_.GetBit(pageNo)) throw ETarnexException(20037, "Not released page is allocated");
  if (pageNo >= static_cast<int32_t>(Pages_.size())) {
    const size_t length = std::max<size_t>(static_cast<size_t>(pageNo) + 1, Pages_.size() + 50);
    Pages_.reserve(length);
    while (Pages_.size() < length)
      Pages_.push_back(static_cast<uint8_t*>(MemoryManager().AllocMem(PageSize())));
  }
  UsedPages_.SetBit(pageNo, true);
  ++PageCount_;
  if (pageNo > MaxPageNo_) MaxPageNo_ = pageNo;
  page.SetPageNo(pageNo);
  page.ShareBuffer(Pages_[pageNo]);
}

void TTarnexMemoryPageManager::FreePageNo(int32_t pageNo) {
  TTarnexCriticalSectionGuard guard(Lock());
  if (!IsPageUsed(pageNo)) return;
  --PageCount_;
  UsedPages_.SetBit(pageNo, false);
}

void TTarnexMemoryPageManager::ReadPage(TTarnexPage& page) {
  TTarnexCriticalSectionGuard guard(Lock());
  if (!IsPageUsed(page.PageNo())) throw ETarnexException(10392, "Not released page is allocated");
  page.ShareBuffer(Pages_[page.PageNo()]);
}

void TTarnexMemoryPageManager::WritePage(TTarnexPage& page) {
  TTarnexCriticalSectionGuard guard(Lock());
  if (!IsPageUsed(page.PageNo())) throw ETarnexException(10393, "Not released page is allocated");
  if (page.OwnsBuffer() && page.Buffer() != nullptr) std::memcpy(Pages_[page.PageNo()], page.Buffer(), PageSize());
}

// ---------------------------------------------------------------------------------------------
// TTarnexTemporaryPageManager

TTarnexTemporaryPageManager::TTarnexTemporaryPageManager()
    : TTarnexTemporaryPageManager(
          static_cast<int32_t>((MemoryManager().GetAvailableMemory() / 10) / TarnexPageSize)) {}

TTarnexTemporaryPageManager::TTarnexTemporaryPageManager(int32_t memoryPageLimit)
    : TTarnexPageManager("TTarnexTemporaryPageManager", 20036),
      MemoryPageLimit_(memoryPageLimit < 0 ? 0 : memoryPageLimit),
      Inner_(std::make_unique<TTarnexMemoryPageManager>()) {}

TTarnexTemporaryPageManager::~TTarnexTemporaryPageManager() {
  File_.reset();
  if (!FileName_.empty()) DeleteFile(FileName_);
}

bool TTarnexTemporaryPageManager::IsPageUsed(int32_t pageNo) const { return BitIsSet(UsedPages_, pageNo); }

void TTarnexTemporaryPageManager::EnsureFile() {
  if (File_) return;
  std::string name = GetTempFileName("Tarnex");
  try {
    File_ = std::make_unique<TTarnexFileStream>(name, TarnexFileMode::Create);
  } catch (...) {
    DeleteFile(name);
    throw;
  }
  FileName_ = std::move(name);
}

void TTarnexTemporaryPageManager::MarkUsed(int32_t pageNo) {
  CoverBit(UsedPages_, pageNo, 50);
  UsedPages_.SetBit(pageNo, true);
  ++PageCount_;
}

uint8_t* TTarnexTemporaryPageManager::NewInitialisedBuffer() const {
  auto* buffer = static_cast<uint8_t*>(MemoryManager().GetMem(PageSize()));
  TTarnexPage::InitialiseBuffer(buffer, PageSize());
  return buffer;
}

void TTarnexTemporaryPageManager::AllocatePageNo(TTarnexPage& page) {
  TTarnexCriticalSectionGuard guard(Lock());
  if (PageTotal_ < MemoryPageLimit_) {
    Inner_->AllocatePageNo(page);
    const int32_t pageNo = page.PageNo();
    if (pageNo + 1 > PageTotal_) PageTotal_ = pageNo + 1;
    MarkUsed(pageNo);
    return;
  }
  const int32_t pageNo = PageTotal_;
  EnsureFile();
  File_->SetSize(static_cast<int64_t>(PageSize()) * (static_cast<int64_t>(PageTotal_) + 1));
  uint8_t* buffer = NewInitialisedBuffer();
  ++PageTotal_;
  MarkUsed(pageNo);
  page.SetPageNo(pageNo);
  page.TakeBuffer(buffer);
}

void TTarnexTemporaryPageManager::FreePageNo(int32_t pageNo) {
  TTarnexCriticalSectionGuard guard(Lock());
  if (!IsPageUsed(pageNo)) return;
  --PageCount_;
  UsedPages_.SetBit(pageNo, false);
  if (pageNo < MemoryPageLimit_) Inner_->FreePageNo(pageNo);
}

void TTarnexTemporaryPageManager::ReadPage(TTarnexPage& page) {
  TTarnexCriticalSectionGuard guard(Lock());
  const int32_t pageNo = page.PageNo();
  if (!IsPageUsed(pageNo)) throw ETarnexException(10396, "Not released page is allocated");
  if (pageNo < MemoryPageLimit_) {
    Inner_->ReadPage(page);
    return;
  }
  EnsureFile();
  uint8_t* buffer = NewInitialisedBuffer();
  try {
    SeekExact(*File_, static_cast<int64_t>(pageNo) * PageSize(), 10406);
    ReadExact(buffer, PageSize(), *File_, 10407);
  } catch (...) {
    MemoryManager().FreeAndNillMem(buffer);
    throw;
  }
  page.TakeBuffer(buffer);
}

void TTarnexTemporaryPageManager::WritePage(TTarnexPage& page) {
  TTarnexCriticalSectionGuard guard(Lock());
  const int32_t pageNo = page.PageNo();
  if (!IsPageUsed(pageNo)) throw ETarnexException(10397, "Not released page is allocated");
  if (pageNo < MemoryPageLimit_) {
    Inner_->WritePage(page);
    return;
  }
  if (page.Buffer() == nullptr) throw ETarnexException(20038, "Invalid page buffer. Buffer is Nil");
  EnsureFile();
  SeekExact(*File_, static_cast<int64_t>(pageNo) * PageSize(), 10408);
  WriteExact(page.Buffer(), PageSize(), *File_, 10411);
}
