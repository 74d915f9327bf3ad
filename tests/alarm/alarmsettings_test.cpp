#include "alarm/alarmsettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

namespace pexumo {

void PrintTo(const AlarmSettings& s, std::ostream* os)
{
    for (AlarmParameter p : AllAlarmParameters)
        *os << alarmParameterName(p).toStdString() << '=' << limitText(s.limit(p)).toStdString()
            << ' ';
    *os << "delay " << s.delaySeconds << " no reading " << s.noReadingSeconds << " command \""
        << s.command.toStdString() << '"';
}

namespace {

QString writeFile(const QTemporaryDir& dir, const QByteArray& content)
{
    const QString path = dir.filePath(QStringLiteral("Pexumo.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) < 0)
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

struct FileCase
{
    const char* name;
    const char* file;
    AlarmSettings settings;
    QStringList problems;
};

void PrintTo(const FileCase& c, std::ostream* os)
{
    *os << c.name;
}

AlarmSettings with(std::initializer_list<std::pair<AlarmParameter, AlarmLimit>> limits,
                   int delay = 10, int noReading = 60, const char* command = "")
{
    AlarmSettings s;
    for (const auto& [p, limit] : limits)
        s.limit(p) = limit;
    s.delaySeconds = delay;
    s.noReadingSeconds = noReading;
    s.command = QString::fromUtf8(command);
    return s;
}

class SettingsFile : public testing::TestWithParam<FileCase>
{
};

TEST_P(SettingsFile, ReadsEveryKeyOrSaysWhyNot)
{
    const FileCase& c = GetParam();
    QTemporaryDir dir;
    const AlarmSettingsRead read = loadAlarmSettings(writeFile(dir, c.file));
    EXPECT_EQ(read.settings, c.settings);
    EXPECT_EQ(read.problems.join(u'\n').toStdString(), c.problems.join(u'\n').toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsFile,
    testing::Values(
        FileCase{"every_key",
                 "[Port]\nName=/dev/ttyUSB0\n[Alarms]\nDO=4.0..\npH=6.5..8.5\nCOND=..1500\n"
                 "Temp=-2..30\nDelaySeconds=5\nNoReadingSeconds=0\n"
                 "Command=\"/usr/local/bin/pond-alarm --to \\\"night shift\\\"\"\n",
                 with({{AlarmParameter::DO, {4.0, {}}},
                       {AlarmParameter::PH, {6.5, 8.5}},
                       {AlarmParameter::COND, {{}, 1500}},
                       {AlarmParameter::Temp, {-2, 30}}},
                      5, 0, "/usr/local/bin/pond-alarm --to \"night shift\""),
                 {}},
        FileCase{"any_letter_case_and_decimal_commas",
                 "[alarms]\nph=6,5..8,5\nTEMP= -1,5 .. +30,5\ndelayseconds=0\nsalt=..\n",
                 with({{AlarmParameter::PH, {6.5, 8.5}}, {AlarmParameter::Temp, {-1.5, 30.5}}}, 0),
                 {}},
        FileCase{"no_group_means_no_alarms", "[Port]\nName=COM2\n", AlarmSettings{}, {}},
        FileCase{"bad_keys",
                 "[Alarms]\nDO=four..\npH=8.5..6.5\nCOND=1500\nORP=..400\nDelaySeconds=ten\n"
                 "NoReadingSeconds=86401\nTurbidity=5..\nCommand=/bin/mail-alarm, now\nTDS=1e3..\n",
                 with({{AlarmParameter::ORP, {{}, 400}}}),
                 {"[Alarms] COND=1500: write a limit as LOW..HIGH; either side may be left out, "
                  "as in 4.0.. or ..8.5; COND has no limit",
                  "[Alarms] Command=/bin/mail-alarm,now: a comma splits the value, so the "
                  "command is not run; write it in double quotes",
                  "[Alarms] DO=four..: \"four\" is not a number; DO has no limit",
                  "[Alarms] DelaySeconds=ten: not a whole number of seconds from 0 to 86400; 10 "
                  "is used",
                  "[Alarms] NoReadingSeconds=86401: not a whole number of seconds from 0 to "
                  "86400; 60 is used",
                  "[Alarms] TDS=1e3..: \"1e3\" is not a number; TDS has no limit",
                  "[Alarms] Turbidity: not a key of this group; the keys are pH, ORP, COND, TDS, "
                  "Salt, DO, O2, Temp, DelaySeconds, NoReadingSeconds and Command",
                  "[Alarms] pH=8.5..6.5: the low limit must be below the high limit; pH has no "
                  "limit"}},
        FileCase{"a_key_twice",
                 "[Alarms]\nDO=4..\ndo=5..\n",
                 with({{AlarmParameter::DO, {4.0, {}}}}),
                 {"[Alarms] do: given a second time; DO is used"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Saving replaces the keys it knows in the group as the user spelled it, keeps the rest of the
// file, and reads back as it was.
TEST(SettingsFile, SaveKeepsOtherKeysAndReadsBack)
{
    QTemporaryDir dir;
    const QString path =
        writeFile(dir, "[Port]\nName=COM2\n\n[alarms]\ndo=1..\nNote=pond 3\nCommand=/bin/old\n");
    const AlarmSettings saved = with({{AlarmParameter::DO, {4.0, {}}},
                                      {AlarmParameter::PH, {6.5, 8.5}},
                                      {AlarmParameter::COND, {{}, 1500}}},
                                     5, 0, "/bin/alarm --to \"a, b\"");
    QString error;
    ASSERT_TRUE(saveAlarmSettings(saved, path, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        file.readAll().toStdString(),
        "[Port]\nName=COM2\n\n[alarms]\nCOND=..1500\nCommand=\"/bin/alarm --to \\\"a, b\\\"\"\n"
        "DO=4..\nDelaySeconds=5\nNoReadingSeconds=0\nNote=pond 3\npH=6.5..8.5\n");
    EXPECT_EQ(loadAlarmSettings(path).settings, saved);
}

TEST(SettingsFile, FilesThatCannotBeUsedAreReported)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("none.conf"));
    EXPECT_EQ(loadAlarmSettings(missing).problems, QStringList{missing + ": no such file"});
    const QString path = QStringLiteral("/proc/pexumo/Pexumo.conf"); // not even root makes it
    QString error;
    EXPECT_FALSE(saveAlarmSettings(AlarmSettings{}, path, &error));
    EXPECT_EQ(error, path);
}

} // namespace
} // namespace pexumo
