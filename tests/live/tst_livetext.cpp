// Number texts, Windows-1250 files, atomic writes, the log buffer and the demo values.
#include "CzechLocale.h"
#include "AppError.h"
#include "AtomicFile.h"
#include "CodePage.h"
#include "DemoData.h"
#include "LiveFormat.h"
#include "LogBuffer.h"
#include "IniFile.h"
#include "NumberText.h"
#include "ProcessStart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace kv10;

namespace {

class SequenceRandom : public RandomSource {
public:
    explicit SequenceRandom(QList<std::uint32_t> values) : m_values(std::move(values)) {}
    std::uint32_t next() override { return m_values.at(m_next++ % m_values.size()); }

private:
    QList<std::uint32_t> m_values;
    qsizetype m_next = 0;
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

#ifndef Q_OS_WIN
// Lowers the largest file this process may write, so a write fails halfway as on a full disk.
// The process has started as the programs do, so the write fails instead of ending it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

// An ordinary user while it lives, when the test runs as root, whom permissions do not bind.
// The saved user stays root, so the end of the scope can return to it.
class OrdinaryUser {
public:
    OrdinaryUser()
    {
        constexpr uid_t Nobody = 65534;
        if (geteuid() != 0)
            return;
        m_gid = setresgid(Nobody, Nobody, 0) == 0;
        m_uid = m_gid && setresuid(Nobody, Nobody, 0) == 0;
    }
    ~OrdinaryUser()
    {
        if (m_uid)
            setresuid(0, 0, 0);
        if (m_gid)
            setresgid(0, 0, 0);
    }
    bool ordinary() const { return geteuid() != 0; }

private:
    bool m_gid = false;
    bool m_uid = false;
};
#endif

const QDateTime SampleTime(QDate(2026, 12, 7), QTime(14, 3, 21));

} // namespace

class TestLiveText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        ignoreFileSizeLimitSignal();
        QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing);
    }

    void fixedNumber_data();
    void fixedNumber();
    void fixedNumberFollowsLocale();
    void outputPercent_data();
    void outputPercent();
    void general_data();
    void general();
    void parseInteger_data();
    void parseInteger();
    void parseNumberUsesLocaleSeparator();
    void textsOfOneValue_data();
    void textsOfOneValue();

    void windows1250MatchesCodePage();
    void windows1250ReplacesUnmappable();
    void linesEndWithCrLf();
    void atomicWriteKeepsOldFileOnFailedWrite();

    void liveDisplayTexts();
    void logHeaderAndDataLines();
    void logFileBytes();
    void logWriteReplacesFile();
    void logWriteFailureKeepsFileAndBuffer();
    void logWriteIntoReadOnlyPlaces_data();
    void logWriteIntoReadOnlyPlaces();
    void logLineMemoryIsSmall();
    void readOnlyTargetStays_data();
    void readOnlyTargetStays();

    void demoLamps_data();
    void demoLamps();
    void demoStepDrawsInOrder();
};

void TestLiveText::fixedNumber_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("float 123.45") << double(123.45f) << "123,45";
    QTest::newRow("whole") << 150.0 << "150,00";
    QTest::newRow("five significant digits") << 1234.567 << "1234,60";
    QTest::newRow("two decimals at most") << 0.12345 << "0,12";
    QTest::newRow("padded") << 25.0 << "25,00";
    QTest::newRow("zero") << 0.0 << "0,00";
    QTest::newRow("half rounds away from zero") << 0.125 << "0,13";
    QTest::newRow("tiny rounds to unsigned zero") << -0.001 << "0,00";
    QTest::newRow("negative") << -5.5 << "-5,50";
    QTest::newRow("five integer digits") << 99999.4 << "99999,00";
    QTest::newRow("float 21.01") << double(21.01f) << "21,01";
    QTest::newRow("six integer digits") << 123456.0 << "1,2346E05";
    QTest::newRow("carry into six digits") << 99999.5 << "1E05";
    QTest::newRow("negative exponent form") << -123456.0 << "-1,2346E05";
    QTest::newRow("large") << 1e10 << "1E10";
}

void TestLiveText::fixedNumber()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(fixedNumberText(value), text);
}

void TestLiveText::fixedNumberFollowsLocale()
{
    QCOMPARE(fixedNumberText(1.5, QLocale::c()), QStringLiteral("1.50"));
    QCOMPARE(fixedNumberText(123456, QLocale::c()), QStringLiteral("1.2346E05"));
}

void TestLiveText::outputPercent_data()
{
    QTest::addColumn<int>("tenths");
    QTest::addColumn<QString>("text");
    QTest::newRow("full") << 1000 << "100,0";
    QTest::newRow("none") << 0 << "0,0";
    QTest::newRow("tenth") << 1 << "0,1";
    QTest::newRow("mid") << 456 << "45,6";
    QTest::newRow("above range unchanged") << 1500 << "150,0";
    QTest::newRow("negative") << -5 << "-0,5";
}

void TestLiveText::outputPercent()
{
    QFETCH(int, tenths);
    QFETCH(QString, text);
    QCOMPARE(outputPercentText(tenths), text);
}

void TestLiveText::general_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("trailing zero dropped") << 21.01 + 9 * 0.01 << "21,1";
    QTest::newRow("two decimals") << 21.01 << "21,01";
    QTest::newRow("whole") << 55.0 << "55";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("fraction") << 0.5 << "0,5";
    QTest::newRow("negative") << -3.25 << "-3,25";
    QTest::newRow("large") << 1e20 << "1E20";
    QTest::newRow("small") << 0.000001 << "1E-6";
    QTest::newRow("smallest fixed") << 0.00001 << "0,00001";
    QTest::newRow("fifteen digits") << 123456789012345678.0 << "1,23456789012346E17";
}

void TestLiveText::general()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(generalText(value), text);
}

// The C library's locale is Czech here (a comma from printf), as on a Czech desktop.
void TestLiveText::textsOfOneValue_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<QString>("general");
    QTest::addColumn<int>("tenths");
    QTest::addColumn<QString>("output");
    QTest::newRow("0") << 0.0 << "0,00" << "0" << 0 << "0,0";
    QTest::newRow("0,004") << 0.004 << "0,00" << "0,004" << 4 << "0,4";
    QTest::newRow("0,12345") << 0.12345 << "0,12" << "0,12345" << 12 << "1,2";
    QTest::newRow("15") << 15.0 << "15,00" << "15" << 150 << "15,0";
    QTest::newRow("20,61") << double(20.61f) << "20,61" << "20,6100006103516" << 206 << "20,6";
    QTest::newRow("1234,567") << 1234.567 << "1234,60" << "1234,567" << 1234 << "123,4";
    QTest::newRow("99999,4") << 99999.4 << "99999,00" << "99999,4" << 999 << "99,9";
    QTest::newRow("123456") << 123456.0 << "1,2346E05" << "123456" << 1000 << "100,0";
    QTest::newRow("-20,61") << -20.61 << "-20,61" << "-20,61" << -206 << "-20,6";
    QTest::newRow("-0,004") << -0.004 << "0,00" << "-0,004" << -4 << "-0,4";
    QTest::newRow("-123456") << -123456.0 << "-1,2346E05" << "-123456" << -1000 << "-100,0";
}

void TestLiveText::textsOfOneValue()
{
    QFETCH(double, value);
    QFETCH(QString, fixed);
    QFETCH(QString, general);
    QFETCH(int, tenths);
    QFETCH(QString, output);
    QCOMPARE(fixedNumberText(value), fixed);
    QCOMPARE(generalText(value), general);
    QCOMPARE(outputPercentText(tenths), output);
}

void TestLiveText::parseInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -999 for "not a number"
    QTest::newRow("plain") << "12" << 12;
    QTest::newRow("blanks") << " 7 " << 7;
    QTest::newRow("negative") << "-3" << -3;
    QTest::newRow("plus") << "+5" << 5;
    QTest::newRow("letters") << "abc" << -999;
    QTest::newRow("empty") << "" << -999;
    QTest::newRow("sign only") << "-" << -999;
    QTest::newRow("decimal") << "1,5" << -999;
    QTest::newRow("trailing letter") << "10x" << -999;
    QTest::newRow("overflow") << "9999999999" << -999;
}

void TestLiveText::parseInteger()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    const auto parsed = kv10::parseInteger(text);
    QCOMPARE(parsed.value_or(-999), value);
}

void TestLiveText::parseNumberUsesLocaleSeparator()
{
    QCOMPARE(parseNumber(QStringLiteral("1,5")).value_or(-1), 1.5);
    QVERIFY(!parseNumber(QStringLiteral("abc")));
    QCOMPARE(parseNumber(QStringLiteral("1.5"), QLocale::c()).value_or(-1), 1.5);
}

void TestLiveText::windows1250MatchesCodePage()
{
    // The Czech letters and a sample of the table, as Windows-1250 defines them.
    QCOMPARE(toWindows1250(u"ěščřžýáíéúůťďňĚŠČŘŽÝÁÍÉÚŮŤĎŇ"),
             QByteArray("\xEC\x9A\xE8\xF8\x9E\xFD\xE1\xED\xE9\xFA\xF9\x9D\xEF\xF2"
                        "\xCC\x8A\xC8\xD8\x8E\xDD\xC1\xCD\xC9\xDA\xD9\x8D\xCF\xD2"));
    QCOMPARE(toWindows1250(u"€„°§×÷˙"), QByteArray("\x80\x84\xB0\xA7\xD7\xF7\xFF"));
    // Every defined byte decodes and encodes back to itself.
    for (int b = 0; b < 256; ++b) {
        const QByteArray byte(1, char(b));
        const QString text = fromWindows1250(byte);
        if (text == QString(QChar::ReplacementCharacter)) {
            QVERIFY2(b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98, qPrintable(QString::number(b, 16)));
            continue;
        }
        QCOMPARE(toWindows1250(text), byte);
    }
}

void TestLiveText::windows1250ReplacesUnmappable()
{
    QCOMPARE(toWindows1250(u"a\u00F1b\u4E2Dc\U0001F600d"), QByteArray("a?b?c?d"));
}

void TestLiveText::linesEndWithCrLf()
{
    QCOMPARE(windows1250Lines({QStringLiteral("čas"), QString(), QStringLiteral("x")}),
             QByteArray("\xE8" "as\r\n\r\nx\r\n"));
}

void TestLiveText::atomicWriteKeepsOldFileOnFailedWrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.txt"));
    writeFileAtomically(path, QByteArray("old"));
    QCOMPARE(readAll(path), QByteArray("old"));
#ifdef Q_OS_WIN
    QSKIP("Windows has no limit on the size of the files a process writes");
#else
    {
        FileSizeLimit limit(1000);
        QVERIFY_THROWS_EXCEPTION(AppError, writeFileAtomically(path, QByteArray(5000, 'x')));
    }
    QCOMPARE(readAll(path), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("data.txt")});
#endif
}

void TestLiveText::liveDisplayTexts()
{
    LiveTable live;
    live.meas = 123.45f;
    live.sp = 150;
    live.yout = 1000;
    live.ts = 21.5f;
    live.outs = 0x05;
    live.fault = 1;
    const LiveDisplay d = liveDisplay(live);
    QCOMPARE(d.measure, QStringLiteral("123,45"));
    QCOMPARE(d.setpoint, QStringLiteral("150,00"));
    QCOMPARE(d.output, QStringLiteral("100,0"));
    QCOMPARE(d.outputBar, 1000);
    QCOMPARE(d.terminal, QStringLiteral("21,50"));
    QCOMPARE(d.relays, (std::array<bool, 4>{true, false, true, false}));
    QVERIFY(d.fault);
    QCOMPARE(d.faultCaption, QStringLiteral("PORUCHA"));
    live.fault = 0;
    QCOMPARE(liveDisplay(live).faultCaption, QStringLiteral("není porucha"));
}

void TestLiveText::logHeaderAndDataLines()
{
    LogBuffer log;
    log.startNewLog(SampleTime);
    log.appendDataLine(QStringLiteral("123,45"), QStringLiteral("150,00"), QStringLiteral("45,6"),
                       QStringLiteral("není porucha"), SampleTime);
    log.appendDataLine(QStringLiteral("0,00"), QStringLiteral("0,00"), QStringLiteral("0,0"),
                       QStringLiteral("PORUCHA"), QDateTime(QDate(2027, 1, 15), QTime(9, 5, 7)));
    QCOMPARE(log.lines(), (QStringList{
        QStringLiteral("Začátek měření na regulátoru KORVIN 10   7.12.2026     14:03:21"),
        QStringLiteral("Naměřená hodnota; Žádaná hodnota;Akční zásah; Porucha; čas; datum"),
        QString(65, QLatin1Char('-')),
        QStringLiteral("123,45; 150,00; 45,6; není porucha;   14:03:21;   7.12.2026"),
        QStringLiteral("0,00; 0,00; 0,0; PORUCHA;   9:05:07;   15.1.2027"),
    }));

    log.startNewLog(SampleTime);
    QCOMPARE(log.lineCount(), 3);
}

void TestLiveText::logFileBytes()
{
    LogBuffer log;
    log.startNewLog(SampleTime);
    log.appendLine(u"čas");
    const QByteArray bytes = log.fileBytes();
    QVERIFY(bytes.startsWith("Za\xE8\xE1tek m\xEC\xF8"));
    QVERIFY(bytes.endsWith("\r\n\xE8" "as\r\n"));
    QCOMPARE(bytes.count("\r\n"), 4);
    QCOMPARE(bytes.count('\n'), 4);
    QCOMPARE(log.byteCount(), bytes.size());
}

void TestLiveText::logWriteReplacesFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Záznam KORVIN10"));
    LogBuffer log;
    for (int i = 0; i < 3000; ++i)
        log.appendLine(QStringLiteral("řádek %1").arg(i));
    log.writeToFile(path);
    QCOMPARE(readAll(path), log.fileBytes());
    QCOMPARE(log.line(2999), QStringLiteral("řádek 2999"));

    log.startNewLog(SampleTime);
    log.writeToFile(path);
    QCOMPARE(readAll(path), log.fileBytes());
}

void TestLiveText::logWriteFailureKeepsFileAndBuffer()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    LogBuffer log;
    log.startNewLog(SampleTime);
    log.writeToFile(path);
    const QByteArray old = readAll(path);
    for (int i = 0; i < 200; ++i)
        log.appendLine(QStringLiteral("%1; 150,00; 45,6; není porucha;   14:03:21;   7.12.2026").arg(i));
    const QStringList before = log.lines();
#ifdef Q_OS_WIN
    QSKIP("Windows has no limit on the size of the files a process writes");
#else
    {
        FileSizeLimit limit(4096); // the write stops halfway, as on a full disk
        try {
            log.writeToFile(path);
            QFAIL("the write should have failed");
        } catch (const AppError& error) {
            QVERIFY2(error.text().contains(QDir::toNativeSeparators(path)), qPrintable(error.text()));
        }
    }
    QCOMPARE(readAll(path), old);
    QCOMPARE(log.lines(), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("log.txt")});
#endif
}

// The Czech text of the error, the old file kept, also when the suite runs as root.
void TestLiveText::logWriteIntoReadOnlyPlaces_data()
{
    QTest::addColumn<QString>("target");   // in the test's folder
    QTest::addColumn<QString>("text");     // %1 the folder; a text ending in a line break goes on with the system's reason
    QTest::newRow("a folder") << "sub" << "Nelze zapsat soubor %1/sub.\nSoubor je jen pro čtení nebo to není soubor.";
    QTest::newRow("below a file") << "plain/log.txt" << "Nelze zapsat soubor %1/plain/log.txt.\n";
    QTest::newRow("read-only file") << "ro.txt" << "Nelze zapsat soubor %1/ro.txt.\nSoubor je jen pro čtení nebo to není soubor.";
    QTest::newRow("folder not writable") << "locked/log.txt" << "Nelze zapsat soubor %1/locked/log.txt.\n";
}

void TestLiveText::logWriteIntoReadOnlyPlaces()
{
#ifdef Q_OS_WIN
    QSKIP("Windows folders have no write permission to take away; the read-only file is tested below");
#else
    QFETCH(QString, target);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QDir base(dir.path());
    QVERIFY(base.mkdir(QStringLiteral("sub")));
    writeFileAtomically(base.filePath(QStringLiteral("plain")), QByteArray("x"));
    writeFileAtomically(base.filePath(QStringLiteral("ro.txt")), QByteArray("old"));
    QVERIFY(QFile::setPermissions(base.filePath(QStringLiteral("ro.txt")), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QVERIFY(base.mkdir(QStringLiteral("locked")));
    writeFileAtomically(base.filePath(QStringLiteral("locked/log.txt")), QByteArray("old"));
    const auto readAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(base.filePath(QStringLiteral("locked")), readAndEnter));
    // Anyone may write the folder itself, so only the target can refuse.
    QVERIFY(QFile::setPermissions(dir.path(), readAndEnter | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));

    const QString path = base.filePath(target);
    const QByteArray old = readAll(path);
    LogBuffer log;
    log.startNewLog(SampleTime);
    QString error;
    {
        OrdinaryUser user;
        QVERIFY(user.ordinary());
        try {
            log.writeToFile(path);
        } catch (const AppError& e) {
            error = e.text();
        }
    }
    QFile::setPermissions(base.filePath(QStringLiteral("locked")), readAndEnter | QFile::WriteOwner);
    const QString expected = text.arg(dir.path());
    if (expected.endsWith('\n'))
        QVERIFY2(error.startsWith(expected) && error.size() > expected.size(), qPrintable(error));
    else
        QCOMPARE(error, expected);
    QCOMPARE(readAll(path), old);
    QCOMPARE(log.lineCount(), 3);
#endif
}

void TestLiveText::readOnlyTargetStays_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("log") << "log";
    QTest::newRow("record export") << "record";
    QTest::newRow("parameter file") << "params";
}

// One rule for all three kinds of file, for root as well: a file marked read-only stays.
void TestLiveText::readOnlyTargetStays()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("ro.txt"));
    writeFileAtomically(path, QByteArray("old"));
    const auto readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    QVERIFY(QFile::setPermissions(path, readOnly));
    bool written = true;
    try {
        if (kind == QLatin1String("log")) {
            LogBuffer log;
            log.startNewLog(SampleTime);
            log.writeToFile(path);
        } else if (kind == QLatin1String("record")) {
            writeWindows1250Lines(path, {QStringLiteral("1;   10,50")});
        } else {
            IniFile ini;
            ini.writeString("IDENT", "VERSION", QStringLiteral("KORVIN10 [V.1.0]"));
            written = ini.save(path);
        }
    } catch (const AppError& e) {
        written = false;
        QCOMPARE(e.text(), QStringLiteral("Nelze zapsat soubor %1.\nSoubor je jen pro čtení nebo to není soubor.")
                               .arg(QDir::toNativeSeparators(path)));
    }
    QVERIFY(!written);
    QCOMPARE(readAll(path), QByteArray("old"));
    QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), readOnly);
}

void TestLiveText::logLineMemoryIsSmall()
{
    LogBuffer log;
    const QString line = LogBuffer::dataLine(QStringLiteral("123,45"), QStringLiteral("150,00"), QStringLiteral("45,6"),
                                             QStringLiteral("není porucha"), SampleTime);
    constexpr int Lines = 100000;
    for (int i = 0; i < Lines; ++i)
        log.appendLine(line);
    QCOMPARE(log.lineCount(), Lines);
    QVERIFY2(log.memoryBytes() / Lines < 100, qPrintable(QString::number(log.memoryBytes() / double(Lines))));
    // Lines on both sides of every storage chunk border read back whole.
    for (int i = 0; i < Lines; ++i)
        QCOMPARE(log.line(i), line);
}

void TestLiveText::demoLamps_data()
{
    QTest::addColumn<int>("m");
    QTest::addColumn<QList<bool>>("lamps");
    QTest::newRow("0") << 0 << QList<bool>{false, true, false, true};
    QTest::newRow("34") << 34 << QList<bool>{false, true, false, true};
    QTest::newRow("35") << 35 << QList<bool>{false, true, false, false};
    QTest::newRow("55") << 55 << QList<bool>{false, true, false, false};
    QTest::newRow("56") << 56 << QList<bool>{true, false, false, false};
    QTest::newRow("75") << 75 << QList<bool>{true, false, false, false};
    QTest::newRow("76") << 76 << QList<bool>{true, false, true, false};
    QTest::newRow("99") << 99 << QList<bool>{true, false, true, false};
}

void TestLiveText::demoLamps()
{
    QFETCH(int, m);
    QFETCH(QList<bool>, lamps);
    const auto actual = demoRelayLamps(m);
    QCOMPARE(QList<bool>(actual.begin(), actual.end()), lamps);
}

void TestLiveText::demoStepDrawsInOrder()
{
    // r10, r100, r50 are taken in this order.
    SequenceRandom random({19, 1234, 77});
    const DemoValues v = nextDemoValues(random);
    QCOMPARE(v.terminal, QStringLiteral("21,1"));
    QCOMPARE(v.measured, 34);
    QCOMPARE(v.measure, QStringLiteral("34"));
    QCOMPARE(v.output, QStringLiteral("27"));
    QCOMPARE(v.outputBar, 270);
    QCOMPARE(v.setpoint, QStringLiteral("55,00"));
    QCOMPARE(v.fault, QStringLiteral("DEMO"));
    QCOMPARE(v.relays, demoRelayLamps(34));

    SequenceRandom low({0, 0, 0});
    QCOMPARE(nextDemoValues(low).terminal, QStringLiteral("21,01"));

    UnseededRandom first, second;
    for (int i = 0; i < 5; ++i) {
        const std::uint32_t a = first.next();
        QCOMPARE(a, second.next());
        QVERIFY(a < (1u << 31));
    }
}

QTEST_GUILESS_MAIN(TestLiveText)
#include "tst_livetext.moc"
