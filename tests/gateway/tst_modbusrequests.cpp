// The Modbus request handler byte for byte: every register, every exception in its order, the
// frames that close the connection and the deferred write.
#include "ModbusRequests.h"

#include <QTest>
#include <cmath>

using namespace kv10;
using namespace kv10::gw;
using namespace kv10::gw::modbus;

namespace {

constexpr qint64 NowMs = 1'000'000'000;
constexpr uint32_t Client = 0x0A000005;   // 10.0.0.5

// Unit 1 with a sample 2.5 s old and a setpoint; 2 online with neither; 3 offline;
// 4 with values beyond the tenfold registers and a sample 70000 s old.
std::optional<UnitView> unitFor(int unit)
{
    switch (unit) {
    case 1: return UnitView{true, true, {21.5f, 5, 22.0f, 0x00012345, -3.25f, 0, 2}, NowMs - 2500, 40.0f};
    case 2: return UnitView{true};
    case 3: return UnitView{false, false, {}, 0, 40.0f};
    case 4: return UnitView{true, true, {NAN, 0, 1e6f, -1, -4000.0f, 0, 0}, NowMs - 70'000'000};
    }
    return std::nullopt;
}

QString described(const RequestAction& action)
{
    switch (action.kind) {
    case RequestAction::Kind::Close: return QStringLiteral("close");
    case RequestAction::Kind::Write:
        return QStringLiteral("write unit %1 value %2 transaction %3")
            .arg(action.write.unit).arg(action.write.value).arg(action.write.transactionId);
    case RequestAction::Kind::Reply: break;
    }
    return QString::fromLatin1(action.reply.toHex(' '));
}

} // namespace

class TestModbusRequests : public QObject {
    Q_OBJECT
private slots:
    void request_data();
    void request();
};

void TestModbusRequests::request_data()
{
    QTest::addColumn<QByteArray>("requestHex");
    QTest::addColumn<bool>("allowWrite");
    QTest::addColumn<uint>("onlyClient");   // 0: any client may write
    QTest::addColumn<QString>("expected");

    QTest::newRow("all input registers") << QByteArray("0001 0000 0006 01 04 0000 000e") << false << 0u
        << "00 01 00 00 00 1f 01 04 1c 41 ac 00 00 41 b0 00 00 c0 50 00 00 23 45 00 05 00 02 00 02 00 01 00 d7 00 dc ff df";
    QTest::newRow("age and online without a sample") << QByteArray("0002 0000 0006 02 04 0009 0002") << false << 0u
        << "00 02 00 00 00 07 02 04 04 ff ff 00 01";
    QTest::newRow("saturated registers") << QByteArray("0003 0000 0006 04 04 0006 0008") << false << 0u
        << "00 03 00 00 00 13 04 04 10 ff ff 00 00 00 00 ff fe 00 01 80 00 7f ff 80 00";
    QTest::newRow("last input register") << QByteArray("0004 0000 0006 01 04 000d 0001") << false << 0u
        << "00 04 00 00 00 05 01 04 02 ff df";
    QTest::newRow("holding setpoint") << QByteArray("0005 0000 0006 01 03 0000 0002") << false << 0u
        << "00 05 00 00 00 07 01 03 04 42 20 00 00";

    QTest::newRow("unknown unit") << QByteArray("0007 0000 0006 09 04 0000 0001") << false << 0u
        << "00 07 00 00 00 03 09 84 0b";
    QTest::newRow("unknown unit before function") << QByteArray("0008 0000 0006 09 06 0000 0001") << false << 0u
        << "00 08 00 00 00 03 09 86 0b";
    QTest::newRow("write single register") << QByteArray("0009 0000 0006 01 06 0000 0001") << false << 0u
        << "00 09 00 00 00 03 01 86 01";
    QTest::newRow("function before offline") << QByteArray("000b 0000 0006 03 02 0000 0001") << false << 0u
        << "00 0b 00 00 00 03 03 82 01";
    QTest::newRow("count 0") << QByteArray("000c 0000 0006 01 04 0000 0000") << false << 0u
        << "00 0c 00 00 00 03 01 84 03";
    QTest::newRow("count 126 before address") << QByteArray("000d 0000 0006 01 04 0000 007e") << false << 0u
        << "00 0d 00 00 00 03 01 84 03";
    QTest::newRow("count 125 past the end") << QByteArray("000e 0000 0006 01 04 0000 007d") << false << 0u
        << "00 0e 00 00 00 03 01 84 02";
    QTest::newRow("input 13-14") << QByteArray("000f 0000 0006 01 04 000d 0002") << false << 0u
        << "00 0f 00 00 00 03 01 84 02";
    QTest::newRow("holding 1-2") << QByteArray("0011 0000 0006 01 03 0001 0002") << false << 0u
        << "00 11 00 00 00 03 01 83 02";
    QTest::newRow("read with a byte too many") << QByteArray("0013 0000 0007 01 04 0000 0001 00") << false << 0u
        << "00 13 00 00 00 03 01 84 03";
    QTest::newRow("address before offline") << QByteArray("0014 0000 0006 03 04 000e 0001") << false << 0u
        << "00 14 00 00 00 03 03 84 02";
    QTest::newRow("input of offline unit") << QByteArray("0015 0000 0006 03 04 0000 0001") << false << 0u
        << "00 15 00 00 00 03 03 84 0b";
    QTest::newRow("holding before a setpoint") << QByteArray("0016 0000 0006 02 03 0000 0002") << false << 0u
        << "00 16 00 00 00 03 02 83 0b";

    QTest::newRow("write allowed") << QByteArray("0017 0000 000b 01 10 0000 0002 04 422a 0000") << true << 0u
        << "write unit 1 value 42.5 transaction 23";
    QTest::newRow("write not allowed") << QByteArray("0018 0000 000b 01 10 0000 0002 04 422a 0000") << false << 0u
        << "00 18 00 00 00 03 01 90 01";
    QTest::newRow("write from another client") << QByteArray("0019 0000 000b 01 10 0000 0002 04 422a 0000") << true
        << 0x0A000009u << "00 19 00 00 00 03 01 90 01";
    QTest::newRow("write from the listed client") << QByteArray("001a 0000 000b 01 10 0000 0002 04 c120 0000") << true
        << 0x0A000005u << "write unit 1 value -10 transaction 26";
    QTest::newRow("write NaN") << QByteArray("001b 0000 000b 01 10 0000 0002 04 7fc0 0000") << true << 0u
        << "00 1b 00 00 00 03 01 90 03";
    QTest::newRow("write infinity") << QByteArray("001c 0000 000b 01 10 0000 0002 04 ff80 0000") << true << 0u
        << "00 1c 00 00 00 03 01 90 03";
    QTest::newRow("write to offline unit") << QByteArray("001d 0000 000b 03 10 0000 0002 04 422a 0000") << true << 0u
        << "00 1d 00 00 00 03 03 90 0b";
    QTest::newRow("offline before write refusal") << QByteArray("001e 0000 000b 03 10 0000 0002 04 422a 0000") << false << 0u
        << "00 1e 00 00 00 03 03 90 0b";
    QTest::newRow("write one register") << QByteArray("001f 0000 0009 01 10 0000 0001 02 4220") << true << 0u
        << "00 1f 00 00 00 03 01 90 03";
    QTest::newRow("write byte count 3") << QByteArray("0020 0000 000a 01 10 0000 0002 03 4220 00") << true << 0u
        << "00 20 00 00 00 03 01 90 03";
    QTest::newRow("write data shorter than its count") << QByteArray("0021 0000 0009 01 10 0000 0002 04 4220") << true << 0u
        << "00 21 00 00 00 03 01 90 03";
    QTest::newRow("write at address 1") << QByteArray("0022 0000 000b 01 10 0001 0002 04 422a 0000") << true << 0u
        << "00 22 00 00 00 03 01 90 02";

    QTest::newRow("protocol id 1") << QByteArray("0024 0001 0006 01 04 0000 0001") << false << 0u << "close";
    QTest::newRow("length field too long") << QByteArray("0025 0000 0007 01 04 0000 0001") << false << 0u << "close";
    QTest::newRow("length field too short") << QByteArray("0026 0000 0005 01 04 0000 0001") << false << 0u << "close";
}

void TestModbusRequests::request()
{
    QFETCH(QByteArray, requestHex);
    QFETCH(bool, allowWrite);
    QFETCH(uint, onlyClient);
    QFETCH(QString, expected);

    WritePolicy policy;
    policy.allowWrite = allowWrite;
    if (onlyClient != 0)
        policy.writeClients.push_back(onlyClient);
    const RequestAction action = handleRequest(QByteArray::fromHex(requestHex), Client, policy, unitFor, NowMs);
    QCOMPARE(described(action), expected);
}

QTEST_APPLESS_MAIN(TestModbusRequests)
#include "tst_modbusrequests.moc"
