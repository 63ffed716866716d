// The trend's series reduced to pixel columns and its two axes, without any widget.
#include "ChartAxes.h"
#include "CzechLocale.h"
#include "TrendSeries.h"

#include <QtTest>

using namespace kv10;

namespace {

const QRgb Red = qRgb(255, 0, 0);
const QRgb Blue = qRgb(0, 0, 255);

// "x:first/last/low/high R" per column, R or B for the colour.
QStringList columnTexts(const std::vector<TrendSeries::Column>& columns)
{
    QStringList texts;
    for (const TrendSeries::Column& c : columns)
        texts << QStringLiteral("%1:%2/%3/%4/%5 %6")
                     .arg(c.x)
                     .arg(c.first)
                     .arg(c.last)
                     .arg(c.low)
                     .arg(c.high)
                     .arg(c.colour == Red ? QLatin1Char('R') : c.colour == Blue ? QLatin1Char('B') : QLatin1Char('?'));
    return texts;
}

} // namespace

class TestTrendSeries : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void columnsReducePointsPerPixel_data();
    void columnsReducePointsPerPixel();
    void valueAxisSteps_data();
    void valueAxisSteps();
    void valueLabels_data();
    void valueLabels();
    void xAxisTicks_data();
    void xAxisTicks();
};

void TestTrendSeries::columnsReducePointsPerPixel_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("points");   // values; "B" switches the pen to blue
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("a column each") << 200 << "1 2 3" << 10.0 << 2.0 << QStringList{"10:1/1/1/1 R", "12:2/2/2/2 R", "14:3/3/3/3 R"};
    QTest::newRow("four points a column") << 200 << "5 1 9 2 2 2 7 0" << 0.0 << 0.25
                                          << QStringList{"0:5/2/1/9 R", "1:2/0/0/7 R"};
    QTest::newRow("a colour change splits a column") << 200 << "1 2 B 3 4" << 0.0 << 0.25
                                                     << QStringList{"0:1/2/1/2 R", "0.5:3/4/3/4 B"};
    QTest::newRow("across the ring's end") << 3 << "1 2 3 4 5 6" << 0.0 << 0.5
                                           << QStringList{"0:3/4/3/4 R", "1:5/6/5/6 R"};
    QTest::newRow("a column across the ring's end") << 3 << "1 2 3 4 5 6" << 0.0 << 0.25 << QStringList{"0:3/6/3/6 R"};
    QTest::newRow("the oldest run dropped") << 2 << "8 9 B 3 4 5" << 0.0 << 1.0
                                            << QStringList{"0:3/3/3/3 B", "1:4/4/4/4 B", "2:5/5/5/5 B"};
    QTest::newRow("a run starting mid-ring") << 3 << "1 2 3 B 7 5 6" << 0.0 << 0.5
                                             << QStringList{"0:3/3/3/3 R", "0.5:7/7/7/7 B", "1:5/6/5/6 B"};
    QTest::newRow("empty") << 200 << "" << 0.0 << 1.0 << QStringList{};
}

void TestTrendSeries::columnsReducePointsPerPixel()
{
    QFETCH(int, length);
    QFETCH(QString, points);
    QFETCH(double, left);
    QFETCH(double, scale);
    TrendSeries series;
    series.setLength(length);
    series.setPenColour(Red);
    for (const QString& point : points.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (point == QLatin1String("B"))
            series.setPenColour(Blue);
        else
            series.addPoint(point.toDouble());
    }
    QTEST(columnTexts(series.columns(left, scale)), "columns");
}

void TestTrendSeries::valueAxisSteps_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("maxTicks");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("steps of 20") << 12.0 << 87.0 << 5 << QStringList{"0", "20", "40", "60", "80", "100"};
    QTest::newRow("flat, opened by 1") << 20.0 << 20.0 << 4 << QStringList{"19", "19,5", "20", "20,5", "21"};
    QTest::newRow("flat and large, opened by 1 %") << 5000.0 << 5000.0 << 2 << QStringList{"4950", "5000", "5050"};
    QTest::newRow("tenths around 0") << -0.3 << 0.25 << 6
                                     << QStringList{"-0,3", "-0,2", "-0,1", "0", "0,1", "0,2", "0,3"};
    QTest::newRow("no room: one step") << 0.0 << 3.0 << 0 << QStringList{"0", "1", "2", "3"};
}

void TestTrendSeries::valueAxisSteps()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, maxTicks);
    const ChartAxes::ValueAxis axis = ChartAxes::valueAxis(low, high, maxTicks);
    QStringList labels;
    for (const double tick : axis.ticks)
        labels << ChartAxes::valueLabel(tick, axis.step);
    QTEST(labels, "labels");
    QCOMPARE(axis.min, axis.ticks.front());
    QCOMPARE(axis.max, axis.ticks.back());
}

void TestTrendSeries::valueLabels_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("step");
    QTest::addColumn<QString>("label");
    QTest::newRow("sum noise is 0") << 5.551115123125783e-17 << 0.1 << "0";
    QTest::newRow("tenth") << -0.1 << 0.1 << "-0,1";
    QTest::newRow("six digits") << 1234567.0 << 100000.0 << "1,23457E6";
    QTest::newRow("small but no noise") << 2e-7 << 1e-7 << "2E-7";
}

void TestTrendSeries::valueLabels()
{
    QFETCH(double, value);
    QFETCH(double, step);
    QTEST(ChartAxes::valueLabel(value, step), "label");
}

void TestTrendSeries::xAxisTicks_data()
{
    QTest::addColumn<bool>("own");          // false: the axis counts points
    QTest::addColumn<double>("origin");
    QTest::addColumn<double>("step");
    QTest::addColumn<QList<double>>("steps");
    QTest::addColumn<qint64>("xMin");
    QTest::addColumn<qint64>("xMax");
    QTest::addColumn<int>("maxTicks");
    QTest::addColumn<QStringList>("ticks");
    QTest::newRow("points, steps of 50") << false << 0.0 << 0.0 << QList<double>{} << qint64(1) << qint64(250) << 6
                                         << QStringList{"50", "100", "150", "200", "250"};
    QTest::newRow("two points, no fractions") << false << 0.0 << 0.0 << QList<double>{} << qint64(1) << qint64(2) << 10
                                              << QStringList{"1", "2"};
    QTest::newRow("points after a scroll") << false << 0.0 << 0.0 << QList<double>{} << qint64(50) << qint64(250) << 4
                                           << QStringList{"50", "100", "150", "200", "250"};
    QTest::newRow("minutes from the listed steps") << true << -149 * 10 / 60.0 << 10 / 60.0
                                                   << QList<double>{1, 2, 5, 10, 15, 30, 60} << qint64(1) << qint64(150) << 6
                                                   << QStringList{"-20 min", "-15 min", "-10 min", "-5 min", "0 min"};
    QTest::newRow("a listed quarter hour") << true << -149 * 10 / 60.0 << 10 / 60.0
                                           << QList<double>{1, 2, 5, 10, 15, 30, 60} << qint64(1) << qint64(150) << 2
                                           << QStringList{"-15 min", "0 min"};
    QTest::newRow("beyond the listed steps") << true << 0.0 << 1.0 << QList<double>{1, 2} << qint64(1) << qint64(101) << 5
                                             << QStringList{"0 min", "20 min", "40 min", "60 min", "80 min", "100 min"};
    QTest::newRow("fractions of its own") << true << 0.0 << 0.1 << QList<double>{} << qint64(1) << qint64(11) << 4
                                          << QStringList{"0 min", "0,5 min", "1 min"};
}

void TestTrendSeries::xAxisTicks()
{
    QFETCH(bool, own);
    QFETCH(double, origin);
    QFETCH(double, step);
    QFETCH(QList<double>, steps);
    QFETCH(qint64, xMin);
    QFETCH(qint64, xMax);
    QFETCH(int, maxTicks);
    ChartAxes axes;
    if (own)
        axes.setX(origin, step, [](double v) { return QLocale().toString(v) + QStringLiteral(" min"); });
    axes.setXSteps(std::vector<double>(steps.begin(), steps.end()));
    const auto [first, last] = axes.xEnds(xMin, xMax);
    QStringList ticks;
    for (const double tick : axes.xTicks(first, last, maxTicks))
        ticks << axes.xLabel(tick);
    QTEST(ticks, "ticks");
}

QTEST_APPLESS_MAIN(TestTrendSeries)
#include "tst_trendseries.moc"
