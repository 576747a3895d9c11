#pragma once

#include <cstdint>
#include <string>

#include "app/CvFunction.h"
#include "messaging/CMsg.h"

struct CvMsgOutboxSendResult;
using CvMsgOutboxReceiver = CvUnaryFunction<void, CvMsgOutboxSendResult&>;

// What became of one queued message.
struct CvMsgOutboxSendResult {
    CMsg msg;                                 // the record as it was queued
    int32_t id = 0;                           // the caller's message id
    CvMsgOutboxReceiver* receiver = nullptr;  // identifies the requester
    int32_t code = 0;                         // SendResultCode
    std::string errorText;                    // empty
};
