// The message codec and the frame path alone, without sockets or a store: encode, frame, unpack
// and decode an "AB" with synthetic persons like the ones of bench_exchange.
//
//   bench_exchangecodec [PERSONS]   (default 10000)

#include "abglobals.h"
#include "archivedrecords.h"
#include "cbormessagereader.h"
#include "cborwalker.h"
#include "exchangearchive.h"
#include "flatperson.h"
#include "qfconnectionpool.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimeZone>

#include <ctime>

static double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int n = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    RecordList records;
    for (int i = 0; i < n; ++i) {
        const QString id = QString::number(i);
        records.append(FlatPerson{
            {kABFirstNameProperty, u"Firstname"_qs + id},
            {kABLastNameProperty, u"Lastname"_qs + id},
            {kABOrganizationProperty, u"Company "_qs + id + u" GmbH"_qs},
            {kABDepartmentProperty, u"Sales"_qs},
            {kABJobTitleProperty, u"Account manager"_qs},
            {kABEmailProperty, QVariantList{LabeledValue{{kABWorkLabel, u"first.last"_qs + id + u"@company.example"_qs}},
                                            LabeledValue{{kABHomeLabel, u"someone"_qs + id + u"@mail.example"_qs}}}},
            {kABPhoneProperty, QVariantList{LabeledValue{{kABWorkLabel, u"+43 1 234 56"_qs + id}},
                                            LabeledValue{{kABPhoneMobileLabel, u"+43 660 12 34"_qs + id}}}},
            {kABAddressProperty, QVariantList{LabeledValue{{kABWorkLabel, QVariantMap{{kABAddressStreetKey, u"Hauptstraße "_qs + id},
                                                                                      {kABAddressCityKey, u"Graz"_qs},
                                                                                      {kABAddressZIPKey, u"8010"_qs},
                                                                                      {kABAddressCountryKey, u"Austria"_qs}}}}}},
            {kABBirthdayProperty, QDateTime(QDate(1980, 2, 10 + i % 10), QTime(12, 0), QTimeZone::utc())},
            {kABNoteProperty, u"met at the fair in spring"_qs},
            {kABUIDProperty, u"p"_qs + id},
        });
    }
    const QVariantMap message{{u"type"_qs, u"AB"_qs}, {u"ABData"_qs, records}};
    QTcpSocket handle;
    QElapsedTimer clock;
    for (int round = 0; round < 3; ++round) {
        clock.start();
        const QByteArray payload = ExchangeArchive::encode(message).value();
        const qint64 encodeMs = clock.restart();
        const QByteArray frame = QFConnectionPool::packData(payload, &handle);
        const qint64 packMs = clock.restart();
        QFConnectionPool pool;
        pool.addConnection(&handle);
        for (qsizetype i = 0; i < frame.size(); i += 65536)
            pool.addData(frame.mid(i, 65536), &handle);
        const QByteArray back = pool.unpackDatafromConnection(&handle).value();
        const qint64 unpackMs = clock.restart();
        // As the receiving side does: the records are checked, and built only when read.
        const QVariantMap decoded = ExchangeArchive::decode(back, u"ABData"_qs).value();
        const qint64 decodeMs = clock.restart();
        const RecordList built = decoded.value(u"ABData"_qs).value<ArchivedRecords>().toList();
        const qint64 buildMs = clock.restart();
        out << n << " persons, payload " << payload.size() << " bytes: encode " << encodeMs << " ms, pack " << packMs
            << " ms, reassemble " << unpackMs << " ms, decode " << decodeMs << " ms, every record built "
            << buildMs << " ms" << (built == records ? "" : " (MISMATCH)") << '\n';
        // The check of what arrives on its own: the one-pass walker against a check-only pass of
        // the stream reader (what the receiving side did before).
        // Thread CPU time: on a busy machine, wall time says more about the others.
        double start = cpuMs();
        const bool walked = CborWalker::walk(back, u"ABData"_qs).has_value();
        const double walkMs = cpuMs() - start;
        start = cpuMs();
        CborMessageReader reader(back);
        const bool read = reader.readMessage(u"ABData"_qs).has_value();
        const double readMs = cpuMs() - start;
        out << "  check of " << back.size() << " bytes: walker " << QString::number(walkMs, 'f', 2) << " ms ("
            << QString::number(double(back.size()) / 1e6 / (walkMs / 1e3), 'f', 0) << " MB/s), stream reader "
            << QString::number(readMs, 'f', 2) << " ms (CPU time)" << (walked && read ? "" : " (REFUSED)") << '\n';
        out.flush();
    }
    return 0;
}
