// Figures for the address book store: opening 10,000 and 100,000 contacts, the store's memory for
// 10,000, building the record list for 10,000 shared persons, and 10,000 match queries against
// 10,000 local persons. Usage: bench_addressbook [--skip-large]
#include "abaddressbook.h"
#include "abglobals.h"
#include "abperson.h"
#include "abrecordhelpers.h"
#include "absharingpropcontroller.h"
#include "recordlistbuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <ctime>
#include <malloc.h>

namespace {

QByteArray card(int i)
{
    // A contact as address programs write it: names, organization, two e-mails, two phones, one
    // address, a note, a category.
    return QStringLiteral(
               "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bench-%1\r\nFN:First%1 Last%2\r\nN:Last%2;First%1;;;\r\n"
               "ORG:Company %3;Sales\r\nTITLE:Engineer\r\nEMAIL;TYPE=WORK:first%1@company%3.example\r\n"
               "EMAIL;TYPE=HOME:f%1@home.example\r\nTEL;TYPE=CELL:+49 170 %1\r\nTEL;TYPE=WORK,VOICE:+49 30 "
               "%1\r\n"
               "ADR;TYPE=HOME:;;Street %1;City %3;;%4;Country\r\nNOTE:Met at conference %3\\, table %2\r\n"
               "CATEGORIES:%5\r\nREV:2024-01-01T00:00:00Z\r\nEND:VCARD\r\n")
        .arg(i)
        .arg(i % 977)
        .arg(i % 131)
        .arg(10000 + i % 89999)
        .arg(i % 2 ? QStringLiteral("Shared") : QStringLiteral("Friends"))
        .toUtf8();
}

void fill(const QString &directory, int count)
{
    for (int i = 0; i < count; ++i) {
        QFile file(directory + QStringLiteral("/bench-%1.vcf").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the bench store");
        file.write(card(i));
    }
}

// Process CPU time in ms (all threads): the machine is shared, so wall time alone says little.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir settingsHome;
    qputenv("XDG_CONFIG_HOME", settingsHome.path().toUtf8()); // never the user's own settings
    QCoreApplication app(argc, argv);
    const bool skipLarge = app.arguments().contains(QStringLiteral("--skip-large"));
    const bool openOnly = app.arguments().contains(QStringLiteral("--open-only"));
    QTextStream out(stdout);

    QTemporaryDir dir;
    fill(dir.path(), 10000);
    // Warm the page cache so that the figure is the store's work, not the disk's.
    {
        ABAddressBook warm(dir.path());
    }

    const size_t before = heapInUse();
    QElapsedTimer timer;
    timer.start();
    double cpu = cpuMs();
    auto book = std::make_unique<ABAddressBook>(dir.path());
    const qint64 openMs = timer.elapsed();
    const double openCpu = cpuMs() - cpu;
    const size_t after = heapInUse();
    out << "open 10,000 contacts: " << openMs << " ms wall, " << openCpu << " ms CPU ("
        << book->people().size() << " persons, " << book->groups().size() << " groups)\n";
    out << "store heap for 10,000 contacts: " << (after - before) / (1024.0 * 1024.0) << " MB\n";
    {
        // What a running share pays when the directory changed: a look at every file's time
        // and size, and reading only what changed.
        timer.restart();
        const bool nothing = !book->refresh();
        const qint64 idleMs = timer.elapsed();
        QFile changed(dir.path() + QStringLiteral("/bench-5000.vcf"));
        changed.open(QIODevice::ReadOnly);
        QByteArray card = changed.readAll();
        changed.close();
        card.replace("END:VCARD", "NOTE:changed\r\nEND:VCARD");
        changed.open(QIODevice::WriteOnly | QIODevice::Truncate);
        changed.write(card);
        changed.close();
        timer.restart();
        const bool one = book->refresh();
        out << "refresh of 10,000 contacts: " << idleMs << " ms with nothing changed" << (nothing ? "" : " (MISMATCH)")
            << ", " << timer.elapsed() << " ms with one file changed" << (one ? "" : " (MISMATCH)") << '\n';
    }
    if (openOnly) {
        for (int i = 0; i < 5; ++i)
            ABAddressBook again(dir.path());
        return 0;
    }

    // Record list: every second person is in the shared category group; share all groups so that
    // all 10,000 travel.
    ABSharingPropController controller(book.get());
    controller.doShareAll();
    RecordList list;
    timer.start();
    cpu = cpuMs();
    const int rounds = 5;
    for (int i = 0; i < rounds; ++i)
        list = RecordListBuilder::build(book.get(), controller);
    out << "record list for " << list.size() << " shared persons: " << timer.elapsed() / double(rounds)
        << " ms wall, " << (cpuMs() - cpu) / rounds << " ms CPU\n";

    timer.start();
    cpu = cpuMs();
    for (int i = 0; i < rounds; ++i)
        list = RecordListBuilder::build(book.get(), [](const ABPerson *) { return true; });
    out << "  of which building without the selection test: " << timer.elapsed() / double(rounds)
        << " ms wall, " << (cpuMs() - cpu) / rounds << " ms CPU\n";
    timer.start();
    cpu = cpuMs();
    int shared = 0;
    for (const ABPerson *person : book->people())
        shared += controller.isPeopleInGroups(person) ? 1 : 0;
    out << "  selection test alone for " << shared << " persons: " << timer.elapsed() << " ms wall, "
        << cpuMs() - cpu << " ms CPU\n";

    // 10,000 queries, half of them present.
    QList<FlatPerson> queries;
    for (int i = 0; i < 10000; ++i) {
        FlatPerson person = list.at(i).toMap();
        if (i % 2)
            person.insert(kABLastNameProperty, QStringLiteral("Absent%1").arg(i));
        queries.append(person);
    }
    timer.start();
    cpu = cpuMs();
    int found = 0;
    for (const FlatPerson &query : queries)
        found += ABRecordHelpers::isFlatPersonInAB(query, vCardFirstLastCompany, book.get()) ? 1 : 0;
    out << "isFlatPersonInAB, 10,000 queries against 10,000 persons: " << timer.elapsed() << " ms wall, "
        << cpuMs() - cpu << " ms CPU (" << found << " found)\n";
    // Quick sync adds a person between queries: the index is rebuilt each time the store changes.
    timer.start();
    for (int i = 0; i < 100; ++i) {
        ABRecordHelpers::isFlatPersonInAB(queries.at(i), vCardFirstLast, book.get());
        book->addRecord(ABAddressBook::newPerson())
            ->setValue(QStringLiteral("Added%1").arg(i), kABFirstNameProperty);
    }
    out << "isFlatPersonInAB with a store change before each query: " << timer.elapsed() / 100.0
        << " ms per query\n";
    book.reset();

    if (!skipLarge) {
        QTemporaryDir large;
        fill(large.path(), 100000);
        {
            ABAddressBook warm(large.path());
        }
        timer.start();
        cpu = cpuMs();
        ABAddressBook big(large.path());
        out << "open 100,000 contacts: " << timer.elapsed() << " ms wall, " << cpuMs() - cpu << " ms CPU ("
            << big.people().size() << " persons)\n";
    }
    return 0;
}
