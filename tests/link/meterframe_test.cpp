#include "link/meterframe.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>

namespace pexumo {

void PrintTo(const CurrentReading& r, std::ostream* os)
{
    *os << '{' << r.FMeasType.toStdString() << ", " << r.FMeasValue.toStdString() << ", "
        << r.FMeasTemp.toStdString() << ", " << r.FMeasUnit.toStdString() << ", "
        << r.FTempUnit.toStdString() << ", " << r.FValueSign << '}';
}

void PrintTo(const MemoryRecord& r, std::ostream* os)
{
    *os << '{' << r.type.toStdString() << ", " << r.value.toStdString() << ", "
        << r.unit.toStdString() << ", " << r.temp.toStdString() << ", " << r.tempUnit.toStdString()
        << ", " << r.sign << '}';
}

namespace {

using Kind = FrameEvent::Kind;
using Reason = FrameEvent::DropReason;
using Timer = FrameEvent::TimerEffect;

const NumberFormat kDot{u'.', u','};
const NumberFormat kComma{u',', u'.'};

MeterFrame bytes(std::initializer_list<int> list)
{
    MeterFrame f{};
    std::size_t i = 0;
    for (int b : list)
        f[i++] = static_cast<std::uint8_t>(b);
    return f;
}

// A frame of the meter with the given payload bytes 2..8.
MeterFrame payload(int no, int v0, int v1, int t0, int t1, int mode, int spare = 0)
{
    return bytes({0x0F, 0xFF, no, v0, v1, t0, t1, mode, spare, 0x0F, 0xFD});
}

struct ExampleCase
{
    const char* name;
    MeterFrame frame;
    Kind kind;
    CurrentReading live;
    int recordNo;
    MemoryRecord record;
};

class WorkedExamples : public ::testing::TestWithParam<ExampleCase>
{
};

TEST_P(WorkedExamples, DecodeExactly)
{
    const ExampleCase& c = GetParam();
    const FrameEvent ev = decodeFrame(c.frame, kDot);
    EXPECT_EQ(ev.kind, c.kind);
    EXPECT_EQ(ev.reason, Reason::None);
    EXPECT_EQ(ev.live, c.live);
    EXPECT_EQ(ev.recordNo, c.recordNo);
    EXPECT_EQ(ev.record, c.record);
    const Timer expected = c.kind == Kind::Live ? Timer::Enable : Timer::Disable;
    EXPECT_EQ(ev.timer, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WorkedExamples,
    ::testing::Values(
        ExampleCase{"LivePh",
                    bytes({0x0F, 0xFF, 0x00, 0x07, 0x12, 0x02, 0x53, 0x0D, 0x00, 0x0F, 0xFD}),
                    Kind::Live,
                    {"pH", "7.12", "25.3", "pH", "C", 1},
                    0,
                    {}},
        ExampleCase{"LivePhMvNegative",
                    bytes({0x0F, 0xFF, 0x00, 0x01, 0x23, 0x02, 0x50, 0x2F, 0x00, 0x0F, 0xFD}),
                    Kind::Live,
                    {"pH", "123", "25.0", "mV", "C", -1},
                    0,
                    {}},
        ExampleCase{"LiveOrpFahrenheit",
                    bytes({0x0F, 0xFF, 0x00, 0x00, 0x05, 0x00, 0x77, 0x50, 0x00, 0x0F, 0xFD}),
                    Kind::Live,
                    {"ORP", "0.5", "7.7", "mV", "F", 1},
                    0,
                    {}},
        ExampleCase{"LiveTdsWholeDegrees",
                    bytes({0x0F, 0xFF, 0x00, 0x02, 0x50, 0x00, 0x25, 0x86, 0x00, 0x0F, 0xFD}),
                    Kind::Live,
                    {"TDS", "250", "25", "ppm", "C", 1},
                    0,
                    {}},
        ExampleCase{"RecordCond",
                    bytes({0x0F, 0xFF, 0x12, 0x02, 0x50, 0x02, 0x50, 0x01, 0x00, 0x0F, 0xFD}),
                    Kind::Record,
                    {},
                    18,
                    {"COND", "25", "us", "25", "C", 1}},
        ExampleCase{"RecordOrp",
                    bytes({0x0F, 0xFF, 0x03, 0x10, 0x00, 0x02, 0x50, 0x10, 0x00, 0x0F, 0xFD}),
                    Kind::Record,
                    {},
                    3,
                    {"ORP", "100", "mV", "", "", 1}},
        ExampleCase{"Halt",
                    bytes({0x0F, 0xFF, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x0F, 0xFD}),
                    Kind::Halt,
                    {},
                    0x99,
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WorkedExamplesComma, UseTheDecimalComma)
{
    const FrameEvent ph = decodeFrame(payload(0, 0x07, 0x12, 0x02, 0x53, 0x0D), kComma);
    EXPECT_EQ(ph.live, (CurrentReading{"pH", "7,12", "25,3", "pH", "C", 1}));
    const FrameEvent mv = decodeFrame(payload(0, 0x01, 0x23, 0x02, 0x50, 0x2F), kComma);
    EXPECT_EQ(mv.live.FMeasTemp, "25,0");
    const FrameEvent orp = decodeFrame(payload(0, 0x00, 0x05, 0x00, 0x77, 0x50), kComma);
    EXPECT_EQ(orp.live.FMeasValue, "0,5");
    const FrameEvent rec = decodeFrame(payload(7, 0x00, 0x05, 0x02, 0x50, 0x01), kComma);
    EXPECT_EQ(rec.recordNo, 7);
    EXPECT_EQ(rec.record, (MemoryRecord{"COND", "0,5", "us", "25", "C", 1}));
}

// The meter's mode table, written out by hand: code, type, unit, factor, and what the value
// digits 1234 become under that factor. Every code is checked through decoded frames, so a wrong
// type, unit or factor in the decoder's own table shows here.
struct ModeRow
{
    int code;
    const char* type;
    const char* unit;
    long double factor;
    const char* value1234;
    bool recordKeepsTemp; ///< false for electrode voltages (ORP, pH in mV)
};

void PrintTo(const ModeRow& r, std::ostream* os)
{
    *os << "code " << r.code;
}

constexpr ModeRow kModeTable[] = {
    {1, "COND", "us", 0.1L, "123.4", true},    {2, "COND", "us", 1.0L, "1234", true},
    {3, "COND", "ms", 0.01L, "12.34", true},   {4, "COND", "ms", 0.1L, "123.4", true},
    {5, "TDS", "ppm", 0.1L, "123.4", true},    {6, "TDS", "ppm", 1.0L, "1234", true},
    {7, "TDS", "ppt", 0.01L, "12.34", true},   {8, "TDS", "ppt", 0.1L, "123.4", true},
    {9, "Salt", "ppm", 0.1L, "123.4", true},   {10, "Salt", "ppm", 1.0L, "1234", true},
    {11, "Salt", "ppt", 0.01L, "12.34", true}, {12, "Salt", "ppt", 0.1L, "123.4", true},
    {13, "pH", "pH", 0.01L, "12.34", true},    {14, "pH", "mV", 0.1L, "123.4", false},
    {15, "pH", "mV", 1.0L, "1234", false},     {16, "ORP", "mV", 0.1L, "123.4", false},
    {17, "ORP", "mV", 1.0L, "1234", false},    {18, "DO", "mg/L", 0.01L, "12.34", true},
    {19, "DO", "ppm", 0.01L, "12.34", true},   {20, "O2", "%", 0.1L, "123.4", true},
};

class ModeTable : public ::testing::TestWithParam<ModeRow>
{
};

TEST_P(ModeTable, GivesTypeUnitAndScaledValue)
{
    const ModeRow& m = GetParam();
    // Value 12 34, temperature 02 53 in tenths, Fahrenheit, negative.
    const int modeByte = m.code | 0x20 | 0x40;
    const FrameEvent live = decodeFrame(payload(0, 0x12, 0x34, 0x02, 0x53, modeByte), kDot);
    ASSERT_EQ(live.kind, Kind::Live);
    EXPECT_EQ(live.live, (CurrentReading{m.type, m.value1234, "25.3", m.unit, "F", -1}));

    const FrameEvent rec = decodeFrame(payload(0x21, 0x12, 0x34, 0x02, 0x53, modeByte), kDot);
    ASSERT_EQ(rec.kind, Kind::Record);
    EXPECT_EQ(rec.recordNo, 33);
    EXPECT_EQ(rec.record,
              (MemoryRecord{m.type, m.value1234, m.unit, m.recordKeepsTemp ? "25.3" : "",
                            m.recordKeepsTemp ? "F" : "", -1}));
}

INSTANTIATE_TEST_SUITE_P(TwentyCodes, ModeTable, ::testing::ValuesIn(kModeTable),
                         [](const auto& info) { return "code" + std::to_string(info.param.code); });

TEST(ModeTableUndefined, CodesZeroAnd21To31AreDropped)
{
    for (int code : {0, 21, 22, 25, 30, 31}) {
        const FrameEvent ev = decodeFrame(payload(0, 0x12, 0x34, 0x02, 0x53, code), kDot);
        EXPECT_EQ(ev.kind, Kind::Dropped) << code;
        EXPECT_EQ(ev.reason, Reason::UndefinedMode) << code;
    }
}

// For every code and every four-digit value, the value text is the meter's own rule: the factor
// in extended precision, the product rounded to double, written with at most 15 significant
// digits. The extended-precision factor leaves no binary noise like 7.1199999.
TEST(ValueScaling, EveryCodeAndDigitsGiveTheExtendedPrecisionProduct)
{
    for (const NumberFormat& format : {kDot, kComma}) {
        for (const ModeRow& m : kModeTable) {
            for (int n = 0; n <= 9999; ++n) {
                const QString expected = FormatNumber(
                    static_cast<double>(static_cast<long double>(n) * m.factor), format);
                const FrameEvent rec =
                    decodeFrame(encodeFrame(1, n, 250, m.code, false, false, false), format);
                ASSERT_EQ(rec.record.value, expected) << "code " << m.code << " digits " << n;
                const FrameEvent live =
                    decodeFrame(encodeFrame(0, n, 250, m.code, false, false, false), format);
                ASSERT_EQ(live.live.FMeasValue, expected) << "code " << m.code << " digits " << n;
            }
        }
    }
}

// The live temperature in tenths: the product as above, with ".0" added to a whole number except
// zero, which stays "0"; a memory record never adds it.
TEST(ValueScaling, TemperatureTenthsKeepOneDecimalOnlyWhenLive)
{
    for (const NumberFormat& format : {kDot, kComma}) {
        for (int n = 0; n <= 9999; ++n) {
            const QString product =
                FormatNumber(static_cast<double>(static_cast<long double>(n) * 0.1L), format);
            QString expected = product;
            if (n != 0 && !expected.contains(format.decimal))
                expected += QString(format.decimal) + u'0';
            const MeterFrame liveFrame = encodeFrame(0, 1, n, 13, false, false, false);
            ASSERT_EQ(decodeFrame(liveFrame, format).live.FMeasTemp, expected) << n;
            const MeterFrame recFrame = encodeFrame(1, 1, n, 13, false, false, false);
            ASSERT_EQ(decodeFrame(recFrame, format).record.temp, product) << n;
        }
    }
}

struct ModeByteCase
{
    const char* name;
    int no;
    int t0, t1;
    int modeByte;
    const char* temp;
    const char* tempUnit;
    int sign;
};

class TemperatureAndFlags : public ::testing::TestWithParam<ModeByteCase>
{
};

TEST_P(TemperatureAndFlags, FollowTheModeByte)
{
    const ModeByteCase& c = GetParam();
    const FrameEvent ev = decodeFrame(payload(c.no, 0x01, 0x00, c.t0, c.t1, c.modeByte), kDot);
    if (c.no == 0) {
        ASSERT_EQ(ev.kind, Kind::Live);
        EXPECT_EQ(ev.live.FMeasTemp, c.temp);
        EXPECT_EQ(ev.live.FTempUnit, c.tempUnit);
        EXPECT_EQ(ev.live.FValueSign, c.sign);
    } else {
        ASSERT_EQ(ev.kind, Kind::Record);
        EXPECT_EQ(ev.record.temp, c.temp);
        EXPECT_EQ(ev.record.tempUnit, c.tempUnit);
        EXPECT_EQ(ev.record.sign, c.sign);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TemperatureAndFlags,
    ::testing::Values(
        // Tenths: the live reading keeps one decimal place, the memory record does not.
        ModeByteCase{"LiveTenthsWhole", 0, 0x02, 0x50, 0x01, "25.0", "C", 1},
        ModeByteCase{"RecordTenthsWhole", 5, 0x02, 0x50, 0x01, "25", "C", 1},
        ModeByteCase{"LiveZero", 0, 0x00, 0x00, 0x01, "0", "C", 1},
        ModeByteCase{"RecordZero", 5, 0x00, 0x00, 0x01, "0", "C", 1},
        ModeByteCase{"LiveSmall", 0, 0x00, 0x05, 0x01, "0.5", "C", 1},
        ModeByteCase{"LiveWholeDegrees", 0, 0x00, 0x77, 0x81, "77", "C", 1},
        ModeByteCase{"RecordWholeDegrees", 9, 0x01, 0x00, 0xC1, "100", "F", 1},
        ModeByteCase{"LiveAllBits", 0, 0x09, 0x99, 0xE1, "999", "F", -1},
        ModeByteCase{"RecordNegativeFahrenheit", 9, 0x07, 0x70, 0x61, "77", "F", -1},
        // Voltages: a live reading still carries its temperature, a memory record none.
        ModeByteCase{"LivePhMv", 0, 0x02, 0x53, 0x0E, "25.3", "C", 1},
        ModeByteCase{"LiveOrp", 0, 0x02, 0x53, 0x51, "25.3", "F", 1},
        ModeByteCase{"RecordPhMv", 4, 0x02, 0x53, 0x0E, "", "", 1},
        ModeByteCase{"RecordPhMvWhole", 4, 0x02, 0x53, 0x2F, "", "", -1},
        ModeByteCase{"RecordOrp", 4, 0x02, 0x53, 0x51, "", "", 1},
        ModeByteCase{"RecordOrpWhole", 4, 0x02, 0x53, 0xF1, "", "", -1},
        ModeByteCase{"RecordPh", 4, 0x02, 0x53, 0x0D, "25.3", "C", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ZeroValue, IsZeroForEveryCode)
{
    for (int code = 1; code <= 20; ++code) {
        EXPECT_EQ(
            decodeFrame(encodeFrame(0, 0, 250, code, false, false, false), kDot).live.FMeasValue,
            "0")
            << code;
        EXPECT_EQ(decodeFrame(encodeFrame(3, 0, 250, code, true, false, true), kComma).record.value,
                  "0")
            << code;
    }
}

TEST(RecordNumber, IsBinaryFromOneTo255)
{
    for (int no = 1; no <= 255; ++no) {
        const FrameEvent ev = decodeFrame(payload(no, 0x01, 0x00, 0x02, 0x50, 0x02), kDot);
        ASSERT_EQ(ev.kind, Kind::Record);
        ASSERT_EQ(ev.recordNo, no);
    }
}

struct DropCase
{
    const char* name;
    MeterFrame frame;
    Reason reason;
    Timer timer;
    int mode;
};

class DroppedFrames : public ::testing::TestWithParam<DropCase>
{
};

TEST_P(DroppedFrames, CarryNoDataAndOnlyTheirTimerEffect)
{
    const DropCase& c = GetParam();
    const FrameEvent ev = decodeFrame(c.frame, kDot);
    EXPECT_EQ(ev.kind, Kind::Dropped);
    EXPECT_EQ(ev.reason, c.reason);
    EXPECT_EQ(ev.timer, c.timer);
    EXPECT_EQ(ev.live, CurrentReading{});
    EXPECT_EQ(ev.record, MemoryRecord{});
    EXPECT_EQ(ev.mode, c.reason == Reason::BadFraming ? 0 : c.mode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DroppedFrames,
    ::testing::Values(
        DropCase{"LiveModeZero", payload(0, 0x07, 0x12, 0x02, 0x53, 0x00), Reason::UndefinedMode,
                 Timer::Enable, 0},
        DropCase{"LiveMode21", payload(0, 0x07, 0x12, 0x02, 0x53, 0xF5), Reason::UndefinedMode,
                 Timer::Enable, 21},
        DropCase{"RecordMode31", payload(8, 0x07, 0x12, 0x02, 0x53, 0x1F), Reason::UndefinedMode,
                 Timer::Disable, 31},
        // Bytes 2..7 all 99 but byte 8 not: memory record 153 with mode code 25, not a halt.
        DropCase{"AlmostHalt", payload(0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x00),
                 Reason::UndefinedMode, Timer::Disable, 25},
        // The mode code is judged before the digits.
        DropCase{"UndefinedModeWithBadDigits", payload(0, 0xAA, 0x12, 0x02, 0x53, 0x16),
                 Reason::UndefinedMode, Timer::Enable, 22},
        DropCase{"ValueHighNibble", payload(0, 0xA7, 0x12, 0x02, 0x53, 0x0D), Reason::BadDigits,
                 Timer::None, 13},
        DropCase{"ValueLowNibble", payload(0, 0x07, 0x1F, 0x02, 0x53, 0x02), Reason::BadDigits,
                 Timer::None, 2},
        DropCase{"TempHighNibble", payload(4, 0x07, 0x12, 0xB2, 0x53, 0x86), Reason::BadDigits,
                 Timer::None, 6},
        // Even where the record would not show its temperature.
        DropCase{"TempLowNibbleOrpRecord", payload(4, 0x07, 0x12, 0x02, 0x5C, 0x10),
                 Reason::BadDigits, Timer::None, 16},
        DropCase{"BadHeader", bytes({0x0F, 0xFE, 0, 0x07, 0x12, 0x02, 0x53, 0x0D, 0, 0x0F, 0xFD}),
                 Reason::BadFraming, Timer::None, 0},
        DropCase{"BadTrailer", bytes({0x0F, 0xFF, 0, 0x07, 0x12, 0x02, 0x53, 0x0D, 0, 0xFD, 0x0F}),
                 Reason::BadFraming, Timer::None, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HaltFrame, ComesBeforeTheRecordNumberTest)
{
    EXPECT_EQ(haltFrame(), payload(0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99));
    const FrameEvent ev = decodeFrame(haltFrame(), kDot);
    EXPECT_EQ(ev.kind, Kind::Halt);
    EXPECT_EQ(ev.timer, Timer::Disable);
    EXPECT_EQ(ev.record, MemoryRecord{});
}

TEST(EncodeFrame, BuildsTheMeterBytes)
{
    EXPECT_EQ(encodeFrame(0, 712, 253, 13, false, false, false),
              payload(0, 0x07, 0x12, 0x02, 0x53, 0x0D));
    EXPECT_EQ(encodeFrame(0, 123, 250, 15, true, false, false),
              payload(0, 0x01, 0x23, 0x02, 0x50, 0x2F));
    EXPECT_EQ(encodeFrame(0x12, 9999, 0, 1 | 0x20, false, true, true),
              payload(0x12, 0x99, 0x99, 0x00, 0x00, 0xC1));
    EXPECT_EQ(encodeFrame(1, 12345, -4, 2, false, false, false),
              payload(1, 0x99, 0x99, 0x00, 0x00, 0x02));
    EXPECT_TRUE(hasFraming(encodeFrame(0, 0, 0, 0, false, false, false)));
}

} // namespace
} // namespace pexumo
