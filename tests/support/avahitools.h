#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QString>

// The other side of DNS-SD tests in the private namespace: avahi-browse and avahi-publish, real
// clients of the daemon that we did not write.
namespace AvahiTools {

// The namespace's own address (scripts/testenv.sh).
inline const QHostAddress kNamespaceAddress{QStringLiteral("10.99.0.1")};
constexpr int kWait = 15000;
// One avahi-browse run at most; a check that browses retries within kWait.
constexpr int kBrowseWait = 5000;

// A name no other test process uses at the same time.
QString unique(const QString &base);

struct Listed
{
    QString name;
    QString address;
    int port;
    QString host;
};

// What avahi-browse -rpt _zorbix._tcp lists, resolved.
QList<Listed> avahiBrowse();
// What the last avahiBrowse() printed, for failure messages.
QString lastBrowseOutput();
// Listed under the name and port, on one of the namespace's addresses, and on that host name
// ("zbxtest.local") if one is given.
bool listedOnHost(const QList<Listed> &listed, const QString &name, int port, const QString &host);
inline bool listedBy(const QList<Listed> &listed, const QString &name, int port)
{
    return listedOnHost(listed, name, port, QString());
}
// Browses once; true only when that browse finished and did not list the name.
bool goneFromBrowse(const QString &name);

// An announcement by avahi-publish, gone when this is destroyed (killed, not asked to leave).
class Announcer
{
public:
    Announcer(const QString &name, int port);
    ~Announcer();
    bool waitEstablished();
    QByteArray output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace AvahiTools
