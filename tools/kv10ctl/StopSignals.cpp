#include "StopSignals.h"

#include "Timing.h"

#include <QDeadlineTimer>
#include <QtGlobal>

#include <algorithm>
#include <atomic>

namespace kv10::ctl {

namespace {

constexpr int StopCheckMs = 50;

// Ctrl-C or SIGTERM inside a long loop ends the loop, and a reader that went away (SIGPIPE)
// only ends the output, so the port is closed as usual: a pseudo-terminal left with our line
// settings by a killed process cannot be opened again. Outside such loops Ctrl-C and SIGTERM
// end the program at once.
volatile std::sig_atomic_t stopRequestedFlag = 0;
volatile std::sig_atomic_t stopDeferredFlag = 0;
// The job a stop signal stops; its request is one lock-free store.
std::atomic<StopRequest*> signalledJob{nullptr};

extern "C" void onStopSignal(int signalNumber)
{
#ifdef SIGPIPE
    const bool readerGone = signalNumber == SIGPIPE;
#else
    const bool readerGone = false;
#endif
    if (stopDeferredFlag || readerGone) {
        stopRequestedFlag = 1;
        if (StopRequest* job = signalledJob.load())
            job->request();
        return;
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

} // namespace

void installStopHandlers()
{
#ifdef Q_OS_WIN
    // The C runtime runs the handler for Ctrl-C and Ctrl-Break; Windows has no SIGPIPE.
    for (int signalNumber : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(signalNumber, onStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGPIPE})
        sigaction(signalNumber, &action, nullptr);
#endif
}

bool stopRequested()
{
    return stopRequestedFlag != 0;
}

StopDeferral::StopDeferral()
{
    stopDeferredFlag = 1;
}

StopDeferral::~StopDeferral()
{
    stopDeferredFlag = 0;
}

JobStopOnSignal::JobStopOnSignal(StopHandle job) : m_job(std::move(job))
{
    signalledJob.store(m_job.get());
    if (stopRequested())
        m_job->request();
}

JobStopOnSignal::~JobStopOnSignal()
{
    signalledJob.store(nullptr);
}

void waitUnlessStopped(int ms)
{
    const QDeadlineTimer deadline(ms);
    for (qint64 left = deadline.remainingTime(); left > 0 && !stopRequested(); left = deadline.remainingTime())
        sleepWaiter().waitMs(int(std::min<qint64>(left, StopCheckMs)));
}

} // namespace kv10::ctl
