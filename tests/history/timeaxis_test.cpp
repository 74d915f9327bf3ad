#include "history/timeaxis.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace pexumo {
namespace {

// 2026-12-09 09:15:30 UTC, a Wednesday: 10:15:30 at UTC+1.
constexpr qint64 T0 = 1'796'807'730'000;
constexpr qint64 Sec = 1000;
constexpr qint64 Min = 60 * Sec;
constexpr qint64 Hr = 60 * Min;
constexpr qint64 Dy = 24 * Hr;

struct TickCase
{
    const char* name;
    qint64 spanMs;
    qint32 offsetSec;
    int maxTicks;
    qint64 stepMs;
    /// "time|date" per tick, as drawn.
    std::vector<std::string> labels;
};

void PrintTo(const TickCase& c, std::ostream* os)
{
    *os << c.name;
}

class TimeTicksTest : public ::testing::TestWithParam<TickCase>
{
};

TEST_P(TimeTicksTest, PicksRoundLocalTimesAndLabels)
{
    const TickCase& c = GetParam();
    const TimeTicks t = timeTicks(T0, T0 + c.spanMs, c.offsetSec, c.maxTicks);
    EXPECT_EQ(t.stepMs, c.stepMs);
    std::vector<std::string> labels;
    for (const TimeTick& tick : t.ticks) {
        labels.push_back((tick.time + u'|' + tick.date).toStdString());
        EXPECT_GE(tick.ms, T0);
        EXPECT_LE(tick.ms, T0 + c.spanMs);
    }
    EXPECT_EQ(labels, c.labels);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Spans, TimeTicksTest, ::testing::Values(
    TickCase{"ten_seconds", 10 * Sec, 3600, 6, 2 * Sec,
             {"10:15:30|2026-12-09", "10:15:32|", "10:15:34|", "10:15:36|", "10:15:38|",
              "10:15:40|"}},
    TickCase{"ten_seconds_room_for_all", 10 * Sec, 3600, 11, Sec,
             {"10:15:30|2026-12-09", "10:15:31|", "10:15:32|", "10:15:33|", "10:15:34|",
              "10:15:35|", "10:15:36|", "10:15:37|", "10:15:38|", "10:15:39|", "10:15:40|"}},
    TickCase{"five_minutes", 5 * Min, 3600, 6, Min,
             {"10:16|2026-12-09", "10:17|", "10:18|", "10:19|", "10:20|"}},
    TickCase{"five_minutes_new_york", 5 * Min, -5 * 3600, 3, 2 * Min,
             {"04:16|2026-12-09", "04:18|", "04:20|"}},
    TickCase{"three_hours", 3 * Hr, 3600, 6, 30 * Min,
             {"10:30|2026-12-09", "11:00|", "11:30|", "12:00|", "12:30|", "13:00|"}},
    TickCase{"three_hours_quarter_hour_zone", 3 * Hr, 5 * 3600 + 45 * 60, 4, Hr,
             {"16:00|2026-12-09", "17:00|", "18:00|"}},
    TickCase{"two_days", 2 * Dy, 3600, 6, 12 * Hr,
             {"12:00|2026-12-09", "00:00|2026-12-10", "12:00|", "00:00|2026-12-11"}},
    TickCase{"across_midnight_in_hours", 20 * Hr, 3600, 8, 3 * Hr,
             {"12:00|2026-12-09", "15:00|", "18:00|", "21:00|", "00:00|2026-12-10", "03:00|",
              "06:00|"}},
    TickCase{"three_weeks_on_mondays", 21 * Dy, 3600, 6, 7 * Dy,
             {"|2026-12-14", "|2026-12-21", "|2026-12-28"}},
    TickCase{"ten_days_on_even_days", 10 * Dy, 3600, 6, 2 * Dy,
             {"|2026-12-11", "|2026-12-13", "|2026-12-15", "|2026-12-17", "|2026-12-19"}},
    TickCase{"half_a_year", 182 * Dy, 3600, 6, 30 * Dy,
             {"|2027-01", "|2027-02", "|2027-03", "|2027-04", "|2027-05", "|2027-06"}},
    TickCase{"twelve_years", 12 * 365 * Dy, 3600, 4, 5 * 365 * Dy, {"|2030", "|2035"}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct ValueCase
{
    const char* name;
    double lo;
    double hi;
    int maxTicks;
    double step;
    std::vector<double> values;
};

void PrintTo(const ValueCase& c, std::ostream* os)
{
    *os << c.name;
}

class ValueTicksTest : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(ValueTicksTest, StepsOfOneTwoFive)
{
    const ValueCase& c = GetParam();
    const ValueTicks t = valueTicks(c.lo, c.hi, c.maxTicks);
    EXPECT_DOUBLE_EQ(t.step, c.step);
    ASSERT_EQ(t.values.size(), c.values.size());
    for (std::size_t i = 0; i < c.values.size(); ++i)
        EXPECT_DOUBLE_EQ(t.values[i], c.values[i]) << i;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ranges, ValueTicksTest, ::testing::Values(
    ValueCase{"ph", 6.93, 7.41, 6, 0.1, {7.0, 7.1, 7.2, 7.3, 7.4}},
    ValueCase{"ph_few", 6.93, 7.41, 3, 0.2, {7.0, 7.2, 7.4}},
    ValueCase{"orp_negative", -130, -20, 6, 20, {-120, -100, -80, -60, -40, -20}},
    ValueCase{"conductivity", 1405, 1505, 5, 20, {1420, 1440, 1460, 1480, 1500}},
    ValueCase{"across_zero", -0.7, 1.2, 5, 0.5, {-0.5, 0, 0.5, 1}},
    ValueCase{"not_a_range", 1.0, 0.5, 5, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Ranges no axis should see, and some it saw after repeated box zooms on a flat line: each ends
// at once, with at most the ticks asked for, ascending, within the range; -1 ticks where the rule
// leaves the count to rounding.
struct ExtremeCase
{
    const char* name;
    double lo;
    double hi;
    int maxTicks;
    int ticks;
};

void PrintTo(const ExtremeCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExtremeRangeTest : public ::testing::TestWithParam<ExtremeCase>
{
};

TEST_P(ExtremeRangeTest, EndsWithFewTicksInside)
{
    const ExtremeCase& c = GetParam();
    const auto started = std::chrono::steady_clock::now();
    const ValueTicks t = valueTicks(c.lo, c.hi, c.maxTicks);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100));
    if (c.ticks >= 0) {
        EXPECT_EQ(int(t.values.size()), c.ticks);
    }
    EXPECT_LE(int(t.values.size()), std::max(c.maxTicks, 2));
    for (std::size_t i = 0; i < t.values.size(); ++i) {
        EXPECT_GE(t.values[i], c.lo);
        EXPECT_LE(t.values[i], c.hi);
        if (i > 0) {
            EXPECT_GT(t.values[i], t.values[i - 1]);
        }
    }
}

constexpr double Inf = std::numeric_limits<double>::infinity();
const double SevenAndAStep = std::nextafter(7.0, 8.0);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ranges, ExtremeRangeTest, ::testing::Values(
    ExtremeCase{"one_step_of_a_double_at_7", 7.0, SevenAndAStep, 6, -1},
    ExtremeCase{"one_step_of_a_double_at_1e17", 1e17, std::nextafter(1e17, 2e17), 6, -1},
    ExtremeCase{"one_step_at_the_largest_double", std::nextafter(1.7e308, 0.0), 1.7e308, 6, -1},
    ExtremeCase{"denormal_span_from_zero", 0, 1e-320, 6, -1},
    ExtremeCase{"zero_span_on_a_whole_number", 7, 7, 6, 1},
    ExtremeCase{"zero_span_between_steps", 0.3, 0.3, 6, 0},
    ExtremeCase{"span_beyond_a_double", -1e308, 1e308, 6, 0},
    ExtremeCase{"infinite", -Inf, 1, 6, 0},
    ExtremeCase{"not_a_number", std::nan(""), 1, 6, 0},
    ExtremeCase{"no_room_asked_is_two", 0, 1, 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The smallest span: a millionth of the values, never below the meter's resolution nor 1e-9;
// a narrower range is widened about its middle, and then gets round ticks again.
TEST(SmallestValueSpan, KeepsTheAxisCountable)
{
    EXPECT_DOUBLE_EQ(smallestValueSpan(7, 7, 0.01), 0.01);
    EXPECT_DOUBLE_EQ(smallestValueSpan(1e17, 1e17, 0.01), 1e11);
    EXPECT_DOUBLE_EQ(smallestValueSpan(-2e4, 10, 0.1), 0.1);
    EXPECT_DOUBLE_EQ(smallestValueSpan(-3e5, 10, 0.1), 0.3);
    EXPECT_DOUBLE_EQ(smallestValueSpan(0, 0, 0), 1e-9);

    auto [lo, hi] = widenToSmallestSpan(7, SevenAndAStep, 0.01);
    EXPECT_NEAR(lo, 6.995, 1e-12);
    EXPECT_NEAR(hi, 7.005, 1e-12);
    const ValueTicks t = valueTicks(lo, hi, 6);
    EXPECT_DOUBLE_EQ(t.step, 0.002);
    ASSERT_EQ(t.values.size(), 5u);
    EXPECT_NEAR(t.values.front(), 6.996, 1e-12);
    EXPECT_NEAR(t.values.back(), 7.004, 1e-12);

    std::tie(lo, hi) = widenToSmallestSpan(7.2, 6.9, 0.01); // either order; wide enough
    EXPECT_EQ(lo, 6.9);
    EXPECT_EQ(hi, 7.2);
    std::tie(lo, hi) = widenToSmallestSpan(1e17, 1e17, 0);
    EXPECT_DOUBLE_EQ(lo, 1e17 - 5e10);
    EXPECT_DOUBLE_EQ(hi, 1e17 + 5e10);
    EXPECT_EQ(valueTicks(lo, hi, 6).values.size(), 5u); // 2e10 apart
}

} // namespace
} // namespace pexumo
