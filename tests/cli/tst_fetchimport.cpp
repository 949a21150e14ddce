#include "clitools.h"

#include <QTemporaryDir>

using namespace CliTools;

// zorbix-cli fetch --import/--update against zorbix-cli serve on 127.0.0.1, the result read back
// by khard (Debian package "khard").
class TestFetchImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void importThenUpdate();

private:
    QString khard(const QStringList &args)
    {
        QByteArray out;
        run(QStringList{u"-c"_qs, m_dir.filePath(u"khard.conf"_qs)} + args, &out, nullptr, m_khard);
        return QString::fromUtf8(out);
    }

    QTemporaryDir m_dir;
    QProcess m_serve; // killed with the test
    QString m_target;
    QString m_khard;
};

void TestFetchImport::initTestCase()
{
    m_khard = QStandardPaths::findExecutable(u"khard"_qs);
    if (m_khard.isEmpty())
        QSKIP("khard is not installed (scripts/deps.sh test installs it)");
    QVERIFY(m_dir.isValid());
    const QString share = m_dir.filePath(u"share"_qs);
    const QString mine = m_dir.filePath(u"mine"_qs);
    QVERIFY(QDir().mkpath(share) && QDir().mkpath(mine));
    QVERIFY(writeCard(share + u"/p1.vcf"_qs, "UID:p1\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nTEL;TYPE=cell:+43 1 234\r\n"
                                             "EMAIL;TYPE=work:ann@work.example\r\nNOTE:met at the fair\r\n"));
    QVERIFY(writeCard(share + u"/p2.vcf"_qs, "UID:p2\r\nN:Roe;Bob;;;\r\nFN:Bob Roe\r\nORG:Acme\r\n"));
    // Three persons with a mail address only and two with a company only.
    QByteArray members = "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p1\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:p2\r\n";
    for (const char *mail : {"a", "b", "c"}) {
        QVERIFY(writeCard(share + u"/m"_qs + QLatin1String(mail) + u".vcf"_qs,
                          QByteArray("UID:m") + mail + "\r\nFN:" + mail + "@x.example\r\nN:;;;;\r\nEMAIL:" + mail + "@x.example\r\n"));
        members += QByteArray("X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:m") + mail + "\r\n";
    }
    for (const char *company : {"Acme", "Bolt"}) {
        QVERIFY(writeCard(share + u"/c"_qs + QLatin1String(company) + u".vcf"_qs,
                          QByteArray("UID:c") + company + "\r\nFN:" + company + "\r\nN:;;;;\r\nORG:" + company + "\r\n"));
        members += QByteArray("X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:c") + company + "\r\n";
    }
    QVERIFY(writeCard(share + u"/g1.vcf"_qs, "UID:g1\r\nFN:Friends\r\nN:Friends;;;;\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n" + members));
    QVERIFY(writeCard(mine + u"/ann.vcf"_qs, "UID:ann\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEMAIL;TYPE=home:ann@home.example\r\n"
                                             "TEL;TYPE=work:+43 1 999\r\nNOTE:my note\r\n"));
    QFile config(m_dir.filePath(u"khard.conf"_qs));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[addressbooks]\n[[mine]]\npath = %1\n[general]\neditor = /bin/true\n"
                                "merge_editor = /bin/true\n[contact table]\ndisplay = formatted_name\n")
                     .arg(mine)
                     .toUtf8());
    config.close();

    const QString port = startServe(m_serve, {u"--addressbook"_qs, share, u"--group"_qs, u"Friends"_qs, u"--port"_qs,
                                              u"0"_qs, u"--no-announce"_qs});
    QVERIFY(!port.isEmpty());
    m_target = u"127.0.0.1:"_qs + port;
}

void TestFetchImport::importThenUpdate()
{
    const QString mine = m_dir.filePath(u"mine"_qs);
    QByteArray out;
    // Ann is present: she gains the mobile number, the work mail and the note; Bob and the five
    // persons without a first and last name are added (each apart) into a new group.
    QCOMPARE(run({u"fetch"_qs, m_target, u"--update"_qs, u"--addressbook"_qs, mine, u"--new-group"_qs, u"From Office"_qs,
                  u"--skip-present"_qs, u"first-last"_qs},
                 &out),
             0);
    QVERIFY2(out.contains("1 person updated, 0 unchanged, 6 added\n"), out.constData());
    // Copy-all, leaving out who is present (by mail address or company when there is no name):
    // nothing new.
    QCOMPARE(run({u"fetch"_qs, m_target, u"--import"_qs, u"--addressbook"_qs, mine, u"--skip-present"_qs,
                  u"first-last-company"_qs},
                 &out),
             0);
    QVERIFY2(out.contains("0 persons saved, 7 skipped\n"), out.constData());
    // (A second run writing nothing: tst_quicksync's secondRunChangesNothing.)

    QStringList names;
    for (const QString &line : khard({u"list"_qs, u"--parsable"_qs}).split(u'\n', Qt::SkipEmptyParts))
        names.append(line.section(u'\t', 1, 1));
    names.sort();
    QCOMPARE(names, (QStringList{u"Acme"_qs, u"Ann Lee"_qs, u"Bob Roe"_qs, u"Bolt"_qs, u"From Office"_qs,
                                 u"a@x.example"_qs, u"b@x.example"_qs, u"c@x.example"_qs}));
    const QString phones = khard({u"phone"_qs, u"--parsable"_qs, u"Ann"_qs});
    QVERIFY2(phones.contains(u"+43 1 999"_qs) && phones.contains(u"+43 1 234"_qs), qPrintable(phones));
    const QString ann = khard({u"show"_qs, u"--format"_qs, u"yaml"_qs, u"uid:ann"_qs});
    for (const QString &value :
         {u"my note"_qs, u"met at the fair"_qs, u"ann@home.example"_qs, u"ann@work.example"_qs})
        QVERIFY2(ann.contains(value), qPrintable(ann));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestFetchImport test;
    const int result = QTest::qExec(&test, argc, argv);
    // Reported to CTest as skipped, not as passed, when khard is missing.
    if (result == 0 && QStandardPaths::findExecutable(u"khard"_qs).isEmpty())
        return 77;
    return result;
}

#include "tst_fetchimport.moc"
