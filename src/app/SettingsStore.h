#pragma once
// The program's per-user settings: the registry key HKEY_CURRENT_USER\KorFW_R09 on Windows,
// the INI file KorFW_R09.ini in the user's configuration folder elsewhere. Sections and keys
// are the same everywhere; every value is stored as decimal text.
#include "IntegerSettings.h"

#include <QString>
#include <memory>
#include <optional>

class QSettings;

class SettingsStore : public kv10::IntegerSettings {
public:
    // An empty `folder` selects the platform's own place; otherwise KorFW_R09.ini in `folder`
    // (tests and --settings-dir).
    explicit SettingsStore(const QString& folder = {});
    ~SettingsStore() override;

    int readInteger(const QString& section, const QString& key, int defaultValue) override;
    void writeInteger(const QString& section, const QString& key, int value) override;
    QString readText(const QString& section, const QString& key, const QString& defaultValue) override;
    void writeText(const QString& section, const QString& key, const QString& value) override;
    bool sync() override;

    // Where the settings live, for messages: a file path or the registry key.
    QString location() const;

    // Optional sign and decimal digits only, within the signed 32-bit range.
    static std::optional<int> parseDecimal(const QString& text);

private:
    // The value as text; nullopt when missing or not stored as text.
    std::optional<QString> storedText(const QString& section, const QString& key) const;

    std::unique_ptr<QSettings> m_settings;
};
