#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/CvAppPaths.h"
#include "app/CvAppVersion.h"
#include "tools/cli/CliCommand.h"

std::map<std::string, CliCommand>& CliCommands() {
    static std::map<std::string, CliCommand> commands;
    return commands;
}

CliCommandRegistration::CliCommandRegistration(CliCommand command) {
    std::string name = command.name;
    CliCommands().emplace(std::move(name), std::move(command));
}

int PrintCliCommandHelp(const std::string& name) {
    const CliCommand& command = CliCommands().at(name);
    std::printf("usage: corvane %s%s%s\n\n%s\n", name.c_str(), command.usage.empty() ? "" : " ",
                command.usage.c_str(), command.help.c_str());
    return 0;
}

int CliUsageError(const std::string& name, const std::string& what) {
    std::fprintf(stderr, "corvane %s: %s (corvane %s --help shows the usage)\n", name.c_str(),
                 what.c_str(), name.c_str());
    return kCliUsageExit;
}

namespace {

bool IsHelpOption(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

// "--help" anywhere before a "--" that ends the options, for commands whose
// arguments are no free text.
bool AsksForHelp(const CliCommand& command, const std::vector<std::string>& args) {
    if (!command.helpAnywhere) {
        return false;
    }
    for (const std::string& arg : args) {
        if (arg == "--") {
            return false;
        }
        if (IsHelpOption(arg)) {
            return true;
        }
    }
    return false;
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: corvane <command> [arguments]\n       corvane --help | --version\n\n"
                 "commands:\n");
    for (const auto& [name, command] : CliCommands()) {
        std::fprintf(out, "  %-10s %-28s %s\n", name.c_str(), command.usage.c_str(),
                     command.summary.c_str());
    }
    std::fprintf(out,
                 "\n\"corvane <command> --help\" describes a command. A wrong command line "
                 "exits with %d.\n",
                 kCliUsageExit);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kCliUsageExit;
    }
    const std::string name = argv[1];
    if (name == "help" || IsHelpOption(name)) {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("corvane %s\n", CvAppVersion());
        return 0;
    }
    auto it = CliCommands().find(name);
    if (it == CliCommands().end()) {
        std::fprintf(stderr, "corvane: unknown %s \"%s\" (corvane --help lists the commands)\n",
                     name.size() > 1 && name[0] == '-' ? "option" : "command", name.c_str());
        return kCliUsageExit;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (AsksForHelp(it->second, args)) {
        return PrintCliCommandHelp(name);
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
        return it->second.run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane %s: %s\n", name.c_str(), e.what());
        return 1;
    }
}
