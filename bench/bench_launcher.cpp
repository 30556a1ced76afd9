// The launcher's start and its wait, beside the bare launcher measured in
// the same run:
//   - from the launcher's start to the stand-in main program's first
//     instruction (the stand-in records the performance counter first of
//     all), and from the mutex appearing to the launcher's process gone;
//   - the CPU time the launcher uses per second of a 5 s wait that no
//     hand-shake ends, read on the Linux side, also split into the first
//     2 s, while the wallpaper plays its opening animation, and the rest;
//     with the wineserver's beside it (the server works for whichever
//     process is being measured).
// Prints its figures; it passes or fails nothing.
//   bench_launcher [RUNS]
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "driver.h"
#include "file_tools.h"

namespace {

constexpr const char* kRecord = "tarm-record.txt";
constexpr const char* kDone = "tarm-done.txt";

struct Launcher {
  const char* label;
  const char* program;
  std::unique_ptr<bench::Folder> folder;
};

bool Lay(Launcher& l, const std::string& plan) {
  l.folder = std::make_unique<bench::Folder>(std::string("zvbench_") + l.label);
  return l.folder->Add(l.program) && l.folder->Add("Tarm.exe") &&
         driver::WriteFile(l.folder->File("tarm-plan.ini"), plan);
}

// Ends the stand-in of the last run, so that the next run starts without
// the mutex.
void EndMainProgram(const Launcher& l) {
  for (DWORD id : driver::ProcessesUnder(l.folder->Path())) driver::KillProcess(id);
  driver::WaitUntil([] { return !driver::MutexExists("Running_Zorvant"); }, 5000);
}

struct StartTimes {
  double toMainProgram = 0;  // ms
  double mutexToGone = 0;    // ms
};

std::optional<StartTimes> MeasureStart(const Launcher& l) {
  driver::RemoveTree(l.folder->File(kRecord));
  driver::RemoveTree(l.folder->File(kDone));
  const std::int64_t started = bench::Counter();
  const auto process = driver::Process::Start(l.folder->Path(), l.program);
  if (!process) return {};
  const std::optional<DWORD> code = process->WaitForExit(20000);
  const std::int64_t gone = bench::Counter();
  const auto first = bench::RecordNumber(l.folder->File(kRecord), "StartCounter");
  const auto mutex = bench::RecordNumber(l.folder->File(kDone), "DoneCounter");
  EndMainProgram(l);
  if (!code) {
    process->Kill();
    return {};
  }
  if (!first || !mutex) return {};
  return StartTimes{bench::Milliseconds(started, *first), bench::Milliseconds(*mutex, gone)};
}

// CPU per second of waiting, milliseconds: over the whole wait, and over
// its first two seconds (the wallpaper plays its opening animation) and the
// rest (nothing but the loader picture moves).
struct WaitCost {
  double launcher = 0, launcherOpening = 0, launcherLater = 0;
  double server = 0;
};

constexpr DWORD kWaitMs = 5000;
constexpr DWORD kOpeningMs = 2000;

std::optional<WaitCost> MeasureWait(const Launcher& l) {
  // An earlier run's process may still be leaving on the Linux side.
  const std::string executable = l.folder->File(l.program);
  driver::WaitUntil([&] { return bench::LinuxProcessOf(executable) == 0; }, 5000);
  driver::RemoveTree(l.folder->File(kRecord));
  const auto process = driver::Process::Start(l.folder->Path(), l.program);
  if (!process) return {};
  std::optional<WaitCost> cost;
  // The stand-in records its start and ends without a word: from then on
  // the launcher only waits.
  const auto started = [&] {
    return bench::RecordNumber(l.folder->File(kRecord), "StartCounter").has_value();
  };
  if (driver::WaitUntil(started, 10000)) {
    const int pid = bench::LinuxProcessOf(executable);
    const int server = bench::LinuxWineserver();
    const auto launcher0 = bench::LinuxCpuMs(pid);
    const auto server0 = bench::LinuxCpuMs(server);
    const std::int64_t from = bench::Counter();
    ::Sleep(kOpeningMs);
    const auto launcher1 = bench::LinuxCpuMs(pid);
    const std::int64_t opening = bench::Counter();
    ::Sleep(kWaitMs - kOpeningMs);
    const auto launcher2 = bench::LinuxCpuMs(pid);
    const auto server2 = bench::LinuxCpuMs(server);
    const std::int64_t to = bench::Counter();
    if (launcher0 && launcher1 && launcher2 && server0 && server2 && process->Running()) {
      const auto perSecond = [](double ms, std::int64_t a, std::int64_t b) {
        return ms / (bench::Milliseconds(a, b) / 1000);
      };
      cost = WaitCost{perSecond(*launcher2 - *launcher0, from, to),
                      perSecond(*launcher1 - *launcher0, from, opening),
                      perSecond(*launcher2 - *launcher1, opening, to),
                      perSecond(*server2 - *server0, from, to)};
    } else {
      std::fprintf(stderr, "bench: no CPU time for the %s (Linux pid %d, %s)\n", l.label, pid,
                   process->Running() ? "running" : "ended");
    }
  }
  process->Kill();
  EndMainProgram(l);
  return cost;
}

void PrintRow(const char* what, double launcher, double bare, const char* unit) {
  std::printf("  %-44s %9.1f %s %9.1f %s %7.2f x\n", what, launcher, unit, bare, unit,
              bare > 0 ? launcher / bare : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  const bench::SettingsAside settings;

  Launcher launchers[] = {{"launcher", "zorvant.exe", nullptr},
                          {"bare", "bare_launcher.exe", nullptr}};
  for (Launcher& l : launchers) {
    if (!Lay(l, "[Plan]\r\nRecord=tarm-record.txt\r\nMutex=hold\r\nDone=tarm-done.txt\r\n")) {
      std::fprintf(stderr, "bench: cannot lay out the folder of the %s\n", l.label);
      return 1;
    }
  }

  std::vector<double> toMain[2], toGone[2];
  for (int run = 0; run <= runs; ++run) {  // run 0 warms the caches and is not counted
    for (int i = 0; i < 2; ++i) {
      const std::optional<StartTimes> t = MeasureStart(launchers[i]);
      if (!t) {
        std::fprintf(stderr, "bench: run %d of the %s failed\n", run, launchers[i].label);
        continue;
      }
      if (run == 0) continue;
      toMain[i].push_back(t->toMainProgram);
      toGone[i].push_back(t->mutexToGone);
    }
  }

  std::vector<double> cpu[2], opening[2], later[2], server[2];
  for (Launcher& l : launchers) {
    if (!driver::WriteFile(l.folder->File("tarm-plan.ini"),
                           "[Plan]\r\nRecord=tarm-record.txt\r\n")) {
      return 1;
    }
  }
  const int waitRuns = std::max(1, std::min(runs, 5));
  for (int run = 0; run < waitRuns; ++run) {
    for (int i = 0; i < 2; ++i) {
      if (const std::optional<WaitCost> c = MeasureWait(launchers[i])) {
        cpu[i].push_back(c->launcher);
        opening[i].push_back(c->launcherOpening);
        later[i].push_back(c->launcherLater);
        server[i].push_back(c->server);
      }
    }
  }

  std::printf("Launcher start and wait (medians; launcher, bare launcher, ratio)\n");
  std::printf("  start runs: %zu and %zu; wait runs of %lu ms: %zu and %zu\n", toMain[0].size(),
              toMain[1].size(), static_cast<unsigned long>(kWaitMs), cpu[0].size(), cpu[1].size());
  PrintRow("start to the main program's first instruction", bench::Median(toMain[0]),
           bench::Median(toMain[1]), "ms");
  PrintRow("mutex appearing to the process gone", bench::Median(toGone[0]),
           bench::Median(toGone[1]), "ms");
  PrintRow("CPU per second of a 5 s wait", bench::Median(cpu[0]), bench::Median(cpu[1]), "ms");
  PrintRow("  of which its first 2 s (opening animation)", bench::Median(opening[0]),
           bench::Median(opening[1]), "ms");
  PrintRow("  of which the 3 s after", bench::Median(later[0]), bench::Median(later[1]), "ms");
  PrintRow("wineserver CPU per second of the wait", bench::Median(server[0]),
           bench::Median(server[1]), "ms");

  return 0;
}
