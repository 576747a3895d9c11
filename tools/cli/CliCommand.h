#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

// Exit code for a wrong command line (sysexits' EX_USAGE), kept apart from
// the send result codes 2-5 so that scripts can tell them apart.
constexpr int kCliUsageExit = 64;

// One subcommand of the `corvane` tool. A subcommand lives in a file of its
// own and registers itself with a static CliCommandRegistration.
struct CliCommand {
    std::string name;
    std::string usage;    // argument synopsis, e.g. "[--json]"
    std::string summary;  // one line for `corvane help`
    // Arguments after the subcommand name; returns the process exit code.
    std::function<int(const std::vector<std::string>& args)> run;
    // What `corvane NAME --help` prints below the synopsis: the arguments,
    // options and exit codes, lines of at most 80 columns.
    std::string help;
    // False when the arguments after the first operand are free text (send),
    // so that "--help" there is text: the command's own parser then answers
    // --help in option position with PrintCliCommandHelp.
    bool helpAnywhere = true;
};

std::map<std::string, CliCommand>& CliCommands();

struct CliCommandRegistration {
    explicit CliCommandRegistration(CliCommand command);
};

// Prints the command's synopsis and help to standard output; returns 0.
int PrintCliCommandHelp(const std::string& name);

// Prints "corvane NAME: WHAT" and where the usage is to standard error, as
// one line; returns kCliUsageExit.
int CliUsageError(const std::string& name, const std::string& what);
