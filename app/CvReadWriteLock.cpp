#include "app/CvReadWriteLock.h"

namespace {
constexpr int32_t kSemaphoreMax = 0x7FFFFFFF;
}

CvReadWriteLock::CvReadWriteLock() : m_readers(0, kSemaphoreMax), m_writers(0, kSemaphoreMax) {}

void CvReadWriteLock::LockShared() {
    bool wait = false;
    {
        std::lock_guard lock(m_cs);
        if (m_waitingWriters > 0 || m_active < 0) {
            ++m_waitingReaders;
            wait = true;
        } else {
            ++m_active;
        }
    }
    if (wait) {
        m_readers.Wait(kInfinite);
    }
}

void CvReadWriteLock::LockExclusive() {
    bool wait = false;
    {
        std::lock_guard lock(m_cs);
        if (m_active != 0) {
            ++m_waitingWriters;
            wait = true;
        } else {
            m_active = -1;
        }
    }
    if (wait) {
        m_writers.Wait(kInfinite);
    }
}

void CvReadWriteLock::Unlock() {
    CvSemaphore* release = nullptr;
    int32_t count = 0;
    {
        std::lock_guard lock(m_cs);
        if (m_active > 0) {
            --m_active;
        } else if (m_active < 0) {
            ++m_active;
        }
        if (m_active == 0) {
            if (m_waitingWriters > 0) {
                m_active = -1;
                --m_waitingWriters;
                release = &m_writers;
                count = 1;
            } else if (m_waitingReaders > 0) {
                m_active = m_waitingReaders;
                m_waitingReaders = 0;
                release = &m_readers;
                count = m_active;
            }
        }
    }
    if (release != nullptr) {
        release->Release(count);
    }
}

int CvReadWriteLock::WaitingReaders() {
    std::lock_guard lock(m_cs);
    return m_waitingReaders;
}

int CvReadWriteLock::WaitingWriters() {
    std::lock_guard lock(m_cs);
    return m_waitingWriters;
}
