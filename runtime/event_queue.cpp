#include "event_queue.h"

#include "per_thread.h"
#include "window.h"
#include "window_internal.h"

namespace rt {
namespace {

// The thread's running event loops, innermost first; each frame lives on the
// stack of its EventLoopRun.
struct LoopFrame {
  Window* window;
  Event current;
  LoopFrame* outer;
};
struct Loops {
  LoopFrame* innermost = nullptr;
};
PerThread<Loops> g_loops;

const Event* CurrentEvent() {
  const Loops* loops = g_loops.Find();
  return loops && loops->innermost ? &loops->innermost->current : nullptr;
}

// A key that the window's layout names as an alert key becomes an AlertKey
// event instead of reaching the control.
bool TakeAlertKey(Window& w, const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (msg.hwnd != w.Handle() && !::IsChild(w.Handle(), msg.hwnd)) return false;
  const int key = static_cast<int>(msg.wParam);
  if (!w.AlertsKey(key)) return false;
  const int control =
      msg.hwnd == w.Handle() || msg.hwnd == w.ClientHandle() ? 0 : ::GetDlgCtrlID(msg.hwnd);
  w.Post({event::AlertKey, control, key});
  return true;
}

}  // namespace

void EventQueue::Post(const Event& e, bool atFront) {
  HWND frame = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (e.number == event::Timer) {
      if (timerPending_) return;  // ticks do not pile up behind a slow handler
      timerPending_ = true;
    }
    if (atFront) {
      events_.push_front(e);
    } else {
      events_.push_back(e);
    }
    frame = wake_;
  }
  // The loop looks at the queue before it waits for a message, so an event
  // posted on the window's own thread needs no wake-up message, unless it
  // comes from a message that another thread sent while the loop waited.
  // A tick saves a message that way: the wait costs the timer alone.
  const bool waitingLoop = ::GetCurrentThreadId() != threadId_ || ::InSendMessage();
  if (frame && waitingLoop) ::PostMessageA(frame, detail::kWakeMessage, 0, 0);
}

bool EventQueue::Take(Event& e) {
  std::lock_guard lock(mutex_);
  if (events_.empty()) return false;
  e = events_.front();
  events_.pop_front();
  if (e.number == event::Timer) timerPending_ = false;
  return true;
}

void EventQueue::WakeAt(HWND frame) {
  std::lock_guard lock(mutex_);
  wake_ = frame;
}

void EventQueue::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
  timerPending_ = false;
}

int EventCurrent() {
  const Event* e = CurrentEvent();
  return e ? e->number : 0;
}
int EventControl() {
  const Event* e = CurrentEvent();
  return e ? e->control : 0;
}
int KeyCodeCurrent() {
  const Event* e = CurrentEvent();
  return e ? e->keyCode : 0;
}

bool EventPost(int eventNumber, int control, int thread) {
  return detail::PostToCurrentWindow(thread, {eventNumber, control, 0});
}

void EventLoopRun(Window& w, const std::function<LoopAction()>& body) {
  EventQueue& q = w.Events();
  Loops& loops = g_loops.Get();
  LoopFrame frame{&w, {}, loops.innermost};
  loops.innermost = &frame;
  ++q.loopDepth_;
  bool endedByClose = false;
  for (;;) {
    Event e;
    if (q.Take(e)) {
      frame.current = e;
      const LoopAction action = body();
      if (action == LoopAction::Break) break;
      const bool closeRequest = e.number == event::CloseWindow || e.number == event::CloseDown;
      if (closeRequest && action != LoopAction::Cycle && !q.closing_) {
        q.closing_ = true;
        q.closeEvent_ = e.number;
      }
      continue;
    }
    if (q.closing_ || w.Closed()) {
      endedByClose = q.closing_;
      break;
    }
    MSG msg;
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {  // WM_QUIT: the program is asked to end
      w.Post({event::CloseDown, 0, 0});
      continue;
    }
    if (TakeAlertKey(w, msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  --q.loopDepth_;
  loops.innermost = frame.outer;
  if (endedByClose) {
    q.closing_ = false;
    if (q.loopDepth_ > 0) {
      w.Post({q.closeEvent_, 0, 0}, true);  // the loop around this one still sees the close
    } else {
      w.Close();
    }
  }
}

}  // namespace rt
