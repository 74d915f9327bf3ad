#include "link/portidentity.h"

#include <QFileInfo>

namespace pexumo {

namespace {

/// The listed port that \a name stands for: by its list name, by its device file, or by the
/// file \a name resolves to (a symbolic link to it).
const PortDescription* entryFor(const QString& name, const QList<PortDescription>& ports,
                                const DeviceResolver& resolve)
{
    for (const PortDescription& p : ports)
        if (p.name == name || p.systemLocation == name)
            return &p;
    const QString device = resolve(name);
    if (device.isEmpty())
        return nullptr;
    for (const PortDescription& p : ports)
        if (p.systemLocation == device || resolve(p.systemLocation) == device)
            return &p;
    return nullptr;
}

bool isUsb(const PortDescription& p)
{
    return p.vendorId.has_value() || !p.serialNumber.isEmpty();
}

} // namespace

QString resolveDevice(const QString& portName)
{
    if (portName.isEmpty())
        return QString();
    const QString path = portName.startsWith(u'/') ? portName : QStringLiteral("/dev/") + portName;
    return QFileInfo(path).canonicalFilePath(); // empty when missing or a dangling link
}

PortIdentity PortIdentity::named(const QString& name)
{
    PortIdentity id;
    id.m_name = name;
    return id;
}

PortIdentity PortIdentity::of(const QString& name, const QList<PortDescription>& ports,
                              const DeviceResolver& resolve)
{
    PortIdentity id = named(name);
    if (const PortDescription* p = entryFor(name, ports, resolve)) {
        id.m_serialNumber = p->serialNumber;
        if (p->vendorId && p->productId) {
            id.m_vendorId = p->vendorId;
            id.m_productId = p->productId;
        }
    }
    return id;
}

PortIdentity::Mark PortIdentity::mark() const
{
    if (!m_serialNumber.isEmpty())
        return Mark::SerialNumber;
    if (m_vendorId)
        return Mark::VendorProduct;
    return Mark::Name;
}

bool PortIdentity::needsPortList(const DeviceResolver& resolve) const
{
    return mark() == Mark::SerialNumber || !resolve(m_name).isEmpty();
}

std::optional<QString> PortIdentity::findIn(const QList<PortDescription>& ports,
                                            const DeviceResolver& resolve) const
{
    const PortDescription* here = entryFor(m_name, ports, resolve);
    switch (mark()) {
    case Mark::SerialNumber:
        for (const PortDescription& p : ports) {
            // Serial numbers are unique per maker only: "0001" from two makers is two adapters.
            if (p.serialNumber != m_serialNumber || p.vendorId != m_vendorId ||
                p.productId != m_productId)
                continue;
            if (here == &p)
                return m_name; // keeps a name the user chose, such as a /dev/serial/by-id link
            return p.name.isEmpty() ? p.systemLocation : p.name;
        }
        return std::nullopt;
    case Mark::VendorProduct:
        if (here && here->serialNumber.isEmpty() && here->vendorId == m_vendorId &&
            here->productId == m_productId)
            return m_name;
        return std::nullopt;
    case Mark::Name:
        if (resolve(m_name).isEmpty())
            return std::nullopt;
        if (here && isUsb(*here))
            return std::nullopt; // a USB adapter under a name that had none is another device
        return m_name;
    }
    return std::nullopt;
}

} // namespace pexumo
