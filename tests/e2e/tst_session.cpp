// A whole working session of the program against the simulated controller on a pseudo-terminal,
// driven through the windows as a technician would: first start with nothing stored, the port
// and a bus scan, the parameter read-out, edited pages written and stored in EEPROM, a
// parameter file saved and loaded, a RAMP program, the record read out and exported, a minute
// of logging, and a second start that finds the settings of the first.
#include "CzechLocale.h"
#include "SetClock.h"
#include "AppContext.h"
#include "CodePage.h"
#include "ControllerRecordWindow.h"
#include "FakeTransport.h"
#include "MainWindow.h"
#include "ParameterEditor.h"
#include "ParameterReadoutDialog.h"
#include "PortDialog.h"
#include "ScriptedPrompts.h"
#include "StartedSimulator.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace kv10;
using namespace kv10::test;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void wholeSession();
    void setSavedRightAfterTheReadout_data();
    void setSavedRightAfterTheReadout();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<sim::SimulatedController> m_sim;
    ScriptedPrompts m_prompts;
    CountingWaiter m_waiter;
    test::SetClock m_clock{QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0))};

    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QLatin1String(name)); }
    std::unique_ptr<AppContext> start()
    {
        AppOptions options;
        options.sessionMode = SessionRunner::Mode::Inline;
        options.settingsFolder = path("nastaveni");
        options.prompts = &m_prompts;
        options.waiter = &m_waiter;
        options.clock = &m_clock;
        options.com1Device = m_sim->devicePath();
        auto app = std::make_unique<AppContext>(options);
        app->createWindows();
        app->mainWindow().show();
        return app;
    }
    QStringList boxes() const { return m_prompts.boxes(); }
};

void TestSession::wholeSession()
{
    sim::SimulatorOptions simOptions;
    simOptions.linkPath = kv10::test::deviceLinkAt(path("ttyKV10"));
    simOptions.deviceVersion = "FW-R-09-03";
    simOptions.addresses = {0, 3};
    QString error;
    m_sim = startSimulator(simOptions, error);
    QVERIFY2(m_sim, qPrintable(error));
    m_sim->setLiveRunning(false);
    m_sim->modifyImage([](ControllerImage& image) {
        image.pid.pb = 5;
        image.alarm1.splo = 33;
        image.ost.ophi = 80;
        image.prog = {0, 3};
        image.live.meas = 150;
        image.live.sp = 160;
        image.live.yout = 455;
        for (int k = 0; k < RecordValueCount; ++k)
            image.recordValues[k] = float(k) + 0.5f;
        image.recd.pos = 10;
    });

    auto app = start();
    QVERIFY(!QFile::exists(path("nastaveni/KorFW_R09.ini")));
    QCOMPARE(boxes(), QStringList());

    // The port: COM 1 at 19200, a scan that finds stations 0 and 3, station 3 chosen.
    PortDialog& port = app->portDialog();
    port.show();
    auto* baud = port.findChild<QComboBox*>("cb_baudrate");
    baud->setCurrentText("19200");
    port.cb_baudrateChange();
    port.tl_najitClick();
    for (int probe = 0; probe < 4; ++probe)
        port.Timer1Timer();
    port.tl_prerusitClick();
    auto* grid = port.findChild<QTableWidget*>();
    QString found;
    for (int address = 0; address < 4; ++address)
        found += grid->item(0, address)->text() + "|";
    QCOMPARE(found, QString("0| | |3|"));
    auto* da = port.findChild<QComboBox*>("cb_da");
    da->setCurrentIndex(3);
    port.cb_daChange();
    port.findChild<QPushButton*>("tl_ok")->click();
    QCOMPARE(port.ComNumber(), 1);
    QCOMPARE(app->link().DA(), uint8_t(3));

    // Read-out of every page for FW-R-09-03.
    ParameterReadoutDialog& readout = app->readoutDialog();
    readout.show();
    QTRY_VERIFY_WITH_TIMEOUT(!readout.isVisible(), 20000);
    QCOMPARE(readout.FirmwareVariant(), 3);
    QCOMPARE(app->image().pid.pb, 5.0f);
    QCOMPARE(app->image().alarm1.splo, 33.0f);

    // Three pages edited and written, then stored in EEPROM.
    ParameterEditor& editor = app->parameterEditor();
    editor.show();
    const auto writePage = [&](ParameterEditor::PageIndex page, const char* field, const char* text) {
        editor.setActivePage(page);
        editor.ImageToPage(page);
        editor.findChild<QLineEdit*>(field)->setText(QString::fromUtf8(text));
        editor.tl_zapisClick();
    };
    writePage(ParameterEditor::PagePid, "ed_pb", "12,5");
    writePage(ParameterEditor::PageAlarm1, "ed_splo1", "-7,25");
    writePage(ParameterEditor::PageOst, "ed_ophi", "95");
    editor.tl_eepromClick();
    QCOMPARE(m_sim->image().pid.pb, 12.5f);
    QCOMPARE(m_sim->image().alarm1.splo, -7.25f);
    QCOMPARE(m_sim->image().ost.ophi, 95.0f);
    QCOMPARE(m_sim->counters().of(sim::RequestKind::StoreEeprom), 1);

    // A parameter file saved, the editor changed, and the file loaded back.
    m_prompts.fileAnswers << path("sada.ini");
    editor.tl_ulozitClick();
    const QByteArray saved = fileBytes(path("sada.ini"));
    QVERIFY(saved.contains("[PID]\r\nPB=12,5\r\n"));
    QVERIFY(saved.contains("SPLO=-7,25\r\n"));
    editor.setActivePage(ParameterEditor::PagePid);
    editor.findChild<QLineEdit*>("ed_pb")->setText("99");
    m_prompts.fileAnswers << path("sada.ini");
    editor.tl_otevritClick();
    editor.setActivePage(ParameterEditor::PagePid);
    QCOMPARE(editor.findChild<QLineEdit*>("ed_pb")->text(), QString("12,5"));
    QCOMPARE(fileBytes(path("sada.ini")), saved);

    // A RAMP program: type chosen (PROG written, program read), first setpoint edited, written.
    editor.setActivePage(ParameterEditor::PageComp);
    auto* type = editor.findChild<QComboBox*>("cb_prog_typ");
    type->setCurrentIndex(1);
    emit type->activated(1);
    QCOMPARE(m_sim->image().prog.prog, uint8_t(1));
    auto* segments = editor.findChild<QTableWidget*>("tab_comp");
    segments->item(1, 1)->setText("250,5");
    segments->item(1, 2)->setText("45");
    editor.tl_zapisClick();
    QCOMPARE(m_sim->image().segmentSetpoint[3][0], 250.5f);
    QCOMPARE(m_sim->image().segmentTime[3][0], 45);
    editor.hide();

    // The record read out and exported.
    ControllerRecordWindow& record = app->recordWindow();
    record.show();
    record.tl_cteniClick();
    auto* list = record.findChild<QListWidget*>("ListBox");
    QCOMPARE(list->count(), 6 + 256);
    QCOMPARE(list->item(6)->text(), QString("1;   10,50"));
    m_prompts.fileAnswers << path("zaznam.txt");
    record.tl_ulozitClick();
    const QStringList exported = fromWindows1250(fileBytes(path("zaznam.txt"))).split("\r\n");
    QCOMPARE(exported.size(), 6 + 256 + 1);
    QCOMPARE(exported[6], QString("1;   10,50"));
    QCOMPARE(exported[261], QString("256;   11,50"));
    record.hide();

    // A minute of live samples into a new log.
    MainWindow& main = app->mainWindow();
    m_prompts.fileAnswers << path("mereni.txt");
    main.mn_novyClick();
    main.findChild<QCheckBox*>("check_auto")->setChecked(true);
    main.check_autoClick();
    for (int second = 0; second < 60; ++second) {
        m_clock.time = m_clock.time.addSecs(1);
        main.Timer1Timer();
    }
    main.mn_ulozitClick();
    const QStringList log = fromWindows1250(fileBytes(path("mereni.txt"))).split("\r\n");
    QCOMPARE(log.size(), 3 + 61 + 1);
    QCOMPARE(log[3 + 60], QString("150,00; 160,00; 45,5; není porucha;   8:01:00;   9.12.2026"));
    QCOMPARE(main.findChild<QLabel*>("pa_measure")->text(), QString("150,00"));
    QCOMPARE(boxes(), QStringList());

    // Closed and started again: the port, the station and the window come back.
    main.findChild<QCheckBox*>("check_auto")->setChecked(false);
    main.check_autoClick();
    main.resize(1000, 720);
    main.close();
    app.reset();
    const QByteArray stored = fileBytes(path("nastaveni/KorFW_R09.ini"));
    QVERIFY(stored.contains("DA=3"));
    QVERIFY(stored.contains("BAUDRATE=19200"));
    app = start();
    QCOMPARE(app->portDialog().ComNumber(), 1);
    QCOMPARE(app->portDialog().BaudRate(), 19200);
    QCOMPARE(app->link().DA(), uint8_t(3));
    QCOMPARE(app->mainWindow().size(), QSize(1000, 720));
    QVERIFY(app->link().ReadTable(TablePid));
    QCOMPARE(app->link().image().pid.pb, 12.5f);
    QCOMPARE(boxes(), QStringList());
    app.reset();
    m_sim.reset();
}

// What every firmware reads of the pages ALARM 1 to ADD, saved without a page visited.
const QByteArray ReadPages = "[ALARM1]\r\nRALA=2\r\nRELE=0\r\nSPLO=5,50\r\nSPHI=180,00\r\nHYST=1,50\r\n"
                             "[ALARM2]\r\nRALA=3\r\nRELE=0\r\nSPLO=-20,00\r\nSPHI=20,00\r\nHYST=0,50\r\n"
                             "[PID]\r\nPB=12,50\r\nTI=250,00\r\nTD=45,00\r\nTUNE=1\r\n"
                             "[REGO]\r\nTYPE=1\r\nF2=7\r\nDSER=90\r\nDEAD=3\r\nTPID=6\r\nPS=2\r\nPER=20\r\n"
                             "[ONOF]\r\nPHEA=-3,50\r\nPCOO=4,50\r\nHHEA=0,50\r\nHCOO=2,00\r\nAT=3\r\nRE_1=0\r\nRE_2=1\r\n"
                             "[SENS]\r\nSTRS=-50,00\r\nENDS=400,00\r\nOFFS=1,25\r\nTYPE=7\r\nDP=2\r\nKOMP=2\r\n"
                             "[DACO]\r\nAIN=1\r\nAOUT=3\r\nASTR=10,00\r\nAEND=90,00\r\n"
                             "[ERRO]\r\nRE12=2\r\nRE-3=1\r\nRE-4=2\r\nYOUT=2\r\n"
                             "[OSTAT]\r\nOPLO=5,00\r\nOPHI=95,00\r\nPASS=123\r\nFILT=12\r\nLOCK=1\r\n"
                             "[ADD]\r\nADRESA=0\r\nZAZNAM=30\r\n";

void TestSession::setSavedRightAfterTheReadout_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QByteArray>("go");
    // The first firmware has no GO table: its page shows the image's zeros.
    QTest::newRow("FW-R-09-01") << "FW-R-09-01" << QByteArray("[GO]\r\nBEH=0\r\nPEND=0\r\nHOLD=0\r\nPUC=0\r\n");
    QTest::newRow("FW-R-09-02") << "FW-R-09-02" << QByteArray("[GO]\r\nBEH=1\r\nPEND=2\r\nHOLD=1\r\nPUC=2\r\n");
    QTest::newRow("FW-R-09-03") << "FW-R-09-03" << QByteArray("[GO]\r\nBEH=1\r\nPEND=2\r\nHOLD=1\r\nPUC=2\r\n");
}

void TestSession::setSavedRightAfterTheReadout()
{
    QFETCH(QString, version);
    QFETCH(QByteArray, go);
    QVERIFY(QDir(path("nastaveni")).removeRecursively());
    sim::SimulatorOptions simOptions;
    simOptions.linkPath = kv10::test::deviceLinkAt(path("ttyKV10"));
    simOptions.deviceVersion = version;
    QString error;
    m_sim = startSimulator(simOptions, error);
    QVERIFY2(m_sim, qPrintable(error));
    m_sim->modifyImage([](ControllerImage& image) {
        image.alarm1 = {5.5f, 180.0f, 1.5f, 2, 0};
        image.alarm2 = {-20.0f, 20.0f, 0.5f, 3, 0};
        image.pid = {12.5f, 250.0f, 45.0f, 1};
        image.rego = {1, 90, 3, 7, 7, 2, 20};
        image.onof = {-3.5f, 4.5f, 0.5f, 2.0f, 3, 0, 1};
        image.sens = {7, 2, -50.0f, 400.0f, 1.25f, 2};
        image.daco = {1, 3, 10.0f, 90.0f};
        image.erro = {2, 1, 2, 2};
        image.ost = {5.0f, 95.0f, 12, 123, 1, 0};
        image.add.zaznam = 30;
        image.go = {1, 1, 2, 2};
    });
    auto app = start();
    ParameterReadoutDialog& readout = app->readoutDialog();
    readout.show();
    QTRY_VERIFY_WITH_TIMEOUT(!readout.isVisible(), 20000);
    ParameterEditor& editor = app->parameterEditor();
    editor.show();
    m_prompts.fileAnswers << path("ihned.ini");
    editor.tl_ulozitClick();

    const QByteArray saved = fileBytes(path("ihned.ini"));
    QVERIFY2(saved.contains(ReadPages + go), saved.constData());
    QCOMPARE(boxes(), QStringList());
    app.reset();
    m_sim.reset();
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
