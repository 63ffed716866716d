#pragma once
// The record read out of the controller as text: which samples of its ring are listed, the
// lines of the list (which are also the export file) and the time labels of its plot.
#include "ControllerImage.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <span>
#include <vector>

namespace kv10 {

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
