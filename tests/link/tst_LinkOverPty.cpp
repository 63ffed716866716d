// The link against the simulated controller over a real pseudo-terminal: every exchange,
// the retries of a silent or misbehaving station, and the port's own failures.
#include "FakeTransport.h"
#include "SerialTransport.h"
#include "StartedSimulator.h"
#include "TableCodec.h"
#include "Telegram.h"
#include "Timing.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <mutex>

using namespace kv10;
using kv10::sim::RequestKind;
using kv10::sim::SimulatedController;
using kv10::sim::SimulatorOptions;

namespace {

constexpr uint8_t StationAddress = 1;

// Sleeps like the real waiter (or not at all), and remembers every wait.
class RecordingWaiter : public test::CountingWaiter {
public:
    void waitMs(int ms) override
    {
        CountingWaiter::waitMs(ms);
        if (sleeps)
            sleepWaiter().waitMs(ms);
    }
    bool sleeps = true;
};

QByteArray tableBytes(int table, const ControllerImage& image)
{
    QByteArray bytes(TableLengths[table], '\0');
    encodeFields(tableInfo(table), image, reinterpret_cast<uint8_t*>(bytes.data()));
    return bytes;
}

// Distinct, exactly representable values for every field of a table.
void fillTable(int table, ControllerImage& image)
{
    int n = 0;
    for (const TableField& field : tableInfo(table).fields) {
        ++n;
        switch (field.type) {
        case FieldType::Float: setFieldValue(image, field, 1.5 * n + table); break;
        case FieldType::Int16: setFieldValue(image, field, 100 * n + table); break;
        case FieldType::Byte: setFieldValue(image, field, n + table); break;
        }
    }
}

QString text(const char* zeroTerminated)
{
    return QString::fromLatin1(zeroTerminated);
}

// Every table the link can decode still holds zeros.
bool untouched(const ControllerImage& image)
{
    for (int t = 0; t < TableCount; ++t) {
        if (tableInfo(t).hasDecoder && tableBytes(t, image) != QByteArray(TableLengths[t], '\0'))
            return false;
    }
    return true;
}

using Exchange = std::function<bool(TelegramLink&)>;

} // namespace

Q_DECLARE_METATYPE(Exchange)

class LinkOverPty : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SimulatedController> m_sim;
    std::unique_ptr<SerialTransport> m_port;
    std::unique_ptr<TelegramLink> m_link;
    ControllerImage m_image;
    RecordingWaiter m_waiter;

    TelegramLink& link() { return *m_link; }
    SimulatedController& sim() { return *m_sim; }
    // Lets the simulator answer whatever is still on its way, so it cannot leak into the
    // next exchange.
    void settle()
    {
        QTest::qWait(150);
    }

private slots:
    void init()
    {
        QString error;
        m_sim = test::startSimulator({.addresses = {StationAddress}}, error);
        QVERIFY2(m_sim, qPrintable(error));
        m_port = std::make_unique<SerialTransport>();
        m_port->OpenPort(m_sim->slavePath(), QStringLiteral("COM1"), 9600);
        m_image = ControllerImage{};
        m_waiter.waits.clear();
        m_waiter.sleeps = true;
        m_link = std::make_unique<TelegramLink>(m_image, m_waiter);
        m_link->setTransport(m_port.get());
        m_link->SetDA(StationAddress);
        m_link->SetSA(0);
    }

    void cleanup()
    {
        m_link.reset();
        m_port.reset();
        m_sim.reset();
    }

    void readsEveryTable_data()
    {
        QTest::addColumn<int>("table");
        for (int t = 0; t < TableCount; ++t)
            QTest::addRow("%d %s", t, tableInfo(t).name) << t;
    }

    void readsEveryTable()
    {
        QFETCH(int, table);
        sim().setLiveRunning(false);
        QVERIFY(link().ReadTable(table));
        const ControllerImage controller = sim().image();
        if (tableInfo(table).hasDecoder)
            QCOMPARE(tableBytes(table, m_image), tableBytes(table, controller));
        else
            QVERIFY(untouched(m_image));        // block tables have no decoder
        QCOMPARE(sim().counters().of(RequestKind::Read), 1);
    }

    void defaultsLookLikeARealController()
    {
        QVERIFY(link().ReadTable(TablePid));
        QCOMPARE(m_image.pid.pb, 10.0f);
        QCOMPARE(m_image.pid.int_, 100.0f);
        QCOMPARE(m_image.pid.der, 30.0f);
        QVERIFY(link().ReadTable(TableComp));
        QCOMPARE(m_image.comp.sp, 150.0f);
        QVERIFY(link().ReadTable(TableAdd));
        QCOMPARE(m_image.add.adresa, StationAddress);
        QCOMPARE(m_image.add.zaznam, 60);
        QVERIFY(link().ReadTable(TableLive));
        QCOMPARE(m_image.live.sp, 150.0f);
        QVERIFY(m_image.live.yout >= 0 && m_image.live.yout <= 1000);
        QVERIFY(qAbs(m_image.live.ts - 22.0f) < 2.0f);
        QCOMPARE(m_image.live.fault, uint8_t(0));
        QVERIFY(m_image.live.outs & 0x1);   // heating while still below the setpoint
    }

    void writeThenReadRoundTrip_data()
    {
        QTest::addColumn<int>("table");
        for (int t = 0; t < TableCount; ++t) {
            if (tableInfo(t).hasEncoder && t != TableTime && t != TableAdd)
                QTest::addRow("%d %s", t, tableInfo(t).name) << t;
        }
    }

    void writeThenReadRoundTrip()
    {
        QFETCH(int, table);
        fillTable(table, m_image);
        const QByteArray written = tableBytes(table, m_image);
        QVERIFY(link().WriteTable(table));
        QCOMPARE(tableBytes(table, sim().image()), written);
        m_image = ControllerImage{};
        QVERIFY(link().ReadTable(table));
        QCOMPARE(tableBytes(table, m_image), written);
    }

    void writesClockAndRecordInterval()
    {
        m_image.time = {30, 15, 10, 1, 17, 5, 24};
        QVERIFY(link().WriteTable(TableTime));
        m_image.time = {};
        QVERIFY(link().ReadTable(TableTime));
        QCOMPARE(m_image.time.min, uint8_t(15));
        QCOMPARE(m_image.time.hour, uint8_t(10));
        QCOMPARE(m_image.time.mday, uint8_t(17));
        QCOMPARE(m_image.time.mont, uint8_t(5));
        QCOMPARE(m_image.time.year, uint8_t(24));
        QCOMPARE(m_image.time.wday, uint8_t(5));    // 17 May 2024 was a Friday
        QVERIFY(m_image.time.sec >= 30 && m_image.time.sec <= 32);

        m_image.time.mday = 31;
        m_image.time.mont = 2;                      // no such day: the controller refuses
        QVERIFY(!link().WriteTable(TableTime));

        settle();
        m_image.add = {StationAddress, 600};
        QVERIFY(link().WriteTable(TableAdd));
        QCOMPARE(sim().image().add.zaznam, 600);
    }

    void writingAddMovesTheStation()
    {
        m_image.add = {9, 60};
        QVERIFY(link().WriteTable(TableAdd));
        QCOMPARE(sim().addresses(), std::vector<uint8_t>{9});
        link().SetDA(9);
        QVERIFY(link().PingStation());
        QVERIFY(link().ReadTable(TableAdd));
        QCOMPARE(m_image.add.adresa, uint8_t(9));
    }

    void programBlocksRoundTrip()
    {
        for (int p = 0; p < ProgramCount; ++p) {
            m_image.startValue[p] = 10.5f + p;
            for (int s = 0; s < SegmentCount; ++s) {
                m_image.segmentSetpoint[p][s] = 100.25f * p + s;
                m_image.segmentTime[p][s] = 1000 * p + s;
            }
        }
        const ControllerImage sent = m_image;
        QVERIFY(link().WriteProgramBlock(0, 0, TableComp));
        for (int p = 0; p < ProgramCount; ++p) {
            QVERIFY(link().WriteProgramBlock(1, p, TableSegsp));
            QVERIFY(link().WriteProgramBlock(2, p, TableSegti));
        }
        const ControllerImage controller = sim().image();
        QCOMPARE(controller.startValue, sent.startValue);
        QCOMPARE(controller.segmentSetpoint, sent.segmentSetpoint);
        QCOMPARE(controller.segmentTime, sent.segmentTime);
        QCOMPARE(controller.comp.sp, 150.0f);       // the start values do not touch the setpoint

        m_image = ControllerImage{};
        QVERIFY(link().ReadProgramBlock(0, 3, TableComp));
        for (int p = 0; p < ProgramCount; ++p) {
            QVERIFY(link().ReadProgramBlock(1, p, TableSegsp));
            QVERIFY(link().ReadProgramBlock(2, p, TableSegti));
        }
        QCOMPARE(m_image.startValue, sent.startValue);
        QCOMPARE(m_image.segmentSetpoint, sent.segmentSetpoint);
        QCOMPARE(m_image.segmentTime, sent.segmentTime);
    }

    void readsTheWholeRecord()
    {
        sim().setLiveRunning(false);
        sim().modifyImage([](ControllerImage& image) {
            for (int k = 0; k < RecordValueCount; ++k)
                image.recordValues[k] = 1.25f * k - 40.0f;
            image.recd.pos = 77;
        });
        QVERIFY(link().ReadTable(TableRecd));
        QCOMPARE(m_image.recd.pos, uint8_t(77));
        m_waiter.sleeps = false;    // the controller answers at once; the waits are counted
        for (int block = 0; block < RecordBlockCount; ++block)
            QVERIFY2(link().ReadRecordBlock(block), qPrintable(QString::number(block)));
        QCOMPARE(m_image.recordValues, sim().image().recordValues);
        QList<int> expectedWaits;
        for (int block = 0; block < RecordBlockCount; ++block)
            expectedWaits << 270 << 300;
        QCOMPARE(m_waiter.waits, expectedWaits);
        QCOMPARE(sim().counters().of(RequestKind::Read), 1 + RecordBlockCount);
    }

    void storesToEepromAndAnswersPing()
    {
        QVERIFY(link().StoreToEeprom());
        QVERIFY(link().PingStation());
        const auto counters = sim().counters();
        QCOMPARE(counters.of(RequestKind::StoreEeprom), 1);
        QCOMPARE(counters.of(RequestKind::Ping), 1);
        QCOMPARE(counters.answers, 2);
    }

    void identifiesItself()
    {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(link().ReadDeviceType());
        // The read ends with the whole answer, not 100 ms of silence after it.
        QVERIFY2(clock.elapsed() < 80, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(text(m_image.deviceTypeText.data()), QStringLiteral("KORVIN 10"));
        QVERIFY(link().ReadDeviceVersion());
        QCOMPARE(text(m_image.deviceVersionText.data()), QStringLiteral("FW-R-09-01"));

        sim().setDeviceTexts(QStringLiteral("KORVIN 10 X"), QStringLiteral("FW-R-09-03"));
        QVERIFY(link().ReadDeviceVersion());
        QCOMPARE(text(m_image.deviceVersionText.data()), QStringLiteral("FW-R-09-03"));
        QCOMPARE(m_waiter.waits, QList<int>{});     // whole answers need no retry
    }

    // The other family answers neither identification the usual way, only the foreign one;
    // an earlier answer left in the receive buffer must not pass for a later one.
    void foreignDeviceIdentifies()
    {
        sim().setForeign(true);
        QVERIFY(!link().ReadDeviceType());
        QVERIFY(!link().ReadDeviceVersion());
        QVERIFY(link().ReadForeignIdent());
        const char* block = m_image.foreignIdentText.data();
        QCOMPARE(text(block), QStringLiteral("KORVIN 5"));
        QCOMPARE(text(block + 32), QStringLiteral("SN 0001"));
        QCOMPARE(text(block + 64), QStringLiteral("FW-K-05-01"));

        settle();
        sim().dropRequests(1);
        QVERIFY(!link().ReadForeignIdent());
    }

    void silentStationGetsTheProtocolsRetries_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("expectedRequests");
        QTest::addRow("read table") << Exchange([](TelegramLink& l) { return l.ReadTable(TableLive); })
                                    << int(RequestKind::Read) << 3;
        // The other exchanges, and what the next one does after them, run in test time in
        // tst_LinkInTestTime; this is the one over real time-outs.
    }

    void silentStationGetsTheProtocolsRetries()
    {
        QFETCH(Exchange, exchange);
        QFETCH(int, kind);
        QFETCH(int, expectedRequests);
        // A good exchange first: its answer stays in the receive buffer.
        QVERIFY(exchange(link()));
        const ControllerImage before = m_image;
        sim().resetCounters();
        sim().dropRequests(100);
        QVERIFY(!exchange(link()));
        QTRY_COMPARE(sim().counters().of(RequestKind(kind)), expectedRequests);
        settle();
        QCOMPARE(sim().counters().of(RequestKind(kind)), expectedRequests);
        QCOMPARE(sim().counters().answers, 0);
        QCOMPARE(tableBytes(TableLive, m_image), tableBytes(TableLive, before));
    }

    void badAnswersFailAndTheNextExchangeRecovers_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("faults");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<int>("expectedRequests");
        const Exchange read([](TelegramLink& l) { return l.ReadTable(TableLive); });
        // A wrong FCS: the second attempt only reads again, then the request goes once more.
        QTest::addRow("read, wrong FCS") << read << "corrupt" << 1 << false << 2;
        // A short answer ends its read 100 ms after its last byte; the repeat comes whole.
        QTest::addRow("read, one truncated") << read << "truncate" << 1 << true << 2;
        // The other faults run in test time in tst_LinkInTestTime.
    }

    void badAnswersFailAndTheNextExchangeRecovers()
    {
        QFETCH(Exchange, exchange);
        QFETCH(QString, fault);
        QFETCH(int, faults);
        QFETCH(bool, succeeds);
        QFETCH(int, expectedRequests);
        if (fault == QLatin1String("corrupt"))
            sim().corruptAnswers(faults);
        else if (fault == QLatin1String("refuse"))
            sim().refuseWrites(faults);
        else if (fault == QLatin1String("truncate"))
            sim().truncateAnswers(faults);
        else
            sim().garbageBeforeAnswers(faults);
        m_waiter.sleeps = true;
        QCOMPARE(exchange(link()), succeeds);
        QTRY_COMPARE(sim().counters().totalRequests(), expectedRequests);
        QTRY_COMPARE(sim().counters().answers, expectedRequests);
        settle();
        QVERIFY(exchange(link()));
        QCOMPARE(sim().counters().totalRequests(), expectedRequests + 1);
    }

    void skipsGarbageBeforeARequest()
    {
        const uint8_t garbage[] = {0x10, 0x01, 0x68, 0x05, 0x05, 0x68, 0xAA, 0x16};
        int written = 0;
        QVERIFY(m_port->WriteBytes(garbage, int(sizeof garbage), written));
        QVERIFY(link().ReadTable(TablePid));
        QCOMPARE(sim().counters().of(RequestKind::Read), 1);
        QVERIFY(sim().counters().skippedBytes >= int(sizeof garbage));
    }

    void broadcastIsNeverAnswered()
    {
        link().SetDA(BroadcastAddress);
        QVERIFY(link().ReadTable(TablePid));   // only the send counts
        QVERIFY(untouched(m_image));
        QTRY_COMPARE(sim().counters().broadcasts, 1);
        QCOMPARE(sim().counters().answers, 0);
        QCOMPARE(m_waiter.waits, QList<int>{});
    }

    void closedPortFailsEveryExchangeAtOnce()
    {
        m_port->ClosePort();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!link().ReadTable(TableLive));
        QVERIFY(!link().WriteTable(TablePid));
        QVERIFY(!link().StoreToEeprom());
        QVERIFY(!link().PingStation());
        QVERIFY(!link().ReadDeviceType());
        QVERIFY(!link().ReadDeviceVersion());
        QVERIFY(!link().ReadForeignIdent());
        QVERIFY(!link().ReadProgramBlock(1, 0, TableSegsp));
        QVERIFY(!link().WriteProgramBlock(1, 0, TableSegsp));
        QVERIFY(!link().ReadRecordBlock(0));
        QVERIFY(clock.elapsed() < 5000);    // no read time-out anywhere, only the fixed waits
        settle();
        QCOMPARE(sim().counters().totalRequests(), 0);

        // The simulator keeps serving when the port comes back.
        m_port->OpenPort(sim().slavePath(), QStringLiteral("COM1"), 9600);
        QVERIFY(link().ReadTable(TableLive));
    }

    // A station that answers late, past the read time-out and before the repeat is given up:
    // the acknowledgement of a repeat must never pass for that of the next write. Other delays,
    // and reads, run in test time in tst_LinkInTestTime.
    void lateAnswersNeverPassForTheNext()
    {
        const ControllerImage held = sim().image();
        sim().setAnswerDelayMs(700);

        // A write the station takes, late, and right after it one it refuses.
        m_image.pid.pb = 11;
        QVERIFY(link().WriteTable(TablePid));
        sim().refuseWrites(100);
        m_image.alarm1.splo = 22;
        QVERIFY2(!link().WriteTable(TableAlarm1), "a refused write was reported as done");
        QCOMPARE(sim().image().alarm1.splo, held.alarm1.splo);
        QCOMPARE(sim().image().pid.pb, 11.0f);
    }

    // An answer to a request of an earlier run comes in while the port is closed: it waits on
    // the line when the port opens again, and the first exchange must not take it for its own.
    void answerLeftOnTheLineIsNotTheNext_data()
    {
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("expectedRequests");
        QTest::addRow("read table") << Exchange([](TelegramLink& l) { return l.ReadTable(TablePid); })
                                    << int(RequestKind::Read) << 2;
        QTest::addRow("ping") << Exchange([](TelegramLink& l) { return l.PingStation(); })
                              << int(RequestKind::Ping) << 1;
    }

    void answerLeftOnTheLineIsNotTheNext()
    {
        QFETCH(Exchange, exchange);
        QFETCH(int, kind);
        QFETCH(int, expectedRequests);
        // Late enough to come while the port is closed.
        constexpr int LateMs = 100;
        sim().setAnswerDelayMs(LateMs);
        // The live table of station 1, asked for by PC 0.
        const uint8_t request[] = {0x68, 0x08, 0x08, 0x68, 0x01, 0x00, 0x6C, 0x01, 0x0B, 0x11, 0x00, 0x00, 0x8A, 0x16};
        int written = 0;
        QVERIFY(m_port->WriteBytes(request, int(sizeof request), written));
        m_port->ClosePort();
        QTRY_COMPARE(sim().counters().answers, 1);   // counted before its delay
        QTest::qWait(LateMs + 400);
        sim().setAnswerDelayMs(0);

        m_port->OpenPort(sim().slavePath(), QStringLiteral("COM1"), 9600);
        QVERIFY(exchange(link()));
        QCOMPARE(sim().counters().of(RequestKind(kind)), expectedRequests);
        QCOMPARE(m_waiter.waits, QList<int>{});     // at the first try
    }

    void severalAddressesAnswerPing()
    {
        sim().setAddresses({1, 5, 17});
        for (uint8_t address : {1, 5, 17}) {
            link().SetDA(address);
            QVERIFY2(link().PingStation(), qPrintable(QString::number(address)));
        }
        link().SetDA(2);
        QVERIFY(!link().PingStation());
        link().SetDA(17);
        QVERIFY(link().ReadTable(TableAdd));
        QCOMPARE(m_image.add.adresa, uint8_t(17));
        QCOMPARE(sim().counters().otherStations, 1);
    }

    // Request and answer take their wire time, 11 bits a byte; a slow line still reads a long
    // answer whole, at the first try.
    void pacesAnswersAtTheLineSpeed_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<Exchange>("exchange");
        QTest::addColumn<int>("minMs");
        // 14 request and 26 answer bytes take 45.8 ms at 9600 baud.
        QTest::newRow("live table at 9600") << 9600 << Exchange([](TelegramLink& l) { return l.ReadTable(TableLive); })
                                            << 44;
        // 14 request and 89 answer bytes take 944 ms at 1200 baud.
        QTest::newRow("program block at 1200")
            << 1200 << Exchange([](TelegramLink& l) { return l.ReadProgramBlock(1, 0, TableSegsp); }) << 944;
    }

    void pacesAnswersAtTheLineSpeed()
    {
        QFETCH(int, baudRate);
        QFETCH(Exchange, exchange);
        QFETCH(int, minMs);
        sim().setBaudRate(baudRate);
        m_port->SetBaudRate(baudRate);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(exchange(link()));
        QCOMPARE_GE(clock.elapsed(), minMs);
        QCOMPARE(sim().counters().totalRequests(), 1);
    }

    void servesThroughALinkAndLogsTelegrams()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QStringList lines;
        std::mutex linesMutex;
        {
            SimulatorOptions options;
            options.addresses = {StationAddress};
#ifndef Q_OS_WIN
            options.linkPath = folder.filePath(QStringLiteral("ttyKV10"));   // Windows has only COMn
#endif
            SimulatedController linked(options);
            linked.setLogSink([&](const QString& line) {
                std::lock_guard lock(linesMutex);
                lines << line;
            });
            QVERIFY(linked.start());
            if (!options.linkPath.isEmpty())
                QCOMPARE(QFileInfo(options.linkPath).symLinkTarget(), linked.slavePath());
            m_port->OpenPort(options.linkPath.isEmpty() ? linked.slavePath() : options.linkPath,
                             QStringLiteral("COM2"), 9600);
            QVERIFY(link().ReadTable(TablePid));
            QTRY_COMPARE(linked.counters().answers, 1);
            m_port->ClosePort();
        }
        QVERIFY(!QFileInfo(folder.filePath(QStringLiteral("ttyKV10"))).isSymLink());
        std::lock_guard lock(linesMutex);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(QLatin1String(" RX 68 08 08 68 01 00 6C 01 04 0D 00 00 7F 16")), qPrintable(lines[0]));
        QVERIFY2(lines[1].contains(QLatin1String(" TX 68 10 10 68 00 01 08 41 20 00 00")), qPrintable(lines[1]));
    }
};

QTEST_GUILESS_MAIN(LinkOverPty)
#include "tst_LinkOverPty.moc"
