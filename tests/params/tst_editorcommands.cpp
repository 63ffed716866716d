// The parameter editor's telegrams: the address write, the GO page's table per variant, the
// EEPROM command, the read that refills a page and the link notice after a command. The
// controller is a scripted transport that records every telegram.

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

class TestEditorCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void init() { QTest::failOnWarning(QRegularExpression("ParameterEditor")); }   // a row not bound
    void addressWriteMovesTheLink_data();
    void addressWriteMovesTheLink();
    void goPageTableFollowsVariant_data();
    void goPageTableFollowsVariant();
    void eepromSendsNoValues_data();
    void eepromSendsNoValues();
    void readRefillsThePage_data();
    void readRefillsThePage();
    void linkNoticeAfterTheCommand_data();
    void linkNoticeAfterTheCommand();
};

void TestEditorCommands::addressWriteMovesTheLink_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<int>("address");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("requests");
    QTest::newRow("written") << "5" << true << 5 << QStringList() << QStringList{"write 10/3"};
    QTest::newRow("not taken") << "5" << false << 3 << QStringList{"Komunikace: Chyba při zápisu"} << QStringList{"write 10/3"};
    QTest::newRow("does not parse") << "x" << true << 3 << QStringList{IntBox} << QStringList();
}

void TestEditorCommands::addressWriteMovesTheLink()
{
    QFETCH(QString, typed);
    QFETCH(bool, answered);
    QFETCH(int, address);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, requests);
    auto rig = shown(3);
    rig->link.SetDA(3);
    rig->editor.pageControl().setCurrentIndex(ParameterEditor::PageAdd);
    rig->edit("ed_adresa")->setText(typed);
    if (answered)
        rig->transport.answers << Ack;
    rig->editor.tl_zapisClick();
    QCOMPARE(rig->link.DA(), uint8_t(address));
    QCOMPARE(rig->boxes(), boxes);
    QCOMPARE(rig->requests(), requests);
}

void TestEditorCommands::goPageTableFollowsVariant_data()
{
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("answer");       // the table's data
    QTest::addColumn<QByteArray>("readRequest");
    QTest::addColumn<QByteArray>("writeRequest");
    QTest::addColumn<QString>("date");           // variant 2 has no date rows to fill
    QTest::newRow("3: table 19") << 3 << QByteArray::fromHex("010002030c081e")
                                 << QByteArray::fromHex("6808086800006c010e0700008216")
                                 << QByteArray::fromHex("680f0f68000063020e070000010002030c081eb216") << "12";
    QTest::newRow("0: table 14") << 0 << QByteArray::fromHex("01000202") << QByteArray::fromHex("6808086800006c010e0400007f16")
                                 << QByteArray::fromHex("680c0c68000063020e040000010002027c16") << "9";
    QTest::newRow("2: table 14") << 2 << QByteArray::fromHex("01000202") << QByteArray::fromHex("6808086800006c010e0400007f16")
                                 << QByteArray::fromHex("680c0c68000063020e040000010002027c16") << "";
}

void TestEditorCommands::goPageTableFollowsVariant()
{
    QFETCH(int, variant);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, readRequest);
    QFETCH(QByteArray, writeRequest);
    QFETCH(QString, date);
    auto rig = shown(variant);
    rig->image.goext.date = 9;
    rig->editor.pageControl().setCurrentIndex(ParameterEditor::PageGo);
    rig->transport.answers << dataFrame(0, 0, FcAnswerData, answer);
    rig->editor.tl_cteniClick();
    QCOMPARE(rig->transport.writes, QList<QByteArray>{readRequest});
    QCOMPARE(rig->combo("cb_pend")->currentIndex(), 2);
    QCOMPARE(rig->edit("ed_godate")->text(), date);

    rig->transport.writes.clear();
    rig->transport.answers << Ack;
    rig->editor.tl_zapisClick();
    QCOMPARE(rig->transport.writes, QList<QByteArray>{writeRequest});
    QCOMPARE(rig->boxes(), QStringList());
}

void TestEditorCommands::eepromSendsNoValues_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("PID") << int(ParameterEditor::PagePid) << true << QStringList();
    QTest::newRow("COMP") << int(ParameterEditor::PageComp) << true << QStringList();
    QTest::newRow("ADD, no answer") << int(ParameterEditor::PageAdd) << false
                                    << QStringList{"Komunikace: Chyba při zápisu do EEPROM"};
}

void TestEditorCommands::eepromSendsNoValues()
{
    QFETCH(int, page);
    QFETCH(bool, answered);
    QFETCH(QStringList, boxes);
    auto rig = shown(3);
    rig->editor.pageControl().setCurrentIndex(page);
    if (answered)
        rig->transport.answers << Ack;
    rig->editor.tl_eepromClick();
    QVERIFY(!rig->transport.writes.isEmpty());
    for (const QByteArray& frame : rig->transport.writes)
        QCOMPARE(frame, QByteArray::fromHex("68040468000063066916"));
    QCOMPARE(rig->boxes(), boxes);
    QVERIFY(rig->get<QProgressBar>("bar_load")->isHidden());
}

void TestEditorCommands::readRefillsThePage_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("read fails") << QByteArray() << "1,00" << QStringList{"Komunikace: Chyba při čtení"};
    QTest::newRow("read comes") << dataFrame(0, 0, FcAnswerData, QByteArray::fromHex("40200000000000000000000000"))
                                << "2,50" << QStringList();
}

void TestEditorCommands::readRefillsThePage()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, shown);
    QFETCH(QStringList, boxes);
    auto rig = ::shown(3);
    rig->image.pid.pb = 1;
    rig->editor.pageControl().setCurrentIndex(ParameterEditor::PagePid);
    rig->edit("ed_pb")->setText("55");
    rig->transport.answers << answer << answer;
    rig->editor.tl_cteniClick();
    QCOMPARE(rig->edit("ed_pb")->text(), shown);
    QCOMPARE(rig->boxes(), boxes);
    QVERIFY(rig->get<QProgressBar>("bar_load")->isHidden());
}

void TestEditorCommands::linkNoticeAfterTheCommand_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("boxes");
    const QString notice = "DATA: Nepředvídaná chyba, špatně zadaná tabulka";
    QTest::newRow("Čtení answered") << false << dataFrame(0, 0, FcAnswerData, QByteArray(13, '\0'))
                                    << QStringList{notice};
    QTest::newRow("Čtení unanswered: the notice, then the failure")
        << false << QByteArray() << QStringList{notice, "Komunikace: Chyba při čtení"};
    QTest::newRow("Zápis acknowledged") << true << Ack << QStringList{notice};
}

// A notice the link keeps is shown by the window once its exchanges have ended, never while
// they run.
void TestEditorCommands::linkNoticeAfterTheCommand()
{
    QFETCH(bool, write);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, boxes);
    auto rig = ::shown(3);
    rig->editor.pageControl().setCurrentIndex(ParameterEditor::PagePid);
    QVERIFY(!rig->link.WriteTable(TableSegsp));   // nothing sent; the notice is kept
    QVERIFY(rig->prompts.records.isEmpty());
    QList<int> boxesAtRequest;
    HexTrace countBoxes([&](bool outgoing, const QByteArray&) {
        if (outgoing)
            boxesAtRequest << int(rig->prompts.records.size());
    });
    rig->link.addTrace(&countBoxes);
    rig->transport.answers << answer;
    write ? rig->editor.tl_zapisClick() : rig->editor.tl_cteniClick();
    QCOMPARE(rig->requests(), QStringList{write ? "write 4/13" : "read 4/13"});
    QCOMPARE(boxesAtRequest.value(0, -1), 0);
    QCOMPARE(rig->boxes(), boxes);
    QCOMPARE(rig->prompts.messages().first().icon, PromptIcon::Error);
    QVERIFY(!rig->link.takeNotice());
    rig->link.removeTrace(&countBoxes);
}

QTEST_MAIN(TestEditorCommands)
#include "tst_editorcommands.moc"
