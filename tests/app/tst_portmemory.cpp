// The port chosen in Setting is remembered per user and is in force at the next start of the
// window, closed until the user clicks Connect; config.ini is never written.
#include "acquire/interval.h"
#include "app/gui/tfmain.h"
#include "link/comport.h"
#include "link/gui/setupdialog.h"
#include "link/portmemory.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace pexumo;

class TestPortMemory : public QObject
{
    Q_OBJECT

    QStringList m_warnings;

    std::unique_ptr<TfMain> startWindow(const QString& configPath)
    {
        auto w = std::make_unique<TfMain>(nullptr, configPath);
        w->confirmDiscard = [] { return true; };
        w->showWarning = [this](const QString& text, const QString&) { m_warnings << text; };
        return w;
    }

    static QString settingsFile()
    {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pexumo"),
                         QStringLiteral("Pexumo"))
            .fileName();
    }

    /// Clicks Setting, picks the demo meter at 19200 baud with even parity and clicks OK.
    static void chooseInSetting(TfMain& w)
    {
        bool sawDialog = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<SetupDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            sawDialog = true;
            dialog->cbPort->setCurrentText(kDemoPortName);
            dialog->cbBaudRate->setCurrentText(QStringLiteral("19200"));
            dialog->cbParity->setCurrentText(QStringLiteral("Even"));
            dialog->btnOK->click();
        });
        w.btnSettingClick(w.btnSetting);
        QVERIFY(sawDialog);
    }

private slots:
    void initTestCase()
    {
        // Never the user's own file: the test runs with a configuration folder of its own.
        const QByteArray home = qgetenv("XDG_CONFIG_HOME");
        QVERIFY2(!home.isEmpty(), "XDG_CONFIG_HOME must point to a folder of the test's own");
        QCOMPARE(settingsFile(), QDir(QString::fromLocal8Bit(home)).filePath("Pexumo/Pexumo.conf"));
    }

    void init()
    {
        m_warnings.clear();
        QFile::remove(settingsFile());
    }

    void firstStartIsCom2()
    {
        auto w = startWindow(QStringLiteral("/nonexistent/config.ini"));
        QCOMPARE(w->ComPort1->settings(), PortSettings{});
        QCOMPARE(w->ComPort1->settings().name, QStringLiteral("COM2"));
        QVERIFY(!w->ComPort1->Connected());
        QVERIFY(!QFile::exists(settingsFile())); // a start alone writes nothing
    }

    void settingChosenIsInForceAtTheNextStart()
    {
        QTemporaryDir dir;
        const QString configPath = dir.filePath(QStringLiteral("config.ini"));
        const QByteArray configText = "[Pexumo]\nFormCaption=Bench 3\n";
        {
            QFile config(configPath);
            QVERIFY(config.open(QIODevice::WriteOnly));
            QVERIFY(config.write(configText) == configText.size());
        }
        {
            auto first = startWindow(configPath);
            chooseInSetting(*first);
            QCOMPARE(first->ComPort1->settings().name, kDemoPortName);
        }
        auto second = startWindow(configPath);
        PortSettings expected;
        expected.name = kDemoPortName;
        expected.baudRate = 19200;
        expected.parity = QSerialPort::EvenParity;
        QCOMPARE(second->ComPort1->settings(), expected);
        // Nothing connects by itself; the first Connect is the user's, and it opens that port.
        QVERIFY(!second->ComPort1->Connected());
        QCOMPARE(second->btnConn->text(), QStringLiteral("Connect"));
        second->btnConnClick(second->btnConn);
        QVERIFY(second->ComPort1->Connected());
        QVERIFY(m_warnings.isEmpty());
        // config.ini is only read.
        QFile config(configPath);
        QVERIFY(config.open(QIODevice::ReadOnly));
        QCOMPARE(config.readAll(), configText);
    }

    void handEditedValues_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QSerialPort::DataBits>("dataBits");
        QTest::addColumn<QSerialPort::StopBits>("stopBits");
        QTest::addColumn<QSerialPort::Parity>("parity");
        QTest::addColumn<QSerialPort::FlowControl>("flow");
        QTest::newRow("all set") << QByteArray("[Port]\nName=/dev/ttyUSB1\nBaudRate=4800\n"
                                               "DataBits=7\nStopBits=1.5\nParity=Mark\n"
                                               "FlowControl=Software\n")
                                 << "/dev/ttyUSB1" << 4800 << QSerialPort::Data7
                                 << QSerialPort::OneAndHalfStop << QSerialPort::MarkParity
                                 << QSerialPort::SoftwareControl;
        QTest::newRow("nonsense gives the meter's line")
            << QByteArray("[Port]\nName=\nBaudRate=fast\nDataBits=9\nStopBits=3\n"
                          "Parity=odd\nFlowControl=RTS\n")
            << "COM2" << 9600 << QSerialPort::Data8 << QSerialPort::OneStop << QSerialPort::NoParity
            << QSerialPort::NoFlowControl;
        QTest::newRow("negative rate, only a name")
            << QByteArray("[Port]\nName=ttyACM0\nBaudRate=-9600\n") << "ttyACM0" << 9600
            << QSerialPort::Data8 << QSerialPort::OneStop << QSerialPort::NoParity
            << QSerialPort::NoFlowControl;
    }

    void handEditedValues()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(int, baud);
        QFETCH(QSerialPort::DataBits, dataBits);
        QFETCH(QSerialPort::StopBits, stopBits);
        QFETCH(QSerialPort::Parity, parity);
        QFETCH(QSerialPort::FlowControl, flow);
        QVERIFY(QDir().mkpath(QFileInfo(settingsFile()).path()));
        {
            QFile f(settingsFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(file) == file.size());
        }
        const PortSettings s = PortMemory::load();
        QCOMPARE(s.name, name);
        QCOMPARE(s.baudRate, baud);
        QCOMPARE(s.dataBits, dataBits);
        QCOMPARE(s.stopBits, stopBits);
        QCOMPARE(s.parity, parity);
        QCOMPARE(s.flowControl, flow);
    }

    void savedFileReadsAsWritten()
    {
        PortSettings s;
        s.name = QStringLiteral("/dev/serial/by-id/usb-meter-if00");
        s.baudRate = 2400;
        s.dataBits = QSerialPort::Data5;
        s.stopBits = QSerialPort::TwoStop;
        s.parity = QSerialPort::OddParity;
        s.flowControl = QSerialPort::HardwareControl;
        QVERIFY(PortMemory::save(s));
        QFile f(settingsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        for (const char* line : {"Name=/dev/serial/by-id/usb-meter-if00", "BaudRate=2400",
                                 "DataBits=5", "StopBits=2", "Parity=Odd", "FlowControl=Hardware"})
            QVERIFY2(text.contains(line), line);
        QCOMPARE(PortMemory::load(), s);
    }

    // pexumo-logger starts with the interval last applied here: by a Connect that opened the
    // port, or by Set; a refused text or a Disconnect keep what was there.
    void theAppliedIntervalIsKeptForTheLogger()
    {
        QCOMPARE(rememberedInterval(), 1);
        auto w = startWindow(QStringLiteral("/nonexistent/config.ini"));
        const auto apply = [&](QPushButton* button, const char* text) {
            w->Edit1->setText(QString::fromLatin1(text));
            button->click();
            return rememberedInterval();
        };
        PortSettings demo;
        demo.name = kDemoPortName;
        w->ComPort1->setSettings(demo);
        QCOMPARE(apply(w->btnConn, "5"), 5);
        QCOMPARE(apply(w->Button1, "7"), 7);
        QCOMPARE(apply(w->Button1, "seven"), 7);
        QCOMPARE(apply(w->btnConn, "9"), 7); // Disconnect
    }

    void settingsThatCannotBeKeptAreTold()
    {
        // A file where the settings folder should be: nothing can be written there, even as root.
        const QString folder = QFileInfo(settingsFile()).path();
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const auto removeBlocker = qScopeGuard([&] { QFile::remove(folder); });
        auto w = startWindow(QStringLiteral("/nonexistent/config.ini"));
        chooseInSetting(*w);
        QCOMPARE(m_warnings, QStringList{QStringLiteral(
                                 "The port settings could not be kept for the next start.")});
        QCOMPARE(w->ComPort1->settings().name, kDemoPortName); // in force for this run all the same
    }
};

QTEST_MAIN(TestPortMemory)
#include "tst_portmemory.moc"
