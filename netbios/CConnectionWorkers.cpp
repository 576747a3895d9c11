#include "netbios/CConnectionWorkers.h"

#include <limits>

CConnectionWorkers::CConnectionWorkers(Handler& handler, size_t maxWorkers, size_t maxQueued)
    : m_handler(handler),
      m_maxWorkers(maxWorkers),
      m_maxQueued(maxQueued),
      m_work(0, std::numeric_limits<int32_t>::max()) {}

CConnectionWorkers::~CConnectionWorkers() {
    Stop();
}

CConnectionWorkers::PostResult CConnectionWorkers::Post(CConnection* connection,
                                                        std::span<CvWaitable* const> stop,
                                                        uint32_t ms) {
    std::vector<CvWaitable*> objects(stop.begin(), stop.end());
    objects.push_back(&m_room);
    for (;;) {
        {
            std::lock_guard guard(m_lock);
            if (m_stopped) {
                return PostResult::Stopped;
            }
            if (m_queue.size() < m_maxQueued) {
                m_queue.push_back(connection);
                if (m_queue.size() >= m_maxQueued) {
                    m_room.Reset();
                }
                // Every queued connection needs a worker of its own that is
                // not busy yet.
                if (m_queue.size() > m_threads.size() - m_busy && m_threads.size() < m_maxWorkers) {
                    m_threads.push_back(std::make_unique<CvThreadClassFunction<CConnectionWorkers>>(
                        this, &CConnectionWorkers::WorkerThread));
                    m_threads.back()->Start();
                }
                m_work.Release();
                return PostResult::Queued;
            }
        }
        // Stop objects come first, so a stop wins over room freed meanwhile.
        const uint32_t which = CvWaitable::WaitAny(objects, ms);
        if (which == kWaitTimeout) {
            return PostResult::TimedOut;
        }
        if (which < stop.size()) {
            return PostResult::Stopped;
        }
    }
}

size_t CConnectionWorkers::QueuedCount() const {
    std::lock_guard guard(m_lock);
    return m_queue.size();
}

std::vector<CConnection*> CConnectionWorkers::Stop() {
    std::vector<std::unique_ptr<CvThreadClassFunction<CConnectionWorkers>>> threads;
    {
        std::lock_guard guard(m_lock);
        m_stopped = true;
        threads.swap(m_threads);
    }
    // Each thread finishes the connection it holds, then sees its stop.
    threads.clear();
    std::lock_guard guard(m_lock);
    std::vector<CConnection*> left(m_queue.begin(), m_queue.end());
    m_queue.clear();
    m_room.Set();
    return left;
}

size_t CConnectionWorkers::WorkerCount() const {
    std::lock_guard guard(m_lock);
    return m_threads.size();
}

void CConnectionWorkers::WorkerThread(CvThread* thread) {
    while (thread->WaitForEventOrStop(m_work, kInfinite)) {
        CConnection* connection = nullptr;
        {
            std::lock_guard guard(m_lock);
            if (m_stopped) {
                return;
            }
            if (m_queue.empty()) {
                continue;  // never leave while counted as a worker
            }
            connection = m_queue.front();
            m_queue.pop_front();
            m_room.Set();
            ++m_busy;
        }
        m_handler(connection);
        std::lock_guard guard(m_lock);
        --m_busy;
    }
}
