#include "e2e_support.h"

#include <shlobj.h>

#include <algorithm>

namespace e2e {
namespace {

constexpr const char* kRunningMutex = "Running_Zorvant";

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

}  // namespace

std::string UserSettingsFolder() {
  char appData[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
  return WithoutTrailingSlash(appData) + "\\Orvande";
}

std::string WindowsFolder() {
  char folder[MAX_PATH] = {};
  ::GetWindowsDirectoryA(folder, MAX_PATH);
  return WithoutTrailingSlash(folder);
}

std::string Lines(std::string text) {
  std::replace(text.begin(), text.end(), '|', '\n');
  return text;
}

std::string SettingsFile() {
  return UserSettingsFolder() + "\\ZTSetup.ini";
}

std::optional<std::string> Setting(const std::string& section, const std::string& key) {
  // A default that no stored value can be tells an absent key from an empty one.
  constexpr const char* kAbsent =
      "\x01"
      "absent"
      "\x01";
  char value[1024] = {};
  ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kAbsent, value, sizeof value,
                             SettingsFile().c_str());
  if (std::string(value) == kAbsent) return {};
  return value;
}

bool WriteSetting(const std::string& section, const std::string& key, const std::string& value) {
  ::CreateDirectoryA(UserSettingsFolder().c_str(), nullptr);
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      SettingsFile().c_str()) != FALSE;
}

// ---------------------------------------------------------------------------

ProgramFolder::ProgramFolder(bool longName) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  static int counter = 0;
  path_ = WithoutTrailingSlash(temp) + "\\zv" + std::to_string(::GetCurrentProcessId()) + "_" +
          std::to_string(++counter) + (longName ? " Zorvant Program Files" : "");
  driver::RemoveTree(path_);
  if (!::CreateDirectoryA(path_.c_str(), nullptr)) {
    ADD_FAILURE() << "cannot create the program folder " << path_;
    return;
  }
  if (!::CopyFileA((driver::ExecutableFolder() + "\\zorvant.exe").c_str(),
                   File("zorvant.exe").c_str(), TRUE)) {
    ADD_FAILURE() << "cannot copy zorvant.exe from " << driver::ExecutableFolder();
  }
}

ProgramFolder::~ProgramFolder() {
  EndPrograms();
  if (!driver::RemoveTree(path_)) ADD_FAILURE() << "cannot remove the program folder " << path_;
}

void ProgramFolder::AddMainProgram(const std::string& plan) {
  if (!::CopyFileA((driver::ExecutableFolder() + "\\Tarm.exe").c_str(), File("Tarm.exe").c_str(),
                   FALSE)) {
    ADD_FAILURE() << "cannot copy Tarm.exe from " << driver::ExecutableFolder();
  }
  if (!plan.empty() && !driver::WriteFile(File("tarm-plan.ini"), plan)) {
    ADD_FAILURE() << "cannot write tarm-plan.ini";
  }
}

void ProgramFolder::EndPrograms() const {
  for (DWORD id : driver::ProcessesUnder(path_)) driver::KillProcess(id);
}

// ---------------------------------------------------------------------------

void LauncherTest::SetUp() {
  CleanSharedPlaces();
  // A stand-in main program of an earlier test may still hold the mutex
  // that tells the launcher the main program runs.
  ASSERT_TRUE(driver::WaitUntil([] { return !driver::MutexExists(kRunningMutex); }, 10000))
      << "the mutex " << kRunningMutex << " is still held by another process";
}

void LauncherTest::TearDown() {
  if (launcher_) launcher_->Kill();
  folder_.EndPrograms();
  CleanSharedPlaces();
  for (const std::string& path : removeAfter_) driver::RemoveTree(path);
}

void LauncherTest::CleanSharedPlaces() const {
  for (const std::string& path : {UserSettingsFolder(), WindowsFolder() + "\\ZTSetup.ini",
                                  WindowsFolder() + "\\Zorvant.ini"}) {
    if (!driver::RemoveTree(path)) ADD_FAILURE() << "cannot remove " << path;
  }
}

bool LauncherTest::Launch(const std::string& arguments) {
  launcher_ = driver::Process::Start(folder_.Path(), "zorvant.exe", arguments);
  return launcher_.has_value();
}

HWND LauncherTest::WaitForSplash(DWORD timeoutMs) const {
  if (!launcher_) return nullptr;
  return driver::WaitForWindow(launcher_->Id(), {.className = "RtWindow", .caption = ""},
                               timeoutMs);
}

HWND LauncherTest::StartLauncher(const std::string& arguments) {
  return Launch(arguments) ? WaitForSplash() : nullptr;
}

std::optional<DWORD> LauncherTest::WaitForExit(DWORD timeoutMs) const {
  if (!launcher_) return {};
  return launcher_->WaitForExit(timeoutMs);
}

std::optional<DWORD> LauncherTest::RunLauncher(const std::string& arguments) {
  if (!Launch(arguments)) return {};
  return WaitForExit();
}

}  // namespace e2e
