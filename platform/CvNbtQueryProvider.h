#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/CvNbtNameClient.h"
#include "platform/CvNetbiosProvider.h"

// A NetBIOS provider that only asks: adapter status of a name on the real
// network, sent from an ephemeral port through CvNbtNameClient, so it runs
// beside a station or nmbd that holds the NetBIOS ports and needs no
// privilege. For tools that probe names (ping, search).
//
//   kNcbEnum           the system's adapters (CvEnumerateIpAdapters)
//   kNcbReset          kNrcGoodRet for an adapter that exists; binds nothing
//   kNcbAdapterStatus  callname "*": this station, which holds no names (an
//                      empty table). Otherwise a broadcast query for callname
//                      (3 sends 250 ms apart, the first answer wins), then a
//                      node status of the answering station (3 sends 1 s
//                      apart); kNrcCmdTmo when either finds nobody. Runs on a
//                      thread of its own, synchronous or asynchronous.
//   kNcbCancel         as the interface says
//   anything else      kNrcIllCmd
// kNrcBridge for an adapter number that is no interface.
class CvNbtQueryProvider : public CvNetbiosProvider {
public:
    CvNbtQueryProvider() = default;
    explicit CvNbtQueryProvider(CvNbtPorts ports) : m_client(ports) {}
    // Cancels what is still pending.
    ~CvNbtQueryProvider() override;

    uint8_t Submit(CvNcb& ncb) override;

private:
    static constexpr int kBcastSends = 3;
    static constexpr int kBcastIntervalMs = 250;
    static constexpr int kStatusSends = 3;
    static constexpr int kStatusIntervalMs = 1000;

    struct Job {
        bool async = false;
        std::mutex lock;
        bool completed = false;
        std::atomic<bool> cancelled{false};
        std::thread thread;
    };

    void RunStatus(CvNcb& ncb, Job& job, CvIpAdapter adapter);
    static void Complete(CvNcb& ncb, Job& job, uint8_t code);
    // Joins jobs whose thread has completed its NCB.
    void Reap();

    CvNbtNameClient m_client;
    std::mutex m_lock;
    std::map<CvNcb*, std::unique_ptr<Job>> m_jobs;
};
