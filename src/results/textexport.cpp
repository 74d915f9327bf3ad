#include "results/textexport.h"

#include <QFileInfo>
#include <QSaveFile>

namespace pexumo {

namespace {
enum Field
{
    TimeOrNo,
    Type,
    Value,
    Unit,
    Temp,
    TempUnit
};

void appendSampleLine(QByteArray& out, const ResultListModel::PackedRecord& row, bool withTemp)
{
    out.append(row.texts[TimeOrNo]).append("    ");
    out.append(row.texts[Type]).append("    ");
    out.append(row.texts[Value]).append("    ");
    out.append(row.texts[Unit]);
    if (withTemp) {
        out.append("    ").append(row.texts[Temp]).append("    ");
        const QByteArrayView unit = row.texts[TempUnit];
        if (unit == "C")
            out.append(" C");
        else if (unit == "F")
            out.append(" F");
    }
    out.append("\r\n");
}

void appendDownloadedLine(QByteArray& out, const ResultListModel::PackedRecord& row)
{
    out.append(row.texts[TimeOrNo]).append("   ");
    out.append(row.texts[Type]).append(row.sign == -1 ? "   -" : "   ");
    out.append(row.texts[Value]).append("   ");
    out.append(row.texts[Unit]).append("   ");
    out.append(row.texts[Temp]).append("   ");
    out.append(row.texts[TempUnit]).append("\r\n");
}
} // namespace

QByteArray exportBytes(const ResultListModel& list)
{
    // Rows are stored oldest first, which is the file's order for every kind of list.
    const qsizetype rows = list.size();
    QByteArray out;
    // The widest layout adds 21 blanks, a minus or " C", and CR LF to the texts of a row.
    out.reserve(list.storedBytes() + rows * 25);

    for (qsizetype i = 0; i < rows; ++i) {
        const auto row = list.packedInOrder(i);
        switch (list.kind()) {
        case ListKind::Sample:
            appendSampleLine(out, row, true);
            break;
        case ListKind::Orp:
            appendSampleLine(out, row, false);
            break;
        case ListKind::Downloaded:
            if (row.sign == 1 || row.sign == -1)
                appendDownloadedLine(out, row);
            break;
        }
    }
    return out;
}

QString withTxtExtension(const QString& path)
{
    if (path.contains(QLatin1String(".txt"), Qt::CaseSensitive))
        return path;
    return path + QLatin1String(".txt");
}

WriteResult writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {false,
                QStringLiteral("Cannot create file %1").arg(QFileInfo(path).absoluteFilePath())};
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return {false, QStringLiteral("Stream write error")};
    }
    if (!file.commit()) {
        // The bytes are complete in the temporary file but could not take the final name.
        if (file.error() == QFileDevice::RenameError)
            return {
                false,
                QStringLiteral("Cannot create file %1").arg(QFileInfo(path).absoluteFilePath())};
        return {false, QStringLiteral("Stream write error")};
    }
    return {true, {}};
}

} // namespace pexumo
