// The gateway's publisher against a real Mosquitto broker, watched by a libmosquitto subscriber.
// A relay between publisher and broker holds the publisher's bytes or cuts its connection.
#include "GatewayLogCapture.h"
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

const StationStats stats{"a", 1, {}, 3, 2, 1, 0, 0, 12, 40};

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
    void initTestCase() { captureGatewayLog(); }

    void cleanup()
    {
        m_publisher.reset();
        m_relay.reset();
        m_subscriber.reset();
        m_broker.reset();
        forgetLoggedLines();
    }

    void samplesArriveInOrder_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("two stations") << 3
                                      << QStringList{"kv10/a/1/live MEAS=1", "kv10/b/7/live MEAS=2", "kv10/a/1/live MEAS=3"};
        QStringList many;
        for (int meas = 1; meas <= 400; ++meas)
            many.append(QStringLiteral("kv10/%1/live MEAS=%2").arg(meas % 2 ? "a/1" : "b/7").arg(meas));
        QTest::newRow("more than libmosquitto may hold") << 400 << many;
    }

    void samplesArriveInOrder()
    {
        QFETCH(int, count);
        QFETCH(QStringList, expected);
        QVERIFY(startBroker());
        QVERIFY(startPublisher(settings(m_broker->port())));
        for (int meas = 1; meas <= count; ++meas)
            m_publisher->publishSample(meas % 2 ? sample("a", 1, float(meas)) : sample("b", 7, float(meas)));
        QTRY_COMPARE(m_subscriber->received("/live"), expected);
        m_publisher->publishStats(stats);
        QTRY_COMPARE(m_subscriber->received("/stats"),
                     QStringList{R"(kv10/a/1/stats {"time":null,"requests":3,"answers":2,"timeouts":1,"checksum_errors":0,)"
                                 R"("late_answers_dropped":0,"answer_ms_median":12,"answer_ms_worst":40})"});
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

    // With the gateway's status and the discovery configs, all retained.
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
            m_publisher->publishAvailability(news.left(1), news.mid(2, 1).toInt(), news.endsWith(QLatin1String("online")));
        const QRegularExpression stationStatus(QStringLiteral("^kv10/[ab]/\\d+/status "));
        QTRY_COMPARE(m_subscriber->received().filter(stationStatus), seen);

        Subscriber later(m_broker->port(), {}, {}, shortLive);
        QTRY_COMPARE(later.received("/status ").size(), retained.size() + 1);
        QStringList stations = later.received().filter(stationStatus);
        stations.sort();
        QCOMPARE(stations, retained);
        QCOMPARE(later.received("/gateway/"), QStringList{"kv10/gateway/hala2/status online (retained)"});
        QTRY_COMPARE(later.received("homeassistant/").filter(" (retained)").size(), 18);
    }

    // The broker forgets the will at a clean disconnect: this "offline" is the publisher's own.
    void stopSaysOffline()
    {
        QVERIFY(startBroker());
        QVERIFY(startPublisher(settings(m_broker->port())));
        QTRY_COMPARE(m_subscriber->received("/gateway/").size(), 1);
        m_publisher->stop();
        QTRY_COMPARE(m_subscriber->received("/gateway/"),
                     QStringList({"kv10/gateway/hala2/status online", "kv10/gateway/hala2/status offline"}));
    }

    // Handed to libmosquitto but never acknowledged, then cut without a goodbye: the will says
    // "offline", and after the reconnect they come again, before what waited meanwhile.
    void unacknowledgedSurviveACut()
    {
        QVERIFY(startBroker());
        QVERIFY(startPublisher(settings(m_broker->port())));
        QTRY_COMPARE(m_subscriber->received("/gateway/").size(), 1);
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
        m_relay->hold();     // the publisher waits until the subscriber is in again
        m_broker->kill();
        QTRY_VERIFY(!m_publisher->connected());
        for (int meas = 2; meas <= 4; ++meas)
            m_publisher->publishSample(sample("b", 7, float(meas)));
        QVERIFY(m_broker->start());
        QTRY_COMPARE_WITH_TIMEOUT(m_subscriber->subscriptions(), 2, 8000);
        m_relay->release();
        QTRY_COMPARE_WITH_TIMEOUT(m_subscriber->received("kv10/"),
                                  QStringList({"kv10/gateway/hala2/status online", "kv10/b/7/status online",
                                               "kv10/b/7/live MEAS=1", "kv10/gateway/hala2/status online",
                                               "kv10/b/7/status online", "kv10/b/7/live MEAS=2", "kv10/b/7/live MEAS=3",
                                               "kv10/b/7/live MEAS=4"}),
                                  8000);
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
        QCOMPARE(loggedLines("MQTT: cannot connect"),
                 QStringList{QStringLiteral("MQTT: cannot connect to 127.0.0.1:%1: Connection refused").arg(m_broker->port())});
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
        m_publisher->publishStats(stats);   // only logged while away
        QCOMPARE(m_publisher->droppedSamples(), quint64(8 - live.size()));
        m_relay->release();
        QTRY_COMPARE(m_subscriber->received("/live"), live);
        QCOMPARE(m_subscriber->received("/dropped"), dropped);
        QCOMPARE(loggedLines("live messages"), log);
        QCOMPARE(loggedLines("stats a/1: ").size(), 1);
        QCOMPARE(m_subscriber->received("/stats"), QStringList{});
    }

    void accessControl_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("clientCertificate");
        QTest::addColumn<QString>("logged");
        const QString password = QString::fromUtf8("s3cret \xc5\xbe");
        const QString refused = "refused the connection: Connection Refused: not authorised.";
        QTest::newRow("password") << false << password << false << "MQTT: connected";
        QTest::newRow("wrong password") << false << "s3cret" << false << refused;
        QTest::newRow("no password") << false << "" << false << refused;
        QTest::newRow("TLS with client certificate") << true << password << true << "MQTT: connected";
        QTest::newRow("TLS without") << true << password << false << "tlsv13 alert certificate required";
    }

    void accessControl()
    {
        QFETCH(bool, tls);
        QFETCH(QString, password);
        QFETCH(bool, clientCertificate);
        QFETCH(QString, logged);
        QVERIFY(startBroker({{{"site", QString::fromUtf8("s3cret \xc5\xbe")}}, true}, "site", "s3cret \xc5\xbe"));
        MqttSettings mqtt = settings(tls ? m_broker->tlsPort() : m_broker->port());
        mqtt.username = password.isEmpty() ? QString() : QStringLiteral("site");
        mqtt.password = password;
        mqtt.caFile = tls ? m_broker->caFile() : QString();
        mqtt.certFile = clientCertificate ? m_broker->clientCertFile() : QString();
        mqtt.keyFile = clientCertificate ? m_broker->clientKeyFile() : QString();
        QVERIFY(startPublisher(mqtt, Until::Started));
        QTRY_COMPARE(loggedLines(logged).size(), 1);
        m_publisher->publishSample(sample("a", 1, 1));
        const bool accepted = logged == QLatin1String("MQTT: connected");
        QTest::qWait(accepted ? 0 : 300);
        QTRY_COMPARE(m_subscriber->received("/live"), accepted ? QStringList{"kv10/a/1/live MEAS=1"} : QStringList{});
        QCOMPARE(m_publisher->connected(), accepted);
    }

    void unreadableFilesRefused_data()
    {
        QTest::addColumn<QString>("keyFile");
        QTest::addColumn<QString>("error");
        QTest::newRow("CA") << "" << "ca_file: cannot read /nonexistent/ca.crt: ";
        QTest::newRow("key") << "/nonexistent/client.key" << "key_file: cannot read /nonexistent/client.key: ";
    }

    void unreadableFilesRefused()
    {
        QFETCH(QString, keyFile);
        QFETCH(QString, error);
        MqttSettings mqtt;
        mqtt.caFile = keyFile.isEmpty() ? QStringLiteral("/nonexistent/ca.crt") : QCoreApplication::applicationFilePath();
        mqtt.certFile = keyFile.isEmpty() ? QString() : mqtt.caFile;
        mqtt.keyFile = keyFile;
        MqttPublisher publisher(QStringLiteral("hala2"), mqtt, {});
        QString reason;
        QVERIFY(!publisher.start(&reason));
        QVERIFY2(reason.startsWith(error), qPrintable(reason));
    }
};

QTEST_GUILESS_MAIN(MqttPublisherTest)
#include "tst_MqttPublisher.moc"
