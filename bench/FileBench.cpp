// A whole parameter file saved and loaded through the editor (offscreen): a new file, saving over
// an existing one, and loading it back with every page taken and the program page refilled.
// Optional argument: the output folder (default /tmp).
#include "ControllerImage.h"
#include "ParameterEditor.h"
#include "ParameterFile.h"
#include "Prompts.h"
#include "Telegram.h"
#include "Timing.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Counts the boxes instead of showing them; a good file shows none.
class CountingPrompts : public kv10::Prompts {
public:
    int boxes = 0;
    kv10::PromptButton message(const QString&, const QString&, kv10::PromptIcon, kv10::PromptButtons, QObject*) override
    {
        ++boxes;
        return kv10::PromptButton::Ok;
    }
    QString saveFile(const kv10::FileDialogRequest&) override { return {}; }
    QString openFile(const kv10::FileDialogRequest&) override { return {}; }
    std::optional<quint32> chooseColour(quint32, QObject*) override { return std::nullopt; }
};

void report(const char* what, const std::function<void()>& run)
{
    constexpr int Runs = 50;
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < Runs; ++i) {
        timer.start();
        run();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-40s median %6.2f ms, p90 %6.2f ms, worst %6.2f ms (%d runs)\n", what, ms[Runs / 2],
                ms[Runs * 9 / 10], ms.back(), Runs);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const QString path = QDir(folder).filePath(QStringLiteral("kv10-filebench.ini"));

    kv10::ControllerImage image;
    CountingPrompts prompts;
    kv10::SessionRunner runner([] { return std::make_unique<kv10::ControllerSession>(kv10::sleepWaiter()); },
                               kv10::SessionRunner::Mode::Inline);
    ParameterEditor editor(runner, image, prompts);
    editor.setFirmwareVariantSource([] { return 3; });
    editor.show();
    // The pages show the image as the read-out leaves them.
    for (int page = 1; page < ParameterEditor::PageCount; ++page)
        editor.ImageToPage(page);
    for (int p = 0; p < kv10::ProgramCount; ++p) {
        image.startValue[p] = 20.5f + p;
        for (int s = 0; s < kv10::SegmentCount; ++s) {
            image.segmentSetpoint[p][s] = 100.25f * p + s;
            image.segmentTime[p][s] = 10 * s + p;
        }
    }

    bool saved = true;
    report("save into a new file", [&] {
        QFile::remove(path);
        saved = saveParameterSet(editor, image, path) && saved;
    });
    report("save over the existing file", [&] { saved = saveParameterSet(editor, image, path) && saved; });
    report("load the file", [&] { loadParameterSet(editor, image, prompts, path); });
    std::printf("file %lld bytes; every save %s; %d boxes while loading\n", QFile(path).size(),
                saved ? "written" : "FAILED", prompts.boxes);
    QFile::remove(path);
    if (!saved || prompts.boxes != 0) {
        std::fprintf(stderr, "kv10-bench-file: FAILED: a save failed or loading showed a box\n");
        return 1;
    }
    return 0;
}
