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

void SimulatedController::closeLine()
{
    for (int* fd : {&m_master, &m_slaveHold, &m_wakeRead, &m_wakeWrite}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_slavePath.clear();
}

bool SimulatedController::openLine(QString* error)
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

void SimulatedController::wakeServe()
{
    const char wake = 1;
    [[maybe_unused]] auto written = ::write(m_wakeWrite, &wake, 1);
}

void SimulatedController::clearWake()
{
    char drain[16];
    while (::read(m_wakeRead, drain, sizeof drain) > 0) {
    }
}

int SimulatedController::readInput(char* dest, int max, int timeoutMs)
{
    pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    if (fds[0].revents & POLLIN) {
        const ssize_t count = ::read(m_master, dest, size_t(max));
        return count > 0 ? int(count) : 0;
    }
    return fds[0].revents & (POLLHUP | POLLERR) ? -1 : 0;
}

void SimulatedController::sleepWakeable(int ms)
{
    pollfd wake{m_wakeRead, POLLIN, 0};
    ::poll(&wake, 1, ms);
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

} // namespace kv10::sim
