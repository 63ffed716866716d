// Writes the program's picture as <folder>/<size>x<size>/apps/kv10.png for each size given,
// the layout of the desktop's icon theme; or, given "--ico FILE", as the Windows icon FILE.
#include "ProgramPicture.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    // Drawing needs a GUI application, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--ico")) {
        if (!programPicture(48).save(args[2], "ICO")) {
            std::fprintf(stderr, "kv10-icons: cannot write %s\n", qPrintable(args[2]));
            return 1;
        }
        return 0;
    }
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: kv10-icons FOLDER SIZE... | --ico FILE\n");
        return 2;
    }
    for (const QString& sizeText : args.mid(2)) {
        const int size = sizeText.toInt();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args[1], QString::number(size));
        const QString path = folder + QStringLiteral("/kv10.png");
        if (size <= 0 || !QDir().mkpath(folder) || !programPicture(size).save(path, "PNG")) {
            std::fprintf(stderr, "kv10-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
