#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>

#include "platform/CvNcb.h"
#include "platform/nbt/CvNbtContext.h"
#include "platform/nbt/CvNbtNameService.h"
#include "platform/nbt/CvNbtSession.h"
#include "platform/nbt/NbtSessionFrame.h"

// The session service: a TCP listener per adapter, outgoing calls, and the
// NetBIOS session commands on established sessions. I/O thread only; every
// command passed in is pending and is finished through the context.
//
// Time limits: rto/sto of a call or listen (500 ms units, 0 = none) become
// the session's receive and send limits. A receive that runs out completes
// with kNrcCmdTmo and leaves the session; a send that runs out also ends the
// session, as its stream position is then unknown. The handshake of a call
// is limited by rto (or kDefaultHandshakeMs), an incoming one by
// kDefaultHandshakeMs.
class CvNbtSessionService {
public:
    static constexpr int kDefaultHandshakeMs = 10000;

    CvNbtSessionService(CvNbtContext& context, CvNbtNameService& names)
        : m_context(context), m_names(names) {}
    ~CvNbtSessionService();

    // Binds and watches the adapter's listener; 0 or an errno.
    int OpenListener(CvNbtAdapter& adapter);

    void Call(CvNbtAdapter& adapter, CvNcb& ncb);
    void Listen(CvNbtAdapter& adapter, CvNcb& ncb);
    void Send(CvNbtAdapter& adapter, CvNcb& ncb);
    void Receive(CvNbtAdapter& adapter, CvNcb& ncb);
    void HangUp(CvNbtAdapter& adapter, CvNcb& ncb);
    // The name was deleted: its listens complete with kNrcNamErr.
    void DropName(uint8_t lana, const NbtName& name);
    // Closes every session and finishes the commands on them with code.
    void CloseAll(uint8_t code);

private:
    using SessionId = uint64_t;
    struct PostedListen {
        uint8_t lana = 0;
        CvNcb* ncb = nullptr;
    };

    SessionId AddSession(std::unique_ptr<CvNbtSession> session);
    CvNbtSession* Find(SessionId id);
    CvNbtSession* FindLsn(uint8_t lana, uint8_t lsn, SessionId* id = nullptr);
    uint8_t FreeLsn(uint8_t lana) const;
    void Watch(SessionId id);
    void UpdateEvents(SessionId id);
    void OnAccept(uint8_t lana);
    void OnSessionEvent(SessionId id, short revents);
    void HandleIncomingRequest(SessionId id, const NbtSessionFrame& frame);
    void HandleCallResponse(SessionId id, const NbtSessionFrame& frame);
    bool Connect(CvNbtSession& session, uint32_t address, uint16_t port, uint32_t sourceIp);
    void StartCall(uint8_t lana, CvNcb& ncb, uint32_t address);
    void FinishCall(SessionId id, uint8_t code);
    void Reject(SessionId id, uint8_t error);
    void DeliverMessages(CvNbtSession& session);
    void CompleteSends(CvNbtSession& session);
    // The connection is gone: fail the waiting commands, keep the session
    // for its hang-up (or drop it while it is still handshaking).
    void MarkClosed(SessionId id);
    void Destroy(SessionId id);

    CvNbtContext& m_context;
    CvNbtNameService& m_names;
    std::map<SessionId, std::unique_ptr<CvNbtSession>> m_sessions;
    std::deque<PostedListen> m_listens;
    SessionId m_nextId = 1;
};
