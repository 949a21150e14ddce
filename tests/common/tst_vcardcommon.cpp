#include "abortingchild.h"
#include "messagetable.h"
#include "recordingplatform.h"
#include "vcardcommon.h"
#include "zassert.h"

#include <QtTest>


class TestVCardCommon : public QObject
{
    Q_OBJECT

private slots:
    void everyKeyInEveryLanguage_data();
    void everyKeyInEveryLanguage();
    void missingKeyGivesMarker();
    void languageFollowsLocale();
    void formatKeysTakeTheirArguments();
    void alertBeepRules_data();
    void alertBeepRules();
    void openUrlPrefixRules_data();
    void openUrlPrefixRules();
    void openUrlRefusesOtherSchemes_data();
    void openUrlRefusesOtherSchemes();
    void assertionsNameFileLineAndExpression();
};

static const QStringList kKeys = {
    u"AB_Records"_qs, u"BR_DNSError"_qs, u"BR_DNSErrorHint"_qs, u"BR_FileHint"_qs, u"BR_NetworkHint"_qs,
    u"BR_NetworkProblem"_qs, u"BR_NoRemoteSystem"_qs, u"BR_SystemHint"_qs, u"QS_ABInSynch"_qs,
    u"QS_FormatFrom"_qs, u"QS_FormatRecords"_qs, u"QS_FormatSavedAndSkipped"_qs,
    u"QS_FormatSavedToGroup"_qs, u"QS_NoGroups"_qs, u"RC_NoMailSentHint"_qs, u"RC_NoMailSentProblem"_qs,
    u"RC_ThankReply"_qs, u"RC_Thanks"_qs, u"SC_ButtonStart"_qs, u"SC_ButtonStop"_qs, u"SC_ClickStart"_qs,
    u"SC_ClickStop"_qs, u"SC_DefaultShareName"_qs, u"SC_DownloadInfo"_qs, u"SC_EmptyString"_qs,
    u"SC_NonCompatibleHint"_qs, u"SC_NonCompatibleProblem"_qs, u"SC_ServerProtocolHint"_qs,
    u"SC_ServerProtocolProblem"_qs, u"SC_SharingIsOff"_qs, u"SC_SharingIsOn"_qs,
    u"SC_UnspecificSharingHint"_qs, u"SC_UnspecificSharingProblem"_qs, u"SE_NoABAvailHInt"_qs,
    u"SE_NoABAvailProblem"_qs, u"SE_NoConversion"_qs, u"SE_NoFile"_qs, u"SE_NullValue"_qs,
    u"SE_OpenTitle"_qs, u"SE_UseFileLocation"_qs, u"SH_NameCollisionHint"_qs, u"SH_NameCollisionProblem"_qs,
};

void TestVCardCommon::everyKeyInEveryLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("english") << u"en_US"_qs;
    QTest::newRow("german") << u"de_DE"_qs;
}

void TestVCardCommon::everyKeyInEveryLanguage()
{
    QFETCH(QString, locale);
    const MessageTable table = MessageTable::forLocale(QLocale(locale));
    QCOMPARE(table.language(), locale.left(2));
    for (const QString &key : kKeys) {
        QVERIFY2(table.contains(key), qPrintable(key));
        // Every text that is not deliberately empty says something.
        if (key != u"SC_EmptyString"_qs && key != u"SE_NullValue"_qs)
            QVERIFY2(table.text(key).size() >= 2, qPrintable(key));
    }
    // Every language has the same keys, and the odd spelling is the one that counts.
    const QStringList ours = table.keys();
    const QStringList english = MessageTable::forLocale(QLocale(u"en_US"_qs)).keys();
    QCOMPARE(QSet<QString>(ours.cbegin(), ours.cend()), QSet<QString>(english.cbegin(), english.cend()));
    QVERIFY(!table.contains(u"SE_NoABAvailHint"_qs));
    // CSV cells must survive the narrowest export encoding.
    for (const char *cell : {"SE_NoConversion", "SE_NullValue"}) {
        const QString text = table.text(QString::fromLatin1(cell));
        QVERIFY2(QString::fromLatin1(text.toLatin1()) == text && !text.contains(QChar(0x7f)), cell);
        for (QChar c : text)
            QVERIFY(c.unicode() < 0x80);
    }
}

void TestVCardCommon::missingKeyGivesMarker()
{
    QCOMPARE(vCardCommon::getLocMsg(u"SC_NoSuchKey"_qs), u"-"_qs);
    QCOMPARE(vCardCommon::getLocMsg(QString()), u"-"_qs);
    // Keys are matched with their letter case.
    QCOMPARE(vCardCommon::getLocMsg(u"sc_sharingison"_qs), u"-"_qs);
    QCOMPARE(vCardCommon::getLocMsg(u"SE_NoABAvailHint"_qs), u"-"_qs);
    QVERIFY(vCardCommon::getLocMsg(u"SC_SharingIsOn"_qs) != u"-"_qs);
}

void TestVCardCommon::languageFollowsLocale()
{
    QCOMPARE(MessageTable::forLocale(QLocale(u"de_AT"_qs)).language(), u"de"_qs);
    QCOMPARE(MessageTable::forLocale(QLocale(u"fr_FR"_qs)).language(), u"en"_qs);
    QVERIFY(MessageTable::forLocale(QLocale(u"de_DE"_qs)).text(u"SC_SharingIsOn"_qs) !=
            MessageTable::forLocale(QLocale(u"en_GB"_qs)).text(u"SC_SharingIsOn"_qs));
}

void TestVCardCommon::formatKeysTakeTheirArguments()
{
    for (const QString &language : {u"en"_qs, u"de"_qs}) {
        const MessageTable t = MessageTable::forLocale(QLocale(language));
        QVERIFY(t.text(u"AB_Records"_qs).arg(250).contains(u"250"_qs));
        QVERIFY(t.text(u"SC_DownloadInfo"_qs).arg(1).contains(u"1"_qs));
        QVERIFY(t.text(u"QS_FormatRecords"_qs).arg(7).contains(u"7"_qs));
        QVERIFY(t.text(u"QS_FormatFrom"_qs).arg(u"Anna"_qs).contains(u"Anna"_qs));
        QVERIFY(t.text(u"QS_FormatSavedToGroup"_qs).arg(u"Team"_qs).contains(u"Team"_qs));
        // Saved comes first, skipped second, whatever the language's word order.
        const QString both = t.text(u"QS_FormatSavedAndSkipped"_qs).arg(12).arg(34);
        QVERIFY(both.indexOf(u"12"_qs) >= 0 && both.indexOf(u"12"_qs) < both.indexOf(u"34"_qs));
        // Texts that are not formats carry no placeholder that would show up raw.
        for (const QString &key : kKeys) {
            if (!key.startsWith(u"QS_Format"_qs) && key != u"AB_Records"_qs && key != u"SC_DownloadInfo"_qs)
                QVERIFY2(!t.text(key).contains(u"%1"_qs), qPrintable(key));
        }
    }
}

void TestVCardCommon::alertBeepRules_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("panel");
    QTest::newRow("absent message") << QString() << u"hint"_qs << false;
    QTest::newRow("absent hint") << u"Title"_qs << QString() << false;
    QTest::newRow("empty message") << u""_qs << u"hint"_qs << false;
    QTest::newRow("one character") << u"X"_qs << u"hint"_qs << false;
    QTest::newRow("missing-text marker") << u"-"_qs << u"hint"_qs << false;
    QTest::newRow("two characters, empty hint") << u"OK"_qs << u""_qs << true;
    QTest::newRow("ordinary") << u"Sharing could not start"_qs << u"Try again"_qs << true;
}

void TestVCardCommon::alertBeepRules()
{
    QFETCH(QString, message);
    QFETCH(QString, hint);
    QFETCH(bool, panel);
    RecordingPlatform platform;
    vCardCommon::alert(message, hint);
    QCOMPARE(platform.beeps, panel ? 0 : 1);
    QCOMPARE(platform.alerts.size(), panel ? 1 : 0);
    if (panel) {
        QCOMPARE(platform.alerts.first().first, message);
        QCOMPARE(platform.alerts.first().second, hint);
        QVERIFY(platform.alerts.first().second.isEmpty() == hint.isEmpty());
    }
}

void TestVCardCommon::openUrlPrefixRules_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("opened");
    QTest::newRow("empty value") << u""_qs << u"http://"_qs << QString();
    QTest::newRow("web page with scheme") << u"http://example.org/a"_qs << u"http://"_qs
                                         << u"http://example.org/a"_qs;
    QTest::newRow("https kept") << u"https://example.org"_qs << u"mailto:"_qs << u"https://example.org"_qs;
    QTest::newRow("http: later in value") << u"mailto:anna@example.org?body=http://example.org"_qs
                                          << u"http://"_qs << u"mailto:anna@example.org?body=http://example.org"_qs;
    QTest::newRow("no valid URL") << u"Web: http://example.org"_qs << u"http://"_qs << QString();
    QTest::newRow("capital HTTP not recognised") << u"HTTP://example.org"_qs << u"http://"_qs
                                                << u"http://HTTP://example.org"_qs;
    QTest::newRow("leading slashes") << u"//example.org/x"_qs << u"mailto:"_qs << u"http://example.org/x"_qs;
    QTest::newRow("host and path") << u"example.org/path"_qs << u"http://"_qs << u"http://example.org/path"_qs;
    QTest::newRow("mail address") << u"anna@example.org"_qs << u"mailto:"_qs << u"mailto:anna@example.org"_qs;
}

void TestVCardCommon::openUrlPrefixRules()
{
    QFETCH(QString, value);
    QFETCH(QString, scheme);
    QFETCH(QString, opened);
    RecordingPlatform platform;
    vCardCommon::openURL(value, scheme);
    if (opened.isNull()) {
        QVERIFY(platform.openedUrls.isEmpty());
    } else {
        QCOMPARE(platform.openedUrls.size(), 1);
        QCOMPARE(platform.openedUrls.first().toString(), QUrl(opened).toString());
        QCOMPARE(platform.beeps, 0);
    }
}

void TestVCardCommon::openUrlRefusesOtherSchemes_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("scheme");
    // A value that holds "http:" somewhere is taken unchanged, so its own scheme decides.
    QTest::newRow("file") << u"file:///home/anna/http:notes"_qs << u"http://"_qs;
    QTest::newRow("javascript") << u"javascript:open('http://example.org')"_qs << u"http://"_qs;
    QTest::newRow("custom scheme") << u"smb://server/https:share"_qs << u"mailto:"_qs;
    QTest::newRow("caller scheme of its own") << u"example.org"_qs << u"ftp://"_qs;
}

void TestVCardCommon::openUrlRefusesOtherSchemes()
{
    QFETCH(QString, value);
    QFETCH(QString, scheme);
    RecordingPlatform platform;
    vCardCommon::openURL(value, scheme);
    QVERIFY(platform.openedUrls.isEmpty());
    QCOMPARE(platform.beeps, 1);
}

void TestVCardCommon::assertionsNameFileLineAndExpression()
{
    const QByteArray plain = stderrOfAbortingChild([] {
        int count = 3;
        ZASSERT(count == 0);
    });
    QVERIFY2(plain.endsWith("failed assertion `count == 0'\n"), plain.constData());
    QVERIFY2(plain.contains("tst_vcardcommon.cpp:"), plain.constData());

    const QByteArray parameter = stderrOfAbortingChild([] {
        const char *name = nullptr;
        ZPARAMETER_ASSERT(name != nullptr);
    });
    QCOMPARE(parameter, QByteArray("Invalid parameter not satisfying: name != nullptr\n"));
}

QTEST_GUILESS_MAIN(TestVCardCommon)
#include "tst_vcardcommon.moc"
