#include "messaging/CvMsgOutbox.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "messaging/CvMsgSendThread.h"

CvMsgOutbox::CvMsgOutbox() = default;

CvMsgOutbox::~CvMsgOutbox() {
    StopAndWait();
    {
        std::lock_guard guard(m_queueLock);
        m_queue.clear();
    }
    m_noLiveSends.Wait(kInfinite);
    // The last send thread signals while it still holds these; let it leave.
    std::lock_guard resultGuard(m_resultLock);
    std::lock_guard threadsGuard(m_threadsLock);
}

void CvMsgOutbox::Enqueue(const CMsg& msg, CvMsgOutboxReceiver* receiver, int32_t id) {
    std::lock_guard guard(m_queueLock);
    m_queue.push_back({msg, id, receiver});
    m_queueEvent.Set();
}

void CvMsgOutbox::Withdraw(int32_t id) {
    Withdraw(std::vector<int32_t>{id});
}

void CvMsgOutbox::Withdraw(const std::vector<int32_t>& ids) {
    auto withdrawn = [&ids](int32_t id) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    };
    std::lock_guard resultGuard(m_resultLock);
    std::lock_guard queueGuard(m_queueLock);
    std::lock_guard threadsGuard(m_threadsLock);
    std::erase_if(m_queue, [&withdrawn](const Entry& entry) { return withdrawn(entry.id); });
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (withdrawn((*it)->Id())) {
            (*it)->ClearReceiver();
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
}

void CvMsgOutbox::Run() {
    while (!IsStopRequested()) {
        if (!WaitForEventOrStop(m_queueEvent, kInfinite)) {
            continue;
        }
        for (;;) {
            if (IsStopRequested()) {
                break;
            }
            {
                std::lock_guard guard(m_queueLock);
                if (m_queue.empty()) {
                    break;
                }
            }
            Dispatch();
        }
    }
}

void CvMsgOutbox::Dispatch() {
    if (!WaitForEventOrStop(m_sendSemaphore, kInfinite)) {
        return;  // stopped
    }
    std::lock_guard queueGuard(m_queueLock);
    if (m_queue.empty()) {
        m_sendSemaphore.Release();
        return;
    }
    Entry entry = std::move(m_queue.front());
    m_queue.pop_front();
    std::lock_guard threadsGuard(m_threadsLock);
    auto* thread = new CvMsgSendThread(this, entry.receiver, entry.msg, entry.id);
    thread->SetAutoDelete(true);
    m_threads.push_back(thread);
    if (m_liveSends++ == 0) {
        m_noLiveSends.Reset();
    }
    thread->Start();
}

void CvMsgOutbox::SendFinished(CvMsgSendThread* thread) {
    std::lock_guard resultGuard(m_resultLock);
    std::lock_guard threadsGuard(m_threadsLock);
    m_threads.remove(thread);
    m_sendSemaphore.Release();
    if (--m_liveSends == 0) {
        m_noLiveSends.Set();
    }
}
