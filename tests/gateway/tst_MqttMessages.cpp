// What the gateway puts on the broker: the live and statistics JSON, ids and the Home Assistant
// discovery configs of one station, byte for byte.
#include "MqttMessages.h"

#include <QTest>

#include <limits>

using namespace kv10::gw;

namespace {

const QDateTime WinterNoon(QDate(2026, 12, 10), QTime(13, 5, 1, 250), Qt::OffsetFromUTC, 3600);

} // namespace

class MqttMessagesTest : public QObject {
    Q_OBJECT

private slots:
    void liveMessage_data()
    {
        QTest::addColumn<float>("meas");
        QTest::addColumn<float>("sp");
        QTest::addColumn<int>("yout");
        QTest::addColumn<float>("ts");
        QTest::addColumn<int>("outs");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("expected");
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float infinity = std::numeric_limits<float>::infinity();
        QTest::newRow("plain") << 21.5f << 22.0f << 123 << 24.25f << 5 << 0
                               << QByteArray(R"({"time":"2026-12-10T13:05:01.250+01:00","MEAS":21.5,"SP":22,)"
                                             R"("YOUT":123,"TS":24.25,"OUTS":5,"FAULT":0})");
        QTest::newRow("shortest float text") << 0.1f << 1e-7f << 0 << 3.4e38f << 0 << 1
                                             << QByteArray(R"({"time":"2026-12-10T13:05:01.250+01:00","MEAS":0.1,)"
                                                           R"("SP":1e-07,"YOUT":0,"TS":3.4e+38,"OUTS":0,"FAULT":1})");
        QTest::newRow("NaN and infinities") << nan << infinity << 1000 << -infinity << 15 << 0
                                            << QByteArray(R"({"time":"2026-12-10T13:05:01.250+01:00","MEAS":null,)"
                                                          R"("SP":null,"YOUT":1000,"TS":null,"OUTS":15,"FAULT":0})");
        QTest::newRow("negative YOUT, low 16 bits") << -0.5f << -40.0f << -1 << 0.0f << 0 << 0
                                                    << QByteArray(R"({"time":"2026-12-10T13:05:01.250+01:00",)"
                                                                  R"("MEAS":-0.5,"SP":-40,"YOUT":65535,"TS":0,)"
                                                                  R"("OUTS":0,"FAULT":0})");
        QTest::newRow("YOUT above 16 bits") << 1.0f << 2.0f << 0x12345 << 3.0f << 0 << 0
                                            << QByteArray(R"({"time":"2026-12-10T13:05:01.250+01:00","MEAS":1,)"
                                                          R"("SP":2,"YOUT":9029,"TS":3,"OUTS":0,"FAULT":0})");
    }

    void liveMessage()
    {
        QFETCH(float, meas);
        QFETCH(float, sp);
        QFETCH(int, yout);
        QFETCH(float, ts);
        QFETCH(int, outs);
        QFETCH(int, fault);
        QFETCH(QByteArray, expected);
        Sample sample{QStringLiteral("a"), 1, WinterNoon, 0, {}};
        sample.live = {meas, uint8_t(outs), sp, yout, ts, 0, uint8_t(fault)};
        QCOMPARE(liveJson(sample), expected);
    }

    void statsMessage_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("logText");
        QTest::newRow("with answers")
            << true
            << QByteArray(R"({"time":"2026-12-10T13:05:01.250+01:00","requests":120,"answers":117,"timeouts":3,)"
                          R"("checksum_errors":2,"late_answers_dropped":1,"answer_ms_median":45,"answer_ms_worst":310})")
            << "stats hala/3: 120 requests, 117 answers, 3 timeouts, 2 checksum errors, 1 late answers dropped, "
               "answer median 45 ms, worst 310 ms";
        QTest::newRow("no answers")
            << false
            << QByteArray(R"({"time":"2026-12-10T13:05:01.250+01:00","requests":120,"answers":117,"timeouts":3,)"
                          R"("checksum_errors":2,"late_answers_dropped":1,"answer_ms_median":null,"answer_ms_worst":null})")
            << "stats hala/3: 120 requests, 117 answers, 3 timeouts, 2 checksum errors, 1 late answers dropped, "
               "no answer times";
    }

    void statsMessage()
    {
        QFETCH(bool, answered);
        QFETCH(QByteArray, json);
        QFETCH(QString, logText);
        StationStats stats{QStringLiteral("hala"), 3, WinterNoon, 120, 117, 3, 2, 1, {}, {}};
        if (answered) {
            stats.medianAnswerMs = 45;
            stats.worstAnswerMs = 310;
        }
        QCOMPARE(statsJson(stats), json);
        QCOMPARE(statsLogText(stats), logText);
    }

    void textsAndIds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("jsonText");
        QTest::addColumn<QString>("id");
        QTest::newRow("plain") << "hala_2" << QByteArray(R"("hala_2")") << "hala_2";
        QTest::newRow("upper case, blank, dash") << "Hala 2-A" << QByteArray(R"("Hala 2-A")") << "hala_2_a";
        QTest::newRow("quote, backslash, control") << "a\"b\\c\nd\x01" << QByteArray("\"a\\\"b\\\\c\\u000ad\\u0001\"")
                                                   << "a_b_c_d_";
        QTest::newRow("non-ASCII stays UTF-8") << QString::fromUtf8("Dílna č. 3") << QByteArray("\"D\xc3\xadlna \xc4\x8d. 3\"")
                                               << "d_lna____3";
        QTest::newRow("one character outside the BMP") << QString::fromUtf8("k\xf0\x9f\x94\xa5n")
                                                       << QByteArray("\"k\xf0\x9f\x94\xa5n\"") << "k_n";
    }

    void textsAndIds()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, jsonText);
        QFETCH(QString, id);
        QCOMPARE(jsonString(text), jsonText);
        QCOMPARE(discoveryId(text), id);
    }

    void discoveryOfOneStation_data()
    {
        QTest::addColumn<QByteArray>("topic");
        QTest::addColumn<QByteArray>("payload");
        const QByteArray tail = R"("availability_topic":"site/Sever/3/status","payload_available":"online",)"
                                R"("payload_not_available":"offline","device":{"identifiers":["kv10_hala_2_sever_3"],)"
                                R"("name":"KORVIN 10 Sever/3","model":"KORVIN 10","via_device":"kv10_hala_2"}})";
        QTest::newRow("a sensor with unit and class")
            << QByteArray("ha/sensor/kv10_hala_2_sever_3_ts/config")
            << R"({"name":"TS","unique_id":"kv10_hala_2_sever_3_ts","state_topic":"site/Sever/3/live",)"
                   R"("value_template":"{{ value_json.TS }}","unit_of_measurement":"°C","device_class":"temperature",)"
                   + tail;
        QTest::newRow("the output, in per cent")
            << QByteArray("ha/sensor/kv10_hala_2_sever_3_yout/config")
            << R"({"name":"YOUT","unique_id":"kv10_hala_2_sever_3_yout","state_topic":"site/Sever/3/live",)"
                   R"("value_template":"{{ value_json.YOUT / 10 }}","unit_of_measurement":"%",)"
                   + tail;
        QTest::newRow("a relay")
            << QByteArray("ha/binary_sensor/kv10_hala_2_sever_3_out_3/config")
            << R"({"name":"Out 3","unique_id":"kv10_hala_2_sever_3_out_3","state_topic":"site/Sever/3/live",)"
                   R"("value_template":"{{ 'ON' if value_json.OUTS | bitwise_and(4) else 'OFF' }}",)"
                   + tail;
        QTest::newRow("the fault")
            << QByteArray("ha/binary_sensor/kv10_hala_2_sever_3_fault/config")
            << R"({"name":"FAULT","unique_id":"kv10_hala_2_sever_3_fault","state_topic":"site/Sever/3/live",)"
                   R"("value_template":"{{ 'ON' if value_json.FAULT else 'OFF' }}","device_class":"problem",)"
                   + tail;
    }

    void discoveryOfOneStation()
    {
        QFETCH(QByteArray, topic);
        QFETCH(QByteArray, payload);
        MqttSettings settings;
        settings.prefix = QStringLiteral("site");
        settings.discoveryPrefix = QStringLiteral("ha");
        const std::vector<MqttMessage> configs = discoveryConfigs(QStringLiteral("Hala 2"), settings, {"Sever", 3});
        QList<QByteArray> topics;
        for (const MqttMessage& config : configs) {
            topics.append(config.topic);
            if (config.topic == topic)
                QCOMPARE(config.payload, payload);
        }
        QCOMPARE(topics, QList<QByteArray>({"ha/sensor/kv10_hala_2_sever_3_meas/config",
                                            "ha/sensor/kv10_hala_2_sever_3_sp/config",
                                            "ha/sensor/kv10_hala_2_sever_3_yout/config",
                                            "ha/sensor/kv10_hala_2_sever_3_ts/config",
                                            "ha/binary_sensor/kv10_hala_2_sever_3_fault/config",
                                            "ha/binary_sensor/kv10_hala_2_sever_3_out_1/config",
                                            "ha/binary_sensor/kv10_hala_2_sever_3_out_2/config",
                                            "ha/binary_sensor/kv10_hala_2_sever_3_out_3/config",
                                            "ha/binary_sensor/kv10_hala_2_sever_3_out_4/config"}));
    }
};

QTEST_GUILESS_MAIN(MqttMessagesTest)
#include "tst_MqttMessages.moc"
