// The serial transport on a pseudo-terminal: the test holds the master side and plays the
// controller. Times are bounded loosely; the machine may be busy.
#include "AppError.h"
#include "SerialTransport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace kv10;

namespace {

class PseudoTerminal {
public:
    PseudoTerminal()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~PseudoTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    QString slavePath() const { return m_slavePath; }
    // The far end goes away, as when the simulator ends.
    void hangUp()
    {
        ::close(m_master);
        m_master = -1;
    }

    bool send(const QByteArray& bytes) const
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
    }

    // Throws away what the port wrote and the test has not read.
    void discardUnread() const
    {
        pollfd fd{m_master, POLLIN, 0};
        char buffer[256];
        while (::poll(&fd, 1, 0) > 0 && ::read(m_master, buffer, sizeof buffer) > 0) {
        }
    }

    // Whatever the port wrote, waiting up to a second for the first byte.
    QByteArray receive(int firstByteMs = 1000) const
    {
        QByteArray out;
        pollfd fd{m_master, POLLIN, 0};
        int timeout = firstByteMs;
        char buffer[256];
        while (::poll(&fd, 1, timeout) > 0) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, n);
            timeout = 50;
        }
        return out;
    }

private:
    int m_master = -1;
    QString m_slavePath;
};

QByteArray readBytes(SerialTransport& port, int n, bool* ok = nullptr, bool untilFrame = false)
{
    QByteArray buffer(n, '\0');
    int got = -1;
    auto* dest = reinterpret_cast<uint8_t*>(buffer.data());
    const bool result = untilFrame ? port.ReadFrame(dest, n, got) : port.ReadBytes(dest, n, got);
    if (ok)
        *ok = result;
    return buffer.left(got);
}

// A line as a pseudo-terminal cannot be: its driver holds what was written for `holdMs`
// (for ever with -1) before the bytes count as sent, and what it throws away of them never
// reaches the far end. It leaves the marking of faulty bytes to the test: a byte FF comes in
// as it was sent, so the far end's FF 00 x is a faulty byte.
class TestLine : public SerialDriver {
public:
    explicit TestLine(const PseudoTerminal& farEnd) : m_farEnd(farEnd) {}
    int holdMs = 0;

    bool watchLineErrors(QSerialPort& port) override
    {
        termios settings{};
        if (!SerialDriver::watchLineErrors(port) || tcgetattr(int(port.handle()), &settings) != 0)
            return false;
        settings.c_iflag &= ~tcflag_t(PARMRK);
        return tcsetattr(int(port.handle()), TCSANOW, &settings) == 0;
    }

    int outputQueued(QSerialPort& port) override
    {
        if (!m_since.isValid())
            m_since.start();
        if (holdMs < 0 || m_since.elapsed() < holdMs)
            return 1;
        m_since.invalidate();
        return SerialDriver::outputQueued(port);
    }

    void discardOutput(QSerialPort& port) override
    {
        SerialDriver::discardOutput(port);
        m_farEnd.discardUnread();   // a pseudo-terminal has passed on what a line would hold
    }

private:
    const PseudoTerminal& m_farEnd;
    QElapsedTimer m_since;
};

bool writeBytes(SerialTransport& port, const QByteArray& bytes)
{
    int written = 0;
    return port.WriteBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size()), written)
           && written == bytes.size();
}

} // namespace

class SerialTransportTest : public QObject {
    Q_OBJECT

    PseudoTerminal* m_pty = nullptr;
    SerialTransport* m_port = nullptr;

private slots:
    void init()
    {
        m_pty = new PseudoTerminal;
        QVERIFY(!m_pty->slavePath().isEmpty());
        m_port = new SerialTransport;
        m_port->OpenPort(m_pty->slavePath(), QStringLiteral("COM3"), 9600);
        QVERIFY(m_port->isOpen());
    }

    void cleanup()
    {
        delete m_port;
        delete m_pty;
    }

    void openFailureNamesThePort()
    {
        SerialTransport other;
        try {
            other.OpenPort(QStringLiteral("/dev/kv10-no-such-device"), QStringLiteral("COM5"), 9600);
            QFAIL("no error raised");
        } catch (const AppError& error) {
            QCOMPARE(error.text(), QStringLiteral("Sériový port COM5 nelze otevřít"));
        }
        QVERIFY(!other.isOpen());
        bool ok = true;
        QCOMPARE(readBytes(other, 6, &ok), QByteArray());
        QVERIFY(!ok);
        QVERIFY(!writeBytes(other, "x"));
    }

    // A run killed while it had the port open leaves the terminal in our 8E1 settings, and a
    // pseudo-terminal has kept every one of them but the parity. The next run must get in.
    void reopensAPseudoTerminalLeftInOurSettings()
    {
        PseudoTerminal pty;
        termios leftBehind{};
        {
            QSerialPort killedRun(pty.slavePath());
            killedRun.setBaudRate(9600);
            killedRun.setDataBits(QSerialPort::Data8);
            killedRun.setParity(QSerialPort::EvenParity);
            killedRun.setStopBits(QSerialPort::OneStop);
            killedRun.setFlowControl(QSerialPort::NoFlowControl);
            QVERIFY(killedRun.open(QIODevice::ReadWrite));
            QCOMPARE(tcgetattr(int(killedRun.handle()), &leftBehind), 0);
        }
        // The port put back the terminal's old settings on close; a killed run would not have.
        const int slave = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(slave >= 0);
        const bool kept = tcsetattr(slave, TCSANOW, &leftBehind) == 0;
        ::close(slave);
        QVERIFY(kept);
        SerialTransport next;
        try {
            next.OpenPort(pty.slavePath(), QStringLiteral("COM4"), 9600);
        } catch (const AppError& error) {
            QFAIL(qPrintable(error.text()));
        }
        QVERIFY(next.isOpen());
        QVERIFY(writeBytes(next, "REQ"));
        QCOMPARE(pty.receive(), QByteArray("REQ"));
        QVERIFY(pty.send("ANS"));
        QCOMPARE(readBytes(next, 3), QByteArray("ANS"));
    }

    void portIsExclusive()
    {
        SerialTransport other;
        QVERIFY_THROWS_EXCEPTION(AppError, other.OpenPort(m_pty->slavePath(), QStringLiteral("COM3"), 9600));
        QVERIFY(!other.isOpen());
    }

    // 500 ms plus 2 ms a byte, or plus the bytes' wire time (11 bits each) on a slower line.
    void readTotalTimeout_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("expectedMs");
        QTest::newRow("live table at 9600") << 9600 << 26 << 552;
        QTest::newRow("longest read at 9600") << 9600 << 255 << 1010;
        QTest::newRow("program block at 115200") << 115200 << 89 << 678;
        QTest::newRow("program block at 9600") << 9600 << 89 << 678;
        QTest::newRow("live table at 4800") << 4800 << 26 << 560;
        QTest::newRow("program block at 1200") << 1200 << 89 << 1316;
        QTest::newRow("longest read at 1200") << 1200 << 255 << 2838;
        QTest::newRow("live table at 110") << 110 << 26 << 3100;
        QTest::newRow("line without pace") << 0 << 89 << 678;
    }

    void readTotalTimeout()
    {
        QFETCH(int, baudRate);
        QFETCH(int, n);
        QTEST(readTotalTimeoutMs(n, baudRate), "expectedMs");
    }

    void readWithNothingWaitsForTotalTimeout_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("expectedMs");
        QTest::newRow("live table at 9600") << 9600 << 26 << 552;
        QTest::newRow("program block at 1200") << 1200 << 89 << 1316;
    }

    void readWithNothingWaitsForTotalTimeout()
    {
        QFETCH(int, baudRate);
        QFETCH(int, n);
        QFETCH(int, expectedMs);
        m_port->SetBaudRate(baudRate);
        QElapsedTimer clock;
        clock.start();
        bool ok = false;
        QCOMPARE(readBytes(*m_port, n, &ok), QByteArray());
        QVERIFY(ok);
        QCOMPARE_GE(clock.elapsed(), expectedMs - 10);
        QCOMPARE_LT(clock.elapsed(), expectedMs + 4000);
    }

    void readEndsAfterGap()
    {
        QVERIFY(m_pty->send("ABC"));
        std::thread late([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            m_pty->send("DEF");
        });
        QElapsedTimer clock;
        clock.start();
        const QByteArray first = readBytes(*m_port, 10);
        const qint64 elapsed = clock.elapsed();
        late.join();
        QCOMPARE(first, QByteArray("ABC"));
        QVERIFY2(elapsed >= 90 && elapsed < 400, qPrintable(QString::number(elapsed)));
        QCOMPARE(readBytes(*m_port, 10), QByteArray("DEF"));
    }

    // A frame read ends as soon as a whole variable telegram is in; anything else still
    // ends by the 100 ms gap.
    void readFrameEndsWithTheTelegram_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("max");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("byGap");
        const QByteArray telegram = QByteArray::fromHex("68 05 05 68 00 01 08 41 42 8C 16");
        QTest::newRow("whole telegram") << telegram << 255 << telegram << false;
        QTest::newRow("bytes after it stay unread") << telegram + "XYZ" << 255 << telegram << false;
        QTest::newRow("longer than asked") << telegram << 8 << QByteArray::fromHex("68 05 05 68 00 01 08 41") << false;
        QTest::newRow("incomplete") << telegram.left(9) << 255 << QByteArray::fromHex("68 05 05 68 00 01 08 41 42")
                                    << true;
        QTest::newRow("length bytes differ") << QByteArray::fromHex("68 05 06 68 00 01 08 41 42 8C 16") << 255
                                             << QByteArray::fromHex("68 05 06 68 00 01 08 41 42 8C 16") << true;
        QTest::newRow("short frame") << QByteArray::fromHex("10 00 01 00 01 16") << 255
                                     << QByteArray::fromHex("10 00 01 00 01 16") << true;
    }

    void readFrameEndsWithTheTelegram()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, max);
        QFETCH(QByteArray, expected);
        QFETCH(bool, byGap);
        QVERIFY(m_pty->send(sent));
        QElapsedTimer clock;
        clock.start();
        bool ok = false;
        QCOMPARE(readBytes(*m_port, max, &ok, true), expected);
        const qint64 elapsed = clock.elapsed();
        QVERIFY(ok);
        // Whole telegrams come at once here; a wait for the gap would take 100 ms.
        if (byGap)
            QVERIFY2(elapsed >= 90 && elapsed < 400, qPrintable(QString::number(elapsed)));
        else
            QVERIFY2(elapsed < 80, qPrintable(QString::number(elapsed)));
        if (sent.size() > expected.size())
            QCOMPARE(readBytes(*m_port, 10), sent.mid(expected.size()));
    }

    void readTakesNoMoreThanAsked()
    {
        QVERIFY(m_pty->send("0123456789"));
        QCOMPARE(readBytes(*m_port, 4), QByteArray("0123"));
        QCOMPARE(readBytes(*m_port, 6), QByteArray("456789"));
    }

    // Bytes that came before a request, in the driver or already in Qt's buffer, are gone.
    void writePurgesInputFirst()
    {
        QVERIFY(m_pty->send("junk"));
        QCOMPARE(readBytes(*m_port, 2), QByteArray("ju"));
        QVERIFY(m_pty->send("more"));
        QVERIFY(writeBytes(*m_port, "REQ"));
        QCOMPARE(m_pty->receive(), QByteArray("REQ"));
        QVERIFY(m_pty->send("ANS"));
        QCOMPARE(readBytes(*m_port, 3), QByteArray("ANS"));
    }

    // A far end that stops reading: the write that no longer goes out fails within its limit
    // (a second plus twice the wire time of 94 bytes at 9600 baud), and the port stays open.
    // What was left of it never goes out, not when the far end reads again, nor before the
    // next request.
    void writeThatCannotEndFails()
    {
        const QByteArray telegram(94, 'x');
        QElapsedTimer failing;
        bool failed = false;
        for (int sent = 0; sent < 5000 && !failed; ++sent) {
            failing.start();
            failed = !writeBytes(*m_port, telegram);
        }
        QVERIFY(failed);
        QCOMPARE_LT(failing.elapsed(), 1216 + 500);
        QCOMPARE_GE(failing.elapsed(), 1216 - 50);
        QVERIFY(m_port->isOpen());

        m_pty->discardUnread();
        QTest::qWait(100);   // the port would now pass on what it still held
        QCOMPARE(m_pty->receive(200), QByteArray());
        QVERIFY(writeBytes(*m_port, "NEXT"));
        QCOMPARE(m_pty->receive(), QByteArray("NEXT"));
    }

    // A write returns once the driver has put the request on the line, so the answer's read
    // never starts while it is still going out. A line that takes nothing within the write's
    // limit (a second plus twice the wire time of 7 bytes at 9600 baud) fails the write, and
    // the request is taken back whole: none of it reaches the far end, not even in the next
    // exchange.
    void writeReturnsWhenTheLineHasTakenIt_data()
    {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<QByteArray>("farEnd");
        QTest::newRow("sent at once") << 0 << true << 0 << 300 << QByteArray("REQUEST");
        QTest::newRow("sent after 300 ms") << 300 << true << 300 << 1000 << QByteArray("REQUEST");
        QTest::newRow("line stalls") << -1 << false << 1018 - 20 << 1018 + 500 << QByteArray();
    }

    void writeReturnsWhenTheLineHasTakenIt()
    {
        QFETCH(int, holdMs);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        PseudoTerminal pty;
        auto line = std::make_unique<TestLine>(pty);
        TestLine& driver = *line;
        SerialTransport transport(std::move(line));
        transport.OpenPort(pty.slavePath(), QStringLiteral("COM2"), 9600);
        driver.holdMs = holdMs;
        QElapsedTimer clock;
        clock.start();
        QTEST(writeBytes(transport, "REQUEST"), "ok");
        QCOMPARE_GE(clock.elapsed(), minMs);
        QCOMPARE_LT(clock.elapsed(), maxMs);
        QTest::qWait(20);   // what is left in the port's own buffer could go out now
        QTEST(pty.receive(), "farEnd");
        QVERIFY(transport.isOpen());

        driver.holdMs = 0;
        QVERIFY(writeBytes(transport, "NEXT"));
        QCOMPARE(pty.receive(), QByteArray("NEXT"));
    }

    // The wait for answers still owed counts every byte that comes, also one that came with a
    // parity or framing error: the line was not quiet. FF 00 x marks a faulty byte, FF FF a
    // data byte FF.
    void discardInputCountsFaultyBytes_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing") << QByteArray() << 0;
        QTest::newRow("an answer") << QByteArray::fromHex("41 42 43") << 3;
        QTest::newRow("a data byte FF") << QByteArray::fromHex("FF FF") << 1;
        QTest::newRow("a faulty byte") << QByteArray::fromHex("FF 00 41") << 1;
        QTest::newRow("a break") << QByteArray::fromHex("FF 00 00") << 1;
        QTest::newRow("a faulty byte among others") << QByteArray::fromHex("41 FF 00 42 43") << 3;
    }

    void discardInputCountsFaultyBytes()
    {
        QFETCH(QByteArray, sent);
        PseudoTerminal pty;
        SerialTransport transport(std::make_unique<TestLine>(pty));
        transport.OpenPort(pty.slavePath(), QStringLiteral("COM2"), 9600);
        std::thread late([&pty, &sent] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            pty.send(sent);
        });
        const int discarded = transport.DiscardInput(3, 300);
        late.join();
        QTEST(discarded, "expected");
        QVERIFY(transport.isOpen());
    }

    void baudRateChange()
    {
        m_port->SetBaudRate(19200);
        QVERIFY(m_port->isOpen());
        QCOMPARE(m_port->baudRate(), 19200);
        QVERIFY(writeBytes(*m_port, "x"));
        QCOMPARE(m_pty->receive(), QByteArray("x"));
    }

    // What the transport asks of the device, which a pseudo-terminal does not all keep: it
    // drops parity, but keeps the input flags that check parity and mark faulty bytes.
    void lineSettingsAskedOfTheDevice_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::newRow("110") << 110;
        QTest::newRow("115200") << 115200;
    }

    void lineSettingsAskedOfTheDevice()
    {
        QFETCH(int, baudRate);
        PseudoTerminal pty;
        SerialTransport transport;
        transport.OpenPort(pty.slavePath(), QStringLiteral("COM2"), baudRate);
        const QSerialPort& asked = transport.port();
        QCOMPARE(asked.baudRate(), baudRate);
        QCOMPARE(asked.dataBits(), QSerialPort::Data8);
        QCOMPARE(asked.parity(), QSerialPort::EvenParity);
        QCOMPARE(asked.stopBits(), QSerialPort::OneStop);
        QCOMPARE(asked.flowControl(), QSerialPort::NoFlowControl);
        termios tty{};
        QCOMPARE(tcgetattr(int(asked.handle()), &tty), 0);
        QCOMPARE(tty.c_iflag & (INPCK | PARMRK | IGNPAR | ISTRIP | IGNBRK | BRKINT), tcflag_t(INPCK | PARMRK));
    }

    // The kernel marks a faulty byte as FF 00 x and doubles a data byte FF.
    void unmarkInput_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("used");
        QTest::newRow("doubled FF") << QByteArray::fromHex("FF FF 41") << 5 << 2 << QByteArray::fromHex("FF 41") << 3;
        QTest::newRow("no more than asked") << QByteArray::fromHex("41 FF FF 42") << 2 << 2 << QByteArray::fromHex("41 FF") << 3;
        QTest::newRow("FF not yet followed") << QByteArray::fromHex("41 FF") << 5 << 1 << QByteArray::fromHex("41") << 1;
        QTest::newRow("error mark not yet whole") << QByteArray::fromHex("41 FF 00") << 5 << 1 << QByteArray::fromHex("41") << 1;
        QTest::newRow("data before an error") << QByteArray::fromHex("41 FF 00 42 43") << 5 << 1 << QByteArray::fromHex("41") << 1;
        QTest::newRow("parity or framing error") << QByteArray::fromHex("FF 00 42 43") << 5 << -1 << QByteArray() << 3;
        QTest::newRow("break") << QByteArray::fromHex("FF 00 00") << 5 << -1 << QByteArray() << 3;
    }

    void unmarkInput()
    {
        QFETCH(QByteArray, raw);
        QFETCH(int, n);
        QFETCH(QByteArray, data);
        uint8_t dest[16] = {};
        int used = -1;
        QTEST(SerialTransport::unmarkInput(raw, dest, n, used), "result");
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(dest), data.size()), data);
        QTEST(used, "used");
    }

    // On a pseudo-terminal the marking is live too: bytes that look like marks are data.
    void bytesLikeMarksArriveAsSent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("FF FF") << QByteArray::fromHex("FF FF");
        QTest::newRow("FF 00 41") << QByteArray::fromHex("FF 00 41");
    }

    void bytesLikeMarksArriveAsSent()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(m_pty->send(bytes));
        bool ok = false;
        QCOMPARE(readBytes(*m_port, int(bytes.size()), &ok), bytes);
        QVERIFY(ok);
    }

    // A device that fails under the open port is tried again once a second on the same path,
    // until it is back; a port the user closed stays closed.
    void failedDeviceComesBack_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("retried");
        QTest::newRow("found by a read") << "read" << true;
        QTest::newRow("found by a write") << "write" << true;
        QTest::newRow("found between exchanges") << "idle" << true;
        QTest::newRow("then closed by the user") << "close" << false;
    }

    void failedDeviceComesBack()
    {
        QFETCH(QString, how);
        QFETCH(bool, retried);
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyKV"));
        PseudoTerminal first;
        QVERIFY(QFile::link(first.slavePath(), link));
        SerialTransport transport;
        transport.OpenPort(link, QStringLiteral("COM1"), 9600);

        first.hangUp();
        QVERIFY(QFile::remove(link));
        if (how == "read")
            QCOMPARE(readBytes(transport, 6), QByteArray());
        else if (how == "write")
            QVERIFY(!writeBytes(transport, "REQ"));
        else
            QTRY_VERIFY_WITH_TIMEOUT(!transport.isOpen(), 1000);
        if (how == "close")
            transport.ClosePort();
        QVERIFY(!transport.isOpen());
        QTest::qWait(1200);   // a try that finds no device

        PseudoTerminal second;
        QVERIFY(QFile::link(second.slavePath(), link));
        QTest::qWait(1100);
        QCOMPARE(transport.isOpen(), retried);
        if (!retried)
            return;
        QVERIFY(writeBytes(transport, "REQ"));
        QCOMPARE(second.receive(), QByteArray("REQ"));
        QVERIFY(second.send("ANS"));
        QCOMPARE(readBytes(transport, 3), QByteArray("ANS"));
    }

    void refusedBaudRateClosesThePort()
    {
        try {
            m_port->SetBaudRate(0);
            QFAIL("no error raised");
        } catch (const AppError& error) {
            QCOMPARE(error.text(), QStringLiteral("Nepodařila se reinicializace portu COM3"));
        }
        QVERIFY(!m_port->isOpen());
        QVERIFY(!writeBytes(*m_port, "x"));
    }
};

QTEST_GUILESS_MAIN(SerialTransportTest)
#include "tst_serialtransport.moc"
