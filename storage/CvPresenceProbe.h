#pragma once

#include <memory>
#include <string>

#include "messaging/CvNetNamePingRequest.h"

// What the contact list's presence thread asks the network: whether a user
// or computer name answers (through the name pinger) and whether a domain or
// workgroup is in the network neighbourhood (through the host scanner).
class CvPresenceProbe {
public:
    virtual ~CvPresenceProbe() = default;

    // Queues a probe of the messenger name `name`; returns at once. The result
    // reaches `receiver` once, on another thread, unless the probe service
    // stops first.
    virtual void Ping(const std::string& name, std::shared_ptr<CvNetNamePingReceiver> receiver) = 0;
    // Whether the latest neighbourhood holds a domain or workgroup `name`.
    virtual bool IsWorkgroupKnown(const std::string& name) = 0;
};
