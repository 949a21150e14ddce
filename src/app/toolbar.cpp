#include "toolbar.h"

#include "settingssync.h"
#include "systemlog.h"
#include "toolbarcustomizedialog.h"
#include "toolbardelegate.h"
#include "toolbaritem.h"
#include "zassert.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QToolBar>


namespace {
const QString kItemsKey = QStringLiteral("items");
const QString kVisibleKey = QStringLiteral("visible");

// Spaces and separators may stand several times; any other item once.
bool mayRepeat(const QString &identifier)
{
    return identifier == Toolbar::FlexibleSpaceItemIdentifier || identifier == Toolbar::SpaceItemIdentifier ||
           identifier == Toolbar::SeparatorItemIdentifier;
}
} // namespace

struct Toolbar::Private
{
    QString identifier;
    bool allowsUserCustomization = false;
    bool autosavesConfiguration = false;
    DisplayMode displayMode = DisplayModeDefault;
    ToolbarDelegate *delegate = nullptr;
    bool visible = true;
    QPointer<QMainWindow> window;
    QToolBar *bar = nullptr;
    QStringList identifiers;
    QList<ToolbarItem *> items;
};

bool Toolbar::isStandardItem(const QString &identifier)
{
    return identifier == CustomizeItemIdentifier || mayRepeat(identifier);
}

Toolbar::Toolbar(const QString &identifier, QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->identifier = identifier;
}

Toolbar::~Toolbar() = default;

QString Toolbar::identifier() const
{
    return d->identifier;
}

QString Toolbar::configurationKey() const
{
    return QStringLiteral("toolbar-") + d->identifier;
}

void Toolbar::setAllowsUserCustomization(bool allows)
{
    d->allowsUserCustomization = allows;
}

bool Toolbar::allowsUserCustomization() const
{
    return d->allowsUserCustomization;
}

void Toolbar::setAutosavesConfiguration(bool autosaves)
{
    d->autosavesConfiguration = autosaves;
}

bool Toolbar::autosavesConfiguration() const
{
    return d->autosavesConfiguration;
}

void Toolbar::setDisplayMode(DisplayMode mode)
{
    d->displayMode = mode;
    if (!d->bar)
        return;
    switch (mode) {
    case DisplayModeIconOnly:
        d->bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        break;
    case DisplayModeLabelOnly:
        d->bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        break;
    default:
        d->bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        break;
    }
}

Toolbar::DisplayMode Toolbar::displayMode() const
{
    return d->displayMode;
}

void Toolbar::setDelegate(ToolbarDelegate *delegate)
{
    d->delegate = delegate;
}

void Toolbar::setVisible(bool visible)
{
    d->visible = visible;
    if (d->bar)
        d->bar->setVisible(visible);
}

bool Toolbar::isVisible() const
{
    return d->visible;
}

QToolBar *Toolbar::widget() const
{
    return d->bar;
}

QStringList Toolbar::allowedItemIdentifiers() const
{
    return d->delegate ? d->delegate->toolbarAllowedItemIdentifiers(const_cast<Toolbar *>(this)) : QStringList();
}

QStringList Toolbar::defaultItemIdentifiers() const
{
    return d->delegate ? d->delegate->toolbarDefaultItemIdentifiers(const_cast<Toolbar *>(this)) : QStringList();
}

ToolbarItem *Toolbar::makeItem(const QString &identifier, bool willBeInserted)
{
    ZASSERT(d->delegate != nullptr);
    ToolbarItem *item = d->delegate->toolbarItemForItemIdentifier(this, identifier, willBeInserted);
    if (isStandardItem(identifier)) {
        // The standard items carry the toolbar's own texts and behaviour.
        if (identifier == CustomizeItemIdentifier) {
            item->setLabel(tr("Customize"));
            item->setImage(QIcon::fromTheme(QStringLiteral("configure-toolbars"),
                                            QIcon::fromTheme(QStringLiteral("preferences-system"))));
            item->setAction([this] { runCustomizationPalette(); });
        } else if (identifier == FlexibleSpaceItemIdentifier) {
            item->setLabel(tr("Flexible Space"));
        } else if (identifier == SpaceItemIdentifier) {
            item->setLabel(tr("Space"));
        } else {
            item->setLabel(tr("Separator"));
        }
    }
    return item;
}

void Toolbar::install(QMainWindow *window)
{
    ZASSERT(window != nullptr);
    ZASSERT(d->delegate != nullptr);
    d->window = window;
    d->bar = new QToolBar(window);
    d->bar->setObjectName(QStringLiteral("toolbar_") + d->identifier);
    d->bar->setMovable(false);
    d->bar->setFloatable(false);
    d->bar->setIconSize(QSize(32, 32));
    d->bar->toggleViewAction()->setEnabled(false); // shown and hidden through toggleShown only
    d->bar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(d->bar, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu menu;
        menu.addAction(tr("Hide Toolbar"), this, &Toolbar::toggleShown);
        if (d->allowsUserCustomization)
            menu.addAction(tr("Customize Toolbar…"), this, &Toolbar::runCustomizationPalette);
        menu.exec(d->bar->mapToGlobal(pos));
    });
    window->addToolBar(Qt::TopToolBarArea, d->bar);
    setDisplayMode(d->displayMode);

    QStringList identifiers = defaultItemIdentifiers();
    if (d->autosavesConfiguration) {
        QSettings settings;
        settings.beginGroup(configurationKey());
        if (settings.contains(kItemsKey))
            identifiers = settings.value(kItemsKey).toStringList();
        d->visible = settings.value(kVisibleKey, d->visible).toBool();
    }
    setItemIdentifiers(identifiers);
    d->bar->setVisible(d->visible);
}

void Toolbar::toggleShown()
{
    setVisible(!d->visible);
    saveConfiguration();
}

QStringList Toolbar::itemIdentifiers() const
{
    return d->identifiers;
}

QList<ToolbarItem *> Toolbar::items() const
{
    return d->items;
}

void Toolbar::setItemIdentifiers(const QStringList &identifiers)
{
    const QStringList allowed = allowedItemIdentifiers();
    QStringList kept;
    for (const QString &identifier : identifiers) {
        if (allowed.contains(identifier) && (mayRepeat(identifier) || !kept.contains(identifier)))
            kept.append(identifier);
    }
    d->identifiers = kept;
    rebuild();
    saveConfiguration();
    emit itemsChanged();
}

void Toolbar::rebuild()
{
    if (!d->bar)
        return;
    const QList<QAction *> old = d->bar->actions();
    d->bar->clear();
    for (QAction *action : old) {
        if (action->parent() == d->bar)
            delete action;
    }
    qDeleteAll(d->items);
    d->items.clear();
    for (const QString &identifier : std::as_const(d->identifiers)) {
        ToolbarItem *item = makeItem(identifier, true);
        item->setParent(this);
        d->delegate->toolbarWillAddItem(item);
        d->items.append(item);
        if (identifier == SeparatorItemIdentifier) {
            d->bar->addSeparator();
        } else if (identifier == SpaceItemIdentifier || identifier == FlexibleSpaceItemIdentifier) {
            auto *space = new QWidget(d->bar);
            if (identifier == SpaceItemIdentifier)
                space->setFixedWidth(16);
            else
                space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            d->bar->addWidget(space);
        } else {
            QAction *action = d->bar->addAction(item->image(), item->label());
            action->setObjectName(identifier);
            action->setEnabled(item->isEnabled());
            connect(action, &QAction::triggered, item, [item] { item->trigger(); });
        }
    }
}

void Toolbar::saveConfiguration() const
{
    if (!d->autosavesConfiguration || !d->bar)
        return;
    QSettings settings;
    settings.beginGroup(configurationKey());
    settings.setValue(kItemsKey, d->identifiers);
    settings.setValue(kVisibleKey, d->visible);
    settings.endGroup();
    if (!syncSettings(settings))
        systemLog(QStringLiteral("Toolbar: could not write the toolbar configuration to %1").arg(settings.fileName()));
}

void Toolbar::runCustomizationPalette()
{
    if (!d->allowsUserCustomization || !d->window)
        return;
    if (auto *open = d->window->findChild<ToolbarCustomizeDialog *>()) {
        open->raise();
        return;
    }
    auto *dialog = new ToolbarCustomizeDialog(this, d->window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
