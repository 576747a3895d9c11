#pragma once

#include <cstdint>
#include <map>

// Where the loaded value of a setting came from.
enum class CvSettingSource {
    Default,    // the settings table
    Machine,    // machine-wide registry values
    User,       // the user's registry values
    Ini,        // the INI file beside the program
    Autostart,  // derived from the autostart entries
};

using CvSettingSources = std::map<int32_t, CvSettingSource>;

// "default", "machine", "user", "INI" or "autostart".
const char* CvSettingSourceName(CvSettingSource source);
