// Pictures: GIF files, still or animated, with their frame timings, read from
// the program's resources or from files, and drawn at any size.
//
// The runtime reads GIFs itself. GDI+ kept each loaded picture's every frame
// decoded (about 12 MiB for the splash wallpaper) besides its own 5 MiB;
// here a picture keeps the file's bytes (a resource is read where it lies),
// one composed frame and, when it is drawn at another size, one scaled copy.
// A frame is decoded when it is first drawn, from the frame before it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "handles.h"

namespace rt {

// A 32-bit top-down DIB section whose pixels the runtime writes itself, as
// premultiplied BGRA, selected into a memory DC of its own: GDI copies it
// from there, or blends it where it is transparent. The DC stays with the
// bitmap because one made for every copy cost more than copying a small
// frame: the display driver asks the display server for each DC it makes
// and deletes.
class PixelBitmap {
 public:
  PixelBitmap() = default;
  // Empty (no bitmap) when the system cannot make one or its DC.
  PixelBitmap(int width, int height);
  PixelBitmap(PixelBitmap&& other) noexcept { *this = std::move(other); }
  PixelBitmap& operator=(PixelBitmap&& other) noexcept {
    if (this != &other) {
      // The bitmap is selected out of its DC before either goes.
      selection_.reset();
      dc_.reset();
      bitmap_ = std::move(other.bitmap_);
      dc_ = std::move(other.dc_);
      selection_ = std::move(other.selection_);
      pixels_ = std::exchange(other.pixels_, nullptr);
      width_ = std::exchange(other.width_, 0);
      height_ = std::exchange(other.height_, 0);
    }
    return *this;
  }
  ~PixelBitmap() = default;  // the members go last first: selection, DC, bitmap

  explicit operator bool() const { return pixels_ != nullptr; }
  HBITMAP Handle() const { return static_cast<HBITMAP>(bitmap_.get()); }
  // The memory DC that holds the bitmap: copy from it, or draw into it.
  HDC DC() const { return dc_.get(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint32_t* Row(int y) const { return pixels_ + static_cast<std::ptrdiff_t>(y) * width_; }

 private:
  UniqueGdi bitmap_;
  UniqueDC dc_;
  SelectInDC selection_;             // declared after both: it goes first
  std::uint32_t* pixels_ = nullptr;  // inside the section, which the bitmap owns
  int width_ = 0, height_ = 0;
};

class Picture {
 public:
  // The picture of that name: a resource of the program named like the file
  // (letter case does not matter), else the file itself. Null when neither
  // is there or what is there is no GIF with at least one frame.
  static std::unique_ptr<Picture> Load(std::string_view name);

  struct Key {
   private:
    Key() = default;
    friend class Picture;
  };
  explicit Picture(Key) {}
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  // How long frame `frame` stays, in hundredths of a second (0 where the
  // file gives no delay).
  int FrameDelay(int frame) const { return frames_[static_cast<std::size_t>(frame)].delay; }
  // How often the animation plays: 0 without end.
  int Plays() const { return plays_; }

  // Makes frame `frame` ready to be drawn into a rectangle of `size`:
  // composed, and scaled to that size when it is not the picture's own.
  // Gives the part of such a drawing (from its top left corner) that differs
  // from the frame made ready before at that size: all of it the first time.
  RECT Prepare(int frame, SIZE size);
  // True when the frame made ready last covers every pixel.
  bool Opaque() const { return opaque_; }
  // Draws frame `frame` as it fills the rectangle `target`, only within
  // `part` (both in the DC's coordinates). Each frame is composed once and
  // scaled once for a size; drawing it again copies it.
  void Draw(HDC dc, const RECT& target, int frame, const RECT& part);
  void Draw(HDC dc, const RECT& target, int frame) { Draw(dc, target, frame, target); }

 private:
  // One image of the file, as it lies there.
  struct Frame {
    RECT area{};                         // in the picture, clipped to it
    int left = 0, top = 0;               // where its rows start (unclipped)
    int width = 0, height = 0;           // of its rows as stored
    std::span<const std::byte> palette;  // RGB triples
    std::size_t raster = 0;              // offset of its LZW code size
    int transparent = -1;                // the colour index left undrawn
    int disposal = 0;                    // what becomes of it before the next frame
    int delay = 0;                       // hundredths of a second
    bool interlaced = false;
  };
  // Which source pixels each target column (or row) of a scaled drawing
  // reads, and with what weight: `count` of them from `first` on, the
  // weights (summing to 256) at `weights[i * stride]`.
  struct Taps {
    Taps() = default;
    Taps(int from, int to);
    std::vector<int> first, count;
    std::vector<std::uint16_t> weights;
    int stride = 0;
    // The target indices that read any of the source indices [from, to).
    std::pair<int, int> Reading(int from, int to) const;
  };

  bool Parse();
  void Compose(int frame);
  void ComposeNext();
  void Decode(const Frame& frame);
  RECT Rescale(SIZE size);
  void Touch(const RECT& area);

  std::vector<std::byte> fileBytes_;  // of a file; a resource is read in place
  std::span<const std::byte> bytes_;
  int width_ = 0, height_ = 0;
  std::vector<Frame> frames_;
  int plays_ = 1;

  // The frames composed so far, up to `composed_`, and the part of it that
  // changed since the frame made ready last at the picture's own size.
  PixelBitmap canvas_;
  int composed_ = -1;
  RECT changed_{};
  bool opaque_ = false, opaqueKnown_ = false;
  std::vector<std::uint32_t> saved_;  // under a frame that restores what it covered
  // The canvas scaled to the other size made ready last, as it was before
  // `scaledChanged_` changed.
  PixelBitmap scaled_;
  Taps columns_, rows_;
  RECT scaledChanged_{};
};

// The running state of an animated picture: which frame shows, and when the
// next one is due.
class Animation {
 public:
  explicit Animation(const Picture* picture) : picture_(picture) {}
  int Frame() const { return frame_; }
  bool Running() const;
  // Hundredths until the next frame; 0 when the animation has ended.
  int Delay() const;
  // Steps to the next frame; false when the animation has ended.
  bool Advance();

 private:
  const Picture* picture_;
  int frame_ = 0;
  int playsDone_ = 0;
};

}  // namespace rt
