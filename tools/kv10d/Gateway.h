#pragma once
// The whole gateway: one line scheduler per configured line, and the MQTT and Modbus TCP sides
// fed from them on this thread. Publishers never touch a line; only an allowed setpoint write
// from Modbus reaches the station's line.
#include "GatewayConfig.h"
#include "LineScheduler.h"
#include "ModbusServer.h"
#include "MqttPublisher.h"

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

namespace kv10::gw {

class Gateway : public QObject, public SetpointWriter {
    Q_OBJECT
public:
    explicit Gateway(GatewayConfig config, QObject* parent = nullptr);
    ~Gateway() override;

    // Opens the Modbus listener first (a taken port stops the start), then connects to the
    // broker in the background and starts the lines. False with the reason.
    bool start(QString* error);
    void stop();

    // From the Modbus thread.
    void writeSetpoint(int unit, float value, std::function<void(WriteOutcome)> done) override;

    int modbusPort() const { return m_modbus ? m_modbus->port() : 0; }

private:
    void publishStats();

    GatewayConfig m_config;
    std::vector<std::unique_ptr<LineScheduler>> m_lines;
    std::map<int, LineScheduler*> m_lineOfUnit;
    std::unique_ptr<MqttPublisher> m_mqtt;
    std::unique_ptr<ModbusServer> m_modbus;
    QTimer m_statsTimer;
    bool m_stopped = false;
    quint64 m_samplesTaken = 0;
};

} // namespace kv10::gw
