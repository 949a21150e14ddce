#include "preferenceswindow.h"

#include "securitypage.h"
#include "staticservercontroller.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

PreferencesWindow::PreferencesWindow(QWidget *parent) : QDialog(parent), m_tabs(new QTabWidget(this))
{
    setObjectName(QStringLiteral("preferencesWindow"));
    setWindowTitle(tr("zorbix Preferences"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    if (StaticServerController *servers = StaticServerController::sharedInstance())
        m_tabs->addTab(servers->preferencesView(), tr("Servers"));
    m_tabs->addTab(new SecurityPage, tr("Security"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(560, 380);
}

PreferencesWindow::~PreferencesWindow()
{
    // The server table belongs to its controller and outlives this window; the other pages go
    // with it.
    StaticServerController *servers = StaticServerController::sharedInstance();
    for (int i = m_tabs->count() - 1; i >= 0; --i) {
        QWidget *page = m_tabs->widget(i);
        if (!servers || page != servers->preferencesView())
            continue;
        m_tabs->removeTab(i);
        page->hide();
        page->setParent(nullptr);
    }
}
