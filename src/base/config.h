#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace pexumo {

/// The configuration file's name, looked up in the process's working directory (not beside the
/// program).
inline constexpr char ConfigFileName[] = "config.ini";

/// config.ini in the working directory, as every Pexumo program reads it unless told otherwise.
QString defaultConfigPath();

/// The longest title-bar text taken from "FormCaption"; a longer value is cut to this length.
inline constexpr int MaxFormCaptionLength = 2047;

/// Days a fully saved session stays in the journal unless "JournalKeepDays" says otherwise.
inline constexpr int DefaultJournalKeepDays = 30;

/// Seconds a live reading may be old and still be sampled, unless "StaleSeconds" says otherwise.
inline constexpr int DefaultStaleSeconds = 10;

/// Megabytes that must stay free on the journal's file system unless "MinFreeMB" says
/// otherwise: below them the disk alarm rises.
inline constexpr int DefaultMinFreeMB = 200;

/// What config.ini sets: section [Pexumo], keys "ChangeDecimal", "FormCaption",
/// "AutoReconnect" and "StaleSeconds", and for the journal "Journal", "JournalFile",
/// "JournalKeepDays" and "MinFreeMB".
struct AppConfig
{
    bool changeDecimal = false; ///< "ChangeDecimal" was exactly 1: decimal comma, "." thousands
    QString formCaption;        ///< main window title; empty when not set
    /// "AutoReconnect": on unless exactly 0; after a lost line the window then waits for the same
    /// meter to come back and goes on with the run.
    bool autoReconnect = true;
    /// "StaleSeconds": a tick samples the meter's reading only when it arrived at most this many
    /// seconds ago; 0 samples it however old it is. A negative value or text that is no number
    /// keeps the default.
    int staleSeconds = DefaultStaleSeconds;
    /// "Journal": only a value that reads as the number 0 turns the journal off; text that is
    /// no number leaves it on, so a slip of the keyboard never costs the crash safety.
    bool journal = true;
    QString journalFile{}; ///< "JournalFile": the journal's path instead of the default; "" for it
    /// "JournalKeepDays": days a session whose rows were all saved is kept; a negative value or
    /// text that is no number keeps the default.
    int journalKeepDays = DefaultJournalKeepDays;
    /// "MinFreeMB": the disk alarm rises when the journal's file system has fewer megabytes
    /// free; 0 turns it off; a negative value or text that is no number keeps the default.
    int minFreeMB = DefaultMinFreeMB;

    friend bool operator==(const AppConfig&, const AppConfig&) = default;
};

/// The keys of one section of a configuration file, each name with the value of its first line:
/// decoded and unquoted as parseConfig() describes.
class ConfigSection
{
public:
    /// The value of \a key, whose name matches in any letter case; nullopt when the section does
    /// not set it.
    std::optional<QString> value(QLatin1StringView key) const;
    /// Adds \a key unless a key of that name (in any case) came first.
    void add(QByteArrayView key, const QString& value);

private:
    std::vector<std::pair<QByteArray, QString>> m_keys; ///< in file order, a few per file
};

/// Parses the keys of the section named \a section (in any case) from the bytes of an INI file,
/// by the rules of parseConfig(). A binary file gives an empty section.
ConfigSection parseConfigSection(QByteArrayView content, QLatin1StringView section);

/// The section \a section of the configuration file at \a path; empty for a missing, unreadable
/// or binary file.
ConfigSection readConfigSection(const QString& path, QLatin1StringView section);

/// Reads the configuration file at \a path. A missing, unreadable or binary file gives the
/// defaults; never throws.
AppConfig readConfig(const QString& path);

/// Parses the bytes of an INI file. Section and key names match regardless of letter case; the
/// first [Pexumo] key of a name counts; ";" and "#" start comment lines; blanks around names,
/// "=" and values are dropped; a value in one pair of double quotes means the text inside
/// (FormCaption=" Lab 3 " keeps its blanks). Lines end at CR LF, LF or CR. The file is UTF-8
/// (with or without a byte order mark, also on a later line), 8-bit text, or UTF-16 with its
/// byte order mark. Text with a NUL character is taken for a binary file and gives the defaults.
AppConfig parseConfig(QByteArrayView content);

/// The journal file \a config names: its "JournalFile", relative to the folder of the file it was
/// read from (\a configPath), or else journal.sqlite in this user's data folder
/// (~/.local/share/Pexumo, or under $XDG_DATA_HOME). Whether "Journal" turned the journal off is
/// the caller's to ask.
QString journalPathOf(const AppConfig& config, const QString& configPath);

/// Reads a whole number the way the configuration's integers are written: optional sign, then
/// decimal digits, or hexadecimal digits after "$", "0x" or "0X" ("010" is ten, not octal).
/// Blanks around it are allowed; nullopt for anything else or a value beyond 64 bits.
std::optional<qint64> parseWholeNumber(QStringView text);

} // namespace pexumo
