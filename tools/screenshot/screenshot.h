// What a user sees of a window, as pixels and as a PNG file, and the frames of
// a picture file to compare them with. GDI+ is started for the length of each
// call that needs it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driver {

// Pixels as 0x00RRGGBB, rows from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

inline int Red(std::uint32_t rgb) {
  return static_cast<int>((rgb >> 16) & 0xFF);
}
inline int Green(std::uint32_t rgb) {
  return static_cast<int>((rgb >> 8) & 0xFF);
}
inline int Blue(std::uint32_t rgb) {
  return static_cast<int>(rgb & 0xFF);
}

// What the screen shows in `area` (screen coordinates): other windows on top
// of it included, as the user would see it.
std::optional<Image> CaptureScreen(const RECT& area);
// What the screen shows over the window's rectangle (GetWindowRect), its
// frame included.
std::optional<Image> CaptureWindow(HWND window);

bool SavePng(const Image& image, const std::string& path);
// CaptureWindow, then SavePng.
bool SaveWindowShot(HWND window, const std::string& path);

// A picture file as GDI+ reads it: every frame composed in full, with its
// delay.
struct PictureFile {
  std::vector<Image> frames;
  std::vector<int> delays;  // hundredths of a second, one per frame
  int plays = 1;            // how often the animation plays; 0 without end
};
std::optional<PictureFile> LoadPicture(const std::string& path);

}  // namespace driver
