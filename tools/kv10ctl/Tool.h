// The commands of kv10ctl over one open link; each family of commands has its own source file.
#pragma once

#include "Arguments.h"
#include "ControllerImage.h"
#include "IniFile.h"
#include "ParameterSet.h"
#include "Sequence.h"
#include "SequenceJob.h"
#include "SessionRunner.h"
#include "Telegram.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace kv10::ctl {

// Every exchange is a job of the session's runner, which runs it inline, on this thread: the
// same sequences as the program's windows, through the same code. With nobody else on the
// session, the tool's image is the session's own.
class Tool {
public:
    Tool(SessionRunner& runner, std::vector<uint8_t> stations)
        : m_runner(runner), m_image(runner.session().image()), m_stations(std::move(stations))
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
    // All three blocks of a program, whatever PROG says; false when one did not come.
    bool readWholeProgram(int program);

    // body(sequence) as one job; what it returned, or nothing when the job threw (its text
    // has been printed). `stop`, when given, stops it at its next exchange.
    template <typename Body>
    std::optional<std::invoke_result_t<Body&, core::Sequence&>> runSequence(core::ImageUse use, Body body,
                                                                            StopHandle stop = {})
    {
        std::optional<std::invoke_result_t<Body&, core::Sequence&>> value;
        core::postSequence(m_runner, nullptr, m_image, use, std::move(body), {},
                           [&value](auto result) { value = std::move(result); }, std::move(stop));
        return value;
    }
    // A few link operations as one job; false also when the job threw.
    template <typename Work>
    bool onLink(Work work)
    {
        bool ok = false;
        m_runner.post(
            nullptr, [&work](ControllerSession& session, const StopRequest&) { return bool(work(session.link())); },
            [&ok](bool result) { ok = result; });
        return ok;
    }
    // The addresses, between jobs.
    TelegramLink& addresses() { return m_runner.session().link(); }
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

    SessionRunner& m_runner;
    ControllerImage& m_image;   // the session's image
    std::vector<uint8_t> m_stations;
};

} // namespace kv10::ctl
