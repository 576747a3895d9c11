#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

// One subcommand of the `corvane` tool. A subcommand lives in a file of its
// own and registers itself with a static CliCommandRegistration.
struct CliCommand {
    std::string name;
    std::string usage;    // argument synopsis, e.g. "[--json]"
    std::string summary;  // one line for `corvane help`
    // Arguments after the subcommand name; returns the process exit code.
    std::function<int(const std::vector<std::string>& args)> run;
};

std::map<std::string, CliCommand>& CliCommands();

struct CliCommandRegistration {
    explicit CliCommandRegistration(CliCommand command);
};
