#pragma once

#include <QWidget>

#include <memory>

// The Security tab of Preferences: this device's name and fingerprint, the devices approved for
// the protected share (name, last seen; Remove) and the shares whose certificate is pinned
// (Forget).
class SecurityPage : public QWidget
{
    Q_OBJECT

public:
    explicit SecurityPage(QWidget *parent = nullptr);
    ~SecurityPage() override;

    // Reads the lists again from the settings.
    void reload();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
