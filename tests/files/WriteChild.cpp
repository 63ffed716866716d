// A process that makes one large write of a given kind through the program's own writers, so
// that a test can kill it in the middle: "log", "record", "params" or "settings", the target,
// and the number of lines to write.
#include "AppError.h"
#include "CodePage.h"
#include "IniFile.h"
#include "LogBuffer.h"
#include "ProcessStart.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

using namespace kv10;

int main(int argc, char** argv)
{
    ignoreFileSizeLimitSignal();   // as the programs do
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: kv10-write-child log|record|params|settings TARGET LINES\n");
        return 2;
    }
    const QString kind = args[1];
    const QString target = args[2];
    const int lines = args[3].toInt();
    const QString line = QStringLiteral("nový řádek %1; 123,45; 200,00; 100,0; PORUCHA");
    try {
        if (kind == QLatin1String("log")) {
            LogBuffer log;
            log.startNewLog(QDateTime(QDate(2026, 12, 9), QTime(6, 0)));
            for (int i = 0; i < lines; ++i)
                log.appendLine(line.arg(i));
            log.writeToFile(target);
            return 0;
        }
        if (kind == QLatin1String("record")) {
            QStringList record;
            record.reserve(lines);
            for (int i = 0; i < lines; ++i)
                record << line.arg(i);
            writeWindows1250Lines(target, record);
            return 0;
        }
    } catch (const AppError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.text()));
        return 1;
    }
    if (kind == QLatin1String("params")) {
        IniFile ini;
        for (int i = 0; i < lines; ++i)
            ini.writeString("PARAMETRY", QStringLiteral("KLIC%1").arg(i), line.arg(i));
        if (!ini.save(target))
            return 1;
    } else if (kind == QLatin1String("settings")) {
        // The store rewrites its whole file, whatever else the file holds.
        SettingsStore store(QFileInfo(target).path());
        store.writeInteger(QStringLiteral("Port"), QStringLiteral("Com"), lines);
        if (!store.sync())
            return 1;
    } else {
        return 2;
    }
    return 0;
}
