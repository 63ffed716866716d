#pragma once
// Which stations of a line a round asks, and when a station counts as online or offline. A
// station that misses three reads in a row is offline and is asked again only every probe
// interval, so a dead station costs the others little; one answer brings it back at once.
#include <QtGlobal>
#include <optional>
#include <vector>

namespace kv10::gw {

class StationRoster {
public:
    static constexpr int MissesBeforeOffline = 3;

    StationRoster(std::vector<int> stations, qint64 offlineProbeMs);

    // The stations the round that starts now asks, in address order.
    std::vector<int> due(qint64 nowMs) const;
    // The outcome of one read. Returns the new availability when it changed: true the first
    // answer after anything but online, false at the third miss in a row.
    std::optional<bool> answered(int station, qint64 nowMs);
    std::optional<bool> missed(int station, qint64 nowMs);

    bool online(int station) const;
    bool offline(int station) const;
    const std::vector<int>& stations() const { return m_stations; }

private:
    enum class State { Unknown, Online, Offline };
    struct Entry {
        State state = State::Unknown;
        int misses = 0;
        qint64 lastAskedMs = 0;
    };
    Entry* find(int station);
    const Entry* find(int station) const;

    std::vector<int> m_stations;
    std::vector<Entry> m_entries;   // by index of m_stations
    qint64 m_offlineProbeMs;
};

} // namespace kv10::gw
