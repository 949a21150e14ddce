// The browse window against the real avahi-daemon in the private namespace: a share that
// zorbix-cli serve announces is listed under its name, and a click on it downloads it.
#include "avahitools.h"
#include "clitools.h"
#include "qfrendezvousclient.h"
#include "recordingplatform.h"
#include "staticservercontroller.h"
#include "testmessages.h"
#include "vcardbrowsercontroller.h"

#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QtTest>

using namespace AvahiTools;

class TestBrowserAvahi : public QObject
{
    Q_OBJECT

private slots:
    void servedShareIsListedAndDownloaded();
};

void TestBrowserAvahi::servedShareIsListedAndDownloaded()
{
    RecordingPlatform platform;
    QTemporaryDir book;
    for (int i = 0; i < 3; ++i)
        QVERIFY(CliTools::writeCard(book.filePath(u"p%1.vcf"_qs.arg(i)), "N:Lee;Ann" + QByteArray::number(i) +
                                                                             ";;;\r\nCATEGORIES:Friends\r\n"));
    const QString name = unique(u"Zoë's browsed share"_qs);
    QProcess serve;
    QByteArray output;
    CliTools::startServe(serve, {u"--addressbook"_qs, book.path(), u"--port"_qs, u"0"_qs, u"--name"_qs, name, u"--group"_qs,
                                 u"Friends"_qs, u"--card"_qs, u"1=Zoë"_qs, u"--card"_qs, u"7=zoe@example.org"_qs,
                                 u"--card"_qs, u"11=Hi"_qs},
                         "announced", &output);
    QVERIFY2(output.contains("announced"), output.constData());

    StaticServerController statics;
    vCardBrowserController browser(nullptr, &statics);
    browser.window()->show();
    QTRY_VERIFY_WITH_TIMEOUT(browser.filteredServices().value_or(QStringList()).contains(name), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(QFRendezvousClient::sharedInstance()->getFirstAddressForService(name), kWait);
    auto *table = browser.window()->findChild<QTableView *>(u"zorbixServerList"_qs);
    const int row = int(browser.filteredServices()->indexOf(name));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, 0)).center());
    const QString loaded = name + msg("AB_Records").arg(3);
    QTRY_COMPARE_WITH_TIMEOUT(browser.window()->findChild<QLabel *>(u"loadedShareName1OL"_qs)->text(), loaded, kWait);
    QCOMPARE(browser.window()->findChild<QLabel *>(u"loadedShareName2OL"_qs)->text(), loaded);
    QCOMPARE(browser.getRemoteAB()->at(0).toMap().value(u"First"_qs), QVariant(u"Ann0"_qs));
    for (const auto &[field, text] : {std::pair{"firstNameFieldOL", u"Zoë"_qs}, std::pair{"lastNameFieldOL", QString()},
                                      std::pair{"bussEmailFieldOL", u"zoe@example.org"_qs}, std::pair{"privCommentsFieldOL", u"Hi"_qs}})
        QCOMPARE(browser.window()->findChild<QLineEdit *>(QLatin1String(field))->text(), text);
    QVERIFY(platform.alerts.isEmpty());

    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
}

QTEST_MAIN(TestBrowserAvahi)
#include "tst_browseravahi.moc"
