// Runtime windows: built from stored layouts, with their controls, a timer,
// an event queue per window and event loops that can nest.
//
// A window is a frame HWND (Handle) with a separate client-area child HWND
// (ClientHandle) that carries the wallpaper and the controls.
//
// Where each part lives: window.cpp builds, opens and closes windows, keeps
// the open windows of each thread, their position and size, and the mouse
// pointer; window_class.cpp registers the window classes and holds their
// procedures; controls.cpp creates the controls and answers for them;
// paint.cpp paints the background, the drawn controls and the owner-drawn
// buttons; event_queue.cpp queues events and runs the loops; layout.cpp finds
// stored layouts.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "event_queue.h"
#include "handles.h"
#include "layout.h"
#include "picture.h"

namespace rt {

// A program variable that a control displays.
using Binding = std::variant<std::string*, double*>;

namespace detail {
struct WindowProcedures;  // the procedures of the runtime's window classes
}  // namespace detail

class Window {
 public:
  struct Control;  // one created control

  // A window that Windows did not create is Closed from the start.
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
  void Post(const Event& e, bool atFront = false) { queue_.Post(e, atFront); }
  // The window's events, for its loops.
  EventQueue& Events() { return queue_; }
  // True when the layout names the key as one that becomes an AlertKey event.
  bool AlertsKey(int keyCode) const;

 private:
  friend struct detail::WindowProcedures;
  friend std::unique_ptr<Window> WindowLoad(std::string_view, std::string_view,
                                            std::vector<Binding>);

  // The procedures' handling of the frame's and the client area's messages.
  LRESULT FrameMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT ClientMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  void SetIcons();
  // `measuring`: a DC to measure fonts and texts in (detail::MakeMeasuringDC).
  void CreateControls(HDC measuring);
  void CreateControlWindow(Control& control, HDC measuring);
  Control* Find(int control) const;
  void MoveFrame(const RECT& now, int x, int y, int w, int h);

  // Painting (paint.cpp).
  SIZE ClientSize() const;
  RECT ClientRectOf(HWND child) const;
  void PaintBackgroundArea(HDC dc, const RECT& area, POINT at) const;
  void PaintClient(HDC dc, const RECT& area) const;
  void ClientResized(HWND client);
  void AnimateWallpaper(HWND client);
  void PaintBackground(HDC dc, HWND child) const;
  void PaintControl(const Control& control, HDC dc) const;
  void AnimateControl(Control& control);
  void PaintButtonFace(const Control& control, HDC dc, const RECT& r) const;
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
  // The memory bitmap that controls are painted into first.
  mutable MemoryBitmap paintBuffer_;
  bool opened_ = false;
  int openedOn_ = 0;        // the number of the thread that opened it
  UINT_PTR tickTimer_ = 0;  // that thread's timer of the Timer events
  DWORD failure_ = 0;       // why Windows did not create the frame or its client area
  bool pixels_ = false;
  int buffer_ = 0;
  EventQueue queue_;
};

// Builds a window from the layout `layout` of the resource `resource`,
// binding the controls that display variables, in control order, to the
// variables given. The window is not shown. Null, with the error code set,
// when there is no such layout or Windows did not create the window.
[[nodiscard]] std::unique_ptr<Window> WindowLoad(std::string_view resource, std::string_view layout,
                                                 std::vector<Binding> bindings = {});
// Closes and destroys the window; null is ignored.
void WindowClose(std::unique_ptr<Window>& window);

// The calling thread's current window: the one opened last and not yet
// closed; null when there is none.
Window* CurrentWindow();

// The system cursor (IDC_WAIT, ...) becomes the mouse pointer of the
// program's windows; CursorRestore gives back the standard pointer.
void CursorSet(LPCSTR systemCursor);
void CursorRestore();

}  // namespace rt
