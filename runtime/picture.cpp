#include "picture.h"

#include <algorithm>
#include <vector>

namespace rt {
namespace {

bool Empty(const RECT& r) {
  return r.right <= r.left || r.bottom <= r.top;
}

void Fill(const PixelBitmap& bitmap, const RECT& area, std::uint32_t value) {
  for (int y = area.top; y < area.bottom; ++y) {
    std::fill(bitmap.Row(y) + area.left, bitmap.Row(y) + area.right, value);
  }
}

}  // namespace

PixelBitmap::PixelBitmap(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_ || !bits) return;
  dc_.reset(::CreateCompatibleDC(nullptr));
  if (!dc_) {
    bitmap_.reset();
    return;
  }
  selection_ = SelectInDC(dc_.get(), bitmap_.get());
  pixels_ = static_cast<std::uint32_t*>(bits);
  width_ = width;
  height_ = height;
}

void Picture::Touch(const RECT& area) {
  if (Empty(area)) return;
  for (RECT* changed : {&changed_, &scaledChanged_}) {
    if (Empty(*changed)) {
      *changed = area;
    } else {
      ::UnionRect(changed, changed, &area);
    }
  }
}

void Picture::Compose(int frame) {
  if (!canvas_) {
    canvas_ = PixelBitmap(width_, height_);
    if (!canvas_) return;
  }
  if (frame < composed_) composed_ = -1;
  if (composed_ < 0) {
    // Before the first frame the picture is transparent.
    const RECT all{0, 0, width_, height_};
    Fill(canvas_, all, 0);
    Touch(all);
    opaqueKnown_ = false;
  }
  while (composed_ < frame) ComposeNext();
}

void Picture::ComposeNext() {
  if (composed_ >= 0) {
    const Frame& shown = frames_[static_cast<std::size_t>(composed_)];
    const RECT& area = shown.area;
    if (shown.disposal == 2) {  // back to the background, which is transparent
      Fill(canvas_, area, 0);
      Touch(area);
      opaqueKnown_ = false;
    } else if (shown.disposal == 3 && !saved_.empty()) {  // back to what it covered
      const int w = area.right - area.left;
      for (int y = area.top; y < area.bottom; ++y) {
        std::copy_n(saved_.begin() + (y - area.top) * w, w, canvas_.Row(y) + area.left);
      }
      Touch(area);
      opaqueKnown_ = false;
    }
  }
  const Frame& frame = frames_[static_cast<std::size_t>(++composed_)];
  saved_.clear();
  if (frame.disposal == 3) {
    const RECT& area = frame.area;
    for (int y = area.top; y < area.bottom; ++y) {
      saved_.insert(saved_.end(), canvas_.Row(y) + area.left, canvas_.Row(y) + area.right);
    }
  }
  Decode(frame);
  Touch(frame.area);
}

RECT Picture::Prepare(int frame, SIZE size) {
  if (size.cx <= 0 || size.cy <= 0) return {};
  Compose(std::clamp(frame, 0, FrameCount() - 1));
  if (!canvas_) return {};
  if (!opaqueKnown_) {
    opaque_ = true;
    for (int y = 0; y < height_ && opaque_; ++y) {
      opaque_ = std::all_of(canvas_.Row(y), canvas_.Row(y) + width_,
                            [](std::uint32_t p) { return p >> 24 == 0xFF; });
    }
    opaqueKnown_ = true;
  }
  if (size.cx != width_ || size.cy != height_) return Rescale(size);
  return std::exchange(changed_, RECT{});
}

void Picture::Draw(HDC dc, const RECT& target, int frame, const RECT& part) {
  const SIZE size{target.right - target.left, target.bottom - target.top};
  RECT area{};
  if (!::IntersectRect(&area, &part, &target)) return;
  Prepare(frame, size);
  const PixelBitmap& source = (size.cx == width_ && size.cy == height_) ? canvas_ : scaled_;
  if (!source) return;
  const int w = area.right - area.left, h = area.bottom - area.top;
  const int x = area.left - target.left, y = area.top - target.top;
  if (opaque_) {
    ::BitBlt(dc, area.left, area.top, w, h, source.DC(), x, y, SRCCOPY);
  } else {
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(dc, area.left, area.top, w, h, source.DC(), x, y, w, h, blend);
  }
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
