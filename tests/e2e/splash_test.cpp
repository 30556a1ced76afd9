// The splash window of the real zorvant.exe as a user meets it: how it looks
// when it opens and how it ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <numeric>

#include "e2e_support.h"

namespace {

// The launcher with a main program that ends at once without a hand-shake:
// it waits, showing its window, until it is closed.
class Splash : public e2e::LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    folder_.AddMainProgram();
  }
};

constexpr const char* kBookkeepingOnly = "[__Dont_Touch_Me__]\r\nSectors=\r\n";

std::string WallpaperFile() {
  return driver::ExecutableFolder() + "\\ZTSplashAnimated.gif";
}

// The visibility of every descendant, to tell whether anything changed.
std::vector<std::pair<HWND, bool>> Visibility(HWND window) {
  std::vector<std::pair<HWND, bool>> seen;
  for (const driver::WindowInfo& child : driver::ChildWindows(window)) {
    seen.emplace_back(child.hwnd, child.visible);
  }
  return seen;
}

TEST_F(Splash, OpensBorderlessShowingOnlyItsWallpaper) {
  const auto wallpaper = driver::LoadPicture(WallpaperFile());
  ASSERT_TRUE(wallpaper && !wallpaper->frames.empty()) << WallpaperFile();

  HWND splash = StartLauncher();
  ASSERT_TRUE(splash) << "no splash window within " << e2e::kStartTimeoutMs << " ms";
  const driver::WindowInfo frame = driver::Describe(splash);

  // No title bar, a thin border, nothing to size it by.
  EXPECT_EQ(frame.text, "");
  EXPECT_EQ(frame.style & (WS_POPUP | WS_BORDER), DWORD(WS_POPUP | WS_BORDER));
  EXPECT_EQ(frame.style & WS_DLGFRAME, 0u) << "WS_CAPTION is WS_BORDER | WS_DLGFRAME";
  EXPECT_EQ(frame.style & (WS_THICKFRAME | WS_SYSMENU), 0u);
  const POINT offset = driver::ClientOffset(splash);
  EXPECT_EQ(offset.x, ::GetSystemMetrics(SM_CXBORDER));
  EXPECT_EQ(offset.y, ::GetSystemMetrics(SM_CYBORDER));

  // The client area is the wallpaper's size, and the whole window is on the
  // screen.
  const SIZE client = driver::ClientSize(splash);
  EXPECT_EQ(client.cx, wallpaper->frames[0].width);
  EXPECT_EQ(client.cy, wallpaper->frames[0].height);
  EXPECT_EQ(client.cx, 450);
  EXPECT_EQ(client.cy, 569);
  EXPECT_GE(frame.rect.left, 0);
  EXPECT_GE(frame.rect.top, 0);
  EXPECT_LE(frame.rect.right, ::GetSystemMetrics(SM_CXSCREEN));
  EXPECT_LE(frame.rect.bottom, ::GetSystemMetrics(SM_CYSCREEN));

  // No control can be seen, nor is one made before the wait shows it: the
  // only child is the client area that shows the wallpaper.
  std::vector<std::string> children;
  for (const driver::WindowInfo& c : driver::ChildWindows(splash)) {
    children.push_back(c.className + (c.visible ? "" : " (hidden)"));
  }
  EXPECT_EQ(children, std::vector<std::string>{"RtClient"});

  // Without a hand-shake it stays open: only a close ends it.
  EXPECT_TRUE(LauncherRunning());
}

// How far two colours lie apart: the largest difference of a channel.
int Distance(std::uint32_t a, std::uint32_t b) {
  return std::max({std::abs(driver::Red(a) - driver::Red(b)),
                   std::abs(driver::Green(a) - driver::Green(b)),
                   std::abs(driver::Blue(a) - driver::Blue(b))});
}

// The client area of a screenshot compared with a frame of the wallpaper at
// a grid of points: how many points differ noticeably.
struct Comparison {
  int points = 0;
  int differing = 0;
  double meanDistance = 0;
  bool Close() const { return differing * 20 <= points && meanDistance <= 10; }
};

// Points inside `skip` (client coordinates) are left out.
Comparison Compare(const driver::Image& shot, POINT offset, const driver::Image& frame,
                   const std::vector<RECT>& skip) {
  constexpr int kGrid = 16;
  Comparison result;
  long total = 0;
  for (int gy = 0; gy < kGrid; ++gy) {
    for (int gx = 0; gx < kGrid; ++gx) {
      const int x = (2 * gx + 1) * frame.width / (2 * kGrid);
      const int y = (2 * gy + 1) * frame.height / (2 * kGrid);
      if (x + offset.x >= shot.width || y + offset.y >= shot.height) continue;
      const POINT p{x, y};
      if (std::any_of(skip.begin(), skip.end(), [&](const RECT& r) { return PtInRect(&r, p); })) {
        continue;
      }
      const int d = Distance(shot.At(x + offset.x, y + offset.y), frame.At(x, y));
      ++result.points;
      total += d;
      if (d > 24) ++result.differing;
    }
  }
  result.meanDistance = result.points ? double(total) / result.points : 255;
  return result;
}

TEST_F(Splash, ScreenshotShowsTheWallpaperOnceItHasPlayed) {
  const auto wallpaper = driver::LoadPicture(WallpaperFile());
  ASSERT_TRUE(wallpaper && !wallpaper->frames.empty()) << WallpaperFile();

  HWND splash = StartLauncher();
  ASSERT_TRUE(splash);
  // One pass of the animation (a frame without a delay shows for a tenth of
  // a second), and some time to paint the last frame.
  const int pass = std::accumulate(wallpaper->delays.begin(), wallpaper->delays.end(), 0,
                                   [](int sum, int d) { return sum + (d > 0 ? d : 10); });
  ::Sleep(static_cast<DWORD>(std::max(2000, pass * 10 + 500)));

  const std::optional<driver::Image> shot = driver::CaptureWindow(splash);
  ASSERT_TRUE(shot);
  // The wait reveals the controls before the animation has played: their
  // areas are left out of the comparison.
  std::vector<RECT> controlAreas;
  POINT origin{0, 0};
  ::ClientToScreen(splash, &origin);
  for (const driver::WindowInfo& control : driver::ChildWindows(splash)) {
    if (control.id == 0) continue;  // the client area
    RECT r = control.rect;
    ::OffsetRect(&r, -origin.x, -origin.y);
    ::InflateRect(&r, 2, 2);
    controlAreas.push_back(r);
  }
  const RECT rect = driver::WindowRect(splash);
  EXPECT_EQ(shot->width, rect.right - rect.left);
  EXPECT_EQ(shot->height, rect.bottom - rect.top);
  const POINT offset = driver::ClientOffset(splash);

  // The client area is not blank and not black, whatever the artwork.
  const SIZE client = driver::ClientSize(splash);
  int darkest = 255 * 3, brightest = 0;
  for (int y = 0; y < client.cy && y + offset.y < shot->height; ++y) {
    for (int x = 0; x < client.cx && x + offset.x < shot->width; ++x) {
      const std::uint32_t p = shot->At(x + offset.x, y + offset.y);
      const int sum = driver::Red(p) + driver::Green(p) + driver::Blue(p);
      darkest = std::min(darkest, sum);
      brightest = std::max(brightest, sum);
    }
  }
  EXPECT_GT(brightest, 3 * 32) << "the window is black";
  EXPECT_GT(brightest - darkest, 3 * 16) << "the window shows one colour only";

  // The last frame, once an animation that ends has played; any frame of
  // one that plays without end.
  const std::size_t last = wallpaper->frames.size() - 1;
  std::size_t best = last;
  Comparison bestComparison = Compare(*shot, offset, wallpaper->frames[last], controlAreas);
  if (wallpaper->plays == 0) {
    for (std::size_t i = 0; i < last; ++i) {
      const Comparison c = Compare(*shot, offset, wallpaper->frames[i], controlAreas);
      if (c.meanDistance < bestComparison.meanDistance) {
        bestComparison = c;
        best = i;
      }
    }
  }
  const std::string savedShot = driver::ExecutableFolder() + "\\e2e-splash.png";
  EXPECT_TRUE(bestComparison.Close())
      << "frame " << best << " of " << wallpaper->frames.size() << ": " << bestComparison.differing
      << " of " << bestComparison.points << " points differ, mean distance "
      << bestComparison.meanDistance << "; the screenshot is " << savedShot;

  // The PNG that the scripts leave holds exactly these pixels.
  ASSERT_TRUE(driver::SavePng(*shot, savedShot));
  const auto reread = driver::LoadPicture(savedShot);
  ASSERT_TRUE(reread && reread->frames.size() == 1);
  EXPECT_EQ(reread->frames[0].width, shot->width);
  EXPECT_EQ(reread->frames[0].height, shot->height);
  EXPECT_TRUE(reread->frames[0].pixels == shot->pixels);
}

TEST_F(Splash, IgnoresTheEscapeKey) {
  HWND splash = StartLauncher();
  ASSERT_TRUE(splash);
  const driver::WindowInfo before = driver::Describe(splash);
  const auto childrenBefore = Visibility(splash);

  ASSERT_TRUE(driver::PressKey(splash, VK_ESCAPE));
  ::Sleep(500);

  ASSERT_TRUE(LauncherRunning()) << "Escape ended the launcher";
  EXPECT_EQ(driver::TopLevelWindows(LauncherId()), std::vector<HWND>{splash});
  const driver::WindowInfo after = driver::Describe(splash);
  EXPECT_EQ(after.style, before.style);
  EXPECT_TRUE(EqualRect(&after.rect, &before.rect));
  EXPECT_EQ(Visibility(splash), childrenBefore);

  // The key has been taken from the queue (the close posted after it comes
  // later), and the window still closes as before.
  ASSERT_TRUE(driver::RequestClose(splash));
  EXPECT_EQ(WaitForExit(), 0u);
}

// Each way of closing the splash window ends the launcher in order.
struct CloseWay {
  const char* name;
  std::function<bool(HWND)> close;
};

void PrintTo(const CloseWay& way, std::ostream* out) {
  *out << way.name;
}

class SplashClose : public Splash, public testing::WithParamInterface<CloseWay> {};

TEST_P(SplashClose, EndsWithExitCodeZeroLeavingOnlyTheBookkeeping) {
  HWND splash = StartLauncher();
  ASSERT_TRUE(splash);
  ASSERT_TRUE(GetParam().close(splash));
  const std::optional<DWORD> code = WaitForExit();
  ASSERT_TRUE(code) << "still running " << e2e::kExitTimeoutMs << " ms after the close";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(driver::FolderEntries(folder_.Path()),
            (std::vector<std::string>{"Tarm.exe", "zorvant.INI", "zorvant.exe"}));
  EXPECT_EQ(driver::ReadFile(folder_.File("zorvant.INI")), kBookkeepingOnly);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, SplashClose,
    testing::Values(
        // The close box of Windows, or Alt+F4.
        CloseWay{"CloseMessage", driver::RequestClose},
        // Windows ends the session: the runtime raises EVENT:CloseDown.
        CloseWay{"EndOfSession", [](HWND w) { return driver::QueryEndSession(w).has_value(); }}),
    [](const testing::TestParamInfo<CloseWay>& info) { return info.param.name; });

}  // namespace
