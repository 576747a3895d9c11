#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "messaging/CvMsgLineFormat.h"
#include "messaging/CvNetNamePinger.h"
#include "messaging/CvNetbiosNetwork.h"
#include "platform/CvEvent.h"
#include "platform/CvNbtQueryProvider.h"
#include "platform/CvTextCodec.h"
#include "tools/cli/CliCommand.h"

namespace {

// A ping answers within about 5 s (query 0.75 s, node status 3 s per adapter).
constexpr uint32_t kWaitMs = 60000;

class PingWaiter {
public:
    void OnResult(CvNetNamePingResult& result) {
        m_result = result;
        done.Set();
    }
    const CvNetNamePingResult& Result() const { return m_result; }
    CvEvent done{true, false};

private:
    CvNetNamePingResult m_result;
};

// The names as one line for the terminal: the station that answered chose them.
std::string Joined(const std::vector<std::string>& names, const std::string& separator) {
    std::string out;
    for (const auto& name : names) {
        out += (out.empty() ? "" : separator) + CvMsgLineFormat::Printable(name, false);
    }
    return out;
}

int Run(const std::vector<std::string>& args) {
    std::string name;
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (name.empty() && !arg.empty() && arg[0] != '-') {
            name = arg;
        } else {
            return CliUsageError("ping", "unexpected argument \"" + arg + "\"");
        }
    }
    if (name.empty() || CvText::CodePointCount(name) > 15) {
        return CliUsageError("ping", "a name of 1 to 15 characters is needed");
    }
    const std::string upper = CvText::UpperCase(name);
    if (CvText::ToOem(upper).size() > 15) {
        return CliUsageError("ping", "the name takes more than 15 bytes on the wire");
    }

    CvNbtQueryProvider provider;
    CvNetbiosNetwork network(provider);
    network.Lock();
    network.Refresh();
    const size_t adapters = network.InterfaceCount();
    network.Unlock();
    if (adapters == 0) {
        std::fprintf(stderr, "corvane ping: no network adapter with a broadcast address\n");
    }
    CvNetNamePinger pinger(network);
    pinger.Start();
    PingWaiter waiter;
    auto receiver =
        std::make_shared<CvVoidUnaryMemberFunctionSafe<PingWaiter, CvNetNamePingResult&>>(
            &waiter, &PingWaiter::OnResult);
    const auto started = std::chrono::steady_clock::now();
    pinger.Ping(pinger.NewRequester(), 0x03, upper, receiver);
    const bool done = waiter.done.Wait(kWaitMs) == kWaitObject0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started)
                        .count();
    pinger.Stop();
    receiver->Unbind();
    const CvNetNamePingResult result = waiter.Result();
    const bool answered = done && result.status == kPingStatusAnswered;
    if (json) {
        std::string names;
        for (const auto& messenger : result.messengerNames) {
            names += (names.empty() ? "" : ",") + CvMsgLineFormat::JsonString(messenger);
        }
        std::printf(
            "{\"name\":%s,\"status\":%d,\"answered\":%s,\"computer\":%s,"
            "\"messengerNames\":[%s],\"ms\":%lld}\n",
            CvMsgLineFormat::JsonString(upper).c_str(),
            answered ? kPingStatusAnswered : kPingStatusNoAnswer, answered ? "true" : "false",
            CvMsgLineFormat::JsonString(result.computerName).c_str(), names.c_str(),
            static_cast<long long>(ms));
    } else if (answered) {
        const std::string computer = CvMsgLineFormat::Printable(result.computerName, false);
        std::printf(
            "%s: answered by computer %s; messenger names: %s (%lld ms)\n",
            CvMsgLineFormat::Printable(upper, false).c_str(),
            computer.empty() ? "(none)" : computer.c_str(),
            result.messengerNames.empty() ? "(none)" : Joined(result.messengerNames, ", ").c_str(),
            static_cast<long long>(ms));
    } else {
        std::printf("%s: no answer (%lld ms)\n", CvMsgLineFormat::Printable(upper, false).c_str(),
                    static_cast<long long>(ms));
    }
    return answered ? 0 : 1;
}

const CliCommandRegistration kRegistration({
    "ping",
    "NAME [--json]",
    "ask whether a messenger name answers on the LAN (exit 0 when it does)",
    Run,
    "Asks every adapter for the station of the messenger name NAME (a user or a\n"
    "computer, at most 15 characters) and prints whether it answered, with its\n"
    "computer name and the messenger names it holds.\n"
    "\n"
    "  --json   print the answer as one JSON object\n"
    "\n"
    "Exits 0 when NAME answered, 1 when it did not.\n",
});

}  // namespace
