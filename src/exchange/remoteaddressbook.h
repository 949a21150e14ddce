#pragma once

#include "archivedrecords.h"

#include <QString>

#include <optional>

// The browse window hands the records of its last completed download to the windows that work on
// them (contact detail, quick sync, export). Those windows read the records whenever they act and
// keep no copy: a new download replaces what they see.
class RemoteABSource
{
public:
    virtual ~RemoteABSource() = default;

    // The records of the last completed download, as they arrived; absent before the first one
    // and after a download whose answer carried no "ABData".
    virtual const std::optional<ArchivedRecords> &getRemoteAB() const = 0;
    // The name of the share of the current or last download attempt.
    virtual QString getSelectedShareName() const = 0;
    // Downloads the selected share again (the detail window's "read again").
    virtual void reloadCurrentService() = 0;
};

// A window that works on the downloaded records. The browse window calls doReloadData after each
// completed download, on the contact detail, quick sync and export windows in that order.
class RemoteABConsumer
{
public:
    virtual ~RemoteABConsumer() = default;

    virtual void doReloadData(RemoteABSource *sender) = 0;
};
