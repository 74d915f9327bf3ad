#include "history/timeaxis.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace pexumo
