#include "SettingsStore.h"

#include "AtomicFile.h"
#include "NumberText.h"

#include <QDir>
#include <QFileDevice>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

namespace {

const QString StoreName = QStringLiteral("KorFW_R09");

QString keyPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}

// The INI text of the store. QSettings' own INI writer commits a file cut short by a full disk
// or a file-size limit and reports success; this one fails the write, and QSettings then keeps
// the old file. Its reader takes what it can of a damaged file and skips the rest.
QString unquoted(const QString& value)
{
    if (value.size() < 2 || !value.startsWith(QLatin1Char('"')) || !value.endsWith(QLatin1Char('"')))
        return value;
    QString out;
    for (qsizetype i = 1; i + 1 < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 2 < value.size()) {
            const QChar next = value[++i];
            out += next == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

QString quotedIfNeeded(const QString& value)
{
    static const QString special = QStringLiteral("\"\\;,=\n\r");
    const bool plain = value.trimmed() == value
                       && std::none_of(value.begin(), value.end(), [](QChar c) { return special.contains(c); });
    if (plain)
        return value;
    QString out = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c != QLatin1Char('\r'))
            out += c;
    }
    return out + QLatin1Char('"');
}

bool readStoreText(QIODevice& device, QSettings::SettingsMap& map)
{
    QString section;
    for (const QByteArray& raw : device.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = QUrl::fromPercentEncoding(line.mid(1, line.size() - 2).toUtf8());
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || section.isEmpty())
            continue;
        const QString key = QUrl::fromPercentEncoding(line.left(equals).trimmed().toUtf8());
        QString value = unquoted(line.mid(equals + 1).trimmed());
        // "@Variant(...)" and the like hold no text of ours; "@@" is a text beginning with "@".
        if (value.startsWith(QLatin1Char('@')) && !value.startsWith(QLatin1String("@@")))
            continue;
        if (value.startsWith(QLatin1Char('@')))
            value.remove(0, 1);
        map.insert(section + QLatin1Char('/') + key, value);
    }
    return true;
}

bool writeStoreText(QIODevice& device, const QSettings::SettingsMap& map)
{
    QByteArray out;
    QString section;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const qsizetype slash = it.key().indexOf(QLatin1Char('/'));
        if (slash <= 0)
            continue;
        if (it.key().left(slash) != section) {
            section = it.key().left(slash);
            out += (out.isEmpty() ? "[" : "\n[") + section.toUtf8() + "]\n";
        }
        QString value = it.value().toString();
        if (value.startsWith(QLatin1Char('@')))
            value.prepend(QLatin1Char('@'));
        out += it.key().mid(slash + 1).toUtf8() + '=' + quotedIfNeeded(value).toUtf8() + '\n';
    }
    auto* file = qobject_cast<QFileDevice*>(&device);
    return kv10::writeFully(device, out) && (!file || file->flush());
}

QSettings::Format storeFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readStoreText, writeStoreText);
    return format;
}

std::unique_ptr<QSettings> openSettings(const QString& folder)
{
    QString directory = folder;
    if (directory.isEmpty()) {
#ifdef Q_OS_WIN
        // Directly below the root, not below Software.
        return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\") + StoreName,
                                           QSettings::NativeFormat);
#else
        directory = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
    }
    return std::make_unique<QSettings>(QDir(directory).filePath(StoreName + QStringLiteral(".ini")),
                                       storeFormat());
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
    m_settings->setValue(keyPath(section, key), value);
}

bool SettingsStore::sync()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString SettingsStore::location() const
{
    QString name = m_settings->fileName();
    // The registry key comes as "\\HKEY_CURRENT_USER\\KorFW_R09"; a user knows it without the backslash.
    if (m_settings->format() == QSettings::NativeFormat && name.startsWith(QLatin1Char('\\')))
        name.remove(0, 1);
    return name;
}
