#pragma once

#include "abglobals.h"
#include "flatperson.h"

#include <QDateTime>
#include <QFile>

// What several benchmarks share: memory figures of this process and a synthetic address book.
namespace BenchSupport {

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), or -1.
inline qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Starts VmHWM again from the current resident size.
inline void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// count persons with names, company, two mail addresses, one or two phones, an address, a note
// and a birthday, as a share of a real office would hold them.
inline RecordList syntheticPersons(int count, bool workPhone)
{
    RecordList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        QVariantList phones{LabeledValue{{kABPhoneMobileLabel, QStringLiteral("+49 170 %1").arg(i)}}};
        if (workPhone)
            phones.append(LabeledValue{{kABWorkLabel, QStringLiteral("+49 30 %1").arg(i)}});
        list.append(FlatPerson{
            {kABFirstNameProperty, QStringLiteral("First%1").arg(i)},
            {kABLastNameProperty, QStringLiteral("Last%1").arg(i % 977)},
            {kABOrganizationProperty, QStringLiteral("Company %1").arg(i % 131)},
            {kABEmailProperty, QVariantList{LabeledValue{{kABWorkLabel, QStringLiteral("first%1@example.org").arg(i)}},
                                            LabeledValue{{kABHomeLabel, QStringLiteral("f%1@home.example").arg(i)}}}},
            {kABPhoneProperty, phones},
            {kABAddressProperty,
             QVariantList{LabeledValue{{kABHomeLabel, QVariantMap{{kABAddressStreetKey, QStringLiteral("Street %1").arg(i)},
                                                                  {kABAddressCityKey, QStringLiteral("Berlin")},
                                                                  {kABAddressZIPKey, QStringLiteral("10115")}}}}}},
            {kABNoteProperty, QStringLiteral("Met at conference %1").arg(i % 50)},
            {kABBirthdayProperty, QDateTime(QDate(1970 + i % 40, 1 + i % 12, 1 + i % 28), QTime(12, 0), Qt::UTC)},
        });
    }
    return list;
}

} // namespace BenchSupport
