#pragma once

#include <cstdint>

// One LAN adapter of a network.
class CvNetworkInterface {
public:
    virtual ~CvNetworkInterface() = default;
    // Prepares the adapter for use; returns the NetBIOS return code (0 = success).
    virtual uint8_t Reset() = 0;

    // Set during re-enumeration for adapters not seen again yet.
    bool stale = false;
};
