#include "fuzzentries.h"

#include "abcardmapper.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "abrecord.h"
#include "vcardcodec.h"
#include "zassert.h"

#include <QDebug>

namespace {

const QDateTime kRevision(QDate(2030, 1, 2), QTime(3, 4, 5), Qt::UTC);

bool sameRecord(const ABRecord &a, const ABRecord &b)
{
    return a.isGroup() == b.isGroup() && a.uniqueId() == b.uniqueId() &&
           a.travellingValues() == b.travellingValues();
}

// The bytes without the lines for which drop() holds.
QByteArray without(const QByteArray &bytes, const std::function<bool(const VCardProperty &)> &drop)
{
    const VCardCodec::ParseResult parsed = VCardCodec::parse(bytes);
    ZASSERT(parsed.errors.isEmpty() && parsed.cards.size() == 1);
    QByteArray out = parsed.data;
    const QList<VCardProperty> &lines = parsed.cards.first().properties;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (drop(lines.at(i)))
            out.remove(lines.at(i).begin, lines.at(i).end - lines.at(i).begin);
    }
    return out;
}

bool isRev(const VCardProperty &prop)
{
    return prop.name == QLatin1String("REV");
}

// A change made through the record's own setters, written as an edit of input: the card read
// back holds what the record holds. Returns the edited bytes.
QByteArray edited(const QByteArray &input, const VCard &card, const std::function<void(ABRecord &)> &change)
{
    const std::unique_ptr<ABRecord> record = ABCardMapper::recordFromCard(card);
    change(*record);
    QByteArray out;
    QString error;
    ZASSERT(ABCardMapper::edit(*record, input, kRevision, &out, &error));
    const VCardCodec::ParseResult again = VCardCodec::parse(out);
    ZASSERT(again.errors.isEmpty() && again.cards.size() == 1);
    const std::unique_ptr<ABRecord> back = ABCardMapper::recordFromCard(again.cards.first());
    QVariantMap expected = record->travellingValues();
    QVariantMap actual = back->travellingValues();
    if (out != input) {
        expected.insert(kABModificationDateProperty, kRevision);
        if (actual.value(kABModificationDateProperty).toDateTime() != kRevision)
            qWarning() << "REV not read back:" << out;
    }
    const bool persons = !record->isGroup() && !back->isGroup();
    if (expected != actual || (persons && static_cast<ABPerson &>(*record).categories() !=
                                              static_cast<ABPerson &>(*back).categories()))
        qWarning() << "expected:" << expected << "\nread back:" << actual << "\ninput:" << input << "\nedited:" << out;
    ZASSERT(expected == actual);
    ZASSERT(!persons ||
            static_cast<ABPerson &>(*record).categories() == static_cast<ABPerson &>(*back).categories());
    return out;
}

// A card as the store holds it: changed values are written as line edits, every other byte stays.
void checkEdits(const QByteArray &input, const VCard &card)
{
    // Unchanged, or set to what it holds: the same bytes.
    const QByteArray same = edited(input, card, [](ABRecord &record) {
        record.setValue(record.valueForProperty(kABEmailProperty), kABEmailProperty);
    });
    ZASSERT(same == input);
    if (ABCardMapper::isGroupCard(card)) {
        const std::unique_ptr<ABPerson> member = ABPerson::create();
        ZASSERT(member->setValue(QStringLiteral("fuzz-member"), kABUIDProperty));
        const QByteArray out = edited(input, card, [&member](ABRecord &record) {
            static_cast<ABGroup &>(record).addMember(member.get());
        });
        const auto isNew = [](const VCardProperty &prop) {
            return isRev(prop) || (prop.name.endsWith(QLatin1String("MEMBER")) &&
                                   prop.value == QLatin1String("urn:uuid:fuzz-member"));
        };
        ZASSERT(without(out, isNew) == without(input, isRev));
        return;
    }
    // One more e-mail address: one line more (and REV), nothing else differs.
    const QString address = QStringLiteral("added@fuzz.example");
    const QByteArray out = edited(input, card, [&address](ABRecord &record) {
        ABMultiValue emails = ABMultiValue::fromVariant(record.valueForProperty(kABEmailProperty));
        emails.addValue(address, kABWorkLabel);
        record.setValue(QVariant::fromValue(emails), kABEmailProperty);
    });
    const auto isNew = [&address](const VCardProperty &prop) {
        return isRev(prop) || (prop.name == QLatin1String("EMAIL") && prop.value == address);
    };
    if (without(out, isNew) != without(input, isRev))
        qWarning() << "input:" << input << "\nedited:" << out;
    ZASSERT(without(out, isNew) == without(input, isRev));
    // Other changes read back as made.
    edited(input, card, [](ABRecord &record) {
        record.setValue(QStringLiteral("fuzz note\nline 2; with, marks"), kABNoteProperty);
        record.setValue(QStringLiteral("Fuzz Org"), kABOrganizationProperty);
        record.setValue(QStringLiteral("Ünïcode"), kABFirstNameProperty);
        record.setValue(QVariant(), kABPhoneProperty);
        record.setValue(QDate(1604, 7, 4), kABBirthdayProperty);
    });
}

} // namespace

int fuzzVCardOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const VCardCodec::ParseResult parsed = VCardCodec::parse(input);
    for (const VCard &card : parsed.cards) {
        // What the store writes for a new card reads back as one card, and writing that again
        // gives the same bytes.
        const std::unique_ptr<ABRecord> record = ABCardMapper::recordFromCard(card);
        const QByteArray written = VCardCodec::serialize(ABCardMapper::write(*record, card));
        const VCardCodec::ParseResult again = VCardCodec::parse(written);
        ZASSERT(again.errors.isEmpty() && again.cards.size() == 1);
        const std::unique_ptr<ABRecord> back = ABCardMapper::recordFromCard(again.cards.first());
        // The record read back holds the same values, and is written to the same bytes.
        if (!sameRecord(*record, *back))
            qWarning() << "read:" << record->uniqueId() << record->travellingValues() << "\nback:" << back->uniqueId()
                       << back->travellingValues() << "\nwritten:" << written;
        ZASSERT(sameRecord(*record, *back));
        const QByteArray rewritten = VCardCodec::serialize(ABCardMapper::write(*back, again.cards.first()));
        if (rewritten != written)
            qWarning() << "written:" << written << "\nrewritten:" << rewritten;
        ZASSERT(rewritten == written);
    }
    // A file the store would hold (one card) is edited in place.
    if (parsed.errors.isEmpty() && parsed.cards.size() == 1)
        checkEdits(input, parsed.cards.first());
    return 0;
}
