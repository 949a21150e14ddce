#pragma once

#include "flatperson.h"

#include <QList>
#include <QPointer>
#include <QWidget>

// The sharing window's saved settings: the persisted controls (today the share name) under
// "sharingPrefsV2", one value per control, and the owner card texts under "ownerCard".
class SharingPreferences
{
public:
    static const QString PrefsKey;
    static const QString OwnerCardKey;

    // Sets the controls from "sharingPrefsV2". Null placeholders are skipped and values beyond
    // the list of controls are ignored; without the key nothing changes. A button takes the
    // value's integer as its state, any other control its text.
    static void loadSharingPrefs(const QList<QPointer<QWidget>> &persistedControls);
    // Writes "sharingPrefsV2" and syncs at once; false (with a log line) when that failed.
    static bool saveSharingPrefs(const QList<QPointer<QWidget>> &persistedControls);

    // The card as the fields read now, in the reading order: the later of two fields with one
    // tag wins. Fields are found by their widget names inside the editor.
    static OwnerCard ownerCardFrom(const QWidget *cardEditor);
    // Fields whose tag has no saved text keep what they hold.
    static void loadOwnerCard(QWidget *cardEditor);
    static bool saveOwnerCard(const QWidget *cardEditor);
};
