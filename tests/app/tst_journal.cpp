// The journal through the whole window. A child process (this program, re-run as a plain
// window driver) samples a meter on a real pseudo-terminal, downloads its memory and is killed
// with SIGKILL; the rows must then come back on Yes, stay in the journal on No, and export
// byte for byte through pexumo-journal. Two windows in two processes share one journal, and
// every fault of the file leaves the lists working with a note in the control bar.
#include "acquire/gui/linknote.h"
#include "acquire/gui/trendchart.h"
#include "app/gui/parameterpage.h"
#include "app/gui/statusbadge.h"
#include "app/gui/tfmain.h"
#include "history/gui/historychart.h"
#include "history/historyseries.h"
#include "journal/journal.h"
#include "journal/journalreader.h"
#include "link/comport.h"
#include "results/gui/resultexporter.h"
#include "results/gui/resultlist.h"
#include "results/resultbook.h"
#include "results/resultlistmodel.h"
#include "results/textexport.h"
#include "support/metersim.h"
#include "support/programrun.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

using namespace pexumo;

namespace {

const char* const kListFiles[] = {"ph", "orp", "cond", "tds", "salt", "do", "o2", "records"};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void writeConfig(const QString& dir, const QByteArray& journalLines)
{
    writeFile(QDir(dir).filePath("config.ini"), "[Pexumo]\n" + journalLines);
}

std::array<ResultListModel*, 8> modelsOf(const TfMain& w)
{
    return {w.vtPH->list(),   w.vtORP->list(), w.vtCOND->list(), w.vtTDS->list(),
            w.vtSalt->list(), w.vtDO->list(),  w.vtO2->list(),   w.vtSaveData->list()};
}

/// Every chart's points as text, one chart per line, in a fixed order.
QByteArray chartPoints(const TfMain& w)
{
    QByteArray out;
    for (QLineSeries* s : {w.LinePH, w.LineORP, w.LineCOND, w.LineTDS, w.LineSalt, w.LineDO,
                           w.LineO2, w.LineTemp, w.LinePH_Big, w.LineORP_Big, w.LineCOND_Big,
                           w.LineTDS_Big, w.LineSalt_Big, w.LineDO_Big, w.LineO2_Big}) {
        for (const QPointF& p : s->points())
            out += QByteArray::number(p.x()) + ',' + QByteArray::number(p.y()) + ' ';
        out += '\n';
    }
    return out;
}

FrameEvent recordEvent(int no)
{
    FrameEvent ev;
    ev.kind = FrameEvent::Kind::Record;
    ev.timer = FrameEvent::TimerEffect::Disable;
    ev.recordNo = std::uint8_t(no);
    ev.record = {"pH", "7.01", "pH", "25", "C", 1};
    return ev;
}

/// A window as the program makes it, journal started, with its boxes answered by the test.
struct Window
{
    explicit Window(const QString& dir, bool answer = true)
        : w(nullptr, QDir(dir).filePath("config.ini"))
    {
        w.showWarning = [this](const QString& text, const QString&) { warnings << text; };
        w.confirmDiscard = [] { return true; };
        w.askRestore = [this, answer](const QString& question) {
            questions << question;
            return answer;
        };
        w.startJournal();
    }
    TfMain w;
    QStringList questions;
    QStringList warnings;
};

// ------------------------------------------------------------------ the child process

/// Samples every route from the simulator on \a port, with the pH route and the temperature
/// run past their chart windows, downloads three records, writes what a save of each list
/// would write and every chart's points, says "ready" and waits to be killed.
int runSampler(const QString& dir, const QString& port)
{
    TfMain w(nullptr, QDir(dir).filePath("config.ini"));
    w.showWarning = [](const QString&, const QString&) {};
    w.askRestore = [](const QString&) { return false; };
    int second = 0;
    w.clock = [&] { return QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0)).addSecs(++second); };
    w.startJournal();
    PortSettings settings = w.ComPort1->settings();
    settings.name = port;
    if (!w.ComPort1->setSettings(settings))
        return 3;
    w.Edit1->setText("3600"); // ticks come from here, when each reading is in
    w.btnConnClick(w.btnConn);
    if (!w.ComPort1->Connected())
        return 4;
    const QStringList types = {"pH", "pH", "ORP", "COND", "TDS", "Salt", "DO", "O2"};
    const QStringList units = {"pH", "mV", "mV", "ms", "ppm", "ppt", "mg/L", "%"};
    for (int i = 0; i < units.size(); ++i) {
        if (!QTest::qWaitFor(
                [&] {
                    return w.currentReading().FMeasType == types[i] &&
                           w.currentReading().FMeasUnit == units[i];
                },
                20000))
            return 5;
        for (int tick = 0; tick < (i == 0 ? 30 : 2); ++tick)
            w.Timer1Timer(w.Timer1);
    }
    if (!QTest::qWaitFor([&] { return w.vtSaveData->list()->size() == 3; }, 20000))
        return 6;
    const auto models = modelsOf(w);
    for (std::size_t i = 0; i < models.size(); ++i)
        writeFile(QDir(dir).filePath(QString("expected-%1").arg(kListFiles[i])),
                  exportBytes(*models[i]));
    writeFile(QDir(dir).filePath("charts"), chartPoints(w));
    std::printf("ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}

/// Adds \a count records as a download would and closes the window normally.
int runRecordWriter(const QString& dir, int count)
{
    TfMain w(nullptr, QDir(dir).filePath("config.ini"));
    w.confirmDiscard = [] { return true; };
    w.askRestore = [](const QString&) { return false; }; // the other one may have ended first
    w.startJournal();
    if (!w.journal() || !w.journal()->isOn()) {
        std::fprintf(stderr, "%s\n", qPrintable(w.lblJournalStatus->text()));
        return 3;
    }
    // Listed as a download lists them, but numbered on past the meter's 255, so that the order
    // of every row shows in the file.
    for (int i = 1; i <= count; ++i) {
        const QDateTime now = QDateTime::currentDateTime();
        w.book()->add(ListId::Records,
                      ResultRecord{QString::number(i), "pH", "7.01", "pH", "25", "C", 1,
                                   now.toMSecsSinceEpoch(), now.offsetFromUtc()});
    }
    w.close();
    return 0;
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private:
    QString m_tool = QStringLiteral(PEXUMO_BINARY_DIR "/tools/pexumo-journal");

    QByteArray runTool(const QStringList& args, int* exitCode = nullptr)
    {
        const test::ProgramRun run = test::runProgram(m_tool, args);
        if (exitCode)
            *exitCode = run.exitCode;
        return run.out;
    }

private slots:
    void killedRunComesBackOnYesAndStaysOnNo()
    {
        QTemporaryDir dir;
        writeConfig(dir.path(), "JournalFile=journal.sqlite\n");
        test::MeterSim sim;
        QVERIFY2(sim.startScript(dir.filePath("meter.script"), test::kEveryRouteThenDownload),
                 qPrintable(sim.errorString()));
        const QString port = sim.portPath();

        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {"--journal-child", "sampler", dir.path(), port});
        QVERIFY(child.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine() || child.state() == QProcess::NotRunning,
                                 60000);
        QCOMPARE(child.readLine(), QByteArray("ready\n"));
        // A row is on disk within a second of its tick: wait just over one, then kill.
        QTest::qWait(1100);
        child.kill(); // SIGKILL: nothing of the child's own shutdown runs
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        sim.kill();

        // The journal holds the lists as the killed window showed them.
        const QString journal = dir.filePath("journal.sqlite");
        for (int i = 0; i < 8; ++i) {
            int status = -1;
            const QByteArray exported =
                runTool({"--journal", journal, "export", "1", listName(AllLists[i])}, &status);
            QCOMPARE(status, 0);
            QCOMPARE(exported, readFile(dir.filePath(QString("expected-%1").arg(kListFiles[i]))));
        }
        // 30 pH, 2 each of ORP (pH in mV, then ORP), COND, TDS, Salt, DO, O2; 3 records.
        const QByteArray listed = runTool({"--journal", journal, "list"});
        QVERIFY2(listed.endsWith("\tdid not close\tpH=30/30\tORP=4/4\tCOND=2/2\tTDS=2/2\t"
                                 "Salt=2/2\tDO=2/2\tO2=2/2\tRecords=3/3\tpexumo\n"),
                 listed.constData());

        // A copy of the file as the kill left it, for the No answer.
        QTemporaryDir noDir;
        writeConfig(noDir.path(), "JournalFile=journal.sqlite\n");
        for (const char* suffix : {"", "-wal", "-shm"})
            if (QFile::exists(journal + suffix))
                QVERIFY(QFile::copy(journal + suffix, noDir.filePath("journal.sqlite") + suffix));

        {
            Window yes(dir.path());
            QCOMPARE(yes.questions.size(), 1);
            QVERIFY2(QRegularExpression("^The last run \\(started \\d{4}-\\d\\d-\\d\\d "
                                        "\\d\\d:\\d\\d:\\d\\d\\) ended with 47 readings that "
                                        "were never saved\\. Restore them\\?$")
                         .match(yes.questions[0])
                         .hasMatch(),
                     qPrintable(yes.questions[0]));
            QVERIFY(!yes.w.ComPort1->Connected());
            QCOMPARE(yes.w.btnConn->text(), QStringLiteral("Connect"));
            QCOMPARE(chartPoints(yes.w), readFile(dir.filePath("charts")));
            // The history shows the whole restored run, not only the big chart's last 26.
            auto* ph = qobject_cast<ParameterPage*>(yes.w.TabPH);
            ph->historyButton->click();
            QCOMPARE(ph->history->series()->size(), 30);

            QString target;
            yes.w.exporter()->askFileName = [&] { return target; };
            const std::array<void (TfMain::*)(QObject*), 8> saves = {
                &TfMain::Button4Click,  &TfMain::Button5Click, &TfMain::Button6Click,
                &TfMain::Button7Click,  &TfMain::Button8Click, &TfMain::Button9Click,
                &TfMain::Button10Click, &TfMain::Button12Click};
            for (std::size_t i = 0; i < saves.size(); ++i) {
                target = dir.filePath(QString("restored-%1.txt").arg(kListFiles[i]));
                (yes.w.*saves[i])(nullptr);
                QCOMPARE(readFile(target),
                         readFile(dir.filePath(QString("expected-%1").arg(kListFiles[i]))));
            }
            // New rows follow the restored ones in this run's session.
            yes.w.DecodeFrame(recordEvent(4));
            yes.w.close();
        }
        {
            JournalReader reader;
            QCOMPARE(reader.open(journal), QString());
            const std::vector<JournalSession> sessions = reader.sessions();
            QCOMPARE(sessions.size(), std::size_t(2));
            QCOMPARE(sessions[0].adoptedBy, sessions[1].id);
            QVERIFY(sessions[1].clean);
            QCOMPARE(sessions[1].rows, (ListCounts{30, 4, 2, 2, 2, 2, 2, 4}));
            QCOMPARE(sessions[1].saved, (ListCounts{30, 4, 2, 2, 2, 2, 2, 3}));
        }
        {
            // The restored run was closed with a record unsaved: offered once more, for it.
            Window next(dir.path(), false);
            QCOMPARE(next.questions.size(), 1);
            QVERIFY(next.questions[0].contains("ended with 1 readings"));
        }

        // No: the lists stay empty, the run stays in the journal and is not asked for again.
        {
            Window no(noDir.path(), false);
            QCOMPARE(no.questions.size(), 1);
            for (ResultListModel* m : modelsOf(no.w))
                QCOMPARE(m->size(), 0);
            QCOMPARE(no.w.LinePH->count(), 0);
            no.w.close();
        }
        {
            Window again(noDir.path());
            QVERIFY(again.questions.isEmpty());
        }
        QCOMPARE(runTool({"--journal", noDir.filePath("journal.sqlite"), "export", "1", "Records"}),
                 readFile(dir.filePath("expected-records")));
    }

    void twoProcessesWriteOneJournalAtOnce()
    {
        QTemporaryDir dir;
        writeConfig(dir.path(), "JournalFile=shared.sqlite\n");
        QProcess a;
        QProcess b;
        for (QProcess* p : {&a, &b})
            p->start(QCoreApplication::applicationFilePath(),
                     {"--journal-child", "records", dir.path(), "3000"});
        for (QProcess* p : {&a, &b}) {
            QVERIFY(p->waitForFinished(60000));
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            QCOMPARE(p->exitCode(), 0);
        }
        JournalReader reader;
        QCOMPARE(reader.open(dir.filePath("shared.sqlite")), QString());
        const std::vector<JournalSession> sessions = reader.sessions();
        QCOMPARE(sessions.size(), std::size_t(2));
        for (const JournalSession& s : sessions) {
            QVERIFY(s.clean);
            QCOMPARE(s.rows, (ListCounts{0, 0, 0, 0, 0, 0, 0, 3000}));
            std::vector<QString> numbers;
            reader.forEachRow(s.id, ListId::Records, [&](ListId, const ResultRecord& r) {
                numbers.push_back(r.TimeOrNo);
            });
            QCOMPARE(numbers.size(), std::size_t(3000));
            QCOMPARE(numbers.front(), QStringLiteral("1"));
            QCOMPARE(numbers.back(), QStringLiteral("3000"));
        }
    }

    void aDamagedFileIsKeptAsideAndANewOneStarted()
    {
        QTemporaryDir dir;
        writeConfig(dir.path(), "JournalFile=journal.sqlite\n");
        {
            Window first(dir.path());
        }
        // The header with the journal's mark survived, the tables after it did not.
        const QByteArray damaged =
            readFile(dir.filePath("journal.sqlite")).replace(100, 900, QByteArray(900, '\x5a'));
        writeFile(dir.filePath("journal.sqlite"), damaged);
        Window win(dir.path());
        QVERIFY(win.w.journal()->isOn());
        QVERIFY(win.w.lblJournalStatus->text().startsWith("Journal damaged, kept as " +
                                                          dir.filePath("journal-damaged-")));
        const QStringList aside = QDir(dir.path()).entryList({"journal-damaged-*.sqlite"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(dir.filePath(aside[0])), damaged);
        win.w.DecodeFrame(recordEvent(1));
        QVERIFY(win.w.journal()->flush());
        QCOMPARE(win.w.journal()->committedRows(), 1);
    }

    void aJournalThatCannotOpenLeavesTheListsWorking_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("note");
        // Root may write anywhere but /proc takes no new files from anyone.
        QTest::newRow("unwritable folder")
            << QByteArray("JournalFile=/proc/pexumo/journal.sqlite\n")
            << "Journal off: cannot create the folder /proc/pexumo";
        QTest::newRow("unwritable place") << QByteArray("JournalFile=/proc/journal.sqlite\n")
                                          << "Journal off: cannot open /proc/journal.sqlite";
        // "@" stands for the test's folder.
        QTest::newRow("not a journal") << QByteArray("JournalFile=config.ini\n")
                                       << "Journal off: @/config.ini is not a Pexumo journal";
    }

    void aJournalThatCannotOpenLeavesTheListsWorking()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, note);
        QTemporaryDir dir;
        writeConfig(dir.path(), config);
        Window win(dir.path());
        QCOMPARE(win.w.lblJournalStatus->text(), note.replace("@", dir.path()));
        QCOMPARE(readFile(dir.filePath("config.ini")), "[Pexumo]\n" + config);
        QVERIFY(!win.w.lblJournalStatus->isHidden());
        QCOMPARE(win.w.lblJournal->state(), StatusBadge::State::Failed);
        QVERIFY(win.warnings.isEmpty()); // the badge and the note say it; no box at start
        win.w.DecodeFrame(recordEvent(1));
        QCOMPARE(win.w.vtSaveData->list()->size(), 1);
    }

    void aFullDiskTurnsTheJournalOffWithANoteAndLosesNoListedRow()
    {
        QTemporaryDir dir;
        writeConfig(dir.path(), "JournalFile=journal.sqlite\n");
        Window win(dir.path());
        QVERIFY(win.w.journal()->isOn());
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 128 * 1024; // the file and its log may not grow past this
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        for (int i = 1; i <= 20000; ++i)
            win.w.DecodeFrame(recordEvent(i));
        win.w.journal()->flush();
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
        QTRY_VERIFY(win.w.lblJournalStatus->text().startsWith("Journal off: "));
        QVERIFY(!win.w.journal()->isOn());
        // Told once in a box, and in sight in the bar whatever the line's notes say.
        const QString reason = win.w.lblJournalStatus->text().mid(13);
        QCOMPARE(win.warnings, QStringList{"The journal stopped: " + reason + "."});
        QCOMPARE(win.w.lblJournal->state(), StatusBadge::State::Failed);
        QVERIFY(win.w.lblJournal->toolTip().startsWith("Journal off: " + reason + "."));
        win.w.lblLinkStatus->setNotes("Line lost 02:13:07, back 02:13:19", 11);
        QVERIFY(!win.w.lblJournal->isHidden());
        QCOMPARE(win.w.vtSaveData->list()->size(), 20000);
        win.w.DecodeFrame(recordEvent(20001)); // still listed, no longer journaled
        QCOMPARE(win.w.vtSaveData->list()->size(), 20001);
    }

    void aCloseThatCannotWriteTheJournalAsksAndTheWindowStays()
    {
        QTemporaryDir dir;
        writeConfig(dir.path(), "JournalFile=journal.sqlite\n");
        Window win(dir.path());
        win.w.show();
        QSqlDatabase shell = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "shell");
        shell.setDatabaseName(dir.filePath("journal.sqlite"));
        QVERIFY(shell.open());
        QSqlQuery lock(shell);
        QVERIFY(lock.exec("BEGIN IMMEDIATE")); // a sqlite3 shell in the middle of a transaction
        win.w.DecodeFrame(recordEvent(1));
        QStringList asked;
        win.w.askSaveFirst = [&](const QString& question) {
            asked << question;
            return true;
        };
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!win.w.close());
        QVERIFY(waited.elapsed() < TfMain::JournalCloseWaitMs + 2000);
        QCOMPARE(asked, QStringList{"1 readings could not be written to the journal: " +
                                    dir.filePath("journal.sqlite") +
                                    " is locked by another program. Save the lists first?"});
        QVERIFY(win.w.isVisible());
        QVERIFY(lock.exec("ROLLBACK"));
        lock.finish();
        shell.close();
        shell = QSqlDatabase();
        QSqlDatabase::removeDatabase("shell");
        QVERIFY(win.w.close()); // written now: no question
        QCOMPARE(asked.size(), 1);
    }

    void journalZeroWritesNothing()
    {
        QTemporaryDir dir;
        writeConfig(dir.path(), "JournalFile=journal.sqlite\nJournal=0\n");
        Window win(dir.path());
        QVERIFY(win.w.journal() == nullptr);
        win.w.DecodeFrame(recordEvent(1));
        QVERIFY(!QFile::exists(dir.filePath("journal.sqlite")));
        QVERIFY(win.w.lblJournalStatus->isHidden());
        QCOMPARE(win.w.lblJournal->state(), StatusBadge::State::Off);
    }

    void theProgramKeepsItsSessionInTheUsersDataFolder()
    {
        // The real program, with a home of its own: killed, its session did not close.
        QTemporaryDir home;
        const QProcessEnvironment env = test::privateHome(home.path(), test::Display::Offscreen);
        const QString journal = home.filePath("data/Pexumo/journal.sqlite");
        QProcess pexumo;
        pexumo.setProcessEnvironment(env);
        pexumo.setWorkingDirectory(home.path());
        pexumo.start(QStringLiteral(PEXUMO_BINARY_DIR "/pexumo"), {});
        QVERIFY(pexumo.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(journal), 30000);
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.setWorkingDirectory(home.path());
        QByteArray listed;
        QTRY_VERIFY_WITH_TIMEOUT((tool.start(m_tool, {"list"}), tool.waitForFinished(),
                                  listed = tool.readAllStandardOutput())
                                     .startsWith("1\t"),
                                 30000);
        pexumo.kill();
        pexumo.waitForFinished();
        tool.start(m_tool, {"list"});
        tool.waitForFinished();
        QVERIFY(tool.readAllStandardOutput().contains("\tdid not close\tpH=0/0"));
    }
};

int main(int argc, char* argv[])
{
    if (argc >= 5 && qstrcmp(argv[1], "--journal-child") == 0) {
        QApplication app(argc, argv);
        const QString dir = QString::fromLocal8Bit(argv[3]);
        if (qstrcmp(argv[2], "sampler") == 0)
            return runSampler(dir, QString::fromLocal8Bit(argv[4]));
        return runRecordWriter(dir, QByteArray(argv[4]).toInt());
    }
    QApplication app(argc, argv);
    TestJournal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journal.moc"
