#pragma once

#include "platform/CvNbtNameClient.h"
#include "platform/CvNeighbourhood.h"

// The neighbourhood of the host's IPv4 adapters: one broadcast query per
// call (answers collected for 250 ms) and node status requests (2 sends
// 250 ms apart), all from an ephemeral port (see CvNbtNameClient).
class CvNbtNeighbourhood : public CvNeighbourhood {
public:
    static constexpr int kQueryWindowMs = 250;
    static constexpr int kStatusSends = 2;
    static constexpr int kStatusIntervalMs = 250;

    CvNbtNeighbourhood() = default;
    explicit CvNbtNeighbourhood(CvNbtPorts ports) : m_client(ports) {}

    std::vector<uint8_t> Adapters() override;
    std::vector<uint32_t> FindResponders(uint8_t lana, const Name16& name,
                                         const StopCheck& stopped) override;
    std::optional<CvAdapterStatus> NodeStatus(uint8_t lana, uint32_t address,
                                              const StopCheck& stopped) override;

private:
    CvNbtNameClient m_client;
};
