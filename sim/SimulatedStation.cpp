#include "SimulatedStation.h"

#include "TelegramTrace.h"

#include <QStringList>
#include <QTime>

#include <algorithm>

namespace kv10::sim {

namespace {

constexpr int BitsPerByte = 11;         // start, 8 data, parity, stop
constexpr int IdleGapMs = 50;           // a frame broken off for longer than this is dropped
constexpr int MaxRecordInterval = 32000;

// Uses up one of a fault's remaining count; false when none is left.
bool takeOne(int& remaining)
{
    if (remaining <= 0)
        return false;
    --remaining;
    return true;
}

} // namespace

int SimulatorCounters::totalRequests() const
{
    int total = 0;
    for (int n : requests)
        total += n;
    return total;
}

SimulatedStation::SimulatedStation(SimulatorOptions options, MonotonicClock& clock)
    : m_options(std::move(options))
    , m_clock(clock)
    , m_model(m_options.addresses, m_options.seed)
    , m_epoch(clock.now())
{
    m_model.setDeviceTexts(m_options.deviceType, m_options.deviceVersion);
    m_model.setForeign(m_options.foreign, m_options.foreignIdentity);
    m_model.setSilentVersion(m_options.silentVersion);
    m_model.image().add.zaznam = std::clamp(m_options.recordIntervalSeconds, 1, MaxRecordInterval);
    m_model.advanceTo(secondsNow());
}

std::chrono::nanoseconds SimulatedStation::byteTime(int baudRate)
{
    return std::chrono::nanoseconds(int64_t(BitsPerByte) * 1'000'000'000 / baudRate);
}

std::chrono::nanoseconds SimulatedStation::idleGap() const
{
    std::lock_guard lock(m_mutex);
    const std::chrono::nanoseconds gap = std::chrono::milliseconds(IdleGapMs);
    return m_options.baudRate > 0 ? std::max(gap, 4 * byteTime(m_options.baudRate)) : gap;
}

void SimulatedStation::noteParserCounts(FrameParser& parser, int& countedChecksumErrors, int& countedSkipped)
{
    const QByteArray skipped = parser.takeSkipped();
    if (!skipped.isEmpty()) {
        const bool badChecksum = parser.checksumErrors() > countedChecksumErrors;
        log("RX", skipped, badChecksum ? QStringLiteral("wrong FCS, discarded") : QStringLiteral("skipped"));
    }
    std::lock_guard lock(m_mutex);
    m_counters.checksumErrors += parser.checksumErrors() - countedChecksumErrors;
    m_counters.skippedBytes += parser.skippedBytes() - countedSkipped;
    countedChecksumErrors = parser.checksumErrors();
    countedSkipped = parser.skippedBytes();
}

double SimulatedStation::secondsNow() const
{
    return std::chrono::duration<double>(m_clock.now() - m_epoch).count();
}

std::optional<SimulatedStation::Reply> SimulatedStation::answer(const Frame& frame, Time firstByte)
{
    QByteArray answer;
    QByteArray garbage;
    QStringList notes;
    int baudRate = 0;
    int delayMs = 0;
    bool held = false;
    {
        std::lock_guard lock(m_mutex);
        m_model.advanceTo(secondsNow());
        if (frame.da == BroadcastAddress) {
            ++m_counters.broadcasts;
            notes << QStringLiteral("broadcast");
        } else if (!m_model.answersAt(frame.da)) {
            ++m_counters.otherStations;
            notes << QStringLiteral("other station");
        } else {
            const RequestKind kind = classifyRequest(frame);
            ++m_counters.requests[int(kind)];
            held = takeOne(m_faultHold);
            if (held) {
                answer = m_model.answer(frame);
            } else if (takeOne(m_dropRequests)) {
                ++m_counters.dropped;
                notes << QStringLiteral("dropped");
            } else if (isWriteRequest(kind) && takeOne(m_refuseWrites)) {
                ++m_counters.refused;
                answer = shortFrame(frame.sa, frame.da, FcAckRefused);
                notes << QStringLiteral("refused");
            } else {
                answer = m_model.answer(frame);
            }
            if (!answer.isEmpty() && !held) {
                if (takeOne(m_corruptAnswers)) {
                    ++m_counters.corrupted;
                    answer[answer.size() - 2] = char(answer[answer.size() - 2] + 1);
                    notes << QStringLiteral("answer FCS corrupted");
                }
                if (takeOne(m_truncateAnswers)) {
                    ++m_counters.truncated;
                    answer.truncate(std::max<qsizetype>(1, answer.size() / 2));
                    notes << QStringLiteral("answer truncated");
                }
                if (takeOne(m_garbageAnswers)) {
                    ++m_counters.garbled;
                    garbage = m_garbage;
                }
            }
        }
        baudRate = m_options.baudRate;
        delayMs = held ? 0 : m_delayMs;
    }
    log("RX", frame.raw, notes.join(QStringLiteral(", ")));
    if (answer.isEmpty())
        return std::nullopt;

    // The request needs its own time on a real line before the station can answer.
    auto earliest = firstByte + std::chrono::milliseconds(delayMs);
    if (baudRate > 0)
        earliest += int(frame.raw.size()) * byteTime(baudRate);
    if (!garbage.isEmpty())
        log("TX", garbage, QStringLiteral("garbage"));
    log("TX", answer);
    {
        // Counted first, so whoever has read the answer also sees it counted.
        std::lock_guard lock(m_mutex);
        ++m_counters.answers;
    }
    return Reply{garbage + answer, earliest, baudRate};
}

void SimulatedStation::log(const char* direction, const QByteArray& bytes, const QString& note)
{
    LogSink sink;
    {
        std::lock_guard lock(m_mutex);
        sink = m_logSink;
    }
    if (!sink)
        return;
    QString line = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ')
        + QLatin1String(direction) + QLatin1Char(' ') + hexText(bytes);
    if (!note.isEmpty())
        line += QStringLiteral("  (") + note + QLatin1Char(')');
    sink(line);
}

void SimulatedStation::setAddresses(std::vector<uint8_t> addresses)
{
    std::lock_guard lock(m_mutex);
    m_model.setAddresses(std::move(addresses));
}

std::vector<uint8_t> SimulatedStation::addresses() const
{
    std::lock_guard lock(m_mutex);
    return m_model.addresses();
}

void SimulatedStation::setDeviceTexts(const QString& type, const QString& version)
{
    std::lock_guard lock(m_mutex);
    m_model.setDeviceTexts(type, version);
}

void SimulatedStation::setForeign(bool foreign)
{
    std::lock_guard lock(m_mutex);
    m_model.setForeign(foreign, m_options.foreignIdentity);
}

void SimulatedStation::setSilentVersion(bool silent)
{
    std::lock_guard lock(m_mutex);
    m_model.setSilentVersion(silent);
}

void SimulatedStation::setBaudRate(int baudRate)
{
    std::lock_guard lock(m_mutex);
    m_options.baudRate = std::max(0, baudRate);
}

int SimulatedStation::baudRate() const
{
    std::lock_guard lock(m_mutex);
    return m_options.baudRate;
}

void SimulatedStation::setLogSink(LogSink sink)
{
    std::lock_guard lock(m_mutex);
    m_logSink = std::move(sink);
}

void SimulatedStation::setUnderLock(int& setting, int value)
{
    std::lock_guard lock(m_mutex);
    setting = std::max(0, value);
}

void SimulatedStation::dropRequests(int count)
{
    setUnderLock(m_dropRequests, count);
}

void SimulatedStation::corruptAnswers(int count)
{
    setUnderLock(m_corruptAnswers, count);
}

void SimulatedStation::refuseWrites(int count)
{
    setUnderLock(m_refuseWrites, count);
}

void SimulatedStation::truncateAnswers(int count)
{
    setUnderLock(m_truncateAnswers, count);
}

void SimulatedStation::garbageBeforeAnswers(int count, const QByteArray& garbage)
{
    std::lock_guard lock(m_mutex);
    m_garbageAnswers = std::max(0, count);
    m_garbage = garbage;
}

void SimulatedStation::setAnswerDelayMs(int ms)
{
    setUnderLock(m_delayMs, ms);
}

void SimulatedStation::holdFaults(int count)
{
    setUnderLock(m_faultHold, count);
}

void SimulatedStation::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_dropRequests = m_corruptAnswers = m_refuseWrites = m_truncateAnswers = m_garbageAnswers = 0;
    m_faultHold = 0;
    m_delayMs = 0;
}

ControllerImage SimulatedStation::image() const
{
    std::lock_guard lock(m_mutex);
    return m_model.image();
}

void SimulatedStation::modifyImage(const std::function<void(ControllerImage&)>& change)
{
    std::lock_guard lock(m_mutex);
    m_model.advanceTo(secondsNow());
    change(m_model.image());
}

void SimulatedStation::setLiveRunning(bool running)
{
    std::lock_guard lock(m_mutex);
    m_model.advanceTo(secondsNow());
    m_model.setLiveRunning(running);
}

void SimulatedStation::setSensorFault(bool fault)
{
    std::lock_guard lock(m_mutex);
    m_model.setSensorFault(fault);
}

SimulatorCounters SimulatedStation::counters() const
{
    std::lock_guard lock(m_mutex);
    return m_counters;
}

void SimulatedStation::resetCounters()
{
    std::lock_guard lock(m_mutex);
    m_counters = {};
}

} // namespace kv10::sim
