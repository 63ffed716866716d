// The log buffer at scale: appending one sample line, a million lines in memory, and the
// whole buffer written to a file (atomically, as the program does).
// Optional arguments: the number of lines (default 1 000 000) and the output folder (default /tmp).
#include "LiveFormat.h"
#include "LogBuffer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia));
    const int lines = argc > 1 ? std::max(1000, atoi(argv[1])) : 1000000;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp");

    kv10::LogBuffer log;
    const QDateTime start(QDate(2026, 12, 7), QTime(14, 3, 21));
    const long rssBefore = residentKiB();
    log.startNewLog(start);

    // One sample as the poll makes it: the texts of the display, the clock, one line.
    std::vector<double> batchMicros;
    QElapsedTimer timer;
    constexpr int Batch = 1000;
    for (int i = 0; i < lines; i += Batch) {
        timer.start();
        for (int j = i; j < std::min(lines, i + Batch); ++j) {
            kv10::LiveTable live;
            live.meas = 100 + (j % 1000) * 0.05f;
            live.sp = 150;
            live.yout = j % 1001;
            const kv10::LiveDisplay d = kv10::liveDisplay(live);
            log.appendDataLine(d.measure, d.setpoint, d.output, d.faultCaption, start.addSecs(j));
        }
        batchMicros.push_back(timer.nsecsElapsed() / 1e3 / Batch);
    }
    std::sort(batchMicros.begin(), batchMicros.end());
    const long rssAfter = residentKiB();
    std::printf("append one sample (format + line): median %.2f us, p95 %.2f us\n",
                batchMicros[batchMicros.size() / 2], batchMicros[batchMicros.size() * 95 / 100]);
    std::printf("%lld lines, %lld file bytes (%.1f per line); buffer memory %.1f bytes per line; RSS growth %.1f bytes per line\n",
                qint64(log.lineCount()), log.byteCount(), double(log.byteCount()) / log.lineCount(),
                double(log.memoryBytes()) / log.lineCount(), (rssAfter - rssBefore) * 1024.0 / log.lineCount());

    const QString path = QDir(folder).filePath(QStringLiteral("kv10-logbench.txt"));
    std::vector<double> writes;
    for (int round = 0; round < 3; ++round) {
        timer.start();
        log.writeToFile(path);
        writes.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(writes.begin(), writes.end());
    std::printf("write the whole log to %s: best %.0f ms, median %.0f ms, worst %.0f ms (%lld bytes)\n",
                qPrintable(path), writes.front(), writes[1], writes.back(), QFile(path).size());
    QFile::remove(path);
    return 0;
}
