#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CvAdapterStatus.h"
#include "platform/CvIpAdapters.h"
#include "platform/CvNetbiosProvider.h"
#include "platform/nbt/CvNbtContext.h"
#include "platform/nbt/CvNbtDatagramService.h"
#include "platform/nbt/CvNbtIoLoop.h"
#include "platform/nbt/CvNbtNameService.h"
#include "platform/nbt/CvNbtPending.h"
#include "platform/nbt/CvNbtPorts.h"
#include "platform/nbt/CvNbtSessionService.h"

// NetBIOS over TCP/IP as a broadcast node (RFC 1001/1002) on the system's IPv4
// interfaces. Submit is thread-safe; every command runs on the stack's own
// I/O thread, which the destructor stops and joins (commands still pending
// then complete with kNrcCmdCan).
//
// Adapters are the interfaces of CvEnumerateIpAdapters. Codes beyond the
// command's own (see CvNetbiosProvider):
//   kNrcBridge     the adapter number is not (or no longer) an interface
//   kNrcEnvNotDef  the adapter was not reset, or its reset failed
//   kNrcOpenErr    reset: the name or datagram port could not be bound (in
//                  use by another NetBIOS daemon, or no privilege)
//   kNrcSystem     reset: the session listener could not be bound
//   kNrcIllCmd     unknown command
// A reset of an adapter that is already open keeps its names and sessions,
// so several users of one adapter do not undo each other's work.
//
// Address changes: at every kNcbEnum, and every kAdapterCheckMs while an
// adapter is open, the adapters are compared with the system's interfaces.
// An open adapter whose address, netmask, broadcast address or interface
// index changed (a DHCP renewal, another network) is closed and reset with
// the new address under the same adapter number: its names are released
// from the old address and leave the table, its sessions end (their commands
// complete with kNrcSClosed), and the other commands that involve its names
// (listens, datagram receives for a name number, calls, adds, datagram
// sends) complete with kNrcNamErr, so their issuers add the names again.
// Receives for any name (num 0xFF) and adapter status queries stay pending.
// Internal names are registered again. Should the reset fail, commands get
// kNrcEnvNotDef until a later check resets the adapter.
//
// Name conflicts: a NAME CONFLICT DEMAND for one of our active unique names
// only counts once a query of our own finds another station holding the
// name (see CvNbtNameService). The name is then in conflict: its listens and
// datagram receives complete with kNrcNamConf, and so do calls, listens,
// datagram sends and receives issued on it later; it is no longer answered
// or defended on the wire, and the adapter status of "*" lists it with state
// 0x06 (duplicate) instead of 0x04 (registered). It stays in the table until
// deleted; deleting it sends no release, as the name is someone else's now.
// kNcbAddName of the name, with or without kNcbDeleteName before, claims it
// afresh: kNrcInUse while the other station holds it (the name then leaves
// the table), kNrcGoodRet and state 0x04 once it is free.
//
// kNcbRecvDatagram (num = a name number or 0xFF for any) completes with the
// oldest datagram for that name. A datagram that arrives while no receive is
// posted for its name is not lost: it waits in a per-adapter backlog (at
// most 64 datagrams, the oldest dropped first, each kept at most 10 s) and
// completes the next matching receive at once, so a receiver that re-posts
// after each completion gets datagrams sent back to back. Deleting the name
// discards its waiting datagrams.
class CvNbtStack : public CvNetbiosProvider {
public:
    // The interfaces to use as adapters; called on the I/O thread.
    using AdapterSource = std::function<std::vector<CvIpAdapter>()>;

    static constexpr int kAdapterCheckMs = 5000;

    // Ports from CORVANE_NBT_PORTS unless given; adapters from
    // CvEnumerateIpAdapters unless given.
    CvNbtStack();
    explicit CvNbtStack(CvNbtPorts ports);
    CvNbtStack(CvNbtPorts ports, AdapterSource adapters);
    ~CvNbtStack() override;

    uint8_t Submit(CvNcb& ncb) override;

    const CvNbtPorts& Ports() const { return m_ports; }

    // Names the stack registers by itself on every adapter it resets (unique
    // unless group). Call before the first reset.
    void AddInternalName(const NbtName& name, bool group);

private:
    void Execute(CvNcb& ncb);
    void Enumerate(CvNcb& ncb);
    void Reset(CvNcb& ncb);
    // Opens the adapter's sockets; kNrcGoodRet or the reset's error code.
    uint8_t Open(CvNbtAdapter& adapter);
    void RegisterInternalNames(CvNbtAdapter& adapter);
    // Takes the current interfaces: new ones become adapters, open ones whose
    // address changed are closed and reset again.
    void Refresh(const std::vector<CvIpAdapter>& interfaces);
    void Close(CvNbtAdapter& adapter);
    void ScheduleAdapterCheck();
    void AddName(CvNbtAdapter& adapter, CvNcb& ncb, bool group, bool internal);
    void DeleteName(CvNbtAdapter& adapter, CvNcb& ncb);
    // Removes the entry; its listens and datagram receives complete with code.
    void DropEntry(CvNbtAdapter& adapter, uint8_t number, uint8_t code);
    void OnConflict(CvNbtAdapter& adapter, const CvNbtNameEntry& entry);
    // Completes a call or listen on a name in conflict with kNrcNamConf.
    bool RefuseInConflict(CvNbtAdapter& adapter, CvNcb& ncb);
    void AdapterStatus(CvNbtAdapter& adapter, CvNcb& ncb);
    static CvAdapterStatus StatusOf(const std::array<uint8_t, kNbtUnitIdLength>& unitId,
                                    const std::vector<NbtNodeStatusEntry>& names);
    static CvAdapterStatus LocalStatus(const CvNbtAdapter& adapter);
    void FillAdapterStatus(CvNcb& ncb, const CvAdapterStatus& status);
    uint8_t OpenSharedSockets();
    void Shutdown();

    const CvNbtPorts m_ports;
    const AdapterSource m_adapterSource;
    CvNbtIoLoop m_loop;
    CvNbtPending m_pending;
    CvNbtContext m_context;
    CvNbtNameService m_names;
    CvNbtDatagramService m_datagrams;
    CvNbtSessionService m_sessions;
    std::mutex m_startLock;
    bool m_started = false;
    CvNbtIoLoop::TimerId m_checkTimer = 0;
    struct InternalName {
        NbtName name;
        bool group = false;
    };
    std::vector<InternalName> m_internalNames;
    // The add commands of internal names; they live as long as the stack.
    std::vector<std::unique_ptr<CvNcb>> m_internalNcbs;
};
