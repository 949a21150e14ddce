#include "commands.h"

#include "abaddressbook.h"
#include "abfilestamp.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "abstorewatcher.h"
#include "deviceidentity.h"
#include "exchangetls.h"
#include "exchangelistener.h"
#include "netserviceerror.h"
#include "netservicepublisher.h"
#include "ownercardfields.h"
#include "qfexchangeserver.h"
#include "recordlistbuilder.h"
#include "sharedgrouplists.h"
#include "sharingpreferences.h"
#include "stallprobe.h"
#include "printabletext.h"
#include "trustedpeers.h"
#include "vcardcommon.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

// zorbix-cli serve: shares the persons of chosen groups on a TCP port until interrupted.

namespace {

int signalPipe[2] = {-1, -1};

// SIGINT and SIGTERM end the command; SIGUSR1 asks for the stall probe's figure.
void onSignal(int signal)
{
    const char byte = signal == SIGUSR1 ? 2 : 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void printHelp(QTextStream &out)
{
    out << "Usage: zorbix-cli serve [--addressbook DIR] [--name NAME] [--group NAME]... [--port N]\n"
           "                        [--card TAG=TEXT]... [--no-announce]\n"
           "                        [--protected [--allow FINGERPRINT]...]\n"
           "Shares the persons of the named groups (or of the groups chosen for sharing in the\n"
           "settings, followed while it runs) with the exchange protocol, announces the share on\n"
           "the local network through avahi-daemon, and runs until interrupted. Prints the port\n"
           "it listens on and one line per connection.\n\n"
           "  --addressbook DIR  the store directory (default: the user's address book)\n"
           "  --name NAME        the share name announced (default: the saved one)\n"
           "  --no-announce      do not announce the share; peers must enter host and port\n"
           "  --group NAME       share the persons directly in a group of that name; repeatable\n"
           "  --port N           listen on port N (0: any free port; default: the first free\n"
           "                     port from 9879 upward)\n"
           "  --card TAG=TEXT    a field of the owner card by its tag (1 first name, 2 last name,\n"
           "                     3 department, 4 phone, 5 mobile, 6 project, 7 business e-mail,\n"
           "                     8 interests, 9 web site, 10 private e-mail, 11 comments);\n"
           "                     repeatable, overrides the card saved in the settings\n"
           "  --protected        only devices you approve download, over TLS; an unknown device\n"
           "                     is asked about on the terminal (Allow once, Always allow, Deny)\n"
           "                     with the code it shows, and refused when there is no terminal\n"
           "  --allow FINGERPRINT  let this device in without asking (see zorbix-cli identity);\n"
           "                     repeatable\n";
}

// An unknown device asks: the question goes to the terminal when there is one, answered by a line
// (o, a or d); without one, the device is refused at once.
void askOnTerminal(QFExchangeServer &server, QTextStream &out, std::unique_ptr<QSocketNotifier> &terminal)
{
    struct Request
    {
        quint64 id = 0;
        QByteArray fingerprint;
        QString device;
    };
    auto pending = std::make_shared<Request>();
    const bool interactive = ::isatty(STDIN_FILENO) == 1;
    if (interactive) {
        terminal = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(terminal.get(), &QSocketNotifier::activated, &server, [&server, &out, pending] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            const QByteArray answer = n > 0 ? QByteArray(buffer, n).trimmed().toLower() : QByteArray();
            if (pending->id == 0 || answer.isEmpty())
                return;
            const quint64 request = std::exchange(pending->id, 0);
            if (answer.startsWith('a')) {
                TrustedPeers::approve(pending->fingerprint, pending->device);
                server.answerApproval(request, QFExchangeServer::Decision::AlwaysAllow);
            } else if (answer.startsWith('o'))
                server.answerApproval(request, QFExchangeServer::Decision::AllowOnce);
            else
                server.answerApproval(request, QFExchangeServer::Decision::Deny);
            out << "answered\n";
            out.flush();
        });
    }
    QObject::connect(&server, &QFExchangeServer::approvalRequested, &server,
                     [&server, &out, pending, interactive](quint64 request, const QString &peer, const QString &device,
                                                           const QByteArray &fingerprint, const QString &code) {
                         out << "device \"" << printableText(device) << "\" at " << peer << " asks for the records\n"
                             << "  fingerprint " << DeviceIdentity::fingerprintText(fingerprint) << "\n  code " << code
                             << '\n';
                         if (!interactive) {
                             out << "  refused: no terminal to ask on (let it in with --allow)\n";
                             out.flush();
                             server.answerApproval(request, QFExchangeServer::Decision::Deny);
                             return;
                         }
                         out << "Allow once (o), always allow (a) or deny (d)? It must show the code " << code
                             << "; no answer within 60 s denies.\n";
                         out.flush();
                         *pending = {request, fingerprint, device};
                     });
    QObject::connect(&server, &QFExchangeServer::approvalEnded, &server, [&out, pending](quint64 request) {
        if (pending->id != request)
            return;
        pending->id = 0;
        out << "the request ended without an answer\n";
        out.flush();
    });
    QObject::connect(&server, &QFExchangeServer::deviceAdmitted, &server,
                     [](const QByteArray &fingerprint, const QString &device) {
                         if (TrustedPeers::isApproved(fingerprint))
                             TrustedPeers::approve(fingerprint, device); // last seen now
                     });
}

} // namespace

int cmdServe(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString directory;
    QString shareName;
    QStringList groupNames;
    int port = -1;
    bool announce = true;
    OwnerCard cardOptions;
    bool protectedShare = false;
    QList<QByteArray> allowed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printHelp(out);
            return CliOk;
        }
        if (arg == QLatin1String("--no-announce")) {
            announce = false;
        } else if (arg == QLatin1String("--protected")) {
            protectedShare = true;
        } else if (arg == QLatin1String("--allow") && hasValue) {
            allowed.append(DeviceIdentity::parseFingerprint(args[++i]));
            if (allowed.last().isEmpty()) {
                err << "zorbix-cli serve: --allow takes a fingerprint of 64 hex digits (blanks and colons allowed)\n";
                return CliUsage;
            }
        } else if (arg == QLatin1String("--addressbook") && hasValue) {
            directory = args[++i];
        } else if (arg == QLatin1String("--name") && hasValue) {
            shareName = args[++i];
        } else if (arg == QLatin1String("--group") && hasValue) {
            groupNames.append(args[++i]);
        } else if (arg == QLatin1String("--port") && hasValue) {
            bool ok = false;
            port = args[++i].toInt(&ok);
            if (!ok || port < 0 || port > 65535) {
                err << "zorbix-cli serve: --port takes a number from 0 to 65535\n";
                return CliUsage;
            }
        } else if (arg == QLatin1String("--card") && hasValue) {
            const QString field = args[++i];
            const qsizetype eq = field.indexOf(u'=');
            bool ok = false;
            const int tag = eq > 0 ? field.left(eq).toInt(&ok) : 0;
            if (!ok) {
                err << "zorbix-cli serve: --card takes TAG=TEXT, for example --card 1=Ann\n";
                return CliUsage;
            }
            cardOptions.insert(tag, field.mid(eq + 1));
        } else {
            err << "zorbix-cli serve: unknown option or missing value '" << arg << "'\n";
            return CliUsage;
        }
    }

    QSettings settings;
    if (shareName.isEmpty()) {
        const QVariantList prefs = settings.value(QStringLiteral("sharingPrefsV2")).toList();
        shareName = !prefs.isEmpty() && prefs.first().typeId() == QMetaType::QString
                        ? prefs.first().toString()
                        : vCardCommon::getLocMsg(QStringLiteral("SC_DefaultShareName"));
    }
    if (announce && SharingPreferences::shareNameProblem(shareName).first) {
        err << "zorbix-cli serve: the share name must have 1 to " << SharingPreferences::MaxShareNameBytes
            << " bytes of UTF-8; choose another with --name\n";
        return CliUsage;
    }
    // The card: the saved texts, every field present (possibly empty), then the options.
    OwnerCard card;
    const QVariantMap savedCard = settings.value(QStringLiteral("ownerCard")).toMap();
    for (const OwnerCardField &field : kOwnerCardFields)
        card.insert(field.tag, savedCard.value(QString::number(field.tag)).toString());
    for (auto it = cardOptions.cbegin(); it != cardOptions.cend(); ++it)
        card.insert(it.key(), it.value());

    std::unique_ptr<ABAddressBook> own;
    ABAddressBook *book = nullptr;
    if (directory.isEmpty()) {
        book = ABAddressBook::sharedAddressBook();
    } else {
        own = std::make_unique<ABAddressBook>(directory);
        book = own.get();
    }
    if (!book || !book->isOpen()) {
        err << "zorbix-cli serve: cannot open the address book: "
            << (book ? book->errorString() : QStringLiteral("no address book")) << '\n';
        return CliFailure;
    }

    // The selection: groups named on the command line, else the desktop's shared groups, read
    // and reconciled by the same rules (they are not written back: that is the desktop's part).
    // The user may move groups in the desktop while we serve: before each download the settings
    // file is looked at (one stat) and read again when it changed.
    SharedGroupLists lists;
    lists.read(settings);
    lists.reconcile(book);
    ABFileStamp settingsStamp = ABFileStamp::of(settings.fileName());
    const auto takeInSettings = [&settings, &settingsStamp, &lists, book, follow = groupNames.isEmpty()] {
        if (!follow)
            return;
        const ABFileStamp stamp = ABFileStamp::of(settings.fileName());
        if (stamp == settingsStamp)
            return;
        settingsStamp = stamp;
        settings.sync(); // with nothing of ours unsaved, this reads the file again
        lists.read(settings);
        lists.reconcile(book);
    };
    // A person is shared when one of these groups holds it directly.
    const auto sharedGroups = [groupNames, &lists, book] {
        if (groupNames.isEmpty())
            return lists.sharedGroupsIn(book);
        QList<const ABGroup *> groups;
        for (const ABGroup *group : book->groups()) {
            if (groupNames.contains(group->name()))
                groups.append(group);
        }
        return groups;
    };

    if (!allowed.isEmpty() && !protectedShare) {
        err << "zorbix-cli serve: --allow needs --protected\n";
        return CliUsage;
    }
    QFExchangeServer server;
    std::optional<DeviceIdentity> identity;
    std::unique_ptr<QSocketNotifier> terminal;
    if (protectedShare) {
        QString error;
        identity = DeviceIdentity::standard(&error);
        if (!identity) {
            err << "zorbix-cli serve: " << error << '\n';
            return CliFailure;
        }
        server.setProtection(ExchangeTls::configuration(identity->certificate(), identity->privateKey()),
                             [allowed](const QByteArray &fingerprint) {
                                 return allowed.contains(fingerprint) || TrustedPeers::isApproved(fingerprint);
                             });
        askOnTerminal(server, out, terminal);
    }
    ExchangeListener listener(server);
    if (port >= 0) {
        if (!listener.listen(quint16(port))) {
            err << "zorbix-cli serve: cannot listen on port " << port << ": " << listener.errorString() << '\n';
            return CliFailure;
        }
    } else {
        for (int candidate = 9879; candidate <= 65535 && !listener.isListening(); ++candidate)
            listener.listen(quint16(candidate));
        if (!listener.isListening()) {
            err << "zorbix-cli serve: no free port from 9879 upward\n";
            return CliFailure;
        }
    }

    // What other programs change in the directory while we serve counts.
    ABStoreWatcher watcher(book);
    // The shared persons' values are taken here; their list is made on a worker thread.
    server.setRecordSource([book, &watcher, &takeInSettings, sharedGroups] {
        watcher.takeInPendingChanges();
        takeInSettings();
        return [values = RecordListBuilder::sharedValues(book, sharedGroups())] {
            return RecordListBuilder::fromValues(values, ABAddressBook::properties());
        };
    });
    server.setOwnerCardProvider([card] { return card; });
    // A change another program made is taken into the list before anyone asks for it (queued:
    // the stamp takes in pending changes, which must not run inside the watcher's refresh).
    QObject::connect(&watcher, &ABStoreWatcher::refreshed, &server, &QFExchangeServer::prepareRecords,
                     Qt::QueuedConnection);
    // The list changes with the store and with the shared groups.
    server.setRecordStamp([book, &watcher, &takeInSettings, &lists] {
        watcher.takeInPendingChanges();
        takeInSettings();
        QByteArray stamp = QByteArray::number(book->revision());
        for (const QVariant &group : lists.shared())
            stamp += '\0' + group.toMap().value(kABUIDProperty).toString().toUtf8();
        return stamp;
    });
    QObject::connect(&server, &QFExchangeServer::connectionServed, &server, [&out](const QString &peer, int records) {
        out << "served " << records << " records to " << peer << '\n';
        out.flush();
    });
    QObject::connect(&server, &QFExchangeServer::connectionClosed, &server,
                     [&out](const QString &peer, QFExchangeServer::CloseReason reason) {
                         const char *why = nullptr;
                         switch (reason) {
                         case QFExchangeServer::CloseReason::Served:
                             return;
                         case QFExchangeServer::CloseReason::PeerClosed:
                             why = "closed by the peer before asking for records";
                             break;
                         case QFExchangeServer::CloseReason::ProtocolProblem:
                             why = "closed: the peer does not speak the exchange protocol";
                             break;
                         case QFExchangeServer::CloseReason::IdleTimeout:
                             why = "closed: idle too long";
                             break;
                         case QFExchangeServer::CloseReason::WriteBacklog:
                             why = "closed: the peer does not read its replies";
                             break;
                         case QFExchangeServer::CloseReason::DeadlinePassed:
                             why = "closed: the peer took too long";
                             break;
                         case QFExchangeServer::CloseReason::WaitedTooLong:
                             why = "closed: it waited too long for a place";
                             break;
                         case QFExchangeServer::CloseReason::EncodingFailed:
                             why = "closed: the records could not be encoded";
                             break;
                         case QFExchangeServer::CloseReason::PlainPeer:
                             why = "closed: it asked without TLS; the share is protected";
                             break;
                         case QFExchangeServer::CloseReason::TlsFailed:
                             why = "closed: no valid TLS connection";
                             break;
                         case QFExchangeServer::CloseReason::NotAdmitted:
                             why = "closed: the device was not allowed in";
                             break;
                         }
                         out << "connection from " << peer << ' ' << why << '\n';
                         out.flush();
                     });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        err << "zorbix-cli serve: cannot set up signal handling\n";
        return CliFailure;
    }
    // A bench measures how long the event loop stalls: ZORBIX_STALL_PROBE=interval in ms.
    std::unique_ptr<StallProbe> probe;
    if (const int interval = qEnvironmentVariableIntValue("ZORBIX_STALL_PROBE"); interval > 0)
        probe = std::make_unique<StallProbe>(interval);
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, qApp, [&out, &probe] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) == 1 && byte == 2) {
            if (probe)
                out << probe->report() << '\n';
            out.flush();
            return;
        }
        QCoreApplication::quit();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGUSR1, onSignal);

    out << "sharing \"" << shareName << "\" on port " << listener.serverPort() << '\n';
    if (identity)
        out << "protected: only approved devices; this device's fingerprint is "
            << DeviceIdentity::fingerprintText(identity->fingerprint()) << '\n';
    out.flush();

    // The announcement; a share that cannot be announced under its name ends the command, since
    // nobody would find it.
    NetServicePublisher publisher;
    int announceFailure = 0;
    if (announce) {
        QObject::connect(&publisher, &NetServicePublisher::netServiceDidPublish, &publisher, [&out, &shareName] {
            out << "announced \"" << shareName << "\" as _zorbix._tcp in local\n";
            out.flush();
        });
        QObject::connect(&publisher, &NetServicePublisher::netServiceDidNotPublish, &publisher,
                         [&err, &announceFailure](int code) {
                             if (code == NetServiceError::Collision)
                                 err << "zorbix-cli serve: the share name is already taken on the network; "
                                        "choose another with --name\n";
                             else if (code == NetServiceError::DaemonNotRunning)
                                 err << "zorbix-cli serve: cannot announce the share: avahi-daemon is not running "
                                        "(start it, or use --no-announce)\n";
                             else
                                 err << "zorbix-cli serve: cannot announce the share (error " << code << ")\n";
                             err.flush();
                             announceFailure = code;
                             QCoreApplication::quit();
                         });
        publisher.setProtected(protectedShare);
        publisher.publish(shareName, listener.serverPort());
    }
    QCoreApplication::exec();
    if (publisher.isPublishing())
        publisher.stop();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGUSR1, SIG_DFL);
    if (probe)
        out << probe->report() << '\n';
    if (announceFailure != 0)
        return CliFailure;
    out << "stopped\n";
    return CliOk;
}
