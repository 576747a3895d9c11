#include "netbios/CDatagramRing.h"

#include <algorithm>
#include <cstring>

CDatagramRing::CDatagramRing() : m_slots(kSlots) {}

void CDatagramRing::Push(const uint8_t* data, size_t length) {
    std::lock_guard guard(m_lock);
    Slot& slot = m_slots[m_head];
    slot.length = static_cast<uint32_t>(std::min(length, kSlotBytes));
    std::memcpy(slot.data.data(), data, slot.length);
    m_head = (m_head + 1) % kSlots;
    if (m_head == m_tail) {
        m_tail = (m_tail + 1) % kSlots;
    }
}

bool CDatagramRing::Pop(std::vector<uint8_t>& datagram) {
    std::lock_guard guard(m_lock);
    if (m_head == m_tail) {
        return false;
    }
    const Slot& slot = m_slots[m_tail];
    datagram.assign(slot.data.begin(), slot.data.begin() + slot.length);
    m_tail = (m_tail + 1) % kSlots;
    return true;
}
