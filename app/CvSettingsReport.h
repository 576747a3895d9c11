#pragma once

#include <string>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvSettingSource.h"

// A table of every setting of the settings table in ascending identifier
// order: identifier, key, where the value came from, and the value (texts in
// double quotes with '"', '\' and control characters escaped). Settings
// missing from `sources` show "default".
std::string CvFormatSettingsReport(const CvAppPropertyList& list, const CvSettingSources& sources);

// One line per store the settings are read from, for the given paths.
std::string CvDescribeSettingStores(const CvAppPaths& paths);
