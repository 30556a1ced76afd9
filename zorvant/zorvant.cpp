// The launcher's program module: globals, module and thread steps, and the
// program main.
#include "zorvant.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "rovalent.h"

namespace zorvant {

std::string ControlFolderPath;
std::string UserSettingsFolder;
char WindowsFolder[kWindowsFolderBuffer] = {};
std::int32_t WindowsFolderSize = kWindowsFolderBuffer;
rt::UniqueHandle RunningMutexHandle;
rt::ScaledDecimal LauncherVersion{0, 2};

std::optional<rt::ErrorReporter> GlobalErrorReporter;
std::optional<rt::IniStore> LocalIniStore;

thread_local rt::ErrorStatus* ThreadErrorStatus = nullptr;
thread_local std::uint8_t ThreadRequest = 0;
thread_local std::uint8_t ThreadResponse = 0;
thread_local std::int32_t ThreadVcrRequest = 0;

namespace {

// The threads' error-status objects. Per-thread values hold only a pointer:
// thread-local objects with destructors are not safe on secondary threads
// with this toolchain.
std::mutex g_statusesMutex;
std::map<DWORD, std::unique_ptr<rt::ErrorStatus>> g_statuses;

void ProgramModuleInit() {
  ControlFolderPath = rt::Fixed("", kPathWidth);
  UserSettingsFolder = rt::Fixed("", kPathWidth);
  GlobalErrorReporter.emplace();
  LocalIniStore.emplace();
  rt::ControlTypeRegister(rt::ControlType::StrString);
  rt::ControlTypeRegister(rt::ControlType::String);
  rt::ControlTypeRegister(rt::ControlType::Panel);
}

void ProgramModuleTerm() {
  LocalIniStore.reset();
  GlobalErrorReporter.reset();
}

void ProgramThreadInit() {
  {
    std::lock_guard lock(g_statusesMutex);
    auto& status = g_statuses[::GetCurrentThreadId()];
    status = std::make_unique<rt::ErrorStatus>();
    ThreadErrorStatus = status.get();
  }
  ThreadRequest = 0;
  ThreadResponse = 0;
  ThreadVcrRequest = 0;
}

void ProgramThreadTerm() {
  std::lock_guard lock(g_statusesMutex);
  g_statuses.erase(::GetCurrentThreadId());
  ThreadErrorStatus = nullptr;
}

}  // namespace

const rt::Module ProgramModule{"zorvant", ProgramModuleInit, ProgramModuleTerm, ProgramThreadInit,
                               ProgramThreadTerm};

void LauncherMain() {
  GlobalErrorReporter->SetUp(*ThreadErrorStatus);
  LocalIniStore->SetUp(".\\zorvant.INI", 0);
  WindowsFolderSize = kWindowsFolderBuffer;
  ::GetWindowsDirectoryA(WindowsFolder, static_cast<UINT>(WindowsFolderSize));
  Main();
  LocalIniStore->TearDown();
}

}  // namespace zorvant

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The library's modules start before the launcher's own, and end after.
  std::vector<const rt::Module*> modules(RovalentModules().begin(), RovalentModules().end());
  modules.push_back(&zorvant::ProgramModule);
  modules.push_back(&zorvant::MainModule);
  // The launcher's main always answers 0, which is its exit code.
  static_cast<void>(rt::RunProgram(modules, [] {
    zorvant::LauncherMain();
    return 0;
  }));
  return 0;
}
