#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
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
// - node status: up to 3 unicast requests 1 s apart, then 1 s of waiting.
class CvNbtNameService {
public:
    using TransactionId = uint64_t;
    using RegisterDone = std::function<void(bool defended)>;
    using ResolveDone = std::function<void(std::optional<CvNbtResolved>)>;
    using StatusDone = std::function<void(std::optional<NbtNodeStatus>)>;

    static constexpr int kRegistrationWaitMs = 1000;
    static constexpr int kStatusIntervalMs = 1000;

    explicit CvNbtNameService(CvNbtContext& context) : m_context(context) {}

    // Drains the name socket; malformed packets are dropped.
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

private:
    using Completion = std::function<void()>;
    struct Transaction {
        std::vector<uint16_t> trnIds;
        std::vector<NbtBytes> packets;
        uint32_t destination = 0;
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
    void HandleConflictDemand(CvNbtAdapter& adapter, const NbtNamePacket& packet);

    CvNbtContext& m_context;
    std::map<TransactionId, std::unique_ptr<Transaction>> m_transactions;
    std::map<uint16_t, TransactionId> m_byTrnId;
    TransactionId m_nextId = 1;
};
