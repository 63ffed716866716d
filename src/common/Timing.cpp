#include "Timing.h"

#include <chrono>
#include <thread>

namespace kv10 {

void SleepWaiter::waitMs(int ms)
{
    if (ms <= 0)
        return;
    // A plain sleep overshoots by a few tenths of a millisecond, which every read-out pays
    // a dozen times over: sleep to just before the end, then yield until it has come.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    constexpr auto Slack = std::chrono::microseconds(400);
    if (ms > 1)
        std::this_thread::sleep_until(deadline - Slack);
    while (Clock::now() < deadline)
        std::this_thread::yield();
}

MonotonicClock::Time SteadyMonotonicClock::now() const
{
    return std::chrono::duration_cast<Time>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyMonotonicClock::sleepUntil(Time until)
{
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(until)));
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

SteadyMonotonicClock& steadyClock()
{
    static SteadyMonotonicClock clock;
    return clock;
}

} // namespace kv10
