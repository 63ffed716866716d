#include "Sequence.h"

#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QElapsedTimer>

namespace kv10::core {

Sequence::Sequence(TelegramLink& link, Waiter& waiter, Steering steering)
    : m_link(link), m_waiter(waiter), m_steering(std::move(steering))
{
}

ControllerImage& Sequence::image()
{
    return m_link.image();
}

bool Sequence::goesOn()
{
    if (!ended() && m_steering.stop && m_steering.stop())
        m_result.stopped = true;
    return !ended();
}

bool Sequence::exchange(const QString& what, const std::function<bool()>& run)
{
    if (!goesOn())
        return false;
    const bool ok = run();
    if (!ok)
        fail(what);
    return ok;
}

void Sequence::fail(const QString& what)
{
    if (m_result.ok)
        m_result.failed = what;
    m_result.ok = false;
}

void Sequence::pause(int ms)
{
    if (goesOn())
        m_waiter.waitMs(ms);
}

void Sequence::pause(int ms, const Progress& shown)
{
    if (!goesOn())
        return;
    QElapsedTimer since;
    since.start();
    report(shown);
    m_waiter.waitRest(ms, since);
}

void Sequence::report(const Progress& step)
{
    if (goesOn() && m_steering.progress)
        m_steering.progress(step);
}

SequenceResult Sequence::finish()
{
    // A sequence made of others finishes more than once: a notice taken stays.
    if (std::optional<LinkNotice> notice = m_link.takeNotice())
        m_result.notice = std::move(notice);
    return m_result;
}

bool Sequence::readTable(int table)
{
    return exchange(QString::fromLatin1(tableInfo(table).name), [&] { return m_link.ReadTable(table); });
}

bool Sequence::writeTable(int table)
{
    return exchange(QString::fromLatin1(tableInfo(table).name), [&] { return m_link.WriteTable(table); });
}

} // namespace kv10::core
