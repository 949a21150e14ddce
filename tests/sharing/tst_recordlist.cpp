#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "absharingpropcontroller.h"
#include "recordlistbuilder.h"
#include "storetools.h"

#include <QtTest>

using StoreTools::addPerson;

class TestRecordList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sharedPersonsTravelOnceWithoutIdentifiers();
    void valuesKeepTheirKinds();
    void emptyPersonsAndEmptyMultiValuesAreLeftOut();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ABAddressBook> m_book;
};

void TestRecordList::init()
{
    QSettings(u"quenfold"_qs, u"zorbix"_qs).clear();
    m_dir = std::make_unique<QTemporaryDir>();
    m_book = std::make_unique<ABAddressBook>(m_dir->path());
}

// Which groups are shared, and how a change reaches the next download, is tested through the
// share itself; here: a person in two shared groups travels once, a person in none never, and
// neither groups nor the store's own identifier travel.
void TestRecordList::sharedPersonsTravelOnceWithoutIdentifiers()
{
    ABGroup *a = m_book->addRecord(ABAddressBook::newGroup());
    a->setValue(u"A"_qs, kABGroupNameProperty);
    ABGroup *b = m_book->addRecord(ABAddressBook::newGroup());
    b->setValue(u"B"_qs, kABGroupNameProperty);
    ABPerson *both = addPerson(*m_book, u"both"_qs);
    addPerson(*m_book, u"nogroup"_qs);
    a->addMember(both);
    b->addMember(both);
    b->addMember(addPerson(*m_book, u"onlyB"_qs));
    ABSharingPropController controller(m_book.get());
    QVERIFY(RecordListBuilder::build(m_book.get(), controller).isEmpty()); // nothing shared yet
    controller.doShareAll();
    QStringList names;
    for (const QVariant &person : RecordListBuilder::build(m_book.get(), controller)) {
        names.append(person.toMap().value(kABFirstNameProperty).toString());
        QVERIFY(!person.toMap().contains(kABGroupNameProperty) && !person.toMap().contains(kABUIDProperty));
    }
    QCOMPARE(names, (QStringList{u"both"_qs, u"onlyB"_qs}));
    QCOMPARE(RecordListBuilder::build(nullptr, controller), RecordList());
}

void TestRecordList::valuesKeepTheirKinds()
{
    ABPerson *person = addPerson(*m_book, u""_qs);
    person->setValue(u"  Spaced  "_qs, kABLastNameProperty);
    person->setValue(QDate(1990, 2, 3), kABBirthdayProperty);
    // Set in the form they travel in: a list of one-entry label maps.
    const QVariantList emails{QVariantMap{{u"work"_qs, u"one@x"_qs}}, QVariantMap{{u"home"_qs, u"two@x"_qs}},
                              QVariantMap{{u"work"_qs, u"three@x"_qs}}};
    person->setValue(emails, kABEmailProperty);
    const QVariantList addresses{QVariantMap{
        {u"Ferienhaus"_qs, QVariantMap{{kABAddressStreetKey, u"Main 1"_qs}, {kABAddressCityKey, u"Bonn"_qs}}}}};
    person->setValue(addresses, kABAddressProperty);

    const RecordList list = RecordListBuilder::build(m_book.get(), [](const ABPerson *) { return true; });
    QCOMPARE(list.size(), 1);
    const FlatPerson flat = list.first().toMap();
    QCOMPARE(flat.value(kABFirstNameProperty), QVariant(u""_qs));
    QCOMPARE(flat.value(kABLastNameProperty), QVariant(u"  Spaced  "_qs));
    QCOMPARE(flat.value(kABBirthdayProperty).toDateTime().date(), QDate(1990, 2, 3));
    QCOMPARE(flat.value(kABCreationDateProperty).metaType(), QMetaType::fromType<QDateTime>());
    QCOMPARE(flat.value(kABEmailProperty), QVariant(emails));
    QCOMPARE(flat.value(kABAddressProperty), QVariant(addresses));
    QVERIFY(!flat.contains(kABPhoneProperty) && !flat.contains(kABNoteProperty));
}

void TestRecordList::emptyPersonsAndEmptyMultiValuesAreLeftOut()
{
    ABPerson *onlyEmpty = m_book->addRecord(ABAddressBook::newPerson());
    onlyEmpty->setValue(QVariant::fromValue(ABMultiValue()), kABEmailProperty);
    ABPerson *unlabelled = m_book->addRecord(ABAddressBook::newPerson());
    ABMultiValue odd;
    odd.addValue(u"no-label@x"_qs, QString());
    unlabelled->setValue(QVariant::fromValue(odd), kABEmailProperty);
    addPerson(*m_book, u"named"_qs);
    const RecordList list = RecordListBuilder::build(m_book.get(), {kABEmailProperty, kABFirstNameProperty},
                                                     [](const ABPerson *) { return true; });
    // The persons without values are gone; the extra six are added to the given names.
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().toMap(), (FlatPerson{{kABFirstNameProperty, u"named"_qs}}));
    addPerson(*m_book, u"nick"_qs)->setValue(u"Nicky"_qs, kABNicknameProperty);
    QCOMPARE(RecordListBuilder::build(m_book.get(), {kABFirstNameProperty}, [](const ABPerson *) { return true; })
                 .last().toMap().value(kABNicknameProperty),
             QVariant(u"Nicky"_qs));
}

QTEST_GUILESS_MAIN(TestRecordList)
#include "tst_recordlist.moc"
