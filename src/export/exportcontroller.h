#pragma once

#include "csvformat.h"
#include "cvsdict.h"
#include "remoteaddressbook.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class ExportFormatController;
class QWidget;

// The export window: writes the records of the last download as a CSV file in the layout and
// encoding chosen with its controls, or as one vCard file (File > Export vCards…). It reads the
// records from the browse window each time it acts and keeps no copy.
//
// The window is created with the controller and shown by showWindow(). A new user starts with the
// spreadsheet preset and a file named after the share in the documents folder; each export
// stores its location under "exportCVSLocationX" and its choices under "exportCSV..." keys.
class ExportController : public QObject, public RemoteABConsumer
{
    Q_OBJECT

public:
    static const QString exportPathName;        // "exportCVSLocationX"
    static const QString defaultExportFileName; // "export-csv.txt"

    // Asks the user for a file: title, confirm button text, starting folder, proposed name, file
    // type filter. An empty result means cancelled. The default runs a save dialog.
    using LocationChooser = std::function<QString(const QString &title, const QString &prompt,
                                                  const QString &directory, const QString &fileName,
                                                  const QString &filter)>;

    // browser (vCardBrowserControllerOL) may be set later; it is not owned.
    explicit ExportController(RemoteABSource *browser = nullptr, QObject *parent = nullptr);
    ~ExportController() override;

    void setBrowser(RemoteABSource *browser);
    QWidget *window() const;
    void showWindow();
    ExportFormatController *formatController();
    void setLocationChooser(LocationChooser chooser);

    // Refreshes the share line: the share's name and its number of records.
    void doReloadData(RemoteABSource *sender) override;

    // The column table of the current records; none (after an alert) when nothing was downloaded.
    std::optional<CVSDict> remoteAB2CVS();
    // Builds the table and writes it to the location; none when nothing was written (the user
    // was told why).
    std::optional<CVSDict> getCSVDict();
    // The choices of the window's controls: in each group the first control that is on wins.
    CSVFormat currentFormat() const;

    // Presets: set the controls of a format number (others change nothing).
    void setWindowForFormat(int format);
    static QString getDescriptionForFormat(int format);

public slots:
    void doChooseLocation();
    void doExportOnly();
    void doExportAndOpen();
    // File > Export vCards…: asks for a file and writes every downloaded person into it.
    void doExportVCards();
    void doShowFormats();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
