#include "netbios/CNetbiosName.h"

#include <algorithm>
#include <chrono>
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
    HangUpOnce(*static_cast<CNetbiosConnection*>(connection));
    RemoveConnection(connection);
}

void CNetbiosName::HangUpOnce(CNetbiosConnection& connection) {
    std::lock_guard guard(m_hangUpLock);
    if (!connection.hungUp) {
        NBHangUp(m_provider, m_lana, connection.session);
        connection.hungUp = true;
    }
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

bool CNetbiosName::PostListen(size_t slot) {
    m_listenEvents[slot].Reset();
    const uint8_t code = NBListenAsy(m_provider, m_listens[slot], m_lana, m_oemName,
                                     m_sessionTimeout, m_listenEvents[slot]);
    if (code != kNrcPending) {
        m_listens[slot].retcode = code;
        return false;
    }
    return true;
}

bool CNetbiosName::Accept(const std::string& caller, uint8_t session) {
    CConnection* connection =
        AddConnection(std::make_unique<CNetbiosConnection>(this, caller, session, true));
    CvWaitable* const stop[] = {&m_stopEvent, &Thread()->StopEvent()};
    for (;;) {
        switch (m_workers.Post(connection, stop, kMakeWayCheckMs)) {
            case CConnectionWorkers::PostResult::Queued:
                return true;
            case CConnectionWorkers::PostResult::Stopped:
                CloseConnection(connection);
                return false;
            case CConnectionWorkers::PostResult::TimedOut:
                MakeWay();
                break;
        }
    }
}

void CNetbiosName::RunHandler(CConnection* connection) {
    static_cast<CNetbiosConnection*>(connection)->servedSince =
        std::chrono::steady_clock::now().time_since_epoch().count();
    CallHandler(connection);
}

void CNetbiosName::MakeWay() {
    const size_t waiting = m_workers.QueuedCount();
    if (waiting == 0) {
        return;
    }
    const int64_t latest =
        (std::chrono::steady_clock::now() - std::chrono::milliseconds(kMakeWayAfterMs))
            .time_since_epoch()
            .count();
    // The connections may end while this runs, so each pass works under
    // the connection list's lock: the first finds the start time of the
    // `waiting`-th oldest overdue session, the second ends those up to it.
    std::vector<int64_t> overdue;
    ForEachConnection([&](CConnection* connection) {
        auto* session = static_cast<CNetbiosConnection*>(connection);
        const int64_t since = session->servedSince;
        if (session->accepted && since != 0 && since <= latest) {
            overdue.push_back(since);
        }
    });
    if (overdue.empty()) {
        return;
    }
    const size_t count = std::min(waiting, overdue.size());
    std::nth_element(overdue.begin(), overdue.begin() + static_cast<ptrdiff_t>(count - 1),
                     overdue.end());
    const int64_t cutoff = overdue[count - 1];
    size_t ended = 0;
    ForEachConnection([&](CConnection* connection) {
        auto* session = static_cast<CNetbiosConnection*>(connection);
        const int64_t since = session->servedSince;
        if (ended < count && session->accepted && since != 0 && since <= cutoff) {
            HangUpOnce(*session);
            ++ended;
        }
    });
}

void CNetbiosName::Serve() {
    bool failed = false;
    bool conflict = false;
    // How a listen ended (or was refused) decides what the pass does next.
    auto noteEnd = [&](uint8_t code) {
        if (code == kNrcNamConf) {
            conflict = true;
        } else if (NBIsFatal(code)) {
            failed = true;
        }
    };
    auto post = [&](size_t slot) {
        if (!PostListen(slot)) {
            noteEnd(m_listens[slot].retcode);
            failed = failed || !conflict;
        }
    };

    if (m_listensPending) {
        for (size_t i = 0; i < kListens; ++i) {
            post(i);
        }
        m_listensPending = false;
    }

    if (!failed && !conflict) {
        std::array<CvWaitable*, kListens + 2> objects{};
        for (size_t i = 0; i < kListens; ++i) {
            objects[i] = &m_listenEvents[i];
        }
        objects[kListens] = &m_stopEvent;
        objects[kListens + 1] = &Thread()->StopEvent();
        // Callers waiting for a worker wake the port now and then to make
        // way for them.
        const uint32_t which =
            CvWaitable::WaitAny(objects, m_workers.QueuedCount() > 0 ? kMakeWayCheckMs : kInfinite);
        if (which == kWaitTimeout) {
            MakeWay();
            return;
        }
        if (which >= kListens) {
            CancelListens();
            m_opened = false;
            return;
        }

        for (size_t i = 0; i < kListens; ++i) {
            // The provider stores the return code before it sets the event
            // and touches the NCB no more after that: only a set event makes
            // the slot safe to read and post again.
            if (!m_listenEvents[i].IsSet()) {
                continue;
            }
            CvNcb& listen = m_listens[i];
            const uint8_t code = listen.retcode;
            if (code == kNrcPending) {
                continue;
            }
            if (code == kNrcGoodRet) {
                const uint8_t session = listen.lsn;
                const std::string caller(reinterpret_cast<const char*>(listen.callname),
                                         sizeof listen.callname);
                if (!Accept(caller, session)) {
                    CancelListens();
                    m_opened = false;
                    return;  // stopped
                }
                post(i);
            } else if (code == kNrcNamConf || NBIsFatal(code)) {
                noteEnd(code);
            } else {
                // Ended without a caller (cancelled, for one). Left completed,
                // its event would end every later wait at once.
                post(i);
            }
        }
    }

    if (conflict) {
        CancelListens();
        EnterConflict();
    } else if (failed) {
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
    return AddConnection(std::make_unique<CNetbiosConnection>(this, called, session, false));
}

void CNetbiosName::Stop() {
    m_stopEvent.Set();
    CPort::Stop();
    // No caller comes in any more. Sessions still being served would hold
    // the workers until their peers finish or time out: end them now.
    ForEachConnection([this](CConnection* connection) {
        auto* session = static_cast<CNetbiosConnection*>(connection);
        if (session->accepted) {
            HangUpOnce(*session);
        }
    });
    for (CConnection* waiting : m_workers.Stop()) {
        CloseConnection(waiting);
    }
}
