// The Modbus server on a free local port, driven by libmodbus's own client and by raw sockets:
// writes through a held fake line (the reads are the request handler's table and kv10d's own
// test), frames that close, the client limit, the idle close.
#include "GatewayLogCapture.h"
#include "ModbusClient.h"
#include "ModbusServer.h"
#include "Timing.h"

#include <QTest>
#include <modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <mutex>
#include <thread>

using namespace kv10::gw;
using namespace kv10::test;

namespace {

// Holds each write until the test lets it finish with the outcome it chose.
class HeldWriter : public SetpointWriter {
public:
    void writeSetpoint(int, float, std::function<void(WriteOutcome)> done) override
    {
        std::lock_guard lock(mutex);
        ++calls;
        held = std::move(done);
    }
    bool waiting()
    {
        std::lock_guard lock(mutex);
        return bool(held);
    }
    std::mutex mutex;
    std::function<void(WriteOutcome)> held;
    int calls = 0;
};

int rawConnect(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return socket;
}

// What comes back within `waitMs`: the reply's bytes in hex, "closed", or "nothing".
QString rawAnswer(int socket, int waitMs)
{
    pollfd polled{socket, POLLIN, 0};
    if (::poll(&polled, 1, waitMs) <= 0)
        return QStringLiteral("nothing");
    char bytes[64];
    const ssize_t got = ::recv(socket, bytes, sizeof bytes, 0);
    if (got <= 0)
        return QStringLiteral("closed");
    return QString::fromLatin1(QByteArray(bytes, got).toHex(' '));
}

// Unit 1 online with a sample 3.5 s old and the setpoint 40; unit 2 configured, never online.
struct RunningServer {
    explicit RunningServer(ModbusSettings settings = {}, int port = 0)
        : server((settings.port = port, settings), {1, 2}, writer)
    {
        started = server.start(&error);
        Sample sample;
        sample.da = 1;
        sample.monotonicMs = kv10::steadyClock().nowMs() - 3500;
        sample.live = kv10::LiveTable{21.5f, 5, 22.0f, 0x00012345, -3.25f, 0, 2};
        server.updateSample(sample);
        server.updateAvailability(1, true);
        server.updateSetpoint(1, 40.0f);
    }
    HeldWriter writer;
    ModbusServer server;
    QString error;
    bool started = false;
};

} // namespace

class TestModbusServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { captureGatewayLog(); }
    void writes_data();
    void writes();
    void rawFrames_data();
    void rawFrames();
    void clientLimit();
    void idleClose();
    void portInUse();
};

void TestModbusServer::writes_data()
{
    QTest::addColumn<bool>("allowWrite");
    QTest::addColumn<QString>("writeClient");
    QTest::addColumn<WriteOutcome>("outcome");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("setpointAfter");
    QTest::addColumn<QString>("logPart");

    QTest::newRow("refused by default") << false << QString() << WriteOutcome::Written
        << "exception 1" << "4220 0000" << "refused: writing is not allowed";
    QTest::newRow("written") << true << QString() << WriteOutcome::Written
        << "written" << "422a 0000" << "write of 42.5 to unit 1 from 127.0.0.1:";
    QTest::newRow("refused by the controller") << true << QString() << WriteOutcome::Refused
        << "exception 4" << "4220 0000" << ": refused by the controller";
    QTest::newRow("no answer") << true << QString() << WriteOutcome::NoAnswer
        << "exception 11" << "4220 0000" << ": no answer";
    QTest::newRow("client not listed") << true << "10.1.2.3" << WriteOutcome::Written
        << "exception 1" << "4220 0000" << "refused: client not allowed to write";
    QTest::newRow("client listed") << true << "127.0.0.1" << WriteOutcome::Written
        << "written" << "422a 0000" << ": written";
}

void TestModbusServer::writes()
{
    QFETCH(bool, allowWrite);
    QFETCH(QString, writeClient);
    QFETCH(WriteOutcome, outcome);
    QFETCH(QString, expected);
    QFETCH(QString, setpointAfter);
    QFETCH(QString, logPart);

    ModbusSettings settings;
    settings.allowWrite = allowWrite;
    if (!writeClient.isEmpty())
        settings.writeClients << writeClient;
    RunningServer running(settings);
    QVERIFY(running.started);
    HeldWriter& writer = running.writer;
    const int port = running.server.port();

    QString result;
    std::jthread writing([&] { result = writeSetpointWords(port, 1, 0x422a, 0x0000); });   // 42.5
    if (expected != QLatin1String("exception 1")) {
        QTRY_VERIFY_WITH_TIMEOUT(writer.waiting(), 3000);
        // Other clients are served while the write waits for its line.
        QCOMPARE(readRegisters(port, 1, 3, 0, 2), QStringLiteral("4220 0000"));
        writer.held(outcome);
    }
    writing.join();
    QCOMPARE(result, expected);
    QCOMPARE(writer.calls, expected == QLatin1String("exception 1") ? 0 : 1);
    QCOMPARE(readRegisters(port, 1, 3, 0, 2), setpointAfter);
    QVERIFY2(logged(logPart), qPrintable(logPart));
}

void TestModbusServer::rawFrames_data()
{
    QTest::addColumn<QByteArray>("frameHex");
    QTest::addColumn<QString>("expected");

    QTest::newRow("good read") << QByteArray("0101 0000 0006 01 04 0007 0001") << "01 01 00 00 00 05 01 04 02 00 05";
    QTest::newRow("protocol id 1") << QByteArray("0102 0001 0006 01 04 0007 0001") << "closed";
    QTest::newRow("length field 9") << QByteArray("0103 0000 0009 01 04 0007 0001") << "closed";
    QTest::newRow("frame cut short") << QByteArray("0104 0000 0006 01 04") << "closed";
}

void TestModbusServer::rawFrames()
{
    QFETCH(QByteArray, frameHex);
    QFETCH(QString, expected);

    RunningServer running;
    const int socket = rawConnect(running.server.port());
    const QByteArray frame = QByteArray::fromHex(frameHex);
    QCOMPARE(::send(socket, frame.constData(), size_t(frame.size()), 0), ssize_t(frame.size()));
    QCOMPARE(rawAnswer(socket, 2000), expected);
    ::close(socket);
}

void TestModbusServer::clientLimit()
{
    ModbusSettings settings;
    settings.maxClients = 2;
    RunningServer running(settings);
    ModbusClient first(running.server.port(), 1);
    ModbusClient second(running.server.port(), 1);
    uint16_t word = 0;
    QCOMPARE(modbus_read_input_registers(second.ctx, 7, 1, &word), 1);   // both are in

    const int third = rawConnect(running.server.port());
    QCOMPARE(rawAnswer(third, 2000), QStringLiteral("closed"));
    ::close(third);
    QCOMPARE(modbus_read_input_registers(first.ctx, 7, 1, &word), 1);
    QCOMPARE(word, uint16_t(5));
    QVERIFY(logged(QStringLiteral("closed: already 2 clients")));
}

void TestModbusServer::idleClose()
{
    ModbusSettings settings;
    settings.idleTimeoutSeconds = 1;
    RunningServer running(settings);
    const int socket = rawConnect(running.server.port());
    QCOMPARE(rawAnswer(socket, 700), QStringLiteral("nothing"));
    QCOMPARE(rawAnswer(socket, 1500), QStringLiteral("closed"));
    ::close(socket);
    QVERIFY(logged(QStringLiteral("closed: idle for 1 s")));
}

void TestModbusServer::portInUse()
{
    RunningServer first;
    RunningServer second({}, first.server.port());
    QVERIFY(!second.started);
    QCOMPARE(second.error, QStringLiteral("127.0.0.1:%1: Address already in use").arg(first.server.port()));
}

QTEST_GUILESS_MAIN(TestModbusServer)
#include "tst_modbusserver.moc"
