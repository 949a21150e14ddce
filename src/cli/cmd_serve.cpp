#include "commands.h"

#include "abaddressbook.h"
#include "abgroup.h"
#include "abperson.h"
#include "abstorewatcher.h"
#include "exchangelistener.h"
#include "netserviceerror.h"
#include "netservicepublisher.h"
#include "ownercardfields.h"
#include "qfexchangeserver.h"
#include "recordlistbuilder.h"
#include "sharedgrouplists.h"
#include "sharingpreferences.h"
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

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}


void printHelp(QTextStream &out)
{
    out << "Usage: zorbix-cli serve [--addressbook DIR] [--name NAME] [--group NAME]... [--port N]\n"
           "                        [--card TAG=TEXT]... [--no-announce]\n"
           "Shares the persons of the named groups (or of the groups chosen for sharing in the\n"
           "settings) with the exchange protocol, announces the share on the local network\n"
           "through avahi-daemon, and runs until interrupted. Prints the port it listens on and\n"
           "one line per connection.\n\n"
           "  --addressbook DIR  the store directory (default: the user's address book)\n"
           "  --name NAME        the share name announced (default: the saved one)\n"
           "  --no-announce      do not announce the share; peers must enter host and port\n"
           "  --group NAME       share the persons directly in a group of that name; repeatable\n"
           "  --port N           listen on port N (0: any free port; default: the first free\n"
           "                     port from 9879 upward)\n"
           "  --card TAG=TEXT    a field of the owner card by its tag (1 first name, 2 last name,\n"
           "                     3 department, 4 phone, 5 mobile, 6 project, 7 business e-mail,\n"
           "                     8 interests, 9 web site, 10 private e-mail, 11 comments);\n"
           "                     repeatable, overrides the card saved in the settings\n";
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
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printHelp(out);
            return CliOk;
        }
        if (arg == QLatin1String("--no-announce")) {
            announce = false;
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
    SharedGroupLists lists;
    lists.read(settings);
    lists.reconcile(book);
    const auto isShared = [groupNames, lists](const ABPerson *person) {
        if (!groupNames.isEmpty()) {
            const QList<ABGroup *> parents = person->parentGroups();
            return std::any_of(parents.cbegin(), parents.cend(),
                               [&groupNames](const ABGroup *group) { return groupNames.contains(group->name()); });
        }
        return lists.isShared(person);
    };

    QFExchangeServer server;
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
    server.setRecordProvider([book, &watcher, isShared] {
        watcher.takeInPendingChanges();
        return RecordListBuilder::build(book, isShared);
    });
    server.setOwnerCardProvider([card] { return card; });
    // The groups are fixed for the run: the list changes only with the store.
    server.setRecordStamp([book, &watcher] {
        watcher.takeInPendingChanges();
        return QByteArray::number(book->revision());
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
                         case QFExchangeServer::CloseReason::EncodingFailed:
                             why = "closed: the records could not be encoded";
                             break;
                         }
                         out << "connection from " << peer << ' ' << why << '\n';
                         out.flush();
                     });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        err << "zorbix-cli serve: cannot set up signal handling\n";
        return CliFailure;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    out << "sharing \"" << shareName << "\" on port " << listener.serverPort() << '\n';
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
        publisher.publish(shareName, listener.serverPort());
    }
    QCoreApplication::exec();
    if (publisher.isPublishing())
        publisher.stop();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (announceFailure != 0)
        return CliFailure;
    out << "stopped\n";
    return CliOk;
}
