// The COMP page with programs, against the simulated controller. Each row runs a few user
// steps on the page and then reads probes ("row 4", "events", "sim time 3 0" ...) that must
// give the texts written out. Numbers on the page are Czech (decimal comma).
#include "CzechLocale.h"
#include "LinkRig.h"
#include "ParameterEditor.h"
#include "TrendChart.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace kv10;
using namespace kv10::test;

namespace {

const QString RampWrite = "events=write 16/2; wait 100; write 0/40; wait 100; write 17/80; wait 100; write 18/40";
const QString JumpWrite = "events=write 16/2; wait 100; write 17/80; wait 100; write 18/40";
const QString Question = "Zápis: Chceš zapsat data do regulátoru?";

// Program 3 holds start 4, setpoints 21, 22 ... 40 and times 1, 2 ... 20; every start value is 4.
struct ProgramRig : LinkRig {
    QStringList events;                    // the requests (a resent one once) and the session's waits
    CountingWaiter pageWaiter{&events};
    ParameterEditor editor{*runner, image, prompts};

    ProgramRig(int type, int program) : LinkRig(sim::SimulatorOptions{}, &pageWaiter)
    {
        traceSink = [this](bool outgoing, const QByteArray& bytes) {
            if (outgoing && (events.isEmpty() || events.last() != describeRequest(bytes)))
                events << describeRequest(bytes);
        };
        editor.setFirmwareVariantSource([] { return 3; });
        image.prog = {uint8_t(type), uint8_t(program)};
        image.startValue.fill(4);
        for (int s = 0; s < SegmentCount; ++s) {
            image.segmentSetpoint[3][s] = float(21 + s);
            image.segmentTime[3][s] = 1 + s;
        }
        editor.show();
    }
    template <typename T = QWidget> T* get(const QString& name) { return editor.findChild<T*>(name); }
    QLineEdit* edit(const QString& name) { return get<QLineEdit>(name); }
    QString cell(int r, int c) { return get<QTableWidget>("tab_comp")->item(r, c)->text(); }

    // "cell 3,2=7,9", "set ed_comp=5", "enter ed_comp=5" (typed, then
    // Enter), "pick cb_usek=3", "answer Yes", "refuse 2", "show 6" (that program from the
    // image), "clear" (program 3 emptied and shown), "změnit", "Zápis", "Čtení", "leave".
    void step(const QString& action)
    {
        const QString verb = action.section(' ', 0, 0);
        const QString name = action.section(' ', 1).section('=', 0, 0);
        const QString value = action.section('=', 1);
        if (verb == "cell")
            get<QTableWidget>("tab_comp")->item(name.section(',', 0, 0).toInt(), name.section(',', 1).toInt())->setText(value);
        else if (verb == "set")
            edit(name)->setText(value);
        else if (verb == "enter") {
            edit(name)->clear();
            QTest::keyClicks(edit(name), value);
            QTest::keyClick(edit(name), Qt::Key_Return);
        } else if (verb == "pick") {
            get<QComboBox>(name)->setCurrentIndex(value.toInt());
            emit get<QComboBox>(name)->activated(value.toInt());
        } else if (verb == "answer")
            prompts.buttonAnswers << (name == "Yes" ? PromptButton::Yes : PromptButton::No);
        else if (verb == "refuse")
            sim->refuseWrites(name.toInt());
        else if (verb == "show" || verb == "clear") {
            if (verb == "show") {
                image.prog.c_pr = uint8_t(name.toInt());
            } else {
                image.segmentSetpoint[3] = {};
                image.segmentTime[3] = {};
            }
            editor.ImageToPage(ParameterEditor::PageComp);
        } else if (verb == "změnit")
            get<QPushButton>("tl_add")->click();
        else if (verb == "Zápis")
            editor.tl_zapisClick();
        else if (verb == "Čtení")
            editor.tl_cteniClick();
        else if (verb == "leave")
            editor.pageControl().setCurrentIndex(ParameterEditor::PagePid);
        else
            qFatal("no step %s", qPrintable(action));
    }

    QString probe(const QString& what)
    {
        const QStringList w = what.split(' ');
        QStringList out;
        if (what == "events")
            return events.join("; ");
        if (what == "boxes") {
            for (const PromptRecord& r : prompts.messages())
                out << r.caption + ": " + r.text;
            return out.join("; ");
        }
        if (what == "question") {   // the first box
            const PromptRecord& r = prompts.messages().value(0);
            return QString(r.icon == PromptIcon::Warning ? "warning" : "?") +
                   (r.buttons == (PromptButton::Yes | PromptButton::No) ? " yes/no" : " ?") + (r.owner ? " owner" : " none");
        }
        if (what == "focus")
            return editor.focusWidget() ? editor.focusWidget()->objectName() : QString();
        if (what == "page")
            return QString::number(editor.activePageIndex());
        if (what == "hidden") {
            for (const char* name : {"ed_pocatek", "lb_pocatek", "ed_cas", "lb_ti_ramp", "lb_ti_popis"})
                if (get(name)->isHidden())
                    out << name;
            return out.join(' ');
        }
        if (what == "caption")
            return get<QLabel>("lb_usek")->text() + " " + QString::number(get<QLabel>("lb_usek")->indent());
        if (what == "current")
            return QString::number(get<QTableWidget>("tab_comp")->currentRow());
        if (what == "markers")
            return QString::number(get<TrendChart>("ch_prubeh")->markersOnly());
        if (w[0] == "row")
            return cell(w[1].toInt(), 0) + "|" + cell(w[1].toInt(), 1) + "|" + cell(w[1].toInt(), 2);
        if (w[0] == "text")
            return edit(w[1])->text();
        if (w[0] == "combo")
            return get<QComboBox>(w[1])->currentText();
        if (w[0] == "chart")
            return QString::number(get<TrendChart>("ch_prubeh")->pointValue(w[1].toInt()));
        // "image ..." or "sim ...": prog, start P, sp P S, time P S
        const ControllerImage held = w[0] == "sim" ? sim->image() : image;
        const int p = w.value(2).toInt(), s = w.value(3).toInt();
        if (w[1] == "prog")
            return QString("%1 %2").arg(held.prog.prog).arg(held.prog.c_pr);
        if (w[1] == "start")
            return QString::number(held.startValue[p]);
        return QString::number(w[1] == "sp" ? held.segmentSetpoint[p][s] : float(held.segmentTime[p][s]));
    }
};

void columns()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("program");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");   // probe=text
}

} // namespace

class TestProgramPage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void pageByType_data();
    void pageByType() { runRow(); }
    void pageToImage_data();
    void pageToImage() { runRow(); }
    void writeSendsTheBlocks_data();
    void writeSendsTheBlocks() { runRow(); }
    void enterInTheEntryFields_data();
    void enterInTheEntryFields() { runRow(); }
    void segmentEntry_data();
    void segmentEntry() { runRow(); }
    void programChoice_data();
    void programChoice() { runRow(); }
    void previewFollowsTheGrid_data();
    void previewFollowsTheGrid() { runRow(); }

private:
    void runRow();
};

void TestProgramPage::runRow()
{
    QFETCH(int, type);
    QFETCH(int, program);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    ProgramRig rig(type, program);
    for (const QString& step : steps)
        rig.step(step);
    QStringList seen;
    for (const QString& line : expected)
        seen << line.section('=', 0, 0) + "=" + rig.probe(line.section('=', 0, 0));
    QCOMPARE(seen, expected);
}

void TestProgramPage::pageByType_data()
{
    columns();
    QTest::newRow("SP, rows 11-20 kept") << 0 << 3 << QStringList{"cell 20,1=kept", "Čtení"}
        << QStringList{"row 0=program|teplota|--", "row 1=0|20,00|", "row 20=19|kept|", "caption=program 0",
                       "hidden=ed_pocatek lb_pocatek ed_cas lb_ti_ramp lb_ti_popis", "events=read 0/40"};
    QTest::newRow("RAMP") << 1 << 3 << QStringList()
        << QStringList{"row 0=úsek|teplota|čas", "row 1=0|21,00|1", "row 20=19|40,00|20", "text ed_pocatek=4,00",
                       "caption=úsek 9", "hidden=", "combo cb_prog_typ=RAMP", "combo cb_prog_cis=3"};
    QTest::newRow("type 7 runs as JUMP") << 7 << 3 << QStringList()
        << QStringList{"row 20=19|40,00|20", "hidden=ed_pocatek lb_pocatek", "combo cb_prog_typ="};
    QTest::newRow("program 12: none, not read") << 1 << 12 << QStringList{"Čtení"}
        << QStringList{"row 1=0||", "text ed_pocatek=", "combo cb_prog_cis=", "events=", "boxes=Komunikace: Chyba při čtení"};
}

void TestProgramPage::pageToImage_data()
{
    columns();
    const QString bad = "boxes=KV-10: '%1' is not a valid floating point value";
    QTest::newRow("SP start value") << 0 << 3 << QStringList{"cell 10,1=3,25", "leave"}
                                    << QStringList{"image start 9=3.25", "page=3"};
    QTest::newRow("RAMP start value") << 1 << 3 << QStringList{"set ed_pocatek=-5,5", "leave"} << QStringList{"image start 3=-5.5"};
    QTest::newRow("JUMP setpoint") << 2 << 3 << QStringList{"cell 20,1=150", "leave"} << QStringList{"image sp 3 19=150"};
    QTest::newRow("time 7,9 is 7") << 2 << 3 << QStringList{"cell 3,2=7,9", "leave"}
                                   << QStringList{"image time 3 2=7", "boxes="};
    QTest::newRow("no number: nothing stored") << 2 << 3 << QStringList{"cell 3,1=4,5", "cell 5,1=abc", "leave"}
        << QStringList{bad.arg("abc"), "page=0", "image sp 3 2=23"};
    QTest::newRow("empty time cell") << 1 << 3 << QStringList{"cell 20,2=", "leave"}
                                     << QStringList{bad.arg(""), "image time 3 19=20"};
    QTest::newRow("start value named first") << 1 << 3 << QStringList{"cell 2,2=y", "set ed_pocatek=x", "leave"}
        << QStringList{bad.arg("x"), "image time 3 1=2"};
}

void TestProgramPage::writeSendsTheBlocks_data()
{
    columns();
    QTest::newRow("SP") << 0 << 3 << QStringList{"cell 1,1=12,5", "Zápis"}
        << QStringList{"events=write 16/2; wait 100; write 0/40", "sim start 0=12.5", "sim prog=0 3", "boxes="};
    QTest::newRow("RAMP") << 1 << 3 << QStringList{"cell 1,1=12,5", "cell 1,2=7,9", "Zápis"}
        << QStringList{RampWrite, "sim start 3=4", "sim sp 3 0=12.5", "sim time 3 0=7", "boxes="};
    QTest::newRow("JUMP") << 2 << 3 << QStringList{"Zápis"} << QStringList{JumpWrite, "sim prog=2 3", "sim time 3 19=20"};
    QTest::newRow("type 7 kept") << 7 << 3 << QStringList{"Zápis"} << QStringList{JumpWrite, "sim prog=7 3"};
    QTest::newRow("PROG refused, sent twice") << 2 << 3 << QStringList{"refuse 2", "Zápis"}
        << QStringList{JumpWrite, "sim prog=1 0", "sim sp 3 19=40", "boxes=Komunikace: Chyba při zápisu"};
    QTest::newRow("no number") << 1 << 3 << QStringList{"cell 1,1=12,5x", "Zápis"}
        << QStringList{"events=", "boxes=KV-10: '12,5x' is not a valid floating point value"};
    QTest::newRow("program 12") << 2 << 12 << QStringList{"Zápis"}
        << QStringList{"events=", "boxes=Komunikace: Chyba při zápisu"};
}

void TestProgramPage::enterInTheEntryFields_data()
{
    columns();
    const QString setpoints = "boxes=EDIT: Je nutné zadávat pouze čísla v rozsahu -999 až 9999\n";
    const QString times = "boxes=EDIT: Je nutné zadávat pouze čísla v rozsahu 0 až 1000\n";
    QTest::newRow("10000") << 1 << 3 << QStringList{"enter ed_comp=10000"} << QStringList{setpoints, "focus=ed_comp"};
    QTest::newRow("9999,9 is 9999") << 1 << 3 << QStringList{"enter ed_comp=9999,9"} << QStringList{"boxes=", "focus=ed_cas"};
    QTest::newRow("-999,9 is -999") << 2 << 3 << QStringList{"enter ed_comp=-999,9"} << QStringList{"boxes=", "focus=ed_cas"};
    QTest::newRow("1e20") << 1 << 3 << QStringList{"enter ed_comp=1e20"} << QStringList{setpoints, "text ed_comp=1e20"};
    QTest::newRow("no number") << 1 << 3 << QStringList{"enter ed_comp=abc"}
        << QStringList{"boxes=CHYBA: Je nutné zadávat pouze čísla nebo desetinnou čárku", "text ed_comp=0", "focus=ed_comp"};
    QTest::newRow("SP: on to the button") << 0 << 3 << QStringList{"enter ed_comp=5"} << QStringList{"focus=tl_add", "boxes="};
    QTest::newRow("time 1001") << 1 << 3 << QStringList{"enter ed_cas=1001"} << QStringList{times, "focus=ed_cas"};
    QTest::newRow("time 1000") << 1 << 3 << QStringList{"enter ed_cas=1000"} << QStringList{"boxes=", "focus=tl_add"};
    QTest::newRow("time 7,9") << 1 << 3 << QStringList{"enter ed_cas=7,9"}
        << QStringList{"boxes=CHYBA: Je nutné zadávat pouze čísla", "text ed_cas=0", "focus=ed_cas"};
}

void TestProgramPage::segmentEntry_data()
{
    columns();
    const QStringList last = {"pick cb_usek=19", "set ed_comp=12,5", "set ed_cas=7"};
    QTest::newRow("RAMP segment 3") << 1 << 3 << QStringList{"pick cb_usek=3", "set ed_comp=12,5", "set ed_cas=7", "změnit"}
        << QStringList{"row 4=3|12,5|7", "combo cb_usek=4", "current=5", "focus=ed_comp", "events="};
    QTest::newRow("SP takes no time") << 0 << 3 << QStringList{"pick cb_usek=3", "set ed_comp=12,5", "změnit"}
        << QStringList{"row 4=3|12,5|--"};
    QTest::newRow("copied unchecked") << 2 << 3 << QStringList{"set ed_comp=abc", "set ed_cas=-5", "změnit"}
        << QStringList{"row 1=0|abc|-5", "combo cb_usek=1", "current=2"};
    QTest::newRow("segment 19, No") << 1 << 3 << last + QStringList{"answer No", "změnit"}
        << QStringList{"row 20=19|12,5|7", "row 1=0|21,00|1", "combo cb_usek=0", "combo cb_prog_cis=4", "current=1",
                       "boxes=" + Question, "question=warning yes/no none", "events=", "focus=ed_comp"};
    QTest::newRow("program 9 stays 9") << 1 << 9 << last + QStringList{"answer No", "změnit"}
        << QStringList{"combo cb_prog_cis=9", "events="};
    QTest::newRow("segment 19, Yes") << 1 << 3 << last + QStringList{"answer Yes", "změnit"}
        << QStringList{RampWrite, "sim sp 3 19=12.5", "combo cb_prog_cis=4"};
    QTest::newRow("Yes with no number") << 1 << 3 << QStringList{"pick cb_usek=19", "set ed_comp=1x", "answer Yes", "změnit"}
        << QStringList{"boxes=" + Question + "; KV-10: '1x' is not a valid floating point value", "events=",
                       "combo cb_prog_cis=4"};
}

void TestProgramPage::programChoice_data()
{
    columns();
    QTest::newRow("program 5") << 1 << 3 << QStringList{"pick cb_prog_cis=5"}
        << QStringList{"events=write 16/2; read 0/40; wait 100; read 17/80; wait 100; read 18/40", "row 1=0|40,50|30",
                       "sim prog=1 5"};
    QTest::newRow("type SP") << 1 << 3 << QStringList{"pick cb_prog_typ=0"}
        << QStringList{"events=write 16/2; read 0/40", "row 1=0|20,00|", "sim prog=0 3"};
    QTest::newRow("set from the image") << 1 << 3 << QStringList{"show 6"} << QStringList{"events=", "combo cb_prog_cis=6"};
}

void TestProgramPage::previewFollowsTheGrid_data()
{
    columns();
    const QStringList program = {"clear", "set ed_pocatek=20", "cell 1,1=100", "cell 1,2=10", "cell 2,1=60", "cell 2,2=5",
                                 "cell 3,1=50", "cell 3,2=5", "pick cb_usek=3", "set ed_comp=-10", "set ed_cas=20", "změnit"};
    QTest::newRow("RAMP") << 1 << 3 << program
        << QStringList{"markers=0", "chart 0=20", "chart 50=60", "chart 100=100", "chart 150=60", "chart 300=20",
                       "chart 400=-10"};
    QTest::newRow("JUMP") << 2 << 3 << program
        << QStringList{"chart 0=100", "chart 99=100", "chart 100=60", "chart 150=50", "chart 200=-10", "chart 400=-10"};
    // A zero time steps at once, a negative one counts as zero, unused segments add nothing.
    QTest::newRow("RAMP, odd times") << 1 << 3
        << QStringList{"clear", "cell 1,1=100", "cell 1,2=10", "cell 2,1=80", "cell 2,2=0", "cell 3,1=50", "cell 3,2=-3",
                       "cell 4,1=30", "cell 4,2=10", "set ed_pocatek=20"}
        << QStringList{"chart 100=60", "chart 200=50", "chart 300=40", "chart 400=30"};
    QTest::newRow("SP") << 0 << 3 << QStringList{"pick cb_usek=3", "set ed_comp=-10", "změnit"}
        << QStringList{"markers=1", "chart 0=4", "chart 3=-10", "chart 9=4"};
}

QTEST_MAIN(TestProgramPage)
#include "tst_programpage.moc"
