#include "platform/CvVirtualLan.h"

#include <cassert>
#include <optional>

#include "platform/CvVirtualStation.h"

CvVirtualLan::CvVirtualLan(std::chrono::milliseconds timeUnit)
    : m_timeUnit(timeUnit), m_timer([this] { TimerLoop(); }) {}

CvVirtualLan::~CvVirtualLan() {
    {
        std::lock_guard lock(m_lock);
        assert(m_stations.empty() && "stations must be destroyed before their LAN");
        m_stopping = true;
    }
    m_timerWake.notify_all();
    m_timer.join();
}

void CvVirtualLan::TimerLoop() {
    std::unique_lock lock(m_lock);
    while (!m_stopping) {
        const Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> next;
        for (CvVirtualStation* station : m_stations) {
            const auto due = station->ExpireLocked(now);
            if (due && (!next || *due < *next)) {
                next = due;
            }
        }
        if (next) {
            m_timerWake.wait_until(lock, *next);
        } else {
            m_timerWake.wait(lock);
        }
    }
}
