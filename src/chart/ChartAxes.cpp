#include "ChartAxes.h"

#include "NumberText.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kv10 {

double ChartAxes::niceStep(double range, int maxTicks)
{
    if (!(range > 0) || maxTicks < 1)
        return 1;
    const double raw = range / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double n = raw / magnitude;
    return (n <= 1 ? 1 : n <= 2 ? 2 : n <= 5 ? 5 : 10) * magnitude;
}

ChartAxes::ValueAxis ChartAxes::valueAxis(double low, double high, int maxTicks)
{
    if (high - low < std::max(1e-9, std::abs(high) * 1e-6)) {
        // A flat series: open the range around it, relative to its size so that the steps
        // stay representable for large values.
        const double pad = std::max(1.0, std::abs(high) * 0.01);
        low -= pad;
        high += pad;
    }
    ValueAxis axis;
    axis.step = niceStep(high - low, maxTicks);
    axis.min = std::floor(low / axis.step) * axis.step;
    axis.max = std::ceil(high / axis.step) * axis.step;
    const int steps = int(std::min(std::lround((axis.max - axis.min) / axis.step), 100L));
    for (int i = 0; i <= steps; ++i)
        axis.ticks.push_back(axis.min + i * axis.step);
    return axis;
}

QString ChartAxes::valueLabel(double value, double step)
{
    // Steps like 0.1 accumulate noise; a value within a millionth of a step of 0 is 0.
    return generalText(std::abs(value) < step / 1e6 ? 0 : value, 6);
}

void ChartAxes::setX(double origin, double step, Label label)
{
    m_ownX = true;
    m_xOrigin = origin;
    m_xStep = step > 0 ? step : 1;
    m_xLabel = std::move(label);
}

void ChartAxes::setXSteps(std::vector<double> steps)
{
    m_xSteps = std::move(steps);
}

std::pair<double, double> ChartAxes::xEnds(qint64 xMin, qint64 xMax) const
{
    if (m_ownX)
        return {m_xOrigin, m_xOrigin + m_xStep * double(xMax - xMin)};
    return {double(xMin), double(xMax)};
}

QString ChartAxes::xLabel(double value) const
{
    return m_xLabel ? m_xLabel(value) : QString::number(qint64(value));
}

std::vector<double> ChartAxes::xTicks(double first, double last, int maxTicks) const
{
    const double span = last - first;
    const double minimumStep = m_ownX ? 0.0 : 1.0;   // a point counter has no fractions
    const auto listed = std::find_if(m_xSteps.begin(), m_xSteps.end(),
                                     [&](double step) { return step > 0 && span / step <= maxTicks; });
    const double step = std::max(minimumStep, listed != m_xSteps.end() ? *listed : niceStep(span, maxTicks));
    std::vector<double> ticks;
    if (!(step > 0 && span > 0))
        return ticks;
    const double firstTick = std::ceil(first / step);
    const int count = int(std::min(std::floor(last / step + 1e-9) - firstTick, 1000.0));
    for (int i = 0; i <= count; ++i)
        ticks.push_back((firstTick + i) * step);
    return ticks;
}

} // namespace kv10
