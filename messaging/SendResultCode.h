#pragma once

#include <cstdint>

// The result of one send as the outbox reports it.
enum SendResultCode : int32_t {
    SendResultSuccess = 1,       // Send returned normally
    SendResultUnknownError = 2,  // any other CvNetworkErr ("Unknown error")
    SendResultAddrNotFound = 3,  // CvAddrNotFoundErr ("Recipient not found")
    SendResultTransmission = 4,  // CvDataTransmissionErr ("Message transmission error")
    SendResultNoInterface = 5,   // CvNoInterfaceAvailErr ("Network not found")
};

// The interface text (section "WriteMsgForm") that names a failed result:
// "Unknown error", "Recipient not found", "Message transmission error",
// "Network not found".
inline int SendResultTextId(int32_t code) {
    switch (code) {
        case SendResultAddrNotFound:
            return 1409;
        case SendResultTransmission:
            return 1410;
        case SendResultNoInterface:
            return 1412;
        default:
            return 1408;
    }
}
