#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CvFunction.h"
#include "messaging/CMsg.h"
#include "messaging/CvMsgOutboxSendResult.h"
#include "messaging/CvStationSettings.h"

class CNetbiosMailslots;
class CvMailslotProvider;
class CvMsgOutbox;
class CvMslotMessagingClient;
class CvNetbiosGate;
class CvNetbiosNetwork;
class CvNetbiosProvider;
class CvSmbMessagingClient;

// A messenger station: the network watch, the SMB and mailslot clients and
// the outbox, configured from the settings and started in that order; its
// personal names are the user and computer name, its group name the
// workgroup, as the settings enable them. Received messages of both clients
// go to one receiver (on transport threads).
//
// NetBIOS goes through a gate, so that Stop first cancels whatever a send or
// a port waits for on the network and then stops the parts in reverse order
// without waiting for time-outs. A station is started once; after Stop it
// sends nothing more.
class CvStation {
public:
    // On the given providers, which must outlive the station. `localMailslots`
    // holds this machine's mailslots; remote mailslot writes go over NetBIOS.
    CvStation(CvNetbiosProvider& netbios, CvMailslotProvider& localMailslots,
              CvStationSettings settings);
    // On this machine's NetBIOS-over-TCP/IP stack and Unix mailslots, owned
    // by the station.
    static std::unique_ptr<CvStation> CreateReal(CvStationSettings settings);
    ~CvStation();
    CvStation(const CvStation&) = delete;
    CvStation& operator=(const CvStation&) = delete;

    // Before Start: where received messages go (null drops them); the period
    // of the adapter watch and of the registration watches (5000 ms unless set).
    void SetReceiver(CvUnaryFunction<void, CMsg&>* receiver) { m_receiver = receiver; }
    // Told of every message the outbox sent successfully, on the send thread,
    // whoever queued it and whether or not it was withdrawn while it went
    // out, so that the station's owner files what went out; null = nobody.
    void SetSentReceiver(CvUnaryFunction<void, CMsg&>* receiver) { m_sentReceiver = receiver; }
    void SetWatchPeriod(uint32_t ms) { m_watchPeriodMs = ms; }

    // Creates nothing new after the first call or after Stop.
    void Start();
    // Cancels pending network commands, then stops the outbox, the mailslot
    // client, the SMB client, the adapter watch and the mailslot redirector.
    // A send in progress ends (with a failure code) and reports its result.
    // Idempotent; the destructor calls it.
    void Stop();
    bool IsRunning() const;

    // Queues a message in the outbox (see CvMsgOutbox::Enqueue); false, and
    // nothing queued, when the station does not run.
    bool Enqueue(const CMsg& msg, CvMsgOutboxReceiver* receiver, int32_t id);
    // See CvMsgOutbox::Withdraw; after it returns the receiver is not called
    // for `id`. A send already under way still goes out, and its success
    // still reaches the sent receiver. Harmless when the station does not run.
    void Withdraw(int32_t id);
    // All of `ids` at once (see CvMsgOutbox::Withdraw).
    void Withdraw(const std::vector<int32_t>& ids);

    struct Name {
        std::string name;
        int32_t kind = MsgPersonal;  // MsgPersonal, or MsgBroadcast for the group name
    };
    // The names the station registers, personal names first.
    std::vector<Name> Names() const;
    // CvNameState of a registered name (0 before Start or for other names).
    int32_t NameState(const Name& name) const;
    // True once every name is registered on every adapter (and there is at
    // least one adapter); false after `timeoutMs` or when stopped.
    bool WaitRegistered(uint32_t timeoutMs) const;
    // State of the local MESSNGR mailslot (CvMslotStateWatch: 0, 1, 3, 4).
    int32_t MailslotState() const;
    // Adapter numbers in use, in enumeration order.
    std::vector<uint8_t> Adapters() const;

    // Whether `name` (any case) is one this station can sign with: its user
    // or computer name. The upper-case form goes to `canonical`.
    bool IsOwnSender(const std::string& name, std::string* canonical = nullptr) const;

    // Take effect for the next send of both clients (MsgSendEnableMsgFragment,
    // MessagesLargeBcastEnabled changed while the station runs).
    void SetFragmentEnabled(bool enabled);
    void SetMaxBroadcastLength(uint32_t length);
    // The limits in force now: the settings', as changed since.
    bool FragmentEnabled() const { return m_fragmentEnabled; }
    uint32_t MaxBroadcastLength() const { return m_maxBroadcastLength; }
    // The text the clients put on the wire for `msg` with the limits in force
    // now: a personal text cut to 1600 code points, a broadcast as the
    // mailslot messages it is written in carry it (cut to the broadcast
    // limit and to what fits one message with the two names, or cut to 1600
    // code points when sent in parts). What is filed as sent.
    std::string SentText(const CMsg& msg) const;

    const CvStationSettings& Settings() const { return m_settings; }
    CvSmbMessagingClient& SmbClient() { return *m_smbClient; }
    CvNetbiosGate& Gate() { return *m_gate; }

private:
    CvStation(std::unique_ptr<CvNetbiosProvider> ownedNetbios,
              std::unique_ptr<CvMailslotProvider> ownedLocal, CvStationSettings settings);

    // Owned only by CreateReal's stations; declared first, destroyed last.
    std::unique_ptr<CvNetbiosProvider> m_ownedNetbios;
    std::unique_ptr<CvMailslotProvider> m_ownedLocal;

    const CvStationSettings m_settings;
    std::unique_ptr<CvNetbiosGate> m_gate;
    std::unique_ptr<CNetbiosMailslots> m_mailslots;
    std::unique_ptr<CvNetbiosNetwork> m_network;
    std::unique_ptr<CvSmbMessagingClient> m_smbClient;
    std::unique_ptr<CvMslotMessagingClient> m_mslotClient;
    std::unique_ptr<CvMsgOutbox> m_outbox;

    CvUnaryFunction<void, CMsg&>* m_receiver = nullptr;
    CvUnaryFunction<void, CMsg&>* m_sentReceiver = nullptr;
    uint32_t m_watchPeriodMs = 5000;
    std::atomic<bool> m_fragmentEnabled;
    std::atomic<uint32_t> m_maxBroadcastLength;

    mutable std::mutex m_stateLock;  // guards m_state
    // Held by Enqueue, Withdraw and while Stop destroys the outbox, so that a
    // Withdraw that returned is really final.
    std::mutex m_outboxLock;
    enum class State { Created, Running, Stopped } m_state = State::Created;
};
