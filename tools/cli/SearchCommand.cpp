#include <cstdio>
#include <string>
#include <vector>

#include "app/CvAppPropertyList.h"
#include "messaging/CvHostScanner.h"
#include "messaging/CvMsgLineFormat.h"
#include "messaging/CvNetDirectory.h"
#include "messaging/CvNetNamePinger.h"
#include "messaging/CvNetbiosNetwork.h"
#include "messaging/CvNetworkSearch.h"
#include "messaging/CvStationSettings.h"
#include "platform/CvEvent.h"
#include "platform/CvNbtNeighbourhood.h"
#include "platform/CvNbtQueryProvider.h"
#include "tools/cli/CliCommand.h"

namespace {

constexpr uint32_t kWaitMs = 300000;

const char* KindText(const CvNetResourceInfo& info) {
    if (info.type == kNetResourceDomain) {
        return "group";
    }
    if (info.directory != 0) {
        return "account";
    }
    return info.type == kNetResourceComputerNode || info.name == info.computerName ? "computer"
                                                                                   : "user";
}

const char* StateText(int32_t state) {
    switch (state) {
        case kNetResourceAvailable:
            return "available";
        case kNetResourceNoAnswer:
            return "no answer";
        default:
            return "unknown";
    }
}

const char* SourceText(const CvNetResourceInfo& info) {
    return info.directory != 0 ? "directory" : "neighbourhood";
}

// Prints each resource as it is found; the search calls it one at a time.
class Printer : public CvUnaryFunction<void, CvNetResourceInfo&>, public CvNullaryFunction<void> {
public:
    explicit Printer(bool json) : m_json(json) {}

    void Invoke(CvNetResourceInfo& info) override {
        if (m_json) {
            std::printf(
                "{\"type\":%d,\"kind\":\"%s\",\"name\":%s,\"computer\":%s,\"domain\":%s,"
                "\"comment\":%s,\"state\":%d,\"stateText\":\"%s\",\"source\":\"%s\"}\n",
                info.type, KindText(info), CvMsgLineFormat::JsonString(info.name).c_str(),
                CvMsgLineFormat::JsonString(info.computerName).c_str(),
                CvMsgLineFormat::JsonString(info.domain).c_str(),
                CvMsgLineFormat::JsonString(info.comment).c_str(), info.state,
                StateText(info.state), SourceText(info));
        } else {
            // Every text of a hit is what some station on the LAN says of itself.
            std::printf("%-8s %-15s %-15s %-15s %-10s %-13s %s\n", KindText(info),
                        Shown(info.name).c_str(), Shown(info.computerName).c_str(),
                        Shown(info.domain).c_str(), StateText(info.state), SourceText(info),
                        Shown(info.comment).c_str());
        }
        std::fflush(stdout);
    }
    void Invoke() override { done.Set(); }

    CvEvent done{true, false};

private:
    static std::string Shown(const std::string& text) {
        return CvMsgLineFormat::Printable(text, false);
    }

    const bool m_json;
};

int Run(const std::vector<std::string>& args) {
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json") {
            json = true;
        } else {
            return CliUsageError("search", "unknown argument \"" + arg + "\"");
        }
    }
    CvAppPropertyList list;
    const CvStationSettings settings = CvStationSettings::Load(&list);

    CvNbtQueryProvider provider;
    CvNetbiosNetwork network(provider);
    network.Lock();
    network.Refresh();
    network.Unlock();
    CvNetNamePinger pinger(network);
    pinger.Start();
    CvNbtNeighbourhood neighbourhood;
    CvHostScanner scanner(neighbourhood, settings.workgroup);
    CvNoNetDirectory directory;
    const CvNetworkSearchOptions options = CvNetworkSearchOptions::FromList(list);
    if (options.inNeighbourhood) {
        scanner.ScanOnce();
    }

    if (!json) {
        std::printf("%-8s %-15s %-15s %-15s %-10s %-13s %s\n", "TYPE", "NAME", "COMPUTER", "DOMAIN",
                    "STATE", "SOURCE", "COMMENT");
    }
    Printer printer(json);
    CvNetworkSearch search(pinger, scanner, directory);
    search.SetOptions(options);
    search.Start(&printer, &printer);
    const bool finished = printer.done.Wait(kWaitMs) == kWaitObject0;
    search.Stop();
    pinger.Stop();
    if (!finished) {
        std::fprintf(stderr, "corvane search: gave up waiting for the search\n");
        return 1;
    }
    return 0;
}

const CliCommandRegistration kRegistration({
    "search",
    "[--json]",
    "list the workgroups, computers and users of the LAN (LanSrch* settings)",
    Run,
    "Searches the LAN once, with the options of the LanSrch* settings, and prints\n"
    "each workgroup, computer and user as it is found: type, name, computer,\n"
    "domain, comment, state and source.\n"
    "\n"
    "  --json   print each entry as one JSON object\n"
    "\n"
    "Exits 0 when the search ran, 1 when it could not.\n",
});

}  // namespace
