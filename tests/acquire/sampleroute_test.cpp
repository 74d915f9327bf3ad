#include "acquire/sampleroute.h"

#include <gtest/gtest.h>

#include <ostream>

namespace pexumo {
namespace {

const NumberFormat Dot{u'.', u','};
const NumberFormat Comma{u',', u'.'};

struct RouteCase
{
    const char* name;
    CurrentReading reading;
    Parameter target;
    double y;
    const char* rowValue;
    const char* rowTemp;
    const char* rowTempUnit;
    bool hasTemp;
    double tempY;
    const char* readout;
};

void PrintTo(const RouteCase& c, std::ostream* os)
{
    *os << c.name;
}

CurrentReading reading(const char* type, const char* value, const char* unit, qint32 sign,
                       const char* temp = "25.3", const char* tempUnit = "C")
{
    return CurrentReading{type, value, temp, unit, tempUnit, sign};
}

class RouteTest : public ::testing::TestWithParam<RouteCase>
{
};

TEST_P(RouteTest, PlansChartRowAndReadout)
{
    const RouteCase& c = GetParam();
    const auto plan = planSample(c.reading);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->target, c.target);
    EXPECT_DOUBLE_EQ(plan->y, c.y);
    EXPECT_EQ(plan->row.TimeOrNo, QString());
    EXPECT_EQ(plan->row.Type, c.reading.FMeasType);
    EXPECT_EQ(plan->row.Value, QString::fromUtf8(c.rowValue));
    EXPECT_EQ(plan->row.Unit, c.reading.FMeasUnit);
    EXPECT_EQ(plan->row.Temp, QString::fromUtf8(c.rowTemp));
    EXPECT_EQ(plan->row.TempUnit, QString::fromUtf8(c.rowTempUnit));
    EXPECT_EQ(plan->row.Sign, 0);
    EXPECT_EQ(plan->hasTemp, c.hasTemp);
    if (c.hasTemp) {
        EXPECT_DOUBLE_EQ(plan->tempY, c.tempY);
    }
    EXPECT_EQ(plan->readoutValue, QString::fromUtf8(c.readout));
}

INSTANTIATE_TEST_SUITE_P(
    Routes, RouteTest,
    ::testing::Values(RouteCase{"pH", reading("pH", "7.12", "pH", 1), Parameter::PH, 7.12, "7.12",
                                "25.3", "C", true, 25.3, "7.12"},
                      RouteCase{"pH_negative", reading("pH", "0.5", "pH", -1), Parameter::PH, -0.5,
                                "-0.5", "25.3", "C", true, 25.3, "-0.5"},
                      RouteCase{"pH_mV_negative", reading("pH", "120.5", "mV", -1), Parameter::ORP,
                                -120.5, "-120.5", "", "", false, 0, "-120.5"},
                      RouteCase{"ORP", reading("ORP", "350", "mV", 1), Parameter::ORP, 350, "350",
                                "", "", false, 0, "350"},
                      RouteCase{"ORP_negative", reading("ORP", "35", "mV", -1), Parameter::ORP, -35,
                                "-35", "", "", false, 0, "-35"},
                      RouteCase{"COND_ms", reading("COND", "1.41", "ms", 1), Parameter::COND, 1410,
                                "1.41", "25.3", "C", true, 25.3, "1.41"},
                      RouteCase{"COND_us_unsigned", reading("COND", "141", "us", -1),
                                Parameter::COND, 141, "141", "25.3", "C", true, 25.3, "-141"},
                      RouteCase{"TDS_ppt", reading("TDS", "2.5", "ppt", 1), Parameter::TDS, 2500,
                                "2.5", "25.3", "C", true, 25.3, "2.5"},
                      RouteCase{"TDS_ppm_unsigned", reading("TDS", "250", "ppm", -1),
                                Parameter::TDS, 250, "250", "25.3", "C", true, 25.3, "-250"},
                      RouteCase{"Salt_ppt_unsigned", reading("Salt", "1.5", "ppt", -1),
                                Parameter::Salt, 1500, "1.5", "25.3", "C", true, 25.3, "-1.5"},
                      RouteCase{"Salt_ppm", reading("Salt", "150", "ppm", 1), Parameter::Salt, 150,
                                "150", "25.3", "C", true, 25.3, "150"},
                      RouteCase{"DO_mgL_unsigned", reading("DO", "8.2", "mg/L", -1), Parameter::DO,
                                8.2, "8.2", "25.3", "C", true, 25.3, "-8.2"},
                      RouteCase{"DO_ppm_not_scaled", reading("DO", "8.2", "ppm", 1), Parameter::DO,
                                8.2, "8.2", "25.3", "C", true, 25.3, "8.2"},
                      RouteCase{"O2_unsigned", reading("O2", "95.1", "%", -1), Parameter::O2, 95.1,
                                "95.1", "25.3", "C", true, 25.3, "-95.1"},
                      RouteCase{"Fahrenheit", reading("pH", "7", "pH", 1, "77.5", "F"),
                                Parameter::PH, 7, "7", "77.5", "F", true, 77.5, "7"},
                      RouteCase{"not_a_number_plots_zero", reading("DO", "--", "mg/L", 1, "x"),
                                Parameter::DO, 0, "--", "x", "C", true, 0, "--"},
                      RouteCase{"trailing_text_ignored",
                                reading("COND", "1.41ms", "ms", 1, "25.3C"), Parameter::COND, 1410,
                                "1.41ms", "25.3C", "C", true, 25.3, "1.41ms"},
                      RouteCase{"COND_other_unit_not_scaled", reading("COND", "3", "ppt", 1),
                                Parameter::COND, 3, "3", "25.3", "C", true, 25.3, "3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Route, EmptyOrUnknownTypeGivesNothing)
{
    for (const char* type : {"", "ph", "PH", "Temp", "orp", " pH"})
        EXPECT_FALSE(planSample(reading(type, "7", "pH", 1))) << type;
    EXPECT_FALSE(planSample(CurrentReading{})) << "the start-up reading";
}

// A journal's row drawn from its texts as kept (UTF-8 bytes): the point replanRow() gives.
struct StoredRowCase
{
    const char* type;
    const char* unit;
    const char* value;
    const char* temp;
    Parameter target;
    double y;
    std::optional<double> temp_y;
};

TEST(StoredRowPoint, IsThePointTheRowWasDrawnAt)
{
    const StoredRowCase cases[] = {
        {"pH", "pH", "7.12", "25.3", Parameter::PH, 7.12, 25.3},
        {"pH", "pH", "-0.5", "25.3", Parameter::PH, -0.5, 25.3},
        {"pH", "mV", "-120.5", "", Parameter::ORP, -120.5, std::nullopt},
        {"ORP", "mV", "350", "", Parameter::ORP, 350, std::nullopt},
        {"COND", "ms", "1.41", "25.3", Parameter::COND, 1410, 25.3},
        // Only pH and ORP keep a sign: a "-" of another list's value is dropped.
        {"COND", "us", "-141", "19.0", Parameter::COND, 141, 19.0},
        {"TDS", "ppt", "2.5", "25.3", Parameter::TDS, 2500, 25.3},
        {"Salt", "ppm", "150", "25.3", Parameter::Salt, 150, 25.3},
        {"DO", "mg/L", "8,2", "25,3", Parameter::DO, 8.2, 25.3},
        {"O2", "%", "95.1", "77.5", Parameter::O2, 95.1, 77.5},
        {"DO", "mg/L", "--", "x", Parameter::DO, 0, 0},
    };
    for (const StoredRowCase& c : cases) {
        const std::optional<SampleRoute> route = routeOf(QUtf8StringView(c.type), QUtf8StringView(c.unit));
        ASSERT_TRUE(route) << c.type << ' ' << c.unit;
        EXPECT_EQ(route->target, c.target) << c.type << ' ' << c.unit;
        const PlotPoint point = plotPointOf(*route, QUtf8StringView(c.value), QUtf8StringView(c.temp));
        EXPECT_DOUBLE_EQ(point.y, c.y) << c.type << ' ' << c.value;
        EXPECT_EQ(point.temp.has_value(), c.temp_y.has_value()) << c.type << ' ' << c.unit;
        if (point.temp && c.temp_y) {
            EXPECT_DOUBLE_EQ(*point.temp, *c.temp_y) << c.type << ' ' << c.temp;
        }
    }
    for (const auto& [type, unit] : {std::pair{"ph", "pH"}, std::pair{"", ""}, std::pair{"Temp", "C"}})
        EXPECT_FALSE(routeOf(QUtf8StringView(type), QUtf8StringView(unit))) << type;
}

// A reading decoded under one decimal separator is sampled after the user switched to the other.
class SeparatorChange : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        m_saved = NumberFormat::current();
        NumberFormat::setCurrent(GetParam() ? Comma : Dot);
    }
    void TearDown() override { NumberFormat::setCurrent(m_saved); }

private:
    NumberFormat m_saved;
};

TEST_P(SeparatorChange, EitherSeparatorPlotsTheWholeValue)
{
    for (const auto& [value, temp] : {std::pair{"7,12", "25,3"}, std::pair{"7.12", "25.3"}}) {
        const auto ph = planSample(reading("pH", value, "pH", 1, temp));
        ASSERT_TRUE(ph);
        EXPECT_DOUBLE_EQ(ph->y, 7.12) << value;
        EXPECT_DOUBLE_EQ(ph->tempY, 25.3) << temp;
        EXPECT_EQ(ph->row.Value, value);
        EXPECT_EQ(ph->readoutValue, value);
    }
    const auto cond = planSample(reading("COND", "1,41", "ms", 1));
    ASSERT_TRUE(cond);
    EXPECT_DOUBLE_EQ(cond->y, 1410);
    const auto orp = planSample(reading("ORP", "120.5", "mV", -1));
    ASSERT_TRUE(orp);
    EXPECT_DOUBLE_EQ(orp->y, -120.5);
}

INSTANTIATE_TEST_SUITE_P(UnderDotAndComma, SeparatorChange, ::testing::Bool());

// A memory record's row: its number in the time column, the value unsigned with the sign apart,
// no temperature where the meter kept none (an electrode voltage).
TEST(MemoryRecordRow, NumberInTheTimeColumnAndTheSignApart)
{
    EXPECT_EQ(memoryRecordRow(255, MemoryRecord{"pH", "7.12", "pH", "25.3", "F", -1}),
              (ResultRecord{"255", "pH", "7.12", "pH", "25.3", "F", -1}));
    EXPECT_EQ(memoryRecordRow(3, MemoryRecord{"ORP", "100", "mV", "", "", 1}),
              (ResultRecord{"3", "ORP", "100", "mV", "", "", 1}));
}

// The meter's finest step on each parameter's charts, from the mode table: hundredths of pH and
// mg/L, tenths of a mV, of a us (0.01 ms is 10 us), of a ppm and of a percent.
TEST(PlotResolution, TheFinestStepOfEveryModeOnTheCharts)
{
    const std::vector<std::pair<Parameter, double>> expected{
        {Parameter::PH, 0.01},  {Parameter::ORP, 0.1}, {Parameter::COND, 0.1},
        {Parameter::TDS, 0.1},  {Parameter::Salt, 0.1}, {Parameter::DO, 0.01},
        {Parameter::O2, 0.1}};
    for (const auto& [parameter, step] : expected)
        EXPECT_DOUBLE_EQ(plotResolution(parameter), step) << int(parameter);
}

} // namespace
} // namespace pexumo
