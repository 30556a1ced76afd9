// Windows: building one from its layout, opening and closing it, the open
// windows of each thread, position and size, and the mouse pointer.
#include "window.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "per_thread.h"
#include "program.h"
#include "window_internal.h"
#include "window_registry.h"

namespace rt {
namespace {

using detail::Instance;
using detail::kClientClass;
using detail::kFrameClass;
using detail::MakeFont;
using detail::ScheduleNextFrame;

std::atomic<HCURSOR> g_cursor{nullptr};

// A thread's open windows, in order of opening, and the timers of the thread
// that give them their Timer events. Other threads post to the last one.
struct OpenWindows {
  std::mutex mutex;
  std::vector<Window*> windows;
  std::vector<std::pair<UINT_PTR, Window*>> ticks;
};
PerThread<OpenWindows> g_open;

// Average character width and height of a font, the way dialog base units
// are measured.
void MeasureFont(HDC measuring, HFONT font, int& baseX, int& baseY) {
  SelectInDC select(measuring, font);
  TEXTMETRICA tm{};
  ::GetTextMetricsA(measuring, &tm);
  SIZE size{};
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  ::GetTextExtentPoint32A(measuring, kLetters, 52, &size);
  baseX = std::max(1, static_cast<int>((size.cx / 26 + 1) / 2));
  baseY = std::max(1, static_cast<int>(tm.tmHeight));
}

// The thread that opens a window keeps it among its open windows, with the
// timer of its ticks (0: none); the result is that thread's number.
int Register(Window* w, UINT_PTR tickTimer) {
  // Attaching runs every module's thread start steps, which must not run
  // under the lock of the window list.
  ThreadAttachCurrent();
  OpenWindows& mine = g_open.Get();
  std::lock_guard lock(mine.mutex);
  mine.windows.push_back(w);
  if (tickTimer) mine.ticks.emplace_back(tickTimer, w);
  return ThreadNumber();
}

void Unregister(Window* w, int thread) {
  const auto erase = [w](OpenWindows* open) {
    if (!open) return;  // that thread has ended
    std::lock_guard lock(open->mutex);
    std::erase(open->windows, w);
    std::erase_if(open->ticks, [w](const auto& tick) { return tick.second == w; });
  };
  // Usually the thread that opened it closes it.
  if (thread == ThreadNumber()) {
    erase(g_open.Find());
  } else {
    g_open.With(thread, erase);
  }
}

// Why the window that CreateWindowExA was asked for is not there. A window
// that a hook or the window procedure refused leaves no error code of
// its own.
DWORD CreationError() {
  const DWORD error = ::GetLastError();
  return error != 0 ? error : ERROR_INVALID_WINDOW_HANDLE;
}

}  // namespace

HDC detail::MakeMeasuringDC() {
  return ::CreateCompatibleDC(nullptr);
}

HFONT detail::MakeFont(HDC measuring, const char* face, int points, int weight) {
  LOGFONTA lf{};
  lf.lfHeight = -::MulDiv(points, ::GetDeviceCaps(measuring, LOGPIXELSY), 72);
  lf.lfWeight = weight > 0 ? weight : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  ::lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
  return ::CreateFontIndirectA(&lf);
}

bool detail::SetOverrideCursor() {
  if (HCURSOR cursor = g_cursor.load()) {
    ::SetCursor(cursor);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Building a window

Window::Window(const WindowLayout& layout, std::vector<Binding> bindings)
    : layout_(layout), bindings_(std::move(bindings)) {
  const char* face = layout_.font.face[0] ? layout_.font.face : "MS Shell Dlg";
  const int points = layout_.font.points > 0 ? layout_.font.points : 8;
  const UniqueDC measuring(detail::MakeMeasuringDC());
  windowFont_.reset(MakeFont(measuring.get(), face, points, layout_.font.weight));
  MeasureFont(measuring.get(), static_cast<HFONT>(windowFont_.get()), baseX_, baseY_);

  const bool titled = layout_.title[0] != '\0';
  DWORD style = WS_CLIPCHILDREN;
  if (titled) {
    style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    if (layout_.resizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
  } else {
    style |= WS_POPUP | WS_BORDER;
  }
  RECT r{0, 0, DluToPixelsX(layout_.width), DluToPixelsY(layout_.height)};
  ::AdjustWindowRectEx(&r, style, FALSE, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT work{};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int x = layout_.x != kDefault ? DluToPixelsX(layout_.x)
                                      : work.left + (work.right - work.left - w) / 2;
  const int y =
      layout_.y != kDefault ? DluToPixelsY(layout_.y) : work.top + (work.bottom - work.top - h) / 2;
  ::SetLastError(0);
  frame_.reset(::CreateWindowExA(0, kFrameClass, layout_.title, style, x, y, w, h, nullptr, nullptr,
                                 Instance(), this));
  if (!frame_) {
    failure_ = CreationError();
    return;
  }

  if (layout_.icon[0]) {
    // Without a title bar the icon shows only in the task bar and the task
    // switcher. Setting it costs the display a few milliseconds, which a
    // program's start would pay before its first work: it is set when the
    // window's thread first waits for messages.
    if (titled) {
      SetIcons();
    } else {
      ::PostMessageA(Handle(), detail::kIconMessage, 0, 0);
    }
  }

  RECT client{};
  ::GetClientRect(Handle(), &client);
  client_.reset(::CreateWindowExA(0, kClientClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                  0, client.right, client.bottom, Handle(), nullptr, Instance(),
                                  this));
  if (!client_) {  // a frame without its client area shows nothing: it is no window
    failure_ = CreationError();
    frame_.reset();
    return;
  }
  queue_.WakeAt(Handle());
  if (layout_.wallpaper[0]) {
    wallpaper_ = Picture::Load(layout_.wallpaper);
    if (wallpaper_) wallpaperAnimation_ = std::make_unique<Animation>(wallpaper_.get());
  }
  // The first frame is ready before the window shows; the others are made
  // as they fall due.
  if (wallpaper_) wallpaper_->Prepare(0, ClientSize());
  CreateControls(measuring.get());
  Display(0);
}

void Window::SetIcons() {
  iconBig_.reset(static_cast<HICON>(::LoadImageA(Instance(), layout_.icon, IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXICON),
                                                 ::GetSystemMetrics(SM_CYICON), 0)));
  iconSmall_.reset(static_cast<HICON>(::LoadImageA(Instance(), layout_.icon, IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0)));
  if (iconBig_) ::SendMessageA(Handle(), WM_SETICON, ICON_BIG, (LPARAM)iconBig_.get());
  if (iconSmall_) ::SendMessageA(Handle(), WM_SETICON, ICON_SMALL, (LPARAM)iconSmall_.get());
}

Window::~Window() {
  Close();
}

// ---------------------------------------------------------------------------
// Opening and closing

void Window::Open(Window* /*owner*/) {
  if (!frame_ || opened_) return;
  opened_ = true;
  if (layout_.timer > 0) {
    tickTimer_ = ::SetTimer(nullptr, 0, layout_.timer * 10, detail::TickProcedure);
  }
  openedOn_ = Register(this, tickTimer_);
  Post({event::OpenWindow, 0, 0}, true);
  if (wallpaperAnimation_) ScheduleNextFrame(ClientHandle(), *wallpaperAnimation_);
  for (auto& c : controls_) {
    if (c->animation && !c->hidden) ScheduleNextFrame(c->hwnd.get(), *c->animation);
  }
  ::ShowWindow(Handle(), SW_SHOWNORMAL);
  ::UpdateWindow(Handle());
}

void Window::Close() {
  if (!frame_) return;
  Unregister(this, openedOn_);
  opened_ = false;
  // A thread's timer can be stopped only by that thread: closed on another,
  // the window's timer stops itself at its next tick, which finds no window.
  if (tickTimer_ && openedOn_ == ThreadNumber()) ::KillTimer(nullptr, tickTimer_);
  tickTimer_ = 0;
  // The frame hides and takes its client area and controls with it: one
  // call rather than one for each window.
  for (auto& c : controls_) static_cast<void>(c->hwnd.release());
  static_cast<void>(client_.release());
  queue_.WakeAt(nullptr);
  frame_.reset();
  paintBuffer_.reset();
  queue_.Clear();
}

std::unique_ptr<Window> WindowLoad(std::string_view resource, std::string_view layout,
                                   std::vector<Binding> bindings) {
  const WindowLayout* found = FindLayout(resource, layout);
  if (!found) {
    ErrorCodeSet(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  if (const int error = detail::WindowClassError()) {
    ErrorCodeSet(error);
    return nullptr;
  }
  auto window = std::make_unique<Window>(*found, std::move(bindings));
  if (window->Closed()) {
    ErrorCodeSet(static_cast<int>(window->failure_));
    return nullptr;
  }
  ErrorCodeSet(0);
  return window;
}

void WindowClose(std::unique_ptr<Window>& window) {
  window.reset();
}

// ---------------------------------------------------------------------------
// The open windows of each thread

Window* CurrentWindow() {
  OpenWindows* mine = g_open.Find();
  if (!mine) return nullptr;
  std::lock_guard lock(mine->mutex);
  return mine->windows.empty() ? nullptr : mine->windows.back();
}

void detail::DestroyThreadWindows() {
  OpenWindows* open = g_open.Find();
  if (!open) return;
  std::vector<Window*> mine;
  {
    std::lock_guard lock(open->mutex);
    mine = open->windows;
  }
  for (auto it = mine.rbegin(); it != mine.rend(); ++it) (*it)->Close();
}

bool detail::PostToCurrentWindow(int thread, const Event& e) {
  return g_open.With(thread != 0 ? thread : ThreadNumber(), [&e](OpenWindows* open) {
    if (!open) return false;
    std::lock_guard lock(open->mutex);
    if (open->windows.empty()) return false;
    open->windows.back()->Post(e);
    return true;
  });
}

void CALLBACK detail::TickProcedure(HWND, UINT, UINT_PTR timer, DWORD) noexcept {
  if (OpenWindows* open = g_open.Find()) {
    std::lock_guard lock(open->mutex);
    for (const auto& [tick, w] : open->ticks) {
      if (tick == timer) {
        w->Post({event::Timer, 0, 0});
        return;
      }
    }
  }
  ::KillTimer(nullptr, timer);  // its window has closed
}

// ---------------------------------------------------------------------------
// Position and size

static RECT FrameRect(HWND frame) {
  RECT r{};
  ::GetWindowRect(frame, &r);
  return r;
}

int Window::Xpos() const {
  const int px = FrameRect(Handle()).left;
  return pixels_ ? px : PixelsToDluX(px);
}
int Window::Ypos() const {
  const int px = FrameRect(Handle()).top;
  return pixels_ ? px : PixelsToDluY(px);
}
int Window::Width() const {
  const RECT r = FrameRect(Handle());
  return pixels_ ? r.right - r.left : PixelsToDluX(r.right - r.left);
}
int Window::Height() const {
  const RECT r = FrameRect(Handle());
  return pixels_ ? r.bottom - r.top : PixelsToDluY(r.bottom - r.top);
}

// A frame already in place is left alone: under Wine each move of a shown
// window costs requests to the display even when nothing changes.
void Window::MoveFrame(const RECT& r, int x, int y, int w, int h) {
  if (x == r.left && y == r.top && w == r.right - r.left && h == r.bottom - r.top) return;
  ::SetWindowPos(Handle(), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::SetXpos(int v) {
  const RECT r = FrameRect(Handle());
  MoveFrame(r, pixels_ ? v : DluToPixelsX(v), r.top, r.right - r.left, r.bottom - r.top);
}
void Window::SetYpos(int v) {
  const RECT r = FrameRect(Handle());
  MoveFrame(r, r.left, pixels_ ? v : DluToPixelsY(v), r.right - r.left, r.bottom - r.top);
}
void Window::SetWidth(int v) {
  const RECT r = FrameRect(Handle());
  MoveFrame(r, r.left, r.top, pixels_ ? v : DluToPixelsX(v), r.bottom - r.top);
}
void Window::SetHeight(int v) {
  const RECT r = FrameRect(Handle());
  MoveFrame(r, r.left, r.top, r.right - r.left, pixels_ ? v : DluToPixelsY(v));
}

bool Window::AlertsKey(int keyCode) const {
  return std::find(layout_.alertKeys.begin(), layout_.alertKeys.end(), keyCode) !=
         layout_.alertKeys.end();
}

// ---------------------------------------------------------------------------
// The mouse pointer

void CursorSet(LPCSTR systemCursor) {
  HCURSOR cursor = ::LoadCursorA(nullptr, systemCursor);
  g_cursor = cursor;
  ::SetCursor(cursor);
}

void CursorRestore() {
  g_cursor = nullptr;
  ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
}

}  // namespace rt
