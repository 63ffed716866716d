// Faults of the line while a command runs, against the simulated controller: a station that
// stops answering, answers too late, with a wrong checksum, with garbage before the frame, or
// refuses a write. Each command shows its own message once (or none where a retry or the
// command's rules cover the fault) and leaves the controller and the image as the probe says.
// The rows run on the in-memory line in test time, time-outs and pauses included; one row
// goes over a pseudo-terminal in real time, so the serial port's own reads are covered too.
#include "CzechLocale.h"
#include "AppContext.h"
#include "ControllerRecordWindow.h"
#include "ParameterEditor.h"
#include "ParameterReadoutDialog.h"
#include "ScriptedPrompts.h"
#include "MemorySettings.h"
#include "SimulatedTransport.h"
#include "StartedSimulator.h"
#include "TestTime.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace kv10;
using namespace kv10::test;

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void oneMessageAndAConsistentState_data();
    void oneMessageAndAConsistentState();
};

void TestFaults::initTestCase()
{
    QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing);
}

namespace {

// "drop 2", "corrupt 2", "garbage 2", "refuse 2", "delay 1500" for the simulator.
void applyFault(sim::SimulatedStation& sim, const QString& fault)
{
    const QString kind = fault.section(' ', 0, 0);
    const int n = fault.section(' ', 1).toInt();
    if (kind == "drop")
        sim.dropRequests(n);
    else if (kind == "corrupt")
        sim.corruptAnswers(n);
    else if (kind == "garbage")
        sim.garbageBeforeAnswers(n);
    else if (kind == "refuse")
        sim.refuseWrites(n);
    else if (kind == "delay")
        sim.setAnswerDelayMs(n);
    else if (kind == "truncate")
        sim.truncateAnswers(n);
}

} // namespace

void TestFaults::oneMessageAndAConsistentState_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("held");       // requests of the command answered before the fault
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("probe");

    const QStringList none;
    const QStringList writeError{"Komunikace: Chyba při zápisu"};
    // The PID page's PB goes from 5 to 12,5.
    QTest::newRow("page write, no fault") << "page write" << 0 << "" << none << "12.5";
    // After two reads with nothing the request goes once more, and that repeat's answer is
    // never read: the station may hold the value although the write is reported as failed.
    QTest::newRow("page write, silent") << "page write" << 0 << "drop 2" << writeError << "12.5";
    QTest::newRow("page write, one lost request") << "page write" << 0 << "drop 1" << none << "12.5";
    QTest::newRow("page write, refused") << "page write" << 0 << "refuse 2" << writeError << "5";
    // A bad acknowledgement is not asked for again: one refusal fails the write, though the
    // repeat that follows the empty read may still store the value.
    QTest::newRow("page write, refused once") << "page write" << 0 << "refuse 1" << writeError << "12.5";
    // The station took the value; only its acknowledgements were spoilt.
    QTest::newRow("page write, bad checksum") << "page write" << 0 << "corrupt 2" << writeError << "12.5";
    QTest::newRow("page write, garbage") << "page write" << 0 << "garbage 2" << writeError << "12.5";
    QTest::newRow("page write, garbage once") << "page write" << 0 << "garbage 1" << writeError << "12.5";
    QTest::newRow("page write, too slow") << "page write" << 0 << "delay 1500" << writeError << "12.5";
    QTest::newRow("page write, slow") << "page write" << 0 << "delay 300" << none << "12.5";
    QTest::newRow("page write, silent, real time") << "page write on a pseudo-terminal" << 0 << "drop 2" << writeError << "12.5";

    // RAMP program 3 (the simulator starts it at 20): PROG, start values, setpoints, times.
    // The start value block fails and the later blocks still go.
    QTest::newRow("program write, silent") << "program write" << 1 << "drop 2" << writeError << "start 4 sp 21 time 20";
    QTest::newRow("program write, refused") << "program write" << 1 << "refuse 2" << writeError << "start 20 sp 21 time 20";
    QTest::newRow("program write, bad checksum") << "program write" << 1 << "corrupt 2" << writeError << "start 4 sp 21 time 20";
    QTest::newRow("program write, too slow") << "program write" << 1 << "delay 1500" << writeError << "start 4 sp 21 time 20";

    // Read-out: ERRO, type and version, then PROG and the SP program's start values, then
    // ALARM1 and ALARM2. A table that fails keeps its old values; only the version decides.
    const QStringList unknown{"Komunikace: Chyba při čtení nebo neznámé zařízení"};
    QTest::newRow("read-out, no fault") << "read-out" << 0 << "" << none << "alarm1 33 alarm2 44";
    QTest::newRow("read-out, silent at the version") << "read-out" << 2 << "drop 2" << unknown << "alarm1 0 alarm2 0";
    QTest::newRow("read-out, bad checksum at the version") << "read-out" << 2 << "corrupt 2" << unknown << "alarm1 0 alarm2 0";
    QTest::newRow("read-out, silent at ALARM1") << "read-out" << 5 << "drop 2" << none << "alarm1 0 alarm2 44";
    QTest::newRow("read-out, garbage at ALARM1") << "read-out" << 5 << "garbage 2" << none << "alarm1 0 alarm2 44";
    QTest::newRow("read-out, truncated at ALARM1") << "read-out" << 5 << "truncate 2" << none << "alarm1 0 alarm2 44";

    // Record: ADD, RECD, 16 blocks, RECD. A failed block leaves a message and the list, its
    // samples as they were (zero), and no block takes another's answer.
    const QStringList recordError{"Komunikace: Chyba při čtení záznamu"};
    QTest::newRow("record, silent block") << "record" << 5 << "drop 2" << recordError << "262: 100,25 64,25 0,00 47,25";
    QTest::newRow("record, two bad blocks") << "record" << 5 << "corrupt 4" << recordError << "262: 100,25 0,00 0,00 47,25";
}

void TestFaults::oneMessageAndAConsistentState()
{
    QFETCH(QString, command);
    QFETCH(int, held);
    QFETCH(QString, fault);
    QFETCH(QStringList, boxes);
    QFETCH(QString, probe);

    sim::SimulatorOptions simOptions;
    simOptions.deviceVersion = "FW-R-09-03";
    // In memory on one test clock: the station, the line, the link's time-outs and the
    // program's own pauses (the pacing between blocks is part of the protocol).
    TestClock clock;
    TestWaiter waiter(clock);
    std::unique_ptr<sim::SimulatedStation> sim;
    std::unique_ptr<sim::SimulatedTransport> line;
    QTemporaryDir dir;
    const QString realTime = " on a pseudo-terminal";
    const bool onTerminal = command.endsWith(realTime);
    if (onTerminal) {
        command.chop(realTime.size());
        simOptions.linkPath = kv10::test::deviceLinkAt(QDir(dir.path()).filePath("ttyKV10"));
        QString error;
        sim = startSimulator(simOptions, error);
        QVERIFY2(sim, qPrintable(error));
    } else {
        sim = std::make_unique<sim::SimulatedStation>(simOptions, clock);
        line = std::make_unique<sim::SimulatedTransport>(*sim);
    }
    sim->setLiveRunning(false);
    sim->modifyImage([](ControllerImage& image) {
        image.pid.pb = 5;
        image.alarm1.splo = 33;
        image.alarm2.splo = 44;
        image.prog = {0, 3};
        for (int k = 0; k < RecordValueCount; ++k)
            image.recordValues[k] = float(k) + 0.25f;
        image.recd.pos = 100;
    });

    MemorySettings settings;
    ScriptedPrompts prompts;
    AppOptions options;
    options.sessionMode = SessionRunner::Mode::Inline;
    options.settings = &settings;
    options.prompts = &prompts;
    if (onTerminal) {
        options.com1Device = static_cast<sim::SimulatedController&>(*sim).devicePath();
    } else {
        options.waiter = &waiter;
        options.monotonicClock = &clock;
        options.com1Transport = line.get();
    }
    AppContext app(options);
    app.createWindows();
    QVERIFY(prompts.messages().isEmpty());

    ParameterEditor& editor = app.parameterEditor();
    editor.setFirmwareVariantSource([] { return 3; });
    if (command == "page write" || command == "program write") {
        ControllerImage& image = app.image();
        image.pid.pb = 5;
        image.prog = {1, 3};
        image.startValue.fill(4);
        for (int s = 0; s < SegmentCount; ++s) {
            image.segmentSetpoint[3][s] = float(21 + s);
            image.segmentTime[3][s] = 20 - s;
        }
        editor.show();
        editor.setActivePage(command == "page write" ? ParameterEditor::PagePid : ParameterEditor::PageComp);
        editor.ImageToPage(command == "page write" ? ParameterEditor::PagePid : ParameterEditor::PageComp);
        if (command == "page write")
            editor.findChild<QLineEdit*>("ed_pb")->setText("12,5");
    }

    sim->holdFaults(held);
    applyFault(*sim, fault);
    if (command == "read-out") {
        app.readoutDialog().show();
        QTRY_VERIFY_WITH_TIMEOUT(!app.readoutDialog().isVisible(), 30000);
    } else if (command == "record") {
        app.recordWindow().show();
        app.recordWindow().tl_cteniClick();
    } else {
        editor.tl_zapisClick();
    }

    QCOMPARE(prompts.boxes(), boxes);

    // The station may still be taking a repeat that nobody waits for.
    const auto state = [&] {
        const ControllerImage controller = sim->image();
        const ControllerImage& image = app.image();
        QString seen;
        if (command == "page write") {
            seen = QString::number(controller.pid.pb);
        } else if (command == "program write") {
            seen = QString("start %1 sp %2 time %3").arg(controller.startValue[3]).arg(controller.segmentSetpoint[3][0])
                       .arg(controller.segmentTime[3][0]);
        } else if (command == "read-out") {
            seen = QString("alarm1 %1 alarm2 %2").arg(image.alarm1.splo).arg(image.alarm2.splo);
        } else {
            auto* list = app.recordWindow().findChild<QListWidget*>("ListBox");
            // Lines 1, 37, 51 and 54: the elements 100, 64 (block 4), 50 (block 3) and 47 (block 2).
            seen = QString::number(list->count()) + ":";
            for (int line : {1, 37, 51, 54})
                seen += " " + list->item(5 + line)->text().section(";   ", 1);
        }
        return seen;
    };
    QTRY_COMPARE_WITH_TIMEOUT(state(), probe, 10000);
    editor.hide();
    app.recordWindow().hide();
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
