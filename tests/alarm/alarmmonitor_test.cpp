#include "acquire/sampleroute.h"
#include "alarm/alarmcommand.h"
#include "alarm/alarmmonitor.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

namespace pexumo {
namespace {

// 2026-12-09 01:13:07 UTC; at +01:00 that is 02:13:07 local.
constexpr qint64 T0 = 1796778787000;

AlarmSettings pondSettings(int delaySeconds)
{
    AlarmSettings s;
    s.limit(AlarmParameter::PH) = {6.5, 8.5};
    s.limit(AlarmParameter::ORP) = {std::nullopt, 400};
    s.limit(AlarmParameter::COND) = {std::nullopt, 1500};
    s.limit(AlarmParameter::TDS) = {std::nullopt, 1000};
    s.limit(AlarmParameter::Salt) = {500, std::nullopt};
    s.limit(AlarmParameter::DO) = {4.0, std::nullopt};
    s.limit(AlarmParameter::Temp) = {std::nullopt, 30};
    s.delaySeconds = delaySeconds;
    return s;
}

// "raise DO below 4: 2.9 worst 2.9 since 0 at 10", times in seconds after T0.
std::string describe(const AlarmEvent& e)
{
    const ActiveAlarm& a = e.alarm;
    const char* side = a.side == AlarmSide::Below   ? "below"
                       : a.side == AlarmSide::Above ? "above"
                                                    : "after";
    std::ostringstream out;
    out << (e.change == AlarmChange::Raise ? "raise " : "clear ") << a.name().toStdString() << ' '
        << side << ' ' << a.limit;
    if (a.side == AlarmSide::NoReading)
        out << " (" << (a.cause ? noReadingCauseWord(*a.cause).toStdString() : "?") << ')';
    out << ": " << a.value << " worst " << a.worst << " since "
        << (a.sinceMs - T0) / 1000 << " at " << (e.atMs - T0) / 1000;
    return out.str();
}

struct ScriptCase
{
    const char* name;
    int delaySeconds;
    /// Steps joined by "; ", each WHAT@SECONDS: NAME=VALUE a routed sample (Temp in C), a
    /// meter's reading as TYPE VALUE UNIT [TEMP C|F], frame, watch [lost|unopened] or unwatch
    /// (check() while connected, waiting for the meter or the port, or not), end lost (the line
    /// ended the run), set KEY=TEXT (a settings key changed).
    const char* script;
    const char* events; ///< every event, described and joined by "; "
    const char* active; ///< names of the alarms up at the end
};

void PrintTo(const ScriptCase& c, std::ostream* os)
{
    *os << c.name;
}

class AlarmScript : public testing::TestWithParam<ScriptCase>
{
};

TEST_P(AlarmScript, RaisesAndClearsAsTheRulesSay)
{
    const ScriptCase& c = GetParam();
    AlarmSettings settings = pondSettings(c.delaySeconds);
    AlarmMonitor monitor(settings);
    QStringList events;
    for (const QString& step : QString::fromLatin1(c.script).split(QStringLiteral("; "))) {
        const qsizetype at = step.lastIndexOf(u'@');
        const qint64 ms = T0 + step.sliced(at + 1).toLongLong() * 1000;
        const QString what = step.first(at);
        const QStringList kv = what.split(u'=');
        const QStringList words = what.split(u' ');
        AlarmMonitor::Events out;
        if (what == u"frame") {
            out = monitor.frameArrived(ms);
        } else if (what == u"watch" || what == u"unwatch") {
            out = monitor.check(ms, what == u"watch");
        } else if (what == u"watch lost" || what == u"watch unopened") {
            out = monitor.check(ms, true,
                                what == u"watch lost" ? NoReadingCause::LineLost
                                                      : NoReadingCause::NotOpen);
        } else if (what == u"end lost") {
            out = monitor.lineEnded(ms, NoReadingCause::LineLost);
        } else if (what.startsWith(u"set ")) {
            const QString key = kv[0].sliced(4);
            if (key == u"NoReadingSeconds")
                settings.noReadingSeconds = kv[1].toInt();
            else
                settings.limit(*alarmParameterFromName(key)) = *parseLimit(kv[1]);
            out = monitor.setSettings(settings, ms);
        } else if (kv.size() == 2) {
            const AlarmParameter p = *alarmParameterFromName(kv[0]);
            out = p == AlarmParameter::Temp
                      ? monitor.temperature(kv[1].toDouble(), u"C", ms)
                      : monitor.sample(Parameter(indexOf(p)), kv[1].toDouble(), ms);
        } else {
            const auto plan = planSample(CurrentReading{
                words.value(0), words.value(1), words.value(3), words.value(2), words.value(4), 1});
            out = monitor.sample(plan->target, plan->y, ms);
            if (plan->hasTemp)
                for (const AlarmEvent& e : monitor.temperature(plan->tempY, words.value(4), ms))
                    out.push_back(e);
        }
        for (const AlarmEvent& e : out)
            events << QString::fromStdString(describe(e));
    }
    EXPECT_EQ(events.join(QStringLiteral("; ")).toStdString(), c.events);
    QStringList up;
    for (const ActiveAlarm& a : monitor.active())
        up << a.name();
    EXPECT_EQ(up.join(u',').toStdString(), c.active);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AlarmScript,
    testing::Values(
        ScriptCase{"delay_before_rise_and_clear", 10,
                   "DO=3.1@0; DO=4.2@5; DO=3@9; DO=2.5@15; DO=3.2@19; DO=4.5@20; DO=3.9@25; "
                   "DO=4.1@26; DO=4.2@35; DO=4.2@36",
                   "raise DO below 4: 3.2 worst 2.5 since 9 at 19; "
                   "clear DO below 4: 4.2 worst 2.5 since 9 at 36",
                   ""},
        ScriptCase{"delay_0_and_a_limit_itself_is_inside", 0, "DO=3.9@0; DO=4@1",
                   "raise DO below 4: 3.9 worst 3.9 since 0 at 0; "
                   "clear DO below 4: 4 worst 3.9 since 0 at 1",
                   ""},
        ScriptCase{"open_low_side", 10, "COND=0@0; COND=1600@1; COND=1550@11; COND=-5@12",
                   "raise COND above 1500: 1550 worst 1600 since 1 at 11", "COND"},
        ScriptCase{"jump_to_the_other_side_while_up", 10, "pH=6@0; pH=6.2@10; pH=9@12",
                   "raise pH below 6.5: 6.2 worst 6 since 0 at 10; "
                   "clear pH below 6.5: 9 worst 6 since 0 at 12; "
                   "raise pH above 8.5: 9 worst 9 since 12 at 12",
                   "pH"},
        ScriptCase{"jump_before_the_rise_keeps_the_start", 10, "pH=6@0; pH=9@10",
                   "raise pH above 8.5: 9 worst 9 since 0 at 10", "pH"},
        ScriptCase{"readings_in_the_larger_units", 0,
                   "COND 1.4 ms 20 C@0; COND 1.6 ms 20 C@1; TDS 2.5 ppt 20 C@2; "
                   "Salt 0.4 ppt 20 C@3; pH 420 mV@4",
                   "raise COND above 1500: 1600 worst 1600 since 1 at 1; "
                   "raise TDS above 1000: 2500 worst 2500 since 2 at 2; "
                   "raise Salt below 500: 400 worst 400 since 3 at 3; "
                   "raise ORP above 400: 420 worst 420 since 4 at 4",
                   "ORP,COND,TDS,Salt"},
        ScriptCase{"fahrenheit_is_converted", 0, "pH 7 pH 86 F@0; pH 7 pH 87.8 F@1; Temp=25@2",
                   "raise Temp above 30: 31 worst 31 since 1 at 1; "
                   "clear Temp above 30: 25 worst 31 since 1 at 2",
                   ""},
        ScriptCase{"clock_set_back_starts_anew", 10, "DO=3@100; DO=3@50; DO=3@59; DO=3@60",
                   "raise DO below 4: 3 worst 3 since 50 at 60", "DO"},
        ScriptCase{"no_reading_from_the_watch_or_the_last_frame", 10,
                   "frame@0; watch@100; watch@159; watch@160; watch@170; frame@175; watch@234; "
                   "watch@235",
                   "raise NoReading after 60 (silent): 60 worst 60 since 100 at 160; "
                   "clear NoReading after 60 (silent): 75 worst 75 since 100 at 175; "
                   "raise NoReading after 60 (silent): 60 worst 60 since 175 at 235",
                   "NoReading"},
        ScriptCase{"disconnect_ends_no_reading_and_counts_keeps_limit_alarms", 10,
                   "watch@0; DO=3@0; DO=3@10; watch@60; pH=6@60; DO=4.5@65; unwatch@70; "
                   "DO=4.5@72; pH=6@75; DO=4.5@80; pH=6@80",
                   "raise DO below 4: 3 worst 3 since 0 at 10; "
                   "raise NoReading after 60 (silent): 60 worst 60 since 0 at 60; "
                   "clear NoReading after 60 (silent): 70 worst 70 since 0 at 70",
                   "DO"},
        ScriptCase{"no_reading_switched_off", 10,
                   "watch@0; watch@60; set NoReadingSeconds=0@61; watch@1000",
                   "raise NoReading after 60 (silent): 60 worst 60 since 0 at 60; "
                   "clear NoReading after 60 (silent): 61 worst 61 since 0 at 61",
                   ""},
        ScriptCase{"no_reading_tells_why_as_last_seen", 10,
                   "watch unopened@0; watch unopened@60; watch@65; watch lost@70; frame@80",
                   "raise NoReading after 60 (unopened): 60 worst 60 since 0 at 60; "
                   "clear NoReading after 60 (lost): 80 worst 80 since 0 at 80",
                   ""},
        ScriptCase{"a_line_that_ends_the_run_raises_at_once_and_once", 10,
                   "watch@0; frame@5; end lost@10; end lost@11; watch lost@20",
                   "raise NoReading after 60 (lost): 5 worst 5 since 5 at 10", "NoReading"},
        ScriptCase{"a_silence_that_ends_with_the_line_is_a_lost_line", 10,
                   "watch@0; watch@60; end lost@61; unwatch@62",
                   "raise NoReading after 60 (silent): 60 worst 60 since 0 at 60; "
                   "clear NoReading after 60 (lost): 62 worst 62 since 0 at 62",
                   ""},
        ScriptCase{"the_end_of_a_line_without_the_alarm", 10,
                   "watch@0; set NoReadingSeconds=0@1; end lost@10", "", ""},
        ScriptCase{"limit_removed_while_up", 10, "DO=3@0; DO=3@10; set DO=..9@20",
                   "raise DO below 4: 3 worst 3 since 0 at 10; "
                   "clear DO below 4: 3 worst 3 since 0 at 20",
                   ""},
        ScriptCase{"limits_moved", 10,
                   "DO=3@0; DO=3@10; pH=6@10; set DO=3.5..@15; set pH=6.8..8.5@15; DO=3.6@21; "
                   "pH=6@24; DO=3.6@31",
                   "raise DO below 4: 3 worst 3 since 0 at 10; "
                   "clear DO below 3.5: 3.6 worst 3 since 0 at 31",
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The texts of events beyond those the notification test shows (decimal comma, upper side, no
// reading), with the alarm command's arguments, which always use ".".
struct TextCase
{
    const char* name;
    AlarmEvent event;
    const char* text;
    const char* arguments;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.name;
}

AlarmEvent happened(AlarmChange change, std::optional<AlarmParameter> parameter, AlarmSide side,
                    double value, double limit, double worst,
                    std::optional<NoReadingCause> cause = NoReadingCause::Silent)
{
    constexpr qint64 At = T0 + 424000; // 02:20:11 at +01:00
    return {change, {parameter, side, value, limit, worst, T0, T0, 3600, cause}, At, 3600};
}

/// The disk alarm (DiskWatch): MinFreeMB 200, \a free MB free at the event.
AlarmEvent diskEvent(AlarmChange change, double free, double worst)
{
    AlarmEvent event = happened(change, std::nullopt, AlarmSide::Below, free, 200, worst);
    event.alarm.disk = true;
    return event;
}

class EventText : public testing::TestWithParam<TextCase>
{
};

TEST_P(EventText, SaysWhatHappened)
{
    const TextCase& c = GetParam();
    EXPECT_EQ(alarmEventText(c.event, NumberFormat{u',', u'.'}).toStdString(), c.text);
    EXPECT_EQ(alarmCommandArguments(c.event).join(u' ').toStdString(), c.arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EventText,
    testing::Values(
        TextCase{"clear_pH_above",
                 happened(AlarmChange::Clear, AlarmParameter::PH, AlarmSide::Above, 8.4, 8.5, 9.12),
                 "CLEAR pH 8,40 pH, above 8,5 from 02:13:07 to 02:20:11, highest 9,12",
                 "clear pH 8.40 pH 8.5 2026-12-09T02:20:11+01:00"},
        TextCase{"clear_no_reading",
                 happened(AlarmChange::Clear, std::nullopt, AlarmSide::NoReading, 424.5, 60, 424.5),
                 "CLEAR no reading from 02:13:07 to 02:20:11",
                 "clear NoReading 424.5 s 60 2026-12-09T02:20:11+01:00 silent"},
        TextCase{"raise_no_reading_line_lost",
                 happened(AlarmChange::Raise, std::nullopt, AlarmSide::NoReading, 75, 60, 75,
                          NoReadingCause::LineLost),
                 "ALARM no reading since 02:13:07: the line is lost",
                 "raise NoReading 75 s 60 2026-12-09T02:20:11+01:00 lost"},
        TextCase{"raise_no_reading_port_not_open",
                 happened(AlarmChange::Raise, std::nullopt, AlarmSide::NoReading, 60, 60, 60,
                          NoReadingCause::NotOpen),
                 "ALARM no reading since 02:13:07: the port does not open",
                 "raise NoReading 60 s 60 2026-12-09T02:20:11+01:00 unopened"},
        // Read back from a journal that did not keep the cause.
        TextCase{"raise_no_reading_cause_unknown",
                 happened(AlarmChange::Raise, std::nullopt, AlarmSide::NoReading, 60, 60, 60,
                          std::nullopt),
                 "ALARM no reading since 02:13:07",
                 "raise NoReading 60 s 60 2026-12-09T02:20:11+01:00"},
        TextCase{"raise_disk", diskEvent(AlarmChange::Raise, 150, 150),
                 "ALARM Disk 150 MB free, below 200 MB since 02:13:07",
                 "raise Disk 150 MB 200 2026-12-09T02:20:11+01:00"},
        TextCase{"clear_disk", diskEvent(AlarmChange::Clear, 1500, 120),
                 "CLEAR Disk 1500 MB free, below 200 MB from 02:13:07 to 02:20:11, lowest 120 MB",
                 "clear Disk 1500 MB 200 2026-12-09T02:20:11+01:00"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pexumo
