#include "fuzzentries.h"

#include "abcardmapper.h"
#include "abrecord.h"
#include "vcardcodec.h"
#include "zassert.h"

#include <QDebug>

namespace {

bool sameRecord(const ABRecord &a, const ABRecord &b)
{
    return a.isGroup() == b.isGroup() && a.uniqueId() == b.uniqueId() &&
           a.travellingValues() == b.travellingValues();
}

} // namespace

int fuzzVCardOneInput(const uint8_t *data, size_t size)
{
    const VCardCodec::ParseResult parsed =
        VCardCodec::parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (const VCard &card : parsed.cards) {
        // What the store writes for a card reads back as one card, and writing that again gives
        // the same bytes.
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
    return 0;
}
