// How long the main window stops responding while it reads a controller that never answers:
// "Automatické čtení" on for a while, the session on its own thread and, for comparison, run
// inline on the GUI thread as the build before did. Then what handing a live read to the
// session's thread costs on a good line: the job's round trip minus the exchange itself.
// The controller is the simulated station in memory, answering in real time.
#include "GuiStallMeter.h"

#include "ControllerSession.h"
#include "DemoData.h"
#include "MemorySettings.h"
#include "MainWindow.h"
#include "NoCommands.h"
#include "ScriptedPrompts.h"
#include "SequenceJob.h"
#include "SessionRunner.h"
#include "SimulatedTransport.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMap>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kv10;

namespace {

// A station in memory and a session runner over it.
struct Line {
    sim::SimulatedStation station;
    sim::SimulatedTransport transport{station};
    TraceHub* traces = nullptr;
    std::unique_ptr<SessionRunner> runner;

    explicit Line(SessionRunner::Mode mode)
    {
        runner = std::make_unique<SessionRunner>(
            [this] {
                auto session = std::make_unique<ControllerSession>(sleepWaiter());
                session->link().setTransport(&transport);
                traces = &session->link().traces();
                return session;
            },
            mode);
    }
    ~Line() { runner->shutdown(); }
};

// The longest stall of the main window's thread while it reads a silent station automatically.
double silentAutoRead(SessionRunner::Mode mode, int seconds, int& requests)
{
    Line line(mode);
    line.station.dropRequests(1 << 30);
    test::MemorySettings settings;
    test::ScriptedPrompts prompts;   // no box waits for an answer; every dialog is cancelled
    UnseededRandom random;
    test::NoCommands commands;
    ControllerImage image;
    MainWindow window(MainWindowParts{settings, QString(), prompts, systemClock(), *line.runner, image,
                                      *line.traces, random, commands});
    window.show();
    bench::GuiStallMeter meter;
    meter.watch(500);   // the window's first paint is not the poll's
    const double longest = meter.watch(seconds * 1000, [&window] {
        window.findChild<QCheckBox*>(QStringLiteral("check_auto"))->click();
    });
    requests = line.station.counters().totalRequests();
    return longest;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A live read handed over as the main window hands it: the round trip from handing over to the
// values on the window's thread, and within it the exchange, both in ms.
void liveReadOverhead(int runs, std::vector<double>& overheads, std::vector<double>& exchanges)
{
    Line line(SessionRunner::Mode::OwnThread);
    ControllerImage image;
    QObject context;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer roundTrip;
        QEventLoop loop;
        double exchangeMs = 0;
        roundTrip.start();
        core::postSequence(
            *line.runner, &context, image, core::ImageUse::LiveOnly,
            [](core::Sequence& sequence) {
                QElapsedTimer exchange;
                exchange.start();
                const bool answered = sequence.readTable(TableLive);
                return answered ? exchange.nsecsElapsed() / 1e6 : -1.0;
            },
            {},
            [&](double ms) {
                exchangeMs = ms;
                loop.quit();
            });
        loop.exec();
        const double totalMs = roundTrip.nsecsElapsed() / 1e6;
        if (exchangeMs < 0) {
            std::fprintf(stderr, "the station did not answer\n");
            std::exit(1);
        }
        overheads.push_back(totalMs - exchangeMs);
        exchanges.push_back(exchangeMs);
    }
}

// Figures with a decimal point whatever the locale.
QString ms(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals);
}

void print(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? std::max(1, args[1].toInt()) : 20;

    int requests = 0;
    const double ownThread = silentAutoRead(SessionRunner::Mode::OwnThread, seconds, requests);
    print(QStringLiteral("longest GUI stall during silent auto-read: %1 ms (session on its own thread; %2 s, %3 requests)")
              .arg(ms(ownThread)).arg(seconds).arg(requests));
    const double inlineMs = silentAutoRead(SessionRunner::Mode::Inline, seconds, requests);
    print(QStringLiteral("longest GUI stall during silent auto-read: %1 ms (inline on the GUI thread, the build before; "
                         "%2 s, %3 requests)")
              .arg(ms(inlineMs)).arg(seconds).arg(requests));

    constexpr int Reads = 200;
    std::vector<double> overheads;
    std::vector<double> exchanges;
    liveReadOverhead(Reads, overheads, exchanges);
    print(QStringLiteral("live read on a good line: job overhead %1 ms median, %2 ms max; the exchange itself %3 ms "
                         "median (%4 reads)")
              .arg(ms(median(overheads), 3), ms(*std::max_element(overheads.begin(), overheads.end()), 3),
                   ms(median(exchanges), 3))
              .arg(Reads));
    return 0;
}
