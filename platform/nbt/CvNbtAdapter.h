#pragma once

#include <array>
#include <cstdint>

#include "platform/CvIpAdapters.h"
#include "platform/nbt/CvNbtNameTable.h"
#include "platform/nbt/NbtConstants.h"

// One LAN adapter of the stack: an IPv4 interface, its name table and the
// session listener bound to its address. Touched on the I/O thread only.
struct CvNbtAdapter {
    CvIpAdapter ip;
    bool reset = false;      // sockets open, commands accepted
    uint8_t resetError = 0;  // the code of the last failed reset, 0 if none
    // Closed by the stack after an address change; the stack resets it again
    // itself (its users had reset it) at the first check that succeeds.
    bool reopen = false;
    int listenerFd = -1;  // TCP session listener on ip.address
    CvNbtNameTable names;
    // UNIT_ID of node status: the interface's MAC address when the system
    // tells it, else derived from the IP address; stable for the process.
    std::array<uint8_t, kNbtUnitIdLength> unitId{};

    // The interface's hardware address, or bytes derived from address.
    static std::array<uint8_t, kNbtUnitIdLength> MakeUnitId(const CvIpAdapter& adapter);
};
