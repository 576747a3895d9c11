#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/nbt/CvNbtContext.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtNamePacket.h"
#include "platform/nbt/NbtNodeStatus.h"

// Where a name was found by a query.
struct CvNbtResolved {
    uint32_t address = 0;  // host order
    bool group = false;
};

// The B-node name service on the shared UDP name socket: registers, defends,
// releases and resolves names, and answers queries and node status requests
// for the names in the adapters' tables. I/O thread only.
//
// Timing (sends are broadcasts, 250 ms apart, as RFC 1002 asks):
// - registration: 3 registration requests and one name query, then silence
//   until kRegistrationWaitMs after the first send means the name is ours;
// - resolution: up to 3 queries, the last answer awaited for 250 ms;
// - node status: up to 3 unicast requests 1 s apart, then 1 s of waiting;
// - conflict check: 3 queries for the contested name within CONFLICT_TIMER.
//
// Every request carries a random TRN_ID. An answer to a unicast request
// counts only when it comes from the address asked; answers to broadcasts may
// come from anyone.
class CvNbtNameService {
public:
    using TransactionId = uint64_t;
    using RegisterDone = std::function<void(bool defended)>;
    using ResolveDone = std::function<void(std::optional<CvNbtResolved>)>;
    using StatusDone = std::function<void(std::optional<NbtNodeStatus>)>;
    // Called when an active name of adapter has just been found in conflict
    // (its entry is already marked); not called for group names.
    using ConflictHandler = std::function<void(CvNbtAdapter& adapter, const CvNbtNameEntry& entry)>;

    static constexpr int kRegistrationWaitMs = 1000;
    static constexpr int kStatusIntervalMs = 1000;
    // Packets read per readiness of the socket, so that a flood cannot keep
    // the loop from its timers and other sockets.
    static constexpr int kReceiveBatch = 64;

    explicit CvNbtNameService(CvNbtContext& context) : m_context(context) {}

    void SetConflictHandler(ConflictHandler handler) { m_onConflict = std::move(handler); }

    // Reads at most kReceiveBatch packets; malformed ones are dropped.
    void OnReadable();

    // Claims entry's name on the segment; done(true) when another station
    // defends it or answers a query for it as a unique name.
    TransactionId Register(CvNbtAdapter& adapter, const CvNbtNameEntry& entry, RegisterDone done);
    // Broadcasts the release; no answer is expected.
    void Release(CvNbtAdapter& adapter, const CvNbtNameEntry& entry);
    // Finds the owner of name: our own table first, then broadcast queries.
    // done(nullopt) when nobody answers.
    TransactionId Resolve(CvNbtAdapter& adapter, const NbtName& name, ResolveDone done);
    // Asks the station at address for its name table.
    TransactionId NodeStatus(CvNbtAdapter& adapter, uint32_t address, StatusDone done);
    // Forgets a transaction; its callback will not run.
    void Cancel(TransactionId id);
    // The adapter is closing: its conflict checks stop.
    void ForgetAdapter(uint8_t lana);

private:
    using Completion = std::function<void()>;
    struct Transaction {
        std::vector<uint16_t> trnIds;
        std::vector<NbtBytes> packets;
        uint32_t destination = 0;
        // Set for unicast requests: answers from any other address are ignored.
        uint32_t answerFrom = 0;
        uint32_t sourceIp = 0;
        unsigned interfaceIndex = 0;
        int sendsLeft = 0;
        int intervalMs = 0;
        int finalWaitMs = 0;
        CvNbtIoLoop::TimerId timer = 0;
        // The completion to run when the response settles the transaction.
        std::function<Completion(const NbtNamePacket&)> onResponse;
        std::function<void()> onTimeout;
    };

    // A random TRN_ID that no running transaction uses and that is not in
    // taken (the ids of the transaction being built).
    uint16_t FreshTrnId(std::initializer_list<uint16_t> taken = {}) const;
    // Makes `transaction` a broadcast name query for `name` on the adapter,
    // sent kBcastReqRetryCount times; false when the query could not be
    // encoded (the transaction then sends nothing).
    bool SetBroadcastQuery(Transaction& transaction, const CvNbtAdapter& adapter,
                           const NbtName& name) const;
    TransactionId StartTransaction(std::unique_ptr<Transaction> transaction);
    void SendRound(TransactionId id);
    std::unique_ptr<Transaction> Take(TransactionId id);
    void Send(const CvNbtAdapter& adapter, const NbtNamePacket& packet, uint32_t ip, uint16_t port);

    void HandleRequest(CvNbtAdapter& adapter, const NbtNamePacket& packet,
                       const CvNbtUdpPacket& from);
    void HandleQuery(CvNbtAdapter& adapter, const NbtNamePacket& packet,
                     const CvNbtUdpPacket& from);
    void HandleRegistration(CvNbtAdapter& adapter, const NbtNamePacket& packet,
                            const CvNbtUdpPacket& from);
    // True when packet was a demand for one of adapter's active unique names.
    bool HandleConflictDemand(CvNbtAdapter& adapter, const NbtNamePacket& packet);
    void CheckConflict(CvNbtAdapter& adapter, const CvNbtNameEntry& entry);
    void MarkConflict(uint8_t lana, uint8_t number, const NbtName& name);

    CvNbtContext& m_context;
    std::map<TransactionId, std::unique_ptr<Transaction>> m_transactions;
    std::map<uint16_t, TransactionId> m_byTrnId;
    TransactionId m_nextId = 1;
    // Running conflict checks by (adapter, name number): one per name at a time.
    std::map<std::pair<uint8_t, uint8_t>, TransactionId> m_conflictChecks;
    ConflictHandler m_onConflict;
};
