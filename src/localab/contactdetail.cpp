#include "contactdetail.h"

#include "abglobals.h"
#include "ablocalized.h"
#include "abrecordhelpers.h"
#include "systemlog.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

namespace {

// A birthday whose year is not known travels and is kept in this year.
constexpr int kUnknownBirthdayYear = 1604;

bool isText(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QString>();
}

bool isMap(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QVariantMap>();
}

bool isList(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QVariantList>();
}

// The locale's short date with the year in four digits (a birthday's year is no guess).
QString dateFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

// Texts, dates and numbers have a text form; lists, maps and data do not. A day (a birthday, a
// date without time) shows as that day, a moment as a local date and time.
bool scalarText(const QVariant &value, QString *text, bool day = false)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        *text = value.toString();
        return true;
    case QMetaType::QDateTime:
        *text = day ? ContactDetail::dayText(value.toDateTime().toUTC().date())
                    : ContactDetail::dateText(value.toDateTime());
        return true;
    case QMetaType::QDate:
        *text = ContactDetail::dayText(value.toDate());
        return true;
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::ULongLong:
    case QMetaType::UInt:
    case QMetaType::Double:
    case QMetaType::Bool:
        *text = value.toString();
        return true;
    default:
        return false;
    }
}

// A value of no known kind: named in the log (control characters escaped, data shortened).
void logUnknown(const QVariant &value)
{
    QString form;
    if (value.metaType() == QMetaType::fromType<QByteArray>()) {
        const QByteArray bytes = value.toByteArray();
        form = u'<' + QString::fromLatin1(bytes.left(32).toHex(' ')) +
               (bytes.size() > 32 ? QStringLiteral(" … %1 bytes>").arg(bytes.size()) : QStringLiteral(">"));
    } else {
        form = value.toString();
        for (QChar &c : form) {
            if (c.category() == QChar::Other_Control)
                c = u'?';
        }
    }
    systemLog(QStringLiteral(
        "zorbix skipped the following unkown AB value [you might wish to send an email to quenfold]"));
    systemLog(form.left(200));
    systemLog(QString::fromLatin1(value.typeName() ? value.typeName() : "invalid"));
}

// The text of an entry's value: scalars as themselves, a dictionary (an address) joined.
bool entryText(const QVariant &value, QString *text)
{
    if (isMap(value)) {
        *text = ABRecordHelpers::dictValues2String(value.toMap());
        return true;
    }
    return scalarText(value, text);
}

void addRow(ContactDetail::Rows &rows, const QString &key, bool *first, const QString &value)
{
    rows.keys.append(*first ? key : QStringLiteral(""));
    rows.values.append(value);
    *first = false;
}

void addLabelledRow(ContactDetail::Rows &rows, const QString &key, bool *first, const QString &label,
                    const QVariant &value)
{
    QString text;
    if (!entryText(value, &text)) {
        logUnknown(value);
        return;
    }
    addRow(rows, key, first,
           text + QStringLiteral(" [") + ABLocalizedPropertyOrLabel(label) + QStringLiteral("] "));
}

} // namespace

QString ContactDetail::dateText(const QDateTime &date)
{
    const QLocale locale;
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), dateFormat(locale)) + u' ' +
           locale.toString(local.time(), QLocale::ShortFormat);
}

QString ContactDetail::dayText(const QDate &day)
{
    const QLocale locale;
    QString format = dateFormat(locale);
    if (day.year() == kUnknownBirthdayYear) {
        // Day and month only: the year and the separator that joins it go.
        static const QRegularExpression year(QStringLiteral("[^dM]*y+[^dM]*$|^y+[^dM]*"));
        format.remove(year);
    }
    return locale.toString(day, format);
}

QString ContactDetail::searchText(const QVariant &record)
{
    if (!isMap(record))
        return QString();
    const FlatPerson person = record.toMap();
    QStringList parts;
    QString text;
    for (const QString &key : {kABFirstNameProperty, kABLastNameProperty, kABOrganizationProperty}) {
        if (scalarText(person.value(key), &text))
            parts.append(text);
    }
    const QVariant mails = person.value(kABEmailProperty);
    if (isList(mails)) {
        for (const QVariant &entry : mails.toList()) {
            const QVariantMap pair = isMap(entry) ? entry.toMap() : QVariantMap();
            if (pair.size() == 1 && isText(pair.first()))
                parts.append(pair.first().toString());
        }
    }
    return parts.join(u' ');
}

QString ContactDetail::nameOf(const QVariant &record)
{
    if (!isMap(record))
        return QStringLiteral("");
    const FlatPerson person = record.toMap();
    QString name = QStringLiteral("");
    const QVariant first = person.value(kABFirstNameProperty);
    const QVariant last = person.value(kABLastNameProperty);
    const QVariant organization = person.value(kABOrganizationProperty);
    QString text;
    if (first.isValid() && scalarText(first, &text))
        name += text + u' ';
    if (last.isValid() && scalarText(last, &text))
        name += text;
    if (organization.isValid() && scalarText(organization, &text))
        name += name.isEmpty() ? text : QStringLiteral(" [") + text + u']';
    const QVariant emails = person.value(kABEmailProperty);
    for (const QString &label : {kABEmailWorkLabel, kABEmailHomeLabel}) {
        if (!name.isEmpty())
            break;
        const QVariant mail = ABRecordHelpers::getValueForLabel(label, emails);
        if (isText(mail))
            name += mail.toString();
    }
    return name;
}

ContactDetail::Rows ContactDetail::rowsOf(const QVariant &record)
{
    Rows rows;
    if (!isMap(record))
        return rows;
    const FlatPerson person = record.toMap();
    // QVariantMap iterates its keys in ascending, case-sensitive order.
    for (auto it = person.cbegin(); it != person.cend(); ++it) {
        const QString &key = it.key();
        if (key == kABUIDProperty || key == kABCreationDateProperty || key == kABModificationDateProperty)
            continue;
        const QVariant &value = it.value();
        bool first = true;
        QString text;
        if (scalarText(value, &text, key == kABBirthdayProperty)) {
            addRow(rows, key, &first, text);
        } else if (isList(value)) {
            const QVariantList entries = value.toList();
            for (const QVariant &entry : entries) {
                const QVariantMap pair = isMap(entry) ? entry.toMap() : QVariantMap();
                if (pair.size() == 1) {
                    addLabelledRow(rows, key, &first, pair.firstKey(), pair.first());
                } else if (entryText(entry, &text)) {
                    // Not a labelled value: shown as it is, without a label.
                    addRow(rows, key, &first, text);
                } else {
                    logUnknown(entry);
                }
            }
        } else if (isMap(value)) {
            const QVariantMap dictionary = value.toMap();
            for (auto entry = dictionary.cbegin(); entry != dictionary.cend(); ++entry)
                addLabelledRow(rows, key, &first, entry.key(), entry.value());
        } else {
            logUnknown(value);
        }
    }
    return rows;
}
