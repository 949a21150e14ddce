#pragma once

#include <QHash>
#include <QLocale>
#include <QString>

// The localized message table "msg": user-visible texts by key, one JSON file per language in
// the resources. Qt's translator would hand back the source text for a missing key; we need the
// marker "-" instead, so the look-up is ours.
class MessageTable
{
public:
    static constexpr QStringView missingText() { return u"-"; }

    // The table of the first UI language of the locale that we ship, English otherwise.
    static MessageTable forLocale(const QLocale &locale);
    // The table chosen by the default locale at first use.
    static const MessageTable &application();

    QString language() const { return m_language; }
    QString text(const QString &key) const;
    bool contains(const QString &key) const { return m_texts.contains(key); }
    QStringList keys() const { return m_texts.keys(); }

private:
    static MessageTable load(const QString &language);

    QString m_language;
    QHash<QString, QString> m_texts;
};
