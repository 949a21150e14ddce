#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "ablocalized.h"
#include "abperson.h"
#include "abrecordhelpers.h"
#include "storetools.h"

#include <QtTest>

namespace {

// Spelled-out local persons: null QString = property absent.
struct Local
{
    QString first, last, organization, phone = {};
};

void addPerson(ABAddressBook &book, const Local &local)
{
    QVariantMap more;
    if (!local.organization.isNull())
        more.insert(kABOrganizationProperty, local.organization);
    if (!local.phone.isNull())
        more.insert(kABPhoneProperty, QVariantList{QVariantMap{{u"home"_qs, local.phone}}});
    StoreTools::addPerson(book, local.first, local.last, more);
}

} // namespace

class TestRecordHelpers : public QObject
{
    Q_OBJECT

private slots:
    void matching_data();
    void matching();
    void matchingSeesRecordsAddedBetweenCalls();
    void localizedNames();
};

void TestRecordHelpers::matching_data()
{
    QTest::addColumn<QVariantMap>("downloaded");
    QTest::addColumn<QList<int>>("localSet"); // indexes into the locals below
    QTest::addColumn<int>("matchType");
    QTest::addColumn<bool>("expected");

    const QVariantMap annaNoOrg{{kABFirstNameProperty, u"Anna"_qs}, {kABLastNameProperty, u"Berg"_qs}};
    const QVariantMap phoneOnly{{kABPhoneProperty, QVariantList{QVariantMap{{u"work"_qs, u"+1 (2)"_qs}}}}};
    QVariantMap emptyFirst = annaNoOrg;
    emptyFirst.insert(kABFirstNameProperty, u" "_qs);
    // 0: Anna Berg, no org; 1: Anna Berg, Acme; 2: nothing; 3: org only; 4: Anna Berg with trailing
    // space; 5: anna berg; 6: no first, Berg; 7: no name, phone +12; 8: Acme, phone +12
    QTest::newRow("no org matches no org")
        << annaNoOrg << QList<int>{1, 0} << int(vCardFirstLastCompany) << true;
    // Names as the store gives them back: blanks around them and an empty name do not count.
    QTest::newRow("trailing space") << annaNoOrg << QList<int>{4} << int(vCardFirstLast) << true;
    QTest::newRow("blank first vs absent") << emptyFirst << QList<int>{6} << int(vCardFirstLast) << true;
    // From a peer: a name that is not text is no name (the store would not keep it).
    QTest::newRow("number as first name")
        << QVariantMap{{kABFirstNameProperty, 5}, {kABLastNameProperty, u"Berg"_qs}} << QList<int>{0, 6}
        << int(vCardFirstLast) << true;
    QVariantMap listOrg = annaNoOrg;
    listOrg.insert(kABOrganizationProperty, QVariantList{u"Acme"_qs});
    QTest::newRow("list as organization") << listOrg << QList<int>{1} << int(vCardFirstLastCompany) << false;
    // Without a name, only a shared phone number or mail address of a person without a name.
    QTest::newRow("no name vs no name") << phoneOnly << QList<int>{2} << int(vCardFirstLastCompany) << false;
    QTest::newRow("no name, same phone") << phoneOnly << QList<int>{2, 7} << int(vCardFirstLastCompany) << true;
    QTest::newRow("company has a name") << phoneOnly << QList<int>{8} << int(vCardFirstLastCompany) << false;
    QTest::newRow("company is no name under first-last")
        << phoneOnly << QList<int>{8} << int(vCardFirstLast) << true;
    QTest::newRow("company only under first-last")
        << QVariantMap{{kABOrganizationProperty, u"Acme"_qs}} << QList<int>{3} << int(vCardFirstLast) << false;
}

void TestRecordHelpers::matching()
{
    QFETCH(QVariantMap, downloaded);
    QFETCH(QList<int>, localSet);
    QFETCH(int, matchType);
    QFETCH(bool, expected);
    const QString n;
    const QList<Local> locals = {
        {u"Anna"_qs, u"Berg"_qs, n}, {u"Anna"_qs, u"Berg"_qs, u"Acme"_qs}, {n, n, n},
        {n, n, u"Acme"_qs},          {u"Anna"_qs, u"Berg "_qs, n},         {u"anna"_qs, u"berg"_qs, n},
        {n, u"Berg"_qs, n},          {n, n, n, u"+12"_qs},                 {n, n, u"Acme"_qs, u"+12"_qs}};
    QTemporaryDir dir;
    ABAddressBook book(dir.path());
    for (int index : localSet)
        addPerson(book, locals.at(index));
    QCOMPARE(ABRecordHelpers::isFlatPersonInAB(downloaded, matchType, &book), expected);
}

void TestRecordHelpers::matchingSeesRecordsAddedBetweenCalls()
{
    QTemporaryDir dir;
    ABAddressBook book(dir.path());
    const FlatPerson downloaded{{kABFirstNameProperty, u"New"_qs}, {kABLastNameProperty, u"Comer"_qs}};
    QVERIFY(!ABRecordHelpers::isFlatPersonInAB(downloaded, vCardFirstLast, &book));
    addPerson(book, {u"New"_qs, u"Comer"_qs, QString()});
    QVERIFY(ABRecordHelpers::isFlatPersonInAB(downloaded, vCardFirstLast, &book));
    book.people().first()->setValue(u"Other"_qs, kABLastNameProperty);
    QVERIFY(!ABRecordHelpers::isFlatPersonInAB(downloaded, vCardFirstLast, &book));
    // A second store is not answered from the first one's index.
    QTemporaryDir otherDir;
    ABAddressBook other(otherDir.path());
    addPerson(book, {u"New"_qs, u"Comer"_qs, QString()});
    QVERIFY(ABRecordHelpers::isFlatPersonInAB(downloaded, vCardFirstLast, &book));
    QVERIFY(!ABRecordHelpers::isFlatPersonInAB(downloaded, vCardFirstLast, &other));
    QVERIFY(!ABRecordHelpers::isFlatPersonInAB(downloaded, vCardFirstLast, nullptr));
}

// Every property the store knows has a display text of its own; a label the user typed shows as
// it is.
void TestRecordHelpers::localizedNames()
{
    for (const QString &property : ABAddressBook::properties())
        QVERIFY2(ABLocalizedPropertyOrLabel(property, u"de"_qs) != property || property == kABURLsProperty,
                 qPrintable(property));
    QCOMPARE(ABLocalizedPropertyOrLabel(kABPhoneHomeFAXLabel, u"de"_qs), u"Fax privat"_qs);
    QCOMPARE(ABLocalizedPropertyOrLabel(u"Werkstatt"_qs, u"de"_qs), u"Werkstatt"_qs);
}

QTEST_GUILESS_MAIN(TestRecordHelpers)
#include "tst_recordhelpers.moc"
