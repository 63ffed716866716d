// The identification dialog: a second after showing it asks type and version; only what
// answered changes a line; a device of the other family is named and its version kept.
#include "IdentificationDialog.h"
#include "LinkRig.h"

#include <QLabel>
#include <QShowEvent>
#include <QTest>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

using namespace kv10;
using namespace kv10::test;

namespace {

QString lines(QDialog& dialog)
{
    return dialog.findChild<QLabel*>("lb_zarizeni")->text() + " | " + dialog.findChild<QLabel*>("lb_verze")->text();
}

QStringList boxes(const ScriptedPrompts& prompts)
{
    QStringList out;
    for (const PromptRecord& box : prompts.messages())
        out << QStringLiteral("%1 %2: %3").arg(box.caption).arg(int(box.icon)).arg(box.text);
    return out;
}

} // namespace

class TestIdentification : public QObject {
    Q_OBJECT
private slots:
    void withoutControllerNothingChanges();
    void linesFollowWhatAnswered();
    void controllerTextsArePlain();
};

void TestIdentification::withoutControllerNothingChanges()
{
    ControllerImage image;
    ScriptedPrompts prompts;
    CountingWaiter waiter;
    SessionRunner runner([&] { return std::make_unique<ControllerSession>(waiter); }, SessionRunner::Mode::Inline);
    IdentificationDialog dialog(runner, image, prompts);

    dialog.show();
    QVERIFY(dialog.Timer1->isActive());
    QCOMPARE(dialog.Timer1->interval(), 1000);
    dialog.Timer1Timer();
    QVERIFY(!dialog.Timer1->isActive());
    QCOMPARE(lines(dialog), QString("Typ zařízení - neidentifikováno | Verze zařízení - neidentifikováno"));
    QVERIFY(prompts.records.isEmpty());
    QCOMPARE(waiter.waits.count(10), 3);

    // Restored from minimised: the window system shows it again, nothing is asked again.
    QShowEvent restored;
    QSpontaneKeyEvent::setSpontaneous(&restored);
    qApp->notify(&dialog, &restored);   // sendEvent would clear the flag
    QVERIFY(!dialog.Timer1->isActive());
}

void TestIdentification::linesFollowWhatAnswered()
{
    sim::SimulatorOptions options;
    options.foreign = true;
    options.foreignIdentity = {"ABC", "SN 0042", "FW-K-05-07"};
    LinkRig rig(options);
    IdentificationDialog dialog(*rig.runner, rig.image, rig.prompts);

    // The other family: the sentence and the first field, cut at its first zero.
    dialog.Identify();
    QCOMPARE(rig.requests.join(' '), QString("read 8/4 type version type"));
    QCOMPARE(lines(dialog), QString("jiné zařízení | FW-K-05-07"));
    QCOMPARE(boxes(rig.prompts),
             QStringList{"ERROR 2: Identifikováno zařízení pro které je nutné použít jiný software\nABC"});
    QCOMPARE(QString::fromLatin1(rig.image.deviceVersionText.data()), QString("FW-K-05-07"));

    // Type answered, version not: only the type line changes, the foreign version stays.
    rig.sim->setForeign(false);
    rig.sim->setDeviceTexts("KORVIN 10", "FW-R-09-03");
    rig.sim->setSilentVersion(true);
    dialog.Identify();
    QCOMPARE(lines(dialog), QString("KORVIN 10 | FW-K-05-07"));
    QCOMPARE(QString::fromLatin1(rig.image.deviceVersionText.data()), QString("FW-K-05-07"));

    rig.sim->setSilentVersion(false);
    dialog.Identify();
    QCOMPARE(lines(dialog), QString("KORVIN 10 | FW-R-09-03"));
    QCOMPARE(rig.prompts.messages().size(), 1);
}

// Texts from the line are shown as sent, never as markup.
void TestIdentification::controllerTextsArePlain()
{
    sim::SimulatorOptions options;
    options.deviceType = "<h1><u>KORVIN</u></h1>";
    options.deviceVersion = "<b>FW-R-09-03</b>";
    LinkRig rig(options);
    IdentificationDialog dialog(*rig.runner, rig.image, rig.prompts);
    dialog.Identify();
    QCOMPARE(lines(dialog), QString("<h1><u>KORVIN</u></h1> | <b>FW-R-09-03</b>"));
    for (const char* name : {"lb_zarizeni", "lb_verze"})
        QCOMPARE(dialog.findChild<QLabel*>(name)->textFormat(), Qt::PlainText);
}

QTEST_MAIN(TestIdentification)
#include "tst_identification.moc"
