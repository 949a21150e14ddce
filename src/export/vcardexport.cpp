#include "vcardexport.h"

#include "abcardmapper.h"
#include "abglobals.h"
#include "abperson.h"
#include "archivedrecords.h"
#include "vcardcodec.h"

#include <QIODevice>

qsizetype VCardExport::write(const ArchivedRecords &records, QIODevice &device, const Progress &progress)
{
    qsizetype cards = 0;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QVariant record = records.at(i);
        if (record.metaType() == QMetaType::fromType<QVariantMap>()) {
            // The record's own checks decide what is taken: values of unknown properties or of
            // the wrong kind are not, and neither is a UID from the peer.
            const std::unique_ptr<ABPerson> person = ABPerson::create();
            const QVariantMap values = record.toMap();
            for (auto it = values.cbegin(); it != values.cend(); ++it) {
                if (it.key() != kABUIDProperty)
                    person->setValue(it.value(), it.key());
            }
            if (!person->travellingValues().isEmpty()) {
                const QByteArray card = VCardCodec::serialize(ABCardMapper::write(*person, VCard()));
                if (device.write(card) != card.size())
                    return -1;
                ++cards;
            }
        }
        if (progress && !progress(i + 1, records.size()))
            return -1;
    }
    return cards;
}

ExportFileResult VCardExport::writeFile(const ArchivedRecords &records, const QString &path, qsizetype *cards,
                                        const Progress &progress)
{
    qsizetype written = 0;
    const ExportFileResult result = writeExportFile(path, [&](QIODevice &device) {
        written = write(records, device, progress);
        return written >= 0;
    });
    if (cards)
        *cards = result.ok() ? written : 0;
    return result;
}
