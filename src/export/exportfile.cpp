#include "exportfile.h"

#include "durablefile.h"

#include <QCoreApplication>
#include <QFileInfo>

ExportFileResult writeExportFile(const QString &path, const std::function<bool(QIODevice &)> &body)
{
    ExportFileResult result;
    if (QFileInfo(path).isDir()) {
        result.outcome = ExportFileResult::CannotOpen;
        result.error = QCoreApplication::translate("ExportFile", "%1 is a folder").arg(path);
        return result;
    }
    DurableFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.outcome = ExportFileResult::CannotOpen;
        result.error = file.errorString();
        return result;
    }
    const bool completed = body(file);
    if (!completed && file.systemError() == 0) {
        result.outcome = ExportFileResult::Cancelled;
        return result;
    }
    // commit() writes what is still gathered and syncs, so a late failure (a full disk) shows here too.
    if (!completed || !file.commit()) {
        result.outcome = ExportFileResult::WriteFailed;
        result.error = file.errorString(); // the system's reason: a full disk, a size limit, ...
    } // an uncommitted file removes its temporary file

    return result;
}
