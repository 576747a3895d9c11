#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "storage/CvArchiveExport.h"
#include "storage/CvMsgArchive.h"
#include "tools/cli/ArchiveConsole.h"
#include "tools/cli/CliCommand.h"

namespace {

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return "";
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

int RunExport(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return CliUsageError("export", "needs one file name ending in .csv or .html");
    }
    const std::string& path = args[0];
    const std::string extension = LowerExtension(path);
    const bool html = extension == "html" || extension == "htm";
    if (!html && extension != "csv") {
        return CliUsageError("export", "\"" + path + "\": the name must end in .csv or .html");
    }
    CvMsgArchive archive;
    if (!ArchiveConsole::Open(archive, "export")) {
        return 1;
    }
    int count = 0;
    const bool written = CvArchiveExport::ExportArchive(archive.Database(), path, html, count);
    if (!written) {
        std::fprintf(stderr, "corvane: export: cannot write \"%s\"\n", path.c_str());
        return 1;
    }
    std::fprintf(stderr, "corvane: export: %d messages written to \"%s\"\n", count, path.c_str());
    return 0;
}

const CliCommandRegistration kRegistration({
    "export",
    "FILE",
    "write the whole message archive to FILE, as CSV or HTML by its extension",
    RunExport,
    "Writes the whole message archive to FILE: CSV when its name ends in .csv,\n"
    "HTML when it ends in .html or .htm. A CSV field that begins with =, +, -, @,\n"
    "a tab or a carriage return gets a leading ' so that a spreadsheet program\n"
    "shows it as text instead of running it as a formula.\n"
    "\n"
    "Exits 0 when the file is written, 1 when it is not.\n",
});

}  // namespace
