// The runtime's events: each window's queue of them and the event loops
// that take them.
//
// Events are the runtime's own: the window procedures turn Windows messages
// into events (WM_CLOSE into CloseWindow, the window timer into Timer, ...)
// and EventPost adds events of the program's own; an event loop takes them in
// order. Any thread may post to a window; only the thread that built the
// window runs its loops.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace rt {

class Window;

// The runtime's event numbers.
namespace event {
inline constexpr int Accepted = 1;
inline constexpr int MouseUp = 10;
inline constexpr int MouseMove = 13;
inline constexpr int AlertKey = 15;
inline constexpr int CloseWindow = 0x201;
inline constexpr int CloseDown = 0x202;
inline constexpr int OpenWindow = 0x203;
inline constexpr int Timer = 0x20B;
}  // namespace event

// What a pass of a loop body answers: go on (the event's default handling
// applies), cycle (skip the default handling: a close request is refused),
// or break (leave the loop).
enum class LoopAction : int { GoOn = 0, Cycle = 1, Break = 2 };

struct Event {
  int number = 0;
  int control = 0;
  int keyCode = 0;
};

namespace detail {
// Posted to a window's frame to wake a loop that waits for a message.
inline constexpr UINT kWakeMessage = WM_APP + 0x100;
}  // namespace detail

// One window's events, in order. A Timer event is queued only when no other
// waits: ticks do not pile up behind a slow handler.
class EventQueue {
 public:
  EventQueue() = default;
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  // Queues an event at the end, or at the front. Any thread may call it; a
  // loop that waits for a message then gets the wake message.
  void Post(const Event& e, bool atFront = false);
  // Takes the first event; false when there is none.
  [[nodiscard]] bool Take(Event& e);
  // The frame window that wakes the loop; null while there is none.
  void WakeAt(HWND frame);
  // Drops every event (the window closes).
  void Clear();

 private:
  friend void EventLoopRun(Window& window, const std::function<LoopAction()>& body);

  mutable std::mutex mutex_;
  std::deque<Event> events_;
  bool timerPending_ = false;  // a Timer event waits
  HWND wake_ = nullptr;
  DWORD threadId_ = ::GetCurrentThreadId();  // the thread that runs the loops

  // The loops running on the queue; only their thread touches these.
  int loopDepth_ = 0;
  bool closing_ = false;  // a close request ends the loops
  int closeEvent_ = 0;    // the event of that close request
};

// Runs an event loop on the window: each event is handed to the body as
// the current event. A CloseWindow or CloseDown that the body does not
// answer with Cycle marks the window closing: the events already queued are
// still handed over, then the loop ends. The outermost loop of the window
// then closes it; a nested loop hands the close on to the loop around it.
void EventLoopRun(Window& window, const std::function<LoopAction()>& body);

// The event that the calling thread's innermost loop is handling (0 when
// none), its control and its key code.
int EventCurrent();
int EventControl();
int KeyCodeCurrent();

// Queues an event for the current window of a thread (0: the calling
// thread). False when that thread has no open window.
[[nodiscard]] bool EventPost(int event, int control = 0, int thread = 0);

}  // namespace rt
