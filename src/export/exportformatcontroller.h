#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class ExportController;
class QDialog;
class QLabel;
class QRadioButton;
class QWidget;

// The preset chooser: one radio button per CSV layout, with its description; confirming sets
// the export window's controls for it. The buttons' selection is the only state.
class ExportFormatController : public QObject
{
    Q_OBJECT

public:
    explicit ExportFormatController(ExportController *exportController, QWidget *parentWindow = nullptr);
    ~ExportFormatController() override;

    QDialog *window() const;
    // The format number of the selected button; 0 when no known button is selected.
    int getFormatSelectorForFormat() const;

public slots:
    void doUpdateFormatDescription();
    void doUseFormat();

private:
    ExportController *exportControllerOL;
    QPointer<QDialog> windowOL;
    QWidget *frmtMatrixOL = nullptr;
    QLabel *frmtDecriptionFieldOL = nullptr;
    QList<QRadioButton *> formatOLs;
    QList<int> formatSelectors;
};
