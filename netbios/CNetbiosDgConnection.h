#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "netbios/CConnection.h"
#include "platform/CvMailslotProvider.h"

// A received datagram (no name, the data kept here) or an outgoing mailslot
// write (the remote name and the open mailslot).
class CNetbiosDgConnection : public CConnection {
public:
    CNetbiosDgConnection(CPort* port, std::vector<uint8_t> datagram)
        : CConnection(port), data(std::move(datagram)) {}
    CNetbiosDgConnection(CPort* port, std::string remoteName,
                         std::unique_ptr<CvMailslotWriter> file)
        : CConnection(port), remoteName(std::move(remoteName)), file(std::move(file)) {}

    const std::string remoteName;
    const std::unique_ptr<CvMailslotWriter> file;
    const std::vector<uint8_t> data;
};
