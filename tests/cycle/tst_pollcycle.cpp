// The poll cycle on a fake clock, without widgets: which ticks act, what each handled second
// asks its owner for, the counters across new logs and rate changes, and the link state text.
#include "PollCycle.h"
#include "SetClock.h"
#include "Timing.h"

#include <QtTest>

using namespace kv10;

namespace {

// A cycle whose steps are noted as "<handled seconds so far><step>": S a sample read,
// R a read for display only, D a demo step, W a write of the log file.
struct Rig {
    test::SetClock clock{QDateTime(QDate(2026, 12, 7), QTime(14, 3, 0))};
    PollCycle cycle{clock};
    int handled = 0;
    QStringList events;

    Rig()
    {
        cycle.setSteps({
            [this] { ++handled; },
            [this] { note('D'); },
            [this](PollCycle::Read read) { note(read == PollCycle::Read::Sample ? 'S' : 'R'); },
            [this] { note('W'); },
        });
    }
    void note(char step) { events << QString::number(handled) + QLatin1Char(step); }
    void setModes(const QString& modes)
    {
        const QStringList list = modes.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        cycle.setDemo(list.contains(QLatin1String("demo")));
        cycle.setAutoRead(list.contains(QLatin1String("auto")));
        cycle.setFileWrite(list.contains(QLatin1String("file")));
    }
    // The next tick a clock second later.
    void tickNextSecond()
    {
        clock.time = clock.time.addSecs(1);
        cycle.tick();
    }
};

QList<int> everySecond(int count)
{
    QList<int> ms;
    for (int i = 1; i <= count; ++i)
        ms << i * 1000;
    return ms;
}

} // namespace

class TestPollCycle : public QObject {
    Q_OBJECT
private slots:
    void handledSecondsAskForSteps_data();
    void handledSecondsAskForSteps();
    void countersAcrossNewLogsAndRates_data();
    void countersAcrossNewLogsAndRates();
    void linkStateText_data();
    void linkStateText();
};

void TestPollCycle::handledSecondsAskForSteps_data()
{
    QTest::addColumn<QString>("modes");
    QTest::addColumn<int>("recordPeriod");
    QTest::addColumn<int>("recordUnit");
    QTest::addColumn<int>("filePeriod");
    QTest::addColumn<QList<int>>("ticks");   // ms after 14:03:00
    QTest::addColumn<int>("handled");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("five ticks in a second, one read") << "auto" << 1 << 1 << 15 << QList<int>{10000, 10200, 10400, 10600, 10800}
                                                     << 1 << QStringList{"1S"};
    QTest::newRow("second 0 at start is no new second") << "auto" << 1 << 1 << 15 << QList<int>{0, 999, 1000} << 1
                                                        << QStringList{"1S"};
    QTest::newRow("a minute later: the same second") << "auto" << 1 << 1 << 15 << QList<int>{10000, 70000, 71000} << 2
                                                     << QStringList{"1S", "2S"};
    QTest::newRow("seconds skipped are not made up") << "auto" << 3 << 1 << 15 << QList<int>{1000, 2000, 9000, 59000} << 4
                                                     << QStringList{"3S"};
    QTest::newRow("neither box: seconds handled, nothing asked") << "" << 1 << 1 << 15 << everySecond(3) << 3 << QStringList{};
    QTest::newRow("demo before reading and writing") << "demo auto file" << 1 << 1 << 1 << everySecond(2) << 2
                                                     << QStringList{"1D", "2D"};
    QTest::newRow("every third second") << "auto" << 3 << 1 << 15 << everySecond(7) << 7 << QStringList{"3S", "6S"};
    QTest::newRow("file written every minute") << "auto file" << 60 << 1 << 1 << everySecond(120) << 120
                                               << QStringList{"60S", "60W", "120S", "120W"};
    QTest::newRow("file box alone writes nothing") << "file" << 1 << 1 << 1 << everySecond(120) << 120 << QStringList{};
    QTest::newRow("five minutes") << "auto" << 5 << 60 << 15 << everySecond(300) << 300 << QStringList{"300S"};
    QTest::newRow("large stored periods") << "auto file" << 1000000 << 60000 << 100000000 << everySecond(3) << 3
                                          << QStringList{};
}

void TestPollCycle::handledSecondsAskForSteps()
{
    QFETCH(QString, modes);
    QFETCH(int, recordPeriod);
    QFETCH(int, recordUnit);
    QFETCH(int, filePeriod);
    QFETCH(QList<int>, ticks);
    Rig rig;
    rig.setModes(modes);
    rig.cycle.setRates({recordPeriod, recordUnit, filePeriod});
    const QDateTime start = rig.clock.time;
    for (const int ms : ticks) {
        rig.clock.time = start.addMSecs(ms);
        rig.cycle.tick();
    }
    QTEST(rig.handled, "handled");
    QTEST(rig.events, "events");
}

void TestPollCycle::countersAcrossNewLogsAndRates_data()
{
    // t: a tick a second later, n: "Přečíst", s: the sample step of a new log,
    // 0: a new log's counter restart, rN: a record period of N seconds
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("sampleCounter");
    QTest::addColumn<int>("fileCounter");
    QTest::newRow("a new log restarts both") << "r5 t t t 0 t" << QStringList{} << 1 << 1;
    QTest::newRow("a shorter period at the next second") << "r10 t t t t t r3 t" << QStringList{"6S"} << 0 << 6;
    QTest::newRow("a longer period counts on") << "r2 t r4 t t t" << QStringList{"4S"} << 0 << 4;
    QTest::newRow("Přečíst reads and counts nothing") << "r10 t n t" << QStringList{"1R"} << 2 << 2;
    QTest::newRow("a new log's sample at one second") << "r1 0 s" << QStringList{"0S"} << 0 << 0;
    QTest::newRow("a new log's sample at a longer period") << "r5 t t 0 s" << QStringList{} << 1 << 0;
}

void TestPollCycle::countersAcrossNewLogsAndRates()
{
    QFETCH(QString, script);
    Rig rig;
    rig.setModes(QStringLiteral("auto file"));
    for (const QString& step : script.split(QLatin1Char(' '))) {
        if (step == QLatin1String("t"))
            rig.tickNextSecond();
        else if (step == QLatin1String("n"))
            rig.cycle.readNow();
        else if (step == QLatin1String("s"))
            rig.cycle.sampleStep();
        else if (step == QLatin1String("0"))
            rig.cycle.restartCounters();
        else
            rig.cycle.setRates({step.mid(1).toInt(), 1, 15});
    }
    QTEST(rig.events, "events");
    QTEST(rig.cycle.sampleCounter(), "sampleCounter");
    QTEST(rig.cycle.fileCounter(), "fileCounter");
}

void TestPollCycle::linkStateText_data()
{
    QTest::addColumn<QString>("reads");   // A answered, - no answer, x port not open
    QTest::addColumn<int>("ageMs");       // clock time from the reads to now
    QTest::addColumn<QString>("text");
    QTest::newRow("not read") << "" << 0 << "nečteno";
    QTest::newRow("answered") << "A" << 0 << "spojeno";
    QTest::newRow("answered 1.999 s ago") << "A" << 1999 << "spojeno";
    QTest::newRow("answered 2 s ago") << "A" << 2000 << "spojeno, hodnoty staré 2 s";
    QTest::newRow("119.999 s") << "A" << 119999 << "spojeno, hodnoty staré 119 s";
    QTest::newRow("120 s in minutes") << "A" << 120000 << "spojeno, hodnoty staré 2 min";
    QTest::newRow("just under 2 h") << "A" << 7199999 << "spojeno, hodnoty staré 119 min";
    QTest::newRow("2 h in hours") << "A" << 7200000 << "spojeno, hodnoty staré 2 h";
    QTest::newRow("clock set back") << "A" << -30000 << "spojeno";
    QTest::newRow("silent after an answer") << "A-" << 35000 << "bez odpovědi, hodnoty staré 35 s";
    QTest::newRow("silent at once: the age shows") << "A-" << 0 << "bez odpovědi, hodnoty staré 0 s";
    QTest::newRow("clock set back after a silence") << "A-" << -30000 << "bez odpovědi, hodnoty staré 0 s";
    QTest::newRow("never answered") << "-" << 5000 << "bez odpovědi, žádné hodnoty";
    QTest::newRow("port not open") << "xx" << 0 << "port nedostupný, žádné hodnoty";
    QTest::newRow("port gone after an answer") << "Ax" << 1000 << "port nedostupný, hodnoty staré 1 s";
    QTest::newRow("answered again") << "A-A" << 0 << "spojeno";
}

void TestPollCycle::linkStateText()
{
    QFETCH(QString, reads);
    QFETCH(int, ageMs);
    Rig rig;
    for (const QChar read : reads)
        rig.cycle.readDone(read == QLatin1Char('A'), read != QLatin1Char('x'));
    rig.clock.time = rig.clock.time.addMSecs(ageMs);
    QTEST(rig.cycle.linkStatusText(), "text");
}

QTEST_APPLESS_MAIN(TestPollCycle)
#include "tst_pollcycle.moc"
