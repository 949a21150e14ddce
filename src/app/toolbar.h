#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QMainWindow;
class QToolBar;
class ToolbarDelegate;
class ToolbarItem;

// A customizable window toolbar: its items come from a delegate, the user arranges them in a
// customize dialog, and the arrangement is kept in the settings under a key derived from the
// toolbar's identifier.
class Toolbar : public QObject
{
    Q_OBJECT

public:
    // Identifiers of the items every toolbar offers besides the delegate's own.
    inline static const QString CustomizeItemIdentifier = QStringLiteral("NSToolbarCustomizeToolbarItemIdentifier");
    inline static const QString FlexibleSpaceItemIdentifier = QStringLiteral("NSToolbarFlexibleSpaceItemIdentifier");
    inline static const QString SpaceItemIdentifier = QStringLiteral("NSToolbarSpaceItemIdentifier");
    inline static const QString SeparatorItemIdentifier = QStringLiteral("NSToolbarSeparatorItemIdentifier");
    static bool isStandardItem(const QString &identifier);

    enum DisplayMode { DisplayModeDefault = 0, DisplayModeIconAndLabel = 1, DisplayModeIconOnly = 2,
                       DisplayModeLabelOnly = 3 };

    explicit Toolbar(const QString &identifier, QObject *parent = nullptr);
    ~Toolbar() override;

    QString identifier() const;
    // The settings key under which the arrangement and visibility are kept.
    QString configurationKey() const;

    void setAllowsUserCustomization(bool allows);
    bool allowsUserCustomization() const;
    void setAutosavesConfiguration(bool autosaves);
    bool autosavesConfiguration() const;
    void setDisplayMode(DisplayMode mode);
    DisplayMode displayMode() const;
    void setDelegate(ToolbarDelegate *delegate);
    void setVisible(bool visible);
    bool isVisible() const;

    // Puts the toolbar into a window; the items come from the saved arrangement or the defaults.
    void install(QMainWindow *window);
    // Shows a hidden toolbar and hides a shown one (the View menu's toggle).
    void toggleShown();

    QStringList itemIdentifiers() const;
    QList<ToolbarItem *> items() const;
    // Replaces the arrangement; identifiers that are not allowed or repeat a page item are dropped.
    void setItemIdentifiers(const QStringList &identifiers);
    QStringList allowedItemIdentifiers() const;
    QStringList defaultItemIdentifiers() const;
    // A fresh item for the palette of the customize dialog (owned by the caller).
    ToolbarItem *makeItem(const QString &identifier, bool willBeInserted);

    QToolBar *widget() const;

public slots:
    void runCustomizationPalette();

signals:
    void itemsChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
    void rebuild();
    void saveConfiguration() const;
};
