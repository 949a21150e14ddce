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
    void tablesAgreeAcrossLanguages();
    void lookUpByLocaleAndKey();
    void alertBeepRules_data();
    void alertBeepRules();
    void openUrl_data();
    void openUrl();
    void assertionsNameFileLineAndExpression();
};

namespace {
QSet<QString> placeholders(const QString &text)
{
    QSet<QString> found;
    static const QRegularExpression marker(u"%\\d"_qs);
    for (auto it = marker.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured());
    return found;
}
} // namespace

// German users must not meet an English text or a format whose arguments went astray.
void TestVCardCommon::tablesAgreeAcrossLanguages()
{
    const MessageTable english = MessageTable::forLocale(QLocale(u"en_US"_qs));
    const MessageTable german = MessageTable::forLocale(QLocale(u"de_DE"_qs));
    QCOMPARE(german.language(), u"de"_qs);
    QVERIFY(english.keys().size() > 40);
    const QStringList englishKeys = english.keys();
    const QStringList germanKeys = german.keys();
    QCOMPARE(QSet<QString>(germanKeys.cbegin(), germanKeys.cend()), QSet<QString>(englishKeys.cbegin(), englishKeys.cend()));
    for (const QString &key : englishKeys) {
        // Texts that are not deliberately empty say something, in both languages.
        if (!english.text(key).isEmpty())
            QVERIFY2(english.text(key).size() >= 2 && german.text(key).size() >= 2, qPrintable(key));
        QVERIFY2(placeholders(english.text(key)) == placeholders(german.text(key)), qPrintable(key));
    }
    // A plural form says what its key says, for one.
    for (const QString &key : englishKeys) {
        if (key.endsWith(u".one"_qs))
            QVERIFY2(placeholders(english.text(key)) == placeholders(english.text(key.chopped(4))), qPrintable(key));
    }
    QCOMPARE(german.text(u"QS_FormatRecords"_qs, 1), u" (%1 Eintrag)"_qs);
    QCOMPARE(german.text(u"QS_FormatRecords"_qs, 0), u" (%1 Einträge)"_qs);
    // Saved comes first, skipped second, whatever the language's word order.
    const QString both = german.text(u"QS_FormatSavedAndSkipped"_qs).arg(12).arg(34);
    QVERIFY(both.indexOf(u"12"_qs) >= 0 && both.indexOf(u"12"_qs) < both.indexOf(u"34"_qs));
    // CSV cells must survive the narrowest export encoding.
    for (const MessageTable *table : {&english, &german}) {
        for (const char *cell : {"SE_NoConversion", "SE_NullValue"}) {
            for (QChar c : table->text(QString::fromLatin1(cell)))
                QVERIFY2(c.unicode() < 0x7f, cell);
        }
    }
}

void TestVCardCommon::lookUpByLocaleAndKey()
{
    QCOMPARE(MessageTable::forLocale(QLocale(u"de_AT"_qs)).language(), u"de"_qs);
    QCOMPARE(MessageTable::forLocale(QLocale(u"fr_FR"_qs)).language(), u"en"_qs);
    // A missing key, or one in the wrong letter case or spelling, gives the marker.
    for (const QString &key : {u"SC_NoSuchKey"_qs, QString(), u"sc_sharingison"_qs, u"SE_NoABAvailHint"_qs})
        QCOMPARE(vCardCommon::getLocMsg(key), u"-"_qs);
    QVERIFY(vCardCommon::getLocMsg(u"SE_NoABAvailHInt"_qs) != u"-"_qs);
}

void TestVCardCommon::alertBeepRules_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("panel");
    QTest::newRow("absent hint") << u"Title"_qs << QString() << false;
    QTest::newRow("one character") << u"X"_qs << u"hint"_qs << false;
    QTest::newRow("missing-text marker") << u"-"_qs << u"hint"_qs << false;
    QTest::newRow("two characters, empty hint") << u"OK"_qs << u""_qs << true;
}

void TestVCardCommon::alertBeepRules()
{
    QFETCH(QString, message);
    QFETCH(QString, hint);
    QFETCH(bool, panel);
    RecordingPlatform platform;
    vCardCommon::alert(message, hint);
    QCOMPARE(platform.beeps, panel ? 0 : 1);
    using Alerts = QList<std::pair<QString, QString>>;
    const Alerts expected = panel ? Alerts{{message, hint}} : Alerts();
    QCOMPARE(platform.alerts, expected);
}

void TestVCardCommon::openUrl_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("opened"); // null: nothing opened; "beep": refused with a beep
    QTest::newRow("empty value") << u""_qs << u"http://"_qs << QString();
    QTest::newRow("http: later in value") << u"mailto:anna@example.org?body=http://example.org"_qs << u"http://"_qs
                                          << u"mailto:anna@example.org?body=http://example.org"_qs;
    QTest::newRow("no valid URL") << u"Web: http://example.org"_qs << u"http://"_qs << QString();
    QTest::newRow("leading slashes") << u"//example.org/x"_qs << u"mailto:"_qs << u"http://example.org/x"_qs;
    QTest::newRow("mail address") << u"anna@example.org"_qs << u"mailto:"_qs << u"mailto:anna@example.org"_qs;
    // A value that holds "http:" somewhere is taken unchanged, so its own scheme decides.
    QTest::newRow("file") << u"file:///home/anna/http:notes"_qs << u"http://"_qs << u"beep"_qs;
    QTest::newRow("javascript") << u"javascript:open('http://example.org')"_qs << u"http://"_qs << u"beep"_qs;
    QTest::newRow("caller scheme of its own") << u"example.org"_qs << u"ftp://"_qs << u"beep"_qs;
}

void TestVCardCommon::openUrl()
{
    QFETCH(QString, value);
    QFETCH(QString, scheme);
    QFETCH(QString, opened);
    RecordingPlatform platform;
    vCardCommon::openURL(value, scheme);
    const bool refused = opened == u"beep"_qs;
    QCOMPARE(platform.beeps, refused ? 1 : 0);
    if (opened.isNull() || refused)
        QVERIFY(platform.openedUrls.isEmpty());
    else
        QCOMPARE(platform.openedUrls, QList<QUrl>{QUrl(opened)});
}

void TestVCardCommon::assertionsNameFileLineAndExpression()
{
    const QByteArray plain = stderrOfAbortingChild([] {
        int count = 3;
        ZASSERT(count == 0);
    });
    QVERIFY2(plain.endsWith("failed assertion `count == 0'\n") && plain.contains("tst_vcardcommon.cpp:"),
             plain.constData());
    const QByteArray parameter = stderrOfAbortingChild([] {
        const char *name = nullptr;
        ZPARAMETER_ASSERT(name != nullptr);
    });
    QCOMPARE(parameter, QByteArray("Invalid parameter not satisfying: name != nullptr\n"));
}

QTEST_GUILESS_MAIN(TestVCardCommon)
#include "tst_vcardcommon.moc"
