#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class CvVirtualStation;

// The shared medium of an in-process virtual LAN: the stations created on it
// and their adapters, each attached to a numbered segment. Stations see each
// other's names, sessions and datagrams only within a segment.
//
// All state of the LAN and its stations is guarded by one lock, so every
// command is atomic with respect to every other. One timer thread, owned and
// joined here, ends receives whose session time-out has passed.
//
// The LAN must outlive its stations.
class CvVirtualLan {
public:
    // `timeUnit` is the length of one time-out unit in an NCB (500 ms on a
    // real stack); tests may shorten it.
    explicit CvVirtualLan(std::chrono::milliseconds timeUnit = std::chrono::milliseconds(500));
    ~CvVirtualLan();
    CvVirtualLan(const CvVirtualLan&) = delete;
    CvVirtualLan& operator=(const CvVirtualLan&) = delete;

    std::chrono::milliseconds TimeUnit() const { return m_timeUnit; }

private:
    friend class CvVirtualStation;
    using Clock = std::chrono::steady_clock;

    void TimerLoop();

    const std::chrono::milliseconds m_timeUnit;
    std::mutex m_lock;
    // Signalled whenever a command completes; synchronous submitters wait on it.
    std::condition_variable m_completed;
    // Signalled when a command with a deadline is queued, or on shutdown.
    std::condition_variable m_timerWake;
    std::vector<CvVirtualStation*> m_stations;  // in creation order
    uint32_t m_nextStationId = 1;
    bool m_stopping = false;
    std::thread m_timer;
};
