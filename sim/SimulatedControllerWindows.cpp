#include "SimulatedController.h"

#include <QStringList>

#include <mutex>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kv10::sim {

namespace {

struct PortPair {
    QString program;
    QString station;
};

std::vector<PortPair> nullModemPairs()
{
    std::vector<PortPair> pairs;
    const QStringList listed = qEnvironmentVariable("KV10_NULL_MODEM_PORTS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& item : listed) {
        const QStringList ports = item.split(QLatin1Char(':'));
        if (ports.size() == 2 && !ports[0].isEmpty() && !ports[1].isEmpty())
            pairs.push_back({ports[0], ports[1]});
    }
    return pairs;
}

std::mutex pairsMutex;
std::vector<bool> pairsTaken;   // guarded by pairsMutex

int takePair(int count)
{
    const std::lock_guard lock(pairsMutex);
    pairsTaken.resize(std::max<size_t>(pairsTaken.size(), size_t(count)));
    for (int i = 0; i < count; ++i) {
        if (!pairsTaken[size_t(i)]) {
            pairsTaken[size_t(i)] = true;
            return i;
        }
    }
    return -1;
}

void releasePair(int pair)
{
    const std::lock_guard lock(pairsMutex);
    if (pair >= 0 && size_t(pair) < pairsTaken.size())
        pairsTaken[size_t(pair)] = false;
}

// Takes the error code first: building the text could change it.
QString lastError(const char* what, const QString& port = {})
{
    const DWORD code = ::GetLastError();
    return QStringLiteral("%1 %2: Windows error %3").arg(QLatin1String(what), port).arg(code);
}

} // namespace

bool SimulatedController::openLine(QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    const std::vector<PortPair> pairs = nullModemPairs();
    if (pairs.empty())
        return fail(QStringLiteral("no null-modem COM port pairs in KV10_NULL_MODEM_PORTS"));
    m_pair = takePair(int(pairs.size()));
    if (m_pair < 0)
        return fail(QStringLiteral("all %1 null-modem COM port pairs are in use").arg(pairs.size()));
    const PortPair& pair = pairs[size_t(m_pair)];
    const std::wstring name = (QStringLiteral("\\\\.\\") + pair.station).toStdWString();
    HANDLE port = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return fail(lastError("cannot open", pair.station));
    m_port = port;

    // The station reads and writes bytes; line settings would only matter on a real null-modem
    // cable, and a pseudo-terminal behind Wine may refuse some, so they are set where possible.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(port, &dcb)) {
        dcb.BaudRate = CBR_9600;
        dcb.ByteSize = 8;
        dcb.Parity = EVENPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = dcb.fInX = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.XonChar = 0x11;   // must differ, though unused
        dcb.XoffChar = 0x13;
        ::SetCommState(port, &dcb);
    }
    // Reads return at once with what has arrived; the serve loop does its own waiting.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 100};
    if (!::SetCommTimeouts(port, &timeouts))
        return fail(lastError("SetCommTimeouts", pair.station));
    // Bytes an earlier program left on the line are not a request to this station.
    ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    m_slavePath = pair.program;
    return true;
}

void SimulatedController::closeLine()
{
    if (m_port)
        ::CloseHandle(HANDLE(m_port));
    m_port = nullptr;
    releasePair(m_pair);
    m_pair = -1;
    m_slavePath.clear();
}

bool SimulatedController::makeLink(QString* error)
{
    if (m_linkPath.isEmpty())
        return true;
    if (error)
        *error = QStringLiteral("a link to the port (%1) needs POSIX").arg(m_linkPath);
    return false;
}

void SimulatedController::removeLink() {}

// The serve loop looks at m_stopping at least every few milliseconds.
void SimulatedController::wakeServe() {}
void SimulatedController::clearWake() {}

int SimulatedController::readInput(char* dest, int max, int timeoutMs)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(HANDLE(m_port), dest, DWORD(max), &got, nullptr))
            return -1;
        if (got > 0)
            return int(got);
        if (m_stopping || (timeoutMs >= 0 && SteadyClock::now() >= deadline))
            return 0;
        ::Sleep(1);
    }
}

void SimulatedController::sleepWakeable(int ms)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
    while (!m_stopping && SteadyClock::now() < deadline)
        ::Sleep(DWORD(std::clamp<int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count(), 1, 10)));
}

bool SimulatedController::writeAll(const char* bytes, int count)
{
    while (count > 0) {
        DWORD written = 0;
        if (!::WriteFile(HANDLE(m_port), bytes, DWORD(count), &written, nullptr))
            return false;
        bytes += written;
        count -= int(written);
        if (m_stopping)
            return false;
    }
    return true;
}

} // namespace kv10::sim
