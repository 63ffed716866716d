// params save, load and diff: the editor's parameter file against the controller.
#include "Identification.h"
#include "ParameterSet.h"
#include "SetTransfer.h"
#include "Tool.h"

#include <QFile>

#include <optional>

namespace kv10::ctl {

int Tool::params(const QStringList& args)
{
    const QString action = args.value(0);
    const QStringList rest = args.mid(2);
    const bool eeprom = action == "load" && rest == QStringList{QStringLiteral("--eeprom")};
    if (args.size() < 2 || args[1].isEmpty() || !(rest.isEmpty() || eeprom)
        || (action != "save" && action != "load" && action != "diff"))
        return usageError(QStringLiteral("use: params save FILE | params load FILE [--eeprom] | params diff FILE"));
    if (action == "save")
        return saveSets(args[1]);
    return action == "load" ? loadSet(args[1], eeprom) : diffSet(args[1]);
}

bool Tool::takeSet(const IniFile& ini, int variant, ControllerImage& image)
{
    for (const sets::SetValue& value : sets::setValues(variant)) {
        const QString text = sets::fileText(ini, value);
        const std::optional<double> number = sets::storedNumber(value, text, variant);
        if (!number) {
            fail(QStringLiteral("%1=%2 is not a valid value%3")
                     .arg(value.name(), text,
                          variant == sets::AnyVariant ? QString() : QStringLiteral(" for this firmware")));
            return false;
        }
        sets::storeNumber(value, *number, image);
    }
    return true;
}

bool Tool::openSet(const QString& file, IniFile& ini)
{
    if (!QFile::exists(file) || !ini.load(file)) {
        fail(QStringLiteral("cannot read %1").arg(nativePath(file)));
        return false;
    }
    if (!sets::versionAccepted(ini)) {
        fail(QString::fromUtf8(sets::WrongVersionText));
        return false;
    }
    ControllerImage scratch;
    return takeSet(ini, sets::AnyVariant, scratch);
}

int Tool::identify()
{
    // The fresh image goes along: a version that does not come reads as empty.
    m_image = ControllerImage{};
    core::Identification found;
    runSequence(core::ImageUse::Whole, [&found](core::Sequence& asking) {
        return core::identify(asking, found, core::ForeignDevice::NotAsked);
    });
    const int variant = found.variant;
    if (variant == 0)
        fail(QStringLiteral("station %1: no firmware version, or one this tool does not know (\"%2\")")
                 .arg(addresses().DA())
                 .arg(QString::fromLatin1(m_image.deviceVersionText.data())));
    return variant;
}

int Tool::readControllerSet()
{
    const int variant = identify();
    if (variant == 0)
        return 0;
    const auto read = runSequence(core::ImageUse::Whole,
                                  [variant](core::Sequence& reading) { return core::readSet(reading, variant); });
    if (!read)
        return 0;
    if (!read->ok) {
        fail(QStringLiteral("station %1: reading %2 failed").arg(addresses().DA()).arg(read->failed));
        return 0;
    }
    return variant;
}

int Tool::saveSets(const QString& file)
{
    const QString placeholder = QStringLiteral("{da}");
    if (severalStations() && !file.contains(placeholder))
        return usageError(QStringLiteral("with several stations the file name needs {da}"));
    int status = ExitOk;
    for (const uint8_t station : m_stations) {
        addresses().SetDA(station);
        const int variant = readControllerSet();
        if (variant == 0) {
            status = ExitFailed;
            continue;
        }
        const QString path = QString(file).replace(placeholder, QString::number(station));
        // Every key goes into the file's content first and the file is replaced once: a full
        // disk leaves the old file whole.
        IniFile ini;
        const bool loaded = ini.load(path);
        if (loaded)
            sets::writeReadOutSet(ini, m_image, variant);
        if (!loaded || !ini.save(path)) {
            fail(QStringLiteral("cannot write %1").arg(nativePath(path)));
            status = status == ExitOk ? ExitFile : status;
            continue;
        }
        out() << "station " << station << " saved to " << nativePath(path) << Qt::endl;
    }
    return status;
}

int Tool::loadSet(const QString& file, bool eeprom)
{
    IniFile ini;
    if (!openSet(file, ini))
        return ExitFile;
    const int variant = identify();
    if (variant == 0)
        return ExitFailed;
    if (!takeSet(ini, variant, m_image))
        return ExitFile;
    const uint8_t station = addresses().DA();
    const auto written = runSequence(core::ImageUse::Whole,
                                     [variant](core::Sequence& writing) { return core::writeSet(writing, variant); });
    if (addresses().DA() != station)
        out() << "station " << station << " now answers at address " << addresses().DA() << Qt::endl;
    if (!written)
        return ExitFailed;
    if (!written->ok)
        return exchangeFailed(QStringLiteral("writing %1 failed; what comes after it was not sent").arg(written->failed));
    out() << "loaded" << Qt::endl;
    if (eeprom)
        return this->eeprom();
    return ExitOk;
}

int Tool::diffSet(const QString& file)
{
    IniFile ini;
    if (!openSet(file, ini))
        return ExitFile;
    const int variant = readControllerSet();
    if (variant == 0)
        return ExitFailed;
    int differences = 0;
    for (const sets::SetValue& value : sets::setValues(variant)) {
        const QString fileText = sets::fileText(ini, value);
        const QString controllerText = sets::valueText(value, m_image, variant);
        if (sets::storedNumber(value, fileText, variant) == sets::storedNumber(value, controllerText, variant))
            continue;
        out() << value.name() << " file=" << fileText << " controller=" << controllerText << Qt::endl;
        ++differences;
    }
    return differences > 0 ? ExitDiffer : ExitOk;
}

} // namespace kv10::ctl
