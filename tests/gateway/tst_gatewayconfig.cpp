// kv10d's configuration file: every problem of a file reported with its file, line, section and
// key; good files read into the values the gateway uses; the example the package ships.
#include "GatewayConfig.h"

#include <QTest>

using namespace kv10::gw;

namespace {

// The values the gateway acts on, one line per section, for comparing whole configurations.
QString describe(const GatewayConfig& config)
{
    QStringList lines{"gateway " + config.name};
    const auto yesNo = [](bool value) { return QString(value ? "yes" : "no"); };
    if (const auto& m = config.mqtt)
        lines << QString("mqtt %1:%2 %3 discovery %4 %5 user '%6' password '%7' tls %8|%9|%10 buffer %11 keepalive %12")
                     .arg(m->host).arg(m->port).arg(m->prefix, yesNo(m->discovery), m->discoveryPrefix, m->username,
                          m->password, m->caFile.isEmpty() ? "-" : "ca", m->certFile.isEmpty() ? "-" : "cert")
                     .arg(m->keyFile.isEmpty() ? "-" : "key").arg(m->buffer).arg(m->keepaliveSeconds);
    if (const auto& m = config.modbus)
        lines << QString("modbus %1 %2 write %3 clients '%4' max %5 idle %6")
                     .arg(m->host).arg(m->port).arg(yesNo(m->allowWrite), m->writeClients.join(','))
                     .arg(m->maxClients).arg(m->idleTimeoutSeconds);
    for (const LineSettings& line : config.lines) {
        QStringList stations;
        for (int address : line.stations)
            stations << QString::number(address);
        lines << QString("line %1 %2 %3 sa %4 stations %5 period %6 probe %7")
                     .arg(line.name, line.device).arg(line.baud).arg(line.sa).arg(stations.join(','))
                     .arg(line.periodSeconds).arg(line.offlineProbeSeconds);
    }
    return lines.join('\n');
}

} // namespace

class TestGatewayConfig : public QObject {
    Q_OBJECT
private slots:
    void refused_data();
    void refused();
    void accepted_data();
    void accepted();
    void shippedExample();
    void unreadableFile_data();
    void unreadableFile();
};

void TestGatewayConfig::refused_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("errors");
    const QString conf = "kv10d.conf";

    QTest::newRow("layout") << conf
        << QByteArray("name=x\n[modbus]\nlisten=127.0.0.1:502\n[mqt]\nhost=h\n[modbus]\nport=1\n"
                      "[line:a]\ndevice=/dev/ttyS0\nbaud=9600\nbaud=19200\nspeed=9600\nstations\n=1\n"
                      "stations=1\n\xff\xfe=1\n")
        << QStringList{"kv10d.conf:1: name: comes before any [section]",
                       "kv10d.conf:4: [mqt]: not a section kv10d knows ([gateway], [mqtt], [modbus], [line:NAME])",
                       "kv10d.conf:6: [modbus]: the section is given twice (first on line 2)",
                       "kv10d.conf:11: [line:a] baud: is given twice in the section (first on line 10)",
                       "kv10d.conf:12: [line:a] speed: not a key of this section (device, baud, sa, stations, period, offline_probe)",
                       "kv10d.conf:13: \"stations\" is neither a [section], a key=value line nor a comment",
                       "kv10d.conf:14: \"=1\" is neither a [section], a key=value line nor a comment",
                       "kv10d.conf:16: the line is not UTF-8 text"};
    QTest::newRow("no file name, no sections") << QString() << QByteArray("# nothing\nx y\n")
        << QStringList{"line 2: \"x y\" is neither a [section], a key=value line nor a comment",
                       "no [mqtt] and no [modbus] section: the gateway has nowhere to pass what it reads",
                       "no [line:NAME] section: the gateway has no line to read"};
    QTest::newRow("topic names") << conf
        << QByteArray("[gateway]\nname=hala/2\n[mqtt]\nprefix=/kv10\ndiscovery_prefix=home#\nhost=\n"
                      "[line:hala 2]\ndevice=/dev/ttyS0\nstations=1\n[line:]\ndevice=/dev/ttyS1\nstations=2\n")
        << QStringList{"kv10d.conf:2: [gateway] name: \"hala/2\" holds \"/\", which would split it into two topic levels",
                       "kv10d.conf:4: [mqtt] prefix: \"/kv10\" starts or ends with \"/\"",
                       "kv10d.conf:5: [mqtt] discovery_prefix: \"home#\" holds \"#\", a wildcard of MQTT topics",
                       "kv10d.conf:6: [mqtt] host: is empty; name the broker's host",
                       "kv10d.conf:7: [line:hala 2]: the line's name \"hala 2\" may hold only letters, digits, \"_\" and \"-\"",
                       "kv10d.conf:10: [line:]: the line's name \"\" may hold only letters, digits, \"_\" and \"-\""};
    QTest::newRow("gateway name blank or empty") << conf
        << QByteArray("[gateway]\nname=a\tb\n[mqtt]\nprefix=\n[line:a]\ndevice=/dev/ttyS0\nstations=1\n")
        << QStringList{"kv10d.conf:2: [gateway] name: \"a\tb\" holds a blank or a control character, which a topic may not hold",
                       "kv10d.conf:4: [mqtt] prefix: is empty; it makes part of the MQTT topics"};
    QTest::newRow("numbers and yes/no") << conf
        << QByteArray("[mqtt]\nport=65536\nbuffer=0\nkeepalive=4\ndiscovery=maybe\n"
                      "[modbus]\nmax_clients=1001\nidle_timeout=-5\nallow_write=ja\n"
                      "[line:a]\ndevice=/dev/ttyS0\nstations=1\nsa=127\nperiod=0,5\noffline_probe=86401\nbaud=9601\n"
                      "[line:b]\ndevice=/dev/ttyS1\nstations=2\nperiod=0.05\nsa=1e2\n")
        << QStringList{"kv10d.conf:2: [mqtt] port: \"65536\" is not a whole number from 1 to 65535",
                       "kv10d.conf:3: [mqtt] buffer: \"0\" is not a whole number of messages from 1 to 1000000",
                       "kv10d.conf:4: [mqtt] keepalive: \"4\" is not a whole number of seconds from 5 to 3600",
                       "kv10d.conf:5: [mqtt] discovery: \"maybe\" is neither yes nor no (yes, no, true, false, 1, 0, on, off)",
                       "kv10d.conf:7: [modbus] max_clients: \"1001\" is not a whole number from 1 to 1000",
                       "kv10d.conf:8: [modbus] idle_timeout: \"-5\" is not a whole number of seconds from 1 to 86400",
                       "kv10d.conf:9: [modbus] allow_write: \"ja\" is neither yes nor no (yes, no, true, false, 1, 0, on, off)",
                       "kv10d.conf:13: [line:a] sa: \"127\" is not a whole number from 0 to 126",
                       "kv10d.conf:14: [line:a] period: \"0,5\" is not a number of seconds from 0.1 to 3600 (with a decimal point, e.g. 2.5)",
                       "kv10d.conf:15: [line:a] offline_probe: \"86401\" is not a whole number of seconds from 1 to 86400",
                       "kv10d.conf:16: [line:a] baud: \"9601\" is not a rate the line offers (110, 300, 600, 1200, 2400, 4800, "
                       "9600, 19200, 38400, 56000, 57600, 115200, 128000, 256000)",
                       "kv10d.conf:20: [line:b] period: \"0.05\" is not a number of seconds from 0.1 to 3600 (with a decimal point, e.g. 2.5)",
                       "kv10d.conf:21: [line:b] sa: \"1e2\" is not a whole number from 0 to 126"};
    QTest::newRow("stations and devices") << conf
        << QByteArray("[modbus]\n[line:a]\ndevice=/dev/ttyUSB0\nstations=1-4,7\n[line:b]\ndevice=/dev/ttyUSB0\n"
                      "stations=3,5-7,4\n[line:c]\ndevice=/dev/ttyUSB1\nstations=9-3, 127, x, 1-2-3, 5,5, 4-6\n"
                      "[line:d]\ndevice=\nstations=\n[line:e]\nbaud=9600\n[line:f]\ndevice=/dev/ttyUSB2\nstations=6\n")
        << QStringList{"kv10d.conf:10: [line:c] stations: \"9-3\" runs backwards; \"127\" is outside the bus addresses 0-126; "
                       "\"x\" is neither an address nor a range a-b; \"1-2-3\" is neither an address nor a range a-b; "
                       "5 is named twice",
                       "kv10d.conf:12: [line:d] device: is empty; name the serial device, e.g. /dev/ttyUSB0",
                       "kv10d.conf:13: [line:d] stations: is empty; name the bus addresses to read, e.g. 1-4,7",
                       "kv10d.conf:14: [line:e] device: missing; name the line's serial device, e.g. device=/dev/ttyUSB0",
                       "kv10d.conf:14: [line:e] stations: missing; name the bus addresses to read, e.g. stations=1-4,7",
                       "kv10d.conf: [line:b] device: \"/dev/ttyUSB0\" is the device of line \"a\" too; one line per device",
                       "kv10d.conf: [line:b] stations: 3-4, 7 are on line \"a\" too; Modbus unit ids must be unique",
                       "kv10d.conf: [line:f] stations: 6 is on line \"b\" too; Modbus unit ids must be unique"};
    QTest::newRow("listen and write clients") << conf
        << QByteArray("[modbus]\nlisten=localhost\nwrite_clients=10.0.0.1, 10.0.0.300,,::1\n"
                      "[line:a]\ndevice=/dev/ttyS0\nstations=1\n[modbus]\n")
        << QStringList{"kv10d.conf:2: [modbus] listen: \"localhost\" is not HOST:PORT (e.g. 127.0.0.1:1502, 0.0.0.0:502 or [::1]:1502)",
                       "kv10d.conf:3: [modbus] write_clients: \"10.0.0.300\" is not an IP address; \"\" is not an IP address",
                       "kv10d.conf:7: [modbus]: the section is given twice (first on line 1)"};
    const std::pair<const char*, const char*> listens[] = {
        {"[1.2.3.4]:1502", "\"1.2.3.4\" in brackets is not an IPv6 address"},
        {"127.0.0.1:0", "port \"0\" is not a whole number from 1 to 65535"},
        {"10.1.1:502", "\"10.1.1:502\" is not HOST:PORT (e.g. 127.0.0.1:1502, 0.0.0.0:502 or [::1]:1502)"},
        {"host name:502", "\"host name:502\" is not HOST:PORT (e.g. 127.0.0.1:1502, 0.0.0.0:502 or [::1]:1502)"},
        {"::1:502", "\"::1:502\" is not HOST:PORT (e.g. 127.0.0.1:1502, 0.0.0.0:502 or [::1]:1502)"}};
    for (const auto& [listen, problem] : listens)
        QTest::newRow(listen) << conf << ("[modbus]\nlisten=" + QByteArray(listen) + "\n[line:a]\ndevice=/dev/ttyS0\nstations=1\n")
                              << QStringList{"kv10d.conf:2: [modbus] listen: " + QString(problem)};
    QTest::newRow("tls files") << conf
        << QByteArray("[mqtt]\nca_file=/no/such/ca.pem\ncert_file=/\n[line:a]\ndevice=/dev/ttyS0\nstations=1\n")
        << QStringList{"kv10d.conf:2: [mqtt] ca_file: \"/no/such/ca.pem\" does not exist",
                       "kv10d.conf:3: [mqtt] cert_file: \"/\" is not a file",
                       "kv10d.conf: [mqtt] key_file: missing; the client certificate needs its key"};
    QTest::newRow("key without certificate or ca") << conf
        << QByteArray("[mqtt]\nkey_file=" KV10D_EXAMPLE_CONF "\n[line:a]\ndevice=/dev/ttyS0\nstations=1\n")
        << QStringList{"kv10d.conf: [mqtt] cert_file: missing; key_file is the key of a client certificate",
                       "kv10d.conf: [mqtt] ca_file: missing; a client certificate is used only over TLS, which ca_file turns on"};
}

void TestGatewayConfig::refused()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, errors);
    const ConfigCheck check = parseConfig(text, fileName);
    QCOMPARE(check.errors, errors);
    QVERIFY(!check.config);
}

void TestGatewayConfig::accepted_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("described");

    QTest::newRow("defaults") << QByteArray("[mqtt]\n[modbus]\n[line:a]\ndevice=/dev/ttyS0\nstations=7,1-4\n")
        << "gateway kv10d\n"
           "mqtt 127.0.0.1:1883 kv10 discovery yes homeassistant user '' password '' tls -|-|- buffer 10000 keepalive 30\n"
           "modbus 127.0.0.1 1502 write no clients '' max 8 idle 60\n"
           "line a /dev/ttyS0 9600 sa 0 stations 1,2,3,4,7 period 1 probe 30";
    QTest::newRow("every key, CRLF, BOM, blanks and comments")
        << QByteArray("\xEF\xBB\xBF# site\r\n[gateway]\r\n  name = hala2  \r\n; broker\r\n\r\n[mqtt]\r\nhost=broker.lan\r\n"
                      "port=8883\r\nprefix=site/kv10\r\ndiscovery=OFF\r\ndiscovery_prefix=ha\r\nusername=kv\r\n"
                      "password= p=ss#1 \r\nca_file=" KV10D_EXAMPLE_CONF "\r\ncert_file=" KV10D_EXAMPLE_CONF "\r\n"
                      "key_file=" KV10D_EXAMPLE_CONF "\r\nbuffer=1000000\r\nkeepalive=5\r\n"
                      "[modbus]\r\nlisten=0.0.0.0:502\r\nallow_write=True\r\nwrite_clients=10.0.0.5, 10.0.0.6\r\n"
                      "max_clients=1000\r\nidle_timeout=86400\r\n[line:hala_2-sever]\r\ndevice=/dev/ttyUSB0\r\n"
                      "baud=256000\r\nsa=126\r\nstations=0,126\r\nperiod=0.1\r\noffline_probe=1\r\n")
        << "gateway hala2\n"
           "mqtt broker.lan:8883 site/kv10 discovery no ha user 'kv' password 'p=ss#1' tls ca|cert|key buffer 1000000 keepalive 5\n"
           "modbus 0.0.0.0 502 write yes clients '10.0.0.5,10.0.0.6' max 1000 idle 86400\n"
           "line hala_2-sever /dev/ttyUSB0 256000 sa 126 stations 0,126 period 0.1 probe 1";
    QTest::newRow("modbus only, IPv6") << QByteArray("[modbus]\nlisten=[::1]:1502\n[line:a]\ndevice=/dev/ttyS0\nstations=1\n"
                                                     "period=3600\n[line:b]\ndevice=/dev/ttyS1\nstations=2-3\nperiod=2.5\n")
        << "gateway kv10d\nmodbus ::1 1502 write no clients '' max 8 idle 60\n"
           "line a /dev/ttyS0 9600 sa 0 stations 1 period 3600 probe 30\n"
           "line b /dev/ttyS1 9600 sa 0 stations 2,3 period 2.5 probe 30";
    // Without Modbus unit ids two lines may share bus addresses.
    QTest::newRow("mqtt only, shared addresses")
        << QByteArray("[mqtt]\nhost=::1\n[line:a]\ndevice=/dev/ttyS0\nstations=1-2\n[line:b]\ndevice=/dev/ttyS1\nstations=2\n")
        << "gateway kv10d\n"
           "mqtt ::1:1883 kv10 discovery yes homeassistant user '' password '' tls -|-|- buffer 10000 keepalive 30\n"
           "line a /dev/ttyS0 9600 sa 0 stations 1,2 period 1 probe 30\n"
           "line b /dev/ttyS1 9600 sa 0 stations 2 period 1 probe 30";
    QTest::newRow("host name listen") << QByteArray("[modbus]\nlisten=gw-1.example.lan:15020\n[line:a]\ndevice=/dev/ttyS0\nstations=1\n")
        << "gateway kv10d\nmodbus gw-1.example.lan 15020 write no clients '' max 8 idle 60\n"
           "line a /dev/ttyS0 9600 sa 0 stations 1 period 1 probe 30";
}

void TestGatewayConfig::accepted()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, described);
    const ConfigCheck check = parseConfig(text, "kv10d.conf");
    QCOMPARE(check.errors, QStringList());
    QVERIFY(check.config);
    QCOMPARE(describe(*check.config), described);
}

void TestGatewayConfig::shippedExample()
{
    const ConfigCheck check = loadConfig(KV10D_EXAMPLE_CONF);
    QCOMPARE(check.errors, QStringList());
    QVERIFY(check.config);
    QCOMPARE(describe(*check.config).section('\n', 1, 2),
             QString("mqtt 127.0.0.1:1883 kv10 discovery yes homeassistant user '' password '' tls -|-|- buffer 10000 keepalive 30\n"
                     "modbus 127.0.0.1 1502 write no clients '' max 8 idle 60"));
    QCOMPARE(check.config->lines.size(), size_t(2));
}

void TestGatewayConfig::unreadableFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing") << "/no/such/kv10d.conf" << "/no/such/kv10d.conf: cannot be read: there is no such file";
    QTest::newRow("folder") << "/" << "/: cannot be read: it is not a file";
    QTest::newRow("device") << "/dev/zero" << "/dev/zero: cannot be read: it is not a file";
}

void TestGatewayConfig::unreadableFile()
{
    QFETCH(QString, path);
    QFETCH(QString, error);
    const ConfigCheck check = loadConfig(path);
    QCOMPARE(check.errors, QStringList{error});
    QVERIFY(!check.config);
}

QTEST_GUILESS_MAIN(TestGatewayConfig)
#include "tst_gatewayconfig.moc"
