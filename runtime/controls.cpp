// A window's controls: created from the layout, and what the program asks of
// them.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "text.h"
#include "window.h"
#include "window_internal.h"

namespace rt {
namespace {

using detail::Instance;
using detail::kAnimationTimer;
using detail::kButtonClass;
using detail::kDrawnClass;
using detail::MakeFont;
using detail::ScheduleNextFrame;

SIZE TextSize(HDC measuring, HFONT font, std::string_view text) {
  SelectInDC select(measuring, font);
  SIZE size{};
  ::GetTextExtentPoint32A(measuring, text.data(), static_cast<int>(text.size()), &size);
  return size;
}

// The common controls (of the newer version that the program's manifest
// names, when it has one), loaded when a window first needs one of their
// classes: a window without those starts without their load. Loaded once,
// for the rest of the process.
bool CommonControlsLoaded() {
  static const bool loaded = [] {
    HMODULE module = SystemLibraryLoad("comctl32.dll");
    if (!module) return false;
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = reinterpret_cast<Init>(
        reinterpret_cast<void*>(::GetProcAddress(module, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
    return init && init(&classes);
  }();
  return loaded;
}

}  // namespace

void Window::CreateControls(HDC measuring) {
  std::size_t nextBinding = 0;
  int number = 0;
  for (const ControlLayout& c : layout_.controls) {
    auto control = std::make_unique<Control>();
    control->layout = &c;
    control->number = ++number;
    control->window = this;
    control->hidden = (c.style & kHidden) != 0;
    control->color = c.font.color;
    if ((c.type == ControlType::StrString || c.type == ControlType::Progress) &&
        nextBinding < bindings_.size()) {
      control->binding = &bindings_[nextBinding++];
    }
    Control* raw = control.get();
    controls_.push_back(std::move(control));
    if (!ControlTypeRegistered(c.type)) continue;

    const char* face = c.font.face[0] ? c.font.face : layout_.font.face;
    if (!face[0]) face = "MS Shell Dlg";
    const int points =
        c.font.points > 0 ? c.font.points : (layout_.font.points > 0 ? layout_.font.points : 8);
    raw->font.reset(MakeFont(measuring, face, points, c.font.weight));
    raw->text = c.text;
    // A control that the window opens hidden is made when it first shows:
    // the window opens without the cost of making it (a millisecond each,
    // which a program's start pays before its first work) and, for a
    // progress bar, without the common controls.
    raw->deferred = raw->hidden;
    if (!raw->deferred) CreateControlWindow(*raw, measuring);
  }
}

void Window::CreateControlWindow(Control& control, HDC measuring) {
  const ControlLayout& c = *control.layout;
  const int x = DluToPixelsX(c.x), y = DluToPixelsY(c.y);
  int w = c.width != kDefault ? DluToPixelsX(c.width) : 0;
  int h = c.height != kDefault ? DluToPixelsY(c.height) : 0;
  DWORD style = WS_CHILD | (control.hidden ? 0 : WS_VISIBLE);
  const char* cls = kDrawnClass;
  switch (c.type) {
    case ControlType::Button: {
      cls = control.FlatButton() ? kButtonClass : WC_BUTTONA;
      if (!control.FlatButton()) style |= BS_PUSHBUTTON;
      if (!(c.style & kNoTabStop)) style |= WS_TABSTOP;
      const SIZE t = TextSize(measuring, static_cast<HFONT>(control.font.get()), control.text);
      if (!w) w = t.cx + DluToPixelsX(8);
      if (!h) h = DluToPixelsY(14);
      break;
    }
    case ControlType::Progress:
      if (!CommonControlsLoaded()) return;
      cls = PROGRESS_CLASSA;
      style |= PBS_SMOOTH;
      if (!w) w = DluToPixelsX(50);
      if (!h) h = DluToPixelsY(10);
      break;
    case ControlType::List:
      cls = WC_LISTBOXA;
      style |= LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP;
      if (!w) w = DluToPixelsX(60);
      if (!h) h = DluToPixelsY(40);
      break;
    case ControlType::Image:
      control.picture = Picture::Load(c.text);
      control.text.clear();
      if (control.picture) control.animation = std::make_unique<Animation>(control.picture.get());
      if (!w) w = control.picture ? control.picture->Width() : DluToPixelsX(20);
      if (!h) h = control.picture ? control.picture->Height() : DluToPixelsY(20);
      break;
    default: {  // texts
      const SIZE t = TextSize(measuring, static_cast<HFONT>(control.font.get()), control.text);
      if (!w) w = t.cx;
      if (!h) h = t.cy;
      break;
    }
  }
  control.hwnd.reset(::CreateWindowExA(
      0, cls, control.text.c_str(), style, x, y, w, h, ClientHandle(),
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.number)), Instance(), &control));
  if (!control.hwnd) return;
  ::SendMessageA(control.hwnd.get(), WM_SETFONT, (WPARAM)control.font.get(), FALSE);
  if (c.type == ControlType::Progress) {
    ::SendMessageA(control.hwnd.get(), PBM_SETRANGE32, 0, (c.rangeHigh - c.rangeLow) * 100);
    ::SendMessageA(control.hwnd.get(), PBM_SETPOS, static_cast<WPARAM>(control.position), 0);
  }
}

Window::Control* Window::Find(int control) const {
  if (control < 1 || control > ControlCount()) return nullptr;
  return controls_[static_cast<std::size_t>(control - 1)].get();
}

int Window::NextField(int control) const {
  return control < ControlCount() ? control + 1 : 0;
}

ControlType Window::Type(int control) const {
  const Control* c = Find(control);
  return c ? c->layout->type : ControlType::None;
}

HWND Window::ControlHandle(int control) const {
  const Control* c = Find(control);
  return c ? c->hwnd.get() : nullptr;
}

std::string Window::ControlName(int control) const {
  const Control* c = Find(control);
  return c ? c->layout->label : "";
}

std::string Window::Text(int control) const {
  if (control == 0) return layout_.title;
  const Control* c = Find(control);
  return c ? c->text : "";
}

void Window::SetText(int control, std::string_view text) {
  Control* c = Find(control);
  if (!c) return;
  c->text = text;
  if (c->hwnd) ::SetWindowTextA(c->hwnd.get(), c->text.c_str());
}

bool Window::Hidden(int control) const {
  const Control* c = Find(control);
  return c ? c->hidden : true;
}

void Window::Unhide(int control) {
  Control* c = Find(control);
  if (!c || !c->hidden) return;
  c->hidden = false;
  if (c->deferred) {
    c->deferred = false;
    const UniqueDC measuring(detail::MakeMeasuringDC());
    CreateControlWindow(*c, measuring.get());  // made visible
    if (!c->hwnd) return;
    // Beneath the controls before it in the layout, as if made with them.
    HWND above = HWND_TOP;
    for (int n = c->number - 1; n > 0; --n) {
      if (HWND earlier = ControlHandle(n)) {
        above = earlier;
        break;
      }
    }
    ::SetWindowPos(c->hwnd.get(), above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (c->animation) ScheduleNextFrame(c->hwnd.get(), *c->animation);
    return;
  }
  if (!c->hwnd) return;
  ::ShowWindow(c->hwnd.get(), SW_SHOWNA);
  if (c->animation) ScheduleNextFrame(c->hwnd.get(), *c->animation);
}

void Window::Hide(int control) {
  Control* c = Find(control);
  if (!c || c->hidden) return;
  c->hidden = true;
  if (c->hwnd) {
    ::KillTimer(c->hwnd.get(), kAnimationTimer);
    ::ShowWindow(c->hwnd.get(), SW_HIDE);
  }
}

void Window::Display(int control) {
  for (auto& c : controls_) {
    if (control != 0 && c->number != control) continue;
    if (c->hwnd) ::InvalidateRect(c->hwnd.get(), nullptr, FALSE);
    if (!c->binding) continue;
    if (const auto* text = std::get_if<std::string*>(c->binding)) {
      SetText(c->number, TrimRight(**text));
    } else if (const auto* number = std::get_if<double*>(c->binding)) {
      const double value =
          std::clamp(**number, double(c->layout->rangeLow), double(c->layout->rangeHigh)) -
          c->layout->rangeLow;
      c->position = static_cast<int>(value * 100 + 0.5);
      if (c->hwnd) ::SendMessageA(c->hwnd.get(), PBM_SETPOS, static_cast<WPARAM>(c->position), 0);
    }
  }
}

void Window::Select(int control) {
  const Control* c = Find(control);
  if (c && c->hwnd && !c->hidden && ::IsWindowEnabled(c->hwnd.get())) ::SetFocus(c->hwnd.get());
}

int Window::Choice(int control) const {
  const Control* c = Find(control);
  if (!c || !c->hwnd || c->layout->type != ControlType::List) return 0;
  const LRESULT selected = ::SendMessageA(c->hwnd.get(), LB_GETCURSEL, 0, 0);
  return selected == LB_ERR ? 0 : static_cast<int>(selected) + 1;
}

int Window::VerticalScrollPosition(int control) const {
  HWND target = control == 0 ? ClientHandle() : ControlHandle(control);
  return target ? ::GetScrollPos(target, SB_VERT) : 0;
}

}  // namespace rt
