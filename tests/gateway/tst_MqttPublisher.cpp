// The gateway's publisher against a real Mosquitto broker, watched by a libmosquitto subscriber.
// A relay between publisher and broker holds the publisher's bytes or cuts its connection.
#include "GatewayLog.h"
#include "MosquittoBroker.h"
#include "MqttSubscriber.h"
#include "MqttPublisher.h"
#include "TcpRelay.h"

#include <QRegularExpression>
#include <QTest>

#include <mosquitto.h>

#include <atomic>
#include <memory>
#include <mutex>

using namespace kv10::gw;
using namespace kv10::test;

namespace {

std::mutex logMutex;
QStringList logLines;

void keepLogLine(const QString& line)
{
    std::lock_guard lock(logMutex);
    logLines.append(line);
}

QStringList loggedLines(const QString& containing)
{
    std::lock_guard lock(logMutex);
    return logLines.filter(containing);
}

// A live message shortened to "MEAS=value".
QString shortLive(const QString& topic, const QString& payload)
{
    if (!topic.endsWith(QLatin1String("/live")))
        return payload;
    return QStringLiteral("MEAS=") + QRegularExpression(QStringLiteral("\"MEAS\":([^,]*)")).match(payload).captured(1);
}

Sample sample(const QString& line, int da, float meas)
{
    Sample sample{line, da, QDateTime(QDate(2026, 12, 10), QTime(13, 5, 1, 250), Qt::OffsetFromUTC, 3600), 0, {}};
    sample.live.meas = meas;
    return sample;
}

QStringList liveLines(const QString& topic, int first, int last)
{
    QStringList lines;
    for (int meas = first; meas <= last; ++meas)
        lines.append(QStringLiteral("%1 MEAS=%2").arg(topic).arg(meas));
    return lines;
}

} // namespace

class MqttPublisherTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MosquittoBroker> m_broker;
    std::unique_ptr<Subscriber> m_subscriber;
    std::unique_ptr<TcpRelay> m_relay;
    std::unique_ptr<MqttPublisher> m_publisher;

    MqttSettings settings(int port) const
    {
        MqttSettings settings;
        settings.port = port;
        settings.discovery = false;
        return settings;
    }

    bool startBroker(MosquittoBroker::Options options = {}, const QByteArray& user = {}, const QByteArray& password = {})
    {
        m_broker = std::make_unique<MosquittoBroker>(std::move(options));
        if (!m_broker->start()) {
            qWarning() << m_broker->error();
            return false;
        }
        m_subscriber = std::make_unique<Subscriber>(m_broker->port(), user, password, shortLive);
        return QTest::qWaitFor([this] { return m_subscriber->subscriptions() == 1; }, 5000);
    }

    enum class Until { Connected, Started, Held };

    // The publisher goes through the relay, which holds from the start when asked.
    bool startPublisher(MqttSettings settings, Until until = Until::Connected)
    {
        m_relay = std::make_unique<TcpRelay>(settings.port);
        if (until == Until::Held)
            m_relay->hold();
        settings.port = m_relay->port();
        m_publisher = std::make_unique<MqttPublisher>(QStringLiteral("hala2"), settings,
                                                      std::vector<StationKey>{{"a", 1}, {"b", 7}});
        QString error;
        return m_publisher->start(&error)
            && (until != Until::Connected || QTest::qWaitFor([this] { return m_publisher->connected(); }, 5000));
    }

private slots:
    void initTestCase() { setLogSink(keepLogLine); }

    void cleanup()
    {
        m_publisher.reset();
        m_relay.reset();
        m_subscriber.reset();
        m_broker.reset();
        std::lock_guard lock(logMutex);
        logLines.clear();
    }

    void samplesArriveInOrder_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("two stations") << "kv10" << 5
                                      << QStringList{"kv10/a/1/live MEAS=1", "kv10/b/7/live MEAS=2", "kv10/a/1/live MEAS=3",
                                                     "kv10/b/7/live MEAS=4", "kv10/a/1/live MEAS=5"};
        QTest::newRow("own prefix") << "site/hall2" << 2
                                    << QStringList{"site/hall2/a/1/live MEAS=1", "site/hall2/b/7/live MEAS=2"};
        QStringList many;
        for (int meas = 1; meas <= 400; ++meas)
            many.append(QStringLiteral("kv10/%1/live MEAS=%2").arg(meas % 2 ? "a/1" : "b/7").arg(meas));
        QTest::newRow("more than libmosquitto may hold") << "kv10" << 400 << many;
    }

    void samplesArriveInOrder()
    {
        QFETCH(QString, prefix);
        QFETCH(int, count);
        QFETCH(QStringList, expected);
        QVERIFY(startBroker());
        MqttSettings mqtt = settings(m_broker->port());
        mqtt.prefix = prefix;
        QVERIFY(startPublisher(mqtt));
        for (int meas = 1; meas <= count; ++meas)
            m_publisher->publishSample(meas % 2 ? sample("a", 1, float(meas)) : sample("b", 7, float(meas)));
        QTRY_COMPARE(m_subscriber->received("/live"), expected);
        QCOMPARE(m_publisher->droppedSamples(), quint64(0));
    }

    void availabilityIsRetained_data()
    {
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<QStringList>("retained");
        QTest::newRow("the last of each station")
            << QStringList{"a/1 online", "b/7 offline", "a/1 offline"}
            << QStringList{"kv10/a/1/status online", "kv10/b/7/status offline", "kv10/a/1/status offline"}
            << QStringList{"kv10/a/1/status offline (retained)", "kv10/b/7/status offline (retained)"};
        QTest::newRow("only changes") << QStringList{"b/7 online", "b/7 online", "b/7 offline", "b/7 offline"}
                                      << QStringList{"kv10/b/7/status online", "kv10/b/7/status offline"}
                                      << QStringList{"kv10/b/7/status offline (retained)"};
    }

    void availabilityIsRetained()
    {
        QFETCH(QStringList, told);
        QFETCH(QStringList, seen);
        QFETCH(QStringList, retained);
        QVERIFY(startBroker());
        MqttSettings mqtt = settings(m_broker->port());
        mqtt.discovery = true;
        QVERIFY(startPublisher(mqtt));
        for (const QString& news : told)
            m_publisher->publishAvailability(news.section('/', 0, 0), news.section('/', 1).section(' ', 0, 0).toInt(),
                                             news.endsWith(QLatin1String("online")));
        const QRegularExpression stationStatus(QStringLiteral("^kv10/[ab]/\\d+/status "));
        QTRY_COMPARE(m_subscriber->received().filter(stationStatus), seen);

        Subscriber later(m_broker->port(), {}, {}, shortLive);
        QTRY_COMPARE(later.received("homeassistant/").size(), 18);
        QTRY_COMPARE(later.received("/status ").size(), retained.size() + 1);
        QStringList stations = later.received().filter(stationStatus);
        stations.sort();
        QCOMPARE(stations, retained);
        QCOMPARE(later.received("/gateway/"), QStringList{"kv10/gateway/hala2/status online (retained)"});
        QCOMPARE(later.received("homeassistant/").filter(" (retained)").size(), 18);
    }

    // A clean stop says "offline" itself (the broker forgets the will then); a connection that
    // dies leaves it to the will.
    void gatewayOffline_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("stopped") << true;
        QTest::newRow("connection cut") << false;
    }

    void gatewayOffline()
    {
        QFETCH(bool, stopped);
        QVERIFY(startBroker());
        QVERIFY(startPublisher(settings(m_broker->port())));
        QTRY_COMPARE(m_subscriber->received("/gateway/"), QStringList{"kv10/gateway/hala2/status online"});
        if (stopped)
            m_publisher->stop();
        else
            m_relay->cut();
        QTRY_COMPARE(m_subscriber->received("/gateway/"),
                     QStringList({"kv10/gateway/hala2/status online", "kv10/gateway/hala2/status offline"}));
        m_relay->hold();   // no reconnect before the check below
        Subscriber later(m_broker->port(), {}, {}, shortLive);
        QTRY_COMPARE(later.received("/gateway/"), QStringList{"kv10/gateway/hala2/status offline (retained)"});
    }

    // Handed to libmosquitto but never acknowledged, then cut: they come again after the
    // reconnect, before what waited meanwhile.
    void unacknowledgedSurviveACut()
    {
        QVERIFY(startBroker());
        QVERIFY(startPublisher(settings(m_broker->port())));
        m_relay->hold();
        for (int meas = 1; meas <= 3; ++meas)
            m_publisher->publishSample(sample("a", 1, float(meas)));
        QTest::qWait(300);
        m_relay->cut();
        m_relay->release();
        QTRY_VERIFY(!m_publisher->connected());
        for (int meas = 4; meas <= 5; ++meas)
            m_publisher->publishSample(sample("a", 1, float(meas)));
        QTRY_COMPARE_WITH_TIMEOUT(m_subscriber->received("kv10/"),
                                  QStringList({"kv10/gateway/hala2/status online", "kv10/gateway/hala2/status offline",
                                               "kv10/a/1/live MEAS=1", "kv10/a/1/live MEAS=2", "kv10/a/1/live MEAS=3",
                                               "kv10/gateway/hala2/status online", "kv10/a/1/live MEAS=4",
                                               "kv10/a/1/live MEAS=5"}),
                                  8000);
    }

    void brokerKilledAndRestarted()
    {
        QVERIFY(startBroker());
        QVERIFY(startPublisher(settings(m_broker->port())));
        m_publisher->publishAvailability("b", 7, true);
        m_publisher->publishSample(sample("b", 7, 1));
        QTRY_COMPARE(m_subscriber->received("/live").size(), 1);
        QTest::qWait(200);   // its acknowledgement reaches the publisher
        // The relay holds the publisher back until the subscriber is in again.
        m_relay->hold();
        m_broker->kill();
        QTRY_VERIFY(!m_publisher->connected());
        for (int meas = 2; meas <= 4; ++meas)
            m_publisher->publishSample(sample("b", 7, float(meas)));
        QVERIFY2(m_broker->start(), qPrintable(m_broker->error()));
        QTRY_COMPARE_WITH_TIMEOUT(m_subscriber->subscriptions(), 2, 8000);
        m_relay->release();
        QTRY_COMPARE_WITH_TIMEOUT(m_subscriber->received("kv10/"),
                                  QStringList({"kv10/gateway/hala2/status online", "kv10/b/7/status online",
                                               "kv10/b/7/live MEAS=1", "kv10/gateway/hala2/status online",
                                               "kv10/b/7/status online", "kv10/b/7/live MEAS=2", "kv10/b/7/live MEAS=3",
                                               "kv10/b/7/live MEAS=4"}),
                                  8000);
        QCOMPARE(m_publisher->droppedSamples(), quint64(0));
    }

    // Attempts at 0, 1 and 3 s: the last finds the broker; the refusals are logged once.
    void brokerDownAtStart()
    {
        m_broker = std::make_unique<MosquittoBroker>();
        QVERIFY(m_broker->configure());
        MqttPublisher publisher(QStringLiteral("hala2"), settings(m_broker->port()), {{"a", 1}});
        QVERIFY(publisher.start(nullptr));
        publisher.publishSample(sample("a", 1, 1));
        QTest::qWait(1500);
        QVERIFY(!publisher.connected());
        QVERIFY(m_broker->start());
        m_subscriber = std::make_unique<Subscriber>(m_broker->port(), QByteArray(), QByteArray(), shortLive);
        QTRY_COMPARE_WITH_TIMEOUT(m_subscriber->received("/live"), QStringList{"kv10/a/1/live MEAS=1"}, 8000);
        QCOMPARE(loggedLines("MQTT: cannot connect").size(), 1);
    }

    void boundWhileAway_data()
    {
        QTest::addColumn<int>("buffer");
        QTest::addColumn<QStringList>("live");
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("beyond the bound")
            << 5 << liveLines("kv10/a/1/live", 4, 8) << QStringList{"kv10/gateway/hala2/dropped 3"}
            << QStringList{"MQTT: 5 live messages wait for the broker; dropping the oldest",
                           "MQTT: no longer dropping; 3 live messages were dropped"};
        QTest::newRow("within it") << 8 << liveLines("kv10/a/1/live", 1, 8) << QStringList{} << QStringList{};
    }

    void boundWhileAway()
    {
        QFETCH(int, buffer);
        QFETCH(QStringList, live);
        QFETCH(QStringList, dropped);
        QFETCH(QStringList, log);
        QVERIFY(startBroker());
        MqttSettings mqtt = settings(m_broker->port());
        mqtt.buffer = buffer;
        QVERIFY(startPublisher(mqtt, Until::Held));
        for (int meas = 1; meas <= 8; ++meas)
            m_publisher->publishSample(sample("a", 1, float(meas)));
        QCOMPARE(m_publisher->droppedSamples(), quint64(dropped.isEmpty() ? 0 : 3));
        m_relay->release();
        QTRY_COMPARE(m_subscriber->received("/live"), live);
        QCOMPARE(m_subscriber->received("/dropped"), dropped);
        QCOMPARE(loggedLines("dropp"), log);
    }

    void credentials_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("logged");
        QTest::newRow("right") << "site" << "s3cret ž" << "MQTT: connected to 127.0.0.1:";
        QTest::newRow("wrong password") << "site" << "s3cret" << "refused the connection: Connection Refused: not authorised.";
        QTest::newRow("none") << "" << "" << "refused the connection: Connection Refused: not authorised.";
    }

    void credentials()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, logged);
        MosquittoBroker::Options options;
        options.users = {{"site", QString::fromUtf8("s3cret ž")}};
        QVERIFY(startBroker(options, "site", "s3cret \xc5\xbe"));
        MqttSettings mqtt = settings(m_broker->port());
        mqtt.username = user;
        mqtt.password = password;
        QVERIFY(startPublisher(mqtt, Until::Started));
        QTRY_COMPARE(loggedLines(logged).size(), 1);
        m_publisher->publishSample(sample("a", 1, 1));
        QTest::qWait(300);
        const bool accepted = logged.startsWith("MQTT");
        QCOMPARE(m_publisher->connected(), accepted);
        QCOMPARE(m_subscriber->received("/live"), accepted ? QStringList{"kv10/a/1/live MEAS=1"} : QStringList{});
    }

    void tls_data()
    {
        QTest::addColumn<bool>("clientCertificate");
        QTest::newRow("CA and client certificate") << true;
        QTest::newRow("no client certificate") << false;
    }

    void tls()
    {
        QFETCH(bool, clientCertificate);
        MosquittoBroker::Options options;
        options.tls = true;
        QVERIFY(startBroker(options));
        MqttSettings mqtt = settings(m_broker->tlsPort());
        mqtt.caFile = m_broker->caFile();
        if (clientCertificate) {
            mqtt.certFile = m_broker->clientCertFile();
            mqtt.keyFile = m_broker->clientKeyFile();
        }
        QVERIFY(startPublisher(mqtt, Until::Started));
        if (!clientCertificate) {
            QTRY_VERIFY(!loggedLines("MQTT: cannot connect to 127.0.0.1:").isEmpty());
            QTest::qWait(300);
        }
        m_publisher->publishSample(sample("a", 1, 1));
        QTRY_COMPARE(m_subscriber->received("/live"), clientCertificate ? QStringList{"kv10/a/1/live MEAS=1"} : QStringList{});
        QCOMPARE(m_publisher->connected(), clientCertificate);
    }

    void unreadableFilesRefused_data()
    {
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("keyFile");
        QTest::addColumn<QString>("error");
        const QString readable = QCoreApplication::applicationFilePath();
        QTest::newRow("CA") << "/nonexistent/ca.crt" << "" << "ca_file: cannot read /nonexistent/ca.crt: ";
        QTest::newRow("key") << readable << "/nonexistent/client.key" << "key_file: cannot read /nonexistent/client.key: ";
    }

    void unreadableFilesRefused()
    {
        QFETCH(QString, caFile);
        QFETCH(QString, keyFile);
        QFETCH(QString, error);
        MqttSettings mqtt;
        mqtt.caFile = caFile;
        mqtt.certFile = keyFile.isEmpty() ? QString() : caFile;
        mqtt.keyFile = keyFile;
        MqttPublisher publisher(QStringLiteral("hala2"), mqtt, {});
        QString reason;
        QVERIFY(!publisher.start(&reason));
        QVERIFY2(reason.startsWith(error), qPrintable(reason));
    }
};

QTEST_GUILESS_MAIN(MqttPublisherTest)
#include "tst_MqttPublisher.moc"
