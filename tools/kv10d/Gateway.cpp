#include "Gateway.h"

#include "GatewayLog.h"
#include "MqttMessages.h"

namespace kv10::gw {

Gateway::Gateway(GatewayConfig config, QObject* parent) : QObject(parent), m_config(std::move(config))
{
    std::vector<StationKey> stations;
    std::vector<int> units;
    for (const LineSettings& line : m_config.lines) {
        auto scheduler = std::make_unique<LineScheduler>(line, this);
        for (const int station : line.stations) {
            stations.push_back({line.name, station});
            units.push_back(station);
            m_lineOfUnit[station] = scheduler.get();
        }
        m_lines.push_back(std::move(scheduler));
    }
    if (m_config.mqtt)
        m_mqtt = std::make_unique<MqttPublisher>(m_config.name, *m_config.mqtt, stations);
    if (m_config.modbus)
        m_modbus = std::make_unique<ModbusServer>(*m_config.modbus, units, *this);

    for (const auto& line : m_lines) {
        connect(line.get(), &LineScheduler::sampleTaken, this, [this](const Sample& sample) {
            ++m_samplesTaken;
            if (m_mqtt)
                m_mqtt->publishSample(sample);
            if (m_modbus)
                m_modbus->updateSample(sample);
        });
        connect(line.get(), &LineScheduler::availabilityChanged, this, [this](const QString& name, int station, bool online) {
            if (m_mqtt)
                m_mqtt->publishAvailability(name, station, online);
            if (m_modbus)
                m_modbus->updateAvailability(station, online);
        });
        connect(line.get(), &LineScheduler::setpointRead, this, [this](const QString&, int station, float setpoint) {
            if (m_modbus)
                m_modbus->updateSetpoint(station, setpoint);
        });
    }
    m_statsTimer.setInterval(m_config.statsIntervalSeconds * 1000);
    connect(&m_statsTimer, &QTimer::timeout, this, &Gateway::publishStats);
}

Gateway::~Gateway()
{
    stop();
}

bool Gateway::start(QString* error)
{
    if (m_modbus && !m_modbus->start(error))
        return false;
    if (m_mqtt && !m_mqtt->start(error)) {
        if (m_modbus)
            m_modbus->stop();
        return false;
    }
    for (const auto& line : m_lines)
        line->start();
    m_statsTimer.start();
    return true;
}

void Gateway::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_statsTimer.stop();
    // The Modbus side first: a write waiting for its line is answered 0B as the line stops.
    if (m_modbus)
        m_modbus->stop();
    for (const auto& line : m_lines)
        line->stop();
    if (m_mqtt)
        m_mqtt->stop();
    logLine(QStringLiteral("stopped: %1 samples taken, %2 dropped at the bound")
                .arg(m_samplesTaken)
                .arg(m_mqtt ? m_mqtt->droppedSamples() : 0));
}

void Gateway::writeSetpoint(int unit, float value, std::function<void(WriteOutcome)> done)
{
    // Onto this thread, where the line's scheduler lives.
    QMetaObject::invokeMethod(this, [this, unit, value, done = std::move(done)] {
        const auto line = m_lineOfUnit.find(unit);
        if (m_stopped || line == m_lineOfUnit.end()) {
            done(WriteOutcome::Offline);
            return;
        }
        line->second->writeSetpoint(unit, value, done);
    });
}

void Gateway::publishStats()
{
    const QDateTime now = QDateTime::currentDateTime();
    for (const auto& line : m_lines) {
        for (const StationStats& stats : line->takeStats(now)) {
            // The MQTT side logs what it publishes.
            if (m_mqtt)
                m_mqtt->publishStats(stats);
            else
                logLine(statsLogText(stats));
        }
    }
}

} // namespace kv10::gw
