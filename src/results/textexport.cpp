#include "results/textexport.h"

#include "results/savedrows.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace pexumo {

namespace {
using enum ResultListModel::PackedRecord::Field;

// Appends to a buffer sized beforehand for the whole file: one pass over the rows, no
// reallocation and no per-line allocation, which keeps a million-row save well under a second.
class LineWriter
{
public:
    explicit LineWriter(char* at) : m_at(at) {}

    LineWriter& operator<<(QByteArrayView text)
    {
        if (!text.isEmpty()) {
            std::memcpy(m_at, text.data(), static_cast<std::size_t>(text.size()));
            m_at += text.size();
        }
        return *this;
    }
    template <std::size_t N> LineWriter& operator<<(const char (&literal)[N])
    {
        std::memcpy(m_at, literal, N - 1);
        m_at += N - 1;
        return *this;
    }
    char* position() const { return m_at; }

private:
    char* m_at;
};

void writeSampleLine(LineWriter& out, const ResultListModel::PackedRecord& row, bool withTemp)
{
    out << row.texts[TimeOrNo] << "    " << row.texts[Type] << "    " << row.texts[Value] << "    "
        << row.texts[Unit];
    if (withTemp) {
        out << "    " << row.texts[Temp] << "    ";
        const QByteArrayView unit = row.texts[TempUnit];
        if (unit == "C")
            out << " C";
        else if (unit == "F")
            out << " F";
    }
    out << "\r\n";
}

void writeDownloadedLine(LineWriter& out, const ResultListModel::PackedRecord& row)
{
    out << row.texts[TimeOrNo] << "   " << row.texts[Type] << (row.sign == -1 ? "   -" : "   ")
        << row.texts[Value] << "   " << row.texts[Unit] << "   " << row.texts[Temp] << "   "
        << row.texts[TempUnit] << "\r\n";
}
} // namespace

QByteArray exportBytes(const ResultListModel& list)
{
    const qsizetype rows = list.size();
    QByteArray out;
    // The texts take at most storedBytes(); the widest layout adds 21 blanks, a minus or " C"
    // and CR LF to them.
    out.resize(list.storedBytes() + rows * 25);
    LineWriter writer(out.data());

    forEachSavedRow(
        list, [&](const auto& row, bool withTemp) { writeSampleLine(writer, row, withTemp); },
        [&](const auto& row) { writeDownloadedLine(writer, row); });
    out.truncate(writer.position() - out.constData());
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
    const auto cannotCreate = [&path] {
        return WriteResult{
            false, QStringLiteral("Cannot create file %1").arg(QFileInfo(path).absoluteFilePath())};
    };
    const WriteResult writeError{false, QStringLiteral("Stream write error")};

    QSaveFile file(path);
    // A folder that lets the file be rewritten but no new file be made in it gets the bytes
    // written in place: the only way to save there at all.
    file.setDirectWriteFallback(true);
    // Unbuffered: every byte reaches the file inside write(), where a full disk is reported.
    // A buffered QSaveFile writes short data only in commit(), which ignores that failure and
    // puts an empty or cut file in place of the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return cannotCreate();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return writeError;
    }
    // Some file systems report a lost write only when it is forced out; commit() syncs too,
    // but does not look at the outcome. EINVAL: the file system has nothing to sync.
    if (::fsync(file.handle()) != 0 && errno != EINVAL) {
        file.cancelWriting();
        return writeError;
    }
    if (!file.commit()) {
        // The bytes are complete in the temporary file but could not take the final name.
        if (file.error() == QFileDevice::RenameError)
            return cannotCreate();
        return writeError;
    }
    return {true, {}};
}

} // namespace pexumo
