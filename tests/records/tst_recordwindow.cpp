// The record window: which samples of the ring are listed and how, the read-out against the
// simulated controller with its progress bar and failure box, and the export. The read-out
// runs inline over a pseudo-terminal, and stopped on the session's own thread in memory.
#include "CzechLocale.h"
#include "ControllerRecordWindow.h"
#include "LinkRig.h"
#include "RecordReadout.h"
#include "SessionRunner.h"
#include "SimulatedStation.h"
#include "SimulatedTransport.h"
#include "TrendChart.h"

#include <QFile>
#include <QListWidget>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

using namespace kv10;
using namespace kv10::test;

namespace {

struct RecordRig : LinkRig {
    // The window keeps its own copy of the image.
    ControllerImage& shown = image;
    ControllerRecordWindow window{*runner, shown, prompts};
    QListWidget& list = *window.findChild<QListWidget*>("ListBox");
    QProgressBar& bar = *window.findChild<QProgressBar*>("bargraf");
    TrendChart& chart = *window.findChild<TrendChart*>("Chart1");

    RecordRig() : LinkRig(sim::SimulatorOptions{}) {}
    QStringList lines() const
    {
        QStringList out;
        for (int row = 0; row < list.count(); ++row)
            out << list.item(row)->text();
        return out;
    }
    QStringList boxes() const { return prompts.boxes(); }
};

} // namespace

class TestRecordWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void listsNewestFirst_data();
    void listsNewestFirst();
    void readOut_data();
    void readOut();
    void exportsTheList_data();
    void exportsTheList();
    void stoppedReadOut_data();
    void stoppedReadOut();
};

void TestRecordWindow::listsNewestFirst_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QStringList>("header");   // lines 2 to 4
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");

    QTest::newRow("unchanged: 256, 60 s") << 5 << 5 << 60
        << QStringList{"Počet zaznamenaných hodnot 256", "Rychlost záznamu: 60[s]", "Délka záznamu: 4hod., 16min."}
        << "1;   5,00" << "256;   6,00";
    QTest::newRow("10 to 12: 254, 1 s") << 10 << 12 << 1
        << QStringList{"Počet zaznamenaných hodnot 254", "Rychlost záznamu: 1[s]", "Délka záznamu: 0hod., 4min."}
        << "1;   10,00" << "254;   13,00";
    QTest::newRow("250 to 2 across the wrap: 248") << 250 << 2 << 3599
        << QStringList{"Počet zaznamenaných hodnot 248", "Rychlost záznamu: 3599[s]", "Délka záznamu: 247hod., 55min."}
        << "1;   250,00" << "248;   3,00";
    QTest::newRow("255 to 0: 255") << 255 << 0 << 32000
        << QStringList{"Počet zaznamenaných hodnot 255", "Rychlost záznamu: 32000[s]", "Délka záznamu: 2266hod., 40min."}
        << "1;   255,00" << "255;   1,00";
}

void TestRecordWindow::listsNewestFirst()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, rate);
    QFETCH(QStringList, header);
    QFETCH(QString, first);
    QFETCH(QString, last);
    std::array<float, RecordValueCount> ring{};
    for (int k = 0; k < RecordValueCount; ++k)
        ring[k] = float(k);
    const QStringList lines = recordLines(listedSamples(ring, before, after), rate,
                                          QDateTime(QDate(2026, 12, 7), QTime(9, 5, 7)));
    const QStringList expected = QStringList{"Záznam z regulátoru    7.12.2026     9:05:07"} + header
        + QStringList{"Údaj s pořadovým číslem 1 je poslední (aktuální) záznam",
                      "---------------------------------------------------------------------------------------------",
                      first};
    QCOMPARE(lines.mid(0, 7), expected);
    QCOMPARE(lines.last(), last);
    QCOMPARE(lines.size(), last.section(';', 0, 0).toInt() + 6);
}

void TestRecordWindow::readOut_data()
{
    QTest::addColumn<QList<int>>("failingBlocks");
    QTest::addColumn<int>("positionAfter");   // where the record stands from block 8 on; -1: unchanged
    QTest::addColumn<QString>("countLine");
    QTest::addColumn<QString>("position48");  // in block 3
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("every block answers") << QList<int>{} << -1 << "Počet zaznamenaných hodnot 256"
                                         << "208;   48,25" << QStringList{};
    QTest::newRow("three blocks fail, two samples taken meanwhile")
        << QList<int>{3, 8, 12} << 1 << "Počet zaznamenaných hodnot 254" << "208;   0,00"
        << QStringList{"Komunikace: Chyba při čtení záznamu"};
}

void TestRecordWindow::readOut()
{
    QFETCH(QList<int>, failingBlocks);
    QFETCH(int, positionAfter);
    QFETCH(QString, countLine);
    QFETCH(QString, position48);
    QFETCH(QStringList, boxes);
    RecordRig rig;
    rig.sim->setLiveRunning(false);
    rig.sim->modifyImage([](ControllerImage& image) {
        for (int k = 0; k < RecordValueCount; ++k)
            image.recordValues[k] = float(k) + 0.25f;
        image.recd.pos = 255;
    });
    rig.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));

    // Each request with the bar's position; a failing block's answer is corrupted once, so
    // its retry reads nothing.
    QStringList requests;
    rig.traceSink = [&](bool outgoing, const QByteArray& bytes) {
        const QString request = outgoing ? describeRequest(bytes) : QString();
        if (request == "read 12/64" && failingBlocks.removeOne(rig.bar.value()))
            rig.sim->corruptAnswers(1);
        if (request == "read 12/64" && rig.bar.value() == 8 && positionAfter >= 0)
            rig.sim->modifyImage([&](ControllerImage& image) { image.recd.pos = uint8_t(positionAfter); });
        const QString seen = request + "@" + (rig.bar.isVisible() ? QString::number(rig.bar.value()) : "hidden");
        if (outgoing && (requests.isEmpty() || requests.last() != seen))   // a retry repeats its request
            requests << seen;
    };
    rig.window.tl_cteniClick();

    QCOMPARE(requests.join(' '),
             QString("read 10/3@0 read 12/100@0 read 12/64@0 read 12/64@1 read 12/64@2 read 12/64@3 read 12/64@4 "
                     "read 12/64@5 read 12/64@6 read 12/64@7 read 12/64@8 read 12/64@9 read 12/64@10 read 12/64@11 "
                     "read 12/64@12 read 12/64@13 read 12/64@14 read 12/64@15 read 12/100@15"));
    QCOMPARE(rig.boxes(), boxes);
    QVERIFY(!rig.bar.isVisible());
    const QStringList lines = rig.lines();
    QCOMPARE(lines[1], countLine);
    QCOMPARE(lines[6], QString("1;   255,25"));
    QCOMPARE(lines[6 + 207], position48);
    // Newest at the right of the plot; the list kept while the window is closed.
    QCOMPARE(rig.chart.pointCount(), lines.size() - 6);
    QCOMPARE(rig.chart.pointValue(rig.chart.pointCount() - 1), 255.25);
    rig.window.hide();
    rig.window.show();
    QCOMPARE(rig.lines(), lines);
    // And read again.
    requests.clear();
    rig.window.tl_cteniClick();
    QCOMPARE(requests.size(), 19);
}

void TestRecordWindow::exportsTheList_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");   // null: no file

    QTest::newRow("before any read-out: an empty file") << QStringList{} << "zaznam.txt" << QByteArray("");
    QTest::newRow("Windows-1250 with CR LF") << QStringList{"Záznam z regulátoru", "1;   -21,50"} << "zaznam.txt"
                                             << QByteArray("Z\xE1znam z regul\xE1toru\r\n1;   -21,50\r\n");
    QTest::newRow("no such folder: the error box") << QStringList{"1;   2,00"} << "chybi/zaznam.txt" << QByteArray();
}

void TestRecordWindow::exportsTheList()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QTemporaryDir folder;
    const QString path = folder.filePath(fileName);
    RecordRig rig;
    rig.list.addItems(lines);
    rig.prompts.fileAnswers << path;
    rig.window.tl_ulozitClick();

    const FileDialogRequest request = rig.prompts.recordsOf(PromptRecord::SaveFile).value(0).request;
    QCOMPARE(QStringList({request.title, request.fileName, request.filter, request.defaultSuffix}),
             QStringList({"Uložit soubor jako", "Záznam z regulátoru", "Textový soubor [*.txt] (*.txt)", "TXT"}));
    QFile file(path);
    QCOMPARE(file.exists(), !bytes.isNull());
    QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), bytes);
    QCOMPARE(rig.boxes(), bytes.isNull() ? QStringList{"KV-10: Cannot create file " + QDir::toNativeSeparators(path)} : QStringList{});
    QCOMPARE(rig.lines(), lines);
}

// The read-out on the session's own thread, stopped while block 5 is on the line: that
// exchange ends, nothing more is sent, and the window keeps no part of the record.
void TestRecordWindow::stoppedReadOut_data()
{
    QTest::addColumn<QString>("closedBy");
    QTest::newRow("Storno") << "tl_cancel";
    QTest::newRow("Esc") << "Esc";
    QTest::newRow("close box") << "close";
}

void TestRecordWindow::stoppedReadOut()
{
    QFETCH(QString, closedBy);
    sim::SimulatedStation station;
    sim::SimulatedTransport memory{station};
    CountingWaiter waiter;
    QMutex guard;
    QStringList requests;
    QSemaphore atBlock5;
    QSemaphore held;
    HexTrace trace{[&](bool outgoing, const QByteArray& bytes) {
        if (!outgoing)
            return;
        QMutexLocker locked(&guard);
        requests << describeRequest(bytes);
        if (requests.count("read 12/64") == 6) {
            atBlock5.release();
            held.tryAcquire(1, 5000);
        }
    }};
    SessionRunner runner(
        [&] {
            auto session = std::make_unique<ControllerSession>(waiter);
            session->link().setTransport(&memory);
            session->link().addTrace(&trace);
            return session;
        },
        SessionRunner::Mode::OwnThread);
    ScriptedPrompts prompts;
    ControllerImage shown;
    ControllerRecordWindow window(runner, shown, prompts);
    auto& list = *window.findChild<QListWidget*>("ListBox");
    auto& bar = *window.findChild<QProgressBar*>("bargraf");
    auto& save = *window.findChild<QPushButton*>("tl_ulozit");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.findChild<QPushButton*>("tl_cteni")->click();
    QVERIFY(atBlock5.tryAcquire(1, 5000));
    QTRY_COMPARE(bar.value(), 5);
    QVERIFY(!save.isEnabled());
    // A second click reads nothing more.
    QPushButton& read = *window.findChild<QPushButton*>("tl_cteni");
    QVERIFY(!read.isEnabled());
    window.tl_cteniClick();
    if (closedBy == "tl_cancel")
        window.findChild<QPushButton*>("tl_cancel")->click();
    else if (closedBy == "Esc")
        QTest::keyClick(&window, Qt::Key_Escape);
    else
        window.close();
    QVERIFY(!window.isVisible());
    held.release();
    QTRY_VERIFY(!window.reading());

    QCOMPARE(requests.join(' '), QString("read 10/3 read 12/100 read 12/64 read 12/64 read 12/64 read 12/64 "
                                         "read 12/64 read 12/64"));
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.item(0)->text(), QString("Čtení záznamu přerušeno."));
    QCOMPARE(window.findChild<TrendChart*>("Chart1")->pointCount(), 0);
    QVERIFY(!bar.isVisible());
    QVERIFY(!save.isEnabled());
    window.tl_ulozitClick();
    QCOMPARE(prompts.records.size(), 0);
}

QTEST_MAIN(TestRecordWindow)
#include "tst_recordwindow.moc"
