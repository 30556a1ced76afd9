// The bare launcher that the benchmarks measure the real one against: it
// starts the main program as the launcher does and waits for the same
// signals in the same way, on a 10 ms timer with the mutex probe and the two
// reads of the per-user settings on every tick, and does nothing else: no
// window, no pictures, no settings steps.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "handles.h"

namespace {

std::string SettingsFile() {
  char appData[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
  return std::string(appData) + "\\Orvande\\ZTSetup.ini";
}

std::string Read(const char* key, const char* fallback, const std::string& file) {
  char value[33] = {};
  ::GetPrivateProfileStringA("Accounting Program", key, fallback, value, sizeof value,
                             file.c_str());
  return value;
}

// True when the wait ends.
bool Probe(const std::string& file) {
  if (rt::UniqueHandle(::OpenMutexA(SYNCHRONIZE, FALSE, "Running_Zorvant"))) return true;
  if (Read("CloseDown", "0", file) == "1") {
    ::WritePrivateProfileStringA("Accounting Program", "CloseDown", "0", file.c_str());
    return true;
  }
  return Read("Selector", "J", file) == "!";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string file = SettingsFile();
  std::string command = "Tarm.exe V=Zorvant";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::SetTimer(nullptr, 0, 10, nullptr);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && Probe(file)) break;
    ::DispatchMessageA(&msg);
  }
  return 0;
}
