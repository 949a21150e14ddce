#include "messagetable.h"

#include "systemlog.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QString resourcePath(const QString &language)
{
    return QStringLiteral(":/zorbix/msg/%1.json").arg(language);
}
} // namespace

MessageTable MessageTable::load(const QString &language)
{
    MessageTable table;
    table.m_language = language;
    QFile file(resourcePath(language));
    if (!file.open(QIODevice::ReadOnly)) {
        systemLog(QStringLiteral("MessageTable: no table for language %1").arg(language));
        return table;
    }
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = object.begin(); it != object.end(); ++it)
        table.m_texts.insert(it.key(), it.value().toString());
    return table;
}

MessageTable MessageTable::forLocale(const QLocale &locale)
{
    for (const QString &name : locale.uiLanguages()) {
        const QString language = name.section(u'-', 0, 0).toLower();
        if (QFile::exists(resourcePath(language)))
            return load(language);
    }
    return load(QStringLiteral("en"));
}

const MessageTable &MessageTable::application()
{
    static const MessageTable table = forLocale(QLocale());
    return table;
}

QString MessageTable::text(const QString &key) const
{
    const auto it = m_texts.constFind(key);
    return it == m_texts.cend() ? missingText().toString() : *it;
}

QString MessageTable::pluralCategory(const QString &language, qint64 count)
{
    // English and German (the languages we ship) single out exactly one; a new language adds its
    // rule here (CLDR plural rules).
    Q_UNUSED(language);
    return count == 1 ? QStringLiteral("one") : QStringLiteral("other");
}

QString MessageTable::text(const QString &key, qint64 count) const
{
    const auto it = m_texts.constFind(key + u'.' + pluralCategory(m_language, count));
    return it == m_texts.cend() ? text(key) : *it;
}
