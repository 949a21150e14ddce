#pragma once

#include <QStringList>

#include <functional>

// One subcommand of zorbix-cli: its name, a one-line summary for --help, and its entry point.
// args holds what follows the subcommand's name; the result is the process exit code.
struct CliCommand
{
    const char *name;
    const char *summary;
    std::function<int(const QStringList &args)> run;
};

// Every subcommand lives in its own cmd_<name>.cpp and is listed in commands.cpp.
const QList<CliCommand> &cliCommands();

// Exit codes shared by all subcommands.
enum CliExit : int {
    CliOk = 0,
    CliFailure = 1,
    CliUsage = 2,
    CliConnectionRefused = 3, // nothing listens at the address given
    CliIncompatible = 4,      // the peer does not speak the exchange protocol
    CliTimedOut = 5,          // the peer did not answer in time
    CliNetworkFailure = 6,    // any other network failure
    CliUntrusted = 7,         // no secure connection, or not the certificate expected
    CliNotAdmitted = 8,       // the protected share's owner denied us or did not answer
};
