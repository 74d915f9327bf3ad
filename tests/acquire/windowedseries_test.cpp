#include "acquire/windowedseries.h"

#include <gtest/gtest.h>

#include <vector>

namespace pexumo {
namespace {

struct FakeSeries
{
    std::vector<double> xs, ys;
    int count() const { return int(xs.size()); }
    double x(int i) const { return xs.at(std::size_t(i)); }
    void add(double y) { addXY(double(xs.size()), y); }
    void addXY(double x, double y)
    {
        xs.push_back(x);
        ys.push_back(y);
    }
    void removeFirst()
    {
        xs.erase(xs.begin());
        ys.erase(ys.begin());
    }
};

std::vector<double> range(double from, int n)
{
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(from + i);
    return v;
}

class WindowedSeriesTest : public ::testing::TestWithParam<int>
{
};

TEST_P(WindowedSeriesTest, FillsThenSlidesOneSampleAtATime)
{
    const int window = GetParam();
    FakeSeries s;
    for (int i = 0; i < window; ++i)
        AddWindowedPoint(s, window, 100.0 + i);
    EXPECT_EQ(s.xs, range(0, window));
    EXPECT_EQ(s.ys.front(), 100.0);

    AddWindowedPoint(s, window, 7.5);
    EXPECT_EQ(s.xs, range(1, window));
    EXPECT_EQ(s.ys.front(), 101.0) << "the oldest value is gone";
    EXPECT_EQ(s.ys.back(), 7.5);

    for (int i = 0; i < 1000; ++i)
        AddWindowedPoint(s, window, i);
    EXPECT_EQ(s.xs, range(1001, window));
    EXPECT_EQ(s.ys.back(), 999.0);
}

INSTANTIATE_TEST_SUITE_P(ChartWindows, WindowedSeriesTest, ::testing::Values(2, 11, 26));

TEST(WindowedSeries, KeepsTheStepOfTheOldestPoints)
{
    FakeSeries s;
    s.addXY(10, 1);
    s.addXY(12, 2);
    s.addXY(14, 3);
    AddWindowedPoint(s, 3, 4);
    EXPECT_EQ(s.xs, (std::vector<double>{12, 14, 16}));
    EXPECT_EQ(s.ys, (std::vector<double>{2, 3, 4}));
}

} // namespace
} // namespace pexumo
