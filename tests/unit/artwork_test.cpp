// The launcher's committed artwork, read as the launcher reads it: from the
// program's resources through the runtime's picture loader.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "file_tools.h"
#include "handles.h"
#include "picture.h"
#include "screenshot.h"
#include "test_support.h"

namespace {

constexpr const char* kWallpaper = "ZTSplashAnimated.gif";
constexpr const char* kLoader = "red_loader.gif";

TEST(Artwork, AnimatedPicturesHaveTheirSizesFramesAndTimings) {
  struct Case {
    const char* name;
    int width, height, frames;
    int firstDelay, otherDelay;  // hundredths of a second
    int plays;                   // 0: without end
  } cases[] = {
      {kWallpaper, 450, 569, 40, 50, 3, 1},
      {kLoader, 43, 11, 4, 10, 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // From the resource, not from a stray file of that name.
    ASSERT_NE(::FindResourceA(nullptr, c.name, RT_RCDATA), nullptr);
    auto picture = rt::Picture::Load(c.name);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), c.width);
    EXPECT_EQ(picture->Height(), c.height);
    ASSERT_EQ(picture->FrameCount(), c.frames);
    for (int frame = 0; frame < c.frames; ++frame) {
      EXPECT_EQ(picture->FrameDelay(frame), frame == 0 ? c.firstDelay : c.otherDelay)
          << "frame " << frame;
    }
    EXPECT_EQ(picture->Plays(), c.plays);

    // Played out: the wallpaper stops on its last frame, the loader goes on.
    rt::Animation animation(picture.get());
    int steps = 0;
    while (steps < 3 * c.frames && animation.Advance()) ++steps;
    if (c.plays == 1) {
      EXPECT_EQ(steps, c.frames - 1);
      EXPECT_EQ(animation.Frame(), c.frames - 1);
      EXPECT_FALSE(animation.Running());
    } else {
      EXPECT_EQ(steps, 3 * c.frames);
      EXPECT_TRUE(animation.Running());
    }
  }
}

// One frame of a picture drawn at its own size into a fresh bitmap.
driver::Image FrameImage(rt::Picture& picture, int frame) {
  return testsupport::Drawn(picture.Width(), picture.Height(), [&](HDC dc) {
    picture.Draw(dc, RECT{0, 0, picture.Width(), picture.Height()}, frame);
  });
}

// The brightest colour channel within the rectangle, edges included.
int Brightest(const driver::Image& image, int left, int top, int right, int bottom) {
  int brightest = 0;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      const std::uint32_t p = image.At(x, y);
      brightest = std::max({brightest, driver::Red(p), driver::Green(p), driver::Blue(p)});
    }
  }
  return brightest;
}

TEST(Artwork, WallpaperStaysDarkWhereTheLauncherDrawsAndAnimates) {
  auto wallpaper = rt::Picture::Load(kWallpaper);
  ASSERT_NE(wallpaper, nullptr);
  ASSERT_EQ(wallpaper->FrameCount(), 40);
  // Where the launcher later draws over the wallpaper: its white texts, the
  // red prompt, the progress bar and loader, the white close button.
  struct Area {
    const char* what;
    int left, top, right, bottom;
  } areas[] = {
      {"notice and rights lines", 58, 497, 380, 533},
      {"loading prompt", 16, 375, 439, 391},
      {"progress bar and loader", 121, 398, 321, 414},
      {"close button", 421, 1, 448, 24},
  };
  constexpr int kDarkEnough = 0x40;
  // Each frame drawn alone, as after a jump to it, must look finished.
  for (int frame = 0; frame < wallpaper->FrameCount(); ++frame) {
    const driver::Image image = FrameImage(*wallpaper, frame);
    ASSERT_FALSE(image.pixels.empty());
    for (const Area& a : areas) {
      EXPECT_LE(Brightest(image, a.left, a.top, a.right, a.bottom), kDarkEnough)
          << a.what << ", frame " << frame;
    }
  }

  // The last frame is a finished composition that the first does not show.
  const driver::Image first = FrameImage(*wallpaper, 0), last = FrameImage(*wallpaper, 39);
  ASSERT_FALSE(first.pixels.empty() || last.pixels.empty());
  int changed = 0;
  for (int y = 0; y < 569; ++y) {
    for (int x = 0; x < 450; ++x) changed += first.At(x, y) != last.At(x, y);
  }
  EXPECT_GT(changed, 2000);
  EXPECT_GT(Brightest(last, 0, 0, 449, 568), 0xC0);
}

// The runtime reads GIFs itself: whatever the order of the frames asked
// for, each shows exactly what GDI+ composes for it from the same file (the
// build puts the artwork beside the tests).
TEST(Artwork, FramesAreThoseThatGdiPlusComposes) {
  struct Case {
    const char* name;
    std::vector<int> order;
  } cases[] = {
      {kLoader, {0, 1, 2, 3, 0, 1, 2, 3, 2}},
      {kWallpaper, {0, 1, 2, 39, 39, 1, 20, 21, 38}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto picture = rt::Picture::Load(c.name);
    ASSERT_NE(picture, nullptr);
    const auto reference = driver::LoadPicture(driver::ExecutableFolder() + "\\" + c.name);
    ASSERT_TRUE(reference);
    ASSERT_EQ(static_cast<int>(reference->frames.size()), picture->FrameCount());
    for (int frame : c.order) {
      const driver::Image drawn = FrameImage(*picture, frame);
      const driver::Image& expected = reference->frames[static_cast<std::size_t>(frame)];
      ASSERT_EQ(drawn.width, expected.width);
      ASSERT_EQ(drawn.height, expected.height);
      int differing = 0;
      for (std::size_t i = 0; i < drawn.pixels.size(); ++i) {
        differing += drawn.pixels[i] != expected.pixels[i];
      }
      EXPECT_EQ(differing, 0) << "frame " << frame;
    }
  }
}

TEST(Artwork, IconCarriesEachSizeAndLoads) {
  // The icon group lists one image per size.
  HRSRC group = ::FindResourceA(nullptr, "ZORVANT.ICO", RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  const auto* directory = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, group)));
  ASSERT_NE(directory, nullptr);
  // GRPICONDIR: reserved, type, count; then 14-byte entries, width first.
  const int count = directory[4] | directory[5] << 8;
  std::set<int> sizes;
  for (int i = 0; i < count; ++i) sizes.insert(directory[6 + 14 * i]);
  EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));

  for (int size : {16, 32, 48}) {
    SCOPED_TRACE(size);
    rt::UniqueIcon icon(static_cast<HICON>(
        ::LoadImageA(::GetModuleHandleA(nullptr), "ZORVANT.ICO", IMAGE_ICON, size, size, 0)));
    ASSERT_TRUE(icon);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
    rt::UniqueGdi colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap{};
    ASSERT_TRUE(::GetObjectA(colour.get(), sizeof(bitmap), &bitmap));
    EXPECT_EQ(bitmap.bmWidth, size);
    EXPECT_EQ(bitmap.bmHeight, size);
  }
}

}  // namespace
