// The stand-in main program does what its plan says: the tests of the
// launcher's hand-shake and the start benchmarks stand on it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "e2e_support.h"

namespace {

using e2e::LauncherTest;

constexpr const char* kRunningMutex = "Running_Zorvant";

std::string UserSetting(const char* key) {
  char value[64] = {};
  ::GetPrivateProfileStringA("Accounting Program", key, "(none)", value, sizeof value,
                             (e2e::UserSettingsFolder() + "\\ZTSetup.ini").c_str());
  return value;
}

unsigned long long Now() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

TEST_F(LauncherTest, StandInFollowsItsPlan) {
  // The launcher creates the per-user folder before it starts the main
  // program.
  ASSERT_TRUE(::CreateDirectoryA(e2e::UserSettingsFolder().c_str(), nullptr));
  folder_.AddMainProgram(
      "[Plan]\r\nRecord=tarm-record.txt\r\nCloseDown=1\r\nSelector=!\r\n"
      "Mutex=hold\r\nHoldMs=1000\r\n");
  const unsigned long long before = Now();
  const auto tarm = driver::Process::Start(folder_.Path(), "Tarm.exe", "V=Zorvant U=someone /C");
  ASSERT_TRUE(tarm);
  EXPECT_TRUE(driver::WaitUntil([] { return driver::MutexExists(kRunningMutex); }, 5000));
  // What the fixture ends after each test.
  EXPECT_EQ(driver::ProcessesUnder(folder_.Path()), std::vector<DWORD>{tarm->Id()});
  EXPECT_EQ(driver::ProcessesOf(folder_.File("TARM.EXE")), std::vector<DWORD>{tarm->Id()});

  const std::string record = folder_.File("tarm-record.txt");
  EXPECT_EQ(driver::KeyValue(record, "CommandLine"),
            "\"" + folder_.File("Tarm.exe") + "\" V=Zorvant U=someone /C");
  EXPECT_EQ(driver::KeyValue(record, "CurrentFolder"), folder_.Path());
  const unsigned long long started =
      std::strtoull(driver::KeyValue(record, "StartFileTime").value_or("0").c_str(), nullptr, 10);
  EXPECT_GE(started, before);
  EXPECT_LE(started, Now());
  EXPECT_NE(driver::KeyValue(record, "StartCounter"), std::nullopt);
  EXPECT_NE(driver::KeyValue(record, "CounterFrequency"), std::nullopt);
  EXPECT_EQ(UserSetting("CloseDown"), "1");
  EXPECT_EQ(UserSetting("Selector"), "!");

  // It lets the mutex go when its hold time is over.
  EXPECT_EQ(tarm->WaitForExit(5000), 0u);
  EXPECT_FALSE(driver::MutexExists(kRunningMutex));
}

TEST_F(LauncherTest, StandInWithoutAPlanEndsAtOnceDoingNothing) {
  folder_.AddMainProgram();
  const auto tarm = driver::Process::Start(folder_.Path(), "Tarm.exe", "V=Zorvant");
  ASSERT_TRUE(tarm);
  EXPECT_EQ(tarm->WaitForExit(2000), 0u);
  EXPECT_EQ(driver::FolderEntries(folder_.Path()),
            (std::vector<std::string>{"Tarm.exe", "zorvant.exe"}));
  EXPECT_FALSE(driver::FileExists(e2e::UserSettingsFolder()));
  EXPECT_FALSE(driver::MutexExists(kRunningMutex));
}

}  // namespace
