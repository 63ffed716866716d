#pragma once
// The trend of the measured value: one line series with a colour per point, a legend of the
// newest values, axes scaled to the data and an optional 3-D view with adjustable depth.
//
// The series keeps at most ChartLength + 1 points in a ring buffer (one oldest point is dropped
// per added point once the series holds more than ChartLength). X is the running point
// counter, so points are consecutive and only the values are stored; pen colours are kept as
// runs. Drawing reduces the points falling on one pixel column to their first, last, lowest
// and highest value, so the cost of drawing follows the chart's width more than the number
// of points.
#include <QColor>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace kv10 {

class TrendChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultChartLength = 200;
    static constexpr int DefaultDepthPercent = 35;

    explicit TrendChart(QWidget* parent = nullptr);
    ~TrendChart() override;

    // Appends a point X = ++pointCounter, Y = value in the pen colour; first drops the oldest
    // point if the series holds more than chartLength() points. Values are kept as floats
    // (what the controller sends); NaN is kept as 0 and infinities as the float limits.
    void addPoint(double value);
    // Empties the series and restarts the point counter at 0.
    void clear();
    // Replaces the series by these values in the pen colour, one point each (the chart
    // length grows to hold them all): for plots of a whole data set at once.
    void setSeries(std::span<const float> values);

    // The X axis in units of the data: point i (0 the oldest) stands at origin + i * step,
    // and the ticks are labelled by `label` (plain whole numbers without it). By default the
    // axis counts points: origin 1 on the first point after a clear, step 1.
    using AxisLabel = std::function<QString(double)>;
    void setXAxis(double origin, double step, AxisLabel label = {});
    // Tick steps the X axis may take, in its units and ascending (such as whole minutes and
    // hours of a time axis); the smallest one that leaves room for the labels is used, and
    // 1-2-5 steps beyond the last. Empty (the default): 1-2-5 steps throughout.
    void setXAxisSteps(std::vector<double> steps);
    // Room kept free right of the plot, in pixels, for an X label at its right end (none by default).
    void setRightMargin(int pixels);
    // The legend of the newest values (on by default).
    void setLegendVisible(bool visible);
    // Each point as a dot, with no line between them (off by default): for values that are
    // no course over time, such as one value per program.
    void setMarkersOnly(bool on);
    bool markersOnly() const { return m_markersOnly; }

    int pointCount() const { return m_count; }
    qint64 pointCounter() const { return m_pointCounter; }
    // X of the oldest and the newest point; 0 when the series is empty.
    qint64 firstX() const { return m_count ? m_pointCounter - m_count + 1 : 0; }
    qint64 lastX() const { return m_count ? m_pointCounter : 0; }
    qint64 pointX(int index) const { return firstX() + index; }
    double pointValue(int index) const;
    QColor pointColour(int index) const;

    // Lowering the length does not drop points at once: one goes per added point.
    void setChartLength(int length);
    int chartLength() const { return m_chartLength; }

    void setPenColour(const QColor& colour) { m_penColour = colour.rgb(); }
    QColor penColour() const { return QColor::fromRgb(m_penColour); }
    // Back wall of the plot area, behind the grid.
    void setBackWallColour(const QColor& colour);
    QColor backWallColour() const { return m_backWallColour; }
    // The chart panel around the plot.
    void setPanelColour(const QColor& colour);
    QColor panelColour() const { return m_panelColour; }
    void setView3D(bool on);
    bool view3D() const { return m_view3D; }
    // 1 to 100; values outside are clamped.
    void setDepthPercent(int percent);
    int depthPercent() const { return m_depthPercent; }

    // Memory held by the series (values and colour runs).
    qint64 memoryBytes() const;

    // As drawn at the chart's present size: the legend's texts, top row first (none while it
    // is hidden), and the lowest and highest value of the Y axis.
    QStringList legendTexts() const;
    std::pair<double, double> yAxisRange() const;

    QSize sizeHint() const override { return {700, 300}; }
    QSize minimumSizeHint() const override { return {160, 100}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct ColourRun {
        qint64 firstX;
        QRgb colour;
    };

    struct Plot;

    float valueAt(int index) const { return m_values[(m_head + index) % m_capacity]; }
    // Calls f(values, n, firstIndex) for the at most two contiguous pieces of the ring that
    // hold the points from..to-1, so long loops need no index arithmetic per point.
    template <typename F>
    void forEachPiece(int from, int to, F&& f) const;
    Plot layOut(const QFontMetrics& fm) const;
    void drawFrame(QPainter& painter, const Plot& plot) const;
    void drawSeries(QPainter& painter, const Plot& plot) const;
    void drawMarkers(QPainter& painter, const Plot& plot) const;
    void drawLegend(QPainter& painter, const Plot& plot) const;
    // The points the legend lists, top row first.
    std::vector<int> legendIndices(const Plot& plot) const;
    QRgb colourAtX(qint64 x) const;
    void dropOldest();
    void grow();
    void updateDescription();

    std::unique_ptr<float[]> m_values;
    int m_capacity = 0;
    int m_head = 0;
    int m_count = 0;
    qint64 m_pointCounter = 0;
    std::deque<ColourRun> m_runs;

    int m_chartLength = DefaultChartLength;
    QRgb m_penColour = qRgb(255, 0, 0);
    QColor m_backWallColour;
    QColor m_panelColour;
    bool m_view3D = true;
    int m_depthPercent = DefaultDepthPercent;
    bool m_legendVisible = true;
    bool m_markersOnly = false;
    bool m_ownXAxis = false;      // false: the axis counts points
    double m_xOrigin = 0;
    double m_xStep = 1;
    AxisLabel m_xLabel;
    std::vector<double> m_xSteps;
    int m_rightMargin = 0;
};

} // namespace kv10
