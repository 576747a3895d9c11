#pragma once

#include <cstddef>
#include <deque>

#include "app/CvCriticalSection.h"
#include "messaging/CMsg.h"

// Hands message records from the threads that receive or send them to the
// user interface thread, oldest first. Every record stays until it is taken:
// a received message was already acknowledged to its sender, so dropping one
// would lose it. A record's size is bounded by the transports' limits.
class CvMsgQueue {
public:
    CvMsgQueue() = default;
    CvMsgQueue(const CvMsgQueue&) = delete;
    CvMsgQueue& operator=(const CvMsgQueue&) = delete;

    // From any thread.
    void Put(const CMsg& msg);
    // The oldest record into `msg`; false (msg untouched) when empty.
    bool Take(CMsg& msg);
    size_t Size() const;

private:
    mutable CvCriticalSection m_lock;
    std::deque<CMsg> m_records;
};
