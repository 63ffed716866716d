// The application object: errors escaping event handlers land in the error box and the
// program goes on; the toolkit speaks Czech; every window renders to a picture; the program
// closes at once while its session waits for a station that does not answer.
#include "AppContext.h"
#include "AppError.h"
#include "Kv10Application.h"
#include "MainWindow.h"
#include "ScriptedPrompts.h"
#include "Screenshots.h"
#include "SimulatedStation.h"
#include "SimulatedTransport.h"
#include "WidgetPrompts.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QTimer>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

using namespace kv10;
using namespace kv10::test;

class TestAppShell : public QObject {
    Q_OBJECT
private slots:
    void captionsAreNotExtendedWithTheProgramName();
    void errorsFromHandlersAreShownAndProgramGoesOn();
    void standardButtonsReadCzech();
    void messageBoxShowsIconButtonsAndAnswer_data();
    void messageBoxShowsIconButtonsAndAnswer();
    void saveDialogHasTitleAndReturnsChosenPath();
    void everyWindowRendersToPicture();
    void closesAtOnceDuringSilentRead();

private:
    // Runs `act` on the modal dialog that the next prompt opens.
    template <typename Act> void onModal(Act act);
    QTimer m_modalWatch;
};

template <typename Act>
void TestAppShell::onModal(Act act)
{
    m_modalWatch.disconnect();
    m_modalWatch.setInterval(5);
    QObject::connect(&m_modalWatch, &QTimer::timeout, [this, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            m_modalWatch.stop();
            act(modal);
        }
    });
    m_modalWatch.start();
}

void TestAppShell::captionsAreNotExtendedWithTheProgramName()
{
    // A display name of its own would be appended to every window and message-box caption
    // by the platform ("CHYBA - KV-10").
    QCOMPARE(QCoreApplication::applicationName(), QString("kv10"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

void TestAppShell::errorsFromHandlersAreShownAndProgramGoesOn()
{
    auto* app = static_cast<Kv10Application*>(QCoreApplication::instance());
    ScriptedPrompts prompts;
    app->setPrompts(&prompts);

    int clicks = 0;
    QPushButton button("Zkus");
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++clicks;
        if (clicks == 1)
            throw AppError(QStringLiteral("Sériový port COM3 nelze otevřít"));
        throw std::runtime_error("Soubor nelze vytvořit");
    });
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));

    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 2);
    QCOMPARE(prompts.records.size(), 2);
    QCOMPARE(prompts.records[0].text, QString("Sériový port COM3 nelze otevřít"));
    QCOMPARE(prompts.records[1].text, QString("Soubor nelze vytvořit"));
    for (const PromptRecord& box : prompts.records) {
        QCOMPARE(box.caption, QString("KV-10"));
        QCOMPARE(box.icon, PromptIcon::Error);
        QCOMPARE(box.buttons, PromptButtons(PromptButton::Ok));
    }
    app->setPrompts(nullptr);
}

void TestAppShell::standardButtonsReadCzech()
{
    auto* app = static_cast<Kv10Application*>(QCoreApplication::instance());
    if (!app->loadCzechTranslations())
        QSKIP("qtbase_cs.qm is not installed");
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QString("Ano"));
    QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QString("Ne"));
}

void TestAppShell::messageBoxShowsIconButtonsAndAnswer_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("press");
    QTest::addColumn<int>("boxIcon");
    QTest::addColumn<int>("answer");
    QTest::newRow("question, No") << int(PromptIcon::Question) << int(PromptButton::Yes | PromptButton::No)
                                  << int(QMessageBox::No) << int(QMessageBox::Question) << int(PromptButton::No);
    QTest::newRow("warning, Yes") << int(PromptIcon::Warning) << int(PromptButton::Yes | PromptButton::No)
                                  << int(QMessageBox::Yes) << int(QMessageBox::Warning) << int(PromptButton::Yes);
    QTest::newRow("error, OK") << int(PromptIcon::Error) << int(PromptButton::Ok)
                               << int(QMessageBox::Ok) << int(QMessageBox::Critical) << int(PromptButton::Ok);
    QTest::newRow("exclamation, Cancel") << int(PromptIcon::Warning) << int(PromptButton::Ok | PromptButton::Cancel)
                                         << int(QMessageBox::Cancel) << int(QMessageBox::Warning) << int(PromptButton::Cancel);
}

void TestAppShell::messageBoxShowsIconButtonsAndAnswer()
{
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(int, press);
    QFETCH(int, boxIcon);
    QFETCH(int, answer);
    QString seen;
    onModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        seen = QStringLiteral("%1|%2|%3|%4|%5").arg(box->windowTitle(), box->text()).arg(int(box->icon()))
                   .arg(int(box->standardButtons())).arg(int(box->textFormat()));
        box->button(QMessageBox::StandardButton(press))->click();
    });
    WidgetPrompts prompts;
    const PromptButton pressed = prompts.message("Text", "Dotaz", PromptIcon(icon),
                                                 PromptButtons::fromInt(buttons), nullptr);
    QCOMPARE(int(pressed), answer);
    QStringList parts = seen.split('|');
    QCOMPARE(parts.size(), 5);
    QCOMPARE(parts[0], QString("Dotaz"));
    QCOMPARE(parts[1], QString("Text"));
    QCOMPARE(parts[2].toInt(), boxIcon);
    QVERIFY(parts[3].toInt() & press);
    QCOMPARE(parts[4].toInt(), int(Qt::PlainText));
}

void TestAppShell::saveDialogHasTitleAndReturnsChosenPath()
{
    QTemporaryDir dir;
    QString title;
    bool filterNamesOnly = false;
    onModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return;
        title = dialog->windowTitle();
        filterNamesOnly = dialog->testOption(QFileDialog::HideNameFilterDetails);
        dialog->selectFile(QDir(dir.path()).filePath("zaznam"));
        static_cast<QDialog*>(dialog)->accept();   // as the "Save" button does
    });
    WidgetPrompts prompts;
    FileDialogRequest request;
    request.title = "Uložit jako";
    request.directory = dir.path();
    request.filter = "Textový soubor [*.txt] (*.txt)";
    request.defaultSuffix = "TXT";
    const QString chosen = prompts.saveFile(request);
    QCOMPARE(title, QString("Uložit jako"));
    QVERIFY(filterNamesOnly);
    QCOMPARE(chosen, QDir(dir.path()).filePath("zaznam.TXT"));
}

void TestAppShell::everyWindowRendersToPicture()
{
    QTemporaryDir settings;
    QTemporaryDir shots;
    ScriptedPrompts prompts;
    AppOptions options;
    options.sessionMode = SessionRunner::Mode::Inline;
    options.settingsFolder = settings.path();
    options.prompts = &prompts;
    options.com1Device = QStringLiteral("/nonexistent/kv10-no-such-device");
    AppContext context(options);
    context.createWindows();

    QString error;
    const QStringList files = saveScreenshots(context, shots.path(), &error);
    QVERIFY2(!files.isEmpty(), qPrintable(error));
    // Nine windows, the read-out and the identification as they end, the record window after
    // its read-out, the editor's pages for the oldest (11 pages) and the newest firmware (13),
    // three menus, the three program types and the telegram monitor.
    QCOMPARE(files.size(), 9 + 2 + 1 + 11 + 13 + 3 + 3 + 1);
    for (const QString& file : files) {
        const QImage image(file);
        QVERIFY2(!image.isNull() && image.width() > 40 && image.height() > 30, qPrintable(file));
    }
    QVERIFY(QFileInfo(QDir(shots.path()).filePath("1-kvr01.png")).exists());
    QVERIFY(QFileInfo(QDir(shots.path()).filePath("2-port.png")).exists());
    // Taking pictures changes no setting.
    QVERIFY(!QFileInfo(QDir(settings.path()).filePath("KorFW_R09.ini")).exists());
}

// The whole program, its session on its own thread: the window closes at once, the read under
// way ends within its own time-out with no repeat sent, and the settings are written.
void TestAppShell::closesAtOnceDuringSilentRead()
{
    QTemporaryDir settings;
    ScriptedPrompts prompts;
    sim::SimulatorOptions stationOptions;
    stationOptions.addresses = {0};
    sim::SimulatedStation station(stationOptions);
    sim::SimulatedTransport line(station);
    station.dropRequests(1000);
    QElapsedTimer closing;
    {
        AppOptions options;
        options.settingsFolder = settings.path();
        options.prompts = &prompts;
        options.com1Transport = &line;
        AppContext context(options);
        context.createWindows();
        MainWindow& main = context.mainWindow();
        main.show();
        main.findChild<QCheckBox*>(QStringLiteral("check_auto"))->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(station.counters().totalRequests() == 1, 3000);
        closing.start();
        main.close();
        QVERIFY2(closing.elapsed() < 100, qPrintable(QString::number(closing.elapsed())));
    }
    // One read waits a little over 500 ms; its two repeats would take more than a second more.
    QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
    QCOMPARE(station.counters().totalRequests(), 1);
    QVERIFY(QFileInfo(QDir(settings.path()).filePath("KorFW_R09.ini")).exists());
    QCOMPARE(prompts.boxes(), QStringList());
}

int main(int argc, char** argv)
{
    Kv10Application app(argc, argv);
    TestAppShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appshell.moc"
