#pragma once

#include "base/numberformat.h"
#include "results/listid.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

class QSettings;

namespace pexumo {

/// What an alarm limit can watch: the seven measured parameters, numbered as Parameter, and
/// the temperature every reading but a millivolt one carries.
enum class AlarmParameter
{
    PH,
    ORP,
    COND,
    TDS,
    Salt,
    DO,
    O2,
    Temp
};

inline constexpr int AlarmParameterCount = 8;

inline constexpr std::array<AlarmParameter, AlarmParameterCount> AllAlarmParameters{
    AlarmParameter::PH,   AlarmParameter::ORP, AlarmParameter::COND, AlarmParameter::TDS,
    AlarmParameter::Salt, AlarmParameter::DO,  AlarmParameter::O2,   AlarmParameter::Temp};

constexpr AlarmParameter alarmParameterOf(Parameter parameter)
{
    return static_cast<AlarmParameter>(static_cast<int>(parameter));
}

constexpr std::size_t indexOf(AlarmParameter parameter)
{
    return static_cast<std::size_t>(parameter);
}

/// The parameter's name as lists, settings keys and alarm texts write it: "pH", "ORP",
/// "COND", "TDS", "Salt", "DO", "O2", "Temp".
QString alarmParameterName(AlarmParameter parameter);

/// The parameter of a name, in any letter case; none when there is none.
std::optional<AlarmParameter> alarmParameterFromName(QStringView name);

/// The unit of the parameter's limits and alarm values: the meter's smaller unit where it has
/// two, because the routed value is scaled to it ("us" for COND, "ppm" for TDS and Salt), and
/// "C" for Temp (a Fahrenheit reading is converted). "pH", "mV", "us", "ppm", "ppm", "mg/L",
/// "%", "C".
QString alarmUnit(AlarmParameter parameter);

/// A value as alarm texts show it: with the meter's decimals where its display has a fixed
/// resolution (pH and DO 2, O2 and Temp 1: "3.10", "25.3"), else the shortest text ("1410").
QString alarmValueText(AlarmParameter parameter, double value,
                       NumberFormat format = NumberFormat::current());

/// A limit as alarm texts show it: its shortest text, with at least one decimal for the
/// parameters the meter shows with decimals ("4.0" mg/L, "6.5" pH, "1500" us).
QString alarmLimitText(AlarmParameter parameter, double limit,
                       NumberFormat format = NumberFormat::current());

/// The limits of one parameter; either side may be open. A value equal to a limit is inside.
struct AlarmLimit
{
    std::optional<double> low;
    std::optional<double> high;

    bool isSet() const { return low || high; }
    friend bool operator==(const AlarmLimit&, const AlarmLimit&) = default;
};

/// The text form of a limit in the settings file: "4..", "6.5..8.5", "..1500", always with
/// "." as the decimal point; "" when neither side is set.
QString limitText(const AlarmLimit& limit);

/// Reads a limit number: an optional sign, digits and one "." or "," as the decimal point,
/// blanks around it; no exponent, no thousands separator. Nothing for any other text.
std::optional<double> readLimitNumber(QStringView text);

/// Reads the text form of a limit ("LOW..HIGH", either side may be empty, either decimal
/// point). An empty text is no limit. Nothing when the text is not a limit, or when low is not
/// below high; \a problem then says why, without naming the key.
std::optional<AlarmLimit> parseLimit(QStringView text, QString* problem = nullptr);

inline constexpr int DefaultAlarmDelaySeconds = 10;
inline constexpr int DefaultNoReadingSeconds = 60;
/// The longest delay and no-reading time taken: a day.
inline constexpr int MaxAlarmSeconds = 86400;

/// The alarm settings, group [Alarms] of the per-user settings file (the one that remembers the
/// port; see PortMemory) or of a file the logger is given:
///
///     [Alarms]
///     pH=6.5..8.5            one key per parameter: low..high, either side may be left out
///     DO=4.0..
///     COND=..1500            in the parameter's alarm unit (us, ppm, C: see alarmUnit())
///     DelaySeconds=10        how long a limit must be crossed before the alarm rises, and the
///                            value back inside before it clears
///     NoReadingSeconds=60    an alarm when no frame came for so long while watching; 0 = off
///     Command=/usr/local/bin/pond-alarm --to night-shift
///
/// Key and group names are read in any letter case; a parameter without a key has no limit.
/// The file format takes double quotes and commas in a value as its own: a command that holds
/// either is written whole in double quotes, inner quotes as \" (the dialog saves it so):
///
///     Command="/usr/local/bin/pond-alarm --to \"night shift\""
struct AlarmSettings
{
    std::array<AlarmLimit, AlarmParameterCount> limits{};
    int delaySeconds = DefaultAlarmDelaySeconds;
    int noReadingSeconds = DefaultNoReadingSeconds;
    /// Run for every rise and clear, split as QProcess::splitCommand() does (no shell); "" none.
    QString command;

    AlarmLimit& limit(AlarmParameter parameter) { return limits[indexOf(parameter)]; }
    const AlarmLimit& limit(AlarmParameter parameter) const { return limits[indexOf(parameter)]; }

    friend bool operator==(const AlarmSettings&, const AlarmSettings&) = default;
};

/// Settings read from a file, with one message per key that could not be used.
struct AlarmSettingsRead
{
    AlarmSettings settings;
    /// Each names its key as written and says what is used instead, such as
    /// "[Alarms] DO=four..: \"four\" is not a number; DO has no limit".
    QStringList problems;
};

/// Reads the [Alarms] group of \a file (every group of that name in any letter case). QSettings
/// splits an unquoted value at commas; a limit is joined again, so "pH=6,5..8,5" reads with a
/// decimal comma, while a split Command is refused rather than run changed.
AlarmSettingsRead readAlarmSettings(QSettings& file);

/// Writes \a settings into the [Alarms] group of \a file: a key per parameter with a limit, the
/// two times, and Command when set. Keys of the group this program knows are replaced whatever
/// their letter case; other keys stay. False when the file could not be written, with the
/// file's name in \a error.
bool writeAlarmSettings(QSettings& file, const AlarmSettings& settings, QString* error = nullptr);

/// Reads the alarm settings from \a path, or from the per-user settings file when it is empty.
/// A \a path that does not exist or cannot be read, or a line the file format cannot take, is
/// reported in the problems.
AlarmSettingsRead loadAlarmSettings(const QString& path = QString());

/// Writes the alarm settings to \a path, or to the per-user settings file when it is empty.
bool saveAlarmSettings(const AlarmSettings& settings, const QString& path = QString(),
                       QString* error = nullptr);

} // namespace pexumo
