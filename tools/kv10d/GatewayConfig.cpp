#include "GatewayConfig.h"

#include "ConfigProblems.h"
#include "ConfigValues.h"
#include "IniReader.h"
#include "Protocol.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace kv10::gw {

namespace {

const QString LinePrefix = QStringLiteral("line:");

// The keys of one section. Keys the section does not know are reported at once; each read
// reports a value it refuses, with the key's line.
class SectionKeys {
public:
    SectionKeys(const IniSection& section, ConfigProblems& problems, const QStringList& known)
        : m_section(section), m_problems(problems)
    {
        for (const IniEntry& entry : section.entries)
            if (!known.contains(entry.key))
                m_problems.add(entry.line, section.name, entry.key,
                               QStringLiteral("not a key of this section (%1)").arg(known.join(u", ")));
    }

    const IniEntry* find(const QString& key) const
    {
        for (const IniEntry& entry : m_section.entries)
            if (entry.key == key)
                return &entry;
        return nullptr;
    }

    // Sets target when the key is there and its value passes; false when it is missing or refused.
    template <typename T, typename Read>
    bool read(const QString& key, T& target, Read readValue)
    {
        const IniEntry* entry = find(key);
        if (!entry)
            return false;
        Checked<T> checked = readValue(entry->value);
        if (!checked.value) {
            m_problems.add(entry->line, m_section.name, key, checked.problem);
            return false;
        }
        target = std::move(*checked.value);
        return true;
    }

    void whole(const QString& key, int& target, int lowest, int highest, const QString& unit = {})
    {
        read(key, target, [&](const QString& value) { return wholeNumber(value, lowest, highest, unit); });
    }

    void text(const QString& key, QString& target) { read(key, target, any); }

    // A key without a default: its absence is reported on the section's header line.
    void require(const QString& key, const QString& hint)
    {
        if (!find(key))
            m_problems.add(m_section.line, m_section.name, key, QStringLiteral("missing; ") + hint);
    }

    // A problem of the section as a whole, which has no one line.
    void reportUnlined(const QString& key, const QString& what)
    {
        m_problems.add(ConfigProblems::NoLine, m_section.name, key, what);
    }

    static Checked<QString> any(const QString& value) { return {value, {}}; }

private:
    const IniSection& m_section;
    ConfigProblems& m_problems;
};

Checked<QString> checkedBy(const QString& value, const QString& problem)
{
    return problem.isEmpty() ? Checked<QString>{value, {}} : Checked<QString>{std::nullopt, problem};
}

Checked<QString> topicName(const QString& value, TopicPart part)
{
    return checkedBy(value, topicNameProblem(value, part));
}

Checked<QString> hostName(const QString& value)
{
    const bool blank = std::any_of(value.begin(), value.end(), [](QChar c) { return c.isSpace(); });
    return checkedBy(value, value.isEmpty() ? QStringLiteral("is empty; name the broker's host")
                            : blank         ? quoted(value) + QStringLiteral(" holds a blank")
                                            : QString());
}

Checked<QString> deviceName(const QString& value)
{
    return checkedBy(value, value.isEmpty() ? QStringLiteral("is empty; name the serial device, e.g. /dev/ttyUSB0")
                                            : QString());
}

// An empty value leaves the file out; a named one must be there for kv10d to read.
Checked<QString> readableFile(const QString& path)
{
    const QFileInfo info(path);
    const QString problem = path.isEmpty()   ? QString()
                            : !info.exists() ? quoted(path) + QStringLiteral(" does not exist")
                            : !info.isFile() ? quoted(path) + QStringLiteral(" is not a file")
                            : !info.isReadable() ? quoted(path) + QStringLiteral(" cannot be read")
                                                 : QString();
    return checkedBy(path, problem);
}

void readGateway(const IniSection& section, GatewayConfig& config, ConfigProblems& problems)
{
    SectionKeys keys(section, problems, {QStringLiteral("name"), QStringLiteral("stats_interval")});
    keys.read(QStringLiteral("name"), config.name, [](const QString& v) { return topicName(v, TopicPart::Level); });
    keys.whole(QStringLiteral("stats_interval"), config.statsIntervalSeconds, 1, 86400, QStringLiteral("seconds"));
}

void readMqtt(const IniSection& section, MqttSettings& mqtt, ConfigProblems& problems)
{
    SectionKeys keys(section, problems,
                     {"host", "port", "prefix", "discovery", "discovery_prefix", "username", "password", "ca_file",
                      "cert_file", "key_file", "buffer", "keepalive"});
    const auto prefix = [](const QString& v) { return topicName(v, TopicPart::Prefix); };
    keys.read(QStringLiteral("host"), mqtt.host, hostName);
    keys.whole(QStringLiteral("port"), mqtt.port, 1, 65535);
    keys.read(QStringLiteral("prefix"), mqtt.prefix, prefix);
    keys.read(QStringLiteral("discovery"), mqtt.discovery, yesNo);
    keys.read(QStringLiteral("discovery_prefix"), mqtt.discoveryPrefix, prefix);
    keys.text(QStringLiteral("username"), mqtt.username);
    keys.text(QStringLiteral("password"), mqtt.password);
    keys.read(QStringLiteral("ca_file"), mqtt.caFile, readableFile);
    keys.read(QStringLiteral("cert_file"), mqtt.certFile, readableFile);
    keys.read(QStringLiteral("key_file"), mqtt.keyFile, readableFile);
    keys.whole(QStringLiteral("buffer"), mqtt.buffer, 1, 1000000, QStringLiteral("messages"));
    keys.whole(QStringLiteral("keepalive"), mqtt.keepaliveSeconds, 5, 3600, QStringLiteral("seconds"));

    // Judged on what is written, so that a missing file is not reported a second time here.
    const auto given = [&](const char* key) {
        const IniEntry* entry = keys.find(QLatin1String(key));
        return entry && !entry->value.isEmpty();
    };
    if (given("cert_file") && !given("key_file"))
        keys.reportUnlined(QStringLiteral("key_file"), QStringLiteral("missing; the client certificate needs its key"));
    if (given("key_file") && !given("cert_file"))
        keys.reportUnlined(QStringLiteral("cert_file"), QStringLiteral("missing; key_file is the key of a client certificate"));
    if ((given("cert_file") || given("key_file")) && !given("ca_file"))
        keys.reportUnlined(QStringLiteral("ca_file"),
                           QStringLiteral("missing; a client certificate is used only over TLS, which ca_file turns on"));
}

void readModbus(const IniSection& section, ModbusSettings& modbus, ConfigProblems& problems)
{
    SectionKeys keys(section, problems, {"listen", "allow_write", "write_clients", "max_clients", "idle_timeout"});
    ListenAddress listen{modbus.host, modbus.port};
    if (keys.read(QStringLiteral("listen"), listen, listenAddress)) {
        modbus.host = listen.host;
        modbus.port = listen.port;
    }
    keys.read(QStringLiteral("allow_write"), modbus.allowWrite, yesNo);
    keys.read(QStringLiteral("write_clients"), modbus.writeClients, addressList);
    keys.whole(QStringLiteral("max_clients"), modbus.maxClients, 1, 1000);
    keys.whole(QStringLiteral("idle_timeout"), modbus.idleTimeoutSeconds, 1, 86400, QStringLiteral("seconds"));
}

LineSettings readLine(const IniSection& section, ConfigProblems& problems)
{
    LineSettings line;
    line.name = section.name.mid(LinePrefix.size());
    if (const QString problem = lineNameProblem(line.name); !problem.isEmpty())
        problems.add(section.line, section.name, {}, problem);
    SectionKeys keys(section, problems, {"device", "baud", "sa", "stations", "period", "offline_probe"});
    keys.require(QStringLiteral("device"), QStringLiteral("name the line's serial device, e.g. device=/dev/ttyUSB0"));
    keys.read(QStringLiteral("device"), line.device, deviceName);
    keys.read(QStringLiteral("baud"), line.baud, baudRate);
    keys.whole(QStringLiteral("sa"), line.sa, 0, HighestStationAddress);
    keys.require(QStringLiteral("stations"), QStringLiteral("name the bus addresses to read, e.g. stations=1-4,7"));
    keys.read(QStringLiteral("stations"), line.stations, stationList);
    keys.read(QStringLiteral("period"), line.periodSeconds,
              [](const QString& v) { return decimalSeconds(v, 0.1, 3600); });
    keys.whole(QStringLiteral("offline_probe"), line.offlineProbeSeconds, 1, 86400, QStringLiteral("seconds"));
    return line;
}

// One device per line, and with a Modbus side each bus address on one line only.
void checkLinesTogether(const GatewayConfig& config, ConfigProblems& problems)
{
    for (size_t later = 0; later < config.lines.size(); ++later) {
        const LineSettings& line = config.lines[later];
        for (size_t earlier = 0; earlier < later; ++earlier) {
            const LineSettings& other = config.lines[earlier];
            const QString section = LinePrefix + line.name;
            if (!line.device.isEmpty() && line.device == other.device)
                problems.add(ConfigProblems::NoLine, section, QStringLiteral("device"),
                             QStringLiteral("%1 is the device of line \"%2\" too; one line per device")
                                 .arg(quoted(line.device), other.name));
            if (!config.modbus)
                continue;
            std::vector<int> shared;
            std::set_intersection(line.stations.begin(), line.stations.end(), other.stations.begin(),
                                  other.stations.end(), std::back_inserter(shared));
            if (!shared.empty())
                problems.add(ConfigProblems::NoLine, section, QStringLiteral("stations"),
                             QStringLiteral("%1 %2 on line \"%3\" too; Modbus unit ids must be unique")
                                 .arg(addressRanges(shared), shared.size() == 1 ? u"is" : u"are", other.name));
        }
    }
}

} // namespace

ConfigCheck parseConfig(const QByteArray& text, const QString& fileName)
{
    ConfigProblems problems(fileName);
    GatewayConfig config;
    for (const IniSection& section : readIni(text, problems)) {
        if (section.name == u"gateway") {
            readGateway(section, config, problems);
        } else if (section.name == u"mqtt") {
            readMqtt(section, config.mqtt.emplace(), problems);
        } else if (section.name == u"modbus") {
            readModbus(section, config.modbus.emplace(), problems);
        } else if (section.name.startsWith(LinePrefix)) {
            config.lines.push_back(readLine(section, problems));
        } else {
            problems.add(section.line, section.name, {},
                         QStringLiteral("not a section kv10d knows ([gateway], [mqtt], [modbus], [line:NAME])"));
        }
    }
    if (!config.mqtt && !config.modbus)
        problems.add(ConfigProblems::NoLine, {}, {},
                     QStringLiteral("no [mqtt] and no [modbus] section: the gateway has nowhere to pass what it reads"));
    if (config.lines.empty())
        problems.add(ConfigProblems::NoLine, {}, {}, QStringLiteral("no [line:NAME] section: the gateway has no line to read"));
    checkLinesTogether(config, problems);

    ConfigCheck check;
    check.errors = problems.list();
    if (problems.empty())
        check.config = std::move(config);
    return check;
}

ConfigCheck parseConfig(const QByteArray& text)
{
    return parseConfig(text, QString());
}

ConfigCheck loadConfig(const QString& path)
{
    // Far more than any site needs; what is larger is not a configuration file.
    constexpr qint64 LargestFile = 1 << 20;
    const QFileInfo info(path);
    const auto unreadable = [&](const QString& why) { return ConfigCheck{std::nullopt, {path + QStringLiteral(": ") + why}}; };
    if (!info.exists())
        return unreadable(QStringLiteral("cannot be read: there is no such file"));
    if (!info.isFile())
        return unreadable(QStringLiteral("cannot be read: it is not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(QStringLiteral("cannot be read: no permission to read it"));
    const QByteArray text = file.read(LargestFile + 1);
    if (text.size() > LargestFile)
        return unreadable(QStringLiteral("is larger than 1 MiB; that is no configuration file"));
    return parseConfig(text, path);
}

} // namespace kv10::gw
