// The runtime's reading of GIF files: what each feature of the format shows,
// what a damaged file gives, and a picture drawn at another size than its
// own. The cases are GIFs written here, each small enough to show its point;
// the launcher's own artwork has its tests in artwork_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "file_tools.h"
#include "picture.h"
#include "screenshot.h"
#include "test_support.h"

namespace {

// Colours of the palette, as 0x00RRGGBB; index 0 is never drawn by a case
// that leaves pixels transparent, so that black means "nothing drawn".
constexpr std::uint32_t kPalette[] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
constexpr std::uint8_t kRed = 1, kGreen = 2, kBlue = 3, kWhite = 4;

struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> indices;  // row by row, top row first
  int disposal = 0;                   // 2: background, 3: what it covered
  int transparent = -1;
  bool interlaced = false;
  int delay = 7;
};

GifFrame Solid(int left, int top, int width, int height, std::uint8_t index) {
  return {left, top, width, height,
          std::vector<std::uint8_t>(static_cast<std::size_t>(width * height), index)};
}

void Word(std::string& out, int value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

// The raster as LZW codes of 9 bits that are all plain indices: a clear code
// before the table would grow to 10-bit codes.
std::string Raster(const std::vector<std::uint8_t>& indices) {
  std::string codes;
  std::uint32_t buffer = 0;
  int bits = 0;
  const auto put = [&](int code) {
    buffer |= static_cast<std::uint32_t>(code) << bits;
    for (bits += 9; bits >= 8; bits -= 8, buffer >>= 8) codes.push_back(static_cast<char>(buffer));
  };
  put(256);
  int sinceClear = 0;
  for (std::uint8_t index : indices) {
    if (++sinceClear == 254) {
      put(256);
      sinceClear = 1;
    }
    put(index);
  }
  put(257);
  if (bits > 0) codes.push_back(static_cast<char>(buffer));
  std::string blocks(1, '\x08');  // LZW code size
  for (std::size_t at = 0; at < codes.size(); at += 255) {
    const std::string block = codes.substr(at, 255);
    blocks += static_cast<char>(block.size()) + block;
  }
  return blocks + '\0';
}

// A GIF of those frames over a 256-colour global palette; `loops` >= 0 adds
// the looping block with that count.
std::string Gif(int width, int height, const std::vector<GifFrame>& frames, int loops = -1) {
  std::string out = "GIF89a";
  Word(out, width);
  Word(out, height);
  out += "\xF7";  // a global palette of 256 colours
  out += std::string(2, '\0');
  for (int i = 0; i < 256; ++i) {
    const std::uint32_t rgb = i < 5 ? kPalette[i] : 0x808080;
    out += {static_cast<char>(rgb >> 16), static_cast<char>(rgb >> 8), static_cast<char>(rgb)};
  }
  if (loops >= 0) {
    out += std::string("\x21\xFF\x0B") + "NETSCAPE2.0" + "\x03\x01";
    Word(out, loops);
    out += '\0';
  }
  for (const GifFrame& f : frames) {
    out += "\x21\xF9\x04";
    out += static_cast<char>(f.disposal << 2 | (f.transparent >= 0 ? 1 : 0));
    Word(out, f.delay);
    out += static_cast<char>(f.transparent >= 0 ? f.transparent : 0);
    out += '\0';
    out += '\x2C';
    Word(out, f.left);
    Word(out, f.top);
    Word(out, f.width);
    Word(out, f.height);
    out += static_cast<char>(f.interlaced ? 0x40 : 0);
    std::vector<std::uint8_t> stored;
    const auto row = [&](int y) {
      stored.insert(stored.end(), f.indices.begin() + y * f.width,
                    f.indices.begin() + (y + 1) * f.width);
    };
    if (f.interlaced) {
      for (int pass : {0, 1, 2, 3}) {
        const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int y = start[pass]; y < f.height; y += step[pass]) row(y);
      }
    } else {
      stored = f.indices;
    }
    out += Raster(stored);
  }
  return out + '\x3B';
}

class GifPictures : public testing::Test {
 protected:
  // The picture read from a file holding those bytes.
  std::unique_ptr<rt::Picture> Load(const std::string& bytes) {
    const std::string file = folder_.File("picture" + std::to_string(++files_) + ".gif");
    EXPECT_TRUE(driver::WriteFile(file, bytes));
    return rt::Picture::Load(file);
  }

  testsupport::TempFolder folder_;
  int files_ = 0;
};

// Frame `frame` drawn into a bitmap of `width` x `height`, all black before.
driver::Image DrawnAt(rt::Picture& picture, int frame, int width, int height) {
  return testsupport::Drawn(width, height, [&](HDC dc) {
    picture.Draw(dc, RECT{0, 0, width, height}, frame);
  });
}

driver::Image Drawn(rt::Picture& picture, int frame) {
  return DrawnAt(picture, frame, picture.Width(), picture.Height());
}

// The picture's rows as palette colours, one letter a pixel: R, G, B, W, and
// "." for black (nothing drawn there).
std::vector<std::string> Letters(const driver::Image& image) {
  std::vector<std::string> rows;
  for (int y = 0; y < image.height; ++y) {
    std::string row;
    for (int x = 0; x < image.width; ++x) {
      switch (image.At(x, y)) {
        case 0xFF0000:
          row += 'R';
          break;
        case 0x00FF00:
          row += 'G';
          break;
        case 0x0000FF:
          row += 'B';
          break;
        case 0xFFFFFF:
          row += 'W';
          break;
        case 0x000000:
          row += '.';
          break;
        default:
          row += '?';
      }
    }
    rows.push_back(row);
  }
  return rows;
}

TEST_F(GifPictures, EachFeatureOfTheFormatShowsAsItShould) {
  GifFrame interlaced{0, 0, 3, 10, {}};
  for (int y = 0; y < 10; ++y) {
    interlaced.indices.insert(interlaced.indices.end(), 3, static_cast<std::uint8_t>(1 + y % 4));
  }
  interlaced.interlaced = true;
  GifFrame holes = Solid(1, 1, 2, 2, kBlue);
  holes.transparent = 0;
  holes.indices[0] = holes.indices[3] = 0;
  GifFrame cleared = Solid(1, 1, 2, 2, kBlue);
  cleared.disposal = 2;
  GifFrame covering = Solid(1, 1, 2, 2, kBlue);
  covering.disposal = 3;

  struct Case {
    const char* name;
    int width, height;
    std::vector<GifFrame> frames;
    std::vector<std::string> last;  // the last frame as it shows
  } cases[] = {
      {"rows of an interlaced frame come in their places",
       3,
       10,
       {interlaced},
       {"RRR", "GGG", "BBB", "WWW", "RRR", "GGG", "BBB", "WWW", "RRR", "GGG"}},
      {"a first frame smaller than the picture leaves the rest transparent",
       4,
       3,
       {Solid(1, 1, 2, 1, kGreen)},
       {"....", ".GG.", "...."}},
      {"the transparent index leaves the frame before",
       4,
       4,
       {Solid(0, 0, 4, 4, kRed), holes},
       {"RRRR", "RRBR", "RBRR", "RRRR"}},
      {"a frame disposed to the background becomes transparent",
       4,
       4,
       {Solid(0, 0, 4, 4, kRed), cleared, Solid(3, 3, 1, 1, kWhite)},
       {"RRRR", "R..R", "R..R", "RRRW"}},
      {"a frame disposed to what it covered gives that back",
       4,
       4,
       {Solid(0, 0, 4, 4, kRed), covering, Solid(3, 3, 1, 1, kWhite)},
       {"RRRR", "RRRR", "RRRR", "RRRW"}},
      {"a frame reaching past the picture is cut at its edge",
       3,
       2,
       {Solid(0, 0, 3, 2, kRed), Solid(2, 1, 4, 3, kGreen)},
       {"RRR", "RRG"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto picture = Load(Gif(c.width, c.height, c.frames));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), c.width);
    EXPECT_EQ(picture->Height(), c.height);
    ASSERT_EQ(picture->FrameCount(), static_cast<int>(c.frames.size()));
    const int last = picture->FrameCount() - 1;
    EXPECT_EQ(Letters(Drawn(*picture, last)), c.last);
    // Asked for again after the others, or straight away by a fresh
    // picture, the frame is the same.
    for (int frame = 0; frame <= last; ++frame) Drawn(*picture, frame);
    EXPECT_EQ(Letters(Drawn(*picture, last)), c.last) << "after the frames in order";
    auto fresh = Load(Gif(c.width, c.height, c.frames));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(Letters(Drawn(*fresh, last)), c.last) << "straight away";
  }
}

TEST_F(GifPictures, TimingsComeFromTheFile) {
  std::vector<GifFrame> frames = {Solid(0, 0, 2, 2, kRed), Solid(0, 0, 2, 2, kGreen)};
  frames[0].delay = 50;
  frames[1].delay = 3;
  struct Case {
    const char* name;
    int loops;
    int plays;
  } cases[] = {{"no looping block: plays once", -1, 1},
               {"loop count 0: without end", 0, 0},
               {"loop count 3", 3, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto picture = Load(Gif(2, 2, frames, c.loops));
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(picture->FrameCount(), 2);
    EXPECT_EQ(picture->FrameDelay(0), 50);
    EXPECT_EQ(picture->FrameDelay(1), 3);
    EXPECT_EQ(picture->Plays(), c.plays);
  }
}

// A damaged file keeps the frames before the damage and shows nothing made
// up; one that is no GIF at all is no picture.
TEST_F(GifPictures, DamagedFilesKeepWhatCameBeforeTheDamage) {
  const GifFrame red = Solid(0, 0, 4, 4, kRed), green = Solid(1, 1, 2, 2, kGreen);
  const std::string whole = Gif(4, 4, {red, green});
  // The second frame: its control block (8 bytes), its descriptor (10),
  // its LZW code size, then its first sub-block.
  const std::size_t second = Gif(4, 4, {red}).size() - 1;
  const std::vector<std::string> allRed(4, "RRRR");

  EXPECT_EQ(Load(""), nullptr);
  EXPECT_EQ(Load("GIF89a"), nullptr) << "a header alone";
  EXPECT_EQ(Load("\x89PNG\r\n\x1A\n" + whole.substr(8)), nullptr) << "not a GIF";
  EXPECT_EQ(Load(whole.substr(0, 6) + std::string(4, '\0') + whole.substr(10)), nullptr)
      << "a picture of no size";

  for (std::size_t cut : {second + 4, second + 12, second + 21, whole.size() - 3}) {
    SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(whole.size()));
    auto picture = Load(whole.substr(0, cut));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->FrameCount(), 1);
    EXPECT_EQ(Letters(Drawn(*picture, 0)), allRed);
  }

  // Codes that make no sense end the frame where they begin.
  std::string nonsense = whole;
  nonsense[second + 20] = nonsense[second + 21] = '\x7F';
  auto picture = Load(nonsense);
  ASSERT_NE(picture, nullptr);
  ASSERT_EQ(picture->FrameCount(), 2);
  EXPECT_EQ(Letters(Drawn(*picture, 1)), allRed);
}

// The splash window is as wide as its dialog font makes it: its wallpaper
// must fill any size, stay flat where it is flat, and each frame drawn
// after the frame before must be the frame drawn alone at that size.
TEST(PictureAtAnotherSize, FillsTheTargetFrameAfterFrameAsItWouldAlone) {
  auto played = rt::Picture::Load("ZTSplashAnimated.gif");
  ASSERT_NE(played, nullptr);
  const std::uint32_t background = Drawn(*played, 0).At(0, 0);
  for (SIZE size : {SIZE{525, 569}, SIZE{300, 380}, SIZE{900, 1138}}) {
    SCOPED_TRACE(std::to_string(size.cx) + " x " + std::to_string(size.cy));
    for (int frame = 0; frame < played->FrameCount(); ++frame) {
      const driver::Image image = DrawnAt(*played, frame, size.cx, size.cy);
      ASSERT_EQ(image.pixels.size(), static_cast<std::size_t>(size.cx * size.cy));
      if (frame == 0 || frame == played->FrameCount() - 1) {
        // Nothing is black in the wallpaper: a black pixel was not drawn.
        EXPECT_EQ(std::count(image.pixels.begin(), image.pixels.end(), 0u), 0);
        for (POINT corner : {POINT{0, 0}, POINT{size.cx - 1, size.cy - 1}}) {
          EXPECT_EQ(image.At(corner.x, corner.y), background) << "frame " << frame;
        }
      }
      if (frame % 7 != 0 && frame != played->FrameCount() - 1) continue;
      auto alone = rt::Picture::Load("ZTSplashAnimated.gif");
      ASSERT_NE(alone, nullptr);
      EXPECT_TRUE(DrawnAt(*alone, frame, size.cx, size.cy).pixels == image.pixels)
          << "frame " << frame;
    }
  }
}

}  // namespace
