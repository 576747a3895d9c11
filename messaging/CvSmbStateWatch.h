#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/CvCriticalSection.h"
#include "app/CvThreadClassFunction.h"

class CvSmbMessagingClient;

// Registration states of a messenger name.
enum CvNameState : int32_t {
    NameStateUnknown = 0,      // the watch does not know the name
    NameStateNoInterface = 1,  // no network interface
    NameStateNoClient = 2,     // the watch has no client
    NameStatePartial = 3,      // not registered on every interface
    NameStateRegistered = 4,   // registered on every interface
    NameStateConflict = 5,     // another station claims it on some interface;
                               // registering again
};

// Every 5000 ms, records how completely each name of the client is
// registered: personal names over the session ports, group names over the
// datagram ports.
class CvSmbStateWatch {
public:
    static constexpr uint32_t kPeriodMs = 5000;

    explicit CvSmbStateWatch(CvSmbMessagingClient* client) : m_client(client) {}
    ~CvSmbStateWatch() { Stop(); }

    void Start();
    void Stop();
    // Runs one pass at once (the thread also does so every period).
    void Update();

    // Kind 1 reads the personal names, any other kind the group names.
    int32_t GetNameState(const std::string& name, int32_t kind);

    void SetPeriod(uint32_t ms) { m_periodMs = ms; }

private:
    void WatchThread(CvThread* thread);

    CvCriticalSection m_lock;
    std::map<std::string, int32_t> m_personal;
    std::map<std::string, int32_t> m_group;
    std::unique_ptr<CvThreadClassFunction<CvSmbStateWatch>> m_thread;
    CvSmbMessagingClient* m_client;
    uint32_t m_periodMs = kPeriodMs;
};
