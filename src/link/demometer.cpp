#include "link/demometer.h"

#include <algorithm>
#include <cstring>

namespace pexumo {

DemoMeter::DemoMeter(QObject* parent, quint32 seed)
    : QIODevice(parent), m_seed(seed), m_stream(seed)
{
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &DemoMeter::deliver);
}

bool DemoMeter::open(OpenMode mode)
{
    if (mode & WriteOnly) {
        setErrorString(tr("The demo meter only sends."));
        return false;
    }
    if (!QIODevice::open(mode | Unbuffered))
        return false;
    m_stream = DemoStream(m_seed);
    m_pending.clear();
    m_clock.start();
    m_timer.start();
    // The first frame is due at once; deliver it from the event loop like any later one.
    QTimer::singleShot(0, this, &DemoMeter::deliver);
    return true;
}

void DemoMeter::close()
{
    m_timer.stop();
    m_pending.clear();
    QIODevice::close();
}

qint64 DemoMeter::bytesAvailable() const
{
    return m_pending.size() + QIODevice::bytesAvailable();
}

qint64 DemoMeter::readData(char* data, qint64 maxSize)
{
    const qint64 n = std::min<qint64>(maxSize, m_pending.size());
    if (n > 0) {
        std::memcpy(data, m_pending.constData(), static_cast<std::size_t>(n));
        m_pending.remove(0, n);
    }
    return n;
}

qint64 DemoMeter::writeData(const char*, qint64)
{
    return -1;
}

void DemoMeter::deliver()
{
    if (!isOpen())
        return;
    const double now = static_cast<double>(m_clock.elapsed()) / 1000.0;
    const QByteArray due = m_stream.nextFrames(now - m_stream.elapsed());
    if (due.isEmpty())
        return;
    m_pending.append(due);
    emit readyRead();
}

} // namespace pexumo
