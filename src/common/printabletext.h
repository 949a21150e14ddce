#pragma once

#include <QString>
#include <QStringView>

// Text from a peer or a file, made safe for a terminal or the log: every control character (C0,
// DEL and C1) and the backslash are written as visible escapes (\\, \t, \n, \r, \xHH for the
// code point), so such text can neither move the cursor nor send a terminal sequence. Everything
// else is kept as it is.
QString printableText(QStringView text);
