#include "LiveFormat.h"

#include "NumberText.h"


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

} // namespace kv10
