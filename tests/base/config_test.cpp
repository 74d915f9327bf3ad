#include "base/config.h"

#include "support/withoutroot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

namespace pexumo {
namespace {

struct ConfigCase
{
    const char* name;
    QByteArray content;
    bool changeDecimal;
    QString caption;
};

void PrintTo(const ConfigCase& c, std::ostream* os)
{
    *os << c.name;
}

class ParseConfigTest : public ::testing::TestWithParam<ConfigCase>
{
};

TEST_P(ParseConfigTest, Reads)
{
    const ConfigCase& c = GetParam();
    const AppConfig config = parseConfig(c.content);
    EXPECT_EQ(config.changeDecimal, c.changeDecimal);
    EXPECT_EQ(config.formCaption, c.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ParseConfigTest,
    ::testing::Values(
        ConfigCase{"empty", "", false, ""},
        ConfigCase{"both_keys", "[Pexumo]\nChangeDecimal=1\nFormCaption=Pexumo meter\n", true,
                   "Pexumo meter"},
        ConfigCase{"no_section", "ChangeDecimal=1\nFormCaption=Lab\n", false, ""},
        ConfigCase{"other_section", "[Other]\nChangeDecimal=1\nFormCaption=Lab\n", false, ""},
        ConfigCase{"section_ends", "[Pexumo]\nFormCaption=Lab\n[Other]\nChangeDecimal=1\n", false,
                   "Lab"},
        ConfigCase{"empty_caption", "[Pexumo]\nFormCaption=\n", false, ""},
        ConfigCase{"decimal_1", "[Pexumo]\nChangeDecimal=1", true, ""},
        ConfigCase{"hex_0x1", "[Pexumo]\nChangeDecimal=0x1", true, ""},
        ConfigCase{"hex_0X01", "[Pexumo]\nChangeDecimal=0X01", true, ""},
        ConfigCase{"hex_dollar", "[Pexumo]\nChangeDecimal=$1", true, ""},
        ConfigCase{"leading_zero_is_decimal", "[Pexumo]\nChangeDecimal=001", true, ""},
        ConfigCase{"two", "[Pexumo]\nChangeDecimal=2", false, ""},
        ConfigCase{"zero", "[Pexumo]\nChangeDecimal=0", false, ""},
        ConfigCase{"yes", "[Pexumo]\nChangeDecimal=yes", false, ""},
        ConfigCase{"one_with_junk", "[Pexumo]\nChangeDecimal=1x", false, ""},
        ConfigCase{"minus_one", "[Pexumo]\nChangeDecimal=-1", false, ""},
        ConfigCase{"huge", "[Pexumo]\nChangeDecimal=18446744073709551617", false, ""},
        ConfigCase{"case_insensitive", "[pEXUMO]\nchangedecimal=1\nFORMCAPTION=Lab\n", true, "Lab"},
        ConfigCase{
            "blanks_crlf_bom",
            "\xEF\xBB\xBF; comment\r\n# also\r\n\r\n  [ Pexumo ]  \r\n  ChangeDecimal  =  1  "
            "\r\n FormCaption = Water lab 2 \r\n",
            true, "Water lab 2"},
        ConfigCase{"first_key_counts", "[Pexumo]\nFormCaption=A\nFormCaption=B\n", false, "A"},
        ConfigCase{"equals_in_value", "[Pexumo]\nFormCaption=a=b\n", false, "a=b"},
        ConfigCase{"utf8_caption", "[Pexumo]\nFormCaption=Messger\xC3\xA4t\n", false,
                   QString::fromUtf8("Messger\xC3\xA4t")},
        ConfigCase{"latin1_caption", "[Pexumo]\nFormCaption=Messger\xE4t\n", false,
                   QString::fromUtf8("Messger\xC3\xA4t")},
        ConfigCase{"line_without_equals", "[Pexumo]\nChangeDecimal\nFormCaption=x\n", false, "x"},
        ConfigCase{"binary", QByteArray("[Pexumo]\nChangeDecimal=1\n\0\x01\xff", 27), false, ""},
        ConfigCase{"old_mac_line_ends", "[Pexumo]\rChangeDecimal=1\rFormCaption=Lab 3\r", true,
                   "Lab 3"},
        ConfigCase{"mixed_line_ends",
                   "; saved twice\r\n[Pexumo]\rFormCaption=Lab 3\nChangeDecimal=1", true, "Lab 3"},
        ConfigCase{"bom_on_the_section_line", "\xEF\xBB\xBF[Pexumo]\nFormCaption=Lab 3\n", false,
                   "Lab 3"},
        ConfigCase{"bom_of_a_pasted_file", "[Other]\nx=1\n\xEF\xBB\xBF[Pexumo]\nChangeDecimal=1\n",
                   true, ""},
        ConfigCase{"quoted_values", "[Pexumo]\nFormCaption=\"Lab 3\"\nChangeDecimal=\"1\"\n", true,
                   "Lab 3"},
        ConfigCase{"quotes_keep_blanks", "[Pexumo]\nFormCaption=\"  Lab 3 \"\n", false, "  Lab 3 "},
        ConfigCase{"empty_quotes", "[Pexumo]\nFormCaption=\"\"\n", false, ""},
        ConfigCase{"one_quote_stays", "[Pexumo]\nFormCaption=\"Lab 3\n", false, "\"Lab 3"},
        ConfigCase{"inner_quotes_stay", "[Pexumo]\nFormCaption=Lab \"3\"\n", false, "Lab \"3\""},
        ConfigCase{"quoted_two", "[Pexumo]\nChangeDecimal=\"2\"\n", false, ""},
        ConfigCase{"garbage", "\xff\xfe[[[]]]==\n=\n[\n]\n[Pexumo\nFormCaption=x", false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The off switch for waiting on a lost line: only an explicit 0 turns it off.
struct AutoReconnectCase
{
    const char* name;
    QByteArray content;
    bool autoReconnect;
};

void PrintTo(const AutoReconnectCase& c, std::ostream* os)
{
    *os << c.name;
}

class AutoReconnectTest : public ::testing::TestWithParam<AutoReconnectCase>
{
};

TEST_P(AutoReconnectTest, Reads)
{
    EXPECT_EQ(parseConfig(GetParam().content).autoReconnect, GetParam().autoReconnect);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AutoReconnectTest,
    ::testing::Values(
        AutoReconnectCase{"absent", "[Pexumo]\nFormCaption=Lab\n", true},
        AutoReconnectCase{"zero", "[Pexumo]\nAutoReconnect=0\n", false},
        AutoReconnectCase{"zero_any_case", "[pexumo]\r\nautoreconnect = 0\r\n", false},
        AutoReconnectCase{"hex_zero", "[Pexumo]\nAutoReconnect=$0\n", false},
        AutoReconnectCase{"one", "[Pexumo]\nAutoReconnect=1\n", true},
        AutoReconnectCase{"not_a_number", "[Pexumo]\nAutoReconnect=off\n", true},
        AutoReconnectCase{"empty", "[Pexumo]\nAutoReconnect=\n", true},
        AutoReconnectCase{"first_counts", "[Pexumo]\nAutoReconnect=0\nAutoReconnect=1\n", false},
        AutoReconnectCase{"other_section", "[Other]\nAutoReconnect=0\n", true}),
    [](const ::testing::TestParamInfo<AutoReconnectCase>& info) {
        return std::string(info.param.name);
    });

// How old a reading may be and still be sampled: 10 s unless a whole number of 0 or more says
// otherwise; 0 samples any reading, however old.
struct StaleCase
{
    const char* name;
    QByteArray content;
    int staleSeconds;
};

void PrintTo(const StaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class StaleSecondsTest : public ::testing::TestWithParam<StaleCase>
{
};

TEST_P(StaleSecondsTest, Reads)
{
    EXPECT_EQ(parseConfig(GetParam().content).staleSeconds, GetParam().staleSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StaleSecondsTest,
    ::testing::Values(StaleCase{"absent", "[Pexumo]\nFormCaption=Lab\n", 10},
                      StaleCase{"thirty", "[pexumo]\nstaleseconds = 30\n", 30},
                      StaleCase{"zero_samples_any", "[Pexumo]\nStaleSeconds=0\n", 0},
                      StaleCase{"hex", "[Pexumo]\nStaleSeconds=$14\n", 20},
                      StaleCase{"negative", "[Pexumo]\nStaleSeconds=-1\n", 10},
                      StaleCase{"text", "[Pexumo]\nStaleSeconds=ten\n", 10},
                      StaleCase{"beyond_a_day", "[Pexumo]\nStaleSeconds=100000\n", 86400}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseConfig, LongCaptionIsCutAt2047)
{
    const QString caption(3000, u'c');
    const AppConfig config = parseConfig(QByteArray("[Pexumo]\nFormCaption=") + caption.toUtf8() +
                                         "\nChangeDecimal=1\n");
    EXPECT_EQ(config.formCaption, caption.left(2047));
    EXPECT_TRUE(config.changeDecimal) << "a long line does not spill into the next";
}

TEST(ParseConfig, LongLineBeforeTheKeysDoesNotMakeAKey)
{
    const QByteArray line = "; " + QByteArray(250, 'x') + "ChangeDecimal=1";
    EXPECT_FALSE(parseConfig("[Pexumo]\n" + line + "\n").changeDecimal);
}

// The same file as Windows editors save it in UTF-16, with its byte order mark.
TEST(ParseConfig, Utf16WithByteOrderMark)
{
    const QString text = QString::fromUtf8("; Messger\xC3\xA4t\r\n[Pexumo]\r\nChangeDecimal=1\r\n"
                                           "FormCaption=Labor 3 \xE2\x80\x93 Messger\xC3\xA4t\r\n");
    const QString caption = QString::fromUtf8("Labor 3 \xE2\x80\x93 Messger\xC3\xA4t");
    QByteArray le("\xFF\xFE");
    QByteArray be("\xFE\xFF");
    for (QChar c : text) {
        const char16_t u = c.unicode();
        le.append(char(u & 0xFF)).append(char(u >> 8));
        be.append(char(u >> 8)).append(char(u & 0xFF));
    }
    EXPECT_EQ(parseConfig(le), (AppConfig{true, caption}));
    EXPECT_EQ(parseConfig(be), (AppConfig{true, caption}));
    // Without its mark the file is not taken for UTF-16: its NUL bytes make it binary.
    EXPECT_EQ(parseConfig(le.sliced(2)), AppConfig{});
}

TEST(ParseConfig, KeysAtTheEndOfALongFile)
{
    QByteArray content = "[Pexumo]\r\n";
    for (int i = 0; i < 200; ++i)
        content += "; calibration note " + QByteArray::number(i) + "\r\n";
    content += "ChangeDecimal=1\r\nFormCaption=Bench 3\r\n";
    ASSERT_GT(content.size(), 4096);
    EXPECT_EQ(parseConfig(content), (AppConfig{true, "Bench 3"}));

    QTemporaryDir dir;
    QFile file(dir.filePath(ConfigFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(content), content.size());
    file.close();
    EXPECT_EQ(readConfig(file.fileName()), (AppConfig{true, "Bench 3"}));
}

TEST(WholeNumber, Forms)
{
    EXPECT_EQ(parseWholeNumber(u"10"), 10);
    EXPECT_EQ(parseWholeNumber(u"010"), 10);
    EXPECT_EQ(parseWholeNumber(u" -42 "), -42);
    EXPECT_EQ(parseWholeNumber(u"$ff"), 255);
    EXPECT_EQ(parseWholeNumber(u"0xFF"), 255);
    EXPECT_EQ(parseWholeNumber(u"-$10"), -16);
    EXPECT_EQ(parseWholeNumber(u"9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(parseWholeNumber(u"-9223372036854775808"), std::numeric_limits<qint64>::min());
    for (const char16_t* bad : {u"", u"-", u"$", u"0x", u"1.0", u"ff", u"$fg", u"1 2", u"yes",
                                u"9223372036854775808", u"\u0661"})
        EXPECT_FALSE(parseWholeNumber(bad)) << QString::fromUtf16(bad).toStdString();
}

TEST(ReadConfig, MissingFileGivesDefaults)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(readConfig(dir.filePath(ConfigFileName)), AppConfig{});
}

TEST(ReadConfig, DirectoryInsteadOfFileGivesDefaults)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(ConfigFileName));
    EXPECT_EQ(readConfig(dir.filePath(ConfigFileName)), AppConfig{});
}

TEST(ReadConfig, ReadsAFile)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(ConfigFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Pexumo]\r\nChangeDecimal=$1\r\nFormCaption=Bench 3\r\n");
    file.close();
    EXPECT_EQ(readConfig(file.fileName()), (AppConfig{true, "Bench 3"}));
}

// Permission bits do not stop root, so the file is read by a child with an ordinary user's
// rights; it tells through its exit status whether it got the defaults.
TEST(ReadConfig, UnreadableFileGivesDefaults)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(ConfigFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Pexumo]\nFormCaption=secret\n");
    file.close();
    ASSERT_TRUE(QFile::setPermissions(
        dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                        QFileDevice::ExeGroup | QFileDevice::ExeOther));
    ASSERT_TRUE(file.setPermissions(QFileDevice::Permissions()));
    const std::optional<int> result = test::runWithoutRoot([&] {
        QFile probe(file.fileName());
        if (probe.open(QIODevice::ReadOnly))
            return 2; // the child can read it after all: the case cannot be made here
        return readConfig(file.fileName()) == AppConfig{} ? 0 : 1;
    });
    if (!result || *result == 2)
        GTEST_SKIP() << "cannot make a file this process may not read";
    EXPECT_EQ(*result, 0);
}

} // namespace
} // namespace pexumo
