#include "netbios/CMailslot.h"

#include <mutex>

#include "netbios/CMailslotConnection.h"
#include "netbios/CPduBuffer.h"
#include "netbios/CProtocolDataUnit.h"
#include "platform/CvTextCodec.h"

CMailslot::CMailslot(CvMailslotProvider& mailslots, std::string mailslotName)
    : m_mailslots(mailslots), m_mailslotName(std::move(mailslotName)) {}

CMailslot::~CMailslot() {
    Stop();
}

void CMailslot::ReceivePdu(CConnection* connection, CProtocolDataUnit& pdu) {
    CPduBuffer buffer;
    ReceiveRaw(connection, buffer);
    pdu.Decode(buffer);
}

void CMailslot::ReceiveRaw(CConnection* connection, CPduBuffer& buffer) {
    buffer.Clear();
    std::lock_guard guard(m_stateLock);
    uint32_t size = 0;
    uint32_t count = 0;
    if (!m_mailslot || !m_mailslot->GetInfo(size, count) || count == 0) {
        return;
    }
    const int length = m_mailslot->Read(buffer.Data(), CPduBuffer::kCapacity);
    if (length >= 0) {
        buffer.SetLength(static_cast<uint32_t>(length));
    }
    (void)connection;
    ++m_messagesRead;
}

void CMailslot::SendPdu(CConnection* connection, CProtocolDataUnit& pdu) {
    CPduBuffer buffer;
    pdu.Encode(buffer);
    SendRaw(connection, buffer);
}

void CMailslot::SendRaw(CConnection* connection, CPduBuffer& buffer) {
    if (auto* writer = static_cast<CMailslotConnection*>(connection)->writer.get()) {
        writer->Write(buffer.Bytes());
    }
}

void CMailslot::CloseConnection(CConnection* connection) {
    RemoveConnection(connection);  // a writer opened by Connect is closed with it
}

bool CMailslot::Open() {
    std::lock_guard guard(m_stateLock);
    m_mailslot = m_mailslots.CreateMailslot(m_mailslotName, kMaxMessageSize);
    if (m_mailslot) {
        uint8_t discard[CPduBuffer::kCapacity];
        uint32_t size = 0;
        uint32_t count = 0;
        while (m_mailslot->GetInfo(size, count) && count > 0) {
            if (m_mailslot->Read(discard, sizeof discard) < 0) {
                break;
            }
        }
    }
    m_opened = m_mailslot != nullptr;
    return m_opened;
}

void CMailslot::Close() {
    std::lock_guard guard(m_stateLock);
    m_mailslot.reset();
    m_opened = false;
}

void CMailslot::Serve() {
    while (!IsStopRequested()) {
        uint32_t size = 0;
        uint32_t count = 0;
        bool ok = false;
        {
            std::lock_guard guard(m_stateLock);
            ok = m_mailslot && m_mailslot->GetInfo(size, count);
        }
        if (!ok) {
            Close();
            return;
        }
        if (count == 0) {
            Thread()->WaitForStop(kPollPeriodMs);
            return;
        }
        const uint64_t readBefore = m_messagesRead;
        CallHandler(AddConnection(std::make_unique<CMailslotConnection>(this)));
        if (m_messagesRead == readBefore) {
            // The handler left the message unread; drop it, or this loop
            // would hand it out for ever.
            std::lock_guard guard(m_stateLock);
            uint8_t discard[CPduBuffer::kCapacity];
            if (m_mailslot) {
                m_mailslot->Read(discard, sizeof discard);
            }
        }
    }
}

CConnection* CMailslot::Connect(const std::string& name) {
    const std::string target = CvText::ToOem(CvText::UpperCase(name));
    auto writer = m_mailslots.OpenMailslot(target, m_mailslotName);
    if (!writer) {
        return nullptr;
    }
    return AddConnection(std::make_unique<CMailslotConnection>(this, target, std::move(writer)));
}
