#include "netbios/CNetbiosDgName.h"

#include <mutex>

#include "messaging/CvError.h"
#include "netbios/CNetbiosDgConnection.h"
#include "netbios/CPduBuffer.h"
#include "netbios/CProtocolDataUnit.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvMailslotProvider.h"
#include "platform/CvNetbiosProvider.h"
#include "platform/CvTextCodec.h"

namespace {

// Suffixes tried in turn when adding the group name; every caller tries one.
constexpr uint8_t kSuffixTable[] = {0x00, 0x04, 0x05};
constexpr size_t kSuffixesToTry = 1;

CNetbiosDgConnection* AsDatagram(CConnection* connection) {
    return static_cast<CNetbiosDgConnection*>(connection);
}

}  // namespace

CNetbiosDgName::CNetbiosDgName(CvNetbiosProvider& provider, CvMailslotProvider* mailslots,
                               uint8_t lana, std::string groupName)
    : m_provider(provider),
      m_mailslots(mailslots),
      m_groupName(std::move(groupName)),
      m_oemName(CvText::ToOem(m_groupName)),
      m_lana(lana) {}

CNetbiosDgName::~CNetbiosDgName() {
    Stop();
}

void CNetbiosDgName::ReceivePdu(CConnection* connection, CProtocolDataUnit& pdu) {
    CPduBuffer buffer;
    ReceiveRaw(connection, buffer);
    pdu.Decode(buffer);
}

void CNetbiosDgName::ReceiveRaw(CConnection* connection, CPduBuffer& buffer) {
    buffer.Clear();
    const auto& data = AsDatagram(connection)->data;
    buffer.Assign(data);
}

void CNetbiosDgName::SendPdu(CConnection* connection, CProtocolDataUnit& pdu) {
    CPduBuffer buffer;
    pdu.Encode(buffer);
    SendRaw(connection, buffer);
}

void CNetbiosDgName::SendRaw(CConnection* connection, CPduBuffer& buffer) {
    auto* file = AsDatagram(connection)->file.get();
    if (file == nullptr || !file->Write(buffer.Bytes())) {
        throw CvDataTransmissionErr("WriteFile");
    }
}

void CNetbiosDgName::CloseConnection(CConnection* connection) {
    RemoveConnection(connection);  // deleting the connection closes its mailslot
}

bool CNetbiosDgName::Open() {
    std::lock_guard guard(m_stateLock);
    NBDeleteName(m_provider, m_lana, m_oemName, 0x00, m_nameNumber);
    bool opened = false;
    for (size_t i = 0; i < kSuffixesToTry; ++i) {
        m_suffix = kSuffixTable[i];
        const uint8_t code = NBAddGroupName(m_provider, m_lana, m_oemName, m_suffix, m_nameNumber);
        opened = code == kNrcGoodRet;
        if (code != kNrcDupName) {
            break;
        }
    }
    m_opened = opened;
    return opened;
}

void CNetbiosDgName::Close() {
    std::lock_guard guard(m_stateLock);
    NBDeleteName(m_provider, m_lana, m_oemName, 0x00, m_nameNumber);
    m_opened = false;
}

void CNetbiosDgName::Serve() {
    const uint8_t posted =
        NBRecvDatagramAsy(m_provider, m_receive, m_lana, m_nameNumber, m_receiveBuffer,
                          sizeof m_receiveBuffer, m_receiveEvent);
    uint8_t code = posted;
    if (posted == kNrcPending) {
        const bool received = Thread()->WaitForEventOrStop(m_receiveEvent, kInfinite);
        NBCancel(m_provider, m_lana, m_receive);
        if (!received && m_receive.retcode == kNrcCmdCan) {
            return;  // stopped
        }
        code = m_receive.retcode;
    }
    if (code == kNrcGoodRet && m_receive.length <= kMaxDatagram) {
        m_ring.Push(m_receiveBuffer, m_receive.length);
    } else if (code == kNrcNamConf) {
        EnterConflict();
    } else if (NBIsFatal(code) || posted != kNrcPending) {
        // A receive that cannot even be posted would be refused again on
        // every pass: register the name afresh instead.
        m_opened = false;
    }
}

CConnection* CNetbiosDgName::Connect(const std::string& name) {
    if (m_mailslots == nullptr) {
        return nullptr;
    }
    auto file = m_mailslots->OpenMailslot(CvText::ToOem(CvText::UpperCase(name)), "MESSNGR");
    if (!file) {
        return nullptr;
    }
    return AddConnection(std::make_unique<CNetbiosDgConnection>(this, name, std::move(file)));
}

void CNetbiosDgName::Start() {
    {
        std::lock_guard guard(m_stateLock);
        if (!m_deliveryThread) {
            m_deliveryThread = std::make_unique<CvThreadClassFunction<CNetbiosDgName>>(
                this, &CNetbiosDgName::DeliveryThread);
            m_deliveryThread->Start();
        }
    }
    CPort::Start();
}

void CNetbiosDgName::Stop() {
    m_receiveEvent.Set();
    CPort::Stop();
    if (m_deliveryThread) {
        m_deliveryThread->RequestStop();
        m_deliveryThread->WaitForExit();
    }
}

void CNetbiosDgName::DeliveryThread(CvThread* thread) {
    std::vector<uint8_t> datagram;
    while (!thread->IsStopRequested()) {
        thread->WaitForStop(kDeliveryPeriodMs);
        while (m_ring.Pop(datagram)) {
            CallHandler(AddConnection(std::make_unique<CNetbiosDgConnection>(this, datagram)));
        }
    }
}
