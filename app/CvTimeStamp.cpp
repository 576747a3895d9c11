#include "app/CvTimeStamp.h"

#include <cstdio>

#include "app/CvFileTime.h"

std::string CvTimeStampText(uint64_t localTicks) {
    const std::tm calendar = CvFileTime::ToCalendar(localTicks);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", calendar.tm_year + 1900,
                  calendar.tm_mon + 1, calendar.tm_mday, calendar.tm_hour, calendar.tm_min,
                  calendar.tm_sec);
    return text;
}

std::string CvTimeStampText() {
    return CvTimeStampText(CvFileTime::NowLocal());
}
