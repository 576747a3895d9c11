#pragma once

#include <cstdint>
#include <string>

// "yyyy-MM-dd HH:mm:ss" of a local time in FILETIME ticks (see CvFileTime.h).
std::string CvTimeStampText(uint64_t localTicks);
// The same for the current local time.
std::string CvTimeStampText();
