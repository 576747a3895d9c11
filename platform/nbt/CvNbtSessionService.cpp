#include "platform/nbt/CvNbtSessionService.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Connections taken from a listener per readiness, so that a burst of
// callers does not keep the established sessions waiting.
constexpr int kAcceptBatch = 16;
// The largest frame the wire allows, header included.
constexpr size_t kLargestFrame = kSsnHeaderLength + kSsnMaxLength;

NbtResult<NbtName> NameField(const uint8_t (&field)[16]) {
    return NbtName::FromRaw(std::string_view(reinterpret_cast<const char*>(field), sizeof field));
}

sockaddr_in Endpoint(uint32_t address, uint16_t port) {
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    endpoint.sin_addr.s_addr = htonl(address);
    return endpoint;
}

// Turns away a caller there is no room for: "called name present, but
// insufficient resources", then closes. Best effort: the caller may not have
// sent its request yet, and either way its call fails.
void RefuseCaller(int fd) {
    // Taking the request if it is already there lets the close end with FIN
    // rather than RST, which could discard the response at the caller.
    uint8_t request[1024];
    [[maybe_unused]] const ssize_t got = recv(fd, request, sizeof request, MSG_DONTWAIT);
    auto negative = NbtSessionFrame::NegativeResponse(kSsnErrInsufficientResources).Encode();
    if (negative) {
        [[maybe_unused]] const ssize_t sent =
            send(fd, negative.Value().data(), negative.Value().size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    close(fd);
}

}  // namespace

CvNbtSessionService::CvNbtSessionService(CvNbtContext& context, CvNbtNameService& names,
                                         CvNbtSessionLimits limits)
    : m_context(context),
      m_names(names),
      m_limits(limits),
      m_handshakes(limits.handshakes, limits.handshakesPerAddress,
                   std::chrono::milliseconds(limits.handshakeGraceMs)) {}

CvNbtSessionService::~CvNbtSessionService() {
    for (auto& [id, session] : m_sessions) {
        m_context.loop.Unwatch(session->Fd());
    }
    for (auto& [lana, adapter] : m_context.adapters) {
        if (adapter->listenerFd >= 0) {
            m_context.loop.Unwatch(adapter->listenerFd);
            close(adapter->listenerFd);
            adapter->listenerFd = -1;
        }
    }
}

int CvNbtSessionService::OpenListener(CvNbtAdapter& adapter) {
    if (adapter.listenerFd >= 0) {
        return 0;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    const int on = 1;
    const sockaddr_in endpoint = Endpoint(adapter.ip.address, m_context.ports.session);
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0 ||
        listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        close(fd);
        return error;
    }
    adapter.listenerFd = fd;
    const uint8_t lana = adapter.ip.lana;
    m_context.loop.Watch(fd, m_listenerPause != 0 ? 0 : POLLIN,
                         [this, lana](short) { OnAccept(lana); });
    return 0;
}

CvNbtSessionService::SessionId CvNbtSessionService::AddSession(
    std::unique_ptr<CvNbtSession> session) {
    const SessionId id = m_nextId++;
    m_sessions[id] = std::move(session);
    return id;
}

CvNbtSession* CvNbtSessionService::Find(SessionId id) {
    auto it = m_sessions.find(id);
    return it == m_sessions.end() ? nullptr : it->second.get();
}

CvNbtSession* CvNbtSessionService::FindLsn(uint8_t lana, uint8_t lsn, SessionId* id) {
    for (auto& [key, session] : m_sessions) {
        if (session->lana == lana && session->lsn == lsn && lsn != 0) {
            if (id != nullptr) {
                *id = key;
            }
            return session.get();
        }
    }
    return nullptr;
}

uint8_t CvNbtSessionService::FreeLsn(uint8_t lana) const {
    for (unsigned lsn = 1; lsn <= 254; ++lsn) {
        const bool used = std::any_of(m_sessions.begin(), m_sessions.end(), [&](const auto& item) {
            return item.second->lana == lana && item.second->lsn == lsn;
        });
        if (!used) {
            return static_cast<uint8_t>(lsn);
        }
    }
    return 0;
}

void CvNbtSessionService::Watch(SessionId id) {
    CvNbtSession* session = Find(id);
    session->parked = false;
    m_context.loop.Watch(session->Fd(), POLLIN,
                         [this, id](short revents) { OnSessionEvent(id, revents); });
    UpdateEvents(id);
}

void CvNbtSessionService::UpdateEvents(SessionId id) {
    CvNbtSession* session = Find(id);
    if (session == nullptr || session->Fd() < 0) {
        return;
    }
    const Room room = RoomFor(*session);
    if (room.starved) {
        m_starved.insert(id);
    } else {
        m_starved.erase(id);
    }
    if (room.atOwnBound && session->stallTimer == 0) {
        session->stallTimer =
            m_context.loop.AddTimer(m_limits.stallMs, [this, id] { OnStalled(id); });
    } else if (!room.atOwnBound && session->stallTimer != 0) {
        m_context.loop.CancelTimer(session->stallTimer);
        session->stallTimer = 0;
    }
    const bool connecting = session->state == CvNbtSession::State::Handshake &&
                            session->callNcb != nullptr && session->retargetsLeft < 0;
    short events = room.bytes > 0 ? POLLIN : 0;
    if (session->WantsWrite() || connecting) {
        events |= POLLOUT;
    }
    if (session->parked) {
        if (events != 0) {
            Watch(id);
        }
        return;
    }
    m_context.loop.SetEvents(session->Fd(), events);
}

CvNbtSessionService::Room CvNbtSessionService::RoomFor(const CvNbtSession& session) const {
    Room room;
    const size_t held = session.HeldBytes();
    // A receive waits for the frame being read: let it complete, up to the
    // largest legal frame, whatever the other bounds say.
    const bool awaited = !session.receives.empty() && !session.HasMessage();
    const size_t own =
        awaited ? std::max(m_limits.sessionBytes, kLargestFrame) : m_limits.sessionBytes;
    if (held >= own || session.MessageCount() >= m_limits.sessionMessages) {
        room.atOwnBound = true;
        return room;
    }
    room.bytes = own - held;
    if (!awaited) {
        const size_t reserve = held < m_limits.reserveBytes ? m_limits.reserveBytes - held : 0;
        const size_t total =
            m_heldBytes < m_limits.totalBytes ? m_limits.totalBytes - m_heldBytes : 0;
        room.bytes = std::min(room.bytes, std::max(reserve, total));
        room.starved = room.bytes == 0;
    }
    return room;
}

void CvNbtSessionService::ResumeStarved() {
    if (m_starved.empty() || m_heldBytes >= m_limits.totalBytes) {
        return;
    }
    const std::vector<SessionId> starved(m_starved.begin(), m_starved.end());
    for (SessionId id : starved) {
        UpdateEvents(id);
    }
}

void CvNbtSessionService::OnStalled(SessionId id) {
    CvNbtSession* session = Find(id);
    if (session == nullptr) {
        return;
    }
    session->stallTimer = 0;
    if (!RoomFor(*session).atOwnBound) {
        UpdateEvents(id);
        return;
    }
    // The peer keeps the session full and nothing is taken from it: hang up
    // and let go of what it holds, so it cannot pin memory for good.
    session->DropReceived();
    MarkClosed(id, kNrcSAbort);
    ResumeStarved();
}

void CvNbtSessionService::OnAccept(uint8_t lana) {
    CvNbtAdapter* adapter = m_context.ResetAdapter(lana);
    if (adapter == nullptr) {
        return;
    }
    for (int i = 0; i < kAcceptBatch; ++i) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd = accept4(adapter->listenerFd, reinterpret_cast<sockaddr*>(&peer), &size,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            AdmitCaller(lana, fd, ntohl(peer.sin_addr.s_addr));
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            // Out of descriptors or memory (EMFILE, ENFILE, ENOBUFS, ENOMEM):
            // the caller stays queued and the listener readable, so polling
            // it again at once would spin.
            PauseListeners();
        }
        return;
    }
}

void CvNbtSessionService::AdmitCaller(uint8_t lana, int fd, uint32_t address) {
    const auto now = CvNbtHandshakeGate::Clock::now();
    const auto decision = m_handshakes.Admit(address, now);
    if (decision.evict != 0) {
        Destroy(decision.evict);
    }
    if (!decision.admit) {
        RefuseCaller(fd);
        return;
    }
    auto session = std::make_unique<CvNbtSession>(fd, m_heldBytes);
    session->lana = lana;
    const SessionId id = AddSession(std::move(session));
    m_handshakes.Add(id, address, now);
    Find(id)->handshakeTimer =
        m_context.loop.AddTimer(kDefaultHandshakeMs, [this, id] { Destroy(id); });
    Watch(id);
}

void CvNbtSessionService::PauseListeners() {
    SetListenerEvents(0);
    if (m_listenerPause == 0) {
        m_listenerPause = m_context.loop.AddTimer(m_limits.acceptBackoffMs, [this] {
            m_listenerPause = 0;
            SetListenerEvents(POLLIN);
        });
    }
}

void CvNbtSessionService::SetListenerEvents(short events) {
    for (auto& [lana, adapter] : m_context.adapters) {
        if (adapter->listenerFd >= 0) {
            m_context.loop.SetEvents(adapter->listenerFd, events);
        }
    }
}

void CvNbtSessionService::OnSessionEvent(SessionId id, short revents) {
    CvNbtSession* session = Find(id);
    if (session == nullptr) {
        return;
    }
    // A call's non-blocking connect has finished.
    if (session->callNcb != nullptr && session->retargetsLeft < 0) {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(session->Fd(), SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0 || (revents & (POLLERR | POLLHUP)) != 0) {
            FinishCall(id, kNrcNoCall);
            return;
        }
        if ((revents & POLLOUT) == 0) {
            return;
        }
        session->retargetsLeft = -session->retargetsLeft - 1;
        auto request =
            NbtSessionFrame::SessionRequest(session->remoteName, session->localName).Encode();
        if (!request) {
            FinishCall(id, kNrcSystem);
            return;
        }
        session->Queue(request.Value());
    }
    if ((revents & POLLOUT) != 0 || session->WantsWrite()) {
        if (!session->Flush()) {
            MarkClosed(id);
            ResumeStarved();
            return;
        }
        CompleteSends(*session);
    }
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        if (RoomFor(*session).bytes > 0) {
            Pump(id, true);
        } else if ((revents & (POLLHUP | POLLERR)) != 0) {
            // Nothing may be read now, and poll reports a hang-up whatever
            // the events asked for: stop polling until there is room again.
            m_context.loop.Unwatch(session->Fd());
            session->parked = true;
        }
    }
    UpdateEvents(id);
    ResumeStarved();
}

void CvNbtSessionService::Pump(SessionId id, bool readSocket) {
    for (;;) {
        if (!Dispatch(id)) {
            return;
        }
        CvNbtSession* session = Find(id);
        DeliverMessages(*session);
        if (!readSocket || session->Fd() < 0) {
            return;
        }
        const Room room = RoomFor(*session);
        if (room.bytes == 0) {
            return;
        }
        switch (session->Read(room.bytes)) {
            case CvNbtSession::ReadResult::LimitReached:
                break;
            case CvNbtSession::ReadResult::Drained:
                readSocket = false;  // frame and deliver what came, then stop
                break;
            case CvNbtSession::ReadResult::Ended:
                // What came before the end still counts. The end itself
                // does not if the session moved on: a server that retargets
                // a call closes right after saying so.
                if (Dispatch(id)) {
                    MarkClosed(id);
                }
                return;
        }
    }
}

bool CvNbtSessionService::Dispatch(SessionId id) {
    CvNbtSession* session = Find(id);
    if (session == nullptr) {
        return false;
    }
    const uint32_t serial = session->SocketSerial();
    for (;;) {
        session = Find(id);
        if (session == nullptr || session->SocketSerial() != serial) {
            return false;
        }
        const bool carrying = session->state != CvNbtSession::State::Handshake;
        if (carrying && session->MessageCount() >= m_limits.sessionMessages) {
            return true;  // the rest waits in the reader until receives take some
        }
        auto next = session->NextFrame();
        if (!next) {
            // A broken stream cannot be resynchronised: nothing after the
            // fault counts.
            session->ResetReader();
            MarkClosed(id);
            return false;
        }
        if (!next.Value()) {
            return true;
        }
        NbtSessionFrame& frame = *next.Value();
        if (carrying) {
            if (frame.type == kSsnMessage) {
                session->AddMessage(std::move(frame.trailer));
            } else if (frame.type != kSsnKeepAlive) {
                session->ResetReader();
                MarkClosed(id);
                return false;
            }
        } else if (session->callNcb != nullptr) {
            HandleCallResponse(id, frame);
        } else {
            HandleIncomingRequest(id, frame);
        }
    }
}

void CvNbtSessionService::HandleIncomingRequest(SessionId id, const NbtSessionFrame& frame) {
    CvNbtSession* session = Find(id);
    if (frame.type == kSsnKeepAlive) {
        return;
    }
    auto names = frame.DecodeSessionRequest();
    if (!names) {
        Reject(id, kSsnErrUnspecified);
        return;
    }
    CvNbtAdapter* adapter = m_context.ResetAdapter(session->lana);
    const CvNbtNameEntry* called =
        adapter != nullptr ? adapter->names.Find(names.Value().called) : nullptr;
    if (called == nullptr || called->state != CvNbtNameEntry::State::Active) {
        Reject(id, kSsnErrCalledNotPresent);
        return;
    }
    const std::string& calledRaw = names.Value().called.Raw();
    const std::string& callingRaw = names.Value().calling.Raw();
    auto listen = std::find_if(m_listens.begin(), m_listens.end(), [&](const PostedListen& item) {
        if (item.lana != session->lana ||
            std::memcmp(item.ncb->name, calledRaw.data(), sizeof item.ncb->name) != 0) {
            return false;
        }
        return item.ncb->callname[0] == '*' ||
               std::memcmp(item.ncb->callname, callingRaw.data(), sizeof item.ncb->callname) == 0;
    });
    const uint8_t lsn = FreeLsn(session->lana);
    if (listen == m_listens.end() || lsn == 0) {
        Reject(id, listen == m_listens.end() ? kSsnErrNotListeningOnCalled
                                             : kSsnErrInsufficientResources);
        return;
    }
    CvNcb& ncb = *listen->ncb;
    m_listens.erase(listen);
    m_handshakes.Remove(id);
    m_context.loop.CancelTimer(session->handshakeTimer);
    session->state = CvNbtSession::State::Established;
    session->lsn = lsn;
    session->rto = ncb.rto;
    session->sto = ncb.sto;
    session->localName = names.Value().called;
    session->remoteName = names.Value().calling;
    auto positive = NbtSessionFrame::PositiveResponse().Encode();
    session->Queue(positive.Value());
    if (!session->Flush()) {
        MarkClosed(id);
    }
    ncb.lsn = lsn;
    std::memcpy(ncb.callname, callingRaw.data(), sizeof ncb.callname);
    m_context.pending.Complete(ncb, kNrcGoodRet);
}

void CvNbtSessionService::Reject(SessionId id, uint8_t error) {
    CvNbtSession* session = Find(id);
    auto negative = NbtSessionFrame::NegativeResponse(error).Encode();
    session->Queue(negative.Value());
    session->Flush();
    Destroy(id);
}

void CvNbtSessionService::HandleCallResponse(SessionId id, const NbtSessionFrame& frame) {
    CvNbtSession* session = Find(id);
    switch (frame.type) {
        case kSsnPositiveResponse: {
            const uint8_t lsn = FreeLsn(session->lana);
            if (lsn == 0) {
                FinishCall(id, kNrcLocTFul);
                return;
            }
            session->lsn = lsn;
            session->state = CvNbtSession::State::Established;
            FinishCall(id, kNrcGoodRet);
            return;
        }
        case kSsnRetargetResponse: {
            auto target = frame.DecodeRetargetResponse();
            CvNbtAdapter* adapter = m_context.ResetAdapter(session->lana);
            if (!target || session->retargetsLeft <= 0 || adapter == nullptr) {
                FinishCall(id, kNrcNoCall);
                return;
            }
            const int left = session->retargetsLeft - 1;
            m_context.loop.Unwatch(session->Fd());
            session->ResetReader();
            if (!Connect(*session, target.Value().address, target.Value().port,
                         adapter->ip.address)) {
                FinishCall(id, kNrcNoCall);
                return;
            }
            session->retargetsLeft = -left - 1;
            Watch(id);
            return;
        }
        case kSsnKeepAlive:
            return;
        default:
            // A negative response or anything else: nobody takes the call.
            FinishCall(id, kNrcNoCall);
            return;
    }
}

bool CvNbtSessionService::Connect(CvNbtSession& session, uint32_t address, uint16_t port,
                                  uint32_t sourceIp) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    session.SetSocket(fd);
    const sockaddr_in source = Endpoint(sourceIp, 0);
    const sockaddr_in target = Endpoint(address, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0) {
        return false;
    }
    return connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 ||
           errno == EINPROGRESS;
}

void CvNbtSessionService::Call(CvNbtAdapter& adapter, CvNcb& ncb) {
    auto local = NameField(ncb.name);
    const CvNbtNameEntry* entry = local ? adapter.names.Find(local.Value()) : nullptr;
    auto remote = NameField(ncb.callname);
    if (entry == nullptr || entry->state == CvNbtNameEntry::State::Registering || !remote ||
        ncb.callname[0] == '*') {
        m_context.pending.Complete(ncb, kNrcNoWild);
        return;
    }
    const uint8_t lana = adapter.ip.lana;
    const auto transaction =
        m_names.Resolve(adapter, remote.Value(), [this, lana, target = &ncb](auto resolved) {
            if (!resolved) {
                m_context.pending.Complete(*target, kNrcNoCall);
                return;
            }
            StartCall(lana, *target, resolved->address);
        });
    m_context.pending.SetDetach(ncb, [this, transaction] { m_names.Cancel(transaction); });
}

void CvNbtSessionService::StartCall(uint8_t lana, CvNcb& ncb, uint32_t address) {
    CvNbtAdapter* adapter = m_context.ResetAdapter(lana);
    if (adapter == nullptr) {
        m_context.pending.Complete(ncb, kNrcEnvNotDef);
        return;
    }
    auto session = std::make_unique<CvNbtSession>(-1, m_heldBytes);
    session->lana = lana;
    session->rto = ncb.rto;
    session->sto = ncb.sto;
    session->localName = NameField(ncb.name).Value();
    session->remoteName = NameField(ncb.callname).Value();
    session->callNcb = &ncb;
    // Negative while connecting: -(retargets left) - 1.
    session->retargetsLeft = -kSsnRetryCount - 1;
    const SessionId id = AddSession(std::move(session));
    CvNbtSession* created = Find(id);
    if (!Connect(*created, address, m_context.ports.session, adapter->ip.address)) {
        created->callNcb = nullptr;
        Destroy(id);
        m_context.pending.Complete(ncb, kNrcNoCall);
        return;
    }
    const int limit = ncb.rto != 0 ? ncb.rto * 500 : kDefaultHandshakeMs;
    created->handshakeTimer =
        m_context.loop.AddTimer(limit, [this, id] { FinishCall(id, kNrcCmdTmo); });
    m_context.pending.SetDetach(ncb, [this, id] {
        if (CvNbtSession* session = Find(id)) {
            session->callNcb = nullptr;
            Destroy(id);
        }
    });
    Watch(id);
}

void CvNbtSessionService::FinishCall(SessionId id, uint8_t code) {
    CvNbtSession* session = Find(id);
    if (session == nullptr || session->callNcb == nullptr) {
        return;
    }
    CvNcb& ncb = *session->callNcb;
    session->callNcb = nullptr;
    m_context.loop.CancelTimer(session->handshakeTimer);
    if (code != kNrcGoodRet) {
        Destroy(id);
    } else {
        ncb.lsn = session->lsn;
        UpdateEvents(id);
    }
    m_context.pending.Complete(ncb, code);
}

void CvNbtSessionService::Listen(CvNbtAdapter& adapter, CvNcb& ncb) {
    auto local = NameField(ncb.name);
    const CvNbtNameEntry* entry = local ? adapter.names.Find(local.Value()) : nullptr;
    if (entry == nullptr) {
        m_context.pending.Complete(ncb, kNrcNoWild);
        return;
    }
    m_listens.push_back({adapter.ip.lana, &ncb});
    m_context.pending.SetDetach(ncb, [this, target = &ncb] {
        std::erase_if(m_listens, [&](const PostedListen& item) { return item.ncb == target; });
    });
}

void CvNbtSessionService::Send(CvNbtAdapter& adapter, CvNcb& ncb) {
    SessionId id = 0;
    CvNbtSession* session = FindLsn(adapter.ip.lana, ncb.lsn, &id);
    if (session == nullptr) {
        m_context.pending.Complete(ncb, kNrcSnumOut);
        return;
    }
    if (session->state != CvNbtSession::State::Established) {
        m_context.pending.Complete(ncb, session->closeCode);
        return;
    }
    auto frame = NbtSessionFrame::SessionMessage({ncb.buffer, ncb.length}).Encode();
    if (!frame) {
        m_context.pending.Complete(ncb, kNrcBufLen);
        return;
    }
    CvNbtSession::PendingSend send{&ncb, session->Queue(frame.Value()), 0};
    if (session->sto != 0) {
        send.timer = m_context.loop.AddTimer(session->sto * 500, [this, id, target = &ncb] {
            CvNbtSession* current = Find(id);
            if (current == nullptr) {
                return;
            }
            std::erase_if(current->sends, [&](const auto& item) { return item.ncb == target; });
            m_context.pending.Complete(*target, kNrcCmdTmo);
            MarkClosed(id);
        });
    }
    session->sends.push_back(send);
    m_context.pending.SetDetach(ncb, [this, id, target = &ncb] {
        // The bytes may be half written: the stream is unusable afterwards.
        if (CvNbtSession* current = Find(id)) {
            for (const auto& item : current->sends) {
                if (item.ncb == target) {
                    m_context.loop.CancelTimer(item.timer);
                }
            }
            std::erase_if(current->sends, [&](const auto& item) { return item.ncb == target; });
            MarkClosed(id);
        }
    });
    if (!session->Flush()) {
        MarkClosed(id);
        return;
    }
    CompleteSends(*session);
    UpdateEvents(id);
}

void CvNbtSessionService::CompleteSends(CvNbtSession& session) {
    while (!session.sends.empty() && session.sends.front().end <= session.Written()) {
        const auto send = session.sends.front();
        session.sends.pop_front();
        m_context.loop.CancelTimer(send.timer);
        m_context.pending.Complete(*send.ncb, kNrcGoodRet);
    }
}

void CvNbtSessionService::Receive(CvNbtAdapter& adapter, CvNcb& ncb) {
    SessionId id = 0;
    CvNbtSession* session = FindLsn(adapter.ip.lana, ncb.lsn, &id);
    if (session == nullptr) {
        m_context.pending.Complete(ncb, kNrcSnumOut);
        return;
    }
    session->receives.push_back(&ncb);
    if (session->rto != 0) {
        session->receiveTimers[&ncb] =
            m_context.loop.AddTimer(session->rto * 500, [this, id, target = &ncb] {
                if (CvNbtSession* current = Find(id)) {
                    std::erase(current->receives, target);
                    current->receiveTimers.erase(target);
                    UpdateEvents(id);  // the frame being read is no longer awaited
                }
                m_context.pending.Complete(*target, kNrcCmdTmo);
            });
    }
    m_context.pending.SetDetach(ncb, [this, id, target = &ncb] {
        if (CvNbtSession* current = Find(id)) {
            std::erase(current->receives, target);
            auto timer = current->receiveTimers.find(target);
            if (timer != current->receiveTimers.end()) {
                m_context.loop.CancelTimer(timer->second);
                current->receiveTimers.erase(timer);
            }
            UpdateEvents(id);
        }
    });
    // Frames left in the reader at the message bound come out now; the
    // socket is read again once poll says so.
    Pump(id, false);
    UpdateEvents(id);
    ResumeStarved();
}

void CvNbtSessionService::DeliverMessages(CvNbtSession& session) {
    while (!session.receives.empty() &&
           (session.HasMessage() || session.state == CvNbtSession::State::Closed)) {
        CvNcb& ncb = *session.receives.front();
        session.receives.pop_front();
        auto timer = session.receiveTimers.find(&ncb);
        if (timer != session.receiveTimers.end()) {
            m_context.loop.CancelTimer(timer->second);
            session.receiveTimers.erase(timer);
        }
        if (!session.HasMessage()) {
            ncb.length = 0;
            m_context.pending.Complete(ncb, session.closeCode);
            continue;
        }
        const bool whole = session.TakeMessage(ncb.buffer, ncb.length);
        // Something was taken: the session is not stuck, even if what is
        // left of a large message still fills it.
        m_context.loop.CancelTimer(session.stallTimer);
        session.stallTimer = 0;
        m_context.pending.Complete(ncb, whole ? kNrcGoodRet : kNrcIncomp);
    }
}

void CvNbtSessionService::MarkClosed(SessionId id, uint8_t code) {
    CvNbtSession* session = Find(id);
    if (session == nullptr) {
        return;
    }
    if (session->state == CvNbtSession::State::Handshake) {
        if (session->callNcb != nullptr) {
            FinishCall(id, kNrcNoCall);
        } else {
            Destroy(id);
        }
        return;
    }
    if (session->state == CvNbtSession::State::Closed) {
        return;
    }
    session->state = CvNbtSession::State::Closed;
    session->closeCode = code;
    m_context.loop.Unwatch(session->Fd());
    session->CloseSocket();
    session->parked = false;
    m_context.loop.CancelTimer(session->stallTimer);
    session->stallTimer = 0;
    m_starved.erase(id);
    while (!session->sends.empty()) {
        const auto send = session->sends.front();
        session->sends.pop_front();
        m_context.loop.CancelTimer(send.timer);
        m_context.pending.Complete(*send.ncb, code);
    }
    DeliverMessages(*session);
}

void CvNbtSessionService::HangUp(CvNbtAdapter& adapter, CvNcb& ncb) {
    SessionId id = 0;
    if (FindLsn(adapter.ip.lana, ncb.lsn, &id) == nullptr) {
        m_context.pending.Complete(ncb, kNrcSnumOut);
        return;
    }
    Destroy(id);
    m_context.pending.Complete(ncb, kNrcGoodRet);
}

void CvNbtSessionService::Destroy(SessionId id) {
    auto it = m_sessions.find(id);
    if (it == m_sessions.end()) {
        return;
    }
    std::unique_ptr<CvNbtSession> session = std::move(it->second);
    m_sessions.erase(it);
    m_handshakes.Remove(id);
    m_starved.erase(id);
    m_context.loop.Unwatch(session->Fd());
    m_context.loop.CancelTimer(session->handshakeTimer);
    m_context.loop.CancelTimer(session->stallTimer);
    // Flush what the socket takes of already queued bytes before closing.
    session->Flush();
    for (CvNcb* receive : session->receives) {
        auto timer = session->receiveTimers.find(receive);
        if (timer != session->receiveTimers.end()) {
            m_context.loop.CancelTimer(timer->second);
        }
        m_context.pending.Complete(*receive, kNrcSClosed);
    }
    for (const auto& send : session->sends) {
        m_context.loop.CancelTimer(send.timer);
        m_context.pending.Complete(*send.ncb, kNrcSClosed);
    }
    if (session->callNcb != nullptr) {
        m_context.pending.Complete(*session->callNcb, kNrcNoCall);
    }
    session.reset();
    ResumeStarved();
}

void CvNbtSessionService::CloseAll(uint8_t code) {
    while (!m_sessions.empty()) {
        auto it = m_sessions.begin();
        CvNbtSession& session = *it->second;
        for (CvNcb* receive : session.receives) {
            m_context.pending.Complete(*receive, code);
        }
        session.receives.clear();
        for (const auto& send : session.sends) {
            m_context.pending.Complete(*send.ncb, code);
        }
        session.sends.clear();
        if (session.callNcb != nullptr) {
            m_context.pending.Complete(*session.callNcb, code);
            session.callNcb = nullptr;
        }
        Destroy(it->first);
    }
    for (const auto& listen : m_listens) {
        m_context.pending.Complete(*listen.ncb, code);
    }
    m_listens.clear();
}

void CvNbtSessionService::CloseAdapter(uint8_t lana) {
    std::vector<SessionId> closing;
    for (const auto& [id, session] : m_sessions) {
        if (session->lana == lana) {
            closing.push_back(id);
        }
    }
    for (SessionId id : closing) {
        Destroy(id);
    }
}

void CvNbtSessionService::DropName(uint8_t lana, const NbtName& name, uint8_t code) {
    std::vector<CvNcb*> dropped;
    std::erase_if(m_listens, [&](const PostedListen& item) {
        const bool match = item.lana == lana && std::memcmp(item.ncb->name, name.Raw().data(),
                                                            sizeof item.ncb->name) == 0;
        if (match) {
            dropped.push_back(item.ncb);
        }
        return match;
    });
    for (CvNcb* ncb : dropped) {
        m_context.pending.Complete(*ncb, code);
    }
}
