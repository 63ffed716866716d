// poll: the live values of one or several stations, on the terminal and into a CSV file.
#include "StopSignals.h"
#include "Tool.h"

#include <QDateTime>
#include <QFile>

#include <cmath>
#include <limits>

namespace kv10::ctl {

namespace {

constexpr double MaxPollIntervalSeconds = 86400;

} // namespace

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
            addresses().SetDA(station);
            const QDateTime now = QDateTime::currentDateTime();
            const QString time = now.toString(Qt::ISODateWithMs);
            const QString stationText = severalStations() ? QStringLiteral(" DA=%1").arg(station) : QString();
            if (!onLink([](TelegramLink& link) { return link.ReadTable(TableLive); })) {
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

} // namespace kv10::ctl
