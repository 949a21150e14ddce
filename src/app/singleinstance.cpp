#include "singleinstance.h"

#include "systemlog.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {
const QString kInterface = QStringLiteral("org.freedesktop.Application");
constexpr int kHandOverTimeout = 10000; // ms; the running copy answers before it imports

// The window-activation tokens a launcher gives a start (environment) and their keys in the
// platform data: passed on, so that the running copy may take the focus.
constexpr std::pair<const char *, const char *> kTokens[] = {{"XDG_ACTIVATION_TOKEN", "activation-token"},
                                                             {"DESKTOP_STARTUP_ID", "desktop-startup-id"}};

QVariantMap platformData()
{
    QVariantMap data;
    for (const auto &[variable, key] : kTokens) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty())
            data.insert(QLatin1String(key), QString::fromUtf8(value));
    }
    return data;
}

void takeToken(const QVariantMap &data)
{
    for (const auto &[variable, key] : kTokens) {
        const QString value = data.value(QLatin1String(key)).toString();
        if (!value.isEmpty())
            qputenv(variable, value.toUtf8());
    }
}
} // namespace

struct SingleInstance::Private
{
    QString appId;
    QString path; // the object path the interface names for an application id
    bool registered = false;
};

SingleInstance::SingleInstance(const QString &appId, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->appId = appId;
    d->path = u'/' + QString(appId).replace(u'.', u'/');
}

SingleInstance::~SingleInstance()
{
    if (d->registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(d->appId);
        bus.unregisterObject(d->path);
    }
}

bool SingleInstance::registerAsRunningCopy()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        systemLog(QStringLiteral("SingleInstance: no session bus (%1); this copy runs on its own")
                      .arg(bus.lastError().message()));
        return true;
    }
    // The object before the name: whoever sees the name finds the object.
    if (!bus.registerObject(d->path, kInterface, this, QDBusConnection::ExportScriptableSlots)) {
        systemLog(QStringLiteral("SingleInstance: could not offer %1 on the session bus").arg(d->path));
        return true;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        d->appId, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
        bus.unregisterObject(d->path);
        return false;
    }
    if (!reply.isValid())
        systemLog(QStringLiteral("SingleInstance: could not take the name %1 (%2); this copy runs on its own")
                      .arg(d->appId, reply.error().message()));
    d->registered = reply.isValid();
    return true;
}

bool SingleInstance::handOver(const QStringList &files) const
{
    QDBusMessage call;
    if (files.isEmpty()) {
        call = QDBusMessage::createMethodCall(d->appId, d->path, kInterface, QStringLiteral("Activate"));
        call << platformData();
    } else {
        QStringList uris;
        for (const QString &file : files)
            uris.append(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString(QUrl::FullyEncoded));
        call = QDBusMessage::createMethodCall(d->appId, d->path, kInterface, QStringLiteral("Open"));
        call << uris << platformData();
    }
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kHandOverTimeout);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    systemLog(QStringLiteral("SingleInstance: the running copy did not take the request: %1")
                  .arg(reply.errorMessage()));
    return false;
}

void SingleInstance::Activate(const QVariantMap &data)
{
    takeToken(data);
    // After the answer: the caller need not wait for the window.
    QTimer::singleShot(0, this, &SingleInstance::activated);
}

void SingleInstance::Open(const QStringList &uris, const QVariantMap &data)
{
    takeToken(data);
    QStringList paths;
    for (const QString &uri : uris) {
        const QUrl url(uri);
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
        else
            systemLog(QStringLiteral("SingleInstance: not a local file, not imported: %1")
                          .arg(url.toDisplayString()));
    }
    QTimer::singleShot(0, this, [this, paths] {
        emit activated();
        if (!paths.isEmpty())
            emit filesOpened(paths);
    });
}

void SingleInstance::ActivateAction(const QString &, const QVariantList &, const QVariantMap &data)
{
    // The desktop file declares no actions: any request only brings the window up.
    Activate(data);
}
