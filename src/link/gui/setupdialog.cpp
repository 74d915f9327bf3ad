#include "link/gui/setupdialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QSerialPortInfo>
#include <QVBoxLayout>

namespace pexumo {

namespace {

constexpr int kCustomFlow = -1;

QComboBox* makeList(const char* objectName, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(objectName));
    box->setEditable(false);
    return box;
}

/// Selects the entry whose data is \a value; false when there is none.
bool selectData(QComboBox* box, const QVariant& value)
{
    const int index = box->findData(value);
    if (index < 0)
        return false;
    box->setCurrentIndex(index);
    return true;
}

} // namespace

SetupDialog::SetupDialog(const PortSettings& current, QWidget* parent)
    : QDialog(parent), m_current(current)
{
    setObjectName(QStringLiteral("SetupDialog"));
    setWindowTitle(QStringLiteral("Setup"));
    setModal(true);

    gbSettings = new QGroupBox(QStringLiteral(" Settings "), this);
    gbSettings->setObjectName(QStringLiteral("gbSettings"));
    cbPort = makeList("cbPort", gbSettings);
    cbBaudRate = makeList("cbBaudRate", gbSettings);
    cbDataBits = makeList("cbDataBits", gbSettings);
    cbStopBits = makeList("cbStopBits", gbSettings);
    cbParity = makeList("cbParity", gbSettings);
    cbFlowControl = makeList("cbFlowControl", gbSettings);

    // The item data holds the port name; the text adds what the system says about the device
    // (such as the USB adapter's name) so that the meter's port can be told from the others.
    bool currentListed = false;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString description = info.description();
        cbPort->addItem(description.isEmpty()
                            ? info.portName()
                            : QStringLiteral("%1 \u2014 %2").arg(info.portName(), description),
                        info.portName());
        currentListed = currentListed || info.portName() == current.name ||
                        info.systemLocation() == current.name;
        if (info.systemLocation() == current.name)
            cbPort->setItemData(cbPort->count() - 1, current.name);
    }
    if (!currentListed && current.name != kDemoPortName)
        cbPort->addItem(current.name, current.name);
    cbPort->addItem(kDemoPortName, kDemoPortName);
    selectData(cbPort, current.name);

    cbBaudRate->addItem(QStringLiteral("Custom"), current.baudRate);
    for (int rate : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600,
                     115200, 128000, 256000})
        cbBaudRate->addItem(QString::number(rate), rate);
    // "Custom" (index 0) carries the current rate too, so look among the named rates first.
    cbBaudRate->setCurrentIndex(0);
    for (int i = 1; i < cbBaudRate->count(); ++i)
        if (cbBaudRate->itemData(i).toInt() == current.baudRate)
            cbBaudRate->setCurrentIndex(i);

    for (int bits = 5; bits <= 8; ++bits)
        cbDataBits->addItem(QString::number(bits), bits);
    selectData(cbDataBits, static_cast<int>(current.dataBits));

    cbStopBits->addItem(QStringLiteral("1"), static_cast<int>(QSerialPort::OneStop));
    cbStopBits->addItem(QStringLiteral("1.5"), static_cast<int>(QSerialPort::OneAndHalfStop));
    cbStopBits->addItem(QStringLiteral("2"), static_cast<int>(QSerialPort::TwoStop));
    selectData(cbStopBits, static_cast<int>(current.stopBits));

    cbParity->addItem(QStringLiteral("None"), static_cast<int>(QSerialPort::NoParity));
    cbParity->addItem(QStringLiteral("Odd"), static_cast<int>(QSerialPort::OddParity));
    cbParity->addItem(QStringLiteral("Even"), static_cast<int>(QSerialPort::EvenParity));
    cbParity->addItem(QStringLiteral("Mark"), static_cast<int>(QSerialPort::MarkParity));
    cbParity->addItem(QStringLiteral("Space"), static_cast<int>(QSerialPort::SpaceParity));
    selectData(cbParity, static_cast<int>(current.parity));

    cbFlowControl->addItem(QStringLiteral("Hardware"),
                           static_cast<int>(QSerialPort::HardwareControl));
    cbFlowControl->addItem(QStringLiteral("Software"),
                           static_cast<int>(QSerialPort::SoftwareControl));
    cbFlowControl->addItem(QStringLiteral("None"), static_cast<int>(QSerialPort::NoFlowControl));
    cbFlowControl->addItem(QStringLiteral("Custom"), kCustomFlow);
    if (!selectData(cbFlowControl, static_cast<int>(current.flowControl)))
        cbFlowControl->setCurrentIndex(cbFlowControl->count() - 1);

    auto* form = new QFormLayout(gbSettings);
    form->addRow(QStringLiteral("Port"), cbPort);
    form->addRow(QStringLiteral("Baud rate"), cbBaudRate);
    form->addRow(QStringLiteral("Data bits"), cbDataBits);
    form->addRow(QStringLiteral("Stop bits"), cbStopBits);
    form->addRow(QStringLiteral("Parity"), cbParity);
    form->addRow(QStringLiteral("Flow control"), cbFlowControl);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbSettings);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

PortSettings SetupDialog::settings() const
{
    PortSettings s = m_current;
    s.name = cbPort->currentData().toString();
    s.baudRate = cbBaudRate->currentData().toInt();
    s.dataBits = static_cast<QSerialPort::DataBits>(cbDataBits->currentData().toInt());
    s.stopBits = static_cast<QSerialPort::StopBits>(cbStopBits->currentData().toInt());
    s.parity = static_cast<QSerialPort::Parity>(cbParity->currentData().toInt());
    const int flow = cbFlowControl->currentData().toInt();
    if (flow != kCustomFlow)
        s.flowControl = static_cast<QSerialPort::FlowControl>(flow);
    return s;
}

void SetupDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace pexumo
