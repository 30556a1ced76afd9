// Painting a window: the client area's background (the system's face colour
// and the wallpaper), the controls that the runtime draws itself, painted
// through a memory bitmap over that background (its flat buttons among
// them), and the animation timers. Only what changed is painted again: of the
// wallpaper, the part that its next frame changes.
#include "window.h"
#include "window_internal.h"

namespace rt {

using detail::kAnimationTimer;

// Steps an animation on its timer, which runs at the delay of the frame
// shown: it is set again only when the next frame's delay differs, and
// stopped when the animation has ended. False when it has.
bool detail::StepAnimation(HWND hwnd, Animation& animation) {
  const int period = animation.Delay();
  if (!animation.Advance()) {
    ::KillTimer(hwnd, kAnimationTimer);
    return false;
  }
  const int next = animation.Delay();
  if (next == 0) {
    ::KillTimer(hwnd, kAnimationTimer);
  } else if (next != period) {
    ::SetTimer(hwnd, kAnimationTimer, static_cast<UINT>(next) * 10, nullptr);
  }
  return true;
}

void detail::ScheduleNextFrame(HWND hwnd, const Animation& animation) {
  if (animation.Running()) ::SetTimer(hwnd, kAnimationTimer, animation.Delay() * 10, nullptr);
}

// ---------------------------------------------------------------------------
// The background

// Nothing of it is kept beside the wallpaper: each paint copies its part
// from the wallpaper's frame, which fills the client area at whatever size
// the window's font gave it, composed once and scaled once per frame and
// size.

SIZE Window::ClientSize() const {
  RECT r{};
  ::GetClientRect(ClientHandle(), &r);
  return {r.right, r.bottom};
}

RECT Window::ClientRectOf(HWND child) const {
  RECT r{};
  ::GetClientRect(child, &r);
  ::MapWindowPoints(child, ClientHandle(), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The background within `area` (client coordinates) into `dc`, whose origin
// lies at the client point `at`.
void Window::PaintBackgroundArea(HDC dc, const RECT& area, POINT at) const {
  RECT part = area;
  ::OffsetRect(&part, -at.x, -at.y);
  if (!wallpaper_ || !wallpaper_->Opaque()) {
    ::FillRect(dc, &part, ::GetSysColorBrush(COLOR_BTNFACE));
  }
  if (!wallpaper_) return;
  const SIZE size = ClientSize();
  const RECT target{-at.x, -at.y, size.cx - at.x, size.cy - at.y};
  wallpaper_->Draw(dc, target, wallpaperAnimation_->Frame(), part);
}

void Window::PaintClient(HDC dc, const RECT& area) const {
  PaintBackgroundArea(dc, area, {0, 0});
}

void Window::ClientResized(HWND client) {
  ::InvalidateRect(client, nullptr, FALSE);
}

// The wallpaper's next frame: the part of the client area that it changes
// is painted anew at once, with the controls over it that show it. An
// animation paints on its timer rather than through WM_PAINT: a paint
// message, its update region and the caret's hiding around it cost more
// than the frame of a small picture.
void Window::AnimateWallpaper(HWND client) {
  if (!detail::StepAnimation(client, *wallpaperAnimation_)) return;
  const RECT change = wallpaper_->Prepare(wallpaperAnimation_->Frame(), ClientSize());
  if (::IsRectEmpty(&change)) return;
  {
    WindowDC dc(client);  // the controls are clipped out
    PaintClient(dc.get(), change);
  }
  for (auto& c : controls_) {
    if (!c->hwnd || c->hidden || !c->Drawn()) continue;
    const RECT r = ClientRectOf(c->hwnd.get());
    RECT shown{};
    if (!::IntersectRect(&shown, &r, &change)) continue;
    WindowDC dc(c->hwnd.get());
    PaintControl(*c, dc.get());
  }
}

// The background under a child window, into its DC.
void Window::PaintBackground(HDC dc, HWND child) const {
  const RECT r = ClientRectOf(child);
  PaintBackgroundArea(dc, r, {r.left, r.top});
}

// ---------------------------------------------------------------------------
// Controls

// Paints into a memory bitmap first, so that a text over the animated
// wallpaper never shows half drawn. The bitmap is kept for the next paint:
// making one for every frame of an animation cost more than the frame.
template <typename Draw>
void Window::PaintBuffered(HDC target, int w, int h, Draw draw) const {
  HDC memory = paintBuffer_.Grow(target, w, h);
  draw(memory);
  ::BitBlt(target, 0, 0, w, h, memory, 0, 0, SRCCOPY);
}

void Window::PaintControl(const Control& c, HDC dc) const {
  RECT r{};
  ::GetClientRect(c.hwnd.get(), &r);
  PaintBuffered(dc, r.right, r.bottom, [&](HDC memory) {
    if (c.Transparent() || c.layout->type == ControlType::Image) {
      PaintBackground(memory, c.hwnd.get());
    } else {
      ::FillRect(memory, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    }
    if (c.picture) {
      RECT p{0, 0, c.picture->Width(), c.picture->Height()};
      c.picture->Draw(memory, p, c.animation ? c.animation->Frame() : 0);
      return;
    }
    SelectInDC font(memory, c.font.get());
    ::SetBkMode(memory, TRANSPARENT);
    if (c.FlatButton()) {
      PaintButtonFace(c, memory, r);
      return;
    }
    ::SetTextColor(memory, c.color != kDefaultColor ? c.color : ::GetSysColor(COLOR_WINDOWTEXT));
    UINT format = DT_WORDBREAK | ((c.layout->style & kCentered) ? DT_CENTER : DT_LEFT);
    if (c.layout->type != ControlType::Prompt) format |= DT_NOPREFIX;
    ::DrawTextA(memory, c.text.c_str(), static_cast<int>(c.text.size()), &r, format);
  });
}

void Window::AnimateControl(Control& c) {
  if (!c.animation || c.hidden) {
    ::KillTimer(c.hwnd.get(), kAnimationTimer);
    return;
  }
  if (!detail::StepAnimation(c.hwnd.get(), *c.animation)) return;
  WindowDC dc(c.hwnd.get());  // at once, as the wallpaper's frames
  PaintControl(c, dc.get());
}

// A flat button's text, moved a pixel while it is held down, and its focus
// rectangle while it has the focus and the keyboard cues show.
void Window::PaintButtonFace(const Control& c, HDC dc, const RECT& r) const {
  RECT text = r;
  if (c.pressed) ::OffsetRect(&text, 1, 1);
  ::SetTextColor(dc, c.color != kDefaultColor ? c.color : ::GetSysColor(COLOR_BTNTEXT));
  ::DrawTextA(dc, c.text.c_str(), static_cast<int>(c.text.size()), &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  const bool cues = !(::SendMessageA(c.hwnd.get(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
  if (::GetFocus() == c.hwnd.get() && cues) {
    RECT focus = r;
    ::InflateRect(&focus, -2, -2);
    ::DrawFocusRect(dc, &focus);
  }
}

}  // namespace rt
