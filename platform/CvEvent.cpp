#include "platform/CvEvent.h"

CvEvent::CvEvent(bool manualReset, bool initialState)
    : m_manualReset(manualReset), m_signalled(initialState) {}

void CvEvent::Set() {
    std::lock_guard lock(SharedLock());
    m_signalled = true;
    WakeWaitersLocked();
}

void CvEvent::Reset() {
    std::lock_guard lock(SharedLock());
    m_signalled = false;
}

bool CvEvent::IsSet() const {
    std::lock_guard lock(SharedLock());
    return m_signalled;
}

void CvEvent::ConsumeLocked() {
    if (!m_manualReset) {
        m_signalled = false;
    }
}
