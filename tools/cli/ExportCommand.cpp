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
        std::fprintf(stderr, "corvane: export: needs one file name ending in .csv or .html\n");
        return 64;
    }
    const std::string& path = args[0];
    const std::string extension = LowerExtension(path);
    const bool html = extension == "html" || extension == "htm";
    if (!html && extension != "csv") {
        std::fprintf(stderr, "corvane: export: \"%s\": the name must end in .csv or .html\n",
                     path.c_str());
        return 64;
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
});

}  // namespace
