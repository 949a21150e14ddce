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
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(vCardImport)
};
} // namespace

bool importVCardFiles(QWidget *parent, const QStringList &paths)
{
    if (paths.isEmpty())
        return true;
    ABAddressBook *book = ABAddressBook::sharedAddressBook();
    if (!book) {
        vCardCommon::alert(Texts::tr("The address book could not be opened"),
                           Texts::tr("Check that the folder %1 exists and is writable.")
                               .arg(ABAddressBook::defaultDirectory()));
        return false;
    }

    QProgressDialog progress(Texts::tr("Importing contacts…"), QString(), 0, 0, parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setValue(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ABImportResult result = ABImporter(book).importFiles(paths);
    QApplication::restoreOverrideCursor();
    progress.reset();

    if (!result.saved)
        return false; // the store has told the user already
    const QString title = Texts::tr("%n contact(s) imported", nullptr, result.personsAdded) + QStringLiteral(", ") +
                          Texts::tr("%n group(s)", nullptr, result.groupsAdded);
    QStringList problems;
    for (const ABImportFailure &failure : result.failures) {
        const QString where = failure.card > 0 ? Texts::tr("%1, card %2").arg(QFileInfo(failure.file).fileName()).arg(failure.card)
                                               : QFileInfo(failure.file).fileName();
        problems.append(where + QStringLiteral(": ") + failure.reason);
    }
    QString hint;
    if (!problems.isEmpty()) {
        constexpr int shown = 10;
        hint = Texts::tr("%n card(s) could not be read:", nullptr, int(problems.size())) + u'\n' +
               problems.mid(0, shown).join(u'\n');
        if (problems.size() > shown)
            hint += u'\n' + Texts::tr("… and %n more.", nullptr, int(problems.size() - shown));
    } else {
        hint = Texts::tr("Every card of the chosen files was read.");
    }
    vCardCommon::alert(title, hint);
    return true;
}

void chooseAndImportVCardFiles(QWidget *parent)
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        parent, Texts::tr("Import Contacts"), QStandardPaths::writableLocation(QStandardPaths::HomeLocation),
        Texts::tr("vCard files (*.vcf *.vcard *.VCF);;All files (*)"));
    importVCardFiles(parent, paths);
}
