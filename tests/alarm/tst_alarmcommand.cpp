#include "alarm/alarmcommand.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace pexumo;
using namespace std::chrono_literals;

namespace {

// 2026-12-09 02:13:07 and 02:20:11 at +01:00.
constexpr qint64 T0 = 1796778787000;
constexpr qint64 At = T0 + 424000;

const AlarmEvent kRaise{AlarmChange::Raise,
                        {AlarmParameter::DO, AlarmSide::Below, 3.1, 4, 3.1, T0, T0, 3600},
                        T0,
                        3600};
const AlarmEvent kClear{AlarmChange::Clear,
                        {AlarmParameter::DO, AlarmSide::Below, 4.25, 4, 2.95, T0, T0, 3600},
                        At,
                        3600};

QString results(const QSignalSpy& spy)
{
    QStringList lines;
    for (const QList<QVariant>& call : spy)
        lines << call[0].toString() + (call[1].toBool() ? QStringLiteral(" [ok]") : QString());
    return lines.join(u'\n');
}

} // namespace

class TestAlarmCommand : public QObject
{
    Q_OBJECT
private slots:
    void runsOneAfterAnotherWithTheEventsArguments();
    void reportsHowARunEnded_data();
    void reportsHowARunEnded();

private:
    /// A shell script in the test's folder, ready to run.
    QString script(const QString& name, const QByteArray& body);
    QTemporaryDir m_dir;
};

QString TestAlarmCommand::script(const QString& name, const QByteArray& body)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body) < 0)
        qFatal("cannot write %s", qPrintable(path));
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// A run that hangs is killed after the timeout and the next one runs, with the command that
// was set when its event came; the caller never waits for either.
void TestAlarmCommand::runsOneAfterAnotherWithTheEventsArguments()
{
    const QString sleeper = script(QStringLiteral("sleeper"), "exec sleep 30\n");
    const QString recorder =
        script(QStringLiteral("recorder"), "for a in \"$@\"; do echo \"$a\" >> \"$0.args\"; done\n"
                                           "echo; echo 'mail sent'; echo 'second line'\n");
    AlarmCommand command;
    command.setTimeout(300ms);
    QSignalSpy spy(&command, &AlarmCommand::finished);
    command.setCommandLine(sleeper);
    command.run(kRaise);
    command.setCommandLine(recorder + QStringLiteral(" --to \"night shift\""));
    command.run(kClear);
    command.run(kRaise);
    QVERIFY(spy.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, 20000);
    QCOMPARE(results(spy), QStringLiteral("alarm command timed out after 0.3 s\n"
                                          "alarm command: exit 0: mail sent [ok]\n"
                                          "alarm command: exit 0: mail sent [ok]"));
    QVERIFY(command.idle());
    QFile args(recorder + QStringLiteral(".args"));
    QVERIFY(args.open(QIODevice::ReadOnly));
    QCOMPARE(args.readAll(), QByteArray("--to\nnight shift\n"
                                        "clear\nDO\n4.25\nmg/L\n4.0\n2026-12-09T02:20:11+01:00\n"
                                        "--to\nnight shift\n"
                                        "raise\nDO\n3.10\nmg/L\n4.0\n2026-12-09T02:13:07+01:00\n"));
}

void TestAlarmCommand::reportsHowARunEnded_data()
{
    QTest::addColumn<QByteArray>("body"); ///< empty: the program does not exist
    QTest::addColumn<QString>("result");  ///< %1 stands for the test's folder
    QTest::newRow("failed") << QByteArray("echo 'no route to host'; exit 3\n")
                            << "alarm command failed: exit 3: no route to host";
    QTest::newRow("error output counts")
        << QByteArray("echo '  to   stderr ' >&2\n") << "alarm command: exit 0: to stderr [ok]";
    QTest::newRow("silent") << QByteArray("exit 0\n") << "alarm command: exit 0 [ok]";
    QTest::newRow("signal") << QByteArray("echo dying; kill -KILL $$\n")
                            << "alarm command failed: ended by a signal: dying";
    QTest::newRow("missing program")
        << QByteArray()
        << "alarm command could not start: %1/missing: execvp: No such file or "
           "directory";
}

void TestAlarmCommand::reportsHowARunEnded()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, result);
    AlarmCommand command;
    QSignalSpy spy(&command, &AlarmCommand::finished);
    command.setCommandLine(body.isEmpty() ? m_dir.filePath(QStringLiteral("missing"))
                                          : script(QStringLiteral("cmd"), body));
    command.run(kRaise);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 20000);
    QCOMPARE(results(spy), result.replace(QStringLiteral("%1"), m_dir.path()));
}

QTEST_GUILESS_MAIN(TestAlarmCommand)
#include "tst_alarmcommand.moc"
