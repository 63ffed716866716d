#include "DemoData.h"

#include "NumberText.h"

namespace kv10 {

std::array<bool, 4> demoRelayLamps(int measured)
{
    return {measured > 55, !(measured > 55), measured > 75, !(measured >= 35)};
}

DemoValues nextDemoValues(RandomSource& random, const QLocale& locale)
{
    DemoValues v;
    v.terminal = generalText((random.next() % 10) * 0.01 + 21.01, 15, locale);
    v.measured = static_cast<int>(random.next() % 100);
    v.measure = generalText(v.measured, 15, locale);
    v.output = QString::number(random.next() % 50);
    v.outputBar = v.output.toInt() * 10;
    v.relays = demoRelayLamps(v.measured);
    return v;
}

} // namespace kv10
