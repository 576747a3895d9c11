#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Probe outcomes of a name ping.
inline constexpr int32_t kPingStatusNoAnswer = 3;
inline constexpr int32_t kPingStatusAnswered = 4;

// The outcome of one name ping, copied to its receiver. Strings are UTF-8.
struct CvNetNamePingResult {
    uint32_t requester = 0;
    std::string name;  // as the requester passed it
    uint8_t suffix = 0;
    int32_t status = kPingStatusNoAnswer;
    // The answering station's unique name with suffix 0x00, trailing spaces removed.
    std::string computerName;
    // Its unique names with suffix 0x03, in the order of its name table.
    std::vector<std::string> messengerNames;
};
