#include "sharingpreferences.h"

#include "ownercardfields.h"
#include "settingssync.h"
#include "systemlog.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>

const QString SharingPreferences::PrefsKey = QStringLiteral("sharingPrefsV2");
const QString SharingPreferences::OwnerCardKey = QStringLiteral("ownerCard");

namespace {
bool syncChecked(QSettings &settings, const QString &key)
{
    if (syncSettings(settings))
        return true;
    systemLog(QStringLiteral("SharingPreferences: could not write \"%1\" to %2").arg(key, settings.fileName()));
    return false;
}

QString textOf(const QWidget *field)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(field))
        return line->text();
    if (const auto *plain = qobject_cast<const QPlainTextEdit *>(field))
        return plain->toPlainText();
    return QString();
}

void setTextOf(QWidget *field, const QString &text)
{
    if (auto *line = qobject_cast<QLineEdit *>(field))
        line->setText(text);
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(field))
        plain->setPlainText(text);
}
} // namespace

void SharingPreferences::loadSharingPrefs(const QList<QPointer<QWidget>> &persistedControls)
{
    QSettings settings;
    if (!settings.contains(PrefsKey))
        return;
    const QVariantList values = settings.value(PrefsKey).toList();
    for (qsizetype i = 0; i < values.size() && i < persistedControls.size(); ++i) {
        const QVariant &value = values.at(i);
        QWidget *control = persistedControls.at(i);
        if (!value.isValid() || value.isNull() || !control)
            continue;
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            button->setChecked(value.toInt() != 0);
        else
            setTextOf(control, value.toString());
    }
}

bool SharingPreferences::saveSharingPrefs(const QList<QPointer<QWidget>> &persistedControls)
{
    QVariantList values;
    for (const QPointer<QWidget> &control : persistedControls) {
        if (!control)
            values.append(QVariant());
        else if (const auto *button = qobject_cast<const QAbstractButton *>(control.data()))
            values.append(button->isChecked() ? 1 : 0);
        else if (qobject_cast<const QLineEdit *>(control.data()) || qobject_cast<const QPlainTextEdit *>(control.data()))
            values.append(textOf(control));
        else
            values.append(QVariant());
    }
    QSettings settings;
    settings.setValue(PrefsKey, values);
    return syncChecked(settings, PrefsKey);
}

OwnerCard SharingPreferences::ownerCardFrom(const QWidget *cardEditor)
{
    OwnerCard card;
    for (const char *name : kOwnerCardReadingOrder) {
        const auto *field = cardEditor->findChild<QWidget *>(QLatin1String(name));
        if (!field)
            continue;
        const int tag = field->property("tag").toInt();
        card.insert(tag, textOf(field));
    }
    return card;
}

void SharingPreferences::loadOwnerCard(QWidget *cardEditor)
{
    const QVariantMap saved = QSettings().value(OwnerCardKey).toMap();
    for (const OwnerCardField &entry : kOwnerCardFields) {
        auto *field = cardEditor->findChild<QWidget *>(QLatin1String(entry.objectName));
        if (!field)
            continue;
        const QString key = QString::number(field->property("tag").toInt());
        if (saved.contains(key))
            setTextOf(field, saved.value(key).toString());
    }
}

bool SharingPreferences::saveOwnerCard(const QWidget *cardEditor)
{
    QVariantMap saved;
    const OwnerCard card = ownerCardFrom(cardEditor);
    for (auto it = card.cbegin(); it != card.cend(); ++it)
        saved.insert(QString::number(it.key()), it.value());
    QSettings settings;
    settings.setValue(OwnerCardKey, saved);
    return syncChecked(settings, OwnerCardKey);
}
