#pragma once

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace pexumo::test {

/// A meter's line that the test writes into: a read-only sequential device for
/// TComPort::setDevice(). feed() delivers bytes as a port does (readyRead); unplug() ends the
/// input as a pulled cable does, and the device refuses to open until plugBack().
class FeedDevice : public QIODevice
{
public:
    bool open(OpenMode mode) override
    {
        if (!m_present) {
            setErrorString(QStringLiteral("No such device"));
            return false;
        }
        m_pending.clear();
        return QIODevice::open(mode | Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return m_pending.size() + QIODevice::bytesAvailable();
    }

    /// The meter sends \a bytes.
    void feed(const QByteArray& bytes)
    {
        m_pending += bytes;
        emit readyRead();
    }
    void feed(const std::array<std::uint8_t, 11>& frame)
    {
        feed(QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())));
    }
    void unplug()
    {
        m_present = false;
        emit readChannelFinished();
    }
    void plugBack() { m_present = true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = std::min<qint64>(maxSize, m_pending.size());
        std::memcpy(data, m_pending.constData(), std::size_t(n));
        m_pending.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_pending;
    bool m_present = true;
};

} // namespace pexumo::test
