// The whole program on a real serial line: pexumo-meter-sim plays a meter into a
// pseudo-terminal, the window connects to it, samples every kind of reading, receives a memory
// download and a halt, and every list is saved and compared byte for byte. A second run keeps
// the alarms' promises through a night: limits in the charts' units, a meter that falls silent,
// a pulled cable and a Disconnect.
#include "acquire/gui/trendchart.h"
#include "app/gui/tfmain.h"
#include "link/comport.h"
#include "results/gui/resultexporter.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"
#include "support/metersim.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <QScopeGuard>

using namespace pexumo;

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void meterToFiles()
    {
        QTemporaryDir dir;
        test::MeterSim sim;
        QVERIFY2(sim.startScript(dir.filePath("meter.script"), test::kEveryRouteThenDownload),
                 qPrintable(sim.errorString()));
        const QString path = sim.portPath();

        TfMain w(nullptr, QStringLiteral("/nonexistent/config.ini"));
        w.confirmDiscard = [] { return true; };
        QStringList warnings;
        w.showWarning = [&](const QString& text, const QString&) { warnings << text; };
        int second = 0;
        w.clock = [&] {
            return QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0), QTimeZone(3600)).addSecs(second);
        };
        PortSettings settings = w.ComPort1->settings();
        settings.name = path;
        QVERIFY(w.ComPort1->setSettings(settings));
        w.Edit1->setText("3600"); // the test takes the samples itself, when each reading is in
        w.btnConnClick(w.btnConn);
        QVERIFY2(w.ComPort1->Connected(), qPrintable(w.ComPort1->errorString()));

        const QStringList types = {"pH", "pH", "ORP", "COND", "TDS", "Salt", "DO", "O2"};
        const QStringList units = {"pH", "mV", "mV", "ms", "ppm", "ppt", "mg/L", "%"};
        for (int i = 0; i < types.size(); ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(w.currentReading().FMeasType == types[i] &&
                                         w.currentReading().FMeasUnit == units[i],
                                     10000);
            ++second;
            w.Timer1Timer(w.Timer1);
        }
        ++second; // the download comes in one burst, a second after the last sample
        QTRY_COMPARE_WITH_TIMEOUT(w.Button2->text(), QStringLiteral("Go"), 10000);
        QCOMPARE(w.vtSaveData->model()->rowCount(), 3);
        QVERIFY(!w.Timer1->isActive());
        QCOMPARE(w.btnConn->text(), QStringLiteral("Disconnect"));
        QCOMPARE(w.skippedBytes(), 0);
        QVERIFY(warnings.isEmpty());

        QString target;
        w.exporter()->askFileName = [&] { return target; };
        w.exporter()->showError = [&](const QString& message) { QFAIL(qPrintable(message)); };
        // Saves one list under \a name through its button and reads back the file with \a suffix.
        const auto save = [&](void (TfMain::*handler)(QObject*), const QString& name,
                              const char* suffix = ".txt") {
            target = dir.filePath(name);
            (w.*handler)(nullptr);
            QFile file(target + suffix);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
        };
        QCOMPARE(save(&TfMain::Button4Click, "ph"),
                 QByteArray("10:00:01    pH    7.12    pH    25.3     C\r\n"));
        QCOMPARE(save(&TfMain::Button5Click, "orp"),
                 QByteArray("10:00:02    pH    -120.5    mV\r\n"
                            "10:00:03    ORP    500    mV\r\n"));
        QCOMPARE(save(&TfMain::Button6Click, "cond"),
                 QByteArray("10:00:04    COND    1.41    ms    25.1     C\r\n"));
        QCOMPARE(save(&TfMain::Button7Click, "tds"),
                 QByteArray("10:00:05    TDS    250    ppm    24.9     C\r\n"));
        QCOMPARE(save(&TfMain::Button8Click, "salt"),
                 QByteArray("10:00:06    Salt    1.2    ppt    25.2     C\r\n"));
        QCOMPARE(save(&TfMain::Button9Click, "do"),
                 QByteArray("10:00:07    DO    8.15    mg/L    24.8     C\r\n"));
        QCOMPARE(save(&TfMain::Button10Click, "o2"),
                 QByteArray("10:00:08    O2    95.4    %    77.1     F\r\n"));
        QCOMPARE(save(&TfMain::Button12Click, "records"),
                 QByteArray("1   pH   7.01   pH   25   C\r\n"
                            "2   ORP   -120.5   mV      \r\n"
                            "3   TDS   1.2   ppt   77   F\r\n"));

        // The same lists as CSV: every row with the date and time it was taken or received.
        w.exporter()->askFileName = [&] {
            return FileChoice(target, ResultExporter::csvNameFilter());
        };
        QCOMPARE(save(&TfMain::Button4Click, "ph", ".csv"),
                 QByteArray("Date,Time,Type,Value,Unit,Temperature,Temperature unit\r\n"
                            "2026-12-09,10:00:01,pH,7.12,pH,25.3,C\r\n"));
        QCOMPARE(save(&TfMain::Button12Click, "records", ".csv"),
                 QByteArray("Record,Type,Value,Unit,Temperature,Temperature unit,Received\r\n"
                            "1,pH,7.01,pH,25,C,2026-12-09 10:00:09\r\n"
                            "2,ORP,-120.5,mV,,,2026-12-09 10:00:09\r\n"
                            "3,TDS,1.2,ppt,77,F,2026-12-09 10:00:09\r\n"));

        w.btnConnClick(w.btnConn);
        QVERIFY(!w.ComPort1->Connected());
    }

    void alarmsThroughANight()
    {
        QTemporaryDir dir;
        // The user's limits: temperature up to 30 C, conductivity up to 1400 us, a second's
        // delay, and a command that notes its arguments.
        const QString told = dir.filePath("told");
        const QString command = dir.filePath("alarm.sh");
        {
            QFile file(command);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\necho \"$@\" >> '" + told.toUtf8() + "'\n");
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QString settings =
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                .filePath("Pexumo/Pexumo.conf");
        QDir().mkpath(QFileInfo(settings).path());
        {
            QFile file(settings);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[Alarms]\nTemp=..30\nCOND=..1400\nDelaySeconds=1\nNoReadingSeconds=60\n"
                       "Command=" + command.toUtf8() + "\n");
        }
        const auto forgetSettings = qScopeGuard([&] { QFile::remove(settings); });
        QFile config(dir.filePath("config.ini"));
        QVERIFY(config.open(QIODevice::WriteOnly) && config.write("[Pexumo]\nJournal=0\n") > 0);
        config.close();

        TfMain w(nullptr, config.fileName());
        w.confirmDiscard = [] { return true; };
        w.showWarning = [](const QString&, const QString&) {};
        w.showLineLost = [](const QString&, const QString&) {};
        qint64 ms = 0; // the time since 10:00:00 +01:00, on both clocks of the run
        const QDateTime start(QDate(2026, 12, 9), QTime(10, 0, 0), QTimeZone(3600));
        w.clock = [&] { return start.addMSecs(ms); };
        w.run()->monotonicMs = [&] { return ms; };
        w.startJournal(); // the limits come into force
        // Alarms tell their times in the machine's own zone.
        const auto local = [&](qint64 at) {
            const QDateTime t = start.addMSecs(at);
            return t.toOffsetFromUtc(t.toLocalTime().offsetFromUtc());
        };
        // pH at 88.0 F (31.1 C), then conductivity 1.41 ms (1410 us), then no reading: 3 s
        // later a frame of an undefined mode, and the cable is pulled for good after it.
        test::MeterSim sim;
        QVERIFY2(sim.startScript(dir.filePath("meter.script"),
                                 "wait 0.5\nlive 13 0712 0880 F\nwait 1\nlive 3 0141 0250\n"
                                 "wait 3\nlive 13 0700 0250\nlive 13 0700 0250\n",
                                 {"--fault", "badmode@2", "--fault", "unplug@3:600"}),
                 qPrintable(sim.errorString()));

        PortSettings port = w.ComPort1->settings();
        port.name = sim.portPath();
        QVERIFY(w.ComPort1->setSettings(port));
        w.Edit1->setText("3600"); // the test ticks itself
        w.btnConnClick(w.btnConn);
        QVERIFY2(w.ComPort1->Connected(), qPrintable(w.ComPort1->errorString()));
        const auto tickAt = [&](qint64 at) {
            ms = at;
            w.Timer1Timer(w.Timer1);
        };

        // A temperature in Fahrenheit beyond the limit in C: up after the delay, in C.
        QTRY_VERIFY_WITH_TIMEOUT(w.currentReading().FTempUnit == "F", 10000);
        tickAt(1000);
        QVERIFY(!w.ChartTemp->isAlarmShown());
        tickAt(2000);
        QVERIFY(w.ChartTemp->isAlarmShown());
        QVERIFY(w.Edit3->actions().front()->isVisible());
        QCOMPARE(w.findChild<QLabel*>("lblAlarm")->text(),
                 "ALARM Temp 31.1 C above 30.0 since " + local(1000).toString("HH:mm:ss"));

        // Conductivity in ms beyond a limit in us; the temperature back inside clears.
        QTRY_VERIFY_WITH_TIMEOUT(w.currentReading().FMeasType == "COND", 10000);
        tickAt(3000);
        tickAt(4000);
        QVERIFY(w.ChartCOND->isAlarmShown());
        QVERIFY(!w.ChartTemp->isAlarmShown());

        // The meter falls silent: from 10 s after its last reading (at 2 s) no row.
        tickAt(12000);
        QCOMPARE(w.vtCOND->model()->rowCount(), 3);
        tickAt(12001);
        QCOMPARE(w.vtCOND->model()->rowCount(), 3);
        QCOMPARE(w.lblStale->text(), QStringLiteral("No new reading since 10:00:02"));
        QVERIFY(!w.lblStale->isHidden());
        QCOMPARE(w.vtPH->model()->rowCount(), 2);

        // The cable is pulled: the window waits, lists nothing, and a minute after the last frame
        // the no-reading alarm rises saying why; a Disconnect ends the waiting and the alarm.
        QTRY_VERIFY_WITH_TIMEOUT(w.waitingForMeter(), 10000);
        tickAt(13000);
        QCOMPARE(w.vtCOND->model()->rowCount(), 3);
        ms = 72001;
        w.run()->watchLine();
        std::vector<ActiveAlarm> up = w.run()->alarms().active();
        QCOMPARE(up.size(), std::size_t(2));
        QCOMPARE(up[0].name(), QStringLiteral("COND"));
        QVERIFY2(QRegularExpression(R"(^ALARM no reading since \d\d:\d\d:\d\d: the line is lost$)")
                     .match(alarmNote(up[1]))
                     .hasMatch(),
                 qPrintable(alarmNote(up[1])));
        // Two alarms at once: the bar shows the first and counts the other; its tooltip has both.
        const QLabel* bar = w.findChild<QLabel*>("lblAlarm");
        QCOMPARE(bar->text(), alarmNote(up[0]) + " (+1 more)");
        QVERIFY(bar->toolTip().startsWith(alarmNote(up[0]) + '\n' + alarmNote(up[1])));
        w.btnConnClick(w.btnConn);
        QVERIFY(!w.waitingForMeter());
        up = w.run()->alarms().active();
        QCOMPARE(up.size(), std::size_t(1)); // a limit alarm stays up
        QCOMPARE(up[0].name(), QStringLiteral("COND"));

        // Every rise and clear ran the command, one after the other, in order, with "." and the
        // limit's unit, no reading with its cause.
        QStringList runs;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QFile file(told);
                runs = file.open(QIODevice::ReadOnly)
                           ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                           : QStringList();
                return runs.size() == 5;
            }(),
            10000);
        QCOMPARE(runs[0], "raise Temp 31.1 C 30.0 " + local(2000).toString(Qt::ISODate));
        QCOMPARE(runs[1], "raise COND 1410 us 1400 " + local(4000).toString(Qt::ISODate));
        QCOMPARE(runs[2], "clear Temp 25.0 C 30.0 " + local(4000).toString(Qt::ISODate));
        QVERIFY2(QRegularExpression("^raise NoReading [\\d.]+ s 60 " +
                                    QRegularExpression::escape(local(72001).toString(Qt::ISODate)) +
                                    " lost$")
                     .match(runs[3])
                     .hasMatch(),
                 qPrintable(runs[3]));
        QVERIFY2(runs[4].startsWith("clear NoReading ") && runs[4].endsWith(" lost"),
                 qPrintable(runs[4]));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
