#pragma once

#include <cstdint>

#include "messaging/CvNetworkInterface.h"

class CvNetbiosProvider;

// A NetBIOS LAN adapter, identified by its adapter number.
class CvNetbiosInterface : public CvNetworkInterface {
public:
    CvNetbiosInterface(CvNetbiosProvider& provider, uint8_t lana);

    // Resets the adapter asking for maxSessions sessions and maxNames names.
    // resetDone is set whatever the result.
    uint8_t Reset() override;

    bool resetDone = false;
    const uint8_t lana;
    const uint8_t maxNames = 250;
    const uint8_t maxSessions = 250;

private:
    CvNetbiosProvider& m_provider;
};
