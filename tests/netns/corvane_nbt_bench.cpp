// corvane-nbt-bench: measures the NetBIOS-over-TCP/IP stack between two
// stations against plain TCP and UDP on the same path. scripts/bench-nbt.sh
// runs it in two network namespaces. The plain side does what the stack
// does on the wire, without NetBIOS around it: a B-node finds a unique name
// by a broadcast query before every call and every datagram, so each plain
// call and datagram begins with a broadcast UDP question and its answer, and
// a call's session request and response become a 72-byte request and a
// 4-byte answer. Name registration is reported as time beside the
// protocol's own wait: nothing plain does that work.
//
//   server NAME                 registers NAME<03>, answers calls and counts
//                               datagrams; also a plain TCP echo, a UDP echo
//                               and sink, and a control port for the counters
//   client NAME SERVER-IP       measures and prints the table
//          [--rounds N]         calls and registrations measured (default 20)
//          [--datagrams K]      datagrams sent per throughput run (default 2000)
//
// The plain ports are kPlainTcpPort (TCP: handshake, echo), kPlainUdpPort
// (UDP: questions answered, other datagrams counted) and kControlPort (TCP,
// one line "STATS" or "RESET" per connection).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/CvEvent.h"
#include "platform/CvIpAdapters.h"
#include "platform/CvNcb.h"
#include "platform/nbt/CvNbtNameService.h"
#include "platform/nbt/CvNbtStack.h"

namespace {

constexpr uint16_t kPlainTcpPort = 9139;
constexpr uint16_t kPlainUdpPort = 9138;
constexpr uint16_t kControlPort = 9100;
constexpr size_t kMessageSize = 1024;
constexpr size_t kDatagramSize = 512;  // the largest the stack sends
// What the stack puts on the wire around them, for the plain side to match.
constexpr size_t kSessionFrameHeader = 4;
constexpr size_t kSessionRequestSize = 72;
constexpr size_t kSessionResponseSize = 4;
constexpr size_t kNameQuerySize = 50;
constexpr size_t kNameAnswerSize = 62;
constexpr size_t kDatagramHeaderSize = 82;  // direct unique datagram, two names
constexpr char kQuestion[] = "QURY";

using Clock = std::chrono::steady_clock;

int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void SetName(uint8_t (&field)[16], const std::string& name, uint8_t suffix) {
    CvSetNetbiosName(field, name.data(), std::min<size_t>(name.size(), 15), suffix);
}

// One station: the stack on its first adapter.
class Station {
public:
    bool Start() {
        uint8_t adapters[256] = {};
        CvNcb enumerate;
        enumerate.command = kNcbEnum;
        enumerate.buffer = adapters;
        enumerate.length = sizeof adapters;
        if (m_stack.Submit(enumerate) != kNrcGoodRet || adapters[0] == 0) {
            std::fprintf(stderr, "no adapter\n");
            return false;
        }
        m_lana = adapters[1];
        CvNcb reset;
        reset.command = kNcbReset;
        reset.lana = m_lana;
        const uint8_t code = m_stack.Submit(reset);
        if (code != kNrcGoodRet) {
            std::fprintf(stderr, "reset failed: 0x%02X\n", code);
        }
        return code == kNrcGoodRet;
    }

    uint8_t Run(CvNcb& ncb) {
        ncb.lana = m_lana;
        return m_stack.Submit(ncb);
    }

    uint8_t Add(const std::string& name, uint8_t& number) {
        CvNcb ncb;
        ncb.command = kNcbAddName;
        SetName(ncb.name, name, 0x03);
        const uint8_t code = Run(ncb);
        number = ncb.num;
        return code;
    }

    uint8_t Delete(const std::string& name, uint8_t number) {
        CvNcb ncb;
        ncb.command = kNcbDeleteName;
        ncb.num = number;
        SetName(ncb.name, name, 0x03);
        return Run(ncb);
    }

private:
    CvNbtStack m_stack;
    uint8_t m_lana = 0;
};

int Listener(int type, uint16_t port) {
    const int fd = socket(AF_INET, type, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (type == SOCK_STREAM && listen(fd, 16) != 0)) {
        std::perror("bind");
        std::exit(2);
    }
    return fd;
}

bool ReadAll(int fd, uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, data + done, size - done);
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t put = write(fd, data + done, size - done);
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

// Arrivals of one kind of datagram at the server.
struct Counter {
    std::mutex lock;
    int64_t count = 0;
    int64_t firstUs = 0;
    int64_t lastUs = 0;

    void Add() {
        std::lock_guard guard(lock);
        const int64_t now = NowUs();
        if (count++ == 0) {
            firstUs = now;
        }
        lastUs = now;
    }
    void Reset() {
        std::lock_guard guard(lock);
        count = firstUs = lastUs = 0;
    }
    std::string Text() {
        std::lock_guard guard(lock);
        return std::to_string(count) + " " + std::to_string(firstUs) + " " + std::to_string(lastUs);
    }
};

int Server(const std::string& name) {
    Station station;
    uint8_t number = 0;
    if (!station.Start() || station.Add(name, number) != kNrcGoodRet) {
        std::fprintf(stderr, "cannot register %s\n", name.c_str());
        return 2;
    }
    Counter nbtDatagrams;
    Counter udpDatagrams;

    // Several listens stay posted, as the session port keeps them, so that a
    // call arriving while the last one is being closed is answered.
    auto serveSessions = [&] {
        for (;;) {
            CvNcb listen;
            listen.command = kNcbListen;
            SetName(listen.name, name, 0x03);
            std::memset(listen.callname, ' ', sizeof listen.callname);
            listen.callname[0] = '*';
            if (station.Run(listen) != kNrcGoodRet) {
                continue;
            }
            uint8_t buffer[4096];
            CvNcb receive;
            receive.command = kNcbRecv;
            receive.lsn = listen.lsn;
            receive.buffer = buffer;
            receive.length = sizeof buffer;
            if (station.Run(receive) == kNrcGoodRet) {
                CvNcb send;
                send.command = kNcbSend;
                send.lsn = listen.lsn;
                send.buffer = buffer;
                send.length = receive.length;
                station.Run(send);
                receive.length = sizeof buffer;
                station.Run(receive);  // until the caller hangs up
            }
            CvNcb hangUp;
            hangUp.command = kNcbHangUp;
            hangUp.lsn = listen.lsn;
            station.Run(hangUp);
        }
    };
    std::vector<std::thread> sessions;
    for (int i = 0; i < 4; ++i) {
        sessions.emplace_back(serveSessions);
    }
    std::thread datagrams([&] {
        for (;;) {
            uint8_t buffer[1024];
            CvNcb receive;
            receive.command = kNcbRecvDatagram;
            receive.num = number;
            receive.buffer = buffer;
            receive.length = sizeof buffer;
            if (station.Run(receive) == kNrcGoodRet) {
                nbtDatagrams.Add();
            }
        }
    });
    const int tcp = Listener(SOCK_STREAM, kPlainTcpPort);
    std::thread tcpEcho([&] {
        for (;;) {
            const int fd = accept(tcp, nullptr, nullptr);
            if (fd < 0) {
                continue;
            }
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            uint8_t buffer[kSessionFrameHeader + kMessageSize];
            if (ReadAll(fd, buffer, kSessionRequestSize) &&
                WriteAll(fd, buffer, kSessionResponseSize) && ReadAll(fd, buffer, sizeof buffer)) {
                WriteAll(fd, buffer, sizeof buffer);
                ReadAll(fd, buffer, 1);  // until the client closes
            }
            close(fd);
        }
    });
    const int udp = Listener(SOCK_DGRAM, kPlainUdpPort);
    std::thread udpSink([&] {
        for (;;) {
            uint8_t buffer[2048];
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = recvfrom(udp, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got >= 4 && std::memcmp(buffer, kQuestion, 4) == 0) {
                sendto(udp, buffer, kNameAnswerSize, 0, reinterpret_cast<sockaddr*>(&from),
                       fromLength);
            } else if (got > 0) {
                udpDatagrams.Add();
            }
        }
    });
    const int control = Listener(SOCK_STREAM, kControlPort);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        const int fd = accept(control, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        char line[16] = {};
        const ssize_t got = read(fd, line, sizeof line - 1);
        std::string reply;
        if (got >= 5 && std::strncmp(line, "RESET", 5) == 0) {
            nbtDatagrams.Reset();
            udpDatagrams.Reset();
            reply = "ok\n";
        } else {
            reply = nbtDatagrams.Text() + " " + udpDatagrams.Text() + "\n";
        }
        WriteAll(fd, reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
        close(fd);
    }
}

sockaddr_in Address(const std::string& ip, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    return address;
}

int Connect(const std::string& ip, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Address(ip, port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

std::string Control(const std::string& ip, const char* request) {
    const int fd = Connect(ip, kControlPort);
    if (fd < 0) {
        return {};
    }
    WriteAll(fd, reinterpret_cast<const uint8_t*>(request), std::strlen(request));
    char reply[256] = {};
    size_t done = 0;
    ssize_t got = 0;
    while (done < sizeof reply - 1 && (got = read(fd, reply + done, sizeof reply - 1 - done)) > 0) {
        done += static_cast<size_t>(got);
    }
    close(fd);
    return reply;
}

struct Arrivals {
    int64_t count = 0;
    int64_t firstUs = 0;
    int64_t lastUs = 0;
};

// The server's counters: NetBIOS datagrams, then UDP.
std::pair<Arrivals, Arrivals> Stats(const std::string& ip) {
    Arrivals nbt;
    Arrivals udp;
    const std::string text = Control(ip, "STATS\n");
    long long values[6] = {};
    if (std::sscanf(text.c_str(), "%lld %lld %lld %lld %lld %lld", &values[0], &values[1],
                    &values[2], &values[3], &values[4], &values[5]) == 6) {
        nbt = {values[0], values[1], values[2]};
        udp = {values[3], values[4], values[5]};
    }
    return {nbt, udp};
}

// The server's counter of one kind once it holds `sent` or has stopped
// growing for half a second (lost datagrams); at most 10 s.
Arrivals Settled(const std::string& ip, int sent, bool netbios) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    Arrivals last;
    auto grew = Clock::now();
    while (Clock::now() < deadline) {
        const auto stats = Stats(ip);
        const Arrivals now = netbios ? stats.first : stats.second;
        if (now.count != last.count) {
            grew = Clock::now();
        }
        last = now;
        if (last.count >= sent || Clock::now() - grew > std::chrono::milliseconds(500)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return last;
}

void Row(const char* what, double nbt, double plain, const char* unit, const char* plainWhat) {
    std::printf("%-34s %12.3f %12.3f %-7s %9.2f   (plain: %s)\n", what, nbt, plain, unit,
                plain > 0 ? nbt / plain : 0.0, plainWhat);
}

int Client(const std::string& serverName, const std::string& serverIp, int rounds,
           int datagramCount) {
    Station station;
    uint8_t clientNumber = 0;
    if (!station.Start() || station.Add("BENCHCLIENT", clientNumber) != kNrcGoodRet) {
        std::fprintf(stderr, "cannot register BENCHCLIENT\n");
        return 2;
    }
    const std::vector<CvIpAdapter> adapters = CvEnumerateIpAdapters();
    if (adapters.empty()) {
        std::fprintf(stderr, "no adapter for the plain side\n");
        return 2;
    }
    const int udp = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(udp, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const timeval wait{0, 250000};  // as the stack waits between its queries
    setsockopt(udp, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const sockaddr_in udpServer = Address(serverIp, kPlainUdpPort);
    sockaddr_in udpBroadcast = udpServer;
    udpBroadcast.sin_addr.s_addr = htonl(adapters.front().broadcast);
    // The plain side's name query: a question to everyone, one answer.
    auto question = [&] {
        uint8_t packet[std::max(kNameQuerySize, kNameAnswerSize)] = {};
        for (int send = 0; send < 3; ++send) {
            std::memcpy(packet, kQuestion, 4);
            sendto(udp, packet, kNameQuerySize, 0, reinterpret_cast<const sockaddr*>(&udpBroadcast),
                   sizeof udpBroadcast);
            if (recv(udp, packet, sizeof packet, 0) == static_cast<ssize_t>(kNameAnswerSize)) {
                return true;
            }
        }
        return false;
    };

    // 1. Registering a name: a B-node broadcasts its request and may use the
    // name only after a silence in which nobody defended it, so this is
    // reported as time beside that protocol wait, not as a ratio to a round
    // trip.
    const int registrations = std::min(rounds, 5);
    std::vector<double> registerTimes;
    for (int i = 0; i < registrations; ++i) {
        const std::string name = "BENCHREG" + std::to_string(i);
        uint8_t number = 0;
        const auto start = Clock::now();
        if (station.Add(name, number) != kNrcGoodRet) {
            std::fprintf(stderr, "registration of %s failed\n", name.c_str());
            return 2;
        }
        registerTimes.push_back(MsSince(start));
        station.Delete(name, number);
    }
    double registerMs = 0;
    for (const double time : registerTimes) {
        registerMs += time;
    }
    registerMs /= registrations;
    const auto [registerMin, registerMax] =
        std::minmax_element(registerTimes.begin(), registerTimes.end());

    // 2. Call (name query, connection, session request), one 1 KiB message,
    // its 1 KiB reply, hang up; against the same exchanges in plain UDP and
    // TCP.
    std::vector<uint8_t> message(kMessageSize, 'm');
    double callMs = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        CvNcb call;
        call.command = kNcbCall;
        SetName(call.callname, serverName, 0x03);
        SetName(call.name, "BENCHCLIENT", 0x03);
        call.rto = call.sto = 10;
        if (station.Run(call) != kNrcGoodRet) {
            std::fprintf(stderr, "call failed: 0x%02X\n", call.retcode.load());
            return 2;
        }
        CvNcb send;
        send.command = kNcbSend;
        send.lsn = call.lsn;
        send.buffer = message.data();
        send.length = static_cast<uint16_t>(message.size());
        uint8_t reply[4096];
        CvNcb receive;
        receive.command = kNcbRecv;
        receive.lsn = call.lsn;
        receive.buffer = reply;
        receive.length = sizeof reply;
        const bool ok = station.Run(send) == kNrcGoodRet && station.Run(receive) == kNrcGoodRet &&
                        receive.length == kMessageSize;
        CvNcb hangUp;
        hangUp.command = kNcbHangUp;
        hangUp.lsn = call.lsn;
        station.Run(hangUp);
        if (!ok) {
            std::fprintf(stderr, "session exchange failed\n");
            return 2;
        }
        callMs += MsSince(start);
    }
    callMs /= rounds;
    double tcpMs = 0;
    std::vector<uint8_t> request(kSessionRequestSize, 'r');
    std::vector<uint8_t> framed(kSessionFrameHeader + kMessageSize, 'm');
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        const int fd = question() ? Connect(serverIp, kPlainTcpPort) : -1;
        uint8_t reply[kSessionFrameHeader + kMessageSize];
        const bool ok = fd >= 0 && WriteAll(fd, request.data(), request.size()) &&
                        ReadAll(fd, reply, kSessionResponseSize) &&
                        WriteAll(fd, framed.data(), framed.size()) &&
                        ReadAll(fd, reply, sizeof reply);
        if (fd >= 0) {
            close(fd);
        }
        if (!ok) {
            std::fprintf(stderr, "TCP exchange failed\n");
            return 2;
        }
        tcpMs += MsSince(start);
    }
    tcpMs /= rounds;

    // 3. Datagram throughput: K datagrams of 512 bytes back to back to the
    // server's unique name (each after a name query); against K plain
    // questions, each answered and followed by a UDP datagram of the same
    // size on the wire.
    std::vector<uint8_t> payload(kDatagramSize, 'd');
    std::vector<uint8_t> plainDatagram(kDatagramHeaderSize + kDatagramSize, 'd');
    Control(serverIp, "RESET\n");
    const int64_t nbtStartUs = NowUs();
    int nbtSent = 0;
    for (int i = 0; i < datagramCount; ++i) {
        CvNcb send;
        send.command = kNcbSendDatagram;
        send.num = clientNumber;
        SetName(send.callname, serverName, 0x03);
        send.buffer = payload.data();
        send.length = static_cast<uint16_t>(payload.size());
        nbtSent += station.Run(send) == kNrcGoodRet ? 1 : 0;
    }
    const int64_t nbtSendUs = NowUs() - nbtStartUs;
    const Arrivals nbt = Settled(serverIp, nbtSent, true);

    Control(serverIp, "RESET\n");
    const int64_t udpStartUs = NowUs();
    int udpSent = 0;
    for (int i = 0; i < datagramCount; ++i) {
        udpSent += question() && sendto(udp, plainDatagram.data(), plainDatagram.size(), 0,
                                        reinterpret_cast<const sockaddr*>(&udpServer),
                                        sizeof udpServer) > 0
                       ? 1
                       : 0;
    }
    const int64_t udpSendUs = NowUs() - udpStartUs;
    const Arrivals udpArrivals = Settled(serverIp, udpSent, false);
    close(udp);

    // Received bytes over the time from the first send to the last arrival.
    auto kibPerSecond = [](const Arrivals& arrivals, int64_t startUs) {
        const int64_t spanUs = std::max<int64_t>(arrivals.lastUs - startUs, 1);
        return arrivals.count * static_cast<double>(kDatagramSize) / 1024.0 / (spanUs / 1e6);
    };
    const double nbtRate = kibPerSecond(nbt, nbtStartUs);
    const double udpRate = kibPerSecond(udpArrivals, udpStartUs);

    std::printf("%-34s %12s %12s %-7s %9s\n", "measure", "NetBIOS", "plain", "unit", "ratio");
    Row("call + 1 KiB message + reply", callMs, tcpMs, "ms",
        "broadcast question and answer, connect, 72/4-byte handshake, 1 KiB each way, close");
    Row("datagram throughput (512 B each)", nbtRate, udpRate, "KiB/s",
        "per datagram a broadcast question and answer, then a datagram of the same size");
    std::printf(
        "datagrams: NetBIOS %d sent in %.0f ms, %lld received; UDP %d sent in %.0f ms, "
        "%lld received\n",
        nbtSent, nbtSendUs / 1000.0, static_cast<long long>(nbt.count), udpSent, udpSendUs / 1000.0,
        static_cast<long long>(udpArrivals.count));
    std::printf(
        "register a unique name: mean %.1f ms (min %.1f, max %.1f) over %d; the protocol's "
        "silence for a defence is %d ms of it, the rest %.1f ms\n",
        registerMs, *registerMin, *registerMax, registrations,
        CvNbtNameService::kRegistrationWaitMs, registerMs - CvNbtNameService::kRegistrationWaitMs);
    std::printf("rounds: %d calls, %d registrations, %d datagrams\n", rounds, registrations,
                datagramCount);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    int rounds = 20;
    int datagrams = 2000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--datagrams" && i + 1 < argc) {
            datagrams = std::max(1, std::atoi(argv[++i]));
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() == 2 && positional[0] == "server") {
        return Server(positional[1]);
    }
    if (positional.size() == 3 && positional[0] == "client") {
        return Client(positional[1], positional[2], rounds, datagrams);
    }
    std::fprintf(stderr,
                 "usage: corvane-nbt-bench server NAME\n"
                 "       corvane-nbt-bench client NAME SERVER-IP [--rounds N] [--datagrams K]\n");
    return 1;
}
