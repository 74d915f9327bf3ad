#include "results/celltext.h"

#include <gtest/gtest.h>

#include <ostream>

namespace pexumo {
namespace {

ResultRecord sampleRow(const char* temp, const char* tempUnit)
{
    return {"10:15:30", "COND", "1410", "uS", temp, tempUnit, 0};
}

ResultRecord memoryRow(qint32 sign, const char* temp, const char* tempUnit)
{
    return {"3", "pH", "12.5", "pH", temp, tempUnit, sign};
}

struct RuleCase
{
    const char* name;
    ResultRecord record;
    int column;
    const char* expected; ///< the text after the rule ran on a cell preset to "preset"
};

void PrintTo(const RuleCase& c, std::ostream* os)
{
    *os << c.name;
}

constexpr const char* Kept = "preset";

class SampleRule : public testing::TestWithParam<RuleCase>
{
};

TEST_P(SampleRule, GivesTheCellText)
{
    QString cell = QString::fromLatin1(Kept);
    applySampleRule(GetParam().record, GetParam().column, cell);
    EXPECT_EQ(cell.toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, SampleRule,
    testing::Values(RuleCase{"time", sampleRow("25.3", "C"), 0, "10:15:30"},
                    RuleCase{"type", sampleRow("25.3", "C"), 1, "COND"},
                    RuleCase{"value", sampleRow("25.3", "C"), 2, "1410"},
                    RuleCase{"unit", sampleRow("25.3", "C"), 3, "uS"},
                    RuleCase{"celsius gets one blank", sampleRow("25.3", "C"), 4, "25.3 C"},
                    RuleCase{"fahrenheit", sampleRow("77.5", "F"), 4, "77.5 F"},
                    RuleCase{"no unit keeps the preset", sampleRow("25.3", ""), 4, Kept},
                    RuleCase{"lower-case c keeps the preset", sampleRow("25.3", "c"), 4, Kept},
                    RuleCase{"unit with a blank keeps the preset", sampleRow("25.3", " C"), 4,
                             Kept},
                    RuleCase{"column 5 keeps the preset", sampleRow("25.3", "C"), 5, Kept},
                    RuleCase{"no column keeps the preset", sampleRow("25.3", "C"), -1, Kept}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

class OrpRule : public testing::TestWithParam<RuleCase>
{
};

TEST_P(OrpRule, GivesTheCellText)
{
    QString cell = QString::fromLatin1(Kept);
    applyOrpRule(GetParam().record, GetParam().column, cell);
    EXPECT_EQ(cell.toStdString(), GetParam().expected);
}

const ResultRecord phInMillivolt{"10:00:00", "pH", "-120.5", "mV", "", "", 0};

INSTANTIATE_TEST_SUITE_P(
    Columns, OrpRule,
    testing::Values(RuleCase{"time", phInMillivolt, 0, "10:00:00"},
                    RuleCase{"pH type stays", phInMillivolt, 1, "pH"},
                    RuleCase{"signed value as stored", phInMillivolt, 2, "-120.5"},
                    RuleCase{"mV", phInMillivolt, 3, "mV"},
                    RuleCase{"temp column empty", phInMillivolt, 4, ""},
                    RuleCase{"temp never consulted", sampleRow("25.3", "C"), 4, ""},
                    RuleCase{"column 5 keeps the preset", phInMillivolt, 5, Kept},
                    RuleCase{"no column keeps the preset", phInMillivolt, -1, Kept}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

struct DownloadedCase
{
    const char* name;
    ResultRecord record;
    int column;
    QChar decimal;
    const char* expected;
};

void PrintTo(const DownloadedCase& c, std::ostream* os)
{
    *os << c.name;
}

class DownloadedRule : public testing::TestWithParam<DownloadedCase>
{
};

TEST_P(DownloadedRule, GivesTheCellText)
{
    const DownloadedCase& c = GetParam();
    const NumberFormat format{c.decimal, c.decimal == u',' ? QChar(u'.') : QChar(u',')};
    QString cell = QString::fromLatin1(Kept);
    applyDownloadedRule(c.record, c.column, cell, format);
    EXPECT_EQ(cell.toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, DownloadedRule,
    testing::Values(
        DownloadedCase{"record number", memoryRow(1, "25", "C"), 0, u'.', "3"},
        DownloadedCase{"type", memoryRow(1, "25", "C"), 1, u'.', "pH"},
        DownloadedCase{"positive value", memoryRow(1, "25", "C"), 2, u'.', "12.5"},
        DownloadedCase{"negative value", memoryRow(-1, "25", "C"), 2, u'.', "-12.5"},
        DownloadedCase{"sign 0 keeps the preset", memoryRow(0, "25", "C"), 2, u'.', Kept},
        DownloadedCase{"sign 2 keeps the preset", memoryRow(2, "25", "C"), 2, u'.', Kept},
        DownloadedCase{"unit", memoryRow(1, "25", "C"), 3, u'.', "pH"},
        DownloadedCase{"whole temp", memoryRow(1, "25", "C"), 4, u'.', "25"},
        DownloadedCase{"zeros dropped", memoryRow(1, "025.50", "C"), 4, u'.', "25.5"},
        DownloadedCase{"empty temp reads 0", memoryRow(1, "", ""), 4, u'.', "0"},
        DownloadedCase{"leading blanks and trailing junk", memoryRow(1, "  7.5abc", "C"), 4, u'.',
                       "7.5"},
        DownloadedCase{"no number reads 0", memoryRow(1, "abc", "C"), 4, u'.', "0"},
        DownloadedCase{"dot text under a decimal comma", memoryRow(1, "025.50", "C"), 4, u',',
                       "25,5"},
        DownloadedCase{"comma text under a dot", memoryRow(1, "25,5", "C"), 4, u'.', "25.5"},
        DownloadedCase{"comma temp under a decimal comma", memoryRow(1, "25,5", "C"), 4, u',',
                       "25,5"},
        DownloadedCase{"celsius", memoryRow(1, "25", "C"), 5, u'.', " C"},
        DownloadedCase{"fahrenheit", memoryRow(1, "77", "F"), 5, u'.', " F"},
        DownloadedCase{"no unit", memoryRow(1, "", ""), 5, u'.', ""},
        DownloadedCase{"column 6 empty", memoryRow(1, "25", "C"), 6, u'.', ""},
        DownloadedCase{"no column empty", memoryRow(1, "25", "C"), -1, u'.', ""}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

} // namespace
} // namespace pexumo
