// The splash window at the size its window font gives it, which differs from
// one machine to the next: the window is as wide as its dialog units make
// it, its wallpaper fills it, and every picture that a user sees of it, the
// frames of the opening animation included, is a whole frame of the
// wallpaper; the loader picture plays over it once it shows. The same tests
// run in the project's prefix, where the window is the wallpaper's own size,
// and in a stock Wine prefix (stock_prefix_test), where it comes out wider.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "borderless_dialog.h"
#include "e2e_support.h"
#include "picture.h"
#include "screenshot.h"

namespace {

// Every frame of the wallpaper as the launcher draws it into a window of
// that size: the runtime's picture, whose scaling its own tests check, read
// from the file the build puts beside the tests.
std::vector<driver::Image> FramesAt(SIZE size) {
  auto wallpaper = rt::Picture::Load(driver::ExecutableFolder() + "\\ZTSplashAnimated.gif");
  std::vector<driver::Image> frames;
  if (!wallpaper) return frames;
  const rt::PixelBitmap bitmap(size.cx, size.cy);
  if (!bitmap) return frames;
  for (int frame = 0; frame < wallpaper->FrameCount(); ++frame) {
    wallpaper->Draw(bitmap.DC(), RECT{0, 0, size.cx, size.cy}, frame);
    ::GdiFlush();
    driver::Image image{size.cx, size.cy, {}};
    for (int y = 0; y < size.cy; ++y) {
      for (int x = 0; x < size.cx; ++x) image.pixels.push_back(bitmap.Row(y)[x] & 0xFFFFFF);
    }
    frames.push_back(std::move(image));
  }
  return frames;
}

// The client area of a screenshot of the window.
driver::Image ClientArea(const driver::Image& shot, HWND window) {
  const POINT offset = driver::ClientOffset(window);
  const SIZE size = driver::ClientSize(window);
  driver::Image client{size.cx, size.cy, {}};
  for (int y = 0; y < size.cy; ++y) {
    for (int x = 0; x < size.cx; ++x) client.pixels.push_back(shot.At(x + offset.x, y + offset.y));
  }
  return client;
}

// The frame that the picture shows, when it shows one whole (the last of
// frames that look the same); nothing for a picture that mixes frames, lacks
// a part or is not the wallpaper at all.
std::optional<int> FrameShown(const driver::Image& client, const std::vector<driver::Image>& frames,
                              const std::vector<RECT>& skip = {}) {
  for (std::size_t f = frames.size(); f-- > 0;) {
    const driver::Image& frame = frames[f];
    if (frame.width != client.width || frame.height != client.height) return {};
    bool same = true;
    for (int y = 0; y < client.height && same; ++y) {
      for (int x = 0; x < client.width && same; ++x) {
        const POINT p{x, y};
        if (std::any_of(skip.begin(), skip.end(), [&](const RECT& r) { return PtInRect(&r, p); })) {
          continue;
        }
        same = client.At(x, y) == frame.At(x, y);
      }
    }
    if (same) return static_cast<int>(f);
  }
  return {};
}

// Whether any control of the window can be seen (the wait reveals them).
bool AControlShows(HWND window) {
  const auto children = driver::ChildWindows(window);
  return std::any_of(children.begin(), children.end(),
                     [](const driver::WindowInfo& c) { return c.visible && c.id != 0; });
}

class SplashAtAnySize : public e2e::LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    folder_.AddMainProgram();  // ends at once: the launcher waits until closed
  }
};

TEST_F(SplashAtAnySize, IsAsWideAsItsFontMakesItAndTheWallpaperFillsIt) {
  // The splash window's size: 300 x 350 dialog units of its window font, as
  // the system converts them for a dialog.
  const rt::UniqueWindow measure = dialog::CreateBorderless(300, 350, L"Microsoft Sans Serif", 8);
  ASSERT_TRUE(measure);
  const SIZE expected = driver::ClientSize(measure.get());

  HWND splash = StartLauncher();
  ASSERT_TRUE(splash);
  const SIZE client = driver::ClientSize(splash);
  EXPECT_EQ(client.cx, expected.cx);
  EXPECT_EQ(client.cy, expected.cy);
  const std::vector<driver::Image> frames = FramesAt(client);
  ASSERT_EQ(frames.size(), 40u);

  // Once the animation has played, the last frame fills the client area
  // around the controls that the wait has revealed by then.
  ::Sleep(2500);
  ASSERT_TRUE(LauncherRunning());
  std::vector<RECT> controls;
  POINT origin{0, 0};
  ::ClientToScreen(splash, &origin);
  for (const driver::WindowInfo& c : driver::ChildWindows(splash)) {
    if (c.id == 0 || !c.visible) continue;
    RECT r = c.rect;
    ::OffsetRect(&r, -origin.x, -origin.y);
    controls.push_back(r);
  }
  EXPECT_FALSE(controls.empty()) << "the wait reveals its controls after 150 ticks";
  const std::optional<driver::Image> shot = driver::CaptureWindow(splash);
  ASSERT_TRUE(shot);
  const driver::Image shown = ClientArea(*shot, splash);
  const std::string file = driver::ExecutableFolder() + "\\e2e-splash-" +
                           std::to_string(client.cx) + "x" + std::to_string(client.cy) + ".png";
  driver::SavePng(*shot, file);
  EXPECT_EQ(FrameShown(shown, frames, controls), std::optional<int>(39))
      << "the screenshot is " << file;
  // Nothing is black in the wallpaper, nor in the controls over it: a black
  // pixel is one that nothing painted.
  EXPECT_EQ(std::count(shown.pixels.begin(), shown.pixels.end(), 0u), 0) << file;
}

TEST_F(SplashAtAnySize, TheOpeningAnimationShowsOnlyWholeFrames) {
  HWND splash = StartLauncher();
  ASSERT_TRUE(splash);
  const std::vector<driver::Image> frames = FramesAt(driver::ClientSize(splash));
  ASSERT_EQ(frames.size(), 40u);

  // Until the wait reveals the controls, the client area shows the
  // wallpaper alone: each screenshot must be one of its frames, whole, and
  // the frames must follow each other in order.
  std::vector<int> seen;
  int torn = 0;
  for (int shot = 0; shot < 200 && !AControlShows(splash); ++shot) {
    const std::optional<driver::Image> picture = driver::CaptureWindow(splash);
    ASSERT_TRUE(picture);
    if (AControlShows(splash)) break;
    const std::optional<int> frame = FrameShown(ClientArea(*picture, splash), frames);
    if (!frame) {
      const std::string file =
          driver::ExecutableFolder() + "\\e2e-splash-torn-" + std::to_string(++torn) + ".png";
      driver::SavePng(*picture, file);
      ADD_FAILURE() << "screenshot " << shot << " is no whole frame of the wallpaper: " << file;
      continue;
    }
    if (seen.empty() || seen.back() != *frame) seen.push_back(*frame);
  }
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "frames shown out of order";
  EXPECT_GE(seen.size(), 4u) << "the animation did not play";
}

// The loader picture has four frames of a tenth of a second each, painted as
// they fall due into the control once the wait has shown it: pictures of it
// over half a second show at least three of them, each of them whole.
TEST_F(SplashAtAnySize, TheLoaderPlaysItsFramesOnceShown) {
  HWND splash = StartLauncher();
  ASSERT_TRUE(splash);
  HWND loader = nullptr;
  ASSERT_TRUE(driver::WaitUntil(
      [&] {
        loader = driver::FindChild(splash, 6);
        return loader && ::IsWindowVisible(loader);
      },
      5000));
  ::Sleep(200);  // its first paint
  RECT area{};
  ::GetWindowRect(loader, &area);
  std::vector<std::vector<std::uint32_t>> seen;
  for (int shot = 0; shot < 25; ++shot) {
    const std::optional<driver::Image> picture = driver::CaptureScreen(area);
    ASSERT_TRUE(picture);
    // Nothing black: a black pixel is one that nothing painted.
    EXPECT_EQ(std::count(picture->pixels.begin(), picture->pixels.end(), 0u), 0);
    if (std::find(seen.begin(), seen.end(), picture->pixels) == seen.end()) {
      seen.push_back(picture->pixels);
    }
    ::Sleep(20);
  }
  EXPECT_GE(seen.size(), 3u) << "the loader does not play";
  EXPECT_LE(seen.size(), 4u) << "the loader shows more than its four frames";
}

}  // namespace
