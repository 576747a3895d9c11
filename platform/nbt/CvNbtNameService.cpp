#include "platform/nbt/CvNbtNameService.h"

#include <algorithm>

#include "platform/nbt/NbtNamePacketBuilder.h"
#include "platform/nbt/NbtNbAddress.h"

namespace {

// How long others may keep our address for a name; nothing here refreshes.
constexpr uint32_t kAnswerTtlSeconds = 300000;

bool IsWildcard(const NbtName& name) {
    return name.Raw()[0] == '*';
}

uint16_t NbFlags(bool group) {
    return static_cast<uint16_t>((group ? kNbFlagGroup : 0) | kNbFlagOntB);
}

}  // namespace

void CvNbtNameService::OnReadable() {
    CvNbtUdpPacket from;
    for (int read = 0; read < kReceiveBatch && m_context.nameSocket.Receive(from); ++read) {
        if (m_context.IsOwnAddress(from.sourceIp) && from.sourcePort == m_context.ports.name) {
            continue;  // our own broadcast, looped back
        }
        auto decoded = NbtNamePacket::Decode(from.data);
        if (!decoded) {
            continue;
        }
        const NbtNamePacket& packet = decoded.Value();
        CvNbtAdapter* adapter = m_context.AdapterForPacket(from);
        if (!packet.IsResponse()) {
            if (adapter != nullptr) {
                HandleRequest(*adapter, packet, from);
            }
            continue;
        }
        if (adapter != nullptr && packet.Opcode() == kNbtOpRegistration &&
            packet.Rcode() == kNbtRcodeCftErr && HandleConflictDemand(*adapter, packet)) {
            continue;
        }
        auto owner = m_byTrnId.find(packet.trnId);
        if (owner == m_byTrnId.end()) {
            continue;
        }
        const TransactionId id = owner->second;
        auto it = m_transactions.find(id);
        if (it == m_transactions.end()) {
            continue;
        }
        if (it->second->answerFrom != 0 && from.sourceIp != it->second->answerFrom) {
            continue;  // someone else answering a question put to one station
        }
        auto completion = it->second->onResponse(packet);
        if (completion) {
            Take(id);
            completion();
        }
    }
}

void CvNbtNameService::HandleRequest(CvNbtAdapter& adapter, const NbtNamePacket& packet,
                                     const CvNbtUdpPacket& from) {
    if (packet.questions.empty()) {
        return;
    }
    switch (packet.Opcode()) {
        case kNbtOpQuery:
            HandleQuery(adapter, packet, from);
            break;
        case kNbtOpRegistration:
            HandleRegistration(adapter, packet, from);
            break;
        default:
            // Releases and refreshes of other stations' names: nothing is cached.
            break;
    }
}

void CvNbtNameService::HandleQuery(CvNbtAdapter& adapter, const NbtNamePacket& packet,
                                   const CvNbtUdpPacket& from) {
    const NbtQuestion& question = packet.questions.front();
    const CvNbtNameEntry* entry = adapter.names.Find(question.name);
    const bool ours = entry != nullptr && entry->state == CvNbtNameEntry::State::Active;
    // "*<00>" stands for the whole node, as other B-nodes treat it.
    const bool wildcard =
        IsWildcard(question.name) && question.name.Suffix() == 0 && adapter.names.HasActiveNames();
    if (question.type == kNbtTypeNbstat) {
        if (!ours && !wildcard) {
            return;
        }
        const auto names = adapter.names.StatusEntries();
        Send(adapter,
             NbtNamePacketBuilder::NodeStatusResponse(packet.trnId, question.name, names,
                                                      adapter.unitId),
             from.sourceIp, from.sourcePort);
        return;
    }
    if (question.type != kNbtTypeNb || (!ours && !wildcard)) {
        return;  // never a negative answer: other stations may hold the name
    }
    const NbtNbAddress address{NbFlags(ours && entry->group), adapter.ip.address};
    Send(adapter,
         NbtNamePacketBuilder::PositiveQueryResponse(packet.trnId, question.name, kAnswerTtlSeconds,
                                                     {&address, 1}),
         from.sourceIp, from.sourcePort);
}

void CvNbtNameService::HandleRegistration(CvNbtAdapter& adapter, const NbtNamePacket& packet,
                                          const CvNbtUdpPacket& from) {
    if (packet.additionals.empty()) {
        return;
    }
    const CvNbtNameEntry* entry = adapter.names.Find(packet.questions.front().name);
    if (entry == nullptr || entry->state != CvNbtNameEntry::State::Active) {
        return;
    }
    auto claimed = NbtNbAddress::DecodeList(packet.additionals.front().rdata);
    if (!claimed || claimed.Value().empty()) {
        return;
    }
    const bool groupClaim = (claimed.Value().front().flags & kNbFlagGroup) != 0;
    // Group members share the name; every other combination conflicts.
    if (groupClaim && entry->group) {
        return;
    }
    auto negative = NbtNamePacketBuilder::NegativeRegistrationResponse(packet);
    if (negative) {
        Send(adapter, negative.Value(), from.sourceIp, from.sourcePort);
    }
}

// A demand says that two stations answered a query for the name. In a
// B-node network it comes from the station that asked and saw both answers,
// not from the other holder, so its sender proves nothing, and anyone can
// send one. It is taken as a hint: we ask for the name ourselves and give it
// up only when another address answers for it within CONFLICT_TIMER. A forged
// demand then costs three broadcast queries and leaves the name alone.
bool CvNbtNameService::HandleConflictDemand(CvNbtAdapter& adapter, const NbtNamePacket& packet) {
    if (packet.answers.empty()) {
        return false;
    }
    const CvNbtNameEntry* entry = adapter.names.Find(packet.answers.front().name);
    // Group names cannot conflict; a name still registering is settled by
    // its registration.
    if (entry == nullptr || entry->group || entry->state != CvNbtNameEntry::State::Active) {
        return false;
    }
    CheckConflict(adapter, *entry);
    return true;
}

void CvNbtNameService::CheckConflict(CvNbtAdapter& adapter, const CvNbtNameEntry& entry) {
    const uint8_t lana = adapter.ip.lana;
    const uint8_t number = entry.number;
    if (m_conflictChecks.count({lana, number}) != 0) {
        return;
    }
    auto transaction = std::make_unique<Transaction>();
    if (!SetBroadcastQuery(*transaction, adapter, entry.name)) {
        return;
    }
    transaction->finalWaitMs =
        kConflictTimerMs - (kBcastReqRetryCount - 1) * kBcastReqRetryTimeoutMs;
    const uint32_t ownAddress = adapter.ip.address;
    const NbtName name = entry.name;
    transaction->onResponse = [=, this](const NbtNamePacket& response) {
        if (response.Opcode() != kNbtOpQuery || response.Rcode() != 0 || response.answers.empty() ||
            response.answers.front().type != kNbtTypeNb) {
            return Completion();
        }
        auto holders = NbtNbAddress::DecodeList(response.answers.front().rdata);
        if (!holders) {
            return Completion();
        }
        for (const auto& holder : holders.Value()) {
            if (holder.address != ownAddress) {
                return Completion([=, this] {
                    m_conflictChecks.erase({lana, number});
                    MarkConflict(lana, number, name);
                });
            }
        }
        return Completion();
    };
    transaction->onTimeout = [=, this] { m_conflictChecks.erase({lana, number}); };
    m_conflictChecks[{lana, number}] = StartTransaction(std::move(transaction));
}

void CvNbtNameService::MarkConflict(uint8_t lana, uint8_t number, const NbtName& name) {
    CvNbtAdapter* adapter = m_context.ResetAdapter(lana);
    CvNbtNameEntry* entry = adapter != nullptr ? adapter->names.FindNumber(number) : nullptr;
    // The name may have been deleted, or deleted and added again, meanwhile.
    if (entry == nullptr || entry->name != name || entry->group ||
        entry->state != CvNbtNameEntry::State::Active) {
        return;
    }
    entry->state = CvNbtNameEntry::State::Conflict;
    if (m_onConflict) {
        m_onConflict(*adapter, *entry);
    }
}

void CvNbtNameService::ForgetAdapter(uint8_t lana) {
    for (auto it = m_conflictChecks.begin(); it != m_conflictChecks.end();) {
        if (it->first.first == lana) {
            Take(it->second);
            it = m_conflictChecks.erase(it);
        } else {
            ++it;
        }
    }
}

void CvNbtNameService::Send(const CvNbtAdapter& adapter, const NbtNamePacket& packet, uint32_t ip,
                            uint16_t port) {
    auto bytes = packet.Encode();
    if (bytes) {
        m_context.nameSocket.Send(bytes.Value(), ip, port, adapter.ip.address,
                                  adapter.ip.interfaceIndex);
    }
}

CvNbtNameService::TransactionId CvNbtNameService::Register(CvNbtAdapter& adapter,
                                                           const CvNbtNameEntry& entry,
                                                           RegisterDone done) {
    auto transaction = std::make_unique<Transaction>();
    const uint16_t registrationId = FreshTrnId();
    const uint16_t queryId = FreshTrnId({registrationId});
    const bool group = entry.group;
    auto registration = NbtNamePacketBuilder::RegistrationRequest(
                            registrationId, entry.name, NbFlags(group), adapter.ip.address)
                            .Encode();
    auto query = NbtNamePacketBuilder::NameQueryRequest(queryId, entry.name, true).Encode();
    if (registration) {
        transaction->packets.push_back(std::move(registration).Value());
    }
    if (query) {
        transaction->packets.push_back(std::move(query).Value());
    }
    transaction->trnIds = {registrationId, queryId};
    transaction->destination = adapter.ip.broadcast;
    transaction->sourceIp = adapter.ip.address;
    transaction->interfaceIndex = adapter.ip.interfaceIndex;
    transaction->sendsLeft = kBcastReqRetryCount;
    transaction->intervalMs = kBcastReqRetryTimeoutMs;
    transaction->finalWaitMs =
        kRegistrationWaitMs - (kBcastReqRetryCount - 1) * kBcastReqRetryTimeoutMs;
    transaction->onResponse = [=](const NbtNamePacket& response) {
        if (response.trnId == registrationId) {
            // Any answer to a broadcast registration is a defence.
            if (response.Opcode() == kNbtOpRegistration && response.Rcode() != 0) {
                return Completion([=] { done(true); });
            }
            return Completion();
        }
        if (response.Opcode() != kNbtOpQuery || response.Rcode() != 0 || response.answers.empty() ||
            response.answers.front().type != kNbtTypeNb) {
            return Completion();
        }
        auto holders = NbtNbAddress::DecodeList(response.answers.front().rdata);
        if (!holders || holders.Value().empty()) {
            return Completion();
        }
        const bool heldAsGroup = (holders.Value().front().flags & kNbFlagGroup) != 0;
        if (group && heldAsGroup) {
            return Completion();  // another member of the group
        }
        return Completion([=] { done(true); });
    };
    transaction->onTimeout = [=] { done(false); };
    return StartTransaction(std::move(transaction));
}

bool CvNbtNameService::SetBroadcastQuery(Transaction& transaction, const CvNbtAdapter& adapter,
                                         const NbtName& name) const {
    const uint16_t trnId = FreshTrnId();
    auto query = NbtNamePacketBuilder::NameQueryRequest(trnId, name, true).Encode();
    if (query) {
        transaction.packets.push_back(std::move(query).Value());
    }
    transaction.trnIds = {trnId};
    transaction.destination = adapter.ip.broadcast;
    transaction.sourceIp = adapter.ip.address;
    transaction.interfaceIndex = adapter.ip.interfaceIndex;
    transaction.sendsLeft = kBcastReqRetryCount;
    transaction.intervalMs = kBcastReqRetryTimeoutMs;
    return static_cast<bool>(query);
}

void CvNbtNameService::Release(CvNbtAdapter& adapter, const CvNbtNameEntry& entry) {
    const auto packet = NbtNamePacketBuilder::ReleaseRequest(
        CvNbtContext::RandomTransactionId(), entry.name, NbFlags(entry.group), adapter.ip.address);
    // Every copy is sent now: the adapter may be gone by the time a timer fires.
    for (int i = 0; i < kBcastReqRetryCount; ++i) {
        Send(adapter, packet, adapter.ip.broadcast, m_context.ports.name);
    }
}

CvNbtNameService::TransactionId CvNbtNameService::Resolve(CvNbtAdapter& adapter,
                                                          const NbtName& name, ResolveDone done) {
    auto transaction = std::make_unique<Transaction>();
    const CvNbtNameEntry* local = adapter.names.Find(name);
    if (local != nullptr && local->state == CvNbtNameEntry::State::Active) {
        const CvNbtResolved resolved{adapter.ip.address, local->group};
        transaction->onResponse = [](const NbtNamePacket&) { return Completion(); };
        transaction->onTimeout = [=] { done(resolved); };
        return StartTransaction(std::move(transaction));
    }
    SetBroadcastQuery(*transaction, adapter, name);
    transaction->finalWaitMs = kBcastReqRetryTimeoutMs;
    transaction->onResponse = [=](const NbtNamePacket& response) {
        if (response.Opcode() != kNbtOpQuery || response.Rcode() != 0 || response.answers.empty() ||
            response.answers.front().type != kNbtTypeNb) {
            return Completion();
        }
        auto holders = NbtNbAddress::DecodeList(response.answers.front().rdata);
        if (!holders || holders.Value().empty()) {
            return Completion();
        }
        const NbtNbAddress& first = holders.Value().front();
        const CvNbtResolved resolved{first.address, (first.flags & kNbFlagGroup) != 0};
        return Completion([=] { done(resolved); });
    };
    transaction->onTimeout = [=] { done(std::nullopt); };
    return StartTransaction(std::move(transaction));
}

CvNbtNameService::TransactionId CvNbtNameService::NodeStatus(CvNbtAdapter& adapter,
                                                             uint32_t address, StatusDone done) {
    auto transaction = std::make_unique<Transaction>();
    const uint16_t trnId = FreshTrnId();
    auto request = NbtNamePacketBuilder::NodeStatusRequest(trnId).Encode();
    if (request) {
        transaction->packets.push_back(std::move(request).Value());
    }
    transaction->trnIds = {trnId};
    transaction->destination = address;
    transaction->answerFrom = address;
    transaction->sourceIp = adapter.ip.address;
    transaction->interfaceIndex = adapter.ip.interfaceIndex;
    transaction->sendsLeft = kUcastReqRetryCount;
    transaction->intervalMs = kStatusIntervalMs;
    transaction->finalWaitMs = kStatusIntervalMs;
    transaction->onResponse = [=](const NbtNamePacket& response) {
        if (response.Opcode() != kNbtOpQuery || response.Rcode() != 0 || response.answers.empty() ||
            response.answers.front().type != kNbtTypeNbstat) {
            return Completion();
        }
        auto status = NbtNodeStatus::Decode(response.answers.front().rdata);
        if (!status) {
            return Completion();
        }
        return Completion([=, value = std::move(status).Value()] { done(value); });
    };
    transaction->onTimeout = [=] { done(std::nullopt); };
    return StartTransaction(std::move(transaction));
}

void CvNbtNameService::Cancel(TransactionId id) {
    Take(id);
}

uint16_t CvNbtNameService::FreshTrnId(std::initializer_list<uint16_t> taken) const {
    for (;;) {
        const uint16_t id = CvNbtContext::RandomTransactionId();
        if (m_byTrnId.count(id) == 0 && std::find(taken.begin(), taken.end(), id) == taken.end()) {
            return id;
        }
    }
}

CvNbtNameService::TransactionId CvNbtNameService::StartTransaction(
    std::unique_ptr<Transaction> transaction) {
    const TransactionId id = m_nextId++;
    for (uint16_t trnId : transaction->trnIds) {
        m_byTrnId[trnId] = id;
    }
    m_transactions[id] = std::move(transaction);
    // The first round runs from the loop, so done never runs inside the call.
    m_transactions[id]->timer = m_context.loop.AddTimer(0, [this, id] { SendRound(id); });
    return id;
}

void CvNbtNameService::SendRound(TransactionId id) {
    auto it = m_transactions.find(id);
    if (it == m_transactions.end()) {
        return;
    }
    Transaction& transaction = *it->second;
    if (transaction.sendsLeft <= 0) {
        // The last wait is over: nobody answered.
        auto taken = Take(id);
        taken->onTimeout();
        return;
    }
    for (const auto& bytes : transaction.packets) {
        m_context.nameSocket.Send(bytes, transaction.destination, m_context.ports.name,
                                  transaction.sourceIp, transaction.interfaceIndex);
    }
    --transaction.sendsLeft;
    const int wait = transaction.sendsLeft > 0 ? transaction.intervalMs : transaction.finalWaitMs;
    if (transaction.packets.empty()) {
        transaction.sendsLeft = 0;
    }
    transaction.timer = m_context.loop.AddTimer(wait, [this, id] { SendRound(id); });
}

std::unique_ptr<CvNbtNameService::Transaction> CvNbtNameService::Take(TransactionId id) {
    auto it = m_transactions.find(id);
    if (it == m_transactions.end()) {
        return nullptr;
    }
    auto transaction = std::move(it->second);
    m_transactions.erase(it);
    m_context.loop.CancelTimer(transaction->timer);
    for (uint16_t trnId : transaction->trnIds) {
        m_byTrnId.erase(trnId);
    }
    return transaction;
}
