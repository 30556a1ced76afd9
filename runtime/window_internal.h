// Internal to the window files: one created control, the runtime's window
// classes and timers, and the helpers that more than one of the files uses.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "window.h"

namespace rt {

struct Window::Control {
  const ControlLayout* layout = nullptr;
  int number = 0;
  Window* window = nullptr;
  UniqueWindow hwnd;
  UniqueGdi font;
  COLORREF color = kDefaultColor;
  const Binding* binding = nullptr;
  std::string text;
  bool hidden = false;
  std::unique_ptr<Picture> picture;
  std::unique_ptr<Animation> animation;
  bool pressed = false;   // a flat button shown held down
  bool tracking = false;  // the mouse went down on the flat button and is not up yet
  // A control that the window opened hidden and that has not shown yet: its
  // window is made when it first shows, with the text and the position (a
  // progress bar's, in hundredths) that it was given until then.
  bool deferred = false;
  int position = 0;

  bool Transparent() const { return (layout->style & kTransparent) != 0; }
  // A flat button is the runtime's own: the system's button class would
  // come from the common controls, whose load the splash window would then
  // pay before the main program starts.
  bool FlatButton() const {
    return layout->type == ControlType::Button && (layout->style & (kFlat | kTransparent)) != 0;
  }
  bool Drawn() const {  // painted by the runtime, not by a system control class
    return layout->type == ControlType::String || layout->type == ControlType::StrString ||
           layout->type == ControlType::Prompt || layout->type == ControlType::Image ||
           layout->type == ControlType::Panel || FlatButton();
  }
};

namespace detail {

// The window classes (window_class.cpp): the frame, its client area, the
// texts and pictures that the runtime draws itself, and its flat buttons.
inline constexpr const char* kFrameClass = "RtWindow";
inline constexpr const char* kClientClass = "RtClient";
inline constexpr const char* kDrawnClass = "RtControl";
inline constexpr const char* kButtonClass = "RtButton";

// Sent to itself by a window without a title bar: its icon is set when its
// thread first waits for messages.
inline constexpr UINT kIconMessage = WM_APP + 0x101;

// The timer of an animated picture (the client area's wallpaper or an image
// control).
inline constexpr UINT_PTR kAnimationTimer = 2;

// A window's Timer events come from a timer of its thread rather than of its
// frame (window.cpp): every loop, the runtime's or a dialog's, dispatches a
// tick straight to TickProcedure, which posts the event. Dispatched to the
// frame, each tick passed through the library's procedure and the frame's,
// which cost a waiting window a twentieth of its processor time.
void CALLBACK TickProcedure(HWND, UINT, UINT_PTR timer, DWORD) noexcept;

// Why the window classes could not be registered; 0 when they are there.
int WindowClassError();

inline HINSTANCE Instance() {
  return ::GetModuleHandleA(nullptr);
}

// A DC to measure fonts and texts in as the screen shows them: a memory DC,
// made once for the building of a window. The screen's own DC, taken from
// the shared cache for each measurement, cost a round trip to the display
// server each (X under Wine) (window.cpp).
HDC MakeMeasuringDC();
// A font of the face, size in points and weight (0: normal) (window.cpp).
HFONT MakeFont(HDC measuring, const char* face, int points, int weight);

// The mouse pointer that CursorSet chose, set now; false when there is none
// (window.cpp).
bool SetOverrideCursor();

// Queues the event for the current window of a thread (0: the calling
// thread); false when it has none (window.cpp, which keeps the open
// windows).
bool PostToCurrentWindow(int thread, const Event& e);

// Steps an animation on its timer; false when it has ended (paint.cpp).
bool StepAnimation(HWND hwnd, Animation& animation);
// The timer that shows an animation's next frame, when it has one.
void ScheduleNextFrame(HWND hwnd, const Animation& animation);

}  // namespace detail
}  // namespace rt
