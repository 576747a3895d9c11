#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CvMemberFunction.h"
#include "messaging/CMsg.h"
#include "messaging/CvNetbiosNetwork.h"
#include "messaging/CvSmbMessagingClient.h"
#include "netbios/CNetbiosMailslots.h"
#include "platform/CvUnixMailslots.h"
#include "platform/CvVirtualLan.h"
#include "platform/CvVirtualStation.h"
#include "support/TestEnv.h"

// Collects received messages from any thread.
class MessageInbox {
public:
    void OnReceive(CMsg& msg);
    std::vector<CMsg> Messages();
    // Waits until `count` messages arrived (5 s at most).
    bool WaitFor(size_t count);
    // While held, a message that arrives waits in OnReceive, and so its
    // sender waits for the reply, until Release.
    void Hold();
    void Release();
    // Waits until a message waits in OnReceive (5 s at most).
    bool WaitHeld();

    CvVoidUnaryMemberFunction<MessageInbox, CMsg&> receiver{this, &MessageInbox::OnReceive};

private:
    std::mutex m_lock;
    std::condition_variable m_released;
    std::vector<CMsg> m_messages;
    bool m_hold = false;
    int m_waiting = 0;
};

// One station on a virtual LAN with the SMB messaging client running on it:
// adapter 0 on segment 1, its names registered, its received messages in
// `inbox`.
class VirtualLanStation {
public:
    VirtualLanStation(CvVirtualLan& lan, const std::string& computer,
                      std::vector<std::string> personalNames, std::vector<std::string> groupNames);
    ~VirtualLanStation();

    // Waits until every name is registered on every adapter (5 s at most).
    bool WaitRegistered();

    CvVirtualStation station;
    TempDir dir;
    CvUnixMailslots local;
    CNetbiosMailslots mailslots;
    CvNetbiosNetwork network;
    CvSmbMessagingClient client;
    MessageInbox inbox;

private:
    std::vector<std::string> m_personal;
    std::vector<std::string> m_group;
};
