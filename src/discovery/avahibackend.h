#pragma once

#include "avahipoll.h"
#include "dnssdbackend.h"

#include <QObject>
#include <QTimer>

#include <avahi-client/client.h>

// DNS-SD through the system's avahi-daemon with libavahi-client on Qt's event loop.
// One client connection per process, made on first use. When the daemon is not there the
// connection waits for it (publishing fails at once); when it goes away every publication and
// browse hears clientLost() and the connection waits for the daemon to come back.
class AvahiBackend final : public QObject, public DnsSdBackend
{
    Q_OBJECT

public:
    static AvahiBackend &instance();

    DnsSdPublication *createPublication(const QString &name, const QString &type, const QString &domain,
                                        quint16 port, QObject *parent) override;
    DnsSdBrowse *createBrowse(const QString &type, const QString &domain, QObject *parent) override;

    // Connects if not yet connected; the client when the daemon can take requests, else nullptr.
    AvahiClient *usableClient();
    // Keeps trying to reach the daemon (browsing waits for it; publishing does not).
    void keepTrying();

    // The libavahi error code as a NetServiceError code.
    static int netServiceError(int avahiError);
    // "_zorbix._tcp." -> "_zorbix._tcp"
    static QByteArray withoutTrailingDot(const QString &text);

signals:
    void clientRunning();
    // The daemon registers the host's name again (renamed, or a conflict with another host):
    // publications withdraw their records until clientRunning().
    void hostNameChanging();
    // The daemon is gone: every avahi object made from the client must be freed now.
    void clientLost();

private:
    AvahiBackend();
    void connectClient();
    void dropClient();
    void onState(AvahiClient *client, AvahiClientState state);
    static void stateCallback(AvahiClient *client, AvahiClientState state, void *userdata);

    AvahiQtPoll m_poll;
    AvahiClient *m_client = nullptr;
    AvahiClientState m_state = AVAHI_CLIENT_FAILURE;
    bool m_keepTrying = false;
    QTimer m_retry;
};
