// The two settings dialogs of the chart and the record speed, driven offscreen with scripted
// prompts, and pictures of the chart and the dialogs on request.

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

class TestLiveDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
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

void TestLiveDialogs::chartDialogStornoPutsChartBack()
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

void TestLiveDialogs::chartDialogOkKeepsChanges()
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

void TestLiveDialogs::chartDialogChecks_data()
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

void TestLiveDialogs::chartDialogChecks()
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

void TestLiveDialogs::chartDialogEnterKey()
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

void TestLiveDialogs::chartDialogEscapeCancels()
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

void TestLiveDialogs::recordSpeedPresetAndReadBack()
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

void TestLiveDialogs::recordSpeedChecks_data()
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

void TestLiveDialogs::recordSpeedChecks()
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

void TestLiveDialogs::recordSpeedEnterKey()
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

void TestLiveDialogs::recordSpeedStornoRejects()
{
    RecordSpeedDialog dialog;
    dialog.preset(QStringLiteral("1"), QStringLiteral("15"), 1);
    showActive(dialog);
    child<QLineEdit>(dialog, "ed_sample")->setText(QStringLiteral("abc"));
    child<QPushButton>(dialog, "tl_cancel")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.recordUnit(), 1);
}

void TestLiveDialogs::screenshots()
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

QTEST_MAIN(TestLiveDialogs)
#include "tst_livedialogs.moc"
