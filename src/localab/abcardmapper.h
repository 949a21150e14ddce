#pragma once

#include "vcardcodec.h"

#include <QDateTime>

#include <memory>

class ABRecord;

// Between cards and records: which vCard properties hold which of our properties, and labels.
class ABCardMapper
{
public:
    static bool isGroupCard(const VCard &card);
    // Fills a fresh record of the right kind from a card (values, categories, members, form).
    // only: a person holds just these properties (membership is always read).
    static void read(const VCard &card, ABRecord &record, const QStringList *only = nullptr);
    // A new person or group (by the card's kind) holding the card's values.
    static std::unique_ptr<ABRecord> recordFromCard(const VCard &card, const QStringList *only = nullptr);
    // The vCard names (upper case) of the lines that read() looks at when a person holds just
    // the properties only (those of groups, membership and kind included).
    static QList<QByteArrayView> cardNamesRead(const QStringList &only);
    // The card for a record: the modeled properties from the record, every other property of
    // base kept as it was.
    // A valid revision is written as REV instead of the record's modification date.
    static VCard write(const ABRecord &record, const VCard &base, const QDateTime &revision = {});
    // A stored record's unsaved changes as an edit of its card file as it is now (current):
    // only the lines that carry a change are replaced, added or removed, REV is set to revision,
    // and every other byte stays. Depends on nothing but the record's change and current, so it
    // can run again on a newer current. False (with a reason) when current does not hold exactly
    // one card of the record's kind.
    static bool edit(const ABRecord &record, const QByteArray &current, const QDateTime &revision, QByteArray *out,
                     QString *error);

    // Property values of the card form for a label (exposed for tests).
    static QString labelForPhoneTypes(const QStringList &types);
};
