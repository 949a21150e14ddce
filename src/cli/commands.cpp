#include "commands.h"

int cmdBrowse(const QStringList &args);

const QList<CliCommand> &cliCommands()
{
    static const QList<CliCommand> commands = {
        {"browse", "list the shares announced on the local network", cmdBrowse},
    };
    return commands;
}
