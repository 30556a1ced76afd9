// The cost of the library's window procedure for the messages that most
// often reach it: a number that the thread alerts on no window. Beside it,
// in the same run, a bare subclass that only forwards, and the window
// without any subclass. Prints its figures beside the goal and keeps the
// ratio for the closing note of scripts/bench; it judges nothing.
//
// The machine is shared, and a slower stretch of it would weigh on whichever
// target ran then: the rounds are short, each round runs every target, in
// turn forwards and backwards, and the ratio is taken within each round
// before the median over the rounds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_support.h"
#include "rovalent.h"

namespace {

constexpr int kMessagesPerRound = 10000;
constexpr int kRounds = 101;
constexpr UINT kNotAlerted = WM_USER + 7;

const rt::WindowLayout kWindows[] = {
    {.name = "BENCH", .width = 100, .height = 50, .title = "WinAccept benchmark"},
};
const rt::LayoutResource kResource{"bench$alerts", kWindows};
const rt::Module kBenchModule{"bench", nullptr, nullptr, nullptr, nullptr, &kResource};

WNDPROC g_forwardTo = nullptr;

LRESULT CALLBACK BareForward(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcA(g_forwardTo, window, message, wParam, lParam);
}

// Microseconds per message of one round.
double Round(HWND window, UINT message, WPARAM wParam) {
  const std::int64_t start = bench::Counter();
  for (int i = 0; i < kMessagesPerRound; ++i) ::SendMessageA(window, message, wParam, 0);
  return bench::Milliseconds(start, bench::Counter()) * 1000 / kMessagesPerRound;
}

struct Target {
  const char* name;
  HWND window;
  UINT message;
  WPARAM wParam;
  std::vector<double> rounds;
};

int Bench() {
  auto plain = rt::WindowLoad("bench$alerts", "BENCH");
  auto bare = rt::WindowLoad("bench$alerts", "BENCH");
  auto alerted = rt::WindowLoad("bench$alerts", "BENCH");
  plain->Open(nullptr);
  bare->Open(nullptr);
  g_forwardTo = reinterpret_cast<WNDPROC>(::SetWindowLongA(
      bare->Handle(), GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(BareForward))));
  alerted->Open(nullptr);  // the current window, which WinAlert works on
  WinAlertMouseWheel();
  if (reinterpret_cast<WNDPROC>(::GetWindowLongA(alerted->Handle(), GWL_WNDPROC)) != WinAccept) {
    std::printf("the window was not subclassed: %s\n", ErrorCodeText(0, 1).c_str());
    return 1;
  }

  Target targets[] = {
      {"no subclass", plain->Handle(), kNotAlerted, 0, {}},
      {"bare forwarding subclass", bare->Handle(), kNotAlerted, 0, {}},
      {"WinAccept, message alerted on no window", alerted->Handle(), kNotAlerted, 0, {}},
      {"WinAccept, alerted wheel passed on",
       alerted->Handle(),
       WM_MOUSEWHEEL,
       MAKEWPARAM(0, WHEEL_DELTA),
       {}},
  };
  for (Target& t : targets) Round(t.window, t.message, t.wParam);  // warm up
  std::vector<double> ratios;  // WinAccept against the bare subclass, round by round
  for (int r = 0; r < kRounds; ++r) {
    const auto run = [](Target& t) { t.rounds.push_back(Round(t.window, t.message, t.wParam)); };
    if (r % 2 == 0) {
      std::for_each(std::begin(targets), std::end(targets), run);
    } else {
      std::for_each(std::rbegin(targets), std::rend(targets), run);
    }
    ratios.push_back(targets[2].rounds.back() / targets[1].rounds.back());
  }
  const double baseline = bench::Median(targets[1].rounds);
  std::printf("SendMessageA, median of %d rounds of %d messages:\n", kRounds, kMessagesPerRound);
  for (const Target& t : targets) {
    const double us = bench::Median(t.rounds);
    std::printf("  %-42s %7.3f us/message  %5.2f x bare subclass\n", t.name, us, us / baseline);
  }

  // A longer command line costs the switch tests nothing more.
  rt::CommandLineOverride(
      "bench.exe U=someone P=secret /C V=Zorvant one two three four five six seven eight");
  std::vector<double> longLine;
  for (int r = 0; r < kRounds; ++r) longLine.push_back(Round(alerted->Handle(), kNotAlerted, 0));
  rt::CommandLineOverride(std::nullopt);
  std::printf("  %-42s %7.3f us/message  %5.2f x bare subclass\n",
              "WinAccept, 12 words on the command line", bench::Median(longLine),
              bench::Median(longLine) / baseline);

  std::sort(ratios.begin(), ratios.end());
  const double ratio = bench::Median(ratios);
  std::printf(
      "WinAccept / bare subclass (message alerted on no window), median of the rounds' ratios: "
      "%.2f (middle half of the rounds %.2f to %.2f)   goal <= 1.30: %s\n",
      ratio, ratios[ratios.size() / 4], ratios[ratios.size() * 3 / 4],
      ratio <= 1.3 ? "holds" : "MISSED");
  bench::KeepFigure("winaccept", ratio);
  alerted->Close();
  bare->Close();
  plain->Close();
  return 0;
}

}  // namespace

int main() {
  std::vector<const rt::Module*> modules(RovalentModules().begin(), RovalentModules().end());
  modules.push_back(&kBenchModule);
  return rt::RunProgram(modules, Bench);
}
