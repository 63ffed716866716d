#include "TraceHub.h"

#include <algorithm>

namespace kv10 {

void TraceHub::add(TelegramTrace* trace)
{
    std::lock_guard lock(m_mutex);
    if (!trace || std::find(m_traces.begin(), m_traces.end(), trace) != m_traces.end())
        return;
    m_traces.push_back(trace);
    m_count = int(m_traces.size());
}

void TraceHub::remove(TelegramTrace* trace)
{
    std::lock_guard lock(m_mutex);
    m_traces.erase(std::remove(m_traces.begin(), m_traces.end(), trace), m_traces.end());
    m_count = int(m_traces.size());
}

bool TraceHub::contains(const TelegramTrace* trace) const
{
    std::lock_guard lock(m_mutex);
    return std::find(m_traces.begin(), m_traces.end(), trace) != m_traces.end();
}

void TraceHub::traced(const TraceEvent& event)
{
    std::lock_guard lock(m_mutex);
    // By index: a trace that leaves meanwhile shortens the list under us.
    for (size_t i = 0; i < m_traces.size(); ++i) {
        TelegramTrace* trace = m_traces[i];
        trace->traced(event);
        if (i < m_traces.size() && m_traces[i] != trace)
            --i;   // this one left: the next has moved into its place
    }
}

} // namespace kv10
