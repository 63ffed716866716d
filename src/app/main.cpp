// KV-10: front end for one KORVIN 10 process controller on a serial line.
#include "AppContext.h"
#include "AppError.h"
#include "ErrorBox.h"
#include "Kv10Application.h"
#include "ProcessStart.h"
#include "ProgramPicture.h"
#include "Screenshots.h"
#include "MainWindow.h"

#include <QCommandLineParser>
#include <QTextStream>
#include <memory>

#ifdef KV10_WITH_SIMULATOR
#include "SimulatedController.h"
#endif
#ifdef KV10_WITH_MEMORY_SIMULATOR
#include "SimulatedTransport.h"
#endif

namespace {

// The program's options; both parses below use the same.
struct CommandLine {
    QCommandLineParser parser;
    const QCommandLineOption simulator{QStringLiteral("simulator"),
        QStringLiteral("Připojí COM 1 k simulovanému regulátoru (jen pro tento běh).")};
    const QCommandLineOption settingsDir{QStringLiteral("settings-dir"),
        QStringLiteral("Nastavení v souboru KorFW_R09.ini ve složce <dir>."), QStringLiteral("dir")};
    const QCommandLineOption screenshots{QStringLiteral("screenshots"),
        QStringLiteral("Uloží obrázky všech oken do složky <dir> a skončí."), QStringLiteral("dir")};

    CommandLine()
    {
        parser.setApplicationDescription(QStringLiteral("Komunikace s regulátorem KORVIN 10"));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({simulator, settingsDir, screenshots});
    }
};

// --help and --version answer before the window system is touched, so that they work without a
// display too. Anything else, Qt's own options such as -platform included, is left to the
// application object and the second parse.
void answerHelpOrVersion(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line;
    if (!line.parser.parse(arguments))
        return;
    const bool asked = line.parser.isSet(QStringLiteral("help")) || line.parser.isSet(QStringLiteral("help-all"))
        || line.parser.isSet(QStringLiteral("version"));
    if (!asked)
        return;
    QCoreApplication core(argc, argv);
    Kv10Application::describeProgram();
    Kv10Application::loadCzechTranslations();
    line.parser.process(core);     // prints and ends the program
}

} // namespace

int main(int argc, char** argv)
{
    kv10::ignoreFileSizeLimitSignal();
    answerHelpOrVersion(argc, argv);
    Kv10Application app(argc, argv);
    QApplication::setWindowIcon(QIcon(programPicture(64)));
    app.loadCzechTranslations();

    CommandLine line;
    line.parser.process(app);

    AppOptions options;
    options.settingsFolder = line.parser.value(line.settingsDir);

#ifdef KV10_WITH_SIMULATOR
    std::unique_ptr<kv10::sim::SimulatedController> simulated;
    QString simulatorError;
    if (line.parser.isSet(line.simulator)) {
        // The newest firmware, so that every page of the editor is there to try.
        kv10::sim::SimulatorOptions simulatorOptions;
        simulatorOptions.deviceVersion = QStringLiteral("FW-R-09-03");
        simulated = std::make_unique<kv10::sim::SimulatedController>(simulatorOptions);
        if (simulated->start(&simulatorError))
            options.com1Device = simulated->slavePath();
        else
            simulated.reset();
    }
#elif defined(KV10_WITH_MEMORY_SIMULATOR)
    // No pseudo-terminals here: the same simulated controller, in memory behind COM 1.
    std::unique_ptr<kv10::sim::SimulatedStation> station;
    std::unique_ptr<kv10::sim::SimulatedTransport> stationLine;
    const QString simulatorError;
    if (line.parser.isSet(line.simulator)) {
        kv10::sim::SimulatorOptions simulatorOptions;
        simulatorOptions.deviceVersion = QStringLiteral("FW-R-09-03");
        station = std::make_unique<kv10::sim::SimulatedStation>(simulatorOptions);
        stationLine = std::make_unique<kv10::sim::SimulatedTransport>(*station);
        options.com1Transport = stationLine.get();
    }
#else
    const QString simulatorError = line.parser.isSet(line.simulator)
        ? QStringLiteral("Simulovaný regulátor není v tomto sestavení k dispozici.") : QString();
#endif

    AppContext context(options);
    app.setPrompts(&context.prompts());
    // The context's prompts go before the context does.
    struct PromptsRelease {
        Kv10Application& app;
        ~PromptsRelease() { app.setPrompts(nullptr); }
    } promptsRelease{app};
    if (!simulatorError.isEmpty())
        kv10::showErrorBox(context.prompts(), simulatorError);

    // An error that escapes start-up or the loop is shown, and the program ends normally.
    try {
        context.createWindows();
        if (line.parser.isSet(line.screenshots)) {
            QString error;
            const QStringList files = saveScreenshots(context, line.parser.value(line.screenshots), &error);
            QTextStream out(files.isEmpty() ? stderr : stdout);
            if (files.isEmpty()) {
                out << error << Qt::endl;
                return 1;
            }
            for (const QString& file : files)
                out << file << Qt::endl;
            return 0;
        }
        context.mainWindow().show();
        return app.exec();
    } catch (const kv10::AppError& error) {
        kv10::showErrorBox(context.prompts(), error.text());
    } catch (const std::exception& error) {
        kv10::showErrorBox(context.prompts(), kv10::exceptionText(error));
    }
    return 0;
}
