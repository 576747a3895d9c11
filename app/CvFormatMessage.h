#pragma once

#include <string>
#include <vector>

// Fills the "%1" to "%9" inserts of an interface text in one pass, so that an
// argument holding "%2" is never replaced again. An insert without an
// argument, and any other '%', stay as written.
std::string CvFormatMessage(const std::string& pattern, const std::vector<std::string>& args);
