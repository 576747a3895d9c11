#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "app/CvCriticalSection.h"
#include "app/CvThreadClassFunction.h"
#include "messaging/CvNetNamePingRequest.h"
#include "messaging/CvNetNamePingThread.h"
#include "platform/CvEvent.h"
#include "platform/CvSemaphore.h"

class CvNetbiosNetwork;

// Probes whether NetBIOS names answer. Requests queue up and a worker hands
// them, up to three at a time, to 20 slot threads; each slot asks every
// adapter of the network in turn for the name's adapter status and reports
// the answering station's computer name and messenger names. Results reach
// the request's receiver on the slot's thread; a Safe receiver that was
// unbound is not called through.
class CvNetNamePinger {
public:
    static constexpr int32_t kSlotCount = 20;
    static constexpr size_t kRequestsPerTurn = 3;

    // The network must outlive the pinger; its provider runs the probes.
    explicit CvNetNamePinger(CvNetbiosNetwork& network);
    ~CvNetNamePinger();
    CvNetNamePinger(const CvNetNamePinger&) = delete;
    CvNetNamePinger& operator=(const CvNetNamePinger&) = delete;

    // Starts the worker and the slot threads; false when already started.
    bool Start();
    // Stops every thread and waits for them. Pings still running are
    // cancelled and report no answer; queued ones are dropped unreported.
    void Stop();

    // A fresh requester identifier (never 0).
    uint32_t NewRequester();
    // Drops the queued requests of `requester`; pings already running still
    // report.
    void ReleaseRequester(uint32_t requester);

    // Queues a probe of (name, suffix); returns at once. The name is upper-
    // cased and converted to OEM by the slot. A null receiver is allowed.
    void Ping(uint32_t requester, uint8_t suffix, const std::string& name,
              std::shared_ptr<CvNetNamePingReceiver> receiver);

    // Requests waiting for a slot.
    size_t QueuedCount();

private:
    friend class CvNetNamePingThread;

    void WorkerThread(CvThread* thread);
    // Called by a slot when its ping is over.
    void SlotDone();

    CvNetbiosNetwork& m_network;
    CvCriticalSection m_queueLock;
    CvCriticalSection m_requesterLock;
    CvCriticalSection m_slotLock;
    std::deque<CvNetNamePingRequest> m_queue;
    CvEvent m_requestEvent{false, false};
    CvSemaphore m_slotsFree{kSlotCount, kSlotCount};
    uint32_t m_lastRequester = 0;
    std::unique_ptr<CvThreadClassFunction<CvNetNamePinger>> m_worker;
    std::array<std::unique_ptr<CvNetNamePingThread>, kSlotCount> m_slots;
    bool m_started = false;
};
