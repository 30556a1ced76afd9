#include "picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

namespace rt {
namespace {

// The bytes of an RCDATA resource of that name, empty when there is none. A
// resource stays mapped for as long as the program runs.
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

std::vector<std::byte> FileBytes(std::string_view name) {
  const std::string path(name);
  UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > 64 * 1024 * 1024) return {};
  std::vector<std::byte> bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
      read != bytes.size()) {
    return {};
  }
  return bytes;
}

// Reads a GIF's bytes front to back; reading past the end gives 0 and marks
// the reader damaged, so that a cut file ends the parse instead of being
// read beyond.
class Reader {
 public:
  Reader(std::span<const std::byte> bytes, std::size_t at) : bytes_(bytes), at_(at) {}
  std::size_t At() const { return at_; }
  bool Damaged() const { return damaged_; }
  bool AtEnd() const { return at_ >= bytes_.size(); }
  int Byte() {
    if (at_ >= bytes_.size()) {
      damaged_ = true;
      return 0;
    }
    return std::to_integer<int>(bytes_[at_++]);
  }
  int Word() {
    const int low = Byte();
    return low | Byte() << 8;
  }
  std::span<const std::byte> Take(std::size_t n) {
    if (bytes_.size() - std::min(at_, bytes_.size()) < n) {
      damaged_ = true;
      at_ = bytes_.size();
      return {};
    }
    at_ += n;
    return bytes_.subspan(at_ - n, n);
  }
  // Passes over a chain of sub-blocks up to its empty block.
  void SkipSubBlocks() {
    while (const int size = Byte()) Take(static_cast<std::size_t>(size));
  }

 private:
  std::span<const std::byte> bytes_;
  std::size_t at_;
  bool damaged_ = false;
};

// The LZW codes of a frame's raster, read across its sub-blocks. -1 at the
// end of the data.
class CodeReader {
 public:
  CodeReader(std::span<const std::byte> bytes, std::size_t at) : reader_(bytes, at) {}
  int Code(int size) {
    while (bits_ < size) {
      if (left_ == 0) {
        left_ = reader_.Byte();
        if (left_ == 0 || reader_.Damaged()) return -1;
      }
      --left_;
      const int byte = reader_.Byte();
      if (reader_.Damaged()) return -1;
      buffer_ |= static_cast<std::uint32_t>(byte) << bits_;
      bits_ += 8;
    }
    const int code = static_cast<int>(buffer_ & ((1u << size) - 1));
    buffer_ >>= size;
    bits_ -= size;
    return code;
  }

 private:
  Reader reader_;
  int left_ = 0;  // bytes left in the current sub-block
  std::uint32_t buffer_ = 0;
  int bits_ = 0;
};

constexpr int kMaxCodes = 4096;

// Decodes an LZW raster, handing its colour indices in order to `put`, until
// `count` indices are out, the end code comes, the data ends or a code makes
// no sense (a damaged file shows what came before the damage).
template <typename Put>
void DecodeLzw(std::span<const std::byte> bytes, std::size_t at, std::size_t count, Put put) {
  CodeReader codes(bytes, at + 1);
  const int minimum = at < bytes.size() ? std::to_integer<int>(bytes[at]) : 0;
  if (minimum < 1 || minimum > 11) return;
  const int clear = 1 << minimum, end = clear + 1;
  std::array<std::uint16_t, kMaxCodes> prefix{};
  std::array<std::uint8_t, kMaxCodes> suffix{};
  std::array<std::uint8_t, kMaxCodes + 1> stack{};
  for (int i = 0; i < clear; ++i)
    suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  int size = minimum + 1, next = clear + 2, previous = -1;
  std::uint8_t previousFirst = 0;
  while (count > 0) {
    const int code = codes.Code(size);
    if (code < 0 || code == end) return;
    if (code == clear) {
      size = minimum + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (previous < 0) {
      if (code > clear) return;
      put(static_cast<std::uint8_t>(code));
      --count;
      previous = code;
      previousFirst = static_cast<std::uint8_t>(code);
      continue;
    }
    if (code > next) return;
    std::size_t depth = 0;
    int c = code;
    if (code == next) {  // the string of the code before, and its first index again
      stack[depth++] = previousFirst;
      c = previous;
    }
    while (c >= clear) {
      stack[depth++] = suffix[static_cast<std::size_t>(c)];
      c = prefix[static_cast<std::size_t>(c)];
    }
    stack[depth++] = static_cast<std::uint8_t>(c);
    const auto first = static_cast<std::uint8_t>(c);
    while (depth > 0 && count > 0) {
      put(stack[--depth]);
      --count;
    }
    if (next < kMaxCodes) {
      prefix[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(previous);
      suffix[static_cast<std::size_t>(next)] = first;
      ++next;
      if (next == 1 << size && size < 12) ++size;
    }
    previous = code;
    previousFirst = first;
  }
}

// The order in which an interlaced frame stores its rows: every eighth from
// row 0, every eighth from row 4, every fourth from row 2, every second from
// row 1.
std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  }
  return rows;
}

// The sum of `count` pixels (premultiplied BGRA) weighted by 256ths that
// sum to 256, two channels to a 32-bit word: a channel times its weight
// stays within its 16 bits, so none carries into the next.
std::uint32_t Blend(const std::uint32_t* pixels, const std::uint16_t* weights, int count) {
  std::uint32_t blueRed = 0, greenAlpha = 0;
  for (int k = 0; k < count; ++k) {
    blueRed += (pixels[k] & 0x00FF00FF) * weights[k];
    greenAlpha += (pixels[k] >> 8 & 0x00FF00FF) * weights[k];
  }
  return ((blueRed + 0x00800080) >> 8 & 0x00FF00FF) | ((greenAlpha + 0x00800080) & 0xFF00FF00);
}

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
  pixels_ = static_cast<std::uint32_t*>(bits);
  width_ = width;
  height_ = height;
}

std::unique_ptr<Picture> Picture::Load(std::string_view name) {
  if (name.empty()) return nullptr;
  auto picture = std::make_unique<Picture>(Key{});
  picture->bytes_ = ResourceBytes(name);
  if (picture->bytes_.empty()) {
    picture->fileBytes_ = FileBytes(name);
    picture->bytes_ = picture->fileBytes_;
  }
  if (!picture->Parse()) return nullptr;
  return picture;
}

// Reads the file's structure: its size, colour tables and frames with their
// timings; the rasters are decoded only when drawn. A file damaged after its
// first frame keeps the frames before the damage.
bool Picture::Parse() {
  Reader in(bytes_, 0);
  const auto signature = in.Take(6);
  if (in.Damaged() || (std::memcmp(signature.data(), "GIF87a", 6) != 0 &&
                       std::memcmp(signature.data(), "GIF89a", 6) != 0)) {
    return false;
  }
  width_ = in.Word();
  height_ = in.Word();
  const int flags = in.Byte();
  in.Take(2);  // background colour, aspect ratio
  std::span<const std::byte> globalPalette;
  if (flags & 0x80) globalPalette = in.Take(3u << ((flags & 7) + 1));
  if (in.Damaged() || width_ == 0 || height_ == 0) return false;

  Frame next;  // what a graphic control extension says of the next frame
  while (!in.Damaged() && !in.AtEnd()) {
    const int block = in.Byte();
    if (block == 0x3B) break;  // trailer
    if (block == 0x21) {
      const int label = in.Byte();
      const int size = in.Byte();
      const auto body = in.Take(static_cast<std::size_t>(size));
      if (label == 0xF9 && body.size() >= 4) {
        const int packed = std::to_integer<int>(body[0]);
        next.disposal = packed >> 2 & 7;
        next.delay = std::to_integer<int>(body[1]) | std::to_integer<int>(body[2]) << 8;
        if (packed & 1) next.transparent = std::to_integer<int>(body[3]);
      } else if (label == 0xFF && body.size() == 11 &&
                 (std::memcmp(body.data(), "NETSCAPE2.0", 11) == 0 ||
                  std::memcmp(body.data(), "ANIMEXTS1.0", 11) == 0)) {
        const auto loop = in.Take(static_cast<std::size_t>(in.Byte()));
        if (loop.size() >= 3 && std::to_integer<int>(loop[0]) == 1) {
          plays_ = std::to_integer<int>(loop[1]) | std::to_integer<int>(loop[2]) << 8;
        }
      }
      if (size > 0) in.SkipSubBlocks();
      continue;
    }
    if (block != 0x2C) break;  // not a GIF block: the file is damaged here
    Frame frame = next;
    next = Frame{};
    frame.left = in.Word();
    frame.top = in.Word();
    frame.width = in.Word();
    frame.height = in.Word();
    const int packed = in.Byte();
    frame.interlaced = (packed & 0x40) != 0;
    frame.palette = (packed & 0x80) ? in.Take(3u << ((packed & 7) + 1)) : globalPalette;
    frame.raster = in.At();
    in.Byte();  // the LZW code size
    in.SkipSubBlocks();
    if (in.Damaged() && !frames_.empty()) break;
    frame.area = {std::min(frame.left, width_), std::min(frame.top, height_),
                  std::min(frame.left + frame.width, width_),
                  std::min(frame.top + frame.height, height_)};
    frames_.push_back(frame);
  }
  return !frames_.empty();
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

void Picture::Decode(const Frame& frame) {
  std::array<std::uint32_t, 256> colors{};
  colors.fill(0xFF000000);  // an index beyond the palette draws black
  for (std::size_t i = 0; i < 256 && 3 * i + 2 < frame.palette.size(); ++i) {
    colors[i] = 0xFF000000u | std::to_integer<std::uint32_t>(frame.palette[3 * i]) << 16 |
                std::to_integer<std::uint32_t>(frame.palette[3 * i + 1]) << 8 |
                std::to_integer<std::uint32_t>(frame.palette[3 * i + 2]);
  }
  const std::vector<int> rows = RowOrder(frame.height, frame.interlaced);
  std::size_t row = 0;
  int x = 0;
  std::uint32_t* target = nullptr;  // the canvas row being written, null outside the canvas
  const auto startRow = [&] {
    const int y = frame.top + rows[row];
    target = y < height_ ? canvas_.Row(y) : nullptr;
  };
  if (!rows.empty()) startRow();
  const std::size_t count = static_cast<std::size_t>(frame.width) * rows.size();
  DecodeLzw(bytes_, frame.raster, count, [&](std::uint8_t index) {
    const int column = frame.left + x;
    if (target && column < width_ && index != frame.transparent) target[column] = colors[index];
    if (++x == frame.width) {
      x = 0;
      if (++row < rows.size()) startRow();
    }
  });
}

Picture::Taps::Taps(int from, int to) {
  // A tent filter: as wide as one source pixel when the picture grows, as
  // wide as the source pixels that fall on one target pixel when it shrinks.
  const double scale = static_cast<double>(from) / to;
  const double radius = std::max(1.0, scale);
  stride = static_cast<int>(std::ceil(2 * radius)) + 1;
  first.resize(static_cast<std::size_t>(to));
  count.resize(static_cast<std::size_t>(to));
  weights.assign(static_cast<std::size_t>(to) * static_cast<std::size_t>(stride), 0);
  std::vector<double> raw(static_cast<std::size_t>(stride));
  for (int i = 0; i < to; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    const int low = std::clamp(static_cast<int>(std::floor(centre - radius)) + 1, 0, from - 1);
    const int high = std::clamp(static_cast<int>(std::ceil(centre + radius)) - 1, low, from - 1);
    const int n = std::min(high - low + 1, stride);
    double total = 0;
    for (int k = 0; k < n; ++k) {
      raw[static_cast<std::size_t>(k)] = std::max(0.0, 1 - std::abs(low + k - centre) / radius);
      total += raw[static_cast<std::size_t>(k)];
    }
    // Rounded to 256ths that sum to 256 exactly, so that a flat area stays flat.
    std::uint16_t* w = &weights[static_cast<std::size_t>(i) * static_cast<std::size_t>(stride)];
    int given = 0, largest = 0;
    for (int k = 0; k < n; ++k) {
      w[k] = static_cast<std::uint16_t>(
          total > 0 ? std::lround(256 * raw[static_cast<std::size_t>(k)] / total) : 0);
      given += w[k];
      if (w[k] > w[largest]) largest = k;
    }
    w[largest] = static_cast<std::uint16_t>(w[largest] + 256 - given);
    first[static_cast<std::size_t>(i)] = low;
    count[static_cast<std::size_t>(i)] = n;
  }
}

std::pair<int, int> Picture::Taps::Reading(int from, int to) const {
  const int n = static_cast<int>(first.size());
  int begin = 0;
  while (begin < n &&
         first[static_cast<std::size_t>(begin)] + count[static_cast<std::size_t>(begin)] <= from) {
    ++begin;
  }
  int end = begin;
  while (end < n && first[static_cast<std::size_t>(end)] < to) ++end;
  return {begin, end};
}

RECT Picture::Rescale(SIZE size) {
  RECT area{0, 0, size.cx, size.cy};
  if (scaled_.Width() != size.cx || scaled_.Height() != size.cy) {
    scaled_ = PixelBitmap(size.cx, size.cy);
    columns_ = Taps(width_, size.cx);
    rows_ = Taps(height_, size.cy);
  } else {
    // Only the target pixels that read a changed source pixel change.
    const auto [left, right] = columns_.Reading(scaledChanged_.left, scaledChanged_.right);
    const auto [top, bottom] = rows_.Reading(scaledChanged_.top, scaledChanged_.bottom);
    area = {left, top, right, bottom};
  }
  scaledChanged_ = {};
  if (!scaled_) return {};
  std::vector<std::uint32_t> across(static_cast<std::size_t>(rows_.stride));
  for (int y = area.top; y < area.bottom; ++y) {
    const auto ty = static_cast<std::size_t>(y);
    const std::uint16_t* wy = &rows_.weights[ty * static_cast<std::size_t>(rows_.stride)];
    const int ny = rows_.count[ty];
    std::uint32_t* out = scaled_.Row(y);
    for (int x = area.left; x < area.right; ++x) {
      const auto tx = static_cast<std::size_t>(x);
      const std::uint16_t* wx = &columns_.weights[tx * static_cast<std::size_t>(columns_.stride)];
      for (int j = 0; j < ny; ++j) {
        const std::uint32_t* in = canvas_.Row(rows_.first[ty] + j) + columns_.first[tx];
        across[static_cast<std::size_t>(j)] = Blend(in, wx, columns_.count[tx]);
      }
      out[x] = ny == 1 ? across[0] : Blend(across.data(), wy, ny);
    }
  }
  return area;
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
  UniqueDC memory(::CreateCompatibleDC(dc));
  SelectInDC select(memory.get(), source.Handle());
  const int w = area.right - area.left, h = area.bottom - area.top;
  const int x = area.left - target.left, y = area.top - target.top;
  if (opaque_) {
    ::BitBlt(dc, area.left, area.top, w, h, memory.get(), x, y, SRCCOPY);
  } else {
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(dc, area.left, area.top, w, h, memory.get(), x, y, w, h, blend);
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
