// Reading GIF files: the blocks of the file, its frames' LZW rasters.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "picture.h"

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

}  // namespace

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

}  // namespace rt
