// What the window shows for runs nobody watches: the limits from the user's settings file on the
// charts, the alarm look and the bar's note while an alarm is up, the Alarm limits dialog one
// click from the dashboard, the history of a parameter's list, and the state of publishing.
#include "acquire/gui/linknote.h"
#include "acquire/gui/trendchart.h"
#include "app/gui/parameterpage.h"
#include "app/gui/statusbadge.h"
#include "app/gui/tfmain.h"
#include "history/gui/historychart.h"
#include "history/historyseries.h"
#include "link/meterframe.h"
#include "results/gui/resultlist.h"
#include "support/feeddevice.h"
#include "support/loopback.h"

#include <QAbstractSeries>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace pexumo;

namespace {

MeterFrame live(int value, int temp, int mode)
{
    return encodeFrame(0, value, temp, mode, false, false, false);
}

/// The per-user settings file the window reads its limits from (the test's own config folder).
QString settingsFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Pexumo/Pexumo.conf"));
}

QList<double> limitLines(TrendChart* chart)
{
    QList<double> ys;
    for (QAbstractSeries* a : chart->chart()->series())
        if (auto* s = qobject_cast<QLineSeries*>(a); s && s != chart->series() && s->count() > 0)
            ys << s->at(0).y();
    std::sort(ys.begin(), ys.end());
    return ys;
}

} // namespace

class TestUnattended : public QObject
{
    Q_OBJECT

    std::unique_ptr<TfMain> w;
    QStringList m_warnings;
    QDateTime m_now;
    test::FeedDevice m_line;
    QTemporaryDir m_dir;

    void openWindow(const QByteArray& ini = "[Pexumo]\nJournal=0\n")
    {
        // By default no journal: these runs are not worth keeping.
        QFile config(m_dir.filePath("config.ini"));
        QVERIFY(config.open(QIODevice::WriteOnly) && config.write(ini) > 0);
        config.close();
        w = std::make_unique<TfMain>(nullptr, config.fileName());
        w->confirmDiscard = [] { return true; };
        w->showWarning = [this](const QString& text, const QString& detail) {
            m_warnings << text + u'|' + detail;
        };
        m_now = QDateTime(QDate(2026, 12, 9), QTime(2, 13, 0));
        w->clock = [this] { return m_now; };
        w->startJournal(); // the limits come into force here; config.ini turns nothing on
        w->ComPort1->setDevice(&m_line);
        w->btnConnClick(w->btnConn);
        QVERIFY(w->ComPort1->Connected());
    }
    void sample(const MeterFrame& frame)
    {
        w->DecodeFrame(decodeFrame(frame));
        m_now = m_now.addSecs(1);
        w->Timer1Timer(w->Timer1);
    }

private slots:
    void init()
    {
        m_warnings.clear();
        QFile::remove(settingsFile());
        m_line.plugBack();
    }
    void cleanup()
    {
        w.reset();
        m_line.close();
    }

    void limitsLookAndNote()
    {
        {
            QSettings file(settingsFile(), QSettings::IniFormat);
            file.setValue("Alarms/DO", "4.0..");
            file.setValue("Alarms/pH", "6.5..8,5x"); // a slip of the keyboard
            file.setValue("Alarms/DelaySeconds", "2");
        }
        openWindow();
        // The bad key is named; pH has no limit, DO has its line on both of its charts.
        QCOMPARE(m_warnings.size(), 1);
        QVERIFY2(m_warnings[0].contains("pH"), qPrintable(m_warnings[0]));
        QCOMPARE(limitLines(w->ChartDO), QList<double>{4.0});
        QCOMPARE(limitLines(w->ChartDO_Big), QList<double>{4.0});
        QCOMPARE(limitLines(w->ChartPH), QList<double>{});

        sample(live(310, 250, 18)); // DO 3.10 mg/L from 02:13:01
        sample(live(305, 250, 18));
        QVERIFY(!w->ChartDO->isAlarmShown()); // one second is not yet the delay
        sample(live(300, 250, 18));
        QVERIFY(w->ChartDO->isAlarmShown());
        QVERIFY(!w->ChartPH->isAlarmShown());
        QVERIFY(w->Edit2->actions().front()->isVisible());
        auto* note = w->findChild<QLabel*>("lblAlarm");
        QCOMPARE(note->text(), QStringLiteral("ALARM DO 3.00 mg/L below 4.0 since 02:13:01"));
        QVERIFY(!note->isHidden());
        QVERIFY(w->lblLinkStatus->isHidden());

        for (int i = 0; i < 3; ++i)
            sample(live(450, 250, 18)); // back inside for two seconds: cleared
        QVERIFY(!w->ChartDO->isAlarmShown());
        QVERIFY(!w->Edit2->actions().front()->isVisible());
        QVERIFY(note->isHidden());
        QVERIFY(!w->lblLinkStatus->isHidden());
    }

    // The command's result is in the bar's tooltip; one that failed stays in the bar once no
    // alarm is up, until a run of it succeeds.
    void aFailedCommandStaysInSightUntilOneSucceeds()
    {
        const QString command = m_dir.filePath("pond-alarm");
        {
            QFile script(command);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nif [ \"$1\" = raise ]; then echo 'no route to host'; exit 3; fi\n"
                         "echo 'mail sent'\n");
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        {
            QSettings file(settingsFile(), QSettings::IniFormat);
            file.setValue("Alarms/DO", "4.0..");
            file.setValue("Alarms/DelaySeconds", "0");
            file.setValue("Alarms/Command", command);
        }
        openWindow();
        auto* note = w->findChild<QLabel*>("lblAlarm");
        sample(live(310, 250, 18)); // DO 3.10: up at once
        QTRY_VERIFY(note->toolTip().contains("alarm command failed: exit 3: no route to host"));
        QCOMPARE(note->text(), QStringLiteral("ALARM DO 3.10 mg/L below 4.0 since 02:13:01"));
        sample(live(450, 250, 18)); // back inside: cleared; the failure is what the bar shows
        QCOMPARE(note->text(), QStringLiteral("alarm command failed: exit 3: no route to host"));
        QVERIFY(!note->isHidden());
        QTRY_VERIFY(note->isHidden()); // the clear's run succeeded
        QCOMPARE(note->toolTip(), QStringLiteral("alarm command: exit 0: mail sent"));
    }

    void aFillingDiskShowsInTheNote()
    {
        // More free space asked for than any disk has: the disk alarm rises at the first look,
        // which a thread of its own makes.
        openWindow("[Pexumo]\nJournalFile=journal.sqlite\nMinFreeMB=1000000000\n");
        auto* note = w->findChild<QLabel*>("lblAlarm");
        QTRY_VERIFY_WITH_TIMEOUT(!note->isHidden(), 5000);
        QVERIFY2(QRegularExpression(R"(^ALARM Disk \d+ MB free, below 1000000000 MB since )"
                                    R"(\d\d:\d\d:\d\d$)")
                     .match(note->text())
                     .hasMatch(),
                 qPrintable(note->text()));
        QVERIFY(w->lblLinkStatus->isHidden());
    }

    void theDialogIsOneClickAwayAndKeepsTheLimits()
    {
        openWindow();
        QTimer::singleShot(0, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            dialog->findChild<QLineEdit*>("edHigh_COND")->setText("1500");
            dialog->findChild<QPushButton*>("btnOK")->click();
        });
        w->findChild<QToolButton*>("btnAlarms")->click();
        QCOMPARE(limitLines(w->ChartCOND), QList<double>{1500.0});
        QSettings file(settingsFile(), QSettings::IniFormat);
        QCOMPARE(file.value("Alarms/COND").toString(), QStringLiteral("..1500"));
    }

    void theHistoryHoldsTheWholeRun()
    {
        openWindow();
        for (int i = 0; i < 30; ++i)
            sample(live(700 + i, 250, 13));
        w->ChartPHClick(nullptr);
        auto* page = qobject_cast<ParameterPage*>(w->TabPH);
        page->historyButton->click();
        QVERIFY(!page->history->isHidden());
        QVERIFY(page->chart->isHidden());
        QCOMPARE(page->history->series()->size(), 30); // not only the 26 of the big chart
        // A box zoom 3 px high goes down to the meter's step of 0.01 pH, no further.
        const QRect plot = page->history->plotRect();
        page->history->zoomTo(QRectF(plot.left() + 10, plot.center().y() - 1.5, 100, 3));
        QVERIFY2(std::abs(page->history->valueAxisMax() - page->history->valueAxisMin() - 0.01) <
                     1e-9,
                 qPrintable(QString::number(page->history->valueAxisMin())));
        page->history->showAll();
        // Live from now on, with a gap where the line was lost.
        w->showLineLost = [](const QString&, const QString&) {};
        m_line.unplug();
        QTRY_VERIFY(w->waitingForMeter());
        m_line.plugBack();
        w->run()->watchLine();
        sample(live(800, 250, 13));
        QCOMPARE(page->history->series()->size(), 31);
        QCOMPARE(page->history->series()->breaks(), std::vector<qsizetype>{30});
        QCOMPARE(page->history->series()->valueAt(30), 8.0f);
        page->historyButton->click();
        QVERIFY(page->history->isHidden());
        QVERIFY(!page->chart->isHidden());
    }

    void thePublishingBadgeSaysWhyNothingArrives()
    {
        openWindow();
        auto* badge = w->findChild<StatusBadge*>("lblMqtt");
        QCOMPARE(badge->state(), StatusBadge::State::Off);
        QCOMPARE(badge->toolTip(), QStringLiteral("MQTT off: no Host in the [Mqtt] section"));
        // A broker that is not there: rows wait in the journal, and the badge says why.
        const quint16 port = test::freeLoopbackPort();
        w.reset();
        openWindow("[Pexumo]\nJournalFile=journal.sqlite\n[Mqtt]\nHost=127.0.0.1\nPort=" +
                   QByteArray::number(port) + "\n");
        badge = w->findChild<StatusBadge*>("lblMqtt");
        sample(live(712, 253, 13));
        QTRY_COMPARE(badge->state(), StatusBadge::State::Failed);
        QTRY_COMPARE(badge->toolTip(), QStringLiteral("MQTT: 1 row waiting: connection refused"));
    }
};

QTEST_MAIN(TestUnattended)
#include "tst_unattended.moc"
