#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// One content line of a vCard after unfolding and transfer decoding. The value is text in the
// card's own escaping (backslash escapes are still in place), so that a property we do not model
// can be written back as it was.
struct VCardProperty
{
    QString group;                         // Apple's "item1" and the like; empty when the line has none
    QString name;                          // upper case
    QList<QPair<QString, QString>> params; // names upper case; a bare 2.1 parameter is TYPE
    QString value;

    // Every value of a parameter, split at commas (outside quotes), lower case for TYPE.
    QStringList paramValues(const QString &paramName) const;
    bool hasParam(const QString &paramName) const;
};

struct VCard
{
    QString version; // "2.1", "3.0", "4.0" or what the card says
    QList<VCardProperty> properties;

    QList<const VCardProperty *> all(const QString &name) const;
    const VCardProperty *first(const QString &name) const;
};

// Reading and writing of vCard 2.1, 3.0 and 4.0 text. Reading is forgiving in the ways real
// programs need; writing always produces vCard 3.0 with CRLF line ends, folded at 75 octets.
namespace VCardCodec {

struct ParseResult
{
    QList<VCard> cards;
    QStringList errors; // one reason per card (or stretch of the file) that could not be read
};

ParseResult parse(const QByteArray &data);
// Lines whose name or item group is not a vCard name (letters, digits, "-") are not written:
// they would read back as something else.
QByteArray serialize(const VCard &card);
bool isWritable(const VCardProperty &prop);

// Backslash escapes: \\ \, \; \n (\N); an unknown escape gives the escaped character.
QString unescape(QStringView text);
QString escape(const QString &text);
// Splits at unescaped separators and unescapes each part.
QStringList splitUnescape(QStringView text, QChar separator);

} // namespace VCardCodec
