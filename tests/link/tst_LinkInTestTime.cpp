// The link against the simulated station in memory, in test time: retries, read gaps and late
// answers, with every frame and its moment on the line written out. Each row is a script of
// faults and exchanges; a read that succeeds must hold its own table, never another's answer.
#include "SimulatedTransport.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "TestTime.h"

#include <QElapsedTimer>
#include <QTest>

using namespace kv10;
using namespace kv10::test;

namespace {

// "0 > 68 08 ...": milliseconds on the link's clock, then ">" sent, "<" received, "x" a read
// that timed out (with what did come). A record block shows its head and its end; what it
// holds is checked as it is read.
class LineTrace : public TelegramTrace {
public:
    QStringList lines;
    void traced(const TraceEvent& event) override
    {
        constexpr int Whole = 32;
        const char* mark = event.kind == TraceKind::Sent ? ">" : event.kind == TraceKind::Received ? "<" : "x";
        QString line = QString::number(event.atMs) + QLatin1Char(' ') + QLatin1String(mark);
        if (event.bytes.size() > Whole)
            line += QLatin1Char(' ') + hexText(event.bytes.first(8)) + QStringLiteral(" … ") + hexText(event.bytes.last(2));
        else if (!event.bytes.isEmpty())
            line += QLatin1Char(' ') + hexText(event.bytes);
        lines << line;
    }
};

// The frames that come again and again: requests to station 1 from address 0, answers.
const QString ReadLive = "68 08 08 68 01 00 6C 01 0B 11 00 00 8A 16";
const QString LiveAnswer = "68 14 14 68 00 01 08 41 B0 00 00 09 43 16 00 00 03 E8 41 B0 00 00 00 00 38 16";
const QString WritePid = "68 15 15 68 01 00 63 02 04 0D 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 77 16";
const QString WriteAlarm1 = "68 16 16 68 01 00 63 02 01 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 75 16";
const QString WriteAlarm2 = "68 16 16 68 01 00 63 02 02 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 76 16";
const QString ReadAlarm1 = "68 08 08 68 01 00 6C 01 01 0E 00 00 7D 16";
const QString ReadAlarm2 = "68 08 08 68 01 00 6C 01 02 0E 00 00 7E 16";
const QString Alarm1Answer = "68 11 11 68 00 01 08 41 30 00 00 43 48 00 00 40 00 00 00 00 01 46 16";
const QString Alarm2Answer = "68 11 11 68 00 01 08 41 B0 00 00 41 20 00 00 3F 80 00 00 01 01 1C 16";
const QString ReadBlock0 = "68 08 08 68 01 00 6C 01 0C 40 00 01 BB 16";
const QString ReadBlock1 = "68 08 08 68 01 00 6C 01 0C 40 00 41 FB 16";
const QString Block0Answer = "68 43 43 68 00 01 08 3F … 4F 16";
const QString Block1Answer = "68 43 43 68 00 01 08 41 … 19 16";
const QString Ack = "10 00 01 00 01 16";
const QString Refusal = "10 00 01 01 02 16";
const QString Ping = "10 01 00 69 6A 16";
const QString Store = "68 04 04 68 01 00 63 06 6A 16";
const QString ReadVersion = "68 04 04 68 01 00 6C 04 71 16";

QByteArray tableBytes(int table, const ControllerImage& image)
{
    QByteArray bytes(TableLengths[table], '\0');
    encodeFields(tableInfo(table), image, reinterpret_cast<uint8_t*>(bytes.data()));
    return bytes;
}

// Station 1 on a line of its own, all on one test clock.
struct Line {
    TestClock clock;
    TestWaiter waiter{clock};
    sim::SimulatedStation station{{.addresses = {1}}, clock};
    sim::SimulatedTransport transport{station};
    ControllerImage image;
    TelegramLink link{image, waiter, clock};
    LineTrace trace;

    Line()
    {
        station.setLiveRunning(false);
        station.modifyImage([](ControllerImage& held) {
            held.alarm1.splo = 11;
            held.alarm2.splo = 22;
            for (int k = 0; k < RecordValueCount; ++k)
                held.recordValues[k] = float(k) + 0.5f;
        });
        link.setTransport(&transport);
        link.SetDA(1);
        link.addTrace(&trace);
    }

    // A fault ("drop 2", "delay 700", "clear") or an exchange ("read ALARM1", "write PID",
    // "record 3", "store", "ping", "version"): the exchange's "ok" or "fail", else nothing.
    QString step(const QString& step)
    {
        const QString what = step.section(QLatin1Char(' '), 0, 0);
        const QString arg = step.section(QLatin1Char(' '), 1);
        const int n = arg.toInt();
        const TableInfo* table = findTable(arg);
        if (!table && (what == QLatin1String("read") || what == QLatin1String("write")))
            qFatal("unknown table in %s", qPrintable(step));
        bool ok = false;
        if (what == QLatin1String("drop"))
            station.dropRequests(n);
        else if (what == QLatin1String("corrupt"))
            station.corruptAnswers(n);
        else if (what == QLatin1String("truncate"))
            station.truncateAnswers(n);
        else if (what == QLatin1String("garbage"))
            station.garbageBeforeAnswers(n);
        else if (what == QLatin1String("refuse"))
            station.refuseWrites(n);
        else if (what == QLatin1String("delay"))
            station.setAnswerDelayMs(n);
        else if (what == QLatin1String("single"))
            link.setSingleTry(n != 0);
        else if (what == QLatin1String("baud"))
            station.setBaudRate(n);
        else if (what == QLatin1String("clear"))
            station.clearFaults();
        else if (what == QLatin1String("read"))
            ok = readOwnTable(table->number);
        else if (what == QLatin1String("write"))
            ok = link.WriteTable(table->number);
        else if (what == QLatin1String("record"))
            ok = readOwnRecordBlock(n);
        else if (what == QLatin1String("store"))
            ok = link.StoreToEeprom();
        else if (what == QLatin1String("ping"))
            ok = link.PingStation();
        else if (what == QLatin1String("version"))
            ok = link.ReadDeviceVersion();
        else
            qFatal("unknown step %s", qPrintable(step));
        const bool exchange = QStringList{"read", "write", "record", "store", "ping", "version"}.contains(what);
        return exchange ? QString::fromLatin1(ok ? "ok" : "fail") : QString();
    }

    // A read that reports success with another table's answer counts as failed.
    bool readOwnTable(int table)
    {
        image = ControllerImage{};
        return link.ReadTable(table) && tableBytes(table, image) == tableBytes(table, station.image());
    }

    bool readOwnRecordBlock(int block)
    {
        image = ControllerImage{};
        const bool ok = link.ReadRecordBlock(block);
        constexpr int PerBlock = RecordValueCount / RecordBlockCount;
        for (int i = 0; ok && i < PerBlock; ++i) {
            if (image.recordValues[PerBlock * block + i] != float(PerBlock * block + i) + 0.5f)
                return false;
        }
        return ok;
    }
};

} // namespace

class LinkInTestTime : public QObject {
    Q_OBJECT

private slots:
    void exchangesOnALineThatMisbehaves_data();
    void exchangesOnALineThatMisbehaves();
};

void LinkInTestTime::exchangesOnALineThatMisbehaves_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("results");
    QTest::addColumn<QStringList>("trace");
    // Nothing comes: a read is asked three times (100 ms after each empty read), a write and
    // EEPROM at once after each, a ping once, an identification twice. The next exchange
    // starts once the answers still owed could no longer come.
    QTest::newRow("read, station silent") << "drop 100; read LIVE; clear; read LIVE" << "fail ok" << QStringList{
        "0 > " + ReadLive, "552 x", "652 > " + ReadLive, "1204 x", "1304 > " + ReadLive, "2056 > " + ReadLive,
        "2056 < " + LiveAnswer};
    QTest::newRow("write, station silent") << "drop 100; write PID; clear; write PID" << "fail ok" << QStringList{
        "0 > " + WritePid, "512 x", "512 > " + WritePid, "1024 x", "1024 > " + WritePid, "1736 > " + WritePid,
        "1736 < " + Ack};
    QTest::newRow("store, station silent") << "drop 100; store" << "fail" << QStringList{
        "0 > " + Store, "512 x", "512 > " + Store, "1024 x", "1024 > " + Store};
    QTest::newRow("ping, station silent") << "drop 100; ping; clear; ping" << "fail ok" << QStringList{
        "0 > " + Ping, "512 x", "512 > " + Ping, "512 < " + Ack};
    QTest::newRow("version, station silent") << "drop 100; version" << "fail" << QStringList{
        "0 > " + ReadVersion, "1010 x", "1110 > " + ReadVersion, "2120 x"};
    QTest::newRow("version, one request lost") << "drop 1; version" << "ok" << QStringList{
        "0 > " + ReadVersion, "1010 x", "1110 > " + ReadVersion,
        "1110 < 68 0D 0D 68 00 01 08 46 57 2D 52 2D 30 39 2D 30 31 49 16"};
    // A bad answer: the second attempt only reads again. A short one ends its read 100 ms
    // after its last byte and is asked for again.
    QTest::newRow("read, wrong FCS") << "corrupt 1; read LIVE; read LIVE" << "fail ok" << QStringList{
        "0 > " + ReadLive, "0 < 68 14 14 68 00 01 08 41 B0 00 00 09 43 16 00 00 03 E8 41 B0 00 00 00 00 39 16",
        "552 x", "652 > " + ReadLive, "1204 > " + ReadLive, "1204 < " + LiveAnswer};
    QTest::newRow("write, refused") << "refuse 1; write PID; write PID" << "fail ok" << QStringList{
        "0 > " + WritePid, "0 < " + Refusal, "512 x", "512 > " + WritePid, "1024 > " + WritePid,
        "1024 < " + Ack};
    QTest::newRow("ping, wrong FCS") << "corrupt 1; ping; ping" << "fail ok" << QStringList{
        "0 > " + Ping, "0 < 10 00 01 00 02 16", "0 > " + Ping, "0 < " + Ack};
    QTest::newRow("read, one truncated") << "truncate 1; read LIVE" << "ok" << QStringList{
        "0 > " + ReadLive, "100 x 68 14 14 68 00 01 08 41 B0 00 00 09 43", "200 > " + ReadLive,
        "200 < " + LiveAnswer};
    QTest::newRow("record block, one truncated") << "truncate 1; record 4" << "ok" << QStringList{
        "0 > 68 08 08 68 01 00 6C 01 0C 40 01 01 BC 16", "270 x 68 43 43 68 00 01 08 42 … 00 42",
        "370 > 68 08 08 68 01 00 6C 01 0C 40 01 01 BC 16", "370 < 68 43 43 68 00 01 08 42 … 29 16"};
    QTest::newRow("read, two truncated") << "truncate 2; read LIVE; read LIVE" << "fail ok" << QStringList{
        "0 > " + ReadLive, "100 x 68 14 14 68 00 01 08 41 B0 00 00 09 43", "200 > " + ReadLive,
        "300 x 68 14 14 68 00 01 08 41 B0 00 00 09 43", "400 > " + ReadLive, "1152 > " + ReadLive,
        "1152 < " + LiveAnswer};
    QTest::newRow("read, garbage first") << "garbage 1; read LIVE; read LIVE" << "fail ok" << QStringList{
        "0 > " + ReadLive, "0 < FF 55 00 68 68 14 14 68 00 01 08 41 B0 00 00 09 43 16 00 00 03 E8 41 B0 00 00",
        "100 x 00 00 38 16", "200 > " + ReadLive, "752 > " + ReadLive, "752 < " + LiveAnswer};
    QTest::newRow("write, garbage first") << "garbage 1; write PID" << "fail" << QStringList{
        "0 > " + WritePid, "0 < FF 55 00 68 10 00", "100 x 01 00 01 16", "100 > " + WritePid};
    // A single try (a probe of a station that stopped answering): no repeat, and no quiet wait
    // before the next exchange, whose request comes after the one read's time-out.
    QTest::newRow("single try, silent") << "single 1; drop 1; read LIVE; read LIVE" << "fail ok" << QStringList{
        "0 > " + ReadLive, "552 x", "552 > " + ReadLive, "552 < " + LiveAnswer};
    QTest::newRow("single try, answered") << "single 1; read LIVE; single 0; drop 1; read LIVE" << "ok ok" << QStringList{
        "0 > " + ReadLive, "0 < " + LiveAnswer, "0 > " + ReadLive, "552 x", "652 > " + ReadLive, "652 < " + LiveAnswer};
    // 14 request and 26 answer bytes of 11 bits take 45.8 ms at 9600 Bd.
    QTest::newRow("read at 9600 Bd") << "baud 9600; read LIVE" << "ok" << QStringList{
        "0 > " + ReadLive, "45 < " + LiveAnswer};
    // A station that answers late, past the read time-out and before the repeat is given up:
    // the answer to a repeat never passes for the answer to the next request. The next
    // exchange waits until the line has been quiet for as long as the station was seen to take.
    QTest::newRow("300 ms late, writes") << "delay 300; write PID; refuse 100; write ALARM1; write ALARM2" << "ok fail fail dropped 1" << QStringList{
        "0 > " + WritePid, "300 < " + Ack, "300 > " + WriteAlarm1, "600 < " + Refusal, "1112 x",
        "1112 > " + WriteAlarm1, "1924 > " + WriteAlarm2, "2224 < " + Refusal, "2736 x",
        "2736 > " + WriteAlarm2};
    QTest::newRow("300 ms late, reads") << "delay 300; read ALARM1; read ALARM2; record 0; record 1" << "ok ok ok ok" << QStringList{
        "0 > " + ReadAlarm1, "300 < " + Alarm1Answer, "300 > " + ReadAlarm2, "600 < " + Alarm2Answer,
        "600 > " + ReadBlock0, "900 < " + Block0Answer, "1200 > " + ReadBlock1, "1500 < " + Block1Answer};
    QTest::newRow("600 ms late, writes") << "delay 600; write PID; refuse 100; write ALARM1; write ALARM2" << "ok fail fail dropped 2" << QStringList{
        "0 > " + WritePid, "512 x", "512 > " + WritePid, "600 < " + Ack, "1912 > " + WriteAlarm1, "2424 x",
        "2424 > " + WriteAlarm1, "2512 < " + Refusal, "3824 > " + WriteAlarm2, "4336 x",
        "4336 > " + WriteAlarm2, "4424 < " + Refusal};
    QTest::newRow("600 ms late, reads") << "delay 600; read ALARM1; read ALARM2; record 0; record 1" << "fail fail ok ok dropped 2" << QStringList{
        "0 > " + ReadAlarm1, "546 x", "646 > " + ReadAlarm1, "1192 x", "1292 > " + ReadAlarm1,
        "3984 > " + ReadAlarm2, "4530 x", "4630 > " + ReadAlarm2, "5176 x", "5276 > " + ReadAlarm2,
        "7968 > " + ReadBlock0, "8568 < " + Block0Answer, "8868 > " + ReadBlock1, "9468 < " + Block1Answer};
    QTest::newRow("700 ms late, writes") << "delay 700; write PID; refuse 100; write ALARM1; write ALARM2" << "ok fail fail dropped 2" << QStringList{
        "0 > " + WritePid, "512 x", "512 > " + WritePid, "700 < " + Ack, "2112 > " + WriteAlarm1, "2624 x",
        "2624 > " + WriteAlarm1, "2812 < " + Refusal, "4224 > " + WriteAlarm2, "4736 x",
        "4736 > " + WriteAlarm2, "4924 < " + Refusal};
    QTest::newRow("700 ms late, reads") << "delay 700; read ALARM1; read ALARM2; record 0; record 1" << "ok ok ok ok dropped 2" << QStringList{
        "0 > " + ReadAlarm1, "546 x", "646 > " + ReadAlarm1, "700 < " + Alarm1Answer, "2246 > " + ReadAlarm2,
        "2792 x", "2892 > " + ReadAlarm2, "2946 < " + Alarm2Answer, "4492 > " + ReadBlock0,
        "5192 < " + Block0Answer, "5492 > " + ReadBlock1, "6192 < " + Block1Answer};
    QTest::newRow("900 ms late, writes") << "delay 900; write PID; refuse 100; write ALARM1; write ALARM2" << "ok fail fail dropped 2" << QStringList{
        "0 > " + WritePid, "512 x", "512 > " + WritePid, "900 < " + Ack, "2512 > " + WriteAlarm1, "3024 x",
        "3024 > " + WriteAlarm1, "3412 < " + Refusal, "5024 > " + WriteAlarm2, "5536 x",
        "5536 > " + WriteAlarm2, "5924 < " + Refusal};
    QTest::newRow("900 ms late, reads") << "delay 900; read ALARM1; read ALARM2; record 0; record 1" << "ok ok ok ok dropped 2" << QStringList{
        "0 > " + ReadAlarm1, "546 x", "646 > " + ReadAlarm1, "900 < " + Alarm1Answer, "2646 > " + ReadAlarm2,
        "3192 x", "3292 > " + ReadAlarm2, "3546 < " + Alarm2Answer, "5292 > " + ReadBlock0,
        "6192 < " + Block0Answer, "6492 > " + ReadBlock1, "7392 < " + Block1Answer};
    QTest::newRow("1100 ms late, writes") << "delay 1100; write PID; refuse 100; write ALARM1; write ALARM2" << "fail fail fail dropped 6" << QStringList{
        "0 > " + WritePid, "512 x", "512 > " + WritePid, "1024 x", "1024 > " + WritePid,
        "3424 > " + WriteAlarm1, "3936 x", "3936 > " + WriteAlarm1, "4448 x", "4448 > " + WriteAlarm1,
        "6848 > " + WriteAlarm2, "7360 x", "7360 > " + WriteAlarm2, "7872 x", "7872 > " + WriteAlarm2};
    QTest::newRow("1100 ms late, reads") << "delay 1100; read ALARM1; read ALARM2; record 0; record 1" << "ok ok ok ok dropped 3" << QStringList{
        "0 > " + ReadAlarm1, "546 x", "646 > " + ReadAlarm1, "1100 < " + Alarm1Answer, "3046 > " + ReadAlarm2,
        "3592 x", "3692 > " + ReadAlarm2, "4146 < " + Alarm2Answer, "6092 > " + ReadBlock0, "7008 x",
        "7108 > " + ReadBlock0, "7192 < " + Block0Answer, "9508 > " + ReadBlock1, "10424 x",
        "10524 > " + ReadBlock1, "10608 < " + Block1Answer};
    QTest::newRow("1500 ms late, writes") << "delay 1500; write PID; refuse 100; write ALARM1; write ALARM2" << "fail fail fail dropped 6" << QStringList{
        "0 > " + WritePid, "512 x", "512 > " + WritePid, "1024 x", "1024 > " + WritePid,
        "4224 > " + WriteAlarm1, "4736 x", "4736 > " + WriteAlarm1, "5248 x", "5248 > " + WriteAlarm1,
        "8448 > " + WriteAlarm2, "8960 x", "8960 > " + WriteAlarm2, "9472 x", "9472 > " + WriteAlarm2};
    QTest::newRow("1500 ms late, reads") << "delay 1500; read ALARM1; read ALARM2; record 0; record 1" << "fail fail ok ok dropped 7" << QStringList{
        "0 > " + ReadAlarm1, "546 x", "646 > " + ReadAlarm1, "1192 x", "1292 > " + ReadAlarm1,
        "4492 > " + ReadAlarm2, "5038 x", "5138 > " + ReadAlarm2, "5684 x", "5784 > " + ReadAlarm2,
        "8984 > " + ReadBlock0, "9900 x", "10000 > " + ReadBlock0, "10484 < " + Block0Answer,
        "13200 > " + ReadBlock1, "14116 x", "14216 > " + ReadBlock1, "14700 < " + Block1Answer};
}

void LinkInTestTime::exchangesOnALineThatMisbehaves()
{
    QFETCH(QString, script);
    QFETCH(QString, results);
    QFETCH(QStringList, trace);
    Line line;
    QElapsedTimer wall;
    wall.start();
    QStringList got;
    for (const QString& step : script.split(QStringLiteral("; "))) {
        const QString result = line.step(step);
        if (!result.isEmpty())
            got << result;
    }
    // The answers owed that the exchanges after them threw away.
    if (line.link.lateAnswersDropped() > 0)
        got << QStringLiteral("dropped %1").arg(line.link.lateAnswersDropped());
    // Seconds of the line's time pass in no time of the test's own.
    QVERIFY2(wall.elapsed() < 1000, qPrintable(QString::number(wall.elapsed())));
    QCOMPARE(line.trace.lines, trace);
    QCOMPARE(got.join(QLatin1Char(' ')), results);
}

QTEST_GUILESS_MAIN(LinkInTestTime)
#include "tst_LinkInTestTime.moc"
