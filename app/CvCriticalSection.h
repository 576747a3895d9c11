#pragma once

#include <mutex>

// A recursive lock: the thread that holds it may enter it again, as code that
// calls back into its own object under the lock expects.
class CvCriticalSection {
public:
    CvCriticalSection() = default;
    CvCriticalSection(const CvCriticalSection&) = delete;
    CvCriticalSection& operator=(const CvCriticalSection&) = delete;

    void Enter() { m_mutex.lock(); }
    void Leave() { m_mutex.unlock(); }

    // BasicLockable, for std::lock_guard and std::unique_lock.
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex m_mutex;
};
