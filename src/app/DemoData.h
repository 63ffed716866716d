#pragma once
// Demo values for the live display and the chart, made without a controller.
#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>
#include <random>

namespace kv10 {

// A non-negative 31-bit pseudo-random integer source.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual std::uint32_t next() = 0;
};

// The program's source: never seeded, so every run draws the same sequence.
class UnseededRandom : public RandomSource {
public:
    std::uint32_t next() override { return static_cast<std::uint32_t>(m_engine()); }

private:
    std::minstd_rand0 m_engine;
};

inline const QString DemoFaultText = QStringLiteral("DEMO");
inline const QString DemoSetpointText = QStringLiteral("55,00");

struct DemoValues {
    QString terminal;        // lb_ts: 21.01 to 21.10 as general text
    int measured = 0;        // m, 0 to 99: the chart point
    QString measure;         // pa_measure
    QString fault = DemoFaultText;        // pa_porucha caption, colour unchanged
    QString setpoint = DemoSetpointText;  // pa_sp
    QString output;          // lb_yout: 0 to 49 as decimal text
    int outputBar = 0;       // bar_yout: the output text's number times 10
    std::array<bool, 4> relays{}; // pa_re1 .. pa_re4 lit (yellow)
};

// The relay lamps for the measured demo value m.
std::array<bool, 4> demoRelayLamps(int measured);

// One demo step: draws r10, r100 and r50 in this order.
DemoValues nextDemoValues(RandomSource& random, const QLocale& locale = QLocale());

} // namespace kv10
