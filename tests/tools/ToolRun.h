// kv10ctl as a technician's script runs it: the built binary in its own process, talking over a
// pseudo-terminal to the simulated controller, judged by its exit status, its output and what
// the controller saw and holds afterwards. Shared by the tool's test programs.
#pragma once

#include "StartedSimulator.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace kv10::test {

constexpr uint8_t Station = 1;
constexpr int UsageExit = 2;

struct Run {
    bool finished = false;
    int exitCode = -1;
    QStringList out;
    QStringList err;

    QString describe() const
    {
        return QStringLiteral("finished %1, exit %2, stdout [%3], stderr [%4]")
            .arg(finished)
            .arg(exitCode)
            .arg(out.mid(0, 5).join(QStringLiteral(" | ")), err.join(QStringLiteral(" | ")));
    }
};

// Lines end with LF, or with CR LF on Windows (the console's text mode).
inline QStringList linesOf(const QByteArray& bytes)
{
    QStringList lines = QString::fromUtf8(bytes).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

inline Run runTool(const QStringList& args, const QByteArray& input = {}, int timeoutMs = 60000)
{
    QProcess process;
    process.start(QStringLiteral(KV10CTL_PATH), args);
    Run run;
    if (!process.waitForStarted())
        return run;
    process.write(input);
    process.closeWriteChannel();
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = linesOf(process.readAllStandardOutput());
    run.err = linesOf(process.readAllStandardError());
    return run;
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The first line `from` of the file becomes `to` (or goes, when `to` is empty).
inline bool editLine(const QString& path, const QByteArray& from, const QByteArray& to)
{
    QByteArray bytes = fileBytes(path);
    const qsizetype at = bytes.indexOf("\r\n" + from + "\r\n");
    if (at < 0)
        return false;
    bytes.replace(at + 2, from.size() + 2, to.isEmpty() ? QByteArray() : to + "\r\n");
    return putFile(path, bytes);
}

inline double valueOf(const QString& line)
{
    return line.section(QLatin1Char('='), 1).toDouble();
}

// The simulated controller at `Station`, started afresh for every test function and row.
class ToolFixture {
protected:
    std::unique_ptr<sim::SimulatedController> m_sim;

    sim::SimulatedController& sim() { return *m_sim; }

    // The station started; false with the reason in `error`.
    bool startStation(QString& error)
    {
        m_sim = startSimulator({.addresses = {Station}}, error);
        return m_sim != nullptr;
    }

    QStringList stationOptions() const
    {
        return {QStringLiteral("--device"), m_sim->slavePath(), QStringLiteral("--da"), QString::number(Station)};
    }

    Run atStation(const QStringList& args, const QByteArray& input = {}, int timeoutMs = 60000)
    {
        return runTool(stationOptions() + args, input, timeoutMs);
    }
};

} // namespace kv10::test
