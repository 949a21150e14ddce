#include "vcardimport.h"

#include "abaddressbook.h"
#include "abimporter.h"
#include "vcardcommon.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStandardPaths>

namespace {

QString msg(const char *key)
{
    return vCardCommon::getLocMsg(QString::fromLatin1(key));
}

QString reasonText(const ABImportFailure &failure)
{
    switch (failure.kind) {
    case ABImportFailure::NoEnd:
        return msg("IM_ReasonNoEnd");
    case ABImportFailure::NoCard:
        return msg("IM_ReasonNoCard");
    case ABImportFailure::EmptyCard:
        return msg("IM_ReasonEmptyCard");
    case ABImportFailure::UidTaken:
        return msg("IM_ReasonUidTaken").arg(failure.detail);
    case ABImportFailure::CannotRead:
        break;
    }
    return msg("IM_ReasonCannotRead").arg(failure.detail);
}

} // namespace

bool importVCardFiles(QWidget *parent, const QStringList &paths)
{
    if (paths.isEmpty())
        return true;
    ABAddressBook *book = ABAddressBook::sharedAddressBook();
    if (!book) {
        vCardCommon::alert(msg("IM_NoAddressBookProblem"),
                           msg("IM_NoAddressBookHint").arg(ABAddressBook::defaultDirectory()));
        return false;
    }

    QProgressDialog progress(msg("IM_Importing"), QString(), 0, 0, parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setValue(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ABImportResult result = ABImporter(book).importFiles(paths);
    QApplication::restoreOverrideCursor();
    progress.reset();

    if (!result.saved)
        return false; // the store has told the user already
    const QString title = msg("IM_ImportedFormat").arg(result.personsAdded).arg(result.groupsAdded);
    QStringList problems;
    for (const ABImportFailure &failure : result.failures) {
        const QString file = QFileInfo(failure.file).fileName();
        const QString where = failure.card > 0 ? msg("IM_CardPosition").arg(file).arg(failure.card) : file;
        problems.append(where + QStringLiteral(": ") + reasonText(failure));
    }
    QString hint = msg("IM_AllRead");
    if (!problems.isEmpty()) {
        constexpr int shown = 10;
        hint = msg("IM_CardsNotRead").arg(problems.size()) + u'\n' + problems.mid(0, shown).join(u'\n');
        if (problems.size() > shown)
            hint += u'\n' + msg("IM_MoreFailures").arg(problems.size() - shown);
    }
    vCardCommon::alert(title, hint);
    return true;
}

void chooseAndImportVCardFiles(QWidget *parent)
{
    const QStringList paths =
        QFileDialog::getOpenFileNames(parent, msg("IM_DialogTitle"),
                                      QStandardPaths::writableLocation(QStandardPaths::HomeLocation),
                                      msg("IM_FileFilter"));
    importVCardFiles(parent, paths);
}
