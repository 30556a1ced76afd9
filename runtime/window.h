// Runtime windows: built from stored layouts, with their controls, a timer,
// an event queue per window and event loops that can nest.
//
// A window is a frame HWND (Handle) with a separate client-area child HWND
// (ClientHandle) that carries the wallpaper and the controls. Events are the
// runtime's own: the window procedures turn Windows messages into events
// (WM_CLOSE into CloseWindow, the window timer into Timer, ...) and EventPost
// adds events of the program's own; an event loop takes them in order.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "handles.h"
#include "layout.h"
#include "picture.h"

namespace rt {

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

// A program variable that a control displays.
using Binding = std::variant<std::string*, double*>;

struct Event {
  int number = 0;
  int control = 0;
  int keyCode = 0;
};

class Window {
 public:
  struct Control;  // one created control

  Window(const WindowLayout& layout, std::vector<Binding> bindings);
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window();

  const WindowLayout& Layout() const { return layout_; }
  HWND Handle() const { return frame_.get(); }
  HWND ClientHandle() const { return client_.get(); }
  bool Opened() const { return opened_; }
  bool Closed() const { return !frame_; }

  // Shows the window; its first event is OpenWindow.
  void Open(Window* owner);
  // Hides and destroys the window; a closed window is left alone.
  void Close();

  // Controls are numbered from 1 in layout order; 0 is the window itself.
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  // The control after `control` in the window's order (0 gives the first);
  // 0 after the last one.
  int NextField(int control) const;
  ControlType Type(int control) const;
  HWND ControlHandle(int control) const;
  std::string ControlName(int control) const;
  std::string Text(int control) const;
  void SetText(int control, std::string_view text);
  bool Hidden(int control) const;
  void Unhide(int control);
  void Hide(int control);
  // Redraws a control, showing its bound variable anew; 0 redraws all.
  void Display(int control = 0);
  // Gives the keyboard focus to a control when it can take it.
  void Select(int control);
  // The 1-based number of a list control's selected entry, 0 for none.
  int Choice(int control) const;
  // The vertical scroll position of a control, or of the window for 0.
  int VerticalScrollPosition(int control) const;

  // Position and size of the frame: dialog units, or screen pixels while
  // Pixels is on.
  bool Pixels() const { return pixels_; }
  void SetPixels(bool on) { pixels_ = on; }
  int Xpos() const;
  int Ypos() const;
  int Width() const;
  int Height() const;
  void SetXpos(int value);
  void SetYpos(int value);
  void SetWidth(int value);
  void SetHeight(int value);
  bool Resizable() const { return layout_.resizable; }
  bool Mdi() const { return false; }
  int Buffer() const { return buffer_; }
  void SetBuffer(int value) { buffer_ = value; }
  std::string_view HelpId() const { return layout_.help; }

  // Dialog units to pixels in this window's font.
  int DluToPixelsX(int dlu) const { return ::MulDiv(dlu, baseX_, 4); }
  int DluToPixelsY(int dlu) const { return ::MulDiv(dlu, baseY_, 8); }
  int PixelsToDluX(int px) const { return ::MulDiv(px, 4, baseX_); }
  int PixelsToDluY(int px) const { return ::MulDiv(px, 8, baseY_); }

  // Queues an event for this window; any thread may call it.
  void Post(const Event& e, bool atFront = false);

  // For the window procedures and the event loop.
  bool TakeEvent(Event& e);
  bool AlertsKey(int keyCode) const;
  void PaintBackground(HDC dc, HWND child) const;
  LRESULT FrameMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT ClientMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void PaintControl(const Control& control, HDC dc) const;
  void AnimateControl(Control& control);
  int loopDepth = 0;
  bool closing = false;
  int closeEvent = 0;

 private:
  void CreateControls();
  void MoveFrame(int x, int y, int w, int h);
  void RebuildBackground();
  void DrawOwnerButton(const DRAWITEMSTRUCT& item);
  Control* Find(int control) const;
  HDC PaintBuffer(HDC target, int w, int h) const;
  template <typename Draw>
  void PaintBuffered(HDC target, int w, int h, Draw draw) const;

  const WindowLayout& layout_;
  std::vector<Binding> bindings_;
  UniqueWindow frame_;
  UniqueWindow client_;
  UniqueGdi windowFont_;
  UniqueIcon iconBig_, iconSmall_;
  int baseX_ = 6, baseY_ = 13;
  std::vector<std::unique_ptr<Control>> controls_;
  std::unique_ptr<Picture> wallpaper_;
  std::unique_ptr<Animation> wallpaperAnimation_;
  UniqueDC backgroundDC_;
  UniqueGdi backgroundBitmap_;
  HGDIOBJ backgroundOld_ = nullptr;
  int backgroundW_ = 0, backgroundH_ = 0;
  // The memory bitmap that controls are painted into first.
  mutable UniqueDC paintDC_;
  mutable UniqueGdi paintBitmap_;
  mutable HGDIOBJ paintOld_ = nullptr;
  mutable int paintW_ = 0, paintH_ = 0;
  bool opened_ = false;
  bool pixels_ = false;
  int buffer_ = 0;
  bool timerPending_ = false;                // a Timer event waits in the queue
  DWORD threadId_ = ::GetCurrentThreadId();  // the thread that runs its loops
  mutable std::mutex queueMutex_;
  std::deque<Event> queue_;
};

// Builds a window from the layout `layout` of the resource `resource`,
// binding the controls that display variables, in control order, to the
// variables given. The window is not shown. Null when there is no such
// layout.
std::unique_ptr<Window> WindowLoad(std::string_view resource, std::string_view layout,
                                   std::vector<Binding> bindings = {});
// Closes and destroys the window; null is ignored.
void WindowClose(std::unique_ptr<Window>& window);

// The calling thread's current window: the one opened last and not yet
// closed; null when there is none.
Window* CurrentWindow();

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
bool EventPost(int event, int control = 0, int thread = 0);

// The system cursor (IDC_WAIT, ...) becomes the mouse pointer of the
// program's windows; CursorRestore gives back the standard pointer.
void CursorSet(LPCSTR systemCursor);
void CursorRestore();

}  // namespace rt
