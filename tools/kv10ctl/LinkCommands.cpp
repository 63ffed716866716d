// ping, scan and ident.
#include "Identification.h"
#include "StopSignals.h"
#include "Tool.h"

namespace kv10::ctl {

int Tool::ping()
{
    if (!onLink([](TelegramLink& link) { return link.PingStation(); }))
        return exchangeFailed(QStringLiteral("no answer from station %1").arg(addresses().DA()));
    out() << "station " << addresses().DA() << " answered" << Qt::endl;
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
    const uint8_t previous = addresses().DA();
    int found = 0;
    {
        const StopDeferral deferral;
        for (int address = first; address <= last && !stopRequested(); ++address) {
            addresses().SetDA(uint8_t(address));
            if (onLink([](TelegramLink& link) { return link.PingStation(); })) {
                out() << address << Qt::endl;
                ++found;
            }
        }
    }
    addresses().SetDA(previous);
    if (stopRequested())
        return interrupted();
    return found > 0 ? ExitOk : exchangeFailed(QStringLiteral("no station answered"));
}

int Tool::ident()
{
    core::Identification found;
    runSequence(core::ImageUse::Whole, [&found](core::Sequence& asking) {
        return core::identify(asking, found, core::ForeignDevice::NotAsked);
    });
    if (!found.typeRead)
        return exchangeFailed(QStringLiteral("reading the device type failed"));
    if (!found.versionRead)
        return exchangeFailed(QStringLiteral("reading the firmware version failed"));
    out() << "TYPE=" << QString::fromLatin1(m_image.deviceTypeText.data()) << Qt::endl;
    out() << "VERSION=" << QString::fromLatin1(m_image.deviceVersionText.data()) << Qt::endl;
    return ExitOk;
}

} // namespace kv10::ctl
