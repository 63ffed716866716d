#include "LineStats.h"

#include "FrameCheck.h"
#include "Protocol.h"

#include <algorithm>

namespace kv10::gw {

LineStats::LineStats(QString line, std::vector<int> stations) : m_line(std::move(line))
{
    for (const int station : stations)
        m_counts[station];
}

void LineStats::setStation(int station)
{
    std::lock_guard lock(m_mutex);
    m_station = station;
    m_sentAtMs = -1;
}

void LineStats::addLateAnswers(int station, int count)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_counts.find(station); it != m_counts.end())
        it->second.lateAnswersDropped += count;
}

void LineStats::traced(const TraceEvent& event)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_counts.find(m_station);
    if (it == m_counts.end())
        return;
    Counts& counts = it->second;
    const auto* bytes = reinterpret_cast<const uint8_t*>(event.bytes.constData());
    switch (event.kind) {
    case TraceKind::Sent:
        ++counts.requests;
        m_sentAtMs = event.atMs;
        break;
    case TraceKind::NoAnswer:
        ++counts.timeouts;
        break;
    case TraceKind::Received: {
        const bool isShort = !event.bytes.isEmpty() && bytes[0] == StartShort;
        const FrameCheck check = isShort ? checkAckFrame(bytes, int(event.bytes.size()))
                                         : checkAnswerFrame(bytes, int(event.bytes.size()));
        if (check == FrameCheck::Checksum) {
            ++counts.checksumErrors;
        } else if (check == FrameCheck::None || check == FrameCheck::Refused) {
            ++counts.answers;
            if (m_sentAtMs >= 0)
                counts.answerMs.push_back(event.atMs - m_sentAtMs);
        }
        break;
    }
    }
}

std::vector<StationStats> LineStats::take(const QDateTime& time)
{
    std::lock_guard lock(m_mutex);
    std::vector<StationStats> taken;
    for (auto& [station, counts] : m_counts) {
        StationStats stats;
        stats.line = m_line;
        stats.da = station;
        stats.time = time;
        stats.requests = counts.requests;
        stats.answers = counts.answers;
        stats.timeouts = counts.timeouts;
        stats.checksumErrors = counts.checksumErrors;
        stats.lateAnswersDropped = counts.lateAnswersDropped;
        if (!counts.answerMs.empty()) {
            std::vector<qint64>& times = counts.answerMs;
            const auto middle = times.begin() + std::ptrdiff_t(times.size() / 2);
            std::nth_element(times.begin(), middle, times.end());
            stats.medianAnswerMs = *middle;
            stats.worstAnswerMs = *std::max_element(times.begin(), times.end());
        }
        taken.push_back(stats);
        counts = Counts{};
    }
    return taken;
}

} // namespace kv10::gw
