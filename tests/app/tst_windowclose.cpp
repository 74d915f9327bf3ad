// Closing the window never waits long for the network: with a broker's name whose look-up never
// answers, an address that drops every packet and a broker that hangs, the window closes within
// five seconds. Each window is a child process (this program, re-run as a window driver) so
// that the first case can run in a network and mount namespace of its own, whose only name
// server reads and never answers (needs root, unshare and python3; skipped without them).
#include "app/gui/statusbadge.h"
#include "app/gui/tfmain.h"
#include "support/blackhole.h"
#include "support/mqttbroker.h"
#include "support/programrun.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <iostream>

#include <unistd.h>

using namespace pexumo;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

/// The child: a window on \a config; says "publishing" once its M shows an attempt or a
/// connection, closes at a line on its standard input and says how long the close took.
int runWindow(const QString& config, const QString& seen)
{
    TfMain w(nullptr, config);
    w.confirmDiscard = [] { return true; };
    w.show();
    w.startJournal();
    auto* badge = w.findChild<StatusBadge*>("lblMqtt");
    if (!badge || !QTest::qWaitFor([&] { return badge->toolTip().startsWith(seen); }, 20000)) {
        std::printf("badge: %s\n", badge ? qPrintable(badge->toolTip()) : "none");
        return 3;
    }
    std::printf("publishing\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &w, [&w] {
        QElapsedTimer closing;
        closing.start();
        w.close();
        std::printf("closed in %lld ms\n", static_cast<long long>(closing.elapsed()));
        std::fflush(stdout);
        QApplication::quit();
    });
    return QApplication::exec();
}

} // namespace

class TestWindowClose : public QObject
{
    Q_OBJECT
private slots:
    void closesWithinFiveSecondsWhateverTheNetworkDoes()
    {
        if (!test::MqttBroker::isInstalled())
            QSKIP("mosquitto is not installed");
        test::BlackHole hole;
        QVERIFY(hole.port() != 0);
        test::MqttBroker hanging;
        QVERIFY2(hanging.start(), qPrintable(hanging.errorString()));
        const bool namespaces =
            ::geteuid() == 0 && QFileInfo::exists("/usr/bin/unshare") &&
            QFileInfo::exists("/usr/bin/python3") &&
            test::runProgram("/usr/bin/unshare", {"-m", "-n", "true"}).exitCode == 0;
        struct Case
        {
            const char* name;
            QByteArray host;
            quint16 port;
            const char* seen;
        };
        const Case cases[] = {
            {"silent name server", "broker.pexumo.test", 1883, "MQTT connecting"},
            {"black hole", "127.0.0.1", hole.port(), "MQTT connecting"},
            {"hanging broker", "127.0.0.1", hanging.port(), "MQTT connected"},
        };
        for (const Case& c : cases) {
            const bool silentDns = c.host == "broker.pexumo.test";
            if (silentDns && !namespaces) {
                std::cout << "SKIP " << c.name << ": no namespaces of its own\n";
                continue;
            }
            QTemporaryDir dir;
            const QString config = dir.filePath("config.ini");
            writeFile(config, "[Pexumo]\nJournalFile=j.sqlite\n[Mqtt]\nHost=" + c.host +
                                  "\nPort=" + QByteArray::number(c.port) + "\n");
            writeFile(dir.filePath("resolv.conf"), "nameserver 127.0.0.1\noptions timeout:30\n");
            const QString self = QCoreApplication::applicationFilePath();
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            if (silentDns)
                child.start("/usr/bin/unshare",
                            {"-m", "-n", "/bin/sh", "-c",
                             "ip link set lo up && mount --bind \"$1\" /etc/resolv.conf || exit 97\n"
                             "/usr/bin/python3 -c 'import socket, time\n"
                             "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                             "s.bind((\"127.0.0.1\", 53))\n"
                             "time.sleep(60)' >/dev/null 2>&1 </dev/null &\n"
                             "sleep 0.3\n"
                             "exec \"$0\" --window-child \"$2\" \"$3\"\n",
                             self, dir.filePath("resolv.conf"), config, c.seen});
            else
                child.start(self, {"--window-child", config, c.seen});
            QVERIFY2(child.waitForReadyRead(30000), c.name);
            QCOMPARE(child.readLine().trimmed(), QByteArray("publishing"));
            if (c.port == hanging.port())
                hanging.pause(true);
            QTest::qWait(1500); // the look-up, the attempt or the broker hangs
            child.write("close\n");
            QVERIFY2(child.waitForFinished(30000), c.name);
            QCOMPARE(child.exitCode(), 0);
            const QByteArray said = child.readAll().trimmed();
            QVERIFY2(said.startsWith("closed in "), said.constData());
            const int ms = said.mid(10).split(' ').value(0).toInt();
            std::cout << "MEASURED window close with " << c.name << ": " << ms << " ms\n";
            QVERIFY2(ms < 5000, c.name);
            hanging.pause(false);
        }
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--window-child") == 0)
        return runWindow(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestWindowClose test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowclose.moc"
