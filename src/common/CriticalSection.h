#pragma once

#include <mutex>

namespace vexa {

// Re-entrant lock: the owning thread may enter again, and must leave as often as it entered.
class CLFXCriticalSection {
 public:
  CLFXCriticalSection() = default;
  CLFXCriticalSection(const CLFXCriticalSection&) = delete;
  CLFXCriticalSection& operator=(const CLFXCriticalSection&) = delete;
  virtual ~CLFXCriticalSection() = default;

  void Lock() { mutex_.lock(); }
  void Unlock() { mutex_.unlock(); }
  // One non-blocking attempt.
  bool TryLock() { return mutex_.try_lock(); }

  // BasicLockable, so std::lock_guard and std::unique_lock work too.
  void lock() { Lock(); }
  void unlock() { Unlock(); }
  bool try_lock() { return TryLock(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace vexa
