#include "commands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <csignal>

#include <sys/resource.h>

namespace {
void printHelp(QTextStream &out)
{
    out << "Usage: zorbix-cli COMMAND [OPTIONS]\n"
           "Shares address books on the local network without the desktop.\n\n"
           "Commands:\n";
    for (const CliCommand &command : cliCommands())
        out << "  " << QString::fromLatin1(command.name).leftJustified(10) << ' ' << command.summary << '\n';
    out << "\nOptions:\n"
           "  --help     show this help\n"
           "  --version  show the version\n\n"
           "Run 'zorbix-cli COMMAND --help' for the options of a command.\n";
}
} // namespace

int main(int argc, char *argv[])
{
    // A file-size limit (ulimit -f) must fail the write that crosses it (EFBIG, reported like a full
    // disk), not end the program in silence.
    std::signal(SIGXFSZ, SIG_IGN);
    // A large save keeps a slice of unnamed files open until they are linked in place (the store
    // uses half of what the limit allows): the often low soft limit is raised within the hard one.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 16384 &&
        files.rlim_cur < files.rlim_max) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 16384);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("quenfold"));
    QCoreApplication::setApplicationName(QStringLiteral("zorbix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORBIX_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        printHelp(err);
        return CliUsage;
    }
    const QString first = args.takeFirst();
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        printHelp(out);
        return CliOk;
    }
    if (first == QLatin1String("--version")) {
        out << "zorbix-cli " << QCoreApplication::applicationVersion() << '\n';
        return CliOk;
    }
    for (const CliCommand &command : cliCommands()) {
        if (first == QLatin1String(command.name))
            return command.run(args);
    }
    err << "zorbix-cli: unknown command '" << first << "'\n\n";
    printHelp(err);
    return CliUsage;
}
