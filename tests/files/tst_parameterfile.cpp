// Saving and loading a parameter set through the editor's file commands: the file's text, the
// defaults, what a file loads or reports (identification, COMP values, damage), a failed write.
#include "CzechLocale.h"
#include "FakeTransport.h"
#include "ParameterEditor.h"
#include "ParameterFile.h"
#include "ParameterReadoutDialog.h"
#include "ScriptedPrompts.h"
#include "SerialTransport.h"
#include "StartedSimulator.h"
#include "Telegram.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace kv10;
using namespace kv10::test;

namespace {

const QString FloatBox = "CHYBA: Je nutné zadávat pouze čísla nebo desetinnou čárku";

struct Rig {
    ControllerImage image;
    ScriptedPrompts prompts;
    CountingWaiter waiter;
    SessionRunner runner{[this] { return std::make_unique<ControllerSession>(waiter); }, SessionRunner::Mode::Inline};
    ParameterEditor editor{runner, image, prompts};

    explicit Rig(int variant)
    {
        editor.setFirmwareVariantSource([variant] { return variant; });
        editor.show();
    }
    void save(const QString& path)
    {
        prompts.fileAnswers << path;
        saveParameterFile(editor, image, prompts);
    }
    void open(const QString& path)
    {
        prompts.fileAnswers << path;
        openParameterFile(editor, image, prompts);
    }
    QComboBox& combo(const char* name) { return *editor.findChild<QComboBox*>(name); }
    QStringList boxes() const
    {
        QStringList out;
        for (const PromptRecord& r : prompts.messages())
            out << r.caption + ": " + r.text;
        return out;
    }
    // The edits and lists of the pages ALARM 1 to GO.
    template <typename T> QList<T*> controls()
    {
        QList<T*> out;
        for (int page = ParameterEditor::PageAlarm1; page <= ParameterEditor::PageGo; ++page)
            out << editor.pageControl().widget(page)->template findChildren<T*>(QRegularExpression("^(ed|cb)_"));
        return out;
    }
    QStringList pages()
    {
        QStringList out;
        for (const QLineEdit* e : controls<QLineEdit>())
            out << e->objectName() + "=" + e->text();
        for (const QComboBox* c : controls<QComboBox>())
            out << c->objectName() + "=" + QString::number(c->currentIndex());
        return out;
    }
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

// kv10ctl's exit status for the station, and its error output on failure.
int runTool(const sim::SimulatedController& sim, const QStringList& args)
{
    QProcess tool;
    tool.start(QStringLiteral(KV10CTL_PATH), QStringList{"--device", sim.devicePath()} + args);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit)
        return -1;
    if (const QByteArray errors = tool.readAllStandardError(); !errors.isEmpty())
        qWarning("%s", errors.constData());
    return tool.exitCode();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestParameterFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void roundTrip_data();
    void roundTrip();
    void defaults_data();
    void defaults();
    void loading_data();
    void loading();
    void savingOverKeepsOtherLines();
    void failedWriteKeepsTheFile_data();
    void failedWriteKeepsTheFile();
    void kv10ctlAndTheEditorShareTheFile_data();
    void kv10ctlAndTheEditorShareTheFile();

private:
    QTemporaryDir m_dir;
};

void TestParameterFile::roundTrip_data()
{
    QTest::addColumn<int>("variant");
    QTest::addColumn<float>("value");      // every start value and segment setpoint
    QTest::addColumn<QByteArray>("line");  // as the file holds the last segment
    QTest::addColumn<float>("loaded");

    QTest::newRow("0: 5 digits") << 0 << 1234.567f << QByteArray("TEP[9][19]=1234,60") << 1234.6f;
    QTest::newRow("2: 2 decimals") << 2 << 0.12345f << QByteArray("TEP[9][19]=0,12") << 0.12f;
    QTest::newRow("3: exponent") << 3 << 123456.0f << QByteArray("TEP[9][19]=1,2346E05") << 123460.0f;
    QTest::newRow("1: negative") << 1 << -999.999f << QByteArray("TEP[9][19]=-1000,00") << -1000.0f;
}

void TestParameterFile::roundTrip()
{
    QFETCH(int, variant);
    QFETCH(float, value);
    QFETCH(float, loaded);
    QFETCH(QByteArray, line);
    Rig rig(variant);
    rig.save({});    // cancelled: nothing happens
    rig.open({});
    // Every page visited, then edited as it stands.
    for (int page = ParameterEditor::PageAlarm1; page <= ParameterEditor::PageGo; ++page)
        rig.editor.ImageToPage(page);
    int i = 0;
    for (QLineEdit* e : rig.controls<QLineEdit>())
        e->setText(QString::number(++i));
    for (QComboBox* c : rig.controls<QComboBox>())
        c->setCurrentIndex(++i % c->count());
    rig.combo("cb_tune").setCurrentIndex(-1);
    rig.editor.findChild<QLineEdit*>("ed_comp")->setText("12,5");
    rig.image.startValue.fill(value);
    for (int p = 0; p < ProgramCount; ++p) {
        rig.image.segmentSetpoint[p].fill(value);
        for (int s = 0; s < SegmentCount; ++s)
            rig.image.segmentTime[p][s] = p * 1000 - s;
    }
    const QStringList pages = rig.pages();
    // A data tag is no file name on Windows ("0: 5 digits" reads as a drive).
    const QString path = m_dir.filePath(QStringLiteral("sada-%1.ini").arg(variant));
    rig.save(path);

    for (QLineEdit* e : rig.controls<QLineEdit>())
        e->setText("9");
    for (QComboBox* c : rig.controls<QComboBox>())
        c->setCurrentIndex(0);
    rig.image = ControllerImage();
    {
        const QSignalBlocker typeBlocker(rig.combo("cb_prog_typ"));
        const QSignalBlocker numberBlocker(rig.combo("cb_prog_cis"));
        rig.combo("cb_prog_typ").setCurrentIndex(2);
        rig.combo("cb_prog_cis").setCurrentIndex(5);
    }
    rig.open(path);

    QCOMPARE(rig.boxes(), QStringList());
    QCOMPARE(rig.pages(), pages);
    const QByteArray file = readAll(path);
    QVERIFY(file.contains("\r\nTUNE=-1\r\n"));
    QVERIFY(file.endsWith(line + "\r\nCAS[9][19]=8981\r\n"));
    QCOMPARE(QString("%1 %2 %3").arg(rig.image.comp.sp).arg(rig.image.prog.prog).arg(rig.image.prog.c_pr), "12.5 2 5");
    for (int p = 0; p < ProgramCount; ++p) {
        QCOMPARE(rig.image.startValue[p], loaded);
        for (int s = 0; s < SegmentCount; ++s) {
            QCOMPARE(rig.image.segmentSetpoint[p][s], loaded);
            QCOMPARE(rig.image.segmentTime[p][s], p * 1000 - s);
        }
    }
    QCOMPARE(rig.prompts.records.size(), 4);
    for (const PromptRecord& d : rig.prompts.records) {
        const bool save = d.kind == PromptRecord::SaveFile;
        QCOMPARE(d.caption + " | " + d.request.filter, save ? "Uložit jako | Parametry regulátoru[*.ini] (*.ini)"
                                                            : "Otevřít | Parametry regulátoru [*.ini] (*.ini)");
        QCOMPARE(d.request.defaultSuffix + " " + d.request.fileName, "INI Korvin10-xxxx");
        QVERIFY(d.request.confirmOverwrite == save && !d.request.fileMustExist && d.owner == &rig.editor);
    }
}

void TestParameterFile::defaults_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("missing") << QByteArray("(none)");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("identification only") << QByteArray("[IDENT]\r\nVERSION=KORVIN10 [V.1.0]\r\n");
}

void TestParameterFile::defaults()
{
    QFETCH(QByteArray, file);
    Rig rig(0);
    const QString path = m_dir.filePath(QStringLiteral("defaults.ini"));
    QFile::remove(path);
    if (file != "(none)")
        writeAll(path, file);
    rig.open(path);
    QCOMPARE(rig.boxes(), QStringList());
    QCOMPARE(QString("%1 %2 %3 %4 %5").arg(rig.image.alarm1.sphi).arg(rig.image.rego.tpid).arg(rig.image.sens.type)
                 .arg(rig.image.onof.phea).arg(rig.image.add.zaznam), "100 5 4 -2 60");

    // Saved again, the defaults read as a new file holds them.
    const QString saved = m_dir.filePath(QStringLiteral("saved.ini"));
    QFile::remove(saved);
    rig.save(saved);
    const QByteArray bytes = readAll(saved);
    QCOMPARE(bytes.left(bytes.indexOf("TEP[0][1]")),
             "[IDENT]\r\nVERSION=KORVIN10 [V.1.0]\r\n"
             "[ALARM1]\r\nRALA=0\r\nRELE=0\r\nSPLO=0\r\nSPHI=100\r\nHYST=1\r\n"
             "[ALARM2]\r\nRALA=0\r\nRELE=0\r\nSPLO=0\r\nSPHI=100\r\nHYST=1\r\n"
             "[PID]\r\nPB=1\r\nTI=100\r\nTD=1\r\nTUNE=0\r\n"
             "[REGO]\r\nTYPE=0\r\nF2=0\r\nDSER=60\r\nDEAD=2\r\nTPID=4\r\nPS=0\r\nPER=10\r\n"
             "[ONOF]\r\nPHEA=-2\r\nPCOO=2\r\nHHEA=1\r\nHCOO=1\r\nAT=1\r\nRE_1=0\r\nRE_2=1\r\n"
             "[SENS]\r\nSTRS=0\r\nENDS=100\r\nOFFS=0\r\nTYPE=4\r\nDP=1\r\nKOMP=1\r\n"
             "[DACO]\r\nAIN=0\r\nAOUT=0\r\nASTR=0\r\nAEND=100\r\n"
             "[ERRO]\r\nRE12=0\r\nRE-3=0\r\nRE-4=0\r\nYOUT=0\r\n"
             "[OSTAT]\r\nOPLO=0\r\nOPHI=100\r\nPASS=0\r\nFILT=0\r\nLOCK=0\r\n"
             "[ADD]\r\nADRESA=0\r\nZAZNAM=60\r\n"
             "[GO]\r\nBEH=0\r\nPEND=0\r\nHOLD=0\r\nPUC=0\r\nDATE=0\r\nHOUR=0\r\nMIN=0\r\n"
             "[COMP]\r\nPROG=0\r\nC_PR=0\r\nSP=0\r\nPOCATEK=0\r\nSP[0]=0,00\r\nSP[1]=0,00\r\nSP[2]=0,00\r\n"
             "SP[3]=0,00\r\nSP[4]=0,00\r\nSP[5]=0,00\r\nSP[6]=0,00\r\nSP[7]=0,00\r\nSP[8]=0,00\r\nSP[9]=0,00\r\n"
             "TEP[0][0]=0,00\r\nCAS[0][0]=0\r\n");
    QVERIFY(bytes.endsWith("\r\nTEP[9][19]=0,00\r\nCAS[9][19]=0\r\n"));
    QCOMPARE(bytes.count("\r\n"), 13 + 471);
}

void TestParameterFile::loading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("sphi1");      // ALARM1.SPHI on its page, empty before
    QTest::addColumn<QString>("program");    // TEP[0][0], CAS[0][0], TEP[0][1], all 7 before
    QTest::addColumn<QStringList>("boxes");

    const QByteArray alarm = "[ALARM1]\r\nSPHI=55\r\n";
    const QStringList refused("INI SOUBOR: INI soubor není typu KORVIN 10 [V.1.0]");
    QTest::newRow("VERSION longer") << "[IDENT]\r\nVERSION=KORVIN10 [V.1.0] beta\r\n" + alarm << "55" << "0 0 0" << QStringList();
    QTest::newRow("VERSION lower case") << "[IDENT]\r\nVERSION=korvin10 [v.1.0]\r\n" + alarm << "" << "7 7 7" << refused;
    QTest::newRow("VERSION 1.1") << "[IDENT]\r\nVERSION=KORVIN10 [V.1.1]\r\n" + alarm << "" << "7 7 7" << refused;
    QTest::newRow("VERSION shorter") << "[IDENT]\r\nVERSION=KORVIN10 [V.1.0\r\n" + alarm << "" << "7 7 7" << refused;
    QTest::newRow("VERSION empty") << "[IDENT]\r\nVERSION=\r\n" + alarm << "" << "7 7 7" << refused;

    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char(i * 151 + 7);
    QTest::newRow("binary junk") << junk << "100" << "0 0 0" << QStringList();
    QTest::newRow("1 MB line") << "[COMP]\r\nTEP[0][0]=" + QByteArray(1 << 20, 'x') << "100" << "7 7 7"
                               << QStringList("KV-10: '" + QString(2047, 'x') + "' is not a valid floating point value");
    QTest::newRow("missing brackets") << QByteArray("IDENT\r\nVERSION=x\r\n[ALARM1\r\nSPHI=55\r\nALARM1]\r\nSPHI=66\r\n")
                                      << "100" << "0 0 0" << QStringList();
    QTest::newRow("duplicates") << QByteArray("[ALARM1]\r\nSPHI=55\r\nSPHI=66\r\n[alarm1]\r\nSPLO=abc\r\n")
                                << "55" << "0 0 0" << QStringList();
    QTest::newRow("UTF-8 text") << QByteArray("[ALARM1]\r\nSPHI=\xC4\x8D\r\n") << "0" << "0 0 0" << QStringList(FloatBox);
    QTest::newRow("empty values") << QByteArray("[ALARM1]\r\nRALA=\r\nSPHI=\r\n[COMP]\r\nSP=\r\n") << "0" << "7 7 7"
                                  << QStringList{FloatBox, "KV-10: '' is not a valid floating point value"};
    QTest::newRow("fraction in CAS") << QByteArray("[COMP]\r\nTEP[0][0]=3,5\r\nCAS[0][0]=12,5\r\n") << "100"
                                     << "3.5 7 7" << QStringList("KV-10: '12,5' is not a valid integer value");
    QTest::newRow("a folder") << QByteArray("(folder)") << "" << "7 7 7"
                              << QStringList("KV-10: Cannot open file \"" + QDir::toNativeSeparators(m_dir.path()) + "\"");
}

void TestParameterFile::loading()
{
    QFETCH(QByteArray, file);
    Rig rig(0);
    rig.image.segmentSetpoint[0][0] = rig.image.segmentSetpoint[0][1] = 7;
    rig.image.segmentTime[0][0] = 7;
    const QString path = file == "(folder)" ? m_dir.path() : m_dir.filePath(QStringLiteral("load.ini"));
    if (path != m_dir.path())
        writeAll(path, file);
    rig.open(path);
    QTEST(rig.boxes(), "boxes");
    QTEST(rig.editor.findChild<QLineEdit*>("ed_sphi1")->text(), "sphi1");
    QTEST(QString("%1 %2 %3").arg(rig.image.segmentSetpoint[0][0]).arg(rig.image.segmentTime[0][0])
              .arg(rig.image.segmentSetpoint[0][1]), "program");
}

void TestParameterFile::savingOverKeepsOtherLines()
{
    Rig rig(0);
    rig.open(m_dir.filePath(QStringLiteral("missing.ini")));
    rig.combo("cb_rala1").setCurrentIndex(2);
    const QString path = m_dir.filePath(QStringLiteral("over.ini"));
    writeAll(path, "; Linka 3, pec \xE8. 2\r\n[alarm1]\n  rala = 2 \nSPLO= 5\n\n[MOJE]\r\nX = a=b\r\n[ALARM1]\r\nHYST=9\r\n");
    rig.save(path);
    QCOMPARE(rig.boxes(), QStringList());
    const QByteArray head = "; Linka 3, pec \xE8. 2\r\n[alarm1]\n  rala = 2 \nSPLO=0\nRELE=0\r\nSPHI=100\r\nHYST=1\r\n\n"
                            "[MOJE]\r\nX = a=b\r\n[ALARM1]\r\nHYST=9\r\n[IDENT]\r\nVERSION=KORVIN10 [V.1.0]\r\n[ALARM2]\r\n";
    QCOMPARE(readAll(path).left(head.size()), head);
}

void TestParameterFile::failedWriteKeepsTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("read-only file") << "ro/k.ini";
    QTest::newRow("a folder of that name") << "dir/k.ini";
    QTest::newRow("no such folder") << "none/k.ini";
}

void TestParameterFile::failedWriteKeepsTheFile()
{
    QFETCH(QString, name);
    const QString path = m_dir.filePath(name);
    QDir(m_dir.path()).mkpath(name.startsWith("dir") ? name : "ro");
    if (name.startsWith("ro")) {
        writeAll(path, "[ALARM1]\r\nRALA=3\r\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
    }
    const QByteArray before = readAll(path);
    const QStringList files = QDir(QFileInfo(path).path()).entryList(QDir::AllEntries | QDir::Hidden);
    Rig rig(0);
    rig.save(path);
    QCOMPARE(rig.boxes(), QStringList("KV-10: Unable to write to " + QDir::toNativeSeparators(path)));
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::AllEntries | QDir::Hidden), files);
}

void TestParameterFile::kv10ctlAndTheEditorShareTheFile_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("programType");
    QTest::newRow("without programs") << "FW-R-09-01" << 0;
    QTest::newRow("programs, SP") << "FW-R-09-02" << 0;
    QTest::newRow("programs and clock, RAMP") << "FW-R-09-03" << 1;
}

// A set that kv10ctl saved, loaded in the editor after its read-out and saved again, is the same
// file; that file loads with kv10ctl and then compares equal.
void TestParameterFile::kv10ctlAndTheEditorShareTheFile()
{
    QFETCH(QString, firmware);
    QFETCH(int, programType);
    sim::SimulatorOptions options;
    options.deviceVersion = firmware;
    QString error;
    const auto station = startSimulator(options, error);
    QVERIFY2(station, qPrintable(error));
    station->setLiveRunning(false);
    station->modifyImage([programType](ControllerImage& image) {
        image.prog = {uint8_t(programType), 4};
        image.goext = {5, 6, 7};
        image.alarm1.sphi = 123.456f;
        for (int p = 0; p < ProgramCount; ++p)
            image.segmentSetpoint[p][p] = float(p) + 0.5f;
    });
    const QString byTool = m_dir.filePath("tool-" + firmware + ".ini");
    const QString byEditor = m_dir.filePath("editor-" + firmware + ".ini");
    QCOMPARE(runTool(*station, {"params", "save", byTool}), 0);
    {
        ScriptedPrompts prompts;
        CountingWaiter waiter;
        ControllerImage image;
        SessionRunner runner(
            [&] {
                auto session = std::make_unique<ControllerSession>(waiter);
                session->openDevice(station->devicePath(), "COM1");
                return session;
            },
            SessionRunner::Mode::Inline);
        ParameterEditor editor(runner, image, prompts);
        ParameterReadoutDialog readout(editor, runner, image, prompts);
        editor.setFirmwareVariantSource([&readout] { return readout.FirmwareVariant(); });
        readout.show();
        QTRY_VERIFY_WITH_TIMEOUT(!readout.isVisible(), 20000);
        editor.show();
        loadParameterSet(editor, image, prompts, byTool);
        QVERIFY(saveParameterSet(editor, image, byEditor));
        QCOMPARE(prompts.messages().size(), 0);
        runner.session().closePort();
    }
    QCOMPARE(readAll(byEditor), readAll(byTool));
    station->modifyImage([](ControllerImage& image) {
        image.alarm1.sphi = 1;
        image.segmentSetpoint[9][9] = 0;
    });
    QCOMPARE(runTool(*station, {"params", "diff", byEditor}), 4);
    QCOMPARE(runTool(*station, {"params", "load", byEditor}), 0);
    QCOMPARE(runTool(*station, {"params", "diff", byEditor}), 0);
    QCOMPARE(station->image().alarm1.sphi, 123.46f);
}

QTEST_MAIN(TestParameterFile)
#include "tst_parameterfile.moc"
