#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/CvAdapterStatus.h"
#include "platform/CvIpAdapters.h"
#include "platform/nbt/CvNbtPorts.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtNodeStatus.h"

// Name queries and node status requests sent from an ephemeral UDP port, as
// nmblookup sends them: nothing is bound to the NetBIOS ports, so it works
// beside a station (or nmbd) that owns them, needs no privilege, and
// registers no name. Answers come back to the ephemeral port. Each call uses
// a socket of its own, so calls may run on several threads at once; each
// blocks until its answers are in or its time is up, and returns early once
// `stopped` says so (checked every 20 ms).
class CvNbtNameClient {
public:
    using StopCheck = std::function<bool()>;

    // Ports of the stations asked (CORVANE_NBT_PORTS unless given).
    CvNbtNameClient();
    explicit CvNbtNameClient(CvNbtPorts ports) : m_ports(ports) {}

    // Broadcasts a query for `name` on the adapter's subnet `sends` times,
    // `intervalMs` apart, and waits `intervalMs` after the last. Returns the
    // addresses (host order) that answers gave, each once, in arrival order;
    // with `firstOnly` it returns at the first answer.
    std::vector<uint32_t> Query(const CvIpAdapter& adapter, const NbtName& name, int sends,
                                int intervalMs, bool firstOnly, const StopCheck& stopped) const;
    // Asks the station at `address` for its name table, up to `sends` times
    // `intervalMs` apart; nullopt when it never answered.
    std::optional<NbtNodeStatus> NodeStatus(const CvIpAdapter& adapter, uint32_t address, int sends,
                                            int intervalMs, const StopCheck& stopped) const;

    // The table in the layout of an adapter status answer: group names carry
    // kNameFlagGroup, rows are numbered from 1.
    static CvAdapterStatus ToAdapterStatus(const NbtNodeStatus& status);

private:
    const CvNbtPorts m_ports;
};
