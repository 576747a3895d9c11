#pragma once

#include <mutex>

#include "platform/CvSemaphore.h"

// Many readers or one writer. A waiting writer takes precedence: once a writer
// waits, new readers queue behind it even while other readers hold the lock.
class CvReadWriteLock {
public:
    CvReadWriteLock();
    CvReadWriteLock(const CvReadWriteLock&) = delete;
    CvReadWriteLock& operator=(const CvReadWriteLock&) = delete;

    void LockShared();
    void LockExclusive();
    // Releases one hold, shared or exclusive, and hands the lock on: to one
    // waiting writer if any, else to all waiting readers at once.
    void Unlock();

    // Threads queued for the lock, by kind: a thread counts from the moment
    // it is sure to wait. For tests and diagnostics.
    int WaitingReaders();
    int WaitingWriters();

private:
    std::mutex m_cs;
    CvSemaphore m_readers;
    CvSemaphore m_writers;
    int m_waitingReaders = 0;
    int m_waitingWriters = 0;
    // n > 0: n readers hold the lock; -1: a writer holds it; 0: free.
    int m_active = 0;
};
