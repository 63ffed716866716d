#include "MqttPublisher.h"

#include "GatewayLog.h"
#include "MqttMessages.h"

#include <QFile>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace kv10::gw {

namespace {

QByteArray availabilityPayload(bool online)
{
    return online ? QByteArrayLiteral("online") : QByteArrayLiteral("offline");
}

using Clock = std::chrono::steady_clock;

constexpr int QualityOfService = 1;
// Live messages inside libmosquitto not yet acknowledged; the rest wait in our own bounded buffer.
constexpr int LiveWindow = 100;
constexpr int FirstRetrySeconds = 1;
constexpr int LastRetrySeconds = 30;
constexpr int LoopTimeoutMs = 500;
// stop() lets the gateway's "offline" and the disconnect go out for this long at most.
constexpr auto StopGrace = std::chrono::seconds(2);

// 1, 2, 4, ... 30 s: a broker that is down for long is not hammered, a short outage heals fast.
int retryDelaySeconds(int failedAttempts)
{
    return std::min(LastRetrySeconds, FirstRetrySeconds << std::min(failedAttempts, 5));
}

QString unreadableFile(const char* key, const QString& path)
{
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        return {};
    return QStringLiteral("%1: cannot read %2: %3").arg(QLatin1String(key), path, file.errorString());
}

QString libraryError(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return systemErrorText(errno);
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// An encrypted key would make OpenSSL ask on the terminal; a service has none.
int noKeyPassword(char*, int, int, void*)
{
    return 0;
}

void initialiseLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

class MqttPublisher::Impl {
public:
    Impl(const QString& gatewayName, const MqttSettings& settings, std::vector<StationKey> stations)
        : m_gatewayName(gatewayName)
        , m_settings(settings)
        , m_stations(std::move(stations))
        , m_statusTopic(gatewayTopic(settings.prefix, gatewayName, "status"))
        , m_droppedTopic(gatewayTopic(settings.prefix, gatewayName, "dropped"))
        , m_where(QStringLiteral("%1:%2").arg(settings.host).arg(settings.port))
    {
    }

    bool start(QString* error);
    void stop();
    void publishSample(const Sample& sample);
    void publishAvailability(const QString& line, int da, bool online);
    void publishStats(const StationStats& stats);
    quint64 droppedSamples() const;
    bool connected() const;

private:
    QString configure();
    void runNetwork();
    void onConnect(int rc);
    void onDisconnect(int rc);
    void onPublished(int mid);

    // These run with m_mutex held.
    bool handOver(const QByteArray& topic, const QByteArray& payload, bool retain, bool live);
    bool liveMayFlow() const;
    bool mayPublishNow() const;
    void keepWaiting(MqttMessage message);
    void sendWaitingLive();
    void publishOnConnect();
    void settleNow();
    void noteProblem(const QString& text);   // any thread, with or without m_mutex

    const QString m_gatewayName;
    const MqttSettings m_settings;
    const std::vector<StationKey> m_stations;
    const QByteArray m_statusTopic;
    const QByteArray m_droppedTopic;
    const QString m_where;

    mosquitto* m_client = nullptr;
    std::thread m_network;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;   // ends a wait before the next attempt when stopping
    bool m_stopping = false;
    Clock::time_point m_stopDeadline;
    bool m_connected = false;         // the broker accepted us; until the connection ends
    // Reconnected while libmosquitto still holds messages from before: it sends those again
    // first, so nothing new goes out until they are acknowledged (or the wait runs out).
    bool m_settling = false;
    Clock::time_point m_settleDeadline;
    int m_failedAttempts = 0;
    std::deque<MqttMessage> m_waitingLive;
    std::unordered_map<int, bool> m_unacknowledged;   // message id -> live message
    int m_liveInLibrary = 0;
    std::map<std::pair<QString, int>, bool> m_availability;
    quint64 m_dropped = 0;
    quint64 m_droppedBeforeThisEpisode = 0;
    bool m_dropping = false;

    // Apart from m_mutex: libmosquitto may log from inside a call made with m_mutex held.
    std::mutex m_problemMutex;
    QStringList m_problemsLogged;   // since the last connect: each once, not at every retry
};

bool MqttPublisher::Impl::start(QString* error)
{
    if (m_client)
        return true;
    m_stopping = false;
    const QString problem = configure();
    if (!problem.isEmpty()) {
        if (m_client) {
            mosquitto_destroy(m_client);
            m_client = nullptr;
        }
        if (error)
            *error = problem;
        return false;
    }
    m_network = std::thread([this] { runNetwork(); });
    return true;
}

QString MqttPublisher::Impl::configure()
{
    for (const auto& [key, path] : {std::pair{"ca_file", m_settings.caFile}, std::pair{"cert_file", m_settings.certFile},
                                    std::pair{"key_file", m_settings.keyFile}}) {
        const QString problem = unreadableFile(key, path);
        if (!problem.isEmpty())
            return problem;
    }
    initialiseLibraryOnce();
    const QByteArray clientId = "kv10d-" + m_gatewayName.toUtf8();
    m_client = mosquitto_new(clientId.constData(), true, this);
    if (!m_client)
        return QStringLiteral("cannot make an MQTT client: %1").arg(libraryError(MOSQ_ERR_ERRNO));
    mosquitto_threaded_set(m_client, true);   // publish is called from the caller's thread
    if (!m_settings.username.isEmpty()) {
        const QByteArray user = m_settings.username.toUtf8();
        const QByteArray password = m_settings.password.toUtf8();
        const int rc = mosquitto_username_pw_set(m_client, user.constData(),
                                                 m_settings.password.isEmpty() ? nullptr : password.constData());
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("username: %1").arg(libraryError(rc));
    }
    if (!m_settings.caFile.isEmpty()) {
        const QByteArray ca = QFile::encodeName(m_settings.caFile);
        const QByteArray cert = QFile::encodeName(m_settings.certFile);
        const QByteArray key = QFile::encodeName(m_settings.keyFile);
        const int rc = mosquitto_tls_set(m_client, ca.constData(), nullptr, cert.isEmpty() ? nullptr : cert.constData(),
                                         key.isEmpty() ? nullptr : key.constData(), noKeyPassword);
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("ca_file, cert_file, key_file: %1").arg(libraryError(rc));
    }
    const int willRc = mosquitto_will_set(m_client, m_statusTopic.constData(), 7, "offline", QualityOfService, true);
    if (willRc != MOSQ_ERR_SUCCESS)
        return QStringLiteral("prefix: %1").arg(libraryError(willRc));

    mosquitto_connect_callback_set(m_client, [](mosquitto*, void* self, int rc) { static_cast<Impl*>(self)->onConnect(rc); });
    mosquitto_disconnect_callback_set(m_client,
                                      [](mosquitto*, void* self, int rc) { static_cast<Impl*>(self)->onDisconnect(rc); });
    mosquitto_publish_callback_set(m_client,
                                   [](mosquitto*, void* self, int mid) { static_cast<Impl*>(self)->onPublished(mid); });
    // TLS and protocol failures are only told through the library's log.
    mosquitto_log_callback_set(m_client, [](mosquitto*, void* self, int level, const char* text) {
        if (level == MOSQ_LOG_ERR) {
            auto* impl = static_cast<Impl*>(self);
            impl->noteProblem(impl->m_where + QStringLiteral(": ") + QString::fromUtf8(text));
        }
    });
    return {};
}

// Our own loop rather than mosquitto_loop_start: libmosquitto's loop gives up for good after a
// failed name lookup or TLS handshake, and its wait between attempts cannot be cut short.
void MqttPublisher::Impl::runNetwork()
{
    const QByteArray host = m_settings.host.toUtf8();
    int rc = mosquitto_connect_async(m_client, host.constData(), m_settings.port, m_settings.keepaliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        noteProblem(QStringLiteral("cannot connect to %1: %2").arg(m_where, libraryError(rc)));
    for (;;) {
        rc = mosquitto_loop(m_client, LoopTimeoutMs, 1);
        std::unique_lock lock(m_mutex);
        if (m_stopping && (rc != MOSQ_ERR_SUCCESS || Clock::now() > m_stopDeadline))
            return;
        if (m_settling && Clock::now() > m_settleDeadline) {
            logLine(QStringLiteral("MQTT: %1 messages from before the reconnect were not acknowledged; sending on")
                        .arg(m_unacknowledged.size()));
            m_unacknowledged.clear();
            m_liveInLibrary = 0;
            settleNow();
        }
        if (rc == MOSQ_ERR_SUCCESS)
            continue;
        // The connection is gone or was never made.
        const int delay = retryDelaySeconds(m_failedAttempts++);
        m_wake.wait_for(lock, std::chrono::seconds(delay), [this] { return m_stopping; });
        if (m_stopping)
            return;
        lock.unlock();
        rc = mosquitto_reconnect_async(m_client);
        if (rc != MOSQ_ERR_SUCCESS)
            noteProblem(QStringLiteral("cannot connect to %1: %2").arg(m_where, libraryError(rc)));
    }
}

void MqttPublisher::Impl::onConnect(int rc)
{
    std::lock_guard lock(m_mutex);
    if (rc != 0) {
        noteProblem(QStringLiteral("%1 refused the connection: %2").arg(m_where, QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    m_connected = true;
    m_failedAttempts = 0;
    {
        std::lock_guard problemLock(m_problemMutex);
        m_problemsLogged.clear();
    }
    logLine(QStringLiteral("MQTT: connected to %1").arg(m_where));
    if (m_unacknowledged.empty()) {
        publishOnConnect();
    } else {
        m_settling = true;
        m_settleDeadline = Clock::now() + std::chrono::seconds(std::max(5, m_settings.keepaliveSeconds));
    }
}

void MqttPublisher::Impl::onDisconnect(int rc)
{
    std::lock_guard lock(m_mutex);
    const bool wasConnected = m_connected;
    m_connected = false;
    m_settling = false;
    if (!wasConnected) {
        if (rc != MOSQ_ERR_CONN_REFUSED)   // a refusal was logged with its reason
            noteProblem(QStringLiteral("cannot connect to %1: %2").arg(m_where, libraryError(rc)));
    } else if (rc == 0) {
        logLine(QStringLiteral("MQTT: disconnected from %1").arg(m_where));
    } else {
        logLine(QStringLiteral("MQTT: disconnected from %1: %2").arg(m_where, libraryError(rc)));
    }
}

void MqttPublisher::Impl::onPublished(int mid)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_unacknowledged.find(mid);
    if (found == m_unacknowledged.end())
        return;
    if (found->second)
        --m_liveInLibrary;
    m_unacknowledged.erase(found);
    if (m_settling && m_unacknowledged.empty())
        settleNow();
    else
        sendWaitingLive();
}

bool MqttPublisher::Impl::handOver(const QByteArray& topic, const QByteArray& payload, bool retain, bool live)
{
    int mid = 0;
    const int rc = mosquitto_publish(m_client, &mid, topic.constData(), int(payload.size()), payload.constData(),
                                     QualityOfService, retain);
    // Without a connection libmosquitto still keeps the message and sends it after reconnecting.
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) {
        logLine(QStringLiteral("MQTT: cannot publish to %1: %2").arg(QString::fromUtf8(topic), libraryError(rc)));
        return false;
    }
    m_unacknowledged[mid] = live;
    if (live)
        ++m_liveInLibrary;
    return true;
}

bool MqttPublisher::Impl::mayPublishNow() const
{
    return m_client && m_connected && !m_settling && !m_stopping;
}

bool MqttPublisher::Impl::liveMayFlow() const
{
    return m_connected && !m_settling && m_liveInLibrary < LiveWindow;
}

void MqttPublisher::Impl::keepWaiting(MqttMessage message)
{
    const size_t bound = size_t(std::max(1, m_settings.buffer));
    while (m_waitingLive.size() >= bound) {
        m_waitingLive.pop_front();
        ++m_dropped;
        if (!m_dropping) {
            m_dropping = true;
            logLine(QStringLiteral("MQTT: %1 live messages wait for the broker; dropping the oldest").arg(bound));
        }
    }
    m_waitingLive.push_back(std::move(message));
}

void MqttPublisher::Impl::sendWaitingLive()
{
    while (liveMayFlow() && !m_waitingLive.empty()) {
        const MqttMessage& next = m_waitingLive.front();
        handOver(next.topic, next.payload, false, true);
        m_waitingLive.pop_front();
    }
    if (m_dropping && m_waitingLive.size() < size_t(std::max(1, m_settings.buffer))) {
        m_dropping = false;
        logLine(QStringLiteral("MQTT: no longer dropping; %1 live messages were dropped").arg(m_dropped - m_droppedBeforeThisEpisode));
        m_droppedBeforeThisEpisode = m_dropped;
    }
}

void MqttPublisher::Impl::publishOnConnect()
{
    handOver(m_statusTopic, QByteArrayLiteral("online"), true, false);
    if (m_dropped > 0)
        handOver(m_droppedTopic, QByteArray::number(m_dropped), true, false);
    if (m_settings.discovery) {
        for (const StationKey& station : m_stations) {
            for (const MqttMessage& config : discoveryConfigs(m_gatewayName, m_settings, station))
                handOver(config.topic, config.payload, true, false);
        }
    }
    for (const auto& [station, online] : m_availability)
        handOver(stationTopic(m_settings.prefix, station.first, station.second, "status"),
                 availabilityPayload(online), true, false);
    sendWaitingLive();
}

void MqttPublisher::Impl::settleNow()
{
    m_settling = false;
    if (m_connected)
        publishOnConnect();
}

void MqttPublisher::Impl::noteProblem(const QString& text)
{
    std::lock_guard lock(m_problemMutex);
    if (m_problemsLogged.contains(text))
        return;
    m_problemsLogged.append(text);
    logLine(QStringLiteral("MQTT: ") + text);
}

void MqttPublisher::Impl::stop()
{
    if (!m_client)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_stopDeadline = Clock::now() + StopGrace;
        if (m_connected)
            handOver(m_statusTopic, QByteArrayLiteral("offline"), true, false);
    }
    mosquitto_disconnect(m_client);   // goes out after the "offline"
    m_wake.notify_all();
    m_network.join();
    mosquitto_destroy(m_client);
    m_client = nullptr;
    std::lock_guard lock(m_mutex);
    m_connected = false;
}

void MqttPublisher::Impl::publishSample(const Sample& sample)
{
    MqttMessage message{stationTopic(m_settings.prefix, sample.line, sample.da, "live"), liveJson(sample)};
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    if (liveMayFlow() && m_waitingLive.empty())
        handOver(message.topic, message.payload, false, true);
    else
        keepWaiting(std::move(message));
}

void MqttPublisher::Impl::publishAvailability(const QString& line, int da, bool online)
{
    std::lock_guard lock(m_mutex);
    const auto [entry, added] = m_availability.try_emplace({line, da}, online);
    if (!added && entry->second == online)
        return;
    entry->second = online;
    if (mayPublishNow())
        handOver(stationTopic(m_settings.prefix, line, da, "status"),
                 availabilityPayload(online), true, false);
}

void MqttPublisher::Impl::publishStats(const StationStats& stats)
{
    logLine(statsLogText(stats));
    const QByteArray payload = statsJson(stats);
    std::lock_guard lock(m_mutex);
    if (mayPublishNow())
        handOver(stationTopic(m_settings.prefix, stats.line, stats.da, "stats"), payload, false, false);
}

quint64 MqttPublisher::Impl::droppedSamples() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

bool MqttPublisher::Impl::connected() const
{
    std::lock_guard lock(m_mutex);
    return m_connected;
}

MqttPublisher::MqttPublisher(const QString& gatewayName, const MqttSettings& settings, std::vector<StationKey> stations)
    : m_impl(std::make_unique<Impl>(gatewayName, settings, std::move(stations)))
{
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

bool MqttPublisher::start(QString* error)
{
    return m_impl->start(error);
}

void MqttPublisher::stop()
{
    m_impl->stop();
}

void MqttPublisher::publishSample(const Sample& sample)
{
    m_impl->publishSample(sample);
}

void MqttPublisher::publishAvailability(const QString& line, int da, bool online)
{
    m_impl->publishAvailability(line, da, online);
}

void MqttPublisher::publishStats(const StationStats& stats)
{
    m_impl->publishStats(stats);
}

quint64 MqttPublisher::droppedSamples() const
{
    return m_impl->droppedSamples();
}

bool MqttPublisher::connected() const
{
    return m_impl->connected();
}

} // namespace kv10::gw
