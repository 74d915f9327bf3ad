#include "link/comport.h"

#include "link/demometer.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QSerialPortInfo>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <utility>

namespace pexumo {

namespace {

/// The file behind a port name: QSerialPort looks a bare name up in /dev.
QString devicePath(const QString& name)
{
    return name.startsWith(u'/') ? name : QStringLiteral("/dev/") + name;
}

/// Errors that leave the line usable: a time-out, or a control line the device
/// does not have (a pseudo-terminal has no DTR).
bool isHarmless(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnsupportedOperationError:
    case QSerialPort::NotOpenError:
        return true;
    default:
        return false;
    }
}

QList<PortDescription> systemPorts()
{
    QList<PortDescription> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortDescription p{info.portName(), info.systemLocation(), info.serialNumber(), std::nullopt,
                          std::nullopt};
        if (info.hasVendorIdentifier())
            p.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            p.productId = info.productIdentifier();
        ports.append(p);
    }
    return ports;
}

} // namespace

TComPort::TComPort(QObject* parent)
    : QObject(parent), m_serial(new QSerialPort(this)), m_demo(new DemoMeter(this)),
      m_identity(PortIdentity::named(m_settings.name))
{
    listPorts = systemPorts;
    connect(m_serial, &QSerialPort::readyRead, this, &TComPort::onReadyRead);
    connect(m_serial, &QSerialPort::errorOccurred, this, &TComPort::onError);
    connect(m_demo, &QIODevice::readyRead, this, &TComPort::onReadyRead);
}

TComPort::~TComPort()
{
    Close();
}

bool TComPort::applyLineSettings(const PortSettings& s)
{
    const bool ok = m_serial->setBaudRate(s.baudRate) && m_serial->setDataBits(s.dataBits) &&
                    m_serial->setStopBits(s.stopBits) && m_serial->setParity(s.parity) &&
                    m_serial->setFlowControl(s.flowControl);
    if (ok && m_serial->isOpen() && s.flowControl != QSerialPort::HardwareControl)
        m_serial->setRequestToSend(false);
    return ok;
}

bool TComPort::setSettings(const PortSettings& settings)
{
    m_error.clear();
    if (!Connected()) {
        if (settings.name != m_settings.name)
            m_identity = PortIdentity::named(settings.name);
        m_settings = settings;
        return true;
    }
    if (settings.name != m_settings.name) {
        Close();
        m_settings = settings;
        return Open();
    }
    if (m_device != m_serial) {
        m_settings = settings;
        return true;
    }
    if (!applyLineSettings(settings)) {
        m_error = tr("The port %1 refused the new settings: %2.")
                      .arg(m_settings.name, m_serial->errorString());
        applyLineSettings(m_settings);
        return false;
    }
    m_settings = settings;
    return true;
}

QString TComPort::describeOpenFailure() const
{
    const QString& name = m_settings.name;
    const QFileInfo file(devicePath(name));
    switch (m_serial->error()) {
    case QSerialPort::DeviceNotFoundError:
        return tr("There is no port %1: no such device.").arg(name);
    case QSerialPort::PermissionError:
        // Qt reports both a port held by another program and missing rights as a permission
        // error; only the rights on the device file tell them apart.
        if (file.exists() && (!file.isReadable() || !file.isWritable()))
            return tr("Permission denied on %1. On Linux, add yourself to the dialout group with "
                      "\"sudo usermod -aG dialout $USER\" and log in again.")
                .arg(name);
        return tr("The port %1 is busy: another program is using it.").arg(name);
    case QSerialPort::OpenError:
        return tr("The port %1 is already open.").arg(name);
    default:
        return tr("The port %1 could not be opened: %2.").arg(name, m_serial->errorString());
    }
}

bool TComPort::Open()
{
    if (Connected())
        return true;
    m_error.clear();
    m_rescued.clear();
    m_rxPending = false;
    ++m_session;

    if (m_injected) {
        if (!m_injected->open(QIODevice::ReadOnly)) {
            m_error = tr("The port %1 could not be opened: %2.")
                          .arg(m_settings.name, m_injected->errorString());
            return false;
        }
        m_device = m_injected;
        m_identity = PortIdentity::named(m_settings.name);
        return true;
    }
    if (m_settings.name == kDemoPortName) {
        if (!m_demo->open(QIODevice::ReadOnly)) {
            m_error = m_demo->errorString();
            return false;
        }
        m_device = m_demo;
        return true;
    }

    m_serial->setPortName(m_settings.name);
    applyLineSettings(m_settings); // before open() the setters only store the values
    m_serial->setReadBufferSize(kReadBufferSize);
    if (!m_serial->open(QIODevice::ReadOnly)) {
        m_error = describeOpenFailure();
        return false;
    }
    m_device = m_serial;
    m_identity =
        PortIdentity::of(m_settings.name, listPorts ? listPorts() : QList<PortDescription>());
    // The meter needs no handshake lines. Devices without them (a pseudo-terminal) report an
    // unsupported operation, which is harmless.
    m_serial->setDataTerminalReady(false);
    if (m_settings.flowControl != QSerialPort::HardwareControl)
        m_serial->setRequestToSend(false);
    m_serial->clearError();
    return true;
}

void TComPort::Close()
{
    m_rxPending = false;
    if (QIODevice* device = std::exchange(m_device, nullptr))
        device->close();
}

bool TComPort::Connected() const
{
    return m_device != nullptr && m_device->isOpen();
}

qint64 TComPort::bytesWaiting() const
{
    return m_rescued.size() + (Connected() ? m_device->bytesAvailable() : 0);
}

qint64 TComPort::Read(char* buffer, qint64 count)
{
    if (count <= 0)
        return 0;
    qint64 got = 0;
    if (!m_rescued.isEmpty()) {
        got = std::min<qint64>(count, m_rescued.size());
        std::memcpy(buffer, m_rescued.constData(), static_cast<std::size_t>(got));
        m_rescued.remove(0, got);
    }
    if (got < count && Connected()) {
        const qint64 n = m_device->read(buffer + got, count - got);
        if (n < 0) {
            if (got > 0) {
                m_totalRead += got;
                return got;
            }
            m_error =
                tr("Reading from %1 failed: %2.").arg(m_settings.name, m_device->errorString());
            return -1;
        }
        got += n;
    } else if (got == 0 && !Connected()) {
        m_error = tr("The port %1 is not open.").arg(m_settings.name);
        return -1;
    }
    m_totalRead += got;
    return got;
}

bool TComPort::reopenSameMeter()
{
    if (Connected())
        return true;
    if (m_injected)
        return Open();
    // The port list is only asked for when it can decide: while the device file of a port
    // without a USB mark is missing, the meter is plainly not back.
    if (!m_identity.needsPortList()) {
        m_error = tr("There is no port %1: no such device.").arg(m_identity.name());
        return false;
    }
    const std::optional<QString> name =
        m_identity.findIn(listPorts ? listPorts() : QList<PortDescription>());
    if (!name) {
        m_error = tr("The meter is not back on %1.").arg(m_identity.name());
        return false;
    }
    // Open() takes the identity again from the port it opens; a serial number found under a
    // new name keeps the same mark.
    const PortIdentity remembered = m_identity;
    m_settings.name = *name;
    if (Open())
        return true;
    m_identity = remembered;
    return false;
}

void TComPort::setDevice(QIODevice* device)
{
    if (device == m_injected)
        return;
    if (m_injected) {
        if (m_device == m_injected)
            Close();
        disconnect(m_injected, nullptr, this, nullptr);
    }
    m_injected = device;
    if (!device)
        return;
    connect(device, &QIODevice::readyRead, this, &TComPort::onReadyRead);
    connect(device, &QIODevice::readChannelFinished, this, [this] {
        if (m_device == m_injected)
            loseConnection(tr("The connection to %1 was lost: end of input.").arg(m_settings.name));
    });
    connect(device, &QObject::destroyed, this, [this] {
        m_device = m_device == m_injected ? nullptr : m_device;
        m_injected = nullptr;
    });
}

void TComPort::onReadyRead()
{
    if (!Connected())
        return;
    // An exception must not unwind through QSerialPort: it would leave the port's own
    // "readyRead is being emitted" flag set, and readyRead would never come again. It is thrown
    // again from the event loop, where the application's handler sees it as before.
    try {
        reportReceived();
    } catch (...) {
        QMetaObject::invokeMethod(
            this, [error = std::current_exception()] { std::rethrow_exception(error); },
            Qt::QueuedConnection);
    }
}

void TComPort::reportReceived()
{
    // The handler may open a modal box whose event loop receives further bytes. Neither our
    // guard nor QIODevice's lets readyRead re-enter the handler then, so bytes that arrived
    // meanwhile are reported once it is back.
    if (m_inRxHandler) {
        m_rxPending = true;
        return;
    }
    do {
        m_rxPending = false;
        const qint64 waiting = bytesWaiting();
        if (waiting <= 0)
            break;
        const qint64 readBefore = m_totalRead;
        {
            // An exception from the handler must not leave the flag set: every later receive
            // would be parked for good.
            m_inRxHandler = true;
            const auto clearFlag = qScopeGuard([this] { m_inRxHandler = false; });
            emit OnRxChar(this, static_cast<int>(std::min<qint64>(waiting, INT_MAX)));
        }
        const qint64 leftUnread = waiting - (m_totalRead - readBefore);
        if (bytesWaiting() > leftUnread)
            m_rxPending = true;
    } while (m_rxPending);
}

void TComPort::onError(QSerialPort::SerialPortError error)
{
    // Qt 6.4 reports a vanished device as ReadError (sometimes ResourceError), repeated in a
    // busy loop for as long as the port stays open; the first one closes it.
    if (isHarmless(error) || m_device != m_serial || !m_serial->isOpen())
        return;
    loseConnection(
        tr("The connection to %1 was lost: %2.").arg(m_settings.name, m_serial->errorString()));
}

void TComPort::loseConnection(const QString& reason)
{
    m_rescued.append(m_device->readAll());
    Close(); // at once: the platform repeats the error in a busy loop while the port is open
    m_error = reason;
    // Reported from the event loop rather than from inside QSerialPort's error signal, so that
    // the handlers may show a modal box. A port opened again meanwhile has nothing to report.
    const quint64 session = m_session;
    QMetaObject::invokeMethod(
        this,
        [this, session, reason] {
            if (session != m_session || Connected())
                return;
            if (!m_rescued.isEmpty())
                reportReceived();
            emit connectionLost(reason);
        },
        Qt::QueuedConnection);
}

} // namespace pexumo
