#include "messaging/CvMslotMessagingClient.h"

#include <mutex>

#include "messaging/CvBroadcastWriter.h"
#include "messaging/CvError.h"
#include "messaging/CvMsgLineFormat.h"
#include "netbios/CMailslot.h"
#include "netbios/CMailslotPdu.h"
#include "platform/CvMailslotProvider.h"
#include "platform/CvTextCodec.h"

CvMslotMessagingClient::CvMslotMessagingClient()
    : m_receiveHandler(this, &CvMslotMessagingClient::OnConnection),
      m_rebuildNotifier(this, &CvMslotMessagingClient::OnRebuild) {}

CvMslotMessagingClient::~CvMslotMessagingClient() {
    Stop();
}

void CvMslotMessagingClient::Start() {
    if (!m_thread) {
        m_thread = std::make_unique<CvThreadClassFunction<CvMslotMessagingClient>>(
            this, &CvMslotMessagingClient::ClientThread);
        m_thread->Start();
    }
}

void CvMslotMessagingClient::Stop() {
    m_thread.reset();
}

void CvMslotMessagingClient::OnRebuild() {
    m_rebuildEvent.Set();
}

void CvMslotMessagingClient::ClientThread(CvThread* thread) {
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

void CvMslotMessagingClient::StopPorts() {
    std::lock_guard guard(m_portsLock);
    for (auto& port : m_ports) {
        port->Stop();
    }
    m_ports.clear();
}

void CvMslotMessagingClient::Rebuild() {
    std::lock_guard guard(m_portsLock);
    StopPorts();
    if (m_mailslots == nullptr) {
        return;
    }
    auto port = std::make_unique<CMailslot>(*m_mailslots, "MESSNGR");
    port->SetHandler(&m_receiveHandler);
    port->SetName(CvText::UpperCase(m_computerName));
    port->Start();
    m_ports.push_back(std::move(port));
}

std::pair<size_t, size_t> CvMslotMessagingClient::CountPorts() {
    std::lock_guard guard(m_portsLock);
    size_t opened = 0;
    for (const auto& port : m_ports) {
        opened += port->IsOpened() ? 1 : 0;
    }
    return {m_ports.size(), opened};
}

void CvMslotMessagingClient::OnConnection(CConnection* connection, void*) {
    CMailslotPdu pdu;
    try {
        connection->ReceivePdu(pdu);
        connection->Close();
    } catch (const CvNetworkErr&) {
        return;
    }
    CMsg msg;
    msg.type = MsgBroadcast;
    msg.sender = CvMsgLineFormat::ReceivedName(pdu.Originator());
    msg.recipient = msg.address = CvMsgLineFormat::ReceivedName(pdu.Destination());
    msg.text = pdu.Text();
    if (onReceive != nullptr) {
        (*onReceive)(msg);
    }
}

void CvMslotMessagingClient::Send(CMsg msg) {
    if (msg.type != TransportId()) {
        return;
    }
    const auto parts = CvBroadcastMessageParts(msg, maxBroadcastLength, fragmentEnabled);
    std::lock_guard guard(m_portsLock);
    if (m_ports.empty()) {
        throw CvNoInterfaceAvailErr();
    }
    for (auto& port : m_ports) {
        try {
            CvWriteBroadcastParts(*port, msg, parts);
            return;
        } catch (const CvNetworkErr&) {
        }
    }
    throw CvUnknownNetworkErr();
}
