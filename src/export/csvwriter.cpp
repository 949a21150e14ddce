#include "csvwriter.h"

#include "cvsdict.h"
#include "vcardcommon.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QStringEncoder>

struct CSVWriter::Private
{
    CSVFormat format;
    QStringEncoder encoder;
    bool bom = false;
    QString noConversion = vCardCommon::getLocMsg(QStringLiteral("SE_NoConversion"));
    QString formed;     // the cell being formed
    QByteArray buffer;  // its bytes
    QIODevice *device = nullptr;
    bool ok = true;

    // Converts text into buffer; false (buffer undefined) when a character has no form in the
    // encoding.
    bool convert(QStringView text)
    {
        buffer.resize(encoder.requiredSpace(text.size()));
        char *end = encoder.appendToBuffer(buffer.data(), text);
        if (encoder.hasError()) {
            encoder.resetState();
            return false;
        }
        buffer.resize(end - buffer.data());
        return true;
    }

    void put()
    {
        if (ok && !buffer.isEmpty())
            ok = device->write(buffer) == buffer.size();
    }

    // The cell between its enclosure.
    void enclose(const QString &text)
    {
        formed.clear();
        switch (format.enclosure) {
        case CSVFormat::Enclosure::SingleQuotes:
            formed += u'\'' + text + u'\'';
            break;
        case CSVFormat::Enclosure::DoubleQuotes:
            formed += u'"' + text + u'"';
            break;
        case CSVFormat::Enclosure::Bare:
            formed += text;
            break;
        case CSVFormat::Enclosure::QuotedCSV:
            formed += u'"';
            for (QChar c : text) {
                if (c == u'"')
                    formed += u'"';
                formed += c;
            }
            formed += u'"';
            break;
        }
    }

    void writeCell(const QString &text)
    {
        enclose(text);
        if (convert(formed)) {
            put();
            return;
        }
        enclose(noConversion);
        if (convert(formed) || convert(noConversion))
            put();
    }

    void writeLine(const QStringList &cells)
    {
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0 && convert(format.separator))
                put();
            writeCell(cells.at(i));
        }
        if (convert(format.lineEnd))
            put();
    }
};

CSVWriter::CSVWriter(const CSVFormat &format) : d(std::make_unique<Private>())
{
    d->format = format;
    const QString name = CSVFormat::encodingName(format.encodingTag);
    if (name == QLatin1String("UTF-16")) {
        d->encoder = QStringEncoder(QStringConverter::Utf16);
        d->bom = true;
    } else if (name == QLatin1String("UTF-8")) {
        d->encoder = QStringEncoder(QStringConverter::Utf8);
    } else if (name == QLatin1String("ISO-8859-1")) {
        d->encoder = QStringEncoder(QStringConverter::Latin1);
    } else {
        d->encoder = QStringEncoder(name.toLatin1().constData());
    }
}

CSVWriter::~CSVWriter() = default;

bool CSVWriter::write(const CVSDict &table, QIODevice &device, const Progress &progress)
{
    d->device = &device;
    d->ok = d->encoder.isValid();
    if (d->bom && d->convert(QStringView(u"\uFEFF")))
        d->put();
    const QStringList &names = table.columnNames();
    if (d->format.headerFirst)
        d->writeLine(names);
    const qsizetype rows = table.rowCount();
    for (qsizetype r = 0; r < rows && d->ok; ++r) {
        d->writeLine(table.row(r));
        if (progress && !progress(r + 1, rows))
            return false;
    }
    if (d->format.headerLast)
        d->writeLine(names);
    d->device = nullptr;
    return d->ok;
}

ExportFileResult CSVWriter::writeFile(const CVSDict &table, const QString &path, const Progress &progress)
{
    if (!d->encoder.isValid()) {
        // Only a Qt built without ICU lacks one of our encodings.
        ExportFileResult result;
        result.outcome = ExportFileResult::CannotOpen;
        result.error = QCoreApplication::translate("CSVWriter", "the encoding %1 is not available")
                           .arg(CSVFormat::encodingName(d->format.encodingTag));
        return result;
    }
    return writeExportFile(path, [&](QIODevice &device) { return write(table, device, progress); });
}

bool CSVWriter::isStringEncodeable(const QString &text)
{
    return !text.isNull() && d->convert(text);
}

QByteArray CSVWriter::niceConvertString(const QString &text)
{
    if (text.isNull())
        return d->convert(vCardCommon::getLocMsg(QStringLiteral("SE_NullValue"))) ? d->buffer : QByteArray();
    if (d->convert(text) || d->convert(d->noConversion))
        return d->buffer;
    return QByteArray();
}
