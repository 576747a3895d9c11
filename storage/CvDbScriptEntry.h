#pragma once

#include <string>

// One statement of a database file's schema script. Every entry runs at every
// opening; the version documents when the statement was added.
struct CvDbScriptEntry {
    int version;
    std::u16string sql;
};
