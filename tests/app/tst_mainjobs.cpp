// The main window with the controller session on its own thread, in real time: the live reads
// are jobs, a tick that falls due while a job holds the line is lost, "Přečíst" pressed while
// the line is busy reads once, and closing the program during a silent read neither waits nor
// hangs. The controller is the simulated station in memory.
#include "CzechLocale.h"
#include "ControllerSession.h"
#include "DemoData.h"
#include "MainWindow.h"
#include "NoCommands.h"
#include "MemorySettings.h"
#include "ScriptedPrompts.h"
#include "SessionRunner.h"
#include "SetClock.h"
#include "SimulatedTransport.h"
#include "Telegram.h"
#include "TrendChart.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace kv10;
using namespace kv10::test;

namespace {


// The main window over a runner on its own thread, and the station behind the line.
struct Rig {
    MemorySettings settings;
    ScriptedPrompts prompts;
    SetClock clock{QDateTime(QDate(2026, 12, 7), QTime(14, 3, 0))};
    UnseededRandom random;
    NoCommands commands;
    sim::SimulatedStation station;
    sim::SimulatedTransport line{station};
    TraceHub* traces = nullptr;
    std::unique_ptr<SessionRunner> runner;
    ControllerImage image;
    std::unique_ptr<MainWindow> window;
    std::atomic<bool> held{false};

    explicit Rig(int recordPeriod)
    {
        settings.values["ZAZNAM/LIST"] = QString::number(recordPeriod);
        runner = std::make_unique<SessionRunner>(
            [this] {
                auto session = std::make_unique<ControllerSession>(sleepWaiter());
                session->link().setTransport(&line);
                traces = &session->link().traces();
                return session;
            },
            SessionRunner::Mode::OwnThread);
        window = std::make_unique<MainWindow>(MainWindowParts{settings, QString(), prompts, clock, *runner, image,
                                                              *traces, random, commands});
        window->Timer1->stop();   // the test ticks
    }
    ~Rig()
    {
        held = false;
        runner->shutdown();
    }
    template <typename T> T* find(const char* name) { return window->findChild<T*>(QString::fromLatin1(name)); }
    void tick()
    {
        clock.time = clock.time.addSecs(1);
        window->Timer1Timer();
    }
    // A job of another window that holds the line until let go.
    void hold()
    {
        held = true;
        runner->post(nullptr, [this](ControllerSession&, const StopRequest&) {
            while (held)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }, [] {});
    }
};

} // namespace

class TestMainJobs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(useCzechLocale(), CzechLocaleMissing); }
    void ticksAndReadsAroundJobs_data();
    void ticksAndReadsAroundJobs();
    void exitDuringSilentRead();
};

void TestMainJobs::ticksAndReadsAroundJobs_data()
{
    QTest::addColumn<int>("recordPeriod");
    // silent: the station stops answering; auto: "Automatické čtení" clicked; tick: a clock
    // second handled; read: "Přečíst"; novy: "Nový soubor", its dialog cancelled; hold/free: another job holds the line and lets it go;
    // (and waits until its job has come back); idle: every job has come back.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("requests");      // what the station was sent
    QTest::addColumn<int>("sampleCounter");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("logLines");
    QTest::addColumn<QString>("panel");
    QTest::newRow("answered sample")
        << 1 << QStringList{"auto", "tick", "idle"} << 1 << 0 << 1 << 1 << "spojeno";
    QTest::newRow("ticks while busy are not counted")
        << 3 << QStringList{"auto", "tick", "hold", "tick", "tick", "free", "tick"} << 0 << 2 << 0 << 0
        << "nečteno";
    QTest::newRow("Přečíst twice while busy reads once")
        << 1 << QStringList{"hold", "read", "read", "free"} << 1 << 0 << 1 << 0 << "spojeno";
    // The reads that begin a new log go with the old chart.
    QTest::newRow("new log after its reads")
        << 1 << QStringList{"auto", "tick", "idle", "novy", "idle"} << 3 << 0 << 0 << 4 << "spojeno";
    // One read, sent three times unanswered; the ticks while it waits and after the box is
    // unticked send nothing.
    QTest::newRow("unticked during a silent read")
        << 1 << QStringList{"silent", "auto", "tick", "tick", "tick", "auto", "idle", "tick"} << 3 << 0 << 1 << 1
        << "bez odpovědi, žádné hodnoty";
}

void TestMainJobs::ticksAndReadsAroundJobs()
{
    QFETCH(int, recordPeriod);
    QFETCH(QStringList, steps);
    Rig rig(recordPeriod);
    for (const QString& step : steps) {
        if (step == "silent") {
            rig.station.dropRequests(1000);
        } else if (step == "auto") {
            rig.find<QCheckBox>("check_auto")->click();
        } else if (step == "tick") {
            rig.tick();
        } else if (step == "novy") {
            rig.find<QAction>("mn_novy")->trigger();
        } else if (step == "read") {
            rig.find<QPushButton>("tl_precist")->click();
        } else if (step == "hold") {
            rig.hold();
        } else if (step == "free") {
            rig.held = false;
            QTRY_VERIFY_WITH_TIMEOUT(!rig.runner->busy(), 5000);
        } else if (step == "idle") {
            QTRY_VERIFY_WITH_TIMEOUT(!rig.runner->busy(), 5000);
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
    QTEST(rig.station.counters().totalRequests(), "requests");
    QTEST(rig.window->pollCycle().sampleCounter(), "sampleCounter");
    QTEST(int(rig.window->chart().pointCount()), "points");
    QTEST(int(rig.window->logBuffer().lineCount()), "logLines");
    QTEST(rig.find<QLabel>("pa_spojeni")->text(), "panel");
    QVERIFY(rig.prompts.messages().isEmpty());
}

// The window goes at once and writes its settings; the read in flight ends within its time-out
// and its values are never shown.
void TestMainJobs::exitDuringSilentRead()
{
    Rig rig(1);
    rig.station.dropRequests(1000);
    rig.window->show();
    rig.find<QCheckBox>("check_auto")->click();
    rig.tick();
    QVERIFY(rig.runner->busy());
    QTest::qWait(100);   // the request is out, its answer awaited

    QElapsedTimer closing;
    closing.start();
    rig.find<QAction>("mn_exit")->trigger();
    QVERIFY2(closing.elapsed() < 500, qPrintable(QString::number(closing.elapsed())));
    QVERIFY(!rig.window->isVisible());
    QVERIFY2(rig.settings.writes.contains("ZAZNAM/LIST=1"), qPrintable(rig.settings.writes.join(' ')));

    rig.runner->shutdown();
    // The read under way ends within its time-out (552 ms), with room for a loaded machine.
    QVERIFY2(closing.elapsed() < 1500, qPrintable(QString::number(closing.elapsed())));
    QCoreApplication::processEvents();
    QCOMPARE(rig.window->chart().pointCount(), 0);
    QVERIFY(rig.station.counters().totalRequests() <= 3);
}

QTEST_MAIN(TestMainJobs)
#include "tst_mainjobs.moc"
