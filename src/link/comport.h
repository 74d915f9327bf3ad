#pragma once

#include "link/portidentity.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>

class QIODevice;

namespace pexumo {

class DemoMeter;

/// The port name that opens the built-in demo meter instead of a serial port.
inline const QString kDemoPortName = QStringLiteral("Demo meter");

/// Line settings of the meter's port. A name without a leading "/" is looked up in /dev.
struct PortSettings
{
    QString name = "COM2";
    qint32 baudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    friend bool operator==(const PortSettings&, const PortSettings&) = default;
};

/// The program's receive-only link to the meter: a serial port, the demo meter when the name is
/// kDemoPortName, or a device handed in with setDevice(). Everything runs on the thread that owns
/// the object; nothing blocks. The setup dialog is the window's: it hands its choice to
/// setSettings().
///
/// When the far end vanishes (the USB cable is pulled), the port takes every byte it had received
/// into a buffer of its own and closes at once; then, from the event loop, it emits OnRxChar for
/// those bytes if there are any and connectionLost once. Read() keeps returning the rescued
/// bytes after the close, until the next Open().
class TComPort : public QObject
{
    Q_OBJECT
public:
    /// Receive buffer of the line, in bytes.
    static constexpr qint64 kReadBufferSize = 99998;

    explicit TComPort(QObject* parent = nullptr);
    ~TComPort() override;

    PortSettings settings() const { return m_settings; }
    /// Takes new settings. On an open port the line settings apply at once and another port
    /// name closes the port and opens the new one. False, with errorString(), when the open port
    /// refuses a setting (the previous line settings are then restored) or the new port cannot
    /// be opened (the port is then closed; the new settings are kept).
    bool setSettings(const PortSettings& settings);

    /// Opens the named port with the settings, DTR and RTS held inactive. True at once when it
    /// is already open. On failure false, and errorString() says why in plain words.
    bool Open();
    /// Closes the port; nothing when it is closed. Bytes rescued from a lost connection stay
    /// readable.
    void Close();
    /// True from a successful Open() until Close() or the loss of the connection.
    bool Connected() const;
    /// Bytes that Read() can return now.
    qint64 bytesWaiting() const;
    /// Copies up to \a count waiting bytes into \a buffer without waiting for more; returns how
    /// many, or -1 (with errorString()) when the port is closed and nothing is left to read.
    qint64 Read(char* buffer, qint64 count);
    /// Why the last Open(), setSettings() or Read() failed, or why the connection was lost.
    QString errorString() const { return m_error; }
    /// Counts the opens of the port; a new value means the bytes come from a fresh line (another
    /// port chosen in the setup dialog, or a reconnect).
    quint64 session() const { return m_session; }

    /// The meter behind the port when it was last opened (see PortIdentity); a name alone for a
    /// port never opened or renamed since.
    const PortIdentity& identity() const { return m_identity; }
    /// When the port is closed and the meter of identity() is present again, opens it with the
    /// same line settings, under the name it has now (the settings take that name). True when the
    /// port is open afterwards. Never waits: a device that is not there, or not ready, is simply
    /// tried again at the next call; errorString() then says why.
    bool reopenSameMeter();
    /// The system's serial ports; replaced by tests. Pseudo-terminals are not among them.
    std::function<QList<PortDescription>()> listPorts;

    /// Reads from \a device instead of the named port from the next Open() on (a buffer in a
    /// test, a player of recorded bytes); null goes back to the named port. The device is not
    /// owned. It is opened read-only by Open() and closed by Close(); when it ends its input
    /// (readChannelFinished) the connection counts as lost, as when a cable is pulled, and
    /// reopenSameMeter() simply opens it again.
    void setDevice(QIODevice* device);

signals:
    /// Bytes have arrived; \a count is bytesWaiting(), at least 1. Not emitted again while a
    /// handler of this signal is still running; bytes arriving meanwhile are reported after it.
    void OnRxChar(QObject* sender, int count);
    /// The port was closed because the device went away (emitted once per loss).
    void connectionLost(const QString& reason);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void loseConnection(const QString& reason);
    void reportReceived();
    bool applyLineSettings(const PortSettings& settings);
    QString describeOpenFailure() const;

    PortSettings m_settings;
    QSerialPort* m_serial;
    DemoMeter* m_demo;
    QIODevice* m_injected = nullptr; ///< setDevice()
    QIODevice* m_device = nullptr;   ///< m_serial, m_demo or m_injected while open, else null
    QByteArray m_rescued;            ///< bytes taken from a lost port, handed out by Read()
    QString m_error;
    PortIdentity m_identity;
    quint64 m_session = 0;  ///< counts Open() calls, to tell a stale loss report from a fresh one
    qint64 m_totalRead = 0; ///< bytes handed out by Read(), to see what arrived during a handler
    bool m_inRxHandler = false;
    bool m_rxPending = false;
};

} // namespace pexumo
