#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/CvMemberFunctionSafe.h"
#include "messaging/CvNetNamePingResult.h"

using CvNetNamePingReceiver = CvUnaryFunctionSafe<void, CvNetNamePingResult&>;

// One queued ping, copied by value. The receiver is shared with the requester,
// which cuts it off with Unbind when it goes away.
struct CvNetNamePingRequest {
    uint32_t requester = 0;
    uint8_t suffix = 0;
    std::string name;
    std::shared_ptr<CvNetNamePingReceiver> receiver;
};
