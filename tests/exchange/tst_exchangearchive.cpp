#include "abglobals.h"
#include "archivedrecords.h"
#include "exchangearchive.h"
#include "flatperson.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QTimeZone>
#include <QtTest>

// The CBOR payload codec: a message graph survives the round trip kind for kind, and anything
// that is not exactly one map of the known kinds is refused.
class TestExchangeArchive : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void wireForm();
    void datesCarryTheirZone();
    void dateTexts_data();
    void dateTexts();
    void indefiniteLengthsAreRead();
    void refused_data();
    void refused();
    void nestingIsBounded();
    void unsupportedValuesAreNotEncoded();
    void recordListReusesOnlyUnchangedRecords();
    void archivedListReadsLikeTheDecodedOne();
    void archivedListIsAsStrict_data();
    void archivedListIsAsStrict();
    void itemFloodsAreRefused();
    void archivedTextsAreCheckedLikeDecodedOnes_data();
    void archivedTextsAreCheckedLikeDecodedOnes();
};

static FlatPerson samplePerson()
{
    QVariantMap address{{kABAddressStreetKey, u"Hauptstraße 1"_qs}, {kABAddressCityKey, u"Köln"_qs}};
    return FlatPerson{
        {kABFirstNameProperty, u""_qs},
        {kABLastNameProperty, u"Ødegård 日本"_qs},
        {kABEmailProperty, QVariantList{LabeledValue{{kABWorkLabel, u"a@b.c"_qs}}, LabeledValue{{kABWorkLabel, u"d@e.f"_qs}},
                                        LabeledValue{{u"my own"_qs, u"g@h.i"_qs}}}},
        {kABAddressProperty, QVariantList{LabeledValue{{kABHomeLabel, address}}}},
        {kABBirthdayProperty, QDateTime(QDate(1996, 4, 15), QTime(0, 0), QTimeZone::utc())},
        {u"Count"_qs, qlonglong(-42)},
        {u"Photo"_qs, QByteArray("\x00\x01\xff", 3)},
    };
}

void TestExchangeArchive::roundTrip_data()
{
    QTest::addColumn<QVariantMap>("message");
    QTest::newRow("person") << QVariantMap{{u"type"_qs, u"AB"_qs}, {u"ABData"_qs, QVariantList{samplePerson(), samplePerson()}}};
    QTest::newRow("extremes") << QVariantMap{{u"big"_qs, qlonglong(LLONG_MAX)}, {u"small"_qs, qlonglong(LLONG_MIN)},
                                             {u"flag"_qs, true}, {u"real"_qs, 1.5}, {u""_qs, u""_qs}};
    QTest::newRow("empty") << QVariantMap();
    // A byte order mark at the start of a text is part of the text.
    QTest::newRow("byte order marks") << QVariantMap{{u"\uFEFFkey"_qs, u"\uFEFFvalue"_qs}, {u"key"_qs, u"\uFEFF"_qs},
                                                     {u"ABData"_qs, QVariantList{u"\uFEFF\uFEFFx"_qs}}};
}

void TestExchangeArchive::roundTrip()
{
    QFETCH(QVariantMap, message);
    const std::optional<QByteArray> bytes = ExchangeArchive::encode(message);
    QVERIFY(bytes.has_value());
    const std::optional<QVariantMap> back = ExchangeArchive::decode(*bytes);
    QVERIFY(back.has_value());
    QCOMPARE(*back, message);
    const std::optional<QVariantMap> kept = ExchangeArchive::decode(*bytes, u"ABData"_qs);
    QVERIFY(kept.has_value());
    if (message.contains(u"ABData"_qs))
        QCOMPARE(kept->value(u"ABData"_qs).value<ArchivedRecords>().toList(), message.value(u"ABData"_qs).toList());
    // Kinds survive too: an empty text stays a text, a number a number.
    const auto check = [](const QVariant &a, const QVariant &b, const auto &self) -> void {
        QCOMPARE(b.typeId(), a.typeId());
        if (a.typeId() == QMetaType::QVariantList) {
            for (qsizetype i = 0; i < a.toList().size(); ++i)
                self(a.toList().at(i), b.toList().at(i), self);
        } else if (a.typeId() == QMetaType::QVariantMap) {
            const QVariantMap am = a.toMap(), bm = b.toMap();
            for (auto it = am.begin(); it != am.end(); ++it)
                self(it.value(), bm.value(it.key()), self);
        }
    };
    check(QVariant(message), QVariant(*back), check);
}

void TestExchangeArchive::wireForm()
{
    // What another implementation reads: one map, text keys, integer Keys1; the owner card is a
    // map with number keys.
    const QByteArray bytes = ExchangeArchive::encode({{u"type"_qs, u"keys"_qs}, {u"Keys1"_qs, 5}}).value();
    QCOMPARE(bytes.toHex(), QByteArray("a2654b6579733105647479706564") + QByteArray("6b657973"));
    const OwnerCard card{{1, u"Ann"_qs}, {2, u""_qs}, {-7, u"neg"_qs}, {2147483647, u"max"_qs}};
    const QByteArray withCard = ExchangeArchive::encode({{u"pData"_qs, QVariant::fromValue(card)}}).value();
    QCOMPARE(QCborValue::fromCbor(withCard).toMap().value(u"pData"_qs).toMap().value(2147483647).toString(), u"max"_qs);
    QCOMPARE(ExchangeArchive::decode(withCard).value().value(u"pData"_qs).value<OwnerCard>(), card);
}

void TestExchangeArchive::datesCarryTheirZone()
{
    const QDateTime local(QDate(2024, 2, 29), QTime(13, 14, 15, 250), QTimeZone(3600));
    const QByteArray bytes = ExchangeArchive::encode({{u"d"_qs, local}, {u"day"_qs, QDate(1996, 4, 15)}}).value();
    // Tag 0 (0xc0), then the text as written.
    QVERIFY(bytes.contains(QByteArray("\xc0\x78\x1d") + "2024-02-29T13:14:15.250+01:00"));
    QVERIFY(bytes.contains(QByteArray("\xc0\x74") + "1996-04-15T00:00:00Z"));
    QCOMPARE(ExchangeArchive::decode(bytes).value().value(u"d"_qs).toDateTime(), local);
    // A date that would leave the years 1 to 9999 in UTC is never written.
    QVERIFY(!ExchangeArchive::encode({{u"d"_qs, QDateTime(QDate(9999, 12, 31), QTime(23, 0), QTimeZone(-7200))}}));
}

// Only the full RFC 3339 form with a zone offset; a leap second is the millisecond before it.
void TestExchangeArchive::dateTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("utc"); // empty: refused
    QTest::newRow("Z") << u"1996-04-15T12:00:00Z"_qs << u"1996-04-15T12:00:00.000Z"_qs;
    QTest::newRow("offset, fraction") << u"2024-02-29T13:14:15.25+01:00"_qs << u"2024-02-29T12:14:15.250Z"_qs;
    QTest::newRow("lower case, nanoseconds") << u"2000-01-01t00:00:00.123456789z"_qs << u"2000-01-01T00:00:00.123Z"_qs;
    QTest::newRow("leap second") << u"2016-12-31T23:59:60Z"_qs << u"2016-12-31T23:59:59.999Z"_qs;
    QTest::newRow("leap second, offset") << u"2017-01-01T00:59:60+01:00"_qs << u"2016-12-31T23:59:59.999Z"_qs;
    QTest::newRow("last instant") << u"9999-12-31T23:59:59.999Z"_qs << u"9999-12-31T23:59:59.999Z"_qs;
    QTest::newRow("second 60 at noon") << u"2016-12-31T12:00:60Z"_qs << QString();
    QTest::newRow("date alone") << u"1996-04-15"_qs << QString();
    QTest::newRow("no offset") << u"1996-04-15T12:00:00"_qs << QString();
    QTest::newRow("blank for T") << u"1996-04-15 12:00:00Z"_qs << QString();
    QTest::newRow("no seconds") << u"1996-04-15T12:00Z"_qs << QString();
    QTest::newRow("empty fraction") << u"1996-04-15T12:00:00.Z"_qs << QString();
    QTest::newRow("February 30") << u"1996-02-30T12:00:00Z"_qs << QString();
    QTest::newRow("hour 24") << u"1996-04-15T24:00:00Z"_qs << QString();
    QTest::newRow("offset 24:00") << u"1996-04-15T12:00:00+24:00"_qs << QString();
    QTest::newRow("offset without colon") << u"1996-04-15T12:00:00+0100"_qs << QString();
    QTest::newRow("year 0") << u"0000-01-01T12:00:00Z"_qs << QString();
    QTest::newRow("year 10000 in UTC") << u"9999-12-31T23:59:59.999999999-23:59"_qs << QString();
    QTest::newRow("trailing text") << u"1996-04-15T12:00:00Zx"_qs << QString();
}

void TestExchangeArchive::dateTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, utc);
    const std::optional<QDateTime> parsed = ExchangeArchive::parseDateTime(text);
    QCOMPARE(parsed.has_value(), !utc.isEmpty());
    if (parsed)
        QCOMPARE(parsed->toUTC().toString(Qt::ISODateWithMs), utc);
    // Inside a payload, a refused date refuses the whole payload.
    // {"a": 0("text")}, by hand: QCborValue would rewrite the date text in its own form.
    const QByteArray payload = QByteArray::fromHex("a16161c0") + QCborValue(text).toCbor();
    QCOMPARE(ExchangeArchive::decode(payload).has_value(), !utc.isEmpty());
}

void TestExchangeArchive::indefiniteLengthsAreRead()
{
    // {_ "type": (_ "ke" "ys"), "a": [_ 1, 2], "h": 1.0 as half precision, (_ "ty" "pe"): ...}
    // (the last key repeats "type" in chunks: refused as a duplicate further down)
    const QByteArray bytes = QByteArray::fromHex("bf64747970657f626b65627973ff61619f0102ff6168f93c00ff");
    QVERIFY(!ExchangeArchive::decode(QByteArray::fromHex("bf6474797065617a7f627479627065ff6178ff")).has_value());
    QCOMPARE(ExchangeArchive::decode(QByteArray::fromHex("bf7f627479627065ff6178ff")).value().value(u"type"_qs),
             QVariant(u"x"_qs));
    const QVariantMap message = ExchangeArchive::decode(bytes).value();
    QCOMPARE(message.value(u"type"_qs), QVariant(u"keys"_qs));
    QCOMPARE(message.value(u"a"_qs).toList(), (QVariantList{qlonglong(1), qlonglong(2)}));
    QCOMPARE(message.value(u"h"_qs).toDouble(), 1.0);
}

void TestExchangeArchive::refused_data()
{
    QTest::addColumn<QByteArray>("payload");
    const QByteArray ok = QCborValue(QCborMap{{u"type"_qs, u"keys"_qs}}).toCbor();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not cbor") << QByteArray("hello, world");
    QTest::newRow("truncated") << ok.left(ok.size() - 1);
    QTest::newRow("trailing byte") << ok + '\0';
    QTest::newRow("two maps") << ok + ok;
    QTest::newRow("array at top") << QCborValue(QCborArray{u"type"_qs, u"keys"_qs}).toCbor();
    QTest::newRow("text at top") << QCborValue(u"keys"_qs).toCbor();
    QTest::newRow("number keys at top") << QCborValue(QCborMap{{1, u"x"_qs}}).toCbor();
    QTest::newRow("mixed keys") << QCborValue(QCborMap{{1, u"x"_qs}, {u"a"_qs, u"y"_qs}}).toCbor();
    QTest::newRow("number map with non-text") << QCborValue(QCborMap{{u"p"_qs, QCborMap{{1, 2}}}}).toCbor();
    QTest::newRow("key beyond 32 bits") << QCborValue(QCborMap{{u"p"_qs, QCborMap{{qint64(1) << 33, u"x"_qs}}}}).toCbor();
    QTest::newRow("duplicate key") << QByteArray::fromHex("a2617801617802");
    QTest::newRow("null value") << QCborValue(QCborMap{{u"a"_qs, QCborValue(nullptr)}}).toCbor();
    QTest::newRow("undefined value") << QCborValue(QCborMap{{u"a"_qs, QCborValue()}}).toCbor();
    QTest::newRow("unknown tag") << QCborValue(QCborMap{{u"a"_qs, QCborValue(QCborKnownTags::Url, u"http://x"_qs)}}).toCbor();
    QTest::newRow("bad date") << QCborValue(QCborMap{{u"a"_qs, QCborValue(QCborKnownTags::DateTimeString, u"yesterday"_qs)}}).toCbor();
    QTest::newRow("date not text") << QCborValue(QCborMap{{u"a"_qs, QCborValue(QCborKnownTags::DateTimeString, 5)}}).toCbor();
    QTest::newRow("huge string length") << QByteArray::fromHex("a161617b7fffffffffffffff41");
    QTest::newRow("huge array length") << QByteArray::fromHex("a161619b7fffffffffffffff");
    QTest::newRow("truncated key") << QByteArray::fromHex("a1657479");
    QTest::newRow("break outside container") << QByteArray::fromHex("a16161ff");
    QTest::newRow("negative beyond 64 bits") << QByteArray::fromHex("a161613bffffffffffffffff");
    QTest::newRow("unsigned beyond 63 bits") << QByteArray::fromHex("a161611bffffffffffffffff");
}

void TestExchangeArchive::refused()
{
    QFETCH(QByteArray, payload);
    QVERIFY(!ExchangeArchive::decode(payload).has_value());
    QVERIFY(!ExchangeArchive::decode(payload, u"a"_qs).has_value());
}

void TestExchangeArchive::nestingIsBounded()
{
    // The top map is level 1; arrays below it count on. 10,000 nested arrays (definite and
    // indefinite) or maps are refused without recursion: no stack overflow.
    const auto nested = [](int arrays, char opener = '\x81') {
        QByteArray bytes = QByteArray("\xa1\x61\x61", 3) + QByteArray(arrays, opener) + '\x00';
        return opener == '\x9f' ? bytes + QByteArray(arrays, '\xff') : bytes;
    };
    QVERIFY(ExchangeArchive::decode(nested(ExchangeArchive::kMaxNesting - 1)).has_value());
    QVERIFY(!ExchangeArchive::decode(nested(ExchangeArchive::kMaxNesting)).has_value());
    QVERIFY(!ExchangeArchive::decode(nested(10000)).has_value());
    QVERIFY(!ExchangeArchive::decode(nested(10000, '\x9f')).has_value());
    QVERIFY(!ExchangeArchive::decode(QByteArray("\xa1\x61\x61", 3).repeated(10000) + '\x00').has_value());
}

void TestExchangeArchive::unsupportedValuesAreNotEncoded()
{
    QVERIFY(!ExchangeArchive::encode({{u"a"_qs, QVariant()}}).has_value());
    QVERIFY(!ExchangeArchive::encode({{u"a"_qs, QVariantList{QVariant::fromValue(static_cast<QObject *>(this))}}}).has_value());
    QVERIFY(!ExchangeArchive::encode({{u"a"_qs, QDateTime()}}).has_value());
}

void TestExchangeArchive::recordListReusesOnlyUnchangedRecords()
{
    QVariantList list;
    for (int i = 0; i < 50; ++i)
        list.append(QVariantMap{{u"First"_qs, u"P%1"_qs.arg(i)}, {u"Email"_qs, QVariantList{QVariantMap{{u"work"_qs, u"p@x"_qs}}}}});
    list.append(QVariantMap()); // an empty record has no identity to reuse
    QCOMPARE(ExchangeArchive::encodeRecordList(list), ExchangeArchive::encodeItem(list));
    // A record changed in place (detached), one dropped, one added, one freed and another made
    // that may get its memory: each list encodes as a whole list would.
    QVariantMap changed = list.at(7).toMap();
    changed.insert(u"First"_qs, u"Changed"_qs);
    list[7] = changed;
    list.removeAt(3);
    list.append(QVariantMap{{u"First"_qs, u"New"_qs}});
    QCOMPARE(ExchangeArchive::encodeRecordList(list), ExchangeArchive::encodeItem(list));
    list[10] = QVariantMap{{u"First"_qs, u"Again"_qs}};
    list.append(QVariant(u"not a map"_qs));
    QCOMPARE(ExchangeArchive::encodeRecordList(list), ExchangeArchive::encodeItem(list));
    QVERIFY(!ExchangeArchive::encodeRecordList({QVariant::fromValue(static_cast<void *>(nullptr))}));
}

QTEST_GUILESS_MAIN(TestExchangeArchive)
#include "tst_exchangearchive.moc"

// "ABData" kept encoded: the same entries, of the same kinds, as the full decode gives, including
// entries that are not persons at all; other values and a non-list "ABData" decode as usual.
void TestExchangeArchive::archivedListReadsLikeTheDecodedOne()
{
    const QVariantList records{samplePerson(), u"not a person"_qs, qlonglong(7), QVariantList{u"x"_qs},
                               FlatPerson{{kABFirstNameProperty, u"Ann"_qs}}, FlatPerson()};
    const QVariantMap message{{u"type"_qs, u"AB"_qs}, {u"ABData"_qs, records}, {u"pData"_qs, QVariant::fromValue(OwnerCard{{1, u"A"_qs}})}};
    const QByteArray bytes = ExchangeArchive::encode(message).value();

    const QVariantMap lazy = ExchangeArchive::decode(bytes, u"ABData"_qs).value();
    QCOMPARE(lazy.value(u"type"_qs), QVariant(u"AB"_qs));
    QCOMPARE(lazy.value(u"pData"_qs).value<OwnerCard>(), (OwnerCard{{1, u"A"_qs}}));
    QCOMPARE(lazy.value(u"ABData"_qs).typeId(), QMetaType::fromType<ArchivedRecords>().id());
    const ArchivedRecords archived = lazy.value(u"ABData"_qs).value<ArchivedRecords>();
    QCOMPARE(archived.size(), records.size());
    for (qsizetype i = archived.size() - 1; i >= 0; --i) { // any order
        QCOMPARE(archived.at(i), records.at(i));
        QCOMPARE(archived.at(i).typeId(), records.at(i).typeId());
    }
    QCOMPARE(archived.toList(), records);
    QCOMPARE(archived.at(0).toMap().value(kABBirthdayProperty).typeId(), QMetaType::QDateTime);

    // Copies share the bytes; the payload may go away.
    ArchivedRecords copy;
    {
        const QByteArray transient = ExchangeArchive::encode(message).value();
        copy = ExchangeArchive::decode(transient, u"ABData"_qs)->value(u"ABData"_qs).value<ArchivedRecords>();
    }
    QCOMPARE(copy.toList(), records);

    const QByteArray empty = ExchangeArchive::encode({{u"ABData"_qs, QVariantList()}}).value();
    QVERIFY(ExchangeArchive::decode(empty, u"ABData"_qs)->value(u"ABData"_qs).value<ArchivedRecords>().isEmpty());
    const QByteArray text = ExchangeArchive::encode({{u"ABData"_qs, u"x"_qs}}).value();
    QCOMPARE(ExchangeArchive::decode(text, u"ABData"_qs)->value(u"ABData"_qs), QVariant(u"x"_qs));
    // Only the top level's list is kept encoded.
    const QByteArray nested = ExchangeArchive::encode({{u"inner"_qs, QVariantMap{{u"ABData"_qs, QVariantList{1}}}}}).value();
    QCOMPARE(ExchangeArchive::decode(nested, u"ABData"_qs)->value(u"inner"_qs).toMap().value(u"ABData"_qs).typeId(),
             QMetaType::QVariantList);
}

void TestExchangeArchive::archivedListIsAsStrict_data()
{
    // One bad entry among good ones spoils the message, as it does decoded in full.
    QTest::addColumn<QByteArray>("entry");
    QTest::newRow("invalid utf8") << QByteArray::fromHex("62c328");
    QTest::newRow("bad date") << QCborValue(QCborKnownTags::DateTimeString, u"yesterday"_qs).toCbor();
    QTest::newRow("null") << QByteArray::fromHex("f6");
    QTest::newRow("duplicate key") << QByteArray::fromHex("a2617801617802");
    QTest::newRow("truncated") << QByteArray::fromHex("a26178");
    QTest::newRow("too deep") << QByteArray(ExchangeArchive::kMaxNesting, '\x81') + '\x00';
}

void TestExchangeArchive::archivedListIsAsStrict()
{
    QFETCH(QByteArray, entry);
    const QByteArray good = QCborValue(QCborMap{{u"First"_qs, u"Ann"_qs}}).toCbor();
    const QByteArray bytes = QByteArray::fromHex("a1664142446174618" "3") + good + entry + good;
    QVERIFY(!ExchangeArchive::decode(bytes).has_value());
    QVERIFY(!ExchangeArchive::decode(bytes, u"ABData"_qs).has_value());
    // The frame is fine without the bad entry.
    QVERIFY(ExchangeArchive::decode(QByteArray::fromHex("a1664142446174618" "2") + good + good, u"ABData"_qs).has_value());
}

// A few megabytes of one-byte items must not turn into gigabytes of values on the receiving side.
void TestExchangeArchive::itemFloodsAreRefused()
{
    // {"ABData": [count items]}, or {"ABData": [[count items]]} as one entry.
    const auto arrayOf = [](qint64 count, char item = '\x00', bool oneEntry = false) {
        QByteArray bytes = QByteArray::fromHex(oneEntry ? "a16641424461746181" "9a" : "a1664142446174619a");
        for (int shift : {24, 16, 8, 0})
            bytes += char(count >> shift);
        return bytes + QByteArray(count, item);
    };
    // Entries in the kept list: at most kMaxRecords, each an item, however small.
    const QByteArray most = arrayOf(ArchivedRecords::kMaxRecords);
    const std::optional<QVariantMap> kept = ExchangeArchive::decode(most, u"ABData"_qs);
    QVERIFY(kept.has_value());
    QCOMPARE(kept->value(u"ABData"_qs).value<ArchivedRecords>().size(), ArchivedRecords::kMaxRecords);
    QCOMPARE(kept->value(u"ABData"_qs).value<ArchivedRecords>().at(17), QVariant(qlonglong(0)));
    QVERIFY(!ExchangeArchive::decode(arrayOf(ArchivedRecords::kMaxRecords + 1), u"ABData"_qs));

    // Values in one entry, the entry's own array counting as one.
    const qint64 perEntry = ArchivedRecords::kMaxItemsPerRecord;
    QVERIFY(ExchangeArchive::decode(arrayOf(perEntry - 1, '\x01', true), u"ABData"_qs).has_value());
    QVERIFY(!ExchangeArchive::decode(arrayOf(perEntry, '\x01', true), u"ABData"_qs).has_value());

    // Decoded in full, the message as a whole has a budget.
    QVERIFY(!ExchangeArchive::decode(arrayOf(ExchangeArchive::kMaxItems)).has_value());
}

void TestExchangeArchive::archivedTextsAreCheckedLikeDecodedOnes_data()
{
    // Texts in the kept list are checked without being decoded; whatever the full decode takes
    // or refuses, the check must take or refuse as well.
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("ascii") << QByteArray::fromHex("6161");
    QTest::newRow("empty") << QByteArray::fromHex("60");
    QTest::newRow("byte order mark") << QByteArray::fromHex("64efbbbf61");
    QTest::newRow("noncharacter") << QByteArray::fromHex("63efbfbf");
    QTest::newRow("highest code point") << QByteArray::fromHex("64f48fbfbf");
    QTest::newRow("surrogate") << QByteArray::fromHex("63eda080");
    QTest::newRow("above U+10FFFF") << QByteArray::fromHex("64f4908080");
    QTest::newRow("overlong slash") << QByteArray::fromHex("62c0af");
    QTest::newRow("overlong three bytes") << QByteArray::fromHex("63e08080");
    QTest::newRow("cut sequence") << QByteArray::fromHex("62e282");
    QTest::newRow("lone continuation") << QByteArray::fromHex("6180");
    QTest::newRow("chunks") << QByteArray::fromHex("7f6161" "63e282ac" "ff");
    QTest::newRow("character split over chunks") << QByteArray::fromHex("7f62e282" "61ac" "ff");
    QTest::newRow("mark in a later chunk") << QByteArray::fromHex("7f6161" "64efbbbf62" "ff");
}

void TestExchangeArchive::archivedTextsAreCheckedLikeDecodedOnes()
{
    QFETCH(QByteArray, text);
    // [ text, {text: 1}, {"a": 1, text: 2} ]: as a value, as a key, and as a key that may repeat "a".
    const QByteArray list = QByteArray::fromHex("a166414244617461" "83") + text + "\xa1" + text + '\x01' +
                            QByteArray::fromHex("a2616101") + text + '\x02';
    const std::optional<QVariantMap> eager = ExchangeArchive::decode(list);
    const std::optional<QVariantMap> lazy = ExchangeArchive::decode(list, u"ABData"_qs);
    QCOMPARE(lazy.has_value(), eager.has_value());
    if (eager)
        QCOMPARE(lazy->value(u"ABData"_qs).value<ArchivedRecords>().toList(), eager->value(u"ABData"_qs).toList());

    // Each alone, so that one refusal does not hide another.
    for (const QByteArray &entry : {text, QByteArray("\xa1") + text + '\x01', QByteArray::fromHex("a2616101") + text + '\x02'}) {
        const QByteArray one = QByteArray::fromHex("a166414244617461" "81") + entry;
        QCOMPARE(ExchangeArchive::decode(one, u"ABData"_qs).has_value(), ExchangeArchive::decode(one).has_value());
    }
}
