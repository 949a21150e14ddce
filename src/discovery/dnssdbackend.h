#pragma once

#include <QObject>
#include <QString>

class DnsSdBrowse;
class DnsSdPublication;

// DNS service discovery as the application needs it: publish one service, browse one type.
// The desktop and the command line use avahi-daemon; unit tests install an in-process one.
class DnsSdBackend
{
public:
    virtual ~DnsSdBackend() = default;

    // Type as "_zorbix._tcp" (a trailing dot is accepted), domain as "local" (likewise).
    virtual DnsSdPublication *createPublication(const QString &name, const QString &type,
                                                const QString &domain, quint16 port, QObject *parent) = 0;
    virtual DnsSdBrowse *createBrowse(const QString &type, const QString &domain, QObject *parent) = 0;

    // The backend in use: the installed one, or the Avahi backend.
    static DnsSdBackend &current();
    // Installs a backend (not owned); nullptr restores Avahi. Returns the previous one.
    static DnsSdBackend *install(DnsSdBackend *backend);
};
