#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "app/CvFunction.h"
#include "app/CvThreadClassFunction.h"
#include "platform/CvEvent.h"
#include "platform/CvSemaphore.h"

class CConnection;

// Runs the handler for the connections a port accepts on worker threads of
// their own, so that a caller who is slow to finish holds up only the worker
// that serves it. At most `maxWorkers` threads run; they start when every
// running one is busy and stay until Stop. Connections that find every worker
// busy wait in a queue of at most `maxQueued`.
class CConnectionWorkers {
public:
    using Handler = CvUnaryFunction<void, CConnection*>;

    // `handler` must outlive the workers; it owns each connection it is given.
    CConnectionWorkers(Handler& handler, size_t maxWorkers, size_t maxQueued);
    ~CConnectionWorkers();
    CConnectionWorkers(const CConnectionWorkers&) = delete;
    CConnectionWorkers& operator=(const CConnectionWorkers&) = delete;

    enum class PostResult {
        Queued,    // a worker takes it
        Stopped,   // one of `stop` was signalled, or Stop ran
        TimedOut,  // the queue stayed full for `ms`
    };
    // Queues the connection for a worker, first waiting up to `ms` while the
    // queue is full. Unless Queued, the connection stays the caller's.
    PostResult Post(CConnection* connection, std::span<CvWaitable* const> stop, uint32_t ms);

    // Connections waiting for a worker.
    size_t QueuedCount() const;

    // Stops taking connections, waits for the workers to finish the ones
    // they hold, and returns those that never reached a worker.
    std::vector<CConnection*> Stop();

    // Threads started so far.
    size_t WorkerCount() const;

private:
    void WorkerThread(CvThread* thread);

    Handler& m_handler;
    const size_t m_maxWorkers;
    const size_t m_maxQueued;
    mutable std::mutex m_lock;  // guards everything below but the events
    std::deque<CConnection*> m_queue;
    std::vector<std::unique_ptr<CvThreadClassFunction<CConnectionWorkers>>> m_threads;
    size_t m_busy = 0;
    bool m_stopped = false;
    CvSemaphore m_work;
    CvEvent m_room{true, true};  // set while the queue has room
};
