// kv10ctl's parameter sets (params save, load, diff) and its lists of stations, run as a
// separate process against the simulated controller.
#include "CzechLocale.h"
#include "ToolRun.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kv10;
using namespace kv10::test;
using kv10::sim::RequestKind;

class Kv10ctlSetsTest : public QObject, private ToolFixture {
    Q_OBJECT

private:
    QTemporaryDir m_files;
    int m_copies = 0;

private slots:
    void initTestCase()
    {
        QVERIFY2(useCzechLocale(), CzechLocaleMissing);
    }

    void init()
    {
        QString error;
        QVERIFY2(startStation(error), qPrintable(error));
    }

    void cleanup()
    {
        m_sim.reset();
    }

    // The set that kv10ctl saves, edited by hand, against the controller.
    void paramsDiffNamesWhatDiffers_data()
    {
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QStringList>("lines");
        const QString clock = QStringLiteral("FW-R-09-03");
        const QString noClock = QStringLiteral("FW-R-09-02");
        QTest::newRow("as saved") << clock << QByteArray() << QByteArray() << QStringList();
        QTest::newRow("the same number in other words") << clock << QByteArray("SPHI=200,00") << QByteArray(" SPHI = 2E2")
                                                        << QStringList();
        QTest::newRow("a page field") << clock << QByteArray("SPHI=200,00") << QByteArray("SPHI=200,01")
                                      << QStringList{"ALARM1.SPHI file=200,01 controller=200,00"};
        QTest::newRow("a key the file lacks: its default") << clock << QByteArray("SPHI=200,00") << QByteArray()
                                                           << QStringList{"ALARM1.SPHI file=100 controller=200,00"};
        QTest::newRow("a list position") << clock << QByteArray("TPID=4") << QByteArray("TPID=0")
                                         << QStringList{"REGO.TPID file=0 controller=4"};
        QTest::newRow("a segment setpoint") << clock << QByteArray("TEP[3][5]=113,25") << QByteArray("TEP[3][5]=7,5")
                                            << QStringList{"COMP.TEP[3][5] file=7,5 controller=113,25"};
        QTest::newRow("a 16-bit field in its signed spelling") << clock << QByteArray("PS=65535") << QByteArray("PS=-1")
                                                               << QStringList();
        QTest::newRow("a segment time beyond 16 bits, as it wraps")
            << clock << QByteArray("CAS[3][6]=10") << QByteArray("CAS[3][6]=65546") << QStringList();
        QTest::newRow("the start date, which only the clock firmware has")
            << clock << QByteArray("DATE=9") << QByteArray("DATE=8") << QStringList{"GO.DATE file=8 controller=9"};
        // GO without the clock: its date, hour and minute are neither read nor compared.
        QTest::newRow("another start date, firmware without the clock")
            << noClock << QByteArray("DATE=9") << QByteArray("DATE=8") << QStringList();
    }

    void paramsDiffNamesWhatDiffers()
    {
        QFETCH(QString, firmware);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QStringList, lines);
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), QStringLiteral("FW-R-09-03"));
        sim().modifyImage([](ControllerImage& image) {
            image.alarm1.sphi = 200;
            image.rego.tpid = 5;
            image.rego.ps = -1;
            image.segmentSetpoint[3][5] = 113.25f;
            image.segmentTime[3][6] = 10;
            image.goext.date = 9;
            image.goext.hour = 7;
            image.goext.min = 30;
        });
        // Saved once, from the clock firmware; every row edits its own copy.
        const QString saved = m_files.filePath(QStringLiteral("saved.ini"));
        if (!QFile::exists(saved)) {
            const Run save = atStation({QStringLiteral("params"), QStringLiteral("save"), saved});
            QVERIFY2(save.exitCode == 0, qPrintable(save.describe()));
            QCOMPARE(save.out, QStringList{"station 1 saved to " + QDir::toNativeSeparators(saved)});
        }
        const QString path = m_files.filePath(QStringLiteral("edited-%1.ini").arg(++m_copies));
        QVERIFY(QFile::copy(saved, path));
        if (!from.isEmpty())
            QVERIFY(editLine(path, from, to));
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), firmware);
        const Run diff = atStation({QStringLiteral("params"), QStringLiteral("diff"), path});
        QVERIFY2(diff.exitCode == (lines.isEmpty() ? 0 : 4), qPrintable(diff.describe()));
        QCOMPARE(diff.out, lines);
        QVERIFY(diff.err.isEmpty());
    }

    // A saved set, edited, loaded with --eeprom: what the controller holds afterwards, at the
    // address it answers at then, and a clean comparison there.
    void paramsLoadWritesTheFileAndDiffIsClean_data()
    {
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QByteArrayList>("from");
        QTest::addColumn<QByteArrayList>("to");
        QTest::addColumn<QStringList>("output");
        QTest::addColumn<int>("address");
        QTest::addColumn<QList<int>>("goClock");   // DATE, HOUR, MIN the controller holds
        const QByteArrayList from{"HYST=2,00", "CAS[3][5]=10", "DATE=9", "HOUR=7", "MIN=30"};
        const QByteArrayList to{"HYST=3,5", "CAS[3][5]=17", "DATE=8", "HOUR=23", "MIN=59"};
        QTest::newRow("every page and program") << "FW-R-09-03" << from << to << QStringList{"loaded", "stored"} << 1
                                                << QList<int>{8, 23, 59};
        QTest::newRow("GO without the clock: no date, hour or minute sent")
            << "FW-R-09-02" << from << to << QStringList{"loaded", "stored"} << 1 << QList<int>{9, 7, 30};
        // ADD goes before GO and the programs: they and EEPROM follow the station.
        QTest::newRow("a new address") << "FW-R-09-03" << from + QByteArrayList{"ADRESA=1"} << to + QByteArrayList{"ADRESA=5"}
                                       << QStringList{"station 1 now answers at address 5", "loaded", "stored"} << 5
                                       << QList<int>{8, 23, 59};
    }

    void paramsLoadWritesTheFileAndDiffIsClean()
    {
        QFETCH(QString, firmware);
        QFETCH(QByteArrayList, from);
        QFETCH(QByteArrayList, to);
        QFETCH(QStringList, output);
        QFETCH(int, address);
        QFETCH(QList<int>, goClock);
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), QStringLiteral("FW-R-09-03"));
        sim().modifyImage([](ControllerImage& image) {
            image.alarm1.hyst = 2;
            image.segmentTime[3][5] = 10;
            image.goext.date = 9;
            image.goext.hour = 7;
            image.goext.min = 30;
        });
        // Saved once; every row edits its own copy.
        const QString saved = m_files.filePath(QStringLiteral("saved-for-load.ini"));
        if (!QFile::exists(saved))
            QVERIFY(atStation({QStringLiteral("params"), QStringLiteral("save"), saved}).exitCode == 0);
        const QString path = m_files.filePath(QStringLiteral("edited-%1.ini").arg(++m_copies));
        QVERIFY(QFile::copy(saved, path));
        for (qsizetype i = 0; i < from.size(); ++i)
            QVERIFY2(editLine(path, from[i], to[i]), from[i].constData());
        sim().setDeviceTexts(QStringLiteral("KORVIN 10"), firmware);
        sim().resetCounters();
        const Run load = atStation({QStringLiteral("params"), QStringLiteral("load"), path, QStringLiteral("--eeprom")});
        QVERIFY2(load.exitCode == 0, qPrintable(load.describe()));
        QCOMPARE(load.out, output);
        const ControllerImage after = sim().image();
        QCOMPARE(sim().addresses(), std::vector<uint8_t>{uint8_t(address)});
        QCOMPARE(after.alarm1.hyst, 3.5f);
        QCOMPARE(after.segmentTime[3][5], 17);
        QCOMPARE((QList<int>{after.goext.date, after.goext.hour, after.goext.min}), goClock);
        // The eleven page tables, the start values, and two blocks for each of the ten programs.
        QCOMPARE(sim().counters().of(RequestKind::Write), 11 + 1 + 20);
        QCOMPARE(sim().counters().of(RequestKind::StoreEeprom), 1);
        QCOMPARE(sim().counters().otherStations, 0);
        const Run diff = runTool({QStringLiteral("--device"), sim().slavePath(), QStringLiteral("--da"),
                                  QString::number(address), QStringLiteral("params"), QStringLiteral("diff"), path});
        QVERIFY2(diff.exitCode == 0 && diff.out.isEmpty(), qPrintable(diff.describe()));
    }

    void paramsFileProblemsSendNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        const QByteArray otherVersion("[IDENT]\r\nVERSION=KORVIN10 [V.1.1]\r\n");
        const QString wrongVersion = QStringLiteral("kv10ctl: INI soubor není typu KORVIN 10 [V.1.0]");
        QTest::newRow("load, another version") << "load" << otherVersion << wrongVersion;
        QTest::newRow("diff, another version") << "diff" << otherVersion << wrongVersion;
        QTest::newRow("no number") << "load" << QByteArray("[ALARM1]\r\nSPHI=abc\r\n")
                                   << "kv10ctl: ALARM1.SPHI=abc is not a valid value";
        QTest::newRow("a point where the locale has a comma") << "diff" << QByteArray("[PID]\r\nPB=1.5\r\n")
                                                             << "kv10ctl: PID.PB=1.5 is not a valid value";
        QTest::newRow("no such list item") << "load" << QByteArray("[ALARM1]\r\nRALA=4\r\n")
                                           << "kv10ctl: ALARM1.RALA=4 is not a valid value";
        QTest::newRow("a fraction of a segment time") << "load" << QByteArray("[COMP]\r\nCAS[9][19]=1,5\r\n")
                                                      << "kv10ctl: COMP.CAS[9][19]=1,5 is not a valid value";
        QTest::newRow("no file") << "load" << QByteArray() << "kv10ctl: cannot read %1";
    }

    void paramsFileProblemsSendNothing()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("set.ini"));
        if (!content.isEmpty())
            QVERIFY(putFile(path, content));
        const Run run = atStation({QStringLiteral("params"), command, path});
        QVERIFY2(run.exitCode == 5, qPrintable(run.describe()));
        QCOMPARE(run.err, QStringList{message.contains("%1") ? message.arg(QDir::toNativeSeparators(path)) : message});
        QCOMPARE(sim().counters().totalRequests(), 0);
    }

    void severalStationsSaveAndPoll()
    {
        sim().setAddresses({1, 2});
        sim().setLiveRunning(false);
        sim().modifyImage([](ControllerImage& image) { image.live = {21.5f, 9, 150, 1000, 22.25f, 0, 0}; });
        QTemporaryDir dir;
        const QString pattern = dir.filePath(QStringLiteral("station-{da}.ini"));
        const QString device = sim().slavePath();
        const Run saved = runTool({"--device", device, "--da", "1-2", "params", "save", pattern});
        QVERIFY2(saved.exitCode == 0, qPrintable(saved.describe()));
        QByteArray first = fileBytes(dir.filePath(QStringLiteral("station-1.ini")));
        const QByteArray second = fileBytes(dir.filePath(QStringLiteral("station-2.ini")));
        QVERIFY(first.contains("\r\nADRESA=1\r\n"));
        QCOMPARE(first.replace("\r\nADRESA=1\r\n", "\r\nADRESA=2\r\n"), second);

        const QString csv = dir.filePath(QStringLiteral("live.csv"));
        for (const char* count : {"2", "1"}) {
            const Run poll = runTool({"--device", device, "--da", "2,1", "poll", "--count", count, "--interval", "0.1",
                                      "--csv", csv});
            QVERIFY2(poll.exitCode == 0, qPrintable(poll.describe()));
        }
        const QStringList rows = linesOf(fileBytes(csv));
        QCOMPARE(rows.size(), 7);
        QCOMPARE(rows.first(), "time,DA,MEAS,SP,YOUT,TS,OUTS,FAULT");
        for (int row = 1; row < rows.size(); ++row) {
            const QString station = row % 2 == 1 ? QStringLiteral("2") : QStringLiteral("1");
            QCOMPARE(rows[row].section(QLatin1Char(','), 1), station + ",21.5,150,1000,22.25,9,0");
            const QString time = rows[row].section(QLatin1Char(','), 0, 0);
            QVERIFY2(QDateTime::fromString(time, Qt::ISODateWithMs).isValid() && time.contains(QLatin1Char('T')),
                     qPrintable(time));
        }
    }

    void stationListsAreChecked_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("a range backwards") << QStringList{"--da", "3-1", "ping"};
        QTest::newRow("an empty item") << QStringList{"--da", "1,,2", "ping"};
        // Commands that take several stations: ping refuses any list before its addresses count.
        QTest::newRow("the broadcast address ending a range, poll")
            << QStringList{"--da", "126-127", "poll", "--count", "1", "--interval", "0.1"};
        QTest::newRow("the broadcast address ending a range, save")
            << QStringList{"--da", "126-127", "params", "save", m_files.filePath(QStringLiteral("broadcast-{da}.ini"))};
        QTest::newRow("several for a command of one station") << QStringList{"--da", "1,2", "params", "load", "x.ini"};
        QTest::newRow("several without {da} in the name") << QStringList{"--da", "1,2", "params", "save", "x.ini"};
        QTest::newRow("an unknown option") << QStringList{"params", "load", "x.ini", "--now"};
    }

    void stationListsAreChecked()
    {
        QFETCH(QStringList, args);
        const Run run = runTool(QStringList{"--device", sim().slavePath()} + args);
        QVERIFY2(run.exitCode == UsageExit, qPrintable(run.describe()));
        QCOMPARE(sim().counters().totalRequests(), 0);
        QCOMPARE(sim().counters().otherStations, 0);
        QCOMPARE(sim().counters().broadcasts, 0);
    }

    // A station named twice in the list is polled or saved once.
    void repeatedStationsAreAskedOnce_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("lines");     // poll lines without their time
        const QStringList poll{"poll", "--count", "1"};
        const QString live = QStringLiteral("MEAS=21.5 SP=150 YOUT=1000 TS=22.25 OUTS=9 FAULT=0");
        QTest::newRow("one station twice") << QStringList{"--da", "1,1"} + poll << QStringList{live};
        QTest::newRow("a station again after its range")
            << QStringList{"--da", "1-2,2"} + poll << QStringList{"DA=1 " + live, "DA=2 " + live};
        const QString pattern = m_files.filePath(QStringLiteral("repeated-{da}.ini"));
        QTest::newRow("a station again after its range, save")
            << QStringList{"--da", "1-2,1", "params", "save", pattern}
            << QStringList{"station 1 saved to " + QDir::toNativeSeparators(QString(pattern).replace("{da}", "1")),
                           "station 2 saved to " + QDir::toNativeSeparators(QString(pattern).replace("{da}", "2"))};
    }

    void repeatedStationsAreAskedOnce()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, lines);
        sim().setAddresses({1, 2});
        sim().setLiveRunning(false);
        sim().modifyImage([](ControllerImage& image) { image.live = {21.5f, 9, 150, 1000, 22.25f, 0, 0}; });
        const Run run = runTool(QStringList{"--device", sim().slavePath()} + args);
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        QStringList printed = run.out;
        for (QString& line : printed) {
            if (QDateTime::fromString(line.section(QLatin1Char(' '), 0, 0), Qt::ISODateWithMs).isValid())
                line = line.section(QLatin1Char(' '), 1);
        }
        QCOMPARE(printed, lines);
    }

    // params save over several stations: a silent station and a file that cannot be written
    // exit 1, whichever comes first; only files that cannot be written exit 5.
    void severalStationsSaveExitCodes_data()
    {
        QTest::addColumn<QString>("stations");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("errors");
        // Station 1's folder exists, station 2's does not; station 3 does not answer.
        const QString silent = QStringLiteral(
            "kv10ctl: station 3: no firmware version, or one this tool does not know (\"\")");
        const QString unwritable = QStringLiteral("kv10ctl: cannot write %1")
                                       .arg(QDir::toNativeSeparators(m_files.filePath(QStringLiteral("2/set.ini"))));
        QTest::newRow("a file not written") << "2" << 5 << QStringList{unwritable};
        QTest::newRow("a silent station, then a file not written") << "3,2" << 1 << QStringList{silent, unwritable};
        QTest::newRow("a file not written, then a silent station") << "2,3" << 1 << QStringList{unwritable, silent};
    }

    void severalStationsSaveExitCodes()
    {
        QFETCH(QString, stations);
        QFETCH(int, exitCode);
        QFETCH(QStringList, errors);
        sim().setAddresses({1, 2});
        QVERIFY(QDir(m_files.path()).mkpath(QStringLiteral("1")));
        const Run run = runTool({"--device", sim().slavePath(), "--da", stations, "params", "save",
                                 m_files.filePath(QStringLiteral("{da}/set.ini"))});
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.describe()));
        QCOMPARE(run.err, errors);
    }

};

QTEST_GUILESS_MAIN(Kv10ctlSetsTest)
#include "tst_kv10ctlsets.moc"
