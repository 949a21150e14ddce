#include "commands.h"

const QList<CliCommand> &cliCommands()
{
    static const QList<CliCommand> commands = {
    };
    return commands;
}
