#include "app/CvFileTime.h"

#include <chrono>

namespace CvFileTime {

uint64_t NowLocal() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto sinceSecond =
        now - std::chrono::system_clock::from_time_t(seconds);
    const auto ticks =
        std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>>(
            sinceSecond)
            .count();
    return FromCalendar(local) + static_cast<uint64_t>(ticks < 0 ? 0 : ticks);
}

uint64_t FromCalendar(const std::tm& calendar, uint32_t milliseconds) {
    std::tm copy = calendar;
    const int64_t unixSeconds = static_cast<int64_t>(timegm(&copy));
    return static_cast<uint64_t>(unixSeconds + kEpochDifferenceSeconds) * kTicksPerSecond +
           static_cast<uint64_t>(milliseconds) * 10'000;
}

std::tm ToCalendar(uint64_t ticks) {
    const std::time_t unixSeconds =
        static_cast<std::time_t>(static_cast<int64_t>(ticks / kTicksPerSecond) -
                                 kEpochDifferenceSeconds);
    std::tm calendar{};
    gmtime_r(&unixSeconds, &calendar);
    return calendar;
}

}  // namespace CvFileTime
