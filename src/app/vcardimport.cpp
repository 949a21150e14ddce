#include "vcardimport.h"

#include "abaddressbook.h"
#include "abimporter.h"
#include "vcardcommon.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStandardPaths>

namespace {
QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("vCardImport", text, nullptr, n);
}
} // namespace

bool importVCardFiles(QWidget *parent, const QStringList &paths)
{
    if (paths.isEmpty())
        return true;
    ABAddressBook *book = ABAddressBook::sharedAddressBook();
    if (!book) {
        vCardCommon::alert(tr("The address book could not be opened"),
                           tr("Check that the folder %1 exists and is writable.")
                               .arg(ABAddressBook::defaultDirectory()));
        return false;
    }

    QProgressDialog progress(tr("Importing contacts…"), QString(), 0, 0, parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setValue(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ABImportResult result = ABImporter(book).importFiles(paths);
    QApplication::restoreOverrideCursor();
    progress.reset();

    if (!result.saved)
        return false; // the store has told the user already
    const QString title = tr("%n contact(s) imported", result.personsAdded) + QStringLiteral(", ") +
                          tr("%n group(s)", result.groupsAdded);
    QStringList problems;
    for (const ABImportFailure &failure : result.failures) {
        const QString where = failure.card > 0 ? tr("%1, card %2").arg(QFileInfo(failure.file).fileName()).arg(failure.card)
                                               : QFileInfo(failure.file).fileName();
        problems.append(where + QStringLiteral(": ") + failure.reason);
    }
    QString hint;
    if (!problems.isEmpty()) {
        constexpr int shown = 10;
        hint = tr("%n card(s) could not be read:", int(problems.size())) + u'\n' +
               problems.mid(0, shown).join(u'\n');
        if (problems.size() > shown)
            hint += u'\n' + tr("… and %n more.", int(problems.size() - shown));
    } else {
        hint = tr("Every card of the chosen files was read.");
    }
    vCardCommon::alert(title, hint);
    return true;
}

void chooseAndImportVCardFiles(QWidget *parent)
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        parent, tr("Import Contacts"), QStandardPaths::writableLocation(QStandardPaths::HomeLocation),
        tr("vCard files (*.vcf *.vcard *.VCF);;All files (*)"));
    importVCardFiles(parent, paths);
}
