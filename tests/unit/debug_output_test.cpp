// The library's debug output: debugger or time-stamped file, long texts
// and writers at once, the switches, and what the event dump writes through.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "alerts_support.h"
#include "file_tools.h"
#include "test_support.h"

namespace {

using alerts::ClockAt;
using testsupport::CommandLineScope;
using testsupport::OnNewThread;

std::atomic<std::int32_t> g_clock{ClockAt(14, 3, 7, 42)};
std::int32_t FixedClock() {
  return g_clock;
}

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// The file name is shared by the process and stays once a thread has taken
// it from the command line, so every test starts and ends without one.
class DebugOutput : public testing::Test {
 protected:
  void SetUp() override { DebugFileName.Set(""); }
  void TearDown() override { DebugFileName.Set(""); }

  testsupport::SeamScope<std::int32_t (*)()> clock_{rvseam::clockNow, FixedClock};
  alerts::DebuggerMonitor debugger_;
  testsupport::TempFolder folder_;
};

TEST_F(DebugOutput, WithoutAFileTheDebuggerGetsTheTextUnstamped) {
  CommandLineScope noFile("U=someone");
  const std::string long1015(1015, 'm');
  const std::string long3000(3000, 'n');
  const struct {
    std::string text;
    std::uint8_t lineEnd;
    std::string seen;
  } cases[] = {
      {"abc   ", 1, "abc\r\n"},
      {"abc   ", 0, "abc"},
      {std::string("ab\0cd", 5), 1, "ab"},  // a zero byte ends the text, line end and all
      {long1015, 1, long1015 + "\r\n"},
      {long3000, 1, long3000 + "\r\n"},
      {"   ", 1, "\r\n"},
  };
  OnNewThread([&] {
    for (const auto& c : cases) WriteDebugText(c.text, c.lineEnd);
  });
  const std::vector<std::string> seen = debugger_.Take();
  ASSERT_EQ(seen.size(), std::size(cases));
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], cases[i].seen) << i;
  EXPECT_TRUE(rt::IsBlank(DebugFileName.Get()));
}

TEST_F(DebugOutput, AMissingFileIsCreatedAndLaterWritersAppend) {
  const std::string file = folder_.File("trace.txt");
  CommandLineScope named("DebugOutputFile=" + Quoted(file));
  g_clock = ClockAt(14, 3, 7, 42);
  OnNewThread([] { WriteDebugText("abc", 1); });
  EXPECT_EQ(driver::ReadFile(file), "14:03:07:43 abc\r\n");
  EXPECT_EQ(rt::Clip(DebugFileName.Get()), file);

  // Each writer opens the file for itself and appends behind what is there.
  g_clock = ClockAt(14, 3, 8, 0);
  OnNewThread([] { WriteDebugText("def", 1); });
  EXPECT_EQ(driver::ReadFile(file), "14:03:07:43 abc\r\n14:03:08:1 def\r\n");
  EXPECT_TRUE(debugger_.Take().empty());
}

TEST_F(DebugOutput, TheStampShowsTheHourInTwoPositionsAndTheClockModulo100) {
  const struct {
    std::int32_t clock;
    const char* stamp;
  } cases[] = {
      {ClockAt(9, 5, 3, 99), " 9:05:03:0 "},  // one more than 99 hundredths
      {ClockAt(9, 5, 3, 0), " 9:05:03:1 "},  {ClockAt(14, 3, 7, 42), "14:03:07:43 "},
      {ClockAt(0, 0, 0, 0), " 0:00:00:1 "},  {ClockAt(23, 59, 59, 98), "23:59:59:99 "},
  };
  const std::string file = folder_.File("stamps.txt");
  CommandLineScope named("DebugOutputFile=" + Quoted(file));
  std::string expected;
  OnNewThread([&] {
    for (const auto& c : cases) {
      g_clock = c.clock;
      WriteDebugText("x", 1);
      expected += std::string(c.stamp) + "x\r\n";
    }
  });
  EXPECT_EQ(driver::ReadFile(file), expected);
}

TEST_F(DebugOutput, EveryLineReachesTheFileWholeWithItsLineEnd) {
  // Texts of distinct characters, so that a cut shows where it was made.
  auto text = [](std::size_t n) {
    std::string t;
    for (std::size_t i = 0; i < n; ++i) t += static_cast<char>('a' + i % 26);
    return t;
  };
  const std::string stamp = "14:03:07:43 ";  // 12 characters, the longest
  const struct {
    std::string text;
    std::string line;
  } cases[] = {
      {text(1009), stamp + text(1009) + "\r\n"},
      // Around the size at which the stamp no longer fits a line of 1024.
      {text(1015), stamp + text(1015) + "\r\n"},
      {text(1020), stamp + text(1020) + "\r\n"},
      {text(1021) + "    ", stamp + text(1021) + "\r\n"},
      {text(3000), stamp + text(3000) + "\r\n"},
      {text(70000), stamp + text(70000) + "\r\n"},
      // A zero byte ends the text, line end and all.
      {std::string("ab\0cd", 5), stamp + "ab"},
  };
  const std::string file = folder_.File("long.txt");
  CommandLineScope named("DebugOutputFile=" + Quoted(file));
  g_clock = ClockAt(14, 3, 7, 42);
  std::string expected;
  OnNewThread([&] {
    for (const auto& c : cases) {
      WriteDebugText(c.text, 1);
      expected += c.line;
    }
  });
  const std::string written = driver::ReadFile(file);
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_EQ(written, expected);
}

// Each line is one append: the lines of writers that write at once follow
// one another, none split by another's.
TEST_F(DebugOutput, LinesOfWritersAtOnceAreNeverSplit) {
  constexpr int kWriters = 4;
  constexpr int kLines = 40;
  const std::string file = folder_.File("shared.txt");
  CommandLineScope named("DebugOutputFile=" + Quoted(file));
  g_clock = ClockAt(14, 3, 7, 42);
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([w] {
      rt::ThreadScope attached;
      const std::string line(3000, static_cast<char>('A' + w));
      for (int i = 0; i < kLines; ++i) WriteDebugText(line, 1);
    });
  }
  for (std::thread& t : writers) t.join();

  std::map<char, int> whole;
  std::istringstream in(driver::ReadFile(file));
  for (std::string line; std::getline(in, line);) {
    const std::string stamp = "14:03:07:43 ";
    ASSERT_TRUE(line.starts_with(stamp)) << line.substr(0, 40);
    const std::string body = line.substr(stamp.size());
    ASSERT_EQ(body.size(), 3001u) << body.substr(0, 40);  // with its CR
    EXPECT_EQ(body.find_first_not_of(body[0]), 3000u) << "a line split by another";
    ++whole[body[0]];
  }
  for (int w = 0; w < kWriters; ++w) EXPECT_EQ(whole[static_cast<char>('A' + w)], kLines) << w;
}

TEST_F(DebugOutput, AFileThatCannotBeOpenedSendsTheThreadsTextsToTheDebugger) {
  const std::string folder = folder_.File("missing");
  const std::string file = folder + "\\trace.txt";
  CommandLineScope named("DebugOutputFile=" + Quoted(file));
  OnNewThread([&] {
    WriteDebugText("one  ", 1);
    // The thread does not try again, even once the file could be made.
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    WriteDebugText("two", 1);
    // The debug output reports nothing.
    EXPECT_EQ(RovalentErrorCode(), 0);
  });
  EXPECT_EQ(debugger_.Take(), (std::vector<std::string>{"one\r\n", "two\r\n"}));
  EXPECT_FALSE(rt::FileExists(file));

  // Another thread makes its own attempt.
  OnNewThread([] { WriteDebugText("three", 1); });
  EXPECT_EQ(driver::ReadFile(file), "14:03:07:43 three\r\n");
  EXPECT_TRUE(debugger_.Take().empty());
}

TEST_F(DebugOutput, SwitchesAndValuesAreFoundWhateverTheirLetterCase) {
  const std::string file = folder_.File("x");
  {
    CommandLineScope all(
        "/DEBUG /debugwinalert /DEBUGWAITRELEASE /quorreldebug "
        "/checkSHUTDOWNstops debugoutputfile=" +
        Quoted(file));
    for (RvSwitch s : {RvSwitch::Debug, RvSwitch::DebugWinAlert, RvSwitch::DebugWaitRelease,
                       RvSwitch::QuorrelDebug, RvSwitch::CheckShutDownStops}) {
      EXPECT_TRUE(SwitchOn(s)) << static_cast<int>(s);
    }
    OnNewThread([] { WriteDebugText("named", 1); });
    EXPECT_EQ(driver::ReadFile(file), "14:03:07:43 named\r\n");
  }
  // A switch is one whole word; a replaced command line counts at once.
  CommandLineScope similar("/debugging /debugWinAlert=1 debug /QuorrelDebug");
  EXPECT_FALSE(SwitchOn(RvSwitch::Debug));
  EXPECT_FALSE(SwitchOn(RvSwitch::DebugWinAlert));
  EXPECT_FALSE(SwitchOn(RvSwitch::DebugWaitRelease));
  EXPECT_TRUE(SwitchOn(RvSwitch::QuorrelDebug));
}

TEST_F(DebugOutput, WaitAndReleaseTraceBeforeTheyTakeAndLeaveTheLock) {
  CommandLineScope traced("/debugWaitRelease");
  EXPECT_EQ(DebugWait(), 0);
  EXPECT_EQ(DebugWait(), 0);  // the lock is re-entrant
  std::atomic<bool> entered{false};
  int otherThread = 0;
  std::thread other([&] {
    rt::ThreadScope attached;
    otherThread = rt::ThreadNumber();
    static_cast<void>(DebugWait());  // checked on the test's own thread
    entered = true;
    static_cast<void>(DebugRelease());
  });
  ::Sleep(100);
  EXPECT_FALSE(entered) << "another thread got the lock while this one held it";
  EXPECT_EQ(DebugRelease(), 0);
  EXPECT_FALSE(entered);
  EXPECT_EQ(DebugRelease(), 0);
  other.join();
  EXPECT_TRUE(entered);

  const std::string other_ = std::to_string(otherThread);
  EXPECT_EQ(debugger_.Take(),
            (std::vector<std::string>{
                "Wait/Release Check. ds_Debug Wait! Thread: 1\r\n",
                "Wait/Release Check. ds_Debug Wait! Thread: 1\r\n",
                "Wait/Release Check. ds_Debug Wait! Thread: " + other_ + "\r\n",
                "Wait/Release Check. ds_Debug Release! Thread: 1\r\n",
                "Wait/Release Check. ds_Debug Release! Thread: 1\r\n",
                "Wait/Release Check. ds_Debug Release! Thread: " + other_ + "\r\n",
            }));
}

TEST_F(DebugOutput, DumpLinesAreFiledForTheViewerAndTheFirstPostsEvent1026Once) {
  auto window = rt::WindowLoad("test$windows", "QUIET");
  ASSERT_TRUE(window);
  window->Open(nullptr);
  alerts::TakeEvents(*window);

  const DebugLine line{.winCol = 0x203040,
                       .window = rt::Fixed("Main", 40),
                       .event = 515,
                       .eventCol = 0xFFFFFF,
                       .text1 = rt::Fixed(" OpenWindow", 255)};
  {
    // Without "/debug" the line is written and nothing more.
    CommandLineScope plain("");
    DS_VDQ.buffer.event = -7;
    EXPECT_EQ(DebugWriteLine(line), 0);
    EXPECT_EQ(DS_VDQ.buffer.event, -7);
    EXPECT_TRUE(alerts::TakeEvents(*window).empty());
  }
  CommandLineScope dump("/debug");
  EXPECT_EQ(DebugWriteLine(line), 0);
  // The viewer keeps no lines; the record keeps the last one.
  EXPECT_TRUE(DS_VDQ.lines.empty());
  const DebugViewLine& filed = DS_VDQ.buffer;
  EXPECT_TRUE(std::regex_match(filed.time1, std::regex(R"(\d\d:\d\d:\d\d\.\d{6})"))) << filed.time1;
  EXPECT_EQ(filed.window, rt::Fixed("Main", 40));
  EXPECT_EQ(filed.event, 515);
  EXPECT_EQ(filed.text1, rt::Fixed(" OpenWindow", 255));
  const std::int32_t columns[][4] = {
      {filed.timeCol, filed.timeCol2, filed.timeCol3, filed.timeCol4},
      {filed.windowCol, filed.windowCol2, filed.windowCol3, filed.windowCol4},
      {filed.eventCol, filed.eventCol2, filed.eventCol3, filed.eventCol4},
      {filed.textCol, filed.textCol2, filed.textCol3, filed.textCol4},
  };
  for (int c = 0; c < 4; ++c) {
    const std::int32_t behind = c == 1 ? 0x203040 : 0xFFFFFF;  // the window's own colour
    EXPECT_EQ(columns[c][0], 0) << c;
    EXPECT_EQ(columns[c][1], behind) << c;
    EXPECT_EQ(columns[c][2], 0xFFFFFF) << c;
    EXPECT_EQ(columns[c][3], 0xFF0000) << c;
  }
  EXPECT_EQ(alerts::TakeEvents(*window), std::vector<int>{rvevent::kFirstDebugLine});

  // A line without window and event, as the error logging writes it.
  EXPECT_EQ(DebugWriteLine({.eventCol = 0xFFFFFF, .text1 = rt::Fixed("AddAlerts error", 255)}), 0);
  OnNewThread([&] { EXPECT_EQ(DebugWriteLine(line), 0); });
  EXPECT_TRUE(DS_VDQ.lines.empty());
  EXPECT_TRUE(alerts::TakeEvents(*window).empty());
  EXPECT_EQ(debugger_.Take(),
            (std::vector<std::string>{"Main 515  OpenWindow\r\n", "Main 515  OpenWindow\r\n",
                                      " AddAlerts error\r\n", "Main 515  OpenWindow\r\n"}));
  window->Close();
}

TEST_F(DebugOutput, FieldTextNamesTheControlOfTheCurrentWindow) {
  auto window = rt::WindowLoad("test$windows", "PLAIN");
  ASSERT_TRUE(window);
  window->Open(nullptr);
  const struct {
    const char* description;
    const char* text;
    std::int32_t field;
    const char* result;
  } cases[] = {
      {"Accepted or MouseDown  ", "List  ", 2, "List Accepted or MouseDown, Field()=2 ?LIST1"},
      {"NewSelection, Choice()=3", "", 4, " NewSelection, Choice()=3, Field()=4 ?LIST2"},
      {"MouseUp", "T", 0, "T MouseUp, Field()=0 "},
      {"MouseUp", "T", -3, "T MouseUp, Field()=-3 "},
      {"MouseUp", "T", 99, "T MouseUp, Field()=99 "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DebugFieldText(c.description, c.text, c.field), c.result) << c.field;
  }
  window->Close();
}

}  // namespace
