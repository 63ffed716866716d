#pragma once
// Injectable time: the poll cycle reads the clock through Clock, and every blocking pause
// of the link (10, 100, 270, 300 ms) goes through Waiter, so tests can step and count them.
#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>

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

} // namespace kv10
