#pragma once
// Test time: a monotonic clock that stands still until something waits on it, and a waiter
// that moves it on by each pause it is asked for. A link, its waiter and an in-memory line on
// one TestClock run their time-outs and pauses in no real time, and the same on every run.
#include "FakeTransport.h"
#include "Timing.h"

#include <atomic>

namespace kv10::test {

class TestClock : public MonotonicClock {
public:
    Time now() const override { return Time(m_ns.load()); }
    // Nobody else moves the time: waiting for a moment is jumping to it.
    void sleepUntil(Time until) override
    {
        auto now = m_ns.load();
        while (until.count() > now && !m_ns.compare_exchange_weak(now, until.count())) {
        }
    }
    void advance(Time by) { m_ns += by.count(); }

private:
    std::atomic<Time::rep> m_ns{0};
};

// Counts every pause as CountingWaiter does, and lets the test clock run through it.
class TestWaiter : public CountingWaiter {
public:
    explicit TestWaiter(TestClock& clock, QStringList* log = nullptr) : CountingWaiter(log), m_clock(clock) {}
    void waitMs(int ms) override
    {
        CountingWaiter::waitMs(ms);
        m_clock.advance(std::chrono::milliseconds(std::max(ms, 0)));
    }

private:
    TestClock& m_clock;
};

} // namespace kv10::test
