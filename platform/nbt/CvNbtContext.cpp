#include "platform/nbt/CvNbtContext.h"

#include <random>

#include <sys/random.h>

CvNbtAdapter* CvNbtContext::ResetAdapter(uint8_t lana) {
    auto it = adapters.find(lana);
    return it != adapters.end() && it->second->reset ? it->second.get() : nullptr;
}

CvNbtAdapter* CvNbtContext::AdapterForPacket(const CvNbtUdpPacket& packet) {
    for (auto& [lana, adapter] : adapters) {
        if (adapter->reset && packet.interfaceIndex != 0 &&
            adapter->ip.interfaceIndex == packet.interfaceIndex) {
            return adapter.get();
        }
    }
    for (auto& [lana, adapter] : adapters) {
        if (adapter->reset && (packet.sourceIp & adapter->ip.netmask) ==
                                  (adapter->ip.address & adapter->ip.netmask)) {
            return adapter.get();
        }
    }
    return nullptr;
}

bool CvNbtContext::IsOwnAddress(uint32_t ip) const {
    for (const auto& [lana, adapter] : adapters) {
        if (adapter->reset && adapter->ip.address == ip) {
            return true;
        }
    }
    return false;
}

uint16_t CvNbtContext::RandomTransactionId() {
    uint16_t id = 0;
    while (id == 0) {
        if (getrandom(&id, sizeof id, 0) != static_cast<ssize_t>(sizeof id)) {
            id = static_cast<uint16_t>(std::random_device{}());
        }
    }
    return id;
}

uint16_t CvNbtContext::NextDatagramId() {
    return ++m_datagramId;
}
