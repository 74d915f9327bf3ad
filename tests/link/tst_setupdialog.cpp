#include "link/gui/setupdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using namespace pexumo;

Q_DECLARE_METATYPE(pexumo::PortSettings)

namespace {

QStringList itemTexts(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

PortSettings customLine()
{
    PortSettings s;
    s.name = QStringLiteral("ttyPexumoTest");
    s.baudRate = 19200;
    s.dataBits = QSerialPort::Data7;
    s.stopBits = QSerialPort::TwoStop;
    s.parity = QSerialPort::MarkParity;
    s.flowControl = QSerialPort::SoftwareControl;
    return s;
}

} // namespace

class TestSetupDialog : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void looksLikeTheSetupBox();
    void listsOfferTheirChoices_data();
    void listsOfferTheirChoices();
    void portListEndsWithTheDemoMeterAndKeepsTheCurrentName();
    void listsOpenOnTheCurrentSettings_data();
    void listsOpenOnTheCurrentSettings();
    void choicesMapToSettings_data();
    void choicesMapToSettings();
    void customKeepsTheCurrentValue();
    void okAcceptsAndCancelRejects();
};

void TestSetupDialog::cleanup()
{
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestSetupDialog::looksLikeTheSetupBox()
{
    SetupDialog dialog(PortSettings{});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Setup"));
    QCOMPARE(dialog.gbSettings->title(), QStringLiteral(" Settings "));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.btnOK->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.btnCancel->text(), QStringLiteral("Cancel"));
    QVERIFY(dialog.btnOK->isDefault());
    QCOMPARE(dialog.frameGeometry().center(), dialog.screen()->availableGeometry().center());

    auto* form = qobject_cast<QFormLayout*>(dialog.gbSettings->layout());
    QVERIFY(form);
    const QList<QComboBox*> lists{dialog.cbPort,     dialog.cbBaudRate, dialog.cbDataBits,
                                  dialog.cbStopBits, dialog.cbParity,   dialog.cbFlowControl};
    const QStringList labels{"Port",      "Baud rate", "Data bits",
                             "Stop bits", "Parity",    "Flow control"};
    QCOMPARE(form->rowCount(), 6);
    for (int row = 0; row < 6; ++row) {
        auto* label = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        QVERIFY(label);
        QCOMPARE(label->text(), labels[row]);
        QCOMPARE(form->itemAt(row, QFormLayout::FieldRole)->widget(), lists[row]);
        QVERIFY(!lists[row]->isEditable());
    }
}

void TestSetupDialog::listsOfferTheirChoices_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("choices");
    QTest::newRow("baud") << "cbBaudRate"
                          << QStringList{"Custom", "110",    "300",    "600",   "1200",  "2400",
                                         "4800",   "9600",   "14400",  "19200", "38400", "56000",
                                         "57600",  "115200", "128000", "256000"};
    QTest::newRow("data bits") << "cbDataBits" << QStringList{"5", "6", "7", "8"};
    QTest::newRow("stop bits") << "cbStopBits" << QStringList{"1", "1.5", "2"};
    QTest::newRow("parity") << "cbParity" << QStringList{"None", "Odd", "Even", "Mark", "Space"};
    QTest::newRow("flow") << "cbFlowControl"
                          << QStringList{"Hardware", "Software", "None", "Custom"};
}

void TestSetupDialog::listsOfferTheirChoices()
{
    QFETCH(QString, list);
    QFETCH(QStringList, choices);
    SetupDialog dialog(PortSettings{});
    auto* box = dialog.findChild<QComboBox*>(list);
    QVERIFY(box);
    QCOMPARE(itemTexts(box), choices);
}

void TestSetupDialog::portListEndsWithTheDemoMeterAndKeepsTheCurrentName()
{
    SetupDialog dialog(PortSettings{});
    const QStringList ports = itemTexts(dialog.cbPort);
    QCOMPARE(ports.last(), kDemoPortName);
    QCOMPARE(ports.count(QStringLiteral("COM2")), 1);
    QCOMPARE(dialog.cbPort->currentText(), QStringLiteral("COM2"));

    PortSettings demo;
    demo.name = kDemoPortName;
    SetupDialog onDemo(demo);
    QCOMPARE(itemTexts(onDemo.cbPort).count(kDemoPortName), 1);
    QCOMPARE(onDemo.cbPort->currentText(), kDemoPortName);
    QCOMPARE(onDemo.settings().name, kDemoPortName);
}

void TestSetupDialog::listsOpenOnTheCurrentSettings_data()
{
    QTest::addColumn<PortSettings>("current");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("defaults") << PortSettings{}
                              << QStringList{"COM2", "9600", "8", "1", "None", "None"};
    QTest::newRow("custom line") << customLine()
                                 << QStringList{"ttyPexumoTest", "19200",   "7", "2",
                                                "Mark",          "Software"};
    PortSettings odd;
    odd.baudRate = 31250;
    odd.stopBits = QSerialPort::OneAndHalfStop;
    odd.parity = QSerialPort::SpaceParity;
    odd.flowControl = QSerialPort::HardwareControl;
    QTest::newRow("rate not listed")
        << odd << QStringList{"COM2", "Custom", "8", "1.5", "Space", "Hardware"};
}

void TestSetupDialog::listsOpenOnTheCurrentSettings()
{
    QFETCH(PortSettings, current);
    QFETCH(QStringList, shown);
    SetupDialog dialog(current);
    const QStringList actual{dialog.cbPort->currentText(),     dialog.cbBaudRate->currentText(),
                             dialog.cbDataBits->currentText(), dialog.cbStopBits->currentText(),
                             dialog.cbParity->currentText(),   dialog.cbFlowControl->currentText()};
    QCOMPARE(actual, shown);
    QCOMPARE(dialog.settings(), current); // opening and reading back changes nothing
}

void TestSetupDialog::choicesMapToSettings_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<PortSettings>("expected");
    auto with = [](auto change) {
        PortSettings s;
        change(s);
        return s;
    };
    QTest::newRow("115200") << "cbBaudRate"
                            << "115200" << with([](PortSettings& s) { s.baudRate = 115200; });
    QTest::newRow("110") << "cbBaudRate"
                         << "110" << with([](PortSettings& s) { s.baudRate = 110; });
    QTest::newRow("5 bits") << "cbDataBits"
                            << "5"
                            << with([](PortSettings& s) { s.dataBits = QSerialPort::Data5; });
    QTest::newRow("1.5 stop") << "cbStopBits"
                              << "1.5" << with([](PortSettings& s) {
                                     s.stopBits = QSerialPort::OneAndHalfStop;
                                 });
    QTest::newRow("2 stop") << "cbStopBits"
                            << "2"
                            << with([](PortSettings& s) { s.stopBits = QSerialPort::TwoStop; });
    QTest::newRow("odd") << "cbParity"
                         << "Odd"
                         << with([](PortSettings& s) { s.parity = QSerialPort::OddParity; });
    QTest::newRow("even") << "cbParity"
                          << "Even"
                          << with([](PortSettings& s) { s.parity = QSerialPort::EvenParity; });
    QTest::newRow("mark") << "cbParity"
                          << "Mark"
                          << with([](PortSettings& s) { s.parity = QSerialPort::MarkParity; });
    QTest::newRow("space") << "cbParity"
                           << "Space"
                           << with([](PortSettings& s) { s.parity = QSerialPort::SpaceParity; });
    QTest::newRow("hardware") << "cbFlowControl"
                              << "Hardware" << with([](PortSettings& s) {
                                     s.flowControl = QSerialPort::HardwareControl;
                                 });
    QTest::newRow("software") << "cbFlowControl"
                              << "Software" << with([](PortSettings& s) {
                                     s.flowControl = QSerialPort::SoftwareControl;
                                 });
    QTest::newRow("demo meter") << "cbPort" << kDemoPortName
                                << with([](PortSettings& s) { s.name = kDemoPortName; });
}

void TestSetupDialog::choicesMapToSettings()
{
    QFETCH(QString, list);
    QFETCH(QString, choice);
    QFETCH(PortSettings, expected);
    SetupDialog dialog(PortSettings{});
    auto* box = dialog.findChild<QComboBox*>(list);
    QVERIFY(box);
    const int index = box->findText(choice);
    QVERIFY(index >= 0);
    box->setCurrentIndex(index);
    QCOMPARE(dialog.settings(), expected);
}

void TestSetupDialog::customKeepsTheCurrentValue()
{
    const PortSettings current = customLine();
    SetupDialog dialog(current);
    dialog.cbBaudRate->setCurrentText(QStringLiteral("Custom"));
    dialog.cbFlowControl->setCurrentText(QStringLiteral("Custom"));
    QCOMPARE(dialog.settings().baudRate, 19200);
    QCOMPARE(dialog.settings().flowControl, QSerialPort::SoftwareControl);
}

void TestSetupDialog::okAcceptsAndCancelRejects()
{
    for (bool ok : {true, false}) {
        SetupDialog dialog(PortSettings{});
        dialog.show();
        dialog.cbBaudRate->setCurrentText(QStringLiteral("4800"));
        (ok ? dialog.btnOK : dialog.btnCancel)->click();
        QCOMPARE(dialog.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
    }
}

QTEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
