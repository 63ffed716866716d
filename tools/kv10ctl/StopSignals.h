// Ctrl-C, SIGTERM and a reader that went away, as the long loops see them.
#pragma once

#include "SessionRunner.h"

#include <csignal>

namespace kv10::ctl {

void installStopHandlers();
bool stopRequested();

// While one lives, Ctrl-C and SIGTERM only ask the loop to stop.
class StopDeferral {
public:
    StopDeferral();
    ~StopDeferral();
    StopDeferral(const StopDeferral&) = delete;
    StopDeferral& operator=(const StopDeferral&) = delete;
};

// While one lives (inside a StopDeferral), Ctrl-C and SIGTERM also stop `job` before its
// next exchange; at once when one came before.
class JobStopOnSignal {
public:
    explicit JobStopOnSignal(StopHandle job);
    ~JobStopOnSignal();
    JobStopOnSignal(const JobStopOnSignal&) = delete;
    JobStopOnSignal& operator=(const JobStopOnSignal&) = delete;

private:
    StopHandle m_job;
};

void waitUnlessStopped(int ms);

} // namespace kv10::ctl
