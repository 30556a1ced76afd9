// The start of the main program and the wait for its hand-shake: its
// command line, each signal that ends the wait, a main program that is not
// there, and what the window reveals when the wait goes on.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using e2e::LauncherTest;

constexpr const char* kHandshake = "Accounting Program";
constexpr const char* kDoneFile = "tarm-done";

using e2e::Lines;

// ---------------------------------------------------------------------------
// The command line.

struct CommandLineCase {
  const char* name;
  std::string arguments;  // the launcher's own
  std::string expected;   // the main program's
};

void PrintTo(const CommandLineCase& c, std::ostream* out) {
  *out << c.name;
}

class MainProgramCommandLine : public e2e::LauncherTest,
                               public testing::WithParamInterface<CommandLineCase> {
 protected:
  MainProgramCommandLine() : LauncherTest(LongFolderName{}) {}
};

TEST_P(MainProgramCommandLine, IsBuiltFromTheLaunchersOwn) {
  folder_.AddMainProgram(e2e::kPlanRecordAndRun);
  const std::optional<DWORD> code = RunLauncher(GetParam().arguments);
  ASSERT_TRUE(code) << "the launcher did not end";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(driver::KeyValue(RecordFile(), "CommandLine"), GetParam().expected);
  // It starts in the program folder.
  EXPECT_EQ(driver::KeyValue(RecordFile(), "CurrentFolder"), rt::PathLong(folder_.Path()));
}

const std::string kBase = "Tarm.exe V=Zorvant";

INSTANTIATE_TEST_SUITE_P(
    Cases, MainProgramCommandLine,
    testing::Values(
        CommandLineCase{"NoArguments", "", kBase},
        CommandLineCase{"UserAndPassword", "U=alice P=secret", kBase + " U=alice P=secret"},
        // In its own order, whatever the order given.
        CommandLineCase{"AllThree", "/C P=secret U=alice", kBase + " U=alice P=secret /C"},
        CommandLineCase{"NamesAndSwitchInLowerCase", "u=alice p=secret /c",
                        kBase + " U=alice P=secret /C"},
        CommandLineCase{"OnlyThePassword", "P=secret", kBase + " P=secret"},
        CommandLineCase{"OnlyTheSwitch", "/C", kBase + " /C"},
        CommandLineCase{"BlankUser", "U= P=secret", kBase + " P=secret"},
        CommandLineCase{"UserOfBlanks", "\"U=   \" P=secret /C", kBase + " P=secret /C"},
        // Passed on as it stands, without its quotes.
        CommandLineCase{"UserWithABlank", "\"U=John Smith\"", kBase + " U=John Smith"},
        CommandLineCase{"ExactlyTheLongestLine", "U=" + std::string(125, 'u') + " /C",
                        kBase + " U=" + std::string(125, 'u') + " /C"},
        CommandLineCase{"OneCharacterTooLong", "U=" + std::string(126, 'u') + " /C",
                        kBase + " U=" + std::string(126, 'u') + " /"},
        // Cut after the 149th character: the rest of the password and the
        // switch are lost.
        CommandLineCase{"CutAfter149Characters",
                        "U=" + std::string(100, 'u') + " P=" + std::string(40, 'p') + " /C",
                        kBase + " U=" + std::string(100, 'u') + " P=" + std::string(25, 'p')}),
    [](const testing::TestParamInfo<CommandLineCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The hand-shake.

struct HandshakeCase {
  const char* name;
  const char* plan;             // what the main program does, after [Plan]
  bool eventOfTheMutexName;     // a kernel object of that name that is no mutex
  const char* closeDownBefore;  // left from an earlier run; null: nothing
  const char* selectorBefore;   //
  bool notInstalledBox;         // the wait ends with the box
  const char* closeDownAfter;
  const char* selectorAfter;
  // "CloseDown" = "1" and "Selector" = "!" written for the main program
  // between two ticks of the wait, as one write of both would land.
  bool bothKeysAtOnce = false;
};

void PrintTo(const HandshakeCase& c, std::ostream* out) {
  *out << c.name;
}

class Handshake : public e2e::LauncherTest, public testing::WithParamInterface<HandshakeCase> {};

TEST_P(Handshake, EndsTheWait) {
  const HandshakeCase& c = GetParam();
  folder_.AddMainProgram(std::string("[Plan]\r\n") + c.plan + "\r\nDone=" + kDoneFile + "\r\n");
  rt::UniqueHandle event;
  if (c.eventOfTheMutexName) {
    event.reset(::CreateEventA(nullptr, TRUE, FALSE, "Running_Zorvant"));
    ASSERT_TRUE(event);
  }
  if (c.closeDownBefore) {
    ASSERT_TRUE(e2e::WriteSetting(kHandshake, "CloseDown", c.closeDownBefore));
  }
  if (c.selectorBefore) {
    ASSERT_TRUE(e2e::WriteSetting(kHandshake, "Selector", c.selectorBefore));
  }

  ASSERT_TRUE(Launch());
  if (c.bothKeysAtOnce) {
    HWND splash = WaitForSplash();
    ASSERT_TRUE(splash);
    ASSERT_TRUE(
        driver::WaitUntil([&] { return driver::FileExists(RecordFile()); }, e2e::kStartTimeoutMs))
        << "the main program was not started";
    ASSERT_TRUE(driver::WhileWaitingForMessages(LauncherId(),
                                                ::GetWindowThreadProcessId(splash, nullptr), [] {
                                                  e2e::WriteSetting(kHandshake, "CloseDown", "1");
                                                  e2e::WriteSetting(kHandshake, "Selector", "!");
                                                }));
  }
  if (c.notInstalledBox) {
    HWND box = driver::WaitForDialog(LauncherId(), "");
    ASSERT_TRUE(box) << "no box";
    const driver::MessageBoxView view = driver::ReadMessageBox(box);
    EXPECT_EQ(view.text,
              "Zorvant has not been installed on this machine and cannot run at this time.");
    EXPECT_EQ(view.buttons, std::vector<std::string>{"OK"});
    EXPECT_FALSE(view.icon);
    EXPECT_TRUE(LauncherRunning()) << "the launcher did not wait for the box";
    ASSERT_TRUE(driver::AnswerMessageBox(box, "OK"));
  }
  const std::optional<DWORD> code = WaitForExit();
  ASSERT_TRUE(code) << "the wait did not end";
  EXPECT_EQ(*code, 0u);

  // The main program has said everything before the keys are read.
  ASSERT_TRUE(driver::WaitUntil([&] { return driver::FileExists(folder_.File(kDoneFile)); }, 5000));
  EXPECT_EQ(e2e::Setting(kHandshake, "CloseDown"), c.closeDownAfter);
  EXPECT_EQ(e2e::Setting(kHandshake, "Selector"), c.selectorAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, Handshake,
    testing::Values(
        HandshakeCase{"TheMutex", "Mutex=hold", false, nullptr, nullptr, false, "0", "J"},
        // Reset to "0" once read.
        HandshakeCase{"CloseDownWithoutTheMutex", "CloseDown=1", false, nullptr, nullptr, false,
                      "0", "J"},
        HandshakeCase{"NotInstalled", "Selector=!", false, nullptr, nullptr, true, "0", "!"},
        // The close-down probe comes first and ends the wait: no box.
        HandshakeCase{"BothKeysAtOnce", "Record=tarm-record.txt", false, nullptr, nullptr, false,
                      "0", "!", true},
        // With the mutex there the keys are neither read nor reset.
        HandshakeCase{"TheMutexBeforeBothKeys", "Mutex=first\r\nCloseDown=1\r\nSelector=!", false,
                      nullptr, nullptr, false, "1", "!"},
        // Overwritten before the start, so they cannot end the new wait.
        HandshakeCase{"KeysLeftFromAnEarlierRun", "DelayMs=300\r\nMutex=hold", false, "1", "!",
                      false, "0", "J"},
        // An event of that name is no running main program: the wait goes
        // on to the settings probes.
        HandshakeCase{"AnEventOfTheMutexName", "DelayMs=300\r\nCloseDown=1", true, nullptr, nullptr,
                      false, "0", "J"}),
    [](const testing::TestParamInfo<HandshakeCase>& info) { return info.param.name; });

// A main program that starts while the launcher probes must never find
// the mutex there before it creates it: it would take itself for a second
// copy. The stand-in looks every millisecond for half a second of ticks.
TEST_F(LauncherTest, TheWaitNeverCreatesTheMutex) {
  folder_.AddMainProgram("[Plan]\r\nWatch=tarm-watch.txt\r\nWatchMs=500\r\nMutex=hold\r\n");
  const std::optional<DWORD> code = RunLauncher();
  ASSERT_TRUE(code) << "the wait did not end";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(driver::KeyValue(folder_.File("tarm-watch.txt"), "MutexFound"), "0");
}

// ---------------------------------------------------------------------------
// No main program.

class WithoutMainProgram : public e2e::LauncherTest {
 protected:
  // The box names the folder in its short form.
  WithoutMainProgram() : LauncherTest(LongFolderName{}) {}
};

TEST_F(WithoutMainProgram, TellsTheUserAndWritesNothing) {
  const std::string shortForm = rt::PathShort(folder_.Path());
  ASSERT_NE(shortForm, rt::PathLong(folder_.Path()));
  ASSERT_TRUE(Launch());
  HWND box = driver::WaitForDialog(LauncherId(), "Error Encountered");
  ASSERT_TRUE(box);
  const driver::MessageBoxView view = driver::ReadMessageBox(box);
  EXPECT_EQ(
      view.text,
      Lines("Zorvant cannot run at this time because Tarm.exe does not exist in|the folder: " +
            shortForm + ".|" +
            "|Try checking the properties of the icon used to run Zorvant. Make|" +
            "certain the 'Start In' property points to the actual physical location|" +
            "of the Zorvant program files. If the 'Start In' property is correct and|" +
            "this message still appears, the program must be reinstalled from the|" +
            "distribution media."));
  EXPECT_EQ(view.buttons, std::vector<std::string>{"OK"});
  EXPECT_TRUE(view.icon);
  ASSERT_TRUE(driver::AnswerMessageBox(box, "OK"));

  EXPECT_EQ(WaitForExit(), 0u);
  EXPECT_EQ(e2e::Setting(kHandshake, "Selector"), std::nullopt);
  EXPECT_EQ(e2e::Setting(kHandshake, "CloseDown"), std::nullopt);
  // The steps before it ran as always.
  EXPECT_EQ(e2e::Setting("Orvande Zorvant", "TempControlPath"), "");
}

// A "Tarm.exe" that is there but is no program that starts: the user is
// told why, and the launcher ends as without a main program.
struct UnstartableCase {
  const char* name;
  const char* content;  // null: a folder of that name
};

void PrintTo(const UnstartableCase& c, std::ostream* out) {
  *out << c.name;
}

class UnstartableMainProgram : public e2e::LauncherTest,
                               public testing::WithParamInterface<UnstartableCase> {
 protected:
  UnstartableMainProgram() : LauncherTest(LongFolderName{}) {}
};

// What the system says when this process tries to start the file.
std::string StartFailureText(const std::string& program) {
  std::string line = "Tarm.exe V=Zorvant";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &started)) {
    ::TerminateProcess(started.hProcess, 1);
    rt::UniqueHandle process(started.hProcess), thread(started.hThread);
    return "it started";
  }
  const DWORD error = ::GetLastError();
  char text[512] = {};
  DWORD n =
      ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0, text, sizeof text, nullptr);
  if (n >= 2 && text[n - 2] == '\r' && text[n - 1] == '\n') n -= 2;
  return std::string(text, n);
}

TEST_P(UnstartableMainProgram, IsReportedAndTheLauncherEnds) {
  const UnstartableCase& c = GetParam();
  const std::string program = folder_.File("Tarm.exe");
  if (c.content) {
    ASSERT_TRUE(driver::WriteFile(program, c.content));
  } else {
    ASSERT_TRUE(::CreateDirectoryA(program.c_str(), nullptr));
  }
  const std::string reason = StartFailureText(program);
  ASSERT_NE(reason, "it started");
  ASSERT_TRUE(Launch());
  HWND box = driver::WaitForDialog(LauncherId(), "Error Encountered");
  ASSERT_TRUE(box) << "no box";
  const driver::MessageBoxView view = driver::ReadMessageBox(box);
  EXPECT_EQ(view.text,
            Lines("Zorvant cannot run at this time because Tarm.exe could not be started in|the "
                  "folder: " +
                  rt::PathShort(folder_.Path()) + ".||" + reason));
  EXPECT_EQ(view.buttons, std::vector<std::string>{"OK"});
  EXPECT_TRUE(view.icon);
  ASSERT_TRUE(driver::AnswerMessageBox(box, "OK"));
  EXPECT_EQ(WaitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, UnstartableMainProgram,
                         testing::Values(UnstartableCase{"AFolder", nullptr},
                                         UnstartableCase{"AnEmptyFile", ""},
                                         UnstartableCase{"AText", "not a program"}),
                         [](const testing::TestParamInfo<UnstartableCase>& info) {
                           return info.param.name;
                         });

// ---------------------------------------------------------------------------
// A wait that goes on: after 150 ticks the window shows what it hid.

struct RevealCase {
  const char* name;
  bool firstRun;  // the settings file cannot be made
  const char* prompt;
  std::vector<int> shown;  // control numbers
};

void PrintTo(const RevealCase& c, std::ostream* out) {
  *out << c.name;
}

class Reveal : public e2e::LauncherTest, public testing::WithParamInterface<RevealCase> {};

double ProgressPercent(HWND bar) {
  const std::optional<LRESULT> position = driver::Send(bar, PBM_GETPOS);
  const std::optional<LRESULT> high = driver::Send(bar, PBM_GETRANGE, FALSE, 0);
  if (!position || !high || *high == 0) return -1;
  return 100.0 * static_cast<double>(*position) / static_cast<double>(*high);
}

TEST_P(Reveal, ShowsTheControlsAfter150TicksAndTheCloseButtonEndsTheWait) {
  const RevealCase& c = GetParam();
  if (c.firstRun) {
    // A file where the per-user folder belongs: nothing can be stored.
    ASSERT_TRUE(driver::WriteFile(e2e::UserSettingsFolder(), "not a folder"));
  }
  // A main program that ends without a word: only a close ends the wait.
  folder_.AddMainProgram();
  HWND splash = StartLauncher();
  ASSERT_TRUE(splash);
  const ULONGLONG opened = ::GetTickCount64();
  HWND closeButton = nullptr;
  ASSERT_TRUE(driver::WaitUntil(
      [&] {
        closeButton = driver::FindChild(splash, 1);
        return closeButton && ::IsWindowVisible(closeButton);
      },
      5000))
      << "nothing was revealed";
  // 150 ticks of 10 ms after the wait began, which is after the window
  // showed; a little is allowed for seeing the window late.
  EXPECT_GE(::GetTickCount64() - opened, 1400u);

  std::vector<int> shown;
  for (int control = 1; control <= 6; ++control) {
    HWND child = driver::FindChild(splash, control);
    if (!::IsWindowVisible(child)) continue;
    shown.push_back(control);
    // The close button and the texts and pictures are the runtime's own;
    // the progress bar is the system's.
    const char* kind = control == 1 ? "RtButton" : control == 5 ? "msctls_progress32" : "RtControl";
    EXPECT_EQ(driver::ClassName(child), kind) << "control " << control;
  }
  EXPECT_EQ(shown, c.shown);
  EXPECT_EQ(driver::WindowText(closeButton), "X");
  EXPECT_EQ(driver::WindowText(driver::FindChild(splash, 2)), "All Rights Reserved Worldwide");
  SYSTEMTIME today{};
  ::GetLocalTime(&today);
  EXPECT_EQ(driver::WindowText(driver::FindChild(splash, 3)),
            "Copyright \xA9 " + std::to_string(today.wYear) + " Orvande");
  EXPECT_EQ(driver::WindowText(driver::FindChild(splash, 4)), c.prompt);
  // Raised by 0.018 on every tick of a first run only: 2.7 at the 150th.
  // Otherwise the bar is never shown, and never made.
  HWND bar = driver::FindChild(splash, 5);
  if (c.firstRun) {
    ASSERT_TRUE(bar);
    EXPECT_EQ(driver::Describe(bar).className, "msctls_progress32");
    const double percent = ProgressPercent(bar);
    EXPECT_GE(percent, 2.69);
    EXPECT_LE(percent, 4.5);
  } else {
    EXPECT_FALSE(bar);
  }
  ::Sleep(300);  // painted
  driver::SaveWindowShot(splash, driver::ExecutableFolder() + "\\e2e-reveal-" + c.name + ".png");

  // Clicked as a person clicks it: with the mouse.
  ASSERT_TRUE(driver::ClickWithMouse(closeButton));
  EXPECT_EQ(WaitForExit(), 0u);
  if (c.firstRun) {
    EXPECT_EQ(driver::ReadFile(e2e::UserSettingsFolder()), "not a folder");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Waits, Reveal,
    testing::Values(RevealCase{"LoaderPicture", false, "Loading, Please Wait ...", {1, 2, 3, 4, 6}},
                    RevealCase{"FirstRunProgressBar",
                               true,
                               "Please be patient while the software is configured to run on "
                               "this computer...",
                               {1, 2, 3, 4, 5}}),
    [](const testing::TestParamInfo<RevealCase>& info) { return info.param.name; });

}  // namespace
