#include "abimporter.h"

#include "abaddressbook.h"
#include "abcardmapper.h"
#include "abfilestamp.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abrecord.h"


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

} // namespace

ABImporter::ABImporter(ABAddressBook *book) : m_book(book) {}

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
    const qsizetype groupsBefore = m_book->groups().size();
    int cardGroupsAdded = 0;
    int categoryGroupsBefore = 0;
    for (const ABGroup *group : m_book->groups())
        categoryGroupsBefore += group->form() == ABGroup::Category ? 1 : 0;
    Q_UNUSED(groupsBefore);
    std::vector<const ABRecord *> added;

    for (const QString &path : paths) {
        // A FIFO, a device or a huge file is refused before anything is read.
        QByteArray bytes;
        QString why;
        if (!ABFileStamp::readRegularFile(path, kMaxFileSize, &bytes, &why)) {
            result.failures.append({path, 0, why, ABImportFailure::CannotRead, why});
            continue;
        }
        const VCardCodec::ParseResult parsed = VCardCodec::parse(bytes);
        for (const QString &error : parsed.errors)
            result.failures.append({path, 0, error,
                                    error.contains(QLatin1String("END:VCARD")) ? ABImportFailure::NoEnd
                                                                              : ABImportFailure::NoCard,
                                    QString()});
        int position = 0;
        for (const VCard &card : parsed.cards) {
            ++position;
            std::unique_ptr<ABRecord> record = ABCardMapper::recordFromCard(card);
            if (!carriesSomething(*record)) {
                result.failures.append({path, position, QStringLiteral("the card holds no name or contact data"),
                                        ABImportFailure::EmptyCard, QString()});
                continue;
            }
            const QString uid = record->uniqueId();
            if (!uid.isEmpty() && m_book->recordForUniqueId(uid)) {
                result.failures.append(
                    {path, position,
                     QStringLiteral("a card with the UID %1 is already in the address book").arg(uid),
                     ABImportFailure::UidTaken, uid});
                continue;
            }
            record->m_sourceCard = std::make_shared<const VCard>(card);
            if (const ABRecord *taken = m_book->addRecord(std::move(record)))
                added.push_back(taken);
        }
    }
    int categoryGroupsAfter = 0;
    for (const ABGroup *group : m_book->groups())
        categoryGroupsAfter += group->form() == ABGroup::Category ? 1 : 0;
    if (m_book->hasUnsavedChanges())
        result.saved = m_book->save();
    // Only what reached the disk counts; a card the store refused (too large to read back) or
    // could not write is in the save's report.
    for (const ABRecord *record : added) {
        if (record->hasUnsavedChanges())
            continue;
        if (record->isGroup())
            ++cardGroupsAdded;
        else
            ++result.personsAdded;
    }
    result.groupsAdded = cardGroupsAdded + (categoryGroupsAfter - categoryGroupsBefore);
    return result;
}
