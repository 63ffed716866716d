// The telegram link's identification exchanges: ping, device type and version, foreign ident.

#include "TelegramRig.h"

#include <QTest>

using namespace kv10;
using namespace kv10::test;
using namespace kv10::test::telegram;

class TelegramIdentTest : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(TelegramIdentTest)
#include "tst_telegramident.moc"
