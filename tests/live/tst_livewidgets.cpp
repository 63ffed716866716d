// The trend chart's series model and drawing, driven offscreen.

#include "CzechLocale.h"
#include "ChartSettingsDialog.h"
#include "LiveWidgetProbes.h"
#include "RecordSpeedDialog.h"
#include "ScriptedPrompts.h"
#include "TrendChart.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QtTest>
#include <cmath>
#include <limits>

using namespace kv10;
using namespace kv10::test;
using namespace kv10::test::livewidgets;

class TestLiveWidgets : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void defaultLengthKeepsOneMorePoint();
    void lengthChangesTakeEffectOnePointAtATime();
    void penColourAppliesToLaterPoints();
    void clearRestartsPointCounter();
    void memoryIsBoundedByLength();
    void drawingShowsSettingsAndColours();
    void drawsLargeSeries();
    void drawsUnusualValues_data();
    void drawsUnusualValues();
    void legendListsTheNewestValuesFirst_data();
    void legendListsTheNewestValuesFirst();
    void yAxisHoldsEveryReading_data();
    void yAxisHoldsEveryReading();
};

void TestLiveWidgets::defaultLengthKeepsOneMorePoint()
{
    TrendChart chart;
    for (int i = 1; i <= 250; ++i)
        chart.addPoint(i * 0.5);
    QCOMPARE(chart.pointCount(), 201);
    QCOMPARE(chart.firstX(), 50);
    QCOMPARE(chart.lastX(), 250);
    QCOMPARE(chart.pointValue(0), 25.0);
    QCOMPARE(chart.pointValue(200), 125.0);
    QCOMPARE(chart.pointCounter(), 250);
}

void TestLiveWidgets::lengthChangesTakeEffectOnePointAtATime()
{
    TrendChart chart;
    fillSine(chart, 250);
    chart.setChartLength(50);
    fillSine(chart, 30);
    QCOMPARE(chart.pointCount(), 201);
    QCOMPARE(chart.lastX(), 280);

    chart.setChartLength(300);
    fillSine(chart, 99);
    QCOMPARE(chart.pointCount(), 300);
    fillSine(chart, 50);
    QCOMPARE(chart.pointCount(), 301);
    QCOMPARE(chart.firstX(), 429 - 300);
}

void TestLiveWidgets::penColourAppliesToLaterPoints()
{
    TrendChart chart;
    chart.setChartLength(10);
    chart.setPenColour(Red);
    for (int i = 0; i < 11; ++i)
        chart.addPoint(i);
    chart.setPenColour(Blue);
    for (int i = 11; i < 16; ++i)
        chart.addPoint(i);
    QCOMPARE(chart.pointCount(), 11);
    for (int i = 0; i < 11; ++i) {
        QCOMPARE(chart.pointValue(i), double(i + 5));
        QCOMPARE(chart.pointColour(i), i < 6 ? Red : Blue);
    }
    chart.setPenColour(Red);
    chart.addPoint(99);
    QCOMPARE(chart.pointColour(9), Blue);
    QCOMPARE(chart.pointColour(10), Red);
}

void TestLiveWidgets::clearRestartsPointCounter()
{
    TrendChart chart;
    fillSine(chart, 5);
    chart.clear();
    QCOMPARE(chart.pointCount(), 0);
    QCOMPARE(chart.pointCounter(), 0);
    chart.addPoint(7);
    QCOMPARE(chart.firstX(), 1);
    QCOMPARE(chart.lastX(), 1);
    QCOMPARE(chart.pointValue(0), 7.0);
}

void TestLiveWidgets::memoryIsBoundedByLength()
{
    TrendChart chart;
    chart.setChartLength(1000);
    for (int i = 0; i < 5000; ++i) {
        chart.setPenColour(i % 2 ? Red : Blue); // a colour run per point, the worst case
        chart.addPoint(i);
    }
    QCOMPARE(chart.pointCount(), 1001);
    QVERIFY2(chart.memoryBytes() <= 1001 * 24, qPrintable(QString::number(chart.memoryBytes())));
    QCOMPARE(chart.pointColour(1000), Red);
}

void TestLiveWidgets::drawingShowsSettingsAndColours()
{
    TrendChart chart;
    chart.resize(700, 300);
    const QColor wall(12, 200, 190);
    const QColor panel(200, 10, 150);
    chart.setBackWallColour(wall);
    chart.setPanelColour(panel);
    chart.setPenColour(Red);
    fillSine(chart, 100);
    chart.setPenColour(Blue);
    fillSine(chart, 100);
    QVERIFY(!chart.accessibleName().isEmpty());
    QVERIFY(chart.accessibleDescription().contains(QStringLiteral("200")));

    const QImage deep = [&] { chart.setDepthPercent(90); return chart.grab().toImage(); }();
    const QImage shallow = [&] { chart.setDepthPercent(10); return chart.grab().toImage(); }();
    const QImage flat = [&] { chart.setView3D(false); return chart.grab().toImage(); }();
    QVERIFY(deep != shallow);
    QVERIFY(shallow != flat);
    for (const QImage& image : {deep, shallow, flat}) {
        QCOMPARE(image.pixelColor(1, 1), panel);
        QVERIFY(countPixels(image, wall) > 20000);
        QVERIFY(countPixels(image, Red, 90) > 100);
        QVERIFY(countPixels(image, Blue, 90) > 100);
    }
    // A deeper view leaves less of the back wall in sight.
    QVERIFY(countPixels(deep, wall) < countPixels(shallow, wall));

    chart.clear();
    QCOMPARE(countPixels(chart.grab().toImage(), Red, 90), 0);
}

void TestLiveWidgets::drawsLargeSeries()
{
    TrendChart chart;
    chart.resize(700, 300);
    chart.setChartLength(100000);
    fillSine(chart, 100001);
    chart.addPoint(1e6); // one outlier stretches the axis and stays visible
    QCOMPARE(chart.pointCount(), 100001);
    const QImage image = chart.grab().toImage();
    QVERIFY(countPixels(image, Red) > 100);
}

void TestLiveWidgets::drawsUnusualValues_data()
{
    QTest::addColumn<QList<double>>("values");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("flat and huge") << QList<double>{1e17, 1e17, 1e17};
    QTest::newRow("one point") << QList<double>{42};
    QTest::newRow("no number") << QList<double>{1, std::nan(""), 3};
    QTest::newRow("infinities") << QList<double>{inf, -inf, 5};
    QTest::newRow("tiny range") << QList<double>{1e-30, 2e-30};
}

void TestLiveWidgets::drawsUnusualValues()
{
    QFETCH(QList<double>, values);
    TrendChart chart;
    chart.resize(400, 200);
    for (double v : values)
        chart.addPoint(v);
    QCOMPARE(chart.pointCount(), values.size());
    for (int i = 0; i < chart.pointCount(); ++i)
        QVERIFY(std::isfinite(chart.pointValue(i)));
    QVERIFY(!chart.grab().toImage().isNull()); // finishes, with sensible axes
}

void TestLiveWidgets::legendListsTheNewestValuesFirst_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("top");    // the first rows
    QTest::addColumn<bool>("all");           // and no more
    QList<double> hundred;
    for (int i = 1; i <= 100; ++i)
        hundred << i;
    QTest::newRow("three points") << QList<double>{1, 2.5, -3} << 700 << QStringList{"-3,00", "2,50", "1,00"} << true;
    QTest::newRow("more than fit") << hundred << 700 << QStringList{"100,00", "99,00", "98,00"} << false;
    QTest::newRow("too narrow for it") << QList<double>{1, 2} << 300 << QStringList{} << true;
}

void TestLiveWidgets::legendListsTheNewestValuesFirst()
{
    QFETCH(QList<double>, values);
    QFETCH(int, width);
    QFETCH(QStringList, top);
    QFETCH(bool, all);
    TrendChart chart;
    chart.resize(width, 300);
    for (double v : values)
        chart.addPoint(v);
    const QStringList texts = chart.legendTexts();
    if (all) {
        QCOMPARE(texts, top);
    } else {
        QCOMPARE(texts.mid(0, top.size()), top);
        QVERIFY2(texts.size() > top.size() && texts.size() < values.size(), qPrintable(texts.join(' ')));
    }
}

void TestLiveWidgets::yAxisHoldsEveryReading_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::newRow("rising") << QList<double>{12, 50, 87} << 12.0 << 87.0;
    QTest::newRow("negative") << QList<double>{-12, -87} << -87.0 << -12.0;
    QTest::newRow("spike at the end") << QList<double>{1, 1, 1, 1000} << 1.0 << 1000.0;
    QTest::newRow("flat") << QList<double>{20, 20, 20} << 20.0 << 20.0;
}

void TestLiveWidgets::yAxisHoldsEveryReading()
{
    QFETCH(QList<double>, values);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    TrendChart chart;
    chart.resize(700, 300);
    for (double v : values)
        chart.addPoint(v);
    const auto [bottom, top] = chart.yAxisRange();
    // All readings in sight, and the axis not much wider than they need.
    const double margin = std::max(highest - lowest, 2.0);
    QVERIFY2(bottom <= lowest && bottom > lowest - margin, qPrintable(QString::number(bottom)));
    QVERIFY2(top >= highest && top < highest + margin, qPrintable(QString::number(top)));
}

QTEST_MAIN(TestLiveWidgets)
#include "tst_livewidgets.moc"
