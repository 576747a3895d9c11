#include "messaging/CvMsgQueue.h"

#include <mutex>
#include <utility>

void CvMsgQueue::Put(const CMsg& msg) {
    std::lock_guard guard(m_lock);
    m_records.push_back(msg);
}

bool CvMsgQueue::Take(CMsg& msg) {
    std::lock_guard guard(m_lock);
    if (m_records.empty()) {
        return false;
    }
    msg = std::move(m_records.front());
    m_records.pop_front();
    return true;
}

size_t CvMsgQueue::Size() const {
    std::lock_guard guard(m_lock);
    return m_records.size();
}
