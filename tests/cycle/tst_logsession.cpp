// The text log's session without widgets: which save asks for a name and how, where the
// buffer is written, what the window is told to show, and what a failed write does.
#include "AppError.h"
#include "SetClock.h"
#include "CzechLocale.h"
#include "LogSession.h"
#include "ScriptedPrompts.h"
#include "Timing.h"

#include <QtTest>

using namespace kv10;
using namespace kv10::test;

namespace {

// Notes each dialog and box in the order they come among the other events.
class NotingPrompts : public ScriptedPrompts {
public:
    NotingPrompts(QStringList& events, const QString& folder) : m_events(events), m_folder(folder) {}

    QString saveFile(const FileDialogRequest& request) override
    {
        m_events << QStringLiteral("ask %1, %2, overwrite %3")
                        .arg(request.title, QString(request.fileName).remove(m_folder),
                             request.confirmOverwrite ? QStringLiteral("yes") : QStringLiteral("no"));
        return ScriptedPrompts::saveFile(request);
    }
    PromptButton message(const QString& text, const QString& caption, PromptIcon icon, PromptButtons buttons,
                         QObject* owner = nullptr) override
    {
        m_events << QStringLiteral("box ") + caption;
        return ScriptedPrompts::message(text, caption, icon, buttons, owner);
    }

private:
    QStringList& m_events;
    QString m_folder;
};

} // namespace

class TestLogSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(kv10::test::useCzechLocale(), kv10::test::CzechLocaleMissing); }
    void savesAndWrites_data();
    void savesAndWrites();
};

void TestLogSession::savesAndWrites_data()
{
    // new, sample, save, saveas, periodic; the save dialog answers a name in the folder or
    // "-" (cancel). "plain" is a file, so "plain/x.txt" cannot be written.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("files");   // name:lines of every file written
    QTest::newRow("save before any name asks without the overwrite question")
        << "new sample save" << QStringList{"a.txt"}
        << QStringList{"ask Uložit jako, Záznam KORVIN10, overwrite no", "path a.txt", "chosen on"} << QStringList{"a.txt:4"};
    QTest::newRow("after a confirmed name, save writes silently")
        << "new save sample save" << QStringList{"a.txt"}
        << QStringList{"ask Uložit jako, Záznam KORVIN10, overwrite no", "path a.txt", "chosen on"} << QStringList{"a.txt:4"};
    QTest::newRow("a cancelled save writes nothing")
        << "new save" << QStringList{"-"} << QStringList{"ask Uložit jako, Záznam KORVIN10, overwrite no"} << QStringList{};
    QTest::newRow("save-as turns the overwrite question on for good")
        << "new saveas save" << QStringList{"-", "b.txt"}
        << QStringList{"chosen off", "ask Uložit jako, Záznam KORVIN10, overwrite yes",
                       "ask Uložit jako, Záznam KORVIN10, overwrite yes", "path b.txt", "chosen on"}
        << QStringList{"b.txt:3"};
    QTest::newRow("save-as after a confirmed name asks again")
        << "new save saveas" << QStringList{"a.txt", "b.txt"}
        << QStringList{"ask Uložit jako, Záznam KORVIN10, overwrite no", "path a.txt", "chosen on", "chosen off",
                       "ask Uložit jako, a.txt, overwrite yes", "path b.txt", "chosen on"}
        << QStringList{"a.txt:3", "b.txt:3"};
    QTest::newRow("periodic writes without a name go to the initial name")
        << "new sample periodic sample periodic" << QStringList{} << QStringList{} << QStringList{"Záznam KORVIN10:5"};
    QTest::newRow("a new log leaves the written file alone")
        << "new save new sample periodic" << QStringList{"a.txt"}
        << QStringList{"ask Uložit jako, Záznam KORVIN10, overwrite no", "path a.txt", "chosen on",
                       "path jen v paměti, soubor nezvolen"}
        << QStringList{"a.txt:3"};
    QTest::newRow("the log kept in memory is saved under a new name")
        << "new save new sample save periodic" << QStringList{"a.txt", "b.txt"}
        << QStringList{"ask Uložit jako, Záznam KORVIN10, overwrite no", "path a.txt", "chosen on",
                       "path jen v paměti, soubor nezvolen", "ask Uložit jako, a.txt, overwrite yes", "path b.txt",
                       "chosen on"}
        << QStringList{"a.txt:3", "b.txt:4"};
    QTest::newRow("a new log before any write stays writable")
        << "new new sample periodic" << QStringList{} << QStringList{} << QStringList{"Záznam KORVIN10:4"};
    QTest::newRow("no header before the first new log")
        << "sample sample periodic" << QStringList{} << QStringList{} << QStringList{"Záznam KORVIN10:2"};
    QTest::newRow("a failed save throws and changes nothing shown")
        << "new save" << QStringList{"plain/a.txt"}
        << QStringList{"ask Uložit jako, Záznam KORVIN10, overwrite no", "throws"} << QStringList{};
    QTest::newRow("a failed periodic write is shown, not thrown")
        << "new save sample periodic" << QStringList{"plain/a.txt"}
        << QStringList{"ask Uložit jako, Záznam KORVIN10, overwrite no", "throws", "box KV-10"} << QStringList{};
}

void TestLogSession::savesAndWrites()
{
    QFETCH(QString, script);
    QFETCH(QStringList, answers);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    QFile plain(folder + QStringLiteral("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    // The initial name is relative to the current folder.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));

    test::SetClock clock{QDateTime(QDate(2026, 12, 7), QTime(14, 3, 0))};
    QStringList events;
    NotingPrompts prompts(events, folder);
    for (const QString& answer : answers)
        prompts.fileAnswers << (answer == QLatin1String("-") ? QString() : folder + answer);
    LogSession session(clock, prompts);
    session.setView({
        // The panel shows the path in the system's own separators.
        [&](const QString& path) { events << QStringLiteral("path ") + QDir::fromNativeSeparators(path).remove(folder); },
        [&](bool chosen) { events << (chosen ? QStringLiteral("chosen on") : QStringLiteral("chosen off")); },
    });
    for (const QString& step : script.split(QLatin1Char(' '))) {
        clock.time = clock.time.addSecs(1);
        try {
            if (step == QLatin1String("new"))
                session.startNew();
            else if (step == QLatin1String("sample"))
                session.appendSample(QStringLiteral("20,00"), QStringLiteral("150,00"), QStringLiteral("0,0"),
                                     QStringLiteral("není porucha"));
            else if (step == QLatin1String("save"))
                session.save(nullptr);
            else if (step == QLatin1String("saveas"))
                session.saveAs(nullptr);
            else if (step == QLatin1String("periodic"))
                session.writePeriodically();
            else
                QFAIL(qPrintable(step));
        } catch (const AppError&) {
            events << QStringLiteral("throws");
        }
    }
    QVERIFY(QDir::setCurrent(before));

    QStringList files;
    for (const QFileInfo& file : QDir(dir.path()).entryInfoList(QDir::Files, QDir::Name)) {
        if (file.fileName() == QLatin1String("plain"))
            continue;
        QFile written(file.filePath());
        QVERIFY(written.open(QIODevice::ReadOnly));
        files << QStringLiteral("%1:%2").arg(file.fileName()).arg(written.readAll().count("\r\n"));
    }
    QTEST(events, "events");
    QTEST(files, "files");
}

QTEST_GUILESS_MAIN(TestLogSession)
#include "tst_logsession.moc"
