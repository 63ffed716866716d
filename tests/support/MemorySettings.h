#pragma once
// Settings held in memory for tests: values by "SECTION/Key", and every write in order
// ("write SECTION/Key=value"), optionally into a shared event log.
#include "IntegerSettings.h"

#include <QMap>
#include <QStringList>

namespace kv10::test {

class MemorySettings : public IntegerSettings {
public:
    explicit MemorySettings(QStringList* log = nullptr) : m_log(log) {}

    QMap<QString, QString> values;
    QStringList writes;
    bool failSync = false;
    int syncs = 0;

    void set(const QString& path, const QString& text) { values[path] = text; }

    int readInteger(const QString& section, const QString& key, int defaultValue) override
    {
        bool ok = false;
        const int value = values.value(section + '/' + key).toInt(&ok);
        return ok ? value : defaultValue;
    }
    void writeInteger(const QString& section, const QString& key, int value) override
    {
        writeText(section, key, QString::number(value));
    }
    QString readText(const QString& section, const QString& key, const QString& defaultValue) override
    {
        return values.value(section + '/' + key, defaultValue);
    }
    void writeText(const QString& section, const QString& key, const QString& value) override
    {
        const QString path = section + '/' + key;
        values[path] = value;
        writes << path + '=' + value;
        if (m_log)
            *m_log << QStringLiteral("write ") + path + '=' + value;
    }
    bool sync() override
    {
        ++syncs;
        return !failSync;
    }

private:
    QStringList* m_log;
};

} // namespace kv10::test
