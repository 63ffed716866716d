#pragma once
// The two axes of a trend plot. The value axis is scaled to the data in 1-2-5 steps. The X
// axis counts points by default; it can instead be in units of the data (point i at
// origin + i * step) with labels and tick steps of its own, such as minutes of a time axis.
#include <QString>
#include <QtGlobal>
#include <functional>
#include <utility>
#include <vector>

namespace kv10 {

class ChartAxes {
public:
    using Label = std::function<QString(double)>;

    struct ValueAxis {
        double min = 0, max = 1, step = 1;
        std::vector<double> ticks;   // min, min + step, ... max
    };
    // The value axis for values from `low` to `high` with room for about `maxTicks` steps; a
    // flat range is opened around its value.
    static ValueAxis valueAxis(double low, double high, int maxTicks);
    static QString valueLabel(double value, double step);
    // The 1-2-5 step that divides `range` into at most about `maxTicks` parts.
    static double niceStep(double range, int maxTicks);

    // Point i (0 the oldest) at origin + i * step, labelled by `label` (whole numbers without it).
    void setX(double origin, double step, Label label = {});
    // Tick steps the X axis may take, in its units and ascending; the smallest one that leaves
    // room for the labels is used, and 1-2-5 steps beyond the last. Empty: 1-2-5 throughout.
    void setXSteps(std::vector<double> steps);

    // The X axis' ends, in its units, for the points xMin to xMax of the series.
    std::pair<double, double> xEnds(qint64 xMin, qint64 xMax) const;
    QString xLabel(double value) const;
    // The ticks from `first` to `last` (the axis' ends) when `maxTicks` labels fit.
    std::vector<double> xTicks(double first, double last, int maxTicks) const;

private:
    bool m_ownX = false;      // false: the axis counts points
    double m_xOrigin = 0;
    double m_xStep = 1;
    Label m_xLabel;
    std::vector<double> m_xSteps;
};

} // namespace kv10
