#include "platform/nbt/CvNbtStack.h"

#include <cstring>

#include <poll.h>
#include <unistd.h>

#include "platform/CvAdapterStatus.h"
#include "platform/CvEvent.h"
#include "platform/CvIpAdapters.h"

namespace {

// NAME_BUFFER state of a name another station contests.
constexpr uint8_t kDuplicateNameState = 0x06;

NbtResult<NbtName> NameField(const uint8_t (&field)[16]) {
    return NbtName::FromRaw(std::string_view(reinterpret_cast<const char*>(field), sizeof field));
}

bool SameAddress(const CvIpAdapter& a, const CvIpAdapter& b) {
    return a.address == b.address && a.netmask == b.netmask && a.broadcast == b.broadcast &&
           a.interfaceIndex == b.interfaceIndex;
}

// Commands that hold on to one of the adapter's names or sessions and so
// cannot outlive its closing.
bool UsesNamesOrSessions(const CvNcb& ncb) {
    switch (ncb.command & static_cast<uint8_t>(~kNcbAsync)) {
        case kNcbCall:
        case kNcbListen:
        case kNcbSend:
        case kNcbRecv:
        case kNcbAddName:
        case kNcbAddGroupName:
        case kNcbSendDatagram:
            return true;
        case kNcbRecvDatagram:
            return ncb.num != 0xFF;
        default:
            return false;
    }
}

}  // namespace

CvNbtStack::CvNbtStack() : CvNbtStack(CvNbtPorts::FromEnvironment()) {}

CvNbtStack::CvNbtStack(CvNbtPorts ports) : CvNbtStack(ports, CvEnumerateIpAdapters) {}

CvNbtStack::CvNbtStack(CvNbtPorts ports, AdapterSource adapters)
    : m_ports(ports),
      m_adapterSource(std::move(adapters)),
      m_context(m_loop, m_pending, ports),
      m_names(m_context),
      m_datagrams(m_context, m_names),
      m_sessions(m_context, m_names) {
    m_names.SetConflictHandler(
        [this](CvNbtAdapter& adapter, const CvNbtNameEntry& entry) { OnConflict(adapter, entry); });
}

CvNbtStack::~CvNbtStack() {
    Shutdown();
}

void CvNbtStack::Shutdown() {
    m_loop.Post([this] {
        m_loop.CancelTimer(m_checkTimer);
        m_sessions.CloseAll(kNrcCmdCan);
        m_pending.CompleteAll(kNrcCmdCan);
        for (auto& [lana, adapter] : m_context.adapters) {
            if (!adapter->reset) {
                continue;
            }
            for (const auto& entry : adapter->names.Entries()) {
                if (entry.state == CvNbtNameEntry::State::Active) {
                    m_names.Release(*adapter, entry);
                }
            }
        }
        if (m_context.nameSocket.IsOpen()) {
            m_loop.Unwatch(m_context.nameSocket.Fd());
        }
        if (m_context.datagramSocket.IsOpen()) {
            m_loop.Unwatch(m_context.datagramSocket.Fd());
        }
    });
    m_loop.Stop();
}

void CvNbtStack::AddInternalName(const NbtName& name, bool group) {
    std::lock_guard guard(m_startLock);
    m_internalNames.push_back({name, group});
}

uint8_t CvNbtStack::Submit(CvNcb& ncb) {
    {
        std::lock_guard guard(m_startLock);
        if (!m_started) {
            m_started = m_loop.Start();
        }
    }
    if (ncb.event != nullptr) {
        ncb.event->Reset();
    }
    const bool async = (ncb.command & kNcbAsync) != 0;
    if (!m_started || m_loop.IsLoopThread()) {
        ncb.retcode = kNrcSystem;
        return kNrcSystem;
    }
    ncb.retcode = kNrcPending;
    ncb.cmdCplt = kNrcPending;
    CvEvent done(true, false);
    CvEvent* syncDone = async ? nullptr : &done;
    const bool posted = m_loop.Post([this, &ncb, syncDone] {
        m_pending.Begin(ncb, syncDone);
        Execute(ncb);
    });
    if (!posted) {
        ncb.retcode = kNrcSystem;
        ncb.cmdCplt = kNrcSystem;
        return kNrcSystem;
    }
    if (async) {
        return kNrcPending;
    }
    done.Wait(kInfinite);
    return ncb.retcode;
}

void CvNbtStack::Execute(CvNcb& ncb) {
    const uint8_t command = ncb.command & static_cast<uint8_t>(~kNcbAsync);
    if (command == kNcbEnum) {
        Enumerate(ncb);
        return;
    }
    if (command == kNcbCancel) {
        // A target that is not pending has completed already.
        if (ncb.cancelTarget == nullptr) {
            m_pending.Complete(ncb, kNrcCancel);
        } else {
            m_pending.Complete(ncb, m_pending.Cancel(ncb.cancelTarget) ? kNrcGoodRet : kNrcCanOccr);
        }
        return;
    }
    if (m_context.adapters.count(ncb.lana) == 0) {
        // Only new adapters are taken here: closing a changed one could
        // finish ncb under our feet.
        for (const auto& ip : m_adapterSource()) {
            if (m_context.adapters.count(ip.lana) == 0) {
                m_context.adapters[ip.lana] = std::make_unique<CvNbtAdapter>();
                m_context.adapters[ip.lana]->ip = ip;
            }
        }
    }
    auto it = m_context.adapters.find(ncb.lana);
    if (it == m_context.adapters.end()) {
        m_pending.Complete(ncb, kNrcBridge);
        return;
    }
    CvNbtAdapter& adapter = *it->second;
    if (command == kNcbReset) {
        Reset(ncb);
        return;
    }
    if (!adapter.reset) {
        m_pending.Complete(ncb, kNrcEnvNotDef);
        return;
    }
    switch (command) {
        case kNcbAddName:
            AddName(adapter, ncb, false, false);
            break;
        case kNcbAddGroupName:
            AddName(adapter, ncb, true, false);
            break;
        case kNcbDeleteName:
            DeleteName(adapter, ncb);
            break;
        case kNcbCall:
            if (!RefuseInConflict(adapter, ncb)) {
                m_sessions.Call(adapter, ncb);
            }
            break;
        case kNcbListen:
            if (!RefuseInConflict(adapter, ncb)) {
                m_sessions.Listen(adapter, ncb);
            }
            break;
        case kNcbSend:
            m_sessions.Send(adapter, ncb);
            break;
        case kNcbRecv:
            m_sessions.Receive(adapter, ncb);
            break;
        case kNcbHangUp:
            m_sessions.HangUp(adapter, ncb);
            break;
        case kNcbSendDatagram:
            m_datagrams.Send(adapter, ncb);
            break;
        case kNcbRecvDatagram:
            m_datagrams.PostReceive(adapter, ncb);
            break;
        case kNcbAdapterStatus:
            AdapterStatus(adapter, ncb);
            break;
        default:
            m_pending.Complete(ncb, kNrcIllCmd);
            break;
    }
}

void CvNbtStack::Enumerate(CvNcb& ncb) {
    const auto adapters = m_adapterSource();
    Refresh(adapters);
    if (ncb.buffer == nullptr || ncb.length == 0) {
        m_pending.Complete(ncb, kNrcBufLen);
        return;
    }
    const size_t count = std::min<size_t>(adapters.size(), ncb.length - 1u);
    ncb.buffer[0] = static_cast<uint8_t>(count);
    for (size_t i = 0; i < count; ++i) {
        ncb.buffer[1 + i] = adapters[i].lana;
    }
    m_pending.Complete(ncb, kNrcGoodRet);
}

void CvNbtStack::Refresh(const std::vector<CvIpAdapter>& interfaces) {
    for (const auto& ip : interfaces) {
        auto& slot = m_context.adapters[ip.lana];
        if (!slot) {
            slot = std::make_unique<CvNbtAdapter>();
        }
        CvNbtAdapter& adapter = *slot;
        if (adapter.reset) {
            if (SameAddress(adapter.ip, ip)) {
                continue;
            }
            // Names, sessions and the listener belong to the old address.
            Close(adapter);
            adapter.reopen = true;
        }
        adapter.ip = ip;
        if (adapter.reopen && Open(adapter) == kNrcGoodRet) {
            adapter.reopen = false;
            RegisterInternalNames(adapter);
        }
    }
}

void CvNbtStack::Close(CvNbtAdapter& adapter) {
    const uint8_t lana = adapter.ip.lana;
    m_names.ForgetAdapter(lana);
    for (const auto& entry : adapter.names.Entries()) {
        if (entry.state == CvNbtNameEntry::State::Active) {
            m_names.Release(adapter, entry);
        }
    }
    m_sessions.CloseAdapter(lana);
    std::vector<uint8_t> numbers;
    for (const auto& entry : adapter.names.Entries()) {
        numbers.push_back(entry.number);
    }
    for (uint8_t number : numbers) {
        DropEntry(adapter, number, kNrcNamErr);
    }
    // Calls, adds and datagram sends still resolving or registering.
    m_pending.CompleteWhere(
        [lana](const CvNcb& ncb) { return ncb.lana == lana && UsesNamesOrSessions(ncb); },
        kNrcNamErr);
    if (adapter.listenerFd >= 0) {
        m_loop.Unwatch(adapter.listenerFd);
        close(adapter.listenerFd);
        adapter.listenerFd = -1;
    }
    adapter.reset = false;
}

void CvNbtStack::ScheduleAdapterCheck() {
    if (m_checkTimer != 0) {
        return;
    }
    m_checkTimer = m_loop.AddTimer(kAdapterCheckMs, [this] {
        m_checkTimer = 0;
        Refresh(m_adapterSource());
        for (const auto& [lana, adapter] : m_context.adapters) {
            if (adapter->reset || adapter->reopen) {
                ScheduleAdapterCheck();
                break;
            }
        }
    });
}

uint8_t CvNbtStack::OpenSharedSockets() {
    if (!m_context.nameSocket.IsOpen()) {
        if (m_context.nameSocket.Open(m_ports.name) != 0) {
            return kNrcOpenErr;
        }
        m_loop.Watch(m_context.nameSocket.Fd(), POLLIN, [this](short) { m_names.OnReadable(); });
    }
    if (!m_context.datagramSocket.IsOpen()) {
        if (m_context.datagramSocket.Open(m_ports.datagram) != 0) {
            return kNrcOpenErr;
        }
        m_loop.Watch(m_context.datagramSocket.Fd(), POLLIN,
                     [this](short) { m_datagrams.OnReadable(); });
    }
    return kNrcGoodRet;
}

void CvNbtStack::Reset(CvNcb& ncb) {
    CvNbtAdapter& adapter = *m_context.adapters[ncb.lana];
    if (adapter.reset) {
        m_pending.Complete(ncb, kNrcGoodRet);
        return;
    }
    const uint8_t code = Open(adapter);
    // The issuer may free ncb as soon as it is complete.
    m_pending.Complete(ncb, code);
    if (code == kNrcGoodRet) {
        adapter.reopen = false;
        RegisterInternalNames(adapter);
    }
}

uint8_t CvNbtStack::Open(CvNbtAdapter& adapter) {
    uint8_t code = OpenSharedSockets();
    if (code == kNrcGoodRet && m_sessions.OpenListener(adapter) != 0) {
        code = kNrcSystem;
    }
    adapter.resetError = code;
    if (code != kNrcGoodRet) {
        return code;
    }
    if (adapter.unitId == decltype(adapter.unitId){}) {
        adapter.unitId = CvNbtAdapter::MakeUnitId(adapter.ip);
    }
    adapter.reset = true;
    ScheduleAdapterCheck();
    return kNrcGoodRet;
}

void CvNbtStack::RegisterInternalNames(CvNbtAdapter& adapter) {
    std::vector<InternalName> internalNames;
    {
        std::lock_guard guard(m_startLock);
        internalNames = m_internalNames;
    }
    // Finished adds are referenced by nothing any more.
    std::erase_if(m_internalNcbs,
                  [this](const auto& ncb) { return !m_pending.IsPending(ncb.get()); });
    for (const auto& internal : internalNames) {
        // Registered in the background: nobody waits for these names.
        auto& owned = m_internalNcbs.emplace_back(std::make_unique<CvNcb>());
        std::memcpy(owned->name, internal.name.Raw().data(), sizeof owned->name);
        owned->lana = adapter.ip.lana;
        m_pending.Begin(*owned, nullptr);
        AddName(adapter, *owned, internal.group, true);
    }
}

void CvNbtStack::AddName(CvNbtAdapter& adapter, CvNcb& ncb, bool group, bool internal) {
    auto name = NameField(ncb.name);
    if (!name || ncb.name[0] == '*' || ncb.name[0] == 0) {
        m_pending.Complete(ncb, kNrcNoWild);
        return;
    }
    if (const CvNbtNameEntry* existing = adapter.names.Find(name.Value())) {
        if (existing->state != CvNbtNameEntry::State::Conflict) {
            m_pending.Complete(ncb, kNrcDupName);
            return;
        }
        // A name lost in a conflict is claimed afresh; the other station
        // defends it for as long as it holds it.
        DropEntry(adapter, existing->number, kNrcNamConf);
    }
    CvNbtNameEntry* entry = adapter.names.Add(name.Value(), group, internal);
    if (entry == nullptr) {
        m_pending.Complete(ncb, kNrcNamTFul);
        return;
    }
    const uint8_t lana = adapter.ip.lana;
    const uint8_t number = entry->number;
    const auto transaction =
        m_names.Register(adapter, *entry, [this, lana, number, target = &ncb](bool defended) {
            CvNbtAdapter* current = m_context.ResetAdapter(lana);
            CvNbtNameEntry* added =
                current != nullptr ? current->names.FindNumber(number) : nullptr;
            if (added == nullptr) {
                m_pending.Complete(*target, kNrcNamErr);
                return;
            }
            if (defended) {
                current->names.Remove(number);
                m_pending.Complete(*target, kNrcInUse);
                return;
            }
            added->state = CvNbtNameEntry::State::Active;
            target->num = number;
            m_pending.Complete(*target, kNrcGoodRet);
        });
    m_pending.SetDetach(ncb, [this, lana, number, transaction] {
        m_names.Cancel(transaction);
        if (CvNbtAdapter* current = m_context.ResetAdapter(lana)) {
            current->names.Remove(number);
        }
    });
}

void CvNbtStack::DeleteName(CvNbtAdapter& adapter, CvNcb& ncb) {
    auto name = NameField(ncb.name);
    CvNbtNameEntry* entry = name ? adapter.names.Find(name.Value()) : nullptr;
    if (entry == nullptr) {
        m_pending.Complete(ncb, kNrcNoWild);
        return;
    }
    // A name in conflict is not released: others would forget its holder.
    if (entry->state == CvNbtNameEntry::State::Active) {
        m_names.Release(adapter, *entry);
    }
    DropEntry(adapter, entry->number, kNrcNamErr);
    m_pending.Complete(ncb, kNrcGoodRet);
}

void CvNbtStack::DropEntry(CvNbtAdapter& adapter, uint8_t number, uint8_t code) {
    const CvNbtNameEntry* entry = adapter.names.FindNumber(number);
    if (entry == nullptr) {
        return;
    }
    const NbtName name = entry->name;
    adapter.names.Remove(number);
    m_sessions.DropName(adapter.ip.lana, name, code);
    m_datagrams.DropName(adapter.ip.lana, number, code);
}

bool CvNbtStack::RefuseInConflict(CvNbtAdapter& adapter, CvNcb& ncb) {
    auto name = NameField(ncb.name);
    const CvNbtNameEntry* entry = name ? adapter.names.Find(name.Value()) : nullptr;
    if (entry == nullptr || entry->state != CvNbtNameEntry::State::Conflict) {
        return false;
    }
    m_pending.Complete(ncb, kNrcNamConf);
    return true;
}

void CvNbtStack::OnConflict(CvNbtAdapter& adapter, const CvNbtNameEntry& entry) {
    m_sessions.DropName(adapter.ip.lana, entry.name, kNrcNamConf);
    m_datagrams.DropName(adapter.ip.lana, entry.number, kNrcNamConf);
}

void CvNbtStack::AdapterStatus(CvNbtAdapter& adapter, CvNcb& ncb) {
    if (ncb.callname[0] == '*') {
        FillAdapterStatus(ncb, LocalStatus(adapter));
        return;
    }
    auto name = NameField(ncb.callname);
    if (!name) {
        m_pending.Complete(ncb, kNrcNoWild);
        return;
    }
    const uint8_t lana = adapter.ip.lana;
    auto step = std::make_shared<CvNbtNameService::TransactionId>(0);
    *step =
        m_names.Resolve(adapter, name.Value(), [this, lana, step, target = &ncb](auto resolved) {
            CvNbtAdapter* current = m_context.ResetAdapter(lana);
            if (!resolved || current == nullptr) {
                m_pending.Complete(*target, resolved ? kNrcEnvNotDef : kNrcCmdTmo);
                return;
            }
            if (resolved->address == current->ip.address) {
                FillAdapterStatus(*target, LocalStatus(*current));
                return;
            }
            *step = m_names.NodeStatus(*current, resolved->address, [this, target](auto status) {
                if (!status) {
                    m_pending.Complete(*target, kNrcCmdTmo);
                    return;
                }
                FillAdapterStatus(*target, StatusOf(status->UnitId(), status->names));
            });
        });
    m_pending.SetDetach(ncb, [this, step] { m_names.Cancel(*step); });
}

CvAdapterStatus CvNbtStack::StatusOf(const std::array<uint8_t, kNbtUnitIdLength>& unitId,
                                     const std::vector<NbtNodeStatusEntry>& names) {
    CvAdapterStatus status;
    status.mac = unitId;
    status.maxDatagramSize = CvNbtDatagramService::kMaxUserData;
    uint8_t number = 0;
    for (const auto& entry : names) {
        CvAdapterStatus::Name name;
        std::memcpy(name.name.data(), entry.name.Raw().data(), name.name.size());
        // Node status carries no name numbers; the rows are numbered instead.
        name.number = ++number;
        name.flags =
            (entry.flags & kNameFlagConflict) != 0 ? kDuplicateNameState : kNameFlagRegistered;
        if ((entry.flags & kNbFlagGroup) != 0) {
            name.flags |= kNameFlagGroup;
        }
        status.names.push_back(name);
    }
    return status;
}

CvAdapterStatus CvNbtStack::LocalStatus(const CvNbtAdapter& adapter) {
    CvAdapterStatus status = StatusOf(adapter.unitId, adapter.names.StatusEntries());
    size_t row = 0;
    for (const auto& entry : adapter.names.Entries()) {
        if (entry.state != CvNbtNameEntry::State::Registering) {
            status.names[row++].number = entry.number;
        }
    }
    return status;
}

void CvNbtStack::FillAdapterStatus(CvNcb& ncb, const CvAdapterStatus& status) {
    m_pending.Complete(ncb, status.Encode(ncb.buffer, ncb.length));
}
