#include "recordingplatform.h"
#include "translations.h"
#include "vcardsharingcontroller.h"
#include "viewerwindow.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

// Every window the menus reach, started once with an English and once with a German system
// locale in a process of its own (the message table and the translators are chosen at start, as
// in the application). A text the German windows show that the English ones show too is English
// left untranslated, unless it reads the same in both languages.
namespace {
const QStringList kSameInBothLanguages = {
    u"zorbix"_qs, u"quenfold"_qs, u"Name"_qs, u"Status"_qs, u"Port"_qs, u"Problem"_qs, u"Server"_qs,
    u"AppleWorks"_qs, u"MS Office v.X"_qs, u"STARTTLS"_qs, u"TLS"_qs, u"smtp.example.org"_qs, u"OK"_qs,
    u"Unicode (UTF-8)"_qs, u"Unicode (UTF-16)"_qs, u"Details"_qs,
};

QString withoutMnemonic(QString text)
{
    text.replace(u"&&"_qs, u"\x01"_qs).remove(u'&').replace(u'\x01', u'&');
    return text.replace(u'\n', u"\\n"_qs);
}

void textsOf(QWidget *widget, QStringList &texts)
{
    const auto add = [&texts](const QString &text) {
        if (!text.isEmpty())
            texts.append(withoutMnemonic(text));
    };
    if (widget->isWindow())
        add(widget->windowTitle());
    add(widget->toolTip());
    add(widget->accessibleName());
    add(widget->accessibleDescription());
    if (auto *label = qobject_cast<QLabel *>(widget))
        add(label->text());
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        add(button->text());
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        add(box->title());
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        add(edit->placeholderText());
    if (auto *edit = qobject_cast<QTextEdit *>(widget))
        add(edit->placeholderText());
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        for (int i = 0; i < combo->count(); ++i)
            add(combo->itemText(i));
    }
    if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
        for (int i = 0; i < tabs->count(); ++i)
            add(tabs->tabText(i));
    }
    if (auto *menu = qobject_cast<QMenu *>(widget))
        add(menu->title());
    if (auto *view = qobject_cast<QAbstractItemView *>(widget); view && view->model()) {
        for (int column = 0; column < view->model()->columnCount(); ++column)
            add(view->model()->headerData(column, Qt::Horizontal).toString());
    }
    for (QAction *action : widget->actions()) {
        add(action->text());
        add(action->toolTip());
    }
}

// Opens every window the menus and the export window's Presets button reach, and prints the
// texts of each, one "window<TAB>text" line each.
int printWindowTexts()
{
    QTemporaryDir store;
    qputenv("ZORBIX_ADDRESSBOOK", store.path().toUtf8());
    qputenv("ZORBIX_MAKER_SITE", "https://www.quenfold.test/");
    QSettings().clear();
    RecordingPlatform platform;
    vCardSharingController controller;
    controller.window()->show();
    const QStringList modal = {u"importAction"_qs, u"quitAction"_qs, u"exportVCardsAction"_qs};
    for (QMenu *menu : controller.window()->menuBar()->findChildren<QMenu *>()) {
        for (QAction *action : menu->actions()) {
            if (!action->isSeparator() && !modal.contains(action->objectName()))
                action->trigger();
        }
    }
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *presets = window->findChild<QPushButton *>(u"formatsButtonOL"_qs))
            presets->click();
    }
    QTextStream out(stdout);
    const auto print = [&out](const QString &window, QWidget *widget) {
        QStringList texts;
        textsOf(widget, texts);
        for (QWidget *child : widget->findChildren<QWidget *>())
            textsOf(child, texts);
        for (const QString &text : texts)
            out << window << u'\t' << text << u'\n';
    };
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !qobject_cast<QMenu *>(window))
            print(window->objectName(), window);
    }
    // The main window's pages, shown one at a time.
    for (int viewId = 1; viewId <= vCardSharingController::PageCount + 1; ++viewId) {
        if (QWidget *page = controller.view(viewId))
            print(controller.window()->objectName(), page);
    }
    return 0;
}
} // namespace

class TestGermanWalk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noEnglishLeft_data();
    void noEnglishLeft();

private:
    static QMultiHash<QString, QString> windowTexts(const QByteArray &lang);
    QMultiHash<QString, QString> m_english;
    QMultiHash<QString, QString> m_german;
};

QMultiHash<QString, QString> TestGermanWalk::windowTexts(const QByteArray &lang)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"LC_ALL"_qs, u"LC_MESSAGES"_qs, u"LANGUAGE"_qs})
        environment.remove(name);
    environment.insert(u"LANG"_qs, QString::fromLatin1(lang));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {u"--print-window-texts"_qs});
    QMultiHash<QString, QString> texts;
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return texts;
    for (const QString &line : QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        texts.insert(line.section(u'\t', 0, 0), line.section(u'\t', 1));
    return texts;
}

void TestGermanWalk::initTestCase()
{
    m_english = windowTexts("C.UTF-8");
    m_german = windowTexts("de_DE.UTF-8");
}

void TestGermanWalk::noEnglishLeft_data()
{
    QTest::addColumn<QString>("window");
    // The main window with its pages and menus, the browse window and what hangs off it, the
    // preferences and the Help menu's windows.
    for (const char *window : {"myWindow", "BrowseWindow", "ABBrowserWindow", "QuickSyncWindow", "exportWindowOL",
                               "exportFormatWindowOL", "preferencesWindow", "ToolbarCustomizeDialog", "UpdateWindow",
                               "ReportWindow", "ReviewWindow", "ContactWindow", "MailAccountDialog"})
        QTest::newRow(window) << QString::fromLatin1(window);
}

void TestGermanWalk::noEnglishLeft()
{
    QFETCH(QString, window);
    const QStringList english = m_english.values(window);
    const QStringList german = m_german.values(window);
    QVERIFY2(!english.isEmpty() && !german.isEmpty(), "the window was not opened");
    QStringList left;
    for (const QString &text : german) {
        QString word = text;
        if (word.endsWith(u':'))
            word.chop(1);
        if (english.contains(text) && text.contains(QRegularExpression(u"\\p{L}"_qs)) &&
            !kSameInBothLanguages.contains(word) && !left.contains(text))
            left.append(text);
    }
    QVERIFY2(left.isEmpty(), qPrintable(u"English left: "_qs + left.join(u" | "_qs)));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (app.arguments().contains(u"--print-window-texts"_qs)) {
        installTranslators(&app);
        return printWindowTexts();
    }
    TestGermanWalk test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_germanwalk.moc"
