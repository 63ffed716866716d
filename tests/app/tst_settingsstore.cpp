// The settings store on an INI file in a temporary folder: decimal texts only, values that
// survive a new store, and a file that cannot be written. On Windows also the registry, as
// Windows' own reg tool shows it.
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <limits>

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void storedTextReadsAsInteger_data();
    void storedTextReadsAsInteger();
    void valuesSurviveANewStoreAsDecimalText();
    void missingSectionOrKeyGivesDefault();
    void unwritableFileFailsSyncWithoutCrash();
    void syncFailsOnlyWhenTheWriteFailed_data();
    void syncFailsOnlyWhenTheWriteFailed();
    void corruptVariantValueGivesDefault();
    void registryHoldsDecimalTexts();
};

void TestSettingsStore::storedTextReadsAsInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");   // default is -99
    QTest::newRow("plain") << "42" << 42;
    QTest::newRow("negative") << "-7" << -7;
    QTest::newRow("plus sign") << "+5" << 5;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("int max") << "2147483647" << std::numeric_limits<int>::max();
    QTest::newRow("int min") << "-2147483648" << std::numeric_limits<int>::min();
    QTest::newRow("button face") << "-2147483633" << int(0x8000000F);
    QTest::newRow("above int max") << "2147483648" << -99;
    QTest::newRow("below int min") << "-2147483649" << -99;
    QTest::newRow("huge") << "99999999999999999999" << -99;
    QTest::newRow("empty") << "" << -99;
    QTest::newRow("sign only") << "-" << -99;
    QTest::newRow("letters") << "abc" << -99;
    QTest::newRow("trailing letter") << "12a" << -99;
    QTest::newRow("hex") << "0x10" << -99;
    QTest::newRow("decimal point") << "1.5" << -99;
    QTest::newRow("exponent") << "1e3" << -99;
    QTest::newRow("inner blank") << "1 2" << -99;
    QTest::newRow("leading blank") << " 42" << -99;
    QTest::newRow("trailing blank") << "42 " << -99;
    QTest::newRow("leading tab") << "\t42" << -99;
    QTest::newRow("arabic-indic digits") << QString::fromUtf8("\u0661\u0662") << -99;
}

void TestSettingsStore::storedTextReadsAsInteger()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QTemporaryDir dir;
    {
        SettingsStore store(dir.path());
        store.writeText("GRAF", "POCET", text);
        QVERIFY(store.sync());
        QCOMPARE(store.readInteger("GRAF", "POCET", -99), expected);
    }
    SettingsStore reopened(dir.path());
    QCOMPARE(reopened.readInteger("GRAF", "POCET", -99), expected);
}

void TestSettingsStore::valuesSurviveANewStoreAsDecimalText()
{
    QTemporaryDir dir;
    {
        SettingsStore store(dir.path());
        store.writeInteger("GRAF", "MRIZ", int(0x8000000F));
        store.writeInteger("DESKTOP", "Left", 192);
        store.writeText("PORT", "DEVICE1", "/dev/ttyUSB0");
        QVERIFY(store.sync());
    }
    QFile file(QDir(dir.path()).filePath("KorFW_R09.ini"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ini = file.readAll();
    QVERIFY2(ini.contains("[GRAF]") && ini.contains("MRIZ=-2147483633"), ini.constData());
    QVERIFY2(ini.contains("[DESKTOP]") && ini.contains("Left=192"), ini.constData());

    SettingsStore reopened(dir.path());
    QCOMPARE(reopened.readInteger("GRAF", "MRIZ", 0), int(0x8000000F));
    QCOMPARE(reopened.readInteger("DESKTOP", "Left", 0), 192);
    QCOMPARE(reopened.readText("PORT", "DEVICE1", "x"), QString("/dev/ttyUSB0"));
}

void TestSettingsStore::missingSectionOrKeyGivesDefault()
{
    QTemporaryDir dir;
    SettingsStore store(dir.path());
    store.writeInteger("ZAZNAM", "LIST", 5);
    QCOMPARE(store.readInteger("ZAZNAM", "SOUBOR", 15), 15);
    QCOMPARE(store.readInteger("ADRESA", "DA", 0), 0);
    QCOMPARE(store.readText("PORT", "DEVICE3", "/dev/ttyS2"), QString("/dev/ttyS2"));
}

void TestSettingsStore::unwritableFileFailsSyncWithoutCrash()
{
    QTemporaryDir dir;
    // A folder where the file should be: no user, root included, can write it.
    QVERIFY(QDir(dir.path()).mkdir("KorFW_R09.ini"));
    SettingsStore store(dir.path());
    QCOMPARE(store.readInteger("GRAF", "R3D", 35), 35);
    store.writeInteger("GRAF", "R3D", 50);
    QVERIFY(!store.sync());
    QVERIFY(QFileInfo(QDir(dir.path()).filePath("KorFW_R09.ini")).isDir());
}

void TestSettingsStore::syncFailsOnlyWhenTheWriteFailed_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("folderBlocked");
    QTest::addColumn<bool>("written");
    QTest::newRow("unclosed section") << QByteArray("[GRAF]\nR3D=10\n[broken\n") << false << true;
    QTest::newRow("line without equals sign") << QByteArray("[GRAF]\nR3D=10\nno value\n") << false << true;
    QTest::newRow("random bytes") << QByteArray("\x01\xff\xfe[\x00=\x80\n\n", 10) << false << true;
    QTest::newRow("unclosed section, folder now a file") << QByteArray("[GRAF]\nR3D=10\n[broken\n") << true << false;
}

// A malformed line read at start is no failure of the write at the end.
void TestSettingsStore::syncFailsOnlyWhenTheWriteFailed()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, folderBlocked);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath("nastaveni");
    QVERIFY(QDir().mkpath(folder));
    QFile file(QDir(folder).filePath("KorFW_R09.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    SettingsStore store(folder);
    store.readInteger("GRAF", "R3D", 35);
    store.writeInteger("GRAF", "R3D", 50);
    QFile blocker(folder);
    if (folderBlocked)
        QVERIFY(QDir(folder).removeRecursively() && blocker.open(QIODevice::WriteOnly));
    QCOMPARE(store.sync(), written);
    if (written)
        QCOMPARE(SettingsStore(folder).readInteger("GRAF", "R3D", 35), 50);
}

// Found by fuzz_settings: a serialised value whose stream announces a huge size.
void TestSettingsStore::corruptVariantValueGivesDefault()
{
    QTemporaryDir dir;
    QFile file(QDir(dir.path()).filePath("KorFW_R09.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[PORT]\nCOM=@Variant(\\0\\0\\0\\v2\\0\\0\\0\\x5)\nDA=3\n");
    file.close();
    SettingsStore store(dir.path());
    QCOMPARE(store.readInteger("PORT", "COM", 1), 1);
    QCOMPARE(store.readText("PORT", "COM", "x"), QString("x"));
    QCOMPARE(store.readInteger("PORT", "DA", 0), 3);
}


namespace {

// What Windows' reg tool does and prints with `args`, its line ends made plain.
QString reg(const QStringList& args)
{
    QProcess tool;
    tool.start(QStringLiteral("reg"), args);
    if (!tool.waitForFinished(30000))
        return QStringLiteral("<reg did not finish>");
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).remove(QLatin1Char('\r'));
}

} // namespace

// Each value a string value holding its decimal text, in a subkey per section of
// HKEY_CURRENT_USER\KorFW_R09; and what another program stored there reads back.
void TestSettingsStore::registryHoldsDecimalTexts()
{
#ifndef Q_OS_WIN
    QSKIP("the registry is Windows' own");
#else
    // The key is the user's real one: only a throwaway registry (Wine's, in the test script) is used.
    if (qEnvironmentVariable("KV10_TEST_REGISTRY") != QLatin1String("1"))
        QSKIP("KV10_TEST_REGISTRY=1 must say that this registry may be changed");
    const QString key = QStringLiteral("HKEY_CURRENT_USER\\KorFW_R09");
    reg({QStringLiteral("delete"), key, QStringLiteral("/f")});
    {
        SettingsStore store;
        QCOMPARE(store.location(), key);
        store.writeInteger("GRAF", "MRIZ", int(0x8000000F));
        store.writeInteger("PORT", "COM", 3);
        QVERIFY(store.sync());
    }
    QCOMPARE(reg({QStringLiteral("query"), key, QStringLiteral("/s")}),
             QStringLiteral("\n"
                            "HKEY_CURRENT_USER\\KorFW_R09\\GRAF\n"
                            "    MRIZ    REG_SZ    -2147483633\n"
                            "\n"
                            "HKEY_CURRENT_USER\\KorFW_R09\\PORT\n"
                            "    COM    REG_SZ    3\n"
                            "\n"));
    reg({QStringLiteral("add"), key + QStringLiteral("\\ADRESA"), QStringLiteral("/v"), QStringLiteral("DA"),
         QStringLiteral("/t"), QStringLiteral("REG_SZ"), QStringLiteral("/d"), QStringLiteral("12"), QStringLiteral("/f")});
    SettingsStore reopened;
    QCOMPARE(reopened.readInteger("ADRESA", "DA", 0), 12);
    QCOMPARE(reopened.readInteger("PORT", "COM", 0), 3);
    reg({QStringLiteral("delete"), key, QStringLiteral("/f")});
#endif
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
