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

double niceStep(double range, int maxTicks)
{
    if (!(range > 0) || maxTicks < 1)
        return 1;
    const double raw = range / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double n = raw / magnitude;
    return (n <= 1 ? 1 : n <= 2 ? 2 : n <= 5 ? 5 : 10) * magnitude;
}

// Values of the points falling on one pixel column in one colour.
struct ColumnEntry {
    double x;
    float first, last, low, high;
    QRgb colour;
};

// Widens [low, high] by n values; four running pairs keep the loop from waiting on itself.
void widenRange(const float* values, int n, float& low, float& high)
{
    float lo[4] = {low, low, low, low};
    float hi[4] = {high, high, high, high};
    int j = 0;
    for (; j + 4 <= n; j += 4)
        for (int k = 0; k < 4; ++k) {
            lo[k] = std::min(lo[k], values[j + k]);
            hi[k] = std::max(hi[k], values[j + k]);
        }
    for (; j < n; ++j) {
        lo[0] = std::min(lo[0], values[j]);
        hi[0] = std::max(hi[0], values[j]);
    }
    low = std::min({lo[0], lo[1], lo[2], lo[3]});
    high = std::max({hi[0], hi[1], hi[2], hi[3]});
}

QColor ribbonColour(QRgb colour)
{
    // Halfway to white: the top face of the ribbon.
    return QColor((qRed(colour) + 255) / 2, (qGreen(colour) + 255) / 2, (qBlue(colour) + 255) / 2);
}

QString axisLabel(double v, double step)
{
    // Steps like 0.1 accumulate noise; a value within a millionth of a step of 0 is 0.
    return generalText(std::abs(v) < step / 1e6 ? 0 : v, 6);
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
    if (m_count > m_chartLength)
        dropOldest();
    ++m_pointCounter;
    if (m_count == m_capacity)
        grow();
    // A reading that is no number would break the axis scaling: it is drawn at 0, and
    // infinities at the ends of the float range.
    if (std::isnan(value))
        value = 0;
    value = std::clamp(value, double(std::numeric_limits<float>::lowest()), double(std::numeric_limits<float>::max()));
    m_values[(m_head + m_count) % m_capacity] = static_cast<float>(value);
    ++m_count;
    if (m_runs.empty() || m_runs.back().colour != m_penColour)
        m_runs.push_back({m_pointCounter, m_penColour});
    updateDescription();
    update();
}

void TrendChart::clear()
{
    m_values.reset();
    m_capacity = m_head = m_count = 0;
    m_pointCounter = 0;
    m_runs.clear();
    updateDescription();
    update();
}

void TrendChart::setSeries(std::span<const float> values)
{
    clear();
    m_chartLength = std::max(m_chartLength, int(values.size()));
    for (const float v : values)
        addPoint(v);
    update();
}

void TrendChart::setXAxis(double origin, double step, AxisLabel label)
{
    m_ownXAxis = true;
    m_xOrigin = origin;
    m_xStep = step > 0 ? step : 1;
    m_xLabel = std::move(label);
    update();
}

void TrendChart::setXAxisSteps(std::vector<double> steps)
{
    m_xSteps = std::move(steps);
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

void TrendChart::dropOldest()
{
    m_head = (m_head + 1) % m_capacity;
    --m_count;
    const qint64 oldest = firstX();
    while (m_runs.size() > 1 && m_runs[1].firstX <= oldest)
        m_runs.pop_front();
}

void TrendChart::grow()
{
    // Doubling, but never beyond what the chart length allows, so a full series holds exactly
    // ChartLength + 1 slots.
    const int limit = std::max(m_chartLength + 1, m_count + 1);
    const int capacity = std::max(std::min(std::max(16, m_capacity * 2), limit), m_count + 1);
    auto values = std::make_unique<float[]>(capacity);
    for (int i = 0; i < m_count; ++i)
        values[i] = valueAt(i);
    m_values = std::move(values);
    m_capacity = capacity;
    m_head = 0;
}

template <typename F>
void TrendChart::forEachPiece(int from, int to, F&& f) const
{
    if (from >= to)
        return;
    const int start = (m_head + from) % m_capacity;
    const int firstPiece = std::min(to - from, m_capacity - start);
    f(m_values.get() + start, firstPiece, from);
    if (firstPiece < to - from)
        f(m_values.get(), to - from - firstPiece, from + firstPiece);
}

double TrendChart::pointValue(int index) const
{
    return valueAt(index);
}

QRgb TrendChart::colourAtX(qint64 x) const
{
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), x,
                                        [](qint64 value, const ColourRun& run) { return value < run.firstX; });
    return after == m_runs.begin() ? m_penColour : std::prev(after)->colour;
}

QColor TrendChart::pointColour(int index) const
{
    return QColor::fromRgb(colourAtX(pointX(index)));
}

void TrendChart::setChartLength(int length)
{
    m_chartLength = std::clamp(length, 0, std::numeric_limits<int>::max() - 1);
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

qint64 TrendChart::memoryBytes() const
{
    return qint64(m_capacity) * qint64(sizeof(float)) + qint64(m_runs.size() * sizeof(ColourRun));
}

void TrendChart::updateDescription()
{
    if (m_count == 0) {
        setAccessibleDescription(QStringLiteral("Trend naměřené hodnoty, žádné body"));
        return;
    }
    setAccessibleDescription(QStringLiteral("Trend naměřené hodnoty, bodů %1, poslední hodnota %2")
                                 .arg(m_count)
                                 .arg(fixedNumberText(valueAt(m_count - 1))));
}

// Where everything goes: the front plane of the plot (axes and series), the back wall
// (shifted by the 3-D depth up and right), the axes' ranges and the legend box.
struct TrendChart::Plot {
    QRect front;
    QRect back;
    int depth = 0;
    double yMin = 0, yMax = 1, yStep = 1;
    std::vector<double> yTicks;
    qint64 xMin = 0, xMax = 1;
    double axisMin = 0, axisMax = 1;   // the same two ends in the units of the X axis
    int yLabelWidth = 0;
    QRect legend; // empty: no legend

    double mapY(double v) const { return front.bottom() - (v - yMin) * (front.height() - 1) / (yMax - yMin); }
    double mapX(double x) const { return front.left() + (x - xMin) * (front.width() - 1) / double(xMax - xMin); }
};

TrendChart::Plot TrendChart::layOut(const QFontMetrics& fm) const
{
    Plot plot;
    double low = 0, high = 1;
    if (m_count > 0) {
        float lo = valueAt(0), hi = lo;
        forEachPiece(0, m_count, [&](const float* values, int n, int) { widenRange(values, n, lo, hi); });
        low = lo;
        high = hi;
    }
    if (high - low < std::max(1e-9, std::abs(high) * 1e-6)) {
        // A flat series: open the range around it, relative to its size so that the steps
        // stay representable for large values.
        const double pad = std::max(1.0, std::abs(high) * 0.01);
        low -= pad;
        high += pad;
    }
    const int approxPlotHeight = std::max(height() - 2 * Margin - fm.height() * 2, 20);
    plot.yStep = niceStep(high - low, std::max(approxPlotHeight / (fm.height() * 2), 1));
    plot.yMin = std::floor(low / plot.yStep) * plot.yStep;
    plot.yMax = std::ceil(high / plot.yStep) * plot.yStep;
    const int steps = int(std::min(std::lround((plot.yMax - plot.yMin) / plot.yStep), 100L));
    for (int i = 0; i <= steps; ++i) {
        plot.yTicks.push_back(plot.yMin + i * plot.yStep);
        plot.yLabelWidth = std::max(plot.yLabelWidth, fm.horizontalAdvance(axisLabel(plot.yTicks.back(), plot.yStep)));
    }
    plot.xMin = m_count ? firstX() : 0;
    plot.xMax = m_count > 1 ? lastX() : plot.xMin + 1;
    if (m_ownXAxis) {
        plot.axisMin = m_xOrigin;
        plot.axisMax = m_xOrigin + m_xStep * double(plot.xMax - plot.xMin);
    } else {
        plot.axisMin = double(plot.xMin);
        plot.axisMax = double(plot.xMax);
    }

    const bool showLegend = m_legendVisible && width() >= 320 && m_count > 0;
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
    for (const double v : plot.yTicks) {
        const double y = plot.mapY(v);
        grid.emplace_back(back.left(), y - depth, back.right(), y - depth);
        if (depth)
            grid.emplace_back(front.left(), y, back.left(), y - depth);
        painter.drawLine(QLineF(front.left() - TickLength, y, front.left(), y));
        painter.drawText(QRectF(Margin, y - fm.height() / 2.0, plot.yLabelWidth, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, axisLabel(v, plot.yStep));
    }
    const auto xLabel = [this](double v) { return m_xLabel ? m_xLabel(v) : QString::number(qint64(v)); };
    const int labelWidth = std::max(fm.horizontalAdvance(xLabel(plot.axisMin)), fm.horizontalAdvance(xLabel(plot.axisMax)))
        + 3 * fm.horizontalAdvance(QLatin1Char('0'));
    const double axisSpan = plot.axisMax - plot.axisMin;
    const double minimumStep = m_ownXAxis ? 0.0 : 1.0;   // a point counter has no fractions
    const int maxXTicks = std::max(1, front.width() / labelWidth);
    const auto listed = std::find_if(m_xSteps.begin(), m_xSteps.end(),
                                     [&](double step) { return step > 0 && axisSpan / step <= maxXTicks; });
    const double xStep = std::max(minimumStep, listed != m_xSteps.end() ? *listed : niceStep(axisSpan, maxXTicks));
    if (xStep > 0 && axisSpan > 0) {
        const double firstTick = std::ceil(plot.axisMin / xStep);
        const int xTicks = int(std::min(std::floor(plot.axisMax / xStep + 1e-9) - firstTick, 1000.0));
        for (int i = 0; i <= xTicks; ++i) {
            const double v = (firstTick + i) * xStep;
            const double x = front.left() + (v - plot.axisMin) * (front.width() - 1) / axisSpan;
            grid.emplace_back(x + depth, back.top(), x + depth, back.bottom());
            if (depth)
                grid.emplace_back(x, front.bottom(), x + depth, back.bottom());
            painter.drawLine(QLineF(x, front.bottom(), x, front.bottom() + TickLength));
            painter.drawText(QRectF(x - 50, front.bottom() + TickLength + 1, 100, fm.height()),
                             Qt::AlignHCenter | Qt::AlignTop, xLabel(v));
        }
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
    if (m_count == 0)
        return;
    if (m_markersOnly) {
        drawMarkers(painter, plot);
        return;
    }
    const QRect& front = plot.front;

    // The points reduced to pixel columns, split where the colour changes.
    std::vector<ColumnEntry> entries;
    entries.reserve(std::min<std::size_t>(m_count, front.width() + m_runs.size() + 1));
    const double left = front.left();
    const double scale = (front.width() - 1) / double(plot.xMax - plot.xMin);
    for (std::size_t run = 0; run < m_runs.size(); ++run) {
        const int from = int(std::max<qint64>(m_runs[run].firstX - plot.xMin, 0));
        const int to = run + 1 < m_runs.size() ? int(m_runs[run + 1].firstX - plot.xMin) : m_count;
        const QRgb colour = m_runs[run].colour;
        // Walk column by column: the points of one column are a contiguous stretch, reduced
        // by a tight loop over the values.
        for (int i = from; i < to;) {
            const double px = left + i * scale;
            const int column = int(px);
            int next = std::clamp(int(std::ceil((column + 1 - left) / scale)), i + 1, to);
            while (next < to && int(left + next * scale) == column) // rounding of the boundary
                ++next;
            float low = valueAt(i), high = low;
            forEachPiece(i, next, [&](const float* values, int n, int) { widenRange(values, n, low, high); });
            entries.push_back({px, valueAt(i), valueAt(next - 1), low, high, colour});
            i = next;
        }
    }

    // The line: from each column's predecessor to its first value, then its lowest to highest.
    std::vector<QLineF> lines;
    std::vector<QRgb> colours;
    lines.reserve(entries.size() * 2);
    colours.reserve(entries.size() * 2);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const ColumnEntry& e = entries[k];
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

    if (m_count >= front.width()) {
        // A point or more on every pixel column: each column is one filled span that also
        // reaches the previous column's last value, which is the step between them.
        ByColour<QRect> spans;
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const ColumnEntry& e = entries[k];
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
    for (int i = 0; i < m_count; ++i) {
        painter.setBrush(pointColour(i));
        painter.drawEllipse(QPointF(plot.front.left() + i * scale, plot.mapY(valueAt(i))), Radius, Radius);
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
                         Qt::AlignRight | Qt::AlignVCenter, fixedNumberText(valueAt(index)));
    }
}

std::vector<int> TrendChart::legendIndices(const Plot& plot) const
{
    if (plot.legend.isEmpty())
        return {};
    // The newest values, newest first, as many as there are rows.
    const int rowHeight = fontMetrics().height() + 2;
    const int rows = std::min((plot.legend.height() - 2 * Margin) / rowHeight, m_count);
    std::vector<int> indices;
    for (int r = 0; r < rows; ++r)
        indices.push_back(m_count - 1 - r);
    return indices;
}

QStringList TrendChart::legendTexts() const
{
    QStringList texts;
    for (const int index : legendIndices(layOut(fontMetrics())))
        texts << fixedNumberText(valueAt(index));
    return texts;
}

std::pair<double, double> TrendChart::yAxisRange() const
{
    const Plot plot = layOut(fontMetrics());
    return {plot.yMin, plot.yMax};
}

} // namespace kv10
