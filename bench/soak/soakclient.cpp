// The clients and the group switch of the endurance run (bench/soak/soak.py drives it).
//
//   soakclient run --port P [--clients 20] [--droppers 5] [--seconds S] [--seed N] [--first N] [--tls 1]
//       downloads in a loop from 127.0.0.1:P with the real client; a dropper ends its connection
//       at a random point instead (part of a request, after the connect, in the middle of the
//       answer). One JSON line per download on stdout: the client, the kind (ok, failed,
//       dropped), the wall clock from the connect to the end in ms since the epoch, and for a
//       finished one the record count and a multiset digest of the records (sum of the first
//       16 bytes of SHA-256 over each record's canonical JSON, modulo 2^128).
//   soakclient groups [--addressbook DIR] (--share UID | --unshare UID)...
//       moves groups between the shared and not-shared lists of the settings as the desktop's
//       group page does (reconciled with the store first when DIR is given), and writes them.

#include "abaddressbook.h"
#include "deviceidentity.h"
#include "exchangetls.h"
#include "qfexchangeclient.h"
#include "sharedgrouplists.h"

#include <QCborMap>
#include <QCborValue>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSettings>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

namespace {

QTextStream out(stdout);
QTextStream err(stderr);

// A record's values as compact JSON, keys sorted, dates as "@" + milliseconds since the epoch (the
// form soak.py makes of a card). Written by hand: the JSON classes took most of a download's time.
void appendText(QByteArray &out, const QString &text)
{
    out += '"';
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (quint8(c) < 0x20) {
            out += QByteArray("\\u00") + QByteArray::number(quint8(c), 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendCanonical(QByteArray &out, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap(); // keys in order, as Python sorts them (ASCII)
        out += '{';
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (it != map.cbegin())
                out += ',';
            appendText(out, it.key());
            out += ':';
            appendCanonical(out, it.value());
        }
        out += '}';
        return;
    }
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        out += '[';
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (i > 0)
                out += ',';
            appendCanonical(out, list[i]);
        }
        out += ']';
        return;
    }
    case QMetaType::QDateTime:
        appendText(out, QStringLiteral("@%1").arg(value.toDateTime().toMSecsSinceEpoch()));
        return;
    case QMetaType::QString:
        appendText(out, value.toString());
        return;
    default:
        appendText(out, QStringLiteral("?%1:%2").arg(QString::fromLatin1(value.typeName()), value.toString()));
    }
}

QByteArray canonicalLine(const QVariant &record)
{
    QByteArray out;
    out.reserve(512);
    appendCanonical(out, record);
    return out;
}

QString digest(const std::optional<ArchivedRecords> &records, qsizetype *count)
{
    quint64 high = 0;
    quint64 low = 0;
    *count = records ? records->size() : 0;
    for (qsizetype i = 0; i < *count; ++i) {
        const QByteArray hash = QCryptographicHash::hash(canonicalLine(records->at(i)), QCryptographicHash::Sha256);
        quint64 partHigh = 0;
        quint64 partLow = 0;
        for (int b = 0; b < 8; ++b) {
            partHigh = (partHigh << 8) | quint8(hash[b]);
            partLow = (partLow << 8) | quint8(hash[b + 8]);
        }
        low += partLow;
        high += partHigh + (low < partLow ? 1 : 0);
    }
    return QStringLiteral("%1%2").arg(high, 16, 16, QLatin1Char('0')).arg(low, 16, 16, QLatin1Char('0'));
}

QByteArray frame(const QCborMap &message)
{
    const QByteArray payload = message.toCborValue().toCbor();
    return QByteArray::number(payload.size() + 11).leftJustified(10, ' ') + '+' + payload;
}

// SOAK_DUMP=FILE: the canonical lines of the first download, to compare by hand.
void dumpOnce(const std::optional<ArchivedRecords> &records)
{
    static bool dumped = false;
    const QString path = qEnvironmentVariable("SOAK_DUMP");
    if (dumped || path.isEmpty() || !records)
        return;
    dumped = true;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (qsizetype i = 0; i < records->size(); ++i)
        file.write(canonicalLine(records->at(i)) + '\n');
}

// Set with --tls: every client speaks TLS with this device's identity, as `fetch --tls` does.
std::optional<QSslConfiguration> &tls()
{
    static std::optional<QSslConfiguration> configuration;
    return configuration;
}

// Each client's own sequence, from the run's seed.
QRandomGenerator &seeds()
{
    static QRandomGenerator generator;
    return generator;
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

class Client : public QObject
{
public:
    Client(int number, bool dropper, quint16 port, qint64 endAt)
        : m_number(number), m_dropper(dropper), m_port(port), m_endAt(endAt),
          m_random(seeds().generate())
    {
        m_client.setIdleTimeout(30000);
        if (tls())
            m_client.setTls(*tls(), QStringLiteral("soak client %1").arg(number));
        connect(&m_client, &QFExchangeClient::connected, this, [this] { connected(); });
        connect(&m_client, &QFExchangeClient::finished, this, [this](const QFExchangeReply &reply) {
            qsizetype count = 0;
            const QString sum = reply.type == QLatin1String("AB") ? digest(reply.records, &count) : QString();
            dumpOnce(reply.records);
            report(reply.type == QLatin1String("AB") ? "ok" : "failed",
                   {{QStringLiteral("n"), count}, {QStringLiteral("h"), sum}, {QStringLiteral("type"), reply.type}});
        });
        connect(&m_client, &QFExchangeClient::failed, this, [this](QFExchangeClient::Failure failure) {
            report("failed", {{QStringLiteral("why"), int(failure)}});
        });
        connect(&m_client, &QFExchangeClient::activity, this, [this](qint64 received, qint64 expected) {
            if (m_plan == Plan::MidAnswer && expected > 0 && received >= m_dropAt * expected / 1000)
                drop("mid-answer");
        });
    }

    void start()
    {
        if (now() >= m_endAt) {
            QObject::deleteLater();
            return;
        }
        m_plan = m_dropper ? Plan(m_random.bounded(3) + 1) : Plan::Complete;
        m_dropAt = m_random.bounded(1000);
        m_connectedAt = 0;
        m_startedAt = now();
        if (m_plan == Plan::PartRequest) {
            partRequest();
            return;
        }
        m_client.loadServiceByAddress(QStringLiteral("127.0.0.1"), m_port);
    }

private:
    enum class Plan { Complete, PartRequest, AfterConnect, MidAnswer };

    void connected()
    {
        m_connectedAt = now();
        if (m_plan == Plan::AfterConnect) {
            // Somewhere between our "keys" and the end of the answer.
            QTimer::singleShot(int(m_random.bounded(30)), this, [this, attempt = m_attempt] {
                if (attempt == m_attempt && m_client.state() != QFExchangeClient::State::Finished &&
                    m_client.state() != QFExchangeClient::State::Idle)
                    drop("after-connect");
            });
        }
    }

    // Some bytes of "keys" and "sendAB" (over TLS: part of the handshake), then the connection
    // goes (reset or closed).
    void partRequest()
    {
        auto *socket = tls() ? new QSslSocket(this) : new QTcpSocket(this);
        const QByteArray request = frame({{QStringLiteral("type"), QStringLiteral("keys")},
                                          {QStringLiteral("Keys1"), 7}}) +
                                   frame({{QStringLiteral("type"), QStringLiteral("sendAB")}});
        const qsizetype cut = m_random.bounded(int(request.size()));
        const bool reset = m_random.bounded(2) == 0;
        connect(socket, &QTcpSocket::connected, this, [this, socket, request, cut, reset] {
            m_connectedAt = now();
            if (auto *ssl = qobject_cast<QSslSocket *>(socket)) {
                // The handshake runs for up to 20 ms of the loop, then the connection goes.
                ssl->setSslConfiguration(*tls());
                ssl->setPeerVerifyMode(QSslSocket::QueryPeer);
                ssl->startClientEncryption();
                QTimer::singleShot(int(m_random.bounded(20)), this, [this, socket, reset] {
                    reset ? socket->abort() : socket->disconnectFromHost();
                    socket->deleteLater();
                    report("dropped", {{QStringLiteral("how"), QStringLiteral("part-request")}});
                });
                return;
            }
            socket->write(request.left(cut));
            socket->flush();
            if (reset)
                socket->abort();
            else
                socket->disconnectFromHost();
            socket->deleteLater();
            report("dropped", {{QStringLiteral("how"), QStringLiteral("part-request")}});
        });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
            if (socket->state() == QAbstractSocket::UnconnectedState && m_connectedAt == 0) {
                socket->deleteLater();
                report("failed", {{QStringLiteral("why"), socket->errorString()}});
            }
        });
        socket->connectToHost(QStringLiteral("127.0.0.1"), m_port);
    }

    void drop(const char *how)
    {
        m_client.abort();
        report("dropped", {{QStringLiteral("how"), QString::fromLatin1(how)}});
    }

    void report(const char *kind, const QJsonObject &extra)
    {
        QJsonObject line = extra;
        line.insert(QStringLiteral("c"), m_number);
        line.insert(QStringLiteral("kind"), QString::fromLatin1(kind));
        line.insert(QStringLiteral("t0"), m_connectedAt ? m_connectedAt : m_startedAt);
        line.insert(QStringLiteral("t1"), now());
        out << QJsonDocument(line).toJson(QJsonDocument::Compact) << '\n';
        out.flush();
        ++m_attempt;
        // The next download from the event loop: the signal that ended this one is still running.
        QTimer::singleShot(0, this, [this] { start(); });
    }

    QFExchangeClient m_client;
    int m_number;
    bool m_dropper;
    quint16 m_port;
    qint64 m_endAt;
    QRandomGenerator m_random;
    Plan m_plan = Plan::Complete;
    qint64 m_dropAt = 0;
    qint64 m_startedAt = 0;
    qint64 m_connectedAt = 0;
    quint64 m_attempt = 0;
};

int run(const QStringList &args)
{
    int clients = 20;
    int droppers = 5;
    int seconds = 60;
    int first = 0;
    quint16 port = 0;
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        const QString &option = args[i];
        const int value = args[i + 1].toInt();
        if (option == QLatin1String("--port"))
            port = quint16(value);
        else if (option == QLatin1String("--clients"))
            clients = value;
        else if (option == QLatin1String("--droppers"))
            droppers = value;
        else if (option == QLatin1String("--seconds"))
            seconds = value;
        else if (option == QLatin1String("--first"))
            first = value;
        else if (option == QLatin1String("--tls") && value == 1) {
            QString error;
            const std::optional<DeviceIdentity> identity = DeviceIdentity::standard(&error);
            if (!identity) {
                err << "soakclient run: " << error << '\n';
                return 2;
            }
            tls() = ExchangeTls::configuration(identity->certificate(), identity->privateKey());
        }
        else if (option == QLatin1String("--seed"))
            seeds().seed(quint32(value));
    }
    if (port == 0) {
        err << "soakclient run: --port is needed\n";
        return 2;
    }
    const qint64 endAt = now() + qint64(seconds) * 1000;
    int running = clients;
    for (int i = 0; i < clients; ++i) {
        // The droppers are the last ones.
        auto *client = new Client(first + i, i >= clients - droppers, port, endAt);
        QObject::connect(client, &QObject::destroyed, qApp, [&running] {
            if (--running == 0)
                QCoreApplication::quit();
        });
        QTimer::singleShot(i * 10, client, [client] { client->start(); });
    }
    return QCoreApplication::exec();
}

int groups(const QStringList &args)
{
    QSettings settings;
    SharedGroupLists lists;
    lists.read(settings);
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--addressbook")) {
            ABAddressBook book(args[i + 1]);
            if (!lists.reconcile(&book)) {
                err << "soakclient groups: cannot open " << args[i + 1] << '\n';
                return 1;
            }
            continue;
        }
        const bool share = args[i] == QLatin1String("--share");
        const QVariantList &from = share ? lists.nonShared() : lists.shared();
        qsizetype row = -1;
        for (qsizetype r = 0; r < from.size() && row < 0; ++r) {
            if (from[r].toMap().value(QStringLiteral("UID")).toString() == args[i + 1])
                row = r;
        }
        if (row < 0 || !(share ? lists.share(row) : lists.unshare(row))) {
            err << "soakclient groups: no group " << args[i + 1] << " to move\n";
            return 1;
        }
    }
    return lists.write(settings) ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("quenfold"));
    QCoreApplication::setApplicationName(QStringLiteral("zorbix"));
    QStringList args = app.arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("run"))
        return run(args);
    if (command == QLatin1String("groups"))
        return groups(args);
    err << "usage: soakclient run --port P [--clients N] [--droppers N] [--seconds S] [--seed N] [--first N] [--tls 1]\n"
           "       soakclient groups [--addressbook DIR] (--share UID | --unshare UID)...\n";
    return 2;
}
