#include "SerialTransport.h"

#include "AppError.h"
#include "Protocol.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSerialPort>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <termios.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

namespace kv10 {

namespace {

constexpr int QueueSize = 256;
constexpr int ReadTotalConstantMs = 500;
constexpr int ReadTotalPerByteMs = 2;
constexpr int ReadIntervalMs = 100;
constexpr int WriteWaitStepMs = 1000;

bool isRealError(QSerialPort::SerialPortError error)
{
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
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

} // namespace

SerialTransport::SerialTransport() : m_port(std::make_unique<QSerialPort>()) {}

SerialTransport::~SerialTransport() = default;

void SerialTransport::OpenPort(const QString& devicePath, const QString& comName, int baudRate)
{
    ClosePort();
    m_devicePath = devicePath;
    m_comName = comName;
    m_baudRate = baudRate;

    // Line settings go in before open(): a pseudo-terminal refuses parity on an open port.
    m_port->setPortName(devicePath);
    m_port->setBaudRate(baudRate);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::EvenParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    bool opened = m_port->open(QIODevice::ReadWrite);
    // A pseudo-terminal drops parity. When it still holds our settings from a run that was
    // killed with the port open, parity is the only change asked for, nothing takes effect
    // and the C library reports the settings as refused. A pseudo-terminal has no parity
    // to check anyway, so it is opened without.
    if (!opened && isPseudoTerminal(devicePath)) {
        m_port->setParity(QSerialPort::NoParity);
        opened = m_port->open(QIODevice::ReadWrite);
    }
    if (!opened)
        throw AppError(QStringLiteral("Sériový port ") + comName + QStringLiteral(" nelze otevřít"));

    m_port->setReadBufferSize(QueueSize);
    if (m_port->readBufferSize() != QueueSize) {
        ClosePort();
        throw AppError(QStringLiteral("Na ") + comName + QStringLiteral(" nelze otevřít vyrovnávací buffer"));
    }
    PurgeOutput();
    PurgeInput();
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
    if (m_port->isOpen())
        m_port->close();
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
    const QDeadlineTimer total(ReadTotalConstantMs + ReadTotalPerByteMs * n);
    for (;;) {
        const int end = untilFrame ? frameReadEnd(dest, got, n) : n;
        if (got >= end)
            break;
        if (m_port->bytesAvailable() == 0) {
            // Before the first byte only the total time-out applies; then also the gap.
            const qint64 left = total.remainingTime();
            const qint64 wait = got == 0 ? left : std::min<qint64>(left, ReadIntervalMs);
            if (wait <= 0 || !m_port->waitForReadyRead(static_cast<int>(wait))) {
                if (isRealError(m_port->error()))
                    return false;
                break;
            }
        }
        // The header alone first: its L tells where the telegram ends, and what follows
        // that stays unread.
        const int upTo = untilFrame && got < VariableHeaderSize ? std::min(end, VariableHeaderSize) : end;
        const qint64 taken = m_port->read(reinterpret_cast<char*>(dest) + got, upTo - got);
        if (taken < 0)
            return false;
        got += static_cast<int>(taken);
    }
    return true;
}

bool SerialTransport::WriteBytes(const uint8_t* src, int n, int& written)
{
    written = 0;
    if (!isOpen() || n < 0)
        return false;
    PurgeInput();
    PurgeOutput();
    m_port->clearError();
    if (m_port->write(reinterpret_cast<const char*>(src), n) != n)
        return false;
    // No write time-out: wait until the driver has taken every byte.
    while (m_port->bytesToWrite() > 0) {
        if (!m_port->waitForBytesWritten(WriteWaitStepMs) && isRealError(m_port->error()))
            return false;
    }
#ifdef Q_OS_UNIX
    // Return only when the bytes are on the line, so that a purge after the last retry
    // cannot take back a request that is still going out.
    tcdrain(m_port->handle());
#endif
    written = n;
    return true;
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
