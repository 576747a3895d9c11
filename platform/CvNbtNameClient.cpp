#include "platform/CvNbtNameClient.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <poll.h>

#include "platform/nbt/CvNbtContext.h"
#include "platform/nbt/CvNbtUdpSocket.h"
#include "platform/nbt/NbtNamePacket.h"
#include "platform/nbt/NbtNamePacketBuilder.h"
#include "platform/nbt/NbtNbAddress.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollSliceMs = 20;
constexpr int kReceiveBatch = 64;

// NAME_BUFFER state of a name its holder reports in conflict.
constexpr uint8_t kDuplicateNameState = 0x06;

// Sends `packet` up to `sends` times and hands every answer with its TRN_ID
// to `take` until it returns true or the time is up. A unicast request
// (`unicast` set) takes answers from `destination` only.
template <class Take>
void Exchange(const NbtNamePacket& packet, uint32_t destination, bool unicast, uint16_t port,
              const CvIpAdapter& adapter, int sends, int intervalMs,
              const CvNbtNameClient::StopCheck& stopped, Take take) {
    auto bytes = packet.Encode();
    CvNbtUdpSocket socket;
    if (!bytes || sends <= 0 || socket.Open(0) != 0) {
        return;
    }
    for (int sent = 0; sent < sends; ++sent) {
        socket.Send(bytes.Value(), destination, port, adapter.address, adapter.interfaceIndex);
        const auto until = Clock::now() + std::chrono::milliseconds(intervalMs);
        for (;;) {
            if (stopped && stopped()) {
                return;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left <= 0) {
                break;
            }
            pollfd fd{socket.Fd(), POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(std::min<long>(left, kPollSliceMs))) <= 0) {
                continue;
            }
            // A bounded batch, so that a flood cannot hold the call past its time.
            CvNbtUdpPacket received;
            for (int read = 0; read < kReceiveBatch && socket.Receive(received); ++read) {
                if (unicast && received.sourceIp != destination) {
                    continue;
                }
                auto decoded = NbtNamePacket::Decode(received.data);
                if (!decoded || decoded.Value().trnId != packet.trnId ||
                    !decoded.Value().IsResponse() || decoded.Value().Opcode() != kNbtOpQuery ||
                    decoded.Value().Rcode() != 0 || decoded.Value().answers.empty()) {
                    continue;
                }
                if (take(decoded.Value(), received)) {
                    return;
                }
            }
        }
    }
}

}  // namespace

CvNbtNameClient::CvNbtNameClient() : m_ports(CvNbtPorts::FromEnvironment()) {}

std::vector<uint32_t> CvNbtNameClient::Query(const CvIpAdapter& adapter, const NbtName& name,
                                             int sends, int intervalMs, bool firstOnly,
                                             const StopCheck& stopped) const {
    std::vector<uint32_t> addresses;
    const auto packet =
        NbtNamePacketBuilder::NameQueryRequest(CvNbtContext::RandomTransactionId(), name, true);
    Exchange(packet, adapter.broadcast, false, m_ports.name, adapter, sends, intervalMs, stopped,
             [&](const NbtNamePacket& answer, const CvNbtUdpPacket& from) {
                 const auto& record = answer.answers.front();
                 if (record.type != kNbtTypeNb) {
                     return false;
                 }
                 auto holders = NbtNbAddress::DecodeList(record.rdata);
                 std::vector<uint32_t> given;
                 if (holders) {
                     for (const auto& holder : holders.Value()) {
                         given.push_back(holder.address);
                     }
                 }
                 if (given.empty()) {
                     given.push_back(from.sourceIp);
                 }
                 for (uint32_t address : given) {
                     if (address != 0 && std::find(addresses.begin(), addresses.end(), address) ==
                                             addresses.end()) {
                         addresses.push_back(address);
                     }
                 }
                 return firstOnly && !addresses.empty();
             });
    return addresses;
}

std::optional<NbtNodeStatus> CvNbtNameClient::NodeStatus(const CvIpAdapter& adapter,
                                                         uint32_t address, int sends,
                                                         int intervalMs,
                                                         const StopCheck& stopped) const {
    std::optional<NbtNodeStatus> status;
    const auto packet =
        NbtNamePacketBuilder::NodeStatusRequest(CvNbtContext::RandomTransactionId());
    Exchange(packet, address, true, m_ports.name, adapter, sends, intervalMs, stopped,
             [&](const NbtNamePacket& answer, const CvNbtUdpPacket&) {
                 const auto& record = answer.answers.front();
                 if (record.type != kNbtTypeNbstat) {
                     return false;
                 }
                 auto decoded = NbtNodeStatus::Decode(record.rdata);
                 if (!decoded) {
                     return false;
                 }
                 status = std::move(decoded).Value();
                 return true;
             });
    return status;
}

CvAdapterStatus CvNbtNameClient::ToAdapterStatus(const NbtNodeStatus& status) {
    CvAdapterStatus result;
    result.mac = status.UnitId();
    uint8_t number = 0;
    for (const auto& entry : status.names) {
        CvAdapterStatus::Name name;
        std::memcpy(name.name.data(), entry.name.Raw().data(), name.name.size());
        name.number = ++number;
        name.flags =
            (entry.flags & kNameFlagConflict) != 0 ? kDuplicateNameState : kNameFlagRegistered;
        if ((entry.flags & kNbFlagGroup) != 0) {
            name.flags |= kNameFlagGroup;
        }
        result.names.push_back(name);
    }
    return result;
}
