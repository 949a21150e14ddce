#include "qfconnectionpool.h"

#include "zassert.h"

#include <QTcpSocket>

#include <climits>

// A failed precondition names the condition that broke, so the message reads the same whichever
// caller broke it.
#define POOL_ASSERT(cond, text)                                                                               \
    ((cond) ? static_cast<void>(0) : zorbixAssertFailed(__FILE__, static_cast<unsigned>(__LINE__), text))

const QString QFConnectionPool::kHandleProperty = QStringLiteral("NSFileHandle");
const QString QFConnectionPool::kDataProperty = QStringLiteral("data");
const QString QFConnectionPool::kStateProperty = QStringLiteral("state");
const QString QFConnectionPool::kServerKeyProperty = QStringLiteral("serverKey");
const QString QFConnectionPool::kClientKeyProperty = QStringLiteral("clientKey");

// The buffer is kept apart from the other properties: appending to a QByteArray held inside a
// QVariant would copy the whole buffer on every chunk.
struct QFConnectionPool::Entry
{
    const QTcpSocket *handle = nullptr;
    bool hasData = false;
    QByteArray data;
    QVariantMap properties;
};

QFConnectionPool::QFConnectionPool() = default;
QFConnectionPool::~QFConnectionPool() = default;

QString QFConnectionPool::description() const
{
    return QStringLiteral("QFConnectionPool: Allocated pool");
}

QFConnectionPool::Entry *QFConnectionPool::entryFor(const QTcpSocket *aHandle) const
{
    for (const auto &entry : m_activeConnections) {
        if (entry->handle == aHandle)
            return entry.get();
    }
    return nullptr;
}

void QFConnectionPool::addConnection(QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    auto entry = std::make_unique<Entry>();
    entry->handle = aHandle;
    entry->properties.insert(kStateProperty, QStringLiteral("init"));
    entry->properties.insert(kServerKeyProperty, kFixedKey);
    entry->properties.insert(kClientKeyProperty, kFixedKey);
    m_activeConnections.push_back(std::move(entry));
}

bool QFConnectionPool::isActiveConnection(const QTcpSocket *aHandle) const
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    return entryFor(aHandle) != nullptr;
}

int QFConnectionPool::connectionCount() const
{
    return static_cast<int>(m_activeConnections.size());
}

std::optional<QVariantMap> QFConnectionPool::getDictForConnection(const QTcpSocket *aHandle) const
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    const Entry *entry = entryFor(aHandle);
    if (!entry)
        return std::nullopt;
    QVariantMap dict = entry->properties;
    dict.insert(kHandleProperty, QVariant::fromValue(const_cast<QObject *>(static_cast<const QObject *>(aHandle))));
    if (entry->hasData)
        dict.insert(kDataProperty, entry->data);
    return dict;
}

QVariant QFConnectionPool::getValueForProperty(const QString &propName, const QTcpSocket *aHandle) const
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    POOL_ASSERT(!propName.isNull(), "nil != propName");
    const Entry *entry = entryFor(aHandle);
    POOL_ASSERT(entry != nullptr, "nil != itsDict");
    if (propName == kHandleProperty)
        return QVariant::fromValue(const_cast<QObject *>(static_cast<const QObject *>(aHandle)));
    if (propName == kDataProperty)
        return entry->hasData ? QVariant(entry->data) : QVariant();
    return entry->properties.value(propName);
}

void QFConnectionPool::setValue(const QVariant &propValue, const QString &propName, const QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    POOL_ASSERT(!propName.isNull(), "nil != propName");
    POOL_ASSERT(propValue.isValid(), "nil != propValue");
    Entry *entry = entryFor(aHandle);
    POOL_ASSERT(entry != nullptr, "nil != itsDict");
    // The handle is the entry's identity; it is fixed at addConnection.
    if (propName == kHandleProperty)
        return;
    if (propName == kDataProperty) {
        entry->data = propValue.toByteArray();
        entry->hasData = true;
        return;
    }
    entry->properties.insert(propName, propValue);
}

void QFConnectionPool::removeProperty(const QString &propName, const QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    POOL_ASSERT(!propName.isNull(), "nil != propName");
    Entry *entry = entryFor(aHandle);
    POOL_ASSERT(entry != nullptr, "nil != itsDict");
    if (propName == kHandleProperty)
        return;
    if (propName == kDataProperty) {
        entry->data = QByteArray();
        entry->hasData = false;
        return;
    }
    entry->properties.remove(propName);
}

void QFConnectionPool::removeConnection(const QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    for (auto it = m_activeConnections.begin(); it != m_activeConnections.end(); ++it) {
        if ((*it)->handle == aHandle) {
            m_activeConnections.erase(it);
            return;
        }
    }
}

void QFConnectionPool::removeAllConnections(const QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    m_activeConnections.clear();
}

QByteArray QFConnectionPool::getDataForConnection(const QTcpSocket *aHandle) const
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    const Entry *entry = entryFor(aHandle);
    if (!entry || !entry->hasData)
        return QByteArray();
    return entry->data;
}

void QFConnectionPool::addData(const QByteArray &someData, const QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    POOL_ASSERT(!someData.isNull(), "nil != someData");
    Entry *entry = entryFor(aHandle);
    POOL_ASSERT(entry != nullptr, "nil != itsDict");
    if (!entry->hasData) {
        entry->data = someData;
        entry->hasData = true;
        return;
    }
    entry->data.append(someData);
}

void QFConnectionPool::reserveDataForConnection(qsizetype totalLength, const QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    Entry *entry = entryFor(aHandle);
    POOL_ASSERT(entry != nullptr, "nil != itsDict");
    if (entry->hasData && entry->data.capacity() < totalLength)
        entry->data.reserve(totalLength);
}

int QFConnectionPool::parseDeclaredLength(const char *header, qsizetype size)
{
    qsizetype i = 0;
    while (i < size && (header[i] == ' ' || (header[i] >= '\t' && header[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < size && (header[i] == '+' || header[i] == '-')) {
        negative = header[i] == '-';
        ++i;
    }
    // Accumulate as a magnitude and clamp once it leaves the 32-bit range.
    long long magnitude = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < size && header[i] >= '0' && header[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (header[i] - '0');
        if (magnitude > limit) {
            magnitude = limit;
            // Further digits cannot bring it back into range.
            while (i + 1 < size && header[i + 1] >= '0' && header[i + 1] <= '9')
                ++i;
        }
    }
    return negative ? static_cast<int>(-magnitude) : static_cast<int>(magnitude);
}

bool QFConnectionPool::isConnectionComplete(const QTcpSocket *aHandle) const
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    const Entry *entry = entryFor(aHandle);
    if (!entry || !entry->hasData || entry->data.size() <= kHeaderLength)
        return false;
    const int declared = parseDeclaredLength(entry->data.constData(), kLengthDigits);
    // Compared unsigned: a negative length is never reached, a length of 0 at once.
    return static_cast<quint32>(entry->data.size()) >= static_cast<quint32>(declared);
}

int QFConnectionPool::getHeadLengthforConnection(const QTcpSocket *aHandle) const
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    const Entry *entry = entryFor(aHandle);
    if (!entry || !entry->hasData || entry->data.size() <= kHeaderLength)
        return -1;
    const int declared = parseDeclaredLength(entry->data.constData(), kLengthDigits);
    return declared == 0 ? -1 : declared;
}

QByteArray QFConnectionPool::frameHeader(qsizetype payloadSize, const QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    const qsizetype total = payloadSize + kHeaderLength;
    ZASSERT(total <= INT_MAX);
    QByteArray header = QByteArray::number(static_cast<qlonglong>(total)).leftJustified(kLengthDigits, ' ');
    header.append('+');
    return header;
}

QByteArray QFConnectionPool::packData(const QByteArray &payload, const QTcpSocket *aHandle)
{
    QByteArray frame = frameHeader(payload.size(), aHandle);
    frame.reserve(kHeaderLength + payload.size());
    frame.append(payload);
    return frame;
}

std::optional<QByteArray> QFConnectionPool::unpackDatafromConnection(const QTcpSocket *aHandle)
{
    POOL_ASSERT(aHandle != nullptr, "nil != aHandle");
    POOL_ASSERT(isConnectionComplete(aHandle), "YES == [self isConnectionComplete:aHandle]");
    Entry *entry = entryFor(aHandle);
    const int declared = getHeadLengthforConnection(aHandle);
    // No digits, a length that cannot hold the header, or one clamped to the 32-bit range: no
    // payload, and the bytes stay where they are.
    if (declared <= kHeaderLength || declared == INT_MAX)
        return std::nullopt;
    const qsizetype total = declared;
    if (total == entry->data.size()) {
        // The frame is the whole buffer: hand its bytes over instead of copying them.
        QByteArray payload = std::move(entry->data);
        entry->data = QByteArray();
        entry->hasData = false;
        payload.remove(0, kHeaderLength);
        return payload;
    }
    QByteArray payload = entry->data.mid(kHeaderLength, total - kHeaderLength);
    entry->data = entry->data.mid(total);
    return payload;
}
