#pragma once
// A libmosquitto subscriber to everything ("#", QoS 1) on a local broker, for the gateway's
// tests: each message kept as one line "topic payload", with " (retained)" when the broker says
// so. `describe` may shorten a payload. Subscribes again after each reconnect.
#include <QString>
#include <QStringList>
#include <mosquitto.h>

#include <atomic>
#include <functional>
#include <mutex>

namespace kv10::test {

class Subscriber {
public:
    using Describe = std::function<QString(const QString& topic, const QString& payload)>;

    explicit Subscriber(int port, const QByteArray& user = {}, const QByteArray& password = {}, Describe describe = {})
        : m_client(mosquitto_new(nullptr, true, this)), m_describe(std::move(describe))
    {
        if (!user.isEmpty())
            mosquitto_username_pw_set(m_client, user.constData(), password.constData());
        mosquitto_connect_callback_set(m_client, [](mosquitto* client, void*, int rc) {
            if (rc == 0)
                mosquitto_subscribe(client, nullptr, "#", 1);
        });
        mosquitto_subscribe_callback_set(m_client, [](mosquitto*, void* self, int, int, const int*) {
            ++static_cast<Subscriber*>(self)->m_subscriptions;
        });
        mosquitto_message_callback_set(m_client, [](mosquitto*, void* self, const mosquitto_message* message) {
            static_cast<Subscriber*>(self)->keep(*message);
        });
        mosquitto_connect_async(m_client, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_client);
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, true);
        mosquitto_destroy(m_client);
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    int subscriptions() const { return m_subscriptions; }

    QStringList received(const QString& containing = {}) const
    {
        std::lock_guard lock(m_mutex);
        return m_received.filter(containing);
    }

private:
    void keep(const mosquitto_message& message)
    {
        const QString topic = QString::fromUtf8(message.topic);
        QString payload = QString::fromUtf8(static_cast<const char*>(message.payload), message.payloadlen);
        if (m_describe)
            payload = m_describe(topic, payload);
        std::lock_guard lock(m_mutex);
        m_received.append(topic + QLatin1Char(' ') + payload + (message.retain ? QStringLiteral(" (retained)") : QString()));
    }

    mosquitto* m_client;
    Describe m_describe;
    std::atomic<int> m_subscriptions{0};
    mutable std::mutex m_mutex;
    QStringList m_received;
};

} // namespace kv10::test
