#include "results/csvexport.h"

#include "results/localstamp.h"
#include "results/savedrows.h"

#include <array>

namespace pexumo {

namespace {
using enum ResultListModel::PackedRecord::Field;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

class CsvWriter
{
public:
    CsvWriter(QByteArray& out, NumberFormat format)
        : m_out(out), m_comma(format.decimal == u','), m_separator(m_comma ? ';' : ','),
          m_decimal(m_comma ? ',' : '.'), m_storedDecimal(QString(format.decimal).toUtf8())
    {
    }

    void header(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            text(QByteArrayView(name));
        endLine();
    }

    /// A field as stored, quoted when it would otherwise break the line apart.
    void text(QByteArrayView value)
    {
        separate();
        bool quote = false;
        for (char c : value) {
            if (c == m_separator || c == '"' || c == '\r' || c == '\n') {
                quote = true;
                break;
            }
        }
        if (!quote) {
            m_out.append(value);
            return;
        }
        m_out.append('"');
        for (char c : value) {
            if (c == '"')
                m_out.append('"');
            m_out.append(c);
        }
        m_out.append('"');
    }

    /// A number field: \a value, negated by a leading "-" when \a negate, with its decimal
    /// separator turned into the file's. Anything but optional "-", digits and at most one
    /// separator followed by digits is no number and goes out as text ("-" and all).
    void number(QByteArrayView value, bool negate = false)
    {
        const qsizetype start = value.startsWith('-') ? 1 : 0;
        qsizetype i = start;
        while (i < value.size() && isDigit(value[i]))
            ++i;
        const qsizetype wholeEnd = i;
        qsizetype fractionStart = -1;
        if (wholeEnd > start && i < value.size()) {
            qsizetype separatorSize = 0;
            if (value[i] == '.' || value[i] == ',')
                separatorSize = 1;
            else if (!m_storedDecimal.isEmpty() && value.sliced(i).startsWith(m_storedDecimal))
                separatorSize = m_storedDecimal.size();
            if (separatorSize > 0) {
                i += separatorSize;
                fractionStart = i;
                while (i < value.size() && isDigit(value[i]))
                    ++i;
            }
        }
        const bool plain =
            wholeEnd > start && i == value.size() && fractionStart != i && !(negate && start == 1);
        if (!plain) {
            if (!negate) {
                text(value);
                return;
            }
            QByteArray signedText("-");
            signedText.append(value);
            text(signedText);
            return;
        }
        separate();
        if (negate)
            m_out.append('-');
        m_out.append(value.first(wholeEnd));
        if (fractionStart >= 0) {
            m_out.append(m_decimal);
            m_out.append(value.sliced(fractionStart));
        }
    }

    void empty() { separate(); }

    void endLine()
    {
        m_out.append("\r\n", 2);
        m_first = true;
    }

private:
    void separate()
    {
        if (!m_first)
            m_out.append(m_separator);
        m_first = false;
    }

    QByteArray& m_out;
    bool m_comma;
    char m_separator;
    char m_decimal;
    QByteArray m_storedDecimal;
    bool m_first = true;
};

void writeSampleRow(CsvWriter& out, const ResultListModel::PackedRecord& row, bool withTemp)
{
    std::array<char, 19> stamp{};
    if (writeLocalStamp(row.stampMs, row.utcOffsetSec, stamp)) {
        out.text(QByteArrayView(stamp.data(), 10));
        out.text(QByteArrayView(stamp.data() + 11, 8));
    } else {
        // No instant (a row from before dates were kept): the time of day is all there is.
        out.empty();
        out.text(row.texts[TimeOrNo]);
    }
    out.text(row.texts[Type]);
    out.number(row.texts[Value]);
    out.text(row.texts[Unit]);
    if (withTemp) {
        out.number(row.texts[Temp]);
        out.text(row.texts[TempUnit]);
    } else {
        out.empty();
        out.empty();
    }
    out.endLine();
}

void writeDownloadedRow(CsvWriter& out, const ResultListModel::PackedRecord& row)
{
    out.number(row.texts[TimeOrNo]);
    out.text(row.texts[Type]);
    out.number(row.texts[Value], row.sign == -1);
    out.text(row.texts[Unit]);
    out.number(row.texts[Temp]);
    out.text(row.texts[TempUnit]);
    std::array<char, 19> stamp{};
    if (writeLocalStamp(row.stampMs, row.utcOffsetSec, stamp))
        out.text(QByteArrayView(stamp.data(), static_cast<qsizetype>(stamp.size())));
    else
        out.empty();
    out.endLine();
}
} // namespace

QByteArray exportCsvBytes(const ResultListModel& list, NumberFormat format)
{
    const qsizetype rows = list.size();
    QByteArray out;
    // Texts, a 19-character date and time, separators, a minus and CR LF; quoting is rare.
    out.reserve(64 + list.storedBytes() + rows * 32);
    CsvWriter writer(out, format);
    if (list.kind() == ListKind::Downloaded)
        writer.header(
            {"Record", "Type", "Value", "Unit", "Temperature", "Temperature unit", "Received"});
    else
        writer.header({"Date", "Time", "Type", "Value", "Unit", "Temperature", "Temperature unit"});

    forEachSavedRow(
        list, [&](const auto& row, bool withTemp) { writeSampleRow(writer, row, withTemp); },
        [&](const auto& row) { writeDownloadedRow(writer, row); });
    return out;
}

QString withCsvExtension(const QString& path)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return path;
    return path + QLatin1String(".csv");
}

} // namespace pexumo
