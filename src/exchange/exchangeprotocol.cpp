#include "exchangeprotocol.h"

#include <cstdlib>

qint32 ExchangeProtocol::nextKey()
{
    // random() gives 0 to 2^31 - 1; nothing in the program seeds it.
    return static_cast<qint32>(::random());
}
