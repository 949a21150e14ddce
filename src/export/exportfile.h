#pragma once

#include <QString>

#include <functional>

class QIODevice;

// Writing a file for the user: into a temporary file beside the target that replaces it only
// once everything was written, so a failed or cancelled write leaves the previous file intact.
struct ExportFileResult
{
    enum Outcome {
        Written,
        CannotOpen,  // nothing could be created at the location (the file is untouched)
        WriteFailed, // a write or the final rename failed (the file is untouched)
        Cancelled,   // the body stopped without a write error (the file is untouched)
    };
    Outcome outcome = Written;
    QString error; // the system's reason when not written

    bool ok() const { return outcome == Written; }
};

// Runs body on the open temporary file; body returns false to stop (a failed write or a cancel).
ExportFileResult writeExportFile(const QString &path, const std::function<bool(QIODevice &)> &body);
