#include "messaging/CvMslotStateWatch.h"

#include <mutex>

#include "messaging/CvMslotMessagingClient.h"

void CvMslotStateWatch::Start() {
    if (!m_thread) {
        m_thread = std::make_unique<CvThreadClassFunction<CvMslotStateWatch>>(
            this, &CvMslotStateWatch::WatchThread);
        m_thread->Start();
    }
}

void CvMslotStateWatch::Stop() {
    m_thread.reset();
}

void CvMslotStateWatch::Update() {
    const auto [ports, opened] = m_client->CountPorts();
    const int32_t state = ports == 0 ? 1 : (opened == ports ? 4 : 3);
    std::lock_guard guard(m_lock);
    m_state = state;
}

int32_t CvMslotStateWatch::State() {
    std::lock_guard guard(m_lock);
    return m_state;
}

void CvMslotStateWatch::WatchThread(CvThread* thread) {
    while (!thread->IsStopRequested()) {
        Update();
        thread->WaitForStop(m_periodMs);
    }
}
