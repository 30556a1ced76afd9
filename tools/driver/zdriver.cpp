// zdriver.exe: the driver library for scripts, one operation per call.
// A TARGET is a process id (its first visible top-level window) or a window
// handle written as 0x... . Exit status 0 on success, 1 when the operation
// failed or timed out, 2 on a usage error; `run` passes on the program's exit
// code.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver.h"

namespace {

constexpr const char* kUsage =
    "usage: zdriver COMMAND ...\n"
    "  run FOLDER PROGRAM [ARGS...]      start, print \"pid N\", wait, print \"exit N\",\n"
    "                                    end with the program's exit code\n"
    "  start FOLDER PROGRAM [ARGS...]    start and print the process id\n"
    "  wait-window PID [CLASS [CAPTION]] [--timeout MS]\n"
    "                                    print the window handle once one shows\n"
    "  wait-exit PID MS                  wait until the process has ended\n"
    "  windows PID                       list its top-level windows\n"
    "  children TARGET                   list the child windows\n"
    "  close TARGET                      post WM_CLOSE\n"
    "  endsession TARGET                 send WM_QUERYENDSESSION, print the answer\n"
    "  key TARGET VK                     press and release a virtual key (a number)\n"
    "  click TARGET CAPTION              press the button with that caption\n"
    "  shot TARGET FILE.png              save what the screen shows of the window\n"
    "  kill PID                          end the process\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

DWORD Number(const std::string& text) {
  return static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
}

HWND Target(const std::string& text) {
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(text.c_str(), nullptr, 16)));
  }
  return driver::MainWindow(Number(text));
}

std::string Hex(HWND hwnd) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%08lx",
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)));
  return buffer;
}

// The arguments from `first` on, joined as a command line; those with blanks
// are quoted.
std::string JoinArguments(const std::vector<std::string>& args, std::size_t first) {
  std::string line;
  for (std::size_t i = first; i < args.size(); ++i) {
    if (!line.empty()) line += ' ';
    const bool quote = args[i].find_first_of(" \t") != std::string::npos;
    line += quote ? "\"" + args[i] + "\"" : args[i];
  }
  return line;
}

void PrintWindow(const driver::WindowInfo& w) {
  const RECT& r = w.rect;
  std::printf("%s id=%d class=%s visible=%d style=0x%08lx rect=%ld,%ld,%ld,%ld text=\"%s\"\n",
              Hex(w.hwnd).c_str(), w.id, w.className.c_str(), w.visible ? 1 : 0,
              static_cast<unsigned long>(w.style), r.left, r.top, r.right - r.left,
              r.bottom - r.top, w.text.c_str());
}

int Run(const std::vector<std::string>& args, bool wait) {
  if (args.size() < 3) return Usage();
  const auto process = driver::Process::Start(args[1], args[2], JoinArguments(args, 3));
  if (!process) {
    std::fprintf(stderr, "zdriver: cannot start %s (error %lu)\n", args[2].c_str(),
                 static_cast<unsigned long>(::GetLastError()));
    return 1;
  }
  if (!wait) {
    std::printf("%lu\n", static_cast<unsigned long>(process->Id()));
    return 0;
  }
  std::printf("pid %lu\n", static_cast<unsigned long>(process->Id()));
  std::fflush(stdout);
  const std::optional<DWORD> code = process->WaitForExit(INFINITE);
  std::printf("exit %lu\n", static_cast<unsigned long>(code.value_or(1)));
  return static_cast<int>(code.value_or(1));
}

int WaitWindow(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  driver::WindowQuery query;
  DWORD timeout = driver::kDefaultTimeoutMs;
  std::vector<std::string> rest;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--timeout" && i + 1 < args.size()) {
      timeout = Number(args[++i]);
    } else {
      rest.push_back(args[i]);
    }
  }
  if (rest.size() > 0) query.className = rest[0];
  if (rest.size() > 1) query.caption = rest[1];
  HWND hwnd = driver::WaitForWindow(Number(args[1]), query, timeout);
  if (!hwnd) return 1;
  std::printf("%s\n", Hex(hwnd).c_str());
  return 0;
}

int WaitExit(const std::vector<std::string>& args) {
  if (args.size() < 3) return Usage();
  rt::UniqueHandle process(
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Number(args[1])));
  if (!process) return 0;  // gone already
  if (::WaitForSingleObject(process.get(), Number(args[2])) != WAIT_OBJECT_0) return 1;
  DWORD code = 0;
  if (::GetExitCodeProcess(process.get(), &code)) {
    std::printf("%lu\n", static_cast<unsigned long>(code));
  }
  return 0;
}

int Command(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  const std::string& command = args[0];
  if (command == "run") return Run(args, true);
  if (command == "start") return Run(args, false);
  if (command == "wait-window") return WaitWindow(args);
  if (command == "wait-exit") return WaitExit(args);
  if (command == "kill") {
    return args.size() == 2 ? (driver::KillProcess(Number(args[1])) ? 0 : 1) : Usage();
  }
  if (command == "windows") {
    if (args.size() != 2) return Usage();
    driver::WindowQuery all;
    all.visibleOnly = false;
    for (HWND hwnd : driver::TopLevelWindows(Number(args[1]), all)) {
      PrintWindow(driver::Describe(hwnd));
    }
    return 0;
  }

  // The rest act on one window.
  if (args.size() < 2) return Usage();
  HWND target = Target(args[1]);
  if (!target || !::IsWindow(target)) {
    std::fprintf(stderr, "zdriver: no window for %s\n", args[1].c_str());
    return 1;
  }
  if (command == "children" && args.size() == 2) {
    for (const driver::WindowInfo& child : driver::ChildWindows(target)) PrintWindow(child);
    return 0;
  }
  if (command == "close" && args.size() == 2) return driver::RequestClose(target) ? 0 : 1;
  if (command == "endsession" && args.size() == 2) {
    const std::optional<bool> answer = driver::QueryEndSession(target);
    if (!answer) return 1;
    std::printf("%d\n", *answer ? 1 : 0);
    return 0;
  }
  if (command == "key" && args.size() == 3) {
    return driver::PressKey(target, Number(args[2])) ? 0 : 1;
  }
  if (command == "click" && args.size() == 3) {
    return driver::ClickButton(target, args[2]) ? 0 : 1;
  }
  if (command == "shot" && args.size() == 3) {
    return driver::SaveWindowShot(target, args[2]) ? 0 : 1;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = Command(args);
  std::fflush(stdout);
  return status;
}
