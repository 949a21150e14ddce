#include "inprocessdnssd.h"

#include "dnssdbrowse.h"
#include "dnssdpublication.h"
#include "netserviceerror.h"

#include <QPointer>

class InProcessPublication;
class InProcessBrowse;

struct InProcessDnsSd::Private
{
    bool running = true;
    QStringList takenNames;
    QList<QPointer<InProcessPublication>> publications;
    QList<QPointer<InProcessBrowse>> browses;
    QList<QPair<DnsSdService, QList<SocketAddress>>> addresses;
    QList<QPair<DnsSdService, QList<QByteArray>>> texts;
    QList<DnsSdService> resolveRequests;
    QStringList publishedNames;
};

namespace {
QString normalized(const QString &text)
{
    QString t = text;
    while (t.endsWith(u'.'))
        t.chop(1);
    return t;
}
} // namespace

class InProcessPublication final : public DnsSdPublication
{
    Q_OBJECT

public:
    InProcessPublication(InProcessDnsSd &owner, const DnsSdService &service, quint16 port, QObject *parent)
        : DnsSdPublication(parent), m_owner(&owner), m_service(service), m_port(port)
    {
    }
    ~InProcessPublication() override { takeDown(); }

    void start() override
    {
        QMetaObject::invokeMethod(this, &InProcessPublication::go, Qt::QueuedConnection);
    }

    void withdraw() override
    {
        m_withdrawn = true;
        takeDown();
    }

    void fail(int code)
    {
        takeDown();
        emit failed(code);
    }

    DnsSdService service() const { return m_service; }
    quint16 port() const { return m_port; }
    bool isUp() const { return m_up; }

private:
    void go();
    void takeDown();

    QPointer<InProcessDnsSd> m_owner;
    DnsSdService m_service;
    quint16 m_port;
    bool m_up = false;
    bool m_withdrawn = false;
};

class InProcessBrowse final : public DnsSdBrowse
{
    Q_OBJECT

public:
    InProcessBrowse(InProcessDnsSd &owner, const QString &type, const QString &domain, QObject *parent)
        : DnsSdBrowse(parent), m_owner(&owner), m_type(normalized(type)), m_domain(normalized(domain))
    {
    }

    void start() override
    {
        m_started = true;
        m_available = m_owner && m_owner->d->running;
    }
    bool isAvailable() const override { return m_available; }

    void resolve(const DnsSdService &service) override
    {
        if (!m_owner)
            return;
        m_owner->d->resolveRequests.append(service);
        m_wanted.append(service);
        answer(service);
    }

    bool wants(const DnsSdService &service) const
    {
        return m_started && m_available && normalized(service.type) == m_type &&
               normalized(service.domain) == m_domain;
    }

    void answer(const DnsSdService &service)
    {
        if (!m_owner || !m_wanted.contains(service))
            return;
        for (const auto &entry : std::as_const(m_owner->d->addresses)) {
            if (entry.first == service) {
                m_wanted.removeAll(service);
                QList<QByteArray> text;
                for (const auto &t : std::as_const(m_owner->d->texts)) {
                    if (t.first == service)
                        text = t.second;
                }
                QMetaObject::invokeMethod(
                    this,
                    [this, service, a = entry.second, text] {
                        emit serviceTextResolved(service, text);
                        emit serviceResolved(service, a);
                    },
                    Qt::QueuedConnection);
                return;
            }
        }
    }

    void found(const DnsSdService &service, bool moreComing)
    {
        m_seen.append(service);
        emit serviceFound(service, moreComing);
    }
    void removed(const DnsSdService &service, bool moreComing)
    {
        m_seen.removeOne(service);
        m_wanted.removeAll(service);
        emit serviceRemoved(service, moreComing);
    }

    void setAvailable(bool available)
    {
        if (!m_started || available == m_available)
            return;
        if (!available) {
            const QList<DnsSdService> seen = m_seen;
            for (qsizetype i = 0; i < seen.size(); ++i)
                removed(seen[i], i + 1 < seen.size());
        }
        m_available = available;
        emit availabilityChanged(available);
    }

private:
    QPointer<InProcessDnsSd> m_owner;
    QString m_type;
    QString m_domain;
    bool m_started = false;
    bool m_available = false;
    QList<DnsSdService> m_seen;
    QList<DnsSdService> m_wanted;
};

void InProcessPublication::go()
{
    if (!m_owner || m_withdrawn)
        return;
    InProcessDnsSd::Private *d = m_owner->d;
    if (!d->running) {
        emit failed(NetServiceError::DaemonNotRunning);
        return;
    }
    const qsizetype bytes = m_service.name.toUtf8().size();
    if (bytes == 0 || bytes > 63) {
        emit failed(NetServiceError::BadArgument);
        return;
    }
    bool taken = d->takenNames.contains(m_service.name);
    for (const auto &other : std::as_const(d->publications)) {
        if (other && other != this && other->isUp() && other->service().name == m_service.name)
            taken = true;
    }
    if (taken) {
        emit failed(NetServiceError::Collision);
        return;
    }
    m_up = true;
    d->publishedNames.append(m_service.name);
    d->addresses.append({m_service, {SocketAddress(QHostAddress(QHostAddress::LocalHost), m_port)}});
    d->texts.append({m_service, textRecords()});
    emit registering();
    emit established();
    m_owner->announce(m_service, false);
}

void InProcessPublication::takeDown()
{
    if (!m_up)
        return;
    m_up = false;
    if (!m_owner)
        return;
    m_owner->d->addresses.removeIf([this](const auto &entry) { return entry.first == m_service; });
    m_owner->d->texts.removeIf([this](const auto &entry) { return entry.first == m_service; });
    m_owner->withdraw(m_service, false);
}

InProcessDnsSd::InProcessDnsSd() : d(new Private) {}

InProcessDnsSd::~InProcessDnsSd()
{
    delete d;
}

DnsSdPublication *InProcessDnsSd::createPublication(const QString &name, const QString &type,
                                                    const QString &domain, quint16 port, QObject *parent)
{
    auto *publication =
        new InProcessPublication(*this, {name, normalized(type), normalized(domain)}, port, parent);
    d->publications.append(publication);
    return publication;
}

DnsSdBrowse *InProcessDnsSd::createBrowse(const QString &type, const QString &domain, QObject *parent)
{
    auto *browse = new InProcessBrowse(*this, type, domain, parent);
    d->browses.append(browse);
    return browse;
}

void InProcessDnsSd::setDaemonRunning(bool running)
{
    d->running = running;
    if (!running) {
        const auto publications = d->publications;
        for (const auto &publication : publications) {
            if (publication && publication->isUp())
                publication->fail(NetServiceError::DaemonNotRunning);
        }
    }
    const auto browses = d->browses;
    for (const auto &browse : browses) {
        if (browse)
            browse->setAvailable(running);
    }
}

bool InProcessDnsSd::isDaemonRunning() const
{
    return d->running;
}

void InProcessDnsSd::takeName(const QString &name)
{
    d->takenNames.append(name);
}

void InProcessDnsSd::claimPublishedName(const QString &name)
{
    d->takenNames.append(name);
    const auto publications = d->publications;
    for (const auto &publication : publications) {
        if (publication && publication->isUp() && publication->service().name == name)
            publication->fail(NetServiceError::Collision);
    }
}

void InProcessDnsSd::announce(const DnsSdService &service, bool moreComing)
{
    const auto browses = d->browses;
    for (const auto &browse : browses) {
        if (browse && browse->wants(service))
            browse->found(service, moreComing);
    }
}

void InProcessDnsSd::withdraw(const DnsSdService &service, bool moreComing)
{
    const auto browses = d->browses;
    for (const auto &browse : browses) {
        if (browse && browse->wants(service))
            browse->removed(service, moreComing);
    }
}

void InProcessDnsSd::setAddresses(const DnsSdService &service, const QList<SocketAddress> &addresses)
{
    d->addresses.removeIf([&service](const auto &entry) { return entry.first == service; });
    d->addresses.append({service, addresses});
    const auto browses = d->browses;
    for (const auto &browse : browses) {
        if (browse)
            browse->answer(service);
    }
}

QStringList InProcessDnsSd::publishedNames() const
{
    return d->publishedNames;
}

int InProcessDnsSd::resolveRequests(const DnsSdService &service) const
{
    return int(d->resolveRequests.count(service));
}

#include "inprocessdnssd.moc"
