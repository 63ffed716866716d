// The commands of kv10ctl over one open link; each family of commands has its own source file.
#pragma once

#include "Arguments.h"
#include "ControllerImage.h"
#include "IniFile.h"
#include "ParameterSet.h"
#include "Sequence.h"
#include "Telegram.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

namespace kv10::ctl {

class Tool {
public:
    Tool(TelegramLink& link, std::vector<uint8_t> stations)
        : m_link(link), m_image(link.image()), m_stations(std::move(stations))
    {
    }

    int run(const QString& command, const QStringList& args);

private:
    int ping();
    int scan(const QStringList& args);
    int ident();
    int read(const QStringList& args);
    int write(const QStringList& args);
    int eeprom();
    int program(const QStringList& args);
    int record();
    int poll(const QStringList& args);
    int params(const QStringList& args);
    int saveSets(const QString& file);
    int loadSet(const QString& file, bool eeprom);
    int diffSet(const QString& file);

    // The file's set checked and, with a variant, taken into the image; false after the
    // message naming the value that does not parse.
    bool takeSet(const IniFile& ini, int variant, ControllerImage& image);
    // Opens FILE and checks that it holds a set; false after the message.
    bool openSet(const QString& file, IniFile& ini);
    // The firmware's variant, with a fresh image; 0 after the message.
    int identify();
    // The firmware identified and the set read into the image; 0 after the message.
    int readControllerSet();
    bool severalStations() const { return m_stations.size() > 1; }

    // A sequence on the link, pausing for real.
    core::Sequence sequence(core::Steering steering = {});
    void printTable(const TableInfo& table);
    int exchangeFailed(const QString& what)
    {
        fail(what);
        return ExitFailed;
    }
    int interrupted()
    {
        fail(QStringLiteral("interrupted"));
        return ExitInterrupted;
    }
    int fileFailed(const QString& what)
    {
        fail(what);
        return ExitFile;
    }

    TelegramLink& m_link;
    ControllerImage& m_image;   // the link's image
    std::vector<uint8_t> m_stations;
};

} // namespace kv10::ctl
