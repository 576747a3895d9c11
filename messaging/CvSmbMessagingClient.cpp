#include "messaging/CvSmbMessagingClient.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <set>

#include "messaging/CvBroadcastWriter.h"
#include "messaging/CvError.h"
#include "messaging/CvMsgLineFormat.h"
#include "messaging/CvNetbiosInterface.h"
#include "messaging/CvNetbiosNetwork.h"
#include "netbios/CNetbiosDgName.h"
#include "netbios/CNetbiosName.h"
#include "netbios/CPduBuffer.h"
#include "netbios/CSmbDgPdu_sendb.h"
#include "netbios/CSmbPdu.h"
#include "netbios/CSmbPdu_sendend.h"
#include "netbios/CSmbPdu_sends.h"
#include "netbios/CSmbPdu_sendstrt.h"
#include "netbios/CSmbPdu_sendtxt.h"
#include "platform/CvNcb.h"
#include "platform/CvTextCodec.h"

namespace {

// Message group ids handed out to Send Start requests, shared by every
// session of the process; the first id is 1.
std::atomic<uint16_t> g_lastGroupId{0};

using Clock = std::chrono::steady_clock;

class SharedLock {
public:
    explicit SharedLock(CvReadWriteLock& lock) : m_lock(lock) { m_lock.LockShared(); }
    ~SharedLock() { m_lock.Unlock(); }

private:
    CvReadWriteLock& m_lock;
};

// The session ended under a single-block send before the reply came.
bool PeerClosedSession(const CvDataTransmissionErr& error) {
    return error.Operation() == "NBRecv" + std::to_string(kNrcSClosed) ||
           error.Operation() == "NBRecv" + std::to_string(kNrcSAbort);
}

// Closes the connection unless released, so that no error path leaks it.
class ConnectionGuard {
public:
    explicit ConnectionGuard(CConnection* connection) : m_connection(connection) {}
    ~ConnectionGuard() { Close(); }
    void Close() {
        if (m_connection != nullptr) {
            m_connection->Close();
            m_connection = nullptr;
        }
    }
    CConnection* operator->() const { return m_connection; }
    CConnection& operator*() const { return *m_connection; }

private:
    CConnection* m_connection;
};

// A reply that reports an error means the peer did not take the message.
void CheckReply(const CSmbPdu& reply) {
    if (reply.IsError()) {
        throw CvDataTransmissionErr("SMBreply" + std::to_string(reply.ErrorClass()) + "/" +
                                    std::to_string(reply.ErrorCode()));
    }
}

// A reply to a message already read in full: whether it reaches the peer no
// longer decides whether the message is delivered.
void ReplyToComplete(CConnection& connection, CSmbPdu& reply) {
    try {
        connection.SendPdu(reply);
    } catch (const CvNetworkErr&) {
    }
}

// What went wrong on the ports tried so far, and the exception that reports
// it once every port failed: a transmission error first, then "not found",
// else an unknown error.
class PortFailures {
public:
    // Runs `attempt`; true on success, false (recorded) on a network error.
    template <class Attempt>
    bool Try(Attempt&& attempt) {
        m_lastNotFound = false;
        try {
            attempt();
            return true;
        } catch (const CvAddrNotFoundErr&) {
            m_notFound = m_lastNotFound = true;
        } catch (const CvDataTransmissionErr& error) {
            m_transmission = true;
            m_transmissionText = error.Operation();
        } catch (const CvNetworkErr&) {
        }
        return false;
    }

    bool LastWasNotFound() const { return m_lastNotFound; }

    [[noreturn]] void Throw() const {
        if (m_transmission) {
            throw CvDataTransmissionErr(m_transmissionText);
        }
        if (m_notFound) {
            throw CvAddrNotFoundErr();
        }
        throw CvUnknownNetworkErr();
    }

private:
    bool m_notFound = false;
    bool m_lastNotFound = false;
    bool m_transmission = false;
    std::string m_transmissionText;
};

// A message as it came in: addressed to the name the peer called, both names
// made safe to show (CvMsgLineFormat::ReceivedName).
CMsg Received(int32_t type, const std::string& originator, const std::string& destination,
              std::string text = {}) {
    CMsg msg;
    msg.type = type;
    msg.sender = CvMsgLineFormat::ReceivedName(originator);
    msg.recipient = msg.address = CvMsgLineFormat::ReceivedName(destination);
    msg.text = std::move(text);
    return msg;
}

}  // namespace

CvSmbMessagingClient::CvSmbMessagingClient()
    : m_sessionHandler(this, &CvSmbMessagingClient::OnSessionConnection),
      m_datagramHandler(this, &CvSmbMessagingClient::OnDatagramConnection),
      m_interfacesChanged(this, &CvSmbMessagingClient::OnInterfacesChanged) {}

CvSmbMessagingClient::~CvSmbMessagingClient() {
    Stop();
}

void CvSmbMessagingClient::AddPersonalName(const std::string& name) {
    std::lock_guard guard(m_namesLock);
    if (std::find(personalNames.begin(), personalNames.end(), name) == personalNames.end()) {
        personalNames.push_back(name);
    }
}

void CvSmbMessagingClient::AddGroupName(const std::string& name) {
    std::lock_guard guard(m_namesLock);
    if (std::find(groupNames.begin(), groupNames.end(), name) == groupNames.end()) {
        groupNames.push_back(name);
    }
}

std::vector<std::string> CvSmbMessagingClient::PersonalNames() const {
    std::lock_guard guard(m_namesLock);
    return personalNames;
}

std::vector<std::string> CvSmbMessagingClient::GroupNames() const {
    std::lock_guard guard(m_namesLock);
    return groupNames;
}

void CvSmbMessagingClient::Start() {
    if (m_thread) {
        return;
    }
    m_thread = std::make_unique<CvThreadClassFunction<CvSmbMessagingClient>>(
        this, &CvSmbMessagingClient::ClientThread);
    m_thread->Start();
}

void CvSmbMessagingClient::Stop() {
    m_thread.reset();
}

void CvSmbMessagingClient::OnInterfacesChanged() {
    m_rebuildEvent.Set();
}

void CvSmbMessagingClient::ClientThread(CvThread* thread) {
    m_stateWatch.Start();
    m_rebuildEvent.Set();
    while (!thread->IsStopRequested()) {
        if (thread->WaitForEventOrStop(m_rebuildEvent, kInfinite)) {
            Rebuild();
        }
    }
    StopPorts();
    m_stateWatch.Stop();
}

void CvSmbMessagingClient::StopPorts() {
    m_sessionPortsLock.LockExclusive();
    m_datagramPortsLock.Enter();
    for (auto& port : m_sessionPorts) {
        port->Stop();
    }
    for (auto& port : m_datagramPorts) {
        port->Stop();
    }
    m_sessionPorts.clear();
    m_datagramPorts.clear();
    m_datagramPortsLock.Leave();
    m_sessionPortsLock.Unlock();
}

void CvSmbMessagingClient::Rebuild() {
    const uint32_t timeout = std::clamp<uint32_t>(sendTimeout, 500, 20000);
    const auto personal = PersonalNames();
    const auto group = GroupNames();

    if (m_network != nullptr) {
        m_network->Lock();
    }
    StopPorts();
    m_sessionPortsLock.LockExclusive();
    m_datagramPortsLock.Enter();
    if (m_network != nullptr) {
        CvNetbiosProvider& provider = m_network->Provider();
        for (size_t i = 0; i < m_network->InterfaceCount(); ++i) {
            auto* adapter = static_cast<CvNetbiosInterface*>(m_network->GetInterface(i));
            adapter->Reset();
            for (const auto& name : personal) {
                auto port =
                    std::make_unique<CNetbiosName>(provider, adapter->lana, name, m_suffixes);
                port->SetCallTimeout(static_cast<uint16_t>(timeout));
                port->SetSessionTimeout(kSessionTimeoutMs);
                port->SetHandler(&m_sessionHandler);
                port->SetName(name);
                port->Start();
                m_sessionPorts.push_back(std::move(port));
            }
            for (const auto& name : group) {
                auto port =
                    std::make_unique<CNetbiosDgName>(provider, m_mailslots, adapter->lana, name);
                port->SetCallTimeout(static_cast<uint16_t>(timeout));
                port->SetSessionTimeout(kSessionTimeoutMs);
                port->SetHandler(&m_datagramHandler);
                port->SetName(name);
                port->Start();
                m_datagramPorts.push_back(std::move(port));
            }
        }
    }
    m_datagramPortsLock.Leave();
    m_sessionPortsLock.Unlock();
    if (m_network != nullptr) {
        m_network->Unlock();
    }
}

void CvSmbMessagingClient::CountPorts(const std::vector<std::string>& personal,
                                      const std::vector<std::string>& group,
                                      std::vector<PortCount>& personalCounts,
                                      std::vector<PortCount>& groupCounts) {
    personalCounts.assign(personal.size(), {});
    groupCounts.assign(group.size(), {});
    if (m_network != nullptr) {
        m_network->Lock();
    }
    const size_t interfaces = m_network != nullptr ? m_network->InterfaceCount() : 0;
    {
        SharedLock sessionLock(m_sessionPortsLock);
        std::lock_guard datagramLock(m_datagramPortsLock);
        for (size_t i = 0; i < personal.size(); ++i) {
            personalCounts[i].interfaces = interfaces;
            for (const auto& port : m_sessionPorts) {
                if (port->Name() == personal[i]) {
                    ++personalCounts[i].total;
                    personalCounts[i].opened += port->IsOpened() ? 1 : 0;
                    personalCounts[i].conflicting += port->IsInConflict() ? 1 : 0;
                }
            }
        }
        for (size_t i = 0; i < group.size(); ++i) {
            groupCounts[i].interfaces = interfaces;
            for (const auto& port : m_datagramPorts) {
                if (port->Name() == group[i]) {
                    ++groupCounts[i].total;
                    groupCounts[i].opened += port->IsOpened() ? 1 : 0;
                    groupCounts[i].conflicting += port->IsInConflict() ? 1 : 0;
                }
            }
        }
    }
    if (m_network != nullptr) {
        m_network->Unlock();
    }
}

void CvSmbMessagingClient::Send(CMsg msg) {
    if (msg.type == MsgPersonal) {
        SendPersonal(std::move(msg));
    } else if (msg.type == MsgBroadcast) {
        SendBroadcast(std::move(msg));
    }
}

void CvSmbMessagingClient::SendPersonal(CMsg msg) {
    msg.text = CvText::CutToCodePoints(msg.text, kMaxPersonalLength);

    SharedLock lock(m_sessionPortsLock);
    if (m_sessionPorts.empty()) {
        throw CvNoInterfaceAvailErr();
    }
    auto score = [&](const CNetbiosName& port) {
        int value = port.Name() == msg.sender ? 50 : 0;
        const double attempts = port.failures + port.successes;
        const double failureRate = attempts > 0 ? port.failures / attempts * 100.0 : 0.0;
        return value + (failureRate < 50.0 ? 10 : 0);
    };
    std::vector<CNetbiosName*> ordered;
    for (auto& port : m_sessionPorts) {
        ordered.push_back(port.get());
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](auto* a, auto* b) { return score(*a) > score(*b); });

    PortFailures failures;
    // Adapters on which nobody answered for the recipient: calling from
    // another of our names there cannot find it either, and would only make
    // the user wait one more call time-out per name.
    std::set<uint8_t> unreachable;
    for (CNetbiosName* port : ordered) {
        if (unreachable.count(port->Lana()) != 0) {
            continue;
        }
        CMsg copy = msg;
        copy.sender = port->Name();
        const bool sent = failures.Try([&] {
            if (CvText::CodePointCount(copy.text) <= kSingleBlockLength) {
                SendSingleBlock(*port, copy);
            } else {
                SendMultiBlock(*port, copy);
            }
        });
        if (sent) {
            port->successes += 1;
            return;
        }
        port->failures += 1;
        if (failures.LastWasNotFound()) {
            unreachable.insert(port->Lana());
        }
    }
    failures.Throw();
}

void CvSmbMessagingClient::SendSingleBlock(CNetbiosName& port, const CMsg& msg) {
    ConnectionGuard connection(port.Connect(msg.address));
    CSmbPdu_sends pdu;
    pdu.SetOriginator(msg.sender);
    pdu.SetDestination(msg.recipient);
    pdu.SetText(msg.text);
    connection->SendPdu(pdu);
    CSmbPdu reply;
    try {
        connection->ReceivePdu(reply);
    } catch (const CvDataTransmissionErr& error) {
        // A peer that accepts only multi-block messages (it wants a protocol
        // negotiation before a single block) hangs up instead of replying.
        // Counting that as delivered would lose the message: send it again
        // as Start/Text/End on a new session. Any other failure, a time-out
        // included, leaves it unknown whether the message arrived.
        if (!PeerClosedSession(error)) {
            throw;
        }
        connection.Close();
        SendMultiBlock(port, msg);
        return;
    }
    CheckReply(reply);
}

void CvSmbMessagingClient::SendMultiBlock(CNetbiosName& port, const CMsg& msg) {
    ConnectionGuard connection(port.Connect(msg.address));
    CSmbPdu_sendstrt start;
    start.SetOriginator(msg.sender);
    start.SetDestination(msg.recipient);
    connection->SendPdu(start);
    CSmbPdu reply;
    connection->ReceivePdu(reply);
    CheckReply(reply);
    const uint16_t groupId = reply.Word(0);

    const size_t length = CvText::CodePointCount(msg.text);
    std::string rest = msg.text;
    for (size_t offset = 0; offset < length; offset += kSingleBlockLength) {
        const std::string block = CvText::CutToCodePoints(rest, kSingleBlockLength);
        rest.erase(0, block.size());
        CSmbPdu_sendtxt text;
        text.SetGroupId(groupId);
        text.SetText(block);
        connection->SendPdu(text);
        connection->ReceivePdu(reply);
        CheckReply(reply);
    }
    CSmbPdu_sendend end;
    end.SetGroupId(groupId);
    connection->SendPdu(end);
    connection->ReceivePdu(reply);
    CheckReply(reply);
}

void CvSmbMessagingClient::SendBroadcast(CMsg msg) {
    const auto parts = CvBroadcastMessageParts(msg, maxBroadcastLength, fragmentEnabled);
    std::lock_guard lock(m_datagramPortsLock);
    if (m_datagramPorts.empty()) {
        throw CvNoInterfaceAvailErr();
    }
    PortFailures failures;
    for (auto& port : m_datagramPorts) {
        if (failures.Try([&] { CvWriteBroadcastParts(*port, msg, parts); })) {
            return;
        }
    }
    failures.Throw();
}

void CvSmbMessagingClient::OnSessionConnection(CConnection* connection, void*) {
    ConnectionGuard guard(connection);
    // A complete message is handed on before its last reply: once the
    // sender reads that reply it counts the message delivered, so it must
    // already be with the receiver (archived, shown) by then. A reply that
    // cannot be written loses nothing either.
    try {
        CPduBuffer buffer;
        guard->ReceiveRaw(buffer);
        CSmbPdu header;
        header.Decode(buffer);
        if (header.Command() == CSmbPdu::kCommandSendMessage) {
            CSmbPdu_sends pdu;
            pdu.Decode(buffer);
            CMsg msg = Received(MsgPersonal, pdu.Originator(), pdu.Destination(), pdu.Text());
            Deliver(msg);
            CSmbPdu reply = pdu.MakeReply();
            ReplyToComplete(*guard, reply);
        } else if (header.Command() == CSmbPdu::kCommandSendStart) {
            ReceiveMultiBlock(*guard, buffer);
        }
    } catch (const CvNetworkErr&) {
        // A broken session delivers only what was complete before it broke.
    }
}

void CvSmbMessagingClient::ReceiveMultiBlock(CConnection& connection, CPduBuffer& buffer) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_receiveDeadlineMs.load());
    const size_t maxBlocks = m_receiveMaxBlocks;
    const size_t maxTextBytes = m_receiveMaxTextBytes;

    CSmbPdu_sendstrt start;
    start.Decode(buffer);
    CMsg msg = Received(MsgPersonal, start.Originator(), start.Destination());
    const uint16_t groupId = ++g_lastGroupId;
    CSmbPdu startReply = start.MakeReply(groupId);
    connection.SendPdu(startReply);

    // A peer past these limits is hung up on, and its message dropped, so
    // that it cannot hold this worker and the memory for as long as it likes.
    for (size_t blocks = 0; Clock::now() < deadline;) {
        connection.ReceiveRaw(buffer);
        CSmbPdu next;
        next.Decode(buffer);
        if (next.GroupId() != groupId) {
            return;  // not part of this message
        }
        if (next.Command() == CSmbPdu::kCommandSendEnd) {
            CSmbPdu endReply = start.MakeReply();
            endReply.SetCommand(CSmbPdu::kCommandSendEnd);
            endReply.SetMid(next.Mid());
            Deliver(msg);
            ReplyToComplete(connection, endReply);
            return;
        }
        if (next.Command() != CSmbPdu::kCommandSendText || ++blocks > maxBlocks) {
            return;
        }
        CSmbPdu_sendtxt text;
        text.Decode(buffer);
        if (msg.text.size() + text.Text().size() > maxTextBytes) {
            return;
        }
        msg.text += text.Text();
        CSmbPdu textReply = text.MakeReply();
        connection.SendPdu(textReply);
    }
    return;
}

void CvSmbMessagingClient::OnDatagramConnection(CConnection* connection, void*) {
    ConnectionGuard guard(connection);
    std::optional<CMsg> received;
    try {
        CPduBuffer buffer;
        guard->ReceiveRaw(buffer);
        CSmbPdu header;
        header.Decode(buffer);
        if (header.Command() == CSmbPdu::kCommandTransaction) {
            CSmbDgPdu_sendb pdu;
            pdu.Decode(buffer);
            if (pdu.IsMessengerMailslot()) {
                received = Received(MsgBroadcast, pdu.Originator(), pdu.Destination(), pdu.Text());
            }
        }
        guard.Close();
    } catch (const CvNetworkErr&) {
        return;
    }
    if (received) {
        Deliver(*received);
    }
}

void CvSmbMessagingClient::Deliver(CMsg& msg) {
    if (onReceive != nullptr) {
        (*onReceive)(msg);
    }
}
