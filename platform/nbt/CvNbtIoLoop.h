#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// One poll()-based I/O thread with one-shot timers. Everything the NetBIOS
// stack does on the network runs as callbacks on this thread, so its state
// needs no locks. Post() may be called from any thread; the other operations
// only from callbacks (the loop thread).
class CvNbtIoLoop {
public:
    using Task = std::function<void()>;
    using FdHandler = std::function<void(short revents)>;
    using TimerId = uint64_t;

    CvNbtIoLoop() = default;
    CvNbtIoLoop(const CvNbtIoLoop&) = delete;
    CvNbtIoLoop& operator=(const CvNbtIoLoop&) = delete;
    // Stops and joins the thread.
    ~CvNbtIoLoop();

    // Starts the thread; false if the wake-up pipe cannot be created.
    bool Start();
    // Runs the tasks already posted, then ends the thread and joins it.
    // Tasks posted afterwards are dropped.
    void Stop();

    // Queues task to run on the loop thread. Returns false once stopped.
    bool Post(Task task);
    bool IsLoopThread() const { return std::this_thread::get_id() == m_threadId.load(); }

    // Calls handler with the poll revents whenever fd is ready for events.
    // The loop does not own fd; Unwatch before closing it.
    void Watch(int fd, short events, FdHandler handler);
    void SetEvents(int fd, short events);
    void Unwatch(int fd);

    // Runs task once after ms milliseconds. CancelTimer of a timer that has
    // fired or was cancelled does nothing.
    TimerId AddTimer(int ms, Task task);
    void CancelTimer(TimerId id);

private:
    using Clock = std::chrono::steady_clock;
    struct Watched {
        short events = 0;
        uint64_t generation = 0;
        FdHandler handler;
    };

    void Run();
    void Wake();
    void RunPostedTasks();
    void RunDueTimers();
    int NextTimeoutMs() const;

    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    int m_wakeRead = -1;
    int m_wakeWrite = -1;

    std::mutex m_postLock;
    std::vector<Task> m_posted;
    bool m_stopping = false;
    bool m_stopped = false;

    std::map<int, Watched> m_watched;
    uint64_t m_generation = 0;
    std::multimap<Clock::time_point, std::pair<TimerId, Task>> m_timers;
    std::map<TimerId, Clock::time_point> m_timerDue;
    TimerId m_nextTimer = 1;
};
