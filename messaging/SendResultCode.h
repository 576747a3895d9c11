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
