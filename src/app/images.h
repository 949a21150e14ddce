#pragma once

#include <QIcon>
#include <QString>

// A named image of the application's resources ("about_32", "NSApplicationIcon", ...); a null
// icon for a name we do not ship.
QIcon imageNamed(const QString &name);
