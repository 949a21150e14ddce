#pragma once

#include <QtGlobal>

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF, no cut sequence):
// the texts that QCborStreamReader::readString() refuses are refused here too. Runs of ASCII are
// skipped eight bytes at a time. Both message readers check texts with it.
bool isWellFormedUtf8(const char *text, qsizetype size);
