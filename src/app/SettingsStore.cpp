#include "SettingsStore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <limits>

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

} // namespace

SettingsStore::SettingsStore(const QString& folder) : m_settings(openSettings(folder)) {}

SettingsStore::~SettingsStore() = default;

std::optional<int> SettingsStore::parseDecimal(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 magnitude = 0;
    constexpr qint64 limit = qint64(std::numeric_limits<int>::max()) + 1;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        magnitude = magnitude * 10 + (c.unicode() - '0');
        if (magnitude > limit)
            return std::nullopt;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

int SettingsStore::readInteger(const QString& section, const QString& key, int defaultValue)
{
    const QVariant stored = m_settings->value(keyPath(section, key));
    if (!stored.isValid() || stored.typeId() != QMetaType::QString)
        return defaultValue;
    return parseDecimal(stored.toString()).value_or(defaultValue);
}

void SettingsStore::writeInteger(const QString& section, const QString& key, int value)
{
    m_settings->setValue(keyPath(section, key), QString::number(value));
}

QString SettingsStore::readText(const QString& section, const QString& key, const QString& defaultValue)
{
    const QVariant stored = m_settings->value(keyPath(section, key));
    if (!stored.isValid() || stored.typeId() != QMetaType::QString)
        return defaultValue;
    return stored.toString();
}

void SettingsStore::writeText(const QString& section, const QString& key, const QString& value)
{
    m_settings->setValue(keyPath(section, key), value);
}

bool SettingsStore::sync()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString SettingsStore::location() const
{
    return m_settings->fileName();
}
