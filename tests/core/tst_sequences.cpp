// Every exchange sequence against the simulated station in memory: the telegrams it sends, the
// pauses between them and the progress it reports, in order, and what it says at the end.
// Requests read "read 8/4" (table 8, 4 bytes), "write 16/2", "type", "version", with "@5"
// when they go to another address than the station's first one, 1.
#include "FakeTransport.h"
#include "Gate.h"
#include "Identification.h"
#include "ParameterReadout.h"
#include "Programs.h"
#include "RecordReadout.h"
#include "SequenceJob.h"
#include "SetTransfer.h"
#include "SimulatedStation.h"
#include "SimulatedTransport.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <QRegularExpression>
#include <QTest>
#include <functional>

using namespace kv10;
using namespace kv10::test;

namespace {

QString describe(const QByteArray& frame)
{
    if (frame.size() < 9 || uint8_t(frame[0]) != StartVariable)
        return QStringLiteral("short");
    const uint8_t da = uint8_t(frame[4]);
    const uint8_t command = uint8_t(frame[DataUnitOffset]);
    QString text;
    if (command == CmdIdentify)
        text = QStringLiteral("type");
    else if (command == CmdVersion)
        text = QStringLiteral("version");
    else
        text = QStringLiteral("%1 %2/%3")
                   .arg(command == CmdRead ? "read" : "write")
                   .arg(uint8_t(frame[DataUnitOffset + 1]))
                   .arg(uint8_t(frame[DataUnitOffset + 2]));
    return da == 1 ? text : text + QStringLiteral("@%1").arg(da);
}

struct Rig {
    sim::SimulatedStation station;
    sim::SimulatedTransport simulated{station};
    FakeTransport silent;            // answers nothing, at once
    ControllerImage image;
    QStringList log;
    CountingWaiter waiter{&log};
    TelegramLink link{image, waiter};
    std::function<void(const QString&)> onRequest;   // after each request is logged
    HexTrace requests{[this](bool outgoing, const QByteArray& bytes) {
        if (!outgoing)
            return;
        log << describe(bytes);
        if (onRequest)
            onRequest(log.last());
    }};

    explicit Rig(const sim::SimulatorOptions& options) : station(options)
    {
        link.setTransport(&simulated);
        link.SetDA(1);
        link.addTrace(&requests);
    }
};

using Setup = std::function<void(Rig&)>;
// Runs the sequence and says how it ended, with what it found.
using Run = std::function<QString(Rig&, core::Sequence&)>;

QString ending(const core::SequenceResult& result)
{
    if (result.stopped)
        return QStringLiteral("stopped");
    return result.ok ? QStringLiteral("ok") : QStringLiteral("failed ") + result.failed;
}

Run identifying(core::ForeignDevice foreign)
{
    return [foreign](Rig&, core::Sequence& sequence) {
        core::Identification found;
        const core::SequenceResult result = core::identify(sequence, found, foreign);
        return ending(result) + QStringLiteral(", variant %1").arg(found.variant)
               + (found.foreign ? QStringLiteral(", foreign") : QString());
    };
}

const Run ReadingOut = [](Rig&, core::Sequence& sequence) {
    core::Identification found;
    const QString end = ending(core::readParameters(sequence, found));
    return end + QStringLiteral(", variant %1").arg(found.variant);
};

Run readingProgram(int type, int program)
{
    return [=](Rig&, core::Sequence& sequence) { return ending(core::readProgram(sequence, type, program)); };
}

Run writingProgram(int type, int program)
{
    return [=](Rig& rig, core::Sequence& sequence) {
        sequence.image().prog.prog = uint8_t(type);
        sequence.image().prog.c_pr = uint8_t(program);
        return ending(core::writeProgram(sequence));
    };
}

Run readingSet(int variant)
{
    return [=](Rig&, core::Sequence& sequence) { return ending(core::readSet(sequence, variant)); };
}

Run writingSet(int variant, int newAddress)
{
    return [=](Rig&, core::Sequence& sequence) {
        sequence.image().add.adresa = uint8_t(newAddress);
        sequence.image().add.zaznam = 60;
        const QString end = ending(core::writeSet(sequence, variant));
        return end + QStringLiteral(", DA %1").arg(sequence.link().DA());
    };
}

const Run ReadingRecord = [](Rig&, core::Sequence& sequence) {
    core::RecordReadout readout;
    const QString end = ending(core::readRecord(sequence, readout));
    return end + QStringLiteral(", %1 to %2, %3 listed, newest %4")
                     .arg(readout.before)
                     .arg(readout.after)
                     .arg(readout.newestFirst.size())
                     .arg(double(readout.newestFirst.front()));
};

sim::SimulatorOptions station(const QString& version)
{
    sim::SimulatorOptions options;
    options.addresses = {1};
    options.deviceVersion = version;
    return options;
}

const Setup Nothing = [](Rig&) {};

Setup runningProgram(int type, int program)
{
    return [=](Rig& rig) {
        rig.station.modifyImage([=](ControllerImage& image) {
            image.prog.prog = uint8_t(type);
            image.prog.c_pr = uint8_t(program);
        });
    };
}

// The ring with k + 0.5 at position k, the newest at 200; `taken` samples are recorded while
// block 8 is read.
Setup recordAt200(int taken)
{
    return [=](Rig& rig) {
        rig.station.setLiveRunning(false);
        rig.station.modifyImage([](ControllerImage& image) {
            for (int k = 0; k < RecordValueCount; ++k)
                image.recordValues[k] = float(k) + 0.5f;
            image.recd.pos = 200;
        });
        int blocks = 0;
        rig.onRequest = [&rig, taken, blocks](const QString& request) mutable {
            if (request == "read 12/64" && ++blocks == 9)
                rig.station.modifyImage([=](ControllerImage& image) { image.recd.pos = uint8_t(200 + taken); });
        };
    };
}

const QString Identified = "read 8/4 wait 10 type bar 20 KORVIN 10 wait 10 version";
const QString PagesAfterComp = " bar 27 read 1/14 bar 34 wait 10 read 2/14 bar 41 wait 10 read 4/13 bar 48 wait 10 "
                               "read 5/13 bar 55 wait 10 read 6/20 bar 62 wait 10 read 3/15 bar 69 wait 10 "
                               "read 7/10 bar 76 wait 10 read 8/4 bar 83 wait 10 read 9/14 bar 90 wait 10 "
                               "read 10/3 bar 97 wait 10 read 14/4";
const QString RecordBlocks =
    " bar 0 read 12/64 wait 270 wait 300 bar 1 read 12/64 wait 270 wait 300 bar 2 read 12/64 wait 270 wait 300"
    " bar 3 read 12/64 wait 270 wait 300 bar 4 read 12/64 wait 270 wait 300 bar 5 read 12/64 wait 270 wait 300"
    " bar 6 read 12/64 wait 270 wait 300 bar 7 read 12/64 wait 270 wait 300 bar 8 read 12/64 wait 270 wait 300"
    " bar 9 read 12/64 wait 270 wait 300 bar 10 read 12/64 wait 270 wait 300 bar 11 read 12/64 wait 270 wait 300"
    " bar 12 read 12/64 wait 270 wait 300 bar 13 read 12/64 wait 270 wait 300 bar 14 read 12/64 wait 270 wait 300"
    " bar 15 read 12/64 wait 270 wait 300";
// Start values, then setpoints and times of the ten programs, 100 ms before each block.
QString setPrograms(const char* verb)
{
    return QStringLiteral(" wait 100 %1 0/40").arg(verb)
           + QStringLiteral(" wait 100 %1 17/80 wait 100 %1 18/40").arg(verb).repeated(ProgramCount);
}

} // namespace

Q_DECLARE_METATYPE(sim::SimulatorOptions)
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Run)

class TestSequences : public QObject {
    Q_OBJECT
private slots:
    void sequence_data();
    void sequence();
    void sequenceOnSessionThread_data() { sequence_data(); }
    void sequenceOnSessionThread();
};

void TestSequences::sequence_data()
{
    QTest::addColumn<sim::SimulatorOptions>("options");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<bool>("silent");      // on a line where nothing answers
    QTest::addColumn<int>("stopAfter");    // requests after which the sequence is asked to stop; -1 never
    QTest::addColumn<Run>("run");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("outcome");

    const Run identify = identifying(core::ForeignDevice::NotAsked);
    const Run identifyAll = identifying(core::ForeignDevice::Asked);
    sim::SimulatorOptions foreign = station("FW-R-09-01");
    foreign.foreign = true;

    // Identification
    QTest::newRow("identify FW-R-09-01") << station("FW-R-09-01") << Nothing << false << -1 << identify
        << Identified << "ok, variant 1";
    QTest::newRow("identify FW-R-09-02 and more") << station("FW-R-09-02 rev. 7") << Nothing << false << -1 << identify
        << Identified << "ok, variant 2";
    QTest::newRow("identify FW-R-09-03") << station("FW-R-09-03") << Nothing << false << -1 << identify
        << Identified << "ok, variant 3";
    QTest::newRow("identify nine characters: unknown") << station("FW-R-09-0") << Nothing << false << -1 << identify
        << Identified << "ok, variant 0";
    QTest::newRow("identify with the dialog: no foreign read after answers")
        << station("FW-R-09-01") << Nothing << false << -1 << identifyAll << Identified + " wait 10" << "ok, variant 1";
    QTest::newRow("identify silent, foreign asked")
        << station("FW-R-09-01") << Nothing << true << -1 << identifyAll
        << "read 8/4 wait 100 read 8/4 wait 100 read 8/4 wait 10 type wait 100 type bar 20 wait 10 "
           "version wait 100 version wait 10 type"
        << "failed ERRO, variant 0";
    QTest::newRow("identify foreign device") << foreign << Nothing << false << -1 << identifyAll
        << "read 8/4 wait 10 type bar 20 wait 10 version wait 10 type" << "failed type, variant 0, foreign";
    QTest::newRow("identify stopped after ERRO: nothing more") << station("FW-R-09-01") << Nothing << false << 1
        << identifyAll << "read 8/4" << "stopped, variant 0";

    // Parameter read-out
    QTest::newRow("read-out FW-R-09-01: tables 0-10 by number")
        << station("FW-R-09-01") << runningProgram(1, 4) << false << -1 << ReadingOut
        << Identified + " bar 28 read 0/4 bar 36 wait 10 read 1/14 bar 44 wait 10 read 2/14 bar 52 wait 10 "
                        "read 3/15 bar 60 wait 10 read 4/13 bar 68 wait 10 read 5/13 bar 76 wait 10 read 6/20 "
                        "bar 84 wait 10 read 7/10 bar 92 wait 10 read 8/4 bar 100 wait 10 read 9/14 bar 100 wait 10 "
                        "read 10/3 wait 10"
        << "ok, variant 1";
    QTest::newRow("read-out FW-R-09-02 RAMP: program 4, pages, no TIME")
        << station("FW-R-09-02") << runningProgram(1, 4) << false << -1 << ReadingOut
        << Identified + " read 16/2 read 0/40 wait 100 read 17/80 wait 100 read 18/40" + PagesAfterComp + " wait 10"
        << "ok, variant 2";
    QTest::newRow("read-out FW-R-09-03 SP: start values only, TIME last")
        << station("FW-R-09-03") << runningProgram(0, 4) << false << -1 << ReadingOut
        << Identified + " read 16/2 read 0/40" + PagesAfterComp + " bar 100 wait 10 read 15/7 wait 10"
        << "ok, variant 3";
    QTest::newRow("read-out unknown: nothing after identification")
        << station("FW-R-09-0") << Nothing << false << -1 << ReadingOut << Identified << "ok, variant 0";

    // One program
    QTest::newRow("program read SP") << station("FW-R-09-02") << Nothing << false << -1 << readingProgram(0, 9)
        << "read 0/40" << "ok";
    QTest::newRow("program read RAMP") << station("FW-R-09-02") << Nothing << false << -1 << readingProgram(1, 9)
        << "read 0/40 wait 100 read 17/80 wait 100 read 18/40" << "ok";
    QTest::newRow("program read JUMP") << station("FW-R-09-02") << Nothing << false << -1 << readingProgram(2, 0)
        << "read 0/40 wait 100 read 17/80 wait 100 read 18/40" << "ok";
    QTest::newRow("program read 10: nothing sent") << station("FW-R-09-02") << Nothing << false << -1
        << readingProgram(1, 10) << "" << "failed program 10";
    QTest::newRow("program write SP") << station("FW-R-09-02") << Nothing << false << -1 << writingProgram(0, 3)
        << "write 16/2 bar 100 wait 100 write 0/40" << "ok";
    QTest::newRow("program write RAMP") << station("FW-R-09-02") << Nothing << false << -1 << writingProgram(1, 3)
        << "write 16/2 bar 100 wait 100 write 0/40 wait 100 write 17/80 bar 100 wait 100 write 18/40" << "ok";
    QTest::newRow("program write JUMP") << station("FW-R-09-02") << Nothing << false << -1 << writingProgram(2, 3)
        << "write 16/2 bar 100 wait 100 write 17/80 bar 100 wait 100 write 18/40" << "ok";
    QTest::newRow("program write, silent: every block still tried")
        << station("FW-R-09-02") << Nothing << true << -1 << writingProgram(0, 3)
        << "write 16/2 write 16/2 write 16/2 bar 100 wait 100 write 0/40 write 0/40 write 0/40" << "failed PROG";

    // A whole set
    QTest::newRow("set read FW-R-09-01: in page order") << station("FW-R-09-01") << Nothing << false << -1 << readingSet(1)
        << "wait 10 read 0/4 wait 10 read 1/14 wait 10 read 2/14 wait 10 read 4/13 wait 10 read 5/13 wait 10 "
           "read 6/20 wait 10 read 3/15 wait 10 read 7/10 wait 10 read 8/4 wait 10 read 9/14 wait 10 read 10/3"
        << "ok";
    QTest::newRow("set read FW-R-09-02") << station("FW-R-09-02") << Nothing << false << -1 << readingSet(2)
        << "read 16/2 wait 10 read 1/14 wait 10 read 2/14 wait 10 read 4/13 wait 10 read 5/13 wait 10 read 6/20 "
           "wait 10 read 3/15 wait 10 read 7/10 wait 10 read 8/4 wait 10 read 9/14 wait 10 read 10/3 wait 10 "
           "read 14/4" + setPrograms("read")
        << "ok";
    QTest::newRow("set read FW-R-09-03: GO with its date") << station("FW-R-09-03") << Nothing << false << -1
        << readingSet(3)
        << "read 16/2 wait 10 read 1/14 wait 10 read 2/14 wait 10 read 4/13 wait 10 read 5/13 wait 10 read 6/20 "
           "wait 10 read 3/15 wait 10 read 7/10 wait 10 read 8/4 wait 10 read 9/14 wait 10 read 10/3 wait 10 "
           "read 14/7" + setPrograms("read")
        << "ok";
    QTest::newRow("set read, silent: ends at PROG") << station("FW-R-09-02") << Nothing << true << -1 << readingSet(2)
        << "read 16/2 wait 100 read 16/2 wait 100 read 16/2" << "failed PROG";
    QTest::newRow("set write FW-R-09-01: the setpoint last") << station("FW-R-09-01") << Nothing << false << -1
        << writingSet(1, 1)
        << "write 1/14 wait 10 write 2/14 wait 10 write 4/13 wait 10 write 5/13 wait 10 write 6/20 wait 10 "
           "write 3/15 wait 10 write 7/10 wait 10 write 8/4 wait 10 write 9/14 wait 10 write 10/3 wait 10 write 0/4"
        << "ok, DA 1";
    QTest::newRow("set write FW-R-09-02, ADD moves the station to 5")
        << station("FW-R-09-02") << Nothing << false << -1 << writingSet(2, 5)
        << "write 1/14 wait 10 write 2/14 wait 10 write 4/13 wait 10 write 5/13 wait 10 write 6/20 wait 10 "
           "write 3/15 wait 10 write 7/10 wait 10 write 8/4 wait 10 write 9/14 wait 10 write 10/3 wait 10 "
           "write 14/4@5" + setPrograms("write").replace("/40", "/40@5").replace("/80", "/80@5")
        << "ok, DA 5";
    QTest::newRow("set write, silent: ends at ALARM1, stays at its address")
        << station("FW-R-09-02") << Nothing << true << -1 << writingSet(2, 5)
        << "write 1/14 write 1/14 write 1/14" << "failed ALARM1, DA 1";

    // Record
    QTest::newRow("record, nothing taken meanwhile") << station("FW-R-09-01") << recordAt200(0) << false << -1
        << ReadingRecord << "read 10/3 read 12/100" + RecordBlocks + " read 12/100"
        << "ok, 200 to 200, 256 listed, newest 200.5";
    QTest::newRow("record, three taken meanwhile: the oldest three left out")
        << station("FW-R-09-01") << recordAt200(3) << false << -1 << ReadingRecord
        << "read 10/3 read 12/100" + RecordBlocks + " read 12/100" << "ok, 200 to 203, 253 listed, newest 200.5";
    QTest::newRow("record stopped after three blocks") << station("FW-R-09-01") << recordAt200(0) << false << 5
        << ReadingRecord
        << "read 10/3 read 12/100 bar 0 read 12/64 wait 270 wait 300 bar 1 read 12/64 wait 270 wait 300 "
           "bar 2 read 12/64 wait 270 wait 300"
        << "stopped, 200 to 200, 256 listed, newest 0";
}

void TestSequences::sequence()
{
    QFETCH(sim::SimulatorOptions, options);
    QFETCH(Setup, setup);
    QFETCH(bool, silent);
    QFETCH(int, stopAfter);
    QFETCH(Run, run);
    QFETCH(QString, log);
    QFETCH(QString, outcome);
    Rig rig(options);
    setup(rig);
    if (silent)
        rig.link.setTransport(&rig.silent);

    core::Steering steering;
    steering.progress = [&rig](const core::Progress& step) {
        rig.log << QStringLiteral("bar %1").arg(step.position) + (step.text && !step.text->isEmpty() ? " " + *step.text : "");
    };
    int requests = 0;
    rig.onRequest = [&, inner = rig.onRequest](const QString& request) {
        ++requests;
        if (inner)
            inner(request);
    };
    steering.stop = [&] { return stopAfter >= 0 && requests >= stopAfter; };
    core::Sequence sequence(rig.link, rig.waiter, steering);

    QCOMPARE(run(rig, sequence), outcome);
    QCOMPARE(rig.log.join(' '), log);
}

// The same sequence as one job on the session's own thread: the line sees the same telegrams
// and pauses, and the progress reaches this thread in order, before the result.
void TestSequences::sequenceOnSessionThread()
{
    QFETCH(sim::SimulatorOptions, options);
    QFETCH(Setup, setup);
    QFETCH(bool, silent);
    QFETCH(int, stopAfter);
    QFETCH(Run, run);
    QFETCH(QString, log);
    QFETCH(QString, outcome);
    Rig rig(options);
    setup(rig);
    SessionRunner runner(
        [&] {
            auto session = std::make_unique<ControllerSession>(rig.waiter);
            session->link().setTransport(silent ? static_cast<Transport*>(&rig.silent) : &rig.simulated);
            session->link().SetDA(1);
            session->link().addTrace(&rig.requests);
            return session;
        },
        SessionRunner::Mode::OwnThread);

    // The sequence waits behind a job that holds the thread until its stop handle is known here.
    kv10::test::Gate held;
    runner.post(nullptr, [&](ControllerSession&, const StopRequest&) { held.wait(); }, [] {});
    StopHandle stop;
    int requests = 0;
    rig.onRequest = [&, inner = rig.onRequest](const QString& request) {
        if (++requests == stopAfter)
            stop->request();
        if (inner)
            inner(request);
    };
    QStringList bars;
    std::optional<QString> ended;
    ControllerImage image;
    stop = core::postSequence(
        runner, this, image, core::ImageUse::Whole, [&](core::Sequence& sequence) { return run(rig, sequence); },
        [&](const core::Progress& step) {
            QVERIFY(!ended);
            bars << QStringLiteral("bar %1").arg(step.position) + (step.text && !step.text->isEmpty() ? " " + *step.text : "");
        },
        [&](QString result) { ended = result; });
    held.open();
    QTRY_VERIFY_WITH_TIMEOUT(ended.has_value(), 10000);

    QCOMPARE(*ended, outcome);
    // The expected log less its progress steps ("bar 20 KORVIN 10": the type read is shown),
    // which come here on their own.
    static const QRegularExpression barStep(QStringLiteral(" ?bar \\d+( KORVIN 10)?"));
    QStringList expectedBars;
    for (const QRegularExpressionMatch& match : barStep.globalMatch(log))
        expectedBars << match.captured().trimmed();
    QString expectedLine = log;
    expectedLine.remove(barStep);
    QCOMPARE(bars, expectedBars);
    QCOMPARE(rig.log.join(' '), expectedLine.trimmed());
}

QTEST_GUILESS_MAIN(TestSequences)
#include "tst_sequences.moc"
