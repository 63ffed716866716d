#include "MqttMessages.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace kv10::gw {

namespace {

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray optionalNumber(const std::optional<qint64>& value)
{
    return value ? number(*value) : QByteArrayLiteral("null");
}

// One entity of a station's Home Assistant device.
struct DiscoveredValue {
    const char* component;
    const char* name;
    const char* valueTemplate;
    const char* unit;          // nullptr: none
    const char* deviceClass;   // nullptr: none
};

constexpr DiscoveredValue DiscoveredValues[] = {
    {"sensor", "MEAS", "{{ value_json.MEAS }}", nullptr, nullptr},
    {"sensor", "SP", "{{ value_json.SP }}", nullptr, nullptr},
    {"sensor", "YOUT", "{{ value_json.YOUT / 10 }}", "%", nullptr},
    {"sensor", "TS", "{{ value_json.TS }}", "\u00b0C", "temperature"},
    {"binary_sensor", "FAULT", "{{ 'ON' if value_json.FAULT else 'OFF' }}", nullptr, "problem"},
    {"binary_sensor", "Out 1", "{{ 'ON' if value_json.OUTS | bitwise_and(1) else 'OFF' }}", nullptr, nullptr},
    {"binary_sensor", "Out 2", "{{ 'ON' if value_json.OUTS | bitwise_and(2) else 'OFF' }}", nullptr, nullptr},
    {"binary_sensor", "Out 3", "{{ 'ON' if value_json.OUTS | bitwise_and(4) else 'OFF' }}", nullptr, nullptr},
    {"binary_sensor", "Out 4", "{{ 'ON' if value_json.OUTS | bitwise_and(8) else 'OFF' }}", nullptr, nullptr},
};

QByteArray jsonText(const char* utf8)
{
    return jsonString(QString::fromUtf8(utf8));
}

} // namespace

QByteArray stationTopic(const QString& prefix, const QString& line, int da, const char* leaf)
{
    return (prefix + QLatin1Char('/') + line + QLatin1Char('/') + QString::number(da) + QLatin1Char('/')
            + QLatin1String(leaf))
        .toUtf8();
}

QByteArray gatewayTopic(const QString& prefix, const QString& gatewayName, const char* leaf)
{
    return (prefix + QLatin1String("/gateway/") + gatewayName + QLatin1Char('/') + QLatin1String(leaf)).toUtf8();
}

QByteArray jsonFloat(float value)
{
    if (!std::isfinite(value))
        return QByteArrayLiteral("null");
    char text[32];
    const auto result = std::to_chars(std::begin(text), std::end(text), value);
    return QByteArray(text, int(result.ptr - text));
}

QByteArray jsonString(const QString& text)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

QByteArray jsonTime(const QDateTime& time)
{
    if (!time.isValid())
        return QByteArrayLiteral("null");
    // With the offset written out, so that times stay in order across a change of summer time.
    const QDateTime withOffset = time.toOffsetFromUtc(time.offsetFromUtc());
    return '"' + withOffset.toString(Qt::ISODateWithMs).toLatin1() + '"';
}

QByteArray liveJson(const Sample& sample)
{
    const LiveTable& live = sample.live;
    return "{\"time\":" + jsonTime(sample.time) + ",\"MEAS\":" + jsonFloat(live.meas) + ",\"SP\":"
        + jsonFloat(live.sp) + ",\"YOUT\":" + number(live.yout & 0xFFFF) + ",\"TS\":" + jsonFloat(live.ts)
        + ",\"OUTS\":" + number(live.outs) + ",\"FAULT\":" + number(live.fault) + '}';
}

QByteArray statsJson(const StationStats& stats)
{
    return "{\"time\":" + jsonTime(stats.time) + ",\"requests\":" + number(stats.requests) + ",\"answers\":"
        + number(stats.answers) + ",\"timeouts\":" + number(stats.timeouts) + ",\"checksum_errors\":"
        + number(stats.checksumErrors) + ",\"late_answers_dropped\":" + number(stats.lateAnswersDropped)
        + ",\"answer_ms_median\":" + optionalNumber(stats.medianAnswerMs) + ",\"answer_ms_worst\":"
        + optionalNumber(stats.worstAnswerMs) + '}';
}

QString statsLogText(const StationStats& stats)
{
    const QString times = stats.medianAnswerMs && stats.worstAnswerMs
        ? QStringLiteral("answer median %1 ms, worst %2 ms").arg(*stats.medianAnswerMs).arg(*stats.worstAnswerMs)
        : QStringLiteral("no answer times");
    return QStringLiteral("stats %1/%2: %3 requests, %4 answers, %5 timeouts, %6 checksum errors, "
                          "%7 late answers dropped, %8")
        .arg(stats.line)
        .arg(stats.da)
        .arg(stats.requests)
        .arg(stats.answers)
        .arg(stats.timeouts)
        .arg(stats.checksumErrors)
        .arg(stats.lateAnswersDropped)
        .arg(times);
}

QString discoveryId(const QString& text)
{
    QString id;
    id.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c >= U'A' && c <= U'Z')
            id += QChar(char16_t(c - U'A' + U'a'));
        else if ((c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9') || c == U'_')
            id += QChar(char16_t(c));
        else
            id += QLatin1Char('_');
    }
    return id;
}

std::vector<MqttMessage> discoveryConfigs(const QString& gatewayName, const MqttSettings& settings,
                                          const StationKey& station)
{
    const QString deviceId = discoveryId(QStringLiteral("kv10_%1_%2_%3").arg(gatewayName, station.line).arg(station.da));
    const QByteArray device = "{\"identifiers\":[" + jsonString(deviceId) + "],\"name\":"
        + jsonString(QStringLiteral("KORVIN 10 %1/%2").arg(station.line).arg(station.da))
        + ",\"model\":\"KORVIN 10\",\"via_device\":" + jsonString(discoveryId(QStringLiteral("kv10_") + gatewayName))
        + '}';
    const QByteArray stateTopic = stationTopic(settings.prefix, station.line, station.da, "live");
    const QByteArray availabilityTopic = stationTopic(settings.prefix, station.line, station.da, "status");

    std::vector<MqttMessage> configs;
    for (const DiscoveredValue& value : DiscoveredValues) {
        const QString id = discoveryId(deviceId + QLatin1Char('_') + QLatin1String(value.name));
        QByteArray payload = "{\"name\":" + jsonText(value.name) + ",\"unique_id\":" + jsonString(id)
            + ",\"state_topic\":" + jsonString(QString::fromUtf8(stateTopic))
            + ",\"value_template\":" + jsonText(value.valueTemplate);
        if (value.unit)
            payload += ",\"unit_of_measurement\":" + jsonText(value.unit);
        if (value.deviceClass)
            payload += ",\"device_class\":" + jsonText(value.deviceClass);
        payload += ",\"availability_topic\":" + jsonString(QString::fromUtf8(availabilityTopic))
            + ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\",\"device\":" + device + '}';
        const QString topic = settings.discoveryPrefix + QLatin1Char('/') + QLatin1String(value.component)
            + QLatin1Char('/') + id + QLatin1String("/config");
        configs.push_back({topic.toUtf8(), payload});
    }
    return configs;
}

} // namespace kv10::gw
