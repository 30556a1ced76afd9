// Sleeping, the high-resolution clock and time stamps.
#include <gtest/gtest.h>

#include <cmath>

#include "rovalent_internal.h"
#include "test_support.h"

namespace {

double CounterHundredths(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) * 100.0 /
         static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Counter() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now;
}

// Each test runs on a new thread, so that it starts with uncalibrated clocks.
using testsupport::OnNewThread;

BOOL WINAPI ZeroFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 0;
  return TRUE;
}
BOOL WINAPI NoFrequency(LARGE_INTEGER*) {
  return FALSE;
}

TEST(TimeStampText, HoursAndMinutesOfTheClockWithTheSecondsAHundredthAhead) {
  const struct {
    double value;
    int digits;
    const char* text;
  } cases[] = {
      {3603000, 6, "10:00:30.000000"},  // 10:00:29.99
      {3603000, 2, "10:00:30.00"},
      {3603000, 0, "10:00:30."},
      {3603000, 18, "10:00:30.000000000000000000"},
      {8640000 + 363000, 6, "01:00:30.000000"},  // past midnight
      // The last hundredth of a minute is the next minute's start, with its
      // own hours and minutes.
      {3606000, 6, "10:01:00.000000"},
      {3606000.5, 6, "10:01:00.005000"},
      {3606000 - 0x1p-31, 6, "10:00:59.999999"},
      {8639999.5, 6, "23:59:59.995000"},
      {3600725, 6, "10:00:07.250000"},
      // No binary noise in the digits that are kept.
      {3603050, 6, "10:00:30.500000"},
      {3603001, 6, "10:00:30.010000"},
      {3603017, 18, "10:00:30.170000000000000000"},
      {8639999, 6, "23:59:59.990000"},
      {3603000.25, 6, "10:00:30.002500"},
      {3603000.25, 3, "10:00:30.002"},  // cut, not rounded
      {3601000, 6, "10:00:10.000000"},
      // Two digits of seconds also when a reading just under 10 rounds up.
      {999.99999999999977, 6, "00:00:10.000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TimeStampText(c.value, c.digits), c.text) << c.value << " " << c.digits;
  }
  EXPECT_EQ(TimeStampText(3603000), "10:00:30.000000");
}

TEST(PreciseClock, ReadingsAdvanceByTheElapsedTime) {
  OnNewThread([] {
    const LARGE_INTEGER before = Counter();
    const double first = PreciseClock();
    const LARGE_INTEGER afterFirst = Counter();
    const std::int32_t clock = rt::ClockNow();
    ::Sleep(30);
    const LARGE_INTEGER beforeSecond = Counter();
    const double second = PreciseClock();
    const LARGE_INTEGER after = Counter();

    // Tied to the runtime's clock at calibration.
    EXPECT_NEAR(first, clock, 2.0);
    // The same counter, so the difference lies between the inner and the
    // outer span of the direct readings.
    EXPECT_GE(second - first, CounterHundredths(afterFirst, beforeSecond));
    EXPECT_LE(second - first, CounterHundredths(before, after));
    EXPECT_GE(second - first, 2.9);
    EXPECT_NE(second, std::floor(second));
    // The calibration leaves the error state alone.
    EXPECT_TRUE(rt::IsBlank(RovalentErrorProc()));

    // A re-synchronised reading is tied to the clock again.
    EXPECT_NEAR(PreciseClock(0, 1), rt::ClockNow(), 2.0);
  });
}

TEST(PreciseClock, WithoutACounterFrequencyTheClockItself) {
  for (auto frequency : {ZeroFrequency, NoFrequency}) {
    testsupport::SeamScope seam(rvseam::queryPerformanceFrequency, frequency);
    OnNewThread([] {
      for (int i = 0; i < 3; ++i) {
        const std::int32_t before = rt::ClockNow();
        const double reading = PreciseClock();
        const std::int32_t after = rt::ClockNow();
        EXPECT_EQ(reading, std::floor(reading));
        EXPECT_GE(reading, before);
        EXPECT_LE(reading, after);
        ::Sleep(15);
      }
      // The cycle mode then calibrates against a sleep of one hundredth,
      // which records its name, and still gives fractions.
      const double cycles = PreciseClock(1, 0);
      EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_Sleep");
      EXPECT_NEAR(cycles, rt::ClockNow(), 5.0);
    });
  }
}

TEST(PreciseClock, CycleModeFollowsTheCounter) {
  OnNewThread([] {
    const double first = PreciseClock(1, 0);
    const LARGE_INTEGER start = Counter();
    ::Sleep(50);
    const double second = PreciseClock(1, 0);
    const double elapsed = CounterHundredths(start, Counter());
    EXPECT_NEAR(first, rt::ClockNow() - elapsed, 3.0);
    EXPECT_NEAR(second - first, elapsed, 0.2 * elapsed);
    EXPECT_TRUE(rt::IsBlank(RovalentErrorProc()));
  });
}

TEST(Sleep, SleepsWholeMillisecondsAndRecordsItsName) {
  const struct {
    double hundredths;
    double atLeast;  // hundredths
  } cases[] = {{0, 0}, {1.5, 1.4}, {2.09, 1.9}};
  for (const auto& c : cases) {
    ClearRovalentError("other");
    RovalentErrorTextSet("left over");
    SetRovalentError(rverr::kWinAccept);
    const LARGE_INTEGER start = Counter();
    ds_Sleep(c.hundredths);
    EXPECT_GE(CounterHundredths(start, Counter()), c.atLeast) << c.hundredths;
    EXPECT_EQ(RovalentErrorCode(), 0);
    EXPECT_TRUE(rt::IsBlank(RovalentErrorText()));
    EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_Sleep");
  }
}

TEST(CounterOperations, HalvesAndCycleCounts) {
  EXPECT_EQ(Int64ToReal(0, 0), 0.0);
  EXPECT_EQ(Int64ToReal(0, 0xFFFFFFFFu), 4294967295.0);
  EXPECT_EQ(Int64ToReal(1, 0), 4294967296.0);
  EXPECT_EQ(Int64ToReal(-1, 0xFFFFFFFFu), -1.0);
  EXPECT_EQ(Int64ToReal(INT32_MIN, 0), -9223372036854775808.0);

  double cycles = 0;
  CycleCounterStart(cycles);
  EXPECT_GT(cycles, 0.0);
  ::Sleep(1);
  CycleCounterElapsed(cycles);
  EXPECT_GT(cycles, 0.0);
  EXPECT_LT(cycles, 1e12);
}

}  // namespace
