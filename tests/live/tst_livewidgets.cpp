// The trend chart's series model and drawing, and the two settings dialogs of the chart and
// the record speed, driven offscreen with scripted prompts.
#include "CzechLocale.h"
#include "ChartSettingsDialog.h"
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

namespace {

const QColor Red(255, 0, 0);
const QColor Blue(0, 0, 255);
const QColor Face(212, 208, 200);

// Pixels of `colour`, give or take `tolerance` in the sum of the channel differences
// (smoothed lines blend into their background).
int countPixels(const QImage& image, const QColor& colour, int tolerance = 0)
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

void fillSine(TrendChart& chart, int points)
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

void showActive(QWidget& widget)
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

QStringList boxSummaries(const ScriptedPrompts& prompts)
{
    QStringList list;
    for (const PromptRecord& box : prompts.messages())
        list << box.caption + QLatin1Char('|') + box.text;
    return list;
}

} // namespace

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

    void chartDialogStornoPutsChartBack();
    void chartDialogOkKeepsChanges();
    void chartDialogChecks_data();
    void chartDialogChecks();
    void chartDialogEnterKey();
    void chartDialogEscapeCancels();

    void recordSpeedPresetAndReadBack();
    void recordSpeedChecks_data();
    void recordSpeedChecks();
    void recordSpeedEnterKey();
    void recordSpeedStornoRejects();

    void screenshots();
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

void TestLiveWidgets::chartDialogStornoPutsChartBack()
{
    ChartSettings fields{true, 35, Face, Face, 200};
    ChartDialogRig rig(fields);
    auto& [chart, prompts, dialog] = rig;
    chart.setBackWallColour(Face);
    chart.setPanelColour(Face);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("GRAF 3D"));
    QCOMPARE(child<QLineEdit>(dialog, "ed_poc_mer")->text(), QStringLiteral("200"));
    QCOMPARE(child<QScrollBar>(dialog, "bar_3D")->value(), 35);
    showActive(dialog);

    child<QScrollBar>(dialog, "bar_3D")->setValue(80);
    QCOMPARE(chart.depthPercent(), 80);
    child<QCheckBox>(dialog, "check_3D")->click();
    QCOMPARE(chart.view3D(), false);
    prompts.colourAnswers.append(0x00FF00);
    child<QPushButton>(dialog, "tl_barva_mriz")->click();
    QCOMPARE(chart.backWallColour(), QColor(0, 255, 0));
    QCOMPARE(child<QWidget>(dialog, "pa_barva_mriz")->palette().color(QPalette::Window), QColor(0, 255, 0));
    prompts.colourAnswers.append(0x0000FF);
    child<QPushButton>(dialog, "tl_barva_okraj")->click();
    QCOMPARE(chart.panelColour(), Blue);
    child<QLineEdit>(dialog, "ed_poc_mer")->setText(QStringLiteral("500"));

    child<QPushButton>(dialog, "tl_cancel")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.finish(dialog.result(), fields));
    QCOMPARE(chart.depthPercent(), 35);
    QCOMPARE(chart.view3D(), true);
    QCOMPARE(chart.backWallColour(), Face);
    QCOMPARE(chart.panelColour(), Face);
    QCOMPARE(fields.chartLength, 200);
    QVERIFY(prompts.messages().isEmpty());
}

void TestLiveWidgets::chartDialogOkKeepsChanges()
{
    ChartSettings fields{true, 35, Face, Face, 200};
    ChartDialogRig rig(fields);
    auto& [chart, prompts, dialog] = rig;
    showActive(dialog);

    child<QScrollBar>(dialog, "bar_3D")->setValue(80);
    child<QCheckBox>(dialog, "check_3D")->click();
    prompts.colourAnswers.append(0x00FF00);
    child<QPushButton>(dialog, "tl_barva_mriz")->click();
    prompts.colourAnswers.append(std::nullopt); // cancelled: the panel colour stays
    child<QPushButton>(dialog, "tl_barva_okraj")->click();
    child<QLineEdit>(dialog, "ed_poc_mer")->setText(QStringLiteral("500"));
    child<QPushButton>(dialog, "tl_ok")->click();

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(dialog.finish(dialog.result(), fields));
    QCOMPARE(fields.depthPercent, 80);
    QCOMPARE(fields.view3D, false);
    QCOMPARE(fields.backWallColour, QColor(0, 255, 0));
    QCOMPARE(fields.panelColour, chart.panelColour());
    QCOMPARE(fields.chartLength, 500);
    QCOMPARE(chart.depthPercent(), 80);
    QCOMPARE(prompts.recordsOf(PromptRecord::Colour).size(), 2);
}

void TestLiveWidgets::chartDialogChecks_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("fieldAfter");
    QTest::addColumn<bool>("accepted");
    const QString range = QStringLiteral("EDIT|Je nutné zadávat pouze čísla v rozsahu 10 až 100000");
    const QString notNumber = QStringLiteral("CHYBA|Chyba při zadání číselného textu");
    QTest::newRow("9") << "9" << QStringList{range} << "9" << false;
    QTest::newRow("100001") << "100001" << QStringList{range} << "100001" << false;
    QTest::newRow("letters") << "abc" << QStringList{notNumber} << "0" << false;
    QTest::newRow("empty") << "" << QStringList{notNumber} << "0" << false;
    QTest::newRow("10") << "10" << QStringList{} << "10" << true;
    QTest::newRow("100000") << "100000" << QStringList{} << "100000" << true;
}

void TestLiveWidgets::chartDialogChecks()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, boxes);
    QFETCH(QString, fieldAfter);
    QFETCH(bool, accepted);
    ChartDialogRig rig;
    auto& [chart, prompts, dialog] = rig;
    showActive(dialog);
    auto* edit = child<QLineEdit>(dialog, "ed_poc_mer");
    edit->setText(typed);
    child<QPushButton>(dialog, "tl_ok")->click();

    QCOMPARE(boxSummaries(prompts), boxes);
    QCOMPARE(edit->text(), fieldAfter);
    QCOMPARE(dialog.isVisible(), !accepted);
    if (!accepted) {
        QCOMPARE(dialog.focusWidget(), edit);
        const PromptRecord box = prompts.messages().first();
        QCOMPARE(box.icon, box.caption == QStringLiteral("CHYBA") ? PromptIcon::Warning : PromptIcon::Error);
        if (box.caption == QStringLiteral("CHYBA"))
            QCOMPARE(box.owner, nullptr);
    }
}

void TestLiveWidgets::chartDialogEnterKey()
{
    ChartDialogRig rig;
    auto& [chart, prompts, dialog] = rig;
    showActive(dialog);
    auto* edit = child<QLineEdit>(dialog, "ed_poc_mer");

    edit->setFocus();
    edit->setText(QStringLiteral("5"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(boxSummaries(prompts).size(), 1);
    QCOMPARE(dialog.focusWidget(), edit);

    edit->setText(QStringLiteral("50"));
    QTest::keyClick(edit, Qt::Key_Enter);
    QCOMPARE(prompts.messages().size(), 1);
    QCOMPARE(dialog.focusWidget(), child<QPushButton>(dialog, "tl_ok"));
    QVERIFY(dialog.isVisible()); // Enter moves on, it does not close

    edit->setFocus();
    edit->setText(QStringLiteral("x"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(prompts.messages().size(), 2);
    QCOMPARE(prompts.messages().last().caption, QStringLiteral("CHYBA"));
    QCOMPARE(edit->text(), QStringLiteral("0"));
    QCOMPARE(dialog.focusWidget(), edit);

    // Enter on a check box does nothing (no default button); on the focused "OK" it presses it.
    edit->setText(QStringLiteral("50"));
    child<QCheckBox>(dialog, "check_3D")->setFocus();
    QTest::keyClick(child<QCheckBox>(dialog, "check_3D"), Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(dialog.focusWidget(), child<QPushButton>(dialog, "tl_ok"));
    QTest::keyClick(child<QPushButton>(dialog, "tl_ok"), Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.chartLength(), 50);
}

void TestLiveWidgets::chartDialogEscapeCancels()
{
    TrendChart chart;
    ChartSettings fields{false, 20, Red, Blue, 300};
    chart.setView3D(false);
    chart.setDepthPercent(20);
    ChartSettingsDialog dialog;
    dialog.setChart(&chart);
    dialog.preset(fields);
    QVERIFY(!child<QCheckBox>(dialog, "check_3D")->isChecked());
    QCOMPARE(child<QWidget>(dialog, "pa_barva_okraj")->palette().color(QPalette::Window), Blue);
    showActive(dialog);
    child<QScrollBar>(dialog, "bar_3D")->setValue(100);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    dialog.finish(dialog.result(), fields);
    QCOMPARE(chart.depthPercent(), 20);
    QCOMPARE(chart.backWallColour(), Red);
}

void TestLiveWidgets::recordSpeedPresetAndReadBack()
{
    ScriptedPrompts prompts;
    RecordSpeedDialog dialog;
    dialog.setPrompts(&prompts);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Rychlost záznamu"));
    dialog.preset(QStringLiteral("5"), QStringLiteral("15"), 60);
    QVERIFY(child<QRadioButton>(dialog, "rb_min")->isChecked());
    QCOMPARE(child<QLineEdit>(dialog, "ed_sample")->text(), QStringLiteral("5"));
    QCOMPARE(child<QLineEdit>(dialog, "ed_soubor")->text(), QStringLiteral("15"));
    showActive(dialog);
    child<QPushButton>(dialog, "tl_ok")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.recordPeriod(), 5);
    QCOMPARE(dialog.recordPeriodText(), QStringLiteral("5"));
    QCOMPARE(dialog.recordUnit(), 60);
    QCOMPARE(dialog.filePeriod(), 15);
    QCOMPARE(dialog.filePeriodText(), QStringLiteral("15"));

    dialog.preset(QStringLiteral("1"), QStringLiteral("60"), 1);
    QVERIFY(child<QRadioButton>(dialog, "rb_sec")->isChecked());
    showActive(dialog);
    child<QLineEdit>(dialog, "ed_sample")->setText(QStringLiteral("1000"));
    child<QPushButton>(dialog, "tl_ok")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.recordPeriod(), 1000);
    QCOMPARE(dialog.recordUnit(), 1);
    QCOMPARE(dialog.filePeriod(), 60);
    QVERIFY(prompts.messages().isEmpty());
}

void TestLiveWidgets::recordSpeedChecks_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("sampleAfter");
    QTest::addColumn<QString>("fileAfter");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("focus");
    const QString sampleRange = QStringLiteral("EDIT|Je nutné zadávat pouze čísla v rozsahu 1 až 1000\n");
    const QString fileRange = QStringLiteral("EDIT|Je nutné zadávat pouze čísla v rozsahu 1 až 60\n");
    const QString digits = QStringLiteral("CHYBA|Je nutné zadávat pouze číslice");
    QTest::newRow("sample 0") << "0" << "15" << QStringList{sampleRange} << "0" << "15" << 0 << "ed_sample";
    QTest::newRow("sample 1001") << "1001" << "15" << QStringList{sampleRange} << "1001" << "15" << 0 << "ed_sample";
    QTest::newRow("sample letters") << "abc" << "15" << QStringList{digits} << "1" << "15" << 0 << "ed_sample";
    QTest::newRow("file 61") << "5" << "61" << QStringList{fileRange} << "5" << "61" << 1 << "ed_soubor";
    QTest::newRow("file letters") << "5" << "x" << QStringList{digits} << "5" << "1" << 1 << "ed_soubor";
    QTest::newRow("both out of range") << "0" << "0" << QStringList{sampleRange, fileRange} << "0" << "0" << 1 << "ed_soubor";
    QTest::newRow("both letters") << "a" << "b" << QStringList{digits, digits} << "1" << "1" << 1 << "ed_soubor";
}

void TestLiveWidgets::recordSpeedChecks()
{
    QFETCH(QString, sample);
    QFETCH(QString, file);
    QFETCH(QStringList, boxes);
    QFETCH(QString, sampleAfter);
    QFETCH(QString, fileAfter);
    QFETCH(int, page);
    QFETCH(QString, focus);
    ScriptedPrompts prompts;
    RecordSpeedDialog dialog;
    dialog.setPrompts(&prompts);
    dialog.preset(sample, file, 1);
    auto* pages = child<QTabWidget>(dialog, "PageControl1");
    pages->setCurrentIndex(1 - page); // start on the other page
    showActive(dialog);
    child<QPushButton>(dialog, "tl_ok")->click();

    QCOMPARE(boxSummaries(prompts), boxes);
    QVERIFY(dialog.isVisible());
    QCOMPARE(child<QLineEdit>(dialog, "ed_sample")->text(), sampleAfter);
    QCOMPARE(child<QLineEdit>(dialog, "ed_soubor")->text(), fileAfter);
    QCOMPARE(pages->currentIndex(), page);
    QCOMPARE(dialog.focusWidget()->objectName(), focus);
}

void TestLiveWidgets::recordSpeedEnterKey()
{
    ScriptedPrompts prompts;
    RecordSpeedDialog dialog;
    dialog.setPrompts(&prompts);
    dialog.preset(QStringLiteral("1"), QStringLiteral("15"), 1);
    dialog.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(0);
    showActive(dialog);
    auto* sample = child<QLineEdit>(dialog, "ed_sample");
    sample->setFocus();
    sample->setText(QStringLiteral("2000"));
    QTest::keyClick(sample, Qt::Key_Return);
    QCOMPARE(boxSummaries(prompts), QStringList{QStringLiteral("EDIT|Je nutné zadávat pouze čísla v rozsahu 1 až 1000\n")});
    QCOMPARE(dialog.focusWidget(), sample);

    sample->setText(QStringLiteral("20"));
    QTest::keyClick(sample, Qt::Key_Return);
    QCOMPARE(prompts.messages().size(), 1);
    QCOMPARE(dialog.focusWidget(), child<QPushButton>(dialog, "tl_ok"));
    QVERIFY(dialog.isVisible());

    dialog.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    auto* file = child<QLineEdit>(dialog, "ed_soubor");
    file->setFocus();
    file->setText(QStringLiteral("x"));
    QTest::keyClick(file, Qt::Key_Return);
    QCOMPARE(prompts.messages().last().text, QStringLiteral("Je nutné zadávat pouze číslice"));
    QCOMPARE(file->text(), QStringLiteral("1"));
    QCOMPARE(dialog.focusWidget(), file);

    // Enter on the focused "Storno" presses "Storno", not "OK".
    auto* cancel = child<QPushButton>(dialog, "tl_cancel");
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Enter);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestLiveWidgets::recordSpeedStornoRejects()
{
    RecordSpeedDialog dialog;
    dialog.preset(QStringLiteral("1"), QStringLiteral("15"), 1);
    showActive(dialog);
    child<QLineEdit>(dialog, "ed_sample")->setText(QStringLiteral("abc"));
    child<QPushButton>(dialog, "tl_cancel")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.recordUnit(), 1);
}

void TestLiveWidgets::screenshots()
{
    const QString folder = qEnvironmentVariable("KV10_LIVE_SHOTS");
    if (folder.isEmpty())
        QSKIP("set KV10_LIVE_SHOTS to a folder to save pictures of the chart and the dialogs");
    QDir().mkpath(folder);
    TrendChart chart;
    chart.resize(700, 300);
    chart.setPenColour(Red);
    fillSine(chart, 120);
    chart.setPenColour(Blue);
    fillSine(chart, 81);
    QVERIFY(chart.grab().save(folder + QStringLiteral("/chart-3d.png")));
    chart.setDepthPercent(100);
    chart.setBackWallColour(QColor(255, 255, 224));
    QVERIFY(chart.grab().save(folder + QStringLiteral("/chart-3d-deep.png")));
    chart.setView3D(false);
    QVERIFY(chart.grab().save(folder + QStringLiteral("/chart-2d.png")));
    chart.setView3D(true);
    chart.setDepthPercent(35);
    chart.setChartLength(100000);
    chart.setPenColour(Red);
    for (int i = 0; i < 100000; ++i)
        chart.addPoint(50 + 30 * std::sin(i / 3000.0) + (i % 97) * 0.2);
    QVERIFY(chart.grab().save(folder + QStringLiteral("/chart-100000.png")));

    ChartSettingsDialog chartDialog;
    chartDialog.preset({true, 35, Face, QColor(255, 255, 224), 200});
    chartDialog.show();
    QVERIFY(chartDialog.grab().save(folder + QStringLiteral("/dialog-graf3d.png")));
    RecordSpeedDialog speedDialog;
    speedDialog.preset(QStringLiteral("1"), QStringLiteral("15"), 1);
    speedDialog.show();
    QVERIFY(speedDialog.grab().save(folder + QStringLiteral("/dialog-rychlost.png")));
    speedDialog.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    QVERIFY(speedDialog.grab().save(folder + QStringLiteral("/dialog-rychlost-soubor.png")));
}

QTEST_MAIN(TestLiveWidgets)
#include "tst_livewidgets.moc"
