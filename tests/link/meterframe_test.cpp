#include "link/meterframe.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace pexumo {

void PrintTo(const CurrentReading& r, std::ostream* os)
{
    *os << '{' << r.FMeasType.toStdString() << ", " << r.FMeasValue.toStdString() << ", "
        << r.FMeasTemp.toStdString() << ", " << r.FMeasUnit.toStdString() << ", "
        << r.FTempUnit.toStdString() << ", " << r.FValueSign << '}';
}

void PrintTo(const ResultRecord& r, std::ostream* os)
{
    *os << '{' << r.TimeOrNo.toStdString() << ", " << r.Type.toStdString() << ", "
        << r.Value.toStdString() << ", " << r.Unit.toStdString() << ", " << r.Temp.toStdString()
        << ", " << r.TempUnit.toStdString() << ", " << r.Sign << '}';
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
    ResultRecord record;
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
                    {}},
        ExampleCase{"LivePhMvNegative",
                    bytes({0x0F, 0xFF, 0x00, 0x01, 0x23, 0x02, 0x50, 0x2F, 0x00, 0x0F, 0xFD}),
                    Kind::Live,
                    {"pH", "123", "25.0", "mV", "C", -1},
                    {}},
        ExampleCase{"LiveOrpFahrenheit",
                    bytes({0x0F, 0xFF, 0x00, 0x00, 0x05, 0x00, 0x77, 0x50, 0x00, 0x0F, 0xFD}),
                    Kind::Live,
                    {"ORP", "0.5", "7.7", "mV", "F", 1},
                    {}},
        ExampleCase{"LiveTdsWholeDegrees",
                    bytes({0x0F, 0xFF, 0x00, 0x02, 0x50, 0x00, 0x25, 0x86, 0x00, 0x0F, 0xFD}),
                    Kind::Live,
                    {"TDS", "250", "25", "ppm", "C", 1},
                    {}},
        ExampleCase{"RecordCond",
                    bytes({0x0F, 0xFF, 0x12, 0x02, 0x50, 0x02, 0x50, 0x01, 0x00, 0x0F, 0xFD}),
                    Kind::Record,
                    {},
                    {"18", "COND", "25", "us", "25", "C", 1}},
        ExampleCase{"RecordOrp",
                    bytes({0x0F, 0xFF, 0x03, 0x10, 0x00, 0x02, 0x50, 0x10, 0x00, 0x0F, 0xFD}),
                    Kind::Record,
                    {},
                    {"3", "ORP", "100", "mV", "", "", 1}},
        ExampleCase{"Halt",
                    bytes({0x0F, 0xFF, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x0F, 0xFD}),
                    Kind::Halt,
                    {},
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
    EXPECT_EQ(rec.record, (ResultRecord{"7", "COND", "0,5", "us", "25", "C", 1}));
}

TEST(ByteTexts, EveryByteSpellsAsTwoUpperCaseHexDigitsAndReadsBack)
{
    EXPECT_EQ(ByteToHex(0x0F), "0F");
    EXPECT_EQ(ByteToHex(0xFD), "FD");
    EXPECT_EQ(ByteToHex(0x00), "00");
    for (int b = 0; b < 256; ++b) {
        const QString text = ByteToHex(static_cast<std::uint8_t>(b));
        ASSERT_EQ(text, QString::number(b, 16).toUpper().rightJustified(2, u'0'));
        ASSERT_EQ(HexPairToInt(text), b);
    }
}

struct TrimCase
{
    const char* in;
    const char* out;
    bool comma;
};

void PrintTo(const TrimCase& c, std::ostream* os)
{
    *os << '"' << c.in << '"' << (c.comma ? " (comma)" : "");
}

class TrimNumberTextTest : public ::testing::TestWithParam<TrimCase>
{
};

TEST_P(TrimNumberTextTest, DropsLeadingZerosAndZeroValues)
{
    const TrimCase& c = GetParam();
    const NumberFormat format = c.comma ? kComma : kDot;
    const QString in = QString::fromLatin1(c.in);
    EXPECT_EQ(TrimNumberText(in, format), QString::fromLatin1(c.out));
    EXPECT_EQ(TrimNumberText(QStringView(in), format), QString::fromLatin1(c.out));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TrimNumberTextTest,
    ::testing::Values(TrimCase{"0250", "250", false}, TrimCase{"0.5", "0.5", false},
                      TrimCase{"000.5", "0.5", false}, TrimCase{"0.0", "0", false},
                      TrimCase{"25.0", "25.0", false}, TrimCase{"0000", "0", false},
                      TrimCase{"", "0", false}, TrimCase{".5", "0.5", false},
                      TrimCase{"0712", "712", false}, TrimCase{"0025", "25", false},
                      // Under a decimal comma 7,12 is 7.12 (never 7) and 0,0 is zero.
                      TrimCase{"7,12", "7,12", true}, TrimCase{"000,5", "0,5", true},
                      TrimCase{"0,0", "0", true}, TrimCase{"07,12", "7,12", true},
                      TrimCase{"0,05", "0,05", true}, TrimCase{"0.5", "0", true}));

TEST(ModeTable, HoldsTwentyCodes)
{
    EXPECT_EQ(lookupMode(0), nullptr);
    EXPECT_EQ(lookupMode(21), nullptr);
    EXPECT_EQ(lookupMode(-1), nullptr);
    int defined = 0;
    for (int code = 0; code < 32; ++code)
        defined += lookupMode(code) != nullptr;
    EXPECT_EQ(defined, 20);
    EXPECT_STREQ(lookupMode(1)->unit, "us");
    EXPECT_STREQ(lookupMode(3)->unit, "ms");
    EXPECT_STREQ(lookupMode(18)->unit, "mg/L");
    EXPECT_STREQ(lookupMode(20)->type, "O2");
    EXPECT_EQ(lookupMode(20)->decimals, 1);
}

// For every code and every four-digit value the value text is the exact decimal (digits moved
// by the code's factor): the extended-precision factor leaves no binary noise like 7.1199999.
TEST(ValueScaling, EveryDigitCombinationGivesTheExactDecimal)
{
    for (const NumberFormat& format : {kDot, kComma}) {
        for (int code = 1; code <= 20; ++code) {
            const int decimals = lookupMode(code)->decimals;
            for (int n = 0; n <= 9999; ++n) {
                const MeterFrame f = encodeFrame(1, n, 250, code, false, false, false);
                const FrameEvent ev = decodeFrame(f, format);
                ASSERT_EQ(ev.kind, Kind::Record);
                QString expected = QString::number(n);
                if (decimals > 0 && n != 0) {
                    expected = expected.rightJustified(decimals + 1, u'0');
                    expected.insert(expected.size() - decimals, format.decimal);
                    while (expected.endsWith(u'0'))
                        expected.chop(1);
                    if (expected.endsWith(format.decimal))
                        expected.chop(1);
                }
                ASSERT_EQ(ev.record.Value, expected) << "code " << code << " digits " << n;
            }
        }
    }
}

// The decoder writes scaled texts straight from the digits. For every four-digit input that
// equals the meter's own rule: factor in extended precision, product rounded to double,
// FormatNumber, and (live temperature in tenths) ".0" appended to a whole number, then trimmed.
TEST(ValueScaling, DigitTextsEqualTheExtendedPrecisionProduct)
{
    static constexpr long double kFactors[] = {1.0L, 0.1L, 0.01L};
    for (const NumberFormat& format : {kDot, kComma}) {
        for (int decimals = 0; decimals <= 2; ++decimals) {
            for (int n = 0; n <= 9999; ++n) {
                const double product =
                    static_cast<double>(static_cast<long double>(n) * kFactors[decimals]);
                const QString expected = TrimNumberText(FormatNumber(product, format), format);
                ASSERT_EQ(ScaledDigitsText(n, decimals, format), expected)
                    << n << " decimals " << decimals;
            }
        }
        for (int n = 0; n <= 9999; ++n) {
            QString expected = FormatNumber(
                static_cast<double>(static_cast<long double>(n) * kFactors[1]), format);
            if (!expected.contains(format.decimal))
                expected += QString(format.decimal) + u'0';
            expected = TrimNumberText(expected, format);
            const FrameEvent ev =
                decodeFrame(encodeFrame(0, 1, n, 13, false, false, false), format);
            ASSERT_EQ(ev.live.FMeasTemp, expected) << n;
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
        EXPECT_EQ(ev.record.Temp, c.temp);
        EXPECT_EQ(ev.record.TempUnit, c.tempUnit);
        EXPECT_EQ(ev.record.Sign, c.sign);
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
        EXPECT_EQ(decodeFrame(encodeFrame(3, 0, 250, code, true, false, true), kComma).record.Value,
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
        ASSERT_EQ(ev.record.TimeOrNo, QString::number(no));
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
    EXPECT_EQ(ev.record, ResultRecord{});
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
    EXPECT_EQ(ev.record, ResultRecord{});
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
