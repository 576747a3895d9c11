#include "tools/cli/StationConsole.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "app/CvAppPaths.h"
#include "app/CvLangTexts.h"
#include "messaging/CvSmbStateWatch.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvIpAdapters.h"
#include "platform/CvPortDiagnosis.h"

namespace {

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_stopPipe[1], &byte, 1);
    errno = saved;
}

std::string Address(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string NameStateText(int32_t state) {
    switch (state) {
        case NameStateUnknown:
            return "waiting";
        case NameStateNoInterface:
            return "Network not found";
        case NameStateNoClient:
            return "no client";
        case NameStatePartial:
            return "not registered (registering, or taken by another station)";
        case NameStateRegistered:
            return "registered";
        case NameStateConflict:
            return "in conflict";
        default:
            return "unknown";
    }
}

// Why the station has no adapter, for the adapter line. Looked into at most
// every 5 s: it binds the NetBIOS ports and reads /proc.
std::string NoAdapterText() {
    using Clock = std::chrono::steady_clock;
    static std::string text;
    static Clock::time_point checked;
    if (!text.empty() && Clock::now() - checked < std::chrono::seconds(5)) {
        return text;
    }
    checked = Clock::now();
    const auto known = CvEnumerateIpAdapters();
    if (known.empty()) {
        std::string allowed;
        for (const std::string& name : CvAllowedInterfaceNames()) {
            allowed += (allowed.empty() ? "" : ",") + name;
        }
        text =
            "none (Network not found: no network interface is up, has a broadcast address "
            "and is not loopback" +
            (allowed.empty() ? std::string() : " among CORVANE_INTERFACES=" + allowed) + ")";
        return text;
    }
    std::vector<uint32_t> addresses;
    for (const auto& ip : known) {
        addresses.push_back(ip.address);
    }
    const std::string why = CvPortDiagnosis::Describe(
        CvPortDiagnosis::Diagnose(CvNbtPorts::FromEnvironment(), addresses));
    text = why.empty() ? "none yet (opening them)" : "none (Network not found: " + why + ")";
    return text;
}

std::string MailslotStateText(int32_t state) {
    switch (state) {
        case 1:
            return "no port";
        case 3:
            return "not open (opening, or held by another program)";
        case 4:
            return "open";
        default:
            return "waiting";
    }
}

}  // namespace

namespace StationConsole {

int InstallStopSignals() {
    if (g_stopPipe[0] < 0 && pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return g_stopPipe[0];
}

bool StopRequested(int stopFd) {
    return WaitForStop(stopFd, 0);
}

bool WaitForStop(int stopFd, int ms) {
    pollfd item{stopFd, POLLIN, 0};
    const int ready = poll(&item, 1, ms);
    return ready > 0;  // the byte stays in the pipe: stop is for ever
}

std::vector<std::string> StateLines(CvStation& station) {
    std::vector<std::string> lines;
    const auto adapters = station.Adapters();
    std::string adapterLine = "corvane: adapters:";
    if (adapters.empty()) {
        adapterLine += " " + NoAdapterText();
    } else {
        const auto known = CvEnumerateIpAdapters();
        for (size_t i = 0; i < adapters.size(); ++i) {
            adapterLine += (i == 0 ? " " : ", ") + std::to_string(adapters[i]);
            for (const auto& ip : known) {
                if (ip.lana == adapters[i]) {
                    adapterLine += " " + ip.interfaceName + " " + Address(ip.address);
                }
            }
        }
    }
    lines.push_back(adapterLine);
    for (const auto& name : station.Names()) {
        const int32_t state = station.NameState(name);
        lines.push_back("corvane: name " + name.name +
                        (name.kind == MsgPersonal ? " personal: " : " group: ") +
                        NameStateText(state) + " (" + std::to_string(state) + ")");
    }
    const int32_t mailslot = station.MailslotState();
    lines.push_back("corvane: mailslot MESSNGR: " + MailslotStateText(mailslot) + " (" +
                    std::to_string(mailslot) + ")");
    return lines;
}

void ReportChanges(CvStation& station, std::vector<std::string>& last) {
    auto lines = StateLines(station);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i >= last.size() || last[i] != lines[i]) {
            std::fprintf(stderr, "%s\n", lines[i].c_str());
        }
    }
    std::fflush(stderr);
    last = std::move(lines);
}

std::string SendResultText(int32_t code) {
    return CvLangTexts::Instance().GetText(SendResultTextId(code));
}

void LoadLanguage(const std::string& sysLanguageFile) {
    CvLangTexts::Instance().LoadSelectedLanguage(CvAppPaths::Detect().LanguageFolder(),
                                                 sysLanguageFile);
}

}  // namespace StationConsole
