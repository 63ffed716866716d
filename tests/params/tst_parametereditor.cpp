// The parameter editor's form: leaving a page and its parse boxes, the combo codes and items,
// the fields stored and shown, the variant layout, closing, the SPLO colour and the row names.
// The program page has a test of its own; the numbers are Czech (decimal comma).

#include "CzechLocale.h"
#include "EditorRig.h"
#include "FakeTransport.h"
#include "ParameterEditor.h"
#include "Protocol.h"
#include "ScriptedPrompts.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QAccessible>
#include <QTabBar>
#include <QTest>
#include <memory>

using namespace kv10;
using namespace kv10::test;
using namespace kv10::test::editor;

class TestParameterEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void init() { QTest::failOnWarning(QRegularExpression("ParameterEditor")); }   // a row not bound
    void leavingAPage_data();
    void leavingAPage();
    void comboCodes_data();
    void comboCodes();
    void fieldsStoredAndShown_data();
    void fieldsStoredAndShown();
    void variantLayout_data();
    void variantLayout();
    void closingKeepsEditsOut_data();
    void closingKeepsEditsOut();
    void sploColour_data();
    void sploColour();
    void buddiesNameTheRows_data();
    void buddiesNameTheRows();
    void comboItems_data();
    void comboItems();
};

void TestParameterEditor::leavingAPage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("inputs");      // control=text
    QTest::addColumn<QStringList>("zeroed");      // image fields, preset to 7
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("focus");           // empty: the page is left
    QTest::addColumn<bool>("byUser");
    const QStringList none;
    QTest::newRow("abc in PB") << int(ParameterEditor::PagePid) << QStringList{"ed_pb=abc"} << QStringList{"PID.PB"}
                               << QStringList{FloatBox} << "ed_pb" << true;
    QTest::newRow("float and int") << int(ParameterEditor::PageOst) << QStringList{"ed_oplo=abc", "ed_pass=12a"}
                                   << QStringList{"OST.OPLO", "OST.PASS"} << QStringList{FloatBox, IntBox} << "ed_pass"
                                   << true;
    QTest::newRow("row order, not typing order") << int(ParameterEditor::PageOnof) << QStringList{"ed_hcoo=x", "ed_phea=1.5"}
                                                 << QStringList{"ONOF.PHEA", "ONOF.HCOO"} << QStringList{FloatBox, FloatBox}
                                                 << "ed_hcoo" << true;
    QTest::newRow("all parse") << int(ParameterEditor::PagePid) << QStringList{"ed_pb=2,5"} << none << none << "" << true;
    QTest::newRow("page set by the program") << int(ParameterEditor::PagePid) << QStringList{"ed_pb=abc"} << none << none
                                             << "" << false;
}

void TestParameterEditor::leavingAPage()
{
    QFETCH(int, page);
    QFETCH(QStringList, inputs);
    QFETCH(QStringList, zeroed);
    QFETCH(QStringList, boxes);
    QFETCH(QString, focus);
    QFETCH(bool, byUser);
    auto rig = shown(3);
    for (const QString& name : zeroed)
        rig->setValue(name, 7);
    rig->editor.pageControl().setCurrentIndex(page);   // as the user does
    for (const QString& input : inputs)
        rig->edit(input.section('=', 0, 0))->setText(input.section('=', 1));
    const int next = ParameterEditor::PageAlarm1;
    if (byUser)
        rig->editor.pageControl().setCurrentIndex(next);
    else
        rig->editor.setActivePage(next);

    QCOMPARE(rig->boxes(), boxes);
    for (const PromptRecord& box : rig->prompts.messages()) {
        QCOMPARE(box.icon, PromptIcon::Warning);
        QCOMPARE(box.owner, nullptr);
    }
    for (const QString& name : zeroed)
        QCOMPARE(rig->value(name), 0.0);
    if (focus.isEmpty()) {
        QCOMPARE(rig->editor.activePageIndex(), next);
        QCOMPARE(rig->editor.currentPageIndex(), byUser ? next : page);
        return;
    }
    QCOMPARE(rig->editor.activePageIndex(), page);
    QCOMPARE(rig->editor.currentPageIndex(), page);
    for (const QString& input : inputs)
        QCOMPARE(rig->edit(input.section('=', 0, 0))->text(), QString("0"));
    QCOMPARE(rig->editor.focusWidget(), rig->edit(focus));
}

void TestParameterEditor::comboCodes_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("stored");
    QTest::newRow("TPID 25 is 5,2") << int(ParameterEditor::PageRego) << "cb_tpid" << "REGO.TPID" << 25 << "5,2" << 25.0;
    QTest::newRow("TPID 0 selects nothing") << int(ParameterEditor::PageRego) << "cb_tpid" << "REGO.TPID" << 0 << "" << 0.0;
    QTest::newRow("WDAY 7 is Sunday") << int(ParameterEditor::PageTime) << "cb_wday" << "TIME.WDAY" << 7 << "Neděle" << 7.0;
    QTest::newRow("byte without item") << int(ParameterEditor::PageAlarm1) << "cb_rala1" << "ALARM1.RALA" << 9 << "" << 255.0;
    QTest::newRow("int16 without item") << int(ParameterEditor::PageOnof) << "cb_at" << "ONOF.AT" << 11 << "" << -1.0;
    QTest::newRow("FILT 32") << int(ParameterEditor::PageOst) << "cb_filtr" << "OST.FILT" << 32 << "32" << 32.0;
}

void TestParameterEditor::comboCodes()
{
    QFETCH(int, page);
    QFETCH(QString, control);
    QFETCH(QString, field);
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(double, stored);
    auto rig = shown(3);
    rig->setValue(field, code);
    rig->editor.ImageToPage(page);
    QCOMPARE(rig->combo(control)->currentText(), text);
    rig->setValue(field, 3);
    QCOMPARE(rig->editor.PageToImage(page), 0);
    QCOMPARE(rig->value(field), stored);
}

void TestParameterEditor::fieldsStoredAndShown_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("byte 300 is 44") << int(ParameterEditor::PageTime) << "ed_sec" << "300" << "TIME.SEC" << 44.0 << "44";
    QTest::newRow("byte -1 is 255") << int(ParameterEditor::PageGo) << "ed_godate" << "-1" << "GOEXT.DATE" << 255.0 << "255";
    QTest::newRow("address 200 is -56") << int(ParameterEditor::PageAdd) << "ed_adresa" << "200" << "ADD.ADRESA" << 200.0 << "-56";
    QTest::newRow("decimal comma") << int(ParameterEditor::PagePid) << "ed_pb" << "1234,5" << "PID.PB" << 1234.5 << "1234,50";
    QTest::newRow("six integer digits") << int(ParameterEditor::PageOnof) << "ed_phea" << "123456" << "ONOF.PHEA" << 123456.0
                                        << "1,2346E05";
    QTest::newRow("int beyond 16 bits") << int(ParameterEditor::PageRego) << "ed_dser" << "-70000" << "REGO.DSER" << -70000.0
                                        << "-70000";
}

void TestParameterEditor::fieldsStoredAndShown()
{
    QFETCH(int, page);
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QFETCH(double, stored);
    QFETCH(QString, shown);
    auto rig = ::shown(3);
    rig->editor.ImageToPage(page);
    rig->edit(control)->setText(typed);
    QCOMPARE(rig->editor.PageToImage(page), 0);
    QCOMPARE(rig->value(field), stored);
    rig->edit(control)->clear();
    rig->editor.ImageToPage(page);
    QCOMPARE(rig->edit(control)->text(), shown);
}

void TestParameterEditor::variantLayout_data()
{
    QTest::addColumn<int>("variant");
    QTest::addColumn<bool>("go");
    QTest::addColumn<bool>("time");      // the TIME tab and GO's date rows
    QTest::addColumn<int>("pcutItems");
    QTest::addColumn<QString>("sp");
    QTest::addColumn<QString>("readerTabs");   // what a screen reader offers
    const QString first = "COMP|ALARM 1|ALARM 2|PID|REGO|ONOFF|SENS|DACO|ERRO|OST_|ADD";
    QTest::newRow("0") << 0 << true << true << 5 << "0" << first + "|GO|TIME";
    QTest::newRow("1") << 1 << false << false << 3 << "12,50" << first;
    QTest::newRow("2") << 2 << true << false << 3 << "0" << first + "|GO";
    QTest::newRow("3") << 3 << true << true << 5 << "0" << first + "|GO|TIME";
}

void TestParameterEditor::variantLayout()
{
    QFETCH(int, variant);
    QFETCH(bool, go);
    QFETCH(bool, time);
    QFETCH(int, pcutItems);
    QFETCH(QString, sp);
    Rig rig(variant);
    rig.image.comp.sp = 12.5f;
    rig.editor.show();
    QCOMPARE(rig.editor.pageControl().count(), 13);
    QCOMPARE(rig.editor.pageControl().isTabVisible(ParameterEditor::PageGo), go);
    QCOMPARE(rig.editor.pageControl().isTabVisible(ParameterEditor::PageTime), time);
    for (const char* name : {"ed_godate", "ed_gohour_label", "ed_gomin_description"})
        QCOMPARE(rig.get(name)->isHidden(), !time);
    QCOMPARE(rig.combo("cb_puc")->count(), pcutItems);
    QCOMPARE(rig.edit("ed_comp")->text(), sp);
    for (const char* name : {"ed_comp", "Label1", "Label2"})
        QVERIFY(!rig.get(name)->isHidden());
    for (const char* name : {"tab_comp", "cb_usek", "tl_add", "cb_prog_typ", "lb_c_prog", "ch_prubeh"})
        QCOMPARE(rig.get(name)->isHidden(), variant == 1);
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(rig.editor.pageControl().findChild<QTabBar*>());
    QStringList offered;
    for (int i = 0; i < tabs->childCount(); ++i)
        offered << tabs->child(i)->text(QAccessible::Name);
    QTEST(offered.join('|'), "readerTabs");
}

void TestParameterEditor::closingKeepsEditsOut_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Storno") << "Storno";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("close button") << "close";
}

void TestParameterEditor::closingKeepsEditsOut()
{
    QFETCH(QString, how);
    auto rig = shown(3);
    rig->image.pid.pb = 1;
    rig->editor.pageControl().setCurrentIndex(ParameterEditor::PagePid);
    rig->edit("ed_pb")->setText("55");
    if (how == "Storno")
        rig->get<QPushButton>("tl_cancel")->click();
    else if (how == "Escape")
        QTest::keyClick(rig->edit("ed_pb"), Qt::Key_Escape);
    else
        rig->editor.close();
    QVERIFY(!rig->editor.isVisible());
    QCOMPARE(rig->editor.result(), int(QDialog::Rejected));
    QCOMPARE(rig->image.pid.pb, 1.0f);
    QVERIFY(rig->transport.writes.isEmpty());
}

void TestParameterEditor::sploColour_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("silver");
    QTest::newRow("CONS") << 0 << true;
    QTest::newRow("DRIF") << 1 << true;
    QTest::newRow("WIN") << 2 << false;
    QTest::newRow("DWI") << 3 << false;
    QTest::newRow("no mode") << 7 << true;
}

void TestParameterEditor::sploColour()
{
    QFETCH(int, mode);
    QFETCH(bool, silver);
    auto rig = shown(3);
    const QColor normal = QApplication::palette(rig->edit("ed_splo1")).color(QPalette::Base);
    const QColor expected = silver ? QColor(0xC0, 0xC0, 0xC0) : normal;
    rig->image.alarm1.rala = uint8_t(mode);   // ALARM 1 from the image
    rig->editor.ImageToPage(ParameterEditor::PageAlarm1);
    QCOMPARE(rig->edit("ed_splo1")->palette().color(QPalette::Base), expected);
    QComboBox* rala2 = rig->combo("cb_rala2");   // ALARM 2 chosen by the user
    rala2->setCurrentIndex(mode < rala2->count() ? mode : -1);
    emit rala2->activated(rala2->currentIndex());
    QCOMPARE(rig->edit("ed_splo2")->palette().color(QPalette::Base), expected);
    QVERIFY(!rig->edit("ed_splo2")->isReadOnly());
}

void TestParameterEditor::buddiesNameTheRows_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("rows");   // control=its label's text
    QTest::newRow("COMP") << 0 << QStringList{"ed_comp=SP", "ed_cas=TI", "cb_usek=úsek", "ed_pocatek=počáteční hodnota",
                                              "cb_prog_typ=PROG", "cb_prog_cis=C_PR"};
    QTest::newRow("ALARM 1") << 1 << QStringList{"ed_splo1=SPLO", "ed_sphi1=SPHI", "ed_hyst1=HYST", "cb_rala1=RALA", "cb_re1=RELE"};
    QTest::newRow("ALARM 2") << 2 << QStringList{"ed_splo2=SPLO", "ed_sphi2=SPHI", "ed_hyst2=HYST", "cb_rala2=RALA", "cb_re2=RELE"};
    QTest::newRow("PID") << 3 << QStringList{"ed_pb=PB", "ed_ti=INT", "ed_td=DER", "cb_tune=TUNE"};
    QTest::newRow("REGO") << 4 << QStringList{"cb_type=TYPE", "ed_dser=DSER", "ed_dead=DEAD", "cb_f2=F2", "cb_tpid=TPID",
                                              "ed_ps=PS", "ed_per=PER"};
    QTest::newRow("ONOFF") << 5 << QStringList{"ed_phea=PHEA", "ed_pcoo=PCOO", "ed_hhea=HHEA", "ed_hcoo=HCOO", "cb_at=AT",
                                               "cb_onof_re1=RE-1", "cb_onof_re2=RE-2"};
    QTest::newRow("SENS") << 6 << QStringList{"cb_sens=TYPE", "cb_dp=DP", "ed_strs=STRS", "ed_ends=ENDS", "ed_offs=OFFS",
                                              "cb_komp=COMP"};
    QTest::newRow("DACO") << 7 << QStringList{"cb_ain=A-IN", "cb_aout=A-OUT", "ed_astr=ASTR", "ed_aend=AEND"};
    QTest::newRow("ERRO") << 8 << QStringList{"cb_erro12=RE12", "cb_erro3=RE-3", "cb_erro4=RE-4", "cb_yout=YOUT"};
    QTest::newRow("OST_") << 9 << QStringList{"ed_oplo=OPLO", "ed_ophi=OPHI", "cb_filtr=FILT", "ed_pass=PASS", "cb_loc=LOCK"};
    QTest::newRow("ADD") << 10 << QStringList{"ed_adresa=adresa regulátoru", "ed_zaznam=rychlost záznamu (1-32000 [s])"};
    QTest::newRow("GO") << 11 << QStringList{"cb_go=GO", "cb_pend=PEND", "cb_hold=HOLD", "cb_puc=PCUT", "ed_godate=DATE",
                                             "ed_gohour=HOUR", "ed_gomin=MIN"};
    QTest::newRow("TIME") << 12 << QStringList{"ed_year=YEAR", "ed_month=MONT", "ed_mday=MDAY", "cb_wday=WDAY",
                                               "ed_hour=HOUR", "ed_min=MIN", "ed_sec=SEC"};
}

void TestParameterEditor::buddiesNameTheRows()
{
    QFETCH(int, page);
    QFETCH(QStringList, rows);
    Rig rig(3);
    QWidget* sheet = rig.editor.pageControl().widget(page);
    QStringList seen;
    // Every edit and combo box of the page in the order of the focus chain, that is, on screen.
    for (QWidget* w = sheet->nextInFocusChain(); w != sheet && sheet->isAncestorOf(w); w = w->nextInFocusChain()) {
        if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w))
            continue;
        QString label;
        for (QLabel* candidate : rig.editor.findChildren<QLabel*>())
            if (candidate->buddy() == w)
                label = candidate->text();
        seen << w->objectName() + "=" + label;
    }
    QCOMPARE(seen, rows);

    // A screen reader names each tab by its caption.
    const QStringList captions = {"COMP", "ALARM 1", "ALARM 2", "PID", "REGO", "ONOFF", "SENS",
                                  "DACO", "ERRO", "OST_", "ADD", "GO", "TIME"};
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(rig.editor.pageControl().findChild<QTabBar*>());
    QVERIFY(tabs && tabs->child(page));
    QCOMPARE(tabs->child(page)->text(QAccessible::Name), captions[page]);
}

void TestParameterEditor::comboItems_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("items");   // index=text
    const auto row = [](const char* name, int count, const QStringList& items) {
        QTest::newRow(name) << QString(name) << count << items;
    };
    const QStringList rala = {"0=CONS (jedna pevná mez)", "1=DRIF (pevná mez s posuvem)", "2=WIN (horní a spodní mez alarmu)",
                              "3=DWI (horní a spodní mez alarmu s posuvem)"};
    const QStringList rele = {"0=OFF při překročení relé vypne", "1=ON při překročení relé sepne"};
    const QStringList noYes = {"0=NO (ne)", "1=YES (ano)"};
    row("cb_rala1", 4, rala);
    row("cb_rala2", 4, rala);
    for (const char* name : {"cb_re1", "cb_re2", "cb_onof_re1", "cb_onof_re2"})
        row(name, 2, rele);
    for (const char* name : {"cb_tune", "cb_go", "cb_hold"})
        row(name, 2, noYes);
    row("cb_type", 4, {"0=ONOF (Dvoustavová regulace)", "1=PROI (Proporcionální impulzní)", "2=PIDI (PID impulzní)",
                       "3=PID3 (PID třístavová)"});
    row("cb_f2", 17, {"0=0 bez filtru", "1=1", "16=16"});
    row("cb_tpid", 46, {"0=0,2", "1=0,4", "23=4,8", "24=5,2", "28=6,0", "29=7,2", "43=10,0", "44=", "45="});
    row("cb_at", 11, {"0=okamžitá reakce", "1=1 ", "2=2", "10=10"});
    row("cb_sens", 14, {"0=termočlánek \"J\"", "1=termočlánek \"K\"", "2=termočlánek \"E\"", "3=termočlánek \"T\"",
                        "4=termočlánek \"R\"", "5=termočlánek \"S\"", "6=termočlánek \"B\"", "7=Pt100", "8=Ni1000/6180ppm",
                        "9=Ni1000/5000ppm", "10=4 až 20 mA", "11=0 až 20 mA", "12=0 až 10 V", "13=0 až 50mV"});
    row("cb_dp", 3, {"0=0000.", "1=000.0", "2=00.00"});
    row("cb_komp", 5, {"0=bez kompenzace", "1=teplota svorek", "2=teplota 20°C", "3=teplota 50°C", "4=teplota 70°C"});
    row("cb_ain", 2, {"0=YOUT (regulační veličina)", "1=MEAS (naměřená hodnota)"});
    row("cb_aout", 4, {"0=0-20mA", "1=4-20mA", "2=20-0mA", "3=20-4mA"});
    row("cb_erro12", 5, {"0=NO (bez reakce)", "1=OPEN (relé 1 sepne relé 2 vypne)", "2=SHUT (relé 1 vypne relé 2 sepne)",
                         "3=OFF (relé 1 vypne relé 2 vypne)", "4="});
    row("cb_erro3", 3, {"0=NO (bez reakce)", "1=ON (relé 3 sepne)", "2=OFF (relé 3 vypne)"});
    row("cb_erro4", 3, {"0=NO (bez reakce)", "1=ON (relé 4 sepne)", "2=OFF (relé 4 vypne)"});
    row("cb_yout", 3, {"0=NO (bez reakce)", "1=0 mA", "2=20 mA"});
    row("cb_filtr", 33, {"0=0 (bez filtru)", "1=1", "32=32"});
    row("cb_loc", 2, {"0=NO (odemčená)", "1=YES (zamčená)"});
    row("cb_pend", 3, {"0=OFF (vypnout)", "1=SBY (udržování)", "2=RST (opakování)"});
    row("cb_puc", 5, {"0=OFF-ukončení programu s vypnutím", "1=RST-nový start programu",
                      "2=SBY-udržování žádané hodnoty ( SBY)", "3=CONT-pokračování v programu",
                      "4=LAST-udržování poslední dosažené SP"});
    row("cb_wday", 7, {"0=Pondělí", "1=Úterý", "2=Středa", "3=Čtvrtek", "4=Pátek", "5=Sobota", "6=Neděle"});
    row("cb_usek", 20, {"0=0", "19=19"});
    row("cb_prog_typ", 3, {"0=SP", "1=RAMP", "2=JUMP"});
    row("cb_prog_cis", 10, {"0=0", "9=9"});
}

void TestParameterEditor::comboItems()
{
    QFETCH(QString, control);
    QFETCH(int, count);
    QFETCH(QStringList, items);
    Rig rig(3);
    rig.editor.ApplyVariantLayout(3);
    QComboBox* combo = rig.combo(control);
    QCOMPARE(combo->count(), count);
    for (const QString& item : items)
        QCOMPARE(item.section('=', 0, 0) + "=" + combo->itemText(item.section('=', 0, 0).toInt()), item);
}

QTEST_MAIN(TestParameterEditor)
#include "tst_parametereditor.moc"
