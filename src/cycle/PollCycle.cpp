#include "PollCycle.h"

#include "Timing.h"

#include <algorithm>

namespace kv10 {

namespace {

constexpr qint64 FreshSeconds = 2;   // values younger than this need no age in the link panel

// "35 s", "4 min", "3 h": whole units, rounded down.
QString ageText(qint64 seconds)
{
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 120 * 60)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h").arg(seconds / 3600);
}

template <typename F, typename... Args>
void run(const F& step, Args... args)
{
    if (step)
        step(args...);
}

} // namespace

PollCycle::PollCycle(Clock& clock) : m_clock(clock)
{
}

void PollCycle::tick()
{
    const qint16 second = qint16(m_clock.now().time().second());
    if (second == m_lastSecond)
        return;
    m_lastSecond = second;
    run(m_steps.secondHandled);

    if (m_demo) {
        run(m_steps.demo);
        return;
    }
    if (m_autoRead) {
        sampleStep();
        if (m_fileWrite)
            fileWriteStep();
    }
}

void PollCycle::sampleStep()
{
    ++m_sampleCounter;
    // Wide product: stored periods are taken as they are and may be large.
    if (m_sampleCounter < qint64(m_rates.recordPeriod) * m_rates.recordUnit)
        return;
    m_sampleCounter = 0;
    run(m_steps.read, Read::Sample);
}

void PollCycle::fileWriteStep()
{
    ++m_fileCounter;
    if (m_fileCounter < qint64(m_rates.filePeriod) * 60)
        return;
    // The counter restarts first: after a failed write the next try is a full period later.
    m_fileCounter = 0;
    run(m_steps.writeFile);
}

void PollCycle::readNow()
{
    run(m_steps.read, Read::Display);
}

void PollCycle::restartCounters()
{
    m_sampleCounter = 0;
    m_fileCounter = 0;
}

void PollCycle::readDone(bool answered, bool portOpen)
{
    if (answered) {
        m_linkState = LinkState::Answered;
        m_valuesTime = m_clock.now();
    } else {
        m_linkState = portOpen ? LinkState::NoAnswer : LinkState::PortMissing;
    }
}

QString PollCycle::linkStatusText() const
{
    const qint64 age = m_valuesTime.isValid() ? std::max<qint64>(0, m_valuesTime.secsTo(m_clock.now())) : -1;
    return linkStatusText(m_linkState, age);
}

QString PollCycle::linkStatusText(LinkState state, qint64 ageSeconds)
{
    QString text;
    switch (state) {
    case LinkState::NotRead:
        return QStringLiteral("nečteno");
    case LinkState::Answered:
        if (ageSeconds < FreshSeconds)
            return QStringLiteral("spojeno");
        text = QStringLiteral("spojeno");
        break;
    case LinkState::NoAnswer:
        text = QStringLiteral("bez odpovědi");
        break;
    case LinkState::PortMissing:
        text = QStringLiteral("port nedostupný");
        break;
    }
    if (ageSeconds < 0)
        return text + QStringLiteral(", žádné hodnoty");
    return text + QStringLiteral(", hodnoty staré ") + ageText(ageSeconds);
}

} // namespace kv10
