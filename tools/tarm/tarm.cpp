// Tarm.exe, the stand-in main program for end-to-end tests and the demo.
//
// It has no window. What it does comes from section [Plan] of the file
// "tarm-plan.ini" in its current folder (the program folder: the launcher
// starts it there). Without that file, or with an empty plan, it ends at once
// with exit code 0. Keys, in the order in which they act:
//
//   Record=NAME   first of all, write to NAME (relative to the current folder)
//                 the lines "CommandLine=" (GetCommandLineA, verbatim),
//                 "CurrentFolder=", "StartFileTime=" (FILETIME as a decimal
//                 number), "StartCounter=" and "CounterFrequency=" (the
//                 performance counter), all taken when the program started.
//   DelayMs=N     then wait N ms before acting.
//   Watch=NAME    then, for WatchMs ms (default 500), look again and again
//                 without a pause whether "Running_Zorvant" exists, as a main
//                 program starting at any of those moments would, and write
//                 to NAME the line "MutexFound=" with how often it did.
//   CloseDown=V   write "CloseDown" = V into section "Accounting Program" of
//                 the per-user %APPDATA%\Orvande\ZTSetup.ini (the folder is not
//                 created: a missing folder leaves the value unwritten).
//   Selector=V    likewise for "Selector". CloseDown is written first, so that
//                 a launcher probing between the two writes never sees the
//                 Selector alone.
//   Mutex=hold    after the keys, create the named mutex "Running_Zorvant";
//                 Mutex=first creates it before the keys instead. Either way
//                 it is held for HoldMs ms (default 5000), then the program
//                 ends.
//   Done=NAME     once the keys are written and the mutex is created, write
//                 to NAME (relative to the current folder) the line
//                 "DoneCounter=" (the performance counter at that moment), so
//                 that a test knows when everything has been said and a
//                 benchmark when the mutex appeared.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "handles.h"

namespace {

struct StartStamp {
  FILETIME fileTime{};
  LARGE_INTEGER counter{};
  LARGE_INTEGER frequency{};
};

// Not the runtime's rt::CurrentFolder: linking the runtime would have the
// stand-in load GDI+, the common controls and user32 before the first
// instruction, whose moment the benchmarks take as the main program's start.
std::string CurrentFolder() {
  char buffer[MAX_PATH] = {};
  const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, buffer);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

// The profile API takes a name without a folder from the Windows directory.
std::string PlanValue(const std::string& plan, const char* key) {
  char buffer[1024] = {};
  ::GetPrivateProfileStringA("Plan", key, "", buffer, sizeof buffer, plan.c_str());
  return buffer;
}

unsigned long PlanNumber(const std::string& plan, const char* key, unsigned long fallback) {
  const std::string text = PlanValue(plan, key);
  return text.empty() ? fallback : std::strtoul(text.c_str(), nullptr, 10);
}

void WriteText(const std::string& path, const std::string& text) {
  rt::UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void WriteRecord(const std::string& path, const StartStamp& start) {
  const unsigned long long fileTime =
      (static_cast<unsigned long long>(start.fileTime.dwHighDateTime) << 32) |
      start.fileTime.dwLowDateTime;
  std::string text;
  text += "CommandLine=" + std::string(::GetCommandLineA()) + "\r\n";
  text += "CurrentFolder=" + CurrentFolder() + "\r\n";
  text += "StartFileTime=" + std::to_string(fileTime) + "\r\n";
  text += "StartCounter=" + std::to_string(start.counter.QuadPart) + "\r\n";
  text += "CounterFrequency=" + std::to_string(start.frequency.QuadPart) + "\r\n";
  WriteText(path, text);
}

std::string UserSettingsFile() {
  char appData[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) {
    return {};
  }
  return std::string(appData) + "\\Orvande\\ZTSetup.ini";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Taken before anything else, so that a benchmark sees the start latency.
  StartStamp start;
  ::GetSystemTimeAsFileTime(&start.fileTime);
  ::QueryPerformanceCounter(&start.counter);
  ::QueryPerformanceFrequency(&start.frequency);

  const std::string folder = CurrentFolder();
  const std::string plan = folder + "\\tarm-plan.ini";
  if (::GetFileAttributesA(plan.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;

  if (const std::string record = PlanValue(plan, "Record"); !record.empty()) {
    WriteRecord(folder + "\\" + record, start);
  }
  if (const unsigned long delay = PlanNumber(plan, "DelayMs", 0); delay > 0) ::Sleep(delay);
  if (const std::string watch = PlanValue(plan, "Watch"); !watch.empty()) {
    const ULONGLONG end = ::GetTickCount64() + PlanNumber(plan, "WatchMs", 500);
    unsigned long found = 0;
    while (::GetTickCount64() < end) {
      if (rt::UniqueHandle(::OpenMutexA(SYNCHRONIZE, FALSE, "Running_Zorvant"))) ++found;
    }
    WriteText(folder + "\\" + watch, "MutexFound=" + std::to_string(found) + "\r\n");
  }

  const std::string mutexPlan = PlanValue(plan, "Mutex");
  rt::UniqueHandle mutex;
  const auto takeMutex = [&mutex] {
    mutex.reset(::CreateMutexA(nullptr, FALSE, "Running_Zorvant"));
  };
  if (::lstrcmpiA(mutexPlan.c_str(), "first") == 0) takeMutex();

  const std::string closeDown = PlanValue(plan, "CloseDown");
  const std::string selector = PlanValue(plan, "Selector");
  if (!closeDown.empty() || !selector.empty()) {
    const std::string settings = UserSettingsFile();
    if (!closeDown.empty()) {
      ::WritePrivateProfileStringA("Accounting Program", "CloseDown", closeDown.c_str(),
                                   settings.c_str());
    }
    if (!selector.empty()) {
      ::WritePrivateProfileStringA("Accounting Program", "Selector", selector.c_str(),
                                   settings.c_str());
    }
  }

  if (::lstrcmpiA(mutexPlan.c_str(), "hold") == 0) takeMutex();
  if (const std::string done = PlanValue(plan, "Done"); !done.empty()) {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    WriteText(folder + "\\" + done, "DoneCounter=" + std::to_string(now.QuadPart) + "\r\n");
  }
  if (mutex) ::Sleep(PlanNumber(plan, "HoldMs", 5000));
  return 0;
}
