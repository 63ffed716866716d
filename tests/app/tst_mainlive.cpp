// The main window's live side: the poll cycle on a fake clock, the live display with its link
// panel, the record-speed dialog and demo mode.

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

class TestMainLive : public MainLiveTest {
    Q_OBJECT
private slots:
    void initTestCase();
    void timerActsOncePerClockSecond();
    void liveValuesAreShown_data();
    void liveValuesAreShown();
    void failedReadIsSilentAndKeepsLastValues();
    void linkPanelAndStaleValues_data();
    void linkPanelAndStaleValues();
    void recordSpeedDialogSetsRatesAndPanels();
    void demoStepShowsGeneratedValues();
    void demoTakesPrecedenceAndGreysBoxes();
};

void TestMainLive::initTestCase()
{
    QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing);
    // The log's initial name is relative: keep stray writes out of the build folder.
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

void TestMainLive::timerActsOncePerClockSecond()
{
    auto rig = start();
    MainWindow& w = rig->w();
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 200);
    rig->answerReads(10);
    rig->box("check_auto")->click();

    // Five ticks 200 ms apart within one clock second: one read.
    rig->clock.time = QDateTime(QDate(2026, 12, 7), QTime(14, 3, 10));
    for (int i = 0; i < 5; ++i) {
        w.Timer1Timer();
        rig->clock.time = rig->clock.time.addMSecs(199);
    }
    QCOMPARE(rig->reads(), 1);

    // Held up for a minute: the next tick sees the same seconds value and does nothing.
    rig->clock.time = QDateTime(QDate(2026, 12, 7), QTime(14, 4, 10));
    w.Timer1Timer();
    QCOMPARE(rig->reads(), 1);
    rig->tick();
    QCOMPARE(rig->reads(), 2);

    // Unticked, a new second does nothing.
    rig->box("check_auto")->click();
    rig->tick(3);
    QCOMPARE(rig->reads(), 2);
}

void TestMainLive::liveValuesAreShown_data()
{
    QTest::addColumn<LiveTable>("live");
    QTest::addColumn<QString>("measure");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("lamps");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QColor>("faultColour");
    QTest::newRow("full output") << liveValues(123.456f, 0, 1000) << "123,46" << "100,0" << 1000 << "...." << "není porucha" << faceColour();
    QTest::newRow("no output") << liveValues(-5, 0, 0) << "-5,00" << "0,0" << 0 << "...." << "není porucha" << faceColour();
    QTest::newRow("relays 1 and 3") << liveValues(20, 0x05, 456) << "20,00" << "45,6" << 456 << "Y.Y." << "není porucha" << faceColour();
    QTest::newRow("all relays, fault") << liveValues(20, 0x0F, 1, 1) << "20,00" << "0,1" << 1 << "YYYY" << "PORUCHA" << Red;
    QTest::newRow("output over range") << liveValues(123456, 0, 1200) << "1,2346E05" << "120,0" << 1000 << "...." << "není porucha" << faceColour();
}

void TestMainLive::liveValuesAreShown()
{
    QFETCH(LiveTable, live);
    auto rig = start();
    QCOMPARE(rig->text("pa_porucha"), QString("STOP"));
    rig->transport.answers << liveAnswer(live);
    rig->find<QPushButton>("tl_precist")->click();

    QTEST(rig->text("pa_measure"), "measure");
    QCOMPARE(rig->text("pa_sp"), QString("150,00"));
    QCOMPARE(rig->text("lb_ts"), QString("21,50"));
    QTEST(rig->text("lb_yout"), "output");
    QTEST(rig->find<QProgressBar>("bar_yout")->value(), "bar");
    QString lamps;
    for (const char* name : {"pa_re1", "pa_re2", "pa_re3", "pa_re4"}) {
        const QColor colour = rig->colour(name);
        lamps += colour == Yellow ? 'Y' : colour == faceColour() ? '.' : '?';
    }
    QTEST(lamps, "lamps");
    QTEST(rig->text("pa_porucha"), "fault");
    QTEST(rig->colour("pa_porucha"), "faultColour");
    QCOMPARE(rig->w().chart().pointCount(), 1);
    QCOMPARE(rig->w().chart().pointValue(0), double(live.meas));
    QVERIFY(rig->prompts.records.isEmpty());
}

void TestMainLive::failedReadIsSilentAndKeepsLastValues()
{
    auto rig = start();
    rig->transport.answers << liveAnswer(liveValues(42.5f, 0x02, 300, 1));
    rig->box("check_auto")->click();
    rig->tick();        // answered
    rig->tick(2);       // the controller is gone
    QCOMPARE(rig->reads(), 1 + 2 * 3);
    QVERIFY(rig->prompts.records.isEmpty());
    QCOMPARE(rig->text("pa_measure"), QString("42,50"));
    QCOMPARE(rig->text("pa_porucha"), QString("PORUCHA"));
    // Lit as before, but faded: they are not current.
    QVERIFY(rig->colour("pa_re2") != Yellow && rig->colour("pa_re2") != faceColour());
    QVERIFY(rig->colour("pa_porucha") != Red && rig->colour("pa_porucha") != faceColour());

    // The chart and the log go on with the last values.
    const TrendChart& chart = rig->w().chart();
    QCOMPARE(chart.pointCount(), 3);
    QCOMPARE(chart.pointValue(2), 42.5);
    const QStringList lines = rig->w().logBuffer().lines();
    QCOMPARE(lines.size(), 3);   // no header before the first new log
    for (const QString& line : lines)
        QVERIFY2(line.startsWith("42,50; 150,00; 30,0; PORUCHA;   14:03:0"), qPrintable(line));
}

// Values that a failed read left standing are greyed, their chart point is grey, and the
// link panel says why and how old they are; no box in any case.
void TestMainLive::linkPanelAndStaleValues_data()
{
    QTest::addColumn<QString>("samples");  // one a second: A answered, - unanswered
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<int>("idleMs");       // clock time after "Automatické čtení" is unticked
    QTest::addColumn<QString>("panel");
    QTest::addColumn<bool>("current");
    QTest::addColumn<QColor>("lastPoint");
    const QColor grey(160, 160, 160);
    QTest::newRow("answered") << "A" << true << 0 << "spojeno" << true << Red;
    // The ages at their limits are the poll cycle's table; here the window shows its text.
    QTest::newRow("answered 2 s ago") << "A" << true << 2000 << "spojeno, hodnoty staré 2 s" << true << Red;
    QTest::newRow("answered 3 min ago") << "A" << true << 180000 << "spojeno, hodnoty staré 3 min" << true << Red;
    QTest::newRow("silent for 35 s") << "A" + QString(35, '-') << true << 0 << "bez odpovědi, hodnoty staré 35 s"
                                     << false << grey;
    QTest::newRow("never answered") << "-" << true << 0 << "bez odpovědi, žádné hodnoty" << false << grey;
    QTest::newRow("port unavailable") << "--" << false << 0 << "port nedostupný, žádné hodnoty" << false << grey;
    QTest::newRow("answered again") << "A-A" << true << 0 << "spojeno" << true << Red;
}

void TestMainLive::linkPanelAndStaleValues()
{
    QFETCH(QString, samples);
    QFETCH(bool, portOpen);
    QFETCH(int, idleMs);
    auto rig = start();
    MainWindow& w = rig->w();
    QCOMPARE(rig->text("pa_spojeni"), QString("nečteno"));
    rig->transport.open = portOpen;
    for (const QChar sample : samples) {
        if (sample == 'A')
            rig->answerReads(1, liveValues(42.5f));
        else
            rig->transport.answers << QByteArray() << QByteArray();   // the read and its retry
    }
    rig->box("check_auto")->click();
    rig->tick(int(samples.size()));
    rig->box("check_auto")->click();
    rig->advanceMs(idleMs);

    QTEST(rig->text("pa_spojeni"), "panel");
    // A screen reader hears the panel's name and the state it shows.
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(rig->find<QWidget>("pa_spojeni"));
    QCOMPARE(reader->text(QAccessible::Name), QString("Stav spojení"));
    QTEST(reader->text(QAccessible::Description), "panel");
    QTEST(rig->find<QWidget>("Panel1")->isEnabled(), "current");
    QTEST(w.chart().pointColour(w.chart().pointCount() - 1), "lastPoint");
    QVERIFY(rig->prompts.records.isEmpty());
}

void TestMainLive::recordSpeedDialogSetsRatesAndPanels()
{
    auto rig = start();
    MainWindow& w = rig->w();
    QString presetSample;
    onModal([&](QDialog& dialog) {
        presetSample = dialog.findChild<QLineEdit*>("ed_sample")->text();
        dialog.findChild<QLineEdit*>("ed_sample")->setText("5");
        dialog.findChild<QRadioButton*>("rb_min")->setChecked(true);
        dialog.findChild<QLineEdit*>("ed_soubor")->setText("30");
        dialog.findChild<QPushButton*>("tl_ok")->click();
    });
    rig->action("mn_rychlost_zaznamu")->trigger();
    QCOMPARE(presetSample, QString("1"));
    QCOMPARE(rig->text("pa_zaznam"), QString("5"));
    QCOMPARE(rig->text("pa_jednotky"), QString("min"));
    QCOMPARE(rig->text("pa_soubor"), QString("30"));
    QCOMPARE(w.pollCycle().rates().recordPeriod, 5);
    QCOMPARE(w.pollCycle().rates().recordUnit, 60);
    QCOMPARE(w.pollCycle().rates().filePeriod, 30);

    bool presetMinutes = false;
    onModal([&](QDialog& dialog) {
        presetMinutes = dialog.findChild<QRadioButton*>("rb_min")->isChecked();
        dialog.findChild<QLineEdit*>("ed_sample")->setText("7");
        dialog.findChild<QRadioButton*>("rb_sec")->setChecked(true);
        dialog.findChild<QPushButton*>("tl_cancel")->click();
    });
    rig->action("mn_rychlost_zaznamu")->trigger();
    QVERIFY(presetMinutes);
    QCOMPARE(rig->text("pa_zaznam"), QString("5"));
    QCOMPARE(w.pollCycle().rates().recordUnit, 60);

    // Five minutes: one sample in 300 handled seconds.
    rig->box("check_auto")->click();
    rig->answerReads(1);
    rig->tick(299);
    QCOMPARE(rig->reads(), 0);
    rig->tick();
    QCOMPARE(rig->reads(), 1);
    QCOMPARE(w.logBuffer().lineCount(), 1);
}

void TestMainLive::demoStepShowsGeneratedValues()
{
    auto rig = start();
    MainWindow& w = rig->w();
    rig->transport.answers << liveAnswer(liveValues(10, 0x0F, 0, 1));
    rig->find<QPushButton>("tl_precist")->click();
    rig->prompts.buttonAnswers << PromptButton::No;
    rig->box("check_demo")->click();

    rig->random.values = {9, 56, 7};
    rig->tick();
    QCOMPARE(rig->text("lb_ts"), QString("21,1"));
    QCOMPARE(rig->text("pa_measure"), QString("56"));
    QCOMPARE(rig->text("pa_sp"), QString("55,00"));
    QCOMPARE(rig->text("lb_yout"), QString("7"));
    QCOMPARE(rig->find<QProgressBar>("bar_yout")->value(), 70);
    QCOMPARE(rig->text("pa_porucha"), QString("DEMO"));
    QCOMPARE(rig->colour("pa_porucha"), Red);   // the colour stays
    QCOMPARE(rig->colour("pa_re1"), Yellow);
    for (const char* name : {"pa_re2", "pa_re3", "pa_re4"})
        QCOMPARE(rig->colour(name), faceColour());
    QCOMPARE(w.chart().pointCount(), 2);
    QCOMPARE(w.chart().pointValue(1), 56.0);
    QCOMPARE(w.chart().lastX(), 2);
    QVERIFY(w.logBuffer().isEmpty());
    QCOMPARE(rig->reads(), 1);
}

void TestMainLive::demoTakesPrecedenceAndGreysBoxes()
{
    auto rig = start();
    MainWindow& w = rig->w();
    QCheckBox* autoBox = rig->box("check_auto");
    QCheckBox* fileBox = rig->box("check_zapis");
    QCheckBox* demoBox = rig->box("check_demo");
    rig->answerReads(10);
    autoBox->click();
    rig->tick(2);
    QCOMPARE(rig->reads(), 2);

    rig->prompts.buttonAnswers << PromptButton::No;
    demoBox->click();
    QCOMPARE(rig->prompts.messages().size(), 1);
    QCOMPARE(rig->prompts.messages().first().caption, QString("Clear"));
    QVERIFY(!autoBox->isEnabled() && autoBox->isChecked());
    QVERIFY(!fileBox->isEnabled());
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.chart().pointCount(), 2);   // No keeps the points

    rig->tick(3);
    QCOMPARE(rig->reads(), 2);
    QCOMPARE(w.chart().pointCount(), 5);
    QCOMPARE(w.chart().lastX(), 5);
    QCOMPARE(w.logBuffer().lineCount(), 2);

    // "Přečíst" still reads the controller.
    rig->find<QPushButton>("tl_precist")->click();
    QCOMPARE(rig->reads(), 3);
    QCOMPARE(rig->text("pa_porucha"), QString("není porucha"));
    QCOMPARE(w.logBuffer().lineCount(), 2);

    demoBox->click();
    QVERIFY(autoBox->isEnabled() && fileBox->isEnabled());
    QCOMPARE(rig->prompts.messages().size(), 1);
    rig->tick();
    QCOMPARE(rig->reads(), 4);
    QCOMPARE(w.logBuffer().lineCount(), 3);

    // Yes clears the chart but not the log.
    rig->prompts.buttonAnswers << PromptButton::Yes;
    demoBox->click();
    QCOMPARE(w.chart().pointCount(), 0);
    QCOMPARE(w.PointCounter(), 0);
    QCOMPARE(w.logBuffer().lineCount(), 3);
    rig->tick();
    QCOMPARE(w.chart().firstX(), 1);
}

QTEST_MAIN(TestMainLive)
#include "tst_mainlive.moc"
