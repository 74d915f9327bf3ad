// A meter whose cable drops out and comes back, end to end: the simulator serves a pseudo-
// terminal behind a link, closes it in the middle of the run and opens a new one under the same
// link; the window, connected to the link, must wait and go on by itself.
#include "acquire/gui/linknote.h"
#include "app/gui/tfmain.h"
#include "link/comport.h"
#include "link/meterframe.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"
#include "support/metersim.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace pexumo;

class TestReconnect : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<test::MeterSim> m_sim;
    std::unique_ptr<TfMain> w;
    QStringList m_warnings;
    QDateTime m_now;

    QString linkPath() const { return m_dir.filePath(QStringLiteral("meter")); }

    /// Starts the paced demo meter behind the link; it is unplugged before frame 10 (about 3 s
    /// in) for \a awaySeconds.
    void startSimulator(double awaySeconds)
    {
        m_sim = std::make_unique<test::MeterSim>();
        QVERIFY2(m_sim->start({QStringLiteral("--pty"), QStringLiteral("--link"), linkPath(),
                               QStringLiteral("--fault"),
                               QStringLiteral("unplug@10:%1").arg(awaySeconds)}),
                 qPrintable(m_sim->errorString()));
    }

    /// Waits for the simulator to plug the meter back in (it prints the new terminal's path).
    void waitForPlugBack()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->process().canReadLine(), 10000);
        QVERIFY(m_sim->process().readLine().startsWith("/dev/"));
    }

    void openWindow(const QString& configPath)
    {
        w = std::make_unique<TfMain>(nullptr, configPath);
        w->confirmDiscard = [] { return true; };
        w->showWarning = [this](const QString& text, const QString&) { m_warnings << text; };
        w->showSetupDialog = [] {};
        w->clock = [this] { return m_now; };
        PortSettings s = w->ComPort1->settings();
        s.name = linkPath();
        QVERIFY(w->ComPort1->setSettings(s));
        w->btnConnClick(w->btnConn);
        QVERIFY2(w->ComPort1->Connected(), qPrintable(w->ComPort1->errorString()));
    }

    int rows() const
    {
        int n = 0;
        for (ResultList* list :
             {w->vtPH, w->vtORP, w->vtCOND, w->vtTDS, w->vtSalt, w->vtDO, w->vtO2})
            n += list->model()->rowCount();
        return n;
    }

    QList<QMessageBox*> visibleBoxes() const
    {
        QList<QMessageBox*> boxes;
        for (QMessageBox* box : w->findChildren<QMessageBox*>())
            if (box->isVisible())
                boxes << box;
        return boxes;
    }

private slots:
    void initTestCase()
    {
        if (!test::MeterSim::isBuilt())
            QSKIP("pexumo-meter-sim is not built");
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        m_warnings.clear();
        m_now = QDateTime(QDate(2026, 12, 9), QTime(2, 13, 7));
    }

    void cleanup()
    {
        w.reset();
        if (m_sim) {
            m_sim->stop(); // the simulator removes its link when told to end
            m_sim.reset();
        }
        QVERIFY(!QFile::exists(linkPath()));
    }

    void samplingResumesByItself()
    {
        startSimulator(1);
        openWindow(QStringLiteral("/nonexistent/config.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(rows() >= 1, 5000);

        QTRY_VERIFY_WITH_TIMEOUT(w->waitingForMeter(), 5000);
        const int rowsAtLoss = rows();
        QCOMPARE(w->btnConn->text(), QStringLiteral("Disconnect"));
        QVERIFY(!w->Button2->isEnabled());
        QVERIFY(!w->Timer1->isActive());
        QCOMPARE(w->lineNote(), QStringLiteral("Line lost 02:13:07, waiting for the meter"));
        QCOMPARE(w->lblLinkStatus->text(), w->lineNote());
        // The box tells of the loss without holding the run: this test's event loop turns.
        const QList<QMessageBox*> boxes = visibleBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front()->text(), QStringLiteral("USB has been ejected."));
        QCOMPARE(boxes.front()->windowTitle(), QStringLiteral("Warning!"));
        QVERIFY(m_warnings.isEmpty());
        // A tick that comes while the meter is away records nothing and does not pause the run.
        w->Timer1Timer(w->Timer1);
        QCOMPARE(rows(), rowsAtLoss);

        m_now = QDateTime(QDate(2026, 12, 9), QTime(2, 13, 19));
        waitForPlugBack();
        QElapsedTimer sincePlugBack;
        sincePlugBack.start();
        QTRY_VERIFY_WITH_TIMEOUT(w->ComPort1->Connected(), 2000);
        QVERIFY(sincePlugBack.elapsed() <= 2000);
        QVERIFY(!w->waitingForMeter());
        QCOMPARE(rows(), rowsAtLoss); // nothing was recorded for the time away
        QCOMPARE(w->Button2->text(), QStringLiteral("Stop"));
        QVERIFY(w->Button2->isEnabled());
        QCOMPARE(w->btnConn->text(), QStringLiteral("Disconnect"));
        QVERIFY(w->Timer1->isActive());
        QCOMPARE(w->lineNote(), QStringLiteral("Line lost 02:13:07, back 02:13:19"));
        QCOMPARE(w->lblLinkStatus->text(), w->lineNote());
        QTRY_VERIFY(visibleBoxes().isEmpty()); // the box closed by itself
        // Rows go on from the meter that came back.
        QTRY_VERIFY_WITH_TIMEOUT(rows() >= rowsAtLoss + 2, 4000);
        QCOMPARE(w->ComPort1->settings().name, linkPath());

        // A damaged frame later: the bar shows both notes, and both fit into it.
        FrameEvent damaged;
        damaged.kind = FrameEvent::Kind::Dropped;
        damaged.reason = FrameEvent::DropReason::BadDigits;
        w->DecodeFrame(damaged);
        QCOMPARE(w->lblLinkStatus->text(), QStringLiteral("Line lost 02:13:07, back 02:13:19\n"
                                                          "Line noise: 11 bytes skipped"));

        QVERIFY(w->lblLinkStatus->heightForWidth(w->lblLinkStatus->width()) <=
                w->lblLinkStatus->height());
    }

};

QTEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
