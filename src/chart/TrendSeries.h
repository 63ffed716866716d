#pragma once
// The points of a trend: one value per point, X the running point counter, each point in the
// pen colour it was added with.
//
// At most length() + 1 points are kept in a ring buffer (one oldest point is dropped per added
// point once the series holds more than length()). Points are consecutive in X, so only the
// values are stored; pen colours are kept as runs. columns() reduces the points falling on one
// pixel column to their first, last, lowest and highest value, so drawing costs follow the
// plot's width more than the number of points.
#include <QColor>
#include <QtGlobal>
#include <deque>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace kv10 {

class TrendSeries {
public:
    static constexpr int DefaultLength = 200;

    // Appends a point X = ++pointCounter, Y = value in the pen colour; first drops the oldest
    // point if the series holds more than length() points. Values are kept as floats (what
    // the controller sends); NaN is kept as 0 and infinities as the float limits.
    void addPoint(double value);
    // Empties the series and restarts the point counter at 0.
    void clear();
    // Replaces the series by these values in the pen colour (the length grows to hold them all).
    void setValues(std::span<const float> values);

    int count() const { return m_count; }
    qint64 pointCounter() const { return m_pointCounter; }
    // X of the oldest and the newest point; 0 when the series is empty.
    qint64 firstX() const { return m_count ? m_pointCounter - m_count + 1 : 0; }
    qint64 lastX() const { return m_count ? m_pointCounter : 0; }
    qint64 pointX(int index) const { return firstX() + index; }
    // Point `index`, 0 the oldest.
    float value(int index) const { return m_values[(m_head + index) % m_capacity]; }
    QRgb colour(int index) const { return colourAtX(pointX(index)); }

    // Lowering the length does not drop points at once: one goes per added point.
    void setLength(int length);
    int length() const { return m_length; }
    void setPenColour(QRgb colour) { m_penColour = colour; }
    QRgb penColour() const { return m_penColour; }

    // The lowest and the highest value; the series must not be empty.
    std::pair<float, float> valueRange() const;

    // The points on one pixel column in one colour: where the oldest of them stands, and
    // their first, last, lowest and highest value.
    struct Column {
        double x;
        float first, last, low, high;
        QRgb colour;
    };
    // Point i stands at left + i * scale pixels; the columns come oldest first, split where
    // the colour changes.
    std::vector<Column> columns(double left, double scale) const;

    // Memory held by the values and the colour runs.
    qint64 memoryBytes() const;

private:
    struct ColourRun {
        qint64 firstX;
        QRgb colour;
    };

    // Calls f(values, n) for the at most two contiguous pieces of the ring that hold the
    // points from..to-1, so long loops need no index arithmetic per point.
    template <typename F>
    void forEachPiece(int from, int to, F&& f) const;
    QRgb colourAtX(qint64 x) const;
    void dropOldest();
    void grow();

    std::unique_ptr<float[]> m_values;
    int m_capacity = 0;
    int m_head = 0;
    int m_count = 0;
    qint64 m_pointCounter = 0;
    std::deque<ColourRun> m_runs;
    int m_length = DefaultLength;
    QRgb m_penColour = qRgb(255, 0, 0);
};

} // namespace kv10
