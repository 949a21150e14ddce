#pragma once

class QSettings;

// QSettings::sync() that can be trusted: QSettings writes through QSaveFile, which in Qt 6.4 renames
// a cut file over the old one when the disk is full and still reports no error. So the old file is
// kept aside (a hard link, which costs no space) while Qt writes; afterwards the file is read back
// from disk, and unless it holds every value of settings, the old file goes back in place.
// Returns whether everything reached the disk.
bool syncSettings(QSettings &settings);
