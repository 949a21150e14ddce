#include "exportfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>

ExportFileResult writeExportFile(const QString &path, const std::function<bool(QIODevice &)> &body)
{
    ExportFileResult result;
    if (QFileInfo(path).isDir()) {
        result.outcome = ExportFileResult::CannotOpen;
        result.error = QCoreApplication::translate("ExportFile", "%1 is a folder").arg(path);
        return result;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.outcome = ExportFileResult::CannotOpen;
        result.error = file.errorString();
        return result;
    }
    const bool completed = body(file);
    if (!completed && file.error() == QFileDevice::NoError) {
        file.cancelWriting();
        result.outcome = ExportFileResult::Cancelled;
        return result;
    }
    // commit() flushes what is still buffered, so a late failure (a full disk) shows here too.
    if (!completed || !file.commit()) {
        result.outcome = ExportFileResult::WriteFailed;
        result.error = file.errorString();
        // A short write (a full disk, a size limit) sets no system error.
        if (result.error.isEmpty() || result.error == QCoreApplication::translate("QIODevice", "Unknown error"))
            result.error = QCoreApplication::translate("ExportFile", "not everything could be written");
    } // an uncommitted QSaveFile removes its temporary file

    return result;
}
