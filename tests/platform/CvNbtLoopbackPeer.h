#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/CvIpAdapters.h"
#include "platform/nbt/CvNbtPorts.h"
#include "platform/nbt/NbtNamePacket.h"
#include "platform/nbt/NbtNamePacketBuilder.h"
#include "platform/nbt/NbtNodeStatus.h"

// Other stations for tests of the NetBIOS code on the loopback interface:
// every 127.x.y.z address is local, so one process can play stations at
// several addresses, and 127.255.255.255 carries broadcasts.
namespace loopback {

inline constexpr uint32_t kStationIp = 0x7F000001;  // the station under test
inline constexpr uint32_t kPeerIp = 0x7F000009;     // another station
inline constexpr uint32_t kForgerIp = 0x7F00000A;   // a station that lies
inline constexpr uint32_t kBroadcast = 0x7FFFFFFF;

// NetBIOS ports of this test process, away from the ephemeral range and from
// the ports other test processes pick.
inline CvNbtPorts TestPorts() {
    const auto base = static_cast<uint16_t>(61000 + (getpid() % 1500) * 3);
    return CvNbtPorts{base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2)};
}

// The loopback interface as adapter 0 with the given address, 127/8.
inline CvIpAdapter Adapter(uint32_t address) {
    CvIpAdapter adapter;
    adapter.lana = 0;
    adapter.interfaceName = "lo";
    adapter.interfaceIndex = if_nametoindex("lo");
    adapter.address = address;
    adapter.netmask = 0xFF000000;
    adapter.broadcast = kBroadcast;
    return adapter;
}

inline sockaddr_in Endpoint(uint32_t address, uint16_t port) {
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    endpoint.sin_addr.s_addr = htonl(address);
    return endpoint;
}

struct Packet {
    NbtBytes data;
    uint32_t sourceIp = 0;
    uint16_t sourcePort = 0;
};

// A UDP socket bound to one address and port (with SO_REUSEADDR, so it
// shares the port with a socket bound to 0.0.0.0; the more specific one gets
// the unicast).
class UdpSocket {
public:
    UdpSocket(uint32_t address, uint16_t port) {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        const sockaddr_in endpoint = Endpoint(address, port);
        if (m_fd >= 0 &&
            (setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
             setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
             bind(m_fd, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0)) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~UdpSocket() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool IsOpen() const { return m_fd >= 0; }

    bool SendTo(std::span<const uint8_t> bytes, uint32_t address, uint16_t port) const {
        const sockaddr_in target = Endpoint(address, port);
        return sendto(m_fd, bytes.data(), bytes.size(), 0,
                      reinterpret_cast<const sockaddr*>(&target),
                      sizeof target) == static_cast<ssize_t>(bytes.size());
    }
    bool SendTo(const NbtNamePacket& packet, uint32_t address, uint16_t port) const {
        auto bytes = packet.Encode();
        return bytes && SendTo(bytes.Value(), address, port);
    }

    // The next packet to arrive within timeoutMs.
    std::optional<Packet> Receive(int timeoutMs) const {
        pollfd ready{m_fd, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        Packet packet;
        packet.data.resize(65536);
        sockaddr_in source{};
        socklen_t size = sizeof source;
        const ssize_t received =
            recvfrom(m_fd, packet.data.data(), packet.data.size(), MSG_DONTWAIT,
                     reinterpret_cast<sockaddr*>(&source), &size);
        if (received < 0) {
            return std::nullopt;
        }
        packet.data.resize(static_cast<size_t>(received));
        packet.sourceIp = ntohl(source.sin_addr.s_addr);
        packet.sourcePort = ntohs(source.sin_port);
        return packet;
    }

    // Drops what has arrived so far.
    void Drain() const {
        while (Receive(0)) {
        }
    }

    // The next name service packet within timeoutMs that match accepts;
    // others are skipped. Where it came from goes to `from` if given.
    std::optional<NbtNamePacket> NextNamePacket(
        int timeoutMs, const std::function<bool(const NbtNamePacket&)>& match,
        Packet* from = nullptr) const {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  until - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                return std::nullopt;
            }
            auto packet = Receive(static_cast<int>(left));
            if (!packet) {
                continue;
            }
            auto decoded = NbtNamePacket::Decode(packet->data);
            if (decoded && match(decoded.Value())) {
                if (from != nullptr) {
                    *from = *packet;
                }
                return decoded.Value();
            }
        }
    }

private:
    int m_fd = -1;
};

// A request (not a response) with opcode and a question for name.
inline std::function<bool(const NbtNamePacket&)> RequestFor(uint8_t opcode, const NbtName& name,
                                                            uint16_t type = kNbtTypeNb) {
    return [=](const NbtNamePacket& packet) {
        return !packet.IsResponse() && packet.Opcode() == opcode && !packet.questions.empty() &&
               packet.questions.front().name == name && packet.questions.front().type == type;
    };
}

inline NbtName Name(const char* text, uint8_t suffix = 0x03) {
    return NbtName::Make(text, suffix).Value();
}

// A node status answer that lists one active unique name, `holds`<03>.
inline NbtNamePacket StatusAnswer(uint16_t trnId, const char* holds) {
    const NbtNodeStatusEntry entry{Name(holds), kNameFlagActive};
    return NbtNamePacketBuilder::NodeStatusResponse(trnId, NbtName::Make("*", 0).Value(),
                                                    {&entry, 1}, {0x02, 0, 0, 0, 0, 9});
}

}  // namespace loopback
