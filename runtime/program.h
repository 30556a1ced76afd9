// The program frame: modules with start and end steps for the process and
// for each thread, the program main, the orderly halt, thread numbers, the
// runtime's per-thread error code, starting other programs and loading the
// system's DLLs.
#pragma once

#include <windows.h>

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace rt {

struct LayoutResource;

// One module of the program. Any step may be left empty. A module may carry
// the stored window layouts of its resource.
struct Module {
  const char* name = "";
  void (*moduleInit)() = nullptr;
  void (*moduleTerm)() = nullptr;
  void (*threadInit)() = nullptr;
  void (*threadTerm)() = nullptr;
  const LayoutResource* resource = nullptr;
};

// Runs a program: the module start steps in the order given, the thread
// start steps for the calling (main) thread, then `main`; then the thread end
// and module end steps in the reverse order. Returns main's result, which
// the program returns from WinMain as its exit code.
[[nodiscard]] int RunProgram(std::span<const Module* const> modules,
                             const std::function<int()>& main);

// Ends the process in order with the exit code, showing nothing: the
// thread's windows are destroyed, the end steps run, then the process exits.
[[noreturn]] void ProgramHalt(int exitCode);

// The modules of the running program (empty outside RunProgram).
std::span<const Module* const> ProgramModules();

// Makes the calling thread known to the runtime when the runtime did not
// start it: it gets the next thread number and every module's thread start
// steps run for it (its end steps run when the thread ends). Returns true
// when the thread was attached by this call.
bool ThreadAttachCurrent();

// Runs the calling thread's end steps now (once), then destroys its
// per-thread objects (per_thread.h). A thread started through std::thread
// must call it (or hold a ThreadScope) before it ends: its thread-local
// values are gone by the time Windows reports its end.
void ThreadDetachCurrent();

class ThreadScope {
 public:
  ThreadScope() { ThreadAttachCurrent(); }
  ThreadScope(const ThreadScope&) = delete;
  ThreadScope& operator=(const ThreadScope&) = delete;
  ~ThreadScope() { ThreadDetachCurrent(); }
};

// The calling thread's number: 1 for the main thread, then in the order in
// which threads were attached. 0 for a thread that is not attached.
int ThreadNumber();

// The runtime's error code of the calling thread: 0 after an operation that
// worked, otherwise the Windows error code of its failure.
[[nodiscard]] int ErrorCodeGet();
void ErrorCodeSet(int code);

// Starts a program as a new process in the current folder. With `wait` off
// it returns at once. False (and the error code) when it could not start.
// `program` names the file to start; without it the system finds the
// command line's first word as it finds a program.
[[nodiscard]] bool ProgramRun(std::string_view commandLine, bool wait,
                              std::string_view program = {});

// Loads a DLL of the system folder from there alone, never from the
// program's folder or the current one, where a planted copy could be
// waiting. A name without an extension is a ".dll". Null, with the thread's
// last error, when it cannot be loaded.
HMODULE SystemLibraryLoad(std::string_view name);

}  // namespace rt
