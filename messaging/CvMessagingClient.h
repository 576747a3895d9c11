#pragma once

#include <cstdint>

#include "app/CvFunction.h"
#include "messaging/CMsg.h"

// A transport that sends and receives messages.
class CvMessagingClient {
public:
    virtual ~CvMessagingClient() = default;

    // The message type the client carries natively (1 = session, 2 = mailslot).
    virtual int32_t TransportId() = 0;
    // Sends one message on the calling thread. Returns on success; throws a
    // CvNetworkErr subclass on failure.
    virtual void Send(CMsg msg) = 0;

    // Received messages go to `receiver`, called on a transport thread; null
    // drops them. The receiver must outlive the client's threads.
    void SetReceiver(CvUnaryFunction<void, CMsg&>* receiver) { onReceive = receiver; }

protected:
    CvUnaryFunction<void, CMsg&>* onReceive = nullptr;
};
