#include "FakeTransport.h"
#include "ScriptedPrompts.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <QTest>

#include <functional>

using namespace kv10;
using namespace kv10::test;

namespace {

using Exchange = std::function<bool(TelegramLink&)>;

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

uint8_t sum8(const QByteArray& bytes)
{
    return frameChecksum(reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size()));
}

// A data answer from station 1 to the PC: 68 L L 68 DA SA 08 data FCS 16.
QByteArray dataAnswer(const QByteArray& data)
{
    return dataFrame(0, 1, FcAnswerData, data);
}

QByteArray ack(uint8_t function = FcAckPositive)
{
    return shortFrame(0, 1, function);
}

// A request with its FCS and end delimiter appended (FCS over the bytes from offset 4).
QByteArray request(const char* withoutFcs)
{
    const QByteArray head = hex(withoutFcs);
    return head + char(sum8(head.mid(4))) + hex("16");
}

QByteArray floats(std::initializer_list<float> values)
{
    QByteArray out;
    for (float v : values) {
        uint8_t b[4];
        PutFloat(b, v);
        out.append(reinterpret_cast<const char*>(b), 4);
    }
    return out;
}

// Every table value and array of the image as bytes, to see whether anything changed.
QByteArray snapshot(const ControllerImage& image)
{
    QByteArray out;
    for (int t = 0; t < TableCount; ++t) {
        uint8_t bytes[256];
        out.append(reinterpret_cast<const char*>(bytes), encodeFields(tableInfo(t), image, bytes));
    }
    auto raw = [&out](const auto& array) { out.append(reinterpret_cast<const char*>(array.data()), sizeof(array)); };
    raw(image.startValue);
    raw(image.segmentSetpoint);
    raw(image.segmentTime);
    raw(image.recordValues);
    raw(image.deviceTypeText);
    raw(image.deviceVersionText);
    raw(image.foreignIdentText);
    return out;
}

// A link on a scripted transport at DA 1, SA 0, with one log for transport and waits.
struct Rig {
    QStringList log;
    ControllerImage image;
    FakeTransport transport{&log};
    CountingWaiter waiter{&log};
    ScriptedPrompts prompts;
    TelegramLink link{image, waiter};

    Rig()
    {
        link.setTransport(&transport);
        link.SetDA(1);
        link.SetSA(0);
    }
    QByteArray sent(int i = 0) const { return transport.writes.value(i).toHex(' ').toUpper(); }
};

const QStringList silentRead = {"write", "read 22", "wait 100", "write", "read 22", "wait 100", "write",
                                "purge out", "purge in"};

} // namespace

Q_DECLARE_METATYPE(Exchange)
Q_DECLARE_METATYPE(FrameCheck)

class TelegramTest : public QObject {
    Q_OBJECT

private slots:
    // The first frame each exchange writes.
    void requestBytes_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<int>("da");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const char* name, Exchange e, int da, const QByteArray& bytes) {
            QTest::newRow(name) << e << da << bytes;
        };
        row("ReadTable PID", [](TelegramLink& l) { return l.ReadTable(TablePid); }, 1,
            hex("68 08 08 68 01 00 6C 01 04 0D 00 00 7F 16"));
        row("StoreToEeprom", [](TelegramLink& l) { return l.StoreToEeprom(); }, 1, hex("68 04 04 68 01 00 63 06 6A 16"));
        row("PingStation DA 5", [](TelegramLink& l) { return l.PingStation(); }, 5, hex("10 05 00 69 6E 16"));
        row("ReadDeviceType", [](TelegramLink& l) { return l.ReadDeviceType(); }, 1, hex("68 04 04 68 01 00 6C 00 6D 16"));
        row("ReadForeignIdent", [](TelegramLink& l) { return l.ReadForeignIdent(); }, 1, hex("68 04 04 68 01 00 6C 00 6D 16"));
        row("ReadDeviceVersion", [](TelegramLink& l) { return l.ReadDeviceVersion(); }, 1, request("68 04 04 68 01 00 6C 04"));
        row("ReadTable GOEXT as GO", [](TelegramLink& l) { return l.ReadTable(TableGoext); }, 1,
            request("68 08 08 68 01 00 6C 01 0E 07 00 00"));
        row("ReadTable RECD", [](TelegramLink& l) { return l.ReadTable(TableRecd); }, 1,
            request("68 08 08 68 01 00 6C 01 0C 64 00 00"));
        row("program start values", [](TelegramLink& l) { return l.ReadProgramBlock(0, 7, 0); }, 1,
            request("68 08 08 68 01 00 6C 01 00 28 00 00"));
        row("program 9 setpoints", [](TelegramLink& l) { return l.ReadProgramBlock(1, 9, 17); }, 1,
            request("68 08 08 68 01 00 6C 01 11 50 02 D0"));
        row("program 4 setpoints", [](TelegramLink& l) { return l.ReadProgramBlock(1, 4, 17); }, 1,
            request("68 08 08 68 01 00 6C 01 11 50 01 40"));
        row("program 9 times", [](TelegramLink& l) { return l.ReadProgramBlock(2, 9, 18); }, 1,
            request("68 08 08 68 01 00 6C 01 12 28 01 68"));
        row("record block 0", [](TelegramLink& l) { return l.ReadRecordBlock(0); }, 1,
            request("68 08 08 68 01 00 6C 01 0C 40 00 01"));
        row("record block 5", [](TelegramLink& l) { return l.ReadRecordBlock(5); }, 1,
            request("68 08 08 68 01 00 6C 01 0C 40 01 41"));
        row("record block 15", [](TelegramLink& l) { return l.ReadRecordBlock(15); }, 1,
            request("68 08 08 68 01 00 6C 01 0C 40 03 C1"));
    }

    void requestBytes()
    {
        QFETCH(Exchange, exchange);
        QFETCH(int, da);
        QFETCH(QByteArray, expected);
        Rig rig;
        rig.link.SetDA(uint8_t(da));
        exchange(rig.link);
        QVERIFY(!rig.transport.writes.isEmpty());
        QCOMPARE(rig.sent(), expected.toHex(' ').toUpper());
    }

    // What a station that never answers sees: resends, waits and purges per exchange.
    void silentStation_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<QStringList>("expected");
        const QStringList silentWrite = {"write", "read 6", "write", "read 6", "write", "purge out", "purge in"};
        QTest::newRow("ReadTable") << Exchange([](TelegramLink& l) { return l.ReadTable(TableLive); })
                                   << QStringList{"write", "read 26", "wait 100", "write", "read 26", "wait 100",
                                                  "write", "purge out", "purge in"};
        QTest::newRow("WriteTable") << Exchange([](TelegramLink& l) { return l.WriteTable(TablePid); }) << silentWrite;
        QTest::newRow("StoreToEeprom") << Exchange([](TelegramLink& l) { return l.StoreToEeprom(); })
                                       << QStringList{"write", "read 6", "write", "read 6", "write"};
        QTest::newRow("PingStation") << Exchange([](TelegramLink& l) { return l.PingStation(); })
                                     << QStringList{"write", "read 6"};
        QTest::newRow("ReadDeviceType") << Exchange([](TelegramLink& l) { return l.ReadDeviceType(); })
                                        << QStringList{"write", "frame 255", "wait 100", "write", "frame 255"};
        QTest::newRow("ReadForeignIdent") << Exchange([](TelegramLink& l) { return l.ReadForeignIdent(); })
                                          << QStringList{"write", "frame 254"};
        QTest::newRow("ReadProgramBlock") << Exchange([](TelegramLink& l) { return l.ReadProgramBlock(1, 0, 17); })
                                          << QStringList{"write", "read 89", "wait 100", "write", "read 89", "wait 100",
                                                         "write", "purge out", "purge in"};
        QTest::newRow("WriteProgramBlock") << Exchange([](TelegramLink& l) { return l.WriteProgramBlock(2, 3, 18); })
                                           << silentWrite;
        QTest::newRow("ReadRecordBlock") << Exchange([](TelegramLink& l) { return l.ReadRecordBlock(2); })
                                         << QStringList{"write", "wait 270", "read 73", "wait 100", "write", "read 73",
                                                        "wait 100", "write", "wait 300"};
    }

    void silentStation()
    {
        QFETCH(Exchange, exchange);
        QFETCH(QStringList, expected);
        Rig rig;
        const QByteArray before = snapshot(rig.image);
        QVERIFY(!exchange(rig.link));
        QCOMPARE(rig.log, expected);
        QCOMPARE(snapshot(rig.image), before);
        // Every resend repeats the first request unchanged.
        for (const QByteArray& frame : rig.transport.writes)
            QCOMPARE(frame, rig.transport.writes.first());
    }

    // Without a usable port every read and write fails at once; only the waits remain.
    void noPort_data()
    {
        QTest::addColumn<bool>("nullTransport");
        QTest::newRow("closed port") << false;
        QTest::newRow("no transport") << true;
    }

    void noPort()
    {
        QFETCH(bool, nullTransport);
        Rig rig;
        rig.transport.open = false;
        if (nullTransport)
            rig.link.setTransport(nullptr);
        QVERIFY(!rig.link.ReadTable(TableLive));
        QCOMPARE(rig.waiter.waits, QList<int>({100, 100}));
        QVERIFY(!rig.link.WriteTable(TablePid));
        QVERIFY(!rig.link.StoreToEeprom());
        QVERIFY(!rig.link.PingStation());
        QVERIFY(!rig.link.ReadDeviceVersion());
        QVERIFY(!rig.link.ReadForeignIdent());
        QVERIFY(!rig.link.WriteProgramBlock(0, 0, 0));
        QVERIFY(!rig.link.ReadRecordBlock(0));
        QVERIFY(rig.transport.writes.isEmpty());
        QVERIFY(!rig.log.contains("write"));
    }

    void readTableDecodes_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("PID") << int(TablePid) << hex("41200000 42C80000 41F00000 01");
        QTest::newRow("GOEXT") << int(TableGoext) << hex("01 01 02 04 1C 17 3B");
    }

    void readTableDecodes()
    {
        QFETCH(int, table);
        QFETCH(QByteArray, data);
        Rig rig;
        rig.transport.answers << dataAnswer(data);
        QVERIFY(rig.link.ReadTable(table));
        QCOMPARE(rig.log, QStringList({"write", QStringLiteral("read %1").arg(data.size() + 9)}));
        QCOMPARE(rig.link.lastCheck(), FrameCheck::None);
        ControllerImage expected;
        DecodeTable(table, reinterpret_cast<const uint8_t*>(data.constData()), expected);
        QCOMPARE(snapshot(rig.image), snapshot(expected));
    }

    void readGoKeepsGoextExtras()
    {
        Rig rig;
        rig.image.goext = {12, 6, 45};
        rig.transport.answers << dataAnswer(hex("01 00 02 03"));
        QVERIFY(rig.link.ReadTable(TableGo));
        QCOMPARE(rig.image.go.pcut, uint8_t(3));
        QCOMPARE(rig.image.goext.date, uint8_t(12));
        QCOMPARE(rig.image.goext.hour, uint8_t(6));
        QCOMPARE(rig.image.goext.min, uint8_t(45));
    }

    void readRecdChangesOnlyPos()
    {
        Rig rig;
        QByteArray data(100, '\x33');
        data[0] = char(42);
        rig.transport.answers << dataAnswer(data);
        ControllerImage expected = rig.image;
        expected.recd.pos = 42;
        QVERIFY(rig.link.ReadTable(TableRecd));
        QCOMPARE(rig.log.at(1), QStringLiteral("read 109"));
        QCOMPARE(snapshot(rig.image), snapshot(expected));
    }

    // A short first answer: wait, ask again, take the second.
    void shortAnswerThenValid()
    {
        Rig rig;
        const QByteArray answer = dataAnswer(hex("01 0258"));
        rig.transport.answers << answer.left(5) << answer;
        QVERIFY(rig.link.ReadTable(TableAdd));
        QCOMPARE(rig.log, QStringList({"write", "read 12", "wait 100", "write", "read 12"}));
        QCOMPARE(rig.image.add.zaznam, 600);
    }

    // The same corrupted answer twice: the exchange fails for the reason given, nothing is
    // stored, and the port is purged.
    void corruptedAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<FrameCheck>("reason");
        const QByteArray good = dataAnswer(hex("01 0258"));   // 12 bytes, L = 6
        auto patched = [&good](int at, const char* bytes) {
            QByteArray b = good;
            b.replace(at, int(strlen(bytes)) / 2, hex(bytes));
            return b;
        };
        QTest::newRow("start delimiter") << patched(0, "10") << FrameCheck::StartDelimiter;
        QTest::newRow("length bytes differ") << patched(2, "07") << FrameCheck::LengthMismatch;
        QTest::newRow("function code") << patched(6, "00") << FrameCheck::FunctionCode;
        QTest::newRow("end delimiter") << patched(11, "00") << FrameCheck::EndDelimiter;
        QTest::newRow("checksum") << patched(10, "00") << FrameCheck::Checksum;
        QTest::newRow("L 255") << patched(1, "FFFF") << FrameCheck::LengthMismatch;
        QTest::newRow("L past received bytes") << patched(1, "0707") << FrameCheck::LengthMismatch;
        QTest::newRow("L shorter than asked") << dataAnswer(hex("01")) + hex("0000") << FrameCheck::LengthMismatch;
        QTest::newRow("L below header") << patched(1, "0202") << FrameCheck::LengthMismatch;
    }

    void corruptedAnswer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(FrameCheck, reason);
        Rig rig;
        rig.transport.answers << answer << answer;
        QVERIFY(!rig.link.ReadTable(TableAdd));
        QCOMPARE(rig.link.lastCheck(), reason);
        QCOMPARE(rig.log, QStringList({"write", "read 12", "read 12", "purge out", "purge in"}));
        QCOMPARE(rig.image.add.zaznam, 0);
    }

    // A wrong FCS, then silence: read again, then wait, resend and give up.
    void wrongChecksumThenSilence()
    {
        Rig rig;
        QByteArray answer = dataAnswer(hex("41200000 42C80000 41F00000 01"));
        answer[answer.size() - 2] = char(answer.at(answer.size() - 2) + 1);
        rig.transport.answers << answer;
        QVERIFY(!rig.link.ReadTable(TablePid));
        QCOMPARE(rig.log, QStringList({"write", "read 22", "read 22", "wait 100", "write", "purge out", "purge in"}));
        QCOMPARE(rig.image.pid.pb, 0.0f);
    }

    void acknowledgements_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<FrameCheck>("reason");
        QTest::newRow("positive, addresses ignored") << hex("10 00 01 00 01 16") << FrameCheck::None;
        QTest::newRow("refusal") << ack(0x01) << FrameCheck::Refused;
        QTest::newRow("start delimiter") << hex("68 00 01 00 01 16") << FrameCheck::StartDelimiter;
        QTest::newRow("end delimiter") << hex("10 00 01 00 01 17") << FrameCheck::EndDelimiter;
        QTest::newRow("checksum") << hex("10 00 01 00 02 16") << FrameCheck::Checksum;
    }

    void acknowledgements()
    {
        QFETCH(QByteArray, answer);
        QFETCH(FrameCheck, reason);
        Rig rig;
        rig.transport.answers << answer << answer;
        QCOMPARE(rig.link.StoreToEeprom(), reason == FrameCheck::None);
        QCOMPARE(rig.link.lastCheck(), reason);
        QCOMPARE(rig.log.count("read 6"), reason == FrameCheck::None ? 1 : 2);
        QCOMPARE(rig.transport.writes.size(), 1);
        QVERIFY(!rig.log.contains("purge out"));
    }

    // A refusal, then silence: read again without resending, resend after the short read, fail.
    void refusalThenSilence()
    {
        Rig rig;
        rig.transport.answers << ack(0x01);
        QVERIFY(!rig.link.WriteTable(TableAdd));
        QCOMPARE(rig.log, QStringList({"write", "read 6", "read 6", "write", "purge out", "purge in"}));
    }

    void writeTableBytes_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ADD") << int(TableAdd) << request("68 0B 0B 68 01 00 63 02 0A 03 00 00 05 0258");
        QTest::newRow("GOEXT as GO") << int(TableGoext)
                                     << request("68 0F 0F 68 01 00 63 02 0E 07 00 00 01 00 02 03 0F 08 1E");
        QTest::newRow("GO") << int(TableGo) << request("68 0C 0C 68 01 00 63 02 0E 04 00 00 01 00 02 03");
    }

    void writeTableBytes()
    {
        QFETCH(int, table);
        QFETCH(QByteArray, expected);
        Rig rig;
        rig.image.add = {5, 600};
        rig.image.go = {1, 0, 2, 3};
        rig.image.goext = {15, 8, 30};
        rig.transport.answers << ack();
        QVERIFY(rig.link.WriteTable(table));
        QCOMPARE(rig.sent(), expected.toHex(' ').toUpper());
        QCOMPARE(rig.log, QStringList({"write", "read 6"}));
    }

    void broadcast_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("result");
        QTest::newRow("ReadTable") << Exchange([](TelegramLink& l) { return l.ReadTable(TablePid); })
                                   << QStringList{"write"} << true;
        QTest::newRow("ReadProgramBlock") << Exchange([](TelegramLink& l) { return l.ReadProgramBlock(0, 0, 0); })
                                          << QStringList{"write"} << true;
        QTest::newRow("ReadRecordBlock") << Exchange([](TelegramLink& l) { return l.ReadRecordBlock(3); })
                                         << QStringList{"write", "wait 300"} << true;
        QTest::newRow("WriteTable waits for an ack") << Exchange([](TelegramLink& l) { return l.WriteTable(TablePid); })
                                                     << QStringList{"write", "read 6", "write", "read 6", "write",
                                                                    "purge out", "purge in"}
                                                     << false;
    }

    void broadcast()
    {
        QFETCH(Exchange, exchange);
        QFETCH(QStringList, expected);
        QFETCH(bool, result);
        Rig rig;
        rig.link.SetDA(BroadcastAddress);
        const QByteArray before = snapshot(rig.image);
        QCOMPARE(exchange(rig.link), result);
        QCOMPARE(rig.log, expected);
        QCOMPARE(snapshot(rig.image), before);
    }

    void broadcastReadFailsWhenNotWritten()
    {
        Rig rig;
        rig.link.SetDA(BroadcastAddress);
        rig.transport.failWrites = true;
        QVERIFY(!rig.link.ReadTable(TablePid));
        QCOMPARE(rig.log, QStringList({"write", "purge out", "purge in"}));
    }

    void tableOutOfRangeSendsNothing()
    {
        Rig rig;
        for (int table : {-1, 20, 255}) {
            QVERIFY(!rig.link.ReadTable(table));
            QVERIFY(!rig.link.WriteTable(table));
        }
        QVERIFY(rig.log.isEmpty());
        QVERIFY(rig.prompts.records.isEmpty());
    }

    // The two messages about table numbers without a codec are kept for the caller, who shows
    // them once its exchanges have ended; the link itself shows nothing.
    void noticeOfTableWithoutCodec_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<int>("answerBytes");   // data bytes of the one answer; 0: none comes
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("notice");    // "caption: text", empty for none

        const auto read = [](int table) { return Exchange([table](TelegramLink& l) { return l.ReadTable(table); }); };
        const auto write = [](int table) { return Exchange([table](TelegramLink& l) { return l.WriteTable(table); }); };
        const QString range = QStringLiteral("Sériový Port: Chyba, číslo tabulky mimo rozsah.");
        const QString data = QStringLiteral("DATA: Nepředvídaná chyba, špatně zadaná tabulka");
        QTest::newRow("read 13 answered") << read(13) << 62 << true << QStringList{"write", "read 71"} << range;
        QTest::newRow("read 17 answered") << read(17) << 32 << true << QStringList{"write", "read 41"} << range;
        QTest::newRow("read 18 answered") << read(18) << 144 << true << QStringList{"write", "read 153"} << range;
        QTest::newRow("read 18 never answered: no notice")
            << read(18) << 0 << false
            << QStringList{"write", "read 153", "wait 100", "write", "read 153", "wait 100", "write", "purge out", "purge in"}
            << QString();
        QTest::newRow("read ERRO: no notice") << read(TableErro) << 4 << true << QStringList{"write", "read 13"} << QString();
        for (int t : {11, 12, 13, 17, 18})
            QTest::newRow(qPrintable(QStringLiteral("write %1: nothing sent").arg(t)))
                << write(t) << 0 << false << QStringList{} << data;
    }

    void noticeOfTableWithoutCodec()
    {
        QFETCH(Exchange, exchange);
        QFETCH(int, answerBytes);
        QFETCH(bool, result);
        QFETCH(QStringList, log);
        QFETCH(QString, notice);
        Rig rig;
        if (answerBytes > 0)
            rig.transport.answers << dataAnswer(QByteArray(answerBytes, '\x41'));
        const QByteArray before = snapshot(rig.image);
        QCOMPARE(exchange(rig.link), result);
        QCOMPARE(rig.log, log);
        if (!notice.isEmpty())
            QCOMPARE(snapshot(rig.image), before);   // nothing stored
        const std::optional<LinkNotice> kept = rig.link.takeNotice();
        QCOMPARE(kept ? kept->caption + ": " + kept->text : QString(), notice);
        QVERIFY(!rig.link.takeNotice());           // taken once
        QVERIFY(rig.prompts.records.isEmpty());    // and never shown by the link
    }

    void pingStation()
    {
        Rig rig;
        rig.transport.answers << ack() << ack(0x05);
        QVERIFY(rig.link.PingStation());
        QVERIFY(!rig.link.PingStation());
        QCOMPARE(rig.link.lastCheck(), FrameCheck::Refused);
        QCOMPARE(rig.log, QStringList({"write", "read 6", "write", "read 6"}));
    }

    void readDeviceVersion()
    {
        Rig rig;
        rig.image.deviceVersionText.fill('X');
        rig.transport.answers << dataAnswer("FW-R-09-01");   // L = 13
        QVERIFY(rig.link.ReadDeviceVersion());
        QCOMPARE(QByteArray(rig.image.deviceVersionText.data()), QByteArray("FW-R-09-01"));
        QCOMPARE(rig.image.deviceVersionText.back(), '\0');
        QCOMPARE(rig.log, QStringList({"write", "frame 255"}));
    }

    // A read that does not match its own L is repeated once after a resend.
    void identAnswerRetried()
    {
        Rig rig;
        const QByteArray answer = dataAnswer("KORVIN 10");
        rig.transport.answers << answer.left(8) << answer;
        QVERIFY(rig.link.ReadDeviceType());
        QCOMPARE(QByteArray(rig.image.deviceTypeText.data()), QByteArray("KORVIN 10"));
        QCOMPARE(rig.log, QStringList({"write", "frame 255", "wait 100", "write", "frame 255"}));
    }

    void identAnswerCorrupted_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<FrameCheck>("reason");
        QByteArray l255 = dataAnswer("FW-R-09-01");
        l255[1] = l255[2] = char(0xFF);
        QTest::newRow("L 255") << l255 << FrameCheck::LengthMismatch;
        QTest::newRow("truncated") << dataAnswer("FW-R-09-01").left(12) << FrameCheck::LengthMismatch;
        QTest::newRow("two bytes") << hex("68 0D") << FrameCheck::TooShort;
    }

    void identAnswerCorrupted()
    {
        QFETCH(QByteArray, answer);
        QFETCH(FrameCheck, reason);
        Rig rig;
        rig.transport.answers << answer << answer;
        QVERIFY(!rig.link.ReadDeviceVersion());
        QCOMPARE(rig.link.lastCheck(), reason);
        QCOMPARE(rig.image.deviceVersionText[0], '\0');
    }

    // After a station kept silent, the next exchange first waits for the line to be quiet for as
    // long as the owed answer may take at the line's rate (plus a margin after resends).
    void quietWaitAfterSilence_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<int>("expectedMs");
        const Exchange live = [](TelegramLink& l) { return l.ReadTable(TableLive); };
        const Exchange block = [](TelegramLink& l) { return l.ReadProgramBlock(1, 0, 17); };
        const Exchange ping = [](TelegramLink& l) { return l.PingStation(); };
        QTest::newRow("live table at 9600") << 9600 << live << 752;
        QTest::newRow("program block at 9600") << 9600 << block << 878;
        QTest::newRow("live table at 1200") << 1200 << live << 939;
        QTest::newRow("program block at 1200") << 1200 << block << 1516;
        QTest::newRow("ping at 1200") << 1200 << ping << 555;
    }

    void quietWaitAfterSilence()
    {
        QFETCH(int, baudRate);
        QFETCH(Exchange, exchange);
        QFETCH(int, expectedMs);
        Rig rig;
        rig.transport.baud = baudRate;
        QVERIFY(!exchange(rig.link));
        QVERIFY(rig.transport.discardTimeouts.isEmpty());
        QVERIFY(!rig.link.PingStation());
        QCOMPARE(rig.transport.discardTimeouts.size(), 1);
        // Counted from the last request, a moment ago.
        QCOMPARE_LE(rig.transport.discardTimeouts.first(), expectedMs);
        QCOMPARE_GE(rig.transport.discardTimeouts.first(), expectedMs - 30);
    }

    // An old valid answer still in the buffer must not pass for a new one.
    void staleBufferNeverPasses()
    {
        Rig rig;
        rig.transport.answers << dataAnswer("FW-R-09-01");
        QVERIFY(rig.link.ReadDeviceVersion());
        QVERIFY(!rig.link.ReadDeviceType());
        QCOMPARE(rig.image.deviceTypeText[0], '\0');
        QCOMPARE(rig.link.rxCount(), 0);

        rig.transport.answers << dataAnswer(hex("00") + QByteArray("ABCDEFGH"));
        QVERIFY(rig.link.ReadForeignIdent());
        QVERIFY(!rig.link.ReadForeignIdent());
        QCOMPARE(rig.link.rxCount(), 0);
    }

    void readForeignIdent_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("text");
        // Data unit 00 "ABCDEFGH": L = 12, L - 4 = 8 bytes copied from offset 8.
        const QByteArray good = dataAnswer(hex("00") + QByteArray("ABCDEFGH"));
        QTest::newRow("whole") << good << true << QByteArray("ABCDEFGH");
        QTest::newRow("FCS not checked") << good.left(good.size() - 2) + hex("0000") << true << QByteArray("ABCDEFGH");
        QTest::newRow("truncated") << good.left(good.size() - 1) << false << QByteArray();
        QTest::newRow("L below 5") << dataAnswer(hex("00")) << false << QByteArray();
        QByteArray l255 = good;
        l255[1] = char(0xFF);
        QTest::newRow("L 255") << l255 << false << QByteArray();
    }

    void readForeignIdent()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, ok);
        QFETCH(QByteArray, text);
        Rig rig;
        rig.transport.answers << answer;
        QCOMPARE(rig.link.ReadForeignIdent(), ok);
        QCOMPARE(QByteArray(rig.image.foreignIdentText.data()), text);
        QCOMPARE(rig.log, QStringList({"write", "frame 254"}));
    }

    void readProgramBlocks()
    {
        Rig rig;
        rig.image.segmentSetpoint[8][0] = 7;
        QByteArray setpoints, times, starts;
        for (int i = 0; i < SegmentCount; ++i) {
            setpoints += floats({100.0f + i});
            times += hex("FF") + char(i);
        }
        for (int i = 0; i < ProgramCount; ++i)
            starts += floats({-1.0f * i});
        rig.transport.answers << dataAnswer(setpoints) << dataAnswer(times) << dataAnswer(starts);
        QVERIFY(rig.link.ReadProgramBlock(1, 9, 17));
        QVERIFY(rig.link.ReadProgramBlock(2, 9, 18));
        QVERIFY(rig.link.ReadProgramBlock(0, 3, 0));
        for (int i = 0; i < SegmentCount; ++i) {
            QCOMPARE(rig.image.segmentSetpoint[9][i], 100.0f + i);
            QCOMPARE(rig.image.segmentTime[9][i], 0xFF00 + i);
        }
        for (int i = 0; i < ProgramCount; ++i)
            QCOMPARE(rig.image.startValue[i], -1.0f * i);
        QCOMPARE(rig.image.segmentSetpoint[8][0], 7.0f);
        QCOMPARE(rig.image.segmentTime[8][0], 0);
    }

    void writeProgramBlocks_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("firstData");
        QTest::newRow("start values") << 0 << hex("68 30 30 68 01 00 63 02 00 28 00 00") << 54 << floats({0.5f});
        QTest::newRow("setpoints") << 1 << hex("68 58 58 68 01 00 63 02 11 50 01 E0") << 94 << floats({250.0f});
        QTest::newRow("times") << 2 << hex("68 30 30 68 01 00 63 02 12 28 00 F0") << 54 << hex("FFFE");
        QTest::newRow("other kind as times") << 7 << hex("68 30 30 68 01 00 63 02 12 28 00 F0") << 54 << hex("FFFE");
    }

    void writeProgramBlocks()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, head);
        QFETCH(int, size);
        QFETCH(QByteArray, firstData);
        Rig rig;
        rig.image.startValue[0] = 0.5f;
        rig.image.segmentSetpoint[6][0] = 250.0f;
        rig.image.segmentTime[6][0] = -2;
        rig.transport.answers << ack();
        const int table = kind == 0 ? 0 : kind == 1 ? 17 : 18;
        QVERIFY(rig.link.WriteProgramBlock(kind, 6, table));
        const QByteArray frame = rig.transport.writes.value(0);
        QCOMPARE(frame.size(), size);
        QCOMPARE(frame.left(12).toHex(' '), head.toHex(' '));
        QCOMPARE(frame.mid(12, firstData.size()).toHex(), firstData.toHex());
        QCOMPARE(uint8_t(frame.at(size - 2)), sum8(frame.mid(4, size - 6)));
        QCOMPARE(frame.back(), '\x16');
    }

    void readRecordBlock()
    {
        Rig rig;
        QByteArray values;
        for (int i = 0; i < 16; ++i)
            values += floats({0.25f * i});
        rig.transport.answers << dataAnswer(values);
        QVERIFY(rig.link.ReadRecordBlock(15));
        QCOMPARE(rig.log, QStringList({"write", "wait 270", "read 73", "wait 300"}));
        for (int i = 0; i < 16; ++i)
            QCOMPARE(rig.image.recordValues[240 + i], 0.25f * i);
        QCOMPARE(rig.image.recordValues[239], 0.0f);
    }

    void blockNumbersOutOfRange_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::newRow("read program 10") << Exchange([](TelegramLink& l) { return l.ReadProgramBlock(1, 10, 17); });
        QTest::newRow("read program -1") << Exchange([](TelegramLink& l) { return l.ReadProgramBlock(2, -1, 18); });
        QTest::newRow("write program 10") << Exchange([](TelegramLink& l) { return l.WriteProgramBlock(1, 10, 17); });
        QTest::newRow("write start values, program 10") << Exchange([](TelegramLink& l) { return l.WriteProgramBlock(0, 10, 0); });
        QTest::newRow("record 16") << Exchange([](TelegramLink& l) { return l.ReadRecordBlock(16); });
        QTest::newRow("record -1") << Exchange([](TelegramLink& l) { return l.ReadRecordBlock(-1); });
    }

    void blockNumbersOutOfRange()
    {
        QFETCH(Exchange, exchange);
        Rig rig;
        rig.transport.answers << ack();
        QVERIFY(!exchange(rig.link));
        QVERIFY(rig.log.isEmpty());
        QCOMPARE(rig.link.txBuffer()[0], uint8_t(0));
    }

    void traceSeesEveryFrame()
    {
        Rig rig;
        QList<QPair<bool, QByteArray>> trace;
        HexTrace sink([&trace](bool outgoing, const QByteArray& bytes) { trace << qMakePair(outgoing, bytes); });
        rig.link.addTrace(&sink);
        const QByteArray answer = dataAnswer(hex("01 0258"));
        rig.transport.answers << answer;
        QVERIFY(rig.link.ReadTable(TableAdd));
        QCOMPARE(trace.size(), 2);
        QCOMPARE(trace[0], qMakePair(true, rig.transport.writes.first()));
        QCOMPARE(trace[1], qMakePair(false, answer));
    }
};

QTEST_GUILESS_MAIN(TelegramTest)
#include "tst_telegram.moc"
