#pragma once
// The gateway's configuration: one INI file, checked whole before anything is opened. Every
// problem names its section and key; --check-config runs the same checks.
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace kv10::gw {

struct MqttSettings {
    QString host = QStringLiteral("127.0.0.1");
    int port = 1883;
    QString prefix = QStringLiteral("kv10");
    bool discovery = true;
    QString discoveryPrefix = QStringLiteral("homeassistant");
    QString username;
    QString password;
    QString caFile;     // TLS when set
    QString certFile;   // client certificate, with keyFile
    QString keyFile;
    int buffer = 10000;          // live messages kept while the broker is away
    int keepaliveSeconds = 30;
};

struct ModbusSettings {
    QString host = QStringLiteral("127.0.0.1");
    int port = 1502;
    bool allowWrite = false;
    QStringList writeClients;    // IPv4 addresses allowed to write; empty: any client
    int maxClients = 8;
    int idleTimeoutSeconds = 60; // a client that sends nothing for this long is closed
};

struct LineSettings {
    QString name;                // from [line:NAME]; the line's part of the topics
    QString device;
    int baud = 9600;
    int sa = 0;
    std::vector<int> stations;   // bus addresses, ascending, each once
    double periodSeconds = 1.0;
    int offlineProbeSeconds = 30;
};

struct GatewayConfig {
    QString name = QStringLiteral("kv10d");
    int statsIntervalSeconds = 60;          // line statistics published and logged this often
    std::optional<MqttSettings> mqtt;       // no [mqtt] section: no MQTT side
    std::optional<ModbusSettings> modbus;   // no [modbus] section: no Modbus side
    std::vector<LineSettings> lines;
};

struct ConfigCheck {
    std::optional<GatewayConfig> config;    // set when there is no error
    QStringList errors;                      // "[line:a] baud: ..." one per problem
};

// Each error names the file and, where there is one, the line: "kv10d.conf:12: [line:a] baud: ...";
// without a file name it reads "line 12: [line:a] baud: ...".
ConfigCheck parseConfig(const QByteArray& text);
ConfigCheck parseConfig(const QByteArray& text, const QString& fileName);
// A file that cannot be read is one error naming it.
ConfigCheck loadConfig(const QString& path);

} // namespace kv10::gw
