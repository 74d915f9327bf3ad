#include "base/config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>
#include <limits>
#include <optional>

namespace pexumo {

// A reader of our own rather than QSettings or inih: QSettings matches key names case-sensitively
// on Linux, while this file's names match in any case; inih cuts lines of 200 characters or more
// into a bogus next line, while "FormCaption" may hold 2047 characters; both read "010" as octal.

namespace {
// A config.ini is a few lines; anything read beyond this is not one we would use.
constexpr qint64 MaxConfigBytes = 1 << 20;
// Beyond this many days (about 270 years) the cut-off date would leave the range of the clock.
constexpr qint64 MaxJournalKeepDays = 100000;
// A day: a reading older than that is stale whatever the interval.
constexpr qint64 MaxStaleSeconds = 86400;
// A petabyte: more than any disk, so a larger value cannot wrap.
constexpr qint64 MaxMinFreeMB = 1000000000;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && isBlank(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && isBlank(v.back()))
        v.chop(1);
    return v;
}

// Values are UTF-8, or 8-bit text from an editor that writes the Windows code page; a value
// that is not valid UTF-8 is taken byte for byte as Latin-1 rather than shown with replacement
// marks.
QString decodeValue(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return text;
}

bool sameName(QByteArrayView a, QLatin1StringView b)
{
    return QLatin1StringView(a).compare(b, Qt::CaseInsensitive) == 0;
}

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

// Notepad and friends save as UTF-16 with a byte order mark; such a file is read as the same
// text in UTF-8. nullopt for any other file.
std::optional<QByteArray> utf16AsUtf8(QByteArrayView content)
{
    std::optional<QStringDecoder::Encoding> encoding;
    if (content.startsWith("\xFF\xFE"))
        encoding = QStringDecoder::Utf16LE;
    else if (content.startsWith("\xFE\xFF"))
        encoding = QStringDecoder::Utf16BE;
    if (!encoding)
        return std::nullopt;
    QStringDecoder decoder(*encoding); // drops the byte order mark
    return QString(decoder(content)).toUtf8();
}

// The next line of content, taken off its front. A line ends at CR LF, LF or a lone CR (the
// line end of old Mac editors).
QByteArrayView takeLine(QByteArrayView& content)
{
    qsizetype end = 0;
    while (end < content.size() && content[end] != '\n' && content[end] != '\r')
        ++end;
    const QByteArrayView line = content.first(end);
    qsizetype next = end;
    if (next < content.size())
        next += content.sliced(next).startsWith("\r\n") ? 2 : 1;
    content = content.sliced(next);
    return line;
}

// A value in one pair of double quotes means the text between them, blanks included.
QByteArrayView unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.sliced(1, value.size() - 2);
    return value;
}
} // namespace

std::optional<qint64> parseWholeNumber(QStringView text)
{
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    int base = 10;
    if (text.startsWith(u'$')) {
        base = 16;
        text = text.sliced(1);
    } else if (text.startsWith(u"0x") || text.startsWith(u"0X")) {
        base = 16;
        text = text.sliced(2);
    }
    if (text.isEmpty())
        return std::nullopt;
    // The magnitude in unsigned 64 bits, so that the most negative value still fits.
    constexpr quint64 limit = quint64(std::numeric_limits<qint64>::max()) + 1;
    quint64 magnitude = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        int digit = -1;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (base == 16 && u >= u'a' && u <= u'f')
            digit = u - u'a' + 10;
        else if (base == 16 && u >= u'A' && u <= u'F')
            digit = u - u'A' + 10;
        if (digit < 0)
            return std::nullopt;
        if (magnitude > (limit - quint64(digit)) / quint64(base))
            return std::nullopt;
        magnitude = magnitude * quint64(base) + quint64(digit);
    }
    if (!negative && magnitude == limit)
        return std::nullopt;
    if (negative)
        return magnitude == limit ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
    return qint64(magnitude);
}

std::optional<QString> ConfigSection::value(QLatin1StringView key) const
{
    for (const auto& [name, value] : m_keys)
        if (sameName(name, key))
            return value;
    return std::nullopt;
}

void ConfigSection::add(QByteArrayView key, const QString& value)
{
    if (!this->value(QLatin1StringView(key)))
        m_keys.emplace_back(key.toByteArray(), value);
}

ConfigSection parseConfigSection(QByteArrayView content, QLatin1StringView section)
{
    if (const std::optional<QByteArray> utf8 = utf16AsUtf8(content))
        return parseConfigSection(*utf8, section);
    ConfigSection keys;
    if (content.contains('\0'))
        return keys;

    bool inSection = false;
    while (!content.isEmpty()) {
        QByteArrayView line = takeLine(content);
        // A UTF-8 byte order mark: at the start of the file, or of a file pasted onto another.
        if (line.startsWith(Utf8Bom))
            line = line.sliced(3);
        line = trimmed(line);

        if (line.isEmpty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            inSection = close > 0 && sameName(trimmed(line.sliced(1, close - 1)), section);
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        keys.add(trimmed(line.first(eq)), decodeValue(unquoted(trimmed(line.sliced(eq + 1)))));
    }
    return keys;
}

AppConfig parseConfig(QByteArrayView content)
{
    const ConfigSection keys = parseConfigSection(content, QLatin1StringView("Pexumo"));
    AppConfig config;
    // Text that is not a whole number counts as 0.
    if (const auto value = keys.value(QLatin1StringView("ChangeDecimal")))
        config.changeDecimal = parseWholeNumber(*value).value_or(0) == 1;
    if (const auto value = keys.value(QLatin1StringView("FormCaption")))
        config.formCaption = value->left(MaxFormCaptionLength);
    // Only an explicit 0 turns it off: a typo must not quietly end unattended runs.
    if (const auto value = keys.value(QLatin1StringView("AutoReconnect")))
        config.autoReconnect = parseWholeNumber(*value) != std::optional<qint64>(0);
    if (const auto value = keys.value(QLatin1StringView("StaleSeconds"))) {
        const std::optional<qint64> seconds = parseWholeNumber(*value);
        if (seconds && *seconds >= 0)
            config.staleSeconds = int(std::min<qint64>(*seconds, MaxStaleSeconds));
    }
    if (const auto value = keys.value(QLatin1StringView("Journal")))
        config.journal = parseWholeNumber(*value).value_or(1) != 0;
    if (const auto value = keys.value(QLatin1StringView("JournalFile")))
        config.journalFile = *value;
    if (const auto value = keys.value(QLatin1StringView("JournalKeepDays"))) {
        const std::optional<qint64> days = parseWholeNumber(*value);
        if (days && *days >= 0)
            config.journalKeepDays = int(std::min<qint64>(*days, MaxJournalKeepDays));
    }
    if (const auto value = keys.value(QLatin1StringView("MinFreeMB"))) {
        const std::optional<qint64> megabytes = parseWholeNumber(*value);
        if (megabytes && *megabytes >= 0)
            config.minFreeMB = int(std::min<qint64>(*megabytes, MaxMinFreeMB));
    }
    return config;
}

namespace {
QByteArray readConfigBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(MaxConfigBytes);
}
} // namespace

AppConfig readConfig(const QString& path)
{
    return parseConfig(readConfigBytes(path));
}

ConfigSection readConfigSection(const QString& path, QLatin1StringView section)
{
    return parseConfigSection(readConfigBytes(path), section);
}

QString defaultConfigPath()
{
    return QDir::current().filePath(QLatin1StringView(ConfigFileName));
}

QString journalPathOf(const AppConfig& config, const QString& configPath)
{
    if (!config.journalFile.isEmpty())
        return QFileInfo(configPath).absoluteDir().absoluteFilePath(config.journalFile);
    // The data folder is named after the application: "Pexumo" in every program of ours.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Pexumo/journal.sqlite"));
}

} // namespace pexumo
