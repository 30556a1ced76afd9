// Date, time of day and the process's random generator.
#pragma once

#include <windows.h>

#include <cstdint>

namespace rt {

// The local time of day as a clock value: hours * 360000 + minutes * 6000 +
// seconds * 100 + hundredths + 1 (so v stands for v - 1 hundredths after
// midnight).
std::int32_t ClockNow();
// The clock value of a time of day.
std::int32_t ClockOf(const SYSTEMTIME& time);

// Today's local date as a day number: 1 is 28 December 1800.
std::int32_t DateToday();
// The day number of a date, and the year of a day number.
std::int32_t DateFromYMD(int year, int month, int day);
int DateYear(std::int32_t dayNumber);

// Seeds the random generator from the local time, once per process however
// often it is called.
void RandomSeedOnce();
// An integer from low to high, both included.
int RandomInRange(int low, int high);

}  // namespace rt
