// How long the record window's thread stays away from its event loop while it reads out the
// controller's record (ADD, RECD, sixteen blocks with their waits, RECD): the session on its
// own thread, and inline on the window's thread as the build before did. The controller is
// the simulated station in memory; the link's waits are real.
#include "GuiStallMeter.h"

#include "ControllerRecordWindow.h"
#include "ControllerSession.h"
#include "ScriptedPrompts.h"
#include "SessionRunner.h"
#include "SimulatedStation.h"
#include "SimulatedTransport.h"
#include "Timing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>

#include <cstdio>
#include <memory>

using namespace kv10;

namespace {


struct Figures {
    double longestStallMs = 0;
    double readOutMs = 0;
    int lines = 0;
};

Figures readOut(SessionRunner::Mode mode)
{
    sim::SimulatedStation station;
    sim::SimulatedTransport transport{station};
    SessionRunner runner(
        [&] {
            auto session = std::make_unique<ControllerSession>(sleepWaiter());
            session->link().setTransport(&transport);
            return session;
        },
        mode);
    test::ScriptedPrompts prompts;   // no box waits for an answer; every dialog is cancelled
    ControllerImage image;
    ControllerRecordWindow window(runner, image, prompts);
    window.show();
    bench::GuiStallMeter meter;
    meter.watch(500);   // the window's first paint is not the read-out's
    QElapsedTimer clock;
    Figures figures;
    figures.longestStallMs = meter.watch(
        30000,
        [&] {
            clock.start();
            window.tl_cteniClick();
        },
        [&] { return clock.isValid() && !window.reading(); });
    figures.readOutMs = clock.nsecsElapsed() / 1e6;
    figures.lines = window.findChild<QListWidget*>()->count();
    runner.shutdown();
    return figures;
}

void print(const char* how, const Figures& figures)
{
    // Figures with a decimal point whatever the locale.
    std::printf("record read-out, %s: longest GUI stall %s ms, read-out %s ms, %d lines listed\n", how,
                qPrintable(QString::number(figures.longestStallMs, 'f', 1)),
                qPrintable(QString::number(figures.readOutMs, 'f', 0)), figures.lines);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    print("session on its own thread", readOut(SessionRunner::Mode::OwnThread));
    print("inline on the GUI thread, the build before", readOut(SessionRunner::Mode::Inline));
    return 0;
}
