#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/CvAdapterStatus.h"

// What a station can see of its LAN segments with the NetBIOS name service:
// who answers a name query, and what a station's name table holds. The host
// scanner walks the network neighbourhood with it.
//
// Every call may block for a short while (a fraction of a second on a real
// network) and returns early, with what it has, once `stopped` returns true.
class CvNeighbourhood {
public:
    using Name16 = std::array<uint8_t, 16>;
    using StopCheck = std::function<bool()>;

    virtual ~CvNeighbourhood() = default;

    // The adapters (segments) to walk.
    virtual std::vector<uint8_t> Adapters() = 0;
    // Broadcasts a query for `name` (15 OEM bytes padded with spaces, or "*"
    // padded with 0x00, then the suffix) on the adapter's segment and returns
    // the distinct addresses of every station that answered, in the order the
    // answers came. Empty when nobody answered or the adapter is gone.
    virtual std::vector<uint32_t> FindResponders(uint8_t lana, const Name16& name,
                                                 const StopCheck& stopped) = 0;
    // The name table of the station at `address` (a node status request);
    // nullopt when it did not answer.
    virtual std::optional<CvAdapterStatus> NodeStatus(uint8_t lana, uint32_t address,
                                                      const StopCheck& stopped) = 0;
};
