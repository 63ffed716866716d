#include "SerialTransport.h"

#include "AppError.h"
#include "Protocol.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <thread>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX   // keeps std::min and std::max usable
#endif
#include <windows.h>
#else
#include <cerrno>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

namespace kv10 {

namespace {

constexpr int QueueSize = 256;
constexpr int WriteWaitStepMs = 1000;
constexpr int WriteLimitConstantMs = 1000;
// How long a write may take before the line counts as stalled: a second plus twice its wire time.
int writeLimitMs(int bytes, int baudRate)
{
    const qint64 wireMs = (qint64(bytes) * LineBitsPerByte * 1000 + baudRate - 1) / std::max(baudRate, 1);
    return int(std::min<qint64>(WriteLimitConstantMs + 2 * wireMs, std::numeric_limits<int>::max()));
}

enum class Drain { Done, Stalled, Failed };
constexpr uint8_t Mark = 0xFF;

bool isRealError(QSerialPort::SerialPortError error)
{
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
}

// Errors of reading and writing: the device has gone (or its pseudo-terminal was closed).
bool isDeviceError(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError;
}

// Unix98 pseudo-terminal slaves have the character-device majors 136 to 143.
bool isPseudoTerminal(const QString& devicePath)
{
#ifdef Q_OS_LINUX
    struct stat info {};
    if (::stat(QFile::encodeName(devicePath).constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned int deviceMajor = major(info.st_rdev);
    return deviceMajor >= 136 && deviceMajor <= 143;
#else
    Q_UNUSED(devicePath);
    return false;
#endif
}

// Waits, within the write's limit, until the bytes written are out on the line, so that a purge
// after the last retry cannot take back a request that is still going out. Not tcdrain(): a
// device that stops taking bytes would block it for ever.
Drain drainOutput(SerialDriver& driver, QSerialPort& port, const QDeadlineTimer& limit)
{
    for (;;) {
        const int queued = driver.outputQueued(port);
        if (queued < 0)
            return Drain::Failed;
        if (queued == 0)
            return Drain::Done;
        if (limit.hasExpired())
            return Drain::Stalled;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

// A byte received with a parity or framing error must fail the read, not pass as data.
#ifdef Q_OS_WIN
// The driver checks parity and notes errors for ClearCommError.
bool SerialDriver::watchLineErrors(QSerialPort& port)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port.handle(), &dcb))
        return false;
    dcb.fParity = TRUE;
    dcb.fErrorChar = FALSE;
    return ::SetCommState(port.handle(), &dcb) != 0;
}

bool SerialDriver::takeNotedLineErrors(QSerialPort& port)
{
    DWORD errors = 0;
    return ::ClearCommError(port.handle(), &errors, nullptr)
        && (errors & (CE_RXPARITY | CE_FRAME | CE_OVERRUN | CE_BREAK)) != 0;
}

int SerialDriver::outputQueued(QSerialPort&)
{
    return 0;   // a write returns when the driver has sent it
}
#else
// QSerialPort leaves parity unchecked (no INPCK) and drops framing errors (IGNPAR). Here the
// kernel checks parity and marks every faulty byte in the input (PARMRK), which
// takeBuffered() undoes. A pseudo-terminal keeps these flags, though it never has an error.
bool SerialDriver::watchLineErrors(QSerialPort& port)
{
    termios settings{};
    if (::tcgetattr(port.handle(), &settings) != 0)
        return false;
    settings.c_iflag |= INPCK | PARMRK;
    settings.c_iflag &= ~tcflag_t(IGNPAR | ISTRIP | IGNBRK | BRKINT);
    if (::tcsetattr(port.handle(), TCSANOW, &settings) != 0 || ::tcgetattr(port.handle(), &settings) != 0)
        return false;
    return (settings.c_iflag & (INPCK | PARMRK | IGNPAR)) == (INPCK | PARMRK);
}

bool SerialDriver::takeNotedLineErrors(QSerialPort&)
{
    return false;   // marked in the input instead
}

int SerialDriver::outputQueued(QSerialPort& port)
{
    for (;;) {
        int queued = 0;
        if (::ioctl(port.handle(), TIOCOUTQ, &queued) == 0)
            return std::max(queued, 0);
        if (errno != EINTR)
            // A device that cannot tell its queue has taken the bytes; one that is gone fails.
            return errno == ENOTTY || errno == EINVAL ? 0 : -1;
    }
}
#endif

void SerialDriver::discardOutput(QSerialPort& port)
{
    port.clear(QSerialPort::Output);
}

SerialTransport::SerialTransport(std::unique_ptr<SerialDriver> driver)
    : m_port(std::make_unique<QSerialPort>()), m_driver(driver ? std::move(driver) : std::make_unique<SerialDriver>())
{
    m_reopenTimer.setInterval(ReopenIntervalMs);
    QObject::connect(&m_reopenTimer, &QTimer::timeout, &m_reopenTimer, [this] { tryReopen(); });
    // Between exchanges the event loop reads the port and finds a device that has gone. Queued,
    // so the port is not closed inside its own notification; a stale report finds the error
    // cleared (by the next exchange or a new open) and does nothing.
    QObject::connect(
        m_port.get(), &QSerialPort::errorOccurred, m_port.get(),
        [this](QSerialPort::SerialPortError) {
            if (m_port->isOpen() && isDeviceError(m_port->error()))
                deviceFailed();
        },
        Qt::QueuedConnection);
}

SerialTransport::~SerialTransport() = default;

QString busyPortNote(const SerialTransport& transport)
{
    return transport.lastOpenFailure() == SerialTransport::OpenFailure::PortBusy
               ? QStringLiteral(": port busy, another program holds it")
               : QString();
}

void SerialTransport::OpenPort(const QString& devicePath, const QString& comName, int baudRate)
{
    ClosePort();
    m_devicePath = devicePath;
    m_comName = comName;
    m_baudRate = baudRate;
    m_retryFailedDevice = true;
    if (const auto error = openDevice())
        throw AppError(*error);
}

std::optional<QString> SerialTransport::openDevice()
{
    // Line settings go in before open(): a pseudo-terminal refuses parity on an open port.
    m_port->setPortName(m_devicePath);
    m_port->setBaudRate(m_baudRate);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::EvenParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    // Also before open(): on Windows, setting it on an open port starts a read at once, which
    // takes bytes left on the line into the port's buffer behind the purge below.
    m_port->setReadBufferSize(QueueSize);
    bool opened = m_port->open(QIODevice::ReadWrite);
    // A pseudo-terminal drops parity. When it still holds our settings from a run that was
    // killed with the port open, parity is the only change asked for, nothing takes effect
    // and the C library reports the settings as refused. A pseudo-terminal has no parity
    // to check anyway, so it is opened without.
    if (!opened && isPseudoTerminal(m_devicePath)) {
        m_port->setParity(QSerialPort::NoParity);
        opened = m_port->open(QIODevice::ReadWrite);
    }
    if (!opened) {
        // Qt reports a port held by another program (its lock file, an exclusive terminal) as a
        // permission error; a device we may open says that it is the holder, not us.
#ifdef Q_OS_WIN
        const bool ours = true;   // a COM port has no permissions of its own: denied means held
#else
        const QFileInfo device(m_devicePath);
        const bool ours = device.isReadable() && device.isWritable();
#endif
        m_openFailure = m_port->error() == QSerialPort::PermissionError && ours ? OpenFailure::PortBusy : OpenFailure::Other;
        return QStringLiteral("Sériový port ") + m_comName + QStringLiteral(" nelze otevřít");
    }
    m_openFailure = OpenFailure::Other;

    if (m_port->readBufferSize() != QueueSize) {
        m_port->close();
        return QStringLiteral("Na ") + m_comName + QStringLiteral(" nelze otevřít vyrovnávací buffer");
    }
    if (!m_driver->watchLineErrors(*m_port)) {
        m_port->close();
        return QStringLiteral("Nepodařila se reinicializace portu ") + m_comName;
    }
    PurgeOutput();
    PurgeInput();
    m_driver->takeNotedLineErrors(*m_port);
    m_port->clearError();   // open() keeps the error of the device that failed before
    m_openFailure = OpenFailure::None;
    return std::nullopt;
}

void SerialTransport::ApplyLineSettings()
{
    // On a closed port the rate is stored and goes to the device with the next open.
    if (!isOpen()) {
        m_port->setBaudRate(m_baudRate);
        return;
    }
    if (!m_port->setBaudRate(m_baudRate)) {
        const QString name = m_comName;
        ClosePort();
        throw AppError(QStringLiteral("Nepodařila se reinicializace portu ") + name);
    }
}

void SerialTransport::SetBaudRate(int baudRate)
{
    m_baudRate = baudRate;
    ApplyLineSettings();
}

void SerialTransport::ClosePort()
{
    m_reopenTimer.stop();
    if (m_port->isOpen())
        m_port->close();
}

void SerialTransport::setRetryFailedDevice(bool retry)
{
    m_retryFailedDevice = retry;
    if (!retry)
        m_reopenTimer.stop();
}

void SerialTransport::deviceFailed()
{
    m_port->close();
    if (m_retryFailedDevice)
        m_reopenTimer.start();
}

void SerialTransport::tryReopen()
{
    // A missing device fails at once, so a try never holds up the program.
    if (!openDevice())
        m_reopenTimer.stop();
}

bool SerialTransport::isOpen() const
{
    return m_port->isOpen();
}

bool SerialTransport::ReadBytes(uint8_t* dest, int n, int& got)
{
    return receive(dest, n, got, false);
}

bool SerialTransport::ReadFrame(uint8_t* dest, int max, int& got)
{
    return receive(dest, max, got, true);
}

bool SerialTransport::receive(uint8_t* dest, int n, int& got, bool untilFrame)
{
    got = 0;
    if (!isOpen() || n < 0)
        return false;
    m_port->clearError();
    const QDeadlineTimer total(readTotalTimeoutMs(n, m_baudRate));
    for (;;) {
        const int end = untilFrame ? frameReadEnd(dest, got, n) : n;
        if (got >= end)
            break;
        // The header alone first: its L tells where the telegram ends, and what follows
        // that stays unread.
        const int upTo = untilFrame && got < VariableHeaderSize ? std::min(end, VariableHeaderSize) : end;
        const int taken = takeBuffered(dest + got, upTo - got);
        if (taken < 0)
            return false;
        got += taken;
        if (taken > 0)
            continue;
        // Before the first byte only the total time-out applies; then also the gap.
        const qint64 left = total.remainingTime();
        const qint64 wait = got == 0 ? left : std::min<qint64>(left, ReadIntervalTimeoutMs);
        if (wait <= 0 || !m_port->waitForReadyRead(static_cast<int>(wait))) {
            if (isDeviceError(m_port->error())) {
                deviceFailed();
                return false;
            }
            if (isRealError(m_port->error()))
                return false;
            break;
        }
    }
    return !m_driver->takeNotedLineErrors(*m_port);
}

int SerialTransport::takeBuffered(uint8_t* dest, int n)
{
    const qint64 available = m_port->bytesAvailable();
    if (available <= 0 || n <= 0)
        return 0;
#ifdef Q_OS_WIN
    const qint64 taken = m_port->read(reinterpret_cast<char*>(dest), std::min<qint64>(available, n));
    return taken < 0 ? -1 : static_cast<int>(taken);
#else
    // A data byte takes up to three bytes of marked input.
    const QByteArray raw = m_port->peek(std::min<qint64>(available, 3 * qint64(n)));
    int used = 0;
    const int taken = unmarkInput(raw, dest, n, used);
    m_port->skip(used);
    return taken;
#endif
}

int SerialTransport::unmarkInput(QByteArrayView raw, uint8_t* dest, int n, int& used)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(raw.data());
    const qsizetype size = raw.size();
    int got = 0;
    qsizetype i = 0;
    while (got < n && i < size) {
        if (bytes[i] != Mark) {
            dest[got++] = bytes[i++];
            continue;
        }
        if (i + 1 >= size)
            break;   // the rest of the mark is still to come
        if (bytes[i + 1] != 0) {
            // FF FF; anything else after FF is no mark and leaves the FF as it came.
            dest[got++] = Mark;
            i += bytes[i + 1] == Mark ? 2 : 1;
            continue;
        }
        if (i + 2 >= size)
            break;
        if (got > 0)
            break;   // the data before the error first, so that every byte is counted
        used = int(i + 3);
        return -1;
    }
    used = int(i);
    return got;
}

QString comDevicePath(int com)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(com);
#else
    return QStringLiteral("/dev/ttyS%1").arg(com - 1);
#endif
}

bool SerialTransport::WriteBytes(const uint8_t* src, int n, int& written)
{
    written = 0;
    if (!isOpen() || n < 0)
        return false;
    PurgeInput();
    PurgeOutput();
    m_driver->takeNotedLineErrors(*m_port);
    m_port->clearError();
    const QDeadlineTimer limit(writeLimitMs(n, m_baudRate));
    bool sent = m_port->write(reinterpret_cast<const char*>(src), n) == n;
    // Wait until the driver has taken every byte and put it on the line, but not for ever.
    while (sent && m_port->bytesToWrite() > 0 && !limit.hasExpired()) {
        const int step = int(std::clamp<qint64>(limit.remainingTime(), 1, WriteWaitStepMs));
        sent = m_port->waitForBytesWritten(step) || !isRealError(m_port->error());
    }
    const Drain drained = !sent                       ? Drain::Failed
                          : m_port->bytesToWrite() > 0 ? Drain::Stalled
                                                       : drainOutput(*m_driver, *m_port, limit);
    if (drained == Drain::Stalled) {
        // The far end takes nothing: what is left must not go out in the middle of a later request.
        m_driver->discardOutput(*m_port);
        return false;
    }
    if (drained == Drain::Failed) {
        deviceFailed();
        return false;
    }
    written = n;
    return true;
}

int SerialTransport::DiscardInput(int n, int timeoutMs)
{
    if (!isOpen() || n <= 0)
        return 0;
    m_port->clearError();
    const QDeadlineTimer limit(std::max(timeoutMs, 0));
    std::array<uint8_t, QueueSize> scratch{};
    int discarded = 0;
    while (discarded < n) {
        const int taken = takeBuffered(scratch.data(), std::min<int>(n - discarded, QueueSize));
        discarded += taken < 0 ? 1 : taken;   // a byte marked faulty is thrown away as well
        if (taken != 0)
            continue;
        const qint64 left = limit.remainingTime();
        if (left <= 0 || !m_port->waitForReadyRead(int(left))) {
            if (isDeviceError(m_port->error()))
                deviceFailed();
            break;
        }
    }
    m_driver->takeNotedLineErrors(*m_port);
    return discarded;
}

void SerialTransport::PurgeInput()
{
    if (!isOpen())
        return;
    m_port->clear(QSerialPort::Input);
    m_port->readAll();   // bytes Qt had already taken from the driver
}

void SerialTransport::PurgeOutput()
{
    // Writes are synchronous and drained, so only bytes Qt has not yet handed to the driver
    // can be pending. Flushing the driver as well would, on a pseudo-terminal, discard a
    // request the other end has not read yet.
    if (isOpen() && m_port->bytesToWrite() > 0)
        m_port->clear(QSerialPort::Output);
}

} // namespace kv10
