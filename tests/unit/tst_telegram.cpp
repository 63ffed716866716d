// The telegram link's requests and its tables: the bytes each exchange writes, what a table
// read stores, table writes, broadcasts, tables without a codec and the trace.

#include "TelegramRig.h"

#include <QTest>

using namespace kv10;
using namespace kv10::test;
using namespace kv10::test::telegram;

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
