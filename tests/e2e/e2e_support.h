// The harness of the end-to-end tests: a fresh program folder per test with
// the real zorvant.exe (and, when a test asks, the stand-in main program),
// the shared places of the Wine prefix cleaned before and after, and the
// launcher started there the way a shortcut starts it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver.h"
#include "file_tools.h"
#include "files.h"

namespace e2e {

inline constexpr DWORD kStartTimeoutMs = 10000;
inline constexpr DWORD kExitTimeoutMs = 5000;

// %APPDATA%\Orvande, the per-user settings folder of the launcher.
std::string UserSettingsFolder();
// The Windows directory, where older settings files may lie.
std::string WindowsFolder();

// A box's text as the driver reads it, from the text as the launcher writes
// it: '|' starts a new line.
std::string Lines(std::string text);

// The launcher's per-user settings file, %APPDATA%\Orvande\ZTSetup.ini.
std::string SettingsFile();
// A key of the settings file as the system's profile functions read it;
// nothing when the key (or the file) is absent.
std::optional<std::string> Setting(const std::string& section, const std::string& key);
// Writes a key of the settings file, creating the per-user folder when it
// is missing.
bool WriteSetting(const std::string& section, const std::string& key, const std::string& value);

// The stand-in's plans (tools/tarm/tarm.cpp). The record lies in the program
// folder under this name.
inline constexpr const char* kRecordFile = "tarm-record.txt";
// Records its start, then holds the mutex that tells the launcher the main
// program runs: the launcher's usual end.
inline constexpr const char* kPlanRecordAndRun =
    "[Plan]\r\nRecord=tarm-record.txt\r\nMutex=hold\r\n";

// A program folder of its own under the temporary folder, holding
// zorvant.exe (the build puts it, Tarm.exe and the wallpaper picture beside
// the test executable). Programs still running from it are ended, and the
// folder is removed, when the object goes.
class ProgramFolder {
 public:
  // A short name without blanks, whose short form is the same path, or
  // with `longName` a name with blanks that is no 8.3 name, so that the
  // short and the long form of the folder differ.
  explicit ProgramFolder(bool longName = false);
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;
  ~ProgramFolder();

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  // Puts Tarm.exe into the folder with the given content of its
  // "tarm-plan.ini" (see tools/tarm/tarm.cpp); no plan file when empty.
  void AddMainProgram(const std::string& plan = {});
  // Ends every program that runs from this folder.
  void EndPrograms() const;

 private:
  std::string path_;
};

// One program folder and one launcher per test; the per-user folder and the
// old settings files of the Windows directory are removed before and after,
// since the prefix is shared by every test.
class LauncherTest : public testing::Test {
 protected:
  LauncherTest() = default;
  // With a program folder whose short and long forms differ.
  struct LongFolderName {};
  explicit LauncherTest(LongFolderName) : folder_(true) {}

  void SetUp() override;
  void TearDown() override;

  // Starts zorvant.exe in the program folder with those arguments. False
  // when it could not be started.
  bool Launch(const std::string& arguments = {});
  // The splash window once it shows (a visible top-level window of the
  // launcher of class "RtWindow" without a caption), null on time-out.
  HWND WaitForSplash(DWORD timeoutMs = kStartTimeoutMs) const;
  // Launch, then WaitForSplash.
  HWND StartLauncher(const std::string& arguments = {});
  // The launcher's exit code once it has ended, nothing on time-out.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs = kExitTimeoutMs) const;
  // Launch, then WaitForExit: for a start that needs no answer.
  std::optional<DWORD> RunLauncher(const std::string& arguments = {});
  // The stand-in's record in the program folder.
  std::string RecordFile() const { return folder_.File(kRecordFile); }
  bool LauncherRunning() const { return launcher_ && launcher_->Running(); }
  DWORD LauncherId() const { return launcher_ ? launcher_->Id() : 0; }

  // Also removed after the test, for what a test puts into shared places.
  void RemoveAfterTest(const std::string& path) { removeAfter_.push_back(path); }

  ProgramFolder folder_;

 private:
  void CleanSharedPlaces() const;

  std::optional<driver::Process> launcher_;
  std::vector<std::string> removeAfter_;
};

}  // namespace e2e
