#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <memory>

// One running copy per desktop session. The first start owns the application's name on the
// session bus and answers org.freedesktop.Application there (the interface desktops use to open
// files in a running program, and to start it by D-Bus activation); a later start hands its files
// to that copy and ends. Without a session bus every start runs on its own.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // appId: the reverse-DNS name of the desktop file, e.g. "org.quenfold.zorbix".
    explicit SingleInstance(const QString &appId, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running copy; false when another copy already is one.
    bool registerAsRunningCopy();
    // Hands the files (paths, made absolute here) to the running copy, or only raises its window
    // when there are none; false when it did not take them.
    bool handOver(const QStringList &files) const;

signals:
    // Another start, a launcher or a file manager asked for the window.
    void activated();
    // ... and for these files to be imported (local paths).
    void filesOpened(const QStringList &paths);

public slots:
    // org.freedesktop.Application, called over the bus.
    Q_SCRIPTABLE void Activate(const QVariantMap &platformData);
    Q_SCRIPTABLE void Open(const QStringList &uris, const QVariantMap &platformData);
    Q_SCRIPTABLE void ActivateAction(const QString &name, const QVariantList &parameter,
                                     const QVariantMap &platformData);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
