// The window procedure of alerted windows: it turns the alerted messages
// into events of the thread that asked for them and hands every other
// message on to the procedure it replaced.
#include "rovalent.h"

#include <algorithm>

namespace {

constexpr std::int32_t kTaskBarCallBack = 25000;

// The thread's last alerted messages. Kept trivially destructible: with this
// toolchain a thread's thread-local storage is gone before thread-local
// destructors would run.
struct AcceptValues {
  std::int32_t alertMessage;
  std::int32_t sysEventMessage;
  std::uint32_t wtsEventCode;
  std::uint32_t wtsSessionId;
  std::int32_t eventBase;
  std::int32_t helpItem;  // the item handle of the last alerted WM_HELP
};
thread_local AcceptValues t_values{0, 0, 0, 0, rvevent::kEventBase, 0};

WNDPROC ProcedureOf(std::int32_t value) {
  return reinterpret_cast<WNDPROC>(static_cast<std::intptr_t>(value));
}

using rt::Decimal;

// Straight to the debugger, whatever "DebugOutputFile" says.
void QuorrelLine(const char* text) {
  if (!SwitchOn(RvSwitch::QuorrelDebug)) return;
  char buffer[250];
  ::lstrcpynA(buffer, text, sizeof buffer);
  ::OutputDebugStringA(buffer);
}

// The lock's holders of a message's two passes, as the trace lines name them.
constexpr char kNamingPass[] = "WinAccept(1): ";
constexpr char kLookupPass[] = "WinAccept(2): ";

// The trace line that names a message; a number below WM_USER without a
// name is a library error, and the message is handled as usual.
void NameMessage(std::int32_t message, HWND window, WPARAM wParam, LPARAM lParam) {
  RovalentLockHold lock(kNamingPass);
  std::string name;
  if (message == kTaskBarCallBack) {
    name = "TaskBarCallBackMsg";
  } else if (message >= WM_USER) {
    name = "RV::WM_USER + " + Decimal(message - WM_USER);
  } else if (auto known = MessageNameOf(message)) {
    name = std::move(*known);
  } else {
    name = "[Unknown]";
    RovalentErrorTextSet("WinAccept unknown message : " + LongToHexText(message, 6) + "h " +
                         Decimal(message));
    SetRovalentError(rverr::kWinAccept);
  }
  std::string line = "Thread: " + Decimal(rt::ThreadNumber()) +
                     " Windows Message: " + Decimal(message) + " " + name +
                     " p1=" + Decimal(static_cast<std::int32_t>(wParam)) +
                     " p2=" + Decimal(static_cast<std::int32_t>(lParam)) +
                     " handle=" + Decimal(HandleValue(window)) + "\r\n";
  line.push_back('\0');
  WriteDebugText(line);
}

int MappedEvent(std::int32_t message) {
  switch (message) {
    case WM_CLOSE:
      return rt::event::CloseWindow;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      return rt::event::MouseMove;
    case WM_TIMER:
      return rt::event::Timer;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      return rt::event::Accepted;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_NCLBUTTONUP:
    case WM_NCRBUTTONUP:
    case WM_NCMBUTTONUP:
      return rt::event::MouseUp;
    default:
      return -1;
  }
}

void PostMappedEvent(std::int32_t message) {
  if (const int event = MappedEvent(message); event != -1) {
    static_cast<void>(rt::EventPost(event, 0, 0));  // without an open window, nobody to tell
  }
}

// Ctrl-wheel turns become events and go no further; plain turns go on to
// the window. The change of action is the current alert's only.
void PostWheelEvent(AlertEntry& alert, std::int32_t message, WPARAM wParam) {
  if (message != WM_MOUSEWHEEL) return;
  if ((wParam & MK_CONTROL) == 0) {
    alert.action = rvaction::kPassOn;
    return;
  }
  const auto delta = static_cast<std::int16_t>(HIWORD(wParam));
  // A thread without an open window has nobody to tell.
  if (delta > 0) static_cast<void>(rt::EventPost(rvevent::kWheelUp, 0, alert.thread));
  if (delta < 0) static_cast<void>(rt::EventPost(rvevent::kWheelDown, 0, alert.thread));
  alert.action = 0;
}

void PostUserEvent(const AlertEntry& alert, std::int32_t message, WPARAM wParam, LPARAM lParam,
                   bool tracing) {
  const auto base = static_cast<std::uint32_t>(t_values.eventBase);
  std::uint32_t event = base;
  switch (message) {
    case kTaskBarCallBack:
      event = base + 5000u + static_cast<std::uint32_t>(lParam);
      break;
    case WM_SYSCOMMAND:
      event = base + 5502u;
      break;
    case WM_QUERYENDSESSION:
      event = base + 5503u;
      break;
    case WM_ENDSESSION:
      event = base + (wParam == 0 ? 5504u : 5505u);
      break;
    case WM_WTSSESSION_CHANGE:
      event = base + 5506u;
      break;
    default:
      if (tracing) {
        WriteDebugText("Posting Event " + Decimal(t_values.eventBase) + " to thread " +
                       Decimal(alert.thread));
      }
      break;
  }
  // A thread without an open window has nobody to tell.
  static_cast<void>(rt::EventPost(static_cast<std::int32_t>(event), 0, alert.thread));
}

void PostAlert(AlertEntry& alert, std::int32_t message, WPARAM wParam, LPARAM lParam) {
  const bool tracing = SwitchOn(RvSwitch::DebugWinAlert);
  const std::int32_t action = alert.action;
  if (tracing) {
    WriteDebugText("About to post: wa:action: " + Decimal(action) + " PostEvent? " +
                   Decimal(action & rvaction::kRuntimeEvent) + " PostUser? " +
                   Decimal(action & rvaction::kUserEvent) + " mess: " + Decimal(message));
  }
  if (action & rvaction::kRuntimeEvent) {
    PostMappedEvent(message);
  } else if (action & rvaction::kWheel) {
    PostWheelEvent(alert, message, wParam);
  } else if (action & rvaction::kUserEvent) {
    PostUserEvent(alert, message, wParam, lParam, tracing);
  }
}

void KeepMessage(std::int32_t message, WPARAM wParam, LPARAM lParam) {
  AcceptValues& values = t_values;
  switch (message) {
    case WM_SYSCOMMAND:
      values.sysEventMessage = WM_SYSCOMMAND;
      QuorrelLine("WinAccept RV::WM_SYSCOMMAND\r\n");
      return;
    case WM_WTSSESSION_CHANGE:
      values.wtsEventCode = static_cast<std::uint32_t>(wParam);
      values.wtsSessionId = static_cast<std::uint32_t>(lParam);
      return;
    case kTaskBarCallBack:
      return;
  }
  values.alertMessage = message;
  if (message != WM_HELP) return;
  QuorrelLine("WinAccept RV::WM_HELP BEFORE PEEK\r\n");
  // Only a message that carries its HELPINFO can be read.
  if (const auto* help = reinterpret_cast<const HELPINFO*>(lParam)) {
    values.helpItem = HandleValue(static_cast<HWND>(help->hItemHandle));
  }
  QuorrelLine("WinAccept RV::WM_HELP AFTER PEEK\r\n");
}

}  // namespace

LRESULT CALLBACK WinAccept(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  rt::ThreadAttachCurrent();
  ClearRovalentError("WinAccept");
  const auto message = static_cast<std::int32_t>(msg);
  const std::int32_t handle = HandleValue(window);
  if (SwitchOn(RvSwitch::DebugWinAlert)) NameMessage(message, window, wParam, lParam);

  RovalentLockHold lock(kLookupPass);
  AlertQueues& queues = ThreadAlertQueues();
  const bool tracing = SwitchOn(RvSwitch::DebugWinAlert);
  AlertEntry alert{.handle = handle, .message = message};
  std::size_t position = 0;
  // Most messages are alerted on no window of the thread: one search
  // dismisses them without looking at the alerts.
  if (std::binary_search(queues.MA.begin(), queues.MA.end(), message)) {
    if (tracing) WriteDebugText("Found message " + Decimal(message) + " in ma Queue");
    const auto it = std::lower_bound(queues.WA.begin(), queues.WA.end(), alert, AlertOrder);
    if (it != queues.WA.end() && it->handle == handle && it->message == message) {
      position = static_cast<std::size_t>(it - queues.WA.begin()) + 1;
      alert = *it;
      if (tracing) WriteDebugText("Found message " + Decimal(message) + " in wa Queue");
    } else if (!queues.WA.empty()) {
      // The search read every alert down to the first.
      alert = queues.WA.front();
    }
  }
  // The client area paints itself: its alert never swallows the paint.
  if (position != 0 && message == WM_PAINT && alert.isClientArea != 0) position = 0;
  if (message == WM_QUERYENDSESSION) {
    WriteDebugText("Check: RV::WM_QUERYENDSESSION: " + Decimal(alert.message) + " =? " +
                   Decimal(message) + " hnd: " + Decimal(alert.handle) + " =? " + Decimal(handle) +
                   " y=" + Decimal(static_cast<std::int64_t>(position)) +
                   " vNoEndSession= " + Decimal(0));
  }

  if (position == 0) {
    if (tracing && message == WM_POWERBROADCAST) {
      WriteDebugText("Not an alerted Message " + Decimal(message));
    }
    const auto any = FirstAlertOf(queues.WA, handle);
    if (any == queues.WA.end()) {
      RovalentErrorTextSet("WinAccept get on queue WA failed(2), wa:handel = " + Decimal(handle));
      SetRovalentError(rverr::kWinAccept);
      return 0;
    }
    const WNDPROC saved = ProcedureOf(any->returnTo);
    lock.Release();
    // The end of the session is answered here, never by the window.
    if (message == WM_ENDSESSION && wParam != 0) return 0;
    return ::CallWindowProcA(saved, window, msg, wParam, lParam);
  }

  lock.Release();
  KeepMessage(message, wParam, lParam);
  if (message == WM_QUERYENDSESSION && SwitchOn(RvSwitch::CheckShutDownStops)) {
    WriteDebugText("  ShowStop2 : " + Decimal(0));
    rt::ProgramStop("fp_EndSessionHandler: " + Decimal(0));
  }
  PostAlert(alert, message, wParam, lParam);
  if (message == WM_ENDSESSION && wParam != 0) return 0;
  if (alert.action & rvaction::kPassOn) {
    return ::CallWindowProcA(ProcedureOf(alert.returnTo), window, msg, wParam, lParam);
  }
  return (alert.action & rvaction::kAnswerOne) ? 1 : 0;
}

std::int32_t Rovalent() {
  return t_values.alertMessage;
}

std::uint32_t WinWtsID() {
  return t_values.wtsSessionId;
}

std::uint32_t WinWtsEvent(std::uint8_t clear) {
  ClearRovalentError("WinWtsEvent");
  return clear ? std::exchange(t_values.wtsEventCode, 0) : t_values.wtsEventCode;
}

std::int32_t WinSysEvent(std::uint8_t clear) {
  ClearRovalentError("WinSysEvent");
  return clear ? std::exchange(t_values.sysEventMessage, 0) : t_values.sysEventMessage;
}
