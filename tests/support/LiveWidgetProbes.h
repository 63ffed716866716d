#pragma once
// Offscreen widget probes for the trend chart and its settings dialogs: pixels of a colour,
// a named child, an active window, and the chart dialog on a chart of its own.

#include "ChartSettingsDialog.h"
#include "ScriptedPrompts.h"
#include "TrendChart.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <cstdlib>

namespace kv10::test::livewidgets {

inline const QColor Red(255, 0, 0);
inline const QColor Blue(0, 0, 255);
inline const QColor Face(212, 208, 200);

// Pixels of `colour`, give or take `tolerance` in the sum of the channel differences
// (smoothed lines blend into their background).
inline int countPixels(const QImage& image, const QColor& colour, int tolerance = 0)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            count += std::abs(qRed(p) - colour.red()) + std::abs(qGreen(p) - colour.green())
                    + std::abs(qBlue(p) - colour.blue()) <= tolerance;
        }
    return count;
}

inline void fillSine(TrendChart& chart, int points)
{
    for (int i = 0; i < points; ++i)
        chart.addPoint(50 + 40 * std::sin(i / 15.0));
}

template <typename T>
T* child(QWidget& parent, const char* name)
{
    T* widget = parent.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

inline void showActive(QWidget& widget)
{
    widget.show();
    QApplication::setActiveWindow(&widget);
    if (!QTest::qWaitForWindowActive(&widget))
        qWarning("window not active");
}

// The chart settings dialog acting on a chart of its own, answered by scripted prompts.
struct ChartDialogRig {
    explicit ChartDialogRig(const ChartSettings& fields = {})
    {
        dialog.setPrompts(&prompts);
        dialog.setChart(&chart);
        dialog.preset(fields);
    }
    TrendChart chart;
    ScriptedPrompts prompts;
    ChartSettingsDialog dialog;
};

inline QStringList boxSummaries(const ScriptedPrompts& prompts)
{
    QStringList list;
    for (const PromptRecord& box : prompts.messages())
        list << box.caption + QLatin1Char('|') + box.text;
    return list;
}

} // namespace kv10::test::livewidgets
