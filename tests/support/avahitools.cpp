#include "avahitools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>

#include <algorithm>
#include <cctype>

namespace AvahiTools {

QString unique(const QString &base)
{
    static int counter = 0;
    return base + QStringLiteral(" %1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
}

namespace {
// avahi-browse -p writes a byte as \DDD and escapes dots and backslashes.
QString unescapeAvahi(const QString &text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && std::isdigit(uchar(in[i + 1])) &&
            std::isdigit(uchar(in[i + 2])) && std::isdigit(uchar(in[i + 3]))) {
            out.append(char(in.mid(i + 1, 3).toInt()));
            i += 3;
        } else if (in[i] == '\\' && i + 1 < in.size()) {
            out.append(in[++i]);
        } else {
            out.append(in[i]);
        }
    }
    return QString::fromUtf8(out);
}

QString lastBrowse;
bool lastBrowseComplete = false;
} // namespace

QString lastBrowseOutput()
{
    return lastBrowse;
}

QList<Listed> avahiBrowse()
{
    // -t ends after the cache is exhausted and every resolver has answered; a busy daemon can
    // keep a resolver pending for a long time, so a browse is bounded and what it printed until
    // then still counts. Callers retry.
    QElapsedTimer clock;
    clock.start();
    QProcess browse;
    browse.start(QStringLiteral("avahi-browse"), {QStringLiteral("-rpt"), QStringLiteral("_zorbix._tcp")});
    lastBrowseComplete = browse.waitForFinished(kBrowseWait) && browse.exitStatus() == QProcess::NormalExit;
    if (!lastBrowseComplete) {
        browse.kill();
        browse.waitForFinished(2000);
    }
    QList<Listed> listed;
    lastBrowse = QString::fromUtf8(browse.readAllStandardOutput());
    const QStringList lines = lastBrowse.split(u'\n');
    lastBrowse += QString::fromUtf8(browse.readAllStandardError());
    lastBrowse += QStringLiteral("[avahi-browse %1 after %2 ms]")
                      .arg(lastBrowseComplete ? u"finished"_qs : u"stopped"_qs)
                      .arg(clock.elapsed());
    for (const QString &line : lines) {
        const QStringList f = line.split(u';');
        if (f.size() >= 9 && f[0] == u"=")
            listed.append({unescapeAvahi(f[3]), f[7], f[8].toInt(), f[6]});
    }
    return listed;
}

namespace {
bool isOwnAddress(const QHostAddress &address)
{
    const QList<QHostAddress> own = QNetworkInterface::allAddresses();
    return std::any_of(own.begin(), own.end(), [&](QHostAddress a) {
        a.setScopeId(QString()); // avahi-browse prints link-local addresses without their scope
        return a == address;
    });
}
} // namespace

bool listedOnHost(const QList<Listed> &listed, const QString &name, int port, const QString &host)
{
    // avahi-browse resolves to IPv4 or to the link-local IPv6 address, whichever answers first;
    // either way it must be one of the namespace's own.
    return std::any_of(listed.begin(), listed.end(), [&](const Listed &l) {
        return (host.isEmpty() || l.host == host) && l.name == name && l.port == port &&
               isOwnAddress(QHostAddress(l.address));
    });
}

bool goneFromBrowse(const QString &name)
{
    const QList<Listed> listed = avahiBrowse();
    // An unfinished browse proves nothing about absence.
    return lastBrowseComplete &&
           std::none_of(listed.begin(), listed.end(), [&](const Listed &l) { return l.name == name; });
}

Announcer::Announcer(const QString &name, int port)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("avahi-publish"),
                    {QStringLiteral("-s"), name, QStringLiteral("_zorbix._tcp"), QString::number(port)});
}

Announcer::~Announcer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool Announcer::waitEstablished()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kWait) {
        m_output += m_process.readAll();
        if (m_output.contains("Established under name"))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(100);
    }
    return false;
}

} // namespace AvahiTools
