#pragma once
// Dates and times of the log and the record export in the user's formats, as Windows writes
// them: the short date with a four-digit year, the long time without a zone name.
#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace kv10 {

// 7.12.2026 on a Czech system.
QString shortDateText(const QDate& date, const QLocale& locale = QLocale());
// 14:03:21 on a Czech system.
QString longTimeText(const QTime& time, const QLocale& locale = QLocale());

} // namespace kv10
