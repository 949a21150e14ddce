#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringView>
#include <QVariantMap>

#include <optional>

// The payload of a frame: one message dictionary as a single CBOR item (RFC 8949), nothing after
// it. docs/protocol.md gives the mapping.
//
//   QString -> text string          integers -> integer          double -> float
//   bool -> true/false              QDateTime, QDate -> tag 0 RFC 3339 text
//   QByteArray -> byte string       QVariantList, QStringList -> array
//   QVariantMap, QVariantHash -> map with text keys
//   OwnerCard (QMap<int, QString>) -> map with integer keys
//
// Decoding is strict: anything that is not exactly one well-formed item of these kinds, nested
// no deeper than kMaxNesting, with a map at the top, gives nothing. Maps with integer keys come
// back as OwnerCard; an empty map comes back as an empty QVariantMap. A message of more than
// kMaxItems values does not decode either.
class ExchangeArchive
{
public:
    ExchangeArchive() = delete;

    // Containers inside containers, the top-level map counting as 1. The deepest message (a postal
    // address inside a labeled value inside a multi-value inside a person inside "ABData" inside
    // the message) needs 6.
    static constexpr int kMaxNesting = 16;
    // Values one decode builds at most (a list and a map count one each, like a text): a small
    // payload of tiny items cannot expand into gigabytes of QVariants. An archived list's entries
    // have budgets of their own (ArchivedRecords).
    static constexpr qint64 kMaxItems = 2'000'000;

    // Nothing when the graph holds a value of a kind that has no CBOR form here (an invalid
    // QVariant, a pointer, ...): such a message is a programming error, never sent half-written.
    static std::optional<QByteArray> encode(const QVariantMap &message);
    // A message in two parts around the value under key (which must be present): that value's
    // own encoding (encodeItem) goes between them. A large value that changes seldom is encoded
    // once and sent again with fresh parts around it.
    struct Spliced
    {
        QByteArray before;
        QByteArray after;
    };
    static std::optional<Spliced> encodeAround(const QVariantMap &message, const QString &key);
    static std::optional<QByteArray> encodeItem(const QVariant &value);
    // The same for a record list (the bytes encodeItem gives), reusing the encoding of each
    // record map that is shared with one of the previous call's list. Thread-safe.
    static std::optional<QByteArray> encodeRecordList(const QVariantList &records);
    // With a listKey, an array under that key in the top-level map comes back as ArchivedRecords:
    // every entry checked as strictly as the rest, none of them built yet.
    static std::optional<QVariantMap> decode(const QByteArray &payload, const QString &listKey = QString());

    // The text of a tag-0 date: RFC 3339 with a zone offset ("Z" or +hh:mm), a time and optional
    // fraction (kept to the millisecond). A leap second (hh:mm:60 at 23:59 UTC) is read as the
    // last millisecond before it. Nothing for any other form, and for an instant whose year,
    // as written or in UTC, lies outside 1 to 9999.
    static std::optional<QDateTime> parseDateTime(QStringView text);
    // The same check on the text's UTF-8 bytes, without building the date.
    static bool isDateTime(const char *text, qsizetype size);
};
