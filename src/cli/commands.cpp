#include "commands.h"

int cmdBrowse(const QStringList &args);
int cmdFetch(const QStringList &args);
int cmdServe(const QStringList &args);
int cmdImport(const QStringList &args);
int cmdList(const QStringList &args);
int cmdIdentity(const QStringList &args);

const QList<CliCommand> &cliCommands()
{
    static const QList<CliCommand> commands = {
        {"browse", "list the shares announced on the local network", cmdBrowse},
        {"serve", "share the persons of chosen groups on a TCP port", cmdServe},
        {"fetch", "download a share from HOST:PORT", cmdFetch},
        {"import", "add the contacts and groups of vCard files to the address book", cmdImport},
        {"list", "print the persons and groups of the address book", cmdList},
        {"identity", "print this device's name and certificate fingerprint", cmdIdentity},
    };
    return commands;
}
