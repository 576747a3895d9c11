#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/CvCriticalSection.h"
#include "app/CvMemberFunction.h"
#include "app/CvReadWriteLock.h"
#include "app/CvThreadClassFunction.h"
#include "messaging/CvMessagingClient.h"
#include "messaging/CvSmbStateWatch.h"
#include "platform/CvEvent.h"

class CConnection;
class CPduBuffer;
class CNetbiosDgName;
class CNetbiosName;
class CvMailslotProvider;
class CvNetbiosNetwork;

// Sends and receives messages as the messenger service does: personal
// messages over NetBIOS sessions to the recipient's messenger name (SMB Send
// Single Block, or Send Start/Text/End), broadcasts as MESSNGR mailslot
// writes to a workgroup or domain. Registers every name on every adapter and
// rebuilds its ports whenever the adapters change.
//
// Configure (names, receiver, network, limits), then Start once. Lock order:
// the network's interface lock, the session-port lock, the datagram-port lock.
class CvSmbMessagingClient : public CvMessagingClient {
public:
    static constexpr size_t kMaxPersonalLength = 1600;
    static constexpr size_t kSingleBlockLength = 128;
    static constexpr uint16_t kSessionTimeoutMs = 7000;

    // Bounds on one received multi-block message; a peer that goes past one
    // is hung up on and its message dropped. An honest message has at most
    // 1600 characters in blocks of up to 128 bytes: at most 26 blocks and
    // about 4800 bytes of text even in a double-byte code page, sent within
    // moments. The deadline counts from the Send Start; a receive begun
    // before it may still take one session time-out.
    static constexpr uint32_t kReceiveDeadlineMs = 30000;
    static constexpr size_t kReceiveMaxBlocks = 64;
    static constexpr size_t kReceiveMaxTextBytes = 8192;  // UTF-8 bytes

    CvSmbMessagingClient();
    ~CvSmbMessagingClient() override;

    // Appended unless already present (exact comparison).
    void AddPersonalName(const std::string& name);
    void AddGroupName(const std::string& name);

    void SetNetwork(CvNetbiosNetwork* network) { m_network = network; }
    // Where broadcasts are written (the MESSNGR mailslots of other stations).
    void SetMailslots(CvMailslotProvider* mailslots) { m_mailslots = mailslots; }
    void SetFragmentEnabled(bool enabled) { fragmentEnabled = enabled; }
    void SetMaxBroadcastLength(uint32_t length) { maxBroadcastLength = length; }
    void SetSendTimeout(uint32_t ms) { sendTimeout = ms; }
    // Overrides the kReceive* bounds (tests use short deadlines).
    void SetReceiveLimits(uint32_t deadlineMs, size_t maxBlocks, size_t maxTextBytes) {
        m_receiveDeadlineMs = deadlineMs;
        m_receiveMaxBlocks = maxBlocks;
        m_receiveMaxTextBytes = maxTextBytes;
    }

    // The network's change listener: makes the client thread rebuild.
    CvNullaryFunction<void>* InterfacesChangedNotifier() { return &m_interfacesChanged; }

    // Starts the client thread unless it runs.
    void Start();
    // Stops the client thread, which stops and deletes every port.
    void Stop();

    int32_t TransportId() override { return MsgPersonal; }
    // Type 1: personal send; type 2: broadcast. Throws CvNoInterfaceAvailErr,
    // CvDataTransmissionErr, CvAddrNotFoundErr or CvUnknownNetworkErr.
    void Send(CMsg msg) override;

    int32_t GetNameState(const std::string& name, int32_t kind) {
        return m_stateWatch.GetNameState(name, kind);
    }
    CvSmbStateWatch& StateWatch() { return m_stateWatch; }

    // Reads the port lists under their locks; used by the state watch.
    // Returns {interfaces, ports with this name, opened ones, ones in
    // conflict}.
    struct PortCount {
        size_t interfaces = 0;
        size_t total = 0;
        size_t opened = 0;
        size_t conflicting = 0;
    };
    std::vector<std::string> PersonalNames() const;
    std::vector<std::string> GroupNames() const;
    void CountPorts(const std::vector<std::string>& personal, const std::vector<std::string>& group,
                    std::vector<PortCount>& personalCounts, std::vector<PortCount>& groupCounts);

private:
    void ClientThread(CvThread* thread);
    void Rebuild();
    void OnInterfacesChanged();
    void StopPorts();

    void SendPersonal(CMsg msg);
    void SendBroadcast(CMsg msg);
    void SendSingleBlock(CNetbiosName& port, const CMsg& msg);
    void SendMultiBlock(CNetbiosName& port, const CMsg& msg);

    void OnSessionConnection(CConnection* connection, void*);
    // Reads the rest of a message after its Send Start (in `buffer`) and
    // hands it on before the last reply; drops it when it broke off, went
    // past the limits or ended with anything but this message's Send End.
    void ReceiveMultiBlock(CConnection& connection, CPduBuffer& buffer);
    void OnDatagramConnection(CConnection* connection, void*);
    void Deliver(CMsg& msg);

    CvVoidBinaryMemberFunction<CvSmbMessagingClient, CConnection*, void*> m_sessionHandler;
    CvVoidBinaryMemberFunction<CvSmbMessagingClient, CConnection*, void*> m_datagramHandler;
    CvVoidNullaryMemberFunction<CvSmbMessagingClient> m_interfacesChanged;

    CvReadWriteLock m_sessionPortsLock;
    CvCriticalSection m_datagramPortsLock;
    std::vector<std::unique_ptr<CNetbiosName>> m_sessionPorts;
    std::vector<std::unique_ptr<CNetbiosDgName>> m_datagramPorts;

    std::atomic<bool> fragmentEnabled{true};
    std::atomic<uint32_t> maxBroadcastLength{128};
    std::atomic<uint32_t> sendTimeout{3500};
    std::atomic<uint32_t> m_receiveDeadlineMs{kReceiveDeadlineMs};
    std::atomic<size_t> m_receiveMaxBlocks{kReceiveMaxBlocks};
    std::atomic<size_t> m_receiveMaxTextBytes{kReceiveMaxTextBytes};

    CvSmbStateWatch m_stateWatch{this};
    const std::vector<uint8_t> m_suffixes{0x03};
    mutable CvCriticalSection m_namesLock;
    std::vector<std::string> personalNames;
    std::vector<std::string> groupNames;

    CvEvent m_rebuildEvent{false, false};
    std::unique_ptr<CvThreadClassFunction<CvSmbMessagingClient>> m_thread;
    CvNetbiosNetwork* m_network = nullptr;
    CvMailslotProvider* m_mailslots = nullptr;
};
