#pragma once

#include <cstdint>
#include <string>

#include "netbios/CConnection.h"

// A NetBIOS session: accepted (remote name = the caller's 16-byte name field,
// padding and suffix included) or called (remote name = the called name).
class CNetbiosConnection : public CConnection {
public:
    CNetbiosConnection(CPort* port, std::string remoteName, uint8_t session)
        : CConnection(port), remoteName(std::move(remoteName)), session(session) {}

    const std::string remoteName;
    const uint8_t session;
};
