#pragma once
// What the MQTT side puts on the broker, as pure functions: topics, the live and statistics
// JSON, and the Home Assistant discovery configs. JSON is written by hand because the order of
// the fields is part of the format (QJsonObject sorts its keys).
#include "GatewayConfig.h"
#include "MqttPublisher.h"
#include "Sample.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

namespace kv10::gw {

struct MqttMessage {
    QByteArray topic;
    QByteArray payload;
};

// "<prefix>/<line>/<da>/<leaf>", leaf one of live, status, stats.
QByteArray stationTopic(const QString& prefix, const QString& line, int da, const char* leaf);
// "<prefix>/gateway/<name>/<leaf>", leaf one of status, dropped.
QByteArray gatewayTopic(const QString& prefix, const QString& gatewayName, const char* leaf);

// The shortest text that reads back as the same float; null for NaN and infinities.
QByteArray jsonFloat(float value);
// A JSON string literal: quotes, backslashes and control characters escaped, the rest UTF-8.
QByteArray jsonString(const QString& text);
// ISO 8601 with milliseconds and the UTC offset, quoted; null for an invalid time.
QByteArray jsonTime(const QDateTime& time);

QByteArray liveJson(const Sample& sample);
QByteArray statsJson(const StationStats& stats);
QString statsLogText(const StationStats& stats);   // the same counts, for the log

// Lower case, anything outside [a-z0-9_] made "_": Home Assistant's ids and device identifiers.
QString discoveryId(const QString& text);
// The retained configs of one station's sensors and binary sensors.
std::vector<MqttMessage> discoveryConfigs(const QString& gatewayName, const MqttSettings& settings,
                                          const StationKey& station);

} // namespace kv10::gw
