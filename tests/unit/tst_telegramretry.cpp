// The telegram link when the answer does not come or is wrong: resends, waits, purges, short
// and corrupted answers, refusals, and the quiet line after a silent station.

#include "TelegramRig.h"

#include <QTest>

using namespace kv10;
using namespace kv10::test;
using namespace kv10::test::telegram;

class TelegramRetryTest : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(TelegramRetryTest)
#include "tst_telegramretry.moc"
