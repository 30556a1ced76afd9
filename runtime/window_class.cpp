// The runtime's window classes: their registration and their procedures.
// The Window that owns an HWND handles its messages from creation to
// destruction; a control that the runtime draws itself (a text, a picture
// or a flat button) is handled by its Control. The procedures are the
// boundary with user32: nothing unwinds through it.
#include <windows.h>
#include <windowsx.h>

#include <atomic>

#include "window.h"
#include "window_internal.h"
#include "window_registry.h"

namespace rt {

namespace detail {

struct WindowProcedures {
  // Registers the classes with their procedures.
  static void Register();
  // The procedure of a window's frame or client area.
  template <LRESULT (rt::Window::*Handle)(HWND, UINT, WPARAM, LPARAM)>
  static LRESULT CALLBACK Part(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  // Texts and pictures: drawn double-buffered over the window's background.
  static LRESULT CALLBACK Drawn(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  // Flat buttons: drawn as those, they take the mouse and the keyboard.
  static LRESULT CALLBACK Button(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;

 private:
  static LRESULT DrawnMessage(rt::Window::Control* control, HWND hwnd, UINT msg, WPARAM wp,
                              LPARAM lp);
  static LRESULT ButtonMessage(rt::Window::Control& control, HWND hwnd, UINT msg, WPARAM wp,
                               LPARAM lp);
};

}  // namespace detail

namespace {

using detail::kAnimationTimer;
using detail::SetOverrideCursor;

// The first failure of the classes' registration; 0 when they are there.
std::atomic<int> g_classError{0};

// A class that the process registered before (a second program frame) is
// there to use.
void Registered(ATOM atom) {
  if (atom != 0) return;
  const DWORD error = ::GetLastError();
  if (error == ERROR_CLASS_ALREADY_EXISTS) return;
  int none = 0;
  g_classError.compare_exchange_strong(none, static_cast<int>(error));
}

template <typename T>
T* Owner(HWND hwnd) {
  return reinterpret_cast<T*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void TakeOwnerFromCreate(HWND hwnd, LPARAM lp) {
  const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lp);
  ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

// A handler that throws (an allocation that failed) leaves its message to
// the default handling.
template <typename Handle>
LRESULT AtTheBoundary(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, Handle handle) noexcept {
  try {
    return handle();
  } catch (...) {
    return ::DefWindowProcA(hwnd, msg, wp, lp);
  }
}

// A message for the object that owns the window, from WM_NCCREATE to
// WM_NCDESTROY; before and after, the default handling.
template <typename T, typename Handle>
LRESULT ToOwner(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, Handle handle) noexcept {
  if (msg == WM_NCCREATE) TakeOwnerFromCreate(hwnd, lp);
  T* owner = Owner<T>(hwnd);
  if (msg == WM_NCDESTROY) ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  if (!owner) return ::DefWindowProcA(hwnd, msg, wp, lp);
  return AtTheBoundary(hwnd, msg, wp, lp, [&] { return handle(*owner); });
}

}  // namespace

void detail::WindowProcedures::Register() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = detail::Instance();
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  g_classError = 0;

  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = detail::WindowProcedures::Part<&Window::FrameMessage>;
  wc.lpszClassName = detail::kFrameClass;
  wc.hbrBackground = nullptr;
  Registered(::RegisterClassExA(&wc));

  // The client area and the drawn controls paint an animation's frames as
  // they fall due, each through GetDC. A DC of their own keeps its state from
  // one frame to the next: a DC from the shared cache is set up anew each
  // time, which on a networked display (X under Wine) is a round trip to the
  // display server per frame.
  wc.style = CS_DBLCLKS | CS_OWNDC;
  wc.lpfnWndProc = detail::WindowProcedures::Part<&Window::ClientMessage>;
  wc.lpszClassName = detail::kClientClass;
  Registered(::RegisterClassExA(&wc));

  wc.style = CS_OWNDC;
  wc.lpfnWndProc = detail::WindowProcedures::Drawn;
  wc.lpszClassName = detail::kDrawnClass;
  Registered(::RegisterClassExA(&wc));

  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = detail::WindowProcedures::Button;
  wc.lpszClassName = detail::kButtonClass;
  Registered(::RegisterClassExA(&wc));
}

int detail::WindowClassError() {
  return g_classError;
}

void detail::WindowsStart() {
  WindowProcedures::Register();
}

// ---------------------------------------------------------------------------
// The procedures

template <LRESULT (Window::*Handle)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK detail::WindowProcedures::Part(HWND hwnd, UINT msg, WPARAM wp,
                                                LPARAM lp) noexcept {
  return ToOwner<rt::Window>(hwnd, msg, wp, lp,
                             [&](rt::Window& w) { return (w.*Handle)(hwnd, msg, wp, lp); });
}

LRESULT CALLBACK detail::WindowProcedures::Drawn(HWND hwnd, UINT msg, WPARAM wp,
                                                 LPARAM lp) noexcept {
  if (msg == WM_NCCREATE) TakeOwnerFromCreate(hwnd, lp);
  auto* control = Owner<rt::Window::Control>(hwnd);
  return AtTheBoundary(hwnd, msg, wp, lp, [&] { return DrawnMessage(control, hwnd, msg, wp, lp); });
}

LRESULT detail::WindowProcedures::DrawnMessage(rt::Window::Control* control, HWND hwnd, UINT msg,
                                               WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // the window beneath takes the mouse
    case WM_SETTEXT: {
      const LRESULT r = ::DefWindowProcA(hwnd, msg, wp, lp);
      ::InvalidateRect(hwnd, nullptr, FALSE);
      return r;
    }
    case WM_PAINT:
      if (control) {
        PaintScope paint(hwnd);
        control->window->PaintControl(*control, paint.dc());
        return 0;
      }
      break;
    case WM_TIMER:
      if (control && wp == kAnimationTimer) {
        control->window->AnimateControl(*control);
        return 0;
      }
      break;
    case WM_SETCURSOR:
      if (SetOverrideCursor()) return TRUE;
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK detail::WindowProcedures::Button(HWND hwnd, UINT msg, WPARAM wp,
                                                  LPARAM lp) noexcept {
  return ToOwner<rt::Window::Control>(hwnd, msg, wp, lp, [&](rt::Window::Control& control) {
    return ButtonMessage(control, hwnd, msg, wp, lp);
  });
}

// As a system push button: pressed while the mouse holds it down over it or
// the space bar is down, clicked when either lets go over it, or by
// BM_CLICK; the click goes to the parent as WM_COMMAND with BN_CLICKED.
LRESULT detail::WindowProcedures::ButtonMessage(rt::Window::Control& c, HWND hwnd, UINT msg,
                                                WPARAM wp, LPARAM lp) {
  const auto press = [&](bool pressed) {
    if (c.pressed == pressed) return;
    c.pressed = pressed;
    ::InvalidateRect(hwnd, nullptr, FALSE);
  };
  const auto click = [&] {
    const int id = ::GetDlgCtrlID(hwnd);
    ::SendMessageA(::GetParent(hwnd), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(hwnd));
  };
  const auto over = [&] {
    RECT r{};
    ::GetClientRect(hwnd, &r);
    const POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    return ::PtInRect(&r, p) != FALSE;
  };
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_GETDLGCODE:
      return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      c.tracking = true;
      ::SetCapture(hwnd);
      ::SetFocus(hwnd);
      press(true);
      return 0;
    case WM_MOUSEMOVE:
      if (c.tracking) press(over());
      return 0;
    case WM_LBUTTONUP:
      if (c.tracking) {
        const bool clicked = over();
        c.tracking = false;
        press(false);
        ::ReleaseCapture();
        if (clicked) click();
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lp) != hwnd && c.tracking) {
        c.tracking = false;
        press(false);
      }
      return 0;
    case WM_KEYDOWN:
      if (wp != VK_SPACE) break;
      press(true);
      return 0;
    case WM_KEYUP:
      if (wp != VK_SPACE) break;
      if (c.pressed && !c.tracking) {
        press(false);
        click();
      }
      return 0;
    case WM_KILLFOCUS:
      if (!c.tracking) press(false);
      ::InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_SETFOCUS:
    case WM_ENABLE:
    case WM_UPDATEUISTATE:
      ::InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case BM_CLICK:
      if (::IsWindowEnabled(hwnd)) click();
      return 0;
    case WM_SETTEXT: {
      const LRESULT r = ::DefWindowProcA(hwnd, msg, wp, lp);
      ::InvalidateRect(hwnd, nullptr, FALSE);
      return r;
    }
    case WM_PAINT: {
      PaintScope paint(hwnd);
      c.window->PaintControl(c, paint.dc());
      return 0;
    }
    case WM_SETCURSOR:
      if (SetOverrideCursor()) return TRUE;
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT Window::FrameMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      Post({event::CloseWindow, 0, 0});
      return 0;
    case WM_QUERYENDSESSION:
      Post({event::CloseDown, 0, 0});
      return TRUE;
    case WM_SIZE:
      if (client_) ::MoveWindow(ClientHandle(), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR:
      if (SetOverrideCursor()) return TRUE;
      break;
    case detail::kIconMessage:
      SetIcons();
      return 0;
    case detail::kWakeMessage:
      return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT Window::ClientMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PaintScope paint(hwnd);
      PaintClient(paint.dc(), paint.area());
      return 0;
    }
    case WM_SIZE:
      ClientResized(hwnd);
      return 0;
    case WM_TIMER:
      if (wp == kAnimationTimer && wallpaperAnimation_) {
        AnimateWallpaper(hwnd);
        return 0;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) {
        if (Control* c = Find(LOWORD(wp)); c && c->layout->type == ControlType::Button) {
          if (c->layout->style & kStandardClose) {
            ::PostMessageA(Handle(), WM_CLOSE, 0, 0);
          } else {
            Post({event::Accepted, c->number, 0});
          }
          return 0;
        }
      }
      break;
    case WM_SETCURSOR:
      if (SetOverrideCursor()) return TRUE;
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace rt
