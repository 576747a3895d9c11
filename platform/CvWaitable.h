#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

// Wait results and the infinite time-out, with the values the rest of the
// code compares against.
inline constexpr uint32_t kInfinite = 0xFFFFFFFF;
inline constexpr uint32_t kWaitObject0 = 0;
inline constexpr uint32_t kWaitTimeout = 0x102;

// Something a thread can wait on, alone or together with others (an event or a
// semaphore). Waiting on several objects returns when the first of them, in
// the order given, is signalled; only that one is consumed.
//
// All waitables share one process-wide lock. Waits are rare and short, and one
// lock makes waiting on several objects at once simple and race-free.
class CvWaitable {
public:
    CvWaitable() = default;
    CvWaitable(const CvWaitable&) = delete;
    CvWaitable& operator=(const CvWaitable&) = delete;
    virtual ~CvWaitable() = default;

    // kWaitObject0 when signalled within `ms` (kInfinite allowed), else kWaitTimeout.
    uint32_t Wait(uint32_t ms);

    // kWaitObject0 + index of the first signalled object, or kWaitTimeout.
    // Null entries are never signalled.
    static uint32_t WaitAny(std::span<CvWaitable* const> objects, uint32_t ms);

protected:
    // Both are called with the shared lock held.
    virtual bool IsSignalledLocked() const = 0;
    // Called after a wait was satisfied by this object (auto-reset, count down).
    virtual void ConsumeLocked() = 0;

    void WakeWaitersLocked();
    static std::mutex& SharedLock();

private:
    struct Waiter {
        std::condition_variable cv;
    };
    std::vector<Waiter*> m_waiters;
};
