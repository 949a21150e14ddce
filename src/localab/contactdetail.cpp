#include "contactdetail.h"

#include "abglobals.h"
#include "ablocalized.h"
#include "abrecordhelpers.h"
#include "systemlog.h"

#include <QDateTime>

namespace {

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

// Texts, dates and numbers have a text form; lists, maps and data do not.
bool scalarText(const QVariant &value, QString *text)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        *text = value.toString();
        return true;
    case QMetaType::QDateTime:
        *text = ContactDetail::dateText(value.toDateTime());
        return true;
    case QMetaType::QDate:
        *text = ContactDetail::dateText(QDateTime(value.toDate(), QTime(12, 0), Qt::UTC));
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
    const QDateTime local = date.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1%2").arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
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
        if (scalarText(value, &text)) {
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
