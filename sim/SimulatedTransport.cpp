#include "SimulatedTransport.h"

#include "Protocol.h"

#include <algorithm>

namespace kv10::sim {

bool SimulatedTransport::WriteBytes(const uint8_t* src, int n, int& written)
{
    PurgeInput();
    const auto now = m_clock.now();
    m_parser.feed(reinterpret_cast<const char*>(src), n);
    while (auto frame = m_parser.next()) {
        m_station.noteParserCounts(m_parser, m_checksumErrors, m_skippedBytes);
        const auto reply = m_station.answer(*frame, now);
        if (!reply)
            continue;
        // The station answers one request after the other.
        auto at = std::max(reply->earliest, m_input.empty() ? now : m_input.back().at);
        const auto perByte = reply->baudRate > 0 ? SimulatedStation::byteTime(reply->baudRate)
                                                 : std::chrono::nanoseconds::zero();
        for (const char byte : reply->bytes)
            m_input.push_back({uint8_t(byte), at += perByte});
    }
    m_station.noteParserCounts(m_parser, m_checksumErrors, m_skippedBytes);
    // A request that is not whole by now never will be: the next one starts afresh.
    m_parser.discardPending();
    written = n;
    return true;
}

bool SimulatedTransport::receive(uint8_t* dest, int n, int& got, bool untilFrame)
{
    got = 0;
    const auto total = m_clock.now() + std::chrono::milliseconds(readTotalTimeoutMs(n, baudRate()));
    auto lastByte = m_clock.now();
    for (;;) {
        const int end = untilFrame ? frameReadEnd(dest, got, n) : n;
        const auto now = m_clock.now();
        while (got < end && !m_input.empty() && m_input.front().at <= now) {
            dest[got++] = m_input.front().value;
            lastByte = m_input.front().at;
            m_input.pop_front();
        }
        if (got >= (untilFrame ? frameReadEnd(dest, got, n) : n))
            return true;
        // Before the first byte only the total time-out applies; then also the gap.
        const auto limit = got == 0 ? total : std::min(total, lastByte + std::chrono::milliseconds(ReadIntervalTimeoutMs));
        if (m_input.empty() || m_input.front().at > limit) {
            m_clock.sleepUntil(limit);
            return true;
        }
        m_clock.sleepUntil(m_input.front().at);
    }
}

bool SimulatedTransport::ReadBytes(uint8_t* dest, int n, int& got)
{
    return receive(dest, n, got, false);
}

bool SimulatedTransport::ReadFrame(uint8_t* dest, int max, int& got)
{
    return receive(dest, max, got, true);
}

int SimulatedTransport::DiscardInput(int n, int timeoutMs)
{
    const auto limit = m_clock.now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    int discarded = 0;
    while (discarded < n && !m_input.empty() && m_input.front().at <= limit) {
        m_clock.sleepUntil(m_input.front().at);
        m_input.pop_front();
        ++discarded;
    }
    if (discarded < n)
        m_clock.sleepUntil(limit);
    return discarded;
}

void SimulatedTransport::PurgeInput()
{
    const auto now = m_clock.now();
    while (!m_input.empty() && m_input.front().at <= now)
        m_input.pop_front();
}

} // namespace kv10::sim
