#pragma once

#include <QDialog>

class QTabWidget;

// The Preferences window: one tab per area; today the hand-entered servers.
class PreferencesWindow : public QDialog
{
    Q_OBJECT

public:
    explicit PreferencesWindow(QWidget *parent = nullptr);
    ~PreferencesWindow() override;

    QTabWidget *tabs() const { return m_tabs; }

private:
    QTabWidget *m_tabs;
};
