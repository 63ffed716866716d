#include "Timing.h"

#include <QThread>

namespace kv10 {

void SleepWaiter::waitMs(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

SystemClock& systemClock()
{
    static SystemClock clock;
    return clock;
}

SleepWaiter& sleepWaiter()
{
    static SleepWaiter waiter;
    return waiter;
}

} // namespace kv10
