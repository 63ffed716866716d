// The port dialog: settings, port changes, "Storno" with its question, and the address
// search. The port is a pseudo-terminal with the simulated controller on its far side; the
// full 127-address search runs on a scripted transport, since every silent address costs
// a read time-out of about half a second on a real line. Most cases run the session's jobs
// inline; the last ones run them on the session's own thread, in real time.
#include "ControllerSession.h"
#include "FakeTransport.h"
#include "MemorySettings.h"
#include "Protocol.h"
#include "ScriptedPrompts.h"
#include "SimulatedController.h"
#include "Telegram.h"
#include "PortDialog.h"
#include "SessionRunner.h"

#include <QApplication>
#include <QSemaphore>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <atomic>
#include <memory>

using namespace kv10;
using namespace kv10::test;

namespace {

const QString Missing = QStringLiteral("/nonexistent/kv10-no-such-device");

// Answer to the station request: 10 DA SA 00 FCS 16.
QByteArray positiveAck(uint8_t da, uint8_t sa)
{
    return shortFrame(da, sa, FcAckPositive);
}

} // namespace

class TestPortDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void emptyStoreOpensCom1At9600WithAddressesZero();
    void storedRateNotInListSelectsNothingAndOpensAtThatRate();
    void storedBusAddresses_data();
    void storedBusAddresses();
    void noPortAndOkStoresCom1AndKeepsPortOpen();
    void closeStoresSettingsInOrder();
    void stornoWithYesRestoresBaudRate();
    void stornoWithNoKeepsChangesAndAsksNoMore();
    void stornoWithoutChangesAsksNothing();
    void escapePressesStorno();
    void enterPressesFocusedButtonElseOk();
    void addressTableTakesNoInput();
    void missingDeviceIsReportedAndLeavesNoPort();
    void devicePathCanBeChangedAndIsStored();
    void stornoRestoresDevicePath();
    void overrideIsNotStored();
    void fullSearchFindsExactlyTheAnsweringStations();
    void interruptKeepsCellsFound();
    void closingDuringSearchDoesNotStopIt();
    void searchOnPseudoTerminal();
    void changeWhileTheLineIsHeld_data();
    void changeWhileTheLineIsHeld();
    void searchStoppedWhileTheLineIsHeld_data();
    void searchStoppedWhileTheLineIsHeld();

private:
    struct Rig {
        explicit Rig(SessionRunner::Mode mode) : runner([this] { return std::make_unique<ControllerSession>(waiter); }, mode) {}
        QStringList log;
        MemorySettings settings{&log};
        ScriptedPrompts prompts{&log};
        CountingWaiter waiter;
        std::atomic<int> sent{0};   // requests on the line
        HexTrace trace{[this](bool outgoing, const QByteArray&) { sent += outgoing ? 1 : 0; }};
        SessionRunner runner;
        // Inline only: the session itself.
        ControllerSession& session() { return runner.session(); }
        // Holds the line with a job (a live read of a silent station) until `held` is released.
        QSemaphore holding, held;
        bool holdLine()
        {
            runner.post(nullptr, [this](ControllerSession&, const StopRequest&) { holding.release(); held.tryAcquire(1, 5000); }, [] {});
            return holding.tryAcquire(1, 5000);
        }
        TelegramLink& link() { return session().link(); }
        std::unique_ptr<PortDialog> port;
        QComboBox* combo(const char* name) { return port->findChild<QComboBox*>(name); }
        QPushButton* button(const char* name) { return port->findChild<QPushButton*>(name); }
        QTableWidget* grid() { return port->findChild<QTableWidget*>("str_tab"); }
        QString cell(int address) { return grid()->item(address / 16, address % 16)->text(); }
    };
    // Creates the dialog; COM 1 is the simulator unless `stored` maps it elsewhere.
    std::unique_ptr<Rig> create(const QMap<QString, QString>& stored = {}, bool overrideCom1 = true,
                                SessionRunner::Mode mode = SessionRunner::Mode::Inline);

    std::unique_ptr<sim::SimulatedController> m_sim;
};

void TestPortDialog::initTestCase()
{
    m_sim = std::make_unique<sim::SimulatedController>();
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
}

std::unique_ptr<TestPortDialog::Rig> TestPortDialog::create(const QMap<QString, QString>& stored, bool overrideCom1,
                                                             SessionRunner::Mode mode)
{
    auto rig = std::make_unique<Rig>(mode);
    const QString device = overrideCom1 ? m_sim->slavePath() : QString();
    rig->runner.post(nullptr, [&rig = *rig, device](ControllerSession& session, const StopRequest&) {
        if (!device.isEmpty())
            session.setDeviceOverride(1, device);
        session.link().addTrace(&rig.trace);
    }, [] {});
    rig->settings.values = stored;
    rig->port = std::make_unique<PortDialog>(rig->runner, rig->settings, rig->prompts);
    rig->port->FormCreate();
    return rig;
}

void TestPortDialog::emptyStoreOpensCom1At9600WithAddressesZero()
{
    auto rig = create();
    PortDialog& port = *rig->port;
    QCOMPARE(port.ComNumber(), 1);
    QCOMPARE(port.BaudRate(), 9600);
    QCOMPARE(port.DeviceAddress(), 0);
    QCOMPARE(port.PcAddress(), 0);
    QCOMPARE(rig->combo("cb_com")->currentText(), QString("COM 1"));
    QCOMPARE(rig->combo("cb_baudrate")->currentText(), QString("9600"));
    QCOMPARE(rig->combo("cb_baudrate")->count(), 14);
    QCOMPARE(rig->combo("cb_da")->currentIndex(), 0);
    QCOMPARE(rig->combo("cb_da")->count(), 127);
    QVERIFY(rig->session().transport().isOpen());
    QCOMPARE(rig->session().transport().baudRate(), 9600);
    QCOMPARE(rig->link().transport(), &rig->session().transport());
    // The simulator answers at address 0.
    QVERIFY(rig->link().PingStation());
    QVERIFY(rig->log.isEmpty());
}

void TestPortDialog::storedRateNotInListSelectsNothingAndOpensAtThatRate()
{
    auto rig = create({{"PORT/BAUDRATE", "14400"}, {"ADRESA/DA", "7"}, {"ADRESA/SA", "3"}});
    QCOMPARE(rig->combo("cb_baudrate")->currentIndex(), -1);
    QVERIFY(rig->session().transport().isOpen());
    QCOMPARE(rig->session().transport().baudRate(), 14400);
    QCOMPARE(rig->link().DA(), uint8_t(7));
    QCOMPARE(rig->link().SA(), uint8_t(3));
    QCOMPARE(rig->combo("cb_sa")->currentText(), QString("3"));
}

// Bus addresses are 0 to 126; a stored address outside takes the default 0.
void TestPortDialog::storedBusAddresses_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("address");
    QTest::newRow("DA 126") << "ADRESA/DA" << "126" << 126;
    QTest::newRow("DA 127") << "ADRESA/DA" << "127" << 0;
    QTest::newRow("DA -1") << "ADRESA/DA" << "-1" << 0;
    QTest::newRow("SA 126") << "ADRESA/SA" << "126" << 126;
    QTest::newRow("SA 127") << "ADRESA/SA" << "127" << 0;
}

void TestPortDialog::storedBusAddresses()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, address);
    auto rig = create({{key, stored}});
    const bool da = key.endsWith("DA");
    QCOMPARE(da ? rig->port->DeviceAddress() : rig->port->PcAddress(), address);
    QCOMPARE(int(da ? rig->link().DA() : rig->link().SA()), address);
    QCOMPARE(rig->combo(da ? "cb_da" : "cb_sa")->currentText(), QString::number(address));
}

void TestPortDialog::noPortAndOkStoresCom1AndKeepsPortOpen()
{
    auto rig = create();
    rig->port->show();
    rig->combo("cb_com")->setCurrentIndex(0);
    rig->port->cb_comChange();
    QCOMPARE(rig->port->ComNumber(), 0);
    QVERIFY(rig->session().transport().isOpen());
    rig->button("tl_ok")->click();
    QVERIFY(!rig->port->isVisible());
    QVERIFY(rig->settings.writes.contains("PORT/COM=1"));
    QVERIFY(rig->session().transport().isOpen());
    QVERIFY(rig->prompts.records.isEmpty());
}

void TestPortDialog::closeStoresSettingsInOrder()
{
    auto rig = create({{"ADRESA/DA", "4"}, {"ADRESA/SA", "2"}, {"PORT/BAUDRATE", "19200"}});
    rig->port->show();
    rig->port->close();   // the close box
    QStringList expected = {"ADRESA/SA=2", "ADRESA/DA=4", "PORT/BAUDRATE=19200", "PORT/COM=1"};
#ifndef Q_OS_WIN   // Windows keeps no devices: COM n is the port "COMn"
    for (int com = 1; com <= 8; ++com)
        expected << QString("PORT/DEVICE%1=/dev/ttyS%2").arg(com).arg(com - 1);
#endif
    QCOMPARE(rig->settings.writes, expected);
}

void TestPortDialog::stornoWithYesRestoresBaudRate()
{
    auto rig = create();
    rig->port->show();
    QComboBox* rates = rig->combo("cb_baudrate");
    rates->setCurrentIndex(rates->findText("19200"));
    rig->port->cb_baudrateChange();
    QCOMPARE(rig->session().transport().baudRate(), 19200);

    rig->prompts.buttonAnswers << PromptButton::Yes;
    rig->button("tl_cancel")->click();
    QCOMPARE(rig->prompts.records.size(), 1);
    const PromptRecord& question = rig->prompts.records.first();
    QCOMPARE(question.text, QString("Byly provedeny změny v nastavení.\nOpravdu se chceš vrátit k původnímu nastavení?"));
    QCOMPARE(question.caption, QString("Dotaz"));
    QCOMPARE(question.icon, PromptIcon::Question);
    QCOMPARE(question.buttons, PromptButton::Yes | PromptButton::No);
    QCOMPARE(rig->port->BaudRate(), 9600);
    QCOMPARE(rates->currentText(), QString("9600"));
    QCOMPARE(rig->session().transport().baudRate(), 9600);
    QVERIFY(rig->session().transport().isOpen());
    QVERIFY(!rig->port->isVisible());
    QCOMPARE(rig->port->result(), int(QDialog::Rejected));
    QVERIFY(rig->settings.writes.contains("PORT/BAUDRATE=9600"));
}

void TestPortDialog::stornoWithNoKeepsChangesAndAsksNoMore()
{
    auto rig = create();
    rig->port->show();
    rig->combo("cb_da")->setCurrentIndex(9);
    rig->port->cb_daChange();
    rig->prompts.buttonAnswers << PromptButton::No;
    rig->port->tl_cancelClick();
    QCOMPARE(rig->prompts.records.size(), 1);
    QCOMPARE(rig->link().DA(), uint8_t(9));
    rig->port->tl_cancelClick();
    QCOMPARE(rig->prompts.records.size(), 1);
}

void TestPortDialog::stornoWithoutChangesAsksNothing()
{
    auto rig = create();
    rig->port->show();
    rig->button("tl_cancel")->click();
    QVERIFY(rig->prompts.records.isEmpty());
    QVERIFY(!rig->port->isVisible());
}

void TestPortDialog::escapePressesStorno()
{
    auto rig = create();
    rig->port->show();
    rig->combo("cb_sa")->setCurrentIndex(4);
    rig->port->cb_saChange();
    rig->prompts.buttonAnswers << PromptButton::Yes;
    QTest::keyClick(rig->port.get(), Qt::Key_Escape);
    QCOMPARE(rig->prompts.records.size(), 1);
    QCOMPARE(rig->link().SA(), uint8_t(0));
    QVERIFY(!rig->port->isVisible());
}

void TestPortDialog::enterPressesFocusedButtonElseOk()
{
    auto rig = create();
    FakeTransport fake;
    rig->link().setTransport(&fake);
    rig->port->show();
    QApplication::setActiveWindow(rig->port.get());
    QVERIFY(QTest::qWaitForWindowActive(rig->port.get()));

    // On a focused button Enter presses that button.
    rig->button("tl_najit")->setFocus();
    QTest::keyClick(rig->button("tl_najit"), Qt::Key_Return);
    QVERIFY(rig->port->searching());
    QVERIFY(rig->port->isVisible());
    rig->button("tl_prerusit")->setFocus();
    QTest::keyClick(rig->button("tl_prerusit"), Qt::Key_Return);
    QVERIFY(!rig->port->searching());
    QVERIFY(rig->port->isVisible());

    // Elsewhere it presses "OK".
    rig->combo("cb_da")->setFocus();
    QTest::keyClick(rig->combo("cb_da"), Qt::Key_Return);
    QVERIFY(!rig->port->isVisible());
    QCOMPARE(rig->port->result(), int(QDialog::Accepted));
    rig->link().setTransport(&rig->session().transport());
}

void TestPortDialog::addressTableTakesNoInput()
{
    auto rig = create();
    rig->port->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig->port.get()));
    QTableWidget* grid = rig->grid();
    QCOMPARE(grid->focusPolicy(), Qt::NoFocus);
    grid->setCurrentCell(0, 0);
    const QRect cell = grid->visualRect(grid->model()->index(2, 5));
    // Through the window, so the click lands where a user's would.
    QTest::mouseClick(rig->port->windowHandle(), Qt::LeftButton, {}, grid->viewport()->mapTo(rig->port.get(), cell.center()));
    QCOMPARE(grid->currentRow(), 0);
    QCOMPARE(grid->currentColumn(), 0);
}

void TestPortDialog::missingDeviceIsReportedAndLeavesNoPort()
{
    auto rig = create();
    rig->session().setDeviceOverride(5, Missing);
    rig->port->show();
    QComboBox* com = rig->combo("cb_com");
    com->setCurrentIndex(5);
    emit com->activated(5);   // as the user picks it
    QCOMPARE(rig->prompts.messages().size(), 1);
    const PromptRecord box = rig->prompts.messages().first();
    QCOMPARE(box.text, QString("Sériový port COM5 nelze otevřít"));
    QCOMPARE(box.caption, QString("KV-10"));
    QCOMPARE(box.icon, PromptIcon::Error);
    QCOMPARE(com->currentIndex(), 0);
    QCOMPARE(com->currentText(), QString("žádný port"));
    QCOMPARE(rig->port->ComNumber(), 0);
    QVERIFY(!rig->session().transport().isOpen());

    // Called directly, the handler shows the same box after the same clean-up.
    com->setCurrentIndex(5);
    rig->port->cb_comChange();
    QCOMPARE(rig->prompts.boxes(), QStringList(2, "KV-10: Sériový port COM5 nelze otevřít"));
    QCOMPARE(com->currentIndex(), 0);
}

void TestPortDialog::devicePathCanBeChangedAndIsStored()
{
#ifdef Q_OS_WIN
    QSKIP("Windows names the device after the COM number: the dialog has no device field");
#endif
    auto rig = create({{"PORT/DEVICE1", Missing}}, false);
    QCOMPARE(rig->log, QStringList{"message KV-10: Sériový port COM1 nelze otevřít"});
    QCOMPARE(rig->port->ComNumber(), 0);
    rig->port->show();
    QComboBox* device = rig->combo("cb_zarizeni");
    QCOMPARE(device->currentText(), Missing);

    // The device field still belongs to COM 1: a working path, confirmed with Enter, opens
    // COM 1 on it and leaves the dialog open.
    device->setEditText(m_sim->slavePath());
    QTest::keyClick(device->lineEdit(), Qt::Key_Return);
    QVERIFY(rig->port->isVisible());
    QCOMPARE(rig->port->ComNumber(), 1);
    QCOMPARE(rig->combo("cb_com")->currentIndex(), 1);
    QVERIFY(rig->session().transport().isOpen());
    QCOMPARE(rig->session().transport().devicePath(), m_sim->slavePath());
    QVERIFY(rig->link().PingStation());

    rig->port->accept();
    QVERIFY(rig->settings.writes.contains("PORT/DEVICE1=" + m_sim->slavePath()));
    QVERIFY(rig->settings.writes.contains("PORT/COM=1"));
}

void TestPortDialog::stornoRestoresDevicePath()
{
#ifdef Q_OS_WIN
    QSKIP("Windows names the device after the COM number: the dialog has no device field");
#endif
    auto rig = create({{"PORT/DEVICE1", m_sim->slavePath()}}, false);
    rig->port->show();
    rig->combo("cb_zarizeni")->setEditText(Missing);
    rig->port->cb_zarizeniApply();
    QCOMPARE(rig->port->ComNumber(), 0);
    rig->prompts.buttonAnswers << PromptButton::Yes;
    rig->port->tl_cancelClick();
    QCOMPARE(rig->prompts.boxes(), QStringList({"KV-10: Sériový port COM1 nelze otevřít",
                                                "Dotaz: Byly provedeny změny v nastavení.\nOpravdu se chceš vrátit k původnímu nastavení?"}));
    QCOMPARE(rig->port->ComNumber(), 1);
    QCOMPARE(rig->session().devicePathFor(1), m_sim->slavePath());
    QVERIFY(rig->session().transport().isOpen());
}

void TestPortDialog::overrideIsNotStored()
{
#ifdef Q_OS_WIN
    QSKIP("Windows names the device after the COM number: the dialog has no device field");
#endif
    auto rig = create();
    QCOMPARE(rig->session().devicePathFor(1), m_sim->slavePath());
    rig->port->show();
    rig->port->accept();
    QVERIFY(rig->settings.writes.contains("PORT/DEVICE1=/dev/ttyS0"));
}

void TestPortDialog::fullSearchFindsExactlyTheAnsweringStations()
{
    auto rig = create();
    FakeTransport fake;
    for (int address = 0; address < 127; ++address)
        fake.answers << (address == 5 || address == 17 ? positiveAck(uint8_t(address), 0) : QByteArray());
    rig->link().setTransport(&fake);
    rig->link().SetDA(9);
    rig->port->show();

    rig->port->tl_najitClick();
    QVERIFY(rig->port->searching());
    for (const char* name : {"tl_ok", "tl_cancel"})
        QVERIFY(!rig->button(name)->isEnabled());
    for (const char* name : {"cb_com", "cb_baudrate", "cb_da", "cb_sa"})
        QVERIFY(!rig->combo(name)->isEnabled());
    QVERIFY(rig->button("tl_prerusit")->isEnabled());
    QVERIFY(rig->button("tl_najit")->isEnabled());

    for (int tick = 0; tick < 127; ++tick) {
        rig->port->Timer1Timer();
        QCOMPARE(rig->link().DA(), uint8_t(9));
        QCOMPARE(rig->grid()->currentRow() * 16 + rig->grid()->currentColumn(), tick);
    }
    QCOMPARE(fake.writes.size(), 127);
    for (int address = 0; address < 127; ++address) {
        QCOMPARE(uint8_t(fake.writes[address][1]), uint8_t(address));
        QCOMPARE(rig->cell(address), address == 5 ? QString("5") : address == 17 ? QString("17") : QString(" "));
    }
    QCOMPARE(rig->cell(127), QString());
    QVERIFY(!rig->port->searching());
    QVERIFY(!rig->button("tl_prerusit")->isEnabled());
    for (const char* name : {"tl_ok", "tl_cancel"})
        QVERIFY(rig->button(name)->isEnabled());
    for (const char* name : {"cb_com", "cb_baudrate", "cb_da", "cb_sa"})
        QVERIFY(rig->combo(name)->isEnabled());
    QCOMPARE(rig->port->DeviceAddress(), 9);
    QCOMPARE(rig->combo("cb_da")->currentText(), QString("9"));
    rig->link().setTransport(&rig->session().transport());
}

void TestPortDialog::interruptKeepsCellsFound()
{
    auto rig = create();
    FakeTransport fake;
    for (int address = 0; address < 127; ++address)
        fake.answers << (address == 5 || address == 17 ? positiveAck(uint8_t(address), 0) : QByteArray());
    rig->link().setTransport(&fake);
    rig->port->show();
    rig->port->tl_najitClick();
    for (int tick = 0; tick < 30; ++tick)
        rig->port->Timer1Timer();
    rig->button("tl_prerusit")->click();
    QVERIFY(!rig->port->searching());
    QCOMPARE(rig->cell(5), QString("5"));
    QCOMPARE(rig->cell(17), QString("17"));
    QCOMPARE(rig->cell(29), QString(" "));
    QVERIFY(rig->button("tl_ok")->isEnabled());
    QVERIFY(rig->combo("cb_com")->isEnabled());

    // A new search clears the grid and starts again at address 0.
    fake.answers.clear();
    rig->port->tl_najitClick();
    QCOMPARE(rig->cell(5), QString(" "));
    QCOMPARE(rig->port->probeCounter(), 0);
    rig->port->tl_prerusitClick();
    rig->link().setTransport(&rig->session().transport());
}

void TestPortDialog::closingDuringSearchDoesNotStopIt()
{
    auto rig = create();
    rig->port->show();
    rig->port->tl_najitClick();
    rig->port->close();
    QVERIFY(!rig->port->isVisible());
    QVERIFY(rig->port->searching());
    rig->port->tl_prerusitClick();
}

void TestPortDialog::searchOnPseudoTerminal()
{
    m_sim->setAddresses({0, 1, 2});
    auto rig = create();
    rig->link().SetDA(2);
    rig->port->tl_najitClick();
    for (int tick = 0; tick < 4; ++tick)   // 3 has no station: one read time-out
        rig->port->Timer1Timer();
    rig->port->tl_prerusitClick();
    m_sim->setAddresses({0});
    QCOMPARE(rig->cell(0), QString("0"));
    QCOMPARE(rig->cell(1), QString("1"));
    QCOMPARE(rig->cell(2), QString("2"));
    QCOMPARE(rig->cell(3), QString(" "));
    QCOMPARE(rig->link().DA(), uint8_t(2));
}

// On the session's own thread a change waits behind a job that holds the line (a live read of
// a silent station): the handler returns at once with the commands disabled, and the dialog
// shows, and on closing stores, what the change left once it has run.
void TestPortDialog::changeWhileTheLineIsHeld_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("closed");   // the close box right after
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("writes");

    QTest::newRow("rate") << "cb_baudrate" << "19200" << false << "COM1 19200 DA0 SA0" << QStringList{};
    QTest::newRow("device address") << "cb_da" << "5" << false << "COM1 9600 DA5 SA0" << QStringList{};
    QTest::newRow("no port") << "cb_com" << "žádný port" << false << "COM0 9600 DA0 SA0" << QStringList{};
    QTest::newRow("rate, closed at once") << "cb_baudrate" << "19200" << true << "COM1 19200 DA0 SA0"
        << QStringList{"ADRESA/SA=0", "ADRESA/DA=0", "PORT/BAUDRATE=19200", "PORT/COM=1"};
    QTest::newRow("no port, closed at once") << "cb_com" << "žádný port" << true << "COM1 9600 DA0 SA0"
        << QStringList{"ADRESA/SA=0", "ADRESA/DA=0", "PORT/BAUDRATE=9600", "PORT/COM=1"};
}

void TestPortDialog::changeWhileTheLineIsHeld()
{
    QFETCH(QString, combo);
    QFETCH(QString, item);
    QFETCH(bool, closed);
    QFETCH(QString, shown);
    QFETCH(QStringList, writes);
    auto rig = create({}, true, SessionRunner::Mode::OwnThread);
    PortDialog& port = *rig->port;
    const auto state = [&] {
        return QString("COM%1 %2 DA%3 SA%4").arg(port.ComNumber()).arg(port.BaudRate()).arg(port.DeviceAddress()).arg(port.PcAddress());
    };
    port.show();
    QTRY_VERIFY(!port.changing());
    QCOMPARE(state(), QString("COM1 9600 DA0 SA0"));

    QVERIFY(rig->holdLine());
    QComboBox* picked = rig->combo(qPrintable(combo));
    picked->setCurrentIndex(picked->findText(item));
    emit picked->activated(picked->currentIndex());
    if (closed)
        port.close();
    // Returned before the change could run.
    QVERIFY(port.changing());
    QCOMPARE(state(), QString("COM1 9600 DA0 SA0"));
    QVERIFY(!picked->isEnabled());
    QVERIFY(!rig->button("tl_ok")->isEnabled());
    QCOMPARE(rig->settings.writes, QStringList{});

    rig->held.release();
    QTRY_VERIFY(!port.changing());
    QCOMPARE(state(), shown);
    QCOMPARE(rig->settings.writes.mid(0, 4), writes);
    QVERIFY(picked->isEnabled());
    QVERIFY(rig->button("tl_ok")->isEnabled());
    QCOMPARE(rig->prompts.boxes(), QStringList{});
}

// A probe waits behind a job that holds the line. "Přerušit" stops the search: the waiting
// probe sends nothing. Closing the dialog does not: the probe goes out once the line is free.
void TestPortDialog::searchStoppedWhileTheLineIsHeld_data()
{
    QTest::addColumn<bool>("interrupted");
    QTest::addColumn<bool>("probesAfter");   // requests once the line is free
    QTest::newRow("Přerušit") << true << false;
    QTest::newRow("close box") << false << true;
}

void TestPortDialog::searchStoppedWhileTheLineIsHeld()
{
    QFETCH(bool, interrupted);
    QFETCH(bool, probesAfter);
    m_sim->setAddresses({0, 1, 2, 3, 4, 5});
    auto rig = create({}, true, SessionRunner::Mode::OwnThread);
    PortDialog& port = *rig->port;
    port.show();
    QTRY_VERIFY(!port.changing());
    port.tl_najitClick();
    // The table fills as each probe ends.
    QTRY_VERIFY(port.probeCounter() >= 3);
    QCOMPARE(rig->cell(2), QString("2"));

    QVERIFY(rig->holdLine());
    const int sent = rig->sent;
    QTest::qWait(300);   // the next probe is handed over and waits
    const int probed = port.probeCounter();
    if (interrupted)
        rig->button("tl_prerusit")->click();
    else
        port.close();
    QCOMPARE(port.searching(), !interrupted);
    QCOMPARE(rig->button("tl_ok")->isEnabled(), interrupted);

    rig->held.release();
    QTest::qWait(300);
    QCOMPARE(rig->sent > sent, probesAfter);
    QCOMPARE(port.probeCounter() > probed, probesAfter);
    port.tl_prerusitClick();
    QTRY_VERIFY(!rig->runner.busy());
    m_sim->setAddresses({0});
}

QTEST_MAIN(TestPortDialog)
#include "tst_portdialog.moc"
