#pragma once
// Section/key settings of the program: decimal integers and a few texts. The main window's
// SettingsStore implements it; the port dialog reads and writes its sections through it.
#include <QString>

namespace kv10 {

class IntegerSettings {
public:
    virtual ~IntegerSettings() = default;
    // A missing value or one that is not a decimal integer yields `defaultValue`.
    virtual int readInteger(const QString& section, const QString& key, int defaultValue) = 0;
    virtual void writeInteger(const QString& section, const QString& key, int value) = 0;
    virtual QString readText(const QString& section, const QString& key, const QString& defaultValue) = 0;
    virtual void writeText(const QString& section, const QString& key, const QString& value) = 0;
    // Makes the writes so far durable; false when they could not be stored.
    virtual bool sync() = 0;
};

} // namespace kv10
