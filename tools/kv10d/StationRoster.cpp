#include "StationRoster.h"

#include <algorithm>

namespace kv10::gw {

StationRoster::StationRoster(std::vector<int> stations, qint64 offlineProbeMs)
    : m_stations(std::move(stations)), m_entries(m_stations.size()), m_offlineProbeMs(offlineProbeMs)
{
}

StationRoster::Entry* StationRoster::find(int station)
{
    const auto it = std::find(m_stations.begin(), m_stations.end(), station);
    return it == m_stations.end() ? nullptr : &m_entries[size_t(it - m_stations.begin())];
}

const StationRoster::Entry* StationRoster::find(int station) const
{
    return const_cast<StationRoster*>(this)->find(station);
}

std::vector<int> StationRoster::due(qint64 nowMs) const
{
    std::vector<int> asked;
    for (size_t i = 0; i < m_stations.size(); ++i) {
        const Entry& entry = m_entries[i];
        if (entry.state != State::Offline || nowMs - entry.lastAskedMs >= m_offlineProbeMs)
            asked.push_back(m_stations[i]);
    }
    return asked;
}

std::optional<bool> StationRoster::answered(int station, qint64 nowMs)
{
    Entry* entry = find(station);
    if (!entry)
        return std::nullopt;
    entry->lastAskedMs = nowMs;
    entry->misses = 0;
    if (entry->state == State::Online)
        return std::nullopt;
    entry->state = State::Online;
    return true;
}

std::optional<bool> StationRoster::missed(int station, qint64 nowMs)
{
    Entry* entry = find(station);
    if (!entry)
        return std::nullopt;
    entry->lastAskedMs = nowMs;
    if (entry->state == State::Offline || ++entry->misses < MissesBeforeOffline)
        return std::nullopt;
    entry->state = State::Offline;
    return false;
}

bool StationRoster::online(int station) const
{
    const Entry* entry = find(station);
    return entry && entry->state == State::Online;
}

bool StationRoster::offline(int station) const
{
    const Entry* entry = find(station);
    return entry && entry->state == State::Offline;
}

} // namespace kv10::gw
