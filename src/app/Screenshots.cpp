#include "Screenshots.h"

#include "AboutBox.h"
#include "AboutIdent.h"
#include "AppContext.h"
#include "LoadForm.h"
#include "Rotace_3d.h"
#include "Rychlostzaznamu.h"
#include "Telegram.h"
#include "Transport.h"
#include "Unit_hl.h"
#include "Unitmenumod.h"
#include "Unitport.h"
#include "Unitzaznam.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Some points on the chart and values on the display: samples read from the controller, or
// demo values when no port is open (a read on a closed port would only wait and fail).
void fillLiveDisplay(AppContext& context)
{
    constexpr int Samples = 40;
    Tkvr01& main = context.kvr01();
    const kv10::Transport* transport = context.link().transport();
    const bool connected = transport && transport->isOpen();
    for (int i = 0; i < Samples; ++i) {
        if (connected)
            main.tl_precistClick();
        else
            main.DemoStep();
    }
}

bool saveWidget(QWidget& widget, const QString& path)
{
    settle();
    return widget.grab().save(path, "PNG");
}

} // namespace

QStringList saveScreenshots(AppContext& context, const QString& folder, QString* error)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (error)
            *error = QStringLiteral("Složku %1 nelze vytvořit").arg(folder);
        return {};
    }

    struct Shot { QString name; QWidget* window; };
    const Shot windows[] = {
        {QStringLiteral("1-kvr01"), &context.kvr01()},
        {QStringLiteral("2-port"), &context.port()},
        {QStringLiteral("3-AboutBox"), &context.AboutBox()},
        {QStringLiteral("4-about_ident"), &context.about_ident()},
        {QStringLiteral("5-menu_mod"), &context.menu_mod()},
        {QStringLiteral("6-FormZaznam"), &context.FormZaznam()},
        {QStringLiteral("7-rotace3D"), &context.rotace3D()},
        {QStringLiteral("8-form_zaznam"), &context.form_zaznam()},
        {QStringLiteral("9-load_form"), &context.load_form()},
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

    Tkvr01& main = context.kvr01();
    main.show();
    fillLiveDisplay(context);
    for (const Shot& shot : windows) {
        const bool dialog = shot.window != &main;
        if (dialog)
            shot.window->show();
        const bool saved = save(*shot.window, shot.name);
        if (dialog)
            shot.window->hide();
        if (!saved)
            return {};
    }

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
    return written;
}
