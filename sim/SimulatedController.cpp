#include "SimulatedController.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kv10::sim {

namespace {

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
}

} // namespace

SimulatedController::SimulatedController(SimulatorOptions options)
    : SimulatedStation(options), m_linkPath(options.linkPath)
{
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
    const QString& link = m_linkPath;
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
    if (QFileInfo(m_linkPath).symLinkTarget() == QFileInfo(m_slavePath).absoluteFilePath())
        QFile::remove(m_linkPath);
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
                    if (const auto reply = answer(*frame, firstByte))
                        sendAnswer(reply->bytes, reply->earliest, reply->baudRate);
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
        if (left <= std::chrono::nanoseconds::zero())
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

} // namespace kv10::sim
