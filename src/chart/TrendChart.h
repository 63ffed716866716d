#pragma once
// The trend of the measured value: one line series with a colour per point (TrendSeries), a
// legend of the newest values, axes scaled to the data (ChartAxes) and an optional 3-D view
// with adjustable depth. The program preview and the record plot draw through it too.
#include "ChartAxes.h"
#include "TrendSeries.h"

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <span>
#include <utility>
#include <vector>

namespace kv10 {

class TrendChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultChartLength = TrendSeries::DefaultLength;
    static constexpr int DefaultDepthPercent = 35;

    explicit TrendChart(QWidget* parent = nullptr);
    ~TrendChart() override;

    // Appends a point in the pen colour (TrendSeries::addPoint).
    void addPoint(double value);
    // Empties the series and restarts the point counter at 0.
    void clear();
    // Replaces the series by these values in the pen colour, one point each (the chart
    // length grows to hold them all): for plots of a whole data set at once.
    void setSeries(std::span<const float> values);

    // The X axis in units of the data: point i (0 the oldest) stands at origin + i * step,
    // and the ticks are labelled by `label` (plain whole numbers without it). By default the
    // axis counts points: origin 1 on the first point after a clear, step 1.
    using AxisLabel = ChartAxes::Label;
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

    const TrendSeries& series() const { return m_series; }
    int pointCount() const { return m_series.count(); }
    qint64 pointCounter() const { return m_series.pointCounter(); }
    // X of the oldest and the newest point; 0 when the series is empty.
    qint64 firstX() const { return m_series.firstX(); }
    qint64 lastX() const { return m_series.lastX(); }
    qint64 pointX(int index) const { return m_series.pointX(index); }
    double pointValue(int index) const { return m_series.value(index); }
    QColor pointColour(int index) const { return QColor::fromRgb(m_series.colour(index)); }

    // Lowering the length does not drop points at once: one goes per added point.
    void setChartLength(int length) { m_series.setLength(length); }
    int chartLength() const { return m_series.length(); }

    void setPenColour(const QColor& colour) { m_series.setPenColour(colour.rgb()); }
    QColor penColour() const { return QColor::fromRgb(m_series.penColour()); }
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
    qint64 memoryBytes() const { return m_series.memoryBytes(); }

    // As drawn at the chart's present size: the legend's texts, top row first (none while it
    // is hidden), and the lowest and highest value of the Y axis.
    QStringList legendTexts() const;
    std::pair<double, double> yAxisRange() const;

    QSize sizeHint() const override { return {700, 300}; }
    QSize minimumSizeHint() const override { return {160, 100}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Plot;

    Plot layOut(const QFontMetrics& fm) const;
    void drawFrame(QPainter& painter, const Plot& plot) const;
    void drawSeries(QPainter& painter, const Plot& plot) const;
    void drawMarkers(QPainter& painter, const Plot& plot) const;
    void drawLegend(QPainter& painter, const Plot& plot) const;
    // The points the legend lists, top row first.
    std::vector<int> legendIndices(const Plot& plot) const;
    void updateDescription();

    TrendSeries m_series;
    ChartAxes m_axes;
    QColor m_backWallColour;
    QColor m_panelColour;
    bool m_view3D = true;
    int m_depthPercent = DefaultDepthPercent;
    bool m_legendVisible = true;
    bool m_markersOnly = false;
    int m_rightMargin = 0;
};

} // namespace kv10
