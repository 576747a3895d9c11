#pragma once

#include <memory>
#include <string>

#include "netbios/CConnection.h"
#include "platform/CvMailslotProvider.h"

// A message waiting in the port's own mailslot (no name, no writer), or a
// write to another mailslot (the remote name and the writer opened for it).
class CMailslotConnection : public CConnection {
public:
    explicit CMailslotConnection(CPort* port) : CConnection(port) {}
    CMailslotConnection(CPort* port, std::string remoteName,
                        std::unique_ptr<CvMailslotWriter> writer)
        : CConnection(port), remoteName(std::move(remoteName)), writer(std::move(writer)) {}

    const std::string remoteName;
    const std::unique_ptr<CvMailslotWriter> writer;
};
