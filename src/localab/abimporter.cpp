#include "abimporter.h"

#include "abaddressbook.h"
#include "abcardmapper.h"
#include "abfilestamp.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"
#include "abrecord.h"

#include <QSet>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

namespace {

bool carriesSomething(const ABRecord &record)
{
    if (record.isGroup())
        return !record.valueForProperty(kABGroupNameProperty).toString().isEmpty();
    for (const QString &property : ABAddressBook::properties()) {
        if (property == kABCreationDateProperty || property == kABModificationDateProperty)
            continue;
        if (record.valueForProperty(property).isValid())
            return true;
    }
    return false;
}

struct Mapped
{
    VCard *card = nullptr;
    std::unique_ptr<ABRecord> record;
    bool carries = false;
};

} // namespace

ABImporter::ABImporter(ABAddressBook *book) : m_book(book) {}

void ABImporter::setStreamSlice(qsizetype persons)
{
    m_streamSlice = std::max<qsizetype>(0, persons);
}

ABImportResult ABImporter::importFiles(const QStringList &paths)
{
    ABImportResult result;
    if (!m_book || !m_book->isOpen()) {
        for (const QString &path : paths)
            result.failures.append({path, 0, QStringLiteral("the address book is not available"),
                                    ABImportFailure::CannotRead, m_book ? m_book->errorString() : QString()});
        result.saved = false;
        return result;
    }
    int cardGroupsAdded = 0;
    int categoryGroupsBefore = 0;
    for (const ABGroup *group : m_book->groups())
        categoryGroupsBefore += group->form() == ABGroup::Category ? 1 : 0;
    std::vector<ABRecord *> added; // not saved yet
    qsizetype addedPersons = 0;
    QSet<QString> letGo; // normalized UIDs of the persons saved and let go of
    // Only what reached the disk counts; a card the store refused (too large to read back) or
    // could not write is in the save's report.
    const auto saveAdded = [&] {
        if (m_book->hasUnsavedChanges())
            result.saved = m_book->save() && result.saved;
        QList<ABPerson *> saved;
        for (ABRecord *record : added) {
            if (record->hasUnsavedChanges())
                continue;
            if (record->isGroup()) {
                ++cardGroupsAdded;
            } else {
                ++result.personsAdded;
                saved.append(static_cast<ABPerson *>(record));
            }
        }
        added.clear();
        addedPersons = 0;
        if (m_streamSlice > 0) {
            for (const ABPerson *person : std::as_const(saved))
                letGo.insert(ABGroup::normalizedUid(person->uniqueId()));
            m_book->release(saved);
        }
    };

    for (const QString &path : paths) {
        if (!result.saved)
            break;
        // A FIFO, a device or a huge file is refused before anything is read.
        QByteArray bytes;
        QString why;
        if (!ABFileStamp::readRegularFile(path, kMaxFileSize, &bytes, &why)) {
            result.failures.append({path, 0, why, ABImportFailure::CannotRead, why});
            continue;
        }
        VCardCodec::ParseResult parsed = VCardCodec::parse(bytes);
        bytes.clear();
        for (const QString &error : parsed.errors)
            result.failures.append({path, 0, error,
                                    error.contains(QLatin1String("END:VCARD")) ? ABImportFailure::NoEnd
                                                                              : ABImportFailure::NoCard,
                                    QString()});
        // Slices of even size, as few as the stream slice allows: the store holds less at once.
        const qsizetype cards = std::max<qsizetype>(1, parsed.cards.size());
        const qsizetype slices = m_streamSlice > 0 ? (cards + m_streamSlice - 1) / m_streamSlice : 0;
        const qsizetype slice = slices > 1 ? (cards + slices - 1) / slices : m_streamSlice;
        // Mapping a card is a function of the card alone: a chunk at a time on all cores, then
        // taken in here in the file's order.
        constexpr qsizetype kChunk = 1024;
        std::vector<Mapped> chunk;
        for (qsizetype index = 0; index < parsed.cards.size() && result.saved; ++index) {
            const int position = int(index) + 1;
            if (index % kChunk == 0) {
                chunk.resize(size_t(std::min(kChunk, parsed.cards.size() - index)));
                for (size_t i = 0; i < chunk.size(); ++i)
                    chunk[i].card = &parsed.cards[index + qsizetype(i)];
                QtConcurrent::blockingMap(chunk, [](Mapped &item) {
                    item.record = ABCardMapper::recordFromCard(*item.card);
                    item.carries = carriesSomething(*item.record);
                });
            }
            if (m_streamSlice > 0 && addedPersons >= slice) {
                saveAdded();
                if (!result.saved)
                    break;
            }
            Mapped &item = chunk[size_t(index % kChunk)];
            std::unique_ptr<ABRecord> record = std::move(item.record);
            VCard &card = *item.card;
            if (!item.carries) {
                result.failures.append({path, position, QStringLiteral("the card holds no name or contact data"),
                                        ABImportFailure::EmptyCard, QString()});
                continue;
            }
            const QString uid = record->uniqueId();
            if (!uid.isEmpty() &&
                (m_book->recordForUniqueId(uid) || letGo.contains(ABGroup::normalizedUid(uid)))) {
                result.failures.append(
                    {path, position,
                     QStringLiteral("a card with the UID %1 is already in the address book").arg(uid),
                     ABImportFailure::UidTaken, uid});
                continue;
            }
            record->m_sourceCard = std::make_shared<const VCard>(std::move(card));
            if (ABRecord *taken = m_book->addRecord(std::move(record))) {
                added.push_back(taken);
                addedPersons += taken->isGroup() ? 0 : 1;
            }
        }
    }
    if (result.saved) // after a failed save, the cards left are not tried
        saveAdded();
    int categoryGroupsAfter = 0;
    for (const ABGroup *group : m_book->groups())
        categoryGroupsAfter += group->form() == ABGroup::Category ? 1 : 0;
    result.groupsAdded = cardGroupsAdded + (categoryGroupsAfter - categoryGroupsBefore);
    return result;
}
