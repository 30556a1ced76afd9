#include "screenshot.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstddef>
#include <cstring>

#include "handles.h"

namespace driver {
namespace {

namespace gp = Gdiplus::DllExports;

const GUID kFrameDimensionTime = {
    0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};

class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  ~GdiplusSession() {
    if (token_) Gdiplus::GdiplusShutdown(token_);
  }
  explicit operator bool() const { return token_ != 0; }

 private:
  ULONG_PTR token_ = 0;
};

struct GpImageTraits {
  using Type = Gdiplus::GpImage*;
  static Type Invalid() { return nullptr; }
  static void Close(Type image) { gp::GdipDisposeImage(image); }
};
using UniqueGpImage = rt::UniqueOwner<GpImageTraits>;

std::wstring Wide(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(wide.size() - 1);
  return wide;
}

std::optional<CLSID> PngEncoder() {
  UINT count = 0, bytes = 0;
  if (gp::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return {};
  std::vector<std::byte> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (gp::GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return {};
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      return codecs[i].Clsid;
    }
  }
  return {};
}

std::vector<std::byte> PropertyBytes(Gdiplus::GpImage* image, PROPID id) {
  UINT size = 0;
  if (gp::GdipGetPropertyItemSize(image, id, &size) != Gdiplus::Ok || size == 0) return {};
  std::vector<std::byte> buffer(size);
  auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
  if (gp::GdipGetPropertyItem(image, id, size, item) != Gdiplus::Ok) return {};
  return buffer;
}

// A delay for each frame, in hundredths of a second (0 where the file gives
// none), and how often the animation plays (0: without end), as GDI+ reads
// them: an independent reading of what the runtime reads itself.
void ReadTiming(Gdiplus::GpImage* image, PictureFile& picture) {
  UINT frames = 0;
  if (gp::GdipImageGetFrameCount(image, &kFrameDimensionTime, &frames) != Gdiplus::Ok ||
      frames == 0) {
    frames = 1;
  }
  picture.delays.assign(frames, 0);
  const auto delays = PropertyBytes(image, 0x5100);  // PropertyTagFrameDelay
  if (!delays.empty()) {
    const auto* item = reinterpret_cast<const Gdiplus::PropertyItem*>(delays.data());
    const auto* values = static_cast<const LONG*>(item->value);
    const UINT count = item->length / sizeof(LONG);
    for (UINT i = 0; i < frames && i < count; ++i) picture.delays[i] = values[i];
  }
  const auto loops = PropertyBytes(image, 0x5101);  // PropertyTagLoopCount
  if (!loops.empty()) {
    const auto* item = reinterpret_cast<const Gdiplus::PropertyItem*>(loops.data());
    picture.plays = item->length >= 2 ? *static_cast<const USHORT*>(item->value) : 1;
  }
}

std::optional<Image> ActiveFrame(Gdiplus::GpImage* image, int width, int height) {
  Image frame;
  frame.width = width;
  frame.height = height;
  frame.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  Gdiplus::Rect all(0, 0, width, height);
  Gdiplus::BitmapData data{};
  auto* bitmap = static_cast<Gdiplus::GpBitmap*>(image);
  if (gp::GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                             &data) != Gdiplus::Ok) {
    return {};
  }
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const std::uint32_t*>(data.Scan0) +
                      static_cast<std::ptrdiff_t>(y) * (data.Stride / 4);
    for (int x = 0; x < width; ++x) {
      frame.pixels[static_cast<std::size_t>(y * width + x)] = row[x] & 0xFFFFFF;
    }
  }
  gp::GdipBitmapUnlockBits(bitmap, &data);
  return frame;
}

}  // namespace

std::optional<Image> CaptureScreen(const RECT& area) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return {};
  rt::WindowDC screen(nullptr);
  if (!screen.get()) return {};
  rt::UniqueDC memory(::CreateCompatibleDC(screen.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  rt::UniqueGdi bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap || !bits) return {};
  {
    rt::SelectInDC select(memory.get(), bitmap.get());
    if (!::BitBlt(memory.get(), 0, 0, w, h, screen.get(), area.left, area.top,
                  SRCCOPY | CAPTUREBLT)) {
      return {};
    }
  }
  ::GdiFlush();
  Image image;
  image.width = w;
  image.height = h;
  image.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  const auto* source = static_cast<const std::uint32_t*>(bits);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = source[i] & 0xFFFFFF;
  return image;
}

std::optional<Image> CaptureWindow(HWND window) {
  RECT r{};
  if (!::GetWindowRect(window, &r)) return {};
  return CaptureScreen(r);
}

bool SavePng(const Image& image, const std::string& path) {
  GdiplusSession session;
  if (!session || image.width <= 0 || image.height <= 0) return false;
  const std::optional<CLSID> png = PngEncoder();
  if (!png) return false;
  std::vector<std::uint32_t> copy = image.pixels;  // GDI+ wants writable scan lines
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (gp::GdipCreateBitmapFromScan0(image.width, image.height, image.width * 4, PixelFormat32bppRGB,
                                    reinterpret_cast<BYTE*>(copy.data()), &bitmap) != Gdiplus::Ok) {
    return false;
  }
  UniqueGpImage owner(bitmap);
  return gp::GdipSaveImageToFile(owner.get(), Wide(path).c_str(), &*png, nullptr) == Gdiplus::Ok;
}

bool SaveWindowShot(HWND window, const std::string& path) {
  const std::optional<Image> image = CaptureWindow(window);
  return image && SavePng(*image, path);
}

std::optional<PictureFile> LoadPicture(const std::string& path) {
  GdiplusSession session;
  if (!session) return {};
  Gdiplus::GpImage* loaded = nullptr;
  if (gp::GdipLoadImageFromFile(Wide(path).c_str(), &loaded) != Gdiplus::Ok) return {};
  UniqueGpImage image(loaded);
  UINT w = 0, h = 0;
  gp::GdipGetImageWidth(image.get(), &w);
  gp::GdipGetImageHeight(image.get(), &h);
  PictureFile picture;
  ReadTiming(image.get(), picture);
  const auto frames = static_cast<UINT>(picture.delays.size());
  for (UINT i = 0; i < frames; ++i) {
    if (frames > 1) gp::GdipImageSelectActiveFrame(image.get(), &kFrameDimensionTime, i);
    std::optional<Image> frame = ActiveFrame(image.get(), static_cast<int>(w), static_cast<int>(h));
    if (!frame) return {};
    picture.frames.push_back(std::move(*frame));
  }
  return picture;
}

}  // namespace driver
