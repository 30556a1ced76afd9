// Keeping a window, or a rectangle, inside the visible desktop; the desktop
// comes from a seam where a test needs a task bar that the display lacks.
#include <gtest/gtest.h>

#include "alerts_support.h"
#include "test_support.h"

namespace {

using testsupport::SeamScope;

// The desktop that a test lays out: the virtual screen and the work area.
RECT g_screen{0, 0, 1280, 1024};
RECT g_work{0, 0, 1280, 984};
bool g_workAreaFails = false;

int WINAPI ScreenMetrics(int index) {
  switch (index) {
    case SM_XVIRTUALSCREEN:
      return g_screen.left;
    case SM_YVIRTUALSCREEN:
      return g_screen.top;
    case SM_CXVIRTUALSCREEN:
      return g_screen.right - g_screen.left;
    case SM_CYVIRTUALSCREEN:
      return g_screen.bottom - g_screen.top;
  }
  return ::GetSystemMetrics(index);
}

BOOL WINAPI WorkArea(UINT action, UINT param, void* value, UINT winIni) {
  if (action != SPI_GETWORKAREA) return ::SystemParametersInfoA(action, param, value, winIni);
  if (g_workAreaFails) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *static_cast<RECT*>(value) = g_work;
  return TRUE;
}

// A titled window of its own that can be resized, besides the fixed one of
// the test layouts.
const rt::WindowLayout kResizable{
    .name = "SIZING", .width = 100, .height = 50, .title = "Sizing test window", .resizable = true};

class WindowPlacement : public testing::Test {
 protected:
  void SetUp() override {
    g_screen = {0, 0, 1280, 1024};
    g_work = {0, 0, 1280, 984};  // a task bar 40 pixels high at the bottom
    g_workAreaFails = false;
  }
  void TearDown() override {
    if (window_) window_->Close();
  }

  void Open(bool resizable) {
    if (resizable) {
      window_ = std::make_unique<rt::Window>(kResizable, std::vector<rt::Binding>{});
    } else {
      window_ = rt::WindowLoad("test$windows", "QUIET");
    }
    ASSERT_TRUE(window_);
    window_->Open(nullptr);
  }
  void Place(const RECT& r) const {
    ::SetWindowPos(window_->Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT Where() const {
    RECT r{};
    ::GetWindowRect(window_->Handle(), &r);
    return r;
  }

  SeamScope<int(WINAPI*)(int)> screen_{rvseam::getSystemMetrics, ScreenMetrics};
  SeamScope<BOOL(WINAPI*)(UINT, UINT, void*, UINT)> work_{rvseam::systemParametersInfo, WorkArea};
  std::unique_ptr<rt::Window> window_;
};

struct Box {
  std::int32_t x, y, w, h;
  bool operator==(const Box&) const = default;
};
void PrintTo(const Box& b, std::ostream* os) {
  *os << "(" << b.x << ", " << b.y << ", " << b.w << ", " << b.h << ")";
}

TEST_F(WindowPlacement, AGivenRectangleIsFittedIntoTheDesktop) {
  const struct {
    const char* what;
    RECT work;
    Box given;
    std::uint8_t mode;
    bool resizable;
    Box placed;
  } cases[] = {
      {"inside", {0, 0, 1280, 984}, {100, 100, 200, 100}, 1, true, {100, 100, 200, 100}},
      {"off the left edge", {0, 0, 1280, 984}, {-100, 50, 300, 200}, 0, false, {0, 50, 300, 200}},
      {"off the top", {0, 0, 1280, 984}, {10, -30, 300, 200}, 0, false, {10, 0, 300, 200}},
      {"beyond the right edge",
       {0, 0, 1280, 984},
       {1100, 0, 300, 100},
       0,
       false,
       {980, 0, 300, 100}},
      // Wider than the desktop: on its left edge, and as wide as the desktop
      // when the window may be resized; a fixed one keeps its width.
      {"wider, fixed", {0, 0, 1280, 984}, {100, 0, 1500, 100}, 0, false, {0, 0, 1500, 100}},
      {"wider, resizable", {0, 0, 1280, 984}, {100, 0, 1500, 100}, 0, true, {0, 0, 1280, 100}},
      {"taller, resizable", {0, 0, 1280, 984}, {0, 10, 100, 1100}, 0, true, {0, 0, 100, 1024}},
      // Mode 1 keeps the task bar clear; mode 0 does not.
      {"over the bottom bar",
       {0, 0, 1280, 984},
       {100, 900, 200, 100},
       1,
       false,
       {100, 884, 200, 100}},
      {"mode 0 over the bar",
       {0, 0, 1280, 984},
       {100, 900, 200, 100},
       0,
       false,
       {100, 900, 200, 100}},
      {"a bar along the top",
       {0, 40, 1280, 1024},
       {100, 10, 200, 100},
       1,
       false,
       {100, 40, 200, 100}},
      {"a bar on the left",
       {60, 0, 1280, 1024},
       {10, 100, 200, 100},
       1,
       false,
       {60, 100, 200, 100}},
      {"a bar on the right",
       {0, 0, 1220, 1024},
       {1150, 100, 100, 100},
       1,
       false,
       {1120, 100, 100, 100}},
      {"resizable, taller than above the bar",
       {0, 0, 1280, 984},
       {0, 0, 100, 1000},
       1,
       true,
       {0, 0, 100, 984}},
      // A strip at least half as high as the work area is no task bar.
      {"half as high", {0, 0, 1280, 500}, {100, 900, 200, 100}, 1, false, {100, 900, 200, 100}},
      {"just under half", {0, 0, 1280, 684}, {100, 900, 200, 100}, 1, false, {100, 584, 200, 100}},
      // The rectangle must lie across the bar's edge for it to count.
      {"not across a side bar",
       {0, 0, 1220, 500},
       {1150, 600, 100, 100},
       1,
       false,
       {1150, 600, 100, 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Open(c.resizable);
    g_work = c.work;
    Box box = c.given;
    EXPECT_EQ(ds_VisibleOnDesktop(&box.x, &box.y, &box.w, &box.h, c.mode), 0);
    EXPECT_EQ(box, c.placed);
    EXPECT_EQ(RovalentErrorCode(), 0);
    EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_VisibleOnDesktop");
    window_->Close();
  }
}

// A second monitor above or left of the primary puts the virtual screen's
// origin below zero; the task bar is the primary's, whose work area starts
// at 0,0.
TEST_F(WindowPlacement, AScreenWhoseOriginIsNotZero) {
  const RECT above{0, -1024, 1280, 1024};
  const RECT left{-1280, 0, 1280, 1024};
  const struct {
    const char* what;
    RECT screen;
    RECT work;
    Box given;
    Box placed;
  } cases[] = {
      {"above: over the bottom bar",
       above,
       {0, 0, 1280, 984},
       {100, 900, 200, 100},
       {100, 884, 200, 100}},
      {"above: on the upper monitor",
       above,
       {0, 0, 1280, 984},
       {100, -900, 200, 100},
       {100, -900, 200, 100}},
      {"above: beyond its top",
       above,
       {0, 0, 1280, 984},
       {100, -1100, 200, 100},
       {100, -1024, 200, 100}},
      {"above: a bar along the primary's top",
       above,
       {0, 40, 1280, 1024},
       {100, 10, 200, 100},
       {100, 10, 200, 100}},
      {"left: over the bottom bar",
       left,
       {0, 0, 1280, 984},
       {-500, 900, 200, 100},
       {-500, 900, 200, 100}},
      {"left: a bar on the primary's right",
       left,
       {0, 0, 1220, 1024},
       {1150, 100, 100, 100},
       {1120, 100, 100, 100}},
      {"left: beyond its left edge",
       left,
       {0, 0, 1280, 984},
       {-1400, 100, 200, 100},
       {-1280, 100, 200, 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Open(false);
    g_screen = c.screen;
    g_work = c.work;
    Box box = c.given;
    EXPECT_EQ(ds_VisibleOnDesktop(&box.x, &box.y, &box.w, &box.h, 1), 0);
    EXPECT_EQ(box, c.placed);
    window_->Close();
  }
}

TEST_F(WindowPlacement, WithoutAVirtualScreenTheWorkAreaIsTheDesktop) {
  Open(false);
  g_screen = {0, 0, 0, 0};
  Box box{100, 950, 200, 100};
  EXPECT_EQ(ds_VisibleOnDesktop(&box.x, &box.y, &box.w, &box.h, 0), 0);
  EXPECT_EQ(box, (Box{100, 884, 200, 100}));
}

TEST_F(WindowPlacement, AFailedWorkAreaLeavesEverythingAsItWas) {
  Open(false);
  const RECT before{-50, 900, 250, 1000};
  Place(before);
  g_workAreaFails = true;
  EXPECT_EQ(ds_VisibleOnDesktop(nullptr, nullptr, nullptr, nullptr, 1), 1);
  EXPECT_EQ(RovalentErrorCode(), rverr::kVisibleOnDesktop);
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(rt::Clip(RovalentErrorText()), LastErrorText());
  const RECT now = Where();
  EXPECT_TRUE(::EqualRect(&before, &now));
  EXPECT_FALSE(window_->Pixels());
  // Mode 0 with a virtual screen does not need the work area.
  EXPECT_EQ(ds_VisibleOnDesktop(nullptr, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(Where().left, 0);
}

TEST_F(WindowPlacement, TheCurrentWindowIsMovedInsideTheDesktop) {
  // A desktop smaller than the display, so that a window can be wider than
  // it: the system keeps a window within about the display's size.
  const RECT screen{0, 0, 1000, 800};
  const RECT bottomBar{0, 0, 1000, 760};
  const struct {
    const char* what;
    bool resizable;
    RECT work;
    RECT before;
    std::uint8_t mode;
    RECT after;
  } cases[] = {
      {"inside", false, bottomBar, {100, 100, 400, 300}, 1, {100, 100, 400, 300}},
      {"off the left edge", false, bottomBar, {-100, 100, 200, 300}, 0, {0, 100, 300, 300}},
      {"wider, fixed", false, bottomBar, {100, 100, 1200, 300}, 0, {0, 100, 1100, 300}},
      {"wider, resizable", true, bottomBar, {100, 100, 1200, 300}, 0, {0, 100, 1000, 300}},
      {"over the task bar", false, bottomBar, {100, 700, 400, 800}, 1, {100, 660, 400, 760}},
      {"mode 0 over the task bar", false, bottomBar, {100, 700, 400, 800}, 0, {100, 700, 400, 800}},
      {"a strip half as high",
       false,
       {0, 0, 1000, 400},
       {100, 700, 400, 800},
       1,
       {100, 700, 400, 800}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Open(c.resizable);
    g_screen = screen;
    g_work = c.work;
    Place(c.before);
    const RECT placed = Where();
    ASSERT_TRUE(::EqualRect(&c.before, &placed));
    EXPECT_EQ(ds_VisibleOnDesktop(nullptr, nullptr, nullptr, nullptr, c.mode), 0);
    const RECT now = Where();
    EXPECT_TRUE(::EqualRect(&c.after, &now))
        << now.left << "," << now.top << "," << now.right << "," << now.bottom;
    // The window keeps its coordinate unit.
    EXPECT_FALSE(window_->Pixels());
    window_->Close();
  }
}

TEST_F(WindowPlacement, TheRealDesktopHoldsAWindowThatWasOffItsEdge) {
  // The display itself, without seams.
  SeamScope<int(WINAPI*)(int)> screen(rvseam::getSystemMetrics, ::GetSystemMetrics);
  SeamScope<BOOL(WINAPI*)(UINT, UINT, void*, UINT)> work(rvseam::systemParametersInfo,
                                                         ::SystemParametersInfoA);
  Open(false);
  window_->SetPixels(true);
  const int width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
  Place({width - 100, -20, width + 200, 280});
  EXPECT_EQ(ds_VisibleOnDesktop(nullptr, nullptr, nullptr, nullptr, 1), 0);
  const RECT now = Where();
  EXPECT_EQ(now.right, ::GetSystemMetrics(SM_XVIRTUALSCREEN) + width);
  EXPECT_EQ(now.right - now.left, 300);
  EXPECT_GE(now.top, ::GetSystemMetrics(SM_YVIRTUALSCREEN));
  EXPECT_TRUE(window_->Pixels());
}

TEST_F(WindowPlacement, WithoutACurrentWindowThereIsNothingToPlace) {
  ASSERT_EQ(rt::CurrentWindow(), nullptr);
  EXPECT_EQ(ds_VisibleOnDesktop(nullptr, nullptr, nullptr, nullptr, 1), 1);
  EXPECT_EQ(RovalentErrorCode(), rverr::kVisibleOnDesktop);
  ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(rt::Clip(RovalentErrorText()), LastErrorText());
  // A rectangle needs no window; without one it counts as fixed in size.
  Box box{-10, -10, 2000, 50};
  EXPECT_EQ(ds_VisibleOnDesktop(&box.x, &box.y, &box.w, &box.h, 0), 0);
  EXPECT_EQ(box, (Box{0, 0, 2000, 50}));
  EXPECT_EQ(ds_VisibleOnAppframe(), 1);
}

}  // namespace
