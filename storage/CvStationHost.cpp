#include "storage/CvStationHost.h"

#include <thread>
#include <utility>

#include "app/CvFileTime.h"
#include "messaging/CvControlServer.h"
#include "messaging/CvStation.h"
#include "storage/CvMsgArchive.h"

namespace {

constexpr std::chrono::milliseconds kFlushRetry{250};

}  // namespace

CvStationHost::CvStationHost(Filing filing, CvPopupList* popupList)
    : m_filing(filing), m_filer(m_received, m_sent, popupList) {}

CvStationHost::~CvStationHost() {
    Stop(std::chrono::milliseconds(0));
}

void CvStationHost::SetArchive(std::unique_ptr<CvMsgArchive> archive) {
    std::lock_guard guard(m_fileLock);
    m_filer.SetArchive(archive.get());
    m_archive = std::move(archive);
}

void CvStationHost::SetWakeUps(CvNullaryFunction<void>* received, CvNullaryFunction<void>* sent) {
    m_wakeReceived = received;
    m_wakeSent = sent;
}

bool CvStationHost::Start(std::unique_ptr<CvStation> station, const std::string& controlPath,
                          std::string* controlError) {
    m_station = std::move(station);
    m_station->SetReceiver(&m_receivedBinding);
    m_station->SetSentReceiver(&m_sentBinding);
    m_station->Start();
    if (controlPath.empty()) {
        return true;
    }
    m_control = std::make_unique<CvControlServer>(*m_station, controlPath);
    if (!m_control->Open(controlError)) {
        m_control.reset();
        return false;
    }
    m_control->Start();
    return true;
}

std::string CvStationHost::ControlPath() const {
    return m_control ? m_control->Path() : std::string();
}

void CvStationHost::OnReceived(CMsg& msg) {
    // Transport thread. The record keeps the time the transport stamped it
    // with: when it arrived, however long it waits to be filed.
    m_received.Put(msg);
    if (m_filing == Filing::OnArrival) {
        std::lock_guard guard(m_fileLock);
        m_filer.DrainReceived();
    } else if (!m_receivedWoken.exchange(true) && m_wakeReceived != nullptr) {
        (*m_wakeReceived)();
    }
    if (m_tap != nullptr) {
        (*m_tap)(msg);
    }
}

void CvStationHost::OnSent(CMsg& msg) {
    // Send thread: filed with the time it went out.
    CMsg sent = msg;
    sent.time = CvFileTime::NowLocal();
    m_sent.Put(sent);
    if (m_filing == Filing::OnArrival) {
        std::lock_guard guard(m_fileLock);
        m_filer.DrainSent();
    } else if (!m_sentWoken.exchange(true) && m_wakeSent != nullptr) {
        (*m_wakeSent)();
    }
}

CvMsgFiler::Result CvStationHost::DrainReceived(size_t limit) {
    // Cleared first: a record put after this wakes the owner again.
    m_receivedWoken = false;
    std::lock_guard guard(m_fileLock);
    return m_filer.DrainReceived(limit);
}

int CvStationHost::DrainSent() {
    m_sentWoken = false;
    std::lock_guard guard(m_fileLock);
    return m_filer.DrainSent();
}

bool CvStationHost::RetryArchive() {
    std::lock_guard guard(m_fileLock);
    return m_filer.ArchivePending() == 0 || m_filer.RetryArchive();
}

size_t CvStationHost::ArchivePending() {
    std::lock_guard guard(m_fileLock);
    return m_filer.ArchivePending();
}

void CvStationHost::Stop(std::chrono::milliseconds flushFor) {
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    // Nothing new: no requests, then no messages and no send under way (a
    // send that ends now still reports its success).
    m_control.reset();
    if (m_station) {
        m_station->Stop();
    }
    // What arrived or went out until now is filed.
    const auto deadline = std::chrono::steady_clock::now() + flushFor;
    std::unique_lock guard(m_fileLock);
    m_filer.DrainReceived();
    m_filer.DrainSent();
    while (!m_filer.FlushArchive() && std::chrono::steady_clock::now() < deadline) {
        guard.unlock();
        std::this_thread::sleep_for(kFlushRetry);
        guard.lock();
    }
    m_filer.SetArchive(nullptr);  // what still waits is reported lost
    if (m_archive) {
        m_archive->Close();
    }
}
