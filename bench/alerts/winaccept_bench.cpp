// The cost of the library's window procedure for the messages that most
// often reach it: a number that the thread alerts on no window. Beside it,
// in the same run, a bare subclass that only forwards, and the window
// without any subclass. Prints its figures; it judges nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "rovalent.h"

namespace {

constexpr int kMessagesPerRound = 100000;
constexpr int kRounds = 9;
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

double Now() {
  LARGE_INTEGER counter, frequency;
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Microseconds per message of one round.
double Round(HWND window, UINT message, WPARAM wParam) {
  const double start = Now();
  for (int i = 0; i < kMessagesPerRound; ++i) ::SendMessageA(window, message, wParam, 0);
  return (Now() - start) * 1e6 / kMessagesPerRound;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
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
  // Rounds alternate between the targets, so that a slower stretch of the
  // machine weighs on all of them alike.
  for (Target& t : targets) Round(t.window, t.message, t.wParam);  // warm up
  for (int r = 0; r < kRounds; ++r) {
    for (Target& t : targets) t.rounds.push_back(Round(t.window, t.message, t.wParam));
  }
  const double baseline = Median(targets[1].rounds);
  std::printf("SendMessageA, median of %d rounds of %d messages:\n", kRounds, kMessagesPerRound);
  for (const Target& t : targets) {
    const double us = Median(t.rounds);
    std::printf("  %-42s %7.3f us/message  %5.2f x bare subclass\n", t.name, us, us / baseline);
  }

  // A longer command line costs the switch tests nothing more.
  rt::CommandLineOverride(
      "bench.exe U=someone P=secret /C V=Zorvant one two three four five six seven eight");
  std::vector<double> longLine;
  for (int r = 0; r < kRounds; ++r) longLine.push_back(Round(alerted->Handle(), kNotAlerted, 0));
  rt::CommandLineOverride(std::nullopt);
  std::printf("  %-42s %7.3f us/message  %5.2f x bare subclass\n",
              "WinAccept, 12 words on the command line", Median(longLine),
              Median(longLine) / baseline);

  std::printf("WinAccept / bare subclass (message alerted on no window): %.2f (goal 1.30)\n",
              Median(targets[2].rounds) / baseline);
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
