#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CvMemberFunction.h"
#include "app/CvSingleInstance.h"
#include "messaging/CvControlServer.h"
#include "messaging/CvMsgLineFormat.h"
#include "messaging/CvStation.h"
#include "storage/CvMsgArchive.h"
#include "storage/CvStationHost.h"
#include "tools/cli/ArchiveRecorder.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/StationConsole.h"

namespace {

// How long a stopping station still tries to file messages the archive file
// did not take yet (another program holds its lock).
constexpr std::chrono::milliseconds kFlushTime{5000};

// Prints each received message as one line, flushed at once; transport
// threads call it concurrently, after the message was filed.
class MessagePrinter {
public:
    explicit MessagePrinter(bool json) : m_json(json) {}

    void OnReceive(const CMsg& msg) {
        const std::string line =
            (m_json ? CvMsgLineFormat::Json(msg) : CvMsgLineFormat::Plain(msg)) + "\n";
        std::lock_guard guard(m_lock);
        if (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            m_failed = true;  // nobody reads any more
        }
    }
    bool Failed() {
        std::lock_guard guard(m_lock);
        return m_failed;
    }

    CvVoidUnaryMemberFunction<MessagePrinter, const CMsg&> tap{this, &MessagePrinter::OnReceive};

private:
    const bool m_json;
    std::mutex m_lock;
    bool m_failed = false;
};

int RunListen(const std::vector<std::string>& args) {
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json") {
            json = true;
        } else {
            return CliUsageError("listen", "unknown argument \"" + arg + "\"");
        }
    }
    const int stopFd = StationConsole::InstallStopSignals();
    if (stopFd < 0) {
        std::fprintf(stderr, "corvane: cannot set up the stop signals\n");
        return 1;
    }
    const CvStationSettings settings = CvStationSettings::Load();
    CvSingleInstance instance;
    if (!instance.Start(settings.userName)) {
        if (!instance.Problem().empty()) {
            std::fprintf(stderr, "corvane: cannot start a station of user %s: %s\n",
                         settings.userName.c_str(), instance.Problem().c_str());
        } else if (instance.DesktopRuns()) {
            std::fprintf(stderr,
                         "corvane: the desktop program (corvane-messenger) runs for user %s and "
                         "owns the names and the NetBIOS ports; it receives the messages, and "
                         "corvane send hands messages to it. Quit it from its tray menu to use "
                         "corvane listen.\n",
                         settings.userName.c_str());
        } else {
            std::fprintf(stderr,
                         "corvane: a station of user %s already runs (corvane listen, or corvane "
                         "send with a message of its own); it owns the names and the NetBIOS "
                         "ports\n",
                         settings.userName.c_str());
        }
        return 1;
    }

    // Each message is filed on the thread that received it, before its
    // sender hears of success: not even a killed station loses one.
    CvStationHost host(CvStationHost::Filing::OnArrival);
    auto archive = std::make_unique<CvMsgArchive>();
    std::string archiveProblem;
    if (ArchiveRecorder::OpenUserArchive(*archive, &archiveProblem)) {
        host.SetArchive(std::move(archive));
        std::fprintf(stderr, "corvane: filing messages in the message archive\n");
    } else {
        std::fprintf(stderr, "corvane: not filing messages: %s\n", archiveProblem.c_str());
    }
    MessagePrinter printer(json);
    host.SetReceiveTap(&printer.tap);
    auto station = CvStation::CreateReal(settings);
    station->SetWatchPeriod(1000);
    std::string error;
    const bool controlled = host.Start(std::move(station), CvControlServer::DefaultPath(), &error);
    std::fprintf(stderr, "corvane: listening as %s, computer %s, workgroup %s\n",
                 settings.userName.c_str(), settings.computerName.c_str(),
                 settings.workgroup.c_str());
    if (controlled) {
        std::fprintf(stderr, "corvane: control socket %s\n", host.ControlPath().c_str());
    } else {
        std::fprintf(stderr,
                     "corvane: no control socket (%s); corvane send cannot use this "
                     "station\n",
                     error.c_str());
    }
    std::fflush(stderr);

    std::vector<std::string> last;
    StationConsole::ReportChanges(*host.Station(), last);
    while (!StationConsole::WaitForStop(stopFd, 250) && !printer.Failed()) {
        StationConsole::ReportChanges(*host.Station(), last);
        host.RetryArchive();
    }
    host.Stop(kFlushTime);
    std::fprintf(stderr, "corvane: stopped\n");
    return 0;
}

const CliCommandRegistration kRegistration({
    "listen",
    "[--json]",
    "run as a station and print every received message",
    RunListen,
    "Runs as a station of this user: registers the user's, the computer's and the\n"
    "workgroup's names on the LAN and prints every message received, one a line.\n"
    "Adapters and name states go to standard error. Ctrl-C ends it. While it runs,\n"
    "\"corvane send\" hands its messages to it.\n"
    "\n"
    "  --json   print each message as one JSON object with type, sender,\n"
    "           recipient, text and time\n"
    "\n"
    "Exits 0 when stopped, 1 when the station cannot start.\n",
});

}  // namespace
