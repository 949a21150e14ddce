#include "toolbaritem.h"

ToolbarItem::ToolbarItem(const QString &identifier, QObject *parent) : QObject(parent), m_identifier(identifier)
{
}

void ToolbarItem::trigger() const
{
    if (m_enabled && m_action)
        m_action();
}
