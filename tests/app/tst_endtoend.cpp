// The whole program on a real serial line: pexumo-meter-sim plays a meter into a
// pseudo-terminal, the window connects to it, samples every kind of reading, receives a memory
// download and a halt, and every list is saved and compared byte for byte.
#include "app/gui/tfmain.h"
#include "link/comport.h"
#include "results/gui/resultexporter.h"
#include "results/gui/resultlist.h"
#include "results/resultlistmodel.h"
#include "support/metersim.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

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
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
