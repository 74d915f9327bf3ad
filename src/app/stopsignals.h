#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace pexumo {

/// Turns SIGTERM and SIGINT into a Qt signal on the thread that made the object. The handler
/// only writes the signal's number into a pipe, the one thing a handler may safely do; the
/// event loop reads it and emits received(). One object per process; the default handlers come
/// back when it is destroyed.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    /// "" when the handlers are in place, else why they are not.
    QString errorString() const { return m_error; }

signals:
    /// SIGTERM or SIGINT arrived; \a name is "SIGTERM" or "SIGINT".
    void received(const QString& name);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    QString m_error;
};

} // namespace pexumo
