#include "window.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "program.h"
#include "text.h"
#include "window_registry.h"

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

  bool Transparent() const { return (layout->style & kTransparent) != 0; }
  bool Drawn() const {  // painted by the runtime, not by a system control class
    return layout->type == ControlType::String || layout->type == ControlType::StrString ||
           layout->type == ControlType::Prompt || layout->type == ControlType::Image ||
           layout->type == ControlType::Panel;
  }
};

namespace {

constexpr const char* kFrameClass = "RtWindow";
constexpr const char* kClientClass = "RtClient";
constexpr const char* kDrawnClass = "RtControl";
constexpr UINT kWakeMessage = WM_APP + 0x100;
constexpr UINT_PTR kEventTimer = 1;
constexpr UINT_PTR kAnimationTimer = 2;

std::atomic<bool> g_typesRegistered[64];
std::atomic<HCURSOR> g_cursor{nullptr};

std::mutex g_openMutex;
std::map<int, std::vector<Window*>> g_open;  // thread number -> windows in order of opening

// The thread's running event loops, innermost first; each frame lives on the
// stack of its EventLoopRun.
struct LoopFrame {
  Window* window;
  Event current;
  LoopFrame* outer;
};
thread_local LoopFrame* t_innermost = nullptr;

HINSTANCE Instance() {
  return ::GetModuleHandleA(nullptr);
}

// Steps an animation on its timer, which runs at the delay of the frame
// shown: it is set again only when the next frame's delay differs, and
// stopped when the animation has ended. False when it has.
bool StepAnimation(HWND hwnd, Animation& animation) {
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

bool SetOverrideCursor() {
  if (HCURSOR cursor = g_cursor.load()) {
    ::SetCursor(cursor);
    return true;
  }
  return false;
}

template <typename T>
T* Owner(HWND hwnd) {
  return reinterpret_cast<T*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void TakeOwnerFromCreate(HWND hwnd, LPARAM lp) {
  const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lp);
  ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

// The procedure of a window's frame or client area: the Window that owns
// the HWND handles its messages from creation to destruction.
template <LRESULT (Window::*Handle)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) TakeOwnerFromCreate(hwnd, lp);
  Window* w = Owner<Window>(hwnd);
  if (msg == WM_NCDESTROY) ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  return w ? (w->*Handle)(hwnd, msg, wp, lp) : ::DefWindowProcA(hwnd, msg, wp, lp);
}

// Texts and pictures: drawn double-buffered over the window's background.
LRESULT CALLBACK DrawnProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) TakeOwnerFromCreate(hwnd, lp);
  auto* control = Owner<Window::Control>(hwnd);
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

void RegisterClasses() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = Instance();
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);

  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WindowProc<&Window::FrameMessage>;
  wc.lpszClassName = kFrameClass;
  wc.hbrBackground = nullptr;
  ::RegisterClassExA(&wc);

  wc.lpfnWndProc = WindowProc<&Window::ClientMessage>;
  wc.lpszClassName = kClientClass;
  ::RegisterClassExA(&wc);

  wc.style = 0;
  wc.lpfnWndProc = DrawnProc;
  wc.lpszClassName = kDrawnClass;
  ::RegisterClassExA(&wc);
}

HFONT MakeFont(const char* face, int points, int weight) {
  WindowDC screen(nullptr);
  LOGFONTA lf{};
  lf.lfHeight = -::MulDiv(points, ::GetDeviceCaps(screen.get(), LOGPIXELSY), 72);
  lf.lfWeight = weight > 0 ? weight : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  ::lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
  return ::CreateFontIndirectA(&lf);
}

// Average character width and height of a font, the way dialog base units
// are measured.
void MeasureFont(HFONT font, int& baseX, int& baseY) {
  WindowDC screen(nullptr);
  SelectInDC select(screen.get(), font);
  TEXTMETRICA tm{};
  ::GetTextMetricsA(screen.get(), &tm);
  SIZE size{};
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  ::GetTextExtentPoint32A(screen.get(), kLetters, 52, &size);
  baseX = std::max(1, static_cast<int>((size.cx / 26 + 1) / 2));
  baseY = std::max(1, static_cast<int>(tm.tmHeight));
}

SIZE TextSize(HFONT font, std::string_view text) {
  WindowDC screen(nullptr);
  SelectInDC select(screen.get(), font);
  SIZE size{};
  ::GetTextExtentPoint32A(screen.get(), text.data(), static_cast<int>(text.size()), &size);
  return size;
}

// The timer that shows an animation's next frame, when it has one.
void ScheduleNextFrame(HWND hwnd, const Animation& animation) {
  if (animation.Running()) ::SetTimer(hwnd, kAnimationTimer, animation.Delay() * 10, nullptr);
}

void Register(Window* w) {
  // Attaching runs every module's thread start steps, which must not run
  // under the lock of the window lists.
  ThreadAttachCurrent();
  std::lock_guard lock(g_openMutex);
  g_open[ThreadNumber()].push_back(w);
}

void Unregister(Window* w) {
  std::lock_guard lock(g_openMutex);
  for (auto& [thread, windows] : g_open) std::erase(windows, w);
}

}  // namespace

void ControlTypeRegister(ControlType type) {
  const auto code = static_cast<std::size_t>(type);
  if (code < std::size(g_typesRegistered)) g_typesRegistered[code] = true;
}

bool ControlTypeRegistered(ControlType type) {
  const auto code = static_cast<std::size_t>(type);
  return code < std::size(g_typesRegistered) && g_typesRegistered[code];
}

const WindowLayout* FindLayout(std::string_view resource, std::string_view layout) {
  for (const Module* m : ProgramModules()) {
    if (!m->resource || !EqualNoCase(m->resource->name, resource)) continue;
    for (const WindowLayout& w : m->resource->windows) {
      if (EqualNoCase(w.name, layout)) return &w;
    }
  }
  return nullptr;
}

void detail::WindowsStart() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  RegisterClasses();
}

void detail::DestroyThreadWindows() {
  std::vector<Window*> mine;
  {
    std::lock_guard lock(g_openMutex);
    auto it = g_open.find(ThreadNumber());
    if (it != g_open.end()) mine = it->second;
  }
  for (auto it = mine.rbegin(); it != mine.rend(); ++it) (*it)->Close();
}

// ---------------------------------------------------------------------------
// Building a window

Window::Window(const WindowLayout& layout, std::vector<Binding> bindings)
    : layout_(layout), bindings_(std::move(bindings)) {
  const char* face = layout_.font.face[0] ? layout_.font.face : "MS Shell Dlg";
  const int points = layout_.font.points > 0 ? layout_.font.points : 8;
  windowFont_.reset(MakeFont(face, points, layout_.font.weight));
  MeasureFont(static_cast<HFONT>(windowFont_.get()), baseX_, baseY_);

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
  frame_.reset(::CreateWindowExA(0, kFrameClass, layout_.title, style, x, y, w, h, nullptr, nullptr,
                                 Instance(), this));
  if (!frame_) return;

  if (layout_.icon[0]) {
    iconBig_.reset(static_cast<HICON>(::LoadImageA(Instance(), layout_.icon, IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXICON),
                                                   ::GetSystemMetrics(SM_CYICON), 0)));
    iconSmall_.reset(static_cast<HICON>(::LoadImageA(Instance(), layout_.icon, IMAGE_ICON,
                                                     ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), 0)));
    if (iconBig_) ::SendMessageA(Handle(), WM_SETICON, ICON_BIG, (LPARAM)iconBig_.get());
    if (iconSmall_) ::SendMessageA(Handle(), WM_SETICON, ICON_SMALL, (LPARAM)iconSmall_.get());
  }

  RECT client{};
  ::GetClientRect(Handle(), &client);
  client_.reset(::CreateWindowExA(0, kClientClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                  0, client.right, client.bottom, Handle(), nullptr, Instance(),
                                  this));
  if (layout_.wallpaper[0]) {
    wallpaper_ = Picture::Load(layout_.wallpaper);
    if (wallpaper_) wallpaperAnimation_ = std::make_unique<Animation>(wallpaper_.get());
  }
  RebuildBackground();
  CreateControls();
  Display(0);
}

Window::~Window() {
  Close();
}

void Window::CreateControls() {
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
    raw->font.reset(MakeFont(face, points, c.font.weight));
    raw->text = c.text;

    const int x = DluToPixelsX(c.x), y = DluToPixelsY(c.y);
    int w = c.width != kDefault ? DluToPixelsX(c.width) : 0;
    int h = c.height != kDefault ? DluToPixelsY(c.height) : 0;
    DWORD style = WS_CHILD | (raw->hidden ? 0 : WS_VISIBLE);
    const char* cls = kDrawnClass;
    switch (c.type) {
      case ControlType::Button: {
        cls = WC_BUTTONA;
        style |= ((c.style & (kFlat | kTransparent)) ? BS_OWNERDRAW : BS_PUSHBUTTON);
        if (!(c.style & kNoTabStop)) style |= WS_TABSTOP;
        const SIZE t = TextSize(static_cast<HFONT>(raw->font.get()), raw->text);
        if (!w) w = t.cx + DluToPixelsX(8);
        if (!h) h = DluToPixelsY(14);
        break;
      }
      case ControlType::Progress:
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
        raw->picture = Picture::Load(c.text);
        raw->text.clear();
        if (raw->picture) raw->animation = std::make_unique<Animation>(raw->picture.get());
        if (!w) w = raw->picture ? raw->picture->Width() : DluToPixelsX(20);
        if (!h) h = raw->picture ? raw->picture->Height() : DluToPixelsY(20);
        break;
      default: {  // texts
        const SIZE t = TextSize(static_cast<HFONT>(raw->font.get()), raw->text);
        if (!w) w = t.cx;
        if (!h) h = t.cy;
        break;
      }
    }
    raw->hwnd.reset(::CreateWindowExA(0, cls, raw->text.c_str(), style, x, y, w, h, ClientHandle(),
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(raw->number)),
                                      Instance(), raw));
    if (!raw->hwnd) continue;
    ::SendMessageA(raw->hwnd.get(), WM_SETFONT, (WPARAM)raw->font.get(), FALSE);
    if (c.type == ControlType::Progress) {
      ::SendMessageA(raw->hwnd.get(), PBM_SETRANGE32, 0, (c.rangeHigh - c.rangeLow) * 100);
    }
  }
}

// ---------------------------------------------------------------------------
// Opening and closing

void Window::Open(Window* /*owner*/) {
  if (!frame_ || opened_) return;
  opened_ = true;
  Register(this);
  Post({event::OpenWindow, 0, 0}, true);
  if (layout_.timer > 0) ::SetTimer(Handle(), kEventTimer, layout_.timer * 10, nullptr);
  if (wallpaperAnimation_) ScheduleNextFrame(ClientHandle(), *wallpaperAnimation_);
  for (auto& c : controls_) {
    if (c->animation && !c->hidden) ScheduleNextFrame(c->hwnd.get(), *c->animation);
  }
  ::ShowWindow(Handle(), SW_SHOWNORMAL);
  ::UpdateWindow(Handle());
}

void Window::Close() {
  if (!frame_) return;
  Unregister(this);
  opened_ = false;
  ::ShowWindow(Handle(), SW_HIDE);
  for (auto& c : controls_) c->hwnd.reset();
  client_.reset();
  frame_.reset();
  if (backgroundDC_ && backgroundOld_) ::SelectObject(backgroundDC_.get(), backgroundOld_);
  backgroundOld_ = nullptr;
  backgroundDC_.reset();
  backgroundBitmap_.reset();
  if (paintDC_ && paintOld_) ::SelectObject(paintDC_.get(), paintOld_);
  paintOld_ = nullptr;
  paintDC_.reset();
  paintBitmap_.reset();
  paintW_ = paintH_ = 0;
  std::lock_guard lock(queueMutex_);
  queue_.clear();
  timerPending_ = false;
}

std::unique_ptr<Window> WindowLoad(std::string_view resource, std::string_view layout,
                                   std::vector<Binding> bindings) {
  const WindowLayout* found = FindLayout(resource, layout);
  if (!found) {
    ErrorCodeSet(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  ErrorCodeSet(0);
  return std::make_unique<Window>(*found, std::move(bindings));
}

void WindowClose(std::unique_ptr<Window>& window) {
  window.reset();
}

Window* CurrentWindow() {
  std::lock_guard lock(g_openMutex);
  auto it = g_open.find(ThreadNumber());
  return (it == g_open.end() || it->second.empty()) ? nullptr : it->second.back();
}

// ---------------------------------------------------------------------------
// Controls

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
    } else if (const auto* number = std::get_if<double*>(c->binding); number && c->hwnd) {
      const double value =
          std::clamp(**number, double(c->layout->rangeLow), double(c->layout->rangeHigh)) -
          c->layout->rangeLow;
      ::SendMessageA(c->hwnd.get(), PBM_SETPOS, static_cast<WPARAM>(value * 100 + 0.5), 0);
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

void Window::MoveFrame(int x, int y, int w, int h) {
  ::SetWindowPos(Handle(), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::SetXpos(int v) {
  const RECT r = FrameRect(Handle());
  MoveFrame(pixels_ ? v : DluToPixelsX(v), r.top, r.right - r.left, r.bottom - r.top);
}
void Window::SetYpos(int v) {
  const RECT r = FrameRect(Handle());
  MoveFrame(r.left, pixels_ ? v : DluToPixelsY(v), r.right - r.left, r.bottom - r.top);
}
void Window::SetWidth(int v) {
  const RECT r = FrameRect(Handle());
  MoveFrame(r.left, r.top, pixels_ ? v : DluToPixelsX(v), r.bottom - r.top);
}
void Window::SetHeight(int v) {
  const RECT r = FrameRect(Handle());
  MoveFrame(r.left, r.top, r.right - r.left, pixels_ ? v : DluToPixelsY(v));
}

// ---------------------------------------------------------------------------
// Events

void Window::Post(const Event& e, bool atFront) {
  HWND frame = nullptr;
  {
    std::lock_guard lock(queueMutex_);
    if (e.number == event::Timer) {
      if (timerPending_) return;  // ticks do not pile up behind a slow handler
      timerPending_ = true;
    }
    if (atFront) {
      queue_.push_front(e);
    } else {
      queue_.push_back(e);
    }
    frame = frame_.get();
  }
  // The loop looks at the queue before it waits for a message, so an event
  // posted on the window's own thread needs no wake-up message, unless it
  // comes from a message that another thread sent while the loop waited.
  // A tick saves a message that way: the wait costs the timer alone.
  const bool waitingLoop = ::GetCurrentThreadId() != threadId_ || ::InSendMessage();
  if (frame && waitingLoop) ::PostMessageA(frame, kWakeMessage, 0, 0);
}

bool Window::TakeEvent(Event& e) {
  std::lock_guard lock(queueMutex_);
  if (queue_.empty()) return false;
  e = queue_.front();
  queue_.pop_front();
  if (e.number == event::Timer) timerPending_ = false;
  return true;
}

bool Window::AlertsKey(int keyCode) const {
  return std::find(layout_.alertKeys.begin(), layout_.alertKeys.end(), keyCode) !=
         layout_.alertKeys.end();
}

bool EventPost(int eventNumber, int control, int thread) {
  std::lock_guard lock(g_openMutex);
  const int target = thread != 0 ? thread : ThreadNumber();
  auto it = g_open.find(target);
  if (it == g_open.end() || it->second.empty()) return false;
  it->second.back()->Post({eventNumber, control, 0});
  return true;
}

int EventCurrent() {
  return t_innermost ? t_innermost->current.number : 0;
}
int EventControl() {
  return t_innermost ? t_innermost->current.control : 0;
}
int KeyCodeCurrent() {
  return t_innermost ? t_innermost->current.keyCode : 0;
}

static bool TakeAlertKey(Window& w, const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (msg.hwnd != w.Handle() && !::IsChild(w.Handle(), msg.hwnd)) return false;
  const int key = static_cast<int>(msg.wParam);
  if (!w.AlertsKey(key)) return false;
  const int control =
      msg.hwnd == w.Handle() || msg.hwnd == w.ClientHandle() ? 0 : ::GetDlgCtrlID(msg.hwnd);
  w.Post({event::AlertKey, control, key});
  return true;
}

void EventLoopRun(Window& w, const std::function<LoopAction()>& body) {
  LoopFrame frame{&w, {}, t_innermost};
  t_innermost = &frame;
  ++w.loopDepth;
  bool endedByClose = false;
  for (;;) {
    Event e;
    if (w.TakeEvent(e)) {
      frame.current = e;
      const LoopAction action = body();
      if (action == LoopAction::Break) break;
      const bool closeRequest = e.number == event::CloseWindow || e.number == event::CloseDown;
      if (closeRequest && action != LoopAction::Cycle && !w.closing) {
        w.closing = true;
        w.closeEvent = e.number;
      }
      continue;
    }
    if (w.closing || w.Closed()) {
      endedByClose = w.closing;
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
  --w.loopDepth;
  t_innermost = frame.outer;
  if (endedByClose) {
    w.closing = false;
    if (w.loopDepth > 0) {
      w.Post({w.closeEvent, 0, 0}, true);  // the loop around this one still sees the close
    } else {
      w.Close();
    }
  }
}

void CursorSet(LPCSTR systemCursor) {
  HCURSOR cursor = ::LoadCursorA(nullptr, systemCursor);
  g_cursor = cursor;
  ::SetCursor(cursor);
}

void CursorRestore() {
  g_cursor = nullptr;
  ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
}

// ---------------------------------------------------------------------------
// Window procedures and painting

LRESULT Window::FrameMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      Post({event::CloseWindow, 0, 0});
      return 0;
    case WM_QUERYENDSESSION:
      Post({event::CloseDown, 0, 0});
      return TRUE;
    case WM_TIMER:
      if (wp == kEventTimer) {
        Post({event::Timer, 0, 0});
        return 0;
      }
      break;
    case WM_SIZE:
      if (client_) ::MoveWindow(ClientHandle(), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR:
      if (SetOverrideCursor()) return TRUE;
      break;
    case kWakeMessage:
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
      const RECT& a = paint.area();
      if (backgroundDC_) {
        ::BitBlt(paint.dc(), a.left, a.top, a.right - a.left, a.bottom - a.top, backgroundDC_.get(),
                 a.left, a.top, SRCCOPY);
      }
      return 0;
    }
    case WM_SIZE:
      RebuildBackground();
      ::InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_TIMER:
      if (wp == kAnimationTimer && wallpaperAnimation_) {
        if (StepAnimation(hwnd, *wallpaperAnimation_)) {
          RebuildBackground();
          ::InvalidateRect(hwnd, nullptr, FALSE);
          for (auto& c : controls_) {
            if (c->hwnd && !c->hidden && (c->Transparent() || c->Drawn())) {
              ::InvalidateRect(c->hwnd.get(), nullptr, FALSE);
            }
          }
        }
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
    case WM_DRAWITEM:
      DrawOwnerButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_SETCURSOR:
      if (SetOverrideCursor()) return TRUE;
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

void Window::RebuildBackground() {
  if (!client_) return;
  RECT r{};
  ::GetClientRect(ClientHandle(), &r);
  if (!backgroundDC_ || backgroundW_ != r.right || backgroundH_ != r.bottom) {
    WindowDC screen(ClientHandle());
    if (backgroundDC_ && backgroundOld_) ::SelectObject(backgroundDC_.get(), backgroundOld_);
    backgroundDC_.reset(::CreateCompatibleDC(screen.get()));
    backgroundBitmap_.reset(
        ::CreateCompatibleBitmap(screen.get(), std::max(1L, r.right), std::max(1L, r.bottom)));
    backgroundOld_ = ::SelectObject(backgroundDC_.get(), backgroundBitmap_.get());
    backgroundW_ = r.right;
    backgroundH_ = r.bottom;
  }
  ::FillRect(backgroundDC_.get(), &r, ::GetSysColorBrush(COLOR_BTNFACE));
  if (wallpaper_) wallpaper_->Draw(backgroundDC_.get(), r, wallpaperAnimation_->Frame());
}

void Window::PaintBackground(HDC dc, HWND child) const {
  RECT r{};
  ::GetClientRect(child, &r);
  ::MapWindowPoints(child, ClientHandle(), reinterpret_cast<POINT*>(&r), 2);
  if (backgroundDC_) {
    ::BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, backgroundDC_.get(), r.left, r.top,
             SRCCOPY);
  }
}

HDC Window::PaintBuffer(HDC target, int w, int h) const {
  if (!paintDC_ || paintW_ < w || paintH_ < h) {
    if (paintDC_ && paintOld_) ::SelectObject(paintDC_.get(), paintOld_);
    paintW_ = std::max({1, w, paintW_});
    paintH_ = std::max({1, h, paintH_});
    paintDC_.reset(::CreateCompatibleDC(target));
    paintBitmap_.reset(::CreateCompatibleBitmap(target, paintW_, paintH_));
    paintOld_ = ::SelectObject(paintDC_.get(), paintBitmap_.get());
  }
  return paintDC_.get();
}

// Paints into a memory bitmap first, so that a text over the animated
// wallpaper never shows half drawn. The bitmap is kept for the next paint:
// making one for every frame of an animation cost more than the frame.
template <typename Draw>
void Window::PaintBuffered(HDC target, int w, int h, Draw draw) const {
  HDC memory = PaintBuffer(target, w, h);
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
  if (StepAnimation(c.hwnd.get(), *c.animation)) ::InvalidateRect(c.hwnd.get(), nullptr, FALSE);
}

void Window::DrawOwnerButton(const DRAWITEMSTRUCT& item) {
  const Control* c = Find(static_cast<int>(item.CtlID));
  if (!c) return;
  const RECT r = item.rcItem;
  PaintBuffered(item.hDC, r.right - r.left, r.bottom - r.top, [&](HDC memory) {
    if (c->Transparent()) {
      PaintBackground(memory, item.hwndItem);
    } else {
      ::FillRect(memory, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    }
    RECT text = r;
    if (item.itemState & ODS_SELECTED) ::OffsetRect(&text, 1, 1);
    SelectInDC font(memory, c->font.get());
    ::SetBkMode(memory, TRANSPARENT);
    ::SetTextColor(memory, c->color != kDefaultColor ? c->color : ::GetSysColor(COLOR_BTNTEXT));
    ::DrawTextA(memory, c->text.c_str(), static_cast<int>(c->text.size()), &text,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
      RECT focus = r;
      ::InflateRect(&focus, -2, -2);
      ::DrawFocusRect(memory, &focus);
    }
  });
}

}  // namespace rt
