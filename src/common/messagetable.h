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
    // The form of a text for a count: a key may hold plural forms beside its own text, under
    // "KEY.one" (and so on for other plural categories of the language); the key's own text is
    // the form for every count without one.
    QString text(const QString &key, qint64 count) const;
    // The language's plural category of a count ("one" or "other" for English and German).
    static QString pluralCategory(const QString &language, qint64 count);
    bool contains(const QString &key) const { return m_texts.contains(key); }
    QStringList keys() const { return m_texts.keys(); }

private:
    static MessageTable load(const QString &language);

    QString m_language;
    QHash<QString, QString> m_texts;
};
