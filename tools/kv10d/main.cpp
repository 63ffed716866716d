// kv10d: the site gateway. Reads the controllers of a site's serial lines in turn and puts
// their values on MQTT and Modbus TCP. Serves until SIGINT or SIGTERM.
#include "Gateway.h"
#include "GatewayConfig.h"
#include "GatewayLog.h"
#include "Kv10Version.h"
#include "ProcessStart.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <pthread.h>
#include <thread>

using namespace kv10::gw;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitStartFailed = 1;
constexpr int ExitBadConfig = 2;

int reportConfig(const ConfigCheck& check)
{
    QTextStream err(stderr);
    for (const QString& error : check.errors)
        err << error << Qt::endl;
    return check.config ? ExitOk : ExitBadConfig;
}

QString summary(const QString& path, const GatewayConfig& config)
{
    qsizetype stations = 0;
    for (const LineSettings& line : config.lines)
        stations += qsizetype(line.stations.size());
    return QStringLiteral("%1: configuration OK: gateway %2, %3 line(s), %4 station(s), MQTT %5, Modbus TCP %6")
        .arg(path, config.name)
        .arg(config.lines.size())
        .arg(stations)
        .arg(config.mqtt ? config.mqtt->host + ':' + QString::number(config.mqtt->port) : QStringLiteral("off"),
             config.modbus ? config.modbus->host + ':' + QString::number(config.modbus->port) : QStringLiteral("off"));
}

} // namespace

int main(int argc, char* argv[])
{
    kv10::ignoreFileSizeLimitSignal();
    // Only the thread below takes the stop signals: every other thread inherits this mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv10d"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV10_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Site gateway: reads the KORVIN 10 controllers of a site's serial lines and publishes their "
        "values on MQTT and Modbus TCP."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(QStringLiteral("config"), QStringLiteral("Run with the configuration <file>."),
                                          QStringLiteral("file"));
    const QCommandLineOption checkOption(QStringLiteral("check-config"),
                                         QStringLiteral("Only check the configuration <file> and exit."), QStringLiteral("file"));
    parser.addOptions({configOption, checkOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty() || parser.isSet(configOption) == parser.isSet(checkOption)) {
        QTextStream(stderr) << "kv10d: give either --config FILE or --check-config FILE (see --help)" << Qt::endl;
        return ExitBadConfig;
    }

    const bool checkOnly = parser.isSet(checkOption);
    const QString path = parser.value(checkOnly ? checkOption : configOption);
    const ConfigCheck check = loadConfig(path);
    if (!check.config)
        return reportConfig(check);
    if (checkOnly) {
        QTextStream(stdout) << summary(path, *check.config) << Qt::endl;
        return ExitOk;
    }

    Gateway gateway(*check.config);
    QString error;
    if (!gateway.start(&error)) {
        logLine(QStringLiteral("cannot start: ") + error);
        return ExitStartFailed;
    }
    logLine(QStringLiteral("started (%1)").arg(summary(path, *check.config)));

    std::thread signalWaiter([&app, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    signalWaiter.detach();
    const int status = app.exec();
    gateway.stop();
    return status;
}
