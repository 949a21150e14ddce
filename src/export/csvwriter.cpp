#include "csvwriter.h"

#include "cvsdict.h"
#include "vcardcommon.h"

#include <QCoreApplication>
#include <QFuture>
#include <QThread>
#include <QIODevice>
#include <QtConcurrent/QtConcurrentRun>
#include <QStringEncoder>

#include <deque>
#include <optional>

namespace {

// Whether a spreadsheet could take the value for a formula: it starts with a tab or CR, or its
// first non-blank character is = + - @ (or their full-width forms). Numbers and phone numbers
// ("+49 170 1234", "-1,5") stay as they are: without letters a formula can neither call a
// function nor refer to a cell.
bool looksLikeFormula(const QString &text)
{
    if (text.isEmpty())
        return false;
    if (text.front() == u'\t' || text.front() == u'\r')
        return true;
    qsizetype first = 0;
    while (first < text.size() && text.at(first).isSpace())
        ++first;
    if (first == text.size())
        return false;
    switch (text.at(first).unicode()) {
    case u'+':
    case u'-':
        break;
    case u'=':
    case u'@':
    case 0xFF1D: // full-width = + - @
    case 0xFF0B:
    case 0xFF0D:
    case 0xFF20:
        return true;
    default:
        return false;
    }
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!(c >= u'0' && c <= u'9') && !QStringView(u" +-()./,").contains(c))
            return true;
    }
    return false;
}

} // namespace

struct CSVWriter::Private
{
    CSVFormat format;
    // Built in place (an ICU-backed converter keeps its state through its own address). Once an
    // ICU encoder has met a character it cannot hold it reports an error for every later text,
    // and resetting it does not work in Qt 6.4, so a piece's loss is found by reading its bytes
    // back instead.
    std::optional<QStringEncoder> encoder;
    std::optional<QStringDecoder> decoder; // only for encodings that can lose characters
    bool bom = false;
    QString noConversion = vCardCommon::getLocMsg(QStringLiteral("SE_NoConversion"));
    QString formed;    // the cell being formed
    QByteArray buffer; // the bytes of the last converted piece
    QIODevice *device = nullptr;
    bool ok = true;

    // Converts text into buffer; false (buffer undefined) when a character has no form in the
    // encoding.
    bool convert(QStringView text)
    {
        if (!decoder) {
            buffer.resize(encoder->requiredSpace(text.size()));
            buffer.resize(encoder->appendToBuffer(buffer.data(), text) - buffer.data());
            return true;
        }
        // Every encoding offered besides UTF-16 writes ASCII as ASCII.
        buffer.resize(text.size());
        char *out = buffer.data();
        for (QChar c : text) {
            if (c.unicode() >= 0x80) {
                buffer = encoder->encode(text);
                return QString(decoder->decode(buffer)) == text;
            }
            *out++ = char(c.unicode());
        }
        return true;
    }

    void put()
    {
        if (ok && !buffer.isEmpty())
            ok = device->write(buffer) == buffer.size();
    }

    // The cell between its enclosure, with what would break the line escaped or replaced.
    void enclose(const QString &raw)
    {
        formed.clear();
        // The apostrophe that keeps a formula text is part of the value, doubled like any other.
        const QString text = !format.rawValues && looksLikeFormula(raw) ? u'\'' + raw : raw;
        QChar quote;
        switch (format.enclosure) {
        case CSVFormat::Enclosure::SingleQuotes:
            quote = u'\'';
            break;
        case CSVFormat::Enclosure::DoubleQuotes:
        case CSVFormat::Enclosure::QuotedCSV:
            quote = u'"';
            break;
        case CSVFormat::Enclosure::Bare:
            for (qsizetype i = 0; i < text.size(); ++i) {
                const QChar c = text.at(i);
                if (c == u'\r' || c == u'\n' || (c != u' ' && format.separator.contains(c))) {
                    formed += u' ';
                    if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                        ++i;
                } else {
                    formed += c;
                }
            }
            return;
        }
        formed += quote;
        if (!text.contains(quote)) {
            formed += text;
        } else {
            for (QChar c : text) {
                if (c == quote)
                    formed += quote;
                formed += c;
            }
        }
        formed += quote;
    }

    // The bytes of a text into buffer: "SE_NullValue" for an absent text, "SE_NoConversion" for
    // one the encoding cannot hold, nothing when that cannot be converted either.
    void niceConvert(const QString &text)
    {
        if (text.isNull()) {
            if (!convert(vCardCommon::getLocMsg(QStringLiteral("SE_NullValue"))))
                buffer.clear();
        } else if (!convert(text) && !convert(noConversion)) {
            buffer.clear();
        }
    }

    void writeCell(const QString &text)
    {
        enclose(text);
        if (!convert(formed)) {
            enclose(noConversion);
            niceConvert(formed);
        }
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
    // UTF-16 in the machine's byte order. The others by name, ISO 8859-1 included: Qt's own
    // Latin-1 converter passes over characters it cannot hold.
    d->bom = name == QLatin1String("UTF-16");
    if (d->bom) {
        d->encoder.emplace(QStringConverter::Utf16);
    } else if (name == QLatin1String("UTF-8")) {
        d->encoder.emplace(QStringConverter::Utf8);
    } else {
        d->encoder.emplace(name.toLatin1().constData());
        d->decoder.emplace(name.toLatin1().constData());
    }
}

CSVWriter::~CSVWriter() = default;

bool CSVWriter::write(const CVSDict &table, QIODevice &device, const Progress &progress)
{
    d->device = &device;
    d->ok = d->encoder->isValid() && (!d->decoder || d->decoder->isValid());
    if (d->bom && d->convert(QStringView(u"\uFEFF")))
        d->put();
    const QStringList &names = table.columnNames();
    if (d->format.headerFirst)
        d->writeLine(names);
    // Reading records takes most of the time: the next blocks of rows are read on the other
    // cores while this one is written. A few blocks at most are held.
    constexpr qsizetype kBlock = 128;
    const qsizetype rows = table.rowCount();
    const auto readRows = [&table](qsizetype from, qsizetype to) {
        QList<QStringList> block;
        block.reserve(to - from);
        for (qsizetype r = from; r < to; ++r)
            block.append(table.row(r));
        return block;
    };
    const qsizetype ahead = std::clamp(QThread::idealThreadCount(), 1, 8);
    std::deque<QFuture<QList<QStringList>>> pending;
    qsizetype requested = 0;
    const auto request = [&] {
        while (requested < rows && qsizetype(pending.size()) < ahead) {
            const qsizetype to = std::min(requested + kBlock, rows);
            pending.push_back(QtConcurrent::run(readRows, requested, to));
            requested = to;
        }
    };
    request();
    for (qsizetype r = 0; r < rows;) {
        const QList<QStringList> block = pending.front().result();
        pending.pop_front();
        request();
        for (const QStringList &line : block) {
            d->writeLine(line);
            ++r;
            if (!d->ok || (progress && !progress(r, rows))) {
                for (auto &future : pending)
                    future.waitForFinished(); // they read the table
                return false;
            }
        }
    }
    if (d->format.headerLast)
        d->writeLine(names);
    d->device = nullptr;
    return d->ok;
}

ExportFileResult CSVWriter::writeFile(const CVSDict &table, const QString &path, const Progress &progress)
{
    if (!d->encoder->isValid() || (d->decoder && !d->decoder->isValid())) {
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
    d->niceConvert(text);
    return d->buffer;
}
