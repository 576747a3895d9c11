// corvane-msg-bench: sends personal messages through a real station's outbox
// and measures them. scripts/bench-messaging.sh runs it in a network
// namespace against a `corvane listen` station in another.
//
//   USER COMPUTER WORKGROUP RECIPIENT   the sending station's names and the
//                                       receiver's name
//   [--count N]                         messages per phase (default 200)
//   [--length L]                        characters per text (default 100)
//   [--burst-only]                      only the first phase
//   [--codes FILE]                      writes "CODE TEXT" per burst message
//
// Two phases of N messages each: a burst (all N queued at once; messages per
// second from the first enqueue to the last result) and one at a time (each
// queued when the previous result is in; latency = enqueue to result). The
// last line is "result KEY=VALUE..." for the script; the exit code is 1 when
// a message failed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "messaging/CMsg.h"
#include "messaging/CvMsgOutboxSendResult.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvEvent.h"
#include "platform/CvWaitable.h"

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

double Ms(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

// The value below which `fraction` of the sorted values lie (nearest rank).
double Percentile(const std::vector<double>& sorted, double fraction) {
    const size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999);
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
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
        std::printf("result count=%zu burst_ms=%.3f failed=%zu\n", count, burstMs, burstFailed);
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
            std::fprintf(stderr, "corvane-msg-bench: no result for message %zu\n", i);
            return 2;
        }
        latencies.push_back(Ms(single.Done(i) - start));
        singleFailed += single.Code(i) == SendResultSuccess ? 0 : 1;
    }
    station->Stop();

    double sum = 0;
    for (const double value : latencies) {
        sum += value;
    }
    const double mean = sum / static_cast<double>(latencies.size());
    std::sort(latencies.begin(), latencies.end());
    const double rate = static_cast<double>(count) / (burstMs / 1000.0);

    std::printf("station %s on %s registered its names in %.0f ms\n", user.c_str(),
                computer.c_str(), registerMs);
    std::printf(
        "burst: %zu messages of %zu characters to %s in %.1f ms = %.1f messages/s"
        " (%zu failed)\n",
        count, length, recipient.c_str(), burstMs, rate, burstFailed);
    std::printf(
        "one at a time: latency mean %.3f ms, p50 %.3f ms, p95 %.3f ms, max %.3f ms"
        " (%zu failed)\n",
        mean, Percentile(latencies, 0.5), Percentile(latencies, 0.95), latencies.back(),
        singleFailed);
    std::printf(
        "result count=%zu burst_ms=%.3f rate=%.1f mean_ms=%.3f p50_ms=%.3f p95_ms=%.3f"
        " failed=%zu\n",
        count, burstMs, rate, mean, Percentile(latencies, 0.5), Percentile(latencies, 0.95),
        burstFailed + singleFailed);
    return burstFailed + singleFailed == 0 ? 0 : 1;
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
