// The telegram link's block transfers: program blocks read and written, record blocks, and
// block numbers out of range.

#include "TelegramRig.h"

#include <QTest>

using namespace kv10;
using namespace kv10::test;
using namespace kv10::test::telegram;

class TelegramBlocksTest : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(TelegramBlocksTest)
#include "tst_telegramblocks.moc"
