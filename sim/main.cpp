// kv10-sim: a simulated KORVIN 10 on a pseudo-terminal. Prints the terminal's path on the
// first line of stdout and serves until SIGINT or SIGTERM.
#include "Kv10Version.h"
#include "ProcessStart.h"
#include "SimulatedController.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <pthread.h>

using kv10::sim::SimulatedController;
using kv10::sim::SimulatorOptions;

namespace {

int fail(const QString& text)
{
    std::fprintf(stderr, "kv10-sim: %s\n", qPrintable(text));
    return 2;
}

bool readCount(const QCommandLineParser& parser, const QString& name, int low, int high, int& value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    value = parser.value(name).toInt(&ok);
    return ok && value >= low && value <= high;
}

} // namespace

int main(int argc, char* argv[])
{
    kv10::ignoreFileSizeLimitSignal();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv10-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV10_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated KORVIN 10 controller on a pseudo-terminal. Prints the terminal's path on the "
        "first line and serves the bus until interrupted."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QList<QCommandLineOption> options = {
        {QStringLiteral("link"), QStringLiteral("Make a symbolic link to the terminal at <path>."), QStringLiteral("path")},
        {QStringLiteral("address"), QStringLiteral("Answer at bus address <n> (0-126; repeatable; default 0)."), QStringLiteral("n")},
        {QStringLiteral("type"), QStringLiteral("Device type text (default \"KORVIN 10\")."), QStringLiteral("text")},
        {QStringLiteral("firmware"), QStringLiteral("Firmware version text (default \"FW-R-09-01\")."), QStringLiteral("text")},
        {QStringLiteral("foreign"), QStringLiteral("Identify as a device of the other family.")},
        {QStringLiteral("silent-version"), QStringLiteral("Answer the device type request but never the version request.")},
        {QStringLiteral("baud"), QStringLiteral("Pace the answers as a line at <rate> baud would (0: at once)."), QStringLiteral("rate")},
        {QStringLiteral("record-interval"), QStringLiteral("Record interval ADD.ZAZNAM in seconds (default 60)."), QStringLiteral("s")},
        {QStringLiteral("log"), QStringLiteral("Telegram log to <file>, or - for stdout."), QStringLiteral("file")},
        {QStringLiteral("drop"), QStringLiteral("Ignore the next <n> requests."), QStringLiteral("n")},
        {QStringLiteral("corrupt"), QStringLiteral("Send the next <n> answers with a wrong checksum."), QStringLiteral("n")},
        {QStringLiteral("refuse"), QStringLiteral("Refuse the next <n> writes."), QStringLiteral("n")},
        {QStringLiteral("truncate"), QStringLiteral("Send only half of the next <n> answers."), QStringLiteral("n")},
        {QStringLiteral("garbage"), QStringLiteral("Send garbage before the next <n> answers."), QStringLiteral("n")},
        {QStringLiteral("delay"), QStringLiteral("Delay every answer by <ms> milliseconds."), QStringLiteral("ms")},
        {QStringLiteral("sensor-fault"), QStringLiteral("Report a sensor fault.")},
    };
    parser.addOptions(options);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    SimulatorOptions config;
    config.linkPath = parser.value(QStringLiteral("link"));
    if (parser.isSet(QStringLiteral("address"))) {
        config.addresses.clear();
        for (const QString& text : parser.values(QStringLiteral("address"))) {
            bool ok = false;
            const int address = text.toInt(&ok);
            if (!ok || address < 0 || address > kv10::HighestStationAddress)
                return fail(QStringLiteral("bus address must be 0-126: %1").arg(text));
            config.addresses.push_back(uint8_t(address));
        }
    }
    config.foreign = parser.isSet(QStringLiteral("foreign"));
    config.silentVersion = parser.isSet(QStringLiteral("silent-version"));
    if (parser.isSet(QStringLiteral("type"))) {
        config.deviceType = parser.value(QStringLiteral("type"));
        config.foreignIdentity.type = config.deviceType;
    }
    if (parser.isSet(QStringLiteral("firmware"))) {
        config.deviceVersion = parser.value(QStringLiteral("firmware"));
        config.foreignIdentity.version = config.deviceVersion;
    }
    int drop = 0, corrupt = 0, refuse = 0, truncate = 0, garbage = 0, delay = 0;
    if (!readCount(parser, QStringLiteral("baud"), 0, 4'000'000, config.baudRate))
        return fail(QStringLiteral("invalid --baud"));
    if (!readCount(parser, QStringLiteral("record-interval"), 1, 32000, config.recordIntervalSeconds))
        return fail(QStringLiteral("--record-interval must be 1-32000"));
    if (!readCount(parser, QStringLiteral("drop"), 0, 1'000'000, drop) || !readCount(parser, QStringLiteral("corrupt"), 0, 1'000'000, corrupt)
        || !readCount(parser, QStringLiteral("refuse"), 0, 1'000'000, refuse) || !readCount(parser, QStringLiteral("truncate"), 0, 1'000'000, truncate)
        || !readCount(parser, QStringLiteral("garbage"), 0, 1'000'000, garbage) || !readCount(parser, QStringLiteral("delay"), 0, 600'000, delay))
        return fail(QStringLiteral("fault counts and delays must be whole non-negative numbers"));

    FILE* logFile = nullptr;
    const QString logPath = parser.value(QStringLiteral("log"));
    if (logPath == QLatin1String("-")) {
        logFile = stdout;
    } else if (!logPath.isEmpty()) {
        logFile = std::fopen(QFile::encodeName(logPath).constData(), "a");
        if (!logFile)
            return fail(QStringLiteral("cannot open log file %1").arg(logPath));
    }

    // The serving thread inherits this mask, so only sigwait below sees the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SimulatedController controller(config);
    if (logFile) {
        controller.setLogSink([logFile](const QString& line) {
            std::fprintf(logFile, "%s\n", line.toUtf8().constData());
            std::fflush(logFile);
        });
    }
    controller.dropRequests(drop);
    controller.corruptAnswers(corrupt);
    controller.refuseWrites(refuse);
    controller.truncateAnswers(truncate);
    controller.garbageBeforeAnswers(garbage);
    controller.setAnswerDelayMs(delay);
    controller.setSensorFault(parser.isSet(QStringLiteral("sensor-fault")));

    QString error;
    if (!controller.start(&error))
        return fail(error);
    std::printf("%s\n", qPrintable(controller.slavePath()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    controller.stop();
    controller.setLogSink({});
    if (logFile && logFile != stdout)
        std::fclose(logFile);
    return 0;
}
