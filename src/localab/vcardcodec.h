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
    // Where the line is in ParseResult::data: from its first byte to the end of its last
    // physical line, line end included.
    qsizetype begin = -1;
    qsizetype end = -1;

    // Every value of a parameter, split at commas (outside quotes), lower case for TYPE.
    QStringList paramValues(const QString &paramName) const;
    bool hasParam(const QString &paramName) const;
};

struct VCard
{
    QString version; // "2.1", "3.0", "4.0" or what the card says
    QList<VCardProperty> properties;
    qsizetype endLine = -1; // where the END:VCARD line starts in ParseResult::data

    QList<const VCardProperty *> all(const QString &name) const;
    const VCardProperty *first(const QString &name) const;
};

// Reading and writing of vCard 2.1, 3.0 and 4.0 text. Reading is forgiving in the ways real
// programs need; serialize() produces vCard 3.0 with CRLF line ends, folded at 75 octets, and
// formatLine() one line in the form of a given version (for edits of a card in place).
namespace VCardCodec {

struct ParseResult
{
    QList<VCard> cards;
    QStringList errors; // one reason per card (or stretch of the file) that could not be read
    // The bytes the line positions refer to: the input itself, or a UTF-16 input as UTF-8.
    QByteArray data;
};

ParseResult parse(const QByteArray &data);
// The same, reading into the cards only the lines of these names (upper case) besides those that
// make up a card (BEGIN, END, VERSION, AGENT): the other lines cost no more than finding their
// name. Every line when names is empty.
ParseResult parse(const QByteArray &data, const QList<QByteArrayView> &names);
// Lines whose name or item group is not a vCard name (letters, digits, "-") are not written:
// they would read back as something else.
QByteArray serialize(const VCard &card);
bool isWritable(const VCardProperty &prop);
// One content line, folded, ending in lineEnd. Version "2.1" writes TYPE values as bare
// parameters and a value with line breaks or non-ASCII text quoted-printable (UTF-8); other
// versions fold at 75 octets, never inside a character.
QByteArray formatLine(const VCardProperty &prop, QStringView version, QByteArrayView lineEnd);
// An unfolded line folded at 75 octets (never inside a character), ending in lineEnd.
QByteArray fold(const QByteArray &line, QByteArrayView lineEnd);

// Backslash escapes: \\ \, \; \n (\N); an unknown escape gives the escaped character.
QString unescape(QStringView text);
QString unescape(const QString &text); // shares text when it holds no escape
QString escape(const QString &text);
// The vCard 2.1 form: only backslashes (and in a compound value semicolons) are escaped; line
// breaks stay (formatLine writes them quoted-printable).
QString escape21(const QString &text, bool compound);
// Splits at unescaped separators and unescapes each part.
QStringList splitUnescape(QStringView text, QChar separator);
// Splits at unescaped separators, leaving each part as it is written.
QStringList splitRaw(QStringView text, QChar separator);

} // namespace VCardCodec
