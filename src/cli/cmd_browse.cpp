#include "commands.h"
#include "printabletext.h"
#include "qfrendezvousclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

// zorbix-cli browse [--seconds N]: lists the shares announced on the local network, each with
// its resolved addresses, after watching for N seconds.
int cmdBrowse(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    int seconds = 3;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << "Usage: zorbix-cli browse [--seconds N]\n"
                   "Lists the address book shares announced on the local network (DNS-SD through\n"
                   "avahi-daemon) with their IPv4 addresses and ports, one per line:\n"
                   "  NAME<TAB>ADDRESS:PORT[ ADDRESS:PORT...]   or   NAME<TAB>(not resolved)\n"
                   "with \"<TAB>protected\" after a share that lets in only approved devices (fetch it\n"
                   "with --tls)\n"
                   "(control characters and the backslash in a name are written as \\t, \\n, \\r, \\xHH or \\\\)\n\n"
                   "  --seconds N  how long to watch the network before listing (default 3)\n";
            return CliOk;
        }
        if (arg == QLatin1String("--seconds") && i + 1 < args.size()) {
            bool ok = false;
            seconds = args[++i].toInt(&ok);
            if (!ok || seconds < 0 || seconds > 3600) {
                err << "zorbix-cli browse: --seconds takes a number from 0 to 3600\n";
                return CliUsage;
            }
            continue;
        }
        err << "zorbix-cli browse: unknown option '" << arg << "'\n";
        return CliUsage;
    }

    QFRendezvousClient *client = QFRendezvousClient::sharedInstance();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();

    if (!client->isBrowsing()) {
        err << "zorbix-cli browse: cannot list shares: avahi-daemon is not running or cannot be reached "
               "on the system bus (start it, for example: systemctl start avahi-daemon)\n";
        return CliFailure;
    }
    for (const RendezvousService &service : client->getServices()) {
        QStringList addresses;
        for (const SocketAddress &address : service.addresses)
            addresses.append(address.toString());
        out << printableText(service.name) << '\t'
            << (addresses.isEmpty() ? QStringLiteral("(not resolved)") : addresses.join(u' '))
            << (service.isProtected ? "\tprotected" : "") << '\n';
    }
    return CliOk;
}
