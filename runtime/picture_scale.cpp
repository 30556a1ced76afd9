// Drawing a picture at another size than its own: each frame is scaled once
// for a size, only where it changed.
#include <algorithm>
#include <cmath>
#include <vector>

#include "picture.h"

namespace rt {
namespace {

// The sum of `count` pixels (premultiplied BGRA) weighted by 256ths that
// sum to 256, two channels to a 32-bit word: a channel times its weight
// stays within its 16 bits, so none carries into the next.
std::uint32_t Blend(const std::uint32_t* pixels, const std::uint16_t* weights, int count) {
  if (count == 1) return pixels[0];  // a weight of 256: the pixel itself
  std::uint32_t blueRed = 0, greenAlpha = 0;
  for (int k = 0; k < count; ++k) {
    blueRed += (pixels[k] & 0x00FF00FF) * weights[k];
    greenAlpha += (pixels[k] >> 8 & 0x00FF00FF) * weights[k];
  }
  return ((blueRed + 0x00800080) >> 8 & 0x00FF00FF) | ((greenAlpha + 0x00800080) & 0xFF00FF00);
}

}  // namespace

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
  // Target column x of one source row: its pixels blended across.
  const auto across = [this](const std::uint32_t* row, int x) {
    const auto tx = static_cast<std::size_t>(x);
    return Blend(row + columns_.first[tx],
                 &columns_.weights[tx * static_cast<std::size_t>(columns_.stride)],
                 columns_.count[tx]);
  };
  std::vector<std::uint32_t> column(static_cast<std::size_t>(rows_.stride));
  for (int y = area.top; y < area.bottom; ++y) {
    const auto ty = static_cast<std::size_t>(y);
    const std::uint16_t* wy = &rows_.weights[ty * static_cast<std::size_t>(rows_.stride)];
    const int ny = rows_.count[ty];
    std::uint32_t* out = scaled_.Row(y);
    if (ny == 1) {  // a row of its own (the height is the picture's): across it only
      const std::uint32_t* in = canvas_.Row(rows_.first[ty]);
      for (int x = area.left; x < area.right; ++x) out[x] = across(in, x);
      continue;
    }
    for (int x = area.left; x < area.right; ++x) {
      for (int j = 0; j < ny; ++j) {
        column[static_cast<std::size_t>(j)] = across(canvas_.Row(rows_.first[ty] + j), x);
      }
      out[x] = Blend(column.data(), wy, ny);
    }
  }
  return area;
}

}  // namespace rt
