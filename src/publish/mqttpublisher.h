#pragma once

#include "publish/mqttconfig.h"
#include "publish/outbox.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace pexumo {

enum class MqttState
{
    Off,          ///< no Host, a bad value, or stopped
    Connecting,   ///< the first attempt since start() is under way
    Connected,    ///< the broker accepted the connection; rows flow
    Disconnected, ///< no connection; the publisher tries again and again
};

/// What the window's indicator and the logger's status line show.
struct MqttStatus
{
    MqttState state = MqttState::Off;
    qint64 waiting = 0; ///< rows the broker has not acknowledged yet
    /// Why it is off or disconnected, e.g. "connection refused" or
    /// "not authorised: check User and PasswordFile"; "" when there is nothing to say.
    QString reason;

    friend bool operator==(const MqttStatus&, const MqttStatus&) = default;
};

/// The status in a few words: "MQTT off", "MQTT connected", "MQTT: 12 rows waiting". The reason
/// is not part of it (the window shows it in the tooltip, the logger after a colon).
QString mqttStatusText(const MqttStatus& status);

/// Timings of the publisher; tests shorten them.
struct MqttTiming
{
    std::chrono::milliseconds firstRetry{1000};    ///< the first wait after a failed attempt
    std::chrono::milliseconds longestRetry{60000}; ///< the wait doubles up to this
    /// An attempt the broker has not accepted within this time is given up.
    std::chrono::milliseconds connectTimeout{20000};
    /// stop() waits this long for the broker to take "offline" and the last acknowledgements.
    std::chrono::milliseconds stopTimeout{3000};
    int keepAliveSec = 30; ///< a broker silent for 1.5 times this is taken for gone
};

/// Publishes every row of an Outbox to an MQTT broker, in order, QoS 1, and tells the outbox how
/// far the broker acknowledged them; rows not acknowledged are sent again after a reconnect.
/// "<topic>/status" holds "online" (retained) while connected and "offline" after a clean stop
/// or, as the last will, after a lost connection. Alarms go to "<topic>/alarm".
///
/// The network, the outbox and all waiting run on a thread of the publisher's own: no call here
/// waits for the network except stop(), which waits a bounded time. statusChanged() is emitted
/// on the thread that made the publisher.
class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    /// Rows sent and not yet acknowledged at most: enough to keep a link to a far broker busy,
    /// few enough that a lost connection sends little twice.
    static constexpr int Window = 500;

    /// \a outbox must outlive the publisher.
    explicit MqttPublisher(Outbox& outbox, MqttTiming timing = {}, QObject* parent = nullptr);
    /// stop()s first.
    ~MqttPublisher() override;

    /// Starts publishing as \a config says, on the publisher's thread. A config that is off (no
    /// Host, or a problem) only reports Off with its problem as the reason.
    void start(const MqttConfig& config);
    /// Publishes "offline", waits for the broker to take it and the rows in flight (at most
    /// MqttTiming::stopTimeout), disconnects and ends the thread. True when the broker took
    /// "offline"; false when there was no connection or it timed out. A look-up of the broker's
    /// name under way (the system's resolver) is not cut short.
    bool stop();

    /// Queues an alarm's JSON object for "<topic>/alarm" (QoS 1, not retained). Alarms wait in
    /// memory while there is no connection; none are sent while publishing is off.
    void publishAlarm(const QByteArray& json);

    /// The last status emitted.
    MqttStatus status() const { return m_status; }

signals:
    void statusChanged(const pexumo::MqttStatus& status);

private:
    struct Worker;
    void post(const MqttStatus& status);

    Outbox& m_outbox;
    MqttTiming m_timing;
    MqttStatus m_status;
    std::unique_ptr<Worker> m_worker;
};

} // namespace pexumo
