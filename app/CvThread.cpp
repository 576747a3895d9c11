#include "app/CvThread.h"

#include <algorithm>
#include <array>

#include <sys/resource.h>
#include <unistd.h>

CvThread::CvThread() = default;

CvThread::~CvThread() {
    StopAndWait();
}

bool CvThread::Start() {
    bool expected = false;
    if (!m_started.compare_exchange_strong(expected, true)) {
        return false;
    }
    m_running = true;
    std::lock_guard guard(m_startLock);
    m_thread = std::thread(&CvThread::ThreadMain, this);
    return true;
}

void CvThread::ThreadMain() {
    m_tid = static_cast<long>(gettid());
    ApplyPriority();
    Run();
    if (m_autoDelete) {
        {
            std::lock_guard guard(m_startLock);
            m_thread.detach();
        }
        m_running = false;
        delete this;
        return;
    }
    m_running = false;
}

bool CvThread::IsStopRequested() {
    return m_stopEvent.Wait(0) != kWaitTimeout;
}

uint32_t CvThread::WaitForStop(uint32_t ms) {
    return m_stopEvent.Wait(ms);
}

bool CvThread::WaitForEventOrStop(CvWaitable& object, uint32_t ms) {
    std::array<CvWaitable*, 2> objects{&object, &m_stopEvent};
    return CvWaitable::WaitAny(objects, ms) == kWaitObject0;
}

void CvThread::RequestStop() {
    m_stopEvent.Set();
    SetPriority(kThreadPriorityAboveNormal);
}

void CvThread::WaitForExit() {
    if (!m_thread.joinable()) {
        return;
    }
    if (m_thread.get_id() == std::this_thread::get_id()) {
        // The body deletes its own thread object; nobody is left to join it.
        m_thread.detach();
        return;
    }
    m_thread.join();
}

void CvThread::StopAndWait() {
    if (m_running) {
        RequestStop();
    }
    WaitForExit();
}

void CvThread::SetPriority(int priority) {
    m_priority = priority;
    ApplyPriority();
}

void CvThread::ApplyPriority() {
    const long tid = m_tid.load();
    if (tid == 0 || !m_running) {
        return;
    }
    // Windows-style priorities run from -15 to 15; nice runs from 19 to -20.
    const int nice = std::clamp(-5 * m_priority.load(), -20, 19);
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}
