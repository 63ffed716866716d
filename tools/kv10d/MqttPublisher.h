#pragma once
// The MQTT side: samples, availability and statistics to the broker, the gateway's own status
// with a last will, and Home Assistant discovery. It never touches a line. While the broker is
// away, live messages wait in order in a bounded buffer; beyond the bound the oldest are dropped
// and counted.
#include "GatewayConfig.h"
#include "Sample.h"

#include <QString>
#include <memory>
#include <vector>

namespace kv10::gw {

struct StationKey {
    QString line;
    int da = 0;
};

class MqttPublisher {
public:
    MqttPublisher(const QString& gatewayName, const MqttSettings& settings, std::vector<StationKey> stations);
    ~MqttPublisher();   // stops
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts connecting (and reconnecting with back-off) in the background; false with the
    // reason only when the settings cannot work at all (a CA file that cannot be read).
    bool start(QString* error);
    void stop();   // publishes the gateway "offline" when connected, then disconnects

    // From the thread that made the publisher.
    void publishSample(const Sample& sample);
    void publishAvailability(const QString& line, int da, bool online);
    void publishStats(const StationStats& stats);

    quint64 droppedSamples() const;   // live messages dropped at the bound since start
    bool connected() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kv10::gw
