// The disk alarm: when it rises and clears for the free space it is told, and that the file
// system is asked on a thread of its own, whose answer comes through the event loop.
#include "journal/diskwatch.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace pexumo;

namespace {

constexpr qint64 MB = 1024 * 1024;

/// An event as "raise 199 worst 199 since 1000 at 1000".
std::string describe(const AlarmEvent& e)
{
    return QStringLiteral("%1 %2 worst %3 since %4 at %5")
        .arg(e.change == AlarmChange::Raise ? "raise" : "clear")
        .arg(e.alarm.value)
        .arg(e.alarm.worst)
        .arg(e.alarm.sinceMs)
        .arg(e.atMs)
        .toStdString();
}

struct LookCase
{
    const char* name;
    int minFreeMB;
    std::vector<std::optional<qint64>> freeBytes; ///< one look a second, from 1000 ms on
    std::vector<std::string> events;
};

void PrintTo(const LookCase& c, std::ostream* os)
{
    *os << c.name;
}

class DiskLooks : public testing::TestWithParam<LookCase>
{
};

TEST_P(DiskLooks, RiseBelowTheLimitAndClearWithTheMargin)
{
    DiskWatch watch(QStringLiteral("/"), GetParam().minFreeMB, {}, {});
    std::vector<std::string> events;
    qint64 at = 1000;
    for (const std::optional<qint64>& free : GetParam().freeBytes) {
        if (const std::optional<AlarmEvent> e = watch.take(free, at)) {
            EXPECT_TRUE(e->alarm.disk);
            EXPECT_EQ(e->alarm.name(), QStringLiteral("Disk"));
            EXPECT_EQ(e->alarm.unit(), QStringLiteral("MB"));
            EXPECT_EQ(e->alarm.side, AlarmSide::Below);
            EXPECT_EQ(e->alarm.limit, GetParam().minFreeMB);
            EXPECT_EQ(watch.active().has_value(), e->change == AlarmChange::Raise);
            events.push_back(describe(*e));
        }
        at += 1000;
    }
    EXPECT_EQ(events, GetParam().events);
}

// MinFreeMB 200 clears at 210 MB, 10 at 11, 1 at 2.
INSTANTIATE_TEST_SUITE_P(
    Looks, DiskLooks,
    testing::Values(
        LookCase{"enough_space", 200, {250 * MB, 200 * MB, 10000 * MB}, {}},
        LookCase{"a_byte_short_of_the_limit_is_below",
                 200,
                 {200 * MB - 1},
                 {"raise 199 worst 199 since 1000 at 1000"}},
        LookCase{"clears_only_with_the_margin",
                 200,
                 {199 * MB, 150 * MB, 205 * MB, 209 * MB + MB - 1, 210 * MB, 209 * MB, 0},
                 {"raise 199 worst 199 since 1000 at 1000",
                  "clear 210 worst 150 since 1000 at 5000", "raise 0 worst 0 since 7000 at 7000"}},
        LookCase{
            "no_answer_changes_nothing",
            200,
            {std::nullopt, 100 * MB, std::nullopt, 300 * MB, std::nullopt},
            {"raise 100 worst 100 since 2000 at 2000", "clear 300 worst 100 since 2000 at 4000"}},
        LookCase{"small_limits_clear_a_megabyte_above",
                 10,
                 {9 * MB, 10 * MB, 11 * MB},
                 {"raise 9 worst 9 since 1000 at 1000", "clear 11 worst 9 since 1000 at 3000"}},
        LookCase{"one_megabyte",
                 1,
                 {0, 1 * MB, 2 * MB},
                 {"raise 0 worst 0 since 1000 at 1000", "clear 2 worst 0 since 1000 at 3000"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DiskWatch, AsksOnAThreadOfItsOwnAndAnswersThroughTheEventLoop)
{
    std::atomic<int> looks{0};
    std::atomic<bool> onCaller{false};
    QThread* const caller = QThread::currentThread();
    DiskWatch watch(
        QStringLiteral("/srv/journal"), 200,
        [&](const QString& folder) -> std::optional<qint64> {
            EXPECT_EQ(folder, QStringLiteral("/srv/journal"));
            onCaller = onCaller || QThread::currentThread() == caller;
            ++looks;
            QThread::msleep(50);
            return 120 * MB;
        },
        [] { return qint64(1796778847000); });
    QSignalSpy changed(&watch, &DiskWatch::alarmChanged);
    watch.start(0);
    watch.check();                 // a look is out: no second one
    EXPECT_EQ(changed.count(), 0); // never on the caller's thread
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_FALSE(onCaller);
    EXPECT_EQ(looks, 1);
    const auto event = changed.at(0).at(0).value<AlarmEvent>();
    EXPECT_EQ(describe(event), "raise 120 worst 120 since 1796778847000 at 1796778847000");
    ASSERT_TRUE(watch.active());
    EXPECT_EQ(watch.active()->value, 120);
    watch.check();                   // the answer is in: the next look goes out
    EXPECT_FALSE(changed.wait(500)); // still below: nothing new
    EXPECT_EQ(looks, 2);
}

TEST(DiskWatch, AnAnswerAfterTheWatchIsGoneIsDropped)
{
    std::mutex mutex;
    std::condition_variable released;
    bool go = false;
    std::atomic<bool> answered{false};
    int events = 0;
    {
        DiskWatch watch(
            QStringLiteral("/"), 200,
            [&](const QString&) -> std::optional<qint64> {
                std::unique_lock lock(mutex);
                released.wait(lock, [&] { return go; });
                answered = true;
                return 0;
            },
            [] { return qint64(0); });
        QObject::connect(&watch, &DiskWatch::alarmChanged, [&events] { ++events; });
        watch.check();
    }
    {
        std::lock_guard lock(mutex);
        go = true;
    }
    released.notify_all();
    while (!answered)
        QThread::msleep(5);
    QThread::msleep(20);
    QCoreApplication::processEvents(); // nothing is delivered to the watch that is gone
    EXPECT_EQ(events, 0);
}

} // namespace
