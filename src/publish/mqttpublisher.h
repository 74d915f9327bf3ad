#pragma once

#include "publish/mqttconfig.h"
#include "publish/outbox.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <QStringList>

#include <chrono>
#include <functional>
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
    /// Once the rows that waited when the connection was made are all at the broker: how many
    /// rows it took since then; 0 before, and when none waited.
    qint64 sent = 0;

    friend bool operator==(const MqttStatus&, const MqttStatus&) = default;
};

/// The status in a few words: "MQTT off", "MQTT connected", "MQTT: 12 rows waiting", "MQTT
/// connected, 70 rows sent". The reason is not part of it (the window shows it in the tooltip,
/// the logger after a colon).
QString mqttStatusText(const MqttStatus& status);

/// Timings of the publisher; tests shorten them.
struct MqttTiming
{
    std::chrono::milliseconds firstRetry{1000}; ///< the first wait after a failed attempt
    /// The wait doubles up to this, and a quarter of it at most is added at random: a broker
    /// that comes back is found within 7.5 s (its backlog there within 10 s), and one that
    /// stays away gets one attempt every 6 to 7.5 s, each a refused connection or a look-up.
    std::chrono::milliseconds longestRetry{6000};
    /// An attempt the broker has not accepted within this time is given up, also a look-up of
    /// its name that gets no answer.
    std::chrono::milliseconds connectTimeout{20000};
    /// stop() sends what waits and "offline" within this time unless given another.
    std::chrono::milliseconds stopTimeout{3000};
    int keepAliveSec = 30; ///< a broker silent for 1.5 times this is taken for gone
};

/// The wait before the attempt after \a previous (0 for the first failure), before the random
/// part: firstRetry, then doubled each time, at most longestRetry.
std::chrono::milliseconds mqttRetryDelay(std::chrono::milliseconds previous,
                                         const MqttTiming& timing);

/// What a look-up of the broker's name found: its addresses ("127.0.0.1", "::1"), or why
/// there are none ("host \"x\" not found").
struct MqttLookup
{
    QStringList addresses;
    QString problem;
};

/// Looks up a host name; may take as long as the system's resolver does. Runs on a thread of its
/// own, which the publisher never waits for.
using MqttResolver = std::function<MqttLookup(const QString& host, int port)>;

/// The system's resolver (getaddrinfo): TCP addresses, as the system orders them.
MqttLookup lookUpHost(const QString& host, int port);

/// Publishes every row of an Outbox to an MQTT broker, in order, QoS 1, and tells the outbox how
/// far the broker acknowledged them; rows not acknowledged are sent again after a reconnect.
/// The outbox's alarms go to "<topic>/alarm" likewise. "<topic>/status" holds
/// {"status":"online",...} (retained) while connected and {"status":"offline",...} after a
/// clean stop or, as the last will, after a lost connection.
///
/// The network, the outbox and all waiting run on a thread of the publisher's own; the broker's
/// name is looked up on a thread of its own again, which nothing waits for. No call here waits
/// for the network except stop(), which waits a bounded time. statusChanged() is emitted on the
/// thread that made the publisher.
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

    /// Looks up the broker's name with \a resolver instead of the system's; before start().
    void setResolver(MqttResolver resolver) { m_resolver = std::move(resolver); }

    /// Starts publishing as \a config says, on the publisher's thread; \a session names this
    /// program's run in the status messages. A config that is off (no Host, or a problem) only
    /// reports Off with its problem as the reason.
    void start(const MqttConfig& config, qint64 session = 0);
    /// Sends what waits in the outbox (the rows and alarms of the last moments), then "offline",
    /// waits for the broker to take it, disconnects and ends the thread, all within \a budget.
    /// Without a connection it ends at once: neither a look-up of the broker's name nor an
    /// attempt to connect is waited for. True when the broker took "offline"; false when there
    /// was no connection or the time ran out (what was not acknowledged goes at the next start).
    bool stop(std::chrono::milliseconds budget);
    /// stop() within MqttTiming::stopTimeout.
    bool stop() { return stop(m_timing.stopTimeout); }

    /// The last status emitted.
    MqttStatus status() const { return m_status; }

signals:
    void statusChanged(const pexumo::MqttStatus& status);

private:
    struct Worker;
    void post(const MqttStatus& status);

    Outbox& m_outbox;
    MqttTiming m_timing;
    MqttResolver m_resolver = lookUpHost;
    MqttStatus m_status;
    std::unique_ptr<Worker> m_worker;
};

} // namespace pexumo
