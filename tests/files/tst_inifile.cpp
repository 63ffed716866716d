// The INI service: one key read with a default, one key written in place, every other byte kept.
#include "IniFile.h"

#include <QTest>

using kv10::IniFile;

class TestIniFile : public QObject {
    Q_OBJECT
private slots:
    void reads_data();
    void reads();
    void writes_data();
    void writes();
};

void TestIniFile::reads_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");      // with the default "d"
    QTest::addColumn<int>("number");        // with the default -7

    QTest::newRow("case and blanks") << QByteArray(" [ ab ] \nkEy =  -5 \n") << "AB" << "KEY" << "-5" << -5;
    QTest::newRow("empty value") << QByteArray("[A]\r\nK=\r\n") << "A" << "K" << "" << -7;
    QTest::newRow("no equals sign") << QByteArray("[A]\r\nK\r\n") << "A" << "K" << "" << -7;
    QTest::newRow("fraction") << QByteArray("[A]\r\nK=1,5\r\n") << "A" << "K" << "1,5" << -7;
    QTest::newRow("comment") << QByteArray("[A]\r\n;K=1\r\n") << "A" << ";K" << "d" << -7;
    QTest::newRow("windows-1250") << QByteArray("[A]\r\nK=\x9Elu\x9Dou\xE8k\xFD\r\n") << "A" << "K" << "žluťoučký" << -7;
    QTest::newRow("utf-8 mark") << QByteArray("\xEF\xBB\xBF[A]\nK=3") << "A" << "K" << "3" << 3;
}

void TestIniFile::reads()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    const IniFile ini(file);
    QTEST(ini.readString(section, key, "d"), "text");
    QTEST(ini.readInteger(section, key, -7), "number");
}

void TestIniFile::writes_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("in place") << QByteArray("; c\r\n[A]\n  k = 1 \n\n[B]\r\nX=y\r\n") << "a" << "K" << "25"
                              << QByteArray("; c\r\n[A]\n  k =25\n\n[B]\r\nX=y\r\n");
    QTest::newRow("same value") << QByteArray("[A]\n k = 7 \n") << "A" << "K" << "7" << QByteArray("[A]\n k = 7 \n");
    QTest::newRow("after the last key") << QByteArray("[A]\r\nK=1\r\n; end\r\n\r\n[B]\r\n") << "A" << "L" << "2"
                                        << QByteArray("[A]\r\nK=1\r\nL=2\r\n; end\r\n\r\n[B]\r\n");
    QTest::newRow("section without keys") << QByteArray("[A]\r\n\r\n[B]\r\n") << "A" << "L" << "2"
                                          << QByteArray("[A]\r\nL=2\r\n\r\n[B]\r\n");
    QTest::newRow("no line end") << QByteArray("[A]\r\nK=1") << "B" << "K" << "x" << QByteArray("[A]\r\nK=1\r\n[B]\r\nK=x\r\n");
    QTest::newRow("new key after a last key without line end") << QByteArray("[A]\r\nK=1") << "A" << "L" << "2"
                                                              << QByteArray("[A]\r\nK=1\r\nL=2\r\n");
    QTest::newRow("new key after a header without line end") << QByteArray("[A]") << "A" << "L" << "2"
                                                             << QByteArray("[A]\r\nL=2\r\n");
    QTest::newRow("new key after a last key without line end, LF file")
        << QByteArray("[A]\nK=1") << "A" << "L" << "2" << QByteArray("[A]\nK=1\r\nL=2\r\n");
    QTest::newRow("new value of a last key without line end") << QByteArray("[A]\r\nK=1") << "A" << "K" << "2"
                                                              << QByteArray("[A]\r\nK=2");
    QTest::newRow("first of two keys") << QByteArray("[A]\r\nK=1\r\nK=2\r\n") << "A" << "K" << "3"
                                       << QByteArray("[A]\r\nK=3\r\nK=2\r\n");
    QTest::newRow("no equals sign") << QByteArray("[A]\r\nK\r\n") << "A" << "K" << "" << QByteArray("[A]\r\nK=\r\n");
    QTest::newRow("line break, č") << QByteArray("[A]\r\n") << "A" << "K" << "č\r\nx" << QByteArray("[A]\r\nK=\xE8  x\r\n");
}

void TestIniFile::writes()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    IniFile ini(before);
    ini.writeString(section, key, value);
    QTEST(ini.content(), "after");
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
