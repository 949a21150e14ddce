#pragma once

#include <QString>

// How a column table is written: enclosure, separator, line end, header line and encoding.
// The defaults are what an export gives when no control of a group is chosen.
struct CSVFormat
{
    // An enclosure character inside a value is doubled; a bare value has the characters that
    // would end its cell or line (CR, LF, the separator's own) replaced by a blank.
    enum class Enclosure {
        SingleQuotes, // 'value'
        DoubleQuotes, // "value"
        Bare,         // value
        QuotedCSV,    // "value" (RFC 4180; the same cells as DoubleQuotes)
    };

    // Encoding tags as the encoding list carries them. 0, 2 and any unknown tag mean UTF-16.
    enum EncodingTag : int {
        TagUtf16 = 0,
        TagAscii = 1,
        TagUtf16Too = 2,
        TagLatin1 = 3,
        TagLatin2 = 4,
        TagMacRoman = 5,
        TagEucJP = 6,
        TagUtf8 = 7,
    };

    // The presets by number; the first four are the classic layouts.
    enum Preset : int {
        PresetOSXGeneric = 0,
        PresetClassicMac = 1,
        PresetAppleWorks = 2,
        PresetOfficevX = 3,
        PresetSpreadsheet = 4,
        PresetCount = 5,
    };

    static inline const QString kCommaSeparator = QStringLiteral(" , ");
    static inline const QString kPlainCommaSeparator = QStringLiteral(",");
    static inline const QString kTabSeparator = QStringLiteral("\t");
    static inline const QString kNewline = QStringLiteral("\n");
    static inline const QString kReturn = QStringLiteral("\r");
    static inline const QString kCRLF = QStringLiteral("\r\n");

    Enclosure enclosure = Enclosure::SingleQuotes;
    QString separator = kCommaSeparator;
    QString lineEnd = kReturn;
    bool headerFirst = false;
    bool headerLast = false;
    int encodingTag = TagUtf8;
    // Off: a cell that a spreadsheet would take for a formula gets a leading apostrophe.
    bool rawValues = false;

    // The encoder name for a tag (an ICU/Qt name); every unknown tag gives "UTF-16".
    static QString encodingName(int tag);
    // The tag of a tag number or an encoding name ("utf-8", "ISO-8859-1", "latin1", ...);
    // -1 when neither.
    static int tagForName(const QString &name);

    // Applies a preset's line end, separator and enclosure (and, for the spreadsheet preset, its
    // header and encoding). Returns false for an unknown number, which changes nothing.
    bool applyPreset(int preset);
};
