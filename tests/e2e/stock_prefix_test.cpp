// The launcher in a stock Wine prefix, which lacks "Microsoft Sans Serif"
// and "Segoe UI": the window font's dialog units come out a sixth wider
// there, as on a machine whose dialog font is wider than a Windows
// desktop's. ctest runs these tests, and those of splash_size_test.cpp, in a
// Wine environment of their own (scripts/with-wine --stock) beside the
// suite's, whose prefix stays as it is.
#include <gtest/gtest.h>

#include <windows.h>

#include "borderless_dialog.h"
#include "e2e_support.h"

namespace {

constexpr int kWallpaperWidth = 450;

TEST(StockPrefix, LacksTheTwoFacesSoTheWindowFontComesOutWider) {
  char face[LF_FACESIZE] = {};
  DWORD size = sizeof face;
  EXPECT_NE(::RegGetValueA(HKEY_LOCAL_MACHINE,
                           "Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
                           "Microsoft Sans Serif", RRF_RT_REG_SZ, nullptr, face, &size),
            ERROR_SUCCESS)
      << "not a stock prefix: \"Microsoft Sans Serif\" is substituted by " << face;
  const rt::UniqueWindow measure = dialog::CreateBorderless(300, 350, L"Microsoft Sans Serif", 8);
  ASSERT_TRUE(measure);
  EXPECT_GT(driver::ClientSize(measure.get()).cx, kWallpaperWidth);
}

class StockPrefixLauncher : public e2e::LauncherTest {};

TEST_F(StockPrefixLauncher, AnswersTheHandshakeAndEndsWithExitCodeZero) {
  // The main program takes the mutex once the opening animation has played.
  folder_.AddMainProgram("[Plan]\r\nRecord=tarm-record.txt\r\nDelayMs=2500\r\nMutex=hold\r\n");
  HWND splash = StartLauncher();
  ASSERT_TRUE(splash);
  EXPECT_GT(driver::ClientSize(splash).cx, kWallpaperWidth);
  const std::optional<DWORD> code = WaitForExit(8000);
  ASSERT_TRUE(code) << "the launcher did not end after the main program took the mutex";
  EXPECT_EQ(*code, 0u);
  EXPECT_TRUE(driver::KeyValue(RecordFile(), "CommandLine")) << "the main program did not start";
}

}  // namespace
