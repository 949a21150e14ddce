#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text from a peer or a file, made safe for a terminal or the log: every control character (C0,
// DEL and C1), line and paragraph separators, bidirectional overrides and the backslash are
// written as visible escapes (\\, \t, \n, \r, \xHH, \u{HHHH}), so such text can neither move the
// cursor, split a log line, reorder what is shown nor send a terminal sequence. A byte that was
// not UTF-8 (see textFromBytes) is written as \xHH. Everything else is kept as it is.
QString printableText(QStringView text);

// Bytes of unknown encoding (a file name, a server's answer) as text: UTF-8 where they are, and
// each other byte kept as a stand-in that printableText writes as \xHH, so no byte is lost.
QString textFromBytes(QByteArrayView bytes);
