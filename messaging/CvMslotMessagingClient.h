#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/CvCriticalSection.h"
#include "app/CvMemberFunction.h"
#include "app/CvThreadClassFunction.h"
#include "messaging/CvMessagingClient.h"
#include "messaging/CvMslotStateWatch.h"
#include "platform/CvEvent.h"

class CConnection;
class CMailslot;
class CvMailslotProvider;

// Receives the messages written into this computer's MESSNGR mailslot (every
// one is a broadcast, type 2, whatever name it was written to) and can write
// type-2 messages into the MESSNGR mailslot of another station or domain.
class CvMslotMessagingClient : public CvMessagingClient {
public:
    CvMslotMessagingClient();
    ~CvMslotMessagingClient() override;

    void SetMailslots(CvMailslotProvider* mailslots) { m_mailslots = mailslots; }
    // The port's name (the computer name, upper case).
    void SetComputerName(const std::string& name) { m_computerName = name; }
    void SetFragmentEnabled(bool enabled) { fragmentEnabled = enabled; }
    void SetMaxBroadcastLength(uint32_t length) { maxBroadcastLength = length; }

    void Start();
    void Stop();

    int32_t TransportId() override { return MsgBroadcast; }
    // Records of another type return at once. Throws CvNoInterfaceAvailErr
    // without a port, CvUnknownNetworkErr when no port could write.
    void Send(CMsg msg) override;

    int32_t State() { return m_stateWatch.State(); }
    CvMslotStateWatch& StateWatch() { return m_stateWatch; }
    // {ports, opened ports}, under the port-list lock.
    std::pair<size_t, size_t> CountPorts();

private:
    void ClientThread(CvThread* thread);
    void Rebuild();
    void StopPorts();
    void OnRebuild();
    void OnConnection(CConnection* connection, void*);

    CvVoidBinaryMemberFunction<CvMslotMessagingClient, CConnection*, void*> m_receiveHandler;
    CvVoidNullaryMemberFunction<CvMslotMessagingClient> m_rebuildNotifier;
    // Changed while sends run (a setting changed in the running program).
    std::atomic<bool> fragmentEnabled{true};
    std::atomic<uint32_t> maxBroadcastLength{128};
    CvMslotStateWatch m_stateWatch{this};
    CvEvent m_rebuildEvent{false, false};
    std::vector<std::unique_ptr<CMailslot>> m_ports;
    CvCriticalSection m_portsLock;
    std::unique_ptr<CvThreadClassFunction<CvMslotMessagingClient>> m_thread;
    CvMailslotProvider* m_mailslots = nullptr;
    std::string m_computerName;
};
