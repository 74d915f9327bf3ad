#include "publish/payload.h"

#include <gtest/gtest.h>

#include <ostream>

namespace pexumo {
namespace {

struct PayloadCase
{
    const char* name;
    ListId list;
    ResultRecord row;
    const char* json;
};

void PrintTo(const PayloadCase& c, std::ostream* os)
{
    *os << c.name;
}

class RowPayload : public ::testing::TestWithParam<PayloadCase>
{
};

TEST_P(RowPayload, IsTheDocumentedJson)
{
    const PayloadCase& c = GetParam();
    EXPECT_EQ(rowPayload(12, 345, c.list, c.row, "/dev/ttyUSB0"), QByteArray(c.json));
}

// 1796821387000 ms is 2026-12-09 13:03:07 UTC; 1767234600000 is 2026-01-01 02:30:00 UTC.
// Two rows of a list within one second keep apart: the time has its milliseconds.
INSTANTIATE_TEST_SUITE_P(
    Rows, RowPayload,
    ::testing::Values(
        PayloadCase{"ph_sample",
                    ListId::PH,
                    {"14:03:07", "pH", "7.12", "pH", "25.3", "C", 0, 1796821387125, 3600},
                    R"({"session":12,"seq":345,"port":"/dev/ttyUSB0",)"
                    R"("time":"2026-12-09T14:03:07.125+01:00","ts":1796821387125,"type":"pH",)"
                    R"("value":7.12,"unit":"pH","temp":25.3,"temp_unit":"C"})"},
        PayloadCase{"decimal_comma_and_the_last_millisecond_of_a_second",
                    ListId::COND,
                    {"14:03:07", "COND", "1,41", "ms", "25,0", "C", 0, 1796821387999, 3600},
                    R"({"session":12,"seq":345,"port":"/dev/ttyUSB0",)"
                    R"("time":"2026-12-09T14:03:07.999+01:00","ts":1796821387999,"type":"COND",)"
                    R"("value":1.41,"unit":"ms","temp":25,"temp_unit":"C"})"},
        PayloadCase{"orp_has_no_temperature_and_the_date_goes_back",
                    ListId::ORP,
                    {"21:30:00", "ORP", "-123", "mV", "", "", 0, 1767234600007, -18000},
                    R"({"session":12,"seq":345,"port":"/dev/ttyUSB0",)"
                    R"("time":"2025-12-31T21:30:00.007-05:00","ts":1767234600007,"type":"ORP",)"
                    R"("value":-123,"unit":"mV"})"},
        PayloadCase{"record_carries_its_number_and_sign",
                    ListId::Records,
                    {"17", "pH", "7.12", "pH", "77.5", "F", -1, 1767234600000, 19800},
                    R"({"session":12,"seq":345,"port":"/dev/ttyUSB0","record":17,)"
                    R"("time":"2026-01-01T08:00:00.000+05:30","ts":1767234600000,)"
                    R"("type":"pH","value":-7.12,"unit":"pH","temp":77.5,"temp_unit":"F"})"},
        PayloadCase{"texts_that_are_no_numbers",
                    ListId::Records,
                    {"x", "DO", "----", "mg/L", "--", "C", 1, 0, 0},
                    R"({"session":12,"seq":345,"port":"/dev/ttyUSB0","record":null,"time":null,)"
                    R"("ts":null,"type":"DO",)"
                    R"("value":null,"value_text":"----","unit":"mg/L","temp":null,)"
                    R"("temp_text":"--","temp_unit":"C"})"},
        PayloadCase{"strings_are_escaped",
                    ListId::Salt,
                    {"", "S\"a\\lt", "0", "pp\tt", "", "", 0, 0, 0},
                    R"({"session":12,"seq":345,"port":"/dev/ttyUSB0","time":null,"ts":null,)"
                    R"("type":"S\"a\\lt","value":0,)"
                    R"("unit":"pp\u0009t"})"}),
    [](const auto& info) { return std::string(info.param.name); });

struct AlarmPayloadCase
{
    const char* name;
    AlarmEvent event;
    const char* json;
};

void PrintTo(const AlarmPayloadCase& c, std::ostream* os)
{
    *os << c.name;
}

class AlarmPayload : public ::testing::TestWithParam<AlarmPayloadCase>
{
};

TEST_P(AlarmPayload, IsTheDocumentedJson)
{
    EXPECT_EQ(alarmPayload(12, GetParam().event), QByteArray(GetParam().json));
}

// 1796778787000 ms is 2026-12-09 02:13:07 at +01:00, 1796778847000 02:14:07; 1796781600000 is
// 2026-12-08 21:00:00 at -05:00, 1796781660000 21:01:00, 1796781930000 21:05:30.
INSTANTIATE_TEST_SUITE_P(
    Alarms, AlarmPayload,
    ::testing::Values(
        AlarmPayloadCase{
            "do_rises_below",
            {AlarmChange::Raise,
             {AlarmParameter::DO, AlarmSide::Below, 3.1, 4.0, 3.05, 1796778787000, 1796778847000,
              3600},
             1796778847000,
             3600},
            R"({"session":12,"event":"raise","parameter":"DO","side":"below","value":3.1,)"
            R"("unit":"mg/L","limit":4,"worst":3.05,"since":"2026-12-09T02:13:07.000+01:00",)"
            R"("raised":"2026-12-09T02:14:07.000+01:00","time":"2026-12-09T02:14:07.000+01:00",)"
            R"("ts":1796778847000})"},
        // "silent" and "lost" go through the broker in JournalPublishing.
        AlarmPayloadCase{
            "no_reading_rises_for_a_port_that_does_not_open",
            {AlarmChange::Raise,
             {std::nullopt, AlarmSide::NoReading, 61.5, 60, 61.5, 1796781600000, 1796781661500,
              -18000, NoReadingCause::NotOpen},
             1796781661500,
             -18000},
            R"({"session":12,"event":"raise","parameter":"NoReading","side":"silent",)"
            R"("cause":"unopened","value":61.5,"unit":"s","limit":60,"worst":61.5,)"
            R"("since":"2026-12-08T21:00:00.000-05:00","raised":"2026-12-08T21:01:01.500-05:00",)"
            R"("time":"2026-12-08T21:01:01.500-05:00","ts":1796781661500})"},
        AlarmPayloadCase{
            "no_reading_of_a_journal_that_kept_no_cause_clears",
            {AlarmChange::Clear,
             {std::nullopt, AlarmSide::NoReading, 330, 60, 330, 1796781600000, 1796781660000,
              -18000},
             1796781930000,
             -18000},
            R"({"session":12,"event":"clear","parameter":"NoReading","side":"silent",)"
            R"("value":330,"unit":"s","limit":60,"worst":330,)"
            R"("since":"2026-12-08T21:00:00.000-05:00","raised":"2026-12-08T21:01:00.000-05:00",)"
            R"("time":"2026-12-08T21:05:30.000-05:00","ts":1796781930000})"},
        // A cause on any other alarm is none of its business.
        AlarmPayloadCase{
            "disk_rises_below",
            {AlarmChange::Raise,
             {std::nullopt, AlarmSide::Below, 150, 200, 150, 1796778847000, 1796778847000, 3600,
              NoReadingCause::Silent, true},
             1796778847000,
             3600},
            R"({"session":12,"event":"raise","parameter":"Disk","side":"below","value":150,)"
            R"("unit":"MB","limit":200,"worst":150,"since":"2026-12-09T02:14:07.000+01:00",)"
            R"("raised":"2026-12-09T02:14:07.000+01:00","time":"2026-12-09T02:14:07.000+01:00",)"
            R"("ts":1796778847000})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatusPayload, IsJsonWithTheSession)
{
    EXPECT_EQ(statusPayload(true, 12), R"({"status":"online","session":12})");
    EXPECT_EQ(statusPayload(false, 7), R"({"status":"offline","session":7})");
}

} // namespace
} // namespace pexumo
