#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvSingleInstance.h"
#include "messaging/CvControlClient.h"
#include "messaging/CvControlServer.h"
#include "messaging/CvMsgComposer.h"
#include "messaging/CvMsgOutboxSendResult.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvEvent.h"
#include "platform/CvTextCodec.h"
#include "tools/cli/ArchiveRecorder.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/StationConsole.h"

namespace {

// How long a station of our own may take to register its names
// (CORVANE_SEND_REGISTER_MS), and how long we wait for a running station's
// answer.
constexpr uint32_t kDefaultRegisterMs = 10000;
constexpr uint32_t kReplyWaitMs = 120000;
// How long the sent message's record may wait for a busy archive file.
constexpr uint32_t kArchiveFlushMs = 10000;

class ResultWaiter : public CvUnaryFunction<void, CvMsgOutboxSendResult&> {
public:
    void Invoke(CvMsgOutboxSendResult& result) override {
        code = result.code;
        done.Set();
    }
    std::atomic<int32_t> code{0};
    CvEvent done{true, false};
};

// Line breaks go out as CR LF, the way other messenger senders write them;
// line breaks at the end (of piped input) are dropped.
std::string MessageText(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

bool ReadStandardInput(std::string& text) {
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        text.append(buffer, got);
        if (text.size() > CvControlProtocol::kMaxTextBytes * 2) {
            return false;
        }
    }
    return std::ferror(stdin) == 0;
}

uint32_t RegisterWaitMs() {
    if (const char* value = std::getenv("CORVANE_SEND_REGISTER_MS")) {
        char* end = nullptr;
        const unsigned long ms = std::strtoul(value, &end, 10);
        if (end != value && *end == '\0' && ms <= 600000) {
            return static_cast<uint32_t>(ms);
        }
    }
    return kDefaultRegisterMs;
}

// The station sends (and archives) no more than its limits allow; a person
// at a terminal cannot be asked first, as the write window does, so say so.
void ReportCut(const CvControlRequest& request, const CvStationSettings& settings) {
    const size_t length = CvText::CodePointCount(request.text);
    const size_t sent = CvText::CodePointCount(CvMsgComposer::SentText(
        request.text, request.type, settings.maxBroadcastLength, settings.fragmentEnabled));
    if (sent < length) {
        std::fprintf(stderr,
                     "corvane: send: the text has %zu characters, more than a %s takes; only "
                     "the first %zu are sent\n",
                     length, request.type == MsgBroadcast ? "broadcast" : "message", sent);
    }
}

int ReportResult(int32_t code, const std::string& recipient) {
    if (code == SendResultSuccess) {
        return 0;
    }
    std::fprintf(stderr, "corvane: send to %s failed: %s\n", recipient.c_str(),
                 StationConsole::SendResultText(code).c_str());
    return code;
}

// No station runs: become one for this message.
int SendWithOwnStation(const CvStationSettings& settings, const CvControlRequest& request,
                       int stopFd) {
    CvSingleInstance instance;
    if (!instance.Start(settings.userName)) {
        if (!instance.Problem().empty()) {
            std::fprintf(stderr, "corvane: cannot start a station of user %s for the message: %s\n",
                         settings.userName.c_str(), instance.Problem().c_str());
            return 1;
        }
        std::fprintf(stderr,
                     "corvane: a station of user %s runs but does not answer on its "
                     "control socket\n",
                     settings.userName.c_str());
        return 1;
    }
    auto station = CvStation::CreateReal(settings);
    CMsg msg;
    std::string error;
    if (!CvControlServer::BuildMessage(*station, request, msg, &error)) {
        std::fprintf(stderr, "corvane: %s\n", error.c_str());
        return kCliUsageExit;
    }

    station->SetWatchPeriod(100);
    station->Start();
    if (!station->WaitRegistered(RegisterWaitMs())) {
        for (const auto& line : StationConsole::StateLines(*station)) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        std::fprintf(stderr, "corvane: not every name is registered; sending anyway\n");
    }
    ResultWaiter waiter;
    if (StationConsole::StopRequested(stopFd) || !station->Enqueue(msg, &waiter, 1)) {
        return 1;
    }
    while (waiter.done.Wait(100) != kWaitObject0) {
        if (StationConsole::StopRequested(stopFd)) {
            station->Stop();  // ends the send; its result still arrives
        }
    }
    station->Stop();
    if (waiter.code == SendResultSuccess) {
        ArchiveRecorder archive;
        std::string ignored;  // a send is not refused for want of an archive
        if (archive.Open(&ignored)) {
            archive.StoreSent(msg);
            // The message is out: wait a while for a busy archive file
            // rather than lose the record (the recorder reports a loss).
            archive.Flush(kArchiveFlushMs);
        }
    }
    return ReportResult(waiter.code, request.recipient);
}

int RunSend(const std::vector<std::string>& args) {
    CvControlRequest request;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--broadcast") {
            request.type = MsgBroadcast;
        } else if (args[i] == "--from" && i + 1 < args.size()) {
            request.sender = args[++i];
        } else if ((args[i] == "--help" || args[i] == "-h") && rest.empty()) {
            return PrintCliCommandHelp("send");
        } else if (args[i] == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (args[i].size() > 1 && args[i][0] == '-' && rest.empty()) {
            return CliUsageError("send", "unknown option \"" + args[i] + "\"");
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() < 2) {
        return CliUsageError("send", "needs a recipient and a text");
    }
    request.recipient = rest[0];
    std::string text;
    if (rest.size() == 2 && rest[1] == "-") {
        if (!ReadStandardInput(text)) {
            std::fprintf(stderr, "corvane: send: cannot read the text from standard input\n");
            return kCliUsageExit;
        }
    } else {
        for (size_t i = 1; i < rest.size(); ++i) {
            text += (i > 1 ? " " : "") + rest[i];
        }
    }
    request.text = MessageText(text);
    if (request.text.empty()) {
        std::fprintf(stderr, "corvane: send: the message is empty\n");
        return kCliUsageExit;
    }
    // The running station applies these rules as well; checking here gives
    // the reason before anything starts.
    std::string reason;
    if (!CvControlProtocol::DecodeRequest(CvControlProtocol::EncodeRequest(request), &reason)) {
        std::fprintf(stderr, "corvane: send: %s\n", reason.c_str());
        return kCliUsageExit;
    }

    const int stopFd = StationConsole::InstallStopSignals();
    CvAppPropertyList list;
    const CvStationSettings settings = CvStationSettings::Load(&list);
    StationConsole::LoadLanguage(list.Get(CvSettingId::kSysLanguageFile).GetText());
    ReportCut(request, settings);

    const std::string path = CvControlServer::DefaultPath();
    const auto outcome = CvControlClient::Send(request, path, kReplyWaitMs);
    switch (outcome.status) {
        case CvControlClient::Status::Replied:
            if (outcome.reply.code == 0) {
                std::fprintf(stderr, "corvane: the running station refused: %s\n",
                             outcome.reply.error.c_str());
                return 1;
            }
            return ReportResult(outcome.reply.code, request.recipient);
        case CvControlClient::Status::Failed:
            std::fprintf(stderr, "corvane: %s\n", outcome.error.c_str());
            return 1;
        case CvControlClient::Status::NoStation:
            break;
    }
    return SendWithOwnStation(settings, request, stopFd);
}

const CliCommandRegistration kRegistration({
    "send",
    "[--broadcast] [--from NAME] NAME TEXT...",
    "send one message (TEXT \"-\" reads standard input)",
    RunSend,
    "Sends one message to the user or computer NAME, or with --broadcast to every\n"
    "station of the workgroup NAME. The words of TEXT are joined by spaces; a\n"
    "single TEXT \"-\" reads the text from standard input. A running station of\n"
    "this user (corvane listen, corvane-messenger) sends it; without one, the\n"
    "command registers its names on the LAN for this message first.\n"
    "\n"
    "  --broadcast   NAME is a workgroup\n"
    "  --from NAME   sign the message with NAME, one of this station's names\n"
    "                (default: the user's name)\n"
    "  --            end of the options: what follows is NAME and TEXT\n"
    "\n"
    "Exits 0 when the message was delivered; else with the result code 2\n"
    "(\"Unknown error\"), 3 (\"Recipient not found\"), 4 (\"Message transmission\n"
    "error\") or 5 (\"Network not found\"); 1 when it could not be sent at all;\n"
    "64 for a wrong command line.\n",
    false,
});

}  // namespace
