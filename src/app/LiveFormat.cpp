#include "LiveFormat.h"

#include "NumberText.h"

#include <QRegularExpression>

namespace kv10 {

LiveDisplay liveDisplay(const LiveTable& live, const QLocale& locale)
{
    LiveDisplay d;
    d.measure = fixedNumberText(live.meas, locale);
    d.setpoint = fixedNumberText(live.sp, locale);
    d.output = outputPercentText(live.yout, locale);
    d.terminal = fixedNumberText(live.ts, locale);
    d.outputBar = live.yout;
    for (int i = 0; i < 4; ++i)
        d.relays[i] = (live.outs >> i) & 1;
    d.fault = live.fault != 0;
    d.faultCaption = d.fault ? FaultText : NoFaultText;
    return d;
}

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
