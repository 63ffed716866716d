// The session runner, on its own thread and inline: jobs run one at a time in the order handed
// and their results come back on this thread; a job whose window is gone delivers nothing; a
// job that throws is reported; shutting down in the middle of a silent read ends within that
// read's time-out and runs nothing more. The line is the simulated station in memory, in real time.
#include "SessionRunner.h"
#include "SimulatedStation.h"
#include "SimulatedTransport.h"
#include "AppError.h"
#include "Gate.h"
#include "TableCodec.h"

#include <QElapsedTimer>
#include <QTest>
#include <memory>

using namespace kv10;

namespace {

using Mode = SessionRunner::Mode;

sim::SimulatorOptions oneStation()
{
    sim::SimulatorOptions options;
    options.addresses = {1};
    return options;
}

struct Line {
    sim::SimulatedStation station{oneStation()};
    sim::SimulatedTransport transport{station};

    std::unique_ptr<SessionRunner> runner(Mode mode)
    {
        return std::make_unique<SessionRunner>(
            [this] {
                auto session = std::make_unique<ControllerSession>(sleepWaiter());
                session->link().setTransport(&transport);
                session->link().SetDA(1);
                return session;
            },
            mode);
    }
};

} // namespace

Q_DECLARE_METATYPE(SessionRunner::Mode)

class TestSessionRunner : public QObject {
    Q_OBJECT
private slots:
    void jobs_data();
    void jobs();
    void shutdownDuringSilentRead();
};

void TestSessionRunner::jobs_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("events");
    QTest::addRow("own thread") << Mode::OwnThread << "first 7.5 | failed: Port COM3 nelze otevřít | last 7.5";
    // Inline, the window is still open when its job ends.
    QTest::addRow("inline") << Mode::Inline
                            << "first 7.5 | closed window told | failed: Port COM3 nelze otevřít | last 7.5";
}

// Four jobs: two reads, one whose window is closed before it ends, one that throws. The
// reads' results come back in order, on this thread; the closed window gets nothing; the
// failure is reported; then the runner is idle.
void TestSessionRunner::jobs()
{
    QFETCH(Mode, mode);
    QFETCH(QString, events);
    Line line;
    line.station.modifyImage([](ControllerImage& image) { image.comp.sp = 7.5f; });
    auto runner = line.runner(mode);
    QStringList told;
    QList<bool> busy;
    connect(runner.get(), &SessionRunner::busyChanged, this, [&](bool now) { busy << now; });
    connect(runner.get(), &SessionRunner::jobFailed, this, [&](const QString& text) { told << "failed: " + text; });
    QThread* const here = QThread::currentThread();

    auto readAddress = [](ControllerSession& session, const StopRequest&) {
        const bool read = session.link().ReadTable(TableComp);
        return read ? double(session.image().comp.sp) : -1.0;
    };
    auto closedWindow = std::make_unique<QObject>();
    runner->post(this, readAddress, [&](double address) {
        told << QStringLiteral("first %1%2").arg(address).arg(QThread::currentThread() == here ? "" : " elsewhere");
    });
    runner->post(closedWindow.get(), readAddress, [&](double) { told << "closed window told"; });
    runner->post(this, [](ControllerSession&, const StopRequest&) -> double { throw AppError(QStringLiteral("Port COM3 nelze otevřít")); },
                 [&](double) { told << "thrown told"; });
    runner->post(this, readAddress, [&](double address) { told << QStringLiteral("last %1").arg(address); });
    closedWindow.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!runner->busy(), 5000);

    QCOMPARE(told.join(" | "), events);
    QCOMPARE(line.station.counters().totalRequests(), 3);
    // Inline, each job is done before the next is handed over.
    const QList<bool> expectedBusy = mode == Mode::Inline ? QList<bool>{true, false, true, false, true, false, true, false}
                                                          : QList<bool>{true, false};
    QCOMPARE(busy, expectedBusy);
}

// A read of a station that does not answer waits out its time-out (500 + 2 * 9 ms). Closing
// the program meanwhile ends it within that, runs nothing queued after it and delivers nothing.
void TestSessionRunner::shutdownDuringSilentRead()
{
    Line line;
    line.station.dropRequests(1000);
    auto runner = line.runner(Mode::OwnThread);
    kv10::test::Gate reading;
    QStringList events;
    runner->post(
        this,
        [&](ControllerSession& session, const StopRequest&) -> bool {
            reading.open();
            return session.link().ReadTable(TableAdd);
        },
        [&](bool) { events << "read told"; });
    runner->post(this, [&](ControllerSession&, const StopRequest&) { events << "queued job ran"; }, [&] { events << "queued told"; });
    QVERIFY(reading.waitFor(5000));

    QElapsedTimer closing;
    closing.start();
    runner->shutdown();
    const qint64 closedAfterMs = closing.elapsed();
    QCoreApplication::processEvents();

    QVERIFY2(closedAfterMs < 1500, qPrintable(QString::number(closedAfterMs)));
    QCOMPARE(events, QStringList());
    QVERIFY(!runner->busy());
    QCOMPARE(line.station.counters().totalRequests(), 1);
}

QTEST_GUILESS_MAIN(TestSessionRunner)
#include "tst_sessionrunner.moc"
