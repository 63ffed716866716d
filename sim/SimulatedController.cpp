#include "SimulatedController.h"

#include <algorithm>

namespace kv10::sim {

namespace {

// A line is served in real time: the station keeps the steady clock, whose time is the
// steady_clock's own.
MonotonicClock::Time onStationClock(SimulatedStation::SteadyClock::time_point at)
{
    return std::chrono::duration_cast<MonotonicClock::Time>(at.time_since_epoch());
}

SimulatedStation::SteadyClock::time_point onSteadyClock(MonotonicClock::Time at)
{
    return SimulatedStation::SteadyClock::time_point(
        std::chrono::duration_cast<SimulatedStation::SteadyClock::duration>(at));
}

} // namespace

SimulatedController::SimulatedController(SimulatorOptions options)
    : SimulatedStation(options, steadyClock()), m_linkPath(options.linkPath)
{
}

SimulatedController::~SimulatedController()
{
    stop();
    removeLink();
    closeLine();
}

bool SimulatedController::start(QString* error)
{
    if (isRunning())
        return true;
    if (m_slavePath.isEmpty() && !openLine(error)) {
        closeLine();
        return false;
    }
    if (!makeLink(error))
        return false;
    m_stopping = false;
    m_thread = std::thread([this] { serve(); });
    return true;
}

void SimulatedController::stop()
{
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    wakeServe();
    m_thread.join();
    clearWake();
}

void SimulatedController::serve()
{
    FrameParser parser;
    int countedChecksumErrors = 0;
    int countedSkipped = 0;
    auto firstByte = SteadyClock::now();
    auto lastByte = firstByte;
    auto reportSkipped = [&] { noteParserCounts(parser, countedChecksumErrors, countedSkipped); };

    while (!m_stopping) {
        int timeoutMs = -1;
        if (parser.hasPending()) {
            const auto left = lastByte + idleGap() - SteadyClock::now();
            timeoutMs = int(std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        }
        char bytes[512];
        const int count = readInput(bytes, int(sizeof bytes), timeoutMs);
        if (m_stopping)
            break;
        if (count > 0) {
            const auto now = SteadyClock::now();
            if (!parser.hasPending())
                firstByte = now;
            lastByte = now;
            parser.feed(bytes, count);
            while (auto frame = parser.next()) {
                reportSkipped();
                if (const auto reply = answer(*frame, onStationClock(firstByte)))
                    sendAnswer(reply->bytes, onSteadyClock(reply->earliest), reply->baudRate);
                firstByte = SteadyClock::now();
            }
            reportSkipped();
        } else if (count < 0) {
            waitUntil(SteadyClock::now() + std::chrono::milliseconds(20));
        }

        if (parser.hasPending() && SteadyClock::now() - lastByte >= idleGap()) {
            parser.discardPending();
            reportSkipped();
        }
    }
}

bool SimulatedController::sendAnswer(const QByteArray& bytes, SteadyClock::time_point earliest, int baudRate)
{
    if (!waitUntil(earliest))
        return false;
    if (baudRate <= 0)
        return writeAll(bytes.constData(), int(bytes.size()));
    // Hand each byte over when its last bit would have arrived.
    const auto perByte = byteTime(baudRate);
    const auto start = SteadyClock::now();
    int sent = 0;
    while (sent < bytes.size()) {
        const auto elapsed = SteadyClock::now() - start;
        const int due = int(std::min<int64_t>(bytes.size(), elapsed / perByte));
        if (due > sent) {
            if (!writeAll(bytes.constData() + sent, due - sent))
                return false;
            sent = due;
        } else if (!waitUntil(start + (sent + 1) * perByte)) {
            return false;
        }
    }
    return true;
}

bool SimulatedController::waitUntil(SteadyClock::time_point deadline)
{
    for (;;) {
        if (m_stopping)
            return false;
        const auto left = deadline - SteadyClock::now();
        if (left <= std::chrono::nanoseconds::zero())
            return true;
        if (left > std::chrono::milliseconds(3)) {
            sleepWakeable(int(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) - 1);
        } else {
            // Sleeping overshoots; the last stretch is yielded away so the pacing stays
            // true to the line and the link's own time shows in the benchmarks.
            constexpr auto Slack = std::chrono::microseconds(300);
            if (left > Slack)
                std::this_thread::sleep_until(deadline - Slack);
            while (SteadyClock::now() < deadline && !m_stopping)
                std::this_thread::yield();
        }
    }
}

} // namespace kv10::sim
