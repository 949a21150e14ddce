#pragma once

#include "vcardcodec.h"

#include <memory>

class ABRecord;

// Between cards and records: which vCard properties hold which of our properties, and labels.
class ABCardMapper
{
public:
    static bool isGroupCard(const VCard &card);
    // Fills a fresh record of the right kind from a card (values, categories, members, form).
    static void read(const VCard &card, ABRecord &record);
    // A new person or group (by the card's kind) holding the card's values.
    static std::unique_ptr<ABRecord> recordFromCard(const VCard &card);
    // The card for a record: the modeled properties from the record, every other property of
    // base kept as it was.
    static VCard write(const ABRecord &record, const VCard &base);

    // Property values of the card form for a label (exposed for tests).
    static QString labelForPhoneTypes(const QStringList &types);
};
