// Sleeping, the high-resolution clock and time stamps.
#include "rovalent_internal.h"

#include <x86intrin.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

BOOL(WINAPI* rvseam::queryPerformanceFrequency)(LARGE_INTEGER*) = ::QueryPerformanceFrequency;

namespace {

constexpr double kHundredthsPerDay = 8640000.0;
constexpr std::int64_t kCycleCalibrationCounts = 10000;

// Each thread calibrates on its own; nothing needs releasing at thread end.
struct ClockState {
  bool counterReady;
  bool cycleReady;
  bool noCounter;  // shared by both modes
  std::int64_t counterFrequency;
  std::int64_t counterReading;
  double counterTicksPerHundredth;
  double counterBase;
  std::int32_t counterBaseClock;
  double cyclesPerHundredth;
  double cycleBase;
  std::int32_t cycleBaseClock;
};
thread_local ClockState t_clock{};

// Busy-waits until the runtime's clock steps, so that a base is taken at the
// very start of a clock tick.
void WaitForClockStep(std::int32_t& clock) {
  clock = rt::ClockNow();
  while (rt::ClockNow() == clock) {
  }
}

bool ReadFrequency(ClockState& s) {
  LARGE_INTEGER frequency{};
  if (!rvseam::queryPerformanceFrequency(&frequency)) return false;
  s.counterFrequency = frequency.QuadPart;
  return s.counterFrequency != 0;
}

// A failed read leaves the previous reading standing.
bool ReadCounter(ClockState& s) {
  LARGE_INTEGER counter{};
  if (!::QueryPerformanceCounter(&counter)) return false;
  s.counterReading = counter.QuadPart;
  return true;
}

// False when the counter could not be read; the base then stays unused.
bool AlignCounter(ClockState& s) {
  WaitForClockStep(s.counterBaseClock);
  const bool read = ReadCounter(s);
  s.counterBase = static_cast<double>(s.counterReading);
  s.counterBaseClock = rt::ClockNow();
  return read;
}

void CalibrateCounter(ClockState& s) {
  s.counterReady = true;
  if (!ReadFrequency(s)) {
    s.noCounter = true;
    return;
  }
  s.counterTicksPerHundredth = static_cast<double>(s.counterFrequency) / 100.0;
  if (!AlignCounter(s)) s.noCounter = true;
}

double CycleCount() {
  return static_cast<double>(static_cast<std::int64_t>(__rdtsc()));
}

void AlignCycles(ClockState& s) {
  WaitForClockStep(s.cycleBaseClock);
  CycleCounterStart(s.cycleBase);
  s.cycleBaseClock = rt::ClockNow();
}

void CalibrateCycles(ClockState& s) {
  s.cycleReady = true;
  if (!ReadFrequency(s)) s.noCounter = true;
  if (s.noCounter) {
    CycleCounterStart(s.cyclesPerHundredth);
    ds_Sleep(1);
    CycleCounterElapsed(s.cyclesPerHundredth);
  } else {
    const double frequency = static_cast<double>(s.counterFrequency);
    LARGE_INTEGER start{}, now{};
    ::QueryPerformanceCounter(&start);
    CycleCounterStart(s.cycleBase);
    double cycles = 0;
    do {
      ::QueryPerformanceCounter(&now);
      cycles = CycleCount();
    } while (now.QuadPart - start.QuadPart <= kCycleCalibrationCounts);
    const double seconds = static_cast<double>(now.QuadPart - start.QuadPart) / frequency;
    s.cyclesPerHundredth = (cycles - s.cycleBase) / seconds / 100.0;
  }
  AlignCycles(s);
}

// Equal to zero in the runtime's sense: within about 2^-50 of it, where the
// zero counts as 1.
bool IsZero(double value) {
  return std::fabs(value) <= std::ldexp(1.0, -50) * std::max(std::fabs(value), 1.0);
}

// Seconds below 60 as two integer digits, the point and 18 decimals. The
// runtime takes a floating-point number into a decimal picture with the 15
// significant digits that it holds, so the binary noise below them does not
// show in the digits that a caller cuts off (30.01 stays 30.010000 rather
// than 30.009999).
std::string SecondsText(double seconds) {
  char digits[48];
  const int places = seconds >= 10 ? 13 : 14;
  char* end =
      std::to_chars(digits, digits + sizeof digits, seconds, std::chars_format::fixed, places).ptr;
  // A value within the noise of 60 would round up to the next minute: it
  // keeps its exact digits instead.
  if (end - digits > 1 && digits[0] == '6' && digits[1] == '0') {
    end = std::to_chars(digits, digits + sizeof digits, seconds, std::chars_format::fixed, 18).ptr;
  }
  std::string text(digits, end);
  // Decided on the digits, not on the value: just under 10 rounds up to 10.
  if (text.find('.') == 1) text.insert(0, "0");
  text.resize(21, '0');
  return text;
}

}  // namespace

void ds_Sleep(double hundredths) {
  ClearRovalentError("ds_Sleep");
  const double milliseconds = std::trunc(hundredths * 10.0);
  // Out-of-range counts are the caller's fault; they must not reach an
  // undefined conversion.
  const double bounded =
      milliseconds >= 0 ? std::min(milliseconds, static_cast<double>(INT32_MAX)) : 0.0;
  ::Sleep(static_cast<DWORD>(bounded));
}

double PreciseClock(std::uint8_t cycleMode, std::uint8_t resync) {
  ClockState& s = t_clock;
  if (cycleMode) {
    if (!s.cycleReady) CalibrateCycles(s);
    if (resync) AlignCycles(s);
    return (CycleCount() - s.cycleBase) / s.cyclesPerHundredth + s.cycleBaseClock;
  }
  if (!s.counterReady) CalibrateCounter(s);
  if (s.noCounter) return rt::ClockNow();
  if (resync) AlignCounter(s);
  ReadCounter(s);
  return (static_cast<double>(s.counterReading) - s.counterBase) / s.counterTicksPerHundredth +
         s.counterBaseClock;
}

std::string TimeStampText(double value, std::int32_t digits) {
  const std::size_t fractionDigits = static_cast<std::size_t>(std::clamp(digits, 0, 18));
  double t = std::fmod(value, kHundredthsPerDay);
  if (t < 0) t += kHundredthsPerDay;
  // The minute and the hundredths within it come from one reading of t, so
  // that the seconds never start a minute that the hours and minutes do not
  // show yet. The remainder is exact; the quotient may round up to the next
  // whole minute, which the remainder then corrects.
  double minute = std::floor(t / 6000.0);
  double withinMinute = t - minute * 6000.0;
  if (withinMinute < 0) {
    minute -= 1;
    withinMinute += 6000.0;
  }
  const double seconds = withinMinute / 100.0;
  // t is read as hundredths after midnight: the stamp runs one hundredth
  // ahead of the clock convention, in which a value v stands for v - 1.
  std::string text = rt::FormatShortTime(static_cast<std::int64_t>(minute) * 6000 + 1);
  text += IsZero(seconds) ? ":00.000000000000000000000" : ":" + SecondsText(seconds);
  return text.substr(0, 9 + fractionDigits);
}

double Int64ToReal(std::int32_t high, std::uint32_t low) {
  const std::uint64_t bits =
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | low;
  return static_cast<double>(static_cast<std::int64_t>(bits));
}

void CycleCounterStart(double& place) {
  place = CycleCount();
}

void CycleCounterElapsed(double& place) {
  place = CycleCount() - place;
}
