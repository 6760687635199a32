// A re-entrant critical section and its scoped guard: every "under the lock" is a guard object.
#pragma once

#include <mutex>

class TCriticalSection {
public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;
  void Enter() { Mutex_.lock(); }
  void Leave() { Mutex_.unlock(); }
  bool TryEnter() { return Mutex_.try_lock(); }

private:
  std::recursive_mutex Mutex_;  // a thread may enter a section it already holds
};

class TCriticalSectionGuard {
public:
  explicit TCriticalSectionGuard(TCriticalSection& section) : Section_(section) { Section_.Enter(); }
  ~TCriticalSectionGuard() { Section_.Leave(); }
  TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
  TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

private:
  TCriticalSection& Section_;  // not owned
};
