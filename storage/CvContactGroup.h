#pragma once

#include <string>
#include <vector>

#include "storage/CvContact.h"

// A named group of contacts as the contact list shows it.
struct CvContactGroup {
    std::string name;
    // A new group is collapsed until loaded as expanded.
    bool collapsed = true;
    // Toggled by the user since the states were last saved.
    bool dirty = false;
    std::vector<CvContact> contacts;  // in load order
};
