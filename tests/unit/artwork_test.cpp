// The launcher's committed artwork, read as the launcher reads it: from the
// program's resources through the runtime's picture loader.
#include <gtest/gtest.h>

#include <windows.h>

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include "handles.h"
#include "picture.h"

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

// One frame of a picture drawn alone into a fresh 32-bit bitmap.
class FrameImage {
 public:
  FrameImage(const rt::Picture& picture, int frame)
      : FrameImage(picture.Width(), picture.Height(), [&](HDC dc) {
          picture.Draw(dc, RECT{0, 0, picture.Width(), picture.Height()}, frame);
        }) {}
  // Whatever `draw` puts into a bitmap of that size, all black before.
  FrameImage(int width, int height, const std::function<void(HDC)>& draw)
      : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    pixels_ = static_cast<const std::uint32_t*>(bits);
    dc_.reset(::CreateCompatibleDC(nullptr));
    if (!pixels_ || !dc_) return;
    rt::SelectInDC select(dc_.get(), bitmap_.get());
    draw(dc_.get());
    ::GdiFlush();
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Valid() const { return pixels_ != nullptr && dc_; }
  std::uint32_t At(int x, int y) const { return pixels_[y * width_ + x] & 0xFFFFFF; }
  // The brightest colour channel within the rectangle, edges included.
  int Brightest(int left, int top, int right, int bottom) const {
    int brightest = 0;
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) {
        const std::uint32_t p = At(x, y);
        brightest = std::max({brightest, int(p & 0xFF), int(p >> 8 & 0xFF), int(p >> 16)});
      }
    }
    return brightest;
  }

 private:
  int width_, height_;
  rt::UniqueGdi bitmap_;
  rt::UniqueDC dc_;
  const std::uint32_t* pixels_ = nullptr;
};

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
    const FrameImage image(*wallpaper, frame);
    ASSERT_TRUE(image.Valid());
    for (const Area& a : areas) {
      EXPECT_LE(image.Brightest(a.left, a.top, a.right, a.bottom), kDarkEnough)
          << a.what << ", frame " << frame;
    }
  }

  // The last frame is a finished composition that the first does not show.
  const FrameImage first(*wallpaper, 0), last(*wallpaper, 39);
  ASSERT_TRUE(first.Valid() && last.Valid());
  int changed = 0;
  for (int y = 0; y < 569; ++y) {
    for (int x = 0; x < 450; ++x) changed += first.At(x, y) != last.At(x, y);
  }
  EXPECT_GT(changed, 2000);
  EXPECT_GT(last.Brightest(0, 0, 449, 568), 0xC0);
}

// The picture as GDI+ draws it itself, read anew from the resource.
class GdiPlusPicture {
 public:
  explicit GdiPlusPicture(const char* name) {
    HRSRC found = ::FindResourceA(nullptr, name, RT_RCDATA);
    if (!found) return;
    const void* bytes = ::LockResource(::LoadResource(nullptr, found));
    const DWORD size = ::SizeofResource(nullptr, found);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(::GlobalLock(memory), bytes, size);
    ::GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (::CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) return;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok) {
      image_ = bitmap;
    }
    stream->Release();
  }
  GdiPlusPicture(const GdiPlusPicture&) = delete;
  GdiPlusPicture& operator=(const GdiPlusPicture&) = delete;
  ~GdiPlusPicture() {
    if (image_) Gdiplus::DllExports::GdipDisposeImage(image_);
  }
  bool Valid() const { return image_ != nullptr; }

  void Draw(HDC dc, int width, int height, int frame) const {
    static const GUID kTime = {
        0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};
    Gdiplus::DllExports::GdipImageSelectActiveFrame(image_, &kTime, static_cast<UINT>(frame));
    Gdiplus::GpGraphics* graphics = nullptr;
    if (Gdiplus::DllExports::GdipCreateFromHDC(dc, &graphics) != Gdiplus::Ok) return;
    Gdiplus::DllExports::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
    Gdiplus::DllExports::GdipDrawImageRectI(graphics, image_, 0, 0, width, height);
    Gdiplus::DllExports::GdipDeleteGraphics(graphics);
  }

 private:
  Gdiplus::GpImage* image_ = nullptr;
};

// The runtime keeps frames converted for GDI (every frame of a small
// picture, the last one of a large one): whatever the order of the frames
// asked for, each shows exactly what GDI+ draws for it.
TEST(Artwork, FramesDrawnFromTheConvertedCopyAreThoseThatGdiPlusDraws) {
  struct Case {
    const char* name;
    std::vector<int> order;
  } cases[] = {
      {kLoader, {0, 1, 2, 3, 0, 1, 2, 3, 2}},
      {kWallpaper, {0, 1, 39, 39, 1, 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto picture = rt::Picture::Load(c.name);
    ASSERT_NE(picture, nullptr);
    const GdiPlusPicture reference(c.name);
    ASSERT_TRUE(reference.Valid());
    for (int frame : c.order) {
      const FrameImage drawn(*picture, frame);
      const FrameImage expected(picture->Width(), picture->Height(), [&](HDC dc) {
        reference.Draw(dc, picture->Width(), picture->Height(), frame);
      });
      ASSERT_TRUE(drawn.Valid() && expected.Valid());
      int differing = 0;
      for (int y = 0; y < drawn.Height(); ++y) {
        for (int x = 0; x < drawn.Width(); ++x) differing += drawn.At(x, y) != expected.At(x, y);
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
