#include "link/demostream.h"
#include "link/framestream.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace pexumo;

namespace {

struct Decoded
{
    double at;
    FrameEvent event;
};

/// The demo stream's first \a seconds, cut into frames and decoded as the program does.
std::vector<Decoded> decodeDemo(double seconds, quint32 seed = 1)
{
    DemoStream demo(seed);
    FrameStream stream;
    stream.append(demo.nextFrames(seconds));
    std::vector<Decoded> out;
    double at = 0;
    while (auto item = stream.next()) {
        EXPECT_EQ(item->kind, FrameStream::Item::Kind::Frame) << "bytes skipped at " << at;
        out.push_back({at, decodeFrame(item->frame, NumberFormat{})});
        at += DemoStream::kFramePeriod;
    }
    EXPECT_EQ(stream.pending(), 0);
    return out;
}

double numberOf(const QString& text)
{
    const auto v = ToNumber(text, NumberFormat{});
    EXPECT_TRUE(v.has_value()) << text.toStdString();
    return v.value_or(0);
}

std::string key(const QString& type, const QString& unit)
{
    return (type + " " + unit).toStdString();
}

} // namespace

TEST(DemoStream, SameSeedSameBytesOtherSeedOtherNoise)
{
    DemoStream a(7), b(7), c(8);
    const QByteArray first = a.nextFrames(30);
    EXPECT_EQ(first, b.nextFrames(30));
    EXPECT_NE(first, c.nextFrames(30));
}

TEST(DemoStream, AnySplitOfTheClockGivesTheSameBytes)
{
    DemoStream whole, steps;
    const QByteArray expected = whole.nextFrames(20);
    QByteArray got;
    for (int i = 0; i < 400; ++i)
        got += steps.nextFrames(0.05);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(steps.frameCount(), whole.frameCount());
    EXPECT_TRUE(steps.nextFrames(0).isEmpty());
}

TEST(DemoStream, SendsAFewFramesASecondEachWellFormed)
{
    const auto frames = decodeDemo(60);
    const double perSecond = static_cast<double>(frames.size()) / 60;
    EXPECT_GE(perSecond, 2.0);
    EXPECT_LE(perSecond, 4.0);
    for (const Decoded& d : frames) {
        EXPECT_TRUE(d.event.kind == FrameEvent::Kind::Live ||
                    d.event.kind == FrameEvent::Kind::Record)
            << "at " << d.at << " s: kind " << static_cast<int>(d.event.kind);
    }
}

TEST(DemoStream, OneDownloadOfRecordsAFewSecondsAfterTheStartThenLiveAgain)
{
    const auto frames = decodeDemo(120);
    std::vector<int> numbers;
    std::size_t first = frames.size(), last = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].event.kind != FrameEvent::Kind::Record)
            continue;
        numbers.push_back(frames[i].event.recordNo);
        first = std::min(first, i);
        last = i;
    }
    ASSERT_EQ(numbers.size(), std::size_t(DemoStream::kDownloadRecords));
    for (std::size_t i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(numbers[i], int(i) + 1);
    EXPECT_EQ(last - first + 1, numbers.size()) << "the download is one unbroken run";
    EXPECT_GE(frames[first].at, 3.0);
    EXPECT_LE(frames[first].at, 10.0);
    EXPECT_EQ(frames[first - 1].event.kind, FrameEvent::Kind::Live);
    ASSERT_LT(last + 1, frames.size());
    EXPECT_EQ(frames[last + 1].event.kind, FrameEvent::Kind::Live);

    std::set<std::string> recordTypes;
    for (std::size_t i = first; i <= last; ++i)
        recordTypes.insert(key(frames[i].event.record.type, frames[i].event.record.unit));
    EXPECT_GE(recordTypes.size(), 5u) << "records of several kinds";
}

TEST(DemoStream, LiveTypesComeInTurnWithCelsiusAndSometimesFahrenheit)
{
    const auto frames = decodeDemo(120);
    std::vector<std::string> order;
    int fahrenheit = 0, celsius = 0;
    for (const Decoded& d : frames) {
        if (d.event.kind != FrameEvent::Kind::Live)
            continue;
        const CurrentReading& r = d.event.live;
        const std::string k = key(r.FMeasType, r.FMeasUnit);
        if (order.empty() || order.back() != k)
            order.push_back(k);
        (r.FTempUnit == "F" ? fahrenheit : celsius) += 1;
    }
    const std::vector<std::string> cycle{"pH pH",   "pH mV",    "ORP mV",  "COND us", "COND ms",
                                         "TDS ppm", "Salt ppt", "DO mg/L", "O2 %"};
    ASSERT_GE(order.size(), cycle.size() + 1);
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i], cycle[i % cycle.size()]) << "turn " << i;
    EXPECT_GT(fahrenheit, 0);
    EXPECT_GT(celsius, 2 * fahrenheit);
}

struct Range
{
    const char* type;
    const char* unit;
    double low, high; ///< believable signed values
};

void PrintTo(const Range& r, std::ostream* os)
{
    *os << r.type << " in " << r.unit;
}

class DemoStreamValues : public ::testing::TestWithParam<Range>
{
};

TEST_P(DemoStreamValues, DriftSlowlyWithinABelievableRange)
{
    const Range range = GetParam();
    const auto frames = decodeDemo(300);
    std::vector<double> values;
    std::vector<double> times;
    for (const Decoded& d : frames) {
        const CurrentReading& r = d.event.live;
        if (d.event.kind != FrameEvent::Kind::Live ||
            key(r.FMeasType, r.FMeasUnit) != key(range.type, range.unit))
            continue;
        values.push_back(r.FValueSign * numberOf(r.FMeasValue));
        times.push_back(d.at);
        const double temp = numberOf(r.FMeasTemp);
        if (r.FTempUnit == "C") {
            EXPECT_GT(temp, 15);
            EXPECT_LT(temp, 30);
        } else {
            EXPECT_GT(temp, 59);
            EXPECT_LT(temp, 86);
        }
    }
    ASSERT_GE(values.size(), 10u);
    std::set<double> distinct(values.begin(), values.end());
    EXPECT_GE(distinct.size(), 3u) << "the value moves";
    const double span = range.high - range.low;
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_GE(values[i], range.low);
        EXPECT_LE(values[i], range.high);
        const bool nextFrame = i > 0 && times[i] - times[i - 1] < 1.5 * DemoStream::kFramePeriod;
        if (nextFrame) {
            EXPECT_LT(std::abs(values[i] - values[i - 1]), span / 4) << "a jump at " << times[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachType, DemoStreamValues,
    ::testing::Values(Range{"pH", "pH", 6.5, 7.5}, Range{"pH", "mV", -40, 5},
                      Range{"ORP", "mV", 190, 280}, Range{"COND", "us", 580, 700},
                      Range{"COND", "ms", 11, 14.5}, Range{"TDS", "ppm", 370, 450},
                      Range{"Salt", "ppt", 33.5, 36}, Range{"DO", "mg/L", 7.8, 8.9},
                      Range{"O2", "%", 89, 99}),
    [](const auto& info) {
        std::string name = std::string(info.param.type) + "_" + info.param.unit;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });
