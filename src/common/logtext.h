#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text from files, peers or the desktop made safe for one log line: control characters (line
// breaks included), bidirectional overrides and the backslash are written as escapes, and bytes
// that are not UTF-8 as \xNN, so that a line can neither be split nor rewrite the terminal.
QString escapeForLog(QByteArrayView bytes);
QString escapeForLog(QStringView text);
