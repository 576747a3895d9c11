#pragma once

#include "storage/CvMemDataSet.h"

// The received messages that the popup window pages through, in memory.
// Columns: "Type" (integer), "Origin", "Recipient", "Message" (ANSI text),
// "Received" (local FILETIME ticks, integer), "Read" (integer, 0 = unread),
// "Id" (integer, names the row while others come and go).
class CvArrayDataSet : public CvMemDataSet {
public:
    CvArrayDataSet();
};
