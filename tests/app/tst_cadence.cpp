// The sampling timer's cadence with the real timer and the real clock: ticks come N s after each
// start of the sampling (Connect, Go), never early and at most a little late, so that at 1 s no
// two rows of a list fall into one second.
#include "app/station.h"
#include "link/meterframe.h"
#include "results/resultbook.h"
#include "results/resultlistmodel.h"
#include "support/feeddevice.h"

#include <QSet>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

using namespace pexumo;
using Clock = std::chrono::steady_clock;

namespace {

qint64 msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

/// Waits until the monotonic clock is 40 ms into a second. Qt's coarse timer moves a 1 s timeout
/// by up to 5 % onto a whole second of that clock: started there, it would tick 40 ms early.
Clock::time_point atFortyMsIntoASecond()
{
    using namespace std::chrono;
    for (;;) {
        const auto now = Clock::now();
        if (duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000 == 40)
            return now;
        std::this_thread::sleep_for(microseconds(200));
    }
}

} // namespace

class TestCadence : public QObject
{
    Q_OBJECT

private slots:
    void ticksKeepTheirScheduleFromEachStart()
    {
        Station::Setup setup;
        setup.configPath = QStringLiteral("/nonexistent/config.ini");
        Station station(setup);
        test::FeedDevice line;
        station.port().setDevice(&line);
        PortSettings port;
        port.name = QStringLiteral("meter");
        station.port().setSettings(port);
        MeterRun& run = station.run();
        connect(&station.port(), &TComPort::OnRxChar, &run, &MeterRun::receive);
        connect(&station.sampleTimer(), &QTimer::timeout, &run, &MeterRun::tick);
        // The meter sends a few readings a second, as a real one does.
        QTimer meter;
        connect(&meter, &QTimer::timeout, &line,
                [&line] { line.feed(encodeFrame(0, 712, 253, 13, false, false, false)); });
        meter.start(100);

        Clock::time_point start;
        qint64 k = 0;
        QList<qint64> offsets; // of each tick from its place in the schedule, ms
        connect(&run, &MeterRun::sampled, this,
                [&] { offsets << msSince(start) - ++k * 1000; });

        start = atFortyMsIntoASecond();
        QCOMPARE(run.connectOrDisconnect(1), MeterRun::ConnectResult::Opened);
        QTRY_COMPARE_WITH_TIMEOUT(offsets.size(), 3, 5000);
        QCOMPARE(run.stopOrGo(), RunControl::StopGo::Stopped);
        start = atFortyMsIntoASecond();
        k = 0;
        QCOMPARE(run.stopOrGo(), RunControl::StopGo::Resumed);
        QTRY_COMPARE_WITH_TIMEOUT(offsets.size(), 5, 5000);
        run.stop();

        // Never early; late only by what a busy machine adds, never growing along the run.
        QStringList shown;
        for (const qint64 offset : offsets)
            shown << QString::number(offset);
        for (const qint64 offset : offsets)
            QVERIFY2(offset >= -20 && offset <= 60,
                     qPrintable(QStringLiteral("ticks off their schedule by %1 ms")
                                    .arg(shown.join(QStringLiteral(", ")))));
        QSet<QString> seconds;
        const ResultListModel& ph = *station.book().list(ListId::PH);
        for (qsizetype i = 0; i < ph.size(); ++i)
            seconds << ph.recordInOrder(i).TimeOrNo;
        QCOMPARE(seconds.size(), 5);
    }
};

QTEST_GUILESS_MAIN(TestCadence)
#include "tst_cadence.moc"
