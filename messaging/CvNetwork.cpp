#include "messaging/CvNetwork.h"

CvNetwork::~CvNetwork() {
    StopWatch();
    ClearInterfaces();
}

void CvNetwork::ClearInterfaces() {
    Lock();
    m_interfaces.clear();
    Unlock();
}

void CvNetwork::StartWatch() {
    if (m_watchThread && m_watchThread->IsRunning()) {
        return;
    }
    m_watchThread =
        std::make_unique<CvThreadClassFunction<CvNetwork>>(this, &CvNetwork::WatchThread);
    m_watchThread->Start();
}

void CvNetwork::StopWatch() {
    m_watchThread.reset();
}

void CvNetwork::WatchThread(CvThread* thread) {
    while (!thread->IsStopRequested()) {
        Lock();
        m_changed = false;
        Refresh();
        const bool changed = m_changed;
        Unlock();
        if (changed && m_listener != nullptr) {
            (*m_listener)();
        }
        thread->WaitForStop(m_watchPeriodMs);
    }
}
