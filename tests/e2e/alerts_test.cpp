// The library's hooks in the real launcher: the wheel alert of its splash
// window as its trace shows it, and the window's placement before it closes.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <sstream>

#include "e2e_support.h"

namespace {

using e2e::LauncherTest;

// The lines of the debug file without their time stamps; a line that does
// not start with a stamp is kept whole, so that the comparisons show it.
std::vector<std::string> TraceLines(const std::string& content) {
  static const std::regex stamp(R"(^[ 12]\d:\d\d:\d\d:\d{1,2} )");
  std::vector<std::string> lines;
  std::istringstream in(content);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch m;
    lines.push_back(std::regex_search(line, m, stamp) ? m.suffix().str() : line);
  }
  return lines;
}

std::size_t Find(const std::vector<std::string>& lines, const std::string& text,
                 std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == text) return i;
  }
  return lines.size();
}

std::string Handle(HWND window) {
  return std::to_string(static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window)));
}

class LauncherAlerts : public LauncherTest {
 protected:
  // A launcher that waits for a main program that has ended at once, with
  // the alert traces going to a file.
  HWND Start() {
    folder_.AddMainProgram();
    trace_ = folder_.File("trace.txt");
    HWND splash = StartLauncher("/debugWinAlert \"DebugOutputFile=" + trace_ + "\"");
    // The alert is registered just after the window shows.
    const bool registered = driver::WaitUntil(
        [this] {
          return driver::ReadFile(trace_).find("WinAlert. Alerting: ") != std::string::npos;
        },
        e2e::kStartTimeoutMs);
    EXPECT_TRUE(registered) << driver::ReadFile(trace_);
    return splash;
  }
  HWND ClientArea(HWND splash) const {
    for (const driver::WindowInfo& child : driver::ChildWindows(splash)) {
      if (child.className == "RtClient") return child.hwnd;
    }
    return nullptr;
  }
  void CloseAndWait(HWND splash) {
    ASSERT_TRUE(driver::RequestClose(splash));
    EXPECT_EQ(WaitForExit(), 0u);
  }

  std::string trace_;
};

TEST_F(LauncherAlerts, TheSplashWritesTheLinesOfItsWheelAlert) {
  HWND splash = Start();
  ASSERT_TRUE(splash);
  CloseAndWait(splash);
  const std::string content = driver::ReadFile(trace_);
  const std::vector<std::string> lines = TraceLines(content);
  const std::size_t top = Find(lines, "WinAlert. Top. In: 522  Action: 48");
  ASSERT_LT(top + 1, lines.size()) << content;
  EXPECT_EQ(lines[top + 1], "WinAlert. Alerting: 522 RV::WM_MOUSEWHEEL Action: 48");
  // The alert is registered once.
  EXPECT_EQ(Find(lines, "WinAlert. Top. In: 522  Action: 48", top + 1), lines.size());
  // Every line of the file carries its stamp and ends with CR LF.
  EXPECT_TRUE(content.ends_with("\r\n"));
  std::istringstream in(content);
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(std::regex_search(line, std::regex(R"(^[ 12]\d:\d\d:\d\d:\d{1,2} .*\r$)"))) << line;
  }
}

TEST_F(LauncherAlerts, ACtrlWheelIsTracedAndSwallowedAPlainWheelPassesOn) {
  HWND splash = Start();
  ASSERT_TRUE(splash);
  HWND client = ClientArea(splash);
  ASSERT_TRUE(client);
  // The positions tell the two turns apart in the trace.
  const LPARAM ctrlAt = MAKELPARAM(11, 22), plainAt = MAKELPARAM(33, 44);
  EXPECT_EQ(driver::Send(client, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA), ctrlAt), 0);
  EXPECT_TRUE(driver::Send(client, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), plainAt));
  EXPECT_TRUE(LauncherRunning());
  CloseAndWait(splash);

  const std::vector<std::string> lines = TraceLines(driver::ReadFile(trace_));
  auto wheelLine = [](const char* p1, LPARAM at, HWND window) {
    return "Thread: 1 Windows Message: 522 RV::WM_MOUSEWHEEL p1=" + std::string(p1) +
           " p2=" + std::to_string(at) + " handle=" + Handle(window);
  };
  const std::vector<std::string> lookup = {
      "Found message 522 in ma Queue", "Found message 522 in wa Queue",
      "About to post: wa:action: 48 PostEvent? 0 PostUser? 0 mess: 522"};

  const std::size_t ctrl = Find(lines, wheelLine("7864328", ctrlAt, client));
  ASSERT_LT(ctrl + 3, lines.size()) << driver::ReadFile(trace_);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + ctrl + 1, lines.begin() + ctrl + 4), lookup);
  // Swallowed: the client area never handed it to its frame.
  EXPECT_EQ(Find(lines, wheelLine("7864328", ctrlAt, splash)), lines.size());

  const std::size_t plain = Find(lines, wheelLine("7864320", plainAt, client));
  ASSERT_LT(plain + 3, lines.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin() + plain + 1, lines.begin() + plain + 4), lookup);
  // Passed on: the client area's own handling sends it up to the frame.
  EXPECT_LT(Find(lines, wheelLine("7864320", plainAt, splash), plain), lines.size());
}

TEST_F(LauncherAlerts, ASplashOffTheDesktopIsPlacedInsideItBeforeItCloses) {
  HWND splash = Start();
  ASSERT_TRUE(splash);
  ASSERT_TRUE(
      ::SetWindowPos(splash, nullptr, -120, -60, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_EQ(driver::WindowRect(splash).left, -120);
  CloseAndWait(splash);

  // The frame's moves, as the trace names them, after the close request.
  const std::vector<std::string> lines = TraceLines(driver::ReadFile(trace_));
  const std::string close =
      "Thread: 1 Windows Message: 16 RV::WM_CLOSE p1=0 p2=0 handle=" + Handle(splash);
  const std::size_t closed = Find(lines, close);
  ASSERT_LT(closed, lines.size()) << driver::ReadFile(trace_);
  const std::regex move(
      "^Thread: 1 Windows Message: 3 RV::WM_MOVE p1=0 p2=(-?\\d+) handle=" + Handle(splash) + "$");
  std::vector<POINT> moves;
  for (std::size_t i = closed; i < lines.size(); ++i) {
    std::smatch m;
    if (!std::regex_match(lines[i], m, move)) continue;
    const auto at = static_cast<LPARAM>(std::stol(m[1].str()));
    moves.push_back({static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))});
  }
  // Its left and then its top edge were brought back: the client area then
  // lay inside the desktop, just within its edge.
  ASSERT_FALSE(moves.empty()) << "the window did not move after the close request";
  EXPECT_LE(moves.size(), 2u);
  EXPECT_GE(moves.back().x, 0);
  EXPECT_GE(moves.back().y, 0);
  EXPECT_LE(moves.back().x, ::GetSystemMetrics(SM_CXBORDER) + 1);
  EXPECT_LE(moves.back().y, ::GetSystemMetrics(SM_CYBORDER) + 1);
}

}  // namespace

// An update that cannot be installed is only told in the debug output.
TEST_F(LauncherAlerts, AnUpdateThatCannotBeInstalledWritesOneDebugLine) {
  ASSERT_TRUE(::CreateDirectoryA(folder_.File("ztUtemp").c_str(), nullptr));
  ASSERT_TRUE(driver::WriteFile(folder_.File("ztUtemp\\report.dat"), "new"));
  ASSERT_TRUE(driver::WriteFile(folder_.File("report.dat"), "old"));
  // An installed copy that another program holds open cannot be replaced.
  rt::UniqueFileHandle held(::CreateFileA(folder_.File("report.dat").c_str(), GENERIC_READ, 0,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  folder_.AddMainProgram();
  trace_ = folder_.File("trace.txt");
  HWND splash = StartLauncher("\"DebugOutputFile=" + trace_ + "\"");
  ASSERT_TRUE(splash);
  // The launcher goes on to wait for its main program, showing nothing else.
  ASSERT_TRUE(
      driver::WaitUntil([&] { return !driver::ReadFile(trace_).empty(); }, e2e::kStartTimeoutMs));
  EXPECT_EQ(driver::TopLevelWindows(LauncherId()), std::vector<HWND>{splash});
  CloseAndWait(splash);
  held.reset();

  auto systemText = [](DWORD error) {
    char text[256] = "";
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0, text, sizeof text, nullptr);
    std::string reason = text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    return reason;
  };
  const std::vector<std::string> lines = TraceLines(driver::ReadFile(trace_));
  ASSERT_EQ(lines.size(), 1u);
  // The system's refusal: access denied, or a sharing violation.
  EXPECT_TRUE(lines[0] == "Update not installed: report.dat, " + systemText(ERROR_ACCESS_DENIED) ||
              lines[0] ==
                  "Update not installed: report.dat, " + systemText(ERROR_SHARING_VIOLATION))
      << lines[0];
  // Both copies stay for the next start.
  EXPECT_EQ(driver::ReadFile(folder_.File("report.dat")), "old");
  EXPECT_EQ(driver::ReadFile(folder_.File("ztUtemp\\report.dat")), "new");
}
