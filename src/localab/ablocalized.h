#pragma once

#include <QString>

// The display text of a property name or a label ("First" -> "First name", "work" -> "Work"),
// in the application's language (English or German); any other text comes back unchanged.
QString ABLocalizedPropertyOrLabel(const QString &propertyOrLabel);
// The same for an explicit language ("en", "de"); other languages give English.
QString ABLocalizedPropertyOrLabel(const QString &propertyOrLabel, const QString &language);
