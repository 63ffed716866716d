// kv10d as a site runs it: its own process over two simulated lines on pseudo-terminals, a real
// Mosquitto broker watched by a libmosquitto subscriber, and libmodbus's client.
#include "ModbusClient.h"
#include "MosquittoBroker.h"
#include "MqttSubscriber.h"
#include "StartedSimulator.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace kv10;
using namespace kv10::test;

namespace {

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// A line of stations whose live values stand still at these.
void setValues(sim::SimulatedController& line, float meas, float sp, int yout, float ts, int outs)
{
    line.setLiveRunning(false);
    line.modifyImage([=](ControllerImage& image) {
        image.live = {meas, uint8_t(outs), sp, yout, ts, 0, 0};
        image.comp.sp = 40;
    });
}

// The messages on topics that start with `topic`.
QStringList on(const Subscriber& subscriber, const QString& topic)
{
    QStringList messages;
    for (const QString& message : subscriber.received())
        if (message.startsWith(topic))
            messages << message;
    return messages;
}

// The live messages of a station, the time of each left out.
QStringList liveOf(const Subscriber& subscriber, const QString& topic)
{
    static const QRegularExpression time(QStringLiteral("\"time\":\"[^\"]*\","));
    QStringList live;
    for (QString message : on(subscriber, topic + QLatin1Char(' ')))
        live << message.remove(time);
    return live;
}

std::vector<QDateTime> timesOf(const QStringList& messages)
{
    static const QRegularExpression time(QStringLiteral("\"time\":\"([^\"]*)\""));
    std::vector<QDateTime> times;
    for (const QString& message : messages)
        times.push_back(QDateTime::fromString(time.match(message).captured(1), Qt::ISODateWithMs));
    return times;
}

} // namespace

class TestKv10d : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void valuesOnMqttAndModbus();
    void silentStationGoesOfflineWhileTheOthersKeepTheirPeriod();
    void setpointWrites_data();
    void setpointWrites();
    void portHeldByAnotherProgram();
    void lastWillWhenKilled();
    void badConfigurationOpensNothing();

private:
    // Starts kv10d on both lines with `extra` lines in [modbus] and period/probe as given.
    void startGateway(const QString& modbusExtra = {}, const QString& lineExtra = {});
    QString log() const { return QString::fromUtf8(m_log); }

    std::unique_ptr<sim::SimulatedController> m_lineA;   // stations 1 and 2
    std::unique_ptr<sim::SimulatedController> m_lineB;   // station 3
    MosquittoBroker m_broker;
    QTemporaryDir m_dir;
    QProcess m_gateway;
    QByteArray m_log;
    int m_modbusPort = 0;
};

void TestKv10d::initTestCase()
{
    QString error;
    m_lineA = startSimulator({.addresses = {1, 2}}, error);
    QVERIFY2(m_lineA, qPrintable(error));
    m_lineB = startSimulator({.addresses = {3}}, error);
    QVERIFY2(m_lineB, qPrintable(error));
    m_gateway.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_gateway, &QProcess::readyReadStandardError, this, [this] { m_log += m_gateway.readAllStandardError(); });
}

// A fresh broker for each case: no retained message of the case before.
void TestKv10d::init()
{
    m_broker.kill();
    QVERIFY2(m_broker.start(), qPrintable(m_broker.error()));
}

void TestKv10d::cleanup()
{
    if (m_gateway.state() != QProcess::NotRunning) {
        m_gateway.terminate();
        QVERIFY(m_gateway.waitForFinished(10000));
    }
    m_log.clear();
    m_lineA->setAddresses({1, 2});
    m_lineA->clearFaults();
}

void TestKv10d::startGateway(const QString& modbusExtra, const QString& lineExtra)
{
    setValues(*m_lineA, 21.5f, 22, 123, 24.5f, 5);
    setValues(*m_lineB, -7.25f, 0.1f, 1000, 30, 8);
    m_modbusPort = freePort();
    const QString config = QStringLiteral(
                               "[gateway]\nname=site\n"
                               "[mqtt]\nhost=127.0.0.1\nport=%1\n"
                               "[modbus]\nlisten=127.0.0.1:%2\n%3\n"
                               "[line:a]\ndevice=%4\nstations=1-2\nperiod=0.2\n%5\n"
                               "[line:b]\ndevice=%6\nstations=3\nperiod=0.2\n%5\n")
                               .arg(m_broker.port())
                               .arg(m_modbusPort)
                               .arg(modbusExtra, m_lineA->slavePath(), lineExtra, m_lineB->slavePath());
    QFile file(m_dir.filePath(QStringLiteral("kv10d.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(config.toUtf8()) > 0);
    file.close();
    m_gateway.start(QStringLiteral(KV10D_PATH), {QStringLiteral("--config"), file.fileName()});
    QVERIFY(m_gateway.waitForStarted());
}

void TestKv10d::valuesOnMqttAndModbus()
{
    Subscriber subscriber(m_broker.port());
    QTRY_VERIFY(subscriber.subscriptions() > 0);
    startGateway();
    QTRY_VERIFY_WITH_TIMEOUT(liveOf(subscriber, "kv10/b/3/live").size() >= 2, 5000);
    QCOMPARE(liveOf(subscriber, "kv10/a/1/live").first(),
             R"(kv10/a/1/live {"MEAS":21.5,"SP":22,"YOUT":123,"TS":24.5,"OUTS":5,"FAULT":0})");
    QCOMPARE(liveOf(subscriber, "kv10/b/3/live").first(),
             R"(kv10/b/3/live {"MEAS":-7.25,"SP":0.1,"YOUT":1000,"TS":30,"OUTS":8,"FAULT":0})");
    QStringList statuses = on(subscriber, "kv10/").filter("/status ");
    statuses.sort();
    QCOMPARE(statuses, QStringList({"kv10/a/1/status online", "kv10/a/2/status online", "kv10/b/3/status online",
                                    "kv10/gateway/site/status online"}));
    // Three stations, each four sensors and five binary sensors.
    QCOMPARE(on(subscriber, "homeassistant/").size(), 27);

    // Registers 0-8 and 10-13 (9 is the sample's age), and the setpoint read from COMP.
    const QString age = QStringLiteral("age");
    auto masked = [&](QString words) { return words.replace(45, 4, age); };
    QCOMPARE(masked(readRegisters(m_modbusPort, 1, 4, 0, 14)),
             "41ac 0000 41b0 0000 41c4 0000 007b 0005 0000 age 0001 00d7 00dc 00f5");
    QCOMPARE(masked(readRegisters(m_modbusPort, 3, 4, 0, 14)),
             "c0e8 0000 3dcc cccd 41f0 0000 03e8 0008 0000 age 0001 ffb7 0001 012c");
    QCOMPARE(readRegisters(m_modbusPort, 3, 3, 0, 2), "4220 0000");
    QCOMPARE(readRegisters(m_modbusPort, 9, 4, 0, 1), "exception 11");
}

void TestKv10d::silentStationGoesOfflineWhileTheOthersKeepTheirPeriod()
{
    Subscriber subscriber(m_broker.port());
    QTRY_VERIFY(subscriber.subscriptions() > 0);
    startGateway({}, QStringLiteral("offline_probe=4"));
    QTRY_VERIFY_WITH_TIMEOUT(!on(subscriber, "kv10/a/2/status online").isEmpty(), 5000);
    m_lineA->setAddresses({1});
    QTRY_VERIFY_WITH_TIMEOUT(!on(subscriber, "kv10/a/2/status offline").isEmpty(), 10000);
    QTRY_VERIFY2(log().contains("line a: station 2 offline"), qPrintable(log()));
    QCOMPARE(readRegisters(m_modbusPort, 2, 4, 0, 1), "exception 11");

    // Until its probe is due, station 2 costs nothing: station 1 is read every 0.2 s.
    const qsizetype before = on(subscriber, "kv10/a/1/live ").size();
    QTest::qWait(2500);
    const std::vector<QDateTime> times = timesOf(on(subscriber, "kv10/a/1/live ").mid(before));
    QVERIFY(times.size() >= 10);
    for (size_t i = 1; i < times.size(); ++i)
        QVERIFY2(times[i - 1].msecsTo(times[i]) <= 300, qPrintable(QString::number(times[i - 1].msecsTo(times[i]))));

    // Back on the line, it is online at its next probe.
    m_lineA->setAddresses({1, 2});
    QTRY_COMPARE_WITH_TIMEOUT(on(subscriber, "kv10/a/2/status ").last(), "kv10/a/2/status online", 8000);
}

void TestKv10d::setpointWrites_data()
{
    QTest::addColumn<QString>("modbus");
    QTest::addColumn<int>("refusals");
    QTest::addColumn<QString>("result");
    QTest::addColumn<float>("setpoint");
    QTest::newRow("off by default") << "" << 0 << "exception 1" << 40.0f;
    QTest::newRow("allowed") << "allow_write=yes" << 0 << "written" << 42.5f;
    QTest::newRow("allowed, only from another client") << "allow_write=yes\nwrite_clients=10.0.0.9" << 0
                                                        << "exception 1" << 40.0f;
    QTest::newRow("refused by the controller") << "allow_write=yes" << 2 << "exception 4" << 40.0f;
}

void TestKv10d::setpointWrites()
{
    QFETCH(QString, modbus);
    QFETCH(int, refusals);
    QFETCH(QString, result);
    QFETCH(float, setpoint);
    startGateway(modbus);
    QTRY_VERIFY_WITH_TIMEOUT(readRegisters(m_modbusPort, 2, 3, 0, 2) == "4220 0000", 5000);
    m_lineA->refuseWrites(refusals);
    QCOMPARE(writeSetpointWords(m_modbusPort, 2, 0x422a, 0x0000, 10), result);
    QCOMPARE(m_lineA->image().comp.sp, setpoint);
    // The holding registers show what the controller keeps.
    if (result == "written")
        QCOMPARE(readRegisters(m_modbusPort, 2, 3, 0, 2), "422a 0000");
}

void TestKv10d::portHeldByAnotherProgram()
{
    QSerialPort holder(m_lineA->slavePath());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    Subscriber subscriber(m_broker.port());
    QTRY_VERIFY(subscriber.subscriptions() > 0);
    startGateway();
    // The other line goes on.
    QTRY_VERIFY_WITH_TIMEOUT(!on(subscriber, "kv10/b/3/live").isEmpty(), 5000);
    QTRY_VERIFY(log().contains(QStringLiteral("line a: cannot open %1: port busy, another program holds it")
                                   .arg(m_lineA->slavePath())));
    QVERIFY(on(subscriber, "kv10/a/1/live").isEmpty());
}

void TestKv10d::lastWillWhenKilled()
{
    Subscriber subscriber(m_broker.port());
    QTRY_VERIFY(subscriber.subscriptions() > 0);
    startGateway();
    QTRY_VERIFY_WITH_TIMEOUT(!on(subscriber, "kv10/gateway/site/status online").isEmpty(), 5000);
    ::kill(pid_t(m_gateway.processId()), SIGKILL);
    QVERIFY(m_gateway.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(!on(subscriber, "kv10/gateway/site/status offline").isEmpty(), 5000);
}

void TestKv10d::badConfigurationOpensNothing()
{
    m_lineA->resetCounters();
    QFile file(m_dir.filePath(QStringLiteral("bad.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[mqtt]\nport=188x\n[line:a]\ndevice=%1\nstations=1\nbaud=9601\n")
                   .arg(m_lineA->slavePath())
                   .toUtf8());
    file.close();
    for (const char* option : {"--check-config", "--config"}) {
        QProcess gateway;
        gateway.start(QStringLiteral(KV10D_PATH), {QString::fromLatin1(option), file.fileName()});
        QVERIFY(gateway.waitForFinished());
        QCOMPARE(gateway.exitCode(), 2);
        const QString errors = QString::fromUtf8(gateway.readAllStandardError());
        QVERIFY2(errors.contains("[mqtt] port:") && errors.contains("[line:a] baud:"), qPrintable(errors));
    }
    QCOMPARE(m_lineA->counters().totalRequests(), 0);
}

QTEST_GUILESS_MAIN(TestKv10d)
#include "tst_kv10d.moc"
