#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/CvNetbiosProvider.h"

class CvVirtualLan;

// One station of a CvVirtualLan, seen through the NetBIOS provider interface.
// It has a set of adapters (LANA numbers), each attached to a segment of the
// LAN; adapters can be attached and detached while commands run. All methods
// are thread-safe.
//
// Behaviour, per command (codes from CvNcb.h):
//
// Any command naming an adapter that is not attached returns kNrcBridge.
// Adapters start with room for 254 names and 254 sessions; kNcbReset is not
// required before use.
//
// Asynchronous commands (kNcbAsync) return kNrcPending and complete through
// retcode, cmdCplt and the event, even when they finish at once. Requests
// that are rejected outright (no such adapter, bad buffer, unknown name,
// name number or session number) return the error code instead; retcode and
// cmdCplt hold it and the event is set as well, so a caller that only waits
// on the event never hangs. Synchronous commands block until they complete.
//
// kNcbEnum           attached adapter numbers in ascending order (count in
//                    byte 0); kNrcBufLen without a buffer.
// kNcbReset          drops the adapter's names and sessions (peers see
//                    kNrcSClosed) and ends its pending commands with
//                    kNrcCmdCan; callname[0] / [2] set the session / name
//                    limits (0 = 254, at most 254).
// kNcbAddName        kNrcNoWild for a name starting with '*' or NUL,
// kNcbAddGroupName   kNrcDupName if this adapter holds it already,
//                    kNrcInUse if another adapter on the segment holds it as
//                    unique, or holds it at all when adding a unique name
//                    (group + group is fine), kNrcNamTFul when the table is
//                    full. Sets num (1..254, handed out round robin).
// kNcbDeleteName     kNrcNoWild for a name not in the table. Pending listens
//                    and datagram receives on it end with kNrcNamErr; its
//                    sessions are hung up.
// kNcbListen         name must be in the table (kNrcNoWild). callname "*..."
//                    accepts any caller, otherwise only that caller name.
//                    Stays pending until a call arrives: lsn and callname
//                    (the caller's name field) are filled in. No time-out.
// kNcbCall           name must be in the table (kNrcNoWild). Finds an adapter
//                    on the segment (this station included) holding callname
//                    with a matching listen posted, oldest listen first;
//                    otherwise kNrcNoCall at once, whether or not the name
//                    exists. kNrcLocTFul / kNrcRemTFul when a session table
//                    is full. rto and sto of the call and of the listen become
//                    the time-outs of each side's session.
// kNcbSend           one message of `length` bytes (0 allowed); completes at
//                    once. kNrcSnumOut for an unknown lsn, the close code on a
//                    session the peer ended.
// kNcbRecv           the next message. Fits: kNrcGoodRet, length = its size.
//                    Larger than the buffer: the buffer is filled,
//                    kNrcIncomp, and the rest comes with the next receive.
//                    Waits up to the session's rto (set by the call or listen,
//                    as on Windows; the receive NCB's own rto is not used;
//                    0 = forever), then kNrcCmdTmo and the session stays open.
//                    Messages sent before the peer hung up are still
//                    delivered; after them receives end with kNrcSClosed
//                    (kNrcSAbort when the peer's adapter vanished).
// kNcbHangUp         ends the session on both sides; pending receives on
//                    either side end with kNrcSClosed. On a session the peer
//                    already ended it returns the close code and frees lsn.
// kNcbSendDatagram   num must be ours (kNrcIllNn); over 512 bytes kNrcBufLen.
//                    Delivered to every adapter on the segment holding
//                    callname (this station included), each to its oldest
//                    pending receive for that name or for any name (num
//                    0xFF); with none pending it is dropped.
//                    A datagram that finds no receive waits in a backlog of
//                    the adapter (at most kBacklogDatagrams, each at most
//                    kBacklogAge) for the next matching receive, so that
//                    datagrams sent back to back are not lost while the
//                    receiver re-posts.
// kNcbRecvDatagram   num: a name number of ours (kNrcIllNn) or 0xFF. length =
//                    datagram size and callname = sender's name; a larger
//                    datagram is cut to the buffer with kNrcIncomp. No
//                    time-out.
// kNcbAdapterStatus  callname "*..." asks this adapter, otherwise the adapter
//                    on the segment holding callname (this station included).
//                    Fills the buffer with the ADAPTER_STATUS layout (see
//                    CvAdapterStatus; kNrcIncomp when cut). No holder:
//                    kNrcCmdTmo at once.
// kNcbCancel         cancelTarget pending on this adapter: it ends with
//                    kNrcCmdCan (event set) and Cancel returns kNrcGoodRet;
//                    otherwise kNrcCanOccr (kNrcCancel for a null target).
//
// A name in conflict (InjectConflict) stays in its table but is no longer
// found by other adapters: calls and datagrams do not reach it, and other
// stations may add it. Its own status shows it as a duplicate (state 0x06);
// listens, datagram receives, calls and datagrams on it end with
// kNrcNamConf. Deleting it ends the conflict.
//
// Detaching an adapter removes its names and sessions (peers see kNrcSAbort)
// and ends its pending commands with kNrcBridge; so does destroying the
// station, which must not happen while a thread is inside its Submit.
class CvVirtualStation : public CvNetbiosProvider {
public:
    static constexpr size_t kBacklogDatagrams = 64;
    static constexpr std::chrono::seconds kBacklogAge{10};

    explicit CvVirtualStation(CvVirtualLan& lan);
    ~CvVirtualStation() override;
    CvVirtualStation(const CvVirtualStation&) = delete;
    CvVirtualStation& operator=(const CvVirtualStation&) = delete;

    uint8_t Submit(CvNcb& ncb) override;

    // False if the adapter number is already attached. A re-attached
    // adapter starts empty.
    bool AttachAdapter(uint8_t lana, int segment);
    // False if it was not attached.
    bool DetachAdapter(uint8_t lana);

    // The next `count` submissions of `command` (the asynchronous bit is
    // ignored) after the next `skip` ones fail with `code` without any
    // effect, through the normal completion path. A later call replaces an
    // earlier one for that command.
    void InjectFailure(uint8_t command, uint8_t code, int count, int skip = 0);

    // Puts (name, suffix) on `lana` in conflict, as a name conflict demand
    // from another station would: its pending listens and datagram receives
    // end with kNrcNamConf at once. `name` is OEM bytes, padded with spaces.
    // False when the adapter does not hold the name.
    bool InjectConflict(uint8_t lana, const std::string& name, uint8_t suffix);

    // The hardware address this station's adapter reports in its status.
    std::array<uint8_t, 6> Mac(uint8_t lana) const;

private:
    friend class CvVirtualLan;
    using Clock = std::chrono::steady_clock;
    using Name16 = std::array<uint8_t, 16>;

    struct NameEntry {
        Name16 name;
        uint8_t number;
        bool group;
        bool conflict = false;
    };
    struct Message {
        std::vector<uint8_t> data;
        size_t offset = 0;  // bytes already handed out by an incomplete receive
    };
    struct Session {
        uint8_t lsn = 0;
        Name16 localName{};
        Name16 remoteName{};
        CvVirtualStation* peer = nullptr;  // null once ended
        uint8_t peerLana = 0;
        uint8_t peerLsn = 0;
        std::deque<Message> inbox;
        uint8_t closeCode = 0;  // 0 while open
        uint8_t rto = 0;
    };
    struct Pending {
        CvNcb* ncb;
        uint8_t command;  // without the asynchronous bit
        bool async;
        std::optional<Clock::time_point> deadline;
    };
    // A datagram that found no receive posted for its name.
    struct Backlogged {
        uint8_t number;  // the receiving name's number
        Name16 name;     // and the name, so a reused number does not match
        Name16 sender;
        std::vector<uint8_t> data;
        Clock::time_point arrival;
    };
    struct Adapter {
        uint8_t lana = 0;
        int segment = 0;
        std::vector<NameEntry> names;
        uint8_t lastNameNumber = 0;
        size_t maxNames = 254;
        std::map<uint8_t, Session> sessions;
        uint8_t lastLsn = 0;
        size_t maxSessions = 254;
        std::list<Pending> pending;      // in posting order
        std::deque<Backlogged> backlog;  // oldest first
    };
    struct Injection {
        uint8_t code;
        int count;
        int skip;
    };
    // What a command handler decided.
    struct Outcome {
        enum Kind { kDone, kRejected, kPending } kind;
        uint8_t code;
    };
    static Outcome Done(uint8_t code) { return {Outcome::kDone, code}; }
    static Outcome Rejected(uint8_t code) { return {Outcome::kRejected, code}; }
    static Outcome Queued() { return {Outcome::kPending, kNrcPending}; }

    Outcome Dispatch(uint8_t command, bool async, CvNcb& ncb);
    Outcome Enumerate(CvNcb& ncb);
    Outcome Reset(Adapter& adapter, CvNcb& ncb);
    Outcome AddName(Adapter& adapter, CvNcb& ncb, bool group);
    Outcome DeleteName(Adapter& adapter, CvNcb& ncb);
    Outcome Listen(Adapter& adapter, CvNcb& ncb, bool async);
    Outcome Call(Adapter& adapter, CvNcb& ncb);
    Outcome Send(Adapter& adapter, CvNcb& ncb);
    Outcome Receive(Adapter& adapter, CvNcb& ncb, bool async);
    Outcome HangUp(Adapter& adapter, CvNcb& ncb);
    Outcome SendDatagram(Adapter& adapter, CvNcb& ncb);
    Outcome ReceiveDatagram(Adapter& adapter, CvNcb& ncb, bool async);
    Outcome AdapterStatus(Adapter& adapter, CvNcb& ncb);
    Outcome Cancel(Adapter& adapter, CvNcb& ncb);

    // Everything below runs under the LAN's lock.
    Adapter* FindAdapter(uint8_t lana);
    static NameEntry* FindName(Adapter& adapter, const Name16& name);
    // The name as other adapters see it: not found while in conflict.
    static NameEntry* FindActiveName(Adapter& adapter, const Name16& name);
    static NameEntry* FindNumber(Adapter& adapter, uint8_t number);
    // Adapters on `segment` of every station, in station then LANA order.
    std::vector<std::pair<CvVirtualStation*, Adapter*>> SegmentAdapters(int segment) const;
    static uint8_t NextNumber(uint8_t& last, const std::vector<uint8_t>& used);
    // Stores the result, sets the event of an asynchronous command and wakes
    // synchronous waiters.
    void Complete(CvNcb& ncb, uint8_t code, bool async);
    // Returns the item after the completed one.
    std::list<Pending>::iterator CompletePending(Adapter& adapter,
                                                 std::list<Pending>::iterator item, uint8_t code);
    void CompleteAllPending(Adapter& adapter, uint8_t code);
    // Hands queued messages (or the close code) to pending receives.
    void DeliverToReceives(Adapter& adapter, Session& session);
    // Ends a session on this side with `code` and on the peer's with `peerCode`.
    void EndSession(Adapter& adapter, uint8_t lsn, uint8_t code, uint8_t peerCode);
    void MarkClosedByPeer(uint8_t lana, uint8_t lsn, uint8_t code);
    void DropAdapter(Adapter& adapter, uint8_t pendingCode, uint8_t peerCode);
    // Ends receives whose deadline passed; returns the next deadline.
    std::optional<Clock::time_point> ExpireLocked(Clock::time_point now);

    static uint32_t NewId(CvVirtualLan& lan);

    CvVirtualLan& m_lan;
    const uint32_t m_id;
    std::map<uint8_t, Adapter> m_adapters;
    std::map<uint8_t, Injection> m_injections;
};
