#pragma once

#include <vector>

#include "platform/CvNeighbourhood.h"

class CvNetbiosProvider;

// The neighbourhood of one segment of a virtual LAN, for tests: the stations
// on it are listed by the test (the virtual LAN has no broadcast name query),
// each answering a query when its own adapter's name table holds the name
// ("*<00>": any name), as stations of a real segment do. Station i has
// address i + 1; its name table comes from an adapter status of its adapter.
class CvVirtualNeighbourhood : public CvNeighbourhood {
public:
    struct Member {
        CvNetbiosProvider* station = nullptr;
        uint8_t lana = 0;
    };

    explicit CvVirtualNeighbourhood(std::vector<Member> members) : m_members(std::move(members)) {}

    std::vector<uint8_t> Adapters() override { return {0}; }
    std::vector<uint32_t> FindResponders(uint8_t lana, const Name16& name,
                                         const StopCheck& stopped) override;
    std::optional<CvAdapterStatus> NodeStatus(uint8_t lana, uint32_t address,
                                              const StopCheck& stopped) override;

    // Calls made so far, for tests of how gentle a pass is.
    size_t QueryCount() const { return m_queries; }
    size_t StatusCount() const { return m_statuses; }

private:
    std::optional<CvAdapterStatus> TableOf(const Member& member) const;

    std::vector<Member> m_members;
    size_t m_queries = 0;
    size_t m_statuses = 0;
};
