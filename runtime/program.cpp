#include "program.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "handles.h"
#include "per_thread.h"
#include "window_registry.h"

namespace rt {
namespace {

std::span<const Module* const> g_modules;
std::atomic<int> g_lastThreadNumber{0};

void RunThreadStart() {
  for (const Module* m : g_modules) {
    if (m->threadInit) m->threadInit();
  }
}

void RunThreadEnd() {
  for (auto it = g_modules.rbegin(); it != g_modules.rend(); ++it) {
    if ((*it)->threadTerm) (*it)->threadTerm();
  }
}

void RunModuleEnd() {
  for (auto it = g_modules.rbegin(); it != g_modules.rend(); ++it) {
    if ((*it)->moduleTerm) (*it)->moduleTerm();
  }
}

// The calling thread's place in the runtime; trivially destructible, as
// every thread-local value (per_thread.h says why).
struct ThreadRecord {
  int number = 0;
  bool ended = false;
};

thread_local ThreadRecord t_thread;
thread_local int t_errorCode = 0;

void EndThread() {
  if (t_thread.number == 0 || t_thread.ended) return;
  t_thread.ended = true;
  RunThreadEnd();
  detail::ThreadObjectsEnd();
}

// Windows calls this on every thread that ends. A plain Windows thread still
// has its thread-local values here, so its end steps run and its objects go
// (also those of a thread that was never attached); for a thread of the C
// runtime they are gone already and it must end its steps itself
// (ThreadDetachCurrent or ThreadScope).
void NTAPI OnThreadLifecycle(PVOID, DWORD reason, PVOID) {
  if (reason != DLL_THREAD_DETACH) return;
  EndThread();
  detail::ThreadObjectsEnd();
}

void Attach() {
  t_thread.number = ++g_lastThreadNumber;
  detail::ThreadObjectsAttach(t_thread.number);
  RunThreadStart();
}

}  // namespace

int RunProgram(std::span<const Module* const> modules, const std::function<int()>& main) {
  g_modules = modules;
  detail::WindowsStart();
  for (const Module* m : g_modules) {
    if (m->moduleInit) m->moduleInit();
  }
  if (t_thread.number == 0) Attach();
  const int result = main();
  EndThread();
  RunModuleEnd();
  g_modules = {};
  return result;
}

void ProgramHalt(int exitCode) {
  detail::DestroyThreadWindows();
  EndThread();
  RunModuleEnd();
  ::ExitProcess(static_cast<UINT>(exitCode));
}

std::span<const Module* const> ProgramModules() {
  return g_modules;
}

bool ThreadAttachCurrent() {
  if (t_thread.number != 0) return false;
  Attach();
  return true;
}

void ThreadDetachCurrent() {
  EndThread();
}

int ThreadNumber() {
  return t_thread.number;
}

int ErrorCodeGet() {
  return t_errorCode;
}
void ErrorCodeSet(int code) {
  t_errorCode = code;
}

bool ProgramRun(std::string_view commandLine, bool wait, std::string_view program) {
  std::string line(commandLine);
  const std::string file(program);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(file.empty() ? nullptr : file.c_str(), line.data(), nullptr, nullptr, FALSE,
                        0, nullptr, nullptr, &startup, &process)) {
    ErrorCodeSet(static_cast<int>(::GetLastError()));
    return false;
  }
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  if (wait) ::WaitForSingleObject(processHandle.get(), INFINITE);
  ErrorCodeSet(0);
  return true;
}

// The search flags exist where AddDllDirectory does (Windows 8, and 7 with
// its update); elsewhere the full path in the system folder, whose own
// dependencies are then looked for there first as well.
HMODULE SystemLibraryLoad(std::string_view name) {
  static const bool searchFlags =
      ::GetProcAddress(::GetModuleHandleA("kernel32"), "AddDllDirectory") != nullptr;
  const std::string file(name);
  if (searchFlags) return ::LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  char folder[MAX_PATH];
  const UINT n = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::string path = std::string(folder, n) + "\\" + file;
  if (file.find('.') == std::string::npos) path += ".dll";
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace rt

// Registered in the image's TLS callback table; ".CRT$XLB" sorts before the
// C runtime's own entries, so it runs first when a thread ends.
extern "C" {
__attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK rt_thread_callback =
    rt::OnThreadLifecycle;
}
