#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <vector>

#include "app/CvCriticalSection.h"
#include "app/CvThread.h"
#include "messaging/CvMsgOutboxSendResult.h"
#include "platform/CvEvent.h"
#include "platform/CvSemaphore.h"

class CvMessagingClient;
class CvMsgSendThread;

// Sends queued messages in the background, strictly one at a time and in
// queue order, each on a short-lived send thread, and reports exactly one
// result per dispatched message to the receiver given with it (on the send
// thread, under the outbox's result lock).
class CvMsgOutbox : public CvThread {
public:
    CvMsgOutbox();
    // Stops the outbox thread, discards what was not dispatched and waits
    // for a send in progress to end.
    ~CvMsgOutbox() override;

    void SetClient(CvMessagingClient* client) { m_client = client; }
    // Before Start: told of every message sent successfully, on the send
    // thread, whether or not its requester withdrew it meanwhile (a message
    // that went out is one to file). Null: nobody.
    void SetSentListener(CvUnaryFunction<void, CMsg&>* listener) { m_sentListener = listener; }
    CvUnaryFunction<void, CMsg&>* SentListener() const { return m_sentListener; }
    // Returns at once. A null receiver still sends; no result is delivered.
    void Enqueue(const CMsg& msg, CvMsgOutboxReceiver* receiver, int32_t id);
    // Removes a waiting entry with this id; a send already running for it
    // goes on, but its result is not delivered.
    void Withdraw(int32_t id);
    // Withdraws several at once, so that the outbox cannot start one of them
    // between two withdrawals.
    void Withdraw(const std::vector<int32_t>& ids);

    // Used by the send threads.
    CvMessagingClient* Client() const { return m_client; }
    void SendFinished(CvMsgSendThread* thread);
    CvCriticalSection& ResultLock() { return m_resultLock; }

protected:
    void Run() override;

private:
    struct Entry {
        CMsg msg;
        int32_t id = 0;
        CvMsgOutboxReceiver* receiver = nullptr;
    };
    void Dispatch();

    CvEvent m_queueEvent{false, false};
    CvSemaphore m_sendSemaphore{1, 1};
    CvCriticalSection m_resultLock;
    CvCriticalSection m_queueLock;
    std::deque<Entry> m_queue;
    CvCriticalSection m_threadsLock;
    std::list<CvMsgSendThread*> m_threads;
    // Send threads alive, listed or withdrawn; the destructor waits for 0.
    int m_liveSends = 0;
    CvEvent m_noLiveSends{true, true};
    CvMessagingClient* m_client = nullptr;
    CvUnaryFunction<void, CMsg&>* m_sentListener = nullptr;
};
