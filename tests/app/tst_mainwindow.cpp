// The main window and start-up: the nine windows, the settings read at creation and written
// at close, and "Konec". COM 1 is the simulated controller on a pseudo-terminal.
#include "AboutBox.h"
#include "IdentificationDialog.h"
#include "ParameterReadoutDialog.h"
#include "ChartSettingsDialog.h"
#include "RecordSpeedDialog.h"
#include "ParameterEditor.h"
#include "ControllerRecordWindow.h"
#include "AppContext.h"
#include "AppError.h"
#include "MemorySettings.h"
#include "ScriptedPrompts.h"
#include "SimulatedController.h"
#include "StoredColour.h"
#include "MainWindow.h"
#include "PortDialog.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <memory>

using namespace kv10;
using namespace kv10::test;

namespace {

QString text(QWidget& window, const char* name)
{
    auto* label = window.findChild<QLabel*>(name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

const QStringList ClosingWrites = {
    "DESKTOP/Top", "DESKTOP/Left", "DESKTOP/Height", "DESKTOP/Width",
    "GRAF/PERO", "GRAF/MRIZ", "GRAF/POZADI", "GRAF/G3D", "GRAF/R3D", "GRAF/POCET",
    "ZAZNAM/LIST", "ZAZNAM/SOUBOR", "ZAZNAM/JEDNOTKY",
};

QStringList keysOf(const QStringList& writes)
{
    QStringList keys;
    for (const QString& w : writes)
        keys << w.section('=', 0, 0);
    return keys;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstStartShowsDefaultsAndCreatesNineWindows();
    void storedValuesAreReadAndWrittenBack_data();
    void storedValuesAreReadAndWrittenBack();
    void closingWritesThirteenValuesInOrderAndAsksNothing();
    void konecWithoutLogFileAsksForNameThenClosesPortAndWindow();
    void konecAfterConfirmedSaveAsksNothing();
    void failedSaveKeepsFlagAndPath();
    void parametersShowReadOutThenEditor();
    void penColourTakesChosenColour();
    void unwritableSettingsAreReportedOnceAndWindowCloses();
    void portThatCannotOpenIsReportedAndStartupGoesOn();
    void aboutBoxIsCentredOnTheScreen();

private:
    struct Rig {
        QStringList log;
        MemorySettings settings{&log};
        ScriptedPrompts prompts{&log};
        std::unique_ptr<AppContext> context;
    };
    std::unique_ptr<Rig> start(const QMap<QString, QString>& stored = {}, const QString& com1 = {});

    std::unique_ptr<sim::SimulatedController> m_sim;
};

void TestMainWindow::initTestCase()
{
    m_sim = std::make_unique<sim::SimulatedController>();
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
}

void TestMainWindow::cleanupTestCase()
{
    m_sim.reset();
}

std::unique_ptr<TestMainWindow::Rig> TestMainWindow::start(const QMap<QString, QString>& stored, const QString& com1)
{
    auto rig = std::make_unique<Rig>();
    rig->settings.values = stored;
    AppOptions options;
    options.sessionMode = SessionRunner::Mode::Inline;
    options.settings = &rig->settings;
    options.prompts = &rig->prompts;
    options.com1Device = com1.isEmpty() ? m_sim->slavePath() : com1;
    rig->context = std::make_unique<AppContext>(options);
    rig->context->createWindows();
    return rig;
}

void TestMainWindow::firstStartShowsDefaultsAndCreatesNineWindows()
{
    auto rig = start();
    QVERIFY(rig->prompts.records.isEmpty());
    MainWindow& w = rig->context->mainWindow();
    QCOMPARE(w.pos(), QPoint(192, 107));
    QCOMPARE(w.size(), QSize(718, 523));
    QCOMPARE(w.windowTitle(), QString("KORVIN 10"));
    QCOMPARE(w.windowIconText(), QString("KV-10"));
    QCOMPARE(w.PenColour, StoredRed);
    QCOMPARE(w.GridBackColour, StoredButtonFace);
    QCOMPARE(w.BorderColour, StoredButtonFace);
    QVERIFY(w.Chart3D);
    QCOMPARE(w.RotationPercent, 35);
    QCOMPARE(w.ChartLength, 200);
    QCOMPARE(text(w, "pa_zaznam"), QString("1"));
    QCOMPARE(text(w, "pa_jednotky"), QString("s"));
    QCOMPARE(text(w, "pa_soubor"), QString("15"));
    QCOMPARE(text(w, "pa_path"), QString("c:"));
    QCOMPARE(text(w, "pa_porucha"), QString("STOP"));
    QVERIFY(!w.logFileChosen());
    QVERIFY(rig->context->session().transport().isOpen());

    struct Window { QWidget* widget; const char* className; const char* instance; QString caption; };
    AppContext& c = *rig->context;
    const Window windows[] = {
        {&c.mainWindow(), "MainWindow", "kvr01", "KORVIN 10"},
        {static_cast<QWidget*>(&c.portDialog()), "PortDialog", "port", "Komunikační port"},
        {static_cast<QWidget*>(&c.aboutBox()), "AboutBox", "AboutBox", "O aplikaci"},
        {static_cast<QWidget*>(&c.identificationDialog()), "IdentificationDialog", "about_ident", "About"},
        {static_cast<QWidget*>(&c.parameterEditor()), "ParameterEditor", "menu_mod", "KORVIN 10 DATA"},
        {static_cast<QWidget*>(&c.recordWindow()), "ControllerRecordWindow", "FormZaznam", "Záznam"},
        {static_cast<QWidget*>(&c.chartSettingsDialog()), "ChartSettingsDialog", "rotace3D", "GRAF 3D"},
        {static_cast<QWidget*>(&c.recordSpeedDialog()), "RecordSpeedDialog", "form_zaznam", "Rychlost záznamu"},
        {static_cast<QWidget*>(&c.readoutDialog()), "ParameterReadoutDialog", "load_form", "Čtení parametrů"},
    };
    QStringList wrong;
    for (const Window& window : windows) {
        const QString seen = QStringLiteral("%1 %2 \"%3\"").arg(window.widget->metaObject()->className(),
                                                                window.widget->objectName(), window.widget->windowTitle());
        const QString expected = QStringLiteral("%1 %2 \"%3\"").arg(window.className, window.instance, window.caption);
        if (seen != expected)
            wrong << seen + " instead of " + expected;
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join("; ")));
    QCOMPARE(qobject_cast<QLabel*>(c.aboutBox().findChild<QLabel*>("Label5"))->text(), QString("Verze 1.1.0.0"));

    // The designed size holds once shown: the panels fit in it.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), QSize(718, 523));
}

void TestMainWindow::storedValuesAreReadAndWrittenBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("writtenBack");
    QTest::addColumn<QString>("unitPanel");
    QTest::newRow("3-D on from 5") << "GRAF/G3D" << "5" << "1" << "s";
    QTest::newRow("3-D off") << "GRAF/G3D" << "0" << "0" << "s";
    QTest::newRow("depth below range") << "GRAF/R3D" << "0" << "1" << "s";
    QTest::newRow("depth above range") << "GRAF/R3D" << "250" << "100" << "s";
    QTest::newRow("depth not a number") << "GRAF/R3D" << "x" << "35" << "s";
    QTest::newRow("minutes") << "ZAZNAM/JEDNOTKY" << "60" << "60" << "min";
    QTest::newRow("unit other than 1") << "ZAZNAM/JEDNOTKY" << "2" << "2" << "min";
    QTest::newRow("pen colour") << "GRAF/PERO" << "65280" << "65280" << "s";
    QTest::newRow("points") << "GRAF/POCET" << "5000" << "5000" << "s";
}

void TestMainWindow::storedValuesAreReadAndWrittenBack()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, writtenBack);
    QFETCH(QString, unitPanel);
    auto rig = start({{key, stored}, {"DESKTOP/Left", "10"}, {"DESKTOP/Top", "20"},
                      {"DESKTOP/Width", "800"}, {"DESKTOP/Height", "600"}, {"ZAZNAM/LIST", "5"}});
    MainWindow& w = rig->context->mainWindow();
    QCOMPARE(w.pos(), QPoint(10, 20));
    QCOMPARE(w.size(), QSize(800, 600));
    QCOMPARE(text(w, "pa_jednotky"), unitPanel);
    QCOMPARE(text(w, "pa_zaznam"), QString("5"));
    rig->settings.writes.clear();
    w.close();
    QVERIFY(rig->settings.writes.contains(key + '=' + writtenBack));
    QVERIFY(rig->settings.writes.contains("DESKTOP/Left=10"));
    QVERIFY(rig->settings.writes.contains("DESKTOP/Width=800"));
}

void TestMainWindow::closingWritesThirteenValuesInOrderAndAsksNothing()
{
    auto rig = start();
    rig->settings.writes.clear();
    rig->log.clear();
    rig->context->mainWindow().close();
    QCOMPARE(keysOf(rig->settings.writes), ClosingWrites);
    QCOMPARE(rig->settings.writes.at(4), QString("GRAF/PERO=255"));
    QCOMPARE(rig->settings.writes.at(5), QString("GRAF/MRIZ=-2147483633"));
    QCOMPARE(rig->settings.writes.at(7), QString("GRAF/G3D=1"));
    QVERIFY(rig->prompts.records.isEmpty());
    // Closing the window does not close the port.
    QVERIFY(rig->context->session().transport().isOpen());
}

void TestMainWindow::konecWithoutLogFileAsksForNameThenClosesPortAndWindow()
{
    auto rig = start();
    MainWindow& w = rig->context->mainWindow();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    rig->log.clear();
    w.mn_exitClick();   // the save dialog is cancelled

    QCOMPARE(rig->prompts.records.size(), 1);
    const PromptRecord& dialog = rig->prompts.records.first();
    QCOMPARE(dialog.kind, PromptRecord::SaveFile);
    QCOMPARE(dialog.caption, QString("Uložit jako"));
    QCOMPARE(dialog.request.fileName, QString("Záznam KORVIN10"));
    QCOMPARE(dialog.owner, &w);
    QCOMPARE(rig->log.first(), QString("save Uložit jako"));
    QCOMPARE(rig->log.size(), 1 + ClosingWrites.size());
    QVERIFY(!rig->context->session().transport().isOpen());
    QVERIFY(!w.isVisible());
    QVERIFY(!w.logFileChosen());
}

void TestMainWindow::konecAfterConfirmedSaveAsksNothing()
{
    auto rig = start();
    MainWindow& w = rig->context->mainWindow();
    QTemporaryDir dir;
    const QString chosen = QDir(dir.path()).filePath("log.txt");
    rig->prompts.fileAnswers << chosen;
    w.mn_ulozitClick();
    QVERIFY(QFileInfo::exists(chosen));
    QVERIFY(w.logFileChosen());
    QCOMPARE(w.logFileName(), chosen);
    QCOMPARE(text(w, "pa_path"), QDir::toNativeSeparators(chosen));
    // Before the first save-as the dialog does not ask before overwriting.
    QVERIFY(!rig->prompts.records.first().request.confirmOverwrite);

    rig->prompts.records.clear();
    w.mn_exitClick();
    QVERIFY(rig->prompts.records.isEmpty());
    QVERIFY(!rig->context->session().transport().isOpen());

    // Save-as always asks, from now on with the overwrite question.
    w.mn_ulozitjakoClick();
    QCOMPARE(rig->prompts.records.size(), 1);
    QVERIFY(rig->prompts.records.first().request.confirmOverwrite);
    QVERIFY(!w.logFileChosen());
}

void TestMainWindow::failedSaveKeepsFlagAndPath()
{
    auto rig = start();
    MainWindow& w = rig->context->mainWindow();
    rig->prompts.fileAnswers << "/nonexistent/folder/log.txt";
    QVERIFY_THROWS_EXCEPTION(AppError, w.mn_ulozitClick());
    QVERIFY(!w.logFileChosen());
    QCOMPARE(text(w, "pa_path"), QString("c:"));
    // The name confirmed in the dialog is the log file's name all the same.
    QCOMPARE(w.logFileName(), QString("/nonexistent/folder/log.txt"));

    // From the menu the error lands in the error box.
    rig->prompts.records.clear();
    rig->prompts.fileAnswers << "/nonexistent/folder/log.txt";
    w.findChild<QAction*>("mn_ulozit")->trigger();
    QCOMPARE(rig->prompts.messages().size(), 1);
    QCOMPARE(rig->prompts.messages().first().caption, QString("KV-10"));
    QCOMPARE(rig->prompts.messages().first().icon, PromptIcon::Error);
    QVERIFY(!rig->prompts.messages().first().text.isEmpty());
    QVERIFY(!w.logFileChosen());
}

void TestMainWindow::parametersShowReadOutThenEditor()
{
    auto rig = start();
    QStringList shown;
    // The read-out closes by itself once it has read; the editor is closed here. The read-out
    // lets events through once while it reads, so the closer must leave it alone.
    QObject::connect(&rig->context->readoutDialog(), &QDialog::finished,
                     [&](int result) { shown << QStringLiteral("load_form %1").arg(result); });
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != &rig->context->readoutDialog()) {
            shown << modal->objectName();
            static_cast<QDialog*>(modal)->reject();
        }
    });
    closer.start(10);
    rig->context->mainWindow().mn_parametryClick();
    QCOMPARE(shown, QStringList({"load_form 1", "menu_mod"}));
    QCOMPARE(rig->context->readoutDialog().FirmwareVariant(), 1);
}

void TestMainWindow::penColourTakesChosenColour()
{
    auto rig = start();
    MainWindow& w = rig->context->mainWindow();
    rig->prompts.colourAnswers << std::optional<quint32>(0x0000FF);   // blue
    w.tl_barva_peraClick();
    QCOMPARE(w.PenColour, qint32(0xFF0000));   // stored with red in the low byte
    QCOMPARE(w.findChild<QLabel*>("pa_barva_pera")->palette().color(QPalette::Window), QColor(Qt::blue));
    w.tl_barva_peraClick();   // cancelled
    QCOMPARE(w.PenColour, qint32(0xFF0000));
    QCOMPARE(colourFromStored(StoredButtonFace), QApplication::palette().color(QPalette::Button));
}

void TestMainWindow::unwritableSettingsAreReportedOnceAndWindowCloses()
{
    auto rig = start();
    rig->settings.failSync = true;
    MainWindow& w = rig->context->mainWindow();
    w.show();
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(rig->prompts.messages().size(), 1);
    QCOMPARE(rig->prompts.messages().first().caption, QString("KV-10"));
    QCOMPARE(rig->prompts.messages().first().icon, PromptIcon::Warning);
}

void TestMainWindow::portThatCannotOpenIsReportedAndStartupGoesOn()
{
    auto rig = start({}, "/nonexistent/kv10-no-such-device");
    QCOMPARE(rig->prompts.messages().size(), 1);
    const PromptRecord box = rig->prompts.messages().first();
    QCOMPARE(box.text, QString("Sériový port COM1 nelze otevřít"));
    QCOMPARE(box.caption, QString("KV-10"));
    QCOMPARE(box.icon, PromptIcon::Error);
    QCOMPARE(rig->context->portDialog().ComNumber(), 0);
    QVERIFY(!rig->context->session().transport().isOpen());
    QCOMPARE(rig->context->readoutDialog().objectName(), QString("load_form"));
}

void TestMainWindow::aboutBoxIsCentredOnTheScreen()
{
    auto rig = start();
    MainWindow& w = rig->context->mainWindow();
    w.move(0, 0);
    w.show();
    AboutBox& box = rig->context->aboutBox();
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QPoint offCentre = box.geometry().center() - w.screen()->availableGeometry().center();
    box.hide();
    QVERIFY2(offCentre.manhattanLength() <= 4, qPrintable(QString("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
