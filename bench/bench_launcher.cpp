// The launcher's start and its wait, beside the bare launcher measured in
// the same run:
//   - from the launcher's start to the stand-in main program's first
//     instruction (the stand-in records the performance counter first of
//     all), and from the mutex appearing to the launcher's process gone (the
//     stand-in creates it 2 s after its start, when the launcher's window
//     has played its opening animation and shows its loader);
//   - the CPU time the launcher uses per second of a 5 s wait that no
//     hand-shake ends, read on the Linux side, also split into the first
//     2 s, while the wallpaper plays its opening animation, and the rest;
//     with the wineserver's beside it (the server works for whichever
//     process is being measured);
//   - the peak working set of the waiting process, and the size of its
//     window (the bare launcher's is the splash window's, in dialog units of
//     the same font).
// Each ratio is the median of the runs' own ratios: the two launchers run
// one after the other in every run, so that a change in the machine's load
// during the benchmark moves both figures of a run alike and cancels out.
// Prints its figures beside their goals and keeps them for the closing note
// (bench_support.h); it passes or fails nothing. With --summary it prints
// that note from the figures kept by the runs in both prefixes. RUNS, when
// given, is the number of start runs and of wait runs alike.
//   bench_launcher [RUNS]
//   bench_launcher --summary
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

// A start is measured as a person meets it: not while the last run's
// processes are still leaving, which costs the new one the wineserver's
// and the display's time. Waits until no program of either folder runs on
// the Linux side, then a little more for what their leaving set going.
void WaitUntilQuiet(const Launcher (&launchers)[2]) {
  for (const Launcher& l : launchers) {
    for (const char* program : {l.program, "Tarm.exe"}) {
      const std::string executable = l.folder->File(program);
      driver::WaitUntil([&] { return bench::LinuxProcessOf(executable) == 0; }, 5000);
    }
  }
  ::Sleep(200);
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
  double peakMiB = 0;
  SIZE client{};  // of its window, in pixels
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
    const auto peak = bench::LinuxPeakMemoryMiB(pid);
    const HWND window = driver::MainWindow(process->Id());
    if (launcher0 && launcher1 && launcher2 && server0 && server2 && peak && window &&
        process->Running()) {
      const auto perSecond = [](double ms, std::int64_t a, std::int64_t b) {
        return ms / (bench::Milliseconds(a, b) / 1000);
      };
      cost = WaitCost{perSecond(*launcher2 - *launcher0, from, to),
                      perSecond(*launcher1 - *launcher0, from, opening),
                      perSecond(*launcher2 - *launcher1, opening, to),
                      perSecond(*server2 - *server0, from, to),
                      *peak,
                      driver::ClientSize(window)};
    } else {
      std::fprintf(stderr, "bench: no %s for the %s (Linux pid %d, %s)\n",
                   !window ? "window"
                   : !peak ? "peak working set"
                           : "CPU time",
                   l.label, pid, process->Running() ? "running" : "ended");
    }
  }
  process->Kill();
  EndMainProgram(l);
  return cost;
}

// A goal: at most `limit`, either times the bare launcher's figure or, with
// `absolute`, in the figure's own unit.
struct Goal {
  double limit;
  bool absolute = false;
};

const char* Verdict(double value, double limit) {
  return value <= limit ? "holds" : "MISSED";
}

void PrintRow(const char* what, double launcher, double bare, double ratio, const char* unit,
              Goal goal) {
  std::printf("  %-46s %8.1f %-4s %8.1f %-4s %6.2f x", what, launcher, unit, bare, unit, ratio);
  if (goal.limit <= 0) {
    std::printf("\n");
  } else if (goal.absolute) {
    std::printf("   goal <= %.0f %s: %s\n", goal.limit, unit, Verdict(launcher, goal.limit));
  } else {
    std::printf("   goal <= %.2f x: %s\n", goal.limit, Verdict(ratio, goal.limit));
  }
}

// The figures of one prefix's run, kept under "<prefix>.<name>".
struct Figure {
  const char* name;
  const char* what;
  const char* unit;
  Goal goal;
};
constexpr Figure kFigures[] = {
    {"start", "start to the main program's first instruction", "ms", {1.2}},
    {"gone", "mutex appearing to the process gone", "ms", {15, true}},
    {"cpu", "CPU per second of a 5 s wait", "ms", {1.5}},
    {"cpu_opening", "  of which its first 2 s (opening animation)", "ms", {1.5}},
    {"cpu_after", "  of which the 3 s after", "ms", {1.15}},
    {"server", "wineserver CPU per second of the wait", "ms", {0}},
    {"peak", "peak working set", "MiB", {1.3}},
};

int Summary() {
  const char* prefixes[][2] = {{"faces", "prefix with the two faces"}, {"stock", "stock prefix"}};
  std::printf(
      "Closing note: every figure beside its goal (launcher against the bare launcher\n"
      "measured in the same run)\n");
  for (const auto& [key, description] : prefixes) {
    std::printf(" %s\n", description);
    for (const Figure& f : kFigures) {
      const std::string name = std::string(key) + "." + f.name;
      const auto launcher = bench::KeptFigure(name);
      const auto bare = bench::KeptFigure(name + ".bare");
      const auto ratio = bench::KeptFigure(name + ".ratio");
      if (!launcher || !bare || !ratio) {
        std::printf("  %-46s not measured\n", f.what);
        continue;
      }
      PrintRow(f.what, *launcher, *bare, *ratio, f.unit, f.goal);
    }
  }
  // Whatever the window's size, the launcher's wait costs the same: each
  // prefix's CPU figure against its own bare launcher, so that the load of
  // the machine, which differs between the two runs, cancels out.
  const auto ratio = [](const char* key, const char* name) {
    return bench::KeptFigure(std::string(key) + "." + name + ".ratio");
  };
  const struct {
    const char* name;
    const char* what;
  } compared[] = {{"cpu", "CPU of the wait, the two prefixes"},
                  {"cpu_after", "CPU after the opening, the two prefixes"}};
  for (const auto& [name, what] : compared) {
    const auto faces = ratio("faces", name), stock = ratio("stock", name);
    if (!faces || !stock) continue;
    const double apart = std::max(*faces, *stock) / std::min(*faces, *stock) - 1;
    std::printf("  %-46s %5.2f x and %5.2f x bare: %4.1f %% apart   goal <= 10 %%: %s\n", what,
                *faces, *stock, 100 * apart, Verdict(apart, 0.10));
  }
  if (const auto updates = bench::KeptFigure("updates")) {
    std::printf("  %-46s %5.2f x deleting and copying the unsafe way   goal <= 1.10 x: %s\n",
                "Update installation, 200 files / 100 MiB", *updates, Verdict(*updates, 1.1));
  }
  if (const auto accept = bench::KeptFigure("winaccept")) {
    std::printf("  %-46s %5.2f x a bare forwarding subclass   goal <= 1.30 x: %s\n",
                "WinAccept per message alerted on no window", *accept, Verdict(*accept, 1.3));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--summary") return Summary();
  const int given = argc > 1 ? std::max(1, std::atoi(argv[1])) : 0;
  const int runs = given ? given : 11;
  const bench::Prefix prefix = bench::CurrentPrefix();
  const bench::SettingsAside settings;

  Launcher launchers[] = {{"launcher", "zorvant.exe", nullptr},
                          {"bare", "bare_launcher.exe", nullptr}};
  for (Launcher& l : launchers) {
    if (!Lay(l,
             "[Plan]\r\nRecord=tarm-record.txt\r\nDelayMs=2000\r\nMutex=hold\r\n"
             "Done=tarm-done.txt\r\n")) {
      std::fprintf(stderr, "bench: cannot lay out the folder of the %s\n", l.label);
      return 1;
    }
  }

  // Per figure: the launcher's values, the bare launcher's, and the ratios
  // of the runs in which both were measured.
  struct Series {
    std::vector<double> values[2], ratios;
    void Add(const std::optional<double> (&v)[2]) {
      for (int i = 0; i < 2; ++i) {
        if (v[i]) values[i].push_back(*v[i]);
      }
      if (v[0] && v[1] && *v[1] > 0) ratios.push_back(*v[0] / *v[1]);
    }
  };
  // In the order of kFigures.
  enum { kStart, kGone, kCpu, kOpening, kLater, kServer, kPeak, kSeries };
  static_assert(kSeries == std::size(kFigures));
  Series series[kSeries];

  for (int run = 0; run <= runs; ++run) {  // run 0 warms the caches and is not counted
    std::optional<double> toMain[2], toGone[2];
    for (int i = 0; i < 2; ++i) {
      WaitUntilQuiet(launchers);
      const std::optional<StartTimes> t = MeasureStart(launchers[i]);
      if (!t) {
        std::fprintf(stderr, "bench: run %d of the %s failed\n", run, launchers[i].label);
        continue;
      }
      toMain[i] = t->toMainProgram;
      toGone[i] = t->mutexToGone;
    }
    if (run == 0) continue;
    series[kStart].Add(toMain);
    series[kGone].Add(toGone);
  }

  SIZE client[2]{};
  for (Launcher& l : launchers) {
    if (!driver::WriteFile(l.folder->File("tarm-plan.ini"),
                           "[Plan]\r\nRecord=tarm-record.txt\r\n")) {
      return 1;
    }
  }
  // A wait costs little CPU, and on a shared machine one process of a run
  // may use a tenth more or less than another for the whole of its wait:
  // fifteen runs hold the median steady enough to tell the two prefixes
  // apart within their tenth.
  const int waitRuns = given ? given : 15;
  for (int run = 0; run < waitRuns; ++run) {
    std::optional<double> cpu[2], opening[2], later[2], server[2], peak[2];
    for (int i = 0; i < 2; ++i) {
      if (const std::optional<WaitCost> c = MeasureWait(launchers[i])) {
        cpu[i] = c->launcher;
        opening[i] = c->launcherOpening;
        later[i] = c->launcherLater;
        server[i] = c->server;
        peak[i] = c->peakMiB;
        client[i] = c->client;
      }
    }
    series[kCpu].Add(cpu);
    series[kOpening].Add(opening);
    series[kLater].Add(later);
    series[kServer].Add(server);
    series[kPeak].Add(peak);
  }

  std::printf("Launcher start and wait in the %s\n", prefix.description);
  std::printf("  (medians; launcher, bare launcher, the runs' ratios, goal)\n");
  const Series& start = series[kStart];
  const Series& cpu = series[kCpu];
  std::printf("  start runs: %zu and %zu; wait runs of %lu ms: %zu and %zu\n",
              start.values[0].size(), start.values[1].size(), static_cast<unsigned long>(kWaitMs),
              cpu.values[0].size(), cpu.values[1].size());
  std::printf("  %-46s %5ld x %-5ld %5ld x %-5ld\n", "window client area, pixels", client[0].cx,
              client[0].cy, client[1].cx, client[1].cy);
  for (std::size_t i = 0; i < std::size(kFigures); ++i) {
    const Figure& f = kFigures[i];
    const Series& s = series[i];
    const double launcher = bench::Median(s.values[0]), bare = bench::Median(s.values[1]);
    const double ratio = bench::Median(s.ratios);
    PrintRow(f.what, launcher, bare, ratio, f.unit, f.goal);
    const std::string key = std::string(prefix.key) + "." + f.name;
    bench::KeepFigure(key, launcher);
    bench::KeepFigure(key + ".bare", bare);
    bench::KeepFigure(key + ".ratio", ratio);
  }
  return 0;
}
