#include "DateText.h"

#include <QRegularExpression>

namespace kv10 {

namespace {

// CLDR's short dates differ from the Windows ones for Czech and Slovak, which drop the
// leading zeros; the others only need the four-digit year.
QString windowsShortDateFormat(const QLocale& locale)
{
    if (locale.language() == QLocale::Czech || locale.language() == QLocale::Slovak)
        return QStringLiteral("d.M.yyyy");
    QString format = locale.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(twoDigitYear, QStringLiteral("yyyy"));
    return format;
}

QString timeWithSecondsFormat(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

} // namespace

QString shortDateText(const QDate& date, const QLocale& locale)
{
    return locale.toString(date, windowsShortDateFormat(locale));
}

QString longTimeText(const QTime& time, const QLocale& locale)
{
    return locale.toString(time, timeWithSecondsFormat(locale));
}

} // namespace kv10
