#pragma once

#include <QLocale>

class QCoreApplication;

// Installs the translators for the locale's UI languages on the application: our own captions
// (built into the resources) and Qt's for its standard dialogs and buttons. English needs none.
// Returns whether our own captions were found for the locale.
bool installTranslators(QCoreApplication *app, const QLocale &locale = QLocale());
