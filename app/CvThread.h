#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/CvEvent.h"

// Thread priorities as the rest of the code names them.
inline constexpr int kThreadPriorityLowest = -2;
inline constexpr int kThreadPriorityNormal = 0;
inline constexpr int kThreadPriorityAboveNormal = 1;
inline constexpr int kThreadPriorityHighest = 2;

// A worker thread with a stop event. The owner starts it once, asks it to
// stop, and deletes it; the destructor stops and joins a running thread.
// Bodies poll IsStopRequested or sleep in WaitForStop / WaitForEventOrStop,
// so they notice a stop request promptly.
class CvThread {
public:
    CvThread();
    CvThread(const CvThread&) = delete;
    CvThread& operator=(const CvThread&) = delete;
    virtual ~CvThread();

    // Runs Run() on a new thread. A thread object is started at most once;
    // false if it was started before.
    bool Start();

    // True once the stop event is signalled, for ever (it is never reset).
    bool IsStopRequested();
    // An interruptible sleep: kWaitObject0 when stopped, kWaitTimeout otherwise.
    uint32_t WaitForStop(uint32_t ms);
    // True only when `object` was signalled (it wins over a stop request that
    // arrives at the same time); false on stop or time-out.
    bool WaitForEventOrStop(CvWaitable& object, uint32_t ms);

    // Signals the stop event and raises the thread's priority so that it
    // reaches its next check soon.
    void RequestStop();
    void WaitForExit();
    // If the body still runs: RequestStop, then WaitForExit. Joins a thread
    // whose body has returned without waiting.
    void StopAndWait();

    // True from Start until the body returns.
    bool IsRunning() const { return m_running.load(); }

    // Best effort: maps the priority onto the thread's nice value. Raising
    // it needs CAP_SYS_NICE; failures are ignored.
    void SetPriority(int priority);

    CvEvent& StopEvent() { return m_stopEvent; }

    // A thread object that deletes itself when its body returns (allocate it
    // with new; nobody else deletes it). Set before Start.
    void SetAutoDelete(bool autoDelete) { m_autoDelete = autoDelete; }

protected:
    // The thread body; does nothing here.
    virtual void Run() {}

private:
    void ThreadMain();
    void ApplyPriority();

    std::mutex m_startLock;  // Start assigns m_thread while the body may already run
    std::thread m_thread;
    bool m_autoDelete = false;
    CvEvent m_stopEvent{true, false};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_priority{kThreadPriorityNormal};
    std::atomic<long> m_tid{0};
};
