#include "netbios/CNetbiosName.h"

#include <mutex>

#include "messaging/CvError.h"
#include "netbios/CNetbiosConnection.h"
#include "netbios/CPduBuffer.h"
#include "netbios/CProtocolDataUnit.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvNetbiosProvider.h"
#include "platform/CvTextCodec.h"

namespace {

uint8_t SessionOf(CConnection* connection) {
    return static_cast<CNetbiosConnection*>(connection)->session;
}

}  // namespace

CNetbiosName::CNetbiosName(CvNetbiosProvider& provider, uint8_t lana, std::string localName,
                           std::vector<uint8_t> suffixes)
    : m_provider(provider),
      m_localName(std::move(localName)),
      m_oemName(CvText::ToOem(m_localName)),
      m_suffixes(std::move(suffixes)),
      m_lana(lana) {
    for (auto& event : m_listenEvents) {
        event.Reset();
    }
}

CNetbiosName::~CNetbiosName() {
    Stop();
}

void CNetbiosName::ReceivePdu(CConnection* connection, CProtocolDataUnit& pdu) {
    CPduBuffer buffer;
    buffer.SetLength(CPduBuffer::kCapacity);
    ReceiveRaw(connection, buffer);
    pdu.Decode(buffer);
}

void CNetbiosName::ReceiveRaw(CConnection* connection, CPduBuffer& buffer) {
    uint16_t length = CPduBuffer::kCapacity;
    const uint8_t code =
        NBRecv(m_provider, m_lana, SessionOf(connection), buffer.Data(), length, m_sessionTimeout);
    if (code != kNrcGoodRet) {
        throw CvDataTransmissionErr("NBRecv" + std::to_string(code));
    }
    buffer.SetLength(length);
}

void CNetbiosName::SendPdu(CConnection* connection, CProtocolDataUnit& pdu) {
    CPduBuffer buffer;
    pdu.Encode(buffer);
    SendRaw(connection, buffer);
}

void CNetbiosName::SendRaw(CConnection* connection, CPduBuffer& buffer) {
    const uint8_t code = NBSend(m_provider, m_lana, SessionOf(connection), buffer.Data(),
                                static_cast<uint16_t>(buffer.Length()), m_sessionTimeout);
    if (code != kNrcGoodRet) {
        throw CvDataTransmissionErr("NBSend" + std::to_string(code));
    }
}

void CNetbiosName::CloseConnection(CConnection* connection) {
    NBHangUp(m_provider, m_lana, SessionOf(connection));
    RemoveConnection(connection);
}

bool CNetbiosName::Open() {
    std::lock_guard guard(m_stateLock);
    NBDeleteName(m_provider, m_lana, m_oemName, 0x03, m_nameNumber);
    bool opened = false;
    for (uint8_t suffix : m_suffixes) {
        const uint8_t code = NBAddName(m_provider, m_lana, m_oemName, suffix, m_nameNumber);
        m_suffix = suffix;
        opened = code == kNrcGoodRet;
        m_nameAdded = opened;
        if (code != kNrcDupName && code != kNrcInUse) {
            break;
        }
    }
    m_opened = opened;
    m_listensPending = opened;
    return opened;
}

void CNetbiosName::Close() {
    std::lock_guard guard(m_stateLock);
    // A stop clears the opened flag before the thread closes the port, so
    // whether the name is ours is kept apart from it.
    if (m_nameAdded) {
        NBDeleteName(m_provider, m_lana, m_oemName, m_suffix, m_nameNumber);
        m_nameAdded = false;
    }
    m_opened = false;
}

void CNetbiosName::CancelListens() {
    for (size_t i = 0; i < kListens; ++i) {
        NBCancel(m_provider, m_lana, m_listens[i]);
        m_listenEvents[i].Reset();
    }
}

void CNetbiosName::Serve() {
    bool failed = false;
    if (m_listensPending) {
        for (size_t i = 0; i < kListens; ++i) {
            m_listenEvents[i].Reset();
            const uint8_t code = NBListenAsy(m_provider, m_listens[i], m_lana, m_oemName,
                                             m_sessionTimeout, m_listenEvents[i]);
            if (code != kNrcPending) {
                m_listens[i].retcode = code;
                failed = true;
            }
        }
        m_listensPending = false;
    }

    if (!failed) {
        std::array<CvWaitable*, kListens + 2> objects{};
        for (size_t i = 0; i < kListens; ++i) {
            objects[i] = &m_listenEvents[i];
        }
        objects[kListens] = &m_stopEvent;
        objects[kListens + 1] = &Thread()->StopEvent();
        const uint32_t which = CvWaitable::WaitAny(objects, kInfinite);
        if (which >= kListens) {
            CancelListens();
            m_opened = false;
            return;
        }

        for (size_t i = 0; i < kListens; ++i) {
            CvNcb& listen = m_listens[i];
            const uint8_t code = listen.retcode;
            if (code == kNrcGoodRet) {
                const uint8_t session = listen.lsn;
                const std::string caller(reinterpret_cast<const char*>(listen.callname),
                                         sizeof listen.callname);
                m_listenEvents[i].Reset();
                const uint8_t posted = NBListenAsy(m_provider, listen, m_lana, m_oemName,
                                                   m_sessionTimeout, m_listenEvents[i]);
                if (posted != kNrcPending) {
                    listen.retcode = posted;
                    failed = true;
                }
                CallHandler(
                    AddConnection(std::make_unique<CNetbiosConnection>(this, caller, session)));
            } else if (code != kNrcPending && NBIsFatal(code)) {
                failed = true;
            }
        }
    }

    if (failed) {
        CancelListens();
        m_opened = false;
    }
}

CConnection* CNetbiosName::Connect(const std::string& name) {
    const std::string called = CvText::ToOem(CvText::UpperCase(name));
    uint8_t session = 0;
    const uint8_t code = NBCall(m_provider, m_lana, called, m_oemName, m_suffix, m_callTimeout,
                                m_sessionTimeout, session);
    if (code == kNrcCmdTmo || code == kNrcNoCall) {
        throw CvAddrNotFoundErr("NBCallAsy3");
    }
    if (code != kNrcGoodRet) {
        throw CvUnknownNetworkErr("NBCallAsy3");
    }
    return AddConnection(std::make_unique<CNetbiosConnection>(this, called, session));
}

void CNetbiosName::Stop() {
    m_stopEvent.Set();
    CPort::Stop();
}
