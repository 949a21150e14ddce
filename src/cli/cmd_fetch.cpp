#include "commands.h"

#include "durablefile.h"
#include "deviceidentity.h"
#include "exchangeprotocol.h"
#include "exchangetls.h"
#include "fetch_export.h"
#include "fetchimport.h"
#include "jsonstream.h"
#include "ownercardfields.h"
#include "printabletext.h"
#include "qfexchangeclient.h"
#include "trustedpeers.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>

// zorbix-cli fetch HOST:PORT: downloads one share and prints the sharer's card and the number of
// records; writes the record list as JSON when asked.

namespace {

// The record list as JSON, one record per line, each built and written in turn and its texts
// escaped in pieces: a large share is never held as a whole, neither as records nor as JSON.
// Dates become RFC 3339 texts, bytes base64 texts. "-" is standard output.
int writeRecordsJson(const ArchivedRecords &records, const QString &jsonFile, QTextStream &err)
{
    QFile standardOutput;
    DurableFile file(jsonFile);
    QIODevice *device = &file;
    if (jsonFile == QLatin1String("-")) {
        if (!standardOutput.open(stdout, QIODevice::WriteOnly))
            return CliFailure;
        device = &standardOutput;
    } else if (!file.open(QIODevice::WriteOnly)) {
        err << "zorbix-cli fetch: cannot write " << jsonFile << ": " << file.errorString() << '\n';
        return CliFailure;
    }
    bool written = false;
    {
        JsonStream json(device);
        json.raw("[");
        for (qsizetype i = 0; i < records.size(); ++i) {
            json.raw(i == 0 ? "\n" : ",\n");
            json.value(records.at(i));
        }
        json.raw("\n]\n");
        written = json.flush();
    }
    if (device == &standardOutput) {
        standardOutput.flush();
        return written ? CliOk : CliFailure;
    }
    if (!written || !file.commit()) {
        err << "zorbix-cli fetch: cannot write " << jsonFile << ": " << file.errorString() << '\n';
        return CliFailure;
    }
    return CliOk;
}

void printHelp(QTextStream &out)
{
    out << "Usage: zorbix-cli fetch HOST:PORT [--tls [--pin FINGERPRINT]] [--json FILE] [--timeout SECONDS]\n"
           "       [--csv FILE [--preset 0-4] [--encoding TAG|NAME] [--header first|last|none]\n"
           "       [--raw-values]] [--vcf FILE] [--import ...]\n"
           "Downloads the address book shared at HOST:PORT, prints the sharer's card and the\n"
           "number of records.\n\n"
           "  --json FILE        also write the record list as JSON ('-' for standard output)\n"
           "  --timeout SECONDS  give up when the share stays silent this long (default 30); the\n"
           "                     whole download may take the connect time, twice this, and one\n"
           "                     second per MiB of the answer\n"
           "  --tls              the share is protected: connect over TLS with this device's\n"
           "                     certificate; the share's owner approves it once after comparing\n"
           "                     the code printed here. The first download pins the share's\n"
           "                     certificate to HOST:PORT; later downloads from HOST:PORT always\n"
           "                     use TLS and stop when they meet another certificate (forget the\n"
           "                     pin with zorbix-cli identity --forget)\n"
           "  --pin FINGERPRINT  with --tls: take the records only from a share with this\n"
           "                     certificate fingerprint (64 hex digits)\n"
        << FetchExport::help()
        << "\nExit codes: 0 done, 2 usage, 3 connection refused, 4 not a compatible share,\n"
           "5 timed out, 6 other network failure, 7 no secure connection or not the certificate\n"
           "expected, 8 not allowed in by the share's owner, 1 an output file could not be written.\n";
    FetchImport::printHelp(out);
}

} // namespace

int cmdFetch(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString target;
    QString jsonFile;
    int timeoutSeconds = ExchangeProtocol::kClientIdleTimeout / 1000;
    FetchExport exporter;
    QString exportError;
    FetchImport import;
    bool tls = false;
    QByteArray pin;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printHelp(out);
            return CliOk;
        }
        if (arg == QLatin1String("--tls")) {
            tls = true;
        } else if (arg == QLatin1String("--pin") && i + 1 < args.size()) {
            pin = DeviceIdentity::parseFingerprint(args[++i]);
            if (pin.isEmpty()) {
                err << "zorbix-cli fetch: --pin takes a fingerprint of 64 hex digits (blanks and colons allowed)\n";
                return CliUsage;
            }
        } else if (arg == QLatin1String("--json") && i + 1 < args.size()) {
            jsonFile = args[++i];
        } else if (arg == QLatin1String("--timeout") && i + 1 < args.size()) {
            bool ok = false;
            timeoutSeconds = args[++i].toInt(&ok);
            if (!ok || timeoutSeconds < 1 || timeoutSeconds > 3600) {
                err << "zorbix-cli fetch: --timeout takes a number of seconds from 1 to 3600\n";
                return CliUsage;
            }
        } else if (exporter.takeOption(args, i, &exportError)) {
            if (!exportError.isEmpty()) {
                err << "zorbix-cli fetch: " << exportError << '\n';
                return CliUsage;
            }
        } else if (bool bad = false; import.takeOption(args, i, err, &bad)) {
            if (bad)
                return CliUsage;
        } else if (!arg.startsWith(u'-') && target.isEmpty()) {
            target = arg;
        } else {
            err << "zorbix-cli fetch: unknown option or missing value '" << arg << "'\n";
            return CliUsage;
        }
    }
    const qsizetype colon = target.lastIndexOf(u':');
    bool portOk = false;
    const uint port = colon > 0 ? target.mid(colon + 1).toUInt(&portOk) : 0;
    if (!portOk || port == 0 || port > 65535) {
        err << "zorbix-cli fetch: give the share as HOST:PORT, for example 192.168.1.5:9879\n";
        return CliUsage;
    }
    const QString host = target.left(colon);
    if (!QFExchangeClient::isUsableHost(host)) {
        err << "zorbix-cli fetch: shares listen on IPv4 only; give an IPv4 address or a host name, "
               "for example 192.168.1.5:9879 (not " << printableText(host) << ")\n";
        return CliUsage;
    }
    if (!pin.isEmpty() && !tls) {
        err << "zorbix-cli fetch: --pin needs --tls\n";
        return CliUsage;
    }
    if (const int code = import.prepare(err); code != CliOk)
        return code;

    QFExchangeClient client;
    client.setConnectTimeout(timeoutSeconds * 1000);
    client.setIdleTimeout(timeoutSeconds * 1000);
    // The pin given, else the one recorded for this address at the first download; a pinned
    // share is never asked in plain, so a plain impostor at its address gets nothing from us.
    const std::optional<TrustedPeers::Pin> recorded = TrustedPeers::pinFor(QString(), target);
    tls = tls || recorded.has_value();
    const QByteArray expected = !pin.isEmpty() ? pin : recorded ? recorded->fingerprint : QByteArray();
    if (tls) {
        QString error;
        const std::optional<DeviceIdentity> identity = DeviceIdentity::standard(&error);
        if (!identity) {
            err << "zorbix-cli fetch: " << error << '\n';
            return CliFailure;
        }
        client.setTls(ExchangeTls::configuration(identity->certificate(), identity->privateKey()),
                      DeviceIdentity::deviceName());
        client.setExpectedFingerprint(expected);
        QObject::connect(&client, &QFExchangeClient::waitingForApproval, &client, [&err](const QString &code) {
            err << "zorbix-cli fetch: waiting for approval; the share's owner sees the code " << code
                << ": compare it with them\n";
            err.flush();
        });
    }
    QEventLoop loop;
    std::optional<QFExchangeReply> reply;
    std::optional<QFExchangeClient::Failure> failure;
    QObject::connect(&client, &QFExchangeClient::finished, &loop, [&](const QFExchangeReply &r) {
        reply = r;
        loop.quit();
    });
    QObject::connect(&client, &QFExchangeClient::failed, &loop, [&](QFExchangeClient::Failure f) {
        failure = f;
        loop.quit();
    });
    client.loadServiceByAddress(host, quint16(port));
    loop.exec();

    if (failure) {
        switch (*failure) {
        case QFExchangeClient::Failure::ConnectionRefused:
            err << "zorbix-cli fetch: connection refused by " << target << '\n';
            return CliConnectionRefused;
        case QFExchangeClient::Failure::Incompatible:
            err << "zorbix-cli fetch: " << target << " is not a compatible share\n";
            return CliIncompatible;
        case QFExchangeClient::Failure::TimedOut:
            err << "zorbix-cli fetch: " << target << " did not answer in time\n";
            return CliTimedOut;
        case QFExchangeClient::Failure::ClosedEarly:
            err << "zorbix-cli fetch: " << target << " closed the connection before sending the records\n";
            return CliNetworkFailure;
        case QFExchangeClient::Failure::Protected:
            err << "zorbix-cli fetch: " << target << " is a protected share; fetch it with --tls\n";
            return CliIncompatible;
        case QFExchangeClient::Failure::TlsFailed:
            err << "zorbix-cli fetch: no secure connection to " << target
                << " (not a protected share, or its certificate is not valid now)\n";
            return CliUntrusted;
        case QFExchangeClient::Failure::PinMismatch: {
            const QByteArray presented = ExchangeTls::fingerprint(client.serverCertificate());
            err << "zorbix-cli fetch: WARNING: " << target << " presented the certificate\n  "
                << DeviceIdentity::fingerprintText(presented) << "\nbut "
                << (pin.isEmpty() ? QStringLiteral("when you first downloaded from it on %1 it was")
                                        .arg(recorded->pinned.toLocalTime().toString(Qt::ISODate))
                                  : QStringLiteral("--pin asks for"))
                << "\n  " << DeviceIdentity::fingerprintText(expected)
                << "\nSomeone may pretend to be this share, or its owner made a new identity. Nothing was "
                   "taken in.\n";
            return CliUntrusted;
        }
        case QFExchangeClient::Failure::Denied:
            err << "zorbix-cli fetch: the owner of " << target << " did not allow this device\n";
            return CliNotAdmitted;
        case QFExchangeClient::Failure::NotAnswered:
            err << "zorbix-cli fetch: the owner of " << target << " did not answer in time\n";
            return CliNotAdmitted;
        default:
            err << "zorbix-cli fetch: cannot connect to " << target << '\n';
            return CliNetworkFailure;
        }
    }
    if (reply->type != ExchangeProtocol::kTypeAB) {
        err << "zorbix-cli fetch: " << target << " answered with \"" << printableText(reply->type) << "\" instead of records\n";
        return CliIncompatible;
    }

    if (tls && !recorded && !reply->serverFingerprint.isEmpty() &&
        TrustedPeers::pin(QString(), target, reply->serverFingerprint))
        err << "zorbix-cli fetch: pinned the certificate of " << target << ": "
            << DeviceIdentity::fingerprintText(reply->serverFingerprint) << '\n';

    if (reply->ownerCard) {
        for (const OwnerCardField &field : kOwnerCardFields) {
            const auto it = reply->ownerCard->constFind(field.tag);
            if (it != reply->ownerCard->cend() && !it->isEmpty())
                out << field.label << ": " << printableText(*it) << '\n';
        }
    }
    const ArchivedRecords records = reply->records.value_or(ArchivedRecords());
    out << records.size() << " records\n";
    out.flush();
    if (import.requested()) {
        const int code = import.run(records, out, err);
        out.flush();
        if (code != CliOk)
            return code;
    }

    if (!jsonFile.isEmpty()) {
        if (const int code = writeRecordsJson(records, jsonFile, err); code != CliOk)
            return code;
    }
    return exporter.run(records, out, err);
}
