#pragma once

#include "link/demostream.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QTimer>

namespace pexumo {

/// The built-in virtual meter: a read-only sequential device that plays a DemoStream in real
/// time. While open it delivers the frames that have fallen due every kTickMs and emits
/// readyRead, just as a serial port does when bytes arrive. Each open starts the stream afresh.
class DemoMeter : public QIODevice
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 50;

    explicit DemoMeter(QObject* parent = nullptr, quint32 seed = 1);

    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    void deliver();

    quint32 m_seed;
    DemoStream m_stream;
    QByteArray m_pending; ///< bytes due but not yet read
    QTimer m_timer;
    QElapsedTimer m_clock;
};

} // namespace pexumo
