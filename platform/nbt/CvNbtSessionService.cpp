#include "platform/nbt/CvNbtSessionService.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

}  // namespace

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
    m_context.loop.Watch(fd, POLLIN, [this, lana](short) { OnAccept(lana); });
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
    m_context.loop.Watch(session->Fd(), POLLIN,
                         [this, id](short revents) { OnSessionEvent(id, revents); });
    UpdateEvents(id);
}

void CvNbtSessionService::UpdateEvents(SessionId id) {
    CvNbtSession* session = Find(id);
    if (session == nullptr || session->Fd() < 0) {
        return;
    }
    const bool connecting = session->state == CvNbtSession::State::Handshake &&
                            session->callNcb != nullptr && session->retargetsLeft < 0;
    short events = POLLIN;
    if (session->WantsWrite() || connecting) {
        events |= POLLOUT;
    }
    m_context.loop.SetEvents(session->Fd(), events);
}

void CvNbtSessionService::OnAccept(uint8_t lana) {
    CvNbtAdapter* adapter = m_context.ResetAdapter(lana);
    if (adapter == nullptr) {
        return;
    }
    for (;;) {
        const int fd = accept4(adapter->listenerFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        auto session = std::make_unique<CvNbtSession>(fd);
        session->lana = lana;
        const SessionId id = AddSession(std::move(session));
        Find(id)->handshakeTimer =
            m_context.loop.AddTimer(kDefaultHandshakeMs, [this, id] { Destroy(id); });
        Watch(id);
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
            return;
        }
        CompleteSends(*session);
    }
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        const bool open = session->ReadAvailable();
        for (;;) {
            session = Find(id);
            if (session == nullptr || session->state == CvNbtSession::State::Closed) {
                return;
            }
            auto next = session->Reader().Next();
            if (!next) {
                MarkClosed(id);  // a broken stream cannot be resynchronised
                return;
            }
            if (!next.Value()) {
                break;
            }
            const NbtSessionFrame& frame = *next.Value();
            if (session->state == CvNbtSession::State::Established) {
                if (frame.type == kSsnMessage) {
                    session->AddMessage(frame.trailer);
                } else if (frame.type != kSsnKeepAlive) {
                    MarkClosed(id);
                    return;
                }
            } else if (session->callNcb != nullptr) {
                HandleCallResponse(id, frame);
            } else {
                HandleIncomingRequest(id, frame);
            }
        }
        session = Find(id);
        if (session == nullptr) {
            return;
        }
        DeliverMessages(*session);
        if (!open) {
            MarkClosed(id);
            return;
        }
    }
    UpdateEvents(id);
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
    auto session = std::make_unique<CvNbtSession>(-1);
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
        m_context.pending.Complete(ncb, kNrcSClosed);
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
        }
    });
    DeliverMessages(*session);
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
            m_context.pending.Complete(ncb, kNrcSClosed);
            continue;
        }
        const bool whole = session.TakeMessage(ncb.buffer, ncb.length);
        m_context.pending.Complete(ncb, whole ? kNrcGoodRet : kNrcIncomp);
    }
}

void CvNbtSessionService::MarkClosed(SessionId id) {
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
    session->state = CvNbtSession::State::Closed;
    m_context.loop.Unwatch(session->Fd());
    session->CloseSocket();
    while (!session->sends.empty()) {
        const auto send = session->sends.front();
        session->sends.pop_front();
        m_context.loop.CancelTimer(send.timer);
        m_context.pending.Complete(*send.ncb, kNrcSClosed);
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
    m_context.loop.Unwatch(session->Fd());
    m_context.loop.CancelTimer(session->handshakeTimer);
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

void CvNbtSessionService::DropName(uint8_t lana, const NbtName& name) {
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
        m_context.pending.Complete(*ncb, kNrcNamErr);
    }
}
