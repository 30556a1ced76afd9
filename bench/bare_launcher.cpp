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

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "handles.h"

namespace {

// The splash window's layout: its size in dialog units and its window font.
constexpr short kWidthDlu = 300, kHeightDlu = 350;
constexpr WORD kFontPoints = 8;
constexpr wchar_t kFontFace[] = L"Microsoft Sans Serif";

// An in-memory dialog template without controls, menu, class or title;
// DS_SETFONT adds the point size and the face after the title.
std::vector<WORD> DialogTemplate() {
  DLGTEMPLATE head{};
  head.style = WS_POPUP | WS_BORDER | DS_SETFONT | DS_CENTER;
  head.cx = kWidthDlu;
  head.cy = kHeightDlu;
  std::vector<WORD> words(sizeof head / sizeof(WORD));
  std::memcpy(words.data(), &head, sizeof head);
  words.insert(words.end(), {0, 0, 0, kFontPoints});  // menu, class, title, points
  words.insert(words.end(), std::begin(kFontFace), std::end(kFontFace));
  return words;
}

INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::vector<WORD> dialog = DialogTemplate();
  rt::UniqueWindow window(::CreateDialogIndirectParamA(
      instance, reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), nullptr, DialogProc, 0));
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
