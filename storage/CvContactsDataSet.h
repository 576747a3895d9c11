#pragma once

#include <string>

#include "storage/CvMemDataSet.h"

// Contacts held in memory, as read from a contact list file of the earlier
// major version. Columns: "Type" (integer), "RealName", "DisplayName",
// "GroupName" (ANSI text), "GroupOpen" (integer).
class CvContactsDataSet : public CvMemDataSet {
public:
    CvContactsDataSet();

    // Replaces the rows with the lines of `path`: "type;name;display name;
    // group;open", one contact a line, every line a row (an empty one too).
    // Type "1" is 1, anything else 2; open "1" is 1, anything else 0; missing
    // fields are empty, text after a fifth ";" is ignored. Such files come
    // from Windows: one that is not valid UTF-8 is read in the locale's ANSI
    // code page (CvAnsiCodec). A file that cannot be read leaves no rows;
    // returns whether it was read.
    bool Load(const std::string& path);
};
