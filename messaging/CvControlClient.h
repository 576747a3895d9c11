#pragma once

#include <cstdint>
#include <string>

#include "messaging/CvControlProtocol.h"

// The sending side of a station's control socket.
class CvControlClient {
public:
    enum class Status {
        Replied,    // `reply` holds the station's answer
        NoStation,  // nobody listens on the socket (no file, or a stale one)
        Failed,     // connected, but no well-formed reply came (see `error`)
    };
    struct Outcome {
        Status status = Status::Failed;
        CvControlReply reply;
        std::string error;
    };

    // Sends one request and waits at most `timeoutMs` for the reply. A
    // socket served by another user counts as failed.
    static Outcome Send(const CvControlRequest& request, const std::string& path,
                        uint32_t timeoutMs);
};
