// The telegram monitor: recorded frames become lines, the line limit, the menu item and the
// trace that exists only while the window is shown, and the export file.
#include "AppContext.h"
#include "SetClock.h"
#include "FakeTransport.h"
#include "MainWindow.h"
#include "MemorySettings.h"
#include "ScriptedPrompts.h"
#include "Telegram.h"
#include "TelegramMonitor.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace kv10;
using namespace kv10::test;

Q_DECLARE_METATYPE(kv10::TraceEvent)

namespace {

TraceEvent sent(qint64 ms, const char* hex) { return {TraceKind::Sent, QByteArray::fromHex(hex), 0, ms}; }
TraceEvent received(qint64 ms, const char* hex) { return {TraceKind::Received, QByteArray::fromHex(hex), 0, ms}; }
TraceEvent noAnswer(qint64 ms, int expected) { return {TraceKind::NoAnswer, {}, expected, ms}; }

const char* const ReadPid = "68 08 08 68 01 00 6C 01 04 0D 00 00 7F 16";
const char* const WritePid = "68 15 15 68 01 00 63 02 04 0D 00 00 41 48 00 00 42 C8 00 00 00 00 00 00 01 0B 16";
const QString ReadPidLine = "čtení tabulky PID (13 B), stanice 1       68 08 08 68 01 00 6C 01 04 0D 00 00 7F 16";
const QString WritePidLine = "zápis tabulky PID (13 B), stanice 1       "
                             "68 15 15 68 01 00 63 02 04 0D 00 00 41 48 00 00 42 C8 00 00 00 00 00 00 01 0B 16";

} // namespace

class TestTelegramMonitor : public QObject {
    Q_OBJECT
private slots:
    void recordedFramesBecomeLines_data();
    void recordedFramesBecomeLines();
    void oldestLinesDropAtTheLimit();
    void lastSettingsItemOpensMonitorThatTracesOnlyWhileShown();
    void exportWritesTheLinesOrSaysWhyNot();

private:
    test::SetClock m_clock{QDateTime(QDate(2026, 12, 7), QTime(14, 3, 7, 123))};
    ScriptedPrompts m_prompts;
};

void TestTelegramMonitor::recordedFramesBecomeLines_data()
{
    QTest::addColumn<QList<TraceEvent>>("events");
    QTest::addColumn<bool>("otherThread");   // told on the session's thread, not the window's
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("read answered")
        << QList{sent(1000, ReadPid), received(1012, "68 10 10 68 00 01 08 41 48 00 00 42 C8 00 00 00 00 00 00 01 9D 16")}
        << false << QStringList{"14:03:07.123  →  " + ReadPidLine,
                                "14:03:07.135  ←  data tabulky PID (13 B), stanice 1        "
                                "68 10 10 68 00 01 08 41 48 00 00 42 C8 00 00 00 00 00 00 01 9D 16"};
    QTest::newRow("write acknowledged")
        << QList{sent(1000, WritePid), received(1530, "10 00 01 00 01 16")}
        << false << QStringList{"14:03:07.123  →  " + WritePidLine,
                                "14:03:07.653  ←  potvrzení, stanice 1                      10 00 01 00 01 16"};
    QTest::newRow("write refused")
        << QList{sent(1000, WritePid), received(1530, "10 00 01 01 02 16")}
        << false << QStringList{"14:03:07.123  →  " + WritePidLine,
                                "14:03:07.653  ←  odmítnutí (kód 01), stanice 1             10 00 01 01 02 16"};
    QTest::newRow("bad checksum")
        << QList{sent(1000, ReadPid), received(1012, "68 10 10 68 00 01 08 41 48 00 00 42 C8 00 00 00 00 00 00 01 9C 16")}
        << false << QStringList{"14:03:07.123  →  " + ReadPidLine,
                                "14:03:07.135  ←  chyba kontrolního součtu                  "
                                "68 10 10 68 00 01 08 41 48 00 00 42 C8 00 00 00 00 00 00 01 9C 16"};
    QTest::newRow("time-out, then the repeat")
        << QList{sent(1000, ReadPid), noAnswer(1534, 22), sent(1634, ReadPid)}
        << false << QStringList{"14:03:07.123  →  " + ReadPidLine, "14:03:07.657  ←  bez odpovědi (čekáno 22 B)",
                                "14:03:07.757  →  " + ReadPidLine};
    QTest::newRow("GOEXT travels as 14, broadcast")
        << QList{sent(1000, "68 08 08 68 7F 00 6C 01 0E 07 00 00 01 16")}
        << false << QStringList{"14:03:07.123  →  čtení tabulky GOEXT (7 B), všem stanicím  68 08 08 68 7F 00 6C 01 0E 07 00 00 01 16"};
    QTest::newRow("time-out and repeat, from the session's thread")
        << QList{sent(1000, ReadPid), noAnswer(1534, 22), sent(1634, ReadPid)}
        << true << QStringList{"14:03:07.123  →  " + ReadPidLine, "14:03:07.657  ←  bez odpovědi (čekáno 22 B)",
                               "14:03:07.757  →  " + ReadPidLine};
}

void TestTelegramMonitor::recordedFramesBecomeLines()
{
    QFETCH(QList<TraceEvent>, events);
    QFETCH(bool, otherThread);
    QFETCH(QStringList, lines);
    TraceHub hub;
    TelegramMonitor monitor(hub, m_clock, m_prompts);
    auto tell = [&] {
        for (const TraceEvent& e : events)
            monitor.traced(e);
    };
    if (otherThread)
        std::thread(tell).join();
    else
        tell();
    // The view shows them by itself once the window's thread has them.
    const auto* view = monitor.findChild<QPlainTextEdit*>("lv_telegramy");
    QTRY_COMPARE(view->toPlainText().split('\n'), lines);
    QCOMPARE(monitor.lines(), lines);
}

void TestTelegramMonitor::oldestLinesDropAtTheLimit()
{
    TraceHub hub;
    TelegramMonitor monitor(hub, m_clock, m_prompts);
    // 5001 requests a millisecond apart, shown in two goes: the first one drops.
    for (int ms = 0; ms <= 5000; ++ms) {
        monitor.traced(sent(ms, "10 05 00 69 6E 16"));
        if (ms == 2500)
            monitor.lines();
    }
    const QStringList lines = monitor.lines();
    QCOMPARE(lines.size(), 5000);
    QCOMPARE(lines.first(), QString("14:03:07.124  →  dotaz na stanici, stanice 5               10 05 00 69 6E 16"));
    QCOMPARE(lines.last(), QString("14:03:12.123  →  dotaz na stanici, stanice 5               10 05 00 69 6E 16"));
}

void TestTelegramMonitor::lastSettingsItemOpensMonitorThatTracesOnlyWhileShown()
{
    MemorySettings settings;
    settings.values["PORT/COM"] = "0";
    FakeTransport transport;
    CountingWaiter waiter;
    AppOptions options;
    options.sessionMode = SessionRunner::Mode::Inline;
    options.settings = &settings;
    options.prompts = &m_prompts;
    options.waiter = &waiter;
    options.clock = &m_clock;
    AppContext context(options);
    context.createWindows();
    TelegramLink& link = context.link();
    link.setTransport(&transport);
    MainWindow& main = context.mainWindow();

    QStringList items;
    for (const QAction* action : main.findChild<QMenu*>("mn_nastaveni")->actions())
        items << action->objectName() + ' ' + action->text();
    QCOMPARE(items.last(), QString("mn_monitor &Monitor telegramů"));
    QCOMPARE(items.size(), 6);
    QVERIFY(!main.telegramMonitor());
    // A hex dump listens from the start, beside the monitor, and goes on after it.
    int dumped = 0;
    HexTrace dump([&dumped](bool, const QByteArray&) { ++dumped; });
    link.addTrace(&dump);

    main.findChild<QAction*>("mn_monitor")->trigger();
    TelegramMonitor* monitor = main.telegramMonitor();
    QVERIFY(monitor && monitor->isVisible());
    QCOMPARE(monitor->windowTitle(), QString("Monitor telegramů"));
    // One answered live read, then one the controller leaves unanswered (sent three times).
    transport.answers << QByteArray::fromHex("68 14 14 68 00 00 08 41 A0 00 00 00 43 16 00 00 00 00 41 AC 00 00 00 00 2F 16");
    QVERIFY(link.ReadTable(11));
    transport.answers << QByteArray() << QByteArray();
    QVERIFY(!link.ReadTable(11));
    const QString request = "čtení tabulky LIVE (17 B), stanice 0      68 08 08 68 00 00 6C 01 0B 11 00 00 89 16";
    const QString timedOut = "bez odpovědi (čekáno 26 B)";
    QStringList meanings;
    for (const QString& line : monitor->lines())
        meanings << line.mid(17);   // after the time and the direction
    QCOMPARE(meanings, (QStringList{request,
                                    "data tabulky LIVE (17 B), stanice 0       68 14 14 68 00 00 08 41 A0 00 00 00 43 16 "
                                    "00 00 00 00 41 AC 00 00 00 00 2F 16",
                                    request, timedOut, request, timedOut, request}));

    // Paused, cleared or closed, the link has no trace and the list stands.
    auto* pause = monitor->findChild<QPushButton*>("tl_pauza");
    pause->click();
    QCOMPARE(pause->text(), QString("&Pokračovat"));
    QVERIFY(!link.hasTrace(monitor));
    pause->click();
    QCOMPARE(pause->text(), QString("&Pozastavit"));
    QVERIFY(link.hasTrace(monitor));
    monitor->findChild<QPushButton*>("tl_smazat")->click();
    QVERIFY(monitor->lines().isEmpty());
    monitor->close();
    QVERIFY(!link.hasTrace(monitor));
    transport.answers << QByteArray() << QByteArray();
    link.ReadTable(11);
    QVERIFY(monitor->lines().isEmpty());
    QCOMPARE(dumped, 7 + 5);
    link.removeTrace(&dump);
}

void TestTelegramMonitor::exportWritesTheLinesOrSaysWhyNot()
{
    TraceHub hub;
    TelegramMonitor monitor(hub, m_clock, m_prompts);
    monitor.traced(sent(1000, "10 05 00 69 6E 16"));
    monitor.traced(noAnswer(1512, 6));
    QTemporaryDir dir;
    const QString path = dir.filePath("telegramy.txt");
    m_prompts.records.clear();
    m_prompts.fileAnswers << path;
    monitor.findChild<QPushButton*>("tl_export")->click();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("14:03:07.123  \xE2\x86\x92  dotaz na stanici, stanice 5               10 05 00 69 6E 16\r\n"
                             "14:03:07.635  \xE2\x86\x90  bez odpov\xC4\x9B" "di (\xC4\x8D" "ek\xC3\xA1no 6 B)\r\n"));

    // A folder that is a plain file: the program's box for a file it cannot write.
    m_prompts.fileAnswers << dir.filePath("telegramy.txt/x.txt");
    monitor.findChild<QPushButton*>("tl_export")->click();
    const QList<PromptRecord> boxes = m_prompts.messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].caption, QString("KV-10"));
    QVERIFY2(boxes[0].text.startsWith("Nelze zapsat soubor "), qPrintable(boxes[0].text));
}

QTEST_MAIN(TestTelegramMonitor)
#include "tst_telegrammonitor.moc"
