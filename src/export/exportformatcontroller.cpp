#include "exportformatcontroller.h"

#include "csvformat.h"
#include "exportcontroller.h"
#include "ui_exportformatwindow.h"

ExportFormatController::ExportFormatController(ExportController *exportController, QWidget *parentWindow)
    : QObject(exportController), exportControllerOL(exportController)
{
    windowOL = new QDialog(parentWindow);
    Ui::ExportFormatWindow ui;
    ui.setupUi(windowOL);
    frmtMatrixOL = ui.frmtMatrixOL;
    frmtDecriptionFieldOL = ui.frmtDecriptionFieldOL;
    formatOLs = {ui.frmtOSXGenericOL, ui.frmtClassicMacOL, ui.frmtAppleWorksOL, ui.frmtOfficevXOL,
                 ui.frmtSpreadsheetOL};
    formatSelectors = {CSVFormat::PresetOSXGeneric, CSVFormat::PresetClassicMac, CSVFormat::PresetAppleWorks,
                       CSVFormat::PresetOfficevX, CSVFormat::PresetSpreadsheet};
    for (QRadioButton *button : std::as_const(formatOLs))
        connect(button, &QRadioButton::toggled, this, &ExportFormatController::doUpdateFormatDescription);
    connect(ui.useFormatButtonOL, &QPushButton::clicked, this, &ExportFormatController::doUseFormat);
    connect(ui.cancelButtonOL, &QPushButton::clicked, windowOL.data(), &QDialog::reject);
    doUpdateFormatDescription();
}

ExportFormatController::~ExportFormatController()
{
    if (windowOL && !windowOL->parent())
        delete windowOL.data();
}

QDialog *ExportFormatController::window() const
{
    return windowOL;
}

int ExportFormatController::getFormatSelectorForFormat() const
{
    for (qsizetype i = 0; i < formatOLs.size(); ++i) {
        if (formatOLs.at(i)->isChecked())
            return formatSelectors.at(i);
    }
    return CSVFormat::PresetOSXGeneric;
}

void ExportFormatController::doUpdateFormatDescription()
{
    frmtDecriptionFieldOL->setText(ExportController::getDescriptionForFormat(getFormatSelectorForFormat()));
    windowOL->update();
}

void ExportFormatController::doUseFormat()
{
    exportControllerOL->setWindowForFormat(getFormatSelectorForFormat());
    windowOL->close();
}
