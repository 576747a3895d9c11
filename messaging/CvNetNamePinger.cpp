#include "messaging/CvNetNamePinger.h"

#include <algorithm>
#include <vector>

#include "messaging/CvNetbiosNetwork.h"

CvNetNamePinger::CvNetNamePinger(CvNetbiosNetwork& network) : m_network(network) {}

CvNetNamePinger::~CvNetNamePinger() {
    Stop();
}

bool CvNetNamePinger::Start() {
    std::lock_guard guard(m_slotLock);
    if (m_started) {
        return false;
    }
    m_started = true;
    for (auto& slot : m_slots) {
        slot = std::make_unique<CvNetNamePingThread>(*this);
        slot->Start();
    }
    m_worker = std::make_unique<CvThreadClassFunction<CvNetNamePinger>>(
        this, &CvNetNamePinger::WorkerThread);
    m_worker->Start();
    return true;
}

void CvNetNamePinger::Stop() {
    // The worker first: it may be waiting for a slot to give a unit back.
    if (m_worker) {
        m_worker->StopAndWait();
    }
    for (auto& slot : m_slots) {
        if (slot) {
            slot->StopAndWait();
        }
    }
    std::lock_guard guard(m_queueLock);
    m_queue.clear();
}

uint32_t CvNetNamePinger::NewRequester() {
    std::lock_guard guard(m_requesterLock);
    if (++m_lastRequester == 0) {
        m_lastRequester = 1;
    }
    return m_lastRequester;
}

void CvNetNamePinger::ReleaseRequester(uint32_t requester) {
    std::lock_guard guard(m_queueLock);
    std::erase_if(m_queue, [&](const auto& request) { return request.requester == requester; });
}

void CvNetNamePinger::Ping(uint32_t requester, uint8_t suffix, const std::string& name,
                           std::shared_ptr<CvNetNamePingReceiver> receiver) {
    {
        std::lock_guard guard(m_queueLock);
        m_queue.push_back({requester, suffix, name, std::move(receiver)});
    }
    m_requestEvent.Set();
}

size_t CvNetNamePinger::QueuedCount() {
    std::lock_guard guard(m_queueLock);
    return m_queue.size();
}

void CvNetNamePinger::WorkerThread(CvThread* thread) {
    while (thread->WaitForEventOrStop(m_requestEvent, kInfinite)) {
        std::vector<CvNetNamePingRequest> taken;
        {
            std::lock_guard guard(m_queueLock);
            while (!m_queue.empty() && taken.size() < kRequestsPerTurn) {
                taken.push_back(std::move(m_queue.front()));
                m_queue.pop_front();
            }
            if (!m_queue.empty()) {
                m_requestEvent.Set();
            }
        }
        for (size_t i = 0; i < taken.size(); ++i) {
            if (!thread->WaitForEventOrStop(m_slotsFree, kInfinite)) {
                return;
            }
            std::lock_guard guard(m_slotLock);
            auto slot = std::find_if(m_slots.begin(), m_slots.end(),
                                     [](const auto& item) { return item->IsFree(); });
            // A unit of the semaphore always stands for a free slot.
            (*slot)->Assign(std::move(taken[i]));
        }
    }
}

void CvNetNamePinger::SlotDone() {
    m_slotsFree.Release();
}
