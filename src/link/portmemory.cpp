#include "link/portmemory.h"

#include "base/usersettings.h"

#include <QSettings>

#include <array>
#include <utility>

namespace pexumo::PortMemory {

namespace {

// The values as the file writes them, so that a user can read and mend it by hand.
const std::array<std::pair<QSerialPort::StopBits, const char*>, 3> kStopBits{{
    {QSerialPort::OneStop, "1"},
    {QSerialPort::OneAndHalfStop, "1.5"},
    {QSerialPort::TwoStop, "2"},
}};
const std::array<std::pair<QSerialPort::Parity, const char*>, 5> kParity{{
    {QSerialPort::NoParity, "None"},
    {QSerialPort::EvenParity, "Even"},
    {QSerialPort::OddParity, "Odd"},
    {QSerialPort::SpaceParity, "Space"},
    {QSerialPort::MarkParity, "Mark"},
}};
const std::array<std::pair<QSerialPort::FlowControl, const char*>, 3> kFlowControl{{
    {QSerialPort::NoFlowControl, "None"},
    {QSerialPort::HardwareControl, "Hardware"},
    {QSerialPort::SoftwareControl, "Software"},
}};

template <class Enum, std::size_t N>
QString nameOf(const std::array<std::pair<Enum, const char*>, N>& table, Enum value)
{
    for (const auto& [v, name] : table)
        if (v == value)
            return QString::fromLatin1(name);
    return QString();
}

template <class Enum, std::size_t N>
Enum valueOf(const std::array<std::pair<Enum, const char*>, N>& table, const QVariant& text,
             Enum fallback)
{
    for (const auto& [v, name] : table)
        if (text.toString() == QLatin1String(name))
            return v;
    return fallback;
}

} // namespace

PortSettings load()
{
    const PortSettings defaults;
    PortSettings s;
    const std::unique_ptr<QSettings> settings = openUserSettings();
    QSettings& file = *settings;
    file.beginGroup(QStringLiteral("Port"));
    const QString name = file.value(QStringLiteral("Name")).toString().trimmed();
    if (!name.isEmpty())
        s.name = name;
    bool ok = false;
    const int baud = file.value(QStringLiteral("BaudRate")).toString().toInt(&ok, 10);
    if (ok && baud > 0)
        s.baudRate = baud;
    const int bits = file.value(QStringLiteral("DataBits")).toString().toInt(&ok, 10);
    if (ok && bits >= 5 && bits <= 8)
        s.dataBits = static_cast<QSerialPort::DataBits>(bits);
    s.stopBits = valueOf(kStopBits, file.value(QStringLiteral("StopBits")), defaults.stopBits);
    s.parity = valueOf(kParity, file.value(QStringLiteral("Parity")), defaults.parity);
    s.flowControl =
        valueOf(kFlowControl, file.value(QStringLiteral("FlowControl")), defaults.flowControl);
    return s;
}

bool save(const PortSettings& s, QString* error)
{
    const std::unique_ptr<QSettings> settings = openUserSettings();
    QSettings& file = *settings;
    file.beginGroup(QStringLiteral("Port"));
    file.setValue(QStringLiteral("Name"), s.name);
    file.setValue(QStringLiteral("BaudRate"), QString::number(s.baudRate));
    file.setValue(QStringLiteral("DataBits"), QString::number(int(s.dataBits)));
    file.setValue(QStringLiteral("StopBits"), nameOf(kStopBits, s.stopBits));
    file.setValue(QStringLiteral("Parity"), nameOf(kParity, s.parity));
    file.setValue(QStringLiteral("FlowControl"), nameOf(kFlowControl, s.flowControl));
    file.endGroup();
    return writeUserSettings(file, error);
}

} // namespace pexumo::PortMemory
