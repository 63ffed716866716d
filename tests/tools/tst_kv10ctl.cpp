// kv10ctl's link, table, program, record and poll commands, run as a separate process against
// the simulated controller.
#include "CzechLocale.h"
#include "TableCodec.h"
#include "ToolRun.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTest>

#include <csignal>
#ifndef Q_OS_WIN
#include <signal.h>
#endif

using namespace kv10;
using namespace kv10::test;
using kv10::sim::RequestKind;
using kv10::sim::SimulatedController;

namespace {

// A field's value as the controller holds it, for comparison with what the tool printed.
float heldValue(const ControllerImage& image, const TableField& field)
{
    return float(fieldValue(image, field));
}

// START, SP0-SP19, TI0-TI19 of program p, in that order, with the values of `image`.
void checkProgramListing(const QStringList& lines, const ControllerImage& image, int p)
{
    QList<std::pair<QString, float>> wanted{{QStringLiteral("START"), image.startValue[p]}};
    for (int s = 0; s < SegmentCount; ++s)
        wanted.append({QStringLiteral("SP%1").arg(s), image.segmentSetpoint[p][s]});
    for (int s = 0; s < SegmentCount; ++s)
        wanted.append({QStringLiteral("TI%1").arg(s), float(image.segmentTime[p][s])});
    QCOMPARE(lines.size(), wanted.size());
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        QCOMPARE(lines[i].section(QLatin1Char('='), 0, 0), wanted[i].first);
        QCOMPARE(float(valueOf(lines[i])), wanted[i].second);
    }
}

} // namespace

class Kv10ctlTest : public QObject, private ToolFixture {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(useCzechLocale(), CzechLocaleMissing);
    }

    void init()
    {
        QString error;
        QVERIFY2(startStation(error), qPrintable(error));
    }

    void cleanup()
    {
        m_sim.reset();
    }

    void helpExplainsEveryCommand()
    {
        const Run run = runTool({QStringLiteral("--help")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QVERIFY(run.err.isEmpty());
        const QString help = run.out.join(QLatin1Char('\n'));
        for (const char* item : {"--device", "--com", "--baud", "--da", "--sa", "ping", "scan", "ident", "read TABLE",
                                 "write TABLE", "eeprom", "program read P", "program write P", "record", "poll",
                                 "--interval", "--count", "--csv FILE", "params save FILE", "params load FILE [--eeprom]",
                                 "params diff FILE", "{da}", "1,3,5-7", "Exit status"})
            QVERIFY2(help.contains(QLatin1String(item)), item);
    }

    void readPrintsTheTable_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("by name") << "PID";
        QTest::newRow("by number") << "4";
        QTest::newRow("name in lower case") << "pid";
    }

    void readPrintsTheTable()
    {
        QFETCH(QString, table);
        sim().modifyImage([](ControllerImage& image) { image.pid = {3.25f, 120.5f, 0.75f, 1}; });
        const Run run = atStation({QStringLiteral("read"), table});
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QCOMPARE(run.out, QStringList({"PID.PB=3.25", "PID.INT=120.5", "PID.DER=0.75", "PID.TUNE=1"}));
        QVERIFY(run.err.isEmpty());
        QCOMPARE(sim().counters().of(RequestKind::Read), 1);
        QCOMPARE(sim().counters().totalRequests(), 1);
    }

    // Every field of every readable table, in order, with the controller's value.
    void readPrintsWhatTheControllerHolds()
    {
        sim().setLiveRunning(false);
        for (int t = 0; t < TableCount; ++t) {
            const TableInfo& table = tableInfo(t);
            if (!table.hasDecoder)
                continue;
            const Run run = atStation({QStringLiteral("read"), QLatin1String(table.name)});
            QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
            const ControllerImage controller = sim().image();
            QCOMPARE(run.out.size(), qsizetype(table.fields.size()));
            for (size_t f = 0; f < table.fields.size(); ++f) {
                const TableField& field = table.fields[f];
                const QString line = run.out[qsizetype(f)];
                QCOMPARE(line.section(QLatin1Char('='), 0, 0), QStringLiteral("%1.%2").arg(table.name, field.mnemonic));
                QCOMPARE(float(valueOf(line)), heldValue(controller, field));
            }
        }
    }

    void writeChangesOnlyTheNamedFields_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("assignments");
        QTest::addColumn<QVariantMap>("expected");
        QTest::newRow("float and byte") << "PID" << QStringList{"PB=12.5", "TUNE=1"}
                                        << QVariantMap{{"PB", 12.5}, {"TUNE", 1}};
        QTest::newRow("by number, hyphenated name, int16, negative") << "6" << QStringList{"re-1=0", "AT=7", "HCOO=-2.5"}
                                                                     << QVariantMap{{"RE-1", 0}, {"AT", 7}, {"HCOO", -2.5}};
        QTest::newRow("int16 given as its unsigned bit pattern") << "REGO" << QStringList{"PS=65535"}
                                                                  << QVariantMap{{"PS", 65535}};
    }

    void writeChangesOnlyTheNamedFields()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, assignments);
        QFETCH(QVariantMap, expected);
        const TableInfo& info = *findTable(table);
        const ControllerImage before = sim().image();

        const Run run = atStation(QStringList{QStringLiteral("write"), table} + assignments);
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));

        const ControllerImage after = sim().image();
        for (const TableField& field : info.fields) {
            const QString name = QLatin1String(field.mnemonic);
            const float wanted = expected.contains(name) ? expected[name].toFloat() : heldValue(before, field);
            QVERIFY2(heldValue(after, field) == wanted, field.mnemonic);
        }
        // It prints the table as written.
        QCOMPARE(run.out.size(), qsizetype(info.fields.size()));
        for (size_t f = 0; f < info.fields.size(); ++f)
            QCOMPARE(float(valueOf(run.out[qsizetype(f)])), heldValue(after, info.fields[f]));
        QCOMPARE(sim().counters().of(RequestKind::Read), 1);
        QCOMPARE(sim().counters().of(RequestKind::Write), 1);
    }

    // Wrong usage is refused before anything goes on the line.
    void wrongUsageSendsNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        const QByteArray none;
        QTest::newRow("unknown field") << QStringList{"write", "PID", "XX=1"} << none;
        QTest::newRow("assignment without =") << QStringList{"write", "PID", "PB"} << none;
        QTest::newRow("value not a number") << QStringList{"write", "PID", "PB=abc"} << none;
        QTest::newRow("decimal comma") << QStringList{"write", "PID", "PB=12,5"} << none;
        QTest::newRow("value not finite") << QStringList{"write", "PID", "PB=nan"} << none;
        QTest::newRow("value beyond a float") << QStringList{"write", "PID", "PB=1e39"} << none;
        QTest::newRow("byte above 255") << QStringList{"write", "PID", "TUNE=256"} << none;
        QTest::newRow("byte with a fraction") << QStringList{"write", "PID", "TUNE=1.5"} << none;
        QTest::newRow("int16 out of range") << QStringList{"write", "ONOF", "AT=70000"} << none;
        QTest::newRow("one bad among good ones") << QStringList{"write", "PID", "PB=1", "INT=x"} << none;
        QTest::newRow("no assignment") << QStringList{"write", "PID"} << none;
        QTest::newRow("read-only table") << QStringList{"write", "LIVE", "MEAS=1"} << none;
        QTest::newRow("block-only table") << QStringList{"write", "17", "SP=1"} << none;
        QTest::newRow("unknown table") << QStringList{"read", "FOO"} << none;
        QTest::newRow("table without codec") << QStringList{"read", "13"} << none;
        QTest::newRow("read without table") << QStringList{"read"} << none;
        QTest::newRow("no command") << QStringList{} << none;
        QTest::newRow("unknown command") << QStringList{"frob"} << none;
        QTest::newRow("program 10") << QStringList{"program", "read", "10"} << none;
        QTest::newRow("program verb") << QStringList{"program", "erase", "1"} << none;
        QTest::newRow("program key unknown") << QStringList{"program", "write", "1"} << QByteArray("SP0=1\nFOO=2\n");
        QTest::newRow("program segment 20") << QStringList{"program", "write", "1"} << QByteArray("SP20=1\n");
        QTest::newRow("program time with fraction") << QStringList{"program", "write", "1"} << QByteArray("TI0=1.5\n");
        QTest::newRow("program line without =") << QStringList{"program", "write", "1"} << QByteArray("START\n");
        QTest::newRow("poll interval 0") << QStringList{"poll", "--interval", "0"} << none;
        QTest::newRow("poll count negative") << QStringList{"poll", "--count", "-1"} << none;
        QTest::newRow("poll unknown option") << QStringList{"poll", "--fast", "1"} << none;
        QTest::newRow("scan range reversed") << QStringList{"scan", "--from", "5", "--to", "4"} << none;
        QTest::newRow("scan beyond 126") << QStringList{"scan", "--to", "127"} << none;
        // Nothing answers the broadcast address: a read would print zeros and a write would
        // send them to every station.
        QTest::newRow("broadcast DA") << QStringList{"--da", "127", "write", "PID", "PB=1"} << none;
        QTest::newRow("SA 127") << QStringList{"--sa", "127", "ping"} << none;
        QTest::newRow("COM 9") << QStringList{"--com", "9", "ping"} << none;
        QTest::newRow("baud not a number") << QStringList{"--baud", "fast", "ping"} << none;
    }

    void wrongUsageSendsNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        const ControllerImage before = sim().image();
        const Run run = atStation(args, input);
        QVERIFY2(run.exitCode == UsageExit, qPrintable(run.describe()));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.size(), 1);
        QVERIFY(run.err[0].startsWith(QLatin1String("kv10ctl: ")));
        QCOMPARE(sim().counters().totalRequests(), 0);
        QCOMPARE(sim().counters().otherStations, 0);
        QCOMPARE(sim().image().pid.pb, before.pid.pb);
    }

    void programWriteThenReadRoundTrip()
    {
        const ControllerImage before = sim().image();
        const QByteArray lines = "# new ramp\nSTART=35.5\nSP0=100.25\n\n  sp19 = 42\nTI0=90\nTI19=600\n";
        const Run written = atStation({QStringLiteral("program"), QStringLiteral("write"), QStringLiteral("3")}, lines);
        QVERIFY2(written.exitCode == 0, qPrintable(written.describe()));

        ControllerImage expected = before;
        expected.startValue[3] = 35.5f;
        expected.segmentSetpoint[3][0] = 100.25f;
        expected.segmentSetpoint[3][19] = 42.0f;
        expected.segmentTime[3][0] = 90;
        expected.segmentTime[3][19] = 600;
        const ControllerImage after = sim().image();
        QCOMPARE(after.startValue, expected.startValue);
        QCOMPARE(after.segmentSetpoint, expected.segmentSetpoint);
        QCOMPARE(after.segmentTime, expected.segmentTime);
        QCOMPARE(sim().counters().of(RequestKind::Write), 3);

        const Run read = atStation({QStringLiteral("program"), QStringLiteral("read"), QStringLiteral("3")});
        QVERIFY2(read.exitCode == 0, qPrintable(read.describe()));
        checkProgramListing(read.out, expected, 3);
        QVERIFY(!QTest::currentTestFailed());
        checkProgramListing(written.out, expected, 3);      // write prints the program as written
    }

    // The sample at POS is the newest; the listing goes back from it around the ring. Samples
    // taken while the blocks were read overwrite the oldest positions and are left out.
    void recordListsTheNewestFirst()
    {
        constexpr int Pos = 200;
        sim().modifyImage([](ControllerImage& image) {
            for (int k = 0; k < RecordValueCount; ++k)
                image.recordValues[k] = float(1000 + k);
            image.recd.pos = Pos;
            image.add.zaznam = 1;       // a sample every second, several during the read
        });
        const Run run = atStation({QStringLiteral("record")}, {}, 30000);
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));

        const ControllerImage controller = sim().image();
        const int taken = (controller.recd.pos - Pos + RecordValueCount) % RecordValueCount;
        QVERIFY2(taken > 0, "the simulator took no sample during a read of about ten seconds");
        const int count = RecordValueCount - taken;
        QCOMPARE(run.out.mid(0, 3), QStringList({"POS=200", "ZAZNAM=1", QStringLiteral("COUNT=%1").arg(count)}));
        QCOMPARE(run.out.size(), 3 + count);
        for (int n = 1; n <= count; ++n) {
            const QString line = run.out[2 + n];
            const int position = (Pos - n + 1 + RecordValueCount) % RecordValueCount;
            QCOMPARE(line.section(QLatin1Char('='), 0, 0), QString::number(n));
            QCOMPARE(float(valueOf(line)), controller.recordValues[position]);
            if (n > 1)
                QCOMPARE(float(valueOf(line)), float(1000 + position));
        }
        // Nothing recorded during the read lands on the newest position.
        QCOMPARE(float(valueOf(run.out[3])), float(1000 + Pos));
    }

    void identPrintsTheTexts()
    {
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), QStringLiteral("FW-R-09-03"));
        const Run run = atStation({QStringLiteral("ident")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QCOMPARE(run.out, QStringList({"TYPE=KORVIN 10", "VERSION=FW-R-09-03"}));
        QCOMPARE(sim().counters().of(RequestKind::IdentType), 1);
        QCOMPARE(sim().counters().of(RequestKind::IdentVersion), 1);
    }

    void eepromAsksTheControllerToStore()
    {
        const Run run = atStation({QStringLiteral("eeprom")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QCOMPARE(run.out, QStringList({"stored"}));
        QCOMPARE(sim().counters().of(RequestKind::StoreEeprom), 1);
        QCOMPARE(sim().counters().totalRequests(), 1);
    }

    void pingAnswersOnlyAtTheStation()
    {
        const Run answered = atStation({QStringLiteral("ping")});
        QVERIFY2(answered.exitCode == 0, qPrintable(answered.describe()));
        QCOMPARE(answered.out, QStringList({"station 1 answered"}));
        QCOMPARE(sim().counters().of(RequestKind::Ping), 1);

        const Run silent = runTool({QStringLiteral("--device"), sim().slavePath(), QStringLiteral("--da"),
                                    QStringLiteral("2"), QStringLiteral("ping")});
        QVERIFY2(silent.exitCode == 1, qPrintable(silent.describe()));
        QVERIFY(silent.out.isEmpty());
        QCOMPARE(silent.err, QStringList({"kv10ctl: no answer from station 2"}));
        QCOMPARE(sim().counters().otherStations, 1);       // asked once, no retry
    }

    void refusedWriteFailsWithOneLine()
    {
        const float before = sim().image().pid.pb;
        sim().refuseWrites(3);
        const Run run = atStation({QStringLiteral("write"), QStringLiteral("PID"), QStringLiteral("PB=1")});
        QVERIFY2(run.exitCode == 1, qPrintable(run.describe()));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err, QStringList({"kv10ctl: writing table PID failed"}));
        QCOMPARE(sim().image().pid.pb, before);
    }

    void pollPrintsOneLinePerSample()
    {
        sim().setLiveRunning(false);
        sim().modifyImage([](ControllerImage& image) { image.live = {123.5f, 5, 150.0f, 500, 22.25f, 0, 0}; });
        const Run run = atStation({QStringLiteral("poll"), QStringLiteral("--count"), QStringLiteral("2"),
                                   QStringLiteral("--interval"), QStringLiteral("0.1")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QCOMPARE(run.out.size(), 2);
        for (const QString& line : run.out) {
            const QString time = line.section(QLatin1Char(' '), 0, 0);
            QVERIFY2(QDateTime::fromString(time, Qt::ISODateWithMs).isValid(), qPrintable(line));
            QCOMPARE(line.section(QLatin1Char(' '), 1), QStringLiteral("MEAS=123.5 SP=150 YOUT=500 TS=22.25 OUTS=5 FAULT=0"));
        }
        QCOMPARE(sim().counters().of(RequestKind::Read), 2);
    }

    // An endless poll ends with Ctrl-C or SIGTERM. The tool must still close the port: a
    // pseudo-terminal left with its line settings by a killed process cannot be opened again.
    void pollEndsCleanlyOnSignal()
    {
#ifdef Q_OS_WIN
        QSKIP("QProcess cannot send a console program on Windows its Ctrl-C");
#endif
        QProcess process;
        process.start(QStringLiteral(KV10CTL_PATH),
                      stationOptions() + QStringList{QStringLiteral("poll"), QStringLiteral("--interval"), QStringLiteral("0.1")});
        QVERIFY(process.waitForStarted());
        QVERIFY(process.waitForReadyRead(5000));
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!linesOf(process.readAllStandardOutput()).isEmpty());

        const Run again = atStation({QStringLiteral("ping")});
        QVERIFY2(again.exitCode == 0, qPrintable(again.describe()));
    }

    // Ctrl-C or SIGTERM during the record read ends it after the exchange in progress: nothing
    // more is asked, nothing is printed, and the port is left usable.
    void signalStopsTheRecordRead_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl-C") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void signalStopsTheRecordRead()
    {
#ifdef Q_OS_WIN
        QSKIP("QProcess cannot send a console program on Windows its Ctrl-C");
#else
        QFETCH(int, signal);
        QProcess process;
        process.start(QStringLiteral(KV10CTL_PATH), stationOptions() + QStringList{QStringLiteral("record")});
        QVERIFY(process.waitForStarted());
        // ADD, RECD and two of the sixteen blocks.
        QTRY_VERIFY_WITH_TIMEOUT(sim().counters().of(RequestKind::Read) >= 4, 10000);
        const int asked = sim().counters().of(RequestKind::Read);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(linesOf(process.readAllStandardError()), QStringList({"kv10ctl: interrupted"}));
        QVERIFY(linesOf(process.readAllStandardOutput()).isEmpty());
        // At most the block asked for as the signal came.
        QVERIFY2(sim().counters().of(RequestKind::Read) <= asked + 1,
                 qPrintable(QStringLiteral("%1 reads after %2").arg(sim().counters().of(RequestKind::Read)).arg(asked)));

        const Run again = atStation({QStringLiteral("ping")});
        QVERIFY2(again.exitCode == 0, qPrintable(again.describe()));
#endif
    }

    // A reader that goes away (`kv10ctl read PID | true`) must not leave the port unusable.
    void closedOutputStillClosesThePort()
    {
#ifdef Q_OS_WIN
        QSKIP("needs a POSIX shell and its pipe");
#endif
        const QString command = QStringLiteral("'%1' --device '%2' --da %3 read PID | true")
                                    .arg(QStringLiteral(KV10CTL_PATH), sim().slavePath())
                                    .arg(Station);
        QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}), 0);
        QCOMPARE(sim().counters().of(RequestKind::Read), 1);

        const Run again = atStation({QStringLiteral("ping")});
        QVERIFY2(again.exitCode == 0, qPrintable(again.describe()));
    }

    // On Windows --com N opens COMN, whatever its number has for digits.
    void comNumberOpensThatPort()
    {
#ifndef Q_OS_WIN
        QSKIP("COM numbers name /dev/ttyS devices here, and the simulator is on a pseudo-terminal");
#else
        // The fixture's station is on a port such as COM12; the next pair has a COM number.
        SimulatedController numbered({.addresses = {Station}});
        QString error;
        QVERIFY2(numbered.start(&error), qPrintable(error));
        const int com = numbered.slavePath().mid(3).toInt();
        QVERIFY2(com >= 1 && com <= 8, qPrintable(numbered.slavePath()));
        const Run run = runTool({QStringLiteral("--com"), QString::number(com), QStringLiteral("--da"),
                                 QString::number(Station), QStringLiteral("ping")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QCOMPARE(numbered.counters().of(RequestKind::Ping), 1);
#endif
    }

    // A silent address costs a read time-out, so only a short range is scanned here.
    void scanListsTheAnsweringStations()
    {
        sim().setAddresses({2, 4});
        const Run found = runTool({QStringLiteral("--device"), sim().slavePath(), QStringLiteral("scan"),
                                   QStringLiteral("--from"), QStringLiteral("1"), QStringLiteral("--to"), QStringLiteral("5")});
        QVERIFY2(found.exitCode == 0, qPrintable(found.describe()));
        QCOMPARE(found.out, QStringList({"2", "4"}));
        QCOMPARE(sim().counters().of(RequestKind::Ping), 2);
        QCOMPARE(sim().counters().otherStations, 3);

        const Run none = runTool({QStringLiteral("--device"), sim().slavePath(), QStringLiteral("scan"),
                                  QStringLiteral("--from"), QStringLiteral("5"), QStringLiteral("--to"), QStringLiteral("5")});
        QVERIFY2(none.exitCode == 1, qPrintable(none.describe()));
        QCOMPARE(none.err, QStringList({"kv10ctl: no station answered"}));
    }

    void portProblems_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no device given") << QStringList{"ping"} << UsageExit
                                         << "kv10ctl: no serial device: give --device PATH or --com N";
        QTest::newRow("device missing") << QStringList{"--device", "/nonexistent/ttyKV", "ping"} << 3
                                        << "kv10ctl: Sériový port /nonexistent/ttyKV nelze otevřít";
    }

    void portProblems()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run run = runTool(args);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
        QCOMPARE(run.err, QStringList({message}));
        QVERIFY(run.out.isEmpty());
    }

    // Whichever program opens a port second is told that another holds it.
    void portHeldByAnotherProgram()
    {
#ifdef Q_OS_WIN
        QSKIP("a port's holder is told from its lock here; Wine's COM ports are not checked");
#endif
        QSerialPort holder(sim().slavePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        const Run run = runTool({QStringLiteral("--device"), sim().slavePath(), QStringLiteral("ping")});
        QVERIFY2(run.exitCode == 3, qPrintable(run.describe()));
        QCOMPARE(run.err, QStringList({"kv10ctl: Sériový port " + sim().slavePath()
                                       + " nelze otevřít: port busy, another program holds it"}));
    }
};

QTEST_GUILESS_MAIN(Kv10ctlTest)
#include "tst_kv10ctl.moc"
