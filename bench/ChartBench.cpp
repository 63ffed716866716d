// One step of the trend at its largest: add a point to a full series of 100 000 points and
// repaint a 700 x 300 chart (3-D on, pen colour changing along the series) into an image.
// Qt Charts doing the same with a QLineSeries is the baseline.
// Run with QT_QPA_PLATFORM=offscreen; optional arguments: the number of steps (default 200),
// then "trend" to measure only the trend chart at 100 000 points (for a profiler).
#include "TrendChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#ifdef KV10_BENCH_QTCHARTS
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>
#endif

namespace {

constexpr int Width = 700;
constexpr int Height = 300;

struct Figures {
    double median = 0;
    double p95 = 0;
};

Figures figuresOf(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]};
}

double sample(qint64 i)
{
    return 50 + 30 * std::sin(i / 3000.0) + (i % 97) * 0.2;
}

Figures benchTrendChart(int points, int steps, bool view3D, qint64* memory)
{
    kv10::TrendChart chart;
    chart.resize(Width, Height);
    chart.setChartLength(points);
    chart.setView3D(view3D);
    const QColor colours[] = {Qt::red, Qt::blue, Qt::darkGreen, Qt::magenta};
    for (int i = 0; i <= points; ++i) {
        if (i % 100 == 0)
            chart.setPenColour(colours[(i / 100) % 4]);
        chart.addPoint(sample(i));
    }
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    chart.render(&image); // warm-up
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int s = 0; s < steps; ++s) {
        if (s % 10 == 0)
            chart.setPenColour(colours[s % 4]);
        timer.start();
        chart.addPoint(sample(points + s));
        chart.render(&image);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    if (memory)
        *memory = chart.memoryBytes();
    return figuresOf(ms);
}

#ifdef KV10_BENCH_QTCHARTS
Figures benchQtCharts(int points, int steps)
{
    auto* series = new QLineSeries;
    QList<QPointF> initial;
    initial.reserve(points + 1);
    for (int i = 0; i <= points; ++i)
        initial.append(QPointF(i + 1, sample(i)));
    series->replace(initial);
    auto* chart = new QChart;
    chart->addSeries(series);
    auto* axisX = new QValueAxis;
    auto* axisY = new QValueAxis;
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisX);
    series->attachAxis(axisY);
    axisY->setRange(0, 110);
    QChartView view(chart);
    view.resize(Width, Height);
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&image);
        view.render(&painter);
    }
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int s = 0; s < steps; ++s) {
        timer.start();
        const qint64 x = points + 2 + s;
        series->append(x, sample(x));
        series->remove(0);
        axisX->setRange(series->at(0).x(), x);
        QPainter painter(&image);
        view.render(&painter);
        painter.end();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    return figuresOf(ms);
}
#endif

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia));
    const int steps = argc > 1 ? std::max(10, atoi(argv[1])) : 200;

    qint64 memory = 0;
    const Figures big = benchTrendChart(100000, steps, true, &memory);
    std::printf("TrendChart 100000 points, 3-D, colour runs: median %.3f ms, p95 %.3f ms, %.2f bytes per point\n",
                big.median, big.p95, memory / 100001.0);
    if (argc > 2 && QByteArray(argv[2]) == "trend")
        return 0;
    const Figures flat = benchTrendChart(100000, steps, false, nullptr);
    std::printf("TrendChart 100000 points, 2-D:              median %.3f ms, p95 %.3f ms\n", flat.median, flat.p95);
    const Figures small = benchTrendChart(10000, steps, true, nullptr);
    std::printf("TrendChart  10000 points, 3-D:              median %.3f ms, p95 %.3f ms\n", small.median, small.p95);
    const Figures defaults = benchTrendChart(200, steps, true, nullptr);
    std::printf("TrendChart    200 points, 3-D:              median %.3f ms, p95 %.3f ms\n", defaults.median, defaults.p95);

#ifdef KV10_BENCH_QTCHARTS
    const Figures qtBig = benchQtCharts(100000, std::max(10, steps / 10));
    std::printf("Qt Charts  100000 points (one colour):      median %.3f ms, p95 %.3f ms, ratio %.1fx\n",
                qtBig.median, qtBig.p95, qtBig.median / big.median);
    const Figures qtSmall = benchQtCharts(10000, std::max(10, steps / 4));
    std::printf("Qt Charts   10000 points (one colour):      median %.3f ms, p95 %.3f ms, ratio %.1fx\n",
                qtSmall.median, qtSmall.p95, qtSmall.median / small.median);
    return 0;
#else
    // Figures without their baseline must not pass for a finished run.
    std::fprintf(stderr, "kv10-bench-chart: FAILED: no baseline, Qt Charts was not found when this was "
                         "built (scripts/install-deps installs it; then configure again)\n");
    return 1;
#endif
}
