#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "netbios/CConnection.h"

// A NetBIOS session: accepted (remote name = the caller's 16-byte name field,
// padding and suffix included) or called (remote name = the called name).
class CNetbiosConnection : public CConnection {
public:
    CNetbiosConnection(CPort* port, std::string remoteName, uint8_t session, bool accepted)
        : CConnection(port),
          remoteName(std::move(remoteName)),
          session(session),
          accepted(accepted) {}

    const std::string remoteName;
    const uint8_t session;
    // Accepted by a listen of the port (else called by Connect).
    const bool accepted;
    // Set once the session was hung up, so that its number, which the
    // adapter may hand out again, is never hung up twice. Guarded by the port.
    bool hungUp = false;
    // When a worker began to serve it (steady clock ticks); 0 while it waits.
    std::atomic<int64_t> servedSince{0};
};
