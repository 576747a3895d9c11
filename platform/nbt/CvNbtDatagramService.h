#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "platform/CvNcb.h"
#include "platform/nbt/CvNbtContext.h"
#include "platform/nbt/CvNbtDatagramBacklog.h"
#include "platform/nbt/CvNbtNameService.h"
#include "platform/nbt/NbtDatagramPacket.h"

// The datagram service on the shared UDP datagram socket. I/O thread only.
//
// Receiving: DIRECT_UNIQUE, DIRECT_GROUP and BROADCAST datagrams whose
// destination is an active name of the arrival adapter (BROADCAST also to
// "*") complete the oldest receive posted for that name number or for 0xFF.
// With none posted the datagram waits in the adapter's CvNbtDatagramBacklog
// (at most 64, each at most 10 s) and completes the next matching receive;
// deleting the name discards its waiting datagrams. A name in conflict
// receives nothing: a receive posted for it completes with kNrcNamConf, and
// so does a send from it.
// Sending: "*" goes out as BROADCAST; a name is resolved first, a unique
// owner gets DIRECT_UNIQUE unicast, a group (or a name nobody answered for,
// whose holders may not answer queries) gets DIRECT_GROUP to the adapter's
// broadcast address.
class CvNbtDatagramService {
public:
    static constexpr size_t kMaxUserData = 512;
    // Packets read per readiness of the socket, so that a flood cannot keep
    // the loop from its timers and other sockets.
    static constexpr int kReceiveBatch = 64;

    CvNbtDatagramService(CvNbtContext& context, CvNbtNameService& names)
        : m_context(context), m_names(names) {}

    // Reads at most kReceiveBatch packets.
    void OnReadable();
    // Both take a pending command and finish it through the context's pending
    // list, now or later.
    void PostReceive(CvNbtAdapter& adapter, CvNcb& ncb);
    void Send(CvNbtAdapter& adapter, CvNcb& ncb);
    // The name was deleted (kNrcNamErr) or lost in a conflict (kNrcNamConf):
    // receives posted for its number complete with code and its waiting
    // datagrams are discarded.
    void DropName(uint8_t lana, uint8_t number, uint8_t code = kNrcNamErr);

private:
    struct Receive {
        uint8_t lana = 0;
        CvNcb* ncb = nullptr;
    };

    void Deliver(CvNbtAdapter& adapter, const NbtDatagramPacket& datagram);
    // Copies the user data (cut to the buffer: kNrcIncomp) and the source name.
    void Complete(CvNcb& ncb, const NbtName& source, const std::vector<uint8_t>& userData);
    void Transmit(uint8_t lana, CvNcb& ncb, uint8_t msgType, uint32_t destination);

    CvNbtContext& m_context;
    CvNbtNameService& m_names;
    std::deque<Receive> m_receives;
    CvNbtDatagramBacklog m_backlog;
};
