#include "TrendSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv10 {

namespace {

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

} // namespace

void TrendSeries::addPoint(double value)
{
    if (m_count > m_length)
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
}

void TrendSeries::clear()
{
    m_values.reset();
    m_capacity = m_head = m_count = 0;
    m_pointCounter = 0;
    m_runs.clear();
}

void TrendSeries::setValues(std::span<const float> values)
{
    clear();
    m_length = std::max(m_length, int(values.size()));
    for (const float v : values)
        addPoint(v);
}

void TrendSeries::setLength(int length)
{
    m_length = std::clamp(length, 0, std::numeric_limits<int>::max() - 1);
}

void TrendSeries::dropOldest()
{
    m_head = (m_head + 1) % m_capacity;
    --m_count;
    const qint64 oldest = firstX();
    while (m_runs.size() > 1 && m_runs[1].firstX <= oldest)
        m_runs.pop_front();
}

void TrendSeries::grow()
{
    // Doubling, but never beyond what the length allows, so a full series holds exactly
    // length + 1 slots.
    const int limit = std::max(m_length + 1, m_count + 1);
    const int capacity = std::max(std::min(std::max(16, m_capacity * 2), limit), m_count + 1);
    auto values = std::make_unique<float[]>(capacity);
    for (int i = 0; i < m_count; ++i)
        values[i] = value(i);
    m_values = std::move(values);
    m_capacity = capacity;
    m_head = 0;
}

template <typename F>
void TrendSeries::forEachPiece(int from, int to, F&& f) const
{
    if (from >= to)
        return;
    const int start = (m_head + from) % m_capacity;
    const int firstPiece = std::min(to - from, m_capacity - start);
    f(m_values.get() + start, firstPiece);
    if (firstPiece < to - from)
        f(m_values.get(), to - from - firstPiece);
}

QRgb TrendSeries::colourAtX(qint64 x) const
{
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), x,
                                        [](qint64 value, const ColourRun& run) { return value < run.firstX; });
    return after == m_runs.begin() ? m_penColour : std::prev(after)->colour;
}

std::pair<float, float> TrendSeries::valueRange() const
{
    float low = value(0), high = low;
    forEachPiece(0, m_count, [&](const float* values, int n) { widenRange(values, n, low, high); });
    return {low, high};
}

std::vector<TrendSeries::Column> TrendSeries::columns(double left, double scale) const
{
    std::vector<Column> result;
    if (m_count == 0)
        return result;
    const qint64 xMin = firstX();
    for (std::size_t run = 0; run < m_runs.size(); ++run) {
        const int from = int(std::max<qint64>(m_runs[run].firstX - xMin, 0));
        const int to = run + 1 < m_runs.size() ? int(m_runs[run + 1].firstX - xMin) : m_count;
        const QRgb colour = m_runs[run].colour;
        // Walk column by column: the points of one column are a contiguous stretch, reduced
        // by a tight loop over the values.
        for (int i = from; i < to;) {
            const double px = left + i * scale;
            const int column = int(px);
            int next = std::clamp(int(std::ceil((column + 1 - left) / scale)), i + 1, to);
            while (next < to && int(left + next * scale) == column) // rounding of the boundary
                ++next;
            float low = value(i), high = low;
            forEachPiece(i, next, [&](const float* values, int n) { widenRange(values, n, low, high); });
            result.push_back({px, value(i), value(next - 1), low, high, colour});
            i = next;
        }
    }
    return result;
}

qint64 TrendSeries::memoryBytes() const
{
    return qint64(m_capacity) * qint64(sizeof(float)) + qint64(m_runs.size() * sizeof(ColourRun));
}

} // namespace kv10
