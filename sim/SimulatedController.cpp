#include "SimulatedController.h"

#include "TelegramTrace.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTime>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kv10::sim {

namespace {

constexpr int BitsPerByte = 11;         // start, 8 data, parity, stop
constexpr int IdleGapMs = 50;           // a frame broken off for longer than this is dropped
constexpr int MaxRecordInterval = 32000;

using Nanoseconds = std::chrono::nanoseconds;

Nanoseconds byteTime(int baudRate)
{
    return Nanoseconds(int64_t(BitsPerByte) * 1'000'000'000 / baudRate);
}

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
}

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

SimulatedController::SimulatedController(SimulatorOptions options)
    : m_options(std::move(options))
    , m_model(m_options.addresses, m_options.seed)
{
    m_model.setDeviceTexts(m_options.deviceType, m_options.deviceVersion);
    m_model.setForeign(m_options.foreign, m_options.foreignIdentity);
    m_model.setSilentVersion(m_options.silentVersion);
    m_model.image().add.zaznam = std::clamp(m_options.recordIntervalSeconds, 1, MaxRecordInterval);
    m_model.advanceTo(secondsNow());
}

SimulatedController::~SimulatedController()
{
    stop();
    removeLink();
    closeTerminal();
}

void SimulatedController::closeTerminal()
{
    for (int* fd : {&m_master, &m_slaveHold, &m_wakeRead, &m_wakeWrite}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool SimulatedController::openTerminal(QString* error)
{
    auto fail = [error](const char* what) {
        if (error)
            *error = systemError(what);
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail("posix_openpt");
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail("grantpt/unlockpt");
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail("ptsname");
    m_slavePath = QString::fromLocal8Bit(name);

    termios settings{};
    if (::tcgetattr(m_master, &settings) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_master, TCSANOW, &settings) != 0)
        return fail("tcsetattr");
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);

    // Without an open slave the master reports a hang-up and the raw settings would be
    // reset when a program closes the port, so the simulator keeps one descriptor itself.
    m_slaveHold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveHold < 0)
        return fail("open slave");

    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0)
        return fail("pipe");
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    return true;
}

bool SimulatedController::makeLink(QString* error)
{
    const QString& link = m_options.linkPath;
    if (link.isEmpty() || m_linkMade)
        return true;
    const QFileInfo info(link);
    if (info.isSymLink()) {
        QFile::remove(link);        // a link left over from an earlier run
    } else if (info.exists()) {
        if (error)
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
        return false;
    }
    if (::symlink(m_slavePath.toLocal8Bit().constData(), link.toLocal8Bit().constData()) != 0) {
        if (error)
            *error = systemError("symlink");
        return false;
    }
    m_linkMade = true;
    return true;
}

void SimulatedController::removeLink()
{
    if (!m_linkMade)
        return;
    // Only our own link: another simulator may have taken the name over meanwhile.
    if (QFileInfo(m_options.linkPath).symLinkTarget() == QFileInfo(m_slavePath).absoluteFilePath())
        QFile::remove(m_options.linkPath);
    m_linkMade = false;
}

bool SimulatedController::start(QString* error)
{
    if (isRunning())
        return true;
    if (m_master < 0 && !openTerminal(error)) {
        closeTerminal();
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
    const char wake = 1;
    [[maybe_unused]] auto written = ::write(m_wakeWrite, &wake, 1);
    m_thread.join();
    char drain[16];
    while (::read(m_wakeRead, drain, sizeof drain) > 0) {
    }
}

double SimulatedController::secondsNow() const
{
    return std::chrono::duration<double>(SteadyClock::now() - m_epoch).count();
}

void SimulatedController::serve()
{
    FrameParser parser;
    int countedChecksumErrors = 0;
    int countedSkipped = 0;
    auto firstByte = SteadyClock::now();
    auto lastByte = firstByte;
    const auto idleGap = [this] {
        std::lock_guard lock(m_mutex);
        const auto gap = std::chrono::milliseconds(IdleGapMs);
        return m_options.baudRate > 0 ? std::max<Nanoseconds>(gap, 4 * byteTime(m_options.baudRate)) : Nanoseconds(gap);
    };
    auto reportSkipped = [&] {
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
    };

    while (!m_stopping) {
        int timeoutMs = -1;
        if (parser.hasPending()) {
            const auto left = lastByte + idleGap() - SteadyClock::now();
            timeoutMs = int(std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        }
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (m_stopping)
            break;
        if (ready < 0 && errno != EINTR)
            break;

        if (fds[0].revents & POLLIN) {
            char bytes[512];
            const ssize_t count = ::read(m_master, bytes, sizeof bytes);
            if (count > 0) {
                const auto now = SteadyClock::now();
                if (!parser.hasPending())
                    firstByte = now;
                lastByte = now;
                parser.feed(bytes, int(count));
                while (auto frame = parser.next()) {
                    reportSkipped();
                    handleFrame(*frame, firstByte);
                    firstByte = SteadyClock::now();
                }
                reportSkipped();
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            waitUntil(SteadyClock::now() + std::chrono::milliseconds(20));
        }

        if (parser.hasPending() && SteadyClock::now() - lastByte >= idleGap()) {
            parser.discardPending();
            reportSkipped();
        }
    }
}

void SimulatedController::handleFrame(const Frame& frame, SteadyClock::time_point firstByte)
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
        return;

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
    sendAnswer(garbage + answer, earliest, baudRate);
}

bool SimulatedController::sendAnswer(const QByteArray& bytes, SteadyClock::time_point earliest, int baudRate)
{
    if (!waitUntil(earliest))
        return false;
    if (baudRate <= 0)
        return writeAll(bytes.constData(), int(bytes.size()));
    // Hand each byte over when its last bit would have arrived.
    const Nanoseconds perByte = byteTime(baudRate);
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

bool SimulatedController::writeAll(const char* bytes, int count)
{
    while (count > 0) {
        const ssize_t written = ::write(m_master, bytes, size_t(count));
        if (written > 0) {
            bytes += written;
            count -= int(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        // The other end does not read: wait for room, but not past a stop.
        pollfd fds[2] = {{m_master, POLLOUT, 0}, {m_wakeRead, POLLIN, 0}};
        ::poll(fds, 2, 100);
        if (m_stopping)
            return false;
    }
    return true;
}

bool SimulatedController::waitUntil(SteadyClock::time_point deadline)
{
    for (;;) {
        if (m_stopping)
            return false;
        const auto left = deadline - SteadyClock::now();
        if (left <= Nanoseconds::zero())
            return true;
        if (left > std::chrono::milliseconds(3)) {
            pollfd wake{m_wakeRead, POLLIN, 0};
            ::poll(&wake, 1, int(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) - 1);
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

void SimulatedController::log(const char* direction, const QByteArray& bytes, const QString& note)
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

void SimulatedController::setAddresses(std::vector<uint8_t> addresses)
{
    std::lock_guard lock(m_mutex);
    m_model.setAddresses(std::move(addresses));
}

std::vector<uint8_t> SimulatedController::addresses() const
{
    std::lock_guard lock(m_mutex);
    return m_model.addresses();
}

void SimulatedController::setDeviceTexts(const QString& type, const QString& version)
{
    std::lock_guard lock(m_mutex);
    m_model.setDeviceTexts(type, version);
}

void SimulatedController::setForeign(bool foreign)
{
    std::lock_guard lock(m_mutex);
    m_model.setForeign(foreign, m_options.foreignIdentity);
}

void SimulatedController::setSilentVersion(bool silent)
{
    std::lock_guard lock(m_mutex);
    m_model.setSilentVersion(silent);
}

void SimulatedController::setBaudRate(int baudRate)
{
    std::lock_guard lock(m_mutex);
    m_options.baudRate = std::max(0, baudRate);
}

void SimulatedController::setLogSink(LogSink sink)
{
    std::lock_guard lock(m_mutex);
    m_logSink = std::move(sink);
}

void SimulatedController::setUnderLock(int& setting, int value)
{
    std::lock_guard lock(m_mutex);
    setting = std::max(0, value);
}

void SimulatedController::dropRequests(int count)
{
    setUnderLock(m_dropRequests, count);
}

void SimulatedController::corruptAnswers(int count)
{
    setUnderLock(m_corruptAnswers, count);
}

void SimulatedController::refuseWrites(int count)
{
    setUnderLock(m_refuseWrites, count);
}

void SimulatedController::truncateAnswers(int count)
{
    setUnderLock(m_truncateAnswers, count);
}

void SimulatedController::garbageBeforeAnswers(int count, const QByteArray& garbage)
{
    std::lock_guard lock(m_mutex);
    m_garbageAnswers = std::max(0, count);
    m_garbage = garbage;
}

void SimulatedController::setAnswerDelayMs(int ms)
{
    setUnderLock(m_delayMs, ms);
}

void SimulatedController::holdFaults(int count)
{
    setUnderLock(m_faultHold, count);
}

void SimulatedController::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_dropRequests = m_corruptAnswers = m_refuseWrites = m_truncateAnswers = m_garbageAnswers = 0;
    m_faultHold = 0;
    m_delayMs = 0;
}

ControllerImage SimulatedController::image() const
{
    std::lock_guard lock(m_mutex);
    return m_model.image();
}

void SimulatedController::modifyImage(const std::function<void(ControllerImage&)>& change)
{
    std::lock_guard lock(m_mutex);
    m_model.advanceTo(secondsNow());
    change(m_model.image());
}

void SimulatedController::setLiveRunning(bool running)
{
    std::lock_guard lock(m_mutex);
    m_model.advanceTo(secondsNow());
    m_model.setLiveRunning(running);
}

void SimulatedController::setSensorFault(bool fault)
{
    std::lock_guard lock(m_mutex);
    m_model.setSensorFault(fault);
}

SimulatorCounters SimulatedController::counters() const
{
    std::lock_guard lock(m_mutex);
    return m_counters;
}

void SimulatedController::resetCounters()
{
    std::lock_guard lock(m_mutex);
    m_counters = {};
}

} // namespace kv10::sim
