#pragma once

#include <QString>
#include <QStringList>

class Toolbar;
class ToolbarItem;

// Supplies a Toolbar with its items: which may appear, which appear by default, and the items.
class ToolbarDelegate
{
public:
    virtual ~ToolbarDelegate() = default;
    virtual QStringList toolbarAllowedItemIdentifiers(Toolbar *toolbar) = 0;
    virtual QStringList toolbarDefaultItemIdentifiers(Toolbar *toolbar) = 0;
    // A new item for the identifier; the toolbar takes ownership.
    virtual ToolbarItem *toolbarItemForItemIdentifier(Toolbar *toolbar, const QString &identifier,
                                                      bool willBeInsertedIntoToolbar) = 0;
    virtual void toolbarWillAddItem(ToolbarItem *item) = 0;
};
