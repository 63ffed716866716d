// kv10ctl: the controller link from the command line, for technicians' scripts and diagnostics.
#include "AppError.h"
#include "ControllerImage.h"
#include "IniFile.h"
#include "Kv10Version.h"
#include "ParameterSet.h"
#include "ProcessStart.h"
#include "SerialTransport.h"
#include "SetTransfer.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <optional>

using namespace kv10;

namespace {

enum ExitCode {
    ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitPort = 3, ExitDiffer = 4, ExitFile = 5, ExitInterrupted = 130
};

constexpr double MaxPollIntervalSeconds = 86400;
constexpr int StopCheckMs = 50;

// A program travels as three blocks: start values, segment setpoints, segment times (by kind).
constexpr int ProgramBlockKinds = 3;
constexpr int ProgramBlockTables[ProgramBlockKinds] = {TableComp, TableSegsp, TableSegti};
constexpr int ProgramBlockPauseMs = 100;    // between two written blocks

const char* const HelpText = R"(Usage: kv10ctl [options] COMMAND [arguments]

Talks to one KORVIN 10 controller over a serial line.

Options:
  --device PATH     serial device (for example /dev/ttyUSB0, or COM12 on Windows)
  --com N           COM number 1-8: the port COMN on Windows, /dev/ttyS<N-1> elsewhere
  --baud RATE       line speed (default 9600)
  --da LIST         controller bus address 0-126 (default 0); params save and
                    poll take several: a list of addresses and ranges, 1,3,5-7
  --sa N            PC bus address 0-126 (default 0)
  --trace           print every telegram in hex on standard error
  --help            this text
  --version         print the program's version

Commands:
  ping                    ask the station at DA for an acknowledgement
  scan [--from A] [--to B]
                          ping addresses A to B (default 0-126) and print those
                          that answer, one a line; a silent address costs about
                          half a second
  ident                   print the device type and firmware version texts
                          as TYPE=... and VERSION=...
  read TABLE              print every field as TABLE.FIELD=value
                          (TABLE by name, e.g. PID, or by number 0-19)
  write TABLE F=V ...     read TABLE, change the named fields, write it back
                          and print the table as written; nothing is sent
                          unless every F=V names a field and fits its type
  eeprom                  make the controller store its parameters in EEPROM
  program read P          print program P (0-9): START, SP0-SP19, TI0-TI19
  program write P         read program P, apply KEY=VALUE lines from standard
                          input (same keys as program read; blank lines and
                          lines starting with # are skipped), write it back
                          and print it
  record                  read the controller's record (about 10 s): POS (the
                          newest sample's position), ZAZNAM (seconds between
                          samples), COUNT, then the values newest first as
                          N=value; samples taken during the read overwrite the
                          oldest ones, which are then left out, so COUNT is
                          256 less the samples taken meanwhile
  poll [--interval S] [--count N]
                          read the live table every S seconds (default 1),
                          N times (default 0 = until interrupted), one line
                          per sample: time, MEAS, SP, YOUT (tenths of a per
                          cent), TS, OUTS (relay bits), FAULT; with several
                          stations DA=N follows the time
    --csv FILE            also append every sample to FILE as CSV: a header
                          row in a new file, then time (ISO 8601), DA and the
                          values, one row per station and sample
  params save FILE        identify the firmware, read the whole parameter set
                          (every page table and the ten programs) and save it
                          as the editor's parameter file; an existing FILE
                          keeps its other lines. With several stations FILE
                          must contain {da}, which becomes each address
  params load FILE [--eeprom]
                          write the set of FILE (saved by this tool or the
                          editor) to the controller: every page table, then
                          the programs, then EEPROM when asked. Nothing is
                          sent unless the whole file is a set and every value
                          parses. Writing ADD moves the station to the
                          address of the file, and the tool follows it
  params diff FILE        read the controller's set and print one line
                          SECTION.KEY file=... controller=... for each value
                          that differs, compared as the controller stores it

Numbers are written and read with a decimal point; parameter files hold the
numbers of the user's locale, as the editor writes them.

Exit status: 0 success (also a poll ended by Ctrl-C; params diff: the same
set), 1 an exchange failed, 2 wrong usage (nothing was sent), 3 the port
could not be opened, 4 params diff found differences, 5 a file could not be
read or written, or is no parameter set (nothing was sent), 130 a scan or
record read interrupted.
)";

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

void fail(const QString& text)
{
    QTextStream(stderr) << "kv10ctl: " << text << Qt::endl;
}

int usageError(const QString& text)
{
    fail(text);
    return ExitUsage;
}

QString formatNumber(double value, FieldType type)
{
    if (type != FieldType::Float)
        return QString::number(static_cast<qint64>(value));
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

std::optional<double> parseNumber(const QString& text, FieldType type)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    // "nan", "inf" and numbers beyond a float would reach the controller as nonsense.
    if (!ok || !std::isfinite(static_cast<float>(value)))
        return std::nullopt;
    if (type == FieldType::Byte && (value < 0 || value > 255 || value != qint64(value)))
        return std::nullopt;
    if (type == FieldType::Int16 && (value < -32768 || value > 65535 || value != qint64(value)))
        return std::nullopt;
    return value;
}

std::optional<int> parseInt(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// "1,3,5-7": addresses and ranges, each address once, in the order given.
std::optional<std::vector<uint8_t>> parseStations(const QString& text)
{
    std::vector<uint8_t> stations;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        const std::optional<int> first = ends.size() <= 2 ? parseInt(ends.first(), 0, HighestStationAddress) : std::nullopt;
        const std::optional<int> last = ends.size() == 2 ? parseInt(ends.last(), 0, HighestStationAddress) : first;
        if (!first || !last || *first > *last)
            return std::nullopt;
        for (int address = *first; address <= *last; ++address)
            if (std::find(stations.begin(), stations.end(), address) == stations.end())
                stations.push_back(uint8_t(address));
    }
    return stations;
}

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Reads "--name value" pairs; false on an unknown name, a missing value or one its setter refuses.
using OptionSetters = std::map<QString, std::function<bool(const QString&)>>;
bool parseCommandOptions(const QStringList& args, const OptionSetters& setters)
{
    for (int i = 0; i < args.size(); i += 2) {
        const auto setter = setters.find(args[i]);
        if (setter == setters.end() || i + 1 >= args.size() || !setter->second(args[i + 1]))
            return false;
    }
    return true;
}

std::function<bool(const QString&)> intSetter(int& target, int low, int high)
{
    return [&target, low, high](const QString& text) {
        const std::optional<int> value = parseInt(text, low, high);
        if (value)
            target = *value;
        return value.has_value();
    };
}

// Ctrl-C or SIGTERM inside a long loop ends the loop, and a reader that went away (SIGPIPE)
// only ends the output, so the port is closed as usual: a pseudo-terminal left with our line
// settings by a killed process cannot be opened again. Outside such loops Ctrl-C and SIGTERM
// end the program at once.
volatile std::sig_atomic_t stopRequestedFlag = 0;
volatile std::sig_atomic_t stopDeferredFlag = 0;

extern "C" void onStopSignal(int signalNumber)
{
#ifdef SIGPIPE
    const bool readerGone = signalNumber == SIGPIPE;
#else
    const bool readerGone = false;
#endif
    if (stopDeferredFlag || readerGone) {
        stopRequestedFlag = 1;
        return;
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void installStopHandlers()
{
#ifdef Q_OS_WIN
    // The C runtime runs the handler for Ctrl-C and Ctrl-Break; Windows has no SIGPIPE.
    for (int signalNumber : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(signalNumber, onStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGPIPE})
        sigaction(signalNumber, &action, nullptr);
#endif
}

bool stopRequested()
{
    return stopRequestedFlag != 0;
}

class StopDeferral {
public:
    StopDeferral() { stopDeferredFlag = 1; }
    ~StopDeferral() { stopDeferredFlag = 0; }
    StopDeferral(const StopDeferral&) = delete;
    StopDeferral& operator=(const StopDeferral&) = delete;
};

void waitUnlessStopped(int ms)
{
    const QDeadlineTimer deadline(ms);
    for (qint64 left = deadline.remainingTime(); left > 0 && !stopRequested(); left = deadline.remainingTime())
        sleepWaiter().waitMs(int(std::min<qint64>(left, StopCheckMs)));
}

QString programKey(const char* prefix, int segment)
{
    return QString::fromLatin1(prefix) + QString::number(segment);
}

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

    bool readProgram(int program);
    bool writeProgram(int program);
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

int Tool::run(const QString& command, const QStringList& args)
{
    using Handler = std::function<int(const QStringList&)>;
    const std::map<QString, Handler> commands{
        {"ping", [this](const QStringList&) { return ping(); }},
        {"scan", [this](const QStringList& a) { return scan(a); }},
        {"ident", [this](const QStringList&) { return ident(); }},
        {"read", [this](const QStringList& a) { return read(a); }},
        {"write", [this](const QStringList& a) { return write(a); }},
        {"eeprom", [this](const QStringList&) { return eeprom(); }},
        {"program", [this](const QStringList& a) { return program(a); }},
        {"record", [this](const QStringList&) { return record(); }},
        {"poll", [this](const QStringList& a) { return poll(a); }},
        {"params", [this](const QStringList& a) { return params(a); }},
    };
    const auto found = commands.find(command);
    if (found == commands.end())
        return usageError(QStringLiteral("unknown command \"%1\" (see --help)").arg(command));
    const bool takesSeveral = command == "poll" || (command == "params" && args.value(0) == "save");
    if (severalStations() && !takesSeveral)
        return usageError(QStringLiteral("%1 talks to one station; only params save and poll take several").arg(command));
    return found->second(args);
}

int Tool::ping()
{
    if (!m_link.PingStation())
        return exchangeFailed(QStringLiteral("no answer from station %1").arg(m_link.DA()));
    out() << "station " << m_link.DA() << " answered" << Qt::endl;
    return ExitOk;
}

int Tool::scan(const QStringList& args)
{
    int first = 0;
    int last = HighestStationAddress;
    const bool ok = parseCommandOptions(args, {{"--from", intSetter(first, 0, HighestStationAddress)},
                                               {"--to", intSetter(last, 0, HighestStationAddress)}});
    if (!ok || first > last)
        return usageError(
            QStringLiteral("use: scan [--from A] [--to B], with 0 <= A <= B <= %1").arg(HighestStationAddress));
    const uint8_t previous = m_link.DA();
    int found = 0;
    {
        const StopDeferral deferral;
        for (int address = first; address <= last && !stopRequested(); ++address) {
            m_link.SetDA(uint8_t(address));
            if (m_link.PingStation()) {
                out() << address << Qt::endl;
                ++found;
            }
        }
    }
    m_link.SetDA(previous);
    if (stopRequested())
        return interrupted();
    return found > 0 ? ExitOk : exchangeFailed(QStringLiteral("no station answered"));
}

int Tool::ident()
{
    if (!m_link.ReadDeviceType())
        return exchangeFailed(QStringLiteral("reading the device type failed"));
    if (!m_link.ReadDeviceVersion())
        return exchangeFailed(QStringLiteral("reading the firmware version failed"));
    out() << "TYPE=" << QString::fromLatin1(m_image.deviceTypeText.data()) << Qt::endl;
    out() << "VERSION=" << QString::fromLatin1(m_image.deviceVersionText.data()) << Qt::endl;
    return ExitOk;
}

void Tool::printTable(const TableInfo& table)
{
    for (const TableField& field : table.fields)
        out() << table.name << '.' << field.mnemonic << '='
              << formatNumber(fieldValue(m_image, field), field.type) << Qt::endl;
}

int Tool::read(const QStringList& args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("read needs one table name or number"));
    const TableInfo* table = findTable(args[0]);
    if (!table || !table->hasDecoder)
        return usageError(QStringLiteral("no readable table \"%1\"").arg(args[0]));
    if (!m_link.ReadTable(table->number))
        return exchangeFailed(QStringLiteral("reading table %1 failed").arg(table->name));
    printTable(*table);
    return ExitOk;
}

int Tool::write(const QStringList& args)
{
    if (args.size() < 2)
        return usageError(QStringLiteral("write needs a table and at least one FIELD=VALUE"));
    const TableInfo* table = findTable(args[0]);
    if (!table || !table->hasEncoder)
        return usageError(QStringLiteral("no writable table \"%1\"").arg(args[0]));
    // Check every assignment before touching the controller.
    std::vector<std::pair<const TableField*, double>> changes;
    for (const QString& assignment : args.mid(1)) {
        const int equals = assignment.indexOf('=');
        const TableField* field = equals > 0 ? findField(*table, assignment.left(equals)) : nullptr;
        if (!field)
            return usageError(QStringLiteral("no field \"%1\" in table %2").arg(assignment.left(equals), table->name));
        const auto value = parseNumber(assignment.mid(equals + 1), field->type);
        if (!value)
            return usageError(QStringLiteral("bad value in \"%1\"").arg(assignment));
        changes.emplace_back(field, *value);
    }
    if (!m_link.ReadTable(table->number))
        return exchangeFailed(QStringLiteral("reading table %1 failed").arg(table->name));
    for (const auto& [field, value] : changes)
        setFieldValue(m_image, *field, value);
    if (!m_link.WriteTable(table->number))
        return exchangeFailed(QStringLiteral("writing table %1 failed").arg(table->name));
    printTable(*table);
    return ExitOk;
}

int Tool::eeprom()
{
    if (!m_link.StoreToEeprom())
        return exchangeFailed(QStringLiteral("storing to EEPROM failed"));
    out() << "stored" << Qt::endl;
    return ExitOk;
}

bool Tool::readProgram(int program)
{
    for (int kind = 0; kind < ProgramBlockKinds; ++kind) {
        if (!m_link.ReadProgramBlock(kind, program, ProgramBlockTables[kind]))
            return false;
    }
    return true;
}

bool Tool::writeProgram(int program)
{
    for (int kind = 0; kind < ProgramBlockKinds; ++kind) {
        if (kind > 0)
            sleepWaiter().waitMs(ProgramBlockPauseMs);
        if (!m_link.WriteProgramBlock(kind, program, ProgramBlockTables[kind]))
            return false;
    }
    return true;
}

int Tool::program(const QStringList& args)
{
    const std::optional<int> number = args.size() == 2 ? parseInt(args[1], 0, ProgramCount - 1) : std::nullopt;
    if (!number || (args[0] != "read" && args[0] != "write"))
        return usageError(QStringLiteral("use: program read P | program write P, with P 0-9"));
    const int p = *number;
    if (args[0] == "write") {
        // Every line must parse before the controller is read or written.
        std::vector<std::pair<QString, double>> changes;
        QTextStream input(stdin);
        for (QString line; input.readLineInto(&line);) {
            line = line.trimmed();
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const int equals = line.indexOf('=');
            const QString key = line.left(equals).trimmed().toUpper();
            const bool isTime = key.startsWith("TI");
            const auto value = equals > 0 ? parseNumber(line.mid(equals + 1), isTime ? FieldType::Int16 : FieldType::Float)
                                          : std::nullopt;
            bool known = key == "START";
            for (int s = 0; s < SegmentCount && !known; ++s)
                known = key == programKey("SP", s) || key == programKey("TI", s);
            if (!known || !value)
                return usageError(QStringLiteral("bad line \"%1\"").arg(line));
            changes.emplace_back(key, *value);
        }
        if (!readProgram(p))
            return exchangeFailed(QStringLiteral("reading program %1 failed").arg(p));
        for (const auto& [key, value] : changes) {
            if (key == "START")
                m_image.startValue[p] = float(value);
            else if (key.startsWith("SP"))
                m_image.segmentSetpoint[p][key.mid(2).toInt()] = float(value);
            else
                m_image.segmentTime[p][key.mid(2).toInt()] = int32_t(value);
        }
        if (!writeProgram(p))
            return exchangeFailed(QStringLiteral("writing program %1 failed").arg(p));
    } else if (!readProgram(p)) {
        return exchangeFailed(QStringLiteral("reading program %1 failed").arg(p));
    }
    out() << "START=" << formatNumber(m_image.startValue[p], FieldType::Float) << Qt::endl;
    for (int s = 0; s < SegmentCount; ++s)
        out() << programKey("SP", s) << '=' << formatNumber(m_image.segmentSetpoint[p][s], FieldType::Float) << Qt::endl;
    for (int s = 0; s < SegmentCount; ++s)
        out() << programKey("TI", s) << '=' << m_image.segmentTime[p][s] << Qt::endl;
    return ExitOk;
}

int Tool::record()
{
    if (!m_link.ReadTable(TableAdd) || !m_link.ReadTable(TableRecd))
        return exchangeFailed(QStringLiteral("reading the record position failed"));
    const int newest = m_image.recd.pos;
    int failedBlocks = 0;
    {
        const StopDeferral deferral;
        for (int block = 0; block < RecordBlockCount && !stopRequested(); ++block)
            failedBlocks += m_link.ReadRecordBlock(block) ? 0 : 1;
    }
    if (stopRequested())
        return interrupted();
    if (failedBlocks > 0)
        return exchangeFailed(QStringLiteral("%1 record blocks failed").arg(failedBlocks));
    if (!m_link.ReadTable(TableRecd))
        return exchangeFailed(QStringLiteral("reading the record position failed"));
    // The read takes about ten seconds. Samples taken meanwhile went to the positions after
    // `newest`, over the oldest ones, which would otherwise be listed as the oldest values.
    const int takenMeanwhile = (m_image.recd.pos - newest + RecordValueCount) % RecordValueCount;
    const int count = RecordValueCount - takenMeanwhile;
    out() << "POS=" << newest << Qt::endl;
    out() << "ZAZNAM=" << m_image.add.zaznam << Qt::endl;
    out() << "COUNT=" << count << Qt::endl;
    for (int n = 0; n < count; ++n) {
        const int position = (newest - n + RecordValueCount) % RecordValueCount;
        out() << n + 1 << '=' << formatNumber(m_image.recordValues[position], FieldType::Float) << Qt::endl;
    }
    return ExitOk;
}

int Tool::poll(const QStringList& args)
{
    double interval = 1.0;
    int count = 0;
    QString csvPath;
    const auto intervalSetter = [&interval](const QString& text) {
        bool ok = false;
        interval = text.toDouble(&ok);
        return ok && interval > 0 && interval <= MaxPollIntervalSeconds;
    };
    const auto csvSetter = [&csvPath](const QString& text) {
        csvPath = text;
        return !text.isEmpty();
    };
    const bool ok = parseCommandOptions(args, {{"--interval", intervalSetter},
                                               {"--count", intSetter(count, 0, std::numeric_limits<int>::max())},
                                               {"--csv", csvSetter}});
    if (!ok)
        return usageError(QStringLiteral("use: poll [--interval S] [--count N] [--csv FILE], with 0 < S <= %1")
                              .arg(MaxPollIntervalSeconds));
    // Appended and flushed row by row: a run that is killed loses at most the row being written.
    QFile csv(csvPath);
    if (!csvPath.isEmpty()) {
        if (!csv.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            return fileFailed(QStringLiteral("cannot open %1: %2").arg(nativePath(csvPath), csv.errorString()));
        if (csv.size() == 0 && (csv.write("time,DA,MEAS,SP,YOUT,TS,OUTS,FAULT\n") < 0 || !csv.flush()))
            return fileFailed(QStringLiteral("cannot write %1: %2").arg(nativePath(csvPath), csv.errorString()));
    }
    const StopDeferral deferral;
    int failures = 0;
    for (int sample = 0; (count == 0 || sample < count) && !stopRequested(); ++sample) {
        if (sample > 0) {
            waitUnlessStopped(int(std::lround(interval * 1000)));
            if (stopRequested())
                break;
        }
        for (const uint8_t station : m_stations) {
            m_link.SetDA(station);
            const QDateTime now = QDateTime::currentDateTime();
            const QString time = now.toString(Qt::ISODateWithMs);
            const QString stationText = severalStations() ? QStringLiteral(" DA=%1").arg(station) : QString();
            if (!m_link.ReadTable(TableLive)) {
                fail(time + stationText + QStringLiteral(" reading the live values failed"));
                ++failures;
                continue;
            }
            const LiveTable& live = m_image.live;
            const QString meas = formatNumber(live.meas, FieldType::Float);
            const QString sp = formatNumber(live.sp, FieldType::Float);
            const QString ts = formatNumber(live.ts, FieldType::Float);
            const int yout = live.yout & 0xFFFF;
            out() << time << stationText << " MEAS=" << meas << " SP=" << sp << " YOUT=" << yout << " TS=" << ts
                  << " OUTS=" << live.outs << " FAULT=" << live.fault << Qt::endl;
            if (!csvPath.isEmpty()) {
                // With the offset, so that rows stay in order across a change of summer time.
                const QString row = QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8\n")
                                        .arg(now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs))
                                        .arg(station)
                                        .arg(meas, sp)
                                        .arg(yout)
                                        .arg(ts)
                                        .arg(live.outs)
                                        .arg(live.fault);
                if (csv.write(row.toLatin1()) < 0 || !csv.flush())
                    return fileFailed(QStringLiteral("cannot write %1: %2").arg(nativePath(csvPath), csv.errorString()));
            }
        }
    }
    return failures > 0 ? ExitFailed : ExitOk;
}

int Tool::params(const QStringList& args)
{
    const QString action = args.value(0);
    const QStringList rest = args.mid(2);
    const bool eeprom = action == "load" && rest == QStringList{QStringLiteral("--eeprom")};
    if (args.size() < 2 || args[1].isEmpty() || !(rest.isEmpty() || eeprom)
        || (action != "save" && action != "load" && action != "diff"))
        return usageError(QStringLiteral("use: params save FILE | params load FILE [--eeprom] | params diff FILE"));
    if (action == "save")
        return saveSets(args[1]);
    return action == "load" ? loadSet(args[1], eeprom) : diffSet(args[1]);
}

bool Tool::takeSet(const IniFile& ini, int variant, ControllerImage& image)
{
    for (const sets::SetValue& value : sets::setValues(variant)) {
        const QString text = sets::fileText(ini, value);
        const std::optional<double> number = sets::storedNumber(value, text, variant);
        if (!number) {
            fail(QStringLiteral("%1=%2 is not a valid value%3")
                     .arg(value.name(), text,
                          variant == sets::AnyVariant ? QString() : QStringLiteral(" for this firmware")));
            return false;
        }
        sets::storeNumber(value, *number, image);
    }
    return true;
}

bool Tool::openSet(const QString& file, IniFile& ini)
{
    if (!QFile::exists(file) || !ini.load(file)) {
        fail(QStringLiteral("cannot read %1").arg(nativePath(file)));
        return false;
    }
    if (!sets::versionAccepted(ini)) {
        fail(QString::fromUtf8(sets::WrongVersionText));
        return false;
    }
    ControllerImage scratch;
    return takeSet(ini, sets::AnyVariant, scratch);
}

int Tool::identify()
{
    m_image = ControllerImage{};
    const int variant = sets::identifyFirmware(m_link, sleepWaiter());
    if (variant == 0)
        fail(QStringLiteral("station %1: no firmware version, or one this tool does not know (\"%2\")")
                 .arg(m_link.DA())
                 .arg(QString::fromLatin1(m_image.deviceVersionText.data())));
    return variant;
}

int Tool::readControllerSet()
{
    const int variant = identify();
    if (variant == 0)
        return 0;
    if (const std::optional<QString> failed = sets::readSet(m_link, sleepWaiter(), variant)) {
        fail(QStringLiteral("station %1: reading %2 failed").arg(m_link.DA()).arg(*failed));
        return 0;
    }
    return variant;
}

int Tool::saveSets(const QString& file)
{
    const QString placeholder = QStringLiteral("{da}");
    if (severalStations() && !file.contains(placeholder))
        return usageError(QStringLiteral("with several stations the file name needs {da}"));
    int status = ExitOk;
    for (const uint8_t station : m_stations) {
        m_link.SetDA(station);
        const int variant = readControllerSet();
        if (variant == 0) {
            status = ExitFailed;
            continue;
        }
        const QString path = QString(file).replace(placeholder, QString::number(station));
        // Every key goes into the file's content first and the file is replaced once: a full
        // disk leaves the old file whole.
        IniFile ini;
        const bool loaded = ini.load(path);
        if (loaded)
            sets::writeReadOutSet(ini, m_image, variant);
        if (!loaded || !ini.save(path)) {
            fail(QStringLiteral("cannot write %1").arg(nativePath(path)));
            status = status == ExitOk ? ExitFile : status;
            continue;
        }
        out() << "station " << station << " saved to " << nativePath(path) << Qt::endl;
    }
    return status;
}

int Tool::loadSet(const QString& file, bool eeprom)
{
    IniFile ini;
    if (!openSet(file, ini))
        return ExitFile;
    const int variant = identify();
    if (variant == 0)
        return ExitFailed;
    if (!takeSet(ini, variant, m_image))
        return ExitFile;
    const uint8_t station = m_link.DA();
    const std::optional<QString> failed = sets::writeSet(m_link, sleepWaiter(), variant);
    if (m_link.DA() != station)
        out() << "station " << station << " now answers at address " << m_link.DA() << Qt::endl;
    if (failed)
        return exchangeFailed(QStringLiteral("writing %1 failed; what comes after it was not sent").arg(*failed));
    out() << "loaded" << Qt::endl;
    if (eeprom)
        return this->eeprom();
    return ExitOk;
}

int Tool::diffSet(const QString& file)
{
    IniFile ini;
    if (!openSet(file, ini))
        return ExitFile;
    const int variant = readControllerSet();
    if (variant == 0)
        return ExitFailed;
    int differences = 0;
    for (const sets::SetValue& value : sets::setValues(variant)) {
        const QString fileText = sets::fileText(ini, value);
        const QString controllerText = sets::valueText(value, m_image, variant);
        if (sets::storedNumber(value, fileText, variant) == sets::storedNumber(value, controllerText, variant))
            continue;
        out() << value.name() << " file=" << fileText << " controller=" << controllerText << Qt::endl;
        ++differences;
    }
    return differences > 0 ? ExitDiffer : ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    kv10::ignoreFileSizeLimitSignal();
    QCoreApplication app(argc, argv);
    installStopHandlers();
    QStringList args = app.arguments().mid(1);

    QString device;
    QString comName = QStringLiteral("port");
    int baud = 9600;
    std::vector<uint8_t> stations{0};
    std::optional<std::vector<uint8_t>> parsedStations;
    int sa = 0;
    bool trace = false;
    while (!args.isEmpty() && args.first().startsWith("--")) {
        const QString option = args.takeFirst();
        if (option == "--help") {
            out() << HelpText;
            return ExitOk;
        }
        if (option == "--version") {
            out() << "kv10ctl " << KV10_VERSION << Qt::endl;
            return ExitOk;
        }
        if (option == "--trace") {
            trace = true;
            continue;
        }
        if (args.isEmpty())
            return usageError(QStringLiteral("%1 needs a value").arg(option));
        const QString value = args.takeFirst();
        std::optional<int> number;
        if (option == "--device") {
            device = value;
            comName = value;
            continue;
        }
        if (option == "--com" && (number = parseInt(value, 1, 8))) {
            device = comDevicePath(*number);
            comName = QStringLiteral("COM%1").arg(*number);
        } else if (option == "--baud" && (number = parseInt(value, 50, 4000000))) {
            baud = *number;
        } else if (option == "--da" && (parsedStations = parseStations(value))) {
            // Not the broadcast address: no station answers it, so a read would report the
            // untouched zeros and a write would send them to every station.
            stations = *parsedStations;
        } else if (option == "--sa" && (number = parseInt(value, 0, HighestStationAddress))) {
            sa = *number;
        } else {
            return usageError(QStringLiteral("bad option %1 %2 (see --help)").arg(option, value));
        }
    }
    if (args.isEmpty())
        return usageError(QStringLiteral("no command (see --help)"));
    if (device.isEmpty())
        return usageError(QStringLiteral("no serial device: give --device PATH or --com N"));

    SerialTransport port;
    try {
        port.OpenPort(device, comName, baud);
    } catch (const AppError& error) {
        fail(error.text());
        return ExitPort;
    }

    ControllerImage image;
    TelegramLink link(image, sleepWaiter());
    link.setTransport(&port);
    link.SetDA(stations.front());
    link.SetSA(uint8_t(sa));
    if (trace)
        link.setTraceSink([](bool outgoing, const QByteArray& bytes) {
            QTextStream(stderr) << (outgoing ? "-> " : "<- ") << hexText(bytes) << Qt::endl;
        });

    const QString command = args.takeFirst();
    const int status = Tool(link, stations).run(command, args);
    port.ClosePort();
    return status;
}
