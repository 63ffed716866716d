#pragma once
// Injectable time: the poll cycle reads the clock through Clock, every blocking pause of the
// link (10, 100, 270, 300 ms) goes through Waiter, and what the link measures itself (how late
// an answer came, trace stamps) goes through MonotonicClock, so tests can step and count them.
#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>

namespace kv10 {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class Waiter {
public:
    virtual ~Waiter() = default;
    virtual void waitMs(int ms) = 0;
    // The pause of `ms` that began when `since` was started: work done meanwhile (a progress
    // bar painted) counts toward it, and it still lasts at least `ms` from that moment.
    virtual void waitRest(int ms, const QElapsedTimer& since)
    {
        waitMs(int(std::max<qint64>(0, ms - since.elapsed())));
    }
};

// Time that only runs forward, for measuring spans. The simulated line keeps its time on one
// too: a test clock jumps where the steady one sleeps, so a test of late answers and read
// time-outs takes no real time.
class MonotonicClock {
public:
    using Time = std::chrono::nanoseconds;   // since a fixed moment of the clock's own
    virtual ~MonotonicClock() = default;
    virtual Time now() const = 0;
    // Returns once now() has reached `until` (at once when it has).
    virtual void sleepUntil(Time until) = 0;
    qint64 nowMs() const { return std::chrono::duration_cast<std::chrono::milliseconds>(now()).count(); }
};

class SteadyMonotonicClock : public MonotonicClock {
public:
    Time now() const override;
    void sleepUntil(Time until) override;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class SleepWaiter : public Waiter {
public:
    void waitMs(int ms) override;
};

SystemClock& systemClock();
SleepWaiter& sleepWaiter();
SteadyMonotonicClock& steadyClock();

} // namespace kv10
