#include "exportcontroller.h"

#include "csvwriter.h"
#include "exportformatcontroller.h"
#include "platformhooks.h"
#include "settingssync.h"
#include "systemlog.h"
#include "ui_exportwindow.h"
#include "vcardcommon.h"
#include "vcardexport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>

const QString ExportController::exportPathName = QStringLiteral("exportCVSLocationX");
const QString ExportController::defaultExportFileName = QStringLiteral("export-csv.txt");

namespace {

QString msg(const char *key)
{
    return vCardCommon::getLocMsg(QString::fromLatin1(key));
}

// The first control of a group that is on, as its position; -1 when none is.
int firstOn(std::initializer_list<const QRadioButton *> group)
{
    int i = 0;
    for (const QRadioButton *button : group) {
        if (button->isChecked())
            return i;
        ++i;
    }
    return -1;
}

// Turns one control on and the others of its group off, also where none was on before.
void turnOn(QRadioButton *on, std::initializer_list<QRadioButton *> offs)
{
    for (QRadioButton *off : offs) {
        off->setAutoExclusive(false);
        off->setChecked(false);
        off->setAutoExclusive(true);
    }
    on->setChecked(true);
}

// The settings keys of the choices an export was made with (the location has its own).
const QString kEnclosureKey = QStringLiteral("exportCSVEnclosure");
const QString kSeparatorKey = QStringLiteral("exportCSVSeparator");
const QString kLineEndKey = QStringLiteral("exportCSVLineEnd");
const QString kHeaderKey = QStringLiteral("exportCSVHeader");
const QString kEncodingKey = QStringLiteral("exportCSVEncoding");
const QString kRawValuesKey = QStringLiteral("exportCSVRawValues");

// The documents folder, made if missing; the home folder where there is none.
QString exportFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir().mkpath(documents))
        return documents;
    return QDir::homePath();
}

// A file name made from a share's name, which a peer chose: no folder parts, no hidden or
// option-like name, no control or format characters (bidirectional overrides included).
QString fileNameForShare(const QString &share, const QString &suffix)
{
    QString name;
    for (char32_t c : share.toUcs4()) {
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            continue;
        default:
            break;
        }
        if (name.size() >= 100)
            break;
        name += c == u'/' || c == u'\\' ? QStringLiteral("-") : QString::fromUcs4(&c, 1);
    }
    qsizetype start = 0;
    while (start < name.size() && (name.at(start).isSpace() || name.at(start) == u'.' || name.at(start) == u'-'))
        ++start;
    name = name.mid(start).trimmed();
    return (name.isEmpty() ? QStringLiteral("contacts") : name) + suffix;
}

QString runSaveDialog(QWidget *parent, const QString &title, const QString &prompt, const QString &directory,
                      const QString &fileName, const QString &filter)
{
    QFileDialog dialog(parent, title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setLabelText(QFileDialog::Accept, prompt);
    dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

// Shows progress once a write takes noticeably long; the user may cancel it.
class ExportProgress
{
public:
    ExportProgress(QWidget *parent, qsizetype count)
        : m_dialog(msg("SE_Exporting").arg(count), msg("SE_Cancel"), 0, 1000, parent)
    {
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(400);
        m_dialog.setValue(0);
    }
    bool operator()(qsizetype done, qsizetype count)
    {
        const int value = count ? int(done * 1000 / count) : 1000;
        if (value != m_dialog.value())
            m_dialog.setValue(value);
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
};

} // namespace

struct ExportController::Private
{
    RemoteABSource *browser = nullptr; // vCardBrowserControllerOL
    QPointer<QWidget> window;
    Ui::ExportWindow ui;
    ExportFormatController *formats = nullptr;
    LocationChooser chooser;
    QString proposedFor; // the share the location field was last proposed for

    // The radio groups with the value each control stands for in the settings.
    using Group = std::vector<std::pair<QRadioButton *, QString>>;
    std::vector<std::pair<QString, Group>> groups() const
    {
        return {
            {kEnclosureKey, {{ui.enclDoubleButtonOL, u"double"_qs}, {ui.enclSingleButtonOL, u"single"_qs},
                             {ui.enclNoneButtonOL, u"none"_qs}, {ui.enclQuotedCSVButtonOL, u"quoted"_qs}}},
            {kSeparatorKey, {{ui.sepCommaButtonOL, u"comma-blanks"_qs}, {ui.sepTabButtonOL, u"tab"_qs},
                             {ui.sepPlainCommaButtonOL, u"comma"_qs}}},
            {kLineEndKey, {{ui.lineEndNewlineOL, u"lf"_qs}, {ui.lineEndReturnOL, u"cr"_qs}, {ui.lineEndCRLFOL, u"crlf"_qs}}},
            {kHeaderKey, {{ui.headFirstButtonOL, u"first"_qs}, {ui.headLastButtonOL, u"last"_qs},
                          {ui.headNoButtonOL, u"none"_qs}}},
        };
    }

    // The choices of the last export; false when there are none yet.
    bool restoreChoices()
    {
        const QSettings settings;
        if (!settings.contains(kEnclosureKey))
            return false;
        for (const auto &[key, group] : groups()) {
            const QString value = settings.value(key).toString();
            for (const auto &[button, name] : group) {
                if (name == value)
                    button->setChecked(true);
            }
        }
        const int encoding = ui.encodingListOL->findData(settings.value(kEncodingKey));
        if (encoding >= 0)
            ui.encodingListOL->setCurrentIndex(encoding);
        ui.rawValuesButtonOL->setChecked(settings.value(kRawValuesKey).toBool());
        return true;
    }

    void storeChoices(const QString &location)
    {
        QSettings settings;
        for (const auto &[key, group] : groups()) {
            for (const auto &[button, name] : group) {
                if (button->isChecked())
                    settings.setValue(key, name);
            }
        }
        settings.setValue(kEncodingKey, ui.encodingListOL->currentData());
        settings.setValue(kRawValuesKey, ui.rawValuesButtonOL->isChecked());
        settings.setValue(exportPathName, location);
        checkStored(settings);
    }

    void checkStored(QSettings &settings)
    {
        if (!syncSettings(settings)) {
            systemLog(QStringLiteral("ExportController: could not store the export settings in %1")
                          .arg(settings.fileName()));
            vCardCommon::alertKeys("SC_SaveFailedProblem", "SC_SaveFailedHint");
        }
    }

    void storeLocation(const QString &path)
    {
        QSettings settings;
        settings.setValue(exportPathName, path);
        checkStored(settings);
    }

    // The folder of the last export, or the documents folder.
    QString folder() const
    {
        const QString stored = QSettings().value(exportPathName).toString();
        return stored.isEmpty() ? exportFolder() : QFileInfo(stored).path();
    }

    void reportWriteFailure(const ExportFileResult &result, const QString &path)
    {
        if (result.outcome == ExportFileResult::CannotOpen)
            vCardCommon::alert(msg("SE_NoFile"), path);
        else if (result.outcome == ExportFileResult::WriteFailed)
            vCardCommon::alert(msg("SE_NoFile"), msg("SE_WriteFailedHint").arg(path, result.error));
        if (!result.ok())
            systemLog(QStringLiteral("ExportController: %1 not written: %2").arg(path, result.error));
    }
};

ExportController::ExportController(RemoteABSource *browser, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->browser = browser;
    d->window = new QWidget;
    d->ui.setupUi(d->window);
    d->chooser = [window = d->window](const QString &title, const QString &prompt, const QString &directory,
                                      const QString &fileName, const QString &filter) {
        return runSaveDialog(window, title, prompt, directory, fileName, filter);
    };
    QComboBox *encodings = d->ui.encodingListOL;
    const std::pair<const char *, int> entries[] = {
        {"SE_EncodingUtf8", CSVFormat::TagUtf8},       {"SE_EncodingUtf16", CSVFormat::TagUtf16},
        {"SE_EncodingAscii", CSVFormat::TagAscii},     {"SE_EncodingLatin1", CSVFormat::TagLatin1},
        {"SE_EncodingLatin2", CSVFormat::TagLatin2},   {"SE_EncodingMacRoman", CSVFormat::TagMacRoman},
        {"SE_EncodingEucJP", CSVFormat::TagEucJP},
    };
    for (const auto &[key, tag] : entries)
        encodings->addItem(msg(key), tag);
    encodings->setCurrentIndex(0);

    connect(d->ui.chooseLocationButtonOL, &QPushButton::clicked, this, &ExportController::doChooseLocation);
    connect(d->ui.exportOnlyButtonOL, &QPushButton::clicked, this, &ExportController::doExportOnly);
    connect(d->ui.exportAndOpenButtonOL, &QPushButton::clicked, this, &ExportController::doExportAndOpen);
    connect(d->ui.formatsButtonOL, &QPushButton::clicked, this, &ExportController::doShowFormats);

    // A new user starts with the layout spreadsheet programs read.
    if (!d->restoreChoices())
        setWindowForFormat(CSVFormat::PresetSpreadsheet);
    QString location = QSettings().value(exportPathName).toString();
    if (location.isEmpty())
        location = QDir(exportFolder()).filePath(defaultExportFileName);
    d->ui.exportLocationFieldOL->setText(location);
    doReloadData(browser);
}

ExportController::~ExportController()
{
    delete d->window.data();
}

void ExportController::setBrowser(RemoteABSource *browser)
{
    d->browser = browser;
}

QWidget *ExportController::window() const
{
    return d->window;
}

void ExportController::showWindow()
{
    d->window->show();
    d->window->raise();
    d->window->activateWindow();
}

ExportFormatController *ExportController::formatController()
{
    if (!d->formats) {
        d->formats = new ExportFormatController(this, d->window);
        d->formats->window()->setWindowModality(Qt::WindowModal);
    }
    return d->formats;
}

void ExportController::setLocationChooser(LocationChooser chooser)
{
    d->chooser = std::move(chooser);
}

void ExportController::doReloadData(RemoteABSource *sender)
{
    if (sender)
        d->browser = sender;
    const QString share = d->browser ? d->browser->getSelectedShareName() : QString();
    QString text;
    if (!share.isNull()) {
        const std::optional<ArchivedRecords> &records = d->browser->getRemoteAB();
        const qsizetype count = records ? records->size() : 0;
        text = count == 1 ? msg("SE_ShareOneRecord").arg(share)
                          : msg("SE_ShareRecords").arg(share, QString::number(count));
        // A file named after each new share, in the folder of the last export.
        if (share != d->proposedFor) {
            d->proposedFor = share;
            d->ui.exportLocationFieldOL->setText(QDir(d->folder()).filePath(fileNameForShare(share, u".csv"_qs)));
        }
    } else {
        text = msg("BR_NoRemoteSystem");
    }
    d->ui.remoteUserFieldOL->setText(text);
}

std::optional<CVSDict> ExportController::remoteAB2CVS()
{
    if (!d->browser || !d->browser->getRemoteAB()) {
        vCardCommon::alertKeys("SE_NoABAvailProblem", "SE_NoABAvailHInt");
        return std::nullopt;
    }
    return CVSDict(*d->browser->getRemoteAB());
}

CSVFormat ExportController::currentFormat() const
{
    const Ui::ExportWindow &ui = d->ui;
    CSVFormat format;
    switch (firstOn({ui.enclDoubleButtonOL, ui.enclSingleButtonOL, ui.enclNoneButtonOL, ui.enclQuotedCSVButtonOL})) {
    case 0:
        format.enclosure = CSVFormat::Enclosure::DoubleQuotes;
        break;
    case 2:
        format.enclosure = CSVFormat::Enclosure::Bare;
        break;
    case 3:
        format.enclosure = CSVFormat::Enclosure::QuotedCSV;
        break;
    default:
        format.enclosure = CSVFormat::Enclosure::SingleQuotes;
    }
    const QString separators[] = {CSVFormat::kCommaSeparator, CSVFormat::kTabSeparator, CSVFormat::kPlainCommaSeparator};
    const int separator = firstOn({ui.sepCommaButtonOL, ui.sepTabButtonOL, ui.sepPlainCommaButtonOL});
    format.separator = separators[std::max(separator, 0)];
    const QString lineEnds[] = {CSVFormat::kNewline, CSVFormat::kReturn, CSVFormat::kCRLF};
    const int lineEnd = firstOn({ui.lineEndNewlineOL, ui.lineEndReturnOL, ui.lineEndCRLFOL});
    format.lineEnd = lineEnd < 0 ? CSVFormat::kReturn : lineEnds[lineEnd];
    format.headerFirst = ui.headFirstButtonOL->isChecked();
    format.headerLast = ui.headLastButtonOL->isChecked();
    format.encodingTag = ui.encodingListOL->currentData().toInt();
    format.rawValues = ui.rawValuesButtonOL->isChecked();
    return format;
}

void ExportController::setWindowForFormat(int format)
{
    Ui::ExportWindow &ui = d->ui;
    switch (format) {
    case CSVFormat::PresetOSXGeneric:
        turnOn(ui.lineEndNewlineOL, {ui.lineEndReturnOL, ui.lineEndCRLFOL});
        turnOn(ui.sepCommaButtonOL, {ui.sepTabButtonOL, ui.sepPlainCommaButtonOL});
        turnOn(ui.enclDoubleButtonOL, {ui.enclSingleButtonOL, ui.enclNoneButtonOL, ui.enclQuotedCSVButtonOL});
        break;
    case CSVFormat::PresetClassicMac:
        turnOn(ui.lineEndReturnOL, {ui.lineEndNewlineOL, ui.lineEndCRLFOL});
        turnOn(ui.sepTabButtonOL, {ui.sepCommaButtonOL, ui.sepPlainCommaButtonOL});
        break;
    case CSVFormat::PresetAppleWorks:
        turnOn(ui.lineEndReturnOL, {ui.lineEndNewlineOL, ui.lineEndCRLFOL});
        turnOn(ui.sepTabButtonOL, {ui.sepCommaButtonOL, ui.sepPlainCommaButtonOL});
        turnOn(ui.enclNoneButtonOL, {ui.enclDoubleButtonOL, ui.enclSingleButtonOL, ui.enclQuotedCSVButtonOL});
        break;
    case CSVFormat::PresetOfficevX:
        turnOn(ui.lineEndNewlineOL, {ui.lineEndReturnOL, ui.lineEndCRLFOL});
        turnOn(ui.sepCommaButtonOL, {ui.sepTabButtonOL, ui.sepPlainCommaButtonOL});
        break;
    case CSVFormat::PresetSpreadsheet:
        turnOn(ui.lineEndCRLFOL, {ui.lineEndNewlineOL, ui.lineEndReturnOL});
        turnOn(ui.sepPlainCommaButtonOL, {ui.sepCommaButtonOL, ui.sepTabButtonOL});
        turnOn(ui.enclQuotedCSVButtonOL, {ui.enclDoubleButtonOL, ui.enclSingleButtonOL, ui.enclNoneButtonOL});
        turnOn(ui.headFirstButtonOL, {ui.headLastButtonOL, ui.headNoButtonOL});
        ui.encodingListOL->setCurrentIndex(ui.encodingListOL->findData(int(CSVFormat::TagUtf8)));
        break;
    default:
        return;
    }
    d->window->update();
}

QString ExportController::getDescriptionForFormat(int format)
{
    if (format < 0 || format >= CSVFormat::PresetCount)
        return msg("SE_FormatUnknown");
    return vCardCommon::getLocMsg(QStringLiteral("SE_Format%1").arg(format));
}

void ExportController::doChooseLocation()
{
    const QString current = d->ui.exportLocationFieldOL->text();
    const QFileInfo info(current.isEmpty() ? QDir(d->folder()).filePath(defaultExportFileName) : current);
    const QString chosen = d->chooser(msg("SE_OpenTitle"), msg("SE_UseFileLocation"), info.path(), info.fileName(),
                                      tr("Text files (*.txt *.csv);;All files (*)"));
    if (chosen.isEmpty())
        return;
    d->ui.exportLocationFieldOL->setText(chosen);
    d->storeLocation(chosen);
}

std::optional<CVSDict> ExportController::getCSVDict()
{
    const CSVFormat format = currentFormat();
    std::optional<CVSDict> table = remoteAB2CVS();
    if (!table)
        return std::nullopt;
    QString location = d->ui.exportLocationFieldOL->text();
    if (location.isEmpty()) {
        doChooseLocation();
        location = d->ui.exportLocationFieldOL->text();
        if (location.isEmpty()) {
            PlatformHooks::current().beep();
            return std::nullopt;
        }
    }
    ExportProgress progress(d->window, table->rowCount());
    const ExportFileResult result = CSVWriter(format).writeFile(*table, location, std::ref(progress));
    d->reportWriteFailure(result, location);
    if (!result.ok())
        return std::nullopt;
    d->storeChoices(location);
    if (table->omittedColumns() > 0)
        vCardCommon::alert(msg("SE_ColumnsLeftOut"), msg("SE_ColumnsLeftOutHint")
                                                         .arg(QString::number(table->omittedColumns()),
                                                              QString::number(CVSDict::kMaxOtherColumns)));
    return table;
}

void ExportController::doExportOnly()
{
    getCSVDict();
}

void ExportController::doExportAndOpen()
{
    if (!getCSVDict())
        return;
    const QString location = d->ui.exportLocationFieldOL->text();
    if (location.isEmpty()) {
        PlatformHooks::current().beep();
        return;
    }
    PlatformHooks::current().openUrl(QUrl::fromLocalFile(QFileInfo(location).absoluteFilePath()));
}

void ExportController::doExportVCards()
{
    if (!d->browser || !d->browser->getRemoteAB()) {
        vCardCommon::alertKeys("SE_NoABAvailProblem", "SE_NoABAvailHInt");
        return;
    }
    const QString path = d->chooser(msg("SE_VCardTitle"), msg("SE_UseFileLocation"), d->folder(),
                                    fileNameForShare(d->browser->getSelectedShareName(), u".vcf"_qs),
                                    tr("vCard files (*.vcf);;All files (*)"));
    if (path.isEmpty())
        return;
    // Read again: the dialog ran the event loop, and a download may have finished meanwhile.
    const std::optional<ArchivedRecords> &records = d->browser->getRemoteAB();
    if (!records) {
        vCardCommon::alertKeys("SE_NoABAvailProblem", "SE_NoABAvailHInt");
        return;
    }
    const ArchivedRecords current = *records;
    ExportProgress progress(d->window, current.size());
    d->reportWriteFailure(VCardExport::writeFile(current, path, nullptr, std::ref(progress)), path);
}

void ExportController::doShowFormats()
{
    formatController()->window()->open();
}
