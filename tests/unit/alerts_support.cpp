#include "alerts_support.h"

#include <chrono>
#include <cstring>

namespace alerts {
namespace {

constexpr DWORD kBufferSize = 4096;
// Written by Take to learn that the monitor has read everything before it.
constexpr char kMark[] = "\x01monitor mark";

}  // namespace

struct DebuggerMonitor::View {
  explicit View(HANDLE mapping)
      : data(static_cast<const char*>(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {}
  View(const View&) = delete;
  View& operator=(const View&) = delete;
  ~View() {
    if (data) ::UnmapViewOfFile(data);
  }
  const char* data;
};

DebuggerMonitor::DebuggerMonitor()
    : bufferReady_(::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY")),
      dataReady_(::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")),
      mapping_(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize,
                                    "DBWIN_BUFFER")),
      view_(std::make_unique<View>(mapping_.get())),
      thread_([this] { Listen(); }) {}

DebuggerMonitor::~DebuggerMonitor() {
  stop_ = true;
  thread_.join();
}

void DebuggerMonitor::Listen() {
  if (!view_->data) return;
  ::SetEvent(bufferReady_.get());
  while (!stop_) {
    if (::WaitForSingleObject(dataReady_.get(), 20) != WAIT_OBJECT_0) continue;
    DWORD pid = 0;
    std::memcpy(&pid, view_->data, sizeof pid);
    const char* text = view_->data + sizeof pid;
    std::string copy(text, ::strnlen(text, kBufferSize - sizeof pid));
    ::SetEvent(bufferReady_.get());
    if (pid != ::GetCurrentProcessId()) continue;
    std::lock_guard lock(mutex_);
    if (copy == kMark) {
      markSeen_ = true;
      seen_.notify_all();
    } else {
      texts_.push_back(std::move(copy));
    }
  }
}

std::vector<std::string> DebuggerMonitor::Take() {
  ::OutputDebugStringA(kMark);
  std::unique_lock lock(mutex_);
  seen_.wait_for(lock, std::chrono::seconds(5), [this] { return markSeen_; });
  markSeen_ = false;
  return std::exchange(texts_, {});
}

std::vector<int> TakeEvents(rt::Window& window) {
  std::vector<int> events;
  rt::Event e;
  while (window.Events().Take(e)) events.push_back(e.number);
  return events;
}

WNDPROC ProcedureOf(HWND window) {
  return reinterpret_cast<WNDPROC>(::GetWindowLongA(window, GWL_WNDPROC));
}

void RemoveAllAlerts() {
  AlertQueues& queues = ThreadAlertQueues();
  for (const AlertEntry& entry : queues.WA) {
    const HWND window = reinterpret_cast<HWND>(static_cast<std::intptr_t>(entry.handle));
    if (entry.returnTo != 0 && ::IsWindow(window) && ProcedureOf(window) == WinAccept) {
      ::SetWindowLongA(window, GWL_WNDPROC, entry.returnTo);
    }
  }
  queues.WA.clear();
  queues.MA.clear();
}

bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleA("ntdll"), "wine_get_version") != nullptr;
}

}  // namespace alerts
