#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>

#include "platform/CvNcb.h"
#include "platform/nbt/CvNbtContext.h"
#include "platform/nbt/CvNbtHandshakeGate.h"
#include "platform/nbt/CvNbtNameService.h"
#include "platform/nbt/CvNbtSession.h"
#include "platform/nbt/CvNbtSessionLimits.h"
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
//
// Resource limits (CvNbtSessionLimits): a session's socket is read only
// while the session has room for what it received, so a peer that sends
// faster than receives are posted is held back by TCP flow control; one that
// stays at its bound for stallMs is hung up, and commands on it complete with
// kNrcSAbort. Incoming handshakes are capped in total and per address (a
// refused caller gets a NEGATIVE SESSION RESPONSE 0x83), and the listeners
// rest for acceptBackoffMs when accept runs out of descriptors.
class CvNbtSessionService {
public:
    static constexpr int kDefaultHandshakeMs = 10000;

    CvNbtSessionService(CvNbtContext& context, CvNbtNameService& names,
                        CvNbtSessionLimits limits = {});
    ~CvNbtSessionService();

    // Binds and watches the adapter's listener; 0 or an errno.
    int OpenListener(CvNbtAdapter& adapter);

    void Call(CvNbtAdapter& adapter, CvNcb& ncb);
    void Listen(CvNbtAdapter& adapter, CvNcb& ncb);
    void Send(CvNbtAdapter& adapter, CvNcb& ncb);
    void Receive(CvNbtAdapter& adapter, CvNcb& ncb);
    void HangUp(CvNbtAdapter& adapter, CvNcb& ncb);
    // The name was deleted (or lost in a conflict): its listens complete
    // with code.
    void DropName(uint8_t lana, const NbtName& name, uint8_t code = kNrcNamErr);
    // Closes every session and finishes the commands on them with code.
    void CloseAll(uint8_t code);
    // Closes every session of the adapter, also calls still being made and
    // callers still in their handshake, as hang-ups do.
    void CloseAdapter(uint8_t lana);

    // Received bytes that all sessions hold and no receive has taken yet.
    size_t HeldBytes() const { return m_heldBytes; }
    // Incoming connections still in their session handshake.
    size_t Handshakes() const { return m_handshakes.Count(); }

private:
    using SessionId = uint64_t;
    struct PostedListen {
        uint8_t lana = 0;
        CvNcb* ncb = nullptr;
    };
    // How much a session may read now.
    struct Room {
        size_t bytes = 0;
        bool atOwnBound = false;  // its own bound is reached
        bool starved = false;     // only the total keeps it from reading
    };

    SessionId AddSession(std::unique_ptr<CvNbtSession> session);
    CvNbtSession* Find(SessionId id);
    CvNbtSession* FindLsn(uint8_t lana, uint8_t lsn, SessionId* id = nullptr);
    uint8_t FreeLsn(uint8_t lana) const;
    void Watch(SessionId id);
    void UpdateEvents(SessionId id);
    void OnAccept(uint8_t lana);
    void AdmitCaller(uint8_t lana, int fd, uint32_t address);
    void PauseListeners();
    void SetListenerEvents(short events);
    void OnSessionEvent(SessionId id, short revents);
    Room RoomFor(const CvNbtSession& session) const;
    // Frames what was read, delivers it and, with readSocket, reads on while
    // the session has room.
    void Pump(SessionId id, bool readSocket);
    // Takes the complete frames out of the reader while the session may
    // queue more. False once the session ended or moved to a new socket.
    bool Dispatch(SessionId id);
    // Lets sessions that only the total held back read again.
    void ResumeStarved();
    void OnStalled(SessionId id);
    void HandleIncomingRequest(SessionId id, const NbtSessionFrame& frame);
    void HandleCallResponse(SessionId id, const NbtSessionFrame& frame);
    bool Connect(CvNbtSession& session, uint32_t address, uint16_t port, uint32_t sourceIp);
    void StartCall(uint8_t lana, CvNcb& ncb, uint32_t address);
    void FinishCall(SessionId id, uint8_t code);
    void Reject(SessionId id, uint8_t error);
    void DeliverMessages(CvNbtSession& session);
    void CompleteSends(CvNbtSession& session);
    // The connection is gone: fail the waiting commands with code (and so
    // the later ones), keep the session for its hang-up (or drop it while it
    // is still handshaking).
    void MarkClosed(SessionId id, uint8_t code = kNrcSClosed);
    void Destroy(SessionId id);

    CvNbtContext& m_context;
    CvNbtNameService& m_names;
    const CvNbtSessionLimits m_limits;
    // Declared before the sessions, which count into it until destroyed.
    size_t m_heldBytes = 0;
    std::map<SessionId, std::unique_ptr<CvNbtSession>> m_sessions;
    std::set<SessionId> m_starved;
    CvNbtHandshakeGate m_handshakes;
    CvNbtIoLoop::TimerId m_listenerPause = 0;
    std::deque<PostedListen> m_listens;
    SessionId m_nextId = 1;
};
