// corvane-hostile-peer: a LAN peer that misbehaves on purpose, for the flood
// and fault suite in network namespaces.
//
//   udp-flood TARGET --rate N --seconds S
//       N packets per second to TARGET's name (137) and datagram (138)
//       ports for S seconds: name queries for random names, registrations,
//       node status requests, malformed packets and group datagrams with
//       random data to MESSNGR; prints "sent COUNT".
//   sessions TARGET NAME --trickle K --flood F --idle I --seconds S
//       K sessions to NAME<03> that send Send Start and then one Send Text
//       every 5 s; F sessions that stream 128 KiB session messages as fast
//       as the station takes them; I connections that never finish their
//       session request. All held for S seconds; prints what it opened and
//       "done".
//
// TARGET is an IPv4 address. Exit code 0, or 1 on a usage error.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtDatagramPacket.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtNamePacket.h"
#include "platform/nbt/NbtNamePacketBuilder.h"
#include "platform/nbt/NbtSessionFrame.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::vector<std::string> positional;
    long rate = 10000;
    long seconds = 10;
    long trickle = 0;
    long flood = 0;
    long idle = 0;
};

NbtName Name(const std::string& text, uint8_t suffix) {
    auto name = NbtName::Make(text, suffix);
    return name ? name.Value() : NbtName();
}

sockaddr_in Address(const std::string& ip, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    return address;
}

std::string RandomName(std::mt19937& random) {
    std::string name;
    for (int i = 0; i < 8; ++i) {
        name += static_cast<char>('A' + random() % 26);
    }
    return name;
}

// An SMB header followed by word and byte blocks, as the messenger commands
// carry them.
NbtBytes Smb(uint8_t command, const std::vector<uint16_t>& words, const NbtBytes& bytes) {
    NbtBytes pdu = {0xFF, 'S', 'M', 'B', command};
    pdu.resize(32, 0);
    pdu.push_back(static_cast<uint8_t>(words.size()));
    for (uint16_t word : words) {
        pdu.push_back(static_cast<uint8_t>(word & 0xFF));
        pdu.push_back(static_cast<uint8_t>(word >> 8));
    }
    pdu.push_back(static_cast<uint8_t>(bytes.size() & 0xFF));
    pdu.push_back(static_cast<uint8_t>(bytes.size() >> 8));
    pdu.insert(pdu.end(), bytes.begin(), bytes.end());
    return pdu;
}

NbtBytes SendStart(const std::string& from, const std::string& to) {
    NbtBytes bytes = {0x04};
    bytes.insert(bytes.end(), from.begin(), from.end());
    bytes.push_back(0);
    bytes.push_back(0x04);
    bytes.insert(bytes.end(), to.begin(), to.end());
    bytes.push_back(0);
    return Smb(0xD5, {}, bytes);
}

NbtBytes SendText(uint16_t group, const std::string& text) {
    NbtBytes bytes = {0x01, static_cast<uint8_t>(text.size()), 0};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return Smb(0xD7, {group}, bytes);
}

bool SendAll(int fd, const NbtBytes& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool SendFrame(int fd, const NbtSessionFrame& frame) {
    const auto bytes = frame.Encode();
    return bytes && SendAll(fd, bytes.Value());
}

int Connect(const std::string& target) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Address(target, kNbtSessionPort);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}

// A session to NAME<03>; -1 when the station refused or did not answer.
int OpenSession(const std::string& target, const std::string& name, const std::string& from) {
    const int fd = Connect(target);
    if (fd < 0) {
        return -1;
    }
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    uint8_t response[4];
    if (!SendFrame(fd, NbtSessionFrame::SessionRequest(Name(name, 0x03), Name(from, 0x03))) ||
        recv(fd, response, sizeof response, MSG_WAITALL) != 4 ||
        response[0] != kSsnPositiveResponse) {
        close(fd);
        return -1;
    }
    return fd;
}

int UdpFlood(const Options& options) {
    const std::string& target = options.positional[1];
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
    const sockaddr_in names = Address(target, kNbtNamePort);
    const sockaddr_in datagrams = Address(target, kNbtDatagramPort);
    std::mt19937 random(12345);
    long sent = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(options.seconds);
    const auto period = std::chrono::nanoseconds(1000000000L / std::max(1L, options.rate));
    auto next = start;
    while (Clock::now() < end) {
        NbtBytes packet;
        const sockaddr_in* to = &names;
        const auto trnId = static_cast<uint16_t>(random());
        switch (sent % 6) {
            case 0:
                packet = NbtNamePacketBuilder::NameQueryRequest(
                             trnId, Name(RandomName(random), 0x03), true)
                             .Encode()
                             .Value();
                break;
            case 1:
                packet = NbtNamePacketBuilder::RegistrationRequest(
                             trnId, Name(RandomName(random), 0x00), 0, 0x0A000001)
                             .Encode()
                             .Value();
                break;
            case 2:
                packet = NbtNamePacketBuilder::NodeStatusRequest(trnId).Encode().Value();
                break;
            case 3:
                packet.resize(random() % 600);
                for (uint8_t& byte : packet) {
                    byte = static_cast<uint8_t>(random());
                }
                to = random() % 2 ? &names : &datagrams;
                break;
            default: {
                NbtDatagramPacket datagram;
                datagram.msgType = kDgmDirectGroup;
                datagram.dgmId = trnId;
                datagram.sourceIp = 0x0A000001;
                datagram.sourceName = Name(RandomName(random), 0x00);
                datagram.destinationName = Name("WORKGROUP", 0x00);
                datagram.userData.resize(random() % 400);
                for (uint8_t& byte : datagram.userData) {
                    byte = static_cast<uint8_t>(random());
                }
                packet = datagram.Encode().Value();
                to = &datagrams;
                break;
            }
        }
        sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(to),
               sizeof *to);
        ++sent;
        next += period;
        const auto now = Clock::now();
        if (next > now) {
            std::this_thread::sleep_for(next - now);
        }
    }
    close(fd);
    std::printf("sent %ld in %.1f s\n", sent,
                std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}

int Sessions(const Options& options) {
    const std::string& target = options.positional[1];
    const std::string& name = options.positional[2];
    std::vector<int> trickling;
    std::vector<int> flooding;
    std::vector<int> idle;
    for (long i = 0; i < options.trickle; ++i) {
        const int fd = OpenSession(target, name, "TRICKLE" + std::to_string(i));
        if (fd >= 0 && SendFrame(fd, NbtSessionFrame::SessionMessage(SendStart("SLOW", name)))) {
            trickling.push_back(fd);
        } else if (fd >= 0) {
            close(fd);
        }
    }
    for (long i = 0; i < options.flood; ++i) {
        const int fd = OpenSession(target, name, "FLOOD" + std::to_string(i));
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            flooding.push_back(fd);
        }
    }
    // Last: the station makes idle callers from one address give way only
    // once they are a second old, and the sessions above must get in first.
    for (long i = 0; i < options.idle; ++i) {
        const int fd = Connect(target);
        if (fd >= 0) {
            // Half a session request header, then nothing.
            const uint8_t half[2] = {kSsnRequest, 0};
            send(fd, half, sizeof half, MSG_NOSIGNAL);
            idle.push_back(fd);
        }
    }
    std::printf("opened idle=%zu trickle=%zu flood=%zu\n", idle.size(), trickling.size(),
                flooding.size());
    std::fflush(stdout);

    // The largest frame the session service carries (17-bit length).
    NbtBytes big(kSsnMaxLength, 'F');
    const auto bigFrame = NbtSessionFrame::SessionMessage(big).Encode().Value();
    const auto end = Clock::now() + std::chrono::seconds(options.seconds);
    auto nextTrickle = Clock::now() + std::chrono::seconds(5);
    uint64_t floodBytes = 0;
    std::vector<size_t> offsets(flooding.size(), 0);
    while (Clock::now() < end) {
        if (Clock::now() >= nextTrickle) {
            for (int fd : trickling) {
                SendFrame(fd, NbtSessionFrame::SessionMessage(SendText(1, "still here")));
            }
            nextTrickle += std::chrono::seconds(5);
        }
        std::vector<pollfd> items;
        for (int fd : flooding) {
            items.push_back({fd, POLLOUT, 0});
        }
        poll(items.data(), items.size(), 100);
        for (size_t i = 0; i < items.size(); ++i) {
            if ((items[i].revents & POLLOUT) == 0) {
                continue;
            }
            const ssize_t n = send(items[i].fd, bigFrame.data() + offsets[i],
                                   bigFrame.size() - offsets[i], MSG_NOSIGNAL);
            if (n > 0) {
                floodBytes += static_cast<uint64_t>(n);
                offsets[i] = (offsets[i] + static_cast<size_t>(n)) % bigFrame.size();
            }
        }
    }
    for (const auto* list : {&idle, &trickling, &flooding}) {
        for (int fd : *list) {
            close(fd);
        }
    }
    std::printf("flooded %llu bytes\ndone\n", static_cast<unsigned long long>(floodBytes));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&](long& out) {
            if (i + 1 < argc) {
                out = std::atol(argv[++i]);
            }
        };
        if (arg == "--rate") {
            number(options.rate);
        } else if (arg == "--seconds") {
            number(options.seconds);
        } else if (arg == "--trickle") {
            number(options.trickle);
        } else if (arg == "--flood") {
            number(options.flood);
        } else if (arg == "--idle") {
            number(options.idle);
        } else {
            options.positional.push_back(arg);
        }
    }
    if (options.positional.size() == 2 && options.positional[0] == "udp-flood") {
        return UdpFlood(options);
    }
    if (options.positional.size() == 3 && options.positional[0] == "sessions") {
        return Sessions(options);
    }
    std::fprintf(stderr,
                 "usage: corvane-hostile-peer udp-flood TARGET --rate N --seconds S\n"
                 "       corvane-hostile-peer sessions TARGET NAME --trickle K --flood F "
                 "--idle I --seconds S\n");
    return 1;
}
