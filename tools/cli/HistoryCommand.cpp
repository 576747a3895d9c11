#include <cstdio>
#include <string>
#include <vector>

#include "messaging/CvMsgLineFormat.h"
#include "platform/CvTextCodec.h"
#include "storage/CvMsgArchive.h"
#include "tools/cli/ArchiveConsole.h"
#include "tools/cli/CliCommand.h"

namespace {

std::string Text(CvDataSet& dataSet, int row, const char16_t* column) {
    return dataSet.ReadValue(row, column).AsUtf8();
}

// A field of the archive as one line for the terminal: its names and texts
// came from the network.
std::string Field(CvDataSet& dataSet, int row, const char16_t* column) {
    return CvMsgLineFormat::Printable(Text(dataSet, row, column), false);
}

// The first line of a message, shortened for a one-line listing.
std::string Preview(const std::string& text) {
    const std::string display = CvMsgLineFormat::DisplayText(text);
    const std::string line = display.substr(0, display.find('\n'));
    const std::string cut = CvText::CutToCodePoints(line, 60);
    return CvMsgLineFormat::Printable(cut, false) + (cut.size() < display.size() ? "..." : "");
}

void PrintDialogues(CvDataSet& dialogues) {
    for (int i = 0; i <= dialogues.GetLastIndex(); ++i) {
        const bool received = dialogues.ReadValue(i, u"msgtype").AsInteger() == 1;
        std::printf("%s  %-16s %s %s\n", Field(dialogues, i, u"msgtime").c_str(),
                    Field(dialogues, i, u"interlocutor").c_str(), received ? "<-" : "->",
                    Preview(Text(dialogues, i, u"message")).c_str());
    }
}

void PrintConversation(CvDbDataSet& conversation) {
    for (int i = 0; i <= conversation.GetLastIndex(); ++i) {
        std::printf("%s  %s -> %s\n", Field(conversation, i, u"msgtime").c_str(),
                    Field(conversation, i, u"sender").c_str(),
                    Field(conversation, i, u"recipient").c_str());
        const std::string text = CvMsgLineFormat::DisplayText(Text(conversation, i, u"message"));
        size_t start = 0;
        while (start <= text.size()) {
            const size_t end = text.find('\n', start);
            const std::string line =
                text.substr(start, end == std::string::npos ? end : end - start);
            std::printf("    %s\n", CvMsgLineFormat::Printable(line, true).c_str());
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }
}

int RunHistory(const std::vector<std::string>& args) {
    if (args.size() > 1) {
        return CliUsageError("history", "takes at most one name");
    }
    CvMsgArchive archive;
    if (!ArchiveConsole::Open(archive, "history")) {
        return 1;
    }
    if (args.empty()) {
        PrintDialogues(archive.Dialogues());
    } else {
        archive.SetPartner(args[0]);
        PrintConversation(archive.Conversation());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

const CliCommandRegistration kRegistration({
    "history",
    "[NAME]",
    "list the dialogues in the message archive, or the messages exchanged with NAME",
    RunHistory,
    "Without NAME, prints the dialogue list of the message archive: one line per\n"
    "correspondent with the newest message. With NAME, prints every message\n"
    "exchanged with NAME, newest first.\n"
    "\n"
    "Exits 0, or 1 when the archive cannot be read.\n",
});

}  // namespace
