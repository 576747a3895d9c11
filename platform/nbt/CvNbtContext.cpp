#include "platform/nbt/CvNbtContext.h"

#include <random>

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

uint16_t CvNbtContext::NextTransactionId() {
    if (m_transactionId == 0) {
        // Start somewhere random so that a restarted process does not reuse
        // the identifiers of its predecessor's requests.
        m_transactionId = static_cast<uint16_t>(std::random_device{}() | 1);
    }
    return ++m_transactionId == 0 ? ++m_transactionId : m_transactionId;
}

uint16_t CvNbtContext::NextDatagramId() {
    return ++m_datagramId;
}
