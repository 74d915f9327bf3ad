#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace pexumo {

/// What the system reports about one serial port, as its port list gives it.
struct PortDescription
{
    QString name;                     ///< as the port list names it, such as "ttyUSB0"
    QString systemLocation;           ///< the device file, such as "/dev/ttyUSB0"
    QString serialNumber;             ///< the USB adapter's serial number; empty when it has none
    std::optional<quint16> vendorId;  ///< USB vendor id; none for a port that is not USB
    std::optional<quint16> productId; ///< USB product id

    friend bool operator==(const PortDescription&, const PortDescription&) = default;
};

/// Turns a port name into the device file behind it, following symbolic links; empty when no
/// such file exists now (a dangling link counts as missing).
using DeviceResolver = std::function<QString(const QString& portName)>;

/// The file-system resolver: a name without a leading "/" is looked up in /dev, as the serial
/// port does it.
QString resolveDevice(const QString& portName);

/// Which meter a port name stood for when it was opened, so that the same meter can be found
/// again after its cable was pulled and plugged back.
///
/// The strongest mark the port had decides:
/// - a USB serial number: the adapter with that serial number (and the same vendor and product
///   id) is the meter, under whatever name the system gives it now;
/// - a USB vendor and product id without a serial number: a port of that vendor and product,
///   without a serial number, under the same name;
/// - neither (a built-in port, a pseudo-terminal, a link to one): the same name, as long as a
///   device file exists under it and the port list does not show a USB adapter there.
///
/// The system's port list leaves out pseudo-terminals and links such as /dev/serial/by-id/...,
/// so a name is matched to a listed port through the device file it resolves to as well; a name
/// missing from the list altogether is judged by its device file alone.
class PortIdentity
{
public:
    enum class Mark
    {
        SerialNumber,
        VendorProduct,
        Name
    };

    /// An identity by name only, for a port never opened.
    static PortIdentity named(const QString& name);
    /// The identity of \a name as \a ports and the file system show it now.
    static PortIdentity of(const QString& name, const QList<PortDescription>& ports,
                           const DeviceResolver& resolve = resolveDevice);

    QString name() const { return m_name; }
    Mark mark() const;

    /// The name to open when the same meter is present in \a ports: the remembered name while it
    /// still leads to the meter, else the name the list gives it. Nothing when it is absent or a
    /// different adapter holds the name.
    std::optional<QString> findIn(const QList<PortDescription>& ports,
                                  const DeviceResolver& resolve = resolveDevice) const;

    /// True when the port list is needed to decide; false when the name's device file is
    /// missing and only a serial number could find the meter elsewhere (this saves asking the
    /// system for its port list every second while a port without a USB mark is away).
    bool needsPortList(const DeviceResolver& resolve = resolveDevice) const;

private:
    QString m_name;
    QString m_serialNumber;
    std::optional<quint16> m_vendorId;
    std::optional<quint16> m_productId;
};

} // namespace pexumo
