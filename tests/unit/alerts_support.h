// Helpers of the library's debug-output, alert and placement tests.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rovalent_internal.h"

namespace alerts {

// Listens to the system's debugger output the way a debug monitor does (the
// shared buffer "DBWIN_BUFFER" and its two events), keeping the texts that
// this process writes. While it runs, every OutputDebugStringA of the
// process waits until the monitor has taken the text.
class DebuggerMonitor {
 public:
  DebuggerMonitor();
  DebuggerMonitor(const DebuggerMonitor&) = delete;
  DebuggerMonitor& operator=(const DebuggerMonitor&) = delete;
  ~DebuggerMonitor();

  // The texts written since the start or the last Take, in order.
  std::vector<std::string> Take();

 private:
  struct View;
  void Listen();

  rt::UniqueHandle bufferReady_, dataReady_, mapping_;
  std::unique_ptr<View> view_;
  std::mutex mutex_;
  std::condition_variable seen_;
  std::vector<std::string> texts_;
  bool markSeen_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The clock value of a time of day: h:m:s and hundredths.
constexpr std::int32_t ClockAt(int hours, int minutes, int seconds, int hundredths) {
  return hours * 360000 + minutes * 6000 + seconds * 100 + hundredths + 1;
}

// The runtime's event queue of a window, taken empty.
std::vector<int> TakeEvents(rt::Window& window);

WNDPROC ProcedureOf(HWND window);

// Puts back the procedure of every handle that the calling thread alerted
// and empties its queues, also of windows that could no longer be removed
// through WinAlert.
void RemoveAllAlerts();

// Fills a procedure variable for the length of a scope.
class ProcScope {
 public:
  ProcScope(ProcVariable& variable, std::int32_t value) : variable_(variable), original_(variable) {
    variable_ = value;
  }
  template <typename Fn>
  ProcScope(ProcVariable& variable, Fn* fn)
      : ProcScope(variable, static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(fn))) {}
  ProcScope(const ProcScope&) = delete;
  ProcScope& operator=(const ProcScope&) = delete;
  ~ProcScope() { variable_ = original_; }

 private:
  ProcVariable& variable_;
  std::int32_t original_;
};

// True under Wine, whose session-notification procedures are stubs.
bool UnderWine();

// The calling thread's next allocation through operator new fails with
// std::bad_alloc, as when memory runs out; the ones after it work again.
void FailNextAllocation();

}  // namespace alerts
