#include "platform/CvVirtualStation.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/CvAdapterStatus.h"
#include "platform/CvEvent.h"
#include "platform/CvVirtualLan.h"

namespace {

constexpr size_t kMaxTableSize = 254;
constexpr uint16_t kMaxDatagramLength = 512;
constexpr uint8_t kAnyName = 0xFF;
// Adapter status state of a name in conflict (DUPLICATE).
constexpr uint8_t kNameStateDuplicate = 0x06;

bool IsWildcard(const uint8_t (&field)[16]) {
    return field[0] == '*';
}

bool SameName(const std::array<uint8_t, 16>& name, const uint8_t (&field)[16]) {
    return std::memcmp(name.data(), field, 16) == 0;
}

std::array<uint8_t, 16> ToName(const uint8_t (&field)[16]) {
    std::array<uint8_t, 16> name;
    std::memcpy(name.data(), field, 16);
    return name;
}

size_t TableLimit(uint8_t requested) {
    return requested == 0 ? kMaxTableSize : std::min<size_t>(requested, kMaxTableSize);
}

}  // namespace

uint32_t CvVirtualStation::NewId(CvVirtualLan& lan) {
    std::lock_guard lock(lan.m_lock);
    return lan.m_nextStationId++;
}

CvVirtualStation::CvVirtualStation(CvVirtualLan& lan) : m_lan(lan), m_id(NewId(lan)) {
    std::lock_guard lock(m_lan.m_lock);
    m_lan.m_stations.push_back(this);
}

CvVirtualStation::~CvVirtualStation() {
    std::lock_guard lock(m_lan.m_lock);
    for (auto& [lana, adapter] : m_adapters) {
        DropAdapter(adapter, kNrcBridge, kNrcSAbort);
    }
    std::erase(m_lan.m_stations, this);
}

bool CvVirtualStation::AttachAdapter(uint8_t lana, int segment) {
    std::lock_guard lock(m_lan.m_lock);
    if (m_adapters.contains(lana)) {
        return false;
    }
    Adapter& adapter = m_adapters[lana];
    adapter.lana = lana;
    adapter.segment = segment;
    return true;
}

bool CvVirtualStation::DetachAdapter(uint8_t lana) {
    std::lock_guard lock(m_lan.m_lock);
    Adapter* adapter = FindAdapter(lana);
    if (adapter == nullptr) {
        return false;
    }
    DropAdapter(*adapter, kNrcBridge, kNrcSAbort);
    m_adapters.erase(lana);
    return true;
}

void CvVirtualStation::InjectFailure(uint8_t command, uint8_t code, int count, int skip) {
    std::lock_guard lock(m_lan.m_lock);
    const uint8_t plain = command & static_cast<uint8_t>(~kNcbAsync);
    if (count <= 0) {
        m_injections.erase(plain);
    } else {
        m_injections[plain] = {code, count, skip > 0 ? skip : 0};
    }
}

bool CvVirtualStation::InjectConflict(uint8_t lana, const std::string& name, uint8_t suffix) {
    std::lock_guard lock(m_lan.m_lock);
    Adapter* adapter = FindAdapter(lana);
    if (adapter == nullptr) {
        return false;
    }
    uint8_t field[16];
    CvSetNetbiosName(field, name.data(), name.size(), suffix);
    NameEntry* entry = FindName(*adapter, ToName(field));
    if (entry == nullptr) {
        return false;
    }
    entry->conflict = true;
    for (auto item = adapter->pending.begin(); item != adapter->pending.end();) {
        const bool onName =
            (item->command == kNcbListen && SameName(entry->name, item->ncb->name)) ||
            (item->command == kNcbRecvDatagram && item->ncb->num == entry->number);
        item = onName ? CompletePending(*adapter, item, kNrcNamConf) : std::next(item);
    }
    return true;
}

std::array<uint8_t, 6> CvVirtualStation::Mac(uint8_t lana) const {
    // Locally administered, unique per station and adapter, stable for a run.
    return {0x02,
            0x00,
            static_cast<uint8_t>(m_id >> 16),
            static_cast<uint8_t>(m_id >> 8),
            static_cast<uint8_t>(m_id),
            lana};
}

uint8_t CvVirtualStation::Submit(CvNcb& ncb) {
    const uint8_t command = ncb.command & static_cast<uint8_t>(~kNcbAsync);
    const bool async = (ncb.command & kNcbAsync) != 0;
    std::unique_lock lock(m_lan.m_lock);
    ncb.retcode = kNrcPending;
    ncb.cmdCplt = kNrcPending;

    Outcome outcome = Queued();
    auto injection = m_injections.find(command);
    if (injection != m_injections.end() && injection->second.skip > 0) {
        --injection->second.skip;
        injection = m_injections.end();
    }
    if (injection != m_injections.end()) {
        outcome = Done(injection->second.code);
        if (--injection->second.count <= 0) {
            m_injections.erase(injection);
        }
    } else {
        outcome = Dispatch(command, async, ncb);
    }

    switch (outcome.kind) {
        case Outcome::kDone:
            Complete(ncb, outcome.code, async);
            return async ? kNrcPending : outcome.code;
        case Outcome::kRejected:
            Complete(ncb, outcome.code, async);
            return outcome.code;
        case Outcome::kPending:
            break;
    }
    if (async) {
        return kNrcPending;
    }
    m_lan.m_completed.wait(lock, [&] { return ncb.cmdCplt.load() != kNrcPending; });
    return ncb.retcode;
}

CvVirtualStation::Outcome CvVirtualStation::Dispatch(uint8_t command, bool async, CvNcb& ncb) {
    if (command == kNcbEnum) {
        return Enumerate(ncb);
    }
    Adapter* adapter = FindAdapter(ncb.lana);
    if (adapter == nullptr) {
        return Rejected(kNrcBridge);
    }
    switch (command) {
        case kNcbReset:
            return Reset(*adapter, ncb);
        case kNcbAddName:
            return AddName(*adapter, ncb, false);
        case kNcbAddGroupName:
            return AddName(*adapter, ncb, true);
        case kNcbDeleteName:
            return DeleteName(*adapter, ncb);
        case kNcbListen:
            return Listen(*adapter, ncb, async);
        case kNcbCall:
            return Call(*adapter, ncb);
        case kNcbSend:
            return Send(*adapter, ncb);
        case kNcbRecv:
            return Receive(*adapter, ncb, async);
        case kNcbHangUp:
            return HangUp(*adapter, ncb);
        case kNcbSendDatagram:
            return SendDatagram(*adapter, ncb);
        case kNcbRecvDatagram:
            return ReceiveDatagram(*adapter, ncb, async);
        case kNcbAdapterStatus:
            return AdapterStatus(*adapter, ncb);
        case kNcbCancel:
            return Cancel(*adapter, ncb);
        default:
            return Rejected(kNrcIllCmd);
    }
}

CvVirtualStation::Outcome CvVirtualStation::Enumerate(CvNcb& ncb) {
    if (ncb.buffer == nullptr || ncb.length == 0) {
        return Rejected(kNrcBufLen);
    }
    const size_t room = std::min<size_t>(ncb.length - 1u, 255);
    uint8_t count = 0;
    for (const auto& [lana, adapter] : m_adapters) {
        if (count == room) {
            break;
        }
        ncb.buffer[1 + count++] = lana;
    }
    ncb.buffer[0] = count;
    return Done(kNrcGoodRet);
}

CvVirtualStation::Outcome CvVirtualStation::Reset(Adapter& adapter, CvNcb& ncb) {
    DropAdapter(adapter, kNrcCmdCan, kNrcSClosed);
    adapter.maxSessions = TableLimit(ncb.callname[0]);
    adapter.maxNames = TableLimit(ncb.callname[2]);
    return Done(kNrcGoodRet);
}

CvVirtualStation::Outcome CvVirtualStation::AddName(Adapter& adapter, CvNcb& ncb, bool group) {
    if (IsWildcard(ncb.name) || ncb.name[0] == 0) {
        return Rejected(kNrcNoWild);
    }
    const Name16 name = ToName(ncb.name);
    if (FindName(adapter, name) != nullptr) {
        return Done(kNrcDupName);
    }
    for (auto [station, other] : SegmentAdapters(adapter.segment)) {
        if (other == &adapter) {
            continue;
        }
        const NameEntry* held = FindActiveName(*other, name);
        if (held != nullptr && (!held->group || !group)) {
            return Done(kNrcInUse);
        }
    }
    if (adapter.names.size() >= adapter.maxNames) {
        return Done(kNrcNamTFul);
    }
    std::vector<uint8_t> used;
    for (const NameEntry& entry : adapter.names) {
        used.push_back(entry.number);
    }
    const uint8_t number = NextNumber(adapter.lastNameNumber, used);
    adapter.names.push_back({name, number, group});
    ncb.num = number;
    return Done(kNrcGoodRet);
}

CvVirtualStation::Outcome CvVirtualStation::DeleteName(Adapter& adapter, CvNcb& ncb) {
    const NameEntry* entry = FindName(adapter, ToName(ncb.name));
    if (entry == nullptr) {
        return Rejected(kNrcNoWild);
    }
    const Name16 name = entry->name;
    const uint8_t number = entry->number;
    for (auto item = adapter.pending.begin(); item != adapter.pending.end();) {
        const bool onName = (item->command == kNcbListen && SameName(name, item->ncb->name)) ||
                            (item->command == kNcbRecvDatagram && item->ncb->num == number);
        item = onName ? CompletePending(adapter, item, kNrcNamErr) : std::next(item);
    }
    std::vector<uint8_t> sessions;
    for (const auto& [lsn, session] : adapter.sessions) {
        if (session.localName == name) {
            sessions.push_back(lsn);
        }
    }
    for (uint8_t lsn : sessions) {
        EndSession(adapter, lsn, kNrcSClosed, kNrcSClosed);
    }
    std::erase_if(adapter.names, [&](const NameEntry& item) { return item.number == number; });
    return Done(kNrcGoodRet);
}

CvVirtualStation::Outcome CvVirtualStation::Listen(Adapter& adapter, CvNcb& ncb, bool async) {
    const NameEntry* entry = FindName(adapter, ToName(ncb.name));
    if (entry == nullptr) {
        return Rejected(kNrcNoWild);
    }
    if (entry->conflict) {
        return Done(kNrcNamConf);
    }
    adapter.pending.push_back({&ncb, kNcbListen, async, std::nullopt});
    return Queued();
}

CvVirtualStation::Outcome CvVirtualStation::Call(Adapter& adapter, CvNcb& ncb) {
    const NameEntry* caller = FindName(adapter, ToName(ncb.name));
    if (caller == nullptr || IsWildcard(ncb.callname)) {
        return Rejected(kNrcNoWild);
    }
    if (caller->conflict) {
        return Done(kNrcNamConf);
    }
    if (adapter.sessions.size() >= adapter.maxSessions) {
        return Done(kNrcLocTFul);
    }
    const Name16 called = ToName(ncb.callname);
    for (auto [station, other] : SegmentAdapters(adapter.segment)) {
        if (FindActiveName(*other, called) == nullptr) {
            continue;
        }
        auto listen = std::find_if(other->pending.begin(), other->pending.end(), [&](auto& item) {
            return item.command == kNcbListen && SameName(called, item.ncb->name) &&
                   (IsWildcard(item.ncb->callname) ||
                    std::memcmp(item.ncb->callname, ncb.name, 16) == 0);
        });
        if (listen == other->pending.end()) {
            continue;
        }
        // A call to a name on this very adapter takes two of its slots.
        const size_t needed = other == &adapter ? 2 : 1;
        if (other->sessions.size() + needed > other->maxSessions) {
            return Done(kNrcRemTFul);
        }
        CvNcb& listenNcb = *listen->ncb;

        std::vector<uint8_t> used;
        for (const auto& [lsn, session] : adapter.sessions) {
            used.push_back(lsn);
        }
        const uint8_t localLsn = NextNumber(adapter.lastLsn, used);
        Session& local = adapter.sessions[localLsn];

        used.clear();
        for (const auto& [lsn, session] : other->sessions) {
            used.push_back(lsn);
        }
        const uint8_t remoteLsn = NextNumber(other->lastLsn, used);
        Session& remote = other->sessions[remoteLsn];

        local.lsn = localLsn;
        local.localName = ToName(ncb.name);
        local.remoteName = called;
        local.peer = station;
        local.peerLana = other->lana;
        local.peerLsn = remoteLsn;
        local.rto = ncb.rto;

        remote.lsn = remoteLsn;
        remote.localName = called;
        remote.remoteName = ToName(ncb.name);
        remote.peer = this;
        remote.peerLana = adapter.lana;
        remote.peerLsn = localLsn;
        remote.rto = listenNcb.rto;

        listenNcb.lsn = remoteLsn;
        std::memcpy(listenNcb.callname, ncb.name, 16);
        station->CompletePending(*other, listen, kNrcGoodRet);
        ncb.lsn = localLsn;
        return Done(kNrcGoodRet);
    }
    return Done(kNrcNoCall);
}

CvVirtualStation::Outcome CvVirtualStation::Send(Adapter& adapter, CvNcb& ncb) {
    auto found = adapter.sessions.find(ncb.lsn);
    if (found == adapter.sessions.end()) {
        return Rejected(kNrcSnumOut);
    }
    if (ncb.buffer == nullptr && ncb.length != 0) {
        return Rejected(kNrcBufLen);
    }
    Session& session = found->second;
    if (session.peer == nullptr) {
        return Done(session.closeCode);
    }
    Adapter& peerAdapter = session.peer->m_adapters.at(session.peerLana);
    Session& peerSession = peerAdapter.sessions.at(session.peerLsn);
    peerSession.inbox.push_back({std::vector<uint8_t>(ncb.buffer, ncb.buffer + ncb.length), 0});
    session.peer->DeliverToReceives(peerAdapter, peerSession);
    return Done(kNrcGoodRet);
}

CvVirtualStation::Outcome CvVirtualStation::Receive(Adapter& adapter, CvNcb& ncb, bool async) {
    auto found = adapter.sessions.find(ncb.lsn);
    if (found == adapter.sessions.end()) {
        return Rejected(kNrcSnumOut);
    }
    if (ncb.buffer == nullptr && ncb.length != 0) {
        return Rejected(kNrcBufLen);
    }
    Session& session = found->second;
    std::optional<Clock::time_point> deadline;
    if (session.rto != 0) {
        deadline = Clock::now() + session.rto * m_lan.m_timeUnit;
    }
    adapter.pending.push_back({&ncb, kNcbRecv, async, deadline});
    DeliverToReceives(adapter, session);
    if (deadline && ncb.cmdCplt.load() == kNrcPending) {
        m_lan.m_timerWake.notify_all();
    }
    return Queued();
}

CvVirtualStation::Outcome CvVirtualStation::HangUp(Adapter& adapter, CvNcb& ncb) {
    auto found = adapter.sessions.find(ncb.lsn);
    if (found == adapter.sessions.end()) {
        return Rejected(kNrcSnumOut);
    }
    const uint8_t closeCode = found->second.peer == nullptr ? found->second.closeCode : 0;
    EndSession(adapter, ncb.lsn, kNrcSClosed, kNrcSClosed);
    return Done(closeCode);
}

CvVirtualStation::Outcome CvVirtualStation::SendDatagram(Adapter& adapter, CvNcb& ncb) {
    const NameEntry* sender = FindNumber(adapter, ncb.num);
    if (sender == nullptr) {
        return Rejected(kNrcIllNn);
    }
    if (sender->conflict) {
        return Done(kNrcNamConf);
    }
    if (ncb.length > kMaxDatagramLength || (ncb.buffer == nullptr && ncb.length != 0)) {
        return Rejected(kNrcBufLen);
    }
    const Name16 senderName = sender->name;
    const Name16 destination = ToName(ncb.callname);
    for (auto [station, other] : SegmentAdapters(adapter.segment)) {
        const NameEntry* holder = FindActiveName(*other, destination);
        if (holder == nullptr) {
            continue;
        }
        auto receive = std::find_if(other->pending.begin(), other->pending.end(), [&](auto& item) {
            return item.command == kNcbRecvDatagram &&
                   (item.ncb->num == holder->number || item.ncb->num == kAnyName);
        });
        if (receive == other->pending.end()) {
            if (other->backlog.size() >= kBacklogDatagrams) {
                other->backlog.pop_front();
            }
            other->backlog.push_back({holder->number, holder->name, senderName,
                                      std::vector<uint8_t>(ncb.buffer, ncb.buffer + ncb.length),
                                      Clock::now()});
            continue;
        }
        CvNcb& target = *receive->ncb;
        const uint16_t copied = std::min(ncb.length, target.length);
        if (copied != 0) {
            std::memcpy(target.buffer, ncb.buffer, copied);
        }
        target.length = copied;
        std::memcpy(target.callname, senderName.data(), 16);
        station->CompletePending(*other, receive, copied < ncb.length ? kNrcIncomp : kNrcGoodRet);
    }
    return Done(kNrcGoodRet);
}

CvVirtualStation::Outcome CvVirtualStation::ReceiveDatagram(Adapter& adapter, CvNcb& ncb,
                                                            bool async) {
    const NameEntry* receiver = ncb.num == kAnyName ? nullptr : FindNumber(adapter, ncb.num);
    if (ncb.num != kAnyName && receiver == nullptr) {
        return Rejected(kNrcIllNn);
    }
    if (receiver != nullptr && receiver->conflict) {
        return Done(kNrcNamConf);
    }
    if (ncb.buffer == nullptr && ncb.length != 0) {
        return Rejected(kNrcBufLen);
    }
    const auto now = Clock::now();
    while (!adapter.backlog.empty() && now - adapter.backlog.front().arrival > kBacklogAge) {
        adapter.backlog.pop_front();
    }
    for (auto it = adapter.backlog.begin(); it != adapter.backlog.end(); ++it) {
        const NameEntry* holder = FindNumber(adapter, it->number);
        if (holder == nullptr || holder->name != it->name || holder->conflict) {
            continue;  // the name is gone or not ours now; the entry ages out
        }
        if (ncb.num != kAnyName && ncb.num != it->number) {
            continue;
        }
        const uint16_t copied =
            static_cast<uint16_t>(std::min<size_t>(it->data.size(), ncb.length));
        if (copied != 0) {
            std::memcpy(ncb.buffer, it->data.data(), copied);
        }
        ncb.length = copied;
        std::memcpy(ncb.callname, it->sender.data(), 16);
        const bool cut = copied < it->data.size();
        adapter.backlog.erase(it);
        return Done(cut ? kNrcIncomp : kNrcGoodRet);
    }
    adapter.pending.push_back({&ncb, kNcbRecvDatagram, async, std::nullopt});
    return Queued();
}

CvVirtualStation::Outcome CvVirtualStation::AdapterStatus(Adapter& adapter, CvNcb& ncb) {
    if (ncb.buffer == nullptr && ncb.length != 0) {
        return Rejected(kNrcBufLen);
    }
    CvVirtualStation* station = nullptr;
    Adapter* target = nullptr;
    if (IsWildcard(ncb.callname)) {
        station = this;
        target = &adapter;
    } else {
        const Name16 asked = ToName(ncb.callname);
        for (auto [candidate, other] : SegmentAdapters(adapter.segment)) {
            if (FindActiveName(*other, asked) != nullptr) {
                station = candidate;
                target = other;
                break;
            }
        }
    }
    if (target == nullptr) {
        return Done(kNrcCmdTmo);
    }

    CvAdapterStatus status;
    status.mac = station->Mac(target->lana);
    status.pendingSessions = static_cast<uint16_t>(target->sessions.size());
    status.maxSessions = static_cast<uint16_t>(target->maxSessions);
    for (const NameEntry& entry : target->names) {
        const uint8_t state = entry.conflict ? kNameStateDuplicate : kNameFlagRegistered;
        const uint8_t flags = state | (entry.group ? kNameFlagGroup : 0);
        status.names.push_back({entry.name, entry.number, flags});
    }
    return Done(status.Encode(ncb.buffer, ncb.length));
}

CvVirtualStation::Outcome CvVirtualStation::Cancel(Adapter& adapter, CvNcb& ncb) {
    if (ncb.cancelTarget == nullptr) {
        return Rejected(kNrcCancel);
    }
    auto found = std::find_if(adapter.pending.begin(), adapter.pending.end(),
                              [&](auto& item) { return item.ncb == ncb.cancelTarget; });
    if (found == adapter.pending.end()) {
        return Done(kNrcCanOccr);
    }
    CompletePending(adapter, found, kNrcCmdCan);
    return Done(kNrcGoodRet);
}

CvVirtualStation::Adapter* CvVirtualStation::FindAdapter(uint8_t lana) {
    auto found = m_adapters.find(lana);
    return found == m_adapters.end() ? nullptr : &found->second;
}

CvVirtualStation::NameEntry* CvVirtualStation::FindName(Adapter& adapter, const Name16& name) {
    auto found = std::find_if(adapter.names.begin(), adapter.names.end(),
                              [&](const NameEntry& entry) { return entry.name == name; });
    return found == adapter.names.end() ? nullptr : &*found;
}

CvVirtualStation::NameEntry* CvVirtualStation::FindActiveName(Adapter& adapter,
                                                              const Name16& name) {
    NameEntry* entry = FindName(adapter, name);
    return entry != nullptr && !entry->conflict ? entry : nullptr;
}

CvVirtualStation::NameEntry* CvVirtualStation::FindNumber(Adapter& adapter, uint8_t number) {
    auto found = std::find_if(adapter.names.begin(), adapter.names.end(),
                              [&](const NameEntry& entry) { return entry.number == number; });
    return found == adapter.names.end() ? nullptr : &*found;
}

std::vector<std::pair<CvVirtualStation*, CvVirtualStation::Adapter*>>
CvVirtualStation::SegmentAdapters(int segment) const {
    std::vector<std::pair<CvVirtualStation*, Adapter*>> result;
    for (CvVirtualStation* station : m_lan.m_stations) {
        for (auto& [lana, adapter] : station->m_adapters) {
            if (adapter.segment == segment) {
                result.emplace_back(station, &adapter);
            }
        }
    }
    return result;
}

uint8_t CvVirtualStation::NextNumber(uint8_t& last, const std::vector<uint8_t>& used) {
    // Round robin over 1..254 so that a stale number is not reused at once.
    // The callers make sure a number is free.
    uint8_t candidate = last;
    do {
        candidate = static_cast<uint8_t>(candidate % kMaxTableSize + 1);
    } while (std::find(used.begin(), used.end(), candidate) != used.end());
    last = candidate;
    return candidate;
}

void CvVirtualStation::Complete(CvNcb& ncb, uint8_t code, bool async) {
    ncb.retcode = code;
    CvEvent* event = ncb.event;
    ncb.cmdCplt = code;
    if (async && event != nullptr) {
        event->Set();
    }
    m_lan.m_completed.notify_all();
}

std::list<CvVirtualStation::Pending>::iterator CvVirtualStation::CompletePending(
    Adapter& adapter, std::list<Pending>::iterator item, uint8_t code) {
    const Pending pending = *item;
    auto next = adapter.pending.erase(item);
    Complete(*pending.ncb, code, pending.async);
    return next;
}

void CvVirtualStation::CompleteAllPending(Adapter& adapter, uint8_t code) {
    while (!adapter.pending.empty()) {
        CompletePending(adapter, adapter.pending.begin(), code);
    }
}

void CvVirtualStation::DeliverToReceives(Adapter& adapter, Session& session) {
    for (auto item = adapter.pending.begin(); item != adapter.pending.end();) {
        if (item->command != kNcbRecv || item->ncb->lsn != session.lsn) {
            ++item;
            continue;
        }
        if (!session.inbox.empty()) {
            Message& message = session.inbox.front();
            CvNcb& receive = *item->ncb;
            const size_t remaining = message.data.size() - message.offset;
            const size_t copied = std::min<size_t>(remaining, receive.length);
            if (copied != 0) {
                std::memcpy(receive.buffer, message.data.data() + message.offset, copied);
            }
            receive.length = static_cast<uint16_t>(copied);
            message.offset += copied;
            const bool whole = copied == remaining;
            if (whole) {
                session.inbox.pop_front();
            }
            item = CompletePending(adapter, item, whole ? kNrcGoodRet : kNrcIncomp);
        } else if (session.peer == nullptr) {
            item = CompletePending(adapter, item, session.closeCode);
        } else {
            break;
        }
    }
}

void CvVirtualStation::EndSession(Adapter& adapter, uint8_t lsn, uint8_t code, uint8_t peerCode) {
    auto found = adapter.sessions.find(lsn);
    if (found == adapter.sessions.end()) {
        return;
    }
    Session& session = found->second;
    if (session.peer != nullptr) {
        session.peer->MarkClosedByPeer(session.peerLana, session.peerLsn, peerCode);
    }
    for (auto item = adapter.pending.begin(); item != adapter.pending.end();) {
        const bool onSession = item->command == kNcbRecv && item->ncb->lsn == lsn;
        item = onSession ? CompletePending(adapter, item, code) : std::next(item);
    }
    adapter.sessions.erase(found);
}

void CvVirtualStation::MarkClosedByPeer(uint8_t lana, uint8_t lsn, uint8_t code) {
    Adapter* adapter = FindAdapter(lana);
    if (adapter == nullptr) {
        return;
    }
    auto found = adapter->sessions.find(lsn);
    if (found == adapter->sessions.end()) {
        return;
    }
    found->second.peer = nullptr;
    found->second.closeCode = code;
    DeliverToReceives(*adapter, found->second);
}

void CvVirtualStation::DropAdapter(Adapter& adapter, uint8_t pendingCode, uint8_t peerCode) {
    CompleteAllPending(adapter, pendingCode);
    while (!adapter.sessions.empty()) {
        EndSession(adapter, adapter.sessions.begin()->first, pendingCode, peerCode);
    }
    adapter.names.clear();
}

std::optional<CvVirtualStation::Clock::time_point> CvVirtualStation::ExpireLocked(
    Clock::time_point now) {
    std::optional<Clock::time_point> next;
    for (auto& [lana, adapter] : m_adapters) {
        for (auto item = adapter.pending.begin(); item != adapter.pending.end();) {
            if (!item->deadline) {
                ++item;
            } else if (*item->deadline <= now) {
                item = CompletePending(adapter, item, kNrcCmdTmo);
            } else {
                if (!next || *item->deadline < *next) {
                    next = item->deadline;
                }
                ++item;
            }
        }
    }
    return next;
}
