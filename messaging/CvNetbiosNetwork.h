#pragma once

#include "messaging/CvNetwork.h"

class CvNetbiosProvider;

// The adapters that the NetBIOS provider enumerates.
class CvNetbiosNetwork : public CvNetwork {
public:
    explicit CvNetbiosNetwork(CvNetbiosProvider& provider);
    ~CvNetbiosNetwork() override;

    // Adds an interface for each new adapter number that can be reset and
    // removes those no longer enumerated (all of them when the enumeration
    // fails), setting the changed flag when the list changes. An adapter whose
    // reset fails is tried again on the next pass.
    void Refresh() override;

    CvNetbiosProvider& Provider() const { return m_provider; }

private:
    CvNetbiosProvider& m_provider;
};
