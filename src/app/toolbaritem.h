#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>

// One item of a Toolbar: an identifier, a label and an image, and the action it sends.
class ToolbarItem : public QObject
{
    Q_OBJECT

public:
    explicit ToolbarItem(const QString &identifier, QObject *parent = nullptr);

    QString itemIdentifier() const { return m_identifier; }
    QString label() const { return m_label; }
    void setLabel(const QString &label) { m_label = label; }
    QIcon image() const { return m_image; }
    void setImage(const QIcon &image) { m_image = image; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    // The target and action in one: what a click does. Items without one do nothing.
    void setAction(std::function<void()> action) { m_action = std::move(action); }
    bool hasAction() const { return bool(m_action); }
    void trigger() const;

private:
    QString m_identifier;
    QString m_label;
    QIcon m_image;
    bool m_enabled = true;
    std::function<void()> m_action;
};
