#pragma once

#include "vcardcommon.h"

// The localized text of a message key, as the user would read it.
inline QString msg(const char *key)
{
    return vCardCommon::getLocMsg(QString::fromLatin1(key));
}
