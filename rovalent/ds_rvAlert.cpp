// Message alerts: each thread's queues of alerts and alerted message
// numbers, and their registration and removal on the current window.
#include "rovalent_internal.h"

#include <algorithm>
#include <new>

namespace {

constexpr std::int32_t kSessionChange = WM_WTSSESSION_CHANGE;
constexpr DWORD kNotifyForAllSessions = 1;     // NOTIFY_FOR_ALL_SESSIONS
constexpr std::size_t kTraceBufferSize = 250;  // a zero-terminated buffer

using RegisterSessionNotificationFn = BOOL(WINAPI*)(HWND, DWORD);
using UnRegisterSessionNotificationFn = BOOL(WINAPI*)(HWND);

// ---------------------------------------------------------------------------
// The queues of each thread: empty at its start, gone at its end.

rt::PerThread<AlertQueues> g_queues;

void AlertThreadInit() {
  g_queues.Get() = AlertQueues{};
}

void AlertModuleTerm() {
  MessageNamesRelease();
}

// ---------------------------------------------------------------------------
// Helpers

HWND WindowOf(std::int32_t handle) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle));
}

// The detail text of a failed Windows call: the words, the handle in the
// picture "n-16", a blank and the system's text of the failure.
void RecordFailure(std::string_view words, std::int32_t handle, DWORD error, std::int32_t code) {
  RovalentErrorTextSet(std::string(words) + rt::FormatGrouped(handle, 16) + " " +
                       SystemErrorText(error));
  SetRovalentError(code);
}

// The procedure lookup records its own name; the registration's outcome
// stays under "WinAlert": a lookup that reports nothing leaves an earlier
// failure of the call standing, and a failure of its own keeps its code and
// text under the registration's name.
class KeepRecordedName {
 public:
  KeepRecordedName()
      : code_(RovalentErrorCode()), text_(RovalentErrorText()), name_(RovalentErrorProc()) {}
  KeepRecordedName(const KeepRecordedName&) = delete;
  KeepRecordedName& operator=(const KeepRecordedName&) = delete;
  ~KeepRecordedName() {
    const std::int32_t code = RovalentErrorCode();
    const std::string text(RovalentErrorText());
    ClearRovalentError(name_);
    RovalentErrorTextSet(code != 0 ? text : text_);
    RovalentErrorCodeStore(code != 0 ? code : code_);
  }

 private:
  std::int32_t code_;
  std::string text_;
  std::string name_;
};

constexpr char kLockHolder[] = "WinAlert: ";

struct AlertRange {
  std::int32_t first;
  std::int32_t last;  // at or above first
  std::int32_t action;
};

// True when the session-notification procedure can be called.
bool SessionProcedureFound(const char* name, ProcVariable& procedure) {
  KeepRecordedName keep;
  return LoadSystemDLLProc("Wtsapi32", name, procedure) == 0;
}

// Signs a frame up for session-change messages; the entry remembers it.
void RegisterSessionChange(AlertEntry& entry) {
  if (!SessionProcedureFound("WTSRegisterSessionNotification", fp_WTSRegisterSessionNotification)) {
    return;
  }
  const auto registerWindow =
      ProcFromVariable<RegisterSessionNotificationFn>(fp_WTSRegisterSessionNotification);
  if (registerWindow(WindowOf(entry.handle), kNotifyForAllSessions)) {
    entry.wtsNotifyEnabled = 1;
    return;
  }
  RecordFailure("WinAlert Error : WTSRegisterSessionNotification, wa:Handel = ", entry.handle,
                ::GetLastError(), rverr::kAddAlerts);
}

void UnregisterSessionChange(const AlertEntry& entry) {
  if (!SessionProcedureFound("WTSUnRegisterSessionNotification",
                             fp_WTSUnRegisterSessionNotification)) {
    return;
  }
  const auto unregisterWindow =
      ProcFromVariable<UnRegisterSessionNotificationFn>(fp_WTSUnRegisterSessionNotification);
  if (unregisterWindow(WindowOf(entry.handle))) return;
  RecordFailure("WinAlert Error : WTSUnRegisterSessionNotification, wa:Handel = ", entry.handle,
                ::GetLastError(), rverr::kCloseHandle);
}

void AddingAlertTrace(const AlertEntry& entry) {
  if (!SwitchOn(RvSwitch::Debug)) return;
  const std::string text = "WinAlert : Adding Alert: " + rt::Decimal(entry.message) +
                           " Action: " + rt::Decimal(entry.action);
  WriteDebugText(rt::Cut(text, kTraceBufferSize - 1));
}

// Registers the range on one handle, replacing its window procedure when the
// handle has no alert yet.
void AddAlerts(const AlertRange& range, std::int32_t handle, std::int32_t clientHandle) {
  RovalentLockHold lock(kLockHolder);
  AlertQueues& queues = ThreadAlertQueues();
  std::int32_t saved = 0;
  if (const auto known = FirstAlertOf(queues.WA, handle); known != queues.WA.end()) {
    saved = known->returnTo;
  } else if (const auto kept = queues.forwarding.find(handle); kept != queues.forwarding.end()) {
    // WinAccept is still in the chain: subclassing again would call it twice.
    saved = kept->second;
    queues.forwarding.erase(kept);
  } else {
    ::SetLastError(0xFFFFFFFF);
    saved = static_cast<std::int32_t>(::SetWindowLongA(
        WindowOf(handle), GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(WinAccept))));
    if (saved == 0) {
      RecordFailure("WinAlert Error : SetLongWindow failed, ch:handel=", handle, ::GetLastError(),
                    rverr::kAddAlerts);
    }
  }
  const std::int32_t thread = rt::ThreadNumber();
  const std::int32_t isClientArea = handle == clientHandle ? 1 : 0;
  try {
    // Counted in 64 bits, so that a range ending at the largest number ends.
    for (std::int64_t m = range.first; m <= range.last; ++m) {
      const auto message = static_cast<std::int32_t>(m);
      const AlertEntry wanted{.handle = handle, .message = message};
      const auto it = std::lower_bound(queues.WA.begin(), queues.WA.end(), wanted, AlertOrder);
      if (it != queues.WA.end() && it->handle == handle && it->message == message) {
        it->action = range.action;
        AddingAlertTrace(*it);
        continue;
      }
      AlertEntry entry{.handle = handle,
                       .message = message,
                       .action = range.action,
                       .returnTo = saved,
                       .thread = thread,
                       .isClientArea = isClientArea};
      if (isClientArea == 0 && message == kSessionChange) RegisterSessionChange(entry);
      queues.WA.insert(it, entry);
      const auto number = std::lower_bound(queues.MA.begin(), queues.MA.end(), message);
      if (number == queues.MA.end() || *number != message) queues.MA.insert(number, message);
      AddingAlertTrace(entry);
    }
  } catch (const std::bad_alloc&) {
    // A range too large to hold: what was registered stays, so the handle
    // keeps an entry for the procedure it replaced.
    RovalentErrorTextSet("WinAlert Error : out of memory, ch:handel=" +
                         rt::FormatGrouped(handle, 16));
    SetRovalentError(rverr::kAddAlerts);
  }
}

// Removes every alert of one handle and puts its procedure back.
void CloseHandle(std::int32_t handle) {
  RovalentLockHold lock(kLockHolder);
  AlertQueues& queues = ThreadAlertQueues();
  std::int32_t restore = 0;
  for (auto it = FirstAlertOf(queues.WA, handle); it != queues.WA.end();
       it = FirstAlertOf(queues.WA, handle)) {
    if (it->message == kSessionChange && it->wtsNotifyEnabled != 0) UnregisterSessionChange(*it);
    restore = it->returnTo;
    queues.WA.erase(it);
  }
  if (restore == 0) return;
  // Putting the procedure back under a subclass installed since would cut
  // that subclass out of the chain; WinAccept stays and only hands on.
  const LONG current = ::GetWindowLongA(WindowOf(handle), GWL_WNDPROC);
  if (current != 0 && current != static_cast<LONG>(reinterpret_cast<LONG_PTR>(WinAccept))) {
    queues.forwarding[handle] = restore;
    return;
  }
  ::SetLastError(0xFFFFFFFF);
  if (::SetWindowLongA(WindowOf(handle), GWL_WNDPROC, restore) == 0) {
    RecordFailure("WinAlert Error(2) : SetLongWindow failed, ch:handel=", handle, ::GetLastError(),
                  rverr::kCloseHandle);
  }
}

void CloseWindowHandles() {
  rt::Window* window = rt::CurrentWindow();
  if (window == nullptr || ::GetActiveWindow() == nullptr) return;
  CloseHandle(HandleValue(window->ClientHandle()));
  CloseHandle(HandleValue(window->Handle()));
  for (int control = window->NextField(0); control != 0; control = window->NextField(control)) {
    if (window->Type(control) == rt::ControlType::List) {
      CloseHandle(HandleValue(window->ControlHandle(control)));
    }
  }
}

}  // namespace

const rt::Module RovalentAlertModule{
    .name = "ds_rvAlert", .moduleTerm = AlertModuleTerm, .threadInit = AlertThreadInit};

AlertQueues& ThreadAlertQueues() {
  return g_queues.Get();
}

std::vector<AlertEntry>::iterator FirstAlertOf(std::vector<AlertEntry>& wa, std::int32_t handle) {
  const auto it =
      std::lower_bound(wa.begin(), wa.end(), handle,
                       [](const AlertEntry& a, std::int32_t h) { return a.handle < h; });
  return it != wa.end() && it->handle == handle ? it : wa.end();
}

WNDPROC ReplacedProcedure(std::int32_t handle) noexcept {
  AlertQueues* queues = g_queues.Find();
  if (!queues) return nullptr;
  std::int32_t replaced = 0;
  if (const auto alert = FirstAlertOf(queues->WA, handle); alert != queues->WA.end()) {
    replaced = alert->returnTo;
  } else if (const auto kept = queues->forwarding.find(handle); kept != queues->forwarding.end()) {
    replaced = kept->second;
  }
  return reinterpret_cast<WNDPROC>(static_cast<std::intptr_t>(replaced));
}

void WinAlert(std::optional<std::int32_t> first, std::optional<std::int32_t> last,
              std::optional<std::int32_t> action) {
  if (SwitchOn(RvSwitch::DebugWinAlert)) {
    WriteDebugText("WinAlert. Top. In: " + rt::Decimal(first.value_or(0)) + " " +
                   " Action: " + rt::Decimal(action.value_or(0)));
  }
  ClearRovalentError("WinAlert");
  if (!first && !last && !action) {
    CloseWindowHandles();
    return;
  }
  if (!first) return;
  const AlertRange range{*first, last.value_or(0) != 0 ? *last : *first,
                         action.value_or(rvaction::kDefault)};
  if (SwitchOn(RvSwitch::DebugWinAlert)) {
    if (MessageNameCount() == 0) {
      KeepRecordedName keep;
      ds_BuildWMQ();
    }
    WriteDebugText("WinAlert. Alerting: " + rt::Decimal(*first) + " " +
                   MessageNameOf(*first).value_or("[Unknown]") +
                   " Action: " + rt::Decimal(action.value_or(0)));
  }
  // A range that names no message must not replace any window procedure:
  // a handle without an entry would have nothing to pass its messages to.
  if (range.last < range.first) return;

  rt::Window* window = rt::CurrentWindow();
  const std::int32_t frame = window ? HandleValue(window->Handle()) : 0;
  const std::int32_t client = window ? HandleValue(window->ClientHandle()) : 0;
  AddAlerts(range, frame, client);
  AddAlerts(range, client, client);
  if ((range.action & rvaction::kListControls) == 0 || window == nullptr) return;
  for (int control = window->NextField(0); control != 0; control = window->NextField(control)) {
    if (window->Type(control) == rt::ControlType::List) {
      AddAlerts(range, HandleValue(window->ControlHandle(control)), client);
    }
  }
}

void WinAlertMouseWheel() {
  WinAlert(WM_MOUSEWHEEL, WM_MOUSEWHEEL, rvaction::kMouseWheel);
}
