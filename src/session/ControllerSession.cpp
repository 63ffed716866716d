#include "ControllerSession.h"

#include "AppError.h"
#include "IntegerSettings.h"

using namespace kv10;

namespace {

const QString Port = QStringLiteral("PORT");
const QString Adresa = QStringLiteral("ADRESA");

QString comName(int com)
{
    return QStringLiteral("COM%1").arg(com);
}

QString deviceKey(int com)
{
    return QStringLiteral("DEVICE%1").arg(com);
}

bool isCom(int com)
{
    return com >= 1 && com <= ControllerSession::ComCount;
}

// Stored bus addresses outside 0-126 are not usable; they take the default 0.
int busAddress(int stored)
{
    return stored >= 0 && stored <= HighestStationAddress ? stored : 0;
}

} // namespace

bool ControllerSession::Snapshot::sameSettings(const Snapshot& other) const
{
    return com == other.com && baudRate == other.baudRate && da == other.da && sa == other.sa
        && devices == other.devices;
}

ControllerSession::ControllerSession(Waiter& waiter) : m_link(m_image, waiter)
{
    m_link.setTransport(&m_transport);
}

ControllerSession::ControllerSession(Waiter& waiter, MonotonicClock& clock) : m_link(m_image, waiter, clock)
{
    m_link.setTransport(&m_transport);
}

ControllerSession::~ControllerSession()
{
    m_link.setTransport(nullptr);
}

ControllerSession::StoredSettings ControllerSession::readSettings(IntegerSettings& settings)
{
    StoredSettings stored;
    stored.sa = busAddress(settings.readInteger(Adresa, QStringLiteral("SA"), 0));
    stored.da = busAddress(settings.readInteger(Adresa, QStringLiteral("DA"), 0));
    stored.com = settings.readInteger(Port, QStringLiteral("COM"), 1);
    stored.baudRate = settings.readInteger(Port, QStringLiteral("BAUDRATE"), 9600);
#ifndef Q_OS_WIN
    for (int com = 1; com <= ComCount; ++com)
        stored.devices[com] = settings.readText(Port, deviceKey(com), comDevicePath(com));
#endif
    return stored;
}

void ControllerSession::useSettings(const StoredSettings& stored)
{
    m_comNumber = stored.com;
    m_baudRate = stored.baudRate;
#ifndef Q_OS_WIN
    for (int com = 1; com <= ComCount; ++com) {
        m_storedDevices[com] = stored.devices[com];
        // An override set before keeps its place for this run.
        if (m_devices[com].isEmpty())
            m_devices[com] = m_storedDevices[com];
    }
#endif
    setSA(stored.sa);
    setDA(stored.da);
}

void ControllerSession::storeSettings(IntegerSettings& settings)
{
    keepNoPortAsCom1();
    writeSettings(snapshot(), settings);
}

void ControllerSession::writeSettings(const Snapshot& state, IntegerSettings& settings)
{
    settings.writeInteger(Adresa, QStringLiteral("SA"), state.sa);
    settings.writeInteger(Adresa, QStringLiteral("DA"), state.da);
    settings.writeInteger(Port, QStringLiteral("BAUDRATE"), state.baudRate);
    // The next start tries COM 1 rather than no port; the open port stays as it is.
    settings.writeInteger(Port, QStringLiteral("COM"), state.com == 0 ? 1 : state.com);
#ifndef Q_OS_WIN
    for (int com = 1; com <= ComCount; ++com)
        settings.writeText(Port, deviceKey(com), state.storedDevices[com]);
#endif
}

void ControllerSession::keepNoPortAsCom1()
{
    if (m_comNumber == 0)
        m_comNumber = 1;
}

QString ControllerSession::Snapshot::devicePathFor(int com) const
{
    if (isCom(com) && !devices[com].isEmpty())
        return devices[com];
    return com >= 1 ? comDevicePath(com) : QString();
}

QString ControllerSession::devicePathFor(int com) const
{
    return snapshot().devicePathFor(com);
}

void ControllerSession::setDevicePath(int com, const QString& path)
{
    if (!isCom(com))
        return;
    m_devices[com] = path;
    m_storedDevices[com] = path;
}

void ControllerSession::setDeviceOverride(int com, const QString& path)
{
    if (isCom(com))
        m_devices[com] = path;
}

void ControllerSession::setTransportOverride(int com, Transport* transport)
{
    m_overrideCom = com;
    m_overrideTransport = transport;
}

void ControllerSession::openPort(int com)
{
    m_comNumber = com;
    if (m_overrideTransport && com == m_overrideCom) {
        m_transport.ClosePort();
        m_link.setTransport(m_overrideTransport);
        return;
    }
    m_link.setTransport(&m_transport);
    try {
        m_transport.OpenPort(devicePathFor(com), comName(com), m_baudRate);
    } catch (const AppError&) {
        portFailed();
        throw;
    }
}

void ControllerSession::openDevice(const QString& devicePath, const QString& portName)
{
    m_link.setTransport(&m_transport);
    m_transport.OpenPort(devicePath, portName, m_baudRate);
}

void ControllerSession::setBaudRate(int baudRate)
{
    m_baudRate = baudRate;
    applyLineSettings();
}

void ControllerSession::applyLineSettings()
{
    try {
        m_transport.SetBaudRate(m_baudRate);
    } catch (const AppError&) {
        portFailed();
        throw;
    }
}

void ControllerSession::closePort()
{
    m_transport.ClosePort();
}

void ControllerSession::chooseCom(int com)
{
    m_comNumber = com;
    if (com == 0) {
        m_transport.setRetryFailedDevice(false);
        return;
    }
    closePort();
    openPort(com);
}

void ControllerSession::portFailed()
{
    m_comNumber = 0;
}

ControllerSession::Snapshot ControllerSession::snapshot() const
{
    return Snapshot{m_comNumber, m_baudRate, da(), sa(), m_devices, m_storedDevices};
}

void ControllerSession::restore(const Snapshot& old)
{
    const Snapshot now = snapshot();
    const bool devicesChanged = now.devices != old.devices;
    m_devices = old.devices;
    m_storedDevices = old.storedDevices;
    if (now.com != old.com || (devicesChanged && old.com != 0))
        chooseCom(old.com);
    if (now.baudRate != old.baudRate)
        setBaudRate(old.baudRate);
    if (now.da != old.da)
        setDA(old.da);
    if (now.sa != old.sa)
        setSA(old.sa);
}
