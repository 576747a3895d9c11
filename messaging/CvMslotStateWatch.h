#pragma once

#include <cstdint>
#include <memory>

#include "app/CvCriticalSection.h"
#include "app/CvThreadClassFunction.h"

class CvMslotMessagingClient;

// Every 5000 ms, records whether the client's mailslot ports are open:
// 1 = no port, 3 = a port is not open, 4 = every port is open; 0 before the
// first pass.
class CvMslotStateWatch {
public:
    static constexpr uint32_t kPeriodMs = 5000;

    explicit CvMslotStateWatch(CvMslotMessagingClient* client) : m_client(client) {}
    ~CvMslotStateWatch() { Stop(); }

    void Start();
    void Stop();
    void Update();
    int32_t State();
    void SetPeriod(uint32_t ms) { m_periodMs = ms; }

private:
    void WatchThread(CvThread* thread);

    std::unique_ptr<CvThreadClassFunction<CvMslotStateWatch>> m_thread;
    int32_t m_state = 0;
    CvCriticalSection m_lock;
    CvMslotMessagingClient* m_client;
    uint32_t m_periodMs = kPeriodMs;
};
