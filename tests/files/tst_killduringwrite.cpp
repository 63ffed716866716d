// A program killed (SIGKILL) in the middle of writing a log, a record export, a parameter file
// or its settings leaves the old file byte for byte as it was.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

class TestKillDuringWrite : public QObject {
    Q_OBJECT
private slots:
    void oldFileSurvives_data();
    void oldFileSurvives();
    void sizeLimitFailsTheWrite_data();
    void sizeLimitFailsTheWrite();
};

namespace {

// True once the child has a file in `folder` open for writing (its lock aside) with bytes in
// it: beside the old file for a safe write, or the old file itself for an unsafe one.
bool writingInto(qint64 pid, const QString& folder)
{
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    const QStringList fds = QDir(proc + "fd").entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& fd : fds) {
        const QString link = QFile::symLinkTarget(proc + "fd/" + fd);
        if (!link.startsWith(folder + QLatin1Char('/')) || link.endsWith(QLatin1String(".lock")))
            continue;
        QFile info(proc + "fdinfo/" + fd);
        if (!info.open(QIODevice::ReadOnly))
            continue;
        const QByteArray flags = info.readAll().split('\n').value(1).mid(int(sizeof "flags:") - 1).trimmed();
        struct stat file {};
        if ((flags.toInt(nullptr, 8) & 3) != 0 && ::stat(qPrintable(proc + "fd/" + fd), &file) == 0 && file.st_size > 0)
            return true;
    }
    return false;
}

} // namespace

void TestKillDuringWrite::oldFileSurvives_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("lines");
    QTest::newRow("log") << "log" << "mereni.txt" << 400000;
    QTest::newRow("record export") << "record" << "zaznam.txt" << 400000;
    QTest::newRow("parameter file") << "params" << "sada.ini" << 200000;
    QTest::newRow("settings") << "settings" << "KorFW_R09.ini" << 200000;
}

void TestKillDuringWrite::oldFileSurvives()
{
    QFETCH(QString, kind);
    QFETCH(QString, fileName);
    QFETCH(int, lines);
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).canonicalPath();
    const QString target = folder + QLatin1Char('/') + fileName;

    // The settings store rewrites everything its file holds, so a long file makes a long write.
    QByteArray old = "[Port]\nCom=3\n";
    if (kind == QLatin1String("settings")) {
        old += "[Vypln]\n";
        for (int i = 0; i < lines; ++i)
            old += "radek" + QByteArray::number(i) + "=starsi hodnota, ktera zabere misto\n";
    }

    for (int attempt = 0; attempt < 4; ++attempt, lines *= 4) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(old), old.size());
        file.close();

        QProcess child;
        child.start(QStringLiteral(KV10_WRITE_CHILD), {kind, target, QString::number(lines)});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        bool caught = false;
        while (child.state() == QProcess::Running && !caught) {
            caught = writingInto(child.processId(), folder);
            if (!caught && !child.waitForFinished(0))
                QCoreApplication::processEvents();
        }
        if (caught)
            ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30000));
        if (!caught) {
            // Done before we saw it write: try again with more to write.
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);
            continue;
        }
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == old);
        return;
    }
    QFAIL("the write ended each time before it could be interrupted");
}

void TestKillDuringWrite::sizeLimitFailsTheWrite_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");   // %1 the file; none: standard output into it
    QTest::addColumn<int>("exitCode");
    const QString child = QStringLiteral(KV10_WRITE_CHILD);
    QTest::newRow("log") << child << QStringList{"log", "%1", "10000"} << 1;
    QTest::newRow("record export") << child << QStringList{"record", "%1", "10000"} << 1;
    QTest::newRow("parameter file") << child << QStringList{"params", "%1", "10000"} << 1;
    QTest::newRow("settings") << child << QStringList{"settings", "%1", "10000"} << 1;
    QTest::newRow("kv10") << QStringLiteral(KV10_PROGRAM) << QStringList{"--version"} << 0;
    QTest::newRow("kv10ctl") << QStringLiteral(KV10CTL_PROGRAM) << QStringList{"--version"} << 0;
    QTest::newRow("kv10-sim") << QStringLiteral(KV10_SIM_PROGRAM) << QStringList{"--version"} << 0;
}

// A write past the file-size limit ("ulimit -f") fails as on a full disk: the program goes on
// to its normal end, a failed save is reported, and the old file stays.
void TestKillDuringWrite::sizeLimitFailsTheWrite()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString target = QDir(dir.path()).filePath(QStringLiteral("KorFW_R09.ini"));
    // Longer than the limit: the settings store rewrites all of it.
    QByteArray old = "[Port]\nCom=3\n[Vypln]\n";
    for (int i = 0; i < 300; ++i)
        old += "radek" + QByteArray::number(i) + "=starsi hodnota, ktera zabere misto\n";
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
    file.close();
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.setStandardOutputFile(target, QIODevice::Append);
    process.start(program, arguments.replaceInStrings(QStringLiteral("%1"), target));
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
}

QTEST_GUILESS_MAIN(TestKillDuringWrite)
#include "tst_killduringwrite.moc"
