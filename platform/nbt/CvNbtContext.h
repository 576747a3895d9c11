#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "platform/nbt/CvNbtAdapter.h"
#include "platform/nbt/CvNbtIoLoop.h"
#include "platform/nbt/CvNbtPending.h"
#include "platform/nbt/CvNbtPorts.h"
#include "platform/nbt/CvNbtUdpSocket.h"

// What the services of the stack share. Owned by CvNbtStack; used on the I/O
// thread only.
struct CvNbtContext {
    CvNbtContext(CvNbtIoLoop& loop, CvNbtPending& pending, CvNbtPorts ports)
        : loop(loop), pending(pending), ports(ports) {}

    CvNbtIoLoop& loop;
    CvNbtPending& pending;
    const CvNbtPorts ports;
    // Bound to 0.0.0.0 on the name and datagram ports, shared by all adapters.
    CvNbtUdpSocket nameSocket;
    CvNbtUdpSocket datagramSocket;
    std::map<uint8_t, std::unique_ptr<CvNbtAdapter>> adapters;

    // The adapter with that number if it was reset successfully.
    CvNbtAdapter* ResetAdapter(uint8_t lana);
    // The reset adapter a packet arrived on: by interface index, else the one
    // whose subnet holds the sender.
    CvNbtAdapter* AdapterForPacket(const CvNbtUdpPacket& packet);
    // True for the address of any reset adapter.
    bool IsOwnAddress(uint32_t ip) const;
    // A fresh random TRN_ID, never 0. Answers are matched by it, so a host
    // that saw one of our requests must not be able to guess the next.
    static uint16_t RandomTransactionId();
    uint16_t NextDatagramId();

private:
    uint16_t m_datagramId = 0;
};
