#pragma once
// The record that the controller keeps of its last 256 samples: reading it out (ADD and RECD,
// the sixteen blocks, RECD again), which samples of its ring are still valid afterwards, the
// lines of the list (which are also the export file) and the time labels of its plot.
#include "ControllerImage.h"
#include "Sequence.h"

#include <functional>

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <span>
#include <vector>

namespace kv10 {

namespace core {

struct RecordReadout {
    int before = 0;                  // RECD.POS before the blocks: the newest sample
    int after = 0;                   // and after them
    int failedBlocks = 0;
    std::vector<float> newestFirst;  // the samples still valid, newest first
};

// ADD and RECD, the blocks 0-15 (each reported as its index before it is asked for), RECD
// again. Failures of single reads do not stop it; `blocksFailed` runs between the blocks and
// the last RECD when any block failed.
SequenceResult readRecord(Sequence& sequence, RecordReadout& readout,
                          const std::function<void()>& blocksFailed = {});

} // namespace core

// How many samples the controller wrote while the record was read: the way from position
// `before` to position `after` around the ring, 0 to 255.
int recordAdvance(int before, int after);

// The samples still valid after the read-out, newest first: from `before` downwards around
// the ring, without the positions after `before` that were written meanwhile.
std::vector<float> listedSamples(std::span<const float, RecordValueCount> ring, int before, int after);

// The six header lines and one numbered line per sample, newest first.
QStringList recordLines(std::span<const float> newestFirst, int rateSeconds, const QDateTime& readAt,
                        const QLocale& locale = QLocale());

// Minutes before the read-out as hours and minutes: -75 -> "-1:15".
QString minutesBeforeText(double minutes);

} // namespace kv10
