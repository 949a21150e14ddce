// Figures for quick sync: 10,000 downloaded persons into a store of 10,000, with matching on
// (half of them present already), split into matching and copying, committing and saving; and
// the update-only run on the same data (with and without adding the persons not present); then an update of twice as many records that all carry one
// name (each with its own mail, phone and note) onto one person of that name. The records arrive
// as a real "AB" payload, decoded as the browser keeps it (ArchivedRecords).
// Usage: bench_quicksync [count]
#include "abaddressbook.h"
#include "abglobals.h"
#include "abperson.h"
#include "archivedrecords.h"
#include "exchangearchive.h"
#include "exchangeprotocol.h"
#include "quicksync.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

QByteArray card(int i)
{
    return QStringLiteral(
               "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bench-%1\r\nFN:First%1 Last%2\r\nN:Last%2;First%1;;;\r\n"
               "ORG:Company %3\r\nEMAIL;TYPE=WORK:first%1@company%3.example\r\nTEL;TYPE=CELL:+49 170 %1\r\n"
               "ADR;TYPE=HOME:;;Street %1;City %3;;%4;Country\r\nNOTE:Met at conference %3\r\nEND:VCARD\r\n")
        .arg(i)
        .arg(i % 977)
        .arg(i % 131)
        .arg(10000 + i % 89999)
        .toUtf8();
}

// Persons 0 .. n/2-1 are in the store already (with a second phone and mail in the download);
// the others are new.
FlatPerson remote(int i)
{
    const int local = i < 0 ? -i : i;
    return {{kABFirstNameProperty, QStringLiteral("First%1").arg(local)},
            {kABLastNameProperty, QStringLiteral("Last%1").arg(local % 977)},
            {kABOrganizationProperty, QStringLiteral("Company %1").arg(local % 131)},
            {kABEmailProperty,
             QVariantList{QVariantMap{{kABWorkLabel, QStringLiteral("first%1@company.example").arg(local)}},
                          QVariantMap{{kABHomeLabel, QStringLiteral("f%1@home.example").arg(local)}}}},
            {kABPhoneProperty,
             QVariantList{QVariantMap{{kABPhoneMobileLabel, QStringLiteral("+49 170 %1").arg(local)}},
                          QVariantMap{{kABWorkLabel, QStringLiteral("+49 30 %1").arg(local)}}}},
            {kABAddressProperty,
             QVariantList{QVariantMap{
                 {kABHomeLabel, QVariantMap{{kABAddressStreetKey, QStringLiteral("Street %1").arg(local)},
                                            {kABAddressCityKey, QStringLiteral("City")},
                                            {kABAddressZIPKey, QStringLiteral("12345")}}}}}},
            {kABNoteProperty, QStringLiteral("Met at conference %1").arg(local % 131)},
            {kABUIDProperty, QStringLiteral("remote-%1").arg(local)},
            {kABModificationDateProperty, QDateTime::currentDateTimeUtc()}};
}

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

struct Clock
{
    QElapsedTimer wall;
    double cpu = cpuMs();
    Clock() { wall.start(); }
    void print(const char *what)
    {
        std::printf("  %-34s %8.0f ms wall %8.0f ms cpu\n", what, double(wall.nsecsElapsed()) / 1e6,
                    cpuMs() - cpu);
        wall.restart();
        cpu = cpuMs();
    }
};

ArchivedRecords archived(const RecordList &list)
{
    const QByteArray payload = ExchangeArchive::encode({{ExchangeProtocol::kType, ExchangeProtocol::kTypeAB},
                                                        {ExchangeProtocol::kRecordData, list}})
                                   .value();
    return ExchangeArchive::decode(payload, ExchangeProtocol::kRecordData)
        ->value(ExchangeProtocol::kRecordData)
        .value<ArchivedRecords>();
}

void runOnce(const char *title, const QString &directory, const ArchivedRecords &records,
             const QuickSyncOptions &options)
{
    std::printf("%s\n", title);
    ABAddressBook book(directory);
    std::printf("  store: %lld persons\n", static_cast<long long>(book.people().size()));
    Clock clock;
    QuickSync sync(
        &book, [&records](qsizetype i) { return records.at(i); }, records.size(), options);
    while (!sync.prepare(500)) {
    }
    clock.print("matching and preparing");
    sync.commit();
    clock.print("putting into the store");
    sync.save();
    clock.print("saving");
    const QuickSyncResult &r = sync.result();
    std::printf("  saved %d skipped %d updated %d unchanged %d added %d, save ok %d\n", r.saved, r.skipped,
                r.updated, r.unchanged, r.added, r.saveOk);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(2, atoi(argv[1])) : 10000;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    RecordList list;
    for (int i = 0; i < count; ++i)
        list.append(remote(i < count / 2 ? i : count + i));
    const ArchivedRecords records = archived(list);
    std::printf("%d downloaded persons, %d local persons\n", count, count);

    for (const char *name : {"copy", "update", "matched"}) {
        const QString directory = dir.filePath(QString::fromLatin1(name));
        QDir().mkpath(directory);
        for (int i = 0; i < count; ++i) {
            QFile file(directory + QStringLiteral("/bench-%1.vcf").arg(i));
            if (!file.open(QIODevice::WriteOnly))
                return 1;
            file.write(card(i));
        }
    }
    QuickSyncOptions copy;
    copy.matching = true;
    copy.matchType = vCardFirstLastCompany;
    copy.group = QuickSyncOptions::Group::New;
    copy.groupName = QStringLiteral("From Bench");
    runOnce("copy-all, matching on, into a new group", dir.filePath(QStringLiteral("copy")), records, copy);
    QuickSyncOptions update;
    update.mode = QuickSyncOptions::Mode::UpdateOnly;
    update.matchType = vCardFirstLastCompany;
    runOnce("update-only", dir.filePath(QStringLiteral("update")), records, update);
    // Only the persons present: the save writes their changed cards and nothing else.
    update.addUnmatched = false;
    runOnce("update-only, persons present only", dir.filePath(QStringLiteral("matched")), records, update);

    RecordList sameName;
    for (int i = 0; i < 2 * count; ++i) {
        FlatPerson person = remote(i);
        person.insert(kABFirstNameProperty, QStringLiteral("Same"));
        person.insert(kABLastNameProperty, QStringLiteral("Name"));
        person.insert(kABOrganizationProperty, QStringLiteral("Company"));
        person.insert(kABNoteProperty, QStringLiteral("Note %1").arg(i));
        sameName.append(person);
    }
    const QString one = dir.filePath(QStringLiteral("one"));
    QDir().mkpath(one);
    QFile file(one + QStringLiteral("/same.vcf"));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:same\r\nFN:Same Name\r\nN:Name;Same;;;\r\nORG:Company\r\n"
               "NOTE:Met once\r\nEND:VCARD\r\n");
    file.close();
    std::printf("\n%d records of one name\n", 2 * count);
    runOnce("update-only, one name", one, archived(sameName), update);
    std::printf("  the card: %lld bytes\n", static_cast<long long>(QFileInfo(file.fileName()).size()));
    return 0;
}
