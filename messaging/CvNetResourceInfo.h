#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Resource types.
inline constexpr int32_t kNetResourceComputerNode = 1;  // a computer in the neighbourhood tree
inline constexpr int32_t kNetResourceDomain = 2;        // domain or workgroup
inline constexpr int32_t kNetResourceAccount = 3;       // computer or user found by a search

// States.
inline constexpr int32_t kNetResourceNoAnswer = 0;
inline constexpr int32_t kNetResourceAvailable = 1;
inline constexpr int32_t kNetResourceUnknown = 3;

// One resource of the LAN, copied by value.
struct CvNetResourceInfo {
    int32_t type = 0;
    std::string name;
    std::string computerName;
    std::string domain;
    std::string comment;
    int32_t state = kNetResourceNoAnswer;
    int32_t directory = 0;  // 1 = found in the directory, 0 = in the neighbourhood

    bool operator==(const CvNetResourceInfo&) const = default;
};

// A node of the neighbourhood tree: the root carries no resource, domain
// nodes hold computer nodes.
struct CvNetResourceNode {
    CvNetResourceInfo info;
    std::vector<CvNetResourceNode> children;
};
