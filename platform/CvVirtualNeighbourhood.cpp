#include "platform/CvVirtualNeighbourhood.h"

#include <cstring>

#include "platform/CvNetbiosProvider.h"

std::optional<CvAdapterStatus> CvVirtualNeighbourhood::TableOf(const Member& member) const {
    std::vector<uint8_t> buffer(CvAdapterStatus::EncodedSize(255));
    CvNcb ncb;
    ncb.command = kNcbAdapterStatus;
    ncb.lana = member.lana;
    std::memset(ncb.callname, ' ', sizeof ncb.callname);
    ncb.callname[0] = '*';
    ncb.buffer = buffer.data();
    ncb.length = static_cast<uint16_t>(buffer.size());
    if (member.station->Submit(ncb) != kNrcGoodRet) {
        return std::nullopt;
    }
    return CvAdapterStatus::Decode(std::span(buffer.data(), ncb.length));
}

std::vector<uint32_t> CvVirtualNeighbourhood::FindResponders(uint8_t, const Name16& name,
                                                             const StopCheck& stopped) {
    ++m_queries;
    const bool wildcard = name[0] == '*';
    std::vector<uint32_t> addresses;
    for (size_t i = 0; i < m_members.size() && !stopped(); ++i) {
        const auto table = TableOf(m_members[i]);
        if (!table || table->names.empty()) {
            continue;
        }
        bool answers = wildcard && name[15] == 0x00;
        for (const auto& entry : table->names) {
            answers = answers || entry.name == name;
        }
        if (answers) {
            addresses.push_back(static_cast<uint32_t>(i + 1));
        }
    }
    return addresses;
}

std::optional<CvAdapterStatus> CvVirtualNeighbourhood::NodeStatus(uint8_t, uint32_t address,
                                                                  const StopCheck& stopped) {
    ++m_statuses;
    if (stopped() || address == 0 || address > m_members.size()) {
        return std::nullopt;
    }
    return TableOf(m_members[address - 1]);
}
