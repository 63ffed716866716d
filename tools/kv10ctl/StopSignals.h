// Ctrl-C, SIGTERM and a reader that went away, as the long loops see them.
#pragma once

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

void waitUnlessStopped(int ms);

} // namespace kv10::ctl
