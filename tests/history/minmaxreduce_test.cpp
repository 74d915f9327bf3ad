#include "history/historyseries.h"
#include "history/minmaxreduce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pexumo {

void PrintTo(const ReducedColumn& c, std::ostream* os)
{
    *os << "{col " << c.column << " [" << c.first << ".." << c.last << "] " << c.firstY << "->"
        << c.lastY << " min " << c.minY << " max " << c.maxY << (c.joined ? " joined}" : "}");
}

namespace {

constexpr qint64 Base = 1'700'000'000'000;

struct Sample
{
    int second; ///< after Base
    float value;
    std::optional<double> temp = std::nullopt;
    bool breakBefore = false;
};

HistorySeries seriesOf(const std::vector<Sample>& samples)
{
    HistorySeries s;
    for (const Sample& x : samples) {
        if (x.breakBefore)
            s.breakLine();
        s.append(Base + x.second * 1000LL, x.value, x.temp);
    }
    return s;
}

struct ReduceCase
{
    const char* name;
    std::vector<Sample> samples;
    qint64 fromMs; ///< after Base
    qint64 toMs;
    int columns;
    HistoryChannel channel;
    std::vector<ReducedColumn> pieces;
    qsizetype before;
    qsizetype after;
};

void PrintTo(const ReduceCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReduceTest : public ::testing::TestWithParam<ReduceCase>
{
};

TEST_P(ReduceTest, KeepsShapeEdgesAndBreaks)
{
    const ReduceCase& c = GetParam();
    const HistorySeries s = seriesOf(c.samples);
    const Reduction r = reduceMinMax(s, Base + c.fromMs, Base + c.toMs, c.columns, c.channel);
    EXPECT_EQ(r.pieces, c.pieces);
    EXPECT_EQ(r.before, c.before);
    EXPECT_EQ(r.after, c.after);
}

const std::vector<Sample> Ramp10{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4},
                                 {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}};

constexpr HistoryChannel V = HistoryChannel::Value;
constexpr HistoryChannel T = HistoryChannel::Temperature;

// Samples: {second, value, temperature, break before}. Pieces: {column, first, last, firstY,
// lastY, minY, maxY, joined}. A sample at t goes to column floor((t - t0) * columns / span).
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ReduceTest, ::testing::Values(
    ReduceCase{"one_sample_per_column_last_on_t1", {{0, 1}, {1, 2}, {2, 3}, {3, 4}}, 0, 3000, 4, V,
               {{0, 0, 0, 1, 1, 1, 1, false}, {1, 1, 1, 2, 2, 2, 2, true},
                {2, 2, 2, 3, 3, 3, 3, true}, {3, 3, 3, 4, 4, 4, 4, true}}, -1, -1},
    ReduceCase{"all_in_one_column", {{0, 3}, {1, 9}, {2, 1}, {3, 5}, {4, 4}}, 0, 100'000, 10, V,
               {{0, 0, 4, 3, 4, 1, 9, false}}, -1, -1},
    ReduceCase{"break_inside_a_column_splits_it",
               {{0, 1}, {1, 2}, {2, 3}, {3, 4, {}, true}, {4, 5}, {5, 6}}, 0, 5000, 3, V,
               {{0, 0, 1, 1, 2, 1, 2, false}, {1, 2, 2, 3, 3, 3, 3, true},
                {1, 3, 3, 4, 4, 4, 4, false}, {2, 4, 5, 5, 6, 5, 6, true}}, -1, -1},
    ReduceCase{"span_edges_inside_columns_join_neighbours", Ramp10, 2500, 6500, 2, V,
               {{0, 3, 4, 3, 4, 3, 4, true}, {1, 5, 6, 5, 6, 5, 6, true}}, 2, 7},
    ReduceCase{"neighbour_behind_a_break_is_not_joined",
               {{0, 1}, {1, 2, {}, true}, {2, 3}, {3, 4, {}, true}}, 500, 2500, 2, V,
               {{0, 1, 1, 2, 2, 2, 2, false}, {1, 2, 2, 3, 3, 3, 3, true}}, -1, -1},
    ReduceCase{"empty_span_crossed_by_the_line", {{0, 1}, {100, 2}}, 40'000, 60'000, 10, V,
               {}, 0, 1},
    ReduceCase{"empty_span_in_a_gap", {{0, 1}, {100, 2, {}, true}}, 40'000, 60'000, 10, V,
               {}, -1, -1},
    ReduceCase{"one_point", {{0, 7}}, -5000, 5000, 10, V,
               std::vector<ReducedColumn>{{5, 0, 0, 7, 7, 7, 7, false}}, -1, -1},
    ReduceCase{"sample_without_temperature_is_passed_over",
               {{0, 7, 20.0}, {1, 7}, {2, 7, 22.0}, {3, 7, 23.0}}, 0, 3000, 4, T,
               {{0, 0, 0, 20, 20, 20, 20, false}, {2, 2, 2, 22, 22, 22, 22, true},
                {3, 3, 3, 23, 23, 23, 23, true}}, -1, -1},
    ReduceCase{"break_at_a_sample_without_temperature",
               {{0, 7, 20.0}, {1, 7, {}, true}, {2, 7, 22.0}}, 0, 2000, 2, T,
               {{0, 0, 0, 20, 20, 20, 20, false}, {1, 2, 2, 22, 22, 22, 22, false}}, -1, -1},
    ReduceCase{"temperature_line_crosses_a_span_without_any",
               {{0, 7, 20.0}, {1, 7}, {2, 7}, {3, 7, 23.0}}, 500, 2500, 4, T, {}, 0, 3},
    ReduceCase{"reversed_span", Ramp10, 5000, 1000, 10, V, {}, -1, -1},
    ReduceCase{"no_columns", Ramp10, 0, 9000, 0, V, {}, -1, -1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(ReduceMillion, SpikeAmongFlatPointsShowsInItsColumn)
{
    HistorySeries s;
    for (int i = 0; i < 1'000'000; ++i)
        s.append(Base + i * 1000LL, i == 654'321 ? 100.0 : 7.0, 25.0);
    const Reduction r = reduceMinMax(s, Base, Base + 999'999'000, 1000);
    ASSERT_EQ(r.pieces.size(), 1000u);
    EXPECT_EQ(r.pieces.front().first, 0);
    EXPECT_EQ(r.pieces.back().last, 999'999);
    int spikes = 0;
    for (const ReducedColumn& c : r.pieces) {
        if (c.maxY == 100) {
            ++spikes;
            EXPECT_EQ(c.column, 654); // floor(654321000 * 1000 / 999999000)
            EXPECT_EQ(c.minY, 7);
        }
    }
    EXPECT_EQ(spikes, 1);
}

struct NearCase
{
    const char* name;
    qint64 atMs; ///< after Base
    qsizetype index;
};

class SeriesLookupTest : public ::testing::TestWithParam<NearCase>
{
};

// Stamps 0 s, 10 s, 10 s, 20 s, then one 60 days later (past a block's 2^32 ms reach), then one
// stamped 5 s before it, which is kept at the instant before it.
TEST_P(SeriesLookupTest, NearestSample)
{
    HistorySeries s;
    for (const qint64 ms : {0LL, 10'000LL, 10'000LL, 20'000LL, 5'184'000'000LL, 5'183'995'000LL})
        s.append(Base + ms, 1.0);
    EXPECT_EQ(s.indexNear(Base + GetParam().atMs), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(Stamps, SeriesLookupTest,
                         ::testing::Values(NearCase{"before_all", -99'000, 0},
                                           NearCase{"tie_takes_the_earlier", 5000, 0},
                                           NearCase{"first_of_equal_stamps", 12'000, 1},
                                           NearCase{"nearer_later", 16'000, 3},
                                           NearCase{"in_the_long_pause", 3'000'000'000, 4},
                                           NearCase{"after_all", 9'000'000'000, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HistorySeries, KeepsBreaksOffsetsAndOrder)
{
    HistorySeries s;
    s.breakLine();                 // nothing to break yet
    s.append(0, 7.01, 25.3, 3600); // no instant: takes the next known one
    s.append(Base, 7.01, 25.3, 3600);
    s.append(Base + 1000, -120.5, std::nullopt, 3600);
    s.breakLine();
    s.breakLine();
    s.append(Base + 500, 1410, 24.0, 7200); // clock set back: kept at the previous instant
    s.append(0, 1410, 24.0, 7200);
    EXPECT_EQ(s.breaks(), (std::vector<qsizetype>{3}));
    EXPECT_EQ(s.stampAt(0), Base);
    EXPECT_EQ(s.stampAt(3), Base + 1000);
    EXPECT_EQ(s.stampAt(4), Base + 1000);
    EXPECT_FLOAT_EQ(s.valueAt(1), 7.01f);
    EXPECT_FLOAT_EQ(*s.temperatureAt(1), 25.3f);
    EXPECT_FALSE(s.temperatureAt(2));
    EXPECT_EQ(s.utcOffsetAt(2), 3600);
    EXPECT_EQ(s.utcOffsetAt(3), 7200);
}

} // namespace
} // namespace pexumo
