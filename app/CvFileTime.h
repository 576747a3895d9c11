#pragma once

#include <cstdint>
#include <ctime>

// Times in FILETIME units: 100-ns ticks since 1601-01-01 00:00, here always
// local time (the wall clock of the user's time zone), as messages carry it.
namespace CvFileTime {

inline constexpr uint64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr int64_t kEpochDifferenceSeconds = 11'644'473'600;

// The current local time.
uint64_t NowLocal();

// Broken-down wall-clock time (tm_year since 1900, tm_mon 0-11, ...) to
// ticks; the fields are taken as they are, without a time-zone shift.
uint64_t FromCalendar(const std::tm& calendar, uint32_t milliseconds = 0);

// Ticks to broken-down wall-clock time (tm_wday and tm_yday filled in).
std::tm ToCalendar(uint64_t ticks);

}  // namespace CvFileTime
