// kv10ctl as a technician's script runs it: the built binary in its own process, talking over a
// pseudo-terminal to the simulated controller, judged by its exit status, its output and what
// the controller saw and holds afterwards.
#include "CzechLocale.h"
#include "StartedSimulator.h"
#include "TableCodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace kv10;
using kv10::sim::RequestKind;
using kv10::sim::SimulatedController;

namespace {

constexpr uint8_t Station = 1;
constexpr int UsageExit = 2;

struct Run {
    bool finished = false;
    int exitCode = -1;
    QStringList out;
    QStringList err;

    QString describe() const
    {
        return QStringLiteral("finished %1, exit %2, stdout [%3], stderr [%4]")
            .arg(finished)
            .arg(exitCode)
            .arg(out.mid(0, 5).join(QStringLiteral(" | ")), err.join(QStringLiteral(" | ")));
    }
};

// Lines end with LF, or with CR LF on Windows (the console's text mode).
QStringList linesOf(const QByteArray& bytes)
{
    QStringList lines = QString::fromUtf8(bytes).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

Run runTool(const QStringList& args, const QByteArray& input = {}, int timeoutMs = 60000)
{
    QProcess process;
    process.start(QStringLiteral(KV10CTL_PATH), args);
    Run run;
    if (!process.waitForStarted())
        return run;
    process.write(input);
    process.closeWriteChannel();
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = linesOf(process.readAllStandardOutput());
    run.err = linesOf(process.readAllStandardError());
    return run;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The first line `from` of the file becomes `to` (or goes, when `to` is empty).
bool editLine(const QString& path, const QByteArray& from, const QByteArray& to)
{
    QByteArray bytes = fileBytes(path);
    const qsizetype at = bytes.indexOf("\r\n" + from + "\r\n");
    if (at < 0)
        return false;
    bytes.replace(at + 2, from.size() + 2, to.isEmpty() ? QByteArray() : to + "\r\n");
    return putFile(path, bytes);
}

double valueOf(const QString& line)
{
    return line.section(QLatin1Char('='), 1).toDouble();
}

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

class Kv10ctlTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SimulatedController> m_sim;
    QTemporaryDir m_files;
    int m_copies = 0;

    SimulatedController& sim() { return *m_sim; }

    QStringList stationOptions() const
    {
        return {QStringLiteral("--device"), m_sim->slavePath(), QStringLiteral("--da"), QString::number(Station)};
    }

    Run atStation(const QStringList& args, const QByteArray& input = {}, int timeoutMs = 60000)
    {
        return runTool(stationOptions() + args, input, timeoutMs);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing);
    }

    void init()
    {
        QString error;
        m_sim = test::startSimulator({.addresses = {Station}}, error);
        QVERIFY2(m_sim, qPrintable(error));
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

    // The set that kv10ctl saves, edited by hand, against the controller.
    void paramsDiffNamesWhatDiffers_data()
    {
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QStringList>("lines");
        const QString clock = QStringLiteral("FW-R-09-03");
        const QString noClock = QStringLiteral("FW-R-09-02");
        QTest::newRow("as saved") << clock << QByteArray() << QByteArray() << QStringList();
        QTest::newRow("the same number in other words") << clock << QByteArray("SPHI=200,00") << QByteArray(" SPHI = 2E2")
                                                        << QStringList();
        QTest::newRow("a page field") << clock << QByteArray("SPHI=200,00") << QByteArray("SPHI=200,01")
                                      << QStringList{"ALARM1.SPHI file=200,01 controller=200,00"};
        QTest::newRow("a key the file lacks: its default") << clock << QByteArray("SPHI=200,00") << QByteArray()
                                                           << QStringList{"ALARM1.SPHI file=100 controller=200,00"};
        QTest::newRow("a list position") << clock << QByteArray("TPID=4") << QByteArray("TPID=0")
                                         << QStringList{"REGO.TPID file=0 controller=4"};
        QTest::newRow("a segment setpoint") << clock << QByteArray("TEP[3][5]=113,25") << QByteArray("TEP[3][5]=7,5")
                                            << QStringList{"COMP.TEP[3][5] file=7,5 controller=113,25"};
        QTest::newRow("a 16-bit field in its signed spelling") << clock << QByteArray("PS=65535") << QByteArray("PS=-1")
                                                               << QStringList();
        QTest::newRow("a segment time beyond 16 bits, as it wraps")
            << clock << QByteArray("CAS[3][6]=10") << QByteArray("CAS[3][6]=65546") << QStringList();
        QTest::newRow("the start date, which only the clock firmware has")
            << clock << QByteArray("DATE=9") << QByteArray("DATE=8") << QStringList{"GO.DATE file=8 controller=9"};
        // GO without the clock: its date, hour and minute are neither read nor compared.
        QTest::newRow("another start date, firmware without the clock")
            << noClock << QByteArray("DATE=9") << QByteArray("DATE=8") << QStringList();
    }

    void paramsDiffNamesWhatDiffers()
    {
        QFETCH(QString, firmware);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QStringList, lines);
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), QStringLiteral("FW-R-09-03"));
        sim().modifyImage([](ControllerImage& image) {
            image.alarm1.sphi = 200;
            image.rego.tpid = 5;
            image.rego.ps = -1;
            image.segmentSetpoint[3][5] = 113.25f;
            image.segmentTime[3][6] = 10;
            image.goext.date = 9;
            image.goext.hour = 7;
            image.goext.min = 30;
        });
        // Saved once, from the clock firmware; every row edits its own copy.
        const QString saved = m_files.filePath(QStringLiteral("saved.ini"));
        if (!QFile::exists(saved)) {
            const Run save = atStation({QStringLiteral("params"), QStringLiteral("save"), saved});
            QVERIFY2(save.exitCode == 0, qPrintable(save.describe()));
            QCOMPARE(save.out, QStringList{"station 1 saved to " + QDir::toNativeSeparators(saved)});
        }
        const QString path = m_files.filePath(QStringLiteral("edited-%1.ini").arg(++m_copies));
        QVERIFY(QFile::copy(saved, path));
        if (!from.isEmpty())
            QVERIFY(editLine(path, from, to));
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), firmware);
        const Run diff = atStation({QStringLiteral("params"), QStringLiteral("diff"), path});
        QVERIFY2(diff.exitCode == (lines.isEmpty() ? 0 : 4), qPrintable(diff.describe()));
        QCOMPARE(diff.out, lines);
        QVERIFY(diff.err.isEmpty());
    }

    // A saved set, edited, loaded with --eeprom: what the controller holds afterwards, at the
    // address it answers at then, and a clean comparison there.
    void paramsLoadWritesTheFileAndDiffIsClean_data()
    {
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QByteArrayList>("from");
        QTest::addColumn<QByteArrayList>("to");
        QTest::addColumn<QStringList>("output");
        QTest::addColumn<int>("address");
        QTest::addColumn<QList<int>>("goClock");   // DATE, HOUR, MIN the controller holds
        const QByteArrayList from{"HYST=2,00", "CAS[3][5]=10", "DATE=9", "HOUR=7", "MIN=30"};
        const QByteArrayList to{"HYST=3,5", "CAS[3][5]=17", "DATE=8", "HOUR=23", "MIN=59"};
        QTest::newRow("every page and program") << "FW-R-09-03" << from << to << QStringList{"loaded", "stored"} << 1
                                                << QList<int>{8, 23, 59};
        QTest::newRow("GO without the clock: no date, hour or minute sent")
            << "FW-R-09-02" << from << to << QStringList{"loaded", "stored"} << 1 << QList<int>{9, 7, 30};
        // ADD goes before GO and the programs: they and EEPROM follow the station.
        QTest::newRow("a new address") << "FW-R-09-03" << from + QByteArrayList{"ADRESA=1"} << to + QByteArrayList{"ADRESA=5"}
                                       << QStringList{"station 1 now answers at address 5", "loaded", "stored"} << 5
                                       << QList<int>{8, 23, 59};
    }

    void paramsLoadWritesTheFileAndDiffIsClean()
    {
        QFETCH(QString, firmware);
        QFETCH(QByteArrayList, from);
        QFETCH(QByteArrayList, to);
        QFETCH(QStringList, output);
        QFETCH(int, address);
        QFETCH(QList<int>, goClock);
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), QStringLiteral("FW-R-09-03"));
        sim().modifyImage([](ControllerImage& image) {
            image.alarm1.hyst = 2;
            image.segmentTime[3][5] = 10;
            image.goext.date = 9;
            image.goext.hour = 7;
            image.goext.min = 30;
        });
        // Saved once; every row edits its own copy.
        const QString saved = m_files.filePath(QStringLiteral("saved-for-load.ini"));
        if (!QFile::exists(saved))
            QVERIFY(atStation({QStringLiteral("params"), QStringLiteral("save"), saved}).exitCode == 0);
        const QString path = m_files.filePath(QStringLiteral("edited-%1.ini").arg(++m_copies));
        QVERIFY(QFile::copy(saved, path));
        for (qsizetype i = 0; i < from.size(); ++i)
            QVERIFY2(editLine(path, from[i], to[i]), from[i].constData());
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), firmware);
        sim().resetCounters();
        const Run load = atStation({QStringLiteral("params"), QStringLiteral("load"), path, QStringLiteral("--eeprom")});
        QVERIFY2(load.exitCode == 0, qPrintable(load.describe()));
        QCOMPARE(load.out, output);
        const ControllerImage after = sim().image();
        QCOMPARE(sim().addresses(), std::vector<uint8_t>{uint8_t(address)});
        QCOMPARE(after.alarm1.hyst, 3.5f);
        QCOMPARE(after.segmentTime[3][5], 17);
        QCOMPARE((QList<int>{after.goext.date, after.goext.hour, after.goext.min}), goClock);
        // The eleven page tables, the start values, and two blocks for each of the ten programs.
        QCOMPARE(sim().counters().of(RequestKind::Write), 11 + 1 + 20);
        QCOMPARE(sim().counters().of(RequestKind::StoreEeprom), 1);
        QCOMPARE(sim().counters().otherStations, 0);
        const Run diff = runTool({QStringLiteral("--device"), sim().slavePath(), QStringLiteral("--da"),
                                  QString::number(address), QStringLiteral("params"), QStringLiteral("diff"), path});
        QVERIFY2(diff.exitCode == 0 && diff.out.isEmpty(), qPrintable(diff.describe()));
    }

    void paramsFileProblemsSendNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        const QByteArray otherVersion("[IDENT]\r\nVERSION=KORVIN10 [V.1.1]\r\n");
        const QString wrongVersion = QStringLiteral("kv10ctl: INI soubor není typu KORVIN 10 [V.1.0]");
        QTest::newRow("load, another version") << "load" << otherVersion << wrongVersion;
        QTest::newRow("diff, another version") << "diff" << otherVersion << wrongVersion;
        QTest::newRow("no number") << "load" << QByteArray("[ALARM1]\r\nSPHI=abc\r\n")
                                   << "kv10ctl: ALARM1.SPHI=abc is not a valid value";
        QTest::newRow("a point where the locale has a comma") << "diff" << QByteArray("[PID]\r\nPB=1.5\r\n")
                                                             << "kv10ctl: PID.PB=1.5 is not a valid value";
        QTest::newRow("no such list item") << "load" << QByteArray("[ALARM1]\r\nRALA=4\r\n")
                                           << "kv10ctl: ALARM1.RALA=4 is not a valid value";
        QTest::newRow("a fraction of a segment time") << "load" << QByteArray("[COMP]\r\nCAS[9][19]=1,5\r\n")
                                                      << "kv10ctl: COMP.CAS[9][19]=1,5 is not a valid value";
        QTest::newRow("no file") << "load" << QByteArray() << "kv10ctl: cannot read %1";
    }

    void paramsFileProblemsSendNothing()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("set.ini"));
        if (!content.isEmpty())
            QVERIFY(putFile(path, content));
        const Run run = atStation({QStringLiteral("params"), command, path});
        QVERIFY2(run.exitCode == 5, qPrintable(run.describe()));
        QCOMPARE(run.err, QStringList{message.contains("%1") ? message.arg(QDir::toNativeSeparators(path)) : message});
        QCOMPARE(sim().counters().totalRequests(), 0);
    }

    void severalStationsSaveAndPoll()
    {
        sim().setAddresses({1, 2});
        sim().setLiveRunning(false);
        sim().modifyImage([](ControllerImage& image) { image.live = {21.5f, 9, 150, 1000, 22.25f, 0, 0}; });
        QTemporaryDir dir;
        const QString pattern = dir.filePath(QStringLiteral("station-{da}.ini"));
        const QString device = sim().slavePath();
        const Run saved = runTool({"--device", device, "--da", "1-2", "params", "save", pattern});
        QVERIFY2(saved.exitCode == 0, qPrintable(saved.describe()));
        QByteArray first = fileBytes(dir.filePath(QStringLiteral("station-1.ini")));
        const QByteArray second = fileBytes(dir.filePath(QStringLiteral("station-2.ini")));
        QVERIFY(first.contains("\r\nADRESA=1\r\n"));
        QCOMPARE(first.replace("\r\nADRESA=1\r\n", "\r\nADRESA=2\r\n"), second);

        const QString csv = dir.filePath(QStringLiteral("live.csv"));
        for (const char* count : {"2", "1"}) {
            const Run poll = runTool({"--device", device, "--da", "2,1", "poll", "--count", count, "--interval", "0.1",
                                      "--csv", csv});
            QVERIFY2(poll.exitCode == 0, qPrintable(poll.describe()));
        }
        const QStringList rows = linesOf(fileBytes(csv));
        QCOMPARE(rows.size(), 7);
        QCOMPARE(rows.first(), "time,DA,MEAS,SP,YOUT,TS,OUTS,FAULT");
        for (int row = 1; row < rows.size(); ++row) {
            const QString station = row % 2 == 1 ? QStringLiteral("2") : QStringLiteral("1");
            QCOMPARE(rows[row].section(QLatin1Char(','), 1), station + ",21.5,150,1000,22.25,9,0");
            const QString time = rows[row].section(QLatin1Char(','), 0, 0);
            QVERIFY2(QDateTime::fromString(time, Qt::ISODateWithMs).isValid() && time.contains(QLatin1Char('T')),
                     qPrintable(time));
        }
    }

    void stationListsAreChecked_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("a range backwards") << QStringList{"--da", "3-1", "ping"};
        QTest::newRow("an empty item") << QStringList{"--da", "1,,2", "ping"};
        // Commands that take several stations: ping refuses any list before its addresses count.
        QTest::newRow("the broadcast address ending a range, poll")
            << QStringList{"--da", "126-127", "poll", "--count", "1", "--interval", "0.1"};
        QTest::newRow("the broadcast address ending a range, save")
            << QStringList{"--da", "126-127", "params", "save", m_files.filePath(QStringLiteral("broadcast-{da}.ini"))};
        QTest::newRow("several for a command of one station") << QStringList{"--da", "1,2", "params", "load", "x.ini"};
        QTest::newRow("several without {da} in the name") << QStringList{"--da", "1,2", "params", "save", "x.ini"};
        QTest::newRow("an unknown option") << QStringList{"params", "load", "x.ini", "--now"};
    }

    void stationListsAreChecked()
    {
        QFETCH(QStringList, args);
        const Run run = runTool(QStringList{"--device", sim().slavePath()} + args);
        QVERIFY2(run.exitCode == UsageExit, qPrintable(run.describe()));
        QCOMPARE(sim().counters().totalRequests(), 0);
        QCOMPARE(sim().counters().otherStations, 0);
        QCOMPARE(sim().counters().broadcasts, 0);
    }

    // A station named twice in the list is polled or saved once.
    void repeatedStationsAreAskedOnce_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("lines");     // poll lines without their time
        const QStringList poll{"poll", "--count", "1"};
        const QString live = QStringLiteral("MEAS=21.5 SP=150 YOUT=1000 TS=22.25 OUTS=9 FAULT=0");
        QTest::newRow("one station twice") << QStringList{"--da", "1,1"} + poll << QStringList{live};
        QTest::newRow("a station again after its range")
            << QStringList{"--da", "1-2,2"} + poll << QStringList{"DA=1 " + live, "DA=2 " + live};
        const QString pattern = m_files.filePath(QStringLiteral("repeated-{da}.ini"));
        QTest::newRow("a station again after its range, save")
            << QStringList{"--da", "1-2,1", "params", "save", pattern}
            << QStringList{"station 1 saved to " + QDir::toNativeSeparators(QString(pattern).replace("{da}", "1")),
                           "station 2 saved to " + QDir::toNativeSeparators(QString(pattern).replace("{da}", "2"))};
    }

    void repeatedStationsAreAskedOnce()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, lines);
        sim().setAddresses({1, 2});
        sim().setLiveRunning(false);
        sim().modifyImage([](ControllerImage& image) { image.live = {21.5f, 9, 150, 1000, 22.25f, 0, 0}; });
        const Run run = runTool(QStringList{"--device", sim().slavePath()} + args);
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QStringList printed = run.out;
        for (QString& line : printed) {
            if (QDateTime::fromString(line.section(QLatin1Char(' '), 0, 0), Qt::ISODateWithMs).isValid())
                line = line.section(QLatin1Char(' '), 1);
        }
        QCOMPARE(printed, lines);
    }

    // params save over several stations: a silent station and a file that cannot be written
    // exit 1, whichever comes first; only files that cannot be written exit 5.
    void severalStationsSaveExitCodes_data()
    {
        QTest::addColumn<QString>("stations");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("errors");
        // Station 1's folder exists, station 2's does not; station 3 does not answer.
        const QString silent = QStringLiteral(
            "kv10ctl: station 3: no firmware version, or one this tool does not know (\"\")");
        const QString unwritable = QStringLiteral("kv10ctl: cannot write %1")
                                       .arg(QDir::toNativeSeparators(m_files.filePath(QStringLiteral("2/set.ini"))));
        QTest::newRow("a file not written") << "2" << 5 << QStringList{unwritable};
        QTest::newRow("a silent station, then a file not written") << "3,2" << 1 << QStringList{silent, unwritable};
        QTest::newRow("a file not written, then a silent station") << "2,3" << 1 << QStringList{unwritable, silent};
    }

    void severalStationsSaveExitCodes()
    {
        QFETCH(QString, stations);
        QFETCH(int, exitCode);
        QFETCH(QStringList, errors);
        sim().setAddresses({1, 2});
        QVERIFY(QDir(m_files.path()).mkpath(QStringLiteral("1")));
        const Run run = runTool({"--device", sim().slavePath(), "--da", stations, "params", "save",
                                 m_files.filePath(QStringLiteral("{da}/set.ini"))});
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
        QCOMPARE(run.err, errors);
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
};

QTEST_GUILESS_MAIN(Kv10ctlTest)
#include "tst_kv10ctl.moc"
