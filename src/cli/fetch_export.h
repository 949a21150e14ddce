#pragma once

#include <QString>
#include <QStringList>

class ArchivedRecords;
class QTextStream;

// zorbix-cli fetch's export options: --csv FILE [--preset 0-4] [--encoding TAG|NAME]
// [--header first|last|none] [--raw-values] and --vcf FILE, written from the downloaded records.
class FetchExport
{
public:
    // Takes the option at args[i] and its value (i moves past it); false when args[i] is not one
    // of ours. A missing or bad value is put into error.
    bool takeOption(const QStringList &args, qsizetype &i, QString *error);
    static const char *help();
    // Writes the files asked for: CliOk, or CliFailure after a line on err.
    int run(const ArchivedRecords &records, QTextStream &out, QTextStream &err) const;

private:
    QString m_csvFile;
    QString m_vcfFile;
    int m_preset = 4; // the spreadsheet layout: what CSV readers expect today
    int m_encoding = -1;
    QString m_header;
    bool m_rawValues = false;
};
