#pragma once
// The live poll. The main timer ticks every 200 ms; a tick acts only when the clock's second
// differs from the last one handled, so at most once per second, and a second the owner's
// thread missed is not made up. A handled second is one demo step, or, with automatic
// reading on, one second counted toward the next sample (a read and a log line) and, with
// writing to the file on, toward the next write of the log file.
//
// The cycle never touches the link: it asks its owner to carry out each step (Steps), so a
// read can run at once or be handed to a session that answers later; the owner reports each
// read's outcome through readDone(), which the link state and the age of the values follow.
#include <QDateTime>
#include <QString>
#include <functional>
#include <utility>

namespace kv10 {

class Clock;

class PollCycle {
public:
    static constexpr int IntervalMs = 200;

    // Sample: the values read also make a line of the log.
    enum class Read { Display, Sample };
    // Whether the last read was answered, and if not, why.
    enum class LinkState { NotRead, Answered, NoAnswer, PortMissing };

    struct Steps {
        std::function<void()> secondHandled;   // first in every handled second
        std::function<void()> demo;
        std::function<void(Read)> read;
        std::function<void()> writeFile;       // the file period is up
    };

    // Seconds or minutes between samples, and minutes between writes of the log file.
    struct Rates {
        int recordPeriod = 1;
        int recordUnit = 1;     // 1: seconds, 60: minutes
        int filePeriod = 15;
    };

    explicit PollCycle(Clock& clock);

    void setSteps(Steps steps) { m_steps = std::move(steps); }

    // One tick of the main timer.
    void tick();
    // One handled second of automatic reading; also the first sample of a new log.
    void sampleStep();
    // One handled second toward the next write of the log file.
    void fileWriteStep();
    // "Přečíst": the values read once, without a log line.
    void readNow();

    void setDemo(bool on) { m_demo = on; }
    void setAutoRead(bool on) { m_autoRead = on; }
    void setFileWrite(bool on) { m_fileWrite = on; }
    bool demo() const { return m_demo; }
    bool autoRead() const { return m_autoRead; }
    bool fileWrite() const { return m_fileWrite; }

    // The counters go on: a shorter period takes effect at the next handled second.
    void setRates(const Rates& rates) { m_rates = rates; }
    const Rates& rates() const { return m_rates; }
    // A new log: both counters start again.
    void restartCounters();
    int sampleCounter() const { return m_sampleCounter; }
    int fileCounter() const { return m_fileCounter; }
    qint16 lastSecond() const { return m_lastSecond; }

    // The outcome of a read: answered, or not (and whether the port was open at all).
    void readDone(bool answered, bool portOpen);
    LinkState linkState() const { return m_linkState; }
    // The link state and, unless they are fresh, the age of the values shown, by the clock now.
    QString linkStatusText() const;
    // `ageSeconds` below 0: no values were ever read.
    static QString linkStatusText(LinkState state, qint64 ageSeconds);

private:
    Clock& m_clock;
    Steps m_steps;
    Rates m_rates;
    bool m_demo = false;
    bool m_autoRead = false;
    bool m_fileWrite = false;
    qint16 m_lastSecond = 0;   // the clock second last handled
    int m_sampleCounter = 0;   // handled seconds toward the next sample
    int m_fileCounter = 0;     // handled seconds toward the next file write
    LinkState m_linkState = LinkState::NotRead;
    QDateTime m_valuesTime;    // of the last answered read; invalid before one
};

} // namespace kv10
