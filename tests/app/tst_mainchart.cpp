// The main window's trend chart: its length, the new log's restart, the ticking Auto and the
// chart dialog, fed by the poll cycle on a fake clock.

#include "CzechLocale.h"
#include "MainLiveRig.h"
#include "TrendChart.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using namespace kv10;
using namespace kv10::test;
using namespace kv10::test::mainlive;

class TestMainChart : public MainLiveTest {
    Q_OBJECT
private slots:
    void initTestCase();
    void chartKeepsLengthPlusOneAndNewLogRestartsX();
    void tickingAutoAsksOnlyWhenChartHasPoints();
    void chartDialogCancelRestoresOkKeepsAndIsStored();
};

void TestMainChart::initTestCase()
{
    QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing);
    // The log's initial name is relative: keep stray writes out of the build folder.
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

void TestMainChart::chartKeepsLengthPlusOneAndNewLogRestartsX()
{
    auto rig = start();
    MainWindow& w = rig->w();
    rig->box("check_auto")->click();
    rig->tick(250);
    QCOMPARE(w.chart().pointCount(), 201);
    QCOMPARE(w.chart().firstX(), 50);
    QCOMPARE(w.chart().lastX(), 250);
    QCOMPARE(w.PointCounter(), 250);

    // "Nový soubor": a new log (the save dialog is cancelled).
    rig->action("mn_novy")->trigger();
    QCOMPARE(w.chart().pointCount(), 0);
    QCOMPARE(w.PointCounter(), 0);
    QCOMPARE(w.pollCycle().sampleCounter(), 0);
    QCOMPARE(rig->prompts.records.size(), 1);
    QCOMPARE(rig->prompts.records.first().kind, PromptRecord::SaveFile);
    QCOMPARE(rig->prompts.records.first().caption, QString("Uložit jako"));
    const QStringList lines = w.logBuffer().lines();
    QCOMPARE(lines.size(), 4);   // the header and the first sample
    QCOMPARE(lines.at(0), QString("Začátek měření na regulátoru KORVIN 10   7.12.2026     14:07:10"));
    QCOMPARE(lines.at(1), QString("Naměřená hodnota; Žádaná hodnota;Akční zásah; Porucha; čas; datum"));
    QCOMPARE(lines.at(2), QString(65, '-'));

    rig->tick();
    QCOMPARE(w.chart().pointCount(), 1);
    QCOMPARE(w.chart().firstX(), 1);
}

void TestMainChart::tickingAutoAsksOnlyWhenChartHasPoints()
{
    auto rig = start();
    MainWindow& w = rig->w();
    QCheckBox* autoBox = rig->box("check_auto");
    autoBox->click();
    QVERIFY(rig->prompts.records.isEmpty());   // nothing to clear
    QVERIFY(w.Timer1->isActive());
    autoBox->click();

    rig->find<QPushButton>("tl_precist")->click();
    rig->prompts.buttonAnswers << PromptButton::No;
    autoBox->click();
    QCOMPARE(rig->prompts.records.size(), 1);
    const PromptRecord question = rig->prompts.records.first();
    QCOMPARE(question.text, QString("Chceš vymazat naměřená data?"));
    QCOMPARE(question.caption, QString("Clear"));
    QCOMPARE(question.icon, PromptIcon::Warning);
    QCOMPARE(question.buttons, PromptButtons(PromptButton::Yes | PromptButton::No));
    QCOMPARE(w.chart().pointCount(), 1);
    QVERIFY(w.logBuffer().isEmpty());
    autoBox->click();

    rig->prompts.buttonAnswers << PromptButton::Yes;
    autoBox->click();
    QCOMPARE(w.chart().pointCount(), 0);
    QCOMPARE(w.logBuffer().lineCount(), 4);
    QCOMPARE(rig->prompts.records.size(), 2);   // no file chosen: no save dialog
    autoBox->click();

    // With a chosen file, the new log asks for a new name.
    QTemporaryDir dir;
    rig->prompts.fileAnswers << QDir(dir.path()).filePath("a.txt");
    w.mn_ulozitClick();
    QVERIFY(w.logFileChosen());
    rig->find<QPushButton>("tl_precist")->click();
    rig->prompts.records.clear();
    rig->prompts.buttonAnswers << PromptButton::Yes;
    autoBox->click();
    QCOMPARE(rig->prompts.records.size(), 2);
    QCOMPARE(rig->prompts.records.at(1).kind, PromptRecord::SaveFile);
    QVERIFY(!w.logFileChosen());   // cancelled
    QVERIFY(w.Timer1->isActive());
}

void TestMainChart::chartDialogCancelRestoresOkKeepsAndIsStored()
{
    auto rig = start();
    MainWindow& w = rig->w();
    const TrendChart& chart = w.chart();
    QCOMPARE(chart.depthPercent(), 35);
    QVERIFY(chart.view3D());
    QCOMPARE(chart.panelColour(), faceColour());

    QString shown;
    int depthWhileOpen = 0;
    onModal([&](QDialog& dialog) {
        shown = dialog.objectName();
        dialog.findChild<QScrollBar*>("bar_3D")->setValue(80);
        depthWhileOpen = chart.depthPercent();
        dialog.findChild<QPushButton*>("tl_cancel")->click();
    });
    rig->action("mn_barva")->trigger();
    QCOMPARE(shown, QString("rotace3D"));
    QCOMPARE(depthWhileOpen, 80);
    QCOMPARE(chart.depthPercent(), 35);
    QCOMPARE(w.RotationPercent, 35);

    rig->prompts.colourAnswers << std::optional<quint32>(0x0000FF);
    QString presetLength;
    onModal([&](QDialog& dialog) {
        presetLength = dialog.findChild<QLineEdit*>("ed_poc_mer")->text();
        dialog.findChild<QScrollBar*>("bar_3D")->setValue(80);
        dialog.findChild<QCheckBox*>("check_3D")->click();
        dialog.findChild<QPushButton*>("tl_barva_okraj")->click();
        dialog.findChild<QLineEdit*>("ed_poc_mer")->setText("500");
        dialog.findChild<QPushButton*>("tl_ok")->click();
    });
    rig->action("mn_barva")->trigger();
    QCOMPARE(presetLength, QString("200"));
    QCOMPARE(w.RotationPercent, 80);
    QVERIFY(!w.Chart3D);
    QCOMPARE(w.ChartLength, 500);
    QCOMPARE(chart.chartLength(), 500);
    QCOMPARE(chart.depthPercent(), 80);
    QVERIFY(!chart.view3D());
    QCOMPARE(chart.panelColour(), QColor(Qt::blue));

    rig->settings.writes.clear();
    w.close();
    const QStringList& writes = rig->settings.writes;
    QVERIFY2(writes.contains("GRAF/R3D=80"), qPrintable(writes.join(' ')));
    QVERIFY(writes.contains("GRAF/G3D=0"));
    QVERIFY(writes.contains("GRAF/POCET=500"));
    QVERIFY(writes.contains("GRAF/POZADI=16711680"));   // blue, red in the low byte
    QVERIFY(writes.contains("GRAF/MRIZ=-2147483633"));  // still the button face
}

QTEST_MAIN(TestMainChart)
#include "tst_mainchart.moc"
