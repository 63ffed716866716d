// The controller session: link settings loaded and stored, the port opened, chosen and closed
// with the errors the user sees, and the snapshot that "Storno" goes back to. Each row runs
// steps on a fresh session and compares its state written out as text; "SIM" stands for the
// simulated controller's pseudo-terminal, "MISSING" for a device that does not exist.
#include "AppError.h"
#include "ControllerSession.h"
#include "FakeTransport.h"
#include "MemorySettings.h"
#include "StartedSimulator.h"

#include <QTest>
#include <memory>

using namespace kv10;
using namespace kv10::test;

namespace {

const QString Missing = QStringLiteral("/nonexistent/kv10-no-such-device");

QMap<QString, QString> storedValues(const QStringList& pairs)
{
    QMap<QString, QString> values;
    for (const QString& pair : pairs)
        values.insert(pair.section('=', 0, 0), pair.section('=', 1));
    return values;
}

// The writes of a store with the default mapping but for `devices` ("DEVICE2=/dev/ttyUSB0").
QStringList withDevices(QStringList writes, const QStringList& devices = {})
{
    for (int com = 1; com <= 8; ++com) {
        QString line = QStringLiteral("PORT/DEVICE%1=/dev/ttyS%2").arg(com).arg(com - 1);
        for (const QString& device : devices)
            if (device.startsWith(QStringLiteral("DEVICE%1=").arg(com)))
                line = QStringLiteral("PORT/") + device;
        writes << line;
    }
    return writes;
}

} // namespace

class TestControllerSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void loadSettings_data();
    void loadSettings();
    void storeSettings_data();
    void storeSettings();
    void portOperations_data();
    void portOperations();
    void restore_data();
    void restore();

private:
    struct Rig {
        CountingWaiter waiter;
        ControllerSession session{waiter};
        MemorySettings settings;
        FakeTransport memory;   // a controller in memory, for "memory N"
        QStringList errors;
    };
    std::unique_ptr<Rig> create(const QStringList& stored);
    // One step: "open N", "com N" (picked in the port list), "baud R", "da N", "sa N",
    // "device N PATH", "override N PATH", "memory N" (COM N reaches the memory transport),
    // "path PATH" (a device by its path), "close". Port errors go to the rig's errors.
    void run(Rig& rig, const QStringList& steps);
    QString path(const QString& token) const;
    // "COM1 9600 DA0 SA0 SIM": COM number, rate, addresses, and what the link talks to: the
    // serial port's device when it is open, "memory", or "closed".
    QString state(Rig& rig) const;

    std::unique_ptr<sim::SimulatedController> m_sim;
};

void TestControllerSession::initTestCase()
{
    QString error;
    m_sim = startSimulator({}, error);
    QVERIFY2(m_sim, qPrintable(error));
}

std::unique_ptr<TestControllerSession::Rig> TestControllerSession::create(const QStringList& stored)
{
    auto rig = std::make_unique<Rig>();
    rig->settings.values = storedValues(stored);
    rig->session.loadSettings(rig->settings);
    return rig;
}

QString TestControllerSession::path(const QString& token) const
{
    if (token == QLatin1String("SIM"))
        return m_sim->slavePath();
    if (token == QLatin1String("MISSING"))
        return Missing;
    return token;
}

void TestControllerSession::run(Rig& rig, const QStringList& steps)
{
    ControllerSession& session = rig.session;
    for (const QString& step : steps) {
        const QStringList words = step.split(' ');
        const int number = words.value(1).toInt();
        try {
            if (words[0] == "open")
                session.openPort(number);
            else if (words[0] == "com")
                session.chooseCom(number);
            else if (words[0] == "baud")
                session.setBaudRate(number);
            else if (words[0] == "da")
                session.setDA(number);
            else if (words[0] == "sa")
                session.setSA(number);
            else if (words[0] == "device")
                session.setDevicePath(number, path(words.value(2)));
            else if (words[0] == "override")
                session.setDeviceOverride(number, path(words.value(2)));
            else if (words[0] == "memory")
                session.setTransportOverride(number, &rig.memory);
            else if (words[0] == "path")
                session.openDevice(path(words.value(1)), words.value(1));
            else if (words[0] == "close")
                session.closePort();
            else
                QFAIL(qPrintable("unknown step " + step));
        } catch (const AppError& error) {
            rig.errors << error.text();
        }
    }
}

QString TestControllerSession::state(Rig& rig) const
{
    ControllerSession& session = rig.session;
    QString line;
    if (session.link().transport() == &rig.memory)
        line = QStringLiteral("memory");
    else if (session.link().transport() != &session.transport())
        line = QStringLiteral("no link");
    else if (!session.transport().isOpen())
        line = QStringLiteral("closed");
    else
        line = session.transport().devicePath() == m_sim->slavePath() ? QStringLiteral("SIM") : session.transport().devicePath();
    return QStringLiteral("COM%1 %2 DA%3 SA%4 %5")
        .arg(session.comNumber()).arg(session.baudRate()).arg(session.da()).arg(session.sa()).arg(line);
}

// What the settings hold is what the session uses, the addresses on the link included.
void TestControllerSession::loadSettings_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("steps");   // before the settings are read
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("devices");   // COM 1 to 3

    QTest::newRow("empty store") << QStringList{} << QStringList{}
        << "COM1 9600 DA0 SA0 closed" << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
    QTest::newRow("stored values") << QStringList{"PORT/COM=3", "PORT/BAUDRATE=19200", "ADRESA/DA=5", "ADRESA/SA=2", "PORT/DEVICE3=/dev/ttyUSB0"}
        << QStringList{} << "COM3 19200 DA5 SA2 closed" << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"};
    QTest::newRow("rate not offered") << QStringList{"PORT/BAUDRATE=14400"} << QStringList{}
        << "COM1 14400 DA0 SA0 closed" << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
    QTest::newRow("no port") << QStringList{"PORT/COM=0"} << QStringList{}
        << "COM0 9600 DA0 SA0 closed" << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
    QTest::newRow("highest addresses") << QStringList{"ADRESA/DA=126", "ADRESA/SA=126"} << QStringList{}
        << "COM1 9600 DA126 SA126 closed" << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
    QTest::newRow("addresses out of range") << QStringList{"ADRESA/DA=127", "ADRESA/SA=-1"} << QStringList{}
        << "COM1 9600 DA0 SA0 closed" << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
    QTest::newRow("not a number") << QStringList{"PORT/COM=x", "PORT/BAUDRATE=19200 Bd", "ADRESA/DA=1.5"} << QStringList{}
        << "COM1 9600 DA0 SA0 closed" << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
    QTest::newRow("override before loading") << QStringList{"PORT/DEVICE2=/dev/ttyUSB1"} << QStringList{"override 2 /tmp/kv10"}
        << "COM1 9600 DA0 SA0 closed" << QStringList{"/dev/ttyS0", "/tmp/kv10", "/dev/ttyS2"};
}

void TestControllerSession::loadSettings()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    QFETCH(QStringList, devices);
    Rig rig;
    rig.settings.values = storedValues(stored);
    run(rig, steps);
    rig.session.loadSettings(rig.settings);
    QCOMPARE(state(rig), expected);
    QCOMPARE((QStringList{rig.session.devicePathFor(1), rig.session.devicePathFor(2), rig.session.devicePathFor(3)}), devices);
    QCOMPARE(rig.settings.writes, QStringList{});
}

// A store writes every value in a fixed order; a run's overrides and "žádný port" are not kept.
void TestControllerSession::storeSettings_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<int>("comAfter");

    QTest::newRow("defaults") << QStringList{} << QStringList{}
        << withDevices({"ADRESA/SA=0", "ADRESA/DA=0", "PORT/BAUDRATE=9600", "PORT/COM=1"}) << 1;
    QTest::newRow("read back unchanged") << QStringList{"PORT/COM=3", "PORT/BAUDRATE=14400", "ADRESA/DA=5", "ADRESA/SA=2", "PORT/DEVICE3=/dev/ttyUSB0"}
        << QStringList{} << withDevices({"ADRESA/SA=2", "ADRESA/DA=5", "PORT/BAUDRATE=14400", "PORT/COM=3"}, {"DEVICE3=/dev/ttyUSB0"}) << 3;
    QTest::newRow("changed in the run") << QStringList{} << QStringList{"da 9", "sa 4", "baud 19200"}
        << withDevices({"ADRESA/SA=4", "ADRESA/DA=9", "PORT/BAUDRATE=19200", "PORT/COM=1"}) << 1;
    QTest::newRow("no port becomes COM 1") << QStringList{"PORT/COM=3"} << QStringList{"com 0"}
        << withDevices({"ADRESA/SA=0", "ADRESA/DA=0", "PORT/BAUDRATE=9600", "PORT/COM=1"}) << 1;
    QTest::newRow("failed port becomes COM 1") << QStringList{"PORT/COM=3"} << QStringList{"override 5 MISSING", "open 5"}
        << withDevices({"ADRESA/SA=0", "ADRESA/DA=0", "PORT/BAUDRATE=9600", "PORT/COM=1"}) << 1;
    QTest::newRow("device mapped") << QStringList{} << QStringList{"device 2 /dev/ttyUSB0"}
        << withDevices({"ADRESA/SA=0", "ADRESA/DA=0", "PORT/BAUDRATE=9600", "PORT/COM=1"}, {"DEVICE2=/dev/ttyUSB0"}) << 1;
    QTest::newRow("override not kept") << QStringList{"PORT/DEVICE1=/dev/ttyUSB1"} << QStringList{"override 1 /tmp/kv10"}
        << withDevices({"ADRESA/SA=0", "ADRESA/DA=0", "PORT/BAUDRATE=9600", "PORT/COM=1"}, {"DEVICE1=/dev/ttyUSB1"}) << 1;
}

void TestControllerSession::storeSettings()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, writes);
    QFETCH(int, comAfter);
    auto rig = create(stored);
    run(*rig, steps);
    // The state as a job hands it back, written on the store's own thread: the same writes.
    MemorySettings fromState;
    ControllerSession::writeSettings(rig->session.snapshot(), fromState);
    QCOMPARE(fromState.writes, writes);
    rig->session.storeSettings(rig->settings);
    QCOMPARE(rig->settings.writes, writes);
    QCOMPARE(rig->session.comNumber(), comAfter);
}

// Opening, choosing, rate changes and closing, with the error texts the user sees.
void TestControllerSession::portOperations_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<bool>("answers");   // the station answers a ping over the link

    QTest::newRow("open a mapped COM") << QStringList{"override 1 SIM", "open 1"}
        << "COM1 9600 DA0 SA0 SIM" << QStringList{} << true;
    QTest::newRow("open at another rate") << QStringList{"baud 19200", "override 1 SIM", "open 1"}
        << "COM1 19200 DA0 SA0 SIM" << QStringList{} << true;
    QTest::newRow("rate on the open port") << QStringList{"override 1 SIM", "open 1", "baud 38400"}
        << "COM1 38400 DA0 SA0 SIM" << QStringList{} << true;
    QTest::newRow("COM without a device") << QStringList{"override 5 MISSING", "open 5"}
        << "COM0 9600 DA0 SA0 closed" << QStringList{"Sériový port COM5 nelze otevřít"} << false;
    QTest::newRow("no port opened") << QStringList{"open 0"}
        << "COM0 9600 DA0 SA0 closed" << QStringList{"Sériový port COM0 nelze otevřít"} << false;
    QTest::newRow("failed open closes the open port") << QStringList{"override 1 SIM", "open 1", "override 5 MISSING", "open 5"}
        << "COM0 9600 DA0 SA0 closed" << QStringList{"Sériový port COM5 nelze otevřít"} << false;
    QTest::newRow("device by its path") << QStringList{"path MISSING"}
        << "COM1 9600 DA0 SA0 closed" << QStringList{"Sériový port MISSING nelze otevřít"} << false;
    QTest::newRow("device by its path opens") << QStringList{"path SIM"}
        << "COM1 9600 DA0 SA0 SIM" << QStringList{} << true;
    QTest::newRow("no port keeps the open port") << QStringList{"override 1 SIM", "open 1", "com 0"}
        << "COM0 9600 DA0 SA0 SIM" << QStringList{} << true;
    QTest::newRow("another COM reopens") << QStringList{"override 2 SIM", "com 2"}
        << "COM2 9600 DA0 SA0 SIM" << QStringList{} << true;
    QTest::newRow("mapped device") << QStringList{"device 3 SIM", "com 3"}
        << "COM3 9600 DA0 SA0 SIM" << QStringList{} << true;
    QTest::newRow("close") << QStringList{"override 1 SIM", "open 1", "close"}
        << "COM1 9600 DA0 SA0 closed" << QStringList{} << false;
    QTest::newRow("memory instead of COM 1") << QStringList{"override 1 SIM", "open 1", "memory 1", "open 1"}
        << "COM1 9600 DA0 SA0 memory" << QStringList{} << false;
    QTest::newRow("memory only for its COM") << QStringList{"memory 1", "override 2 SIM", "com 2"}
        << "COM2 9600 DA0 SA0 SIM" << QStringList{} << true;
    QTest::newRow("back from memory") << QStringList{"memory 1", "open 1", "override 2 SIM", "com 2"}
        << "COM2 9600 DA0 SA0 SIM" << QStringList{} << true;
}

void TestControllerSession::portOperations()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    QFETCH(QStringList, errors);
    QFETCH(bool, answers);
    auto rig = create({});
    run(*rig, steps);
    QCOMPARE(state(*rig).replace(Missing, "MISSING"), expected);
    QCOMPARE(rig->errors.replaceInStrings(Missing, "MISSING"), errors);
    QCOMPARE(rig->session.link().PingStation(), answers);
}

// "Storno": a snapshot, changes, and the way back in the order COM, rate, DA, SA; a port that
// cannot be opened again stops it there.
void TestControllerSession::restore_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("before");   // before the snapshot
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("errors");

    const QStringList simAtCom1 = {"override 1 SIM", "open 1"};
    QTest::newRow("nothing changed") << QStringList{} << simAtCom1 << QStringList{}
        << false << "COM1 9600 DA0 SA0 SIM" << QStringList{};
    QTest::newRow("same value again") << QStringList{} << simAtCom1 << QStringList{"da 7", "da 0"}
        << false << "COM1 9600 DA0 SA0 SIM" << QStringList{};
    QTest::newRow("rate") << QStringList{} << simAtCom1 << QStringList{"baud 19200"}
        << true << "COM1 9600 DA0 SA0 SIM" << QStringList{};
    QTest::newRow("addresses") << QStringList{"ADRESA/DA=3", "ADRESA/SA=1"} << simAtCom1 << QStringList{"da 9", "sa 4"}
        << true << "COM1 9600 DA3 SA1 SIM" << QStringList{};
    QTest::newRow("no port chosen") << QStringList{} << simAtCom1 << QStringList{"com 0", "close"}
        << true << "COM1 9600 DA0 SA0 SIM" << QStringList{};
    QTest::newRow("back to no port") << QStringList{} << QStringList{"com 0"} << simAtCom1
        << true << "COM0 9600 DA0 SA0 SIM" << QStringList{};
    QTest::newRow("device of the open port") << QStringList{} << QStringList{"device 1 SIM", "open 1"}
        << QStringList{"device 1 MISSING", "open 1"}
        << true << "COM1 9600 DA0 SA0 SIM" << QStringList{"Sériový port COM1 nelze otevřít"};
    QTest::newRow("device changed under the same COM") << QStringList{} << simAtCom1 << QStringList{"override 1 MISSING", "close"}
        << true << "COM1 9600 DA0 SA0 SIM" << QStringList{};
    QTest::newRow("failed reopen stops") << QStringList{"PORT/COM=5", "ADRESA/DA=2"} << QStringList{"override 5 MISSING"}
        << QStringList{"override 1 SIM", "open 1", "baud 19200", "da 9"}
        << true << "COM0 19200 DA9 SA0 closed" << QStringList{"Sériový port COM5 nelze otevřít"};
}

void TestControllerSession::restore()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(bool, changed);
    QFETCH(QString, expected);
    QFETCH(QStringList, errors);
    auto rig = create(stored);
    run(*rig, before);
    const ControllerSession::Snapshot old = rig->session.snapshot();
    run(*rig, after);
    QCOMPARE(!rig->session.snapshot().sameSettings(old), changed);
    try {
        rig->session.restore(old);
    } catch (const AppError& error) {
        rig->errors << error.text();
    }
    QCOMPARE(state(*rig), expected);
    QCOMPARE(rig->errors, errors);
}

QTEST_GUILESS_MAIN(TestControllerSession)
#include "tst_controllersession.moc"
