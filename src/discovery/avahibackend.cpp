#include "avahibackend.h"

#include "dnssdbrowse.h"
#include "dnssdpublication.h"
#include "netserviceerror.h"
#include "systemlog.h"

#include <QElapsedTimer>
#include <QPointer>

#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>

#include <netinet/in.h>

namespace {

// How long reports may wait for company before they go out as one batch, and at most.
constexpr int kBatchQuietMs = 50;
constexpr int kBatchMaxMs = 250;
constexpr int kRetryMs = 3000;

class AvahiPublication final : public DnsSdPublication
{
    Q_OBJECT

public:
    AvahiPublication(AvahiBackend &backend, const QString &name, const QString &type, const QString &domain,
                     quint16 port, QObject *parent)
        : DnsSdPublication(parent), m_backend(backend), m_name(name.toUtf8()),
          m_type(AvahiBackend::withoutTrailingDot(type)), m_domain(AvahiBackend::withoutTrailingDot(domain)),
          m_port(port)
    {
        connect(&m_backend, &AvahiBackend::clientLost, this, [this] {
            if (m_group)
                fail(NetServiceError::DaemonNotRunning);
        });
        // The host's name changes (renamed, or taken by another host): our records point at the
        // old name, so they are withdrawn now and registered again under the new one.
        connect(&m_backend, &AvahiBackend::hostNameChanging, this, [this] {
            if (!m_group || m_failed)
                return;
            avahi_entry_group_reset(m_group);
            m_waitingForHost = true;
        });
        connect(&m_backend, &AvahiBackend::clientRunning, this, [this] {
            if (!m_waitingForHost || !m_group || m_failed)
                return;
            m_waitingForHost = false;
            systemLog(QStringLiteral("DNS-SD: the host name changed; announcing \"%1\" again")
                          .arg(QString::fromUtf8(m_name)));
            addAndCommit();
        });
    }

    ~AvahiPublication() override { freeGroup(); }

    void withdraw() override
    {
        m_failed = true;
        m_withdrawn = true;
        freeGroup();
    }

    void start() override
    {
        AvahiClient *client = m_backend.usableClient();
        if (!client) {
            fail(NetServiceError::DaemonNotRunning);
            return;
        }
        m_group = avahi_entry_group_new(client, &AvahiPublication::groupCallback, this);
        if (!m_group) {
            fail(AvahiBackend::netServiceError(avahi_client_errno(client)));
            return;
        }
        if (!addAndCommit())
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_withdrawn)
                    emit registering();
            },
            Qt::QueuedConnection);
    }

private:
    bool addAndCommit()
    {
        AvahiStringList *text = nullptr;
        for (const QByteArray &record : textRecords())
            text = avahi_string_list_add_arbitrary(text, reinterpret_cast<const uint8_t *>(record.constData()),
                                                   size_t(record.size()));
        int result = avahi_entry_group_add_service_strlst(
            m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), m_name.constData(),
            m_type.constData(), m_domain.isEmpty() ? nullptr : m_domain.constData(), nullptr, m_port, text);
        avahi_string_list_free(text);
        if (result >= 0)
            result = avahi_entry_group_commit(m_group);
        if (result < 0) {
            fail(AvahiBackend::netServiceError(result));
            return false;
        }
        return true;
    }

    // Reports the failure from the event loop; the group is freed there too, since this may run
    // inside the group's own callback.
    void fail(int code)
    {
        if (m_failed)
            return;
        m_failed = true;
        QMetaObject::invokeMethod(
            this,
            [this, code] {
                if (m_withdrawn)
                    return;
                freeGroup();
                emit failed(code);
            },
            Qt::QueuedConnection);
    }

    void freeGroup()
    {
        if (m_group) {
            avahi_entry_group_free(m_group);
            m_group = nullptr;
        }
    }

    static void groupCallback(AvahiEntryGroup *group, AvahiEntryGroupState state, void *userdata)
    {
        auto *self = static_cast<AvahiPublication *>(userdata);
        // avahi_entry_group_new reports its first state before it returns the group.
        if (!self->m_group || self->m_group != group || self->m_failed)
            return;
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            QMetaObject::invokeMethod(
                self,
                [self] {
                    if (!self->m_withdrawn)
                        emit self->established();
                },
                Qt::QueuedConnection);
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            self->fail(NetServiceError::Collision);
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            self->fail(
                AvahiBackend::netServiceError(avahi_client_errno(avahi_entry_group_get_client(group))));
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING:
            break;
        }
    }

    AvahiBackend &m_backend;
    QByteArray m_name;
    QByteArray m_type;
    QByteArray m_domain;
    quint16 m_port;
    AvahiEntryGroup *m_group = nullptr;
    bool m_failed = false;
    bool m_withdrawn = false;
    bool m_waitingForHost = false; // reset for a host name change, to be added again
};

class AvahiBrowse final : public DnsSdBrowse
{
    Q_OBJECT

public:
    AvahiBrowse(AvahiBackend &backend, const QString &type, const QString &domain, QObject *parent)
        : DnsSdBrowse(parent), m_backend(backend), m_type(AvahiBackend::withoutTrailingDot(type)),
          m_domain(AvahiBackend::withoutTrailingDot(domain))
    {
        m_quiet.setSingleShot(true);
        connect(&m_quiet, &QTimer::timeout, this, &AvahiBrowse::flush);
        m_retry.setSingleShot(true);
        connect(&m_retry, &QTimer::timeout, this, &AvahiBrowse::startBrowser);
        connect(&m_backend, &AvahiBackend::clientRunning, this, &AvahiBrowse::startBrowser);
        connect(&m_backend, &AvahiBackend::clientLost, this, &AvahiBrowse::lose);
    }

    ~AvahiBrowse() override { freeAll(); }

    void start() override
    {
        m_backend.keepTrying();
        startBrowser();
    }

    bool isAvailable() const override { return m_browser != nullptr; }

    void resolve(const DnsSdService &service) override
    {
        Entry *entry = find(service);
        if (!entry)
            return;
        entry->wantResolve = true;
        for (Place &place : entry->places)
            startResolver(*entry, place);
    }

private:
    struct Place
    {
        AvahiIfIndex interface;
        AvahiProtocol protocol;
        AvahiServiceResolver *resolver = nullptr;
        SocketAddress address;
    };
    struct Entry
    {
        DnsSdService service;
        QList<Place> places;
        bool wantResolve = false;
    };
    struct Report
    {
        bool found;
        DnsSdService service;
    };

    Entry *find(const DnsSdService &service)
    {
        for (Entry &entry : m_entries) {
            if (entry.service == service)
                return &entry;
        }
        return nullptr;
    }

    void startBrowser()
    {
        if (m_browser)
            return;
        AvahiClient *client = m_backend.usableClient();
        if (!client) {
            setAvailable(false);
            return;
        }
        // Only IPv4: the exchange connects over IPv4. Signals of the new browser are addressed to
        // this connection, and libdbus queues any that arrive before ServiceBrowserNew returns,
        // so nothing announced meanwhile is lost.
        m_browser = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, m_type.constData(),
                                              m_domain.isEmpty() ? nullptr : m_domain.constData(),
                                              AvahiLookupFlags(0), &AvahiBrowse::browseCallback, this);
        if (!m_browser) {
            systemLog(QStringLiteral("QFRendezvousClient: cannot browse: %1")
                          .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(client)))));
            m_retry.start(kRetryMs);
            setAvailable(false);
            return;
        }
        setAvailable(true);
    }

    void setAvailable(bool available)
    {
        if (available == m_available)
            return;
        m_available = available;
        emit availabilityChanged(available);
    }

    void startResolver(Entry &entry, Place &place)
    {
        if (place.resolver || !place.address.isNull())
            return;
        AvahiClient *client = m_backend.usableClient();
        if (!client)
            return;
        const QByteArray name = entry.service.name.toUtf8();
        const QByteArray type = entry.service.type.toUtf8();
        const QByteArray domain = entry.service.domain.toUtf8();
        place.resolver = avahi_service_resolver_new(client, place.interface, place.protocol, name.constData(),
                                                    type.constData(), domain.constData(), AVAHI_PROTO_INET,
                                                    AvahiLookupFlags(0), &AvahiBrowse::resolveCallback, this);
    }

    // The daemon went away: what it reported is gone with it, so the list empties in one batch.
    void lose()
    {
        freeAll();
        for (const Entry &entry : std::as_const(m_entries))
            m_pending.append({false, entry.service});
        m_entries.clear();
        flush();
        setAvailable(false);
    }

    void freeAll()
    {
        for (Entry &entry : m_entries) {
            for (Place &place : entry.places) {
                if (place.resolver)
                    avahi_service_resolver_free(place.resolver);
                place.resolver = nullptr;
            }
        }
        if (m_browser)
            avahi_service_browser_free(m_browser);
        m_browser = nullptr;
    }

    void report(bool found, const DnsSdService &service)
    {
        if (m_pending.isEmpty())
            m_firstPending.start();
        m_pending.append({found, service});
        if (m_firstPending.elapsed() >= kBatchMaxMs)
            flush();
        else
            m_quiet.start(kBatchQuietMs);
    }

    void flush()
    {
        m_quiet.stop();
        const QList<Report> batch = std::exchange(m_pending, {});
        QPointer<AvahiBrowse> alive(this);
        for (qsizetype i = 0; i < batch.size() && alive; ++i) {
            const bool moreComing = i + 1 < batch.size();
            if (batch[i].found)
                emit serviceFound(batch[i].service, moreComing);
            else
                emit serviceRemoved(batch[i].service, moreComing);
        }
    }

    void onBrowse(AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event, const char *name,
                  const char *type, const char *domain)
    {
        switch (event) {
        case AVAHI_BROWSER_NEW: {
            const DnsSdService service{QString::fromUtf8(name), QString::fromUtf8(type),
                                       QString::fromUtf8(domain)};
            Entry *entry = find(service);
            if (!entry) {
                m_entries.append({service, {}, false});
                entry = &m_entries.last();
                report(true, service);
            }
            // One service seen on several interfaces stays one service.
            for (const Place &place : std::as_const(entry->places)) {
                if (place.interface == interface && place.protocol == protocol)
                    return;
            }
            entry->places.append({interface, protocol, nullptr, {}});
            if (entry->wantResolve)
                startResolver(*entry, entry->places.last());
            break;
        }
        case AVAHI_BROWSER_REMOVE: {
            const DnsSdService service{QString::fromUtf8(name), QString::fromUtf8(type),
                                       QString::fromUtf8(domain)};
            Entry *entry = find(service);
            if (!entry)
                return;
            for (qsizetype i = 0; i < entry->places.size(); ++i) {
                Place &place = entry->places[i];
                if (place.interface == interface && place.protocol == protocol) {
                    if (place.resolver)
                        avahi_service_resolver_free(place.resolver);
                    entry->places.removeAt(i);
                    break;
                }
            }
            if (entry->places.isEmpty()) {
                m_entries.removeIf([&service](const Entry &e) { return e.service == service; });
                report(false, service);
            }
            break;
        }
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
        case AVAHI_BROWSER_ALL_FOR_NOW:
            flush();
            break;
        case AVAHI_BROWSER_FAILURE:
            systemLog(QStringLiteral("QFRendezvousClient: browsing failed: %1")
                          .arg(QString::fromUtf8(avahi_strerror(
                              avahi_client_errno(avahi_service_browser_get_client(m_browser))))));
            // Freed from the event loop, not inside its own callback; then start over.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    lose();
                    m_retry.start(kRetryMs);
                },
                Qt::QueuedConnection);
            break;
        }
    }

    void onResolve(AvahiServiceResolver *resolver, AvahiResolverEvent event, const AvahiAddress *address,
                   uint16_t port, AvahiStringList *text)
    {
        for (Entry &entry : m_entries) {
            for (Place &place : entry.places) {
                if (place.resolver != resolver)
                    continue;
                avahi_service_resolver_free(resolver);
                place.resolver = nullptr;
                if (event != AVAHI_RESOLVER_FOUND || !address || address->proto != AVAHI_PROTO_INET)
                    return;
                place.address = SocketAddress(QHostAddress(ntohl(address->data.ipv4.address)), port);
                QList<QByteArray> records;
                for (AvahiStringList *item = text; item; item = avahi_string_list_get_next(item))
                    records.append(QByteArray(reinterpret_cast<const char *>(avahi_string_list_get_text(item)),
                                              qsizetype(avahi_string_list_get_size(item))));
                emit serviceTextResolved(entry.service, records);
                QList<SocketAddress> addresses;
                for (const Place &p : std::as_const(entry.places)) {
                    if (!p.address.isNull() && !addresses.contains(p.address))
                        addresses.append(p.address);
                }
                emit serviceResolved(entry.service, addresses);
                return;
            }
        }
    }

    static void browseCallback(AvahiServiceBrowser *, AvahiIfIndex interface, AvahiProtocol protocol,
                               AvahiBrowserEvent event, const char *name, const char *type,
                               const char *domain, AvahiLookupResultFlags, void *userdata)
    {
        static_cast<AvahiBrowse *>(userdata)->onBrowse(interface, protocol, event, name, type, domain);
    }

    static void resolveCallback(AvahiServiceResolver *resolver, AvahiIfIndex, AvahiProtocol,
                                AvahiResolverEvent event, const char *, const char *, const char *,
                                const char *, const AvahiAddress *address, uint16_t port, AvahiStringList *text,
                                AvahiLookupResultFlags, void *userdata)
    {
        static_cast<AvahiBrowse *>(userdata)->onResolve(resolver, event, address, port, text);
    }

    AvahiBackend &m_backend;
    QByteArray m_type;
    QByteArray m_domain;
    AvahiServiceBrowser *m_browser = nullptr;
    bool m_available = false;
    QList<Entry> m_entries;
    QList<Report> m_pending;
    QElapsedTimer m_firstPending;
    QTimer m_quiet;
    QTimer m_retry;
};

} // namespace

AvahiBackend::AvahiBackend()
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &AvahiBackend::connectClient);
}

AvahiBackend &AvahiBackend::instance()
{
    // Never destroyed: the client's watches live on the event loop, which is gone at exit; the
    // daemon withdraws what we published when our bus connection closes.
    static AvahiBackend *backend = new AvahiBackend;
    return *backend;
}

DnsSdPublication *AvahiBackend::createPublication(const QString &name, const QString &type,
                                                  const QString &domain, quint16 port, QObject *parent)
{
    return new AvahiPublication(*this, name, type, domain, port, parent);
}

DnsSdBrowse *AvahiBackend::createBrowse(const QString &type, const QString &domain, QObject *parent)
{
    return new AvahiBrowse(*this, type, domain, parent);
}

AvahiClient *AvahiBackend::usableClient()
{
    if (!m_client)
        connectClient();
    if (!m_client)
        return nullptr;
    switch (m_state) {
    case AVAHI_CLIENT_S_RUNNING:
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        return m_client;
    case AVAHI_CLIENT_CONNECTING:
    case AVAHI_CLIENT_FAILURE:
        break;
    }
    return nullptr;
}

void AvahiBackend::keepTrying()
{
    m_keepTrying = true;
    if (!m_client && !m_retry.isActive())
        m_retry.start(kRetryMs);
}

void AvahiBackend::connectClient()
{
    if (m_client)
        return;
    int error = 0;
    // NO_FAIL: without a daemon the client waits for one instead of failing.
    AvahiClient *client =
        avahi_client_new(m_poll.poll(), AVAHI_CLIENT_NO_FAIL, &AvahiBackend::stateCallback, this, &error);
    if (!client) {
        // Typically no system bus at all. A state report from inside avahi_client_new may have
        // named the client that it has freed since.
        m_client = nullptr;
        m_state = AVAHI_CLIENT_FAILURE;
        if (m_keepTrying)
            m_retry.start(kRetryMs);
        return;
    }
    m_client = client;
    m_state = avahi_client_get_state(client);
    // Browses waiting since the daemon went away start again (a reconnection reports its first
    // state from inside avahi_client_new, where nobody is told).
    if (usableClient())
        QMetaObject::invokeMethod(this, &AvahiBackend::clientRunning, Qt::QueuedConnection);
}

void AvahiBackend::dropClient()
{
    if (!m_client)
        return;
    avahi_client_free(m_client);
    m_client = nullptr;
    m_state = AVAHI_CLIENT_FAILURE;
    if (m_keepTrying)
        m_retry.start(kRetryMs);
}

void AvahiBackend::onState(AvahiClient *client, AvahiClientState state)
{
    // The first report comes from inside avahi_client_new, before it returned the client.
    const bool wasUsable =
        m_client == client && (m_state == AVAHI_CLIENT_S_RUNNING || m_state == AVAHI_CLIENT_S_REGISTERING ||
                               m_state == AVAHI_CLIENT_S_COLLISION);
    const bool during = m_client != client;
    m_client = client;
    m_state = state;
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        if (!during)
            QMetaObject::invokeMethod(this, &AvahiBackend::clientRunning, Qt::QueuedConnection);
        break;
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        // From running: the host name is being registered anew (changed, or in conflict with
        // another host's); S_RUNNING follows once it is established.
        if (wasUsable && !during)
            emit hostNameChanging();
        break;
    case AVAHI_CLIENT_CONNECTING:
        if (wasUsable) {
            systemLog(QStringLiteral("DNS-SD: avahi-daemon went away; waiting for it to come back"));
            emit clientLost();
        }
        break;
    case AVAHI_CLIENT_FAILURE:
        systemLog(QStringLiteral("DNS-SD: the connection to avahi-daemon failed: %1")
                      .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(client)))));
        if (!during) {
            emit clientLost();
            // Not freed inside its own callback.
            QMetaObject::invokeMethod(this, &AvahiBackend::dropClient, Qt::QueuedConnection);
        }
        break;
    }
}

void AvahiBackend::stateCallback(AvahiClient *client, AvahiClientState state, void *userdata)
{
    static_cast<AvahiBackend *>(userdata)->onState(client, state);
}

int AvahiBackend::netServiceError(int avahiError)
{
    switch (avahiError) {
    case AVAHI_ERR_COLLISION:
        return NetServiceError::Collision;
    case AVAHI_ERR_INVALID_SERVICE_NAME:
    case AVAHI_ERR_INVALID_SERVICE_TYPE:
    case AVAHI_ERR_INVALID_DOMAIN_NAME:
    case AVAHI_ERR_INVALID_PORT:
        return NetServiceError::BadArgument;
    case AVAHI_ERR_NO_DAEMON:
    case AVAHI_ERR_DISCONNECTED:
    case AVAHI_ERR_DBUS_ERROR:
        return NetServiceError::DaemonNotRunning;
    case AVAHI_ERR_TIMEOUT:
        return NetServiceError::Timeout;
    default:
        return NetServiceError::Unknown;
    }
}

QByteArray AvahiBackend::withoutTrailingDot(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    while (bytes.endsWith('.'))
        bytes.chop(1);
    return bytes;
}

#include "avahibackend.moc"
