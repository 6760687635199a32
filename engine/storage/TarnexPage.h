// Fixed-size pages for the B-tree indexes and the page managers that hand them out: page
// numbers, check-out and check-in per session, per-session dirty lists committed or rolled back
// together, and a small cache of unchanged pages. Two stores: all pages in memory (memory
// tables) and in memory up to a limit, then in a temporary file (temporary tables and indexes).
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/TarnexTypes.h"
#include "engine/storage/TarnexCriticalSection.h"

class TTarnexStream;
class TTarnexFileStream;
class TTarnexTableData;  // the table whose index asks for a page; passed through to change tests
class TTarnexPageManager;
class TTarnexPage;

// Page kinds of databases that keep tables in files; no page of the memory or temporary store
// carries one.
enum class TTarnexPageTypeID : uint8_t {
  PageTypeIDUnknown = 0,
  PageTypeIDEmpty,
  PageTypeIDGAM,
  PageTypeIDSGAM,
  PageTypeIDPFS,
  PageTypeIDFileSystemDirectory,
  PageTypeIDActiveSessionList,
  PageTypeIDTableList,
  PageTypeIDTablePFSMap,
  PageTypeIDTableLocks,
  PageTypeIDTableDataSmall,
  PageTypeIDTableDataLarge,
  PageTypeIDTableRows,
  PageTypeIDTablePFS,
  TarnexPageTypeIDTableMetadata,
  TarnexPageTypeIDTableMostUpdated,
};

// A list of page objects, owning them: a session's dirty list or the clean cache (oldest first).
using TTarnexPageList = std::list<std::unique_ptr<TTarnexPage>>;

// One page as a session sees it. Unchanged pages may share the store's bytes; a page about to
// change is made private first (MakeBufferPrivate), then marked Dirty.
class TTarnexPage {
public:
  TTarnexPage(TTarnexPageManager* manager, int32_t sessionID);
  ~TTarnexPage();  // frees an owned buffer
  TTarnexPage(const TTarnexPage&) = delete;
  TTarnexPage& operator=(const TTarnexPage&) = delete;

  TTarnexPageManager* Manager() const { return Manager_; }
  int32_t PageNo() const { return PageNo_; }
  uint8_t* Buffer() const { return Buffer_; }
  bool OwnsBuffer() const { return OwnsBuffer_; }
  bool Dirty() const { return Dirty_; }
  void SetDirty(bool dirty) { Dirty_ = dirty; }
  int32_t UseCount() const { return UseCount_; }
  // The list the page sits in (its session's dirty list or the clean cache); nullptr once the
  // manager has let go of it while it was still in use.
  const TTarnexPageList* OwnerList() const { return OwnerList_; }
  int32_t SessionID() const { return SessionID_; }
  int64_t Version() const { return Version_; }
  void SetVersion(int64_t version) { Version_ = version; }
  uint16_t PageSize() const { return PageSize_; }
  uint16_t HeaderSize() const { return HeaderSize_; }

  // Gives the page a private buffer of `size` bytes before its bytes change: no buffer raises
  // 20038 "Invalid page buffer. Buffer is Nil"; size below PageSize 20039 "Invalid page
  // modification"; an owned buffer is resized (new bytes zero); a shared one is replaced by a
  // zero-filled copy holding its PageSize bytes.
  void MakeBufferPrivate(int32_t size);
  void MakeBufferPrivate() { MakeBufferPrivate(PageSize_); }

  // Store side: the page number a store handed out, and the page's bytes.
  void SetPageNo(int32_t pageNo) { PageNo_ = pageNo; }
  // Points the page at the store's bytes (not owned); an owned buffer is freed.
  void ShareBuffer(uint8_t* storeBuffer);
  // Gives the page its own buffer (a memory-manager block of at least PageSize bytes, now owned);
  // a previously owned buffer is freed.
  void TakeBuffer(uint8_t* ownBuffer);

  // Fills the first 32 bytes of a page buffer created by the temporary store with its initial
  // header ("TNXP", 0, 0, -1, 0, four zero bytes, -1, -1, 0) and zeroes the rest of the page.
  static void InitialiseBuffer(uint8_t* buffer, int32_t pageSize);
  static constexpr int32_t InitialHeaderSize = 32;

private:
  friend class TTarnexPageManager;  // keeps UseCount, OwnerList and the list position

  void FreeOwnBuffer() noexcept;

  TTarnexPageManager* Manager_;          // not owned: the manager that made the page
  int32_t PageNo_ = -1;                  // -1 until allocated
  uint8_t* Buffer_ = nullptr;            // owned when OwnsBuffer_, else the store's bytes
  bool OwnsBuffer_ = false;
  bool Dirty_ = false;                   // changed by its session, not yet committed
  int32_t UseCount_ = 0;                 // holders using the page now
  TTarnexPageList* OwnerList_ = nullptr; // not owned: the list holding this page
  TTarnexPageList::iterator Position_;   // the page's place in OwnerList_
  int32_t SessionID_;                    // the session that last took the page
  int64_t Version_ = 0;                  // store version the page was read or written at
  uint16_t PageSize_;                    // copied from the manager
  uint16_t HeaderSize_;                  // copied from the manager
};

// Decides whether a page found in the clean cache is to be checked against the store's
// current version (true) before it is handed out again.
using TTarnexPageChangeTest = std::function<bool(TTarnexPage& page, TTarnexTableData* table)>;

// Base of the page stores: sessions, dirty lists, the clean cache, commit and rollback. Every
// operation runs under the manager's own lock. Session -2 stands for the engine itself.
class TTarnexPageManager {
public:
  virtual ~TTarnexPageManager();  // frees every page object; never raises (see CheckFree)
  TTarnexPageManager(const TTarnexPageManager&) = delete;
  TTarnexPageManager& operator=(const TTarnexPageManager&) = delete;

  // Virtual operations, in slot order.
  virtual int32_t GetPageCount();      // PageCount: pages in use
  virtual int64_t GetNewVersion();     // 0
  virtual int64_t GetCurrentVersion(); // 0
  virtual void LoadFromStream(TTarnexStream& stream);  // base: nothing
  virtual void SaveToStream(TTarnexStream& stream);    // base: nothing
  // Gives page a free page number (page.PageNo) and its bytes.
  virtual void AllocatePageNo(TTarnexPage& page) = 0;
  // Returns pageNo to the store; a number not in use is ignored.
  virtual void FreePageNo(int32_t pageNo) = 0;
  // Fills page with the store's committed bytes of page.PageNo.
  virtual void ReadPage(TTarnexPage& page) = 0;
  // Makes page's bytes the store's contents of page.PageNo.
  virtual void WritePage(TTarnexPage& page) = 0;
  virtual void Flush();  // nothing

  // A new page for sessionID: allocated, in use once, Dirty, in the session's dirty list, its
  // number recorded as allocated by the session. 20064 "Invalid page number" when the store
  // gave no number. The page stays owned by the manager.
  TTarnexPage* AddNewPage(int32_t sessionID);
  // Page pageNo for sessionID, in use once more: the session's own changed copy, else the
  // cached one, else one read from the store. 20090 "Page is used by other session" when the
  // page is in use by another session. changeTest (may be empty) and table: see
  // TTarnexPageChangeTest. The page stays owned by the manager.
  TTarnexPage* GetPage(int32_t sessionID, int32_t pageNo, const TTarnexPageChangeTest& changeTest = {},
                       TTarnexTableData* table = nullptr);
  // Ends one use of page. 20065 "Invalid page number" for an unallocated page; 20040 "Used page
  // was released too early" when the manager no longer holds it; 10665 "Error - invalid use
  // count = %d, pageNo = %d" when it was not in use. An unused cached page moves to its
  // session's dirty list when Dirty, else to the newest end of the clean cache; then unused
  // cached pages are freed, oldest first, while the cache holds more than CacheCapacity.
  void ReleasePage(TTarnexPage& page);
  // Records pageNo as freed by sessionID; the number is given back at commit.
  void RemovePage(int32_t sessionID, int32_t pageNo);
  // Writes the session's dirty pages to the store (they join the clean cache), then gives back
  // the numbers it freed. Every dirty page must be Dirty (10822 "Page is not dirty, pageNo = %d")
  // and unused (10823 "Cannot remove used page, pageNo = %d, UseCount = %d"); nothing is written
  // unless all are.
  void CommitSession(int32_t sessionID);
  // Gives back the numbers the session allocated and discards its dirty pages, so the store
  // keeps its committed contents. Checks as in commit with 10820 and 10821.
  void RollbackSession(int32_t sessionID);

  // Raises what freeing the manager now would leave behind: 20097 "Cannot free not commited
  // pages, page manager classname = %s" while a session has dirty pages, then the store's
  // "Index pages are not released" (20023 memory, 20036 temporary) while PageCount > 0.
  // Owners call it before freeing the manager; the destructor itself never raises.
  void CheckFree() const;

  TTarnexCriticalSection& Lock() { return Lock_; }
  int32_t CacheCapacity() const { return CacheCapacity_; }
  uint16_t PageSize() const { return PageSize_; }
  uint16_t HeaderSize() const { return HeaderSize_; }
  const std::string& ClassName() const { return ClassName_; }
  int32_t CleanPageCount() const;                     // page objects in the clean cache
  int32_t DirtyPageCount(int32_t sessionID) const;    // pages in the session's dirty list
  int32_t AllocatedPageCount(int32_t sessionID) const;  // numbers the session allocated
  int32_t FreedPageCount(int32_t sessionID) const;      // numbers the session freed
  // Version checks of cached pages in GetPage (on by default).
  bool CheckVersions() const { return CheckVersions_; }
  void SetCheckVersions(bool value) { CheckVersions_ = value; }

protected:
  // className: the store's class name for messages; notReleasedCode: its "Index pages are not
  // released" code.
  TTarnexPageManager(std::string className, int32_t notReleasedCode);

  int32_t PageCount_ = 0;  // pages in use (allocated and not freed)

private:
  // One session's changes since its last commit or rollback.
  struct TSessionPages {
    TTarnexPageList DirtyPages;                   // owned: pages the session changed
    TTarnexIntegerArray AllocatedPageNos{0, 100, 10};  // numbers the session allocated
    TTarnexIntegerArray FreedPageNos{0, 100, 10};      // numbers the session freed
  };

  TSessionPages& SessionPages(int32_t sessionID);        // found or created
  TSessionPages* FindSessionPages(int32_t sessionID) const;
  static TTarnexPage* FindInList(TTarnexPageList& list, int32_t pageNo);  // newest first
  // Appends page to list / moves it there from its current list.
  static TTarnexPage* Append(TTarnexPageList& list, std::unique_ptr<TTarnexPage> page);
  static void MoveTo(TTarnexPage& page, TTarnexPageList& list);
  // Removes page from its list: destroyed when unused, else kept apart until the manager goes.
  void Detach(TTarnexPage& page);
  void TrimCache();

  TTarnexCriticalSection Lock_;       // guards every operation
  int32_t CacheCapacity_ = 30;        // unused unchanged pages the clean cache keeps
  TTarnexPageList CleanPages_;        // owned: the clean cache, oldest first
  std::map<int32_t, std::unique_ptr<TSessionPages>> Sessions_;  // owned: one entry per session ID seen
  TTarnexPageList DetachedPages_;     // owned: pages let go while in use (OwnerList nullptr)
  uint16_t PageSize_ = 4096;
  uint16_t HeaderSize_ = 0;
  bool CheckVersions_ = true;
  std::string ClassName_;             // the store's class name
  int32_t NotReleasedCode_;           // the store's code for pages still in use when freed
};

// Every page in memory: one PageSize buffer per page number, reused after a number is freed.
class TTarnexMemoryPageManager : public TTarnexPageManager {
public:
  TTarnexMemoryPageManager();
  ~TTarnexMemoryPageManager() override;  // frees every page buffer

  // The lowest free number, else MaxPageNo + 1 (Capacity grows by AllocStep); the page shares
  // the store's buffer. 20037 "Not released page is allocated" if the number is already in use.
  void AllocatePageNo(TTarnexPage& page) override;
  void FreePageNo(int32_t pageNo) override;  // the buffer stays for reuse
  // The page shares the store's buffer again (a private buffer is freed). 10392 "Not released
  // page is allocated" for a number not in use.
  void ReadPage(TTarnexPage& page) override;
  // A private buffer is copied into the store's buffer. 10393 for a number not in use.
  void WritePage(TTarnexPage& page) override;

  int32_t Capacity() const { return Capacity_; }
  int32_t AllocStep() const { return AllocStep_; }
  int32_t MaxPageNo() const { return MaxPageNo_; }
  bool IsPageUsed(int32_t pageNo) const;
  // The store's committed bytes of pageNo (PageSize bytes); nullptr beyond the store.
  const uint8_t* StoreBuffer(int32_t pageNo) const;

private:
  TTarnexBitsArray UsedPages_;    // one bit per page number, 1 = in use; covers Capacity_
  int32_t Capacity_ = 0;          // page numbers UsedPages_ covers
  int32_t AllocStep_ = 50;        // Capacity_ growth step
  int32_t MaxPageNo_ = -1;        // highest number handed out, -1 before the first
  std::vector<uint8_t*> Pages_;   // owned memory-manager blocks, PageSize bytes per number
};

// Pages below MemoryPageLimit in an inner memory store, the others in a temporary file (page n
// at byte n x PageSize), created on first need and deleted when the manager is freed. Numbers of
// file pages are not reused.
class TTarnexTemporaryPageManager : public TTarnexPageManager {
public:
  // MemoryPageLimit = (available physical memory / 10) / PageSize.
  TTarnexTemporaryPageManager();
  explicit TTarnexTemporaryPageManager(int32_t memoryPageLimit);
  ~TTarnexTemporaryPageManager() override;  // closes and deletes the file

  void AllocatePageNo(TTarnexPage& page) override;
  void FreePageNo(int32_t pageNo) override;
  // 10396 "Not released page is allocated" for a number not in use. File pages: seek 10406,
  // short read 10407 (the exact-transfer messages).
  void ReadPage(TTarnexPage& page) override;
  // 10397 for a number not in use. File pages: seek 10408, short write 10411.
  void WritePage(TTarnexPage& page) override;

  int32_t PageTotal() const { return PageTotal_; }
  int32_t MemoryPageLimit() const { return MemoryPageLimit_; }
  bool IsPageUsed(int32_t pageNo) const;
  const std::string& FileName() const { return FileName_; }  // empty until the file exists

private:
  void EnsureFile();
  void MarkUsed(int32_t pageNo);
  uint8_t* NewInitialisedBuffer() const;  // a memory-manager block of PageSize bytes

  TTarnexBitsArray UsedPages_;                        // one bit per page number, 1 = in use
  int32_t PageTotal_ = 0;                             // one more than the highest number handed out
  int32_t MemoryPageLimit_;                           // numbers below it live in Inner_
  std::unique_ptr<TTarnexMemoryPageManager> Inner_;   // owned: the pages below the limit
  std::unique_ptr<TTarnexFileStream> File_;           // owned: the pages at or above the limit
  std::string FileName_;                              // the file's path, deleted with the manager
};
