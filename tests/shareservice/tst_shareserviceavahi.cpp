// zorbix-cli serve against the real avahi-daemon in the private namespace, seen by avahi-browse
// and contested by avahi-publish.
#include "avahitools.h"
#include "clitools.h"

#include <QTemporaryDir>

using namespace AvahiTools;

class TestShareServiceAvahi : public QObject
{
    Q_OBJECT

private slots:
    void cliServeAnnouncesItsShare();
};

void TestShareServiceAvahi::cliServeAnnouncesItsShare()
{
    QTemporaryDir book;
    const QString name = unique(u"Served by the CLI é"_qs);
    const QStringList args{u"--addressbook"_qs, book.path(), u"--port"_qs, u"0"_qs, u"--name"_qs, name};
    QProcess serve;
    QByteArray output;
    const QString port = CliTools::startServe(serve, args, "announced", &output);
    QVERIFY2(output.contains("announced"), output.constData());
    QTRY_VERIFY2_WITH_TIMEOUT(listedBy(avahiBrowse(), name, port.toInt()), qPrintable(lastBrowseOutput()), kWait);

    // Interrupted, it takes the announcement along.
    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
    QCOMPARE(serve.exitCode(), 0);
    QTRY_VERIFY2_WITH_TIMEOUT(goneFromBrowse(name), qPrintable(lastBrowseOutput()), kWait);

    // A name taken by another host ends the command with a reason.
    Announcer other(name, 21600);
    QVERIFY(other.waitEstablished());
    QByteArray err;
    QCOMPARE(CliTools::run(QStringList{u"serve"_qs} + args, nullptr, &err), 1);
    QVERIFY2(err.contains("already taken"), err.constData());
}

QTEST_GUILESS_MAIN(TestShareServiceAvahi)
#include "tst_shareserviceavahi.moc"
