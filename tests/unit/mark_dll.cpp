// A DLL that leaves a file "<its own path>.loaded" when a process loads it.
// Tests put it, under a system DLL's name, where no program may load it from.
#include <windows.h>

#include <string>

#include "handles.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  const std::string mark = std::string(path, n) + ".loaded";
  rt::UniqueFileHandle file(
      ::CreateFileA(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  return TRUE;
}
