#include "abstorecache.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"

#include <QAnyStringView>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The file starts with this line; the format's number changes with any change to what follows.
constexpr char kMagic[] = "zorbix store cache\n";
constexpr quint32 kFormat = 1;
// A cache of 200,000 cards is some 100 MB.
constexpr qint64 kMaxFileSize = qint64(1) << 30;
constexpr qint64 kSecond = 1000000000;
constexpr qint64 kUnusedDays = 30;

QString cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/zorbix/stores");
}

QString canonical(const QString &directory)
{
    const QString path = QFileInfo(directory).canonicalFilePath();
    return path.isEmpty() ? QDir::cleanPath(QDir(directory).absolutePath()) : path;
}

// Property names, labels and address keys: every card repeats them, and a record read back holds
// one shared copy of each, as a record read from its card does.
const QList<QString> &knownWords()
{
    static const QList<QString> words = [] {
        QList<QString> all = ABAddressBook::properties();
        all << kABUIDProperty << kABCreationDateProperty << kABModificationDateProperty << kABGroupNameProperty
            << kABWorkLabel << kABHomeLabel << kABOtherLabel << kABPhoneMobileLabel << kABPhoneMainLabel
            << kABPhoneHomeFAXLabel << kABPhoneWorkFAXLabel << kABPhonePagerLabel << kABAddressStreetKey
            << kABAddressCityKey << kABAddressStateKey << kABAddressZIPKey << kABAddressCountryKey
            << kABAddressPOBoxKey << kABAddressExtendedKey;
        all.removeDuplicates();
        return all;
    }();
    return words;
}

const QHash<QString, quint8> &knownIndex()
{
    static const QHash<QString, quint8> index = [] {
        QHash<QString, quint8> all;
        const QList<QString> &words = knownWords();
        for (qsizetype i = 0; i < words.size() && i < 256; ++i)
            all.insert(words.at(i), quint8(i));
        return all;
    }();
    return index;
}

quint64 hashOf(QByteArrayView bytes)
{
    return quint64(qHash(bytes, 0));
}

// The known words are numbered in the file: a cache made with another list is not used.
quint64 knownWordsStamp()
{
    static const quint64 stamp = hashOf(knownWords().join(u'\n').toUtf8());
    return stamp;
}

// Numbers in this machine's byte order (the header's marker tells). A text is a kind byte, then
// the number of a known word, or its Latin-1 bytes or UTF-16 code units: reading one back is a
// copy. QDataStream reads each piece through a QIODevice, which cost more than parsing the card.
class Writer
{
public:
    QByteArray bytes;

    template<typename T>
    void number(T value)
    {
        bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
    }
    // A kind byte first: null, a known word (its number), Latin-1 or UTF-16.
    void text(const QString &value)
    {
        if (value.isNull()) {
            bytes.append('n');
            return;
        }
        if (value.size() <= 16) {
            const auto known = knownIndex().constFind(value);
            if (known != knownIndex().cend()) {
                bytes.append('k');
                bytes.append(char(known.value()));
                return;
            }
        }
        const auto *units = reinterpret_cast<const char16_t *>(value.utf16());
        if (std::all_of(units, units + value.size(), [](char16_t c) { return c < 0x100; })) {
            bytes.append('a');
            number(quint32(value.size()));
            const qsizetype at = bytes.size();
            bytes.resize(at + value.size());
            std::copy(units, units + value.size(), bytes.begin() + at);
            return;
        }
        bytes.append('u');
        number(quint32(value.size()));
        bytes.append(reinterpret_cast<const char *>(units), value.size() * qsizetype(sizeof(char16_t)));
    }
    void raw(QByteArrayView value)
    {
        number(quint32(value.size()));
        bytes.append(value);
    }
    void texts(const QStringList &values)
    {
        number(quint32(values.size()));
        for (const QString &value : values)
            text(value);
    }
    // Texts, dates in UTC, lists and maps of them: what a record's values are. false for anything
    // else, so that such a record is not kept (its card is read next time).
    bool value(const QVariant &value)
    {
        switch (value.typeId()) {
        case QMetaType::QString:
            bytes.append('s');
            text(*static_cast<const QString *>(value.constData()));
            return true;
        case QMetaType::QDateTime: {
            const QDateTime &time = *static_cast<const QDateTime *>(value.constData());
            if (!time.isValid() || time.timeSpec() != Qt::UTC)
                return false;
            bytes.append('t');
            number(time.toMSecsSinceEpoch());
            return true;
        }
        case QMetaType::QVariantList: {
            const QVariantList &list = *static_cast<const QVariantList *>(value.constData());
            bytes.append('l');
            number(quint32(list.size()));
            return std::all_of(list.cbegin(), list.cend(), [this](const QVariant &item) { return this->value(item); });
        }
        case QMetaType::QVariantMap:
            bytes.append('m');
            return map(*static_cast<const QVariantMap *>(value.constData()));
        default:
            return false;
        }
    }
    bool map(const QVariantMap &values)
    {
        number(quint32(values.size()));
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            text(it.key());
            if (!value(it.value()))
                return false;
        }
        return true;
    }
};

// Reads what Writer wrote; any piece that runs past the end, or a kind it does not know, fails
// the whole read.
class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : m_at(bytes.data()), m_end(bytes.data() + bytes.size()) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_end; }

    template<typename T>
    T number()
    {
        T value{};
        if (!take(sizeof value))
            return value;
        memcpy(&value, m_at - sizeof value, sizeof value);
        return value;
    }
    // A text that is not null: a view of the bytes, or a known word.
    QAnyStringView textView()
    {
        if (!take(1))
            return {};
        const char kind = m_at[-1];
        if (kind == 'k') {
            const quint8 index = number<quint8>();
            if (m_ok && index < knownWords().size())
                return knownWords().at(index);
        } else if (kind == 'a' || kind == 'u') {
            const quint32 size = number<quint32>();
            if (kind == 'a' && take(size))
                return QLatin1StringView(m_at - size, qsizetype(size));
            if (kind == 'u' && take(qsizetype(size) * qsizetype(sizeof(char16_t))))
                return QStringView(reinterpret_cast<const char16_t *>(m_at) - size, qsizetype(size));
        }
        m_ok = false;
        return {};
    }
    // A known word comes back as the one shared copy of it.
    QString text()
    {
        if (takeNull())
            return {};
        if (m_at + 1 < m_end && *m_at == 'k') {
            const quint8 index = quint8(m_at[1]);
            if (index < knownWords().size()) {
                take(2);
                return knownWords().at(index);
            }
        }
        return textView().toString();
    }
    // A view of the bytes, valid as long as those read.
    QByteArray rawView()
    {
        const quint32 size = number<quint32>();
        if (!take(size))
            return {};
        return QByteArray::fromRawData(m_at - size, qsizetype(size));
    }
    QStringList texts()
    {
        const quint32 count = number<quint32>();
        QStringList values;
        if (!plausible(count, 1))
            return values;
        values.reserve(count);
        for (quint32 i = 0; i < count && m_ok; ++i)
            values.append(text());
        return values;
    }
    QVariant value(int depth = 0)
    {
        if (!take(1) || depth > 4)
            return fail();
        switch (m_at[-1]) {
        case 's':
            return text();
        case 't':
            return QDateTime::fromMSecsSinceEpoch(number<qint64>(), Qt::UTC);
        case 'l': {
            const quint32 count = number<quint32>();
            if (!plausible(count, 1))
                return {};
            QVariantList list;
            list.reserve(count);
            for (quint32 i = 0; i < count && m_ok; ++i)
                list.append(value(depth + 1));
            return list;
        }
        case 'm':
            return map(depth + 1);
        default:
            return fail();
        }
    }
    // only: the keys to keep (the others are passed by); nullptr: all.
    QVariantMap map(int depth = 0, const QStringList *only = nullptr)
    {
        const quint32 count = number<quint32>();
        QVariantMap values;
        if (!plausible(count, 3))
            return values;
        for (quint32 i = 0; i < count && m_ok; ++i) {
            QString key = text();
            if (only && !only->contains(key)) {
                skip(depth);
                continue;
            }
            // Written in the map's order: each goes at the end.
            values.insert(values.cend(), key, value(depth));
        }
        return values;
    }

private:
    bool takeNull()
    {
        if (m_at == m_end || *m_at != 'n')
            return false;
        ++m_at;
        return true;
    }
    void skipText()
    {
        if (!takeNull())
            textView();
    }
    // Passes a value by without making it.
    void skip(int depth)
    {
        if (!take(1) || depth > 4) {
            m_ok = false;
            return;
        }
        switch (m_at[-1]) {
        case 's':
            return skipText();
        case 't':
            take(sizeof(qint64));
            return;
        case 'l':
        case 'm': {
            const bool map = m_at[-1] == 'm';
            const quint32 count = number<quint32>();
            for (quint32 i = 0; i < count && m_ok; ++i) {
                if (map)
                    skipText();
                skip(depth + 1);
            }
            return;
        }
        default:
            m_ok = false;
        }
    }
    bool take(qsizetype size)
    {
        if (!m_ok || size > m_end - m_at) {
            m_ok = false;
            return false;
        }
        m_at += size;
        return true;
    }
    // count pieces of at least size bytes each fit in what is left.
    bool plausible(quint32 count, qsizetype size)
    {
        if (m_ok && qsizetype(count) <= (m_end - m_at) / size)
            return true;
        m_ok = false;
        return false;
    }
    QVariant fail()
    {
        m_ok = false;
        return {};
    }
    const char *m_at;
    const char *m_end;
    bool m_ok = true;
};

} // namespace

struct ABStoreCache::Private
{
    QString directory;
    QString path;
    QByteArray bytes; // the file as read: names, digests and records are views of it
    // In the order of the file names (QString's operator<), as written.
    std::vector<QAnyStringView> names;
    std::vector<Entry> entries;
};

ABStoreCache::ABStoreCache(const QString &directory) : d(std::make_unique<Private>())
{
    d->directory = canonical(directory);
    const QByteArray key = QCryptographicHash::hash(QFile::encodeName(d->directory), QCryptographicHash::Sha1);
    d->path = cacheFolder() + u'/' + QString::fromLatin1(key.toHex()) + QStringLiteral(".cache");
}

ABStoreCache::~ABStoreCache() = default;

QString ABStoreCache::path() const
{
    return d->path;
}

bool ABStoreCache::load(const QByteArray &probe)
{
    clear();
    QFile file(d->path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return false;
    d->bytes = file.readAll();
    const QByteArray &bytes = d->bytes;
    const QByteArrayView magic(kMagic, qsizetype(sizeof kMagic - 1));
    if (!bytes.startsWith(magic) || bytes.size() < magic.size() + qsizetype(sizeof(quint64)))
        return clear();
    // The hash at the end covers all before it: a file cut short or changed is not used.
    const QByteArrayView covered(bytes.constData(), bytes.size() - qsizetype(sizeof(quint64)));
    quint64 hash = 0;
    memcpy(&hash, covered.end(), sizeof hash);
    if (hash != hashOf(covered))
        return clear();
    Reader in(covered.sliced(magic.size()));
    if (in.number<quint32>() != 0x01020304 || in.number<quint32>() != kFormat || in.text() != QLatin1String(qVersion()) ||
        in.rawView() != probe || in.number<quint64>() != knownWordsStamp() || in.text() != d->directory)
        return clear();
    const quint32 count = in.number<quint32>();
    if (!in.ok() || count > quint32(bytes.size()))
        return clear();
    d->names.reserve(count);
    d->entries.reserve(count);
    for (quint32 i = 0; i < count && in.ok(); ++i) {
        const QAnyStringView name = in.textView();
        // Written in order: a look-up halves the names instead of hashing each.
        if (i > 0 && QAnyStringView::compare(d->names.back(), name) >= 0)
            return clear();
        Entry entry;
        entry.stamp.time = in.number<qint64>();
        entry.stamp.size = in.number<qint64>();
        entry.stamp.inode = in.number<qint64>();
        entry.changeTime = in.number<qint64>();
        entry.digest = in.rawView();
        entry.record = in.rawView();
        d->names.push_back(name);
        d->entries.push_back(std::move(entry));
    }
    if (!in.ok() || !in.atEnd())
        return clear();
    return true;
}

bool ABStoreCache::clear()
{
    d->names.clear();
    d->entries.clear();
    d->bytes.clear();
    return false;
}

const ABStoreCache::Entry *ABStoreCache::entry(const QString &fileName) const
{
    const auto at = std::lower_bound(d->names.cbegin(), d->names.cend(), fileName, [](QAnyStringView name, const QString &wanted) {
        return QAnyStringView::compare(name, wanted) < 0;
    });
    if (at == d->names.cend() || QAnyStringView::compare(*at, fileName) != 0)
        return nullptr;
    return &d->entries[size_t(at - d->names.cbegin())];
}

qsizetype ABStoreCache::size() const
{
    return qsizetype(d->entries.size());
}

bool ABStoreCache::save(const QList<QPair<QString, Entry>> &entries, const QByteArray &probe) const
{
    Writer out;
    out.bytes.append(kMagic);
    out.number(quint32(0x01020304));
    out.number(kFormat);
    out.text(QString::fromLatin1(qVersion()));
    out.raw(probe);
    out.number(knownWordsStamp());
    out.text(d->directory);
    out.number(quint32(entries.size()));
    for (const auto &[name, entry] : entries) {
        out.text(name);
        out.number(entry.stamp.time);
        out.number(entry.stamp.size);
        out.number(entry.stamp.inode);
        out.number(entry.changeTime);
        out.raw(entry.digest);
        out.raw(entry.record);
    }
    out.number(hashOf(out.bytes));
    const QString folder = cacheFolder();
    if (!QDir().mkpath(folder))
        return false;
    // Caches of stores gone or left alone: a cache is rewritten only when its store's cards
    // changed, so one removed here costs its store one slower open at most.
    const QDateTime unused = QDateTime::currentDateTimeUtc().addDays(-kUnusedDays);
    for (const QFileInfo &info : QDir(folder).entryInfoList({QStringLiteral("*.cache")}, QDir::Files)) {
        if (info.lastModified() < unused && info.filePath() != d->path)
            QFile::remove(info.filePath());
    }
    QTemporaryFile file(d->path + QStringLiteral(".XXXXXX"));
    if (!file.open() || file.write(out.bytes) != out.bytes.size() || !file.flush())
        return false;
    file.close();
    if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(d->path).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

QByteArray ABStoreCache::encode(const ABRecord &record)
{
    Writer out;
    out.bytes.append(record.isGroup() ? 'g' : 'p');
    out.text(record.m_uid);
    if (!out.map(record.m_values))
        return {};
    out.texts(record.m_categories);
    out.texts(record.m_memberRefs);
    out.number(qint32(record.m_groupForm));
    return out.bytes;
}

std::unique_ptr<ABRecord> ABStoreCache::decode(const QByteArray &bytes, const QStringList *only)
{
    if (bytes.isEmpty() || (bytes.front() != 'g' && bytes.front() != 'p'))
        return nullptr;
    std::unique_ptr<ABRecord> record;
    if (bytes.front() == 'g')
        record.reset(new ABGroup());
    else
        record.reset(new ABPerson());
    Reader in(QByteArrayView(bytes).sliced(1));
    record->m_uid = in.text();
    // A listing of some properties holds just those, as if only they had been read.
    record->m_values = in.map(0, record->isGroup() ? nullptr : only);
    record->m_categories = in.texts();
    record->m_memberRefs = in.texts();
    record->m_groupForm = in.number<qint32>();
    if (!in.ok() || !in.atEnd())
        return nullptr;
    return record;
}

bool ABStoreCache::settled(qint64 changeTime, qint64 now)
{
    // Three seconds: file systems that keep times in two-second steps included.
    return changeTime >= 0 && changeTime < now - 3 * kSecond;
}

qint64 ABStoreCache::now()
{
    return QDateTime::currentMSecsSinceEpoch() * (kSecond / 1000);
}
