// The main window's text log: a line per sample, the file written every file period in
// Windows-1250, failed writes, and a new log that leaves the finished file alone.

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

class TestMainLog : public MainLiveTest {
    Q_OBJECT
private slots:
    void initTestCase();
    void sampleAppendsLogLineButReadButtonDoesNot();
    void fileIsWrittenAtFilePeriodInWindows1250();
    void failedWritesShowErrorAndLoseNothing();
    void newLogLeavesThePreviousFileAlone_data();
    void newLogLeavesThePreviousFileAlone();
};

void TestMainLog::initTestCase()
{
    QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing);
    // The log's initial name is relative: keep stray writes out of the build folder.
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

void TestMainLog::sampleAppendsLogLineButReadButtonDoesNot()
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

void TestMainLog::fileIsWrittenAtFilePeriodInWindows1250()
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

void TestMainLog::failedWritesShowErrorAndLoseNothing()
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
void TestMainLog::newLogLeavesThePreviousFileAlone_data()
{
    QTest::addColumn<QString>("startedBy");
    QTest::newRow("Nový soubor") << "mn_novy";
    QTest::newRow("Zápis do souboru") << "check_zapis";
    QTest::newRow("Automatické čtení") << "check_auto";
}

void TestMainLog::newLogLeavesThePreviousFileAlone()
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

QTEST_MAIN(TestMainLog)
#include "tst_mainlog.moc"
