#include "base/numberformat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <optional>

namespace pexumo {
namespace {

const NumberFormat kDot{u'.', u','};
const NumberFormat kComma{u',', u'.'};

struct FormatCase
{
    double value;
    bool comma;
    const char* text;
};

void PrintTo(const FormatCase& c, std::ostream* os)
{
    *os << c.text << (c.comma ? " (comma)" : "");
}

class FormatNumberTest : public ::testing::TestWithParam<FormatCase>
{
};

TEST_P(FormatNumberTest, WritesShortestTextWithFifteenDigits)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatNumber(c.value, c.comma ? kComma : kDot), QString::fromLatin1(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatNumberTest,
    ::testing::Values(FormatCase{7.12, false, "7.12"}, FormatCase{0.5, false, "0.5"},
                      FormatCase{100, false, "100"}, FormatCase{0, false, "0"},
                      FormatCase{-0.0, false, "0"}, FormatCase{-2.5, false, "-2.5"},
                      FormatCase{0.1 + 0.2, false, "0.3"},
                      FormatCase{1.0 / 3, false, "0.333333333333333"},
                      FormatCase{2.0 / 3, false, "0.666666666666667"},
                      FormatCase{123456789012345678.0, false, "123456789012346000"},
                      FormatCase{1e20, false, "100000000000000000000"},
                      FormatCase{1e-5, false, "0.00001"}, FormatCase{25, false, "25"},
                      FormatCase{9.999999999999999, false, "10"}, FormatCase{7.12, true, "7,12"},
                      FormatCase{1234.5, true, "1234,5"}, FormatCase{-0.05, true, "-0,05"},
                      FormatCase{25, true, "25"}));

TEST(FormatNumberLimits, ExtremeAndNonFiniteValues)
{
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN(), kDot), "NAN");
    EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity(), kDot), "-INF");
    const QString huge = FormatNumber(std::numeric_limits<double>::max(), kDot);
    EXPECT_EQ(huge.size(), 309);
    EXPECT_TRUE(huge.startsWith("179769313486232"));
    const QString tiny = FormatNumber(std::numeric_limits<double>::denorm_min(), kDot);
    EXPECT_TRUE(tiny.startsWith("0.000"));
    EXPECT_TRUE(tiny.endsWith("494065645841247"));
}

struct ReadCase
{
    const char* text;
    bool comma;
    std::optional<double> whole; ///< ToNumber
    double leading;              ///< ReadLeadingNumber
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"' << (c.comma ? " (comma)" : "");
}

class NumberReadersTest : public ::testing::TestWithParam<ReadCase>
{
};

TEST_P(NumberReadersTest, ReadWholeAndLeadingNumbers)
{
    const ReadCase& c = GetParam();
    const NumberFormat format = c.comma ? kComma : kDot;
    const QString text = QString::fromLatin1(c.text);
    EXPECT_EQ(ToNumber(text, format), c.whole) << c.text;
    EXPECT_DOUBLE_EQ(ReadLeadingNumber(text, format), c.leading) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberReadersTest,
    ::testing::Values(
        ReadCase{"7.12", false, 7.12, 7.12}, ReadCase{"0712", false, 712, 712},
        ReadCase{" 5 ", false, 5, 5}, ReadCase{"-1.5", false, -1.5, -1.5},
        ReadCase{"+2", false, 2, 2}, ReadCase{".5", false, 0.5, 0.5}, ReadCase{"5.", false, 5, 5},
        ReadCase{"", false, std::nullopt, 0}, ReadCase{".", false, std::nullopt, 0},
        ReadCase{"-", false, std::nullopt, 0}, ReadCase{"abc", false, std::nullopt, 0},
        ReadCase{"7.12abc", false, std::nullopt, 7.12}, ReadCase{"1.2.3", false, std::nullopt, 1.2},
        ReadCase{"+-5", false, std::nullopt, 0}, ReadCase{"- 5", false, std::nullopt, 0},
        ReadCase{"1e3", false, std::nullopt, 1000}, ReadCase{"1e", false, std::nullopt, 1},
        ReadCase{"2E-2x", false, std::nullopt, 0.02}, ReadCase{"inf", false, std::nullopt, 0},
        ReadCase{"0x10", false, std::nullopt, 0}, ReadCase{"1,000", false, std::nullopt, 1},
        ReadCase{"\t\n 42", false, 42, 42},
        // Under a decimal comma the comma is the separator and a dot ends the number.
        ReadCase{"7,12", false, std::nullopt, 7}, ReadCase{"7,12", true, 7.12, 7.12},
        ReadCase{"7.12", true, std::nullopt, 7}, ReadCase{"0,5", true, 0.5, 0.5},
        ReadCase{"25,0C", true, std::nullopt, 25}, ReadCase{",5", true, 0.5, 0.5}));

struct OwnTextCase
{
    const char* text;
    double value;
};

void PrintTo(const OwnTextCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class ReadNumberTextTest : public ::testing::TestWithParam<OwnTextCase>
{
};

// The texts were written under one separator; the reader must not care which one is in force now.
TEST_P(ReadNumberTextTest, TakesDotOrCommaAsTheDecimalPoint)
{
    const OwnTextCase& c = GetParam();
    const NumberFormat saved = NumberFormat::current();
    for (const NumberFormat& now : {kDot, kComma}) {
        NumberFormat::setCurrent(now);
        const double read = ReadNumberText(QString::fromLatin1(c.text));
        // The same text as the journal's bytes reads the same.
        const double bytes = ReadNumberText(QUtf8StringView(c.text));
        NumberFormat::setCurrent(saved);
        EXPECT_DOUBLE_EQ(read, c.value) << "under " << char(now.decimal.unicode());
        EXPECT_EQ(bytes, read) << "bytes, under " << char(now.decimal.unicode());
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadNumberTextTest,
                         ::testing::Values(OwnTextCase{"7.12", 7.12}, OwnTextCase{"7,12", 7.12},
                                           OwnTextCase{"25.0", 25}, OwnTextCase{"25,3", 25.3},
                                           OwnTextCase{"-120,5", -120.5}, OwnTextCase{" 0,5", 0.5},
                                           OwnTextCase{",5", 0.5}, OwnTextCase{"025.50", 25.5},
                                           OwnTextCase{"1410", 1410}, OwnTextCase{"7,12,5", 7.12},
                                           OwnTextCase{"7.12,5", 7.12}, OwnTextCase{"25,3C", 25.3},
                                           OwnTextCase{"1,5e2", 150}, OwnTextCase{"", 0},
                                           OwnTextCase{",", 0}, OwnTextCase{"abc", 0},
                                           OwnTextCase{"7.", 7}, OwnTextCase{".5", 0.5},
                                           OwnTextCase{"1.2.3", 1.2}, OwnTextCase{"0.1", 0.1},
                                           OwnTextCase{"12.345678901234567", 12.345678901234567},
                                           OwnTextCase{"7.12 ", 7.12}, OwnTextCase{"+7.5", 7.5}));

TEST(NumberReaders, LongTextsAreReadWhole)
{
    const QString zeros = QString(200, u'0') + QStringLiteral("1.5");
    EXPECT_DOUBLE_EQ(ReadNumberText(QUtf8StringView(zeros.toUtf8())), 1.5);
    // A character beyond ASCII ends a number, read as bytes or not: "7.1µ5" is 7.1.
    EXPECT_DOUBLE_EQ(ReadNumberText(QUtf8StringView("7.1\xc2\xb5" "5")), 7.1);
    EXPECT_DOUBLE_EQ(ReadNumberText(QUtf8StringView("\xc2\xa0" "5")), 0);
    EXPECT_EQ(ToNumber(zeros, kDot), 1.5);
    EXPECT_DOUBLE_EQ(ReadLeadingNumber(zeros, kDot), 1.5);
    const QString big = u'1' + QString(199, u'0');
    EXPECT_DOUBLE_EQ(ReadLeadingNumber(big, kDot), 1e199);
}

TEST(NumberReaders, OutOfRangeSaturatesLikeTheCLibrary)
{
    EXPECT_EQ(ReadLeadingNumber(u"1e400", kDot), HUGE_VAL);
    EXPECT_EQ(ReadLeadingNumber(u"-1e400", kDot), -HUGE_VAL);
    EXPECT_EQ(ReadLeadingNumber(u"1e-400", kDot), 0.0);
}

TEST(NumberReaders, BeyondLongDoubleSaturatesToo)
{
    EXPECT_EQ(ReadLeadingNumber(u"1e5000", kDot), HUGE_VAL);
    EXPECT_EQ(ReadLeadingNumber(u"-1e+5000", kDot), -HUGE_VAL);
    EXPECT_EQ(ReadLeadingNumber(u"0.001e99999999999999999999", kDot), HUGE_VAL);
    EXPECT_EQ(ReadLeadingNumber(u'9' + QString(5000, u'0'), kDot), HUGE_VAL);
    EXPECT_EQ(ToNumber(QString(5000, u'7'), kDot), HUGE_VAL);
    EXPECT_EQ(ReadLeadingNumber(u"1e-5000", kDot), 0.0);
    EXPECT_EQ(ReadLeadingNumber(u"-1e-99999999999999999999", kDot), 0.0);
    EXPECT_EQ(ReadLeadingNumber(
                  QStringLiteral("0.") + QString(5000, u'0') + QStringLiteral("1e4000"), kDot),
              0.0);
}

TEST(NumberReaders, IgnoreTheCLocale)
{
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    const std::string restore = saved ? saved : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no decimal-comma C locale installed";
    const double leading = ReadLeadingNumber(u"7.12", kDot);
    const auto whole = ToNumber(u"7.12", kDot);
    const QString text = FormatNumber(7.12, kDot);
    std::setlocale(LC_NUMERIC, restore.c_str());
    EXPECT_DOUBLE_EQ(leading, 7.12);
    EXPECT_EQ(whole, 7.12);
    EXPECT_EQ(text, "7.12");
}

TEST(NumberFormatCurrent, IsTheDefaultForEveryConversion)
{
    const NumberFormat saved = NumberFormat::current();
    NumberFormat::setCurrent(kComma);
    EXPECT_EQ(NumberFormat::current(), kComma);
    EXPECT_EQ(FormatNumber(7.25), "7,25");
    EXPECT_EQ(ToNumber(u"7,25"), 7.25);
    EXPECT_DOUBLE_EQ(ReadLeadingNumber(u"7,25"), 7.25);
    NumberFormat::setCurrent(saved);
    EXPECT_EQ(FormatNumber(7.25), "7.25");
}

TEST(NumberFormatRoundTrip, FormattedTextsReadBackUnderBothSeparators)
{
    for (const NumberFormat& format : {kDot, kComma}) {
        for (double v : {7.12, -0.5, 1234.5678, 1e-7, 98765432101234.0}) {
            const QString text = FormatNumber(v, format);
            EXPECT_EQ(ToNumber(text, format), v) << text.toStdString();
            EXPECT_DOUBLE_EQ(ReadLeadingNumber(text, format), v) << text.toStdString();
        }
    }
}

} // namespace
} // namespace pexumo
