#include "SettingsStore.h"

#include "NumberText.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString StoreName = QStringLiteral("KorFW_R09");

QString keyPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}

std::unique_ptr<QSettings> openSettings(const QString& folder)
{
    if (folder.isEmpty()) {
#ifdef Q_OS_WIN
        // Directly below the root, not below Software.
        return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\") + StoreName,
                                           QSettings::NativeFormat);
#else
        const QString configFolder =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        return std::make_unique<QSettings>(QDir(configFolder).filePath(StoreName + QStringLiteral(".ini")),
                                           QSettings::IniFormat);
#endif
    }
    return std::make_unique<QSettings>(QDir(folder).filePath(StoreName + QStringLiteral(".ini")),
                                       QSettings::IniFormat);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

SettingsStore::SettingsStore(const QString& folder) : m_settings(openSettings(folder)) {}

SettingsStore::~SettingsStore() = default;

std::optional<int> SettingsStore::parseDecimal(const QString& text)
{
    // Unlike an edit field, a stored value has no blanks around its digits.
    if (text.trimmed().size() != text.size())
        return std::nullopt;
    return kv10::parseInteger(text);
}

std::optional<QString> SettingsStore::storedText(const QString& section, const QString& key) const
{
    const QVariant stored = m_settings->value(keyPath(section, key));
    if (!stored.isValid() || stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return stored.toString();
}

int SettingsStore::readInteger(const QString& section, const QString& key, int defaultValue)
{
    const auto text = storedText(section, key);
    return text ? parseDecimal(*text).value_or(defaultValue) : defaultValue;
}

void SettingsStore::writeInteger(const QString& section, const QString& key, int value)
{
    writeText(section, key, QString::number(value));
}

QString SettingsStore::readText(const QString& section, const QString& key, const QString& defaultValue)
{
    return storedText(section, key).value_or(defaultValue);
}

void SettingsStore::writeText(const QString& section, const QString& key, const QString& value)
{
    const QString path = keyPath(section, key);
    if (m_settings->value(path) != QVariant(value))
        m_changed = true;
    m_settings->setValue(path, value);
}

bool SettingsStore::sync()
{
    // The status keeps the first error met: once a malformed line has been read it stays a
    // format error, whether or not the write works. A write that works rewrites the file.
    const QByteArray before = fileBytes(location());
    m_settings->sync();
    bool written = m_settings->status() == QSettings::NoError;
    if (m_settings->status() == QSettings::FormatError) {
        const QByteArray after = fileBytes(location());
        written = !m_changed || (!after.isEmpty() && after != before);
    }
    if (written)
        m_changed = false;
    return written;
}

QString SettingsStore::location() const
{
    return m_settings->fileName();
}
