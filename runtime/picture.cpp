#include "picture.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "handles.h"

namespace rt {
namespace {

namespace gp = Gdiplus::DllExports;

ULONG_PTR g_gdiplusToken = 0;

const GUID kFrameDimensionTime = {
    0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};

// The bytes of an RCDATA resource of that name, null when there is none.
std::span<const std::byte> ResourceBytes(std::string_view name) {
  const std::string resourceName(name);
  HMODULE module = ::GetModuleHandleA(nullptr);
  HRSRC found = ::FindResourceA(module, resourceName.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (!found) return {};
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return {};
  return {static_cast<const std::byte*>(data), ::SizeofResource(module, found)};
}

// A stream over a copy of the bytes; GDI+ reads frames from it on demand.
IStream* StreamOver(std::span<const std::byte> bytes) {
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!memory) return nullptr;
  void* target = ::GlobalLock(memory);
  if (!target) {
    ::GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(target, bytes.data(), bytes.size());
  ::GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (::CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
    ::GlobalFree(memory);
    return nullptr;
  }
  return stream;
}

std::vector<std::byte> PropertyBytes(Gdiplus::GpImage* image, PROPID id) {
  UINT size = 0;
  if (gp::GdipGetPropertyItemSize(image, id, &size) != Gdiplus::Ok || size == 0) return {};
  std::vector<std::byte> buffer(size);
  auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
  if (gp::GdipGetPropertyItem(image, id, size, item) != Gdiplus::Ok) return {};
  return buffer;
}

}  // namespace

PictureTiming PictureTimingOf(Gdiplus::GpImage* image) {
  PictureTiming timing;
  UINT frames = 0;
  if (gp::GdipImageGetFrameCount(image, &kFrameDimensionTime, &frames) != Gdiplus::Ok ||
      frames == 0) {
    frames = 1;
  }
  timing.delays.assign(frames, 0);
  const auto delays = PropertyBytes(image, 0x5100);  // PropertyTagFrameDelay
  if (!delays.empty()) {
    const auto* item = reinterpret_cast<const Gdiplus::PropertyItem*>(delays.data());
    const auto* values = static_cast<const LONG*>(item->value);
    const UINT count = item->length / sizeof(LONG);
    for (UINT i = 0; i < frames && i < count; ++i) timing.delays[i] = values[i];
  }
  const auto loops = PropertyBytes(image, 0x5101);  // PropertyTagLoopCount
  if (!loops.empty()) {
    const auto* item = reinterpret_cast<const Gdiplus::PropertyItem*>(loops.data());
    timing.plays = item->length >= 2 ? *static_cast<const USHORT*>(item->value) : 1;
  }
  return timing;
}

void PicturesStart() {
  if (g_gdiplusToken) return;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);
}

void PicturesStop() {
  if (!g_gdiplusToken) return;
  Gdiplus::GdiplusShutdown(g_gdiplusToken);
  g_gdiplusToken = 0;
}

std::unique_ptr<Picture> Picture::Load(std::string_view name) {
  if (!g_gdiplusToken || name.empty()) return nullptr;
  Gdiplus::GpImage* image = nullptr;
  if (auto bytes = ResourceBytes(name); !bytes.empty()) {
    IStream* stream = StreamOver(bytes);
    if (!stream) return nullptr;
    Gdiplus::GpBitmap* bitmap = nullptr;
    const auto status = gp::GdipCreateBitmapFromStream(stream, &bitmap);
    stream->Release();  // GDI+ keeps its own reference
    if (status != Gdiplus::Ok) return nullptr;
    image = bitmap;
  } else {
    const std::wstring file(name.begin(), name.end());
    if (gp::GdipLoadImageFromFile(file.c_str(), &image) != Gdiplus::Ok) return nullptr;
  }

  auto picture = std::make_unique<Picture>(Key{});
  picture->image_ = image;
  UINT w = 0, h = 0;
  gp::GdipGetImageWidth(image, &w);
  gp::GdipGetImageHeight(image, &h);
  picture->width_ = static_cast<int>(w);
  picture->height_ = static_cast<int>(h);

  PictureTiming timing = PictureTimingOf(image);
  picture->delays_ = std::move(timing.delays);
  picture->plays_ = timing.plays;
  return picture;
}

Picture::~Picture() {
  if (image_) gp::GdipDisposeImage(static_cast<Gdiplus::GpImage*>(image_));
}

const Picture::Converted* Picture::Convert(int frame) const {
  // A small picture keeps all its frames (the loader: 2 KB); a large one,
  // whose frames each show once (the wallpaper), only the one it shows.
  constexpr long long kKeepAllPixels = 256 * 1024;
  const bool keepAll = static_cast<long long>(width_) * height_ * FrameCount() <= kKeepAllPixels;
  if (converted_.empty()) converted_.resize(keepAll ? delays_.size() : 1);
  Converted& slot = converted_[keepAll ? static_cast<std::size_t>(frame) : 0];
  if (slot.bitmap && (keepAll || convertedFrame_ == frame)) return &slot;

  auto* image = static_cast<Gdiplus::GpImage*>(image_);
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  if (gp::GdipGetImageType(image, &type) != Gdiplus::Ok || type != Gdiplus::ImageTypeBitmap) {
    return nullptr;
  }
  if (frame != selected_ && FrameCount() > 1) {
    gp::GdipImageSelectActiveFrame(image, &kFrameDimensionTime, static_cast<UINT>(frame));
    selected_ = frame;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;  // top row first, as GDI+ writes it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueGdi bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return nullptr;
  // GDI+ copies the frame straight into the section; it is premultiplied
  // here, which costs nothing for the opaque frames of a wallpaper (GDI+'s
  // own premultiplying conversion took half the time of a frame).
  Gdiplus::BitmapData data{};
  data.Width = static_cast<UINT>(width_);
  data.Height = static_cast<UINT>(height_);
  data.Stride = width_ * 4;
  data.PixelFormat = PixelFormat32bppARGB;
  data.Scan0 = bits;
  const Gdiplus::GpRect all(0, 0, width_, height_);
  auto* source = static_cast<Gdiplus::GpBitmap*>(image);
  if (gp::GdipBitmapLockBits(source, &all,
                             Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                             PixelFormat32bppARGB, &data) != Gdiplus::Ok) {
    return nullptr;
  }
  gp::GdipBitmapUnlockBits(source, &data);
  auto* pixels = static_cast<std::uint32_t*>(bits);
  const std::size_t count = static_cast<std::size_t>(width_) * height_;
  slot.opaque = true;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t p = pixels[i], alpha = p >> 24;
    if (alpha == 0xFF) continue;
    slot.opaque = false;
    const auto scale = [alpha](std::uint32_t channel) { return (channel * alpha + 127) / 255; };
    pixels[i] =
        alpha << 24 | scale(p >> 16 & 0xFF) << 16 | scale(p >> 8 & 0xFF) << 8 | scale(p & 0xFF);
  }
  slot.bitmap = std::move(bitmap);
  convertedFrame_ = frame;
  return &slot;
}

void Picture::Draw(HDC dc, const RECT& target, int frame) const {
  const int w = target.right - target.left, h = target.bottom - target.top;
  // GDI+ converts the picture anew at every draw onto a DC (3 ms a frame of
  // the wallpaper under Wine): at its own size a frame is converted once
  // and then copied or blended by GDI.
  if (w == width_ && h == height_) {
    if (const Converted* converted = Convert(frame)) {
      UniqueDC memory(::CreateCompatibleDC(dc));
      SelectInDC select(memory.get(), converted->bitmap.get());
      if (converted->opaque) {
        ::BitBlt(dc, target.left, target.top, w, h, memory.get(), 0, 0, SRCCOPY);
      } else {
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::GdiAlphaBlend(dc, target.left, target.top, w, h, memory.get(), 0, 0, w, h, blend);
      }
      return;
    }
  }
  auto* image = static_cast<Gdiplus::GpImage*>(image_);
  if (frame != selected_ && FrameCount() > 1) {
    gp::GdipImageSelectActiveFrame(image, &kFrameDimensionTime, static_cast<UINT>(frame));
    selected_ = frame;
  }
  Gdiplus::GpGraphics* graphics = nullptr;
  if (gp::GdipCreateFromHDC(dc, &graphics) != Gdiplus::Ok) return;
  if (w != width_ || h != height_) {
    gp::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
  }
  gp::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
  gp::GdipDrawImageRectI(graphics, image, target.left, target.top, w, h);
  gp::GdipDeleteGraphics(graphics);
}

bool Animation::Running() const {
  return picture_ && Delay() > 0;
}

int Animation::Delay() const {
  if (!picture_ || picture_->FrameCount() < 2) return 0;
  const bool lastFrame = frame_ == picture_->FrameCount() - 1;
  if (lastFrame && picture_->Plays() != 0 && playsDone_ + 1 >= picture_->Plays()) return 0;
  const int delay = picture_->FrameDelay(frame_);
  return delay > 0 ? delay : 10;  // a frame without a delay shows for a tenth
}

bool Animation::Advance() {
  if (Delay() == 0) return false;
  if (++frame_ == picture_->FrameCount()) {
    frame_ = 0;
    ++playsDone_;
  }
  return true;
}

}  // namespace rt
