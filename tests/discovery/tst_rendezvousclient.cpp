#include "inprocessdnssd.h"
#include "qfrendezvousclient.h"
#include "recordingdelegate.h"

#include <QtTest>

namespace {
const QString kType = QStringLiteral("_zorbix._tcp");
const QString kDomain = QStringLiteral("local");

DnsSdService share(const QString &name)
{
    return {name, kType, kDomain};
}

} // namespace

class TestRendezvousClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listAndFilter();
    void batchNotifiesOnceAtItsEnd();
    void delegateMayLeaveWhileTold();
    void destroyedDelegateIsNeverCalled();
    void addressesOnlyOnceResolved();
    void daemonGoneEmptiesTheList();

private:
    InProcessDnsSd *m_dnssd = nullptr;
    QFRendezvousClient *m_client = nullptr;
};

void TestRendezvousClient::init()
{
    m_dnssd = new InProcessDnsSd;
    m_client = new QFRendezvousClient(*m_dnssd);
}

void TestRendezvousClient::cleanup()
{
    delete m_client;
    delete m_dnssd;
}

// Our type only, in the order found; the same service reported twice stands twice and a removal
// takes the first; the filter is a case-sensitive substring.
void TestRendezvousClient::listAndFilter()
{
    m_dnssd->announce({u"printer"_qs, u"_ipp._tcp"_qs, kDomain}, true);
    m_dnssd->announce({u"Zoë's Bücher"_qs, u"_zorbix._tcp."_qs, u"local."_qs}, true);
    for (const QString &name : {u"A"_qs, u"shared B"_qs, u"A"_qs})
        m_dnssd->announce(share(name), true);
    m_dnssd->announce(share(u"Share C"_qs), false);
    const QStringList all{u"Zoë's Bücher"_qs, u"A"_qs, u"shared B"_qs, u"A"_qs, u"Share C"_qs};
    QCOMPARE(m_client->getServiceNames(), all);
    QCOMPARE(m_client->getServiceNameContainingSubString(u"hare"_qs), (QStringList{u"shared B"_qs, u"Share C"_qs}));
    QCOMPARE(m_client->getServiceNameContainingSubString(u"Share"_qs), QStringList{u"Share C"_qs});
    m_dnssd->withdraw(share(u"A"_qs), false);
    QCOMPARE(m_client->getServiceNames(), (QStringList{u"Zoë's Bücher"_qs, u"shared B"_qs, u"A"_qs, u"Share C"_qs}));
}

void TestRendezvousClient::batchNotifiesOnceAtItsEnd()
{
    RecordingDelegate delegate;
    m_client->addDelegate(&delegate);
    m_dnssd->announce(share(u"one"_qs), true);
    m_dnssd->announce(share(u"two"_qs), true);
    QCOMPARE(delegate.calls.size(), 0);
    m_dnssd->announce(share(u"three"_qs), false);
    QCOMPARE(delegate.calls.size(), 1);
    QCOMPARE(delegate.calls[0], (QStringList{u"one"_qs, u"two"_qs, u"three"_qs}));

    // A removal of a service never seen still ends its batch with a notice.
    m_dnssd->withdraw(share(u"one"_qs), true);
    m_dnssd->withdraw(share(u"never seen"_qs), true);
    m_dnssd->withdraw(share(u"three"_qs), false);
    QCOMPARE(delegate.calls.size(), 2);
    QCOMPARE(delegate.calls[1], QStringList{u"two"_qs});
    m_dnssd->withdraw(share(u"never seen either"_qs), false);
    QCOMPARE(delegate.calls.size(), 3);
    m_client->removeDelegate(&delegate);
}

void TestRendezvousClient::delegateMayLeaveWhileTold()
{
    // A delegate may remove itself while it is told; the ones after it are still told.
    RecordingDelegate first, second;
    second.onCall = [this, &second] { m_client->removeDelegate(&second); };
    m_client->addDelegate(&second);
    m_client->addDelegate(&first);
    m_dnssd->announce(share(u"y"_qs), false);
    m_dnssd->announce(share(u"z"_qs), false);
    QCOMPARE(second.calls.size(), 1);
    QCOMPARE(first.calls.size(), 2);
    m_client->removeDelegate(&first);
}

void TestRendezvousClient::destroyedDelegateIsNeverCalled()
{
    // A window that closes without leaving, and one destroyed by another delegate's call while a
    // notification is under way: under ASan either call would be a use after free.
    QFRendezvousClient other(*m_dnssd);
    auto *closed = new RecordingDelegate;
    m_client->addDelegate(closed);
    other.addDelegate(closed);
    delete closed;
    RecordingDelegate first;
    auto *second = new RecordingDelegate;
    first.onCall = [&second] {
        delete second;
        second = nullptr;
    };
    m_client->addDelegate(&first);
    m_client->addDelegate(second);
    m_dnssd->announce(share(u"x"_qs), false);
    QCOMPARE(first.calls.size(), 1);
    QCOMPARE(second, nullptr);
}

void TestRendezvousClient::addressesOnlyOnceResolved()
{
    const DnsSdService office = share(u"Office"_qs);
    m_dnssd->announce(office, false);
    // Resolution is asked for right after the service is found.
    QCOMPARE(m_dnssd->resolveRequests(office), 1);
    const std::optional<QList<SocketAddress>> unresolved = m_client->getAddressesForService(u"Office"_qs);
    QVERIFY(unresolved.has_value());
    QVERIFY(unresolved->isEmpty());
    QVERIFY(!m_client->getFirstAddressForService(u"Office"_qs));

    const SocketAddress first(QHostAddress(u"10.0.0.7"_qs), 9880);
    const SocketAddress second(QHostAddress(u"192.168.1.7"_qs), 9880);
    m_dnssd->setAddresses(office, {first, second});
    QTRY_VERIFY(m_client->getFirstAddressForService(u"Office"_qs).has_value());
    QCOMPARE(*m_client->getFirstAddressForService(u"Office"_qs), first);
    QCOMPARE(m_client->getAddressesForService(u"Office"_qs)->size(), 2);
    // Exact names only.
    QVERIFY(!m_client->getFirstAddressForService(u"office"_qs));
    QVERIFY(!m_client->getFirstAddressForService(u"Office "_qs));

    // Announced and withdrawn before its addresses come: gone for good.
    const DnsSdService brief = share(u"Brief"_qs);
    m_dnssd->announce(brief, false);
    m_dnssd->withdraw(brief, false);
    m_dnssd->setAddresses(brief, {SocketAddress(QHostAddress(u"10.0.0.8"_qs), 1)});
    QTest::qWait(20);
    QCOMPARE(m_client->getServiceNames(), QStringList{u"Office"_qs});
    QVERIFY(!m_client->getAddressesForService(u"Brief"_qs));
}

void TestRendezvousClient::daemonGoneEmptiesTheList()
{
    RecordingDelegate delegate;
    m_client->addDelegate(&delegate);
    QSignalSpy browsing(m_client, &QFRendezvousClient::browsingChanged);
    m_dnssd->announce(share(u"a"_qs), true);
    m_dnssd->announce(share(u"b"_qs), false);
    m_dnssd->setDaemonRunning(false);
    QVERIFY(!m_client->isBrowsing());
    QVERIFY(m_client->getServices().isEmpty());
    // The two removals came as one batch.
    QCOMPARE(delegate.calls.size(), 2);
    QVERIFY(delegate.calls.last().isEmpty());
    QCOMPARE(browsing.size(), 1);
    QCOMPARE(browsing[0][0].toBool(), false);

    m_dnssd->setDaemonRunning(true);
    QVERIFY(m_client->isBrowsing());
    m_dnssd->announce(share(u"a"_qs), false);
    QCOMPARE(m_client->getServiceNames(), QStringList{u"a"_qs});
    m_client->removeDelegate(&delegate);
}

QTEST_GUILESS_MAIN(TestRendezvousClient)
#include "tst_rendezvousclient.moc"
