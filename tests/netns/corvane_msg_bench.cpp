// corvane-msg-bench: sends personal messages through a real station's outbox
// and measures them. scripts/bench-messaging.sh runs it in a network
// namespace against a `corvane listen` station in another.
//
//   USER COMPUTER WORKGROUP RECIPIENT   the sending station's names and the
//                                       receiver's name
//   [--count N]                         messages per phase (default 200)
//   [--length L]                        characters per text (default 100)
//   [--burst-only]                      only the first phase; its result line
//                                       also has the burst's start and end on
//                                       CLOCK_MONOTONIC (start_ns, end_ns)
//   [--codes FILE]                      writes "CODE TEXT" per burst message
//
// Three phases of N messages each, all in this one process: a burst through
// the station's outbox (all N queued at once; messages per second from the
// first enqueue to the last result), the outbox one at a time (each queued
// when the previous result is in; latency = enqueue to result), and the
// baseline: the same exchanges with plain sockets, one message after the
// other (PlainSender), timed the same way. The last line is
// "result KEY=VALUE..." for the script; the exit code is 1 when a message
// failed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "messaging/CMsg.h"
#include "messaging/CvMsgOutboxSendResult.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvEvent.h"
#include "platform/CvIpAdapters.h"
#include "platform/CvWaitable.h"
#include "platform/nbt/CvNbtPorts.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kRegisterWaitMs = 15000;
constexpr uint32_t kResultWaitMs = 60000;

// Records when each message's result arrived and how it went.
class ResultLog : public CvUnaryFunction<void, CvMsgOutboxSendResult&> {
public:
    explicit ResultLog(size_t count) : m_done(count), m_codes(count, 0) {}

    void Invoke(CvMsgOutboxSendResult& result) override {
        std::lock_guard guard(m_lock);
        const auto index = static_cast<size_t>(result.id);
        if (index < m_done.size()) {
            m_done[index] = Clock::now();
            m_codes[index] = result.code;
            if (++m_results == m_done.size()) {
                m_allDone.Set();
            }
        }
        m_oneDone.Set();
    }

    Clock::time_point Done(size_t index) {
        std::lock_guard guard(m_lock);
        return m_done[index];
    }
    int32_t Code(size_t index) {
        std::lock_guard guard(m_lock);
        return m_codes[index];
    }
    CvEvent& OneDone() { return m_oneDone; }
    CvEvent& AllDone() { return m_allDone; }

private:
    std::mutex m_lock;
    std::vector<Clock::time_point> m_done;
    std::vector<int32_t> m_codes;
    size_t m_results = 0;
    CvEvent m_oneDone{false, false};
    CvEvent m_allDone{true, false};
};

static_assert(Clock::is_steady);

// Nanoseconds of CLOCK_MONOTONIC, which steady_clock reads on Linux.
int64_t MonotonicNs(Clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

double Ms(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

// The value below which `fraction` of the sorted values lie (nearest rank).
double Percentile(const std::vector<double>& sorted, double fraction) {
    const size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999);
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

struct Summary {
    double mean = 0;
    double p50 = 0;
    double p95 = 0;
    double max = 0;
};

Summary Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (const double value : values) {
        sum += value;
    }
    return {sum / static_cast<double>(values.size()), Percentile(values, 0.5),
            Percentile(values, 0.95), values.back()};
}

// `length` characters, numbered so that every message is distinct.
std::string Text(size_t number, size_t length) {
    std::string text = "bench " + std::to_string(number) + " ";
    while (text.size() < length) {
        text += static_cast<char>('a' + text.size() % 26);
    }
    text.resize(length);
    return text;
}

CMsg Message(const std::string& sender, const std::string& recipient, std::string text) {
    CMsg msg;
    msg.type = MsgPersonal;
    msg.sender = sender;
    msg.address = recipient;
    msg.recipient = recipient;
    msg.text = std::move(text);
    return msg;
}

// Sends a personal message the way the outbox's send does on the wire, with
// plain sockets and nothing else: a broadcast name query for RECIPIENT<03>
// (up to 3 sends 250 ms apart), a TCP connection to the address that
// answered, the NetBIOS session request, the SMB message commands with their
// replies (SendMessage), close. It is the in-process baseline of the outbox
// rows: the protocol's own cost without the station around it. Texts must
// be ASCII (the same bytes in every OEM code page).
class PlainSender {
public:
    PlainSender(uint32_t broadcast, CvNbtPorts ports, std::string sender, std::string recipient)
        : m_broadcast(broadcast),
          m_ports(ports),
          m_sender(std::move(sender)),
          m_recipient(std::move(recipient)) {}

    // False, with the reason on standard error, when the message was not
    // acknowledged.
    bool Send(const std::string& text) {
        const std::optional<in_addr_t> address = Resolve();
        if (!address) {
            std::fprintf(stderr, "plain sender: nobody answered for %s<03>\n", m_recipient.c_str());
            return false;
        }
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const timeval timeout{10, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(m_ports.session);
        peer.sin_addr.s_addr = *address;
        const bool sent = connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 &&
                          OpenSession(fd) && SendMessage(fd, text);
        close(fd);
        return sent;
    }

private:
    // The first-level encoding of NAME<03> with its length byte and the
    // empty scope: 34 bytes.
    static std::string EncodedName(const std::string& name) {
        std::string raw = name.substr(0, 15);
        raw.resize(15, ' ');
        raw += '\x03';
        std::string encoded(1, '\x20');
        for (const char c : raw) {
            const auto byte = static_cast<uint8_t>(c);
            encoded += static_cast<char>('A' + (byte >> 4));
            encoded += static_cast<char>('A' + (byte & 0x0F));
        }
        encoded += '\0';
        return encoded;
    }

    static void PutWord(std::string& out, uint16_t value) {  // big-endian
        out += static_cast<char>(value >> 8);
        out += static_cast<char>(value & 0xFF);
    }

    std::optional<in_addr_t> Resolve() const {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        const timeval wait{0, 250000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        uint16_t id = 0;
        [[maybe_unused]] const ssize_t random = getrandom(&id, sizeof id, 0);
        std::string query;
        PutWord(query, id);
        PutWord(query, 0x0110);  // query, recursion desired, broadcast
        PutWord(query, 1);       // one question
        PutWord(query, 0);
        PutWord(query, 0);
        PutWord(query, 0);
        query += EncodedName(m_recipient);
        PutWord(query, 0x0020);  // NB
        PutWord(query, 0x0001);  // IN
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_ports.name);
        to.sin_addr.s_addr = htonl(m_broadcast);
        std::optional<in_addr_t> answer;
        for (int send = 0; send < 3 && !answer; ++send) {
            sendto(fd, query.data(), query.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof to);
            uint8_t packet[576];
            ssize_t got = 0;
            while (!answer && (got = recv(fd, packet, sizeof packet, 0)) > 0) {
                answer = Answer(packet, static_cast<size_t>(got), id);
            }
        }
        close(fd);
        return answer;
    }

    // The first address of a positive answer to query `id`.
    static std::optional<in_addr_t> Answer(const uint8_t* packet, size_t size, uint16_t id) {
        auto word = [packet](size_t at) {
            return static_cast<uint16_t>(packet[at] << 8 | packet[at + 1]);
        };
        if (size < 12 || word(0) != id || (word(2) & 0x8000) == 0 || (word(2) & 0x000F) != 0 ||
            word(6) == 0) {
            return std::nullopt;
        }
        size_t at = 12;
        if (at < size && (packet[at] & 0xC0) == 0xC0) {
            at += 2;  // a pointer to a name
        } else {
            while (at < size && packet[at] != 0) {
                at += 1 + packet[at];
            }
            ++at;
        }
        // TYPE, CLASS, TTL, RDLENGTH, then NB_FLAGS and the address.
        if (at + 16 > size || word(at) != 0x0020) {
            return std::nullopt;
        }
        in_addr_t address;
        std::memcpy(&address, packet + at + 12, sizeof address);
        return address;
    }

    static bool WriteAll(int fd, const std::string& data) {
        size_t done = 0;
        while (done < data.size()) {
            const ssize_t put = write(fd, data.data() + done, data.size() - done);
            if (put <= 0) {
                return false;
            }
            done += static_cast<size_t>(put);
        }
        return true;
    }

    static bool ReadAll(int fd, uint8_t* data, size_t size) {
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

    bool OpenSession(int fd) const {
        std::string request = {'\x81', '\0'};
        PutWord(request, 68);
        request += EncodedName(m_recipient) + EncodedName(m_sender);
        uint8_t response[4];
        if (!WriteAll(fd, request) || !ReadAll(fd, response, sizeof response) ||
            response[0] != 0x82) {
            std::fprintf(stderr, "plain sender: the session was refused\n");
            return false;
        }
        return true;
    }

    // Single Block for up to 128 characters, else Start, Text per 128
    // characters, End: as the outbox sends them.
    bool SendMessage(int fd, const std::string& text) const {
        const std::string names = '\x04' + m_sender + '\0' + '\x04' + m_recipient + '\0';
        if (text.size() <= kSingleBlockLength) {
            return Transact(fd, kSendSingle, {}, names + Block(text)).has_value();
        }
        const std::optional<std::vector<uint8_t>> start = Transact(fd, kSendStart, {}, names);
        // The reply's one parameter word is the message group.
        if (!start || start->size() < 35 || (*start)[32] != 1) {
            return false;
        }
        const uint16_t group = static_cast<uint16_t>((*start)[33] | (*start)[34] << 8);
        for (size_t offset = 0; offset < text.size(); offset += kSingleBlockLength) {
            if (!Transact(fd, kSendText, {group}, Block(text.substr(offset, kSingleBlockLength)))) {
                return false;
            }
        }
        return Transact(fd, kSendEnd, {group}, {}).has_value();
    }

    static std::string Block(const std::string& text) {
        std::string block(1, '\x01');
        block += static_cast<char>(text.size() & 0xFF);
        block += static_cast<char>(text.size() >> 8);
        return block + text;
    }

    // Sends one SMB request in a session message and reads its reply; the
    // reply's SMB bytes, or nothing when it is missing or an error.
    static std::optional<std::vector<uint8_t>> Transact(int fd, uint8_t command,
                                                        const std::vector<uint16_t>& words,
                                                        const std::string& data) {
        std::string smb = {'\xFF', 'S', 'M', 'B', static_cast<char>(command)};
        smb.resize(32, '\0');  // status, flags, ids: all 0
        smb += static_cast<char>(words.size());
        for (const uint16_t word : words) {
            smb += static_cast<char>(word & 0xFF);
            smb += static_cast<char>(word >> 8);
        }
        smb += static_cast<char>(data.size() & 0xFF);
        smb += static_cast<char>(data.size() >> 8);
        smb += data;
        std::string frame = {'\0', '\0'};
        PutWord(frame, static_cast<uint16_t>(smb.size()));
        if (!WriteAll(fd, frame + smb)) {
            std::fprintf(stderr, "plain sender: the request could not be written\n");
            return std::nullopt;
        }
        for (;;) {
            uint8_t header[4];
            if (!ReadAll(fd, header, sizeof header)) {
                std::fprintf(stderr, "plain sender: no reply\n");
                return std::nullopt;
            }
            const size_t length =
                static_cast<size_t>((header[1] & 1) << 16 | header[2] << 8 | header[3]);
            std::vector<uint8_t> body(length);
            if (!ReadAll(fd, body.data(), body.size())) {
                std::fprintf(stderr, "plain sender: the reply was cut short\n");
                return std::nullopt;
            }
            if (header[0] != 0x00) {
                continue;  // keep-alive
            }
            // The same command, error class 0, error code 0.
            if (body.size() < 33 || body[4] != command || body[5] != 0 || body[7] != 0 ||
                body[8] != 0) {
                std::fprintf(stderr, "plain sender: the reply is an error\n");
                return std::nullopt;
            }
            return body;
        }
    }

    static constexpr size_t kSingleBlockLength = 128;
    static constexpr uint8_t kSendSingle = 0xD0;
    static constexpr uint8_t kSendStart = 0xD5;
    static constexpr uint8_t kSendEnd = 0xD6;
    static constexpr uint8_t kSendText = 0xD7;

    uint32_t m_broadcast;  // host byte order
    CvNbtPorts m_ports;
    std::string m_sender;
    std::string m_recipient;
};

int Run(const std::string& user, const std::string& computer, const std::string& workgroup,
        const std::string& recipient, size_t count, size_t length, bool burstOnly,
        const std::string& codesFile) {
    CvStationSettings settings;
    settings.userName = user;
    settings.computerName = computer;
    settings.workgroup = workgroup;
    auto station = CvStation::CreateReal(settings);
    station->SetWatchPeriod(100);
    const auto startup = Clock::now();
    station->Start();
    if (!station->WaitRegistered(kRegisterWaitMs)) {
        std::fprintf(stderr, "corvane-msg-bench: the station's names did not register\n");
        return 2;
    }
    const double registerMs = Ms(Clock::now() - startup);

    // Burst: everything queued at once.
    ResultLog burst(count);
    const auto burstStart = Clock::now();
    for (size_t i = 0; i < count; ++i) {
        station->Enqueue(Message(user, recipient, Text(i, length)), &burst,
                         static_cast<int32_t>(i));
    }
    const bool finished = burst.AllDone().Wait(kResultWaitMs) == kWaitObject0;
    if (!codesFile.empty()) {
        // Written even when the burst did not finish: a message without a
        // result has code 0.
        if (std::FILE* codes = std::fopen(codesFile.c_str(), "w")) {
            for (size_t i = 0; i < count; ++i) {
                std::fprintf(codes, "%d %s\n", burst.Code(i), Text(i, length).c_str());
            }
            std::fclose(codes);
        }
    }
    if (!finished) {
        // The sends still running report to `burst`: they end first.
        station->Stop();
        std::fprintf(stderr, "corvane-msg-bench: the burst did not finish in time\n");
        return 2;
    }
    Clock::time_point burstEnd = burstStart;
    size_t burstFailed = 0;
    for (size_t i = 0; i < count; ++i) {
        burstEnd = std::max(burstEnd, burst.Done(i));
        burstFailed += burst.Code(i) == SendResultSuccess ? 0 : 1;
    }
    const double burstMs = Ms(burstEnd - burstStart);
    if (burstOnly) {
        station->Stop();
        std::printf("burst: %zu messages of %zu characters to %s in %.1f ms (%zu failed)\n", count,
                    length, recipient.c_str(), burstMs, burstFailed);
        // The burst's first enqueue and last result on the system's monotonic
        // clock (CLOCK_MONOTONIC), so that a script can place what it sees on
        // the receiving side against them.
        std::printf("result count=%zu burst_ms=%.3f failed=%zu start_ns=%lld end_ns=%lld\n", count,
                    burstMs, burstFailed, static_cast<long long>(MonotonicNs(burstStart)),
                    static_cast<long long>(MonotonicNs(burstEnd)));
        return burstFailed == 0 ? 0 : 1;
    }

    // One at a time: enqueue, wait for the result, next.
    ResultLog single(count);
    std::vector<double> latencies;
    size_t singleFailed = 0;
    for (size_t i = 0; i < count; ++i) {
        const auto start = Clock::now();
        station->Enqueue(Message(user, recipient, Text(count + i, length)), &single,
                         static_cast<int32_t>(i));
        if (single.OneDone().Wait(kResultWaitMs) != kWaitObject0) {
            station->Stop();  // before `single`, which the send reports to, goes
            std::fprintf(stderr, "corvane-msg-bench: no result for message %zu\n", i);
            return 2;
        }
        latencies.push_back(Ms(single.Done(i) - start));
        singleFailed += single.Code(i) == SendResultSuccess ? 0 : 1;
    }

    // The baseline: the same exchanges with plain sockets, one after the other
    // (the outbox, too, sends one message at a time), on the adapter the
    // station uses.
    const std::vector<CvIpAdapter> adapters = CvEnumerateIpAdapters();
    if (adapters.empty()) {
        std::fprintf(stderr, "corvane-msg-bench: no adapter for the plain sender\n");
        return 2;
    }
    PlainSender plain(adapters.front().broadcast, CvNbtPorts::FromEnvironment(), user, recipient);
    std::vector<double> plainLatencies;
    size_t plainFailed = 0;
    const auto plainStart = Clock::now();
    for (size_t i = 0; i < count; ++i) {
        const auto start = Clock::now();
        plainFailed += plain.Send(Text(2 * count + i, length)) ? 0 : 1;
        plainLatencies.push_back(Ms(Clock::now() - start));
    }
    const double plainMs = Ms(Clock::now() - plainStart);
    station->Stop();

    const Summary outbox = Summarise(latencies);
    const Summary baseline = Summarise(plainLatencies);
    const double rate = static_cast<double>(count) / (burstMs / 1000.0);
    const double plainRate = static_cast<double>(count) / (plainMs / 1000.0);

    std::printf("station %s on %s registered its names in %.0f ms\n", user.c_str(),
                computer.c_str(), registerMs);
    std::printf(
        "outbox burst: %zu messages of %zu characters to %s in %.1f ms = %.1f messages/s"
        " (%zu failed)\n",
        count, length, recipient.c_str(), burstMs, rate, burstFailed);
    std::printf(
        "outbox one at a time: latency mean %.3f ms, p50 %.3f ms, p95 %.3f ms, max %.3f ms"
        " (%zu failed)\n",
        outbox.mean, outbox.p50, outbox.p95, outbox.max, singleFailed);
    std::printf(
        "plain sockets, the same exchanges: %.1f ms = %.1f messages/s; latency mean %.3f ms,"
        " p50 %.3f ms, p95 %.3f ms, max %.3f ms (%zu failed)\n",
        plainMs, plainRate, baseline.mean, baseline.p50, baseline.p95, baseline.max, plainFailed);
    std::printf(
        "result count=%zu burst_ms=%.3f rate=%.1f mean_ms=%.3f p50_ms=%.3f p95_ms=%.3f"
        " plain_ms=%.3f plain_rate=%.1f plain_mean_ms=%.3f plain_p50_ms=%.3f plain_p95_ms=%.3f"
        " failed=%zu\n",
        count, burstMs, rate, outbox.mean, outbox.p50, outbox.p95, plainMs, plainRate,
        baseline.mean, baseline.p50, baseline.p95, burstFailed + singleFailed + plainFailed);
    return burstFailed + singleFailed + plainFailed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    long count = 200;
    long length = 100;
    bool burstOnly = false;
    std::string codesFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--count" && i + 1 < argc) {
            count = std::atol(argv[++i]);
        } else if (arg == "--length" && i + 1 < argc) {
            length = std::atol(argv[++i]);
        } else if (arg == "--burst-only") {
            burstOnly = true;
        } else if (arg == "--codes" && i + 1 < argc) {
            codesFile = argv[++i];
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 4 || count < 1 || count > 100000 || length < 1 || length > 1500) {
        std::fprintf(stderr,
                     "usage: corvane-msg-bench USER COMPUTER WORKGROUP RECIPIENT [--count N]"
                     " [--length L] [--burst-only] [--codes FILE]\n"
                     "  N from 1 to 100000, L from 1 to 1500\n");
        return 64;
    }
    return Run(positional[0], positional[1], positional[2], positional[3],
               static_cast<size_t>(count), static_cast<size_t>(length), burstOnly, codesFile);
}
