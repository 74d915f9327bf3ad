#include "results/localstamp.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <string>

namespace pexumo {
namespace {

struct StampCase
{
    const char* name;
    qint64 stampMs;
    qint32 offsetSec;
    const char* text; ///< "" when there is no date to show
};

void PrintTo(const StampCase& c, std::ostream* os)
{
    *os << c.name;
}

class LocalStamp : public testing::TestWithParam<StampCase>
{
};

TEST_P(LocalStamp, GivesTheLocalDateAndTime)
{
    const StampCase& c = GetParam();
    EXPECT_EQ(localStampText(c.stampMs, c.offsetSec).toStdString(), c.text);
}

// Instants worked out from the calendar: 2026-12-09 13:03:07 UTC is 1796821387000 ms.
INSTANTIATE_TEST_SUITE_P(
    Instants, LocalStamp,
    testing::Values(
        StampCase{"UTC+1", 1796821387000, 3600, "2026-12-09 14:03:07"},
        StampCase{"milliseconds are cut, not rounded", 1796821387999, 3600, "2026-12-09 14:03:07"},
        StampCase{"UTC", 1796821387000, 0, "2026-12-09 13:03:07"},
        StampCase{"a day earlier west of UTC", 1796862600000, -5 * 3600, "2026-12-09 19:30:00"},
        StampCase{"half-hour zone", 1796821387000, 5 * 3600 + 1800, "2026-12-09 18:33:07"},
        StampCase{"leap day", 1835438400000, 0, "2028-02-29 12:00:00"},
        StampCase{"summer time, before clocks go back", 1792888200000, 7200, "2026-10-25 02:30:00"},
        StampCase{"winter time, the same hour again", 1792891800000, 3600, "2026-10-25 02:30:00"},
        StampCase{"just before 1970", -1, 0, "1969-12-31 23:59:59"},
        StampCase{"first instant of year 1", -62135596800000, 0, "0001-01-01 00:00:00"},
        StampCase{"last second of year 9999", 253402300799000, 0, "9999-12-31 23:59:59"},
        StampCase{"unknown", 0, 3600, ""}, StampCase{"year 10000", 253402300800000, 0, ""},
        StampCase{"year 0", -62135596800001, 0, ""},
        StampCase{"far beyond any calendar", std::numeric_limits<qint64>::max(), 0, ""},
        StampCase{"far before any calendar", std::numeric_limits<qint64>::min(), 0, ""}));

TEST(LocalStampBuffer, IsLeftAloneWithoutAnInstant)
{
    std::array<char, 19> out{};
    out.fill('x');
    EXPECT_FALSE(writeLocalStamp(0, 0, out));
    EXPECT_EQ(std::string(out.data(), out.size()), std::string(19, 'x'));
    EXPECT_TRUE(writeLocalStamp(1796821387000, 3600, out));
    EXPECT_EQ(std::string(out.data(), out.size()), "2026-12-09 14:03:07");
}

} // namespace
} // namespace pexumo
