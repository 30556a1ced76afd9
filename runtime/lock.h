// A re-entrant lock around one Windows critical section: the thread that
// holds it may enter it again; every Wait is matched by one Release.
#pragma once

#include <windows.h>

namespace rt {

class Lock {
 public:
  Lock() { ::InitializeCriticalSection(&section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock() { ::DeleteCriticalSection(&section_); }

  void Wait() { ::EnterCriticalSection(&section_); }
  void Release() { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class LockHold {
 public:
  explicit LockHold(Lock& lock) : lock_(lock) { lock_.Wait(); }
  LockHold(const LockHold&) = delete;
  LockHold& operator=(const LockHold&) = delete;
  ~LockHold() { lock_.Release(); }

 private:
  Lock& lock_;
};

}  // namespace rt
