#include "RecordReadout.h"

#include "DateText.h"
#include "NumberText.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <algorithm>
#include <cmath>

namespace kv10 {

namespace {

const QString Rule(93, QLatin1Char('-'));

} // namespace

namespace core {

SequenceResult readRecord(Sequence& sequence, RecordReadout& readout, const std::function<void()>& blocksFailed)
{
    TelegramLink& link = sequence.link();
    readout = RecordReadout{};
    sequence.exchange(QStringLiteral("ADD"), [&] { return link.ReadTable(TableAdd); });
    sequence.exchange(QStringLiteral("RECD"), [&] { return link.ReadTable(TableRecd); });
    readout.before = sequence.image().recd.pos;
    for (int block = 0; block < RecordBlockCount; ++block) {
        sequence.report({block, std::nullopt});
        // The link waits before the answer and after it: the controller fetches the block
        // from its record memory.
        const bool read = sequence.exchange(QStringLiteral("record block %1").arg(block),
                                            [&] { return link.ReadRecordBlock(block); });
        if (!read && !sequence.ended())
            ++readout.failedBlocks;
    }
    if (readout.failedBlocks > 0 && blocksFailed && !sequence.ended())
        blocksFailed();
    sequence.exchange(QStringLiteral("RECD"), [&] { return link.ReadTable(TableRecd); });
    readout.after = sequence.image().recd.pos;
    readout.newestFirst = listedSamples(sequence.image().recordValues, readout.before, readout.after);
    return sequence.finish();
}

} // namespace core

int recordAdvance(int before, int after)
{
    // Around the ring in both cases: from 250 to 2 the controller wrote 251 ... 2, eight samples.
    return ((after - before) % RecordValueCount + RecordValueCount) % RecordValueCount;
}

std::vector<float> listedSamples(std::span<const float, RecordValueCount> ring, int before, int after)
{
    const int count = RecordValueCount - recordAdvance(before, after);
    std::vector<float> samples(static_cast<size_t>(count));
    for (int n = 0; n < count; ++n)
        samples[size_t(n)] = ring[size_t(((before - n) % RecordValueCount + RecordValueCount) % RecordValueCount)];
    return samples;
}

QStringList recordLines(std::span<const float> newestFirst, int rateSeconds, const QDateTime& readAt,
                        const QLocale& locale)
{
    const qsizetype count = qsizetype(newestFirst.size());
    // 64 bits: the rate comes from the controller and is not checked.
    const qint64 minutes = count * qint64(rateSeconds) / 60;
    QStringList lines;
    lines.reserve(count + 6);
    lines << QStringLiteral("Záznam z regulátoru    ") + shortDateText(readAt.date(), locale)
                 + QStringLiteral("     ") + longTimeText(readAt.time(), locale)
          << QStringLiteral("Počet zaznamenaných hodnot %1").arg(count)
          << QStringLiteral("Rychlost záznamu: %1[s]").arg(rateSeconds)
          << QStringLiteral("Délka záznamu: %1hod., %2min.").arg(minutes / 60).arg(minutes % 60)
          << QStringLiteral("Údaj s pořadovým číslem 1 je poslední (aktuální) záznam")
          << Rule;
    for (qsizetype n = 0; n < count; ++n)
        lines << QString::number(n + 1) + QStringLiteral(";   ") + fixedNumberText(newestFirst[size_t(n)], locale);
    return lines;
}

QString minutesBeforeText(double minutes)
{
    const qint64 whole = std::llround(std::abs(minutes));
    return QStringLiteral("%1%2:%3")
        .arg(whole > 0 && minutes < 0 ? QStringLiteral("-") : QString())
        .arg(whole / 60)
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace kv10
