#include "Screenshots.h"

#include "AboutBox.h"
#include "IdentificationDialog.h"
#include "AppContext.h"
#include "ParameterReadoutDialog.h"
#include "ChartSettingsDialog.h"
#include "RecordSpeedDialog.h"
#include "Telegram.h"
#include "Transport.h"
#include "MainWindow.h"
#include "ParameterEditor.h"
#include "PortDialog.h"
#include "ControllerRecordWindow.h"
#include "TelegramMonitor.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Lets the jobs handed over so far come back (they are back already when they run inline).
void waitForLine(kv10::SessionRunner& runner)
{
    if (!runner.busy())
        return;
    QEventLoop loop;
    QObject::connect(&runner, &kv10::SessionRunner::busyChanged, &loop, [&loop](bool busy) {
        if (!busy)
            loop.quit();
    });
    loop.exec();
}

bool portIsOpen(AppContext& context)
{
    bool open = false;
    context.runner().post(
        nullptr,
        [](kv10::ControllerSession& session, const kv10::StopRequest&) {
            const kv10::Transport* transport = session.link().transport();
            return transport && transport->isOpen();
        },
        [&open](bool isOpen) { open = isOpen; });
    waitForLine(context.runner());
    return open;
}

// Some points on the chart and values on the display: samples read from the controller, or
// demo values when no port is open (a read on a closed port would only wait and fail).
void fillLiveDisplay(AppContext& context)
{
    constexpr int Samples = 40;
    MainWindow& main = context.mainWindow();
    const bool connected = portIsOpen(context);
    for (int i = 0; i < Samples; ++i) {
        if (connected) {
            main.tl_precistClick();
            waitForLine(context.runner());
        } else {
            main.DemoStep();
        }
    }
}

bool saveWidget(QWidget& widget, const QString& path)
{
    settle();
    return widget.grab().save(path, "PNG");
}

// Runs the event loop for `ms`, as the user would see the program meanwhile.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename Save>
bool saveWhileSilent(AppContext& context, Save& save)
{
    constexpr int AbsentAddress = 99;
    int address = 0;
    context.runner().post(
        nullptr,
        [](kv10::ControllerSession& session, const kv10::StopRequest&) {
            const int before = session.da();
            session.setDA(AbsentAddress);
            return before;
        },
        [&address](int before) { address = before; });
    MainWindow& main = context.mainWindow();
    auto* autoRead = main.findChild<QCheckBox*>(QStringLiteral("check_auto"));
    // Ticked without the click's question whether to clear the chart: the points read stay.
    autoRead->setChecked(true);
    runFor(3500);
    bool saved = save(main, QStringLiteral("1-kvr01-silent-1"));
    if (saved) {
        runFor(3000);
        saved = save(main, QStringLiteral("1-kvr01-silent-2"));
    }
    autoRead->setChecked(false);
    context.runner().post(
        nullptr, [address](kv10::ControllerSession& session, const kv10::StopRequest&) { session.setDA(address); }, [] {});
    waitForLine(context.runner());
    return saved;
}

} // namespace

QStringList saveScreenshots(AppContext& context, const QString& folder, QString* error)
{
    // A native file dialog (Windows', or the desktop's) is no widget that can be grabbed or
    // cancelled from here: the pictures show Qt's own.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (error)
            *error = QStringLiteral("Složku %1 nelze vytvořit").arg(folder);
        return {};
    }

    // A window that starts its exchange a moment after it is shown is held at its start: its
    // picture shows it before it reads, and hiding it again stops nothing.
    struct Shot { QString name; QWidget* window; QTimer* autoStart = nullptr; };
    const Shot windows[] = {
        {QStringLiteral("1-kvr01"), &context.mainWindow()},
        {QStringLiteral("2-port"), &context.portDialog()},
        {QStringLiteral("3-AboutBox"), &context.aboutBox()},
        {QStringLiteral("4-about_ident"), &context.identificationDialog(), context.identificationDialog().Timer1},
        {QStringLiteral("5-menu_mod"), &context.parameterEditor()},
        {QStringLiteral("6-FormZaznam"), &context.recordWindow()},
        {QStringLiteral("7-rotace3D"), &context.chartSettingsDialog()},
        {QStringLiteral("8-form_zaznam"), &context.recordSpeedDialog()},
        {QStringLiteral("9-load_form"), &context.readoutDialog(), context.readoutDialog().Timer1},
    };

    QStringList written;
    auto save = [&](QWidget& widget, const QString& name) {
        const QString path = dir.filePath(name + QStringLiteral(".png"));
        if (!saveWidget(widget, path)) {
            if (error)
                *error = QStringLiteral("Soubor %1 nelze zapsat").arg(path);
            return false;
        }
        written << path;
        return true;
    };

    MainWindow& main = context.mainWindow();
    main.show();
    // The monitor watches the live poll that fills the display, and then stops watching.
    main.mn_monitorClick();
    fillLiveDisplay(context);
    TelegramMonitor& monitor = *main.telegramMonitor();
    const bool monitorSaved = save(monitor, QStringLiteral("10-TelegramMonitor"));
    monitor.hide();
    if (!monitorSaved)
        return {};
    for (const Shot& shot : windows) {
        const bool dialog = shot.window != &main;
        if (dialog)
            shot.window->show();
        if (shot.autoStart)
            shot.autoStart->stop();
        const bool saved = save(*shot.window, shot.name);
        if (dialog)
            shot.window->hide();
        if (!saved)
            return {};
    }

    // The read-out as it ends, and the identification of the controller behind COM 1.
    ParameterReadoutDialog& readout = context.readoutDialog();
    readout.show();
    readout.Timer1->stop();
    readout.ReadAllParameters();
    waitForLine(context.runner());
    const bool readoutSaved = save(readout, QStringLiteral("9-load_form-done"));
    readout.hide();
    IdentificationDialog& identification = context.identificationDialog();
    identification.show();
    identification.Timer1->stop();
    identification.Identify();
    waitForLine(context.runner());
    const bool identificationSaved = save(identification, QStringLiteral("4-about_ident-done"));
    identification.hide();
    if (!readoutSaved || !identificationSaved)
        return {};

    // The record window after reading the record (about nine seconds of the link's waits); with
    // no port open there is nothing to read.
    ControllerRecordWindow& record = context.recordWindow();
    record.show();
    if (portIsOpen(context)) {
        record.tl_cteniClick();
        waitForLine(context.runner());
    }
    const bool recordSaved = save(record, QStringLiteral("6-FormZaznam-done"));
    record.hide();
    if (!recordSaved)
        return {};

    // Every page of the editor that the firmware offers, for the oldest and the newest firmware.
    ParameterEditor& editor = context.parameterEditor();
    editor.show();
    for (const int variant : {1, 3}) {
        editor.ApplyVariantLayout(variant);
        QTabWidget& pages = editor.pageControl();
        for (int page = 0; page < pages.count(); ++page) {
            if (!pages.isTabVisible(page))
                continue;
            editor.setActivePage(page);
            editor.ImageToPage(page);
            const QString name = QStringLiteral("5-menu_mod-v%1-%2-%3")
                                     .arg(variant).arg(page, 2, 10, QLatin1Char('0')).arg(pages.widget(page)->objectName());
            if (!save(editor, name)) {
                editor.hide();
                return {};
            }
        }
    }
    // The program page with each program type and its preview, from the program read out.
    kv10::ControllerImage& image = context.image();
    const uint8_t typeRead = image.prog.prog;
    editor.setActivePage(ParameterEditor::PageComp);
    const QString typeNames[] = {QStringLiteral("SP"), QStringLiteral("RAMP"), QStringLiteral("JUMP")};
    for (int type = 0; type < 3; ++type) {
        image.prog.prog = uint8_t(type);
        editor.ApplyVariantLayout(3);
        editor.ImageToPage(ParameterEditor::PageComp);
        if (!save(editor, QStringLiteral("5-menu_mod-v3-00-ta_comp-") + typeNames[type])) {
            editor.hide();
            return {};
        }
    }
    image.prog.prog = typeRead;

    // The parameter file's two dialogs, where the prompts show real ones: each is saved once
    // on screen and then cancelled, so nothing is written or loaded.
    const std::pair<const char*, void (ParameterEditor::*)()> fileDialogs[] = {
        {"5-menu_mod-ulozit", &ParameterEditor::tl_ulozitClick},
        {"5-menu_mod-otevrit", &ParameterEditor::tl_otevritClick},
    };
    for (const auto& [name, command] : fileDialogs) {
        bool saved = true;
        QTimer::singleShot(300, [&, name = name] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                saved = save(*dialog, QString::fromLatin1(name));
                dialog->reject();
            }
        });
        (editor.*command)();
        if (!saved) {
            editor.hide();
            return {};
        }
    }
    editor.hide();

    // The menus, each as it drops down below the main window's menu bar.
    const QList<QMenu*> menus = main.menuBar()->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
    for (QMenu* menu : menus) {
        if (menu->objectName().isEmpty())
            continue;   // the menu bar's own overflow menu
        menu->popup(main.mapToGlobal(QPoint(0, main.menuBar()->height())));
        const bool saved = save(*menu, QStringLiteral("1-kvr01-") + menu->objectName());
        menu->hide();
        if (!saved)
            return {};
    }

    // The main window while it reads, every second, a station that does not answer (an
    // address nobody has): taken twice, a few seconds apart, as the window keeps going.
    if (portIsOpen(context) && !saveWhileSilent(context, save))
        return {};
    return written;
}
