#include "alarm/alarmsettings.h"

#include "base/usersettings.h"

#include "base/config.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cmath>
#include <memory>

namespace pexumo {

namespace {

struct ParameterLook
{
    const char* unit;
    int decimals; ///< fixed decimals of the meter's display; 0 for the shortest text
};

const std::array<ParameterLook, AlarmParameterCount> kLooks{{
    {"pH", 2},
    {"mV", 0},
    {"us", 0},
    {"ppm", 0},
    {"ppm", 0},
    {"mg/L", 2},
    {"%", 1},
    {"C", 1},
}};

constexpr NumberFormat FileFormat{u'.', u','};

const QString kGroup = QStringLiteral("Alarms");
const QString kDelayKey = QStringLiteral("DelaySeconds");
const QString kNoReadingKey = QStringLiteral("NoReadingSeconds");
const QString kCommandKey = QStringLiteral("Command");

// The keys of the group, each a slot: the parameters first (by their number), then these.
constexpr std::size_t DelaySlot = AlarmParameterCount;
constexpr std::size_t NoReadingSlot = AlarmParameterCount + 1;
constexpr std::size_t CommandSlot = AlarmParameterCount + 2;
constexpr std::size_t SlotCount = AlarmParameterCount + 3;

std::optional<std::size_t> slotOf(const QString& key)
{
    if (const auto parameter = alarmParameterFromName(key))
        return indexOf(*parameter);
    if (key.compare(kDelayKey, Qt::CaseInsensitive) == 0)
        return DelaySlot;
    if (key.compare(kNoReadingKey, Qt::CaseInsensitive) == 0)
        return NoReadingSlot;
    if (key.compare(kCommandKey, Qt::CaseInsensitive) == 0)
        return CommandSlot;
    return std::nullopt;
}

bool isAlarmGroup(const QString& group)
{
    return group.compare(kGroup, Qt::CaseInsensitive) == 0;
}

std::optional<int> readSeconds(const QString& text)
{
    const auto n = parseWholeNumber(text);
    if (!n || *n < 0 || *n > MaxAlarmSeconds)
        return std::nullopt;
    return static_cast<int>(*n);
}

} // namespace

QString alarmParameterName(AlarmParameter parameter)
{
    if (parameter == AlarmParameter::Temp)
        return QStringLiteral("Temp");
    return listName(listOf(static_cast<Parameter>(indexOf(parameter))));
}

std::optional<AlarmParameter> alarmParameterFromName(QStringView name)
{
    for (AlarmParameter p : AllAlarmParameters)
        if (name.compare(alarmParameterName(p), Qt::CaseInsensitive) == 0)
            return p;
    return std::nullopt;
}

QString alarmUnit(AlarmParameter parameter)
{
    return QString::fromLatin1(kLooks[indexOf(parameter)].unit);
}

QString alarmValueText(AlarmParameter parameter, double value, NumberFormat format)
{
    const int decimals = kLooks[indexOf(parameter)].decimals;
    if (decimals == 0 || !std::isfinite(value))
        return FormatNumber(value, format);
    QString text = QString::number(value, 'f', decimals); // locale-free, "." as the point
    text.replace(u'.', format.decimal);
    return text;
}

QString alarmLimitText(AlarmParameter parameter, double limit, NumberFormat format)
{
    QString text = FormatNumber(limit, format);
    if (kLooks[indexOf(parameter)].decimals > 0 && std::isfinite(limit) &&
        !text.contains(format.decimal))
        text += format.decimal + QStringLiteral("0");
    return text;
}

QString limitText(const AlarmLimit& limit)
{
    if (!limit.isSet())
        return QString();
    QString text;
    if (limit.low)
        text += FormatNumber(*limit.low, FileFormat);
    text += QStringLiteral("..");
    if (limit.high)
        text += FormatNumber(*limit.high, FileFormat);
    return text;
}

std::optional<double> readLimitNumber(QStringView text)
{
    auto number = ToNumber(text, FileFormat);
    if (!number)
        number = ToNumber(text, NumberFormat{u',', u'.'});
    if (!number || !std::isfinite(*number))
        return std::nullopt;
    return number;
}

std::optional<AlarmLimit> parseLimit(QStringView text, QString* problem)
{
    auto fail = [problem](const QString& why) -> std::optional<AlarmLimit> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    text = text.trimmed();
    AlarmLimit limit;
    if (text.isEmpty())
        return limit;
    const qsizetype dots = text.indexOf(u"..");
    if (dots < 0)
        return fail(QStringLiteral("write a limit as LOW..HIGH; either side may be left out, as "
                                   "in 4.0.. or ..8.5"));
    const QStringView sides[2] = {text.first(dots).trimmed(), text.sliced(dots + 2).trimmed()};
    std::optional<double>* const targets[2] = {&limit.low, &limit.high};
    for (int i = 0; i < 2; ++i) {
        if (sides[i].isEmpty())
            continue;
        *targets[i] = readLimitNumber(sides[i]);
        if (!*targets[i])
            return fail(QStringLiteral("\"%1\" is not a number").arg(sides[i]));
    }
    if (limit.low && limit.high && !(*limit.low < *limit.high))
        return fail(QStringLiteral("the low limit must be below the high limit"));
    return limit;
}

AlarmSettingsRead readAlarmSettings(QSettings& file)
{
    AlarmSettingsRead read;
    AlarmSettings& s = read.settings;
    std::array<QString, SlotCount> counted; // the spelling of the key that was used, per slot
    for (const QString& group : file.childGroups()) {
        if (!isAlarmGroup(group))
            continue;
        file.beginGroup(group);
        for (const QString& key : file.childKeys()) {
            const QVariant raw = file.value(key);
            const bool split = raw.typeId() == QMetaType::QStringList;
            const QString value = split ? raw.toStringList().join(u',') : raw.toString();
            const QString where = QStringLiteral("[%1] %2=%3").arg(group, key, value);
            const auto slot = slotOf(key);
            if (!slot) {
                read.problems << QStringLiteral("[%1] %2: not a key of this group; the keys are "
                                                "pH, ORP, COND, TDS, Salt, DO, O2, Temp, "
                                                "DelaySeconds, NoReadingSeconds and Command")
                                     .arg(group, key);
                continue;
            }
            if (!counted[*slot].isEmpty()) {
                read.problems << QStringLiteral("[%1] %2: given a second time; %3 is used")
                                     .arg(group, key, counted[*slot]);
                continue;
            }
            counted[*slot] = key;
            if (*slot < AlarmParameterCount) {
                const AlarmParameter parameter = AllAlarmParameters[*slot];
                QString why;
                if (const auto limit = parseLimit(value, &why))
                    s.limits[*slot] = *limit;
                else
                    read.problems << QStringLiteral("%1: %2; %3 has no limit")
                                         .arg(where, why, alarmParameterName(parameter));
            } else if (*slot == CommandSlot) {
                if (split)
                    read.problems << QStringLiteral("%1: a comma splits the value, so the command "
                                                    "is not run; write it in double quotes")
                                         .arg(where);
                else
                    s.command = value.trimmed();
            } else {
                const bool delay = *slot == DelaySlot;
                if (const auto seconds = readSeconds(value))
                    (delay ? s.delaySeconds : s.noReadingSeconds) = *seconds;
                else
                    read.problems << QStringLiteral("%1: not a whole number of seconds from 0 to "
                                                    "%2; %3 is used")
                                         .arg(where)
                                         .arg(MaxAlarmSeconds)
                                         .arg(delay ? s.delaySeconds : s.noReadingSeconds);
            }
        }
        file.endGroup();
    }
    return read;
}

bool writeAlarmSettings(QSettings& file, const AlarmSettings& settings, QString* error)
{
    QString target;
    for (const QString& group : file.childGroups()) {
        if (!isAlarmGroup(group))
            continue;
        if (target.isEmpty())
            target = group;
        file.beginGroup(group);
        for (const QString& key : file.childKeys())
            if (slotOf(key))
                file.remove(key);
        file.endGroup();
    }
    file.beginGroup(target.isEmpty() ? kGroup : target);
    for (AlarmParameter p : AllAlarmParameters)
        if (settings.limit(p).isSet())
            file.setValue(alarmParameterName(p), limitText(settings.limit(p)));
    file.setValue(kDelayKey, QString::number(settings.delaySeconds));
    file.setValue(kNoReadingKey, QString::number(settings.noReadingSeconds));
    if (!settings.command.isEmpty())
        file.setValue(kCommandKey, settings.command);
    file.endGroup();
    return writeUserSettings(file, error);
}

AlarmSettingsRead loadAlarmSettings(const QString& path)
{
    if (!path.isEmpty()) {
        AlarmSettingsRead none;
        if (!QFileInfo::exists(path)) {
            none.problems << QStringLiteral("%1: no such file").arg(path);
            return none;
        }
        QFile probe(path);
        if (!probe.open(QIODevice::ReadOnly)) {
            none.problems << QStringLiteral("%1: %2").arg(path, probe.errorString());
            return none;
        }
    }
    const auto file = openUserSettings(path);
    AlarmSettingsRead read = readAlarmSettings(*file);
    if (file->status() == QSettings::FormatError)
        read.problems.prepend(QStringLiteral("%1: a line is not in the settings format; the keys "
                                             "around it are read")
                                  .arg(file->fileName()));
    return read;
}

bool saveAlarmSettings(const AlarmSettings& settings, const QString& path, QString* error)
{
    const auto file = openUserSettings(path);
    return writeAlarmSettings(*file, settings, error);
}

} // namespace pexumo
