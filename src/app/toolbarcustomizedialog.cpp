#include "toolbarcustomizedialog.h"

#include "toolbar.h"
#include "toolbaritem.h"
#include "ui_toolbarcustomizedialog.h"

#include <QPushButton>

namespace {
constexpr int kIdentifierRole = Qt::UserRole + 1;
}

ToolbarCustomizeDialog::ToolbarCustomizeDialog(Toolbar *toolbar, QWidget *parent)
    : QDialog(parent), m_toolbar(toolbar), ui(std::make_unique<Ui::ToolbarCustomizeDialog>())
{
    ui->setupUi(this);
    connect(ui->addButtonOL, &QPushButton::clicked, this, &ToolbarCustomizeDialog::doAdd);
    connect(ui->removeButtonOL, &QPushButton::clicked, this, &ToolbarCustomizeDialog::doRemove);
    connect(ui->upButtonOL, &QPushButton::clicked, this, &ToolbarCustomizeDialog::doMoveUp);
    connect(ui->downButtonOL, &QPushButton::clicked, this, &ToolbarCustomizeDialog::doMoveDown);
    connect(ui->defaultsButtonOL, &QPushButton::clicked, this, &ToolbarCustomizeDialog::doRestoreDefaults);
    connect(ui->buttonBoxOL, &QDialogButtonBox::accepted, this, &ToolbarCustomizeDialog::accept);
    connect(ui->buttonBoxOL, &QDialogButtonBox::rejected, this, &ToolbarCustomizeDialog::reject);
    connect(ui->availableListOL, &QListWidget::itemDoubleClicked, this, &ToolbarCustomizeDialog::doAdd);
    connect(ui->currentListOL, &QListWidget::itemDoubleClicked, this, &ToolbarCustomizeDialog::doRemove);
    connect(ui->availableListOL, &QListWidget::currentRowChanged, this, &ToolbarCustomizeDialog::updateButtons);
    connect(ui->currentListOL, &QListWidget::currentRowChanged, this, &ToolbarCustomizeDialog::updateButtons);
    fillAvailable();
    setArrangement(m_toolbar->itemIdentifiers());
}

ToolbarCustomizeDialog::~ToolbarCustomizeDialog() = default;

static QListWidgetItem *listItemFor(Toolbar *toolbar, const QString &identifier)
{
    std::unique_ptr<ToolbarItem> item(toolbar->makeItem(identifier, false));
    auto *row = new QListWidgetItem(item->image(), item->label());
    row->setData(kIdentifierRole, identifier);
    return row;
}

void ToolbarCustomizeDialog::fillAvailable()
{
    for (const QString &identifier : m_toolbar->allowedItemIdentifiers())
        ui->availableListOL->addItem(listItemFor(m_toolbar, identifier));
    ui->availableListOL->setCurrentRow(0);
}

void ToolbarCustomizeDialog::setArrangement(const QStringList &identifiers)
{
    ui->currentListOL->clear();
    for (const QString &identifier : identifiers)
        ui->currentListOL->addItem(listItemFor(m_toolbar, identifier));
    updateButtons();
}

QStringList ToolbarCustomizeDialog::arrangement() const
{
    QStringList identifiers;
    for (int row = 0; row < ui->currentListOL->count(); ++row)
        identifiers.append(ui->currentListOL->item(row)->data(kIdentifierRole).toString());
    return identifiers;
}

void ToolbarCustomizeDialog::doAdd()
{
    const QListWidgetItem *chosen = ui->availableListOL->currentItem();
    if (!chosen)
        return;
    const QString identifier = chosen->data(kIdentifierRole).toString();
    // Page items stand once; spaces and separators as often as the user likes.
    if (!Toolbar::isStandardItem(identifier) || identifier == Toolbar::CustomizeItemIdentifier) {
        if (arrangement().contains(identifier))
            return;
    }
    const int at = ui->currentListOL->currentRow() < 0 ? ui->currentListOL->count()
                                                        : ui->currentListOL->currentRow() + 1;
    ui->currentListOL->insertItem(at, listItemFor(m_toolbar, identifier));
    ui->currentListOL->setCurrentRow(at);
    updateButtons();
}

void ToolbarCustomizeDialog::doRemove()
{
    const int row = ui->currentListOL->currentRow();
    if (row < 0)
        return;
    delete ui->currentListOL->takeItem(row);
    updateButtons();
}

void ToolbarCustomizeDialog::doMoveUp()
{
    const int row = ui->currentListOL->currentRow();
    if (row <= 0)
        return;
    ui->currentListOL->insertItem(row - 1, ui->currentListOL->takeItem(row));
    ui->currentListOL->setCurrentRow(row - 1);
}

void ToolbarCustomizeDialog::doMoveDown()
{
    const int row = ui->currentListOL->currentRow();
    if (row < 0 || row + 1 >= ui->currentListOL->count())
        return;
    ui->currentListOL->insertItem(row + 1, ui->currentListOL->takeItem(row));
    ui->currentListOL->setCurrentRow(row + 1);
}

void ToolbarCustomizeDialog::doRestoreDefaults()
{
    setArrangement(m_toolbar->defaultItemIdentifiers());
}

void ToolbarCustomizeDialog::updateButtons()
{
    const int row = ui->currentListOL->currentRow();
    ui->removeButtonOL->setEnabled(row >= 0);
    ui->upButtonOL->setEnabled(row > 0);
    ui->downButtonOL->setEnabled(row >= 0 && row + 1 < ui->currentListOL->count());
    const QListWidgetItem *chosen = ui->availableListOL->currentItem();
    bool canAdd = chosen != nullptr;
    if (chosen) {
        const QString identifier = chosen->data(kIdentifierRole).toString();
        if (!Toolbar::isStandardItem(identifier) || identifier == Toolbar::CustomizeItemIdentifier)
            canAdd = !arrangement().contains(identifier);
    }
    ui->addButtonOL->setEnabled(canAdd);
}

void ToolbarCustomizeDialog::accept()
{
    m_toolbar->setItemIdentifiers(arrangement());
    QDialog::accept();
}
