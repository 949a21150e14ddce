#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A check of a whole message payload in one pass over its bytes, building nothing: the same
// verdict as the strict decoder (CborMessageReader) with the same limits (nesting, value budgets,
// entries of the list kept encoded), at close to the speed of reading memory. Internal to the
// exchange library; fuzz/fuzz_walker.cpp holds the two to the same verdicts.
class CborWalker
{
public:
    struct TopEntry
    {
        QString key;
        qsizetype valueOffset = 0;
        bool isList = false; // the list kept encoded
    };
    struct Result
    {
        QList<TopEntry> entries; // the top-level map, in payload order
        QList<quint32> listOffsets; // where each entry of the list kept encoded starts
    };

    // Nothing when the payload is not exactly one message; with a listKey, a top-level array
    // under that key is checked entry by entry, each with a budget of its own.
    static std::optional<Result> walk(const QByteArray &payload, const QString &listKey);
};
