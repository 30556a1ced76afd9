#include "clock.h"

#include <windows.h>

#include <mutex>
#include <random>

namespace rt {
namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian calendar).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

int YearFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return static_cast<int>(y + (m <= 2));
}

constexpr std::int64_t kDayOneFrom1970 = DaysFromCivil(1800, 12, 28);

std::once_flag g_seedOnce;
std::mutex g_randomMutex;
std::mt19937 g_random;

}  // namespace

std::int32_t ClockNow() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return ClockOf(t);
}

std::int32_t ClockOf(const SYSTEMTIME& t) {
  return t.wHour * 360000 + t.wMinute * 6000 + t.wSecond * 100 + t.wMilliseconds / 10 + 1;
}

std::int32_t DateFromYMD(int year, int month, int day) {
  return static_cast<std::int32_t>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
      kDayOneFrom1970 + 1);
}

std::int32_t DateToday() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return DateFromYMD(t.wYear, t.wMonth, t.wDay);
}

int DateYear(std::int32_t dayNumber) {
  return YearFromDays(dayNumber - 1 + kDayOneFrom1970);
}

void RandomSeedOnce() {
  std::call_once(g_seedOnce, [] {
    std::lock_guard lock(g_randomMutex);
    g_random.seed(static_cast<unsigned>(ClockNow()) ^ (static_cast<unsigned>(DateToday()) << 8) ^
                  ::GetCurrentProcessId());
  });
}

int RandomInRange(int low, int high) {
  std::lock_guard lock(g_randomMutex);
  return std::uniform_int_distribution<int>(low, high)(g_random);
}

}  // namespace rt
