// The library's per-thread error state, its error texts and the hex texts.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "rovalent_internal.h"
#include "test_support.h"

namespace {

constexpr char kUnknown[] = "Unknown Rovalent error code";

constexpr std::int32_t Code(std::uint32_t bits) {
  return static_cast<std::int32_t>(bits);
}

std::string Blanks(std::size_t n) {
  return std::string(n, ' ');
}

// The system's own text of a message, straight from FormatMessageA.
std::string SystemText(DWORD message) {
  char buffer[1024];
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, message, 0, buffer,
                                   sizeof buffer, nullptr);
  return std::string(buffer, n);
}

// Sets the calling thread's state as a failing procedure leaves it.
void Fail(std::string_view procedure, std::string_view detail, std::int32_t code) {
  ClearRovalentError(procedure);
  RovalentErrorTextSet(detail);
  SetRovalentError(code);
}

// The library's texts by n, code 0xA0000000 + n, byte for byte.
constexpr const char* kLibraryTexts[] = {
    "ds_GetTempPath failed, TempPath is longer than 260 chars",
    "ds_GetFolderPath failed, Path does not exist",
    "ds_GetFolderPath failed, Invalid FolderID",
    "ds_String2File error, No filename specified",
    "ds_String2File API call to CreateFile failed",
    "ds_String2File API call to WriteFile failed",
    "ds_String2File API call to CloseHandle failed",
    "ds_File2String error, No filename specified",
    "ds_File2String API call to CreateFile failed",
    "ds_File2String error, File does not exist",
    "ds_File2String API call to ReadFile failed",
    "ds_File2String API call to CloseHandle failed",
    "ds_EmptyPort failed, Could not empty buffer",
    "ds_GSMGetReply failed, Timeout",
    "ds_GetGSMReply error, Receive buffer too small",
    "ds_GSMEchoOFF failed",
    "ds_GSMSendSMS failed",
    "ds_GSMEnterPin failed",
    "ds_GSMSetSMSTextmode failed",
    "NewPort failed, Error opening port",
    "NewPort failed, Error setting com buffers",
    "ResetPort API call to BuildCommDCB failed",
    "ResetPort API call to SetCommState failed",
    "ResetPort API call to SetCommTimeouts failed",
    "WritePort API call to WriteFile failed",
    "ReadPort API call to ReadFile failed",
    "SethandShake API call to SetCommState failed",
    "ds_SetReg API call to RegOpenKeyEx failed",
    "ds_CloseReg API call to RegCloseKey failed",
    "ds_PagerSend failed, ATZ does not return OK",
    "ds_PagerSend failed, No CONNECT detected",
    "ds_PagerSend failed, +++ unsuccessful",
    "ds_PagerSend failed, ATH0 unsuccessful",
    "ds_GSMReadSMS failed, Index out of range",
    "ds_GSMDeleteSMS failed, Index out of range",
    "ds_GSMEnterPin error, No PIN specified",
    "ds_GSMReadSMS failed, Unexpected response",
    "ds_PAGERGetReply failed, Timeout",
    "ds_GSMSetSMSReport failed",
    "ds_GSMReadSMSInit failed, Could not select report source",
    "UseCommEvents API call to SetCommMask failed",
    "MonitorCommEvents API call to WaitCommEvent failed",
    "ds_GSMSelectSR failed, Unexpected response",
    "ds_GSMDeleteSMSReport failed, Unexpected response",
    "ds_GSMReadSMSReport failed, Index out of range",
    "ds_GSMReadSMSReport failed, Unexpected response",
    "ds_GSMSetEvents failed",
    "ds_GSMReset failed",
    "ds_GetFileVersionInfo error",
    "ds_SetClipboard error",
    "AddAlerts error",
    "CloseHandle error",
    "WinAccept error",
    "ds_WTSCallBack error",
    "WritePortWait error",
    "ds_GetDLLVersion error",
    "ds_UnloadDLLProc error",
    "ds_loadDLLProc error",  // with its lower-case l
    "ds_File2String error",
    "ds_GetHIcon error",
    "ds_MoveFile error",
    "ds_DeleteFile error",
    "ds_CreateDirectory error",
    "ds_RemoveDirectory error",
    "ds_GetFolderPath error",
    "ds_GetTempPath error",
    "ds_GSMPagerSend error",
    "ds_PutReg error",
    "ds_GetReg error",
    "ds_CreateShortcut error",
    "GetFreeDiskSpace error",
    "GetDiskSpace error",
    "ds_GetDiskMegs error",
    "ds_GetIDETemperature error",
    "ds_WinTaskbarBalloon error",
    "ds_Win98Balloon error",
    "WinTaskbarAddIcon error",
    "WinTaskbarRemoveIcon error",
    "WinTaskbarChangeIcon error",
    "WinBringToFront error",
    "WinOnTop error",
    "WinNotOnTop error",
    "ds_HideWindow error",
    "ds_ShowWindow error",
    "ds_VisibleOnDesktop error",
    "ds_WinTransparent error",
    "ds_StatusRectangle error",
    "ds_StatusGrip error",
};
static_assert(std::size(kLibraryTexts) == 88);

TEST(ErrorCodeText, LibraryCodesWithoutDetail) {
  for (std::size_t i = 0; i < std::size(kLibraryTexts); ++i) {
    const std::uint32_t code = 0xA0000001 + static_cast<std::uint32_t>(i);
    EXPECT_EQ(ErrorCodeText(Code(code), 0), kLibraryTexts[i]) << std::hex << code;
  }
  // Bit 29 set but no row.
  for (std::uint32_t code : {0xA0000000u, 0xA0000059u, 0x20000000u, 0xE0000001u, 0xAFFFFFFFu}) {
    EXPECT_EQ(ErrorCodeText(Code(code), 0), kUnknown) << std::hex << code;
  }
  EXPECT_EQ(ErrorCodeText(0, 0), "");
}

TEST(ErrorCodeText, SystemCodesKeepTheirLineEnd) {
  const std::string fileNotFound = SystemText(ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(fileNotFound.ends_with("\r\n")) << fileNotFound;
  EXPECT_EQ(ErrorCodeText(ERROR_FILE_NOT_FOUND, 0), fileNotFound);
  // A number the system has no text for.
  EXPECT_EQ(ErrorCodeText(0x1FFFFFFF, 0), kUnknown);
  // A text with insert sequences, asked for without insert arguments:
  // Wine (like Windows) refuses it, so it counts as having no text.
  const std::string withInserts = ErrorCodeText(ERROR_INVALID_ORDINAL, 0);
  EXPECT_TRUE(withInserts == kUnknown || withInserts.find('%') != std::string::npos) << withInserts;
}

TEST(ErrorCodeText, DetailFormUsesTheThreadsState) {
  // The code argument is not looked at: the thread's own code counts.
  Fail("ds_LoadDLLProc", "LoadLibrary failed", rverr::kLoadDLLProc);
  EXPECT_EQ(ErrorCodeText(Code(0xA0000001), 1),
            "ds_loadDLLProc error, LoadLibrary failed, ds_LoadDLLProc");

  // A blank detail leaves the two separators with nothing between.
  Fail("WinAccept", "", rverr::kWinAccept);
  EXPECT_EQ(ErrorCodeText(0, 1), "WinAccept error, , WinAccept");

  // A system code: its text keeps its CR LF, then the detail part follows.
  Fail("ds_CreateDirectory", "words", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ErrorCodeText(0, 1), SystemText(ERROR_FILE_NOT_FOUND) + ", words, ds_CreateDirectory");

  // Code 0 gives nothing, whatever the detail text holds.
  ClearRovalentError("ds_Sleep");
  RovalentErrorTextSet("left over");
  EXPECT_EQ(ErrorCodeText(Code(0xA0000001), 1), "");
}

TEST(ErrorCodeText, DetailPartIsCutTo255Characters) {
  const std::string detail = std::string(200, 'a') + std::string(55, 'b');
  Fail("ds_GetFolderPath", detail, rverr::kFolderMissing);
  // ", " and the first 253 characters of the detail: the name is gone.
  EXPECT_EQ(ErrorCodeText(0, 1),
            "ds_GetFolderPath failed, Path does not exist, " + detail.substr(0, 253));

  // A shorter detail leaves room for the start of the name.
  Fail(std::string(60, 'p'), std::string(210, 'd'), rverr::kWinAccept);
  EXPECT_EQ(ErrorCodeText(0, 1),
            "WinAccept error, " + std::string(210, 'd') + ", " + std::string(41, 'p'));
}

TEST(ErrorState, ClearAndSetFollowTheCallingConvention) {
  Fail("WinAlert", "replacing the window procedure failed", rverr::kAddAlerts);
  EXPECT_EQ(RovalentErrorCode(), rverr::kAddAlerts);
  // Set changes the code only.
  SetRovalentError(rverr::kCloseHandle);
  EXPECT_EQ(RovalentErrorCode(), rverr::kCloseHandle);
  EXPECT_EQ(rt::Clip(RovalentErrorText()), "replacing the window procedure failed");
  EXPECT_EQ(RovalentErrorText().size(), 255u);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "WinAlert");

  ClearRovalentError("ds_Sleep");
  EXPECT_EQ(RovalentErrorCode(), 0);
  EXPECT_EQ(RovalentErrorText(), Blanks(255));
  EXPECT_EQ(RovalentErrorProc(), rt::Fixed("ds_Sleep", 255));

  const std::string longName = std::string(255, 'n') + "tail";
  ClearRovalentError(longName);
  EXPECT_EQ(RovalentErrorProc(), longName.substr(0, 255));
  RovalentErrorTextSet(longName);
  EXPECT_EQ(RovalentErrorText(), longName.substr(0, 255));
}

TEST(ErrorState, EachThreadKeepsItsOwn) {
  Fail("WinAlert", "main thread", rverr::kAddAlerts);
  // Promises rather than std::barrier, whose waits hang with this toolchain.
  std::promise<void> otherHasFailed, mainHasCleared;
  std::thread other([&] {
    rt::ThreadScope attached;
    // A new thread starts with a clear state.
    EXPECT_EQ(RovalentErrorCode(), 0);
    EXPECT_EQ(RovalentErrorText(), Blanks(255));
    EXPECT_EQ(RovalentErrorProc(), Blanks(255));
    Fail("ds_VisibleOnDesktop", "other thread", rverr::kVisibleOnDesktop);
    otherHasFailed.set_value();
    mainHasCleared.get_future().wait();
    EXPECT_EQ(RovalentErrorCode(), rverr::kVisibleOnDesktop);
    EXPECT_EQ(rt::Clip(RovalentErrorText()), "other thread");
    EXPECT_EQ(ErrorCodeText(0, 1), "ds_VisibleOnDesktop error, other thread, ds_VisibleOnDesktop");
  });
  otherHasFailed.get_future().wait();
  EXPECT_EQ(RovalentErrorCode(), rverr::kAddAlerts);
  EXPECT_EQ(rt::Clip(RovalentErrorText()), "main thread");
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "WinAlert");
  ClearRovalentError("ds_Sleep");
  mainHasCleared.set_value();
  other.join();
  EXPECT_EQ(RovalentErrorCode(), 0);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_Sleep");
}

TEST(ErrorState, SetUnderDebugStoresTheCodeAndReturns) {
  testsupport::CommandLineScope line("/debug");
  Fail("ds_LoadDLLProc", "detail", rverr::kLoadDLLProc);
  EXPECT_EQ(RovalentErrorCode(), rverr::kLoadDLLProc);
  EXPECT_EQ(rt::Clip(RovalentErrorText()), "detail");
}

TEST(LastErrorText, SystemTextWithoutItsFinalLineEnd) {
  const struct {
    DWORD error;
    std::string expected;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, SystemText(ERROR_FILE_NOT_FOUND)},
      {ERROR_ACCESS_DENIED, SystemText(ERROR_ACCESS_DENIED)},
      {ERROR_ALREADY_EXISTS, SystemText(ERROR_ALREADY_EXISTS)},
      {0x1FFFFFFF, ""},  // no text at all
  };
  for (const auto& c : cases) {
    std::string expected = c.expected;
    if (expected.ends_with("\r\n")) expected.resize(expected.size() - 2);
    ::SetLastError(c.error);
    EXPECT_EQ(LastErrorText(), expected) << c.error;
  }
  // Only the one final line end goes.
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_FALSE(LastErrorText().ends_with("\n"));
  EXPECT_FALSE(LastErrorText().empty());
}

TEST(HexTexts, FixedWidthUpperCaseWithOverflowMark) {
  const struct {
    std::int32_t value;
    std::uint8_t digits;
    const char* text;
  } cases[] = {
      {26, 8, "0000001A"},
      {-1, 8, "FFFFFFFF"},
      {0, 6, "000000"},
      {0xABCDEF, 6, "ABCDEF"},
      {0x1000000, 6, "#00000"},  // 16 to the power 6
      {0x1000001, 6, "#00001"},
      {0x7FFFFFFF, 1, "#"},
      {15, 1, "F"},
      {16, 1, "#"},
      {0x12345678, 8, "12345678"},
      {Code(0xA000003A), 8, "A000003A"},
      {Code(0xA000003A), 4, "#03A"},
      {0x1A, 2, "1A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LongToHexText(c.value, c.digits), c.text) << c.value << " in " << int(c.digits);
  }
}

TEST(HexTexts, DigitCharacters) {
  EXPECT_EQ(HexDigitChar(0), '0');
  EXPECT_EQ(HexDigitChar(9), '9');
  EXPECT_EQ(HexDigitChar(10), 'A');
  EXPECT_EQ(HexDigitChar(15), 'F');
  EXPECT_EQ(HexDigitChar(16), '#');
  EXPECT_EQ(HexDigitChar(1000), '#');
  EXPECT_EQ(HexDigitChar(-1), '#');
}

}  // namespace
