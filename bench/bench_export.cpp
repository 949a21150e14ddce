// Export benchmark: 10,000 downloaded persons written as CSV in UTF-8, UTF-16 and ISO 8859-1,
// and as vCards; then a hostile share, where every person brings a property name of its own, at a
// quarter, half and all of that size (the file must grow with the share, not its square). For each: the time for the whole export (table and file), best of five, with the
// processor time of all threads, and the memory it takes beyond the downloaded records (peak
// resident size and the largest live heap seen).
//
//   bench_export [PERSONS]

#include "benchsupport.h"
#include "csvwriter.h"
#include "cvsdict.h"
#include "exchangearchive.h"
#include "vcardexport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <malloc.h>
#include <sys/resource.h>

namespace {

QTextStream out(stdout);

// Processor time of the whole process (all threads), in ms.
qint64 cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

size_t liveHeap()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

ArchivedRecords received(const QVariantList &list, qsizetype *bytes)
{
    const QVariantMap message{{u"type"_qs, u"AB"_qs}, {u"ABData"_qs, list}};
    const QByteArray payload = ExchangeArchive::encode(message).value();
    *bytes = payload.size();
    return ExchangeArchive::decode(payload, u"ABData"_qs)->value(u"ABData"_qs).value<ArchivedRecords>();
}

QVariantList persons(int n)
{
    QVariantList list;
    for (int i = 0; i < n; ++i) {
        const QString id = QString::number(i);
        list.append(QVariantMap{
            {u"First"_qs, u"Firstname"_qs + id},
            {u"Last"_qs, (i % 3 ? u"Lastname"_qs : u"Müller-Lüdenscheidt"_qs) + id},
            {u"Organization"_qs, u"Company "_qs + id + u" GmbH"_qs},
            {u"JobTitle"_qs, u"Account manager"_qs},
            {u"Email"_qs, QVariantList{QVariantMap{{u"work"_qs, u"first.last"_qs + id + u"@company.example"_qs}},
                                       QVariantMap{{u"home"_qs, u"me"_qs + id + u"@home.example"_qs}}}},
            {u"Phone"_qs, QVariantList{QVariantMap{{u"work"_qs, u"+49 30 1234 "_qs + id}},
                                       QVariantMap{{u"mobile"_qs, u"+49 170 555 "_qs + id}}}},
            {u"Address"_qs, QVariantList{QVariantMap{{u"home"_qs, QVariantMap{{u"Street"_qs, u"Hauptstraße "_qs + id},
                                                                             {u"City"_qs, u"Köln"_qs},
                                                                             {u"ZIP"_qs, u"50667"_qs},
                                                                             {u"Country"_qs, u"Germany"_qs}}}}}},
            {u"Birthday"_qs, QDateTime(QDate(1970 + i % 40, 1 + i % 12, 1 + i % 28), QTime(12, 0), Qt::UTC)},
            {u"Note"_qs, u"Met at the fair, \"booth\" "_qs + id},
        });
    }
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    QTemporaryDir dir;

    const size_t heapStart = liveHeap();
    qsizetype payloadBytes = 0;
    const ArchivedRecords records = received(persons(n), &payloadBytes);
    const size_t recordsHeap = liveHeap() - heapStart;
    out << n << " persons, " << recordsHeap / 1024 << " KiB of live heap for the downloaded records\n";

    struct Run
    {
        const char *name;
        int tag; // -1: vCards
    };
    for (const Run &run : {Run{"UTF-8", CSVFormat::TagUtf8}, Run{"UTF-16", CSVFormat::TagUtf16},
                           Run{"ISO 8859-1", CSVFormat::TagLatin1}, Run{"vCard 3.0", -1}}) {
        const QString path = dir.filePath(QString::fromLatin1(run.name).remove(u' ') + u".out"_qs);
        CSVFormat format;
        format.applyPreset(CSVFormat::PresetSpreadsheet);
        format.encodingTag = run.tag;
        const auto exportOnce = [&](const std::function<bool(qsizetype, qsizetype)> &progress) {
            if (run.tag < 0)
                return VCardExport::writeFile(records, path, nullptr, progress).ok();
            const CVSDict table(records);
            return CSVWriter(format).writeFile(table, path, progress).ok();
        };
        exportOnce({}); // warm up: encoders, file system
        qint64 best = -1;
        qint64 bestCpu = -1;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer clock;
            clock.start();
            const qint64 cpuBefore = cpuMs();
            if (!exportOnce({}))
                out << "  write failed\n";
            const qint64 ms = clock.elapsed();
            const qint64 cpu = cpuMs() - cpuBefore;
            best = best < 0 ? ms : std::min(best, ms);
            bestCpu = bestCpu < 0 ? cpu : std::min(bestCpu, cpu);
        }
        // Memory: the largest live heap seen after any row, and the peak resident size.
        const size_t heapBefore = liveHeap();
        size_t heapPeak = heapBefore;
        BenchSupport::resetPeak();
        const qint64 rssBefore = BenchSupport::statusKiB("VmRSS:");
        exportOnce([&](qsizetype done, qsizetype) {
            if (done % 50 == 0)
                heapPeak = std::max(heapPeak, liveHeap());
            return true;
        });
        const qint64 rssPeak = BenchSupport::statusKiB("VmHWM:");
        out << run.name << ": " << best << " ms (" << bestCpu << " ms of processor time), " << QFileInfo(path).size() / 1024 << " KiB file; beyond the records: "
            << (heapPeak - heapBefore) / 1024 << " KiB live heap at most, peak resident +" << (rssPeak - rssBefore)
            << " KiB\n";
    }

    for (const int count : {n / 4, n / 2, n}) {
        QVariantList list;
        for (int i = 0; i < count; ++i)
            list.append(QVariantMap{{u"First"_qs, u"p"_qs + QString::number(i)}, {u"Own"_qs + QString::number(i), u"v"_qs}});
        qsizetype shareBytes = 0;
        const ArchivedRecords hostile = received(list, &shareBytes);
        const QString path = dir.filePath(u"hostile.csv"_qs);
        CSVFormat format;
        format.applyPreset(CSVFormat::PresetSpreadsheet);
        qint64 best = -1;
        qsizetype columns = 0;
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer clock;
            clock.start();
            const CVSDict table(hostile);
            if (!CSVWriter(format).writeFile(table, path).ok())
                out << "  write failed\n";
            columns = table.columnNames().size();
            best = best < 0 ? clock.elapsed() : std::min(best, clock.elapsed());
        }
        const qint64 fileBytes = QFileInfo(path).size();
        out << "hostile share, " << count << " persons with a property name each: " << shareBytes / 1024
            << " KiB share, " << fileBytes / 1024 << " KiB file (x" << QString::number(double(fileBytes) / shareBytes, 'f', 1)
            << "), " << columns << " columns, " << best << " ms\n";
    }
    return 0;
}
