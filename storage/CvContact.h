#pragma once

#include <cstdint>
#include <string>

// Contact kinds, numbered as the message types.
inline constexpr int32_t kContactUser = 1;       // user or computer: personal messages
inline constexpr int32_t kContactWorkgroup = 2;  // domain or workgroup: broadcasts

// One contact of the contact list. Names are UTF-8.
struct CvContact {
    int32_t conttype = kContactUser;
    std::string name;  // the network name messages go to
    std::string displayname;
    std::string groupname;
    uint8_t online = 0;
    uint8_t changed = 0;
};
