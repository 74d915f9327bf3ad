// The journal's keys in config.ini: same section and name rules as the other keys.
#include "base/config.h"

#include <gtest/gtest.h>

namespace pexumo {
namespace {

struct JournalKeysCase
{
    const char* name;
    QByteArray content;
    bool journal;
    QString file;
    int keepDays;
};

class JournalKeysTest : public ::testing::TestWithParam<JournalKeysCase>
{
};

TEST_P(JournalKeysTest, Reads)
{
    const JournalKeysCase& c = GetParam();
    const AppConfig config = parseConfig(c.content);
    EXPECT_EQ(config.journal, c.journal);
    EXPECT_EQ(config.journalFile, c.file);
    EXPECT_EQ(config.journalKeepDays, c.keepDays);
}

INSTANTIATE_TEST_SUITE_P(
    Files, JournalKeysTest,
    ::testing::Values(
        JournalKeysCase{"absent", "[Pexumo]\nFormCaption=Lab\n", true, "", 30},
        JournalKeysCase{"off", "[Pexumo]\nJournal=0\n", false, "", 30},
        JournalKeysCase{"off_any_case_hex", "[PEXUMO]\njOURNAL = 0x0\n", false, "", 30},
        JournalKeysCase{"off_dollar", "[Pexumo]\nJournal=$0\n", false, "", 30},
        JournalKeysCase{"on_1", "[Pexumo]\nJournal=1\n", true, "", 30},
        JournalKeysCase{"on_2", "[Pexumo]\nJournal=2\n", true, "", 30},
        JournalKeysCase{"typo_stays_on", "[Pexumo]\nJournal=o\n", true, "", 30},
        JournalKeysCase{"empty_stays_on", "[Pexumo]\nJournal=\n", true, "", 30},
        JournalKeysCase{"first_counts", "[Pexumo]\nJournal=0\nJournal=1\n", false, "", 30},
        JournalKeysCase{"other_section", "[Other]\nJournal=0\nJournalFile=/x\n", true, "", 30},
        JournalKeysCase{"file", "[Pexumo]\nJournalFile = /media/stick/run.sqlite \n", true,
                        "/media/stick/run.sqlite", 30},
        JournalKeysCase{"keep_7", "[Pexumo]\nJournalKeepDays=7\n", true, "", 7},
        JournalKeysCase{"keep_0", "[Pexumo]\njournalkeepdays=0\n", true, "", 0},
        JournalKeysCase{"keep_octal_looking", "[Pexumo]\nJournalKeepDays=010\n", true, "", 10},
        JournalKeysCase{"keep_hex", "[Pexumo]\nJournalKeepDays=$1E\n", true, "", 30},
        JournalKeysCase{"keep_negative", "[Pexumo]\nJournalKeepDays=-5\n", true, "", 30},
        JournalKeysCase{"keep_text", "[Pexumo]\nJournalKeepDays=week\n", true, "", 30},
        JournalKeysCase{"keep_huge", "[Pexumo]\nJournalKeepDays=99999999999\n", true, "", 100000}),
    [](const auto& info) { return std::string(info.param.name); });

// MinFreeMB, the disk alarm's limit: whole megabytes, 0 turns it off, anything else keeps 200.
struct MinFreeCase
{
    const char* name;
    QByteArray content;
    int minFreeMB;
};

class MinFreeTest : public ::testing::TestWithParam<MinFreeCase>
{
};

TEST_P(MinFreeTest, Reads)
{
    EXPECT_EQ(parseConfig(GetParam().content).minFreeMB, GetParam().minFreeMB);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MinFreeTest,
    ::testing::Values(MinFreeCase{"absent", "[Pexumo]\nJournalKeepDays=7\n", 200},
                      MinFreeCase{"set", "[Pexumo]\nMinFreeMB=500\n", 500},
                      MinFreeCase{"any_case_hex", "[pexumo]\nminfreemb = 0x40\n", 64},
                      MinFreeCase{"off", "[Pexumo]\nMinFreeMB=0\n", 0},
                      MinFreeCase{"negative", "[Pexumo]\nMinFreeMB=-1\n", 200},
                      MinFreeCase{"text", "[Pexumo]\nMinFreeMB=lots\n", 200},
                      MinFreeCase{"fraction", "[Pexumo]\nMinFreeMB=1.5\n", 200},
                      MinFreeCase{"huge", "[Pexumo]\nMinFreeMB=99999999999\n", 1000000000},
                      MinFreeCase{"other_section", "[Mqtt]\nMinFreeMB=5\n", 200}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pexumo
