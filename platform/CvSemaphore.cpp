#include "platform/CvSemaphore.h"

CvSemaphore::CvSemaphore(int32_t initialCount, int32_t maximumCount)
    : m_count(initialCount), m_maximum(maximumCount) {}

bool CvSemaphore::Release(int32_t count) {
    std::lock_guard lock(SharedLock());
    if (count <= 0 || count > m_maximum - m_count) {
        return false;
    }
    m_count += count;
    WakeWaitersLocked();
    return true;
}

int32_t CvSemaphore::Count() const {
    std::lock_guard lock(SharedLock());
    return m_count;
}
