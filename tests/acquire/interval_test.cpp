#include "acquire/interval.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

namespace pexumo {
namespace {

using Result = IntervalCheck::Result;

struct IntervalCase
{
    const char* text;
    Result result;
    int seconds;
};

void PrintTo(const IntervalCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class IntervalTest : public ::testing::TestWithParam<IntervalCase>
{
};

TEST_P(IntervalTest, Checks)
{
    const IntervalCase& c = GetParam();
    const IntervalCheck check = checkInterval(QString::fromUtf8(c.text));
    EXPECT_EQ(check.result, c.result);
    if (c.result != Result::NotInteger) {
        EXPECT_EQ(check.seconds, c.seconds);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntervalTest,
    ::testing::Values(
        IntervalCase{"1", Result::Ok, 1}, IntervalCase{"5", Result::Ok, 5},
        IntervalCase{"+5", Result::Ok, 5}, IntervalCase{"007", Result::Ok, 7},
        IntervalCase{" 5", Result::Ok, 5}, IntervalCase{"5 ", Result::Ok, 5},
        IntervalCase{"2147483", Result::Ok, 2147483}, IntervalCase{"", Result::NotInteger, 0},
        IntervalCase{"  ", Result::NotInteger, 0}, IntervalCase{"abc", Result::NotInteger, 0},
        IntervalCase{"5s", Result::NotInteger, 0}, IntervalCase{"2.5", Result::NotInteger, 0},
        IntervalCase{"2,5", Result::NotInteger, 0}, IntervalCase{"-", Result::NotInteger, 0},
        IntervalCase{"1 0", Result::NotInteger, 0}, IntervalCase{"0x10", Result::NotInteger, 0},
        IntervalCase{"99999999999", Result::NotInteger, 0},
        IntervalCase{"2147483648", Result::NotInteger, 0}, IntervalCase{"0", Result::OutOfRange, 0},
        IntervalCase{"-1", Result::OutOfRange, -1},
        IntervalCase{"-2147483648", Result::OutOfRange, -2147483647 - 1},
        IntervalCase{"2147484", Result::OutOfRange, 2147484},
        IntervalCase{"2147483647", Result::OutOfRange, 2147483647}));

TEST(Interval, LargestIntervalFitsTheTimerInMilliseconds)
{
    EXPECT_LE(qint64(MaxIntervalSeconds) * 1000, qint64(std::numeric_limits<int>::max()));
    EXPECT_GT(qint64(MaxIntervalSeconds + 1) * 1000, qint64(std::numeric_limits<int>::max()));
}

TEST(Interval, Messages)
{
    EXPECT_EQ(intervalMessage(checkInterval(u"2.5")), "Interval value must be an integer.");
    const QString range = intervalMessage(checkInterval(u"0"));
    EXPECT_TRUE(range.contains("1") && range.contains("2147483") && range.contains("seconds"))
        << range.toStdString();
    EXPECT_EQ(range, intervalMessage(checkInterval(u"2147484")));
    EXPECT_TRUE(intervalMessage(checkInterval(u"5")).isEmpty());
}

} // namespace
} // namespace pexumo
