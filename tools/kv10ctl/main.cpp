// kv10ctl: the controller link from the command line, for technicians' scripts and diagnostics.
#include "AppError.h"
#include "Arguments.h"
#include "ControllerSession.h"
#include "Kv10Version.h"
#include "ProcessStart.h"
#include "SerialTransport.h"
#include "SessionRunner.h"
#include "StopSignals.h"
#include "Telegram.h"
#include "TelegramTrace.h"
#include "Timing.h"
#include "Tool.h"

#include <QCoreApplication>
#include <QTextStream>

#include <optional>
#include <vector>

using namespace kv10;
using namespace kv10::ctl;

namespace {

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

} // namespace

int main(int argc, char** argv)
{
    kv10::ignoreFileSizeLimitSignal();
    QCoreApplication app(argc, argv);
    installStopHandlers();
    QStringList args = app.arguments().mid(1);

    QString device;
    int com = 0;   // a COM number instead of a device path
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
            com = 0;
            continue;
        }
        if (option == "--com" && (number = parseInt(value, 1, ControllerSession::ComCount))) {
            device = comDevicePath(*number);
            com = *number;
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

    // Made before the session, so that it outlives the link that calls it.
    HexTrace stderrTrace([](bool outgoing, const QByteArray& bytes) {
        QTextStream(stderr) << (outgoing ? "-> " : "<- ") << hexText(bytes) << Qt::endl;
    });
    SessionRunner runner([] { return std::make_unique<ControllerSession>(sleepWaiter()); }, SessionRunner::Mode::Inline);
    QObject::connect(&runner, &SessionRunner::jobFailed, [](const QString& text) { fail(text); });
    ControllerSession& session = runner.session();
    session.setBaudRate(baud);
    try {
        if (com != 0)
            session.openPort(com);
        else
            session.openDevice(device, device);
    } catch (const AppError& error) {
        fail(error.text() + busyPortNote(session.transport()));
        return ExitPort;
    }

    TelegramLink& link = session.link();
    link.SetDA(stations.front());
    link.SetSA(uint8_t(sa));
    if (trace)
        link.addTrace(&stderrTrace);

    const QString command = args.takeFirst();
    const int status = Tool(runner, stations).run(command, args);
    session.closePort();
    return status;
}
