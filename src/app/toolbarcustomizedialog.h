#pragma once

#include <QDialog>

#include <memory>

class Toolbar;

namespace Ui {
class ToolbarCustomizeDialog;
}

// The palette through which the user adds, removes and reorders a toolbar's allowed items. The
// new arrangement takes effect (and is saved) when the dialog is accepted.
class ToolbarCustomizeDialog : public QDialog
{
    Q_OBJECT

public:
    ToolbarCustomizeDialog(Toolbar *toolbar, QWidget *parent);
    ~ToolbarCustomizeDialog() override;

    // The arrangement as the dialog shows it now.
    QStringList arrangement() const;

public slots:
    void doAdd();
    void doRemove();
    void doMoveUp();
    void doMoveDown();
    void doRestoreDefaults();
    void accept() override;

private:
    void fillAvailable();
    void setArrangement(const QStringList &identifiers);
    void updateButtons();

    Toolbar *m_toolbar;
    std::unique_ptr<Ui::ToolbarCustomizeDialog> ui;
};
