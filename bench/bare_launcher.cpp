// The bare launcher that the benchmarks measure the real one against. It
// shows a borderless window of the splash window's size with a plain painted
// background (no pictures, no texts), starts the main program as the launcher
// does and waits for the same signals in the same way, on a 10 ms timer with
// the mutex probe and the two reads of the per-user settings on every tick,
// and does nothing else: no settings steps, no animation.
//
// The window is a dialog: the system measures its dialog units in the window
// font just as the runtime measures the splash window's, so on a prefix whose
// window font comes out wider the bare window is wider too.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "borderless_dialog.h"
#include "handles.h"

namespace {

// The splash window's layout: its size in dialog units and its window font.
constexpr short kWidthDlu = 300, kHeightDlu = 350;
constexpr WORD kFontPoints = 8;
constexpr const wchar_t* kFontFace = L"Microsoft Sans Serif";

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
  const rt::UniqueWindow window =
      dialog::CreateBorderless(kWidthDlu, kHeightDlu, kFontFace, kFontPoints);
  ::ShowWindow(window.get(), SW_SHOWNORMAL);
  ::UpdateWindow(window.get());

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
  ::SetTimer(window.get(), 1, 10, nullptr);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && Probe(file)) break;
    ::DispatchMessageA(&msg);
  }
  return 0;
}
