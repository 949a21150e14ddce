#pragma once

#include "flatperson.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <utility>

// The sharing window's saved settings: the persisted controls (today the share name) under
// "sharingPrefsV2", one value per control, and the owner card texts under "ownerCard".
class SharingPreferences
{
public:
    static const QString PrefsKey;
    static const QString OwnerCardKey;
    // The announcement carries the share name as one DNS label: at most 63 bytes of UTF-8.
    static constexpr int MaxShareNameBytes = 63;

    // What is wrong with a share name, as the message table's problem and hint keys; both null
    // for a name that can be announced (not blank, not too long). Here rather than in the .cpp:
    // zorbix-cli checks names too, and does not load the widget libraries this class needs.
    static std::pair<const char *, const char *> shareNameProblem(const QString &name)
    {
        if (name.trimmed().isEmpty())
            return {"SC_ShareNameEmptyProblem", "SC_ShareNameEmptyHint"};
        if (name.toUtf8().size() > MaxShareNameBytes)
            return {"SC_ShareNameTooLongProblem", "SC_ShareNameTooLongHint"};
        return {nullptr, nullptr};
    }

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
