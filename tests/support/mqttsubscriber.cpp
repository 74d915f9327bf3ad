#include "support/mqttsubscriber.h"

#include <atomic>

#include <mosquitto.h>

namespace pexumo::test {

MqttSubscriber::~MqttSubscriber()
{
    if (!m_client)
        return;
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, true);
    mosquitto_destroy(m_client);
}

bool MqttSubscriber::start(quint16 port, const QByteArray& filter)
{
    mosquitto_lib_init();
    m_filter = filter;
    // A fixed id and no clean session: the broker keeps the subscription and the queue.
    // Each subscriber a client of its own: two of one name would take each other's session.
    static std::atomic<int> made{0};
    const QByteArray id = "pexumo-test-subscriber-" + QByteArray::number(++made);
    m_client = mosquitto_new(id.constData(), false, this);
    mosquitto_connect_callback_set(m_client, [](mosquitto* client, void* self, int rc) {
        auto* me = static_cast<MqttSubscriber*>(self);
        std::lock_guard lock(me->m_mutex);
        if (rc == 0 && !me->m_subscribed)
            mosquitto_subscribe(client, nullptr, me->m_filter.constData(), 1);
    });
    mosquitto_subscribe_callback_set(m_client, [](mosquitto*, void* self, int, int, const int*) {
        auto* me = static_cast<MqttSubscriber*>(self);
        std::lock_guard lock(me->m_mutex);
        me->m_subscribed = true;
        me->m_changed.notify_all();
    });
    mosquitto_message_callback_set(
        m_client, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto* me = static_cast<MqttSubscriber*>(self);
            std::lock_guard lock(me->m_mutex);
            me->m_messages.push_back(
                {message->topic,
                 QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
                 message->retain});
            me->m_changed.notify_all();
        });
    mosquitto_reconnect_delay_set(m_client, 1, 1, false);
    if (mosquitto_connect(m_client, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(m_client) != MOSQ_ERR_SUCCESS)
        return false;
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_subscribed; });
}

std::vector<MqttSubscriber::Message> MqttSubscriber::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

bool MqttSubscriber::waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                             std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return done(m_messages); });
}

} // namespace pexumo::test
