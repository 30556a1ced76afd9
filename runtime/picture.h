// Pictures (GIF, icon and the other formats GDI+ reads), animated GIFs with
// their frame timings, read from the program's resources or from files.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

#include "handles.h"

namespace Gdiplus {
class GpImage;
}

namespace rt {

class Picture {
 public:
  // The picture of that name: a resource of the program named like the file
  // (letter case does not matter), else the file itself. Null when neither
  // can be read.
  static std::unique_ptr<Picture> Load(std::string_view name);

  struct Key {
   private:
    Key() = default;
    friend class Picture;
  };
  explicit Picture(Key) {}
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  ~Picture();

  int Width() const { return width_; }
  int Height() const { return height_; }
  int FrameCount() const { return static_cast<int>(delays_.size()); }
  // How long frame `frame` stays, in hundredths of a second.
  int FrameDelay(int frame) const { return delays_[static_cast<std::size_t>(frame)]; }
  // How often the animation plays: 0 without end.
  int Plays() const { return plays_; }

  // Draws frame `frame` into the rectangle (scaled when the sizes differ).
  void Draw(HDC dc, const RECT& target, int frame) const;

 private:
  // A frame as GDI draws it: a 32-bit DIB section, premultiplied.
  struct Converted {
    UniqueGdi bitmap;
    bool opaque = false;
  };
  // The frame converted, or null when GDI+ must draw the picture itself.
  const Converted* Convert(int frame) const;

  void* image_ = nullptr;  // GpImage
  int width_ = 0, height_ = 0;
  std::vector<int> delays_;
  int plays_ = 1;
  mutable int selected_ = -1;
  // Every frame of a small picture; of a large one the last converted.
  mutable std::vector<Converted> converted_;
  mutable int convertedFrame_ = -1;
};

// How a picture that GDI+ has read plays: a delay for each frame, in
// hundredths of a second (0 where the file gives none), and how often the
// animation plays (0: without end). A still picture has one frame.
struct PictureTiming {
  std::vector<int> delays;
  int plays = 1;
};
PictureTiming PictureTimingOf(Gdiplus::GpImage* image);

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

// GDI+ for the process; the runtime starts it before the modules.
void PicturesStart();
void PicturesStop();

}  // namespace rt
