#include "netbios/CPort.h"

#include <mutex>

CPort::~CPort() {
    m_thread.reset();
}

void CPort::ReceivePdu(CConnection*, CProtocolDataUnit&) {}
void CPort::ReceiveRaw(CConnection*, CPduBuffer&) {}
void CPort::SendPdu(CConnection*, CProtocolDataUnit&) {}
void CPort::SendRaw(CConnection*, CPduBuffer&) {}
void CPort::CloseConnection(CConnection*) {}

bool CPort::WaitOpen() {
    while (!IsStopRequested()) {
        if (m_opened) {
            return true;
        }
        if (m_pauseBeforeOpen.exchange(false)) {
            m_thread->WaitForStop(m_reopenPauseMs);
            continue;
        }
        if (Open()) {
            m_conflict = false;
            return true;
        }
        m_thread->WaitForStop(m_reopenPauseMs);
    }
    return false;
}

void CPort::EnterConflict() {
    m_conflict = true;
    m_opened = false;
    m_pauseBeforeOpen = true;
}

void CPort::Start() {
    std::lock_guard guard(m_stateLock);
    if (m_thread) {
        return;
    }
    m_thread = std::make_unique<CvThreadClassFunction<CPort>>(this, &CPort::PortThread);
    m_thread->Start();
    m_thread->SetPriority(kThreadPriorityHighest);
}

void CPort::Stop() {
    if (m_thread) {
        m_thread->RequestStop();
        m_thread->WaitForExit();
    }
}

void CPort::PortThread(CvThread* thread) {
    while (!thread->IsStopRequested()) {
        if (WaitOpen() && !thread->IsStopRequested()) {
            Serve();
        }
    }
    Close();
}

bool CPort::IsStopRequested() const {
    return m_thread == nullptr || m_thread->IsStopRequested();
}

std::string CPort::Name() const {
    std::lock_guard guard(m_listLock);
    return m_name;
}

void CPort::SetName(const std::string& name) {
    std::lock_guard guard(m_listLock);
    m_name = name;
}

size_t CPort::ConnectionCount() const {
    std::lock_guard guard(m_listLock);
    return m_connections.size();
}

CConnection* CPort::AddConnection(std::unique_ptr<CConnection> connection) {
    std::lock_guard guard(m_listLock);
    m_connections.push_back(std::move(connection));
    return m_connections.back().get();
}

void CPort::RemoveConnection(CConnection* connection) {
    std::unique_ptr<CConnection> doomed;
    {
        std::lock_guard guard(m_listLock);
        for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
            if (it->get() == connection) {
                doomed = std::move(*it);
                m_connections.erase(it);
                break;
            }
        }
    }
}

void CPort::ForEachConnection(const std::function<void(CConnection*)>& visit) const {
    std::lock_guard guard(m_listLock);
    for (const auto& connection : m_connections) {
        visit(connection.get());
    }
}

void CPort::CallHandler(CConnection* connection) {
    if (m_handler != nullptr) {
        (*m_handler)(connection, nullptr);
    }
}
