// The main window's live side: the poll cycle on a fake clock, the live display, the trend
// chart and its dialog, the text log with its file, the record-speed dialog and demo mode.
// The controller is a scripted transport that answers LIVE reads from a queue.
#include "CzechLocale.h"
#include "SetClock.h"
#include "AppContext.h"
#include "DemoData.h"
#include "FakeTransport.h"
#include "MemorySettings.h"
#include "Protocol.h"
#include "ScriptedPrompts.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "TrendChart.h"
#include "MainWindow.h"

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

Q_DECLARE_METATYPE(kv10::LiveTable)

namespace {

class ScriptedRandom : public RandomSource {
public:
    QList<std::uint32_t> values;
    std::uint32_t next() override { return values.isEmpty() ? 0 : values.takeFirst(); }
};

const QColor Yellow(255, 255, 0);
const QColor Red(255, 0, 0);

QColor faceColour()
{
    return QApplication::palette().color(QPalette::Button);
}

// The answer of station 0 to a LIVE read: 68 L L 68 DA SA 08, the table's 17 bytes, FCS, 16.
QByteArray liveAnswer(const LiveTable& live)
{
    ControllerImage image;
    image.live = live;
    uint8_t data[64];
    const int n = encodeFields(tableInfo(TableLive), image, data);
    return dataFrame(0, 0, FcAnswerData, QByteArray(reinterpret_cast<const char*>(data), n));
}

LiveTable liveValues(float meas, uint8_t outs = 0, int32_t yout = 0, uint8_t fault = 0, float sp = 150, float ts = 21.5f)
{
    LiveTable live;
    live.meas = meas;
    live.outs = outs;
    live.sp = sp;
    live.yout = yout;
    live.ts = ts;
    live.fault = fault;
    return live;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestMainLive : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void timerActsOncePerClockSecond();
    void liveValuesAreShown_data();
    void liveValuesAreShown();
    void failedReadIsSilentAndKeepsLastValues();
    void linkPanelAndStaleValues_data();
    void linkPanelAndStaleValues();
    void chartKeepsLengthPlusOneAndNewLogRestartsX();
    void tickingAutoAsksOnlyWhenChartHasPoints();
    void chartDialogCancelRestoresOkKeepsAndIsStored();
    void sampleAppendsLogLineButReadButtonDoesNot();
    void fileIsWrittenAtFilePeriodInWindows1250();
    void failedWritesShowErrorAndLoseNothing();
    void newLogLeavesThePreviousFileAlone_data();
    void newLogLeavesThePreviousFileAlone();
    void recordSpeedDialogSetsRatesAndPanels();
    void demoStepShowsGeneratedValues();
    void demoTakesPrecedenceAndGreysBoxes();

private:
    struct Rig {
        MemorySettings settings;
        ScriptedPrompts prompts;
        FakeTransport transport;
        CountingWaiter waiter;
        test::SetClock clock{QDateTime(QDate(2026, 12, 7), QTime(14, 3, 0))};
        ScriptedRandom random;
        std::unique_ptr<AppContext> context;

        MainWindow& w() { return context->mainWindow(); }
        template <typename T> T* find(const char* name)
        {
            T* widget = w().findChild<T*>(QString::fromLatin1(name));
            if (!widget)
                qFatal("no control %s", name);
            return widget;
        }
        QString text(const char* name) { return find<QLabel>(name)->text(); }
        QColor colour(const char* name) { return find<QLabel>(name)->palette().color(QPalette::Window); }
        QAction* action(const char* name) { return find<QAction>(name); }
        QCheckBox* box(const char* name) { return find<QCheckBox>(name); }
        // One handled tick a clock second later.
        void tick(int times = 1)
        {
            for (int i = 0; i < times; ++i) {
                clock.time = clock.time.addSecs(1);
                w().Timer1Timer();
            }
        }
        // `ms` later on the clock, handled once a clock second as the timer would: the part of
        // a second first, so that the last tick falls on the full time.
        void advanceMs(qint64 ms)
        {
            for (qint64 step = ms % 1000; ms > 0; ms -= step, step = 1000) {
                clock.time = clock.time.addMSecs(step);
                w().Timer1Timer();
            }
        }
        // Requests sent: one per answered read, three per unanswered one.
        int reads() const { return int(transport.writes.size()); }
        void answerReads(int count, const LiveTable& live = liveValues(20))
        {
            for (int i = 0; i < count; ++i)
                transport.answers << liveAnswer(live);
        }
    };
    std::unique_ptr<Rig> start(const QMap<QString, QString>& stored = {});
    // Runs `act` on the next modal dialog.
    void onModal(std::function<void(QDialog&)> act);

    QTemporaryDir m_workDir;
    QTimer m_modalWatch;
};

void TestMainLive::initTestCase()
{
    QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing);
    // The log's initial name is relative: keep stray writes out of the build folder.
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

std::unique_ptr<TestMainLive::Rig> TestMainLive::start(const QMap<QString, QString>& stored)
{
    auto rig = std::make_unique<Rig>();
    rig->settings.values = stored;
    rig->settings.values["PORT/COM"] = "0";
    AppOptions options;
    options.settings = &rig->settings;
    options.prompts = &rig->prompts;
    options.waiter = &rig->waiter;
    options.clock = &rig->clock;
    options.random = &rig->random;
    rig->context = std::make_unique<AppContext>(options);
    rig->context->createWindows();
    rig->context->link().setTransport(&rig->transport);
    rig->prompts.records.clear();
    return rig;
}

void TestMainLive::onModal(std::function<void(QDialog&)> act)
{
    m_modalWatch.disconnect();
    m_modalWatch.setInterval(5);
    connect(&m_modalWatch, &QTimer::timeout, this, [this, act] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            m_modalWatch.stop();
            act(*modal);
        }
    });
    m_modalWatch.start();
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

void TestMainLive::chartKeepsLengthPlusOneAndNewLogRestartsX()
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

void TestMainLive::tickingAutoAsksOnlyWhenChartHasPoints()
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

void TestMainLive::chartDialogCancelRestoresOkKeepsAndIsStored()
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

void TestMainLive::sampleAppendsLogLineButReadButtonDoesNot()
{
    auto rig = start();
    MainWindow& w = rig->w();
    rig->clock.time = QDateTime(QDate(2026, 12, 7), QTime(14, 3, 20));
    rig->transport.answers << liveAnswer(liveValues(123.45f, 0, 456, 0, 150));
    rig->box("check_auto")->click();
    rig->tick();
    QCOMPARE(w.logBuffer().lines(), QStringList{"123,45; 150,00; 45,6; není porucha;   14:03:21;   7.12.2026"});

    // Later points take a new pen colour; earlier ones keep theirs.
    rig->prompts.colourAnswers << std::optional<quint32>(0x0000FF);
    w.findChild<QPushButton*>("tl_barva_pera")->click();
    rig->answerReads(1);
    rig->find<QPushButton>("tl_precist")->click();
    QCOMPARE(w.logBuffer().lineCount(), 1);
    QCOMPARE(w.chart().pointCount(), 2);
    QCOMPARE(w.chart().pointColour(0), Red);
    QCOMPARE(w.chart().pointColour(1), QColor(Qt::blue));
}

void TestMainLive::fileIsWrittenAtFilePeriodInWindows1250()
{
    auto rig = start({{"ZAZNAM/SOUBOR", "1"}});
    MainWindow& w = rig->w();
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("log.txt");
    rig->prompts.buttonAnswers << PromptButton::Yes;
    rig->prompts.fileAnswers << path;
    rig->box("check_zapis")->click();

    // Yes starts a new log, and the chosen file gets it at once.
    QCOMPARE(rig->prompts.records.size(), 2);
    QCOMPARE(rig->prompts.records.at(0).text, QString("Chceš vymazat naměřená data?"));
    QVERIFY(rig->prompts.records.at(1).request.confirmOverwrite);
    QVERIFY(w.logFileChosen());
    QCOMPARE(rig->text("pa_path"), QDir::toNativeSeparators(path));
    QCOMPARE(readFile(path), w.logBuffer().fileBytes());
    QVERIFY(w.Timer1->isActive());

    rig->box("check_auto")->click();
    const QByteArray first = readFile(path);
    rig->tick(59);
    QCOMPARE(readFile(path), first);
    rig->tick();
    const QByteArray written = readFile(path);
    QCOMPARE(written, w.logBuffer().fileBytes());
    QCOMPARE(w.logBuffer().lineCount(), 4 + 60);
    QVERIFY(written.startsWith("Za\xe8\xe1tek m\xec\xf8" "en\xed na regul\xe1toru KORVIN 10   7.12.2026     14:03:00\r\n"));
    QVERIFY(written.contains("\r\n0,00; 0,00; 0,0; nen\xed porucha;   14:04:00;   7.12.2026\r\n"));
    QCOMPARE(written.count("\r\n"), 64);
    QCOMPARE(written.count('\n'), 64);
    QVERIFY(written.endsWith("\r\n"));
}

void TestMainLive::failedWritesShowErrorAndLoseNothing()
{
    auto rig = start({{"ZAZNAM/SOUBOR", "1"}});
    MainWindow& w = rig->w();
    QTemporaryDir dir;
    QDir base(dir.path());
    // A parent that is a regular file fails even for root.
    QFile plain(base.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    // "Zápis do souboru" with a file that cannot be made: the error box, and the poll goes on.
    rig->prompts.buttonAnswers << PromptButton::No;
    rig->prompts.fileAnswers << base.filePath("plain/log.txt");
    rig->box("check_zapis")->click();
    QCOMPARE(rig->prompts.messages().size(), 2);
    const PromptRecord error = rig->prompts.messages().at(1);
    QCOMPARE(error.caption, QString("KV-10"));
    QCOMPARE(error.icon, PromptIcon::Error);
    QVERIFY(!w.logFileChosen());
    QCOMPARE(rig->text("pa_path"), QString("c:"));
    QVERIFY(w.Timer1->isActive());

    const QString folder = base.filePath("logs");
    const QString path = QDir(folder).filePath("log.txt");
    QVERIFY(base.mkpath("logs"));
    rig->prompts.fileAnswers << path;
    w.mn_ulozitClick();
    QVERIFY(w.logFileChosen());
    rig->box("check_auto")->click();
    rig->tick(60);
    const QByteArray old = readFile(path);
    QCOMPARE(old, w.logBuffer().fileBytes());

    // The folder goes away behind the program's back: the periodic write fails.
    QVERIFY(base.rename("logs", "logs-away"));
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    rig->prompts.records.clear();
    rig->tick(60);
    QCOMPARE(rig->prompts.messages().size(), 1);
    QCOMPARE(rig->prompts.messages().first().caption, QString("KV-10"));
    QCOMPARE(w.logBuffer().lineCount(), 120);
    QVERIFY(w.logFileChosen());
    QCOMPARE(w.logFileName(), path);
    QCOMPARE(rig->text("pa_path"), QDir::toNativeSeparators(path));
    QCOMPARE(w.pollCycle().fileCounter(), 0);
    QCOMPARE(readFile(base.filePath("logs-away/log.txt")), old);

    // Back in place, the next period writes the whole buffer to the same file.
    QVERIFY(QFile::remove(folder));
    QVERIFY(base.rename("logs-away", "logs"));
    rig->tick(60);
    QCOMPARE(rig->prompts.messages().size(), 1);
    QCOMPARE(readFile(path), w.logBuffer().fileBytes());
    QCOMPARE(w.logBuffer().lineCount(), 180);
}

// A finished log is the user's: once a new log is started, the periodic write leaves its file
// alone until a name is confirmed for the new one; meanwhile the new log is kept in memory.
void TestMainLive::newLogLeavesThePreviousFileAlone_data()
{
    QTest::addColumn<QString>("startedBy");
    QTest::newRow("Nový soubor") << "mn_novy";
    QTest::newRow("Zápis do souboru") << "check_zapis";
    QTest::newRow("Automatické čtení") << "check_auto";
}

void TestMainLive::newLogLeavesThePreviousFileAlone()
{
    QFETCH(QString, startedBy);
    QFile::remove("Záznam KORVIN10");
    auto rig = start({{"ZAZNAM/SOUBOR", "1"}});
    MainWindow& w = rig->w();
    QTemporaryDir dir;
    const QString first = QDir(dir.path()).filePath("A.txt");
    const QString second = QDir(dir.path()).filePath("B.txt");
    rig->prompts.buttonAnswers << PromptButton::Yes;
    rig->prompts.fileAnswers << first;
    rig->box("check_zapis")->click();
    rig->box("check_auto")->click();
    rig->tick(60);
    const QByteArray finished = readFile(first);

    // A new log whose save dialog is cancelled.
    if (startedBy == "mn_novy") {
        rig->action("mn_novy")->trigger();
    } else {
        rig->box(qPrintable(startedBy))->click();
        rig->prompts.buttonAnswers << PromptButton::Yes;
        rig->box(qPrintable(startedBy))->click();
    }
    QCOMPARE(rig->prompts.recordsOf(PromptRecord::SaveFile).size(), 2);
    QVERIFY(w.logOnlyInMemory());
    QCOMPARE(rig->text("pa_path"), QString("jen v paměti, soubor nezvolen"));
    rig->tick(120);
    QCOMPARE(readFile(first), finished);
    QVERIFY(!QFile::exists("Záznam KORVIN10"));

    // "Uložit..." asks for the new log's name, and asks before replacing a file.
    rig->prompts.fileAnswers << second;
    w.mn_ulozitClick();
    QVERIFY(rig->prompts.records.last().request.confirmOverwrite);
    QCOMPARE(rig->text("pa_path"), QDir::toNativeSeparators(second));
    rig->tick(60);
    QCOMPARE(readFile(second), w.logBuffer().fileBytes());
    QCOMPARE(readFile(first), finished);
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
