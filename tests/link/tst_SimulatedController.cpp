// The simulated controller without a terminal: cutting requests out of a byte stream, the
// answers to them, and a process that behaves like a furnace.
#include "ControllerModel.h"
#include "Frames.h"
#include "FakeTransport.h"
#include "SimulatedTransport.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "TestTime.h"

#include <QTest>

using namespace kv10;
using namespace kv10::sim;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

const char* const ReadPid = "68080868010" "06C01040D00007F16";
const char* const PingFive = "1005006" "96E16";

Frame request(uint8_t fc, const QByteArray& dataUnit, uint8_t da = 1, uint8_t sa = 0)
{
    FrameParser parser;
    const QByteArray bytes = dataFrame(da, sa, fc, dataUnit);
    parser.feed(bytes.constData(), int(bytes.size()));
    return *parser.next();
}

// Command, table, n, address high, address low.
QByteArray blockHeader(uint8_t command, int table, int count, int address)
{
    return QByteArray(1, char(command)) + char(table) + char(count) + char(address >> 8) + char(address);
}

Frame readRequest(int table, int count, int address)
{
    return request(FcSendRequestData, blockHeader(CmdRead, table, count, address));
}

Frame writeRequest(int table, const QByteArray& data, int address = 0)
{
    return request(FcSendDataAck, blockHeader(CmdWrite, table, int(data.size()), address) + data);
}

QByteArray dataOf(const QByteArray& answer)
{
    return answer.mid(7, answer.size() - 9);
}

QByteArray floats(const float* values, int count)
{
    QByteArray bytes(4 * count, '\0');
    for (int i = 0; i < count; ++i)
        PutFloat(reinterpret_cast<uint8_t*>(bytes.data()) + 4 * i, values[i]);
    return bytes;
}

using Exchange = std::function<bool(TelegramLink&, SimulatedStation&)>;

} // namespace

Q_DECLARE_METATYPE(Exchange)

class SimulatedControllerTest : public QObject {
    Q_OBJECT

private slots:
    void cutsRequestsOutOfTheStream_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<int>("checksumErrors");
        const QByteArray read = hex(ReadPid);
        const QByteArray ping = hex(PingFive);
        QTest::addRow("variable frame") << read << QList<QByteArray>{read} << 0;
        QTest::addRow("short frame") << ping << QList<QByteArray>{ping} << 0;
        QTest::addRow("back to back") << read + ping + read << QList<QByteArray>{read, ping, read} << 0;
        QTest::addRow("garbage first") << hex("FF0055") + read << QList<QByteArray>{read} << 0;
        QTest::addRow("false start delimiters") << hex("1001680505" "68AA16") + read << QList<QByteArray>{read} << 0;
        QTest::addRow("length bytes differ") << hex("6808096801") + ping << QList<QByteArray>{ping} << 0;
        QByteArray badSum = read;
        badSum[12] = char(0x80);
        QTest::addRow("wrong FCS dropped") << badSum + ping << QList<QByteArray>{ping} << 1;
        QByteArray badPing = ping;
        badPing[4] = 0;
        QTest::addRow("wrong FCS of a short frame") << badPing + read << QList<QByteArray>{read} << 1;
        QTest::addRow("incomplete frame waits") << read.left(9) << QList<QByteArray>{} << 0;
    }

    void cutsRequestsOutOfTheStream()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(int, checksumErrors);
        // Whole, and one byte at a time as a slow line delivers it.
        for (int chunk : {int(stream.size()), 1}) {
            FrameParser parser;
            QList<QByteArray> found;
            for (int at = 0; at < stream.size(); at += chunk) {
                parser.feed(stream.constData() + at, std::min<int>(chunk, int(stream.size()) - at));
                while (auto frame = parser.next())
                    found << frame->raw;
            }
            QCOMPARE(found, frames);
            QCOMPARE(parser.checksumErrors(), checksumErrors);
        }
    }

    void parsesTheFieldsOfAFrame()
    {
        const Frame frame = request(FcSendRequestData, hex("01040D0000"), 7, 3);
        QCOMPARE(frame.da, uint8_t(7));
        QCOMPARE(frame.sa, uint8_t(3));
        QCOMPARE(frame.fc, FcSendRequestData);
        QCOMPARE(frame.data, hex("01040D0000"));
        QCOMPARE(classifyRequest(frame), RequestKind::Read);
        QCOMPARE(dataFrame(0, 1, FcAnswerData, hex("01")), hex("6804046800010801" "0A16"));
        QCOMPARE(shortFrame(0, 1, FcAckPositive), hex("1000010001" "16"));
    }

    void answersAsTheAskedStationToTheAsker()
    {
        ControllerModel model({1, 5});
        const QByteArray answer = model.answer(request(FcSendRequestData, hex("0104" "0D0000"), 5, 9));
        QCOMPARE(answer.left(7), hex("68101068" "090508"));
        QCOMPARE(model.answer(request(FcSendDataAck, hex("06"), 5, 9)), shortFrame(9, 5, FcAckPositive));
        FrameParser parser;
        parser.feed("\x10\x05\x09\x69\x77\x16", 6);
        QCOMPARE(model.answer(*parser.next()), shortFrame(9, 5, FcAckPositive));
        QVERIFY(model.answersAt(5) && !model.answersAt(2));
    }

    void silentVersionLeavesOnlyTheVersionUnanswered()
    {
        ControllerModel model({1});
        model.setSilentVersion(true);
        QCOMPARE(model.answer(request(FcSendRequestData, hex("04"))), QByteArray());
        QCOMPARE(model.answer(request(FcSendRequestData, hex("00"))), hex("680C0C68" "000108" "4B4F5256494E203130" "6316"));
        model.setSilentVersion(false);
        QCOMPARE(dataOf(model.answer(request(FcSendRequestData, hex("04")))), QByteArray("FW-R-09-01"));
    }

    void servesProgramAndRecordBlocks()
    {
        ControllerModel model({1});
        const ControllerImage& image = model.image();
        QCOMPARE(dataOf(model.answer(readRequest(TableSegsp, 80, 80 * 9))), floats(image.segmentSetpoint[9].data(), 20));
        QCOMPARE(dataOf(model.answer(readRequest(TableComp, 40, 0))), floats(image.startValue.data(), 10));
        QCOMPARE(dataOf(model.answer(readRequest(TableRecd, 64, 64 * 15 + 1))), floats(image.recordValues.data() + 240, 16));

        QByteArray times(40, '\0');
        for (int s = 0; s < 20; ++s)
            PutInt16(reinterpret_cast<uint8_t*>(times.data()) + 2 * s, 500 + s);
        QCOMPARE(model.answer(writeRequest(TableSegti, times, 40 * 3)), shortFrame(0, 1, FcAckPositive));
        QCOMPARE(model.image().segmentTime[3][19], 519);
        QCOMPARE(model.image().segmentTime[2][19], image.segmentTime[2][19]);

        // Reading RECD from its start gives the position of the newest sample and zeros.
        model.image().recd.pos = 42;
        QByteArray head(100, '\0');
        head[0] = 42;
        QCOMPARE(dataOf(model.answer(readRequest(TableRecd, 100, 0))), head);
    }

    void refusesWhatItCannotDo_data()
    {
        QTest::addColumn<QByteArray>("dataUnit");
        QTest::addColumn<uint8_t>("fc");
        QTest::addRow("write LIVE") << hex("020B0100" "0000") << FcSendDataAck;
        QTest::addRow("write RECD") << hex("020C0100" "0000") << FcSendDataAck;
        QTest::addRow("length byte disagrees") << hex("02040300" "000102") << FcSendDataAck;
        QTest::addRow("write past the table") << hex("02100200" "010102") << FcSendDataAck;
        QTest::addRow("unknown table") << hex("01140400" "00") << FcSendRequestData;
        QTest::addRow("answer too long") << hex("0111FF00" "00") << FcSendRequestData;
        QTest::addRow("address 127") << hex("020A0300" "007F003C") << FcSendDataAck;
        QTest::addRow("record interval 0") << hex("020A0300" "00010000") << FcSendDataAck;
        QTest::addRow("unknown command") << hex("09") << FcSendDataAck;
    }

    void refusesWhatItCannotDo()
    {
        QFETCH(QByteArray, dataUnit);
        QFETCH(uint8_t, fc);
        ControllerModel model({1});
        const ControllerImage before = model.image();
        QCOMPARE(model.answer(request(fc, dataUnit)), shortFrame(0, 1, FcAckRefused));
        QCOMPARE(model.image().add.zaznam, before.add.zaznam);
        QCOMPARE(model.addresses(), std::vector<uint8_t>{1});
    }

    void processFollowsTheSetpoint()
    {
        ControllerModel model({1});
        model.advanceTo(0);
        const LiveTable& live = model.image().live;
        QVERIFY(live.outs & 0x1);                        // heating from room temperature
        QVERIFY(live.outs & 0x8);                        // deviation alarm while far off
        model.advanceTo(600);
        QVERIFY2(qAbs(live.meas - 150.0f) < 1.0f, qPrintable(QString::number(live.meas)));
        QVERIFY(live.yout > 200 && live.yout < 400);     // what holds 150 degrees
        QCOMPARE(live.outs & 0xA, 0);                    // no cooling, no alarm near the setpoint
        QVERIFY(qAbs(live.ts - 22.0f) < 1.0f);

        model.image().comp.sp = 50.0f;
        model.advanceTo(601);
        QCOMPARE(live.sp, 50.0f);
        QCOMPARE(live.yout, 0);
        QCOMPARE(live.outs & 0x3, 0x2);                  // cooling, not heating
        model.advanceTo(1200);
        QVERIFY(qAbs(live.meas - 50.0f) < 1.0f);
    }

    void recordsEveryIntervalUnlessFrozen()
    {
        ControllerModel model({1});
        model.image().add.zaznam = 10;
        model.advanceTo(0);
        const uint8_t start = model.image().recd.pos;
        const auto before = model.image().recordValues;
        // The record held at start is a heat-up whose newest, hottest sample sits at POS.
        QVERIFY(before[start] > before[uint8_t(start + 1)] + 50.0f);

        model.advanceTo(95);
        const uint8_t newest = model.image().recd.pos;
        QCOMPARE(newest, uint8_t(start + 9));
        QVERIFY(qAbs(model.image().recordValues[newest] - model.image().live.meas) < 15.0f);
        // The nine samples took the nine oldest places; the rest of the earlier record stays.
        for (int k = 1; k <= 9; ++k)
            QVERIFY(model.image().recordValues[uint8_t(start + k)] != before[uint8_t(start + k)]);
        for (int k = 10; k <= RecordValueCount; ++k)
            QCOMPARE(model.image().recordValues[uint8_t(start + k)], before[uint8_t(start + k)]);

        model.setLiveRunning(false);
        const float meas = model.image().live.meas;
        model.advanceTo(500);
        QCOMPARE(model.image().recd.pos, uint8_t(start + 9));
        QCOMPARE(model.image().live.meas, meas);
    }

    void sensorFaultAppliesTheErrorReactions()
    {
        ControllerModel model({1});
        model.advanceTo(0);
        model.image().erro = {1 /*OPEN*/, 2 /*relay 3 off*/, 1 /*relay 4 on*/, 2 /*20 mA*/};
        model.setSensorFault(true);
        const LiveTable& live = model.image().live;
        QCOMPARE(live.fault, uint8_t(1));
        QCOMPARE(live.outs, uint8_t(0x1 | 0x8));
        QCOMPARE(live.yout, 1000);
    }

    // The station in memory, as a program without pseudo-terminals reaches it.
    void linkOverMemory_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<bool>("succeeds");
        QTest::addRow("live read") << Exchange([](TelegramLink& link, SimulatedStation&) {
            return link.ReadTable(TableLive) && link.image().live.sp == 150.0f;
        }) << true;
        QTest::addRow("write, stored") << Exchange([](TelegramLink& link, SimulatedStation& station) {
            link.image().pid.pb = 12.5f;
            return link.WriteTable(TablePid) && station.image().pid.pb == 12.5f;
        }) << true;
        QTest::addRow("write refused") << Exchange([](TelegramLink& link, SimulatedStation& station) {
            station.refuseWrites(1);
            return link.WriteTable(TablePid);
        }) << false;
        QTest::addRow("ping, another address") << Exchange([](TelegramLink& link, SimulatedStation&) {
            link.SetDA(5);
            return link.PingStation();
        }) << false;
        QTest::addRow("answers 700 ms late") << Exchange([](TelegramLink& link, SimulatedStation& station) {
            station.modifyImage([](ControllerImage& image) { image.alarm2.sphi = 77.0f; });
            station.setAnswerDelayMs(700);
            link.ReadTable(TableAlarm1);
            return link.ReadTable(TableAlarm2) && link.image().alarm2.sphi == 77.0f;
        }) << true;
    }

    void linkOverMemory()
    {
        QFETCH(Exchange, exchange);
        test::TestClock clock;
        SimulatedStation station({.addresses = {0}}, clock);
        SimulatedTransport transport(station);
        ControllerImage image;
        test::TestWaiter waiter(clock);
        TelegramLink link(image, waiter, clock);
        link.setTransport(&transport);
        QTEST(exchange(link, station), "succeeds");
    }
};

QTEST_GUILESS_MAIN(SimulatedControllerTest)
#include "tst_SimulatedController.moc"
