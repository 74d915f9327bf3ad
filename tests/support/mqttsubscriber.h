#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

struct mosquitto;

namespace pexumo::test {

/// A subscriber that collects every message of a topic filter, as a site's collector would: a
/// lasting session at QoS 1, so that across a broker restart (of a broker that keeps a store) it
/// misses nothing. It reconnects by itself on its own thread.
class MqttSubscriber
{
public:
    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
    };

    MqttSubscriber() = default;
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    /// Connects to the broker on the loopback \a port and subscribes to \a filter; waits until
    /// the broker confirmed the subscription (false after 10 s).
    bool start(quint16 port, const QByteArray& filter);
    /// Every message received so far, in order of arrival.
    std::vector<Message> messages() const;
    /// Waits until \a done holds for the messages received; false after \a timeout.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
    mosquitto* m_client = nullptr;
    QByteArray m_filter;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Message> m_messages;
    bool m_subscribed = false;
};

} // namespace pexumo::test
