// The three programs' command lines, each built program in its own process: the About box's
// version, help that names the options, and a wrong option refused with a non-zero exit.
#include <QProcess>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// The window system named here does not exist: whatever needs one fails.
Run runProgram(const QString& program, const QString& option, const QString& platform = "no-such-platform")
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    process.setProcessEnvironment(environment);
    process.start(program, {option});
    Run run;
    if (process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    process.kill();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void versionAndHelp_data();
    void versionAndHelp();
    void unknownOptionIsRefused();
};

void TestCommandLine::versionAndHelp_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("options");
    // The About box reads "Verze 1.1.0.0" (tst_mainwindow); kv10ctl's other options: tst_kv10ctl.
    QTest::newRow("kv10") << QString(KV10_PATH) << QString("kv10 1.1.0.0\n")
                          << QStringList{"--help", "--version", "--simulator", "--settings-dir <dir>", "--screenshots <dir>"};
    QTest::newRow("kv10ctl") << QString(KV10CTL_PATH) << QString("kv10ctl 1.1.0.0\n") << QStringList{"--version"};
    QTest::newRow("kv10-sim") << QString(KV10SIM_PATH) << QString("kv10-sim 1.1.0.0\n")
                              << QStringList{"--help", "--version", "--link <path>", "--firmware <text>", "--sensor-fault"};
}

void TestCommandLine::versionAndHelp()
{
    QFETCH(QString, program);
    QFETCH(QString, version);
    QFETCH(QStringList, options);
    const Run versionRun = runProgram(program, "--version");
    QCOMPARE(versionRun.out, version);
    QCOMPARE(versionRun.err, QString());
    QCOMPARE(versionRun.exitCode, 0);
    const Run helpRun = runProgram(program, "--help");
    QCOMPARE(helpRun.exitCode, 0);
    for (const QString& option : options)
        QVERIFY2(helpRun.out.contains(option), qPrintable(option));
}

void TestCommandLine::unknownOptionIsRefused()
{
    const Run run = runProgram(KV10_PATH, "--bogus", "offscreen");
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QString());
    // Qt's message, in Czech where its translations are installed: "kv10: Neznámá volba 'bogus'."
    QVERIFY2(run.err.contains("kv10: ") && run.err.contains("'bogus'."), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
