#include "fetch_export.h"

#include "commands.h"
#include "csvformat.h"
#include "csvwriter.h"
#include "cvsdict.h"
#include "vcardexport.h"

#include <QTextStream>

bool FetchExport::takeOption(const QStringList &args, qsizetype &i, QString *error)
{
    const QString &option = args.at(i);
    if (option == QLatin1String("--raw-values")) {
        m_rawValues = true;
        return true;
    }
    static const QStringList ours = {u"--csv"_qs, u"--vcf"_qs, u"--preset"_qs, u"--encoding"_qs, u"--header"_qs};
    if (!ours.contains(option))
        return false;
    if (i + 1 >= args.size()) {
        *error = option + u" needs a value"_qs;
        return true;
    }
    const QString value = args.at(++i);
    if (option == QLatin1String("--csv")) {
        m_csvFile = value;
    } else if (option == QLatin1String("--vcf")) {
        m_vcfFile = value;
    } else if (option == QLatin1String("--preset")) {
        bool ok = false;
        m_preset = value.toInt(&ok);
        if (!ok || m_preset < 0 || m_preset >= CSVFormat::PresetCount)
            *error = u"--preset takes a number from 0 to 4"_qs;
    } else if (option == QLatin1String("--encoding")) {
        m_encoding = CSVFormat::tagForName(value);
        if (m_encoding < 0)
            *error = u"--encoding takes a tag from 0 to 7 or one of UTF-8, UTF-16, US-ASCII, ISO-8859-1, "
                     "ISO-8859-2, macintosh, EUC-JP"_qs;
    } else {
        m_header = value;
        if (value != QLatin1String("first") && value != QLatin1String("last") && value != QLatin1String("none"))
            *error = u"--header takes first, last or none"_qs;
    }
    return true;
}

const char *FetchExport::help()
{
    return "  --csv FILE         write the records as CSV (replaced only when completely written)\n"
           "  --preset 0-4       CSV layout: 0 OS X (LF, ' , ', \"..\"), 1 Mac OS 9 (CR, tab),\n"
           "                     2 AppleWorks (CR, tab, bare), 3 MS Office v.X (LF, ' , '),\n"
           "                     4 spreadsheet, RFC 4180 (CRLF, ',', quoted, header, UTF-8; default)\n"
           "  --encoding TAG|NAME  0/2 UTF-16, 1 US-ASCII, 3 ISO-8859-1, 4 ISO-8859-2,\n"
           "                     5 macintosh, 6 EUC-JP, 7 UTF-8 (default)\n"
           "  --header first|last|none  where the line of column names goes\n"
           "  --raw-values       write values that start like a formula (=, +, -, @) unchanged;\n"
           "                     without it they get a leading ' so spreadsheets show them as text\n"
           "  --vcf FILE         write the persons as one vCard 3.0 file\n";
}

int FetchExport::run(const ArchivedRecords &records, QTextStream &out, QTextStream &err) const
{
    if (!m_csvFile.isEmpty()) {
        CSVFormat format;
        // Presets 0 to 3 keep the enclosure and header of the defaults where they leave them.
        format.applyPreset(m_preset);
        if (m_encoding >= 0)
            format.encodingTag = m_encoding;
        if (!m_header.isEmpty()) {
            format.headerFirst = m_header == QLatin1String("first");
            format.headerLast = m_header == QLatin1String("last");
        }
        format.rawValues = m_rawValues;
        const CVSDict table(records);
        const ExportFileResult result = CSVWriter(format).writeFile(table, m_csvFile);
        if (!result.ok()) {
            err << "zorbix-cli fetch: cannot write " << m_csvFile << ": " << result.error << '\n';
            return CliFailure;
        }
        out << table.rowCount() << " rows, " << table.columnNames().size() << " columns written to " << m_csvFile
            << '\n';
        if (table.omittedColumns() > 0)
            err << "zorbix-cli fetch: " << table.omittedColumns() << " columns of fields the address book does not know"
                << " left out (a file keeps " << CVSDict::kMaxOtherColumns << " of them)\n";
    }
    if (!m_vcfFile.isEmpty()) {
        qsizetype cards = 0;
        const ExportFileResult result = VCardExport::writeFile(records, m_vcfFile, &cards);
        if (!result.ok()) {
            err << "zorbix-cli fetch: cannot write " << m_vcfFile << ": " << result.error << '\n';
            return CliFailure;
        }
        out << cards << " vCards written to " << m_vcfFile << '\n';
    }
    return CliOk;
}
