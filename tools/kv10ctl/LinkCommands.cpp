// ping, scan and ident.
#include "Identification.h"
#include "StopSignals.h"
#include "Tool.h"

namespace kv10::ctl {

int Tool::ping()
{
    if (!m_link.PingStation())
        return exchangeFailed(QStringLiteral("no answer from station %1").arg(m_link.DA()));
    out() << "station " << m_link.DA() << " answered" << Qt::endl;
    return ExitOk;
}

int Tool::scan(const QStringList& args)
{
    int first = 0;
    int last = HighestStationAddress;
    const bool ok = parseCommandOptions(args, {{"--from", intSetter(first, 0, HighestStationAddress)},
                                               {"--to", intSetter(last, 0, HighestStationAddress)}});
    if (!ok || first > last)
        return usageError(
            QStringLiteral("use: scan [--from A] [--to B], with 0 <= A <= B <= %1").arg(HighestStationAddress));
    const uint8_t previous = m_link.DA();
    int found = 0;
    {
        const StopDeferral deferral;
        for (int address = first; address <= last && !stopRequested(); ++address) {
            m_link.SetDA(uint8_t(address));
            if (m_link.PingStation()) {
                out() << address << Qt::endl;
                ++found;
            }
        }
    }
    m_link.SetDA(previous);
    if (stopRequested())
        return interrupted();
    return found > 0 ? ExitOk : exchangeFailed(QStringLiteral("no station answered"));
}

int Tool::ident()
{
    core::Sequence asking = sequence();
    core::Identification found;
    core::identify(asking, found, core::ForeignDevice::NotAsked);
    if (!found.typeRead)
        return exchangeFailed(QStringLiteral("reading the device type failed"));
    if (!found.versionRead)
        return exchangeFailed(QStringLiteral("reading the firmware version failed"));
    out() << "TYPE=" << QString::fromLatin1(m_image.deviceTypeText.data()) << Qt::endl;
    out() << "VERSION=" << QString::fromLatin1(m_image.deviceVersionText.data()) << Qt::endl;
    return ExitOk;
}

} // namespace kv10::ctl
