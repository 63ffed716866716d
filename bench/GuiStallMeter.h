#pragma once
// How long the GUI thread stays away from its event loop: a fine timer on that thread notes how
// late each of its ticks comes, and the longest lateness is the longest stall. Any benchmark
// that lets a window work (a live poll, a read-out, a record) can watch it with this.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace kv10::bench {

class GuiStallMeter {
public:
    explicit GuiStallMeter(int intervalMs = 2) : m_intervalNs(qint64(intervalMs) * 1000000)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { note(); });
    }

    void start()
    {
        m_longestNs = 0;
        m_clock.start();
        m_lastNs = 0;
        m_timer.start();
    }
    void stop()
    {
        note();
        m_timer.stop();
    }
    double longestMs() const { return m_longestNs / 1e6; }

    // Runs the event loop for up to `ms`, or until `done` is true (asked at every tick), and
    // measures meanwhile; `begin` runs first, inside the loop. The longest stall, in ms.
    double watch(int ms, const std::function<void()>& begin = {}, const std::function<bool()>& done = {})
    {
        QEventLoop loop;
        QTimer end;
        end.setSingleShot(true);
        QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
        QTimer poll;
        if (done) {
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (done())
                    loop.quit();
            });
            poll.start(1);
        }
        start();
        end.start(ms);
        if (begin)
            QTimer::singleShot(0, &loop, begin);
        loop.exec();
        stop();
        return longestMs();
    }

private:
    void note()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longestNs = std::max(m_longestNs, now - m_lastNs - m_intervalNs);
        m_lastNs = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_intervalNs;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
};

} // namespace kv10::bench
