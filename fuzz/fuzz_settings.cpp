// The settings store: the input is the stored INI file, read through QSettings and the strict
// decimal parse, then one value written and synced back.
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// One folder for the whole run: creating one per input would dominate the time.
const QString& settingsFolder()
{
    static QTemporaryDir folder;
    static const QString path = folder.isValid() ? folder.path() : (std::abort(), QString());
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = QDir(settingsFolder()).filePath(QStringLiteral("KorFW_R09.ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    SettingsStore store(settingsFolder());
    {
        QSettings raw(path, QSettings::IniFormat);
        for (const QString& key : raw.allKeys()) {
            const qsizetype slash = key.indexOf(QLatin1Char('/'));
            const QString section = slash < 0 ? QString() : key.left(slash);
            const QString name = slash < 0 ? key : key.mid(slash + 1);
            store.readInteger(section, name, -1);
            store.readText(section, name, QString());
            SettingsStore::parseDecimal(raw.value(key).toString());
        }
    }
    store.readInteger(QStringLiteral("Port"), QStringLiteral("Com"), 1);
    store.writeInteger(QStringLiteral("Port"), QStringLiteral("Com"), 2);
    store.sync();
    return 0;
}
