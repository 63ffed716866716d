#include "TrendChart.h"

#include "NumberText.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

namespace kv10 {

namespace {

constexpr int Margin = 6;
constexpr int TickLength = 4;
constexpr int LegendSwatch = 10;

QColor ribbonColour(QRgb colour)
{
    // Halfway to white: the top face of the ribbon.
    return QColor((qRed(colour) + 255) / 2, (qGreen(colour) + 255) / 2, (qBlue(colour) + 255) / 2);
}

// Shapes gathered per colour, so that each colour costs one pen or brush change and one call
// to draw, however often the colours alternate along the series.
template <typename Shape>
class ByColour {
public:
    void add(QRgb colour, const Shape& shape)
    {
        if (m_groups.empty() || m_groups[m_current].colour != colour) {
            const auto [it, added] = m_index.try_emplace(colour, m_groups.size());
            if (added)
                m_groups.push_back({colour, {}});
            m_current = it->second;
        }
        m_groups[m_current].shapes.push_back(shape);
    }

    // Lines with a one-pixel pen of colourOf(colour).
    template <typename ColourOf>
    void drawLines(QPainter& painter, ColourOf colourOf) const
    {
        for (const Group& group : m_groups) {
            painter.setPen(QPen(colourOf(group.colour), 0));
            painter.drawLines(group.shapes.data(), int(group.shapes.size()));
        }
    }

    // Rectangles filled with colourOf(colour), no outline: much cheaper than lines for the
    // one-pixel-wide columns.
    template <typename ColourOf>
    void fillRects(QPainter& painter, ColourOf colourOf) const
    {
        painter.setPen(Qt::NoPen);
        for (const Group& group : m_groups) {
            painter.setBrush(colourOf(group.colour));
            painter.drawRects(group.shapes.data(), int(group.shapes.size()));
        }
        painter.setBrush(Qt::NoBrush);
    }

private:
    struct Group {
        QRgb colour;
        std::vector<Shape> shapes;
    };
    std::vector<Group> m_groups;
    std::unordered_map<QRgb, std::size_t> m_index;
    std::size_t m_current = 0;
};

QColor plainColour(QRgb colour)
{
    return QColor::fromRgb(colour);
}

// One pixel column from `top` to `bottom` (pixel coordinates, either order).
QRect columnRect(int x, double top, double bottom)
{
    const int y0 = int(std::floor(std::min(top, bottom)));
    const int y1 = int(std::floor(std::max(top, bottom)));
    return QRect(x, y0, 1, y1 - y0 + 1);
}

// The ribbon of the 3-D view: the line swept back by `depth` pixels, up and to the right.
// Each pixel column of the line spans [top, bottom]; a column of the ribbon covers what the
// columns up to `depth` to its left span, raised by their distance. One filled column per
// pixel draws it, however many points there are.
void drawRibbon(QPainter& painter, const QRect& front, int depth, const std::vector<QLineF>& lines,
                const std::vector<QRgb>& colours)
{
    const int width = front.width();
    std::vector<float> top(width, std::numeric_limits<float>::max());
    std::vector<float> bottom(width, std::numeric_limits<float>::lowest());
    std::vector<QRgb> columnColour(width, 0);
    auto cover = [&](int column, double y0, double y1, QRgb colour) {
        if (column < 0 || column >= width)
            return;
        top[column] = std::min<float>(top[column], float(std::min(y0, y1)));
        bottom[column] = std::max<float>(bottom[column], float(std::max(y0, y1)));
        columnColour[column] = colour;
    };
    for (std::size_t k = 0; k < lines.size(); ++k) {
        QLineF l = lines[k];
        if (l.x1() > l.x2())
            l = QLineF(l.p2(), l.p1());
        const double x0 = l.x1() - front.left();
        const double x1 = l.x2() - front.left();
        if (x1 - x0 < 1) {
            cover(int(x0), l.y1(), l.y2(), colours[k]);
            continue;
        }
        const double slope = (l.y2() - l.y1()) / (x1 - x0);
        for (int c = int(x0); c <= int(x1); ++c) {
            const double from = std::max(double(c), x0);
            const double to = std::min(double(c + 1), x1);
            cover(c, l.y1() + (from - x0) * slope, l.y1() + (to - x0) * slope, colours[k]);
        }
    }

    ByColour<QRect> ribbon;
    for (int x = 0; x < width + depth; ++x) {
        float columnTop = std::numeric_limits<float>::max();
        float columnBottom = std::numeric_limits<float>::lowest();
        QRgb colour = 0;
        for (int t = 0; t <= depth && t <= x; ++t) {
            const int c = x - t;
            if (c >= width || top[c] > bottom[c])
                continue;
            if (top[c] - t < columnTop) {
                columnTop = top[c] - t;
                colour = columnColour[c];
            }
            columnBottom = std::max(columnBottom, bottom[c] - t);
        }
        if (columnTop <= columnBottom)
            ribbon.add(colour, columnRect(front.left() + x, columnTop, columnBottom));
    }
    ribbon.fillRects(painter, ribbonColour);
}

} // namespace

TrendChart::TrendChart(QWidget* parent) : QWidget(parent)
{
    const QColor face = palette().color(QPalette::Button);
    m_backWallColour = face;
    m_panelColour = face;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(QStringLiteral("Graf naměřené hodnoty"));
    updateDescription();
}

TrendChart::~TrendChart() = default;

void TrendChart::addPoint(double value)
{
    m_series.addPoint(value);
    updateDescription();
    update();
}

void TrendChart::clear()
{
    m_series.clear();
    updateDescription();
    update();
}

void TrendChart::setSeries(std::span<const float> values)
{
    m_series.setValues(values);
    updateDescription();
    update();
}

void TrendChart::setXAxis(double origin, double step, AxisLabel label)
{
    m_axes.setX(origin, step, std::move(label));
    update();
}

void TrendChart::setXAxisSteps(std::vector<double> steps)
{
    m_axes.setXSteps(std::move(steps));
    update();
}

void TrendChart::setRightMargin(int pixels)
{
    m_rightMargin = std::max(pixels, 0);
    update();
}

void TrendChart::setLegendVisible(bool visible)
{
    m_legendVisible = visible;
    update();
}

void TrendChart::setMarkersOnly(bool on)
{
    m_markersOnly = on;
    update();
}

void TrendChart::setBackWallColour(const QColor& colour)
{
    m_backWallColour = colour;
    update();
}

void TrendChart::setPanelColour(const QColor& colour)
{
    m_panelColour = colour;
    update();
}

void TrendChart::setView3D(bool on)
{
    m_view3D = on;
    update();
}

void TrendChart::setDepthPercent(int percent)
{
    m_depthPercent = std::clamp(percent, 1, 100);
    update();
}

void TrendChart::updateDescription()
{
    const int count = m_series.count();
    if (count == 0) {
        setAccessibleDescription(QStringLiteral("Trend naměřené hodnoty, žádné body"));
        return;
    }
    setAccessibleDescription(QStringLiteral("Trend naměřené hodnoty, bodů %1, poslední hodnota %2")
                                 .arg(count)
                                 .arg(fixedNumberText(m_series.value(count - 1))));
}

// Where everything goes: the front plane of the plot (axes and series), the back wall
// (shifted by the 3-D depth up and right), the axes' ranges and the legend box.
struct TrendChart::Plot {
    QRect front;
    QRect back;
    int depth = 0;
    ChartAxes::ValueAxis y;
    qint64 xMin = 0, xMax = 1;
    double axisMin = 0, axisMax = 1;   // the same two ends in the units of the X axis
    int yLabelWidth = 0;
    QRect legend; // empty: no legend

    double mapY(double v) const { return front.bottom() - (v - y.min) * (front.height() - 1) / (y.max - y.min); }
};

TrendChart::Plot TrendChart::layOut(const QFontMetrics& fm) const
{
    Plot plot;
    const int count = m_series.count();
    double low = 0, high = 1;
    if (count > 0)
        std::tie(low, high) = m_series.valueRange();
    const int approxPlotHeight = std::max(height() - 2 * Margin - fm.height() * 2, 20);
    plot.y = ChartAxes::valueAxis(low, high, std::max(approxPlotHeight / (fm.height() * 2), 1));
    for (const double v : plot.y.ticks)
        plot.yLabelWidth = std::max(plot.yLabelWidth, fm.horizontalAdvance(ChartAxes::valueLabel(v, plot.y.step)));
    plot.xMin = count ? m_series.firstX() : 0;
    plot.xMax = count > 1 ? m_series.lastX() : plot.xMin + 1;
    std::tie(plot.axisMin, plot.axisMax) = m_axes.xEnds(plot.xMin, plot.xMax);

    const bool showLegend = m_legendVisible && width() >= 320 && count > 0;
    const int legendWidth = showLegend ? fm.horizontalAdvance(QStringLiteral("-00000,00")) + LegendSwatch + 3 * Margin : 0;
    const int left = Margin + plot.yLabelWidth + TickLength + 2;
    const int top = Margin + fm.height() / 2;
    const QRect area(left, top, width() - left - Margin - m_rightMargin - (showLegend ? legendWidth + Margin : 0),
                     height() - top - Margin - fm.height() - TickLength - 2);
    if (area.width() < 20 || area.height() < 20)
        return plot;

    if (m_view3D)
        plot.depth = std::max(1, int(std::lround(m_depthPercent * 0.0035 * std::min(area.width(), area.height()))));
    plot.front = QRect(area.left(), area.top() + plot.depth, area.width() - plot.depth, area.height() - plot.depth);
    plot.back = plot.front.translated(plot.depth, -plot.depth);
    if (showLegend)
        plot.legend = QRect(width() - Margin - legendWidth, area.top(), legendWidth, area.height());
    return plot;
}

void TrendChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_panelColour);
    const Plot plot = layOut(fontMetrics());
    if (plot.front.isEmpty())
        return;
    drawFrame(painter, plot);
    drawSeries(painter, plot);
    drawLegend(painter, plot);
}

void TrendChart::drawFrame(QPainter& painter, const Plot& plot) const
{
    const QFontMetrics fm = fontMetrics();
    const QColor ink = palette().color(QPalette::WindowText);
    const QRect& front = plot.front;
    const QRect& back = plot.back;
    const int depth = plot.depth;

    // Walls: left wall and floor in shades of the panel, the back wall in its own colour.
    painter.setPen(m_panelColour.darker(170));
    if (depth) {
        painter.setBrush(m_panelColour.darker(112));
        painter.drawPolygon(QPolygon({front.topLeft(), back.topLeft(), back.bottomLeft(), front.bottomLeft()}));
        painter.setBrush(m_panelColour.darker(125));
        painter.drawPolygon(QPolygon({front.bottomLeft(), back.bottomLeft(), back.bottomRight(), front.bottomRight()}));
    }
    painter.setBrush(m_backWallColour);
    painter.drawRect(back.adjusted(0, 0, -1, -1));
    painter.setBrush(Qt::NoBrush);

    // Grid lines on the back wall (continued across the left wall and the floor in 3-D),
    // ticks and labels along the front edges.
    std::vector<QLineF> grid;
    painter.setPen(ink);
    for (const double v : plot.y.ticks) {
        const double y = plot.mapY(v);
        grid.emplace_back(back.left(), y - depth, back.right(), y - depth);
        if (depth)
            grid.emplace_back(front.left(), y, back.left(), y - depth);
        painter.drawLine(QLineF(front.left() - TickLength, y, front.left(), y));
        painter.drawText(QRectF(Margin, y - fm.height() / 2.0, plot.yLabelWidth, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, ChartAxes::valueLabel(v, plot.y.step));
    }
    const int labelWidth = std::max(fm.horizontalAdvance(m_axes.xLabel(plot.axisMin)),
                                    fm.horizontalAdvance(m_axes.xLabel(plot.axisMax)))
        + 3 * fm.horizontalAdvance(QLatin1Char('0'));
    const double axisSpan = plot.axisMax - plot.axisMin;
    for (const double v : m_axes.xTicks(plot.axisMin, plot.axisMax, std::max(1, front.width() / labelWidth))) {
        const double x = front.left() + (v - plot.axisMin) * (front.width() - 1) / axisSpan;
        grid.emplace_back(x + depth, back.top(), x + depth, back.bottom());
        if (depth)
            grid.emplace_back(x, front.bottom(), x + depth, back.bottom());
        painter.drawLine(QLineF(x, front.bottom(), x, front.bottom() + TickLength));
        painter.drawText(QRectF(x - 50, front.bottom() + TickLength + 1, 100, fm.height()),
                         Qt::AlignHCenter | Qt::AlignTop, m_axes.xLabel(v));
    }
    const QColor gridColour = m_backWallColour.lightness() > 128 ? m_backWallColour.darker(135) : m_backWallColour.lighter(160);
    painter.setPen(QPen(gridColour, 0, Qt::DotLine));
    painter.drawLines(grid.data(), int(grid.size()));
    painter.setPen(ink);
    painter.drawLine(front.bottomLeft(), front.bottomRight());
    painter.drawLine(front.bottomLeft(), front.topLeft());
}

void TrendChart::drawSeries(QPainter& painter, const Plot& plot) const
{
    if (m_series.count() == 0)
        return;
    if (m_markersOnly) {
        drawMarkers(painter, plot);
        return;
    }
    const QRect& front = plot.front;
    // The points reduced to pixel columns, split where the colour changes.
    const std::vector<TrendSeries::Column> entries
        = m_series.columns(front.left(), (front.width() - 1) / double(plot.xMax - plot.xMin));

    // The line: from each column's predecessor to its first value, then its lowest to highest.
    std::vector<QLineF> lines;
    std::vector<QRgb> colours;
    lines.reserve(entries.size() * 2);
    colours.reserve(entries.size() * 2);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const TrendSeries::Column& e = entries[k];
        if (k > 0) {
            lines.emplace_back(entries[k - 1].x, plot.mapY(entries[k - 1].last), e.x, plot.mapY(e.first));
            colours.push_back(e.colour);
        }
        if (e.high > e.low || entries.size() == 1) {
            lines.emplace_back(e.x, plot.mapY(e.low), e.x, plot.mapY(e.high));
            colours.push_back(e.colour);
        }
    }

    if (plot.depth)
        drawRibbon(painter, front, plot.depth, lines, colours);

    if (m_series.count() >= front.width()) {
        // A point or more on every pixel column: each column is one filled span that also
        // reaches the previous column's last value, which is the step between them.
        ByColour<QRect> spans;
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const TrendSeries::Column& e = entries[k];
            const float before = k > 0 ? entries[k - 1].last : e.first;
            spans.add(e.colour, columnRect(int(e.x), plot.mapY(std::min(e.low, before)), plot.mapY(std::max(e.high, before))));
        }
        spans.fillRects(painter, plainColour);
    } else {
        // Fewer points than pixels: real lines, smoothed.
        ByColour<QLineF> segments;
        for (std::size_t k = 0; k < lines.size(); ++k)
            segments.add(colours[k], lines[k]);
        painter.setRenderHint(QPainter::Antialiasing, true);
        segments.drawLines(painter, plainColour);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
}

void TrendChart::drawMarkers(QPainter& painter, const Plot& plot) const
{
    constexpr double Radius = 3;
    const double scale = (plot.front.width() - 1) / double(plot.xMax - plot.xMin);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < m_series.count(); ++i) {
        painter.setBrush(pointColour(i));
        painter.drawEllipse(QPointF(plot.front.left() + i * scale, plot.mapY(m_series.value(i))), Radius, Radius);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void TrendChart::drawLegend(QPainter& painter, const Plot& plot) const
{
    if (plot.legend.isEmpty())
        return;
    const QFontMetrics fm = fontMetrics();
    const int rowHeight = fm.height() + 2;
    const std::vector<int> indices = legendIndices(plot);
    const int rows = int(indices.size());
    const QRect box(plot.legend.left(), plot.legend.top(), plot.legend.width(), rows * rowHeight + 2 * Margin - 2);
    const QColor frame = m_panelColour.darker(170);
    painter.setPen(frame);
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setBrush(Qt::NoBrush);
    for (int r = 0; r < rows; ++r) {
        const int index = indices[r];
        const int y = box.top() + Margin + r * rowHeight;
        const QRect swatch(box.left() + Margin, y + (rowHeight - LegendSwatch) / 2, LegendSwatch, LegendSwatch);
        painter.fillRect(swatch, pointColour(index));
        painter.setPen(frame);
        painter.drawRect(swatch);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QRect(swatch.right() + Margin, y, box.right() - swatch.right() - 2 * Margin, rowHeight),
                         Qt::AlignRight | Qt::AlignVCenter, fixedNumberText(m_series.value(index)));
    }
}

std::vector<int> TrendChart::legendIndices(const Plot& plot) const
{
    if (plot.legend.isEmpty())
        return {};
    // The newest values, newest first, as many as there are rows.
    const int count = m_series.count();
    const int rowHeight = fontMetrics().height() + 2;
    const int rows = std::min((plot.legend.height() - 2 * Margin) / rowHeight, count);
    std::vector<int> indices;
    for (int r = 0; r < rows; ++r)
        indices.push_back(count - 1 - r);
    return indices;
}

QStringList TrendChart::legendTexts() const
{
    QStringList texts;
    for (const int index : legendIndices(layOut(fontMetrics())))
        texts << fixedNumberText(m_series.value(index));
    return texts;
}

std::pair<double, double> TrendChart::yAxisRange() const
{
    const Plot plot = layOut(fontMetrics());
    return {plot.y.min, plot.y.max};
}

} // namespace kv10
