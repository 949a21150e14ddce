#pragma once

#include "dnssdbackend.h"
#include "dnssdservice.h"
#include "socketaddress.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

// A responder inside the process, for unit tests. Publications made through it are announced to
// its browses (and resolve to 127.0.0.1 and their port); tests add announcements of other hosts,
// take names, and stop or start the "daemon". Reports go out when the test says so, with the
// more-coming flags it gives, so that batches are exact.
class InProcessDnsSd final : public QObject, public DnsSdBackend
{
    Q_OBJECT

public:
    InProcessDnsSd();
    ~InProcessDnsSd() override;

    DnsSdPublication *createPublication(const QString &name, const QString &type, const QString &domain,
                                        quint16 port, QObject *parent) override;
    DnsSdBrowse *createBrowse(const QString &type, const QString &domain, QObject *parent) override;

    // A stopped daemon fails publications and empties every browse; started again, browses resume.
    void setDaemonRunning(bool running);
    bool isDaemonRunning() const;
    // Another host holds this name: publishing it collides.
    void takeName(const QString &name);
    // Another host claims the name of a running publication: it fails with a collision.
    void claimPublishedName(const QString &name);

    // Reports of other hosts, handed to every browse at once.
    void announce(const DnsSdService &service, bool moreComing);
    void withdraw(const DnsSdService &service, bool moreComing);
    // The addresses a service resolves to; a resolution already asked for is answered now.
    void setAddresses(const DnsSdService &service, const QList<SocketAddress> &addresses);

    // Names of the publications that went out, in the order they did.
    QStringList publishedNames() const;
    // How many resolutions were asked for this service.
    int resolveRequests(const DnsSdService &service) const;

private:
    friend class InProcessPublication;
    friend class InProcessBrowse;
    struct Private;
    Private *d;
};
