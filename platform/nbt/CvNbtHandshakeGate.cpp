#include "platform/nbt/CvNbtHandshakeGate.h"

#include <algorithm>

CvNbtHandshakeGate::CvNbtHandshakeGate(size_t total, size_t perAddress, Clock::duration grace)
    : m_total(std::max<size_t>(total, 1)),
      m_perAddress(std::max<size_t>(perAddress, 1)),
      m_grace(grace) {}

CvNbtHandshakeGate::Decision CvNbtHandshakeGate::Admit(uint32_t address,
                                                       Clock::time_point now) const {
    size_t fromAddress = 0;
    auto oldestFromAddress = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->second.address == address) {
            if (fromAddress++ == 0) {
                oldestFromAddress = it;
            }
        }
    }
    auto oldest = m_entries.end();
    if (fromAddress >= m_perAddress) {
        oldest = oldestFromAddress;
    } else if (m_entries.size() >= m_total) {
        oldest = m_entries.begin();
    } else {
        return {};
    }
    if (now - oldest->second.started >= m_grace) {
        return {true, oldest->first};
    }
    return {false, 0};
}

void CvNbtHandshakeGate::Add(SessionId id, uint32_t address, Clock::time_point started) {
    m_entries[id] = Entry{address, started};
}

void CvNbtHandshakeGate::Remove(SessionId id) {
    m_entries.erase(id);
}
