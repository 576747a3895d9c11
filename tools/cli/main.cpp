#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/CvAppPaths.h"
#include "tools/cli/CliCommand.h"

std::map<std::string, CliCommand>& CliCommands() {
    static std::map<std::string, CliCommand> commands;
    return commands;
}

CliCommandRegistration::CliCommandRegistration(CliCommand command) {
    std::string name = command.name;
    CliCommands().emplace(std::move(name), std::move(command));
}

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: corvane <command> [arguments]\n\ncommands:\n");
    for (const auto& [name, command] : CliCommands()) {
        std::fprintf(out, "  %-10s %-28s %s\n", name.c_str(), command.usage.c_str(),
                     command.summary.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 64;
    }
    const std::string name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        PrintUsage(stdout);
        return 0;
    }
    auto it = CliCommands().find(name);
    if (it == CliCommands().end()) {
        std::fprintf(stderr, "corvane: unknown command \"%s\"\n", name.c_str());
        PrintUsage(stderr);
        return 64;
    }
    // Settings that cannot be read fall back to their defaults; without a
    // word, a user who turned something off (the archive, say) would not
    // learn that it is on again.
    for (const std::string& file : CvAppPaths::Detect().UnreadableSettingsFiles()) {
        std::fprintf(stderr,
                     "corvane: cannot read the settings file %s; the settings in it are not "
                     "used, their defaults are\n",
                     file.c_str());
    }
    try {
        return it->second.run(std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane %s: %s\n", name.c_str(), e.what());
        return 1;
    }
}
