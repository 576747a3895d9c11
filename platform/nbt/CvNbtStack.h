#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CvAdapterStatus.h"
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
// kNcbRecvDatagram (num = a name number or 0xFF for any) completes with the
// oldest datagram for that name. A datagram that arrives while no receive is
// posted for its name is not lost: it waits in a per-adapter backlog (at
// most 64 datagrams, the oldest dropped first, each kept at most 10 s) and
// completes the next matching receive at once, so a receiver that re-posts
// after each completion gets datagrams sent back to back. Deleting the name
// discards its waiting datagrams.
class CvNbtStack : public CvNetbiosProvider {
public:
    // Ports from CORVANE_NBT_PORTS unless given.
    CvNbtStack();
    explicit CvNbtStack(CvNbtPorts ports);
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
    void AddName(CvNbtAdapter& adapter, CvNcb& ncb, bool group, bool internal);
    void DeleteName(CvNbtAdapter& adapter, CvNcb& ncb);
    void AdapterStatus(CvNbtAdapter& adapter, CvNcb& ncb);
    static CvAdapterStatus StatusOf(const std::array<uint8_t, kNbtUnitIdLength>& unitId,
                                    const std::vector<NbtNodeStatusEntry>& names);
    static CvAdapterStatus LocalStatus(const CvNbtAdapter& adapter);
    void FillAdapterStatus(CvNcb& ncb, const CvAdapterStatus& status);
    uint8_t OpenSharedSockets();
    void Shutdown();

    const CvNbtPorts m_ports;
    CvNbtIoLoop m_loop;
    CvNbtPending m_pending;
    CvNbtContext m_context;
    CvNbtNameService m_names;
    CvNbtDatagramService m_datagrams;
    CvNbtSessionService m_sessions;
    std::mutex m_startLock;
    bool m_started = false;
    struct InternalName {
        NbtName name;
        bool group = false;
    };
    std::vector<InternalName> m_internalNames;
    // The add commands of internal names; they live as long as the stack.
    std::vector<std::unique_ptr<CvNcb>> m_internalNcbs;
};
