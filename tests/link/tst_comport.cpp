#include "link/comport.h"
#include "link/demostream.h"
#include "link/framestream.h"
#include "link/gui/setupdialog.h"
#include "support/metersim.h"
#include "support/programrun.h"
#include "support/pty.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

#include <termios.h>
#include <unistd.h>

using namespace pexumo;
using pexumo::test::MeterSim;
using pexumo::test::ProgramRun;
using pexumo::test::PtyPair;
using pexumo::test::runProgram;

namespace {

const QByteArray kFrame = QByteArray::fromHex("0F FF 00 07 12 02 53 0D 00 0F FD");
const QByteArray kFrame2 = QByteArray::fromHex("0F FF 12 02 50 02 50 01 00 0F FD");

/// Collects what a receive handler sees: it reads every waiting byte, as the window does.
struct Receiver
{
    explicit Receiver(TComPort& port) : port(port)
    {
        QObject::connect(&port, &TComPort::OnRxChar, &port, [this](QObject* sender, int count) {
            QCOMPARE(sender, &this->port);
            counts.append(count);
            events.append(QStringLiteral("rx"));
            QByteArray chunk(count, '\0');
            const qint64 n = this->port.Read(chunk.data(), count);
            QCOMPARE(n, qint64(count));
            bytes.append(chunk);
        });
        QObject::connect(&port, &TComPort::connectionLost, &port,
                         [this](const QString&) { events.append(QStringLiteral("lost")); });
    }
    TComPort& port;
    QByteArray bytes;
    QList<int> counts;
    QStringList events;
};

PortSettings ptySettings(const PtyPair& pty)
{
    PortSettings s;
    s.name = pty.slavePath();
    return s;
}

speed_t lineSpeed(int fd)
{
    termios t{};
    tcgetattr(fd, &t);
    return cfgetospeed(&t);
}

} // namespace

class TestComPort : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void defaultsAreTheMetersLine();
    void openAppliesTheLineSettings_data();
    void openAppliesTheLineSettings();
    void bytesArriveInChunksThroughOnRxChar();
    void handlerWithANestedEventLoopIsNotReentered();
    void throwingHandlerDoesNotStopLaterReceives();
    void openWhenOpenAndCloseWhenClosedDoNothing();
    void closedPortReceivesNothingAndReadFails();
    void farEndClosedGivesOneLossAndKeepsTheBytes();
    void bytesUnreadAtTheLossAreReportedBeforeIt();
    void openAgainOnANewPortAfterALoss();
    void openFailureSaysWhy_data();
    void openFailureSaysWhy();
    void settingsApplyToAnOpenPortAtOnce();
    void anotherNameMovesAnOpenPort();
    void setupDialogOkAppliesAndCancelKeeps_data();
    void setupDialogOkAppliesAndCancelKeeps();
    void demoMeterDeliversFrames();
    void meterSimulatorServesAPty();
    void meterSimulatorInjectsFaults_data();
    void meterSimulatorInjectsFaults();
    void meterSimulatorRefusesBadUnplugOptions_data();
    void meterSimulatorRefusesBadUnplugOptions();
    void reopenTakesOnlyTheSameMeter_data();
    void reopenTakesOnlyTheSameMeter();
};

void TestComPort::init()
{
    if (!PtyPair().isValid())
        QSKIP("no pseudo-terminals on this machine");
}

void TestComPort::defaultsAreTheMetersLine()
{
    TComPort port;
    const PortSettings s = port.settings();
    QCOMPARE(s.name, QStringLiteral("COM2"));
    QCOMPARE(s.baudRate, 9600);
    QCOMPARE(s.dataBits, QSerialPort::Data8);
    QCOMPARE(s.stopBits, QSerialPort::OneStop);
    QCOMPARE(s.parity, QSerialPort::NoParity);
    QCOMPARE(s.flowControl, QSerialPort::NoFlowControl);
    QVERIFY(!port.Connected());
}

void TestComPort::openAppliesTheLineSettings_data()
{
    QTest::addColumn<qint32>("baud");
    QTest::addColumn<QSerialPort::Parity>("parity");
    QTest::addColumn<QSerialPort::StopBits>("stopBits");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<bool>("twoStop");
    QTest::newRow("9600 8N1") << 9600 << QSerialPort::NoParity << QSerialPort::OneStop
                              << speed_t(B9600) << false;
    QTest::newRow("19200 8E2") << 19200 << QSerialPort::EvenParity << QSerialPort::TwoStop
                               << speed_t(B19200) << true;
}

void TestComPort::openAppliesTheLineSettings()
{
    QFETCH(qint32, baud);
    QFETCH(QSerialPort::Parity, parity);
    QFETCH(QSerialPort::StopBits, stopBits);
    QFETCH(speed_t, speed);
    QFETCH(bool, twoStop);
    PtyPair pty;
    TComPort port;
    PortSettings s = ptySettings(pty);
    s.baudRate = baud;
    s.parity = parity;
    s.stopBits = stopBits;
    QVERIFY(port.setSettings(s));
    QVERIFY2(port.Open(), qPrintable(port.errorString()));
    QVERIFY(port.Connected());
    QCOMPARE(lineSpeed(pty.masterFd()), speed);
    termios t{};
    QCOMPARE(tcgetattr(pty.masterFd(), &t), 0);
    // A pseudo-terminal forces 8 bits without parity whatever is asked, so parity can only be
    // checked on the open port object, not on the line.
    const auto* serial = port.findChild<QSerialPort*>();
    QVERIFY(serial && serial->isOpen());
    QCOMPARE(serial->parity(), parity);
    QCOMPARE(serial->baudRate(), baud);
    QCOMPARE(bool(t.c_cflag & CSTOPB), twoStop);
    QVERIFY(!(t.c_cflag & CRTSCTS));
}

void TestComPort::bytesArriveInChunksThroughOnRxChar()
{
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    QVERIFY2(port.Open(), qPrintable(port.errorString()));
    Receiver rx(port);

    QVERIFY(pty.write(kFrame.left(4)));
    QTRY_COMPARE(rx.bytes.size(), qsizetype(4));
    QVERIFY(pty.write(kFrame.mid(4) + kFrame2));
    QTRY_COMPARE(rx.bytes, kFrame + kFrame2);
    QVERIFY(rx.counts.size() >= 2);
    for (int count : rx.counts)
        QVERIFY(count >= 1);
    QCOMPARE(port.bytesWaiting(), qint64(0));
}

void TestComPort::handlerWithANestedEventLoopIsNotReentered()
{
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    QVERIFY(port.Open());
    // The first call stands for a handler showing a modal box while the meter sends on.
    int depth = 0, maxDepth = 0, calls = 0;
    QByteArray taken;
    connect(&port, &TComPort::OnRxChar, this, [&](QObject*, int count) {
        ++depth;
        ++calls;
        maxDepth = std::max(maxDepth, depth);
        QByteArray chunk(count, '\0');
        QCOMPARE(port.Read(chunk.data(), count), qint64(count));
        taken += chunk;
        if (calls == 1) {
            pty.write(kFrame2);
            QTest::qWait(150);
        }
        --depth;
    });
    QVERIFY(pty.write(kFrame));
    QTRY_COMPARE(taken, kFrame + kFrame2);
    QCOMPARE(maxDepth, 1);
    QVERIFY(calls >= 2);
}

void TestComPort::throwingHandlerDoesNotStopLaterReceives()
{
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    QVERIFY(port.Open());
    int calls = 0;
    QByteArray taken;
    connect(&port, &TComPort::OnRxChar, this, [&](QObject*, int count) {
        ++calls;
        QByteArray chunk(count, '\0');
        QCOMPARE(port.Read(chunk.data(), count), qint64(count));
        taken += chunk;
        if (calls == 1)
            throw std::runtime_error("handler failed");
    });
    QVERIFY(pty.write(kFrame));
    // The window's application object catches what a handler throws and carries on; this loop
    // does the same.
    bool thrown = false;
    QDeadlineTimer deadline(3000);
    while (!thrown && !deadline.hasExpired()) {
        try {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        } catch (const std::runtime_error&) {
            thrown = true;
        }
    }
    QVERIFY(thrown);
    QVERIFY(pty.write(kFrame2));
    QTRY_COMPARE(taken, kFrame + kFrame2);
    QVERIFY(calls >= 2);
}

void TestComPort::openWhenOpenAndCloseWhenClosedDoNothing()
{
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    port.Close();
    QVERIFY(!port.Connected());
    QVERIFY(port.Open());
    QVERIFY(pty.write(kFrame));
    QTRY_COMPARE(port.bytesWaiting(), qint64(kFrame.size()));
    QVERIFY(port.Open());
    QCOMPARE(port.bytesWaiting(), qint64(kFrame.size())); // a second Open did not reopen the line
    port.Close();
    port.Close();
    QVERIFY(!port.Connected());
}

void TestComPort::closedPortReceivesNothingAndReadFails()
{
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    QVERIFY(port.Open());
    Receiver rx(port);
    port.Close();
    pty.write(kFrame);
    QTest::qWait(100);
    QVERIFY(rx.counts.isEmpty());
    char buffer[11];
    QCOMPARE(port.Read(buffer, sizeof buffer), qint64(-1));
    QVERIFY(!port.errorString().isEmpty());
}

void TestComPort::farEndClosedGivesOneLossAndKeepsTheBytes()
{
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    QVERIFY(port.Open());
    QSignalSpy lost(&port, &TComPort::connectionLost);
    QVERIFY(pty.write(kFrame + kFrame2));
    QTRY_COMPARE(port.bytesWaiting(), qint64(22)); // received, nobody has read them yet

    pty.closeMaster();
    QTRY_COMPARE(lost.size(), 1);
    QVERIFY(!port.Connected());
    QVERIFY(!lost.at(0).at(0).toString().isEmpty());
    QTest::qWait(200); // the platform keeps reporting the error while a port stays open
    QCOMPARE(lost.size(), 1);

    QCOMPARE(port.bytesWaiting(), qint64(22));
    QByteArray buffer(30, '\0');
    QCOMPARE(port.Read(buffer.data(), 11), qint64(11));
    port.Close(); // a window closing the port after the loss must not drop what was received
    QCOMPARE(port.Read(buffer.data() + 11, 19), qint64(11));
    QCOMPARE(buffer.left(22), kFrame + kFrame2);
    QCOMPARE(port.Read(buffer.data(), 11), qint64(-1));
}

void TestComPort::bytesUnreadAtTheLossAreReportedBeforeIt()
{
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    QVERIFY(port.Open());
    // A handler that takes whole frames only, leaving a partial frame waiting.
    QStringList events;
    QByteArray taken;
    connect(&port, &TComPort::OnRxChar, this, [&](QObject*, int count) {
        events.append(QStringLiteral("rx %1").arg(count));
        if (count >= 11) {
            QByteArray frame(11, '\0');
            QCOMPARE(port.Read(frame.data(), 11), qint64(11));
            taken.append(frame);
        }
    });
    connect(&port, &TComPort::connectionLost, this,
            [&](const QString&) { events.append(QStringLiteral("lost")); });
    QVERIFY(pty.write(kFrame + kFrame2.left(5)));
    QTRY_COMPARE(port.bytesWaiting(), qint64(5));
    QCOMPARE(taken, kFrame);

    events.clear();
    pty.closeMaster();
    QTRY_VERIFY(events.contains(QStringLiteral("lost")));
    QCOMPARE(events, QStringList({QStringLiteral("rx 5"), QStringLiteral("lost")}));
    QByteArray rest(5, '\0');
    QCOMPARE(port.Read(rest.data(), 5), qint64(5));
    QCOMPARE(rest, kFrame2.left(5));
}

void TestComPort::openAgainOnANewPortAfterALoss()
{
    TComPort port;
    {
        PtyPair first;
        port.setSettings(ptySettings(first));
        QVERIFY(port.Open());
        QSignalSpy lost(&port, &TComPort::connectionLost);
        first.closeMaster();
        QTRY_COMPARE(lost.size(), 1);
    }
    PtyPair second;
    QVERIFY(port.setSettings(ptySettings(second)));
    QVERIFY2(port.Open(), qPrintable(port.errorString()));
    Receiver rx(port);
    QVERIFY(second.write(kFrame));
    QTRY_COMPARE(rx.bytes, kFrame);
}

void TestComPort::openFailureSaysWhy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no such port") << "missing"
                                  << "no such";
    QTest::newRow("port busy") << "busy"
                               << "busy";
    QTest::newRow("permission denied") << "denied"
                                       << "dialout";
}

void TestComPort::openFailureSaysWhy()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    PtyPair pty;
    TComPort holder;
    TComPort port;
    PortSettings s = ptySettings(pty);
    if (kind == "missing") {
        s.name = QStringLiteral("/dev/pexumo-no-such-port");
    } else if (kind == "busy") {
        holder.setSettings(s);
        QVERIFY(holder.Open());
    } else {
        if (::geteuid() == 0)
            QSKIP("root may open any device");
        QFile::setPermissions(pty.slavePath(), QFileDevice::ReadOwner);
    }
    port.setSettings(s);
    QVERIFY(!port.Open());
    QVERIFY(!port.Connected());
    QVERIFY2(port.errorString().contains(expected, Qt::CaseInsensitive),
             qPrintable(port.errorString()));
}

void TestComPort::settingsApplyToAnOpenPortAtOnce()
{
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    QVERIFY(port.Open());
    PortSettings s = port.settings();
    s.baudRate = 115200;
    QVERIFY2(port.setSettings(s), qPrintable(port.errorString()));
    QVERIFY(port.Connected());
    QCOMPARE(lineSpeed(pty.masterFd()), speed_t(B115200));
    QCOMPARE(port.settings().baudRate, 115200);
}

void TestComPort::anotherNameMovesAnOpenPort()
{
    PtyPair first, second;
    TComPort port;
    port.setSettings(ptySettings(first));
    QVERIFY(port.Open());
    Receiver rx(port);
    QVERIFY(port.setSettings(ptySettings(second)));
    QVERIFY(port.Connected());
    QVERIFY(first.write(kFrame2));
    QVERIFY(second.write(kFrame));
    QTRY_COMPARE(rx.bytes, kFrame);
    QTest::qWait(50);
    QCOMPARE(rx.bytes, kFrame);

    PortSettings bad = ptySettings(second);
    bad.name = QStringLiteral("/dev/pexumo-no-such-port");
    QVERIFY(!port.setSettings(bad));
    QVERIFY(!port.Connected());
    QVERIFY(!port.errorString().isEmpty());
}

void TestComPort::setupDialogOkAppliesAndCancelKeeps_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void TestComPort::setupDialogOkAppliesAndCancelKeeps()
{
    QFETCH(bool, ok);
    PtyPair pty;
    TComPort port;
    port.setSettings(ptySettings(pty));
    QVERIFY(port.Open());
    const PortSettings before = port.settings();
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<SetupDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        sawDialog = true;
        dialog->cbBaudRate->setCurrentText(QStringLiteral("38400"));
        dialog->cbParity->setCurrentText(QStringLiteral("Odd"));
        (ok ? dialog->btnOK : dialog->btnCancel)->click();
    });
    // As the window does it: the dialog asks, the port takes what was chosen on "OK".
    SetupDialog dialog(port.settings());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    QCOMPARE(accepted, ok);
    if (accepted)
        QVERIFY(port.setSettings(dialog.settings()));
    QVERIFY(sawDialog);
    QVERIFY(port.errorString().isEmpty());
    QVERIFY(port.Connected());
    PortSettings expected = before;
    if (ok) {
        expected.baudRate = 38400;
        expected.parity = QSerialPort::OddParity;
    }
    QCOMPARE(port.settings(), expected);
    QCOMPARE(lineSpeed(pty.masterFd()), ok ? speed_t(B38400) : speed_t(B9600));
}

void TestComPort::demoMeterDeliversFrames()
{
    TComPort port;
    PortSettings s;
    s.name = kDemoPortName;
    port.setSettings(s);
    QVERIFY2(port.Open(), qPrintable(port.errorString()));
    Receiver rx(port);
    QTRY_VERIFY_WITH_TIMEOUT(rx.bytes.size() >= 3 * 11, 3000);

    FrameStream stream;
    stream.append(rx.bytes);
    DemoStream expected;
    int frames = 0;
    while (auto item = stream.next()) {
        QCOMPARE(item->kind, FrameStream::Item::Kind::Frame);
        QCOMPARE(item->frame, expected.next().frame);
        ++frames;
    }
    QVERIFY(frames >= 3);
    port.Close();
    QVERIFY(!port.Connected());
    const auto received = rx.bytes.size();
    QTest::qWait(400);
    QCOMPARE(rx.bytes.size(), received);
}

void TestComPort::meterSimulatorServesAPty()
{
    if (!MeterSim::isBuilt())
        QSKIP("pexumo-meter-sim is not built");
    MeterSim sim;
    QVERIFY2(sim.start({"--pty", "--fast", "--count", "30"}), qPrintable(sim.errorString()));

    TComPort port;
    PortSettings s;
    s.name = sim.portPath();
    port.setSettings(s);
    QVERIFY2(port.Open(), qPrintable(port.errorString()));
    Receiver rx(port);
    QTRY_COMPARE(rx.bytes.size(), qsizetype(30 * 11));
    FrameStream stream;
    stream.append(rx.bytes);
    DemoStream expected;
    for (int i = 0; i < 30; ++i) {
        const auto item = stream.next();
        QVERIFY(item && item->kind == FrameStream::Item::Kind::Frame);
        QCOMPARE(item->frame, expected.next().frame);
    }
    port.Close();
}

void TestComPort::meterSimulatorInjectsFaults_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("frames");
    QTest::addColumn<qsizetype>("skipped");
    const QByteArray halt = QByteArray::fromHex("0F FF 99 99 99 99 99 99 99 0F FD");
    // The second demo frame with the undefined mode code 25 in place of its own.
    DemoStream demo;
    demo.next();
    MeterFrame second = demo.next().frame;
    second[7] = static_cast<std::uint8_t>((second[7] & 0xE0) | 25);
    const QByteArray badMode(reinterpret_cast<const char*>(second.data()),
                             qsizetype(second.size()));
    QTest::newRow("halt") << QStringList{"--fault", "halt@1"} << halt << 4 << qsizetype(0);
    QTest::newRow("garbage") << QStringList{"--fault", "garbage@1"} << QByteArray() << 3
                             << qsizetype(7);
    // A frame one byte short: the stream drops it, as it cannot tell it from junk.
    QTest::newRow("bad mode") << QStringList{"--fault", "badmode@1"} << badMode << 3
                              << qsizetype(0);
    QTest::newRow("lost byte") << QStringList{"--fault", "lostbyte@1"} << QByteArray() << 2
                               << qsizetype(10);
}

void TestComPort::meterSimulatorInjectsFaults()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, expected);
    QFETCH(int, frames);
    QFETCH(qsizetype, skipped);
    if (!MeterSim::isBuilt())
        QSKIP("pexumo-meter-sim is not built");
    const ProgramRun sim =
        runProgram(MeterSim::program(), QStringList{"--fast", "--count", "3"} + args);
    QCOMPARE(sim.exitCode, 0);
    const QByteArray& out = sim.out;
    if (!expected.isEmpty())
        QVERIFY(out.contains(expected));
    FrameStream stream;
    stream.append(out);
    int gotFrames = 0;
    qsizetype gotSkipped = 0;
    while (auto item = stream.next()) {
        if (item->kind == FrameStream::Item::Kind::Frame)
            ++gotFrames;
        else
            gotSkipped += item->skipped;
    }
    if (auto rest = stream.finish())
        gotSkipped += rest->skipped;
    QCOMPARE(gotFrames, frames);
    QCOMPARE(gotSkipped, skipped);
}

void TestComPort::meterSimulatorRefusesBadUnplugOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("link without a terminal")
        << QStringList{"--link", "/tmp/meter"} << "pexumo-meter-sim: --link needs --pty\n";
    QTest::newRow("unplug without a terminal")
        << QStringList{"--fault", "unplug@3:1"}
        << "pexumo-meter-sim: the unplug fault needs --pty\n";
    QTest::newRow("duration not a number")
        << QStringList{"--pty", "--fault", "unplug@3:soon"}
        << "pexumo-meter-sim: bad unplug duration: unplug@3:soon\n";
    QTest::newRow("negative duration") << QStringList{"--pty", "--fault", "unplug@3:-1"}
                                       << "pexumo-meter-sim: bad unplug duration: unplug@3:-1\n";
    QTest::newRow("duration on another fault")
        << QStringList{"--fault", "halt@3:1"}
        << "pexumo-meter-sim: only unplug takes a duration: halt@3:1\n";
}

void TestComPort::meterSimulatorRefusesBadUnplugOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    if (!MeterSim::isBuilt())
        QSKIP("pexumo-meter-sim is not built");
    const ProgramRun sim = runProgram(MeterSim::program(), args);
    QCOMPARE(sim.exitCode, 2);
    QCOMPARE(QString::fromLocal8Bit(sim.err), message);
    QVERIFY(sim.out.isEmpty()); // no terminal was made
}

void TestComPort::reopenTakesOnlyTheSameMeter_data()
{
    // What the system's port list says about the device behind the link: before the pull, and
    // after the new terminal took its place. "A1"/"B7" are USB serial numbers; an empty list is
    // what a pseudo-terminal really gives.
    QTest::addColumn<QString>("serialBefore");
    QTest::addColumn<QString>("serialAfter");
    QTest::addColumn<bool>("usbAfter");
    QTest::addColumn<bool>("taken");
    QTest::newRow("same name, no USB mark") << QString() << QString() << false << true;
    QTest::newRow("a USB adapter under the name") << QString() << QString() << true << false;
    QTest::newRow("same serial number") << "A1"
                                        << "A1" << true << true;
    QTest::newRow("another serial number") << "A1"
                                           << "B7" << true << false;
}

void TestComPort::reopenTakesOnlyTheSameMeter()
{
    QFETCH(QString, serialBefore);
    QFETCH(QString, serialAfter);
    QFETCH(bool, usbAfter);
    QFETCH(bool, taken);
    if (!MeterSim::isBuilt())
        QSKIP("pexumo-meter-sim is not built");
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    MeterSim sim;
    QVERIFY2(sim.start({"--pty", "--link", link, "--fault", "unplug@4:1"}),
             qPrintable(sim.errorString()));

    // The list shows the device the link leads to now, marked as the row says.
    auto listed = [&](const QString& serial, bool usb) {
        const QString device = QFileInfo(link).canonicalFilePath();
        QList<PortDescription> ports;
        if (usb)
            ports.append({device.mid(5), device, serial, quint16(0x0403), quint16(0x6001)});
        return ports;
    };
    TComPort port;
    PortSettings s;
    s.name = link;
    port.setSettings(s);
    const QList<PortDescription> before = listed(serialBefore, !serialBefore.isEmpty());
    port.listPorts = [&] { return before; };
    QVERIFY2(port.Open(), qPrintable(port.errorString()));
    QSignalSpy lost(&port, &TComPort::connectionLost);
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 5000);
    QVERIFY(!port.reopenSameMeter()); // the link leads nowhere while the meter is away
    QVERIFY(!port.errorString().isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(sim.process().canReadLine(), 5000); // plugged back in
    const QList<PortDescription> after = listed(serialAfter, usbAfter);
    port.listPorts = [&] { return after; };
    QCOMPARE(port.reopenSameMeter(), taken);
    QCOMPARE(port.Connected(), taken);
    if (taken) {
        QCOMPARE(port.settings().name, link);
        Receiver rx(port);
        QTRY_VERIFY(rx.bytes.size() >= 11); // the meter that came back is heard
    } else {
        QVERIFY(!port.errorString().isEmpty());
    }
    port.Close();
    QVERIFY(sim.stop());
    QVERIFY(!QFile::exists(link));
}

QTEST_MAIN(TestComPort)
#include "tst_comport.moc"
