#include "csvformat.h"

#include <QList>
#include <QPair>

QString CSVFormat::encodingName(int tag)
{
    switch (tag) {
    case TagAscii:
        return QStringLiteral("US-ASCII");
    case TagLatin1:
        return QStringLiteral("ISO-8859-1");
    case TagLatin2:
        return QStringLiteral("ISO-8859-2");
    case TagMacRoman:
        return QStringLiteral("macintosh");
    case TagEucJP:
        return QStringLiteral("EUC-JP");
    case TagUtf8:
        return QStringLiteral("UTF-8");
    default:
        return QStringLiteral("UTF-16");
    }
}

int CSVFormat::tagForName(const QString &name)
{
    bool isNumber = false;
    const int number = name.toInt(&isNumber);
    if (isNumber)
        return number >= TagUtf16 && number <= TagUtf8 ? number : -1;
    const QString wanted = name.toLower().remove(u'-').remove(u'_');
    for (int tag : {TagUtf16, TagAscii, TagLatin1, TagLatin2, TagMacRoman, TagEucJP, TagUtf8}) {
        if (encodingName(tag).toLower().remove(u'-') == wanted)
            return tag;
    }
    static const QList<QPair<QString, int>> aliases = {
        {u"ascii"_qs, TagAscii},   {u"latin1"_qs, TagLatin1},    {u"latin2"_qs, TagLatin2},
        {u"macroman"_qs, TagMacRoman}, {u"utf16"_qs, TagUtf16}, {u"utf8"_qs, TagUtf8},
    };
    for (const auto &alias : aliases) {
        if (alias.first == wanted)
            return alias.second;
    }
    return -1;
}

bool CSVFormat::applyPreset(int preset)
{
    switch (preset) {
    case PresetOSXGeneric:
        lineEnd = kNewline;
        separator = kCommaSeparator;
        enclosure = Enclosure::DoubleQuotes;
        return true;
    case PresetClassicMac:
        lineEnd = kReturn;
        separator = kTabSeparator;
        return true;
    case PresetAppleWorks:
        lineEnd = kReturn;
        separator = kTabSeparator;
        enclosure = Enclosure::Bare;
        return true;
    case PresetOfficevX:
        lineEnd = kNewline;
        separator = kCommaSeparator;
        return true;
    case PresetSpreadsheet:
        lineEnd = kCRLF;
        separator = kPlainCommaSeparator;
        enclosure = Enclosure::QuotedCSV;
        headerFirst = true;
        headerLast = false;
        encodingTag = TagUtf8;
        return true;
    default:
        return false;
    }
}
