#include "abaddressbook.h"
#include "abglobals.h"
#include "abimporter.h"
#include "abperson.h"
#include "exportcontroller.h"
#include "fakebrowser.h"
#include "recordingplatform.h"

#include <QtTest>

// File > Export vCards…: the downloaded persons in one file that our store reads back. The cards
// are written as the store writes its own, which the khard test reads.
class TestVCardExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void storeReadsTheSamePersons();

private:
    QTemporaryDir m_dir;
    QString m_file;
    QVariantList m_persons;
};

void TestVCardExport::initTestCase()
{
    auto labeled = [](const QString &label, const QVariant &value) { return QVariantMap{{label, value}}; };
    m_persons = {
        QVariantMap{{kABFirstNameProperty, u"Jürgen"_qs},
                    {kABLastNameProperty, u"Müller, jr."_qs},
                    {kABOrganizationProperty, u"Acme; Sons"_qs},
                    {kABEmailProperty, QVariantList{labeled(kABWorkLabel, u"jm@acme.example"_qs),
                                                    labeled(u"Urlaub"_qs, u"jm@beach.example"_qs)}},
                    {kABPhoneProperty, QVariantList{labeled(kABPhoneMobileLabel, u"+49 170 1234"_qs)}},
                    {kABAddressProperty,
                     QVariantList{labeled(kABHomeLabel, QVariantMap{{kABAddressStreetKey, u"Weg 1\nHinterhaus"_qs},
                                                                    {kABAddressCityKey, u"Köln"_qs}})}},
                    {kABBirthdayProperty, QDateTime(QDate(1970, 5, 17), QTime(12, 0), Qt::UTC)},
                    {kABNoteProperty, u"line one\nline two, with \\ and ;"_qs}},
        u"not a person"_qs,
        QVariantMap{{kABFirstNameProperty, u"Kim"_qs}, {kABEmailProperty, QVariantList{labeled(kABHomeLabel, u"kim@home.example"_qs)}},
                    {kABUIDProperty, u"../../peer-uid"_qs}},
    };
    FakeBrowser browser;
    browser.share = u"Office/Team"_qs;
    browser.setRecords(m_persons);
    ExportController controller(&browser);
    m_file = m_dir.filePath(u"contacts.vcf"_qs);
    QString proposed;
    controller.setLocationChooser([&](const QString &, const QString &, const QString &, const QString &name,
                                      const QString &) {
        proposed = name;
        return m_file;
    });
    RecordingPlatform platform;
    controller.doExportVCards();
    QVERIFY(platform.alerts.isEmpty());
    QCOMPARE(proposed, u"Office-Team.vcf"_qs);
}

void TestVCardExport::storeReadsTheSamePersons()
{
    ABAddressBook book(m_dir.filePath(u"store"_qs));
    const ABImportResult result = ABImporter(&book).importFiles({m_file});
    QVERIFY(result.failures.isEmpty());
    QCOMPARE(result.personsAdded, 2);
    QList<QVariantMap> back;
    for (const ABPerson *person : book.people()) {
        QVariantMap values = person->travellingValues();
        values.remove(kABModificationDateProperty);
        values.remove(kABCreationDateProperty);
        back.append(values);
        QVERIFY(!person->uniqueId().contains(u"peer-uid"_qs));
    }
    std::sort(back.begin(), back.end(), [](const QVariantMap &a, const QVariantMap &b) {
        return a.value(kABFirstNameProperty).toString() < b.value(kABFirstNameProperty).toString();
    });
    QVariantMap kim = m_persons.at(2).toMap();
    kim.remove(kABUIDProperty);
    QCOMPARE(back, (QList<QVariantMap>{m_persons.at(0).toMap(), kim}));
}

QTEST_MAIN(TestVCardExport)
#include "tst_vcardexport.moc"
