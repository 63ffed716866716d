// The read-out before the editor opens: which telegrams each firmware gets, in order, the
// firmware decision, the progress bar, and the editor's controls reset on every showing.
#include "LinkRig.h"
#include "ParameterEditor.h"
#include "ParameterReadoutDialog.h"
#include "TableCodec.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

using namespace kv10;
using namespace kv10::test;

namespace {

struct ReadoutRig : LinkRig {
    ParameterEditor editor{*runner, image, prompts};
    ParameterReadoutDialog dialog{editor, *runner, image, prompts};

    explicit ReadoutRig(const sim::SimulatorOptions& options) : LinkRig(options)
    {
        editor.setFirmwareVariantSource([this] { return dialog.FirmwareVariant(); });
    }
    QString waits() const
    {
        QStringList out;
        for (int ms : waiter.waits)
            out << QString::number(ms);
        return out.join(' ');
    }
};

const QString Identify = "read 8/4 type version";
const QString PagesAfterComp = "read 1/14 read 2/14 read 4/13 read 5/13 read 6/20 read 3/15 read 7/10 read 8/4 "
                               "read 9/14 read 10/3 read 14/4";

} // namespace

class TestParameterReadout : public QObject {
    Q_OBJECT
private slots:
    void readsWhatTheFirmwareHas_data();
    void readsWhatTheFirmwareHas();
    void deviceTypeWithoutVersionReadsNothingMore();
    void everyShowingResetsTheEditorFirst();
};

void TestParameterReadout::readsWhatTheFirmwareHas_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("programType");
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("requests");
    QTest::addColumn<QString>("waits");
    QTest::addColumn<int>("bar");

    QTest::newRow("FW-R-09-01: tables 0-10 by number")
        << "FW-R-09-01" << 1 << 1
        << Identify + " read 0/4 read 1/14 read 2/14 read 3/15 read 4/13 read 5/13 read 6/20 read 7/10 read 8/4 "
                      "read 9/14 read 10/3"
        << "10 10 10 10 10 10 10 10 10 10 10 10 10" << 100;
    QTest::newRow("FW-R-09-02 RAMP: program, pages, no TIME")
        << "FW-R-09-02 rev. 7" << 1 << 2
        << Identify + " read 16/2 read 0/40 read 17/80 read 18/40 " + PagesAfterComp
        << "10 10 100 100 10 10 10 10 10 10 10 10 10 10 10" << 97;
    QTest::newRow("FW-R-09-03 SP: start values only, TIME last")
        << "FW-R-09-03" << 0 << 3
        << Identify + " read 16/2 read 0/40 " + PagesAfterComp + " read 15/7"
        << "10 10 10 10 10 10 10 10 10 10 10 10 10 10" << 100;
    QTest::newRow("nine characters: unidentified, nothing read")
        << "FW-R-09-0" << 1 << 0 << Identify << "10 10" << 20;
}

void TestParameterReadout::readsWhatTheFirmwareHas()
{
    QFETCH(QString, version);
    QFETCH(int, programType);
    QFETCH(int, variant);
    QFETCH(QString, requests);
    QFETCH(QString, waits);
    QFETCH(int, bar);
    sim::SimulatorOptions options;
    options.deviceType = "KORVIN 10";
    options.deviceVersion = version;
    ReadoutRig rig(options);
    rig.sim->modifyImage([&](ControllerImage& image) {
        image.prog.prog = uint8_t(programType);
        image.prog.c_pr = 4;
    });

    bool visibleAtFirstTelegram = false;
    rig.traceSink = [&](bool outgoing, const QByteArray& bytes) {
        if (!outgoing)
            return;
        if (rig.requests.isEmpty())
            visibleAtFirstTelegram = rig.dialog.isVisible();
        rig.requests << describeRequest(bytes);
    };
    QCOMPARE(rig.dialog.exec(), int(QDialog::Accepted));

    QVERIFY(visibleAtFirstTelegram);
    QCOMPARE(rig.dialog.FirmwareVariant(), variant);
    QCOMPARE(rig.requests.join(' '), requests);
    QCOMPARE(rig.waits(), waits);
    QCOMPARE(rig.dialog.findChild<QProgressBar*>("bar_load")->value(), bar);
    QCOMPARE(rig.dialog.findChild<QLabel*>("lb_verze")->text(), QString("KORVIN 10"));
    const QStringList expectedBoxes =
        variant == 0 ? QStringList{"Komunikace: Chyba při čtení nebo neznámé zařízení"} : QStringList{};
    QStringList boxes;
    for (const PromptRecord& box : rig.prompts.messages())
        boxes << box.caption + ": " + box.text;
    QCOMPARE(boxes, expectedBoxes);
    if (variant >= 2)
        QCOMPARE(rig.image.prog.c_pr, uint8_t(4));
}

void TestParameterReadout::deviceTypeWithoutVersionReadsNothingMore()
{
    sim::SimulatorOptions options;
    options.deviceType = "<h1>KORVIN 10 B</h1>";
    options.silentVersion = true;
    ReadoutRig rig(options);
    rig.dialog.ReadAllParameters();
    QCOMPARE(rig.dialog.FirmwareVariant(), 0);
    // Shown as sent, not as markup.
    QCOMPARE(rig.dialog.findChild<QLabel*>("lb_verze")->text(), QString("<h1>KORVIN 10 B</h1>"));
    QCOMPARE(rig.dialog.findChild<QLabel*>("lb_verze")->textFormat(), Qt::PlainText);
    QCOMPARE(rig.requests.filter("read").join(' '), QString("read 8/4"));
    QCOMPARE(rig.prompts.messages().size(), 1);
}

void TestParameterReadout::everyShowingResetsTheEditorFirst()
{
    ReadoutRig rig(sim::SimulatorOptions{});
    auto* pb = rig.editor.findChild<QLineEdit*>("ed_pb");
    auto* tpid = rig.editor.findChild<QComboBox*>("cb_tpid");
    auto* sec = rig.editor.findChild<QLineEdit*>("ed_sec");
    auto* label = rig.dialog.findChild<QLabel*>("lb_verze");
    QVERIFY(pb && tpid && sec);
    for (int showing = 0; showing < 2; ++showing) {
        pb->setText("55");
        tpid->setCurrentIndex(30);
        sec->setText("7");
        label->setText("KORVIN 10");
        rig.dialog.FormShow();
        rig.dialog.Timer1->stop();
        QCOMPARE(pb->text(), QString("1"));
        QCOMPARE(tpid->currentText(), QString("1,2"));
        QCOMPARE(sec->text(), QString("7"));
        QCOMPARE(label->text(), QString("neidentifikováno"));
        QVERIFY(rig.requests.isEmpty());
    }
}

QTEST_MAIN(TestParameterReadout)
#include "tst_parameterreadout.moc"
