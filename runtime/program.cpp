#include "program.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "handles.h"
#include "picture.h"
#include "window_registry.h"

namespace rt {
namespace {

std::span<const Module* const> g_modules;
std::atomic<int> g_lastThreadNumber{0};
std::mutex g_threadIdsMutex;
std::map<int, DWORD> g_threadIds;

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

// The calling thread's place in the runtime. It is the first thread-local
// value that a thread touches, so it is destroyed after the values that the
// modules' thread steps set up, and its destructor can run their end steps.
struct ThreadRecord {
  int number = 0;
  bool ended = false;
  ~ThreadRecord() {
    if (number != 0 && !ended) {
      ended = true;
      RunThreadEnd();
      std::lock_guard lock(g_threadIdsMutex);
      g_threadIds.erase(number);
    }
  }
};

thread_local ThreadRecord t_thread;
thread_local int t_errorCode = 0;

void Attach() {
  t_thread.number = ++g_lastThreadNumber;
  {
    std::lock_guard lock(g_threadIdsMutex);
    g_threadIds[t_thread.number] = ::GetCurrentThreadId();
  }
  RunThreadStart();
}

}  // namespace

int RunProgram(std::span<const Module* const> modules, const std::function<int()>& main) {
  g_modules = modules;
  PicturesStart();
  detail::WindowsStart();
  for (const Module* m : g_modules) {
    if (m->moduleInit) m->moduleInit();
  }
  if (t_thread.number == 0) Attach();
  const int result = main();
  t_thread.ended = true;
  RunThreadEnd();
  RunModuleEnd();
  PicturesStop();
  g_modules = {};
  return result;
}

void ProgramHalt(int exitCode) {
  detail::DestroyThreadWindows();
  if (t_thread.number != 0 && !t_thread.ended) {
    t_thread.ended = true;
    RunThreadEnd();
  }
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

int ThreadNumber() {
  return t_thread.number;
}

unsigned long ThreadIdOf(int threadNumber) {
  std::lock_guard lock(g_threadIdsMutex);
  auto it = g_threadIds.find(threadNumber);
  return it == g_threadIds.end() ? 0 : it->second;
}

int ErrorCodeGet() {
  return t_errorCode;
}
void ErrorCodeSet(int code) {
  t_errorCode = code;
}

bool ProgramRun(std::string_view commandLine, bool wait) {
  std::string line(commandLine);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    ErrorCodeSet(static_cast<int>(::GetLastError()));
    return false;
  }
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  if (wait) ::WaitForSingleObject(processHandle.get(), INFINITE);
  ErrorCodeSet(0);
  return true;
}

}  // namespace rt
