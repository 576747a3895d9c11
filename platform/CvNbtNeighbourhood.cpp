#include "platform/CvNbtNeighbourhood.h"

namespace {

std::optional<CvIpAdapter> FindAdapter(uint8_t lana) {
    for (const auto& adapter : CvEnumerateIpAdapters()) {
        if (adapter.lana == lana) {
            return adapter;
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<uint8_t> CvNbtNeighbourhood::Adapters() {
    std::vector<uint8_t> lanas;
    for (const auto& adapter : CvEnumerateIpAdapters()) {
        lanas.push_back(adapter.lana);
    }
    return lanas;
}

std::vector<uint32_t> CvNbtNeighbourhood::FindResponders(uint8_t lana, const Name16& name,
                                                         const StopCheck& stopped) {
    const auto adapter = FindAdapter(lana);
    auto query = NbtName::FromRaw(std::string_view(reinterpret_cast<const char*>(name.data()), 16));
    if (!adapter || !query) {
        return {};
    }
    return m_client.Query(*adapter, query.Value(), 1, kQueryWindowMs, false, stopped);
}

std::optional<CvAdapterStatus> CvNbtNeighbourhood::NodeStatus(uint8_t lana, uint32_t address,
                                                              const StopCheck& stopped) {
    const auto adapter = FindAdapter(lana);
    if (!adapter) {
        return std::nullopt;
    }
    const auto status =
        m_client.NodeStatus(*adapter, address, kStatusSends, kStatusIntervalMs, stopped);
    if (!status) {
        return std::nullopt;
    }
    return CvNbtNameClient::ToAdapterStatus(*status);
}
